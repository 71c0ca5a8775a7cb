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
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QTabBar>
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

namespace {

// The rows of a table as another reader sees them (python3 with dbfread): the named
// fields of each row not deleted, joined by "|", then "records=" and the record count
// of the file's header. Empty when the reader cannot run.
// The Debian package installs dbfread for the system's python, which another python
// first on the PATH may not see.
QString Python()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                 : QStringLiteral("python3");
}

QStringList ReaderRows(const QString& path, const QStringList& fields)
{
    QProcess p;
    p.start(Python(), QStringList{"-c",
                                   "import sys, dbfread\n"
                                   "t = dbfread.DBF(sys.argv[1], encoding='cp1252', load=True)\n"
                                   "for r in t: print('|'.join(str(r[f] or '') for f in sys.argv[2:]))\n"
                                   "print('records=%d' % t.header.numrecords)",
                                   path} +
                           fields);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

bool ReaderAvailable() { return QProcess::execute(Python(), {"-c", "import dbfread"}) == 0; }

// One page of the browser with a navigator, the table under it, its key and one more
// field to type, and how many Tabs lead from the key's cell to that field's.
struct NewRowPage {
    const char* name;
    int page;
    const char* file;
    const char* key;
    const char* other;
    int tabs;
    TDBGrid* TfmKyrDatabase::*grid;
    TDBNavigator* TfmKyrDatabase::*navigator;
};
const NewRowPage NewRowPages[] = {
    {"Test Results", 0, "KyrRes.dbf", "RECLID", "TESTTIME", 2, &TfmKyrDatabase::DBGrid1, &TfmKyrDatabase::DBNavigator1},
    {"Reclosers", 1, "KyrRecl.dbf", "RECLID", "CUSTID", 1, &TfmKyrDatabase::DBGrid2, &TfmKyrDatabase::DBNavigator2},
    {"Recloser Types", 2, "KyrTypes.dbf", "TYPE", "TRIPCOILS", 1, &TfmKyrDatabase::DBGrid3, &TfmKyrDatabase::DBNavigator3},
    {"Technicians", 3, "KyrTechs.dbf", "TECHID", "TECHNAME", 1, &TfmKyrDatabase::DBGrid4, &TfmKyrDatabase::DBNavigator4},
    {"Customers", 4, "KyrCust.dbf", "CUSTID", "CUSTNAME", 1, &TfmKyrDatabase::DBGrid5, &TfmKyrDatabase::DBNavigator5},
};

// The user clicks a navigator button.
void Press(TDBNavigator* navigator, TDBNavigator::TNavigateBtn button)
{
    QTest::mouseClick(navigator->Button(button), Qt::LeftButton);
}

// The user types into whatever has the focus; a Tab between texts moves to the next cell.
void TypeCells(const QStringList& texts)
{
    for (int i = 0; i < texts.size(); ++i) {
        if (i > 0)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (!texts[i].isEmpty())
            QTest::keyClicks(QApplication::focusWidget(), texts[i]);
    }
}

// The user clicks a cell of a grid.
void ClickCell(TDBGrid* grid, int row, int column)
{
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(row, column)).center());
}

} // namespace

class BrowserNewRowTest : public BrowserFixture {
protected:
    void ShowActive()
    {
        Show();
        browser->activateWindow();
        QApplication::setActiveWindow(browser);
        ASSERT_TRUE(QTest::qWaitForWindowActive(browser));
    }
    // One row in the page's table: key and other field.
    void Seed(const NewRowPage& p, const QString& key, const QString& other)
    {
        TTable t;
        t.TableName = QString::fromLatin1(p.file).chopped(4);
        t.Open();
        t.Insert();
        t.FieldByName(p.key)->SetAsString(key);
        t.FieldByName(p.other)->SetAsString(other);
        t.Post();
        t.Close();
    }
    // The rows read back, as one text for readable failures.
    std::string Stored(const NewRowPage& p) { return ReaderRows(dir.file(p.file), {p.key, p.other}).join("; ").toStdString(); }
};

