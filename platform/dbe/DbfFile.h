// One dBASE III file as the engine reads and writes it: the structure comes from
// shapelib, the records are read and written whole at their offsets, each write under an
// advisory lock (so two program instances never interleave records), checked, and on
// the disk before the call returns. A new record reaches the disk marked deleted, then
// the header count takes it in, then its mark is cleared: a program killed (or a
// machine stopped) at any moment leaves a table with every row posted before, that
// readers going by the count and readers going by the end-of-file mark read alike
// (an append cut short leaves, at most, deleted records behind the last row).
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QVariant>
#include <vector>

struct DbfFieldDef {
    QString name;
    char type = 'C';  // C, N, F, D, L
    int width = 0;
    int decimals = 0;
    int offset = 0;   // within the record, after the deletion flag
};

class DbfFile {
public:
    // Opens the file for reading and, when allowed, writing; raises EDatabaseError
    // naming the file and the reason.
    explicit DbfFile(const QString& path);
    ~DbfFile();
    DbfFile(const DbfFile&) = delete;
    DbfFile& operator=(const DbfFile&) = delete;

    const QString& path() const { return path_; }
    const std::vector<DbfFieldDef>& fields() const { return fields_; }
    int fieldIndex(const QString& name) const;  // without regard to case, -1 when absent
    int recordLength() const { return recordLength_; }
    int headerLength() const { return headerLength_; }

    // The record count as the header holds it now.
    int recordCount() const;
    // A whole record (deletion flag first); raises when it cannot be read.
    QByteArray readRecord(int recno) const;
    // The records 0..count-1 mapped for a scan.
    class Mapping {
    public:
        Mapping() = default;
        Mapping(void* base, size_t length, int headerLength);
        Mapping(Mapping&& o) noexcept;
        Mapping& operator=(Mapping&& o) noexcept;
        ~Mapping();
        const char* records() const { return records_; }
    private:
        void* base_ = nullptr;
        size_t length_ = 0;
        const char* records_ = nullptr;
    };
    Mapping mapRecords(int count) const;

    QByteArray blankRecord() const;
    void writeRecord(int recno, const QByteArray& record);
    int appendRecord(const QByteArray& record);  // the new record number
    // What identifies the file's state: a file whose stamp is unchanged holds the
    // same records.
    struct Stamp {
        quint64 dev = 0, ino = 0;
        qint64 size = -1, mtimeNs = -1;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp() const;
    // Appends every record or none: on a failure the file is left as it was. Returns
    // the first new record number; the stamps before and after the write are taken
    // under the same lock.
    int appendRecords(const std::vector<QByteArray>& records, Stamp* before = nullptr, Stamp* after = nullptr);
    // Where an append would begin: the record count, the file's size and what lies behind
    // the last record (the end-of-file mark). rollBack puts a file that an append cut
    // short (a kill inside any of its writes) back to that point; raises when the file
    // is smaller than the point, so no other file is ever cut.
    struct AppendPoint {
        int count = 0;
        qint64 size = 0;
        QByteArray tail;
    };
    AppendPoint appendPoint() const;
    void rollBack(const AppendPoint& point);
    void markDeleted(int recno);
    void empty();

    // Field values of a raw record. Text keeps its leading blanks and loses its trailing
    // ones; an empty or unreadable number or date is null.
    QVariant value(const char* record, int field) const;
    QString text(const char* record, int field) const;  // the raw text, trailing blanks cut
    bool isNull(const char* record, int field) const;
    // Stores a value into a raw record; raises EConvertError or EDatabaseError (too wide).
    void setValue(QByteArray& record, int field, const QVariant& value) const;

    static QString decode(const char* bytes, int n);   // Windows-1252
    static QByteArray encode(const QString& text);     // Windows-1252, '?' for the rest

    // The advisory lock over the whole file (shared for reading, exclusive for writing).
    // Waits at most kLockWaitMs for another holder, then raises EDatabaseError naming
    // the table.
    static constexpr int kLockWaitMs = 3000;
    void lock(bool exclusive) const;
    void unlock() const;

private:
    void fail(const QString& what) const;
    void writeHeaderCount(int count);
    void sync();
    void writeAll(qint64 offset, const char* data, qint64 n);

    QString path_;
    int fd_ = -1;
    bool writable_ = false;
    int headerLength_ = 0;
    int recordLength_ = 0;
    std::vector<DbfFieldDef> fields_;
};
