// Halftone copies for displays of few colours.

#include "TestImages.h"
#include "testsupport/CaseNames.h"

#include "pixkit/Halftone.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace pixkit;
using namespace presenttest;

namespace {

DibHolder flat(int width, int height, Colour c) {
    dib d;
    newdib(d, width, height, 24, nullptr, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setpixel(d, x, y, c);
    return DibHolder(d);
}

TEST(HalftoneTest, CubeColoursComeThroughUndithered) {
    // Every colour of the cube, one per pixel, 36 x 6.
    dib d;
    newdib(d, 36, 6, 24, nullptr, 0);
    DibHolder image(d);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 36; ++x)
            setpixel(d, x, y,
                     rgb(static_cast<std::uint8_t>(51 * (x / 6)),
                         static_cast<std::uint8_t>(51 * (x % 6)),
                         static_cast<std::uint8_t>(51 * y)));
    dib out;
    DIBHalftoneDIB(out, d);
    DibHolder held(out);
    ASSERT_NE(out.poi, nullptr);
    ASSERT_EQ(dibbits(out), 8);
    EXPECT_EQ(out.ispal, 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 36; ++x) {
            const Colour index = getpixel(out, x, y);
            EXPECT_EQ(index, static_cast<Colour>(36 * (x / 6) + 6 * (x % 6) + y));
            EXPECT_EQ(tableColour(out, static_cast<int>(index)), getpixel(d, x, y));
            const PaletteEntry& p = out.pal.palPalEntry[index];
            EXPECT_EQ(rgb(p.peRed, p.peGreen, p.peBlue), getpixel(d, x, y));
        }
}

class DitherTest : public ::testing::TestWithParam<int> {};

TEST_P(DitherTest, FlatAreaAveragesToItsColour) {
    const int v = GetParam();
    const auto c = static_cast<std::uint8_t>(v);
    DibHolder image = flat(8, 8, rgb(c, static_cast<std::uint8_t>(255 - v), c));
    dib out;
    DIBHalftoneDIB(out, image.get());
    DibHolder held(out);
    ASSERT_NE(out.poi, nullptr);
    int red = 0, green = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const Colour t = tableColour(out, static_cast<int>(getpixel(out, x, y)));
            red += redOf(t);
            green += greenOf(t);
        }
    // A 4 x 4 ordered dither reproduces the mean within one of its 16 steps.
    EXPECT_LE(std::abs(red / 64 - v), 4) << v;
    EXPECT_LE(std::abs(green / 64 - (255 - v)), 4) << v;
}

INSTANTIATE_TEST_SUITE_P(Levels, DitherTest, ::testing::Values(0, 10, 25, 60, 100, 128, 200, 254),
                         testsupport::numbered<int>("Level"));

TEST(HalftoneTest, ScaledCopyPicksNearestPixels) {
    // Cube colours so each source pixel maps to a known index.
    dib d;
    newdib(d, 4, 2, 24, nullptr, 0);
    DibHolder image(d);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            setpixel(d, x, y,
                     rgb(static_cast<std::uint8_t>(51 * x), static_cast<std::uint8_t>(51 * y), 0));
    dib out;
    DIBHalftoneDIBXY(out, d, 8, 4);
    DibHolder held(out);
    ASSERT_NE(out.poi, nullptr);
    EXPECT_EQ(dibwidth(out), 8);
    EXPECT_EQ(dibheight(out), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(getpixel(out, x, y), static_cast<Colour>(36 * (x / 2) + 6 * (y / 2)));

    DIBHalftoneDIBXY(out, d, 2, 1);
    DibHolder reduced(out);
    ASSERT_NE(out.poi, nullptr);
    EXPECT_EQ(getpixel(out, 0, 0), 0u);
    EXPECT_EQ(getpixel(out, 1, 0), 72u); // source column 2
}

TEST(HalftoneTest, UnusableInputGivesNoImage) {
    DibHolder eight = palettePicture(4, 4, 8);
    DibHolder image = flat(4, 4, rgb(1, 2, 3));
    dib out;
    DIBHalftoneDIB(out, eight.get());
    EXPECT_EQ(out.poi, nullptr);
    DIBHalftoneDIB(out, dib{});
    EXPECT_EQ(out.poi, nullptr);
    for (const auto& size : {std::pair{0, 4}, std::pair{4, -1}, std::pair{1 << 30, 1 << 30}}) {
        DIBHalftoneDIBXY(out, image.get(), size.first, size.second);
        EXPECT_EQ(out.poi, nullptr);
        EXPECT_EQ(out.poih, 0u);
    }
}

} // namespace
