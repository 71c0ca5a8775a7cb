// instrument-sim: a simulated test set on a pseudo-terminal. Prints the device path
// (point the program at it with KESTROVAN_SERIAL_PORTS) and takes commands on its
// standard input, one per line; "help" lists them. Started in the background of a
// terminal it leaves the terminal alone until it is brought to the foreground.
#include "InstrumentSim.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop = true; }

// The test current played when none is named: the program's own demo test, four trips
// of a 60 Hz current that the recloser opens, the last one to lockout.
const char* const kDemoSegments = "850,0.05,30,0.8,1.5;810,0.06,90,0.8,1.5;820,0.23,0,0.8,1.5;800,0.25,0,0.8,1.5";
constexpr double kDemoPlayDelay = 3;

// A terminal is ours to read and write only while we are its foreground job: a job
// started with "&" would be stopped by its first read, and would write over the
// program the user runs there. Anything that is not a terminal is always ours.
bool OwnsTerminal(int fd)
{
    if (!::isatty(fd))
        return true;
    return ::tcgetpgrp(fd) == ::getpgrp();
}

const char* const kUsage =
    "usage: instrument-sim [options]\n"
    "  --link PATH         make PATH a symbolic link to the device\n"
    "  --cal FILE          serve the calibration block from FILE and store writes there\n"
    "  --kwf FILE          the waveform to play, from a .kwf file\n"
    "  --segments PIECES   the waveform to play, as amp,on[,phase[,ratio[,off]]];...\n"
    "  --play-delay SEC    play the waveform SEC seconds after each stream start\n"
    "                      (without --kwf and --segments: the demo test, 3 seconds after)\n"
    "  --loop              play the waveform over and over\n"
    "  --noise COUNTS      idle noise, peak counts (default 4)\n"
    "  --seed N            noise seed (default 1)\n"
    "  --fault NAME        start with a fault: silent, noprobe, wrongecho, calnocr, caltext,\n"
    "                      calshort, calsilent\n"
    "  --quiet             no log of received commands on standard error\n";

const char* const kCommands =
    "commands:\n"
    "  play [SEC]          play the waveform (after SEC seconds)\n"
    "  stopplay            back to idle noise\n"
    "  kwf FILE            load a waveform file\n"
    "  segments PIECES     load a synthesised waveform\n"
    "  drop [first|second] the next pair loses a byte\n"
    "  flip                the next pair carries a wrong tag\n"
    "  burst N             N pairs at once\n"
    "  silent on|off       no answers and no stream\n"
    "  probe on|off        answer the probe\n"
    "  echo CHAR           first character of the test echo (A is right)\n"
    "  cal none|nocr|text|short|silent   how a calibration read is answered\n"
    "  hangup              close the device under the program\n"
    "  status              streaming, range, pairs, resets, calibration writes\n"
    "  quit\n";

bool LoadKwf(kvsim::Instrument& sim, const std::string& path)
{
    kvsim::KwfData d;
    std::string error;
    if (!kvsim::ReadKwf(path, d, error)) {
        std::fprintf(stderr, "instrument-sim: %s\n", error.c_str());
        return false;
    }
    sim.SetWaveform(d.Samples);
    return true;
}

bool LoadSegments(kvsim::Instrument& sim, const std::string& text)
{
    std::vector<kvsim::Segment> segs;
    std::string error;
    if (!kvsim::ParseSegments(text, segs, error)) {
        std::fprintf(stderr, "instrument-sim: %s\n", error.c_str());
        return false;
    }
    sim.SetWaveform(kvsim::SegmentsToCounts(segs));
    return true;
}

bool ApplyFault(kvsim::Instrument& sim, const std::string& f)
{
    if (f == "silent") sim.SetSilent(true);
    else if (f == "noprobe") sim.SetProbeReply(false);
    else if (f == "wrongecho") sim.SetEcho('?');
    else if (f == "calnocr") sim.SetCalFault(kvsim::CalFault::NoCarriageReturn);
    else if (f == "caltext") sim.SetCalFault(kvsim::CalFault::NotANumber);
    else if (f == "calshort") sim.SetCalFault(kvsim::CalFault::Short);
    else if (f == "calsilent") sim.SetCalFault(kvsim::CalFault::Silent);
    else return false;
    return true;
}

bool OnOff(const std::string& s, bool& v)
{
    if (s == "on") v = true;
    else if (s == "off") v = false;
    else return false;
    return true;
}

