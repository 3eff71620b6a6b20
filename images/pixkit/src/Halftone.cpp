#include "pixkit/Halftone.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pixkit {

namespace {

// 4 x 4 Bayer matrix, values 0..15.
constexpr int Bayer4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

constexpr int CubeLevels = 6;
constexpr int CubeStep = 51; // 255 / (CubeLevels - 1)

BitmapInfo cubeTable() {
    BitmapInfo info{};
    for (int r = 0; r < CubeLevels; ++r)
        for (int g = 0; g < CubeLevels; ++g)
            for (int b = 0; b < CubeLevels; ++b) {
                RgbQuad& q = info.bmiColors[36 * r + 6 * g + b];
                q.rgbRed = static_cast<std::uint8_t>(r * CubeStep);
                q.rgbGreen = static_cast<std::uint8_t>(g * CubeStep);
                q.rgbBlue = static_cast<std::uint8_t>(b * CubeStep);
            }
    return info;
}

// Cube level of one channel: the lower level, plus one where the remainder
// beats the dither threshold of this position. threshold16 is 0..15.
inline int level(int value, int threshold16) {
    const int scaled = value * (CubeLevels - 1); // 0 .. 1275
    const int base = scaled / 255;
    const int frac = scaled - base * 255; // 0 .. 254
    // Thresholds spread evenly over (0, 255): (2 t + 1) * 255 / 32.
    return base + (frac * 32 > (2 * threshold16 + 1) * 255 ? 1 : 0);
}

bool usable24(const dib& image) {
    return image.poi != nullptr && image.pmi != nullptr && dibbits(image) == 24 &&
           dibwidth(image) > 0 && dibheight(image) > 0;
}

// Halftones picture rows/columns picked by the two maps (source picture
// coordinates per output column and row).
void halftoneMapped(dib& out, const dib& image, const std::vector<int>& columns,
                    const std::vector<int>& rows) {
    const int width = static_cast<int>(columns.size());
    const int height = static_cast<int>(rows.size());
    const BitmapInfo table = cubeTable();
    newdib(out, width, height, 8, &table, 256);
    if (out.poi == nullptr)
        return;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = pictureRow(image, rows[static_cast<std::size_t>(y)]);
        std::uint8_t* dst = pictureRow(out, y);
        const int* dither = Bayer4[y & 3];
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p =
                src + 3 * static_cast<std::ptrdiff_t>(columns[static_cast<std::size_t>(x)]);
            const int t = dither[x & 3];
            const int b = level(p[0], t);
            const int g = level(p[1], t);
            const int r = level(p[2], t);
            dst[x] = static_cast<std::uint8_t>(36 * r + 6 * g + b);
        }
    }
}

// Nearest-neighbour map of `to` positions onto `from` pixels; empty when
// the size is unusable.
std::vector<int> nearestMap(int from, int to) {
    std::vector<int> map;
    if (to <= 0)
        return map;
    map.resize(static_cast<std::size_t>(to));
    for (int i = 0; i < to; ++i)
        map[static_cast<std::size_t>(i)] =
            static_cast<int>(static_cast<std::int64_t>(i) * from / to);
    return map;
}

} // namespace

void DIBHalftoneDIB(dib& out, const dib& image) {
    out = dib{};
    if (!usable24(image))
        return;
    DIBHalftoneDIBXY(out, image, dibwidth(image), dibheight(image));
}

void DIBHalftoneDIBXY(dib& out, const dib& image, int width, int height) {
    out = dib{};
    if (!usable24(image) || width <= 0 || height <= 0)
        return;
    // Refuse sizes newdib would refuse anyway before allocating the maps.
    if (static_cast<std::uint64_t>(rowBytes(width, 8)) * static_cast<std::uint64_t>(height) >
        MaxImageBytes)
        return;
    halftoneMapped(out, image, nearestMap(dibwidth(image), width),
                   nearestMap(dibheight(image), height));
}

} // namespace pixkit
