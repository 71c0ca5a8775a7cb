#include "DbTables.h"

#include "DbSql.h"
#include "DbfFile.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

static TSession DefaultSession;
TSession* Session = &DefaultSession;

// ---- Row sources: where a data set's rows come from and go to ----

namespace {

struct FieldInfo {
    QString name;
    char type = 'C';
    int width = 0;
    int decimals = 0;
    int fileField = -1;  // the field in the table file that takes the value, -1 for none
};

TFieldType KindOf(const FieldInfo& f)
{
    switch (f.type) {
    case 'N':
        return f.decimals == 0 ? ftInteger : ftFloat;
    case 'F':
        return ftFloat;
    case 'D':
        return ftDate;
    case 'L':
        return ftBoolean;
    default:
        return ftString;
    }
}

QString TextOf(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return QString();
    switch (v.typeId()) {
    case QMetaType::Double:
        return FloatToStr(v.toDouble());
    case QMetaType::LongLong:
    case QMetaType::Int:
        return QString::number(v.toLongLong());
    case QMetaType::QDate:
        return DateToStr(v.toDate());
    case QMetaType::QDateTime:
        return DateToStr(v.toDateTime().date());
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return v.toString();
    }
}

class RowSource {
public:
    virtual ~RowSource() = default;
    virtual int count() = 0;
    virtual QVariant value(int row, int field) = 0;
    virtual int physical(int row) = 0;
    virtual bool canModify() = 0;
    virtual void update(int row, const std::vector<QVariant>& values) = 0;
    virtual int append(const std::vector<QVariant>& values) = 0;  // the new row
    virtual void remove(int row) = 0;
    virtual void reload() = 0;
    // Checks that a value fits its field; raises when it does not.
    virtual void check(int field, const QVariant& v) = 0;
};

// The record numbers of a table's rows (its records not deleted), kept per file while
// the file's stamp says nothing changed, so that opening a large table to append one
// row does not read the whole file each time.
struct RowIndex {
    DbfFile::Stamp stamp;
    std::vector<int> rows;
};
std::mutex IndexLock;
std::map<QString, RowIndex>& IndexCache()
{
    static std::map<QString, RowIndex> cache;
    return cache;
}

// A table: the file's records that are not deleted, in record order.
class TableSource : public RowSource {
public:
    TableSource(const QString& path, std::vector<FieldInfo>& fields) : file_(path)
    {
        fields.clear();
        for (size_t i = 0; i < file_.fields().size(); ++i) {
            const DbfFieldDef& d = file_.fields()[i];
            fields.push_back({d.name, d.type, d.width, d.decimals, static_cast<int>(i)});
        }
        reload();
    }
    int count() override { return static_cast<int>(rows_.size()); }
    QVariant value(int row, int field) override { return file_.value(record(row).constData(), field); }
    int physical(int row) override { return rows_[row]; }
    bool canModify() override { return true; }
    void update(int row, const std::vector<QVariant>& values) override
    {
        QByteArray r = file_.readRecord(rows_[row]);
        for (size_t i = 0; i < values.size(); ++i)
            file_.setValue(r, static_cast<int>(i), values[i]);
        cached_ = -1;
        forget();
        file_.writeRecord(rows_[row], r);
    }
    int append(const std::vector<QVariant>& values) override
    {
        QByteArray r = file_.blankRecord();
        for (size_t i = 0; i < values.size(); ++i)
            file_.setValue(r, static_cast<int>(i), values[i]);
        DbfFile::Stamp before, after;
        const int recno = file_.appendRecords({r}, &before, &after);
        const bool current = before == stamp_ && recno == known_;
        rows_.push_back(recno);
        known_ = recno + 1;
        stamp_ = after;
        // Only when nobody else wrote since this data set read the file does its row
        // list describe the file after the append.
        std::lock_guard<std::mutex> g(IndexLock);
        if (current)
            IndexCache()[file_.path()] = RowIndex{after, rows_};
        else
            IndexCache().erase(file_.path());
        return static_cast<int>(rows_.size()) - 1;
    }
    void remove(int row) override
    {
        forget();
        file_.markDeleted(rows_[row]);
        cached_ = -1;
        rows_.erase(rows_.begin() + row);
    }
    void reload() override
    {
        cached_ = -1;
        rows_.clear();
        file_.lock(false);
        int n = 0;
        DbfFile::Mapping map;
        try {
            n = file_.recordCount();
            stamp_ = file_.stamp();
            known_ = n;
            {
                std::lock_guard<std::mutex> g(IndexLock);
                const auto it = IndexCache().find(file_.path());
                if (it != IndexCache().end() && it->second.stamp == stamp_ &&
                    (it->second.rows.empty() || it->second.rows.back() < n)) {
                    rows_ = it->second.rows;
                    file_.unlock();
                    return;
                }
            }
            map = file_.mapRecords(n);
        } catch (...) {
            file_.unlock();
            throw;
        }
        file_.unlock();
        rows_.reserve(n);
        const int rl = file_.recordLength();
        for (int i = 0; i < n; ++i)
            if (map.records()[static_cast<size_t>(i) * rl] != '*')
                rows_.push_back(i);
        std::lock_guard<std::mutex> g(IndexLock);
        IndexCache()[file_.path()] = RowIndex{stamp_, rows_};
    }
    void check(int field, const QVariant& v) override
    {
        QByteArray r = file_.blankRecord();
        file_.setValue(r, field, v);
    }
    DbfFile& file() { return file_; }
    void forget()
    {
        std::lock_guard<std::mutex> g(IndexLock);
        IndexCache().erase(file_.path());
        stamp_ = DbfFile::Stamp();
    }

private:
    const QByteArray& record(int row)
    {
        if (cached_ != rows_[row]) {
            cache_ = file_.readRecord(rows_[row]);
            cached_ = rows_[row];
        }
        return cache_;
    }
    DbfFile file_;
    std::vector<int> rows_;
    QByteArray cache_;
    int cached_ = -1;
    DbfFile::Stamp stamp_;  // the file as rows_ describes it
    int known_ = 0;         // its record count then
};

// A query. A result that is not live holds the rows of the last run in memory. A live
// result holds only its rows' record numbers and reads a row from the table file when
// it is asked for (a grid asks for the rows it shows), so a selection of a large table
// opens at once and costs a few bytes a row; a change of a row under it is seen at the
// next read, a row that no longer matches leaves at the next run. It writes back into
// its table by record number.
class QuerySource : public RowSource {
public:
    QuerySource(const QStringList& sql, const QString& folder, bool live, std::vector<FieldInfo>& fields)
        : sql_(sql), folder_(folder), wantLive_(live)
    {
        run();
        fields.clear();
        for (const SqlColumn& c : res_.columns)
            fields.push_back({c.name, c.type, c.width, c.decimals, c.field});
    }
    int count() override { return static_cast<int>(res_.live ? res_.recnos.size() : res_.rows.size()); }
    QVariant value(int row, int field) override
    {
        if (!res_.live)
            return res_.rows[row][field];
        // Read anew at every ask (one short read): a change of the row by another writer
        // is seen at once, however soon it follows.
        const QByteArray r = file_->readRecord(res_.recnos[row]);
        return file_->value(r.constData(), res_.columns[field].field);
    }
    int physical(int row) override { return res_.live ? res_.recnos[row] : -1; }
    bool canModify() override { return res_.live; }
    void update(int row, const std::vector<QVariant>& values) override
    {
        DbfFile& f = file();
        QByteArray r = f.readRecord(res_.recnos[row]);
        if (r.isEmpty() || r.at(0) == '*')
            throw EDatabaseError(QStringLiteral("Record %1 of table %2 was deleted by another user")
                                     .arg(res_.recnos[row] + 1)
                                     .arg(f.path()));
        for (size_t i = 0; i < values.size(); ++i)
            if (res_.columns[i].field >= 0)
                f.setValue(r, res_.columns[i].field, values[i]);
        f.writeRecord(res_.recnos[row], r);
    }
    int append(const std::vector<QVariant>& values) override
    {
        DbfFile& f = file();
        QByteArray r = f.blankRecord();
        for (size_t i = 0; i < values.size(); ++i)
            if (res_.columns[i].field >= 0)
                f.setValue(r, res_.columns[i].field, values[i]);
        const int recno = f.appendRecord(r);
        res_.recnos.push_back(recno);
        return count() - 1;
    }
    void remove(int row) override
    {
        file().markDeleted(res_.recnos[row]);
        res_.recnos.erase(res_.recnos.begin() + row);
    }
    void reload() override
    {
        const std::vector<SqlColumn> before = res_.columns;
        run();
        if (res_.columns.size() != before.size())
            throw EDatabaseError(QStringLiteral("The query's fields changed"));
    }
    void check(int field, const QVariant& v) override
    {
        if (res_.columns[field].field < 0)
            throw EDatabaseError(QStringLiteral("Field %1 cannot be modified").arg(res_.columns[field].name));
        QByteArray r = file().blankRecord();
        file().setValue(r, res_.columns[field].field, v);
    }

private:
    void run()
    {
        res_ = RunSelect(sql_, folder_, wantLive_);
        // The rows are read from and written to the very file the selection ran on.
        file_ = res_.file;
    }
    DbfFile& file()
    {
        if (!file_)
            throw EDatabaseError(QStringLiteral("Records cannot be modified: the query is not live"));
        return *file_;
    }
    QStringList sql_;
    QString folder_;
    bool wantLive_;
    SqlResult res_;
    std::shared_ptr<DbfFile> file_;
};

} // namespace

