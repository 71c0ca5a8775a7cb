// The report "Kestrovan Test Results" on fixture rows: layout, masks, footer, the row
// colours, read back from the PDF and its page image.
#include "KyrResultsReport.h"
#include "ReportRows.h"
#include "TestSupport.h"

#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {
QVariantMap BaseRow(const QString& id, const QString& type)
{
    QVariantMap r;
    r["RECLID"] = id;
    r["TESTDATE"] = QDate(2026, 12, 10);
    r["TESTTIME"] = QStringLiteral("10:15:30");
    r["TECHID"] = QStringLiteral("JDOE");
    r["CUSTID"] = QStringLiteral("NORTHGRID");
    r["RECLTYPE"] = QStringLiteral("KF");
    r["COIL_CT"] = QStringLiteral("100");
    r["PHASE"] = QStringLiteral("A");
    r["OPSEQ"] = QStringLiteral("2A-2B");
    r["TESTRESULT"] = QStringLiteral("OK");
    r["TESTTYPE"] = type;
    for (int n = 1; n <= 4; ++n)
        for (const char* f : {"CURR", "TIME", "MIN", "MAX", "OPT"})
            r[QString::fromLatin1(f) + QString::number(n)] = QVariant();
    for (int n = 1; n <= 3; ++n)
        r[QStringLiteral("RECL%1").arg(n)] = QVariant();
    r["OPCOUNTER"] = QVariant();
    r["COMMENTS"] = QString();
    return r;
}

// A minimum pick-up row within its limits and an operations row: TIME1 equal to its
// minimum, TIME2 above its maximum, TIME3 below its minimum, TIME4 within.
VectorRows Fixture()
{
    VectorRows rows;
    QVariantMap mpu = BaseRow("R-100", "MPU");
    mpu["CURR1"] = 203.25;
    mpu["MIN1"] = 180.0;
    mpu["MAX1"] = 220.0;
    mpu["OPT1"] = 200.0;
    mpu["OPCOUNTER"] = qlonglong(1234);
    mpu["COMMENTS"] = QStringLiteral("Minimum pick-up after coil change");
    rows.rows.push_back(mpu);
    QVariantMap ops = BaseRow("R-100", "4X");
    ops["TESTRESULT"] = QStringLiteral("HIGH");
    const double curr[] = {0, 401.4, 402.25, 399.8, 400.05};
    const double time[] = {0, 0.045, 0.2, 1.1, 2.6004};
    const double min[] = {0, 0.045, 0.06, 1.25, 2.2};
    const double max[] = {0, 0.075, 0.15, 1.9, 3.3};
    const double opt[] = {0, 0, 0, 1.5, 2.7};
    for (int n = 1; n <= 4; ++n) {
        ops[QStringLiteral("CURR%1").arg(n)] = curr[n];
        ops[QStringLiteral("TIME%1").arg(n)] = time[n];
        ops[QStringLiteral("MIN%1").arg(n)] = min[n];
        ops[QStringLiteral("MAX%1").arg(n)] = max[n];
        ops[QStringLiteral("OPT%1").arg(n)] = opt[n];
    }
    ops["RECL1"] = 2.0;
    ops["RECL2"] = 2.0015;
    ops["RECL3"] = 5.1;
    ops["OPCOUNTER"] = qlonglong(1235);
    rows.rows.push_back(ops);
    return rows;
}

