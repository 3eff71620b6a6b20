#pragma once
// The machine has two cores; the row passes of the line extraction split
// their rows in two halves. Every half writes only its own rows (or its own
// partial counts), so the result does not depend on the split.

#include "foundation/TwoThreads.h"

namespace lines::detail {

using fp::runBoth;

// Rows below this many pixels are not worth a second thread.
inline constexpr long long SplitPixels = 1 << 18;

// Calls `body(begin, end)` on the rows [0, rows), split over two threads when
// the image is large enough.
template <class Body> void forRowHalves(int rows, long long pixels, Body&& body) {
    if (pixels < SplitPixels || rows < 2) {
        body(0, rows);
        return;
    }
    const int mid = rows / 2;
    runBoth([&] { body(0, mid); }, [&] { body(mid, rows); });
}

} // namespace lines::detail
