// The help hook with the real help control loaded from the program's folder: F1 on the
// windows with a help context, the not-installed box, commands handed back to the
// framework, the help window itself (topics, contents, links, back and forward, find),
// and its use while a modal window is up.
#include "Cal.h"
#include "HelpApi.h"
#include "HelpKit.h"
#include "KyrGlobals.h"
#include "Modules.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QAction>
#include <QElapsedTimer>
#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <QListWidget>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct HHCall {
    HH_HWND caller;
    std::string file;
    std::uint32_t command;
    std::uint32_t data;
    HH_HWND result;
};
std::vector<HHCall> g_calls;
THtmlHelpA g_realHtmlHelp = nullptr;

// Stands between the program and the control, recording each call.
HH_HWND RecordingHtmlHelp(HH_HWND caller, const char* file, std::uint32_t command, std::uint32_t data)
{
    HH_HWND r = g_realHtmlHelp(caller, file, command, data);
    g_calls.push_back({caller, file ? file : "", command, data, r});
    return r;
}

QWidget* HelpWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("HtmlHelpWindow"))
            return w;
    return nullptr;
}

QTextBrowser* Topic(QWidget* help) { return help ? help->findChild<QTextBrowser*>(QStringLiteral("Topic")) : nullptr; }

QStringList LogLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

// Where a link to href is shown in the help window (window coordinates).
QPoint LinkPoint(QWidget* help, const QString& href)
{
    QTextBrowser* b = Topic(help);
    for (QTextBlock bl = b->document()->begin(); bl.isValid(); bl = bl.next()) {
        for (auto it = bl.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().isAnchor() && f.charFormat().anchorHref() == href) {
                QTextCursor c(b->document());
                c.setPosition(f.position() + 1);
                return b->viewport()->mapTo(help, b->cursorRect(c).center());
            }
        }
    }
    return {-1, -1};
}

// The control loaded as the program loads it, the probe made, the log on in a folder of
// the test's own, and the hook installed for the help file beside the program.
class HelpControl : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        HelpKitModulePath = dir_.path() + QStringLiteral("/Kestrovan10");
        HelpKitCommandLine = {HelpKitModulePath, QStringLiteral("-debug")};
        LoadHtmlHelp();
        HelpKitInitialization();
        ASSERT_TRUE(HtmlHelp) << "the control beside the program is loaded";
        ASSERT_TRUE(_hhInstalled);
        g_realHtmlHelp = HtmlHelp;
        HtmlHelp = RecordingHtmlHelp;
        Application.HelpFile = QStringLiteral(KV_BIN_DIR) + QStringLiteral("/Kestrovan.chm");
        hook_ = std::make_unique<THookHelpSystem>(Application.HelpFile, QString(), 0);
    }
    void TearDown() override
    {
        hook_.reset();
        if (HtmlHelp == RecordingHtmlHelp)
            HtmlHelp = g_realHtmlHelp;
        UnloadHtmlHelp();
        HelpKitFinalization();
        HelpKitCommandLine.clear();
        HelpKitModulePath.clear();
        SetProgramFolderForTests(QString());
        EXPECT_EQ(HelpWindow(), nullptr) << "unloading the control takes its windows with it";
    }
    QString log() const { return dir_.path() + QStringLiteral("/HelpDebug.txt"); }

    QTemporaryDir dir_;
    std::unique_ptr<THookHelpSystem> hook_;
};

