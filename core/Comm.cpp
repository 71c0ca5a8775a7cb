#include "Comm.h"

#include "ui_Comm.h"

#include "Delays.h"
#include "Dialogs.h"
#include "Forms.h"
#include "SysUtils.h"
#include "Trace.h"

#include "CommPortList.h"
#include "SerialComp.h"
#include "PosixComm.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <cerrno>
#include <cstring>

TSerialPort* SerialPort = nullptr;
std::mutex* CommLock = nullptr;
TCommPortInfo CommPortInfo;
TfmComm* fmComm = nullptr;

namespace {

int NextIndex(int i) { return i >= RxRingLast ? 0 : i + 1; }

QString Hex2(uint8_t b) { return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper(); }

bool PortActive() { return SerialPort && SerialPort->Active(); }

// Rewriting a box with its own text would still repaint it.
void SetTextIfChanged(QLineEdit* e, const QString& text)
{
    if (e->text() != text)
        e->setText(text);
}
bool PortSendInProgress() { return SerialPort && SerialPort->SendInProgress(); }

constexpr int kRxQueueSize = 48000;
constexpr int kClusterSize = 2;

}  // namespace

TfmComm::TfmComm(QWidget* parent) : QWidget(parent, Qt::Dialog), ui(new Ui::TfmComm)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmComm"));
    ErrorCountBox = ui->ErrorCountBox;
    RxDCountBox = ui->RxDCountBox;
    CommErrorBox = ui->CommErrorBox;
    ErrorMaskBox = ui->ErrorMaskBox;
    MaxRxDbox = ui->MaxRxDbox;
    HideButton = ui->HideButton;
    BtnClear = ui->BtnClear;
    ErrorListBox1 = ui->ErrorListBox1;
    CommTimer = new QTimer(this);
    CommTimer->setObjectName(QStringLiteral("CommTimer"));
    CommTimer->setInterval(110);

    connect(CommTimer, &QTimer::timeout, this, [this] { Guarded([this] { CommTimerTimer(); }); });
    connect(BtnClear, &QPushButton::clicked, this, [this] { Guarded([this] { BtnClearClick(); }); });
    connect(HideButton, &QPushButton::clicked, this, [this] { Guarded([this] { HideButtonClick(); }); });
    connect(ErrorMaskBox, &QLineEdit::textEdited, this, [this] { Guarded([this] { ErrorMaskBoxChange(); }); });
    connect(MaxRxDbox, &QLineEdit::textEdited, this, [this] { Guarded([this] { ErrorMaskBoxChange(); }); });

    Guarded([this] { FormCreate(); });
    CommTimer->start();
}

TfmComm::~TfmComm()
{
    Guarded([this] { FormDestroy(); });
    if (fmComm == this)
        fmComm = nullptr;
    delete ui;
}

void TfmComm::FormCreate()
{
    Trace("FormCreate Comm ");
    ErrorMask = 255;
    ErrorCount = 0;
    MaxRxD = 0;
    CommLock = new std::mutex;
    SerialPort = new TSerialPort(nullptr);
    PortFound = false;
    Streaming = false;
    PlaceFrame(this, [](const QRect& frame, const QRect& screen) {
        return QPoint(screen.left() + screen.width() / 2 + frame.width() / 2 + 2, frame.top());
    });
    SerialPort->OnRxClusterEvent = [this](TObject*) { Guarded([this] { RxCluster(); }); };
    SerialPort->OnProcessError = [this](TObject*, uint32_t Place, uint32_t Code, const QString& Msg, uint8_t Noise) {
        Guarded([&] { PortError(Place, Code, Msg, Noise); });
    };
    Trace("End FormCreate Comm ");
}

void TfmComm::FormDestroy()
{
    CommTimer->stop();
    delete SerialPort;
    SerialPort = nullptr;
    DelayMs(100);
    delete CommLock;
    CommLock = nullptr;
}

void TfmComm::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    Guarded([this] { FormShow(); });
}

void TfmComm::FormShow()
{
    {
        QSignalBlocker block(ErrorMaskBox);
        ErrorMaskBox->setText(QString::number(ErrorMask, 16));
    }
    // What the timer would have shown meanwhile.
    if (BoxesStale)
        ShowCounts();
    PlaceFrame(this, FrameAtRight());
}

// ---- sending ----

void TfmComm::SendStr(const QByteArray& s)
{
    if (!SerialPort)
        return;
    for (int i = 0; i < 10 && PortSendInProgress(); ++i) {
        Trace("SendStr Delay ");
        DelayMs(100);
    }
    SerialPort->SendString(QString::fromLatin1(s));
}

