// The database browser on fixture tables: the page rules, Select and Deselect, the SQL
// texts, the backup and the creation trace.
#include "DbfFile.h"
#include "Debug.h"
#include "FakeReclSource.h"
#include "Forms.h"
#include "KyrDatabase.h"
#include "KyrGlobals.h"
#include "KyrSqlText.h"
#include "KyrTableDefs.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "Win32.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ResultRow {
    QString recl;
    QString result;
    QDate date = QDate::currentDate();
    QString time = QStringLiteral("10:00:00");
};

class BrowserFixture : public ::testing::Test {
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
    }
    void TearDown() override
    {
        delete browser;
        DataFolder = savedDataFolder;
        SetFileDialogResponder({});
        SetDirectoryDialogResponder({});
    }
    void AddResults(const std::vector<ResultRow>& rows)
    {
        TTable t;
        t.TableName = QStringLiteral("KyrRes");
        t.Open();
        for (const ResultRow& r : rows) {
            t.Insert();
            t.FieldByName("RECLID")->SetAsString(r.recl);
            t.FieldByName("TESTDATE")->SetAsDate(r.date);
            t.FieldByName("TESTTIME")->SetAsString(r.time);
            t.FieldByName("TESTRESULT")->SetAsString(r.result);
            t.FieldByName("TESTTYPE")->SetAsString(QStringLiteral("4X"));
            t.Post();
        }
        t.Close();
    }
    // TESTRESULT of every row of the file, in file order.
    QStringList StoredResults()
    {
        TTable t;
        t.TableName = QStringLiteral("KyrRes");
        t.Open();
        QStringList out;
        for (t.First(); !t.Eof(); t.Next())
            out << t.FieldByName("TESTRESULT")->AsString();
        return out;
    }
    static QStringList Column(TDataSet* ds, const char* field)
    {
        QStringList out;
        if (!ds->Active())
            return out;
        const int at = ds->RecNo();
        for (ds->First(); !ds->Eof(); ds->Next())
            out << ds->FieldByName(field)->AsString();
        if (at > 0)
            ds->SetRecNo(at);
        return out;
    }
    static bool Locate(TDataSet* ds, const QString& result)
    {
        for (ds->First(); !ds->Eof(); ds->Next())
            if (ds->FieldByName("TESTRESULT")->AsString() == result)
                return true;
        return false;
    }
    void Show()
    {
        if (!browser)
            browser = new TfmKyrDatabase(&source);
        browser->show();
    }
    // Many results rows in one append (a post per row would flush the disk each time):
    // recloser "R" + (i % 10), TESTTIME the row number, every seventh kept out.
    void AddManyResults(int rows)
    {
        DbfFile file(QStringLiteral("KyrRes.dbf"));
        std::vector<QByteArray> records;
        for (int i = 0; i < rows; ++i) {
            QByteArray r = file.blankRecord();
            file.setValue(r, file.fieldIndex("RECLID"), QStringLiteral("R%1").arg(i % 10));
            file.setValue(r, file.fieldIndex("TESTDATE"), QDate(2026, 3, 1 + i % 28));
            file.setValue(r, file.fieldIndex("TESTTIME"), QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0')));
            file.setValue(r, file.fieldIndex("TESTRESULT"), i % 7 == 0 ? QStringLiteral("*OK") : QStringLiteral("OK"));
            records.push_back(r);
        }
        file.appendRecords(records);
    }
    // The user picks a page.
    void UserPage(int index) { browser->PageControl1->setCurrentIndex(index); }

    TempCurrentDir dir;
    QString savedDataFolder;
    TReclTables tables;
    QString reclID = QStringLiteral("R1");
    // The data form's tables and the recloser ID it shows.
    FakeReclSource source{&tables, [this] { return reclID; }};
    TfmKyrDatabase* browser = nullptr;
};

} // namespace

