// The instrument's sample stream: any bytes, arriving in clusters of any size, through
// the receive ring and the pair decoder into the test engine's per-sample steps.
#include "FuzzSupport.h"

#include "CalData.h"
#include "CalRecord.h"
#include "Comm.h"
#include "KyrGlobals.h"
#include "KyrLink.h"
#include "KyrUpdate.h"
#include "KyrView.h"
#include "NullKyrView.h"
#include "SampleStore.h"
#include "SetupData.h"

#include <cmath>
#include <memory>

namespace {

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kvfuzz::Init();
    static NullKyrView view;
    static TCalData cal;
    static TSetupData setup;
    static TSampleStore* store = nullptr;  // large: never on the stack
    static TfmComm* comm = nullptr;  // never freed: no widget may outlive the application
    static TKyrLink link;
    static TKyrUpdate* engine = nullptr;
    if (!engine) {
        // The calibration's defaults and a usual setup.
        CalDefaultValues(cal);
        cal.AvgSamples = 240;
        setup.Range = 4;
        setup.MaxOnTime = 5;
        setup.MaxOffTime = 5;
        setup.MaxOps = 4;
        store = new TSampleStore();
        store->SampleRate = 2400;
        store->SecPerSample = 1.0f / 2400;
        store->AmpsPerCount = 0.5f;
        comm = new TfmComm();
        fmComm = comm;
        RangeFullScale = 500;
        MaxOps = 4;
        engine = new TKyrUpdate(&view, &link, &cal, &setup, store);
        engine->CurrentFormat = QStringLiteral("%5.1f A");
        engine->TimeFormat = QStringLiteral("%8.4f secs");
    }
    // The first byte picks the test type, the second the cluster size.
    if (size < 2)
        return 0;
    setup.TestType = data[0] & 1;
    const size_t cluster = 1 + data[1];
    data += 2;
    size -= 2;
    DemoMode = false;
    // Every input starts from an empty ring (no port here to clear it).
    comm->RxHead = 0;
    comm->RxTail = 0;
    comm->RxCount = 0;
    view.ops = 0;
    engine->Reset();
    for (size_t at = 0; at < size; at += cluster) {
        const size_t n = std::min(cluster, size - at);
        comm->AppendRx(data + at, static_cast<int>(n));
        kvfuzz::Check(comm->RxCount >= 0 && comm->RxCount <= RxRingSize, "ring count in range");
        while (comm->RxCount >= 2) {
            const int x = comm->GetSample();
            kvfuzz::Check(x >= -2048 && x <= 2047, "sample within 12 bits");
            engine->ProcessSample(static_cast<int16_t>(x));
        }
        engine->CheckLimits();
    }
    for (int i = 1; i <= 5; ++i) {
        kvfuzz::Check(std::isfinite(engine->TripTime[i]) && engine->TripTime[i] >= 0, "trip time");
        kvfuzz::Check(std::isfinite(engine->ReclTime[i]) && engine->ReclTime[i] >= 0, "reclose time");
        kvfuzz::Check(std::isfinite(engine->TripCurr[i]) && engine->TripCurr[i] >= 0, "trip current");
    }
    return 0;
}