// The prepared report printed to a new PDF file, as "Print to File (PDF)" does.
bool PrintToPdf(TQuickRep& rep, const QString& pdf)
{
    QFile::remove(pdf);
    QPrinter printer(QPrinter::HighResolution);
    rep.SetupPrinter(printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return rep.Print(printer);
}

const TQRPrintItem* FindItem(const TQuickRep& rep, int page, const QString& text, int nth = 0)
{
    for (const auto& item : rep.Pages()[page].items)
        if (item.kind == TQRPrintItem::Text && item.text == text && nth-- == 0)
            return &item;
    return nullptr;
}

// Pixels of the item's box in a page image of the given resolution that are clearly
// red and clearly green.
std::pair<int, int> RedGreen(const QImage& page, const QRectF& box, int dpi)
{
    const double k = dpi / 96.0;
    const QRect r = QRectF(box.left() * k, box.top() * k, box.width() * k, box.height() * k).toAlignedRect();
    int red = 0, green = 0;
    for (int y = std::max(0, r.top()); y <= std::min(page.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(page.width() - 1, r.right()); ++x) {
            const QColor c = page.pixelColor(x, y);
            red += c.red() - std::max(c.green(), c.blue()) > 90;
            green += c.green() - std::max(c.red(), c.blue()) > 40;
        }
    return {red, green};
}
} // namespace

TEST(ResultsReport, RowColoursFollowTheLimits)
{
    VectorRows rows = Fixture();
    // A minimum pick-up row outside its limits, and one whose current equals its maximum.
    QVariantMap low = rows.rows[0];
    low["CURR1"] = 150.0;
    rows.rows.push_back(low);
    QVariantMap edge = rows.rows[0];
    edge["CURR1"] = 220.0;
    rows.rows.push_back(edge);
    TKyrResultsReport report(&rows);
    std::vector<std::vector<QColor>> seen;  // per row: CURR1..4, TIME1..4
    report.QRSubDetail1->BeforePrint = [&](TQRBand* band, bool& print) {
        report.QRSubDetail1BeforePrint(band, print);
        std::vector<QColor> c;
        for (const char* f : {"CURR", "TIME"})
            for (int n = 1; n <= 4; ++n)
                c.push_back(report.FieldText(QString::fromLatin1(f) + QString::number(n))->Font.Color);
        seen.push_back(c);
    };
    report.QuickRep1.Prepare();
    const QColor G = TKyrResultsReport::Green, R = TKyrResultsReport::Red, B = TKyrResultsReport::Black;
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0][0], G);  // MPU current within
    EXPECT_EQ(seen[0][4], B);  // MPU TIME1 black
    EXPECT_EQ(seen[1], (std::vector<QColor>{B, B, B, B, G, R, R, G}));
    EXPECT_EQ(seen[2][0], R);  // MPU current below
    EXPECT_EQ(seen[3][0], G);  // equal to the maximum
    // The printed items carry the colours.
    EXPECT_EQ(FindItem(report.QuickRep1, 0, "0.200 ")->font.Color, R);
    EXPECT_EQ(FindItem(report.QuickRep1, 0, "203.250 ")->font.Color, G);
}

TEST(ResultsReport, AnUnreadableRowIsReportedAndStillPrinted)
{
    VectorRows rows = Fixture();
    rows.rows[1]["MAX1"] = QStringLiteral("n/a");
    TKyrResultsReport report(&rows);
    ScriptedMessages boxes;
    report.QuickRep1.Prepare();
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, QStringLiteral("Error in Report"));
    EXPECT_EQ(boxes.requests[0].caption, QStringLiteral("Error"));
    EXPECT_NE(FindItem(report.QuickRep1, 0, "n/a"), nullptr);
    EXPECT_NE(FindItem(report.QuickRep1, 0, "0.200 "), nullptr);
}

TEST(ResultsReport, EmptyReportIsOnePageWithHeadingAndFooter)
{
    VectorRows rows;
    TKyrResultsReport report(&rows);
    report.QuickRep1.Prepare();
    ASSERT_EQ(report.QuickRep1.PageCount(), 1);
    EXPECT_EQ(report.QuickRep1.Pages()[0].items.front().kind, TQRPrintItem::Rect);
    EXPECT_NE(FindItem(report.QuickRep1, 0, "Kestrovan Test Results", 1), nullptr);  // heading and footer
    EXPECT_NE(FindItem(report.QuickRep1, 0, "1"), nullptr);
}

