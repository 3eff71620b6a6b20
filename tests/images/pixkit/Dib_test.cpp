#include "pixkit/dib.h"
#include "testsupport/CaseNames.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using namespace pixkit;

namespace {

struct StrideCase {
    int width;
    int bits;
    int bytew;
};

class StrideTest : public ::testing::TestWithParam<StrideCase> {};

TEST_P(StrideTest, RowsAreWholeDwords) {
    const StrideCase c = GetParam();
    DibHolder h;
    dib d;
    newdib(d, c.width, 3, c.bits, nullptr, 0);
    h.install(d);
    ASSERT_NE(d.poi, nullptr);
    EXPECT_NE(d.poih, 0u);
    EXPECT_EQ(d.bytew, c.bytew);
    EXPECT_EQ(dibwidth(d), c.width);
    EXPECT_EQ(dibheight(d), 3);
    EXPECT_EQ(dibbits(d), c.bits);
    // Every pixel byte starts black.
    for (int i = 0; i < 3 * d.bytew; ++i)
        ASSERT_EQ(d.poi[i], 0) << i;
}

INSTANTIATE_TEST_SUITE_P(Depths, StrideTest,
                         ::testing::Values(StrideCase{5, 24, 16}, StrideCase{4, 24, 12},
                                           StrideCase{1, 24, 4}, StrideCase{3, 8, 4},
                                           StrideCase{5, 8, 8}, StrideCase{9, 4, 8},
                                           StrideCase{8, 4, 4}, StrideCase{33, 1, 8},
                                           StrideCase{32, 1, 4}),
                         [](const testing::TestParamInfo<StrideCase>& p) {
                             return testsupport::numberedName("Width", p.param.width) +
                                    testsupport::numberedName("Bits", p.param.bits);
                         });

TEST(Dib, TopLeftPixelIsFirstPixelOfLastStoredRow) {
    dib d;
    newdib(d, 5, 4, 24, nullptr, 0);
    DibHolder h(d);
    setpixel(d, 0, 0, rgb(10, 20, 30));
    const std::uint8_t* last = d.poi + 3 * d.bytew;
    EXPECT_EQ(last[0], 30); // blue first
    EXPECT_EQ(last[1], 20);
    EXPECT_EQ(last[2], 10);
    EXPECT_EQ(getpixel(d, 0, 0), rgb(10, 20, 30));
    EXPECT_EQ(pictureRow(d, 0), last);
    // The padding byte of the row stays untouched by the last pixel.
    setpixel(d, 4, 0, 0xFFFFFF);
    EXPECT_EQ(last[15], 0);
}

TEST(Dib, ColourCountsFollowDepth) {
    const std::pair<int, std::uint32_t> cases[] = {{1, 2}, {4, 16}, {8, 256}, {24, 16777216}};
    for (auto [bits, colours] : cases) {
        dib d;
        newdib(d, 2, 2, bits, nullptr, 0);
        DibHolder h(d);
        EXPECT_EQ(dibcolors(d), colours) << bits;
        EXPECT_EQ(d.ispal, bits <= 8 ? 1 : 0);
    }
}

struct PixelCase {
    int bits;
    Colour value;  // what is written
    Colour stored; // what reads back
};

class PixelTest : public ::testing::TestWithParam<PixelCase> {};

TEST_P(PixelTest, WriteReadEveryPositionWithoutDisturbingNeighbours) {
    const PixelCase c = GetParam();
    const int w = 7, h = 3; // odd width exercises the half bytes and bit packing
    dib d;
    newdib(d, w, h, c.bits, nullptr, 0);
    DibHolder holder(d);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            setpixel(d, x, y, c.value);
            for (int yy = 0; yy < h; ++yy)
                for (int xx = 0; xx < w; ++xx) {
                    const bool written = yy < y || (yy == y && xx <= x);
                    ASSERT_EQ(getpixel(d, xx, yy), written ? c.stored : 0u)
                        << "after (" << x << "," << y << ") at (" << xx << "," << yy << ")";
                }
        }
    // Back to zero one by one.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            setpixel(d, x, y, 0);
    for (int i = 0; i < h * d.bytew; ++i)
        ASSERT_EQ(d.poi[i], 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, PixelTest,
                         ::testing::Values(PixelCase{24, rgb(1, 2, 3), rgb(1, 2, 3)},
                                           PixelCase{24, 0xFF123456u, 0x123456u},
                                           PixelCase{8, 200, 200}, PixelCase{8, 0x1FF, 0xFF},
                                           PixelCase{4, 0xB, 0xB}, PixelCase{4, 0x1F, 0xF},
                                           PixelCase{1, 1, 1}, PixelCase{1, 2, 0}),
                         [](const testing::TestParamInfo<PixelCase>& p) {
                             return testsupport::numberedName("Bits", p.param.bits) +
                                    testsupport::numberedName("Value", p.param.value);
                         });

TEST(Dib, FourBitLayoutEvenPixelIsHighHalf) {
    dib d;
    newdib(d, 3, 1, 4, nullptr, 0);
    DibHolder h(d);
    setpixel(d, 0, 0, 0xA);
    setpixel(d, 1, 0, 0x5);
    setpixel(d, 2, 0, 0xC);
    EXPECT_EQ(d.poi[0], 0xA5);
    EXPECT_EQ(d.poi[1], 0xC0);
}

TEST(Dib, OneBitLayoutLeftmostIsMostSignificant) {
    dib d;
    newdib(d, 10, 1, 1, nullptr, 0);
    DibHolder h(d);
    setpixel(d, 0, 0, 1);
    setpixel(d, 9, 0, 1);
    EXPECT_EQ(d.poi[0], 0x80);
    EXPECT_EQ(d.poi[1], 0x40);
}

TEST(Dib, OutsideReadsZeroAndWritesNothing) {
    for (int bits : {1, 4, 8, 24}) {
        dib d;
        newdib(d, 4, 3, bits, nullptr, 0);
        DibHolder h(d);
        const std::vector<std::uint8_t> before(d.poi, d.poi + 3 * d.bytew);
        const int outside[][2] = {
            {-1, 0},  {0, -1}, {4, 0}, {0, 3}, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX},
            {-1, -1}, {4, 3}};
        for (auto& p : outside) {
            setpixel(d, p[0], p[1], 0xFFFFFF);
            EXPECT_EQ(getpixel(d, p[0], p[1]), 0u) << bits;
        }
        EXPECT_EQ(std::vector<std::uint8_t>(d.poi, d.poi + 3 * d.bytew), before) << bits;
    }
    // No image at all: reads 0, writes are ignored.
    dib empty;
    EXPECT_EQ(getpixel(empty, 0, 0), 0u);
    setpixel(empty, 0, 0, 1);
}

