// The calibration block: its exact bytes, decoding, the file and the age colours.
#include "Cal.h"
#include "KyrGlobals.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "Waveform.h"

#include <QFile>
#include <QLineEdit>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <memory>

namespace {

void WriteRaw(const QString& path, const QByteArray& bytes)
{
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray DefaultBlock(int day)
{
    QByteArray b;
    for (int r = 0; r < 8; ++r)
        b += "0.001225\r\n";
    b += "40\r\n100\r\n 5\r\n20\r\n15\r\n 0.100\r\n**DEFAULT*\r\n";
    b += QByteArray::number(day) + "\r\n";
    return b;
}

// A valid block with distinct values in every field.
QByteArray CustomBlock()
{
    return "0.001111\r\n0.002222\r\n0.003333\r\n0.004444\r\n0.005555\r\n0.006666\r\n0.007777\r\n9.876543\r\n"
           " 7\r\n250\r\n12\r\n33\r\n 9\r\n 0.250\r\nSN-0042   \r\n45000\r\n";
}

class CalRecord : public ::testing::Test {
protected:
    void SetUp() override
    {
        DemoMode = true;
        DataFolder = dir.path();
        cal = std::make_unique<TfmCal>();
        fmCal = cal.get();
    }
    void TearDown() override
    {
        cal.reset();
        DataFolder.clear();
        DemoMode = false;
    }
    // Reads `block` through the file; returns the message texts shown.
    std::vector<QString> ReadBlock(const QByteArray& block)
    {
        WriteRaw(dir.file(QStringLiteral("Kestrovan.kcf")), block);
        ScriptedMessages m;
        cal->ReadCalFile();
        return m.texts();
    }
    TempCurrentDir dir;
    std::unique_ptr<TfmCal> cal;
};

TEST(CalBlock, DefaultsAreWrittenAsTheExactBlockAndLeftReadOnly)
{
    TempCurrentDir dir;
    TfmCal cal;
    cal.AvgSamples = 77;
    ScriptedMessages m;
    m.answer(mrOk).answer(mrOk);
    cal.SetDefaultCal();
    EXPECT_EQ(m.texts(), (std::vector<QString>{QStringLiteral("Setting Default Values "),
                                               QStringLiteral("Writing to Cal File Kestrovan.kcf")}));
    const QString path = dir.file(QStringLiteral("Kestrovan.kcf"));
    const QByteArray bytes = ReadAll(path);
    EXPECT_EQ(bytes, DefaultBlock(Today()));
    EXPECT_EQ(bytes.size(), 128);
    EXPECT_FALSE(QFile::permissions(path) & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
    // The defaults do not count as a calibration, and nothing derived changes.
    EXPECT_TRUE(cal.CalError);
    EXPECT_EQ(cal.AvgSamples, 77);
    EXPECT_EQ(cal.SerNum, QStringLiteral("**DEFAULT*"));
    EXPECT_EQ(cal.CalFactor[1]->text(), QStringLiteral("0.001225"));
}

TEST(CalBlock, DeclinedDefaultsChangeNothing)
{
    TempCurrentDir dir;
    TfmCal cal;
    cal.OnThresh = 33;
    ScriptedMessages m;  // Cancel
    cal.SetDefaultCal();
    EXPECT_EQ(cal.OnThresh, 33);
    EXPECT_TRUE(cal.CalError);
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("Kestrovan.kcf"))));
}

