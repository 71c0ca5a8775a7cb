#include "DelayForm.h"

#include "ui_DelayForm.h"

TfmDelay* fmDelay = nullptr;

TfmDelay::TfmDelay(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), ui(new Ui::TfmDelay)
{
    ui->setupUi(this);
    Edit1 = ui->Edit1;
}

TfmDelay::~TfmDelay() { delete ui; }