TEST_F(BrowserFixture, ShowOpensTheRecloserResultsAndTheReportRows)
{
    AddResults({{"R1", "OK"}, {"R2", "OK"}, {"R1", "*OK"}, {"R1", "LOW"}});
    ScriptedMessages boxes;
    Show();
    EXPECT_TRUE(boxes.requests.empty());
    EXPECT_EQ(browser->PageControl1->currentWidget(), browser->tsResults);
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("Kestrovan Database"));
    EXPECT_EQ(TfmKyrDatabase::MemoLines(browser->Memo1), DefaultResultsSQL("R1"));
    EXPECT_EQ(tables.qRes->SQL, DefaultResultsSQL("R1"));
    EXPECT_EQ(browser->Data().qResReport->SQL, DefaultReportSQL("R1"));
    EXPECT_EQ(TfmKyrDatabase::MemoLines(browser->Memo2), DefaultReportSQL("R1"));
    EXPECT_EQ(LastResultsReclID, QStringLiteral("R1"));
    EXPECT_EQ(Column(tables.qRes, "TESTRESULT"), QStringList({"OK", "*OK", "LOW"}));
    EXPECT_EQ(Column(browser->Data().qResReport, "TESTRESULT"), QStringList({"OK", "LOW"}));
    EXPECT_TRUE(tables.tblRes->Active());
    EXPECT_EQ(browser->DBGrid1->model()->rowCount(), 3);
    EXPECT_EQ(browser->dbGrid6->model()->rowCount(), 2);
    EXPECT_FALSE(browser->Memo1->isVisible());
    EXPECT_FALSE(browser->Memo2->isVisible());

    // Another recloser brings the default texts back at the next entry.
    reclID = QStringLiteral("R2");
    browser->tsResultsEnter();
    EXPECT_EQ(Column(tables.qRes, "TESTRESULT"), QStringList({"OK"}));
    EXPECT_EQ(browser->Data().qResReport->SQL, DefaultReportSQL("R2"));
    EXPECT_EQ(LastResultsReclID, QStringLiteral("R2"));

    // An ID that holds double quotes and key words stays one value.
    AddResults({{"X\" OR \"\"=\"", "OK"}, {"A\"B", "OK"}});
    reclID = QStringLiteral("X\" OR \"\"=\"");
    browser->DBGrid1Enter();
    EXPECT_EQ(Column(tables.qRes, "RECLID"), QStringList({reclID}));
    reclID = QStringLiteral("A\"B");
    browser->DBGrid6Enter();
    EXPECT_EQ(Column(browser->Data().qResReport, "RECLID"), QStringList({reclID}));
}

TEST_F(BrowserFixture, PagesReportMissingFilesAndOpenOnlyTheirOwnTable)
{
    struct Page {
        int index;
        const char* file;
        const char* message;
        TTable* TReclTables::*table;
    } pages[] = {
        {1, "KyrRecl.dbf", "Recloser file KyrRecl.dbf not found", &TReclTables::tblReclosers},
        {2, "KyrTypes.dbf", "Recloser Types file KyrTypes.dbf not found", &TReclTables::tblTypes},
        {3, "KyrTechs.dbf", "Technician file KyrTechs.dbf not found", &TReclTables::tblTechs},
        {4, "KyrCust.dbf", "Customer file KyrCust.dbf not found", &TReclTables::tblCust},
    };
    Show();
    // Each page present: opened on entry, closed when left.
    for (const Page& p : pages) {
        ScriptedMessages boxes;
        UserPage(p.index);
        EXPECT_TRUE(boxes.requests.empty()) << p.file;
        EXPECT_TRUE((tables.*p.table)->Active()) << p.file;
        EXPECT_FALSE(tables.tblRes->Active()) << "the results page closed its table";
        UserPage(0);
        EXPECT_FALSE((tables.*p.table)->Active()) << p.file;
    }
    // Each page missing its file: the message, the table stays closed.
    for (const Page& p : pages) {
        ASSERT_TRUE(QFile::rename(dir.file(p.file), dir.file(QStringLiteral("away.dbf"))));
        ScriptedMessages boxes;
        UserPage(p.index);
        ASSERT_EQ(boxes.requests.size(), 1u) << p.file;
        EXPECT_EQ(boxes.requests[0].text, QString::fromLatin1(p.message));
        EXPECT_EQ(boxes.requests[0].caption, QStringLiteral("Error"));
        EXPECT_FALSE((tables.*p.table)->Active());
        UserPage(0);
        ASSERT_TRUE(QFile::rename(dir.file(QStringLiteral("away.dbf")), dir.file(p.file)));
    }
    // The results file missing when the window shows again.
    browser->close();
    ASSERT_TRUE(QFile::remove(dir.file("KyrRes.dbf")));
    ScriptedMessages boxes;
    Show();
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, QStringLiteral("Results file KyrRes.dbf not found"));
    EXPECT_FALSE(tables.tblRes->Active());
}

