// The main window driven as a user drives it: the form, the demo tests, the buttons,
// keys, boxes, menus and the close query.
#include "ProgramFixture.h"

#include "AnalogMeter.h"
#include "Cal.h"
#include "Comm.h"
#include "Debug.h"
#include "Forms.h"
#include "KyrMain.h"
#include "KyrMeter.h"
#include "KyrUpdate.h"
#include "Pass.h"
#include "Setup.h"
#include "SysUtils.h"
#include "Waveform.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

class MainWindowTest : public ProgramFixture {
protected:
    QColor Background(QWidget* w) const { return w->palette().color(QPalette::Window); }
    bool RowShown(int i) const
    {
        return !fmKyr->TripCurr[i]->isHidden() && !fmKyr->Decay[i]->isHidden() && !fmKyr->TripTime[i]->isHidden() &&
               !fmKyr->RecloseTime[i]->isHidden() && !fmKyr->LabelOp[i]->isHidden();
    }
    int RowsShown() const
    {
        int n = 0;
        for (int i = 1; i <= 5; ++i)
            n += RowShown(i) ? 1 : 0;
        return n;
    }
    void Type(const char* text) { QTest::keyClicks(fmKyr->Current, QString::fromLatin1(text)); }
};

TEST_F(MainWindowTest, FormHoldsEveryControlByItsName)
{
    StartProgram();
    struct Ctl { const char* name; const char* text; const char* hint; };
    const Ctl ctls[] = {
        {"LabelOp1", "1", "Operation number"}, {"LabelOp5", "5", "Operation number"},
        {"LabelOper", "Oper", ""}, {"LabelTripCurr", "Trip Current", ""}, {"LabelTripTime", "Trip Time", ""},
        {"LabelReclTime", "RecloseTime", ""}, {"LabelDecay", "Decay", ""}, {"LabelCurr", "Current", ""},
        {"MinPUlabel", "Min PU", ""}, {"LabelRange", "Range:", ""}, {"LabelMaxOps", "Max Ops:", ""},
        {"BtnReclData", "Recl Data", "Enter/View Curve data"}, {"BtnCheckTCC", "Check TCC", "Save results and exit"},
        {"lbCommError", "!", ""}, {"PanelArmedRunning", nullptr, "Test Status"},
        {"BitBtnRunStopReset", nullptr, "Start or stop test"}, {"ProgressBar1", nullptr, "Percent maximum current"},
        {"PanelCal", nullptr, "Calibration status - double click to hide"}, {"cbRange", nullptr, "Select Range"},
        {"cbMaxOps", nullptr, "Select Maximum Operations"}, {"Current", nullptr, "Current while testing"},
        {"MinPickUpCurrent", nullptr, "Minimum Pickup Current"}, {"TripCurr3", nullptr, "Trip current for operation"},
        {"Decay2", nullptr, "Percent drop-off of current"}, {"TripTime4", nullptr, "Time current was on"},
        {"RecloseTime5", nullptr, "Time recloser was open"}, {"StatusBar1", nullptr, "Run time information"},
    };
    for (const Ctl& c : ctls) {
        QWidget* w = Control(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr) << c.name;
        if (c.text) {
            if (auto* l = qobject_cast<QLabel*>(w)) {
                EXPECT_EQ(l->text(), QString::fromLatin1(c.text)) << c.name;
            } else if (auto* b = qobject_cast<QPushButton*>(w)) {
                EXPECT_EQ(b->text(), QString::fromLatin1(c.text)) << c.name;
            }
        }
        EXPECT_EQ(w->toolTip(), QString::fromLatin1(c.hint)) << c.name;
    }
    // Read-only result edits; hidden minimum pick-up pair; the selector and the boxes.
    for (int i = 1; i <= 5; ++i)
        EXPECT_TRUE(fmKyr->TripCurr[i]->isReadOnly() && fmKyr->Decay[i]->isReadOnly() &&
                    fmKyr->TripTime[i]->isReadOnly() && fmKyr->RecloseTime[i]->isReadOnly());
    EXPECT_TRUE(fmKyr->MinPickUpCurrent->isHidden());
    EXPECT_TRUE(fmKyr->MinPUlabel->isHidden());
    EXPECT_EQ(fmKyr->TestTypeSel->title(), QStringLiteral("TestType"));
    EXPECT_EQ(fmKyr->TestTypeSelItem[0]->text(), QStringLiteral("Normal"));
    EXPECT_EQ(fmKyr->TestTypeSelItem[1]->text(), QStringLiteral("Minimum Pickup"));
    ASSERT_EQ(fmKyr->cbMaxOps->count(), 5);
    EXPECT_EQ(fmKyr->cbMaxOps->itemText(0), QStringLiteral("1"));
    EXPECT_EQ(fmKyr->cbMaxOps->itemText(4), QStringLiteral("5"));
    // Layout corners the way the window stores them: the top line, the headings, the
    // five rows, and the three lines of boxes and buttons.
    struct Place { const char* name; int left, top; };
    const Place places[] = {
        {"PanelCal", 88, 8}, {"ProgressBar1", 456, 8},
        {"LabelOper", 0, 24}, {"LabelTripCurr", 40, 24}, {"LabelDecay", 144, 24}, {"LabelTripTime", 224, 24},
        {"LabelReclTime", 320, 24},
        {"LabelOp1", 16, 48}, {"TripCurr1", 40, 48}, {"Decay1", 136, 48}, {"TripTime1", 208, 48},
        {"RecloseTime1", 320, 48}, {"LabelOp2", 16, 80}, {"Decay2", 136, 80}, {"LabelOp3", 16, 112},
        {"TripTime3", 208, 112}, {"LabelOp4", 16, 144}, {"TripCurr4", 40, 144}, {"LabelOp5", 16, 176},
        {"RecloseTime5", 320, 176},
        {"LabelCurr", 8, 216}, {"Current", 72, 216}, {"TestTypeSel", 160, 216}, {"LabelRange", 280, 216},
        {"cbRange", 336, 216},
        {"MinPUlabel", 8, 256}, {"MinPickUpCurrent", 72, 256}, {"LabelMaxOps", 288, 256}, {"cbMaxOps", 360, 256},
        {"BtnReclData", 48, 304}, {"PanelArmedRunning", 160, 304}, {"BitBtnRunStopReset", 256, 304},
        {"BtnCheckTCC", 352, 304}, {"lbCommError", 462, 304},
    };
    for (const Place& p : places) {
        QWidget* w = Control(QString::fromLatin1(p.name));
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(w->pos(), QPoint(p.left, p.top)) << p.name;
    }
    // Help context numbers for the help kit: the window, the test type selector, Contents.
    EXPECT_EQ(fmKyr->property("HelpContext").toInt(), 1000);
    EXPECT_EQ(fmKyr->TestTypeSel->property("HelpContext").toInt(), 1130);
    EXPECT_EQ(Background(fmKyr), QColor(192, 192, 255));
    EXPECT_TRUE(fmKyr->windowTitle().startsWith(QStringLiteral("Kestrovan 10 (")));
    EXPECT_EQ(fmKyr->windowTitle().count(QLatin1Char('(')), 1);

    // The menus and their items.
    QStringList menus;
    for (QAction* a : fmKyr->menuBar()->actions()) {
        QStringList items;
        for (QAction* i : a->menu()->actions())
            items << i->text();
        menus << a->text() + QLatin1Char(':') + items.join(QLatin1Char(','));
    }
    EXPECT_EQ(menus, QStringList({
                         QStringLiteral("&File:&Calibrate,&Open File (Demo),&Report,&Save Data (KYRM-2 file),E&xit"),
                         QStringLiteral("&Test:&Reset,&Setup,St&artComm,St&opComm"),
                         QStringLiteral("&View:&Database,D&ebug Info,&Hardware Status,&Waveform"),
                         QStringLiteral("&Help:&About,&Contents,&Operation Guide"),
                     }));
    const QAction* contents = fmKyr->findChild<QAction*>(QStringLiteral("mContents"));
    ASSERT_NE(contents, nullptr);
    EXPECT_EQ(contents->property("HelpContext").toInt(), 1000);
}