TEST(Dib, ColourTableCopiedIntoTableAndPalette) {
    BitmapInfo templ{};
    templ.bmiColors[0] = RgbQuad{0, 0, 255, 0}; // red
    templ.bmiColors[1] = RgbQuad{255, 0, 0, 0}; // blue
    templ.bmiColors[15] = RgbQuad{1, 2, 3, 0};
    dib d;
    newdib(d, 8, 8, 4, &templ, 16);
    DibHolder h(d);
    EXPECT_EQ(tableColour(d, 0), rgb(255, 0, 0));
    EXPECT_EQ(tableColour(d, 1), rgb(0, 0, 255));
    EXPECT_EQ(tableColour(d, 15), rgb(3, 2, 1));
    EXPECT_EQ(d.pal.palNumEntries, 16);
    EXPECT_EQ(d.pal.palPalEntry[0].peRed, 255);
    EXPECT_EQ(d.pal.palPalEntry[1].peBlue, 255);
    EXPECT_EQ(d.pal.palPalEntry[15].peRed, 3);
    // Entries past the copied count stay black.
    dib e;
    newdib(e, 2, 2, 8, &templ, 1);
    DibHolder he(e);
    EXPECT_EQ(tableColour(e, 1), 0u);
}

struct BadSize {
    std::int64_t width;
    std::int64_t height;
    int bits;
};

class HostileSizeTest : public ::testing::TestWithParam<BadSize> {};

TEST_P(HostileSizeTest, GivesNilPoiNeverACrash) {
    const BadSize c = GetParam();
    dib d;
    d.poi = reinterpret_cast<std::uint8_t*>(0x1); // must be overwritten, not released
    newdib(d, static_cast<int>(c.width), static_cast<int>(c.height), c.bits, nullptr, 0);
    EXPECT_EQ(d.poi, nullptr);
    EXPECT_EQ(d.poih, 0u);
    EXPECT_EQ(d.pmi, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Sizes, HostileSizeTest,
                         ::testing::Values(BadSize{0, 10, 24}, BadSize{10, 0, 24},
                                           BadSize{-5, 10, 24}, BadSize{10, -5, 24},
                                           BadSize{1 << 30, 1 << 30, 24},
                                           BadSize{INT_MAX, INT_MAX, 24}, BadSize{INT_MAX, 1, 24},
                                           BadSize{1 << 30, 100, 8}, BadSize{10, 10, 16},
                                           BadSize{10, 10, 32}, BadSize{10, 10, 0},
                                           BadSize{10, 10, 2}),
                         [](const testing::TestParamInfo<BadSize>& p) {
                             return testsupport::numberedName("W", p.param.width) +
                                    testsupport::numberedName("H", p.param.height) +
                                    testsupport::numberedName("Bits", p.param.bits);
                         });

TEST(Dib, ReleaseClearsTheRecordAndKeepsTheRest) {
    dib d;
    newdib(d, 3, 3, 24, nullptr, 0);
    const std::int32_t bytew = d.bytew;
    releasedib(d);
    EXPECT_EQ(d.poi, nullptr);
    EXPECT_EQ(d.poih, 0u);
    EXPECT_EQ(d.bytew, bytew);
    releasedib(d); // a second release of the same record is harmless
}

TEST(Dib, HolderReleasesTheReplacedImage) {
    DibHolder h;
    dib a, b;
    newdib(a, 2, 2, 24, nullptr, 0);
    newdib(b, 3, 3, 24, nullptr, 0);
    h.install(a);
    h.install(b); // releases a (checked by the leak sanitizer)
    EXPECT_EQ(dibwidth(h.get()), 3);
    dib taken = h.take();
    EXPECT_TRUE(h.empty());
    releasedib(taken);
}

} // namespace
