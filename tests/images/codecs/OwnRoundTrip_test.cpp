// Our encoders against our decoders, and both against independent tools.
#include "OwnCodecTestUtil.h"

using namespace codectest;
using namespace pixkit::codec;

namespace {

enum class Format { Bmp, BmpRle, Pcx, Ilbm, Tga };

const char* nameOf(Format f) {
    switch (f) {
    case Format::Bmp:
        return "bmp";
    case Format::BmpRle:
        return "bmprle";
    case Format::Pcx:
        return "pcx";
    case Format::Ilbm:
        return "ilbm";
    default:
        return "tga";
    }
}

bool encode(Format f, const dib& d, Buffer& out) {
    switch (f) {
    case Format::Bmp:
        return encodeBmp(d, false, out);
    case Format::BmpRle:
        return encodeBmp(d, true, out);
    case Format::Pcx:
        return encodePcx(d, out);
    case Format::Ilbm:
        return encodeIlbm(d, out);
    default:
        return encodeTga(d, out);
    }
}

bool decode(Format f, const Buffer& b, dib& out) {
    switch (f) {
    case Format::Bmp:
    case Format::BmpRle:
        return looksLikeBmp(b) && decodeBmp(b, out);
    case Format::Pcx:
        return looksLikePcx(b) && decodePcx(b, out);
    case Format::Ilbm:
        return looksLikeIlbm(b) && decodeIlbm(b, out);
    default:
        return looksLikeTga(b) && decodeTga(b, out);
    }
}

// Depth the decoder returns for an image of `bits` written by our encoder.
int decodedDepth(Format f, int bits) {
    if (bits == 24)
        return 24;
    if (f == Format::Pcx || f == Format::Tga)
        return 8; // 1- and 4-bit pictures are written as 8-bit indices
    return bits;
}

struct RoundTripCase {
    Format format;
    int bits;
    int w;
    int h;
};

std::string caseName(const ::testing::TestParamInfo<RoundTripCase>& i) {
    return std::string(nameOf(i.param.format)) + "_" + std::to_string(i.param.bits) + "bit_" +
           std::to_string(i.param.w) + "x" + std::to_string(i.param.h);
}

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, OwnDecoderGivesBackEveryPixel) {
    const RoundTripCase c = GetParam();
    DibHolder src(makePicture(c.w, c.h, c.bits, static_cast<unsigned>(c.w * 31 + c.bits)));
    Buffer file;
    ASSERT_TRUE(encode(c.format, src.get(), file));
    DibHolder back;
    ASSERT_TRUE(decode(c.format, file, back.get()));
    ASSERT_EQ(dibwidth(back.get()), c.w);
    ASSERT_EQ(dibheight(back.get()), c.h);
    EXPECT_EQ(dibbits(back.get()), decodedDepth(c.format, c.bits));
    EXPECT_EQ(shownColours(back.get()), shownColours(src.get()));
    if (c.bits <= 8 && dibbits(back.get()) == c.bits) {
        // Palette images keep their indices and their table.
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                ASSERT_EQ(getpixel(back.get(), x, y), getpixel(src.get(), x, y));
        EXPECT_EQ(back.get().pal.palPalEntry[1].peRed, src.get().pal.palPalEntry[1].peRed);
    }
}

// The independent decoders must see the same picture in our files.
TEST_P(RoundTrip, IndependentToolReadsOurFile) {
    const RoundTripCase c = GetParam();
    if (!haveTool("convert"))
        GTEST_SKIP() << "ImageMagick convert is not installed";
    DibHolder src(makePicture(c.w, c.h, c.bits, static_cast<unsigned>(c.h * 17 + c.bits)));
    Buffer file;
    ASSERT_TRUE(encode(c.format, src.get(), file));
    TempDir dir;
    const std::string ext = c.format == Format::Ilbm     ? "iff"
                            : c.format == Format::BmpRle ? "bmp"
                                                         : nameOf(c.format);
    writeBytes(dir / ("in." + ext), file);
    // ImageMagick cannot read ILBM; netpbm reads all four.
    std::vector<std::string> readers;
    if (c.format != Format::Ilbm)
        readers.push_back("convert " + dir.q("in." + ext) +
                          " -auto-orient -depth 8 ppm:" + dir.q("out1.ppm"));
    const char* netpbm = c.format == Format::Pcx    ? "pcxtoppm"
                         : c.format == Format::Ilbm ? "ilbmtoppm"
                         : c.format == Format::Tga  ? "tgatoppm"
                                                    : "bmptoppm";
    if (haveTool(netpbm))
        readers.push_back(std::string(netpbm) + " " + dir.q("in." + ext) + " > " +
                          dir.q("out2.ppm"));
    int checked = 0;
    for (const std::string& cmd : readers) {
        const std::string outName = cmd.find("convert") == 0 ? "out1.ppm" : "out2.ppm";
        if (!run(cmd)) {
            ADD_FAILURE() << "tool failed: " << cmd;
            continue;
        }
        const auto ppm = parsePpm(readBytes(dir / outName));
        ASSERT_TRUE(ppm.has_value()) << cmd;
        ASSERT_EQ(ppm->width, c.w);
        ASSERT_EQ(ppm->height, c.h);
        EXPECT_EQ(ppm->pixels, shownColours(src.get())) << cmd;
        ++checked;
    }
    if (checked == 0)
        GTEST_SKIP() << "no independent reader available";
}

