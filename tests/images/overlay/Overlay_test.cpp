// The overlay of two rectified images: what the canvas shows, and the fast
// composition against the pixel-by-pixel one, byte for byte.

#include "pixkit/Overlay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

using namespace pixkit;

namespace {

dib makeImage(int w, int h) {
    dib d;
    newdib(d, w, h, 24, nullptr, 0);
    return d;
}

void fillRandom(const dib& d, std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < dibheight(d); ++y)
        for (int x = 0; x < dibwidth(d); ++x)
            setpixel(d, x, y, static_cast<Colour>(rng()) & 0xFFFFFFu);
}

void fillColour(const dib& d, Colour c) {
    for (int y = 0; y < dibheight(d); ++y)
        for (int x = 0; x < dibwidth(d); ++x)
            setpixel(d, x, y, c);
}

// Every pixel encodes its own position: image 1 positions in red/green,
// image 2 positions in green/blue, so a canvas pixel tells which sample it took.
void fillPositions(const dib& d, bool second) {
    for (int y = 0; y < dibheight(d); ++y)
        for (int x = 0; x < dibwidth(d); ++x)
            setpixel(d, x, y,
                     second ? rgb(0, static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(x))
                            : rgb(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 0));
}

std::vector<std::uint8_t> bytesOf(const dib& d) {
    if (d.poi == nullptr)
        return {};
    return {d.poi, d.poi + static_cast<std::ptrdiff_t>(d.bytew) * dibheight(d)};
}

using Compose = bool (*)(const dib&, const dib&, const OverlaySettings&, dib&);

struct Engine {
    const char* name;
    Compose compose;
};
const Engine Engines[] = {{"Reference", &ComposeOverlayReference}, {"Fast", &ComposeOverlay}};

// ---- What the canvas shows, for both implementations --------------------------

class OverlayCanvas : public ::testing::TestWithParam<Engine> {
protected:
    void TearDown() override {
        releasedib(di2);
        releasedib(bi2);
        releasedib(di3);
    }
    bool compose(const OverlaySettings& s) { return GetParam().compose(di2, bi2, s, di3); }
    dib di2, bi2, di3;
};

TEST_P(OverlayCanvas, HalfBlendOfTwoColoursIsTheTruncatedMean) {
    di2 = makeImage(8, 6);
    bi2 = makeImage(8, 6);
    fillColour(di2, rgb(200, 100, 0));
    fillColour(bi2, rgb(100, 0, 255));
    ASSERT_TRUE(compose({100.0, 0, 0, 50}));
    EXPECT_EQ(getpixel(di3, 0, 0), rgb(150, 50, 127));
    EXPECT_EQ(getpixel(di3, 7, 5), rgb(150, 50, 127));
}

TEST_P(OverlayCanvas, ShiftOfTenShowsImageTwoTenColumnsOnAndImageOneAtTheRightEdge) {
    di2 = makeImage(40, 5);
    bi2 = makeImage(40, 5);
    fillPositions(di2, false);
    fillPositions(bi2, true);
    ASSERT_TRUE(compose({100.0, 10, 0, 100}));
    for (int x = 0; x < 40; ++x) {
        const Colour expected = x < 30 ? getpixel(bi2, x + 10, 2) : getpixel(di2, x, 2);
        EXPECT_EQ(getpixel(di3, x, 2), expected) << "column " << x;
    }
}

TEST_P(OverlayCanvas, NegativeShiftLeavesTheLeftColumnsToImageOne) {
    di2 = makeImage(20, 20);
    bi2 = makeImage(20, 20);
    fillPositions(di2, false);
    fillPositions(bi2, true);
    ASSERT_TRUE(compose({100.0, -3, -4, 100}));
    EXPECT_EQ(getpixel(di3, 2, 10), getpixel(di2, 2, 10));
    EXPECT_EQ(getpixel(di3, 10, 3), getpixel(di2, 10, 3));
    EXPECT_EQ(getpixel(di3, 3, 4), getpixel(bi2, 0, 0));
    EXPECT_EQ(getpixel(di3, 19, 19), getpixel(bi2, 16, 15));
}

