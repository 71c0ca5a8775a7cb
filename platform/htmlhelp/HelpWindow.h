// The help window of the control: the table of contents, the keyword index and the
// full-text search beside the topic, back and forward through the topics seen, home
// (the default topic) and find in the topic.
#pragma once

#include "ChmFile.h"

#include <QTextBrowser>
#include <QWidget>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace hh {

// Shows the objects of one help file; other links go to the desktop's browser.
class ChmBrowser : public QTextBrowser {
public:
    explicit ChmBrowser(QWidget* parent) : QTextBrowser(parent) {}
    ChmFile* chm = nullptr;
    QVariant loadResource(int type, const QUrl& name) override;
};

class HelpWindow : public QWidget {
public:
    explicit HelpWindow(const QString& fileName);

    // The help file could be opened.
    bool valid() const { return chm_->isOpen(); }
    QString fileName() const { return chm_->fileName(); }
    // Shows the topic (an object path, "#anchor" allowed); a topic the file lacks shows a
    // page that says so.
    void showTopic(const QString& objectPath);
    void showDefaultTopic();
    void showMissingContext(int context);
    void showMessagePage(const QString& title, const QString& text);

    ChmBrowser* browser() const { return browser_; }
    QTreeWidget* contentsTree() const { return tree_; }
    // The Index tab: typing a keyword selects the first that starts so; Enter or a click
    // shows its topic.
    QLineEdit* indexEdit() const { return indexEdit_; }
    QListWidget* indexList() const { return indexList_; }
    // The Search tab: Enter or "List Topics" lists the topics that hold all the words.
    QLineEdit* searchEdit() const { return searchEdit_; }
    QListWidget* searchList() const { return searchList_; }
    // Before the window is first shown: over the given window (or the screen's middle),
    // within the screen's work area. Once the window manager has framed it, the frame too
    // is kept on the work area.
    void placeOver(const QWidget* anchor);

    // Finds the text in the topic from the cursor on (backward when asked); false when
    // it is not there.
    bool findText(const QString& text, bool backward = false);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void keepOnScreen();
    void buildContents();
    void syncContents(const QUrl& url);
    void linkClicked(const QUrl& url);
    void listSearchTopics();

    std::unique_ptr<ChmFile> chm_;
    ChmBrowser* browser_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QWidget* findBar_ = nullptr;
    QLineEdit* findEdit_ = nullptr;
    QLineEdit* indexEdit_ = nullptr;
    QListWidget* indexList_ = nullptr;
    QLineEdit* searchEdit_ = nullptr;
    QListWidget* searchList_ = nullptr;
    QAction* back_ = nullptr;
    QAction* forward_ = nullptr;
    bool framePending_ = false;
};

QUrl TopicUrl(const QString& objectPath);

} // namespace hh
