#include "DbfFile.h"

#include "DbError.h"
#include "SysUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <ctime>
#include <csignal>
#include <fcntl.h>
#include <shapefil.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// Windows-1252 characters 0x80..0x9F; the rest of the code page equals Latin-1.
// Unassigned positions read as the C1 control of the same number.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString Errno() { return QString::fromLocal8Bit(std::strerror(errno)); }

// A dBASE number: blanks, a sign, digits and at most one point, with at least one
// digit. Anything else (an exponent, "nan", "inf", a '*' of another writer's overflow)
// is no number, so no infinity or NaN can come out of a table.
bool ParseNumber(const char* p, int n, double& out)
{
    while (n > 0 && *p == ' ') {
        ++p;
        --n;
    }
    while (n > 0 && p[n - 1] == ' ')
        --n;
    if (n == 0)
        return false;
    const char* end = p + n;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int digits = 0, points = 0;
    for (const char* q = p; q < end; ++q) {
        if (*q >= '0' && *q <= '9')
            ++digits;
        else if (*q == '.' && ++points == 1)
            continue;
        else
            return false;
    }
    if (digits == 0)
        return false;
    double v = 0;
    const auto r = std::from_chars(p, end, v, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v))
        return false;
    out = negative ? -v : v;
    return true;
}

// shapelib derives the file name from the table name (it would open "x.dbf" for
// "x.dbk"); its file hook opens the file the engine was asked for instead.
thread_local QByteArray OpenPath;
thread_local QByteArray OpenError;

SAFile OpenExactFile(const char* filename, const char* access)
{
    const size_t n = std::strlen(filename);
    if (n >= 4 && strcasecmp(filename + n - 4, ".dbf") == 0)
        return reinterpret_cast<SAFile>(std::fopen(OpenPath.constData(), access));
    return nullptr;  // no code page file: the header's byte says it
}

void KeepError(const char* message) { OpenError = message; }

} // namespace

QString DbfFile::decode(const char* bytes, int n)
{
    QString s(n, Qt::Uninitialized);
    QChar* out = s.data();
    for (int i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        out[i] = (c >= 0x80 && c < 0xA0) ? QChar(kCp1252High[c - 0x80]) : QChar(c);
    }
    return s;
}

QByteArray DbfFile::encode(const QString& text)
{
    QByteArray b(text.size(), Qt::Uninitialized);
    for (int i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        char c = '?';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            c = static_cast<char>(u);
        } else {
            for (int k = 0; k < 32; ++k)
                if (kCp1252High[k] == u) {
                    c = static_cast<char>(0x80 + k);
                    break;
                }
        }
        b[i] = c;
    }
    return b;
}

DbfFile::DbfFile(const QString& path) : path_(path)
{
    const QByteArray native = QFile::encodeName(path);
    fd_ = ::open(native.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);  // never waits on a fifo
    writable_ = fd_ >= 0;
    if (fd_ < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd_ = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        fail(QStringLiteral("Cannot open table %1: %2").arg(path, Errno()));
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        fail(QStringLiteral("Cannot open table %1: not a file").arg(path));
    }

    // The structure through shapelib: field names, kinds, widths and offsets.
    SAHooks hooks;
    SASetupDefaultHooks(&hooks);
    hooks.FOpen = OpenExactFile;
    hooks.Error = KeepError;
    OpenPath = native;
    OpenError.clear();
    DBFHandle h = DBFOpenLL(native.constData(), "rb", &hooks);
    if (!h) {
        ::close(fd_);
        fd_ = -1;
        fail(QStringLiteral("Cannot open table %1: not a dBASE table%2")
                 .arg(path, OpenError.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(OpenError))));
    }
    headerLength_ = h->nHeaderLength;
    recordLength_ = h->nRecordLength;
    int sum = 1;
    bool sane = h->nFields > 0;
    for (int i = 0; i < h->nFields; ++i) {
        char name[XBASE_FLDNAME_LEN_READ + 1] = {};
        int width = 0, decimals = 0;
        DBFGetFieldInfo(h, i, name, &width, &decimals);
        DbfFieldDef f;
        f.name = QString::fromLatin1(name).trimmed();
        f.type = h->pachFieldType[i];
        f.width = h->panFieldSize[i];
        f.decimals = h->panFieldDecimals[i];
        f.offset = h->panFieldOffset[i];
        if (f.width <= 0 || f.offset != sum || f.name.isEmpty())
            sane = false;
        sum += f.width;
        fields_.push_back(f);
    }
    DBFClose(h);
    if (!sane || sum != recordLength_ || headerLength_ < 32 * static_cast<int>(fields_.size() + 1)) {
        ::close(fd_);
        fd_ = -1;
        fail(QStringLiteral("Cannot open table %1: the table's header is damaged").arg(path));
    }
}

