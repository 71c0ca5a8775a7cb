// Shared test helpers: scripted message boxes, a temporary current folder, artifacts.
#pragma once

#include "Dialogs.h"

#include <QImage>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <vector>

// Answers message boxes in order from a queue; an empty queue answers Cancel where the
// box has it, else No, else OK (so an unscripted Retry/Cancel never loops). Every
// request is recorded. The default script is installed by the test main; a
// ScriptedMessages object replaces it for its lifetime.
class ScriptedMessages {
public:
    ScriptedMessages();
    ~ScriptedMessages();
    ScriptedMessages& answer(int result);
    std::vector<MessageRequest> requests;
    std::deque<int> answers;
    // Texts of every request so far.
    std::vector<QString> texts() const;
    bool saw(const QString& text) const;
};

void InstallDefaultMessageScript();
// The answer the empty queue gives for a request.
int DefaultAnswer(const MessageRequest& r);

// A fresh temporary folder made current for the test's lifetime.
class TempCurrentDir {
public:
    TempCurrentDir();
    ~TempCurrentDir();
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
private:
    QTemporaryDir dir_;
    QString previous_;
};

// A real limit on the size of every file this process writes (RLIMIT_FSIZE) with
// SIGXFSZ ignored, so a write past it fails with EFBIG as on a full disk. Restores the
// limit and the signal's handling when it goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
private:
    unsigned long long oldCur_ = 0;
    void (*oldHandler_)(int) = nullptr;
};

// The names in a folder (files and hidden files), sorted.
QStringList FolderEntries(const QString& folder);

// A file's bytes; empty when it cannot be read.
QByteArray ReadAll(const QString& path);
// The same, but "<missing>" when it cannot be read, so a missing file never equals an
// empty one.
QByteArray ReadOrMissing(const QString& path);

// build/artifacts/<name>, the folder made when missing.
QString ArtifactPath(const QString& name);

// A PDF read back through poppler's tools: its text with the layout kept (pdftotext
// -layout), and one page as an image at the given resolution (pdftoppm). Empty text or
// a null image when the tool fails.
QString PdfText(const QString& pdfPath);
QImage PdfPageImage(const QString& pdfPath, int page, int dpi);
