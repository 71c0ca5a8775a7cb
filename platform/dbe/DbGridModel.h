// A Qt item model over a data source, for the grids of the database browser: one row
// per row of the data set, one column per field, the field names as headers. A cell
// edited in the grid is written and posted at once when the data set can be modified.
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
    // Makes a grid row (from 0) the data set's current row.
    void SetCurrentRow(int row);

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
    QPointer<TDataSource> source_;
    QPointer<TDataSet> followed_;
    QMetaObject::Connection changed_;
    QMetaObject::Connection moved_;
};
