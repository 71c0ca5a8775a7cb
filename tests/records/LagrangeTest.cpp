#include "Lagrange.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
const double Multiples[10] = {2, 2.5, 3, 4, 5, 6, 7, 8, 10, 15};

// A cubic is reproduced exactly by any four of its points, so the table of a cubic
// shows which window was used only through extrapolation; the table below is not a
// polynomial, and each case names the points the window must take.
double Y[10] = {1.0, 0.8, 0.65, 0.5, 0.42, 0.37, 0.33, 0.31, 0.29, 0.27};

double Through(double x0, int s)
{
    double sum = 0;
    for (int i = 0; i < 4; ++i) {
        double num = 1, den = 1;
        for (int k = 0; k < 4; ++k) {
            if (k == i)
                continue;
            num *= x0 - Multiples[s + k];
            den *= Multiples[s + i] - Multiples[s + k];
        }
        sum += Y[s + i] * num / den;
    }
    return sum;
}
} // namespace

TEST(LagrangeInterpolate, TablePointsComeBackExactly)
{
    for (int j = 0; j < 10; ++j)
        EXPECT_DOUBLE_EQ(static_cast<double>(LagrangeInterpolate(Multiples[j], 4, Multiples, Y, 10)), Y[j]) << j;
}

TEST(LagrangeInterpolate, WindowStartsOneBeforeTheFirstMultipleNotBelowTheArgument)
{
    struct Case { double x0; int start; } cases[] = {
        {1.5, 0},   // below the table: extrapolates from 2, 2.5, 3, 4
        {2.0, 0},   // 2, 2.5, 3, 4
        {2.2, 0},
        {4.0, 2},   // 3, 4, 5, 6
        {4.5, 3},   // 4, 5, 6, 7
        {9.0, 6},   // clamped: 7, 8, 10, 15
        {15.0, 6},
        {20.0, 6},  // above the table
    };
    for (const Case& c : cases)
        EXPECT_NEAR(static_cast<double>(LagrangeInterpolate(c.x0, 4, Multiples, Y, 10)), Through(c.x0, c.start), 1e-12)
            << c.x0;
}
