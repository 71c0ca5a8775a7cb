// The waveform file reader: any bytes as a ".kwf" file, read and loaded as the demo
// and the viewer do.
#include "FuzzSupport.h"

#include "Waveform.h"

#include <cmath>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kvfuzz::Init();
    static TfmWaveform* store = nullptr;  // never freed: no widget may outlive the application
    if (!store) {
        store = new TfmWaveform();
        fmWaveform = store;
    }
    const QString path = kvfuzz::PutFile("input.kwf", data, size);
    if (store->LoadFile(path)) {
        kvfuzz::Check(store->SampleCount >= 100 && store->SampleCount <= WaveFileSamples, "sample count in range");
        kvfuzz::Check(store->SampleRate >= 500 && store->SampleRate <= 5000, "sample rate in range");
        kvfuzz::Check(std::isfinite(store->SecPerSample) && store->SecPerSample > 0, "sample period usable");
        kvfuzz::Check(std::isfinite(store->TotalTime), "total time finite");
    }
    return 0;
}
