#include "UpDown.h"

#include <QToolButton>

#include <algorithm>

TUpDown::TUpDown(QWidget* parent) : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this))
{
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(up_, &QToolButton::clicked, this, [this] { Step(btNext); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(btPrev); });
}

void TUpDown::SetRange(int min, int max)
{
    min_ = min;
    max_ = std::max(min, max);
    position_ = std::clamp(position_, min_, max_);
}

void TUpDown::SetPosition(int position) { position_ = std::clamp(position, min_, max_); }

void TUpDown::Step(TUDBtnType button)
{
    position_ = std::clamp(position_ + (button == btNext ? 1 : -1), min_, max_);
    if (OnClick)
        OnClick(button);
}

void TUpDown::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}