TEST_F(MainWindowTest, MissingOrWrongResultControlEndsTheProgram)
{
    StartProgram();
    // A control gone, or one of the wrong kind under the name: "Component not found".
    struct Case { const char* name; bool wrongKind; };
    const Case cases[] = {{"LabelOp2", false}, {"TripTime3", false}, {"RecloseTime5", false}, {"Decay4", true},
                          {"LabelOp1", true}};
    for (const Case& c : cases) {
        const QString name = QString::fromLatin1(c.name);
        QWidget* real = Control(name);
        ASSERT_NE(real, nullptr) << c.name;
        real->setObjectName(name + QStringLiteral("_away"));
        QWidget* impostor = nullptr;
        if (c.wrongKind) {
            impostor = c.name[0] == 'L' ? static_cast<QWidget*>(new QLineEdit(real->parentWidget()))
                                        : static_cast<QWidget*>(new QLabel(real->parentWidget()));
            impostor->setObjectName(name);
        }
        answers->clear();
        Application.Terminated = false;
        fmKyr->ProgramSetup();
        const MessageRequest* m = answers->find(QStringLiteral("Component not found"));
        ASSERT_NE(m, nullptr) << c.name;
        EXPECT_EQ(m->caption, QStringLiteral("Error")) << c.name;
        EXPECT_EQ(m->flags & 0xF, static_cast<unsigned>(MB_OK)) << c.name;
        EXPECT_TRUE(Application.Terminated) << c.name;
        delete impostor;
        real->setObjectName(name);
    }
    // Every control back under its name: bound without a word.
    answers->clear();
    Application.Terminated = false;
    fmKyr->ProgramSetup();
    EXPECT_FALSE(answers->find(QStringLiteral("Component not found")));
    EXPECT_FALSE(Application.Terminated);
    fmKyr->SetOpText(3, ocTripTime, QStringLiteral("bound"));
    EXPECT_EQ(fmKyr->TripTime[3]->text(), QStringLiteral("bound"));
}

