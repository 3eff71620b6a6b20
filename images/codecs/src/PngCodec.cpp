// PNG output through libpng and zlib, at the speed a photograph needs.
//
// The rows are filtered and deflated in stretches of about a megabyte on the
// threads of the pool: each stretch is a run of deflate blocks of its own
// that ends on a byte boundary (a sync flush), so the stretches joined one
// after the other, behind the zlib header and before the checksum of all
// rows (adler32_combine), form one valid zlib stream. The stretches do not
// depend on the number of threads, so neither do the bytes of the file.
// libpng writes the signature, the header, the colour table, the resolution
// and the chunks around the compressed stretches (one IDAT each).
//
// 24-bit rows take the Sub filter (each byte minus the same channel of the
// pixel to its left), which suits photographs and costs one subtraction per
// byte; palette rows go unfiltered, as the format recommends. From level 1
// to 3 deflate looks only for runs of equal bytes (Z_RLE): on filtered
// photographs it packs nearly as tight as the full search and many times
// faster.

#include "LibraryCodecs.h"

#include "foundation/ReplaceFile.h"
#include "foundation/ThreadPool.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <vector>

namespace pixkit::codec {

namespace {

// Filtered bytes a stretch deflates at most (whole rows; at least one).
constexpr std::size_t StretchBytes = std::size_t{1} << 20;

// zlib header and checksum go into the first and last stretch's buffers.
constexpr std::size_t Lead = 2;
constexpr std::size_t Trail = 4;

struct Stretch {
    std::unique_ptr<std::uint8_t[]> bytes; // deflated, behind Lead bytes kept free
    std::size_t capacity = 0;
    std::size_t used = 0;     // deflated bytes after the lead
    uLong adler = 1;          // adler32 of the filtered rows
    std::size_t rawBytes = 0; // filtered bytes
    bool ok = false;
};

// Picture row y (top first) of the rows being written, as stored: blue,
// green, red for 24 bits, palette indices below.
using RowAt = std::function<const std::uint8_t*(int y)>;

// Filters picture rows [y0, y1) into `raw` (filter byte, then the row):
// 24-bit rows (`rgb`) go from the stored blue, green, red to red, green,
// blue, with the Sub filter when `sub`; palette rows as they are.
void filterRows(const RowAt& rowAt, int y0, int y1, std::size_t rowBytes, bool rgb, bool sub,
                std::uint8_t* raw) {
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* row = rowAt(y);
        std::uint8_t* out = raw + static_cast<std::size_t>(y - y0) * (rowBytes + 1);
        out[0] = sub ? 1 : 0;
        std::uint8_t* o = out + 1;
        if (!rgb) {
            std::memcpy(o, row, rowBytes);
            continue;
        }
        // The pixel to the left of the first is 0; without the filter it stays 0.
        std::uint8_t pr = 0, pg = 0, pb = 0;
        const std::uint8_t keep = sub ? 0xFF : 0x00;
        for (std::size_t i = 0; i < rowBytes; i += 3) {
            const std::uint8_t b = row[i], g = row[i + 1], r = row[i + 2];
            o[i] = static_cast<std::uint8_t>(r - pr);
            o[i + 1] = static_cast<std::uint8_t>(g - pg);
            o[i + 2] = static_cast<std::uint8_t>(b - pb);
            pr = r & keep;
            pg = g & keep;
            pb = b & keep;
        }
    }
}

void deflateStretch(const RowAt& rowAt, int y0, int y1, std::size_t rowBytes, bool rgb, bool sub,
                    int level, bool last, Stretch& s) {
    s.ok = false;
    s.rawBytes = static_cast<std::size_t>(y1 - y0) * (rowBytes + 1);
    // Each thread keeps its buffer of filtered rows from stretch to stretch.
    thread_local std::vector<std::uint8_t> raw;
    try {
        if (raw.size() < s.rawBytes)
            raw.resize(s.rawBytes);
    } catch (const std::bad_alloc&) {
        return;
    }
    filterRows(rowAt, y0, y1, rowBytes, rgb, sub, raw.data());
    s.adler = adler32(adler32(0, nullptr, 0), raw.data(), static_cast<uInt>(s.rawBytes));

    z_stream z{};
    const int strategy = level >= 1 && level <= 3 ? Z_RLE : Z_DEFAULT_STRATEGY;
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy) != Z_OK)
        return;
    // Room for the whole stretch in one call, and for the sync marker.
    const std::size_t room = deflateBound(&z, static_cast<uLong>(s.rawBytes)) + 16;
    // Kept from batch to batch, and not cleared: deflate writes every byte
    // that is written out.
    s.ok = false;
    if (s.capacity < Lead + room + Trail) {
        s.capacity = Lead + room + Trail;
        s.bytes.reset(new (std::nothrow) std::uint8_t[s.capacity]);
        if (!s.bytes) {
            s.capacity = 0;
            deflateEnd(&z);
            return;
        }
    }
    z.next_in = raw.data();
    z.avail_in = static_cast<uInt>(s.rawBytes);
    z.next_out = s.bytes.get() + Lead;
    z.avail_out = static_cast<uInt>(room);
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    const int r = deflate(&z, flush);
    s.used = room - z.avail_out;
    deflateEnd(&z);
    s.ok = (last ? r == Z_STREAM_END : r == Z_OK) && z.avail_in == 0;
}

