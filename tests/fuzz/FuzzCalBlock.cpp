// The calibration block decoder: any bytes as the 128-byte block, through the file
// reader (short, long, NUL-holding files included). Whatever it holds, the engine is
// left with a calibration it can use.
#include "FuzzSupport.h"

#include "Cal.h"
#include "KyrGlobals.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kvfuzz::Init();
    static TfmCal* cal = nullptr;  // never freed: no widget may outlive the application
    if (!cal) {
        cal = new TfmCal();
        fmCal = cal;
    }
    const QString path = kvfuzz::PutFile(CalFileName, data, size);
    DataFolder = QFileInfo(path).absolutePath();
    DemoMode = true;
    // The reader makes the data folder current: the fuzzer's own relative paths must
    // still resolve afterwards.
    const QString before = QDir::currentPath();
    cal->ReadCalFile();
    QDir::setCurrent(before);
    for (int r = 1; r <= 8; ++r)
        kvfuzz::Check(CalFactorUsable(cal->Factor[r]), "factor usable");
    kvfuzz::Check(CalAvgTimeUsable(cal->AvgTime), "average time usable");
    kvfuzz::Check(cal->OnDelay >= 1 && cal->OnDelay <= 99, "on delay 1..99");
    kvfuzz::Check(cal->OffDelay >= 1 && cal->OffDelay <= 99, "off delay 1..99");
    kvfuzz::Check(cal->OnThresh >= 0 && cal->OnThresh <= 99, "on threshold 0..99");
    kvfuzz::Check(cal->OffThresh >= 0 && cal->OffThresh <= 99, "off threshold 0..99");
    kvfuzz::Check(cal->MPUThresh >= 0 && cal->MPUThresh <= 999, "pick-up threshold 0..999");
    kvfuzz::Check(cal->AvgSamples >= 0, "samples per average not negative");
    // A decoded block is written back in the block's own shape or refused, never widened.
    QByteArray block;
    if (cal->EncodeCalRecord(block))
        kvfuzz::Check(block.size() == CalRecordSize, "encoded block of 128 bytes");
    return 0;
}
