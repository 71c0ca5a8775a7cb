// The curve file "Kestrovan.rcf": opened and locked for as long as its owner keeps it,
// read as lines, saved whole. Each line is one curve record (KyrDataRules.h).
#pragma once

#include "SysUtils.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The lines of the curve file; lines end at CR, LF or CR LF. Bytes are kept as they are.
QStringList CurveFileLines(const QByteArray& bytes);
// The file's bytes for the lines: each line in Latin-1, ended with CR LF.
QByteArray CurveFileBytes(const QStringList& lines);

class TCurveFile {
public:
    // Opens (or creates) the file and locks it: writing is denied to others while it is
    // open. On failure returns false with the reason in error.
    bool Open(const QString& path, QString& error);
    bool IsOpen() const { return file_.IsOpen(); }
    // The lines of the file as it was opened.
    QStringList ReadLines();
    // Replaces the file whole with the lines: a new file beside the old one, locked
    // before it is written, takes the old one's place only once it is whole, so a failed
    // write leaves the old file as it was and no moment passes without the lock.
    bool Save(const QStringList& lines);
    void Close() { file_.Close(); }

private:
    TLockedFile file_;
};
