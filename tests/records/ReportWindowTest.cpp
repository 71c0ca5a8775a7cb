// The report window with the browser's report query on fixture tables: the ID list,
// the built text, Edit, Preview/Print, and the whole road from saved results to a PDF.
#include "FakeReclSource.h"
#include "KyrDatabase.h"
#include "KyrGlobals.h"
#include "KyrReport.h"
#include "KyrSqlText.h"
#include "KyrTableDefs.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class ReportWindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedDataFolder = DataFolder;
        DataFolder = dir.path();
        for (const QString& t : KyrTableNames()) {
            QString error;
            ASSERT_TRUE(WriteEmptyTable(dir.path(), t, false, &error)) << error.toStdString();
        }
        LastResultsReclID.clear();
        fmKyrDatabase = new TfmKyrDatabase(&source, &data);
        report = new TfmKyrReport(&source, &data);
    }
    void TearDown() override
    {
        delete report;
        delete fmKyrDatabase;
        DataFolder = savedDataFolder;
        SetPreviewResponder({});
    }
    void AddRecloser(const QString& id)
    {
        TTable t;
        t.TableName = QStringLiteral("KyrRecl");
        t.Open();
        t.InsertRecord({id, "C1", "KF"});
        t.Close();
    }
    // A saved test as the results window writes it.
    void AddResult(const QString& recl, const QString& result, const QString& type, const QString& time,
                   const std::vector<std::pair<const char*, QString>>& numbers)
    {
        TTable t;
        t.TableName = QStringLiteral("KyrRes");
        t.Open();
        t.Insert();
        t.FieldByName("RECLID")->SetAsString(recl);
        t.FieldByName("TESTDATE")->SetAsDate(QDate(2026, 12, 10));
        t.FieldByName("TESTTIME")->SetAsString(time);
        t.FieldByName("TECHID")->SetAsString(QStringLiteral("JDOE"));
        t.FieldByName("CUSTID")->SetAsString(QStringLiteral("C1"));
        t.FieldByName("RECLTYPE")->SetAsString(QStringLiteral("KF"));
        t.FieldByName("PHASE")->SetAsString(QStringLiteral("A"));
        t.FieldByName("COIL_CT")->SetAsString(QStringLiteral("100"));
        t.FieldByName("OPSEQ")->SetAsString(QStringLiteral("2A-2B"));
        t.FieldByName("TESTRESULT")->SetAsString(result);
        t.FieldByName("TESTTYPE")->SetAsString(type);
        for (const auto& [field, value] : numbers)
            t.FieldByName(field)->SetAsString(value);
        t.FieldByName("COMMENTS")->SetAsString(QStringLiteral("Test at ") + time);
        t.Post();
        t.Close();
    }
    QStringList Column(TDataSet* ds, const char* field)
    {
        QStringList out;
        for (ds->First(); !ds->Eof(); ds->Next())
            out << ds->FieldByName(field)->AsString();
        return out;
    }
    // Previews, keeping the prepared report's texts and writing the PDF when asked.
    QString Preview(const QString& pdf = {})
    {
        QString text;
        SetPreviewResponder([&](TQuickRep& rep, QPrintPreviewDialog& dialog) {
            dialog.findChild<QPrintPreviewWidget*>()->updatePreview();
            text = rep.PrintedText();
            if (!pdf.isEmpty()) {
                QPrinter printer(QPrinter::HighResolution);
                rep.SetupPrinter(printer);
                printer.setOutputFormat(QPrinter::PdfFormat);
                printer.setOutputFileName(pdf);
                EXPECT_TRUE(rep.Print(printer));
            }
        });
        report->btPreview->click();
        SetPreviewResponder({});
        return text;
    }

    TempCurrentDir dir;
    QString savedDataFolder;
    TReclTables tables;
    QString reclID;
    // The data form's tables and the recloser ID it shows.
    FakeReclSource source{&tables, [this] { return reclID; }};
    // The records' data the browser and the report share, as the records hand it.
    TKyrRecordsData data;
    TfmKyrReport* report = nullptr;
};

} // namespace

