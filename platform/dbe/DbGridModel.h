// A Qt item model over a data source, for the grids of the database browser: one row
// per row of the data set, one column per field, the field names as headers. While the
// data set inserts, its new row shows where it goes in (marked "*"), holding the
// values typed so far. A cell edited through setData is written and posted at once
// when the data set can be modified.
#pragma once

#include "DbTables.h"

#include <QAbstractTableModel>
#include <QPointer>

class TDBGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDBGridModel(TDataSource* source = nullptr, QObject* parent = nullptr);
    ~TDBGridModel() override;

    // Follows another data source (or none); the model resets.
    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return source_; }
    // Makes a grid row (from 0) the data set's current row; the new row is one already.
    void SetCurrentRow(int row);
    // The grid row of the data set's new row, -1 when it has none.
    int NewRow() const { return newRow_; }
    // The data set's row (from 0) a grid row shows; -1 for the new row and past the end.
    int DataRow(int gridRow) const;
    // The grid row of the data set's current row or of its new row; -1 when none.
    int CurrentGridRow() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Writes the text into the field and posts; false (and the data set unchanged)
    // when the data set cannot be modified or the text does not convert.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    TDataSet* dataSet() const;
    void follow();
    // The new row appeared or went: the rows are inserted or removed in the view.
    void followNewRow();
    // The shown row's texts changed: only the changed cells are told, so a cell editor
    // open on another cell of the row keeps what the user is typing.
    void tellChangedCells();
    QStringList rowTexts(int gridRow) const;
    QPointer<TDataSource> source_;
    QPointer<TDataSet> followed_;
    QMetaObject::Connection changed_;
    QMetaObject::Connection moved_;
    int newRow_ = -1;      // as the view knows it
    int shownRow_ = -1;    // the current or new row when its texts were taken
    QStringList shown_;
};
