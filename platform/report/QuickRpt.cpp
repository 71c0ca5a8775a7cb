#include "QuickRpt.h"

#include "Forms.h"
#include "SysUtils.h"

#include <QApplication>
#include <QDateTime>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QGuiApplication>
#include <QImage>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {
PreviewResponder g_previewResponder;

int AlignFlags(TQRAlignment a)
{
    switch (a) {
    case taRightJustify: return Qt::AlignRight;
    case taCenter: return Qt::AlignHCenter;
    default: return Qt::AlignLeft;
    }
}
QFont MakeFont(const TQRFont& font)
{
    QFont f(font.Name);
    f.setPointSizeF(font.Size);
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    return f;
}

// The page as the report measures it: 96 dots per inch, so that point sizes come out
// in report units.
const QPaintDevice* ReportUnits()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(3780);
        image.setDotsPerMeterY(3780);
        return image;
    }();
    return &device;
}

// The lines of a text broken to a width in report units. A printer's finer glyph
// metrics may come out a little wider than the screen's: the lines are broken short
// of the width by a margin for that.
QStringList BreakLines(const QString& text, const QFont& font, double width)
{
    QTextLayout layout(text, font, const_cast<QPaintDevice*>(ReportUnits()));
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, width * 0.96));
        QString part = text.mid(line.textStart(), line.textLength());
        while (!part.isEmpty() && part.back().isSpace())
            part.chop(1);
        lines << part;
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines << QString();
    return lines;
}
} // namespace

void SetPreviewResponder(PreviewResponder responder) { g_previewResponder = std::move(responder); }

QString FormatFloatMask(const QString& mask, double value)
{
    int first = -1, last = -1;
    for (int i = 0; i < mask.size(); ++i) {
        const QChar c = mask[i];
        if (c == QLatin1Char('0') || c == QLatin1Char('#') || c == QLatin1Char('.')) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return mask;
    const QString body = mask.mid(first, last - first + 1);
    const int point = body.indexOf(QLatin1Char('.'));
    const QString intPart = point < 0 ? body : body.left(point);
    const QString fracPart = point < 0 ? QString() : body.mid(point + 1);
    const int minInt = static_cast<int>(intPart.count(QLatin1Char('0')));
    const int minFrac = static_cast<int>(fracPart.count(QLatin1Char('0')));
    const int maxFrac = minFrac + static_cast<int>(fracPart.count(QLatin1Char('#')));

    QString digits = QString::fromStdString(FixedC(std::fabs(value), maxFrac));
    QString ip = digits, fp;
    if (const int dot = digits.indexOf(QLatin1Char('.')); dot >= 0) {
        ip = digits.left(dot);
        fp = digits.mid(dot + 1);
    }
    while (fp.size() > minFrac && fp.endsWith(QLatin1Char('0')))
        fp.chop(1);
    if (ip == QLatin1String("0") && minInt == 0)
        ip.clear();
    while (ip.size() < minInt)
        ip.prepend(QLatin1Char('0'));
    QString number = ip;
    if (!fp.isEmpty())
        number += DecimalSeparator + fp;
    bool nonZero = false;
    for (const QChar c : ip + fp)
        nonZero = nonZero || (c != QLatin1Char('0'));
    if (value < 0 && nonZero)
        number.prepend(QLatin1Char('-'));
    return mask.left(first) + number + mask.mid(last + 1);
}

void TQRPrintable::PrintText(double x, double y, const QString& text, std::vector<TQRPrintItem>& out) const
{
    TQRPrintItem item;
    item.kind = TQRPrintItem::Text;
    item.rect = QRectF(x + Left, y + Top, Width, Height);
    item.text = text;
    item.font = Font;
    item.alignment = Alignment;
    if (WordWrap && !text.isEmpty()) {
        const QFont f = MakeFont(Font);
        const QStringList lines = BreakLines(text, f, Width);
        if (lines.size() > 1) {
            const double spacing = QFontMetricsF(f, const_cast<QPaintDevice*>(ReportUnits())).lineSpacing();
            item.text = lines.join(QLatin1Char('\n'));
            item.rect.setHeight(std::max(Height, Height + (lines.size() - 1) * spacing));
        }
    }
    out.push_back(item);
}

void TQRLabel::Print(double x, double y, std::vector<TQRPrintItem>& out) const { PrintText(x, y, Caption, out); }

QString TQRDBText::Text() const
{
    if (!DataSet)
        return {};
    const QVariant v = DataSet->FieldValue(DataField);
    if (!v.isValid() || v.isNull())
        return {};
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        if (!Mask.isEmpty())
            return FormatFloatMask(Mask, v.toDouble());
        if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float)
            return FloatToStr(v.toDouble());
        return v.toString();
    case QMetaType::QDate:
        return DateToStr(v.toDate());
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        QString s = DateToStr(dt.date());
        if (dt.time() != QTime(0, 0))
            s += QLatin1Char(' ') + TimeToStr(dt.time());
        return s;
    }
    default:
        return v.toString();
    }
}

