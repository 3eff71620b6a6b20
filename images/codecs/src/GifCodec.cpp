#include "LibraryCodecs.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace pixkit::codec {

namespace {

// Colours of a 24-bit image when there are at most 256 of them, with every
// pixel's index; false as soon as a 257th colour turns up.
bool exactPalette(const dib& image, BitmapInfo& table, int& count, std::vector<std::uint8_t>& idx) {
    const int w = dibwidth(image), h = dibheight(image);
    std::unordered_map<std::uint32_t, std::uint8_t> seen;
    idx.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    std::size_t k = 0;
    count = 0;
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* p = storedRow(image, r);
        for (int x = 0; x < w; ++x, p += 3) {
            const std::uint32_t key = static_cast<std::uint32_t>(p[0]) |
                                      (static_cast<std::uint32_t>(p[1]) << 8) |
                                      (static_cast<std::uint32_t>(p[2]) << 16);
            auto it = seen.find(key);
            if (it == seen.end()) {
                if (count == 256)
                    return false;
                table.bmiColors[count] = RgbQuad{p[0], p[1], p[2], 0};
                it = seen.emplace(key, static_cast<std::uint8_t>(count)).first;
                ++count;
            }
            idx[k++] = it->second;
        }
    }
    return true;
}

// Median-cut reduction by giflib for images of more than 256 colours.
bool quantized(const dib& image, BitmapInfo& table, int& count, std::vector<std::uint8_t>& idx) {
    const int w = dibwidth(image), h = dibheight(image);
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<GifByteType> red(n), green(n), blue(n);
    std::size_t k = 0;
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* p = storedRow(image, r);
        for (int x = 0; x < w; ++x, p += 3, ++k) {
            blue[k] = p[0];
            green[k] = p[1];
            red[k] = p[2];
        }
    }
    idx.resize(n);
    GifColorType map[256] = {};
    int mapSize = 256;
    if (GifQuantizeBuffer(static_cast<unsigned>(w), static_cast<unsigned>(h), &mapSize, red.data(),
                          green.data(), blue.data(), idx.data(), map) != GIF_OK)
        return false;
    count = std::clamp(mapSize, 1, 256);
    for (int i = 0; i < count; ++i)
        table.bmiColors[i] = RgbQuad{map[i].Blue, map[i].Green, map[i].Red, 0};
    return true;
}

int writeToVector(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    if (length < 0)
        return 0;
    out->insert(out->end(), data, data + length);
    return length;
}

} // namespace

bool reduceTo256(const dib& image, dib& out) {
    out = dib{};
    if (image.poi == nullptr || image.pmi == nullptr || dibbits(image) != 24)
        return false;
    const int w = dibwidth(image), h = dibheight(image);
    BitmapInfo table{};
    int count = 0;
    std::vector<std::uint8_t> idx;
    if (!exactPalette(image, table, count, idx) && !quantized(image, table, count, idx))
        return false;
    newdib(out, w, h, 8, &table, count);
    if (out.poi == nullptr)
        return false;
    for (int r = 0; r < h; ++r)
        std::memcpy(storedRow(out, r),
                    idx.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(w),
                    static_cast<std::size_t>(w));
    return true;
}

bool encodeGif(const dib& image, std::vector<std::uint8_t>& out) {
    out.clear();
    if (image.poi == nullptr || image.pmi == nullptr)
        return false;
    const int w = dibwidth(image), h = dibheight(image), bits = dibbits(image);
    if (w > 65535 || h > 65535)
        return false; // the format's sizes are 16 bits

    DibHolder reduced;
    const dib* src = &image;
    if (bits == 24) {
        dib tmp;
        if (!reduceTo256(image, tmp))
            return false;
        reduced.install(tmp);
        src = &reduced.get();
    } else if (bits != 1 && bits != 4 && bits != 8) {
        return false;
    }
    const int srcBits = dibbits(*src);
    const int mapSize = 1 << srcBits;

    GifColorType colours[256] = {};
    for (int i = 0; i < mapSize; ++i) {
        const RgbQuad& q = src->pmi->bmiColors[i];
        colours[i] = GifColorType{q.rgbRed, q.rgbGreen, q.rgbBlue};
    }
    ColorMapObject* map = GifMakeMapObject(mapSize, colours);
    if (map == nullptr)
        return false;

    int err = 0;
    GifFileType* gif = EGifOpen(&out, writeToVector, &err);
    if (gif == nullptr) {
        GifFreeMapObject(map);
        return false;
    }
    bool ok = EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> line(static_cast<std::size_t>(w));
    for (int y = 0; ok && y < h; ++y) {
        const std::uint8_t* row = pictureRow(*src, y);
        for (int x = 0; x < w; ++x)
            line[static_cast<std::size_t>(x)] =
                static_cast<GifPixelType>(paletteIndex(row, x, srcBits));
        ok = EGifPutLine(gif, line.data(), w) == GIF_OK;
    }
    // Closing flushes the last code and frees the handle, also after a failure.
    if (EGifCloseFile(gif, &err) != GIF_OK)
        ok = false;
    GifFreeMapObject(map);
    if (!ok)
        out.clear();
    return ok;
}

} // namespace pixkit::codec
