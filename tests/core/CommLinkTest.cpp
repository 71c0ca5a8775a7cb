// The link through the real serial component and a pseudo-terminal, against the
// simulated instrument: the port search, the instrument test, the calibration block,
// the stream and its faults, and the start-up traffic.
#include "Cal.h"
#include "Comm.h"
#include "InstrumentSim.h"
#include "Delays.h"
#include "KyrGlobals.h"
#include "SerialComp.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using kvsim::Instrument;

namespace {

QByteArray CustomBlock()
{
    return "0.001111\r\n0.002222\r\n0.003333\r\n0.004444\r\n0.005555\r\n0.006666\r\n0.007777\r\n9.876543\r\n"
           " 7\r\n250\r\n12\r\n33\r\n 9\r\n 0.250\r\nSN-0042   \r\n45000\r\n";
}

// Deadline of the waits below: generous, for a loaded machine; a wait ends as soon as
// its condition holds.
constexpr int kPatience = 30000;

// Waits while the GUI thread keeps processing events (the worker's hand-overs run then).
bool PumpUntil(const std::function<bool()>& condition, int ms = kPatience)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(5);
    }
    return true;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> v;
    for (int b : list)
        v.push_back(uint8_t(b));
    return v;
}

class CommLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        DataFolder = dir.path();
        DemoMode = false;
        Instrument::Options o;
        o.Seed = 7;
        sim = std::make_unique<Instrument>(o);
        mute = std::make_unique<Instrument>();
        mute->SetSilent(true);
        std::string error;
        ASSERT_TRUE(sim->Open(&error)) << error;
        ASSERT_TRUE(mute->Open(&error)) << error;
        // A port that does not exist and one where nothing answers come first.
        ListPorts({"/nonexistent/ttyKV9", mute->DevicePath(), sim->DevicePath()});
        comm = std::make_unique<TfmComm>();
        fmComm = comm.get();
        cal = std::make_unique<TfmCal>();
        fmCal = cal.get();
    }
    void TearDown() override
    {
        cal.reset();
        comm.reset();
        sim.reset();
        mute.reset();
        unsetenv("KESTROVAN_SERIAL_PORTS");
        DataFolder.clear();
    }
    static void ListPorts(const std::vector<std::string>& ports)
    {
        std::string list;
        for (const std::string& p : ports)
            list += (list.empty() ? "" : ":") + p;
        setenv("KESTROVAN_SERIAL_PORTS", list.c_str(), 1);
    }
    QString SimPath() const { return QString::fromStdString(sim->DevicePath()); }
    // The instrument found and tested, as program control leaves it.
    void Connect()
    {
        QString port;
        comm->GetCommPortName(port);
        ASSERT_EQ(port, SimPath());
        ASSERT_EQ(comm->TestComm(port), 0);
    }
    // Takes every waiting sample into `into`.
    void Drain(std::vector<int>& into)
    {
        while (comm->RxCount >= 2)
            into.push_back(comm->GetSample());
    }

    TempCurrentDir dir;
    std::unique_ptr<Instrument> sim, mute;
    std::unique_ptr<TfmComm> comm;
    std::unique_ptr<TfmCal> cal;
};

TEST_F(CommLink, SearchFindsTheInstrumentBehindPortsThatDoNotAnswer)
{
    QString port;
    comm->GetCommPortName(port);
    EXPECT_EQ(port, SimPath());
    EXPECT_EQ(comm->PortName, SimPath());
    EXPECT_TRUE(comm->PortFound);
    EXPECT_TRUE(SerialPort->Active());
    EXPECT_EQ(SerialPort->CommPort(), SimPath());
    EXPECT_EQ(comm->RxCount, 0);  // the probe reply was cleared away
    // The silent port's simulator may read its probe late, after the port was closed.
    EXPECT_TRUE(PumpUntil([&] { return !mute->Received().empty(); }));
    EXPECT_EQ(mute->Received(), Bytes({0x14}));
    EXPECT_EQ(sim->Received(), Bytes({0x14}));

    // While the instrument answers on it, the port stays in use without a search.
    QString again;
    comm->GetCommPortName(again);
    EXPECT_EQ(again, SimPath());
    EXPECT_EQ(mute->Received(), Bytes({0x14}));
    EXPECT_EQ(sim->Received(), Bytes({0x14}));
}