TEST_F(HelpControl, F1OnTheCalibrationWindowShowsItsTopicAndTheHelpWindowStaysUsable)
{
    TempCurrentDir data;
    DataFolder = data.path();
    DemoMode = true;
    ScriptedMessages messages;
    auto cal = std::make_unique<TfmCal>();
    fmCal = cal.get();
    auto other = std::make_unique<QPushButton>(QStringLiteral("elsewhere"));
    other->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(other.get()));
    int otherClicks = 0;
    QObject::connect(other.get(), &QPushButton::clicked, [&] { ++otherClicks; });

    // The help window is already open from the main window when the calibration window
    // comes up.
    ASSERT_TRUE(Application.HelpContext(1000));
    ASSERT_NE(HelpWindow(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(HelpWindow()));
    g_calls.clear();

    bool checked = false;
    QTimer::singleShot(0, [&] {
        // Inside the calibration window's modal loop.
        ASSERT_TRUE(QTest::qWaitForWindowExposed(cal.get()));
        QTest::keyClick(cal->focusWidget() ? cal->focusWidget() : cal.get(), Qt::Key_F1);

        ASSERT_EQ(g_calls.size(), 1u);
        EXPECT_EQ(g_calls[0].caller, GetDesktopWindow());
        EXPECT_EQ(QString::fromStdString(g_calls[0].file), Application.HelpFile);
        EXPECT_EQ(g_calls[0].command, HH_HELP_CONTEXT);
        EXPECT_EQ(g_calls[0].data, 2000u);
        QWidget* help = HelpWindow();
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(g_calls[0].result, WindowHandle(help));
        EXPECT_TRUE(help->isVisible());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
        EXPECT_EQ(Topic(help)->source().path(), QStringLiteral("/calibration.htm"));
        EXPECT_TRUE(Topic(help)->toPlainText().contains(QStringLiteral("The calibration window holds")));

        // Usable while the calibration window is modal: scrolled by its keys, its links
        // followed, through the window system as a user's input comes.
        Topic(help)->setFocus();
        QScrollBar* bar = Topic(help)->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0) << "the topic is longer than the window";
        QTest::keyClick(help->windowHandle(), Qt::Key_PageDown);
        QTest::keyClick(help->windowHandle(), Qt::Key_PageDown);
        QTest::keyClick(help->windowHandle(), Qt::Key_PageDown);
        EXPECT_GT(bar->value(), 0);
        const QPoint link = LinkPoint(help, QStringLiteral("main-window.htm"));
        ASSERT_TRUE(help->rect().contains(link));
        QTest::mouseClick(help->windowHandle(), Qt::LeftButton, {}, link);
        EXPECT_EQ(Topic(help)->source().path(), QStringLiteral("/main-window.htm"));

        // Every other window stays blocked.
        QTest::mouseClick(other->windowHandle(), Qt::LeftButton, {}, other->rect().center());
        EXPECT_EQ(otherClicks, 0);
        checked = true;
        cal->reject();
    });
    cal->exec();
    EXPECT_TRUE(checked);
    cal.reset();
    fmCal = nullptr;
    DemoMode = false;

    const QStringList lines = LogLines(log());
    EXPECT_EQ(lines.filter(QStringLiteral("THookHelpSystem.HelpHook(1 (HELP_CONTEXT), 2000)")).size(), 1);
    EXPECT_EQ(lines.filter(QStringLiteral("ShowContext(\"") + Application.HelpFile + QStringLiteral("\", 0)")).size(), 2);
    EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d     returned - 0$"))).size(), 2);
}

// Opened over a modal window low on a small screen, the help window comes up whole on
// the screen's work area, its find bar included.
TEST_F(HelpControl, TheHelpWindowStaysOnASmallScreen)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->availableGeometry();
    ASSERT_LT(area.width(), 1000) << "a screen smaller than the help window's own size";
    QDialog low;
    low.resize(area.width() / 2, area.height() / 3);
    low.move(area.left() + area.width() / 4, area.bottom() - low.height() - 20);
    bool checked = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&low));
        ASSERT_TRUE(Application.HelpContext(2000));
        QWidget* help = HelpWindow();
        ASSERT_NE(help, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
        QTest::qWait(20);
        EXPECT_TRUE(area.contains(help->frameGeometry())) << "frame " << help->frameGeometry().x() << ","
                                                          << help->frameGeometry().y() << " "
                                                          << help->frameGeometry().width() << "x"
                                                          << help->frameGeometry().height();
        // Over the window it was opened from.
        EXPECT_TRUE(help->frameGeometry().intersects(low.frameGeometry()));
        for (QAction* a : help->findChildren<QAction*>())
            if (a->text() == QLatin1String("Find"))
                a->trigger();
        auto* find = help->findChild<QLineEdit*>(QStringLiteral("FindText"));
        ASSERT_NE(find, nullptr);
        EXPECT_TRUE(area.contains(QRect(find->mapToGlobal(QPoint()), find->size())));
        checked = true;
        low.reject();
    });
    low.exec();
    EXPECT_TRUE(checked);
}

