// The database browser's results page opened on a results table of 100 000 rows (1000
// reclosers with 100 tests each, every tenth kept out of the report): the results
// table, the report query and the recloser's results query opened and shown in their
// grids, as showing the window does. Before timing, the grids are checked to hold the
// recloser's 100 results and its 90 report rows.
//
// The whole window before a recloser is chosen: View Database shows the browser with the
// results query over every row (100 000) and the report query over every row not kept
// out (90 000). Timed from show() until the window has been painted; the counters give
// the memory the program holds more once it is shown (resident set after the show less
// before it, the previous results freed first) and its peak during the show (which
// counts the table file's pages mapped while a query scans it).
#include "DbSql.h"
#include "KyrDatabase.h"
#include "KyrSqlText.h"
#include "KyrGlobals.h"
#include "KyrTableDefs.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <malloc.h>
#include <string>
#include <benchmark/benchmark.h>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <shapefil.h>

namespace {
constexpr int Rows = 100000;

bool FillResults(const QString& path)
{
    DBFHandle h = DBFOpen(QFile::encodeName(path).constData(), "rb+");
    if (!h)
        return false;
    const int recl = DBFGetFieldIndex(h, "RECLID"), date = DBFGetFieldIndex(h, "TESTDATE"),
              time = DBFGetFieldIndex(h, "TESTTIME"), result = DBFGetFieldIndex(h, "TESTRESULT"),
              type = DBFGetFieldIndex(h, "TESTTYPE"), curr1 = DBFGetFieldIndex(h, "CURR1"),
              time1 = DBFGetFieldIndex(h, "TIME1");
    bool ok = true;
    for (int i = 0; i < Rows && ok; ++i) {
        const QByteArray id = "R" + QByteArray::number(i % 1000 + 1);
        const QByteArray day = QDate(2026, 1 + i % 12, 1 + i % 28).toString(QStringLiteral("yyyyMMdd")).toLatin1();
        ok = DBFWriteStringAttribute(h, i, recl, id.constData()) &&
             DBFWriteStringAttribute(h, i, date, day.constData()) &&
             DBFWriteStringAttribute(h, i, time, "10:15:30") &&
             DBFWriteStringAttribute(h, i, result, (i / 1000) % 10 == 0 ? "*OK" : "OK") &&
             DBFWriteStringAttribute(h, i, type, "4X") && DBFWriteDoubleAttribute(h, i, curr1, 400.5) &&
             DBFWriteDoubleAttribute(h, i, time1, 0.0512);
    }
    DBFClose(h);
    return ok;
}

// The data form as the browser sees it: the bench's tables, recloser "R1".
struct BenchReclSource : IReclDataSource {
    TReclTables* tables = nullptr;
    TReclTables* ReclTables() const override { return tables; }
    QString id = QStringLiteral("R1");
    QString ReclID() const override { return id; }
    TReclTestData PreparedTest() const override { return {}; }
    void RefreshCurveTimes() override {}
    QStringList BrowserReportSQL() const override { return {}; }
    void ShowDataForm() override {}
    void ShowDatabase() override {}
    void ShowReport() override {}
    void ShowCurves(const double (&)[2][10]) override {}
};

struct Browser {
    QTemporaryDir dir;
    TReclTables tables;
    BenchReclSource source;
    TfmKyrDatabase* window = nullptr;
    bool ok = false;
    Browser()
    {
        QDir::setCurrent(dir.path());
        DataFolder = dir.path();
        for (const QString& t : KyrTableNames())
            if (!WriteEmptyTable(dir.path(), t, false))
                return;
        if (!FillResults(dir.filePath(QStringLiteral("KyrRes.dbf"))))
            return;
        source.tables = &tables;
        window = new TfmKyrDatabase(&source);
        ok = true;
    }
    ~Browser()
    {
        delete window;
    }
    void Open()
    {
        window->close();
        window->show();
    }
};

Browser* g_browser = nullptr;

// The resident set now and its peak, in MB (Linux /proc).
double StatusMB(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string k = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.compare(0, k.size(), k) == 0)
            return std::stod(line.substr(k.size())) / 1024.0;
    return 0;
}

void ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// The most any one SQL text of the run took, beside the limits every text has: the
// program's own texts must stay well inside them.
void SqlCounters(benchmark::State& state)
{
    const SqlUsage u = PeakSqlUsage();
    state.counters["sql_ms"] = static_cast<double>(u.elapsedMs);
    state.counters["sql_ms_limit"] = kSqlTimeLimitMs;
    state.counters["sql_MB"] = static_cast<double>(u.sqliteBytes + u.resultBytes) / (1024.0 * 1024.0);
    state.counters["sql_MB_limit"] = static_cast<double>(kSqlMemoryLimitBytes) / (1024.0 * 1024.0);
}

void BM_BrowserShownBeforeReclChosen100kRows(benchmark::State& state)
{
    ResetPeakSqlUsage();
    TfmKyrDatabase* w = g_browser->window;
    const QString before = g_browser->source.id;
    g_browser->source.id.clear();
    double grow = 0, peak = 0;
    int rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w->close();
        g_browser->tables.qRes->Close();
        w->Data().qResReport->Close();
        QApplication::processEvents();
        malloc_trim(0);
        const double rss = StatusMB("VmRSS");
        ResetPeak();
        state.ResumeTiming();
        w->show();
        QApplication::processEvents();
        w->repaint();
        state.PauseTiming();
        grow += StatusMB("VmRSS") - rss;
        peak += StatusMB("VmHWM") - rss;
        rows = w->dbGrid6->model()->rowCount();
        state.ResumeTiming();
    }
    state.counters["report_rows"] = rows;
    state.counters["grow_MB"] = grow / static_cast<double>(state.iterations());
    state.counters["peak_MB"] = peak / static_cast<double>(state.iterations());
    SqlCounters(state);
    g_browser->source.id = before;
}

void BM_BrowserResultsPage100kRows(benchmark::State& state)
{
    ResetPeakSqlUsage();
    for (auto _ : state)
        g_browser->Open();
    state.counters["rows"] = g_browser->window->DBGrid1->model()->rowCount();
    SqlCounters(state);
}

// The report's query for twelve reclosers over the 100 000 rows: about 1000 rows, held
// in memory as the report reads them.
void BM_ReportQueryAbout1000Rows(benchmark::State& state)
{
    QStringList ids;
    for (int i = 1; i <= 12; ++i)
        ids << QStringLiteral("R%1").arg(i);
    ResetPeakSqlUsage();
    int rows = 0;
    for (auto _ : state) {
        TQuery q;
        q.SQL = ResultsQueryText(ids);
        q.Open();
        rows = q.RecordCount();
    }
    state.counters["rows"] = rows;
    SqlCounters(state);
}
} // namespace

BENCHMARK(BM_BrowserResultsPage100kRows)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReportQueryAbout1000Rows)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BrowserShownBeforeReclChosen100kRows)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    Browser browser;
    if (!browser.ok) {
        std::fprintf(stderr, "cannot make the results table\n");
        return 1;
    }
    g_browser = &browser;
    browser.Open();
    const int results = browser.window->DBGrid1->model()->rowCount();
    const int report = browser.window->dbGrid6->model()->rowCount();
    if (results != 100 || report != 90) {
        std::fprintf(stderr, "the grids hold %d results and %d report rows, not 100 and 90\n", results, report);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
