// The database engine the recloser records work through, shaped like the data-access
// components of the form framework: tables addressed by bare name in the current folder,
// SQL queries (optionally live), data sources, an appending batch move, and the session.
//
// Storage: the dBASE III files themselves are the database (text in Windows-1252, dates
// as D fields, numbers as N fields, an empty number stored blank). Every operation
// reads the file as it stands; a posted row is in the file, header count included,
// when Post returns. Writers take an advisory lock so two program instances never
// interleave records.
//
// SQL: one SELECT per text, run by SQLite over the files. Double-quoted tokens are
// string literals; a quoted date in the short date format compared with a date field
// compares as a date. A single-table SELECT without DISTINCT, GROUP BY, aggregates or
// joins can be edited when RequestLive is set; any other result cannot be modified.
//
// Errors raise EDatabaseError naming the file and the reason; text that does not
// convert into a field raises EConvertError.
#pragma once

#include "DbError.h"
#include "SysUtils.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

enum TFieldType { ftUnknown, ftString, ftInteger, ftFloat, ftDate, ftBoolean };
enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
enum TLocateOption : unsigned { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = unsigned;
enum TTableType { ttDefault, ttDBase };
enum TBatchMode { batAppend };

class TDataSet;
class DbfFile;

// One field of a data set, seen through the data set's current row. Owned by the
// data set; valid while it stays open.
class TField {
public:
    QString FieldName() const;
    TFieldType DataType() const;
    int Size() const;      // width in characters
    int Decimals() const;  // digits after the point (numbers)
    int Index() const;     // position in the data set, from 0
    TDataSet* DataSet() const { return ds_; }

    // Reading: the current row's value. An empty field is null and reads as ""
    // (AsString), 0 (AsFloat, AsInteger) or an invalid date.
    bool IsNull() const;
    QString AsString() const;  // numbers with DecimalSeparator, dates in the short date format
    double AsFloat() const;
    int AsInteger() const;
    QDate AsDate() const;
    QVariant Value() const;    // QString, double, qlonglong, QDate, bool or a null QVariant
    // The value the row holds in the file: the same as Value() out of the edit state,
    // the value before the change in it, null for a new row.
    QVariant OldValue() const;

    // Writing: only in the edit or insert state. Text converts to the field's kind
    // (a number with DecimalSeparator, a date in the short date format); "" empties it.
    void SetAsString(const QString& text);
    void SetAsFloat(double v);
    void SetAsInteger(int v);
    void SetAsDate(const QDate& d);
    void SetValue(const QVariant& v);
    void Clear();

private:
    friend class TDataSet;
    TField(TDataSet* ds, int index) : ds_(ds), index_(index) {}
    TDataSet* ds_;
    int index_;
};

// What a table and a query have in common: the open state, a cursor over the rows,
// the fields of the current row, and editing of that row.
class TDataSet : public QObject {
    Q_OBJECT
public:
    explicit TDataSet(QObject* owner = nullptr);
    ~TDataSet() override;

    void Open();
    void Close();  // a pending edit or insert is cancelled
    bool Active() const;
    void SetActive(bool on);

    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;  // past the last row (also when empty)
    bool Bof() const;  // before the first row (also when empty)
    bool IsEmpty() const;
    int RecordCount() const;
    int RecNo() const;        // position of the current row, from 1 (0 when empty)
    void SetRecNo(int recNo); // moves to a row, from 1

    // Moves to the first row whose field equals the value (without regard to case when
    // asked); true when found. The cursor stays where it was when nothing is found.
    bool Locate(const QString& keyField, const QString& keyValue, TLocateOptions options);

    int FieldCount() const;
    TField* Fields(int index) const;
    TField* FindField(const QString& name) const;    // without regard to case; nullptr when absent
    TField* FieldByName(const QString& name) const;  // raises EDatabaseError when absent
    QStringList FieldNames() const;

    TDataSetState State() const;
    // A data set that can be edited: an open table, or an open live query result.
    virtual bool CanModify() const;
    // A field was written since the row went into the edit or insert state.
    bool Modified() const;

