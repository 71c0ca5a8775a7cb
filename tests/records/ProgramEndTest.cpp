// The program's end, inside the application's own loop as the program runs it: every
// road out (File > Exit, the main window's close box, Esc, "Check TCC" started with a
// parameter) ends the loop whichever window is open beside the main window, and the
// exit runs once.
#include "RecordsProgramFixture.h"

#include "Comm.h"
#include "Debug.h"
#include "FakeRecords.h"
#include "Forms.h"
#include "HelpApi.h"
#include "InputBox.h"
#include "KyrCurve.h"
#include "KyrData.h"
#include "KyrDatabase.h"
#include "KyrHelp.h"
#include "KyrMain.h"
#include "KyrMeter.h"
#include "KyrRecords.h"
#include "KyrReport.h"
#include "KyrResults.h"
#include "KyrTableDefs.h"
#include "Setup.h"
#include "Sound.h"
#include "Waveform.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <tuple>

namespace {

enum class Road { FileExit, CloseBox, Esc, CheckTccWithParameter };
enum class Open { Nothing, Browser, DataForm, Results, Report, Curves, Viewer, Guide, HelpFile, Debug, Comm, Meter };

const char* RoadName(Road r)
{
    switch (r) {
    case Road::FileExit: return "FileExit";
    case Road::CloseBox: return "CloseBox";
    case Road::Esc: return "Esc";
    case Road::CheckTccWithParameter: return "CheckTccWithParameter";
    }
    return "?";
}

const char* OpenName(Open o)
{
    switch (o) {
    case Open::Nothing: return "Nothing";
    case Open::Browser: return "Browser";
    case Open::DataForm: return "DataForm";
    case Open::Results: return "Results";
    case Open::Report: return "Report";
    case Open::Curves: return "Curves";
    case Open::Viewer: return "Viewer";
    case Open::Guide: return "Guide";
    case Open::HelpFile: return "HelpFile";
    case Open::Debug: return "Debug";
    case Open::Comm: return "Comm";
    case Open::Meter: return "Meter";
    }
    return "?";
}

void Trigger(const char* action)
{
    QAction* a = fmKyr->findChild<QAction*>(QString::fromLatin1(action));
    ASSERT_NE(a, nullptr) << action;
    a->trigger();
}

// The help file's own window, which the help control makes.
QWidget* HelpFileWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == QLatin1String("HtmlHelpWindow"))
            return w;
    return nullptr;
}

class ProgramEnd : public RecordsProgramFixture {
protected:
    void SetUp() override
    {
        RecordsProgramFixture::SetUp();
        SetInputResponder([](const QString&, const QString&, const QString&) { return std::optional<QString>(); });
        ASSERT_TRUE(QDir().mkpath(dataFolder));
        for (const QString& table : KyrTableNames())
            ASSERT_TRUE(WriteEmptyTable(dataFolder, table, true));
        QFile guide(DataFile(QStringLiteral("Kestrovan Operation Guide.txt")));
        ASSERT_TRUE(guide.open(QIODevice::WriteOnly));
        guide.write("Kestrovan 10\r\nOperation guide\r\n");
    }
    void TearDown() override
    {
        RecordsProgramFixture::TearDown();
        UnloadHtmlHelp();
    }

    // Opens the window as the user does; gives the window whose being open is checked.
    QWidget* OpenWindow(Open o)
    {
        switch (o) {
        case Open::Nothing: return fmKyr;
        case Open::Browser: Trigger("mDatabase"); return fmKyrDatabase;
        case Open::DataForm: QTest::mouseClick(fmKyr->BtnReclData, Qt::LeftButton); return fmReclData;
        case Open::Results:
            // As "Check TCC" opens it, with a save that fails: an operation counter
            // that is no number.
            records.RecreateResultsWindow();
            fmKyrResults->ebOpCounter->setText(QStringLiteral("12x"));
            return fmKyrResults;
        case Open::Report: Trigger("mReport"); return fmKyrReport;
        case Open::Curves: {
            const double times[2][10] = {};
            records.ShowCurves(times);
            return fmKyrCurve;
        }
        case Open::Viewer: Trigger("mWaveform"); return fmWaveform;  // modal: returns when it closes
        case Open::Guide: Trigger("mOpGuide"); return fmKyrHelp;
        case Open::HelpFile: Trigger("mContents"); return HelpFileWindow();
        case Open::Debug: Trigger("mDebugInfo"); return fmDebug;
        case Open::Comm: Trigger("mHardwareStatus"); return fmComm;
        case Open::Meter: fmKyrMeter->show(); return fmKyrMeter;
        }
        return nullptr;
    }

    void TakeRoad(Road r)
    {
        switch (r) {
        case Road::FileExit: Trigger("mExit"); break;
        case Road::CloseBox: fmKyr->close(); break;
        case Road::Esc: QTest::keyClick(fmKyr->cbRange, Qt::Key_Escape); break;
        case Road::CheckTccWithParameter:
            ASSERT_TRUE(fmKyr->BtnCheckTCC->isEnabled());
            QTest::mouseClick(fmKyr->BtnCheckTCC, Qt::LeftButton);
            break;
        }
    }
};

