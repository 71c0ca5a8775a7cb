// The SQL text reader: any text as the browser's select text. TODAY is put in, the
// report text derived, the text rewritten and run over the installation tables. It runs
// or raises the engine's error; no text writes a file into the folder.
#include "FuzzSupport.h"

#include "DbSql.h"
#include "DbTables.h"
#include "KyrSqlText.h"
#include "KyrTableDefs.h"
#include "SysUtils.h"

#include <QDate>
#include <QDir>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kvfuzz::Init();
    static QTemporaryDir* folder = nullptr;  // the tables, made once
    static QStringList files;
    if (!folder) {
        folder = new QTemporaryDir();
        for (const QString& t : KyrTableNames())
            WriteEmptyTable(folder->path(), t, true);
        TTable res;
        res.TableName = QDir(folder->path()).filePath(QStringLiteral("KyrRes"));
        res.Open();
        res.InsertRecord({QStringLiteral("R1"), DateToStr(QDate(2026, 1, 2)), QStringLiteral("10:00:00")});
        res.InsertRecord({QStringLiteral("R\"2"), DateToStr(QDate::currentDate()), QStringLiteral("11:00:00")});
        res.Close();
        files = QDir(folder->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // A query that never ends (a recursive common table expression) is not the reader's
    // fault to find here.
    if (text.contains(QLatin1String("RECURSIVE"), Qt::CaseInsensitive))
        return 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QStringList select = SubstituteToday(lines, DateToStr(QDate::currentDate()));
    for (const QString& l : select)
        kvfuzz::Check(!l.isEmpty(), "no empty line left in the select text");
    const QStringList report = DeriveReportSQL(select);
    kvfuzz::Check(report.size() == select.size() + 1, "the report text has one line more");
    (void)FindSqlWordLine(select, QStringLiteral("WHERE"));
    for (const QStringList& sql : {select, report}) {
        try {
            (void)RewriteSql(sql.join(QLatin1Char('\n')), {QStringLiteral("TESTDATE")});
        } catch (const Exception&) {
        }
        try {
            (void)RunSelect(sql, folder->path(), true);
        } catch (const Exception&) {
        }
    }
    kvfuzz::Check(QDir(folder->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name) == files,
                  "no SQL text adds or removes a file");
    return 0;
}
