// The results window in the running program: "Check TCC" after a demo test, the copy
// of the main window's results, keyboard input, the save into KyrRes read back byte by
// byte, and the close query.
#include "KyrResults.h"

#include "ProgramFixture.h"
#include "FakeRecords.h"
#include "KyrRecords.h"
#include "ResultsDbf.h"

#include "InputBox.h"
#include "KyrData.h"
#include "KyrTableDefs.h"
#include "KyrMain.h"
#include "KyrMeter.h"
#include "Sound.h"
#include "SysUtils.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDate>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTime>
#include <QTimer>
#include <cmath>

namespace {

void SetCombo(QComboBox* box, const QString& text)
{
    const QSignalBlocker block(box);
    box->setEditText(text);
    box->setCurrentText(text);
}

class ResultsWindow : public ProgramFixture {
protected:
    int beeps = 0;
    // The records' windows as the program installs them.
    TKyrRecords records;
    ScopedRecords installed{&records};

    void SetUp() override
    {
        ProgramFixture::SetUp();
        SetMessageBeepHandler([this](UINT) { ++beeps; });
        // The recloser form asks for the full name of a new ID when its box loses the focus.
        SetInputResponder([](const QString&, const QString&, const QString&) { return std::optional<QString>(); });
        ASSERT_TRUE(QDir().mkpath(dataFolder));
        for (const QString& table : KyrTableNames())
            ASSERT_TRUE(WriteEmptyTable(dataFolder, table, true));
        StartProgram();
        ASSERT_TRUE(DemoMode);
    }
    void TearDown() override
    {
        ResultsAnalyzed = false;
        SetMessageBeepHandler(nullptr);
        SetInputResponder(nullptr);
        ProgramFixture::TearDown();
    }

    // A recloser whose curves suit the demo test's currents: one fast and three slow
    // operations, test current twice the reference, the reference half the first trip
    // current, trip-time curves wide enough for the demo's times.
    void PrepareRecloser(const QString& phase = QStringLiteral("A (or Single)"),
                         const QString& testType = QStringLiteral("2X"))
    {
        ASSERT_NO_FATAL_FAILURE(FillRecloser(phase, testType));
    }
    void FillRecloser(const QString& phase, const QString& testType)
    {
        TfmReclData* rd = fmReclData;
        SetCombo(rd->cbReclID, QStringLiteral("R-1042"));
        SetCombo(rd->cbTechID, QStringLiteral("JDOE"));
        SetCombo(rd->cbCustID, QStringLiteral("NORTHGRID"));
        SetCombo(rd->cbReclType, QStringLiteral("VWE"));
        SetCombo(rd->cbReclCoil, QStringLiteral("280"));
        SetCombo(rd->cbReclFastOps, QStringLiteral("1"));
        SetCombo(rd->cbReclDelayOps, QStringLiteral("3"));
        SetCombo(rd->cbReclDelayCurve, QStringLiteral("B"));
        SetCombo(rd->cbReclGndCT, QStringLiteral("200:5 Ser"));
        SetCombo(rd->cbGndFastOps, QStringLiteral("2"));
        SetCombo(rd->cbGndFastCurve, QStringLiteral("1"));
        SetCombo(rd->cbGndDelayOps, QStringLiteral("2"));
        SetCombo(rd->cbGndSlowCurve, QStringLiteral("3"));
        SetCombo(rd->cbTestType, testType);
        SetCombo(rd->cbPhase, phase);
        rd->ebReclTime->setText(QStringLiteral("2.000"));
        rd->ebPhaseMPU->setText(QStringLiteral("560"));
        rd->ebGndMPU->setText(QStringLiteral("200"));
        rd->setAttribute(Qt::WA_ShowWithoutActivating);
        rd->show();
        QCoreApplication::processEvents();
        // The curves are entered on the form's pages and saved into the curve file.
        const double ref = std::max(1.0, LeadingCurrent(fmKyr->TripCurr[1]->text()) / 2.2);
        QPushButton* save[4] = {rd->btSaveFast, rd->btSaveDelay, rd->btSaveGndFast, rd->btSaveGndSlow};
        for (int k = 0; k < 4; ++k) {
            rd->CurveEdit(k, 0)->setText(QStringLiteral("560"));
            rd->CurveEdit(k, 1)->setText(FloatToStr(std::round(ref)));
            for (int i = 2; i <= 11; ++i)
                rd->CurveEdit(k, i)->setText(k == 0 ? QStringLiteral("0.100") : QStringLiteral("1.000"));
            rd->CurveEdit(k, 12)->setText(QStringLiteral("90"));
            rd->CurveEdit(k, 13)->setText(QStringLiteral("900"));
            rd->SaveCurveClick(save[k]);
        }
        rd->FastOps = 1;
        rd->DelayOps = 3;
        rd->GndFastOps = 2;
        rd->GndDelayOps = 2;
        rd->TotalOps = 4;
        rd->CurrMultiple = 2;
        ASSERT_TRUE(rd->CurveVerified);
        rd->ebPhaseMPU->setText(QStringLiteral("560"));
        rd->ebGndMPU->setText(QStringLiteral("200"));
    }

