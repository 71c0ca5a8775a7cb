// Four-point interpolation in the curve tables, shared by the results analysis and the
// curve window. Every caller passes m = 4, n = 10 and the ten current multiples.
#pragma once

// Interpolates Y over X at x0 with m neighbouring points out of the first n entries.
// The window of points starts one before the first X not below x0 and is clamped into
// the table, so arguments outside X extrapolate from its first or last m points.
long double LagrangeInterpolate(double x0, int m, const double* X, const double* Y, int n);