TEST_F(BrowserFixture, LeavingAPagePostsItsOwnEditAndLeavesOthersAlone)
{
    {
        TTable t;
        t.TableName = QStringLiteral("KyrTechs");
        t.Open();
        t.InsertRecord({"T1", "First Tech"});
        t.Close();
    }
    Show();
    UserPage(3);
    ASSERT_TRUE(tables.tblTechs->Active());
    tables.tblTechs->First();
    tables.tblTechs->Edit();
    tables.tblTechs->Fields(1)->SetAsString(QStringLiteral("Renamed Tech"));
    UserPage(4);
    EXPECT_FALSE(tables.tblTechs->Active());
    {
        TTable t;
        t.TableName = QStringLiteral("KyrTechs");
        t.Open();
        EXPECT_EQ(t.Fields(1)->AsString(), QStringLiteral("Renamed Tech"));
    }
    // A new row of the page's own that was never posted is dropped with a word.
    tables.tblCust->Insert();
    ScriptedMessages boxes;
    UserPage(0);
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, QStringLiteral("The new record was not posted and has been discarded."));
    EXPECT_FALSE(tables.tblCust->Active());

    // The recloser form has the technicians table open with a new row in progress: the
    // page shows it and leaves it open, new row and all.
    tables.tblTechs->Open();
    tables.tblTechs->Insert();
    tables.tblTechs->Fields(0)->SetAsString(QStringLiteral("T9"));
    UserPage(3);
    UserPage(0);
    EXPECT_TRUE(tables.tblTechs->Active());
    EXPECT_EQ(tables.tblTechs->State(), dsInsert);
    tables.tblTechs->Post();
    tables.tblTechs->Close();

    // Closing the window leaves its page like a page change.
    UserPage(1);
    tables.tblReclosers->InsertRecord({"R5"});
    tables.tblReclosers->Edit();
    tables.tblReclosers->FieldByName("CUSTID")->SetAsString(QStringLiteral("C5"));
    browser->close();
    EXPECT_FALSE(browser->isVisible());
    EXPECT_FALSE(tables.tblReclosers->Active());
    TTable t;
    t.TableName = QStringLiteral("KyrRecl");
    t.Open();
    EXPECT_EQ(t.FieldByName("CUSTID")->AsString(), QStringLiteral("C5"));
}

TEST_F(BrowserFixture, SelectAndDeselectMoveRowsInAndOutOfTheReport)
{
    AddResults({{"R1", "OK"}, {"R1", "*OK"}, {"R1", "MissingOp,"}});
    Show();
    ScriptedMessages boxes;
    // Select on "OK": nothing changes.
    ASSERT_TRUE(Locate(tables.qRes, "OK"));
    browser->btSelect->click();
    EXPECT_EQ(StoredResults(), QStringList({"OK", "*OK", "MissingOp,"}));
    // Select on "*OK": a blank takes the asterisk's place; the report shows it.
    ASSERT_TRUE(Locate(tables.qRes, "*OK"));
    browser->btSelect->click();
    EXPECT_EQ(StoredResults(), QStringList({"OK", " OK", "MissingOp,"}));
    EXPECT_EQ(Column(browser->Data().qResReport, "TESTRESULT"), QStringList({"OK", " OK", "MissingOp,"}));
    // Deselect on " OK": the asterisk is back in place of the blank.
    ASSERT_TRUE(Locate(browser->Data().qResReport, " OK"));
    browser->btDeselect->click();
    EXPECT_EQ(StoredResults(), QStringList({"OK", "*OK", "MissingOp,"}));
    EXPECT_EQ(Column(browser->Data().qResReport, "TESTRESULT"), QStringList({"OK", "MissingOp,"}));
    // Deselect on "MissingOp,": an asterisk in front.
    ASSERT_TRUE(Locate(browser->Data().qResReport, "MissingOp,"));
    browser->btDeselect->click();
    EXPECT_EQ(StoredResults(), QStringList({"OK", "*OK", "*MissingOp,"}));
    EXPECT_TRUE(boxes.requests.empty());

    // A result query that cannot be changed says so.
    tables.qRes->Close();
    tables.qRes->SQL = QStringList{"SELECT DISTINCT TESTRESULT FROM KYRRES"};
    tables.qRes->Open();
    ASSERT_TRUE(Locate(tables.qRes, "*OK"));
    browser->btSelect->click();
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, QStringLiteral("Records cannot be modified due to SQL statement"));
    EXPECT_EQ(boxes.requests[0].caption, QStringLiteral("Query disallows edit"));
    EXPECT_EQ(StoredResults(), QStringList({"OK", "*OK", "*MissingOp,"}));
}

