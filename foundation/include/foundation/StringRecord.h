#pragma once
// String records of binary files (translate.dat): a signed 32-bit
// little-endian count L of UTF-16 code units, then the 2 x L bytes of the text
// in UTF-16 little-endian order; no terminator, no byte-order mark.
//
// Error policy: every failed or short transfer throws foundation::IoError,
// which ends the caller's file operation. A negative length, or one asking for
// more bytes than are left in the file, is refused with IoError before
// anything is allocated.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>

namespace foundation {

class IoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes one string record. Throws IoError when the stream fails or the text
// has more code units than a 32-bit count can hold.
void WriteStringRecord(std::ostream& out, std::u16string_view text);

// Writes a signed 32-bit little-endian integer (the counts in file headers).
void WriteInt32(std::ostream& out, std::int32_t value);

// Reads a file record by record and knows how many bytes are left, so that a
// length field can be checked before it is trusted. Measures the stream once
// at construction; on a stream that cannot seek the bytes left are unknown and
// large records are read in pieces instead (never allocated up front).
class RecordReader {
public:
    explicit RecordReader(std::istream& in);
    // Reads from size bytes in memory (a file read as a whole); the bytes
    // must outlive the reader.
    RecordReader(const void* data, std::size_t size);

    // Reads exactly n bytes or throws IoError.
    void read(void* dst, std::size_t n);
    // Skips exactly n bytes or throws IoError.
    void skip(std::uint64_t n);

    std::int32_t readInt32();

    bool knowsRemaining() const { return m_known; }
    // Bytes left; meaningful only when knowsRemaining().
    std::uint64_t remaining() const { return m_remaining; }

private:
    std::istream* m_in = nullptr;
    const unsigned char* m_mem = nullptr;
    bool m_known = false;
    std::uint64_t m_remaining = 0;
};

std::u16string ReadStringRecord(RecordReader& in);
// Consumes one string record without keeping its text.
void SkipStringRecord(RecordReader& in);

// Reads one string record straight from a stream (measures the stream for
// long records only).
std::u16string ReadStringRecord(std::istream& in);

} // namespace foundation
