// The framework's canvas on a persistent RGB32 image, and off-screen bitmaps.
//
// Drawing keeps the framework's pixel rules rather than Qt's: a one-pixel LineTo
// leaves out its end pixel (a zero-length line draws nothing); Rectangle, Ellipse,
// Pie and Arc exclude their right and bottom bounds; nothing is anti-aliased (lines,
// shapes, text), so drawing twice in exclusive-or mode restores every pixel. The pen
// mode applies to lines and shapes (their fill included); text, FillRect, FrameRect
// and Pixels ignore it, as the framework's do.
#pragma once

#include "Graphics.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <vector>

// Ternary raster operations of block copies (pattern = the destination's brush).
constexpr std::uint32_t cmBlackness = 0x00000042;
constexpr std::uint32_t cmDstInvert = 0x00550009;
constexpr std::uint32_t cmMergeCopy = 0x00C000CA;
constexpr std::uint32_t cmMergePaint = 0x00BB0226;
constexpr std::uint32_t cmNotSrcCopy = 0x00330008;
constexpr std::uint32_t cmNotSrcErase = 0x001100A6;
constexpr std::uint32_t cmPatCopy = 0x00F00021;
constexpr std::uint32_t cmPatInvert = 0x005A0049;
constexpr std::uint32_t cmPatPaint = 0x00FB0A09;
constexpr std::uint32_t cmSrcAnd = 0x008800C6;
constexpr std::uint32_t cmSrcCopy = 0x00CC0020;
constexpr std::uint32_t cmSrcErase = 0x00440328;
constexpr std::uint32_t cmSrcInvert = 0x00660046;
constexpr std::uint32_t cmSrcPaint = 0x00EE0086;
constexpr std::uint32_t cmWhiteness = 0x00FF0062;

// Applies a ternary raster operation (its operation byte, bits 16..23) to pattern,
// source and destination RGB values; the result's top byte is 0xFF.
std::uint32_t ApplyRop3(std::uint32_t rop, std::uint32_t p, std::uint32_t s, std::uint32_t d);

class TCanvas;
class QPainter;
class QRect;

// Pixels[X][Y]: read gives the TColor, write sets the pixel (outside the image: read
// gives clNone, write does nothing).
class TCanvasPixels {
public:
    class Pixel {
    public:
        Pixel(TCanvas* c, int x, int y) : c_(c), x_(x), y_(y) {}
        operator TColor() const;
        Pixel& operator=(TColor color);
        Pixel& operator=(const Pixel& other) { return *this = TColor(other); }
    private:
        TCanvas* c_;
        int x_, y_;
    };
    class Column {
    public:
        Column(TCanvas* c, int x) : c_(c), x_(x) {}
        Pixel operator[](int y) const { return Pixel(c_, x_, y); }
    private:
        TCanvas* c_;
        int x_;
    };
    explicit TCanvasPixels(TCanvas* c) : c_(c) {}
    Column operator[](int x) const { return Column(c_, x); }
private:
    TCanvas* c_;
};

class TCanvas {
public:
    // Draws into *image, which the owner keeps (and may resize) for the canvas's life.
    explicit TCanvas(QImage* image);
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TPen* const Pen;
    TBrush* const Brush;
    TFont* const Font;
    TPoint PenPos;
    std::uint32_t CopyMode = cmSrcCopy;
    TCanvasPixels Pixels{this};
    // Called after each drawing operation (the paint box shows the image).
    std::function<void()> OnChange;

