// The real program over a manifest, as a child process: good rows give the
// very bytes single runs give, failing rows their single run's exit code
// while the others go on; the report, the resume and --force; slices run
// with GNU parallel give what one whole run gives.

#include "TestSupport.h"
#include "app/Manifest.h"
#include "app/Project.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::runProgram;

const std::string Program = FASSADENPLAN_EXE;
const std::string Corners[8] = {"72", "84", "492", "69", "520", "521", "35", "517"};

std::map<std::string, std::string> quietHome(const QTemporaryDir& home) {
    return {{"HOME", home.path().toStdString()},
            {"XDG_CONFIG_HOME", home.filePath("config").toStdString()},
            {"XDG_DATA_HOME", home.filePath("data").toStdString()},
            {"LC_ALL", "C"}};
}

void writeText(const std::string& path, const std::string& text) {
    testsupport::writeFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string sudoku() {
    return std::string(FP_TEST_DATA_DIR) + "/sudoku.png";
}

// One row of the manifest and what a single run with its values is.
struct Row {
    const char* what;
    std::string photo;               // relative to the manifest
    std::string cells;               // the corners' cells, or a bad one
    std::string output;              // relative to the manifest
    std::string rest;                // width,height,area,interpolation,threshold,lens
    std::vector<std::string> single; // the single run's parameters after the output
    int exitCode;
    const char* status;
};

std::vector<Row> surveyRows() {
    std::string corners;
    for (const std::string& c : Corners)
        corners += (corners.empty() ? "" : ",") + c;
    return {
        {"plain",
         "fotos/nord.png",
         corners,
         "out/nord.png",
         "400,380,,,",
         {"400", "380"},
         0,
         "written"},
        {"quoted names",
         "fotos/s\xC3\xBC"
         "d, Haus \"B\".png",
         corners,
         "out/s\xC3\xBC"
         "d, B.jpg",
         "400,380,120,bilinear,",
         {"400", "380", "120", "--interpolation=bilinear"},
         0,
         "written"},
        {"drawing",
         "fotos/nord.png",
         corners,
         "out/nord.dxf",
         ",,,,40",
         {"--threshold=40"},
         0,
         "written"},
        {"project", "nord.fassadenplan", "", "out/projekt.png", "", {"400", "380"}, 0, "written"},
        {"lens",
         "fotos/nord.png",
         corners,
         "out/linse.png",
         "400,380,,bilinear,,poly3:-0.1",
         {"400", "380", "--interpolation=bilinear", "--lens=poly3:-0.1"},
         0,
         "written"},
        {"project with a lens",
         "linse.fassadenplan",
         "",
         "out/projektlinse.png",
         "",
         {"400", "380", "--lens=poly3:-0.1"},
         0,
         "written"},
        {"bad lens", "fotos/nord.png", corners, "out/linse2.png", ",,,,,poly3:x", {}, 2, "failed"},
        {"missing photo", "fotos/fehlt.png", corners, "out/fehlt.png", "", {}, 3, "failed"},
        {"bad number",
         "fotos/nord.png",
         "72,84x,492,69,520,521,35,517",
         "out/zahl.png",
         "",
         {},
         2,
         "failed"},
        {"unwritable", "fotos/nord.png", corners, "kein/ordner/nord.png", "", {}, 6, "failed"},
    };
}

// A survey folder: the photographs, a project and the manifest of `rows`.
std::string makeSurvey(const QString& dir, const std::vector<Row>& rows) {
    const std::string d = dir.toStdString();
    EXPECT_TRUE(QDir(dir).mkpath("fotos") && QDir(dir).mkpath("out"));
    EXPECT_TRUE(QFile::copy(QString::fromStdString(sudoku()), dir + "/fotos/nord.png"));
    EXPECT_TRUE(
        QFile::copy(QString::fromStdString(sudoku()), dir + "/fotos/s\u00fcd, Haus \"B\".png"));
    app::Project p;
    app::ProjectPhoto photo;
    photo.path = d + "/fotos/nord.png";
    photo.corners = {{{72, 84}, {492, 69}, {520, 521}, {35, 517}}};
    photo.cornersSet = true;
    photo.fields.realWidthCm = 400;
    photo.fields.realHeightCm = 380;
    p.photos[0] = photo;
    p.threshold = 50;
    EXPECT_EQ(app::writeProjectFile(p, d + "/nord.fassadenplan"), 0);
    p.photos[0]->lens = app::withLensSetting(std::nullopt, {app::LensSetting::Mode::Poly3, -0.1});
    EXPECT_EQ(app::writeProjectFile(p, d + "/linse.fassadenplan"), 0);

    std::string text = "photo,x0,y0,x1,y1,x2,y2,x3,y3,output,width,height,area,interpolation,"
                       "threshold,lens\r\n";
    for (const Row& r : rows) {
        std::vector<std::string> cells = {r.photo};
        if (r.cells.empty())
            cells.resize(9);
        else
            for (std::size_t a = 0, b; a <= r.cells.size(); a = b + 1) {
                b = std::min(r.cells.find(',', a), r.cells.size());
                cells.push_back(r.cells.substr(a, b - a));
            }
        cells.push_back(r.output);
        std::string rec = app::csvRecord(cells);
        rec.resize(rec.size() - 2);
        text += rec + (r.rest.empty() ? "" : "," + r.rest) + "\r\n";
    }
    writeText(d + "/survey.csv", text);
    // The manifest is older than anything written from it.
    const std::string m = d + "/survey.csv";
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    EXPECT_EQ(::utimensat(AT_FDCWD, m.c_str(), past, 0), 0);
    return m;
}

struct ReportRow {
    std::string status;
    std::string exitCode;
};

std::vector<ReportRow> readReport(const std::string& file) {
    const std::vector<std::uint8_t> bytes = readFile(file);
    const app::CsvParse csv = app::parseCsv(std::string(bytes.begin(), bytes.end()));
    EXPECT_TRUE(csv.ok);
    std::vector<ReportRow> rows;
    for (std::size_t k = 1; k < csv.records.size(); ++k)
        rows.push_back({csv.records[k].cells.at(3), csv.records[k].cells.at(4)});
    return rows;
}

timespec modifiedAt(const std::string& file) {
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
    return st.st_mtim;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

TEST(ManifestProgram, RowsGiveTheirSingleRunsBytesAndCodesAndAreResumed) {
    QTemporaryDir home, work;
    const std::vector<Row> rows = surveyRows();
    const std::string manifest = makeSurvey(work.filePath("survey"), rows);
    const std::string folder = work.filePath("survey").toStdString() + "/";
    const std::string report = work.filePath("report.csv").toStdString();
    const auto env = quietHome(home);
    const std::string scratch = work.path().toStdString();

    auto r =
        runProgram(Program, {"--batch", manifest, "--jobs=3", "--report=" + report}, env, scratch);
    ASSERT_EQ(r.exitCode, 8) << r.err;
    std::vector<ReportRow> rep = readReport(report);
    ASSERT_EQ(rep.size(), rows.size());
    std::vector<timespec> written(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Row& row = rows[k];
        SCOPED_TRACE(row.what);
        EXPECT_EQ(rep[k].status, row.status);
        EXPECT_EQ(rep[k].exitCode, std::to_string(row.exitCode));
        const std::string out = folder + row.output;
        if (row.exitCode != 0) {
            EXPECT_FALSE(fileExists(out));
            continue;
        }
        // The single run with the same values, into a file of its own.
        const std::string single = work.filePath("single").toStdString() + "." +
                                   row.output.substr(row.output.rfind('.') + 1);
        std::vector<std::string> args = {folder + (row.photo.ends_with(".fassadenplan")
                                                       ? std::string("fotos/nord.png")
                                                       : row.photo)};
        args.insert(args.end(), std::begin(Corners), std::end(Corners));
        args.push_back(single);
        args.insert(args.end(), row.single.begin(), row.single.end());
        const auto one = runProgram(Program, args, env, scratch);
        ASSERT_EQ(one.exitCode, 0) << one.err;
        ASSERT_TRUE(fileExists(out));
        EXPECT_EQ(readFile(out), readFile(single));
        written[k] = modifiedAt(out);
    }

    // Again: the written rows are skipped and stay untouched, the failing
    // ones fail again.
    r = runProgram(Program, {"--batch", manifest, "--report=" + report}, env, scratch);
    EXPECT_EQ(r.exitCode, 8) << r.err;
    rep = readReport(report);
    ASSERT_EQ(rep.size(), rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE(rows[k].what);
        EXPECT_EQ(rep[k].status, rows[k].exitCode == 0 ? "skipped" : "failed");
        if (rows[k].exitCode == 0) {
            EXPECT_TRUE(sameTime(modifiedAt(folder + rows[k].output), written[k]));
        }
    }
    // A photograph newer than its output is done again, and --force does all.
    const std::string photo = folder + "fotos/nord.png";
    ASSERT_EQ(::utimensat(AT_FDCWD, photo.c_str(), nullptr, 0), 0);
    r = runProgram(Program, {"--batch", manifest, "--report=" + report}, env, scratch);
    rep = readReport(report);
    EXPECT_EQ(rep[0].status, "written");
    EXPECT_EQ(rep[1].status, "skipped");
    r = runProgram(Program, {"--batch", manifest, "--force", "--report=" + report}, env, scratch);
    rep = readReport(report);
    EXPECT_EQ(rep[1].status, "written");
    EXPECT_FALSE(sameTime(modifiedAt(folder + rows[1].output), written[1]));
}

struct CommandCase {
    const char* what;
    std::optional<std::string> manifest; // none: no file
    std::vector<std::string> options;
    int exitCode;
    const char* message;
};

std::string manyRows(std::size_t rows) {
    std::string text = "photo,output\n";
    for (std::size_t k = 0; k < rows; ++k)
        text += "a,b\n";
    return text;
}

TEST(ManifestProgram, AManifestThatCannotBeReadOrAWrongCommandStopsBeforeAnyRow) {
    const CommandCase cases[] = {
        {"missing manifest", std::nullopt, {}, 2, "cannot read the manifest"},
        {"unclosed quote",
         "photo,output\r\na.png,a.jpg\r\n\"b.png,b.jpg\r\n",
         {},
         2,
         "line 3: a quoted cell is not closed"},
        {"unknown column", "photo,output,colour\r\n", {}, 2, "line 1: unknown column 'colour'"},
        {"too many cells", "photo,output\na.png,b.png,c\n", {}, 2, "line 2: the row has 3 cells"},
        {"too many rows",
         manyRows(app::MaxManifestRows + 1),
         {},
         2,
         "line 1000002: more than 1000000 rows"},
        {"no jobs", "photo,output\n", {"--jobs=0"}, 1, "--jobs must be a whole number"},
        {"bad slice", "photo,output\n", {"--rows=5:2"}, 1, "--rows must be FROM:TO"},
        {"stray parameter", "photo,output\n", {"extra.jpg"}, 1, "takes no parameter"},
    };
    QTemporaryDir home, work;
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string manifest = work.filePath("m.csv").toStdString();
        QFile::remove(QString::fromStdString(manifest));
        if (c.manifest)
            writeText(manifest, *c.manifest);
        std::vector<std::string> args = {"--batch", manifest};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto r = runProgram(Program, args, quietHome(home), work.path().toStdString());
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(ManifestProgram, SlicesRunWithGnuParallelGiveWhatOneWholeRunGives) {
    if (::access("/usr/bin/parallel", X_OK) != 0)
        GTEST_SKIP() << "GNU parallel is not installed (tools/deps.sh --test)";
    QTemporaryDir home, work;
    std::vector<Row> rows = surveyRows();
    rows.resize(4); // the good ones
    const std::string whole = makeSurvey(work.filePath("whole"), rows);
    const std::string sliced = makeSurvey(work.filePath("sliced"), rows);
    const auto env = quietHome(home);
    const std::string scratch = work.path().toStdString();
    const auto one = runProgram(Program, {"--batch", whole, "--jobs=1"}, env, scratch);
    ASSERT_EQ(one.exitCode, 0) << one.err;
    const auto many = runProgram("/usr/bin/parallel",
                                 {"--will-cite", "--halt", "now,fail=1", Program, "--batch", sliced,
                                  "--jobs=1", "--rows={}", ":::", "1:2", "3:"},
                                 env, scratch);
    ASSERT_EQ(many.exitCode, 0) << many.err << many.out;
    auto tree = [&work](const char* dir) {
        std::vector<std::string> names = testsupport::listTree(work.filePath(dir).toStdString());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> files = tree("whole/out");
    ASSERT_EQ(files.size(), rows.size());
    EXPECT_EQ(tree("sliced/out"), files);
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        EXPECT_EQ(readFile(work.filePath("sliced/out/").toStdString() + f),
                  readFile(work.filePath("whole/out/").toStdString() + f));
    }
}

} // namespace
