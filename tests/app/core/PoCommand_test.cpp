// The PO commands of the command line on a dictionary of their own: export,
// msgfmt --check and import of the same file leave translate.dat byte for
// byte; gettext's own reader reads the texts we wrote; every exit code; a
// malformed file changes nothing. Each command runs in a child process with
// an alarm, so that a FIFO that blocks fails the case instead of the suite.

#include "TestSupport.h"
#include "app/PoCommand.h"
#include "i18n/Dictionary.h"
#include "i18n/DictionaryFile.h"
#include "i18n/Po.h"
#include "testsupport/Files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The bytes of a regular file; a FIFO or folder in its place is never opened.
std::string readAll(const fs::path& p) {
    if (!fs::is_regular_file(p))
        return "<no regular file>";
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void writeAll(const fs::path& p, const std::string& bytes) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Outcome {
    int exit = -1;
    std::string out;
    std::string err;
};

using Row = std::vector<std::u16string>;

// Texts that test the escapes, the line breaks at both ends, characters
// beyond the BMP, a German text held twice, a row without German text and
// one that no PO file can carry.
std::vector<Row> trickyRows() {
    return {
        {u"Datei", u"File", u"Fichier", u"Bestand"},
        {u"Nur Deutsch"},
        {u" Leerzeichen vorn und hinten ", u" blanks around ", u" blancs "},
        {u"Zeile 1\nZeile 2", u"Line 1\nLine 2", u"Ligne 1\nLigne 2"},
        {u"Ende mit Umbruch\n", u"Ends without one", u"Fin\n"},
        {u"\nAnfang", u"\n\nStart", u"D\u00E9but"},
        {u"Tab\tund \"Anf\u00FChrung\" und \\Backslash", u"Tab\tand \"quotes\" and \\",
         u"Tab\tet \u00AB guillemets \u00BB"},
        {u"Steuerzeichen \u0001\u001F\u007F\r", u"control \u0007\u000B\u000C"},
        {u"Au\u00DFerhalb der BMP \U0001F600", u"Beyond the BMP \U0001F600"},
        {u"Doppelt", u"Twice", u"Deux fois"},
        {u"Doppelt", u"Twice", u"Deux fois"},
        {u"", u"orphan"},
        {std::u16string(u"Kaputt ") + static_cast<char16_t>(0xD800), u"broken"},
    };
}

class PoCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "fp-po-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        progpath = dir.string() + "/";
        writeDictionary(trickyRows(), "pt_BR");
    }
    void TearDown() override {
        i18n::ResetDictionary();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    fs::path dictionary() const { return dir / "translate.dat"; }

    // translate.dat with `rows` and column 7 speaking `code7`.
    void writeDictionary(const std::vector<Row>& rows, const std::string& code7) {
        std::vector<i18n::tdictrow> cells(rows.size());
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t c = 0; c < rows[r].size(); ++c)
                cells[r].cell[c] = rows[r][c];
        i18n::ColumnCodes codes;
        codes[7] = code7;
        ASSERT_EQ(
            i18n::WriteDictionaryFile(dictionary().string(), cells.data(), cells.size(), codes), 0);
    }

    // The batch command in a child process that the alarm ends after 20 s.
    Outcome run(const std::vector<std::string>& params) {
        const fs::path out = dir / "stdout.txt";
        const fs::path err = dir / "stderr.txt";
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(20);
            std::ostringstream o;
            std::ostringstream e;
            const int code = app::runPoCommand(params, progpath, o, e);
            writeAll(out, o.str());
            writeAll(err, e.str());
            ::_exit(code);
        }
        Outcome r;
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child)
            return r;
        r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        r.out = readAll(out);
        r.err = readAll(err);
        fs::remove(out);
        fs::remove(err);
        return r;
    }

    fs::path dir;
    std::string progpath;
};

// msgid -> msgstr of every translated message of a PO text.
std::map<std::string, std::string> translated(const std::string& text) {
    i18n::PoCatalog c;
    i18n::PoError e;
    EXPECT_TRUE(i18n::ParsePo(text, c, e)) << e.line << ": " << e.reason;
    std::map<std::string, std::string> out;
    for (const i18n::PoEntry& m : c.entries)
        if (!m.msgid.empty() && !m.msgstr.empty() && !m.msgstr.front().empty())
            out[m.msgid] = m.msgstr.front();
    return out;
}

