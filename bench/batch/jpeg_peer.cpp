// The floor of a JPEG-to-JPEG batch job: TurboJPEG alone decodes the
// photograph and encodes it again (quality 90, 4:2:0), on one thread, as a
// process of its own. No rectification, no pose search.
//
// usage: fp_jpeg_peer photo.jpg output.jpg

#include <turbojpeg.h>

#include <cstdio>
#include <vector>

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
