#include "WaveFile.h"

#include <cstring>

namespace {

const char kMagic[8] = {'W', 'A', 'V', 'E', 'F', 'O', 'R', 'M'};

void PutU16(QByteArray& b, int at, uint16_t v)
{
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

void PutU32(QByteArray& b, int at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint16_t GetU16(const QByteArray& b, int at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}

uint32_t GetU32(const QByteArray& b, int at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
}

uint32_t FloatBits(float f)
{
    uint32_t u = 0;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

float BitsFloat(uint32_t u)
{
    float f = 0;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

}  // namespace

QByteArray PackWaveHeader(const WaveFileHeader& h)
{
    QByteArray b(WaveHeaderSize, '\0');
    std::memcpy(b.data() + 0, h.Magic, 8);
    b[8] = h.WaveType;
    std::memcpy(b.data() + 9, h.WaveId, 21);
    std::memcpy(b.data() + 30, h.UnitText, 13);
    PutU32(b, 43, FloatBits(h.AmpsPerCount));
    PutU32(b, 47, FloatBits(h.SampleInterval));
    PutU16(b, 51, h.Bits);
    PutU16(b, 53, h.ZeroOffset);
    PutU32(b, 55, static_cast<uint32_t>(h.SampleCount));
    return b;
}

WaveFileHeader UnpackWaveHeader(const QByteArray& bytes)
{
    QByteArray b = bytes.left(WaveHeaderSize);
    b.append(QByteArray(WaveHeaderSize - static_cast<int>(b.size()), '\0'));
    WaveFileHeader h;
    std::memcpy(h.Magic, b.constData() + 0, 8);
    h.WaveType = b[8];
    std::memcpy(h.WaveId, b.constData() + 9, 21);
    std::memcpy(h.UnitText, b.constData() + 30, 13);
    h.AmpsPerCount = BitsFloat(GetU32(b, 43));
    h.SampleInterval = BitsFloat(GetU32(b, 47));
    h.Bits = GetU16(b, 51);
    h.ZeroOffset = GetU16(b, 53);
    h.SampleCount = static_cast<int32_t>(GetU32(b, 55));
    return h;
}

WaveFileHeader NewWaveHeader()
{
    WaveFileHeader h;
    std::memcpy(h.Magic, kMagic, sizeof h.Magic);
    PutWaveText(h.UnitText, QByteArrayLiteral("Amperes"));
    h.ZeroOffset = 2048;
    h.SampleCount = WaveFileSamples;
    return h;
}

bool IsWaveFileHeader(const WaveFileHeader& h)
{
    return std::memcmp(h.Magic, kMagic, sizeof kMagic) == 0;
}

double WaveSampleRate(const WaveFileHeader& h)
{
    // The rate is the reciprocal of the stored single (1/2400 s reads back as 2399.99994);
    // no interval, or one that gives a rate outside 500..5000, means the instrument's 2400.
    double rate = 2400;
    if (h.SampleInterval > 0)
        rate = 1.0 / static_cast<double>(h.SampleInterval);
    if (!(rate >= 500 && rate <= 5000))
        rate = 2400;
    return rate;
}

QByteArray WaveFileBytes(const WaveFileHeader& h, const int16_t* samples)
{
    QByteArray b = PackWaveHeader(h);
    b.resize(WaveHeaderSize + 2 * WaveFileSamples);
    for (int i = 0; i < WaveFileSamples; ++i)
        PutU16(b, WaveHeaderSize + 2 * i, static_cast<uint16_t>(samples[i]));
    return b;
}

int UnpackWaveSamples(const QByteArray& data, int16_t* samples)
{
    const int n = static_cast<int>(data.size() / 2);
    for (int i = 0; i < n; ++i)
        samples[i] = static_cast<int16_t>(GetU16(data, 2 * i));
    return n;
}
