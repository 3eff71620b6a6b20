#include "LibraryCodecs.h"

#include "CodecBytes.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace pixkit::codec {

namespace {

constexpr std::uint8_t Jp2Signature[] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50,
                                         0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
constexpr std::uint8_t J2kSignature[] = {0xFF, 0x4F, 0xFF, 0x51};

bool startsWith(Bytes data, const std::uint8_t* sig, std::size_t n) {
    return data.size() >= n && std::memcmp(data.data(), sig, n) == 0;
}

void quiet(const char*, void*) {}

// The codestream of a JP2 box file (the contents of its 'jp2c' box) or the
// raw codestream itself; empty when there is none.
Bytes codestreamOf(Bytes data, bool boxed) {
    if (!boxed)
        return data;
    std::uint64_t pos = 0;
    while (data.size() - pos >= 8) {
        const auto at = static_cast<std::size_t>(pos);
        std::uint64_t length = detail::be32(data, at);
        std::uint64_t header = 8;
        if (length == 1) { // 64-bit length follows the type
            if (data.size() - pos < 16)
                return {};
            length =
                (std::uint64_t{detail::be32(data, at + 8)} << 32) | detail::be32(data, at + 12);
            header = 16;
        } else if (length == 0) { // the box runs to the end of the file
            length = data.size() - pos;
        }
        if (length < header || length > data.size() - pos)
            return {};
        if (std::memcmp(data.data() + at + 4, "jp2c", 4) == 0)
            return data.subspan(at + header, static_cast<std::size_t>(length - header));
        pos += length;
    }
    return {};
}

// Checks the image and tile header (SIZ) before OpenJPEG reads it: the
// library allocates its records for every tile and component while reading
// the header, so a few bytes declaring 34000 tiles cost it 200 MB. Every
// tile needs a tile-part of at least 14 bytes (SOT and SOD) in the stream,
// and we show three components at most (four with alpha).
bool plausibleCodestream(Bytes cs, std::uint64_t maxPixels) {
    constexpr std::size_t SizBytes = 2 + 2 + 2 + 2 + 8 * 4 + 2;
    if (cs.size() < SizBytes || cs[0] != 0xFF || cs[1] != 0x4F || cs[2] != 0xFF || cs[3] != 0x51)
        return false;
    using detail::be16, detail::be32;
    const std::uint64_t xsiz = be32(cs, 8), ysiz = be32(cs, 12);
    const std::uint64_t xo = be32(cs, 16), yo = be32(cs, 20);
    const std::uint64_t xt = be32(cs, 24), yt = be32(cs, 28);
    const std::uint64_t xto = be32(cs, 32), yto = be32(cs, 36);
    const std::uint32_t components = be16(cs, 40);
    if (xsiz <= xo || ysiz <= yo || xt == 0 || yt == 0 || xto > xo || yto > yo || components == 0 ||
        components > 4)
        return false;
    if (!withinPixelLimit(static_cast<std::int64_t>(xsiz - xo),
                          static_cast<std::int64_t>(ysiz - yo), maxPixels))
        return false;
    const std::uint64_t tilesX = (xsiz - xto + xt - 1) / xt, tilesY = (ysiz - yto + yt - 1) / yt;
    constexpr std::uint64_t MinTileBytes = 14;
    if (!detail::productAtMost(tilesX, tilesY, cs.size() / MinTileBytes))
        return false;
    // OpenJPEG walks every quality layer of every code-block: a coding style
    // (COD) declaring 32000 layers made a 19 x 19 picture take a second.
    // Encoders write a few dozen at most.
    constexpr unsigned MaxQualityLayers = 1024;
    std::size_t pos = 4 + be16(cs, 4);
    while (pos + 4 <= cs.size()) {
        const unsigned marker = be16(cs, pos);
        if (marker == 0xFF90) // the first tile: the main header is over
            break;
        const std::size_t length = be16(cs, pos + 2);
        if (marker == 0xFF52 && length >= 12 && pos + 8 <= cs.size() &&
            be16(cs, pos + 6) > MaxQualityLayers)
            return false;
        pos += 2 + length;
    }
    return true;
}

// Byte buffer the library reads from or writes into; `pos` may lie anywhere
// up to the end, writes past the end grow the buffer.
struct MemStream {
    const std::uint8_t* in = nullptr;
    std::vector<std::uint8_t>* out = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
};

OPJ_SIZE_T readFn(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* s = static_cast<MemStream*>(user);
    const std::size_t left = s->size - s->pos;
    if (left == 0)
        return static_cast<OPJ_SIZE_T>(-1);
    const std::size_t k = std::min<std::size_t>(n, left);
    std::memcpy(buffer, s->in + s->pos, k);
    s->pos += k;
    return k;
}

OPJ_SIZE_T writeFn(void* buffer, OPJ_SIZE_T n, void* user) {
    auto* s = static_cast<MemStream*>(user);
    if (s->pos + n > s->out->size())
        s->out->resize(s->pos + n);
    std::memcpy(s->out->data() + s->pos, buffer, n);
    s->pos += n;
    s->size = s->out->size();
    return n;
}

OPJ_OFF_T skipFn(OPJ_OFF_T n, void* user) {
    auto* s = static_cast<MemStream*>(user);
    if (n < 0) {
        const auto back = static_cast<std::size_t>(-n);
        if (back > s->pos)
            return -1;
        s->pos -= back;
        return n;
    }
    const auto fwd = static_cast<std::size_t>(n);
    if (s->out != nullptr) {
        if (s->pos + fwd > s->out->size())
            s->out->resize(s->pos + fwd);
        s->size = s->out->size();
    } else if (fwd > s->size - s->pos) {
        return -1;
    }
    s->pos += fwd;
    return n;
}

OPJ_BOOL seekFn(OPJ_OFF_T n, void* user) {
    auto* s = static_cast<MemStream*>(user);
    if (n < 0 || static_cast<std::uint64_t>(n) > s->size)
        return OPJ_FALSE;
    s->pos = static_cast<std::size_t>(n);
    return OPJ_TRUE;
}

opj_stream_t* makeStream(MemStream& mem, bool input) {
    opj_stream_t* stream = opj_stream_create(1 << 16, input ? OPJ_TRUE : OPJ_FALSE);
    if (stream == nullptr)
        return nullptr;
    if (input) {
        opj_stream_set_read_function(stream, readFn);
        opj_stream_set_user_data_length(stream, mem.size);
    } else {
        opj_stream_set_write_function(stream, writeFn);
    }
    opj_stream_set_skip_function(stream, skipFn);
    opj_stream_set_seek_function(stream, seekFn);
    opj_stream_set_user_data(stream, &mem, nullptr);
    return stream;
}

void silence(opj_codec_t* codec) {
    opj_set_info_handler(codec, quiet, nullptr);
    opj_set_warning_handler(codec, quiet, nullptr);
    opj_set_error_handler(codec, quiet, nullptr);
}

// Owner of the three library objects of one run.
struct Session {
    opj_codec_t* codec = nullptr;
    opj_stream_t* stream = nullptr;
    opj_image_t* image = nullptr;
    ~Session() {
        if (image != nullptr)
            opj_image_destroy(image);
        if (stream != nullptr)
            opj_stream_destroy(stream);
        if (codec != nullptr)
            opj_destroy_codec(codec);
    }
};

// Value of component `c` at picture pixel (x, y), scaled to 8 bits. Components
// may be subsampled; they are addressed in proportion to their own size.
std::uint8_t sample(const opj_image_comp_t& c, std::uint64_t x, std::uint64_t y, std::uint64_t w,
                    std::uint64_t h) {
    const std::uint64_t cx = x * c.w / w, cy = y * c.h / h;
    std::int64_t v = c.data[cy * c.w + cx];
    if (c.sgnd != 0)
        v += std::int64_t{1} << (c.prec - 1);
    if (c.prec > 8)
        v >>= (c.prec - 8);
    else if (c.prec < 8)
        v = v * 255 / ((std::int64_t{1} << c.prec) - 1);
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(v, 0, 255));
}