TEST(CalBlock, FieldsAreWrittenAtTheirWidths)
{
    TfmCal cal;
    for (int r = 1; r <= 8; ++r)
        cal.Factor[r] = 0.001225f;
    cal.OnThresh = 5;
    cal.MPUThresh = 50;
    cal.OnDelay = 1;
    cal.OffThresh = 99;
    cal.OffDelay = 20;
    cal.AvgTime = 0.1;
    cal.CalibrationDate = 46366;
    struct Case {
        QString serNum;
        QByteArray field;
    } cases[] = {
        {QStringLiteral("ABCDEFGHIJKL"), "ABCDEFGHIJ"},  // cut to 10
        {QStringLiteral("X12"), "X12       "},           // padded with 7 blanks
    };
    for (const Case& c : cases) {
        cal.SerNum = c.serNum;
        QByteArray b;
        ASSERT_TRUE(cal.EncodeCalRecord(b)) << c.serNum.toStdString();
        ASSERT_EQ(b.size(), 128);
        EXPECT_EQ(b.mid(0, 10), QByteArray("0.001225\r\n"));
        EXPECT_EQ(b.mid(80, 4), QByteArray(" 5\r\n"));
        EXPECT_EQ(b.mid(84, 5), QByteArray(" 50\r\n"));
        EXPECT_EQ(b.mid(89, 4), QByteArray(" 1\r\n"));
        EXPECT_EQ(b.mid(93, 4), QByteArray("99\r\n"));
        EXPECT_EQ(b.mid(97, 4), QByteArray("20\r\n"));
        EXPECT_EQ(b.mid(101, 8), QByteArray(" 0.100\r\n"));
        EXPECT_EQ(b.mid(109, 12), c.field + "\r\n");
        EXPECT_EQ(b.mid(121, 7), QByteArray("46366\r\n"));
    }
}

TEST(CalBlock, ValuesThatDoNotFitTheirFieldsAreRefused)
{
    struct Case {
        const char* what;
        void (*spoil)(TfmCal&);
    } cases[] = {
        {"factor of 10", [](TfmCal& c) { c.Factor[3] = 10.0f; }},
        {"negative factor", [](TfmCal& c) { c.Factor[1] = -0.001f; }},
        {"on threshold 100", [](TfmCal& c) { c.OnThresh = 100; }},
        {"negative on threshold", [](TfmCal& c) { c.OnThresh = -5; }},
        {"MPU threshold 1000", [](TfmCal& c) { c.MPUThresh = 1000; }},
        {"on delay 0", [](TfmCal& c) { c.OnDelay = 0; }},
        {"off delay 0", [](TfmCal& c) { c.OffDelay = 0; }},
        {"negative off threshold", [](TfmCal& c) { c.OffThresh = -1; }},
        {"average time 100 s", [](TfmCal& c) { c.AvgTime = 100.0; }},
        {"negative average time", [](TfmCal& c) { c.AvgTime = -0.1; }},
        {"4-digit day number", [](TfmCal& c) { c.CalibrationDate = 9999; }},
        {"6-digit day number", [](TfmCal& c) { c.CalibrationDate = 100000; }},
    };
    for (const Case& c : cases) {
        TempCurrentDir dir;
        TfmCal cal;
        {
            ScriptedMessages m;
            m.answer(mrOk).answer(mrOk);
            cal.SetDefaultCal();
        }
        const QString path = dir.file(QStringLiteral("Kestrovan.kcf"));
        const QByteArray before = ReadAll(path);
        c.spoil(cal);
        QByteArray b = "untouched";
        EXPECT_FALSE(cal.EncodeCalRecord(b)) << c.what;
        EXPECT_EQ(b, QByteArray("untouched")) << c.what;
        ScriptedMessages m;
        m.answer(mrOk);
        EXPECT_FALSE(cal.WriteCalFile()) << c.what;
        EXPECT_TRUE(m.saw(QStringLiteral("Error writing file: Kestrovan.kcf"))) << c.what;
        EXPECT_EQ(ReadAll(path), before) << c.what;
        EXPECT_FALSE(QFile::permissions(path) & QFile::WriteOwner) << c.what;
    }
}

TEST(CalBlock, CancelledWriteLeavesFileAndAttributes)
{
    TempCurrentDir dir;
    const QString path = dir.file(QStringLiteral("Kestrovan.kcf"));
    WriteRaw(path, CustomBlock());
    const auto perms = QFile::permissions(path);
    TfmCal cal;
    cal.OnThresh = 40;
    ScriptedMessages m;  // Cancel
    EXPECT_FALSE(cal.WriteCalFile());
    EXPECT_EQ(ReadAll(path), CustomBlock());
    EXPECT_EQ(QFile::permissions(path), perms);
}

