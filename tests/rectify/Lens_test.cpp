// Runs through a lens: a barrel-distorted grid comes out straight, and the
// fast resampling gives the bytes of the step-by-step loop, which asks the
// lens at every pixel.

#include "LensKnots.h"
#include "TestScenes.h"
#include "rectify/LensProfile.h"
#include "rectify/Run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace rectify {
namespace {

using test::makePhoto;
using test::sameImage;

constexpr int PhotoW = 1200, PhotoH = 800;
// The grid as a pinhole camera would have taken it, head-on: lines every
// Pitch pixels from (Left, Top) to (Right, Bottom).
constexpr int Left = 150, Top = 100, Right = 1050, Bottom = 700, Pitch = 75;

// The photograph the lens took of the grid: a pixel is dark when its place
// in the corrected photograph lies on a grid line.
pixkit::DibHolder distortedGrid(const LensGeometry& lens) {
    pixkit::dib d;
    pixkit::newdib(d, PhotoW, PhotoH, 24, nullptr, 0);
    pixkit::DibHolder holder(d);
    for (int y = 0; y < PhotoH; ++y)
        for (int x = 0; x < PhotoW; ++x) {
            const SourcePos c = lens.toCorrected(x, y);
            auto onLine = [](double v, int from, int to) {
                if (v < from - 1.5 || v > to + 1.5)
                    return false;
                const double k = std::round((v - from) / Pitch);
                return std::fabs(v - (from + k * Pitch)) < 1.5;
            };
            const bool inside =
                c.sx > Left - 1.5 && c.sx < Right + 1.5 && c.sy > Top - 1.5 && c.sy < Bottom + 1.5;
            const bool dark = inside && (onLine(c.sx, Left, Right) || onLine(c.sy, Top, Bottom));
            pixkit::setpixel(d, x, y, dark ? 0x000000u : 0xffffffu);
        }
    return holder;
}

// The grid's corners where the lens drew them, in original pixels.
Corners distortedCorners(const LensGeometry& lens) {
    Corners c{};
    const double xs[4] = {Left, Right, Right, Left};
    const double ys[4] = {Top, Top, Bottom, Bottom};
    for (std::size_t k = 0; k < 4; ++k) {
        const SourcePos o = lens.toOriginal(xs[k], ys[k]);
        c[k] = {static_cast<std::int32_t>(std::lround(o.sx)),
                static_cast<std::int32_t>(std::lround(o.sy))};
    }
    return c;
}

RunResult runGrid(const pixkit::dib& photo, const Corners& corners, const LensGeometry* lens,
                  Interpolation sampling, Engine engine) {
    RunRequest r;
    r.source = &photo;
    r.corners = corners;
    r.cornersComplete = true;
    r.realWidthCm = Right - Left;
    r.realHeightCm = Bottom - Top;
    r.sampling = sampling;
    r.engine = engine;
    r.lens = lens;
    return run(r);
}

// How far the inner vertical grid lines of a rectified grid bow: per line,
// the largest distance of a row's dark centre from the chord between the
// line's centres in the top and bottom rows measured.
double largestBow(const pixkit::dib& image) {
    const int w = pixkit::dibwidth(image), h = pixkit::dibheight(image);
    const int lines = (Right - Left) / Pitch;
    const double pitch = static_cast<double>(w) / lines;
    double largest = 0.0;
    for (int k = 1; k < lines; ++k) {
        const int from = static_cast<int>(std::lround((k - 0.5) * pitch));
        const int to = static_cast<int>(std::lround((k + 0.5) * pitch));
        std::vector<double> centre;
        // Rows between the horizontal lines, clear of them.
        const double pitchY = static_cast<double>(h) / ((Bottom - Top) / Pitch);
        for (int y = 0; y < h; ++y) {
            const double fromLine = y - std::round(y / pitchY) * pitchY;
            if (std::fabs(fromLine) < 16.0)
                continue;
            double sum = 0.0, weight = 0.0;
            for (int x = from; x < to; ++x) {
                const double dark = 255.0 - (pixkit::getpixel(image, x, y) & 0xffu);
                sum += dark * x;
                weight += dark;
            }
            if (weight > 0.0)
                centre.push_back(sum / weight);
        }
        if (centre.size() < 10)
            return 1e9;
        const double a = centre.front(), b = centre.back();
        for (std::size_t i = 0; i < centre.size(); ++i) {
            const double chord =
                a + (b - a) * static_cast<double>(i) / static_cast<double>(centre.size() - 1);
            largest = std::max(largest, std::fabs(centre[i] - chord));
        }
    }
    return largest;
}

struct BowCase {
    const char* name;
    Interpolation sampling;
};

class LensGrid : public ::testing::TestWithParam<BowCase> {};

TEST_P(LensGrid, BarrelDistortedGridComesOutStraight) {
    const auto lens = MakePoly3Lens(-0.05, PhotoW, PhotoH);
    ASSERT_NE(lens, nullptr);
    const pixkit::DibHolder photo = distortedGrid(*lens);
    const Corners corners = distortedCorners(*lens);

    const RunResult corrected =
        runGrid(photo.get(), corners, lens.get(), GetParam().sampling, Engine::Fast);
    ASSERT_EQ(corrected.end, RunEnd::Done);
    const RunResult bent =
        runGrid(photo.get(), corners, nullptr, GetParam().sampling, Engine::Fast);
    ASSERT_EQ(bent.end, RunEnd::Done);

    const double straight = largestBow(corrected.image.get());
    const double bowed = largestBow(bent.image.get());
    EXPECT_LE(straight, 1.0);
    EXPECT_GT(bowed, 3.0); // the outer lines bow by about ten pixels

    const RunResult reference =
        runGrid(photo.get(), corners, lens.get(), GetParam().sampling, Engine::Reference);
    ASSERT_EQ(reference.end, RunEnd::Done);
    EXPECT_TRUE(sameImage(corrected.image.get(), reference.image.get()));
}

INSTANTIATE_TEST_SUITE_P(Samplings, LensGrid,
                         ::testing::Values(BowCase{"Nearest", Interpolation::Nearest},
                                           BowCase{"Bilinear", Interpolation::Bilinear}),
                         [](const auto& p) { return std::string(p.param.name); });

// Fast and step-by-step through lenses mild and wild (positions the lens
// gives none for, and far outside the photograph), tilted quads, every
// interpolation, calculation areas beyond the quad, and results large enough
// for the widest knot spacing.
struct EquivalenceCase {
    const char* name;
    double k1;
    Corners corners;
    int areaPercent;
    Interpolation sampling;
    int targetPercent;
};

class LensEquivalence : public ::testing::TestWithParam<EquivalenceCase> {};

TEST_P(LensEquivalence, FastGivesTheBytesOfTheStepByStepLoop) {
    const EquivalenceCase& c = GetParam();
    const pixkit::DibHolder photo = makePhoto(640, 480, 7);
    const auto lens = MakePoly3Lens(c.k1, 640, 480);
    ASSERT_NE(lens, nullptr);
    RunRequest r;
    r.source = &photo.get();
    r.corners = c.corners;
    r.cornersComplete = true;
    r.realWidthCm = 500;
    r.realHeightCm = 400;
    r.areaPercent = c.areaPercent;
    r.targetPercent = c.targetPercent;
    r.sampling = c.sampling;
    r.lens = lens.get();
    r.engine = Engine::Fast;
    const RunResult fast = run(r);
    r.engine = Engine::Reference;
    const RunResult ref = run(r);
    ASSERT_EQ(fast.end, ref.end);
    ASSERT_EQ(ref.end, RunEnd::Done);
    EXPECT_TRUE(sameImage(fast.image.get(), ref.image.get()));
}

const Corners Tilted{{{80, 60}, {560, 110}, {590, 430}, {40, 400}}};
const Corners Steep{{{250, 40}, {390, 40}, {630, 470}, {10, 470}}};

INSTANTIATE_TEST_SUITE_P(
    Cases, LensEquivalence,
    ::testing::Values(
        EquivalenceCase{"MildNearest", -0.03, Tilted, 100, Interpolation::Nearest, 100},
        EquivalenceCase{"MildBilinear", -0.03, Tilted, 100, Interpolation::Bilinear, 100},
        EquivalenceCase{"MildBicubic", -0.03, Tilted, 100, Interpolation::Bicubic, 100},
        EquivalenceCase{"PincushionWide", 0.04, Steep, 250, Interpolation::Nearest, 100},
        EquivalenceCase{"WildNearest", -0.4, Tilted, 300, Interpolation::Nearest, 100},
        EquivalenceCase{"WildBilinear", -0.4, Steep, 300, Interpolation::Bilinear, 100},
        EquivalenceCase{"MildNearestLarge", -0.03, Tilted, 100, Interpolation::Nearest, 200},
        EquivalenceCase{"WildNearestLargeWide", -0.4, Tilted, 200, Interpolation::Nearest, 300}),
    [](const auto& p) { return std::string(p.param.name); });

// A result wider than a block of columns: every block blends its own
// stretch of the knot rows, and the bytes stay those of the loop.
TEST(LensWide, BlocksOfColumnsGiveTheBytesOfTheStepByStepLoop) {
    const pixkit::DibHolder photo = makePhoto(320, 200, 3);
    const auto lens = MakePoly3Lens(-0.1, 320, 200);
    ASSERT_NE(lens, nullptr);
    const Corners corners{{{10, 20}, {300, 30}, {290, 180}, {20, 170}}};
    const tcamera camera = MakeCamera(photo.get(), corners);
    tpose tilted = StartPose(camera);
    ASSERT_TRUE(EvaluatePose(camera, 12.5, -20.0, tilted));
    for (const Interpolation s : {Interpolation::Nearest, Interpolation::Bilinear}) {
        pixkit::DibHolder fastOut, refOut;
        ASSERT_EQ(ResampleRectified(photo.get(), camera, tilted, 140000, 2, 150, fastOut.get(),
                                    Engine::Fast, s, lens.get()),
                  ResampleEnd::Done);
        ASSERT_EQ(ResampleRectified(photo.get(), camera, tilted, 140000, 2, 150, refOut.get(),
                                    Engine::Reference, s, lens.get()),
                  ResampleEnd::Done);
        EXPECT_TRUE(sameImage(fastOut.get(), refOut.get())) << static_cast<int>(s);
        // The later blocks sample the photograph too.
        int lit = 0;
        for (int y = 0; y < pixkit::dibheight(fastOut.get()); ++y)
            for (int x = 65536; x < pixkit::dibwidth(fastOut.get()); ++x)
                lit += pixkit::getpixel(fastOut.get(), x, y) != 0;
        EXPECT_GT(lit, 100000);
    }
}

// The knot table the fast resampling builds, row by row and lane by lane,
// holds at every knot the bits of the displacement the step-by-step loop
// asks for point by point, at the same spacing: over lenses mild and wild,
// calculation areas reaching behind the camera and out of the lens range,
// and a result so coarse that the knots crowd together.
struct KnotCase {
    const char* name;
    double k1;
    double tiltX, tiltY;
    std::int64_t W, H, outW, outH;
    int step; // the spacing the frame takes (finer where the photograph is read sparsely)
};

class LensKnotTable : public ::testing::TestWithParam<KnotCase> {};

TEST_P(LensKnotTable, HoldsTheDisplacementOfEveryKnotBitForBit) {
    const KnotCase& c = GetParam();
    const pixkit::DibHolder photo = makePhoto(640, 480, 5);
    const auto lens = MakePoly3Lens(c.k1, 640, 480);
    ASSERT_NE(lens, nullptr);
    const Corners corners{{{80, 60}, {560, 110}, {590, 430}, {40, 400}}};
    const tcamera camera = MakeCamera(photo.get(), corners);
    tpose pose = StartPose(camera);
    ASSERT_TRUE(EvaluatePose(camera, c.tiltX, c.tiltY, pose));
    const auto edges = PoseEdges(pose);
    ASSERT_TRUE(edges);
    const LensFrame frame{&camera, &pose, &*edges, c.W, c.H, c.outW, c.outH, 640, 480};
    detail::LensKnots knots;
    detail::buildLensKnots(frame, *lens, knots);
    ASSERT_EQ(knots.step, c.step);
    ASSERT_EQ(LensKnotStep(frame), c.step);
    ASSERT_EQ(knots.cols, LensKnotsAlong(c.outW, c.step));
    ASSERT_EQ(knots.rows, LensKnotsAlong(c.outH, c.step));
    std::int64_t differing = 0, none = 0;
    double largest = 0.0;
    for (std::int64_t r = 0; r < knots.rows; ++r)
        for (std::int64_t k = 0; k < knots.cols; ++k) {
            const SourcePos d = LensKnotDisplacement(frame, *lens, LensKnotPixel(k, c.step, c.outW),
                                                     LensKnotPixel(r, c.step, c.outH));
            const double tx = knots.dx[r * knots.cols + k], ty = knots.dy[r * knots.cols + k];
            auto same = [](double a, double b) {
                return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
            };
            differing += !same(d.sx, tx) || !same(d.sy, ty);
            none += std::isnan(d.sx);
            if (std::isfinite(d.sx))
                largest = std::max({largest, std::fabs(d.sx), std::fabs(d.sy)});
        }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(knots.largest, largest);
    // The frames reach where the lens gives no displacement, and where it does.
    EXPECT_GT(none, 0);
    EXPECT_LT(none, knots.cols * knots.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, LensKnotTable,
    ::testing::Values(KnotCase{"MildWideArea", -0.03, 12.5, -20.0, 1200, 900, 3000, 2400, 16},
                      KnotCase{"WildWideArea", -0.4, -25.0, 30.0, 500, 400, 2000, 1600, 4},
                      KnotCase{"PincushionOddSize", 0.04, 5.0, 40.0, 613, 457, 1201, 999, 4},
                      KnotCase{"CrowdedKnots", -0.1, 30.0, 10.0, 61, 45, 300, 230, 1}),
    [](const auto& p) { return std::string(p.param.name); });

// The corrected photograph of the source views, blended from knots: every
// pixel shows the original pixel nearest to its blended position, which lies
// within the stated deviation of the lens's own, so a pixel differs from
// the one the lens gives at every pixel only where its position lies that
// close to a half, and then by one pixel. The photograph's colours say
// which pixel they come from.
struct ViewCase {
    const char* name;
    int width, height;
    double bound; // the deviation the knots may reach, in pixels
    std::unique_ptr<LensGeometry> (*lens)(int width, int height);
};

class CorrectedView : public ::testing::TestWithParam<ViewCase> {};

TEST_P(CorrectedView, ShowsThePixelsOfTheLensWithinTheKnotsDeviation) {
    const ViewCase& c = GetParam();
    const auto lens = c.lens(c.width, c.height);
    ASSERT_NE(lens, nullptr);
    pixkit::DibHolder photo(pixkit::Image::blank(c.width, c.height));
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            pixkit::setpixel(
                photo.get(), x, y,
                pixkit::rgb(static_cast<std::uint8_t>(x & 255), static_cast<std::uint8_t>(y & 255),
                            static_cast<std::uint8_t>(128 | (x >> 8) | (y >> 8) << 3)));
    const double deviation = CorrectedPhotographDeviation(*lens);
    std::printf("%s: blended positions within %.4f px of the lens's\n", c.name, deviation);
    ASSERT_LE(deviation, c.bound);
    const pixkit::Image view = CorrectedPhotograph(photo.get(), *lens);
    const pixkit::Image own = CorrectedPhotographPerPixel(photo.get(), *lens);
    ASSERT_FALSE(view.empty());
    ASSERT_FALSE(own.empty());
    const double e = deviation;
    auto insideBy = [](double v, int n, double margin) {
        return v > -0.5 + margin && v < n - 0.5 - margin;
    };
    std::int64_t differing = 0, wrong = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const SourcePos o = lens->toOriginal(x, y);
            const pixkit::Colour got = pixkit::getpixel(view.get(), x, y);
            differing += got != pixkit::getpixel(own.get(), x, y);
            const bool surelyIn = insideBy(o.sx, c.width, e) && insideBy(o.sy, c.height, e);
            const bool surelyOut = std::isfinite(o.sx) && std::isfinite(o.sy) &&
                                   !(insideBy(o.sx, c.width, -e) && insideBy(o.sy, c.height, -e));
            if (got == 0) {
                wrong += surelyIn;
                continue;
            }
            const int gx = pixkit::redOf(got) | (pixkit::blueOf(got) & 7) << 8;
            const int gy = pixkit::greenOf(got) | (pixkit::blueOf(got) >> 3 & 7) << 8;
            wrong += surelyOut || !(std::fabs(gx - o.sx) <= 0.5 + e) ||
                     !(std::fabs(gy - o.sy) <= 0.5 + e);
        }
    EXPECT_EQ(wrong, 0);
    // A position lies within e of a half in x or y on about 4e of the pixels.
    const double share = static_cast<double>(differing) / (double{1} * c.width * c.height);
    std::printf("%s: %.4f %% of the pixels differ from the lens's own\n", c.name, 100.0 * share);
    EXPECT_LE(share, 4.0 * e + 0.001);
}

std::unique_ptr<LensGeometry> realWideAngle(int width, int height) {
    LensExif exif;
    exif.make = "Canon";
    exif.model = "Canon EOS 5D Mark II";
    exif.lens = "Canon EF 24-105mm f/4L IS USM";
    exif.focalMm = 24.0;
    return FindLens(exif, width, height).geometry;
}

INSTANTIATE_TEST_SUITE_P(
    Lenses, CorrectedView,
    ::testing::Values(ViewCase{"MildBarrel", 1500, 1000, 0.03,
                               [](int w, int h) { return MakePoly3Lens(-0.03, w, h); }},
                      ViewCase{"WildBarrel", 900, 600, 0.4,
                               [](int w, int h) { return MakePoly3Lens(-0.3, w, h); }},
                      ViewCase{"Pincushion", 700, 1000, 0.06,
                               [](int w, int h) { return MakePoly3Lens(0.05, w, h); }},
                      ViewCase{"CanonEF24to105At24", 1800, 1200, 0.01, realWideAngle}),
    [](const auto& p) { return std::string(p.param.name); });

// The lens tags real cameras write, looked up in lensfun's database: a tag
// that names one lens finds it, a tag that fits several lenses alike or a
// lens that does not reach the focal length finds none.
struct LookupCase {
    const char* name;
    LensExif exif;
    LensLookup lookup;
    const char* lensName;
};

class LensLookupByExif : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LensLookupByExif, FindsTheLensTheTagNamesAtItsFocalLength) {
    const LookupCase& c = GetParam();
    const LensChoice found = FindLens(c.exif, 1200, 800);
    EXPECT_EQ(found.lookup, c.lookup);
    EXPECT_EQ(found.geometry != nullptr, c.lookup == LensLookup::Found);
    EXPECT_EQ(found.lensName, c.lensName);
}

