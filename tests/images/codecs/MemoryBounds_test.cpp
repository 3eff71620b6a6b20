// Files whose headers declare far more picture than their bytes carry, and
// writers that cannot get their working memory. Each hostile file is made at
// a harmless size first (it must read, so the file is well formed) and then
// at the size the robustness review found: that one must be refused before
// its memory is asked for, in this process and through OpenDib inside a
// child process limited to 1 GiB of address space and 20 s of CPU time.

#include "CodecTestSupport.h"
#include "LibraryCodecs.h"
#include "pixkit/ImageFile.h"
#include "testsupport/ChildProcess.h"

#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

using namespace codectest;
using testsupport::runLimited;

namespace {

using Buffer = std::vector<std::uint8_t>;

constexpr std::uint64_t OneGiB = std::uint64_t{1} << 30;
constexpr unsigned CpuSeconds = 20;

void putLe16(Buffer& b, std::size_t at, unsigned v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
void putLe32(Buffer& b, std::size_t at, std::uint32_t v) {
    putLe16(b, at, v & 0xFFFF);
    putLe16(b, at + 2, v >> 16);
}
void appendBe16(Buffer& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
}
void appendBe32(Buffer& b, std::uint32_t v) {
    appendBe16(b, v >> 16);
    appendBe16(b, v & 0xFFFF);
}

// Run-length BMP (8 or 4 bits): every row is one pixel and an end of line,
// four bytes a row, so 46000 rows fit in 184 KB.
Buffer rleBmp(int bits, int w, int h) {
    const std::size_t colours = bits == 8 ? 256 : 16;
    const std::size_t offset = 14 + 40 + 4 * colours;
    Buffer b(offset, 0);
    b[0] = 'B';
    b[1] = 'M';
    putLe32(b, 10, static_cast<std::uint32_t>(offset));
    putLe32(b, 14, 40);
    putLe32(b, 18, static_cast<std::uint32_t>(w));
    putLe32(b, 22, static_cast<std::uint32_t>(h));
    putLe16(b, 26, 1);
    putLe16(b, 28, static_cast<unsigned>(bits));
    putLe32(b, 30, bits == 8 ? 1 : 2);
    for (std::size_t i = 0; i < colours; ++i)
        b[54 + 4 * i + 1] = static_cast<std::uint8_t>(i * 16);
    for (int y = 0; y < h; ++y)
        b.insert(b.end(), {1, 0x11, 0, 0});
    b.insert(b.end(), {0, 1});
    putLe32(b, 2, static_cast<std::uint32_t>(b.size()));
    putLe32(b, 34, static_cast<std::uint32_t>(b.size() - offset));
    return b;
}

// Run-length true-colour TGA: runs of 128 pixels of one colour.
Buffer rleTga(int w, int h) {
    Buffer b(18, 0);
    b[2] = 10;
    putLe16(b, 12, static_cast<unsigned>(w));
    putLe16(b, 14, static_cast<unsigned>(h));
    b[16] = 24;
    const std::uint64_t pixels = std::uint64_t(w) * std::uint64_t(h);
    b.reserve(18 + (pixels / 128 + 1) * 4);
    for (std::uint64_t done = 0; done < pixels; done += 128)
        b.insert(b.end(), {0xFF, 10, 20, 30});
    return b;
}

// Two-colour PCX: runs of 63 bytes, which may cross lines.
Buffer monoPcx(int w, int h) {
    Buffer b(128, 0);
    b[0] = 0x0A;
    b[1] = 5;
    b[2] = 1;
    b[3] = 1;
    putLe16(b, 8, static_cast<unsigned>(w - 1));
    putLe16(b, 10, static_cast<unsigned>(h - 1));
    b[65] = 1;
    const unsigned bytesPerLine = static_cast<unsigned>((w + 15) / 16 * 2);
    putLe16(b, 66, bytesPerLine);
    const std::uint64_t total = std::uint64_t{bytesPerLine} * std::uint64_t(h);
    b.reserve(128 + (total / 63 + 1) * 2);
    for (std::uint64_t done = 0; done < total; done += 63)
        b.insert(b.end(), {0xC0 | 63, 0x55});
    return b;
}

// One-plane ILBM with ByteRun1 lines: runs of up to 128 bytes.
Buffer monoIlbm(int w, int h) {
    Buffer body;
    const int planeBytes = (w + 15) / 16 * 2;
    for (int y = 0; y < h; ++y)
        for (int left = planeBytes; left > 0; left -= 128) {
            const int n = std::min(left, 128);
            body.push_back(static_cast<std::uint8_t>(257 - n)); // repeat the next byte n times
            body.push_back(0x0F);
        }
    Buffer b{'F', 'O', 'R', 'M', 0, 0, 0, 0, 'I', 'L', 'B', 'M', 'B', 'M', 'H', 'D'};
    appendBe32(b, 20);
    appendBe16(b, static_cast<unsigned>(w));
    appendBe16(b, static_cast<unsigned>(h));
    b.insert(b.end(), {0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1});
    appendBe16(b, static_cast<unsigned>(w));
    appendBe16(b, static_cast<unsigned>(h));
    b.insert(b.end(), {'C', 'M', 'A', 'P'});
    appendBe32(b, 6);
    b.insert(b.end(), {0, 0, 0, 255, 255, 255});
    b.insert(b.end(), {'B', 'O', 'D', 'Y'});
    appendBe32(b, static_cast<std::uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2 != 0)
        b.push_back(0);
    const auto form = static_cast<std::uint32_t>(b.size() - 8);
    b[4] = static_cast<std::uint8_t>(form >> 24);
    b[5] = static_cast<std::uint8_t>(form >> 16);
    b[6] = static_cast<std::uint8_t>(form >> 8);
    b[7] = static_cast<std::uint8_t>(form);
    return b;
}

// A 13 x 9 GIF frame on a logical screen of w x h.
Buffer gifOnScreen(int w, int h) {
    const DibHolder frame = fewColours(13, 9);
    Buffer b;
    EXPECT_TRUE(pixkit::codec::encodeGif(frame.get(), b));
    putLe16(b, 6, static_cast<unsigned>(w));
    putLe16(b, 8, static_cast<unsigned>(h));
    return b;
}

// A 16 x 16 JPEG whose frame header declares w x h.
Buffer jpegDeclaring(int w, int h) {
    const DibHolder pic = fewColours(16, 16);
    Buffer b;
    EXPECT_TRUE(pixkit::codec::encodeJpeg(pic.get(), 90, b));
    for (std::size_t i = 2; i + 9 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == 0xC0) {
            b[i + 5] = static_cast<std::uint8_t>(h >> 8);
            b[i + 6] = static_cast<std::uint8_t>(h & 0xFF);
            b[i + 7] = static_cast<std::uint8_t>(w >> 8);
            b[i + 8] = static_cast<std::uint8_t>(w & 0xFF);
            return b;
        }
    ADD_FAILURE() << "no frame header";
    return b;
}

struct Size {
    int w = 0;
    int h = 0;
};

struct BombCase {
    const char* name;
    std::function<Buffer(int, int)> make;
    Size small;
    Size bomb;
};
void PrintTo(const BombCase& c, std::ostream* os) {
    *os << c.name;
}

const BombCase Bombs[] = {
    {"bmp_rle8_30000_squared",
     [](int w, int h) { return rleBmp(8, w, h); },
     {40, 30},
     {30000, 30000}},
    {"bmp_rle8_46000_squared",
     [](int w, int h) { return rleBmp(8, w, h); },
     {40, 30},
     {46000, 46000}},
    {"bmp_rle4_30000_squared",
     [](int w, int h) { return rleBmp(4, w, h); },
     {40, 30},
     {30000, 30000}},
    {"tga_rle_16500_squared", rleTga, {40, 30}, {16500, 16500}},
    {"pcx_30000_squared", monoPcx, {40, 30}, {30000, 30000}},
    {"ilbm_30000_squared", monoIlbm, {40, 30}, {30000, 30000}},
    {"gif_frame_on_64755_x_4121_screen", gifOnScreen, {13, 9}, {64755, 4121}},
    {"jpeg_16384_squared_in_a_few_bytes", jpegDeclaring, {16, 16}, {16384, 16384}},
};

class Bomb : public testing::TestWithParam<BombCase> {
protected:
    Buffer bomb() const { return GetParam().make(GetParam().bomb.w, GetParam().bomb.h); }
};

TEST_P(Bomb, SmallVersionReads) {
    const BombCase& c = GetParam();
    dib d;
    ASSERT_TRUE(pixkit::decodeImageBytes(c.make(c.small.w, c.small.h), d));
    DibHolder held(d);
    EXPECT_EQ(pixkit::dibwidth(d), c.small.w);
    EXPECT_EQ(pixkit::dibheight(d), c.small.h);
}

// The limit a decoder is given (the fuzz target's 4 MP) is compared with
// the declared size: one pixel less and the same file is refused.
TEST_P(Bomb, GivenLimitHoldsForTheDeclaredSize) {
    const BombCase& c = GetParam();
    const Buffer file = c.make(c.small.w, c.small.h);
    const auto pixels =
        static_cast<std::uint64_t>(c.small.w) * static_cast<std::uint64_t>(c.small.h);
    dib d;
    EXPECT_FALSE(pixkit::codec::decodeBytes(file, d, pixels - 1));
    EXPECT_EQ(d.poi, nullptr);
    ASSERT_TRUE(pixkit::codec::decodeBytes(file, d, pixels));
    pixkit::releasedib(d);
}

TEST_P(Bomb, IsRefusedHere) {
    dib d;
    EXPECT_FALSE(pixkit::decodeImageBytes(bomb(), d));
    EXPECT_EQ(d.poi, nullptr);
    pixkit::releasedib(d);
}

TEST_P(Bomb, OpenDibRefusesItWithinOneGigabyte) {
    if (testsupport::addressSanitizerBuild())
        GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no 1 GiB limit "
                        "can be set in this build (the refusal itself is checked by IsRefusedHere)";
    QTemporaryDir dir;
    const std::string file = dir.filePath("bomb").toStdString();
    writeBytes(file, bomb());
    const auto end = runLimited(
        [&file] {
            dib d;
            pixkit::OpenDib(d, file);
            return d.poi == nullptr ? 0 : 1;
        },
        OneGiB, CpuSeconds);
    EXPECT_TRUE(end.exited && end.code == 0) << end.describe();
}

INSTANTIATE_TEST_SUITE_P(Review, Bomb, testing::ValuesIn(Bombs),
                         [](const testing::TestParamInfo<BombCase>& i) {
                             return std::string(i.param.name);
                         });

// ---------------------------------------------------------------- fuzz findings

// Files the fuzzer found, each read through OpenDib inside the limits: the
// JPEG 2000 header once made OpenJPEG allocate 196 MB for its tile records,
// the other one declared 32000 quality layers; the GIF's tall screen took
// over a second in the instrumented build.
struct FindingCase {
    const char* name;
    const char* file;
    bool reads;
};
void PrintTo(const FindingCase& c, std::ostream* os) {
    *os << c.name;
}
class FuzzFinding : public testing::TestWithParam<FindingCase> {};

TEST_P(FuzzFinding, EndsWithinTheLimits) {
    const std::string file = std::string(FP_REGRESSION_DIR) + "/" + GetParam().file;
    ASSERT_FALSE(readBytes(file).empty()) << file;
    const std::uint64_t space = testsupport::addressSanitizerBuild() ? 0 : OneGiB;
    const auto end = runLimited(
        [&file] {
            dib d;
            pixkit::OpenDib(d, file);
            const bool read = d.poi != nullptr;
            pixkit::releasedib(d);
            return read ? 1 : 0;
        },
        space, CpuSeconds);
    ASSERT_TRUE(end.exited) << end.describe();
    EXPECT_EQ(end.code, GetParam().reads ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Regressions, FuzzFinding,
    testing::Values(FindingCase{"j2k_34000_tiles", "j2k-34000-tiles.j2k", false},
                    FindingCase{"gif_19_x_15105_screen", "gif-19x15105-screen.gif", true},
                    FindingCase{"j2k_32000_quality_layers", "j2k-32000-layers.j2k", false}),
    [](const testing::TestParamInfo<FindingCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------- writers

// Address space the process has mapped now, from /proc/self/statm.
std::uint64_t mappedBytes() {
    std::ifstream f("/proc/self/statm");
    std::uint64_t pages = 0;
    f >> pages;
    return pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

struct WriterCase {
    const char* name;
    const char* ext;
};
void PrintTo(const WriterCase& c, std::ostream* os) {
    *os << c.name;
}
class WriterMemory : public testing::TestWithParam<WriterCase> {};

// A 24-bit picture of many colours, then only 16 MB more of address space:
// the colour reduction cannot get its buffers. The write fails with a
// reason and the program goes on (a bad_alloc would abort the child).
TEST_P(WriterMemory, ShortageIsAFailedWrite) {
    if (testsupport::addressSanitizerBuild())
        GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no address-space "
                        "limit can be set in this build";
    QTemporaryDir dir;
    const std::string file = dir.filePath(QString("out") + GetParam().ext).toStdString();
    const auto end = runLimited(
        [&file] {
            const DibHolder pic = make24(6000, 4000, [](int x, int y) {
                return pixkit::rgb(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                                   static_cast<std::uint8_t>(x ^ y));
            });
            const std::uint64_t limit = mappedBytes() + (std::uint64_t{16} << 20);
            const rlimit as{limit, limit};
            if (::setrlimit(RLIMIT_AS, &as) != 0)
                return 3;
            const pixkit::WriteResult r = pixkit::WriteDib(pic.get(), file);
            if (r.ok)
                return 1;
            return r.error.find("memory") != std::string::npos ? 0 : 2;
        },
        0, CpuSeconds);
    EXPECT_TRUE(end.exited && end.code == 0) << end.describe();
    EXPECT_NE(::access(file.c_str(), F_OK), 0) << "a file was left behind";
}

INSTANTIATE_TEST_SUITE_P(ColourReduction, WriterMemory,
                         testing::Values(WriterCase{"gif", ".gif"}, WriterCase{"bmp_rle", ".rle"}),
                         [](const testing::TestParamInfo<WriterCase>& i) {
                             return std::string(i.param.name);
                         });

} // namespace
