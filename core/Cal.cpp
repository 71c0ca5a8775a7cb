#include "Cal.h"

#include "ui_Cal.h"

#include "Comm.h"
#include "Dialogs.h"
#include "Forms.h"
#include "KyrGlobals.h"
#include "SysUtils.h"
#include "Trace.h"

#include "Waveform.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdlib>
#include <cstring>


TfmCal* fmCal = nullptr;

namespace {

const QString kCorrupt = QStringLiteral("Calibration corrupted. Please recalibrate.");

// A number typed into the window: the system's separator, or the point of the
// block and of the average time list.
double EntryToFloat(const QString& text)
{
    double v;
    if (TryStrToFloat(text, v))
        return v;
    if (DecimalSeparator != QLatin1Char('.')) {
        try {
            return StrToFloatC(text);
        } catch (const EConvertError&) {
        }
    }
    return StrToFloat(text);
}

// A typed factor as the file will hold it (six decimals in eight characters) must
// still be one the engine can use; so must a typed average time with its three.
bool FactorFits(double f)
{
    if (!CalFactorUsable(f))
        return false;
    const std::string text = FixedC(f, 6);
    return text.size() == 8 && CalFactorUsable(std::strtod(text.c_str(), nullptr));
}

bool AvgTimeFits(double t)
{
    return CalAvgTimeUsable(t) && CalAvgTimeUsable(std::strtod(FixedC(t, 3).c_str(), nullptr));
}

const QString kAvgTimeRange = QStringLiteral("Average time must be from 0.001 to 10 seconds");

QString DayToText(int day) { return DateToStr(DayNumberToDate(day)); }

}  // namespace

QColor CalDateColour(int calibrationDay, int today)
{
    const int age = today - calibrationDay;
    if (age > 365)
        return QColor(0xFF, 0x00, 0x00);  // red
    if (age > 335)
        return QColor(0xFF, 0xFF, 0x00);  // yellow
    return QColor(0x00, 0xFF, 0x00);      // lime
}

