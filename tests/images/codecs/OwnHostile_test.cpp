// The decoders against broken and malicious files: truncations, garbage,
// absurd sizes, short palettes, runs past the row and the image end.
#include "OwnCodecTestUtil.h"

#include <functional>

using namespace codectest;
using namespace pixkit::codec;

namespace {

using Decoder = bool (*)(Bytes, dib&, std::uint64_t);

struct Sample {
    const char* name;
    Decoder decode;
    std::function<Buffer()> make;
};

Buffer encoded(int bits, int w, int h, const std::function<bool(const dib&, Buffer&)>& enc) {
    DibHolder d(makePicture(w, h, bits, 99));
    Buffer b;
    EXPECT_TRUE(enc(d.get(), b));
    return b;
}

// A run-length TGA written by hand: 5 x 2 true colour, one run packet that
// crosses into the second row and a raw packet.
Buffer handTgaRle() {
    Buffer b(18, 0);
    b[2] = 10;
    b[12] = 5;
    b[14] = 2;
    b[16] = 24;
    b.insert(b.end(), {0x86, 1, 2, 3});                      // 7 pixels of one colour
    b.insert(b.end(), {0x02, 9, 8, 7, 6, 5, 4, 30, 20, 10}); // 3 raw pixels
    return b;
}

// Uncompressed grey TGA with its origin at the top.
Buffer handTgaGrey() {
    Buffer b(18, 0);
    b[2] = 3;
    b[12] = 3;
    b[14] = 2;
    b[16] = 8;
    b[17] = 0x20;
    b.insert(b.end(), {0, 50, 100, 150, 200, 250});
    return b;
}

// A BMP without its 14-byte file header: a packed DIB.
Buffer packed(int bits, int w, int h) {
    const Buffer bmp =
        encoded(bits, w, h, [](const dib& d, Buffer& b) { return encodeBmp(d, false, b); });
    return Buffer(bmp.begin() + 14, bmp.end());
}

std::vector<Sample> samples() {
    auto bmp = [](bool rle) {
        return [rle](const dib& d, Buffer& b) { return encodeBmp(d, rle, b); };
    };
    return {
        {"bmp1", decodeBmp, [=] { return encoded(1, 13, 3, bmp(false)); }},
        {"bmp4", decodeBmp, [=] { return encoded(4, 7, 3, bmp(false)); }},
        {"bmp8", decodeBmp, [=] { return encoded(8, 5, 3, bmp(false)); }},
        {"bmp24", decodeBmp, [=] { return encoded(24, 5, 3, bmp(false)); }},
        {"bmprle8", decodeBmp, [=] { return encoded(8, 21, 3, bmp(true)); }},
        {"bmprle4", decodeBmp, [=] { return encoded(4, 21, 3, bmp(true)); }},
        {"packeddib1", decodePackedDib, [] { return packed(1, 13, 3); }},
        {"packeddib8", decodePackedDib, [] { return packed(8, 5, 3); }},
        {"packeddib24", decodePackedDib, [] { return packed(24, 5, 3); }},
        {"pcx8", decodePcx, [] { return encoded(8, 9, 3, encodePcx); }},
        {"pcx24", decodePcx, [] { return encoded(24, 9, 3, encodePcx); }},
        {"ilbm1", decodeIlbm, [] { return encoded(1, 19, 3, encodeIlbm); }},
        {"ilbm8", decodeIlbm, [] { return encoded(8, 9, 3, encodeIlbm); }},
        {"ilbm24", decodeIlbm, [] { return encoded(24, 9, 3, encodeIlbm); }},
        {"tga8", decodeTga, [] { return encoded(8, 6, 3, encodeTga); }},
        {"tga24", decodeTga, [] { return encoded(24, 6, 3, encodeTga); }},
        {"tgarle", decodeTga, handTgaRle},
        {"tgagrey", decodeTga, handTgaGrey},
    };
}

// A failed decode leaves nothing behind; a successful one is released here.
void expectSafe(Decoder decode, const Buffer& b, bool* ok = nullptr) {
    dib d;
    const bool r = decode(b, d, MaxDecodedPixels);
    if (ok != nullptr)
        *ok = r;
    if (!r) {
        EXPECT_EQ(d.poi, nullptr);
        EXPECT_EQ(d.pmi, nullptr);
        EXPECT_EQ(d.poih, 0u);
        return;
    }
    EXPECT_GT(dibwidth(d), 0);
    EXPECT_GT(dibheight(d), 0);
    releasedib(d);
}

class Hostile : public ::testing::TestWithParam<Sample> {};

TEST_P(Hostile, EveryTruncationFailsCleanlyOrGivesTheWholePicture) {
    const Sample s = GetParam();
    const Buffer full = s.make();
    DibHolder whole;
    ASSERT_TRUE(s.decode(full, whole.get(), MaxDecodedPixels));
    const std::vector<Colour> expected = shownColours(whole.get());
    for (std::size_t n = 0; n < full.size(); ++n) {
        const Buffer cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        DibHolder part;
        if (!s.decode(cut, part.get(), MaxDecodedPixels)) {
            ASSERT_EQ(part.get().poi, nullptr) << n;
            continue;
        }
        // Only optional trailing bytes (end marks, padding, footers) may go.
        ASSERT_EQ(shownColours(part.get()), expected) << "length " << n;
    }
}

TEST_P(Hostile, RandomGarbageAndMutationsNeverCrash) {
    const Sample s = GetParam();
    const Buffer full = s.make();
    std::mt19937 rng(1234);
    for (int round = 0; round < 400; ++round) {
        Buffer b = full;
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < flips; ++i)
            b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
        expectSafe(s.decode, b);
    }
    // Pure noise behind the first few header bytes, so the signature holds.
    for (int round = 0; round < 200; ++round) {
        Buffer b(full.begin(), full.begin() + 12);
        const std::size_t extra = rng() % 700;
        for (std::size_t i = 0; i < extra; ++i)
            b.push_back(static_cast<std::uint8_t>(rng()));
        expectSafe(s.decode, b);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, Hostile, ::testing::ValuesIn(samples()),
                         [](const auto& i) { return std::string(i.param.name); });

// --- absurd sizes -------------------------------------------------------------

struct SizePatch {
    const char* name;
    std::size_t offset;
    std::vector<std::uint8_t> bytes; // written at offset
};

Buffer patched(Buffer b, const SizePatch& p) {
    for (std::size_t i = 0; i < p.bytes.size(); ++i)
        b[p.offset + i] = p.bytes[i];
    return b;
}

TEST(HostileSizes, AbsurdDimensionsAreRefused) {
    const Buffer bmp =
        encoded(24, 5, 3, [](const dib& d, Buffer& b) { return encodeBmp(d, false, b); });
    const Buffer bmpRle =
        encoded(8, 5, 3, [](const dib& d, Buffer& b) { return encodeBmp(d, true, b); });
    const Buffer dib8 = packed(8, 5, 3);
    const Buffer pcx = encoded(24, 5, 3, encodePcx);
    const Buffer ilbm = encoded(24, 5, 3, encodeIlbm);
    const Buffer tga = encoded(24, 5, 3, encodeTga);
    struct Case {
        const Buffer* file;
        Decoder decode;
        SizePatch patch;
    };
    const std::vector<Case> cases = {
        {&bmp, decodeBmp, {"bmp width 2^30", 18, {0, 0, 0, 0x40}}},
        {&bmp, decodeBmp, {"bmp height 2^30", 22, {0, 0, 0, 0x40}}},
        {&bmp, decodeBmp, {"bmp width negative", 18, {0xFB, 0xFF, 0xFF, 0xFF}}},
        {&bmp, decodeBmp, {"bmp height INT_MIN", 22, {0, 0, 0, 0x80}}},
        {&bmp, decodeBmp, {"bmp width zero", 18, {0, 0, 0, 0}}},
        {&bmp, decodeBmp, {"bmp height zero", 22, {0, 0, 0, 0}}},
        {&bmp, decodeBmp, {"bmp pixels past the end", 10, {0xFF, 0xFF, 0xFF, 0x7F}}},
        {&bmp, decodeBmp, {"bmp header size huge", 14, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {&bmp, decodeBmp, {"bmp 2 bits", 28, {2, 0}}},
        {&bmpRle, decodeBmp, {"rle top-down", 22, {0xFD, 0xFF, 0xFF, 0xFF}}},
        {&bmpRle, decodeBmp, {"rle both 2^30", 18, {0, 0, 0, 0x40, 0, 0, 0, 0x40}}},
        {&bmpRle,
         decodeBmp,
         {"rle 30000 squared from a few bytes", 18, {0x30, 0x75, 0, 0, 0x30, 0x75, 0, 0}}},
        {&dib8, decodePackedDib, {"packed dib width 2^30", 4, {0, 0, 0, 0x40}}},
        {&dib8, decodePackedDib, {"packed dib height INT_MIN", 8, {0, 0, 0, 0x80}}},
        {&dib8, decodePackedDib, {"packed dib header size huge", 0, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {&dib8, decodePackedDib, {"packed dib header size 20", 0, {20, 0, 0, 0}}},
        {&dib8, decodePackedDib, {"packed dib 2 planes", 12, {2, 0}}},
        {&dib8, decodePackedDib, {"packed dib 7 bits", 14, {7, 0}}},
        {&dib8, decodePackedDib, {"packed dib compression 99", 16, {99, 0, 0, 0}}},
        {&pcx, decodePcx, {"pcx xmax below xmin", 4, {5, 0, 0, 0, 2, 0}}},
        {&pcx, decodePcx, {"pcx 65535 squared", 8, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {&pcx, decodePcx, {"pcx bytes per line below width", 66, {2, 0}}},
        {&pcx, decodePcx, {"pcx bytes per line zero", 66, {0, 0}}},
        {&pcx, decodePcx, {"pcx 7 planes", 65, {7}}},
        {&ilbm, decodeIlbm, {"ilbm width zero", 20, {0, 0}}},
        {&ilbm, decodeIlbm, {"ilbm 65535 squared", 20, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {&ilbm, decodeIlbm, {"ilbm 9 planes", 28, {9}}},
        {&ilbm, decodeIlbm, {"ilbm compression 2", 30, {2}}},
        {&ilbm, decodeIlbm, {"ilbm chunk past the end", 16, {0x7F, 0xFF, 0xFF, 0xF0}}},
        {&tga, decodeTga, {"tga width zero", 12, {0, 0}}},
        {&tga, decodeTga, {"tga 65535 squared", 12, {0xFF, 0xFF, 0xFF, 0xFF}}},
        {&tga, decodeTga, {"tga 12 bits", 16, {12}}},
        {&tga, decodeTga, {"tga id past the end", 0, {0xFF}}},
        {&tga, decodeTga, {"tga type 5", 2, {5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.patch.name);
        bool ok = true;
        expectSafe(c.decode, patched(*c.file, c.patch), &ok);
        EXPECT_FALSE(ok);
    }
}

// --- short palettes -------------------------------------------------------------

TEST(HostilePalettes, MissingEntriesAreBlack) {
    // 8-bit BMP whose header announces only 3 colours, pixels using 0..5.
    DibHolder pic(makePicture(6, 1, 8, 1));
    for (int x = 0; x < 6; ++x)
        setpixel(pic.get(), x, 0, static_cast<Colour>(x));
    Buffer bmp;
    ASSERT_TRUE(encodeBmp(pic.get(), false, bmp));
    bmp[46] = 3; // biClrUsed
    // Pixels now start right after three entries.
    Buffer shortBmp(bmp.begin(), bmp.begin() + 54 + 12);
    shortBmp.insert(shortBmp.end(), bmp.begin() + 54 + 1024, bmp.end());
    shortBmp[10] = static_cast<std::uint8_t>(54 + 12);
    shortBmp[11] = 0;
    DibHolder d;
    ASSERT_TRUE(decodeBmp(shortBmp, d.get()));
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(shownColour(d.get(), x, 0), x < 3 ? tableColour(pic.get(), x) : 0u) << x;

    // TGA whose map holds 2 entries starting at index 1.
    Buffer tga(18, 0);
    tga[1] = 1;
    tga[2] = 1;
    tga[3] = 1; // first entry stands for index 1
    tga[5] = 2;
    tga[7] = 24;
    tga[12] = 4;
    tga[14] = 1;
    tga[16] = 8;
    tga.insert(tga.end(), {10, 20, 30, 40, 50, 60}); // blue, green, red
    tga.insert(tga.end(), {0, 1, 2, 200});
    DibHolder t;
    ASSERT_TRUE(decodeTga(tga, t.get()));
    EXPECT_EQ(shownColour(t.get(), 0, 0), 0u);
    EXPECT_EQ(shownColour(t.get(), 1, 0), rgb(30, 20, 10));
    EXPECT_EQ(shownColour(t.get(), 2, 0), rgb(60, 50, 40));
    EXPECT_EQ(shownColour(t.get(), 3, 0), 0u);
}

// --- runs past the row and the image ----------------------------------------------

Buffer bmpRleFile(int bits, int w, int h, const std::vector<std::uint8_t>& stream) {
    DibHolder pic(makePicture(w, h, bits, 3));
    Buffer b;
    EXPECT_TRUE(encodeBmp(pic.get(), true, b));
    const std::size_t offBits = std::size_t{b[10]} | (std::size_t{b[11]} << 8);
    b.resize(offBits);
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

TEST(HostileRuns, BmpRunsAreClippedAtRowAndImage) {
    // 4 x 2, RLE8: a run of 255 in row 0, an absolute run of 5 in row 1,
    // a delta far past the image, a run above the image, then the end mark.
    const Buffer f =
        bmpRleFile(8, 4, 2, {255, 7, 0, 0, 0, 5, 1, 2, 3, 4, 5, 0, 0, 2, 255, 255, 9, 9, 0, 1});
    DibHolder d;
    ASSERT_TRUE(decodeBmp(f, d.get()));
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(getpixel(d.get(), x, 1), 7u); // stored row 0 is the bottom row
        EXPECT_EQ(getpixel(d.get(), x, 0), static_cast<Colour>(x + 1));
    }
    // RLE4: a run of 9 alternating pixels in a row of 3.
    const Buffer f4 = bmpRleFile(4, 3, 1, {9, 0x5A, 0, 1});
    DibHolder d4;
    ASSERT_TRUE(decodeBmp(f4, d4.get()));
    EXPECT_EQ(getpixel(d4.get(), 0, 0), 5u);
    EXPECT_EQ(getpixel(d4.get(), 1, 0), 10u);
    EXPECT_EQ(getpixel(d4.get(), 2, 0), 5u);
    // A stream that ends before the rows are done is refused.
    DibHolder d5;
    EXPECT_FALSE(decodeBmp(bmpRleFile(8, 4, 3, {4, 1, 0, 0}), d5.get()));
    EXPECT_EQ(d5.get().poi, nullptr);
}

TEST(HostileRuns, TgaPacketPastTheImageIsCut) {
    Buffer b(18, 0);
    b[2] = 11; // grey, run-length
    b[12] = 3;
    b[14] = 1;
    b[16] = 8;
    b.insert(b.end(), {0xFF, 77}); // 128 pixels for an image of 3
    DibHolder d;
    ASSERT_TRUE(decodeTga(b, d.get()));
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(shownColour(d.get(), x, 0), rgb(77, 77, 77));
}

TEST(HostileRuns, PcxRunMayCrossPlanesAndLines) {
    // 24-bit, 2 x 2, bytes per line 2: one run of 12 covers everything.
    DibHolder pic(makePicture(2, 2, 24, 4));
    Buffer b;
    ASSERT_TRUE(encodePcx(pic.get(), b));
    b.resize(128);
    b.insert(b.end(), {0xCC, 0x42});
    DibHolder d;
    ASSERT_TRUE(decodePcx(b, d.get()));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(getpixel(d.get(), x, y), rgb(0x42, 0x42, 0x42));
}

TEST(HostileRuns, IlbmRunLongerThanTheRowIsCut) {
    DibHolder pic(makePicture(16, 2, 1, 4));
    Buffer b;
    ASSERT_TRUE(encodeIlbm(pic.get(), b));
    // New BODY: row 0 a repeat of 100 x 0xFF (the row holds 2 bytes), row 1 a literal.
    const std::size_t at = 12 + 28 + 14; // after FORM, BMHD and a CMAP of two colours
    ASSERT_EQ(std::string(b.begin() + at, b.begin() + at + 4), "BODY");
    b.resize(at);
    const std::vector<std::uint8_t> stream = {0x9D, 0xFF, 0x01, 0x0F, 0xF0};
    b.insert(b.end(), {'B', 'O', 'D', 'Y', 0, 0, 0, static_cast<std::uint8_t>(stream.size())});
    b.insert(b.end(), stream.begin(), stream.end());
    b.push_back(0);
    const auto form = static_cast<std::uint32_t>(b.size() - 8);
    b[4] = static_cast<std::uint8_t>(form >> 24);
    b[5] = static_cast<std::uint8_t>(form >> 16);
    b[6] = static_cast<std::uint8_t>(form >> 8);
    b[7] = static_cast<std::uint8_t>(form);
    DibHolder d;
    ASSERT_TRUE(decodeIlbm(b, d.get()));
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(getpixel(d.get(), x, 0), 1u) << x;
        EXPECT_EQ(getpixel(d.get(), x, 1), (x >= 4 && x < 12) ? 1u : 0u) << x;
    }
}

} // namespace
