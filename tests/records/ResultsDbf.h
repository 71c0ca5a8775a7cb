// Reads dBASE III files byte by byte, so that what the program stores is checked
// without its own database engine.
#pragma once

#include <QString>
#include <map>
#include <vector>

namespace resultsdbf {

// The rows of a table (deleted rows left out): field name to its text, text fields
// without trailing blanks, numbers without blanks ("" when empty), dates as YYYYMMDD.
using Row = std::map<QString, QString>;
std::vector<Row> ReadRows(const QString& path);

} // namespace resultsdbf