struct TDataSet::Impl {
    std::vector<FieldInfo> fields;
    std::vector<std::unique_ptr<TField>> fieldObjs;
    std::unique_ptr<RowSource> src;
    TDataSetState state = dsInactive;
    int cur = -1;
    bool eof = true;
    bool bof = true;
    std::vector<QVariant> buf;
    bool modified = false;
    int insertAt = -1;  // where a new row shows, while inserting

    void checkActive(const TDataSet* ds) const
    {
        if (!src)
            throw EDatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset (%1)")
                                     .arg(ds->objectName()));
    }
    QVariant current(int field) const
    {
        if (!src)
            return QVariant();
        if (state == dsEdit || state == dsInsert)
            return buf[field];
        if (cur < 0 || cur >= src->count())
            return QVariant();
        return src->value(cur, field);
    }
};

// ---- TField ----

QString TField::FieldName() const { return ds_->d->fields[index_].name; }
TFieldType TField::DataType() const { return KindOf(ds_->d->fields[index_]); }
int TField::Size() const { return ds_->d->fields[index_].width; }
int TField::Decimals() const { return ds_->d->fields[index_].decimals; }
int TField::Index() const { return index_; }
QVariant TField::Value() const { return ds_->d->current(index_); }
QVariant TField::OldValue() const
{
    const TDataSet::Impl& d = *ds_->d;
    if (!d.src || d.state == dsInsert || d.cur < 0 || d.cur >= d.src->count())
        return QVariant();
    return d.src->value(d.cur, index_);
}
bool TField::IsNull() const
{
    const QVariant v = Value();
    return !v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty());
}
QString TField::AsString() const { return TextOf(Value()); }
double TField::AsFloat() const
{
    const QVariant v = Value();
    if (!v.isValid() || v.isNull())
        return 0;
    if (v.typeId() == QMetaType::QString)
        return StrToFloat(v.toString());
    if (v.typeId() == QMetaType::QDate)
        return DateToDayNumber(v.toDate());
    return v.toDouble();
}
int TField::AsInteger() const
{
    const QVariant v = Value();
    if (!v.isValid() || v.isNull())
        return 0;
    if (v.typeId() == QMetaType::QString)
        return StrToInt(v.toString());
    if (v.typeId() == QMetaType::Double)
        return static_cast<int>(Round(v.toDouble()));
    if (v.typeId() == QMetaType::QDate)
        return DateToDayNumber(v.toDate());
    return v.toInt();
}
QDate TField::AsDate() const
{
    const QVariant v = Value();
    if (v.typeId() == QMetaType::QDate)
        return v.toDate();
    if (v.typeId() == QMetaType::QString)
        return QDate::fromString(v.toString().trimmed(), ShortDateFormat());
    return QDate();
}

