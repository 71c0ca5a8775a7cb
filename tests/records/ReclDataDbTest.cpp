// The recloser data form on fixture tables: activation, new IDs, type data, the
// customer filter, the shown recloser and Save Settings.
#include "KyrData.h"

#include "DbTables.h"
#include "Debug.h"
#include "Dialogs.h"
#include "InputBox.h"
#include "KyrTableDefs.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
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

// Every row of a table as its field texts.
std::vector<QStringList> Rows(const QString& table)
{
    TTable t;
    t.TableName = table;
    t.Open();
    std::vector<QStringList> out;
    for (t.First(); !t.Eof(); t.Next()) {
        QStringList r;
        for (int i = 0; i < t.FieldCount(); ++i)
            r << t.Fields(i)->AsString();
        out.push_back(r);
    }
    t.Close();
    return out;
}

void Insert(const QString& table, const QStringList& values)
{
    TTable t;
    t.TableName = table;
    t.Open();
    t.InsertRecord(values);
    t.Close();
}

// Answers input boxes from a queue (a null text, or none left, is Cancel) and records them.
struct ScriptedInput {
    std::vector<QString> answers;
    std::vector<QString> captions;
    ScriptedInput()
    {
        SetInputResponder([this](const QString& caption, const QString&, const QString&) -> std::optional<QString> {
            captions.push_back(caption);
            if (answers.empty() || answers.front().isNull())
                return std::nullopt;
            const QString a = answers.front();
            answers.erase(answers.begin());
            return a;
        });
    }
    ~ScriptedInput() { SetInputResponder(nullptr); }
};

// The user types a text into an ID box and presses Enter; the posted handling runs.
void TypeAndEnter(QComboBox* box, const QString& text)
{
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), text);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    QApplication::processEvents();
}

class ReclDataDbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const QString& t : KyrTableNames()) {
            QString err;
            ASSERT_TRUE(WriteEmptyTable(dir.path(), t, true, &err)) << err.toStdString();
        }
        Insert("KyrTechs", {"T1", "Tech One"});
        Insert("KyrTechs", {"T2", "Tech Two"});
        Insert("KyrCust", {"C1", "Customer One"});
        Insert("KyrCust", {"C2", "Customer Two"});
        Insert("KyrTypes", {"VWE", "100,140,200", "\"None  Ser\",\"100:5 Par\"", "A,B,C", "1,1-2", "2,3", "2.5", "3"});
        Insert("KyrTypes", {"KF", "50,100", "", "B", "", "", "1", "1"});
        Insert("KyrRecl", {"R100", "C1", "VWE", "140", "1", "3", "C", "100:5 Par", "2", "1-2", "2", "3"});
        Insert("KyrRecl", {"R150", "C1", "KF", "50", "2", "2", "B", "", "2", "", "2", ""});
        Insert("KyrRecl", {"R200", "C2", "KF", "100", "2", "2", "B", "", "2", "", "2", ""});
        KyrDataRefresh = true;
    }
    void AddLastTest(const QString& tech, const QString& recl)
    {
        TTable t;
        t.TableName = "KyrRes";
        t.Open();
        t.Insert();
        t.FieldByName("TECHID")->SetAsString(tech);
        t.FieldByName("RECLID")->SetAsString(recl);
        t.Post();
        t.Close();
    }
    TempCurrentDir dir;
};

} // namespace

