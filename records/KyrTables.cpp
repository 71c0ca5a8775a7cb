#include "KyrTables.h"

#include "DbfFile.h"

#include "Forms.h"
#include "KyrGlobals.h"
#include "Shell.h"
#include "SysUtils.h"
#include "Trace.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <memory>

std::function<void(const char*)> CheckDatabaseStep = [](const char*) {};

const QString TableNames[5] = {QStringLiteral("KyrCust"), QStringLiteral("KyrRecl"), QStringLiteral("KyrRes"),
                               QStringLiteral("KyrTechs"), QStringLiteral("KyrTypes")};

TReclTables::TReclTables() : owner_(new QObject)
{
    auto table = [this](const char* name, const char* tableName) {
        auto* t = new TTable(owner_);
        t->setObjectName(QLatin1String(name));
        t->TableName = QLatin1String(tableName);
        t->TableType = ttDBase;
        return t;
    };
    auto source = [this](const char* name, TDataSet* ds) {
        auto* s = new TDataSource(owner_);
        s->setObjectName(QLatin1String(name));
        s->DataSet = ds;
        return s;
    };
    auto query = [this](const char* name, const char* sql) {
        auto* q = new TQuery(owner_);
        q->setObjectName(QLatin1String(name));
        if (sql)
            q->SQL << QLatin1String(sql);
        return q;
    };
    tblTechs = table("tblTechs", "KyrTechs");
    dsTechs = source("dsTechs", tblTechs);
    qTechs = query("qTechs", "SELECT TECHID FROM KYRTECHS ORDER BY TECHID");
    tblReclosers = table("tblReclosers", "KyrRecl");
    dsReclosers = source("dsReclosers", tblReclosers);
    qReclosers = query("qReclosers", "SELECT * FROM KYRRECL ORDER BY RECLID");
    tblTypes = table("tblTypes", "KyrTypes");
    dsTypes = source("dsTypes", tblTypes);
    qTypes = query("qTypes", "SELECT *  FROM KYRTYPES ORDER BY TYPE");
    tblCust = table("tblCust", "KyrCust");
    dsCust = source("dsCust", tblCust);
    qCust = query("qCust", "SELECT * FROM KYRCUST ORDER BY CUSTID");
    tblRes = table("tblRes", "KyrRes");
    dsResults = source("dsResults", tblRes);
    qRes = query("qRes", nullptr);
    qRes->RequestLive = true;
}

TReclTables::~TReclTables() { delete owner_; }

namespace {

// The framework's date-time text: short date and long time; the time is left out at
// midnight exactly.
QString DateTimeText(const QDateTime& t)
{
    if (t.time() == QTime(0, 0))
        return DateToStr(t.date());
    return DateToStr(t.date()) + QLatin1Char(' ') + TimeToStr(t.time());
}

// "<title><path>", its last-write time and its size; the file is opened to take the
// size, and a file that cannot be opened raises the runtime's input/output error.
QString FileReport(const QString& title, const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("I/O error: %1: %2").arg(path, f.errorString()));
    const qint64 size = f.size();
    const QDateTime written = QFileInfo(path).lastModified();
    f.close();
    return title + path + QStringLiteral("\r\n") + QStringLiteral("Date: ") + DateTimeText(written) +
           QStringLiteral("\r\n") + QStringLiteral("Size: ") + QString::number(size) + QStringLiteral(" Bytes");
}

// Copies a file over an older copy; the older copy stays whole when the copy fails.
bool CopyOver(const QString& from, const QString& to) { return CopyFileWhole(from, to); }

// Appends every row of the table `from` to the table `to`, fields by name, through two
// table objects owned by the form that are freed also when the move fails. With
// `onlyIfMissing`, nothing is appended when `to` holds those rows already; true when
// rows were appended.
bool AppendTable(QObject* owner, const QString& from, const QString& to, bool onlyIfMissing = false)
{
    std::unique_ptr<TTable> source(new TTable(owner));
    std::unique_ptr<TTable> dest(new TTable(owner));
    source->TableName = from;
    source->TableType = ttDBase;
    dest->TableName = to;
    dest->TableType = ttDBase;
    TBatchMove move;
    move.Source = source.get();
    move.Destination = dest.get();
    move.Mode = batAppend;
    const bool append = !onlyIfMissing || !move.AlreadyAppended();
    if (append)
        move.Execute();
    source->Close();
    dest->Close();
    return append;
}

