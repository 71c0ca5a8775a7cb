#include "ChmFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <chm_lib.h>
#include <cstring>

namespace hh {

namespace {
quint32 Le32(const QByteArray& b, qsizetype at)
{
    if (at < 0 || at + 4 > b.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}
quint16 Le16(const QByteArray& b, qsizetype at)
{
    if (at < 0 || at + 2 > b.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return quint16(p[0] | p[1] << 8);
}
QString CString(const QByteArray& b, qsizetype at)
{
    if (at < 0 || at >= b.size())
        return {};
    const qsizetype end = b.indexOf('\0', at);
    return QString::fromLatin1(b.mid(at, (end < 0 ? b.size() : end) - at));
}

// The full-text search data's bit stream: most significant bit first, numbers in the
// scale-2 code with a given root (a run of 1 bits, a 0, then the low bits).
class BitReader {
public:
    BitReader(const QByteArray& b, qsizetype at, qsizetype length) : b_(b), bit_(at * 8), end_((at + length) * 8) {}
    bool ok() const { return ok_; }
    quint64 number(int root)
    {
        int ones = 0;
        while (ok_ && bit() == 1)
            if (++ones > 32)
                ok_ = false;
        const int width = ones == 0 ? root : root + ones - 1;
        if (width > 63) {
            ok_ = false;  // no count of topics or places is that large
            return 0;
        }
        quint64 v = 0;
        for (int i = 0; i < width && ok_; ++i)
            v = v << 1 | bit();
        return ones == 0 ? v : v + (quint64(1) << width);
    }
    // Each topic's entry ends on a byte boundary.
    void align() { bit_ = (bit_ + 7) / 8 * 8; }

private:
    int bit()
    {
        if (bit_ >= end_ || bit_ / 8 >= b_.size()) {
            ok_ = false;
            return 0;
        }
        const int v = (static_cast<unsigned char>(b_[bit_ / 8]) >> (7 - bit_ % 8)) & 1;
        ++bit_;
        return v;
    }
    const QByteArray& b_;
    qsizetype bit_, end_;
    bool ok_ = true;
};

// A variable-length number of 7-bit groups, most significant first.
quint64 EncInt(const QByteArray& b, qsizetype& at)
{
    quint64 v = 0;
    for (int i = 0; i < 10 && at < b.size(); ++i) {
        const auto c = static_cast<unsigned char>(b[at++]);
        v = v << 7 | (c & 0x7F);
        if (!(c & 0x80))
            return v;
    }
    at = b.size();
    return v;
}

quint64 Le64(const QByteArray& b, qsizetype at) { return quint64(Le32(b, at)) | quint64(Le32(b, at + 4)) << 32; }

// The file's header and the header of its directory, with every offset and length
// inside the file: the library trusts them and would allocate, read and search what they
// claim (gigabytes from a few changed bytes).
bool HeadersFit(const QString& fileName, quint64& fileSize)
{
    // Only a regular file: the library would wait on a fifo and read a device for ever.
    const QFileInfo info(fileName);
    if (!info.isFile())
        return false;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    fileSize = static_cast<quint64>(f.size());
    const QByteArray itsf = f.read(0x60);
    if (itsf.size() < 0x58 || !itsf.startsWith("ITSF"))
        return false;
    const quint32 version = Le32(itsf, 0x04);
    const quint32 headerLength = Le32(itsf, 0x08);
    if ((version != 2 && version != 3) || headerLength < (version == 3 ? 0x60u : 0x58u) || headerLength > fileSize)
        return false;
    const auto fits = [fileSize](quint64 offset, quint64 length) {
        return offset <= fileSize && length <= fileSize - offset;
    };
    const quint64 dirOffset = Le64(itsf, 0x48);
    const quint64 dirLength = Le64(itsf, 0x50);
    const quint64 contentOffset = version == 3 ? Le64(itsf, 0x58) : dirOffset + dirLength;
    if (!fits(Le64(itsf, 0x38), Le64(itsf, 0x40)) || !fits(dirOffset, dirLength) || contentOffset > fileSize)
        return false;
    if (dirLength < 0x54 || !f.seek(static_cast<qint64>(dirOffset)))
        return false;
    const QByteArray itsp = f.read(0x54);
    if (itsp.size() < 0x54 || !itsp.startsWith("ITSP"))
        return false;
    const quint64 itspLength = Le32(itsp, 0x08);
    const quint64 chunkSize = Le32(itsp, 0x10);
    const quint64 chunks = Le32(itsp, 0x2C);
    if (itspLength < 0x54 || itspLength > dirLength || chunkSize < 0x20 || chunks == 0 ||
        chunkSize > (dirLength - itspLength) / chunks)
        return false;
    // The index root (-1 for none) and the first and last listing chunks are chunks of
    // the directory.
    const auto chunkOrNone = [chunks](quint32 n) { return n == 0xFFFFFFFFu || n < chunks; };
    return chunkOrNone(Le32(itsp, 0x1C)) && Le32(itsp, 0x20) < chunks && chunkOrNone(Le32(itsp, 0x24));
}

int Enumerate(chmFile*, chmUnitInfo* ui, void* context)
{
    static_cast<QStringList*>(context)->append(QString::fromUtf8(ui->path));
    return CHM_ENUMERATOR_CONTINUE;
}

QString HtmlText(QString s)
{
    s.replace(QLatin1String("&amp;"), QLatin1String("&"));
    s.replace(QLatin1String("&lt;"), QLatin1String("<"));
    s.replace(QLatin1String("&gt;"), QLatin1String(">"));
    s.replace(QLatin1String("&quot;"), QLatin1String("\""));
    return s;
}
} // namespace

QString ObjectPath(const QString& topic)
{
    QString t = topic;
    t.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!t.startsWith(QLatin1Char('/')))
        t.prepend(QLatin1Char('/'));
    return t;
}

ChmFile::~ChmFile()
{
    if (h_)
        chm_close(h_);
}

bool ChmFile::open(const QString& fileName)
{
    if (h_)
        chm_close(h_);
    h_ = nullptr;
    fileName_ = fileName;
    if (!HeadersFit(fileName, fileSize_))
        return false;
    h_ = chm_open(QFile::encodeName(fileName).constData());
    if (!h_)
        return false;
    readContentLength();
    objects_.clear();
    chm_enumerate(h_, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, Enumerate, &objects_);
    readSystem();
    readContextMap();
    if (!contentsFile_.isEmpty())
        readContents(ObjectPath(contentsFile_));
    if (indexFile_.isEmpty())
        for (const QString& o : objects_)
            if (o.endsWith(QLatin1String(".hhk"), Qt::CaseInsensitive)) {
                indexFile_ = o;
                break;
            }
    if (!indexFile_.isEmpty())
        index_ = readSitemap(ObjectPath(indexFile_));
    return true;
}

bool ChmFile::exists(const QString& objectPath) const
{
    chmUnitInfo ui;
    return h_ && chm_resolve_object(h_, objectPath.toUtf8().constData(), &ui) == CHM_RESOLVE_SUCCESS;
}

QByteArray ChmFile::read(const QString& objectPath) const
{
    chmUnitInfo ui;
    if (!h_ || chm_resolve_object(h_, objectPath.toUtf8().constData(), &ui) != CHM_RESOLVE_SUCCESS)
        return {};
    // An object of the uncompressed section lies inside the file; one of the compressed
    // section inside what that section unpacks to.
    const quint64 limit = ui.space == CHM_UNCOMPRESSED ? fileSize_ : contentLength_;
    if (ui.start > limit || ui.length > limit - ui.start || ui.length > (64u << 20))
        return {};
    QByteArray data(static_cast<qsizetype>(ui.length), '\0');
    const LONGINT64 n = chm_retrieve_object(h_, &ui, reinterpret_cast<unsigned char*>(data.data()), 0,
                                            static_cast<LONGINT64>(ui.length));
    data.resize(n < 0 ? 0 : static_cast<qsizetype>(n));
    return data;
}

// The compressed section's reset table gives the length the section unpacks to. LZX
// packs at best some thousands to one; a claim beyond that is no real file's.
void ChmFile::readContentLength()
{
    contentLength_ = 0;
    chmUnitInfo ui;
    if (chm_resolve_object(h_, "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
                               "InstanceData/ResetTable", &ui) != CHM_RESOLVE_SUCCESS ||
        ui.space != CHM_UNCOMPRESSED || ui.start > fileSize_ || ui.length < 0x28 || ui.length > fileSize_ - ui.start)
        return;
    QByteArray table(0x28, '\0');
    if (chm_retrieve_object(h_, &ui, reinterpret_cast<unsigned char*>(table.data()), 0, 0x28) != 0x28)
        return;
    const quint64 unpacked = Le64(table, 0x10);
    contentLength_ = std::min<quint64>(unpacked, fileSize_ * 4096);
}

// The system object: a version word, then entries of code, length and data. Code 0
// names the contents file, 2 the default topic, 3 the title.
void ChmFile::readSystem()
{
    const QByteArray sys = read(QStringLiteral("/#SYSTEM"));
    qsizetype at = 4;
    while (at + 4 <= sys.size()) {
        const quint16 code = Le16(sys, at);
        const quint16 len = Le16(sys, at + 2);
        const qsizetype data = at + 4;
        if (data + len > sys.size())
            break;
        const QString text = CString(sys.left(data + len), data);
        if (code == 0)
            contentsFile_ = text;
        else if (code == 1)
            indexFile_ = text;
        else if (code == 2)
            defaultTopic_ = text.isEmpty() ? QString() : ObjectPath(text);
        else if (code == 3)
            title_ = text;
        at = data + len;
    }
    if (contentsFile_.isEmpty()) {
        for (const QString& o : objects_)
            if (o.endsWith(QLatin1String(".hhc"), Qt::CaseInsensitive)) {
                contentsFile_ = o;
                break;
            }
    }
}

// The context map: a size, then pairs of context number and offset into the strings
// object. The stored string names the topic's object; chmcmd, though, stores the topic's
// path as it found it on the build machine, so in such a file the topic is the object
// with the same last path component.
void ChmFile::readContextMap()
{
    const QByteArray ivb = read(QStringLiteral("/#IVB"));
    const QByteArray strings = read(QStringLiteral("/#STRINGS"));
    const qsizetype size = std::min<qsizetype>(Le32(ivb, 0), ivb.size() - 4);
    for (qsizetype at = 4; at + 8 <= 4 + size; at += 8) {
        const int context = static_cast<int>(Le32(ivb, at));
        const QString stored = CString(strings, static_cast<qsizetype>(Le32(ivb, at + 4)));
        if (stored.isEmpty())
            continue;
        QString topic = ObjectPath(stored);
        if (!exists(topic))
            topic = findByLastComponent(stored.section(QRegularExpression(QStringLiteral("[/\\\\]")), -1));
        if (!topic.isEmpty())
            contextMap_.insert(context, topic);
    }
}

QString ChmFile::findByLastComponent(const QString& name) const
{
    if (name.isEmpty())
        return {};
    for (const QString& o : objects_)
        if (o.compare(QLatin1Char('/') + name, Qt::CaseInsensitive) == 0)
            return o;
    for (const QString& o : objects_)
        if (o.endsWith(QLatin1Char('/') + name, Qt::CaseInsensitive))
            return o;
    return {};
}

QString ChmFile::topicForContext(int context) const { return contextMap_.value(context); }

// The table of contents is a site map: nested lists of objects whose parameters name the
// entry and its topic.
void ChmFile::readContents(const QString& objectPath) { contents_ = readSitemap(objectPath); }

QList<ContentsEntry> ChmFile::readSitemap(const QString& objectPath) const
{
    QList<ContentsEntry> entries;
    const QString html = QString::fromLatin1(read(objectPath));
    static const QRegularExpression token(
        QStringLiteral("<\\s*(/?)\\s*(ul|object)\\b[^>]*>|<\\s*param\\s+name\\s*=\\s*\"([^\"]*)\"\\s+value\\s*=\\s*\"([^\"]*)\"[^>]*>"),
        QRegularExpression::CaseInsensitiveOption);
    int depth = -1;
    ContentsEntry entry;
    bool inObject = false;
    auto it = token.globalMatch(html);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString tag = m.captured(2).toLower();
        const bool closing = !m.captured(1).isEmpty();
        if (tag == QLatin1String("ul")) {
            depth += closing ? -1 : 1;
        } else if (tag == QLatin1String("object")) {
            if (!closing) {
                inObject = true;
                entry = ContentsEntry{};
                entry.depth = std::max(depth, 0);
            } else if (inObject) {
                inObject = false;
                if (!entry.name.isEmpty())
                    entries.append(entry);
            }
        } else if (inObject) {
            const QString name = m.captured(3).toLower();
            const QString value = HtmlText(m.captured(4));
            if (name == QLatin1String("name"))
                entry.name = value;
            else if (name == QLatin1String("local"))
                entry.local = ObjectPath(value);
        }
    }
    return entries;
}

// The search data: a header, the topics' location lists, and a tree of word nodes
// whose leaves, chained from the first, hold the words in order, each sharing a prefix
// with the one before it.
QList<int> ChmFile::topicsWithWord(const QByteArray& fts, const QByteArray& word) const
{
    QList<int> topics;
    if (fts.size() < 0x32)
        return topics;
    const int docRoot = static_cast<unsigned char>(fts[0x1F]);
    const int countRoot = static_cast<unsigned char>(fts[0x21]);
    const int locRoot = static_cast<unsigned char>(fts[0x23]);
    const quint32 nodeLength = Le32(fts, 0x2E);
    if (nodeLength < 8 || nodeLength > static_cast<quint32>(fts.size()))
        return topics;
    quint32 node = Le32(fts, 0x08);
    // Down the first entries of the index nodes to the first leaf.
    for (int level = Le16(fts, 0x18); level > 1; --level) {
        const int len = node + 2 < static_cast<quint32>(fts.size()) ? static_cast<unsigned char>(fts[node + 2]) : 0;
        node = Le32(fts, qsizetype(node) + 3 + len);
    }
    for (int leaves = 0; node != 0 && leaves <= fts.size() / static_cast<qsizetype>(nodeLength); ++leaves) {
        const QByteArray leaf = fts.mid(node, nodeLength);
        if (leaf.size() < 8)
            break;
        const qsizetype end = leaf.size() - Le16(leaf, 6);
        QByteArray prev;
        qsizetype at = 8;
        while (at + 2 <= end) {
            const int len = static_cast<unsigned char>(leaf[at]);
            const int keep = static_cast<unsigned char>(leaf[at + 1]);
            if (len < 1 || keep > prev.size())
                return topics;
            const QByteArray w = prev.left(keep) + leaf.mid(at + 2, len - 1);
            at += 1 + len;
            at += 1;  // where the word stands: 0 in the text, 1 in the title
            const quint64 docs = EncInt(leaf, at);
            const quint32 offset = Le32(leaf, at);
            at += 6;
            const quint64 length = EncInt(leaf, at);
            if (at > end)
                return topics;
            prev = w;
            if (w != word)
                continue;
            BitReader bits(fts, offset, static_cast<qsizetype>(std::min<quint64>(length, fts.size())));
            quint64 doc = 0;
            for (quint64 d = 0; d < docs && bits.ok(); ++d) {
                doc += bits.number(docRoot);
                const quint64 places = bits.number(countRoot);
                for (quint64 p = 0; p < places && bits.ok(); ++p)
                    bits.number(locRoot);
                bits.align();
                if (bits.ok() && !topics.contains(static_cast<int>(doc)))
                    topics.append(static_cast<int>(doc));
            }
        }
        node = Le32(leaf, 0);
    }
    return topics;
}

QList<SearchHit> ChmFile::search(const QString& words) const
{
    QList<SearchHit> hits;
    const QByteArray fts = read(QStringLiteral("/$FIftiMain"));
    static const QRegularExpression split(QStringLiteral("[^\\w]+"), QRegularExpression::UseUnicodePropertiesOption);
    const QStringList wanted = words.toLower().split(split, Qt::SkipEmptyParts);
    if (fts.isEmpty() || wanted.isEmpty())
        return hits;
    QList<int> topics;
    for (int i = 0; i < wanted.size(); ++i) {
        const QList<int> with = topicsWithWord(fts, wanted[i].toUtf8());
        if (i == 0) {
            topics = with;
        } else {
            QList<int> both;
            for (int t : topics)
                if (with.contains(t))
                    both.append(t);
            topics = both;
        }
    }
    std::sort(topics.begin(), topics.end());
    const QByteArray table = read(QStringLiteral("/#TOPICS"));
    const QByteArray urls = read(QStringLiteral("/#URLTBL"));
    const QByteArray urlStrings = read(QStringLiteral("/#URLSTR"));
    const QByteArray strings = read(QStringLiteral("/#STRINGS"));
    for (int t : topics) {
        const qsizetype entry = qsizetype(t) * 16;
        if (entry + 16 > table.size())
            continue;
        const quint32 url = Le32(table, entry + 8);
        const QString local = CString(urlStrings, qsizetype(Le32(urls, qsizetype(url) + 8)) + 8);
        if (local.isEmpty())
            continue;
        const quint32 title = Le32(table, entry + 4);
        SearchHit h;
        h.local = ObjectPath(local);
        h.title = title == 0xFFFFFFFFu ? local : CString(strings, title);
        if (h.title.isEmpty())
            h.title = local;
        hits.append(h);
    }
    return hits;
}

} // namespace hh
