// The waveform file's layout on its own: header bytes, sample bytes and the rate a
// header stands for, without the window that reads and writes the files.
#include "WaveFile.h"

#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

TEST(WaveHeader, PackAndUnpackAreInverseAndLittleEndian)
{
    WaveFileHeader h;
    std::memcpy(h.Magic, "WAVEFORM", 8);
    h.WaveType = 'M';
    std::memcpy(h.WaveId, "ID", 2);
    h.AmpsPerCount = 0.125f;
    h.SampleInterval = 1.0f / 2400;
    h.Bits = 0x1234;
    h.ZeroOffset = 2048;
    h.SampleCount = -2;
    const QByteArray b = PackWaveHeader(h);
    ASSERT_EQ(b.size(), 59);
    EXPECT_EQ(b.mid(51, 2), QByteArray("\x34\x12", 2));
    EXPECT_EQ(b.mid(55, 4), QByteArray("\xFE\xFF\xFF\xFF", 4));
    const WaveFileHeader r = UnpackWaveHeader(b);
    EXPECT_EQ(PackWaveHeader(r), b);
    EXPECT_EQ(r.SampleCount, -2);
    EXPECT_EQ(r.Bits, 0x1234);
    EXPECT_EQ(r.SampleInterval, 1.0f / 2400);
    EXPECT_EQ(PackWaveHeader(UnpackWaveHeader(b.left(8))), b.left(8) + QByteArray(51, '\0'));
}

TEST(WaveHeader, NewHeaderCarriesTheFixedFields)
{
    const WaveFileHeader h = NewWaveHeader();
    EXPECT_TRUE(IsWaveFileHeader(h));
    EXPECT_EQ(QByteArray(h.UnitText, 13), QByteArray("Amperes\0\0\0\0\0\0", 13));
    EXPECT_EQ(h.ZeroOffset, 2048);
    EXPECT_EQ(h.SampleCount, 60000);
    WaveFileHeader other = h;
    other.Magic[7] = 'X';
    EXPECT_FALSE(IsWaveFileHeader(other));
    EXPECT_FALSE(IsWaveFileHeader(WaveFileHeader()));
    // Text longer than its field is cut; shorter leaves zeros.
    PutWaveText(other.WaveId, QByteArray("0123456789012345678901234"));
    EXPECT_EQ(QByteArray(other.WaveId, 21), QByteArray("012345678901234567890"));
    PutWaveText(other.WaveId, QByteArray("AB"));
    EXPECT_EQ(QByteArray(other.WaveId, 21), QByteArray("AB") + QByteArray(19, '\0'));
}

TEST(WaveHeader, RateFromTheIntervalOrTheInstrumentRate)
{
    struct Case { float interval; double rate; };
    const Case cases[] = {
        {1.0f / 2000, 1.0 / static_cast<double>(1.0f / 2000)},
        {1.0f / 2400, 1.0 / static_cast<double>(1.0f / 2400)},
        {1.0f / 5000, 2400},  // 5000.0001
        {1.0f / 500, 2400},   // 499.99998
        {0.0f, 2400},
        {-1.0f / 2400, 2400},
        {std::numeric_limits<float>::quiet_NaN(), 2400},
        {std::numeric_limits<float>::infinity(), 2400},
    };
    for (const Case& c : cases) {
        WaveFileHeader h;
        h.SampleInterval = c.interval;
        EXPECT_EQ(WaveSampleRate(h), c.rate) << c.interval;
    }
}

TEST(WaveSamples, BytesAfterTheHeaderAreLittleEndianCountsAndReadBack)
{
    std::vector<int16_t> store(WaveFileSamples + 10, 0);
    store[0] = -2048;
    store[1] = 2044;
    store[2] = 0x1234;
    store[WaveFileSamples - 1] = -1;
    store[WaveFileSamples] = 999;  // beyond what a file holds
    const WaveFileHeader h = NewWaveHeader();
    const QByteArray b = WaveFileBytes(h, store.data());
    ASSERT_EQ(b.size(), 59 + 2 * 60000);
    EXPECT_EQ(b.left(59), PackWaveHeader(h));
    EXPECT_EQ(b.mid(59, 6), QByteArray("\x00\xF8\xFC\x07\x34\x12", 6));
    EXPECT_EQ(b.right(2), QByteArray("\xFF\xFF", 2));

    std::vector<int16_t> back(WaveFileSamples + 10, 7);
    EXPECT_EQ(UnpackWaveSamples(b.mid(59), back.data()), WaveFileSamples);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + WaveFileSamples, store.begin()));
    EXPECT_EQ(back[WaveFileSamples], 7);
    // A trailing odd byte is no sample.
    EXPECT_EQ(UnpackWaveSamples(QByteArray("\x01\x00\x02", 3), back.data()), 1);
    EXPECT_EQ(back[0], 1);
    EXPECT_EQ(back[1], 2044);  // left as it was
}
