// The simulated instrument on its own: encoding, waveform sources, and its answers on
// the pseudo-terminal as a plain POSIX client sees them.
#include "Comm.h"
#include "InstrumentSim.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <chrono>
#include <functional>
#include <memory>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace kvsim;

namespace {

// Deadline of every wait for an answer: generous, since a loaded machine may hold the
// simulator's thread back for a long time; a wait ends as soon as its bytes are in.
constexpr int kPatience = 20000;

// The far end of the line, without the program's serial component.
class RawLine {
public:
    explicit RawLine(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ >= 0) {
            termios t{};
            tcgetattr(fd_, &t);
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~RawLine()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void send(const std::string& bytes) { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    // Reads until `want` bytes came or `ms` passed without reaching it.
    std::string read(size_t want, int ms)
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < want) {
            const int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
            if (left <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0)
                break;
            if (p.revents & (POLLHUP | POLLERR)) {
                hungUp = true;
                break;
            }
            char buf[4096];
            const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, want - got.size()));
            if (n <= 0) {
                hungUp = n < 0 && errno == EIO;
                if (hungUp)
                    break;
                continue;
            }
            got.append(buf, size_t(n));
        }
        return got;
    }
    // Everything that arrives within `ms`.
    std::string drain(int ms) { return read(size_t(1) << 30, ms); }
    bool hungUp = false;

private:
    int fd_ = -1;
};

std::vector<int> DecodeAll(const std::string& bytes, int* errors = nullptr)
{
    std::vector<int> out;
    int bad = 0;
    for (size_t i = 0; i + 1 < bytes.size();) {
        const uint8_t a = uint8_t(bytes[i]), b = uint8_t(bytes[i + 1]);
        if (a & 1) {
            ++bad;
            ++i;
            continue;
        }
        if (!(b & 1) || ((a ^ b) & 2)) {
            ++bad;
            i += 2;
            continue;
        }
        out.push_back(SamplePairValue(a, b));
        i += 2;
    }
    if (errors)
        *errors = bad;
    return out;
}

}  // namespace

TEST(SimEncoding, EveryCountSurvivesTheLinkDecoderWithBothTags)
{
    for (int c = -2048; c <= 2044; c += 4)
        for (bool tag : {false, true}) {
            uint8_t b[2];
            EncodePair(c, tag, b);
            ASSERT_EQ(b[0] & 1, 0) << c;
            ASSERT_EQ(b[1] & 1, 1) << c;
            ASSERT_EQ((b[0] >> 1) & 1, tag ? 1 : 0) << c;
            ASSERT_EQ((b[1] >> 1) & 1, tag ? 1 : 0) << c;
            ASSERT_EQ(b[1] & 0xC0, 0) << c;
            ASSERT_EQ(SamplePairValue(b[0], b[1]), c);
        }
}

TEST(SimEncoding, CountsAreClampedAndQuantised)
{
    const std::pair<int, int> cases[] = {{-5000, -2048}, {-2048, -2048}, {-1, 0}, {0, 0}, {1, 0},
                                         {3, 4},         {5, 4},         {2044, 2044}, {2047, 2044}, {9000, 2044}};
    for (auto [in, out] : cases)
        EXPECT_EQ(QuantizeCount(in), out) << in;
}

TEST(SimWaveform, SegmentsFollowTheSineAndEnvelope)
{
    std::vector<Segment> segs;
    std::string error;
    ASSERT_TRUE(ParseSegments("850,0.05,30,0.8,1.5; 600,0.5", segs, error)) << error;
    ASSERT_EQ(segs.size(), 2u);
    EXPECT_DOUBLE_EQ(segs[1].EndRatio, 1.0);
    const std::vector<int> c = SegmentsToCounts(segs);
    // 121 samples of current, 3601 of none, then 1201 of the second piece.
    ASSERT_EQ(c.size(), 121u + 3601u + 1201u);
    EXPECT_EQ(c[0], 424);  // sin 30 degrees falls just short of one half
    EXPECT_EQ(c[1], 534);
    EXPECT_EQ(c[5], 814);
    EXPECT_EQ(c[121], 0);
    EXPECT_EQ(c[121 + 3600], 0);
    EXPECT_EQ(c[121 + 3601 + 10], 600);  // 90 degrees into a 0-phase sine of constant amplitude

    for (const char* bad : {"1", "a,b", "1,2,3,4,5,6", "1,-2"})
        EXPECT_FALSE(ParseSegments(bad, segs, error)) << bad;
}

