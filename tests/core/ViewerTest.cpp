// The waveform viewer: view span, trackbar, cursors, RMS, zoom, typed times, saving,
// and a drawing that keeps every peak of a full store.
#include "Waveform.h"
#include "UpDown.h"

#include "Forms.h"
#include "KyrGlobals.h"
#include "PaintBox.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "xyplot.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        w = std::make_unique<TfmWaveform>();
        w->SampleRate = 2400;
        w->AmpsPerCount = 0.5f;
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        SetFileDialogResponder(nullptr);
        w.reset();
    }
    void Type(QLineEdit* e, const QString& text)
    {
        e->setText(text);
        QTest::mouseDClick(e, Qt::LeftButton);
    }
    std::unique_ptr<TfmWaveform> w;
};

TEST_F(ViewerTest, ShowingResetsViewCursorsAndAxis)
{
    w->ViewStart = 3;
    w->CursorEnd = 7;
    w->hide();
    w->show();
    EXPECT_FLOAT_EQ(w->TotalTime, 25.0f);
    EXPECT_EQ(w->MinTime, 0.0f);
    EXPECT_EQ(w->ViewStart, 0.0f);
    EXPECT_EQ(w->ViewEnd, 1.0f);
    EXPECT_EQ(w->CursorStart, 0.0f);
    EXPECT_EQ(w->CursorEnd, 1.0f);
    EXPECT_FLOAT_EQ(w->YMax, 1024.0f);
    EXPECT_FLOAT_EQ(w->YMin, -1024.0f);
    EXPECT_FLOAT_EQ(w->SecPerSample, 1.0f / 2400);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Waveform View"));
    EXPECT_EQ(w->font().pixelSize(), 11);
    w->Draw();
    EXPECT_EQ(w->TStart->text(), QStringLiteral("0.0000"));
    EXPECT_EQ(w->TEnd->text(), QStringLiteral("1.0000"));
    EXPECT_EQ(w->CurSpan->text(), QStringLiteral("1.0000"));
    EXPECT_EQ(w->FirstShown, 0);
    EXPECT_EQ(w->LastShown, 2400);
}

TEST_F(ViewerTest, ViewSpanRules)
{
    // A span under 0.02 s is drawn as 0.02 s; the fields keep their values.
    w->ViewStart = 1.0f;
    w->ViewEnd = 1.005f;
    w->Draw();
    EXPECT_EQ(w->TEnd->text(), QStringLiteral("1.0200"));
    EXPECT_EQ(w->LastShown - w->FirstShown, 48);
    EXPECT_FLOAT_EQ(w->ViewEnd, 1.005f);

    struct Case { float s, e, s2, e2; };
    const Case contract[] = {{0, 1, 0, 2}, {20, 25, 17.5f, 25}, {10, 20, 5, 25}, {0, 25, 0, 25}};
    for (const Case& c : contract) {
        w->ViewStart = c.s;
        w->ViewEnd = c.e;
        QTest::mouseClick(w->ContractButton, Qt::LeftButton);
        // The drawing may snap the start to the trackbar's step (1/1000 of 25 s).
        EXPECT_NEAR(w->ViewStart, c.s2, 0.0125) << c.s << ".." << c.e;
        EXPECT_NEAR(w->ViewEnd - w->ViewStart, c.e2 - c.s2, 1e-4) << c.s << ".." << c.e;
    }

    // Expand to the cursors, five samples either side; a short cursor span opens 0.01 s.
    w->CursorStart = 2.0f;
    w->CursorEnd = 3.0f;
    QTest::mouseClick(w->ExpandButton, Qt::LeftButton);
    EXPECT_NEAR(w->ViewEnd - w->ViewStart, 1.0 + 10.0 / 2400, 1e-4);
    w->CursorStart = 0.001f;
    w->CursorEnd = 0.002f;
    w->Expand();
    EXPECT_EQ(w->ViewStart, 0.0f);
    EXPECT_NEAR(w->ViewEnd, 0.01 + 5.0 / 2400, 1e-6);
}

TEST_F(ViewerTest, TrackbarMovesTheViewAndTheDrawingMovesTheThumb)
{
    w->ViewStart = 0;
    w->ViewEnd = 1;
    w->TrackBar1->setValue(500);
    EXPECT_FLOAT_EQ(w->ViewStart, 12.5f);
    EXPECT_FLOAT_EQ(w->ViewEnd, 13.5f);
    EXPECT_EQ(w->LastTrackPos, 500);
    w->TrackBar1->setValue(1000);
    EXPECT_FLOAT_EQ(w->ViewStart, 24.0f);
    EXPECT_FLOAT_EQ(w->ViewEnd, 25.0f);
    EXPECT_EQ(w->TrackBar1->value(), 960);
    EXPECT_EQ(w->LastTrackPos, 960);
}

