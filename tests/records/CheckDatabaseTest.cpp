// The start-up table check on a temporary data folder: update files with and without
// their table, the backup copy, the user name, the virtual-store copy, and the errors
// that reach the initialisation.
#include "Debug.h"
#include "KyrGlobals.h"
#include "KyrTableDefs.h"
#include "KyrTables.h"
#include "Shell.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QPlainTextEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

namespace {

QStringList Ids(const QString& path, const char* field)
{
    TTable t;
    t.TableName = path;
    t.Open();
    QStringList ids;
    for (t.First(); !t.Eof(); t.Next())
        ids << t.FieldByName(field)->AsString();
    return ids;
}

class CheckDatabaseTest : public ::testing::Test {
public:
    void SetUp() override
    {
        fmDebug = new TfmDebug();
        savedFolder = DataFolder;
        DataFolder = data.path();
        savedUser = UserNameSource;
        UserNameSource = [] { return QByteArray("kvuser"); };
        SetDriveFolder('C', drive.path());
        virtualFolder = drive.path() + "/Users/kvuser/AppData/Local/VirtualStore/ProgramData/Kestrovan";
        QDir().mkpath(virtualFolder);
    }
    void TearDown() override
    {
        SetDriveFolder('C', QString());
        UserNameSource = savedUser;
        DataFolder = savedFolder;
        delete fmDebug;
        fmDebug = nullptr;
    }
    // A table of the installation's layout with these IDs (first field) in it.
    void Table(const QString& path, const QString& kind, const QStringList& ids)
    {
        QString error;
        ASSERT_TRUE(WriteTable(path, KyrTableFields(kind), &error)) << error.toStdString();
        TTable t;
        t.TableName = path;
        t.Open();
        for (const QString& id : ids)
            t.InsertRecord({id});
    }
    QString DataFile(const QString& name) const { return DataFolder + '/' + name; }
    // The trace's entries without their numbers and times.
    QStringList Traces() const
    {
        QString text = fmDebug->TraceText();
        text.remove('\r');
        QStringList out;
        static const QRegularExpression entry(QStringLiteral("^\\d+: (.*?) at: [0-9.]+$"),
                                              QRegularExpression::MultilineOption |
                                                  QRegularExpression::DotMatchesEverythingOption);
        auto it = entry.globalMatch(text);
        while (it.hasNext())
            out << it.next().captured(1);
        return out;
    }
    // "<title><path>", the file's date and size, as the trace shows them.
    static QString Report(const QString& title, const QString& path)
    {
        const QFileInfo fi(path);
        const QDateTime t = fi.lastModified();
        const QString when =
            t.time() == QTime(0, 0) ? DateToStr(t.date()) : DateToStr(t.date()) + ' ' + TimeToStr(t.time());
        return title + path + "\nDate: " + when + "\nSize: " + QString::number(fi.size()) + " Bytes";
    }
    QString VirtualWin(const QString& file) const
    {
        return "C:\\Users\\kvuser\\AppData\\Local\\VirtualStore\\ProgramData\\Kestrovan\\" + file;
    }