TEST_F(HelpControl, TheHelpWindowOnTheMainWindowsTopic)
{
    ASSERT_TRUE(Application.HelpContext(1000));
    QWidget* help = HelpWindow();
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
    QTextBrowser* topic = Topic(help);
    EXPECT_EQ(topic->source().path(), QStringLiteral("/main-window.htm"));
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Kestrovan 10 Help"));
    // The picture is there (an image as wide as the main window).
    const QVariant picture =
        topic->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("chm:/images/main-window.png")));
    EXPECT_TRUE(picture.isValid());
    EXPECT_GE(topic->document()->size().width(), 498);

    // The contents tree from the help file's table of contents, the topic marked.
    QTreeWidget* tree = help->findChild<QTreeWidget*>(QStringLiteral("Contents"));
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* top = tree->topLevelItem(0);
    EXPECT_EQ(top->text(0), QStringLiteral("Kestrovan 10 Help"));
    ASSERT_EQ(top->childCount(), 2);
    EXPECT_EQ(top->child(0)->text(0), QStringLiteral("The main window"));
    EXPECT_EQ(top->child(0)->child(0)->text(0), QStringLiteral("Test type"));
    EXPECT_EQ(tree->currentItem(), top->child(0));
    QTest::qWait(50);
    const QImage shot = help->grab().toImage();
    EXPECT_TRUE(shot.save(ArtifactPath(QStringLiteral("help_window_main_topic.png"))));

    // A contents entry, then back and forward.
    tree->setCurrentItem(top->child(1));
    emit tree->itemClicked(top->child(1), 0);
    EXPECT_EQ(topic->source().path(), QStringLiteral("/calibration.htm"));
    topic->backward();
    EXPECT_EQ(topic->source().path(), QStringLiteral("/main-window.htm"));
    topic->forward();
    EXPECT_EQ(topic->source().path(), QStringLiteral("/calibration.htm"));

    // Find in the topic.
    auto* find = help->findChild<QLineEdit*>(QStringLiteral("FindText"));
    ASSERT_NE(find, nullptr);
    for (QAction* a : help->findChildren<QAction*>())
        if (a->text() == QLatin1String("Find"))
            a->trigger();
    EXPECT_TRUE(find->isVisible());
    QTest::keyClicks(find, QStringLiteral("reference meter"));
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(topic->textCursor().selectedText(), QStringLiteral("reference meter"));
}

// The topics bring their own page and text colours: under a dark palette the page is
// still white and its dark blue headings readable.
TEST_F(HelpControl, TopicsKeepTheirColoursUnderADarkPalette)
{
    const QPalette previous = QApplication::palette();
    QPalette dark(QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
    dark.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, QColor(0xE0, 0xE0, 0xE0));
    QApplication::setPalette(dark);
    ASSERT_TRUE(Application.HelpContext(1000));
    QWidget* help = HelpWindow();
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
    QTextBrowser* topic = Topic(help);
    const QImage page = topic->viewport()->grab().toImage();
    EXPECT_TRUE(page.save(ArtifactPath(QStringLiteral("help_topic_under_dark_palette.png"))));
    // The page's background far right, below the first heading.
    EXPECT_GE(QColor(page.pixel(page.width() - 6, 60)).lightness(), 240);
    // Body text is black.
    bool blackText = false;
    for (int y = 0; y < page.height() && !blackText; ++y)
        for (int x = 0; x < page.width() && !blackText; ++x)
            blackText = QColor(page.pixel(x, y)).lightness() < 40;
    EXPECT_TRUE(blackText);
    QApplication::setPalette(previous);
}

