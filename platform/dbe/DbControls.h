// Data-aware controls of the form framework on Qt widgets: a grid over a data source
// that keeps the data set's current row and the grid's current row together and
// reports when the user moves the focus into it, and the navigator's button strip.
//
// Typing in the grid: a cell of a row being edited or of the new row writes into the
// data set's row, which Post stores; a cell of a row merely shown is written and posted
// at once. Whatever a cell editor still holds is written when the data set asks for it
// (UpdateRecord, before every Post and cursor move).
#pragma once

#include "DbGridModel.h"
#include "DbTables.h"

#include <QPointer>
#include <QTableView>
#include <QWidget>
#include <optional>
#include <vector>

class QToolButton;

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return model_->DataSource(); }
    TDBGridModel* GridModel() const { return model_; }
    // The program gives the grid the focus: runs the enter handler when the grid did
    // not have the focus, as a user's move into it would.
    void EnterByProgram();
    // Shows the data set's current row as the grid's current row.
    void SyncFromDataSet();
    // The data set inserts: its new row becomes the current row with the focus and an
    // open editor in its first cell, as for a user about to type the new record. Moving
    // the focus here for the new row is no entry into the grid (no Enter).
    void EditNewRow();
    using QTableView::edit;

signals:
    // The focus came into the grid from another control (not from the window being
    // activated again, nor from the grid's own cell editor).
    void Enter();
    void Exit();

protected:
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    friend class TDBGridDelegate;
    // A cell's text as an editor gave it, the row named as the data set knows it (a
    // row shown or the new row), so it still names the same row when rows move.
    struct CellText {
        bool newRow = false;
        int row = -1;  // the data set's row (from 0), when not the new row
        int column = -1;
        QString text;
    };
    void follow();
    void FocusMoved(QWidget* now);
    // The text of the open cell editor, if one is open.
    std::optional<CellText> EditorText() const;
    // Writes a cell's text: into the row being edited or the new row; else the row is
    // edited, written and, unless `keepEditing`, posted. Raises what the field raises.
    void WriteCell(const CellText& cell, bool keepEditing);
    // Writes the committed texts not yet written, in the order they were committed.
    void WritePending(bool keepEditing);
    // The data set's UpdateRecord: the committed texts not yet written, then the open
    // editor's text.
    void UpdateData();
    TDBGridModel* model_;
    QPointer<TDataSet> followed_;
    QMetaObject::Connection moved_, update_;
    bool syncing_ = false;
    bool programEnter_ = false;
    bool inEditor_ = false;  // the focus is in the grid's cell editor
    bool updating_ = false;
    QPointer<QWidget> editor_;  // the open cell editor
    int editRow_ = -1, editColumn_ = -1;  // the cell the editor is open on
    std::vector<CellText> pending_;  // committed by closing editors, not yet written
};

class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };
    static constexpr int ButtonCount = 10;

    explicit TDBNavigator(QWidget* parent = nullptr);
    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return source_; }
    // Asks "Delete record?" before a delete.
    bool ConfirmDelete = true;
    // Presses a button as the user would (also when it is disabled: nothing happens).
    void BtnClick(TNavigateBtn button);
    QToolButton* Button(TNavigateBtn button) const { return buttons_[button]; }
    // Enables the buttons for the data set's state and position.
    void UpdateButtons();

signals:
    // A button's action was done (the framework's OnClick).
    void Click(TDBNavigator::TNavigateBtn button);

private:
    TDataSet* dataSet() const;
    void follow();
    QPointer<TDataSource> source_;
    QPointer<TDataSet> followed_;
    QMetaObject::Connection changed_, moved_;
    QToolButton* buttons_[ButtonCount] = {};
};
