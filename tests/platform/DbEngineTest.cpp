// The database engine on fixture tables: tables, queries (every SQL text the records
// write), live results, batch move, the file format as an independent reader sees it,
// and a table that survives a writer killed at any moment.
#include "DbGridModel.h"
#include "DbSql.h"
#include "DbfFile.h"
#include "DbTables.h"
#include "DbfFile.h"
#include "KyrTableDefs.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A data folder with the five installation tables, made current.
class DbFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const QString& t : KyrTableNames()) {
            QString error;
            ASSERT_TRUE(WriteEmptyTable(dir.path(), t, false, &error)) << error.toStdString();
        }
    }
    // Inserts rows by position into a table.
    void Rows(const QString& table, const std::vector<QStringList>& rows)
    {
        TTable t;
        t.TableName = table;
        t.Open();
        for (const QStringList& r : rows)
            t.InsertRecord(r);
        t.Close();
    }
    // A results row: RECLID, TESTDATE, TESTTIME, TECHID, CUSTID, ..., TESTRESULT, TESTTYPE.
    void Result(const QString& recl, const QDate& date, const QString& time, const QString& result,
                const QString& curr1 = QString())
    {
        TTable t;
        t.TableName = QStringLiteral("KyrRes");
        t.Open();
        t.Insert();
        t.FieldByName("RECLID")->SetAsString(recl);
        t.FieldByName("TESTDATE")->SetAsDate(date);
        t.FieldByName("TESTTIME")->SetAsString(time);
        t.FieldByName("TESTRESULT")->SetAsString(result);
        t.FieldByName("TESTTYPE")->SetAsString(QStringLiteral("4X"));
        t.FieldByName("CURR1")->SetAsString(curr1);
        t.Post();
        t.Close();
    }
    QStringList Column(TDataSet& ds, const char* field)
    {
        QStringList out;
        for (ds.First(); !ds.Eof(); ds.Next())
            out << ds.FieldByName(field)->AsString();
        return out;
    }
    QStringList Select(const QStringList& sql, const char* field)
    {
        TQuery q;
        q.SQL = sql;
        q.Open();
        return Column(q, field);
    }
    TempCurrentDir dir;
};

TEST_F(DbFixture, TableCursorInsertByPositionLocateEditPost)
{
    Rows("KyrTechs", {{"T2", "Second Tech"}, {"t1", "First Tech"}, {"T3", "Third"}});
    TTable t;
    t.TableName = QStringLiteral("KyrTechs");
    EXPECT_FALSE(t.Active());
    t.Open();
    EXPECT_EQ(t.RecordCount(), 3);
    EXPECT_EQ(Column(t, "TECHID"), QStringList({"T2", "t1", "T3"}));
    EXPECT_EQ(t.Fields(1)->AsString(), "Third");  // at the end the last row stays current
    t.Last();
    EXPECT_EQ(t.FieldByName("TECHID")->AsString(), "T3");
    t.Prior();
    EXPECT_EQ(t.FieldByName("techid")->AsString(), "t1");

    // Located without regard to case; the cursor stays put on a miss.
    ASSERT_TRUE(t.Locate("TECHID", "T1", loCaseInsensitive));
    EXPECT_EQ(t.Fields(1)->AsString(), "First Tech");
    EXPECT_FALSE(t.Locate("TECHID", "T1", 0));
    EXPECT_FALSE(t.Locate("TECHID", "nobody", loCaseInsensitive));
    EXPECT_EQ(t.Fields(1)->AsString(), "First Tech");

    t.Edit();
    EXPECT_EQ(t.State(), dsEdit);
    t.Fields(1)->SetAsString("Renamed");
    t.Post();
    t.Locate("TECHID", "T3", loCaseInsensitive);
    t.Edit();
    t.Fields(1)->SetAsString("Dropped");
    t.Cancel();
    t.Close();

    TTable again;
    again.TableName = QStringLiteral("KyrTechs");
    again.Open();
    EXPECT_EQ(Column(again, "TECHNAME"), QStringList({"Second Tech", "Renamed", "Third"}));
    EXPECT_THROW(again.FieldByName("NOPE"), EDatabaseError);
}

TEST_F(DbFixture, RefreshSeesOtherWritersAndEmptyTableEmpties)
{
    TTable a, b;
    a.TableName = b.TableName = QStringLiteral("KyrCust");
    a.Open();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_TRUE(a.Eof());
    b.Open();
    b.InsertRecord({"C1", "One"});
    b.InsertRecord({"C2", "Two"});
    EXPECT_EQ(a.RecordCount(), 0);
    a.Refresh();
    EXPECT_EQ(a.RecordCount(), 2);
    // Refresh posts a pending edit.
    a.Last();
    a.Edit();
    a.Fields(1)->SetAsString("Two bis");
    a.Refresh();
    EXPECT_EQ(a.State(), dsBrowse);
    b.Refresh();
    b.Locate("CUSTID", "c2", loCaseInsensitive);
    EXPECT_EQ(b.Fields(1)->AsString(), "Two bis");

    b.Delete();  // a deleted row is skipped by everyone
    a.Refresh();
    EXPECT_EQ(Column(a, "CUSTID"), QStringList({"C1"}));
    EXPECT_EQ(Select({"SELECT * FROM KYRCUST"}, "CUSTID"), QStringList({"C1"}));

    a.EmptyTable();
    EXPECT_TRUE(a.IsEmpty());
    a.Close();
    b.Close();
    TTable closed;
    closed.TableName = QStringLiteral("KyrCust");
    EXPECT_THROW(closed.InsertRecord({"x"}), EDatabaseError);
}

