// The recloser data form offscreen: its controls at start, the user-only change
// handlers, the operation rules through the boxes, the reclose time edit and Run Test.
#include "KyrData.h"

#include "Dialogs.h"
#include "KyrTestSet.h"
#include "Setup.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QStringList Items(const QComboBox* b)
{
    QStringList out;
    for (int i = 0; i < b->count(); ++i)
        out << b->itemText(i);
    return out;
}

// The user picks an item from a box's list.
void Pick(QComboBox* b, const QString& text)
{
    const int i = b->findText(text);
    ASSERT_GE(i, 0) << text.toStdString();
    b->setCurrentIndex(i);
    emit b->activated(i);
}

// The user replaces a box's text by typing.
void Type(QComboBox* b, const QString& text)
{
    b->lineEdit()->selectAll();
    QTest::keyClicks(b->lineEdit(), text);
}

class ReclDataFormTest : public ::testing::Test {
protected:
    TempCurrentDir dir;
};

} // namespace

TEST_F(ReclDataFormTest, ControlsAtStart)
{
    TfmReclData f;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Recloser Data"));
    EXPECT_GE(f.width(), 460);
    EXPECT_GE(f.height(), 560);
    EXPECT_EQ(f.cbTestType->currentText(), QStringLiteral("4X"));
    EXPECT_EQ(Items(f.cbTestType), (QStringList{"MPU", "2X", "3X", "4X", "5X", "6X", "8X", "10X"}));
    EXPECT_EQ(f.cbPhase->currentText(), QString());
    EXPECT_EQ(Items(f.cbPhase), (QStringList{"A (or Single)", "B", "C", "G (Gnd Trip)"}));
    EXPECT_EQ(f.cbReclFastOps->currentText(), QStringLiteral("2"));
    EXPECT_EQ(f.cbGndDelayOps->currentText(), QStringLiteral("2"));
    EXPECT_EQ(f.cbReclCoil->currentText(), QStringLiteral("5"));
    EXPECT_EQ(f.cbReclCoil->count(), 19);
    EXPECT_EQ(f.cbReclDelayCurve->currentText(), QStringLiteral("B"));
    EXPECT_EQ(f.cbReclGndCT->count(), 21);
    EXPECT_EQ(f.cbReclGndCT->itemText(0), QStringLiteral("None  Ser"));
    EXPECT_EQ(f.cbReclGndCT->itemText(20), QStringLiteral("600:5 Par"));
    EXPECT_EQ(f.cbReclGndCT->currentText(), QStringLiteral("100:5 Ser"));
    EXPECT_EQ(f.cbGndFastCurve->currentText(), QString());
    EXPECT_EQ(f.cbGndSlowCurve->currentText(), QString());
    EXPECT_EQ(f.cbTechID->toolTip(), QStringLiteral("Select Tech ID or enter new"));
    EXPECT_EQ(f.cbReclID->toolTip(), QStringLiteral("Select ID or enter new"));
    EXPECT_EQ(f.ebReclTime->toolTip(), QStringLiteral("Double Click to edit"));
    EXPECT_TRUE(f.ebReclTime->isReadOnly());
    EXPECT_EQ(f.ebReclTime->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Button));
    EXPECT_TRUE(f.ebPhaseMPU->isReadOnly());
    EXPECT_TRUE(f.ebGndMPU->isReadOnly());
    EXPECT_EQ(f.PageControl1->toolTip(), QStringLiteral("Curve Data"));
    EXPECT_EQ(f.PageControl1->tabText(0), QStringLiteral("Phase Fast Curve"));
    EXPECT_EQ(f.PageControl1->tabText(3), QStringLiteral("Gnd Slow Curve"));
    EXPECT_EQ(f.PageControl2->tabText(1), QStringLiteral("Gnd Trip"));
    EXPECT_EQ(f.tsFast->toolTip(), QStringLiteral("Phase Fast Trip Curve Data"));
    EXPECT_EQ(f.lbGndSlowCurve->text(), QStringLiteral("1"));
    EXPECT_EQ(f.lbDelayCurve->toolTip(), QStringLiteral("Double Click to edit existing data"));
    // Every curve field under its built name, with the start texts.
    for (int k = 0; k < CurveKindCount; ++k)
        for (int i = 0; i < CurveFieldCount; ++i)
            ASSERT_NE(f.CurveEdit(k, i), nullptr) << k << i;
    EXPECT_EQ(f.findChild<QLineEdit*>(QStringLiteral("ebGndSlowCurve2x5"))->text(), QStringLiteral("1.000"));
    EXPECT_EQ(f.findChild<QLineEdit*>(QStringLiteral("ebFastCurveTolMin"))->text(), QStringLiteral("100"));
    EXPECT_EQ(f.findChild<QLineEdit*>(QStringLiteral("ebDelayCurve6x"))->text(), QStringLiteral("0.450"));
    EXPECT_EQ(f.findChild<QLineEdit*>(QStringLiteral("ebGndFastCurveRef"))->text(), QStringLiteral("2.500"));
    EXPECT_EQ(f.CurveEdit(Fast, 0)->text(), QString());
    EXPECT_EQ(f.CurveEdit(Fast, 0)->toolTip(), QStringLiteral("Minimum Pickup Current"));
    EXPECT_EQ(f.CurveEdit(Fast, 13)->toolTip(), QStringLiteral("Upper limit of curve"));
    EXPECT_EQ(f.FastOps + f.TotalOps + f.CurrMultiple + f.PhaseCount, 0);
    EXPECT_FALSE(f.CurveVerified);
}

