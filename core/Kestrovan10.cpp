#include "Kestrovan10.h"

#include "Cal.h"
#include "Comm.h"
#include "Debug.h"
#include "DelayForm.h"
#include "Forms.h"
#include "HelpApi.h"
#include "HelpKit.h"
#include "KyrHelp.h"
#include "KyrRecordsPort.h"
#include "KyrTestSet.h"
#include "KyrImage.h"
#include "KyrMain.h"
#include "KyrMeter.h"
#include "Pass.h"
#include "Setup.h"
#include "SysUtils.h"
#include "USB.h"
#include "Waveform.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <clocale>

QString ProgramFileName(const QString& argv0) { return QFileInfo(argv0).fileName(); }

QString ProgramFilePath(const QString& argv0)
{
    // A bare name was found through the search path, not in the current folder.
    if (!argv0.contains(QLatin1Char('/'))) {
        const QString found = QStandardPaths::findExecutable(argv0);
        if (!found.isEmpty())
            return found;
    }
    return QFileInfo(argv0).absoluteFilePath();
}

bool WelcomeWanted(const QString& progName, const QStringList& params)
{
    if (IsKyrRunName(progName))
        return false;
    return params.isEmpty() || params.first() == QLatin1String("!");
}

void WelcomeWait()
{
    fmKyr560->show();
    while (fmKyr560->isVisible()) {
        QThread::msleep(100);
        Application.ProcessMessages();
    }
}

namespace {
// Creates a window into its instance variable.
template <class T>
void CreateForm(T*& instance)
{
    instance = new T;
}

template <class T>
void FreeForm(T*& instance)
{
    T* w = instance;
    instance = nullptr;
    delete w;
}

// What the records' windows ask of the test set, for as long as they live.
TKyrTestSet ProgramTestSet;
} // namespace

void CreateProgramWindows()
{
    CreateForm(fmDebug);
    CreateForm(fmDelay);
    CreateForm(fmSetup);
    CreateForm(fmCal);
    CreateForm(fmPass);
    CreateForm(fmUSB);
    CreateForm(fmComm);
    CreateForm(fmWaveform);
    CreateForm(fmKyrMeter);
    CreateForm(fmKyr);
    // The main window's outer width, its frame included where the platform draws one.
    fmKyrMeter->MainWidth = [] { return fmKyr ? std::max(fmKyr->frameGeometry().width(), fmKyr->width()) : 0; };
    KyrRecords().CreateLateWindows(ProgramTestSet);
    CreateForm(fmKyrHelp);
    // The main window is the one window shown at start; not when the program was ended
    // at the welcome window.
    if (!Application.Terminated)
        fmKyr->show();
}

void FreeProgramWindows()
{
    // Last created first: the main window stops the engine before the link frees its port.
    FreeForm(fmKyrHelp);
    KyrRecords().FreeLateWindows();
    FreeForm(fmKyr);
    FreeForm(fmKyrMeter);
    FreeForm(fmWaveform);
    FreeForm(fmComm);
    FreeForm(fmUSB);
    FreeForm(fmPass);
    FreeForm(fmCal);
    FreeForm(fmSetup);
    FreeForm(fmDelay);
    FreeForm(fmDebug);
    KyrRecords().FreeReportWindow();
}

QPalette ProgramPalette()
{
    QPalette p(QColor(0xF0, 0xF0, 0xF0));
    const QColor black(0, 0, 0);
    const QColor white(0xFF, 0xFF, 0xFF);
    const QColor grey(0x6D, 0x6D, 0x6D);
    for (const QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::WindowText, black);
        p.setColor(g, QPalette::ButtonText, black);
        p.setColor(g, QPalette::Text, black);
        p.setColor(g, QPalette::Base, white);
        p.setColor(g, QPalette::AlternateBase, QColor(0xF7, 0xF7, 0xF7));
        p.setColor(g, QPalette::Highlight, QColor(0x00, 0x78, 0xD7));
        p.setColor(g, QPalette::HighlightedText, white);
        p.setColor(g, QPalette::PlaceholderText, grey);
    }
    p.setColor(QPalette::Disabled, QPalette::WindowText, grey);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, grey);
    p.setColor(QPalette::Disabled, QPalette::Text, grey);
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(0xF0, 0xF0, 0xF0));
    p.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
    p.setColor(QPalette::ToolTipText, black);
    p.setColor(QPalette::Link, QColor(0x00, 0x00, 0xEE));
    p.setColor(QPalette::LinkVisited, QColor(0x55, 0x1A, 0x8B));
    return p;
}

void UseProgramPalette()
{
    // A desktop style may draw with colours of its own theme; Fusion draws with the palette.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(ProgramPalette());
}

int RunProgram()
{
    int rc = 0;
    // Ended at the welcome window: the program ends there, no other window is made.
    if (!Application.Terminated) {
        CreateProgramWindows();
        if (!Application.Terminated)
            rc = QApplication::exec();
    }
    FreeProgramWindows();
    return rc;
}

int Kestrovan10Main(int argc, char** argv)
{
    // The windows are drawn pixel by pixel at their stored sizes: a fractional scale
    // such as 125 % is rounded to a whole one so that text, grids and traces stay crisp.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    InitDecimalSeparatorFromLocale();
    // The windows are ended by the program, not by the last one closing.
    QApplication::setQuitOnLastWindowClosed(false);
    // The forms' colours (light blue forms, a green RESET) were chosen for a light
    // palette: a dark desktop theme would leave dark edits and grey labels on them.
    UseProgramPalette();
    // Windows placed at stored positions are moved onto a smaller screen, frame included.
    InstallOnScreenKeeper();
    const QStringList args = QCoreApplication::arguments();
    Application.ExeName = ProgramFilePath(QString::fromLocal8Bit(argv[0]));
    ProgName = ProgramFileName(QString::fromLocal8Bit(argv[0]));
    ParamList = args.mid(1);
    StartFolder = QDir::currentPath();
    Application.Title = QStringLiteral("Kestrovan for Windows");
    QApplication::setApplicationDisplayName(QString());
    // The help units start before any window exists: the control is loaded, then the
    // help diagnostics look at the program's surroundings.
    HelpApiInitialization();
    HelpKitInitialization();

    fmKyr560 = new TfmKyr560;
    KyrRecords().CreateReportWindow();
    if (WelcomeWanted(ProgName, ParamList))
        WelcomeWait();
    delete fmKyr560;

    const int rc = RunProgram();
    HelpKitFinalization();
    HelpApiFinalization();
    return rc;
}
