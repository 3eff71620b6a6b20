// End to end: a facade drawn head-on is photographed under a known tilt with
// the camera model, and the run has to find the tilt and give the facade back.

#include "TestScenes.h"
#include "rectify/Search.h"
#include "testsupport/CaseNames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace rectify {
namespace {

// The facade head-on: 400 x 300 pixels, a checkerboard of 50-pixel cells with
// a red window marker in the cell at column 1, row 1.
constexpr int FrontW = 400, FrontH = 300, Cell = 50;
const pixkit::Colour Red = pixkit::rgb(220, 30, 30);
const pixkit::Colour White = pixkit::rgb(240, 240, 240);
const pixkit::Colour Black = pixkit::rgb(20, 20, 20);
const pixkit::Colour Sky = pixkit::rgb(90, 140, 200);

pixkit::Colour frontView(double s, double q) {
    const int cx = static_cast<int>(std::floor(s / Cell));
    const int cy = static_cast<int>(std::floor(q / Cell));
    if (cx == 1 && cy == 1)
        return Red;
    return (cx + cy) % 2 == 0 ? White : Black;
}

tvec3 add(tvec3 a, tvec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
tvec3 scale(double k, tvec3 a) {
    return {k * a.x, k * a.y, k * a.z};
}
tvec3 sub(tvec3 a, tvec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

struct Tilt {
    double angleXDeg, angleYDeg;
};

std::ostream& operator<<(std::ostream& os, const Tilt& t) {
    return os << t.angleXDeg << "_" << t.angleYDeg;
}

class Scene : public ::testing::TestWithParam<Tilt> {};

TEST_P(Scene, RunFindsTheTiltAndGivesTheFacadeBack) {
    const Tilt tilt = GetParam();
    const int photoW = 1200, photoH = 900;
    const double cx = photoW / 2.0, cy = photoH / 2.0;

    // The plane of the facade: its axes e1 (to the left in the photograph) and
    // e2 (up) from the two angles, its centre on the optical axis.
    const double a = std::numbers::pi * tilt.angleXDeg / 180;
    const double b = std::numbers::pi * tilt.angleYDeg / 180;
    const tvec3 e1{std::cos(b), 0, -std::sin(b)};
    const tvec3 e2{std::sin(a) * std::sin(b), std::cos(a), std::sin(a) * std::cos(b)};
    const tvec3 normal = Cross(e1, e2);
    const tvec3 centre{0, 0, 6000};
    const double facadeW = 4000, facadeH = 3000; // plane units
    const tvec3 topLeft = add(centre, add(scale(facadeW / 2, e1), scale(facadeH / 2, e2)));

    // Photograph it: every photo pixel's ray meets the plane somewhere.
    pixkit::dib photo;
    pixkit::newdib(photo, photoW, photoH, 24, nullptr, 0);
    pixkit::DibHolder holder(photo);
    ASSERT_NE(photo.poi, nullptr);
    for (int y = 0; y < photoH; ++y)
        for (int x = 0; x < photoW; ++x) {
            const tvec3 ray{cx - x, cy - y, 1000};
            const double t = Dot(normal, centre) / Dot(normal, ray);
            const tvec3 rel = sub(scale(t, ray), topLeft);
            const double s = -Dot(rel, e1) / facadeW * FrontW;
            const double q = -Dot(rel, e2) / facadeH * FrontH;
            const bool onFacade = t > 0 && s >= 0 && s < FrontW && q >= 0 && q < FrontH;
            pixkit::setpixel(photo, x, y, onFacade ? frontView(s, q) : Sky);
        }

    // The four corners as a user would click them.
    const tvec3 planeCorners[4] = {topLeft, sub(topLeft, scale(facadeW, e1)),
                                   sub(sub(topLeft, scale(facadeW, e1)), scale(facadeH, e2)),
                                   sub(topLeft, scale(facadeH, e2))};
    Corners corners;
    for (std::size_t k = 0; k < 4; ++k) {
        const tvec3& p = planeCorners[k];
        corners[k] = {static_cast<int>(std::lround(cx - 1000 * p.x / p.z)),
                      static_cast<int>(std::lround(cy - 1000 * p.y / p.z))};
    }

    RunRequest request;
    request.source = &photo;
    request.corners = corners;
    request.cornersComplete = true;
    request.realWidthCm = FrontW;
    request.realHeightCm = FrontH;
    RunResult found = run(request);
    ASSERT_EQ(found.end, RunEnd::Done);
    ASSERT_TRUE(found.pose.has_value());
    const pixkit::Image result = std::move(found.image);

    // The grid is a quarter degree; the clicked corners are rounded to pixels.
    EXPECT_NEAR(found.pose->angleX, tilt.angleXDeg, 0.25);
    EXPECT_NEAR(found.pose->angleY, tilt.angleYDeg, 0.25);

    // Compare the rectified image with the head-on facade at the same relative
    // position. Nearest-pixel sampling and the rounded corners shift cell edges
    // by a pixel or two, so a few percent of the pixels (on cell borders) may
    // differ; the marker must be where it belongs.
    const pixkit::dib& out = result.get();
    const int W = pixkit::dibwidth(out), H = pixkit::dibheight(out);
    int same = 0;
    double redX = 0, redY = 0;
    int reds = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const pixkit::Colour c = pixkit::getpixel(out, x, y);
            same += c == frontView((x + 0.5) * FrontW / W, (y + 0.5) * FrontH / H);
            if (c == Red) {
                redX += (x + 0.5) * FrontW / W;
                redY += (y + 0.5) * FrontH / H;
                ++reds;
            }
        }
    EXPECT_GE(same, 0.95 * W * H) << "of " << W * H;
    ASSERT_GT(reds, 0);
    EXPECT_NEAR(redX / reds, 1.5 * Cell, 2.0);
    EXPECT_NEAR(redY / reds, 1.5 * Cell, 2.0);
}

INSTANTIATE_TEST_SUITE_P(Tilts, Scene,
                         ::testing::Values(Tilt{0, 0}, Tilt{10, -15}, Tilt{-22.1, 8.4},
                                           Tilt{30.2, 35.05}),
                         testsupport::printed<Tilt>());

} // namespace
} // namespace rectify