std::vector<RoundTripCase> allCases() {
    std::vector<RoundTripCase> v;
    for (Format f : {Format::Bmp, Format::BmpRle, Format::Pcx, Format::Ilbm, Format::Tga})
        for (int bits : {1, 4, 8, 24})
            for (auto [w, h] :
                 {std::pair{1, 1}, std::pair{13, 7}, std::pair{64, 3}, std::pair{301, 21}})
                v.push_back({f, bits, w, h});
    return v;
}

INSTANTIATE_TEST_SUITE_P(AllDepths, RoundTrip, ::testing::ValuesIn(allCases()), caseName);

// --- files made by independent tools ------------------------------------------

struct ToolCase {
    const char* name;
    int colours;           // 0: every pixel its own colour
    const char* command;   // %in: the PPM, %out: the file to decode
    const char* tool;      // must be installed
    const char* reference; // command printing the tool's own decoding as PPM
    const char* ext;
};

// The picture the tools start from: `colours` distinct colours in runs.
Rgb toolPicture(int colours) {
    Rgb r{37, 23, {}};
    std::mt19937 rng(11);
    for (int i = 0; i < r.width * r.height; ++i) {
        const unsigned v =
            colours == 0
                ? static_cast<unsigned>(rng()) & 0xFFFFFF
                : static_cast<unsigned>((i / 3 + static_cast<int>(rng() % 2)) % colours) * 40503u;
        r.pixels.push_back(v & 0xFFFFFF);
    }
    return r;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

class ToolFiles : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolFiles, DecodedLikeTheToolsOwnReader) {
    const ToolCase c = GetParam();
    if (!haveTool(c.tool))
        GTEST_SKIP() << c.tool << " is not installed";
    TempDir dir;
    const Rgb pic = toolPicture(c.colours);
    writeBytes(dir / "in.ppm", ppmOf(pic.width, pic.height, pic.pixels));
    std::string cmd = replaceAll(c.command, "%in", dir.q("in.ppm"));
    const std::string name = std::string("file.") + c.ext;
    cmd = replaceAll(cmd, "%out", dir.q(name));
    ASSERT_TRUE(run(cmd)) << cmd;
    const std::string ref = replaceAll(c.reference, "%out", dir.q(name)) + " > " + dir.q("ref.ppm");
    ASSERT_TRUE(run(ref)) << ref;
    const auto expected = parsePpm(readBytes(dir / "ref.ppm"));
    ASSERT_TRUE(expected.has_value());

    const Buffer file = readBytes(dir / name);
    DibHolder d;
    const bool ok = (looksLikeBmp(file) && decodeBmp(file, d.get())) ||
                    (looksLikePcx(file) && decodePcx(file, d.get())) ||
                    (looksLikeIlbm(file) && decodeIlbm(file, d.get())) ||
                    (looksLikeTga(file) && decodeTga(file, d.get()));
    ASSERT_TRUE(ok);
    ASSERT_EQ(dibwidth(d.get()), expected->width);
    ASSERT_EQ(dibheight(d.get()), expected->height);
    EXPECT_EQ(shownColours(d.get()), expected->pixels);
}