    // "Check TCC": clicked once a test has ended, else run as the hand-over would.
    void CheckTCC()
    {
        if (fmKyr->BtnCheckTCC->isEnabled())
            QTest::mouseClick(fmKyr->BtnCheckTCC, Qt::LeftButton);
        else
            fmKyr->BtnCheckTCCClick();
        ASSERT_NE(fmKyrResults, nullptr);
        const bool analysed = WaitFor([] { return fmKyrResults->isVisible() && ResultsAnalyzed; }, 10000);
        QStringList asked;
        for (const MessageRequest& r : answers->requests)
            asked << r.text;
        ASSERT_TRUE(analysed) << asked.join(QLatin1Char('|')).toStdString();
    }

    QLineEdit* Ed(const QString& name) const { return fmKyrResults->findChild<QLineEdit*>(name); }
    QString T(const QString& name) const { return Ed(name)->text(); }
    QString KyrRes() const { return DataFile(QStringLiteral("KyrRes.dbf")); }
    std::vector<resultsdbf::Row> Rows() const { return resultsdbf::ReadRows(KyrRes()); }
};

TEST_F(ResultsWindow, CheckTCCAfterADemoTestCopiesTheMainWindowsResultsAndAnalysesOnce)
{
    ASSERT_TRUE(PlayDemo());
    ASSERT_TRUE(fmKyr->BtnCheckTCC->isEnabled());
    PrepareRecloser();
    fmKyrMeter->show();
    // The program's results window is freed and a fresh one made (the allocator may
    // give it the same address).
    QPointer<TfmKyrResults> before = fmKyrResults;
    CheckTCC();
    EXPECT_TRUE(before.isNull());
    ASSERT_NE(fmKyrResults, nullptr);
    EXPECT_FALSE(fmKyrMeter->isVisible());
    EXPECT_EQ(fmKyrResults->windowTitle(), QStringLiteral("Test Results Analysis"));
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(T(QStringLiteral("ebTestCurr%1").arg(n)), fmKyr->TripCurr[n]->text());
        EXPECT_EQ(T(QStringLiteral("ebTestTrip%1").arg(n)), fmKyr->TripTime[n]->text());
        EXPECT_EQ(T(QStringLiteral("ebTestRecl%1").arg(n)), fmKyr->RecloseTime[n]->text());
        EXPECT_FALSE(T(QStringLiteral("ebMinTrip%1").arg(n)).isEmpty());
        EXPECT_EQ(fmKyrResults->MeasCurr[n], LeadingCurrent(fmKyr->TripCurr[n]->text()));
        EXPECT_EQ(fmKyrResults->MeasTrip[n], LeadingNumber(fmKyr->TripTime[n]->text()));
    }
    EXPECT_FALSE(T(QStringLiteral("ebResults")).isEmpty());
    EXPECT_EQ(T(QStringLiteral("ebResults")), fmKyrResults->ResultFlags);

    // Later activations copy again but do not analyse again.
    Ed(QStringLiteral("ebMinTrip1"))->setText(QStringLiteral("marker"));
    fmKyrResults->FormActivate();
    EXPECT_EQ(T(QStringLiteral("ebMinTrip1")), QStringLiteral("marker"));
    EXPECT_TRUE(fmKyrResults->grab().save(ArtifactPath(QStringLiteral("results_window_after_demo.png"))));
}

