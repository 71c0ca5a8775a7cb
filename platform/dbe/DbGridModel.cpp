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
    newRow_ = followed_ && followed_->Active() ? followed_->InsertPosition() : -1;
    shownRow_ = -1;
    shown_.clear();
    if (followed_) {
        changed_ = connect(followed_, &TDataSet::DataSetChanged, this, [this] {
            beginResetModel();
            newRow_ = followed_->Active() ? followed_->InsertPosition() : -1;
            endResetModel();
            shownRow_ = CurrentGridRow();
            shown_ = rowTexts(shownRow_);
        });
        moved_ = connect(followed_, &TDataSet::RecordChanged, this, [this] {
            followNewRow();
            tellChangedCells();
        });
    }
}

void TDBGridModel::followNewRow()
{
    TDataSet* ds = dataSet();
    const int now = ds && ds->Active() ? ds->InsertPosition() : -1;
    if (now == newRow_)
        return;
    if (newRow_ >= 0) {
        beginRemoveRows(QModelIndex(), newRow_, newRow_);
        if (shownRow_ == newRow_)
            shownRow_ = -1;
        else if (shownRow_ > newRow_)
            --shownRow_;
        newRow_ = -1;
        endRemoveRows();
    }
    if (now >= 0) {
        beginInsertRows(QModelIndex(), now, now);
        if (shownRow_ >= now)
            ++shownRow_;
        newRow_ = now;
        endInsertRows();
        shown_ = rowTexts(newRow_);
        shownRow_ = newRow_;
    }
}

QStringList TDBGridModel::rowTexts(int gridRow) const
{
    QStringList texts;
    if (gridRow < 0 || gridRow >= rowCount())
        return texts;
    for (int c = 0; c < columnCount(); ++c)
        texts << data(index(gridRow, c)).toString();
    return texts;
}

void TDBGridModel::tellChangedCells()
{
    // The row whose texts were taken may have changed (an edit cancelled, a field set);
    // then the cursor's row is the one to watch.
    if (shownRow_ >= 0 && shownRow_ < rowCount()) {
        const QStringList now = rowTexts(shownRow_);
        for (int c = 0; c < now.size(); ++c)
            if (c >= shown_.size() || now[c] != shown_[c])
                emit dataChanged(index(shownRow_, c), index(shownRow_, c));
    }
    shownRow_ = CurrentGridRow();
    shown_ = rowTexts(shownRow_);
}

void TDBGridModel::SetDataSource(TDataSource* source)
{
    beginResetModel();
    source_ = source;
    follow();
    endResetModel();
}

int TDBGridModel::DataRow(int gridRow) const
{
    TDataSet* ds = dataSet();
    if (!ds || !ds->Active() || gridRow < 0 || gridRow == newRow_)
        return -1;
    const int row = newRow_ >= 0 && gridRow > newRow_ ? gridRow - 1 : gridRow;
    return row < ds->RecordCount() ? row : -1;
}

int TDBGridModel::CurrentGridRow() const
{
    TDataSet* ds = dataSet();
    if (!ds || !ds->Active())
        return -1;
    if (ds->State() == dsInsert)
        return newRow_;
    const int row = ds->RecNo() - 1;
    if (row < 0)
        return -1;
    return newRow_ >= 0 && row >= newRow_ ? row + 1 : row;
}

void TDBGridModel::SetCurrentRow(int gridRow)
{
    TDataSet* ds = dataSet();
    const int row = DataRow(gridRow);
    if (row >= 0 && (ds->State() == dsInsert || ds->RecNo() != row + 1))
        ds->SetRecNo(row + 1);
}

int TDBGridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    if (dataSet() != followed_)
        const_cast<TDBGridModel*>(this)->follow();
    TDataSet* ds = dataSet();
    return ds && ds->Active() ? ds->RecordCount() + (newRow_ >= 0 ? 1 : 0) : 0;
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
            if (index.row() == newRow_)
                return ds->State() == dsInsert && index.column() < ds->FieldCount()
                           ? ds->Fields(index.column())->AsString()
                           : QString();
            return ds->RowText(DataRow(index.row()), index.column());
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
        return section == newRow_ ? QVariant(QStringLiteral("*")) : QVariant(DataRow(section) + 1);
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
    // The new row keeps what is typed until it is posted.
    if (index.row() == newRow_) {
        try {
            if (ds->State() != dsInsert)
                return false;
            ds->Fields(index.column())->SetAsString(value.toString());
        } catch (const std::exception&) {
            return false;
        }
        return true;
    }
    const int row = DataRow(index.row());
    if (row < 0)
        return false;
    try {
        ds->SetRecNo(row + 1);
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
