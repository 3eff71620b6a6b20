// The real scale of a written image, read back by independent programs:
// ImageMagick for every format with a resolution field, and exiftool, Pillow
// and img2pdf (through read_resolution.py) for the exact scale of JPEG, TIFF
// and JPEG 2000.

#include "CodecTestSupport.h"
#include "pixkit/ImageFile.h"
#include "pixkit/ImageFormats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

using pixkit::DibHolder;

struct ResolutionCase {
    const char* ext;
    int ppm;          // pixels per metre set in the image
    double reported;  // what identify reports, in `unit`
    const char* unit; // identify's %U
};

class WrittenResolution : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(WrittenResolution, IndependentReaderReportsTheScale) {
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
    const std::string reported =
        testsupport::output("identify -format '%x %y %U' '" + path + "' 2>/dev/null");
    double x = 0, y = 0;
    char unit[64] = {};
    ASSERT_EQ(std::sscanf(reported.c_str(), "%lf %lf %63s", &x, &y, unit), 3) << reported;
    EXPECT_STREQ(unit, c.unit) << reported;
    // The file formats hold the value as 32-bit floats at worst.
    EXPECT_NEAR(x, c.reported, 1e-5) << reported;
    EXPECT_NEAR(y, c.reported, 1e-5) << reported;
    // The file still reads as the picture it was.
    pixkit::dib back;
    pixkit::OpenDib(back, path);
    const DibHolder held(back);
    ASSERT_NE(held.get().poi, nullptr);
    EXPECT_EQ(pixkit::dibwidth(held.get()), pixkit::dibwidth(picture.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WrittenResolution,
    ::testing::Values(ResolutionCase{".bmp", 1234, 12.34, "PixelsPerCentimeter"},
                      ResolutionCase{".dib", 250, 2.5, "PixelsPerCentimeter"},
                      // ImageMagick reads the EXIF fractions, not the JFIF's whole dots.
                      ResolutionCase{".jpg", 1234, 12.34, "PixelsPerCentimeter"},
                      ResolutionCase{".jpeg", 250, 2.5, "PixelsPerCentimeter"},
                      ResolutionCase{".jpe", 48960, 489.6, "PixelsPerCentimeter"},
                      ResolutionCase{".png", 1234, 12.34, "PixelsPerCentimeter"},
                      ResolutionCase{".tif", 1234, 12.34, "PixelsPerCentimeter"},
                      ResolutionCase{".tiff", 250, 2.5, "PixelsPerCentimeter"},
                      // PCX holds whole dots per inch: 12.34 / cm = 31.34 / inch.
                      ResolutionCase{".pcx", 1234, 31, "PixelsPerInch"}),
    [](const auto& p) { return std::string(p.param.ext + 1); });

// Every format whose table row stamps a resolution gets one in its file, and
// no other: the row decides, not a list of extensions elsewhere.
TEST(WrittenResolution, TheFormatTableDecidesWhichFilesCarryAScale) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    DibHolder picture = codectest::manyColours(16, 8);
    const pixkit::WriteOptions plain;
    pixkit::WriteOptions scaled;
    scaled.density = {12.3456, 12.3456};
    for (const pixkit::ImageFormat& f : pixkit::ImageFormats())
        for (const pixkit::FormatExtension& e : f.extensions) {
            if (!e.written)
                continue;
            std::vector<std::uint8_t> without, with;
            ASSERT_TRUE(pixkit::EncodeDib(picture.get(), e.ext, plain, without).ok) << e.ext;
            ASSERT_TRUE(pixkit::EncodeDib(picture.get(), e.ext, scaled, with).ok) << e.ext;
            EXPECT_EQ(with != without, f.stampResolution != nullptr) << e.ext;
        }
}

// The exact scale of a picture as exiftool, Pillow and img2pdf read it.
struct ExactCase {
    const char* name;
    const char* ext;
    double perCm; // pixels per centimetre of the real object
};

class ExactResolution : public ::testing::TestWithParam<ExactCase> {
protected:
    static QJsonObject readBack(const std::string& path) {
        const std::string script = std::string(FP_TEST_SOURCE_DIR) + "/read_resolution.py";
        const std::string json =
            testsupport::output("/usr/bin/python3 '" + script + "' '" + path + "' 2>/dev/null");
        return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    }
};

TEST_P(ExactResolution, ReadersFindTheRealSize) {
    if (!testsupport::haveTool("exiftool") || !testsupport::haveTool("/usr/bin/python3"))
        GTEST_SKIP() << "exiftool or python3 is missing (tools/deps.sh --test)";
    const ExactCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    constexpr int Width = 300, Height = 200;
    DibHolder picture = codectest::manyColours(Width, Height);
    pixkit::WriteOptions options;
    options.density = {c.perCm, c.perCm};
    const std::string path = dir.filePath(QStringLiteral("scaled")).toStdString() + c.ext;
    const pixkit::WriteResult r = pixkit::WriteDib(picture.get(), path, options);
    ASSERT_TRUE(r.ok) << r.error;
    const QJsonObject read = readBack(path);
    const std::string shown = QJsonDocument(read).toJson(QJsonDocument::Compact).toStdString();
    const double dpi = c.perCm * 2.54;
    const double wholeDpi = std::nearbyint(dpi);

    if (std::string(c.ext) == ".jp2") {
        // Capture and display resolution, per metre.
        const QJsonObject jp2 = read["jp2"].toObject();
        for (const char* key : {"CaptureXResolution", "CaptureYResolution", "DisplayXResolution",
                                "DisplayYResolution"})
            EXPECT_NEAR(jp2[key].toDouble() / (c.perCm * 100.0), 1.0, 1e-5) << key << shown;
    } else {
        // EXIF (JPEG) or the TIFF directory: exact fractions per centimetre.
        const QJsonObject exif = read["exif"].toObject();
        EXPECT_NEAR(exif["XResolution"].toDouble() / c.perCm, 1.0, 1e-6) << shown;
        EXPECT_NEAR(exif["YResolution"].toDouble() / c.perCm, 1.0, 1e-6) << shown;
        EXPECT_EQ(exif["ResolutionUnit"].toInt(), 3) << shown; // centimetres
    }
    if (std::string(c.ext) == ".jpg") {
        // JFIF: whole dots per inch; and nothing of EXIF but the scale.
        const QJsonObject jfif = read["jfif"].toObject();
        EXPECT_EQ(jfif["ResolutionUnit"].toInt(), 1) << shown;
        EXPECT_EQ(jfif["XResolution"].toDouble(), wholeDpi) << shown;
        EXPECT_EQ(read["exif_tags"].toArray(),
                  QJsonArray({"IFD0:ResolutionUnit", "IFD0:XResolution", "IFD0:YResolution"}))
            << shown;
    }

    if (read.contains("pillow")) {
        // Pillow takes a JPEG's JFIF dots per inch first; elsewhere the exact value.
        const double expected = std::string(c.ext) == ".jpg" ? wholeDpi : dpi;
        const QJsonArray pillow = read["pillow"].toArray();
        ASSERT_EQ(pillow.size(), 2) << shown;
        EXPECT_NEAR(pillow[0].toDouble() / expected, 1.0, 1e-5) << shown;
        EXPECT_NEAR(pillow[1].toDouble() / expected, 1.0, 1e-5) << shown;
    }
    if (read.contains("img2pdf")) {
        // img2pdf rounds every resolution to whole dots per inch; the page is
        // the picture at that resolution (72 points to the inch).
        const QJsonArray page = read["img2pdf"].toArray();
        ASSERT_EQ(page.size(), 2) << shown;
        EXPECT_NEAR(page[0].toDouble(), Width / wholeDpi * 72.0, 0.01) << shown;
        EXPECT_NEAR(page[1].toDouble(), Height / wholeDpi * 72.0, 0.01) << shown;
        std::printf("%s: %d px at %.6f px/cm: img2pdf page %.3f cm wide (true %.3f cm)\n", c.name,
                    Width, c.perCm, page[0].toDouble() / 72.0 * 2.54, Width / c.perCm);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scales, ExactResolution,
    ::testing::Values(
        // A painting photographed closely, and a facade: under 1 pixel per cm.
        ExactCase{"painting_jpeg", ".jpg", 40.0123}, ExactCase{"facade_jpeg", ".jpg", 0.97753},
        ExactCase{"painting_tiff", ".tif", 40.0123}, ExactCase{"facade_tiff", ".tif", 0.97753},
        ExactCase{"painting_jp2", ".jp2", 40.0123}, ExactCase{"facade_jp2", ".jp2", 0.97753}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
