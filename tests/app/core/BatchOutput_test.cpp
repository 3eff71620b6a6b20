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

// A drawing that cannot be written says what failed and why: a missing
// folder, a folder in the drawing's place.
TEST_F(BatchOutput, FailedDrawingSaysWhy) {
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("taken.dxf")));
    const struct {
        const char* output;
        const char* says;
    } cases[] = {{"missing/plan.dxf", "no such file or directory"},
                 {"taken.dxf", "it is no regular file"}};
    for (const auto& c : cases) {
        EXPECT_EQ(run(path(c.output)), 6) << c.output;
        EXPECT_NE(m_err.find(c.says), std::string::npos) << m_err;
    }
}

// Four corners on one slanted line make no picture: exit 5, no file.
TEST_F(BatchOutput, CornersOnOneLineMakeNoImage) {
    std::ostringstream out, err;
    const std::string output = path("line.bmp");
    EXPECT_EQ(app::runBatch({m_photo, "0", "0", "10", "10", "20", "20", "30", "30", output},
                            "/opt/velkor/fassadenplan", out, err),
              5);
    EXPECT_NE(err.str().find("the corners form no quadrilateral"), std::string::npos) << err.str();
    EXPECT_FALSE(fileExists(output));
}

// No output replaces the photograph: not by its own name, nor through a
// link, "..", a hard link, as a drawing, or as the world file written beside
// the image. Each is refused before anything is written; the photograph
// keeps its bytes.
TEST_F(BatchOutput, OutputThatWouldReplaceThePhotographIsRefused) {
    const std::vector<std::uint8_t> original = readFile(m_photo);
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
    ASSERT_EQ(::symlink(m_photo.c_str(), path("link.bmp").c_str()), 0);
    ASSERT_EQ(::link(m_photo.c_str(), path("hard.bmp").c_str()), 0);
    const struct {
        const char* photo; // beside the test's wall.bmp, a copy of it
        const char* output;
        bool worldFile;
    } cases[] = {{"wall.bmp", "wall.bmp", false},        {"wall.bmp", "link.bmp", false},
                 {"wall.bmp", "sub/../wall.bmp", false}, {"wall.bmp", "hard.bmp", false},
                 {"wall.dxf", "wall.dxf", false},        {"plan.tfw", "plan.tif", true}};
    for (const auto& c : cases) {
        if (path(c.photo) != m_photo)
            writeFile(path(c.photo), original);
        m_photo = path(c.photo);
        EXPECT_EQ(run(path(c.output), c.worldFile ? std::vector<std::string>{"--world-file"}
                                                  : std::vector<std::string>{}),
                  6)
            << c.output;
        EXPECT_NE(m_err.find("the output would replace the photograph"), std::string::npos)
            << m_err;
        EXPECT_EQ(readFile(m_photo), original) << c.output;
        EXPECT_FALSE(fileExists(path("plan.tif")));
    }
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
// Both drawing flavours in any unit: the world file of the same unit
// places the picture under the outlines, and the CAD drawing's photograph
// is that picture.
struct AlignCase {
    const char* name;
    const char* format;
    const char* unit;
};
class BatchAlign : public BatchOutput, public testing::WithParamInterface<AlignCase> {};

TEST_P(BatchAlign, WorldFileAlignsWithTheDxfDrawing) {
    const std::string format = std::string("--dxf-format=") + GetParam().format;
    const std::string unit = std::string("--units=") + GetParam().unit;
    ASSERT_EQ(run(path("plan.bmp"), {"--world-file", unit}), 0) << m_err;
    ASSERT_EQ(run(path("drawing.dxf"), {format, unit}), 0) << m_err;
    if (format.ends_with("cad")) {
        pixkit::DibHolder picture, photo;
        pixkit::OpenDib(picture.get(), path("plan.bmp"));
        pixkit::OpenDib(photo.get(), path("drawing.png"));
        ASSERT_FALSE(photo.empty()) << "no photograph beside the CAD drawing";
        ASSERT_EQ(photo.width(), picture.width());
        ASSERT_EQ(photo.height(), picture.height());
        for (int y = 0; y < picture.height(); y += 3)
            for (int x = 0; x < picture.width(); x += 3)
                ASSERT_EQ(pixkit::getpixel(photo.get(), x, y),
                          pixkit::getpixel(picture.get(), x, y))
                    << x << ", " << y;
    } else {
        EXPECT_FALSE(fileExists(path("drawing.png")));
    }

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

    const auto dxf = readFile(path("drawing.dxf"));
    std::istringstream in(std::string(dxf.begin(), dxf.end()));
    std::vector<std::pair<double, double>> vertices;
    std::string line, previous;
    double x = 0;
    bool entities = false; // the header's extents are no vertices
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t from = line.find_first_not_of(' ');
        line = from == std::string::npos ? std::string() : line.substr(from);
        entities = entities || line == "ENTITIES";
        if (!entities) {
            previous = line;
            continue;
        }
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

// The CAD drawing's photograph goes beside the drawing under the drawing's
// name: a drawing named after a PNG photograph would replace the photograph
// (also when the names are spelt differently). That is refused; nothing is
// written and the photograph keeps its bytes.
TEST_F(BatchOutput, CadDrawingNeverReplacesThePhotograph) {
    pixkit::DibHolder wall;
    pixkit::OpenDib(wall.get(), m_photo);
    ASSERT_TRUE(pixkit::WriteDib(wall.get(), path("wall.png")).ok);
    const auto photo = readFile(path("wall.png"));
    m_photo = path("wall.png");
    for (const std::string& drawing : {path("wall.dxf"), path("sub/../wall.DXF")}) {
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("sub")));
        EXPECT_EQ(run(drawing, {"--dxf-format=cad"}), 6) << drawing;
        EXPECT_NE(m_err.find("would replace the photograph"), std::string::npos) << m_err;
        EXPECT_EQ(readFile(path("wall.png")), photo) << drawing;
        EXPECT_FALSE(fileExists(path("wall.dxf")));
        EXPECT_FALSE(fileExists(path("wall.DXF")));
    }
    // The plain drawing has no photograph beside it.
    EXPECT_EQ(run(path("wall.dxf")), 0) << m_err;
    EXPECT_EQ(readFile(path("wall.png")), photo);
}