TEST_F(ViewerTest, MouseClicksPlaceTheCursorsOnSamples)
{
    w->Draw();
    auto dataX = [&](int px) {
        float x = 0, y = 0;
        PixelToData(px, 100, x, y);
        return x;
    };
    const float sps = w->SecPerSample;
    // Left click at the start cursor's place: a sample time.
    QTest::mouseClick(w->PaintBox1, Qt::LeftButton, {}, QPoint(200, 100));
    const float s = std::round(dataX(200) / sps) * sps;
    EXPECT_NEAR(w->CursorStart, s, 1e-6);
    EXPECT_NEAR(w->CursorEnd, 1.0, 1e-6);
    // A left click right of the end cursor: the end follows one sample later.
    w->CursorEnd = 0.1f;
    QTest::mouseClick(w->PaintBox1, Qt::LeftButton, {}, QPoint(400, 100));
    EXPECT_NEAR(w->CursorEnd - w->CursorStart, sps, 1e-6);
    EXPECT_NEAR(w->CursorStart, std::round(dataX(400) / sps) * sps, 1e-6);
    // A right click left of the start cursor: the start goes there, the end one sample later.
    w->CursorStart = 0.9f;
    w->CursorEnd = 0.95f;
    QTest::mouseClick(w->PaintBox1, Qt::RightButton, {}, QPoint(100, 100));
    EXPECT_NEAR(w->CursorStart, std::round(dataX(100) / sps) * sps, 1e-6);
    EXPECT_NEAR(w->CursorEnd - w->CursorStart, sps, 1e-6);
    // The right button pressed while the left is held, right of the end cursor: the
    // held left places the start, the pressed right then moves it onto the end cursor.
    w->CursorStart = 0.2f;
    w->CursorEnd = 0.3f;
    ASSERT_GT(dataX(400), 0.3f);
    w->PaintBox1MouseDown(mbRight, {ssLeft, ssRight}, 400, 100);
    EXPECT_NEAR(w->CursorStart, std::round(0.3f / sps) * sps, 1e-6);
    EXPECT_NEAR(w->CursorEnd - w->CursorStart, sps, 1e-6);

    // The press reaches the plotting library as it came: Ctrl with the left button
    // starts its band, without Ctrl the left button its crosshair.
    w->Draw();
    QTest::mousePress(w->PaintBox1, Qt::LeftButton, Qt::ControlModifier, QPoint(200, 100));
    EXPECT_TRUE(BandOn());
    EXPECT_FALSE(CrosshairOn());
    QTest::mouseRelease(w->PaintBox1, Qt::LeftButton, Qt::ControlModifier, QPoint(200, 100));
    w->Draw();
    QTest::mousePress(w->PaintBox1, Qt::LeftButton, {}, QPoint(200, 100));
    EXPECT_FALSE(BandOn());
    EXPECT_TRUE(CrosshairOn());
    QTest::mouseRelease(w->PaintBox1, Qt::LeftButton, {}, QPoint(200, 100));
}

TEST_F(ViewerTest, RmsBetweenCursors)
{
    for (int i = 0; i < 2400; ++i)
        w->Samples[i] = static_cast<int16_t>(std::lround(1000 * std::sin(2 * M_PI * 60 * i / 2400.0)));
    w->Samples[100] = -321;
    w->SecPerSample = 1.0f / 2400;
    // Less than one sample period apart: the one sample at the start, made positive.
    EXPECT_FLOAT_EQ(w->RmsBetweenCursors(100.0f / 2400, 100.2f / 2400), 321 * 0.5f);
    // Whole cycles of a sine: peak over root two.
    EXPECT_NEAR(w->RmsBetweenCursors(0, 0.5f), 1000 * 0.5 / std::sqrt(2.0), 1.0);
    // Beyond the store's end there is nothing to average, and nothing is read there.
    EXPECT_EQ(w->RmsBetweenCursors(70.0f, 80.0f), 0.0f);
    EXPECT_FLOAT_EQ(w->RmsBetweenCursors(100.0f, 100.0f), std::fabs(w->Samples[WaveStoreSize - 1] * 0.5f));
    // A period of 0 is taken from the rate first.
    w->SecPerSample = 0;
    EXPECT_NEAR(w->RmsBetweenCursors(0, 0.5f), 1000 * 0.5 / std::sqrt(2.0), 1.0);
    EXPECT_FLOAT_EQ(w->SecPerSample, 1.0f / 2400);
}

