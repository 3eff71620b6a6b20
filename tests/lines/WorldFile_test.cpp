// World files and the pixels per centimetre of a rectified image.

#include "lines/WorldFile.h"
#include "pixkit/ImageFile.h"
#include "pixkit/ImageFormats.h"
#include "testsupport/Files.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace {

struct NameCase {
    const char* image;
    const char* world; // "" when there is none
};

class WorldFileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(WorldFileName, FirstAndLastLetterOfTheExtensionAndW) {
    EXPECT_EQ(lines::WorldFileName(GetParam().image), GetParam().world);
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, WorldFileName,
    ::testing::Values(NameCase{"plan.jpg", "plan.jgw"}, NameCase{"plan.jpeg", "plan.jgw"},
                      NameCase{"dir/plan.tif", "dir/plan.tfw"}, NameCase{"plan.tiff", "plan.tfw"},
                      NameCase{"plan.png", "plan.pgw"}, NameCase{"plan.bmp", "plan.bpw"},
                      NameCase{"plan.gif", "plan.gfw"}, NameCase{"plan.jp2", "plan.j2w"},
                      NameCase{"Plan.JPG", "Plan.jgw"}, NameCase{"plan.webp", "plan.wld"},
                      NameCase{"Plan.WebP", "Plan.wld"}, NameCase{"a.b/plan", ""},
                      NameCase{"plan.", ""}, NameCase{"plan", ""}),
    [](const auto& p) {
        std::string n = p.param.image;
        for (char& c : n)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return n;
    });

// The DXF export's worked example: B = 1000 cm gives the unit 10 cm; an image
// 1500 pixels wide at 100 % has 1500 pixels over the marked width, so a pixel
// is 100 / 1500 units; the top-left pixel's centre lies half a pixel in from
// the left edge (X = 0) and the top edge (Y = 1200 pixels up).
TEST(WorldFile, SixLinesOfTheWorkedExample) {
    const auto wf = lines::ComputeWorldFile(1000, 100, 1500, 1200);
    ASSERT_TRUE(wf.has_value());
    EXPECT_EQ(lines::WorldFileText(*wf), "0.0666666666666667\n"
                                         "0\n"
                                         "0\n"
                                         "-0.0666666666666667\n"
                                         "0.0333333333333333\n"
                                         "79.9666666666667\n");
    // B = 100 cm (unit 1 cm), area 200 %: the marked rectangle is 200 of the
    // 400 pixels, half a centimetre each.
    const auto half = lines::ComputeWorldFile(100, 200, 400, 300);
    ASSERT_TRUE(half.has_value());
    EXPECT_EQ(lines::WorldFileText(*half), "0.5\n0\n0\n-0.5\n0.25\n149.75\n");
}

struct ScaleCase {
    const char* name;
    double realWidthCm, areaPercent;
    int width;
    double perCm; // 0: no scale
};

class RealScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(RealScale, PixelsPerCentimetreAndWorldFileAgree) {
    const ScaleCase& c = GetParam();
    const auto perCm = lines::PixelsPerCm(c.realWidthCm, c.areaPercent, c.width);
    const auto wf = lines::ComputeWorldFile(c.realWidthCm, c.areaPercent, c.width, 10);
    if (c.perCm == 0) {
        EXPECT_FALSE(perCm.has_value());
        EXPECT_FALSE(wf.has_value());
        return;
    }
    ASSERT_TRUE(perCm.has_value());
    ASSERT_TRUE(wf.has_value());
    EXPECT_DOUBLE_EQ(*perCm, c.perCm);
    // One pixel in drawing units (m cm) is 1 / perCm centimetres.
    const double m = lines::ComputeDxfScale(c.realWidthCm, c.areaPercent, c.width).m;
    EXPECT_NEAR(wf->pixelWidth * m, 1.0 / c.perCm, 1e-12);
    EXPECT_EQ(wf->pixelHeight, -wf->pixelWidth);
}

