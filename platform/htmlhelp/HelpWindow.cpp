#include "HelpWindow.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>

namespace hh {

namespace {
const char* kScheme = "chm";

QString Escape(const QString& s) { return s.toHtmlEscaped(); }
} // namespace

QUrl TopicUrl(const QString& objectPath)
{
    QUrl url;
    url.setScheme(QString::fromLatin1(kScheme));
    const qsizetype hash = objectPath.indexOf(QLatin1Char('#'));
    url.setPath(hash < 0 ? objectPath : objectPath.left(hash));
    if (hash >= 0)
        url.setFragment(objectPath.mid(hash + 1));
    return url;
}

QVariant ChmBrowser::loadResource(int type, const QUrl& name)
{
    if (chm && name.scheme() == QLatin1String(kScheme)) {
        const QByteArray data = chm->read(name.path());
        if (data.isEmpty())
            return {};
        if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
            return QString::fromUtf8(data);
        return data;
    }
    return QTextBrowser::loadResource(type, name);
}

HelpWindow::HelpWindow(const QString& fileName) : QWidget(nullptr, Qt::Window), chm_(std::make_unique<ChmFile>())
{
    setObjectName(QStringLiteral("HtmlHelpWindow"));
    setAttribute(Qt::WA_QuitOnClose, false);
    chm_->open(fileName);
    setWindowTitle(!chm_->title().isEmpty() ? chm_->title() : QFileInfo(fileName).fileName());
    resize(820, 560);

    auto* toolBar = new QToolBar(this);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    back_ = toolBar->addAction(QStringLiteral("Back"));
    back_->setShortcut(QKeySequence::Back);
    forward_ = toolBar->addAction(QStringLiteral("Forward"));
    forward_->setShortcut(QKeySequence::Forward);
    QAction* home = toolBar->addAction(QStringLiteral("Home"));
    QAction* find = toolBar->addAction(QStringLiteral("Find"));
    find->setShortcut(QKeySequence::Find);
    back_->setEnabled(false);
    forward_->setEnabled(false);

    auto* splitter = new QSplitter(this);
    auto* tabs = new QTabWidget(splitter);
    tree_ = new QTreeWidget(tabs);
    tree_->setObjectName(QStringLiteral("Contents"));
    tree_->header()->hide();
    tabs->addTab(tree_, QStringLiteral("Contents"));
    auto* indexPage = new QWidget(tabs);
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(2, 2, 2, 2);
    indexLayout->addWidget(new QLabel(QStringLiteral("Type in the keyword to find:"), indexPage));
    indexEdit_ = new QLineEdit(indexPage);
    indexEdit_->setObjectName(QStringLiteral("IndexKeyword"));
    indexLayout->addWidget(indexEdit_);
    indexList_ = new QListWidget(indexPage);
    indexList_->setObjectName(QStringLiteral("Index"));
    for (const ContentsEntry& e : chm_->index()) {
        auto* item = new QListWidgetItem(QString(e.depth * 2, QLatin1Char(' ')) + e.name, indexList_);
        item->setData(Qt::UserRole, e.local);
        item->setData(Qt::UserRole + 1, e.name);
    }
    indexLayout->addWidget(indexList_, 1);
    tabs->addTab(indexPage, QStringLiteral("Index"));
    auto* searchPage = new QWidget(tabs);
    auto* searchLayout = new QVBoxLayout(searchPage);
    searchLayout->setContentsMargins(2, 2, 2, 2);
    searchLayout->addWidget(new QLabel(QStringLiteral("Type in the word(s) to search for:"), searchPage));
    searchEdit_ = new QLineEdit(searchPage);
    searchEdit_->setObjectName(QStringLiteral("SearchWords"));
    searchLayout->addWidget(searchEdit_);
    auto* listTopics = new QPushButton(QStringLiteral("List Topics"), searchPage);
    searchLayout->addWidget(listTopics);
    searchList_ = new QListWidget(searchPage);
    searchList_->setObjectName(QStringLiteral("SearchTopics"));
    searchLayout->addWidget(searchList_, 1);
    tabs->addTab(searchPage, QStringLiteral("Search"));
    browser_ = new ChmBrowser(splitter);
    browser_->setObjectName(QStringLiteral("Topic"));
    browser_->chm = chm_.get();
    browser_->setOpenLinks(false);
    splitter->addWidget(tabs);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 600});

    findBar_ = new QWidget(this);
    auto* findLayout = new QHBoxLayout(findBar_);
    findLayout->setContentsMargins(4, 2, 4, 2);
    findLayout->addWidget(new QLabel(QStringLiteral("Find:"), findBar_));
    findEdit_ = new QLineEdit(findBar_);
    findEdit_->setObjectName(QStringLiteral("FindText"));
    findLayout->addWidget(findEdit_, 1);
    auto* next = new QPushButton(QStringLiteral("Next"), findBar_);
    auto* previous = new QPushButton(QStringLiteral("Previous"), findBar_);
    auto* closeFind = new QPushButton(QStringLiteral("Close"), findBar_);
    findLayout->addWidget(next);
    findLayout->addWidget(previous);
    findLayout->addWidget(closeFind);
    findBar_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(splitter, 1);
    layout->addWidget(findBar_);

    connect(back_, &QAction::triggered, browser_, &QTextBrowser::backward);
    connect(forward_, &QAction::triggered, browser_, &QTextBrowser::forward);
    connect(home, &QAction::triggered, this, [this] { showDefaultTopic(); });
    connect(find, &QAction::triggered, this, [this] {
        findBar_->show();
        findEdit_->setFocus();
        findEdit_->selectAll();
    });
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { linkClicked(url); });
    connect(browser_, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) { syncContents(url); });
    connect(tree_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) {
        const QString local = item->data(0, Qt::UserRole).toString();
        if (!local.isEmpty())
            showTopic(local);
    });
    connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        const QString local = item->data(0, Qt::UserRole).toString();
        if (!local.isEmpty())
            showTopic(local);
    });
    connect(indexEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        for (int i = 0; i < indexList_->count(); ++i)
            if (indexList_->item(i)->data(Qt::UserRole + 1).toString().startsWith(text, Qt::CaseInsensitive)) {
                indexList_->setCurrentRow(i);
                indexList_->scrollToItem(indexList_->item(i));
                return;
            }
    });
    auto showKeyword = [this](QListWidgetItem* item) {
        const QString local = item ? item->data(Qt::UserRole).toString() : QString();
        if (!local.isEmpty())
            showTopic(local);
    };
    connect(indexEdit_, &QLineEdit::returnPressed, this, [this, showKeyword] { showKeyword(indexList_->currentItem()); });
    connect(indexList_, &QListWidget::itemActivated, this, showKeyword);
    connect(indexList_, &QListWidget::itemClicked, this, showKeyword);
    connect(searchEdit_, &QLineEdit::returnPressed, this, [this] { listSearchTopics(); });
    connect(listTopics, &QPushButton::clicked, this, [this] { listSearchTopics(); });
    connect(searchList_, &QListWidget::itemActivated, this, showKeyword);
    connect(searchList_, &QListWidget::itemClicked, this, showKeyword);
    connect(findEdit_, &QLineEdit::returnPressed, this, [this] { findText(findEdit_->text()); });
    connect(next, &QPushButton::clicked, this, [this] { findText(findEdit_->text()); });
    connect(previous, &QPushButton::clicked, this, [this] { findText(findEdit_->text(), true); });
    connect(closeFind, &QPushButton::clicked, findBar_, &QWidget::hide);
    buildContents();
}