TEST_F(BrowserFixture, EditSqlRunsTodayTextAndDerivesTheReportText)
{
    const QDate today = QDate::currentDate();
    AddResults({{"R1", "OK", today, "11:00:00"},
                {"R1", "OK", today.addDays(-1), "09:00:00"},
                {"R1", "*LOW", today, "08:00:00"},
                {"R2", "HIGH", today, "10:00:00"}});
    Show();
    ScriptedMessages boxes;
    browser->btEditSQLsel->click();
    EXPECT_EQ(browser->btEditSQLsel->text(), QStringLiteral("Finish"));
    EXPECT_FALSE(browser->Memo1->isHidden());
    EXPECT_EQ(TfmKyrDatabase::MemoLines(browser->Memo1), DefaultResultsSQL("R1"));

    TfmKyrDatabase::SetMemoLines(browser->Memo1,
                                 {"SELECT *  FROM KYRRES", "WHERE TESTDATE = TODAY", "ORDER BY TESTTIME"});
    browser->btEditSQLsel->click();
    const QString date = QStringLiteral("\"") + DateToStr(today) + QStringLiteral("\"");
    const QStringList run{"SELECT *  FROM KYRRES", "WHERE TESTDATE = " + date, "ORDER BY TESTTIME"};
    EXPECT_EQ(tables.qRes->SQL, run);
    EXPECT_EQ(TfmKyrDatabase::MemoLines(browser->Memo1), run);
    EXPECT_EQ(Column(tables.qRes, "TESTTIME"), QStringList({"08:00:00", "10:00:00", "11:00:00"}));
    const QStringList report{"SELECT *  FROM KYRRES", "WHERE TESTDATE = " + date, "AND NOT TESTRESULT LIKE \"*%\" ",
                             "ORDER BY TESTTIME"};
    EXPECT_EQ(browser->Data().qResReport->SQL, report);
    EXPECT_EQ(TfmKyrDatabase::MemoLines(browser->Memo2), report);
    EXPECT_EQ(Column(browser->Data().qResReport, "TESTTIME"), QStringList({"10:00:00", "11:00:00"}));
    EXPECT_EQ(browser->btEditSQLsel->text(), QStringLiteral("Edit SQL"));
    EXPECT_TRUE(browser->Memo1->isHidden());

    // Without WHERE and ORDER.
    browser->btEditSQLsel->click();
    TfmKyrDatabase::SetMemoLines(browser->Memo1, {"SELECT *  FROM KYRRES"});
    browser->btEditSQLsel->click();
    EXPECT_EQ(browser->Data().qResReport->SQL, QStringList({"SELECT *  FROM KYRRES", "WHERE NOT TESTRESULT LIKE \"*%\" "}));
    EXPECT_EQ(Column(browser->Data().qResReport, "TESTRESULT"), QStringList({"OK", "OK", "HIGH"}));

    // A cleared memo and a text that fails: the previous texts come back, no message.
    for (const QStringList& typed : {QStringList{}, QStringList{"SELECT * FROM NOSUCHTABLE"}}) {
        browser->btEditSQLsel->click();
        TfmKyrDatabase::SetMemoLines(browser->Memo1, typed);
        browser->btEditSQLsel->click();
        EXPECT_EQ(tables.qRes->SQL, QStringList({"SELECT *  FROM KYRRES"}));
        EXPECT_EQ(TfmKyrDatabase::MemoLines(browser->Memo1), QStringList({"SELECT *  FROM KYRRES"}));
        EXPECT_TRUE(tables.qRes->Active());
        EXPECT_EQ(browser->Data().qResReport->SQL,
                  QStringList({"SELECT *  FROM KYRRES", "WHERE NOT TESTRESULT LIKE \"*%\" "}));
        EXPECT_TRUE(browser->Data().qResReport->Active());
    }
    EXPECT_TRUE(boxes.requests.empty());
}

TEST_F(BrowserFixture, ViewSqlShowsTheReportTextAndRunsItAgain)
{
    AddResults({{"R1", "OK"}, {"R1", "*OK"}});
    Show();
    browser->btEditSQLdes->click();
    EXPECT_EQ(browser->btEditSQLdes->text(), QStringLiteral("Finish"));
    EXPECT_FALSE(browser->Memo2->isHidden());
    EXPECT_FALSE(browser->Memo2->isEnabled());
    EXPECT_EQ(TfmKyrDatabase::MemoLines(browser->Memo2), DefaultReportSQL("R1"));
    browser->btEditSQLdes->click();
    EXPECT_EQ(browser->btEditSQLdes->text(), QStringLiteral("View SQL"));
    EXPECT_TRUE(browser->Memo2->isHidden());
    EXPECT_EQ(Column(browser->Data().qResReport, "TESTRESULT"), QStringList({"OK"}));
}