void TField::SetValue(const QVariant& value)
{
    TDataSet::Impl& d = *ds_->d;
    if (d.state != dsEdit && d.state != dsInsert)
        throw EDatabaseError(QStringLiteral("Dataset not in edit or insert mode"));
    const FieldInfo& f = d.fields[index_];
    QVariant v = value;
    const bool empty = !v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty());
    if (empty) {
        v = QVariant();
    } else {
        switch (KindOf(f)) {
        case ftInteger:
        case ftFloat: {
            const double x = v.typeId() == QMetaType::QString ? StrToFloat(v.toString()) : v.toDouble();
            if (KindOf(f) == ftInteger && v.typeId() == QMetaType::QString && x != std::trunc(x))
                throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
            v = KindOf(f) == ftInteger && std::fabs(x) < 9.0e15 ? QVariant(static_cast<qlonglong>(std::llround(x)))
                                                                 : QVariant(x);
            break;
        }
        case ftDate:
            if (v.typeId() == QMetaType::QString) {
                const QDate dt = QDate::fromString(v.toString().trimmed(), ShortDateFormat());
                if (!dt.isValid())
                    throw EConvertError(QStringLiteral("'%1' is not a valid date").arg(v.toString()));
                v = dt;
            } else if (v.typeId() == QMetaType::QDateTime) {
                v = v.toDateTime().date();
            }
            break;
        case ftString:
            if (v.typeId() != QMetaType::QString)
                v = TextOf(v);
            break;
        default:
            break;
        }
    }
    d.src->check(index_, v);
    d.buf[index_] = v;
    d.modified = true;
    emit ds_->RecordChanged();
}

