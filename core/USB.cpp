#include "USB.h"

#include "ui_USB.h"

TfmUSB* fmUSB = nullptr;

TfmUSB::TfmUSB(QWidget* parent) : QWidget(parent), ui(new Ui::TfmUSB)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmUSB"));
    StatusTimer = new QTimer(this);
    StatusTimer->setObjectName(QStringLiteral("StatusTimer"));
    StatusTimer->setInterval(200);
}

TfmUSB::~TfmUSB()
{
    if (fmUSB == this)
        fmUSB = nullptr;
    delete ui;
}
