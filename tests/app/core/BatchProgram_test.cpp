// The real program in batch mode, started as a child process without a
// display: a photograph of a tilted facade with known cells is rectified and
// compared with the facade seen straight on.

#include "TestSupport.h"
#include "pixkit/ImageFile.h"
#include "testsupport/ChildProcess.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

using testsupport::Picture;
using testsupport::runProgram;

const std::string Program = FASSADENPLAN_EXE;

// ---------------------------------------------------------------- the facade

// Front view: 8 x 6 cells of 50 pixels, each its own colour.
constexpr int CellPx = 50;
constexpr int FrontW = 8 * CellPx;
constexpr int FrontH = 6 * CellPx;

pixkit::Colour cellColour(int cx, int cy) {
    return pixkit::rgb(static_cast<std::uint8_t>(20 + 30 * cx),
                       static_cast<std::uint8_t>(20 + 40 * cy),
                       static_cast<std::uint8_t>(((cx + 2 * cy) % 4) * 70 + 10));
}

pixkit::Colour frontColour(double fx, double fy) {
    return cellColour(static_cast<int>(fx) / CellPx, static_cast<int>(fy) / CellPx);
}

// Distance of a front-view position from the nearest cell border, in front pixels.
double borderDistance(double fx, double fy) {
    const double dx = std::fmod(fx, CellPx), dy = std::fmod(fy, CellPx);
    return std::min({dx, CellPx - dx, dy, CellPx - dy});
}

struct Vec {
    double x, y, z;
};
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec operator*(double s, Vec a) {
    return {s * a.x, s * a.y, s * a.z};
}
double dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The facade on a plane turned about X by angleX, then about Y by angleY,
// seen by a pinhole camera with a focal distance of 1000 pixels. Camera x
// points to the left of the photograph and camera y to its top.
struct Scene {
    double angleXDeg, angleYDeg;
    int photoW = 1000, photoH = 800;
    Vec centre{0.0, 0.0, 2400.0}; // the facade's centre, in front of the camera
    double unitsPerPx = 2.5;      // facade size per front-view pixel

    double cx() const { return photoW / 2.0; }
    double cy() const { return photoH / 2.0; }
    Vec e1() const {
        const double b = angleYDeg * M_PI / 180.0;
        return {std::cos(b), 0.0, -std::sin(b)};
    }
    Vec e2() const {
        const double a = angleXDeg * M_PI / 180.0, b = angleYDeg * M_PI / 180.0;
        return {std::sin(a) * std::sin(b), std::cos(a), std::sin(a) * std::cos(b)};
    }
    // Front-view right is photograph right, that is camera -x; down is camera -y.
    Vec onFacade(double fx, double fy) const {
        return centre - ((fx - FrontW / 2.0) * unitsPerPx) * e1() -
               ((fy - FrontH / 2.0) * unitsPerPx) * e2();
    }
    void toPhoto(Vec p, double& x, double& y) const {
        x = cx() - 1000.0 * p.x / p.z;
        y = cy() - 1000.0 * p.y / p.z;
    }

    // Every photograph pixel looks along its ray onto the facade plane.
    Picture photograph() const {
        Picture pic{photoW, photoH,
                    std::vector<pixkit::Colour>(static_cast<std::size_t>(photoW * photoH))};
        const Vec a = e1(), b = e2();
        const Vec n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
        for (int y = 0; y < photoH; ++y)
            for (int x = 0; x < photoW; ++x) {
                const Vec ray{cx() - x, cy() - y, 1000.0};
                const Vec p = (dot(n, centre) / dot(n, ray)) * ray;
                const Vec d = p - centre;
                const double fx = FrontW / 2.0 - dot(d, a) / unitsPerPx;
                const double fy = FrontH / 2.0 - dot(d, b) / unitsPerPx;
                const bool inside = fx >= 0 && fy >= 0 && fx < FrontW && fy < FrontH;
                pic.set(x, y, inside ? frontColour(fx, fy) : pixkit::rgb(128, 128, 128));
            }
        return pic;
    }

