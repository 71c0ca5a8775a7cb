// What an SQL text typed by a user can reach: the time, memory and temporary storage it
// may take, the tables it may name, and how fields of kinds the engine does not know read.
#include "DbError.h"
#include "DbSql.h"
#include "DbTables.h"
#include "DbfFile.h"
#include "KyrTableDefs.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// The process's memory a run may grow by: twice what the engine counts (its count of a
// row's bytes is near, not exact). Under the address sanitizer every block carries its
// guard bytes and freed blocks are held back (256 MB by default) before reuse, so the
// process holds that much more for the same rows.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kSanitizerHeldMB = 256;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr qint64 kSanitizerHeldMB = 256;
#else
constexpr qint64 kSanitizerHeldMB = 0;
#endif
#else
constexpr qint64 kSanitizerHeldMB = 0;
#endif
constexpr qint64 kGrowthBoundMB = 2 * kSqlMemoryLimitBytes / (1024 * 1024) + kSanitizerHeldMB;

qint64 ResidentMB()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6)) / 1024;
    return 0;
}

// Watches the process while a text runs: the most memory it held more than before, and
// whether any SQLite temporary file was open. A run that goes past 2 GB or 60 s is a
// found fault: the watcher ends the test binary rather than the machine.
struct Watcher {
    std::atomic<bool> done {false};
    std::atomic<qint64> peakMB {0};
    std::atomic<bool> tempFile {false};
    qint64 baseMB = ResidentMB();
    std::thread thread;
    Watcher()
    {
        thread = std::thread([this] {
            const auto start = std::chrono::steady_clock::now();
            while (!done) {
                const qint64 grown = ResidentMB() - baseMB;
                peakMB = std::max<qint64>(peakMB, grown);
                QDir fds(QStringLiteral("/proc/self/fd"));
                for (const QString& fd : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System))
                    if (QFile::symLinkTarget(fds.filePath(fd)).contains(QStringLiteral("etilqs")))
                        tempFile = true;
                if (grown > 2048 || std::chrono::steady_clock::now() - start > std::chrono::seconds(60)) {
                    fprintf(stderr, "an SQL text ran unbounded (%lld MB more)\n", static_cast<long long>(grown));
                    std::_Exit(3);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~Watcher()
    {
        done = true;
        thread.join();
    }
};

class SqlBounds : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const QString& t : KyrTableNames()) {
            QString error;
            ASSERT_TRUE(WriteEmptyTable(dir.path(), t, false, &error)) << error.toStdString();
        }
    }
    TempCurrentDir dir;
};

// Each text froze the program before; each now stops inside the limits with the engine's
// error naming the limit it met, and no temporary file is ever opened.
TEST_F(SqlBounds, ATextThatRunsForEverStopsAtALimitNamed)
{
    {
        TTable t;
        t.TableName = QStringLiteral("KyrCust");
        t.Open();
        for (int i = 0; i < 300; ++i)
            t.InsertRecord({QStringLiteral("C%1").arg(i), QStringLiteral("Customer %1").arg(i)});
    }
    const QString recursive = QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c)");
    struct Case {
        QString sql;
        const char* limit;  // "time", "memory" or either
    };
    // Texts whose memory grows by small rows meet one limit or the other first, as the
    // machine is fast or slow (a sanitizer build on a busy machine meets the time limit);
    // rows of 100 KB meet the memory limit on any machine, and a text of constant memory
    // only the time limit.
    const Case cases[] = {
        {QStringLiteral("SELECT * FROM (%1 SELECT x FROM c)").arg(recursive), nullptr},
        {QStringLiteral("SELECT (%1 SELECT count(*) FROM c)").arg(recursive), "time"},
        {QStringLiteral("SELECT * FROM KYRCUST a, KYRCUST b, KYRCUST c"), nullptr},
        {QStringLiteral("SELECT x, hex(zeroblob(25000)) AS W FROM (%1 SELECT x FROM c)").arg(recursive), "memory"},
        {QStringLiteral("SELECT * FROM KyrCust WHERE CUSTID IN (%1 SELECT x FROM c)").arg(recursive), nullptr},
        {QStringLiteral("SELECT x FROM (%1 SELECT x FROM c) ORDER BY x DESC").arg(recursive), nullptr},
    };
    for (const Case& c : cases) {
        Watcher watch;
        const auto start = std::chrono::steady_clock::now();
        QString message;
        try {
            TQuery q;
            q.SQL = QStringList{c.sql};
            q.Open();
        } catch (const EDatabaseError& e) {
            message = e.Message;
        }
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        if (c.limit) {
            EXPECT_TRUE(message.contains(QStringLiteral("SQL %1 limit").arg(QLatin1String(c.limit))))
                << message.toStdString();
        } else {
            EXPECT_TRUE(message.contains(QStringLiteral("SQL time limit")) ||
                        message.contains(QStringLiteral("SQL memory limit")))
                << message.toStdString();
        }
        EXPECT_LT(ms, kSqlTimeLimitMs + 2000) << c.sql.toStdString();
        EXPECT_LT(watch.peakMB.load(), kGrowthBoundMB) << c.sql.toStdString();
        EXPECT_FALSE(watch.tempFile.load()) << c.sql.toStdString();
    }
    // The engine answers the next text as before.
    TQuery q;
    q.SQL = QStringList{QStringLiteral("SELECT COUNT(*) AS N FROM KYRCUST")};
    q.Open();
    EXPECT_EQ(q.FieldByName("N")->AsString(), "300");
}

