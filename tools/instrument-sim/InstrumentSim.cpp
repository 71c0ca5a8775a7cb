#include "InstrumentSim.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace kvsim {

namespace {

using Clock = std::chrono::steady_clock;

// What a symbolic link points at; empty when the path is no link.
std::string LinkTarget(const std::string& path)
{
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// Paced stream bytes beyond this are lost while nobody reads the line, as they are
// on a real line; answers and bursts always wait for room.
constexpr size_t kMaxPendingStream = 16384;
constexpr size_t kMaxReceivedLog = 1 << 20;


void PutLe(std::string& b, size_t at, const void* v, size_t n) { std::memcpy(&b[at], v, n); }

}  // namespace

std::string ProbeReply()
{
    // The sixth byte is '1'; the whole answer is longer than 200 bytes.
    std::string r = "KVS  1 Kestrovan 10 test set (simulated)\r\n";
    r += "SN KVSIM00001  FW 1.0  RANGES 8  RATE 2400\r\n";
    while (r.size() < 230)
        r += '.';
    r += "\r\n";
    return r;
}

int QuantizeCount(int count)
{
    int q = static_cast<int>(std::floor((count + 2048 + 2) / 4.0)) * 4 - 2048;
    return std::clamp(q, -2048, 2044);
}

void EncodePair(int count, bool tag, uint8_t out[2])
{
    const unsigned v = static_cast<unsigned>(QuantizeCount(count) + 2048) & 0xFFC;
    const unsigned t = tag ? 2u : 0u;
    out[0] = static_cast<uint8_t>((v & 0xFC) | t);
    out[1] = static_cast<uint8_t>(((v >> 6) & 0x3C) | t | 1u);
}

bool ParseSegments(const std::string& text, std::vector<Segment>& out, std::string& error)
{
    std::vector<Segment> segs;
    std::stringstream all(text);
    std::string piece;
    while (std::getline(all, piece, ';')) {
        if (piece.find_first_not_of(" \t") == std::string::npos)
            continue;
        std::stringstream one(piece);
        std::string num;
        std::vector<double> v;
        while (std::getline(one, num, ',')) {
            char* end = nullptr;
            const double d = std::strtod(num.c_str(), &end);
            while (end && (*end == ' ' || *end == '\t'))
                ++end;
            if (end == num.c_str() || (end && *end)) {
                error = "not a number: '" + num + "'";
                return false;
            }
            v.push_back(d);
        }
        if (v.size() < 2 || v.size() > 5) {
            error = "a segment is amplitude,on time[,phase[,end ratio[,off time]]]: '" + piece + "'";
            return false;
        }
        Segment s;
        s.Amplitude = v[0];
        s.OnTime = v[1];
        if (v.size() > 2) s.Phase = v[2];
        if (v.size() > 3) s.EndRatio = v[3];
        if (v.size() > 4) s.OffTime = v[4];
        if (s.OnTime < 0 || s.OffTime < 0) {
            error = "negative time in '" + piece + "'";
            return false;
        }
        segs.push_back(s);
    }
    out = std::move(segs);
    return true;
}

std::vector<int> SegmentsToCounts(const std::vector<Segment>& segments, double rate)
{
    std::vector<int> out;
    const double step = 21600.0 / rate;  // degrees per sample of a 60 Hz sine
    const double rad = M_PI / 180.0;
    for (const Segment& s : segments) {
        const double n = rate * s.OnTime;
        if (n >= 1) {
            const long last = static_cast<long>(std::trunc(n));
            for (long k = 0; k <= last; ++k) {
                const double env = 1.0 - (static_cast<double>(k) / n) * (1.0 - s.EndRatio);
                out.push_back(static_cast<int>(std::trunc(std::sin((k * step + s.Phase) * rad) * env * s.Amplitude)));
            }
        }
        const double m = rate * s.OffTime;
        if (m >= 1)
            out.insert(out.end(), static_cast<size_t>(std::trunc(m)) + 1, 0);
    }
    return out;
}

bool ReadKwf(const std::string& path, KwfData& out, std::string& error)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = "cannot open " + path;
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (bytes.size() < 59) {
        error = path + " is shorter than a waveform header";
        return false;
    }
    if (bytes.compare(0, 8, "WAVEFORM") != 0) {
        error = path + " is not a waveform file";
        return false;
    }
    KwfData d;
    d.WaveType = bytes[8];
    std::memcpy(&d.AmpsPerCount, &bytes[43], 4);
    std::memcpy(&d.SampleInterval, &bytes[47], 4);
    std::memcpy(&d.SampleCount, &bytes[55], 4);
    const size_t available = (bytes.size() - 59) / 2;
    const size_t n = d.SampleCount < 0 ? 0 : std::min(available, static_cast<size_t>(d.SampleCount));
    d.Samples.resize(n);
    for (size_t i = 0; i < n; ++i) {
        int16_t s;
        std::memcpy(&s, &bytes[59 + 2 * i], 2);
        d.Samples[i] = s;
    }
    out = std::move(d);
    return true;
}

