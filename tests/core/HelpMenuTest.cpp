// The main window's help: F1 on the window, the test type selector and the Help menu's
// items raises help requests with their help contexts, and Help > Operation Guide shows
// the operation guide from the data folder.
#include "ProgramFixture.h"

#include "Forms.h"
#include "HelpApi.h"
#include "KyrHelp.h"
#include "KyrMain.h"
#include "Pass.h"

#include <QAction>
#include <QApplication>
#include <QTextBrowser>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class HelpMenuTest : public ProgramFixture {
protected:
    void TriggerGuide() { fmKyr->findChild<QAction*>(QStringLiteral("mOpGuide"))->trigger(); }
    static bool WriteGuide(const QString& path, const QByteArray& text)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    }
    QString guideName() const { return QStringLiteral("Kestrovan Operation Guide.txt"); }
};

TEST_F(HelpMenuTest, F1RaisesTheHelpContextOfTheControlOrItsWindow)
{
    StartProgram();
    std::vector<int> contexts;
    const THelpEvent hook = Application.OnHelp;
    ASSERT_TRUE(static_cast<bool>(hook)) << "the main window's help hook takes the requests";
    Application.OnHelp.Code = [&](unsigned short command, int data, bool& callHelp) {
        EXPECT_EQ(command, HELP_CONTEXT);
        contexts.push_back(data);
        return hook.Code(command, data, callHelp);
    };
    answers->clear();

    QTest::keyClick(fmKyr->TestTypeSelItem[0], Qt::Key_F1);
    QTest::keyClick(fmKyr->cbRange, Qt::Key_F1);  // no context of its own: the window's

    auto* helpMenu = fmKyr->findChild<QMenu*>(QStringLiteral("mHelp"));
    ASSERT_NE(helpMenu, nullptr);
    helpMenu->popup(fmKyr->mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(helpMenu));
    helpMenu->setActiveAction(fmKyr->findChild<QAction*>(QStringLiteral("mContents")));
    QTest::keyClick(helpMenu, Qt::Key_F1);
    helpMenu->setActiveAction(fmKyr->findChild<QAction*>(QStringLiteral("mAbout")));
    QTest::keyClick(helpMenu, Qt::Key_F1);  // no context of its own: the Help menu's
    helpMenu->hide();

    EXPECT_EQ(contexts, (std::vector<int>{1130, 1000, 1000, 1}));
    // Without the help control (not loaded in this test) each request says so, once.
    EXPECT_EQ(answers->count(QStringLiteral("MS Html Help is not installed on this PC.")), 4);
    Application.OnHelp = hook;
}

// The password dialog and a message box such as the about box are windows of their own
// without a help context: F1 there raises no request, although their owner has one.
TEST_F(HelpMenuTest, F1OnADialogWithoutAContextRaisesNothing)
{
    StartProgram();
    std::vector<int> contexts;
    const THelpEvent hook = Application.OnHelp;
    Application.OnHelp.Code = [&](unsigned short, int data, bool& callHelp) {
        contexts.push_back(data);
        callHelp = false;
        return true;
    };
    auto pass = std::make_unique<TfmPass>(fmKyr);
    pass->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pass.get()));
    QTest::keyClick(pass->Password, Qt::Key_F1);
    QTest::keyClick(pass.get(), Qt::Key_F1);
    pass.reset();

    QMessageBox about(QMessageBox::NoIcon, QStringLiteral("Kestrovan"), QStringLiteral("Version: 10"),
                      QMessageBox::Ok | QMessageBox::Cancel, fmKyr);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::keyClick(about.button(QMessageBox::Ok), Qt::Key_F1);
    about.hide();
    EXPECT_EQ(contexts, std::vector<int>{});

    // The main window itself still has its own.
    QTest::keyClick(fmKyr->cbRange, Qt::Key_F1);
    EXPECT_EQ(contexts, std::vector<int>{1000});
    Application.OnHelp = hook;
}

