// The floor of a batch job from a JPEG: TurboJPEG alone decodes the
// photograph and encodes it again (quality 90, 4:2:0), or libtiff alone
// writes it as the program's TIFF (RGB, LZW, strips of about 4 MiB), on one
// thread, as a process of its own. No rectification, no pose search.
//
// usage: fp_jpeg_peer photo.jpg output.jpg|output.tif

#include <tiffio.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool writeTiff(const char* name, const std::vector<unsigned char>& bgr, int w, int h) {
    TIFF* t = TIFFOpen(name, "w");
    if (t == nullptr)
        return false;
    const auto scanline = static_cast<tmsize_t>(w) * 3;
    const auto rows = static_cast<std::uint32_t>(std::max<tmsize_t>(1, (4 << 20) / scanline));
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(w)) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(h)) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows);
    std::vector<unsigned char> row(static_cast<std::size_t>(scanline));
    for (int y = 0; ok && y < h; ++y) {
        const unsigned char* from = bgr.data() + static_cast<std::size_t>(y) * row.size();
        for (std::size_t x = 0; x < row.size(); x += 3) {
            row[x] = from[x + 2];
            row[x + 1] = from[x + 1];
            row[x + 2] = from[x];
        }
        ok = TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) == 1;
    }
    ok = TIFFFlush(t) == 1 && ok;
    TIFFClose(t);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 1;
    std::FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr)
        return 3;
    std::vector<unsigned char> bytes;
    unsigned char chunk[1 << 16];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(in);
    tjhandle dec = tjInitDecompress();
    int w = 0, h = 0, sub = 0, cs = 0;
    if (tjDecompressHeader3(dec, bytes.data(), bytes.size(), &w, &h, &sub, &cs) != 0)
        return 3;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) *
                                      3);
    if (tjDecompress2(dec, bytes.data(), bytes.size(), pixels.data(), w, 0, h, TJPF_BGR, 0) != 0)
        return 3;
    tjDestroy(dec);
    const std::size_t nameLength = std::strlen(argv[2]);
    if (nameLength > 4 && std::strcmp(argv[2] + nameLength - 4, ".tif") == 0)
        return writeTiff(argv[2], pixels, w, h) ? 0 : 6;
    tjhandle enc = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    if (tjCompress2(enc, pixels.data(), w, 0, h, TJPF_BGR, &out, &size, TJSAMP_420, 90, 0) != 0)
        return 6;
    std::FILE* f = std::fopen(argv[2], "wb");
    if (f == nullptr || std::fwrite(out, 1, size, f) != size || std::fclose(f) != 0)
        return 6;
    tjFree(out);
    tjDestroy(enc);
    return 0;
}
