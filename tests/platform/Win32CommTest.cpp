// The serial calls over a real pseudo-terminal: device names, refusals, exclusive open,
// raw bytes, the large receive queue, overlapped reads, writes and event waits, purge,
// the modem calls a pseudo-terminal lacks, and the far end hanging up.
#include "Win32.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// How long a test waits for what the device's own thread does at once on an idle
// machine: generous, since parallel tests and builds can hold a thread back.
constexpr int kPatienceMs = 20000;

std::string PathFor(const char* name)
{
    char buf[512];
    return CommDevicePathFor(name, buf, sizeof(buf));
}

TEST(Win32Comm, DeviceNamesMapToDevicePaths)
{
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"\\\\.\\COM1", "/dev/ttyS0"},
        {"\\\\.\\COM12", "/dev/ttyS11"},
        {"\\\\.\\com3", "/dev/ttyS2"},
        {"\\\\.\\ttyUSB0", "/dev/ttyUSB0"},
        {"\\\\.\\ttyACM1", "/dev/ttyACM1"},
        {"\\\\.\\COMX", "/dev/COMX"},
        {"\\\\.\\/dev/pts/7", "/dev/pts/7"},
        {"\\\\.\\/tmp/sim port", "/tmp/sim port"},
        {"\\\\.\\COM0", "/dev/COM0"},
        {"\\\\.\\", ""},
        {"COM1", ""},
        {"\\\\.\\pts/3", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PathFor(c.name), c.path) << c.name;
}

HANDLE Open(const std::string& path)
{
    const std::string name = "\\\\.\\" + path;
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                       nullptr);
}

TEST(Win32Comm, RefusesMissingDevicesAndNonTerminals)
{
    const struct {
        const char* path;
        DWORD error;
    } cases[] = {
        {"/dev/kv-no-such-device", ERROR_FILE_NOT_FOUND},
        {"/dev/null", ERROR_FILE_NOT_FOUND},
        {"/etc/hostname", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(Open(c.path), INVALID_HANDLE_VALUE) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
}

// Anything that is not a character device is refused before it is opened at all: a
// file, a pipe or a folder named as a port is never opened for writing.
TEST(Win32Comm, NamesThatAreNoDeviceAreNeverOpened)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string file = dir.filePath(QStringLiteral("not-a-port")).toStdString();
    const std::string fifo = dir.filePath(QStringLiteral("fifo")).toStdString();
    const std::string folder = dir.filePath(QStringLiteral("folder")).toStdString();
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("data", f);
        std::fclose(f);
    }
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    for (const std::string& p : {file, fifo, folder})
        ASSERT_GE(inotify_add_watch(watch, p.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_MODIFY), 0) << p;
    for (const std::string& p : {file, fifo, folder}) {
        SetLastError(0);
        EXPECT_EQ(Open(p), INVALID_HANDLE_VALUE) << p;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << p;
    }
    char events[4096];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "a name that is no device was opened";
    ::close(watch);
}

struct Pty {
    int master = -1;
    std::string path;
    Pty()
    {
        int slave = -1;
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
            ::close(slave);
            fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
    void Write(const std::vector<BYTE>& bytes)
    {
        std::size_t done = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (done < bytes.size() && std::chrono::steady_clock::now() < end) {
            const ssize_t r = ::write(master, bytes.data() + done, bytes.size() - done);
            if (r > 0)
                done += static_cast<std::size_t>(r);
            else {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 10);
            }
        }
    }
    std::vector<BYTE> Read(std::size_t count)
    {
        std::vector<BYTE> out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (out.size() < count && std::chrono::steady_clock::now() < end) {
            BYTE buf[4096];
            const ssize_t r = ::read(master, buf, sizeof(buf));
            if (r > 0)
                out.insert(out.end(), buf, buf + r);
            else {
                pollfd p{master, POLLIN, 0};
                ::poll(&p, 1, 10);
            }
        }
        return out;
    }
};

