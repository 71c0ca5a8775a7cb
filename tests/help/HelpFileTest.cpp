// The compiled help file as any other help reader sees it, read straight through libchm:
// each help context of the program names, as stored, an object of the file; the file can
// be searched and has a keyword index; it is the same file wherever it is built.
#include "TestSupport.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

#include <chm_lib.h>

namespace {

class HelpFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        h_ = chm_open(QFile::encodeName(QStringLiteral(KV_BIN_DIR "/Kestrovan.chm")).constData());
        ASSERT_NE(h_, nullptr);
    }
    void TearDown() override
    {
        if (h_)
            chm_close(h_);
    }
    bool resolve(const QByteArray& path, chmUnitInfo& ui) const
    {
        return chm_resolve_object(h_, path.constData(), &ui) == CHM_RESOLVE_SUCCESS;
    }
    QByteArray object(const char* path) const
    {
        chmUnitInfo ui;
        if (!resolve(path, ui))
            return {};
        QByteArray data(static_cast<qsizetype>(ui.length), '\0');
        const LONGINT64 n = chm_retrieve_object(h_, &ui, reinterpret_cast<unsigned char*>(data.data()), 0,
                                                static_cast<LONGINT64>(ui.length));
        data.resize(n < 0 ? 0 : static_cast<qsizetype>(n));
        return data;
    }
    static quint32 Le32(const QByteArray& b, qsizetype at)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
        return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
    }
    chmFile* h_ = nullptr;
};

int CollectObject(chmFile* h, chmUnitInfo* ui, void* context)
{
    auto* all = static_cast<QByteArray*>(context);
    QByteArray data(static_cast<qsizetype>(ui->length), '\0');
    const LONGINT64 n = chm_retrieve_object(h, ui, reinterpret_cast<unsigned char*>(data.data()), 0,
                                            static_cast<LONGINT64>(ui->length));
    data.resize(n < 0 ? 0 : static_cast<qsizetype>(n));
    all->append(ui->path).append('\0').append(data);
    return CHM_ENUMERATOR_CONTINUE;
}

bool CopyFolder(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target))
            return false;
    }
    return true;
}

TEST_F(HelpFile, HasAFullTextSearchIndexAndAKeywordIndex)
{
    const QByteArray fti = object("/$FIftiMain");
    EXPECT_GT(fti.size(), 0x32) << "the full-text search index";
    const QByteArray keywords = object("/$WWKeywordLinks/BTree");
    ASSERT_GT(keywords.size(), 0) << "the binary keyword index";
    // The index's keywords are stored as UTF-16.
    for (const char* word : {"Calibration", "Test type", "Running a test"}) {
        const QString w = QString::fromLatin1(word);
        const QByteArray utf16(reinterpret_cast<const char*>(w.utf16()), w.size() * 2);
        EXPECT_TRUE(keywords.contains(utf16)) << word;
    }
    EXPECT_GT(object("/Kestrovan.hhk").size(), 0);
}

TEST_F(HelpFile, EachContextNamesAnObjectOfTheFileAsStored)
{
    const QByteArray ivb = object("/#IVB");
    const QByteArray strings = object("/#STRINGS");
    ASSERT_GE(ivb.size(), 4);
    ASSERT_EQ(Le32(ivb, 0), static_cast<quint32>(ivb.size() - 4));
    QMap<quint32, std::string> map;
    for (qsizetype at = 4; at + 8 <= ivb.size(); at += 8) {
        const quint32 offset = Le32(ivb, at + 4);
        ASSERT_LT(offset, static_cast<quint32>(strings.size()));
        map.insert(Le32(ivb, at), std::string(strings.constData() + offset));
    }
    const QMap<quint32, std::string> expected{
        {1000, "/main-window.htm"}, {1130, "/test-type.htm"}, {2000, "/calibration.htm"}};
    EXPECT_EQ(map, expected);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        chmUnitInfo ui;
        EXPECT_TRUE(resolve(QByteArray::fromStdString(it.value()), ui)) << it.key() << " " << it.value();
    }
    // Nothing of the machine it was built on is in any of the file's objects.
    QByteArray all;
    chm_enumerate(h_, CHM_ENUMERATE_ALL, CollectObject, &all);
    ASSERT_GT(all.size(), 0);
    EXPECT_FALSE(all.contains(QFile::encodeName(QStringLiteral(KV_SOURCE_DIR))));
    EXPECT_FALSE(all.contains(QFile::encodeName(QFileInfo(QStringLiteral(KV_BIN_DIR)).path())));
}

// Built from copies of the sources in two other folders, of different depths, once with
// a relative project name: byte for byte the program's help file.
TEST(HelpFileBuild, IsTheSameFileWhereverItIsBuilt)
{
    const QByteArray built = ReadAll(QStringLiteral(KV_BIN_DIR "/Kestrovan.chm"));
    ASSERT_GT(built.size(), 0);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString sources = QStringLiteral(KV_SOURCE_DIR "/data/help");
    const QString near = dir.filePath(QStringLiteral("h"));
    const QString far = dir.filePath(QStringLiteral("another/much/deeper/folder/help"));
    ASSERT_TRUE(CopyFolder(sources, near));
    ASSERT_TRUE(CopyFolder(sources, far));

    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral(KV_HELP_COMPILER), {near + QStringLiteral("/Kestrovan.hhp"), dir.filePath("near.chm")});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(p.exitCode(), 0);
    p.setWorkingDirectory(far);
    p.start(QStringLiteral(KV_HELP_COMPILER), {QStringLiteral("Kestrovan.hhp"), dir.filePath("far.chm")});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(p.exitCode(), 0);

    EXPECT_TRUE(ReadAll(dir.filePath("near.chm")) == built);
    EXPECT_TRUE(ReadAll(dir.filePath("far.chm")) == built);
}

} // namespace