TfmCal::TfmCal(QWidget* parent) : QDialog(parent), ui(new Ui::TfmCal)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmCal"));
    // The window starts on the defaults, flagged as no valid calibration, so that no test
    // ever runs on zeros.
    DefaultValues();
    AvgSamples = 240;
    CalError = true;
    QLabel* labels[9] = {nullptr, ui->Label1, ui->Label2, ui->Label3, ui->Label4,
                         ui->Label5, ui->Label6, ui->Label7, ui->Label8};
    QLineEdit* edits[9] = {nullptr, ui->CalFactor1, ui->CalFactor2, ui->CalFactor3, ui->CalFactor4,
                           ui->CalFactor5, ui->CalFactor6, ui->CalFactor7, ui->CalFactor8};
    for (int r = 1; r <= 8; ++r) {
        Label[r] = labels[r];
        CalFactor[r] = edits[r];
    }
    SpinBtnAdjustUp = ui->SpinBtnAdjustUp;
    SpinBtnAdjustDown = ui->SpinBtnAdjustDown;
    RadioGroup1 = ui->RadioGroup1;
    RadioAll = ui->RadioAll;
    RadioSelected = ui->RadioSelected;
    CalOnThresh = ui->CalOnThresh;
    CalMPUThresh = ui->CalMPUThresh;
    CalOnDelay = ui->CalOnDelay;
    CalOffThresh = ui->CalOffThresh;
    CalOffDelay = ui->CalOffDelay;
    CalAvgTime = ui->CalAvgTime;
    CalSerNum = ui->CalSerNum;
    CalDate = ui->CalDate;
    btToday = ui->btToday;
    SaveButton = ui->SaveButton;

    auto bind = [this](auto* sender, auto signal, void (TfmCal::*handler)()) {
        connect(sender, signal, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    bind(CalOnThresh, &QSpinBox::valueChanged, &TfmCal::CalOnThreshChange);
    bind(CalMPUThresh, &QSpinBox::valueChanged, &TfmCal::CalMPUThreshChange);
    bind(CalOnDelay, &QSpinBox::valueChanged, &TfmCal::CalOnDelayChange);
    bind(CalOffThresh, &QSpinBox::valueChanged, &TfmCal::CalOffThreshChange);
    bind(CalOffDelay, &QSpinBox::valueChanged, &TfmCal::CalOffDelayChange);
    // A chosen item or a typed value confirmed with Enter; not every keystroke.
    bind(CalAvgTime, &QComboBox::textActivated, &TfmCal::CalAvgTimeChange);
    bind(SpinBtnAdjustUp, &QToolButton::clicked, &TfmCal::SpinBtnAdjustUpClick);
    bind(SpinBtnAdjustDown, &QToolButton::clicked, &TfmCal::SpinBtnAdjustDownClick);
    bind(btToday, &QPushButton::clicked, &TfmCal::btTodayClick);
    bind(SaveButton, &QPushButton::clicked, &TfmCal::SaveButtonClick);
    PlaceFrame(this, FrameCentred());
}

TfmCal::~TfmCal()
{
    if (fmCal == this)
        fmCal = nullptr;
    delete ui;
}

// ---- the block ----

bool TfmCal::AcceptBlock(const QByteArray& bytes)
{
    if (!CalBlockWhole(bytes)) {
        MessageDlg(kCorrupt, mtInformation, mbOKOnly);
        CalError = true;
        SetDefaultCal();
        return false;
    }
    std::memcpy(CalRecord, bytes.constData(), CalRecordSize);
    return true;
}

bool TfmCal::GetCalData()
{
    Trace("GetCalData ");
    char buffer[CalBufferSize] = {};
    const bool received = fmComm && fmComm->ReceiveCal(buffer);
    CalError = true;
    if (received) {
        QByteArray text(buffer, static_cast<int>(strnlen(buffer, CalRecordSize)));
        if (AcceptBlock(text) && DecodeCalRecord())
            CalError = false;
    } else {
        SetDefaultCal();
    }
    return received;
}

bool TfmCal::DecodeCalRecord()
{
    try {
        try {
            for (int r = 1; r <= 8; ++r)
                CalFactor[r]->setText(CalFieldText(CalRecord, r));
            {
                QSignalBlocker block(CalAvgTime);
                CalAvgTime->setEditText(CalFieldText(CalRecord, 14));
            }
            CalSerNum->setText(CalFieldText(CalRecord, 15));
            CalDate->setText(DayToText(CalBlockDate(CalRecord)));

            if (!DecodeCalBlock(CalRecord, *this, fmWaveform ? &fmWaveform->SampleRate : nullptr))
                throw EConvertError(kCorrupt);
            return true;
        } catch (const EConvertError&) {
            // The fields before the bad one keep their new values; the flag says the
            // calibration as a whole is not to be trusted, and the defaults are offered
            // as for any other corrupt block.
            MessageDlg(kCorrupt, mtInformation, mbOKOnly);
            CalError = true;
            SetDefaultCal();
            return false;
        }
    } catch (...) {
        MessageDlg(kCorrupt, mtInformation, mbOKOnly);
        CalError = true;
        SetDefaultCal();
        return false;
    }
}

bool TfmCal::EncodeCalRecord(QByteArray& block) const { return EncodeCalBlock(*this, block); }

void TfmCal::ReadCalFile()
{
    Trace("ReadCalFile ");
    if (!DataFolder.isEmpty())
        QDir::setCurrent(DataFolder);
    const QString name = QString::fromLatin1(CalFileName);
    if (!FileExists(name)) {
        MessageDlg(QStringLiteral("Cal File Kestrovan.kcf Missing."), mtInformation, mbOKOnly);
        SetDefaultCal();
    }
    try {
        QByteArray bytes;
        if (!ReadCalBlock(name, bytes))
            throw EInOutError(QStringLiteral("File not found"));
        if (AcceptBlock(bytes))
            DecodeCalRecord();
    } catch (...) {
        MessageDlg(QStringLiteral("Error reading file: Kestrovan.kcf"), mtError, Btn(mbAbort));
        CalError = true;
    }
    Trace("End ReadCalFile ");
}

bool TfmCal::WriteCalFile()
{
    Trace("WriteCalFile");
    if (MessageDlg(QStringLiteral("Writing to Cal File Kestrovan.kcf"), mtInformation, mbOKCancel) != mrOk)
        return false;
    const QString name = QString::fromLatin1(CalFileName);
    const bool written = WriteCalBlock(name, *this);
    if (!written)
        MessageDlg(QStringLiteral("Error writing file: Kestrovan.kcf"), mtError, Btn(mbAbort));
    Trace("End WriteCalFile");
    return written;
}

void TfmCal::DefaultValues() { CalDefaultValues(*this); }

void TfmCal::SetDefaultCal()
{
    Trace("SetDefaultCal ");
    CalError = true;
    if (MessageDlg(QStringLiteral("Setting Default Values "), mtInformation, mbOKCancel) == mrOk) {
        DefaultValues();
        WriteCalFile();
        RefreshCal();
    }
    Trace("End SetDefaultCal ");
}

// ---- the window ----

void TfmCal::RefreshCal()
{
    Trace("RefreshCal ");
    for (int r = 1; r <= 8; ++r) {
        Label[r]->setText(RangeText[r]);
        CalFactor[r]->setText(Format("%8.6f", Factor[r]));
    }
    QSpinBox* spins[5] = {CalOnThresh, CalMPUThresh, CalOnDelay, CalOffThresh, CalOffDelay};
    const int values[5] = {OnThresh, MPUThresh, OnDelay, OffThresh, OffDelay};
    for (int i = 0; i < 5; ++i) {
        QSignalBlocker block(spins[i]);
        spins[i]->setValue(values[i]);
    }
    {
        QSignalBlocker block(CalAvgTime);
        CalAvgTime->setEditText(Format("%4.3f", AvgTime));
    }
    CalSerNum->setText(SerNum);
    CalDate->setText(DayToText(CalibrationDate));
}

void TfmCal::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    Guarded([this] { FormShow(); });
    // Fetched once per showing (an activation after a message box or another window
    // must not throw away what the user has typed and not saved), and queued: the
    // fetch waits for the instrument and may ask questions, which a show event must
    // not do.
    QTimer::singleShot(0, this, [this] { Guarded([this] { OnActivate(); }); });
}