void TfmComm::SendChar(uint8_t c) { SendStr(QByteArray(1, static_cast<char>(c))); }

void TfmComm::StartComm()
{
    Trace("StartComm ");
    if (!PortFound)
        return;
    WaitMs(100);
    ClearInput(true);
    SendChar(StartStreamCommand);
    Streaming = true;
    WakeCommTimer();
}

void TfmComm::StopComm()
{
    Trace("StopComm ");
    SendChar(StopStreamCommand);
    Streaming = false;
}

void TfmComm::SendRange(int range)
{
    const char c = static_cast<char>('8' - range);
    Trace(QStringLiteral("Send Range ") + QLatin1Char(c));
    if (!PortActive())
        return;
    if (Streaming)
        StopComm();
    SendChar(static_cast<uint8_t>(c));
    ClearInput(true);
    StartComm();
}

void TfmComm::ClearInput(bool log)
{
    if (log)
        Trace("ClearInput ");
    if (!SerialPort)
        return;
    for (int i = 0; i < 10 && PortSendInProgress(); ++i) {
        Trace("ClearInput Delay ");
        DelayMs(100);
    }
    WaitMs(100);
    SerialPort->ClearRxDQueue();
    {
        std::lock_guard<std::mutex> g(*CommLock);
        std::memset(RxRing, 0, sizeof RxRing);
        RxHead = 0;
        RxTail = 0;
        RxCount = 0;
    }
    const int next = SerialPort->NextClusterSize();
    RxDCount = next < 0 ? 0 : next;
}

void TfmComm::SerialPortOFF()
{
    Trace("SerialPortOFF ");
    if (Streaming)
        StopComm();
    ClearInput(true);
    if (SerialPort)
        SerialPort->SetActive(false);
}

bool TfmComm::OpenComm(const QString& name)
{
    Trace(QStringLiteral("OpenComm ") + name);
    if (!SerialPort)
        return false;
    SerialPort->SetCommPort(name.left(255));
    SerialPort->SetBaudRate(57600);
    SerialPort->SetParityType(0);
    SerialPort->SetStopBits(0);
    SerialPort->SetDataBits(8);
    SerialPort->SetFlowControl(0);
    SerialPort->SetStripNullChars(false);
    SerialPort->SetXTOAuto(true);
    SerialPort->SetActive(true);
    SerialPort->SetRxQueueSize(kRxQueueSize);
    if (SerialPort->Active()) {
        SerialPort->ClearTxDQueue();
        SerialPort->SetClusterSize(kClusterSize);
        return true;
    }
    // The system's reason: a port the user has no rights to looks like a missing one.
    const CommOpenFailure failure = LastCommOpenFailure();
    if (failure.error != 0) {
        Trace(QStringLiteral("OpenComm ") + name + QStringLiteral(" failed: ") +
              QString::fromLocal8Bit(std::strerror(failure.error)));
        if (failure.error == EACCES || failure.error == EPERM)
            RefusedPort = name;
    }
    return false;
}

// ---- the port search and the instrument test ----

bool TfmComm::ProbeReplyOk()
{
    std::lock_guard<std::mutex> g(*CommLock);
    return RxCount >= 201 && RxRing[5] == '1';
}

void TfmComm::GetCommPortName(QString& name)
{
    Trace("Getting CommPortName ");
    // A port stays in use without a search only while the instrument answers on it;
    // an open port that never answered is searched again.
    if (PortActive() && PortFound) {
        name = SerialPort->CommPort();
        return;
    }
    PortName = QStringLiteral("COM");
    SerialPortOFF();
    PortFound = false;
    RefusedPort.clear();
    QStringList list;
    EnumCommPorts(list);
    for (const QString& p : list)
        Trace(p.trimmed());
    for (const QString& p : list) {
        Trace(QStringLiteral("Opening ") + p + QStringLiteral(" "));
        if (OpenComm(p)) {
            Trace(QStringLiteral("Testing ") + p + QStringLiteral(" "));
            ClearInput(true);
            SendChar(ProbeCommand);
            DelayMs(400);
            if (ProbeReplyOk()) {
                PortName = p;
                PortFound = true;
                ClearInput(true);
                break;
            }
        }
    }
    // No answer: the last port tried is closed, so nothing (a range byte, the next
    // search) goes to a port where no instrument answered.
    if (!PortFound)
        SerialPortOFF();
    Trace(QStringLiteral("Tested Port: ") + PortName);
    // Before the question whether to try again: retrying cannot help a user who has no
    // rights to the port.
    if (!PortFound && !RefusedPort.isEmpty())
        Application.MessageBox(
            QStringLiteral("The serial port %1 could not be opened: you have no rights to it.\r\r"
                           "To use the instrument, your user must be in the \"dialout\" group "
                           "(for example: sudo usermod -aG dialout $USER). Then log out and log in again.")
                .arg(RefusedPort),
            QStringLiteral("Hardware Check"), MB_OK | MB_ICONINFORMATION);
    name = PortName;
}

