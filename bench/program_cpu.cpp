// What the whole program costs a laptop that runs it all day: the real program (its
// windows offscreen, in a process of its own) measured by the kernel's account of the
// process (user + system time over a window of wall time).
//
// - BM_LiveTest: the hardware road against the simulated instrument on a
//   pseudo-terminal (search, calibration read, stream at 2400 pairs a second, the test
//   armed and a recloser waveform played over and over), for --live-seconds (60). In the
//   same run a minimal reader (a thread of the benchmark doing blocking reads of a second,
//   identical simulated instrument) is measured the same way. Samples lost: pairs the
//   instrument put on the line during the stream minus the pairs the engine took or
//   holds in its ring, after the instrument went quiet and the line drained.
// - BM_DisplayReaction: the same road, the instrument idle until a step of current
//   (a steady sine at about a third of full scale): the time from the step leaving the
//   instrument to the meter's bar, and to the current's text, showing it (5 steps).
// - BM_IdleDemo: demo mode armed (no serial port, the search answered Cancel).
// - BM_IdleStreamStopped: the instrument found and its stream stopped.
//   Both idle figures over --idle-seconds (30).
//
// The program runs in a child process (this program started again with --child=...),
// so nothing of the benchmark's own threads is in its figures.
//
// --x11: as users run it. A virtual X server (Xvfb) with a window manager (openbox) is
// started for the run and the program draws its windows there (xcb); the minimal reader
// is a process of its own; the stream-stopped figure gets a floor beside it, measured
// over the same seconds: a Qt window with nothing but a 100 ms timer and a thread
// waking every 75 ms (the program's own fixed wake-ups). Without Xvfb or openbox on the
// machine the option is refused.
//
// --child-under="valgrind --tool=callgrind --callgrind-out-file=...": the program's process
// is started under that command; callgrind's counts are zeroed when the measured window
// opens and dumped (a file ending in ".1") when it closes, so that file holds the
// program's instructions for the window alone, whatever the machine's load.
#include "Comm.h"
#include "Dialogs.h"
#include "Forms.h"
#include "InstrumentSim.h"
#include "Kestrovan10.h"
#include "KyrGlobals.h"
#include "KyrMain.h"
#include "KyrUpdate.h"
#include "Registry.h"
#include "SerialComp.h"
#include "Waveform.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QProgressBar>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <valgrind/callgrind.h>
#include <vector>

namespace {

int g_liveSeconds = 60;
int g_idleSeconds = 30;
bool g_x11 = false;
// --child-under="valgrind --tool=callgrind ...": the program's process is started under
// this command (words split at blanks), to count its instructions over the same run.
std::vector<std::string> g_childUnder;
constexpr int kSettleMs = 3000;

double CpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// Voluntary context switches: how often the process (or thread) went to sleep and woke.
long Wakeups(int who)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_nvcsw;
}

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// ---- the child: the program ---------------------------------------------------------------

void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::vprintf(fmt, ap);
    va_end(ap);
    std::fflush(stdout);
}

// Waits (processing events) for one line from the benchmark.
void WaitForLine()
{
    QEventLoop loop;
    QSocketNotifier n(0, QSocketNotifier::Read);
    QObject::connect(&n, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    loop.exec();
    char buf[64];
    ssize_t r = ::read(0, buf, sizeof buf);
    (void)r;
}

// The least a Qt program with the program's fixed wake-ups costs: one window shown, a
// 100 ms timer that does nothing, a thread that sleeps 75 ms at a time.
int RunFloor(int argc, char** argv, int seconds)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QWidget window;
    window.resize(400, 300);
    window.show();
    QTimer tick;
    tick.start(100);
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        while (!stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(75));
    });
    Spin(kSettleMs);
    Say("ready\n");
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const double wall0 = Now();
    Spin(seconds * 1000);
    Say("cpu %.6f %.6f\n", CpuSeconds(RUSAGE_SELF) - cpu0, Now() - wall0);
    stop = true;
    worker.join();
    return 0;
}

