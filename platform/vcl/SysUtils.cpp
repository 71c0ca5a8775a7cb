#include "SysUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTime>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

QChar DecimalSeparator = QLatin1Char('.');

void InitDecimalSeparatorFromLocale()
{
    const QString dp = QLocale::system().decimalPoint();
    DecimalSeparator = dp.isEmpty() ? QLatin1Char('.') : dp.at(0);
}

namespace {

std::string vformat(const char* pattern, double v)
{
    int n = std::snprintf(nullptr, 0, pattern, v);
    std::string out(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    std::snprintf(out.data(), out.size(), pattern, v);
    out.resize(static_cast<size_t>(n > 0 ? n : 0));
    return out;
}

// True when v lies exactly half-way between two values of `decimals` decimals
// (for conv 'f') or `decimals` mantissa decimals (conv 'e'). glibc rounds such exact
// ties to even; the framework rounded them away from zero.
bool isExactTie(double v, int decimals, char conv)
{
    if (!std::isfinite(v) || decimals > 60)
        return false;
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%%.%d%c", decimals + 60, conv);
    const std::string s = vformat(pattern, v);
    size_t dot = s.find('.');
    if (dot == std::string::npos)
        return false;
    size_t pos = dot + 1 + static_cast<size_t>(decimals);
    if (pos >= s.size() || s[pos] != '5')
        return false;
    for (size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] == 'e' || s[i] == 'E')
            break;
        if (s[i] != '0')
            return false;
    }
    return true;
}

double nudgeAway(double v) { return std::nextafter(v, v > 0 ? INFINITY : -INFINITY); }

// Formats with a printf conversion, rounding exact ties away from zero.
std::string formatOne(const std::string& pattern, char conv, int prec, double v)
{
    if (conv == 'f' && isExactTie(v, prec, 'f'))
        v = nudgeAway(v);
    else if (conv == 'e' && isExactTie(v, prec, 'e'))
        v = nudgeAway(v);
    else if (conv == 'g' && isExactTie(v, prec > 0 ? prec - 1 : 0, 'e'))
        v = nudgeAway(v);
    return vformat(pattern.c_str(), v);
}

QString formatImpl(const char* fmt, double v, long long iv, bool isInt, bool usePoint)
{
    QString out;
    const char* p = fmt;
    while (*p) {
        if (*p != '%') {
            out += QLatin1Char(*p++);
            continue;
        }
        if (p[1] == '%') {
            out += QLatin1Char('%');
            p += 2;
            continue;
        }
        const char* start = p++;
        while (*p && std::strchr("-+ 0#", *p))
            ++p;
        while (*p >= '0' && *p <= '9')
            ++p;
        int prec = -1;
        if (*p == '.') {
            ++p;
            prec = 0;
            while (*p >= '0' && *p <= '9')
                prec = prec * 10 + (*p++ - '0');
        }
        char conv = *p ? *p++ : 'f';
        std::string pattern(start, static_cast<size_t>(p - start));
        std::string piece;
        if (conv == 'd' || conv == 'u' || conv == 'x' || conv == 'X') {
            pattern.insert(pattern.size() - 1, "ll");
            long long value = isInt ? iv : static_cast<long long>(v);
            int n = std::snprintf(nullptr, 0, pattern.c_str(), value);
            piece.assign(static_cast<size_t>(n) + 1, '\0');
            std::snprintf(piece.data(), piece.size(), pattern.c_str(), value);
            piece.resize(static_cast<size_t>(n));
            out += QString::fromStdString(piece);
            continue;
        }
        if (conv == 'f' || conv == 'e' || conv == 'g' || conv == 'E' || conv == 'G') {
            if (prec < 0) {
                // The framework's default precision for %f is 2 decimals, 15 for %e and %g.
                prec = (conv == 'f') ? 2 : 15;
                pattern.insert(pattern.size() - 1, "." + std::to_string(prec));
            }
            double value = isInt ? static_cast<double>(iv) : v;
            piece = formatOne(pattern, static_cast<char>(std::tolower(conv)), prec, value);
            QString q = QString::fromStdString(piece);
            if (!usePoint)
                q.replace(QLatin1Char('.'), DecimalSeparator);
            out += q;
            continue;
        }
        // Unknown conversion: copy it as it stands.
        out += QString::fromStdString(pattern);
    }
    return out;
}