bool WriteKwf(const std::string& path, const std::vector<int16_t>& samples, char waveType, float ampsPerCount)
{
    std::string h(59, '\0');
    std::memcpy(&h[0], "WAVEFORM", 8);
    h[8] = waveType;
    std::memcpy(&h[9], "SIMULATED", 9);
    std::memcpy(&h[30], "Amperes", 7);
    const float interval = 1.0f / PairsPerSecond;
    const uint16_t bits = 12, zero = 2048;
    const int32_t count = static_cast<int32_t>(samples.size());
    PutLe(h, 43, &ampsPerCount, 4);
    PutLe(h, 47, &interval, 4);
    PutLe(h, 51, &bits, 2);
    PutLe(h, 53, &zero, 2);
    PutLe(h, 55, &count, 4);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f)
        return false;
    f.write(h.data(), static_cast<std::streamsize>(h.size()));
    f.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
    return static_cast<bool>(f);
}

int TodayDayNumber()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    using namespace std::chrono;
    const sys_days day{year{tm.tm_year + 1900} / month{static_cast<unsigned>(tm.tm_mon + 1)} /
                       std::chrono::day{static_cast<unsigned>(tm.tm_mday)}};
    const sys_days origin{year{1899} / December / std::chrono::day{30}};
    return static_cast<int>((day - origin).count());
}

std::string DefaultCalBlock(int dayNumber, const std::string& serial)
{
    std::string b;
    for (int r = 0; r < 8; ++r)
        b += "0.001225\r\n";
    b += "40\r\n100\r\n 5\r\n20\r\n15\r\n 0.100\r\n";
    std::string sn = serial.substr(0, 10);
    sn.resize(10, ' ');
    b += sn + "\r\n";
    char day[16];
    std::snprintf(day, sizeof day, "%5d", dayNumber % 100000);
    b += std::string(day) + "\r\n";
    return b;
}

// ---- the instrument ----

Instrument::Instrument() : Instrument(Options{}) {}

Instrument::Instrument(Options options) : opt_(std::move(options)), rng_(opt_.Seed)
{
    calBlock_ = DefaultCalBlock(TodayDayNumber());
    if (!opt_.CalFile.empty()) {
        std::ifstream f(opt_.CalFile, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (bytes.size() >= CalBlockSize)
            calBlock_ = bytes.substr(0, CalBlockSize);
    }
}

Instrument::~Instrument() { Close(); }

bool Instrument::Open(std::string* error)
{
    auto fail = [&](const std::string& what) {
        if (error)
            *error = what + ": " + std::strerror(errno);
        return false;
    };
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
        return fail("openpty");
    // Raw both ways: no echo, no CR/LF translation, no signals, no flow control bytes.
    termios t{};
    if (tcgetattr(slave_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0)
        return fail("pipe");
    const char* name = ttyname(slave_);
    device_ = name ? name : "";
    if (!opt_.LinkPath.empty()) {
        // Only a link of our own kind (one left by an earlier run, to a pseudo-terminal)
        // is replaced; a file, a folder or any other link at the path stays untouched.
        struct stat st {};
        if (::lstat(opt_.LinkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode) || LinkTarget(opt_.LinkPath).rfind("/dev/pts/", 0) != 0) {
                if (error)
                    *error = "will not replace " + opt_.LinkPath + ": not a link to a pseudo-terminal";
                Close();
                return false;
            }
            ::unlink(opt_.LinkPath.c_str());
        }
        if (::symlink(device_.c_str(), opt_.LinkPath.c_str()) != 0)
            return fail("symlink " + opt_.LinkPath);
        linked_ = true;
    }
    running_ = true;
    thread_ = std::thread(&Instrument::Run, this);
    return true;
}

void Instrument::Close()
{
    {
        std::lock_guard<std::mutex> g(m_);
        running_ = false;
    }
    if (wake_[1] >= 0) {
        const char c = 'x';
        (void)!::write(wake_[1], &c, 1);
    }
    if (thread_.joinable())
        thread_.join();
    for (int* fd : {&master_, &slave_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    // Our link only: whatever has taken its place since stays.
    if (linked_ && LinkTarget(opt_.LinkPath) == device_)
        ::unlink(opt_.LinkPath.c_str());
    linked_ = false;
}

std::string Instrument::DevicePath() const { return device_; }

void Instrument::Run()
{
    uint8_t buf[4096];
    for (;;) {
        bool wantOut;
        {
            std::lock_guard<std::mutex> g(m_);
            if (!running_)
                return;
            if (hangUp_) {
                ::close(master_);
                ::close(slave_);
                master_ = slave_ = -1;
                streaming_ = false;
                return;
            }
            wantOut = !out_.empty();
        }
        pollfd fds[2] = {{master_, static_cast<short>(POLLIN | (wantOut ? POLLOUT : 0)), 0}, {wake_[0], POLLIN, 0}};
        ::poll(fds, 2, 2);
        if (fds[1].revents & POLLIN) {
            char junk[64];
            while (::read(wake_[0], junk, sizeof junk) > 0) {
            }
        }
        std::lock_guard<std::mutex> g(m_);
        if (!running_ || hangUp_)
            continue;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i)
                HandleByte(buf[i], out_);
        }
        if (!silent_) {
            for (; burst_ > 0; --burst_)
                NextPair(out_);
            if (streaming_) {
                const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - streamStart_);
                const long due = static_cast<long>(elapsed.count() * PairsPerSecond / 1000000);
                while (pairsDue_ < due) {
                    ++pairsDue_;
                    if (out_.size() >= kMaxPendingStream) {
                        dropped_ += 2;
                        NextCount();
                        tag_ = !tag_;
                        continue;
                    }
                    NextPair(out_);
                }
            }
        }
        Flush(out_);
    }
}

