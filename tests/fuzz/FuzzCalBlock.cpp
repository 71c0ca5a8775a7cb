// The calibration block decoder: any bytes as the 128-byte block, through the file's
// reading as the calibration window does it (short, long, NUL-holding files included),
// with no window. Whatever it holds, the engine is left with a calibration it can use.
#include "FuzzSupport.h"

#include "CalRecord.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kvfuzz::InitPlain();
    // As the window starts: the defaults, flagged as no valid calibration; kept from one
    // input to the next as the window keeps them. A corrupt block leaves the values
    // before its bad field decoded and the rest as they were, as when the user declines
    // the defaults the window offers.
    static TCalData cal = [] {
        TCalData c;
        CalDefaultValues(c);
        c.AvgSamples = 240;
        c.CalError = true;
        return c;
    }();
    const QString path = kvfuzz::PutFile(CalFileName, data, size);
    QByteArray bytes;
    kvfuzz::Check(ReadCalBlock(path, bytes), "calibration file opened");
    if (CalBlockWhole(bytes)) {
        char block[CalRecordSize];
        std::memcpy(block, bytes.constData(), CalRecordSize);
        double rate = 0;  // no waveform file yet
        DecodeCalBlock(block, cal, &rate);
    }
    for (int r = 1; r <= 8; ++r)
        kvfuzz::Check(CalFactorUsable(cal.Factor[r]), "factor usable");
    kvfuzz::Check(CalAvgTimeUsable(cal.AvgTime), "average time usable");
    kvfuzz::Check(cal.OnDelay >= 1 && cal.OnDelay <= 99, "on delay 1..99");
    kvfuzz::Check(cal.OffDelay >= 1 && cal.OffDelay <= 99, "off delay 1..99");
    kvfuzz::Check(cal.OnThresh >= 0 && cal.OnThresh <= 99, "on threshold 0..99");
    kvfuzz::Check(cal.OffThresh >= 0 && cal.OffThresh <= 99, "off threshold 0..99");
    kvfuzz::Check(cal.MPUThresh >= 0 && cal.MPUThresh <= 999, "pick-up threshold 0..999");
    kvfuzz::Check(cal.AvgSamples >= 0, "samples per average not negative");
    // A decoded block is written back in the block's own shape or refused, never widened.
    QByteArray block;
    if (EncodeCalBlock(cal, block))
        kvfuzz::Check(block.size() == CalRecordSize, "encoded block of 128 bytes");
    return 0;
}