class ProgramEndRoads : public ProgramEnd, public ::testing::WithParamInterface<std::tuple<Road, Open>> {};

TEST_P(ProgramEndRoads, EndsTheLoopWithOneExit)
{
    const auto [road, open] = GetParam();
    if (open == Open::HelpFile) {
        LoadHtmlHelp();
        ASSERT_TRUE(HtmlHelp) << "the help control beside the program";
    }
    if (road == Road::CheckTccWithParameter) {
        // Started by the curve program with a waveform to play (the demo files are made
        // at a first start).
        StartProgram();
        StopProgram();  // frees the report window too, which the program block makes first
        records.CreateReportWindow();
        StartProgram({DataFile(QStringLiteral("KestrovanNorm.kwf"))});
    } else {
        StartProgram();
    }
    ASSERT_TRUE(DemoMode);
    // A test played and not saved: the close box asks, and is told to discard. Esc is a
    // key of an armed test only, so that road is taken before any test.
    if (road != Road::Esc) {
        ASSERT_TRUE(PlayDemo());
        ASSERT_FALSE(fmKyr->DataSaved);
    }
    answers->on(QStringLiteral("OK to discard data?"), {IDYES});
    answers->on(QStringLiteral("Save Data?"), {IDYES});
    answers->on(QStringLiteral("Include these results in report?"), {IDYES});
    if (open == Open::Browser || open == Open::Results) {
        ASSERT_NE(records.ReclTables(), nullptr);
    }

    // Inside the loop: the window is opened (the viewer's modal wait goes on while the
    // road is taken), then the road.
    bool opened = false;
    bool roadTaken = false;
    QTimer::singleShot(0, [&] {
        QWidget* w = OpenWindow(open);
        if (open != Open::Viewer)
            opened = w && w->isVisible();
    });
    QTimer::singleShot(300, [&] {
        if (open == Open::Viewer)
            opened = fmWaveform->isVisible() && fmWaveform->isModal();
        roadTaken = true;
        TakeRoad(road);
        // The same road again, still queued when the loop ends.
        QTimer::singleShot(0, [this, road = road] { TakeRoad(road); });
    });
    // A loop that goes on after the exit fails here after a while instead of hanging.
    bool stuck = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        stuck = true;
        QCoreApplication::exit(1);
    });
    guard.start(20000);
    const int rc = QApplication::exec();
    guard.stop();

    EXPECT_TRUE(opened);
    EXPECT_TRUE(roadTaken);
    EXPECT_FALSE(stuck) << "the program went on after its exit";
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(Application.Terminated);
    // What is still queued when the loop has ended (the program frees its windows with
    // messages processed) starts no second exit.
    QTest::qWait(100);
    EXPECT_EQ(TraceText().count(QStringLiteral(": ProgExit")), 1);
    EXPECT_TRUE(QFile::exists(fmSetup->DataFileName));
}

// Once the program is ending, a close that still reaches a window (a close box clicked
// meanwhile) is taken without a question, whatever the window would otherwise refuse:
// the results window's save that fails, the browser that only hides, the meter that
// keeps itself open; and it runs no second exit.
TEST_F(ProgramEnd, EveryWindowTakesItsCloseAtTheEndWithoutAsking)
{
    LoadHtmlHelp();
    ASSERT_TRUE(HtmlHelp) << "the help control beside the program";
    StartProgram();
    ASSERT_TRUE(PlayDemo());
    ASSERT_FALSE(fmKyr->DataSaved);
    answers->on(QStringLiteral("Save Data?"), {IDYES});
    answers->on(QStringLiteral("Include these results in report?"), {IDYES});
    const int exits = static_cast<int>(TraceText().count(QStringLiteral(": ProgExit")));
    for (const Open o : {Open::Browser, Open::DataForm, Open::Results, Open::Report, Open::Curves, Open::Guide,
                         Open::HelpFile, Open::Debug, Open::Comm, Open::Meter, Open::Nothing}) {
        SCOPED_TRACE(OpenName(o));
        QPointer<QWidget> w = OpenWindow(o);
        ASSERT_TRUE(w && w->isVisible());
        QCoreApplication::processEvents();
        answers->clear();
        Application.Terminated = true;
        EXPECT_TRUE(w->close());
        Application.Terminated = false;
        EXPECT_TRUE(!w || !w->isVisible());
        EXPECT_TRUE(answers->requests.empty()) << answers->requests.front().text.toStdString();
    }
    EXPECT_EQ(TraceText().count(QStringLiteral(": ProgExit")), exits);
}

INSTANTIATE_TEST_SUITE_P(
    RoadsAndWindows, ProgramEndRoads,
    ::testing::Combine(::testing::Values(Road::FileExit, Road::CloseBox, Road::Esc, Road::CheckTccWithParameter),
                       ::testing::Values(Open::Nothing, Open::Browser, Open::DataForm, Open::Results, Open::Report,
                                         Open::Curves, Open::Viewer, Open::Guide, Open::HelpFile, Open::Debug,
                                         Open::Comm, Open::Meter)),
    [](const ::testing::TestParamInfo<std::tuple<Road, Open>>& info) {
        return std::string(RoadName(std::get<0>(info.param))) + "_" + OpenName(std::get<1>(info.param));
    });

} // namespace
