// TIFF row by row through libtiff, with the bytes the whole-image writer
// (Qt's TIFF plugin, on the same libtiff) makes for a 24-bit picture: RGB,
// LZW, strips of about 4 MiB, the strips from byte 8 on and the directory
// behind them. The real scale is stamped into the directory as the
// whole-image writer stamps it, once libtiff has written it.

#include "LibraryCodecs.h"
#include "Resolution.h"

#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <new>
#include <vector>

namespace pixkit::codec {

namespace {

// The rows in a strip: as many as make 4 MiB, as the whole-image writer asks.
constexpr tmsize_t StripBytes = 4 * 1024 * 1024;

class TiffRows final : public RowFile {
public:
    TiffRows(int width, int height, const PixelDensity& density, fp::PendingFile& file)
        : m_file(file), m_width(width), m_height(height), m_density(density) {}

    ~TiffRows() override {
        if (m_tiff != nullptr) {
            // Closing writes what libtiff holds; a file given up takes none of it.
            m_closing = true;
            TIFFClose(m_tiff);
        }
    }

    bool begin() {
        try {
            m_row.resize(static_cast<std::size_t>(m_width) * 3);
        } catch (const std::bad_alloc&) {
            return false;
        }
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (options == nullptr)
            return false;
        TIFFOpenOptionsSetErrorHandlerExtR(options, &TiffRows::onError, this);
        TIFFOpenOptionsSetWarningHandlerExtR(options, &TiffRows::onWarning, this);
        m_tiff = TIFFClientOpenExt("rows", "w", this, &TiffRows::readProc, &TiffRows::writeProc,
                                   &TiffRows::seekProc, &TiffRows::closeProc, &TiffRows::sizeProc,
                                   &TiffRows::mapProc, &TiffRows::unmapProc, options);
        TIFFOpenOptionsFree(options);
        if (m_tiff == nullptr || m_failed)
            return false;
        TIFF* t = m_tiff;
        // Until the stamp: the whole-image writer's 96 pixels per inch.
        const bool set =
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(m_width)) &&
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(m_height)) &&
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) &&
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) &&
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
            TIFFSetField(t, TIFFTAG_XRESOLUTION, 96.0) &&
            TIFFSetField(t, TIFFTAG_YRESOLUTION, 96.0);
        if (!set)
            return false;
        const tmsize_t scanline = std::max<tmsize_t>(1, TIFFScanlineSize(t));
        const auto rows = static_cast<std::uint32_t>(
            std::clamp<tmsize_t>(StripBytes / scanline, 1, static_cast<tmsize_t>(UINT_MAX)));
        return TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, rows)) != 0 &&
               !m_failed;
    }

    bool write(std::uint8_t* const* rows, int count) override {
        if (m_tiff == nullptr || count < 0 || count > m_height - m_next || m_failed ||
            m_file.error() != 0)
            return false;
        for (int r = 0; r < count; ++r, ++m_next) {
            const std::uint8_t* from = rows[r];
            std::uint8_t* to = m_row.data();
            for (int x = 0; x < m_width; ++x, from += 3, to += 3) {
                to[0] = from[2];
                to[1] = from[1];
                to[2] = from[0];
            }
            if (TIFFWriteScanline(m_tiff, m_row.data(), static_cast<std::uint32_t>(m_next), 0) != 1)
                return false;
        }
        return !m_failed;
    }

    bool finish() override {
        if (m_tiff == nullptr || m_next != m_height || m_failed || m_file.error() != 0)
            return false;
        // The last strip goes out first: everything written after it is the
        // directory and its values, kept here for the stamp.
        if (TIFFFlushData(m_tiff) != 1 || m_failed)
            return false;
        struct stat st {};
        if (::fstat(m_file.fd(), &st) != 0) {
            m_file.fail(errno);
            return false;
        }
        m_tailFrom = static_cast<std::size_t>(st.st_size);
        m_keepTail = true;
        const bool flushed = TIFFFlush(m_tiff) == 1;
        TIFFClose(m_tiff);
        m_tiff = nullptr;
        if (!flushed || m_failed || m_file.error() != 0)
            return false;
        const bool little = m_header[0] == 'I' && m_header[1] == 'I';
        const auto byte = [&](int k) { return static_cast<std::uint32_t>(m_header[k]); };
        const std::uint32_t ifd = little ? byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24
                                         : byte(4) << 24 | byte(5) << 16 | byte(6) << 8 | byte(7);
        stampTiffDirectory(m_tail, m_tailFrom, ifd, little, m_density);
        return put(m_tail.data(), m_tail.size(), static_cast<off_t>(m_tailFrom));
    }

