// The instrument link: the one serial port to the test set, its commands, the
// receive ring the worker's clusters go into, the sample decoder, the error counts,
// the port search and the "Communication Status" window.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <mutex>

namespace Ui { class TfmComm; }
class QLineEdit;
class QListWidget;
class QPushButton;
class TSerialPort;

// The serial port of the link, created and freed by the window.
extern TSerialPort* SerialPort;
// Guards the receive ring and its indices.
extern std::mutex* CommLock;

struct TCommPortInfo {
    QString PortName;
    QString Description;
};
// Nothing assigns it; both strings stay empty.
extern TCommPortInfo CommPortInfo;

// Commands to the instrument.
constexpr uint8_t StartStreamCommand = 0x01;
constexpr uint8_t ReadCalCommand = 0x03;
constexpr uint8_t StopStreamCommand = 0x04;
constexpr uint8_t CalWriteCommand = 0x05;
constexpr uint8_t ProbeCommand = 0x14;
constexpr uint8_t ResetPicCommand = 0x1A;

// Ring of 100001 bytes, indices 0..100000.
constexpr int RxRingLast = 100000;
constexpr int RxRingSize = RxRingLast + 1;

// ErrorFlags bits.
constexpr uint8_t ErrFirstChar = 1;
constexpr uint8_t ErrSecondChar = 2;
constexpr uint8_t ErrCharMatch = 4;
constexpr uint8_t ErrBufferMax = 8;

// The count of one sample pair (no tag or bit-0 checks): -2048..2044.
inline int SamplePairValue(uint8_t first, uint8_t second)
{
    return ((((second & 0xFC) << 6) | first) & 0xFFC) - 2048;
}

class TfmComm : public QWidget {
    Q_OBJECT
public:
    explicit TfmComm(QWidget* parent = nullptr);
    ~TfmComm() override;

    // The window's state, in declaration order.
    int32_t RxHead = 0;          // where the next received byte goes
    uint8_t ErrorFlags = 0;      // kinds seen since the status timer last looked
    int32_t RxTail = 0;          // next byte to decode
    int32_t ErrorMask = 255;
    int32_t LastErrorCount = 0;
    int32_t RxDCount = 0;        // size of the last cluster taken
    uint8_t RxRing[RxRingSize] = {};
    bool PortFound = false;      // the instrument answered on the current port
    int32_t RxCount = 0;         // bytes waiting in the ring (0..100001)
    uint8_t BadFirstByte = 0;
    uint8_t BadSecondByte = 0;
    int32_t MaxRxD = 0;          // largest cluster since the last clear
    int32_t ErrorCount = 0;      // link errors since the last clear
    bool Streaming = false;      // start sent, no stop since
    QString PortName;            // "COM" before any answer, else the answering port
    QString RefusedPort;         // a port the last search could not open for want of rights

    // Routines used by program control, the engine and the calibration.
    bool OpenComm(const QString& name);
    void GetCommPortName(QString& name);
    uint8_t TestComm(const QString& name);
    bool ProbeReplyOk();
    void StartComm();
    void StopComm();
    void SendRange(int range);
    void SendChar(uint8_t c);
    void SendStr(const QByteArray& s);
    void ClearInput(bool log = true);
    void SerialPortOFF();
    // The next sample in counts; 0 when fewer than two bytes wait or the pair is bad.
    int GetSample();
    // Reads the calibration block into dest (at least 129 bytes) as NUL-terminated text.
    bool ReceiveCal(char* dest);
    // Sends the calibration block (up to its first NUL, at most 128 characters).
    void SendCal(const char* block);

    // Serial port events.
    void RxCluster();
    void PortError(uint32_t Place, uint32_t Code, const QString& Msg, uint8_t Noise);
    // Appends received bytes to the ring (what RxCluster does with a cluster, under the lock).
    void AppendRx(const uint8_t* data, int size);

    // Controls.
    QLineEdit* ErrorCountBox = nullptr;
    QLineEdit* RxDCountBox = nullptr;
    QLineEdit* CommErrorBox = nullptr;
    QLineEdit* ErrorMaskBox = nullptr;
    QLineEdit* MaxRxDbox = nullptr;
    QPushButton* HideButton = nullptr;
    QPushButton* BtnClear = nullptr;
    QListWidget* ErrorListBox1 = nullptr;
    QTimer* CommTimer = nullptr;

public slots:
    void CommTimerTimer();
    void BtnClearClick();
    void ErrorMaskBoxChange();
    void HideButtonClick();
    void FormCreate();
    void FormShow();
    void FormDestroy();

protected:
    void showEvent(QShowEvent* e) override;

private:
    Ui::TfmComm* ui;
    uint8_t TakeByte();
    // The status timer rests while there is nothing for it to watch (no stream, no new
    // error) and wakes again when there is; the boxes are written only while visible.
    bool CommTimerResting = false;
    bool BoxesStale = false;
    void WakeCommTimer();
    void ShowCounts();
};

extern TfmComm* fmComm;
