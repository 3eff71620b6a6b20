// The CAD drawing: outlines joined into chains that close only where the
// outline closes, specks left out on request, and the drawing of a drawn
// test picture as independent readers see it: ezdxf (audit, unit, extents,
// layers, chains, the photo's placement against the world file) and LibreCAD
// (printed at 1:1, the true size measured on the page).

#include "LineImages.h"
#include "lines/CadDrawing.h"
#include "lines/Chains.h"
#include "lines/Export.h"
#include "lines/WorldFile.h"
#include "pixkit/ImageFile.h"
#include "testsupport/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace lines {
namespace {

// ---- Chains -------------------------------------------------------------

struct ChainCase {
    const char* name;
    std::vector<tlineinf> records;
    std::vector<std::vector<tpixel>> points; // per chain
    std::vector<bool> closed;
};

class JoinedChains : public ::testing::TestWithParam<ChainCase> {};

TEST_P(JoinedChains, CloseOnlyWhereTheOutlineCloses) {
    const ChainCase& c = GetParam();
    const Chains got = JoinChains(c.records);
    ASSERT_EQ(got.chains.size(), c.points.size());
    for (std::size_t i = 0; i < got.chains.size(); ++i) {
        const ChainSpan& s = got.chains[i];
        std::vector<tpixel> pts(got.points.begin() + static_cast<std::ptrdiff_t>(s.first),
                                got.points.begin() +
                                    static_cast<std::ptrdiff_t>(s.first + s.count));
        ASSERT_EQ(pts.size(), c.points[i].size()) << "chain " << i;
        for (std::size_t k = 0; k < pts.size(); ++k) {
            EXPECT_EQ(pts[k].x, c.points[i][k].x) << "chain " << i << " point " << k;
            EXPECT_EQ(pts[k].y, c.points[i][k].y) << "chain " << i << " point " << k;
        }
        EXPECT_EQ(s.closed, c.closed[i]) << "chain " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Traces, JoinedChains,
    ::testing::Values(
        // A ring walked round to the pixel beside its start; the closing
        // segment is its last edge.
        ChainCase{"ring",
                  {{0, 0, 4, 0, true},
                   {4, 0, 4, 4, false},
                   {4, 4, 0, 4, false},
                   {0, 4, 0, 1, false},
                   {0, 1, 0, 0, false}},
                  {{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 1}}},
                  {true}},
        // An outline that runs into the border: the walk ends far from its
        // start, and the closing segment would be a chord across the shape.
        ChainCase{"into_the_border",
                  {{0, 5, 9, 5, true}, {9, 5, 9, 9, false}, {9, 9, 0, 5, false}},
                  {{{0, 5}, {9, 5}, {9, 9}}},
                  {false}},
        // A walk whose last step cut a segment ends without a closing one.
        ChainCase{"ends_on_a_vertex_beside_the_start",
                  {{2, 2, 6, 2, true}, {6, 2, 6, 6, false}, {6, 6, 3, 3, false}},
                  {{{2, 2}, {6, 2}, {6, 6}, {3, 3}}},
                  {true}},
        // A walk that cut no segment: its closing segment carries newpoly
        // too and still belongs to it. A straight one is a line, not an
        // outline; an isolated pixel is one point; then a new walk.
        ChainCase{"walks_without_a_cut",
                  {{1, 1, 8, 1, true},
                   {8, 1, 1, 1, true},
                   {5, 5, 5, 5, true},
                   {5, 5, 5, 5, true},
                   {7, 7, 9, 7, true}},
                  {{{1, 1}, {8, 1}}, {{5, 5}}, {{7, 7}, {9, 7}}},
                  {false, false, false}},
        // A list that starts without newpoly begins its first chain at the
        // first record's end, as the plain drawing does.
        ChainCase{"first_record_continues",
                  {{0, 0, 3, 0, false}, {3, 0, 3, 3, false}, {3, 3, 2, 1, false}},
                  {{{3, 0}, {3, 3}, {2, 1}}},
                  {true}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Specks, LeftOutByTheirSizeInPicturePixelsBothWays) {
    // Traced at three times the picture: outline A spans 6 x 3 traced pixels
    // (2 x 1 picture pixels), B 2 x 9 (under 1 x 3).
    const std::vector<tlineinf> a = {
        {10, 10, 15, 10, true}, {15, 10, 15, 12, false}, {15, 12, 10, 10, false}};
    const std::vector<tlineinf> b = {
        {30, 30, 30, 38, true}, {30, 38, 31, 38, false}, {31, 38, 30, 30, false}};
    std::vector<tlineinf> both = a;
    both.insert(both.end(), b.begin(), b.end());
    struct Case {
        int minSize;
        std::vector<tlineinf> kept;
    };
    for (const Case& c : {Case{0, both}, Case{2, both}, Case{3, b}, Case{4, {}}}) {
        EXPECT_EQ(LeaveOutSpecks(both, SpeckSize{c.minSize, 3.0, 3.0}), c.kept)
            << "minimum " << c.minSize;
        // The plain drawing leaves out the same outlines.
        DrawingRequest request;
        request.records = both;
        request.tracedWidth = 300;
        request.tracedHeight = 150;
        request.pictureWidth = 100;
        request.pictureHeight = 50;
        request.realWidthCm = 50;
        request.minSizePx = c.minSize;
        EXPECT_EQ(DxfDrawing(request), DxfDrawing(c.kept, 50, 100, 300, 150))
            << "minimum " << c.minSize;
    }
}

// ---- Units ----------------------------------------------------------------

// Whatever the unit, the header's code names the unit the coordinates are in:
// a picture of the marked width is realWidthCm / unit wide in the drawing.
struct CadUnitCase {
    const char* name;
    DrawingUnit unit;
    double realWidthCm;
    int insunits;
    double unitCm;
};

class CadUnits : public ::testing::TestWithParam<CadUnitCase> {};

TEST_P(CadUnits, HeaderCodeNamesTheUnitOfTheCoordinates) {
    const CadUnitCase& c = GetParam();
    DrawingRequest r;
    r.tracedWidth = 3000;
    r.tracedHeight = 1500;
    r.pictureWidth = 1000;
    r.pictureHeight = 500;
    r.realWidthCm = c.realWidthCm;
    r.unit = c.unit;
    const CadScale sc = ComputeCadScale(r);
    EXPECT_EQ(sc.unit.insunits, c.insunits);
    EXPECT_DOUBLE_EQ(sc.unit.cm, c.unitCm);
    EXPECT_NEAR(sc.picturePixel * 1000 / (c.realWidthCm / c.unitCm), 1.0, 1e-12);
    EXPECT_NEAR(sc.tracedPixel * 3000 / (c.realWidthCm / c.unitCm), 1.0, 1e-12);
    const std::string text = CadDrawing(r);
    EXPECT_NE(text.find("$INSUNITS\r\n 70\r\n" + std::to_string(c.insunits) + "\r\n"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Units, CadUnits,
    ::testing::Values(CadUnitCase{"auto_cm", DrawingUnit::Auto, 100, 5, 1},
                      CadUnitCase{"auto_dm", DrawingUnit::Auto, 100.5, 14, 10},
                      CadUnitCase{"auto_m", DrawingUnit::Auto, 1250, 6, 100},
                      CadUnitCase{"auto_dam", DrawingUnit::Auto, 50000, 15, 1e3},
                      CadUnitCase{"auto_hm", DrawingUnit::Auto, 5e5, 16, 1e4},
                      CadUnitCase{"auto_km", DrawingUnit::Auto, 5e6, 7, 1e5},
                      // 10 km and more have no code: km, then gigametres.
                      CadUnitCase{"auto_10km_as_km", DrawingUnit::Auto, 5e7, 7, 1e5},
                      CadUnitCase{"auto_1000km_as_km", DrawingUnit::Auto, 5e9, 7, 1e5},
                      CadUnitCase{"auto_10000km_as_Gm", DrawingUnit::Auto, 5e10, 17, 1e11},
                      CadUnitCase{"mm", DrawingUnit::Mm, 1250, 4, 0.1},
                      CadUnitCase{"cm", DrawingUnit::Cm, 1250, 5, 1},
                      CadUnitCase{"m", DrawingUnit::M, 30, 6, 100}),
    [](const auto& p) { return std::string(p.param.name); });

// ---- The drawing of a drawn picture, read by ezdxf and LibreCAD ----------

// The rectified picture, 150 x 100 pixels, light grey (white for the
// separation, but seen on a printed page) with:
//   a block (30 ... 69, 20 ... 49) wholly inside: one closed outline;
//   a bar (110 ... 149, 60 ... 84) running into the right border: its
//     outline ends at the border and stays open;
//   a speck of 2 x 2 pixels (90 ... 91, 10 ... 11).
constexpr int PictureWidth = 150, PictureHeight = 100;

pixkit::DibHolder drawnPicture() {
    pixkit::DibHolder d = test::blank(PictureWidth, PictureHeight, test::grey(200));
    test::fillRect(d.get(), 30, 20, 69, 49, 0);
    test::fillRect(d.get(), 110, 60, 149, 84, 0);
    test::fillRect(d.get(), 90, 10, 91, 11, 0);
    return d;
}

struct UnitCase {
    const char* name;
    DrawingUnit unit;
    double realWidthCm;
    int insunits;  // what the header must say
    double unitCm; // the unit it stands for
    int minSizePx;
};

class QuietEvents : public LineEvents {};

QJsonObject runJson(const std::string& command) {
    const std::string json = testsupport::output(command);
    return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

class CadDrawingReaders : public ::testing::TestWithParam<UnitCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        const UnitCase& c = GetParam();
        pixkit::DibHolder picture = drawnPicture();
        // The export traces the picture itself; the photo is kept before.
        pixkit::DibHolder photo(DuplicateImage(picture.get()));
        tlineinf* cursor = nullptr;
        LineList traced(&cursor);
        SeparationTables tables;
        QuietEvents events;
        ASSERT_EQ(TraceRectified(picture.get(), 50, tables, traced, events), ExportEnd::Traced);
        m_tracedWidth = pixkit::dibwidth(picture.get());
        m_tracedHeight = pixkit::dibheight(picture.get());
        m_records.assign(traced.begin(), traced.begin() + traced.count());

        DrawingRequest request;
        request.records = m_records;
        request.tracedWidth = m_tracedWidth;
        request.tracedHeight = m_tracedHeight;
        request.pictureWidth = PictureWidth;
        request.pictureHeight = PictureHeight;
        request.realWidthCm = c.realWidthCm;
        request.areaPercent = 100;
        request.unit = c.unit;
        request.minSizePx = c.minSizePx;
        // A name beyond ASCII, as a facade's name often is.
        m_base = m_dir.filePath(QStringLiteral("Fassade Süd %1").arg(c.name)).toStdString();
        m_drawing = m_base + ".dxf";
        pixkit::WriteOptions png;
        const double perCm = PictureWidth / c.realWidthCm;
        png.density = {perCm, perCm};
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(pixkit::EncodeDib(photo.get(), ".png", png, bytes).ok);
        ASSERT_EQ(WriteDrawing(m_drawing, DxfFormat::Cad, request, bytes), DxfEnd::Written);
        m_plain = m_base + " plain.dxf";
        ASSERT_EQ(WriteDrawing(m_plain, DxfFormat::Plain, request), DxfEnd::Written);
        ASSERT_EQ(UnderlayPath(m_drawing), m_base + ".png");
        // The world file of the same picture saved beside it.
        const auto wf = ComputeWorldFile(c.realWidthCm, 100, PictureWidth, PictureHeight, c.unit);
        ASSERT_TRUE(wf.has_value());
        ASSERT_EQ(WriteWorldFile(m_base + ".png", *wf), DxfEnd::Written);
        m_worldFile = WorldFileName(m_base + ".png");
    }

    QTemporaryDir m_dir;
    std::vector<tlineinf> m_records;
    int m_tracedWidth = 0, m_tracedHeight = 0;
    std::string m_base, m_drawing, m_plain, m_worldFile;
};

TEST_P(CadDrawingReaders, EzdxfFindsUnitsExtentsLayersChainsAndThePhoto) {
    if (!testsupport::run("/usr/bin/python3 -c 'import ezdxf'"))
        GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    const UnitCase& c = GetParam();
    const QJsonObject r = runJson("/usr/bin/python3 '" + std::string(FP_TEST_SOURCE_DIR) +
                                  "/check_cad_drawing.py' '" + m_drawing + "' '" + m_worldFile +
                                  "' '" + m_plain + "' 2>&1");
    const std::string shown = QJsonDocument(r).toJson(QJsonDocument::Compact).toStdString();
    ASSERT_FALSE(r.isEmpty()) << "no answer from check_cad_drawing.py";
    EXPECT_EQ(r["audit"].toObject()["errors"].toInt(), 0) << shown;
    EXPECT_EQ(r["audit"].toObject()["fixes"].toInt(), 0) << shown;
    EXPECT_EQ(r["version"].toString(), "AC1015");
    EXPECT_EQ(r["insunits"].toInt(), c.insunits);
    EXPECT_EQ(r["measurement"].toInt(), 1);
    for (const char* layer : {"0", "Foto", "Umrisse"})
        EXPECT_TRUE(r["layers"].toArray().contains(QString::fromLatin1(layer))) << layer;

    // One picture pixel and one traced pixel in drawing units.
    const double pixel = c.realWidthCm / PictureWidth / c.unitCm;
    const double s = pixel * PictureWidth / m_tracedWidth;
    const double tol = 1e-9 * pixel * PictureWidth;
    auto near = [&](const QJsonValue& v, double expected) {
        return std::fabs(v.toDouble() - expected) <= tol;
    };

    // The photo: lower left at (0, 0), one pixel a picture pixel, its file beside.
    const QJsonArray images = r["images"].toArray();
    ASSERT_EQ(images.size(), 1) << shown;
    const QJsonObject im = images[0].toObject();
    EXPECT_EQ(im["layer"].toString(), "Foto");
    EXPECT_EQ(im["filename"].toString(),
              QFileInfo(QString::fromStdString(m_base + ".png")).fileName());
    EXPECT_TRUE(im["file_exists"].toBool()) << shown;
    EXPECT_TRUE(near(im["insert"].toArray()[0], 0) && near(im["insert"].toArray()[1], 0)) << shown;
    EXPECT_TRUE(near(im["u"].toArray()[0], pixel) && near(im["u"].toArray()[1], 0)) << shown;
    EXPECT_TRUE(near(im["v"].toArray()[0], 0) && near(im["v"].toArray()[1], pixel)) << shown;
    EXPECT_EQ(im["size"].toArray(), QJsonArray({PictureWidth, PictureHeight}));

    // The world file of the same picture puts every pixel where the drawing does.
    const QJsonArray wf = r["worldfile"].toArray();
    ASSERT_EQ(wf.size(), 6);
    EXPECT_TRUE(near(wf[0], pixel) && near(wf[3], -pixel)) << shown;
    EXPECT_TRUE(near(wf[1], 0) && near(wf[2], 0)) << shown;
    EXPECT_TRUE(near(wf[4], pixel / 2)) << shown;
    EXPECT_TRUE(near(wf[5], PictureHeight * pixel - pixel / 2)) << shown;

    // The header's extents are those of the drawing: the photo's frame.
    const QJsonArray ext = r["entity_extents"].toArray();
    EXPECT_TRUE(near(r["extmin"].toArray()[0], 0) && near(r["extmin"].toArray()[1], 0)) << shown;
    EXPECT_TRUE(near(r["extmax"].toArray()[0], PictureWidth * pixel) &&
                near(r["extmax"].toArray()[1], PictureHeight * pixel))
        << shown;
    for (int k = 0; k < 2; ++k) {
        EXPECT_TRUE(near(ext[k], r["extmin"].toArray()[k].toDouble())) << shown;
        EXPECT_TRUE(near(ext[k + 2], r["extmax"].toArray()[k].toDouble())) << shown;
    }

    // The outlines: closed only across a gap of at most one traced pixel.
    // The block's is one closed chain round its border pixels; the bar's run
    // into the border and stay open; the speck is there unless left out.
    int blocks = 0, bars = 0, specks = 0;
    const int h = m_tracedHeight;
    for (const QJsonValue& v : r["polylines"].toArray()) {
        const QJsonObject p = v.toObject();
        EXPECT_EQ(p["layer"].toString(), "Umrisse");
        const bool closed = p["closed"].toBool();
        const double gap = p["gap"].toDouble();
        if (closed)
            EXPECT_LE(gap, std::sqrt(2.0) * s * (1 + 1e-9)) << shown;
        else
            EXPECT_GT(gap, std::sqrt(2.0) * s * (1 + 1e-9)) << shown;
        const QJsonArray b = p["bbox"].toArray();
        const double x0 = b[0].toDouble() / s, y0 = h - b[3].toDouble() / s;
        const double x1 = b[2].toDouble() / s, y1 = h - b[1].toDouble() / s;
        if (x0 >= 89.5 && x1 <= 209.5 && y0 >= 59.5 && y1 <= 149.5) {
            ++blocks;
            EXPECT_TRUE(closed);
            EXPECT_NEAR(x0, 90, 1e-6);
            EXPECT_NEAR(x1, 209, 1e-6);
            EXPECT_NEAR(y0, 60, 1e-6);
            EXPECT_NEAR(y1, 149, 1e-6);
        } else if (x0 >= 329.5 && y0 >= 179.5 && y1 <= 254.5) {
            ++bars;
            EXPECT_FALSE(closed) << shown;
        } else if (x0 >= 269.5 && x1 <= 275.5 && y0 >= 29.5 && y1 <= 35.5) {
            ++specks;
        } else {
            ADD_FAILURE() << "an outline where the picture has none: " << x0 << " " << y0 << " "
                          << x1 << " " << y1;
        }
    }
    // The plain drawing in the same unit covers the same outlines.
    const QJsonArray outlines = r["outline_extents"].toArray(),
                     plain = r["plain_extents"].toArray();
    ASSERT_EQ(plain.size(), 4) << shown;
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(near(plain[k], outlines[k].toDouble())) << shown;
    EXPECT_EQ(blocks, 1);
    EXPECT_GE(bars, 1);
    EXPECT_EQ(r["duplicate_polylines"].toInt(), 0) << shown;
    EXPECT_EQ(specks > 0, c.minSizePx <= 2);
}

INSTANTIATE_TEST_SUITE_P(Units, CadDrawingReaders,
                         ::testing::Values(UnitCase{"auto_cm", DrawingUnit::Auto, 30, 5, 1, 0},
                                           UnitCase{"auto_dm", DrawingUnit::Auto, 150, 14, 10, 0},
                                           UnitCase{"auto_m", DrawingUnit::Auto, 1500, 6, 100, 3},
                                           UnitCase{"mm", DrawingUnit::Mm, 30, 4, 0.1, 0},
                                           UnitCase{"m", DrawingUnit::M, 30, 6, 100, 0}),
                         [](const auto& p) { return std::string(p.param.name); });

// LibreCAD prints the drawing at 1:1 without a display: the photograph and
// the outlines at their true size on the page. (LibreCAD 2.2 makes its
// default page A4 counted in drawing units, ten A4 wide for a drawing in
// cm, which holds the 30 x 20 cm picture; its --paper option takes no value.)
class CadDrawingPrinted : public CadDrawingReaders {};

TEST_P(CadDrawingPrinted, LibreCadShowsPhotoAndOutlinesAtTrueSize) {
    if (!testsupport::haveTool("librecad") || !testsupport::haveTool("xvfb-run") ||
        !testsupport::haveTool("pdftoppm"))
        GTEST_SKIP() << "LibreCAD, xvfb-run or pdftoppm is missing (tools/deps.sh --test)";
    const UnitCase& c = GetParam();
    // The page goes beside the drawing under its name (dxf2pdf's --outfile
    // takes no value in 2.2). LibreCAD hangs on a file it cannot read; the
    // timeout ends that.
    const std::string pdf = m_base + ".pdf";
    ASSERT_TRUE(testsupport::run("timeout 120 xvfb-run -a librecad dxf2pdf -s 1 '" + m_drawing +
                                 "' >/dev/null"));
    const QJsonObject page = runJson("/usr/bin/python3 '" + std::string(FP_TEST_SOURCE_DIR) +
                                     "/measure_page.py' '" + pdf + "'");
    const std::string shown = QJsonDocument(page).toJson(QJsonDocument::Compact).toStdString();
    const QJsonArray size = page["drawing_mm"].toArray();
    ASSERT_EQ(size.size(), 2) << shown;
    const double widthMm = c.realWidthCm * 10.0;
    const double heightMm = widthMm * PictureHeight / PictureWidth;
    EXPECT_NEAR(size[0].toDouble(), widthMm, 0.5) << shown;
    EXPECT_NEAR(size[1].toDouble(), heightMm, 0.5) << shown;
    // The photograph fills the frame; the outlines lie on it.
    EXPECT_GT(page["photo"].toDouble(), 0.5) << shown;
    EXPECT_GT(page["dark"].toInt(), 1000) << shown;
    std::printf("%s: %.1f x %.1f cm drawn, LibreCAD page shows %.1f x %.1f mm at 1:1\n", c.name,
                c.realWidthCm, c.realWidthCm * PictureHeight / PictureWidth, size[0].toDouble(),
                size[1].toDouble());
}

INSTANTIATE_TEST_SUITE_P(Centimetres, CadDrawingPrinted,
                         ::testing::Values(UnitCase{"printed_cm", DrawingUnit::Auto, 30, 5, 1, 0}),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace lines
