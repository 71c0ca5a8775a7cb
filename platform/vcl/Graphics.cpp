#include "Graphics.h"

#include <QCursor>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <cstdlib>

// ---------------------------------------------------------------- colours

namespace {

// Classic values of the system colours, used when no application palette exists.
constexpr std::int32_t ClassicSystemColors[25] = {
    0xC8C8C8, 0x000000, 0x800000, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000, 0x000000,
    0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x800000, 0xFFFFFF, 0xC0C0C0, 0x808080, 0x808080,
    0x000000, 0xC0C0C0, 0xFFFFFF, 0x000000, 0xE0E0E0, 0x000000, 0xE1FFFF,
};

std::int32_t FromQColor(const QColor& c)
{
    return RGB(c.red(), c.green(), c.blue());
}

std::int32_t SystemColorRGB(int index)
{
    if (index < 0 || index > 24)
        return 0;
    if (!qGuiApp)
        return ClassicSystemColors[index];
    const QPalette pal = QGuiApplication::palette();
    switch (index) {
    case 0: return FromQColor(pal.color(QPalette::Mid));                 // scroll bar
    case 1: return FromQColor(pal.color(QPalette::Dark));                // desktop
    case 2: return FromQColor(pal.color(QPalette::Highlight));           // active caption
    case 3: return FromQColor(pal.color(QPalette::Mid));                 // inactive caption
    case 4: return FromQColor(pal.color(QPalette::Window));              // menu
    case 5: return FromQColor(pal.color(QPalette::Base));                // window
    case 6: return FromQColor(pal.color(QPalette::Shadow));              // window frame
    case 7: return FromQColor(pal.color(QPalette::WindowText));          // menu text
    case 8: return FromQColor(pal.color(QPalette::Text));                // window text
    case 9: return FromQColor(pal.color(QPalette::HighlightedText));     // caption text
    case 10: return FromQColor(pal.color(QPalette::Button));             // active border
    case 11: return FromQColor(pal.color(QPalette::Button));             // inactive border
    case 12: return FromQColor(pal.color(QPalette::Dark));               // workspace
    case 13: return FromQColor(pal.color(QPalette::Highlight));
    case 14: return FromQColor(pal.color(QPalette::HighlightedText));
    case 15: return FromQColor(pal.color(QPalette::Button));             // button face
    case 16: return FromQColor(pal.color(QPalette::Dark));               // button shadow
    case 17: return FromQColor(pal.color(QPalette::Disabled, QPalette::Text));
    case 18: return FromQColor(pal.color(QPalette::ButtonText));
    case 19: return FromQColor(pal.color(QPalette::Disabled, QPalette::WindowText));
    case 20: return FromQColor(pal.color(QPalette::Light));              // button highlight
    case 21: return FromQColor(pal.color(QPalette::Shadow));             // 3-D dark shadow
    case 22: return FromQColor(pal.color(QPalette::Midlight));           // 3-D light
    case 23: return FromQColor(pal.color(QPalette::ToolTipText));
    case 24: return FromQColor(pal.color(QPalette::ToolTipBase));
    }
    return 0;
}

} // namespace

std::int32_t ColorToRGB(TColor color)
{
    const std::uint32_t u = std::uint32_t(color);
    if ((u & 0xFF000000u) == 0xFF000000u)
        return SystemColorRGB(int(u & 0xFF));
    if (color == clNone || color == clDefault)
        return 0;
    return std::int32_t(u & 0x00FFFFFFu);
}