// Where the file's bytes go: a function that takes them, false when it fails.
struct Sink {
    bool (*take)(void* context, const std::uint8_t* data, std::size_t n);
    void* context;
    bool failed = false;
};

void writeBytes(png_structp png, png_bytep data, png_size_t n) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    if (!sink->take(sink->context, data, n)) {
        sink->failed = true;
        png_error(png, "the bytes could not be written");
    }
}

void flushNothing(png_structp) {}

// libpng reports errors by a long jump back into writeChunks; nothing there
// needs a destructor.
[[noreturn]] void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

struct Header {
    int width, height, bits, colourType;
    const png_color* palette;
    int paletteSize;
    std::int32_t ppmX, ppmY;
};

// The picture as stretches of rows, deflated in batches on the pool's
// threads into buffers that serve batch after batch. The stretches depend
// on the row length alone, never on where the rows come from.
class Deflater {
public:
    Deflater(RowAt rowAt, int width, int height, int bits, int level)
        : m_rowAt(std::move(rowAt)), m_level(level), m_height(height), m_rgb(bits == 24),
          m_sub(m_rgb && level > 0),
          m_rowBytes((static_cast<std::size_t>(width) * static_cast<unsigned>(bits) + 7) / 8),
          m_rowsPerStretch(
              static_cast<int>(std::max<std::size_t>(1, StretchBytes / (m_rowBytes + 1)))),
          m_count((m_height + m_rowsPerStretch - 1) / m_rowsPerStretch),
          m_batch(std::min(m_count, 4 * fp::threadCount())),
          m_slots(static_cast<std::size_t>(m_batch)) {}

    int count() const { return m_count; }
    int batch() const { return m_batch; }
    int rowsPerStretch() const { return m_rowsPerStretch; }
    std::size_t rowBytes() const { return m_rowBytes; }

    // Deflates stretches [first, first + batch()) (fewer at the end); false
    // when memory ran out. Adds their checksums to the stream's, and puts the
    // zlib header and checksum into the first and last stretch.
    bool deflateBatch(int first) {
        const int n = std::min(m_batch, m_count - first);
        fp::parallelFor(n, [&](int k) {
            const int index = first + k;
            const int y0 = index * m_rowsPerStretch;
            const int y1 = std::min(m_height, y0 + m_rowsPerStretch);
            deflateStretch(m_rowAt, y0, y1, m_rowBytes, m_rgb, m_sub, m_level, index == m_count - 1,
                           m_slots[static_cast<std::size_t>(k)]);
        });
        for (int k = 0; k < n; ++k) {
            const Stretch& s = m_slots[static_cast<std::size_t>(k)];
            if (!s.ok)
                return false;
            m_adler = adler32_combine(m_adler, s.adler, static_cast<z_off_t>(s.rawBytes));
        }
        if (first == 0) {
            // Deflate with a 32K window, the level as a hint, no dictionary.
            std::uint8_t* head = m_slots.front().bytes.get();
            const int hint = m_level < 2 ? 0 : m_level < 6 ? 1 : m_level == 6 ? 2 : 3;
            head[0] = 0x78;
            head[1] = static_cast<std::uint8_t>(hint << 6);
            head[1] = static_cast<std::uint8_t>(head[1] + 31 - (0x7800 + head[1]) % 31);
        }
        if (first + n == m_count) {
            const Stretch& s = m_slots[static_cast<std::size_t>(n - 1)];
            std::uint8_t* sum = s.bytes.get() + Lead + s.used;
            for (int k = 0; k < 4; ++k)
                sum[k] = static_cast<std::uint8_t>(m_adler >> (24 - 8 * k));
        }
        return true;
    }