TEST_F(BrowserFixture, BackupCancelledAtTheThirdFileKeepsTheFirstTwo)
{
    QTemporaryDir target;
    SetDirectoryDialogResponder([&](QString& folder) {
        EXPECT_TRUE(folder.endsWith(QStringLiteral("/Kestrovan")));
        folder = target.path();
        return true;
    });
    QStringList proposed;
    SetFileDialogResponder([&](TFileDialog& d) {
        EXPECT_EQ(d.Title, QStringLiteral("Backup Database File"));
        EXPECT_EQ(d.InitialDir, target.path());
        proposed << d.FileName;
        QDir::setCurrent(target.path());  // a dialog may change the current folder
        if (proposed.size() == 3)
            return false;
        d.FileName = target.path() + QLatin1Char('/') + d.FileName;
        return true;
    });
    Show();
    ScriptedMessages boxes;
    boxes.answer(IDYES);
    browser->btBackup->click();
    ASSERT_FALSE(boxes.requests.empty());
    EXPECT_EQ(boxes.requests[0].text, QStringLiteral("Backup Database Files?"));
    EXPECT_EQ(boxes.requests[0].caption, QStringLiteral("Backup"));
    EXPECT_EQ(proposed, QStringList({"KyrCust.dbf", "KyrRecl.dbf", "KyrRes.dbf"}));
    const QString suffix = QLatin1Char('-') + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    EXPECT_EQ(QDir(target.path()).entryList(QDir::Files),
              QStringList({"KyrCust.dbf" + suffix, "KyrRecl.dbf" + suffix}));
    QFile a(dir.file("KyrRecl.dbf")), b(target.path() + "/KyrRecl.dbf" + suffix);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
    EXPECT_EQ(QDir::currentPath(), QDir(dir.path()).canonicalPath());

    // No: nothing at all.
    proposed.clear();
    ScriptedMessages no;
    no.answer(IDNO);
    browser->btBackup->click();
    EXPECT_TRUE(proposed.isEmpty());
}

TEST_F(BrowserFixture, BackupCopyFailureLeavesNoPartFileAndGoesOn)
{
    QTemporaryDir target;
    SetDirectoryDialogResponder([&](QString& folder) {
        folder = target.path();
        return true;
    });
    SetFileDialogResponder([&](TFileDialog& d) {
        d.FileName = target.path() + QLatin1Char('/') + d.FileName;
        return true;
    });
    // A curve file, and a file size limit that the results table (the widest) passes.
    ASSERT_TRUE(SaveTextFile(dir.file("Kestrovan.rcf"), {"curve data"}));
    const qint64 limit = QFileInfo(dir.file("KyrRes.dbf")).size() - 100;
    for (const QString& t : KyrTableNames()) {
        if (t != QLatin1String("KyrRes")) {
            ASSERT_LT(QFileInfo(dir.file(t + ".dbf")).size(), limit) << t.toStdString();
        }
    }
    Show();
    ScriptedMessages boxes;
    boxes.answer(IDYES);
    {
        FileSizeLimit small(static_cast<unsigned long long>(limit));
        browser->btBackup->click();
    }

    ASSERT_EQ(boxes.requests.size(), 2u);
    EXPECT_EQ(boxes.requests[1].text, QStringLiteral("File Copy Error"));
    EXPECT_EQ(boxes.requests[1].dlgType, mtInformation);
    const QString suffix = QLatin1Char('-') + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    QStringList expected;
    for (const QString& t : KyrTableNames())
        if (t != QLatin1String("KyrRes"))
            expected << t + ".dbf" + suffix;
    expected << "Kestrovan.rcf" + suffix;
    expected.sort();
    // No part file under the final name, and no temporary file left behind.
    EXPECT_EQ(FolderEntries(target.path()), expected);
}

// A link planted at a backup's name is replaced by the copy, never written through.
TEST_F(BrowserFixture, BackupNeverWritesThroughAPlantedLink)
{
    QTemporaryDir target, elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("precious"));
    ASSERT_TRUE(SaveTextFile(outside, {"precious"}));
    const QString suffix = QLatin1Char('-') + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    const QString link = target.path() + "/KyrCust.dbf" + suffix;
    ASSERT_TRUE(QFile::link(outside, link));
    SetDirectoryDialogResponder([&](QString& folder) {
        folder = target.path();
        return true;
    });
    SetFileDialogResponder([&](TFileDialog& d) {
        d.FileName = target.path() + QLatin1Char('/') + d.FileName;
        return d.FileName.endsWith(QStringLiteral("KyrCust.dbf"));  // only the first file
    });
    Show();
    ScriptedMessages boxes;
    boxes.answer(IDYES);
    browser->btBackup->click();
    EXPECT_EQ(boxes.requests.size(), 1u);
    QFile a(dir.file("KyrCust.dbf")), b(outside);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), QByteArray("precious\r\n"));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    QFile c(link);
    ASSERT_TRUE(c.open(QIODevice::ReadOnly));
    EXPECT_EQ(c.readAll(), a.readAll());
}

