#include "Pass.h"

#include "ui_Pass.h"

#include "Dialogs.h"
#include "Forms.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

QString CalDateText;
TfmPass* fmPass = nullptr;

namespace {
// Compared character for character: no trimming, so the code with a blank is refused.
// The typed text is never written to the trace.
const QString kAccessCode = QStringLiteral("9847");
}  // namespace

TfmPass::TfmPass(QWidget* parent) : QDialog(parent), ui(new Ui::TfmPass)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmPass"));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);
    lbCalDate = ui->lbCalDate;
    Label1 = ui->Label1;
    Password = ui->Password;
    OKBtn = ui->OKBtn;
    CancelBtn = ui->CancelBtn;
    connect(OKBtn, &QPushButton::clicked, this, [this] { Guarded([this] { OKBtnClick(); }); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    PlaceFrame(this, FrameCentred());
}

TfmPass::~TfmPass()
{
    if (fmPass == this)
        fmPass = nullptr;
    delete ui;
}

void TfmPass::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    Guarded([this] { FormShow(); });
}

void TfmPass::FormShow()
{
    lbCalDate->setText(QStringLiteral("Calibration Date: ") + CalDateText);
    Password->setFocus();
}

void TfmPass::OKBtnClick()
{
    if (Password->text() != kAccessCode) {
        MessageDlg(QStringLiteral("Password incorrect.  Please try again."), mtInformation, Btn(mbOK));
        Password->setFocus();
        return;
    }
    accept();
}
