// The outline image (inversion, 5 x 5 filter) and the trace of outlines into
// segments, each case run on the fast path and on the reference.

#include "LineImages.h"
#include "lines/Trace.h"

#include <gtest/gtest.h>

#include <random>

namespace lines {
namespace {

using test::blank;
using test::fromAscii;
using test::toAscii;

std::string engineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Fast ? "Fast" : "Reference";
}

// ---- helpers of the outline image ----------------------------------------------------

class Inversion : public ::testing::TestWithParam<Engine> {};

TEST_P(Inversion, Turns24BitBytesIntoTheirNegative) {
    pixkit::DibHolder h = blank(3, 2, 0);
    pixkit::setpixel(h.get(), 0, 0, pixkit::rgb(0, 10, 255));
    pixkit::setpixel(h.get(), 2, 1, pixkit::rgb(128, 127, 1));
    InvertImage(h.get(), GetParam());
    EXPECT_EQ(pixkit::getpixel(h.get(), 0, 0), pixkit::rgb(255, 245, 0));
    EXPECT_EQ(pixkit::getpixel(h.get(), 2, 1), pixkit::rgb(127, 128, 254));
    EXPECT_EQ(pixkit::getpixel(h.get(), 1, 0), 0xFFFFFFu);
}

TEST_P(Inversion, PaletteImages) {
    // 1 bit: the pixel bits flip. 8 bits: the pixels stay, both copies of
    // the colour table are inverted.
    pixkit::dib mono;
    pixkit::newdib(mono, 9, 2, 1, nullptr, 0);
    pixkit::DibHolder monoHolder(mono);
    pixkit::setpixel(mono, 3, 1, 1);
    InvertImage(monoHolder.get(), GetParam());
    EXPECT_EQ(pixkit::getpixel(mono, 3, 1), 0u);
    EXPECT_EQ(pixkit::getpixel(mono, 8, 0), 1u);

    pixkit::BitmapInfo table{};
    table.bmiColors[5] = pixkit::RgbQuad{1, 2, 3, 0};
    pixkit::dib pal;
    pixkit::newdib(pal, 2, 2, 8, &table, 256);
    pixkit::DibHolder palHolder(pal);
    pixkit::setpixel(pal, 1, 1, 5);
    InvertImage(palHolder.get(), GetParam());
    EXPECT_EQ(pixkit::getpixel(palHolder.get(), 1, 1), 5u);
    EXPECT_EQ(pixkit::tableColour(palHolder.get(), 5), pixkit::rgb(252, 253, 254));
    const pixkit::PaletteEntry& e = palHolder.get().pal.palPalEntry[5];
    EXPECT_EQ(e.peRed, 252);
    EXPECT_EQ(e.peBlue, 254);
    EXPECT_EQ(pixkit::tableColour(palHolder.get(), 0), 0xFFFFFFu);
}

INSTANTIATE_TEST_SUITE_P(Engines, Inversion, ::testing::Values(Engine::Fast, Engine::Reference),
                         engineName);

// The filter computed directly from its definition for one byte.
int filterByte(const pixkit::dib& d, const tfilter5& f, int x, int y, int ch) {
    const int W = pixkit::dibwidth(d), H = pixkit::dibheight(d);
    int s = 0;
    for (int k = 0; k < 5; ++k)
        for (int t = 0; t < 5; ++t) {
            const int xx = std::clamp(x - 2 + t, 0, W - 1), yy = std::clamp(y - 2 + k, 0, H - 1);
            s += f.coef[k][t] * static_cast<int>((pixkit::getpixel(d, xx, yy) >> (8 * ch)) & 0xFF);
        }
    const int div = f.divisor == 0 ? 1 : f.divisor;
    return std::clamp(s / div + f.bias, 0, 255);
}

struct FilterCase {
    const char* name;
    tfilter5 filter;
};

tfilter5 makeFilter(int divisor, int bias, std::initializer_list<std::tuple<int, int, int>> taps) {
    tfilter5 f{divisor, bias, {}};
    for (auto [k, t, c] : taps)
        f.coef[k][t] = c;
    return f;
}

class Filter : public ::testing::TestWithParam<std::tuple<Engine, FilterCase>> {};

TEST_P(Filter, MatchesTheDefinitionWithBorderTruncationAndClamping) {
    const auto& [engine, c] = GetParam();
    for (auto [W, H] : {std::pair{1, 1}, std::pair{2, 7}, std::pair{9, 6}}) {
        pixkit::DibHolder h = test::drawing(test::Drawing::Noise, W, H, 5);
        std::mt19937 rng(static_cast<unsigned>(W * 31 + H));
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                pixkit::setpixel(h.get(), x, y, rng() & 0xFFFFFFu);
        const pixkit::DibHolder before(DuplicateImage(h.get()));
        ASSERT_TRUE(ApplyFilter5x5(h.get(), c.filter, engine));
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(
                        static_cast<int>((pixkit::getpixel(h.get(), x, y) >> (8 * ch)) & 0xFF),
                        filterByte(before.get(), c.filter, x, y, ch))
                        << W << "x" << H << " at " << x << "," << y << " byte " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Filter,
    ::testing::Combine(
        ::testing::Values(Engine::Fast, Engine::Reference),
        ::testing::Values(FilterCase{"Outline", OutlineFilter},
                          // Negative sums divided by 3 truncate toward zero before the bias.
                          FilterCase{"TruncatingDivision",
                                     makeFilter(3, 100, {{2, 2, -1}, {0, 4, 2}, {4, 0, -3}})},
                          FilterCase{
                              "OuterRingOnly",
                              makeFilter(4, 0, {{0, 0, 1}, {0, 4, 1}, {4, 0, 1}, {4, 4, 1}})},
                          FilterCase{"DivisorZeroCountsAsOne", makeFilter(0, -20, {{2, 2, 2}})})),
    [](const auto& p) {
        return std::string(std::get<1>(p.param).name) +
               (std::get<0>(p.param) == Engine::Fast ? "Fast" : "Reference");
    });

TEST(ImageOps, DuplicateCopiesPixelsAndTableIntoNewMemory) {
    pixkit::BitmapInfo table{};
    table.bmiColors[3] = pixkit::RgbQuad{7, 8, 9, 0};
    pixkit::dib pal;
    pixkit::newdib(pal, 5, 3, 4, &table, 16);
    pixkit::DibHolder h(pal);
    pixkit::setpixel(pal, 4, 2, 3);
    const pixkit::DibHolder copy(DuplicateImage(pal));
    ASSERT_NE(copy.get().poi, nullptr);
    EXPECT_NE(copy.get().poi, pal.poi);
    EXPECT_EQ(pixkit::dibbits(copy.get()), 4);
    EXPECT_EQ(pixkit::getpixel(copy.get(), 4, 2), 3u);
    EXPECT_EQ(pixkit::tableColour(copy.get(), 3), pixkit::rgb(9, 8, 7));
    EXPECT_EQ(DuplicateImage(pixkit::dib{}).poi, nullptr);
}

TEST(Geometry, PointLineDistance) {
    EXPECT_DOUBLE_EQ(PointLineDistance({0, 0}, {10, 0}, {5, 3}), 3.0);
    EXPECT_DOUBLE_EQ(PointLineDistance({0, 0}, {10, 0}, {5, -3}), -3.0);
    EXPECT_DOUBLE_EQ(PointLineDistance({1, 1}, {4, 5}, {4, 1}), -2.4); // 3-4-5 triangle
    EXPECT_EQ(PointLineDistance({2, 2}, {2, 2}, {7, 9}), 1000.0);
}

TEST(Geometry, ToleranceGrowsWithTheWidth) {
    EXPECT_DOUBLE_EQ(TraceTolerance(3000), 2.999);
    EXPECT_DOUBLE_EQ(TraceTolerance(1001), 1.0);
    EXPECT_DOUBLE_EQ(TraceTolerance(1), 0.0);
}

// ---- outline image -------------------------------------------------------------------

class Outline : public ::testing::TestWithParam<Engine> {};

TEST_P(Outline, AreaTouchingTheBorderIsNotOutlinedAlongIt) {
    pixkit::DibHolder h = fromAscii({
        "........",
        "####....",
        "####....",
        "####....",
        "####....",
        "........",
    });
    ASSERT_EQ(MakeOutlineImage(h.get(), GetParam()), OutlineEnd::Done);
    EXPECT_EQ(toAscii(h.get()), (std::vector<std::string>{
                                    "........",
                                    "####....",
                                    "...#....",
                                    "...#....",
                                    "####....",
                                    "........",
                                }));
}

TEST_P(Outline, BlackExactlyWhereABlackPixelSeesWhite) {
    // Random black/white images against the definition of the outline.
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        const int W = 1 + static_cast<int>(rng() % 40), H = 1 + static_cast<int>(rng() % 30);
        pixkit::DibHolder h = blank(W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (rng() % 3 != 0)
                    pixkit::setpixel(h.get(), x, y, 0);
        const pixkit::DibHolder before(DuplicateImage(h.get()));
        ASSERT_EQ(MakeOutlineImage(h.get(), GetParam()), OutlineEnd::Done);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                bool seesWhite = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        seesWhite |= pixkit::getpixel(before.get(), std::clamp(x + dx, 0, W - 1),
                                                      std::clamp(y + dy, 0, H - 1)) != 0;
                const bool black = pixkit::getpixel(before.get(), x, y) == 0;
                ASSERT_EQ(pixkit::getpixel(h.get(), x, y), black && seesWhite ? 0u : 0xFFFFFFu)
                    << "seed " << seed << " at " << x << "," << y;
            }
    }
}

TEST_P(Outline, NoImageIsReported) {
    pixkit::dib none;
    EXPECT_EQ(MakeOutlineImage(none, GetParam()), OutlineEnd::NoImage);
}

INSTANTIATE_TEST_SUITE_P(Engines, Outline, ::testing::Values(Engine::Fast, Engine::Reference),
                         engineName);

// ---- trace -------------------------------------------------------------------------

struct Found {
    tlineinf segment;
    bool drawn;
};

std::vector<Found> trace(const pixkit::dib& outline, Engine engine) {
    std::vector<Found> found;
    EXPECT_EQ(TraceSegments(
                  outline,
                  [&](const tlineinf& s, bool drawn) {
                      found.push_back({s, drawn});
                      return true;
                  },
                  engine),
              TraceEnd::Done);
    return found;
}

struct TraceCase {
    const char* name;
    std::vector<std::string> sketch; // the outline image
    std::vector<Found> expected;
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "(" << f.segment.x1 << "," << f.segment.y1 << ")->(" << f.segment.x2 << ","
              << f.segment.y2 << ")" << (f.segment.newpoly ? " new" : "")
              << (f.drawn ? "" : " closing");
}
bool operator==(const Found& a, const Found& b) {
    return a.segment == b.segment && a.drawn == b.drawn;
}

class Trace : public ::testing::TestWithParam<std::tuple<Engine, TraceCase>> {};

TEST_P(Trace, Segments) {
    const auto& [engine, c] = GetParam();
    const pixkit::DibHolder h = fromAscii(c.sketch);
    const pixkit::DibHolder before(DuplicateImage(h.get()));
    EXPECT_EQ(trace(h.get(), engine), c.expected);
    EXPECT_TRUE(test::samePixels(h.get(), before.get())) << "the outline image was changed";
}

const std::vector<TraceCase> TraceCases = {
    {"IsolatedPixel",
     {".....", "..#..", "....."},
     {{{2, 1, 2, 1, true}, true}, {{2, 1, 2, 1, true}, false}}},
    {"TenPixelLine",
     {"..............", "..............", "..##########..", ".............."},
     {{{2, 2, 11, 2, true}, true}, {{11, 2, 2, 2, true}, false}}},
    // A pair in row 0: the walk never steps into row 0, so each is alone.
    {"RowZeroPair",
     {".##..", ".....", "....."},
     {{{1, 0, 1, 0, true}, true},
      {{1, 0, 1, 0, true}, false},
      {{2, 0, 2, 0, true}, true},
      {{2, 0, 2, 0, true}, false}}},
    // A bend: the chord (1,1)->(3,2) misses (2,1), so (1,1)->(3,1) is cut.
    {"Bend",
     {"....................", ".###................", "...#................",
      "...#................"},
     {{{1, 1, 3, 1, true}, true}, {{3, 1, 3, 3, false}, true}, {{3, 3, 1, 1, false}, false}}},
    // The last step cuts a segment: the walk ends with an empty point list,
    // so neither the last pixel nor a closing segment is written.
    {"EndsRightAfterACut",
     {"..........", ".##.......", "...#......"},
     {{{1, 1, 2, 1, true}, true}}},
    // Traces start at the topmost, then leftmost black pixel left.
    {"ScanOrder",
     {"......", "....#.", "......", ".#....", "......"},
     {{{4, 1, 4, 1, true}, true},
      {{4, 1, 4, 1, true}, false},
      {{1, 3, 1, 3, true}, true},
      {{1, 3, 1, 3, true}, false}}},
    // Direct neighbours before diagonals: from (2,1) the walk goes down to
    // (2,2), not diagonally to (3,2); the step on to (3,2) then bends.
    {"DirectNeighboursFirst",
     {"......", "..#...", "..##..", "......"},
     {{{2, 1, 2, 2, true}, true}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, Trace,
                         ::testing::Combine(::testing::Values(Engine::Fast, Engine::Reference),
                                            ::testing::ValuesIn(TraceCases)),
                         [](const auto& p) {
                             return std::string(std::get<1>(p.param).name) +
                                    (std::get<0>(p.param) == Engine::Fast ? "Fast" : "Reference");
                         });

TEST(TraceInput, NoImageEmitsNothing) {
    int calls = 0;
    const auto count = [&](const tlineinf&, bool) { return ++calls > 0; };
    EXPECT_EQ(TraceSegments(pixkit::dib{}, count, Engine::Fast), TraceEnd::NoImage);
    EXPECT_EQ(TraceSegments(pixkit::dib{}, count, Engine::Reference), TraceEnd::NoImage);
    EXPECT_EQ(calls, 0);
}

} // namespace
} // namespace lines
