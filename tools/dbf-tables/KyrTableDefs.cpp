#include "KyrTableDefs.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <map>
#include <shapefil.h>
#include <unistd.h>

namespace {

std::vector<TableFieldDef> Results()
{
    std::vector<TableFieldDef> f = {
        {"RECLID", 'C', 30, 0},     {"TESTDATE", 'D', 8, 0}, {"TESTTIME", 'C', 8, 0},  {"TECHID", 'C', 30, 0},
        {"CUSTID", 'C', 30, 0},     {"RECLTYPE", 'C', 30, 0}, {"COIL_CT", 'C', 20, 0}, {"PHASE", 'C', 20, 0},
        {"OPSEQ", 'C', 30, 0},      {"TESTRESULT", 'C', 254, 0}, {"TESTTYPE", 'C', 10, 0},
    };
    static const char* groups[] = {"CURR", "TIME", "MIN", "MAX", "OPT"};
    static std::vector<std::string> names;  // keeps the generated names alive
    if (names.empty()) {
        for (const char* g : groups)
            for (int n = 1; n <= 4; ++n)
                names.push_back(std::string(g) + std::to_string(n));
        for (int n = 1; n <= 3; ++n)
            names.push_back("RECL" + std::to_string(n));
    }
    for (const std::string& n : names)
        f.push_back({n.c_str(), 'N', 14, 4});
    f.push_back({"OPCOUNTER", 'N', 10, 0});
    f.push_back({"COMMENTS", 'C', 250, 0});
    return f;
}

const std::map<QString, std::vector<TableFieldDef>>& Defs()
{
    static const std::map<QString, std::vector<TableFieldDef>> defs = {
        {QStringLiteral("KyrCust"), {{"CUSTID", 'C', 30, 0}, {"CUSTNAME", 'C', 60, 0}}},
        {QStringLiteral("KyrTechs"), {{"TECHID", 'C', 30, 0}, {"TECHNAME", 'C', 60, 0}}},
        {QStringLiteral("KyrTypes"),
         {{"TYPE", 'C', 30, 0},
          {"TRIPCOILS", 'C', 200, 0},
          {"GNDCTS", 'C', 250, 0},
          {"TRIPCURVES", 'C', 200, 0},
          {"GCURVES_F", 'C', 200, 0},
          {"GCURVES_S", 'C', 200, 0},
          {"RECLTIME", 'N', 12, 4},
          {"PHASES", 'C', 2, 0}}},
        {QStringLiteral("KyrRecl"),
         {{"RECLID", 'C', 30, 0},
          {"CUSTID", 'C', 30, 0},
          {"TYPE", 'C', 30, 0},
          {"COIL", 'C', 10, 0},
          {"FASTOPS", 'C', 2, 0},
          {"DELAYOPS", 'C', 2, 0},
          {"CURVE", 'C', 10, 0},
          {"GNDCT", 'C', 20, 0},
          {"GNDOPS_F", 'C', 2, 0},
          {"GNDCURV_F", 'C', 10, 0},
          {"GNDOPS_S", 'C', 2, 0},
          {"GNDCURV_S", 'C', 10, 0}}},
        {QStringLiteral("KyrRes"), Results()},
    };
    return defs;
}

void SetError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

QStringList KyrTableNames()
{
    return {QStringLiteral("KyrCust"), QStringLiteral("KyrRecl"), QStringLiteral("KyrRes"), QStringLiteral("KyrTechs"),
            QStringLiteral("KyrTypes")};
}

const std::vector<TableFieldDef>& KyrTableFields(const QString& table)
{
    static const std::vector<TableFieldDef> none;
    const auto it = Defs().find(table);
    return it == Defs().end() ? none : it->second;
}

bool WriteTable(const QString& path, const std::vector<TableFieldDef>& fields, QString* error)
{
    // shapelib names the file itself (base name + ".dbf"): build under a temporary base
    // name beside the target, then move it into place.
    const QFileInfo target(path);
    const QString tmpBase = target.absolutePath() + QStringLiteral("/kvnew-%1-%2").arg(::getpid()).arg(target.baseName());
    const QString tmpFile = tmpBase + QStringLiteral(".dbf");
    DBFHandle h = DBFCreateEx(QFile::encodeName(tmpBase).constData(), "LDID/87");
    if (!h) {
        SetError(error, QStringLiteral("Cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    bool ok = true;
    for (const TableFieldDef& f : fields)
        if (DBFAddNativeFieldType(h, f.name, f.type, f.width, f.decimals) < 0) {
            SetError(error, QStringLiteral("Cannot add field %1 to %2").arg(QLatin1String(f.name), path));
            ok = false;
            break;
        }
    // The header's last-update date is written at close: the day the table is made, as
    // every write by the engine dates it (shapelib's own default is a fixed day in 1995).
    const QDate today = QDate::currentDate();
    DBFSetLastModifiedDate(h, today.year() - 1900, today.month(), today.day());
    DBFClose(h);
    if (ok) {
        QFile::remove(path);
        if (!QFile::rename(tmpFile, path)) {
            SetError(error, QStringLiteral("Cannot move %1 to %2").arg(tmpFile, path));
            ok = false;
        }
    }
    if (!ok)
        QFile::remove(tmpFile);
    return ok;
}

bool WriteEmptyTable(const QString& folder, const QString& table, bool replace, QString* error)
{
    const std::vector<TableFieldDef>& fields = KyrTableFields(table);
    if (fields.empty()) {
        SetError(error, QStringLiteral("Unknown table %1").arg(table));
        return false;
    }
    const QString path = QDir(folder).absoluteFilePath(table + QStringLiteral(".dbf"));
    if (!replace && QFileInfo::exists(path))
        return true;
    return WriteTable(path, fields, error);
}