TEST_F(MainWindowTest, EngineDisplaysReachTheirControls)
{
    StartProgram();
    // Progress bar and meter: values beyond their ranges are limited, not ignored.
    struct Level { int value; int bar; float meter; };
    const Level levels[] = {{57, 57, 57}, {-5, 0, 0}, {100, 100, 100}, {250, 100, 250}, {1500, 100, 1000},
                            {-40, 0, 0}};
    for (const Level& l : levels) {
        fmKyr->SetProgress(l.value);
        EXPECT_EQ(fmKyr->ProgressBar1->value(), l.bar) << l.value;
        fmKyr->SetMeterValue(l.value);
        EXPECT_EQ(fmKyrMeter->Meter->Value(), l.meter) << l.value;
    }

    // The named colours on the status bar and the test state panel.
    struct Colour { TKyrColor c; QColor rgb; };
    const Colour colours[] = {{TKyrColor::Red, QColor(255, 0, 0)},
                              {TKyrColor::Lime, QColor(0, 255, 0)},
                              {TKyrColor::Yellow, QColor(255, 255, 0)},
                              {TKyrColor::Green, QColor(0, 128, 0)},
                              {TKyrColor::BtnFace, QApplication::palette().color(QPalette::Button)}};
    for (const Colour& c : colours) {
        fmKyr->SetStatusColor(c.c);
        EXPECT_EQ(Background(fmKyr->StatusBar1), c.rgb) << c.rgb.name().toStdString();
        fmKyr->SetArmedRunning(QStringLiteral("ARMED"), c.c);
        EXPECT_EQ(Background(fmKyr->PanelArmedRunning), c.rgb) << c.rgb.name().toStdString();
    }
    EXPECT_EQ(fmKyr->PanelArmedRunning->text(), QStringLiteral("ARMED"));

    // The button's caption and the colour its text is drawn in.
    auto hasTextIn = [](QWidget* w, QColor want) {
        const QImage img = w->grab().toImage();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor p = img.pixelColor(x, y);
                if (std::abs(p.red() - want.red()) < 40 && std::abs(p.green() - want.green()) < 40 &&
                    std::abs(p.blue() - want.blue()) < 40)
                    return true;
            }
        return false;
    };
    fmKyr->SetRunStopReset(QStringLiteral("STOP"), TKyrColor::Red);
    EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("STOP"));
    EXPECT_TRUE(hasTextIn(fmKyr->BitBtnRunStopReset, QColor(255, 0, 0)));
    EXPECT_FALSE(hasTextIn(fmKyr->BitBtnRunStopReset, QColor(0, 128, 0)));
    fmKyr->SetRunStopReset(QStringLiteral("RESET"), TKyrColor::Green);
    EXPECT_TRUE(hasTextIn(fmKyr->BitBtnRunStopReset, QColor(0, 128, 0)));
    EXPECT_FALSE(hasTextIn(fmKyr->BitBtnRunStopReset, QColor(255, 0, 0)));

    // Enabled and visible flags.
    for (bool on : {false, true}) {
        fmKyr->SetCheckTCCEnabled(on);
        fmKyr->SetRangeEnabled(on);
        fmKyr->SetTestTypeSelEnabled(on);
        fmKyr->SetMaxOpsBoxEnabled(on);
        fmKyr->SetCommErrorVisible(on);
        EXPECT_EQ(fmKyr->BtnCheckTCC->isEnabled(), on);
        EXPECT_EQ(fmKyr->cbRange->isEnabled(), on);
        EXPECT_EQ(fmKyr->TestTypeSel->isEnabled(), on);
        EXPECT_EQ(fmKyr->cbMaxOps->isEnabled(), on);
        EXPECT_EQ(fmKyr->lbCommError->isVisible(), on);
    }

    // Texts: each result edit by row and column; rows outside 1..5 and panels outside
    // 0..2 touch nothing.
    const QLineEdit* const* columns[4] = {fmKyr->TripCurr, fmKyr->Decay, fmKyr->TripTime, fmKyr->RecloseTime};
    for (int op = 1; op <= 5; ++op)
        for (int c = 0; c < 4; ++c)
            fmKyr->SetOpText(op, static_cast<TOpColumn>(c), QStringLiteral("%1/%2").arg(op).arg(c));
    fmKyr->SetOpText(0, ocTripCurr, QStringLiteral("none"));
    fmKyr->SetOpText(6, ocDecay, QStringLiteral("none"));
    for (int op = 1; op <= 5; ++op)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(columns[c][op]->text(), QStringLiteral("%1/%2").arg(op).arg(c));
    fmKyr->SetCurrentText(QStringLiteral("123.4 A"));
    fmKyr->SetMinPickUpText(QStringLiteral("56.7 A"));
    EXPECT_EQ(fmKyr->Current->text(), QStringLiteral("123.4 A"));
    EXPECT_EQ(fmKyr->MinPickUpCurrent->text(), QStringLiteral("56.7 A"));
    for (int panel = 0; panel < 3; ++panel)
        fmKyr->SetStatusPanel(panel, QStringLiteral("p%1").arg(panel));
    fmKyr->SetStatusPanel(3, QStringLiteral("none"));
    fmKyr->SetStatusPanel(-1, QStringLiteral("none"));
    for (int panel = 0; panel < 3; ++panel)
        EXPECT_EQ(fmKyr->StatusPanelText(panel), QStringLiteral("p%1").arg(panel));
}

TEST_F(MainWindowTest, RunPlaysTheNormalDemoToLockoutWithFourOperations)
{
    StartProgram();
    ASSERT_TRUE(DemoMode);
    EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("RUN"));
    EXPECT_EQ(fmKyr->StatusPanelText(1), QStringLiteral("Press RUN to start DEMO"));
    EXPECT_EQ(fmKyr->PanelArmedRunning->text(), QStringLiteral("ARMED"));
    EXPECT_EQ(RowsShown(), 4);

    QTest::mouseClick(fmKyr->BitBtnRunStopReset, Qt::LeftButton);
    EXPECT_TRUE(DemoPlaying);
    // Into the first trip: the button offers STOP.
    for (int i = 0; i < 20 && !TestEngine->Running; ++i)
        TestEngine->TimerTick();
    ASSERT_TRUE(TestEngine->Running);
    EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("STOP"));
    EXPECT_EQ(fmKyr->PanelArmedRunning->text(), QStringLiteral("Running"));
    TestEngine->TimerTick();
    EXPECT_FALSE(fmKyr->cbRange->isEnabled());  // no longer armed
    ASSERT_TRUE(TickUntilResult());

    EXPECT_EQ(TestEngine->Result, trLockout);
    EXPECT_EQ(fmKyr->OpCount, 4);
    EXPECT_EQ(fmKyr->StatusPanelText(1), QStringLiteral("Lockout"));
    EXPECT_EQ(fmKyr->StatusPanelText(2), QStringLiteral("KestrovanNorm.kwf"));
    EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("RESET"));
    EXPECT_EQ(fmKyr->PanelArmedRunning->text(), QStringLiteral("Test Over"));
    EXPECT_TRUE(fmKyr->BtnCheckTCC->isEnabled());
    EXPECT_FALSE(fmKyr->DataSaved);
    // The four rows show the demo's trips (0.05, 0.06, 0.23, 0.25 s) and recloses (1.5 s).
    const double trips[4] = {0.05, 0.06, 0.23, 0.25};
    for (int i = 1; i <= 4; ++i) {
        const QString t = fmKyr->TripTime[i]->text();
        ASSERT_TRUE(t.endsWith(QStringLiteral(" secs"))) << t.toStdString();
        EXPECT_NEAR(t.left(t.size() - 5).toDouble(), trips[i - 1], 0.01) << i;
        EXPECT_EQ(t, Format("%8.4f secs", TestEngine->TripTime[i]));
        EXPECT_EQ(fmKyr->TripCurr[i]->text(), Format(TestEngine->CurrentFormat.toLatin1().constData(), TestEngine->TripCurr[i]));
        if (i < 4) {
            EXPECT_NEAR(TestEngine->ReclTime[i], 1.5, 0.01) << i;
        }
    }
    EXPECT_TRUE(fmKyr->grab().save(ArtifactPath(QStringLiteral("main_window_after_demo.png"))));
}