TEST_F(HelpControl, ContentsShowsTheDefaultTopicAndCloseAllClosesIt)
{
    HH_HWND w = HtmlHelp(nullptr, QFile::encodeName(Application.HelpFile).constData(), HH_DISPLAY_TOPIC, 0);
    ASSERT_NE(w, nullptr);
    QWidget* help = HelpWindow();
    ASSERT_EQ(WindowHandle(help), w);
    EXPECT_EQ(Topic(help)->source().path(), QStringLiteral("/contents.htm"));
    // A topic named in the path, with a window name after it.
    HtmlHelp(nullptr, QFile::encodeName(Application.HelpFile + QStringLiteral("::/test-type.htm>main")).constData(),
             HH_DISPLAY_TOPIC, 0);
    EXPECT_EQ(HelpWindow(), help) << "one window per help file";
    EXPECT_EQ(Topic(help)->source().path(), QStringLiteral("/test-type.htm"));
    // A context number the file does not map: the window says so.
    HtmlHelp(nullptr, QFile::encodeName(Application.HelpFile).constData(), HH_HELP_CONTEXT, 4242);
    EXPECT_TRUE(Topic(help)->toPlainText().contains(QStringLiteral("no topic for help context 4242")));

    HHCloseAll();
    EXPECT_EQ(HelpWindow(), nullptr);
    ASSERT_EQ(g_calls.size(), 4u);
    EXPECT_EQ(g_calls[3].command, HH_CLOSE_ALL);
    EXPECT_EQ(g_calls[3].caller, nullptr);
    EXPECT_TRUE(g_calls[3].file.empty());
}

// The Index tab lists the file's own keywords; typing goes to the first keyword that
// starts so, Enter shows its topic.
TEST_F(HelpControl, IndexTypingJumpsToTheKeywordAndEnterShowsItsTopic)
{
    ASSERT_NE(HtmlHelp(nullptr, QFile::encodeName(Application.HelpFile).constData(), HH_DISPLAY_TOPIC, 0), nullptr);
    QWidget* help = HelpWindow();
    auto* edit = help->findChild<QLineEdit*>(QStringLiteral("IndexKeyword"));
    auto* list = help->findChild<QListWidget*>(QStringLiteral("Index"));
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(list, nullptr);
    QStringList keywords;
    for (int i = 0; i < list->count(); ++i)
        keywords << list->item(i)->text();
    EXPECT_EQ(keywords, QStringList({"Calibration", "Calibration date", "Main window", "Minimum pickup test",
                                     "Normal test", "Results", "Running a test", "Test type"}));
    struct Case { const char* typed; const char* keyword; const char* topic; };
    const Case cases[] = {{"calibration d", "Calibration date", "/calibration.htm"},
                          {"no", "Normal test", "/test-type.htm"},
                          {"Ru", "Running a test", "/main-window.htm"}};
    for (const Case& c : cases) {
        edit->clear();
        QTest::keyClicks(edit, QString::fromLatin1(c.typed));
        ASSERT_NE(list->currentItem(), nullptr) << c.typed;
        EXPECT_EQ(list->currentItem()->text(), QLatin1String(c.keyword));
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(Topic(help)->source().path(), QLatin1String(c.topic));
    }
    HHCloseAll();
}

