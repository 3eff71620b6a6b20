#pragma once
// Small test pictures built in code.

#include "pixkit/dib.h"

#include <gtest/gtest.h>

namespace presenttest {

using namespace pixkit;

// A 24-bit picture whose pixel (x, y) has red x, green y and blue `tag`, so
// every recorded pixel says where it came from.
inline DibHolder coordinatePicture(int width, int height, std::uint8_t tag = 7) {
    dib d;
    newdib(d, width, height, 24, nullptr, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setpixel(d, x, y, rgb(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), tag));
    return DibHolder(d);
}

// A picture of 1, 4 or 8 bits whose pixel (x, y) has index (x + 3 y) mod 2^bits,
// with a colour table that is not the identity.
inline DibHolder palettePicture(int width, int height, int bits) {
    BitmapInfo table{};
    for (int i = 0; i < 256; ++i)
        table.bmiColors[i] =
            RgbQuad{static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 7),
                    static_cast<std::uint8_t>(i), 0};
    dib d;
    newdib(d, width, height, bits, &table, 1 << bits);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setpixel(d, x, y, static_cast<Colour>((x + 3 * y) % (1 << bits)));
    return DibHolder(d);
}

} // namespace presenttest