QString generalImpl(double v, bool usePoint)
{
    if (std::isnan(v))
        return QStringLiteral("NAN");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (v == 0)
        return QStringLiteral("0");
    std::string e = vformat("%.14e", v);  // d.dddddddddddddde[+-]xx
    bool neg = e[0] == '-';
    if (neg)
        e.erase(0, 1);
    size_t ePos = e.find('e');
    int exp = std::atoi(e.c_str() + ePos + 1);
    std::string digits = e.substr(0, 1) + e.substr(2, ePos - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const char sep = '.';
    std::string r;
    if (exp >= 15 || exp < -5) {
        r = digits.substr(0, 1);
        if (digits.size() > 1)
            r += sep + digits.substr(1);
        r += "E" + std::to_string(exp);
    } else if (exp < 0) {
        r = "0" + std::string(1, sep) + std::string(static_cast<size_t>(-exp - 1), '0') + digits;
    } else {
        size_t intLen = static_cast<size_t>(exp) + 1;
        if (digits.size() <= intLen) {
            r = digits + std::string(intLen - digits.size(), '0');
        } else {
            r = digits.substr(0, intLen) + sep + digits.substr(intLen);
        }
    }
    QString q = QString::fromStdString((neg ? "-" : "") + r);
    if (!usePoint)
        q.replace(QLatin1Char('.'), DecimalSeparator);
    return q;
}

bool parseFloat(const QString& s, QChar sep, double& out)
{
    QString t = s.trimmed();
    if (t.isEmpty())
        return false;
    std::string a;
    a.reserve(static_cast<size_t>(t.size()));
    bool sawDigit = false, sawSep = false, sawExp = false;
    for (int i = 0; i < t.size(); ++i) {
        QChar c = t.at(i);
        if (c.isDigit() && c.unicode() < 128) {
            sawDigit = true;
            a += static_cast<char>(c.unicode());
        } else if (c == sep && !sawSep && !sawExp) {
            sawSep = true;
            a += '.';
        } else if ((c == QLatin1Char('e') || c == QLatin1Char('E')) && sawDigit && !sawExp) {
            sawExp = true;
            a += 'e';
            if (i + 1 < t.size() && (t.at(i + 1) == QLatin1Char('+') || t.at(i + 1) == QLatin1Char('-')))
                a += static_cast<char>(t.at(++i).unicode());
            if (i + 1 >= t.size() || !t.at(i + 1).isDigit())
                return false;
        } else if ((c == QLatin1Char('+') || c == QLatin1Char('-')) && i == 0) {
            if (c == QLatin1Char('-'))
                a += '-';
        } else {
            return false;
        }
    }
    if (!sawDigit)
        return false;
    double v = 0;
    auto res = std::from_chars(a.data(), a.data() + a.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        // Underflow to zero is fine; overflow is not a value.
        if (std::fabs(std::strtod(a.c_str(), nullptr)) > 1)
            return false;
        v = 0;
    } else if (res.ec != std::errc() || res.ptr != a.data() + a.size()) {
        return false;
    }
    out = v;
    return true;
}

}  // namespace

QString Format(const char* fmt, double v) { return formatImpl(fmt, v, 0, false, false); }
QString FormatC(const char* fmt, double v) { return formatImpl(fmt, v, 0, false, true); }
QString FormatInt(const char* fmt, long long v) { return formatImpl(fmt, 0, v, true, false); }

std::string FixedC(double v, int decimals)
{
    std::string pattern = "%." + std::to_string(decimals) + "f";
    return formatOne(pattern, 'f', decimals, v);
}

QString FloatToStr(double v) { return generalImpl(v, false); }
QString FloatToStrC(double v) { return generalImpl(v, true); }
QString IntToStr(long long v) { return QString::number(v); }

bool TryStrToFloat(const QString& s, double& out) { return parseFloat(s, DecimalSeparator, out); }

bool TryStrToFloatEitherSeparator(const QString& s, double& out)
{
    // One separator at most, so "1,234.5" is no number rather than a guess.
    return parseFloat(s, QLatin1Char('.'), out) || parseFloat(s, QLatin1Char(','), out);
}

double StrToFloatEitherSeparator(const QString& s)
{
    double v = 0;
    if (!TryStrToFloatEitherSeparator(s, v))
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(s));
    return v;
}

double StrToFloat(const QString& s)
{
    double v = 0;
    if (!parseFloat(s, DecimalSeparator, v))
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(s));
    return v;
}

double StrToFloatC(const QString& s)
{
    double v = 0;
    if (!parseFloat(s, QLatin1Char('.'), v))
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(s));
    return v;
}

bool TryStrToInt(const QString& s, int& out)
{
    QString t = s.trimmed();
    // The conversion below stops at a NUL and would take "7" NUL "junk" for 7.
    if (t.isEmpty() || t.contains(QChar(0)))
        return false;
    bool ok = false;
    int v = 0;
    if (t.startsWith(QLatin1Char('$')))
        v = t.mid(1).toInt(&ok, 16);
    else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = t.mid(2).toInt(&ok, 16);
    else
        v = t.toInt(&ok, 10);
    if (!ok)
        return false;
    out = v;
    return true;
}

