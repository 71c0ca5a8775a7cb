#include "Lagrange.h"

#include <algorithm>

long double LagrangeInterpolate(double x0, int m, const double* X, const double* Y, int n)
{
    int s = n;
    for (int j = 0; j < n; ++j) {
        if (X[j] >= x0) {
            s = j == 0 ? 0 : j - 1;
            break;
        }
    }
    s = std::min(s, n - m);
    s = std::max(s, 0);
    double sum = 0;
    for (int i = 0; i < m && s + i < n; ++i) {
        double num = 1;
        double den = 1;
        for (int k = 0; k < m && s + k < n; ++k) {
            if (k == i)
                continue;
            num *= x0 - X[s + k];
            den *= X[s + i] - X[s + k];
        }
        sum += Y[s + i] * num / den;
    }
    return sum;
}