TEST_F(ResultsWindow, ANewWindowAnalysesAtItsFirstActivationEvenWithTheFlagStillSet)
{
    ASSERT_TRUE(PlayDemo());
    PrepareRecloser();
    // The previous window was hidden by Run Test without being closed.
    ResultsAnalyzed = true;
    CheckTCC();
    EXPECT_TRUE(WaitFor([this] { return !T(QStringLiteral("ebMaxTrip1")).isEmpty(); }));
    EXPECT_EQ(fmKyrResults->MeasCurr[1], LeadingCurrent(fmKyr->TripCurr[1]->text()));
}

TEST_F(ResultsWindow, AnActivationHandedBackByAModalBoxDoesNotAnalyseAgain)
{
    ASSERT_TRUE(PlayDemo());
    // No recloser prepared: each analysis fails with its box (the first asks for the
    // recloser form and shows it, the next for its curves).
    fmKyr->BtnCheckTCCClick();
    auto count = [&] {
        int n = 0;
        for (const MessageRequest& r : answers->requests)
            n += r.text == QLatin1String("Must set up test parameters first") ||
                 r.text == QLatin1String("Curve Data must be entered and saved");
        return n;
    };
    ASSERT_TRUE(WaitFor([&] { return count() >= 1; }));
    auto activate = [&](QWidget* w) {
        w->activateWindow();
        return WaitFor([w] { return QApplication::activeWindow() == w; });
    };
    ASSERT_TRUE(activate(fmKyrResults));
    QTest::qWait(50);
    const int before = count();
    // A modal box takes the activation and gives it back when it closes.
    QDialog modal(fmKyrResults);
    modal.setModal(true);
    modal.show();
    ASSERT_TRUE(activate(&modal));
    modal.hide();
    ASSERT_TRUE(activate(fmKyrResults));
    QTest::qWait(50);
    EXPECT_EQ(count(), before);
    // A visit from another window analyses again, as the failed analysis asks.
    ASSERT_TRUE(activate(fmKyr));
    ASSERT_TRUE(activate(fmKyrResults));
    EXPECT_TRUE(WaitFor([&] { return count() > before; }));
}

TEST_F(ResultsWindow, KeyboardInputKeepsTypedValuesAndAnalyzeUsesThem)
{
    ASSERT_TRUE(PlayDemo());
    PrepareRecloser();
    CheckTCC();
    QLineEdit* trip = Ed(QStringLiteral("ebTestTrip2"));
    EXPECT_TRUE(trip->isReadOnly());
    EXPECT_TRUE(Ed(QStringLiteral("ebResults"))->isReadOnly() == false);  // editable while new
    QTest::mouseClick(fmKyrResults->sbKeyboardInput, Qt::LeftButton);
    EXPECT_TRUE(fmKyrResults->sbKeyboardInput->isChecked());
    for (const char* name : {"ebTestCurr1", "ebTestTrip4", "ebTestRecl3", "ebTestMPU", "ebResults"})
        EXPECT_FALSE(Ed(QString::fromLatin1(name))->isReadOnly()) << name;
    trip->clear();
    QTest::keyClicks(trip, QStringLiteral("9.8765"));
    fmKyrResults->FormActivate();
    EXPECT_EQ(trip->text(), QStringLiteral("9.8765"));
    QTest::mouseClick(fmKyrResults->btAnalyze, Qt::LeftButton);
    EXPECT_EQ(fmKyrResults->MeasTrip[2], 9.8765);
    EXPECT_EQ(T(QStringLiteral("ebResTrip2")), QStringLiteral("HIGH"));
    EXPECT_TRUE(T(QStringLiteral("ebResults")).contains(QStringLiteral("Op 2 TripTimeHigh,")));
    EXPECT_GE(beeps, 1);
    // Up again: read-only, and the next activation copies the main window's values.
    QTest::mouseClick(fmKyrResults->sbKeyboardInput, Qt::LeftButton);
    EXPECT_TRUE(trip->isReadOnly());
    EXPECT_TRUE(Ed(QStringLiteral("ebResults"))->isReadOnly());
    fmKyrResults->FormActivate();
    EXPECT_EQ(trip->text(), fmKyr->TripTime[2]->text());
}