int RunChild(int argc, char** argv, const std::string& mode, int seconds)
{
    if (mode == "floor")
        return RunFloor(argc, argv, seconds);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (mode == "demo") {
        auto none = std::make_shared<TMemoryRegistry>();
        none->AddKey(HKEY_LOCAL_MACHINE, QStringLiteral("HARDWARE\\DEVICEMAP\\SERIALCOMM"));
        SetRegistryBackend(none);
    } else {
        SetRegistryBackend(std::make_shared<TLinuxRegistry>());
    }
    // A user who agrees to the files the program makes and gives up the search.
    SetMessageResponder([](const MessageRequest& r) {
        if (r.kind == MessageRequest::Dialog)
            return (r.buttons & Btn(mbCancel)) && !r.text.startsWith(QLatin1String("Writing")) &&
                           !r.text.startsWith(QLatin1String("Setting Default"))
                       ? int(mrCancel)
                       : int(mrOk);
        if (r.kind == MessageRequest::Box)
            return (r.flags & 0xF) == MB_RETRYCANCEL ? int(IDCANCEL) : int(IDOK);
        return int(mrOk);
    });
    Application.ExeName = QCoreApplication::applicationFilePath();
    ProgName = QStringLiteral("Kestrovan10");
    ParamList.clear();
    DemoMode = false;
    MaxOps = 4;
    Painted = false;
    ProgInitDone = false;
    CreateProgramWindows();
    const double until = Now() + 60;
    while (!ProgInitDone && Now() < until)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const bool hardware = fmComm && fmComm->PortFound && fmComm->Streaming && !DemoMode;
    if (!ProgInitDone || (mode == "demo" ? !DemoMode : !hardware)) {
        Say("fail %s\n", ProgInitDone ? (DemoMode ? "demo mode" : "no stream") : "no initialisation");
        return 1;
    }
    // The samples are counted from a stream start of our own: the program's stop and
    // start, as its recloser data form does them (the start empties the ring first).
    // The bytes that reach the program are counted on their way to its ring.
    static long long delivered = 0;
    if (mode == "stopped") {
        fmComm->StopComm();
    } else if (mode == "live") {
        SerialPort->OnRxClusterEvent = [](TObject*) {
            const int n = SerialPort->NextClusterSize();
            if (n > 0)
                delivered += n;
            fmComm->RxCluster();  // the link's own handler
        };
        fmComm->StopComm();
        fmComm->StartComm();
        delivered = 0;
    }
    Spin(kSettleMs);
    if (mode == "react") {
        // After each engine tick (this slot runs after the engine's own): when the bar and
        // the text first show the step's current. The benchmark times the step itself.
        QObject watch;
        bool barSeen = false, textSeen = false;
        QObject::connect(TestEngine->Timer, &QTimer::timeout, &watch, [&] {
            const double now = Now();
            const bool bar = fmKyr->ProgressBar1->value() >= 10;
            const bool text = fmKyr->Current->text().section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty)
                                  .toDouble() >= 0.1 * RangeFullScale;
            if (bar && !barSeen)
                Say("bar %.6f\n", now);
            if (text && !textSeen)
                Say("text %.6f\n", now);
            barSeen = bar;
            textSeen = text;
        });
        Say("ready\n");
        WaitForLine();  // the end
        FreeProgramWindows();
        SetRegistryBackend(nullptr);
        return 0;
    }
    Say("ready\n");
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const double gui0 = CpuSeconds(RUSAGE_THREAD);
    const long wake0 = Wakeups(RUSAGE_SELF);
    const long guiWake0 = Wakeups(RUSAGE_THREAD);
    const double wall0 = Now();
    CALLGRIND_ZERO_STATS;  // under --child-under="valgrind --tool=callgrind": the window alone
    Spin(seconds * 1000);
    CALLGRIND_DUMP_STATS_AT("measured window");
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    const double wall = Now() - wall0;
    Say("cpu %.6f %.6f %ld %.6f %ld\n", cpu, wall, Wakeups(RUSAGE_SELF) - wake0, CpuSeconds(RUSAGE_THREAD) - gui0,
        Wakeups(RUSAGE_THREAD) - guiWake0);
    if (mode == "live") {
        WaitForLine();  // the instrument has gone quiet and the line has drained
        Say("received %lld %d %d\n", delivered / 2, fmComm->ErrorCount, TestEngine->Result);
    }
    FreeProgramWindows();
    SetRegistryBackend(nullptr);
    return 0;
}