TEST(SimWaveform, KwfFilesAreReadByTheirHeader)
{
    TempCurrentDir dir;
    const std::string path = dir.file(QStringLiteral("ramp.kwf")).toStdString();
    std::vector<int16_t> s{-2048, -4, 0, 4, 2044, 1000};
    ASSERT_TRUE(WriteKwf(path, s, 'M', 0.5f));
    KwfData d;
    std::string error;
    ASSERT_TRUE(ReadKwf(path, d, error)) << error;
    EXPECT_EQ(d.WaveType, 'M');
    EXPECT_FLOAT_EQ(d.AmpsPerCount, 0.5f);
    EXPECT_FLOAT_EQ(d.SampleInterval, 1.0f / 2400);
    EXPECT_EQ(d.Samples, (std::vector<int>{-2048, -4, 0, 4, 2044, 1000}));
    EXPECT_EQ(QFile(QString::fromStdString(path)).size(), 59 + 12);

    // A header claiming more samples than follow gives what is there.
    {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.resize(59 + 6);
    }
    ASSERT_TRUE(ReadKwf(path, d, error));
    EXPECT_EQ(d.Samples.size(), 3u);

    const std::pair<QByteArray, const char*> bad[] = {{"WAVEFORM", "short"},
                                                      {QByteArray("waveform") + QByteArray(60, '\0'), "magic"}};
    for (const auto& [bytes, what] : bad) {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        EXPECT_FALSE(ReadKwf(path, d, error)) << what;
    }
    EXPECT_FALSE(ReadKwf(dir.file(QStringLiteral("none.kwf")).toStdString(), d, error));
}

TEST(SimWaveform, DefaultCalibrationBlockIsTheFactoryBlock)
{
    const std::string b = DefaultCalBlock(46366);
    ASSERT_EQ(b.size(), 128u);
    EXPECT_EQ(b.substr(0, 10), "0.001225\r\n");
    EXPECT_EQ(b[8], '\r');
    EXPECT_EQ(b.substr(80, 29), "40\r\n100\r\n 5\r\n20\r\n15\r\n 0.100\r\n");
    EXPECT_EQ(b.substr(109, 19), "KVSIM00001\r\n46366\r\n");
}

class SimLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        Instrument::Options o;
        o.Noise = 0;
        sim = std::make_unique<Instrument>(o);
        std::string error;
        ASSERT_TRUE(sim->Open(&error)) << error;
        line = std::make_unique<RawLine>(sim->DevicePath());
        ASSERT_TRUE(line->ok());
    }
    std::unique_ptr<Instrument> sim;
    std::unique_ptr<RawLine> line;
};

TEST_F(SimLine, AnswersProbeEchoAndCalibrationRead)
{
    line->send("\x14");
    const std::string probe = line->read(ProbeReply().size(), kPatience);
    ASSERT_GE(probe.size(), 201u);
    EXPECT_EQ(probe[5], '1');
    EXPECT_EQ(probe, ProbeReply());

    // A lone carriage return is not answered: whatever it brought would come before
    // the echo of the test string that follows it.
    line->send("\r");
    line->send("A\r");
    EXPECT_EQ(line->read(2, kPatience), "A\r");

    line->send("\x03");
    EXPECT_EQ(line->read(128, kPatience), DefaultCalBlock(TodayDayNumber()));

    // Range digits, reset, and every byte logged in order.
    line->send("7");
    line->send("0");
    line->send("\x1a");
    ASSERT_TRUE(Instrument::WaitUntil([&] { return sim->Resets() == 1; }, kPatience));
    EXPECT_EQ(sim->Range(), 8);
    const std::vector<uint8_t> want{0x14, 0x0D, 'A', 0x0D, 0x03, '7', '0', 0x1A};
    EXPECT_EQ(sim->Received(), want);
}