TEST_F(PoCommandTest, ExportCheckedByMsgfmtAndImportedAgainLeavesTheDictionaryByteForByte) {
    const bool gettext = testsupport::haveTool("msgfmt") && testsupport::haveTool("msgunfmt");
    const std::string before = readAll(dictionary());
    for (const char* lang : {"fr", "en", "pt_BR", "0", "19"}) {
        SCOPED_TRACE(lang);
        const std::string po = (dir / (std::string(lang) + ".po")).string();
        const Outcome exported = run({std::string("--export-po=") + lang, po});
        ASSERT_EQ(exported.exit, 0) << exported.err;
        // 10 German texts, the one with a lone surrogate left out.
        EXPECT_NE(exported.out.find(": 10 texts written to "), std::string::npos) << exported.out;
        EXPECT_NE(exported.out.find("1 left out"), std::string::npos) << exported.out;
        if (gettext) {
            const std::string mo = po + ".mo";
            EXPECT_TRUE(testsupport::run("msgfmt --check -o '" + mo + "' '" + po + "'"));
            // gettext's reader finds exactly the texts we meant.
            const std::string back = po + ".back";
            ASSERT_TRUE(testsupport::run("msgunfmt -o '" + back + "' '" + mo + "'"));
            // (msgunfmt writes no file for a catalog without translations)
            EXPECT_EQ(translated(fs::exists(back) ? readAll(back) : ""), translated(readAll(po)));
        }
        const Outcome imported = run({std::string("--import-po=") + lang, po});
        ASSERT_EQ(imported.exit, 0) << imported.err;
        EXPECT_NE(imported.out.find(" 0 set, 0 added, 0 skipped"), std::string::npos)
            << imported.out;
        EXPECT_EQ(readAll(dictionary()), before);
    }
    if (!gettext)
        GTEST_SKIP() << "msgfmt is not installed (tools/deps.sh --test installs gettext)";
}

TEST_F(PoCommandTest, AChangedTranslationAndANewTextArriveInTheDictionary) {
    const std::string po = (dir / "fr.po").string();
    ASSERT_EQ(run({"--export-po=fr", po}).exit, 0);
    std::string text = readAll(po);
    const std::string from = "msgid \"Datei\"\nmsgstr \"Fichier\"";
    ASSERT_NE(text.find(from), std::string::npos);
    text.replace(text.find(from), from.size(), "msgid \"Datei\"\nmsgstr \"Dossier\"");
    text += "\nmsgid \"Neu\"\nmsgstr \"Nouveau\"\n";
    writeAll(po, text);
    const Outcome imported = run({"--import-po=fr", po});
    ASSERT_EQ(imported.exit, 0) << imported.err;
    EXPECT_NE(imported.out.find("1 set, 1 added"), std::string::npos) << imported.out;

    int language = 2;
    i18n::LoadDictionary(progpath, &language);
    EXPECT_EQ(i18n::Translate(u"Datei"), u"Dossier");
    EXPECT_EQ(i18n::Translate(u"Neu"), u"Nouveau");
    EXPECT_EQ(i18n::Translate(u"Doppelt"), u"Deux fois");
}

struct ExitCase {
    const char* name;
    std::vector<std::string> params; // "@" stands for the test's folder
    std::function<void(const fs::path& dir)> prepare;
    int exit;
    const char* message; // part of the error output
};

class PoExitTest : public PoCommandTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(PoExitTest, EndsWithItsCodeAndAWholeDictionary) {
    const ExitCase& c = GetParam();
    if (c.prepare)
        c.prepare(dir);
    const std::string before = readAll(dictionary());
    std::vector<std::string> params;
    for (std::string p : c.params) {
        if (const auto at = p.find('@'); at != std::string::npos)
            p.replace(at, 1, dir.string());
        params.push_back(p);
    }
    const Outcome r = run(params);
    EXPECT_EQ(r.exit, c.exit) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(readAll(dictionary()), before);
}

const std::string GermanPo = "msgid \"\"\nmsgstr \"Language: de\\n\"\n\n"
                             "msgid \"Datei\"\nmsgstr \"Akte\"\n";

