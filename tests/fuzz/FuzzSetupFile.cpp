// The setup file reader: any bytes as "Kestrovan.ksf", read as the setup window reads
// it, with no window. Whatever the file holds, the fields end within their ranges and
// are written back in lines of their usual width.
#include "FuzzSupport.h"

#include "SetupFile.h"
#include "SysUtils.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kvfuzz::InitPlain();
    // Fields kept from one input to the next, as the window keeps them between reads.
    static TSetupData setup;
    const QString path = kvfuzz::PutFile("Kestrovan.ksf", data, size);
    try {
        ReadSetupLines(path, setup);
    } catch (const Exception&) {
        // The framework's conversion and file errors are the reader's to raise.
    }
    kvfuzz::Check(setup.Range >= 1 && setup.Range <= 8, "range 1..8");
    kvfuzz::Check(setup.MaxOps >= 1 && setup.MaxOps <= 5, "operations 1..5");
    kvfuzz::Check(setup.TestType <= 1, "test type 0 or 1");
    // 0 is a stored "no limit", which the reader keeps; any other time shows and is written
    // back as 0.01 to 9999.99 (a time from 0.005 shows as 0.01).
    const auto timeInRange = [](double t) { return t == 0 || (t >= 0.005 && t <= 9999.99); };
    kvfuzz::Check(timeInRange(setup.MaxOnTime), "on time in range");
    kvfuzz::Check(timeInRange(setup.MaxOffTime), "off time in range");
    kvfuzz::Check(std::round(setup.ShuntAmperes) >= 1 && std::round(setup.ShuntAmperes) <= 999999, "shunt amperes");
    kvfuzz::Check(std::round(setup.ShuntMillivolts) >= 1 && std::round(setup.ShuntMillivolts) <= 999999,
                  "shunt millivolts");
    const QStringList lines = setup.SetupLines();
    for (int i : {0, 1, 2, 5, 6, 7, 8})
        kvfuzz::Check(lines.at(i).size() <= 7, "number lines of their usual width");
    return 0;
}
