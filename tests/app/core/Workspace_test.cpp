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

using app::Workspace;

std::string tempPath(const QTemporaryDir& dir, const char* name) {
    return dir.filePath(name).toStdString();
}

TEST(CreateWorkspace, MakesFiveBlankImages) {
    Workspace ws;
    ws.slot(1).scale = rectify::RunScale{};
    ws.createWorkspace("/opt/velkor/fassadenplan");

    const pixkit::dib* images[] = {&ws.slot(1).source.get(), &ws.slot(2).source.get(),
                                   &ws.di3.get(), &ws.slot(1).result.get(),
                                   &ws.slot(2).result.get()};
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
    EXPECT_EQ(ws.progpath, "/opt/velkor/");
    // The blank images were made by no run: they have no scale.
    EXPECT_FALSE(ws.slot(1).scale.has_value());
    EXPECT_FALSE(ws.slot(2).scale.has_value());
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
    Workspace ws;
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

    Workspace ws;
    ws.createWorkspace("/x/fassadenplan");
    const std::uint8_t* oldResult = ws.slot(1).result.pixels();
    ASSERT_TRUE(ws.TryToOpenFile(file));

    const pixkit::Image& di = ws.slot(1).source;
    ASSERT_FALSE(di.empty());
    EXPECT_EQ(pixkit::dibbits(di), 24);
    ASSERT_EQ(di.width(), w);
    ASSERT_EQ(di.height(), h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(pixkit::getpixel(di, x, y), expected[static_cast<std::size_t>(y * w + x)])
                << "at " << x << "," << y;
    EXPECT_EQ(ws.slot(1).fileName, file);
    EXPECT_EQ(ws.slot(1).result.pixels(), oldResult)
        << "opening must not touch the rectified image";
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

    Workspace ws;
    ws.createWorkspace("/x/fassadenplan");
    ws.slot(1).fileName = "before.jpg";
    ws.slot(2).fileName = "before2.jpg";
    const std::uint8_t* di = ws.slot(1).source.pixels();
    const std::uint8_t* bi = ws.slot(2).source.pixels();

    EXPECT_FALSE(ws.TryToOpenFile(file));
    EXPECT_FALSE(ws.TryToOpenFile2(file));
    EXPECT_EQ(ws.slot(1).source.pixels(), di);
    EXPECT_EQ(ws.slot(2).source.pixels(), bi);
    EXPECT_EQ(ws.slot(1).fileName, "before.jpg");
    EXPECT_EQ(ws.slot(2).fileName, "before2.jpg");
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

TEST(OpenPhotograph2, InstallsImage2Only) {
    QTemporaryDir dir;
    const std::string file = tempPath(dir, "second.bmp");
    writeFile(file, bmpBytes(3, 2, 24, {1, 2, 3, 4, 5, 6}, {}));

    Workspace ws;
    ws.createWorkspace("/x/fassadenplan");
    const std::uint8_t* di = ws.slot(1).source.pixels();
    ASSERT_TRUE(ws.TryToOpenFile2(file));
    EXPECT_EQ(ws.slot(2).source.width(), 3);
    EXPECT_EQ(pixkit::getpixel(ws.slot(2).source, 2, 1), 6u);
    EXPECT_EQ(ws.slot(2).fileName, file);
    EXPECT_EQ(ws.slot(1).source.pixels(), di);
    EXPECT_TRUE(ws.slot(1).fileName.empty());
}

} // namespace

namespace {

// The run of image 1 works on image 1 only, the run of image 2 on image 2
// only; the workspace takes each result into its own slot.
TEST(Runs, EachRunServesItsOwnSlot) {
    QTemporaryDir dir;
    const std::string file = tempPath(dir, "wall.bmp");
    std::vector<std::uint32_t> px;
    for (int i = 0; i < 80 * 60; ++i)
        px.push_back(static_cast<std::uint32_t>(i * 977) & 0xFFFFFFu);
    writeFile(file, bmpBytes(80, 60, 24, px, {}));

    Workspace ws;
    ws.createWorkspace("/x/fassadenplan");
    ASSERT_TRUE(ws.TryToOpenFile(file));
    ASSERT_TRUE(ws.TryToOpenFile2(file));
    const rectify::Corners quad{rectify::TPoint{10, 10}, rectify::TPoint{50, 10},
                                rectify::TPoint{50, 40}, rectify::TPoint{10, 40}};
    ws.completeQuad(1, quad, false);
    const std::uint8_t* blank2 = ws.slot(2).result.pixels();
    const app::FieldValues fields;
    auto runSlot = [&](int n) {
        rectify::RunResult r = rectify::run(ws.runRequest(n, fields));
        ws.takeRun(n, r);
        return r.end;
    };

    EXPECT_EQ(runSlot(1), rectify::RunEnd::Done);
    EXPECT_EQ(ws.slot(1).result.width(), 41);
    EXPECT_EQ(ws.slot(1).result.height(), 41);
    ASSERT_TRUE(ws.slot(1).scale.has_value());
    EXPECT_EQ(ws.slot(1).scale->realWidthCm, 1000.0);
    EXPECT_EQ(ws.slot(2).result.pixels(), blank2);

    ws.setwink = true;
    EXPECT_EQ(runSlot(2), rectify::RunEnd::NoCorners);
    EXPECT_FALSE(ws.setwink) << "the typed angles go with the run of image 2 too";
    EXPECT_EQ(ws.slot(2).result.pixels(), blank2);
    EXPECT_FALSE(ws.slot(2).scale.has_value());

    const std::uint8_t* result1 = ws.slot(1).result.pixels();
    ws.completeQuad(2, quad, false);
    EXPECT_EQ(runSlot(2), rectify::RunEnd::Done);
    EXPECT_NE(ws.slot(2).result.pixels(), blank2);
    EXPECT_EQ(ws.slot(1).result.pixels(), result1);
    // Same photograph, same corners: the same rectified image.
    EXPECT_EQ(testsupport::toPicture(ws.slot(2).result).pixels,
              testsupport::toPicture(ws.slot(1).result).pixels);
}

// The request carries the workspace's pending requests; a result that
// consumed them clears them, one that did not leaves them.
TEST(Runs, RequestsWaitUntilARunConsumesThem) {
    Workspace ws;
    ws.createWorkspace("/x/fassadenplan");
    ws.completeQuad(1, {rectify::TPoint{10, 10}, {50, 10}, {50, 40}, {10, 10}}, true);
    ws.setwink = true;
    app::FieldValues fields;
    fields.hold = true;
    rectify::RunRequest request = ws.runRequest(1, fields);
    EXPECT_TRUE(request.presetWidth);
    EXPECT_TRUE(request.fixedAngles);
    EXPECT_TRUE(request.hold);
    EXPECT_TRUE(request.cornersComplete);
    EXPECT_EQ(request.source, &ws.slot(1).source.get());

    rectify::RunResult held = rectify::run(request);
    ws.takeRun(1, held);
    EXPECT_TRUE(ws.breitetoset);
    EXPECT_TRUE(ws.setwink);

    // Corners 0 and 3 coincide: the typed angles go, the width request stays.
    fields.hold = false;
    rectify::RunResult coincide = rectify::run(ws.runRequest(1, fields));
    EXPECT_EQ(coincide.end, rectify::RunEnd::CornersCoincide);
    ws.takeRun(1, coincide);
    EXPECT_TRUE(ws.breitetoset);
    EXPECT_FALSE(ws.setwink);
}

} // namespace

namespace {

TEST(LineList, StartsEmptyAndHoldsTheTraceOfRectifiedImage1) {
    Workspace ws;
    ASSERT_NE(ws.lines.Add(), nullptr);
    ws.createWorkspace("/x/fassadenplan");
    EXPECT_EQ(ws.lines.count(), 0u);
    EXPECT_EQ(ws.alineinf, nullptr);

    // A black 10 x 10 square on white: traced at 960 x 600, the square's
    // left edge at x 300. B 100 cm over a calculation area of 200 %: unit 1 cm,
    // s = 100 / (960 / 200 * 100), so x 300 lies at 62.5.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x)
            pixkit::setpixel(ws.slot(1).result, x, y,
                             x >= 100 && x < 110 && y >= 50 && y < 60 ? 0u : 0xFFFFFFu);
    lines::LineEvents quiet;
    ASSERT_EQ(ws.TraceDi2(50, quiet), lines::ExportEnd::Traced);
    EXPECT_EQ(ws.slot(1).result.width(), 960);
    ASSERT_GT(ws.lines.count(), 0u);
    EXPECT_EQ(ws.lines[0].x1, 300);
    EXPECT_EQ(ws.lines[0].y1, 150);

    QTemporaryDir dir;
    const std::string file = tempPath(dir, "square.dxf");
    ASSERT_EQ(ws.SaveAsDXF(file, 100.0, 200), lines::DxfEnd::Written);
    const std::vector<std::uint8_t> bytes = testsupport::readFile(file);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("\r\n10\r\n62.5\r\n"), std::string::npos);
    // y 150 of 600 rows: Y = 450 * s = 93.75.
    EXPECT_NE(text.find("\r\n20\r\n93.75\r\n"), std::string::npos);
}

} // namespace