    // The four facade corners in the photograph: top left, top right,
    // bottom right, bottom left, with two decimals as a user might type them.
    std::vector<std::string> corners() const {
        std::vector<std::string> out;
        const double fs[4][2] = {{0, 0}, {FrontW, 0}, {FrontW, FrontH}, {0, FrontH}};
        for (const auto& f : fs) {
            double x = 0, y = 0;
            toPhoto(onFacade(f[0], f[1]), x, y);
            char buf[2][32];
            std::snprintf(buf[0], sizeof buf[0], "%.2f", x);
            std::snprintf(buf[1], sizeof buf[1], "%.2f", y);
            out.push_back(buf[0]);
            out.push_back(buf[1]);
        }
        return out;
    }
};

void savePicture(const Picture& p, const std::string& file) {
    pixkit::DibHolder d;
    pixkit::newdib(d.get(), p.width, p.height, 24, nullptr, 0);
    ASSERT_FALSE(d.empty());
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            pixkit::setpixel(d.get(), x, y, p.at(x, y));
    const pixkit::WriteResult r = pixkit::WriteDib(d.get(), file);
    ASSERT_TRUE(r.ok) << r.error;
}

int colourDistance(pixkit::Colour a, pixkit::Colour b) {
    return std::max({std::abs(pixkit::redOf(a) - pixkit::redOf(b)),
                     std::abs(pixkit::greenOf(a) - pixkit::greenOf(b)),
                     std::abs(pixkit::blueOf(a) - pixkit::blueOf(b))});
}

std::map<std::string, std::string> quietHome(const QTemporaryDir& home) {
    return {{"HOME", home.path().toStdString()},
            {"XDG_CONFIG_HOME", home.filePath("config").toStdString()},
            {"XDG_DATA_HOME", home.filePath("data").toStdString()},
            {"LC_ALL", "C"}};
}

// ---------------------------------------------------------------- end to end

struct TiltCase {
    const char* name;
    double angleXDeg, angleYDeg;
    bool realSizeGiven; // 12 parameters; otherwise 10 and the width is preset
};
void PrintTo(const TiltCase& c, std::ostream* os) {
    *os << c.name;
}
class RectifyFacade : public testing::TestWithParam<TiltCase> {};

TEST_P(RectifyFacade, GivesTheFrontView) {
    const TiltCase& c = GetParam();
    QTemporaryDir work, home;
    const Scene scene{c.angleXDeg, c.angleYDeg};
    const std::string photo = work.filePath("facade.png").toStdString();
    const std::string out = work.filePath("front.bmp").toStdString();
    savePicture(scene.photograph(), photo);

    std::vector<std::string> args{photo};
    for (const std::string& s : scene.corners())
        args.push_back(s);
    args.push_back(out);
    if (c.realSizeGiven) {
        args.push_back(std::to_string(FrontW * 2)); // cm: only the ratio matters
        args.push_back(std::to_string(FrontH * 2));
    }
    const auto r = runProgram(Program, args, quietHome(home), work.path().toStdString());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(out), std::string::npos) << r.out;

    pixkit::DibHolder result;
    pixkit::OpenDib(result.get(), out);
    ASSERT_FALSE(result.empty());
    const Picture got = testsupport::toPicture(result.get());
    // The real aspect, given or found from the tilt, is 4 : 3.
    EXPECT_NEAR(static_cast<double>(got.width) / got.height, 4.0 / 3.0, 0.03)
        << got.width << " x " << got.height;

    // Tolerance: at least 95 % of the pixels more than 3 front pixels away
    // from a cell border carry their cell's colour within 8 levels.
    int compared = 0, matching = 0;
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) {
            const double fx = (x + 0.5) * FrontW / got.width, fy = (y + 0.5) * FrontH / got.height;
            if (borderDistance(fx, fy) <= 3.0)
                continue;
            ++compared;
            if (colourDistance(got.at(x, y), frontColour(fx, fy)) <= 8)
                ++matching;
        }
    ASSERT_GT(compared, got.width * got.height / 2);
    EXPECT_GE(matching, compared * 95 / 100) << matching << " of " << compared << " pixels match";
}

