// Picture files row by row: PNG through the stretches of its whole-image
// writer, JPEG through libjpeg's scanlines, BMP placed from the bottom up,
// TIFF through libtiff's scanlines.

#include "pixkit/RowFile.h"

#include "LibraryCodecs.h"
#include "OwnCodecs.h"
#include "Resolution.h"
#include "foundation/ReplaceFile.h"
#include "pixkit/ImageFormats.h"
#include "pixkit/JpegRows.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace pixkit {

namespace {

enum class RowType { None, Jpeg, Png, Bmp, Tiff };

RowType rowTypeOf(const std::string& fileName) {
    const auto dot = fileName.find_last_of('.');
    const auto slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return RowType::None;
    std::string ext = fileName.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    const ImageFormat* format = formatWriting(ext);
    if (format == nullptr || format->saveName == nullptr)
        return RowType::None;
    const std::string name = format->saveName;
    if (name == "JPEG")
        return RowType::Jpeg;
    if (name == "PNG")
        return RowType::Png;
    // A .rle file holds a picture reduced to 256 colours.
    if (name == "Windows Bitmap" && ext != ".rle")
        return RowType::Bmp;
    if (name == "TIFF")
        return RowType::Tiff;
    return RowType::None;
}

// The rows of a BMP file are stored bottom-up: each band is turned over and
// written where it belongs, behind the header, the rows above it coming
// later at lower offsets.
class BmpRows final : public RowFile {
public:
    BmpRows(int width, int height, fp::PendingFile& file)
        : m_file(file), m_height(height), m_stride(static_cast<std::size_t>(rowBytes(width, 24))),
          m_used(static_cast<std::size_t>(width) * 3) {}

    bool begin(const PixelDensity& density) {
        std::vector<std::uint8_t> header;
        if (!codec::bmpHeader24(static_cast<int>(m_used / 3), m_height, header))
            return false;
        codec::stampBmp(header, density);
        m_offBits = header.size();
        return m_file.write(header.data(), header.size()) == 0;
    }

    bool write(std::uint8_t* const* rows, int count) override {
        if (count < 0 || count > m_height - m_next || m_file.error() != 0)
            return false;
        try {
            if (m_band.size() < m_stride * static_cast<std::size_t>(count))
                m_band.resize(m_stride * static_cast<std::size_t>(count));
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (int r = 0; r < count; ++r) {
            std::uint8_t* to = m_band.data() + static_cast<std::size_t>(count - 1 - r) * m_stride;
            std::memcpy(to, rows[r], m_used);
            std::memset(to + m_used, 0, m_stride - m_used);
        }
        m_next += count;
        // Picture row y is stored row height - 1 - y.
        const auto at = static_cast<std::int64_t>(
            m_offBits + static_cast<std::size_t>(m_height - m_next) * m_stride);
        return put(m_band.data(), m_stride * static_cast<std::size_t>(count), at);
    }

    bool finish() override { return m_next == m_height && m_file.error() == 0; }

private:
    bool put(const std::uint8_t* data, std::size_t size, std::int64_t at) {
        return m_file.writeAt(data, size, at) == 0;
    }

    fp::PendingFile& m_file;
    int m_height;
    std::size_t m_stride, m_used;
    std::size_t m_offBits = 0;
    int m_next = 0;
    std::vector<std::uint8_t> m_band;
};

// libjpeg's scanlines, the bytes into the file as they are made.
class JpegRows final : public RowFile {
public:
    bool begin(int width, int height, int quality, const PixelDensity& density,
               fp::PendingFile& file) {
        return m_writer.start(width, height, quality, density, file);
    }
    bool write(std::uint8_t* const* rows, int count) override {
        return m_writer.write(rows, count);
    }
    bool finish() override { return m_writer.finish(); }

private:
    JpegRowWriter m_writer;
};

} // namespace

bool WritesRows(const std::string& fileName) {
    const RowType type = rowTypeOf(fileName);
    return type == RowType::Jpeg || type == RowType::Png ||
           ((type == RowType::Bmp || type == RowType::Tiff) && fp::missingOrRegular(fileName));
}

std::unique_ptr<RowFile> StartRowFile(const std::string& fileName, int width, int height,
                                      const WriteOptions& options, fp::PendingFile& file) {
    if (width <= 0 || height <= 0 || file.error() != 0 || !WritesRows(fileName))
        return nullptr;
    switch (rowTypeOf(fileName)) {
    case RowType::Jpeg: {
        auto rows = std::make_unique<JpegRows>();
        if (!rows->begin(width, height, options.jpegQuality, options.density, file))
            return nullptr;
        return rows;
    }
    case RowType::Png:
        if (width > 1000000 || height > 1000000)
            return nullptr;
        return codec::startPngRows(width, height, options.pngLevel, options.density, file);
    case RowType::Bmp: {
        auto rows = std::make_unique<BmpRows>(width, height, file);
        if (!rows->begin(options.density))
            return nullptr;
        return rows;
    }
    case RowType::Tiff:
        return codec::startTiffRows(width, height, options.density, file);
    case RowType::None:
        break;
    }
    return nullptr;
}

} // namespace pixkit
