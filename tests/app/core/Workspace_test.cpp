#include "TestSupport.h"
#include "app/BatchMode.h"
#include "app/Workspace.h"
#include "testsupport/CaseNames.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using testsupport::bmpBytes;
using testsupport::writeFile;

// A workspace that records which views it was asked to repaint.
class RecordingWorkspace : public app::Workspace {
public:
    rectify::RunFields& runFields() override { return m_fields; }
    void PaintBox1Paint() override { calls.push_back("PaintBox1Paint"); }
    void PaintBox2Paint() override { calls.push_back("PaintBox2Paint"); }
    void PaintBox3Paint() override { calls.push_back("PaintBox3Paint"); }
    void PaintBox4Paint() override { calls.push_back("PaintBox4Paint"); }
    void showImage2Row() override { calls.push_back("showImage2Row"); }

    std::vector<std::string> calls;
    app::BatchFields m_fields;
};

std::string tempPath(const QTemporaryDir& dir, const char* name) {
    return dir.filePath(name).toStdString();
}

TEST(CreateWorkspace, MakesFiveBlankImagesAndDefaults) {
    RecordingWorkspace ws;
    ws.percent = 7;
    ws.terminateit = true;
    ws.createWorkspace("/opt/velkor/fassadenplan");

    const pixkit::dib* images[] = {&ws.di, &ws.bi, &ws.di3, &ws.di2, &ws.bi2};
    for (const pixkit::dib* d : images) {
        ASSERT_NE(d->poi, nullptr);
        EXPECT_EQ(pixkit::dibwidth(*d), 320);
        EXPECT_EQ(pixkit::dibheight(*d), 200);
        EXPECT_EQ(pixkit::dibbits(*d), 24);
        EXPECT_EQ(pixkit::getpixel(*d, 160, 100), 0u);
    }
    for (std::size_t i = 0; i < 5; ++i)
        for (std::size_t j = i + 1; j < 5; ++j)
            EXPECT_NE(images[i]->poi, images[j]->poi) << "images share pixel memory";
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < 4; ++c)
            EXPECT_EQ(ws.id[r][c], r == c ? 1.0 : 0.0);
    EXPECT_EQ(ws.progpath, "/opt/velkor/");
    EXPECT_EQ(ws.percent, 50);
    EXPECT_EQ(ws.pinsel, 10);
    EXPECT_EQ(ws.paintcol, 0xFFFFFFu);
    EXPECT_FALSE(ws.terminateit);
    EXPECT_TRUE(ws.calls.empty());
}

struct ProgPathCase {
    const char* program;
    const char* folder;
};
void PrintTo(const ProgPathCase& c, std::ostream* os) {
    *os << c.program;
}
class ProgPath : public testing::TestWithParam<ProgPathCase> {};

