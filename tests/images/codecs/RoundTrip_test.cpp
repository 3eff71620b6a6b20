// Every format we write comes back through our own reader and through an
// independent one (netpbm, ImageMagick, OpenJPEG's tools), pixel for pixel
// where the format is lossless.

#include "CodecTestSupport.h"

#include "pixkit/ImageFile.h"

#include <tuple>

using namespace codectest;

namespace {

struct Format {
    const char* ext;
    // Reads `{in}` and leaves a binary PPM in `{out}`; empty: no independent reader here.
    const char* reader;
    bool lossy;
    // Palette depths (bit 1, 4, 8) that come back as they went in.
    unsigned keptDepths;
};

void PrintTo(const Format& v, std::ostream* os) {
    *os << v.ext;
}

constexpr unsigned Bits18 = (1u << 1) | (1u << 8), Bits148 = Bits18 | (1u << 4);

const Format Formats[] = {
    {".bmp", "bmptopnm {in} | convert pnm:- -depth 8 ppm:{out}", false, Bits148},
    {".dib", "bmptopnm {in} | convert pnm:- -depth 8 ppm:{out}", false, Bits148},
    {".rle", "convert bmp:{in} -depth 8 ppm:{out}", false, 0},
    {".gif", "giftopnm {in} | convert pnm:- -depth 8 ppm:{out}", false, Bits148},
    {".iff", "ilbmtoppm {in} | convert pnm:- -depth 8 ppm:{out}", false, 0},
    {".lbm", "ilbmtoppm {in} | convert pnm:- -depth 8 ppm:{out}", false, 0},
    {".jpg", "jpegtopnm {in} | convert pnm:- -depth 8 ppm:{out}", true, 0},
    {".JIF", "jpegtopnm {in} | convert pnm:- -depth 8 ppm:{out}", true, 0},
    {".pcx", "pcxtoppm {in} | convert pnm:- -depth 8 ppm:{out}", false, 0},
    {".tga", "tgatoppm {in} | convert pnm:- -depth 8 ppm:{out}", false, 0},
    {".tif", "tifftopnm {in} | convert pnm:- -depth 8 ppm:{out}", false, 1u << 8},
    {".jp2", "opj_decompress -i {in} -o {out}.ppm >/dev/null && mv {out}.ppm {out}", false, 0},
    {".png", "pngtopnm {in} | convert pnm:- -depth 8 ppm:{out}", false, Bits148},
    {".webp", "dwebp -quiet {in} -ppm -o {out}", false, 0},
};

// The picture of each input depth: 24 bits smooth or with few colours, and
// palette pictures of 8, 4 and 1 bits.
DibHolder picture(int bits, bool lossy) {
    if (bits == 24)
        return lossy ? manyColours() : fewColours();
    const int n = 1 << bits;
    std::vector<Colour> colours;
    for (int i = 0; i < n; ++i)
        colours.push_back(pixkit::rgb(static_cast<std::uint8_t>(i * 255 / (n - 1)),
                                      static_cast<std::uint8_t>(255 - i * 97 % 256), 60));
    // JPEG gets blocks as large as its colour blocks, the others small ones.
    const int block = lossy ? 16 : 3;
    return makePalette(29, 17, bits, colours, [n, block](int x, int y) {
        return static_cast<unsigned>((x / block + 3 * (y / block)) % n);
    });
}

std::string fill(std::string cmd, const std::string& in, const std::string& out) {
    for (auto [key, value] : {std::pair<std::string, std::string>{"{in}", in}, {"{out}", out}})
        for (auto p = cmd.find(key); p != std::string::npos; p = cmd.find(key))
            cmd.replace(p, key.size(), value);
    return cmd;
}

// Mean of the per-channel differences, for the lossy formats.
double meanDiff(const pixkit::dib& a, const pixkit::dib& b) {
    double sum = 0;
    const int w = pixkit::dibwidth(a), h = pixkit::dibheight(a);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int s = 0; s < 24; s += 8)
                sum += std::abs(static_cast<int>((shown(a, x, y) >> s) & 0xFF) -
                                static_cast<int>((shown(b, x, y) >> s) & 0xFF));
    return sum / (3.0 * w * h);
}

void expectSame(const pixkit::dib& original, const pixkit::dib& back, bool lossy) {
    ASSERT_NE(back.poi, nullptr);
    const auto diff = maxChannelDiff(original, back);
    ASSERT_TRUE(diff.has_value()) << "size changed";
    if (lossy)
        EXPECT_LT(meanDiff(original, back), 8.0); // JPEG at quality 95, hard colour edges included
    else
        EXPECT_EQ(*diff, 0);
}

class RoundTrip : public ::testing::TestWithParam<std::tuple<Format, int>> {
protected:
    QTemporaryDir m_dir;
};

TEST_P(RoundTrip, OwnAndIndependentReaderSeeTheWrittenPicture) {
    const auto [format, bits] = GetParam();
    const DibHolder image = picture(bits, format.lossy);
    const std::string path = m_dir.filePath(QString("picture") + format.ext).toStdString();
    const pixkit::WriteResult written = pixkit::WriteDib(image.get(), path, 95);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_TRUE(written.error.empty());

    DibHolder back;
    pixkit::dib d;
    pixkit::OpenDib(d, path);
    back.install(d);
    expectSame(image.get(), back.get(), format.lossy);
    if (bits != 24 && (format.keptDepths & (1u << bits)) != 0) {
        EXPECT_EQ(pixkit::dibbits(back.get()), bits);
    }

    if (std::string(format.reader).empty())
        GTEST_SKIP() << "no independent reader for " << format.ext << " on this machine";
    const std::string tool(format.reader, std::string(format.reader).find(' '));
    if (!haveTool(tool) || !haveTool("convert"))
        GTEST_SKIP() << tool << " or convert not installed";
    const std::string ppm = m_dir.filePath("independent.ppm").toStdString();
    ASSERT_TRUE(run(fill(format.reader, path, ppm))) << fill(format.reader, path, ppm);
    const DibHolder independent = readPpm(ppm);
    expectSame(image.get(), independent.get(), format.lossy);
}