TEST_F(CommLink, FailedSearchClosesThePortAndRetrySearchesAgain)
{
    ListPorts({mute->DevicePath()});
    QString port;
    comm->GetCommPortName(port);
    EXPECT_EQ(port, QStringLiteral("COM"));
    EXPECT_FALSE(comm->PortFound);
    EXPECT_FALSE(SerialPort->Active());
    // Retry probes again instead of returning the port where nothing answered.
    comm->GetCommPortName(port);
    EXPECT_EQ(port, QStringLiteral("COM"));
    EXPECT_TRUE(PumpUntil([&] { return mute->Received().size() >= 2; }));
    EXPECT_EQ(mute->Received(), Bytes({0x14, 0x14}));
    // And once the instrument answers there, the next search finds it.
    mute->SetSilent(false);
    comm->GetCommPortName(port);
    EXPECT_EQ(port, QString::fromStdString(mute->DevicePath()));
    EXPECT_TRUE(comm->PortFound);
}

TEST_F(CommLink, TestCommReportsEchoSilenceAndWrongEcho)
{
    struct Case {
        const char* what;
        std::function<void()> set;
        uint8_t result;
        bool found;
    } cases[] = {
        {"echo", [&] { sim->SetEcho('A'); }, 0, true},
        {"silence", [&] { sim->SetSilent(true); }, 2, false},
        {"wrong echo", [&] { sim->SetEcho('?'); }, 3, false},
        {"echo again", [&] { sim->SetEcho('A'); }, 0, true},
    };
    for (const Case& c : cases) {
        sim->SetSilent(false);
        c.set();
        comm->PortFound = !c.found;
        EXPECT_EQ(comm->TestComm(SimPath()), c.result) << c.what;
        EXPECT_EQ(comm->PortFound, c.found) << c.what;
    }
    EXPECT_TRUE(SerialPort->Active());
    ListPorts({"/nonexistent/ttyKV9"});
    comm->SerialPortOFF();
    EXPECT_EQ(comm->TestComm(QStringLiteral("/nonexistent/ttyKV9")), 1);
}

TEST_F(CommLink, RangeAndStartCommands)
{
    Connect();
    struct Case {
        int range;
        std::vector<uint8_t> bytes;  // as the instrument sees them
    } cases[] = {
        {1, {'7', 0x01}},        // not streaming yet: the digit, then the stream starts
        {8, {0x04, '0', 0x01}},  // streaming: stopped first
        {3, {0x04, '5', 0x01}},
    };
    for (const Case& c : cases) {
        sim->ClearReceived();
        comm->SendRange(c.range);
        EXPECT_TRUE(PumpUntil([&] { return sim->Received().size() >= c.bytes.size(); })) << c.range;
        EXPECT_EQ(sim->Received(), c.bytes) << c.range;
        EXPECT_EQ(sim->Range(), c.range);
        EXPECT_TRUE(comm->Streaming);
    }
    // Without a found port the start sends nothing and the flag stays as it was.
    comm->PortFound = false;
    sim->ClearReceived();
    comm->StartComm();
    EXPECT_TRUE(comm->Streaming);
    comm->StopComm();
    EXPECT_FALSE(comm->Streaming);
    // The stop is the first byte the instrument hears.
    EXPECT_TRUE(PumpUntil([&] { return !sim->Received().empty(); }));
    EXPECT_EQ(sim->Received(), Bytes({0x04}));
}