namespace {
QRect WorkArea(const QWidget* w)
{
    const QScreen* s = w ? w->screen() : nullptr;
    if (!s)
        s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect();
}

// The start of a span of the given size inside [lo, hi]; too large a span keeps its start
// (the title bar) inside.
int Fit(int pos, int size, int lo, int hi) { return size > hi - lo + 1 ? lo : std::clamp(pos, lo, hi + 1 - size); }
} // namespace

void HelpWindow::placeOver(const QWidget* anchor)
{
    const QRect area = WorkArea(anchor ? anchor : this);
    if (area.isEmpty())
        return;
    resize(std::min(width(), area.width()), std::min(height(), area.height()));
    const QRect over = anchor ? anchor->frameGeometry() : area;
    QRect r(QPoint(), size());
    r.moveCenter(over.center());
    r.moveLeft(Fit(r.left(), r.width(), area.left(), area.right()));
    r.moveTop(Fit(r.top(), r.height(), area.top(), area.bottom()));
    move(r.topLeft());
    framePending_ = true;
    winId();
    if (QWindow* handle = windowHandle())
        handle->installEventFilter(this);
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* e)
{
    if (framePending_ && e->type() == QEvent::Expose && watched == windowHandle() && isVisible()) {
        framePending_ = false;
        // The frame the window manager put around the window is known once it is shown.
        QTimer::singleShot(0, this, [this] { keepOnScreen(); });
    }
    return QWidget::eventFilter(watched, e);
}