TEST_F(DbFixture, ValuesKeepLeadingBlanksAndEmptyNumbersStayBlank)
{
    Result("R1", QDate(2026, 3, 4), "10:11:12", " OK", "");
    Result("R2", QDate(2026, 3, 5), "10:11:13", "*LOW", "12.5");
    TTable t;
    t.TableName = QStringLiteral("KyrRes");
    t.Open();
    EXPECT_EQ(t.FieldByName("TESTRESULT")->AsString(), " OK");
    EXPECT_TRUE(t.FieldByName("CURR1")->IsNull());
    EXPECT_EQ(t.FieldByName("CURR1")->AsString(), "");
    EXPECT_TRUE(t.FieldByName("OPCOUNTER")->IsNull());
    EXPECT_EQ(t.FieldByName("TESTDATE")->AsDate(), QDate(2026, 3, 4));
    EXPECT_EQ(t.FieldByName("TESTDATE")->AsString(), DateToStr(QDate(2026, 3, 4)));
    t.Next();
    EXPECT_DOUBLE_EQ(t.FieldByName("CURR1")->AsFloat(), 12.5);
    EXPECT_EQ(t.FieldByName("CURR1")->AsString(), "12.5");
    EXPECT_EQ(t.FieldByName("CURR1")->DataType(), ftFloat);
    EXPECT_EQ(t.FieldByName("OPCOUNTER")->DataType(), ftInteger);
    t.Close();

    // In the file: no '*' in an empty number, the number right-aligned with 4 decimals.
    const QByteArray raw = ReadAll(dir.file("KyrRes.dbf"));
    EXPECT_FALSE(raw.contains("**"));
    EXPECT_TRUE(raw.contains("       12.5000")) << raw.toStdString();
    EXPECT_TRUE(raw.contains(" OK "));

    // The comma as the decimal separator is the program's text, never the file's.
    DecimalSeparator = QLatin1Char(',');
    t.Open();
    t.Last();
    EXPECT_EQ(t.FieldByName("CURR1")->AsString(), "12,5");
    t.Edit();
    t.FieldByName("CURR1")->SetAsString("7,25");
    t.Post();
    DecimalSeparator = QLatin1Char('.');
    EXPECT_EQ(t.FieldByName("CURR1")->AsString(), "7.25");
    EXPECT_TRUE(ReadAll(dir.file("KyrRes.dbf")).contains("        7.2500"));
}

TEST_F(DbFixture, BadValuesAreRefusedAndLeaveTheFileAlone)
{
    Rows("KyrRecl", {{"R1", "C1", "RXE"}});
    const QByteArray before = ReadAll(dir.file("KyrRecl.dbf"));
    TTable t;
    t.TableName = QStringLiteral("KyrRecl");
    t.Open();
    // Over-wide text raises (never cut); a short insert by position leaves the rest empty.
    EXPECT_THROW(t.InsertRecord({QString(31, 'x')}), EDatabaseError);
    EXPECT_EQ(t.State(), dsBrowse);
    EXPECT_EQ(ReadAll(dir.file("KyrRecl.dbf")), before);
    t.Close();

    TTable r;
    r.TableName = QStringLiteral("KyrRes");
    r.Open();
    r.Insert();
    EXPECT_THROW(r.FieldByName("CURR1")->SetAsString("abc"), EConvertError);
    EXPECT_THROW(r.FieldByName("OPCOUNTER")->SetAsString("1.5"), EConvertError);
    EXPECT_THROW(r.FieldByName("TESTDATE")->SetAsString("yesterday"), EConvertError);
    EXPECT_THROW(r.FieldByName("CURR1")->SetAsFloat(1e12), EDatabaseError);
    r.Cancel();
    EXPECT_TRUE(r.IsEmpty());

    // A table that is not there, and a file that is no table, name the file and the reason.
    TTable missing;
    missing.TableName = QStringLiteral("NoSuch");
    try {
        missing.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message.contains(dir.file("NoSuch.dbf"))) << e.Message.toStdString();
    }
    QFile junk(dir.file("Junk.dbf"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is not a table at all, not even close to one ....");
    junk.close();
    TTable bad;
    bad.TableName = QStringLiteral("Junk");
    try {
        bad.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message.contains("Junk.dbf")) << e.Message.toStdString();
        EXPECT_TRUE(e.Message.contains("not a dBASE table") || e.Message.contains("damaged")) << e.Message.toStdString();
    }
}

// Every SQL text the records write, verbatim, with the rows a person expects.
TEST_F(DbFixture, TheRecordsSqlTextsReturnTheExpectedRows)
{
    Rows("KyrTechs", {{"TB"}, {"TA"}});
    Rows("KyrCust", {{"TYPE", "A customer called TYPE"}, {"AB\"C", "Quote"}, {"C1", "One"}});
    Rows("KyrTypes", {{"RXE", "50,70", "", "A,B", "", "", "1.8", "3"}, {"KF", "25"}});
    Rows("KyrRecl", {{"R3", "C1", "RXE"}, {"R1", "TYPE", "KF"}, {"R2", "AB\"C", "RXE"}, {"R4", "TYPE", "RXE"}});
    const QDate today = QDate::currentDate();
    Result("R1", today, "09:00:00", "OK");
    Result("R2", today.addDays(-1), "09:00:00", "*LOW");
    Result("R1", today.addDays(-2), "08:00:00", "*OK");
    Result("R1", today, "07:00:00", " HIGH");
    Result("R1", today, "06:00:00", "");

    EXPECT_EQ(Select({"SELECT TECHID FROM KYRTECHS ORDER BY TECHID"}, "TECHID"), QStringList({"TA", "TB"}));
    EXPECT_EQ(Select({"SELECT * FROM KYRRECL ORDER BY RECLID"}, "RECLID"), QStringList({"R1", "R2", "R3", "R4"}));
    EXPECT_EQ(Select({"SELECT *  FROM KYRTYPES ORDER BY TYPE"}, "TYPE"), QStringList({"KF", "RXE"}));
    EXPECT_EQ(Select({"SELECT * FROM KYRCUST ORDER BY CUSTID"}, "CUSTID"), QStringList({"AB\"C", "C1", "TYPE"}));

    // The recloser list filtered by customer: "TYPE" is a customer ID, not a field,
    // and an ID holding a double quote finds its rows.
    auto byCustomer = [&](const QString& id) {
        return Select({"SELECT * FROM KYRRECL", "WHERE CUSTID=" + QString('"') + id + QString('"'), "ORDER BY RECLID"},
                      "RECLID");
    };
    EXPECT_EQ(byCustomer("TYPE"), QStringList({"R1", "R4"}));
    EXPECT_EQ(byCustomer("AB\"C"), QStringList({"R2"}));
    EXPECT_EQ(byCustomer("C1"), QStringList({"R3"}));
    EXPECT_EQ(byCustomer("c1"), QStringList());
    EXPECT_EQ(byCustomer("C1 "), QStringList({"R3"}));  // the box's trailing blank

    // The browser's results of one recloser, and with an empty ID.
    EXPECT_EQ(Select({"SELECT *  FROM KYRRES", "WHERE RECLID = \"R1\""}, "TESTTIME"),
              QStringList({"09:00:00", "08:00:00", "07:00:00", "06:00:00"}));
    EXPECT_EQ(Select({"SELECT *  FROM KYRRES", "WHERE RECLID = \"\""}, "TESTTIME"), QStringList());
    // The report's rows: no leading asterisk (an empty result and a leading blank count in).
    EXPECT_EQ(Select({"SELECT *  FROM KYRRES WHERE", " RECLID = \"R1\" AND", "NOT TESTRESULT LIKE \"*%\" "}, "TESTTIME"),
              QStringList({"09:00:00", "07:00:00", "06:00:00"}));
    EXPECT_EQ(Select({"SELECT *  FROM KYRRES WHERE", "NOT TESTRESULT LIKE \"*%\" "}, "TESTTIME"),
              QStringList({"09:00:00", "07:00:00", "06:00:00"}));
    // The user's text with TODAY replaced by the quoted short date, and its report text.
    const QString dateLine = "WHERE TESTDATE = \"" + DateToStr(today) + "\"";
    EXPECT_EQ(Select({"SELECT *  FROM KYRRES", dateLine, "ORDER BY TESTTIME"}, "TESTTIME"),
              QStringList({"06:00:00", "07:00:00", "09:00:00"}));
    EXPECT_EQ(Select({"SELECT *  FROM KYRRES", dateLine, "AND NOT TESTRESULT LIKE \"*%\" ", "ORDER BY TESTTIME"},
                     "TESTTIME"),
              QStringList({"06:00:00", "07:00:00", "09:00:00"}));
    EXPECT_EQ(Select({"SELECT *  FROM KYRRES", "WHERE TESTDATE < \"" + DateToStr(today) + "\""}, "TESTTIME"),
              QStringList({"09:00:00", "08:00:00"}));
    EXPECT_EQ(Select({"SELECT *  FROM KYRRES", "WHERE NOT TESTRESULT LIKE \"*%\" "}, "RECLID"),
              QStringList({"R1", "R1", "R1"}));
    // The report window's text for two IDs, and with none.
    EXPECT_EQ(Select({"SELECT *  FROM KYRRES", "WHERE (RECLID = \"R1\"", "OR RECLID = \"R2\"",
                      ") AND NOT TESTRESULT LIKE \"*%\"", "ORDER BY RECLID,TESTDATE,TESTTIME"},
                     "TESTTIME"),
              QStringList({"06:00:00", "07:00:00", "09:00:00"}));
    EXPECT_EQ(Select({"SELECT *  FROM KYRRES", "ORDER BY RECLID,TESTDATE,TESTTIME"}, "TESTTIME"),
              QStringList({"08:00:00", "06:00:00", "07:00:00", "09:00:00", "09:00:00"}));

    // Field kinds come through the query.
    TQuery q;
    q.SQL = QStringList{"SELECT *  FROM KYRTYPES ORDER BY TYPE"};
    q.Open();
    q.Last();
    EXPECT_EQ(q.FieldByName("RECLTIME")->DataType(), ftFloat);
    EXPECT_DOUBLE_EQ(q.FieldByName("RECLTIME")->AsFloat(), 1.8);
    EXPECT_EQ(q.FieldByName("PHASES")->AsString(), "3");
    EXPECT_TRUE(q.Locate("TYPE", "kf", loCaseInsensitive));
    EXPECT_EQ(q.FieldByName("TRIPCOILS")->AsString(), "25");
}

