#include "PosixComm.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <condition_variable>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Received bytes are handed on at most this long after the first of them arrived.
constexpr std::chrono::milliseconds kRxLatency(10);

// Outstanding operations fail with this once the device has gone away.
constexpr DWORD kGoneError = ERROR_BAD_COMMAND;

bool NoSuchIoctl(int e) { return e == ENOTTY || e == EINVAL || e == ENOSYS || e == EOPNOTSUPP; }

DWORD ErrnoToWin(int e)
{
    switch (e) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return ERROR_ACCESS_DENIED;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EIO:
        return kGoneError;
    default:
        return ERROR_GEN_FAILURE;
    }
}

class PosixCommDevice : public CommDevice {
public:
    PosixCommDevice(int fd, const termios& saved) : fd_(fd), saved_(saved) {}
    ~PosixCommDevice() override
    {
        Close();
        if (wakeFd_ >= 0)
            ::close(wakeFd_);
    }

    bool Start(DWORD& error);

    BOOL Read(LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED ov) override;
    BOOL Write(LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED ov) override;
    BOOL Setup(DWORD inQueue, DWORD outQueue) override;
    BOOL GetState(LPDCB dcb) override;
    BOOL SetState(const DCB& dcb) override;
    BOOL GetTimeouts(LPCOMMTIMEOUTS t) override;
    BOOL SetTimeouts(const COMMTIMEOUTS& t) override;
    BOOL SetMask(DWORD mask) override;
    BOOL GetMask(LPDWORD mask) override;
    BOOL WaitEvent(LPDWORD mask, LPOVERLAPPED ov) override;
    BOOL ClearError(LPDWORD errors, LPCOMSTAT stat) override;
    BOOL ModemStatus(LPDWORD status) override;
    BOOL Escape(DWORD function) override;
    BOOL Purge(DWORD flags) override;
    BOOL OverlappedResult(LPOVERLAPPED ov, LPDWORD transferred, BOOL wait) override;
    bool Pump(DWORD milliseconds) override;
    void Interrupt() override;
    void Close() override;

private:
    struct PendingRead {
        LPOVERLAPPED ov = nullptr;
        BYTE* buffer = nullptr;
        DWORD count = 0;
        std::optional<Clock::time_point> deadline;
    };
    struct PendingWrite {
        LPOVERLAPPED ov = nullptr;  // nullptr once a later write took over the record
        std::vector<BYTE> data;
        std::size_t done = 0;
        std::optional<Clock::time_point> deadline;
    };

    void Standby();
    // All below: called with mutex_ held.
    void Wake();
    // What the line's poll found (revents of the terminal), then the deadlines.
    void Serve(short revents);
    // A look at the line without waiting, for callers that ask the state between waits.
    void ServeNow();
    // The state was taken from the line a moment ago (or a thread is watching it now).
    bool Fresh() const;
    int PollTimeout(DWORD milliseconds) const;
    bool Gone(BOOL& result);
    DWORD TakeBytes(BYTE* dest, DWORD count);
    void AppendBytes(const BYTE* p, std::size_t n);
    void Raise(DWORD events);
    void ServeRead(bool timedOut);
    void ServeWait();
    void PollLineCounters();
    void PollModem();
    void ApplyModem(int bits);
    void HangUp();
    void WriteSome();
    std::size_t QueueFree() const { return capacity_ - count_; }
    DWORD OutQueue();
    // A synchronous call (no OVERLAPPED) runs overlapped on a private event and waits.
    template <class F>
    BOOL Synchronously(LPDWORD transferred, F start);

    int fd_;
    int wakeFd_ = -1;  // ends a Pump early; closed only by the destructor
    termios saved_;
    std::mutex mutex_;
    std::condition_variable pumpsDone_;
    std::condition_variable standbyWake_;
    std::thread standby_;
    int pumpers_ = 0;                // threads in poll() on the line
    std::thread::id pumpThread_;     // the last of them
    Clock::time_point lastServed_{}; // when a poll of the line last returned
    Clock::time_point lastRead_{};   // when bytes were last read from it
    bool closed_ = false;
    bool gone_ = false;