TEST_P(ProgPath, IsTheProgramFolderEndingWithSlash) {
    RecordingWorkspace ws;
    ws.createWorkspace(GetParam().program);
    EXPECT_EQ(ws.progpath, GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(Workspace, ProgPath,
                         testing::Values(ProgPathCase{"/opt/velkor-absent/bin/fassadenplan",
                                                      "/opt/velkor-absent/bin/"},
                                         ProgPathCase{"/fassadenplan", "/"},
                                         ProgPathCase{"build/app/fassadenplan", "build/app/"},
                                         ProgPathCase{"fassadenplan", "./"}),
                         testsupport::printed<ProgPathCase>());

// A photograph at 1, 4, 8 or 24 bits per pixel; whatever the depth, it is
// installed as a 24-bit image with the colours of its palette.
class OpenPhotograph : public testing::TestWithParam<int> {};

TEST_P(OpenPhotograph, InstallsA24BitImageWithThePaletteColours) {
    const int bits = GetParam();
    const int w = 13, h = 5; // odd width: row padding in every depth
    const std::vector<pixkit::Colour> palette = {
        pixkit::rgb(10, 20, 30),  pixkit::rgb(250, 0, 0),  pixkit::rgb(0, 200, 0),
        pixkit::rgb(0, 0, 180),   pixkit::rgb(90, 90, 90), pixkit::rgb(255, 255, 255),
        pixkit::rgb(1, 128, 255), pixkit::rgb(64, 32, 16)};
    const std::uint32_t colours = bits == 1 ? 2u : static_cast<std::uint32_t>(palette.size());
    std::vector<std::uint32_t> indices;
    std::vector<pixkit::Colour> expected;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t i = static_cast<std::uint32_t>(x * 3 + y) % colours;
            expected.push_back(palette[i]);
            indices.push_back(bits == 24 ? palette[i] : i);
        }
    QTemporaryDir dir;
    const std::string file = tempPath(dir, "photo.bmp");
    writeFile(file, bmpBytes(w, h, bits, indices, palette));

    RecordingWorkspace ws;
    ws.createWorkspace("/x/fassadenplan");
    const pixkit::dib oldResult = ws.di2;
    ASSERT_TRUE(ws.TryToOpenFile(file));

    ASSERT_NE(ws.di.poi, nullptr);
    EXPECT_EQ(pixkit::dibbits(ws.di), 24);
    ASSERT_EQ(pixkit::dibwidth(ws.di), w);
    ASSERT_EQ(pixkit::dibheight(ws.di), h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(pixkit::getpixel(ws.di, x, y), expected[static_cast<std::size_t>(y * w + x)])
                << "at " << x << "," << y;
    EXPECT_EQ(ws.filename1, file);
    EXPECT_EQ(ws.calls, std::vector<std::string>{"PaintBox1Paint"});
    EXPECT_EQ(ws.di2.poi, oldResult.poi) << "opening must not touch the rectified image";
}

INSTANTIATE_TEST_SUITE_P(Workspace, OpenPhotograph, testing::Values(1, 4, 8, 24),
                         testsupport::numbered<int>("Bits"));

// Files that are no photograph leave the workspace exactly as it was.
struct BadFileCase {
    const char* name;
    std::vector<std::uint8_t> bytes; // empty name: the file does not exist
};

std::vector<std::uint8_t> truncatedBmp() {
    auto b = bmpBytes(40, 30, 24, std::vector<std::uint32_t>(1200, 0x123456), {});
    b.resize(70);
    return b;
}
std::vector<std::uint8_t> hugeHeaderBmp() {
    auto b = bmpBytes(4, 4, 24, std::vector<std::uint32_t>(16, 0), {});
    // width and height 0x7FFFFFFF: a header that promises more than exists
    for (std::size_t i : {std::size_t{18}, std::size_t{22}}) {
        b[i] = 0xFF;
        b[i + 1] = 0xFF;
        b[i + 2] = 0xFF;
        b[i + 3] = 0x7F;
    }
    return b;
}

void PrintTo(const BadFileCase& c, std::ostream* os) {
    *os << c.name;
}
class OpenUnreadable : public testing::TestWithParam<BadFileCase> {};

TEST_P(OpenUnreadable, ChangesNothingAndRepaintsNothing) {
    QTemporaryDir dir;
    const std::string name = GetParam().name;
    const std::string file = tempPath(dir, GetParam().name);
    // A FIFO must be refused at once, not wait for a writer that never comes.
    if (name == "fifo.bmp")
        ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    else if (name == "folder.bmp")
        ASSERT_TRUE(QDir().mkdir(QString::fromStdString(file)));
    else if (name != "missing.bmp")
        writeFile(file, GetParam().bytes);

    RecordingWorkspace ws;
    ws.createWorkspace("/x/fassadenplan");
    ws.filename1 = "before.jpg";
    ws.filename2 = "before2.jpg";
    const pixkit::dib di = ws.di, bi = ws.bi;

    EXPECT_FALSE(ws.TryToOpenFile(file));
    EXPECT_FALSE(ws.TryToOpenFile2(file));
    EXPECT_EQ(ws.di.poi, di.poi);
    EXPECT_EQ(ws.bi.poi, bi.poi);
    EXPECT_EQ(ws.filename1, "before.jpg");
    EXPECT_EQ(ws.filename2, "before2.jpg");
    EXPECT_TRUE(ws.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Workspace, OpenUnreadable,
    testing::Values(BadFileCase{"missing.bmp", {}}, BadFileCase{"empty.bmp", {}},
                    BadFileCase{"text.jpg", {'n', 'o', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}},
                    BadFileCase{"truncated.bmp", truncatedBmp()},
                    BadFileCase{"huge.bmp", hugeHeaderBmp()}, BadFileCase{"fifo.bmp", {}},
                    BadFileCase{"folder.bmp", {}}),
    [](const testing::TestParamInfo<BadFileCase>& i) {
        std::string n = i.param.name;
        return n.substr(0, n.find('.'));
    });

TEST(OpenPhotograph2, ShowsTheLowerRowThenRepaintsItsView) {
    QTemporaryDir dir;
    const std::string file = tempPath(dir, "second.bmp");
    writeFile(file, bmpBytes(3, 2, 24, {1, 2, 3, 4, 5, 6}, {}));

    RecordingWorkspace ws;
    ws.createWorkspace("/x/fassadenplan");
    const pixkit::dib di = ws.di;
    ASSERT_TRUE(ws.TryToOpenFile2(file));
    EXPECT_EQ(ws.calls, (std::vector<std::string>{"showImage2Row", "PaintBox4Paint"}));
    EXPECT_EQ(pixkit::dibwidth(ws.bi), 3);
    EXPECT_EQ(pixkit::getpixel(ws.bi, 2, 1), 6u);
    EXPECT_EQ(ws.filename2, file);
    EXPECT_EQ(ws.di.poi, di.poi);
    EXPECT_TRUE(ws.filename1.empty());
}

} // namespace

namespace {

// RenderDi2 works on image 1 only, renderdi4 on image 2 only.
TEST(Runs, EachRunServesItsOwnSlot) {
    QTemporaryDir dir;
    const std::string file = tempPath(dir, "wall.bmp");
    std::vector<std::uint32_t> px;
    for (int i = 0; i < 80 * 60; ++i)
        px.push_back(static_cast<std::uint32_t>(i * 977) & 0xFFFFFFu);
    writeFile(file, bmpBytes(80, 60, 24, px, {}));

    RecordingWorkspace ws;
    ws.createWorkspace("/x/fassadenplan");
    ASSERT_TRUE(ws.TryToOpenFile(file));
    ASSERT_TRUE(ws.TryToOpenFile2(file));
    ws.points = {rectify::TPoint{10, 10}, rectify::TPoint{50, 10}, rectify::TPoint{50, 40},
                 rectify::TPoint{10, 40}};
    ws.setted = true;
    const pixkit::dib blank2 = ws.bi2;

    EXPECT_EQ(ws.RenderDi2(), rectify::RunEnd::Done);
    ASSERT_NE(ws.di2.poi, nullptr);
    EXPECT_EQ(pixkit::dibwidth(ws.di2), 41);
    EXPECT_EQ(pixkit::dibheight(ws.di2), 41);
    EXPECT_EQ(ws.m_fields.repaints(1), 1);
    EXPECT_EQ(ws.bi2.poi, blank2.poi);

    ws.setwink = true;
    EXPECT_EQ(ws.renderdi4(), rectify::RunEnd::NoCorners);
    EXPECT_FALSE(ws.setwink);
    EXPECT_EQ(ws.bi2.poi, blank2.poi);

    const pixkit::dib result1 = ws.di2;
    ws.doints = ws.points;
    ws.setted2 = true;
    EXPECT_EQ(ws.renderdi4(), rectify::RunEnd::Done);
    EXPECT_NE(ws.bi2.poi, nullptr);
    EXPECT_NE(ws.bi2.poi, blank2.poi);
    EXPECT_EQ(ws.di2.poi, result1.poi);
    EXPECT_EQ(ws.m_fields.repaints(2), 1);
    // Same photograph, same corners: the same rectified image.
    EXPECT_EQ(testsupport::toPicture(ws.bi2).pixels, testsupport::toPicture(ws.di2).pixels);
}

} // namespace

namespace {

TEST(LineList, StartsEmptyAndHoldsTheTraceOfRectifiedImage1) {
    RecordingWorkspace ws;
    ASSERT_NE(ws.lines.Add(), nullptr);
    ws.createWorkspace("/x/fassadenplan");
    EXPECT_EQ(ws.lines.count(), 0u);
    EXPECT_EQ(ws.alineinf, nullptr);

    // A black 10 x 10 square on white: traced at 960 x 600, the square's
    // left edge at x 300. B 100 cm over a calculation area of 200 %: unit 1 cm,
    // s = 100 / (960 / 200 * 100), so x 300 lies at 62.5.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x)
            pixkit::setpixel(ws.di2, x, y,
                             x >= 100 && x < 110 && y >= 50 && y < 60 ? 0u : 0xFFFFFFu);
    ws.m_fields.setRealWidthCm(100.0);
    ws.m_fields.setAreaPercent(200);
    lines::LineEvents quiet;
    ASSERT_EQ(ws.TraceDi2(50, quiet), lines::ExportEnd::Traced);
    EXPECT_EQ(pixkit::dibwidth(ws.di2), 960);
    ASSERT_GT(ws.lines.count(), 0u);
    EXPECT_EQ(ws.lines[0].x1, 300);
    EXPECT_EQ(ws.lines[0].y1, 150);

    QTemporaryDir dir;
    const std::string file = tempPath(dir, "square.dxf");
    ASSERT_EQ(ws.SaveAsDXF(file), lines::DxfEnd::Written);
    const std::vector<std::uint8_t> bytes = testsupport::readFile(file);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("\r\n10\r\n62.5\r\n"), std::string::npos);
    // y 150 of 600 rows: Y = 450 * s = 93.75.
    EXPECT_NE(text.find("\r\n20\r\n93.75\r\n"), std::string::npos);
}

} // namespace