const ToolCase toolCases[] = {
    {"pcx_mono", 2, "ppmtopcx %in > %out", "ppmtopcx", "pcxtoppm %out", "pcx"},
    {"pcx_16", 16, "ppmtopcx %in > %out", "ppmtopcx", "pcxtoppm %out", "pcx"},
    {"pcx_16_packed", 16, "ppmtopcx -packed %in > %out", "ppmtopcx", "pcxtoppm %out", "pcx"},
    {"pcx_200", 200, "ppmtopcx %in > %out", "ppmtopcx", "pcxtoppm %out", "pcx"},
    {"pcx_truecolour", 0, "ppmtopcx -24bit %in > %out", "ppmtopcx", "pcxtoppm %out", "pcx"},
    {"pcx_convert", 0, "convert %in pcx:%out", "convert", "convert %out -depth 8 ppm:-", "pcx"},
    {"ilbm_4planes", 16, "ppmtoilbm %in > %out", "ppmtoilbm", "ilbmtoppm %out", "iff"},
    {"ilbm_8planes", 200, "ppmtoilbm -maxplanes 8 %in > %out", "ppmtoilbm", "ilbmtoppm %out",
     "iff"},
    {"ilbm_mask", 16, "pbmmake -g 37 23 > %out.pbm && ppmtoilbm -maskfile %out.pbm %in > %out",
     "ppmtoilbm", "ilbmtoppm %out", "iff"},
    {"ilbm_mono", 2, "ppmtoilbm -nocompress %in > %out", "ppmtoilbm", "ilbmtoppm %out", "iff"},
    {"ilbm_deep", 0, "ppmtoilbm %in > %out", "ppmtoilbm", "ilbmtoppm %out", "iff"},
    {"ilbm_deep_plain", 0, "ppmtoilbm -24force -nocompress %in > %out", "ppmtoilbm",
     "ilbmtoppm %out", "iff"},
    {"bmp_mono", 2, "ppmtobmp -bpp 1 %in > %out", "ppmtobmp", "bmptoppm %out", "bmp"},
    {"bmp_4", 16, "ppmtobmp -bpp 4 %in > %out", "ppmtobmp", "bmptoppm %out", "bmp"},
    {"bmp_8", 200, "ppmtobmp -bpp 8 %in > %out", "ppmtobmp", "bmptoppm %out", "bmp"},
    {"bmp_24", 0, "ppmtobmp %in > %out", "ppmtobmp", "bmptoppm %out", "bmp"},
    {"bmp_os2", 200, "ppmtobmp -os2 %in > %out", "ppmtobmp", "bmptoppm %out", "bmp"},
    {"bmp_rle8", 0, "convert %in -colors 200 -compress RLE bmp3:%out", "convert",
     "convert %out -depth 8 ppm:-", "bmp"},
    {"bmp_rle4", 0, "convert %in -colors 12 -compress RLE bmp3:%out", "convert",
     "convert %out -depth 8 ppm:-", "bmp"},
    {"bmp_v5", 0, "convert %in bmp:%out", "convert", "convert %out -depth 8 ppm:-", "bmp"},
    {"bmp_565", 0, "convert %in -define bmp:subtype=RGB565 bmp:%out", "convert",
     "convert %out -depth 8 ppm:-", "bmp"},
    {"bmp_555", 0, "convert %in -define bmp:subtype=RGB555 bmp:%out", "convert",
     "convert %out -depth 8 ppm:-", "bmp"},
    {"bmp_32", 0, "convert %in -alpha set -channel A -evaluate set 100% bmp:%out", "convert",
     "convert %out -alpha off -depth 8 ppm:-", "bmp"},
    {"tga_rle", 0, "convert %in -compress RLE tga:%out", "convert", "tgatoppm %out", "tga"},
    {"tga_plain", 0, "convert %in tga:%out", "convert", "tgatoppm %out", "tga"},
    {"tga_mapped", 0, "convert %in -colors 50 -type Palette tga:%out", "convert", "tgatoppm %out",
     "tga"},
    {"tga_mapped_rle", 0, "convert %in -colors 50 -type Palette -compress RLE tga:%out", "convert",
     "tgatoppm %out", "tga"},
    {"tga_grey_rle", 0, "convert %in -colorspace Gray -compress RLE tga:%out", "convert",
     "tgatoppm %out", "tga"},
    {"tga_netpbm", 0, "ppmtotga -rgb %in > %out", "ppmtotga", "tgatoppm %out", "tga"},
    {"tga_netpbm_cmap", 200, "ppmtotga -cmap %in > %out", "ppmtotga", "tgatoppm %out", "tga"},
    {"tga_netpbm_plain", 0, "ppmtotga -rgb -norle %in > %out", "ppmtotga", "tgatoppm %out", "tga"},
};

