// The DXF text: numbers, unit and scale, header, polylines and trailer, and
// the file written through a temporary file.

#include "lines/Dxf.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>

#include <sys/stat.h>

namespace lines {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> splitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "line without CR LF at byte " << pos;
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- numbers -------------------------------------------------------------------------

struct NumberCase {
    const char* name;
    double value;
    const char* text;
};

class Number : public ::testing::TestWithParam<NumberCase> {};

TEST_P(Number, GeneralFormatWithFullStop) {
    EXPECT_EQ(FormatDxfNumber(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Number,
    ::testing::Values(NumberCase{"Zero", 0.0, "0"}, NumberCase{"NegativeZero", -0.0, "0"},
                      NumberCase{"Half", 0.5, "0.5"}, NumberCase{"Whole", 60.0, "60"},
                      NumberCase{"Negative", -2.25, "-2.25"},
                      // 15 significant digits hide the last bits of a product.
                      NumberCase{"ProductNoise", 150.0 * (100.0 / 1500.0), "10"},
                      NumberCase{"Third", 1.0 / 3.0, "0.333333333333333"},
                      NumberCase{"SmallestPlain", 0.0001, "0.0001"},
                      NumberCase{"SmallScientific", 0.000015, "1.5E-5"},
                      NumberCase{"LargestPlain", 123456789012345.0, "123456789012345"},
                      NumberCase{"LargeScientific", 1e15, "1E15"},
                      NumberCase{"LargeMantissa", 2.5e20, "2.5E20"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DXFNumber, CommasBecomeFullStops) {
    EXPECT_EQ(DXFNumber("0,5"), "0.5");
    EXPECT_EQ(DXFNumber("1,5E-5"), "1.5E-5");
    EXPECT_EQ(DXFNumber("a,b,,c"), "a.b..c");
    EXPECT_EQ(DXFNumber(""), "");
}

// A locale whose decimal separator is a comma, for the C++ streams and,
// where the machine has one, for the C library.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST(DXFNumber, CommaLocaleStillWritesAFullStop) {
    const std::locale old =
        std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    const char* cOld = std::setlocale(LC_NUMERIC, nullptr);
    const std::string cSaved = cOld != nullptr ? cOld : "C";
    const bool cComma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                        std::setlocale(LC_NUMERIC, "de_DE") != nullptr;
    EXPECT_EQ(FormatDxfNumber(0.5), "0.5");
    EXPECT_EQ(FormatDxfNumber(0.0), "0");
    const std::string drawing =
        DxfDrawing(std::vector<tlineinf>{{1, 0, 1, 0, true}}, 100, 100, 200, 1);
    EXPECT_EQ(drawing.find(','), std::string::npos);
    std::setlocale(LC_NUMERIC, cSaved.c_str());
    std::locale::global(old);
    if (!cComma)
        std::cout << "note: no German C locale on this machine; checked the C++ locale only\n";
}

// ---- scale ---------------------------------------------------------------------------

struct ScaleCase {
    const char* name;
    double B;
    double m;
};

class Unit : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(Unit, MarkedWidthIsAtMostHundredUnits) {
    const DxfScale sc = ComputeDxfScale(GetParam().B, 100, 1000);
    EXPECT_EQ(sc.m, GetParam().m);
    EXPECT_DOUBLE_EQ(sc.s, GetParam().B / GetParam().m / 1000.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, Unit,
                         ::testing::Values(ScaleCase{"Hundred", 100.0, 1.0},
                                           ScaleCase{"JustAboveHundred", 100.5, 10.0},
                                           ScaleCase{"FiftyThousand", 50000.0, 1000.0},
                                           ScaleCase{"Small", 3.0, 1.0}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Scale, CalculationAreaWidensThePixelScale) {
    // r 200: the marked rectangle is half the image wide.
    const DxfScale sc = ComputeDxfScale(100.0, 200.0, 1000);
    EXPECT_DOUBLE_EQ(sc.s, 100.0 / 500.0);
}

// ---- drawing -------------------------------------------------------------------------

const std::vector<std::string> ExpectedHeader = {
    " 0",  "SECTION",    "  2", "TABLES", " 0", "TABLE",
    " 2",  "LTYPE",      "70",  "1",      "0",  "LTYPE",
    "2",   "AUSGEZOGEN", "70",  "0",      "3",  "Ausgezogenen Linie",
    "72",  "65",         "73",  "0",      "40", "0.0",
    "0",   "ENDTAB",     " 0",  "TABLE",  " 2", "LAYER",
    "70",  "1",          "0",   "LAYER",  "2",  "0",
    "70",  "0",          "62",  "7",      "6",  "AUSGEZOGEN",
    " 0",  "ENDTAB",     " 0",  "ENDSEC", " 0", "SECTION",
    "  2", "ENTITIES"};
const std::vector<std::string> ExpectedTrailer = {"  0", "ENDSEC", "  0", "EOF"};

std::vector<std::string> body(const std::vector<std::string>& all) {
    EXPECT_GE(all.size(), ExpectedHeader.size() + ExpectedTrailer.size());
    return {all.begin() + static_cast<long>(ExpectedHeader.size()),
            all.end() - static_cast<long>(ExpectedTrailer.size())};
}

std::vector<std::string> vertexLines(const std::string& X, const std::string& Y) {
    return {"0", "VERTEX", "8", "0", "10", X, "20", Y};
}
const std::vector<std::string> PolylineLines = {"0", "POLYLINE", "8", "0", "66", "1", "70", "1"};

TEST(Drawing, EmptyListIsHeaderAndTrailer) {
    const std::vector<std::string> all = splitCrLf(DxfDrawing({}, 1000, 100, 1500, 1200));
    std::vector<std::string> expected = ExpectedHeader;
    expected.insert(expected.end(), ExpectedTrailer.begin(), ExpectedTrailer.end());
    EXPECT_EQ(ExpectedHeader.size(), DxfHeaderLines);
    EXPECT_EQ(all, expected);
}

TEST(Drawing, WorkedExampleCoordinates) {
    // B 1000: unit 10 cm; W 1500, r 100: s = 100 / 1500; (150, 300) -> (10, 60).
    const tlineinf rec{150, 300, 150, 0, true};
    const std::vector<std::string> b =
        body(splitCrLf(DxfDrawing({&rec, 1}, 1000, 100, 1500, 1200)));
    std::vector<std::string> expected = PolylineLines;
    for (const auto& v : {vertexLines("10", "60"), vertexLines("10", "80")})
        expected.insert(expected.end(), v.begin(), v.end());
    expected.insert(expected.end(), {"0", "SEQEND"});
    EXPECT_EQ(b, expected);
}

TEST(Drawing, TopRowIsHTimesSAndBottomRowIsS) {
    // s = 1 / 4 per pixel (B 100, W 400), H 10.
    const tlineinf rec{0, 0, 0, 9, true};
    const std::vector<std::string> b = body(splitCrLf(DxfDrawing({&rec, 1}, 100, 100, 400, 10)));
    ASSERT_EQ(b.size(), 8u + 16u + 2u);
    EXPECT_EQ(b[8 + 7], "2.5");   // y 0 -> H * s
    EXPECT_EQ(b[16 + 7], "0.25"); // y H - 1 -> s
    EXPECT_EQ(b[8 + 5], "0");
}

TEST(Drawing, ChainsBecomeClosedPolylines) {
    // (true, false, false)(true): polylines of 4 and 2 vertices.
    const std::vector<tlineinf> recs = {
        {0, 0, 1, 0, true}, {1, 0, 1, 1, false}, {1, 1, 0, 1, false}, {5, 5, 6, 6, true}};
    const std::vector<std::string> b = body(splitCrLf(DxfDrawing(recs, 100, 100, 100, 10)));
    std::vector<std::string> kinds;
    for (std::size_t i = 0; i + 1 < b.size(); ++i)
        if (b[i] == "0" && (b[i + 1] == "POLYLINE" || b[i + 1] == "VERTEX" || b[i + 1] == "SEQEND"))
            kinds.push_back(b[i + 1]);
    EXPECT_EQ(kinds,
              (std::vector<std::string>{"POLYLINE", "VERTEX", "VERTEX", "VERTEX", "VERTEX",
                                        "SEQEND", "POLYLINE", "VERTEX", "VERTEX", "SEQEND"}));
}

TEST(Drawing, FirstRecordOpensAPolylineEvenWithoutNewpoly) {
    const tlineinf rec{1, 2, 3, 4, false};
    const std::vector<std::string> b = body(splitCrLf(DxfDrawing({&rec, 1}, 100, 100, 100, 10)));
    std::vector<std::string> expected = PolylineLines;
    const auto v = vertexLines("3", "6"); // only the end point
    expected.insert(expected.end(), v.begin(), v.end());
    expected.insert(expected.end(), {"0", "SEQEND"});
    EXPECT_EQ(b, expected);
}

// ---- file ----------------------------------------------------------------------------

class DxfFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("lines_dxf_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
    }
    fs::path dir;
};

TEST_F(DxfFile, WritesAndReplacesWholeFiles) {
    const fs::path f = dir / "plan.dxf";
    { std::ofstream(f) << "old drawing that is longer than the new one ......................"; }
    ASSERT_EQ(WriteFileReplacing(f.string(), "new\r\n"), DxfEnd::Written);
    EXPECT_EQ(readFile(f), "new\r\n");
    EXPECT_EQ(entries(), 1u) << "a temporary file was left behind";
}

TEST_F(DxfFile, NewDrawingsGetTheUsualRightsAndReplacedOnesKeepTheirs) {
    const mode_t mask = ::umask(022);
    const fs::path fresh = dir / "new.dxf";
    ASSERT_EQ(WriteFileReplacing(fresh.string(), "x"), DxfEnd::Written);
    EXPECT_EQ(fs::status(fresh).permissions(), fs::perms(0644));

    const fs::path kept = dir / "kept.dxf";
    { std::ofstream(kept) << "old"; }
    fs::permissions(kept, fs::perms(0640));
    ASSERT_EQ(WriteFileReplacing(kept.string(), "new"), DxfEnd::Written);
    EXPECT_EQ(fs::status(kept).permissions(), fs::perms(0640));
    EXPECT_EQ(readFile(kept), "new");
    ::umask(mask);
}

TEST_F(DxfFile, MissingFolderCannotBeCreated) {
    const fs::path f = dir / "no such folder" / "plan.dxf";
    EXPECT_EQ(WriteFileReplacing(f.string(), "x"), DxfEnd::CannotCreate);
    EXPECT_FALSE(fs::exists(f));
}

TEST_F(DxfFile, FailedRenameLeavesNoTrace) {
    // A folder of that name cannot be replaced by a file.
    const fs::path f = dir / "plan.dxf";
    fs::create_directory(f);
    EXPECT_EQ(WriteFileReplacing(f.string(), "x"), DxfEnd::WriteFailed);
    EXPECT_TRUE(fs::is_directory(f));
    EXPECT_EQ(entries(), 1u);
}

} // namespace
} // namespace lines