INSTANTIATE_TEST_SUITE_P(
    Commands, PoExitTest,
    ::testing::Values(
        ExitCase{"NoFile", {"--export-po=fr"}, nullptr, 1, "usage"},
        ExitCase{
            "TwoCommands", {"--export-po=fr", "--import-po=en", "@/x.po"}, nullptr, 1, "usage"},
        ExitCase{"UnknownOption", {"--export-po=fr", "--fast", "@/x.po"}, nullptr, 1, "--fast"},
        ExitCase{"UnknownLanguage", {"--export-po=xx", "@/x.po"}, nullptr, 2, "names no column"},
        ExitCase{"ColumnTwenty", {"--import-po=20", "@/x.po"}, nullptr, 2, "names no column"},
        ExitCase{"FileForAnotherLanguage",
                 {"--import-po=fr", "@/de.po"},
                 [](const fs::path& d) { writeAll(d / "de.po", GermanPo); },
                 2,
                 "language de"},
        ExitCase{"NamedCodeDisagrees",
                 {"--export-po=fr", "--language-code=it", "@/x.po"},
                 nullptr,
                 2,
                 "is not it"},
        ExitCase{"MissingFile", {"--import-po=fr", "@/missing.po"}, nullptr, 3, "no such file"},
        ExitCase{"Folder",
                 {"--import-po=fr", "@/folder.po"},
                 [](const fs::path& d) { fs::create_directory(d / "folder.po"); },
                 3,
                 "no regular file"},
        ExitCase{"Fifo",
                 {"--import-po=fr", "@/fifo.po"},
                 [](const fs::path& d) { ::mkfifo((d / "fifo.po").c_str(), 0600); },
                 3,
                 "no regular file"},
        ExitCase{"DictionaryIsAFifo",
                 {"--export-po=fr", "@/x.po"},
                 [](const fs::path& d) {
                     fs::remove(d / "translate.dat");
                     ::mkfifo((d / "translate.dat").c_str(), 0600);
                 },
                 3,
                 "translate.dat: cannot be read"},
        ExitCase{"DictionaryDamaged",
                 {"--import-po=fr", "@/de.po"},
                 [](const fs::path& d) {
                     const std::string whole = readAll(d / "translate.dat");
                     writeAll(d / "translate.dat", whole.substr(0, whole.size() / 2));
                     writeAll(d / "de.po", "msgid \"Datei\"\nmsgstr \"Fichier\"\n");
                 },
                 3,
                 "damaged after row"},
        ExitCase{"DictionaryNotWritable",
                 {"--import-po=fr", "@/fr.po"},
                 [](const fs::path& d) {
                     // A link into a folder that does not exist: no file can be
                     // made there, even by root.
                     fs::remove(d / "translate.dat");
                     fs::create_symlink(d / "missing" / "translate.dat", d / "translate.dat");
                     writeAll(d / "fr.po", "msgid \"Datei\"\nmsgstr \"Fichier\"\n");
                 },
                 6,
                 "cannot be written"},
        ExitCase{"PoFileNotWritable",
                 {"--export-po=fr", "@/missing/x.po"},
                 nullptr,
                 6,
                 "cannot be written"}),
    [](const ::testing::TestParamInfo<ExitCase>& i) { return std::string(i.param.name); });

// Bad quoting, bad escapes, an unterminated string, bytes that are no UTF-8
// and 100 MB of garbage: refused with the line, the dictionary untouched.
TEST_F(PoCommandTest, MalformedFilesAreRefusedWithTheirLineAndChangeNothing) {
    std::string good = "msgid \"\"\nmsgstr \"Language: fr\\n\"\n";
    for (int i = 0; i < 300; ++i)
        good += "\nmsgid \"Text " + std::to_string(i) + "\"\nmsgstr \"Texte\"\n";
    const int next = 2 + 3 * 300 + 1; // the line after the good part
    std::mt19937 random(7);
    std::string garbage(100u << 20, '\0');
    for (char& b : garbage)
        b = static_cast<char>(random());
    const std::vector<std::pair<std::string, int>> files{
        {good + "msgid Datei\nmsgstr \"x\"\n", next},
        {good + "msgid \"Datei\" \"\nmsgstr \"x\"\n", next},
        {good + "msgid \"Datei\"\nmsgstr \"\\z\"\n", next + 1},
        {good + "msgid \"Datei\"\nmsgstr \"Fichier\n", next + 1},
        {good + "msgid \"Datei\"\nmsgstr \"Fich\xE9r\"\n", next + 1},
        {garbage, 0},
    };
    const std::string before = readAll(dictionary());
    for (const auto& [text, line] : files) {
        SCOPED_TRACE(line);
        writeAll(dir / "bad.po", text);
        const Outcome r = run({"--import-po=fr", (dir / "bad.po").string()});
        EXPECT_EQ(r.exit, 3);
        // The message names the file and line: "bad.po:<line>: ".
        const std::size_t at = r.err.find("bad.po:");
        ASSERT_NE(at, std::string::npos) << r.err;
        const std::size_t digits = at + 7;
        const std::size_t colon = r.err.find(": ", digits);
        ASSERT_NE(colon, std::string::npos) << r.err;
        const std::string number = r.err.substr(digits, colon - digits);
        ASSERT_FALSE(number.empty()) << r.err;
        ASSERT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << r.err;
        if (line > 0) {
            EXPECT_EQ(std::stoi(number), line) << r.err;
        }
        EXPECT_EQ(readAll(dictionary()), before);
    }
}

// The real program: the entry point hands the options to the PO command, and
// the dictionary the build ships exports to a file msgfmt accepts.
TEST(PoProgram, ExportsTheShippedDictionaryWithoutADisplay) {
    const std::string scratch = (fs::temp_directory_path() / "fp-po-program").string();
    fs::create_directories(scratch);
    const std::string po = scratch + "/en.po";
    fs::remove(po);
    const testsupport::RunResult r =
        testsupport::runProgram(FASSADENPLAN_EXE, {"--export-po=en", po}, {}, scratch, 60);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(translated(readAll(po)).count("Datei"), 0u);
    if (testsupport::haveTool("msgfmt")) {
        EXPECT_TRUE(testsupport::run("msgfmt --check -o /dev/null '" + po + "'"));
    }
    const testsupport::RunResult bad = testsupport::runProgram(
        FASSADENPLAN_EXE, {"--import-po=zz", scratch + "/none.po"}, {}, scratch, 60);
    EXPECT_EQ(bad.exitCode, 2) << bad.err;
    fs::remove_all(scratch);
}

} // namespace
