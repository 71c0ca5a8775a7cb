// A pseudo-terminal for the serial tests: the test holds the far (master) end; the
// component opens the device path of the near end.
#pragma once

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
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