    std::vector<BYTE> readBuf_ = std::vector<BYTE>(4096);
    std::vector<BYTE> ring_ = std::vector<BYTE>(4096);
    std::size_t capacity_ = 4096;
    std::size_t head_ = 0;
    std::size_t count_ = 0;

    DCB dcb_{};
    COMMTIMEOUTS timeouts_{};
    DWORD mask_ = 0;
    DWORD events_ = 0;
    DWORD lineErrors_ = 0;
    bool countersOk_ = false;
    serial_icounter_struct counters_{};
    bool modemOk_ = false;
    int modemBits_ = 0;
    Clock::time_point modemPolled_{};
    bool txEmptyWatch_ = false;
    bool outDirty_ = false;  // written since the kernel's transmit queue was last found empty

    PendingRead read_;
    std::deque<PendingWrite> writes_;
    LPOVERLAPPED waitOv_ = nullptr;
    LPDWORD waitMask_ = nullptr;
};

bool PosixCommDevice::Start(DWORD& error)
{
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        error = ErrnoToWin(errno);
        return false;
    }
    std::memset(&dcb_, 0, sizeof(dcb_));
    dcb_.DCBlength = sizeof(DCB);
    DWORD baud = 9600;
    PosixGetBaudRate(fd_, baud);
    dcb_.BaudRate = baud;
    dcb_.Flags = DCB_fBinary;
    dcb_.ByteSize = 8;
    dcb_.XonChar = 0x11;
    dcb_.XoffChar = 0x13;
    countersOk_ = ioctl(fd_, TIOCGICOUNT, &counters_) == 0;
    int bits = 0;
    modemOk_ = ioctl(fd_, TIOCMGET, &bits) == 0;
    modemBits_ = bits;
    modemPolled_ = Clock::now();
    standby_ = std::thread([this] { Standby(); });
    return true;
}

// The waits of the device's users serve the line. While none does (the port's worker held
// in a hand-over by a busy GUI thread, or no worker at all) the kernel's small queue would
// fill and bytes would be lost: this thread then takes the line over until a wait serves
// it again. It sleeps while the line is served, waking only to check that it still is.
void PosixCommDevice::Standby()
{
    // A line left alone this long is taken over. While a wait serves it, the checks are
    // rarer: the kernel's queue holds 4095 bytes, most of a second of the instrument's
    // stream (4800 bytes a second), so a line found unserved half a second late has
    // still lost nothing.
    constexpr auto kUnserved = std::chrono::milliseconds(50);
    constexpr auto kServedCheck = std::chrono::milliseconds(500);
    std::unique_lock<std::mutex> l(mutex_);
    while (!closed_) {
        if (gone_) {
            standbyWake_.wait(l);
            continue;
        }
        const auto now = Clock::now();
        if (pumpers_ > 0) {
            standbyWake_.wait_until(l, now + kServedCheck);
            continue;
        }
        if (now - lastServed_ < kUnserved) {
            standbyWake_.wait_until(l, lastServed_ + kUnserved);
            continue;
        }
        l.unlock();
        Pump(static_cast<DWORD>(kUnserved.count()));
        l.lock();
    }
}

void PosixCommDevice::Interrupt()
{
    const std::uint64_t one = 1;
    ssize_t r = ::write(wakeFd_, &one, sizeof(one));
    (void)r;
}

void PosixCommDevice::Wake()
{
    // Only another thread's poll needs the nudge (a new deadline, room again, a write).
    if (pumpers_ > 1 || (pumpers_ == 1 && pumpThread_ != std::this_thread::get_id()))
        Interrupt();
}

bool PosixCommDevice::Fresh() const
{
    return pumpers_ > 0 || Clock::now() - lastServed_ < std::chrono::milliseconds(1);
}

bool PosixCommDevice::Gone(BOOL& result)
{
    if (closed_) {
        SetLastError(ERROR_INVALID_HANDLE);
        result = FALSE;
        return true;
    }
    if (gone_) {
        SetLastError(kGoneError);
        result = FALSE;
        return true;
    }
    return false;
}

DWORD PosixCommDevice::TakeBytes(BYTE* dest, DWORD count)
{
    const bool wasFull = QueueFree() == 0;
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(count, count_));
    for (DWORD i = 0; i < n; ++i) {
        dest[i] = ring_[head_];
        head_ = (head_ + 1) % capacity_;
    }
    count_ -= n;
    if (n > 0 && wasFull)
        Wake();  // room again: a poll of the line may read the terminal again
    return n;
}