TEST_F(SimLine, CalibrationWriteIsStoredAndServedNext)
{
    std::string block = DefaultCalBlock(45000, "NEWSERIAL1");
    line->send(std::string("\x04\x05") + block + "\x04");
    ASSERT_TRUE(Instrument::WaitUntil([&] { return sim->CalWrites() == 1; }, kPatience));
    EXPECT_EQ(sim->CalBlock(), block);
    line->send("\x03");
    EXPECT_EQ(line->read(128, kPatience), block);

    // A frame that is not a whole block is not stored.
    line->send(std::string("\x04\x05") + block.substr(0, 60) + "\x04");
    ASSERT_TRUE(Instrument::WaitUntil([&] { return sim->RejectedCalWrites() == 1; }, kPatience));
    EXPECT_EQ(sim->CalBlock(), block);
}

TEST_F(SimLine, FaultsChangeTheAnswers)
{
    // Each answer is followed by the echo of a test string sent after the faults are
    // lifted, so the bytes up to that echo are exactly what the faulty case answered.
    struct Case {
        const char* what;
        std::function<void()> set;
        std::string send;
        size_t size;  // of the answer
        std::function<void(const std::string&)> check;
    } cases[] = {
        {"no probe reply", [&] { sim->SetProbeReply(false); }, "\x14", 0, [](const std::string&) {}},
        {"wrong echo", [&] { sim->SetEcho('?'); }, "A\r", 2, [](const std::string& got) { EXPECT_EQ(got, "?\r"); }},
        {"calibration without CR", [&] { sim->SetCalFault(CalFault::NoCarriageReturn); }, "\x03", 128,
         [](const std::string& got) { EXPECT_NE(got[8], '\r'); }},
        {"calibration not a number", [&] { sim->SetCalFault(CalFault::NotANumber); }, "\x03", 128,
         [](const std::string& got) { EXPECT_EQ(got.substr(80, 4), "4x\r\n"); }},
        {"short calibration", [&] { sim->SetCalFault(CalFault::Short); }, "\x03", 100,
         [](const std::string& got) { EXPECT_EQ(got, DefaultCalBlock(TodayDayNumber()).substr(0, 100)); }},
        {"silent", [&] { sim->SetSilent(true); }, std::string("\x14\x03\x01A\r", 5), 0, [](const std::string&) {}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.set();
        const size_t before = sim->Received().size();
        line->send(c.send);
        // The simulator has taken every byte of the case before the faults go.
        ASSERT_TRUE(Instrument::WaitUntil([&] { return sim->Received().size() == before + c.send.size(); },
                                          kPatience));
        sim->SetProbeReply(true);
        sim->SetEcho('A');
        sim->SetCalFault(CalFault::None);
        sim->SetSilent(false);
        line->send("A\r");
        const std::string got = line->read(c.size + 2, kPatience);
        ASSERT_EQ(got.size(), c.size + 2);
        EXPECT_EQ(got.substr(c.size), "A\r");
        c.check(got.substr(0, c.size));
    }
    EXPECT_FALSE(sim->Streaming());  // the start command went unheard while silent
}

TEST_F(SimLine, StreamIsPacedWithAlternatingTagsAndPlaysTheWaveform)
{
    // The waveform starts 0.1 s of stream after the start command.
    Instrument::Options o;
    o.Noise = 0;
    o.PlayDelay = 0.1;
    sim = std::make_unique<Instrument>(o);
    std::string error;
    ASSERT_TRUE(sim->Open(&error)) << error;
    line = std::make_unique<RawLine>(sim->DevicePath());
    ASSERT_TRUE(line->ok());
    std::vector<int> wave;
    for (int i = 0; i < 1200; ++i)
        wave.push_back(((i * 4) % 4000) - 2000);
    sim->SetWaveform(wave);

    // One second of stream. The simulator cannot send 2400 pairs in less than the
    // second they take (it may take longer on a loaded machine).
    const auto start = std::chrono::steady_clock::now();
    line->send("\x01");
    const std::string bytes = line->read(2 * 2400, kPatience);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    line->send("\x04");
    ASSERT_EQ(bytes.size(), 2 * 2400u);
    EXPECT_GE(seconds, 2399.0 / 2400);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        ASSERT_EQ((uint8_t(bytes[i]) >> 1) & 1, (i / 2) % 2) << i;
    int errors = -1;
    const std::vector<int> counts = DecodeAll(bytes, &errors);
    EXPECT_EQ(errors, 0);
    ASSERT_TRUE(Instrument::WaitUntil([&] { return !sim->Streaming(); }, kPatience));
    const std::vector<int> sent = sim->Sent();
    ASSERT_GE(sent.size(), counts.size());
    EXPECT_TRUE(std::equal(counts.begin(), counts.end(), sent.begin()));
    EXPECT_EQ(sim->DroppedBytes(), 0);
    // Silence (noise 0) until the pair due 0.1 s into the stream (the 240th), which
    // is the waveform's first.
    auto first = std::find_if(counts.begin(), counts.end(), [](int c) { return c != 0; });
    ASSERT_NE(first, counts.end());
    EXPECT_EQ(first - counts.begin(), 239);
    EXPECT_EQ(std::vector<int>(first, first + 100), std::vector<int>(wave.begin(), wave.begin() + 100));
}

TEST_F(SimLine, StreamFaultsBreakPairsAsAsked)
{
    sim->Burst(3);
    std::string bytes = line->read(6, kPatience);
    ASSERT_EQ(bytes.size(), 6u);
    int errors = -1;
    EXPECT_EQ(DecodeAll(bytes, &errors).size(), 3u);
    EXPECT_EQ(errors, 0);

    // Dropping a first byte costs one decoder error; dropping a second byte costs two
    // (the pair and the stray second byte); a flipped tag costs one.
    const struct {
        const char* what;
        std::function<void()> fault;
        size_t bytes;
        int errors;
        int decoded;
    } cases[] = {{"drop first", [&] { sim->DropByte(false); }, 9, 1, 4},
                 {"drop second", [&] { sim->DropByte(true); }, 9, 2, 3},
                 {"flip tag", [&] { sim->FlipTag(); }, 10, 1, 4}};
    for (const auto& c : cases) {
        c.fault();
        sim->Burst(5);
        // Any byte beyond the case's count would show in the next case (or below).
        bytes = line->read(c.bytes, kPatience);
        EXPECT_EQ(bytes.size(), c.bytes) << c.what;
        EXPECT_EQ(DecodeAll(bytes, &errors).size(), size_t(c.decoded)) << c.what;
        EXPECT_EQ(errors, c.errors) << c.what;
    }
    // Nothing more came: the next answer on the line is the echo.
    line->send("A\r");
    EXPECT_EQ(line->read(2, kPatience), "A\r");
}

TEST_F(SimLine, HangUpClosesTheLine)
{
    sim->HangUp();
    line->drain(kPatience);  // ends at the hang-up
    EXPECT_TRUE(line->hungUp);
}

TEST(SimProgram, PrintsTheDeviceMakesTheLinkAndTakesCommands)
{
    TempCurrentDir dir;
    const QString link = dir.file(QStringLiteral("kv-sim"));
    const QString cal = dir.file(QStringLiteral("sim.kcf"));
    {
        QFile f(cal);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(DefaultCalBlock(44000, "FROMFILE01")));
    }
    QProcess p;
    p.start(QStringLiteral(KV_BIN_DIR "/instrument-sim"),
            {QStringLiteral("--link"), link, QStringLiteral("--cal"), cal, QStringLiteral("--quiet"),
             QStringLiteral("--segments"), QStringLiteral("800,0.1")});
    ASSERT_TRUE(p.waitForStarted(kPatience));
    ASSERT_TRUE(p.waitForReadyRead(kPatience));
    const QString device = QString::fromLocal8Bit(p.readLine()).trimmed();
    EXPECT_TRUE(device.startsWith(QStringLiteral("/dev/pts/"))) << device.toStdString();
    EXPECT_EQ(QFile::symLinkTarget(link), device);

    {
        RawLine l(link.toStdString());
        ASSERT_TRUE(l.ok());
        l.send("\x03");
        EXPECT_EQ(l.read(128, kPatience), DefaultCalBlock(44000, "FROMFILE01"));
        l.send("5");
        p.write("play\nburst 4\n");
        p.waitForBytesWritten(kPatience);
        EXPECT_EQ(l.read(8, kPatience).size(), 8u);
        // The range byte and the burst come by different roads (the line and the
        // command input): ask until the status shows both.
        QString status;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatience);
        do {
            p.write("status\n");
            p.waitForBytesWritten(kPatience);
            while (!p.canReadLine() && p.waitForReadyRead(kPatience)) {
            }
            status = QString::fromLocal8Bit(p.readLine());
            if (!status.contains(QStringLiteral("range 3 pairs 4")))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (!status.contains(QStringLiteral("range 3 pairs 4")) && std::chrono::steady_clock::now() < end);
        EXPECT_TRUE(status.contains(QStringLiteral("range 3 pairs 4"))) << status.toStdString();
    }
    p.write("quit\n");
    p.waitForBytesWritten(kPatience);
    EXPECT_TRUE(p.waitForFinished(kPatience));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(link));
}

