// The record tables at the size of years of use: a results table of 100 000 rows (100
// reclosers), the browser's query of one recloser's rows, appending one results row,
// and the start-up table check merging an update file of 10 000 rows.
#include "DbTables.h"
#include "KyrGlobals.h"
#include "KyrTableDefs.h"
#include "KyrTables.h"
#include "SysUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <clocale>
#include <cstdlib>

namespace {

QTemporaryDir* Folder = nullptr;

QString Path(const QString& name) { return Folder->path() + '/' + name; }

void FillResults(const QString& table, int rows)
{
    TTable t;
    t.TableName = table;
    t.Open();
    for (int i = 0; i < rows; ++i) {
        t.Insert();
        t.FieldByName("RECLID")->SetAsString(QStringLiteral("R%1").arg(i % 100, 4, 10, QLatin1Char('0')));
        t.FieldByName("TESTDATE")->SetAsDate(QDate(2020, 1, 1).addDays(i / 50));
        t.FieldByName("TESTTIME")->SetAsString(QStringLiteral("12:00:00"));
        t.FieldByName("TECHID")->SetAsString(QStringLiteral("TECH%1").arg(i % 7));
        t.FieldByName("TESTRESULT")->SetAsString(i % 3 ? QStringLiteral("OK") : QStringLiteral("*LOW"));
        t.FieldByName("TESTTYPE")->SetAsString(QStringLiteral("4X"));
        for (int n = 1; n <= 4; ++n) {
            t.FieldByName(QStringLiteral("CURR%1").arg(n))->SetAsFloat(400.25 + n);
            t.FieldByName(QStringLiteral("TIME%1").arg(n))->SetAsFloat(0.125 * n);
        }
        t.FieldByName("COMMENTS")->SetAsString(QStringLiteral("routine test"));
        t.Post();
    }
}

// rows results rows in a table: 100 rows typed in, then appended in batches (every
// posted row goes to the disk on its own, which would make a slow fixture).
void Grow(const QString& table, int rows)
{
    WriteTable(Path("Seed.dbf"), KyrTableFields(QStringLiteral("KyrRes")));
    FillResults(QStringLiteral("Seed"), 100);
    TTable seed, dest;
    seed.TableName = QStringLiteral("Seed");
    dest.TableName = table;
    seed.Open();
    TBatchMove move;
    move.Source = &seed;
    move.Destination = &dest;
    for (int done = 0; done < rows; done += 100)
        move.Execute();
}

// Made once: KyrRes with 100 000 rows (and a pristine copy), an update file of 10 000.
void MakeTables()
{
    if (Folder)
        return;
    Folder = new QTemporaryDir;
    QDir::setCurrent(Folder->path());
    DataFolder = Folder->path();
    for (const QString& t : KyrTableNames())
        WriteEmptyTable(Folder->path(), t, false);
    Grow(QStringLiteral("KyrRes"), 100000);
    QFile::copy(Path("KyrRes.dbf"), Path("KyrRes.pristine"));
    WriteTable(Path("Update.dbf"), KyrTableFields(QStringLiteral("KyrRes")));
    Grow(QStringLiteral("Update"), 10000);
}

void Restore(const QString& from, const QString& to)
{
    QFile::remove(to);
    QFile::copy(from, to);
}

void BM_BrowserQueryOfOneRecloser(benchmark::State& state)
{
    MakeTables();
    Restore(Path("KyrRes.pristine"), Path("KyrRes.dbf"));
    int rows = 0;
    for (auto _ : state) {
        TQuery q;
        q.RequestLive = true;
        q.SQL = QStringList{QStringLiteral("SELECT *  FROM KYRRES"), QStringLiteral("WHERE RECLID = \"R0042\"")};
        q.Open();
        rows = q.RecordCount();
        q.Close();
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_BrowserQueryOfOneRecloser)->Unit(benchmark::kMillisecond);

void BM_AppendOneResultsRow(benchmark::State& state)
{
    MakeTables();
    Restore(Path("KyrRes.pristine"), Path("KyrRes.dbf"));
    int i = 0;
    for (auto _ : state) {
        // As the results window saves: open, insert, write the fields, post, close.
        TTable t;
        t.TableName = QStringLiteral("KyrRes");
        t.Open();
        t.Insert();
        t.FieldByName("RECLID")->SetAsString(QStringLiteral("R0001"));
        t.FieldByName("TESTDATE")->SetAsDate(QDate(2026, 12, 10));
        t.FieldByName("TESTTIME")->SetAsString(QStringLiteral("12:00:00"));
        t.FieldByName("TESTRESULT")->SetAsString(QStringLiteral("OK"));
        for (int n = 1; n <= 4; ++n)
            t.FieldByName(QStringLiteral("TIME%1").arg(n))->SetAsFloat(0.5 + n + i);
        t.FieldByName("COMMENTS")->SetAsString(QStringLiteral("<Enter Comments>"));
        t.Post();
        t.Close();
        ++i;
    }
}
BENCHMARK(BM_AppendOneResultsRow)->Unit(benchmark::kMicrosecond);

void BM_CheckDatabaseMerging10000Rows(benchmark::State& state)
{
    MakeTables();
    TReclTables tables;
    for (auto _ : state) {
        state.PauseTiming();
        Restore(Path("KyrRes.pristine"), Path("KyrRes.dbf"));
        Restore(Path("Update.dbf"), Path("KyrRes1.dbf"));
        state.ResumeTiming();
        tables.CheckDatabase();
    }
}
BENCHMARK(BM_CheckDatabaseMerging10000Rows)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    DecimalSeparator = QLatin1Char('.');
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete Folder;
    return 0;
}