TEST_F(DbFixture, OnlyOneSelectRuns)
{
    struct Case {
        QStringList sql;
        const char* says;
    } cases[] = {
        {{}, "empty"},
        {{"   "}, "empty"},
        {{"DELETE FROM KYRRES"}, "Only a SELECT"},
        {{"UPDATE KYRRES SET RECLID = \"X\""}, "Only a SELECT"},
        {{"SELECT * FROM KYRRES;", "DELETE FROM KYRRES"}, "Only one SQL statement"},
        {{"SELECT * FROM KYRRES; SELECT * FROM KYRCUST"}, "Only one SQL statement"},
        {{"SELECT * FROM NOSUCH"}, "Table NOSUCH not found"},
        {{"SELECT NOFIELD FROM KYRRES"}, "no such column"},
        {{"SELECT * FROM KYRRES WHERE RECLID = \"R1"}, "Unterminated"},
    };
    Result("R1", QDate(2026, 1, 1), "x", "OK");
    for (const Case& c : cases) {
        TQuery q;
        q.SQL = c.sql;
        try {
            q.Open();
            ADD_FAILURE() << c.sql.join("|").toStdString();
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message.contains(QLatin1String(c.says))) << e.Message.toStdString();
        }
        EXPECT_FALSE(q.Active());
    }
    TTable t;
    t.TableName = QStringLiteral("KyrRes");
    t.Open();
    EXPECT_EQ(t.RecordCount(), 1);
}

// A table name is the user's text: whatever it holds, it names one table and never
// becomes a statement of the SQL engine's own.
TEST_F(DbFixture, ATableNameNeverRunsAsAStatement)
{
    Rows("KyrTechs", {{"T1", "One"}});
    const QString planted = QString::fromUtf8("a\" USING dbf('x'); VACUUM INTO 'pwn3'; --");
    ASSERT_TRUE(QFile::copy(dir.file("KyrTechs.dbf"), dir.file(planted + ".dbf")));
    ASSERT_TRUE(QFile::copy(dir.file("KyrTechs.dbf"), dir.file("x")));
    TQuery q;
    q.SQL = QStringList{"SELECT * FROM 'a\" USING dbf(''x''); VACUUM INTO ''pwn3''; --'"};
    try {
        q.Open();
        EXPECT_EQ(Column(q, "TECHID"), QStringList{"T1"});
    } catch (const EDatabaseError& e) {
        ADD_FAILURE() << e.Message.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.file("pwn3")));
    EXPECT_FALSE(QFile::exists(QDir::current().filePath("pwn3")));
}

// A number field holds blanks, a sign, digits and a point; any other text is no number:
// null to every reader, never an infinity or a NaN.
TEST_F(DbFixture, NumbersAreDigitsAndAPointOnly)
{
    Result("R1", QDate(2026, 1, 1), "01", "OK", "1");
    struct Case {
        const char* stored;
        bool number;
        double value;
    } cases[] = {
        {"nan", false, 0},      {"-nan", false, 0},  {"inf", false, 0},   {"-infinity", false, 0},
        {"1E308", false, 0},    {"1e3", false, 0},   {"0x10", false, 0},  {"1.2.3", false, 0},
        {"- 5", false, 0},      {"+", false, 0},     {".", false, 0},     {"**********", false, 0},
        {"12,5", false, 0},     {"-.5", true, -0.5}, {"5.", true, 5},     {"+7.25", true, 7.25},
        {"  -12.0001", true, -12.0001},
    };
    for (const Case& c : cases) {
        {
            DbfFile f(dir.file("KyrRes.dbf"));
            QByteArray rec = f.readRecord(0);
            const DbfFieldDef& def = f.fields()[f.fieldIndex("CURR1")];
            const QByteArray text = QByteArray(c.stored).rightJustified(def.width, ' ');
            std::memcpy(rec.data() + def.offset, text.constData(), def.width);
            f.writeRecord(0, rec);
        }
        TTable t;
        t.TableName = QStringLiteral("KyrRes");
        t.Open();
        TField* curr = t.FieldByName("CURR1");
        EXPECT_EQ(curr->IsNull(), !c.number) << c.stored;
        if (c.number) {
            EXPECT_DOUBLE_EQ(curr->AsFloat(), c.value) << c.stored;
        } else {
            EXPECT_EQ(curr->AsString(), "") << c.stored;
        }
        t.Close();

        TQuery q;
        q.SQL = QStringList{"SELECT CURR1, CURR1 * 2 AS TWICE FROM KYRRES"};
        q.Open();
        EXPECT_EQ(q.FieldByName("CURR1")->IsNull(), !c.number) << c.stored;
        EXPECT_EQ(q.FieldByName("TWICE")->IsNull(), !c.number) << c.stored;
        if (c.number) {
            EXPECT_DOUBLE_EQ(q.FieldByName("TWICE")->AsFloat(), 2 * c.value) << c.stored;
        }
    }
}