TEST_F(MainWindowTest, MinimumPickupDemoEndsAsMinimumPickup)
{
    StartProgram();
    QTest::mouseClick(fmKyr->TestTypeSelItem[1], Qt::LeftButton);
    EXPECT_EQ(fmSetup->TestType, 1);
    EXPECT_EQ(MaxOps, 1);
    EXPECT_EQ(RowsShown(), 1);
    EXPECT_FALSE(fmKyr->MinPickUpCurrent->isHidden());
    EXPECT_TRUE(fmKyrMeter->isVisible());
    ASSERT_TRUE(PlayDemo());
    EXPECT_EQ(TestEngine->Result, trMinimumPickup);
    EXPECT_EQ(fmKyr->StatusPanelText(1), QStringLiteral("Minimum Pickup"));
    EXPECT_EQ(fmKyr->StatusPanelText(2), QStringLiteral("KestrovanMpu.kwf"));
    EXPECT_FALSE(fmKyr->MinPickUpCurrent->text().isEmpty());
    EXPECT_EQ(fmKyr->MinPickUpCurrent->text(),
              Format(TestEngine->CurrentFormat.toLatin1().constData(), TestEngine->PickupRms));
    EXPECT_GT(TestEngine->PickupRms, 0.0);
}

TEST_F(MainWindowTest, NoStrayKeyOrClickResetsARunningTest)
{
    StartProgram();
    fmKyr->show();
    QTest::mouseClick(fmKyr->BitBtnRunStopReset, Qt::LeftButton);
    fmKyr->BitBtnRunStopReset->setFocus();
    for (int i = 0; i < 20 && !TestEngine->Running; ++i)
        TestEngine->TimerTick();
    ASSERT_TRUE(TestEngine->Running);
    TestEngine->TimerTick();
    // The keys go where the user's keys go: to the window's focus widget, whichever
    // it has become after the key before.
    const Qt::Key keys[] = {Qt::Key_Down, Qt::Key_Down, Qt::Key_Space, Qt::Key_Up, Qt::Key_Right, Qt::Key_Space};
    for (Qt::Key k : keys) {
        QWidget* target = fmKyr->focusWidget() ? fmKyr->focusWidget() : fmKyr;
        QTest::keyClick(target, k);
        TestEngine->TimerTick();
    }
    QTest::mouseClick(fmKyr->TestTypeSelItem[1], Qt::LeftButton);
    EXPECT_FALSE(fmKyr->cbMaxOps->isEnabled());
    EXPECT_EQ(fmSetup->TestType, 0);
    EXPECT_TRUE(fmKyr->TestTypeSelItem[0]->isChecked());
    EXPECT_TRUE(TestEngine->Running);
    EXPECT_EQ(MaxOps, 4);
    ASSERT_TRUE(TickUntilResult());
    EXPECT_EQ(TestEngine->Result, trLockout);
    EXPECT_EQ(fmKyr->OpCount, 4);
    // Once the test is over the type can be chosen again; the unsaved results are asked for.
    TestEngine->TimerTick();
    EXPECT_TRUE(fmKyr->TestTypeSel->isEnabled());
    EXPECT_TRUE(fmKyr->cbMaxOps->isEnabled());
    answers->on(QStringLiteral("OK to discard data?"), {IDNO});
    QTest::mouseClick(fmKyr->TestTypeSelItem[1], Qt::LeftButton);
    EXPECT_TRUE(answers->saw(QStringLiteral("OK to discard data?")));
}

TEST_F(MainWindowTest, StopDuringATestAndAfterIt)
{
    StartProgram();
    QTest::mouseClick(fmKyr->BitBtnRunStopReset, Qt::LeftButton);
    // Into the first reclose interval (after 0.05 s of current, within 1.5 s of none).
    for (int i = 0; i < 200 && fmKyr->OpCount < 1; ++i)
        TestEngine->TimerTick();
    for (int i = 0; i < 3; ++i)
        TestEngine->TimerTick();
    ASSERT_TRUE(TestEngine->Running);
    ASSERT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("STOP"));
    QTest::mouseClick(fmKyr->BitBtnRunStopReset, Qt::LeftButton);
    EXPECT_EQ(TestEngine->Result, trAborted);
    EXPECT_EQ(fmKyr->StatusPanelText(1), QStringLiteral("Test Aborted"));
    EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("RESET"));
    // A STOP that arrives after the end (the caption changed under the click) does nothing.
    fmKyr->SetRunStopReset(QStringLiteral("STOP"), TKyrColor::Red);
    QTest::mouseClick(fmKyr->BitBtnRunStopReset, Qt::LeftButton);
    EXPECT_EQ(TestEngine->Result, trAborted);
    // READY (an armed instrument test) does nothing either.
    fmKyr->SetRunStopReset(QStringLiteral("READY"), TKyrColor::Green);
    QTest::mouseClick(fmKyr->BitBtnRunStopReset, Qt::LeftButton);
    EXPECT_EQ(TestEngine->Result, trAborted);
}

