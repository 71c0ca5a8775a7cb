#include "Forms.h"

#include <QScreen>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

TEST(KeepOnScreen, AWindowPlacedPartlyOffTheScreenIsMovedOntoIt)
{
    QWidget w;
    w.resize(300, 200);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QRect avail = w.screen()->availableGeometry();
    const int fw = w.frameGeometry().width(), fh = w.frameGeometry().height();  // the frame included
    struct Case { QPoint at; QPoint expect; } cases[] = {
        {{-50, -30}, {avail.left(), avail.top()}},                                  // above and left
        {{avail.right() - 100, 40}, {avail.right() + 1 - fw, 40}},                   // past the right edge
        {{60, avail.bottom() - 50}, {60, avail.bottom() + 1 - fh}},                  // past the bottom
        {{70, 80}, {70, 80}},                                                        // on the screen: stays
    };
    for (const Case& c : cases) {
        w.move(c.at);
        KeepOnScreen(&w);
        EXPECT_EQ(w.frameGeometry().topLeft(), c.expect) << c.at.x() << "," << c.at.y();
    }
    // Larger than the screen: the top left corner, with the title bar, is on it.
    w.resize(avail.width() + 100, avail.height() + 100);
    w.move(-20, -20);
    KeepOnScreen(&w);
    EXPECT_EQ(w.frameGeometry().topLeft(), avail.topLeft());
}

namespace {
QPoint FlushRight(const QRect& frame, const QRect& screen) { return {screen.right() + 1 - frame.width(), 40}; }
} // namespace

// The offscreen platform, like a window manager, adds the frame only when the window is
// shown: a placement made before then has the client area alone to go by.
TEST(PlaceFrame, AWindowPlacedBeforeItIsFramedIsPlacedAgainByItsFrame)
{
    QWidget w;
    w.resize(300, 200);
    PlaceFrame(&w, FlushRight);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(20);
    const QRect screen = w.screen()->geometry();
    ASSERT_GT(w.frameGeometry().width(), w.width()) << "no frame to place by";
    EXPECT_EQ(w.frameGeometry().right(), screen.right());
    EXPECT_EQ(w.frameGeometry().top(), 40);

    // Framed: a placement takes effect at once, and the user's move afterwards stays.
    PlaceFrame(&w, [](const QRect&, const QRect& s) { return s.topLeft() + QPoint(10, 20); });
    EXPECT_EQ(w.frameGeometry().topLeft(), screen.topLeft() + QPoint(10, 20));
    w.move(70, 80);
    w.update();
    QTest::qWait(20);
    EXPECT_EQ(w.frameGeometry().topLeft(), QPoint(70, 80));
}

// Each kind of placement, asked for before the window is framed, lands by the frame.
TEST(PlaceFrame, TheKindsOfPlacementGoByTheFrame)
{
    struct Case {
        const char* name;
        FramePlacement placement;
        std::function<QPoint(const QRect& frame, const QRect& screen)> expect;
    } cases[] = {
        {"flush right", FrameAtRight(), [](const QRect& f, const QRect& s) { return QPoint(s.right() + 1 - f.width(), 50); }},
        {"2 inside the right edge", FrameAtRight(2),
         [](const QRect& f, const QRect& s) { return QPoint(s.right() - 1 - f.width(), 50); }},
        {"1 inside the right edge, top 10", FrameAtRight(1, 10),
         [](const QRect& f, const QRect& s) { return QPoint(s.right() - f.width(), 10); }},
        {"left 1", FrameAtLeft(1), [](const QRect&, const QRect&) { return QPoint(1, 50); }},
        {"left 264, top 171", FrameAtLeft(264, 171), [](const QRect&, const QRect&) { return QPoint(264, 171); }},
        {"centred", FrameCentred(),
         [](const QRect& f, const QRect& s) {
             return QPoint((s.width() - f.width()) / 2, (s.height() - f.height()) / 2);
         }},
    };
    for (const Case& c : cases) {
        QWidget w;
        w.resize(301, 201);
        w.move(30, 50);
        PlaceFrame(&w, c.placement);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(20);
        const QRect frame = w.frameGeometry();
        ASSERT_GT(frame.height(), w.height()) << "no frame to place by";
        EXPECT_EQ(frame.topLeft(), c.expect(frame, w.screen()->geometry())) << c.name;
    }
}