void TQRDBText::Print(double x, double y, std::vector<TQRPrintItem>& out) const { PrintText(x, y, Text(), out); }

void TQRSysData::Print(double x, double y, std::vector<TQRPrintItem>& out) const
{
    const TQuickRep* rep = Parent ? Parent->Report : nullptr;
    QString value;
    if (rep) {
        switch (Data) {
        case qrsDate: value = rep->printedDate_; break;
        case qrsTime: value = rep->printedTime_; break;
        case qrsDateTime: value = rep->printedDate_ + QLatin1Char(' ') + rep->printedTime_; break;
        case qrsPageNumber: value = IntToStr(rep->currentPage_); break;
        case qrsReportTitle: value = rep->ReportTitle; break;
        }
    }
    PrintText(x, y, Text + value, out);
}

void TQRShape::Print(double x, double y, std::vector<TQRPrintItem>& out) const
{
    TQRPrintItem item;
    item.kind = TQRPrintItem::Rect;
    item.rect = QRectF(x + Left, y + Top, Width, Height);
    item.penWidth = PenWidth;
    item.font = Font;
    out.push_back(item);
}

TQRPrintable* TQRBand::Find(const QString& name) const
{
    for (const auto& e : elements_)
        if (e->Name == name)
            return e.get();
    return nullptr;
}

TQuickRep::TQuickRep() = default;
TQuickRep::~TQuickRep() = default;

TQRBand* TQuickRep::AddBand(TQRBandType type, const QString& name)
{
    bands_.push_back(std::make_unique<TQRBand>(this, type));
    bands_.back()->Name = name;
    return bands_.back().get();
}

TQRBand* TQuickRep::Band(TQRBandType type) const
{
    for (const auto& b : bands_)
        if (b->BandType == type)
            return b.get();
    return nullptr;
}

QSizeF TQuickRep::PageSize() const
{
    const QSizeF inches = PaperSize == A4 ? QSizeF(210 / 25.4, 297 / 25.4) : QSizeF(8.5, 11);
    const QSizeF s(inches.width() * 96, inches.height() * 96);
    return Orientation == poLandscape ? s.transposed() : s;
}

