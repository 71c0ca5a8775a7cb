#include "DbGridModel.h"

TDBGridModel::TDBGridModel(TDataSource* source, QObject* parent) : QAbstractTableModel(parent), source_(source)
{
    follow();
}

TDBGridModel::~TDBGridModel() = default;

TDataSet* TDBGridModel::dataSet() const
{
    return source_ && source_->Enabled ? source_->DataSet : nullptr;
}

// Connects to the data set the source names now; a reset tells the view.
void TDBGridModel::follow()
{
    disconnect(changed_);
    disconnect(moved_);
    followed_ = dataSet();
    if (followed_) {
        changed_ = connect(followed_, &TDataSet::DataSetChanged, this, [this] {
            beginResetModel();
            endResetModel();
        });
        moved_ = connect(followed_, &TDataSet::RecordChanged, this, [this] {
            if (rowCount() > 0)
                emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        });
    }
}

void TDBGridModel::SetDataSource(TDataSource* source)
{
    beginResetModel();
    source_ = source;
    follow();
    endResetModel();
}

void TDBGridModel::SetCurrentRow(int row)
{
    TDataSet* ds = dataSet();
    if (ds && ds->Active() && row >= 0 && row < ds->RecordCount() && ds->RecNo() != row + 1)
        ds->SetRecNo(row + 1);
}

int TDBGridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    if (dataSet() != followed_)
        const_cast<TDBGridModel*>(this)->follow();
    TDataSet* ds = dataSet();
    return ds && ds->Active() ? ds->RecordCount() : 0;
}

int TDBGridModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    TDataSet* ds = dataSet();
    return ds && ds->Active() ? ds->FieldCount() : 0;
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const
{
    TDataSet* ds = dataSet();
    if (!ds || !ds->Active() || !index.isValid())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        // Rows are read from the file as they are shown: a row that can no longer be read
        // (the file was cut short under the grid) shows empty until the data set is read again.
        try {
            return ds->RowText(index.row(), index.column());
        } catch (const std::exception&) {
            return QVariant();
        }
    }
    if (role == Qt::TextAlignmentRole) {
        const TFieldType t = ds->Fields(index.column())->DataType();
        if (t == ftInteger || t == ftFloat)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    }
    return QVariant();
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    TDataSet* ds = dataSet();
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    if (!ds || !ds->Active() || section < 0 || section >= ds->FieldCount())
        return QVariant();
    return ds->Fields(section)->FieldName();
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    TDataSet* ds = dataSet();
    if (ds && ds->CanModify())
        f |= Qt::ItemIsEditable;
    return f;
}

bool TDBGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TDataSet* ds = dataSet();
    if (role != Qt::EditRole || !index.isValid() || !ds || !ds->CanModify())
        return false;
    // A grid is an event handler's world: errors end in a refusal, never an exception.
    try {
        ds->SetRecNo(index.row() + 1);
        ds->Edit();
        ds->Fields(index.column())->SetAsString(value.toString());
        ds->Post();
    } catch (const std::exception&) {
        ds->Cancel();
        return false;
    }
    emit dataChanged(index, index);
    return true;
}
