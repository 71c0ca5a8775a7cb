// The compiled help file as any other help reader sees it, read straight through libchm:
// each help context of the program names, as stored, an object of the file; the file can
// be searched and has a keyword index.
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>
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

} // namespace
