#include "Waveform.h"
#include "UpDown.h"
#include "Debug.h"
#include "Forms.h"
#include "Setup.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <tuple>
#include <vector>

namespace {

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Little-endian fields written by hand, independent of the program's own packing.
void Le(QByteArray& b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b += static_cast<char>((v >> (8 * i)) & 0xFF);
}
uint32_t Bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}
uint32_t LeAt(const QByteArray& b, int at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
}
int16_t SampleAt(const QByteArray& file, int i) { return static_cast<int16_t>(LeAt(file, 59 + 2 * i, 2)); }

QByteArray HandHeader(const QByteArray& magic, float interval, float amps, int32_t count)
{
    QByteArray b = magic.leftJustified(8, '\0', true);
    b += 'N';
    b += QByteArray("X").leftJustified(21, '\0');
    b += QByteArray("Amperes").leftJustified(13, '\0');
    Le(b, Bits(amps), 4);
    Le(b, Bits(interval), 4);
    Le(b, 12, 2);
    Le(b, 2048, 2);
    Le(b, static_cast<uint32_t>(count), 4);
    return b;
}

QByteArray HandFile(int32_t count, int samplesInFile, float interval = 1.0f / 2400, const QByteArray& magic = "WAVEFORM")
{
    QByteArray b = HandHeader(magic, interval, 0.25f, count);
    for (int i = 0; i < samplesInFile; ++i)
        Le(b, static_cast<uint16_t>(static_cast<int16_t>(i + 1)), 2);  // sample i holds i + 1
    return b;
}

class WaveformFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        fmDebug = new TfmDebug();
        fmSetup = new TfmSetup();
        wave = std::make_unique<TfmWaveform>();
    }
    void TearDown() override
    {
        TfmWaveform::InputBox = nullptr;
        wave.reset();
        delete fmSetup;
        delete fmDebug;
    }
    void Prefill(int16_t v) { std::fill(std::begin(wave->Samples), std::end(wave->Samples), v); }

    TempCurrentDir dir;
    std::unique_ptr<TfmWaveform> wave;
};

}  // namespace

