#include "DictTestSupport.h"
#include "testsupport/CaseNames.h"

#include "i18n/Dictionary.h"
#include "i18n/DictionaryFile.h"
#include "i18n/DictionaryReference.h"
#include "testsupport/ChildProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace dicttest;
using i18n::Translate;

namespace {

using DictionaryTest = DictFolder;

struct LookupCase {
    const char* name;
    int language;
    std::u16string input;
    std::u16string expected;
};

class LookupTest : public DictFolder, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(LookupTest, FoundTexts) {
    const LookupCase c = GetParam();
    language = c.language;
    std::vector<Row> rows = {{u"Datei", u"File", u"Fichier"},
                             {u"Bild 1", u""},
                             {u"Drehen", u"  Turn\r\n", u"\tTourner "}};
    Row wide(20);
    wide[0] = u"Hilfe";
    wide[19] = u"Column nineteen";
    rows.push_back(wide);
    loadWith(20, rows, &language);
    const std::string before = readFile(file());

    EXPECT_EQ(Translate(c.input), c.expected);
    // A found text neither adds a row nor touches the file.
    EXPECT_EQ(i18n::DictionaryRows().count(), rows.size());
    EXPECT_EQ(readFile(file()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LookupTest,
    ::testing::Values(LookupCase{"Padded", 1, u" Datei ", u" File "},
                      LookupCase{"Plain", 1, u"Datei", u"File"},
                      LookupCase{"ManyBlanks", 1, u"   Datei  ", u"   File  "},
                      LookupCase{"French", 2, u"Datei", u"Fichier"},
                      LookupCase{"EmptyTranslationKeepsText", 1, u" Bild 1", u" Bild 1"},
                      LookupCase{"GermanColumnRepadded", 0, u"  Datei ", u"  Datei "},
                      LookupCase{"TranslationTrimmedOfControls", 1, u" Drehen", u" Turn"},
                      LookupCase{"TabsAreTrimmedToo", 2, u"Drehen ", u"Tourner "},
                      LookupCase{"LastColumn", 19, u"Hilfe", u"Column nineteen"},
                      LookupCase{"LanguageTooHighIsGerman", 20, u"Datei", u"Datei"},
                      LookupCase{"NegativeLanguageIsGerman", -1, u"Datei", u"Datei"},
                      LookupCase{"HugeLanguageIsGerman", 1 << 30, u"Hilfe", u"Hilfe"},
                      LookupCase{"EmptyText", 1, u"", u""}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(DictionaryTest, UnknownCaseIsLearntAndSavedAtOnce) {
    loadWith(20, {{u"Datei", u"File"}}, &language);
    EXPECT_EQ(Translate(u" datei"), u" datei");
    ASSERT_EQ(i18n::DictionaryRows().count(), 2u);
    EXPECT_EQ(i18n::DictionaryRows()[1].cell[0], u"datei");
    EXPECT_EQ(i18n::CurrentDictRow(), &i18n::DictionaryRows()[1]);

    const ParsedDict p = saved();
    EXPECT_EQ(p.c, 20);
    ASSERT_EQ(p.n, 2);
    EXPECT_EQ(p.rows[0][1], u"File");
    EXPECT_EQ(p.rows[1][0], u"datei");
    for (int i = 1; i < 20; ++i)
        EXPECT_TRUE(p.rows[1][static_cast<std::size_t>(i)].empty());

    // The learnt text is found from now on (a second lookup adds nothing).
    EXPECT_EQ(Translate(u"datei"), u"datei");
    EXPECT_EQ(i18n::DictionaryRows().count(), 2u);
}

TEST_F(DictionaryTest, BlanksOnlyAddRowWithoutIndexOrSave) {
    loadWith(20, {{u"Datei", u"File"}}, &language);
    const std::string before = readFile(file());
    EXPECT_EQ(Translate(u"   "), u"   ");
    ASSERT_EQ(i18n::DictionaryRows().count(), 2u);
    for (const auto& cell : i18n::DictionaryRows()[1].cell)
        EXPECT_TRUE(cell.empty());
    EXPECT_EQ(readFile(file()), before);
    EXPECT_EQ(i18n::DictionaryBucket(' ').count(), 0u);
    // A second time appends another row: blanks are never found.
    EXPECT_EQ(Translate(u" "), u" ");
    EXPECT_EQ(i18n::DictionaryRows().count(), 3u);
}

class EmptyDictionaryTest : public DictFolder, public ::testing::WithParamInterface<int> {};

TEST_P(EmptyDictionaryTest, FirstLookupCreatesTheFile) {
    language = GetParam();
    load(&language);
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_EQ(Translate(u"Hilfe"), u"Hilfe");
    const ParsedDict p = saved();
    EXPECT_EQ(p.c, 20);
    ASSERT_EQ(p.n, 1);
    ASSERT_EQ(p.rows[0].size(), 20u);
    EXPECT_EQ(p.rows[0][0], u"Hilfe");
    for (std::size_t i = 1; i < 20; ++i)
        EXPECT_TRUE(p.rows[0][i].empty());
    // No temporary file stays behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              1);
}

INSTANTIATE_TEST_SUITE_P(Languages, EmptyDictionaryTest, ::testing::Values(0, 1, 19, 20, -5),
                         testsupport::numbered<int>("Language"));

TEST_F(DictionaryTest, TwentyTwoColumnsLoseTheExtraOnesAtTheNextSave) {
    Row r(22);
    r[0] = u"Datei";
    r[1] = u"File";
    r[19] = u"nineteen";
    r[20] = u"twenty";
    r[21] = u"twenty-one";
    loadWith(22, {r, {u"Bild", u"Image"}}, &language);
    EXPECT_EQ(Translate(u"Bild"), u"Image");
    EXPECT_EQ(i18n::DictionaryRows()[0].cell[19], u"nineteen");

    Translate(u"Neu"); // learning saves
    const ParsedDict p = saved();
    EXPECT_EQ(p.c, 20);
    ASSERT_EQ(p.n, 3);
    EXPECT_EQ(p.rows[0], Row(r.begin(), r.begin() + 20));
    EXPECT_EQ(p.rows[1][1], u"Image");
}

TEST_F(DictionaryTest, TwoColumnsLeaveTheOtherCellsEmpty) {
    language = 2;
    loadWith(2, {{u"Datei", u"File"}, {u"Bild", u"Image"}}, &language);
    EXPECT_EQ(Translate(u"Datei"), u"Datei"); // no French
    language = 1;
    EXPECT_EQ(Translate(u"Bild"), u"Image");
    for (const auto& row : i18n::DictionaryRows())
        for (int i = 2; i < 20; ++i)
            EXPECT_TRUE(row.cell[i].empty());
}

TEST_F(DictionaryTest, LanguageIsReadThroughThePointerOnEveryLookup) {
    loadWith(20, {{u"Datei", u"File"}}, &language);
    EXPECT_EQ(Translate(u"Datei"), u"File");
    language = 0;
    EXPECT_EQ(Translate(u"Datei"), u"Datei");
    i18n::LoadDictionary(progpath, nullptr);
    EXPECT_EQ(Translate(u"Datei"), u"Datei");
}

// The bucket is sorted by the middle-pivot partition sort; for equal keys
// the lookup returns the row whose entry comes first afterwards.
struct DuplicateCase {
    const char* name;
    std::vector<Row> rows;
    std::u16string expected;
};

class DuplicateTest : public DictFolder, public ::testing::WithParamInterface<DuplicateCase> {};

TEST_P(DuplicateTest, FirstEntryAfterSortingWins) {
    loadWith(20, GetParam().rows, &language);
    EXPECT_EQ(Translate(u"Ab"), GetParam().expected);
    EXPECT_EQ(i18n::TranslateReference(u"Ab"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Buckets, DuplicateTest,
    ::testing::Values(
        // [(Ab,0),(Ab,1)]: the pivot is entry 0 and the only exchange swaps them.
        DuplicateCase{"Two", {{u"Ab", u"one"}, {u"Ab", u"two"}}, u"two"},
        // [(Ab,0),(Ab,1),(Ab,2)]: entries 0 and 2 swap, entry 1 stays.
        DuplicateCase{"Three", {{u"Ab", u"one"}, {u"Ab", u"two"}, {u"Ab", u"three"}}, u"three"},
        // [0,1,2,3] all equal: 0/3 and 1/2 swap, then each half swaps: [2,3,0,1].
        DuplicateCase{"Four",
                      {{u"Ab", u"one"}, {u"Ab", u"two"}, {u"Ab", u"three"}, {u"Ab", u"four"}},
                      u"three"},
        // [(Ax,0),(Ab,1),(A,2),(Ab,3)] ends as [(A,2),(Ab,3),(Ab,1),(Ax,0)].
        DuplicateCase{
            "Mixed", {{u"Ax", u"x"}, {u"Ab", u"one"}, {u"A", u"a"}, {u"Ab", u"two"}}, u"two"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(DictionaryTest, SortingABucketAgainChangesWhichDuplicateComesFirst) {
    loadWith(20, {{u"Ab", u"one"}, {u"Ab", u"two"}}, &language);
    ASSERT_EQ(Translate(u"Ab"), u"two");
    i18n::SortBucket('A', 0, 1); // the exchange puts row 0 first again
    EXPECT_EQ(i18n::DictionaryBucket('A')[0].row, 0);
    EXPECT_EQ(Translate(u"Ab"), u"one");
    EXPECT_EQ(i18n::TranslateReference(u"Ab"), u"one");
    i18n::SortBucket('A', 0, 5); // out of range: ignored
    i18n::SortBucket(256, 0, 1);
    EXPECT_EQ(Translate(u"Ab"), u"one");
}

TEST_F(DictionaryTest, BucketsAreSortedOrdinallyAndShareTheLowByte) {
    // U+0141 and U+0041 share bucket 65; lower case sorts after upper case
    // and a text before every longer one that begins with it.
    loadWith(20, {{u"Ab"}, {u"\u0141x"}, {u"a"}, {u"A"}, {u"AB"}, {u"Abc"}, {u"B"}, {u"\u0100"}},
             &language);
    const auto& b = i18n::DictionaryBucket(65);
    std::vector<std::u16string> keys;
    for (const auto& e : b)
        keys.push_back(e.key);
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"A", u"AB", u"Ab", u"Abc", u"\u0141x"}));
    EXPECT_EQ(i18n::DictionaryBucket(0).count(), 1u); // U+0100
    EXPECT_EQ(i18n::DictionaryBucket(97).count(), 1u);
    for (const auto& e : b)
        EXPECT_EQ(i18n::DictionaryRows()[static_cast<std::uint32_t>(e.row)].cell[0], e.key);
}

TEST_F(DictionaryTest, DeletedRowFoundThroughTheIndexGivesTheTextBack) {
    loadWith(20, {{u"Datei", u"File"}, {u"Bild", u"Image"}}, &language);
    i18n::DictionaryRows().Delete(1); // as the editor does during the run
    EXPECT_EQ(Translate(u" Bild"), u" Bild");
    EXPECT_EQ(i18n::DictionaryRows().count(), 1u); // not learnt again
    EXPECT_EQ(Translate(u"Datei"), u"File");
}

TEST_F(DictionaryTest, RowsBehindARowDeletedInTheEditorKeepTheirOwnTranslation) {
    loadWith(
        20,
        {{u"Datei", u"File"}, {u"Bild", u"Image"}, {u"Bearbeiten", u"Edit"}, {u"Hilfe", u"Help"}},
        &language);
    i18n::DeleteDictionaryRow(1);
    ASSERT_EQ(i18n::DictionaryRows().count(), 3u);
    EXPECT_EQ(Translate(u"Bild"), u"Bild");
    EXPECT_EQ(Translate(u"Bearbeiten"), u"Edit");
    EXPECT_EQ(Translate(u"Hilfe"), u"Help");
    EXPECT_EQ(Translate(u"Datei"), u"File");
    EXPECT_EQ(i18n::DictionaryRows().count(), 3u); // nothing learnt again
    i18n::DeleteDictionaryRow(3);                  // out of range: ignored
    i18n::DeleteDictionaryRow(-1);
    EXPECT_EQ(i18n::DictionaryRows().count(), 3u);
}

TEST_F(DictionaryTest, SaveAndLoadRoundTrip) {
    std::vector<Row> rows = {{u"Übersetzen", u"Translate", u"Traduire", u"Vertalen"},
                             {u"Zeile löchen", u"Delete row"},
                             {u"", u"orphan translation"}};
    Row full(20);
    for (std::size_t i = 0; i < 20; ++i)
        full[i] = u"c" + std::u16string(i + 1, u'\u00E4');
    rows.push_back(full);
    loadWith(20, rows, &language);
    i18n::DictionaryRows()[1].cell[2] = u"Supprimer la ligne";
    i18n::SaveDictionary();
    rows[1].resize(3);
    rows[1][2] = u"Supprimer la ligne";

    i18n::ResetDictionary();
    load(&language);
    ASSERT_EQ(i18n::DictionaryRows().count(), rows.size());
    for (std::uint32_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < 20; ++c)
            EXPECT_EQ(i18n::DictionaryRows()[r].cell[c],
                      c < rows[r].size() ? rows[r][c] : std::u16string())
                << r << "/" << c;
    // The row without a German text has no index entry.
    EXPECT_EQ(Translate(u"Zeile löchen"), u"Delete row");
}

TEST_F(DictionaryTest, NewFileGetsTheUsualModeOfNewFiles) {
    load(&language);
    const mode_t old = ::umask(022);
    Translate(u"Neu");
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(DictionaryTest, SaveKeepsTheFileMode) {
    loadWith(20, {{u"Datei", u"File"}}, &language);
    ASSERT_EQ(::chmod(file().c_str(), 0640), 0);
    Translate(u"Neu");
    struct stat st {};
    ASSERT_EQ(::stat(file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(DictionaryTest, UnwritableFolderKeepsRowsInMemory) {
    // A program folder that is a file's name: nothing can be created there,
    // even for root.
    writeFile(dir / "notafolder", "x");
    i18n::LoadDictionary((dir / "notafolder").string() + "/", &language);
    EXPECT_EQ(Translate(u"Hilfe"), u"Hilfe");
    EXPECT_EQ(Translate(u"Hilfe"), u"Hilfe");
    EXPECT_EQ(i18n::DictionaryRows().count(), 1u);
    EXPECT_EQ(readFile(dir / "notafolder"), "x");
}

TEST_F(DictionaryTest, WriteProtectedFolderAndFileAreLeftAlone) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    loadWith(20, {{u"Datei", u"File"}}, &language);
    const std::string before = readFile(file());
    ASSERT_EQ(::chmod(file().c_str(), 0444), 0);
    Translate(u"Neu");
    EXPECT_EQ(readFile(file()), before);
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    Translate(u"Neuer");
    EXPECT_EQ(i18n::DictionaryRows().count(), 3u);
}

TEST_F(DictionaryTest, BeforeLoadingNothingIsLearnt) {
    EXPECT_EQ(Translate(u"Datei"), u"Datei");
    EXPECT_EQ(i18n::DictionaryRows().count(), 0u);
    EXPECT_EQ(i18n::DictionaryPath(), "");
    load(&language);
    EXPECT_EQ(i18n::DictionaryPath(), progpath + "translate.dat");
}

// The indexed lookup (binary search in the sorted part) and the plain linear
// one agree on every text, including duplicates and entries learnt later.
TEST_F(DictionaryTest, IndexedLookupMatchesTheLinearReference) {
    std::vector<Row> rows;
    for (int i = 0; i < 3000; ++i) {
        const int k = (i * 7919) % 1200; // about 1800 duplicates of earlier keys
        std::u16string key = std::u16string(1, static_cast<char16_t>(u'A' + k % 40)) + u"text " +
                             std::u16string(static_cast<std::size_t>(k % 5), u'~') +
                             static_cast<char16_t>(u'0' + k % 10) +
                             static_cast<char16_t>(u'a' + k / 40 % 26);
        rows.push_back({key, u"t" + key + u"#" + static_cast<char16_t>(u'0' + i % 10)});
    }
    loadWith(20, rows, &language);
    Translate(u"Atext late"); // learnt entries follow unsorted
    Translate(u"Atext 0a");
    Translate(u"Atext earlier");
    for (const Row& r : rows) {
        ASSERT_EQ(Translate(r[0]), i18n::TranslateReference(r[0]))
            << std::string(r[0].begin(), r[0].end());
        ASSERT_EQ(Translate(u" " + r[0]), i18n::TranslateReference(u" " + r[0]));
    }
    EXPECT_EQ(Translate(u"Atext late"), i18n::TranslateReference(u"Atext late"));
    EXPECT_EQ(Translate(u"Atext earlier"), i18n::TranslateReference(u"Atext earlier"));
}

// ---- damaged files -------------------------------------------------------

std::vector<Row> smallRows() {
    return {{u"Datei", u"File"},
            {u"Bild \u00F6ffnen...", u"Open image...", u"", u"Beeld"},
            {u"Hilfe", u"Help"}};
}

// The dictionary stays usable: the rows read completely so far are there and
// translate, all buckets take new texts, and the file is written afresh.
void expectUsable(std::size_t completeRows, const std::string& fileName) {
    const std::vector<Row> rows = smallRows();
    ASSERT_EQ(i18n::DictionaryRows().count(), completeRows);
    for (std::size_t r = 0; r < completeRows; ++r)
        EXPECT_EQ(Translate(rows[r][0]), rows[r][1]);
    for (int b = 0; b < 256; ++b)
        ASSERT_GE(i18n::DictionaryBucket(b).count(), 0u);
    EXPECT_EQ(Translate(u"\u00FFneu"), u"\u00FFneu");
    const ParsedDict p = parseDict(readFile(fileName));
    EXPECT_EQ(p.n, static_cast<std::int32_t>(completeRows + 1));
}

TEST_F(DictionaryTest, FileCutAtEveryByte) {
    const std::vector<Row> rows = smallRows();
    const std::string whole = dictBytes(20, rows);
    std::vector<std::size_t> rowEnds;
    for (std::size_t r = 1; r <= rows.size(); ++r)
        rowEnds.push_back(
            dictBytes(20, {rows.begin(), rows.begin() + static_cast<long>(r)}).size());
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        writeFile(file(), whole.substr(0, cut));
        load(&language);
        std::size_t complete = 0;
        while (complete < rowEnds.size() && rowEnds[complete] <= cut)
            ++complete;
        expectUsable(complete, file().string());
    }
}

// A FIFO, folder or device where translate.dat belongs is not read and
// never waited for; the dictionary works without it, and the save leaves it
// alone. In a child process with an alarm, so that a regression ends the
// case instead of hanging the suite.
TEST_F(DictionaryTest, SpecialFilesInPlaceOfTheDictionaryAreRefusedAtOnce) {
    struct Case {
        const char* what;
        std::function<bool(const std::string&)> make;
    };
    const std::vector<Case> cases{
        {"fifo", [](const std::string& p) { return ::mkfifo(p.c_str(), 0600) == 0; }},
        {"folder", [](const std::string& p) { return ::mkdir(p.c_str(), 0700) == 0; }},
        {"device", [](const std::string& p) { return ::symlink("/dev/zero", p.c_str()) == 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(file());
        ASSERT_TRUE(c.make(file().string()));
        const testsupport::ChildEnd end = testsupport::runLimited(
            [&] {
                ::alarm(10);
                load(&language);
                const bool refused =
                    i18n::DictionaryLoadState().state == i18n::DictionaryFileState::Unreadable &&
                    i18n::DictionaryRows().count() == 0;
                const bool works =
                    Translate(u"Hilfe") == u"Hilfe" && i18n::DictionaryRows().count() == 1;
                return refused && works ? 0 : 1;
            },
            0, 20);
        EXPECT_TRUE(end.exited && end.code == 0) << end.describe();
        EXPECT_FALSE(std::filesystem::is_regular_file(std::filesystem::symlink_status(file())));
    }
}

// The codes of the free columns follow the rows; a dictionary without them
// is the plain layout, and a damaged code block costs the codes only.
TEST_F(DictionaryTest, LanguageCodesOfFreeColumnsSurviveASave) {
    const std::vector<Row> rows{{u"Datei", u"File", u"Fichier", u"", u"", u"Arquivo"}};
    loadWith(20, rows, &language);
    EXPECT_EQ(i18n::ColumnCode(2), "fr");
    EXPECT_EQ(i18n::ColumnCode(5), "");
    EXPECT_FALSE(i18n::SetColumnCode(2, "es")); // the table's columns keep theirs
    EXPECT_FALSE(i18n::SetColumnCode(5, "Portuguese"));
    ASSERT_TRUE(i18n::SetColumnCode(5, "PT-br"));
    ASSERT_EQ(i18n::SaveDictionary(), 0);
    const std::string plain = dictBytes(20, rows);
    const std::string withCodes = readFile(file());
    ASSERT_GT(withCodes.size(), plain.size());
    EXPECT_EQ(withCodes.substr(0, plain.size()), plain); // rows as before, codes behind

    load(&language);
    EXPECT_EQ(i18n::DictionaryLoadState().state, i18n::DictionaryFileState::Complete);
    EXPECT_EQ(i18n::ColumnCode(5), "pt_BR");
    EXPECT_EQ(i18n::ColumnOfCode("pt"), 5);
    EXPECT_EQ(i18n::ColumnOfCode("fr_CA"), 2);
    EXPECT_EQ(i18n::ColumnOfCode("es"), -1);

    const std::string codes = withCodes.substr(plain.size());
    std::string wrongTag = codes;
    wrongTag[5] ^= 1;
    std::string badCode;
    putText(badCode, u"#language-codes");
    putI32(badCode, 6);
    for (int c = 0; c < 6; ++c)
        putText(badCode, c == 5 ? u"p t" : u"");
    for (const std::string& tail :
         {codes.substr(0, codes.size() - 3), wrongTag, badCode, std::string("junk")}) {
        writeFile(file(), plain + tail);
        load(&language);
        EXPECT_EQ(i18n::DictionaryLoadState().state, i18n::DictionaryFileState::Complete);
        EXPECT_EQ(i18n::ColumnCode(5), "");
        EXPECT_EQ(Translate(u"Datei"), u"File");
    }
}

// A process killed again and again in the middle of saving a large
// dictionary leaves translate.dat as one whole version, old or new, and no
// temporary file after the next start.
TEST_F(DictionaryTest, KillDuringSavesLeavesAWholeVersionAndNoTemporaryFile) {
    constexpr int Rows = 8000;
    // Version v of round r: every row's English cell says "r.v".
    auto version = [](int r, int v) {
        std::u16string text;
        for (char ch : std::to_string(r) + "." + std::to_string(v))
            text.push_back(static_cast<char16_t>(ch));
        return text;
    };
    std::vector<Row> rows;
    for (int i = 0; i < Rows; ++i) {
        std::u16string german = u"Text ";
        for (char ch : std::to_string(i))
            german.push_back(static_cast<char16_t>(ch));
        rows.push_back({german, version(0, 0), u"une traduction un peu plus longue"});
    }
    writeFile(file(), dictBytes(20, rows));
    // How long a save takes here, so that the kills land inside one.
    load(&language);
    const auto t1 = std::chrono::steady_clock::now();
    ASSERT_EQ(i18n::SaveDictionary(), 0);
    const auto t2 = std::chrono::steady_clock::now();
    const auto us = [](auto d) {
        return std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    };
    for (int round = 1; round <= 30; ++round) {
        SCOPED_TRACE(round);
        // The child reports every finished save through the pipe.
        int saved[2];
        ASSERT_EQ(::pipe(saved), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(saved[0]);
            load(&language);
            for (int v = 1;; ++v) {
                for (std::uint32_t r = 0; r < i18n::DictionaryRows().count(); ++r)
                    i18n::DictionaryRows()[r].cell[1] = version(round, v);
                i18n::SaveDictionary();
                if (::write(saved[1], "s", 1) != 1)
                    ::_exit(1);
            }
        }
        ::close(saved[1]);
        // After one to three saves, somewhere inside the next one.
        char report = 0;
        for (int k = 0; k <= round % 3; ++k)
            ASSERT_EQ(::read(saved[0], &report, 1), 1);
        ::usleep(static_cast<useconds_t>(us(t2 - t1) * (round % 5) / 4));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(saved[0]);

        load(&language);
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"translate.dat"});
        const ParsedDict p = parseDict(readFile(file()));
        ASSERT_EQ(p.n, Rows);
        const std::u16string first = p.rows[0][1];
        for (const Row& r : p.rows)
            ASSERT_EQ(r[1], first) << "a mixture of two versions";
        EXPECT_EQ(p.rows[Rows - 1][0], rows[Rows - 1][0]);
        // A version this round's child saved.
        const std::u16string thisRound = version(round, 0).substr(0, version(round, 0).find(u'.'));
        EXPECT_EQ(first.substr(0, first.find(u'.')), thisRound);
    }
}

struct DamagedCase {
    const char* name;
    std::string data;
    std::size_t rows;
};

class DamagedFileTest : public DictFolder, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedFileTest, RowsSoFarStayAndTheDictionaryWorks) {
    writeFile(file(), GetParam().data);
    load(&language);
    expectUsable(GetParam().rows, file().string());
}

std::string withHeader(std::int32_t c, std::int32_t n, std::size_t validRows) {
    const std::vector<Row> rows = smallRows();
    std::string d = dictBytes(20, {rows.begin(), rows.begin() + static_cast<long>(validRows)});
    std::string h;
    putI32(h, c);
    putI32(h, n);
    return h + d.substr(8);
}

std::string overlongCell() {
    const std::vector<Row> rows = smallRows();
    std::string d = dictBytes(20, {rows[0]});
    putText(d, rows[1][0]);
    putI32(d, 0x10000000); // cell 1 claims 512 MiB
    d += "ab";
    std::string h;
    putI32(h, 20);
    putI32(h, 2);
    return h + d.substr(8);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFileTest,
    ::testing::Values(DamagedCase{"NegativeColumns", withHeader(-20, 3, 3), 0},
                      DamagedCase{"ZeroColumnsHugeRows", withHeader(0, 0x7FFFFFFF, 3), 0},
                      DamagedCase{"HugeColumns", withHeader(0x7FFFFFFF, 3, 3), 0},
                      DamagedCase{"NegativeRows", withHeader(20, -1, 3), 0},
                      DamagedCase{"MostNegativeRows", withHeader(20, INT32_MIN, 3), 0},
                      DamagedCase{"HugeRows", withHeader(20, 0x7FFFFFFF, 3), 3},
                      DamagedCase{"FewerRowsThanStored", withHeader(20, 2, 3), 2},
                      DamagedCase{"LengthBeyondTheEnd", overlongCell(), 1},
                      DamagedCase{"NegativeLength",
                                  withHeader(20, 1, 0) + std::string("\xFE\xFF\xFF\xFF", 4), 0},
                      DamagedCase{"Empty", std::string(), 0}),
    [](const auto& i) { return std::string(i.param.name); });

} // namespace
