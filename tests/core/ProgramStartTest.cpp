// The welcome window and its picture.
#include "KyrImage.h"

#include "Forms.h"
#include "Kestrovan10.h"
#include "KyrGlobals.h"
#include "KyrMain.h"
#include "TestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QGuiApplication>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(WelcomePicture, StoredJpegDecodesThroughLibjpeg)
{
    const QByteArray jpeg = WelcomePictureJpeg();
    ASSERT_GT(jpeg.size(), 1000);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);  // SOI marker
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
    const QImage img = DecodeJpeg(jpeg);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(449, 321));
    // Not a blank picture: the sky at the top is darker than the ground line's text area.
    EXPECT_NE(img.pixel(5, 5), img.pixel(5, 300));
}

TEST(WelcomePicture, BrokenDataGivesNullImageWithoutCrashing)
{
    const QByteArray good = WelcomePictureJpeg();
    const QByteArray cases[] = {QByteArray(), QByteArray("not a jpeg at all"), good.left(200),
                                QByteArray(1, '\xFF') + QByteArray(1, '\xD8') + QByteArray(64, '\0')};
    for (const QByteArray& c : cases) {
        const QImage img = DecodeJpeg(c);
        // A truncated stream may still decode partly (libjpeg fills the rest); it must
        // never crash or leak, and garbage gives no image.
        if (c.size() < 100) {
            EXPECT_TRUE(img.isNull()) << c.size();
        }
    }
}

TEST(WelcomeWindow, FormAsStoredAndEveryClickHides)
{
    TfmKyr560 w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Welcome to the Kestrovan Recloser Test System for Windows 10"));
    EXPECT_EQ(w.size(), QSize(509, 414));
    const QPoint mid = QGuiApplication::primaryScreen()->geometry().center();
    EXPECT_LE((w.geometry().center() - mid).manhattanLength(), 2);  // centred on the screen
    EXPECT_EQ(w.Image1->geometry(), QRect(32, 16, 449, 321));
    EXPECT_EQ(w.Label1->geometry(), QRect(32, 344, 449, 57));
    EXPECT_EQ(w.Label1->text(), QStringLiteral("Kestrovan for Win10"));
    EXPECT_TRUE(w.Label1->font().italic());
    EXPECT_EQ(w.Label1->font().pixelSize(), 48);
    // The name fits its label in the face that stands in for the stored one.
    EXPECT_LE(QFontMetrics(w.Label1->font()).horizontalAdvance(w.Label1->text()), w.Label1->width());
    EXPECT_EQ(QFontInfo(w.Label1->font()).family(), QStringLiteral("Caladea"));
    ASSERT_FALSE(w.Image1->pixmap().isNull());
    EXPECT_FALSE(w.isVisible());

    struct Case { const char* what; QWidget* target; QPoint at; };
    const Case cases[] = {{"picture", w.Image1, QPoint(100, 100)},
                          {"label", w.Label1, QPoint(20, 20)},
                          {"background", &w, QPoint(5, 5)}};
    for (const Case& c : cases) {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(c.target, Qt::LeftButton, {}, c.at);
        EXPECT_FALSE(w.isVisible()) << c.what;
        EXPECT_FALSE(Application.Terminated) << c.what;
    }
    w.grab().save(ArtifactPath(QStringLiteral("welcome.png")));
}

TEST(WelcomeWindow, CloseBoxHidesAndEndsTheProgram)
{
    TfmKyr560 w;
    w.show();
    Application.Terminated = false;
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(Application.Terminated);
    Application.Terminated = false;
}

TEST(WelcomeWindow, WaitEndsOnTheClick)
{
    fmKyr560 = new TfmKyr560;
    bool clicked = false;
    bool rescued = false;
    QObject context;
    QTimer::singleShot(150, &context, [&] {
        clicked = true;
        QTest::mouseClick(fmKyr560->Label1, Qt::LeftButton);
    });
    // The wait has no time-out of its own: one that missed the click is ended here, late
    // enough for any load, and fails the test.
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, &context, [&] {
        rescued = true;
        fmKyr560->hide();
    });
    rescue.start(30000);
    WelcomeWait();
    EXPECT_TRUE(clicked);   // not over before the click
    EXPECT_FALSE(rescued);  // over because of it
    EXPECT_FALSE(fmKyr560->isVisible());
    EXPECT_FALSE(Application.Terminated);
    delete fmKyr560;
    EXPECT_EQ(fmKyr560, nullptr);
}

} // namespace

TEST(WelcomeWindow, EndedAtTheWelcomeWindowTheMainWindowNeitherShowsNorInitialises)
{
    TempCurrentDir tmp;
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", tmp.path().toLocal8Bit());
    Application.Terminated = true;  // the welcome window's close box
    Painted = false;
    ProgInitDone = false;
    EXPECT_EQ(RunProgram(), 0);
    // No window was made: no demo file question, no search, no initialisation.
    EXPECT_EQ(fmKyr, nullptr);
    EXPECT_FALSE(ProgInitDone);
    EXPECT_FALSE(QFileInfo::exists(tmp.file(QStringLiteral("Kestrovan"))));
    // A main window made all the same stays hidden and never initialises.
    CreateProgramWindows();
    QTest::qWait(300);
    EXPECT_FALSE(fmKyr->isVisible());
    EXPECT_FALSE(ProgInitDone);
    FreeProgramWindows();
    Application.Terminated = false;
    if (hadXdg)
        qputenv("XDG_DATA_HOME", oldXdg);
    else
        qunsetenv("XDG_DATA_HOME");
}
