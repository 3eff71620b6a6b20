#pragma once
// Replacing a file safely, and reading one without being fooled by what lies
// in its place. Every file the program writes (images, drawings, world files,
// the dictionary, the settings) goes through PendingFile or replaceFile; every
// small file it reads (dictionary, options, settings) through readRegularFile.
//
// A replacement is written to a hidden temporary file in the target's folder
// (O_TMPFILE where the file system has it, else a name beside the target),
// flushed to the disk, and only then put in the target's place by a rename:
// the old file survives any failure, a reader never sees half a file. The new
// file keeps the old one's permissions; a symbolic link is followed to the
// file it names and stays a link. A character device (/dev/null) is written
// directly; a folder, FIFO or other special file is refused.
//
// Names are the file system's bytes: a name that is no UTF-8 keeps them.
// Error policy: functions return an error code, 0 for success: an errno value
// or one of the codes below. Nothing throws.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fp {

// Error codes of our own, beside the errno values (all negative).
inline constexpr int NotRegularFile = -1; // a folder, FIFO, socket or device in the way
inline constexpr int FileTooLarge = -2;   // readRegularFile: more bytes than allowed

// An English description of `code` ("no space left on device", "it is no
// regular file"), lower case, for messages that name the file themselves.
std::string fileErrorText(int code);

class PendingFile {
public:
    // Starts the replacement of `path`. Check error() before writing.
    explicit PendingFile(const std::string& path);
    ~PendingFile(); // discards the temporary file unless committed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&&) = delete;

    // 0 while everything went well; the first error otherwise.
    int error() const { return m_error; }
    // The descriptor to write to (for libraries that write themselves); -1
    // after an error. A write error through it must be passed to fail().
    int fd() const { return m_fd; }
    // Appends bytes; returns error().
    int write(const void* data, std::size_t size);
    int write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }
    // Writes bytes at `offset` from the file's start, for formats whose
    // parts are placed out of order (a regular file only; a negative offset
    // appends, as write() does); returns error().
    int writeAt(const void* data, std::size_t size, std::int64_t offset);
    // Records an error found by a writer that used fd() itself.
    void fail(int code);
    // Flushes to the disk and puts the file in the target's place. Returns
    // error(); on failure the target is untouched.
    int commit();
    // Drops the temporary file; the target stays as it was.
    void discard();
    // The file that will be replaced (the link's target for a link).
    const std::string& target() const { return m_target; }

private:
    std::string m_target;
    std::string m_tempName; // a named temporary file; empty for O_TMPFILE or direct writes
    int m_fd = -1;
    int m_error = 0;
    bool m_direct = false;    // a character device, written in place
    bool m_anonymous = false; // O_TMPFILE: no name until commit
    bool m_done = false;
    unsigned m_mode = 0;
    bool m_keepMode = false;
};

// Replaces `path` with `bytes` in one step. 0 or an error code.
int replaceFile(const std::string& path, std::string_view bytes);

// Reads the whole file `path` into `out` when it is a regular file of at most
// `maxBytes` bytes: a FIFO, device or folder is refused at once
// (NotRegularFile) without ever blocking. 0 or an error code (ENOENT for a
// missing file); `out` is empty on failure.
int readRegularFile(const std::string& path, std::string& out, std::size_t maxBytes);

// True when `path` does not exist or is a regular file (also through a link):
// the check before handing a path to a library that would block on a FIFO.
bool missingOrRegular(const std::string& path);

// True when `a` and `b` both exist and are the same file: the same name, a
// name through a link or "..", or a hard link (links are followed).
bool sameFile(const std::string& a, const std::string& b);

// Removes temporary files that an earlier process, killed while replacing
// `path`, left beside it ("<name>.tmp<pid>-<n>" of a process that no longer
// runs). Returns how many were removed.
int removeStaleTemporaries(const std::string& path);

} // namespace fp