TEST_F(ViewerTest, ZoomAndTypedTimes)
{
    // The up arrow makes the trace taller: each click doubles the zoom, up to 64, and a
    // click at either end leaves it there.
    for (int i = 1; i <= 7; ++i) {
        QTest::mouseClick(w->UpDown1->UpButton(), Qt::LeftButton);
        EXPECT_FLOAT_EQ(w->Zoom, static_cast<float>(1 << std::min(i, 6))) << i;
    }
    EXPECT_FLOAT_EQ(w->YMax, 32 * 0.5f);
    EXPECT_FLOAT_EQ(w->YMin, -32 * 0.5f);
    for (int i = 0; i < 7; ++i)
        QTest::mouseClick(w->UpDown1->DownButton(), Qt::LeftButton);
    EXPECT_FLOAT_EQ(w->Zoom, 1.0f);
    EXPECT_FLOAT_EQ(w->YMax, 1024.0f);

    // Typed times, each from a 0..1 s view. A start of 99 s becomes 25 s with a 0.05 s
    // view, which the trackbar snap then moves back inside the end: 24.95 s.
    struct Case { QLineEdit* edit; void (TfmWaveform::*handler)(); const char* text; float TfmWaveform::*field; float expect; };
    const Case cases[] = {
        {w->TStart, &TfmWaveform::SetStart, "-3", &TfmWaveform::ViewStart, 0.0f},
        {w->TStart, &TfmWaveform::SetStart, "99", &TfmWaveform::ViewStart, 24.95f},
        {w->TStart, &TfmWaveform::SetStart, "2", &TfmWaveform::ViewEnd, 2.05f},
        {w->TEnd, &TfmWaveform::SetEnd, "0.01", &TfmWaveform::ViewEnd, 0.05f},
        {w->TEnd, &TfmWaveform::SetEnd, "40", &TfmWaveform::ViewEnd, 25.0f},
        {w->CurStart, &TfmWaveform::SetCurStart, "0.5", &TfmWaveform::CursorStart, 0.5f},
    };
    for (const Case& c : cases) {
        w->ViewStart = 0;
        w->ViewEnd = 1;
        c.edit->setText(QString::fromLatin1(c.text));
        ((*w).*c.handler)();
        EXPECT_NEAR((*w).*c.field, c.expect, 0.0125f) << c.text;
    }
    w->CursorStart = 0.25f;
    w->CurSpan->setText(QStringLiteral("0.25"));
    w->SetCurSpan();
    EXPECT_FLOAT_EQ(w->CursorEnd, 0.5f);
    // The edits take their numbers on a double click.
    w->ViewStart = 0;
    w->ViewEnd = 1;
    Type(w->TEnd, QStringLiteral("0.5"));
    EXPECT_FLOAT_EQ(w->ViewEnd, 0.5f);

    // Not a number: the framework's conversion message, the view unchanged.
    ScriptedMessages m;
    w->ViewStart = 2;
    w->ViewEnd = 3;
    w->TStart->setText(QStringLiteral("abc"));
    Guarded([&] { w->SetStart(); });  // as the edit's handlers run it
    EXPECT_TRUE(m.saw(QStringLiteral("'abc' is not a valid floating point value.")));
    EXPECT_EQ(w->ViewStart, 2.0f);
}

TEST_F(ViewerTest, TypedCursorStartFarPastTheEndStaysInsideTheStore)
{
    // A typed start of 100 s: the end is limited first, then the start, and the RMS and
    // the drawing read only samples the store holds.
    Type(w->CurStart, QStringLiteral("100"));
    w->Draw();
    EXPECT_LE(w->CursorEnd, w->TotalTime);
    EXPECT_LE(w->CursorStart, w->CursorEnd);
    EXPECT_GE(w->CursorStart, 0.0f);
    EXPECT_NEAR(w->CursorStart, w->CursorEnd - w->SecPerSample, 1e-6);
    // A view loaded past the store's end is drawn up to its last entry.
    w->ViewStart = 70;
    w->ViewEnd = 90;
    w->TotalTime = 0;  // no trackbar snap
    w->Draw();
    EXPECT_EQ(w->LastShown, WaveStoreSize - 1);
    EXPECT_EQ(w->FirstShown, WaveStoreSize - 1);
    // An end so far out that its sample number has no integer: still the last entry.
    w->ViewStart = 0;
    w->ViewEnd = 1e30f;
    w->Draw();
    EXPECT_EQ(w->FirstShown, 0);
    EXPECT_EQ(w->LastShown, WaveStoreSize - 1);
    // A negative cursor span ends before the start: the start goes one sample before it.
    w->TotalTime = 25;
    w->CursorStart = 5;
    w->CursorEnd = 4;
    w->Draw();
    EXPECT_NEAR(w->CursorStart, 4 - w->SecPerSample, 1e-6);
}

