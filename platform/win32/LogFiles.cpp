#include "LogFiles.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool LogPathExists(const QString& path)
{
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0;
}

void MakeLogFileWritable(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid())
        fchmod(fd, (st.st_mode & 07777) | S_IRUSR | S_IWUSR);
    close(fd);
}

void RemoveLogPath(const QString& path) { unlink(QFile::encodeName(path).constData()); }

bool AppendLogBytes(const QString& path, const std::function<QByteArray()>& makeBytes)
{
    const int fd = open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat st;
    const bool plain = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (plain) {
        QByteArray bytes;
        try {
            bytes = makeBytes();
        } catch (...) {
            close(fd);
            throw;
        }
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
    }
    close(fd);
    return plain;
}

bool ProbeNewFile(const QString& fileName)
{
    const QByteArray probe = QFile::encodeName(fileName);
    const int fd = open(probe.constData(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    close(fd);
    unlink(probe.constData());
    return true;
}

QString OwnUserFolder(const QString& parent, const QString& prefix)
{
    const QString dir = parent + QLatin1Char('/') + prefix + QString::number(geteuid());
    const QByteArray path = QFile::encodeName(dir);
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat st;
    // Only a real folder of this user's that nobody else can write into.
    if (lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return {};
    if ((st.st_mode & 077) != 0 && chmod(path.constData(), 0700) != 0)
        return {};
    return dir;
}
