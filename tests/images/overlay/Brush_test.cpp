// The freehand brush: radius steps, discs, strokes, the image edge and the
// undo of whole strokes.

#include "pixkit/Brush.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

using namespace pixkit;

namespace {

constexpr Colour Paint = rgb(250, 20, 130);

dib makeImage(int w, int h) {
    dib d;
    newdib(d, w, h, 24, nullptr, 0);
    return d;
}

std::vector<std::uint8_t> bytesOf(const dib& d) {
    return {d.poi, d.poi + static_cast<std::ptrdiff_t>(d.bytew) * dibheight(d)};
}

std::set<std::pair<int, int>> paintedPixels(const dib& d) {
    std::set<std::pair<int, int>> painted;
    for (int y = 0; y < dibheight(d); ++y)
        for (int x = 0; x < dibwidth(d); ++x)
            if (getpixel(d, x, y) == Paint)
                painted.insert({x, y});
    return painted;
}

// ---- Radius commands -----------------------------------------------------------

struct RadiusRun {
    const char* name;
    int start;
    bool larger;
    std::vector<int> expected; // radius after each command
};

class BrushRadius : public ::testing::TestWithParam<RadiusRun> {};

TEST_P(BrushRadius, StepsOfFiveStayWithinOneAndForty) {
    const RadiusRun& r = GetParam();
    int radius = r.start;
    for (int expected : r.expected) {
        radius = r.larger ? LargerBrush(radius) : SmallerBrush(radius);
        EXPECT_EQ(radius, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Brush, BrushRadius,
    ::testing::Values(RadiusRun{"SmallerFromTen", 10, false, {5, 1, 1}},
                      RadiusRun{"LargerFromOne", 1, true, {6, 11, 16, 21, 26, 31, 36, 40, 40}}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- Discs ---------------------------------------------------------------------

TEST(StampBrush, RadiusOnePaintsOnePixel) {
    DibHolder image(makeImage(20, 20));
    StampBrush(image.get(), 7, 9, 0.0, 0.0, 1, Paint);
    EXPECT_EQ(paintedPixels(image.get()), (std::set<std::pair<int, int>>{{7, 9}}));
}

TEST(StampBrush, RadiusTwoPaintsTheThreeByThreeSquare) {
    DibHolder image(makeImage(20, 20));
    StampBrush(image.get(), 5, 5, 0.0, 0.0, 2, Paint);
    std::set<std::pair<int, int>> square;
    for (int y = 4; y <= 6; ++y)
        for (int x = 4; x <= 6; ++x)
            square.insert({x, y});
    EXPECT_EQ(paintedPixels(image.get()), square);
}

TEST(StampBrush, DiscHoldsThePixelsCloserThanTheRadius) {
    for (int radius : {3, 10, 40}) {
        DibHolder image(makeImage(100, 100));
        StampBrush(image.get(), 50, 50, 0.0, 0.0, radius, Paint);
        std::set<std::pair<int, int>> disc;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                if ((x - 50) * (x - 50) + (y - 50) * (y - 50) < radius * radius)
                    disc.insert({x, y});
        EXPECT_EQ(paintedPixels(image.get()), disc) << "radius " << radius;
    }
}

TEST(StampBrush, FractionalOffsetRoundsEveryPositionHalfToEven) {
    DibHolder image(makeImage(20, 20));
    // 10.5 rounds to 10, so the single pixel lands on (10, 12) for 11.5.
    StampBrush(image.get(), 10, 11, 0.5, 0.5, 1, Paint);
    EXPECT_EQ(paintedPixels(image.get()), (std::set<std::pair<int, int>>{{10, 12}}));
}

struct EdgeCase {
    const char* name;
    int cx, cy;
};

class StampAtEdge : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(StampAtEdge, PaintsOnlyInsideAndLeavesTheRowPaddingAlone) {
    const EdgeCase& c = GetParam();
    // 13 pixels of 3 bytes: 39 bytes, one byte of padding per row.
    DibHolder image(makeImage(13, 11));
    const dib& d = image.get();
    StampBrush(d, c.cx, c.cy, 0.0, 0.0, 6, Paint);
    for (int r = 0; r < dibheight(d); ++r)
        EXPECT_EQ(storedRow(d, r)[39], 0) << "row " << r;
    for (const auto& [x, y] : paintedPixels(d)) {
        const long long dx = x - static_cast<long long>(c.cx);
        const long long dy = y - static_cast<long long>(c.cy);
        EXPECT_LT(dx * dx + dy * dy, 36);
    }
}

INSTANTIATE_TEST_SUITE_P(Brush, StampAtEdge,
                         ::testing::Values(EdgeCase{"TopLeft", 0, 0},
                                           EdgeCase{"BottomRight", 12, 10},
                                           EdgeCase{"JustOutsideLeft", -3, 5},
                                           EdgeCase{"JustOutsideBottom", 6, 14},
                                           EdgeCase{"FarOutside", INT_MIN, INT_MAX},
                                           EdgeCase{"FarOutsideRight", INT_MAX, 3}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(StampBrush, ImageWithoutPixelsIsLeftAlone) {
    dib none;
    StampBrush(none, 1, 1, 0.0, 0.0, 5, Paint);
    EXPECT_EQ(none.poi, nullptr);
}

// ---- Strokes -------------------------------------------------------------------

TEST(StrokeBetween, FromTenTenToThirteenFourteenLaysSixDiscsOnePixelApart) {
    const StrokeSteps s = StrokeBetween(10, 10, 13, 14);
    ASSERT_EQ(s.n, 5);
    const double expected[][2] = {{13, 14},     {12.4, 13.2}, {11.8, 12.4},
                                  {11.2, 11.6}, {10.6, 10.8}, {10, 10}};
    for (std::int64_t f = 0; f <= s.n; ++f) {
        EXPECT_NEAR(13 + static_cast<double>(f) * s.ux, expected[f][0], 1e-12) << f;
        EXPECT_NEAR(14 + static_cast<double>(f) * s.uy, expected[f][1], 1e-12) << f;
    }
}

TEST(StrokeBetween, MoveOnTheSamePixelStampsTwiceThere) {
    const StrokeSteps s = StrokeBetween(4, 4, 4, 4);
    EXPECT_EQ(s.n, 1);
    EXPECT_EQ(s.ux, 0.0);
    EXPECT_EQ(s.uy, 0.0);
}

TEST(StrokeBetween, PositionsAtTheEndsOfIntDoNotOverflow) {
    const StrokeSteps s = StrokeBetween(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    EXPECT_GT(s.n, std::int64_t{INT_MAX});
    EXPECT_TRUE(std::isfinite(s.ux));
}

// ---- Undo ----------------------------------------------------------------------

// Paints a stroke through (x, y) points the way the views do, recording it.
StrokeRecord paintStroke(const dib& d, const std::vector<std::pair<int, int>>& points, int radius,
                         Colour colour) {
    StrokeRecord record(d);
    auto stamp = [&](int cx, int cy, double fx, double fy) {
        record.saveDisc(d, cx + fx, cy + fy, radius);
        StampBrush(d, cx, cy, fx, fy, radius, colour);
    };
    stamp(points[0].first, points[0].second, 0.0, 0.0);
    for (std::size_t i = 1; i < points.size(); ++i) {
        const auto [ox, oy] = points[i - 1];
        const auto [ax, ay] = points[i];
        const StrokeSteps s = StrokeBetween(ox, oy, ax, ay);
        for (std::int64_t f = 0; f <= s.n; ++f)
            stamp(ax, ay, static_cast<double>(f) * s.ux, static_cast<double>(f) * s.uy);
    }
    return record;
}

dib randomImage(int w, int h, std::uint32_t seed) {
    dib d = makeImage(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            setpixel(d, x, y, static_cast<Colour>(rng()) & 0xFFFFFF);
    return d;
}

TEST(StrokeRecord, RestoresEveryByteOfAStrokeOverTheEdges) {
    DibHolder image(randomImage(61, 47, 7));
    const auto before = bytesOf(image.get());
    // Back and forth across the picture and out over three edges.
    const StrokeRecord r =
        paintStroke(image.get(), {{-5, 3}, {30, 20}, {2, 40}, {70, 50}, {30, 5}}, 9, Paint);
    ASSERT_NE(bytesOf(image.get()), before);
    EXPECT_TRUE(r.restore(image.get()));
    EXPECT_EQ(bytesOf(image.get()), before);
}

TEST(StrokeRecord, KeepsOnlyTheRowsAndColumnsTheStrokeReached) {
    DibHolder image(randomImage(4000, 3000, 8));
    const StrokeRecord r = paintStroke(image.get(), {{100, 100}, {300, 100}}, 10, Paint);
    // About 21 rows of 221 pixels, a few pixels of margin, far from the 36 MB image.
    EXPECT_GT(r.bytes(), 21u * 221u * 3u);
    EXPECT_LT(r.bytes(), 25u * 230u * 3u);
}

TEST(StrokeRecord, RefusesAnotherImage) {
    DibHolder image(randomImage(30, 30, 9));
    DibHolder other(randomImage(30, 30, 10));
    const StrokeRecord r = paintStroke(image.get(), {{10, 10}}, 4, Paint);
    const auto otherBefore = bytesOf(other.get());
    EXPECT_FALSE(r.restore(other.get()));
    EXPECT_EQ(bytesOf(other.get()), otherBefore);
}

TEST(BrushHistory, UndoesNewestFirstAcrossBothImages) {
    DibHolder one(randomImage(40, 40, 1)), two(randomImage(40, 40, 2));
    const auto one0 = bytesOf(one.get()), two0 = bytesOf(two.get());
    BrushHistory h;
    EXPECT_FALSE(h.canUndo());
    h.push(1, paintStroke(one.get(), {{5, 5}, {20, 20}}, 3, Paint));
    const auto one1 = bytesOf(one.get());
    h.push(2, paintStroke(two.get(), {{30, 5}}, 5, Paint));
    h.push(1, paintStroke(one.get(), {{10, 30}, {35, 30}}, 2, rgb(1, 2, 3)));

    EXPECT_EQ(h.undo(one.get(), two.get()), std::optional<int>(1));
    EXPECT_EQ(bytesOf(one.get()), one1);
    EXPECT_EQ(h.undo(one.get(), two.get()), std::optional<int>(2));
    EXPECT_EQ(bytesOf(two.get()), two0);
    EXPECT_EQ(h.undo(one.get(), two.get()), std::optional<int>(1));
    EXPECT_EQ(bytesOf(one.get()), one0);
    EXPECT_FALSE(h.canUndo());
    EXPECT_EQ(h.undo(one.get(), two.get()), std::nullopt);
    EXPECT_EQ(h.bytes(), 0u);
}

TEST(BrushHistory, KeepsTheNewestStrokesUpToItsLimit) {
    DibHolder one(randomImage(200, 200, 3));
    BrushHistory h;
    std::vector<std::vector<std::uint8_t>> states;
    for (std::size_t i = 0; i < BrushHistory::MaxStrokes + 5; ++i) {
        states.push_back(bytesOf(one.get()));
        const int x = static_cast<int>(i * 5);
        h.push(1, paintStroke(one.get(), {{x, 10}, {x, 190}}, 2,
                              rgb(static_cast<std::uint8_t>(i), 0, 0)));
    }
    EXPECT_EQ(h.size(), BrushHistory::MaxStrokes);
    for (std::size_t i = 0; i < BrushHistory::MaxStrokes; ++i)
        ASSERT_EQ(h.undo(one.get(), dib{}), std::optional<int>(1));
    EXPECT_FALSE(h.canUndo());
    EXPECT_EQ(bytesOf(one.get()), states[5]);
}

TEST(BrushHistory, ClearingOneImageKeepsTheOther) {
    DibHolder one(randomImage(40, 40, 4)), two(randomImage(40, 40, 5));
    BrushHistory h;
    h.push(1, paintStroke(one.get(), {{5, 5}}, 3, Paint));
    h.push(2, paintStroke(two.get(), {{5, 5}}, 3, Paint));
    h.push(1, paintStroke(one.get(), {{9, 9}}, 3, Paint));
    h.clearSlot(1);
    EXPECT_EQ(h.size(), 1u);
    EXPECT_EQ(h.undo(one.get(), two.get()), std::optional<int>(2));
    EXPECT_FALSE(h.canUndo());
}

TEST(BrushHistory, StrokeOnAnImageMadeAnewIsDroppedWithoutWriting) {
    DibHolder one(randomImage(40, 40, 6));
    BrushHistory h;
    h.push(1, paintStroke(one.get(), {{5, 5}}, 3, Paint));
    DibHolder replaced(randomImage(40, 40, 7));
    const auto before = bytesOf(replaced.get());
    EXPECT_EQ(h.undo(replaced.get(), dib{}), std::nullopt);
    EXPECT_EQ(bytesOf(replaced.get()), before);
    EXPECT_FALSE(h.canUndo());
}

TEST(BrushHistory, EmptyStrokeIsNotKept) {
    DibHolder one(randomImage(10, 10, 8));
    BrushHistory h;
    h.push(1, paintStroke(one.get(), {{-100, -100}}, 3, Paint));
    EXPECT_FALSE(h.canUndo());
}

} // namespace

namespace {

TEST(StrokeRecordCurrent, SwapsBetweenBeforeAndAfterAStroke) {
    DibHolder image(randomImage(40, 30, 7));
    const auto before = bytesOf(image.get());
    const StrokeRecord stroke = paintStroke(image.get(), {{6, 6}, {30, 20}}, 4, Paint);
    const auto after = bytesOf(image.get());
    ASSERT_NE(before, after);
    const StrokeRecord painted = stroke.current(image.get());
    ASSERT_TRUE(stroke.restore(image.get()));
    EXPECT_EQ(bytesOf(image.get()), before);
    ASSERT_TRUE(painted.restore(image.get()));
    EXPECT_EQ(bytesOf(image.get()), after);
    EXPECT_EQ(painted.bytes(), stroke.bytes());
}

TEST(StrokeRecordCurrent, IsEmptyForAnotherImage) {
    DibHolder image(randomImage(20, 20, 3)), other(randomImage(20, 20, 4));
    const StrokeRecord stroke = paintStroke(image.get(), {{5, 5}}, 3, Paint);
    EXPECT_TRUE(stroke.current(other.get()).empty());
}

} // namespace
