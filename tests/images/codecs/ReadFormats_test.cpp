// Files made by other programs arrive with the right size, depth and pixels.

#include "CodecTestSupport.h"

#include "pixkit/ImageFile.h"

#include <QImage>
#include <QImageWriter>

#include <turbojpeg.h>

#include <cstring>

using namespace codectest;

namespace {

DibHolder open(const std::string& path) {
    pixkit::dib d;
    pixkit::OpenDib(d, path);
    return DibHolder(d);
}

struct ToolCase {
    const char* name;
    const char* command; // {in}: PPM of the picture, {out}: file to make
    const char* outName; // the made file; its extension is deliberately misleading
                         // where it may be, the reader goes by content
    int tolerance;       // largest channel difference; 0: exact, else a smooth picture is used
    int bits = 0;        // depth the file stores, checked when not 0
};

void PrintTo(const ToolCase& v, std::ostream* os) {
    *os << v.name;
}

const ToolCase ToolCases[] = {
    {"netpbm_pcx", "ppmtopcx {in} > {out}", "a.pcx", 0},
    {"netpbm_pcx_8bit", "ppmtopcx -8bit {in} > {out}", "a.dat", 0},
    {"netpbm_ilbm", "ppmtoilbm {in} > {out}", "a.iff", 0},
    {"netpbm_ilbm_24", "ppmtoilbm -24force {in} > {out}", "a.lbm", 0},
    {"netpbm_bmp", "ppmtobmp {in} > {out}", "a.bmp", 0},
    {"netpbm_bmp_8bit", "ppmtobmp -bpp 8 {in} > {out}", "a.jpg", 0},
    {"netpbm_jpeg", "pnmtojpeg -quality 95 {in} > {out}", "a.jpg", 24, 24},
    {"netpbm_png", "pnmtopng {in} > {out}", "a.png", 0},
    {"magick_jpeg_progressive", "convert {in} -quality 95 -interlace Plane jpg:{out}", "a.jpg", 24,
     24},
    {"magick_jpeg_cmyk", "convert {in} -quality 95 -colorspace CMYK jpg:{out}", "a.jpg", 24, 24},
    {"netpbm_png_16colours", "pnmquant 16 {in} | pnmtopng > {out}", "a.png", -1, 4},
    {"magick_rle8", "convert {in} -type Palette -compress RLE bmp3:{out}", "a.rle", 0, 8},
    {"netpbm_tga", "ppmtotga -rgb -norle {in} > {out}", "a.tga", 0, 24},
    {"netpbm_tga_rle", "ppmtotga -rgb {in} > {out}", "a.tga", 0, 24},
    {"netpbm_tga_palette", "ppmtotga -cmap {in} > {out}", "a.tga", 0, 8},
    {"magick_pcx", "convert {in} pcx:{out}", "a.pcx", 0},
    // Packed DIBs: the bitmap-info header first, no file header.
    {"magick_packed_dib", "convert {in} dib:{out}", "a.dib", 0, 24},
    {"magick_packed_dib_palette", "convert {in} -type Palette dib:{out}", "a.dib", 0, 8},
    {"netpbm_packed_dib", "ppmtobmp {in} | tail -c +15 > {out}", "a.dib", 0},
    {"magick_gif", "convert {in} gif:{out}", "a.gif", 0, 8},
    {"magick_tiff", "convert {in} -compress LZW tiff:{out}", "a.tif", 0},
    {"magick_png_palette", "convert {in} -type Palette png8:{out}", "a.png", 0},
    {"opj_jp2", "opj_compress -n 3 -i {in} -o {out}.jp2 >/dev/null && mv {out}.jp2 {out}", "a.jp2",
     0, 24},
    {"opj_j2k", "opj_compress -n 3 -i {in} -o {out}.j2k >/dev/null && mv {out}.j2k {out}", "a.j2k",
     0, 24},
};

class ToolMade : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolMade, ReadsWithSizeAndPixels) {
    const ToolCase& c = GetParam();
    const std::string cmd(c.command);
    const std::string tool = cmd.substr(0, cmd.find(' '));
    if (!haveTool(tool))
        GTEST_SKIP() << tool << " not installed";
    QTemporaryDir dir;
    const std::string in = dir.filePath("in.ppm").toStdString();
    const std::string out = dir.filePath(c.outName).toStdString();
    // The 16-colour case quantizes itself; it is compared with the tool's own result.
    const DibHolder image = c.tolerance > 0 ? manyColours() : fewColours();
    writePpm(image.get(), in);
    std::string line = cmd;
    for (auto p = line.find("{in}"); p != std::string::npos; p = line.find("{in}"))
        line.replace(p, 4, in);
    for (auto p = line.find("{out}"); p != std::string::npos; p = line.find("{out}"))
        line.replace(p, 5, out);
    ASSERT_TRUE(run(line)) << line;

