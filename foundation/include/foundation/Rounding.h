#pragma once
// Rounding as the whole program uses it: to the nearest integer, halves to the
// even neighbour. Error policy of this layer: expected failures come back as
// an empty optional, never as an exception or a trap.

#include <cmath>
#include <cstdint>
#include <optional>

namespace fp {

// Rounds v half to even. Empty when v is not finite or its rounded value
// lies outside the signed 64-bit range (the rectification treats that as a
// fault that ends the run).
inline std::optional<std::int64_t> roundHalfEven(double v) {
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = std::nearbyint(v); // default rounding mode: halves to even
    // 2^63 is exactly representable; every double below it fits.
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<std::int64_t>(r);
}

// Rounds v half to even into a 32-bit int; empty when out of range or not finite.
inline std::optional<std::int32_t> roundHalfEven32(double v) {
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = std::nearbyint(v);
    if (r < -2147483648.0 || r > 2147483647.0)
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

} // namespace fp