TEST(ResultsReport, PdfShowsCaptionsMaskedValuesFooterAndColours)
{
    VectorRows rows = Fixture();
    TKyrResultsReport report(&rows);
    report.QuickRep1.Prepare();
    ASSERT_EQ(report.QuickRep1.PageCount(), 1);
    const QString pdf = ArtifactPath(QStringLiteral("results-report.pdf"));
    ASSERT_TRUE(PrintToPdf(report.QuickRep1, pdf));

    const QString text = PdfText(pdf);
    ASSERT_FALSE(text.isEmpty()) << "pdftotext failed";
    EXPECT_EQ(text.count(QLatin1Char('\f')), 1);
    for (const char* s : {"Kestrovan Test Results", "ID/Type:", "R-100", "KF", "10:15:30", "JDOE", "NORTHGRID",
                          "Phase", "Coil or CT", "Test Type", "MPU", "Sequence", "2A-2B", "Test Results:", "HIGH",
                          "Op Count:", "1234", "1235", "Comments:", "Minimum pick-up after coil change", "CURRENT",
                          "TIME", "MINIMUM", "OPTIMUM", "MAXIMUM", "RECLOSE", "Op 1:", "Op 4:", "203.250", "180.000",
                          "220.000", "401.400", "0.045", "2.600", "2.002", "5.100", "Date/Time:", "Page:"})
        EXPECT_TRUE(text.contains(QLatin1String(s))) << s;
    EXPECT_TRUE(text.contains(DateToStr(QDate(2026, 12, 10))));
    // The operations row's first grid line, in column order.
    EXPECT_TRUE(text.contains(QRegularExpression(
        QStringLiteral("Op 1:\\s+401\\.400\\s+0\\.045\\s+0\\.045\\s+0\\.000\\s+0\\.075\\s+2\\.000"))));
    // Op 4 has no reclose time; the minimum pick-up row has only its first line.
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Op 4:\\s+400\\.050\\s+2\\.600\\s+2\\.200\\s+"
                                                                "2\\.700\\s+3\\.300\\s*\\n"))));
    EXPECT_TRUE(text.contains(QRegularExpression(
        QStringLiteral("Op 1:\\s+203\\.250\\s+180\\.000\\s+200\\.000\\s+220\\.000\\s*\\n"))));
    // The footer: printing date and time, page 1 and the title on one line.
    EXPECT_TRUE(text.contains(QRegularExpression(
        QStringLiteral("Date/Time:\\s+") + QRegularExpression::escape(DateToStr(QDate::currentDate())) +
        QStringLiteral("\\s+\\d\\d:\\d\\d:\\d\\d\\s+Page:\\s+1\\s+Kestrovan Test Results"))));

    constexpr int dpi = 150;
    const QImage page = PdfPageImage(pdf, 1, dpi);
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.size(), QSize(1275, 1650));  // Letter portrait
    ASSERT_TRUE(page.save(ArtifactPath(QStringLiteral("results-report.png"))));
    struct Expect {
        const char* text;
        int nth;
        bool red;
    } colours[] = {{"203.250 ", 0, false}, {"0.045 ", 0, false}, {"0.200 ", 0, true}, {"1.100 ", 0, true},
                   {"2.600 ", 0, false}};
    for (const auto& c : colours) {
        const TQRPrintItem* item = FindItem(report.QuickRep1, 0, QString::fromLatin1(c.text), c.nth);
        ASSERT_NE(item, nullptr) << c.text;
        const auto [red, green] = RedGreen(page, item->rect, dpi);
        if (c.red) {
            EXPECT_GT(red, 15) << c.text;
            EXPECT_EQ(green, 0) << c.text;
        } else {
            EXPECT_GT(green, 15) << c.text;
            EXPECT_EQ(red, 0) << c.text;
        }
    }
    // Black values stay black: the minimum and the current columns.
    for (const char* black : {"401.400 ", "180.000 "}) {
        const auto [red, green] = RedGreen(page, FindItem(report.QuickRep1, 0, QString::fromLatin1(black))->rect, dpi);
        EXPECT_EQ(red + green, 0) << black;
    }
}