TEST_F(MainWindowTest, ResetWithoutInstrumentInitialisesAgain)
{
    StartProgram();
    ASSERT_TRUE(PlayDemo());
    answers->on(QStringLiteral("OK to discard data?"), {IDYES});
    answers->clear();
    QTest::mouseClick(fmKyr->BitBtnRunStopReset, Qt::LeftButton);  // RESET
    // No instrument: a new initialisation with its search, cancelled into the demo.
    EXPECT_TRUE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
    EXPECT_EQ(TestEngine->Result, 0);
    EXPECT_EQ(fmKyr->OpCount, 0);
    EXPECT_TRUE(fmKyr->DataSaved);
    EXPECT_FALSE(fmKyr->BtnCheckTCC->isEnabled());
    EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("RUN"));
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(fmKyr->TripTime[i]->text(), QStringLiteral("  0.0000 secs")) << i;
    EXPECT_EQ(fmKyr->Decay[1]->text(), QStringLiteral("0.0%"));
}

TEST_F(MainWindowTest, KeysChangeTheRangeOnlyWhileArmed)
{
    StartProgram();
    ASSERT_TRUE(fmKyr->cbRange->isEnabled());
    ASSERT_EQ(fmSetup->Range, 4);
    struct Step { const char* keys; int range; };
    const Step steps[] = {{"+", 5}, {"++", 7}, {"+++", 8}, {"-", 7}, {"-------", 1}, {"-", 1}, {"x", 1}};
    for (const Step& s : steps) {
        Type(s.keys);
        EXPECT_EQ(fmSetup->Range, s.range) << s.keys;
        EXPECT_EQ(fmKyr->cbRange->currentIndex(), s.range - 1) << s.keys;
        EXPECT_EQ(TestEngine->CurrentFormat, RangeFormat[s.range]) << s.keys;
    }
    // No character ever reaches a control.
    EXPECT_FALSE(fmKyr->Current->text().contains(QLatin1Char('x')));
    EXPECT_FALSE(fmKyr->Current->text().contains(QLatin1Char('+')));
    EXPECT_NEAR(RangeFullScale, 50.0, 1e-9);

    // While the range box is disabled (a test is not armed) keys do nothing at all.
    fmKyr->cbRange->setEnabled(false);
    Type("+");
    EXPECT_EQ(fmSetup->Range, 1);
    fmKyr->cbRange->setEnabled(true);

    // Esc ends the program through its exit.
    QTest::keyClick(fmKyr->cbRange, Qt::Key_Escape);
    EXPECT_TRUE(Application.Terminated);
    EXPECT_TRUE(QFile::exists(DataFile(QStringLiteral("Kestrovan.kdf"))));
}

TEST_F(MainWindowTest, RangeAndMaxOpsBoxes)
{
    StartProgram();
    // The user's choice in the range box.
    fmKyr->cbRange->setCurrentIndex(6);
    emit fmKyr->cbRange->activated(6);
    EXPECT_EQ(fmSetup->Range, 7);
    EXPECT_NEAR(RangeFullScale, 5000.0, 1e-9);
    EXPECT_FLOAT_EQ(fmWaveform->AmpsPerCount, static_cast<float>(5000.0 * fmCal->Factor[7]));

    // Max operations in a normal test: the setup takes it, the rows follow; MaxOps only
    // at the next application of the test type.
    fmKyr->cbMaxOps->setCurrentIndex(1);
    emit fmKyr->cbMaxOps->activated(1);
    EXPECT_EQ(fmSetup->MaxOps, 2);
    EXPECT_EQ(RowsShown(), 2);
    EXPECT_EQ(MaxOps, 4);
    fmKyr->SelectTestType(0);
    EXPECT_EQ(MaxOps, 2);
}