TEST_P(OverlayCanvas, DifferentSizesStretchBothImagesToTheCommonCanvas) {
    di2 = makeImage(400, 300);
    bi2 = makeImage(200, 600);
    fillRandom(di2, 1);
    fillRandom(bi2, 2);
    ASSERT_TRUE(compose({100.0, 0, 0, 100}));
    ASSERT_EQ(dibwidth(di3), 400);
    ASSERT_EQ(dibheight(di3), 600);
    // Image 2 fills the canvas, stretched two-fold horizontally.
    for (int x : {0, 1, 2, 3, 399})
        EXPECT_EQ(getpixel(di3, x, 5), getpixel(bi2, x / 2, 5)) << x;
    // With image 2 out of reach, image 1 shows, stretched two-fold vertically.
    ASSERT_TRUE(compose({100.0, 1000, 0, 100}));
    for (int y : {0, 1, 2, 3, 599})
        EXPECT_EQ(getpixel(di3, 7, y), getpixel(di2, 7, 300 * y / 600)) << y;
}

TEST_P(OverlayCanvas, ZoomOfTwoHundredSamplesImageOneAtHalfThePositionRoundedToEven) {
    di2 = makeImage(30, 30);
    bi2 = makeImage(30, 30);
    fillPositions(di2, false);
    ASSERT_TRUE(compose({200.0, 0, 0, 0}));
    // 1 / 2 = 0.5 rounds to 0, 3 / 2 = 1.5 rounds to 2, 5 / 2 = 2.5 to 2.
    const int expect[][2] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {5, 2}, {7, 4}, {29, 14}};
    for (const auto& e : expect)
        EXPECT_EQ(getpixel(di3, e[0], e[0]), getpixel(di2, e[1], e[1])) << e[0];
}

TEST_P(OverlayCanvas, ZoomBelowHundredReadsBlackBeyondImageOne) {
    di2 = makeImage(20, 10);
    bi2 = makeImage(20, 10);
    fillColour(di2, rgb(90, 80, 70));
    ASSERT_TRUE(compose({50.0, 0, 0, 0}));
    EXPECT_EQ(getpixel(di3, 9, 4), rgb(90, 80, 70));
    EXPECT_EQ(getpixel(di3, 10, 4), 0u); // Round(10 / 0.5) = 20: beyond 20 columns
    EXPECT_EQ(getpixel(di3, 3, 5), 0u);
    EXPECT_EQ(getpixel(di3, 19, 9), 0u);
}

TEST_P(OverlayCanvas, FullBlendShowsImageTwoWhereItReachesAndImageOneElsewhere) {
    di2 = makeImage(10, 10);
    bi2 = makeImage(10, 10);
    fillColour(di2, rgb(1, 2, 3));
    fillColour(bi2, rgb(200, 210, 220));
    ASSERT_TRUE(compose({100.0, 4, 0, 100}));
    EXPECT_EQ(getpixel(di3, 5, 5), rgb(200, 210, 220));
    EXPECT_EQ(getpixel(di3, 6, 5), rgb(1, 2, 3));
}

TEST_P(OverlayCanvas, MissingImageTwoLeavesImageOneAlone) {
    di2 = makeImage(9, 7);
    fillRandom(di2, 3);
    ASSERT_TRUE(compose({100.0, 0, 0, 50}));
    EXPECT_EQ(bytesOf(di3), bytesOf(di2));
}

TEST_P(OverlayCanvas, CanvasBeyondTwoToTheTwentyEightPixelsIsRefused) {
    // Two thin images whose common canvas would be 20000 x 20000.
    di2 = makeImage(20000, 1);
    bi2 = makeImage(1, 20000);
    di3 = makeImage(4, 4);
    EXPECT_FALSE(compose({100.0, 0, 0, 50}));
    EXPECT_EQ(di3.poi, nullptr);
}