TEST_F(ReclDataDbTest, ActivationFillsTheListsAndLoadsTheLastTestedRecloser)
{
    AddLastTest("T1", "R200");
    AddLastTest("", "R100");  // the last row: no technician
    TfmReclData f;
    f.FormActivate();
    EXPECT_EQ(Items(f.cbTechID), (QStringList{"T1", "T2"}));
    EXPECT_EQ(Items(f.cbCustID), (QStringList{"C1", "C2"}));
    EXPECT_EQ(Items(f.cbReclType), (QStringList{"KF", "VWE"}));
    // R100's settings, and the box shows R100 among its customer's reclosers.
    EXPECT_EQ(f.cbReclID->currentText(), "R100");
    EXPECT_EQ(Items(f.cbReclID), (QStringList{"R100", "R150"}));
    EXPECT_EQ(f.cbCustID->currentText(), "C1");
    EXPECT_EQ(f.cbReclType->currentText(), "VWE");
    EXPECT_EQ(f.cbReclCoil->currentText(), "140");
    EXPECT_EQ(Items(f.cbReclCoil), (QStringList{"100", "140", "200"}));
    EXPECT_EQ(f.cbReclDelayCurve->currentText(), "C");
    EXPECT_EQ(Items(f.cbReclGndCT), (QStringList{"None  Ser", "100:5 Par"}));
    EXPECT_EQ(f.cbReclGndCT->currentText(), "100:5 Par");
    EXPECT_EQ(f.cbGndFastCurve->currentText(), "1-2");
    EXPECT_EQ(f.cbGndSlowCurve->currentText(), "3");
    EXPECT_EQ(f.ebReclTime->text(), "2.50");
    EXPECT_TRUE(f.ebReclTime->isReadOnly());
    EXPECT_EQ(f.PhaseCount, 3);
    EXPECT_EQ(Items(f.cbPhase), (QStringList{"A", "B", "C", "G(Gnd Trip)"}));
    EXPECT_EQ(f.cbPhase->currentText(), "A");
    EXPECT_TRUE(f.PageControl2->isTabVisible(f.PageControl2->indexOf(f.tsGndTrip)));
    EXPECT_TRUE(f.PageControl1->isTabVisible(f.PageControl1->indexOf(f.tsGndSlow)));
    // The missing technician is stored as "?"; the box keeps its text.
    EXPECT_EQ(Rows("KyrRes").back().at(3), "?");
    EXPECT_EQ(f.cbTechID->currentText(), "");
    EXPECT_FALSE(KyrDataRefresh);
    // A second activation reloads nothing.
    f.cbReclCoil->setEditText("200");
    f.FormActivate();
    EXPECT_EQ(f.cbReclCoil->currentText(), "200");
}

TEST_F(ReclDataDbTest, TheShownIDAgreesWithTheShownSettings)
{
    AddLastTest("T1", "R100");
    TfmReclData f;
    f.FormActivate();
    ASSERT_EQ(f.cbReclID->currentText(), "R100");
    // Another customer: its first recloser is shown and loaded.
    f.cbCustID->setCurrentIndex(1);
    emit f.cbCustID->activated(1);
    EXPECT_EQ(Items(f.cbReclID), (QStringList{"R200"}));
    EXPECT_EQ(f.cbReclID->currentText(), "R200");
    EXPECT_EQ(f.cbReclType->currentText(), "KF");
    EXPECT_EQ(f.cbReclCoil->currentText(), "100");
    EXPECT_FALSE(f.PageControl2->isTabVisible(f.PageControl2->indexOf(f.tsGndTrip)));
    EXPECT_EQ(f.PhaseCount, 1);
    EXPECT_EQ(Items(f.cbPhase), (QStringList{"A(Single)"}));
    EXPECT_EQ(f.cbReclDelayCurve->currentText(), "B");  // the recloser's own curve
}

