// Colours, pens, brushes, fonts, points and rectangles of the form framework, and the
// screen object (installed font names, the mouse cursor). Drawing itself is in Canvas.h.
#pragma once

#include "Colors.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <cstdint>

// The plain RGB value (0x00BBGGRR) of a colour; system colours come from the
// application palette (classic defaults without an application). clNone and
// clDefault give black.
std::int32_t ColorToRGB(TColor color);
// 0xFFRRGGBB as stored in a Format_RGB32 image.
std::uint32_t ColorToPixel(TColor color);
TColor PixelToColor(std::uint32_t pixel);
QColor ColorToQColor(TColor color);

struct TPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};
inline TPoint Point(int x, int y) { return TPoint{x, y}; }

struct TSize {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const TSize&, const TSize&) = default;
};

// Right and bottom are exclusive, as every framework rectangle.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};
inline TRect Rect(int l, int t, int r, int b) { return TRect{l, t, r, b}; }

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
// The sixteen binary raster operations between pen (P) and screen (D), in the
// framework's order.
enum TPenMode {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

// Applies a pen mode to one RGB value (the top byte of the result is left as in d).
std::uint32_t ApplyPenMode(TPenMode mode, std::uint32_t p, std::uint32_t d);

class TPen {
public:
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
    TPenMode Mode = pmCopy;
    void Assign(const TPen& other) { *this = other; }
};

class TBrush {
public:
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
    void Assign(const TBrush& other) { *this = other; }
};

enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

// A font by name and point size; the point sizes are those of a 96 dpi screen, so
// 8 points are 11 pixels. Names of faces this machine lacks map to installed ones.
class TFont {
public:
    QString Name = QStringLiteral("MS Sans Serif");
    int Size = 8;
    TColor Color = clWindowText;
    TFontStyles Style = 0;
    static constexpr int PixelsPerInch = 96;

    // Cell height in pixels as the framework keeps it: negative for a character height.
    int Height() const;
    void SetHeight(int height);
    void Assign(const TFont& other) { *this = other; }
    // The Qt font drawn with: the stand-in face, pixel size, no anti-aliasing.
    QFont ToQFont() const;
    // The installed face a name is drawn with.
    static QString FaceFor(const QString& name);
};

// The mouse cursor kinds the system uses.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crHourGlass = -11;

class TScreen {
public:
    // Installed font names, with the names whose stand-in face is installed
    // ("Arial", "MS Sans Serif", "Small Fonts", ...) among them.
    const QStringList& Fonts();
    TCursor Cursor() const { return cursor_; }
    // crDefault gives the window's own cursor back; others override it for the application.
    void SetCursor(TCursor cursor);

private:
    QStringList fonts_;
    bool fontsRead_ = false;
    TCursor cursor_ = crDefault;
};

extern TScreen Screen;