DbfFile::~DbfFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void DbfFile::fail(const QString& what) const { throw EDatabaseError(what); }

namespace {

// The lock wait is cut into slices by a thread timer whose signal interrupts the
// blocking call (the handler does nothing; the signal is installed without SA_RESTART).
// Waiting in the kernel keeps the place in the lock's queue that polling would lose to
// a busy writer.
void WakeLockWaiter(int) {}

int LockWaitSignal()
{
    static const int signo = [] {
        const int s = SIGRTMIN + 4;
        struct sigaction sa {};
        sa.sa_handler = WakeLockWaiter;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        return ::sigaction(s, &sa, nullptr) == 0 ? s : -1;
    }();
    return signo;
}

struct SliceTimer {
    timer_t id {};
    bool armed = false;
    SliceTimer()
    {
        const int signo = LockWaitSignal();
        if (signo < 0)
            return;
        struct sigevent ev {};
        ev.sigev_notify = SIGEV_THREAD_ID;
        ev.sigev_signo = signo;
        ev._sigev_un._tid = ::gettid();
        if (::timer_create(CLOCK_MONOTONIC, &ev, &id) != 0)
            return;
        struct itimerspec slice {};
        slice.it_value.tv_nsec = 50 * 1000 * 1000;
        slice.it_interval.tv_nsec = 50 * 1000 * 1000;
        armed = ::timer_settime(id, 0, &slice, nullptr) == 0;
        if (!armed)
            ::timer_delete(id);
    }
    ~SliceTimer()
    {
        if (armed)
            ::timer_delete(id);
    }
    SliceTimer(const SliceTimer&) = delete;
    SliceTimer& operator=(const SliceTimer&) = delete;
};

} // namespace

void DbfFile::lock(bool exclusive) const
{
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0)
        return;
    if (errno != EAGAIN && errno != EACCES && errno != EINTR)
        fail(QStringLiteral("Cannot lock table %1: %2").arg(path_, Errno()));
    // Another program may hold the file for as long as it likes: the wait is bounded,
    // so the program (waiting on its GUI thread) answers again after a few seconds.
    // Nothing is pumped meanwhile: a timer or a click run from inside a half-done
    // post could reach this same table again.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
    SliceTimer slices;
    for (;;) {
        if (::fcntl(fd_, slices.armed ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0)
            return;
        if (errno != EINTR && errno != EAGAIN && errno != EACCES)
            fail(QStringLiteral("Cannot lock table %1: %2").arg(path_, Errno()));
        if (std::chrono::steady_clock::now() >= deadline)
            fail(QStringLiteral("Table %1 is in use: another program holds it locked").arg(path_));
        if (!slices.armed)
            ::usleep(10000);
    }
}

void DbfFile::unlock() const
{
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    ::fcntl(fd_, F_OFD_SETLK, &fl);
}

namespace {
// Holds the file's advisory lock for a scope.
struct Locker {
    const DbfFile* f;
    Locker(const DbfFile* file, bool exclusive) : f(file) { f->lock(exclusive); }
    ~Locker() { f->unlock(); }
};
} // namespace

