#include "app/Fields.h"

#include <algorithm>
#include <cmath>

namespace app {

double heldValue(const FieldLimits& field, double v) {
    const double scale = std::pow(10.0, field.decimals);
    const double rounded = std::nearbyint(v * scale) / scale;
    return std::clamp(std::isfinite(rounded) ? rounded : v, field.minimum, field.maximum);
}

int heldWhole(const FieldLimits& field, int v) {
    return std::clamp(v, static_cast<int>(field.minimum), static_cast<int>(field.maximum));
}

} // namespace app
