#include "CurveFile.h"

QStringList CurveFileLines(const QByteArray& bytes)
{
    QStringList out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c == '\r' || c == '\n') {
            out << QString::fromLatin1(bytes.constData() + start, i - start);
            if (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < bytes.size())
        out << QString::fromLatin1(bytes.constData() + start, bytes.size() - start);
    return out;
}

QByteArray CurveFileBytes(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& l : lines) {
        bytes += l.toLatin1();
        bytes += "\r\n";
    }
    return bytes;
}

bool TCurveFile::Open(const QString& path, QString& error) { return file_.Open(path, error); }

QStringList TCurveFile::ReadLines()
{
    const QByteArray bytes = file_.ReadAll();
    return bytes.isEmpty() ? QStringList() : CurveFileLines(bytes);
}

bool TCurveFile::Save(const QStringList& lines) { return file_.SaveWhole(CurveFileBytes(lines)); }