TEST_F(ReclDataDbTest, NewCustomerAndTechnician)
{
    TfmReclData f;
    f.show();
    f.FormActivate();
    {
        ScriptedInput in;
        in.answers = {QString("New Customer")};
        TypeAndEnter(f.cbCustID, "C9");
        ASSERT_EQ(in.captions, (std::vector<QString>{"Customer Name"}));
    }
    EXPECT_EQ(Rows("KyrCust").back(), (QStringList{"C9", "New Customer"}));
    EXPECT_TRUE(Items(f.cbCustID).contains("C9"));
    {
        ScriptedInput in;  // Cancel: nothing inserted
        TypeAndEnter(f.cbTechID, "T7");
        ASSERT_EQ(in.captions, (std::vector<QString>{"Technician Name"}));
    }
    EXPECT_EQ(Rows("KyrTechs").size(), 2u);
    {
        ScriptedInput in;
        in.answers = {QString("Tech Seven")};
        TypeAndEnter(f.cbTechID, "T7");
    }
    EXPECT_EQ(Rows("KyrTechs").back(), (QStringList{"T7", "Tech Seven"}));
    {
        // A listed ID in another case, or an empty one, asks nothing.
        ScriptedInput in;
        TypeAndEnter(f.cbTechID, "t1");
        TypeAndEnter(f.cbTechID, "");
        EXPECT_TRUE(in.captions.empty());
    }
    EXPECT_EQ(Rows("KyrTechs").size(), 3u);
}

TEST_F(ReclDataDbTest, NewRecloserID)
{
    AddLastTest("T1", "R100");
    TfmReclData f;
    f.show();
    f.FormActivate();
    f.cbReclIDEnter();
    {
        ScriptedMessages s;
        s.answer(IDCANCEL);
        TypeAndEnter(f.cbReclID, "R300");
        EXPECT_TRUE(s.saw("Enter new Recloser ID: R300?"));
    }
    EXPECT_EQ(f.cbReclID->currentText(), "R100");  // the text it had when entered
    EXPECT_EQ(Rows("KyrRecl").size(), 3u);
    {
        ScriptedMessages s;
        s.answer(IDOK);
        TypeAndEnter(f.cbReclID, "R300");
    }
    EXPECT_EQ(Rows("KyrRecl").back(),
              (QStringList{"R300", "C1", "VWE", "140", "1", "3", "C", "100:5 Par", "2", "1-2", "2", "3"}));
    EXPECT_EQ(Items(f.cbReclID), (QStringList{"R100", "R150", "R300"}));
    // An ID of another customer is loaded, not inserted again.
    {
        ScriptedMessages s;
        TypeAndEnter(f.cbReclID, "r200");
        EXPECT_TRUE(s.requests.empty());
    }
    EXPECT_EQ(Rows("KyrRecl").size(), 4u);
    EXPECT_EQ(f.cbCustID->currentText(), "C2");
    EXPECT_EQ(f.cbReclID->currentText(), "R200");
    EXPECT_EQ(f.cbReclType->currentText(), "KF");
    EXPECT_EQ(Items(f.cbReclID), (QStringList{"R200"}));
    // An empty ID is ignored.
    {
        ScriptedMessages s;
        TypeAndEnter(f.cbReclID, "");
        EXPECT_TRUE(s.requests.empty());
    }
}

TEST_F(ReclDataDbTest, ACustomerIDNeverBecomesSQL)
{
    Insert("KyrRecl", {"Q1", "A\" OR \"1\"=\"1", "KF", "50", "2", "2", "B", "", "2", "", "2", ""});
    Insert("KyrRecl", {"Q2", "O'Brien", "KF", "50", "2", "2", "B", "", "2", "", "2", ""});
    TfmReclData f;
    for (auto [cust, ids] : std::vector<std::pair<QString, QStringList>>{
             {"A\" OR \"1\"=\"1", {"Q1"}}, {"O'Brien", {"Q2"}}, {"x' OR '1'='1", {}}, {"C1", {"R100", "R150"}}}) {
        f.cbCustID->setEditText(cust);
        f.UpdateIDs(f.cbReclID);
        EXPECT_EQ(Items(f.cbReclID), ids) << cust.toStdString();
    }
    // The filter stays when the customer box is emptied.
    f.cbCustID->setEditText("");
    f.UpdateIDs(f.cbReclID);
    EXPECT_EQ(Items(f.cbReclID), (QStringList{"R100", "R150"}));
}

