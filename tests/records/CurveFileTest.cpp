// The curve file without the data form: its lines, its bytes, its lock and a whole save.
#include "CurveFile.h"

#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}
} // namespace

TEST(CurveFileTest, LinesEndAtCrLfOrCrLf)
{
    EXPECT_EQ(CurveFileLines("a\r\nb\rc\nd"), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(CurveFileLines("a\r\n\r\nb\r\n"), QStringList({"a", "", "b"}));
    EXPECT_EQ(CurveFileLines(""), QStringList());
    // Bytes beyond ASCII are kept one character each.
    EXPECT_EQ(CurveFileLines("\xe9x"), QStringList({QString(QChar(0xe9)) + "x"}));
}

TEST(CurveFileTest, BytesEndEveryLineWithCrLf)
{
    EXPECT_EQ(CurveFileBytes({"a", "", QString(QChar(0xe9))}), QByteArray("a\r\n\r\n\xe9\r\n"));
    EXPECT_EQ(CurveFileBytes({}), QByteArray());
}

TEST(CurveFileTest, OpenCreatesLocksAndSavesWhole)
{
    TempCurrentDir dir;
    const QString path = dir.file("Kestrovan.rcf");
    TCurveFile file;
    QString error;
    ASSERT_TRUE(file.Open(path, error)) << error.toStdString();
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(file.ReadLines(), QStringList());

    TCurveFile second;
    EXPECT_FALSE(second.Open(path, error));
    EXPECT_EQ(error, "The file is in use by another program");
    EXPECT_FALSE(second.IsOpen());

    ASSERT_TRUE(file.Save({"one", "two"}));
    EXPECT_EQ(FileBytes(path), QByteArray("one\r\ntwo\r\n"));
    // The saved file's lock took the old one's place.
    EXPECT_FALSE(second.Open(path, error));

    file.Close();
    ASSERT_TRUE(second.Open(path, error)) << error.toStdString();
    EXPECT_EQ(second.ReadLines(), QStringList({"one", "two"}));
}