TEST_F(ResultsWindow, SaveWritesOneOperationRowWithEveryField)
{
    ASSERT_TRUE(PlayDemo());
    EXPECT_FALSE(fmKyr->DataSaved);
    PrepareRecloser();
    CheckTCC();
    Ed(QStringLiteral("ebOpCounter"))->setText(QStringLiteral("1234"));
    Ed(QStringLiteral("ebComments"))->setText(QStringLiteral("Bench 3, after overhaul"));
    answers->on(QStringLiteral("Include these results in report?"), {IDNO});
    const QDate day = QDate::currentDate();
    QTest::mouseClick(fmKyrResults->btSaveResults, Qt::LeftButton);
    const MessageRequest* q = answers->find(QStringLiteral("Include these results in report?"));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->caption, QStringLiteral("Report"));
    EXPECT_TRUE(fmKyr->DataSaved);

    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    const resultsdbf::Row& r = rows[0];
    EXPECT_EQ(r.at("RECLID"), "R-1042");
    EXPECT_EQ(r.at("TESTDATE"), day.toString(QStringLiteral("yyyyMMdd")));
    EXPECT_TRUE(QTime::fromString(r.at("TESTTIME"), QStringLiteral("HH:mm:ss")).isValid()) << r.at("TESTTIME").toStdString();
    EXPECT_EQ(r.at("TECHID"), "JDOE");
    EXPECT_EQ(r.at("CUSTID"), "NORTHGRID");
    EXPECT_EQ(r.at("RECLTYPE"), "VWE");
    EXPECT_EQ(r.at("COIL_CT"), "280");
    EXPECT_EQ(r.at("PHASE"), "A (or Single)");
    EXPECT_EQ(r.at("OPSEQ"), "1A-3B");
    EXPECT_EQ(r.at("TESTRESULT"), QLatin1Char('*') + T(QStringLiteral("ebResults")));
    EXPECT_EQ(r.at("TESTTYPE"), "2X");
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        auto num = [&](const char* f) { return r.at(QStringLiteral("%1%2").arg(QLatin1String(f)).arg(n)).toDouble(); };
        EXPECT_NEAR(num("CURR"), fmKyrResults->MeasCurr[n], 0.0005);
        EXPECT_NEAR(num("TIME"), fmKyrResults->MeasTrip[n], 0.00005);
        EXPECT_NEAR(num("MIN"), T(QStringLiteral("ebMinTrip%1").arg(n)).toDouble(), 0.00005);
        EXPECT_NEAR(num("MAX"), T(QStringLiteral("ebMaxTrip%1").arg(n)).toDouble(), 0.00005);
        const QString opt = T(QStringLiteral("ebOptTrip%1").arg(n));
        EXPECT_NEAR(num("OPT"), opt == QLatin1String("N/A") ? 0.0 : opt.toDouble(), 0.00005);
        if (n <= 3) {
            EXPECT_NEAR(num("RECL"), fmKyrResults->MeasRecl[n], 0.00005);
        }
    }
    // The fast operation shows no optimum and stores 0.
    EXPECT_EQ(T(QStringLiteral("ebOptTrip1")), QStringLiteral("N/A"));
    EXPECT_EQ(r.at("OPT1").toDouble(), 0.0);
    EXPECT_FALSE(r.at("OPT1").isEmpty());
    EXPECT_EQ(r.at("OPCOUNTER"), "1234");
    EXPECT_EQ(r.at("COMMENTS"), "Bench 3, after overhaul");

    // Closing after the save asks nothing.
    answers->clear();
    fmKyrResults->close();
    EXPECT_FALSE(answers->saw(QStringLiteral("Save Data?")));
    EXPECT_FALSE(fmKyrResults->isVisible());
    EXPECT_FALSE(ResultsAnalyzed);
}

TEST_F(ResultsWindow, AFullResultsTextLeftOutOfTheReportIsStoredWhole)
{
    ASSERT_TRUE(PlayDemo());
    PrepareRecloser();
    CheckTCC();
    // The results box holds 250 characters; "No" to the report question puts a "*" in front.
    const QString full = QString(250, QLatin1Char('R'));
    Ed(QStringLiteral("ebResults"))->setText(full);
    answers->on(QStringLiteral("Include these results in report?"), {IDNO});
    QTest::mouseClick(fmKyrResults->btSaveResults, Qt::LeftButton);
    EXPECT_TRUE(fmKyr->DataSaved);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("TESTRESULT"), QLatin1Char('*') + full);
}