void PosixCommDevice::AppendBytes(const BYTE* p, std::size_t n)
{
    DWORD raised = 0;
    for (std::size_t i = 0; i < n && count_ < capacity_; ++i) {
        const BYTE b = p[i];
        if (b == 0 && (dcb_.Flags & DCB_fNull))
            continue;
        ring_[(head_ + count_) % capacity_] = b;
        ++count_;
        raised |= EV_RXCHAR;
        if (static_cast<char>(b) == dcb_.EvtChar)
            raised |= EV_RXFLAG;
    }
    Raise(raised);
}

void PosixCommDevice::Raise(DWORD events)
{
    events_ |= events & mask_;
    ServeWait();
}

void PosixCommDevice::ServeWait()
{
    if (waitOv_ && (events_ & mask_)) {
        *waitMask_ = events_ & mask_;
        events_ &= ~mask_;
        LPOVERLAPPED ov = waitOv_;
        waitOv_ = nullptr;
        waitMask_ = nullptr;
        Complete(ov, ERROR_SUCCESS, 0);
    }
}

void PosixCommDevice::ServeRead(bool timedOut)
{
    if (!read_.ov)
        return;
    if (count_ >= read_.count || timedOut) {
        const DWORD n = TakeBytes(read_.buffer, read_.count);
        LPOVERLAPPED ov = read_.ov;
        read_ = PendingRead();
        Complete(ov, ERROR_SUCCESS, n);
    }
}

void PosixCommDevice::PollLineCounters()
{
    if (!countersOk_)
        return;
    serial_icounter_struct now{};
    if (ioctl(fd_, TIOCGICOUNT, &now) != 0)
        return;
    DWORD errors = 0;
    if (now.frame != counters_.frame)
        errors |= CE_FRAME;
    if (now.overrun != counters_.overrun)
        errors |= CE_OVERRUN;
    if (now.parity != counters_.parity)
        errors |= CE_RXPARITY;
    if (now.brk != counters_.brk)
        errors |= CE_BREAK;
    if (now.buf_overrun != counters_.buf_overrun)
        errors |= CE_RXOVER;
    counters_ = now;
    if (errors) {
        lineErrors_ |= errors;
        DWORD ev = 0;
        if (errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER))
            ev |= EV_ERR;
        if (errors & CE_BREAK)
            ev |= EV_BREAK;
        Raise(ev);
    }
}

void PosixCommDevice::PollModem()
{
    if (!modemOk_)
        return;
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0) {
        modemPolled_ = Clock::now();
        return;
    }
    ApplyModem(bits);
}

void PosixCommDevice::ApplyModem(int bits)
{
    modemPolled_ = Clock::now();
    const int changed = bits ^ modemBits_;
    DWORD ev = 0;
    if (changed & TIOCM_CTS)
        ev |= EV_CTS;
    if (changed & TIOCM_DSR)
        ev |= EV_DSR;
    if (changed & TIOCM_CD)
        ev |= EV_RLSD;
    if ((changed & TIOCM_RNG) && !(bits & TIOCM_RNG))
        ev |= EV_RING;  // the trailing edge of the ring indicator
    modemBits_ = bits;
    Raise(ev);
}

void PosixCommDevice::HangUp()
{
    if (gone_)
        return;
    gone_ = true;
    if (read_.ov) {
        LPOVERLAPPED ov = read_.ov;
        read_ = PendingRead();
        Complete(ov, kGoneError, 0);
    }
    for (auto& w : writes_)
        if (w.ov)
            Complete(w.ov, kGoneError, static_cast<DWORD>(w.done));
    writes_.clear();
    if (waitOv_) {
        LPOVERLAPPED ov = waitOv_;
        waitOv_ = nullptr;
        waitMask_ = nullptr;
        Complete(ov, kGoneError, 0);
    }
}

DWORD PosixCommDevice::OutQueue()
{
    std::size_t n = 0;
    for (auto& w : writes_)
        n += w.data.size() - w.done;
    // The kernel's queue can hold something only after a write.
    if (outDirty_) {
        int q = 0;
        if (ioctl(fd_, TIOCOUTQ, &q) != 0 || q <= 0)
            outDirty_ = false;
        else
            n += static_cast<std::size_t>(q);
    }
    return static_cast<DWORD>(n);
}

