#include "KyrResultsReport.h"

#include "Forms.h"

const QColor TKyrResultsReport::Green(0, 128, 0);
const QColor TKyrResultsReport::Red(255, 0, 0);
const QColor TKyrResultsReport::Black(0, 0, 0);

namespace {
const QString ReportTitle = QStringLiteral("Kestrovan Test Results");
const char* const FieldMask = "0.000 ";
constexpr double FontSize = 9;
constexpr double Line = 17;  // one text line of the band

template <class T>
T* Place(TQRBand* band, const QString& name, double left, double top, double width)
{
    T* e = band->Add<T>(name);
    e->Left = left;
    e->Top = top;
    e->Width = width;
    e->Height = Line;
    e->Font.Size = FontSize;
    return e;
}

TQRLabel* Caption(TQRBand* band, const QString& text, double left, double top, double width, bool bold = false)
{
    auto* l = Place<TQRLabel>(band, QStringLiteral("QRLabel") + text, left, top, width);
    l->Caption = text;
    l->Font.Bold = bold;
    return l;
}

double Number(const TQRRowSource& rows, const QString& field)
{
    const QVariant v = rows.FieldValue(field);
    if (!v.isValid() || v.isNull())
        return 0;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        return s.isEmpty() ? 0 : StrToFloat(s);
    }
    return v.toDouble();
}
} // namespace

TKyrResultsReport::TKyrResultsReport(TQRRowSource* rows)
{
    QuickRep1.Name = QStringLiteral("QuickRep1");
    QuickRep1.ReportTitle = ReportTitle;
    QuickRep1.PaperSize = TQuickRep::Letter;
    QuickRep1.Orientation = TQuickRep::poPortrait;
    QuickRep1.PrintIfEmpty = true;
    QuickRep1.LastPageFooter = true;

    // The heading: the title centred in a frame, on the first page.
    TQRBand* title = QuickRep1.AddBand(rbTitle, QStringLiteral("TitleBand1"));
    title->Height = 64;
    auto* frame = title->Add<TQRShape>(QStringLiteral("QRShape1"));
    frame->Left = 180;
    frame->Top = 6;
    frame->Width = 360;
    frame->Height = 40;
    frame->PenWidth = 2;
    auto* heading = title->Add<TQRLabel>(QStringLiteral("QRLabelTitle"));
    heading->Caption = ReportTitle;
    heading->Left = 180;
    heading->Top = 14;
    heading->Width = 360;
    heading->Height = 26;
    heading->Alignment = taCenter;
    heading->Font.Size = 16;
    heading->Font.Bold = true;

    // One band per row.
    QRSubDetail1 = QuickRep1.AddBand(rbDetail, QStringLiteral("QRSubDetail1"));
    TQRBand* d = QRSubDetail1;
    auto field = [&](const QString& name, double left, double top, double width, const QString& mask = {}) {
        auto* t = Place<TQRDBText>(d, QStringLiteral("QRDBText") + name, left, top, width);
        t->DataField = name;
        t->Mask = mask;
        // A long value (a result or a comment runs to 250 characters) stays whole
        // within its column: it goes on below, and the row grows.
        t->WordWrap = true;
        return t;
    };
    double y = 4;
    Caption(d, QStringLiteral("ID/Type: "), 0, y, 56, true);
    field(QStringLiteral("RECLID"), 58, y, 120);
    field(QStringLiteral("RECLTYPE"), 180, y, 120);
    field(QStringLiteral("TESTDATE"), 304, y, 84);
    field(QStringLiteral("TESTTIME"), 392, y, 64);
    field(QStringLiteral("TECHID"), 462, y, 120);
    field(QStringLiteral("CUSTID"), 588, y, 132);
    y += Line + 2;
    Caption(d, QStringLiteral("Phase"), 0, y, 40, true);
    field(QStringLiteral("PHASE"), 44, y, 64);
    Caption(d, QStringLiteral("Coil or CT"), 116, y, 64, true);
    field(QStringLiteral("COIL_CT"), 184, y, 100);
    Caption(d, QStringLiteral("Test Type"), 292, y, 62, true);
    field(QStringLiteral("TESTTYPE"), 358, y, 60);
    Caption(d, QStringLiteral("Sequence"), 426, y, 60, true);
    field(QStringLiteral("OPSEQ"), 490, y, 230);
    y += Line + 2;
    Caption(d, QStringLiteral("Test Results:"), 0, y, 82, true);
    field(QStringLiteral("TESTRESULT"), 86, y, 450);
    Caption(d, QStringLiteral("Op Count:"), 560, y, 64, true);
    field(QStringLiteral("OPCOUNTER"), 628, y, 92, QStringLiteral("0"));
    y += Line + 2;
    Caption(d, QStringLiteral("Comments:"), 0, y, 82, true);
    field(QStringLiteral("COMMENTS"), 86, y, 634);
    y += Line + 6;

    // The operations grid: headings over six right-aligned columns, rows Op 1..Op 4.
    const QString headings[] = {QStringLiteral("CURRENT"), QStringLiteral("TIME"),    QStringLiteral("MINIMUM"),
                                QStringLiteral("OPTIMUM"), QStringLiteral("MAXIMUM"), QStringLiteral("RECLOSE")};
    const QString prefixes[] = {QStringLiteral("CURR"), QStringLiteral("TIME"), QStringLiteral("MIN"),
                                QStringLiteral("OPT"), QStringLiteral("MAX"), QStringLiteral("RECL")};
    constexpr double col0 = 60, colWidth = 100, colStep = 108;
    for (int c = 0; c < 6; ++c) {
        auto* h = Caption(d, headings[c], col0 + c * colStep, y, colWidth, true);
        h->Alignment = taRightJustify;
    }
    y += Line;
    for (int n = 1; n <= 4; ++n) {
        Caption(d, QStringLiteral("Op %1:").arg(n), 0, y, 50, true);
        for (int c = 0; c < 6; ++c) {
            if (c == 5 && n == 4)
                break;  // three reclose times
            auto* t = field(prefixes[c] + QString::number(n), col0 + c * colStep, y, colWidth,
                            QString::fromLatin1(FieldMask));
            t->Alignment = taRightJustify;
            if (c == 0)
                curr_[n] = t;
            if (c == 1)
                time_[n] = t;
        }
        y += Line;
    }
    y += 6;
    auto* rule = d->Add<TQRShape>(QStringLiteral("QRShapeRule"));
    rule->Left = 0;
    rule->Top = y;
    rule->Width = 720;
    rule->Height = 0;
    rule->PenWidth = 1;
    d->Height = y + 8;
    d->BeforePrint = [this](TQRBand* sender, bool& printBand) { QRSubDetail1BeforePrint(sender, printBand); };

    // The page footer: when, which page, what.
    TQRBand* footer = QuickRep1.AddBand(rbPageFooter, QStringLiteral("PageFooterBand1"));
    footer->Height = 24;
    Caption(footer, QStringLiteral("Date/Time:"), 0, 4, 66);
    auto* when = Place<TQRSysData>(footer, QStringLiteral("QRSysDataDateTime"), 70, 4, 180);
    when->Data = TQRSysData::qrsDateTime;
    Caption(footer, QStringLiteral("Page:"), 320, 4, 36);
    auto* page = Place<TQRSysData>(footer, QStringLiteral("QRSysDataPage"), 358, 4, 40);
    page->Data = TQRSysData::qrsPageNumber;
    auto* what = Place<TQRSysData>(footer, QStringLiteral("QRSysDataTitle"), 480, 4, 240);
    what->Data = TQRSysData::qrsReportTitle;
    what->Alignment = taRightJustify;

    SetDataSet(rows);
}

