#include "DictTestSupport.h"

#include "i18n/Messages.h"
#include "testsupport/CaseNames.h"

#include <gtest/gtest.h>

using namespace dicttest;

namespace {

using MessagesTest = DictFolder;

struct MessageCase {
    int number;
    int language;
    std::u16string expected;
};

class MessageTextTest : public DictFolder, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageTextTest, ByNumberAndLanguage) {
    const MessageCase c = GetParam();
    language = c.language;
    loadWith(20,
             {{u"Übersetzen", u"Translate"},
              {u"Bitte schließen Sie das Program und starten Sie es neu.",
               u"Please close the program and start it again."}},
             &language);
    EXPECT_EQ(i18n::MessageText(c.number), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MessageTextTest,
    ::testing::Values(MessageCase{0, 1, u""}, MessageCase{11, 1, u""}, MessageCase{29, 1, u""},
                      MessageCase{30, 0, u""}, MessageCase{31, 0, u""}, MessageCase{-1, 0, u""},
                      MessageCase{8, 0, u"Fehler: Nicht genügent Speicher für diese Aktion!"},
                      MessageCase{9, 1, u"Konnte folgende Datei nicht erstellen:"},
                      MessageCase{1, 0, u"Konte die folgende Datei nicht öffnen: "},
                      MessageCase{3, 0, u"Übersetzen"}, MessageCase{3, 1, u"Translate"},
                      MessageCase{2, 1, u"Please close the program and start it again."}),
    [](const ::testing::TestParamInfo<MessageCase>& i) {
        return testsupport::numberedName("Message", i.param.number) + "Language" +
               std::to_string(i.param.language);
    });

TEST_F(MessagesTest, NumbersWithoutEntryLearnNothing) {
    load(&language);
    for (int n : {0, 4, 5, 6, 7, 10, 11, 29, 30, 31})
        EXPECT_TRUE(i18n::MessageText(n).empty()) << n;
    EXPECT_EQ(i18n::DictionaryRows().count(), 0u);
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(MessagesTest, RegisterLearnsEveryMessageInAscendingOrder) {
    loadWith(20, {{u"Übersetzen", u"Translate"}}, &language);
    i18n::RegisterMessages();
    const ParsedDict p = saved();
    ASSERT_EQ(p.n, 5);
    EXPECT_EQ(p.rows[0][0], u"Übersetzen");
    // The row keeps the text without its trailing blank; lookups re-pad it.
    EXPECT_EQ(p.rows[1][0], u"Konte die folgende Datei nicht öffnen:");
    EXPECT_EQ(p.rows[2][0], u"Bitte schließen Sie das Program und starten Sie es neu.");
    EXPECT_EQ(p.rows[3][0], u"Fehler: Nicht genügent Speicher für diese Aktion!");
    EXPECT_EQ(p.rows[4][0], u"Konnte folgende Datei nicht erstellen:");
    // Once registered, a second pass adds nothing.
    i18n::RegisterMessages();
    EXPECT_EQ(i18n::DictionaryRows().count(), 5u);
}

} // namespace