TEST_F(ReportWindowFixture, ActivationFillsTheIdsAndTakesTheTextInForce)
{
    AddRecloser("R2");
    AddRecloser("R1");
    reclID = QStringLiteral("R1");
    report->FormActivate();
    EXPECT_EQ(report->windowTitle(), QStringLiteral("Kestrovan Report"));
    EXPECT_EQ(report->size(), QSize(875, 114));
    QStringList items;
    for (int i = 0; i < report->cbReclID->count(); ++i)
        items << report->cbReclID->itemText(i);
    EXPECT_EQ(items, QStringList({"R2", "R1"}));  // table order
    EXPECT_EQ(report->cbReclID->currentText(), QStringLiteral("R1"));
    EXPECT_FALSE(tables.tblReclosers->Active());
    // The browser's memo is empty: the built text for no ID.
    EXPECT_EQ(TfmKyrDatabase::MemoLines(report->Memo2), ResultsQueryText({}));
    EXPECT_EQ(data.qResReport->SQL, ResultsQueryText({}));
    EXPECT_TRUE(data.qResReport->Active());

    // A typed text is kept, the list is filled again at every activation.
    AddRecloser("R3");
    report->cbReclID->setEditText(QStringLiteral("R2"));
    // The browser holds a text: the one in force is shown.
    fmKyrDatabase->show();
    report->FormActivate();
    EXPECT_EQ(report->cbReclID->count(), 3);
    EXPECT_EQ(report->cbReclID->currentText(), QStringLiteral("R2"));
    EXPECT_EQ(TfmKyrDatabase::MemoLines(report->Memo2), DefaultReportSQL("R1"));

    // The browser's recloser page has the table open with an edit: activation leaves
    // its cursor and its edit alone.
    fmKyrDatabase->PageControl1->setCurrentIndex(1);
    ASSERT_TRUE(tables.tblReclosers->Active());
    tables.tblReclosers->Last();
    tables.tblReclosers->Edit();
    tables.tblReclosers->FieldByName("CUSTID")->SetAsString(QStringLiteral("C9"));
    report->FormActivate();
    EXPECT_TRUE(tables.tblReclosers->Active());
    EXPECT_EQ(tables.tblReclosers->State(), dsEdit);
    EXPECT_EQ(tables.tblReclosers->RecNo(), 3);
    EXPECT_EQ(report->cbReclID->count(), 3);
}

TEST_F(ReportWindowFixture, AddAndRemoveBuildTheText)
{
    report->FormActivate();
    report->cbReclID->setEditText(QStringLiteral("R1"));
    report->btAdd->click();
    report->cbReclID->setEditText(QStringLiteral("R2"));
    report->btAdd->click();
    EXPECT_EQ(TfmKyrDatabase::MemoLines(report->Memo2), ResultsQueryText({"R1", "R2"}));
    EXPECT_EQ(TfmKyrDatabase::MemoLines(report->Memo2).size(), 5);
    ASSERT_TRUE(report->grab().save(ArtifactPath(QStringLiteral("report-window.png"))));
    EXPECT_EQ(data.qResReport->SQL, ResultsQueryText({"R1", "R2"}));
    // Already listed (in any letter case) or empty: nothing changes.
    report->cbReclID->setEditText(QStringLiteral("r1"));
    report->btAdd->click();
    report->cbReclID->setEditText(QString());
    report->btAdd->click();
    EXPECT_EQ(report->ListedIDs(), QStringList({"R1", "R2"}));
    // Remove needs a selected entry.
    report->ListBox1->clearSelection();
    report->ListBox1->setCurrentRow(-1);
    report->btRemove->click();
    EXPECT_EQ(report->ListedIDs(), QStringList({"R1", "R2"}));
    report->ListBox1->setCurrentRow(0);
    report->btRemove->click();
    EXPECT_EQ(report->ListedIDs(), QStringList({"R2"}));
    report->ListBox1->setCurrentRow(0);
    report->btRemove->click();
    EXPECT_TRUE(report->ListedIDs().isEmpty());
    EXPECT_EQ(TfmKyrDatabase::MemoLines(report->Memo2),
              QStringList({"SELECT *  FROM KYRRES", "WHERE NOT TESTRESULT LIKE \"*%\"",
                           "ORDER BY RECLID,TESTDATE,TESTTIME"}));
}

