// Files that lie: cut off, garbage, impossible sizes, runs past the picture.
// The reader must refuse them with an empty record, never crash or read
// outside the bytes it was given (this suite also runs under ASan/UBSan).

#include "CodecTestSupport.h"

#include "pixkit/ImageFile.h"

#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <map>
#include <random>

using namespace codectest;

namespace {

// A valid file of each readable format, made by our writers (and Qt for PNM).
const std::map<std::string, std::vector<std::uint8_t>>& validFiles() {
    static const auto files = [] {
        std::map<std::string, std::vector<std::uint8_t>> m;
        QTemporaryDir dir;
        const DibHolder colour = fewColours(29, 19);
        const DibHolder palette = makePalette(
            29, 19, 8, {pixkit::rgb(1, 2, 3), pixkit::rgb(200, 100, 0), pixkit::rgb(9, 9, 250)},
            [](int x, int y) { return static_cast<unsigned>((x ^ y) % 3); });
        const struct {
            const char* name;
            const char* file;
            const DibHolder* image;
        } made[] = {
            {"bmp24", "a.bmp", &colour}, {"bmp8", "b.bmp", &palette}, {"rle8", "a.rle", &palette},
            {"gif", "a.gif", &colour},   {"ilbm", "a.iff", &colour},  {"jpeg", "a.jpg", &colour},
            {"pcx", "a.pcx", &colour},   {"tga", "a.tga", &colour},   {"tiff", "a.tif", &colour},
            {"jp2", "a.jp2", &colour},   {"png", "a.png", &colour},   {"webp", "a.webp", &colour}};
        for (const auto& f : made) {
            const std::string path = dir.filePath(f.file).toStdString();
            if (pixkit::WriteDib(f.image->get(), path).ok)
                m[f.name] = readBytes(path);
        }
        QImage ppm(13, 7, QImage::Format_RGB32);
        ppm.fill(qRgb(10, 20, 30));
        QImageWriter(dir.filePath("a.ppm"), "ppm").write(ppm);
        m["ppm"] = readBytes(dir.filePath("a.ppm").toStdString());
        return m;
    }();
    return files;
}

struct Reader {
    const char* format;
    // Bytes at the end that carry no picture (row padding, end marks, a
    // footer) and may be missing.
    std::size_t optionalTail;
};

void PrintTo(const Reader& v, std::ostream* os) {
    *os << v.format;
}

const Reader Formats[] = {{"bmp24", 3}, {"bmp8", 3}, {"rle8", 2}, {"gif", 1},  {"ilbm", 0},
                          {"jpeg", 0},  {"pcx", 0},  {"tga", 26}, {"tiff", 0}, {"jp2", 0},
                          {"png", 0},   {"webp", 0}, {"ppm", 0}};

// Decodes and checks that the result is consistent: an image exactly when true.
bool decode(const std::vector<std::uint8_t>& bytes) {
    pixkit::dib d;
    const bool ok = pixkit::decodeImageBytes(bytes, d);
    DibHolder holder(d);
    EXPECT_EQ(ok, d.poi != nullptr);
    if (ok) {
        EXPECT_GT(pixkit::dibwidth(d), 0);
        EXPECT_GT(pixkit::dibheight(d), 0);
    }
    return ok;
}

class Hostile : public ::testing::TestWithParam<Reader> {
protected:
    const std::vector<std::uint8_t>& file() {
        const auto it = validFiles().find(GetParam().format);
        if (it == validFiles().end()) {
            ADD_FAILURE() << "our writer could not make a " << GetParam().format << " file";
            static const std::vector<std::uint8_t> none;
            return none;
        }
        return it->second;
    }
};

TEST_P(Hostile, TheValidFileItselfReads) {
    ASSERT_FALSE(file().empty());
    EXPECT_TRUE(decode(file()));
}

TEST_P(Hostile, CutOffFilesAreRefused) {
    const std::vector<std::uint8_t>& full = file();
    ASSERT_FALSE(full.empty());
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n < std::min<std::size_t>(full.size(), 80); ++n)
        lengths.push_back(n);
    for (std::size_t n = 80; n < full.size(); n += std::max<std::size_t>(1, full.size() / 60))
        lengths.push_back(n);
    const std::size_t lastMissingPicture = full.size() - 1 - GetParam().optionalTail;
    lengths.push_back(lastMissingPicture);
    for (const std::size_t n : lengths) {
        const std::vector<std::uint8_t> cut(full.begin(),
                                            full.begin() + static_cast<std::ptrdiff_t>(n));
        if (n <= lastMissingPicture) {
            EXPECT_FALSE(decode(cut))
                << GetParam().format << " cut to " << n << " of " << full.size();
        } else {
            decode(cut);
        }
    }
}

