// The instrument's stream through the serial component: 2400 two-byte samples a second
// (4800 bytes/s) written into a pseudo-terminal by a paced writer thread, received by a
// TSerialPort set up as the instrument link sets it (57600 baud, cluster size 2, receive
// queue 48000), for 60 s by default (--seconds=N to change).
//
// Reports: bytes lost (must be 0), pairs out of order, delivery latency from the write
// to the cluster handler (median and 99th percentile), and the CPU time of the process
// outside the writer threads (the component's worker, its device and the GUI thread's
// hand-overs) per second of stream. In the same run a plain reader (a thread doing
// blocking reads of a second pseudo-terminal fed by an identical writer) gives the
// baseline: its CPU time per second of stream, and the ratio of the two.
#include "SerialComp.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

int g_seconds = 60;
constexpr int kSamplesPerSecond = 2400;

// Writes `total` numbered pairs into `master`, paced at 2400 a second from `start`.
void PacedWriter(int master, long total, std::chrono::steady_clock::time_point start, std::int64_t* sentAt)
{
    long sent = 0;
    while (sent < total) {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const long due = std::min<long>(
            total, static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()
                                     * kSamplesPerSecond / 1000000));
        while (sent < due) {
            const unsigned char pair[2] = {static_cast<unsigned char>(sent & 0xFF),
                                           static_cast<unsigned char>((sent >> 8) & 0xFF)};
            if (sentAt)
                sentAt[sent] = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count();
            std::size_t done = 0;
            while (done < 2) {
                const ssize_t r = ::write(master, pair + done, 2 - done);
                if (r > 0)
                    done += static_cast<std::size_t>(r);
                else {
                    pollfd p{master, POLLOUT, 0};
                    ::poll(&p, 1, 5);
                }
            }
            ++sent;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

double CpuSeconds(clockid_t clock)
{
    timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void BM_SerialStream(benchmark::State& state)
{
    for (auto _ : state) {
        int master = -1, slave = -1;
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        ::close(slave);
        const long total = static_cast<long>(g_seconds) * kSamplesPerSecond;
        std::vector<std::int64_t> sentAt(static_cast<std::size_t>(total), 0);
        std::vector<double> latencies;
        latencies.reserve(static_cast<std::size_t>(total));

        TSerialPort port;
        port.SetCommPort(QString::fromLocal8Bit(name));
        port.SetBaudRate(57600);
        port.SetClusterSize(2);
        port.SetRxQueueSize(48000);
        long received = 0;
        long outOfOrder = 0;
        int errors = 0;
        int half = -1;  // first byte of a pair waiting for its second
        port.OnProcessError = [&](TObject*, DWORD, DWORD, const QString&, BYTE Noise) {
            if (Noise == 0)
                ++errors;
        };
        port.OnRxClusterEvent = [&](TObject*) {
            int size = 0, error = 0;
            auto data = port.ReadNextCluster(size, error);
            const std::int64_t now = NowNs();
            for (int i = 0; i < size; ++i) {
                const int b = data[static_cast<std::size_t>(i)];
                if (half < 0) {
                    half = b;
                    continue;
                }
                const long seq = static_cast<long>(half) | (static_cast<long>(b) << 8);
                half = -1;
                const long expected = received & 0xFFFF;
                if (seq != expected)
                    ++outOfOrder;
                if (received < total)
                    latencies.push_back((now - sentAt[static_cast<std::size_t>(received)]) / 1e6);
                ++received;
            }
        };
        port.SetActive(true);
        // Let the worker reach its active loop before the stream starts.
        const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (std::chrono::steady_clock::now() < settle)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

        // The plain reader's line.
        int plainMaster = -1, plainSlave = -1;
        if (openpty(&plainMaster, &plainSlave, nullptr, nullptr, nullptr) != 0) {
            state.SkipWithError("no second pseudo-terminal");
            return;
        }
        termios raw;
        tcgetattr(plainSlave, &raw);
        cfmakeraw(&raw);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(plainSlave, TCSANOW, &raw);

        std::atomic<bool> writerDone{false};
        std::atomic<double> writerCpu{0};
        std::atomic<double> plainCpu{0};
        std::atomic<long> plainBytes{0};
        const double cpuStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const auto start = std::chrono::steady_clock::now();
        std::thread writer([&] {
            const double myStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            PacedWriter(master, total, start, sentAt.data());
            writerCpu = writerCpu + (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - myStart);
            writerDone = true;
        });
        std::thread plainWriter([&] {
            const double myStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            PacedWriter(plainMaster, total, start, nullptr);
            writerCpu = writerCpu + (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - myStart);
        });
        std::thread plainReader([&] {
            const double myStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            unsigned char buf[4096];
            while (plainBytes < total * 2) {
                const ssize_t r = ::read(plainSlave, buf, sizeof buf);
                if (r <= 0)
                    break;
                plainBytes += r;
            }
            plainCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - myStart;
        });
        // The GUI thread: an event loop that runs the hand-overs.
        QTimer heartbeat;  // wakes the loop when no hand-over comes
        heartbeat.start(50);
        while (!writerDone || received < total) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            if (writerDone && std::chrono::steady_clock::now() - start > std::chrono::seconds(g_seconds + 3))
                break;
        }
        writer.join();
        plainWriter.join();
        plainReader.join();
        const double streamSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu =
            CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart - writerCpu.load() - plainCpu.load();
        ::close(plainMaster);
        ::close(plainSlave);
        port.SetActive(false);
        ::close(master);

        std::sort(latencies.begin(), latencies.end());
        auto pct = [&](double q) {
            if (latencies.empty())
                return 0.0;
            const std::size_t i = std::min(latencies.size() - 1, static_cast<std::size_t>(q * (latencies.size() - 1)));
            return latencies[i];
        };
        state.counters["seconds"] = streamSeconds;
        state.counters["bytes_sent"] = static_cast<double>(total * 2);
        state.counters["bytes_lost"] = static_cast<double>((total - std::min(received, total)) * 2);
        state.counters["pairs_out_of_order"] = static_cast<double>(outOfOrder);
        state.counters["error_reports"] = errors;
        state.counters["latency_median_ms"] = pct(0.5);
        state.counters["latency_p99_ms"] = pct(0.99);
        state.counters["latency_max_ms"] = latencies.empty() ? 0.0 : latencies.back();
        state.counters["cpu_ms_per_stream_s"] = cpu * 1000.0 / streamSeconds;
        state.counters["plain_reader_cpu_ms_per_stream_s"] = plainCpu.load() * 1000.0 / streamSeconds;
        state.counters["per_plain_reader"] = plainCpu.load() > 0 ? cpu / plainCpu.load() : 0.0;
        state.counters["plain_reader_bytes_lost"] = static_cast<double>(total * 2 - plainBytes.load());
    }
}

BENCHMARK(BM_SerialStream)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0)
            g_seconds = std::max(1, std::atoi(argv[i] + 10));
        else
            args.push_back(argv[i]);
    }
    int n = static_cast<int>(args.size());
    QCoreApplication app(n, args.data());
    benchmark::Initialize(&n, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