std::uint32_t ColorToPixel(TColor color)
{
    const std::uint32_t c = std::uint32_t(ColorToRGB(color));
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

TColor PixelToColor(std::uint32_t pixel)
{
    return TColor(((pixel >> 16) & 0xFF) | (pixel & 0xFF00) | ((pixel & 0xFF) << 16));
}

QColor ColorToQColor(TColor color)
{
    return QColor::fromRgb(ColorToPixel(color));
}

std::uint32_t ApplyPenMode(TPenMode mode, std::uint32_t p, std::uint32_t d)
{
    std::uint32_t r;
    switch (mode) {
    case pmBlack: r = 0; break;
    case pmWhite: r = 0xFFFFFF; break;
    case pmNop: r = d; break;
    case pmNot: r = ~d; break;
    case pmCopy: r = p; break;
    case pmNotCopy: r = ~p; break;
    case pmMergePenNot: r = p | ~d; break;
    case pmMaskPenNot: r = p & ~d; break;
    case pmMergeNotPen: r = ~p | d; break;
    case pmMaskNotPen: r = ~p & d; break;
    case pmMerge: r = p | d; break;
    case pmNotMerge: r = ~(p | d); break;
    case pmMask: r = p & d; break;
    case pmNotMask: r = ~(p & d); break;
    case pmXor: r = p ^ d; break;
    case pmNotXor: r = ~(p ^ d); break;
    default: r = p; break;
    }
    return (d & 0xFF000000u) | (r & 0x00FFFFFFu);
}

// ---------------------------------------------------------------- fonts and screen

namespace {

bool FamilyInstalled(const QString& family)
{
    static QStringList families;
    if (families.isEmpty() && qGuiApp)
        families = QFontDatabase::families();
    return families.contains(family, Qt::CaseInsensitive);
}

struct FaceAlias {
    const char* name;
    const char* faces[3];
};

// Faces of the original screen and the installed faces that stand in for them:
// metric-compatible where one exists, else a face of similar build.
const FaceAlias FaceAliases[] = {
    {"Arial", {"Liberation Sans", "Arimo", nullptr}},
    {"Helvetica", {"Liberation Sans", "Arimo", nullptr}},
    {"Times New Roman", {"Liberation Serif", "Tinos", nullptr}},
    {"Courier New", {"Liberation Mono", "Cousine", nullptr}},
    {"Cambria", {"Caladea", nullptr, nullptr}},
    {"MS Sans Serif", {"Liberation Sans", "DejaVu Sans", nullptr}},
    {"Small Fonts", {"DejaVu Sans Condensed", "Liberation Sans", "DejaVu Sans"}},
};

} // namespace

QString TFont::FaceFor(const QString& name)
{
    for (const FaceAlias& a : FaceAliases) {
        if (name.compare(QLatin1String(a.name), Qt::CaseInsensitive) != 0)
            continue;
        for (const char* f : a.faces)
            if (f && FamilyInstalled(QLatin1String(f)))
                return QLatin1String(f);
    }
    return name;
}

int TFont::Height() const
{
    return -int(std::lround(double(Size) * PixelsPerInch / 72.0));
}

void TFont::SetHeight(int height)
{
    Size = -int(std::lround(double(height) * 72.0 / PixelsPerInch));
}

QFont TFont::ToQFont() const
{
    QFont f(FaceFor(Name));
    int px = int(std::lround(std::abs(double(Size)) * PixelsPerInch / 72.0));
    f.setPixelSize(std::max(px, 1));
    f.setBold(Style & fsBold);
    f.setItalic(Style & fsItalic);
    f.setUnderline(Style & fsUnderline);
    f.setStrikeOut(Style & fsStrikeOut);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setKerning(false);
    return f;
}

TScreen Screen;

const QStringList& TScreen::Fonts()
{
    if (!fontsRead_ && qGuiApp) {
        fonts_ = QFontDatabase::families();
        for (const FaceAlias& a : FaceAliases) {
            const QString name = QLatin1String(a.name);
            if (!fonts_.contains(name, Qt::CaseInsensitive) && TFont::FaceFor(name) != name)
                fonts_.append(name);
        }
        fonts_.sort(Qt::CaseInsensitive);
        fontsRead_ = true;
    }
    return fonts_;
}

void TScreen::SetCursor(TCursor cursor)
{
    if (cursor == cursor_)
        return;
    if (qGuiApp) {
        if (cursor_ != crDefault)
            QGuiApplication::restoreOverrideCursor();
        if (cursor != crDefault) {
            Qt::CursorShape shape = Qt::ArrowCursor;
            switch (cursor) {
            case crNone: shape = Qt::BlankCursor; break;
            case crCross: shape = Qt::CrossCursor; break;
            case crHourGlass: shape = Qt::WaitCursor; break;
            default: shape = Qt::ArrowCursor; break;
            }
            QGuiApplication::setOverrideCursor(QCursor(shape));
        }
    }
    cursor_ = cursor;
}
