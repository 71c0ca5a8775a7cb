// The time-current curve window: the delayed curve with its tolerances and the fast
// curve on log-log axes, drawn from the pair that View Curves hands over.
#include "KyrCurve.h"

#include "FakeReclSource.h"
#include "KyrData.h"
#include "Lagrange.h"
#include "PaintBox.h"
#include "TestSupport.h"
#include "xyplot.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

namespace {

class CurveWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The hub as the records are: the curve window reads the data form's prepared
        // test, the data form shows the curve window.
        hub.PreparedFrom = [] { return fmReclData->PreparedTest(); };
        hub.OnShowCurves = [](const double(&times)[2][10]) { fmKyrCurve->ShowPlot(times); };
        fmReclData = new TfmReclData(&hub, &data);
        fmKyrCurve = new TfmKyrCurve(&hub, &data);
        fmKyrCurve->resize(696, 480);
        fmKyrCurve->show();
    }
    void TearDown() override
    {
        delete fmKyrCurve;
        fmKyrCurve = nullptr;
        delete fmReclData;
        fmReclData = nullptr;
    }
    void SetTol(const QString& min, const QString& max)
    {
        fmReclData->findChild<QLineEdit*>(QStringLiteral("ebDelayCurveTolMin"))->setText(min);
        fmReclData->findChild<QLineEdit*>(QStringLiteral("ebDelayCurveTolMax"))->setText(max);
    }
    const QImage& Paint()
    {
        fmKyrCurve->PaintBox2->Repaint();
        return fmKyrCurve->PaintBox2->Image();
    }
    // Whether a pixel of the colour lies within a pixel of the data point.
    static bool ColourNear(const QImage& img, double x, double y, QRgb colour)
    {
        const int px = XToPixel(x), py = YToPixel(y);
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                if (img.rect().contains(px + dx, py + dy) && (img.pixel(px + dx, py + dy) & 0xFFFFFF) == (colour & 0xFFFFFF))
                    return true;
        return false;
    }
    static int CountColour(const QImage& img, QRgb colour)
    {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += (img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
        return n;
    }
    TempCurrentDir dir;
    TKyrRecordsData data;  // shared by the data form and the curve window, as the records hand it
    FakeReclSource hub{nullptr, [] { return QString(); }};
};

const QRgb Red = qRgb(255, 0, 0), Lime = qRgb(0, 255, 0), Yellow = qRgb(255, 255, 0);

double T(int row, double x)
{
    const double* sqrtTimes = fmKyrCurve->Data().PlotSqrtTimes[row];
    const double r = static_cast<double>(LagrangeInterpolate(x, 4, PlotMultiples, sqrtTimes, 10));
    return r * r;
}

} // namespace

TEST_F(CurveWindowTest, FlatCurvesGiveThreeLinesAtTheirTolerances)
{
    for (int r = 0; r < 2; ++r)
        for (int m = 0; m < 10; ++m)
            data.PlotSqrtTimes[r][m] = 1.0;
    SetTol(QStringLiteral("10"), QStringLiteral("10"));
    const QImage& img = Paint();
    for (double x : {2.5, 4.0, 7.0, 11.0}) {
        EXPECT_TRUE(ColourNear(img, x, 1.1, Red)) << x;
        EXPECT_TRUE(ColourNear(img, x, 0.9, Lime)) << x;
        EXPECT_TRUE(ColourNear(img, x, 1.0, Yellow)) << x;
    }
    const GraphArea& a = GraphSlot(CurrentGraph());
    EXPECT_TRUE(a.XAxis.Logarithmic);
    EXPECT_FLOAT_EQ(a.XAxis.Minimum, 1.5f);
    EXPECT_FLOAT_EQ(a.XAxis.Maximum, 15.0f);
    EXPECT_TRUE(a.YAxes[0].Logarithmic);
    EXPECT_FLOAT_EQ(a.YAxes[0].Minimum, 0.01f);
    EXPECT_FLOAT_EQ(a.YAxes[0].Maximum, 20.0f);
}

