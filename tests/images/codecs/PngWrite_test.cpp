// The PNG writer at every level: lossless (ImageMagick reads the written
// pixels back exactly, across several independently deflated stretches of
// rows), the same bytes whatever the number of threads, smaller files at
// higher levels, and the resolution kept.

#include "CodecTestSupport.h"
#include "foundation/ThreadPool.h"
#include "pixkit/ImageFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

namespace {

using namespace codectest;
using testsupport::readBytes;

// A photograph-like picture of 1100 x 900 pixels: a smooth facade with
// grain and dark windows. Its filtered rows (about 3 MB) make three stretches.
const DibHolder& photo() {
    static const DibHolder p = make24(1100, 900, [](int x, int y) {
        const std::uint32_t h =
            static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
        const int grain = static_cast<int>((h >> 7) % 9) - 4;
        const bool window = x % 120 > 80 && y % 150 > 90;
        const int base = (window ? 50 : 140 + (x + y) / 40) + grain;
        auto c = [](int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); };
        return pixkit::rgb(c(base + 25), c(base), c(base - 20));
    });
    return p;
}

class PngLevel : public ::testing::TestWithParam<int> {
protected:
    QTemporaryDir m_dir;
    std::string write(int level, int threads, const std::string& name) {
        const fp::ThreadCountScope scope(threads);
        pixkit::WriteOptions options;
        options.pngLevel = level;
        const std::string path = m_dir.filePath(QString::fromStdString(name)).toStdString();
        const pixkit::WriteResult r = pixkit::WriteDib(photo().get(), path, options);
        EXPECT_TRUE(r.ok) << r.error;
        return path;
    }
};

TEST_P(PngLevel, ImageMagickReadsThePixelsBackAndThreadsChangeNoByte) {
    const int level = GetParam();
    const std::string one = write(level, 1, "one.png");
    for (const int threads : {2, 3, 7})
        EXPECT_EQ(readBytes(write(level, threads, "many.png")), readBytes(one))
            << threads << " threads";

    pixkit::dib d;
    pixkit::OpenDib(d, one);
    const DibHolder own(d);
    EXPECT_EQ(maxChannelDiff(photo().get(), own.get()), 0);

    if (!testsupport::haveTool("convert"))
        GTEST_SKIP() << "ImageMagick is not installed (tools/deps.sh --test)";
    const std::string ppm = m_dir.filePath("back.ppm").toStdString();
    ASSERT_TRUE(testsupport::run("convert png:" + one + " -depth 8 ppm:" + ppm));
    const DibHolder independent = readPpm(ppm);
    ASSERT_NE(independent.get().poi, nullptr);
    EXPECT_EQ(maxChannelDiff(photo().get(), independent.get()), 0);
}

INSTANTIATE_TEST_SUITE_P(Levels, PngLevel, ::testing::Values(0, 1, 3, 4, 6, 9),
                         [](const auto& p) { return "Level" + std::to_string(p.param); });

TEST(PngLevels, HigherLevelsPackTighterAndLevelsOutsideAreClamped) {
    QTemporaryDir dir;
    std::map<int, std::size_t> size;
    for (const int level : {-3, 0, 1, 6, 9, 12}) {
        pixkit::WriteOptions options;
        options.pngLevel = level;
        const std::string path = dir.filePath(QString("l%1.png").arg(level)).toStdString();
        ASSERT_TRUE(pixkit::WriteDib(photo().get(), path, options).ok);
        size[level] = readBytes(path).size();
    }
    EXPECT_EQ(size[-3], size[0]);
    EXPECT_EQ(size[12], size[9]);
    // Level 0 stores the rows: three bytes a pixel and one a row, plus the framing.
    EXPECT_GE(size[0], 1100u * 900u * 3u + 900u);
    EXPECT_LT(size[1], size[0] / 2);
    EXPECT_LE(size[9], size[6]);
    EXPECT_LE(size[6], size[1]);
}

} // namespace
