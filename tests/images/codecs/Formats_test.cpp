// The format table drives the reader, the writer and the filters: every row
// reads what it writes, and the texts derived from it stay as they were.

#include "CodecTestSupport.h"

#include "pixkit/ImageFile.h"
#include "pixkit/ImageFormats.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace {

using namespace codectest;

TEST(FormatTable, OpenFilterKeepsItsExactText) {
    EXPECT_EQ(pixkit::GetDIBOpenFilter(),
              "Alle Bilddateien|*.bmp;*.dib;*.rle;*.jpg;*.jpeg;*.jpe;*.jif;*.jp2;*.j2k;*.j2c;*.jpc;"
              "*.png;*.gif;*.tif;*.tiff;*.webp;*.pcx;*.iff;*.lbm;*.tga;*.pnm;*.pbm;*.pgm;*.ppm"
              "|Windows-Bitmap (*.bmp;*.dib;*.rle)|*.bmp;*.dib;*.rle"
              "|JPEG (*.jpg;*.jpeg;*.jpe;*.jif)|*.jpg;*.jpeg;*.jpe;*.jif"
              "|JPEG 2000 (*.jp2;*.j2k;*.j2c;*.jpc)|*.jp2;*.j2k;*.j2c;*.jpc"
              "|PNG (*.png)|*.png"
              "|GIF (*.gif)|*.gif"
              "|TIFF (*.tif;*.tiff)|*.tif;*.tiff"
              "|WebP (*.webp)|*.webp"
              "|PC Paintbrush (*.pcx)|*.pcx"
              "|Amiga IFF/ILBM (*.iff;*.lbm)|*.iff;*.lbm"
              "|Targa (*.tga)|*.tga"
              "|Portable Anymap (*.pnm;*.pbm;*.pgm;*.ppm)|*.pnm;*.pbm;*.pgm;*.ppm"
              "|Alle Dateien|*.*");
}

TEST(FormatTable, SaveFilterAndBatchListKeepTheirOrder) {
    EXPECT_EQ(pixkit::saveFilterPipes(), "JPEG|*.jpg;*.jpeg;*.jpe;*.jif|"
                                         "PNG|*.png|"
                                         "Windows Bitmap|*.bmp;*.dib;*.rle|"
                                         "TIFF|*.tif;*.tiff|"
                                         "JPEG 2000|*.jp2|"
                                         "GIF|*.gif|"
                                         "PCX|*.pcx|"
                                         "Targa|*.tga|"
                                         "IFF/ILBM|*.iff;*.lbm|"
                                         "WebP|*.webp");
    EXPECT_EQ(pixkit::batchOutputExtensions(),
              (std::vector<std::string>{".bmp", ".dib", ".gif", ".iff", ".jif", ".jpg", ".lbm",
                                        ".pcx", ".rle", ".tga", ".tif", ".jp2", ".png", ".webp",
                                        ".jpeg", ".jpe", ".tiff"}));
}

TEST(FormatTable, RanksAndExtensionsAreUnique) {
    std::set<std::string> exts;
    std::set<int> saveRanks;
    std::set<int> batchRanks;
    for (const pixkit::ImageFormat& f : pixkit::ImageFormats()) {
        EXPECT_EQ(f.saveName != nullptr, f.encode != nullptr) << f.openName;
        if (f.saveName != nullptr) {
            EXPECT_TRUE(saveRanks.insert(f.saveRank).second) << f.openName;
        }
        ASSERT_NE(f.looksLike, nullptr) << f.openName;
        ASSERT_NE(f.decode, nullptr) << f.openName;
        for (const pixkit::FormatExtension& e : f.extensions) {
            EXPECT_TRUE(exts.insert(e.ext).second) << e.ext << " in two rows";
            EXPECT_TRUE(!e.written || f.encode != nullptr) << e.ext;
            if (e.batchRank > 0) {
                EXPECT_TRUE(e.written) << e.ext;
                EXPECT_TRUE(batchRanks.insert(e.batchRank).second) << e.ext;
            }
        }
    }
}

// Every written extension: the file is written, its bytes pass the row's
// own content check and no other row's, and it reads back at its size.
TEST(FormatTable, EveryWrittenExtensionReadsBackThroughItsOwnRow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const DibHolder picture = fewColours(29, 17);
    int written = 0;
    for (const pixkit::ImageFormat& f : pixkit::ImageFormats()) {
        for (const pixkit::FormatExtension& e : f.extensions) {
            if (!e.written)
                continue;
            const std::string path = dir.filePath(QStringLiteral("p")).toStdString() + e.ext;
            const pixkit::WriteResult r = pixkit::WriteDib(picture.get(), path, 90);
            ASSERT_TRUE(r.ok) << e.ext << ": " << r.error;
            const std::vector<std::uint8_t> bytes = readBytes(path);
            for (const pixkit::ImageFormat& other : pixkit::ImageFormats()) {
                if (!other.lastGuess) {
                    EXPECT_EQ(other.looksLike(bytes), &other == &f)
                        << e.ext << " checked as " << other.openName;
                }
            }
            pixkit::dib back;
            pixkit::OpenDib(back, path);
            ASSERT_NE(back.poi, nullptr) << e.ext;
            const DibHolder held(back);
            EXPECT_EQ(pixkit::dibwidth(held.get()), 29) << e.ext;
            EXPECT_EQ(pixkit::dibheight(held.get()), 17) << e.ext;
            ++written;
        }
    }
    EXPECT_EQ(written, 17);
}