TEST_F(WaveformFixture, CreatedStoreRunsAtTheInstrumentRate)
{
    EXPECT_DOUBLE_EQ(wave->SampleRate, 2400);
    EXPECT_FLOAT_EQ(wave->SecPerSample, 1.0f / 2400);
    EXPECT_EQ(std::size(wave->Samples), 145001u);
    EXPECT_TRUE(fmDebug->TraceText().contains("Waveform Form Create"));
    EXPECT_EQ(wave->windowTitle(), "Waveform View");
    // 643 x 523 is the outer size; offscreen there is no frame, so the client area is
    // what is left of it inside a sizeable frame.
    EXPECT_EQ(wave->size(), QSize(643 - OuterFrameWidth, 523 - OuterFrameHeight));
    for (const char* name : {"PaintBox1", "Panel1", "ContractButton", "ExpandButton", "SaveButton", "ExitButton",
                             "TrackBar1", "TStart", "TEnd", "CurStart", "CurSpan", "CurValue", "UpDown1", "Label1",
                             "Label2", "Label3"})
        EXPECT_NE(wave->findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(wave->TrackBar1->maximum(), 1000);
    EXPECT_EQ(wave->UpDown1->Max(), 6);
    EXPECT_EQ(wave->UpDown1->Min(), 0);
    wave->grab().save(ArtifactPath("waveform_form.png"));
}

TEST_F(WaveformFixture, AtItsMinimumSizeEveryControlIsWhole)
{
    wave->show();
    wave->resize(wave->minimumSize());
    QCoreApplication::processEvents();
    ASSERT_EQ(wave->size(), wave->minimumSize());
    const QRect client = wave->rect();
    for (QWidget* c : wave->findChildren<QWidget*>()) {
        if (!c->isVisible() || c->parentWidget() == nullptr)
            continue;
        const QRect r(c->mapTo(wave.get(), QPoint(0, 0)), c->size());
        EXPECT_TRUE(client.contains(r)) << c->objectName().toStdString() << " at " << r.x() << "," << r.y() << " "
                                        << r.width() << "x" << r.height();
        // And inside its own parent, which would clip it.
        EXPECT_TRUE(c->parentWidget()->rect().contains(c->geometry())) << c->objectName().toStdString();
    }
    wave->hide();
}

TEST_F(WaveformFixture, WriterLaysOutTheHeaderAndTheReaderTakesItBack)
{
    struct Case { const char* answer; int testType; char type; QByteArray id; };
    const Case cases[] = {
        {"SN-12345", 0, 'N', QByteArray("SN-12345").leftJustified(21, '\0')},
        // 25 characters: the first 21 fill the field, with no terminating zero.
        {"ABCDEFGHIJKLMNOPQRSTUVWXY", 1, 'M', "ABCDEFGHIJKLMNOPQRSTU"},
        {nullptr, 2, '?', QByteArray("DEFAULT").leftJustified(21, '\0')},  // Cancel: the default
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        QFile::remove("Test.kwf");
        ScriptedMessages m;
        m.answer(mrOk).answer(mrOk);
        int asked = 0;
        TfmWaveform::InputBox = [&](const QString& caption, const QString& prompt, const QString& def) {
            ++asked;
            EXPECT_EQ(caption, "WaveFile Serial Number");
            EXPECT_EQ(prompt, "Enter Ser Num or ID:");
            EXPECT_EQ(def, "DEFAULT");
            EXPECT_TRUE(m.requests.empty());  // the identification is asked first
            return c.answer ? QString(c.answer) : def;
        };
        fmSetup->TestType = static_cast<uint8_t>(c.testType);
        wave->SampleRate = 2000;
        wave->AmpsPerCount = 0.5f;
        Prefill(0);
        wave->Samples[0] = 1234;
        wave->Samples[1] = -2;
        wave->Samples[59998] = 77;
        wave->Samples[59999] = std::numeric_limits<int16_t>::min();
        wave->Samples[60000] = 99;  // beyond what a file holds
        wave->WriteWaveform("Test.kwf");
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(m.texts(), (std::vector<QString>{"Writing Waveform File: Test.kwf", "Bytes written 120059"}));
        EXPECT_EQ(m.requests[0].dlgType, mtWarning);
        EXPECT_EQ(m.requests[0].buttons, mbOKCancel);
        EXPECT_EQ(m.requests[1].dlgType, mtInformation);
        EXPECT_EQ(wave->SerNum, QString::fromLatin1(c.id.left(21)).section(QChar(0), 0, 0));

        const QByteArray f = ReadAll("Test.kwf");
        ASSERT_EQ(f.size(), 120059);
        EXPECT_EQ(f.mid(0, 8), "WAVEFORM");
        EXPECT_EQ(f[8], c.type);
        EXPECT_EQ(f.mid(9, 21), c.id);
        EXPECT_EQ(f.mid(30, 13), QByteArray("Amperes").leftJustified(13, '\0'));
        EXPECT_EQ(LeAt(f, 43, 4), Bits(0.5f));
        EXPECT_EQ(LeAt(f, 47, 4), Bits(static_cast<float>(1.0 / 2000)));
        EXPECT_EQ(LeAt(f, 51, 2), 12u);
        EXPECT_EQ(LeAt(f, 53, 2), 2048u);
        EXPECT_EQ(LeAt(f, 55, 4), 60000u);
        EXPECT_EQ(SampleAt(f, 0), 1234);
        EXPECT_EQ(SampleAt(f, 1), -2);
        EXPECT_EQ(SampleAt(f, 59999), -32768);

        // Read back into a store that holds something else.
        TfmWaveform other;
        std::fill(std::begin(other.Samples), std::end(other.Samples), int16_t(5));
        ASSERT_TRUE(other.ReadWaveform("Test.kwf"));
        EXPECT_EQ(other.Header.WaveType, c.type);
        EXPECT_EQ(QByteArray(other.Header.WaveId, 21), c.id);
        EXPECT_FLOAT_EQ(other.AmpsPerCount, 0.5f);
        EXPECT_EQ(other.SampleCount, 60000);
        EXPECT_NEAR(other.SampleRate, 2000, 1e-3);
        EXPECT_EQ(other.SampleRate, 1.0 / static_cast<double>(static_cast<float>(1.0 / 2000)));
        EXPECT_EQ(other.Samples[0], 1234);
        EXPECT_EQ(other.Samples[1], -2);
        EXPECT_EQ(other.Samples[59998], 77);
        EXPECT_EQ(other.Samples[59999], 0);  // the count's last entry is never read
        EXPECT_EQ(other.Samples[60000], 0);  // cleared with the rest
        EXPECT_EQ(other.Samples[60001], 5);  // beyond the file's reach: untouched
    }
}

TEST_F(WaveformFixture, ReaderCases)
{
    struct Case {
        const char* what;
        QByteArray file;
        bool ok;
        int sampleCount;
        int lastRead;   // index of the last sample taken from the file, -1 for none
        const char* message;
    };
    const Case cases[] = {
        {"count 99 reads as 60000", HandFile(99, 300), true, 60000, 299, nullptr},
        {"count 60001 reads as 60000", HandFile(60001, 300), true, 60000, 299, nullptr},
        {"count 100 reads 99 samples", HandFile(100, 150), true, 100, 98, nullptr},
        {"file ending early leaves zeros", HandFile(60000, 10), true, 60000, 9, nullptr},
        {"odd trailing byte is no sample", HandFile(60000, 3) + 'x', true, 60000, 2, nullptr},
        {"header only is a silent waveform", HandFile(60000, 0), true, 60000, -1, nullptr},
        {"lower-case magic", HandFile(60000, 10, 1.0f / 2400, "waveform"), false, 60000, -1, "w.kwf is Wrong File Type"},
        {"shorter than the header", HandFile(60000, 0).left(58), false, 60000, -1, "w.kwf is Wrong File Type"},
        {"empty file", QByteArray(), false, 60000, -1, "w.kwf is Wrong File Type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A good file first, so that nothing of it may survive into the next read.
        WriteAll("good.kwf", HandFile(5000, 5000, 1.0f / 2000));
        ASSERT_TRUE(wave->ReadWaveform("good.kwf"));
        Prefill(-9);
        WriteAll("w.kwf", c.file);
        ScriptedMessages m;
        EXPECT_EQ(wave->ReadWaveform("w.kwf"), c.ok);
        EXPECT_EQ(wave->SampleCount, c.sampleCount);
        for (int i = 0; i <= c.lastRead; i += std::max(1, c.lastRead / 7))
            EXPECT_EQ(wave->Samples[i], i + 1) << i;
        EXPECT_EQ(wave->Samples[c.lastRead + 1], 0);
        EXPECT_EQ(wave->Samples[60000], 0);
        EXPECT_EQ(wave->Samples[60001], -9);
        if (c.message) {
            ASSERT_EQ(m.texts(), std::vector<QString>{c.message});
            EXPECT_EQ(m.requests[0].dlgType, mtError);
            // The rejected header is this file's (zero where it has no bytes), not the last one's.
            EXPECT_NE(wave->Header.SampleInterval, 1.0f / 2000);
        } else {
            EXPECT_TRUE(m.requests.empty());
            EXPECT_NEAR(wave->SampleRate, 2400, 1e-3);
        }
    }
}

TEST_F(WaveformFixture, ShortHeaderDoesNotKeepThePreviousHeader)
{
    WriteAll("good.kwf", HandFile(5000, 100, 1.0f / 2000));
    ASSERT_TRUE(wave->ReadWaveform("good.kwf"));
    WriteAll("short.kwf", HandFile(5000, 0).left(30));  // "WAVEFORM" and a little more
    ScriptedMessages m;
    EXPECT_FALSE(wave->ReadWaveform("short.kwf"));
    EXPECT_EQ(m.texts(), std::vector<QString>{"short.kwf is Wrong File Type"});
    EXPECT_EQ(QByteArray(wave->Header.Magic, 8), "WAVEFORM");
    EXPECT_EQ(wave->Header.AmpsPerCount, 0.0f);
    EXPECT_EQ(wave->Header.SampleInterval, 0.0f);
    EXPECT_EQ(wave->SampleCount, 60000);
}

TEST_F(WaveformFixture, IntervalsOutsideFiveHundredToFiveThousandGiveTheInstrumentRate)
{
    struct Case { float interval; double rate; };
    const Case cases[] = {
        {1.0f / 2000, 1.0 / static_cast<double>(1.0f / 2000)},  // 1999.9999
        {1.0f / 2400, 1.0 / static_cast<double>(1.0f / 2400)},  // 2399.99994
        {1.0f / 5000, 2400},  // 5000.0001
        {1.0f / 500, 2400},   // 499.99998
        {1.0f / 400, 2400},
        {0.0f, 2400},
        {-1.0f / 2400, 2400},
        {std::numeric_limits<float>::quiet_NaN(), 2400},
        {std::numeric_limits<float>::infinity(), 2400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interval);
        WriteAll("r.kwf", HandFile(60000, 10, c.interval));
        ASSERT_TRUE(wave->ReadWaveform("r.kwf"));
        EXPECT_EQ(wave->SampleRate, c.rate);
        EXPECT_EQ(wave->SecPerSample, static_cast<float>(1.0 / c.rate));
    }
    EXPECT_NEAR(1.0 / static_cast<double>(1.0f / 2000), 1999.9999, 1e-4);
}

TEST_F(WaveformFixture, MissingFileIsReportedAndLeavesTheStoreAlone)
{
    Prefill(3);
    wave->SampleCount = 1234;
    ScriptedMessages m;
    EXPECT_FALSE(wave->LoadFile("nofile.kwf"));
    EXPECT_EQ(m.texts(), std::vector<QString>{"File: nofile.kwf Not Found"});
    EXPECT_EQ(m.requests[0].dlgType, mtError);
    EXPECT_EQ(m.requests[0].buttons, Btn(mbOK));
    EXPECT_EQ(wave->Samples[0], 3);
    EXPECT_EQ(wave->Samples[60000], 3);
    EXPECT_EQ(wave->SampleCount, 1234);
    EXPECT_DOUBLE_EQ(wave->SampleRate, 2400);
}

TEST_F(WaveformFixture, LoadFileResetsTheViewOverTheNewSamples)
{
    WriteAll("l.kwf", HandFile(60000, 10));
    wave->ViewStart = 3;
    wave->ViewEnd = 4;
    wave->CursorStart = 3.5f;
    wave->CursorEnd = 3.7f;
    ASSERT_TRUE(wave->LoadFile("l.kwf"));
    EXPECT_FLOAT_EQ(wave->TotalTime, 25.0f);
    EXPECT_EQ(wave->MinTime, 0);
    EXPECT_EQ(wave->ViewStart, 0);
    EXPECT_EQ(wave->ViewEnd, 1.0f);
    EXPECT_EQ(wave->CursorStart, 0);
    EXPECT_EQ(wave->CursorEnd, 1.0f);
    const QString trace = fmDebug->TraceText();
    EXPECT_LT(trace.indexOf("Waveform LoadFile"), trace.indexOf("ReadWaveform"));
    EXPECT_TRUE(trace.contains("Waveform Max Data = 60000"));
}

TEST_F(WaveformFixture, SavingOverALongerFileLeavesNoOldTailAndCancelLeavesFilesAsTheyWere)
{
    const QByteArray old(200000, '\x55');
    Prefill(0);
    wave->Samples[0] = 42;
    struct Case { const char* what; bool exists; std::vector<int> answers; std::vector<QString> asked; QByteArray after; };
    const std::vector<QString> both = {"Waveform File: s.kwf Exists. Overwrite?", "Writing Waveform File: s.kwf"};
    const Case cases[] = {
        {"overwrite", true, {mrOk, mrOk}, {both[0], both[1], "Bytes written 120059"}, QByteArray()},
        {"cancel at overwrite", true, {mrCancel}, {both[0]}, old},
        {"cancel at writing, existing", true, {mrOk, mrCancel}, both, old},
        {"cancel at writing, new", false, {mrCancel}, {both[1]}, QByteArray()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove("s.kwf");
        if (c.exists)
            WriteAll("s.kwf", old);
        ScriptedMessages m;
        for (int a : c.answers)
            m.answer(a);
        wave->WriteWaveform("s.kwf");
        EXPECT_EQ(m.texts(), c.asked);
        const QByteArray f = ReadAll("s.kwf");
        if (c.answers.back() == mrOk) {
            ASSERT_EQ(f.size(), 120059);
            EXPECT_EQ(SampleAt(f, 0), 42);
            EXPECT_EQ(SampleAt(f, 59999), 0);
        } else {
            EXPECT_EQ(f, c.after);
            EXPECT_EQ(QFile::exists("s.kwf"), c.exists);
        }
    }
}

TEST_F(WaveformFixture, AFailedSaveIsReported)
{
    ScriptedMessages m;
    m.answer(mrOk);
    wave->WriteWaveform("no-such-folder/s.kwf");
    EXPECT_EQ(m.texts(), (std::vector<QString>{"Writing Waveform File: no-such-folder/s.kwf",
                                               "Error writing file: no-such-folder/s.kwf"}));
    EXPECT_EQ(m.requests[1].dlgType, mtError);
}

// Demo samples by hand. At 2400 per second the phase steps 9 degrees per sample; a segment's
// sample k is Trunc(sin(9k + Phase) * (1 - (k / n) * (1 - EndRatio)) * Amplitude), n = 2400 * OnTime.
// The file starts with Trunc(2400 * 0.1) + 1 = 241 zeros.
// Norm: segment 1 (850, n = 120, 30 deg) covers 241..361, then 3601 zeros to 3962;
//   241 (k 0): sin 30 * 850 = 425 exactly, and 361 (k 120): sin 1110 = sin 30 * 0.8 * 850 = 340
//   exactly: whole values must not truncate one count low;
//   242 (k 1):  sin 39  = 0.62932 * (1 - 0.2/120)     * 850 = 534.03 -> 534
//   246 (k 5):  sin 75  = 0.96593 * (1 - 5*0.2/120)   * 850 = 814.19 -> 814
//   251 (k 10): sin 120 = 0.86603 * (1 - 10*0.2/120)  * 850 = 723.85 -> 723
//   segment 2 (810, n = 144, 90 deg) from 3963: k 0 is sin 90 * 810 = 810; 3964 (k 1):
//   sin 99 = 0.98769 * (1 - 0.2/144) * 810 = 798.92 -> 798; 4003 (k 40): sin 450 * (1 - 8/144) * 810
//   = 765 exactly; 145 samples to 4107, zeros to 7708;
//   segment 3 (820, n = 552, 0 deg) from 7709: 7719 (k 10): sin 90 * (1 - 2/552) * 820 = 817.03 -> 817;
//   553 samples to 8261, zeros to 11862; segment 4 (800, n = 600) from 11863: 11873 (k 10):
//   (1 - 2/600) * 800 = 797.33 -> 797; 601 samples to 12463, then 3601 zeros: 16065 samples in all.
// Mpu: segment 1 (60, n = 3600, 0 deg, EndRatio 10) covers 241..3841: 251 (k 10): sin 90 *
//   (1 + 10*9/3600) * 60 = 61.5 -> 61; 3831 (k 3590): sin 32310 = sin 270 = -1 *
//   (1 + 3590*9/3600) * 60 = -598.5 -> -598 (toward zero); no off time; segment 2 (600, n = 1200)
//   from 3842: 3847 (k 5): sin 45 = 0.70711 * (1 - 5*0.2/1200) * 600 = 423.91 -> 423; 3852 (k 10):
//   sin 90 * (1 - 2/1200) * 600 = 599 exactly; 1201 samples
//   to 5042, then 3601 zeros: 8644 samples in all.
TEST_F(WaveformFixture, DemoFilesHoldTheSegmentTables)
{
    struct Probe { int index; int16_t value; };
    struct Case {
        const char* name; bool mpu; const WaveSegments* segments; char type; int length;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {"KestrovanNorm.kwf", false, &NormSegments, 'N', 16065,
         {{0, 0}, {240, 0}, {241, 425}, {242, 534}, {246, 814}, {251, 723}, {361, 340}, {362, 0}, {3962, 0},
          {3963, 810}, {3964, 798}, {4003, 765}, {4108, 0}, {7719, 817}, {11873, 797}, {12464, 0}}},
        // Made right after the other in the same run, over its samples: zeros from 8644 on.
        {"KestrovanMpu.kwf", true, &MpuSegments, 'M', 8644,
         {{240, 0}, {251, 61}, {3831, -598}, {3847, 423}, {3852, 599}, {5043, 0}, {11873, 0}}},
    };
    Prefill(-7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedMessages m;
        m.answer(mrOk);
        wave->MakeWaveFile(c.name, c.mpu, *c.segments);
        EXPECT_EQ(m.texts(), (std::vector<QString>{QString("Writing Waveform File: ") + c.name, "Bytes written 120059"}));
        EXPECT_EQ(m.requests[0].dlgType, mtWarning);
        const QByteArray f = ReadAll(c.name);
        ASSERT_EQ(f.size(), 120059);
        EXPECT_EQ(f.mid(0, 8), "WAVEFORM");
        EXPECT_EQ(f[8], c.type);
        EXPECT_EQ(f.mid(9, 21), QByteArray("***DEFAULT***").leftJustified(21, '\0'));
        EXPECT_EQ(LeAt(f, 43, 4), Bits(0.244140625f));
        EXPECT_EQ(LeAt(f, 47, 4), Bits(static_cast<float>(1.0 / 2400)));
        EXPECT_EQ(LeAt(f, 51, 2), 10u);
        EXPECT_EQ(LeAt(f, 55, 4), 60000u);
        for (const Probe& p : c.probes)
            EXPECT_EQ(SampleAt(f, p.index), p.value) << p.index;
        EXPECT_NE(SampleAt(f, c.length - 3601 - 2), 0);  // current just before the final pause
        for (int i = c.length - 3601; i < 60000; ++i)
            ASSERT_EQ(SampleAt(f, i), 0) << i;
        EXPECT_EQ(wave->Samples[60000], -7);  // the store beyond the file is not touched
    }
}

TEST_F(WaveformFixture, CancelledDemoFileIsNotMadeAndIsOfferedAgain)
{
    ScriptedMessages m;
    m.answer(mrCancel);
    wave->MakeWaveFile("KestrovanNorm.kwf", false, NormSegments);
    EXPECT_EQ(m.texts(), std::vector<QString>{"Writing Waveform File: KestrovanNorm.kwf"});
    EXPECT_FALSE(QFile::exists("KestrovanNorm.kwf"));
    m.answer(mrOk);
    wave->MakeWaveFile("KestrovanNorm.kwf", false, NormSegments);
    EXPECT_EQ(ReadAll("KestrovanNorm.kwf").size(), 120059);
}

TEST_F(WaveformFixture, DemoFilesAreTheSameWhateverTheStoreHeldBefore)
{
    for (const auto& [name, mpu, segments] :
         {std::tuple{"KestrovanNorm.kwf", false, &NormSegments}, std::tuple{"KestrovanMpu.kwf", true, &MpuSegments}}) {
        SCOPED_TRACE(name);
        ScriptedMessages m;
        m.answer(mrOk).answer(mrOk).answer(mrOk).answer(mrOk);
        Prefill(0);
        wave->MakeWaveFile(name, mpu, *segments);
        const QByteArray first = ReadAll(name);
        TfmWaveform other;
        std::fill(std::begin(other.Samples), std::end(other.Samples), int16_t(1111));
        other.SampleRate = 1234;  // the synthesis uses the instrument's rate, not the store's
        other.MakeWaveFile(name, mpu, *segments);
        EXPECT_EQ(ReadAll(name), first);
    }
}