TEST_F(MainWindowTest, CalibrationPanelHidesForGoodOnDoubleClick)
{
    StartProgram();
    ASSERT_TRUE(fmKyr->PanelCal->isVisible());
    QTest::mouseDClick(fmKyr->PanelCal, Qt::LeftButton);
    EXPECT_FALSE(fmKyr->PanelCal->isVisible());
    fmCal->CalibrationDate = Today() - 400;
    fmKyr->ResetData();
    EXPECT_FALSE(fmKyr->PanelCal->isVisible());
    EXPECT_EQ(fmKyr->PanelCal->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(fmKyr->PanelCal->text().startsWith(QStringLiteral("Calibration Date ")));
}

TEST_F(MainWindowTest, CloseQueryAsksOnlyForUnsavedResults)
{
    StartProgram();
    // Before any test: closes without a question.
    answers->clear();
    EXPECT_TRUE(fmKyr->FormCloseQuery());
    EXPECT_FALSE(answers->saw(QStringLiteral("OK to discard data?")));

    ASSERT_TRUE(PlayDemo());
    // Unsaved: No keeps the program running with its results.
    answers->on(QStringLiteral("OK to discard data?"), {IDNO});
    EXPECT_FALSE(fmKyr->close());
    EXPECT_TRUE(fmKyr->isVisible());
    EXPECT_FALSE(Application.Terminated);
    const MessageRequest* m = answers->find(QStringLiteral("OK to discard data?"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->caption, QStringLiteral("Program Close"));

    // Saved through Save Data: no question any more.
    const QString chosen = tmp->file(QStringLiteral("Chosen.kdf"));
    fileDialog = [&](QString& name) { name = chosen; return true; };
    fmKyr->mSaveClick();
    EXPECT_TRUE(fmKyr->DataSaved);
    answers->clear();
    EXPECT_TRUE(fmKyr->close());
    EXPECT_FALSE(answers->saw(QStringLiteral("OK to discard data?")));
    EXPECT_TRUE(Application.Terminated);
}

TEST_F(MainWindowTest, ExitWithUnsavedResultsEndsWithoutTheCloseQuery)
{
    // The program's own exit (Esc, File Exit, the hand-over) writes the data file and
    // ends the application's loop: the main window's close query is not asked and the
    // exit does not run again. Run inside the application's loop, as the program runs.
    StartProgram();
    ASSERT_TRUE(PlayDemo());
    ASSERT_FALSE(fmKyr->DataSaved);
    QAction* exitItem = fmKyr->findChild<QAction*>(QStringLiteral("mExit"));
    ASSERT_NE(exitItem, nullptr);
    answers->on(QStringLiteral("OK to discard data?"), {IDNO});
    answers->clear();
    const int exitsBefore = static_cast<int>(TraceText().count(QStringLiteral(": ProgExit")));
    QTimer::singleShot(0, exitItem, &QAction::trigger);  // File, Exit
    // A loop that never ends would fail here after a generous while, not hang the run.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(60000);
    EXPECT_EQ(QApplication::exec(), 0);
    guard.stop();
    EXPECT_TRUE(Application.Terminated);
    EXPECT_FALSE(answers->saw(QStringLiteral("OK to discard data?")));
    EXPECT_EQ(TraceText().count(QStringLiteral(": ProgExit")), exitsBefore + 1);
    EXPECT_TRUE(QFile::exists(DataFile(QStringLiteral("Kestrovan.kdf"))));
}

TEST_F(MainWindowTest, SaveDataWritesTheChosenFileAndMarksSavedOnlyWhenWritten)
{
    StartProgram();
    ASSERT_TRUE(PlayDemo());
    ASSERT_FALSE(fmKyr->DataSaved);
    // A folder other than the data folder, by its full path.
    ASSERT_TRUE(QDir(tmp->path()).mkdir(QStringLiteral("elsewhere")));
    const QString chosen = tmp->file(QStringLiteral("elsewhere/Run1.kdf"));
    QString offered;
    fileDialog = [&](QString& name) {
        offered = name;
        name = chosen;
        return true;
    };
    // A write that fails leaves the results unsaved: the close box still warns.
    fmKyr->SaveDialog1.FileName.clear();
    ASSERT_TRUE(QDir(tmp->path()).mkdir(QStringLiteral("elsewhere/Run1.kdf")));
    fmKyr->mSaveClick();
    EXPECT_TRUE(answers->find(QStringLiteral("Error writing file: ")) != nullptr);
    EXPECT_FALSE(fmKyr->DataSaved);
    ASSERT_TRUE(QDir(tmp->path()).rmdir(QStringLiteral("elsewhere/Run1.kdf")));

    fmKyr->mSaveClick();
    EXPECT_TRUE(offered.endsWith(QStringLiteral("Kestrovan.kdf")));
    EXPECT_TRUE(fmKyr->DataSaved);
    QFile f(chosen);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), 21);
    EXPECT_FALSE(QFile::exists(DataFile(QStringLiteral("Run1.kdf"))));
    EXPECT_EQ(QDir::currentPath(), dataFolder);

    // A name that is not a results data file name: only the name counts, not a folder
    // whose name looks like one, and "Kestrovan.kdf" goes into the chosen folder.
    ASSERT_TRUE(QDir(tmp->path()).mkdir(QStringLiteral("runs.dat")));
    const QString refused = tmp->file(QStringLiteral("runs.dat/Run2.txt"));
    fileDialog = [&](QString& name) { name = refused; return true; };
    answers->clear();
    fmKyr->DataSaved = false;
    ASSERT_FALSE(QFile::exists(DataFile(QStringLiteral("Kestrovan.kdf"))));
    fmKyr->mSaveClick();
    const MessageRequest* wrong = answers->find(QStringLiteral("Must be type .kdf or .dat"));
    ASSERT_NE(wrong, nullptr);
    EXPECT_EQ(wrong->caption, QStringLiteral("Wrong Data File Name"));
    EXPECT_FALSE(QFile::exists(refused));
    EXPECT_TRUE(QFile::exists(tmp->file(QStringLiteral("runs.dat/Kestrovan.kdf"))));
    EXPECT_FALSE(QFile::exists(DataFile(QStringLiteral("Kestrovan.kdf"))));
    EXPECT_TRUE(fmKyr->DataSaved);
    EXPECT_EQ(QDir::currentPath(), dataFolder);

    // Cancel writes nothing and changes nothing.
    fileDialog = nullptr;
    fmKyr->DataSaved = false;
    fmKyr->mSaveClick();
    EXPECT_FALSE(fmKyr->DataSaved);
}

TEST_F(MainWindowTest, OpenFileDemoPlaysTheChosenFileByItsFullPath)
{
    StartProgram();
    ASSERT_EQ(fmSetup->TestType, 0);
    // A minimum pick-up waveform in another folder: playing it switches the test type.
    ASSERT_TRUE(QDir(tmp->path()).mkdir(QStringLiteral("waves")));
    const QString other = tmp->file(QStringLiteral("waves/Other.kwf"));
    ASSERT_TRUE(QFile::copy(DataFile(QStringLiteral("KestrovanMpu.kwf")), other));
    QString offered;
    fileDialog = [&](QString& name) {
        offered = name;
        name = other;
        return true;
    };
    fmKyr->mOpenClick();
    EXPECT_EQ(offered, QStringLiteral("KestrovanNorm.kwf"));
    EXPECT_EQ(fmKyr->OpenDialog1.InitialDir, dataFolder);
    EXPECT_FALSE(answers->find(QStringLiteral("Error loading: ")));
    EXPECT_EQ(fmSetup->TestType, 1);
    EXPECT_EQ(fmWaveform->Header.WaveType, 'M');
    EXPECT_TRUE(DemoMode);
    EXPECT_EQ(QDir::currentPath(), dataFolder);

    // A chosen file that cannot be read falls back to the default file of the test type.
    const QString bad = tmp->file(QStringLiteral("waves/Bad.kwf"));
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a waveform");
    }
    fileDialog = [&](QString& name) { name = bad; return true; };
    answers->clear();
    fmKyr->mOpenClick();
    EXPECT_FALSE(answers->find(QStringLiteral("Error loading: ")));
    EXPECT_EQ(fmWaveform->Header.WaveType, 'M');
}

