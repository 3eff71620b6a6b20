// Printing at a drawing scale: the page plan, the batch's default scale, and
// the PDF read back by poppler's pdfimages, pdftoppm and pdftotext.

#include "lines/Measure.h"
#include "pixkit/ScalePrint.h"
#include "testsupport/Files.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace pixkit;

// QPdfWriter's fonts need a GUI application; the offscreen platform runs
// without a display.
class GuiApplication : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        m_app = new QGuiApplication(m_argc, m_argv);
    }
    void TearDown() override { delete m_app; }

private:
    int m_argc = 1;
    char m_name[16] = "print_tests";
    char* m_argv[2] = {m_name, nullptr};
    QGuiApplication* m_app = nullptr;
};
const auto* const guiEnvironment = ::testing::AddGlobalTestEnvironment(new GuiApplication);

std::string output(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return out;
    char buf[4096];
    std::size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    pclose(pipe);
    return out;
}

// One row of `pdfimages -list`.
struct ListedImage {
    int page = 0;
    int width = 0;
    int height = 0;
    int object = 0;
    int xPpi = 0;
    int yPpi = 0;
};

std::vector<ListedImage> listImages(const std::string& pdf) {
    std::istringstream in(output("pdfimages -list '" + pdf + "'"));
    std::string line;
    std::vector<ListedImage> images;
    std::getline(in, line); // header
    std::getline(in, line); // rule
    while (std::getline(in, line)) {
        // page num type width height color comp bpc enc interp object ID x-ppi y-ppi ...
        std::istringstream f(line);
        ListedImage li;
        std::string num, type, color, comp, bpc, enc, interp, id;
        f >> li.page >> num >> type >> li.width >> li.height >> color >> comp >> bpc >> enc >>
            interp >> li.object >> id >> li.xPpi >> li.yPpi;
        if (f)
            images.push_back(li);
    }
    return images;
}

// A grey rendering of `rect` (mm) of a page by pdftoppm at `dpi`.
struct Gray {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    int at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

Gray render(const std::string& pdf, int page, int dpi, const RectMm& rect) {
    auto dots = [dpi](double mm) { return std::to_string(std::lround(mm / 25.4 * dpi)); };
    const std::string raw =
        output("pdftoppm -gray -r " + std::to_string(dpi) + " -f " + std::to_string(page) + " -l " +
               std::to_string(page) + " -x " + dots(rect.x) + " -y " + dots(rect.y) + " -W " +
               dots(rect.width) + " -H " + dots(rect.height) + " '" + pdf + "'");
    Gray g;
    std::istringstream in(raw);
    std::string magic;
    int maxval = 0;
    in >> magic >> g.width >> g.height >> maxval;
    in.get();
    if (magic != "P5" || maxval != 255)
        return {};
    g.pixels.assign(raw.begin() + static_cast<std::ptrdiff_t>(in.tellg()), raw.end());
    if (g.pixels.size() != static_cast<std::size_t>(g.width * g.height))
        return {};
    return g;
}

// First and last dark column of row y, or {-1, -1}.
std::pair<int, int> darkSpan(const Gray& g, int y) {
    int first = -1, last = -1;
    for (int x = 0; x < g.width; ++x) {
        if (g.at(x, y) < 128) {
            if (first < 0)
                first = x;
            last = x;
        }
    }
    return {first, last};
}

// A 24-bit picture, white with a black grid line of one pixel every `every`
// columns and rows (0, every, 2 every ...); when every is 0 black with its
// top quarter light grey, so that upside down shows.
DibHolder linedPicture(int width, int height, int every) {
    dib d;
    newdib(d, width, height, 24, nullptr, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Colour c = every != 0 && x % every != 0 && y % every != 0 ? rgb(255, 255, 255) : 0;
            if (every == 0 && y < height / 4)
                c = rgb(200, 200, 200);
            setpixel(d, x, y, c);
        }
    }
    return DibHolder(d);
}

bool havePoppler() {
    return testsupport::haveTool("pdfimages") && testsupport::haveTool("pdftoppm") &&
           testsupport::haveTool("pdftotext");
}

struct PlacedCase {
    const char* name;
    int widthPx;
    int heightPx;
    double pxPerCmX;
    double pxPerCmY;
    int scale;
    Paper paper;
    int columns;
    int rows;
    double placedWidthMm; // width / pixels per cm / N, in mm
    double placedHeightMm;
    int xPpi; // pixels per inch on paper: pixels per cm x N x 2.54
    int yPpi;
};

