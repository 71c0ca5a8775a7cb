// Number, text-file and date helpers with the behaviour of the form framework the
// program was first written for: printf-style fixed formats that round halves away
// from zero, a program-wide decimal separator, conversion errors with the framework's
// message texts, and day numbers counted from 1899-12-30.
#pragma once

#include <QChar>
#include <QDate>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <string>

// The framework's exception root: carries a message shown by the default handler.
class Exception : public std::exception {
public:
    explicit Exception(const QString& msg) : Message(msg), utf8_(msg.toStdString()) {}
    const char* what() const noexcept override { return utf8_.c_str(); }
    QString Message;
private:
    std::string utf8_;
};
class EConvertError : public Exception { using Exception::Exception; };
class EInOutError : public Exception { using Exception::Exception; };

// The decimal separator every displayed and stored number uses (setup file, results
// data file, edits). Taken from the system locale at start; tests set it directly.
extern QChar DecimalSeparator;
void InitDecimalSeparatorFromLocale();

// printf-style formatting of one value. Supports %[flags][width][.prec](f|e|g|d|s)
// and literal text around it; several conversions in one format are allowed.
// Fixed and exponent forms round halves away from zero. The point is replaced by
// DecimalSeparator (FormatC keeps the point: for the calibration block).
QString Format(const char* fmt, double v);
QString FormatC(const char* fmt, double v);
QString FormatInt(const char* fmt, long long v);

// Fixed notation with `decimals` digits, halves away from zero, point as separator.
std::string FixedC(double v, int decimals);

// General notation, at most 15 significant digits, no trailing zeros (0, 0.1, 12.3,
// 1E20, 1.5E-7), with DecimalSeparator.
QString FloatToStr(double v);
QString FloatToStrC(double v);
QString IntToStr(long long v);

// Conversions that accept surrounding blanks and raise EConvertError with the
// framework's texts: "'x' is not a valid floating point value", "'x' is not a valid
// integer value". StrToFloat takes DecimalSeparator only; StrToFloatC the point only.
double StrToFloat(const QString& s);
double StrToFloatC(const QString& s);
int StrToInt(const QString& s);
bool TryStrToFloat(const QString& s, double& out);
// For files written under either kind of locale, and for texts a user may type with
// either: the point or the comma as the decimal separator, never both. The raising
// form gives StrToFloat's error.
bool TryStrToFloatEitherSeparator(const QString& s, double& out);
double StrToFloatEitherSeparator(const QString& s);
bool TryStrToInt(const QString& s, int& out);

// Rounding to the nearest integer with halves to even; truncation toward zero. Any
// value is taken: NaN gives 0, values beyond the range the nearest end of it.
long long Round(double v);
long long Trunc(double v);

// Text files: lines written with CR LF; read splitting at CR, LF or CR LF.
// SaveTextFile writes a temporary file beside the target and renames it over the
// target, so a failure never leaves a half-written file. Returns false on failure.
// A file left read-only gets its rights before the rename. Never writes through a
// symbolic link at the name: the link itself is replaced.
bool SaveTextFile(const QString& path, const QStringList& lines);
bool SaveBinaryFile(const QString& path, const QByteArray& bytes, bool readOnly = false);
// The same, for a file its owner keeps open and locked: the new file is locked (flock,
// exclusive) before it is written and, once it has taken the target's place, stays open
// in lockedFd (untouched on failure).
bool SaveBinaryFileLocked(const QString& path, const QByteArray& bytes, int& lockedFd);
// Files the program reads whole are read only when they are regular files of a size
// that fits their kind; this is the bound when the kind sets none.
constexpr qint64 kReadWholeMaxBytes = 64LL * 1024 * 1024;
// Reads a file that must be a regular file, opened without blocking (a fifo or a device
// at the name is refused, never waited on). With refuseLarger a file of more than
// maxBytes is refused; without, only its first maxBytes are read. False with the reason.
bool ReadRegularFile(const QString& path, qint64 maxBytes, QByteArray& bytes, QString& error, bool refuseLarger = true);

// A file its owner keeps open and locked (flock, exclusive, not waiting) for as long as
// the handle lives: another handle on the same file, in this program or another, cannot
// open it. Not copyable; closing or destroying the handle gives the lock back.
class TLockedFile {
public:
    TLockedFile() = default;
    ~TLockedFile();
    TLockedFile(const TLockedFile&) = delete;
    TLockedFile& operator=(const TLockedFile&) = delete;

    // Opens the file for reading and writing, creating it when it does not exist, and
    // locks it. On failure returns false with the reason in error ("The file is in use
    // by another program" when another holds the lock, "not a regular file" for a
    // device, a fifo or a folder at the name, which is never waited on, a file larger
    // than maxBytes, else the system's text).
    bool Open(const QString& path, QString& error, qint64 maxBytes = kReadWholeMaxBytes);
    bool IsOpen() const { return fd_ >= 0; }
    // All bytes from the current position (the start after Open); a read error ends it.
    QByteArray ReadAll();
    // Replaces the file whole (SaveBinaryFileLocked): the new file, locked before it is
    // written, takes the old one's place, and its handle the old one's. On failure the
    // old file and its lock stay as they were.
    bool SaveWhole(const QByteArray& bytes);
    void Close();

private:
    int fd_ = -1;
    QString path_;
};
// Copies a regular file over the target the same way: whole or not at all, never
// through a link at any name it writes. The target keeps its rights when it exists.
bool CopyFileWhole(const QString& source, const QString& target);
// Writes all of a buffer to a file descriptor, again after an interruption; false on
// any failure, a write of nothing included.
bool WriteAll(int fd, const QByteArray& bytes);
// Removes the temporaries that a save or copy stopped by a kill left in the folder
// (links are left alone); returns how many. Run at start, before any save.
int RemoveStaleSaveTemporaries(const QString& folder);
// Reads all lines; raises EInOutError when the file cannot be opened, is no regular
// file or is larger than maxBytes.
QStringList LoadTextFile(const QString& path, qint64 maxBytes = kReadWholeMaxBytes);
QStringList SplitLines(const QByteArray& bytes);

// Day numbers (the framework's TDateTime integer part): days since 1899-12-30.
int DateToDayNumber(const QDate& d);
QDate DayNumberToDate(int day);
int Today();
// Short date in the system's order with a four-digit year.
QString DateToStr(const QDate& d);
QString ShortDateFormat();
// Time of day as HH:mm:ss.
QString TimeToStr(const QTime& t);

// File helpers with the framework's names.
bool FileExists(const QString& path);
QString ExtractFileName(const QString& path);
QString ExtractFilePath(const QString& path);
QString ChangeFileExt(const QString& path, const QString& ext);