TEST_F(ResultsWindow, MinimumPickupGroundRowStoresTheCurrentAndItsLimitsOnly)
{
    PrepareRecloser(QStringLiteral("G (Gnd Trip)"), QStringLiteral("MPU"));
    fmKyr->MinPickUpCurrent->setText(QStringLiteral("205.3"));
    CheckTCC();
    EXPECT_EQ(T(QStringLiteral("ebTestMPU")), QStringLiteral("205.3"));
    EXPECT_EQ(T(QStringLiteral("ebMinMPU")), QStringLiteral(" 180.00"));
    EXPECT_EQ(T(QStringLiteral("ebResMPU")), QStringLiteral("OK"));
    EXPECT_EQ(T(QStringLiteral("ebResults")), QStringLiteral("MPU OK"));
    answers->on(QStringLiteral("Include these results in report?"), {IDYES});
    QTest::mouseClick(fmKyrResults->btSaveResults, Qt::LeftButton);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    const resultsdbf::Row& r = rows[0];
    EXPECT_EQ(r.at("COIL_CT"), "200:5 Ser");
    EXPECT_EQ(r.at("OPSEQ"), "2(1)-2(3)");
    EXPECT_EQ(r.at("TESTRESULT"), "MPU OK");
    EXPECT_EQ(r.at("TESTTYPE"), "MPU");
    EXPECT_DOUBLE_EQ(r.at("CURR1").toDouble(), 205.3);
    EXPECT_DOUBLE_EQ(r.at("MIN1").toDouble(), 180.0);
    EXPECT_DOUBLE_EQ(r.at("MAX1").toDouble(), 220.0);
    EXPECT_DOUBLE_EQ(r.at("OPT1").toDouble(), 200.0);
    for (const char* f : {"CURR2", "CURR4", "TIME1", "TIME3", "MIN2", "MAX4", "OPT3", "RECL1", "RECL3", "OPCOUNTER"})
        EXPECT_EQ(r.at(QString::fromLatin1(f)), QString()) << f;
}

TEST_F(ResultsWindow, ASaveThatCannotConvertAFieldStoresNothing)
{
    ASSERT_TRUE(PlayDemo());
    PrepareRecloser();
    CheckTCC();
    Ed(QStringLiteral("ebOpCounter"))->setText(QStringLiteral("12a"));
    answers->on(QStringLiteral("Include these results in report?"), {IDYES});
    QTest::mouseClick(fmKyrResults->btSaveResults, Qt::LeftButton);
    EXPECT_TRUE(answers->saw(QStringLiteral("'12a' is not a valid integer value.")));
    EXPECT_TRUE(Rows().empty());
    EXPECT_FALSE(fmKyr->DataSaved);
    EXPECT_TRUE(fmKyrResults->btSaveResults->isEnabled());
}

TEST_F(ResultsWindow, AMissingResultsFileIsReportedAndNothingAsked)
{
    ASSERT_TRUE(PlayDemo());
    PrepareRecloser();
    CheckTCC();
    ASSERT_TRUE(QFile::remove(KyrRes()));
    QTest::mouseClick(fmKyrResults->btSaveResults, Qt::LeftButton);
    const MessageRequest* m = answers->find(QStringLiteral("Results file "));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->text, QStringLiteral("Results file KyrRes.dbf not found"));
    EXPECT_EQ(m->caption, QStringLiteral("Error"));
    EXPECT_FALSE(answers->saw(QStringLiteral("Include these results in report?")));
    EXPECT_FALSE(fmKyr->DataSaved);
}

TEST_F(ResultsWindow, ASecondClickDuringTheSaveWaitStoresNoSecondRow)
{
    ASSERT_TRUE(PlayDemo());
    PrepareRecloser();
    CheckTCC();
    answers->on(QStringLiteral("Include these results in report?"), {IDYES});
    bool clicked = false;
    QTimer::singleShot(300, fmKyrResults, [&] {
        clicked = true;
        fmKyrResults->btSaveResultsClick();
    });
    QTest::mouseClick(fmKyrResults->btSaveResults, Qt::LeftButton);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(Rows().size(), 1u);
    EXPECT_EQ(answers->count(QStringLiteral("Include these results in report?")), 1);
}