// A table name in SQL names a table of the data folder only, however it is quoted: a
// path, "..", or a link whose table lies elsewhere is not found.
TEST_F(SqlBounds, ATableNameReachesOnlyTheDataFolder)
{
    QTemporaryDir other;
    QString error;
    ASSERT_TRUE(WriteEmptyTable(other.path(), QStringLiteral("KyrTechs"), false, &error)) << error.toStdString();
    {
        TTable t;
        t.TableName = other.path() + QStringLiteral("/KyrTechs.dbf");
        t.Open();
        t.InsertRecord({QStringLiteral("SECRET"), QStringLiteral("Secret")});
    }
    ASSERT_TRUE(QFile::rename(other.path() + "/KyrTechs.dbf", other.path() + "/Secret.dbf"));
    ASSERT_TRUE(QDir().mkpath(dir.file("sub")));
    ASSERT_TRUE(QFile::link(other.path() + "/Secret.dbf", dir.file("Linked.dbf")));
    const QString relative = QDir(dir.path()).relativeFilePath(other.path() + "/Secret");
    const QStringList names = {other.path() + "/Secret", relative, "sub/../" + relative, "Linked", "sub/../KyrTechs"};
    const QStringList quotes = {"[%1]", "`%1`", "\"%1\"", "'%1'"};
    for (const QString& name : names)
        for (const QString& quote : quotes) {
            const QString sql = "SELECT * FROM " + quote.arg(name);
            QString message;
            try {
                TQuery q;
                q.SQL = QStringList{sql};
                q.Open();
                message = QStringLiteral("opened, %1 rows").arg(q.RecordCount());
            } catch (const EDatabaseError& e) {
                message = e.Message;
            }
            EXPECT_TRUE(message.startsWith("Table ") && message.contains(" not found in "))
                << sql.toStdString() << ": " << message.toStdString();
        }
    // The folder's own tables, under any quoting, still open.
    for (const QString& quote : quotes) {
        TQuery q;
        q.SQL = QStringList{"SELECT * FROM " + quote.arg("KyrTechs")};
        EXPECT_NO_THROW(q.Open()) << quote.toStdString();
    }
}

// A field of a kind other than C, N, F, D or L reads as text through SQL, as through the
// table object: never a number made of its text.
TEST_F(SqlBounds, AFieldOfAnUnknownKindIsTextInSql)
{
    // KyrTechs with its name field's kind byte made 'M'.
    QFile f(dir.file("KyrTechs.dbf"));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray head = f.read(96);
    ASSERT_EQ(head.size(), 96);
    ASSERT_EQ(head.at(64 + 11), 'C');
    f.seek(64 + 11);
    f.write("M", 1);
    f.close();
    const QStringList texts = {"inf", "-inf", "1e999", "1e308", "12abc", "0x10", "nan"};
    {
        // Written raw: the engine does not write fields of that kind.
        DbfFile file(dir.file("KyrTechs.dbf"));
        for (const QString& s : texts) {
            QByteArray rec = file.blankRecord();
            const DbfFieldDef& id = file.fields()[0];
            const DbfFieldDef& name = file.fields()[1];
            rec.replace(id.offset, s.size(), s.toLatin1());
            rec.replace(name.offset, s.size(), s.toLatin1());
            file.appendRecord(rec);
        }
    }
    TTable t;
    t.TableName = QStringLiteral("KyrTechs");
    t.Open();
    TQuery q;
    q.SQL = QStringList{QStringLiteral("SELECT * FROM KYRTECHS")};
    q.Open();
    ASSERT_EQ(q.RecordCount(), texts.size());
    int i = 0;
    for (q.First(), t.First(); !q.Eof(); q.Next(), t.Next(), ++i) {
        EXPECT_EQ(q.Fields(1)->Value().typeId(), QMetaType::QString) << texts[i].toStdString();
        EXPECT_EQ(q.Fields(1)->AsString(), texts[i]);
        EXPECT_EQ(q.Fields(1)->AsString(), t.Fields(1)->AsString());
    }
}

} // namespace