void TfmCal::done(int r)
{
    Guarded([this] { FormClose(); });
    QDialog::done(r);
}

void TfmCal::OnActivate()
{
    Trace("fmCal.OnActivate ");
    if (DemoMode)
        ReadCalFile();
    else
        GetCalData();
    RefreshCal();
}

void TfmCal::FormShow() { Trace("fmCal.OnShow "); }
void TfmCal::FormClose() { Trace("fmCal.OnClose "); }

void TfmCal::CalOnThreshChange() { OnThresh = CalOnThresh->value(); }
void TfmCal::CalMPUThreshChange() { MPUThresh = CalMPUThresh->value(); }
void TfmCal::CalOnDelayChange() { OnDelay = CalOnDelay->value(); }
void TfmCal::CalOffThreshChange() { OffThresh = CalOffThresh->value(); }
void TfmCal::CalOffDelayChange() { OffDelay = CalOffDelay->value(); }

void TfmCal::CalAvgTimeChange()
{
    const double avg = EntryToFloat(CalAvgTime->currentText());
    // The engine's next reset takes it for its tick: refuse what it cannot use.
    if (!AvgTimeFits(avg))
        MessageDlg(kAvgTimeRange, mtError, mbOKOnly);
    else
        AvgTime = avg;
    RefreshCal();
}

void TfmCal::AdjustFactors(bool up)
{
    auto step = [up](float& f) {
        if (up) {
            if (f < 0.002f)
                f += 0.000001f;
        } else if (f > 0.001f) {
            f -= 0.000001f;
        }
    };
    if (RadioAll->isChecked()) {
        for (int r = 1; r <= 8; ++r)
            step(Factor[r]);
    } else {
        QWidget* focused = focusWidget();
        for (int r = 1; r <= 8; ++r)
            if (focused == CalFactor[r])
                step(Factor[r]);
    }
}

void TfmCal::SpinBtnAdjustUpClick()
{
    AdjustFactors(true);
    RefreshCal();
}

void TfmCal::SpinBtnAdjustDownClick()
{
    AdjustFactors(false);
    RefreshCal();
}

void TfmCal::btTodayClick()
{
    CalibrationDate = Today();
    RefreshCal();
}

void TfmCal::SaveButtonClick()
{
    Trace("frmCalibration.SaveButtonClick ");
    auto refuse = [](const QString& text) { MessageDlg(text, mtError, mbOKOnly); };
    for (int r = 1; r <= 8; ++r) {
        const double f = EntryToFloat(CalFactor[r]->text());
        if (!FactorFits(f)) {
            refuse(QStringLiteral("Calibration factor ") + Label[r]->text() +
                   QStringLiteral(" must be above 0 and below 10"));
            return;
        }
        Factor[r] = static_cast<float>(f);
    }
    OnThresh = CalOnThresh->value();
    MPUThresh = CalMPUThresh->value();
    OnDelay = CalOnDelay->value();
    OffThresh = CalOffThresh->value();
    OffDelay = CalOffDelay->value();
    const double avg = EntryToFloat(CalAvgTime->currentText());
    if (!AvgTimeFits(avg)) {
        refuse(kAvgTimeRange);
        return;
    }
    AvgTime = avg;
    SerNum = CalSerNum->text().leftJustified(10, QLatin1Char(' '), true);
    const QDate date = QDate::fromString(CalDate->text().trimmed(), ShortDateFormat());
    if (!date.isValid())
        throw EConvertError(QStringLiteral("'") + CalDate->text() + QStringLiteral("' is not a valid date"));
    const int day = DateToDayNumber(date);
    if (day < 10000 || day > 99999) {
        refuse(QStringLiteral("Calibration date out of range"));
        return;
    }
    CalibrationDate = day;

    WriteCalFile();
    ReadCalFile();
    // Only a block that read back cleanly goes into the instrument's memory.
    if (fmComm && fmComm->PortFound && !CalError)
        fmComm->SendCal(CalRecord);
    close();
    Trace("End frmCalibration.SaveButtonClick ");
}
