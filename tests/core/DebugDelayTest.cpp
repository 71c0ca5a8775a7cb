#include "DelayForm.h"
#include "Debug.h"
#include "Delays.h"
#include "Forms.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
struct DebugWindow {
    DebugWindow() { fmDebug = new TfmDebug(); }
    ~DebugWindow() { delete fmDebug; }
};
QStringList traceLines() { return fmDebug->TraceText().split('\n'); }
}  // namespace

TEST(DebugTrace, LinesAreNumberedAndStampedWithTheTickClock)
{
    TfmDebug::AddLine("before the window ");  // lost: no window yet
    DebugWindow w;
    TfmDebug::AddLine("ProgInit ");
    fmDebug->ElapsedMs = 12300;
    TfmDebug::AddLine("End ProgInit ");
    fmDebug->ElapsedMs = 100;
    TfmDebug::AddLine("x");
    EXPECT_EQ(traceLines(), (QStringList{"1: ProgInit  at: 0", "2: End ProgInit  at: 12.3", "3: x at: 0.1"}));
}

TEST(DebugTrace, FirstTickHidesAShownWindowLaterTicksDoNot)
{
    DebugWindow w;
    fmDebug->show();
    EXPECT_TRUE(traceLines().last().startsWith("1: Debug Show fmDebug  at: "));
    EXPECT_EQ(fmDebug->x(), 1);
    fmDebug->DebugTimerTick();
    EXPECT_FALSE(fmDebug->isVisible());
    fmDebug->show();
    fmDebug->DebugTimerTick();
    EXPECT_TRUE(fmDebug->isVisible());
    EXPECT_FLOAT_EQ(fmDebug->ElapsedMs, 200);
}

TEST(DebugTrace, SaveLogWritesEveryLineToTheProgramNamedFile)
{
    TempCurrentDir dir;
    DebugWindow w;
    EXPECT_EQ(TfmDebug::LogFileName("/opt/x/KYRRUN.EXE"), "KYRRUN.dbg");
    EXPECT_EQ(TfmDebug::LogFileName("Kestrovan10"), "Kestrovan10.dbg");
    EXPECT_EQ(TfmDebug::LogFileName("a.b.c"), "a.dbg");
    const QString saved = Application.ExeName;
    Application.ExeName = dir.file("KYRRUN.EXE");
    TfmDebug::AddLine("one ");
    TfmDebug::AddLine("two ");
    fmDebug->SaveLog();
    QFile f("KYRRUN.dbg");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("1: one  at: 0\r\n2: two  at: 0\r\n"));
    // A folder where the file should go: the save cannot write and says so.
    QFile::remove("KYRRUN.dbg");
    QDir().mkdir("KYRRUN.dbg");
    EXPECT_THROW(fmDebug->SaveLog(), EInOutError);
    Application.ExeName = saved;
}

TEST(Delays, DelayMsCountsHundredMillisecondTicks)
{
    fmDelay = new TfmDelay();
    QStringList shown;
    QObject::connect(fmDelay->Edit1, &QLineEdit::textChanged, [&](const QString& t) { shown << t; });
    DelayMs(300);
    EXPECT_EQ(shown, (QStringList{"0.3", "0.2", "0.1"}));
    shown.clear();
    DelayMs(250);
    EXPECT_EQ(shown, (QStringList{"0.25", "0.15", "0.05"}));
    shown.clear();
    QElapsedTimer t;
    t.start();
    DelayMs(0);
    EXPECT_LT(t.elapsed(), 50);
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_FALSE(DelayBusy);
    delete fmDelay;
    fmDelay = nullptr;
}

TEST(Delays, NestedDelayReturnsAtOnceAndTheNextOneWaits)
{
    qint64 innerMs = -1;
    QTimer::singleShot(50, [&] {
        QElapsedTimer t;
        t.start();
        DelayMs(500);
        innerMs = t.elapsed();
    });
    DelayMs(300);
    EXPECT_GE(innerMs, 0);
    EXPECT_LT(innerMs, 50);
    QElapsedTimer t;
    t.start();
    DelayMs(200);
    EXPECT_GE(t.elapsed(), 150);
}

TEST(Delays, WaitMsRangeAndBusyWindow)
{
    EXPECT_THROW(WaitMs(60000), EConvertError);
    EXPECT_THROW(WaitMs(-1), EConvertError);
    QElapsedTimer t;
    t.start();
    WaitMs(120);
    EXPECT_GE(t.elapsed(), 120);
    int width = 0;
    QString caption;
    QTimer::singleShot(50, [&] {
        ASSERT_NE(fmDelay, nullptr);
        width = fmDelay->width();
        caption = fmDelay->windowTitle();
    });
    ShowWaitWindow(200, "Wait 4 Seconds");
    EXPECT_EQ(width, 222);
    EXPECT_EQ(caption, "Wait 4 Seconds");
    EXPECT_EQ(fmDelay, nullptr);
}

TEST(Delays, BusyWindowShowsItsWholeTextInARow)
{
    TfmDelay w;
    w.setWindowTitle(QStringLiteral("Busy"));
    w.show();
    auto* label1 = w.findChild<QLabel*>(QStringLiteral("Label1"));
    auto* label2 = w.findChild<QLabel*>(QStringLiteral("Label2"));
    auto* panel = w.findChild<QFrame*>(QStringLiteral("Panel1"));
    ASSERT_TRUE(label1 && label2 && panel);
    EXPECT_GE(label1->width(), label1->fontMetrics().horizontalAdvance(QStringLiteral("Please Wait:")));
    EXPECT_GE(label2->width(), label2->fontMetrics().horizontalAdvance(QStringLiteral("Seconds")));
    // Left to right without overlap, all inside the panel, the panel inside the window.
    EXPECT_LT(label1->geometry().right(), w.Edit1->x());
    EXPECT_LT(w.Edit1->geometry().right(), label2->x());
    EXPECT_LE(label2->geometry().right(), panel->width());
    EXPECT_LE(panel->geometry().right(), w.width());
    EXPECT_EQ(w.height(), 96);
    w.Edit1->setText(QStringLiteral("3.5"));
    w.grab().save(ArtifactPath(QStringLiteral("busy_window.png")));
}

TEST(DebugTrace, WindowStaysOnTheScreenAndItsTextFollowsItsSize)
{
    TfmDebug w;
    w.move(300, -20);  // a frame above the screen
    w.show();
    const QRect avail = w.screen()->availableGeometry();
    EXPECT_EQ(w.frameGeometry().left(), 1);
    EXPECT_GE(w.frameGeometry().top(), avail.top());
    EXPECT_LE(w.frameGeometry().bottom(), avail.bottom());
    // The text keeps its distance to all four sides.
    EXPECT_EQ(w.memoDebug->geometry(), QRect(16, 40, 225, 177));
    w.resize(400, 500);
    EXPECT_EQ(w.memoDebug->geometry(), QRect(16, 40, 400 - 16 - 27, 500 - 40 - 45));
    TfmDebug::AddLine(QStringLiteral("ProgInit "));
    w.resize(268, 262);
    w.grab().save(ArtifactPath(QStringLiteral("debug_window.png")));
}