#define KV_LOCK(exclusive) Locker locker_(this, exclusive)

int DbfFile::fieldIndex(const QString& name) const
{
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

int DbfFile::recordCount() const
{
    unsigned char h[8];
    ssize_t n;
    do {
        n = ::pread(fd_, h, 8, 0);
    } while (n < 0 && errno == EINTR);
    if (n != 8)
        fail(QStringLiteral("Cannot read table %1: %2").arg(path_, n < 0 ? Errno() : QStringLiteral("file too short")));
    const quint32 count = h[4] | (h[5] << 8) | (h[6] << 16) | (quint32(h[7]) << 24);
    // Records the header counts but the file does not hold (never written by this
    // engine) are left out rather than read as garbage.
    struct stat st {};
    if (::fstat(fd_, &st) == 0) {
        const qint64 fits = (st.st_size - headerLength_) / recordLength_;
        if (fits < count)
            return static_cast<int>(std::max<qint64>(fits, 0));
    }
    return static_cast<int>(count);
}

QByteArray DbfFile::readRecord(int recno) const
{
    QByteArray b(recordLength_, Qt::Uninitialized);
    const off_t off = static_cast<off_t>(headerLength_) + static_cast<off_t>(recno) * recordLength_;
    qint64 got = 0;
    while (got < recordLength_) {
        const ssize_t n = ::pread(fd_, b.data() + got, recordLength_ - got, off + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(QStringLiteral("Cannot read record %1 of table %2: %3")
                     .arg(recno + 1)
                     .arg(path_, n < 0 ? Errno() : QStringLiteral("file too short")));
        got += n;
    }
    return b;
}

DbfFile::Mapping::Mapping(void* base, size_t length, int headerLength)
    : base_(base), length_(length), records_(static_cast<const char*>(base) + headerLength)
{
}

DbfFile::Mapping::Mapping(Mapping&& o) noexcept : base_(o.base_), length_(o.length_), records_(o.records_)
{
    o.base_ = nullptr;
    o.records_ = nullptr;
    o.length_ = 0;
}

DbfFile::Mapping& DbfFile::Mapping::operator=(Mapping&& o) noexcept
{
    if (this != &o) {
        if (base_)
            ::munmap(base_, length_);
        base_ = o.base_;
        length_ = o.length_;
        records_ = o.records_;
        o.base_ = nullptr;
        o.records_ = nullptr;
        o.length_ = 0;
    }
    return *this;
}

DbfFile::Mapping::~Mapping()
{
    if (base_)
        ::munmap(base_, length_);
}

DbfFile::Mapping DbfFile::mapRecords(int count) const
{
    if (count <= 0)
        return Mapping();
    const size_t len = static_cast<size_t>(headerLength_) + static_cast<size_t>(count) * recordLength_;
    void* p = ::mmap(nullptr, len, PROT_READ, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED)
        fail(QStringLiteral("Cannot read table %1: %2").arg(path_, Errno()));
    return Mapping(p, len, headerLength_);
}

QByteArray DbfFile::blankRecord() const { return QByteArray(recordLength_, ' '); }

void DbfFile::writeAll(qint64 offset, const char* data, qint64 n)
{
    qint64 done = 0;
    while (done < n) {
        const ssize_t w = ::pwrite(fd_, data + done, n - done, offset + done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            fail(QStringLiteral("Cannot write table %1: %2").arg(path_, w < 0 ? Errno() : QStringLiteral("no space")));
        done += w;
    }
}

void DbfFile::sync()
{
    while (::fdatasync(fd_) != 0) {
        if (errno != EINTR)
            fail(QStringLiteral("Cannot write table %1: %2").arg(path_, Errno()));
    }
}

void DbfFile::writeHeaderCount(int count)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    localtime_r(&now, &tm);
    unsigned char h[7];
    h[0] = static_cast<unsigned char>(tm.tm_year > 255 ? 255 : tm.tm_year);
    h[1] = static_cast<unsigned char>(tm.tm_mon + 1);
    h[2] = static_cast<unsigned char>(tm.tm_mday);
    const quint32 c = static_cast<quint32>(count);
    h[3] = c & 0xFF;
    h[4] = (c >> 8) & 0xFF;
    h[5] = (c >> 16) & 0xFF;
    h[6] = (c >> 24) & 0xFF;
    writeAll(1, reinterpret_cast<const char*>(h), 7);
}

void DbfFile::writeRecord(int recno, const QByteArray& record)
{
    if (!writable_)
        fail(QStringLiteral("Cannot write table %1: the file is read-only").arg(path_));
    KV_LOCK(true);
    if (recno < 0 || recno >= recordCount())
        fail(QStringLiteral("Cannot write record %1 of table %2: no such record").arg(recno + 1).arg(path_));
    writeAll(static_cast<qint64>(headerLength_) + static_cast<qint64>(recno) * recordLength_, record.constData(),
             recordLength_);
    sync();
}

void DbfFile::markDeleted(int recno)
{
    QByteArray r = readRecord(recno);
    r[0] = '*';
    writeRecord(recno, r);
}

DbfFile::Stamp DbfFile::stamp() const
{
    struct stat st {};
    Stamp s;
    if (::fstat(fd_, &st) == 0) {
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.size = st.st_size;
        s.mtimeNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    }
    return s;
}

int DbfFile::appendRecord(const QByteArray& record) { return appendRecords({record}); }

int DbfFile::appendRecords(const std::vector<QByteArray>& records, Stamp* before, Stamp* after)
{
    if (!writable_)
        fail(QStringLiteral("Cannot write table %1: the file is read-only").arg(path_));
    KV_LOCK(true);
    if (before)
        *before = stamp();
    const int count = recordCount();
    if (records.empty())
        return count;
    const qint64 offset = static_cast<qint64>(headerLength_) + static_cast<qint64>(count) * recordLength_;
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        fail(QStringLiteral("Cannot write table %1: %2").arg(path_, Errno()));
    // What lies behind the last record (the end-of-file mark) is put back on failure.
    QByteArray tail;
    if (st.st_size > offset) {
        tail.resize(static_cast<int>(std::min<qint64>(st.st_size - offset, 65536)));
        const ssize_t n = ::pread(fd_, tail.data(), tail.size(), offset);
        tail.resize(n > 0 ? static_cast<int>(n) : 0);
    }
    QByteArray all;
    all.reserve(static_cast<qsizetype>(records.size()) * recordLength_ + 1);
    for (const QByteArray& r : records) {
        if (r.size() != recordLength_)
            fail(QStringLiteral("Cannot write table %1: bad record length").arg(path_));
        all += r;
    }
    // Readers go either by the header count or by the end-of-file mark. The records go
    // in marked deleted, which every reader skips; then the count takes them in; then
    // one write clears their marks. At every step, and after a kill between two of
    // them, both kinds of reader see the same rows.
    QByteArray hidden = all;
    for (size_t i = 0; i < records.size(); ++i)
        hidden[static_cast<qsizetype>(i) * recordLength_] = '*';
    hidden += '\x1A';
    try {
        writeAll(offset, hidden.constData(), hidden.size());
        sync();
        writeHeaderCount(count + static_cast<int>(records.size()));
        sync();
        writeAll(offset, all.constData(), all.size());
        sync();
    } catch (...) {
        const int saved = errno;
        if (::ftruncate(fd_, st.st_size) == 0 && !tail.isEmpty()) {
            const ssize_t n = ::pwrite(fd_, tail.constData(), tail.size(), offset);
            (void)n;
        }
        unsigned char h[4] = {static_cast<unsigned char>(count & 0xFF), static_cast<unsigned char>((count >> 8) & 0xFF),
                              static_cast<unsigned char>((count >> 16) & 0xFF),
                              static_cast<unsigned char>((count >> 24) & 0xFF)};
        const ssize_t n = ::pwrite(fd_, h, 4, 4);
        (void)n;
        errno = saved;
        throw;
    }
    if (after)
        *after = stamp();
    return count;
}

DbfFile::AppendPoint DbfFile::appendPoint() const
{
    KV_LOCK(false);
    AppendPoint p;
    p.count = recordCount();
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        fail(QStringLiteral("Cannot read table %1: %2").arg(path_, Errno()));
    p.size = st.st_size;
    const qint64 offset = static_cast<qint64>(headerLength_) + static_cast<qint64>(p.count) * recordLength_;
    if (p.size > offset) {
        p.tail.resize(static_cast<int>(std::min<qint64>(p.size - offset, 65536)));
        const ssize_t n = ::pread(fd_, p.tail.data(), p.tail.size(), offset);
        p.tail.resize(n > 0 ? static_cast<int>(n) : 0);
    }
    return p;
}

void DbfFile::rollBack(const AppendPoint& p)
{
    if (!writable_)
        fail(QStringLiteral("Cannot write table %1: the file is read-only").arg(path_));
    KV_LOCK(true);
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_size < p.size || p.count < 0)
        fail(QStringLiteral("Cannot roll back table %1: it is not the table the merge began with").arg(path_));
    const qint64 offset = static_cast<qint64>(headerLength_) + static_cast<qint64>(p.count) * recordLength_;
    if (::ftruncate(fd_, p.size) != 0)
        fail(QStringLiteral("Cannot write table %1: %2").arg(path_, Errno()));
    if (!p.tail.isEmpty())
        writeAll(offset, p.tail.constData(), p.tail.size());
    writeHeaderCount(p.count);
    sync();
}

void DbfFile::empty()
{
    if (!writable_)
        fail(QStringLiteral("Cannot empty table %1: the file is read-only").arg(path_));
    KV_LOCK(true);
    writeHeaderCount(0);
    sync();
    const char eof = '\x1A';
    writeAll(headerLength_, &eof, 1);
    if (::ftruncate(fd_, headerLength_ + 1) != 0)
        fail(QStringLiteral("Cannot empty table %1: %2").arg(path_, Errno()));
}

QString DbfFile::text(const char* record, int field) const
{
    const DbfFieldDef& f = fields_[field];
    const char* p = record + f.offset;
    int n = f.width;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
        --n;
    return decode(p, n);
}

bool DbfFile::isNull(const char* record, int field) const
{
    const DbfFieldDef& f = fields_[field];
    const char* p = record + f.offset;
    switch (f.type) {
    case 'N':
    case 'F': {
        double v;
        return !ParseNumber(p, f.width, v);
    }
    case 'D':
        return !value(record, field).isValid();
    case 'L':
        return !std::strchr("TtYyFfNn", p[0]) || p[0] == '\0';
    default:
        for (int i = 0; i < f.width; ++i)
            if (p[i] != ' ' && p[i] != '\0')
                return false;
        return true;
    }
}

QVariant DbfFile::value(const char* record, int field) const
{
    const DbfFieldDef& f = fields_[field];
    const char* p = record + f.offset;
    switch (f.type) {
    case 'N':
    case 'F': {
        double v;
        if (!ParseNumber(p, f.width, v))
            return QVariant();
        if (f.decimals == 0 && f.type == 'N' && std::fabs(v) < 9.0e15)
            return QVariant(static_cast<qlonglong>(v));
        return QVariant(v);
    }
    case 'D': {
        if (f.width < 8)
            return QVariant();
        const QDate d = QDate::fromString(QString::fromLatin1(p, 8), QStringLiteral("yyyyMMdd"));
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case 'L':
        if (p[0] == 'T' || p[0] == 't' || p[0] == 'Y' || p[0] == 'y')
            return QVariant(true);
        if (p[0] == 'F' || p[0] == 'f' || p[0] == 'N' || p[0] == 'n')
            return QVariant(false);
        return QVariant();
    default: {
        const QString s = text(record, field);
        return s.isEmpty() ? QVariant() : QVariant(s);
    }
    }
}

void DbfFile::setValue(QByteArray& record, int field, const QVariant& v) const
{
    const DbfFieldDef& f = fields_[field];
    char* p = record.data() + f.offset;
    QByteArray bytes;
    const bool null = !v.isValid() || v.isNull() ||
                      (v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty() && f.type != 'C');
    if (null) {
        std::memset(p, ' ', f.width);
        return;
    }
    switch (f.type) {
    case 'N':
    case 'F': {
        double d;
        if (v.typeId() == QMetaType::QString)
            d = StrToFloat(v.toString());
        else {
            bool ok = false;
            d = v.toDouble(&ok);
            if (!ok)
                throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(v.toString()));
        }
        if (!std::isfinite(d))
            fail(QStringLiteral("Value out of range for field %1 of table %2").arg(f.name, path_));
        if (f.decimals == 0 && v.typeId() == QMetaType::QString && d != std::trunc(d))
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
        bytes = QByteArray::fromStdString(FixedC(d, f.decimals));
        if (bytes.startsWith('-') && bytes.count('0') + bytes.count('.') == bytes.size() - 1)
            bytes.remove(0, 1);  // no negative zero
        if (bytes.size() > f.width)
            fail(QStringLiteral("Value %1 does not fit field %2 (width %3) of table %4")
                     .arg(QString::fromLatin1(bytes), f.name)
                     .arg(f.width)
                     .arg(path_));
        bytes = QByteArray(f.width - bytes.size(), ' ') + bytes;
        break;
    }
    case 'D': {
        QDate d;
        if (v.typeId() == QMetaType::QDate)
            d = v.toDate();
        else if (v.typeId() == QMetaType::QDateTime)
            d = v.toDateTime().date();
        else {
            const QString s = v.toString().trimmed();
            d = QDate::fromString(s, ShortDateFormat());
            if (!d.isValid())
                throw EConvertError(QStringLiteral("'%1' is not a valid date").arg(s));
        }
        if (!d.isValid() || d.year() < 1 || d.year() > 9999)
            throw EConvertError(QStringLiteral("'%1' is not a valid date").arg(v.toString()));
        bytes = d.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        if (bytes.size() > f.width)
            fail(QStringLiteral("Date does not fit field %1 of table %2").arg(f.name, path_));
        bytes += QByteArray(f.width - bytes.size(), ' ');
        break;
    }
    case 'L': {
        bool b;
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed().toUpper();
            if (s == QLatin1String("T") || s == QLatin1String("TRUE") || s == QLatin1String("Y") ||
                s == QLatin1String("YES"))
                b = true;
            else if (s == QLatin1String("F") || s == QLatin1String("FALSE") || s == QLatin1String("N") ||
                     s == QLatin1String("NO"))
                b = false;
            else
                throw EConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(v.toString()));
        } else {
            b = v.toBool();
        }
        bytes = QByteArray(1, b ? 'T' : 'F') + QByteArray(f.width - 1, ' ');
        break;
    }
    default: {
        QString s;
        if (v.typeId() == QMetaType::Double)
            s = FloatToStr(v.toDouble());
        else if (v.typeId() == QMetaType::QDate)
            s = DateToStr(v.toDate());
        else
            s = v.toString();
        bytes = encode(s);
        if (bytes.size() > f.width)
            fail(QStringLiteral("Text of %1 characters does not fit field %2 (width %3) of table %4")
                     .arg(bytes.size())
                     .arg(f.name)
                     .arg(f.width)
                     .arg(path_));
        bytes += QByteArray(f.width - bytes.size(), ' ');
        break;
    }
    }
    std::memcpy(p, bytes.constData(), f.width);
}
