// The streamed JPEG job against the whole-image way: the same bytes for every
// interpolation, poses whose bands read the photograph from far below (turned,
// upside down), margins and crops, qualities and thread counts; a photograph
// that the streamed way does not take (EXIF turn) falls back with the same
// bytes; a photograph that breaks off midway writes nothing.

#include "TestSupport.h"
#include "app/RectifyJob.h"
#include "foundation/ThreadPool.h"
#include "pixkit/ImageFile.h"
#include "testsupport/Files.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::readFile;
using testsupport::writeFile;

constexpr int PhotoW = 640, PhotoH = 480;

// A wall with a window grid, a gradient and some grain, as a JPEG.
std::vector<std::uint8_t> photoJpeg() {
    pixkit::dib d;
    pixkit::newdib(d, PhotoW, PhotoH, 24, nullptr, 0);
    pixkit::Image owned(d);
    unsigned seed = 7;
    for (int y = 0; y < PhotoH; ++y) {
        std::uint8_t* row = pixkit::pictureRow(d, y);
        for (int x = 0; x < PhotoW; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int grain = static_cast<int>((seed >> 16) & 15);
            const bool window = (x % 60) > 38 && (y % 70) > 40;
            const int v = (window ? 50 : 140 + (x + y) / 12) + grain;
            row[3 * x] = static_cast<std::uint8_t>(v / 2);
            row[3 * x + 1] = static_cast<std::uint8_t>(v);
            row[3 * x + 2] = static_cast<std::uint8_t>(std::min(255, v + 40));
        }
    }
    std::vector<std::uint8_t> bytes;
    pixkit::WriteOptions options;
    options.jpegQuality = 92;
    EXPECT_TRUE(pixkit::EncodeDib(d, "wall.jpg", options, bytes).ok);
    return bytes;
}

// The photograph with an EXIF orientation right after the start marker.
std::vector<std::uint8_t> withOrientation(std::vector<std::uint8_t> jpeg, int orientation) {
    const std::vector<std::uint8_t> tiff = {'I',
                                            'I',
                                            42,
                                            0,
                                            8,
                                            0,
                                            0,
                                            0,
                                            1,
                                            0,
                                            0x12,
                                            0x01,
                                            3,
                                            0,
                                            1,
                                            0,
                                            0,
                                            0,
                                            static_cast<std::uint8_t>(orientation),
                                            0,
                                            0,
                                            0,
                                            0,
                                            0,
                                            0,
                                            0};
    std::vector<std::uint8_t> seg = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    seg.insert(seg.end(), tiff.begin(), tiff.end());
    seg[3] = static_cast<std::uint8_t>(seg.size() - 2);
    jpeg.insert(jpeg.begin() + 2, seg.begin(), seg.end());
    return jpeg;
}

using Quad = std::array<int, 8>;
// One facade, its corners named from different starting points: the result's
// rows then run across the photograph (turned) or from its bottom up.
constexpr Quad Mild = {100, 80, 540, 110, 520, 400, 90, 420};
constexpr Quad Turned = {90, 420, 100, 80, 540, 110, 520, 400};
constexpr Quad UpsideDown = {520, 400, 90, 420, 100, 80, 540, 110};
constexpr Quad Strong = {230, 40, 420, 160, 430, 320, 220, 450};

struct Case {
    const char* name;
    Quad corners;
    int area;
    rectify::Interpolation sampling;
    int quality;
    int orientation; // 1: upright, streamed
    bool realSize;   // false: the width preset from the tilt
};

