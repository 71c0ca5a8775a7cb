// The banded report: a report walks the rows of a data set and prints one detail band
// per row between a title on its first page and a page footer on every page; its
// printable elements are fixed texts, data fields with display masks, system data
// (date and time, page number, report title) and shapes. The report is first
// prepared into pages (every value and colour fixed at that moment, as the printed
// copy will show it), then shown in Qt's print preview, from which the user prints to
// a printer or to a PDF file, or printed straight onto a printer.
//
// Positions and sizes are report units: pixels at 96 per inch, as the window
// designer placed them. Font sizes are points.
#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class QPainter;
class QPrinter;
class QPrintPreviewDialog;

// The rows a report prints. Values are read by field name; an empty field is a null
// (or invalid) QVariant. A field the source does not have raises an exception.
class TQRRowSource {
public:
    virtual ~TQRRowSource() = default;
    virtual void First() = 0;
    virtual bool Eof() const = 0;
    virtual void Next() = 0;
    virtual QVariant FieldValue(const QString& name) const = 0;
};

struct TQRFont {
    QString Name = QStringLiteral("Arial");
    double Size = 10;  // points
    bool Bold = false;
    bool Italic = false;
    QColor Color = QColor(0, 0, 0);
};

enum TQRAlignment { taLeftJustify, taRightJustify, taCenter };

// The display mask of a number: '0' a digit always shown, '#' a digit shown when
// significant, one '.' for the decimal separator (printed as DecimalSeparator), any
// other character printed as it stands. Halves are rounded away from zero.
QString FormatFloatMask(const QString& mask, double value);

struct TQRPrintItem;

// One element printed on a band.
class TQRBand;
class TQRPrintable {
public:
    virtual ~TQRPrintable() = default;
    QString Name;
    TQRBand* Parent = nullptr;
    double Left = 0, Top = 0, Width = 0, Height = 17;
    TQRFont Font;
    TQRAlignment Alignment = taLeftJustify;
    bool Enabled = true;
    // A text too wide for its width goes on over further lines (at word ends where it
    // can, anywhere in a long word): the element grows downwards, and its band with it,
    // pushing the elements below it down. Otherwise a text is one line.
    bool WordWrap = false;
    // The items this element prints on its band at the given position.
    virtual void Print(double x, double y, std::vector<TQRPrintItem>& out) const = 0;

protected:
    void PrintText(double x, double y, const QString& text, std::vector<TQRPrintItem>& out) const;
};

// A fixed text.
class TQRLabel : public TQRPrintable {
public:
    QString Caption;
    void Print(double x, double y, std::vector<TQRPrintItem>& out) const override;
};

// The value of one field of the current row. A number with a mask is printed through
// the mask; a date in the system's short date format; an empty field prints nothing.
class TQRDBText : public TQRPrintable {
public:
    TQRRowSource* DataSet = nullptr;
    QString DataField;
    QString Mask;
    QString Text() const;
    void Print(double x, double y, std::vector<TQRPrintItem>& out) const override;
};

// A value the report itself supplies, after the prefix Text.
class TQRSysData : public TQRPrintable {
public:
    enum TQRSysDataType { qrsDate, qrsTime, qrsDateTime, qrsPageNumber, qrsReportTitle };
    TQRSysDataType Data = qrsDateTime;
    QString Text;
    void Print(double x, double y, std::vector<TQRPrintItem>& out) const override;
};

// A rectangle outline.
class TQRShape : public TQRPrintable {
public:
    double PenWidth = 1;
    void Print(double x, double y, std::vector<TQRPrintItem>& out) const override;
};

enum TQRBandType { rbTitle, rbDetail, rbPageFooter };

class TQuickRep;

// A band: a strip of the page with its elements. Elements are owned by the band and
// reached by the pointer that Add returns.
class TQRBand {
public:
    TQRBand(TQuickRep* report, TQRBandType type) : Report(report), BandType(type) {}
    TQuickRep* Report;
    TQRBandType BandType;
    QString Name;
    double Height = 40;
    bool Enabled = true;
    // Runs before the band is printed for the current row; may change the elements
    // (their font colours) and may keep the band from printing.
    std::function<void(TQRBand* sender, bool& printBand)> BeforePrint;

    template <class T>
    T* Add(const QString& name)
    {
        auto e = std::make_unique<T>();
        e->Name = name;
        e->Parent = this;
        T* raw = e.get();
        elements_.push_back(std::move(e));
        return raw;
    }
    const std::vector<std::unique_ptr<TQRPrintable>>& Elements() const { return elements_; }
    TQRPrintable* Find(const QString& name) const;

private:
    std::vector<std::unique_ptr<TQRPrintable>> elements_;
};

// An item of a prepared page, in report units.
struct TQRPrintItem {
    enum Kind { Text, Rect } kind = Text;
    QRectF rect;
    QString text;
    TQRFont font;
    TQRAlignment alignment = taLeftJustify;
    double penWidth = 1;
};

struct TQRPage {
    std::vector<TQRPrintItem> items;
};

class TQuickRep {
public:
    enum TQRPaperSize { Letter, A4 };
    enum TQROrientation { poPortrait, poLandscape };

    TQuickRep();
    ~TQuickRep();
    TQuickRep(const TQuickRep&) = delete;
    TQuickRep& operator=(const TQuickRep&) = delete;

    QString Name;
    QString ReportTitle;
    TQRRowSource* DataSet = nullptr;
    TQRPaperSize PaperSize = Letter;
    TQROrientation Orientation = poPortrait;
    // Page margins in report units (96 per inch).
    double LeftMargin = 48, TopMargin = 48, RightMargin = 48, BottomMargin = 48;
    // One page with the title and the footer when the data set has no row.
    bool PrintIfEmpty = true;
    // The page footer also on the last page.
    bool LastPageFooter = true;

    // Bands are owned by the report.
    TQRBand* AddBand(TQRBandType type, const QString& name);
    TQRBand* Band(TQRBandType type) const;

    // Page size in report units for the paper and orientation.
    QSizeF PageSize() const;

    // Walks the data set from its first row and lays the bands out into pages. The
    // printing date and time are taken at the start. Exceptions of the data set pass.
    void Prepare();
    const std::vector<TQRPage>& Pages() const { return pages_; }
    int PageCount() const { return static_cast<int>(pages_.size()); }
    QString PrintedText() const;  // every text of the prepared pages, page by page

    // Draws one prepared page with the painter, whose device has `dpi` dots per inch
    // and whose origin is the paper's top-left corner.
    void PaintPage(QPainter& painter, int page, double dpi) const;
    // Paper size, orientation and full-page drawing of a printer for this report.
    void SetupPrinter(QPrinter& printer) const;
    // Prints the prepared pages on the printer (or PDF writer set up by SetupPrinter).
    bool Print(QPrinter& printer) const;
    // Prepares the report and shows it in the print preview; the user prints from there.
    void Preview();

private:
    std::vector<std::unique_ptr<TQRBand>> bands_;
    std::vector<TQRPage> pages_;
    friend class TQRSysData;
    int currentPage_ = 0;
    QString printedDate_, printedTime_;
};

// Tests and benchmarks take the preview dialog here instead of its modal run; the
// report is prepared and the dialog set up when the responder is called.
using PreviewResponder = std::function<void(TQuickRep& report, QPrintPreviewDialog& dialog)>;
void SetPreviewResponder(PreviewResponder responder);
