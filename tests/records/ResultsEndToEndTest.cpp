// A new user's first recorded test: the recloser prepared in the recloser form, a demo
// test, "Check TCC", Analyze and Save Results; the row is then in KyrRes.dbf.
#include "KyrResults.h"

#include "RecordsProgramFixture.h"
#include "ResultsDbf.h"

#include "DbTables.h"
#include "FakeRecords.h"
#include "InputBox.h"
#include "Kestrovan10.h"
#include "KyrCurve.h"
#include "KyrData.h"
#include "KyrDatabase.h"
#include "KyrReport.h"
#include "KyrMain.h"
#include "KyrRecords.h"
#include "KyrTableDefs.h"
#include "Sound.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <utility>

namespace {

class ResultsEndToEnd : public RecordsProgramFixture {
protected:
    void SetUp() override
    {
        RecordsProgramFixture::SetUp();
        // New IDs are named when their box is left.
        SetInputResponder([](const QString& caption, const QString&, const QString&) {
            return std::optional<QString>(caption == QLatin1String("Technician Name") ? QStringLiteral("Jane Doe")
                                                                                    : QStringLiteral("North Grid"));
        });
    }
    void TypeEdit(QLineEdit* e, const QString& text)
    {
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
    }
};

TEST_F(ResultsEndToEnd, PrepareRunCheckAnalyzeAndSave)
{
    // The installation's empty tables and one recloser type.
    ASSERT_TRUE(QDir().mkpath(dataFolder));
    for (const QString& table : KyrTableNames())
        ASSERT_TRUE(WriteEmptyTable(dataFolder, table, true));
    {
        TTable types;
        types.TableName = QDir(dataFolder).filePath(QStringLiteral("KyrTypes"));
        types.Open();
        types.InsertRecord({"VWE", "100,140,280", "100:5 Ser,200:5 Ser", "A,B,C", "1", "3", "1.5", "3"});
        types.Close();
    }
    StartProgram();
    ASSERT_TRUE(DemoMode);
    ASSERT_NE(fmReclData, nullptr);
    ASSERT_NE(fmKyrResults, nullptr);

    // The recloser data form from the main window's data button.
    QTest::mouseClick(fmKyr->BtnReclData, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([] { return fmReclData->isVisible(); }));
    TfmReclData* rd = fmReclData;
    Type(rd->cbTechID, QStringLiteral("JDOE"));
    Type(rd->cbCustID, QStringLiteral("NORTHGRID"));
    answers->on(QStringLiteral("Enter new Recloser ID: R-1042?"), {IDOK});
    Type(rd->cbReclID, QStringLiteral("R-1042"));
    Pick(rd->cbReclType, QStringLiteral("VWE"));
    Pick(rd->cbReclCoil, QStringLiteral("280"));
    Pick(rd->cbTestType, QStringLiteral("2X"));
    Pick(rd->cbPhase, QStringLiteral("A"));
    Pick(rd->cbReclFastOps, QStringLiteral("2"));
    Pick(rd->cbReclDelayOps, QStringLiteral("2"));
    Pick(rd->cbReclDelayCurve, QStringLiteral("B"));

    // The two phase curves are new: entered on their pages and saved. The demo's
    // operations carry 620 A to 665 A at this range; a 320 A reference makes them 2x
    // tests, and the curves are drawn through the demo's trip times.
    const char* fast[14] = {"560", "320", "0.055", "0.052", "0.050", "0.048", "0.046", "0.045", "0.044", "0.043",
                            "0.042", "0.040", "30", "30"};
    const char* slow[14] = {"560", "320", "0.240", "0.220", "0.200", "0.180", "0.170", "0.160", "0.150", "0.145",
                            "0.140", "0.130", "30", "30"};
    rd->PageControl1->setCurrentWidget(rd->tsFast);
    for (int f = 0; f < 14; ++f)
        TypeEdit(rd->CurveEdit(0, f), QString::fromLatin1(fast[f]));
    QTest::mouseClick(rd->btSaveFast, Qt::LeftButton);
    rd->PageControl1->setCurrentWidget(rd->tsDelay);
    for (int f = 0; f < 14; ++f)
        TypeEdit(rd->CurveEdit(1, f), QString::fromLatin1(slow[f]));
    QTest::mouseClick(rd->btSaveDelay, Qt::LeftButton);
    EXPECT_TRUE(rd->CurveVerified);
    QTest::mouseClick(rd->btSaveSettings, Qt::LeftButton);

    // Run Test, then RUN in the main window plays the demo test.
    answers->on(QStringLiteral("Run 2X Test on Phase A?"), {IDYES});
    QTest::mouseClick(rd->btRunTest, Qt::LeftButton);
    QStringList asked;
    for (const MessageRequest& m : answers->requests)
        asked << m.text;
    EXPECT_TRUE(answers->saw(QStringLiteral("Run 2X Test on Phase A?"))) << asked.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(rd->cbReclID->currentText(), QStringLiteral("R-1042"));
    EXPECT_EQ(rd->cbReclCoil->currentText(), QStringLiteral("280"));
    ASSERT_TRUE(PlayDemo());
    ASSERT_TRUE(fmKyr->BtnCheckTCC->isEnabled());

    // Check TCC analyses once; Analyze again gives the same judgement.
    QTest::mouseClick(fmKyr->BtnCheckTCC, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([] { return fmKyrResults && fmKyrResults->isVisible() && ResultsAnalyzed; }, 10000));
    TfmKyrResults* w = fmKyrResults;
    const QString first = w->ebResults->text();
    EXPECT_EQ(first, QStringLiteral("OK"));
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("ebTestCurr%1").arg(n))->text(), fmKyr->TripCurr[n]->text());
    QTest::mouseClick(w->btAnalyze, Qt::LeftButton);
    EXPECT_EQ(w->ebResults->text(), first);
    EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("ebOptCurr1"))->text(), QStringLiteral("640.00"));

    // Save Results, for the report.
    TypeEdit(w->ebOpCounter, QStringLiteral("512"));
    TypeEdit(w->ebComments, QStringLiteral("First test of R-1042"));
    answers->on(QStringLiteral("Include these results in report?"), {IDYES});
    QTest::mouseClick(w->btSaveResults, Qt::LeftButton);
    EXPECT_TRUE(fmKyr->DataSaved);
    EXPECT_TRUE(w->grab().save(ArtifactPath(QStringLiteral("results_window_saved.png"))));

    const auto rows = resultsdbf::ReadRows(DataFile(QStringLiteral("KyrRes.dbf")));
    ASSERT_EQ(rows.size(), 1u);
    const resultsdbf::Row& r = rows[0];
    EXPECT_EQ(r.at("RECLID"), "R-1042");
    EXPECT_EQ(r.at("TECHID"), "JDOE");
    EXPECT_EQ(r.at("CUSTID"), "NORTHGRID");
    EXPECT_EQ(r.at("RECLTYPE"), "VWE");
    EXPECT_EQ(r.at("COIL_CT"), "280");
    EXPECT_EQ(r.at("OPSEQ"), "2A-2B");
    EXPECT_EQ(r.at("TESTTYPE"), "2X");
    EXPECT_EQ(r.at("TESTRESULT"), first);
    EXPECT_EQ(r.at("OPCOUNTER"), "512");
    EXPECT_EQ(r.at("COMMENTS"), "First test of R-1042");
    EXPECT_NEAR(r.at("CURR1").toDouble(), LeadingCurrent(fmKyr->TripCurr[1]->text()), 0.001);
    EXPECT_NEAR(r.at("TIME4").toDouble(), LeadingNumber(fmKyr->TripTime[4]->text()), 0.0001);

    // Report, the recloser's ID added, Preview/Print, the preview's print command, "Print
    // to File (PDF)", Print: the real dialogs, each in its own loop, as a user meets them.
    QTest::mouseClick(w->btReport, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([] { return fmKyrReport->isVisible(); }));
    TfmKyrReport* rep = fmKyrReport;
    rep->cbReclID->setEditText(QStringLiteral("R-1042"));
    QTest::mouseClick(rep->btAdd, Qt::LeftButton);
    ASSERT_EQ(rep->ListBox1->count(), 1);
    const QString pdf = QDir(dataFolder).filePath(QStringLiteral("report.pdf"));
    bool printSeen = false, printDialogSeen = false;
    QTimer::singleShot(0, [&] {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(preview, nullptr);
        auto* bar = preview->findChild<QToolBar*>();
        ASSERT_NE(bar, nullptr);
        QAction* print = nullptr;
        for (QAction* a : bar->actions())
            if (a->text().remove(QLatin1Char('&')) == QLatin1String("Print"))
                print = a;
        ASSERT_NE(print, nullptr);
        // The print button is on the toolbar in sight, not behind its overflow arrow.
        QWidget* button = bar->widgetForAction(print);
        ASSERT_NE(button, nullptr);
        // The toolbar lays itself out once the dialog is shown.
        (void)QTest::qWaitFor([button] { return button->isVisible(); }, 2000);
        printSeen = button->isVisible() && preview->rect().contains(QRect(button->mapTo(preview, QPoint(0, 0)),
                                                                          button->size()));
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            printDialogSeen = true;
            // "Print to File (PDF)" is the printer here (no other is installed); the
            // user names the file in the dialog.
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
            ASSERT_NE(name, nullptr);
            name->setText(pdf);
            dialog->accept();
        });
        print->trigger();
    });
    QTest::mouseClick(rep->btPreview, Qt::LeftButton);
    EXPECT_TRUE(printSeen);
    EXPECT_TRUE(printDialogSeen);
    ASSERT_TRUE(QFile::exists(pdf));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(10000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    for (const char* expected : {"Kestrovan Test Results", "R-1042", "VWE", "2A-2B", "512", "First test of R-1042"})
        EXPECT_TRUE(printed.contains(QLatin1String(expected))) << expected << "\n" << printed.toStdString();
    EXPECT_TRUE(printed.contains(QRegularExpression(QStringLiteral("Test Results:\\s+") + first))) << printed.toStdString();
    EXPECT_TRUE(fmKyrResults && fmKyrResults->isVisible());

    // Closing the saved results asks nothing.
    answers->clear();
    QTest::mouseClick(w->btClose, Qt::LeftButton);
    EXPECT_FALSE(answers->saw(QStringLiteral("Save Data?")));
}

} // namespace
