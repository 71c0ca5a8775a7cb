// A pseudo-terminal for the serial tests: the test holds the far (master) end; the
// component opens the device path of the near end.
#pragma once

#include "CommDevice.h"
#include "PosixComm.h"

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

class PtyPair {
public:
    PtyPair()
    {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
            path_ = name;
            termios t;
            tcgetattr(slave, &t);
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
            ::close(slave);
            fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPair() { HangUp(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && !path_.empty(); }
    QString Path() const { return QString::fromStdString(path_); }
    int Master() const { return master_; }

    // Writes all bytes, waiting while the pty is full (up to `ms`).
    bool Write(const QByteArray& bytes, int ms = 5000)
    {
        std::size_t done = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (done < static_cast<std::size_t>(bytes.size())) {
            const ssize_t r = ::write(master_, bytes.constData() + done, bytes.size() - done);
            if (r > 0) {
                done += static_cast<std::size_t>(r);
                continue;
            }
            if (r < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (std::chrono::steady_clock::now() > end)
                return false;
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
        return true;
    }

    // Reads what the component sent until `count` bytes arrived or `ms` passed.
    QByteArray Read(int count, int ms = 2000)
    {
        QByteArray out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (out.size() < count && std::chrono::steady_clock::now() < end) {
            char buf[4096];
            const ssize_t r = ::read(master_, buf, sizeof(buf));
            if (r > 0) {
                out.append(buf, static_cast<int>(r));
                continue;
            }
            pollfd p{master_, POLLIN, 0};
            ::poll(&p, 1, 10);
        }
        return out;
    }

    void HangUp()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string path_;
};

// The real device of one path, passed through unchanged, counting the communication-
// event waits started on it: a test learns that the worker has made a whole pass.
class WatchedCommDevice : public CommDevice {
public:
    explicit WatchedCommDevice(std::shared_ptr<CommDevice> inner) : inner_(std::move(inner)) {}
    std::atomic<int> Waits{0};

    BOOL Read(LPVOID b, DWORD n, LPDWORD r, LPOVERLAPPED ov) override { return inner_->Read(b, n, r, ov); }
    BOOL Write(LPCVOID b, DWORD n, LPDWORD w, LPOVERLAPPED ov) override { return inner_->Write(b, n, w, ov); }
    BOOL OverlappedResult(LPOVERLAPPED ov, LPDWORD t, BOOL wait) override { return inner_->OverlappedResult(ov, t, wait); }
    BOOL Setup(DWORD in, DWORD out) override { return inner_->Setup(in, out); }
    BOOL GetState(LPDCB dcb) override { return inner_->GetState(dcb); }
    BOOL SetState(const DCB& dcb) override { return inner_->SetState(dcb); }
    BOOL GetTimeouts(LPCOMMTIMEOUTS t) override { return inner_->GetTimeouts(t); }
    BOOL SetTimeouts(const COMMTIMEOUTS& t) override { return inner_->SetTimeouts(t); }
    BOOL SetMask(DWORD mask) override { return inner_->SetMask(mask); }
    BOOL GetMask(LPDWORD mask) override { return inner_->GetMask(mask); }
    BOOL WaitEvent(LPDWORD mask, LPOVERLAPPED ov) override
    {
        const BOOL r = inner_->WaitEvent(mask, ov);
        const DWORD e = GetLastError();
        ++Waits;
        SetLastError(e);
        return r;
    }
    BOOL ClearError(LPDWORD errors, LPCOMSTAT stat) override { return inner_->ClearError(errors, stat); }
    BOOL ModemStatus(LPDWORD status) override { return inner_->ModemStatus(status); }
    BOOL Escape(DWORD function) override { return inner_->Escape(function); }
    BOOL Purge(DWORD flags) override { return inner_->Purge(flags); }
    void Close() override { inner_->Close(); }

private:
    std::shared_ptr<CommDevice> inner_;
};

// While it lives, every open of `path` gets the real device behind a WatchedCommDevice;
// `Last()` is the one opened last.
class WatchedPtyDevices {
public:
    explicit WatchedPtyDevices(const std::string& path)
    {
        SetCommDeviceFactory([this, path](const std::string& p, DWORD& error) -> std::shared_ptr<CommDevice> {
            if (p != path)
                return nullptr;
            auto inner = OpenPosixCommDevice(p, GENERIC_READ | GENERIC_WRITE, true, error);
            if (!inner)
                return nullptr;
            auto d = std::make_shared<WatchedCommDevice>(inner);
            std::lock_guard<std::mutex> l(mutex_);
            last_ = d;
            return d;
        });
    }
    ~WatchedPtyDevices() { SetCommDeviceFactory(nullptr); }
    WatchedPtyDevices(const WatchedPtyDevices&) = delete;
    WatchedPtyDevices& operator=(const WatchedPtyDevices&) = delete;
    std::shared_ptr<WatchedCommDevice> Last()
    {
        std::lock_guard<std::mutex> l(mutex_);
        return last_;
    }

private:
    std::mutex mutex_;
    std::shared_ptr<WatchedCommDevice> last_;
};