TEST_F(BrowserFixture, CreationTracesTheSystemVersionAndTheControlFolder)
{
    auto* debug = new TfmDebug;
    fmDebug = debug;
    const QString saved = Session->NetFileDir;
    Session->NetFileDir.clear();
    browser = new TfmKyrDatabase(&source);
    const QString trace = debug->TraceText();
    EXPECT_TRUE(trace.contains(QStringLiteral(": KyrDataBase.FormCreate: OS Version: 10.0 at: ")));
    EXPECT_TRUE(trace.contains(QStringLiteral(": KyrDataBase.FormCreate: NetFileDir: ") + dir.path() + " at: "));
    EXPECT_EQ(Session->NetFileDir, dir.path());
    // Before version 6.0 the folder is left as it is.
    OSVERSIONINFOA old{};
    old.dwOSVersionInfoSize = sizeof(old);
    old.dwMajorVersion = 5;
    old.dwMinorVersion = 1;
    SetVersionForTests(&old);
    Session->NetFileDir.clear();
    delete browser;
    browser = new TfmKyrDatabase(&source);
    SetVersionForTests(nullptr);
    EXPECT_TRUE(debug->TraceText().contains(QStringLiteral(": KyrDataBase.FormCreate: OS Version: 5.1 at: ")));
    EXPECT_TRUE(debug->TraceText().contains(QStringLiteral(": KyrDataBase.FormCreate: NetFileDir:  at: ")));
    EXPECT_TRUE(Session->NetFileDir.isEmpty());
    Session->NetFileDir = saved;
    fmDebug = nullptr;
    delete debug;
}

TEST_F(BrowserFixture, NavigatorMovesEditsAndDeletesOnItsDataSet)
{
    AddResults({{"R1", "OK", QDate::currentDate(), "08:00:00"},
                {"R1", "LOW", QDate::currentDate(), "09:00:00"},
                {"R1", "*HIGH", QDate::currentDate(), "10:00:00"}});
    Show();
    TDBNavigator* nav = browser->DBNavigator1;
    TQuery* q = tables.qRes;
    ASSERT_TRUE(q->Active());
    q->First();
    nav->UpdateButtons();
    EXPECT_FALSE(nav->Button(TDBNavigator::nbFirst)->isEnabled());
    EXPECT_TRUE(nav->Button(TDBNavigator::nbNext)->isEnabled());
    EXPECT_FALSE(nav->Button(TDBNavigator::nbPost)->isEnabled());
    nav->BtnClick(TDBNavigator::nbLast);
    EXPECT_EQ(q->RecNo(), 3);
    EXPECT_EQ(browser->DBGrid1->currentIndex().row(), 2);  // the grid follows the data set
    EXPECT_FALSE(nav->Button(TDBNavigator::nbNext)->isEnabled());
    nav->BtnClick(TDBNavigator::nbPrior);
    EXPECT_EQ(q->FieldByName("TESTRESULT")->AsString(), QStringLiteral("LOW"));
    // The user picks a row in the grid: the data set follows.
    browser->DBGrid1->setCurrentIndex(browser->DBGrid1->model()->index(0, 0));
    EXPECT_EQ(q->RecNo(), 1);
    // Edit, change, cancel; edit, change, post.
    nav->BtnClick(TDBNavigator::nbEdit);
    EXPECT_EQ(q->State(), dsEdit);
    EXPECT_TRUE(nav->Button(TDBNavigator::nbPost)->isEnabled());
    q->FieldByName("COMMENTS")->SetAsString(QStringLiteral("dropped"));
    nav->BtnClick(TDBNavigator::nbCancel);
    nav->BtnClick(TDBNavigator::nbEdit);
    q->FieldByName("COMMENTS")->SetAsString(QStringLiteral("kept"));
    nav->BtnClick(TDBNavigator::nbPost);
    nav->BtnClick(TDBNavigator::nbRefresh);
    EXPECT_EQ(q->FieldByName("COMMENTS")->AsString(), QStringLiteral("kept"));
    // Delete asks first; Cancel keeps the row.
    {
        ScriptedMessages boxes;
        boxes.answer(mrCancel);
        nav->BtnClick(TDBNavigator::nbDelete);
        ASSERT_EQ(boxes.requests.size(), 1u);
        EXPECT_EQ(boxes.requests[0].text, QStringLiteral("Delete record?"));
        EXPECT_EQ(StoredResults().size(), 3);
        boxes.answer(mrOk);
        nav->BtnClick(TDBNavigator::nbDelete);
        EXPECT_EQ(StoredResults(), QStringList({"LOW", "*HIGH"}));
    }
    // Closed data set: every button off.
    q->Close();
    nav->UpdateButtons();
    for (int b = 0; b < TDBNavigator::ButtonCount; ++b)
        EXPECT_FALSE(nav->Button(static_cast<TDBNavigator::TNavigateBtn>(b))->isEnabled()) << b;
}

