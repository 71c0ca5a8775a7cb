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