TEST_F(CalRecord, CustomBlockRoundTrip)
{
    EXPECT_TRUE(ReadBlock(CustomBlock()).empty());
    const float factors[9] = {0, 0.001111f, 0.002222f, 0.003333f, 0.004444f, 0.005555f, 0.006666f, 0.007777f, 9.876543f};
    for (int r = 1; r <= 8; ++r)
        EXPECT_FLOAT_EQ(cal->Factor[r], factors[r]) << r;
    EXPECT_EQ(cal->OnThresh, 7);
    EXPECT_EQ(cal->MPUThresh, 250);
    EXPECT_EQ(cal->OnDelay, 12);
    EXPECT_EQ(cal->OffThresh, 33);
    EXPECT_EQ(cal->OffDelay, 9);
    EXPECT_DOUBLE_EQ(cal->AvgTime, 0.25);
    EXPECT_EQ(cal->AvgSamples, 600);
    EXPECT_EQ(cal->SerNum, QStringLiteral("SN-0042   "));
    EXPECT_EQ(cal->CalibrationDate, 45000);
    EXPECT_FALSE(cal->CalError);
    EXPECT_EQ(std::memcmp(cal->CalRecord, CustomBlock().constData(), 128), 0);

    // Written back from the values, the file holds the same bytes.
    QByteArray again;
    ASSERT_TRUE(cal->EncodeCalRecord(again));
    EXPECT_EQ(again, CustomBlock());
    ScriptedMessages m;
    m.answer(mrOk);
    ASSERT_TRUE(cal->WriteCalFile());
    EXPECT_EQ(ReadAll(dir.file(QStringLiteral("Kestrovan.kcf"))), CustomBlock());
}

TEST_F(CalRecord, BlanksAroundFieldsDoNotMatter)
{
    QByteArray b = CustomBlock();
    b.replace(80, 4, "7 \r\n");      // on threshold left-aligned
    b.replace(0, 10, " 0.00111\r\n");  // a factor with a leading blank
    b.replace(109, 12, "  AB      \r\n");
    EXPECT_TRUE(ReadBlock(b).empty());
    EXPECT_EQ(cal->OnThresh, 7);
    EXPECT_FLOAT_EQ(cal->Factor[1], 0.00111f);
    EXPECT_EQ(cal->SerNum, QStringLiteral("AB        "));
    EXPECT_FALSE(cal->CalError);
}

TEST_F(CalRecord, SampleRateAndAverageTimeGiveAvgSamples)
{
    QByteArray b = CustomBlock();
    b.replace(101, 8, " 0.100\r\n");
    ReadBlock(b);
    EXPECT_EQ(cal->AvgSamples, 240);  // no store yet: 2400 per second

    TfmWaveform store;
    fmWaveform = &store;
    const std::pair<double, int> cases[] = {{0, 240}, {-5, 240}, {2000, 200}, {2400, 240}};
    for (auto [rate, samples] : cases) {
        store.SampleRate = rate;
        ReadBlock(b);
        EXPECT_EQ(cal->AvgSamples, samples) << rate;
        EXPECT_GT(store.SampleRate, 0) << rate;
    }
    fmWaveform = nullptr;
}

// A bad field stops the decode there: earlier fields keep their new values, later
// ones their old, and the calibration is flagged.
TEST_F(CalRecord, BadFieldsAreCorrupt)
{
    struct Case {
        const char* what;
        int offset;
        QByteArray bytes;
        int lastGoodField;  // fields before this one (1-based) were taken
    } cases[] = {
        {"factor not a number", 10, "0.00x222\r\n", 1},
        {"negative on threshold", 80, "-5\r\n", 8},
        {"on delay 0", 89, " 0\r\n", 10},
        {"negative off threshold", 93, "-1\r\n", 11},
        {"off delay 0", 97, " 0\r\n", 12},
        {"empty average time", 101, "      \r\n", 13},
        {"date not a number", 121, "4x000\r\n", 0},
    };
    for (const Case& c : cases) {
        cal->Factor[1] = 0.5f;
        cal->Factor[2] = 0.5f;
        cal->OnThresh = 1;
        cal->MPUThresh = 2;
        cal->OnDelay = 3;
        cal->OffThresh = 4;
        cal->OffDelay = 5;
        cal->CalError = false;
        QByteArray b = CustomBlock();
        b.replace(c.offset, c.bytes.size(), c.bytes);
        ASSERT_EQ(b.size(), 128);
        const auto texts = ReadBlock(b);
        // The defaults are offered (and declined here).
        EXPECT_EQ(texts, (std::vector<QString>{QStringLiteral("Calibration corrupted. Please recalibrate."),
                                               QStringLiteral("Setting Default Values ")}))
            << c.what;
        EXPECT_TRUE(cal->CalError) << c.what;
        EXPECT_EQ(cal->Factor[1] == 0.001111f, c.lastGoodField >= 1) << c.what;
        EXPECT_EQ(cal->OnThresh == 7, c.lastGoodField >= 9) << c.what;
        EXPECT_EQ(cal->OnDelay == 12, c.lastGoodField >= 11) << c.what;
        EXPECT_EQ(cal->OffDelay == 9, c.lastGoodField >= 13) << c.what;
        EXPECT_NE(cal->OnDelay, 0) << c.what;
        EXPECT_NE(cal->OffDelay, 0) << c.what;
        EXPECT_GE(cal->OnThresh, 0) << c.what;
        EXPECT_GE(cal->OffThresh, 0) << c.what;
    }
}