TEST_F(BrowserFixture, PicturesOfTheBrowserPages)
{
    AddResults({{"R1", "OK", QDate::currentDate(), "08:00:00"},
                {"R1", "*LOW", QDate::currentDate(), "09:00:00"},
                {"R1", "MissingOp,", QDate::currentDate(), "10:00:00"}});
    {
        TTable t;
        t.TableName = QStringLiteral("KyrRecl");
        t.Open();
        t.InsertRecord({"R1", "NORTHGRID", "KF", "100", "2", "2", "B", "", "", "", "", ""});
        t.InsertRecord({"R2", "NORTHGRID", "KF", "50", "1", "3", "B", "", "", "", "", ""});
        t.Close();
    }
    Show();
    browser->resize(900, 600);
    browser->btEditSQLdes->click();
    ASSERT_TRUE(browser->grab().save(ArtifactPath(QStringLiteral("database-browser-results.png"))));
    browser->btEditSQLdes->click();
    UserPage(1);
    ASSERT_TRUE(browser->grab().save(ArtifactPath(QStringLiteral("database-browser-reclosers.png"))));
    EXPECT_EQ(browser->DBGrid2->model()->rowCount(), 2);
}

TEST_F(BrowserFixture, EditingACellKeepsTheResultsGridWhereItIs)
{
    AddResults({{"R1", "OK", QDate::currentDate(), "08:00:00"},
                {"R1", "LOW", QDate::currentDate(), "09:00:00"},
                {"R1", "HIGH", QDate::currentDate(), "10:00:00"}});
    Show();
    browser->activateWindow();
    QApplication::setActiveWindow(browser);
    ASSERT_TRUE(QTest::qWaitForWindowActive(browser));
    int enters = 0;
    QObject::connect(browser->DBGrid1, &TDBGrid::Enter, [&] { ++enters; });
    TDBGrid* grid = browser->DBGrid1;
    browser->btSelect->setFocus(Qt::TabFocusReason);
    grid->setFocus(Qt::MouseFocusReason);  // the user clicks into the grid
    EXPECT_EQ(enters, 1);
    const int comments = tables.qRes->FieldByName("COMMENTS")->Index();
    const QModelIndex cell = grid->model()->index(1, comments);
    grid->setCurrentIndex(cell);
    EXPECT_EQ(tables.qRes->RecNo(), 2);
    grid->edit(cell);
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    ASSERT_NE(editor, grid);
    QTest::keyClicks(editor, QStringLiteral("checked"));
    QTest::keyClick(editor, Qt::Key_Return);
    // The cell editor commits and closes from the event queue.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == grid; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return tables.qRes->FieldByName("COMMENTS")->AsString() == QLatin1String("checked"); }, 5000));
    EXPECT_EQ(enters, 1) << "back from the cell editor is no entry into the grid";
    EXPECT_EQ(tables.qRes->RecNo(), 2);
    EXPECT_EQ(QApplication::focusWidget(), grid);
    EXPECT_EQ(grid->currentIndex().row(), 1);
    // A value that does not convert: the engine's message, the row as it was.
    {
        ScriptedMessages boxes;
        const QModelIndex number = grid->model()->index(1, tables.qRes->FieldByName("CURR1")->Index());
        grid->setCurrentIndex(number);
        grid->edit(number);
        editor = QApplication::focusWidget();
        QTest::keyClicks(editor, QStringLiteral("abc"));
        QTest::keyClick(editor, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.requests.empty(); }, 5000));
        EXPECT_TRUE(boxes.requests[0].text.contains(QStringLiteral("abc"))) << boxes.requests[0].text.toStdString();
        EXPECT_EQ(tables.qRes->State(), dsBrowse);
        EXPECT_TRUE(tables.qRes->FieldByName("CURR1")->IsNull());
        EXPECT_EQ(tables.qRes->FieldByName("COMMENTS")->AsString(), QStringLiteral("checked"));
    }
    // From the editor straight to another control: the grid is left, and coming back is
    // an entry again.
    grid->edit(grid->model()->index(2, comments));
    browser->btSelect->setFocus(Qt::TabFocusReason);
    grid->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(enters, 2);
}

