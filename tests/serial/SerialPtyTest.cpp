// The component on a real pseudo-terminal: opening, settings, bytes both ways, the
// inter-character time-out, purge, a burst larger than the kernel's queue, hang-up.
#include "PtyPair.h"
#include "SerialComp.h"
#include "SerialTestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct PtyPort {
    PtyPair Pty;
    std::unique_ptr<TSerialPort> Port = std::make_unique<TSerialPort>();
    Recorder Rec;
    QByteArray Received;
    std::vector<int> ClusterSizes;
    std::vector<int> ClusterErrors;

    explicit PtyPort(WORD clusterSize = 2, WORD rxQueue = 48000)
    {
        Rec.Attach(*Port);
        Port->OnRxClusterEvent = [this](TObject*) {
            int size = 0, error = 0;
            auto data = Port->ReadNextCluster(size, error);
            if (size > 0)
                Received.append(reinterpret_cast<const char*>(data.get()), size);
            ClusterSizes.push_back(size);
            ClusterErrors.push_back(error);
        };
        Port->SetCommPort(Pty.Path());
        Port->SetBaudRate(57600);
        Port->SetClusterSize(clusterSize);
        Port->SetRxQueueSize(rxQueue);  // closed: reported as refused, applied at open
        Rec.Reports.clear();
    }
    bool Open()
    {
        Port->SetActive(true);
        // The worker notices at its next idle pass and sleeps that pass out (<= 400 ms).
        PumpFor(450);
        return Port->Active();
    }
};

TEST(SerialPty, OpensTheDeviceWithItsSettingsAndRawMode)
{
    PtyPort p;
    ASSERT_TRUE(p.Pty.ok());
    ASSERT_TRUE(p.Open());
    EXPECT_NE(p.Port->ComHandle(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(p.Port->DTRState());
    EXPECT_TRUE(p.Port->RTSState());
    EXPECT_EQ(p.Port->RTOCharDelayTime(), 190u);
    // Only the two message reports of opening; nothing failed (modem lines on a
    // pseudo-terminal answer "all off").
    EXPECT_EQ(p.Rec.Places(), (std::vector<DWORD>{110}));

    // Without root the exclusive open keeps this test out too; then only root sees the modes.
    const int fd = ::open(p.Pty.Path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        termios t;
        ASSERT_EQ(tcgetattr(fd, &t), 0);
        ::close(fd);
        EXPECT_EQ(cfgetospeed(&t), B57600);
        EXPECT_EQ(t.c_cflag & CSIZE, CS8);
        EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR), 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
    } else {
        EXPECT_EQ(errno, EBUSY);
    }

    // The device is held exclusively: a second component cannot open it.
    TSerialPort second;
    Recorder rec2;
    rec2.Attach(second);
    second.SetCommPort(p.Pty.Path());
    second.SetActive(true);
    EXPECT_FALSE(second.Active());
    ASSERT_NE(rec2.Find(112), nullptr);
    EXPECT_EQ(rec2.Find(112)->Code, ERROR_ACCESS_DENIED);

    p.Port->SetActive(false);
    EXPECT_FALSE(p.Port->Active());
    EXPECT_EQ(p.Port->ComHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(p.Rec.Count(104), 0);
    // Closed again, the device opens for another.
    second.SetActive(true);
    EXPECT_TRUE(second.Active());
}

TEST(SerialPty, CarriesEveryByteValueBothWaysInOrder)
{
    PtyPort p;
    ASSERT_TRUE(p.Open());
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    // Control characters that a cooked terminal would eat or translate.
    all += QByteArray("\x11\x13\x03\x1a\r\n\r", 7);
    ASSERT_TRUE(p.Pty.Write(all));
    ASSERT_TRUE(PumpUntil([&] { return p.Received.size() >= all.size(); }, 3000));
    EXPECT_EQ(p.Received, all);

    QString s;
    for (int i = 0; i < 256; ++i)
        s += QChar(i);
    bool done = false;
    p.Port->OnWriteDone = [&](TObject*) { done = true; };
    p.Port->SendString(s);
    EXPECT_EQ(p.Pty.Read(256), QByteArray(all.left(256)));
    EXPECT_TRUE(PumpUntil([&] { return done; }, 1000));
    EXPECT_FALSE(p.Port->SendInProgress());
    EXPECT_EQ(p.Rec.Places(), (std::vector<DWORD>{110}));
}

TEST(SerialPty, SingleByteWaitsForTheExtraTime)
{
    PtyPort p(3072);
    ASSERT_TRUE(p.Open());
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(p.Pty.Write(QByteArray("Z")));
    ASSERT_TRUE(PumpUntil([&] { return !p.Received.isEmpty(); }, 2000));
    const qint64 elapsed = t.elapsed();
    EXPECT_EQ(p.Received, QByteArray("Z"));
    // Counted from the last pass that found the queue empty, at most one 75 ms wait
    // before the byte came.
    EXPECT_GE(elapsed, 170);
    EXPECT_LT(elapsed, 600);
}

TEST(SerialPty, PurgeDropsWhatWasNotReadYet)
{
    PtyPort p(3072);
    ASSERT_TRUE(p.Open());
    ASSERT_TRUE(p.Pty.Write(QByteArray("dropped")));
    PumpUntil([&] { return p.Port->CommStateInQueue() == 7; }, 150);
    p.Port->ClearRxDQueue();
    PumpFor(600);
    EXPECT_TRUE(p.Received.isEmpty());
    EXPECT_EQ(p.Rec.Count(301), 0);
    // What comes after the purge is delivered.
    ASSERT_TRUE(p.Pty.Write(QByteArray("kept")));
    p.Port->SetReadRequest(true);
    ASSERT_TRUE(PumpUntil([&] { return p.Received.size() >= 4; }, 2000));
    EXPECT_EQ(p.Received, QByteArray("kept"));
}

TEST(SerialPty, BurstLargerThanTheKernelQueueArrivesWhole)
{
    PtyPort p(2, 48000);
    ASSERT_TRUE(p.Open());
    QByteArray burst(30000, '\0');
    for (int i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    ASSERT_TRUE(p.Pty.Write(burst));
    ASSERT_TRUE(PumpUntil([&] { return p.Received.size() >= burst.size(); }, 10000)) << p.Received.size();
    EXPECT_EQ(p.Received.size(), burst.size());
    EXPECT_TRUE(p.Received == burst);
    for (int e : p.ClusterErrors)
        EXPECT_EQ(e, 0);
}

TEST(SerialPty, FarEndHangingUpGivesPacedErrorsAndNoCrash)
{
    PtyPort p;
    ASSERT_TRUE(p.Open());
    ASSERT_TRUE(p.Pty.Write(QByteArray("ab")));
    ASSERT_TRUE(PumpUntil([&] { return p.Received.size() == 2; }, 2000));
    p.Rec.Reports.clear();
    p.Pty.HangUp();
    PumpFor(1000);
    const std::size_t n = p.Rec.Reports.size();
    EXPECT_GT(n, 0u);
    // At most a few reports per paced pass (75 ms), not a flood.
    EXPECT_LT(n, 120u);
    for (auto& r : p.Rec.Reports)
        EXPECT_EQ(r.Noise, 0);
    EXPECT_GT(p.Rec.Count(9803), 0);
    p.Port->SetActive(false);
    EXPECT_FALSE(p.Port->Active());
    p.Port.reset();
}

}  // namespace
