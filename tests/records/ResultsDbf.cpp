#include "ResultsDbf.h"

#include <QFile>

namespace resultsdbf {

namespace {
int Get16(const QByteArray& b, int at) { return uchar(b[at]) | (uchar(b[at + 1]) << 8); }
int Get32(const QByteArray& b, int at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }
} // namespace

std::vector<Row> ReadRows(const QString& path)
{
    std::vector<Row> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    const QByteArray b = file.readAll();
    if (b.size() < 32)
        return rows;
    const int count = Get32(b, 4);
    const int headerLength = Get16(b, 8);
    const int recordLength = Get16(b, 10);
    struct Desc {
        QString name;
        char type;
        int length;
    };
    std::vector<Desc> fields;
    for (int at = 32; at + 32 <= headerLength && b[at] != 0x0D; at += 32) {
        const QByteArray fd = b.mid(at, 32);
        fields.push_back({QString::fromLatin1(fd.left(11).constData()), fd[11], uchar(fd[16])});
    }
    for (int r = 0; r < count; ++r) {
        const int at = headerLength + r * recordLength;
        if (at + recordLength > b.size())
            break;
        if (b[at] == '*')
            continue;
        Row row;
        int pos = at + 1;
        for (const Desc& f : fields) {
            const QString raw = QString::fromLatin1(b.mid(pos, f.length));
            pos += f.length;
            QString v = raw;
            if (f.type == 'C') {
                while (!v.isEmpty() && v.back() == QLatin1Char(' '))
                    v.chop(1);
            } else {
                v = v.trimmed();
            }
            row[f.name] = v;
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace resultsdbf