    // The IDAT contents of stretch `first + k` after deflateBatch(first).
    const std::uint8_t* data(int first, int k) const {
        return m_slots[static_cast<std::size_t>(k)].bytes.get() + (first + k == 0 ? 0 : Lead);
    }
    std::size_t size(int first, int k) const {
        return m_slots[static_cast<std::size_t>(k)].used + (first + k == 0 ? Lead : 0) +
               (first + k == m_count - 1 ? Trail : 0);
    }

private:
    RowAt m_rowAt;
    int m_level;
    int m_height;
    bool m_rgb, m_sub;
    std::size_t m_rowBytes;
    int m_rowsPerStretch;
    int m_count;
    int m_batch;
    std::vector<Stretch> m_slots;
    uLong m_adler = 1;
};

// Signature, header, colour table and resolution.
bool writeHead(png_structp png, png_infop info, const Header& h) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(h.width), static_cast<png_uint_32>(h.height),
                 h.bits, h.colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (h.palette != nullptr)
        png_set_PLTE(png, info, h.palette, h.paletteSize);
    if (h.ppmX > 0 && h.ppmY > 0)
        png_set_pHYs(png, info, static_cast<png_uint_32>(h.ppmX), static_cast<png_uint_32>(h.ppmY),
                     PNG_RESOLUTION_METER);
    png_write_info(png, info);
    return true;
}

// The stretches of a batch deflated by deflateBatch(first), one IDAT each.
bool writeStretches(png_structp png, const Deflater& deflater, int first) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    static const png_byte idat[5] = "IDAT";
    const int n = std::min(deflater.batch(), deflater.count() - first);
    for (int k = 0; k < n; ++k)
        png_write_chunk(png, idat, deflater.data(first, k), deflater.size(first, k));
    return true;
}

bool writeEnd(png_structp png) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    static const png_byte iend[5] = "IEND";
    png_write_chunk(png, iend, nullptr, 0);
    return true;
}

bool writeChunks(png_structp png, png_infop info, const Header& h, Deflater& deflater) {
    if (!writeHead(png, info, h))
        return false;
    for (int first = 0; first < deflater.count(); first += deflater.batch())
        if (!deflater.deflateBatch(first) || !writeStretches(png, deflater, first))
            return false;
    return writeEnd(png);
}

// Pixels per metre for pHYs; 0 when the scale is not known or out of range.
std::int32_t perMetre(double perCm) {
    const double ppm = std::nearbyint(perCm * 100.0);
    return ppm >= 1.0 && ppm <= 2147483647.0 ? static_cast<std::int32_t>(ppm) : 0;
}

bool writePngTo(const dib& image, int level, const PixelDensity& density, Sink& sink) {
    if (image.poi == nullptr || image.pmi == nullptr)
        return false;
    const int w = dibwidth(image), h = dibheight(image), bits = dibbits(image);
    if (w <= 0 || h <= 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24))
        return false;
    Header header{w,
                  h,
                  bits == 24 ? 8 : bits,
                  bits == 24 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_PALETTE,
                  nullptr,
                  0,
                  density.known() ? perMetre(density.xPerCm) : 0,
                  density.known() ? perMetre(density.yPerCm) : 0};
    png_color palette[256];
    if (bits != 24) {
        header.paletteSize = 1 << bits;
        for (int i = 0; i < header.paletteSize; ++i) {
            const RgbQuad& q = image.pmi->bmiColors[i];
            palette[i] = png_color{q.rgbRed, q.rgbGreen, q.rgbBlue};
        }
        header.palette = palette;
    }
    Deflater deflater([&image](int y) -> const std::uint8_t* { return pictureRow(image, y); }, w, h,
                      bits, std::clamp(level, 0, 9));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    png_set_write_fn(png, &sink, writeBytes, flushNothing);
    const bool ok = writeChunks(png, info, header, deflater) && !sink.failed;
    png_destroy_write_struct(&png, &info);
    return ok;
}

} // namespace