// On every page: "+" gives a row to type into at the cursor; what is typed is stored by
// the check mark, dropped by the cross, and a row without its key is refused with the
// key's name, nothing stored and the row kept to be completed.
TEST_F(BrowserNewRowTest, InsertTypePostCancelAndAMissingKeyOnEveryPage)
{
    if (!ReaderAvailable())
        GTEST_SKIP() << "python3 with dbfread is needed to read the tables back";
    for (const NewRowPage& p : NewRowPages)
        Seed(p, "R1", "08:00:00");
    ShowActive();
    for (const NewRowPage& p : NewRowPages) {
        SCOPED_TRACE(p.name);
        ScriptedMessages boxes;
        UserPage(p.page);
        TDBGrid* grid = browser->*p.grid;
        TDBNavigator* nav = browser->*p.navigator;
        TDataSet* ds = grid->DataSource()->DataSet;
        ASSERT_TRUE(ds && ds->Active());
        QAbstractItemModel* model = grid->model();
        const int keyColumn = ds->FieldByName(p.key)->Index();
        const int otherColumn = ds->FieldByName(p.other)->Index();
        ASSERT_EQ(keyColumn, 0);
        ASSERT_EQ(otherColumn, p.tabs);
        const std::string seed = "R1|08:00:00; records=1";
        ASSERT_EQ(Stored(p), seed);

        // "+": the new row at the cursor (the first row), the focus in its first cell.
        Press(nav, TDBNavigator::nbInsert);
        EXPECT_EQ(ds->State(), dsInsert);
        EXPECT_TRUE(nav->Button(TDBNavigator::nbPost)->isEnabled());
        EXPECT_TRUE(nav->Button(TDBNavigator::nbCancel)->isEnabled());
        ASSERT_EQ(model->rowCount(), 2);
        EXPECT_EQ(model->headerData(0, Qt::Vertical).toString(), QStringLiteral("*"));
        EXPECT_EQ(model->data(model->index(1, keyColumn)).toString(), QStringLiteral("R1"));
        EXPECT_EQ(grid->currentIndex(), model->index(0, 0));
        ASSERT_TRUE(grid->isAncestorOf(QApplication::focusWidget())) << "the first cell's editor has the focus";
        QStringList typed{"R9"};
        for (int t = 1; t < p.tabs; ++t)
            typed << QString();
        typed << "10:30:00";
        TypeCells(typed);
        QTest::qWait(10);
        EXPECT_EQ(model->data(model->index(0, keyColumn)).toString(), QStringLiteral("R9")) << "shown in the new row";
        EXPECT_EQ(Stored(p), seed) << "nothing stored before the check mark";
        Press(nav, TDBNavigator::nbPost);
        EXPECT_TRUE(boxes.texts().empty()) << (boxes.texts().empty() ? "" : boxes.texts().front().toStdString());
        EXPECT_EQ(ds->State(), dsBrowse);
        const std::string posted = "R1|08:00:00; R9|10:30:00; records=2";
        EXPECT_EQ(Stored(p), posted);
        ASSERT_EQ(model->rowCount(), 2);
        EXPECT_EQ(model->data(model->index(1, otherColumn)).toString(), QStringLiteral("10:30:00"));

        // The cross drops the row and what was typed into it.
        Press(nav, TDBNavigator::nbInsert);
        TypeCells({"R8", "dropped"});
        Press(nav, TDBNavigator::nbCancel);
        EXPECT_EQ(ds->State(), dsBrowse);
        EXPECT_EQ(model->rowCount(), 2);
        QTest::qWait(10);
        EXPECT_EQ(Stored(p), posted);
        EXPECT_TRUE(boxes.texts().empty());

        // No key: refused with the key's name, nothing stored, the row and its text kept.
        Press(nav, TDBNavigator::nbInsert);
        typed[0].clear();
        typed.last() = "11:00:00";
        TypeCells(typed);
        Press(nav, TDBNavigator::nbPost);
        ASSERT_EQ(boxes.requests.size(), 1u);
        EXPECT_EQ(boxes.requests[0].text, QStringLiteral("The row is not stored: enter its %1 first.").arg(p.key));
        EXPECT_EQ(ds->State(), dsInsert);
        EXPECT_EQ(ds->FieldByName(p.other)->AsString(), QStringLiteral("11:00:00"));
        EXPECT_EQ(Stored(p), posted);
        // A key of blanks is no key either.
        for (int t = 0; t < p.tabs; ++t)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        TypeCells({"   "});
        Press(nav, TDBNavigator::nbPost);
        EXPECT_EQ(boxes.requests.size(), 2u);
        EXPECT_EQ(Stored(p), posted);
        // Completed, it is stored.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), "R7");
        Press(nav, TDBNavigator::nbPost);
        EXPECT_EQ(boxes.requests.size(), 2u);
        EXPECT_EQ(ds->State(), dsBrowse);
        EXPECT_EQ(Stored(p), "R1|08:00:00; R9|10:30:00; R7|11:00:00; records=3");
        // Clearing the key of a stored row is refused too.
        const int r7 = 2;
        ClickCell(grid, r7, keyColumn);
        QTest::keyClick(grid, Qt::Key_F2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.requests.size() == 3u; }, 5000));
        EXPECT_EQ(boxes.requests[2].text, QStringLiteral("The row is not stored: enter its %1 first.").arg(p.key));
        EXPECT_EQ(ds->State(), dsBrowse);
        EXPECT_EQ(Stored(p), "R1|08:00:00; R9|10:30:00; R7|11:00:00; records=3");
    }
}

