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
    // 0 is a stored "no limit", which the reader keeps.
    kvfuzz::Check(setup.MaxOnTime == 0 || (setup.MaxOnTime >= 0.01 && setup.MaxOnTime <= 9999.99), "on time in range");
    kvfuzz::Check(setup.MaxOffTime == 0 || (setup.MaxOffTime >= 0.01 && setup.MaxOffTime <= 9999.99),
                  "off time in range");
    kvfuzz::Check(std::round(setup.ShuntAmperes) >= 1 && std::round(setup.ShuntAmperes) <= 999999, "shunt amperes");
    kvfuzz::Check(std::round(setup.ShuntMillivolts) >= 1 && std::round(setup.ShuntMillivolts) <= 999999,
                  "shunt millivolts");
    const QStringList lines = setup.SetupLines();
    for (int i : {0, 1, 2, 5, 6, 7, 8})
        kvfuzz::Check(lines.at(i).size() <= 7, "number lines of their usual width");
    return 0;
}