    void Edit();      // the current row; raises when the data set cannot be modified
    // A new empty row at the cursor (Insert) or after the last row (Append); the file
    // adds it at its end when it is posted.
    void Insert();
    void Append();
    // Asks the controls showing the data set to write what the user typed into the
    // fields (UpdateData); raises what the fields raise.
    void UpdateRecord();
    // Writes the edited or new row into the file: first UpdateRecord, then BeforePost,
    // which may refuse the row by raising (nothing is stored, the state stays).
    void Post();
    void Cancel();
    void Delete();    // marks the current row deleted in the file
    // Inserts and posts one whole row; values in field order, as text. Fewer values
    // leave the remaining fields empty.
    void InsertRecord(const QStringList& values);
    void AppendRecord(const QStringList& values);
    // Posts a pending edit, then reads the rows again (a query runs again); the cursor
    // stays on the same record where it still exists.
    void Refresh();

    // The file's record number of the current row (from 0), -1 when there is none
    // (an empty data set, a new row, a result that is not live).
    int PhysicalRecNo() const;
    // The text of a field of any row (from 0) without moving the cursor: for grids.
    QString RowText(int row, int field) const;
    // In the insert state the row (from 0) before which the new row shows in a grid:
    // the cursor's row for Insert, RecordCount() for Append; -1 in any other state.
    int InsertPosition() const;

    // Runs before a row is written by Post (the framework's BeforePost event).
    std::function<void(TDataSet*)> BeforePost;

signals:
    // The rows changed as a whole: opened, closed, refreshed, row added or deleted.
    void DataSetChanged();
    // The current row moved or changed its values or state.
    void RecordChanged();
    // UpdateRecord: a control holding text typed for the current or new row writes it
    // into its field now; a failure is put in `error` (the first one counts), which
    // UpdateRecord raises once every control was asked.
    void UpdateData(std::exception_ptr* error);

protected:
    struct Impl;
    std::unique_ptr<Impl> d;
    friend class TField;
    friend class TBatchMove;
    // Opening a data set: fills the impl's field list and rows; raises EDatabaseError.
    virtual void InternalOpen() = 0;

private:
    void StartInsert(bool atEnd);
};

// A dBASE table by bare name: "KyrCust" opens "KyrCust.dbf" in the current folder.
// A name with a folder ("/path/KyrCust") opens that file; a name with an extension
// ("KyrCust.dbk") opens the file of that name.
class TTable : public TDataSet {
    Q_OBJECT
public:
    explicit TTable(QObject* owner = nullptr);
    ~TTable() override;

    QString TableName;
    QString DatabaseName;  // a folder, or empty for the current folder
    TTableType TableType = ttDBase;

    QString FileName() const;  // the file the table name resolves to now
    bool Exists() const;
    // Removes every row from the file (the table may be open or closed).
    void EmptyTable();

protected:
    void InternalOpen() override;
};

// An SQL query over the tables of the current folder.
class TQuery : public TDataSet {
    Q_OBJECT
public:
    explicit TQuery(QObject* owner = nullptr);
    ~TQuery() override;

    QStringList SQL;           // the text, one line per item
    bool RequestLive = false;  // ask for an editable result
    QString DatabaseName;      // a folder, or empty for the current folder

    // True when open, RequestLive is set and the result is a plain single-table selection.
    bool CanModify() const override;

protected:
    void InternalOpen() override;
};

// Ties a grid to a data set.
class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* owner = nullptr) : QObject(owner) {}
    TDataSet* DataSet = nullptr;
    bool Enabled = true;
};

// Copies the rows of a source data set into a destination table. batAppend adds them
// at the end of the destination, fields matched by name (fields missing on either side
// are left out). All or nothing: when a row cannot be written the destination is left
// exactly as it was and EDatabaseError is raised. The source is opened when closed and
// left as it was found; the destination file need not be open.
class TBatchMove : public QObject {
    Q_OBJECT
public:
    explicit TBatchMove(QObject* owner = nullptr) : QObject(owner) {}
    TDataSet* Source = nullptr;
    TTable* Destination = nullptr;
    TBatchMode Mode = batAppend;
    int MovedCount = 0;
    void Execute();
    // True when the destination already holds every row Execute would append, in
    // order, as consecutive rows not deleted (always for an empty source): tells an
    // append that was made from one that was not.
    bool AlreadyAppended();

private:
    std::vector<QByteArray> BuildRecords(const DbfFile& dest);
    // Checks source and destination, runs `work` with the source open, and closes it
    // again when it was closed before (also when `work` throws).
    void WithSourceOpen(const std::function<void()>& work);
};

// The default session. The engine needs no network control folder (it locks the files
// themselves); the setting is kept for the callers that make it.
class TSession {
public:
    QString NetFileDir;
};
extern TSession* Session;
