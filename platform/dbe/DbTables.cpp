// Placeholder bodies: the engine follows in the next commits.
#include "DbTables.h"

namespace {
[[noreturn]] void NotYet() { throw EDatabaseError(QStringLiteral("The database engine is not built yet")); }
}

struct TDataSet::Impl {};
static TSession DefaultSession;
TSession* Session = &DefaultSession;

QString TField::FieldName() const { return {}; }
TFieldType TField::DataType() const { return ftUnknown; }
int TField::Size() const { return 0; }
int TField::Decimals() const { return 0; }
int TField::Index() const { return index_; }
bool TField::IsNull() const { return true; }
QString TField::AsString() const { return {}; }
double TField::AsFloat() const { return 0; }
int TField::AsInteger() const { return 0; }
QDate TField::AsDate() const { return {}; }
QVariant TField::Value() const { return {}; }
void TField::SetAsString(const QString&) { NotYet(); }
void TField::SetAsFloat(double) { NotYet(); }
void TField::SetAsInteger(int) { NotYet(); }
void TField::SetAsDate(const QDate&) { NotYet(); }
void TField::SetValue(const QVariant&) { NotYet(); }
void TField::Clear() { NotYet(); }

TDataSet::TDataSet(QObject* owner) : QObject(owner) {}
TDataSet::~TDataSet() = default;
void TDataSet::Open() { InternalOpen(); }
void TDataSet::Close() {}
bool TDataSet::Active() const { return false; }
void TDataSet::SetActive(bool on) { if (on) Open(); else Close(); }
void TDataSet::First() {}
void TDataSet::Next() {}
void TDataSet::Prior() {}
void TDataSet::Last() {}
bool TDataSet::Eof() const { return true; }
bool TDataSet::Bof() const { return true; }
bool TDataSet::IsEmpty() const { return true; }
int TDataSet::RecordCount() const { return 0; }
int TDataSet::RecNo() const { return 0; }
void TDataSet::SetRecNo(int) {}
bool TDataSet::Locate(const QString&, const QString&, TLocateOptions) { return false; }
int TDataSet::FieldCount() const { return 0; }
TField* TDataSet::Fields(int) const { NotYet(); }
TField* TDataSet::FindField(const QString&) const { return nullptr; }
TField* TDataSet::FieldByName(const QString&) const { NotYet(); }
QStringList TDataSet::FieldNames() const { return {}; }
TDataSetState TDataSet::State() const { return dsInactive; }
bool TDataSet::CanModify() const { return false; }
void TDataSet::Edit() { NotYet(); }
void TDataSet::Insert() { NotYet(); }
void TDataSet::Append() { NotYet(); }
void TDataSet::Post() { NotYet(); }
void TDataSet::Cancel() {}
void TDataSet::Delete() { NotYet(); }
void TDataSet::InsertRecord(const QStringList&) { NotYet(); }
void TDataSet::AppendRecord(const QStringList&) { NotYet(); }
void TDataSet::Refresh() {}
int TDataSet::PhysicalRecNo() const { return -1; }
QString TDataSet::RowText(int, int) const { return {}; }

TTable::TTable(QObject* owner) : TDataSet(owner) {}
TTable::~TTable() = default;
QString TTable::FileName() const { return TableName + QStringLiteral(".dbf"); }
bool TTable::Exists() const { return false; }
void TTable::EmptyTable() { NotYet(); }
void TTable::InternalOpen() { NotYet(); }

TQuery::TQuery(QObject* owner) : TDataSet(owner) {}
TQuery::~TQuery() = default;
bool TQuery::CanModify() const { return false; }
void TQuery::InternalOpen() { NotYet(); }

void TBatchMove::Execute() { NotYet(); }