// The whole frame on the work area: a window taller or wider than it loses the excess
// (its find bar at the bottom stays reachable), then it moves inside.
void HelpWindow::keepOnScreen()
{
    const QRect area = WorkArea(this);
    if (area.isEmpty() || !isVisible())
        return;
    QRect frame = frameGeometry();
    const int shrinkW = std::max(0, frame.width() - area.width());
    const int shrinkH = std::max(0, frame.height() - area.height());
    if (shrinkW || shrinkH) {
        resize(width() - shrinkW, height() - shrinkH);
        frame.setSize(frame.size() - QSize(shrinkW, shrinkH));
    }
    const QPoint to(Fit(frame.left(), frame.width(), area.left(), area.right()),
                    Fit(frame.top(), frame.height(), area.top(), area.bottom()));
    if (to != frame.topLeft())
        move(pos() + (to - frame.topLeft()));
}

void HelpWindow::buildContents()
{
    tree_->clear();
    QList<QTreeWidgetItem*> parents;
    for (const ContentsEntry& e : chm_->contents()) {
        while (parents.size() > e.depth)
            parents.removeLast();
        QTreeWidgetItem* item = parents.isEmpty() ? new QTreeWidgetItem(tree_) : new QTreeWidgetItem(parents.last());
        item->setText(0, e.name);
        item->setData(0, Qt::UserRole, e.local);
        while (parents.size() < e.depth + 1)
            parents.append(item);
        parents[e.depth] = item;
    }
    tree_->expandAll();
}

void HelpWindow::syncContents(const QUrl& url)
{
    const QString path = url.path();
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toString().compare(path, Qt::CaseInsensitive) == 0) {
            const QSignalBlocker block(tree_);
            tree_->setCurrentItem(*it);
            return;
        }
    }
}

void HelpWindow::linkClicked(const QUrl& url)
{
    if (url.scheme() == QLatin1String(kScheme)) {
        if (url.path() == browser_->source().path() && url.hasFragment())
            browser_->scrollToAnchor(url.fragment());
        else
            browser_->setSource(url);
    } else if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https") ||
               url.scheme() == QLatin1String("mailto")) {
        QDesktopServices::openUrl(url);
    }
}

void HelpWindow::showTopic(const QString& objectPath)
{
    const QUrl url = TopicUrl(objectPath);
    if (!chm_->exists(url.path())) {
        showMessagePage(QStringLiteral("Topic not found"),
                        QStringLiteral("The topic \"%1\" is not in the help file \"%2\".").arg(url.path(), fileName()));
        return;
    }
    browser_->setSource(url);
}

void HelpWindow::showDefaultTopic()
{
    if (!chm_->defaultTopic().isEmpty()) {
        showTopic(chm_->defaultTopic());
        return;
    }
    for (const ContentsEntry& e : chm_->contents())
        if (!e.local.isEmpty()) {
            showTopic(e.local);
            return;
        }
    showMessagePage(QStringLiteral("No topic"), QStringLiteral("The help file \"%1\" names no topic to show.").arg(fileName()));
}

void HelpWindow::showMissingContext(int context)
{
    showMessagePage(QStringLiteral("Topic not found"),
                    QStringLiteral("The help file \"%1\" has no topic for help context %2.").arg(fileName()).arg(context));
}

void HelpWindow::showMessagePage(const QString& title, const QString& text)
{
    browser_->setHtml(QStringLiteral("<html><body><h2>%1</h2><p>%2</p></body></html>").arg(Escape(title), Escape(text)));
}

bool HelpWindow::findText(const QString& text, bool backward)
{
    if (text.isEmpty())
        return false;
    const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (browser_->find(text, flags))
        return true;
    // Wrap around once from the other end.
    QTextCursor c = browser_->textCursor();
    c.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    browser_->setTextCursor(c);
    const bool found = browser_->find(text, flags);
    if (!found)
        QApplication::beep();
    return found;
}

void HelpWindow::listSearchTopics()
{
    searchList_->clear();
    for (const SearchHit& h : chm_->search(searchEdit_->text())) {
        auto* item = new QListWidgetItem(h.title, searchList_);
        item->setData(Qt::UserRole, h.local);
    }
    if (searchList_->count() > 0)
        searchList_->setCurrentRow(0);
}

} // namespace hh
