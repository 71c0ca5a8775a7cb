// The waveform file ".kwf": a 59-byte header and 16-bit samples, little-endian. Only
// bytes and values here; the waveform window reads and writes the files through these.
#pragma once

#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The first 59 bytes of a waveform file. Kept as plain fields; PackWaveHeader and
// UnpackWaveHeader lay them out byte by byte (little-endian, no padding).
struct WaveFileHeader {
    char Magic[8] = {};          // "WAVEFORM", no terminator
    char WaveType = 0;           // 'N' normal test, 'M' minimum pick-up test, '?' other
    char WaveId[21] = {};        // identification, unused bytes zero
    char UnitText[13] = {};      // "Amperes", unused bytes zero
    float AmpsPerCount = 0;      // amperes per count
    float SampleInterval = 0;    // seconds between samples
    uint16_t Bits = 0;           // 10 synthesised, 12 saved
    uint16_t ZeroOffset = 0;     // 2048
    int32_t SampleCount = 0;     // samples that follow the header
};

constexpr int WaveHeaderSize = 59;
// Samples this program writes into every waveform file: 59 + 2 * 60000 = 120059 bytes.
constexpr int WaveFileSamples = 60000;

QByteArray PackWaveHeader(const WaveFileHeader& h);
// Reads the first WaveHeaderSize bytes of `bytes`; missing bytes read as zero.
WaveFileHeader UnpackWaveHeader(const QByteArray& bytes);

// A header with the magic, the unit text "Amperes", zero offset 2048 and 60000 samples.
WaveFileHeader NewWaveHeader();
// The header starts with "WAVEFORM".
bool IsWaveFileHeader(const WaveFileHeader& h);
// Samples per second the header stands for: the reciprocal of its interval, or the
// instrument's 2400 when that is missing or outside 500..5000.
double WaveSampleRate(const WaveFileHeader& h);
// The file's bytes for a header and the first WaveFileSamples entries of samples.
QByteArray WaveFileBytes(const WaveFileHeader& h, const int16_t* samples);
// The samples in data (whole pairs of bytes) into samples[0..]; returns how many.
int UnpackWaveSamples(const QByteArray& data, int16_t* samples);

// Copies text into a fixed field, cut to the field's length; the rest stays zero.
template <size_t N>
void PutWaveText(char (&field)[N], const QByteArray& text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.constData(), std::min<size_t>(N, static_cast<size_t>(text.size())));
}