TEST_F(ReclDataDbTest, TypesAndGroundPages)
{
    TfmReclData f;
    f.FormActivate();
    f.cbReclType->setEditText("KF");
    f.cbReclTypeChange();
    EXPECT_FALSE(f.PageControl1->isTabVisible(f.PageControl1->indexOf(f.tsGndFast)));
    EXPECT_EQ(Items(f.cbReclCoil), (QStringList{"50", "100"}));
    EXPECT_EQ(f.cbReclCoil->currentText(), "50");
    EXPECT_EQ(Items(f.cbReclDelayCurve), (QStringList{"B"}));
    EXPECT_EQ(f.cbReclDelayCurve->currentText(), "");  // a one-item curve list: no slow curve
    f.cbReclType->setEditText("vwe");  // located without regard to case; the pages need "R" or "W"
    f.cbReclTypeChange();
    EXPECT_EQ(f.PhaseCount, 3);
    EXPECT_FALSE(f.PageControl2->isTabVisible(f.PageControl2->indexOf(f.tsGndTrip)));
    f.cbReclType->setEditText("RXE");  // not in the table: the lists stay, the pages show
    f.cbReclTypeChange();
    EXPECT_TRUE(f.PageControl2->isTabVisible(f.PageControl2->indexOf(f.tsGndTrip)));
    EXPECT_EQ(f.PhaseCount, 3);
    // A double-click gives the fixed list and keeps the text.
    f.cbReclTypeDblClick();
    EXPECT_EQ(f.cbReclType->count(), 44);
    EXPECT_EQ(f.cbReclType->currentText(), "RXE");
}

TEST_F(ReclDataDbTest, SaveSettingsRewritesTheRow)
{
    AddLastTest("T1", "R100");
    TfmReclData f;
    f.FormActivate();
    f.cbReclCoil->setEditText("200");
    f.cbReclFastOps->setCurrentIndex(2);
    {
        ScriptedMessages s;
        s.answer(IDOK);
        f.btSaveSettingsClick();
        EXPECT_TRUE(s.saw("Save settings for Recloser ID: R100?"));
    }
    EXPECT_EQ(Rows("KyrRecl").at(0),
              (QStringList{"R100", "C1", "VWE", "200", "2", "3", "C", "100:5 Par", "2", "1-2", "2", "3"}));
    // Cancel saves nothing; an ID not in the table says so.
    f.cbReclCoil->setEditText("100");
    {
        ScriptedMessages s;
        s.answer(IDCANCEL);
        f.btSaveSettingsClick();
    }
    EXPECT_EQ(Rows("KyrRecl").at(0).at(3), "200");
    f.cbReclID->setEditText("NOPE");
    {
        ScriptedMessages s;
        s.answer(IDOK);
        f.btSaveSettingsClick();
        EXPECT_TRUE(s.saw("Recloser ID: NOPE is not in the recloser table; the settings are not saved"));
    }
    EXPECT_EQ(Rows("KyrRecl").size(), 3u);
}

namespace {

// The trace lines added since `from` lines were there.
QString TraceSince(const TfmDebug& debug, int from)
{
    return debug.TraceText().split('\n').mid(from).join('\n');
}

// What a change handler would alter: every box's text, the curve page, the counts.
QStringList FormState(const TfmReclData& f)
{
    QStringList s;
    for (const QComboBox* b : f.findChildren<QComboBox*>())
        s << b->objectName() + '=' + b->currentText();
    s << "page=" + f.PageControl1->currentWidget()->objectName();
    s << QString("ops=%1,%2,%3,%4,%5").arg(f.FastOps).arg(f.DelayOps).arg(f.GndFastOps).arg(f.GndDelayOps).arg(f.TotalOps);
    s.sort();
    return s;
}

const char* const ChangeHandlerTraces[] = {
    "cbReclTypeChange", "cbReclCoilChange", "cbReclGndCTChange", "cbReclDelayCurveChange",
    "cbGndFastCurveChange", "cbGndSlowCurveChange", "cbReclIDChange", "UpdateOps", "AdjustCurrMultiple",
    "UpdateIDs",  // the customer box's change handler
};

void ExpectNoChangeHandler(const QString& trace)
{
    for (const char* h : ChangeHandlerTraces)
        EXPECT_FALSE(trace.contains(QLatin1String(h))) << h << "\n" << trace.toStdString();
}

QPoint ArrowOf(QComboBox* box)
{
    QStyleOptionComboBox opt;
    opt.initFrom(box);
    opt.editable = box->isEditable();
    return box->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxArrow, box).center();
}