INSTANTIATE_TEST_SUITE_P(AllWritable, RoundTrip,
                         ::testing::Combine(::testing::ValuesIn(Formats),
                                            ::testing::Values(24, 8, 4, 1)),
                         [](const auto& p) {
                             std::string name = std::get<0>(p.param).ext + 1;
                             return name + "_" + std::to_string(std::get<1>(p.param)) + "bit";
                         });

// A TIFF of 16 or 2 colours holds a colour map of 256 entries: the file is
// the one of the same picture with 8 bits and the table filled up with black,
// the same every time it is written.
TEST(TiffColourMap, AShortTableIsFilledUpWithBlack) {
    QTemporaryDir dir;
    for (const int bits : {4, 1}) {
        const int n = 1 << bits;
        std::vector<Colour> colours;
        for (int i = 0; i < n; ++i)
            colours.push_back(pixkit::rgb(static_cast<std::uint8_t>(40 + i * 13),
                                          static_cast<std::uint8_t>(200 - i * 11), 90));
        const auto indexAt = [n](int x, int y) { return static_cast<unsigned>((x + 2 * y) % n); };
        const DibHolder shortTable = makePalette(29, 17, bits, colours, indexAt);
        colours.resize(256, pixkit::rgb(0, 0, 0));
        const DibHolder fullTable = makePalette(29, 17, 8, colours, indexAt);
        const std::string a = dir.filePath("short.tif").toStdString();
        const std::string b = dir.filePath("full.tif").toStdString();
        ASSERT_TRUE(pixkit::WriteDib(shortTable.get(), a).ok);
        ASSERT_TRUE(pixkit::WriteDib(fullTable.get(), b).ok);
        EXPECT_EQ(readBytes(a), readBytes(b)) << bits << " bits";
    }
}

// More than 256 colours: GIF and RLE reduce them with giflib's median cut, so
// only closeness can be asked for.
TEST(ReducedColours, GifAndRleStayCloseToAPictureOfManyColours) {
    QTemporaryDir dir;
    const DibHolder image = manyColours();
    for (const char* ext : {".gif", ".rle"}) {
        const std::string path = dir.filePath(QString("many") + ext).toStdString();
        ASSERT_TRUE(pixkit::WriteDib(image.get(), path).ok) << ext;
        pixkit::dib d;
        pixkit::OpenDib(d, path);
        const DibHolder back(d);
        ASSERT_NE(back.get().poi, nullptr) << ext;
        EXPECT_EQ(pixkit::dibbits(back.get()), 8) << ext;
        EXPECT_LT(meanDiff(image.get(), back.get()), 8.0) << ext;
        EXPECT_LE(maxChannelDiff(image.get(), back.get()).value_or(255), 40) << ext;
    }
}

// A failed write reports why and leaves what was there before untouched.
TEST(WriteFailure, LeavesTheExistingFileAndSaysWhy) {
    QTemporaryDir dir;
    const DibHolder image = fewColours();
    const std::string keep = dir.filePath("keep.png").toStdString();
    const std::vector<std::uint8_t> before = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
    writeBytes(keep, before);
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub.png"));

    const std::string unknown = dir.filePath("keep.xyz").toStdString();
    writeBytes(unknown, before);
    const struct {
        std::string target;
        const char* why;
    } cases[] = {
        {unknown, "unknown image format"},
        {dir.filePath("keep").toStdString(), "no extension"},
        {dir.filePath("missing/keep.png").toStdString(), "folder does not exist"},
        {dir.filePath("sub.png").toStdString(), "folder of that name"},
    };
    for (const auto& c : cases) {
        const pixkit::WriteResult r = pixkit::WriteDib(image.get(), c.target);
        EXPECT_FALSE(r.ok) << c.target;
        EXPECT_NE(r.error.find(c.why), std::string::npos) << r.error;
    }
    EXPECT_EQ(readBytes(unknown), before);
    EXPECT_EQ(readBytes(keep), before);

    // Nothing to write: the old file stays as well.
    const pixkit::WriteResult empty = pixkit::WriteDib(pixkit::dib{}, keep);
    EXPECT_FALSE(empty.ok);
    EXPECT_FALSE(empty.error.empty());
    EXPECT_EQ(readBytes(keep), before);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

TEST(WriteExtensions, CanWriteMatchesWhatWriteDibWritesAndTheFilterOffersThem) {
    const std::string filter = pixkit::GetDIBOpenFilter();
    const std::string all = filter.substr(0, filter.find('|', filter.find('|') + 1));
    for (const Format& f : Formats) {
        std::string lower = f.ext;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(pixkit::CanWriteExtension(std::string("a") + f.ext)) << f.ext;
        EXPECT_NE(all.find("*" + lower + ";"), std::string::npos) << lower << " not offered";
    }
    for (const char* name : {"a.jpeg2", "a", "dir.png/a", "a.ppm", "a.txt", ".bmp.x"})
        EXPECT_FALSE(pixkit::CanWriteExtension(name)) << name;
    // Description and pattern pairs, the last for every file.
    EXPECT_EQ(std::count(filter.begin(), filter.end(), '|') % 2, 1);
    EXPECT_EQ(filter.substr(filter.size() - 3), "*.*");
}

} // namespace