void TQuickRep::Prepare()
{
    pages_.clear();
    currentPage_ = 0;
    const QDateTime now = QDateTime::currentDateTime();
    printedDate_ = DateToStr(now.date());
    printedTime_ = TimeToStr(now.time());

    TQRBand* title = Band(rbTitle);
    TQRBand* detail = Band(rbDetail);
    TQRBand* footer = Band(rbPageFooter);
    if (title && !title->Enabled) title = nullptr;
    if (detail && !detail->Enabled) detail = nullptr;
    if (footer && !footer->Enabled) footer = nullptr;

    const QSizeF page = PageSize();
    const double footerTop = page.height() - BottomMargin - (footer ? footer->Height : 0);
    double y = TopMargin;
    double firstBandTop = TopMargin;

    // A band's items at the given top, and the height it takes: an element that grew
    // pushes down every element that lies wholly below it.
    auto layOutBand = [&](TQRBand* band, double top, std::vector<TQRPrintItem>& out) {
        struct Placed {
            const TQRPrintable* e;
            std::vector<TQRPrintItem> items;
            double growth = 0, shift = 0;
        };
        std::vector<Placed> placed;
        for (const auto& e : band->Elements()) {
            if (!e->Enabled)
                continue;
            Placed p{e.get(), {}};
            e->Print(LeftMargin, 0, p.items);
            for (const TQRPrintItem& item : p.items)
                p.growth = std::max(p.growth, item.rect.bottom() - (e->Top + e->Height));
            placed.push_back(std::move(p));
        }
        std::vector<Placed*> byTop;
        for (Placed& p : placed)
            byTop.push_back(&p);
        std::stable_sort(byTop.begin(), byTop.end(), [](const Placed* a, const Placed* b) { return a->e->Top < b->e->Top; });
        double extra = 0;
        for (size_t i = 0; i < byTop.size(); ++i) {
            Placed* p = byTop[i];
            for (size_t j = 0; j < i; ++j) {
                const Placed* above = byTop[j];
                if (above->growth > 0 && above->e->Top + above->e->Height <= p->e->Top + 0.01)
                    p->shift = std::max(p->shift, above->shift + above->growth);
            }
            extra = std::max(extra, p->shift + p->growth);
        }
        for (Placed& p : placed)
            for (TQRPrintItem& item : p.items) {
                item.rect.translate(0, top + p.shift);
                out.push_back(std::move(item));
            }
        return band->Height + extra;
    };
    auto printBand = [&](TQRBand* band, double top) { return layOutBand(band, top, pages_.back().items); };
    auto newPage = [&] {
        pages_.emplace_back();
        currentPage_ = static_cast<int>(pages_.size());
        y = TopMargin;
        firstBandTop = y;
    };
    auto endPage = [&](bool last) {
        if (footer && (!last || LastPageFooter))
            printBand(footer, footerTop);
    };

    newPage();
    if (title) {
        bool printTitle = true;
        if (title->BeforePrint)
            title->BeforePrint(title, printTitle);
        if (printTitle) {
            y += printBand(title, y);
            firstBandTop = y;
        }
    }
    bool anyRow = false;
    if (DataSet) {
        DataSet->First();
        while (!DataSet->Eof()) {
            anyRow = true;
            if (detail) {
                bool printDetail = true;
                if (detail->BeforePrint)
                    detail->BeforePrint(detail, printDetail);
                if (printDetail) {
                    // A band that does not fit goes to the next page, unless it is the
                    // first on its page (it would not fit on any page).
                    std::vector<TQRPrintItem> trial;
                    if (y + layOutBand(detail, y, trial) > footerTop && y > firstBandTop) {
                        endPage(false);
                        newPage();
                    }
                    y += printBand(detail, y);
                }
            }
            DataSet->Next();
        }
    }
    if (!anyRow && !PrintIfEmpty) {
        pages_.clear();
        return;
    }
    endPage(true);
}

QString TQuickRep::PrintedText() const
{
    QStringList lines;
    for (const auto& p : pages_) {
        for (const auto& item : p.items)
            if (item.kind == TQRPrintItem::Text && !item.text.isEmpty())
                lines << item.text;
        lines << QStringLiteral("\f");
    }
    return lines.join(QLatin1Char('\n'));
}

void TQuickRep::PaintPage(QPainter& painter, int page, double dpi) const
{
    if (page < 0 || page >= PageCount())
        return;
    const double k = dpi / 96.0;
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const auto& item : pages_[static_cast<size_t>(page)].items) {
        const QRectF r(item.rect.left() * k, item.rect.top() * k, item.rect.width() * k, item.rect.height() * k);
        if (item.kind == TQRPrintItem::Rect) {
            QPen pen(item.font.Color);
            pen.setWidthF(item.penWidth * k);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(r);
            continue;
        }
        // Point sizes resolve against the device's own resolution. A wrapped text
        // arrives broken into its lines.
        painter.setFont(MakeFont(item.font));
        painter.setPen(item.font.Color);
        const int lines = item.text.contains(QLatin1Char('\n')) ? 0 : Qt::TextSingleLine;
        painter.drawText(r, AlignFlags(item.alignment) | Qt::AlignTop | lines | Qt::TextDontClip, item.text);
    }
    painter.restore();
}