TEST_F(ViewerTest, TimesBecomeSampleNumbersInFullPrecision)
{
    // Times whose quotient comes out exactly on a half in single precision, while the
    // true quotient lies just above it: the rounding must go up, not to the even side.
    // 8.33354187 s is sample 20000.500004: the one sample at the start cursor is 20001.
    w->Samples[20000] = 100;
    w->Samples[20001] = -300;
    const float t = 8.33354187f;
    EXPECT_FLOAT_EQ(w->RmsBetweenCursors(t, t), 300 * 0.5f);
    w->CursorStart = t;
    w->CursorEnd = t;
    w->Draw();
    EXPECT_EQ(w->CurValue->text(), QStringLiteral("150.0000"));

    // A typed view start of 2.5125 s is trackbar position 100.500002 of 25 s: 101, and
    // the view snaps to its step at 2.525 s.
    w->ViewStart = 0;
    w->ViewEnd = 1;
    Type(w->TStart, QStringLiteral("2.5125"));
    EXPECT_EQ(w->TrackBar1->value(), 101);
    EXPECT_EQ(w->LastTrackPos, 101);
    EXPECT_FLOAT_EQ(w->ViewStart, 2.525f);
    EXPECT_EQ(w->TStart->text(), QStringLiteral("2.5250"));
}

// The trace as drawn sample by sample: a move to the first, then a line and a marker
// (queued after the last axis, so never drawn) to each of the others; the cursors over it.
QImage DrawEverySample(TfmWaveform& w, float start, float end, float cursorStart, float cursorEnd)
{
    InitGraph(w.PaintBox1, clBlack, clWhite, 1.1f);
    GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, false);
    XAxis(clWhite, QString(), true, start, end, 0, 0, false, true);
    YAxis(clWhite, QString(), 1, w.YMin, w.YMax, 0, 0, true, false, true);
    TPen* pen = w.PaintBox1->Canvas->Pen;
    pen->Width = 2;
    pen->Color = clYellow;
    auto x = [&](int i) { return static_cast<float>(i / w.SampleRate); };
    PlotMove(x(w.FirstShown), w.Samples[w.FirstShown] * w.AmpsPerCount);
    for (int i = w.FirstShown + 1; i <= w.LastShown; ++i) {
        PlotLine(x(i), w.Samples[i] * w.AmpsPerCount);
        PlotSymbol(1, 0, 1);
    }
    pen->Width = 2;
    PlotMove(cursorStart, w.YMax);
    pen->Color = clLime;
    PlotLine(cursorStart, w.YMin);
    PlotMove(cursorEnd, w.YMax);
    pen->Color = clRed;
    PlotLine(cursorEnd, w.YMin);
    return w.PaintBox1->Image().copy();
}

TEST_F(ViewerTest, DrawingLooksLikeEverySampleDrawn)
{
    // A noisy 60 Hz current with one-sample spikes of both signs over the whole store.
    for (int i = 0; i < WaveStoreSize; ++i) {
        double v = 1500 * std::sin(2 * M_PI * 60 * i / 2400.0) * (i % 24000 < 6000 ? 1.0 : 0.1);
        v += (i * 7919) % 13 - 6;
        if (i % 9973 == 0)
            v = i % 2 ? -2040 : 2040;
        w->Samples[i] = static_cast<int16_t>(std::lround(v));
    }
    struct Case { float start, end; int zoom; };
    const Case cases[] = {
        {0, (WaveStoreSize - 1) / 2400.0f, 0},  // the whole store, some 240 samples a column
        {10, 20, 3},                            // zoomed in: the trace runs past the top and bottom
        {3.3333f, 9.8765f, 1},                  // edges between samples
        {1.0f, 1.05f, 0},                       // fewer samples than columns
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << ".." << c.end << " zoom " << c.zoom);
        w->UpDown1->SetPosition(c.zoom);
        w->UpDown1Click();
        w->TotalTime = 0;  // no trackbar snap: the view drawn is the one set
        w->ViewStart = c.start;
        w->ViewEnd = c.end;
        const float cs = c.start + (c.end - c.start) / 3, ce = c.start + (c.end - c.start) / 2;
        w->CursorStart = cs;
        w->CursorEnd = ce;
        w->Draw();
        const QImage drawn = w->PaintBox1->Image().copy();
        const QImage every = DrawEverySample(*w, c.start, c.end, cs, ce);
        ASSERT_EQ(drawn.size(), every.size());
        int differing = 0, yellow = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                differing += drawn.pixel(x, y) != every.pixel(x, y);
                yellow += drawn.pixel(x, y) == qRgb(255, 255, 0);
            }
        EXPECT_EQ(differing, 0);
        EXPECT_GT(yellow, 100);
    }
}