bool encodePng(const dib& image, int level, const PixelDensity& density,
               std::vector<std::uint8_t>& out) {
    out.clear();
    Sink sink{[](void* context, const std::uint8_t* data, std::size_t n) {
                  try {
                      auto* v = static_cast<std::vector<std::uint8_t>*>(context);
                      v->insert(v->end(), data, data + n);
                  } catch (const std::bad_alloc&) {
                      return false;
                  }
                  return true;
              },
              &out};
    const bool ok = writePngTo(image, level, density, sink);
    if (!ok)
        out.clear();
    return ok;
}

bool writePng(const dib& image, int level, const PixelDensity& density, fp::PendingFile& file) {
    Sink sink{[](void* context, const std::uint8_t* data, std::size_t n) {
                  return static_cast<fp::PendingFile*>(context)->write(data, n) == 0;
              },
              &file};
    return writePngTo(image, level, density, sink);
}

namespace {

// Rows kept until a batch of stretches is complete, then deflated and
// written as writePng writes the whole picture's.
class PngRows final : public RowFile {
public:
    PngRows(int width, int height, int level, fp::PendingFile& file)
        : m_height(height),
          m_deflater(
              [this](int y) -> const std::uint8_t* {
                  return m_rows.get() + static_cast<std::size_t>(y - m_firstRow) * m_rowBytes;
              },
              width, height, 24, level),
          m_rowBytes(m_deflater.rowBytes()),
          m_sink{[](void* context, const std::uint8_t* data, std::size_t n) {
                     return static_cast<fp::PendingFile*>(context)->write(data, n) == 0;
                 },
                 &file} {}

    ~PngRows() override {
        if (m_png != nullptr)
            png_destroy_write_struct(&m_png, m_info != nullptr ? &m_info : nullptr);
    }

    bool begin(const Header& header) {
        const auto rows =
            std::min<std::size_t>(static_cast<std::size_t>(m_height),
                                  static_cast<std::size_t>(m_deflater.batch()) *
                                      static_cast<std::size_t>(m_deflater.rowsPerStretch()));
        m_rows.reset(new (std::nothrow) std::uint8_t[rows * m_rowBytes]);
        if (!m_rows)
            return false;
        m_png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
        if (m_png == nullptr)
            return false;
        m_info = png_create_info_struct(m_png);
        if (m_info == nullptr)
            return false;
        png_set_write_fn(m_png, &m_sink, writeBytes, flushNothing);
        return writeHead(m_png, m_info, header) && !m_sink.failed;
    }

    bool write(std::uint8_t* const* rows, int count) override {
        for (int r = 0; r < count; ++r) {
            if (m_failed || m_next >= m_height)
                return false;
            std::memcpy(m_rows.get() + static_cast<std::size_t>(m_next - m_firstRow) * m_rowBytes,
                        rows[r], m_rowBytes);
            ++m_next;
            const int end = static_cast<int>(std::min<std::int64_t>(
                m_height, static_cast<std::int64_t>(m_first + m_deflater.batch()) *
                              m_deflater.rowsPerStretch()));
            if (m_next < end)
                continue;
            if (!m_deflater.deflateBatch(m_first) || !writeStretches(m_png, m_deflater, m_first) ||
                m_sink.failed) {
                m_failed = true;
                return false;
            }
            m_first += m_deflater.batch();
            m_firstRow = end;
        }
        return true;
    }

    bool finish() override {
        return !m_failed && m_next == m_height && writeEnd(m_png) && !m_sink.failed;
    }

private:
    int m_height;
    std::unique_ptr<std::uint8_t[]> m_rows; // the rows of the batch being gathered
    Deflater m_deflater;
    std::size_t m_rowBytes;
    Sink m_sink;
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
    int m_first = 0;    // the first stretch of the batch being gathered
    int m_firstRow = 0; // its first row
    int m_next = 0;     // the next row to come
    bool m_failed = false;
};

} // namespace

std::unique_ptr<RowFile> startPngRows(int width, int height, int level, const PixelDensity& density,
                                      fp::PendingFile& file) {
    if (width <= 0 || height <= 0)
        return nullptr;
    const Header header{width,
                        height,
                        8,
                        PNG_COLOR_TYPE_RGB,
                        nullptr,
                        0,
                        density.known() ? perMetre(density.xPerCm) : 0,
                        density.known() ? perMetre(density.yPerCm) : 0};
    auto rows = std::make_unique<PngRows>(width, height, std::clamp(level, 0, 9), file);
    if (!rows->begin(header))
        return nullptr;
    return rows;
}

} // namespace pixkit::codec