TEST_F(ResultsWindow, ClosingWithUnsavedResultsAsksToSave)
{
    ASSERT_TRUE(PlayDemo());
    PrepareRecloser();
    CheckTCC();
    // No: nothing stored, the window closes all the same.
    answers->on(QStringLiteral("Save Data?"), {IDNO, IDYES});
    QTest::mouseClick(fmKyrResults->btClose, Qt::LeftButton);
    const MessageRequest* q = answers->find(QStringLiteral("Save Data?"));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->caption, QStringLiteral("Results Form Close"));
    EXPECT_FALSE(fmKyrResults->isVisible());
    EXPECT_FALSE(ResultsAnalyzed);
    EXPECT_TRUE(Rows().empty());

    // Yes: the save runs; the next activation analyses again.
    CheckTCC();
    answers->clear();
    answers->on(QStringLiteral("Include these results in report?"), {IDYES});
    fmKyrResults->close();
    EXPECT_TRUE(answers->saw(QStringLiteral("Save Data?")));
    EXPECT_EQ(Rows().size(), 1u);
    EXPECT_TRUE(fmKyr->DataSaved);
}

TEST_F(ResultsWindow, PlacementAndButtons)
{
    ASSERT_TRUE(PlayDemo());
    PrepareRecloser();
    CheckTCC();
    // Its frame, as drawn, ends 2 pixels inside the screen's right edge.
    QTest::qWait(20);
    const int screenWidth = fmKyrResults->screen()->geometry().width();
    EXPECT_EQ(fmKyrResults->frameGeometry().right() + 1, screenWidth - 2)
        << fmKyrResults->frameGeometry().x() << "+" << fmKyrResults->frameGeometry().width();
    EXPECT_EQ(fmKyrResults->height() + 36, 525);
    EXPECT_GE(fmKyrResults->width() + 16, 500);
    const char* captions[][2] = {{"btClose", "Close"},           {"sbKeyboardInput", "Keyboard Input"},
                                 {"btAnalyze", "Analyze"},       {"btSaveResults", "Save Results"},
                                 {"btViewResults", "View Results"}, {"btReport", "Report"}};
    int lastX = -1;
    for (const auto& c : captions) {
        auto* b = fmKyrResults->findChild<QPushButton*>(QString::fromLatin1(c[0]));
        ASSERT_NE(b, nullptr) << c[0];
        EXPECT_EQ(b->text(), QString::fromLatin1(c[1]));
        EXPECT_GT(b->x(), lastX);
        lastX = b->x();
    }
    EXPECT_EQ(T(QStringLiteral("ebComments")), QStringLiteral("<Enter Comments>"));
    // Test values bold and read-only, limits disabled, a result box that shows "N/A"
    // keeps the gray of a new window.
    EXPECT_TRUE(Ed(QStringLiteral("ebTestCurr1"))->font().bold());
    EXPECT_TRUE(Ed(QStringLiteral("ebTestCurr1"))->isReadOnly());
    EXPECT_FALSE(Ed(QStringLiteral("ebMinTrip2"))->isEnabled());
    EXPECT_FALSE(Ed(QStringLiteral("ebOptMPU"))->isEnabled());
    EXPECT_EQ(T(QStringLiteral("ebResRecl4")), QStringLiteral("N/A"));
    EXPECT_EQ(Ed(QStringLiteral("ebResRecl4"))->palette().color(QPalette::Base), QColor(128, 128, 128));
    EXPECT_EQ(Ed(QStringLiteral("ebResRecl1"))->palette().color(QPalette::Base), QColor(255, 255, 0));
    EXPECT_EQ(Ed(QStringLiteral("ebComments"))->maxLength(), 250);
    EXPECT_EQ(Ed(QStringLiteral("ebResults"))->maxLength(), 250);
    // The buttons show the browser and the report window: ResultsHubTest.cpp.
}

} // namespace

namespace {

TEST_F(ResultsWindow, CheckTCCWithTheBangParameterOpensAFreshWindowAndLeavesTheMeter)
{
    ASSERT_TRUE(PlayDemo());
    PrepareRecloser();
    ParamList = QStringList{QStringLiteral("!")};
    fmKyrMeter->show();
    CheckTCC();
    QPointer<TfmKyrResults> first = fmKyrResults;
    EXPECT_TRUE(fmKyrMeter->isVisible());
    CheckTCC();
    EXPECT_TRUE(first.isNull());  // freed, a new one made
    EXPECT_TRUE(fmKyrResults->isVisible());
    EXPECT_TRUE(fmKyrMeter->isVisible());
    ParamList.clear();
}

} // namespace