uint8_t TfmComm::TestComm(const QString& name)
{
    Trace(QStringLiteral("TestComm ") + name);
    if (!PortActive())
        OpenComm(name);
    if (!PortActive())
        return 1;
    StopComm();
    ClearInput(true);
    Trace("Sending CR ");
    SendChar(0x0D);
    WaitMs(100);
    Trace(QStringLiteral("CommCharCount=") + QString::number(RxCount));
    Trace("Clearing Input ");
    ClearInput(true);
    WaitMs(100);
    SendStr(QByteArrayLiteral("A\r"));
    Trace("Sent test string ");
    for (int i = 0; i < 10 && RxCount == 0; ++i)
        DelayMs(100);
    uint8_t result;
    if (RxCount > 0) {
        Trace("Received test characters ");
        uint8_t c;
        {
            std::lock_guard<std::mutex> g(*CommLock);
            c = RxRing[(RxHead - 2 + RxRingSize) % RxRingSize];
        }
        if (c == 'A') {
            result = 0;
            PortFound = true;
        } else {
            Trace(QStringLiteral("Wrong test char ") + QChar(c));
            result = 3;
            PortFound = false;
        }
    } else {
        Trace("Comm Test Timeout");
        result = 2;
        PortFound = false;
    }
    Trace("End TestComm ");
    return result;
}

// ---- the calibration block ----

bool TfmComm::ReceiveCal(char* dest)
{
    Trace("ReceiveCal ");
    if (!PortActive())
        return false;
    StopComm();
    ClearInput(true);
    DelayMs(100);
    SendChar(ReadCalCommand);
    DelayMs(100);
    bool ok = false;
    for (int check = 1; check <= 10; ++check) {
        bool done = false;
        {
            std::lock_guard<std::mutex> g(*CommLock);
            if (RxCount >= 128) {
                done = true;
                if (RxRing[8] == '\r') {
                    int n = 0;
                    while (n < 128 && RxRing[n] != 0) {
                        dest[n] = static_cast<char>(RxRing[n]);
                        ++n;
                    }
                    dest[n] = 0;
                    ok = true;
                }
            }
        }
        if (done)
            break;
        Trace("Waiting for Cal Data ");
        if (check < 10)
            DelayMs(100);
    }
    Trace("End ReceiveCal ");
    return ok;
}

void TfmComm::SendCal(const char* block)
{
    Trace("SendCal ");
    if (!PortActive())
        return;
    QByteArray frame;
    frame += static_cast<char>(StopStreamCommand);
    frame += static_cast<char>(CalWriteCommand);
    frame += QByteArray(block, static_cast<int>(strnlen(block, 128)));
    frame += static_cast<char>(StopStreamCommand);
    if (MessageDlg(QStringLiteral("Writing to PIC Memory"), mtWarning, mbOKCancel) == mrOk) {
        SendStr(frame);
        DelayMs(300);
    }
}

// ---- receiving and decoding ----

void TfmComm::AppendRx(const uint8_t* data, int size)
{
    std::lock_guard<std::mutex> g(*CommLock);
    RxDCount = size;
    if (size > MaxRxD)
        MaxRxD = size;
    if (kRxQueueSize - kClusterSize <= size) {
        // The driver's queue was nearly full: bytes may have been lost before it.
        ++ErrorCount;
        ErrorFlags |= ErrBufferMax;
    }
    bool overflow = false;
    for (int i = 0; i < size; ++i) {
        RxRing[RxHead] = data[i];
        RxHead = NextIndex(RxHead);
        if (RxCount < RxRingSize) {
            ++RxCount;
        } else {
            // Full: the oldest unread byte gives way, so what is read stays in order.
            RxTail = NextIndex(RxTail);
            overflow = true;
        }
    }
    if (overflow) {
        ++ErrorCount;
        ErrorFlags |= ErrBufferMax;
    }
    if (ErrorCount > LastErrorCount)
        WakeCommTimer();
}

