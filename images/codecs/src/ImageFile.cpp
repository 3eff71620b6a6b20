#include "pixkit/ImageFile.h"

#include "LibraryCodecs.h"
#include "Resolution.h"
#include "foundation/ReplaceFile.h"
#include "pixkit/ImageFormats.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

namespace pixkit {

namespace {

// Files above this are no photographs we could hold as an image anyway.
constexpr std::uint64_t MaxFileBytes = std::uint64_t{2} << 30;

struct FileCloser {
    int fd = -1;
    ~FileCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

// The whole file in one read, without zero-filling the buffer first. Opened
// without blocking: a FIFO would otherwise wait for a writer forever before
// the check below could refuse it (devices and folders are refused as well).
bool readWholeFile(const std::string& fileName, std::unique_ptr<std::uint8_t[]>& buf,
                   std::size_t& size) {
    FileCloser f{::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (f.fd < 0)
        return false;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
        static_cast<std::uint64_t>(st.st_size) > MaxFileBytes)
        return false;
    size = static_cast<std::size_t>(st.st_size);
    buf.reset(new (std::nothrow) std::uint8_t[size]);
    if (!buf)
        return false;
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(f.fd, buf.get() + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    // A file that shrank while we read it is read as far as it goes.
    size = got;
    return size > 0;
}

// Folder part of a path as the file system reads it ("." for a bare name).
std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string lowerExtension(const std::string& fileName) {
    const auto dot = fileName.find_last_of('.');
    const auto slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = fileName.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace

bool codec::decodeBytes(Bytes data, dib& out, std::uint64_t maxPixels) {
    out = dib{};
    if (data.empty())
        return false;
    // A decoder's working memory (a line, a colour map) that cannot be had
    // makes the file unreadable, never an abort.
    try {
        // Formats with a signature first, then the ones without (TGA) as a guess.
        for (const bool guess : {false, true})
            for (const ImageFormat& f : ImageFormats())
                if (f.lastGuess == guess && f.looksLike(data))
                    return f.decode(data, out, maxPixels);
    } catch (const std::bad_alloc&) {
        releasedib(out);
        out = dib{};
    }
    return false;
}

bool decodeImageBytes(std::span<const std::uint8_t> data, dib& out) {
    return codec::decodeBytes(data, out);
}

void OpenDib(dib& out, const std::string& fileName, int, void*) {
    out = dib{};
    std::unique_ptr<std::uint8_t[]> buf;
    std::size_t size = 0;
    if (!readWholeFile(fileName, buf, size))
        return;
    if (!decodeImageBytes(std::span<const std::uint8_t>(buf.get(), size), out))
        out = dib{};
}

std::string GetDIBOpenFilter() {
    std::string all;
    std::string each;
    for (const ImageFormat& f : ImageFormats()) {
        std::string patterns;
        for (const FormatExtension& e : f.extensions)
            appendPattern(patterns, e.ext);
        if (!all.empty())
            all += ';';
        all += patterns;
        each.append("|").append(f.openName).append(" (").append(patterns).append(")|");
        each += patterns;
    }
    std::string filter = "Alle Bilddateien|";
    filter.append(all).append(each).append("|Alle Dateien|*.*");
    return filter;
}

bool CanWriteExtension(const std::string& fileName) {
    return formatWriting(lowerExtension(fileName)) != nullptr;
}

namespace {

// The options with the scale the file will carry: the one asked for, else the
// image's own pixels per metre; none for a format without resolution fields.
WriteOptions withDensity(const dib& image, const ImageFormat& format, const WriteOptions& options) {
    WriteOptions resolved = options;
    if (format.stampResolution == nullptr)
        resolved.density = {};
    else if (!resolved.density.known())
        resolved.density = {image.pmi->bmiHeader.biXPelsPerMeter / 100.0,
                            image.pmi->bmiHeader.biYPelsPerMeter / 100.0};
    return resolved;
}

// The largest picture a format's files can describe (its header fields),
// or where the library that writes it stops (libjpeg's 65 500 pixels,
// libpng's 1 000 000 pixel rows, libwebp's 16 383 pixels); nullptr for a format that holds any
// image the program makes.
struct SideLimit {
    const char* format;
    int width;
    int height;
};
const SideLimit* sideLimitOf(const ImageFormat& format) {
    static const SideLimit limits[] = {
        {"JPEG", 65500, 65500},  {"PNG", 1000000, 1000000}, {"GIF", 65535, 65535},
        {"WebP", 16383, 16383},  {"PCX", 65534, 65535},     {"IFF/ILBM", 65535, 65535},
        {"Targa", 65535, 65535},
    };
    for (const SideLimit& l : limits)
        if (format.saveName != nullptr && std::string(format.saveName) == l.format)
            return &l;
    return nullptr;
}

WriteResult failure(std::string text, fp::Fault fault) {
    return {false, std::move(text), 0, std::move(fault)};
}

WriteResult fileFailure(int code) {
    return {false, fp::fileErrorText(code), code, fp::fileFault(code)};
}

// Why `image` cannot be a file of `format`, when its size is beyond what
// the format holds; ok otherwise.
WriteResult sizeRefusal(const dib& image, const ImageFormat& format) {
    const SideLimit* l = sideLimitOf(format);
    const int w = dibwidth(image);
    const int h = dibheight(image);
    if (l == nullptr || (w <= l->width && h <= l->height))
        return {true, {}, 0, {}};
    std::string text = "the image has " + std::to_string(w) + " x " + std::to_string(h) +
                       " pixels, more than a " + l->format + " file holds (at most " +
                       std::to_string(l->width) + " x " + std::to_string(l->height) + ")";
    return failure(std::move(text),
                   {fp::FaultKind::TooLarge, 0, l->format, w, h, l->width, l->height});
}

// The encoder's failure, with the image's size.
WriteResult encoderFailed(const dib& image, const std::string& ext) {
    const int w = dibwidth(image);
    const int h = dibheight(image);
    return failure("the " + ext.substr(1) + " encoder failed for this image (" + std::to_string(w) +
                       " x " + std::to_string(h) + " pixels)",
                   {fp::FaultKind::EncoderFailed, 0, ext.substr(1), w, h, 0, 0});
}

WriteResult noMemory(const std::string& ext) {
    return failure("not enough memory to encode the image as " + ext.substr(1),
                   {fp::FaultKind::NoMemory, 0, ext.substr(1), 0, 0, 0, 0});
}

} // namespace

WriteResult EncodeDib(const dib& image, const std::string& fileName, const WriteOptions& options,
                      std::vector<std::uint8_t>& out) {
    out.clear();
    const std::string ext = lowerExtension(fileName);
    const ImageFormat* format = formatWriting(ext);
    if (format == nullptr)
        return ext.empty() ? failure("the file name has no extension",
                                     fp::kindFault(fp::FaultKind::NoExtension))
                           : failure("unknown image format '" + ext + "'",
                                     {fp::FaultKind::UnknownFormat, 0, ext, 0, 0, 0, 0});
    if (image.poi == nullptr || image.pmi == nullptr)
        return failure("there is no image", fp::kindFault(fp::FaultKind::NoImage));
    const int bits = dibbits(image);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return failure("images of " + std::to_string(bits) + " bits per pixel are not supported",
                       {fp::FaultKind::UnsupportedBits, bits, {}, 0, 0, 0, 0});
    if (WriteResult refused = sizeRefusal(image, *format); !refused.ok)
        return refused;
    const WriteOptions resolved = withDensity(image, *format, options);
    const PixelDensity& density = resolved.density;
    try {
        if (!format->encode(image, ext, resolved, out) || out.empty()) {
            out.clear();
            return encoderFailed(image, ext);
        }
        if (format->stampResolution != nullptr && density.known())
            format->stampResolution(out, density);
    } catch (const std::bad_alloc&) {
        out.clear();
        return noMemory(ext);
    } catch (const std::length_error&) { // a buffer larger than any vector holds
        out.clear();
        return noMemory(ext);
    }
    return {true, {}, 0, {}};
}

WriteResult WriteDib(const dib& image, const std::string& fileName, int jpegQuality) {
    WriteOptions options;
    options.jpegQuality = jpegQuality;
    return WriteDib(image, fileName, options);
}

namespace {

// Why no file can be made at `fileName`: its folder is missing or a folder
// stands in its place; ok when neither.
WriteResult placeRefusal(const std::string& fileName) {
    struct stat st {};
    if (::stat(folderOf(fileName).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return failure("the folder does not exist", fp::kindFault(fp::FaultKind::NoFolder));
    if (::stat(fileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return failure("a folder of that name exists",
                       fp::kindFault(fp::FaultKind::FolderInTheWay));
    return {true, {}, 0, {}};
}

} // namespace

WriteResult WriteDibInto(const dib& image, const std::string& fileName, const WriteOptions& options,
                         fp::PendingFile& file) {
    const std::string ext = lowerExtension(fileName);
    const ImageFormat* format = formatWriting(ext);
    if (format == nullptr || image.poi == nullptr || image.pmi == nullptr) {
        std::vector<std::uint8_t> none;
        return EncodeDib(image, fileName, options, none); // says why
    }
    if (WriteResult place = placeRefusal(fileName); !place.ok)
        return place;
    if (file.error() != 0)
        return fileFailure(file.error());

    if (format->write != nullptr) {
        if (WriteResult refused = sizeRefusal(image, *format); !refused.ok)
            return refused;
        bool written = false;
        try {
            written = format->write(image, withDensity(image, *format, options), file);
        } catch (const std::bad_alloc&) {
            return noMemory(ext);
        }
        if (file.error() != 0)
            return fileFailure(file.error());
        if (!written)
            return encoderFailed(image, ext);
        return {true, {}, 0, {}};
    }

    std::vector<std::uint8_t> bytes;
    if (WriteResult encoded = EncodeDib(image, fileName, options, bytes); !encoded.ok)
        return encoded;
    if (const int e = file.write(bytes.data(), bytes.size()); e != 0)
        return fileFailure(e);
    return {true, {}, 0, {}};
}

WriteResult WriteDib(const dib& image, const std::string& fileName, const WriteOptions& options) {
    fp::PendingFile file(fileName);
    WriteResult written = WriteDibInto(image, fileName, options, file);
    if (!written.ok)
        return written;
    if (const int e = file.commit(); e != 0)
        return fileFailure(e);
    return written;
}

namespace codec {

bool readImageFileBytes(const std::string& fileName, std::unique_ptr<std::uint8_t[]>& buf,
                        std::size_t& size) {
    return readWholeFile(fileName, buf, size);
}

} // namespace codec

} // namespace pixkit