TEST_F(ReportWindowFixture, EditUnlocksTheTextAndPreviewRunsIt)
{
    AddResult("R1", "OK", "4X", "10:00:00", {{"TIME1", "0.05"}, {"MIN1", "0.04"}, {"MAX1", "0.06"}});
    AddResult("R2", "OK", "4X", "11:00:00", {});
    report->FormActivate();
    EXPECT_FALSE(report->Memo2->isEnabled());
    EXPECT_TRUE(report->Memo2->isReadOnly());
    report->btEdit->click();
    EXPECT_TRUE(report->Memo2->isEnabled());
    EXPECT_FALSE(report->Memo2->isReadOnly());
    EXPECT_EQ(report->btEdit->text(), QStringLiteral("Finish"));
    TfmKyrDatabase::SetMemoLines(report->Memo2, {"SELECT *  FROM KYRRES WHERE RECLID = \"R2\""});
    report->btEdit->click();
    EXPECT_FALSE(report->Memo2->isEnabled());
    EXPECT_EQ(report->btEdit->text(), QStringLiteral("Edit"));
    EXPECT_EQ(data.qResReport->SQL, ResultsQueryText({}));  // not run by Edit
    const QString printed = Preview();
    EXPECT_EQ(data.qResReport->SQL, QStringList({"SELECT *  FROM KYRRES WHERE RECLID = \"R2\""}));
    EXPECT_TRUE(printed.contains(QStringLiteral("Test at 11:00:00")));
    EXPECT_FALSE(printed.contains(QStringLiteral("Test at 10:00:00")));

    // A text that does not run: the engine's error, no preview.
    TfmKyrDatabase::SetMemoLines(report->Memo2, {"SELECT * FROM NOWHERE"});
    ScriptedMessages boxes;
    bool previewed = false;
    SetPreviewResponder([&](TQuickRep&, QPrintPreviewDialog&) { previewed = true; });
    report->btPreview->click();
    EXPECT_FALSE(previewed);
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_FALSE(boxes.requests[0].text.isEmpty());
}

// Two tests saved, one taken out of the report in the browser, the report previewed
// with the other and printed to PDF.
TEST_F(ReportWindowFixture, SavedResultsDeselectedInTheBrowserStayOutOfThePrintedReport)
{
    AddRecloser("R-100");
    AddResult("R-100", "OK", "MPU", "09:30:00", {{"CURR1", "203.25"}, {"MIN1", "180"}, {"MAX1", "220"}, {"OPT1", "200"}});
    AddResult("R-100", "HIGH", "4X", "10:15:30",
              {{"CURR1", "401.4"}, {"TIME1", "0.045"}, {"MIN1", "0.045"}, {"MAX1", "0.075"}, {"CURR2", "402.25"},
               {"TIME2", "0.2"}, {"MIN2", "0.06"}, {"MAX2", "0.15"}, {"RECL1", "2"}, {"OPCOUNTER", "1235"}});
    reclID = QStringLiteral("R-100");
    fmKyrDatabase->show();
    TQuery* q = data.qResReport;
    ASSERT_EQ(Column(q, "TESTTIME"), QStringList({"09:30:00", "10:15:30"}));
    q->First();
    fmKyrDatabase->btDeselect->click();
    EXPECT_EQ(Column(q, "TESTTIME"), QStringList({"10:15:30"}));

    report->FormActivate();
    EXPECT_EQ(TfmKyrDatabase::MemoLines(report->Memo2), DefaultReportSQL("R-100"));
    const QString pdf = ArtifactPath(QStringLiteral("report-window.pdf"));
    QFile::remove(pdf);
    const QString printed = Preview(pdf);
    EXPECT_TRUE(printed.contains(QStringLiteral("10:15:30")));
    EXPECT_FALSE(printed.contains(QStringLiteral("09:30:00")));
    const QString text = PdfText(pdf);
    ASSERT_FALSE(text.isEmpty());
    EXPECT_TRUE(text.contains(QStringLiteral("Kestrovan Test Results")));
    EXPECT_TRUE(text.contains(QStringLiteral("10:15:30")));
    EXPECT_TRUE(text.contains(QStringLiteral("0.200")));
    EXPECT_TRUE(text.contains(QStringLiteral("1235")));
    EXPECT_FALSE(text.contains(QStringLiteral("203.250")));

    // Added to the report window's list: the list decides again, the marked row stays out.
    report->cbReclID->setEditText(QStringLiteral("R-100"));
    report->btAdd->click();
    EXPECT_EQ(Column(q, "TESTTIME"), QStringList({"10:15:30"}));
}

TEST_F(ReportWindowFixture, ComingBackFromABoxIsNoActivation)
{
    AddRecloser("R1");
    QWidget other;
    other.show();
    report->show();
    QApplication::setActiveWindow(report);
    ASSERT_EQ(report->cbReclID->count(), 1);
    AddRecloser("R2");
    // A box or dialog takes the focus and gives it back: the activation does not run
    // again (a failure it reported would be reported again at every close).
    QDialog box;
    box.show();
    QApplication::setActiveWindow(&box);
    QApplication::setActiveWindow(report);
    EXPECT_EQ(report->cbReclID->count(), 1);
    // Another window of the program and back: activated again.
    QApplication::setActiveWindow(&other);
    QApplication::setActiveWindow(report);
    EXPECT_EQ(report->cbReclID->count(), 2);
}
