// JPEG row by row through libjpeg's own interface: the reader hands out the
// photograph's rows as they are decoded, the writer takes the rectified
// image band by band. Errors inside the library jump back to the call that
// started them; no C++ object lives across such a jump.

#include "pixkit/JpegRows.h"

#include "LibraryCodecs.h"
#include "Resolution.h"
#include "foundation/ReplaceFile.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <jpeglib.h>
// jerror.h after jpeglib.h
#include <jerror.h>

namespace pixkit {

namespace {

struct JumpingErrors {
    jpeg_error_mgr mgr{};
    std::jmp_buf back{};
    bool warned = false;
    bool dataMissing = false; // the first warning says the data ran out
};

[[noreturn]] void jumpBack(j_common_ptr cinfo) {
    auto* e = reinterpret_cast<JumpingErrors*>(cinfo->err);
    std::longjmp(e->back, 1);
}

// The whole-image decoder judges a file by its first warning: one saying
// the data ran out makes the picture partly invented, so unreadable.
void noteWarning(j_common_ptr cinfo, int level) {
    auto* e = reinterpret_cast<JumpingErrors*>(cinfo->err);
    if (level >= 0 || e->warned)
        return;
    e->warned = true;
    char text[JMSG_LENGTH_MAX] = {};
    (*cinfo->err->format_message)(cinfo, text);
    e->dataMissing = std::string_view(text).find("remature end") != std::string_view::npos;
}

void quiet(j_common_ptr) {}

void installErrors(JumpingErrors& e) {
    jpeg_std_error(&e.mgr);
    e.mgr.error_exit = jumpBack;
    e.mgr.emit_message = noteWarning;
    e.mgr.output_message = quiet;
}

// See decodeJpeg: a file too short for its declared size is missing data.
constexpr std::uint64_t MaxPixelsPerByte = 8 * 8 * 32;

constexpr int RowsPerRead = 16;

// Asks for huge pages under the block the encoder fills: its untouched
// pages cost nothing, the touched ones one fault per 2 MiB instead of per
// 4 KiB. Advice only; the bytes are the same.
void preferHugePages(void* block, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t Huge = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + Huge - 1) & ~(Huge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(Huge - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

// The encoder's bytes go into one block reserved for the largest JPEG the
// picture can give (the bound TurboJPEG reserves for 4:2:0); the system
// hands out its pages only as the encoder reaches them, so nothing is copied
// while the file grows, as it is with libjpeg's doubling memory destination.
// Should the bound not hold, the block doubles.
struct BlockDestination {
    jpeg_destination_mgr mgr{};
    std::uint8_t* data = nullptr;
    std::size_t capacity = 0;
    std::size_t size = 0; // the bytes written, once the picture is finished

    ~BlockDestination() { std::free(data); }
};

BlockDestination* blockOf(j_compress_ptr cinfo) {
    return reinterpret_cast<BlockDestination*>(cinfo->dest);
}

void startBlock(j_compress_ptr cinfo) {
    BlockDestination* d = blockOf(cinfo);
    d->mgr.next_output_byte = d->data;
    d->mgr.free_in_buffer = d->capacity;
    d->size = 0;
}

boolean growBlock(j_compress_ptr cinfo) {
    BlockDestination* d = blockOf(cinfo);
    const std::size_t grown = d->capacity * 2;
    auto* data =
        grown > d->capacity ? static_cast<std::uint8_t*>(std::realloc(d->data, grown)) : nullptr;
    if (data == nullptr) {
        cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
        (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    }
    d->data = data;
    d->mgr.next_output_byte = data + d->capacity;
    d->mgr.free_in_buffer = grown - d->capacity;
    d->capacity = grown;
    return TRUE;
}

void endBlock(j_compress_ptr cinfo) {
    BlockDestination* d = blockOf(cinfo);
    d->size = d->capacity - d->mgr.free_in_buffer;
}

// Bytes reserved for a width x height picture: three per pixel of the
// picture padded to whole 16 x 16 blocks, and the headers.
std::size_t jpegBound(int width, int height) {
    const auto pad = [](int n) { return (static_cast<std::size_t>(n) + 15) / 16 * 16; };
    return pad(width) * pad(height) * 3 + 2048;
}

} // namespace

struct JpegRowReader::State {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
    JumpingErrors errors;
    jpeg_decompress_struct cinfo{};
    bool created = false;
    int width = 0, height = 0;

    ~State() {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }

    bool readHeader() {
        cinfo.err = &errors.mgr;
        installErrors(errors);
        if (setjmp(errors.back) != 0)
            return false;
        jpeg_create_decompress(&cinfo);
        created = true;
        jpeg_mem_src(&cinfo, bytes.get(), static_cast<unsigned long>(size));
        return jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK;
    }

    // The rows into `image`, reporting as they come; false on an error.
    bool readRows(dib& image, const std::function<void(int)>& rowsDone) {
        if (setjmp(errors.back) != 0)
            return false;
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        if (static_cast<int>(cinfo.output_width) != width ||
            static_cast<int>(cinfo.output_height) != height || cinfo.output_components != 3)
            return false;
        JSAMPROW rows[RowsPerRead];
        while (cinfo.output_scanline < cinfo.output_height) {
            const int at = static_cast<int>(cinfo.output_scanline);
            const int n = std::min(RowsPerRead, height - at);
            for (int k = 0; k < n; ++k)
                rows[k] = pictureRow(image, at + k);
            const auto got = jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
            if (got == 0)
                return false;
            rowsDone(static_cast<int>(cinfo.output_scanline));
        }
        jpeg_finish_decompress(&cinfo);
        return true;
    }
};

JpegRowReader::JpegRowReader() = default;
JpegRowReader::~JpegRowReader() = default;

bool JpegRowReader::open(const std::string& fileName) {
    m_state = std::make_unique<State>();
    State& s = *m_state;
    if (!codec::readImageFileBytes(fileName, s.bytes, s.size))
        return false;
    const codec::Bytes data(s.bytes.get(), s.size);
    if (!codec::looksLikeJpeg(data) || s.size > 0xFFFFFFFFu || codec::exifOrientation(data) != 1)
        return false;
    if (!s.readHeader())
        return false;
    // Colour only: grey, CMYK and odd layouts take the whole-image way.
    if (s.cinfo.jpeg_color_space != JCS_YCbCr || s.cinfo.num_components != 3)
        return false;
    s.width = static_cast<int>(s.cinfo.image_width);
    s.height = static_cast<int>(s.cinfo.image_height);
    const auto pixels = static_cast<std::uint64_t>(s.width) * static_cast<std::uint64_t>(s.height);
    return codec::withinPixelLimit(s.width, s.height, codec::MaxDecodedPixels) &&
           pixels / MaxPixelsPerByte <= s.size;
}

int JpegRowReader::width() const {
    return m_state ? m_state->width : 0;
}

int JpegRowReader::height() const {
    return m_state ? m_state->height : 0;
}

bool JpegRowReader::decode(dib& image, const std::function<void(int)>& rowsDone) {
    if (!m_state || image.poi == nullptr || dibwidth(image) != m_state->width ||
        dibheight(image) != m_state->height || dibbits(image) != 24) {
        rowsDone(height());
        return false;
    }
    const bool read = m_state->readRows(image, rowsDone);
    // The file's bytes are not needed any more.
    m_state->bytes.reset();
    rowsDone(height());
    return read && !m_state->errors.dataMissing;
}

struct JpegRowWriter::State {
    JumpingErrors errors;
    jpeg_compress_struct cinfo{};
    bool created = false;
    bool started = false;
    BlockDestination block;

    ~State() {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }

    // The settings TurboJPEG's compressor uses for 4:2:0 colour, so the bytes
    // are those of the whole-image writer.
    bool begin(int width, int height, int quality) {
        cinfo.err = &errors.mgr;
        installErrors(errors);
        if (setjmp(errors.back) != 0)
            return false;
        jpeg_create_compress(&cinfo);
        created = true;
        // Without room for the bound, a smaller block that grows.
        for (const std::size_t capacity : {jpegBound(width, height), std::size_t{1} << 20}) {
            block.capacity = capacity;
            block.data = static_cast<std::uint8_t*>(std::malloc(capacity));
            if (block.data != nullptr)
                break;
        }
        if (block.data == nullptr)
            return false;
        preferHugePages(block.data, block.capacity);
        block.mgr.init_destination = startBlock;
        block.mgr.empty_output_buffer = growBlock;
        block.mgr.term_destination = endBlock;
        cinfo.dest = &block.mgr;
        cinfo.image_width = static_cast<JDIMENSION>(width);
        cinfo.image_height = static_cast<JDIMENSION>(height);
        cinfo.in_color_space = JCS_EXT_BGR;
        cinfo.input_components = 3;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, quality, TRUE);
        cinfo.dct_method = quality >= 96 ? JDCT_ISLOW : JDCT_FASTEST;
        jpeg_set_colorspace(&cinfo, JCS_YCbCr);
        cinfo.comp_info[0].h_samp_factor = 2;
        cinfo.comp_info[0].v_samp_factor = 2;
        for (int c = 1; c < 3; ++c) {
            cinfo.comp_info[c].h_samp_factor = 1;
            cinfo.comp_info[c].v_samp_factor = 1;
        }
        jpeg_start_compress(&cinfo, TRUE);
        started = true;
        return true;
    }

    // The memory destination never suspends: every row is taken at once.
    bool put(std::uint8_t* const* rows, int count) {
        if (setjmp(errors.back) != 0)
            return false;
        return jpeg_write_scanlines(&cinfo, const_cast<JSAMPARRAY>(rows),
                                    static_cast<JDIMENSION>(count)) ==
               static_cast<JDIMENSION>(count);
    }

    bool end() {
        if (setjmp(errors.back) != 0)
            return false;
        if (cinfo.next_scanline != cinfo.image_height)
            return false;
        jpeg_finish_compress(&cinfo);
        return true;
    }
};

JpegRowWriter::JpegRowWriter() = default;
JpegRowWriter::~JpegRowWriter() = default;

bool JpegRowWriter::start(int width, int height, int quality) {
    m_state = std::make_unique<State>();
    if (width <= 0 || height <= 0 || width > 65500 || height > 65500)
        return false;
    return m_state->begin(width, height, std::clamp(quality, 1, 100));
}

bool JpegRowWriter::write(std::uint8_t* const* rows, int count) {
    return m_state && m_state->started && m_state->put(rows, count);
}

bool JpegRowWriter::finish(const PixelDensity& density, std::vector<std::uint8_t>& out) {
    out.clear();
    if (!m_state || !m_state->started || !m_state->end() || m_state->block.data == nullptr)
        return false;
    const BlockDestination& block = m_state->block;
    const std::uint8_t* b = block.data;
    const std::size_t size = block.size;
    // The stamp changes only the JFIF segment and inserts behind it: it is
    // stamped on its own and the rest of the file follows it, one copy of
    // the file instead of two.
    const std::size_t afterJfif =
        size >= 20 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF && b[3] == 0xE0
            ? 4 + ((static_cast<std::size_t>(b[4]) << 8) | b[5])
            : 0;
    if (afterJfif < 20 || afterJfif > size) {
        out.assign(b, b + size);
        codec::stampJpeg(out, density);
        return true;
    }
    std::vector<std::uint8_t> head(b, b + afterJfif);
    codec::stampJpeg(head, density);
    out.reserve(head.size() + (size - afterJfif));
    preferHugePages(out.data(), out.capacity());
    out.assign(head.begin(), head.end());
    out.insert(out.end(), b + afterJfif, b + size);
    return true;
}

} // namespace pixkit
