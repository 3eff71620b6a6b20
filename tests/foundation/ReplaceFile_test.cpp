#include "foundation/ReplaceFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TempFolder {
    fs::path dir;
    TempFolder() {
        char pattern[] = "/tmp/fp-replace-XXXXXX";
        dir = ::mkdtemp(pattern);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string at(const std::string& name) const { return (dir / name).string(); }
};

std::string contentOf(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream all;
    all << f.rdbuf();
    return all.str();
}

void put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

int entriesIn(const fs::path& dir) {
    return static_cast<int>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

// What lies at the target decides what a replacement does; afterwards the
// folder holds no temporary file in any case.
TEST(ReplaceFileTest, TargetsOfEveryKind) {
    enum class Kind { Missing, Regular0600, Link, Fifo, Folder, NonUtf8Name };
    struct Case {
        Kind kind;
        int expected;
    };
    for (const Case c : {Case{Kind::Missing, 0}, Case{Kind::Regular0600, 0}, Case{Kind::Link, 0},
                         Case{Kind::Fifo, fp::NotRegularFile},
                         Case{Kind::Folder, fp::NotRegularFile}, Case{Kind::NonUtf8Name, 0}}) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        TempFolder t;
        std::string target = t.at("out.dat");
        std::string written = target;
        switch (c.kind) {
        case Kind::Missing:
            break;
        case Kind::Regular0600:
            put(target, "old");
            ::chmod(target.c_str(), 0600);
            break;
        case Kind::Link:
            put(t.at("real.dat"), "old");
            fs::create_symlink("real.dat", target);
            written = t.at("real.dat");
            break;
        case Kind::Fifo:
            ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
            break;
        case Kind::Folder:
            fs::create_directory(target);
            break;
        case Kind::NonUtf8Name:
            target = written = t.at("b\xE4r\xFF.dat");
            break;
        }
        const int before = entriesIn(t.dir);
        EXPECT_EQ(fp::replaceFile(target, "new bytes"), c.expected);
        EXPECT_EQ(entriesIn(t.dir),
                  before + (c.kind == Kind::Missing || c.kind == Kind::NonUtf8Name ? 1 : 0));
        if (c.expected != 0)
            continue;
        EXPECT_EQ(contentOf(written), "new bytes");
        if (c.kind == Kind::Regular0600) {
            EXPECT_EQ(modeOf(target), 0600u);
        }
        if (c.kind == Kind::Link) {
            EXPECT_TRUE(fs::is_symlink(target));
        }
    }
}

TEST(ReplaceFileTest, CharacterDeviceIsWrittenInPlace) {
    EXPECT_EQ(fp::replaceFile("/dev/null", "discarded"), 0);
}

// A replacement that fails or is dropped leaves the old file as it was and
// no temporary file beside it.
TEST(ReplaceFileTest, FailedOrDiscardedReplacementKeepsTheOldFile) {
    TempFolder t;
    const std::string target = t.at("keep.dat");
    put(target, "good");
    {
        fp::PendingFile f(target);
        ASSERT_EQ(f.error(), 0);
        f.write("half");
    } // dropped without commit
    {
        fp::PendingFile f(target);
        f.write("half");
        f.fail(ENOSPC);
        EXPECT_EQ(f.commit(), ENOSPC);
    }
    EXPECT_EQ(contentOf(target), "good");
    EXPECT_EQ(entriesIn(t.dir), 1);
    EXPECT_EQ(fp::replaceFile(t.at("no/such/folder/x.dat"), "x"), ENOENT);
}

TEST(ReplaceFileTest, ReadingRefusesWhatIsNoRegularFileWithoutBlocking) {
    TempFolder t;
    put(t.at("small"), "12345");
    ASSERT_EQ(::mkfifo(t.at("fifo").c_str(), 0600), 0);
    fs::create_directory(t.at("folder"));
    struct Case {
        std::string path;
        std::size_t max;
        int expected;
        std::string content;
    };
    for (const Case& c :
         {Case{t.at("small"), 5, 0, "12345"}, Case{t.at("small"), 4, fp::FileTooLarge, ""},
          Case{t.at("fifo"), 100, fp::NotRegularFile, ""},
          Case{t.at("folder"), 100, fp::NotRegularFile, ""},
          Case{t.at("missing"), 100, ENOENT, ""}}) {
        SCOPED_TRACE(c.path);
        std::string out = "stale";
        EXPECT_EQ(fp::readRegularFile(c.path, out, c.max), c.expected);
        EXPECT_EQ(out, c.content);
    }
    EXPECT_TRUE(fp::missingOrRegular(t.at("small")));
    EXPECT_TRUE(fp::missingOrRegular(t.at("missing")));
    EXPECT_FALSE(fp::missingOrRegular(t.at("fifo")));
}

// Only temporary files of processes that no longer run go; a live process's
// file and files that merely look alike stay.
TEST(ReplaceFileTest, StaleTemporariesOfDeadProcessesAreRemoved) {
    TempFolder t;
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child);
    const std::string live = std::to_string(::getpid());
    const std::string target = t.at("translate.dat");
    put(target, "dictionary");
    put(target + ".tmp" + dead + "-0", "left by a kill");
    put(target + ".tmp" + dead + "-17", "left by a kill");
    put(target + ".tmp" + live + "-3", "being written now");
    put(target + ".tmpnotes", "a user's file");
    put(t.at("other.dat.tmp" + dead + "-0"), "another file's");
    EXPECT_EQ(fp::removeStaleTemporaries(target), 2);
    EXPECT_EQ(entriesIn(t.dir), 4);
    EXPECT_TRUE(fs::exists(target + ".tmp" + live + "-3"));
}