    const DibHolder back = open(out);
    ASSERT_NE(back.get().poi, nullptr);
    if (c.bits != 0) {
        EXPECT_EQ(pixkit::dibbits(back.get()), c.bits);
    }
    DibHolder expected = make24(pixkit::dibwidth(image.get()), pixkit::dibheight(image.get()),
                                [&](int x, int y) { return shown(image.get(), x, y); });
    if (c.tolerance < 0) {
        // The tool chose the 16 colours itself: compare with its own reading.
        const std::string check = dir.filePath("check.ppm").toStdString();
        ASSERT_TRUE(run("pngtopnm " + out + " > " + check));
        expected = readPpm(check);
    }
    const auto diff = maxChannelDiff(expected.get(), back.get());
    ASSERT_TRUE(diff.has_value()) << "size differs";
    EXPECT_LE(*diff, std::max(c.tolerance, 0));
}

INSTANTIATE_TEST_SUITE_P(IndependentTools, ToolMade, ::testing::ValuesIn(ToolCases),
                         [](const auto& p) { return std::string(p.param.name); });

// Pictures written by Qt: the depth the file stores is the depth we deliver.
struct QtCase {
    const char* name;
    const char* format;
    QImage::Format qformat;
    int colours; // palette size for Indexed8
    int expectedBits;
};

void PrintTo(const QtCase& v, std::ostream* os) {
    *os << v.name;
}

const QtCase QtCases[] = {
    {"png_rgb", "png", QImage::Format_RGB32, 0, 24},
    {"png_alpha", "png", QImage::Format_ARGB32, 0, 24},
    {"png_grey", "png", QImage::Format_Grayscale8, 0, 8},
    {"png_16bit", "png", QImage::Format_RGBX64, 0, 24},
    {"png_palette16", "png", QImage::Format_Indexed8, 16, 8}, // Qt stores 8 bits per index
    {"png_palette200", "png", QImage::Format_Indexed8, 200, 8},
    {"png_mono", "png", QImage::Format_Mono, 2, 1},
    {"tiff_rgb", "tiff", QImage::Format_RGB32, 0, 24},
    {"tiff_mono", "tiff", QImage::Format_Mono, 2, 1},
    {"webp_rgb", "webp", QImage::Format_RGB32, 0, 24},
    {"ppm", "ppm", QImage::Format_RGB32, 0, 24},
    {"pgm", "pgm", QImage::Format_Grayscale8, 0, 8},
    {"pbm", "pbm", QImage::Format_Mono, 2, 1},
};

class QtMade : public ::testing::TestWithParam<QtCase> {};

TEST_P(QtMade, ArrivesAtItsStoredDepthWithItsColours) {
    const QtCase& c = GetParam();
    QImage img(23, 11, c.qformat);
    if (c.colours > 0) {
        QList<QRgb> table;
        for (int i = 0; i < c.colours; ++i)
            table.append(c.colours == 2 ? (i ? qRgb(255, 255, 255) : qRgb(0, 0, 0))
                                        : qRgb(i * 37 % 256, i, 255 - i));
        img.setColorTable(table);
    }
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const int v = (x * 7 + y * 13) % 256;
            if (c.colours > 0)
                img.setPixel(x, y, static_cast<uint>(v % c.colours));
            else
                img.setPixel(x, y, qRgba(v, 255 - v, (v * 3) % 256, x == 0 ? 0 : 255));
        }
    QTemporaryDir dir;
    const QString path = dir.filePath("made");
    QImageWriter writer(path, c.format);
    writer.setQuality(100);
    ASSERT_TRUE(writer.write(img)) << writer.errorString().toStdString();

    const DibHolder back = open(path.toStdString());
    ASSERT_NE(back.get().poi, nullptr);
    ASSERT_EQ(pixkit::dibwidth(back.get()), img.width());
    ASSERT_EQ(pixkit::dibheight(back.get()), img.height());
    EXPECT_EQ(pixkit::dibbits(back.get()), c.expectedBits);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            QRgb q = img.pixel(x, y);
            if (qAlpha(q) == 0)
                q = qRgb(255, 255, 255); // transparent parts are shown on white
            ASSERT_EQ(shown(back.get(), x, y), pixkit::rgb(static_cast<std::uint8_t>(qRed(q)),
                                                           static_cast<std::uint8_t>(qGreen(q)),
                                                           static_cast<std::uint8_t>(qBlue(q))))
                << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(QImageWriterFiles, QtMade, ::testing::ValuesIn(QtCases),
                         [](const auto& p) { return std::string(p.param.name); });

