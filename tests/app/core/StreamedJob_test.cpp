// The streamed job against the whole-image way: the same bytes for every
// interpolation, poses whose bands read the photograph from far below (turned,
// upside down), margins and crops, qualities and thread counts, into JPEG,
// PNG (results of many deflated stretches too), BMP and TIFF (of many strips
// too); a photograph that the
// streamed way does not take (EXIF turn) falls back with the same bytes; a
// photograph that breaks off midway, or a file that cannot grow, leaves the
// old file.

#include "TestSupport.h"
#include "app/RectifyJob.h"
#include "foundation/ReplaceFile.h"
#include "foundation/ThreadPool.h"
#include "lines/WorldFile.h"
#include "pixkit/ImageFile.h"
#include "testsupport/Files.h"

#include <QDir>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>

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

// A wall with a window grid, a gradient and some grain, as a JPEG;
// `scale` times the size (the same facade at a finer grain).
std::vector<std::uint8_t> photoJpeg(int scale = 1) {
    pixkit::dib d;
    pixkit::newdib(d, PhotoW * scale, PhotoH * scale, 24, nullptr, 0);
    pixkit::Image owned(d);
    unsigned seed = 7;
    for (int y = 0; y < PhotoH * scale; ++y) {
        std::uint8_t* row = pixkit::pictureRow(d, y);
        for (int x = 0; x < PhotoW * scale; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int grain = static_cast<int>((seed >> 16) & 15);
            const bool window = (x / scale % 60) > 38 && (y / scale % 70) > 40;
            const int v = (window ? 50 : 140 + (x + y) / scale / 12) + grain;
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
    const char* ext = ".jpg";
    int scale = 1; // of the photograph and the corners
    bool worldFile = false;
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
    {"PngNearest", Mild, 100, I::Nearest, 90, 1, true, ".png"},
    {"PngBilinear", Turned, 100, I::Bilinear, 90, 1, true, ".png"},
    {"PngBicubic", Strong, 100, I::Bicubic, 90, 1, true, ".png"},
    {"PngMarginNearest", UpsideDown, 150, I::Nearest, 90, 1, true, ".png"},
    {"PngMarginBilinear", Mild, 130, I::Bilinear, 90, 1, false, ".png"},
    {"PngMarginBicubic", Strong, 180, I::Bicubic, 90, 1, true, ".PNG"},
    {"PngManyStretches", Mild, 150, I::Nearest, 90, 1, true, ".png", 4},
    {"BmpNearest", Mild, 100, I::Nearest, 90, 1, true, ".bmp"},
    {"BmpBilinear", Turned, 100, I::Bilinear, 90, 1, true, ".bmp"},
    {"BmpBicubic", Strong, 100, I::Bicubic, 90, 1, true, ".dib"},
    {"BmpMarginNearest", UpsideDown, 150, I::Nearest, 90, 1, true, ".bmp"},
    {"BmpMarginBilinear", Mild, 130, I::Bilinear, 90, 1, false, ".bmp"},
    {"BmpMarginBicubic", Strong, 180, I::Bicubic, 90, 1, true, ".bmp"},
    {"BmpLarge", Turned, 120, I::Bilinear, 90, 1, true, ".bmp", 4},
    {"TiffNearest", Mild, 100, I::Nearest, 90, 1, true, ".tif"},
    {"TiffBilinear", Turned, 100, I::Bilinear, 90, 1, true, ".tiff"},
    {"TiffBicubic", Strong, 100, I::Bicubic, 90, 1, true, ".TIF"},
    {"TiffMarginNearest", UpsideDown, 150, I::Nearest, 90, 1, true, ".tif"},
    {"TiffMarginBilinear", Mild, 130, I::Bilinear, 90, 1, false, ".tif"},
    {"TiffMarginBicubic", Strong, 180, I::Bicubic, 90, 1, true, ".tif"},
    {"TiffManyStrips", Turned, 120, I::Bilinear, 90, 1, true, ".tif", 4},
    {"JpgWorldFile", Mild, 150, I::Bilinear, 90, 1, true, ".jpg", 1, true},
    {"PngWorldFile", Strong, 100, I::Nearest, 90, 1, false, ".png", 1, true},
    {"BmpWorldFile", UpsideDown, 130, I::Bicubic, 90, 1, true, ".bmp", 1, true},
    {"TiffWorldFile", Strong, 140, I::Bicubic, 90, 1, false, ".tif", 1, true},
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
            j.corners[k] = {c.corners[2 * k] * c.scale, c.corners[2 * k + 1] * c.scale};
        j.output = output;
        if (c.realSize) {
            j.realWidthCm = 1200.0;
            j.realHeightCm = 900.0;
        }
        j.areaPercent = c.area;
        j.sampling = c.sampling;
        j.jpegQuality = c.quality;
        j.worldFile = c.worldFile;
        return j;
    }
    QTemporaryDir m_dir;
};

TEST_P(StreamedJob, WritesTheBytesOfTheWholeImage) {
    const Case& c = GetParam();
    const std::string photo = path("photo.jpg");
    writeFile(photo, c.orientation == 1 ? photoJpeg(c.scale)
                                        : withOrientation(photoJpeg(c.scale), c.orientation));

    app::RectifyJob whole = job(c, photo, path(std::string("whole") + c.ext));
    whole.stream = false;
    const app::JobOutcome expected = app::runJob(whole);
    ASSERT_TRUE(expected.ok()) << expected.message;
    EXPECT_FALSE(expected.streamed);
    const std::vector<std::uint8_t> bytes = readFile(whole.output);
    // The world file (and GDAL's sidecar) beside the picture.
    std::vector<std::vector<std::uint8_t>> besides;
    if (c.worldFile)
        for (const std::string& name : lines::WorldFileNames(whole.output)) {
            besides.push_back(readFile(name));
            EXPECT_FALSE(besides.back().empty()) << name;
        }

    const int before = fp::threadCount();
    for (const int threads : {1, 3}) {
        fp::setThreadCount(threads);
        const app::RectifyJob streamed = job(c, photo, path(std::string("streamed") + c.ext));
        const app::JobOutcome got = app::runJob(streamed);
        ASSERT_TRUE(got.ok()) << got.message;
        EXPECT_EQ(got.streamed, c.orientation == 1);
        EXPECT_EQ(got.message.substr(got.message.find(" (")),
                  expected.message.substr(expected.message.find(" (")));
        EXPECT_EQ(got.pixelsPerCm, expected.pixelsPerCm);
        EXPECT_TRUE(readFile(streamed.output) == bytes) << threads << " threads";
        std::vector<std::vector<std::uint8_t>> streamedBesides;
        if (c.worldFile)
            for (const std::string& name : lines::WorldFileNames(streamed.output))
                streamedBesides.push_back(readFile(name));
        EXPECT_TRUE(streamedBesides == besides);
    }
    fp::setThreadCount(before);
}

INSTANTIATE_TEST_SUITE_P(PosesAndSamplings, StreamedJob, testing::ValuesIn(Cases),
                         [](const auto& p) { return std::string(p.param.name); });

// A streamed TIFF of many strips, read by ImageMagick (through libtiff), has
// the pixels of the streamed BMP of the same job, which it reads as well.
TEST(StreamedTiff, ReadBackPixelExactByImageMagick) {
    if (!testsupport::haveTool("convert"))
        GTEST_SKIP() << "ImageMagick is not installed (tools/deps.sh --test)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto at = [&](const char* name) { return dir.filePath(name).toStdString(); };
    writeFile(at("wall.jpg"), photoJpeg(4));
    std::vector<std::vector<std::uint8_t>> decoded;
    for (const char* name : {"plan.tif", "plan.bmp"}) {
        app::RectifyJob j;
        j.photo = at("wall.jpg");
        for (std::size_t k = 0; k < 4; ++k)
            j.corners[k] = {Turned[2 * k] * 4, Turned[2 * k + 1] * 4};
        j.output = at(name);
        j.realWidthCm = 1200.0;
        j.realHeightCm = 900.0;
        j.areaPercent = 120;
        j.sampling = I::Bicubic;
        const app::JobOutcome got = app::runJob(j);
        ASSERT_TRUE(got.ok()) << got.message;
        EXPECT_TRUE(got.streamed) << name;
        const std::string raw = j.output + ".rgb";
        ASSERT_TRUE(testsupport::run("convert '" + j.output + "' -depth 8 'rgb:" + raw + "'"));
        decoded.push_back(readFile(raw));
    }
    EXPECT_GT(decoded[0].size(), 2000u * 1000u * 3u);
    EXPECT_TRUE(decoded[0] == decoded[1]);
}

// The job of the broken-off photograph and of the file that cannot grow.
app::RectifyJob cutJob(const std::string& photo, const std::string& output) {
    app::RectifyJob j;
    j.photo = photo;
    for (std::size_t k = 0; k < 4; ++k)
        j.corners[k] = {Mild[2 * k] * 4, Mild[2 * k + 1] * 4};
    j.output = output;
    j.realWidthCm = 1200.0;
    j.realHeightCm = 900.0;
    return j;
}

// The names in `folder`: no temporary file may be left.
std::vector<std::string> namesIn(const QTemporaryDir& folder) {
    std::vector<std::string> names;
    for (const QString& n : QDir(folder.path()).entryList(QDir::Files | QDir::Hidden))
        names.push_back(n.toStdString());
    std::sort(names.begin(), names.end());
    return names;
}

// A photograph that breaks off halfway is found out only after the top rows
// were rectified and encoded: the job still ends as unreadable, and the old
// file stays, whatever the output's type.
TEST(StreamedJobBroken, PhotographEndingMidwayWritesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string photo = dir.filePath("cut.jpg").toStdString();
    std::vector<std::uint8_t> bytes = photoJpeg(4);
    bytes.resize(bytes.size() * 6 / 10);
    writeFile(photo, bytes);
    for (const char* ext : {".jpg", ".png", ".bmp", ".tif"}) {
        const std::string output = dir.filePath(QString("out") + ext).toStdString();
        writeFile(output, {1, 2, 3});
        const app::JobOutcome got = app::runJob(cutJob(photo, output));
        EXPECT_EQ(got.exit, app::BatchExit::PhotoUnreadable) << ext << ": " << got.message;
        EXPECT_EQ(readFile(output), (std::vector<std::uint8_t>{1, 2, 3})) << ext;
    }
    EXPECT_EQ(namesIn(dir),
              (std::vector<std::string>{"cut.jpg", "out.bmp", "out.jpg", "out.png", "out.tif"}));
}

// Bands go into the file as they are encoded: a file that stops growing
// midway (the size limit of the process) fails the job with the reason, and
// the old file stays.
TEST(StreamedJobBroken, FileThatCannotGrowLeavesTheOldOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string photo = dir.filePath("wall.jpg").toStdString();
    writeFile(photo, photoJpeg(4));
    struct sigaction ignore {};
    struct sigaction before {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &before), 0);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    for (const char* ext : {".jpg", ".png", ".bmp", ".tif"}) {
        const std::string output = dir.filePath(QString("out") + ext).toStdString();
        writeFile(output, {1, 2, 3});
        rlimit small = limit;
        small.rlim_cur = 200000; // far below the picture, above its first band
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const app::JobOutcome got = app::runJob(cutJob(photo, output));
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        EXPECT_EQ(got.exit, app::BatchExit::WriteFailed) << ext << ": " << got.message;
        EXPECT_NE(got.message.find(fp::fileErrorText(EFBIG)), std::string::npos) << got.message;
        EXPECT_EQ(readFile(output), (std::vector<std::uint8_t>{1, 2, 3})) << ext;
    }
    ::sigaction(SIGXFSZ, &before, nullptr);
    EXPECT_EQ(namesIn(dir),
              (std::vector<std::string>{"out.bmp", "out.jpg", "out.png", "out.tif", "wall.jpg"}));
}

} // namespace