void PosixCommDevice::WriteSome()
{
    while (!writes_.empty() && !gone_) {
        PendingWrite& w = writes_.front();
        if (w.done < w.data.size()) {
            const ssize_t r = ::write(fd_, w.data.data() + w.done, w.data.size() - w.done);
            if (r < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    return;
                HangUp();
                return;
            }
            w.done += static_cast<std::size_t>(r);
            outDirty_ = true;
            if (w.done < w.data.size())
                return;
        }
        if (w.ov)
            Complete(w.ov, ERROR_SUCCESS, static_cast<DWORD>(w.done));
        writes_.pop_front();
        txEmptyWatch_ = true;
    }
}

int PosixCommDevice::PollTimeout(DWORD milliseconds) const
{
    // The caller's limit, then a pending write's or read's deadline, the modem lines, the drain.
    int timeout = milliseconds == INFINITE ? -1 : static_cast<int>(std::min<DWORD>(milliseconds, 1000000));
    auto consider = [&](std::optional<Clock::time_point> t) {
        if (!t)
            return;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*t - Clock::now()).count() + 1;
        const int v = ms < 0 ? 0 : static_cast<int>(std::min<long long>(ms, 1000));
        timeout = timeout < 0 ? v : std::min(timeout, v);
    };
    if (!writes_.empty())
        consider(writes_.front().deadline);
    if (read_.ov)
        consider(read_.deadline);
    if (modemOk_ && (mask_ & (EV_CTS | EV_DSR | EV_RLSD | EV_RING)))
        consider(modemPolled_ + std::chrono::milliseconds(20));
    if (txEmptyWatch_)
        consider(Clock::now() + std::chrono::milliseconds(5));
    return timeout;
}

bool PosixCommDevice::Pump(DWORD milliseconds)
{
    std::unique_lock<std::mutex> l(mutex_);
    if (closed_ || gone_)
        return false;
    pollfd fds[2];
    fds[0] = {wakeFd_, POLLIN, 0};
    short want = 0;
    if (QueueFree() > 0)
        want |= POLLIN;
    if (!writes_.empty())
        want |= POLLOUT;
    int timeout = PollTimeout(milliseconds);
    // Just read: the line is looked at again once the latency has passed (one sleep, then
    // a read of what came meanwhile, instead of a wake-up for each write of the far end).
    const auto pacedUntil = lastRead_ + kRxLatency;
    const bool paced = (want & POLLIN) && Clock::now() < pacedUntil;
    if (paced) {
        want &= static_cast<short>(~POLLIN);
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(pacedUntil - Clock::now()).count();
        timeout = timeout < 0 ? static_cast<int>(ms) : std::min(timeout, static_cast<int>(ms));
    }
    if (!paced && (want & POLLIN) && Clock::now() - lastServed_ >= kRxLatency) {
        // Nobody looked at the line for a latency or more (its reader was busy elsewhere):
        // what waits there now is handed on at once, not a latency later again.
        pollfd p{fd_, want, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
            Serve(p.revents);
            return true;
        }
    }
    fds[1] = {fd_, want, 0};
    ++pumpers_;
    pumpThread_ = std::this_thread::get_id();
    l.unlock();
    const auto start = Clock::now();
    int pr = ::poll(fds, 2, timeout);
    const int err = errno;
    if (pr > 0 && fds[1].revents == POLLIN && !(fds[0].revents & POLLIN)) {
        // Like a USB serial adapter's latency timer: bytes are handed on a moment after
        // the first of them arrived, together with those that followed, not a few at a
        // time as the far end writes them. Within the caller's time, and cut short by an
        // interrupt.
        auto left = kRxLatency;
        if (timeout >= 0)
            left = std::min(left, std::chrono::milliseconds(timeout) -
                                      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start));
        if (left.count() > 0) {
            pollfd w{wakeFd_, POLLIN, 0};
            if (::poll(&w, 1, static_cast<int>(left.count())) > 0)
                fds[0].revents = w.revents;
        }
    }
    l.lock();
    --pumpers_;
    if (closed_) {
        pumpsDone_.notify_all();
        return true;
    }
    if (fds[0].revents & POLLIN) {
        std::uint64_t v;
        ssize_t r = ::read(wakeFd_, &v, sizeof(v));
        (void)r;
    }
    if (pr < 0 && err != EINTR) {
        HangUp();
        return true;
    }
    short revents = pr > 0 ? fds[1].revents : 0;
    if (paced && Clock::now() >= pacedUntil)
        revents |= POLLIN;  // a raw line reads nothing when nothing came
    Serve(revents);
    return true;
}

