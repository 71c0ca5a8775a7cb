// The results report of 1000 rows from the report's rows to the preview showing every
// page: the rows walked, coloured and laid out into pages, and the preview's pages drawn.
// Before timing, the preview is checked to hold the page count the layout gives.
#include "KyrResultsReport.h"
#include "SysUtils.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QVariantMap>
#include <benchmark/benchmark.h>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
class Rows : public TQRRowSource {
public:
    std::vector<QVariantMap> rows;
    size_t pos = 0;
    void First() override { pos = 0; }
    bool Eof() const override { return pos >= rows.size(); }
    void Next() override { ++pos; }
    QVariant FieldValue(const QString& name) const override { return rows[pos].value(name); }
};

Rows MakeRows(int count)
{
    Rows r;
    for (int i = 0; i < count; ++i) {
        QVariantMap m;
        m["RECLID"] = QStringLiteral("R-%1").arg(i / 10);
        m["TESTDATE"] = QDate(2026, 1, 1).addDays(i % 300);
        m["TESTTIME"] = QStringLiteral("10:%1:00").arg(i % 60, 2, 10, QLatin1Char('0'));
        m["TECHID"] = QStringLiteral("TECH%1").arg(i % 7);
        m["CUSTID"] = QStringLiteral("CUSTOMER%1").arg(i % 11);
        m["RECLTYPE"] = QStringLiteral("KF");
        m["COIL_CT"] = QStringLiteral("100");
        m["PHASE"] = QStringLiteral("A");
        m["OPSEQ"] = QStringLiteral("2A-2B");
        m["TESTRESULT"] = QStringLiteral("OK");
        const bool mpu = i % 5 == 0;
        m["TESTTYPE"] = mpu ? QStringLiteral("MPU") : QStringLiteral("4X");
        for (int n = 1; n <= 4; ++n) {
            const bool used = !mpu || n == 1;
            m[QStringLiteral("CURR%1").arg(n)] = used ? QVariant(400.0 + n + i % 3) : QVariant();
            m[QStringLiteral("TIME%1").arg(n)] = mpu ? QVariant() : QVariant(0.05 * n + (i % 4) * 0.01);
            m[QStringLiteral("MIN%1").arg(n)] = used ? QVariant(0.05 * n) : QVariant();
            m[QStringLiteral("MAX%1").arg(n)] = used ? QVariant(0.05 * n + 0.02) : QVariant();
            m[QStringLiteral("OPT%1").arg(n)] = used ? QVariant(0.05 * n + 0.01) : QVariant();
            if (n <= 3)
                m[QStringLiteral("RECL%1").arg(n)] = mpu ? QVariant() : QVariant(2.0);
        }
        m["OPCOUNTER"] = qlonglong(1000 + i);
        m["COMMENTS"] = QStringLiteral("Routine test %1").arg(i);
        r.rows.push_back(m);
    }
    return r;
}

int PreviewPages(TKyrResultsReport& report)
{
    int pages = -1;
    SetPreviewResponder([&](TQuickRep&, QPrintPreviewDialog& dialog) {
        auto* widget = dialog.findChild<QPrintPreviewWidget*>();
        widget->updatePreview();
        pages = widget->pageCount();
    });
    report.QuickRep1.Preview();
    SetPreviewResponder({});
    return pages;
}

void BM_ReportPreview1000Rows(benchmark::State& state)
{
    Rows rows = MakeRows(1000);
    TKyrResultsReport report(&rows);
    for (auto _ : state)
        benchmark::DoNotOptimize(PreviewPages(report));
    state.counters["pages"] = report.QuickRep1.PageCount();
}
} // namespace

BENCHMARK(BM_ReportPreview1000Rows)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    {
        Rows rows = MakeRows(1000);
        TKyrResultsReport report(&rows);
        const int pages = PreviewPages(report);
        if (pages < 100 || pages != report.QuickRep1.PageCount()) {
            std::fprintf(stderr, "the preview shows %d pages, the layout gives %d\n", pages,
                         report.QuickRep1.PageCount());
            return 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
