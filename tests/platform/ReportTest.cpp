// The banded report: masks, pages and bands, the row hook, PDF output and the preview.
#include "QuickRpt.h"
#include "Dialogs.h"
#include "ReportRows.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QFile>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <gtest/gtest.h>

TEST(ReportMask, FormatsThroughTheMask)
{
    struct Case {
        const char* mask;
        double value;
        const char* text;
    } cases[] = {
        {"0.000 ", 0.0604, "0.060 "},   {"0.000 ", 12.5, "12.500 "}, {"0.000 ", 0.0, "0.000 "},
        {"0.000 ", 1.23456, "1.235 "},  {"0.000 ", 2.0005, "2.001 "}, {"0", 17.0, "17"},
        {"0", 2.5, "3"},                {"0", 0.4, "0"},              {"0.000 ", -1.5, "-1.500 "},
        {"0.000 ", -0.0001, "0.000 "},  {"#.##", 0.5, ".5"},          {"#.##", 3.0, "3"},
        {"00.0", 1.04, "01.0"},         {"I=0.0 A", 3.14, "I=3.1 A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatFloatMask(QString::fromLatin1(c.mask), c.value), QString::fromLatin1(c.text))
            << c.mask << " " << c.value;
    DecimalSeparator = QLatin1Char(',');
    EXPECT_EQ(FormatFloatMask(QStringLiteral("0.000 "), 1.25), QStringLiteral("1,250 "));
    DecimalSeparator = QLatin1Char('.');
}

namespace {
// A report of one text field per row: a title of 60, rows of 100 and a footer of 30
// on a Letter page (1056 high) with margins of 48: 8 rows on the first page, 9 after.
struct SmallReport {
    TQuickRep rep;
    VectorRows rows;
    TQRDBText* value = nullptr;
    SmallReport(int n)
    {
        for (int i = 1; i <= n; ++i)
            rows.rows.push_back({{"NAME", QStringLiteral("Row%1").arg(i)}, {"NUM", i * 1.5}});
        rep.ReportTitle = QStringLiteral("Small Title");
        rep.DataSet = &rows;
        TQRBand* title = rep.AddBand(rbTitle, QStringLiteral("Title"));
        title->Height = 60;
        title->Add<TQRLabel>(QStringLiteral("Heading"))->Caption = QStringLiteral("Heading Text");
        TQRBand* detail = rep.AddBand(rbDetail, QStringLiteral("Detail"));
        detail->Height = 100;
        auto* name = detail->Add<TQRDBText>(QStringLiteral("Name"));
        name->DataSet = &rows;
        name->DataField = QStringLiteral("NAME");
        name->Width = 200;
        value = detail->Add<TQRDBText>(QStringLiteral("Num"));
        value->DataSet = &rows;
        value->DataField = QStringLiteral("NUM");
        value->Mask = QStringLiteral("0.000 ");
        value->Left = 300;
        value->Width = 100;
        TQRBand* footer = rep.AddBand(rbPageFooter, QStringLiteral("Footer"));
        footer->Height = 30;
        auto* page = footer->Add<TQRSysData>(QStringLiteral("Page"));
        page->Data = TQRSysData::qrsPageNumber;
        page->Text = QStringLiteral("Page: ");
        page->Width = 100;
        auto* t = footer->Add<TQRSysData>(QStringLiteral("T"));
        t->Data = TQRSysData::qrsReportTitle;
        t->Left = 400;
        t->Width = 200;
    }
    QStringList PageTexts(int page) const
    {
        QStringList out;
        for (const auto& item : rep.Pages()[page].items)
            if (item.kind == TQRPrintItem::Text)
                out << item.text;
        return out;
    }
};
} // namespace

TEST(Report, RowsFlowOverPagesWithTitleOnceAndFooterOnEveryPage)
{
    SmallReport r(20);
    r.rep.Prepare();
    ASSERT_EQ(r.rep.PageCount(), 3);
    const QStringList p1 = r.PageTexts(0), p2 = r.PageTexts(1), p3 = r.PageTexts(2);
    EXPECT_EQ(p1.first(), QStringLiteral("Heading Text"));
    EXPECT_EQ(p1.count(QStringLiteral("Heading Text")), 1);
    EXPECT_FALSE(p2.contains(QStringLiteral("Heading Text")));
    EXPECT_TRUE(p1.contains(QStringLiteral("Row8")) && !p1.contains(QStringLiteral("Row9")));
    EXPECT_TRUE(p2.contains(QStringLiteral("Row9")) && p2.contains(QStringLiteral("Row17")));
    EXPECT_TRUE(p3.contains(QStringLiteral("Row18")) && p3.contains(QStringLiteral("Row20")));
    EXPECT_TRUE(p1.contains(QStringLiteral("Page: 1")));
    EXPECT_TRUE(p2.contains(QStringLiteral("Page: 2")));
    EXPECT_TRUE(p3.contains(QStringLiteral("Page: 3")));
    EXPECT_EQ(p3.count(QStringLiteral("Small Title")), 1);
    EXPECT_TRUE(p2.contains(QStringLiteral("13.500 ")));  // row 9
    // Every item stays inside the page, the footer below the last row.
    for (const auto& page : r.rep.Pages())
        for (const auto& item : page.items)
            EXPECT_LE(item.rect.bottom(), r.rep.PageSize().height() - r.rep.BottomMargin + 0.01);
}

TEST(Report, EmptyDataSetPrintsTitleAndFooterOnlyWhenAsked)
{
    SmallReport r(0);
    r.rep.Prepare();
    ASSERT_EQ(r.rep.PageCount(), 1);
    EXPECT_EQ(r.PageTexts(0), (QStringList{"Heading Text", "Page: 1", "Small Title"}));
    r.rep.PrintIfEmpty = false;
    r.rep.Prepare();
    EXPECT_EQ(r.rep.PageCount(), 0);
}

TEST(Report, BeforePrintColoursEachRowAndMaySkipIt)
{
    SmallReport r(4);
    TQRBand* detail = r.rep.Band(rbDetail);
    detail->BeforePrint = [&](TQRBand*, bool& print) {
        const double v = r.rows.FieldValue(QStringLiteral("NUM")).toDouble();
        r.value->Font.Color = v > 3 ? QColor(255, 0, 0) : QColor(0, 128, 0);
        print = v != 4.5;
    };
    r.rep.Prepare();
    std::vector<std::pair<QString, QColor>> printed;
    for (const auto& item : r.rep.Pages()[0].items)
        if (item.text.endsWith(QLatin1Char(' ')))
            printed.emplace_back(item.text, item.font.Color);
    ASSERT_EQ(printed.size(), 3u);
    EXPECT_EQ(printed[0], std::make_pair(QStringLiteral("1.500 "), QColor(0, 128, 0)));
    EXPECT_EQ(printed[1], std::make_pair(QStringLiteral("3.000 "), QColor(0, 128, 0)));
    EXPECT_EQ(printed[2], std::make_pair(QStringLiteral("6.000 "), QColor(255, 0, 0)));
}

TEST(Report, AMissingFieldPassesItsErrorOut)
{
    SmallReport r(1);
    r.value->DataField = QStringLiteral("NOPE");
    EXPECT_THROW(r.rep.Prepare(), Exception);
}

TEST(Report, PdfHoldsTheTextsAndColoursOnLetterPages)
{
    SmallReport r(12);
    r.rep.Band(rbDetail)->BeforePrint = [&](TQRBand*, bool&) {
        r.value->Font.Color = QColor(255, 0, 0);
        r.value->Font.Bold = true;
        r.value->Font.Size = 16;
    };
    r.rep.Prepare();
    TempCurrentDir dir;
    const QString pdf = dir.file(QStringLiteral("small.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    r.rep.SetupPrinter(printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    ASSERT_TRUE(r.rep.Print(printer));
    const QString text = PdfText(pdf);
    ASSERT_FALSE(text.isEmpty()) << "pdftotext failed";
    EXPECT_EQ(text.count(QLatin1Char('\f')), 2);
    for (const char* s : {"Heading Text", "Row1", "Row8", "Row12", "18.000", "Page: 1", "Page: 2", "Small Title"})
        EXPECT_TRUE(text.contains(QLatin1String(s))) << s;
    const QImage page = PdfPageImage(pdf, 1, 50);
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.size(), QSize(425, 550));  // Letter at 50 dpi
    int red = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
        }
    EXPECT_GT(red, 20);
}

TEST(Report, PreviewShowsThePreparedPages)
{
    SmallReport r(20);
    int shown = -1;
    SetPreviewResponder([&](TQuickRep& rep, QPrintPreviewDialog& dialog) {
        auto* widget = dialog.findChild<QPrintPreviewWidget*>();
        ASSERT_NE(widget, nullptr);
        widget->updatePreview();
        shown = widget->pageCount();
        EXPECT_EQ(&rep, &r.rep);
    });
    r.rep.Preview();
    SetPreviewResponder({});
    EXPECT_EQ(shown, 3);
}

// Printing from the preview into a PDF file that cannot be written tells the user so;
// a file that can be written is written and tells nothing.
TEST(Report, APrintThatFailsFromThePreviewIsTold)
{
    SmallReport r(3);
    const struct {
        QString file;
        bool fails;
    } cases[] = {{QStringLiteral("/nonexistent-folder/report.pdf"), true},
                 {ArtifactPath(QStringLiteral("report-from-preview.pdf")), false}};
    for (const auto& c : cases) {
        QFile::remove(c.file);
        QStringList boxes;
        SetMessageResponder([&](const MessageRequest& m) {
            boxes << m.caption + QLatin1Char('|') + m.text;
            return IDOK;
        });
        SetPreviewResponder([&](TQuickRep&, QPrintPreviewDialog& dialog) {
            dialog.printer()->setOutputFormat(QPrinter::PdfFormat);
            dialog.printer()->setOutputFileName(c.file);
            dialog.findChild<QPrintPreviewWidget*>()->print();
        });
        r.rep.Preview();
        SetPreviewResponder({});
        SetMessageResponder({});
        if (c.fails) {
            EXPECT_EQ(boxes, QStringList{QStringLiteral("Error|The report could not be written to ") + c.file +
                                         QLatin1Char('.')});
        } else {
            EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('\n')).toStdString();
            EXPECT_TRUE(QFile::exists(c.file));
        }
    }
}