TEST_F(DbFixture, LiveResultWritesBackAndOthersCannotBeModified)
{
    Result("R1", QDate(2026, 1, 1), "01", "*OK");
    Result("R2", QDate(2026, 1, 1), "02", "LOW");
    Result("R1", QDate(2026, 1, 2), "03", "HIGH");

    TQuery live;
    live.RequestLive = true;
    live.SQL = QStringList{"SELECT *  FROM KYRRES", "WHERE RECLID = \"R1\""};
    live.Open();
    ASSERT_TRUE(live.CanModify());
    ASSERT_EQ(live.RecordCount(), 2);
    live.Edit();
    QString r = live.FieldByName("TESTRESULT")->AsString();
    r[0] = ' ';
    live.FieldByName("TESTRESULT")->SetAsString(r);
    live.Refresh();  // posts
    EXPECT_EQ(live.FieldByName("TESTRESULT")->AsString(), " OK");
    live.Next();
    live.Edit();
    live.FieldByName("TESTRESULT")->SetAsString("*HIGH");
    live.Post();

    TTable t;
    t.TableName = QStringLiteral("KyrRes");
    t.Open();
    EXPECT_EQ(Column(t, "TESTRESULT"), QStringList({" OK", "LOW", "*HIGH"}));
    t.Close();

    // Not live: asked for nothing, distinct, grouped, aggregated, joined, computed.
    const QStringList readOnly[] = {
        {"SELECT DISTINCT RECLID FROM KYRRES"},
        {"SELECT RECLID, COUNT(*) FROM KYRRES GROUP BY RECLID"},
        {"SELECT MAX(CURR1) FROM KYRRES"},
        {"SELECT KYRRES.RECLID FROM KYRRES, KYRCUST"},
        {"SELECT RECLID || \"x\" AS X FROM KYRRES"},
    };
    for (const QStringList& sql : readOnly) {
        TQuery q;
        q.RequestLive = true;
        q.SQL = sql;
        q.Open();
        EXPECT_FALSE(q.CanModify()) << sql.join(' ').toStdString();
        EXPECT_THROW(q.Edit(), EDatabaseError);
    }
    TQuery notAsked;
    notAsked.SQL = QStringList{"SELECT * FROM KYRRES"};
    notAsked.Open();
    EXPECT_FALSE(notAsked.CanModify());
}

TEST_F(DbFixture, BatchMoveAppendsByNameAllOrNothing)
{
    // An update file with its fields in another order and one field the table lacks.
    QString error;
    ASSERT_TRUE(WriteTable(dir.file("KyrCust1.dbf"),
                           {{"CUSTNAME", 'C', 60, 0}, {"EXTRA", 'N', 5, 0}, {"CUSTID", 'C', 30, 0}}, &error));
    Rows("KyrCust", {{"C1", "One"}});
    Rows("KyrCust1", {{"Two", "5", "C2"}, {"Three", "", "C3"}});
    TTable src, dst;
    src.TableName = QStringLiteral("KyrCust1");
    dst.TableName = QStringLiteral("KyrCust");
    TBatchMove m;
    m.Source = &src;
    m.Destination = &dst;
    m.Mode = batAppend;
    m.Execute();
    EXPECT_EQ(m.MovedCount, 2);
    EXPECT_FALSE(src.Active());
    dst.Open();
    EXPECT_EQ(Column(dst, "CUSTID"), QStringList({"C1", "C2", "C3"}));
    EXPECT_EQ(Column(dst, "CUSTNAME"), QStringList({"One", "Two", "Three"}));
    dst.Close();

    // A row that does not fit stops the move before anything is written.
    ASSERT_TRUE(WriteTable(dir.file("Wide.dbf"), {{"CUSTID", 'C', 100, 0}}, &error));
    Rows("Wide", {{"C4"}, {QString(40, 'w')}});
    const QByteArray before = ReadAll(dir.file("KyrCust.dbf"));
    TTable wide;
    wide.TableName = QStringLiteral("Wide");
    m.Source = &wide;
    EXPECT_THROW(m.Execute(), EDatabaseError);
    EXPECT_EQ(ReadAll(dir.file("KyrCust.dbf")), before);

    // A write that fails half-way (no room for the file to grow) leaves it as it was.
    Rows("Wide", {});
    TTable big;
    big.TableName = QStringLiteral("Wide");
    big.Open();
    big.EmptyTable();
    for (int i = 0; i < 200; ++i)
        big.InsertRecord({QStringLiteral("B%1").arg(i)});
    big.Close();
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = old;
    lim.rlim_cur = before.size() + 50 * 91;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
    m.Source = &big;
    EXPECT_THROW(m.Execute(), EDatabaseError);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(ReadAll(dir.file("KyrCust.dbf")), before);
}

TEST_F(DbFixture, GridModelShowsAndEditsRows)
{
    Rows("KyrTechs", {{"T1", "One"}, {"T2", "Two"}});
    TTable t;
    t.TableName = QStringLiteral("KyrTechs");
    TDataSource ds;
    ds.DataSet = &t;
    TDBGridModel model(&ds);
    EXPECT_EQ(model.rowCount(), 0);
    t.Open();
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "TECHID");
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), "Two");
    EXPECT_TRUE(model.flags(model.index(1, 1)) & Qt::ItemIsEditable);
    EXPECT_TRUE(model.setData(model.index(1, 1), "Zwei"));
    EXPECT_FALSE(model.setData(model.index(1, 1), QString(61, 'z')));
    t.InsertRecord({"T3", "Three"});
    EXPECT_EQ(model.rowCount(), 3);
    model.SetCurrentRow(2);
    EXPECT_EQ(t.FieldByName("TECHID")->AsString(), "T3");
    t.Close();
    EXPECT_EQ(model.rowCount(), 0);

    TTable check;
    check.TableName = QStringLiteral("KyrTechs");
    check.Open();
    check.Locate("TECHID", "T2", 0);
    EXPECT_EQ(check.Fields(1)->AsString(), "Zwei");

    TQuery q;
    q.SQL = QStringList{"SELECT TECHID FROM KYRTECHS ORDER BY TECHID"};
    ds.DataSet = &q;
    model.SetDataSource(&ds);
    q.Open();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(0, 0), "X"));
}

