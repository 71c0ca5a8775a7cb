#include "Cal.h"

#include "ui_Cal.h"

#include "Comm.h"
#include "Debug.h"
#include "Dialogs.h"
#include "Forms.h"
#include "KyrGlobals.h"
#include "SysUtils.h"

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
const char* const CalFileName = "Kestrovan.kcf";

namespace {

const QString kCorrupt = QStringLiteral("Calibration corrupted. Please recalibrate.");

struct FieldPos {
    int offset;
    int width;  // bytes including CR LF
};
// The 16 fields: eight factors, five counts, the average time, serial number, date.
constexpr FieldPos kFields[16] = {{0, 10},  {10, 10}, {20, 10}, {30, 10}, {40, 10}, {50, 10},
                                  {60, 10}, {70, 10}, {80, 4},  {84, 5},  {89, 4},  {93, 4},
                                  {97, 4},  {101, 8}, {109, 12}, {121, 7}};

// Blanks and control characters off both ends.
QString TrimCtl(const QString& s)
{
    int b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

// Field `n` (1..16) of a block, trimmed.
QString FieldText(const char* block, int n)
{
    const FieldPos& f = kFields[n - 1];
    return TrimCtl(QString::fromLatin1(block + f.offset, f.width));
}

// A count or delay of the block: negative values, and delays of 0, would break the
// engine's debounce and its pre-trigger ring.
int CountField(const char* block, int n, int digits, bool isDelay)
{
    int v = StrToInt(FieldText(block, n).left(digits));
    if (v < 0 || (isDelay && v == 0))
        throw EConvertError(QStringLiteral("'%1' is not a valid calibration value").arg(v));
    return v;
}

// A factor or the average time of the block: refused as a conversion error would be
// when the engine cannot use it.
double FactorField(const char* block, int n)
{
    const double f = StrToFloatC(FieldText(block, n).left(8));
    if (!CalFactorUsable(f))
        throw EConvertError(QStringLiteral("'%1' is not a valid calibration factor").arg(FieldText(block, n)));
    return f;
}

double AvgTimeField(const char* block)
{
    const double t = StrToFloatC(FieldText(block, 14).left(6));
    if (!CalAvgTimeUsable(t))
        throw EConvertError(QStringLiteral("'%1' is not a valid average time").arg(FieldText(block, 14)));
    return t;
}

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

bool CalFactorUsable(double f) { return f > 0 && f < CalFactorMax; }
bool CalAvgTimeUsable(double t) { return t >= CalAvgTimeMin && t <= CalAvgTimeMax; }

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
    if (bytes.size() < CalRecordSize || bytes.left(CalRecordSize).contains('\0')) {
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
    TfmDebug::AddLine(QStringLiteral("GetCalData "));
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
                CalFactor[r]->setText(FieldText(CalRecord, r));
            {
                QSignalBlocker block(CalAvgTime);
                CalAvgTime->setEditText(FieldText(CalRecord, 14));
            }
            CalSerNum->setText(FieldText(CalRecord, 15));
            CalDate->setText(DayToText(StrToInt(FieldText(CalRecord, 16).leftJustified(5))));

            for (int r = 1; r <= 8; ++r)
                Factor[r] = static_cast<float>(FactorField(CalRecord, r));
            OnThresh = CountField(CalRecord, 9, 2, false);
            MPUThresh = CountField(CalRecord, 10, 3, false);
            OnDelay = CountField(CalRecord, 11, 2, true);
            OffThresh = CountField(CalRecord, 12, 2, false);
            OffDelay = CountField(CalRecord, 13, 2, true);
            AvgTime = AvgTimeField(CalRecord);

            double rate = 2400;
            if (fmWaveform) {
                if (!(fmWaveform->SampleRate > 0))
                    fmWaveform->SampleRate = 2400;
                rate = fmWaveform->SampleRate;
            }
            // A waveform file's rate may be anything: keep the count within an int.
            AvgSamples = static_cast<int>(std::clamp<long long>(Round(rate * AvgTime), 0, 1000000000));

            SerNum = FieldText(CalRecord, 15).leftJustified(10, QLatin1Char(' '), true);
            CalibrationDate = StrToInt(FieldText(CalRecord, 16).leftJustified(5));
            CalError = false;
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

bool TfmCal::EncodeCalRecord(QByteArray& block) const
{
    QByteArray b;
    bool fits = true;
    auto put = [&](const QByteArray& text, int n) {
        if (text.size() != kFields[n - 1].width - 2)
            fits = false;
        b += text;
        b += "\r\n";
    };
    for (int r = 1; r <= 8; ++r) {
        if (!CalFactorUsable(Factor[r]))
            fits = false;
        put(FormatC("%8.6f", Factor[r]).toLatin1(), r);
    }
    const int counts[5] = {OnThresh, MPUThresh, OnDelay, OffThresh, OffDelay};
    const char* formats[5] = {"%2d", "%3d", "%2d", "%2d", "%2d"};
    for (int i = 0; i < 5; ++i) {
        const bool isDelay = i == 2 || i == 4;
        if (counts[i] < 0 || (isDelay && counts[i] == 0))
            fits = false;
        put(FormatInt(formats[i], counts[i]).toLatin1(), 9 + i);
    }
    if (!CalAvgTimeUsable(AvgTime))
        fits = false;
    put(FormatC("%6.3f", AvgTime).toLatin1(), 14);
    put(SerNum.leftJustified(10, QLatin1Char(' '), true).toLatin1(), 15);
    put(QByteArray::number(CalibrationDate), 16);  // five digits exactly
    if (!fits || b.size() != CalRecordSize)
        return false;
    block = b;
    return true;
}

void TfmCal::ReadCalFile()
{
    TfmDebug::AddLine(QStringLiteral("ReadCalFile "));
    if (!DataFolder.isEmpty())
        QDir::setCurrent(DataFolder);
    const QString name = QString::fromLatin1(CalFileName);
    if (!FileExists(name)) {
        MessageDlg(QStringLiteral("Cal File Kestrovan.kcf Missing."), mtInformation, mbOKOnly);
        SetDefaultCal();
    }
    try {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly))
            throw EInOutError(QStringLiteral("File not found"));
        const QByteArray bytes = f.read(CalRecordSize);
        f.close();
        if (AcceptBlock(bytes))
            DecodeCalRecord();
    } catch (...) {
        MessageDlg(QStringLiteral("Error reading file: Kestrovan.kcf"), mtError, Btn(mbAbort));
        CalError = true;
    }
    TfmDebug::AddLine(QStringLiteral("End ReadCalFile "));
}

bool TfmCal::WriteCalFile()
{
    TfmDebug::AddLine(QStringLiteral("WriteCalFile"));
    if (MessageDlg(QStringLiteral("Writing to Cal File Kestrovan.kcf"), mtInformation, mbOKCancel) != mrOk)
        return false;
    const QString name = QString::fromLatin1(CalFileName);
    bool written = false;
    QByteArray block;
    // Written beside the old file with the old file's rights less the write bits and
    // renamed over it: the old file stays whole until then, and the new one is never
    // writable, not even for a moment.
    if (EncodeCalRecord(block))
        written = SaveBinaryFile(name, block, true);
    if (!written)
        MessageDlg(QStringLiteral("Error writing file: Kestrovan.kcf"), mtError, Btn(mbAbort));
    TfmDebug::AddLine(QStringLiteral("End WriteCalFile"));
    return written;
}

void TfmCal::DefaultValues()
{
    for (int r = 1; r <= 8; ++r)
        Factor[r] = 0.001225f;
    OnThresh = 40;
    MPUThresh = 100;
    OnDelay = 5;
    OffThresh = 20;
    OffDelay = 15;
    AvgTime = 0.1;
    SerNum = QStringLiteral("**DEFAULT*");
    CalibrationDate = Today();
}

void TfmCal::SetDefaultCal()
{
    TfmDebug::AddLine(QStringLiteral("SetDefaultCal "));
    CalError = true;
    if (MessageDlg(QStringLiteral("Setting Default Values "), mtInformation, mbOKCancel) == mrOk) {
        DefaultValues();
        WriteCalFile();
        RefreshCal();
    }
    TfmDebug::AddLine(QStringLiteral("End SetDefaultCal "));
}

// ---- the window ----

void TfmCal::RefreshCal()
{
    TfmDebug::AddLine(QStringLiteral("RefreshCal "));
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
    TfmDebug::AddLine(QStringLiteral("fmCal.OnActivate "));
    if (DemoMode)
        ReadCalFile();
    else
        GetCalData();
    RefreshCal();
}

void TfmCal::FormShow() { TfmDebug::AddLine(QStringLiteral("fmCal.OnShow ")); }
void TfmCal::FormClose() { TfmDebug::AddLine(QStringLiteral("fmCal.OnClose ")); }

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
    TfmDebug::AddLine(QStringLiteral("frmCalibration.SaveButtonClick "));
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
    TfmDebug::AddLine(QStringLiteral("End frmCalibration.SaveButtonClick "));
}