// Values the engine cannot use are a corrupt calibration like a field that is no
// number: refused, the defaults offered, and accepted defaults are what the engine
// gets (and what the file then holds; never "inf").
TEST_F(CalRecord, ValuesTheEngineCannotUseAreCorrupt)
{
    struct Case { const char* what; int offset; QByteArray bytes; };
    const Case cases[] = {
        {"factor 4e38", 0, "    4e38\r\n"},      {"factor 1e38", 10, "    1e38\r\n"},
        {"negative factor", 20, "-0.00122\r\n"}, {"factor 0", 30, "0.000000\r\n"},
        {"factor inf", 40, "     inf\r\n"},      {"factor nan", 50, "     nan\r\n"},
        {"average time 1e95", 101, "  1e95\r\n"}, {"average time 1e9", 101, "   1e9\r\n"},
        {"negative average time", 101, "-0.100\r\n"}, {"average time 99.999", 101, "99.999\r\n"},
        {"average time 0", 101, " 0.000\r\n"},   {"average time 10.5", 101, "10.500\r\n"},
    };
    for (const Case& c : cases) {
        QByteArray b = CustomBlock();
        b.replace(c.offset, c.bytes.size(), c.bytes);
        ASSERT_EQ(b.size(), 128) << c.what;
        // Declined: the flag is set and nothing unusable was taken.
        auto texts = ReadBlock(b);
        EXPECT_EQ(texts, (std::vector<QString>{QStringLiteral("Calibration corrupted. Please recalibrate."),
                                               QStringLiteral("Setting Default Values ")}))
            << c.what;
        EXPECT_TRUE(cal->CalError) << c.what;
        for (int r = 1; r <= 8; ++r)
            EXPECT_TRUE(CalFactorUsable(cal->Factor[r])) << c.what << " factor " << r;
        EXPECT_TRUE(CalAvgTimeUsable(cal->AvgTime)) << c.what;
        EXPECT_GT(cal->AvgSamples, 0) << c.what;
        EXPECT_LE(cal->AvgSamples, 24000) << c.what;

        // Accepted: the defaults, written and read back.
        WriteRaw(dir.file(QStringLiteral("Kestrovan.kcf")), b);
        ScriptedMessages m;
        m.answer(mrOk).answer(mrOk).answer(mrOk);
        cal->ReadCalFile();
        EXPECT_FLOAT_EQ(cal->Factor[1], 0.001225f) << c.what;
        EXPECT_DOUBLE_EQ(cal->AvgTime, 0.1) << c.what;
        const QByteArray file = ReadAll(dir.file(QStringLiteral("Kestrovan.kcf")));
        EXPECT_EQ(file, DefaultBlock(Today())) << c.what;
        EXPECT_FALSE(file.contains("inf")) << c.what;
    }
    // The limits themselves are usable.
    QByteArray b = CustomBlock();
    b.replace(101, 8, "10.000\r\n");
    b.replace(0, 10, "0.000001\r\n");
    EXPECT_TRUE(ReadBlock(b).empty());
    EXPECT_EQ(cal->AvgSamples, 24000);
    EXPECT_FLOAT_EQ(cal->Factor[1], 0.000001f);
}

