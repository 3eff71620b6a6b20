// JPEG row by row through libjpeg's own interface: the reader hands out the
// photograph's rows as they are decoded, the writer takes the rectified
// image band by band. Errors inside the library jump back to the call that
// started them; no C++ object lives across such a jump.

#include "pixkit/JpegRows.h"

#include "LibraryCodecs.h"
#include "Resolution.h"
#include "foundation/ReplaceFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include <jpeglib.h>

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

namespace {

// Where the compressed bytes go: a buffer emptied into the pending file, the
// resolution stamped into the first part, which holds the headers.
struct FileDestination {
    jpeg_destination_mgr mgr{}; // first: libjpeg sees only this part
    fp::PendingFile* file = nullptr;
    PixelDensity density;
    std::unique_ptr<std::uint8_t[]> buffer;
    bool first = true;
};

constexpr std::size_t DestinationBytes = std::size_t{1} << 16;

bool putBytes(FileDestination& d, std::size_t n) {
    if (!d.first)
        return d.file->write(d.buffer.get(), n) == 0;
    d.first = false;
    std::vector<std::uint8_t> head(d.buffer.get(), d.buffer.get() + n);
    codec::stampJpeg(head, d.density);
    return d.file->write(head.data(), head.size()) == 0;
}

void startDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<FileDestination*>(cinfo->dest);
    d->mgr.next_output_byte = d->buffer.get();
    d->mgr.free_in_buffer = DestinationBytes;
}

// A file that fails ends the picture like an encoder error.
boolean emptyDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<FileDestination*>(cinfo->dest);
    bool ok = false;
    try {
        ok = putBytes(*d, DestinationBytes);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok)
        jumpBack(reinterpret_cast<j_common_ptr>(cinfo));
    startDestination(cinfo);
    return TRUE;
}

void endDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<FileDestination*>(cinfo->dest);
    bool ok = false;
    try {
        ok = putBytes(*d, DestinationBytes - d->mgr.free_in_buffer);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok)
        jumpBack(reinterpret_cast<j_common_ptr>(cinfo));
}

} // namespace

struct JpegRowWriter::State {
    JumpingErrors errors;
    jpeg_compress_struct cinfo{};
    FileDestination destination;
    bool created = false;
    bool started = false;

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
        destination.mgr.init_destination = startDestination;
        destination.mgr.empty_output_buffer = emptyDestination;
        destination.mgr.term_destination = endDestination;
        cinfo.dest = &destination.mgr;
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

    // The destination never suspends: every row is taken at once.
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

bool JpegRowWriter::start(int width, int height, int quality, const PixelDensity& density,
                          fp::PendingFile& file) {
    m_state = std::make_unique<State>();
    if (width <= 0 || height <= 0 || width > 65500 || height > 65500 || file.error() != 0)
        return false;
    m_state->destination.file = &file;
    m_state->destination.density = density;
    m_state->destination.buffer.reset(new (std::nothrow) std::uint8_t[DestinationBytes]);
    return m_state->destination.buffer &&
           m_state->begin(width, height, std::clamp(quality, 1, 100));
}

bool JpegRowWriter::write(std::uint8_t* const* rows, int count) {
    return m_state && m_state->started && m_state->put(rows, count);
}

bool JpegRowWriter::finish() {
    return m_state && m_state->started && m_state->end();
}

} // namespace pixkit