// ---- the benchmark side ---------------------------------------------------------------------

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;  // the child's stdout
    int in = -1;          // the child's stdin

    bool Start(const std::string& mode, int seconds)
    {
        int toChild[2], fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
            return false;
        char self[4096];
        const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
        if (len <= 0)
            return false;
        self[len] = 0;
        const std::string m = "--child=" + mode;
        const std::string s = "--seconds=" + std::to_string(seconds);
        std::vector<std::string> words = g_childUnder;
        words.insert(words.end(), {self, m, s});
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        std::string name = "Kestrovan10";
        if (g_childUnder.empty())
            argv[0] = name.data();
        pid = fork();
        if (pid < 0)
            return false;
        if (pid == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            if (g_childUnder.empty())
                execv(self, argv.data());
            else
                execvp(argv[0], argv.data());
            _exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        in = toChild[1];
        out = fdopen(fromChild[0], "r");
        return out != nullptr;
    }
    // The next line, or "" at the end of the child's output.
    std::string Line()
    {
        char buf[256];
        if (!out || !std::fgets(buf, sizeof buf, out))
            return {};
        return buf;
    }
    void Tell() { ssize_t r = ::write(in, "go\n", 3); (void)r; }
    int Finish()
    {
        if (in >= 0)
            ::close(in);
        in = -1;
        if (out)
            std::fclose(out);
        out = nullptr;
        int status = 0;
        if (pid > 0)
            waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }
    ~Child()
    {
        if (pid > 0)
            kill(pid, SIGKILL);
        Finish();
    }
};

std::string MakeDataHome()
{
    char tmpl[] = "/tmp/kv-program-cpu-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "";
}

void RemoveTree(const std::string& dir)
{
    if (dir.size() > 5) {
        const std::string cmd = "rm -rf '" + dir + "'";
        int r = std::system(cmd.c_str());
        (void)r;
    }
}

std::vector<int> RecloserWaveform()
{
    std::vector<kvsim::Segment> segs;
    for (const WaveSegment& s : NormSegments)
        segs.push_back({s.Amplitude, s.OnTime, s.Phase, s.EndRatio, s.OffTime});
    std::vector<int> counts = kvsim::SegmentsToCounts(segs);
    counts.resize(counts.size() + 2400 * 5, 0);  // five quiet seconds between plays
    return counts;
}

kvsim::Instrument::Options InstrumentOptions()
{
    kvsim::Instrument::Options opt;
    opt.PlayDelay = 2.0;
    opt.Loop = true;
    opt.RecordSent = false;
    return opt;
}

// Blocking reads of the stream, as little as a program can do to take it in: a process
// of its own (forked, plain system calls only), reading for the given seconds.
struct MinimalReader {
    pid_t pid = -1;
    int result = -1;  // the reader's report: cpu, wall, bytes
    double cpu = 0, wall = 0;
    long long bytes = 0;
    double wakeups = 0;

    bool Start(const std::string& device, int seconds)
    {
        int p[2];
        if (pipe2(p, O_CLOEXEC) != 0)
            return false;
        pid = fork();
        if (pid < 0)
            return false;
        if (pid == 0) {
            ::close(p[0]);
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (fd < 0)
                _exit(1);
            termios t;
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            t.c_cc[VMIN] = 1;
            t.c_cc[VTIME] = 0;
            tcsetattr(fd, TCSANOW, &t);
            const unsigned char start = StartStreamCommand;
            if (::write(fd, &start, 1) != 1)
                _exit(1);
            unsigned char buf[4096];
            long long n = 0;
            const long wake0 = Wakeups(RUSAGE_SELF);
            const double cpu0 = CpuSeconds(RUSAGE_SELF);
            const double wall0 = Now();
            while (Now() - wall0 < seconds) {
                const ssize_t r = ::read(fd, buf, sizeof buf);
                if (r <= 0)
                    break;
                n += r;
            }
            const double report[4] = {CpuSeconds(RUSAGE_SELF) - cpu0, Now() - wall0, static_cast<double>(n),
                                      static_cast<double>(Wakeups(RUSAGE_SELF) - wake0)};
            ssize_t w = ::write(p[1], report, sizeof report);
            (void)w;
            ::close(fd);
            _exit(0);
        }
        ::close(p[1]);
        result = p[0];
        return true;
    }
    void Stop()
    {
        double report[4] = {0, 0, 0, 0};
        if (result >= 0 && ::read(result, report, sizeof report) == static_cast<ssize_t>(sizeof report)) {
            cpu = report[0];
            wall = report[1];
            bytes = static_cast<long long>(report[2]);
            wakeups = report[3];
        }
        if (result >= 0)
            ::close(result);
        result = -1;
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        pid = -1;
    }
    ~MinimalReader()
    {
        if (pid > 0)
            kill(pid, SIGKILL);
        Stop();
    }
};