TEST_F(HelpMenuTest, ContentsOpensTheHelpFileAndTheEndClosesItsWindows)
{
    StartProgram();
    // Without the control the command does nothing.
    ASSERT_EQ(HtmlHelp, nullptr);
    fmKyr->findChild<QAction*>(QStringLiteral("mContents"))->trigger();
    auto helpWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("HtmlHelpWindow"))
                return w;
        return static_cast<QWidget*>(nullptr);
    };
    EXPECT_EQ(helpWindow(), nullptr);

    // With the control beside the program: the help file's default topic.
    LoadHtmlHelp();
    ASSERT_NE(HtmlHelp, nullptr);
    fmKyr->findChild<QAction*>(QStringLiteral("mContents"))->trigger();
    QWidget* help = helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->findChild<QTextBrowser*>()->source().path(), QStringLiteral("/contents.htm"));
    // The main window's end closes every help window.
    StopProgram();
    EXPECT_EQ(helpWindow(), nullptr);
    UnloadHtmlHelp();
}

TEST_F(HelpMenuTest, OperationGuideFromTheDataFolder)
{
    StartProgram();
    ASSERT_NE(fmKyrHelp, nullptr);
    EXPECT_FALSE(fmKyrHelp->isVisible());
    EXPECT_EQ(fmKyrHelp->windowTitle(), QStringLiteral("Kestrovan Help"));
    answers->clear();

    // Without the file in the data folder nothing happens, also when the program folder
    // has one.
    const QString inProgram = fmKyr->ProgFolder + QLatin1Char('/') + guideName();
    ASSERT_TRUE(WriteGuide(inProgram, "program folder copy\r\n"));
    TriggerGuide();
    QFile::remove(inProgram);
    EXPECT_FALSE(fmKyrHelp->isVisible());
    EXPECT_TRUE(answers->requests.empty());

    ASSERT_TRUE(WriteGuide(DataFile(guideName()), "KESTROVAN GUIDE\r\nStep one.\r\n"));
    TriggerGuide();
    ASSERT_TRUE(fmKyrHelp->isVisible());
    EXPECT_FALSE(fmKyrHelp->isModal());
    EXPECT_EQ(fmKyrHelp->Memo1->toPlainText(), QStringLiteral("KESTROVAN GUIDE\nStep one."));

    // A second command while it is open reloads the file; edits in the box are lost.
    QTest::keyClicks(fmKyrHelp->Memo1, QStringLiteral("typed"));
    ASSERT_TRUE(WriteGuide(DataFile(guideName()), "KESTROVAN GUIDE\r\nStep one.\r\nStep two.\r\n"));
    TriggerGuide();
    EXPECT_TRUE(fmKyrHelp->isVisible());
    EXPECT_EQ(fmKyrHelp->Memo1->toPlainText(), QStringLiteral("KESTROVAN GUIDE\nStep one.\nStep two."));

    // Close hides the window; the next command shows the file again, unchanged.
    QTest::keyClicks(fmKyrHelp->Memo1, QStringLiteral("more"));
    QTest::mouseClick(fmKyrHelp->Close, Qt::LeftButton);
    EXPECT_FALSE(fmKyrHelp->isVisible());
    TriggerGuide();
    EXPECT_TRUE(fmKyrHelp->isVisible());
    EXPECT_EQ(fmKyrHelp->Memo1->toPlainText(), QStringLiteral("KESTROVAN GUIDE\nStep one.\nStep two."));
    EXPECT_TRUE(answers->requests.empty());
}

TEST_F(HelpMenuTest, TheGuideWindowWithTheProductsGuide)
{
    StartProgram();
    ASSERT_TRUE(QFile::copy(QStringLiteral(KV_SOURCE_DIR "/data/Kestrovan Operation Guide.txt"), DataFile(guideName())));
    TriggerGuide();
    ASSERT_TRUE(fmKyrHelp->isVisible());
    const QString guide = fmKyrHelp->Memo1->toPlainText();
    EXPECT_TRUE(guide.startsWith(QStringLiteral("KESTROVAN 10 RECLOSER TEST SET - OPERATION GUIDE")));
    // The guide promises F1 only where a window carries a help context.
    EXPECT_FALSE(guide.contains(QStringLiteral("F1 in a window of the program"))) << qPrintable(guide.left(300));
    EXPECT_TRUE(guide.simplified().contains(
        QStringLiteral("F1 shows help on the main window, on its test type selector and on the calibration window")));
    EXPECT_EQ(fmKyrHelp->Memo1->geometry(), QRect(40, 48, 609, 353));
    EXPECT_EQ(fmKyrHelp->Close->geometry(), QRect(320, 416, 75, 25));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fmKyrHelp));
    EXPECT_TRUE(fmKyrHelp->grab().save(ArtifactPath(QStringLiteral("operation_guide_window.png"))));
}

} // namespace
