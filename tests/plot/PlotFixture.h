// A paint box bound to the plotting library with one area whose data units are
// pixel offsets: x = column - plot left, y = plot bottom - row.
#pragma once

#include "xyplot.h"

#include <QImage>
#include <gtest/gtest.h>

class PlotTest : public ::testing::Test {
protected:
    static constexpr TColor Back = clBlack;
    static constexpr TColor Fore = clWhite;
    // The system's margins: 50 left, 10 right, 10 top, 50 bottom.
    static constexpr int BoxW = 400, BoxH = 300;
    static constexpr int L = 50, R = 390, T = 10, B = 250;

    void SetUp() override
    {
        box.resize(BoxW, BoxH);
        ResetZoomOf(box);
    }

    static void ResetZoomOf(TPaintBox& b)
    {
        InitGraph(&b, Back, Fore, 1);
        ResetZoom(0);
    }

    // InitGraph, the area, an x axis 0..340 and a y axis 0..240 (so data = pixel offsets).
    void Open(bool noClip = false, bool grid = false, TColor axis = clGray)
    {
        InitGraph(&box, Back, Fore, 1);
        GraphWindow(0, 100, 0, 100, 50, 10, 10, 50, noClip);
        XAxis(axis, QString(), grid, 0, 340, 0, 0, false, true);
        YAxis(axis, QString(), 1, 0, 240, 0, 0, grid, false, true);
    }

    TCanvas* canvas() { return box.Canvas; }
    const QImage& image() const { return box.Image(); }
    TColor at(int x, int y) { return box.Canvas->Pixels[x][y]; }

    // Pixels that differ between two images.
    static std::vector<QPoint> Changed(const QImage& a, const QImage& b)
    {
        std::vector<QPoint> out;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y))
                    out.emplace_back(x, y);
        return out;
    }

    TPaintBox box;
};
