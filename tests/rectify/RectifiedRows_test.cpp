// The rectified image band by band: every band equals the same rows of the
// whole image, and reads nothing of the photograph outside the rows it names
// (those rows are spoilt while the band is made again).

#include "rectify/RectifiedRows.h"
#include "rectify/Run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int PhotoW = 640, PhotoH = 480;
constexpr int Band = 32;

using Quad = std::array<int, 8>;
struct Case {
    const char* name;
    Quad corners;
    int area;
    rectify::Interpolation sampling;
};
using I = rectify::Interpolation;
constexpr Quad Mild = {100, 80, 540, 110, 520, 400, 90, 420};
constexpr Quad Turned = {90, 420, 100, 80, 540, 110, 520, 400};
constexpr Quad UpsideDown = {520, 400, 90, 420, 100, 80, 540, 110};
constexpr Quad Strong = {230, 40, 420, 160, 430, 320, 220, 450};
const Case Cases[] = {
    {"MildNearest", Mild, 100, I::Nearest},
    {"MildBicubic", Mild, 100, I::Bicubic},
    {"MarginBilinear", Mild, 170, I::Bilinear},
    {"TurnedNearest", Turned, 100, I::Nearest},
    {"TurnedBilinear", Turned, 140, I::Bilinear},
    {"UpsideDownBicubic", UpsideDown, 100, I::Bicubic},
    {"StrongNearest", Strong, 100, I::Nearest},
    {"StrongBicubic", Strong, 200, I::Bicubic},
};

class RectifiedRowsBands : public testing::TestWithParam<Case> {};

TEST_P(RectifiedRowsBands, MatchTheWholeImageAndStayAboveTheirRows) {
    const Case& c = GetParam();
    pixkit::Image photo = pixkit::Image::blank(PhotoW, PhotoH);
    unsigned seed = 3;
    for (int y = 0; y < PhotoH; ++y) {
        std::uint8_t* row = pixkit::pictureRow(photo.get(), y);
        for (int x = 0; x < 3 * PhotoW; ++x) {
            seed = seed * 1103515245u + 12345u;
            row[x] = static_cast<std::uint8_t>((seed >> 16) + static_cast<unsigned>(y));
        }
    }
    rectify::RunRequest request;
    request.source = &photo.get();
    for (std::size_t k = 0; k < 4; ++k)
        request.corners[k] = {c.corners[2 * k], c.corners[2 * k + 1]};
    request.cornersComplete = true;
    request.realWidthCm = 1200.0;
    request.realHeightCm = 900.0;
    request.areaPercent = c.area;
    request.sampling = c.sampling;
    const rectify::RunResult whole = rectify::run(request);
    ASSERT_EQ(whole.end, rectify::RunEnd::Done);

    int spoiltBands = 0;
    const rectify::RowsConsumer check =
        [&](const rectify::RectifiedRows& rows) -> std::optional<rectify::ResampleEnd> {
        EXPECT_EQ(rows.width(), whole.image.width());
        EXPECT_EQ(rows.height(), whole.image.height());
        const auto stride = static_cast<std::ptrdiff_t>(3 * rows.width() + 5);
        const auto used = static_cast<std::size_t>(3 * rows.width());
        std::vector<std::uint8_t> band(static_cast<std::size_t>(stride) * Band);
        std::vector<std::uint8_t> again(band.size());
        for (int begin = 0; begin < rows.height(); begin += Band) {
            const int end = std::min(rows.height(), begin + Band);
            EXPECT_TRUE(rows.fill(begin, end, band.data(), stride));
            for (int y = begin; y < end; ++y)
                EXPECT_EQ(std::memcmp(band.data() + (y - begin) * stride,
                                      pixkit::pictureRow(whole.image.get(), y), used),
                          0)
                    << "row " << y;
            // The rows outside the band's reach, spoilt: the band stays the same.
            const int first = rows.firstSourceRow(begin, end);
            const int reach = rows.sourceRowsFor(begin, end);
            if (first == 0 && reach >= PhotoH)
                continue;
            ++spoiltBands;
            auto spoil = [&] {
                for (int y = 0; y < PhotoH; ++y)
                    if (y < first || y >= reach)
                        for (int x = 0; x < 3 * PhotoW; ++x)
                            pixkit::pictureRow(photo.get(), y)[x] ^= 0x5A;
            };
            spoil();
            EXPECT_TRUE(rows.fill(begin, end, again.data(), stride));
            spoil(); // back as it was
            for (int y = begin; y < end; ++y)
                EXPECT_EQ(std::memcmp(band.data() + (y - begin) * stride,
                                      again.data() + (y - begin) * stride, used),
                          0)
                    << "row " << y << " reads the photograph outside rows " << first << " ... "
                    << reach - 1;
        }
        return rectify::ResampleEnd::Done;
    };
    request.rows = &check;
    const rectify::RunResult banded = rectify::run(request);
    EXPECT_EQ(banded.end, rectify::RunEnd::Done);
    EXPECT_TRUE(banded.image.empty());
    EXPECT_EQ(banded.scale, whole.scale);
    // Upright poses keep most bands within the upper part of the photograph.
    if (c.corners == Mild) {
        EXPECT_GT(spoiltBands, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Poses, RectifiedRowsBands, testing::ValuesIn(Cases),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