INSTANTIATE_TEST_SUITE_P(
    Tags, LensLookupByExif,
    ::testing::Values(LookupCase{"CanonZoomAtWideEnd",
                                 {"Canon", "Canon EOS 5D Mark II", "EF24-105mm f/4L IS USM", 24.0},
                                 LensLookup::Found,
                                 "Canon EF 24-105mm f/4L IS USM"},
                      LookupCase{"SonyZoom",
                                 {"SONY", "ILCE-7M3", "FE 16-35mm F4 ZA OSS", 16.0},
                                 LensLookup::Found,
                                 "Sony FE 16-35mm f/4 ZA OSS"},
                      LookupCase{"CompactsOwnLens",
                                 {"Canon", "Canon PowerShot S95", "", 6.0},
                                 LensLookup::Found,
                                 "Canon PowerShot S95 & compatibles"},
                      LookupCase{
                          "BareMountName", {"SONY", "ILCE-7M3", "E", 35.0}, LensLookup::NoLens, ""},
                      LookupCase{"PrimeAtAnotherFocalLength",
                                 {"Canon", "Canon EOS 5D Mark II", "EF24mm", 50.0},
                                 LensLookup::NoLens,
                                 ""},
                      LookupCase{"ZoomBeyondItsLongEnd",
                                 {"Canon", "Canon EOS 5D Mark II", "EF24-105mm f/4L IS USM", 200.0},
                                 LensLookup::NoLens,
                                 ""}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace rectify
