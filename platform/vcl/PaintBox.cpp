#include "PaintBox.h"

#include "Forms.h"

#include <QMouseEvent>
#include <QPainter>

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent), Canvas(&canvas_), canvas_(&image_)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    canvas_.OnChange = [this] {
        if (!painting_)
            update();
    };
}

void TPaintBox::EnsureImage()
{
    const QSize s = size().expandedTo(QSize(0, 0));
    if (image_.size() == s && !image_.isNull())
        return;
    QImage next(s, QImage::Format_RGB32);
    next.fill(ColorToPixel(Color));
    image_ = next;
    needsPaint_ = true;
}

int TPaintBox::Width()
{
    EnsureImage();
    return width();
}

int TPaintBox::Height()
{
    EnsureImage();
    return height();
}

TRect TPaintBox::ClientRect()
{
    return Rect(0, 0, Width(), Height());
}

void TPaintBox::Invalidate()
{
    needsPaint_ = true;
    update();
}

void TPaintBox::Repaint()
{
    needsPaint_ = true;
    if (!painting_)
        PaintNow();
    update();
}

void TPaintBox::PaintNow()
{
    EnsureImage();
    needsPaint_ = false;
    painting_ = true;
    image_.fill(ColorToPixel(Color));
    canvas_.Brush->Color = Color;
    canvas_.Brush->Style = bsSolid;
    canvas_.Font->Assign(Font);
    Guarded([&] { Paint(); });
    painting_ = false;
}

void TPaintBox::Paint()
{
    if (OnPaint)
        OnPaint(this);
}

void TPaintBox::paintEvent(QPaintEvent*)
{
    Guarded([&] {
        EnsureImage();
        if (needsPaint_ && !painting_)
            PaintNow();
        QPainter g(this);
        g.drawImage(0, 0, image_);
    });
}

void TPaintBox::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // A new size is a new image, which EnsureImage marks for painting.
    Guarded([&] { EnsureImage(); });
}

namespace {

TPaintBox* CurrentMouseSender = nullptr;

// Marks the box as the sender for the length of one mouse handler.
class MouseScope {
public:
    explicit MouseScope(TPaintBox* box) : keep_(CurrentMouseSender) { CurrentMouseSender = box; }
    ~MouseScope() { CurrentMouseSender = keep_; }
    MouseScope(const MouseScope&) = delete;
    MouseScope& operator=(const MouseScope&) = delete;

private:
    TPaintBox* keep_;
};

TShiftState ShiftOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons)
{
    TShiftState s;
    if (mods & Qt::ShiftModifier)
        s << ssShift;
    if (mods & Qt::AltModifier)
        s << ssAlt;
    if (mods & Qt::ControlModifier)
        s << ssCtrl;
    if (buttons & Qt::LeftButton)
        s << ssLeft;
    if (buttons & Qt::RightButton)
        s << ssRight;
    if (buttons & Qt::MiddleButton)
        s << ssMiddle;
    return s;
}

bool ButtonOf(Qt::MouseButton b, TMouseButton& out)
{
    switch (b) {
    case Qt::LeftButton: out = mbLeft; return true;
    case Qt::RightButton: out = mbRight; return true;
    case Qt::MiddleButton: out = mbMiddle; return true;
    default: return false;
    }
}

} // namespace

TPaintBox* TPaintBox::MouseSender()
{
    return CurrentMouseSender;
}

void TPaintBox::mousePressEvent(QMouseEvent* event)
{
    Guarded([&] {
        MouseScope scope(this);
        TMouseButton b;
        if (OnMouseDown && ButtonOf(event->button(), b)) {
            const QPoint p = event->position().toPoint();
            OnMouseDown(this, b, ShiftOf(event->modifiers(), event->buttons()), p.x(), p.y());
        }
    });
}

void TPaintBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    Guarded([&] {
        MouseScope scope(this);
        TMouseButton b;
        if (OnMouseDown && ButtonOf(event->button(), b)) {
            const QPoint p = event->position().toPoint();
            OnMouseDown(this, b, ShiftOf(event->modifiers(), event->buttons()) << ssDouble, p.x(), p.y());
        }
    });
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    Guarded([&] {
        MouseScope scope(this);
        if (OnMouseMove) {
            const QPoint p = event->position().toPoint();
            OnMouseMove(this, ShiftOf(event->modifiers(), event->buttons()), p.x(), p.y());
        }
    });
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event)
{
    Guarded([&] {
        MouseScope scope(this);
        TMouseButton b;
        if (OnMouseUp && ButtonOf(event->button(), b)) {
            const QPoint p = event->position().toPoint();
            OnMouseUp(this, b, ShiftOf(event->modifiers(), event->buttons()), p.x(), p.y());
        }
    });
}
