#include "pixkit/DepthTurn.h"
#include "testsupport/CaseNames.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

using namespace pixkit;

namespace {

// Image of the given size and depth whose colour table holds `colours`.
dib makeImage(int w, int h, int bits, const std::vector<Colour>& colours = {}) {
    BitmapInfo info{};
    for (std::size_t i = 0; i < colours.size() && i < 256; ++i) {
        info.bmiColors[i].rgbRed = redOf(colours[i]);
        info.bmiColors[i].rgbGreen = greenOf(colours[i]);
        info.bmiColors[i].rgbBlue = blueOf(colours[i]);
    }
    dib d;
    newdib(d, w, h, bits, &info, bits <= 8 ? (1 << bits) : 0);
    return d;
}

std::vector<Colour> pixelsOf(const dib& d) {
    std::vector<Colour> v;
    for (int y = 0; y < dibheight(d); ++y)
        for (int x = 0; x < dibwidth(d); ++x)
            v.push_back(getpixel(d, x, y));
    return v;
}

void fillRandom(const dib& d, std::mt19937& rng) {
    const int bits = dibbits(d);
    const Colour mask = bits == 24 ? 0xFFFFFFu : (1u << bits) - 1;
    for (int y = 0; y < dibheight(d); ++y)
        for (int x = 0; x < dibwidth(d); ++x)
            setpixel(d, x, y, static_cast<Colour>(rng()) & mask);
}

TEST(DepthUpTo, OneBitTakesColourTableEntries) {
    const Colour red = rgb(255, 0, 0), blue = rgb(0, 0, 255);
    dib d = makeImage(11, 3, 1, {red, blue});
    // Checkerboard-ish: pixel set where (x + y) % 3 == 0.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 11; ++x)
            setpixel(d, x, y, (x + y) % 3 == 0 ? 1 : 0);
    DepthUpTo(24, d);
    DibHolder h(d);
    ASSERT_NE(d.poi, nullptr);
    ASSERT_EQ(dibbits(d), 24);
    ASSERT_EQ(dibwidth(d), 11);
    ASSERT_EQ(dibheight(d), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 11; ++x)
            EXPECT_EQ(getpixel(d, x, y), (x + y) % 3 == 0 ? blue : red) << x << "," << y;
}

TEST(DepthUpTo, FourBitOddWidthUsesHighHalfOfLastByte) {
    std::vector<Colour> table;
    for (int i = 0; i < 16; ++i)
        table.push_back(rgb(static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(i),
                            static_cast<std::uint8_t>(255 - i)));
    dib d = makeImage(5, 2, 4, table);
    // Picture row 0 (stored last): indices 1 2 3 4 5; the low half of byte 2
    // is padding and must be ignored.
    std::uint8_t* top = pictureRow(d, 0);
    top[0] = 0x12;
    top[1] = 0x34;
    top[2] = 0x5F;
    std::uint8_t* bottom = pictureRow(d, 1);
    bottom[0] = 0xAB;
    bottom[1] = 0xCD;
    bottom[2] = 0xE7;
    DepthUpTo(24, d);
    DibHolder h(d);
    ASSERT_EQ(dibbits(d), 24);
    const std::array<int, 5> topIdx{1, 2, 3, 4, 5}, bottomIdx{10, 11, 12, 13, 14};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(getpixel(d, x, 0),
                  table[static_cast<std::size_t>(topIdx[static_cast<std::size_t>(x)])]);
        EXPECT_EQ(getpixel(d, x, 1),
                  table[static_cast<std::size_t>(bottomIdx[static_cast<std::size_t>(x)])]);
    }
}

TEST(DepthUpTo, EightBitKeepsOrientation) {
    std::vector<Colour> table;
    for (int i = 0; i < 256; ++i)
        table.push_back(rgb(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                            static_cast<std::uint8_t>(i / 2)));
    dib d = makeImage(7, 5, 8, table);
    std::mt19937 rng(3);
    fillRandom(d, rng);
    const std::vector<Colour> before = pixelsOf(d);
    DepthUpTo(24, d);
    DibHolder h(d);
    ASSERT_EQ(dibbits(d), 24);
    const std::vector<Colour> after = pixelsOf(d);
    for (std::size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(after[i], table[before[i]]) << i;
}

TEST(DepthUpTo, TwentyFourBitImageIsLeftAlone) {
    dib d = makeImage(4, 4, 24);
    DibHolder h(d);
    setpixel(d, 1, 2, rgb(1, 2, 3));
    const dib before = d;
    DepthUpTo(24, d);
    EXPECT_EQ(d.poi, before.poi);
    EXPECT_EQ(d.pmi, before.pmi);
    EXPECT_EQ(getpixel(d, 1, 2), rgb(1, 2, 3));
}

TEST(DepthUpTo, EmptyRecordStaysEmpty) {
    dib d;
    DepthUpTo(24, d);
    EXPECT_EQ(d.poi, nullptr);
}

// The 3 x 2 example:   a b c        left:  c f     right of that: a b c
//                      d e f               b e                    d e f
//                                          a d
TEST(TurnSourceImage, ThreeByTwoLeftThenRight) {
    for (auto turn : {&TurnSourceImage, &TurnSourceImageReference}) {
        dib d = makeImage(3, 2, 24);
        const std::array<Colour, 6> v{1, 2, 3, 4, 5, 6};
        for (int i = 0; i < 6; ++i)
            setpixel(d, i % 3, i / 3, v[static_cast<std::size_t>(i)]);
        turn(d, TurnDirection::Left);
        ASSERT_EQ(dibwidth(d), 2);
        ASSERT_EQ(dibheight(d), 3);
        EXPECT_EQ(getpixel(d, 0, 0), 3u); // old top-right
        EXPECT_EQ(getpixel(d, 0, 2), 1u); // old top-left
        EXPECT_EQ(pixelsOf(d), (std::vector<Colour>{3, 6, 2, 5, 1, 4}));
        turn(d, TurnDirection::Right);
        DibHolder h(d);
        ASSERT_EQ(dibwidth(d), 3);
        EXPECT_EQ(pixelsOf(d), (std::vector<Colour>{1, 2, 3, 4, 5, 6}));
    }
}

TEST(TurnSourceImage, EightBitKeepsTableAndValues) {
    std::vector<Colour> table;
    for (int i = 0; i < 256; ++i)
        table.push_back(rgb(static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i), 7));
    dib d = makeImage(5, 3, 8, table);
    std::mt19937 rng(5);
    fillRandom(d, rng);
    const std::vector<Colour> before = pixelsOf(d);
    TurnSourceImage(d, TurnDirection::Right);
    DibHolder h(d);
    ASSERT_EQ(dibbits(d), 8);
    EXPECT_EQ(d.pal.palNumEntries, 256);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(tableColour(d, i), table[static_cast<std::size_t>(i)]) << i;
        ASSERT_EQ(d.pal.palPalEntry[i].peRed, redOf(table[static_cast<std::size_t>(i)]));
    }
    // Right turn: new (H-1-y, x) = old (x, y).
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(getpixel(d, 2 - y, x), before[static_cast<std::size_t>(y * 5 + x)]);
}