// Values the engine cannot use are never written: the writer refuses them.
TEST(CalBlock, UnusableValuesAreNotEncoded)
{
    TfmCal cal;
    cal.SerNum = QStringLiteral("X");
    QByteArray block;
    ASSERT_TRUE(cal.EncodeCalRecord(block));  // the values it starts with are the defaults
    EXPECT_EQ(block.left(10), QByteArray("0.001225\r\n"));
    const float factors[] = {0.0f, -0.001f, std::numeric_limits<float>::infinity(), 1e38f};
    for (float f : factors) {
        TfmCal c;
        c.Factor[5] = f;
        EXPECT_FALSE(c.EncodeCalRecord(block)) << f;
    }
    for (double t : {0.0, -0.1, 10.5, 99.999, 1e95}) {
        TfmCal c;
        c.AvgTime = t;
        EXPECT_FALSE(c.EncodeCalRecord(block)) << t;
    }
}

// A block shorter than 128 bytes must not be decoded over the previous block's tail.
TEST_F(CalRecord, ShortOrNulBlocksLeaveTheCalibrationAsItWas)
{
    ASSERT_TRUE(ReadBlock(CustomBlock()).empty());
    const QByteArray record(cal->CalRecord, 128);
    QByteArray shortFile = DefaultBlock(46000).left(100);
    QByteArray withNul = DefaultBlock(46000);
    withNul[60] = '\0';
    for (const QByteArray& b : {shortFile, withNul, QByteArray()}) {
        const auto texts = ReadBlock(b);
        EXPECT_EQ(texts, (std::vector<QString>{QStringLiteral("Calibration corrupted. Please recalibrate."),
                                               QStringLiteral("Setting Default Values ")}));
        EXPECT_TRUE(cal->CalError);
        EXPECT_EQ(QByteArray(cal->CalRecord, 128), record);
        EXPECT_EQ(cal->OnThresh, 7);
        EXPECT_EQ(cal->SerNum, QStringLiteral("SN-0042   "));
        EXPECT_FLOAT_EQ(cal->Factor[8], 9.876543f);
    }
}

TEST_F(CalRecord, MissingFileWithDeclinedDefaultsIsAReadError)
{
    ScriptedMessages m;  // Cancel at the defaults
    cal->CalError = false;
    EXPECT_NO_THROW(cal->ReadCalFile());
    EXPECT_EQ(m.texts(), (std::vector<QString>{QStringLiteral("Cal File Kestrovan.kcf Missing."),
                                               QStringLiteral("Setting Default Values "),
                                               QStringLiteral("Error reading file: Kestrovan.kcf")}));
    EXPECT_TRUE(cal->CalError);
}

TEST_F(CalRecord, MissingFileWithAcceptedDefaultsReadsThemBack)
{
    ScriptedMessages m;
    m.answer(mrOk).answer(mrOk).answer(mrOk);
    cal->ReadCalFile();
    EXPECT_EQ(m.texts(), (std::vector<QString>{QStringLiteral("Cal File Kestrovan.kcf Missing."),
                                               QStringLiteral("Setting Default Values "),
                                               QStringLiteral("Writing to Cal File Kestrovan.kcf")}));
    // The file read after the defaults decodes cleanly.
    EXPECT_FALSE(cal->CalError);
    EXPECT_EQ(cal->AvgSamples, 240);
    EXPECT_EQ(cal->CalibrationDate, Today());
}

TEST(CalDayNumber, DatesAreDaysSince30December1899)
{
    struct Case {
        QDate date;
        int day;
    } cases[] = {{QDate(1899, 12, 30), 0}, {QDate(2000, 1, 1), 36526}, {QDate(2026, 12, 10), 46366},
                 {QDate(1927, 5, 18), 10000}};
    for (const Case& c : cases) {
        EXPECT_EQ(DateToDayNumber(c.date), c.day) << c.date.toString().toStdString();
        EXPECT_EQ(DayNumberToDate(c.day), c.date);
    }
}

TEST(CalDateColour, AgeInDaysGivesLimeYellowRed)
{
    const QColor lime(0, 255, 0), yellow(255, 255, 0), red(255, 0, 0);
    const int today = 46366;
    struct Case {
        int age;
        QColor colour;
    } cases[] = {{-10, lime}, {0, lime}, {335, lime}, {336, yellow}, {365, yellow}, {366, red}, {4000, red}};
    for (const Case& c : cases)
        EXPECT_EQ(CalDateColour(today - c.age, today), c.colour) << c.age;
}

}  // namespace
