#include "KyrHelp.h"

#include "ui_KyrHelp.h"

#include "Forms.h"
#include "SysUtils.h"

#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>

TfmKyrHelp* fmKyrHelp = nullptr;

TfmKyrHelp::TfmKyrHelp(QWidget* parent) : QWidget(parent), ui(new Ui::TfmKyrHelp)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmKyrHelp"));
    Memo1 = ui->Memo1;
    Close = ui->Close;
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    // Placed and sized as designed: the outer size 696 by 480 holds this client area.
    setFixedSize(688, 446);
    move(264, 171);
    connect(Close, &QPushButton::clicked, this, [this] { Guarded([this] { CloseClick(); }); });
}

TfmKyrHelp::~TfmKyrHelp()
{
    if (fmKyrHelp == this)
        fmKyrHelp = nullptr;
    delete ui;
}

void TfmKyrHelp::CloseClick() { hide(); }

void ShowOperationGuide()
{
    const QString name = QStringLiteral("Kestrovan Operation Guide.txt");
    if (!FileExists(name) || !fmKyrHelp)
        return;
    fmKyrHelp->show();
    fmKyrHelp->raise();
    // A guide is a text of some hundred kilobytes; a fifo, a device or a runaway file at
    // the name is the file that cannot be opened.
    constexpr qint64 kGuideMaxBytes = 16 * 1024 * 1024;
    QByteArray bytes;
    QString error;
    if (!ReadRegularFile(name, kGuideMaxBytes, bytes, error))
        throw EInOutError(QStringLiteral("Cannot open file \"%1\". %2").arg(QFileInfo(name).absoluteFilePath(), error));
    fmKyrHelp->Memo1->setPlainText(SplitLines(bytes).join(QLatin1Char('\n')));
}