INSTANTIATE_TEST_SUITE_P(Tools, ToolFiles, ::testing::ValuesIn(toolCases),
                         [](const auto& i) { return std::string(i.param.name); });

// --- layouts no tool above writes ------------------------------------------------

Buffer be32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

void append(Buffer& b, const Buffer& more) {
    b.insert(b.end(), more.begin(), more.end());
}

TEST(LayoutVariants, TopDownBmpIsFlippedIntoBottomUpRows) {
    DibHolder pic(makePicture(5, 4, 24, 8));
    Buffer b;
    ASSERT_TRUE(encodeBmp(pic.get(), false, b));
    // Negative height and the rows reversed: the same picture.
    const std::size_t stride = 16, first = 54;
    Buffer flipped(b.begin(), b.begin() + first);
    for (std::size_t r = 4; r-- > 0;)
        flipped.insert(flipped.end(), b.begin() + static_cast<std::ptrdiff_t>(first + r * stride),
                       b.begin() + static_cast<std::ptrdiff_t>(first + (r + 1) * stride));
    flipped[22] = 0xFC; // -4
    flipped[23] = flipped[24] = flipped[25] = 0xFF;
    DibHolder d;
    ASSERT_TRUE(decodeBmp(flipped, d.get()));
    EXPECT_EQ(shownColours(d.get()), shownColours(pic.get()));
}

TEST(LayoutVariants, TgaSixteenBitsRightToLeftAndTopOrigin) {
    Buffer b(18, 0);
    b[2] = 2;
    b[12] = 2;
    b[14] = 2;
    b[16] = 16;
    b[17] = 0x30; // top origin, right to left
    // A1R5G5B5 little-endian: pure red, pure green / pure blue, white.
    b.insert(b.end(), {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F});
    DibHolder d;
    ASSERT_TRUE(decodeTga(b, d.get()));
    EXPECT_EQ(shownColours(d.get()), (std::vector<Colour>{rgb(0, 255, 0), rgb(255, 0, 0),
                                                          rgb(255, 255, 255), rgb(0, 0, 255)}));
}

TEST(LayoutVariants, IlbmSkipsUnknownOddChunksAndReadsChunkyPbm) {
    DibHolder pic(makePicture(9, 3, 8, 6));
    Buffer ilbm;
    ASSERT_TRUE(encodeIlbm(pic.get(), ilbm));
    // An odd-sized unknown chunk (with its pad byte) right after the header.
    Buffer withAnno(ilbm.begin(), ilbm.begin() + 12);
    append(withAnno, {'A', 'N', 'N', 'O', 0, 0, 0, 3, 'x', 'y', 'z', 0});
    withAnno.insert(withAnno.end(), ilbm.begin() + 12, ilbm.end());
    const Buffer formLen = be32(static_cast<std::uint32_t>(withAnno.size() - 8));
    std::copy(formLen.begin(), formLen.end(), withAnno.begin() + 4);
    DibHolder a;
    ASSERT_TRUE(decodeIlbm(withAnno, a.get()));
    EXPECT_EQ(shownColours(a.get()), shownColours(pic.get()));

    // The same picture as chunky "PBM ": one byte per pixel, rows even.
    Buffer pbm = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'P', 'B', 'M', ' '};
    pbm.insert(pbm.end(), ilbm.begin() + 12, ilbm.begin() + 12 + 28);      // BMHD
    pbm[12 + 8 + 10] = 0;                                                  // stored plainly
    pbm.insert(pbm.end(), ilbm.begin() + 40, ilbm.begin() + 40 + 8 + 768); // CMAP
    append(pbm, {'B', 'O', 'D', 'Y'});
    append(pbm, be32(3 * 10));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 10; ++x)
            pbm.push_back(static_cast<std::uint8_t>(x < 9 ? getpixel(pic.get(), x, y) : 0));
    }
    const Buffer pbmLen = be32(static_cast<std::uint32_t>(pbm.size() - 8));
    std::copy(pbmLen.begin(), pbmLen.end(), pbm.begin() + 4);
    DibHolder c;
    ASSERT_TRUE(decodeIlbm(pbm, c.get()));
    EXPECT_EQ(dibbits(c.get()), 8);
    EXPECT_EQ(shownColours(c.get()), shownColours(pic.get()));
}

} // namespace