bool toDib(const opj_image_t& img, dib& out) {
    const std::uint64_t w = img.x1 - img.x0, h = img.y1 - img.y0;
    const bool colour = img.numcomps >= 3;
    const unsigned used = colour ? 3 : 1;
    for (unsigned i = 0; i < used; ++i) {
        const opj_image_comp_t& c = img.comps[i];
        if (c.data == nullptr || c.w == 0 || c.h == 0 || c.prec < 1 || c.prec > 31)
            return false;
    }
    if (colour) {
        newdib(out, static_cast<int>(w), static_cast<int>(h), 24, nullptr, 0);
    } else {
        BitmapInfo grey{};
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            grey.bmiColors[i] = RgbQuad{v, v, v, 0};
        }
        newdib(out, static_cast<int>(w), static_cast<int>(h), 8, &grey, 256);
    }
    if (out.poi == nullptr)
        return false;
    for (std::uint64_t y = 0; y < h; ++y) {
        std::uint8_t* d = pictureRow(out, static_cast<int>(y));
        for (std::uint64_t x = 0; x < w; ++x) {
            if (colour) {
                *d++ = sample(img.comps[2], x, y, w, h);
                *d++ = sample(img.comps[1], x, y, w, h);
                *d++ = sample(img.comps[0], x, y, w, h);
            } else {
                *d++ = sample(img.comps[0], x, y, w, h);
            }
        }
    }
    return true;
}

} // namespace