// CPU seconds the kernel has counted for a process of ours (user + system).
double ProcessCpuSeconds(pid_t pid)
{
    if (pid <= 0)
        return 0;
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f)
        return 0;
    char buf[1024];
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    const char* p = std::strrchr(buf, ')');  // the name may hold blanks
    unsigned long long ut = 0, st = 0;
    if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &ut, &st) != 2)
        return 0;
    return static_cast<double>(ut + st) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A virtual X server with a window manager for the whole run (--x11).
struct VirtualDesktop {
    pid_t server = -1;
    pid_t manager = -1;

    static bool Installed() { return std::system("command -v Xvfb >/dev/null && command -v openbox >/dev/null") == 0; }

    bool Start(std::string* error)
    {
        int p[2];
        if (pipe(p) != 0)
            return false;
        server = fork();
        if (server == 0) {
            ::close(p[0]);
            const std::string fd = std::to_string(p[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        ::close(p[1]);
        char buf[32] = {};
        std::string number;
        for (;;) {  // the server writes its display number and a newline once it listens
            const ssize_t r = ::read(p[0], buf, sizeof buf - 1);
            if (r <= 0)
                break;
            number.append(buf, static_cast<std::size_t>(r));
            if (number.find('\n') != std::string::npos)
                break;
        }
        ::close(p[0]);
        while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
            number.pop_back();
        if (number.empty()) {
            *error = "Xvfb did not start";
            return false;
        }
        setenv("DISPLAY", (":" + number).c_str(), 1);
        manager = fork();
        if (manager == 0) {
            execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the manager takes the screen
        int status = 0;
        if (manager < 0 || waitpid(manager, &status, WNOHANG) != 0) {
            *error = "openbox did not start";
            return false;
        }
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        return true;
    }
    ~VirtualDesktop()
    {
        for (pid_t* p : {&manager, &server})
            if (*p > 0) {
                kill(*p, SIGTERM);
                waitpid(*p, nullptr, 0);
                *p = -1;
            }
    }
};

VirtualDesktop* g_desktop = nullptr;

void BM_LiveTest(benchmark::State& state)
{
    for (auto _ : state) {
        const std::vector<int> wave = RecloserWaveform();
        kvsim::Instrument sim(InstrumentOptions()), twin(InstrumentOptions());
        std::string error;
        if (!sim.Open(&error) || !twin.Open(&error)) {
            state.SkipWithError(("no simulated instrument: " + error).c_str());
            return;
        }
        sim.SetWaveform(wave);
        twin.SetWaveform(wave);
        const std::string home = MakeDataHome();
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("KESTROVAN_SERIAL_PORTS", sim.DevicePath().c_str(), 1);
        Child child;
        if (!child.Start("live", g_liveSeconds)) {
            state.SkipWithError("cannot start the program");
            return;
        }
        std::string line = child.Line();
        if (line != "ready\n") {
            state.SkipWithError(("program: " + line).c_str());
            return;
        }
        MinimalReader reader;
        if (!reader.Start(twin.DevicePath(), g_liveSeconds)) {
            state.SkipWithError("minimal reader cannot start");
            return;
        }
        const double x0 = ProcessCpuSeconds(g_desktop ? g_desktop->server : -1);
        line = child.Line();
        const double xCpu = ProcessCpuSeconds(g_desktop ? g_desktop->server : -1) - x0;
        reader.Stop();
        double cpu = 0, wall = 1, guiCpu = 0;
        long wakeups = 0, guiWakeups = 0;
        if (std::sscanf(line.c_str(), "cpu %lf %lf %ld %lf %ld", &cpu, &wall, &wakeups, &guiCpu, &guiWakeups) != 5) {
            state.SkipWithError(("program: " + line).c_str());
            return;
        }
        // The instrument goes quiet; what it sent drains into the program.
        sim.SetSilent(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const long sent = sim.StreamPairsDue();
        child.Tell();
        line = child.Line();
        long long received = -1;
        int errors = -1, result = -1;
        std::sscanf(line.c_str(), "received %lld %d %d", &received, &errors, &result);
        child.Finish();
        sim.Close();
        twin.Close();
        RemoveTree(home);

        const double pct = 100.0 * cpu / wall;
        const double readerPct = 100.0 * reader.cpu / std::max(reader.wall, 1e-9);
        state.counters["seconds"] = wall;
        state.counters["program_cpu_pct"] = pct;
        state.counters["reader_cpu_pct"] = readerPct;
        state.counters["program_per_reader"] = readerPct > 0 ? pct / readerPct : 0;
        state.counters["pairs_sent"] = static_cast<double>(sent);
        state.counters["pairs_lost"] = static_cast<double>(sent - received);
        state.counters["link_errors"] = errors;
        state.counters["reader_pairs"] = static_cast<double>(reader.bytes / 2);
        state.counters["gui_thread_cpu_pct"] = 100.0 * guiCpu / wall;
        state.counters["wakeups_per_s"] = wakeups / wall;
        state.counters["gui_wakeups_per_s"] = guiWakeups / wall;
        state.counters["reader_wakeups_per_s"] = reader.wakeups / std::max(reader.wall, 1e-9);
        if (g_desktop)
            state.counters["xserver_cpu_pct"] = 100.0 * xCpu / wall;
    }
}

void BM_DisplayReaction(benchmark::State& state)
{
    for (auto _ : state) {
        kvsim::Instrument::Options opt;
        opt.RecordSent = false;
        kvsim::Instrument sim(opt);
        std::string error;
        if (!sim.Open(&error)) {
            state.SkipWithError(("no simulated instrument: " + error).c_str());
            return;
        }
        sim.SetWaveform(kvsim::SegmentsToCounts({{800, 1.5, 0, 1.0, 0.5}}));
        const std::string home = MakeDataHome();
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("KESTROVAN_SERIAL_PORTS", sim.DevicePath().c_str(), 1);
        Child child;
        if (!child.Start("react", 1) || child.Line() != "ready\n") {
            state.SkipWithError("the program did not start on the instrument");
            return;
        }
        std::vector<double> bar, text;
        for (int step = 0; step < 5; ++step) {
            const double t0 = Now();
            sim.Play();
            double seenBar = -1, seenText = -1;
            while (seenBar < 0 || seenText < 0) {
                const std::string line = child.Line();
                double t = 0;
                if (line.empty())
                    break;
                if (std::sscanf(line.c_str(), "bar %lf", &t) == 1)
                    seenBar = t;
                else if (std::sscanf(line.c_str(), "text %lf", &t) == 1)
                    seenText = t;
            }
            bar.push_back(seenBar < 0 ? -1 : (seenBar - t0) * 1000);
            text.push_back(seenText < 0 ? -1 : (seenText - t0) * 1000);
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // the step and quiet after it
        }
        child.Tell();
        child.Finish();
        sim.Close();
        RemoveTree(home);
        state.counters["bar_ms_max"] = *std::max_element(bar.begin(), bar.end());
        state.counters["bar_ms_min"] = *std::min_element(bar.begin(), bar.end());
        state.counters["text_ms_max"] = *std::max_element(text.begin(), text.end());
        state.counters["text_ms_min"] = *std::min_element(text.begin(), text.end());
    }
}

void Idle(benchmark::State& state, const std::string& mode)
{
    for (auto _ : state) {
        kvsim::Instrument sim(InstrumentOptions());
        std::string error;
        if (mode != "demo" && !sim.Open(&error)) {
            state.SkipWithError(("no simulated instrument: " + error).c_str());
            return;
        }
        const std::string home = MakeDataHome();
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        if (mode != "demo")
            setenv("KESTROVAN_SERIAL_PORTS", sim.DevicePath().c_str(), 1);
        else
            unsetenv("KESTROVAN_SERIAL_PORTS");
        Child child, floor;
        if (!child.Start(mode, g_idleSeconds)) {
            state.SkipWithError("cannot start the program");
            return;
        }
        std::string line = child.Line();
        if (line != "ready\n") {
            state.SkipWithError(("program: " + line).c_str());
            return;
        }
        // The floor is measured over the same seconds, beside the program.
        const bool withFloor = g_x11 && mode == "stopped";
        if (withFloor && (!floor.Start("floor", g_idleSeconds) || floor.Line() != "ready\n")) {
            state.SkipWithError("the floor program did not start");
            return;
        }
        line = child.Line();
        double cpu = 0, wall = 1;
        long wakeups = 0;
        if (std::sscanf(line.c_str(), "cpu %lf %lf %ld", &cpu, &wall, &wakeups) != 3) {
            state.SkipWithError(("program: " + line).c_str());
            return;
        }
        child.Finish();
        state.counters["wakeups_per_s"] = wakeups / wall;
        if (withFloor) {
            double floorCpu = 0, floorWall = 1;
            line = floor.Line();
            floor.Finish();
            if (std::sscanf(line.c_str(), "cpu %lf %lf", &floorCpu, &floorWall) != 2) {
                state.SkipWithError(("floor program: " + line).c_str());
                return;
            }
            const double floorPct = 100.0 * floorCpu / floorWall;
            state.counters["floor_cpu_pct"] = floorPct;
            state.counters["program_per_floor"] = floorPct > 0 ? 100.0 * cpu / wall / floorPct : 0;
        }
        sim.Close();
        RemoveTree(home);
        state.counters["seconds"] = wall;
        state.counters["program_cpu_pct"] = 100.0 * cpu / wall;
    }
}

void BM_IdleDemo(benchmark::State& state) { Idle(state, "demo"); }
void BM_IdleStreamStopped(benchmark::State& state) { Idle(state, "stopped"); }

BENCHMARK(BM_LiveTest)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_DisplayReaction)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_IdleDemo)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_IdleStreamStopped)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    std::string childMode;
    int childSeconds = 0;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--child=", 8) == 0)
            childMode = argv[i] + 8;
        else if (std::strncmp(argv[i], "--seconds=", 10) == 0)
            childSeconds = std::max(1, std::atoi(argv[i] + 10));
        else if (std::strncmp(argv[i], "--live-seconds=", 15) == 0)
            g_liveSeconds = std::max(1, std::atoi(argv[i] + 15));
        else if (std::strncmp(argv[i], "--idle-seconds=", 15) == 0)
            g_idleSeconds = std::max(1, std::atoi(argv[i] + 15));
        else if (std::strcmp(argv[i], "--x11") == 0)
            g_x11 = true;
        else if (std::strncmp(argv[i], "--child-under=", 14) == 0) {
            const std::string words = argv[i] + 14;
            std::size_t at = 0;
            while (at < words.size()) {
                const std::size_t end = std::min(words.find(' ', at), words.size());
                if (end > at)
                    g_childUnder.push_back(words.substr(at, end - at));
                at = end + 1;
            }
        }
        else
            args.push_back(argv[i]);
    }
    int n = static_cast<int>(args.size());
    if (!childMode.empty())
        return RunChild(n, args.data(), childMode, childSeconds);
    benchmark::Initialize(&n, args.data());
    VirtualDesktop desktop;
    if (g_x11) {
        std::string error = "Xvfb or openbox is not installed";
        if (!VirtualDesktop::Installed() || !desktop.Start(&error)) {
            std::fprintf(stderr, "--x11: %s\n", error.c_str());
            return 1;
        }
        g_desktop = &desktop;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
