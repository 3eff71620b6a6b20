#include "gui/ViewMapping.h"

#include "foundation/Rounding.h"

#include <cstdlib>

namespace gui {

namespace {
// Positions far outside any view (a drag beyond the screen) saturate instead
// of wrapping; the zoom is at least 1, so only absurd inputs get there.
int roundOrClamp(double v) {
    if (const auto r = fp::roundHalfEven32(v))
        return *r;
    return v < 0 ? -2147483647 - 1 : 2147483647;
}
} // namespace

int viewToImage(int v, int zoomPercent) {
    const int z = zoomPercent < 1 ? 1 : zoomPercent;
    return roundOrClamp(static_cast<double>(v) * 100.0 / static_cast<double>(z));
}

int imageToView(int p, int zoomPercent) {
    return roundOrClamp(static_cast<double>(p) * static_cast<double>(zoomPercent) / 100.0);
}

} // namespace gui