// A result and a comment of full field length stay whole within their columns and the
// page: they go on over further lines, the row grows and pushes what is below it down.
// Every mark on the page lies within the box of the item that made it, and no two
// items share room.
TEST(ResultsReport, FullLengthResultAndCommentStayWithinTheirColumns)
{
    VectorRows rows = Fixture();
    QVariantMap full = BaseRow("R-200", "2X");
    QString result = QStringLiteral("HIGH TRIP TIME ON OPERATION 2 RECLOSE 3 SHORT ");
    while (result.size() < 214)
        result += QStringLiteral("CHECK ");
    result += QStringLiteral("RECLOSERCONTROLREPLACEDSEEWORKORDER-2026-1");  // one word past a line
    result = result.left(254);
    QString comment;
    for (int i = 1; comment.size() < 250; ++i)
        comment += QStringLiteral("Comment word %1, ").arg(i);
    comment = comment.left(250);
    full["TESTRESULT"] = result;
    full["COMMENTS"] = comment;
    full["OPCOUNTER"] = qlonglong(987);
    rows.rows.insert(rows.rows.begin() + 1, full);
    TKyrResultsReport report(&rows);
    report.QuickRep1.Prepare();
    ASSERT_EQ(report.QuickRep1.PageCount(), 1);

    const QString pdf = ArtifactPath(QStringLiteral("results-report-full.pdf"));
    ASSERT_TRUE(PrintToPdf(report.QuickRep1, pdf));

    // Every character is printed; the op count stands beside the result's first line.
    auto squeezed = [](QString s) { return s.remove(QRegularExpression(QStringLiteral("\\s"))); };
    QString text = squeezed(PdfText(pdf));
    EXPECT_EQ(text.count(QStringLiteral("OpCount:987")), 1) << text.toStdString();
    text.remove(QStringLiteral("OpCount:987"));
    EXPECT_TRUE(text.contains(squeezed(result))) << text.toStdString();
    EXPECT_TRUE(text.contains(squeezed(comment))) << text.toStdString();

    const auto& items = report.QuickRep1.Pages()[0].items;
    const QSizeF pageSize = report.QuickRep1.PageSize();
    for (size_t i = 0; i < items.size(); ++i) {
        const QRectF& r = items[i].rect;
        EXPECT_TRUE(r.left() >= 0 && r.top() >= 0 && r.right() <= pageSize.width() && r.bottom() <= pageSize.height())
            << items[i].text.toStdString();
        for (size_t j = i + 1; j < items.size(); ++j) {
            if (items[i].kind == TQRPrintItem::Text && items[j].kind == TQRPrintItem::Text) {
                EXPECT_FALSE(r.intersects(items[j].rect)) << items[i].text.toStdString() << " | "
                                                          << items[j].text.toStdString();
            }
        }
    }

    constexpr int dpi = 96;
    const QImage page = PdfPageImage(pdf, 1, dpi);
    ASSERT_FALSE(page.isNull());
    ASSERT_TRUE(page.save(ArtifactPath(QStringLiteral("results-report-full.png"))));
    int stray = 0;
    QPoint first;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (std::min({c.red(), c.green(), c.blue()}) > 175)
                continue;
            bool inside = false;
            for (const auto& item : items)
                inside = inside || item.rect.adjusted(-2, -2, 2, 2).contains(QPointF(x + 0.5, y + 0.5));
            if (!inside && stray++ == 0)
                first = QPoint(x, y);
        }
    EXPECT_EQ(stray, 0) << "first mark outside every item at " << first.x() << "," << first.y();
}
