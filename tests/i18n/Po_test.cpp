// PO files: what an import does to the dictionary's cells, which languages
// a column takes, and the malformed files the reader refuses with their line.

#include "DictTestSupport.h"
#include "testsupport/CaseNames.h"

#include "i18n/Dictionary.h"
#include "i18n/Po.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace dicttest;

namespace {

i18n::PoCatalog parsed(const std::string& text) {
    i18n::PoCatalog c;
    i18n::PoError e;
    EXPECT_TRUE(i18n::ParsePo(text, c, e)) << e.line << ": " << e.reason;
    return c;
}

using PoImportTest = DictFolder;

TEST_F(PoImportTest, EachKindOfMessageDoesWhatTheTranslatorExpects) {
    loadWith(20,
             {{u"Datei", u"", u"Fichier"},
              {u"Hilfe", u"", u"Aide"},
              {u"Zeile", u"", u"Ligne"},
              {u"Bild", u"", u"Image"},
              {u"Bild", u"", u"Photo"}, // the same German text twice
              {u"Ende", u"", u"Fin"},
              {u"Mehrzahl", u"", u""}},
             &language);
    const i18n::PoCatalog po = parsed(R"(msgid ""
msgstr ""
"Language: fr_BE\n"
"Content-Type: text/plain; charset=UTF-8\n"

# set: another translation
msgid "Datei"
msgstr "Dossier"

# unchanged: the same, and the same but for line breaks around it
msgid "Hilfe"
msgstr "Aide"

msgid "Zeile"
msgstr "Ligne\n"

# unchanged: an empty msgstr leaves the cell
msgid "Ende"
msgstr ""

# set in every row of the text
msgid "Bild"
msgstr "Tableau"

# added, also with the blanks the lookup never sees
msgid "Neu"
msgstr "Nouveau"

msgid "  Leer  "
msgstr "Vide"

# skipped: fuzzy, obsolete, with a context, plural, blanks only
#, fuzzy
msgid "Hilfe "
msgstr "Au secours"

#~ msgid "Alt"
#~ msgstr "Vieux"

msgctxt "Menü"
msgid "Datei"
msgstr "Fichiers"

msgid "Mehrzahl"
msgid_plural "Mehrzahlen"
msgstr[0] "Pluriel"
msgstr[1] "Pluriels"

msgid "   "
msgstr "rien"
)");
    i18n::PoImportSummary s;
    std::string why;
    ASSERT_EQ(i18n::ImportPo(po, 2, {}, s, why), i18n::PoImportResult::Done) << why;
    EXPECT_EQ(s.set, 2u);
    EXPECT_EQ(s.added, 2u);
    EXPECT_EQ(s.skipped, 5u);
    EXPECT_EQ(s.unchanged, 3u);
    EXPECT_EQ(s.codeLearnt, ""); // French keeps the table's code
    const std::vector<std::u16string> expected{
        u"Dossier", u"Aide", u"Ligne", u"Tableau", u"Tableau", u"Fin", u"", u"Nouveau", u"Vide"};
    auto& rows = i18n::DictionaryRows();
    ASSERT_EQ(rows.count(), expected.size());
    for (std::uint32_t r = 0; r < rows.count(); ++r)
        EXPECT_EQ(rows[r].cell[2], expected[r]) << r;
    EXPECT_EQ(rows[8].cell[0], u"Leer");
    // The new rows are found at once and not learnt again.
    language = 2;
    EXPECT_EQ(i18n::Translate(u" Neu"), u" Nouveau");
    EXPECT_EQ(i18n::Translate(u"Leer"), u"Vide");
    EXPECT_EQ(rows.count(), expected.size());

    // German is the key: column 0 takes no other text.
    ASSERT_EQ(i18n::ImportPo(parsed("msgid \"Datei\"\nmsgstr \"Akte\"\n\n"
                                    "msgid \"Hilfe\"\nmsgstr \"Hilfe\"\n"),
                             0, {}, s, why),
              i18n::PoImportResult::Done);
    EXPECT_EQ(s.skipped, 1u);
    EXPECT_EQ(s.unchanged, 1u);
    EXPECT_EQ(rows[0].cell[0], u"Datei");
}

struct LanguageCase {
    const char* name;
    int column;
    const char* stored;       // the free column's code before
    const char* fileLanguage; // "Language:" of the file
    const char* named;        // --language-code
    bool accepted;
    const char* codeAfter;
};

class PoLanguageTest : public DictFolder, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(PoLanguageTest, TheFileMustBeForTheColumnsLanguage) {
    const LanguageCase& c = GetParam();
    loadWith(20, {{u"Datei"}}, &language);
    if (*c.stored != '\0') {
        ASSERT_TRUE(i18n::SetColumnCode(c.column, c.stored));
    }
    if (c.column == 6) { // another column has the file's code already
        ASSERT_TRUE(i18n::SetColumnCode(9, "pt"));
    }
    const std::string po = std::string("msgid \"\"\nmsgstr \"Language: ") + c.fileLanguage +
                           "\\n\"\n\nmsgid \"Datei\"\nmsgstr \"x\"\n";
    i18n::PoImportSummary s;
    std::string why;
    const i18n::PoImportResult r = i18n::ImportPo(parsed(po), c.column, c.named, s, why);
    EXPECT_EQ(r == i18n::PoImportResult::Done, c.accepted) << why;
    EXPECT_EQ(i18n::DictionaryRows()[0].cell[c.column], c.accepted ? u"x" : u"");
    EXPECT_EQ(i18n::ColumnCode(c.column), c.codeAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, PoLanguageTest,
    ::testing::Values(LanguageCase{"FrenchIntoFrench", 2, "", "fr", "", true, "fr"},
                      LanguageCase{"CanadianFrenchIntoFrench", 2, "", "fr_CA", "", true, "fr"},
                      LanguageCase{"GermanIntoFrench", 2, "", "de", "", false, "fr"},
                      LanguageCase{"NoLanguageIntoDutch", 3, "", "", "", true, "nl"},
                      LanguageCase{"NamedOtherThanColumn", 3, "", "", "fr", false, "nl"},
                      LanguageCase{"FreeColumnLearns", 5, "", "pt_BR", "", true, "pt_BR"},
                      LanguageCase{"FreeColumnLearnsTheNamedCode", 5, "", "", "es", true, "es"},
                      LanguageCase{"FileAndNameDisagree", 5, "", "es", "it", false, ""},
                      LanguageCase{"FreeColumnKeepsItsCode", 5, "pt_BR", "pt_PT", "", true,
                                   "pt_BR"},
                      LanguageCase{"FreeColumnRefusesAnother", 5, "es", "it", "", false, "es"},
                      LanguageCase{"CodeOfAnotherColumn", 6, "", "pt", "", false, ""},
                      LanguageCase{"NoCodeAnywhere", 7, "", "", "", true, ""},
                      LanguageCase{"NotACodeIsNone", 7, "", "Portuguese", "", true, ""}),
    [](const ::testing::TestParamInfo<LanguageCase>& i) { return std::string(i.param.name); });

struct MalformedCase {
    const char* name;
    std::string text;
    int line;
    i18n::PoFault fault;
};

class PoMalformedTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(PoMalformedTest, IsRefusedWithItsLine) {
    i18n::PoCatalog c;
    i18n::PoError e;
    EXPECT_FALSE(i18n::ParsePo(GetParam().text, c, e));
    EXPECT_EQ(e.line, GetParam().line) << e.reason;
    EXPECT_EQ(e.fault, GetParam().fault) << e.reason;
}

// A good message first, so that every fault is found where it is.
const std::string Good = "msgid \"Datei\"\nmsgstr \"File\"\n\n";

INSTANTIATE_TEST_SUITE_P(
    Files, PoMalformedTest,
    ::testing::Values(
        MalformedCase{"Unterminated", Good + "msgid \"Hilfe\nmsgstr \"\"\n", 4,
                      i18n::PoFault::Unterminated},
        MalformedCase{"UnterminatedAtTheEnd", Good + "msgid \"Hilfe\"\nmsgstr \"Help\\\"", 5,
                      i18n::PoFault::Unterminated},
        MalformedCase{"NoQuotes", Good + "msgid Hilfe\nmsgstr \"\"\n", 4,
                      i18n::PoFault::BadQuoting},
        MalformedCase{"TextAfterTheString", Good + "msgid \"Hilfe\" x\nmsgstr \"\"\n", 4,
                      i18n::PoFault::BadQuoting},
        MalformedCase{"BadEscape", Good + "msgid \"Hilfe\"\nmsgstr \"a\\qb\"\n", 5,
                      i18n::PoFault::BadEscape},
        MalformedCase{"NulEscape", Good + "msgid \"Hilfe\"\nmsgstr \"a\\0b\"\n", 5,
                      i18n::PoFault::NulByte},
        MalformedCase{"InvalidUtf8", Good + "msgid \"Hilfe\"\nmsgstr \"\xC3\x28\"\n", 5,
                      i18n::PoFault::NotUtf8},
        MalformedCase{"InvalidUtf8InAComment", Good + "# \xFF\n", 4, i18n::PoFault::NotUtf8},
        MalformedCase{"OverlongUtf8", Good + "msgid \"\xC0\xAF\"\nmsgstr \"\"\n", 4,
                      i18n::PoFault::NotUtf8},
        MalformedCase{"EscapedInvalidUtf8", Good + "msgid \"Hilfe\"\nmsgstr \"\\303\"\n", 4,
                      i18n::PoFault::NotUtf8},
        MalformedCase{"MsgidWithoutMsgstr", Good + "msgid \"Hilfe\"\n\nmsgid \"Ende\"\n", 4,
                      i18n::PoFault::Order},
        MalformedCase{"MsgstrWithoutMsgid", Good + "msgstr \"Help\"\n", 4, i18n::PoFault::Order},
        MalformedCase{"LooseString", "\"Datei\"\n", 1, i18n::PoFault::Order},
        MalformedCase{"Duplicate", Good + "msgid \"Datei\"\nmsgstr \"Data\"\n", 4,
                      i18n::PoFault::Duplicate},
        MalformedCase{"Latin1",
                      "msgid \"\"\nmsgstr \"Content-Type: text/plain; "
                      "charset=ISO-8859-1\\n\"\n",
                      1, i18n::PoFault::Charset},
        MalformedCase{"Garbage",
                      Good + std::string("\x7F"
                                         "ELF\x02\x01\x01",
                                         7),
                      4, i18n::PoFault::NotPo}),
    [](const ::testing::TestParamInfo<MalformedCase>& i) { return std::string(i.param.name); });

} // namespace