private:
    static TiffRows& self(thandle_t h) { return *static_cast<TiffRows*>(h); }

    static int onError(TIFF*, void* user, const char*, const char*, va_list) {
        static_cast<TiffRows*>(user)->m_failed = true;
        return 1; // handled: nothing printed
    }
    static int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

    // The file is written, never read.
    static tmsize_t readProc(thandle_t, void*, tmsize_t) { return -1; }

    static tmsize_t writeProc(thandle_t h, void* data, tmsize_t size) {
        TiffRows& r = self(h);
        if (r.m_closing || size < 0)
            return -1;
        const off_t at = ::lseek(r.m_file.fd(), 0, SEEK_CUR);
        if (at < 0) {
            r.m_file.fail(errno);
            return -1;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        if (!r.keep(static_cast<std::size_t>(at), bytes, static_cast<std::size_t>(size)))
            return -1;
        if (r.m_file.write(bytes, static_cast<std::size_t>(size)) != 0)
            return -1;
        return size;
    }

    static toff_t seekProc(thandle_t h, toff_t offset, int whence) {
        TiffRows& r = self(h);
        const off_t at = ::lseek(r.m_file.fd(), static_cast<off_t>(offset), whence);
        if (at < 0) {
            r.m_file.fail(errno);
            return static_cast<toff_t>(-1);
        }
        return static_cast<toff_t>(at);
    }

    static toff_t sizeProc(thandle_t h) {
        struct stat st {};
        if (::fstat(self(h).m_file.fd(), &st) != 0)
            return 0;
        return static_cast<toff_t>(st.st_size);
    }

    // The pending file stays open for its commit.
    static int closeProc(thandle_t) { return 0; }
    static int mapProc(thandle_t, void**, toff_t*) { return 0; }
    static void unmapProc(thandle_t, void*, toff_t) {}

    // Keeps what is written into the header and, from the directory on,
    // behind the strips.
    bool keep(std::size_t at, const std::uint8_t* bytes, std::size_t size) {
        for (std::size_t k = 0; k < size && at + k < sizeof m_header; ++k)
            m_header[at + k] = bytes[k];
        if (!m_keepTail || at + size <= m_tailFrom)
            return true;
        const std::size_t skip = at < m_tailFrom ? m_tailFrom - at : 0;
        const std::size_t to = at + skip - m_tailFrom;
        try {
            if (m_tail.size() < to + size - skip)
                m_tail.resize(to + size - skip);
        } catch (const std::bad_alloc&) {
            m_failed = true;
            return false;
        }
        std::memcpy(m_tail.data() + to, bytes + skip, size - skip);
        return true;
    }

    bool put(const std::uint8_t* data, std::size_t size, off_t at) {
        return m_file.writeAt(data, size, at) == 0;
    }

    fp::PendingFile& m_file;
    int m_width, m_height;
    PixelDensity m_density;
    TIFF* m_tiff = nullptr;
    std::vector<std::uint8_t> m_row; // a row in the file's order red, green, blue
    int m_next = 0;
    bool m_failed = false;  // libtiff reported an error
    bool m_closing = false; // given up: libtiff writes nothing more
    std::uint8_t m_header[8] = {};
    bool m_keepTail = false;
    std::size_t m_tailFrom = 0;
    std::vector<std::uint8_t> m_tail;
};

} // namespace

std::unique_ptr<RowFile> startTiffRows(int width, int height, const PixelDensity& density,
                                       fp::PendingFile& file) {
    // Without a real scale the whole-image writer leaves Qt's resolution,
    // which follows the screen: that file is written whole.
    if (width <= 0 || height <= 0 || !density.known() || file.error() != 0)
        return nullptr;
    auto rows = std::make_unique<TiffRows>(width, height, density, file);
    if (!rows->begin())
        return nullptr;
    return rows;
}

} // namespace pixkit::codec
