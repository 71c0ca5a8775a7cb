// The calibration block's codec on a plain TCalData, with no window: the exact bytes
// written, the values read, the fields that stop a decode, and the file. The window's
// messages around it are CalRecordTest's.
#include "CalRecord.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <limits>

namespace {

// A valid block with distinct values in every field.
const QByteArray kCustomBlock =
    "0.001111\r\n0.002222\r\n0.003333\r\n0.004444\r\n0.005555\r\n0.006666\r\n0.007777\r\n9.876543\r\n"
    " 7\r\n250\r\n12\r\n33\r\n 9\r\n 0.250\r\nSN-0042   \r\n45000\r\n";

TCalData DefaultCal(int day)
{
    TCalData cal;
    CalDefaultValues(cal);
    cal.CalibrationDate = day;
    return cal;
}

TEST(CalBlockCodec, DefaultsEncodeAsTheExactBlock)
{
    QByteArray expect;
    for (int r = 0; r < 8; ++r)
        expect += "0.001225\r\n";
    expect += "40\r\n100\r\n 5\r\n20\r\n15\r\n 0.100\r\n**DEFAULT*\r\n46366\r\n";
    QByteArray block;
    ASSERT_TRUE(EncodeCalBlock(DefaultCal(46366), block));
    EXPECT_EQ(block, expect);
    EXPECT_EQ(block.size(), CalRecordSize);

    // The defaults are dated today; the flag and the derived count are not theirs to set.
    TCalData cal;
    cal.CalError = true;
    cal.AvgSamples = 77;
    CalDefaultValues(cal);
    EXPECT_EQ(cal.CalibrationDate, Today());
    EXPECT_TRUE(cal.CalError);
    EXPECT_EQ(cal.AvgSamples, 77);
}

TEST(CalBlockCodec, SerialNumberIsCutOrPaddedToTenAndNothingElseMoves)
{
    const std::pair<QString, QByteArray> cases[] = {
        {QStringLiteral("ABCDEFGHIJKL"), "ABCDEFGHIJ"},
        {QStringLiteral("X12"), "X12       "},
        {QString(), "          "},
    };
    for (const auto& [serNum, field] : cases) {
        TCalData cal = DefaultCal(46366);
        cal.SerNum = serNum;
        QByteArray block;
        ASSERT_TRUE(EncodeCalBlock(cal, block)) << serNum.toStdString();
        ASSERT_EQ(block.size(), CalRecordSize);
        EXPECT_EQ(block.mid(109, 12), field + "\r\n");
        EXPECT_EQ(block.mid(121, 7), QByteArray("46366\r\n"));
    }
}

// A value that does not fit its field, or that the engine cannot use, is never encoded:
// the block given is left as it was.
TEST(CalBlockCodec, ValuesThatDoNotFitOrCannotBeUsedAreNotEncoded)
{
    struct Case {
        const char* what;
        void (*spoil)(TCalData&);
    } cases[] = {
        {"factor of 10", [](TCalData& c) { c.Factor[3] = 10.0f; }},
        {"factor 0", [](TCalData& c) { c.Factor[8] = 0.0f; }},
        {"negative factor", [](TCalData& c) { c.Factor[1] = -0.001f; }},
        {"infinite factor", [](TCalData& c) { c.Factor[5] = std::numeric_limits<float>::infinity(); }},
        {"on threshold 100", [](TCalData& c) { c.OnThresh = 100; }},
        {"negative off threshold", [](TCalData& c) { c.OffThresh = -1; }},
        {"MPU threshold 1000", [](TCalData& c) { c.MPUThresh = 1000; }},
        {"on delay 0", [](TCalData& c) { c.OnDelay = 0; }},
        {"off delay 0", [](TCalData& c) { c.OffDelay = 0; }},
        {"average time 0", [](TCalData& c) { c.AvgTime = 0; }},
        {"average time 10.5", [](TCalData& c) { c.AvgTime = 10.5; }},
        {"average time 1e95", [](TCalData& c) { c.AvgTime = 1e95; }},
        {"4-digit day number", [](TCalData& c) { c.CalibrationDate = 9999; }},
        {"6-digit day number", [](TCalData& c) { c.CalibrationDate = 100000; }},
    };
    for (const Case& c : cases) {
        TCalData cal = DefaultCal(46366);
        c.spoil(cal);
        QByteArray block = "untouched";
        EXPECT_FALSE(EncodeCalBlock(cal, block)) << c.what;
        EXPECT_EQ(block, QByteArray("untouched")) << c.what;
    }
}

TEST(CalBlockCodec, DecodeTakesEveryFieldAndEncodesBackToTheSameBytes)
{
    TCalData cal;
    cal.CalError = true;
    ASSERT_TRUE(DecodeCalBlock(kCustomBlock.constData(), cal, nullptr));
    const float factors[9] = {0, 0.001111f, 0.002222f, 0.003333f, 0.004444f, 0.005555f, 0.006666f, 0.007777f, 9.876543f};
    for (int r = 1; r <= 8; ++r)
        EXPECT_FLOAT_EQ(cal.Factor[r], factors[r]) << r;
    EXPECT_EQ(cal.OnThresh, 7);
    EXPECT_EQ(cal.MPUThresh, 250);
    EXPECT_EQ(cal.OnDelay, 12);
    EXPECT_EQ(cal.OffThresh, 33);
    EXPECT_EQ(cal.OffDelay, 9);
    EXPECT_DOUBLE_EQ(cal.AvgTime, 0.25);
    EXPECT_EQ(cal.AvgSamples, 600);  // no rate given: 2400 a second
    EXPECT_EQ(cal.SerNum, QStringLiteral("SN-0042   "));
    EXPECT_EQ(cal.CalibrationDate, 45000);
    EXPECT_FALSE(cal.CalError);

    QByteArray again;
    ASSERT_TRUE(EncodeCalBlock(cal, again));
    EXPECT_EQ(again, kCustomBlock);
}

TEST(CalBlockCodec, BlanksAndControlCharactersAroundFieldsDoNotMatter)
{
    QByteArray b = kCustomBlock;
    b.replace(80, 4, "7 \r\n");
    b.replace(0, 10, " 0.00111\r\n");
    b.replace(109, 12, "\t AB      \r\n");
    ASSERT_EQ(b.size(), CalRecordSize);
    TCalData cal;
    ASSERT_TRUE(DecodeCalBlock(b.constData(), cal, nullptr));
    EXPECT_EQ(cal.OnThresh, 7);
    EXPECT_FLOAT_EQ(cal.Factor[1], 0.00111f);
    EXPECT_EQ(cal.SerNum, QStringLiteral("AB        "));
    EXPECT_EQ(CalFieldText(b.constData(), 15), QStringLiteral("AB"));
    EXPECT_EQ(CalFieldText(b.constData(), 16), QStringLiteral("45000"));
}

// The sample rate given is the waveform store's: one not above 0 is made 2400 there.
TEST(CalBlockCodec, AvgSamplesFollowTheSampleRate)
{
    struct Case { double rate; int samples; double rateAfter; };
    const Case cases[] = {{2400, 600, 2400}, {2000, 500, 2000}, {0, 600, 2400}, {-5, 600, 2400}, {1e300, 1000000000, 1e300}};
    for (const Case& c : cases) {
        TCalData cal;
        double rate = c.rate;
        ASSERT_TRUE(DecodeCalBlock(kCustomBlock.constData(), cal, &rate)) << c.rate;
        EXPECT_EQ(cal.AvgSamples, c.samples) << c.rate;
        EXPECT_EQ(rate, c.rateAfter) << c.rate;
    }
}

// A decode stops at the first field it cannot use: the fields before it are taken, the
// later ones and the flag stay as they were.
TEST(CalBlockCodec, AFieldThatCannotBeUsedStopsTheDecodeThere)
{
    struct Case {
        const char* what;
        int offset;
        QByteArray bytes;
        int taken;  // fields (1-based) before this one were taken
    } cases[] = {
        {"factor not a number", 10, "0.00x222\r\n", 2},
        {"factor 1e38", 30, "    1e38\r\n", 4},
        {"factor nan", 50, "     nan\r\n", 6},
        {"negative on threshold", 80, "-5\r\n", 9},
        {"on delay 0", 89, " 0\r\n", 11},
        {"negative off threshold", 93, "-1\r\n", 12},
        {"off delay 0", 97, " 0\r\n", 13},
        {"empty average time", 101, "      \r\n", 14},
        {"average time 99.999", 101, "99.999\r\n", 14},
        {"date not a number", 121, "4x000\r\n", 16},
    };
    for (const Case& c : cases) {
        QByteArray b = kCustomBlock;
        b.replace(c.offset, c.bytes.size(), c.bytes);
        ASSERT_EQ(b.size(), CalRecordSize) << c.what;
        TCalData cal;
        for (int r = 1; r <= 8; ++r)
            cal.Factor[r] = 0.5f;
        cal.OnThresh = 1;
        cal.OnDelay = 3;
        cal.OffDelay = 5;
        cal.AvgTime = 0.5;
        cal.SerNum = QStringLiteral("old");
        cal.CalError = true;
        EXPECT_FALSE(DecodeCalBlock(b.constData(), cal, nullptr)) << c.what;
        EXPECT_TRUE(cal.CalError) << c.what;
        EXPECT_EQ(cal.Factor[1] == 0.001111f, c.taken > 1) << c.what;
        EXPECT_EQ(cal.Factor[8] == 9.876543f, c.taken > 8) << c.what;
        EXPECT_EQ(cal.OnThresh == 7, c.taken > 9) << c.what;
        EXPECT_EQ(cal.OnDelay == 12, c.taken > 11) << c.what;
        EXPECT_EQ(cal.OffDelay == 9, c.taken > 13) << c.what;
        EXPECT_EQ(cal.AvgTime == 0.25, c.taken > 14) << c.what;
        EXPECT_EQ(cal.SerNum == QStringLiteral("SN-0042   "), c.taken > 15) << c.what;
    }
    QByteArray b = kCustomBlock;
    b.replace(121, 7, "4x000\r\n");
    EXPECT_THROW(CalBlockDate(b.constData()), EConvertError);
}

TEST(CalBlockCodec, AWholeBlockIs128BytesWithoutANul)
{
    QByteArray withNul = kCustomBlock;
    withNul[60] = '\0';
    const std::pair<QByteArray, bool> cases[] = {
        {kCustomBlock, true},
        {kCustomBlock + "more after the block", true},
        {kCustomBlock.left(127), false},
        {withNul, false},
        {QByteArray(), false},
    };
    for (const auto& [bytes, whole] : cases)
        EXPECT_EQ(CalBlockWhole(bytes), whole) << bytes.size();
}

TEST(CalBlockCodec, TheFileIsWrittenWholeAndReadOnlyAndReadBackAsTheBlock)
{
    TempCurrentDir dir;
    const QString path = dir.file(QString::fromLatin1(CalFileName));
    QByteArray bytes = "untouched";
    EXPECT_FALSE(ReadCalBlock(path, bytes));
    EXPECT_EQ(bytes, QByteArray("untouched"));

    TCalData cal;
    ASSERT_TRUE(DecodeCalBlock(kCustomBlock.constData(), cal, nullptr));
    ASSERT_TRUE(WriteCalBlock(path, cal));
    EXPECT_EQ(ReadOrMissing(path), kCustomBlock);
    EXPECT_FALSE(QFile::permissions(path) & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
    ASSERT_TRUE(ReadCalBlock(path, bytes));
    EXPECT_EQ(bytes, kCustomBlock);

    // Values that cannot be encoded leave the old file as it was.
    cal.OnDelay = 0;
    EXPECT_FALSE(WriteCalBlock(path, cal));
    EXPECT_EQ(ReadOrMissing(path), kCustomBlock);
    EXPECT_EQ(FolderEntries(dir.path()), QStringList{QString::fromLatin1(CalFileName)});

    // Only the block is read from a longer file.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("tail");
    }
    ASSERT_TRUE(ReadCalBlock(path, bytes));
    EXPECT_EQ(bytes, kCustomBlock);
}

}  // namespace