void TQuickRep::SetupPrinter(QPrinter& printer) const
{
    printer.setPageSize(QPageSize(PaperSize == A4 ? QPageSize::A4 : QPageSize::Letter));
    printer.setPageOrientation(Orientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    // The report places everything from the paper's corner with its own margins.
    printer.setFullPage(true);
    printer.setDocName(ReportTitle);
}

bool TQuickRep::Print(QPrinter& printer) const
{
    if (pages_.empty())
        return true;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const double dpi = printer.resolution();
    for (int i = 0; i < PageCount(); ++i) {
        if (i > 0 && !printer.newPage())
            return false;
        PaintPage(painter, i, dpi);
    }
    return painter.end();
}

namespace {
// The preview's print command must be in sight: on a narrow screen Qt's preview hides
// the end of its toolbar, print and page setup included, behind an overflow arrow. The
// dialog is widened to its toolbar as far as the screen allows, and the print command
// goes to the toolbar's front when even that is too narrow.
void ShowPrintCommand(QPrintPreviewDialog& dialog)
{
    auto* bar = dialog.findChild<QToolBar*>();
    if (!bar)
        return;
    QAction* print = nullptr;
    for (QAction* a : bar->actions())
        if (a->objectName() == QLatin1String("printAction") ||
            a->text().remove(QLatin1Char('&')).compare(QLatin1String("Print"), Qt::CaseInsensitive) == 0)
            print = a;
    const QScreen* screen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int room = avail.width() - 32;
    dialog.ensurePolished();
    const int needed = bar->sizeHint().width() + 2 * dialog.style()->pixelMetric(QStyle::PM_LayoutLeftMargin) + 16;
    const QSize hint = dialog.sizeHint();
    // As tall as the screen allows with room for the frame: the page is to be read.
    dialog.resize(std::min(std::max(hint.width(), needed), room), std::max(hint.height(), avail.height() - 64));
    if (print && needed > room) {
        const QList<QAction*> actions = bar->actions();
        if (!actions.isEmpty() && actions.first() != print) {
            bar->removeAction(print);
            bar->insertAction(bar->actions().first(), print);
        }
    }
}
} // namespace

void TQuickRep::Preview()
{
    Prepare();
    QPrinter printer(QPrinter::HighResolution);
    SetupPrinter(printer);
    // The dialog lives on the heap under a guard: the window it belongs to may be freed
    // while the preview or its print dialog runs its own loop, and takes the dialog
    // with it. The printer outlives the dialog either way.
    QPointer<QPrintPreviewDialog> dialog = new QPrintPreviewDialog(&printer, QApplication::activeWindow());
    // A print that fails (a PDF file that cannot be written, a printer that does not
    // start) is told to the user once the print command is over, never from inside the
    // painting: the preview's loop, or ours below, shows the box.
    auto failed = std::make_shared<QString>();
    auto tell = [failed] {
        if (failed->isEmpty())
            return;
        const QString text = std::exchange(*failed, QString());
        Application.MessageBox(text, QStringLiteral("Error"), MB_OK | MB_ICONERROR);
    };
    QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog, [this, failed, tell](QPrinter* p) {
        // The preview keeps the paper it was given; printing from it goes through here too.
        if (Print(*p) || !failed->isEmpty())
            return;
        const QString file = p->outputFileName();
        *failed = file.isEmpty() ? QStringLiteral("The report could not be printed on %1.").arg(p->printerName())
                                 : QStringLiteral("The report could not be written to %1.").arg(file);
        QTimer::singleShot(0, qApp, tell);
    });
    ShowPrintCommand(*dialog);
    if (g_previewResponder)
        g_previewResponder(*this, *dialog);
    else
        dialog->exec();
    delete dialog.data();
    tell();
}
