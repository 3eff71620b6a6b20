// The program's folder of an installed program, started through a symbolic
// link, and the check whether the dictionary can be saved there.

#include "TestSupport.h"
#include "app/ProgramFolder.h"
#include "app/Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// An installed tree: the real program in lib/fassadenplan/ and links to it
// the way a package, a user or a distribution might make them.
class InstalledTree : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        // The temporary folder may itself lie behind a link.
        m_root = QFileInfo(m_dir.path()).canonicalFilePath();
        ASSERT_FALSE(m_root.isEmpty());
        QDir root(m_root);
        ASSERT_TRUE(root.mkpath("lib/fassadenplan"));
        ASSERT_TRUE(root.mkpath("bin"));
        ASSERT_TRUE(root.mkpath("abs"));
        ASSERT_TRUE(root.mkpath("chain"));
        ASSERT_TRUE(root.mkpath("dangling"));
        testsupport::writeFile(path("lib/fassadenplan/fassadenplan"), {0x7F, 'E', 'L', 'F'});
        link("../lib/fassadenplan/fassadenplan", "bin/fassadenplan");
        link(path("lib/fassadenplan/fassadenplan"), "abs/fassadenplan");
        link("../bin/fassadenplan", "chain/fassadenplan");
        link("lib/fassadenplan", "linkdir");
        link("../nowhere/fassadenplan", "dangling/fassadenplan");
    }

    std::string path(const std::string& rel) const {
        return (m_root + QLatin1Char('/') + QString::fromStdString(rel)).toStdString();
    }
    std::string root() const { return m_root.toStdString(); }

private:
    void link(const std::string& target, const std::string& rel) {
        ASSERT_EQ(::symlink(target.c_str(), path(rel).c_str()), 0) << rel;
    }

    QTemporaryDir m_dir;
    QString m_root;
};

struct LinkCase {
    const char* name;
    const char* started; // relative to the tree
    const char* real;    // relative to the tree; nullptr: comes back unchanged
};
void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << c.name;
}

class ProgramLink : public InstalledTree, public testing::WithParamInterface<LinkCase> {};

TEST_P(ProgramLink, ResolvesToTheRealProgramFile) {
    const std::string started = path(GetParam().started);
    const std::string expected = GetParam().real ? path(GetParam().real) : started;
    EXPECT_EQ(app::resolveProgramFile(started), expected);
}

TEST_P(ProgramLink, MakesTheWorkspaceFolderTheRealProgramFolder) {
    const std::string started = path(GetParam().started);
    std::string expected = GetParam().real ? path(GetParam().real) : started;
    expected.erase(expected.find_last_of('/') + 1);
    app::Workspace ws;
    ws.createWorkspace(started);
    EXPECT_EQ(ws.progpath, expected);
}

INSTANTIATE_TEST_SUITE_P(
    ProgramFolder, ProgramLink,
    testing::Values(
        LinkCase{"RealFile", "lib/fassadenplan/fassadenplan", "lib/fassadenplan/fassadenplan"},
        LinkCase{"RelativeLinkInBin", "bin/fassadenplan", "lib/fassadenplan/fassadenplan"},
        LinkCase{"AbsoluteLink", "abs/fassadenplan", "lib/fassadenplan/fassadenplan"},
        LinkCase{"LinkToALink", "chain/fassadenplan", "lib/fassadenplan/fassadenplan"},
        LinkCase{"LinkedFolderOnTheWay", "linkdir/fassadenplan", "lib/fassadenplan/fassadenplan"},
        LinkCase{"DotsOnTheWay", "bin/../lib/./fassadenplan/fassadenplan",
                 "lib/fassadenplan/fassadenplan"},
        LinkCase{"DanglingLink", "dangling/fassadenplan", nullptr},
        LinkCase{"MissingFile", "nowhere/fassadenplan", nullptr}),
    [](const testing::TestParamInfo<LinkCase>& p) { return std::string(p.param.name); });

TEST(ProgramFolder, EmptyProgramPathStaysEmpty) {
    EXPECT_EQ(app::resolveProgramFile(""), "");
}

// ---------------------------------------------------------------- writable

struct FolderCase {
    const char* name;
    std::string (*make)(const QTemporaryDir& dir); // the folder to check
    bool writable;
};
void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.name;
}