TEST_F(ViewerTest, FullStoreAtThousandPixelsKeepsEveryPeak)
{
    w->resize(1000 + 39, w->height());
    QCoreApplication::processEvents();
    ASSERT_GE(w->PaintBox1->width(), 1000);
    // A flat store with one narrow spike; the view over the whole store.
    std::fill(std::begin(w->Samples), std::end(w->Samples), int16_t(0));
    w->Samples[70001] = 1900;
    w->Samples[110000] = -1800;
    w->ViewStart = 0;
    w->ViewEnd = static_cast<float>((WaveStoreSize - 1) / 2400.0);
    w->TotalTime = 0;
    w->Draw();
    const QImage& img = w->PaintBox1->Image();
    const QRgb yellow = qRgb(255, 255, 0);
    int top = img.height(), bottom = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == yellow) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_NEAR(top, YToPixel(1900 * 0.5), 2);
    EXPECT_NEAR(bottom, YToPixel(-1800 * 0.5), 2);
}

TEST_F(ViewerTest, SaveWritesTheChosenFileByItsFullPath)
{
    TempCurrentDir here;
    ASSERT_TRUE(QDir(here.path()).mkdir(QStringLiteral("other")));
    const QString chosen = here.file(QStringLiteral("other/Saved.kwf"));
    TFileDialog offered;
    SetFileDialogResponder([&](TFileDialog& d) {
        offered = d;
        d.FileName = chosen;
        return true;
    });
    ScriptedMessages m;
    m.answer(mrOk);
    QTest::mouseClick(w->SaveButton, Qt::LeftButton);
    EXPECT_TRUE(offered.Save);
    EXPECT_EQ(offered.FileName, QStringLiteral("Test.kwf"));
    EXPECT_EQ(offered.Title, QStringLiteral("Save Waveform File"));
    EXPECT_EQ(offered.DefaultExt, QStringLiteral(".kwf"));
    EXPECT_EQ(offered.Filter, QStringLiteral("Kestrovan Wave Files|*.kwf|Recloser Wave Files|*.rwf|All Files|*.*"));
    EXPECT_EQ(offered.InitialDir, here.path());  // opens in the current folder
    EXPECT_EQ(w->FileName, chosen);
    EXPECT_EQ(QFileInfo(chosen).size(), 120059);
    EXPECT_FALSE(QFile::exists(here.file(QStringLiteral("Saved.kwf"))));
    EXPECT_EQ(QDir::currentPath(), here.path());
    SetFileDialogResponder([](TFileDialog&) { return false; });
    w->FileName = QStringLiteral("kept.kwf");
    w->SaveButtonClick();
    EXPECT_EQ(w->FileName, QStringLiteral("kept.kwf"));
}

TEST_F(ViewerTest, RenderingOfTheNormalDemo)
{
    TempCurrentDir here;
    ScriptedMessages m;
    m.answer(mrOk).answer(mrOk);
    w->MakeWaveFile(QStringLiteral("Norm.kwf"), false, NormSegments);
    ASSERT_TRUE(w->LoadFile(QStringLiteral("Norm.kwf")));
    w->AmpsPerCount = 0.5f;
    w->hide();
    w->show();
    w->ViewStart = 0;
    w->ViewEnd = 2.0f;
    w->CursorStart = 0.10f;
    w->CursorEnd = 0.15f;
    w->Draw();
    w->Draw();
    EXPECT_GT(w->CurValue->text().toDouble(), 100.0);
    EXPECT_TRUE(w->grab().save(ArtifactPath(QStringLiteral("waveform_viewer.png"))));
}

} // namespace
