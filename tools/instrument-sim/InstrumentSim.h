// A simulated test set on a pseudo-terminal. It answers the program's link commands
// the way the instrument does (probe, test string echo, calibration read and write,
// range, reset, start and stop) and streams sample pairs at 2400 per second: noise of
// a few counts while no current flows, and a waveform when told to play one. Faults
// are injected on request. Tests run it in-process; tools/instrument-sim/main.cpp
// wraps it as a program.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kvsim {

constexpr int PairsPerSecond = 2400;
constexpr int CalBlockSize = 128;

// The instrument's commands.
constexpr uint8_t CmdStartStream = 0x01;
constexpr uint8_t CmdReadCal = 0x03;
constexpr uint8_t CmdStopStream = 0x04;
constexpr uint8_t CmdWriteCal = 0x05;
constexpr uint8_t CmdCarriageReturn = 0x0D;
constexpr uint8_t CmdProbe = 0x14;
constexpr uint8_t CmdReset = 0x1A;

// A count as the instrument's converter gives it: -2048..2044 in steps of 4.
int QuantizeCount(int count);
// The two bytes of one sample pair with the given pair tag (bit 1 of both bytes).
void EncodePair(int count, bool tag, uint8_t out[2]);

// One piece of a synthesised waveform (counts, seconds, degrees).
struct Segment {
    double Amplitude = 0;
    double OnTime = 0;
    double Phase = 0;
    double EndRatio = 1;
    double OffTime = 0;
};
// "amp,on,phase,ratio,off;amp,on,..." into segments; false with a reason on bad text.
bool ParseSegments(const std::string& text, std::vector<Segment>& out, std::string& error);
// 60 Hz sine pieces with a linear envelope, then zero current, at `rate` per second.
std::vector<int> SegmentsToCounts(const std::vector<Segment>& segments, double rate = PairsPerSecond);

// The samples of a ".kwf" waveform file (59-byte header, then signed 16-bit counts).
struct KwfData {
    char WaveType = 0;
    float AmpsPerCount = 0;
    float SampleInterval = 0;
    int32_t SampleCount = 0;
    std::vector<int> Samples;
};
bool ReadKwf(const std::string& path, KwfData& out, std::string& error);
// Writes a ".kwf" file of the given counts (for tests and demos).
bool WriteKwf(const std::string& path, const std::vector<int16_t>& samples, char waveType = 'N',
              float ampsPerCount = 0.244140625f);

// The instrument's answer to the probe: more than 200 bytes, the sixth is '1'.
std::string ProbeReply();

// Days since 1899-12-30 of today's local date.
int TodayDayNumber();
// The factory calibration block the simulated instrument starts with.
std::string DefaultCalBlock(int dayNumber, const std::string& serial = "KVSIM00001");

// How a calibration read is answered.
enum class CalFault {
    None,
    NoCarriageReturn,  // 128 bytes, byte 8 is not a carriage return
    NotANumber,        // a field that is not a number
    Short,             // only the first 100 bytes
    Silent,            // no answer
};

class Instrument {
public:
    struct Options {
        std::string LinkPath;  // a symbolic link made to the device, when not empty
        std::string CalFile;   // the block is served from and stored to this file
        int Noise = 4;         // idle noise, peak counts
        uint32_t Seed = 1;
        double PlayDelay = -1;  // play the waveform this long after each stream start; <0: on request
        bool Loop = false;      // play the waveform over and over
        bool RecordSent = true; // keep every count put on the line (tests)
    };

    Instrument();
    explicit Instrument(Options options);
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // Opens the pseudo-terminal and starts serving it.
    bool Open(std::string* error = nullptr);
    // Stops serving and closes the pseudo-terminal (and removes the link).
    void Close();
    std::string DevicePath() const;

    // Waveform.
    void SetWaveform(std::vector<int> counts);
    void Play(double afterSeconds = 0);
    void StopPlay();
    bool Playing() const;

    // Faults.
    void DropByte(bool second = false);  // the next stream pair loses its first (or second) byte
    void FlipTag();                      // the next pair's second byte carries the other tag
    void Burst(int pairs);               // this many pairs at once, unpaced
    void SetSilent(bool on);             // no new answers or stream (what is queued still goes out)
    void SetProbeReply(bool on);         // answer the probe
    void SetEcho(char first);            // first character of the echo ('A' is right)
    void SetCalFault(CalFault fault);
    void HangUp();                       // closes the pseudo-terminal under the program

    // What the program sent, every byte in order.
    std::vector<uint8_t> Received() const;
    void ClearReceived();
    // Counts of the pairs put on the line, in order (faulted pairs included).
    std::vector<int> Sent() const;
    void ClearSent();
    std::string CalBlock() const;
    void SetCalBlock(const std::string& block);

    bool Streaming() const;
    int Range() const;        // 1..8, 0 before any range command
    int Resets() const;
    int CalWrites() const;
    int RejectedCalWrites() const;
    long PairsSent() const;
    long DroppedBytes() const;  // stream bytes that found no room while nobody read

    // Polls `condition` (under no lock of the simulator) until true or `ms` pass.
    static bool WaitUntil(const std::function<bool()>& condition, int ms);

private:
    void Run();
    void HandleByte(uint8_t b, std::string& out);
    void NextPair(std::string& out);
    int NextCount();
    void Flush(std::string& pending);
    void StoreCalBlock(const std::string& block);

    Options opt_;
    mutable std::mutex m_;
    std::thread thread_;
    bool running_ = false;
    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::string device_;
    bool linked_ = false;  // LinkPath is our link to device_

    // Protocol state.
    enum class In { Command, CalFrame } in_ = In::Command;
    std::string calFrame_;
    bool lastWasA_ = false;
    std::string calBlock_;
    bool streaming_ = false;
    std::chrono::steady_clock::time_point streamStart_;
    long pairsDue_ = 0;  // paced pairs of the current stream sent so far
    bool tag_ = false;
    int range_ = 0;
    int resets_ = 0;
    int calWrites_ = 0;
    int rejectedCalWrites_ = 0;
    long pairsSent_ = 0;
    long dropped_ = 0;

    // Waveform.
    std::vector<int> wave_;
    size_t wavePos_ = 0;
    bool playing_ = false;
    bool playArmed_ = false;
    std::chrono::steady_clock::time_point playAt_;
    std::mt19937 rng_;

    // Faults.
    int dropByte_ = 0;  // 0 none, 1 first, 2 second
    bool flipTag_ = false;
    int burst_ = 0;
    bool silent_ = false;
    bool probeReply_ = true;
    char echo_ = 'A';
    CalFault calFault_ = CalFault::None;
    bool hangUp_ = false;

    std::vector<uint8_t> received_;
    std::vector<int> sent_;
    std::string out_;  // bytes waiting for room in the pseudo-terminal
};

}  // namespace kvsim