void TField::SetAsString(const QString& text) { SetValue(QVariant(text)); }
void TField::SetAsFloat(double v) { SetValue(QVariant(v)); }
void TField::SetAsInteger(int v) { SetValue(QVariant(static_cast<qlonglong>(v))); }
void TField::SetAsDate(const QDate& dt) { SetValue(dt.isValid() ? QVariant(dt) : QVariant()); }
void TField::Clear() { SetValue(QVariant()); }

// ---- TDataSet ----

TDataSet::TDataSet(QObject* owner) : QObject(owner), d(std::make_unique<Impl>()) {}
TDataSet::~TDataSet() = default;

void TDataSet::Open()
{
    if (d->src)
        return;
    InternalOpen();
    d->fieldObjs.clear();
    for (size_t i = 0; i < d->fields.size(); ++i)
        d->fieldObjs.emplace_back(new TField(this, static_cast<int>(i)));
    d->state = dsBrowse;
    d->cur = d->src->count() > 0 ? 0 : -1;
    d->bof = true;
    d->eof = d->cur < 0;
    emit DataSetChanged();
}

void TDataSet::Close()
{
    if (!d->src)
        return;
    d->src.reset();
    d->state = dsInactive;
    d->buf.clear();
    d->modified = false;
    d->insertAt = -1;
    d->cur = -1;
    d->bof = d->eof = true;
    emit DataSetChanged();
    d->fieldObjs.clear();
    d->fields.clear();
}

bool TDataSet::Active() const { return d->src != nullptr; }
void TDataSet::SetActive(bool on)
{
    if (on)
        Open();
    else
        Close();
}

namespace {
// Moving the cursor ends a pending edit, as the framework does: what the controls hold
// is written into the fields first; a changed row is posted, a row left as it was
// (a new row nobody typed into) is cancelled.
void BrowseMode(TDataSet* ds)
{
    ds->UpdateRecord();
    if (ds->State() != dsEdit && ds->State() != dsInsert)
        return;
    if (ds->Modified())
        ds->Post();
    else
        ds->Cancel();
}
} // namespace

