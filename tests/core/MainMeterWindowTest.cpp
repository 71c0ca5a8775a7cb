// The meter window: its meter as set up, the two sizes and their places, the needle.
#include "KyrMeter.h"

#include "AnalogMeter.h"
#include "TestSupport.h"

#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>

namespace {

TEST(MeterWindow, FormAndMeterAsSetUp)
{
    auto w = std::make_unique<TfmKyrMeter>();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Analog Meter"));
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);  // only the program hides it
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->size(), QSize(284, 289));
    EXPECT_EQ(w->Button1->text(), QStringLiteral("Large"));
    EXPECT_EQ(w->Button1->geometry(), QRect(10, 266, 49, 17));
    ASSERT_NE(w->Meter, nullptr);
    EXPECT_EQ(w->Meter->parentWidget(), w.get());
    EXPECT_EQ(w->Meter->geometry(), QRect(0, 0, 284, 262));  // top-aligned: the client width
    EXPECT_EQ(w->Meter->Caption(), QStringLiteral("% FS x 10"));
    EXPECT_EQ(w->Meter->Min(), 0.0f);
    EXPECT_EQ(w->Meter->Max(), 1000.0f);
    EXPECT_EQ(w->Meter->TickCount(), 21);
    EXPECT_EQ(w->Meter->LowZone(), 20);
    EXPECT_EQ(w->Meter->HighZone(), 80);
    EXPECT_EQ(w->Meter->OKZoneColor(), clLime);
    EXPECT_EQ(w->Meter->TextHeight(), 8);  // the font was set on the object as read

    // The engine's value: half of full scale shows 500.
    w->Meter->SetValue(500);
    EXPECT_EQ(w->Meter->Value(), 500.0f);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_TRUE(w->grab().save(ArtifactPath(QStringLiteral("meter_window.png"))));
}

TEST(MeterWindow, ButtonTogglesTheSize)
{
    auto w = std::make_unique<TfmKyrMeter>();
    QTest::mouseClick(w->Button1, Qt::LeftButton);
    EXPECT_EQ(w->Button1->text(), QStringLiteral("Small"));
    EXPECT_EQ(w->size(), QSize(548, 499));
    EXPECT_EQ(w->Meter->height(), 468);
    EXPECT_EQ(w->Meter->width(), 548);
    EXPECT_EQ(w->Button1->pos(), QPoint(10, 482));
    EXPECT_EQ(w->y(), 10);
    QTest::mouseClick(w->Button1, Qt::LeftButton);
    EXPECT_EQ(w->Button1->text(), QStringLiteral("Large"));
    EXPECT_EQ(w->size(), QSize(284, 289));
    EXPECT_EQ(w->Meter->height(), 262);
    EXPECT_EQ(w->Button1->pos(), QPoint(10, 266));
}

TEST(MeterWindow, ShowingPlacesTheWindowByItsOuterWidthAndKeepsTheTop)
{
    // No main window here: its held width of 520 stands in.
    auto w = std::make_unique<TfmKyrMeter>();
    const int screen = w->screen()->geometry().width();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QTest::qWait(20);  // placed again once the platform has framed it
    ASSERT_GT(w->frameGeometry().width(), w->width()) << "no frame to place by";
    EXPECT_EQ(w->frameGeometry().left(), screen / 2 + 520 / 2 + 2);
    // Large: the frame's right edge one pixel inside the screen's.
    QTest::mouseClick(w->Button1, Qt::LeftButton);
    EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(screen - w->frameGeometry().width() - 1, 10));
    w->hide();
    w->move(w->x(), 77);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QTest::qWait(20);
    EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(screen - w->frameGeometry().width() - 1, 77));
    QTest::mouseClick(w->Button1, Qt::LeftButton);
    EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(screen / 2 + 520 / 2 + 2, 10));
}

TEST(MeterWindow, PlacesOfTheTwoSizes)
{
    // A 1024-pixel screen and a 600-pixel main window: small at 814, large at 459.
    EXPECT_EQ(TfmKyrMeter::LeftFor(false, 1024, TfmKyrMeter::SmallWidth, 600), 814);
    EXPECT_EQ(TfmKyrMeter::LeftFor(true, 1024, TfmKyrMeter::LargeWidth, 600), 459);
    EXPECT_EQ(TfmKyrMeter::LeftFor(false, 1920, TfmKyrMeter::SmallWidth, 520), 1222);
}

} // namespace

TEST(MeterWindow, ACloseFromOutsideIsRefusedAndTheProgramStillHidesIt)
{
    auto w = std::make_unique<TfmKyrMeter>();
    EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    // A window manager's close button or Alt+F4 arrives as the platform's close request.
    w->windowHandle()->close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(w->isVisible());
    w->hide();
    EXPECT_FALSE(w->isVisible());
}
