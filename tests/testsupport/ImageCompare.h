#pragma once

#include <QImage>

#include <cstdlib>

namespace tallyrow::test {

/// Mean grey-level difference of two equally sized images.
inline double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    return sum / (a.width() * a.height());
}

} // namespace tallyrow::test