void Instrument::Flush(std::string& pending)
{
    size_t done = 0;
    while (done < pending.size()) {
        const ssize_t n = ::write(master_, pending.data() + done, std::min<size_t>(pending.size() - done, 4096));
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    pending.erase(0, done);
}

int Instrument::NextCount()
{
    // The pair's own time on the paced stream decides when a waveform starts.
    const auto pairTime = streamStart_ + std::chrono::microseconds(pairsDue_ * 1000000L / PairsPerSecond);
    if (playArmed_ && !wave_.empty() && (!streaming_ || pairTime >= playAt_)) {
        playArmed_ = false;
        playing_ = true;
        wavePos_ = 0;
    }
    if (playing_ && wavePos_ < wave_.size()) {
        const int c = wave_[wavePos_++];
        if (wavePos_ >= wave_.size()) {
            if (opt_.Loop)
                wavePos_ = 0;
            else
                playing_ = false;
        }
        return QuantizeCount(c);
    }
    if (opt_.Noise <= 0)
        return 0;
    std::uniform_int_distribution<int> d(-opt_.Noise / 4, opt_.Noise / 4);
    return QuantizeCount(4 * d(rng_));
}

void Instrument::NextPair(std::string& out)
{
    const int c = NextCount();
    uint8_t b[2];
    EncodePair(c, tag_, b);
    tag_ = !tag_;
    if (flipTag_) {
        b[1] ^= 2;
        flipTag_ = false;
    }
    if (opt_.RecordSent)
        sent_.push_back(c);
    ++pairsSent_;
    if (dropByte_ == 1)
        out += static_cast<char>(b[1]);
    else if (dropByte_ == 2)
        out += static_cast<char>(b[0]);
    else
        out.append(reinterpret_cast<const char*>(b), 2);
    dropByte_ = 0;
}

void Instrument::HandleByte(uint8_t b, std::string& out)
{
    if (received_.size() < kMaxReceivedLog)
        received_.push_back(b);
    if (silent_)
        return;
    if (in_ == In::CalFrame) {
        if (b == CmdStopStream) {
            if (calFrame_.size() == CalBlockSize) {
                StoreCalBlock(calFrame_);
                ++calWrites_;
            } else {
                ++rejectedCalWrites_;
            }
            in_ = In::Command;
            streaming_ = false;
        } else {
            calFrame_ += static_cast<char>(b);
            if (calFrame_.size() > 2 * CalBlockSize) {
                ++rejectedCalWrites_;
                in_ = In::Command;
            }
        }
        return;
    }
    const bool wasA = lastWasA_;
    lastWasA_ = false;
    switch (b) {
    case CmdStartStream:
        streaming_ = true;
        streamStart_ = Clock::now();
        pairsDue_ = 0;
        if (opt_.PlayDelay >= 0 && !wave_.empty()) {
            playArmed_ = true;
            playing_ = false;
            playAt_ = streamStart_ + std::chrono::microseconds(static_cast<long>(opt_.PlayDelay * 1e6));
        }
        break;
    case CmdReadCal:
        switch (calFault_) {
        case CalFault::None:
            out += calBlock_;
            break;
        case CalFault::NoCarriageReturn: {
            std::string bad = calBlock_;
            bad[8] = ' ';
            out += bad;
            break;
        }
        case CalFault::NotANumber: {
            std::string bad = calBlock_;
            bad.replace(80, 2, "4x");
            out += bad;
            break;
        }
        case CalFault::Short:
            out += calBlock_.substr(0, 100);
            break;
        case CalFault::Silent:
            break;
        }
        break;
    case CmdStopStream:
        streaming_ = false;
        break;
    case CmdWriteCal:
        in_ = In::CalFrame;
        calFrame_.clear();
        break;
    case CmdCarriageReturn:
        if (wasA) {
            // The echo goes out in one write, so it arrives as one cluster.
            out += echo_;
            out += '\r';
        }
        break;
    case CmdProbe:
        if (probeReply_)
            out += ProbeReply();
        break;
    case CmdReset:
        streaming_ = false;
        playing_ = false;
        ++resets_;
        break;
    case 'A':
        lastWasA_ = true;
        break;
    default:
        if (b >= '0' && b <= '7')
            range_ = 8 - (b - '0');
        break;
    }
}

void Instrument::StoreCalBlock(const std::string& block)
{
    calBlock_ = block;
    if (!opt_.CalFile.empty()) {
        std::ofstream f(opt_.CalFile, std::ios::binary | std::ios::trunc);
        f.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

// ---- control and observation ----

void Instrument::SetWaveform(std::vector<int> counts)
{
    std::lock_guard<std::mutex> g(m_);
    wave_ = std::move(counts);
    wavePos_ = 0;
    playing_ = false;
}

void Instrument::Play(double afterSeconds)
{
    std::lock_guard<std::mutex> g(m_);
    playArmed_ = true;
    playing_ = false;
    playAt_ = Clock::now() + std::chrono::microseconds(static_cast<long>(std::max(0.0, afterSeconds) * 1e6));
}

void Instrument::StopPlay()
{
    std::lock_guard<std::mutex> g(m_);
    playArmed_ = false;
    playing_ = false;
}

bool Instrument::Playing() const
{
    std::lock_guard<std::mutex> g(m_);
    return playing_ || playArmed_;
}

void Instrument::DropByte(bool second)
{
    std::lock_guard<std::mutex> g(m_);
    dropByte_ = second ? 2 : 1;
}

void Instrument::FlipTag()
{
    std::lock_guard<std::mutex> g(m_);
    flipTag_ = true;
}

void Instrument::Burst(int pairs)
{
    std::lock_guard<std::mutex> g(m_);
    burst_ += std::max(0, pairs);
}

void Instrument::SetSilent(bool on)
{
    std::lock_guard<std::mutex> g(m_);
    // Bytes already queued for the line still go out, as a real transmitter
    // empties its buffer; nothing new is answered or streamed.
    silent_ = on;
}

void Instrument::SetProbeReply(bool on)
{
    std::lock_guard<std::mutex> g(m_);
    probeReply_ = on;
}

void Instrument::SetEcho(char first)
{
    std::lock_guard<std::mutex> g(m_);
    echo_ = first;
}

void Instrument::SetCalFault(CalFault fault)
{
    std::lock_guard<std::mutex> g(m_);
    calFault_ = fault;
}

void Instrument::HangUp()
{
    {
        std::lock_guard<std::mutex> g(m_);
        hangUp_ = true;
    }
    if (wake_[1] >= 0) {
        const char c = 'x';
        (void)!::write(wake_[1], &c, 1);
    }
    if (thread_.joinable())
        thread_.join();
}

std::vector<uint8_t> Instrument::Received() const
{
    std::lock_guard<std::mutex> g(m_);
    return received_;
}

void Instrument::ClearReceived()
{
    std::lock_guard<std::mutex> g(m_);
    received_.clear();
}

std::vector<int> Instrument::Sent() const
{
    std::lock_guard<std::mutex> g(m_);
    return sent_;
}

void Instrument::ClearSent()
{
    std::lock_guard<std::mutex> g(m_);
    sent_.clear();
}

std::string Instrument::CalBlock() const
{
    std::lock_guard<std::mutex> g(m_);
    return calBlock_;
}

void Instrument::SetCalBlock(const std::string& block)
{
    std::lock_guard<std::mutex> g(m_);
    calBlock_ = block;
}

bool Instrument::Streaming() const
{
    std::lock_guard<std::mutex> g(m_);
    return streaming_;
}

int Instrument::Range() const
{
    std::lock_guard<std::mutex> g(m_);
    return range_;
}

int Instrument::Resets() const
{
    std::lock_guard<std::mutex> g(m_);
    return resets_;
}

int Instrument::CalWrites() const
{
    std::lock_guard<std::mutex> g(m_);
    return calWrites_;
}

int Instrument::RejectedCalWrites() const
{
    std::lock_guard<std::mutex> g(m_);
    return rejectedCalWrites_;
}

long Instrument::PairsSent() const
{
    std::lock_guard<std::mutex> g(m_);
    return pairsSent_;
}

long Instrument::DroppedBytes() const
{
    std::lock_guard<std::mutex> g(m_);
    return dropped_;
}

bool Instrument::WaitUntil(const std::function<bool()>& condition, int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace kvsim