void TDataSet::First()
{
    d->checkActive(this);
    BrowseMode(this);
    d->cur = d->src->count() > 0 ? 0 : -1;
    d->bof = true;
    d->eof = d->cur < 0;
    emit RecordChanged();
}

void TDataSet::Next()
{
    d->checkActive(this);
    BrowseMode(this);
    if (d->cur + 1 < d->src->count()) {
        ++d->cur;
        d->bof = false;
    } else {
        d->eof = true;
    }
    emit RecordChanged();
}

void TDataSet::Prior()
{
    d->checkActive(this);
    BrowseMode(this);
    if (d->cur > 0) {
        --d->cur;
        d->eof = false;
    } else {
        d->bof = true;
    }
    emit RecordChanged();
}

void TDataSet::Last()
{
    d->checkActive(this);
    BrowseMode(this);
    d->cur = d->src->count() - 1;
    d->eof = true;
    d->bof = d->cur < 0;
    emit RecordChanged();
}

bool TDataSet::Eof() const { return !d->src || d->eof; }
bool TDataSet::Bof() const { return !d->src || d->bof; }
bool TDataSet::IsEmpty() const { return !d->src || (d->src->count() == 0 && d->state != dsInsert); }
int TDataSet::RecordCount() const { return d->src ? d->src->count() : 0; }
int TDataSet::RecNo() const { return d->src && d->cur >= 0 && d->state != dsInsert ? d->cur + 1 : 0; }

void TDataSet::SetRecNo(int recNo)
{
    d->checkActive(this);
    BrowseMode(this);
    if (recNo < 1 || recNo > d->src->count())
        return;
    d->cur = recNo - 1;
    d->bof = d->eof = false;
    emit RecordChanged();
}

bool TDataSet::Locate(const QString& keyField, const QString& keyValue, TLocateOptions options)
{
    d->checkActive(this);
    BrowseMode(this);
    const int f = FieldByName(keyField)->Index();
    const Qt::CaseSensitivity cs = (options & loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const int n = d->src->count();
    for (int r = 0; r < n; ++r) {
        const QString text = TextOf(d->src->value(r, f));
        const bool hit = (options & loPartialKey) ? text.startsWith(keyValue, cs) : text.compare(keyValue, cs) == 0;
        if (hit) {
            d->cur = r;
            d->bof = d->eof = false;
            emit RecordChanged();
            return true;
        }
    }
    return false;
}

int TDataSet::FieldCount() const { return static_cast<int>(d->fieldObjs.size()); }

TField* TDataSet::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError(QStringLiteral("Field index out of range"));
    return d->fieldObjs[index].get();
}