TEST_F(MainWindowTest, CheckTccHandsOverToTheCurveProgram)
{
    // Started as the curve program's helper with a parameter: KYRRUN.DAT, then the exit.
    StartProgram({QStringLiteral("from-curve-program")}, QStringLiteral("kyrrun"));
    EXPECT_FALSE(DemoMode);  // a parameter that names no file selects no source
    EXPECT_FALSE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
    QTest::mouseClick(fmKyr->BtnCheckTCC, Qt::LeftButton);
    EXPECT_FALSE(fmKyr->BtnCheckTCC->isEnabled());  // disabled until a test ends
    // A hand-over file that cannot be written: the message, and the program stays with
    // its results, so the curve program is not handed the last test's file.
    ASSERT_TRUE(QDir(dataFolder).mkdir(QStringLiteral("KYRRUN.DAT")));
    answers->clear();
    fmKyr->BtnCheckTCCClick();
    EXPECT_TRUE(answers->find(QStringLiteral("Error writing file: ")) != nullptr);
    EXPECT_FALSE(Application.Terminated);
    ASSERT_TRUE(QDir(dataFolder).rmdir(QStringLiteral("KYRRUN.DAT")));
    fmKyr->BtnCheckTCCClick();
    EXPECT_TRUE(QFileInfo(DataFile(QStringLiteral("KYRRUN.DAT"))).isFile());
    EXPECT_TRUE(Application.Terminated);
}

TEST_F(MainWindowTest, CheckTccWithAndWithoutParameterOrWithBang)
{
    // Another program name with a parameter: the setup's data file, then the exit.
    // "!" and no parameter stay in the program; only without a parameter is the meter
    // window hidden (the results window, when there is one, takes its place).
    struct Case { QStringList params; bool ends; bool meterShown; };
    const Case cases[] = {
        {{QStringLiteral("from-curve-program")}, true, true},
        {{QStringLiteral("!")}, false, true},
        {{}, false, false},
    };
    for (const Case& c : cases) {
        const QString what = c.params.isEmpty() ? QStringLiteral("(none)") : c.params.first();
        StartProgram(c.params);
        const QString dataFile = fmSetup->DataFileName;
        QFile::remove(dataFile);
        fmKyr->SelectTestType(1);  // a minimum pick-up test shows the meter window
        ASSERT_TRUE(fmKyrMeter->isVisible()) << what.toStdString();
        fmKyr->BtnCheckTCCClick();
        EXPECT_EQ(Application.Terminated, c.ends) << what.toStdString();
        EXPECT_EQ(QFile::exists(dataFile), c.ends) << what.toStdString();
        EXPECT_FALSE(QFile::exists(DataFile(QStringLiteral("KYRRUN.DAT")))) << what.toStdString();
        EXPECT_EQ(fmKyrMeter->isVisible(), c.meterShown) << what.toStdString();
        StopProgram();
    }
}

TEST_F(MainWindowTest, CommandsOfWindowsNotBuiltDoNothingAndSetupInitialisesAgain)
{
    StartProgram();
    auto visibleWindows = [] {
        QStringList names;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                names << w->objectName();
        names.sort();
        return names;
    };
    const QStringList before = visibleWindows();
    const QString trace = TraceText();
    answers->clear();
    // Report, Database, Contents and Operation Guide, Test Reset (no handler at all),
    // and the recloser data button.
    for (const char* name : {"mReport", "mDatabase", "mContents", "mOpGuide", "mReset"}) {
        QAction* a = fmKyr->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(a, nullptr) << name;
        a->trigger();
    }
    QTest::mouseClick(fmKyr->BtnReclData, Qt::LeftButton);
    EXPECT_TRUE(answers->requests.empty());
    EXPECT_EQ(visibleWindows(), before);
    EXPECT_FALSE(Application.Terminated);
    EXPECT_EQ(TraceText().count(QStringLiteral(": ResetData ")), trace.count(QStringLiteral(": ResetData ")));

    // Setup: the setup window, modal; once it is closed, a new initialisation (here
    // with its search, no instrument answering).
    QTimer::singleShot(0, [] { fmSetup->Button1->click(); });
    fmKyr->findChild<QAction*>(QStringLiteral("mSetup"))->trigger();
    EXPECT_FALSE(fmSetup->isVisible());
    EXPECT_EQ(TraceText().count(QStringLiteral(": ProgInit ")), trace.count(QStringLiteral(": ProgInit ")) + 1);
    EXPECT_TRUE(answers->saw(QStringLiteral("Hardware Not Found. Try again?")));
    EXPECT_TRUE(DemoMode);
}