using I = rectify::Interpolation;
const Case Cases[] = {
    {"MildNearest", Mild, 100, I::Nearest, 90, 1, true},
    {"MildBilinear", Mild, 100, I::Bilinear, 90, 1, true},
    {"MildBicubic", Mild, 100, I::Bicubic, 90, 1, true},
    {"MarginNearest", Mild, 150, I::Nearest, 90, 1, true},
    {"MarginBicubic", Mild, 150, I::Bicubic, 90, 1, true},
    {"CropBilinear", Mild, 55, I::Bilinear, 90, 1, true},
    {"TurnedNearest", Turned, 100, I::Nearest, 90, 1, true},
    {"TurnedBicubic", Turned, 120, I::Bicubic, 90, 1, true},
    {"UpsideDownNearest", UpsideDown, 100, I::Nearest, 90, 1, true},
    {"UpsideDownBilinear", UpsideDown, 130, I::Bilinear, 90, 1, true},
    {"StrongNearest", Strong, 100, I::Nearest, 90, 1, true},
    {"StrongBicubic", Strong, 180, I::Bicubic, 90, 1, true},
    {"PresetWidthBilinear", Strong, 100, I::Bilinear, 90, 1, false},
    {"Quality30", Mild, 100, I::Nearest, 30, 1, true},
    {"Quality96", Mild, 100, I::Bicubic, 96, 1, true},
    {"Quality100", Strong, 100, I::Nearest, 100, 1, true},
    {"ExifTurnedFallsBack", Mild, 100, I::Bilinear, 90, 6, true},
};

class StreamedJob : public testing::TestWithParam<Case> {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    std::string path(const std::string& name) const {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }
    app::RectifyJob job(const Case& c, const std::string& photo, const std::string& output) {
        app::RectifyJob j;
        j.photo = photo;
        for (std::size_t k = 0; k < 4; ++k)
            j.corners[k] = {c.corners[2 * k], c.corners[2 * k + 1]};
        j.output = output;
        if (c.realSize) {
            j.realWidthCm = 1200.0;
            j.realHeightCm = 900.0;
        }
        j.areaPercent = c.area;
        j.sampling = c.sampling;
        j.jpegQuality = c.quality;
        return j;
    }
    QTemporaryDir m_dir;
};

TEST_P(StreamedJob, WritesTheBytesOfTheWholeImage) {
    const Case& c = GetParam();
    const std::string photo = path("photo.jpg");
    writeFile(photo,
              c.orientation == 1 ? photoJpeg() : withOrientation(photoJpeg(), c.orientation));

    app::RectifyJob whole = job(c, photo, path("whole.jpg"));
    whole.stream = false;
    const app::JobOutcome expected = app::runJob(whole);
    ASSERT_TRUE(expected.ok()) << expected.message;
    EXPECT_FALSE(expected.streamed);
    const std::vector<std::uint8_t> bytes = readFile(whole.output);

    const int before = fp::threadCount();
    for (const int threads : {1, 3}) {
        fp::setThreadCount(threads);
        const app::RectifyJob streamed = job(c, photo, path("streamed.jpg"));
        const app::JobOutcome got = app::runJob(streamed);
        ASSERT_TRUE(got.ok()) << got.message;
        EXPECT_EQ(got.streamed, c.orientation == 1);
        EXPECT_EQ(got.message.substr(got.message.find(" (")),
                  expected.message.substr(expected.message.find(" (")));
        EXPECT_EQ(got.pixelsPerCm, expected.pixelsPerCm);
        EXPECT_TRUE(readFile(streamed.output) == bytes) << threads << " threads";
    }
    fp::setThreadCount(before);
}

INSTANTIATE_TEST_SUITE_P(PosesAndSamplings, StreamedJob, testing::ValuesIn(Cases),
                         [](const auto& p) { return std::string(p.param.name); });

// A photograph that breaks off halfway is found out only after the top rows
// were rectified and encoded: the job still ends as unreadable, and the old
// file stays.
TEST(StreamedJobBroken, PhotographEndingMidwayWritesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string photo = dir.filePath("cut.jpg").toStdString();
    const std::string output = dir.filePath("out.jpg").toStdString();
    std::vector<std::uint8_t> bytes = photoJpeg();
    bytes.resize(bytes.size() * 6 / 10);
    writeFile(photo, bytes);
    writeFile(output, {1, 2, 3});
    app::RectifyJob j;
    j.photo = photo;
    for (std::size_t k = 0; k < 4; ++k)
        j.corners[k] = {Mild[2 * k], Mild[2 * k + 1]};
    j.output = output;
    j.realWidthCm = 1200.0;
    j.realHeightCm = 900.0;
    const app::JobOutcome got = app::runJob(j);
    EXPECT_EQ(got.exit, app::BatchExit::PhotoUnreadable) << got.message;
    EXPECT_EQ(readFile(output), (std::vector<std::uint8_t>{1, 2, 3}));
}

} // namespace
