#include "Setup.h"

#include "ui_Setup.h"

#include "Dialogs.h"
#include "Forms.h"
#include "SetupFile.h"
#include "SysUtils.h"
#include "Trace.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

TfmSetup* fmSetup = nullptr;

TfmSetup::TfmSetup(QWidget* parent) : QDialog(parent), ui(new Ui::TfmSetup)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmSetup"));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    ebMaxOnTime = ui->ebMaxOnTime;
    ebMaxOffTime = ui->ebMaxOffTime;
    ebMaxOps = ui->ebMaxOps;
    ebDataFileName = ui->ebDataFileName;
    cbSourceName = ui->cbSourceName;
    ebShuntAmperes = ui->ebShuntAmperes;
    ebShuntMillivolts = ui->ebShuntMillivolts;
    Button1 = ui->Button1;
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
    Guarded([this] { FormCreate(); });
}

TfmSetup::~TfmSetup()
{
    if (fmSetup == this)
        fmSetup = nullptr;
    delete ui;
}

void TfmSetup::ReadSetupFile()
{
    Trace("ReadSetupFile ");
    if (!FileExists(SetupFileName)) {
        Application.MessageBox(QStringLiteral("Creating Default Setup File"), QStringLiteral("File Missing"), MB_OK);
        // Program control sets the full data folder path before the first read; it stays.
        SetupDefaultValues(*this);
        WriteSetupFile();
    }
    // A default file that could not be written has already been reported; the defaults stay.
    if (!FileExists(SetupFileName))
        return;

    if (!ReadSetupLines(SetupFileName, *this))
        MessageDlg(QStringLiteral("Error reading file: ") + SetupFileName, mtError, Btn(mbOK));
}

void TfmSetup::WriteSetupFile()
{
    Trace("WriteSetupFile ");
    // Written beside the target and renamed over it: a failure never leaves half a file.
    if (!WriteSetupLines(SetupFileName, *this))
        MessageDlg(QStringLiteral("Error writing file: ") + SetupFileName, mtError, Btn(mbAbort));
}

void TfmSetup::FormCreate()
{
    Trace("FormCreate Setup ");
    PlaceFrame(this, FrameAtRight(2));
}

void TfmSetup::FormShow()
{
    Trace("Setup Form Show ");
    PlaceFrame(this, FrameAtRight());
    ebMaxOnTime->setText(Format("%4.2f", MaxOnTime));
    ebMaxOffTime->setText(Format("%4.2f", MaxOffTime));
    ebMaxOps->setText(FormatInt("%d", MaxOps));
    ebDataFileName->setText(DataFileName);
    ebDataFileName->setCursorPosition(0);  // the folder in sight, not the end of the name
    cbSourceName->setEditText(SourceName);
    ebShuntAmperes->setText(Format("%5.1f", ShuntAmperes));
    ebShuntMillivolts->setText(Format("%3.2f", ShuntMillivolts));
}

void TfmSetup::Button1Click() { close(); }

void TfmSetup::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    Guarded([this] { FormShow(); });
}

void TfmSetup::closeEvent(QCloseEvent* e)
{
    bool taken = false;
    Guarded([&] { taken = FormClose(); });
    if (!taken) {
        e->ignore();
        return;
    }
    // Whichever way the window was closed, it returns OK and the main window re-initialises.
    setResult(QDialog::Accepted);
    e->accept();
}

bool TfmSetup::FormClose()
{
    Trace("Setup Form Close ");
    // Every entry is checked before any is taken: a bad one keeps the window open with
    // the reason, and the fields and the file stay as they were.
    auto refuse = [](QLineEdit* edit, const QString& why) {
        Application.ShowException(why);
        edit->setFocus();
        edit->selectAll();
        return false;
    };
    auto number = [&](QLineEdit* edit, double& out) {
        if (TryStrToFloat(edit->text(), out))
            return true;
        return refuse(edit, QStringLiteral("'%1' is not a valid floating point value").arg(edit->text()));
    };
    auto shunt = [&](QLineEdit* edit, double& out) {
        if (!number(edit, out))
            return false;
        if (ShuntValueUsable(out))
            return true;
        return refuse(edit, QStringLiteral("'%1' is not a valid shunt rating").arg(edit->text()));
    };
    auto time = [&](QLineEdit* edit, double& out) {
        if (!number(edit, out))
            return false;
        if (TimeUsable(out)) {
            out = out == 0 ? 0.0 : out;
            return true;
        }
        return refuse(edit, QStringLiteral("'%1' is not a valid time: 0 (no limit) or from 0.01 to 9999.99 seconds")
                                .arg(edit->text()));
    };
    double onTime = 0, offTime = 0, amps = 0, millivolts = 0;
    int ops = 0;
    if (!time(ebMaxOnTime, onTime) || !time(ebMaxOffTime, offTime))
        return false;
    if (!TryStrToInt(ebMaxOps->text(), ops))
        return refuse(ebMaxOps, QStringLiteral("'%1' is not a valid integer value").arg(ebMaxOps->text()));
    if (ops < 1 || ops > 5)
        return refuse(ebMaxOps, QStringLiteral("'%1' is not a valid operation count: from 1 to 5").arg(ebMaxOps->text()));
    if (!shunt(ebShuntAmperes, amps) || !shunt(ebShuntMillivolts, millivolts))
        return false;

    MaxOnTime = onTime;
    MaxOffTime = offTime;
    MaxOps = ops;
    DataFileName = ebDataFileName->text();
    SourceName = cbSourceName->currentText();
    ShuntAmperes = amps;
    ShuntMillivolts = millivolts;
    // Read straight back so the fields hold what the file holds (shunt values whole).
    WriteSetupFile();
    ReadSetupFile();
    return true;
}