// The Search tab lists the topics that hold all the words, from the file's own search
// data; a click shows the topic.
TEST_F(HelpControl, SearchListsTheTopicsThatHoldTheWords)
{
    ASSERT_NE(HtmlHelp(nullptr, QFile::encodeName(Application.HelpFile).constData(), HH_DISPLAY_TOPIC, 0), nullptr);
    QWidget* help = HelpWindow();
    auto* edit = help->findChild<QLineEdit*>(QStringLiteral("SearchWords"));
    auto* list = help->findChild<QListWidget*>(QStringLiteral("SearchTopics"));
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(list, nullptr);
    auto topics = [&](const QString& words) {
        edit->clear();
        QTest::keyClicks(edit, words);
        QTest::keyClick(edit, Qt::Key_Return);
        QStringList paths;
        for (int i = 0; i < list->count(); ++i)
            paths << list->item(i)->data(Qt::UserRole).toString();
        return paths;
    };
    EXPECT_EQ(topics(QStringLiteral("lockout")), QStringList({"/main-window.htm"}));
    EXPECT_EQ(topics(QStringLiteral("recloser")), QStringList({"/contents.htm", "/main-window.htm", "/test-type.htm"}));
    EXPECT_EQ(topics(QStringLiteral("Calibration")), QStringList({"/contents.htm", "/main-window.htm", "/calibration.htm"}));
    EXPECT_EQ(topics(QStringLiteral("recloser calibration")), QStringList({"/contents.htm", "/main-window.htm"}));
    EXPECT_EQ(topics(QStringLiteral("zzzz")), QStringList());
    EXPECT_EQ(topics(QStringLiteral("  ")), QStringList());
    // The topics are listed by their titles and open on a click.
    topics(QStringLiteral("lockout"));
    ASSERT_EQ(list->count(), 1);
    EXPECT_FALSE(list->item(0)->text().isEmpty());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(Topic(help)->source().path(), QStringLiteral("/main-window.htm"));
    HHCloseAll();
}

TEST_F(HelpControl, OtherCommandsGoBackToTheFramework)
{
    const int before = Application.FrameworkHelpRequests;
    EXPECT_FALSE(Application.HelpCommand(7, 5));
    EXPECT_EQ(Application.FrameworkHelpRequests, before + 1);
    // The pop-up position is taken and nothing is shown.
    EXPECT_TRUE(Application.HelpCommand(HELP_SETPOPUP_POS, 0));
    EXPECT_EQ(Application.FrameworkHelpRequests, before + 1);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(HelpWindow(), nullptr);
    // A pop-up context opens in the ordinary help window.
    EXPECT_TRUE(Application.HelpCommand(HELP_CONTEXTPOPUP, 1130));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].data, 1130u);
    EXPECT_EQ(Topic(HelpWindow())->source().path(), QStringLiteral("/test-type.htm"));
    EXPECT_EQ(LogLines(log()).filter(QStringLiteral("THookHelpSystem.HelpHook(7 (?\?), 5)")).size(), 1);
}

TEST_F(HelpControl, TheHookPutsBackTheHandlerItReplaced)
{
    hook_.reset();
    g_calls.clear();
    int earlier = 0;
    THelpEvent mine;
    mine.Code = [&](unsigned short, int, bool& callHelp) {
        ++earlier;
        callHelp = false;
        return true;
    };
    mine.Object = &earlier;
    Application.OnHelp = mine;
    {
        THookHelpSystem hook(Application.HelpFile, QString(), 0);
        EXPECT_EQ(Application.OnHelp.Object, &hook);
        Application.HelpContext(1000);
        EXPECT_EQ(earlier, 0);
        EXPECT_EQ(g_calls.size(), 1u);
    }
    EXPECT_EQ(Application.OnHelp.Object, &earlier);
    Application.HelpContext(1000);
    EXPECT_EQ(earlier, 1);
    EXPECT_EQ(g_calls.back().command, HH_CLOSE_ALL) << "the hook closed the help windows as it went";
    Application.OnHelp = THelpEvent{};
}

TEST_F(HelpControl, WithoutTheControlEachRequestGetsTheNotInstalledBox)
{
    // A machine without the control: not beside the program, not where it is registered,
    // not in the system folder.
    hook_.reset();
    HtmlHelp = g_realHtmlHelp;
    UnloadHtmlHelp();
    QTemporaryDir empty;
    SetProgramFolderForTests(empty.path());
    LoadHtmlHelp();
    HelpKitInitialization();
    EXPECT_EQ(HtmlHelp, nullptr);
    EXPECT_EQ(HHCtrlHandle, nullptr);
    EXPECT_FALSE(_hhInstalled);
    hook_ = std::make_unique<THookHelpSystem>(Application.HelpFile, QString(), 0);

    ScriptedMessages messages;
    EXPECT_TRUE(Application.HelpContext(1000));
    EXPECT_TRUE(Application.HelpContext(2000));
    ASSERT_EQ(messages.requests.size(), 2u);
    for (const MessageRequest& r : messages.requests) {
        EXPECT_EQ(r.kind, MessageRequest::Box);
        EXPECT_EQ(r.text, QStringLiteral("MS Html Help is not installed on this PC."));
        EXPECT_EQ(r.caption, Application.Title);
        EXPECT_EQ(r.flags, 48u);
    }
    EXPECT_EQ(HelpWindow(), nullptr);
    EXPECT_EQ(LogLines(log()).filter(QStringLiteral("returned - 1")).size(), 2);
    EXPECT_EQ(LogLines(log()).filter(QStringLiteral("HHShowError(1), \"MS Html Help is not installed on this PC.\"")).size(), 2);
    // Closing everything does nothing without the control.
    HHCloseAll();
}