TEST_F(MainWindowTest, CalibrateAsksForTheAccessCodeFirst)
{
    StartProgram();
    fmCal->CalibrationDate = Today() - 10;
    const QString dateLine = QStringLiteral("Calibration Date: ") + DateToStr(DayNumberToDate(Today() - 10));
    struct Case { const char* code; bool calibrationShown; };
    const Case cases[] = {{nullptr, false}, {"9847", true}};
    for (const Case& c : cases) {
        const char* what = c.code ? c.code : "(cancel)";
        QString shownDate;
        bool calibrationShown = false;
        // The user: answers the access-code dialog once it is up, then leaves the
        // calibration window once that is up. Polled, so no step depends on timing.
        QTimer user;
        user.setInterval(10);
        bool answered = false;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (!answered) {
                auto* pass = fmKyr->findChild<TfmPass*>();
                if (!pass || !pass->isVisible())
                    return;
                answered = true;
                shownDate = pass->lbCalDate->text();
                if (c.code) {
                    pass->Password->setText(QString::fromLatin1(c.code));
                    pass->OKBtn->click();
                } else {
                    pass->CancelBtn->click();
                }
            } else if (fmCal->isVisible()) {
                calibrationShown = true;
                fmCal->reject();
            }
        });
        user.start();
        fmKyr->mCalibrateClick();
        user.stop();
        EXPECT_TRUE(answered) << what;
        EXPECT_EQ(shownDate, dateLine) << what;
        EXPECT_EQ(calibrationShown, c.calibrationShown) << what;
        EXPECT_EQ(fmKyr->findChild<TfmPass*>(), nullptr) << what;  // a fresh dialog each time, released
        EXPECT_FALSE(fmCal->isVisible()) << what;
        // Then the range again and a reset.
        EXPECT_EQ(fmKyr->BitBtnRunStopReset->text(), QStringLiteral("RUN")) << what;
        const QString trace = TraceText();
        EXPECT_GT(trace.lastIndexOf(QStringLiteral(": SetRange ")), trace.lastIndexOf(QStringLiteral(": CalibrateClick ")));
        EXPECT_GT(trace.lastIndexOf(QStringLiteral(": End CalibrateClick ")), trace.lastIndexOf(QStringLiteral(": ResetData ")));
    }
}

TEST_F(MainWindowTest, MenuCommandsThatShowWindows)
{
    StartProgram();
    fmKyr->mDebugInfoClick();
    EXPECT_TRUE(fmDebug->isVisible());
    fmKyr->mHardwareStatusClick();
    EXPECT_TRUE(fmComm->isVisible());
    EXPECT_TRUE(fmComm->grab().save(ArtifactPath(QStringLiteral("communication_status.png"))));
    fmComm->hide();
    answers->clear();
    fmKyr->mAboutClick();
    const MessageRequest* about = answers->find(QStringLiteral("Version: "));
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->caption, QStringLiteral("Kestrovan"));
    EXPECT_EQ(about->flags & 0xF, static_cast<unsigned>(MB_OKCANCEL));
    EXPECT_TRUE(about->text.startsWith(QStringLiteral("Version: 10.0.0.1\r\r")));
    // The waveform view is modal: its Exit button ends the command.
    QTimer::singleShot(50, [] { fmWaveform->ExitButton->click(); });
    fmCal->SerNum = QStringLiteral("SN-0042   ");
    fmKyr->mWaveformClick();
    EXPECT_FALSE(fmWaveform->isVisible());
    EXPECT_EQ(fmWaveform->SerNum, QStringLiteral("SN-0042   "));
}

} // namespace

TEST_F(MainWindowTest, TheSelectedRangeStaysShownWhileTheSearchAsks)
{
    StartProgram();
    ASSERT_TRUE(PlayDemo());
    fmKyr->cbRange->setCurrentIndex(5);
    fmSetup->Range = 6;
    const QString shown = fmKyr->cbRange->currentText();
    ASSERT_NE(shown, fmKyr->cbRange->itemText(0));
    QString shownWhileAsking;
    answers->on(QStringLiteral("OK to discard data?"), {IDYES});
    answers->onRequest = [&](const MessageRequest& r) {
        if (r.text == QLatin1String("Hardware Not Found. Try again?"))
            shownWhileAsking = fmKyr->cbRange->currentText();
    };
    QTest::mouseClick(fmKyr->BitBtnRunStopReset, Qt::LeftButton);  // RESET: a new search
    answers->onRequest = nullptr;
    EXPECT_EQ(shownWhileAsking, shown);
    EXPECT_EQ(fmKyr->cbRange->count(), 8);
}

TEST_F(MainWindowTest, TabMovesTheFocusAndIsNoKeyOfTheForm)
{
    StartProgram();
    ASSERT_TRUE(fmKyr->cbRange->isEnabled());
    fmKyr->activateWindow();
    fmKyr->BitBtnRunStopReset->setFocus();
    const QString trace = TraceText();
    QStringList reached;
    for (int i = 0; i < 40; ++i) {
        QWidget* before = QApplication::focusWidget();
        ASSERT_NE(before, nullptr);
        QTest::keyClick(before, Qt::Key_Tab);
        QWidget* after = QApplication::focusWidget();
        ASSERT_NE(after, before) << "Tab left the focus on " << before->objectName().toStdString();
        if (!reached.contains(after->objectName()))
            reached << after->objectName();
    }
    // The commands and boxes of the form are reachable from the keyboard.
    for (const char* name : {"BitBtnRunStopReset", "cbRange", "BtnCheckTCC", "BtnReclData"}) {
        QWidget* w = fmKyr->findChild<QWidget*>(QString::fromLatin1(name));
        if (w && w->isEnabled() && w->isVisible()) {
            EXPECT_TRUE(reached.contains(QString::fromLatin1(name))) << name;
        }
    }
    // Shift+Tab goes back.
    QWidget* here = QApplication::focusWidget();
    QTest::keyClick(here, Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), here);
    // No Tab reset the armed test.
    EXPECT_EQ(TraceText().count(QStringLiteral(": ResetData ")), trace.count(QStringLiteral(": ResetData ")));
    // The form's own keys still work.
    const int range = fmSetup->Range;
    Type("+");
    EXPECT_EQ(fmSetup->Range, std::min(range + 1, 8));
}

TEST_F(MainWindowTest, AHeldKeyDoesNotStopTheEngineTick)
{
    StartProgram();
    ASSERT_TRUE(TestEngine->Timer->isActive());
    int ticks = 0;
    QObject context;
    QObject::connect(TestEngine->Timer, &QTimer::timeout, &context, [&] { ++ticks; });
    // Auto-repeat at about 25 a second for well over a tick: each repeat resets the test.
    for (int i = 0; i < 30; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"), /*autorep=*/true);
        QCoreApplication::sendEvent(fmKyr->Current, &press);
        QTest::qWait(40);
    }
    EXPECT_GT(ticks, 0);
}
