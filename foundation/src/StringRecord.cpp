#include "foundation/StringRecord.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <istream>
#include <limits>
#include <ostream>

namespace foundation {

namespace {

// Records up to this many code units are read without measuring the stream
// first: a short file then simply ends the read with an error, and the
// allocation stays small whatever the length field says.
constexpr std::uint32_t UnmeasuredUnits = 4096;
// Piece size for long records from streams that cannot tell their size.
constexpr std::size_t PieceUnits = 1u << 16;

void putLe32(unsigned char* b, std::uint32_t v) {
    b[0] = static_cast<unsigned char>(v);
    b[1] = static_cast<unsigned char>(v >> 8);
    b[2] = static_cast<unsigned char>(v >> 16);
    b[3] = static_cast<unsigned char>(v >> 24);
}

std::int32_t getLe32(const unsigned char* b) {
    const std::uint32_t v = std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) |
                            (std::uint32_t{b[2]} << 16) | (std::uint32_t{b[3]} << 24);
    return static_cast<std::int32_t>(v);
}

void writeBytes(std::ostream& out, const void* p, std::size_t n) {
    out.write(static_cast<const char*>(p), static_cast<std::streamsize>(n));
    if (!out)
        throw IoError("write failed");
}

// Converts code units between host order and little-endian bytes in place.
void swapUnitsIfBigEndian([[maybe_unused]] char16_t* p, [[maybe_unused]] std::size_t n) {
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < n; ++i)
            p[i] = static_cast<char16_t>((p[i] >> 8) | (p[i] << 8));
    }
}

// Reads n code units; pieces keep the allocation in step with the bytes
// that really arrive.
template <class ReadFn>
std::u16string readUnits(std::uint32_t n, bool inOnePiece, ReadFn&& readBytes) {
    std::u16string text;
    if (inOnePiece) {
        text.resize(n);
        readBytes(text.data(), std::size_t{n} * 2);
    } else {
        while (text.size() < n) {
            const std::size_t piece = std::min<std::size_t>(PieceUnits, n - text.size());
            const std::size_t at = text.size();
            text.resize(at + piece);
            readBytes(text.data() + at, piece * 2);
        }
    }
    swapUnitsIfBigEndian(text.data(), text.size());
    return text;
}

std::uint32_t checkedLength(std::int32_t len) {
    if (len < 0)
        throw IoError("negative string length");
    return static_cast<std::uint32_t>(len);
}

} // namespace

void WriteInt32(std::ostream& out, std::int32_t value) {
    unsigned char b[4];
    putLe32(b, static_cast<std::uint32_t>(value));
    writeBytes(out, b, 4);
}

void WriteStringRecord(std::ostream& out, std::u16string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw IoError("text too long for a string record");
    WriteInt32(out, static_cast<std::int32_t>(text.size()));
    if (text.empty())
        return;
    if constexpr (std::endian::native == std::endian::little) {
        writeBytes(out, text.data(), text.size() * 2);
    } else {
        std::u16string copy(text);
        swapUnitsIfBigEndian(copy.data(), copy.size());
        writeBytes(out, copy.data(), copy.size() * 2);
    }
}

RecordReader::RecordReader(const void* data, std::size_t size)
    : m_mem(static_cast<const unsigned char*>(data)), m_known(true), m_remaining(size) {}

RecordReader::RecordReader(std::istream& in) : m_in(&in) {
    const std::istream::pos_type here = in.tellg();
    if (here == std::istream::pos_type(-1))
        return;
    in.seekg(0, std::ios::end);
    const std::istream::pos_type end = in.tellg();
    in.seekg(here);
    if (!in || end == std::istream::pos_type(-1) || end < here) {
        in.clear();
        in.seekg(here);
        return;
    }
    m_known = true;
    m_remaining = static_cast<std::uint64_t>(end - here);
}

void RecordReader::read(void* dst, std::size_t n) {
    if (m_known && n > m_remaining)
        throw IoError("file ends inside a record");
    if (m_mem != nullptr) {
        if (n > 0)
            std::memcpy(dst, m_mem, n);
        m_mem += n;
        m_remaining -= n;
        return;
    }
    m_in->read(static_cast<char*>(dst), static_cast<std::streamsize>(n));
    if (static_cast<std::size_t>(m_in->gcount()) != n || !*m_in)
        throw IoError("short read");
    if (m_known)
        m_remaining -= n;
}

void RecordReader::skip(std::uint64_t n) {
    if (m_known) {
        if (n > m_remaining)
            throw IoError("file ends inside a record");
        if (m_mem != nullptr) {
            m_mem += n;
        } else {
            m_in->seekg(static_cast<std::streamoff>(n), std::ios::cur);
            if (!*m_in)
                throw IoError("seek failed");
        }
        m_remaining -= n;
        return;
    }
    std::array<char, 4096> sink;
    while (n > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(n, sink.size()));
        read(sink.data(), piece);
        n -= piece;
    }
}

std::int32_t RecordReader::readInt32() {
    unsigned char b[4];
    read(b, 4);
    return getLe32(b);
}

std::u16string ReadStringRecord(RecordReader& in) {
    const std::uint32_t n = checkedLength(in.readInt32());
    if (in.knowsRemaining() && std::uint64_t{n} * 2 > in.remaining())
        throw IoError("string length beyond the end of the file");
    return readUnits(n, in.knowsRemaining() || n <= PieceUnits,
                     [&](void* p, std::size_t bytes) { in.read(p, bytes); });
}

void SkipStringRecord(RecordReader& in) {
    const std::uint32_t n = checkedLength(in.readInt32());
    in.skip(std::uint64_t{n} * 2);
}

std::u16string ReadStringRecord(std::istream& in) {
    unsigned char b[4];
    in.read(reinterpret_cast<char*>(b), 4);
    if (in.gcount() != 4 || !in)
        throw IoError("short read");
    const std::uint32_t n = checkedLength(getLe32(b));
    bool measured = false;
    if (n > UnmeasuredUnits) {
        RecordReader probe(in);
        if (probe.knowsRemaining()) {
            if (std::uint64_t{n} * 2 > probe.remaining())
                throw IoError("string length beyond the end of the file");
            measured = true;
        }
    }
    return readUnits(n, measured || n <= PieceUnits, [&](void* p, std::size_t bytes) {
        in.read(static_cast<char*>(p), static_cast<std::streamsize>(bytes));
        if (static_cast<std::size_t>(in.gcount()) != bytes || !in)
            throw IoError("short read");
    });
}

} // namespace foundation