// A help file whose directory header claims a chunk size far beyond the file: the
// control refuses it at once, as a file it cannot open, instead of reading gigabytes.
TEST_F(HelpControl, AHelpFileWithLengthsBeyondItsSizeIsRefused)
{
    QFile good(Application.HelpFile);
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray bytes = good.readAll();
    ASSERT_EQ(bytes.left(4), QByteArray("ITSF"));
    struct Field {
        int at;
        int size;
        quint64 value;
    };
    const Field fields[] = {
        {0x88, 4, 0x7FFFFFFF},        // directory chunk size
        {0x50, 8, 0x7FFFFFFFFFFFull}, // directory length
        {0x48, 8, 0x7FFFFFFFFFFFull}, // directory offset
        {0x58, 8, 0x7FFFFFFFFFFFull}, // content offset
    };
    for (const Field& f : fields) {
        QByteArray hostile = bytes;
        for (int i = 0; i < f.size; ++i)
            hostile[f.at + i] = static_cast<char>((f.value >> (8 * i)) & 0xFF);
        const QString name = dir_.path() + QStringLiteral("/Hostile.chm");
        QFile out(name);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(out.write(hostile), hostile.size());
        out.close();
        QElapsedTimer t;
        t.start();
        HtmlHelp(nullptr, QFile::encodeName(name).constData(), HH_HELP_CONTEXT, 1000);
        const qint64 ms = t.elapsed();
        QWidget* help = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("HtmlHelpWindow") && w->isVisible())
                help = w;
        ASSERT_NE(help, nullptr) << std::hex << f.at;
        EXPECT_TRUE(Topic(help)->toPlainText().contains(QStringLiteral("could not be opened"))) << std::hex << f.at;
        EXPECT_LT(ms, 2000) << std::hex << f.at;
        HHCloseAll();
    }
}

TEST(HelpControlPath, RegisteredFileOrTheSystemFolder)
{
    auto reg = std::make_shared<TMemoryRegistry>();
    const QString key = QStringLiteral("CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32");
    const QString control = QStringLiteral(KV_BIN_DIR) + QStringLiteral("/hhctrl.ocx");
    const QString fallback = GetSystemDir() + QStringLiteral("/hhctrl.ocx");
    auto previous = CurrentRegistryBackend();
    SetRegistryBackend(reg);
    EXPECT_EQ(GetHHCtrlPath(), fallback) << "no key";
    reg->SetString(HKEY_CLASSES_ROOT, key, QString(), control);
    EXPECT_EQ(GetHHCtrlPath(), control);
    reg->SetString(HKEY_CLASSES_ROOT, key, QString(), QStringLiteral("%WINDIR%\\System32\\hhctrl.ocx"));
    EXPECT_EQ(GetHHCtrlPath(), fallback);
    reg->SetInteger(HKEY_CLASSES_ROOT, key, QString(), 5);
    EXPECT_EQ(GetHHCtrlPath(), fallback) << "a value that is no text counts as missing";
    SetRegistryBackend(previous);
    // The system's own view registers the control beside the program.
    EXPECT_EQ(GetHHCtrlPath(), ProgramModuleFolder() + QStringLiteral("/hhctrl.ocx"));
}

} // namespace