INSTANTIATE_TEST_SUITE_P(Scales, RealScale,
                         ::testing::Values(ScaleCase{"facade", 1000, 100, 2000, 2.0},
                                           ScaleCase{"withMargin", 1000, 150, 3000, 2.0},
                                           ScaleCase{"cropped", 400, 50, 100, 0.5},
                                           ScaleCase{"noRealWidth", 0, 100, 2000, 0},
                                           ScaleCase{"negativeWidth", -10, 100, 2000, 0},
                                           ScaleCase{"noImage", 1000, 100, 0, 0}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(WorldFile, WrittenBesideTheImageAndFailureReported) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto wf = lines::ComputeWorldFile(100, 200, 400, 300);
    ASSERT_TRUE(wf.has_value());
    const std::string image = dir.filePath(QStringLiteral("plan.tif")).toStdString();
    ASSERT_EQ(lines::WriteWorldFile(image, *wf), lines::DxfEnd::Written);
    QFile f(dir.filePath(QStringLiteral("plan.tfw")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), lines::WorldFileText(*wf));
    EXPECT_NE(
        lines::WriteWorldFile(dir.filePath(QStringLiteral("missing/plan.tif")).toStdString(), *wf),
        lines::DxfEnd::Written);
    EXPECT_NE(lines::WriteWorldFile(dir.filePath(QStringLiteral("plan")).toStdString(), *wf),
              lines::DxfEnd::Written);
}

// GDAL places every picture it reads where its world file (or, for WebP and
// Targa, whose drivers read none, its sidecar) says: the top-left corner at
// (0, 20), pixels of 0.2 units. Formats GDAL has no reader for (PCX, IFF)
// keep their world file for other programs.
TEST(WorldFile, GdalPlacesEveryFormatItReads) {
    if (!testsupport::haveTool("gdalinfo"))
        GTEST_SKIP() << "gdalinfo is not installed (Debian package gdal-bin)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    pixkit::dib d;
    pixkit::newdib(d, 150, 100, 24, nullptr, 0);
    const pixkit::DibHolder picture(d);
    ASSERT_NE(d.poi, nullptr);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 150; ++x)
            pixkit::setpixel(d, x, y, static_cast<pixkit::Colour>(x * 0x010203 + y * 0x030201));
    const auto wf = lines::ComputeWorldFile(30, 100, 150, 100, lines::DrawingUnit::Auto);
    ASSERT_TRUE(wf.has_value());
    const std::vector<double> expected = {0, 0.2, 0, 20, 0, -0.2};
    std::vector<std::string> placed;
    for (const pixkit::ImageFormat& f : pixkit::ImageFormats())
        for (const pixkit::FormatExtension& e : f.extensions) {
            if (!e.written)
                continue;
            const std::string image = dir.filePath(QStringLiteral("plan")).toStdString() + e.ext;
            ASSERT_TRUE(pixkit::WriteDib(picture.get(), image).ok) << e.ext;
            ASSERT_EQ(lines::WriteWorldFile(image, *wf), lines::DxfEnd::Written) << e.ext;
            const QJsonObject info =
                QJsonDocument::fromJson(QByteArray::fromStdString(testsupport::output(
                                            "gdalinfo -json '" + image + "' 2>/dev/null")))
                    .object();
            if (info.isEmpty())
                continue; // GDAL has no reader for this format
            const QJsonArray gt = info["geoTransform"].toArray();
            ASSERT_EQ(gt.size(), 6) << e.ext << " read by GDAL without its placement";
            for (int k = 0; k < 6; ++k)
                EXPECT_NEAR(gt[k].toDouble(), expected[static_cast<std::size_t>(k)], 1e-12)
                    << e.ext << " value " << k;
            placed.emplace_back(e.ext);
        }
    for (const char* ext : {".bmp", ".dib", ".rle", ".gif", ".jpg", ".jpeg", ".jpe", ".jif", ".png",
                            ".tif", ".tiff", ".jp2", ".webp", ".tga"})
        EXPECT_NE(std::find(placed.begin(), placed.end(), ext), placed.end()) << ext;
}

} // namespace