class PlacedSize : public ::testing::TestWithParam<PlacedCase> {};

// The placed size read back by pdfimages (pixels and ppi give mm exactly),
// the picture measured on a page rendered at 508 dpi (0.05 mm a dot), and
// the scale bar on the same page at 600 dpi.
TEST_P(PlacedSize, OneCentimetreOfTheFacadeIsOneNthOnPaper) {
    if (!havePoppler())
        GTEST_SKIP() << "poppler-utils are not installed (tools/deps.sh --test)";
    const PlacedCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string pdf = dir.filePath(QStringLiteral("plan.pdf")).toStdString();
    const DibHolder picture = linedPicture(c.widthPx, c.heightPx, c.columns > 1 ? 100 : 0);
    ScalePdfJob job;
    job.pixelsPerCmX = c.pxPerCmX;
    job.pixelsPerCmY = c.pxPerCmY;
    job.scale = c.scale;
    job.paper = c.paper;
    job.photoName = "IMG_0042.JPG";
    const PdfWrite w = WriteScalePdf(pdf, picture.get(), job);
    ASSERT_EQ(w.status, PrintStatus::Done);
    const PagePlan plan = PlanScalePrint(
        {c.widthPx, c.heightPx, c.pxPerCmX, c.pxPerCmY, c.scale, c.paper, DefaultMarginMm});
    EXPECT_EQ(plan.columns, c.columns);
    EXPECT_EQ(plan.rows, c.rows);
    EXPECT_EQ(w.pages, c.columns * c.rows);
    EXPECT_NEAR(plan.placedWidthMm, c.placedWidthMm, 1e-9);
    EXPECT_NEAR(plan.placedHeightMm, c.placedHeightMm, 1e-9);

    const std::vector<ListedImage> images = listImages(pdf);
    ASSERT_EQ(static_cast<int>(images.size()), w.pages);
    for (std::size_t i = 0; i < images.size(); ++i) {
        const ListedImage& li = images[i];
        EXPECT_EQ(li.page, static_cast<int>(i) + 1);
        // One image object for the whole set.
        EXPECT_EQ(li.object, images[0].object);
        EXPECT_EQ(li.width, c.widthPx);
        EXPECT_EQ(li.height, c.heightPx);
        EXPECT_EQ(li.xPpi, c.xPpi);
        EXPECT_EQ(li.yPpi, c.yPpi);
        EXPECT_NEAR(li.width / static_cast<double>(li.xPpi) * 25.4, c.placedWidthMm, 0.05);
        EXPECT_NEAR(li.height / static_cast<double>(li.yPpi) * 25.4, c.placedHeightMm, 0.05);
    }

    // A strip of 2 mm through the middle of the picture area.
    auto strip = [](const RectMm& r) { return RectMm{r.x, r.y + r.height / 2 - 1, r.width, 2}; };
    const double dot = 25.4 / 508;
    if (c.columns == 1) {
        // The black picture, centred, to 0.1 mm.
        const RectMm& area = plan.pictureArea;
        const Gray g = render(pdf, 1, 508, strip(area));
        ASSERT_GT(g.width, 0);
        const auto [left, right] = darkSpan(g, g.height / 2);
        EXPECT_NEAR((right - left + 1) * dot, c.placedWidthMm, 0.1);
        EXPECT_NEAR(left * dot, (area.width - c.placedWidthMm) / 2, 0.1);
        // Light grey at the top, black at the bottom.
        const RectMm& o = plan.tiles[0].onPage;
        for (const double at : {0.1, 0.9}) {
            const Gray band = render(pdf, 1, 508, {o.x, o.y + at * o.height - 1, o.width, 2});
            ASSERT_GT(band.width, 0);
            EXPECT_NEAR(band.at(band.width / 2, band.height / 2), at < 0.5 ? 200 : 0, 8) << at;
        }
    } else {
        // Every page shows its part: the grid lines every 100 pixels lie
        // where the placed picture puts them, shifted by the part's offset,
        // across the page and down it. Up to the dashed line where the next
        // page starts (its own first lines are the rest of this one's).
        const double lineMm = 100 / c.pxPerCmX * 10 / c.scale;
        // The set assembles: it starts at the picture's corner, each page
        // repeats the last OverlapMm of the one before, the last ends at the
        // picture's edge, and every page shows the same size of picture.
        auto tile = [&](int column, int row) -> const PrintTile& {
            return plan.tiles[static_cast<std::size_t>(row * c.columns + column)];
        };
        const RectMm& room = plan.pictureArea;
        for (const PrintTile& t : plan.tiles) {
            const double x = t.column == 0 ? 0 : tile(t.column - 1, t.row).part.x + room.width;
            const double y = t.row == 0 ? 0 : tile(t.column, t.row - 1).part.y + room.height;
            EXPECT_NEAR(t.part.x, t.column == 0 ? 0 : x - OverlapMm, 1e-9);
            EXPECT_NEAR(t.part.y, t.row == 0 ? 0 : y - OverlapMm, 1e-9);
            const bool lastColumn = t.column + 1 == c.columns;
            const bool lastRow = t.row + 1 == c.rows;
            EXPECT_NEAR(t.part.x + t.part.width,
                        lastColumn ? c.placedWidthMm : t.part.x + room.width, 1e-9);
            EXPECT_NEAR(t.part.y + t.part.height,
                        lastRow ? c.placedHeightMm : t.part.y + room.height, 1e-9);
        }
        for (const PrintTile& t : plan.tiles) {
            const int page = t.row * c.columns + t.column + 1;
            for (const bool across : {true, false}) {
                const double from = across ? t.part.x : t.part.y;
                const double size = across ? t.part.width : t.part.height;
                const bool next = across ? t.column + 1 < c.columns : t.row + 1 < c.rows;
                const double end =
                    next ? (across ? plan.pictureArea.width : plan.pictureArea.height) - OverlapMm -
                               0.5
                         : size - 0.1;
                std::vector<double> found, expected;
                for (double at = std::ceil(from / lineMm - 1e-9) * lineMm - from; at < end;
                     at += lineMm)
                    expected.push_back(at);
                ASSERT_FALSE(expected.empty());
                // A strip of 1 mm halfway between two lines of the other direction.
                const double otherFrom = across ? t.part.y : t.part.x;
                const double middle =
                    std::ceil(otherFrom / lineMm - 1e-9) * lineMm - otherFrom + lineMm / 2;
                const RectMm& o = t.onPage;
                const Gray g = render(pdf, page, 508,
                                      across ? RectMm{o.x, o.y + middle - 0.5, o.width, 1}
                                             : RectMm{o.x + middle - 0.5, o.y, 1, o.height});
                ASSERT_GT(g.width, 0);
                auto dark = [&](int i) {
                    return across ? g.at(i, g.height / 2) < 160 : g.at(g.width / 2, i) < 160;
                };
                for (int i = 0; i < (across ? g.width : g.height) && i * dot < end; ++i) {
                    if (dark(i) && (i == 0 || !dark(i - 1)))
                        found.push_back(i * dot);
                }
                ASSERT_EQ(found.size(), expected.size()) << "page " << page << " " << across;
                for (std::size_t k = 0; k < found.size(); ++k)
                    EXPECT_NEAR(found[k], expected[k], 0.1)
                        << "page " << page << " line " << k << " " << across;
            }
        }
    }

    // The scale bar: from its left to its right outline, the round length /
    // N (plus the outline's 0.15 mm).
    const RectMm& bar = plan.bar.rect;
    const Gray g = render(pdf, 1, 600, {bar.x - 5, bar.y, bar.width + 10, bar.height});
    ASSERT_GT(g.width, 0);
    const auto [left, right] = darkSpan(g, g.height / 2);
    const double barDot = 25.4 / 600;
    EXPECT_NEAR((right - left + 1) * barDot, plan.bar.lengthMm + 0.15, 0.1);
    EXPECT_NEAR(left * barDot, 5 - 0.075, 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Scales, PlacedSize,
    ::testing::Values(
        // 600 x 400 pixels at 2 px/cm: 300 x 200 cm.
        PlacedCase{"OneTo50", 600, 400, 2, 2, 50, {}, 1, 1, 60, 40, 254, 254},
        // 4 px/cm in y: 300 x 100 cm.
        PlacedCase{"OneTo100", 600, 400, 2, 4, 100, {}, 1, 1, 30, 10, 508, 1016},
        PlacedCase{
            "OneTo25Landscape", 600, 400, 2, 2, 25, {PaperSize::A3, true}, 1, 1, 120, 80, 127, 127},
        // 7.5 x 5 m at 1:25: 300 x 200 mm on A4 landscape (277 x 170 mm of
        // room, pages every 267 and 160 mm): two pages across, two down.
        PlacedCase{
            "TiledOneTo25", 1500, 1000, 2, 2, 25, {PaperSize::A4, true}, 2, 2, 300, 200, 127, 127}),
    [](const auto& p) { return std::string(p.param.name); });

struct PlanCase {
    const char* name;
    int widthPx; // at 1 px/cm: the facade in cm
    int heightPx;
    double pxPerCm;
    int scale;
    Paper paper;
    double marginMm;
    PrintStatus status;
    int pages;
};

class Planning : public ::testing::TestWithParam<PlanCase> {};

TEST_P(Planning, StatusAndPages) {
    const PlanCase& c = GetParam();
    const PagePlan plan =
        PlanScalePrint({c.widthPx, c.heightPx, c.pxPerCm, c.pxPerCm, c.scale, c.paper, c.marginMm});
    EXPECT_EQ(plan.status, c.status);
    EXPECT_EQ(plan.pages(), c.pages);
    EXPECT_EQ(plan.tiles.size(), c.status == PrintStatus::Done ? std::size_t(c.pages) : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Planning,
    ::testing::Values(
        PlanCase{"NoScale", 100, 100, 0, 50, {}, 10, PrintStatus::NoScale, 0},
        PlanCase{"NaNScale", 100, 100, std::nan(""), 50, {}, 10, PrintStatus::NoScale, 0},
        PlanCase{"NoPixels", 0, 100, 1, 50, {}, 10, PrintStatus::NoImage, 0},
        PlanCase{"ScaleZero", 100, 100, 1, 0, {}, 10, PrintStatus::BadScale, 0},
        PlanCase{"ScaleAboveLimit", 100, 100, 1, 10001, {}, 10, PrintStatus::BadScale, 0},
        PlanCase{"ScaleAtLimit", 100, 100, 1, 10000, {}, 10, PrintStatus::Done, 1},
        PlanCase{"NegativeMargin", 100, 100, 1, 50, {}, -1, PrintStatus::BadMargin, 0},
        PlanCase{"MarginAboveLimit", 100, 100, 1, 50, {}, 51, PrintStatus::BadMargin, 0},
        // A4 landscape with 50 mm margins still leaves 197 x 90 mm.
        PlanCase{"WideMargin", 100, 100, 1, 50, {PaperSize::A4, true}, 50, PrintStatus::Done, 1},
        // 19 m at 1:100 is exactly the 190 mm of room: one page, not two.
        PlanCase{"ExactFit", 1900, 100, 1, 100, {}, 10, PrintStatus::Done, 1},
        PlanCase{"JustOver", 1901, 100, 1, 100, {}, 10, PrintStatus::Done, 2},
        // 20 x 10 m at 1:1 on A4 would take 112 x 41 pages.
        PlanCase{"TooManyPages", 2000, 1000, 1, 1, {}, 10, PrintStatus::TooManyPages, 4592}),
    [](const auto& p) { return std::string(p.param.name); });

struct DefaultCase {
    const char* name;
    int widthCm;
    int heightCm;
    int scale;
    Paper paper;
};

class DefaultScale : public ::testing::TestWithParam<DefaultCase> {};

// 1:50 when one A4 takes it, else the smallest preset that one A0 takes.
TEST_P(DefaultScale, FiftyOnA4ElseSmallestPresetOnA0) {
    const DefaultCase& c = GetParam();
    const auto chosen = ChooseDefaultPrint(c.widthCm, c.heightCm, 1, 1);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->scale, c.scale);
    EXPECT_EQ(PaperName(chosen->paper), PaperName(c.paper));
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, DefaultScale,
    ::testing::Values(
        // 180 x 240 mm at 1:50.
        DefaultCase{"A4Portrait", 900, 1200, 50, {}},
        // 240 x 160 mm: only landscape takes it.
        DefaultCase{"A4Landscape", 1200, 800, 50, {PaperSize::A4, true}},
        // Fits A4 at 1:50, so 1:50 although A0 would take 1:10.
        DefaultCase{"SmallStaysAtFifty", 500, 800, 50, {}},
        // 400 x 200 mm at 1:50 is too large for A4; 1:20 gives 1000 x 500 mm.
        DefaultCase{"A0AtTwenty", 2000, 1000, 20, {PaperSize::A0, true}},
        DefaultCase{"A0AtFiveHundred", 30000, 10000, 500, {PaperSize::A0, false}},
        // 2 m on paper even at 1:500: 1:500 on A0, tiled.
        DefaultCase{"TooLargeForA0", 100000, 1000, 500, {PaperSize::A0, false}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DefaultScale, NoneWithoutRealScale) {
    EXPECT_FALSE(ChooseDefaultPrint(100, 100, 0, 0).has_value());
    EXPECT_FALSE(ChooseDefaultPrint(0, 100, 1, 1).has_value());
}

TEST(Paper, BatchNamesReadBack) {
    for (const char* name : {"A4", "A3,landscape", "A2", "A1,landscape", "A0"})
        EXPECT_EQ(PaperName(ParsePaper(name).value_or(Paper{PaperSize::A4, true})), name);
    EXPECT_EQ(ParsePaper("a3,portrait"), (Paper{PaperSize::A3, false}));
    for (const char* bad : {"A5", "B4", "A4,sideways", "A4,", "", "A44"})
        EXPECT_FALSE(ParsePaper(bad).has_value()) << bad;
}

struct RefusedCase {
    const char* name;
    PrintStatus status;
    double pxPerCm;
    int scale;
    double marginMm;
    const char* target; // "old": an existing file; "missing/x.pdf"; "fifo"
};

class Refused : public ::testing::TestWithParam<RefusedCase> {};

// Nothing is written when the print cannot be made: an existing file keeps
// its bytes, no temporary file stays behind, a FIFO does not block.
TEST_P(Refused, NothingWritten) {
    const RefusedCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const std::string path = folder + "/" + c.target;
    if (std::string(c.target) == "old")
        testsupport::writeBytes(path, {'o', 'l', 'd'});
    if (std::string(c.target) == "fifo") {
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    }
    const DibHolder picture = linedPicture(c.name == std::string("NoImage") ? 0 : 2000, 1000, 0);
    ScalePdfJob job;
    job.pixelsPerCmX = job.pixelsPerCmY = c.pxPerCm;
    job.scale = c.scale;
    job.marginMm = c.marginMm;
    const PdfWrite w = WriteScalePdf(path, picture.get(), job);
    EXPECT_EQ(w.status, c.status);
    EXPECT_EQ(w.pages, 0);
    EXPECT_NE(std::string(PrintStatusEnglish(c.status)), "");
    if (std::string(c.target) == "old") {
        EXPECT_EQ(testsupport::readBytes(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    }
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden);
    EXPECT_EQ(left.size(),
              std::string(c.target) == "old" || std::string(c.target) == "fifo" ? 1 : 0)
        << left.join(u' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, Refused,
    ::testing::Values(RefusedCase{"NoScale", PrintStatus::NoScale, 0, 50, 10, "old"},
                      RefusedCase{"NoImage", PrintStatus::NoImage, 2, 50, 10, "old"},
                      RefusedCase{"BadScale", PrintStatus::BadScale, 2, 0, 10, "old"},
                      RefusedCase{"BadMargin", PrintStatus::BadMargin, 2, 50, 80, "old"},
                      RefusedCase{"TooManyPages", PrintStatus::TooManyPages, 2, 1, 10, "old"},
                      RefusedCase{"MissingFolder", PrintStatus::CannotWrite, 2, 50, 10,
                                  "missing/plan.pdf"},
                      RefusedCase{"Fifo", PrintStatus::CannotWrite, 2, 50, 10, "fifo"}),
    [](const auto& p) { return std::string(p.param.name); });

struct CaptionCase {
    const char* name;
    QLocale locale;
    std::vector<std::pair<std::string, std::string>> dictionary; // German -> shown
    std::vector<std::string> shown;
    std::vector<std::string> absent;
};

class Captions : public ::testing::TestWithParam<CaptionCase> {};

// The page's texts as pdftotext reads them: the caller's captions, numbers
// and date in the caller's locale, and no German left in an English print.
TEST_P(Captions, CallersLanguageAndLocale) {
    if (!havePoppler())
        GTEST_SKIP() << "poppler-utils are not installed (tools/deps.sh --test)";
    const CaptionCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string pdf = dir.filePath(QStringLiteral("plan.pdf")).toStdString();
    const DibHolder picture = linedPicture(600, 400, 0);
    ScalePdfJob job;
    job.pixelsPerCmX = job.pixelsPerCmY = 2;
    job.photoName = "Fassade Nord.jpg";
    job.rectangleWidthCm = 1412.5;
    job.rectangleHeightCm = 300;
    job.date = QDate(2025, 5, 14);
    job.locale = c.locale;
    job.captions = TranslatedPrintCaptions([&](const std::string& german) {
        for (const auto& [de, shown] : c.dictionary)
            if (de == german)
                return shown;
        return german;
    });
    ASSERT_EQ(WriteScalePdf(pdf, picture.get(), job).status, PrintStatus::Done);
    // pdftotext guesses the spaces of short words ("1 m" comes out "1m"):
    // compared without blanks.
    auto squeezed = [](std::string t) {
        std::erase_if(t, [](char ch) { return ch == ' ' || ch == '\n'; });
        return t;
    };
    const std::string text = squeezed(output("pdftotext '" + pdf + "' -"));
    for (const std::string& s : c.shown)
        EXPECT_NE(text.find(squeezed(s)), std::string::npos) << s << " in " << text;
    for (const std::string& s : c.absent)
        EXPECT_EQ(text.find(squeezed(s)), std::string::npos) << s << " in " << text;
}

INSTANTIATE_TEST_SUITE_P(
    Languages, Captions,
    ::testing::Values(
        CaptionCase{"German",
                    QLocale(QLocale::German, QLocale::Germany),
                    {},
                    {"M 1:50", "Seite 1 von 1", "Foto: Fassade Nord.jpg",
                     "Gemessenes Rechteck: 1.412,5 × 300 cm", "Datum: 14.05.2025", "1 m"},
                    {}},
        CaptionCase{"English",
                    QLocale(QLocale::English, QLocale::UnitedStates),
                    {{"M 1:%1", "1:%1"},
                     {"Seite %1 von %2", "Page %1 of %2"},
                     {"Foto: %1", "Photo: %1"},
                     {"Gemessenes Rechteck: %1 × %2 cm", "Measured rectangle: %1 × %2 cm"},
                     {"Datum: %1", "Date: %1"}},
                    {"1:50", "Page 1 of 1", "Photo: Fassade Nord.jpg",
                     "Measured rectangle: 1,412.5 × 300 cm", "Date: 5/14/2025", "1 m"},
                    {"Seite", "Foto", "Rechteck", "Datum", "M 1:50"}}),
    [](const auto& p) { return std::string(p.param.name); });

// Every German text the page and the measuring results show reaches the
// window through Translate: each has its row in the shipped dictionary, and
// the batch's English of a status is the dictionary's.
TEST(Dictionary, EveryGermanTextHasItsEnglish) {
    std::map<std::string, std::string> english;
    const std::vector<std::uint8_t> bytes = testsupport::readBytes(FP_DICTIONARY_TSV);
    std::istringstream rows(std::string(bytes.begin(), bytes.end()));
    for (std::string line; std::getline(rows, line);) {
        const auto tab = line.find('\t');
        if (line.empty() || line[0] == '#' || tab == std::string::npos)
            continue;
        const auto end = line.find('\t', tab + 1);
        english[line.substr(0, tab)] =
            line.substr(tab + 1, end == std::string::npos ? end : end - tab - 1);
    }
    ASSERT_GT(english.size(), 100u);
    std::vector<std::string> german;
    TranslatedPrintCaptions([&](const std::string& de) {
        german.push_back(de);
        return de;
    });
    lines::TranslatedMeasureTexts([&](const std::string& de) {
        german.push_back(de);
        return de;
    });
    EXPECT_EQ(german.size(), 9u);
    for (const std::string& de : german)
        EXPECT_FALSE(english[de].empty()) << de;
    for (int s = static_cast<int>(PrintStatus::NoImage);
         s <= static_cast<int>(PrintStatus::CannotWrite); ++s) {
        const auto status = static_cast<PrintStatus>(s);
        EXPECT_EQ(english[PrintStatusGerman(status)], PrintStatusEnglish(status)) << s;
    }
}

} // namespace
