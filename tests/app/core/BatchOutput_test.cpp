// What the batch writes besides the described formats: the added image types,
// the sampling option and the world file, checked with independent readers
// and against the DXF drawing of the same photograph.

#include "TestSupport.h"
#include "app/BatchMode.h"
#include "pixkit/ImageFile.h"
#include "testsupport/Files.h"

#include <QDir>
#include <QTemporaryDir>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::writeFile;

constexpr int PhotoW = 400, PhotoH = 300;

// A light wall with a dark frame and a cross inside the upright rectangle
// (100, 100) ... (300, 200), and a colour gradient so that sampling shows.
class BatchOutput : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        std::vector<std::uint32_t> px;
        for (int y = 0; y < PhotoH; ++y)
            for (int x = 0; x < PhotoW; ++x) {
                const auto v = static_cast<std::uint8_t>(
                    testsupport::onWallDrawing(x, y) ? 30 : 200 + (x % 7) * 5);
                px.push_back(pixkit::rgb(v, static_cast<std::uint8_t>(v - (y % 5) * 3), v));
            }
        m_photo = path("wall.bmp");
        writeFile(m_photo, testsupport::bmpBytes(PhotoW, PhotoH, 24, px, {}));
    }
    std::string path(const std::string& name) const {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }
    // Batch of the upright rectangle, 2000 x 1000 cm: a 202 x 101 image.
    int run(const std::string& output, const std::vector<std::string>& options = {}) {
        std::vector<std::string> params{m_photo, "100", "100", "300",  "100",  "300",
                                        "200",   "100", "200", output, "2000", "1000"};
        params.insert(params.end(), options.begin(), options.end());
        std::ostringstream out, err;
        const int code = app::runBatch(params, "/opt/velkor/fassadenplan", out, err);
        m_err = err.str();
        return code;
    }
    // The pixels as ImageMagick decodes them: raw RGB bytes, empty on failure.
    static std::string decodedByMagick(const std::string& file) {
        const std::string raw = file + ".rgb";
        if (!testsupport::run("convert '" + file + "' -depth 8 'rgb:" + raw + "'"))
            return {};
        const auto bytes = readFile(raw);
        return {bytes.begin(), bytes.end()};
    }

    QTemporaryDir m_dir;
    std::string m_photo;
    std::string m_err;
};

// ---------------------------------------------------------------- image types

struct TypeCase {
    const char* ext;
    bool lossless;
};

class BatchAddedType : public BatchOutput, public testing::WithParamInterface<TypeCase> {};