int StrToInt(const QString& s)
{
    int v = 0;
    if (!TryStrToInt(s, v))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(s));
    return v;
}

namespace {
// A whole double into a long long without overflow: NaN gives 0, values beyond the
// type's range its nearest end.
long long ClampToLongLong(double w)
{
    if (std::isnan(w))
        return 0;
    // 2^63 is exact as a double; every double below it converts safely.
    constexpr double limit = 9223372036854775808.0;
    if (w >= limit)
        return std::numeric_limits<long long>::max();
    if (w < -limit)
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(w);
}
} // namespace

long long Round(double v) { return ClampToLongLong(std::nearbyint(v)); }
long long Trunc(double v) { return ClampToLongLong(std::trunc(v)); }

bool WriteAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

namespace {
// Our temporaries: the target's name, this tag and six random characters.
constexpr char kSaveTempTag[] = ".kvnew-";
} // namespace

namespace {
// Replaces the file at `path` whole or not at all; the one way any file is replaced.
// The content goes to a temporary made exclusively beside the target (O_EXCL: never
// through a link planted at its name), every write is checked (a buffered writer can
// report success after the flush failed), the file gets its final rights, is flushed to
// the disk and only then renamed over the target. The rename replaces whatever is at
// the name, a symbolic link included, and never writes through it. A full disk, a write
// limit or a kill leaves the old file whole. With `keepOpen` the new file is locked
// (flock, exclusive) before its first byte and stays open in *keepOpen.
bool ReplaceWhole(const QString& path, const std::function<bool(int)>& write, bool readOnly, int* keepOpen)
{
    if (path.isEmpty())
        return false;
    const QByteArray target = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    if (target.isEmpty())
        return false;
    QByteArray temp = target + kSaveTempTag + "XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = !keepOpen || ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ok = ok && write(fd);
    // The rights of the file replaced; a new file gets the usual ones less the umask.
    mode_t mode = 0;
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (readOnly)
        mode &= ~static_cast<mode_t>(0222);
    ok = ok && ::fchmod(fd, mode) == 0;
    ok = ok && ::fsync(fd) == 0;
    if (!keepOpen)
        ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(temp.constData());
        if (keepOpen)
            ::close(fd);
        return false;
    }
    // The new name itself reaches the disk with the folder.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    if (keepOpen)
        *keepOpen = fd;
    return true;
}
} // namespace

bool SaveBinaryFile(const QString& path, const QByteArray& bytes, bool readOnly)
{
    return ReplaceWhole(path, [&](int fd) { return WriteAll(fd, bytes); }, readOnly, nullptr);
}

bool SaveBinaryFileLocked(const QString& path, const QByteArray& bytes, int& lockedFd)
{
    int fd = -1;
    if (!ReplaceWhole(path, [&](int out) { return WriteAll(out, bytes); }, false, &fd))
        return false;
    lockedFd = fd;
    return true;
}

TLockedFile::~TLockedFile() { Close(); }

namespace {
// Opens an existing file without blocking and keeps it only when it is a regular file
// of at most maxBytes (maxBytes < 0: any size); -1 with the reason otherwise.
int OpenRegular(const QByteArray& name, int flags, qint64 maxBytes, QString& error)
{
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = QStringLiteral("not a regular file");
        return -1;
    }
    if (maxBytes >= 0 && st.st_size > maxBytes) {
        ::close(fd);
        error = QStringLiteral("the file is larger than %1 bytes").arg(maxBytes);
        return -1;
    }
    // A regular file never blocks; later reads and writes go as usual.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}
} // namespace

bool ReadRegularFile(const QString& path, qint64 maxBytes, QByteArray& bytes, QString& error, bool refuseLarger)
{
    bytes.clear();
    const int fd = OpenRegular(QFile::encodeName(path), O_RDONLY, refuseLarger ? maxBytes : -1, error);
    if (fd < 0)
        return false;
    char buf[65536];
    bool ok = true;
    while (bytes.size() < maxBytes) {
        const ssize_t n = ::read(fd, buf, static_cast<size_t>(std::min<qint64>(sizeof buf, maxBytes - bytes.size())));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            ok = false;
        }
        if (n <= 0)
            break;
        bytes.append(buf, n);
    }
    ::close(fd);
    return ok;
}

