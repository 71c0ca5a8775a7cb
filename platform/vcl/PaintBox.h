// The framework's paint box: a widget whose canvas draws into a persistent RGB32
// image. The paint event runs the OnPaint handler only when the box was invalidated
// (or resized) and otherwise shows the image as it stands, so handlers may also draw
// on the canvas between paints (from mouse events) and see it on the screen.
#pragma once

#include "Canvas.h"

#include <QImage>
#include <QWidget>
#include <functional>

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };

// A set of TShiftFlag.
class TShiftState {
public:
    constexpr TShiftState() = default;
    constexpr TShiftState(std::initializer_list<TShiftFlag> flags)
    {
        for (TShiftFlag f : flags)
            bits_ |= 1u << f;
    }
    constexpr bool Contains(TShiftFlag f) const { return bits_ & (1u << f); }
    constexpr TShiftState& operator<<(TShiftFlag f)
    {
        bits_ |= 1u << f;
        return *this;
    }
    constexpr TShiftState& operator>>(TShiftFlag f)
    {
        bits_ &= ~(1u << f);
        return *this;
    }
    constexpr bool Empty() const { return bits_ == 0; }
    friend constexpr bool operator==(TShiftState, TShiftState) = default;

private:
    unsigned bits_ = 0;
};

class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(QWidget* parent = nullptr);

    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TMouseEvent = std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
    using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;

    TCanvas* const Canvas;
    // The colour the box is cleared to before OnPaint, and the canvas brush then.
    TColor Color = clBtnFace;
    // The canvas font at the start of each paint.
    TFont Font;
    TNotifyEvent OnPaint;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

    int Width();
    int Height();
    TRect ClientRect();
    // Paint again at the next event loop pass.
    void Invalidate();
    // Paint again now (the handler runs before this returns, shown or not).
    void Repaint();
    void Refresh() { Repaint(); }
    const QImage& Image() const { return image_; }
    // The paint box whose mouse handler is running, or null outside them.
    static TPaintBox* MouseSender();

protected:
    // Runs OnPaint on the image; a control with its own drawing overrides it.
    virtual void Paint();
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void EnsureImage();
    void PaintNow();
    QImage image_;
    TCanvas canvas_;
    bool needsPaint_ = true;
    bool painting_ = false;
};