// TurboJPEG's own greyscale output arrives as 8 bits with a grey table.
TEST(JpegGrey, ArrivesAsEightBitsWithGreyTable) {
    std::vector<unsigned char> grey(40 * 30);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<unsigned char>(i % 40 * 6);
    tjhandle h = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(h, grey.data(), 40, 0, 30, TJPF_GRAY, &jpeg, &size, TJSAMP_GRAY, 100, 0),
              0);
    const std::vector<std::uint8_t> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(h);

    pixkit::dib d;
    ASSERT_TRUE(pixkit::decodeImageBytes(bytes, d));
    const DibHolder back(d);
    ASSERT_EQ(pixkit::dibbits(d), 8);
    EXPECT_EQ(pixkit::tableColour(d, 200), pixkit::rgb(200, 200, 200));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            EXPECT_NEAR(static_cast<int>(pixkit::getpixel(d, x, y)), x * 6, 2);
}

} // namespace

namespace {

// Decoding straight into the image's bottom-up rows gives exactly the pixels
// of a plain top-down TurboJPEG decode, on an odd width that needs row padding.
TEST(JpegIntoRows, SamePixelsAsAPlainDecode) {
    const DibHolder image = manyColours(101, 67);
    QTemporaryDir dir;
    const std::string path = dir.filePath("p.jpg").toStdString();
    ASSERT_TRUE(pixkit::WriteDib(image.get(), path, 80).ok);
    const std::vector<std::uint8_t> bytes = readBytes(path);

    std::vector<unsigned char> plain(101 * 67 * 3);
    tjhandle h = tjInitDecompress();
    ASSERT_EQ(tjDecompress2(h, bytes.data(), bytes.size(), plain.data(), 101, 0, 67, TJPF_BGR, 0),
              0);
    tjDestroy(h);

    const DibHolder back = open(path);
    ASSERT_EQ(pixkit::dibbits(back.get()), 24);
    for (int y = 0; y < 67; ++y)
        ASSERT_EQ(std::memcmp(pixkit::pictureRow(back.get(), y),
                              &plain[static_cast<std::size_t>(y) * 303], 303),
                  0)
            << "row " << y;
}

} // namespace

namespace {

// A TIFF whose orientation tag says "turn a quarter to the right" arrives
// turned, as a viewer shows it: the left column of the stored picture on top.
TEST(TiffOrientation, ArrivesTurned) {
    QImage img(3, 2, QImage::Format_RGB32);
    img.fill(qRgb(0, 0, 255));
    img.setPixel(0, 0, qRgb(255, 0, 0));
    img.setPixel(0, 1, qRgb(0, 255, 0));
    QTemporaryDir dir;
    QImageWriter writer(dir.filePath("t.tif"), "tiff");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(img));

    const DibHolder back = open(dir.filePath("t.tif").toStdString());
    ASSERT_NE(back.get().poi, nullptr);
    ASSERT_EQ(pixkit::dibwidth(back.get()), 2);
    ASSERT_EQ(pixkit::dibheight(back.get()), 3);
    EXPECT_EQ(shown(back.get(), 0, 0), pixkit::rgb(0, 255, 0));
    EXPECT_EQ(shown(back.get(), 1, 0), pixkit::rgb(255, 0, 0));
    EXPECT_EQ(shown(back.get(), 1, 2), pixkit::rgb(0, 0, 255));
}

} // namespace
