// The real program printing the rectified sample at a drawing scale into a
// PDF, started without a display; the sheet and the placed picture read back
// by poppler's pdfinfo and pdfimages.

#include "TestSupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

using testsupport::runProgram;

const std::string Program = FASSADENPLAN_EXE;

std::map<std::string, std::string> quietHome(const QTemporaryDir& home) {
    return {{"HOME", home.path().toStdString()},
            {"XDG_CONFIG_HOME", home.filePath("config").toStdString()},
            {"LC_ALL", "C"}};
}

QStringList toolLines(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

bool havePoppler() {
    return !QStandardPaths::findExecutable("pdfinfo").isEmpty() &&
           !QStandardPaths::findExecutable("pdfimages").isEmpty();
}

struct PdfCase {
    const char* name;
    std::vector<std::string> options;
    const char* realSizeCm; // width and height of the marked rectangle
    int scale;              // the N of 1:N the program takes or chooses
    double sheetWidthPt;
    double sheetHeightPt;
    bool tiled;
};
void PrintTo(const PdfCase& c, std::ostream* os) {
    *os << c.name;
}
class BatchPdf : public testing::TestWithParam<PdfCase> {};

// The sample's corners mark its whole square picture: it is realSizeCm wide
// on the facade and realSizeCm x 10 / N mm on paper.
TEST_P(BatchPdf, PrintsThePictureAtItsScaleOnItsSheet) {
    const PdfCase& c = GetParam();
    if (!havePoppler())
        GTEST_SKIP() << "poppler-utils (pdfinfo, pdfimages) missing";
    QTemporaryDir work, home;
    const std::string out = work.filePath("facade.pdf").toStdString();
    std::vector<std::string> args = c.options;
    for (const char* a : {"72", "84", "492", "69", "520", "521", "35", "517"})
        args.push_back(a);
    args.insert(args.begin() + static_cast<std::ptrdiff_t>(c.options.size()),
                std::string(FP_TEST_DATA_DIR) + "/sudoku.png");
    args.insert(args.end(), {out, c.realSizeCm, c.realSizeCm});
    const auto r = runProgram(Program, args, quietHome(home), work.path().toStdString());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("PDF at 1:" + std::to_string(c.scale) + " written"), std::string::npos)
        << r.out;

    int pages = 0;
    double width = 0.0, height = 0.0;
    for (const QString& line : toolLines("pdfinfo", {QString::fromStdString(out)})) {
        const QStringList f = line.simplified().split(' ');
        if (line.startsWith("Pages:") && f.size() >= 2)
            pages = f[1].toInt();
        if (line.startsWith("Page size:") && f.size() >= 5) {
            width = f[2].toDouble();
            height = f[4].toDouble();
        }
    }
    EXPECT_NEAR(width, c.sheetWidthPt, 1.0);
    EXPECT_NEAR(height, c.sheetHeightPt, 1.0);
    EXPECT_EQ(pages > 1, c.tiled) << pages;

    // page num type width height color comp bpc enc interp object ID x-ppi
    // y-ppi ...: one picture, shown on every page at one size. pdfimages
    // rounds the ppi to a whole number, which bounds the error.
    const QStringList rows = toolLines("pdfimages", {"-list", QString::fromStdString(out)}).mid(2);
    ASSERT_EQ(rows.size(), pages);
    const double expectedMm = std::stod(c.realSizeCm) * 10.0 / c.scale;
    for (const QString& row : rows) {
        const QStringList f = row.simplified().split(' ');
        ASSERT_GE(f.size(), 14) << row.toStdString();
        const double ppi = f[12].toDouble();
        ASSERT_GT(ppi, 0.0) << row.toStdString();
        const double placedMm = f[3].toDouble() / ppi * 25.4;
        EXPECT_NEAR(placedMm, expectedMm, expectedMm * 0.5 / ppi + 0.05) << row.toStdString();
        EXPECT_EQ(f[10], rows[0].simplified().split(' ')[10]) << "embedded more than once";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batch, BatchPdf,
    testing::Values(
        // 90 cm at 1:50 is 18 mm: one A4.
        PdfCase{"DefaultFitsA4", {}, "90", 50, 595.28, 841.89, false},
        // 50 m at 1:50 is 1 m, too large for A0; at 1:100 it fits one A0.
        PdfCase{"DefaultLargeFacadeOnA0", {}, "5000", 100, 2383.94, 3370.39, false},
        PdfCase{"ScaleAndLandscapeSheet",
                {"--scale=20", "--paper=A3,landscape"},
                "400",
                20,
                1190.55,
                841.89,
                false},
        // 40 cm on paper: tiled over several A4 pages.
        PdfCase{"ScaleOfOwnTiledOnA4", {"--scale=1:10"}, "400", 10, 595.28, 841.89, true}));

struct RefusalCase {
    const char* name;
    std::vector<std::string> options;
    const char* output;
    const char* realSizeCm;
    int exitCode;
    const char* said;
};
void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}
class BatchPdfRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(BatchPdfRefusal, EndsWithItsCodeAndWritesNothing) {
    const RefusalCase& c = GetParam();
    QTemporaryDir work, home;
    std::vector<std::string> args = c.options;
    args.push_back(std::string(FP_TEST_DATA_DIR) + "/sudoku.png");
    for (const char* a : {"72", "84", "492", "69", "520", "521", "35", "517"})
        args.push_back(a);
    args.insert(args.end(), {work.filePath(c.output).toStdString(), c.realSizeCm, c.realSizeCm});
    const auto r = runProgram(Program, args, quietHome(home), work.path().toStdString());
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_TRUE(testsupport::listTree(work.path().toStdString()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Batch, BatchPdfRefusal,
    testing::Values(
        RefusalCase{"UnknownPaper", {"--paper=B5"}, "p.pdf", "90", 2, "'--paper=B5'"},
        RefusalCase{"ScaleZero", {"--scale=0"}, "p.pdf", "90", 2, "'--scale=0'"},
        RefusalCase{"ScaleNoNumber", {"--scale=1:x"}, "p.pdf", "90", 2, "'--scale=1:x'"},
        RefusalCase{"ScaleForAnImage", {"--scale=50"}, "p.png", "90", 1, "apply to a .pdf output"},
        // 90 m at 1:1 would take thousands of A4 pages.
        RefusalCase{"TooManyPages", {"--scale=1"}, "p.pdf", "9000", 6, "more than 500 pages"},
        RefusalCase{"FolderMissing", {}, "no folder/p.pdf", "90", 6, "cannot write"}));

} // namespace
