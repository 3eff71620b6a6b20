#include "TestSupport.h"
#include "app/BatchMode.h"
#include "app/RectifiedOutput.h"
#include "app/UserStore.h"
#include "app/Workspace.h"
#include "lines/WorldFile.h"
#include "pixkit/ImageFile.h"
#include "testsupport/CaseNames.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::writeFile;

// ---------------------------------------------------------------- numbers

struct NumberCase {
    const char* locale;
    const char* text;
    std::optional<int> value;
};
void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << "'" << c.text << "' in " << c.locale;
}
class ParseRounded : public testing::TestWithParam<NumberCase> {};

TEST_P(ParseRounded, RoundsHalfToEvenInTheUsersLocale) {
    const NumberCase& c = GetParam();
    EXPECT_EQ(app::parseRounded(c.text, QLocale(QString::fromLatin1(c.locale))), c.value)
        << "'" << c.text << "' in " << c.locale;
}

INSTANTIATE_TEST_SUITE_P(
    Batch, ParseRounded,
    testing::Values(NumberCase{"C", "10.5", 10}, NumberCase{"C", "11.5", 12},
                    NumberCase{"C", "1234.5", 1234}, NumberCase{"C", "1235.5", 1236},
                    NumberCase{"C", "-2.5", -2}, NumberCase{"C", "-3.5", -4},
                    NumberCase{"C", " 42 ", 42}, NumberCase{"C", "7", 7},
                    NumberCase{"C", "1e3", 1000}, NumberCase{"de_DE", "10,5", 10},
                    NumberCase{"de_DE", "11,5", 12},
                    // The C locale's "." is taken when the user's locale rejects the text.
                    NumberCase{"de_DE", "10.5", 10}, NumberCase{"de_DE", "11.5", 12},
                    // No group separators: 1.234 is one and a bit, not a thousand.
                    NumberCase{"de_DE", "1.234", 1}, NumberCase{"en_US", "1,234", std::nullopt},
                    NumberCase{"C", "1,5", std::nullopt}, NumberCase{"C", "", std::nullopt},
                    NumberCase{"C", "abc", std::nullopt}, NumberCase{"C", "12abc", std::nullopt},
                    NumberCase{"C", "nan", std::nullopt}, NumberCase{"C", "inf", std::nullopt},
                    NumberCase{"C", "3e9", std::nullopt}, NumberCase{"C", "-3e9", std::nullopt},
                    NumberCase{"C", "1e400", std::nullopt}),
    testsupport::printed<NumberCase>());

// ---------------------------------------------------------------- output type

struct TypeCase {
    const char* file;
    bool accepted;
};
void PrintTo(const TypeCase& c, std::ostream* os) {
    *os << c.file;
}
class OutputType : public testing::TestWithParam<TypeCase> {};