TEST_P(BatchAddedType, WrittenAndReadBackByImageMagick) {
    if (!testsupport::haveTool("convert"))
        GTEST_SKIP() << "ImageMagick is not installed (tools/deps.sh --test)";
    const std::string out = path(std::string("plan") + GetParam().ext);
    ASSERT_EQ(run(out), 0) << m_err;
    ASSERT_EQ(run(path("plan.bmp")), 0) << m_err;
    const std::string theirs = decodedByMagick(out);
    const std::string reference = decodedByMagick(path("plan.bmp"));
    ASSERT_EQ(reference.size(), 202u * 101u * 3u);
    ASSERT_EQ(theirs.size(), reference.size());
    if (GetParam().lossless) {
        EXPECT_TRUE(theirs == reference);
    } else {
        double sum = 0;
        for (std::size_t k = 0; k < theirs.size(); ++k)
            sum += std::abs(static_cast<unsigned char>(theirs[k]) -
                            static_cast<unsigned char>(reference[k]));
        EXPECT_LT(sum / static_cast<double>(theirs.size()), 8.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Batch, BatchAddedType,
                         testing::Values(TypeCase{".png", true}, TypeCase{".webp", true},
                                         TypeCase{".tiff", true}, TypeCase{".TIFF", true},
                                         TypeCase{".jpeg", false}, TypeCase{".jpe", false}),
                         [](const auto& p) {
                             return std::string(p.param.ext + 1) +
                                    (p.param.ext[1] == 'T' ? "Upper" : "");
                         });

// ---------------------------------------------------------------- sampling

TEST_F(BatchOutput, InterpolationOptionChangesTheSampling) {
    auto image = [&](const std::vector<std::string>& options, const std::string& name) {
        EXPECT_EQ(run(path(name), options), 0) << m_err;
        return readFile(path(name));
    };
    const auto byDefault = image({}, "a.bmp");
    EXPECT_EQ(image({"--interpolation=nearest"}, "b.bmp"), byDefault);
    const auto bilinear = image({"--interpolation=bilinear"}, "c.bmp");
    const auto bicubic = image({"--interpolation=bicubic"}, "d.bmp");
    EXPECT_EQ(bilinear.size(), byDefault.size());
    EXPECT_NE(bilinear, byDefault);
    EXPECT_NE(bicubic, byDefault);
    EXPECT_NE(bicubic, bilinear);

    for (const char* bad : {"--interpolation=lanczos", "--interpolation=", "--interpolation"}) {
        EXPECT_EQ(run(path("e.bmp"), {bad}), 2) << bad;
        EXPECT_FALSE(fileExists(path("e.bmp"))) << bad;
        EXPECT_NE(m_err.find(bad), std::string::npos) << m_err;
    }
}

// ---------------------------------------------------------------- world file

// 2000 cm give the unit 100 cm (the marked width is 20 units); the image is
// 202 pixels over that width, so a pixel is 20 / 202 units and the image
// 101 pixels high.
TEST_F(BatchOutput, WorldFileBesideTheImage) {
    ASSERT_EQ(run(path("plan.png"), {"--world-file"}), 0) << m_err;
    ASSERT_TRUE(fileExists(path("plan.png")));
    const auto bytes = readFile(path("plan.pgw"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0.099009900990099\n"
                                                       "0\n"
                                                       "0\n"
                                                       "-0.099009900990099\n"
                                                       "0.0495049504950495\n"
                                                       "9.95049504950495\n");
    // Without the option there is none.
    ASSERT_EQ(run(path("other.jpg")), 0) << m_err;
    EXPECT_FALSE(fileExists(path("other.jgw")));
}

TEST_F(BatchOutput, FailedWorldFileIsAFailedWrite) {
    // A folder in the world file's place: it cannot be written.
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("plan.tfw")));
    EXPECT_EQ(run(path("plan.tif"), {"--world-file"}), 6);
    EXPECT_NE(m_err.find("plan.tfw"), std::string::npos) << m_err;
    EXPECT_FALSE(fileExists(path("plan.tif")));
}

// An image that cannot be written leaves every file beside it as it was:
// the world file and GDAL's sidecar of an earlier save keep their bytes, and
// none is left behind where there was none, also for names that are no UTF-8.
enum class ImageBlocked { Folder, FullDisk };
struct BlockedImageCase {
    const char* name;
    const char* base; // the output's name without extension, the file system's bytes
    const char* ext;
    std::vector<const char*> besides; // what --world-file writes beside the image
    ImageBlocked blocked;
    bool earlier; // the files of an earlier save are there
};

class BatchBlockedImage : public BatchOutput,
                          public testing::WithParamInterface<BlockedImageCase> {};

TEST_P(BatchBlockedImage, LeavesTheFilesBesideItAsTheyWere) {
    const BlockedImageCase& c = GetParam();
    // Names joined as bytes: a name that is no UTF-8 must keep them.
    const std::string folder = m_dir.path().toStdString() + "/";
    const std::string output = folder + c.base + c.ext;
    if (c.blocked == ImageBlocked::Folder) {
        ASSERT_EQ(::mkdir(output.c_str(), 0755), 0);
    } else {
        if (!fileExists("/dev/full"))
            GTEST_SKIP() << "no /dev/full";
        ASSERT_EQ(::symlink("/dev/full", output.c_str()), 0);
    }
    std::vector<std::string> besides;
    for (const char* b : c.besides) {
        besides.push_back(folder + c.base + b);
        if (c.earlier)
            writeFile(besides.back(), {'o', 'l', 'd', static_cast<std::uint8_t>(0xff), '\n'});
    }
    EXPECT_EQ(run(output, {"--world-file"}), 6);
    EXPECT_NE(m_err.find(output), std::string::npos) << m_err;
    for (const std::string& b : besides) {
        if (c.earlier)
            EXPECT_EQ(readFile(b), (std::vector<std::uint8_t>{
                                       'o', 'l', 'd', static_cast<std::uint8_t>(0xff), '\n'}))
                << b;
        else
            EXPECT_FALSE(fileExists(b)) << b;
    }
    // Nothing else appeared in the folder: no temporary file, no name
    // spelt another way (listed as bytes: Qt cannot list names that are no UTF-8).
    std::vector<std::string> left;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                left.emplace_back(e->d_name);
        ::closedir(d);
    }
    EXPECT_EQ(left.size(), 2 + (c.earlier ? besides.size() : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Batch, BatchBlockedImage,
    testing::Values(
        BlockedImageCase{"folder_earlier", "plan", ".png", {".pgw"}, ImageBlocked::Folder, true},
        BlockedImageCase{"folder_none", "other", ".jpg", {".jgw"}, ImageBlocked::Folder, false},
        BlockedImageCase{"latin1_folder_earlier",
                         "Fassade S\xfc"
                         "d",
                         ".png",
                         {".pgw"},
                         ImageBlocked::Folder,
                         true},
        BlockedImageCase{"latin1_folder_none",
                         "Fassade S\xfc"
                         "d",
                         ".png",
                         {".pgw"},
                         ImageBlocked::Folder,
                         false},
        BlockedImageCase{"latin1_full_earlier",
                         "plan\xff",
                         ".webp",
                         {".wld", ".webp.aux.xml"},
                         ImageBlocked::FullDisk,
                         true},
        BlockedImageCase{"latin1_full_none",
                         "plan\xff",
                         ".webp",
                         {".wld", ".webp.aux.xml"},
                         ImageBlocked::FullDisk,
                         false},
        BlockedImageCase{"full_earlier", "plan", ".tif", {".tfw"}, ImageBlocked::FullDisk, true}),
    [](const auto& p) { return std::string(p.param.name); });

// The world file and the DXF drawing of the same photograph lie on top of
// each other: the traced outline of each stroke of the cross lies around
// the stroke's centre as the world file places it, within one pixel.
TEST_F(BatchOutput, WorldFileAlignsWithTheDxfDrawing) {
    ASSERT_EQ(run(path("plan.bmp"), {"--world-file"}), 0) << m_err;
    ASSERT_EQ(run(path("plan.dxf")), 0) << m_err;

    std::vector<double> wf;
    {
        const auto bytes = readFile(path("plan.bpw"));
        std::istringstream in(std::string(bytes.begin(), bytes.end()));
        for (double v = 0; in >> v;)
            wf.push_back(v);
    }
    ASSERT_EQ(wf.size(), 6u);
    const double A = wf[0], E = wf[3], C = wf[4], F = wf[5];

    pixkit::DibHolder image;
    pixkit::OpenDib(image.get(), path("plan.bmp"));
    ASSERT_FALSE(image.empty());
    auto dark = [&](int x, int y) {
        return pixkit::redOf(pixkit::getpixel(image.get(), x, y)) < 100;
    };
    // The vertical stroke in a row away from the horizontal one, the
    // horizontal stroke in a column away from the vertical one.
    double sx = 0, nx = 0, sy = 0, ny = 0;
    for (int x = 60; x < 140; ++x)
        if (dark(x, 40)) {
            sx += x;
            ++nx;
        }
    for (int y = 30; y < 70; ++y)
        if (dark(70, y)) {
            sy += y;
            ++ny;
        }
    ASSERT_GT(nx, 0);
    ASSERT_GT(ny, 0);
    const double strokeX = C + A * (sx / nx); // centre of the stroke's pixels
    const double strokeY = F + E * (sy / ny);

    const auto dxf = readFile(path("plan.dxf"));
    std::istringstream in(std::string(dxf.begin(), dxf.end()));
    std::vector<std::pair<double, double>> vertices;
    std::string line, previous;
    double x = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (previous == "10")
            x = std::stod(line);
        if (previous == "20")
            vertices.emplace_back(x, std::stod(line));
        previous = line;
    }
    ASSERT_FALSE(vertices.empty());
    // The outline's edges around each stroke (4 pixels wide).
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (const auto& [vx, vy] : vertices) {
        if (std::fabs(vx - strokeX) < 4 * A) {
            minX = std::min(minX, vx);
            maxX = std::max(maxX, vx);
        }
        if (std::fabs(vy - strokeY) < 4 * A) {
            minY = std::min(minY, vy);
            maxY = std::max(maxY, vy);
        }
    }
    ASSERT_LT(minX, maxX) << "no traced edges near X " << strokeX;
    ASSERT_LT(minY, maxY) << "no traced edges near Y " << strokeY;
    EXPECT_NEAR((minX + maxX) / 2, strokeX, A);
    EXPECT_NEAR((minY + maxY) / 2, strokeY, A);
}

} // namespace