TEST_F(CommLink, CalibrationIsReadFromTheInstrument)
{
    Connect();
    sim->SetCalBlock(CustomBlock().toStdString());
    ScriptedMessages m;
    EXPECT_TRUE(cal->GetCalData());
    EXPECT_TRUE(m.requests.empty());
    EXPECT_FALSE(cal->CalError);
    EXPECT_EQ(QByteArray(cal->CalRecord, 128), CustomBlock());
    EXPECT_EQ(cal->OnThresh, 7);
    EXPECT_EQ(cal->MPUThresh, 250);
    EXPECT_FLOAT_EQ(cal->Factor[8], 9.876543f);
    EXPECT_EQ(cal->AvgSamples, 600);
    EXPECT_FALSE(comm->Streaming);
}

TEST_F(CommLink, WindowFetchesFromTheInstrumentWhenShown)
{
    Connect();
    sim->SetCalBlock(CustomBlock().toStdString());
    ScriptedMessages m;
    cal->show();
    ASSERT_TRUE(PumpUntil([&] { return cal->CalFactor[8]->text() == QStringLiteral("9.876543"); }));
    EXPECT_EQ(cal->CalOnThresh->value(), 7);
    EXPECT_EQ(cal->CalSerNum->text(), QStringLiteral("SN-0042   "));
    EXPECT_FALSE(cal->CalError);
    EXPECT_TRUE(m.requests.empty());
    cal->hide();
}

TEST_F(CommLink, BadCalibrationAnswersAreNotTaken)
{
    Connect();
    const QString corrupt = QStringLiteral("Calibration corrupted. Please recalibrate.");
    const QString defaults = QStringLiteral("Setting Default Values ");
    QByteArray withNul = CustomBlock();
    withNul[60] = '\0';
    struct Case {
        const char* what;
        std::function<void()> set;
        bool received;
        QString message;
    } cases[] = {
        {"byte 8 not a carriage return", [&] { sim->SetCalFault(kvsim::CalFault::NoCarriageReturn); }, false, defaults},
        {"a field not a number", [&] { sim->SetCalFault(kvsim::CalFault::NotANumber); }, true, corrupt},
        {"a NUL inside", [&] { sim->SetCalBlock(withNul.toStdString()); }, true, corrupt},
        {"short block", [&] { sim->SetCalFault(kvsim::CalFault::Short); }, false, defaults},
        {"no answer", [&] { sim->SetCalFault(kvsim::CalFault::Silent); }, false, defaults},
    };
    for (const Case& c : cases) {
        sim->SetCalFault(kvsim::CalFault::None);
        sim->SetCalBlock(CustomBlock().toStdString());
        c.set();
        cal->OnThresh = 33;
        cal->OnDelay = 3;
        cal->CalError = false;
        ScriptedMessages m;  // Cancel at the defaults
        EXPECT_EQ(cal->GetCalData(), c.received) << c.what;
        EXPECT_TRUE(cal->CalError) << c.what;
        // A corrupt block offers the defaults too.
        const std::vector<QString> want =
            c.message == corrupt ? std::vector<QString>{corrupt, defaults} : std::vector<QString>{c.message};
        EXPECT_EQ(m.texts(), want) << c.what;
        EXPECT_EQ(cal->OnDelay, 3) << c.what;
        if (std::string(c.what) == "a NUL inside") {
            EXPECT_EQ(cal->OnThresh, 33) << c.what;
        }
    }
}

TEST_F(CommLink, CalibrationIsWrittenToTheInstrument)
{
    Connect();
    QByteArray block = CustomBlock();
    {
        ScriptedMessages m;  // Cancel: nothing goes out
        comm->SendCal(block.constData());
        EXPECT_EQ(m.texts(), std::vector<QString>{QStringLiteral("Writing to PIC Memory")});
    }
    {
        ScriptedMessages m;
        m.answer(mrOk);
        comm->SendCal(block.constData());
    }
    ASSERT_TRUE(PumpUntil([&] { return sim->CalWrites() == 1; }));
    EXPECT_EQ(QByteArray::fromStdString(sim->CalBlock()), block);
    // The frame as the instrument saw it: stop, write, the block, stop.
    std::vector<uint8_t> got = sim->Received();
    std::vector<uint8_t> frame{0x04, 0x05};
    frame.insert(frame.end(), block.begin(), block.end());
    frame.push_back(0x04);
    ASSERT_GE(got.size(), frame.size());
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), got.end() - frame.size()));
    // And the next read gives it back.
    ScriptedMessages m;
    EXPECT_TRUE(cal->GetCalData());
    EXPECT_FALSE(cal->CalError);
    EXPECT_EQ(cal->SerNum, QStringLiteral("SN-0042   "));
}