// The link path: only a link of its own kind is replaced, and only its own link is
// removed at the end; anything else at the path is refused and left as it was.
TEST(SimLink, OnlyItsOwnLinkIsReplacedOrRemoved)
{
    TempCurrentDir dir;
    const QString path = dir.file(QStringLiteral("kv-sim"));
    auto open = [&](std::string* error) {
        Instrument::Options o;
        o.LinkPath = path.toStdString();
        auto sim = std::make_unique<Instrument>(o);
        const bool ok = sim->Open(error);
        return std::make_pair(ok, std::move(sim));
    };
    // Something else at the path: refused, kept.
    struct Case { const char* what; std::function<void()> plant; std::function<bool()> intact; };
    const QString other = dir.file(QStringLiteral("precious.txt"));
    const Case cases[] = {
        {"a file",
         [&] { QFile f(path); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); f.write("keep"); },
         [&] { QFile f(path); return f.open(QIODevice::ReadOnly) && f.readAll() == "keep"; }},
        {"a folder", [&] { ASSERT_TRUE(QDir().mkdir(path)); }, [&] { return QFileInfo(path).isDir(); }},
        {"a link to a file", [&] { ASSERT_TRUE(QFile::link(other, path)); },
         [&] { return QFile::symLinkTarget(path) == other; }},
    };
    {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    for (const Case& c : cases) {
        c.plant();
        std::string error;
        auto [ok, sim] = open(&error);
        EXPECT_FALSE(ok) << c.what;
        EXPECT_NE(error.find("will not replace"), std::string::npos) << c.what << ": " << error;
        sim->Close();
        EXPECT_TRUE(c.intact()) << c.what;
        QFile::remove(path);
        QDir().rmdir(path);
    }
    // A stale link to a pseudo-terminal (an earlier run's) is replaced, and removed at the end.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/pts/999"), path));
    {
        std::string error;
        auto [ok, sim] = open(&error);
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(QFile::symLinkTarget(path).toStdString(), sim->DevicePath());
        sim->Close();
        EXPECT_FALSE(QFileInfo::exists(path) || QFileInfo(path).isSymLink());
    }
    // Replaced by someone else while it ran: left alone at the end.
    {
        std::string error;
        auto [ok, sim] = open(&error);
        ASSERT_TRUE(ok) << error;
        ASSERT_TRUE(QFile::remove(path));
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("theirs");
        }
        sim->Close();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("theirs"));
    }
}