    TempCurrentDir data;
    QTemporaryDir drive;
    QString virtualFolder;
    QString savedFolder;
    std::function<QByteArray()> savedUser;
    TReclTables tables;
};

// The cases of the check, each with the traces and boxes it must give exactly.
TEST_F(CheckDatabaseTest, CasesOfUpdateFilesBackupsAndVirtualCopies)
{
    struct Case {
        const char* name;
        std::function<void(CheckDatabaseTest&)> setup;
        QByteArray user;
        std::function<QStringList(CheckDatabaseTest&)> traces;  // expected, taken before the check
        std::function<QStringList(CheckDatabaseTest&)> boxes;   // "caption|text"
        std::function<void(CheckDatabaseTest&)> after;
    };
    const QString head1 = QStringLiteral("fmReclData.CheckDatabase");
    const Case cases[] = {
        {"nothing to do",
         [](CheckDatabaseTest& t) { t.Table(t.DataFile("KyrCust.dbf"), "KyrCust", {"C1"}); },
         "kvuser",
         [&](CheckDatabaseTest&) { return QStringList{head1, "Username: kvuser"}; },
         [](CheckDatabaseTest&) { return QStringList{}; },
         [](CheckDatabaseTest& t) { EXPECT_FALSE(QFile::exists(t.DataFile("KyrCust.dbk"))); }},
        {"update file joins its table after a backup copy",
         [](CheckDatabaseTest& t) {
             t.Table(t.DataFile("KyrCust.dbf"), "KyrCust", {"C1", "C2"});
             t.Table(t.DataFile("KyrCust1.dbf"), "KyrCust", {"N1", "N2", "N3"});
         },
         "kvuser",
         [&](CheckDatabaseTest& t) {
             return QStringList{head1, "Username: kvuser", Report("New File: ", t.DataFile("KyrCust1.dbf")),
                                Report("Original File: ", t.DataFile("KyrCust.dbf")),
                                "Importing data: " + t.DataFile("KyrCust1.dbf"), "Deleted " + t.DataFile("KyrCust1.dbf")};
         },
         [](CheckDatabaseTest&) { return QStringList{}; },
         [](CheckDatabaseTest& t) {
             EXPECT_EQ(Ids(t.DataFile("KyrCust"), "CUSTID"), QStringList({"C1", "C2", "N1", "N2", "N3"}));
             EXPECT_EQ(Ids(t.DataFile("KyrCust.dbk"), "CUSTID"), QStringList({"C1", "C2"}));
             EXPECT_FALSE(QFile::exists(t.DataFile("KyrCust1.dbf")));
         }},
        {"update file without its table stays, the virtual step runs each time",
         [](CheckDatabaseTest& t) {
             t.Table(t.DataFile("KyrRecl1.dbf"), "KyrRecl", {"R9"});
             t.Table(t.virtualFolder + "/KyrRecl.dbf", "KyrRecl", {"V1"});
         },
         "kvuser",
         [&](CheckDatabaseTest& t) {
             return QStringList{head1, "Username: kvuser", Report("New File: ", t.DataFile("KyrRecl1.dbf")),
                                "Virtual File " + t.VirtualWin("KyrRecl.dbf")};
         },
         [](CheckDatabaseTest& t) {
             return QStringList{"Virtual File|Virtual file found: " + t.VirtualWin("KyrRecl.dbf") +
                                "\r\nMake sure UAC for \r\n" + DataFolder + "\r\nis set for Modify/Write for user: kvuser"};
         },
         [](CheckDatabaseTest& t) {
             // No table to take the rows: the move fails after the box (see the error case).
             EXPECT_TRUE(QFile::exists(t.DataFile("KyrRecl1.dbf")));
         }},
        {"an older backup copy is replaced without a question",
         [](CheckDatabaseTest& t) {
             t.Table(t.DataFile("KyrTechs.dbf"), "KyrTechs", {"T1"});
             t.Table(t.DataFile("KyrTechs.dbk"), "KyrTechs", {"OLD"});
             t.Table(t.DataFile("KyrTechs1.dbf"), "KyrTechs", {"T2"});
         },
         "kvuser",
         [&](CheckDatabaseTest& t) {
             return QStringList{head1, "Username: kvuser", Report("New File: ", t.DataFile("KyrTechs1.dbf")),
                                Report("Original File: ", t.DataFile("KyrTechs.dbf")),
                                "Importing data: " + t.DataFile("KyrTechs1.dbf"),
                                "Deleted " + t.DataFile("KyrTechs1.dbf")};
         },
         [](CheckDatabaseTest&) { return QStringList{}; },
         [](CheckDatabaseTest& t) { EXPECT_EQ(Ids(t.DataFile("KyrTechs.dbk"), "TECHID"), QStringList({"T1"})); }},
        {"no user name: no virtual step",
         [](CheckDatabaseTest& t) {
             t.Table(t.DataFile("KyrTypes.dbf"), "KyrTypes", {"RXE"});
             t.Table(t.DataFile("KyrTypes1.dbf"), "KyrTypes", {"KF"});
             t.Table(t.virtualFolder + "/KyrTypes.dbf", "KyrTypes", {"VWE"});
         },
         "",
         [&](CheckDatabaseTest& t) {
             return QStringList{head1, "Username: ", Report("New File: ", t.DataFile("KyrTypes1.dbf")),
                                Report("Original File: ", t.DataFile("KyrTypes.dbf")),
                                "Importing data: " + t.DataFile("KyrTypes1.dbf"),
                                "Deleted " + t.DataFile("KyrTypes1.dbf")};
         },
         [](CheckDatabaseTest&) { return QStringList{}; },
         [](CheckDatabaseTest& t) {
             EXPECT_EQ(Ids(t.DataFile("KyrTypes"), "TYPE"), QStringList({"RXE", "KF"}));
             EXPECT_TRUE(QFile::exists(t.virtualFolder + "/KyrTypes.dbf"));
         }},
        {"virtual copy found, merged and renamed; tables in their order",
         [](CheckDatabaseTest& t) {
             t.Table(t.DataFile("KyrRes.dbf"), "KyrRes", {"R1"});
             t.Table(t.DataFile("KyrRes1.dbf"), "KyrRes", {"R2"});
             t.Table(t.DataFile("KyrCust.dbf"), "KyrCust", {"C1"});
             t.Table(t.DataFile("KyrCust1.dbf"), "KyrCust", {});
             t.Table(t.virtualFolder + "/KyrRes.dbf", "KyrRes", {"V1", "V2"});
         },
         "kvuser",
         [&](CheckDatabaseTest& t) {
             return QStringList{head1, "Username: kvuser", Report("New File: ", t.DataFile("KyrCust1.dbf")),
                                Report("Original File: ", t.DataFile("KyrCust.dbf")),
                                "Importing data: " + t.DataFile("KyrCust1.dbf"), "Deleted " + t.DataFile("KyrCust1.dbf"),
                                Report("New File: ", t.DataFile("KyrRes1.dbf")),
                                Report("Original File: ", t.DataFile("KyrRes.dbf")),
                                "Importing data: " + t.DataFile("KyrRes1.dbf"), "Deleted " + t.DataFile("KyrRes1.dbf"),
                                "Virtual File " + t.VirtualWin("KyrRes.dbf"), "Renamed File KyrRes.dbk"};
         },
         [](CheckDatabaseTest& t) {
             return QStringList{"Virtual File|Virtual file found: " + t.VirtualWin("KyrRes.dbf") +
                                "\r\nMake sure UAC for \r\n" + DataFolder + "\r\nis set for Modify/Write for user: kvuser"};
         },
         [](CheckDatabaseTest& t) {
             EXPECT_EQ(Ids(t.DataFile("KyrRes"), "RECLID"), QStringList({"R1", "R2", "V1", "V2"}));
             EXPECT_FALSE(QFile::exists(t.virtualFolder + "/KyrRes.dbf"));
             EXPECT_EQ(Ids(t.virtualFolder + "/KyrRes.dbk", "RECLID"), QStringList({"V1", "V2"}));
         }},
        {"a virtual copy that cannot be renamed stays and says so",
         [](CheckDatabaseTest& t) {
             t.Table(t.DataFile("KyrTechs.dbf"), "KyrTechs", {});
             t.Table(t.DataFile("KyrTechs1.dbf"), "KyrTechs", {});
             t.Table(t.virtualFolder + "/KyrTechs.dbf", "KyrTechs", {"V1"});
             t.Table(t.virtualFolder + "/KyrTechs.dbk", "KyrTechs", {"OLD"});
         },
         "kvuser",
         [&](CheckDatabaseTest& t) {
             return QStringList{head1, "Username: kvuser", Report("New File: ", t.DataFile("KyrTechs1.dbf")),
                                Report("Original File: ", t.DataFile("KyrTechs.dbf")),
                                "Importing data: " + t.DataFile("KyrTechs1.dbf"),
                                "Deleted " + t.DataFile("KyrTechs1.dbf"), "Virtual File " + t.VirtualWin("KyrTechs.dbf")};
         },
         [](CheckDatabaseTest& t) {
             return QStringList{"Virtual File|Virtual file found: " + t.VirtualWin("KyrTechs.dbf") +
                                    "\r\nMake sure UAC for \r\n" + DataFolder +
                                    "\r\nis set for Modify/Write for user: kvuser",
                                "Error Renaming File|" + t.VirtualWin("KyrTechs.dbf")};
         },
         [](CheckDatabaseTest& t) {
             EXPECT_EQ(Ids(t.DataFile("KyrTechs"), "TECHID"), QStringList({"V1"}));
             EXPECT_TRUE(QFile::exists(t.virtualFolder + "/KyrTechs.dbf"));
             EXPECT_EQ(Ids(t.virtualFolder + "/KyrTechs.dbk", "TECHID"), QStringList({"OLD"}));
         }},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A fresh data folder and virtual folder for each case.
        for (const QString& f : QDir(DataFolder).entryList(QDir::Files))
            QFile::remove(DataFile(f));
        for (const QString& f : QDir(virtualFolder).entryList(QDir::Files))
            QFile::remove(virtualFolder + '/' + f);
        fmDebug->memoDebug->clear();
        c.setup(*this);
        const QByteArray user = c.user;
        UserNameSource = [user] { return user; };
        const QStringList expected = c.traces(*this);
        ScriptedMessages boxes;
        if (QString(c.name).startsWith("update file without")) {
            // The virtual copy finds no table to join: the engine's error ends the check.
            EXPECT_THROW(tables.CheckDatabase(), EDatabaseError);
        } else {
            tables.CheckDatabase();
        }
        EXPECT_EQ(Traces(), expected);
        QStringList seen;
        for (const MessageRequest& r : boxes.requests)
            seen << r.caption + '|' + r.text;
        EXPECT_EQ(seen, c.boxes(*this));
        c.after(*this);
    }
}

TEST_F(CheckDatabaseTest, AnUpdateFileThatIsNoTableStopsTheCheckNamingTheFile)
{
    Table(DataFile("KyrCust.dbf"), "KyrCust", {"C1"});
    QFile junk(DataFile("KyrCust1.dbf"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a table");
    junk.close();
    Table(DataFile("KyrRecl.dbf"), "KyrRecl", {"R1"});
    Table(DataFile("KyrRecl1.dbf"), "KyrRecl", {"R2"});
    const QByteArray before = ReadAll(DataFile("KyrCust.dbf"));
    try {
        tables.CheckDatabase();
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message.contains(DataFile("KyrCust1.dbf"))) << e.Message.toStdString();
        EXPECT_TRUE(e.Message.contains("not a dBASE table")) << e.Message.toStdString();
        // Named as the file is: no other spelling of it.
        EXPECT_EQ(e.Message.count("KyrCust1", Qt::CaseInsensitive), e.Message.count("KyrCust1"))
            << e.Message.toStdString();
    }
    EXPECT_EQ(ReadAll(DataFile("KyrCust.dbf")), before);
    EXPECT_TRUE(QFile::exists(DataFile("KyrCust1.dbf")));
    // The remaining tables are not looked at.
    EXPECT_TRUE(QFile::exists(DataFile("KyrRecl1.dbf")));
    EXPECT_FALSE(Traces().join('\n').contains("KyrRecl"));
}

TEST_F(CheckDatabaseTest, AFailedAppendLeavesTheTableAsItWasAndKeepsTheUpdateFile)
{
    Table(DataFile("KyrTechs.dbf"), "KyrTechs", {"T1", "T2"});
    // An update file whose IDs are wider than the table's field.
    QString error;
    ASSERT_TRUE(WriteTable(DataFile("KyrTechs1.dbf"), {{"TECHID", 'C', 80, 0}}, &error));
    {
        TTable u;
        u.TableName = DataFile("KyrTechs1");
        u.Open();
        u.InsertRecord({"T3"});
        u.InsertRecord({QString(50, 'x')});
    }
    const QByteArray before = ReadAll(DataFile("KyrTechs.dbf"));
    EXPECT_THROW(tables.CheckDatabase(), EDatabaseError);
    EXPECT_EQ(ReadAll(DataFile("KyrTechs.dbf")), before);
    EXPECT_TRUE(QFile::exists(DataFile("KyrTechs1.dbf")));
    EXPECT_EQ(ReadAll(DataFile("KyrTechs.dbk")), before);  // the copy was taken first

    // Mended, the next start brings the rows in.
    {
        TTable u;
        u.TableName = DataFile("KyrTechs1");
        u.Open();
        u.Last();
        u.Edit();
        u.Fields(0)->SetAsString("T4");
        u.Post();
    }
    tables.CheckDatabase();
    EXPECT_EQ(Ids(DataFile("KyrTechs"), "TECHID"), QStringList({"T1", "T2", "T3", "T4"}));
}

TEST_F(CheckDatabaseTest, AFailedBackupCopyIsShownAndTheMergeGoesOn)
{
    Table(DataFile("KyrCust.dbf"), "KyrCust", {"C1"});
    Table(DataFile("KyrCust1.dbf"), "KyrCust", {"C2"});
    QDir().mkpath(DataFile("KyrCust.dbk"));  // a folder where the copy should go
    ScriptedMessages boxes;
    tables.CheckDatabase();
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text, "Error Copying File to: KyrCust.dbk");
    EXPECT_EQ(boxes.requests[0].caption, DataFile("KyrCust.dbf"));
    EXPECT_TRUE(Traces().contains("Error Copying File to: KyrCust.dbk"));
    EXPECT_EQ(Ids(DataFile("KyrCust"), "CUSTID"), QStringList({"C1", "C2"}));
}

// Links planted at the copy's name and at the name an earlier version copied through
// are never written through: the file they point at stays as it was.
TEST_F(CheckDatabaseTest, TheBackupCopyNeverWritesThroughAPlantedLink)
{
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath("precious");
    {
        QFile o(outside);
        ASSERT_TRUE(o.open(QIODevice::WriteOnly));
        o.write("precious");
    }
    Table(DataFile("KyrCust.dbf"), "KyrCust", {"C1"});
    Table(DataFile("KyrCust1.dbf"), "KyrCust", {"C2"});
    const QByteArray before = ReadAll(DataFile("KyrCust.dbf"));
    ASSERT_TRUE(QFile::link(outside, DataFile("KyrCust.dbk")));
    ASSERT_TRUE(QFile::link(outside, DataFile("KyrCust.dbk.kvcopy")));
    ScriptedMessages boxes;
    tables.CheckDatabase();
    EXPECT_TRUE(boxes.requests.empty());
    EXPECT_EQ(ReadAll(outside), QByteArray("precious"));
    EXPECT_FALSE(QFileInfo(DataFile("KyrCust.dbk")).isSymLink());
    EXPECT_EQ(ReadAll(DataFile("KyrCust.dbk")), before);
    EXPECT_EQ(Ids(DataFile("KyrCust"), "CUSTID"), QStringList({"C1", "C2"}));
}

// Run as a child (KV_CHECK_CHILD_DIR set): the start-up check on that folder, killed
// just before the merge step KV_CHECK_CHILD_KILL names.
TEST(CheckDatabaseChild, KilledDuringTheMerge)
{
    const QByteArray folder = qgetenv("KV_CHECK_CHILD_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "runs only as the program killed by the merge tests";
    fmDebug = new TfmDebug();
    DataFolder = QString::fromLocal8Bit(folder);
    QDir::setCurrent(DataFolder);
    UserNameSource = [] { return QByteArray(); };
    const QByteArray killAt = qgetenv("KV_CHECK_CHILD_KILL");
    CheckDatabaseStep = [killAt](const char* step) {
        if (killAt == step)
            ::raise(SIGKILL);
    };
    TReclTables tables;
    tables.CheckDatabase();
}

// Whether the folder's entries can change (root passes every permission check; an
// immutable folder stops even root's renames and removals).
bool Immutable(const QString& folder, bool on)
{
    return QProcess::execute("chattr", {on ? "+i" : "-i", folder}) == 0;
}

// The system's Python, where the Debian package puts dbfread (a python3 found first on
// the PATH may be another one, without it).
const char* const kPython = "/usr/bin/python3";

// What the other readers make of a table: its rows' CUSTID as dbfread and as GDAL's
// ogrinfo read them, in the file's order, or nothing when the reader fails.
QStringList DbfreadIds(const QString& path)
{
    QProcess p;
    p.start(kPython, {"-c", "import sys, dbfread\nfor r in dbfread.DBF(sys.argv[1], load=True): print(r['CUSTID'])",
                         path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return QString::fromLatin1(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

QStringList OgrIds(const QString& path)
{
    QProcess p;
    p.start("ogrinfo", {"-ro", "-al", "-q", path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QStringList ids;
    const QRegularExpression field("^\\s+CUSTID \\(String\\) = (.*)$", QRegularExpression::MultilineOption);
    for (auto it = field.globalMatch(QString::fromLatin1(p.readAllStandardOutput())); it.hasNext();)
        ids << it.next().captured(1);
    return ids;
}

// Whether dbfread and ogrinfo are there to check the tables with; a missing one is said
// once and its reads are left out.
struct OtherReaders {
    bool dbfread = QProcess::execute(kPython, {"-c", "import dbfread"}) == 0;
    bool ogr = QProcess::execute("ogrinfo", {"--version"}) == 0;
    ~OtherReaders()
    {
        if (!dbfread || !ogr)
            std::printf("note: tables read back without %s%s (not installed)\n", dbfread ? "" : "dbfread ",
                        ogr ? "" : "ogrinfo");
    }
    // The rows every reader finds in the table, each reader's own against them.
    void expectRows(const QString& path, const QStringList& rows, const std::string& what) const
    {
        if (dbfread) {
            EXPECT_EQ(DbfreadIds(path), rows) << what << " (dbfread)";
        }
        if (ogr) {
            EXPECT_EQ(OgrIds(path), rows) << what << " (ogrinfo)";
        }
    }
};

// A start killed at any step of a merge, then a normal start: every row of the update
// file is in the table once, for every reader.
TEST_F(CheckDatabaseTest, AStartKilledDuringTheMergeNeitherLosesNorDoublesARow)
{
    UserNameSource = [] { return QByteArray(); };
    const OtherReaders readers;
    for (const char* step : {"move", "append", "remove"}) {
        for (const char* f : {"KyrCust.dbf", "KyrCust1.dbf", "KyrCust1.dbm", "KyrCust.dbk"})
            QFile::remove(DataFile(f));
        Table(DataFile("KyrCust.dbf"), "KyrCust", {"C1", "C2", "C3"});
        Table(DataFile("KyrCust1.dbf"), "KyrCust", {"U1", "U2"});
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KV_CHECK_CHILD_DIR", DataFolder);
        env.insert("KV_CHECK_CHILD_KILL", step);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=CheckDatabaseChild.KilledDuringTheMerge"});
        ASSERT_TRUE(child.waitForFinished(60000)) << step;
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << step << child.readAllStandardOutput().toStdString();

        tables.CheckDatabase();
        const QStringList all{"C1", "C2", "C3", "U1", "U2"};
        EXPECT_EQ(Ids(DataFile("KyrCust"), "CUSTID"), all) << step;
        EXPECT_FALSE(QFile::exists(DataFile("KyrCust1.dbf"))) << step;
        EXPECT_FALSE(QFile::exists(DataFile("KyrCust1.dbm"))) << step;
        tables.CheckDatabase();
        EXPECT_EQ(Ids(DataFile("KyrCust"), "CUSTID"), all) << step;
        readers.expectRows(DataFile("KyrCust.dbf"), all, step);
    }
}

// A merge whose write is cut short anywhere inside it (the note, the rows written
// hidden, the count, the write that shows them, the note's end mark) and killed, then
// two normal starts: every row, old and new, is in the table once, for every reader.
TEST_F(CheckDatabaseTest, AMergeCutInsideAnyWriteNeitherLosesNorDoublesARow)
{
    UserNameSource = [] { return QByteArray(); };
    QStringList update;
    for (int i = 0; i < 500; ++i)
        update << QStringLiteral("U%1").arg(i);
    const QStringList all = QStringList{"C1", "C2", "C3"} + update;
    struct Cut {
        const char* file;
        int call;
        qint64 bytes;
    };
    const Cut cuts[] = {
        {"KyrCust.dbf", 1, 0},     {"KyrCust.dbf", 1, 1},     {"KyrCust.dbf", 1, 8192}, {"KyrCust.dbf", 1, 40000},
        {"KyrCust.dbf", 2, 0},     {"KyrCust.dbf", 2, 3},     {"KyrCust.dbf", 3, 0},    {"KyrCust.dbf", 3, 1},
        {"KyrCust.dbf", 3, 4096},  {"KyrCust.dbf", 3, 8192},  {"KyrCust.dbf", 3, 45000},
        {"KyrCust1.dbs", 1, 0},    {"KyrCust1.dbs", 1, 4},    {"KyrCust1.dbs", 2, 0},
    };
    const OtherReaders readers;
    for (const Cut& cut : cuts) {
        const std::string what = std::string(cut.file) + " write " + std::to_string(cut.call) + " cut at " +
                                 std::to_string(cut.bytes);
        for (const char* f : {"KyrCust.dbf", "KyrCust1.dbf", "KyrCust1.dbm", "KyrCust1.dbs", "KyrCust.dbk"})
            QFile::remove(DataFile(f));
        Table(DataFile("KyrCust.dbf"), "KyrCust", {"C1", "C2", "C3"});
        Table(DataFile("KyrCust1.dbf"), "KyrCust", update);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KV_CHECK_CHILD_DIR", DataFolder);
        env.insert("KV_CHECK_CHILD_KILL", "none");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("LD_PRELOAD", KV_CUT_WRITE_LIB);
        env.insert("ASAN_OPTIONS", "detect_leaks=0:verify_asan_link_order=0");
        env.insert("KV_CUT_FILE", QString::fromLatin1(cut.file));
        env.insert("KV_CUT_CALL", QString::number(cut.call));
        env.insert("KV_CUT_BYTES", QString::number(cut.bytes));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=CheckDatabaseChild.KilledDuringTheMerge"});
        ASSERT_TRUE(child.waitForFinished(60000)) << what;
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << what << child.readAllStandardOutput().toStdString();

        for (int start = 0; start < 2; ++start) {
            RemoveStaleSaveTemporaries(DataFolder);
            tables.CheckDatabase();
            EXPECT_EQ(Ids(DataFile("KyrCust"), "CUSTID"), all) << what << ", start " << start;
        }
        TQuery q;
        q.SQL = QStringList{"SELECT COUNT(*) AS N, COUNT(DISTINCT CUSTID) AS D FROM KYRCUST"};
        q.Open();
        EXPECT_EQ(q.FieldByName("N")->AsString(), QString::number(all.size())) << what;
        EXPECT_EQ(q.FieldByName("D")->AsString(), QString::number(all.size())) << what;
        readers.expectRows(DataFile("KyrCust.dbf"), all, what);
        EXPECT_FALSE(QFile::exists(DataFile("KyrCust1.dbm"))) << what;
        EXPECT_FALSE(QFile::exists(DataFile("KyrCust1.dbs"))) << what;
    }
}

// An update file that cannot be moved aside is not merged: said once a start, naming the
// file and why, and the table, edits included, stays as the user left it.
TEST_F(CheckDatabaseTest, AnUpdateFileThatCannotBeMovedIsNotMerged)
{
    UserNameSource = [] { return QByteArray(); };
    Table(DataFile("KyrCust.dbf"), "KyrCust", {"C1", "C2", "C3"});
    Table(DataFile("KyrCust1.dbf"), "KyrCust", {"U1", "U2"});
    const QStringList all{"C1", "C2", "C3", "U1", "U2"};
    {
        // The folder locked from the start: the file can be neither moved nor removed.
        if (!Immutable(DataFolder, true))
            GTEST_SKIP() << "chattr cannot make the folder immutable here";
        ScriptedMessages boxes;
        for (int start = 0; start < 3; ++start) {
            tables.CheckDatabase();
            EXPECT_EQ(Ids(DataFile("KyrCust"), "CUSTID"), start == 0 ? all.mid(0, 3) : all.mid(1, 2)) << start;
            int said = 0;
            for (const auto& box : boxes.requests)
                if (box.text.startsWith("Update file not merged: it cannot be moved aside")) {
                    ++said;
                    EXPECT_EQ(box.caption, DataFile("KyrCust1.dbf"));
                }
            EXPECT_EQ(said, start + 1);
            // The user's edit between two starts stays.
            if (start == 0) {
                TTable t;
                t.TableName = DataFile("KyrCust");
                t.Open();
                t.First();
                t.Delete();
            }
        }
        Immutable(DataFolder, false);
        EXPECT_FALSE(boxes.saw("Error Deleting File"));
    }
    EXPECT_EQ(Ids(DataFile("KyrCust"), "CUSTID"), (QStringList{"C2", "C3"}));
    // A start where it can be moved merges it, once.
    tables.CheckDatabase();
    tables.CheckDatabase();
    EXPECT_EQ(Ids(DataFile("KyrCust"), "CUSTID"), (QStringList{"C2", "C3", "U1", "U2"}));
    QFile::remove(DataFile("KyrCust.dbf"));
    Table(DataFile("KyrCust.dbf"), "KyrCust", all);
    QFile::remove(DataFile("KyrCust1.dbf"));

    // Locked after the move: the file under its merge name stays, is named in the box,
    // and the next start removes it without appending again.
    Table(DataFile("KyrCust1.dbf"), "KyrCust", {"U3"});
    CheckDatabaseStep = [this](const char* step) {
        if (QByteArray(step) == "remove")
            Immutable(DataFolder, true);
    };
    {
        ScriptedMessages boxes;
        tables.CheckDatabase();
        CheckDatabaseStep = [](const char*) {};
        Immutable(DataFolder, false);
        ASSERT_FALSE(boxes.requests.empty());
        EXPECT_EQ(boxes.requests.back().text, "Error Deleting File");
        EXPECT_EQ(boxes.requests.back().caption, DataFile("KyrCust1.dbm"));
    }
    tables.CheckDatabase();
    EXPECT_EQ(Ids(DataFile("KyrCust"), "CUSTID"), all + QStringList{"U3"});
    EXPECT_FALSE(QFile::exists(DataFile("KyrCust1.dbm")));
    EXPECT_TRUE(Traces().contains("Deleted " + DataFile("KyrCust1.dbm")));
}

TEST_F(CheckDatabaseTest, TheObjectsCarryTheirTablesAndSql)
{
    EXPECT_EQ(tables.tblTechs->TableName, "KyrTechs");
    EXPECT_EQ(tables.tblReclosers->TableName, "KyrRecl");
    EXPECT_EQ(tables.tblTypes->TableName, "KyrTypes");
    EXPECT_EQ(tables.tblCust->TableName, "KyrCust");
    EXPECT_EQ(tables.tblRes->TableName, "KyrRes");
    EXPECT_EQ(tables.qTypes->SQL, QStringList{"SELECT *  FROM KYRTYPES ORDER BY TYPE"});
    EXPECT_EQ(tables.qTechs->SQL, QStringList{"SELECT TECHID FROM KYRTECHS ORDER BY TECHID"});
    EXPECT_TRUE(tables.qRes->SQL.isEmpty());
    EXPECT_TRUE(tables.qRes->RequestLive);
    EXPECT_EQ(tables.dsResults->DataSet, tables.tblRes);
    EXPECT_EQ(tables.dsReclosers->DataSet, tables.tblReclosers);
}

} // namespace