// Waits until the device's receive queue holds `n` bytes.
bool WaitInQueue(HANDLE h, DWORD n, int ms = kPatienceMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        DWORD e;
        COMSTAT s;
        if (ClearCommError(h, &e, &s) && s.cbInQue >= n)
            return true;
        Sleep(5);
    }
    return false;
}

void SetImmediateReads(HANDLE h)
{
    COMMTIMEOUTS t{0xFFFFFFFF, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
}

TEST(Win32Comm, OpensExclusivelyInRawModeAndKeepsALargeQueue)
{
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    HANDLE h = Open(pty.path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(pty.path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    DCB d{};
    ASSERT_TRUE(GetCommState(h, &d));
    d.BaudRate = 57600;
    d.ByteSize = 8;
    d.Parity = 0;
    d.StopBits = 0;
    d.Flags = DCB_fBinary;
    ASSERT_TRUE(SetCommState(h, &d));
    DCB bad = d;
    bad.ByteSize = 9;
    EXPECT_FALSE(SetCommState(h, &bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    DCB back{};
    ASSERT_TRUE(GetCommState(h, &back));
    EXPECT_EQ(back.BaudRate, 57600u);

    ASSERT_TRUE(SetupComm(h, 48000, 4096));
    SetImmediateReads(h);
    // 30000 bytes, far more than the kernel's 4095, all held for the reader.
    std::vector<BYTE> burst(30000);
    for (std::size_t i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<BYTE>(i * 13 + 1);
    burst[0] = 0x11;
    burst[1] = 0x13;
    burst[2] = '\r';
    burst[3] = 0x03;
    pty.Write(burst);
    ASSERT_TRUE(WaitInQueue(h, 30000));
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<BYTE> got(40000);
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(h, got.data(), 40000, &n, &ov));
    got.resize(n);
    EXPECT_EQ(got, burst);
    // Immediate reads on an empty queue complete with nothing.
    ASSERT_TRUE(ReadFile(h, got.data(), 10, &n, &ov));
    EXPECT_EQ(n, 0u);

    // Modem lines: none on a pseudo-terminal, and driving them succeeds.
    DWORD modem = 0xFF;
    EXPECT_TRUE(GetCommModemStatus(h, &modem));
    EXPECT_EQ(modem, 0u);
    for (DWORD f : {SETDTR, SETRTS, CLRDTR, CLRRTS})
        EXPECT_TRUE(EscapeCommFunction(h, f)) << f;
    EXPECT_TRUE(SetCommBreak(h));
    EXPECT_TRUE(ClearCommBreak(h));
    EXPECT_FALSE(EscapeCommFunction(h, 77));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    CloseHandle(ov.hEvent);
    EXPECT_TRUE(CloseHandle(h));
    // Closed, the device opens again.
    HANDLE again = Open(pty.path);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST(Win32Comm, OverlappedEventWaitWriteAndPurge)
{
    Pty pty;
    HANDLE h = Open(pty.path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetImmediateReads(h);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD mask = 0;
    // No mask: the wait cannot start.
    EXPECT_FALSE(WaitCommEvent(h, &mask, &ov));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    ASSERT_TRUE(SetCommMask(h, EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY));
    EXPECT_FALSE(WaitCommEvent(h, &mask, &ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    DWORD n = 0;
    EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 0), WAIT_TIMEOUT);
    pty.Write({'a'});
    ASSERT_EQ(WaitForSingleObject(ov.hEvent, kPatienceMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetOverlappedResult(h, &ov, &n, FALSE));
    EXPECT_EQ(mask, EV_RXCHAR);

    // A new mask ends an outstanding wait with no event.
    EXPECT_FALSE(WaitCommEvent(h, &mask, &ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(SetCommMask(h, 0x1FF));
    ASSERT_EQ(WaitForSingleObject(ov.hEvent, kPatienceMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetOverlappedResult(h, &ov, &n, FALSE));
    EXPECT_EQ(mask, 0u);

    // A write completes and the transmit queue empties.
    OVERLAPPED wov{};
    wov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const char text[] = "hello";
    BOOL done = WriteFile(h, text, 5, &n, &wov);
    if (!done) {
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        ASSERT_TRUE(GetOverlappedResult(h, &wov, &n, TRUE));
    }
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(pty.Read(5), (std::vector<BYTE>{'h', 'e', 'l', 'l', 'o'}));
    // One wait at a time, each given all the time it needs, until the queue-empty event.
    bool txEmpty = false;
    for (int i = 0; i < 20 && !txEmpty; ++i) {
        if (!WaitCommEvent(h, &mask, &ov)) {
            ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
            ASSERT_EQ(WaitForSingleObject(ov.hEvent, kPatienceMs), WAIT_OBJECT_0);
            ASSERT_TRUE(GetOverlappedResult(h, &ov, &n, FALSE));
        }
        txEmpty = (mask & EV_TXEMPTY) != 0;
    }
    EXPECT_TRUE(txEmpty);
    SetCommMask(h, 0x1FF);  // ends a wait still outstanding

    // Purge: queued bytes go, a pending read ends as aborted.
    pty.Write({'x', 'y'});
    ASSERT_TRUE(WaitInQueue(h, 2));
    ASSERT_TRUE(PurgeComm(h, PURGE_RXCLEAR));
    DWORD e;
    COMSTAT s;
    ASSERT_TRUE(ClearCommError(h, &e, &s));
    EXPECT_EQ(s.cbInQue, 0u);
    EXPECT_EQ(e, 0u);
    COMMTIMEOUTS waiting{0, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(h, &waiting));
    OVERLAPPED rov{};
    rov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    BYTE buf[4];
    EXPECT_FALSE(ReadFile(h, buf, 4, &n, &rov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(PurgeComm(h, PURGE_RXABORT));
    ASSERT_EQ(WaitForSingleObject(rov.hEvent, kPatienceMs), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(h, &rov, &n, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    // A waiting read completes when its bytes are there.
    EXPECT_FALSE(ReadFile(h, buf, 2, &n, &rov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    pty.Write({'p', 'q', 'r'});
    ASSERT_TRUE(GetOverlappedResult(h, &rov, &n, TRUE));
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(buf[0], 'p');
    EXPECT_EQ(buf[1], 'q');

    // Closing ends what is outstanding.
    ASSERT_TRUE(SetCommMask(h, EV_BREAK));  // forgets the characters' events
    ResetEvent(ov.hEvent);
    EXPECT_FALSE(WaitCommEvent(h, &mask, &ov));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 0), WAIT_OBJECT_0);
    for (HANDLE ev : {ov.hEvent, wov.hEvent, rov.hEvent})
        CloseHandle(ev);
}

TEST(Win32Comm, HangUpIsAnErrorOfTheCall)
{
    Pty pty;
    HANDLE h = Open(pty.path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetImmediateReads(h);
    ASSERT_TRUE(SetCommMask(h, 0x1FF));
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD mask = 0xABCD;
    EXPECT_FALSE(WaitCommEvent(h, &mask, &ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ::close(pty.master);
    pty.master = -1;
    ASSERT_EQ(WaitForSingleObject(ov.hEvent, kPatienceMs), WAIT_OBJECT_0);
    DWORD n;
    EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
    EXPECT_EQ(mask, 0xABCDu) << "no event was reported";
    DWORD e;
    COMSTAT s;
    EXPECT_FALSE(ClearCommError(h, &e, &s));
    EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
    DWORD modem;
    EXPECT_FALSE(GetCommModemStatus(h, &modem));
    EXPECT_FALSE(WaitCommEvent(h, &mask, &ov));
    EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
    EXPECT_TRUE(CloseHandle(h));
    CloseHandle(ov.hEvent);
}

}  // namespace
