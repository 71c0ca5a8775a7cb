// The component on a real pseudo-terminal: opening, settings, bytes both ways, the
// inter-character time-out, purge, a burst larger than the kernel's queue, hang-up.
#include "FakeComm.h"
#include "PtyPair.h"
#include "SerialComp.h"
#include "SerialTestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct PtyPort {
    PtyPair Pty;
    WatchedPtyDevices Watch{Pty.Path().toStdString()};
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
    // Opens and waits until the worker is in its active loop: it has made a whole pass
    // (its first communication-event wait follows the read decision on an empty queue).
    bool Open()
    {
        Port->SetActive(true);
        if (!Port->Active())
            return false;
        auto dev = Watch.Last();
        return dev && PumpUntil([&] { return dev->Waits.load() > 0; }, kPatience);
    }
    ~PtyPort() { Port.reset(); }
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
    ASSERT_TRUE(p.Pty.Write(all, kPatience));
    ASSERT_TRUE(PumpUntil([&] { return p.Received.size() >= all.size(); }, kPatience));
    EXPECT_EQ(p.Received, all);

    QString s;
    for (int i = 0; i < 256; ++i)
        s += QChar(i);
    bool done = false;
    p.Port->OnWriteDone = [&](TObject*) { done = true; };
    p.Port->SendString(s);
    EXPECT_EQ(p.Pty.Read(256, kPatience), QByteArray(all.left(256)));
    EXPECT_TRUE(PumpUntil([&] { return done; }, kPatience));
    EXPECT_FALSE(p.Port->SendInProgress());
    EXPECT_EQ(p.Rec.Places(), (std::vector<DWORD>{110}));
}

TEST(SerialPty, SingleByteWaitsForTheExtraTime)
{
    // The worker's ticks come from a clock the test moves: the time-out is counted from
    // the last pass that found the queue empty, exactly, however the machine is loaded.
    VirtualClock clock;
    PtyPort p(3072);
    ASSERT_TRUE(p.Open());
    const DWORD start = clock.Now();
    ASSERT_TRUE(p.Pty.Write(QByteArray("Z")));
    // The worker has seen the byte in the receive queue...
    ASSERT_TRUE(PumpUntil([&] { return p.Port->CommStateInQueue() == 1; }, kPatience));
    PumpFor(250);
    EXPECT_TRUE(p.Received.isEmpty());
    // ...and leaves it there up to 1 x 190 us + 250 ms after the queue was last empty,
    clock.Set(start + 250);
    PumpFor(250);
    EXPECT_TRUE(p.Received.isEmpty());
    // then reads it.
    clock.Set(start + 251);
    ASSERT_TRUE(PumpUntil([&] { return !p.Received.isEmpty(); }, kPatience));
    EXPECT_EQ(p.Received, QByteArray("Z"));
    EXPECT_EQ(p.ClusterSizes, (std::vector<int>{1}));
}

TEST(SerialPty, PurgeDropsWhatWasNotReadYet)
{
    // A clock that stands still: the worker never reads the bytes on its own time-out.
    VirtualClock clock;
    PtyPort p(3072);
    ASSERT_TRUE(p.Open());
    ASSERT_TRUE(p.Pty.Write(QByteArray("dropped")));
    ASSERT_TRUE(PumpUntil([&] { return p.Port->CommStateInQueue() == 7; }, kPatience));
    p.Port->ClearRxDQueue();
    ASSERT_TRUE(PumpUntil([&] { return p.Port->CommStateInQueue() == 0; }, kPatience));
    // Long past any time-out: nothing is left to read.
    clock.Advance(10000);
    PumpFor(250);
    EXPECT_TRUE(p.Received.isEmpty());
    EXPECT_EQ(p.Rec.Count(301), 0);
    // What comes after the purge is delivered.
    ASSERT_TRUE(p.Pty.Write(QByteArray("kept")));
    ASSERT_TRUE(PumpUntil([&] { return p.Port->CommStateInQueue() == 4; }, kPatience));
    p.Port->SetReadRequest(true);
    ASSERT_TRUE(PumpUntil([&] { return p.Received.size() >= 4; }, kPatience));
    EXPECT_EQ(p.Received, QByteArray("kept"));
}

TEST(SerialPty, BurstLargerThanTheKernelQueueArrivesWhole)
{
    PtyPort p(2, 48000);
    ASSERT_TRUE(p.Open());
    QByteArray burst(30000, '\0');
    for (int i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    ASSERT_TRUE(p.Pty.Write(burst, kPatience));
    ASSERT_TRUE(PumpUntil([&] { return p.Received.size() >= burst.size(); }, 3 * kPatience)) << p.Received.size();
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
    ASSERT_TRUE(PumpUntil([&] { return p.Received.size() == 2; }, kPatience));
    p.Rec.Reports.clear();
    p.Pty.HangUp();
    ASSERT_TRUE(PumpUntil([&] { return p.Rec.Count(9803) > 0; }, kPatience));
    // While the GUI thread takes every report at once, the passes are paced: at most
    // the four failing calls of a pass (modem lines, line state, a read, the event
    // wait) per 75 ms, plus the pass under way, however long the window was stretched.
    p.Rec.Reports.clear();
    QElapsedTimer window;
    window.start();
    PumpFor(1000);
    const qint64 elapsed = window.elapsed();
    const std::size_t n = p.Rec.Reports.size();
    EXPECT_GT(n, 0u);
    EXPECT_LE(n, static_cast<std::size_t>(4 * (elapsed / 75 + 2))) << "over " << elapsed << " ms";
    for (auto& r : p.Rec.Reports)
        EXPECT_EQ(r.Noise, 0);
    EXPECT_GT(p.Rec.Count(9803), 0);
    p.Port->SetActive(false);
    EXPECT_FALSE(p.Port->Active());
    p.Port.reset();
}

}  // namespace