// One stdin command; false to end.
bool Command(kvsim::Instrument& sim, const std::string& line)
{
    std::istringstream in(line);
    std::string cmd, arg;
    in >> cmd;
    std::getline(in >> std::ws, arg);
    bool flag = false;
    if (cmd.empty()) {
    } else if (cmd == "quit" || cmd == "exit") {
        return false;
    } else if (cmd == "help") {
        std::fputs(kCommands, stdout);
    } else if (cmd == "play") {
        sim.Play(arg.empty() ? 0.0 : std::atof(arg.c_str()));
    } else if (cmd == "stopplay") {
        sim.StopPlay();
    } else if (cmd == "kwf") {
        LoadKwf(sim, arg);
    } else if (cmd == "segments") {
        LoadSegments(sim, arg);
    } else if (cmd == "drop") {
        sim.DropByte(arg == "second");
    } else if (cmd == "flip") {
        sim.FlipTag();
    } else if (cmd == "burst") {
        sim.Burst(std::atoi(arg.c_str()));
    } else if (cmd == "silent" && OnOff(arg, flag)) {
        sim.SetSilent(flag);
    } else if (cmd == "probe" && OnOff(arg, flag)) {
        sim.SetProbeReply(flag);
    } else if (cmd == "echo" && !arg.empty()) {
        sim.SetEcho(arg[0]);
    } else if (cmd == "cal") {
        if (arg == "none") sim.SetCalFault(kvsim::CalFault::None);
        else if (arg == "nocr") sim.SetCalFault(kvsim::CalFault::NoCarriageReturn);
        else if (arg == "text") sim.SetCalFault(kvsim::CalFault::NotANumber);
        else if (arg == "short") sim.SetCalFault(kvsim::CalFault::Short);
        else if (arg == "silent") sim.SetCalFault(kvsim::CalFault::Silent);
        else std::fprintf(stderr, "instrument-sim: cal none|nocr|text|short|silent\n");
    } else if (cmd == "hangup") {
        sim.HangUp();
    } else if (cmd == "status") {
        std::printf("streaming %d range %d pairs %ld resets %d calwrites %d rejected %d dropped %ld playing %d\n",
                    sim.Streaming() ? 1 : 0, sim.Range(), sim.PairsSent(), sim.Resets(), sim.CalWrites(),
                    sim.RejectedCalWrites(), sim.DroppedBytes(), sim.Playing() ? 1 : 0);
    } else {
        std::fprintf(stderr, "instrument-sim: unknown command '%s' (help lists them)\n", line.c_str());
    }
    std::fflush(stdout);
    return true;
}

std::string Describe(uint8_t b)
{
    switch (b) {
    case kvsim::CmdStartStream: return "start";
    case kvsim::CmdReadCal: return "read calibration";
    case kvsim::CmdStopStream: return "stop";
    case kvsim::CmdWriteCal: return "write calibration";
    case kvsim::CmdCarriageReturn: return "CR";
    case kvsim::CmdProbe: return "probe";
    case kvsim::CmdReset: return "reset";
    default: break;
    }
    char t[32];
    if (b >= 0x20 && b < 0x7F)
        std::snprintf(t, sizeof t, "'%c'", b);
    else
        std::snprintf(t, sizeof t, "0x%02X", b);
    return t;
}

}  // namespace

int main(int argc, char** argv)
{
    kvsim::Instrument::Options opt;
    opt.RecordSent = false;
    std::string kwf, segments;
    bool playDelayGiven = false;
    std::vector<std::string> faults;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "instrument-sim: %s needs a value\n%s", a.c_str(), kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--link") opt.LinkPath = value();
        else if (a == "--cal") opt.CalFile = value();
        else if (a == "--kwf") kwf = value();
        else if (a == "--segments") segments = value();
        else if (a == "--play-delay") {
            opt.PlayDelay = std::atof(value().c_str());
            playDelayGiven = true;
        }
        else if (a == "--loop") opt.Loop = true;
        else if (a == "--noise") opt.Noise = std::atoi(value().c_str());
        else if (a == "--seed") opt.Seed = static_cast<uint32_t>(std::strtoul(value().c_str(), nullptr, 10));
        else if (a == "--fault") faults.push_back(value());
        else if (a == "--quiet") quiet = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(kCommands, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "instrument-sim: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }

    if (kwf.empty() && segments.empty()) {
        segments = kDemoSegments;
        if (!playDelayGiven)
            opt.PlayDelay = kDemoPlayDelay;
    }
    kvsim::Instrument sim(opt);
    if (!kwf.empty() && !LoadKwf(sim, kwf))
        return 1;
    if (!segments.empty() && !LoadSegments(sim, segments))
        return 1;
    for (const std::string& f : faults)
        if (!ApplyFault(sim, f)) {
            std::fprintf(stderr, "instrument-sim: unknown fault %s\n%s", f.c_str(), kUsage);
            return 2;
        }
    std::string error;
    if (!sim.Open(&error)) {
        std::fprintf(stderr, "instrument-sim: %s\n", error.c_str());
        return 1;
    }
    // Closing the terminal hangs up its jobs: the link goes then too.
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    // A read or write that races a move to the background fails instead of stopping us.
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGTTOU, SIG_IGN);
    if (OwnsTerminal(STDOUT_FILENO)) {
        std::printf("%s\n", sim.DevicePath().c_str());
        std::fflush(stdout);
    }

    std::string line;
    bool stdinOpen = true;
    size_t logged = 0;
    while (!g_stop) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const bool reading = stdinOpen && OwnsTerminal(STDIN_FILENO);
        const int r = reading ? ::poll(&p, 1, 100) : (::usleep(100000), 0);
        if (r > 0 && (p.revents & (POLLIN | POLLHUP))) {
            char buf[512];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n < 0 && (errno == EIO || errno == EINTR || errno == EAGAIN)) {
                // moved to the background meanwhile: try again in the foreground
                ::usleep(100000);
            } else if (n <= 0) {
                stdinOpen = false;  // keep serving until a signal
            } else {
                for (ssize_t i = 0; i < n; ++i) {
                    if (buf[i] != '\n') {
                        line += buf[i];
                        continue;
                    }
                    if (!Command(sim, line))
                        g_stop = true;
                    line.clear();
                }
            }
        }
        if (!quiet) {
            const std::vector<uint8_t> got = sim.Received();
            const bool show = OwnsTerminal(STDERR_FILENO);
            for (; logged < got.size(); ++logged)
                if (show)
                    std::fprintf(stderr, "instrument-sim: received %s\n", Describe(got[logged]).c_str());
        }
    }
    sim.Close();
    return 0;
}
