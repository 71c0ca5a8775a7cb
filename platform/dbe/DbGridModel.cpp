#include "DbGridModel.h"

TDBGridModel::TDBGridModel(TDataSource* source, QObject* parent) : QAbstractTableModel(parent), source_(source) {}
TDBGridModel::~TDBGridModel() = default;
void TDBGridModel::SetDataSource(TDataSource* source) { beginResetModel(); source_ = source; endResetModel(); }
void TDBGridModel::SetCurrentRow(int) {}
int TDBGridModel::rowCount(const QModelIndex&) const { return 0; }
int TDBGridModel::columnCount(const QModelIndex&) const { return 0; }
QVariant TDBGridModel::data(const QModelIndex&, int) const { return {}; }
QVariant TDBGridModel::headerData(int, Qt::Orientation, int) const { return {}; }
Qt::ItemFlags TDBGridModel::flags(const QModelIndex&) const { return Qt::NoItemFlags; }
bool TDBGridModel::setData(const QModelIndex&, const QVariant&, int) { return false; }
TDataSet* TDBGridModel::dataSet() const { return nullptr; }
void TDBGridModel::follow() {}