void TfmComm::RxCluster()
{
    if (!SerialPort)
        return;
    const int n = SerialPort->NextClusterSize();
    if (n < 0)
        return;
    if (SerialPort->NextClusterError() != 0) {
        ++ErrorCount;
        WakeCommTimer();
    }
    int size = -1;
    int error = -1;
    std::unique_ptr<BYTE[]> data = SerialPort->ReadNextCluster(size, error);
    if (data && size > 0)
        AppendRx(data.get(), size);
}

uint8_t TfmComm::TakeByte()
{
    const uint8_t b = RxRing[RxTail];
    RxTail = NextIndex(RxTail);
    --RxCount;
    return b;
}

int TfmComm::GetSample()
{
    uint8_t first, second;
    {
        std::lock_guard<std::mutex> g(*CommLock);
        if (RxCount < 2)
            return 0;
        first = TakeByte();
        if (first & 1) {
            ++ErrorCount;
            ErrorFlags |= ErrFirstChar;
            BadFirstByte = first;
        } else {
            second = TakeByte();
            if (!(second & 1)) {
                ++ErrorCount;
                ErrorFlags |= ErrSecondChar;
                BadSecondByte = second;
            } else if ((first ^ second) & 2) {
                ++ErrorCount;
                ErrorFlags |= ErrCharMatch;
            } else {
                return SamplePairValue(first, second);
            }
        }
    }
    WakeCommTimer();
    return 0;
}

// ---- the window ----

void TfmComm::CommTimerTimer()
{
    if (!SerialPort)
        return;
    if (PortActive() && Streaming) {
        if (isVisible())
            ShowCounts();
        else
            BoxesStale = true;
        uint8_t flags, badFirst, badSecond;
        {
            std::lock_guard<std::mutex> g(*CommLock);
            flags = ErrorFlags;
            badFirst = BadFirstByte;
            badSecond = BadSecondByte;
            ErrorFlags = 0;
            BadFirstByte = 0;
            BadSecondByte = 0;
        }
        if (flags & ErrFirstChar)
            ErrorListBox1->addItem(QStringLiteral("Error Type = FirstChar [") + Hex2(badFirst) + QStringLiteral("]"));
        if (flags & ErrSecondChar)
            ErrorListBox1->addItem(QStringLiteral("Error Type = SecondChar [") + Hex2(badSecond) +
                                   QStringLiteral("]"));
        if (flags & ErrCharMatch)
            ErrorListBox1->addItem(QStringLiteral("Error Type = CharMatch[") + Hex2(badSecond) + QStringLiteral("]"));
        if (flags & ErrBufferMax) {
            ErrorListBox1->addItem(QStringLiteral("Error Type = BufferMax"));
            StopComm();
        }
    }
    if (ErrorCount > LastErrorCount) {
        Trace("**RxError: ");
        LastErrorCount = ErrorCount;
    }
    if (!(PortActive() && Streaming) && CommTimer->isActive()) {
        CommTimer->stop();
        CommTimerResting = true;
    }
}

void TfmComm::WakeCommTimer()
{
    // Only a timer that rested by itself: one stopped by its owner stays stopped.
    if (CommTimerResting) {
        CommTimerResting = false;
        CommTimer->start();
    }
}

void TfmComm::ShowCounts()
{
    BoxesStale = false;
    SetTextIfChanged(RxDCountBox, QString::number(RxDCount));
    SetTextIfChanged(ErrorCountBox, QString::number(ErrorCount));
    SetTextIfChanged(MaxRxDbox, QString::number(MaxRxD));
    SetTextIfChanged(CommErrorBox, QString::number(SerialPort->CommError(), 16));
}

void TfmComm::PortError(uint32_t Place, uint32_t Code, const QString& Msg, uint8_t Noise)
{
    (void)Place;
    (void)Code;
    (void)Noise;
    ErrorListBox1->addItem(Msg);
}

void TfmComm::BtnClearClick()
{
    ErrorCount = 0;
    LastErrorCount = 0;
    MaxRxD = 0;
}

void TfmComm::ErrorMaskBoxChange()
{
    bool ok = false;
    const int v = ErrorMaskBox->text().trimmed().toInt(&ok, 16);
    ErrorMask = ok ? v : 255;
    QSignalBlocker block(ErrorMaskBox);
    ErrorMaskBox->setText(QString::number(ErrorMask, 16));
}

void TfmComm::HideButtonClick() { hide(); }