struct TurnCase {
    int bits;
    int w;
    int h;
    TurnDirection dir;
};

class TurnEquality : public ::testing::TestWithParam<TurnCase> {};

// Fast path (8/24 bits) and the low depths all agree with the pixel-by-pixel
// turn, and four turns in one direction bring the picture back.
TEST_P(TurnEquality, FastMatchesReference) {
    const TurnCase c = GetParam();
    std::mt19937 rng(static_cast<unsigned>(c.w * 131 + c.h * 7 + c.bits));
    dib a = makeImage(c.w, c.h, c.bits);
    fillRandom(a, rng);
    const std::vector<Colour> original = pixelsOf(a);
    dib b = makeImage(c.w, c.h, c.bits);
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x)
            setpixel(b, x, y, getpixel(a, x, y));
    TurnSourceImage(a, c.dir);
    TurnSourceImageReference(b, c.dir);
    DibHolder ha(a), hb(b);
    ASSERT_EQ(dibwidth(a), c.h);
    ASSERT_EQ(dibheight(a), c.w);
    ASSERT_EQ(pixelsOf(a), pixelsOf(b));
    // Padding bytes stay zero in the fast path, like a fresh image.
    for (int r = 0; r < dibheight(a); ++r)
        ASSERT_EQ(std::vector<std::uint8_t>(storedRow(a, r), storedRow(a, r) + a.bytew),
                  std::vector<std::uint8_t>(storedRow(b, r), storedRow(b, r) + b.bytew));
    for (int i = 0; i < 3; ++i)
        TurnSourceImage(ha.get(), c.dir);
    EXPECT_EQ(pixelsOf(ha.get()), original);
}

INSTANTIATE_TEST_SUITE_P(OddSizes, TurnEquality,
                         ::testing::Values(TurnCase{24, 37, 51, TurnDirection::Left},
                                           TurnCase{24, 37, 51, TurnDirection::Right},
                                           TurnCase{24, 1, 65, TurnDirection::Left},
                                           TurnCase{24, 70, 1, TurnDirection::Right},
                                           TurnCase{8, 33, 97, TurnDirection::Left},
                                           TurnCase{8, 97, 33, TurnDirection::Right},
                                           TurnCase{8, 3, 2, TurnDirection::Left},
                                           TurnCase{4, 13, 9, TurnDirection::Left},
                                           TurnCase{4, 9, 13, TurnDirection::Right},
                                           TurnCase{1, 19, 11, TurnDirection::Left},
                                           TurnCase{1, 11, 19, TurnDirection::Right}),
                         [](const testing::TestParamInfo<TurnCase>& p) {
                             return testsupport::numberedName("Bits", p.param.bits) +
                                    testsupport::numberedName("W", p.param.w) +
                                    testsupport::numberedName("H", p.param.h) +
                                    (p.param.dir == TurnDirection::Left ? "Left" : "Right");
                         });

TEST(TurnCorners, LeftThenRightRestores) {
    struct P {
        int x, y;
        bool operator==(const P&) const = default;
    };
    const std::array<P, 4> start{P{1, 2}, P{30, 4}, P{28, 40}, P{3, 38}};
    std::array<P, 4> c = start;
    TurnCorners(c, TurnDirection::Left);
    EXPECT_EQ(c, (std::array<P, 4>{start[1], start[2], start[3], start[0]}));
    TurnCorners(c, TurnDirection::Right);
    EXPECT_EQ(c, start);
    TurnCorners(c, TurnDirection::Right);
    EXPECT_EQ(c, (std::array<P, 4>{start[3], start[0], start[1], start[2]}));
}

} // namespace