INSTANTIATE_TEST_SUITE_P(Batch, RectifyFacade,
                         testing::Values(TiltCase{"tilted_real_size", 15.0, -20.0, true},
                                         TiltCase{"tilted_width_preset", 15.0, -20.0, false},
                                         TiltCase{"other_way_real_size", -12.5, 25.0, true},
                                         TiltCase{"upright_width_preset", 0.0, 0.0, false}),
                         [](const testing::TestParamInfo<TiltCase>& i) {
                             return std::string(i.param.name);
                         });

// ---------------------------------------------------------------- the program around it

TEST(BatchProgram, HelpAndVersionNeedNoDisplay) {
    QTemporaryDir work, home;
    const auto help = runProgram(Program, {"--help"}, quietHome(home), work.path().toStdString());
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_NE(help.out.find("Exit codes"), std::string::npos);
    EXPECT_NE(help.out.find("photograph x0 y0 x1 y1 x2 y2 x3 y3 output"), std::string::npos);
    const auto version =
        runProgram(Program, {"--version"}, quietHome(home), work.path().toStdString());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Fassadenplan 1.0.0\n");
}

// Fewer than ten parameters and no display: a message with the usage and
// exit code 1, neither Qt's abort nor a window shown nowhere that never ends.
struct NoDisplayCase {
    const char* name;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
};
void PrintTo(const NoDisplayCase& c, std::ostream* os) {
    *os << c.name;
}
class NoDisplay : public testing::TestWithParam<NoDisplayCase> {};