// Random damage behind the signature: whatever comes out must be a sound record.
TEST_P(Hostile, DamagedFilesNeverCrash) {
    const std::vector<std::uint8_t>& full = file();
    ASSERT_FALSE(full.empty());
    std::mt19937 rng(20261209);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> bad = full;
        const int hits = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < hits; ++i)
            bad[rng() % bad.size()] = static_cast<std::uint8_t>(rng());
        decode(bad);
    }
    std::vector<std::uint8_t> garbage(
        full.begin(),
        full.begin() + std::min<std::ptrdiff_t>(16, static_cast<std::ptrdiff_t>(full.size())));
    while (garbage.size() < 4096)
        garbage.push_back(static_cast<std::uint8_t>(rng()));
    decode(garbage);
}

INSTANTIATE_TEST_SUITE_P(EveryReader, Hostile, ::testing::ValuesIn(Formats),
                         [](const auto& p) { return std::string(p.param.format); });

TEST(Garbage, RandomBytesAreNoPicture) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> bytes(rng() % 2000);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(rng());
        decode(bytes);
    }
    EXPECT_FALSE(decode({}));
}

TEST(Garbage, NoFileNoPicture) {
    QTemporaryDir dir;
    writeBytes(dir.filePath("empty.png").toStdString(), {});
    for (const QString& name : {QString("missing.jpg"), QString("empty.png"), QString(".")}) {
        pixkit::dib d;
        d.poi = reinterpret_cast<std::uint8_t*>(&d); // stale pointer from a previous image
        pixkit::OpenDib(d, dir.filePath(name).toStdString());
        EXPECT_EQ(d.poi, nullptr) << name.toStdString();
        EXPECT_EQ(d.poih, 0u);
    }
}

// ---- Impossible sizes written into otherwise valid headers. ----

void putLe(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
}
void putBe(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * (n - 1 - i)));
}

std::uint32_t crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

std::size_t find(const std::vector<std::uint8_t>& b, const std::vector<std::uint8_t>& what) {
    const auto it = std::search(b.begin(), b.end(), what.begin(), what.end());
    return it == b.end() ? std::string::npos : static_cast<std::size_t>(it - b.begin());
}

struct SizeLie {
    const char* name;
    const char* format;
    std::uint32_t width, height;
};

const SizeLie Lies[] = {
    {"bmp_huge", "bmp24", 1u << 30, 1u << 30},
    {"bmp_zero", "bmp24", 0, 19},
    {"bmp_negative_width", "bmp24", 0xFFFFFFF0u, 19},
    {"jpeg_huge", "jpeg", 65535, 65535},
    {"jpeg_zero", "jpeg", 0, 0},
    {"png_huge", "png", 1u << 30, 1u << 30},
    {"png_zero", "png", 0, 19},
    {"png_negative", "png", 0x80000000u, 19},
    {"gif_huge", "gif", 65535, 65535},
    {"tga_huge", "tga", 65535, 65535},
    {"tga_zero", "tga", 0, 0},
    {"pcx_huge", "pcx", 65535, 65535},
    {"ilbm_huge", "ilbm", 65535, 65535},
    {"ilbm_zero", "ilbm", 0, 0},
};

std::vector<std::uint8_t> withSize(const SizeLie& lie) {
    std::vector<std::uint8_t> b = validFiles().at(lie.format);
    const std::string f = lie.format;
    if (f == "bmp24") {
        putLe(b, 18, lie.width, 4);
        putLe(b, 22, lie.height, 4);
    } else if (f == "jpeg") {
        const std::size_t sof = find(b, {0xFF, 0xC0});
        putBe(b, sof + 5, lie.height, 2);
        putBe(b, sof + 7, lie.width, 2);
    } else if (f == "png") {
        putBe(b, 16, lie.width, 4);
        putBe(b, 20, lie.height, 4);
        putBe(b, 29, crc32(&b[12], 17), 4); // so that only the size is wrong
    } else if (f == "gif") {
        putLe(b, 6, lie.width, 2);
        putLe(b, 8, lie.height, 2);
    } else if (f == "tga") {
        putLe(b, 12, lie.width, 2);
        putLe(b, 14, lie.height, 2);
    } else if (f == "pcx") {
        putLe(b, 8, lie.width, 2);
        putLe(b, 10, lie.height, 2);
    } else if (f == "ilbm") {
        const std::size_t bmhd = find(b, {'B', 'M', 'H', 'D'});
        putBe(b, bmhd + 8, lie.width, 2);
        putBe(b, bmhd + 10, lie.height, 2);
    }
    return b;
}

class LyingHeader : public ::testing::TestWithParam<SizeLie> {};

TEST_P(LyingHeader, IsRefused) {
    if (validFiles().count(GetParam().format) == 0)
        FAIL() << "our writer could not make a " << GetParam().format << " file";
    EXPECT_FALSE(decode(withSize(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(ImpossibleSizes, LyingHeader, ::testing::ValuesIn(Lies),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