std::string sub(const QTemporaryDir& dir, const char* rel) {
    return (dir.path() + QLatin1Char('/') + QLatin1String(rel)).toStdString();
}

class FolderWritable : public testing::TestWithParam<FolderCase> {};

TEST_P(FolderWritable, TellsWhetherANewFileCanBeCreatedAndLeavesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = GetParam().make(dir);
    const std::vector<std::string> before = testsupport::listTree(dir.path().toStdString());
    EXPECT_EQ(app::programFolderWritable(folder), GetParam().writable);
    // The probe file is gone again, and no folder was created.
    EXPECT_EQ(testsupport::listTree(dir.path().toStdString()), before);
}

INSTANTIATE_TEST_SUITE_P(
    ProgramFolder, FolderWritable,
    testing::Values(FolderCase{"FolderWithSlash",
                               [](const QTemporaryDir& d) { return d.path().toStdString() + "/"; },
                               true},
                    FolderCase{"FolderWithoutSlash",
                               [](const QTemporaryDir& d) { return d.path().toStdString(); }, true},
                    FolderCase{"MissingFolder",
                               [](const QTemporaryDir& d) { return sub(d, "absent/"); }, false},
                    FolderCase{"RegularFile",
                               [](const QTemporaryDir& d) {
                                   testsupport::writeFile(sub(d, "file"), {1});
                                   return sub(d, "file") + "/";
                               },
                               false},
                    // No new files in the process file system, whoever asks.
                    FolderCase{"FolderOfTheKernel",
                               [](const QTemporaryDir&) { return std::string("/proc/"); }, false}),
    [](const testing::TestParamInfo<FolderCase>& p) { return std::string(p.param.name); });

TEST(ProgramFolder, WriteProtectedFolderRefusesAllButTheSuperUser) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = sub(dir, "lib/");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    testsupport::writeFile(folder + "translate.dat", {0, 0, 0, 0});
    ASSERT_TRUE(QFile::setPermissions(QString::fromStdString(folder),
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                          QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    // The super-user may create files in any folder of a writable file system.
    EXPECT_EQ(app::programFolderWritable(folder), ::geteuid() == 0);
    EXPECT_EQ(testsupport::listTree(folder), std::vector<std::string>{"translate.dat"});
    QFile::setPermissions(QString::fromStdString(folder),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

namespace {

// The dictionary's own file decides as well: a write-protected translate.dat
// is never replaced.
struct DictionaryCase {
    const char* name;
    bool haveFile;
    bool fileWritable;
    bool savableAsUser; // the super-user may write any file of a writable folder
};
void PrintTo(const DictionaryCase& c, std::ostream* os) {
    *os << c.name;
}

class DictionarySavable : public testing::TestWithParam<DictionaryCase> {};

TEST_P(DictionarySavable, FollowsTheFolderAndTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string progpath = dir.path().toStdString() + "/";
    const QString file = dir.path() + QStringLiteral("/translate.dat");
    if (GetParam().haveFile) {
        testsupport::writeFile(file.toStdString(), {20, 0, 0, 0, 0, 0, 0, 0});
        if (!GetParam().fileWritable) {
            ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));
        }
    }
    const bool expected = GetParam().savableAsUser || ::geteuid() == 0;
    EXPECT_EQ(app::dictionarySavable(progpath), expected);
    EXPECT_EQ(app::dictionarySavable(dir.path().toStdString()), expected) << "without the slash";
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
}

INSTANTIATE_TEST_SUITE_P(
    ProgramFolder, DictionarySavable,
    testing::Values(DictionaryCase{"NoDictionaryYet", false, false, true},
                    DictionaryCase{"WritableDictionary", true, true, true},
                    DictionaryCase{"WriteProtectedDictionary", true, false, false}),
    [](const testing::TestParamInfo<DictionaryCase>& p) { return std::string(p.param.name); });

TEST(ProgramFolder, DictionaryInAFolderWithoutNewFilesIsNotSavable) {
    EXPECT_FALSE(app::dictionarySavable("/proc/"));
    EXPECT_FALSE(app::dictionarySavable("/nonexistent-fassadenplan-folder/"));
}

} // namespace