TField* TDataSet::FindField(const QString& name) const
{
    for (size_t i = 0; i < d->fields.size(); ++i)
        if (d->fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return d->fieldObjs[i].get();
    return nullptr;
}

TField* TDataSet::FieldByName(const QString& name) const
{
    TField* f = FindField(name);
    if (!f)
        throw EDatabaseError(objectName().isEmpty() ? QStringLiteral("Field '%1' not found").arg(name)
                                                    : QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    return f;
}

QStringList TDataSet::FieldNames() const
{
    QStringList names;
    for (const FieldInfo& f : d->fields)
        names << f.name;
    return names;
}

TDataSetState TDataSet::State() const { return d->state; }
bool TDataSet::CanModify() const { return d->src && d->src->canModify(); }
bool TDataSet::Modified() const { return (d->state == dsEdit || d->state == dsInsert) && d->modified; }

void TDataSet::Edit()
{
    d->checkActive(this);
    if (d->state == dsEdit || d->state == dsInsert)
        return;
    if (!CanModify())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    if (d->cur < 0 || d->cur >= d->src->count()) {
        Insert();
        return;
    }
    d->buf.resize(d->fields.size());
    for (size_t i = 0; i < d->fields.size(); ++i)
        d->buf[i] = d->src->value(d->cur, static_cast<int>(i));
    d->state = dsEdit;
    d->modified = false;
    emit RecordChanged();
}

void TDataSet::StartInsert(bool atEnd)
{
    d->checkActive(this);
    BrowseMode(this);
    if (!CanModify())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    d->buf.assign(d->fields.size(), QVariant());
    d->state = dsInsert;
    d->modified = false;
    d->insertAt = atEnd ? d->src->count() : std::max(d->cur, 0);
    emit RecordChanged();
}

void TDataSet::Insert() { StartInsert(false); }
void TDataSet::Append() { StartInsert(true); }

void TDataSet::UpdateRecord()
{
    if (!d->src)
        return;
    std::exception_ptr error;
    emit UpdateData(&error);
    if (error)
        std::rethrow_exception(error);
}

int TDataSet::InsertPosition() const { return d->src && d->state == dsInsert ? d->insertAt : -1; }

void TDataSet::Post()
{
    d->checkActive(this);
    UpdateRecord();
    if (d->state != dsEdit && d->state != dsInsert)
        return;
    if (BeforePost)
        BeforePost(this);
    if (d->state == dsEdit) {
        d->src->update(d->cur, d->buf);
    } else if (d->state == dsInsert) {
        d->cur = d->src->append(d->buf);
        d->bof = d->eof = false;
    } else {
        return;
    }
    d->state = dsBrowse;
    d->buf.clear();
    d->modified = false;
    d->insertAt = -1;
    emit DataSetChanged();
    emit RecordChanged();
}

void TDataSet::Cancel()
{
    if (d->state != dsEdit && d->state != dsInsert)
        return;
    d->state = dsBrowse;
    d->buf.clear();
    d->modified = false;
    d->insertAt = -1;
    emit RecordChanged();
}

void TDataSet::Delete()
{
    d->checkActive(this);
    if (d->state == dsInsert) {
        Cancel();
        return;
    }
    if (!CanModify())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    if (d->cur < 0 || d->cur >= d->src->count())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    d->state = dsBrowse;
    d->src->remove(d->cur);
    if (d->cur >= d->src->count())
        d->cur = d->src->count() - 1;
    d->eof = d->cur < 0;
    emit DataSetChanged();
    emit RecordChanged();
}

void TDataSet::InsertRecord(const QStringList& values)
{
    Insert();
    try {
        for (int i = 0; i < values.size() && i < FieldCount(); ++i)
            Fields(i)->SetAsString(values[i]);
        Post();
    } catch (...) {
        Cancel();
        throw;
    }
}

void TDataSet::AppendRecord(const QStringList& values) { InsertRecord(values); }

void TDataSet::Refresh()
{
    d->checkActive(this);
    BrowseMode(this);
    const int rec = d->cur >= 0 && d->cur < d->src->count() ? d->src->physical(d->cur) : -1;
    const int oldCur = d->cur;
    d->src->reload();
    const int n = d->src->count();
    int found = -1;
    if (rec >= 0)
        for (int r = 0; r < n; ++r)
            if (d->src->physical(r) == rec) {
                found = r;
                break;
            }
    d->cur = found >= 0 ? found : std::min(oldCur, n - 1);
    if (n > 0 && d->cur < 0)
        d->cur = 0;
    d->bof = d->cur <= 0;
    d->eof = n == 0;
    emit DataSetChanged();
    emit RecordChanged();
}

int TDataSet::PhysicalRecNo() const
{
    if (!d->src || d->state == dsInsert || d->cur < 0 || d->cur >= d->src->count())
        return -1;
    return d->src->physical(d->cur);
}

QString TDataSet::RowText(int row, int field) const
{
    if (!d->src || row < 0 || row >= d->src->count() || field < 0 || field >= FieldCount())
        return QString();
    if (row == d->cur && (d->state == dsEdit))
        return TextOf(d->buf[field]);
    return TextOf(d->src->value(row, field));
}

// ---- TTable ----

TTable::TTable(QObject* owner) : TDataSet(owner) {}
TTable::~TTable() = default;

QString TTable::FileName() const
{
    const QString resolved = ResolveTableFile(TableName, DatabaseName);
    if (!resolved.isEmpty())
        return resolved;
    QString base = TableName;
    if (QFileInfo(base).suffix().isEmpty())
        base += QStringLiteral(".dbf");
    return QFileInfo(QDir(DatabaseName.isEmpty() ? QDir::currentPath() : DatabaseName), base).absoluteFilePath();
}

bool TTable::Exists() const { return QFileInfo(FileName()).isFile(); }

void TTable::EmptyTable()
{
    if (Active()) {
        BrowseMode(this);
        static_cast<TableSource*>(d->src.get())->forget();
        static_cast<TableSource*>(d->src.get())->file().empty();
        Refresh();
    } else {
        DbfFile(FileName()).empty();
    }
}

void TTable::InternalOpen()
{
    if (TableName.isEmpty())
        throw EDatabaseError(QStringLiteral("%1: Missing TableName property").arg(objectName()));
    d->src = std::make_unique<TableSource>(FileName(), d->fields);
}

// ---- TQuery ----

TQuery::TQuery(QObject* owner) : TDataSet(owner) {}
TQuery::~TQuery() = default;

bool TQuery::CanModify() const { return RequestLive && TDataSet::CanModify(); }

void TQuery::InternalOpen() { d->src = std::make_unique<QuerySource>(SQL, DatabaseName, RequestLive, d->fields); }

// ---- TBatchMove ----

// The destination records the source's rows make, fields matched by name. The rows
// are built in memory first, so a value that does not fit stops the move before the
// destination is touched.
std::vector<QByteArray> TBatchMove::BuildRecords(const DbfFile& dest)
{
    std::vector<std::pair<int, int>> map;  // source field -> destination field
    for (int i = 0; i < Source->FieldCount(); ++i) {
        const int di = dest.fieldIndex(Source->Fields(i)->FieldName());
        if (di >= 0)
            map.emplace_back(i, di);
    }
    std::vector<QByteArray> records;
    records.reserve(Source->RecordCount());
    for (int r = 0; r < Source->RecordCount(); ++r) {
        QByteArray rec = dest.blankRecord();
        for (const auto& [si, di] : map) {
            const QVariant v = Source->d->src->value(r, si);
            try {
                dest.setValue(rec, di, v);
            } catch (const EConvertError& e) {
                throw EDatabaseError(QStringLiteral("Cannot append to %1: %2").arg(dest.path(), e.Message));
            }
        }
        records.push_back(std::move(rec));
    }
    return records;
}

void TBatchMove::Execute()
{
    MovedCount = 0;
    WithSourceOpen([&] {
        DbfFile dest(Destination->FileName());
        const std::vector<QByteArray> records = BuildRecords(dest);
        dest.appendRecords(records);
        MovedCount = static_cast<int>(records.size());
    });
    if (Destination->Active())
        Destination->Refresh();
}

bool TBatchMove::AlreadyAppended()
{
    bool found = false;
    WithSourceOpen([&] {
        DbfFile dest(Destination->FileName());
        const std::vector<QByteArray> records = BuildRecords(dest);
        found = records.empty();
        if (!found) {
            dest.lock(false);
            int n = 0;
            DbfFile::Mapping map;
            try {
                n = dest.recordCount();
                map = dest.mapRecords(n);
            } catch (...) {
                dest.unlock();
                throw;
            }
            dest.unlock();
            const size_t rl = static_cast<size_t>(dest.recordLength());
            const int k = static_cast<int>(records.size());
            for (int at = 0; at + k <= n && !found; ++at) {
                int i = 0;
                while (i < k && std::memcmp(map.records() + (at + i) * rl, records[i].constData(), rl) == 0)
                    ++i;
                found = i == k;
            }
        }
    });
    return found;
}

void TBatchMove::WithSourceOpen(const std::function<void()>& work)
{
    if (!Source || !Destination)
        throw EDatabaseError(QStringLiteral("Batch move without a source or a destination"));
    // A source the caller left closed is opened for the move alone.
    const bool wasActive = Source->Active();
    if (!wasActive)
        Source->Open();
    try {
        work();
    } catch (...) {
        if (!wasActive)
            Source->Close();
        throw;
    }
    if (!wasActive)
        Source->Close();
}