bool TLockedFile::Open(const QString& path, QString& error, qint64 maxBytes)
{
    Close();
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            error = QString::fromLocal8Bit(std::strerror(errno));
    } else {
        fd = OpenRegular(name, O_RDWR, maxBytes, error);
    }
    if (fd < 0)
        return false;
    // An advisory lock, which a second instance of the program asks for as well.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        error = err == EWOULDBLOCK ? QStringLiteral("The file is in use by another program")
                                   : QString::fromLocal8Bit(std::strerror(err));
        return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
}

QByteArray TLockedFile::ReadAll()
{
    QByteArray bytes;
    if (fd_ < 0)
        return bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buf, n);
    }
    return bytes;
}

bool TLockedFile::SaveWhole(const QByteArray& bytes)
{
    if (fd_ < 0)
        return false;
    int fd = -1;
    if (!SaveBinaryFileLocked(path_, bytes, fd))
        return false;
    ::close(fd_);
    fd_ = fd;
    return true;
}

void TLockedFile::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    path_.clear();
}

bool CopyFileWhole(const QString& source, const QString& target)
{
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    const bool ok = ReplaceWhole(
        target,
        [&](int out) {
            QByteArray chunk(1 << 20, Qt::Uninitialized);
            for (;;) {
                const ssize_t n = ::read(in, chunk.data(), static_cast<size_t>(chunk.size()));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    return false;
                if (n == 0)
                    return true;
                if (!WriteAll(out, QByteArray::fromRawData(chunk.constData(), n)))
                    return false;
            }
        },
        false, nullptr);
    ::close(in);
    return ok;
}

int RemoveStaleSaveTemporaries(const QString& folder)
{
    // Left by a kill between the write and the rename: the file itself is whole, the
    // copy beside it is not needed.
    QDir dir(folder);
    int removed = 0;
    // Earlier versions copied through "<name>.kvcopy" and saved the curve file through
    // "Kestrovan.rcf.tmp": a leftover of theirs is as stale.
    const QStringList names = dir.entryList({QStringLiteral("*") + QLatin1String(kSaveTempTag) + QStringLiteral("??????"),
                                             QStringLiteral("*.kvcopy"), QStringLiteral("Kestrovan.rcf.tmp")},
                                            QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QFileInfo fi(dir.filePath(name));
        if (fi.isSymLink() || !fi.isFile())
            continue;
        removed += QFile::remove(fi.filePath()) ? 1 : 0;
    }
    return removed;
}

bool SaveTextFile(const QString& path, const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& l : lines) {
        bytes += l.toLocal8Bit();
        bytes += "\r\n";
    }
    return SaveBinaryFile(path, bytes);
}

QStringList SplitLines(const QByteArray& bytes)
{
    QStringList out;
    QByteArray cur;
    for (int i = 0; i < bytes.size(); ++i) {
        char c = bytes.at(i);
        if (c == '\r' || c == '\n') {
            out << QString::fromLocal8Bit(cur);
            cur.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n')
                ++i;
        } else {
            cur += c;
        }
    }
    if (!cur.isEmpty())
        out << QString::fromLocal8Bit(cur);
    return out;
}

QStringList LoadTextFile(const QString& path, qint64 maxBytes)
{
    QByteArray bytes;
    QString error;
    if (!ReadRegularFile(path, maxBytes, bytes, error)) {
        if (!QFileInfo::exists(path))
            throw EInOutError(QStringLiteral("File not found"));
        throw EInOutError(QStringLiteral("Cannot open file %1: %2").arg(path, error));
    }
    return SplitLines(bytes);
}

static const QDate kDayZero(1899, 12, 30);

int DateToDayNumber(const QDate& d) { return static_cast<int>(kDayZero.daysTo(d)); }
QDate DayNumberToDate(int day) { return kDayZero.addDays(day); }
int Today() { return DateToDayNumber(QDate::currentDate()); }

QString ShortDateFormat()
{
    QString f = QLocale::system().dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}

QString DateToStr(const QDate& d) { return d.toString(ShortDateFormat()); }
QString TimeToStr(const QTime& t) { return t.toString(QStringLiteral("HH:mm:ss")); }

bool FileExists(const QString& path)
{
    QFileInfo fi(path);
    return fi.exists() && fi.isFile();
}

QString ExtractFileName(const QString& path) { return QFileInfo(path).fileName(); }

QString ExtractFilePath(const QString& path)
{
    int i = path.lastIndexOf(QLatin1Char('/'));
    return i < 0 ? QString() : path.left(i + 1);
}

QString ChangeFileExt(const QString& path, const QString& ext)
{
    int slash = path.lastIndexOf(QLatin1Char('/'));
    int dot = path.lastIndexOf(QLatin1Char('.'));
    QString base = (dot > slash) ? path.left(dot) : path;
    return base + ext;
}