bool looksLikeJp2(Bytes data) {
    return startsWith(data, Jp2Signature, sizeof Jp2Signature) ||
           startsWith(data, J2kSignature, sizeof J2kSignature);
}

bool decodeJp2(Bytes data, dib& out, std::uint64_t maxPixels) {
    out = dib{};
    if (!looksLikeJp2(data))
        return false;
    const bool boxed = startsWith(data, Jp2Signature, sizeof Jp2Signature);
    if (!plausibleCodestream(codestreamOf(data, boxed), maxPixels))
        return false;
    Session s;
    s.codec = opj_create_decompress(boxed ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    if (s.codec == nullptr)
        return false;
    silence(s.codec);
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    if (!opj_setup_decoder(s.codec, &params))
        return false;
    // A cut-off codestream fails instead of leaving part of the picture grey.
    opj_decoder_set_strict_mode(s.codec, OPJ_TRUE);
    MemStream mem;
    mem.in = data.data();
    mem.size = data.size();
    s.stream = makeStream(mem, true);
    if (s.stream == nullptr || !opj_read_header(s.stream, s.codec, &s.image) || s.image == nullptr)
        return false;
    const opj_image_t& img = *s.image;
    if (img.x1 <= img.x0 || img.y1 <= img.y0 || img.numcomps == 0)
        return false;
    const std::uint64_t w = img.x1 - img.x0, h = img.y1 - img.y0;
    if (w * h > maxPixels || w > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ||
        h > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
        return false;
    // Components beyond the three colours (alpha, or a header claiming
    // thousands) are not decoded: each would cost four bytes per pixel.
    if (img.numcomps > 3) {
        const OPJ_UINT32 first[3] = {0, 1, 2};
        if (!opj_set_decoded_components(s.codec, 3, first, OPJ_FALSE))
            return false;
    }
    if (!opj_decode(s.codec, s.stream, s.image) || !opj_end_decompress(s.codec, s.stream))
        return false;
    if (!toDib(*s.image, out)) {
        releasedib(out);
        out = dib{};
        return false;
    }
    return true;
}

bool encodeJp2(const dib& image, std::vector<std::uint8_t>& out) {
    out.clear();
    DibHolder expanded;
    const dib* src = as24Bits(image, expanded);
    if (src == nullptr)
        return false;
    const int w = dibwidth(*src), h = dibheight(*src);

    opj_image_cmptparm_t comp[3];
    std::memset(comp, 0, sizeof comp);
    for (auto& c : comp) {
        c.dx = c.dy = 1;
        c.w = static_cast<OPJ_UINT32>(w);
        c.h = static_cast<OPJ_UINT32>(h);
        c.prec = 8;
    }
    Session s;
    s.image = opj_image_create(3, comp, OPJ_CLRSPC_SRGB);
    if (s.image == nullptr)
        return false;
    s.image->x1 = static_cast<OPJ_UINT32>(w);
    s.image->y1 = static_cast<OPJ_UINT32>(h);
    std::size_t k = 0;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* p = pictureRow(*src, y);
        for (int x = 0; x < w; ++x, p += 3, ++k) {
            s.image->comps[0].data[k] = p[2];
            s.image->comps[1].data[k] = p[1];
            s.image->comps[2].data[k] = p[0];
        }
    }

    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    // One layer without a rate: reversible 5/3 wavelet, the pixels come back exactly.
    params.tcp_numlayers = 1;
    params.tcp_rates[0] = 0;
    params.cp_disto_alloc = 1;
    params.irreversible = 0;
    params.tcp_mct = 1;
    // Each resolution level halves the picture; a tiny image allows only a few.
    while (params.numresolution > 1 && (1 << (params.numresolution - 1)) > std::min(w, h))
        --params.numresolution;

    s.codec = opj_create_compress(OPJ_CODEC_JP2);
    if (s.codec == nullptr)
        return false;
    silence(s.codec);
    if (!opj_setup_encoder(s.codec, &params, s.image))
        return false;
    MemStream mem;
    mem.out = &out;
    s.stream = makeStream(mem, false);
    const bool ok = s.stream != nullptr && opj_start_compress(s.codec, s.image, s.stream) &&
                    opj_encode(s.codec, s.stream) && opj_end_compress(s.codec, s.stream);
    if (!ok)
        out.clear();
    return ok;
}

} // namespace pixkit::codec