TEST_F(ReclDataFormTest, OperationCountsFollowTheUsersBox)
{
    TfmReclData f;
    Pick(f.cbReclFastOps, QStringLiteral("3"));  // fast 3 + slow 2: slow becomes 1
    EXPECT_EQ(f.cbReclDelayOps->currentText(), QStringLiteral("1"));
    EXPECT_EQ(f.TotalOps, 4);
    EXPECT_EQ(f.GndFastOps + f.GndDelayOps, 4);
    Pick(f.cbReclDelayOps, QStringLiteral("3"));  // slow changed: fast becomes 1
    EXPECT_EQ(f.cbReclFastOps->currentText(), QStringLiteral("1"));
    EXPECT_EQ(f.FastOps, 1);
    Pick(f.cbReclFastOps, QStringLiteral("0"));
    Pick(f.cbReclDelayOps, QStringLiteral("0"));
    EXPECT_EQ(f.cbReclFastOps->currentText(), QStringLiteral("1"));
    EXPECT_EQ(f.cbReclDelayOps->currentText(), QStringLiteral("0"));
    EXPECT_EQ(f.TotalOps, 1);
    // Ground slow 3 with a total of 1: the ground counts stay within the lists.
    Pick(f.cbGndDelayOps, QStringLiteral("3"));
    EXPECT_EQ(f.GndFastOps, 0);
    EXPECT_EQ(f.GndDelayOps, 1);
    EXPECT_EQ(f.cbGndFastOps->currentText(), QStringLiteral("0"));
    EXPECT_EQ(f.cbGndDelayOps->currentText(), QStringLiteral("1"));
    // A typed count outside the list is held within it.
    Type(f.cbReclFastOps, QStringLiteral("9"));
    EXPECT_EQ(f.FastOps, 4);
    EXPECT_EQ(f.cbReclFastOps->currentText(), QStringLiteral("4"));
    EXPECT_EQ(f.DelayOps, 0);
    // Not a number: the conversion error, shown once.
    ScriptedMessages s;
    Type(f.cbReclDelayOps, QStringLiteral("x"));
    EXPECT_TRUE(s.saw(QStringLiteral("'x' is not a valid integer value.")));
}

TEST_F(ReclDataFormTest, TheMultipleComesFromTheTypedOrPickedTestType)
{
    TfmReclData f;
    Pick(f.cbTestType, QStringLiteral("8X"));
    EXPECT_EQ(f.CurrMultiple, 8);
    Type(f.cbTestType, QStringLiteral("7X"));
    EXPECT_EQ(f.CurrMultiple, 1);
    Type(f.cbTestType, QStringLiteral("4x"));
    EXPECT_EQ(f.CurrMultiple, 1);
    Type(f.cbTestType, QStringLiteral("4X"));
    EXPECT_EQ(f.CurrMultiple, 4);
    // The phase box runs the same handler.
    f.CurrMultiple = 0;
    Pick(f.cbPhase, QStringLiteral("B"));
    EXPECT_EQ(f.CurrMultiple, 4);
    // A text the program sets runs nothing.
    f.CurrMultiple = 0;
    f.cbTestType->setCurrentIndex(0);
    EXPECT_EQ(f.CurrMultiple, 0);
}

