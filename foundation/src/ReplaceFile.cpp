#include "foundation/ReplaceFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fp {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a link names, followed through every link; `path` itself when it
// is no link. A dangling link names the file it would create.
std::string resolvedTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat link {};
        if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
            return current;
        std::string to(4096, '\0');
        const ssize_t n = ::readlink(current.c_str(), to.data(), to.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= to.size())
            return current;
        to.resize(static_cast<std::size_t>(n));
        current = to.front() == '/' ? to : folderOf(current) + "/" + to;
    }
    return current;
}

bool processRuns(long pid) {
    if (pid <= 0 || pid > 0x3FFFFFFF)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Directory entries become durable with the folder's own flush; a failure
// there (some file systems refuse it) does not undo the replacement.
void syncFolder(const std::string& folder) {
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

std::atomic<unsigned> g_serial{0};

} // namespace

std::string fileErrorText(int code) {
    switch (code) {
    case 0:
        return "no error";
    case NotRegularFile:
        return "it is no regular file";
    case FileTooLarge:
        return "the file is larger than allowed";
    default:
        break;
    }
    std::string text = std::strerror(code);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

PendingFile::PendingFile(const std::string& path) {
    m_target = resolvedTarget(path);
    struct stat st {};
    const bool exists = ::stat(m_target.c_str(), &st) == 0;
    if (exists && S_ISCHR(st.st_mode)) {
        m_direct = true;
        m_fd = ::open(m_target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (m_fd < 0)
            m_error = errno;
        return;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        m_error = NotRegularFile;
        return;
    }
    if (exists) {
        m_mode = st.st_mode & 07777;
        m_keepMode = true;
    }
    const std::string folder = folderOf(m_target);
#ifdef O_TMPFILE
    // A file without a name: a process killed before the commit leaves
    // nothing behind. Linking it needs /proc, which a chroot may lack.
    if (::access("/proc/self/fd", X_OK) == 0) {
        m_fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_anonymous = true;
        } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            m_error = errno;
            return;
        }
    }
#endif
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_tempName =
            m_target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(g_serial++);
        m_fd = ::open(m_tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        m_error = errno;
        m_tempName.clear();
        return;
    }
    if (m_keepMode && ::fchmod(m_fd, m_mode) != 0 && errno != EPERM)
        fail(errno);
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : m_target(std::move(other.m_target)), m_tempName(std::move(other.m_tempName)),
      m_fd(other.m_fd), m_error(other.m_error), m_direct(other.m_direct),
      m_anonymous(other.m_anonymous), m_done(other.m_done), m_mode(other.m_mode),
      m_keepMode(other.m_keepMode) {
    other.m_fd = -1;
    other.m_tempName.clear();
    other.m_done = true;
}

PendingFile::~PendingFile() {
    discard();
}

void PendingFile::fail(int code) {
    if (m_error == 0)
        m_error = code != 0 ? code : EIO;
}

int PendingFile::write(const void* data, std::size_t size) {
    return writeAt(data, size, -1);
}

// A negative offset appends.
int PendingFile::writeAt(const void* data, std::size_t size, std::int64_t offset) {
    if (m_error != 0 || m_done)
        return m_error != 0 ? m_error : EBADF;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = offset < 0 ? ::write(m_fd, p, size)
                                     : ::pwrite(m_fd, p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
            return m_error;
        }
        if (n == 0) {
            fail(EIO);
            return m_error;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        if (offset >= 0)
            offset += n;
    }
    return 0;
}

int PendingFile::commit() {
    if (m_done)
        return m_error != 0 ? m_error : EBADF;
    if (m_error != 0) {
        discard();
        return m_error;
    }
    if (m_direct) {
        if (::close(m_fd) != 0)
            fail(errno);
        m_fd = -1;
        m_done = true;
        return m_error;
    }
    if (::fsync(m_fd) != 0)
        fail(errno);
    if (m_error == 0 && m_anonymous) {
        // Give the file a name beside the target, then rename it over the
        // target: linkat never replaces an existing file.
        const std::string fdPath = "/proc/self/fd/" + std::to_string(m_fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_tempName =
                m_target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(g_serial++);
            if (::linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, m_tempName.c_str(),
                         AT_SYMLINK_FOLLOW) == 0)
                break;
            const int e = errno;
            m_tempName.clear();
            if (e != EEXIST) {
                fail(e);
                break;
            }
        }
        if (m_error == 0 && m_tempName.empty())
            fail(EEXIST);
    }
    if (::close(m_fd) != 0)
        fail(errno);
    m_fd = -1;
    if (m_error == 0 && std::rename(m_tempName.c_str(), m_target.c_str()) != 0)
        fail(errno);
    if (m_error != 0) {
        discard();
        return m_error;
    }
    m_tempName.clear();
    m_done = true;
    syncFolder(folderOf(m_target));
    return 0;
}

void PendingFile::discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_tempName.empty())
        ::unlink(m_tempName.c_str());
    m_tempName.clear();
    m_done = true;
}

int replaceFile(const std::string& path, std::string_view bytes) {
    PendingFile file(path);
    file.write(bytes);
    return file.commit();
}

int readRegularFile(const std::string& path, std::string& out, std::size_t maxBytes) {
    out.clear();
    // O_NONBLOCK: opening a FIFO with no writer must not wait for one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat st {};
    int e = 0;
    if (::fstat(fd, &st) != 0)
        e = errno;
    else if (!S_ISREG(st.st_mode))
        e = NotRegularFile;
    else if (static_cast<std::uint64_t>(st.st_size) > maxBytes)
        e = FileTooLarge;
    if (e == 0) {
        try {
            out.resize(static_cast<std::size_t>(st.st_size));
        } catch (...) {
            e = ENOMEM;
        }
    }
    std::size_t done = 0;
    while (e == 0) {
        if (done == out.size()) {
            // The file may have grown since fstat: one byte more says so.
            char extra = 0;
            const ssize_t n = ::read(fd, &extra, 1);
            if (n > 0)
                e = FileTooLarge;
            else if (n < 0 && errno != EINTR)
                e = errno;
            else if (n == 0)
                break;
            continue;
        }
        const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0) {
            if (errno != EINTR)
                e = errno;
            continue;
        }
        if (n == 0) {
            out.resize(done); // the file shrank while we read
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (e != 0)
        out.clear();
    return e;
}

bool missingOrRegular(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode);
}

int removeStaleTemporaries(const std::string& path) {
    const std::string target = resolvedTarget(path);
    const std::string prefix = baseOf(target) + ".tmp";
    const std::string folder = folderOf(target);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        // "<pid>-<serial>", digits only.
        const std::string rest = name.substr(prefix.size());
        const auto dash = rest.find('-');
        if (dash == std::string::npos || dash == 0 || dash + 1 == rest.size() ||
            rest.find_first_not_of("0123456789-") != std::string::npos ||
            rest.find('-', dash + 1) != std::string::npos || dash > 9)
            continue;
        const long pid = std::strtol(rest.substr(0, dash).c_str(), nullptr, 10);
        if (processRuns(pid))
            continue;
        const std::string full = folder + "/" + name;
        struct stat st {};
        if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(full.c_str()) == 0)
            ++removed;
    }
    return removed;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace fp