// On the results page the focus may be in the report grid when "+" is clicked: the new
// row takes the focus without the results query being run again (which would drop the
// row), Return only ends the cell, and coming back from the report grid keeps the row.
TEST_F(BrowserNewRowTest, OnTheResultsPageReturnAndTheReportGridLeaveTheNewRowAlone)
{
    if (!ReaderAvailable())
        GTEST_SKIP() << "python3 with dbfread is needed to read the tables back";
    const NewRowPage& p = NewRowPages[0];
    AddResults({{"R1", "OK", QDate::currentDate(), "08:00:00"}});
    ShowActive();
    ScriptedMessages boxes;
    TDBGrid* grid = browser->DBGrid1;
    TDBGrid* report = browser->dbGrid6;
    TQuery* q = tables.qRes;
    int enters = 0;
    QObject::connect(grid, &TDBGrid::Enter, [&] { ++enters; });
    ClickCell(report, 0, 0);
    ASSERT_EQ(QApplication::focusWidget(), report);

    Press(browser->DBNavigator1, TDBNavigator::nbInsert);
    ASSERT_EQ(q->State(), dsInsert);
    ASSERT_TRUE(grid->isAncestorOf(QApplication::focusWidget()));
    EXPECT_EQ(enters, 0);
    QTest::keyClicks(QApplication::focusWidget(), "R1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == grid; }, 5000));
    QTest::keyClick(grid, Qt::Key_Return);
    QTest::qWait(20);
    EXPECT_EQ(q->State(), dsInsert);
    EXPECT_EQ(q->FieldByName("RECLID")->AsString(), QStringLiteral("R1"));
    EXPECT_EQ(enters, 0);
    EXPECT_EQ(Stored(p), "R1|08:00:00; records=1");

    // Off to the report grid and back into the new row: an entry, the row kept.
    ClickCell(report, 0, 0);
    ClickCell(grid, 0, q->FieldByName("TESTTIME")->Index());
    EXPECT_EQ(enters, 1);
    ASSERT_EQ(q->State(), dsInsert);
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClicks(QApplication::focusWidget(), "09:15:00");
    Press(browser->DBNavigator1, TDBNavigator::nbPost);
    EXPECT_TRUE(boxes.texts().empty()) << (boxes.texts().empty() ? "" : boxes.texts().front().toStdString());
    EXPECT_EQ(Stored(p), "R1|08:00:00; R1|09:15:00; records=2");
}

// Moving off the new row to another row: an untouched row goes without a word, a typed
// one is posted, one without its key is refused and stays the current row.
TEST_F(BrowserNewRowTest, MovingOffTheNewRowDropsPostsOrRefusesIt)
{
    if (!ReaderAvailable())
        GTEST_SKIP() << "python3 with dbfread is needed to read the tables back";
    const NewRowPage& p = NewRowPages[3];
    Seed(p, "T1", "First Tech");
    ShowActive();
    ScriptedMessages boxes;
    UserPage(p.page);
    TDBGrid* grid = browser->DBGrid4;
    TDBNavigator* nav = browser->DBNavigator4;
    auto away = [&] { return grid->GridModel()->NewRow() == 0 ? 1 : 0; };

    Press(nav, TDBNavigator::nbInsert);
    ClickCell(grid, away(), 1);
    EXPECT_EQ(tables.tblTechs->State(), dsBrowse);
    EXPECT_EQ(grid->model()->rowCount(), 1);
    EXPECT_EQ(Stored(p), "T1|First Tech; records=1");

    Press(nav, TDBNavigator::nbInsert);
    TypeCells({"T6", "Six Tech"});
    ClickCell(grid, away(), 1);
    EXPECT_EQ(tables.tblTechs->State(), dsBrowse);
    EXPECT_EQ(Stored(p), "T1|First Tech; T6|Six Tech; records=2");
    EXPECT_TRUE(boxes.texts().empty());

    Press(nav, TDBNavigator::nbInsert);
    TypeCells({"", "No Key"});
    ClickCell(grid, away(), 0);
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, QStringLiteral("The row is not stored: enter its TECHID first."));
    EXPECT_EQ(tables.tblTechs->State(), dsInsert);
    EXPECT_EQ(grid->currentIndex().row(), grid->GridModel()->NewRow());
    Press(nav, TDBNavigator::nbCancel);
    EXPECT_EQ(Stored(p), "T1|First Tech; T6|Six Tech; records=2");

    // The data form's own additions pass the same check.
    tables.tblTechs->InsertRecord({"T5", "Five Tech"});
    EXPECT_EQ(Stored(p), "T1|First Tech; T6|Six Tech; T5|Five Tech; records=3");

    // A name typed into a stored row's cell, the editor still open, when the user picks
    // another page: stored as the page is left.
    ClickCell(grid, 0, 1);
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "Renamed Tech");
    QTabBar* tabs = browser->PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(4).center());
    ASSERT_EQ(browser->PageControl1->currentIndex(), 4);
    EXPECT_TRUE(boxes.texts().size() == 1u);
    EXPECT_EQ(Stored(p), "T1|Renamed Tech; T6|Six Tech; T5|Five Tech; records=3");
}

// A results row stored without its recloser ID by an earlier program can still be
// taken in and out of the report.
TEST_F(BrowserNewRowTest, ARowStoredWithoutItsKeyCanStillBeChanged)
{
    AddResults({{"", "*OK"}});
    reclID.clear();
    Show();
    ScriptedMessages boxes;
    ASSERT_TRUE(Locate(tables.qRes, "*OK"));
    QTest::mouseClick(browser->btSelect, Qt::LeftButton);
    EXPECT_EQ(StoredResults(), QStringList({" OK"}));
    ASSERT_TRUE(Locate(browser->Data().qResReport, " OK"));
    QTest::mouseClick(browser->btDeselect, Qt::LeftButton);
    EXPECT_EQ(StoredResults(), QStringList({"*OK"}));
    EXPECT_TRUE(boxes.texts().empty()) << (boxes.texts().empty() ? "" : boxes.texts().front().toStdString());
}