// A new row shows in the grid where it goes in, holding what was typed; Post asks the
// controls for their text, then the BeforePost check, and a refusal stores nothing and
// keeps the row; leaving an untouched new row drops it, a typed one is posted.
TEST_F(DbFixture, NewRowShowsAtTheCursorAndPostAsksTheControlsAndTheCheckFirst)
{
    Rows("KyrTechs", {{"T1", "One"}, {"T2", "Two"}});
    TTable t;
    t.TableName = QStringLiteral("KyrTechs");
    TDataSource ds;
    ds.DataSet = &t;
    TDBGridModel model(&ds);
    t.Open();
    auto records = [&] { return DbfFile(dir.file("KyrTechs.dbf")).recordCount(); };
    auto column = [&](int c) {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.data(model.index(r, c)).toString();
        return out;
    };

    t.SetRecNo(2);
    t.Insert();
    EXPECT_EQ(t.InsertPosition(), 1);
    EXPECT_EQ(model.NewRow(), 1);
    EXPECT_EQ(model.CurrentGridRow(), 1);
    EXPECT_EQ(column(0), QStringList({"T1", "", "T2"}));
    EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "*");
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toInt(), 2);
    EXPECT_FALSE(t.Modified());
    EXPECT_TRUE(model.setData(model.index(1, 1), "Three"));
    EXPECT_EQ(column(1), QStringList({"One", "Three", "Two"}));
    EXPECT_TRUE(t.Modified());

    // The controls' text comes first, then the check; a refusal stores nothing.
    QString typed = QStringLiteral("T3");
    QObject::connect(&t, &TDataSet::UpdateData, [&](std::exception_ptr*) {
        if (!typed.isEmpty())
            t.Fields(0)->SetAsString(typed);
    });
    QStringList seen;
    t.BeforePost = [&](TDataSet* d) {
        seen << d->Fields(0)->AsString();
        if (d->Fields(1)->AsString() == QLatin1String("Three"))
            throw EDatabaseError(QStringLiteral("refused"));
    };
    EXPECT_THROW(t.Post(), EDatabaseError);
    EXPECT_EQ(seen, QStringList({"T3"}));
    EXPECT_EQ(t.State(), dsInsert);
    EXPECT_EQ(records(), 2);
    EXPECT_EQ(column(0), QStringList({"T1", "T3", "T2"}));
    t.Fields(1)->SetAsString(QStringLiteral("Drei"));
    t.Post();
    EXPECT_EQ(records(), 3);
    EXPECT_EQ(model.NewRow(), -1);
    EXPECT_EQ(column(0), QStringList({"T1", "T2", "T3"})) << "stored at the end of the file";
    EXPECT_EQ(t.RecNo(), 3);
    typed.clear();

    // A control's failure ends the post the same way.
    QObject::connect(&t, &TDataSet::UpdateData, [&](std::exception_ptr* error) {
        if (t.State() == dsEdit && !*error)
            *error = std::make_exception_ptr(EConvertError(QStringLiteral("bad")));
    });
    t.Edit();
    t.Fields(1)->SetAsString(QStringLiteral("changed"));
    EXPECT_EQ(t.Fields(1)->OldValue().toString(), "Drei");
    EXPECT_THROW(t.Post(), EConvertError);
    EXPECT_EQ(t.State(), dsEdit);
    t.Cancel();

    // Append shows the new row after the last; moving off an untouched new row drops it,
    // a typed one is posted.
    t.Append();
    EXPECT_EQ(model.NewRow(), 3);
    EXPECT_EQ(model.rowCount(), 4);
    t.First();
    EXPECT_EQ(t.State(), dsBrowse);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(records(), 3);
    t.Insert();
    EXPECT_EQ(model.NewRow(), 0);
    t.Fields(0)->SetAsString(QStringLiteral("T4"));
    t.Last();
    EXPECT_EQ(records(), 4);
    EXPECT_EQ(column(0), QStringList({"T1", "T2", "T3", "T4"}));
}

