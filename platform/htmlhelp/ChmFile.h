// One help file opened through libchm: its objects, its title, default topic and table
// of contents, and its context map (context number -> topic).
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

struct chmFile;

namespace hh {

struct ContentsEntry {
    QString name;
    QString local;  // object path of the topic ("/x.htm"), empty for a heading
    int depth = 0;
};

struct SearchHit {
    QString title;
    QString local;  // object path of the topic
};

class ChmFile {
public:
    ChmFile() = default;
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    bool open(const QString& fileName);
    bool isOpen() const { return h_ != nullptr; }
    QString fileName() const { return fileName_; }

    bool exists(const QString& objectPath) const;
    QByteArray read(const QString& objectPath) const;
    QString title() const { return title_; }
    // Object path of the default topic ("/contents.htm"), empty when the file names none.
    QString defaultTopic() const { return defaultTopic_; }
    QList<ContentsEntry> contents() const { return contents_; }
    // The keyword index, as the file's own index sitemap lists it.
    QList<ContentsEntry> index() const { return index_; }
    // The topics that hold every one of the words, from the file's full-text search
    // data, in the file's topic order; none when the file has no such data.
    QList<SearchHit> search(const QString& words) const;
    // Object path of the topic mapped to a context number; empty when it has none.
    QString topicForContext(int context) const;

private:
    void readContentLength();
    void readSystem();
    void readContextMap();
    void readContents(const QString& objectPath);
    QList<ContentsEntry> readSitemap(const QString& objectPath) const;
    QList<int> topicsWithWord(const QByteArray& fts, const QByteArray& word) const;
    QString findByLastComponent(const QString& name) const;

    chmFile* h_ = nullptr;
    quint64 fileSize_ = 0;
    quint64 contentLength_ = 0;
    QString fileName_;
    QString title_;
    QString defaultTopic_;
    QString contentsFile_;
    QString indexFile_;
    QList<ContentsEntry> contents_;
    QList<ContentsEntry> index_;
    QMap<int, QString> contextMap_;
    QStringList objects_;
};

// "/" + path with backslashes turned into slashes, for a topic name or link.
QString ObjectPath(const QString& topic);

} // namespace hh
