#include "DelayForm.h"

#include "ui_DelayForm.h"

#include <algorithm>

TfmDelay* fmDelay = nullptr;

TfmDelay::TfmDelay(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), ui(new Ui::TfmDelay)
{
    ui->setupUi(this);
    Edit1 = ui->Edit1;
    // The labels size themselves to their text, as the framework's labels do, and the
    // row keeps its order and gaps, so "Please Wait:" is never cut in this font.
    QLabel* const label1 = ui->Label1;
    QLabel* const label2 = ui->Label2;
    const int gapLabel = Edit1->x() - label1->geometry().right() - 1;
    const int gapEdit = label2->x() - Edit1->geometry().right() - 1;
    label1->resize(std::max(label1->width(), label1->sizeHint().width()), label1->height());
    label2->resize(std::max(label2->width(), label2->sizeHint().width()), label2->height());
    Edit1->move(label1->geometry().right() + 1 + gapLabel, Edit1->y());
    label2->move(Edit1->geometry().right() + 1 + gapEdit, label2->y());
    QFrame* const panel = ui->Panel1;
    panel->resize(std::max(panel->width(), label2->geometry().right() + 1 + label1->x()), panel->height());
    setMinimumWidth(std::max(minimumWidth(), panel->geometry().right() + 1 + panel->x()));
}

TfmDelay::~TfmDelay() { delete ui; }