TEST_P(NoDisplay, EndsWithUsageAndExitCodeOne) {
    QTemporaryDir work, home;
    auto env = quietHome(home);
    env.insert(GetParam().env.begin(), GetParam().env.end());
    const auto r = runProgram(Program, GetParam().args, env, work.path().toStdString(), 20);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("there is no display for the window"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Exit codes"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Start, NoDisplay,
    testing::Values(NoDisplayCase{"no_parameter", {}, {}},
                    NoDisplayCase{"photograph_only", {"photo.jpg"}, {}},
                    NoDisplayCase{
                        "nine_parameters", {"p", "1", "2", "3", "4", "5", "6", "7", "8"}, {}},
                    NoDisplayCase{"offscreen_platform", {}, {{"QT_QPA_PLATFORM", "offscreen"}}},
                    NoDisplayCase{"xcb_without_display", {"p"}, {{"QT_QPA_PLATFORM", "xcb"}}}),
    [](const testing::TestParamInfo<NoDisplayCase>& i) { return std::string(i.param.name); });

// File names that are no UTF-8 pass from the command line to the file
// system unchanged, for the photograph and for the output.
TEST(BatchProgram, FileNamesThatAreNoUtf8KeepTheirBytes) {
    QTemporaryDir work, home;
    const Scene scene{0.0, 0.0};
    const std::string photo = work.path().toStdString() + "/facade\xff\xfe.bmp";
    savePicture(scene.photograph(), photo);
    const std::string out = work.path().toStdString() + "/out\xff\xfe.bmp";
    const auto r =
        runProgram(Program, {photo, "100", "100", "300", "100", "300", "200", "100", "200", out},
                   quietHome(home), work.path().toStdString(), 120);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(testsupport::fileExists(out));
    // QTemporaryDir cannot name these files to remove them.
    ::unlink(photo.c_str());
    ::unlink(out.c_str());
}

// Neither the per-user store nor options.dat is created or changed; an
// existing store is only read: its JPEG quality makes the JPEG small or large.
TEST(BatchProgram, ReadsTheStoredQualityAndWritesNoSettings) {
    QTemporaryDir work, home;
    const Scene scene{10.0, 10.0};
    const std::string photo = work.filePath("facade.bmp").toStdString();
    savePicture(scene.photograph(), photo);
    std::vector<std::string> args{photo};
    for (const std::string& s : scene.corners())
        args.push_back(s);

    // No store at all: nothing may appear below HOME.
    args.push_back(work.filePath("plain.jpg").toStdString());
    auto r = runProgram(Program, args, quietHome(home), work.path().toStdString());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(testsupport::listTree(home.path().toStdString()).empty());
    const auto defaultSize = testsupport::readFile(work.filePath("plain.jpg").toStdString()).size();

    const std::map<std::string, int> sizes = [&] {
        std::map<std::string, int> s;
        for (const char* q : {"5", "100"}) {
            const std::string ini = "[TJPEGQualForm]\nQualEd_Value=" + std::string(q) + "\n";
            QDir(home.path()).mkpath("config/Velkor");
            const std::string store = home.filePath("config/Velkor/fassadenplan.ini").toStdString();
            testsupport::writeFile(store, std::vector<std::uint8_t>(ini.begin(), ini.end()));
            const auto treeBefore = testsupport::listTree(home.path().toStdString());
            args.back() = work.filePath(("q" + std::string(q) + ".JPG").c_str()).toStdString();
            const auto run = runProgram(Program, args, quietHome(home), work.path().toStdString());
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(testsupport::listTree(home.path().toStdString()), treeBefore);
            const auto after = testsupport::readFile(store);
            EXPECT_EQ(std::string(after.begin(), after.end()), ini);
            s[q] = static_cast<int>(testsupport::readFile(args.back()).size());
        }
        return s;
    }();
    EXPECT_LT(sizes.at("5") * 2, sizes.at("100"));
    EXPECT_LT(static_cast<int>(defaultSize), sizes.at("100"));
    EXPECT_GT(static_cast<int>(defaultSize), sizes.at("5"));
}

// Corners are typed in the user's locale; a "." is taken as well.
struct LocaleCase {
    const char* name;
    const char* locale;
    const char* cornerX;
    int exitCode;
};
void PrintTo(const LocaleCase& c, std::ostream* os) {
    *os << c.name;
}
class BatchLocale : public testing::TestWithParam<LocaleCase> {};

TEST_P(BatchLocale, ReadsCornersInTheUsersLocale) {
    QTemporaryDir work, home;
    const std::string photo = work.filePath("wall.bmp").toStdString();
    savePicture(Scene{0.0, 0.0}.photograph(), photo);
    const std::string out = work.filePath("out.bmp").toStdString();
    auto env = quietHome(home);
    env["LC_ALL"] = GetParam().locale;
    const auto r = runProgram(
        Program, {photo, GetParam().cornerX, "200", "700", "200", "700", "600", "300", "600", out},
        env, work.path().toStdString());
    EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
    EXPECT_EQ(testsupport::fileExists(out), GetParam().exitCode == 0);
}

INSTANTIATE_TEST_SUITE_P(Batch, BatchLocale,
                         testing::Values(LocaleCase{"german_comma", "de_DE.UTF-8", "300,5", 0},
                                         LocaleCase{"german_point", "de_DE.UTF-8", "300.5", 0},
                                         LocaleCase{"c_point", "C", "300.5", 0},
                                         LocaleCase{"c_comma", "C", "300,5", 2}),
                         [](const testing::TestParamInfo<LocaleCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(BatchProgram, FailureEndsWithoutDisplayAndWithoutFile) {
    QTemporaryDir work, home;
    const std::string out = work.filePath("never.bmp").toStdString();
    const auto r = runProgram(Program,
                              {work.filePath("nothing.jpg").toStdString(), "1", "1", "50", "1",
                               "50", "40", "1", "40", out, "100", "80", "100"},
                              quietHome(home), work.path().toStdString());
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("nothing.jpg"), std::string::npos) << r.err;
    EXPECT_FALSE(testsupport::fileExists(out));
    EXPECT_TRUE(testsupport::listTree(home.path().toStdString()).empty());
}

} // namespace

namespace {

// The program decides on the batch by the parameters that are not options:
// ten of them and a threshold in front run the batch and write a drawing.
// The newspaper has no second peak in its greys (D 255), so the threshold
// must be low for the print to come out black.
TEST(BatchProgram, DxfDrawingWithThresholdNeedsNoDisplay) {
    QTemporaryDir work, home;
    const std::string photo = std::string(FP_TEST_DATA_DIR) + "/sudoku.png";
    const std::string out = work.filePath("sudoku.dxf").toStdString();
    const auto r = runProgram(Program,
                              {"--threshold=20", photo, "72", "84", "492", "69", "520", "521", "35",
                               "517", out, "30", "30"},
                              quietHome(home), work.path().toStdString());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("threshold 20 %"), std::string::npos) << r.out;
    const std::vector<std::uint8_t> bytes = testsupport::readFile(out);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.rfind(" 0\r\nSECTION\r\n", 0), 0u);
    EXPECT_NE(text.find("POLYLINE"), std::string::npos);
    EXPECT_TRUE(text.ends_with("  0\r\nEOF\r\n"));
}

} // namespace