TEST_P(OverlayCanvas, NeitherImageMakesNoCanvas) {
    di3 = makeImage(4, 4);
    EXPECT_FALSE(compose({100.0, 0, 0, 50}));
    EXPECT_EQ(di3.poi, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Overlay, OverlayCanvas, ::testing::ValuesIn(Engines),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- Fast composition against the reference ---------------------------------

struct EquivalenceCase {
    std::string name;
    int w1, h1, w2, h2;
    OverlaySettings s;
};

std::ostream& operator<<(std::ostream& os, const EquivalenceCase& c) {
    return os << c.name;
}

std::vector<EquivalenceCase> equivalenceCases() {
    std::vector<EquivalenceCase> cases{
        {"EqualSizesPlain", 64, 48, 64, 48, {100.0, 0, 0, 50}},
        {"WideOverTall", 400, 300, 200, 600, {100.0, 0, 0, 50}},
        {"WideOverTallShiftedZoomed", 400, 300, 200, 600, {137.5, 17, -9, 30}},
        {"TallOverWideOddWidths", 201, 599, 399, 301, {100.0, -5, 6, 70}},
        {"ShiftBeyondTheImage", 300, 250, 300, 250, {100.0, 400, -300, 50}},
        {"ExtremeShifts",
         257,
         259,
         255,
         253,
         {100.0, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
          40}},
        {"TinyZoom", 300, 300, 300, 300, {0.001, 3, 3, 50}},
        {"ZoomedRowsWithoutPadding", 64, 48, 64, 48, {150.0, -2, 1, 50}},
        {"StretchedRowsWithoutPadding", 32, 20, 64, 20, {100.0, 0, 0, 100}},
        {"HugeZoom", 300, 300, 300, 300, {100000.0, 3, 3, 50}},
        {"OnePixelEach", 1, 1, 1, 1, {100.0, 0, 0, 50}},
        {"SingleRowAndColumn", 500, 1, 1, 500, {73.0, 0, 1, 60}},
        {"NoImageTwo", 333, 222, 0, 0, {100.0, 0, 0, 50}},
        {"NoImageOne", 0, 0, 333, 222, {250.0, 1, 1, 50}},
    };
    // Every zoom, blend and shift of the table on a small pair of odd sizes.
    const double zooms[] = {0.001, 50.0, 100.0, 200.0, 100000.0};
    const int blends[] = {0, 10, 50, 100};
    const std::int32_t shifts[][2] = {{0, 0}, {5, -3}, {-60, 100}, {100000, 0}};
    for (double z : zooms)
        for (int b : blends)
            for (const auto& sh : shifts) {
                std::string name = "Zoom" + std::to_string(static_cast<int>(z * 1000)) + "m_Blend" +
                                   std::to_string(b) + "_Shift" + std::to_string(sh[0]) + "x" +
                                   std::to_string(sh[1]);
                for (char& ch : name)
                    if (ch == '-')
                        ch = 'n';
                cases.push_back({name, 37, 23, 41, 19, {z, sh[0], sh[1], b}});
            }
    return cases;
}

class OverlayEquivalence : public ::testing::TestWithParam<EquivalenceCase> {};

TEST_P(OverlayEquivalence, FastCanvasEqualsTheReferenceByteForByte) {
    const EquivalenceCase& c = GetParam();
    DibHolder one, two;
    if (c.w1 > 0)
        one.install(makeImage(c.w1, c.h1));
    if (c.w2 > 0)
        two.install(makeImage(c.w2, c.h2));
    if (!one.empty())
        fillRandom(one.get(), 11);
    if (!two.empty())
        fillRandom(two.get(), 22);

    DibHolder reference, fresh, reused;
    ASSERT_TRUE(ComposeOverlayReference(one.get(), two.get(), c.s, reference.get()));
    ASSERT_TRUE(ComposeOverlay(one.get(), two.get(), c.s, fresh.get()));
    EXPECT_EQ(bytesOf(fresh.get()), bytesOf(reference.get()));

    // A canvas of the right size full of stale bytes, padding included, is
    // overwritten completely.
    reused.install(makeImage(dibwidth(reference.get()), dibheight(reference.get())));
    std::memset(reused.get().poi, 0xA5,
                static_cast<std::size_t>(reused.get().bytew) *
                    static_cast<std::size_t>(dibheight(reused.get())));
    const std::uint8_t* memory = reused.get().poi;
    ASSERT_TRUE(ComposeOverlay(one.get(), two.get(), c.s, reused.get()));
    EXPECT_EQ(reused.get().poi, memory);
    EXPECT_EQ(bytesOf(reused.get()), bytesOf(reference.get()));
}

INSTANTIATE_TEST_SUITE_P(Overlay, OverlayEquivalence, ::testing::ValuesIn(equivalenceCases()),
                         [](const auto& p) { return p.param.name; });

TEST(OverlayEquivalence, OtherCanvasSizeIsMadeAnew) {
    DibHolder one(makeImage(50, 40)), two(makeImage(30, 60)), canvas(makeImage(10, 10));
    fillRandom(one.get(), 5);
    fillRandom(two.get(), 6);
    ASSERT_TRUE(ComposeOverlay(one.get(), two.get(), {100.0, 2, 2, 50}, canvas.get()));
    EXPECT_EQ(dibwidth(canvas.get()), 50);
    EXPECT_EQ(dibheight(canvas.get()), 60);
}

TEST(OverlayEquivalence, CanvasSizeIsTheLargerOfEachSide) {
    DibHolder one(makeImage(400, 300)), two(makeImage(200, 600));
    const OverlaySize size = OverlayCanvasSize(one.get(), two.get());
    EXPECT_EQ(size.width, 400);
    EXPECT_EQ(size.height, 600);
}

// ---- The pixel of image 1 under a canvas pixel --------------------------------

// Painting the image-1 pixel the mapping names changes the composite at that
// canvas pixel; where the mapping names none, no paint on image 1 shows there.
struct PixelCase {
    const char* name;
    int w1, h1, w2, h2;
    OverlaySettings s;
};

class OverlayImage1PixelMapping : public ::testing::TestWithParam<PixelCase> {};

TEST_P(OverlayImage1PixelMapping, PaintAtTheMappedPixelShowsUnderTheCanvasPixel) {
    const PixelCase& c = GetParam();
    DibHolder one(makeImage(c.w1, c.h1)), two(makeImage(c.w2, c.h2)), before, after;
    fillRandom(one.get(), 7);
    fillRandom(two.get(), 8);
    ASSERT_TRUE(ComposeOverlay(one.get(), two.get(), c.s, before.get()));
    const OverlaySize canvas = OverlayCanvasSize(one.get(), two.get());
    int mapped = 0;
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) {
            DibHolder painted(makeImage(c.w1, c.h1));
            std::memcpy(painted.get().poi, one.get().poi,
                        static_cast<std::size_t>(one.get().bytew) * static_cast<std::size_t>(c.h1));
            const std::optional<OverlayPixel> p =
                OverlayImage1Pixel(one.get(), two.get(), c.s, x, y);
            if (p) {
                ++mapped;
                ASSERT_GE(p->x, 0);
                ASSERT_LT(p->x, c.w1);
                ASSERT_GE(p->y, 0);
                ASSERT_LT(p->y, c.h1);
                // Every byte at least 128 away, so even a 10 % weight shows it.
                Colour far = 0;
                const Colour old = getpixel(one.get(), p->x, p->y);
                for (int k = 0; k < 3; ++k)
                    if (((old >> (8 * k)) & 0xFFu) < 128u)
                        far |= 0xFFu << (8 * k);
                setpixel(painted.get(), p->x, p->y, far);
            } else {
                fillColour(painted.get(), rgb(255, 255, 255));
            }
            ASSERT_TRUE(ComposeOverlay(painted.get(), two.get(), c.s, after.get()));
            EXPECT_EQ(getpixel(after.get(), x, y) != getpixel(before.get(), x, y), p.has_value())
                << "canvas (" << x << ", " << y << ")";
        }
    EXPECT_GT(mapped, 0);
    // Outside the canvas nothing is mapped.
    EXPECT_FALSE(OverlayImage1Pixel(one.get(), two.get(), c.s, -1, 0));
    EXPECT_FALSE(OverlayImage1Pixel(one.get(), two.get(), c.s, canvas.width, 0));
    EXPECT_FALSE(OverlayImage1Pixel(one.get(), two.get(), c.s, 0, canvas.height));
}

const PixelCase PixelCases[] = {
    {"SameSizes", 12, 9, 12, 9, {100.0, 0, 0, 50}},
    {"ZoomedInAndShifted", 12, 9, 12, 9, {250.0, 3, -2, 40}},
    {"ZoomedOutLeavesBlackBeyondImageOne", 12, 9, 12, 9, {60.0, -4, 5, 30}},
    {"ImageOneStretchedToALargerImageTwo", 7, 5, 15, 11, {130.0, 2, 1, 50}},
    {"ImageOneLargerThanImageTwo", 16, 10, 9, 6, {80.0, -1, 2, 90}},
};

INSTANTIATE_TEST_SUITE_P(Overlay, OverlayImage1PixelMapping, ::testing::ValuesIn(PixelCases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace

// ---- Only the part a view shows -----------------------------------------------

// A part of the composite has the bytes of the same rectangle of the whole
// one, for parts inside, across the edges of and beyond the canvas, and for
// images of other sizes that are stretched, zoomed and shifted past each
// other. A piece of stale memory of the right size is reused and overwritten.
struct PartCase {
    const char* name;
    int w1, h1, w2, h2;
    OverlaySettings s;
    OverlayRect part;
};

const PartCase PartCases[] = {
    {"InsideNoZoom", 97, 61, 97, 61, {100.0, 0, 0, 40}, {13, 7, 50, 30}},
    {"ZoomedInShifted", 97, 61, 83, 70, {250.0, 5, -3, 30}, {40, 20, 41, 33}},
    {"ZoomedOutShiftedFar", 97, 61, 83, 70, {37.0, -20, 11, 70}, {0, 0, 97, 70}},
    {"AcrossRightAndBottom", 64, 80, 90, 45, {133.0, 7, 9, 50}, {60, 50, 100, 100}},
    {"AcrossLeftAndTop", 90, 45, 64, 80, {71.0, -9, -2, 100}, {-10, -5, 30, 30}},
    {"OneColumn", 97, 61, 83, 70, {180.0, 3, 3, 55}, {44, 0, 1, 70}},
    {"ImageTwoBeyondThePart", 97, 61, 83, 70, {100.0, 200, 0, 60}, {10, 10, 40, 40}},
};

class OverlayPart : public ::testing::TestWithParam<PartCase> {};

TEST_P(OverlayPart, PartEqualsTheSameRectangleOfTheWholeComposite) {
    const PartCase& c = GetParam();
    DibHolder one(makeImage(c.w1, c.h1)), two(makeImage(c.w2, c.h2));
    fillRandom(one.get(), 31);
    fillRandom(two.get(), 32);
    DibHolder whole, piece;
    ASSERT_TRUE(ComposeOverlayReference(one.get(), two.get(), c.s, whole.get()));
    const int x0 = std::max(c.part.x, 0), y0 = std::max(c.part.y, 0);
    const int x1 = std::min(c.part.x + c.part.width, dibwidth(whole.get()));
    const int y1 = std::min(c.part.y + c.part.height, dibheight(whole.get()));
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            std::memset(piece.get().poi, 0xA5,
                        static_cast<std::size_t>(piece.get().bytew) *
                            static_cast<std::size_t>(dibheight(piece.get())));
        const std::uint8_t* memory = piece.get().poi;
        ASSERT_TRUE(ComposeOverlayPart(one.get(), two.get(), c.s, c.part, piece.get()));
        if (round == 1) {
            EXPECT_EQ(piece.get().poi, memory);
        }
        ASSERT_EQ(dibwidth(piece.get()), x1 - x0);
        ASSERT_EQ(dibheight(piece.get()), y1 - y0);
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* want = pictureRow(whole.get(), y) + 3 * x0;
            const std::uint8_t* got = pictureRow(piece.get(), y - y0);
            ASSERT_EQ(std::memcmp(got, want, static_cast<std::size_t>(3 * (x1 - x0))), 0)
                << "row " << y;
            const int pad = piece.get().bytew - 3 * (x1 - x0);
            ASSERT_EQ(std::vector<std::uint8_t>(got + 3 * (x1 - x0), got + 3 * (x1 - x0) + pad),
                      std::vector<std::uint8_t>(static_cast<std::size_t>(pad), 0));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Overlay, OverlayPart, ::testing::ValuesIn(PartCases),
                         [](const auto& p) { return p.param.name; });

TEST(OverlayPartEdges, PartOutsideTheCanvasLeavesThePieceEmpty) {
    DibHolder one(makeImage(20, 10)), two(makeImage(10, 30)), piece(makeImage(4, 4));
    EXPECT_FALSE(ComposeOverlayPart(one.get(), two.get(), {}, {20, 0, 5, 5}, piece.get()));
    EXPECT_EQ(piece.get().poi, nullptr);
    piece.install(makeImage(4, 4));
    EXPECT_FALSE(ComposeOverlayPart(one.get(), two.get(), {}, {-9, 3, 9, 5}, piece.get()));
    EXPECT_EQ(piece.get().poi, nullptr);
    EXPECT_TRUE(ComposeOverlayPart(one.get(), two.get(), {}, {19, 29, 9, 9}, piece.get()));
    EXPECT_EQ(dibwidth(piece.get()), 1);
    EXPECT_EQ(dibheight(piece.get()), 1);
}