// A live result of many rows reads each row from its record when asked; it must hold
// the very rows, in the very order and with the very values that the same text gives
// as a result held in memory, far down as near the top, and stay right through edits,
// deletes and changes made by other writers.
TEST_F(DbFixture, ALiveResultOfManyRowsMatchesTheResultHeldInMemory)
{
    constexpr int Rows = 3000;
    {
        // Written in one append: a post per row would take a disk flush each.
        DbfFile file(dir.file("KyrRes.dbf"));
        const auto field = [&](const char* name) { return file.fieldIndex(QLatin1String(name)); };
        std::vector<QByteArray> records;
        for (int i = 0; i < Rows; ++i) {
            QByteArray r = file.blankRecord();
            file.setValue(r, field("RECLID"), QStringLiteral("R%1").arg(i % 7));
            file.setValue(r, field("TESTDATE"), QDate(2026, 1 + i % 12, 1 + i % 28));
            file.setValue(r, field("TESTTIME"), QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0')));
            file.setValue(r, field("TESTRESULT"), i % 10 == 3 ? QStringLiteral("*OK") : QStringLiteral("OK%1").arg(i));
            file.setValue(r, field("CURR1"), (i * 37) % 1000 + 0.25);
            if (i % 5 != 0)
                file.setValue(r, field("OPCOUNTER"), i);
            if (i % 2)
                file.setValue(r, field("COMMENTS"), QStringLiteral("  led %1 caf\u00e9").arg(i));
            if (i % 59 == 1)
                r[0] = '*';  // deleted records are no rows of a result
            records.push_back(r);
        }
        file.appendRecords(records);
    }
    const QStringList texts[] = {
        {"SELECT *  FROM KYRRES WHERE", "NOT TESTRESULT LIKE \"*%\" "},
        {"SELECT *  FROM KYRRES", "ORDER BY RECLID,TESTDATE,TESTTIME"},
        {"SELECT TESTTIME, CURR1 AS C, RECLID FROM KYRRES WHERE TESTDATE >= \"" + DateToStr(QDate(2026, 6, 1)) +
             "\" ORDER BY C DESC;"},
        {"SELECT RECLID, TESTRESULT FROM KYRRES ORDER BY 2"},
    };
    for (const QStringList& sql : texts) {
        SCOPED_TRACE(sql.join(' ').toStdString());
        TQuery live, held;
        live.RequestLive = true;
        live.SQL = held.SQL = sql;
        live.Open();
        held.Open();
        ASSERT_TRUE(live.CanModify());
        ASSERT_FALSE(held.CanModify());
        ASSERT_GT(live.RecordCount(), 1000);
        ASSERT_EQ(live.RecordCount(), held.RecordCount());
        ASSERT_EQ(live.FieldNames(), held.FieldNames());
        TDataSource source;
        source.DataSet = &live;
        TDBGridModel model(&source);
        ASSERT_EQ(model.rowCount(), live.RecordCount());
        int differ = 0;
        // Backwards, so that no row is read in the order the file holds it.
        for (int r = held.RecordCount() - 1; r >= 0; --r) {
            held.SetRecNo(r + 1);
            live.SetRecNo(r + 1);
            for (int f = 0; f < held.FieldCount(); ++f) {
                const QVariant a = live.Fields(f)->Value(), b = held.Fields(f)->Value();
                differ += a != b || a.typeId() != b.typeId() ||
                          model.data(model.index(r, f)).toString() != held.Fields(f)->AsString();
            }
        }
        EXPECT_EQ(differ, 0);
    }

    // Far down: the record numbers, a located row, an edit, a delete.
    TQuery q;
    q.RequestLive = true;
    q.SQL = QStringList{"SELECT *  FROM KYRRES", "ORDER BY CURR1 DESC, TESTTIME"};
    q.Open();
    const int n = q.RecordCount();
    TTable t;
    t.TableName = QStringLiteral("KyrRes");
    t.Open();
    for (int r : {0, n / 2, n - 2, n - 1}) {
        q.SetRecNo(r + 1);
        const int rec = q.PhysicalRecNo();
        ASSERT_TRUE(t.Locate("TESTTIME", q.FieldByName("TESTTIME")->AsString(), 0));
        EXPECT_EQ(t.PhysicalRecNo(), rec);
    }
    ASSERT_TRUE(q.Locate("TESTTIME", "02999", 0));
    EXPECT_EQ(q.FieldByName("TESTRESULT")->AsString(), "OK2999");
    const int at = q.RecNo();
    EXPECT_GT(at, 100);
    q.Edit();
    q.FieldByName("COMMENTS")->SetAsString("far down");
    q.Post();
    EXPECT_EQ(q.RecNo(), at);
    EXPECT_EQ(q.FieldByName("COMMENTS")->AsString(), "far down");
    ASSERT_TRUE(t.Locate("TESTTIME", "02999", 0));
    EXPECT_EQ(t.FieldByName("COMMENTS")->AsString(), "far down");
    q.SetRecNo(n);
    const QString next = q.FieldByName("TESTTIME")->AsString();
    q.SetRecNo(n - 1);
    const QString gone = q.FieldByName("TESTTIME")->AsString();
    q.Delete();
    EXPECT_EQ(q.RecordCount(), n - 1);
    EXPECT_EQ(q.FieldByName("TESTTIME")->AsString(), next);
    t.Refresh();
    EXPECT_FALSE(t.Locate("TESTTIME", gone, 0));

    // Another writer changes a row shown far down: the next read shows it; a refresh
    // drops a row that no longer matches and keeps the cursor on its record.
    TQuery report;
    report.RequestLive = true;
    report.SQL = QStringList{"SELECT *  FROM KYRRES WHERE", "NOT TESTRESULT LIKE \"*%\" "};
    report.Open();
    const int m = report.RecordCount();
    TDataSource source;
    source.DataSet = &report;
    TDBGridModel model(&source);
    const int result = report.FieldByName("TESTRESULT")->Index();
    report.SetRecNo(m - 10);
    const QString stays = report.FieldByName("TESTTIME")->AsString();
    const int staysRec = report.PhysicalRecNo();
    const QString changed = model.data(model.index(m - 20, report.FieldByName("TESTTIME")->Index())).toString();
    ASSERT_TRUE(t.Locate("TESTTIME", changed, 0));
    t.Edit();
    t.FieldByName("TESTRESULT")->SetAsString("*kept out");
    t.Post();
    EXPECT_EQ(model.data(model.index(m - 20, result)).toString(), "*kept out");
    t.InsertRecord({"R9", "", "99999", "", "", "", "", "", "", "new"});
    EXPECT_EQ(report.RecordCount(), m);
    report.Refresh();
    EXPECT_EQ(report.RecordCount(), m);  // one out, one in
    EXPECT_EQ(model.rowCount(), m);
    EXPECT_EQ(report.FieldByName("TESTTIME")->AsString(), stays);
    EXPECT_EQ(report.PhysicalRecNo(), staysRec);
    EXPECT_EQ(report.RecNo(), m - 11);
    report.Last();
    EXPECT_EQ(report.FieldByName("TESTTIME")->AsString(), "99999");
    EXPECT_EQ(model.data(model.index(m - 1, result)).toString(), report.FieldByName("TESTRESULT")->AsString());
}

// The files as an independent dBASE reader sees them.
TEST_F(DbFixture, AnIndependentReaderReadsTheSameValues)
{
    const char* python = "/usr/bin/python3";
    if (QProcess::execute(python, {"-c", "import dbfread"}) != 0)
        GTEST_SKIP() << "python3-dbfread is not installed";
    TTable t;
    t.TableName = QStringLiteral("KyrRes");
    t.Open();
    t.Insert();
    t.FieldByName("RECLID")->SetAsString(QString::fromUtf8("Ré-1 €"));
    t.FieldByName("TESTDATE")->SetAsDate(QDate(2026, 12, 10));
    t.FieldByName("TESTRESULT")->SetAsString(" OK");
    t.FieldByName("CURR1")->SetAsFloat(1234.56789);
    t.FieldByName("TIME1")->SetAsFloat(-0.5);
    t.FieldByName("OPCOUNTER")->SetAsInteger(42);
    t.FieldByName("COMMENTS")->SetAsString(QString(250, 'c'));
    t.Post();
    t.Close();

    const QString script = QStringLiteral(
        "import dbfread, json, sys\n"
        "t = dbfread.DBF(sys.argv[1], char_decode_errors='strict')\n"
        "print(json.dumps({'encoding': t.encoding, 'fields': [[f.name, f.type, f.length, f.decimal_count] for f in t.fields],\n"
        "  'rows': [{k: (str(v) if v is not None else None) for k, v in r.items()} for r in t]}))\n");
    QProcess p;
    p.start(python, {"-c", script, dir.file("KyrRes.dbf")});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(out.contains("\"encoding\": \"cp1252\"")) << out.toStdString();
    EXPECT_TRUE(out.contains("[\"TESTRESULT\", \"C\", 254, 0]"));
    EXPECT_TRUE(out.contains("[\"CURR1\", \"N\", 14, 4]"));
    EXPECT_TRUE(out.contains("[\"TESTDATE\", \"D\", 8, 0]"));
    EXPECT_TRUE(out.contains("\"RECLID\": \"R\\u00e9-1 \\u20ac\"")) << out.toStdString();
    EXPECT_TRUE(out.contains("\"TESTDATE\": \"2026-12-10\""));
    EXPECT_TRUE(out.contains("\"TESTRESULT\": \" OK\""));
    EXPECT_TRUE(out.contains("\"CURR1\": \"1234.5679\""));
    EXPECT_TRUE(out.contains("\"TIME1\": \"-0.5\""));
    EXPECT_TRUE(out.contains("\"OPCOUNTER\": \"42\""));
    EXPECT_TRUE(out.contains("\"CURR2\": null"));
    EXPECT_TRUE(out.contains("\"TESTTIME\": \"\""));
    // The field order is the installation's.
    const QStringList expected = [] {
        QStringList n;
        for (const TableFieldDef& f : KyrTableFields("KyrRes"))
            n << QString("\"%1\"").arg(f.name);
        return n;
    }();
    int at = 0;
    for (const QString& name : expected) {
        const int next = out.indexOf(name, at);
        EXPECT_GT(next, -1) << name.toStdString();
        at = next;
    }
}

// ---- Crash safety and sharing, with the test binary itself as the writer ----

// Run as a child (KV_DB_CHILD_DIR set): appends rows "<tag>:<n>" to KyrTechs for ever
// (or KV_DB_CHILD_ROWS rows), reporting each n on stdout once Post returned.
TEST(DbChild, AppendLoop)
{
    const QByteArray folder = qgetenv("KV_DB_CHILD_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "runs only as the writer of the crash and sharing tests";
    QDir::setCurrent(QString::fromLocal8Bit(folder));
    const QString tag = QString::fromLocal8Bit(qgetenv("KV_DB_CHILD_TAG"));
    const int rows = qEnvironmentVariableIntValue("KV_DB_CHILD_ROWS");
    TTable t;
    t.TableName = QStringLiteral("KyrTechs");
    t.Open();
    if (::write(1, "R\n", 2) != 2)
        return;
    for (int n = 0; rows == 0 || n < rows; ++n) {
        t.InsertRecord({tag + ':' + QString::number(n), QStringLiteral("name %1").arg(n)});
        const QByteArray line = QByteArray::number(n) + '\n';
        if (::write(1, line.constData(), line.size()) != line.size())
            return;
    }
}

struct Child {
    pid_t pid = -1;
    int out = -1;
    QByteArray buf;  // everything the child reported so far
};

Child StartWriter(const QString& folder, const QString& tag, int rows)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    const QByteArray exe = QCoreApplication::applicationFilePath().toLocal8Bit();
    QByteArrayList env;
    for (char** e = environ; *e; ++e)
        env << QByteArray(*e);
    env << "KV_DB_CHILD_DIR=" + folder.toLocal8Bit() << "KV_DB_CHILD_TAG=" + tag.toLocal8Bit()
        << "KV_DB_CHILD_ROWS=" + QByteArray::number(rows) << "QT_QPA_PLATFORM=offscreen";
    std::vector<char*> envp;
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    QByteArray filter = "--gtest_filter=DbChild.AppendLoop";
    char* argv[] = {const_cast<char*>(exe.constData()), filter.data(), nullptr};
    Child c;
    if (posix_spawn(&c.pid, exe.constData(), &fa, nullptr, argv, envp.data()) != 0)
        c.pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    c.out = fds[0];
    return c;
}

// Reads the child's reports until it is ready ("R"), or to the end when all is set;
// returns the last row number reported (-1 for none).
int ReadReports(Child& c, bool all)
{
    char tmp[4096];
    while (all || !c.buf.contains("R\n")) {
        const ssize_t n = ::read(c.out, tmp, sizeof tmp);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        c.buf.append(tmp, n);
    }
    int last = -1;
    for (const QByteArray& line : c.buf.mid(c.buf.indexOf("R\n") + 2).split('\n')) {
        bool ok = false;
        const int v = line.toInt(&ok);
        if (ok && line.endsWith(QByteArray::number(v)))
            last = v;
    }
    return last;
}

TEST_F(DbFixture, AWriterKilledAtAnyMomentLosesNoPostedRow)
{
    QRandomGenerator rng(1234);
    for (int run = 0; run < 200; ++run) {
        const QString tag = QString::number(run);
        Child c = StartWriter(dir.path(), tag, 0);
        ASSERT_GT(c.pid, 0);
        ReadReports(c, false);
        ::usleep(rng.bounded(3000));
        ::kill(c.pid, SIGKILL);
        int status = 0;
        ::waitpid(c.pid, &status, 0);
        const int posted = ReadReports(c, true);
        ::close(c.out);

        TTable t;
        t.TableName = QStringLiteral("KyrTechs");
        t.Open();  // must open
        int seen = 0;
        for (t.First(); !t.Eof(); t.Next()) {
            const QString id = t.Fields(0)->AsString();
            const QString name = t.Fields(1)->AsString();
            if (id.section(':', 0, 0) != tag)
                continue;
            ASSERT_EQ(id.section(':', 1), QString::number(seen)) << "run " << run;
            ASSERT_EQ(name, QStringLiteral("name %1").arg(seen));
            ++seen;
        }
        // Every row posted before the kill is there (one more may be, posted but not reported).
        ASSERT_GE(seen, posted + 1) << "run " << run;
        ASSERT_LE(seen, posted + 2) << "run " << run;
    }
}

// A writer killed at any moment: the table as it is left reads the same to this engine
// (which goes by the header count) and to an independent reader that goes by the
// end-of-file mark.
TEST_F(DbFixture, AfterAKilledAppendEveryReaderSeesTheSameRows)
{
    const char* python = "/usr/bin/python3";
    if (QProcess::execute(python, {"-c", "import dbfread"}) != 0)
        GTEST_SKIP() << "python3-dbfread is not installed";
    QTemporaryDir shots;
    QRandomGenerator rng(4321);
    QStringList files;
    std::vector<QStringList> ours;
    for (int run = 0; run < 150; ++run) {
        Child c = StartWriter(dir.path(), QString::number(run), 0);
        ASSERT_GT(c.pid, 0);
        ReadReports(c, false);
        ::usleep(rng.bounded(4000));
        ::kill(c.pid, SIGKILL);
        int status = 0;
        ::waitpid(c.pid, &status, 0);
        ReadReports(c, true);
        ::close(c.out);
        const QString shot = shots.filePath(QStringLiteral("run%1.dbf").arg(run));
        ASSERT_TRUE(QFile::copy(dir.file("KyrTechs.dbf"), shot));
        TTable t;
        t.TableName = shot;
        t.Open();
        ours.push_back(Column(t, "TECHID"));
        files << shot;
    }
    QProcess p;
    p.start(python, QStringList{"-c",
                                "import dbfread, sys\n"
                                "for f in sys.argv[1:]:\n"
                                "    print('|'.join(r['TECHID'] for r in dbfread.DBF(f)))\n"} +
                        files);
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QStringList theirs = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
    ASSERT_GE(theirs.size(), files.size());
    for (int i = 0; i < files.size(); ++i)
        ASSERT_EQ(theirs[i], ours[i].join('|')) << "run " << i;
}

TEST_F(DbFixture, TwoProgramsAppendingNeverInterleaveRecords)
{
    Child a = StartWriter(dir.path(), "A", 400);
    Child b = StartWriter(dir.path(), "B", 400);
    ASSERT_GT(a.pid, 0);
    ASSERT_GT(b.pid, 0);
    EXPECT_EQ(ReadReports(a, true), 399);
    EXPECT_EQ(ReadReports(b, true), 399);
    int status = 0;
    ::waitpid(a.pid, &status, 0);
    ::waitpid(b.pid, &status, 0);
    ::close(a.out);
    ::close(b.out);
    TTable t;
    t.TableName = QStringLiteral("KyrTechs");
    t.Open();
    EXPECT_EQ(t.RecordCount(), 800);
    int na = 0, nb = 0;
    for (t.First(); !t.Eof(); t.Next()) {
        const QString id = t.Fields(0)->AsString();
        int& n = id.startsWith("A:") ? na : nb;
        ASSERT_EQ(id.mid(2), QString::number(n));
        ASSERT_EQ(t.Fields(1)->AsString(), QStringLiteral("name %1").arg(n));
        ++n;
    }
    EXPECT_EQ(na, 400);
    EXPECT_EQ(nb, 400);
}

// Another program holding a table locked: opening, posting and appending give up after
// a few seconds with an error naming the table, and nothing is written.
TEST_F(DbFixture, ATableLockedByAnotherProgramIsReportedNotWaitedFor)
{
    Result("R1", QDate(2026, 1, 1), "01", "OK");
    TTable open;
    open.TableName = QStringLiteral("KyrRes");
    open.Open();
    const QByteArray before = ReadAll(dir.file("KyrRes.dbf"));

    QProcess holder;
    holder.start("/usr/bin/python3",
                 {"-c", "import fcntl, sys\nf = open(sys.argv[1], 'r+b')\nfcntl.lockf(f, fcntl.LOCK_EX)\n"
                        "print('locked', flush=True)\nsys.stdin.read()\n",
                  dir.file("KyrRes.dbf")});
    ASSERT_TRUE(holder.waitForReadyRead(30000));
    ASSERT_EQ(holder.readAllStandardOutput().trimmed(), "locked");

    auto refused = [&](const char* what, const std::function<void()>& action) {
        QElapsedTimer clock;
        clock.start();
        try {
            action();
            ADD_FAILURE() << what << ": no error";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message.contains(dir.file("KyrRes.dbf"))) << what << ": " << e.Message.toStdString();
            EXPECT_TRUE(e.Message.contains("another program")) << what << ": " << e.Message.toStdString();
        }
        EXPECT_LT(clock.elapsed(), 15000) << what;
        EXPECT_EQ(ReadAll(dir.file("KyrRes.dbf")), before) << what;
    };
    refused("open", [&] {
        TTable t;
        t.TableName = QStringLiteral("KyrRes");
        t.Open();
    });
    refused("post", [&] {
        open.Insert();
        open.FieldByName("RECLID")->SetAsString("R2");
        open.Post();
    });
    open.Cancel();
    refused("append", [&] { open.AppendRecord({"R3"}); });
    open.Cancel();

    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(30000));
    // Free again, the table takes rows as before.
    open.AppendRecord({"R4"});
    EXPECT_EQ(Column(open, "RECLID"), QStringList({"R1", "R4"}));
}