void TKyrResultsReport::SetDataSet(TQRRowSource* rows)
{
    rows_ = rows;
    QuickRep1.DataSet = rows;
    for (const auto& e : QRSubDetail1->Elements())
        if (auto* t = dynamic_cast<TQRDBText*>(e.get()))
            t->DataSet = rows;
}

TQRDBText* TKyrResultsReport::FieldText(const QString& field) const
{
    return dynamic_cast<TQRDBText*>(QRSubDetail1->Find(QStringLiteral("QRDBText") + field));
}

void TKyrResultsReport::QRSubDetail1BeforePrint(TQRBand*, bool&)
{
    if (!rows_ || rows_->Eof())
        return;
    try {
        auto within = [&](const QString& value, int n) {
            const double v = Number(*rows_, value + QString::number(n));
            return Number(*rows_, QStringLiteral("MIN%1").arg(n)) <= v &&
                   v <= Number(*rows_, QStringLiteral("MAX%1").arg(n));
        };
        if (rows_->FieldValue(QStringLiteral("TESTTYPE")).toString() == QLatin1String("MPU")) {
            curr_[1]->Font.Color = within(QStringLiteral("CURR"), 1) ? Green : Red;
            time_[1]->Font.Color = Black;
        } else {
            for (int n = 1; n <= 4; ++n)
                curr_[n]->Font.Color = Black;
            for (int n = 1; n <= 4; ++n)
                time_[n]->Font.Color = within(QStringLiteral("TIME"), n) ? Green : Red;
        }
    } catch (...) {
        Application.MessageBox(QStringLiteral("Error in Report"), QStringLiteral("Error"), MB_OK);
    }
}