    void MoveTo(int X, int Y);
    // From the pen position to (X, Y); the end pixel is left out with a one-pixel pen.
    void LineTo(int X, int Y);
    // Lines through the points, the pen position untouched.
    void Polyline(std::span<const TPoint> points);
    void Polyline(std::initializer_list<TPoint> points) { Polyline(std::span(points.begin(), points.size())); }
    // Filled with the brush (unless clear), framed with the pen (unless clear);
    // covers columns X1..X2-1 and rows Y1..Y2-1.
    void Rectangle(int X1, int Y1, int X2, int Y2);
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    // The brush over the rectangle, no frame.
    void FillRect(const TRect& r);
    // A one-pixel frame in the brush colour.
    void FrameRect(const TRect& r);
    // The ellipse inscribed in the box X1..X2-1, Y1..Y2-1.
    void Ellipse(int X1, int Y1, int X2, int Y2);
    void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
    // Slice of the ellipse in the box, counter-clockwise on the screen from the ray
    // towards (X3, Y3) to the ray towards (X4, Y4), filled and framed.
    void Pie(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
    // The same part of the ellipse's outline alone, in the pen.
    void Arc(int X1, int Y1, int X2, int Y2, int X3, int Y3, int X4, int Y4);
    // Filled (alternate rule) and framed closed polygon.
    void Polygon(std::span<const TPoint> points);
    void Polygon(std::initializer_list<TPoint> points) { Polygon(std::span(points.begin(), points.size())); }
    // Text with its top-left corner at (X, Y) in the font's colour, on the brush
    // colour unless the brush is clear. The pen position moves to the text's end.
    void TextOut(int X, int Y, const QString& Text);
    int TextWidth(const QString& Text) const;
    int TextHeight(const QString& Text) const;
    TSize TextExtent(const QString& Text) const;
    // Block copy from another canvas with CopyMode; Source and Dest of the same size
    // (otherwise the source is scaled).
    void CopyRect(const TRect& Dest, TCanvas* Source, const TRect& SourceRect);
    // The whole of another canvas at (X, Y), with CopyMode.
    void Draw(int X, int Y, TCanvas* Source);

    // Size of the image drawn into.
    int Width() const { return image_->width(); }
    int Height() const { return image_->height(); }
    QImage& Image() { return *image_; }
    const QImage& Image() const { return *image_; }

    // Internal, for Pixels and block copies.
    void SetPixelRGB(int x, int y, std::uint32_t pixel);
    bool GetPixelRGB(int x, int y, std::uint32_t& pixel) const;

private:
    void Changed();
    void PlotPen(int x, int y, std::uint32_t p);
    void ThinLine(int x0, int y0, int x1, int y1, bool lastPixel);
    void WideLine(int x0, int y0, int x1, int y1);
    void Stamp(int x, int y, std::uint32_t p);
    void FillSpan(int x0, int x1, int y, std::uint32_t p, TPenMode mode);
    // Shapes drawn by Qt: straight onto the image in copy mode, through a coverage
    // image for the other modes so every pixel takes the mode once.
    void DrawShape(const QRect& bounds, bool usesPen, bool usesBrush, const std::function<void(QPainter&)>& draw,
                   std::span<const TPoint> thinOutline = {});

    TPen pen_;
    TBrush brush_;
    TFont font_;
    QImage* image_;
    unsigned dashPhase_ = 0;
};

// The framework-shaped block transfer between canvases.
bool BitBlt(TCanvas* Dest, int X, int Y, int Width, int Height, TCanvas* Source, int XSrc, int YSrc,
            std::uint32_t Rop);

// An off-screen bitmap with its own canvas. New pixels are white.
class TBitmap {
public:
    TBitmap();
    TBitmap(int width, int height);
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    TCanvas* const Canvas;
    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    bool Empty() const { return image_.isNull() || image_.width() == 0 || image_.height() == 0; }
    void SetSize(int width, int height);
    void SetWidth(int width) { SetSize(width, Height()); }
    void SetHeight(int height) { SetSize(Width(), height); }
    // Copies the other bitmap's picture and size.
    void Assign(const TBitmap* other);
    bool SaveToFile(const QString& fileName) const { return image_.save(fileName); }
    QImage& Image() { return image_; }
    const QImage& Image() const { return image_; }

private:
    QImage image_;
    TCanvas canvas_;
};