// Opens the box's list (with the mouse, or with Alt+Down) and closes it unpicked; the
// items the list showed.
QStringList OpenAndCloseList(QComboBox* box, bool mouse)
{
    if (mouse)
        QTest::mouseClick(box, Qt::LeftButton, {}, ArrowOf(box));
    else
        QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
    QApplication::processEvents();
    QStringList shown;
    if (box->view()->isVisible())
        for (int i = 0; i < box->view()->model()->rowCount(); ++i)
            shown << box->view()->model()->index(i, 0).data().toString();
    if (QWidget* popup = QApplication::activePopupWidget())
        QTest::keyClick(popup, Qt::Key_Escape);
    QApplication::processEvents();
    return shown;
}

} // namespace

// The program sets lists and texts that differ from the boxes' selections; moving the
// focus through a box, opening its list and closing it again is not the user's typing or
// picking and runs no change handler.
TEST_F(ReclDataDbTest, FocusAndListsAfterProgramSetBoxesRunNoChangeHandler)
{
    auto* debug = new TfmDebug;
    fmDebug = debug;
    TfmReclData f;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QApplication::processEvents();
    ASSERT_FALSE(KyrDataRefresh);  // the activation loaded R100: VWE, coil 140
    ASSERT_EQ(f.cbReclCoil->currentText(), "140");
    QWidget* elsewhere = f.btSaveSettings;

    for (QComboBox* box : f.findChildren<QComboBox*>()) {
        SCOPED_TRACE(box->objectName().toStdString());
        {
            const QSignalBlocker block(f.PageControl2);  // the box's page, as the program would show it
            f.PageControl2->setCurrentWidget(f.tsGndTrip->isAncestorOf(box) ? f.tsGndTrip : f.tsPhaseTrip);
        }
        QApplication::processEvents();
        ASSERT_TRUE(box->isVisible());
        const QStringList before = FormState(f);
        const int lines = debug->LineCount;
        box->setFocus(Qt::TabFocusReason);
        elsewhere->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        OpenAndCloseList(box, true);
        OpenAndCloseList(box, false);
        box->setFocus(Qt::TabFocusReason);
        QTest::keyClick(box, Qt::Key_Tab);
        QApplication::processEvents();
        ExpectNoChangeHandler(TraceSince(*debug, lines));
        EXPECT_EQ(FormState(f), before);
    }

    // A type the types table holds typed, Tab; a coil typed, Tab; the fast curve's label
    // double-clicked, a click into its minimum pick-up: the fast page stays, the slow
    // curve's box was never touched.
    {
        const QSignalBlocker block(f.PageControl2);
        f.PageControl2->setCurrentWidget(f.tsPhaseTrip);
    }
    int lines = debug->LineCount;
    QTest::mouseClick(f.cbReclType->lineEdit(), Qt::LeftButton);
    f.cbReclType->lineEdit()->selectAll();
    QTest::keyClicks(f.cbReclType->lineEdit(), "VWE");
    QTest::keyClick(f.cbReclType, Qt::Key_Tab);
    QTest::mouseClick(f.cbReclCoil->lineEdit(), Qt::LeftButton);
    f.cbReclCoil->lineEdit()->selectAll();
    QTest::keyClicks(f.cbReclCoil->lineEdit(), "100");
    QTest::keyClick(f.cbReclCoil, Qt::Key_Tab);
    QApplication::processEvents();
    f.cbReclDelayCurve->setFocus(Qt::TabFocusReason);  // wherever the Tab went, the curve box is passed
    QApplication::processEvents();
    QTest::mouseDClick(f.lbFastCurve, Qt::LeftButton);
    QTest::mouseClick(f.CurveEdit(Fast, 0), Qt::LeftButton);
    f.CurveEdit(Fast, 0)->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    QString trace = TraceSince(*debug, lines);
    EXPECT_TRUE(trace.contains("cbReclCoilChange"));  // typed
    EXPECT_FALSE(trace.contains("cbReclDelayCurveChange")) << trace.toStdString();
    EXPECT_EQ(f.PageControl1->currentWidget(), f.tsFast);
    EXPECT_EQ(f.cbReclCoil->currentText(), "100");

    // The loaded coil stays when the type box is double-clicked and its list opened: the
    // list opened is the fixed list of type names, with the mouse as with Alt+Down.
    f.cbReclCoil->setEditText("140");
    for (const bool mouse : {true, false}) {
        SCOPED_TRACE(mouse ? "mouse" : "Alt+Down");
        lines = debug->LineCount;
        QTest::mouseDClick(f.cbReclType->lineEdit(), Qt::LeftButton);
        QApplication::processEvents();
        const QStringList shown = OpenAndCloseList(f.cbReclType, mouse);
        EXPECT_EQ(shown.size(), 44);
        EXPECT_EQ(shown.value(0), "3H");
        trace = TraceSince(*debug, lines);
        EXPECT_FALSE(trace.contains("cbReclTypeChange")) << trace.toStdString();
        EXPECT_EQ(f.cbReclCoil->currentText(), "140");
        EXPECT_EQ(f.cbReclType->currentText(), "VWE");
    }
    fmDebug = nullptr;
    delete debug;
}