TEST(DbSqlRewrite, DoubleQuotesAreLiteralsAndDatesCompareAsDates)
{
    const QString d = DateToStr(QDate(2026, 12, 10));
    struct Case {
        QString in, out;
    } cases[] = {
        {"SELECT * FROM KYRRECL WHERE CUSTID=\"TYPE\"", "SELECT * FROM KYRRECL WHERE CUSTID='TYPE'"},
        {"SELECT * FROM KYRRECL\nWHERE CUSTID=\"A\"B\"\nORDER BY RECLID", "SELECT * FROM KYRRECL\nWHERE CUSTID='A\"B'\nORDER BY RECLID"},
        {"SELECT * FROM T WHERE X = \"it's\"", "SELECT * FROM T WHERE X = 'it''s'"},
        {"SELECT * FROM T\nWHERE CUSTID=\"A\" B\"", "SELECT * FROM T\nWHERE CUSTID='A\" B'"},
        {"SELECT * FROM T\nWHERE CUSTID=\"AB \"", "SELECT * FROM T\nWHERE CUSTID='AB'"},
        {"SELECT * FROM T WHERE R LIKE \"% \"", "SELECT * FROM T WHERE R LIKE '% '"},
        {"SELECT * FROM T WHERE A = \"x\" OR B = \"y\"", "SELECT * FROM T WHERE A = 'x' OR B = 'y'"},
        {"SELECT * FROM T WHERE TESTDATE = \"" + d + "\"", "SELECT * FROM T WHERE TESTDATE = '2026-12-10'"},
        {"SELECT * FROM T WHERE \"" + d + "\" <= TESTDATE", "SELECT * FROM T WHERE '2026-12-10' <= TESTDATE"},
        {"SELECT * FROM T WHERE TESTDATE BETWEEN \"" + d + "\" AND \"" + d + "\"",
         "SELECT * FROM T WHERE TESTDATE BETWEEN '2026-12-10' AND '2026-12-10'"},
        // A date-looking text compared with a text field stays as written.
        {"SELECT * FROM T WHERE RECLID = \"" + d + "\"", "SELECT * FROM T WHERE RECLID = '" + d + "'"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RewriteSql(c.in, {"TESTDATE"}), c.out);
}

} // namespace

// The installation's tool dates each new table's header the day it makes it.
TEST(InstallationTables, NewTablesCarryTheDayTheyAreMade)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDate before = QDate::currentDate();
    ASSERT_EQ(QProcess::execute(QStringLiteral(KV_BIN_DIR "/kv-tables"), {dir.path()}), 0);
    const QDate after = QDate::currentDate();
    for (const QString& t : KyrTableNames()) {
        QFile f(dir.filePath(t + QStringLiteral(".dbf")));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << t.toStdString();
        const QByteArray h = f.read(4);
        ASSERT_EQ(h.size(), 4);
        const QDate stamped(1900 + static_cast<unsigned char>(h[1]), static_cast<unsigned char>(h[2]),
                            static_cast<unsigned char>(h[3]));
        EXPECT_TRUE(stamped == before || stamped == after) << t.toStdString() << " " << stamped.toString().toStdString();
    }
}
