// Data-aware controls of the form framework on Qt widgets: a grid over a data source
// that keeps the data set's current row and the grid's current row together and
// reports when the user moves the focus into it, and the navigator's button strip.
#pragma once

#include "DbGridModel.h"
#include "DbTables.h"

#include <QPointer>
#include <QTableView>
#include <QWidget>

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

private:
    void follow();
    void FocusMoved(QWidget* now);
    TDBGridModel* model_;
    QPointer<TDataSet> followed_;
    QMetaObject::Connection moved_;
    bool syncing_ = false;
    bool programEnter_ = false;
    bool inEditor_ = false;  // the focus is in the grid's cell editor
    int editRow_ = -1, editColumn_ = -1;  // the cell the editor is open on
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

private:
    TDataSet* dataSet() const;
    void follow();
    QPointer<TDataSource> source_;
    QPointer<TDataSet> followed_;
    QMetaObject::Connection changed_, moved_;
    QToolButton* buttons_[ButtonCount] = {};
};