TEST_P(OutputType, FollowsTheBatchList) {
    EXPECT_EQ(app::isBatchOutputType(GetParam().file), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(Batch, OutputType,
                         testing::Values(TypeCase{"out.bmp", true}, TypeCase{"out.JPG", true},
                                         TypeCase{"out.Tif", true}, TypeCase{"out.jp2", true},
                                         TypeCase{"a.b/out.rle", true}, TypeCase{"out.jpeg", true},
                                         TypeCase{"out.png", true}, TypeCase{"out.TIFF", true},
                                         TypeCase{"out.webp", true}, TypeCase{"out.jpe", true},
                                         TypeCase{"out.ppm", false}, TypeCase{"out.j2k", false},
                                         TypeCase{"out", false}, TypeCase{"dir.bmp/out", false},
                                         TypeCase{"out.bmp.txt", false}, TypeCase{"out.", false},
                                         TypeCase{"out.dxf", false}),
                         testsupport::printed<TypeCase>());

struct ThresholdCase {
    const char* option;
    std::optional<int> value;
};
void PrintTo(const ThresholdCase& c, std::ostream* os) {
    *os << c.option;
}
class Threshold : public testing::TestWithParam<ThresholdCase> {};

// Through the option table, as the command line takes it.
TEST_P(Threshold, IsAWholePercentFromOneTo99) {
    std::string_view value;
    const app::BatchOption* option = app::findBatchOption(GetParam().option, value);
    std::optional<int> taken;
    if (option != nullptr && option->name == "--threshold") {
        app::RectifyJob job;
        if (!option->take(value, job))
            taken = job.threshold;
    }
    EXPECT_EQ(taken, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Batch, Threshold,
    testing::Values(ThresholdCase{"--threshold=1", 1}, ThresholdCase{"--threshold=99", 99},
                    ThresholdCase{"--threshold=050", 50}, ThresholdCase{"--threshold=0", {}},
                    ThresholdCase{"--threshold=100", {}}, ThresholdCase{"--threshold=-5", {}},
                    ThresholdCase{"--threshold=+5", {}}, ThresholdCase{"--threshold= 5", {}},
                    ThresholdCase{"--threshold=5 ", {}}, ThresholdCase{"--threshold=5.0", {}},
                    ThresholdCase{"--threshold=", {}}, ThresholdCase{"--threshold", {}},
                    ThresholdCase{"--threshold=99999999999", {}},
                    ThresholdCase{"-threshold=5", {}}),
    testsupport::printed<ThresholdCase>());

TEST(BatchOptions, DxfOutputAndOptionsAreRecognised) {
    EXPECT_TRUE(app::isDxfOutput("plan.dxf"));
    EXPECT_TRUE(app::isDxfOutput("/a.b/PLAN.DXF"));
    EXPECT_TRUE(app::isDxfOutput("plan.Dxf"));
    EXPECT_FALSE(app::isDxfOutput("plan.dxf.bmp"));
    EXPECT_FALSE(app::isDxfOutput("dxf"));
    EXPECT_EQ(app::countBatchParameters({"a", "--threshold=5", "b", "--x"}), 2u);
    EXPECT_TRUE(app::isBatchOption("--threshold=5"));
    EXPECT_FALSE(app::isBatchOption("-5"));
}

// ---------------------------------------------------------------- stored JPEG quality

struct QualityCase {
    const char* stored; // nullptr: no store at all
    int quality;
    const char* version = nullptr; // FormVersion line, if any
};
void PrintTo(const QualityCase& c, std::ostream* os) {
    *os << (c.stored ? c.stored : "(none)");
}
class StoredQuality : public testing::TestWithParam<QualityCase> {};

TEST_P(StoredQuality, IsReadClampedAndNeverWritten) {
    QTemporaryDir dir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    const std::string store = dir.filePath("Velkor/fassadenplan.ini").toStdString();
    if (GetParam().stored != nullptr) {
        QDir(dir.path()).mkpath("Velkor");
        std::string text = std::string("[TJPEGQualForm]\nQualEd_Value=") + GetParam().stored + "\n";
        if (GetParam().version != nullptr)
            text += std::string("FormVersion=") + GetParam().version + "\n";
        writeFile(store, std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    const auto before = testsupport::listTree(dir.path().toStdString());
    const auto bytes = GetParam().stored != nullptr ? readFile(store) : std::vector<std::uint8_t>{};

    EXPECT_EQ(app::readJpegQuality(*app::openUserStore("fassadenplan")), GetParam().quality);

    EXPECT_EQ(testsupport::listTree(dir.path().toStdString()), before);
    if (GetParam().stored != nullptr) {
        EXPECT_EQ(readFile(store), bytes);
    }
}

// "Stored40Gives40", "StoredMinus5Gives1", "NoneGives90", ...
std::string qualityCaseName(const testing::TestParamInfo<QualityCase>& param) {
    const QualityCase& c = param.param;
    std::string name = c.stored == nullptr ? "None" : "Stored";
    for (const char* p = c.stored; p != nullptr && *p != '\0'; ++p)
        name += *p == '-' ? std::string("Minus") : std::string(1, *p);
    name += "Gives" + std::to_string(c.quality);
    if (c.version != nullptr)
        name += std::string("UnderVersion") + c.version;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Batch, StoredQuality,
                         testing::Values(QualityCase{nullptr, 90}, QualityCase{"40", 40},
                                         QualityCase{"100", 100}, QualityCase{"0", 1},
                                         QualityCase{"-5", 1}, QualityCase{"500", 100},
                                         QualityCase{"40", 40, "0"}, QualityCase{"40", 90, "3"},
                                         QualityCase{"abc", 90}),
                         qualityCaseName);

// ---------------------------------------------------------------- runs

// A 400 x 300 photograph whose pixel (x, y) has a colour made from x and y,
// so that every rectified pixel tells where it was read.
class BatchRun : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir;
        std::vector<std::uint32_t> px;
        for (int y = 0; y < PhotoH; ++y)
            for (int x = 0; x < PhotoW; ++x)
                px.push_back(photoColour(x, y));
        s_photo = s_dir->filePath("wall.bmp").toStdString();
        writeFile(s_photo, testsupport::bmpBytes(PhotoW, PhotoH, 24, px, {}));
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static pixkit::Colour photoColour(int x, int y) {
        return pixkit::rgb(static_cast<std::uint8_t>(x & 0xFF), static_cast<std::uint8_t>(y & 0xFF),
                           static_cast<std::uint8_t>((x >> 8) * 16 + (y >> 8)));
    }
    std::string path(const char* name) const { return m_dir.filePath(name).toStdString(); }

    int run(const std::vector<std::string>& params) {
        std::ostringstream out, err;
        const int code = app::runBatch(params, "/opt/velkor/fassadenplan", out, err);
        m_out = out.str();
        m_err = err.str();
        return code;
    }

    static constexpr int PhotoW = 400;
    static constexpr int PhotoH = 300;
    static inline QTemporaryDir* s_dir = nullptr;
    static inline std::string s_photo;
    QTemporaryDir m_dir;
    std::string m_out, m_err;
};

// Corners of an upright rectangle, 201 x 101 pixels with its edges.
const std::vector<std::string> Upright = {"100", "100", "300", "100", "300", "200", "100", "200"};

struct CountCase {
    const char* name;
    std::vector<std::string> corners;
    std::vector<std::string> extra; // parameters 11, 12, ...
    int width, height;              // of the rectified image
    int originX, originY;           // where the corner (100, 100) lands; -1: outside
};
void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.name;
}
class BatchCount : public BatchRun, public testing::WithParamInterface<CountCase> {};

TEST_P(BatchCount, MakesTheImageOfTheParameters) {
    const CountCase& c = GetParam();
    const std::string out = path("result.bmp");
    std::vector<std::string> params{s_photo};
    params.insert(params.end(), c.corners.begin(), c.corners.end());
    params.push_back(out);
    params.insert(params.end(), c.extra.begin(), c.extra.end());

    ASSERT_EQ(run(params), 0) << m_err;
    EXPECT_TRUE(m_err.empty()) << m_err;
    EXPECT_NE(m_out.find(out), std::string::npos) << m_out;
    EXPECT_NE(m_out.find(std::to_string(c.width) + " x " + std::to_string(c.height)),
              std::string::npos)
        << m_out;

    pixkit::DibHolder result;
    pixkit::OpenDib(result.get(), out);
    ASSERT_FALSE(result.empty());
    EXPECT_EQ(pixkit::dibwidth(result.get()), c.width);
    EXPECT_EQ(pixkit::dibheight(result.get()), c.height);
    // The tilt of an upright rectangle is none: the corner reads its own pixel.
    if (c.originX >= 0) {
        EXPECT_EQ(pixkit::getpixel(result.get(), c.originX, c.originY), photoColour(100, 100));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batch, BatchCount,
    testing::Values(
        // Width preset from the tilt (height 1000, edges 200 : 100) -> 2000 x 1000 cm.
        CountCase{"ten", Upright, {}, 202, 101, 0, 0},
        CountCase{"eleven_alone_ignored", Upright, {"junk"}, 202, 101, 0, 0},
        CountCase{"ten_corners_rounded",
                  {"99.5", "100.5", "300.5", "99.5", "300", "200.5", "100", "199.5"},
                  {},
                  202,
                  101,
                  0,
                  0},
        // 2000.5 -> 2000 and 1000.5 -> 1000 (halves to even) give 202 x 101; 2001 x 1001 would give
        // 201 x 101.
        CountCase{"twelve_rounded", Upright, {"2000.5", "1000.5"}, 202, 101, 0, 0},
        CountCase{"twelve", Upright, {"1234.5", "1235.5"}, 201, 201, 0, 0},
        // Area 150.5 -> 150: 303 x 152, the rectangle shifted by (50, 25).
        CountCase{"thirteen_area_rounded", Upright, {"2000", "1000", "150.5"}, 303, 152, 50, 25},
        CountCase{"fourteen_ignored", Upright, {"2000", "1000", "150", "junk"}, 303, 152, 50, 25},
        // The smallest area the field takes: 1 %, a 2 x 1 image.
        CountCase{"area_field_minimum", Upright, {"2000", "1000", "1"}, 2, 1, -1, -1},
        // Options between the parameters, with their values as the next word.
        CountCase{"options_as_two_words",
                  {"100", "100", "--png-level", "9", "300", "100", "300", "200", "100", "200"},
                  {"--threads", "3", "2000", "1000"},
                  202,
                  101,
                  0,
                  0}),
    [](const testing::TestParamInfo<CountCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------- shortcut

// With the real size given, the batch's first run of image 1 stops before its
// resampling, since the second run makes the same image. The written file
// must be the very file of the two full runs, byte for byte.
struct ShortcutCase {
    const char* name;
    std::vector<std::string> extra; // parameters 11, 12, ...
    const char* output;
};
void PrintTo(const ShortcutCase& c, std::ostream* os) {
    *os << c.name;
}
class BatchShortcut : public BatchRun, public testing::WithParamInterface<ShortcutCase> {};

TEST_P(BatchShortcut, WritesTheFileOfTwoFullRuns) {
    const ShortcutCase& c = GetParam();
    // A quad seen at an angle, so that the image depends on the searched pose.
    const rectify::Corners corners{{{60, 50}, {350, 80}, {330, 260}, {40, 240}}};
    std::vector<std::string> params{s_photo};
    for (const rectify::TPoint& p : corners) {
        params.push_back(std::to_string(p.x));
        params.push_back(std::to_string(p.y));
    }
    const std::string batchFile = path((std::string("batch") + c.output).c_str());
    params.push_back(batchFile);
    params.insert(params.end(), c.extra.begin(), c.extra.end());
    ASSERT_EQ(run(params), 0) << m_err;

    // The same batch step by step, every run complete, as the window makes them.
    const pixkit::Image photo = app::openAs24(s_photo);
    ASSERT_FALSE(photo.empty());
    rectify::RunRequest request;
    request.source = &photo.get();
    request.corners = corners;
    request.cornersComplete = true;
    if (c.extra.size() >= 2) {
        request.realWidthCm = std::stod(c.extra[0]);
        request.realHeightCm = std::stod(c.extra[1]);
    } else {
        request.presetWidth = true;
    }
    if (c.extra.size() >= 3)
        request.areaPercent = std::stoi(c.extra[2]);
    rectify::RunResult first = rectify::run(request);
    if (first.presetWidthCm) // the width field's two decimals
        request.realWidthCm = std::nearbyint(*first.presetWidthCm * 100.0) / 100.0;
    request.presetWidth = request.presetWidth && !first.presetConsumed;
    EXPECT_EQ(first.end,
              c.extra.size() >= 2 ? rectify::RunEnd::Done : rectify::RunEnd::WidthPreset);
    rectify::RunResult second = rectify::run(request);
    ASSERT_EQ(second.end, rectify::RunEnd::Done);
    const std::string fullFile = path((std::string("full") + c.output).c_str());
    // With the real scale in the file, as the batch writes it: exact where
    // the format holds fractions.
    app::SetRealScale(second.image.get(), request.realWidthCm, request.areaPercent);
    pixkit::WriteOptions options;
    options.jpegQuality = app::readJpegQuality(*app::openUserStore("fassadenplan"));
    const auto perCm =
        lines::PixelsPerCm(request.realWidthCm, request.areaPercent, second.image.width());
    ASSERT_TRUE(perCm.has_value());
    options.density = {*perCm, *perCm};
    ASSERT_TRUE(pixkit::WriteDib(second.image, fullFile, options).ok);

    const std::vector<std::uint8_t> written = readFile(batchFile);
    EXPECT_GT(written.size(), 1000u);
    EXPECT_TRUE(written == readFile(fullFile));
}

INSTANTIATE_TEST_SUITE_P(
    Batch, BatchShortcut,
    testing::Values(ShortcutCase{"twelve_jpeg", {"900", "600"}, ".jpg"},
                    ShortcutCase{"twelve_bitmap", {"900", "600"}, ".bmp"},
                    ShortcutCase{"thirteen_with_margin", {"700", "650", "130"}, ".bmp"},
                    ShortcutCase{"thirteen_cropped", {"700", "650", "80"}, ".tga"},
                    // No real size: the first run presets the width, nothing is skipped.
                    ShortcutCase{"ten_width_preset", {}, ".bmp"}),
    [](const testing::TestParamInfo<ShortcutCase>& i) { return std::string(i.param.name); });

// Jobs share nothing: several at once, each on its own thread, write the
// very files that one job after the other writes, and report the same.
TEST_F(BatchRun, JobsRunOnSeveralThreadsAtOnce) {
    struct Variant {
        const char* output;
        std::optional<double> width, height;
        rectify::Interpolation sampling;
        bool worldFile;
    };
    const Variant variants[] = {
        {"preset.bmp", std::nullopt, std::nullopt, rectify::Interpolation::Nearest, false},
        {"sized.jpg", 900.0, 600.0, rectify::Interpolation::Bilinear, false},
        {"world.png", 700.0, 650.0, rectify::Interpolation::Bicubic, true},
        {"drawing.dxf", 900.0, 600.0, rectify::Interpolation::Nearest, false}};
    auto job = [&](const Variant& v, const char* prefix) {
        app::RectifyJob j;
        j.photo = s_photo;
        j.corners = {{{60, 50}, {350, 80}, {330, 260}, {40, 240}}};
        j.output = path((std::string(prefix) + v.output).c_str());
        j.realWidthCm = v.width;
        j.realHeightCm = v.height;
        j.sampling = v.sampling;
        j.worldFile = v.worldFile;
        j.threshold = 35;
        return j;
    };
    std::vector<app::JobOutcome> one, many(std::size(variants));
    for (const Variant& v : variants)
        one.push_back(app::runJob(job(v, "one_")));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < std::size(variants); ++i)
        threads.emplace_back([&, i] { many[i] = app::runJob(job(variants[i], "many_")); });
    for (std::thread& t : threads)
        t.join();

    for (std::size_t i = 0; i < std::size(variants); ++i) {
        SCOPED_TRACE(variants[i].output);
        ASSERT_TRUE(one[i].ok()) << one[i].message;
        ASSERT_TRUE(many[i].ok()) << many[i].message;
        EXPECT_GT(one[i].width, 0);
        EXPECT_EQ(many[i].width, one[i].width);
        EXPECT_EQ(many[i].height, one[i].height);
        EXPECT_EQ(many[i].angleXDeg, one[i].angleXDeg);
        EXPECT_EQ(many[i].angleYDeg, one[i].angleYDeg);
        EXPECT_EQ(many[i].pixelsPerCm, one[i].pixelsPerCm);
        EXPECT_EQ(many[i].segments, one[i].segments);
        const auto bytes = readFile(path((std::string("one_") + variants[i].output).c_str()));
        EXPECT_GT(bytes.size(), 100u);
        EXPECT_TRUE(bytes == readFile(path((std::string("many_") + variants[i].output).c_str())));
    }
    EXPECT_GT(one[3].segments, 0u);
    EXPECT_TRUE(readFile(path("one_world.pgw")) == readFile(path("many_world.pgw")));
}

struct FailCase {
    const char* name;
    std::vector<std::string> params; // "{photo}", "{out}", "{dir}" are filled in
    int exitCode;
    const char* message; // part of the error message
};
void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.name;
}
class BatchFailure : public BatchRun, public testing::WithParamInterface<FailCase> {};

TEST_P(BatchFailure, ReportsAndWritesNothing) {
    const FailCase& c = GetParam();
    writeFile(path("garbage.jpg"), {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    ASSERT_EQ(::mkfifo(path("fifo.bmp").c_str(), 0600), 0);
    std::vector<std::string> params;
    std::string out;
    for (std::string p : c.params) {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"{photo}", s_photo},
                                         {"{dir}", m_dir.path().toStdString()}}) {
            const auto at = p.find(key);
            if (at != std::string::npos)
                p.replace(at, key.size(), value);
        }
        params.push_back(p);
    }
    if (params.size() >= 10)
        out = params[9];
    // An earlier result in the output's place must survive the failure.
    const std::vector<std::uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    const bool hadEarlier = !out.empty() && out.find("/nodir/") == std::string::npos;
    if (hadEarlier)
        writeFile(out, earlier);

    EXPECT_EQ(run(params), c.exitCode);
    EXPECT_NE(m_err.find(c.message), std::string::npos) << m_err;
    EXPECT_TRUE(m_out.empty()) << m_out;
    if (hadEarlier) {
        EXPECT_EQ(readFile(out), earlier);
    } else if (!out.empty()) {
        EXPECT_FALSE(fileExists(out));
    }
}

// Shorthand for a full parameter list with one parameter replaced.
std::vector<std::string> with(std::size_t n, const std::string& value,
                              std::vector<std::string> extra = {}) {
    std::vector<std::string> p{"{photo}", "100", "100", "300", "100",
                               "300",     "200", "100", "200", "{dir}/out.bmp"};
    p.insert(p.end(), extra.begin(), extra.end());
    p[n - 1] = value;
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Batch, BatchFailure,
    testing::Values(
        FailCase{"too_few",
                 {"{photo}", "1", "2", "3", "4", "5", "6", "7", "8"},
                 1,
                 "at least 10 parameters"},
        FailCase{"photo_missing", with(1, "{dir}/missing.jpg"), 3, "missing.jpg"},
        FailCase{"photo_not_an_image", with(1, "{dir}/garbage.jpg"), 3,
                 "cannot open the photograph"},
        // Formats that are read but never written.
        FailCase{"output_ppm", with(10, "{dir}/out.ppm"), 4, "out.ppm"},
        FailCase{"output_j2k", with(10, "{dir}/out.j2k"), 4, "out.j2k"},
        FailCase{"output_without_type", with(10, "{dir}/out"), 4, "parameter 10 (output file)"},
        FailCase{"corner_not_a_number", with(4, "12abc"), 2,
                 "parameter 4 (corner 1 x) is not a number"},
        FailCase{"corner_empty", with(9, ""), 2, "parameter 9 (corner 3 y)"},
        FailCase{"corner_out_of_range", with(2, "1e12"), 2, "parameter 2 (corner 0 x)"},
        FailCase{"width_not_a_number", with(11, "wide", {"1", "1000"}), 2,
                 "parameter 11 (real width)"},
        FailCase{"height_not_a_number", with(12, "nan", {"1000", "1"}), 2,
                 "parameter 12 (real height)"},
        FailCase{"area_not_a_number", with(13, "x", {"1000", "1000", "1"}), 2,
                 "parameter 13 (calculation area)"},
        FailCase{"corners_coincide", with(4, "100", {}), 5, "same point"},
        FailCase{
            "corners_on_one_row",
            {"{photo}", "100", "100", "300", "100", "200", "100", "150", "100", "{dir}/out.bmp"},
            5,
            "no rectified image"},
        FailCase{"real_height_zero", with(12, "0", {"1000", "1"}), 5, "no rectified image for '"},
        FailCase{"real_height_zero_says_why", with(12, "0", {"1000", "1"}), 5,
                 "real width and height must be positive"},
        FailCase{"real_width_negative", with(11, "-500", {"1", "1000"}), 5,
                 "real width and height must be positive"},
        FailCase{"real_height_negative", with(12, "-1", {"1000", "1"}), 5,
                 "real width and height must be positive"},
        // 10000 % of an upright 201 x 201 result.
        FailCase{"result_over_pixel_limit", with(13, "10000", {"1000", "1000", "1"}), 5,
                 "the rectified image would have 20100 \u00d7 20100 pixels, more than the limit "
                 "of 268 million"},
        FailCase{"result_without_pixel",
                 {"{photo}", "100", "100", "103", "100", "103", "103", "100", "103",
                  "{dir}/out.bmp", "1000", "1000", "1"},
                 5,
                 "would have no pixel"},
        // Special files as the photograph: refused at once, a FIFO never waits.
        FailCase{"photo_fifo", with(1, "{dir}/fifo.bmp"), 3, "cannot open the photograph"},
        FailCase{"photo_folder", with(1, "{dir}"), 3, "cannot open the photograph"},
        FailCase{"photo_device", with(1, "/dev/zero"), 3, "cannot open the photograph"},
        FailCase{"folder_missing", with(10, "{dir}/nodir/out.bmp"), 6, "cannot write"},
        // Line drawings: the threshold is checked before anything is read.
        FailCase{"threshold_zero", with(10, "{dir}/out.dxf", {"--threshold=0"}), 2, "threshold"},
        FailCase{"threshold_hundred", with(10, "{dir}/out.dxf", {"--threshold=100"}), 2,
                 "from 1 to 99"},
        FailCase{"threshold_fraction", with(10, "{dir}/out.dxf", {"--threshold=5.5"}), 2,
                 "'--threshold=5.5'"},
        FailCase{"threshold_empty", with(10, "{dir}/out.dxf", {"--threshold="}), 2, "threshold"},
        FailCase{"unknown_option", with(10, "{dir}/out.dxf", {"--treshold=40"}), 1,
                 "unknown option '--treshold=40'"},
        FailCase{"unknown_option_two_words", with(10, "{dir}/out.dxf", {"--treshold", "40"}), 1,
                 "unknown option '--treshold'"},
        // The calculation area keeps the field's limits.
        FailCase{"area_zero", with(13, "0", {"1000", "1000", "1"}), 2,
                 "parameter 13 (calculation area) must be from 1 to 10000: '0'"},
        FailCase{"area_negative", with(13, "-50", {"1000", "1000", "1"}), 2,
                 "parameter 13 (calculation area) must be from 1 to 10000: '-50'"},
        FailCase{"area_over_limit", with(13, "10001", {"1000", "1000", "1"}), 2,
                 "parameter 13 (calculation area)"},
        // A bad value of any option names the option; nothing is read or written.
        FailCase{"dxf_format", with(10, "{dir}/out.dxf", {"--dxf-format=dwg"}), 2,
                 "the DXF format must be plain or cad: '--dxf-format=dwg'"},
        FailCase{"units", with(10, "{dir}/out.dxf", {"--units", "inch"}), 2,
                 "the units must be auto, mm, cm or m: '--units=inch'"},
        FailCase{"units_capital", with(10, "{dir}/out.dxf", {"--units=CM"}), 2, "'--units=CM'"},
        FailCase{"min_size_negative", with(10, "{dir}/out.dxf", {"--min-size=-1"}), 2,
                 "the minimum size must be a whole number from 0 to 100000"},
        FailCase{"min_size_over", with(10, "{dir}/out.dxf", {"--min-size=100001"}), 2,
                 "'--min-size=100001'"},
        FailCase{"quality_zero", with(10, "{dir}/out.jpg", {"--quality=0"}), 2,
                 "the quality must be a whole number from 1 to 100: '--quality=0'"},
        FailCase{"quality_over", with(10, "{dir}/out.webp", {"--quality", "101"}), 2,
                 "'--quality=101'"},
        FailCase{"png_level_over", with(10, "{dir}/out.png", {"--png-level=10"}), 2,
                 "the PNG level must be a whole number from 0 to 9: '--png-level=10'"},
        FailCase{"threads_zero", with(10, "{dir}/out.png", {"--threads=0"}), 2,
                 "the number of threads must be a whole number from 1 to 256: '--threads=0'"},
        FailCase{"threads_over", with(10, "{dir}/out.png", {"--threads=257"}), 2,
                 "'--threads=257'"},
        FailCase{"interpolation", with(10, "{dir}/out.png", {"--interpolation=lanczos"}), 2,
                 "'--interpolation=lanczos'"},
        FailCase{"value_missing_at_the_end", with(10, "{dir}/out.png", {"--quality"}), 2,
                 "the option --quality needs a value: --quality=N"},
        FailCase{"switch_with_value", with(10, "{dir}/out.png", {"--world-file=yes"}), 2,
                 "the option --world-file takes no value: '--world-file=yes'"},
        FailCase{"dxf_folder_missing", with(10, "{dir}/nodir/out.dxf"), 6, "cannot write"},
        FailCase{"dxf_photo_missing", with(1, "{dir}/missing.jpg", {"--threshold=20"}), 3,
                 "missing.jpg"}),
    [](const testing::TestParamInfo<FailCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------- display

struct DisplayCase {
    const char* name;
    const char* platform; // QT_QPA_PLATFORM
    const char* display;
    const char* wayland;
    bool shows;
};
void PrintTo(const DisplayCase& c, std::ostream* os) {
    *os << c.name;
}
class WindowDisplay : public testing::TestWithParam<DisplayCase> {};

TEST_P(WindowDisplay, NeedsTheDisplayOfItsPlatform) {
    const DisplayCase& c = GetParam();
    EXPECT_EQ(app::windowCanShow(c.platform, c.display, c.wayland), c.shows);
}

INSTANTIATE_TEST_SUITE_P(
    Start, WindowDisplay,
    testing::Values(DisplayCase{"nothing_set", "", "", "", false},
                    DisplayCase{"x11_display", "", ":0", "", true},
                    DisplayCase{"wayland_display", "", "", "wayland-0", true},
                    DisplayCase{"offscreen", "offscreen", ":0", "wayland-0", false},
                    DisplayCase{"minimal", "minimal", ":0", "", false},
                    DisplayCase{"xcb_without_display", "xcb", "", "wayland-0", false},
                    DisplayCase{"xcb_with_options", "xcb:nograb", ":1", "", true},
                    DisplayCase{"wayland_without_display", "wayland", ":0", "", false},
                    DisplayCase{"list_falls_back_to_xcb", "wayland;xcb", ":0", "", true},
                    DisplayCase{"framebuffer", "linuxfb", "", "", true}),
    [](const testing::TestParamInfo<DisplayCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------- output files

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A full disk (an output name linked to /dev/full) says why, naming the file once.
TEST_F(BatchRun, FullDiskSaysSoOnce) {
    const std::string out = path("full.bmp");
    ASSERT_EQ(::symlink("/dev/full", out.c_str()), 0);
    std::vector<std::string> params = with(10, out);
    params[0] = s_photo;
    EXPECT_EQ(run(params), 6);
    EXPECT_NE(m_err.find("no space left on device"), std::string::npos) << m_err;
    EXPECT_EQ(occurrences(m_err, "cannot write"), 1u) << m_err;
    EXPECT_EQ(occurrences(m_err, "full.bmp"), 1u) << m_err;
}

// A FIFO in the output's place is refused without waiting for a reader.
TEST_F(BatchRun, SpecialOutputFileIsRefused) {
    const std::string out = path("pipe.bmp");
    ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0);
    std::vector<std::string> params = with(10, out);
    params[0] = s_photo;
    EXPECT_EQ(run(params), 6);
    EXPECT_NE(m_err.find("no regular file"), std::string::npos) << m_err;
}

// Names that are no UTF-8 reach the file system with their own bytes, the
// photograph's as well as the output's.
TEST_F(BatchRun, FileNamesKeepTheirBytes) {
    const std::string photo = path("wall") + "\xff\xfe.bmp";
    writeFile(photo, readFile(s_photo));
    const std::string out = path("out") + "\xff\xfe\x80.bmp";
    std::vector<std::string> params = with(10, out);
    params[0] = photo;
    ASSERT_EQ(run(params), 0) << m_err;
    EXPECT_TRUE(fileExists(out));
    // Nothing else appeared beside them (no name with U+FFFD in it).
    EXPECT_EQ(testsupport::listTree(m_dir.path().toStdString()).size(), 2u);
    // QTemporaryDir cannot name these files to remove them.
    ::unlink(photo.c_str());
    ::unlink(out.c_str());
}

// ---------------------------------------------------------------- line drawings

std::vector<std::string> dxfLines(const std::vector<std::uint8_t>& bytes) {
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            ADD_FAILURE() << "line without CR LF";
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// A light wall with a dark frame and a cross inside the marked rectangle,
// and a grey patch that only a low threshold separates from the wall.
class BatchDrawing : public BatchRun {
protected:
    void SetUp() override {
        std::vector<std::uint32_t> px;
        for (int y = 0; y < PhotoH; ++y)
            for (int x = 0; x < PhotoW; ++x) {
                const bool patch = x >= 140 && x <= 160 && y >= 160 && y <= 170;
                const std::uint8_t v = testsupport::onWallDrawing(x, y) ? 40 : patch ? 190 : 220;
                px.push_back(pixkit::rgb(v, v, v));
            }
        m_photo = path("drawing.bmp");
        writeFile(m_photo, testsupport::bmpBytes(PhotoW, PhotoH, 24, px, {}));
    }
    std::string m_photo;
};

// An upright 200 x 100 rectangle, 2000 x 1000 cm, rectifies to 202 x 101
// pixels and is traced at 606 x 303: the unit is 100 cm, the drawing 20.2
// units wide (202 pixels of 10 cm) and 10.1 high.
TEST_F(BatchDrawing, DxfOutputWritesTheDrawingOfTheRectifiedImage) {
    const std::string out = path("plan.DXF");
    std::vector<std::string> params{m_photo};
    params.insert(params.end(), Upright.begin(), Upright.end());
    params.push_back(out);
    params.insert(params.end(), {"2000", "1000"});
    ASSERT_EQ(run(params), 0) << m_err;
    EXPECT_NE(m_out.find("DXF drawing written to " + out), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("threshold 50 %, traced at 606 x 303 pixels"), std::string::npos) << m_out;

    const std::vector<std::string> lines = dxfLines(readFile(out));
    ASSERT_GE(lines.size(), 54u);
    EXPECT_EQ(lines[0], " 0");
    EXPECT_EQ(lines[49], "ENTITIES");
    EXPECT_EQ(lines.back(), "EOF");
    int polylines = 0;
    double maxX = 0, maxY = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] == "POLYLINE")
            ++polylines;
        if (lines[i] == "10")
            maxX = std::max(maxX, std::stod(lines[i + 1]));
        if (lines[i] == "20")
            maxY = std::max(maxY, std::stod(lines[i + 1]));
    }
    EXPECT_GT(polylines, 0);
    EXPECT_LE(maxX, 20.2);
    EXPECT_LE(maxY, 10.1);
    // The frame's right edge lies at 180 of 202 pixels.
    EXPECT_GT(maxX, 15.0);
}

TEST_F(BatchDrawing, ThresholdOptionMayStandAnywhere) {
    auto drawing = [&](std::vector<std::string> options, const char* name) {
        std::vector<std::string> params = options;
        params.push_back(m_photo);
        params.insert(params.end(), Upright.begin(), Upright.end());
        params.push_back(path(name));
        EXPECT_EQ(run(params), 0) << m_err;
        return readFile(path(name));
    };
    const auto byDefault = drawing({}, "a.dxf");
    EXPECT_EQ(drawing({"--threshold=50"}, "b.dxf"), byDefault);
    const auto low = drawing({"--threshold=1"}, "c.dxf");
    EXPECT_NE(m_out.find("threshold 1 %"), std::string::npos) << m_out;
    EXPECT_NE(low, byDefault);
}

TEST_F(BatchRun, OptionsDoNotCountAsParameters) {
    std::vector<std::string> params{s_photo};
    params.insert(params.end(), Upright.begin(), Upright.end());
    params.push_back("--threshold=40");
    EXPECT_EQ(run(params), 1);
    EXPECT_NE(m_err.find("at least 10 parameters, got 9"), std::string::npos) << m_err;
}

} // namespace