TEST_F(CurveWindowTest, ViewCurvesDrawsThePhaseOrTheGroundPair)
{
    // Distinct curves on every page, saved nowhere: View Curves shows the last UpdateTimes.
    const char* fast[10] = {"0.06", "0.06", "0.05", "0.045", "0.045", "0.04", "0.04", "0.035", "0.03", "0.03"};
    const char* delay[10] = {"8", "5", "3.5", "2", "1.4", "1.1", "0.9", "0.8", "0.6", "0.45"};
    const char* gfast[10] = {"0.5", "0.35", "0.3", "0.2", "0.15", "0.12", "0.1", "0.09", "0.08", "0.07"};
    const char* gslow[10] = {"15", "9", "6", "3.5", "2.4", "1.8", "1.5", "1.3", "1.0", "0.8"};
    const char* const* rows[4] = {fast, delay, gfast, gslow};
    for (int k = 0; k < 4; ++k)
        for (int m = 0; m < 10; ++m)
            fmReclData->CurveEdit(k, m + 2)->setText(QLatin1String(rows[k][m]));
    fmReclData->UpdateTimes();
    SetTol(QStringLiteral("15"), QStringLiteral("20"));

    fmReclData->PageControl2->setCurrentWidget(fmReclData->tsPhaseTrip);
    fmReclData->btViewCurvesClick();
    EXPECT_TRUE(fmKyrCurve->isVisible());
    EXPECT_DOUBLE_EQ(data.PlotSqrtTimes[1][0], std::sqrt(8.0));
    QImage img = fmKyrCurve->PaintBox2->Image();
    img.save(ArtifactPath(QStringLiteral("curve-window-phase.png")));
    for (double x : {2.0, 3.3, 6.0, 9.5}) {
        EXPECT_TRUE(ColourNear(img, x, T(1, x) * 1.2, Red)) << x;
        EXPECT_TRUE(ColourNear(img, x, T(1, x) * 0.85, Lime)) << x;
        EXPECT_TRUE(ColourNear(img, x, T(0, x), Yellow)) << x;
    }

    fmReclData->PageControl2->setCurrentWidget(fmReclData->tsGndTrip);
    fmReclData->btViewCurvesClick();
    EXPECT_DOUBLE_EQ(data.PlotSqrtTimes[0][0], std::sqrt(0.5));
    EXPECT_DOUBLE_EQ(data.PlotSqrtTimes[1][0], std::sqrt(15.0));
    img = fmKyrCurve->PaintBox2->Image();
    img.save(ArtifactPath(QStringLiteral("curve-window-ground.png")));
    for (double x : {2.0, 4.5, 8.0}) {
        EXPECT_TRUE(ColourNear(img, x, T(1, x) * 1.2, Red)) << x;
        EXPECT_TRUE(ColourNear(img, x, T(1, x) * 0.85, Lime)) << x;
        EXPECT_TRUE(ColourNear(img, x, T(0, x), Yellow)) << x;
    }
    // Resizing draws again to the new size.
    fmKyrCurve->resize(500, 400);
    QApplication::processEvents();
    EXPECT_EQ(Paint().width(), fmKyrCurve->PaintBox2->width());
}

TEST_F(CurveWindowTest, ABadToleranceLeavesItsCurveOutAndIsReportedOncePerChange)
{
    for (int r = 0; r < 2; ++r)
        for (int m = 0; m < 10; ++m)
            data.PlotSqrtTimes[r][m] = 1.0;
    ScriptedMessages s;
    SetTol(QStringLiteral("10"), QStringLiteral("abc"));
    const QImage& img = Paint();
    EXPECT_EQ(CountColour(img, Red), 0);
    EXPECT_TRUE(ColourNear(img, 4.0, 0.9, Lime));
    EXPECT_TRUE(ColourNear(img, 4.0, 1.0, Yellow));
    EXPECT_TRUE(s.requests.empty());  // never a box inside the paint
    QApplication::processEvents();
    ASSERT_EQ(s.requests.size(), 1u);
    EXPECT_EQ(s.requests[0].text, QStringLiteral("'abc' is not a valid floating point value."));
    Paint();
    Paint();
    QApplication::processEvents();
    EXPECT_EQ(s.requests.size(), 1u);
    SetTol(QString(), QStringLiteral("abc"));
    Paint();
    QApplication::processEvents();
    EXPECT_EQ(s.requests.size(), 2u);
    SetTol(QStringLiteral("10"), QStringLiteral("10"));
    EXPECT_GT(CountColour(Paint(), Red), 0);
    QApplication::processEvents();
    EXPECT_EQ(s.requests.size(), 2u);
}

namespace {

TEST_F(CurveWindowTest, ViewCurvesAgainBringsTheCurveWindowToTheFront)
{
    fmReclData->show();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        fmReclData->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(fmReclData));
        QTest::mouseClick(fmReclData->btViewCurves, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitForWindowActive(fmKyrCurve, 1000));
        EXPECT_EQ(QApplication::activeWindow(), fmKyrCurve);
    }
}

} // namespace
