// The installation's empty tables: field names, order and kinds as the program uses
// them, with widths wide enough for the texts it writes. The program never creates a
// table; this tool does, for the installation step and for test fixtures.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

struct TableFieldDef {
    const char* name;
    char type;  // 'C' text, 'N' number, 'D' date
    int width;
    int decimals;
};

// KyrCust, KyrRecl, KyrRes, KyrTechs, KyrTypes.
QStringList KyrTableNames();
// The fields of one of them (empty for another name).
const std::vector<TableFieldDef>& KyrTableFields(const QString& table);
// Writes an empty dBASE table "<folder>/<table>.dbf" (Windows-1252 code page byte).
// An existing file is kept unless replace is set. False with the reason on failure.
bool WriteEmptyTable(const QString& folder, const QString& table, bool replace, QString* error = nullptr);
// The same with any field list, for tests.
bool WriteTable(const QString& path, const std::vector<TableFieldDef>& fields, QString* error = nullptr);