TEST_F(BrowserFixture, ManyRowsBeforeARecloserIsChosenAreShownAndChangedFarDown)
{
    constexpr int Rows = 5000;
    AddManyResults(Rows);
    reclID.clear();
    ScriptedMessages boxes;
    Show();
    QAbstractItemModel* report = browser->dbGrid6->model();
    const int kept = Rows - (Rows + 6) / 7;
    ASSERT_EQ(report->rowCount(), kept);
    EXPECT_EQ(browser->DBGrid1->model()->rowCount(), Rows);  // no recloser: every result
    const int timeColumn = browser->Data().qResReport->FieldByName("TESTTIME")->Index();
    const int resultColumn = browser->Data().qResReport->FieldByName("TESTRESULT")->Index();
    // The last rows, as the user scrolls down to them.
    browser->dbGrid6->scrollToBottom();
    browser->grab();
    // From the end: 4999, then 4998 kept out, 4997 ... 4992, then 4991 kept out.
    const QStringList last = {"04999", "04997", "04996", "04995", "04994", "04993", "04992", "04990"};
    for (int k = 0; k < last.size(); ++k)
        EXPECT_EQ(report->data(report->index(kept - 1 - k, timeColumn)).toString(), last[k]);
    // Deselect on a row far down: it leaves the report, the grid stays on its place.
    const int row = kept - 100;
    browser->dbGrid6->setCurrentIndex(report->index(row, timeColumn));
    ASSERT_EQ(browser->Data().qResReport->RecNo(), row + 1);
    const QString time = browser->Data().qResReport->FieldByName("TESTTIME")->AsString();
    const QString after = report->data(report->index(row + 1, timeColumn)).toString();
    browser->btDeselect->click();
    EXPECT_TRUE(boxes.requests.empty());
    EXPECT_EQ(report->rowCount(), kept - 1);
    EXPECT_EQ(report->data(report->index(row, timeColumn)).toString(), after);
    tables.tblRes->Refresh();
    ASSERT_TRUE(tables.tblRes->Locate("TESTTIME", time, 0));
    EXPECT_EQ(tables.tblRes->FieldByName("TESTRESULT")->AsString(), "*OK");

    // A recloser chosen: Select on its last row kept out brings it into the report.
    reclID = QStringLiteral("R3");
    browser->tsResultsEnter();
    TQuery* results = tables.qRes;
    ASSERT_EQ(results->RecordCount(), Rows / 10);
    results->Last();
    while (!results->FieldByName("TESTRESULT")->AsString().startsWith('*'))
        results->Prior();
    const QString chosen = results->FieldByName("TESTTIME")->AsString();
    EXPECT_GT(chosen.toInt(), Rows - 100);
    browser->btSelect->click();
    EXPECT_EQ(results->FieldByName("TESTTIME")->AsString(), chosen);
    EXPECT_EQ(results->FieldByName("TESTRESULT")->AsString(), " OK");
    EXPECT_TRUE(browser->Data().qResReport->Locate("TESTTIME", chosen, 0));
    EXPECT_EQ(report->data(report->index(browser->Data().qResReport->RecNo() - 1, resultColumn)).toString(), " OK");
    EXPECT_TRUE(boxes.requests.empty());
}

TEST_F(BrowserFixture, OpensWithItsFrameAtTheScreensTopLeftAndLaterKeepsTheUsersPlace)
{
    ScriptedMessages boxes;
    Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(browser));
    QTest::qWait(20);
    const QRect screen = browser->screen()->geometry();
    EXPECT_EQ(browser->frameGeometry().topLeft(), screen.topLeft());
    // Moved by the user, hidden and shown again: it stays where the user left it.
    browser->move(screen.topLeft() + QPoint(90, 60));
    browser->hide();
    Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(browser));
    QTest::qWait(20);
    EXPECT_EQ(browser->frameGeometry().topLeft(), screen.topLeft() + QPoint(90, 60));
}

TEST_F(BrowserFixture, DeselectOfAResultThatFillsItsFieldKeepsTheWidthAndLeavesTheReport)
{
    const int width = 254;
    const QString full = QStringLiteral("MissingOp,") + QString(width - 11, QLatin1Char('x')) + QLatin1Char('E');
    const QString blankLed = QLatin1Char(' ') + QString(width - 1, QLatin1Char('y'));
    ASSERT_EQ(full.size(), width);
    AddResults({{"R1", full}, {"R1", blankLed}});
    Show();
    ScriptedMessages boxes;
    ASSERT_TRUE(Locate(browser->Data().qResReport, full));
    QTest::mouseClick(browser->btDeselect, Qt::LeftButton);
    ASSERT_TRUE(Locate(browser->Data().qResReport, blankLed));
    QTest::mouseClick(browser->btDeselect, Qt::LeftButton);
    // The asterisk in front, the text cut at the field's width; a leading blank simply
    // becomes the asterisk.
    EXPECT_EQ(StoredResults(), QStringList({QLatin1Char('*') + full.left(width - 1), QLatin1Char('*') + blankLed.mid(1)}));
    EXPECT_TRUE(Column(browser->Data().qResReport, "TESTRESULT").isEmpty());
    EXPECT_TRUE(boxes.texts().empty()) << (boxes.texts().empty() ? std::string() : boxes.texts().front().toStdString());
}

TEST_F(BrowserFixture, TheProgramsEndClosesTheBrowserWhileAUsersCloseOnlyHidesIt)
{
    Show();
    ScriptedMessages boxes;
    // The user's close hides the window; the browser stays to be shown again.
    EXPECT_FALSE(browser->close());
    EXPECT_FALSE(browser->isVisible());
    Show();
    // At the end of the program the close is accepted, so the application can quit.
    Application.Terminated = true;
    const bool closed = browser->close();
    Application.Terminated = false;
    EXPECT_TRUE(closed);
    EXPECT_FALSE(browser->isVisible());
}