void PosixCommDevice::ServeNow()
{
    if (closed_ || gone_)
        return;
    pollfd p{fd_, static_cast<short>((QueueFree() > 0 ? POLLIN : 0) | (writes_.empty() ? 0 : POLLOUT)), 0};
    if (::poll(&p, 1, 0) < 0 && errno != EINTR) {
        HangUp();
        return;
    }
    Serve(p.revents);
}

void PosixCommDevice::Serve(short revents)
{
    lastServed_ = Clock::now();
    if (gone_)
        return;
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        const std::size_t room = std::min(QueueFree(), readBuf_.size());
        if (room > 0) {
            const ssize_t r = ::read(fd_, readBuf_.data(), room);
            if (r > 0) {
                lastRead_ = Clock::now();
                AppendBytes(readBuf_.data(), static_cast<std::size_t>(r));
                PollLineCounters();
                ServeRead(false);
            } else if (r == 0 ? (revents & (POLLHUP | POLLERR)) != 0 : (errno != EAGAIN && errno != EINTR)) {
                // Nothing read: another thread's poll took the bytes first (a raw terminal
                // then reads 0), unless the line has hung up.
                HangUp();
                return;
            }
        } else if (revents & (POLLHUP | POLLERR)) {
            HangUp();
            return;
        }
    }
    if (!writes_.empty()) {
        WriteSome();
        if (!writes_.empty() && writes_.front().deadline && Clock::now() >= *writes_.front().deadline) {
            // Write time-out: the write ends with what went out.
            PendingWrite& w = writes_.front();
            if (w.ov)
                Complete(w.ov, ERROR_SUCCESS, static_cast<DWORD>(w.done));
            writes_.pop_front();
        }
    }
    if (read_.ov && read_.deadline && Clock::now() >= *read_.deadline)
        ServeRead(true);
    if (modemOk_ && Clock::now() - modemPolled_ >= std::chrono::milliseconds(20))
        PollModem();
    if (txEmptyWatch_ && writes_.empty()) {
        int q = 0;
        if (ioctl(fd_, TIOCOUTQ, &q) != 0 || q == 0) {
            txEmptyWatch_ = false;
            outDirty_ = false;
            Raise(EV_TXEMPTY);
        }
    }
}

template <class F>
BOOL PosixCommDevice::Synchronously(LPDWORD transferred, F start)
{
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD n = 0;
    BOOL ok = start(&ov, &n);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = OverlappedResult(&ov, &n, TRUE);
    const DWORD err = GetLastError();
    CloseHandle(ov.hEvent);
    SetLastError(err);
    if (transferred)
        *transferred = n;
    return ok;
}

