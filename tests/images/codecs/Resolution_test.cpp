// The real scale of a written image, read back by ImageMagick: every format
// with a resolution field carries the image's pixels per metre.

#include "CodecTestSupport.h"
#include "pixkit/ImageFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

using pixkit::DibHolder;

// identify's "%x %y %U": the resolution and its unit.
std::string identifyResolution(const std::string& path) {
    const std::string command = "identify -format '%x %y %U' '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    std::array<char, 256> buf{};
    std::string out;
    while (fgets(buf.data(), buf.size(), pipe) != nullptr)
        out += buf.data();
    pclose(pipe);
    return out;
}

struct ResolutionCase {
    const char* ext;
    int ppm;      // pixels per metre set in the image
    double perCm; // what identify reports, in pixels per centimetre
};

class WrittenResolution : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(WrittenResolution, IndependentReaderReportsPixelsPerCentimetre) {
    if (!testsupport::haveTool("identify"))
        GTEST_SKIP() << "ImageMagick's identify is not installed (tools/deps.sh --test)";
    const ResolutionCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    DibHolder picture = codectest::manyColours();
    picture.get().pmi->bmiHeader.biXPelsPerMeter = c.ppm;
    picture.get().pmi->bmiHeader.biYPelsPerMeter = c.ppm;
    const std::string path = dir.filePath(QStringLiteral("scaled")).toStdString() + c.ext;
    const pixkit::WriteResult r = pixkit::WriteDib(picture.get(), path, 90);
    ASSERT_TRUE(r.ok) << r.error;
    const std::string reported = identifyResolution(path);
    double x = 0, y = 0;
    char unit[64] = {};
    ASSERT_EQ(std::sscanf(reported.c_str(), "%lf %lf %63s", &x, &y, unit), 3) << reported;
    EXPECT_STREQ(unit, "PixelsPerCentimeter") << reported;
    // The file formats hold the value as 32-bit floats at worst.
    EXPECT_NEAR(x, c.perCm, 1e-5) << reported;
    EXPECT_NEAR(y, c.perCm, 1e-5) << reported;
    // The file still reads as the picture it was.
    pixkit::dib back;
    pixkit::OpenDib(back, path);
    const DibHolder held(back);
    ASSERT_NE(held.get().poi, nullptr);
    EXPECT_EQ(pixkit::dibwidth(held.get()), pixkit::dibwidth(picture.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WrittenResolution,
    ::testing::Values(ResolutionCase{".bmp", 1234, 12.34}, ResolutionCase{".dib", 250, 2.5},
                      // JFIF holds whole dots per cm: 12.34 -> 12, 2.5 -> 3.
                      ResolutionCase{".jpg", 1234, 12}, ResolutionCase{".jpeg", 250, 3},
                      ResolutionCase{".jpe", 48960, 490}, ResolutionCase{".png", 1234, 12.34},
                      ResolutionCase{".tif", 1234, 12.34}, ResolutionCase{".tiff", 250, 2.5}),
    [](const auto& p) { return std::string(p.param.ext + 1); });

} // namespace