TEST(FormatTable, ReadOnlyRowReadsAPicture) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("p.ppm")).toStdString();
    const DibHolder picture = manyColours(12, 7);
    writePpm(picture.get(), path);
    EXPECT_FALSE(pixkit::CanWriteExtension(path));
    pixkit::dib back;
    pixkit::OpenDib(back, path);
    ASSERT_NE(back.poi, nullptr);
    const DibHolder held(back);
    EXPECT_EQ(maxChannelDiff(picture.get(), held.get()), 0);
}

TEST(WriteErrors, CarryOnlyTheReason) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string target = dir.filePath(QStringLiteral("missing/x.bmp")).toStdString();
    const pixkit::WriteResult r = pixkit::WriteDib(fewColours().get(), target);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "the folder does not exist");
}

// The desktop entry offers the program for every file type the reader opens:
// each readable extension's type in the system's MIME database (or an alias
// of it) is in its MimeType list, and the metainfo names the same types.
// Not listed: ".rle", which the MIME database gives to the Utah RLE format
// (the reader opens BMP's run-length files of that name, found by content),
// and ".jif", which it does not know.
TEST(FormatTable, DesktopEntryOffersEveryReadableType) {
    std::ifstream globs("/usr/share/mime/globs2"), aliasFile("/usr/share/mime/aliases");
    if (!globs || !aliasFile)
        GTEST_SKIP() << "no MIME database (package shared-mime-info)";
    std::map<std::string, std::string> typeOfGlob; // "*.png" -> "image/png"
    for (std::string line; std::getline(globs, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string weight, type, glob;
        std::getline(fields, weight, ':');
        std::getline(fields, type, ':');
        std::getline(fields, glob, ':');
        typeOfGlob.emplace(glob, type); // the first is the heaviest
    }
    std::multimap<std::string, std::string> aliases; // canonical -> alias
    for (std::string alias, canonical; aliasFile >> alias >> canonical;)
        aliases.emplace(canonical, alias);

    auto readAll = [](const std::string& path) {
        std::ifstream f(path);
        std::ostringstream all;
        all << f.rdbuf();
        return all.str();
    };
    const std::string desktop = readAll(std::string(FP_DATA_DIR) + "/fassadenplan.desktop");
    const std::string metainfo =
        readAll(std::string(FP_DATA_DIR) + "/de.velkor.fassadenplan.metainfo.xml");
    std::set<std::string> listed, mediatypes;
    const auto at = desktop.find("\nMimeType=");
    ASSERT_NE(at, std::string::npos);
    std::istringstream types(desktop.substr(at + 10, desktop.find('\n', at + 1) - at - 10));
    for (std::string t; std::getline(types, t, ';');)
        if (!t.empty())
            listed.insert(t);
    for (std::size_t p = metainfo.find("<mediatype>"); p != std::string::npos;
         p = metainfo.find("<mediatype>", p + 1)) {
        const std::size_t begin = p + 11;
        mediatypes.insert(metainfo.substr(begin, metainfo.find('<', begin) - begin));
    }
    EXPECT_EQ(listed, mediatypes);

    for (const pixkit::ImageFormat& f : pixkit::ImageFormats())
        for (const pixkit::FormatExtension& e : f.extensions) {
            const std::string ext = e.ext;
            const auto type = typeOfGlob.find("*" + ext);
            if (ext == ".rle" || ext == ".jif") {
                EXPECT_TRUE(type == typeOfGlob.end() || listed.count(type->second) == 0) << ext;
                continue;
            }
            ASSERT_NE(type, typeOfGlob.end()) << ext << " is unknown to the MIME database";
            bool offered = listed.count(type->second) > 0;
            const auto [first, last] = aliases.equal_range(type->second);
            for (auto a = first; a != last; ++a)
                offered = offered || listed.count(a->second) > 0;
            EXPECT_TRUE(offered) << ext << " (" << type->second << ") is not in the desktop entry";
        }
}

} // namespace

namespace {

// A picture one pixel wider or higher than a format holds is refused with
// the format's own limit in the message, before any encoder runs; one at
// the limit is written.
TEST(WriteLimits, PictureBeyondTheFormatsSidesIsRefusedWithItsLimit) {
    const struct {
        const char* ext;
        int w, h;
        const char* says; // empty: written
    } cases[] = {
        {".jpg", 65501, 1, "at most 65500 x 65500"},
        {".jpg", 2, 65536, "at most 65500 x 65500"},
        {".jpg", 65500, 1, ""},
        {".png", 1000001, 1, "at most 1000000 x 1000000"},
        {".webp", 16384, 1, "at most 16383 x 16383"},
        {".pcx", 65535, 1, "at most 65534 x 65535"},
        {".tga", 1, 65536, "at most 65535 x 65535"},
    };
    for (const auto& c : cases) {
        pixkit::DibHolder picture;
        pixkit::newdib(picture.get(), c.w, c.h, 24, nullptr, 0);
        std::vector<std::uint8_t> bytes;
        const pixkit::WriteResult r = pixkit::EncodeDib(picture.get(), c.ext, {}, bytes);
        EXPECT_EQ(r.ok, std::string(c.says).empty()) << c.ext << " " << c.w << " x " << c.h;
        EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    }
}

} // namespace