namespace {

// The peak resident memory of the program run with `args` (posix_spawn
// copies no memory of the test into the child), in bytes; its exit code in
// `exitCode`.
std::uint64_t peakMemory(const std::vector<std::string>& args, int& exitCode) {
    std::vector<std::string> all{Program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, Program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    exitCode = -1;
    if (spawned != 0)
        return 0;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status))
        return 0;
    exitCode = WEXITSTATUS(status);
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

// A tiny photograph with a huge real width gives a result millions of pixels
// wide and one high. Its memory beyond that of a small run is bounded by the
// result and the BMP file built in memory (each 3 bytes a pixel) and a few
// MiB of tables and threads (each thread holds the tables of one block of
// columns, under 2 MiB); whole-width tables of doubles took 10 times the
// result.
TEST(BatchProgram, MemoryOfAWideResultIsBoundedByTheResult) {
    if (testsupport::addressSanitizerBuild())
        GTEST_SKIP() << "the sanitizer's shadow memory and quarantine hide the program's own";
    ::setenv("FASSADENPLAN_THREADS", "2", 1); // the bound below counts two threads' tables
    QTemporaryDir work;
    const std::string photo = work.filePath("tiny.bmp").toStdString();
    std::vector<std::uint32_t> colours;
    for (int i = 0; i < 32 * 24; ++i)
        colours.push_back(pixkit::rgb(static_cast<std::uint8_t>(i * 7), 90, 200));
    testsupport::writeFile(photo, testsupport::bmpBytes(32, 24, 24, colours, {}));
    const std::string out = work.filePath("wide.bmp").toStdString();
    auto run = [&](const char* realWidth, int& exitCode) {
        return peakMemory(
            {photo, "0", "0", "31", "0", "31", "23", "0", "23", out, realWidth, "5", "3"},
            exitCode);
    };
    int smallExit = -1, wideExit = -1;
    const std::uint64_t small = run("1000", smallExit);
    ASSERT_EQ(smallExit, 0);
    const std::uint64_t wide = run("4e7", wideExit);
    ASSERT_EQ(wideExit, 0);
    const std::uint64_t resultBytes = testsupport::readFile(out).size();
    ASSERT_GT(resultBytes, std::uint64_t{16} << 20); // millions of pixels
    EXPECT_LE(wide, small + 2 * resultBytes + (std::uint64_t{8} << 20))
        << "peak " << wide << " bytes, small run " << small << ", result " << resultBytes;
}

} // namespace