TEST_F(ReclDataFormTest, TheRecloseTimeTakesOneChangePerDoubleClick)
{
    TfmReclData f;
    f.show();
    QTest::mouseDClick(f.ebReclTime, Qt::LeftButton);
    EXPECT_FALSE(f.ebReclTime->isReadOnly());
    EXPECT_EQ(f.ebReclTime->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    f.ebReclTime->setFocus();
    QTest::keyClicks(f.ebReclTime, QStringLiteral("12"));
    EXPECT_EQ(f.ebReclTime->text(), QStringLiteral("1"));
    EXPECT_TRUE(f.ebReclTime->isReadOnly());
}

TEST_F(ReclDataFormTest, PickupCurrentsFollowTheFastCounts)
{
    TfmReclData f;
    f.CurveEdit(Fast, 0)->setText(QStringLiteral("100"));
    f.CurveEdit(Delay, 0)->setText(QStringLiteral("110"));
    f.CurveEdit(GndFast, 0)->setText(QStringLiteral("50"));
    f.CurveEdit(GndSlow, 0)->setText(QStringLiteral("55"));
    f.UpdateMPUcurr();
    EXPECT_EQ(f.ebPhaseMPU->text(), QStringLiteral("100"));
    EXPECT_EQ(f.ebGndMPU->text(), QStringLiteral("50"));
    Pick(f.cbReclFastOps, QStringLiteral("0"));
    Pick(f.cbGndFastOps, QStringLiteral("0"));
    f.UpdateMPUcurr();
    EXPECT_EQ(f.ebPhaseMPU->text(), QStringLiteral("110"));
    EXPECT_EQ(f.ebGndMPU->text(), QStringLiteral("55"));
}

TEST_F(ReclDataFormTest, CurvePagesBringTheirTripPage)
{
    TfmReclData f;
    f.PageControl1->setCurrentWidget(f.tsGndSlow);
    EXPECT_EQ(f.PageControl2->currentWidget(), f.tsGndTrip);
    f.PageControl1->setCurrentWidget(f.tsDelay);
    EXPECT_EQ(f.PageControl2->currentWidget(), f.tsPhaseTrip);
    // The user's change of the trip page brings its fast curve page.
    f.PageControl2->setCurrentWidget(f.tsGndTrip);
    EXPECT_EQ(f.PageControl1->currentWidget(), f.tsGndFast);
}

TEST_F(ReclDataFormTest, RunTestWritesTheSetupItDerives)
{
    fmSetup = new TfmSetup;
    fmSetup->SetupFileName = dir.file(QStringLiteral("Kestrovan.ksf"));
    fmSetup->MaxOps = 5;
    fmSetup->MaxOffTime = 7;
    fmSetup->Range = 1;
    fmSetup->DataFileName = QStringLiteral("Kestrovan.kdf");
    fmSetup->SourceName = QStringLiteral("COM");
    fmSetup->ShuntAmperes = 1000;
    fmSetup->ShuntMillivolts = 100;
    // The program's test set, here with the setup window alone.
    TKyrTestSet testSet;
    TfmReclData f;
    f.TestSet = &testSet;
    f.CurveEdit(Fast, 0)->setText(QStringLiteral("100"));
    {
        // Declining either question changes nothing.
        ScriptedMessages s;
        s.answer(IDNO);
        f.btRunTestClick();
        ASSERT_EQ(s.requests.size(), 1u);
        EXPECT_EQ(s.requests[0].text, QStringLiteral("Curve data not verified. Run anyway?"));
        EXPECT_EQ(s.requests[0].caption, QStringLiteral("Curve Data"));
        ScriptedMessages s2;
        s2.answer(IDYES).answer(IDNO);
        f.btRunTestClick();
        ASSERT_EQ(s2.requests.size(), 2u);
        EXPECT_EQ(s2.requests[1].text, QStringLiteral("Run 4X Test on Phase ?"));
        EXPECT_FALSE(QFile::exists(fmSetup->SetupFileName));
    }
    {
        ScriptedMessages s;
        s.answer(IDYES).answer(IDYES);
        Pick(f.cbPhase, QStringLiteral("G (Gnd Trip)"));
        f.btRunTestClick();
        EXPECT_TRUE(s.saw(QStringLiteral("Run 4X Test on Phase G (Gnd Trip)?")));
    }
    // 100 A x 4 x 1.2 / 2 = 240 A: range 3; ground at 4X: 50 s; no type yet: 5 s.
    EXPECT_EQ(fmSetup->Range, 3);
    EXPECT_EQ(fmSetup->MaxOps, 4);
    EXPECT_EQ(fmSetup->TestType, 0);
    EXPECT_EQ(fmSetup->MaxOnTime, 50);
    EXPECT_EQ(fmSetup->MaxOffTime, 5);
    EXPECT_EQ(LoadTextFile(fmSetup->SetupFileName),
              (QStringList{"3", "50.00", "5.00", "Kestrovan.kdf", "COM", "4", "0", "  1000", "   100"}));

    // A minimum pick-up test keeps the operations and off-time limits.
    fmSetup->MaxOps = 2;
    fmSetup->MaxOffTime = 9;
    {
        ScriptedMessages s;
        s.answer(IDYES).answer(IDYES);
        Pick(f.cbTestType, QStringLiteral("MPU"));
        f.btRunTestClick();
    }
    EXPECT_EQ(LoadTextFile(fmSetup->SetupFileName),
              (QStringList{"3", "20.00", "9.00", "Kestrovan.kdf", "COM", "2", "1", "  1000", "   100"}));
    delete fmSetup;
    fmSetup = nullptr;
}

TEST_F(ReclDataFormTest, EnteringTheRecloserBoxKeepsItsText)
{
    TfmReclData f;
    f.show();
    QApplication::setActiveWindow(&f);
    f.cbReclID->setEditText(QStringLiteral("R42"));
    LastReclIDEntered.clear();
    f.cbReclID->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(LastReclIDEntered, QStringLiteral("R42"));
}