// The merge's note beside the update file: what the table held before the append
// ("B count size tail"), its first letter made "D" once the append is whole. Found with
// a "B" at the next start, the append was cut short somewhere inside its writes: the
// table goes back to that point and the rows are appended again, once.
QString JournalText(const DbfFile::AppendPoint& p)
{
    return QStringLiteral("B %1 %2 %3\n").arg(p.count).arg(p.size).arg(QString::fromLatin1(p.tail.toHex()));
}

bool ReadJournal(const QString& path, DbfFile::AppendPoint& p, bool& done)
{
    QByteArray bytes;
    QString error;
    if (!ReadRegularFile(path, 256 * 1024, bytes, error))
        return false;
    const QList<QByteArray> parts = bytes.trimmed().split(' ');
    if (parts.size() < 3 || (parts[0] != "B" && parts[0] != "D"))
        return false;
    bool okCount = false, okSize = false;
    p.count = parts[1].toInt(&okCount);
    p.size = parts[2].toLongLong(&okSize);
    p.tail = parts.size() > 3 ? QByteArray::fromHex(parts[3]) : QByteArray();
    done = parts[0] == "D";
    return okCount && okSize;
}

// One byte, written in place and on the disk before the call returns.
void MarkJournalDone(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError(QStringLiteral("I/O error: %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    const bool ok = ::pwrite(fd, "D", 1, 0) == 1 && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok)
        throw EInOutError(QStringLiteral("I/O error: %1: cannot be written").arg(path));
}

// Removes a merged update file, saying so in the trace, or in a box when it cannot.
void RemoveMerged(const QString& file, const QString& tracedName)
{
    if (QFile::remove(file)) {
        Trace(QStringLiteral("Deleted ") + tracedName);
    } else {
        Application.MessageBox(QStringLiteral("Error Deleting File"), file, MB_OK);
        Trace(QStringLiteral("Error Deleting File") + file);
    }
}

} // namespace

void TReclTables::CheckDatabase()
{
    Trace(QStringLiteral("fmReclData.CheckDatabase"));
    char buffer[101] = {};
    DWORD size = sizeof buffer;
    QString userName;
    if (GetUserNameA(buffer, &size))
        userName = QString::fromLocal8Bit(buffer);
    Trace(QStringLiteral("Username: ") + userName);

    for (const QString& T : TableNames) {
        const QString updateFile = DataFolder + QLatin1Char('/') + T + QStringLiteral("1.dbf");
        const QString mergeFile = DataFolder + QLatin1Char('/') + T + QStringLiteral("1.dbm");
        const QString tableFile = DataFolder + QLatin1Char('/') + T + QStringLiteral(".dbf");
        // A merge that an earlier start began and did not end (killed, or the file could
        // not be removed): its rows are appended unless the table holds them already.
        const QString journalFile = DataFolder + QLatin1Char('/') + T + QStringLiteral("1.dbs");
        if (FileExists(mergeFile) && FileExists(tableFile)) {
            DbfFile::AppendPoint point;
            bool done = false;
            if (ReadJournal(journalFile, point, done)) {
                if (!done) {
                    DbfFile(tableFile).rollBack(point);
                    AppendTable(owner_, mergeFile, T);
                    MarkJournalDone(journalFile);
                    Trace(QStringLiteral("Importing data: ") + mergeFile);
                }
            } else if (AppendTable(owner_, mergeFile, T, true)) {
                // A merge file of an earlier version, which kept no note.
                Trace(QStringLiteral("Importing data: ") + mergeFile);
            }
            RemoveMerged(mergeFile, mergeFile);
        }
        // A note without its merge file belongs to a merge that ended or never began.
        if (!FileExists(mergeFile) && FileExists(journalFile))
            QFile::remove(journalFile);

        if (!FileExists(updateFile))
            continue;
        Trace(FileReport(QStringLiteral("New File: "), updateFile));

        if (FileExists(tableFile)) {
            Trace(FileReport(QStringLiteral("Original File: "), tableFile));
            Trace(QStringLiteral("Importing data: ") + updateFile);
            if (!CopyOver(tableFile, T + QStringLiteral(".dbk"))) {
                const QString text = QStringLiteral("Error Copying File to: ") + T + QStringLiteral(".dbk");
                Application.MessageBox(text, tableFile, MB_OK);
                Trace(text);
            }
            // The update file's rows join the table (after its copy was taken); when the
            // append fails the table is left as it was, the error reaches the caller and
            // the update file stays for the next start. The file takes a name of its own
            // first: found under that name, it is a merge begun before, and the table's
            // rows tell whether its append was made.
            {
                // An update file that is no table stops the check under its own name.
                std::unique_ptr<TTable> probe(new TTable(owner_));
                probe->TableName = updateFile;
                probe->TableType = ttDBase;
                probe->Open();
            }
            CheckDatabaseStep("move");
            const DbfFile::AppendPoint point = DbfFile(tableFile).appendPoint();
            const bool noted = SaveBinaryFile(journalFile, JournalText(point).toLatin1());
            if (noted &&
                std::rename(QFile::encodeName(updateFile).constData(), QFile::encodeName(mergeFile).constData()) == 0) {
                CheckDatabaseStep("append");
                try {
                    AppendTable(owner_, mergeFile, T);
                } catch (...) {
                    // Nothing was appended: the update file gets its name back.
                    std::rename(QFile::encodeName(mergeFile).constData(), QFile::encodeName(updateFile).constData());
                    QFile::remove(journalFile);
                    throw;
                }
                MarkJournalDone(journalFile);
                CheckDatabaseStep("remove");
                RemoveMerged(mergeFile, updateFile);
                QFile::remove(journalFile);
            } else {
                const int cause = errno;
                QFile::remove(journalFile);
                errno = cause;
                // A file that cannot be moved aside cannot be removed either: merged, its
                // rows would come in again at every start, over the user's edits. It is
                // left for a start where it can be moved; the table stays as it is.
                const QString reason = QString::fromLocal8Bit(std::strerror(errno));
                const QString text = QStringLiteral("Update file not merged: it cannot be moved aside for the merge (") +
                                     reason + QStringLiteral("). The table is left as it was.");
                Application.MessageBox(text, updateFile, MB_OK);
                Trace(text + QStringLiteral(" ") + updateFile);
            }
        }

        if (userName.size() > 0) {
            const QString virtualFolder = QStringLiteral("C:\\Users\\") + userName +
                                          QStringLiteral("\\AppData\\Local\\VirtualStore\\ProgramData\\Kestrovan\\");
            const QString virtualFile = virtualFolder + T + QStringLiteral(".dbf");
            const QString localFile = WindowsPathToLocal(virtualFile);
            if (!localFile.isEmpty() && FileExists(localFile)) {
                Trace(QStringLiteral("Virtual File ") + virtualFile);
                Application.MessageBox(QStringLiteral("Virtual file found: ") + virtualFile + QStringLiteral("\r\n") +
                                           QStringLiteral("Make sure UAC for ") + QStringLiteral("\r\n") + DataFolder +
                                           QStringLiteral("\r\n") +
                                           QStringLiteral("is set for Modify/Write for user: ") + userName,
                                       QStringLiteral("Virtual File"), MB_OK);
                AppendTable(owner_, WindowsPathToLocal(virtualFolder + T), T);
                // A rename never replaces an older copy of that name: it fails, and the
                // rows come in again at the next check, as on the system it was made for.
                if (QFile::rename(localFile, WindowsPathToLocal(virtualFolder + T + QStringLiteral(".dbk"))))
                    Trace(QStringLiteral("Renamed File ") + T + QStringLiteral(".dbk"));
                else
                    Application.MessageBox(virtualFile, QStringLiteral("Error Renaming File"), MB_OK);
            }
        }
    }
}