TEST_F(CommLink, SaveSendsOnlyABlockThatReadBackCleanly)
{
    Connect();
    {
        ScriptedMessages m;
        ASSERT_TRUE(cal->GetCalData());
    }
    cal->RefreshCal();
    cal->CalOnThresh->setValue(11);
    cal->CalSerNum->setText(QStringLiteral("NEW-1"));
    {
        ScriptedMessages m;
        m.answer(mrOk).answer(mrOk);  // the file write, then the instrument write
        cal->SaveButtonClick();
        EXPECT_EQ(m.texts(), (std::vector<QString>{QStringLiteral("Writing to Cal File Kestrovan.kcf"),
                                                   QStringLiteral("Writing to PIC Memory")}));
    }
    ASSERT_TRUE(PumpUntil([&] { return sim->CalWrites() == 1; }));
    QFile f(dir.file(QStringLiteral("Kestrovan.kcf")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    EXPECT_EQ(QByteArray::fromStdString(sim->CalBlock()), file);
    EXPECT_EQ(file.mid(80, 4), QByteArray("11\r\n"));
    EXPECT_EQ(file.mid(109, 12), QByteArray("NEW-1     \r\n"));

    // A file that cannot be written and read back: nothing goes to the instrument.
    f.close();
    QFile::setPermissions(f.fileName(), QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(f.fileName());
    QDir(dir.path()).mkdir(QStringLiteral("Kestrovan.kcf"));
    ScriptedMessages m;
    m.answer(mrOk).answer(mrOk).answer(mrOk);
    cal->SaveButtonClick();
    EXPECT_TRUE(m.saw(QStringLiteral("Error writing file: Kestrovan.kcf")));
    EXPECT_TRUE(m.saw(QStringLiteral("Error reading file: Kestrovan.kcf")));
    EXPECT_FALSE(m.saw(QStringLiteral("Writing to PIC Memory")));
    EXPECT_TRUE(cal->CalError);
    QTest::qWait(100);
    EXPECT_EQ(sim->CalWrites(), 1);
}

// Ten seconds of stream decode to exactly the counts the instrument sent.
TEST_F(CommLink, StreamDecodesToTheSentSamplesNoneLostNoneOutOfOrder)
{
    const std::string kwf = dir.file(QStringLiteral("ramp.kwf")).toStdString();
    std::vector<int16_t> ramp;
    for (int i = 0; i < 1024; ++i)
        ramp.push_back(int16_t(i * 4 - 2048));
    ASSERT_TRUE(kvsim::WriteKwf(kwf, ramp));
    kvsim::KwfData d;
    std::string error;
    ASSERT_TRUE(kvsim::ReadKwf(kwf, d, error)) << error;
    Instrument::Options o;
    o.Loop = true;
    o.PlayDelay = 0;
    sim = std::make_unique<Instrument>(o);
    ASSERT_TRUE(sim->Open(&error)) << error;
    sim->SetWaveform(d.Samples);
    ListPorts({sim->DevicePath()});
    Connect();

    comm->StartComm();
    ASSERT_TRUE(comm->Streaming);
    // Ten seconds of stream as the instrument counts them, taken as the engine does,
    // a little at a time.
    std::vector<int> got;
    ASSERT_TRUE(PumpUntil(
        [&] {
            Drain(got);
            return sim->PairsSent() >= 10 * kvsim::PairsPerSecond;
        },
        6 * kPatience));
    comm->StopComm();
    ASSERT_TRUE(PumpUntil([&] { return !sim->Streaming(); }));
    // Every pair sent before the stop arrives, however late.
    const std::vector<int> sent = sim->Sent();
    EXPECT_TRUE(PumpUntil([&] {
        Drain(got);
        return got.size() >= sent.size();
    }));

    EXPECT_GE(sent.size(), size_t(10 * kvsim::PairsPerSecond));
    EXPECT_EQ(comm->ErrorCount, 0);
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent) << "first difference at "
                             << (std::mismatch(got.begin(), got.end(), sent.begin(), sent.end()).first - got.begin());
    EXPECT_EQ(sim->DroppedBytes(), 0);
}

TEST_F(CommLink, InjectedFaultsAreCountedAndListed)
{
    Connect();
    comm->StartComm();
    std::vector<int> got;
    ASSERT_TRUE(PumpUntil([&] {
        Drain(got);
        return got.size() > 200;
    }));
    EXPECT_EQ(comm->ErrorCount, 0);

    struct Case {
        const char* what;
        std::function<void()> inject;
        int errors;
        QString line;
    } cases[] = {
        {"lost first byte", [&] { sim->DropByte(false); }, 1, QStringLiteral("Error Type = FirstChar [")},
        {"wrong pair tag", [&] { sim->FlipTag(); }, 1, QStringLiteral("Error Type = CharMatch[")},
        {"lost second byte", [&] { sim->DropByte(true); }, 2, QStringLiteral("Error Type = SecondChar [")},
    };
    for (const Case& c : cases) {
        const int before = comm->ErrorCount;
        const int lines = comm->ErrorListBox1->count();
        auto listed = [&] {
            for (int i = lines; i < comm->ErrorListBox1->count(); ++i)
                if (comm->ErrorListBox1->item(i)->text().startsWith(c.line))
                    return true;
            return false;
        };
        c.inject();
        // The status timer lists the fault while the stream runs.
        EXPECT_TRUE(PumpUntil([&] {
            Drain(got);
            return listed();
        })) << c.what;
        // Then the decoder goes on well past the faulty pairs (the simulator puts the
        // fault into its next pair; a lost second byte costs a second error one pair
        // later), so every error the fault caused has been counted.
        const size_t mark = got.size();
        EXPECT_TRUE(PumpUntil([&] {
            Drain(got);
            return got.size() >= mark + 240;
        })) << c.what;
        EXPECT_EQ(comm->ErrorCount - before, c.errors) << c.what;
        EXPECT_TRUE(comm->Streaming) << c.what;
    }

    // A burst larger than the ring while nothing is taken out: the port's queue fills
    // (a nearly full cluster) or the ring overflows (the oldest bytes give way); either
    // way the loss is counted and the status timer stops the stream.
    const int before = comm->ErrorCount;
    sim->Burst(52000);
    EXPECT_TRUE(PumpUntil([&] { return !comm->Streaming; }));
    EXPECT_GT(comm->ErrorCount, before);
    EXPECT_EQ(comm->ErrorListBox1->item(comm->ErrorListBox1->count() - 1)->text(),
              QStringLiteral("Error Type = BufferMax"));
    EXPECT_TRUE(PumpUntil([&] { return !sim->Streaming(); }));
    // The whole burst (104000 bytes) still comes in: the ring ends full, never more.
    EXPECT_TRUE(PumpUntil([&] { return comm->RxCount == RxRingSize; }));
    EXPECT_EQ(comm->RxCount, RxRingSize);

    // The window as the technician sees it after such a run.
    comm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(comm.get(), kPatience));
    EXPECT_EQ(comm->windowTitle(), QStringLiteral("Communication Status"));
    EXPECT_FALSE(comm->ErrorCountBox->text().isEmpty());  // shown while the stream ran
    const QImage image = comm->grab().toImage();
    EXPECT_TRUE(image.save(ArtifactPath(QStringLiteral("CommunicationStatus.png"))));
}

TEST_F(CommLink, SilenceAndHangUpBringNoSamples)
{
    Connect();
    comm->StartComm();
    ASSERT_TRUE(PumpUntil([&] { return comm->RxCount > 100; }));
    sim->SetSilent(true);
    // Everything put on the line before the silence arrives (nothing is taken out of
    // the ring here), and then nothing more.
    EXPECT_TRUE(PumpUntil([&] { return comm->RxCount == 2 * sim->PairsSent(); }));
    EXPECT_EQ(comm->RxCount, 2 * sim->PairsSent());
    comm->ClearInput(true);
    QTest::qWait(300);
    EXPECT_EQ(comm->RxCount, 0);
    EXPECT_EQ(comm->ErrorCount, 0);

    sim->SetSilent(false);
    ASSERT_TRUE(PumpUntil([&] { return comm->RxCount > 100; }));
    const int lines = comm->ErrorListBox1->count();
    sim->HangUp();
    // The port's own reports of the lost line reach the list.
    EXPECT_TRUE(PumpUntil([&] { return comm->ErrorListBox1->count() > lines; }));
    // Whatever was on its way in before the line went has been handed over.
    int last = -1, still = 0;
    EXPECT_TRUE(PumpUntil([&] {
        still = SerialPort->NextClusterSize() < 0 && comm->RxCount == last ? still + 1 : 0;
        last = comm->RxCount;
        return still >= 20;
    }));
    comm->ClearInput(true);
    QTest::qWait(300);
    EXPECT_EQ(comm->RxCount, 0);
    EXPECT_NE(comm->TestComm(SimPath()), 0);
    EXPECT_FALSE(comm->PortFound);
}

// The start-up of a hardware test as program control runs it (search, instrument
// test, calibration read, range, stream restart), seen from the instrument's side.
TEST_F(CommLink, StartUpTrafficAsTheInstrumentSeesIt)
{
    struct Step {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    const Step table[] = {
        {"probe (port search)", {0x14}},
        {"stop (instrument test)", {0x04}},
        {"carriage return", {0x0D}},
        {"test string", {'A', 0x0D}},
        {"stop (calibration read)", {0x04}},
        {"read calibration", {0x03}},
        {"range 4", {'4'}},
        {"start (after the range)", {0x01}},
        {"stop (stream restart)", {0x04}},
        {"start", {0x01}},
    };
    sim->SetCalBlock(CustomBlock().toStdString());
    QString port;
    comm->GetCommPortName(port);
    ASSERT_EQ(comm->TestComm(port), 0);
    {
        ScriptedMessages m;
        ASSERT_TRUE(cal->GetCalData());
        ASSERT_FALSE(cal->CalError);  // no reset needed
    }
    comm->SendRange(4);
    comm->StopComm();
    WaitMs(500);
    comm->ClearInput(true);
    comm->StartComm();

    std::vector<uint8_t> want;
    for (const Step& s : table)
        want.insert(want.end(), s.bytes.begin(), s.bytes.end());
    ASSERT_TRUE(PumpUntil([&] { return sim->Received().size() >= want.size(); }));
    QTest::qWait(100);
    const std::vector<uint8_t> got = sim->Received();
    EXPECT_EQ(got, want);
    // Step by step, so a difference names the step.
    size_t at = 0;
    for (const Step& s : table) {
        ASSERT_LE(at + s.bytes.size(), got.size()) << s.what;
        EXPECT_TRUE(std::equal(s.bytes.begin(), s.bytes.end(), got.begin() + long(at))) << s.what;
        at += s.bytes.size();
    }
    EXPECT_EQ(sim->Range(), 4);
    EXPECT_TRUE(sim->Streaming());
    EXPECT_TRUE(comm->Streaming);
    comm->StopComm();
}

}  // namespace
