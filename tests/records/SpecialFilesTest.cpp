// Files the program reads whole, with something other than a regular file at their
// name: a fifo (nobody writes it), a link to an endless device, a folder. Each is the
// file that cannot be opened, at once, with the reason; none blocks or eats memory.
#include "CalRecord.h"
#include "CurveFile.h"
#include "SetupFile.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A reader that blocks or reads for ever is a found fault: the test binary ends.
struct Deadline {
    Deadline()
    {
        std::signal(SIGALRM, [](int) {
            static const char text[] = "a reader waited on or read a special file without end\n";
            (void)!::write(2, text, sizeof text - 1);
            std::_Exit(3);
        });
        ::alarm(20);
    }
    ~Deadline() { ::alarm(0); }
};

TEST(SpecialFiles, AreTheFileThatCannotBeOpened)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString zero = dir.filePath("zero");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    const QString folder = dir.filePath("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    Deadline deadline;
    for (const QString& path : {fifo, zero, folder}) {
        const std::string name = path.toStdString();
        TCurveFile curve;
        QString error;
        EXPECT_FALSE(curve.Open(path, error)) << name;
        if (path != folder) {
            EXPECT_EQ(error, "not a regular file") << name;
        }
        EXPECT_FALSE(error.isEmpty()) << name;

        EXPECT_THROW(LoadTextFile(path), EInOutError) << name;
        QByteArray bytes;
        EXPECT_FALSE(ReadRegularFile(path, 100, bytes, error, false)) << name;
        EXPECT_FALSE(ReadCalBlock(path, bytes)) << name;
        TSetupData setup;
        ReadSetupLines(path, setup);  // every field its default
        EXPECT_EQ(setup.Range, SetupDefaultRange) << name;
    }
    // A regular file above the bound is refused whole, or read up to it.
    const QString big = dir.filePath("big");
    ASSERT_TRUE(SaveBinaryFile(big, QByteArray(1000, 'x')));
    QByteArray bytes;
    QString error;
    EXPECT_FALSE(ReadRegularFile(big, 999, bytes, error));
    EXPECT_TRUE(error.contains("larger than 999 bytes")) << error.toStdString();
    EXPECT_TRUE(ReadRegularFile(big, 999, bytes, error, false));
    EXPECT_EQ(bytes.size(), 999);
    TLockedFile locked;
    EXPECT_FALSE(locked.Open(big, error, 999));
    EXPECT_TRUE(locked.Open(big, error));
    EXPECT_EQ(locked.ReadAll().size(), 1000);
}

} // namespace