BOOL PosixCommDevice::Read(LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED ov)
{
    if (!ov)
        return Synchronously(read, [&](LPOVERLAPPED o, LPDWORD n) { return Read(buffer, toRead, n, o); });
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    if (!buffer && toRead > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (read_.ov) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool immediate = timeouts_.ReadIntervalTimeout == 0xFFFFFFFF && timeouts_.ReadTotalTimeoutMultiplier == 0
                           && timeouts_.ReadTotalTimeoutConstant == 0;
    if (immediate || count_ >= toRead) {
        const DWORD n = TakeBytes(static_cast<BYTE*>(buffer), toRead);
        if (read)
            *read = n;
        Complete(ov, ERROR_SUCCESS, n);
        return TRUE;
    }
    Begin(ov);
    read_.ov = ov;
    read_.buffer = static_cast<BYTE*>(buffer);
    read_.count = toRead;
    const std::uint64_t total = std::uint64_t(timeouts_.ReadTotalTimeoutMultiplier) * toRead
                                + timeouts_.ReadTotalTimeoutConstant;
    if (total > 0)
        read_.deadline = Clock::now() + std::chrono::milliseconds(total);
    Wake();
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL PosixCommDevice::Write(LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED ov)
{
    if (!ov)
        return Synchronously(written, [&](LPOVERLAPPED o, LPDWORD n) { return Write(buffer, toWrite, n, o); });
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    if (!buffer && toWrite > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A record handed in again belongs to the new write from now on.
    for (auto& w : writes_)
        if (w.ov == ov)
            w.ov = nullptr;
    PendingWrite w;
    w.ov = ov;
    const BYTE* p = static_cast<const BYTE*>(buffer);
    w.data.assign(p, p + toWrite);
    if (writes_.empty() && toWrite > 0) {
        const ssize_t r = ::write(fd_, p, toWrite);
        if (r > 0)
            outDirty_ = true;
        if (r < 0 && errno != EAGAIN && errno != EINTR) {
            const int e = errno;
            if (e == EIO) {
                HangUp();
                SetLastError(kGoneError);
            } else {
                SetLastError(ErrnoToWin(e));
            }
            return FALSE;
        }
        if (r > 0)
            w.done = static_cast<std::size_t>(r);
    }
    if (writes_.empty() && w.done == w.data.size()) {
        if (written)
            *written = toWrite;
        Complete(ov, ERROR_SUCCESS, toWrite);
        txEmptyWatch_ = true;
        Wake();
        return TRUE;
    }
    const std::uint64_t total = std::uint64_t(timeouts_.WriteTotalTimeoutMultiplier) * toWrite
                                + timeouts_.WriteTotalTimeoutConstant;
    if (total > 0)
        w.deadline = Clock::now() + std::chrono::milliseconds(total);
    Begin(ov);
    writes_.push_back(std::move(w));
    Wake();
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL PosixCommDevice::Setup(DWORD inQueue, DWORD outQueue)
{
    (void)outQueue;
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    if (inQueue == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::size_t cap = std::max<std::size_t>(inQueue, count_);
    std::vector<BYTE> ring(cap);
    for (std::size_t i = 0; i < count_; ++i)
        ring[i] = ring_[(head_ + i) % capacity_];
    ring_.swap(ring);
    capacity_ = cap;
    head_ = 0;
    Wake();
    return TRUE;
}

BOOL PosixCommDevice::GetState(LPDCB dcb)
{
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    *dcb = dcb_;
    return TRUE;
}

BOOL PosixCommDevice::SetState(const DCB& dcb)
{
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    termios t;
    if (tcgetattr(fd_, &t) != 0) {
        SetLastError(ErrnoToWin(errno));
        return FALSE;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (dcb.StopBits != 0)
        t.c_cflag |= CSTOPB;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    if (dcb.Parity != 0 && (dcb.Flags & DCB_fParity))
        t.c_iflag |= INPCK;
    // Flow control only where the block asks for it.
    if ((dcb.Flags & DCB_fOutxCtsFlow) || (dcb.Flags & DCB_fRtsControlMask) == 0x2000)
        t.c_cflag |= CRTSCTS;
    if (dcb.Flags & DCB_fOutX)
        t.c_iflag |= IXON;
    if (dcb.Flags & DCB_fInX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &t) != 0) {
        SetLastError(ErrnoToWin(errno));
        return FALSE;
    }
    if (!PosixSetBaudRate(fd_, dcb.BaudRate)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    dcb_ = dcb;
    dcb_.DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL PosixCommDevice::GetTimeouts(LPCOMMTIMEOUTS t)
{
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    *t = timeouts_;
    return TRUE;
}

BOOL PosixCommDevice::SetTimeouts(const COMMTIMEOUTS& t)
{
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    timeouts_ = t;
    return TRUE;
}

BOOL PosixCommDevice::SetMask(DWORD mask)
{
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    mask_ = mask;
    events_ &= mask;
    if (waitOv_) {
        // A new mask ends the outstanding wait with no event.
        *waitMask_ = 0;
        LPOVERLAPPED ov = waitOv_;
        waitOv_ = nullptr;
        waitMask_ = nullptr;
        Complete(ov, ERROR_SUCCESS, 0);
    }
    Wake();
    return TRUE;
}

BOOL PosixCommDevice::GetMask(LPDWORD mask)
{
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    if (mask)
        *mask = mask_;
    return TRUE;
}

BOOL PosixCommDevice::WaitEvent(LPDWORD mask, LPOVERLAPPED ov)
{
    if (!ov)
        return Synchronously(nullptr, [&](LPOVERLAPPED o, LPDWORD) { return WaitEvent(mask, o); });
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    if (!mask || waitOv_ || mask_ == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (events_ & mask_) {
        *mask = events_ & mask_;
        events_ &= ~mask_;
        Complete(ov, ERROR_SUCCESS, 0);
        return TRUE;
    }
    Begin(ov);
    waitOv_ = ov;
    waitMask_ = mask;
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL PosixCommDevice::ClearError(LPDWORD errors, LPCOMSTAT stat)
{
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    // The queues as the line has them now: taken from it unless a poll did so a moment
    // ago or one is watching it (the line counters are read with the bytes).
    if (!Fresh())
        ServeNow();
    if (gone_) {
        SetLastError(kGoneError);
        return FALSE;
    }
    if (errors)
        *errors = lineErrors_;
    lineErrors_ = 0;
    if (stat) {
        stat->Flags = 0;
        stat->cbInQue = static_cast<DWORD>(count_);
        stat->cbOutQue = OutQueue();
    }
    return TRUE;
}

BOOL PosixCommDevice::ModemStatus(LPDWORD status)
{
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    DWORD s = 0;
    if (modemOk_) {
        // The lines as last polled, unless that was too long ago to stand for now.
        if (Clock::now() - modemPolled_ >= std::chrono::milliseconds(20)) {
            int now = 0;
            if (ioctl(fd_, TIOCMGET, &now) != 0) {
                if (errno == EIO) {
                    HangUp();
                    SetLastError(kGoneError);
                    return FALSE;
                }
                if (!NoSuchIoctl(errno)) {
                    SetLastError(ErrnoToWin(errno));
                    return FALSE;
                }
            } else {
                ApplyModem(now);
            }
        }
        const int bits = modemBits_;
        if (bits & TIOCM_CTS)
            s |= MS_CTS_ON;
        if (bits & TIOCM_DSR)
            s |= MS_DSR_ON;
        if (bits & TIOCM_RNG)
            s |= MS_RING_ON;
        if (bits & TIOCM_CD)
            s |= MS_RLSD_ON;
    }
    if (status)
        *status = s;
    return TRUE;
}

BOOL PosixCommDevice::Escape(DWORD function)
{
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    int r = 0;
    int bits = 0;
    switch (function) {
    case SETRTS: bits = TIOCM_RTS; r = ioctl(fd_, TIOCMBIS, &bits); break;
    case CLRRTS: bits = TIOCM_RTS; r = ioctl(fd_, TIOCMBIC, &bits); break;
    case SETDTR: bits = TIOCM_DTR; r = ioctl(fd_, TIOCMBIS, &bits); break;
    case CLRDTR: bits = TIOCM_DTR; r = ioctl(fd_, TIOCMBIC, &bits); break;
    case SETBREAK: r = ioctl(fd_, TIOCSBRK); break;
    case CLRBREAK: r = ioctl(fd_, TIOCCBRK); break;
    case SETXOFF: r = tcflow(fd_, TCOOFF); break;
    case SETXON: r = tcflow(fd_, TCOON); break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
    if (r != 0) {
        const int e = errno;
        if (e == EIO) {
            HangUp();
            SetLastError(kGoneError);
            return FALSE;
        }
        if (!NoSuchIoctl(e)) {
            SetLastError(ErrnoToWin(e));
            return FALSE;
        }
        // A pseudo-terminal has no modem lines: nothing to drive.
    }
    return TRUE;
}

BOOL PosixCommDevice::Purge(DWORD flags)
{
    std::lock_guard<std::mutex> l(mutex_);
    BOOL result;
    if (Gone(result))
        return result;
    if (flags & ~DWORD(0x0F)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (flags & PURGE_TXABORT) {
        for (auto& w : writes_)
            if (w.ov)
                Complete(w.ov, ERROR_OPERATION_ABORTED, static_cast<DWORD>(w.done));
        writes_.clear();
    }
    if ((flags & PURGE_RXABORT) && read_.ov) {
        LPOVERLAPPED ov = read_.ov;
        read_ = PendingRead();
        Complete(ov, ERROR_OPERATION_ABORTED, 0);
    }
    if (flags & PURGE_TXCLEAR)
        tcflush(fd_, TCOFLUSH);
    if (flags & PURGE_RXCLEAR) {
        tcflush(fd_, TCIFLUSH);
        head_ = 0;
        count_ = 0;
    }
    Wake();
    return TRUE;
}

BOOL PosixCommDevice::OverlappedResult(LPOVERLAPPED ov, LPDWORD transferred, BOOL wait)
{
    // A look without waiting serves the line first, so an operation that nobody waits
    // for still moves on.
    if (ov && !wait) {
        std::lock_guard<std::mutex> l(mutex_);
        if ((ov == read_.ov || ov == waitOv_ || !writes_.empty()) && !Fresh())
            ServeNow();
    }
    return CommDevice::OverlappedResult(ov, transferred, wait);
}

void PosixCommDevice::Close()
{
    {
        std::unique_lock<std::mutex> l(mutex_);
        if (closed_)
            return;
        closed_ = true;
        // Outstanding operations end as aborted; their records are not touched again.
        if (read_.ov)
            Complete(read_.ov, ERROR_OPERATION_ABORTED, 0);
        read_ = PendingRead();
        for (auto& w : writes_)
            if (w.ov)
                Complete(w.ov, ERROR_OPERATION_ABORTED, static_cast<DWORD>(w.done));
        writes_.clear();
        if (waitOv_)
            Complete(waitOv_, ERROR_OPERATION_ABORTED, 0);
        waitOv_ = nullptr;
        waitMask_ = nullptr;
        standbyWake_.notify_all();
        // A thread still in poll() on the line leaves it before the line is closed.
        if (pumpers_ > 0) {
            Interrupt();
            pumpsDone_.wait(l, [this] { return pumpers_ == 0; });
        }
    }
    if (standby_.joinable() && standby_.get_id() != std::this_thread::get_id())
        standby_.join();
    if (!gone_)
        tcsetattr(fd_, TCSANOW, &saved_);
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace

namespace {
thread_local CommOpenFailure t_openFailure;
}

CommOpenFailure LastCommOpenFailure() { return t_openFailure; }

void ForgetCommOpenFailure() { t_openFailure = CommOpenFailure{}; }

namespace {
std::shared_ptr<CommDevice> OpenDevice(const std::string& path, DWORD& error, int& reason)
{
    // A serial line is a character device: a file, a folder or a pipe named as a port
    // (the environment's extra ports may name anything) is never opened for writing.
    struct stat st {};
    const bool named = ::stat(path.c_str(), &st) == 0;
    if (!named || !S_ISCHR(st.st_mode)) {
        reason = named ? ENODEV : errno;
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = errno;
        error = ErrnoToWin(errno);
        return nullptr;
    }
    termios saved;
    if (!isatty(fd) || tcgetattr(fd, &saved) != 0) {
        reason = ENOTTY;
        ::close(fd);
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    // Exclusive: another open of the same device (in this process or another) is refused.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        reason = EBUSY;
        ::close(fd);
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (ioctl(fd, TIOCEXCL) != 0 && !NoSuchIoctl(errno)) {
        reason = errno;
        ::close(fd);
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    termios raw = saved;
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    raw.c_iflag &= ~(IXON | IXOFF | IXANY);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &raw) != 0) {
        reason = errno;
        error = ErrnoToWin(errno);
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    auto device = std::make_shared<PosixCommDevice>(fd, saved);
    if (!device->Start(error)) {
        reason = errno;
        return nullptr;
    }
    return device;
}
} // namespace

std::shared_ptr<CommDevice> OpenPosixCommDevice(const std::string& path, DWORD access, bool overlapped, DWORD& error)
{
    (void)access;
    (void)overlapped;
    int reason = 0;
    auto device = OpenDevice(path, error, reason);
    t_openFailure.path = device ? std::string() : path;
    t_openFailure.error = device ? 0 : (reason != 0 ? reason : EIO);
    return device;
}
