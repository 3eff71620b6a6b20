// The preparation (3 x 3 blocks) and the black/white separation: background,
// peak suppression, distance, threshold rounding and classification.

#include "LineImages.h"
#include "lines/Separation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace lines {
namespace {

using test::blank;
using test::grey;

std::string engineName(const ::testing::TestParamInfo<Engine>& p) {
    return p.param == Engine::Fast ? "Fast" : "Reference";
}

// ---- histogram analysis ------------------------------------------------------------

struct HistogramCase {
    const char* name;
    std::map<int, std::uint32_t> counts; // luminance -> count
    int schwelle;
    int M, D, T;
};

std::ostream& operator<<(std::ostream& os, const HistogramCase& c) {
    return os << c.name;
}

class HistogramAnalysis : public ::testing::TestWithParam<HistogramCase> {};

TEST_P(HistogramAnalysis, BackgroundDistanceAndThreshold) {
    const HistogramCase& c = GetParam();
    SeparationTables t;
    for (const auto& [lum, n] : c.counts)
        t.col1[static_cast<std::size_t>(lum)] = n;
    AnalyseHistogram(t, c.schwelle);
    EXPECT_EQ(t.M, c.M);
    EXPECT_EQ(t.D, c.D);
    EXPECT_EQ(t.T, c.T);
    for (std::size_t i = 0; i < 256; ++i)
        EXPECT_EQ(t.col2[i].value, static_cast<int>(i));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HistogramAnalysis,
    ::testing::Values(
        // One grey only: no other peak, D stays 255; 50 x 2.55 = 127.5 -> 128.
        HistogramCase{"UniformGrey", {{128, 1000}}, 50, 128, 255, 128},
        HistogramCase{"UniformGreyS1", {{128, 1000}}, 1, 128, 255, 3}, // 2.55 -> 3
        // Equal counts: the lower luminance is the background.
        HistogramCase{"Tie40And200", {{40, 700}, {200, 700}}, 50, 40, 160, 80},
        // 130 is suppressed by 100; 170 is not suppressed by 130 (already 0).
        HistogramCase{
            "Suppression100_130_170", {{100, 500}, {130, 300}, {170, 200}}, 50, 100, 70, 35},
        // A smaller peak within 63 levels of a bigger one vanishes.
        HistogramCase{"NeighbourWithin63", {{100, 500}, {163, 400}}, 50, 100, 255, 128},
        HistogramCase{"NeighbourAt64", {{100, 500}, {164, 400}}, 50, 100, 64, 32},
        // S 1 with D 30 rounds to T 0.
        HistogramCase{"ThresholdZero", {{100, 500}, {130, 500}}, 1, 100, 30, 0},
        // Halves to even: 2.5 -> 2 and 3.5 -> 4.
        HistogramCase{"HalfDown", {{100, 500}, {150, 500}}, 5, 100, 50, 2},
        HistogramCase{"HalfUp", {{100, 500}, {170, 500}}, 5, 100, 70, 4},
        // The nearest surviving peak counts, on either side.
        HistogramCase{"NearestOfBothSides", {{10, 50}, {120, 900}, {200, 80}}, 99, 120, 80, 79}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- the separated image -------------------------------------------------------------

// Pixels of the given greys, `counts` of each, in one row.
pixkit::DibHolder greyRow(const std::vector<std::pair<pixkit::Colour, int>>& runs) {
    int W = 0;
    for (const auto& r : runs)
        W += r.second;
    pixkit::DibHolder h = blank(W, 1);
    int x = 0;
    for (const auto& [c, n] : runs)
        for (int i = 0; i < n; ++i)
            pixkit::setpixel(h.get(), x++, 0, c);
    return h;
}

class Separation : public ::testing::TestWithParam<Engine> {};

TEST_P(Separation, UniformGreyBecomesWhite) {
    const pixkit::DibHolder in = blank(7, 5, grey(90));
    pixkit::DibHolder out;
    SeparationTables t;
    ASSERT_EQ(ToBlackWhite(in.get(), 50, out.get(), t, GetParam()), SeparationEnd::Done);
    EXPECT_EQ(t.col1[90], 35u);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(pixkit::getpixel(out.get(), x, y), 0xFFFFFFu);
}

TEST_P(Separation, ThresholdZeroKeepsOnlyTheBackgroundWhite) {
    // 100 and 130 equally often (D 30), a few pixels at 101: T 0 at S 1.
    const pixkit::DibHolder in = greyRow({{grey(100), 10}, {grey(130), 10}, {grey(101), 2}});
    pixkit::DibHolder out;
    SeparationTables t;
    ASSERT_EQ(ToBlackWhite(in.get(), 1, out.get(), t, GetParam()), SeparationEnd::Done);
    EXPECT_EQ(t.T, 0);
    EXPECT_EQ(pixkit::getpixel(out.get(), 0, 0), 0xFFFFFFu); // 100 = M
    EXPECT_EQ(pixkit::getpixel(out.get(), 10, 0), 0u);       // 130
    EXPECT_EQ(pixkit::getpixel(out.get(), 20, 0), 0u);       // 101: |L - M| = 1, not < 0
}

TEST_P(Separation, StrictlyCloserThanTIsWhite) {
    // M 100, second peak 150 (D 50), S 5: T 2. 101 is white, 102 black,
    // 98 black as well (distance 2 on the other side).
    const pixkit::DibHolder in =
        greyRow({{grey(100), 40}, {grey(150), 40}, {grey(101), 1}, {grey(102), 1}, {grey(98), 1}});
    pixkit::DibHolder out;
    SeparationTables t;
    ASSERT_EQ(ToBlackWhite(in.get(), 5, out.get(), t, GetParam()), SeparationEnd::Done);
    ASSERT_EQ(t.T, 2);
    EXPECT_EQ(pixkit::getpixel(out.get(), 80, 0), 0xFFFFFFu);
    EXPECT_EQ(pixkit::getpixel(out.get(), 81, 0), 0u);
    EXPECT_EQ(pixkit::getpixel(out.get(), 82, 0), 0u);
}

TEST_P(Separation, LuminanceIsTheTruncatedMeanOfTheBytes) {
    // (10, 10, 12) has mean 10.67 -> 10; (0, 0, 2) -> 0, (255, 255, 0) -> 170.
    const pixkit::DibHolder in = greyRow(
        {{pixkit::rgb(10, 10, 12), 3}, {pixkit::rgb(0, 0, 2), 1}, {pixkit::rgb(255, 255, 0), 1}});
    pixkit::DibHolder out;
    SeparationTables t;
    ASSERT_EQ(ToBlackWhite(in.get(), 50, out.get(), t, GetParam()), SeparationEnd::Done);
    EXPECT_EQ(t.col1[10], 3u);
    EXPECT_EQ(t.col1[0], 1u);
    EXPECT_EQ(t.col1[170], 1u);
    EXPECT_EQ(t.M, 10);
}

TEST_P(Separation, RefusesWhatIsNoImage) {
    pixkit::DibHolder out;
    SeparationTables t;
    EXPECT_EQ(ToBlackWhite(pixkit::dib{}, 50, out.get(), t, GetParam()), SeparationEnd::NoImage);
    pixkit::dib pal;
    pixkit::newdib(pal, 4, 4, 8, nullptr, 0);
    pixkit::DibHolder palHolder(pal);
    EXPECT_EQ(ToBlackWhite(pal, 50, out.get(), t, GetParam()), SeparationEnd::NoImage);
    EXPECT_EQ(out.get().poi, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Engines, Separation, ::testing::Values(Engine::Fast, Engine::Reference),
                         engineName);

// ---- preparation -------------------------------------------------------------------

class Preparation : public ::testing::TestWithParam<Engine> {};

TEST_P(Preparation, SmallImagesBecomeThreeTimesLarger) {
    pixkit::DibHolder h = test::drawing(test::Drawing::Noise, 5, 4, 3);
    const pixkit::DibHolder before(DuplicateImage(h.get()));
    PrepareForTracing(h.get(), GetParam());
    ASSERT_EQ(pixkit::dibwidth(h.get()), 15);
    ASSERT_EQ(pixkit::dibheight(h.get()), 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 15; ++x)
            ASSERT_EQ(pixkit::getpixel(h.get(), x, y), pixkit::getpixel(before.get(), x / 3, y / 3))
                << x << "," << y;
}

TEST_P(Preparation, WideImagesBecomeBlockyFromTheFirstStoredRow) {
    // 3001 x 10: too wide to enlarge. Blocks are counted from the bottom
    // row as stored, so the picture's top row (stored row 9) is a block of
    // its own, a copy of nothing but itself.
    constexpr int W = 3001, H = 10;
    pixkit::DibHolder h = blank(W, H, 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            pixkit::setpixel(h.get(), x, y,
                             pixkit::rgb(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                                         static_cast<std::uint8_t>(x >> 8)));
    const pixkit::DibHolder before(DuplicateImage(h.get()));
    PrepareForTracing(h.get(), GetParam());
    ASSERT_EQ(pixkit::dibwidth(h.get()), W);
    ASSERT_EQ(pixkit::dibheight(h.get()), H);
    for (int y = 0; y < H; ++y) {
        const int r = H - 1 - y;
        const int y0 = H - 1 - 3 * (r / 3);
        for (int x = 0; x < W; ++x)
            ASSERT_EQ(pixkit::getpixel(h.get(), x, y),
                      pixkit::getpixel(before.get(), 3 * (x / 3), y0))
                << x << "," << y;
    }
    EXPECT_EQ(pixkit::getpixel(h.get(), 3000, 0), pixkit::getpixel(before.get(), 3000, 0));
}

TEST_P(Preparation, PaletteImagesArePromotedFirst) {
    pixkit::BitmapInfo table{};
    table.bmiColors[1] = pixkit::RgbQuad{30, 20, 10, 0};
    pixkit::dib pal;
    pixkit::newdib(pal, 2, 1, 8, &table, 256);
    pixkit::DibHolder h(pal);
    pixkit::setpixel(pal, 1, 0, 1);
    PrepareForTracing(h.get(), GetParam());
    ASSERT_EQ(pixkit::dibbits(h.get()), 24);
    ASSERT_EQ(pixkit::dibwidth(h.get()), 6);
    EXPECT_EQ(pixkit::getpixel(h.get(), 5, 2), pixkit::rgb(10, 20, 30));
    EXPECT_EQ(pixkit::getpixel(h.get(), 2, 2), 0u);
}

TEST_P(Preparation, EmptyRecordStaysEmpty) {
    pixkit::dib none;
    PrepareForTracing(none, GetParam());
    EXPECT_EQ(none.poi, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Engines, Preparation, ::testing::Values(Engine::Fast, Engine::Reference),
                         engineName);

TEST(PreparationLimits, AtTheLimitEnlargesToNineThousand) {
    pixkit::DibHolder h = blank(3000, 3000, 0);
    pixkit::setpixel(h.get(), 2999, 0, 0x123456);
    PrepareForTracing(h.get());
    ASSERT_EQ(pixkit::dibwidth(h.get()), 9000);
    ASSERT_EQ(pixkit::dibheight(h.get()), 9000);
    EXPECT_EQ(pixkit::getpixel(h.get(), 8997, 2), 0x123456u);
    EXPECT_EQ(pixkit::getpixel(h.get(), 8996, 2), 0u);
    EXPECT_EQ(pixkit::getpixel(h.get(), 8999, 3), 0u);
}

TEST(PreparationLimits, TallImagesAreNotEnlargedEither) {
    pixkit::DibHolder h = blank(3, 3001, 0);
    PrepareForTracing(h.get());
    EXPECT_EQ(pixkit::dibwidth(h.get()), 3);
    EXPECT_EQ(pixkit::dibheight(h.get()), 3001);
}

} // namespace
} // namespace lines