// The counts that the test launch and the analysis read are those the loaded recloser's
// boxes show, whether it was loaded by the activation, by a pick or by a typed ID.
TEST_F(ReclDataDbTest, ALoadedRecloserBringsItsOperationCounts)
{
    Insert("KyrRecl", {"R300", "C2", "VWE", "100", "3", "1", "B", "100:5 Par", "0", "1", "4", "2"});
    AddLastTest("T1", "R100");
    TfmReclData f;
    f.FormActivate();  // the boxes start at 2 and 2
    auto counts = [&f] {
        return QString("%1,%2,%3,%4,%5").arg(f.FastOps).arg(f.DelayOps).arg(f.GndFastOps).arg(f.GndDelayOps).arg(f.TotalOps).toStdString();
    };
    auto shown = [&f] {
        return QStringList{f.cbReclFastOps->currentText(), f.cbReclDelayOps->currentText(),
                           f.cbGndFastOps->currentText(), f.cbGndDelayOps->currentText()}
            .join(',')
            .toStdString();
    };
    ASSERT_EQ(f.cbReclID->currentText(), "R100");
    EXPECT_EQ(shown(), "1,3,2,2");
    EXPECT_EQ(counts(), "1,3,2,2,4");
    // Picked from the list.
    f.cbReclID->setCurrentIndex(f.cbReclID->findText("R150"));
    emit f.cbReclID->activated(f.cbReclID->currentIndex());
    EXPECT_EQ(shown(), "2,2,2,2");
    EXPECT_EQ(counts(), "2,2,2,2,4");
    // Typed: an ID of another customer is loaded, not taken as new.
    TypeAndEnter(f.cbReclID, "r300");
    EXPECT_EQ(shown(), "3,1,0,4");
    EXPECT_EQ(counts(), "3,1,0,4,4");
}
