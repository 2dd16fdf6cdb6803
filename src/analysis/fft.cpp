#include "fft.h"

#include <cmath>
#include <cstring>

namespace framesifter {

void BuildBitReverseTable(int N, std::int32_t* table) {
    const int n2 = N / 2;
    int j = 0;
    table[0] = 0;
    for (int i = 1; i < N; ++i) {
        int k = n2;
        while (k <= j) {
            j -= k;
            k = int(k * 0.5);
        }
        j += k;
        table[i] = j;
    }
}

void BuildSineTable(int N, double* table) {
    const int n2 = int(N * 0.5);
    const int n4 = int(n2 * 0.5);
    const int n8 = int(n4 * 0.5);
    double t = std::sin(3.141592653589793 / N);
    double dc = 2 * t * t;
    double ds = std::sqrt(dc * (2 - dc));
    t = 2 * dc;
    double c = 1;
    table[n4] = 1;
    double s = 0;
    table[0] = 0;
    for (int i = 1; i < n8; ++i) {
        c -= dc;
        dc += t * c;
        s += ds;
        ds -= t * s;
        table[i] = s;
        table[n4 - i] = c;
    }
    if (n8 != 0) {
        const std::uint64_t bits = 0x3FE6A09E667F3BCDull;  // sqrt(0.5), exactly
        std::memcpy(&table[n8], &bits, sizeof bits);
    }
    for (int i = 0; i < n4; ++i) table[n2 - i] = table[i];
    for (int i = 0; i < n2 + n4; ++i) table[i + n2] = -table[i];
}

void FftTransform(int n, const std::int32_t* bitReverseTable, const double* sintbl, double* x,
                  double* y) {
    const bool inverse = n < 0;
    if (inverse) n = -n;
    if (n == 0) return;
    const int q = int(n * 0.25);

    for (int i = 0; i < n; ++i) {
        const int j = bitReverseTable[i];
        if (i < j) {
            double t = x[i];
            x[i] = x[j];
            x[j] = t;
            t = y[i];
            y[i] = y[j];
            y[j] = t;
        }
    }
    for (int k = 1; k < n; k *= 2) {
        const int k2 = k + k;
        const int d = n / k2;
        int h = 0;
        for (int j = 0; j < k; ++j) {
            const double c = sintbl[h + q];
            const double s = inverse ? -sintbl[h] : sintbl[h];
            for (int i = j; i < n; i += k2) {
                const int m = i + k;
                const double dx = s * y[m] + c * x[m];
                const double dy = c * y[m] - s * x[m];
                x[m] = x[i] - dx;
                x[i] += dx;
                y[m] = y[i] - dy;
                y[i] += dy;
            }
            h += d;
        }
    }
    if (!inverse) {
        for (int i = 0; i < n; ++i) {
            x[i] /= n;
            y[i] /= n;
        }
    }
}

}  // namespace framesifter
