// From the program's start to its main window ready in demo mode, with no serial
// ports: the windows created in order, the folders, the first paint's initialisation,
// the search that finds nothing (answered Cancel) and the demo it falls back to. The
// demo files and the calibration file exist from the first (warm-up) start on, as on
// every start but the very first.
#include "Dialogs.h"
#include "Forms.h"
#include "Kestrovan10.h"
#include "KyrGlobals.h"
#include "Registry.h"
#include "SysUtils.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <clocale>
#include <cstdlib>

namespace {

void AnswerAsAUser()
{
    SetMessageResponder([](const MessageRequest& r) {
        if (r.kind == MessageRequest::Dialog)
            return (r.buttons & Btn(mbCancel)) && !r.text.startsWith(QLatin1String("Writing")) &&
                           !r.text.startsWith(QLatin1String("Setting Default"))
                       ? int(mrCancel)
                       : int(mrOk);
        if (r.kind == MessageRequest::Box)
            return (r.flags & 0xF) == MB_RETRYCANCEL ? int(IDCANCEL) : int(IDOK);
        return int(mrOk);
    });
}

// One start: returns when the first initialisation has completed.
bool StartOnce()
{
    Painted = false;
    ProgInitDone = false;
    DemoMode = false;
    CreateProgramWindows();
    QElapsedTimer t;
    t.start();
    while (!ProgInitDone && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return ProgInitDone && DemoMode;
}

void BM_StartToMainWindowReady(benchmark::State& state)
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    auto none = std::make_shared<TMemoryRegistry>();
    none->AddKey(HKEY_LOCAL_MACHINE, QStringLiteral("HARDWARE\\DEVICEMAP\\SERIALCOMM"));
    SetRegistryBackend(none);
    AnswerAsAUser();
    Application.ExeName = QCoreApplication::applicationFilePath();
    ProgName = QStringLiteral("Kestrovan10");
    // Warm-up: the first start makes the demo and calibration files.
    if (!StartOnce())
        state.SkipWithError("no demo mode after the first start");
    FreeProgramWindows();
    for (auto _ : state) {
        QDir::setCurrent(dir.path());
        if (!StartOnce())
            state.SkipWithError("no demo mode");
        state.PauseTiming();
        FreeProgramWindows();
        state.ResumeTiming();
    }
    SetRegistryBackend(nullptr);
}

} // namespace

BENCHMARK(BM_StartToMainWindowReady)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3)->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
