// The engine's SQL: one SELECT run by SQLite over the dBASE files of a folder, each
// table a virtual table that reads the file as it stands when the statement runs.
#pragma once

#include "DbfFile.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

struct SqlColumn {
    QString name;
    int field = -1;       // the field of the live table it comes from, -1 for none
    char type = 'C';      // the dBASE kind the values have (C, N, F, D, L; any other reads as text)
    int width = 0;
    int decimals = 0;
};

// A result that is not live holds its values. A live result holds only each row's
// record number, so that a selection of a large table costs a few bytes a row: its
// values are the table file's (DbfFile::value of the column's field), read when asked.
struct SqlResult {
    std::vector<SqlColumn> columns;
    std::vector<std::vector<QVariant>> rows;  // not live: QString, qlonglong, double, QDate, bool or null
    std::vector<int> recnos;                  // live results: each row's record number
    bool live = false;
    QString tablePath;                        // live results: the table file
    std::shared_ptr<DbfFile> file;            // live results: that file as the selection read it
};

// What any one SQL text may take, whoever runs it (the browser's typed texts, the
// report, the program's own queries). A text that goes beyond one is stopped with an
// EDatabaseError naming the limit, and nothing it did is kept:
// - time: kSqlTimeLimitMs from the start of the run to its last row;
// - memory: kSqlMemoryLimitBytes for what SQLite holds (its sorts, its temporary
//   tables, its caches) and the result's rows together;
// - temporary storage: in memory only, within the memory limit; no temporary file is
//   ever made.
constexpr int kSqlTimeLimitMs = 5000;
constexpr qint64 kSqlMemoryLimitBytes = 256LL * 1024 * 1024;

// The most any SQL text took since the last reset: its run's time, SQLite's memory at
// its peak and the bytes of its result's rows. For measuring against the limits.
struct SqlUsage {
    qint64 elapsedMs = 0;
    qint64 sqliteBytes = 0;
    qint64 resultBytes = 0;
};
SqlUsage PeakSqlUsage();
void ResetPeakSqlUsage();

// Runs one SELECT over the tables of the folder (empty: the current folder). A live
// result is asked for with wantLive and given when the text is a plain single-table
// selection. Raises EDatabaseError with the reason. A table name in the text names a
// table of that folder only: a name holding a path or "..", or one whose file lies
// elsewhere (through a link), is not found.
SqlResult RunSelect(const QStringList& sql, const QString& folder, bool wantLive);

// The file a bare table name stands for in a folder: name + ".dbf", matched without
// regard to case when no file has exactly that name; empty when there is none.
QString ResolveTableFile(const QString& name, const QString& folder);

// The SQL text as SQLite runs it: double-quoted tokens made string literals, and quoted
// dates in the short date format compared with one of dateFields made ISO dates.
// Raises EDatabaseError for anything but exactly one SELECT. For tests.
QString RewriteSql(const QString& text, const QStringList& dateFields);