INSTANTIATE_TEST_SUITE_P(Batch, BatchAlign,
                         testing::Values(AlignCase{"plain_auto", "plain", "auto"},
                                         AlignCase{"plain_mm", "plain", "mm"},
                                         AlignCase{"cad_auto", "cad", "auto"},
                                         AlignCase{"cad_m", "cad", "m"}),
                         [](const auto& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------- lens

// The lens option: off is the default's bytes; a photograph whose EXIF
// names no known lens (none, an unknown camera, a hostile block) goes on
// uncorrected and says why; a database lens or a typed poly3 bends the
// result. The EXIF is written by exiftool.
struct LensCase {
    const char* name;
    const char* exiftoolArgs; // null: no EXIF; "" : a hostile block instead
    const char* option;
    bool corrected;
    const char* note;
};

class BatchLens : public BatchOutput, public testing::WithParamInterface<LensCase> {};

TEST_P(BatchLens, CorrectsOrSaysWhyNot) {
    const LensCase& c = GetParam();
    ASSERT_EQ(run(path("plain.bmp")), 0) << m_err;
    const auto plain = readFile(path("plain.bmp"));
    if (c.exiftoolArgs != nullptr) {
        if (!testsupport::run("exiftool -ver > /dev/null 2>&1") ||
            !testsupport::run("convert -version > /dev/null 2>&1"))
            GTEST_SKIP() << "exiftool or ImageMagick is not installed (tools/deps.sh --test)";
        const std::string jpeg = path("wall.jpg");
        ASSERT_TRUE(testsupport::run("convert '" + m_photo + "' -quality 100 '" + jpeg + "'"));
        if (*c.exiftoolArgs != '\0') {
            ASSERT_TRUE(testsupport::run("exiftool -q -overwrite_original " +
                                         std::string(c.exiftoolArgs) + " '" + jpeg + "'"));
        } else {
            // An EXIF block whose first directory claims 65535 entries far
            // beyond its end, right after the start of the file.
            std::vector<std::uint8_t> bytes = readFile(jpeg);
            const std::vector<std::uint8_t> app1{
                0xff, 0xe1, 0x00, 0x18, 'E',  'x',  'i',  'f',  0,    0,    'I',  'I',  0x2a,
                0x00, 0x08, 0x00, 0x00, 0x00, 0xff, 0xff, 0x0f, 0x01, 0x02, 0x00, 0xff, 0xff};
            bytes.insert(bytes.begin() + 2, app1.begin(), app1.end());
            writeFile(jpeg, bytes);
        }
        m_photo = jpeg;
        ASSERT_EQ(run(path("plain.bmp")), 0) << m_err;
    }
    const auto expected = readFile(path("plain.bmp"));
    ASSERT_EQ(run(path("lens.bmp"), {c.option}), 0) << m_err;
    EXPECT_NE(m_err.find(c.note), std::string::npos) << m_err;
    const auto lens = readFile(path("lens.bmp"));
    if (c.corrected) {
        EXPECT_NE(lens, expected);
    } else {
        EXPECT_EQ(lens, expected);
    }
    if (c.exiftoolArgs == nullptr) {
        EXPECT_EQ(expected, plain);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batch, BatchLens,
    testing::Values(
        LensCase{"off", nullptr, "--lens=off", false, ""},
        LensCase{"no_exif", nullptr, "--lens=auto", false,
                 "no lens correction: the photograph names no camera"},
        LensCase{"poly3", nullptr, "--lens=poly3:-0.05", true, "lens: poly3 with k1 = -0.05"},
        LensCase{"database_lens",
                 "-Make=Canon '-Model=Canon EOS 5D Mark II' '-LensModel=EF24-105mm f/4L IS USM' "
                 "-FocalLength=24",
                 "--lens=auto", true, "lens: Canon EF 24-105mm f/4L IS USM at 24 mm"},
        LensCase{"unknown_camera", "-Make=Velkor '-Model=Fassade 1' -FocalLength=24", "--lens=auto",
                 false, "the camera is not in the lens database"},
        LensCase{"no_focal_length",
                 "-Make=Canon '-Model=Canon EOS 5D Mark II' '-LensModel=EF24-105mm f/4L IS USM'",
                 "--lens=auto", false, "the photograph gives no focal length"},
        LensCase{"hostile_exif", "", "--lens=auto", false, "no lens correction"}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
