// options.dat, the stored window values across restarts, quitting versus
// closing, and the dialog filters.

#include "GuiTestSupport.h"

#include "app/Version.h"

#include "gui/FileFilters.h"
#include "gui/FormStorage.h"
#include "gui/Options.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TAboutBox.h"
#include "gui/TJPEGQualForm.h"
#include "testsupport/CaseNames.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <functional>

namespace guitest {
namespace {

class SettingsTest : public GuiTest {
protected:
    void writeOptions(const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(optionsFile()).path());
        QFile f(optionsFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readOptions() {
        QFile f(optionsFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
    }
};

struct OptionsCase {
    const char* what;
    QByteArray bytes;
    int language;
    bool englishChecked;
};

class OptionsFileTest : public SettingsTest, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(OptionsFileTest, LoadOptionsReadsTheLanguage) {
    const OptionsCase c = GetParam();
    writeOptions(c.bytes);
    auto form = std::make_unique<TestForm>();
    EXPECT_EQ(form->languagesetto, c.language) << c.what;
    EXPECT_EQ(form->English1->isChecked(), c.englishChecked) << c.what;
    EXPECT_EQ(form->Deutsch1->isChecked(), !c.englishChecked) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Window, OptionsFileTest,
    ::testing::Values(OptionsCase{"German", QByteArray("\0\0\0\0", 4), 0, false},
                      OptionsCase{"English", QByteArray("\1\0\0\0", 4), 1, true},
                      OptionsCase{"column 3", QByteArray("\3\0\0\0", 4), 3, false},
                      OptionsCase{"trailing bytes", QByteArray("\1\0\0\0\7\7", 6), 1, true},
                      OptionsCase{"short", QByteArray("\1\0", 2), 0, false},
                      OptionsCase{"empty", QByteArray(), 0, false},
                      OptionsCase{"column 20", QByteArray("\x14\0\0\0", 4), 0, false},
                      OptionsCase{"negative", QByteArray("\xff\xff\xff\xff", 4), 0, false},
                      OptionsCase{"huge", QByteArray("\0\0\0\x7f", 4), 0, false}),
    [](const ::testing::TestParamInfo<OptionsCase>& i) {
        return testsupport::identifier(i.param.what);
    });

TEST_F(SettingsTest, NoOptionsFileMeansGermanAndNothingIsCreated) {
    auto form = std::make_unique<TestForm>();
    EXPECT_EQ(form->languagesetto, 0);
    EXPECT_TRUE(form->Deutsch1->isChecked());
    form.reset();
    EXPECT_FALSE(QFile::exists(optionsFile()));
}

TEST_F(SettingsTest, WritingReplacesTheFileByExactlyFourBytes) {
    writeOptions(QByteArray(100, 'x'));
    ASSERT_TRUE(gui::writeLanguageFile(optionsFile(), 0x01020304));
    EXPECT_EQ(readOptions(), QByteArray("\x04\x03\x02\x01", 4));
    EXPECT_FALSE(gui::writeLanguageFile(configDir() + "/no/such/folder/options.dat", 1));
}

TEST_F(SettingsTest, QuitLeavesOptionsButCloseBoxWritesThem) {
    writeOptions(QByteArray("\0\0\0\0", 4));
    {
        auto form = shownForm();
        form->language = 1; // switched to English during the session
        QTimer::singleShot(0, form.get(),
                           [&] { QTest::mouseClick(form->EndeBtn, Qt::LeftButton); });
        QApplication::exec();
        EXPECT_TRUE(form->isVisible()); // the loop ended without closing the window
    }
    EXPECT_EQ(readOptions(), QByteArray("\0\0\0\0", 4));
    {
        auto form = shownForm();
        form->language = 1;
        QTimer::singleShot(0, form.get(), [&] { form->close(); });
        QTimer::singleShot(50, [] { QApplication::exit(0); });
        QApplication::exec();
    }
    EXPECT_EQ(readOptions(), QByteArray("\1\0\0\0", 4));
}

TEST_F(SettingsTest, ZoomStartCornerAndQualitySurviveARestart) {
    {
        auto form = shownForm();
        form->ZoomEd->setValue(100);
        form->LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1->trigger();
        form->JPEGQualForm->QualEd->setValue(55);
        QTimer::singleShot(0, form->JPEGQualForm, [&] { form->JPEGQualForm->BitBtn1->click(); });
        form->JPEGQualitteinstellen1->trigger(); // modal until OK
        form->close();
    }
    auto form = shownForm();
    EXPECT_EQ(form->ZoomEd->value(), 100);
    EXPECT_EQ(form->PaintBox1->width(), 320); // the views start at the stored zoom
    EXPECT_TRUE(form->LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1->isChecked());
    EXPECT_EQ(form->JPEGQualForm->quality(), 55);
}

TEST_F(SettingsTest, QuitStillStoresTheWindowValues) {
    {
        auto form = shownForm();
        form->ZoomEd->setValue(70);
        QTimer::singleShot(0, form.get(), [&] { form->Beenden1->trigger(); });
        QApplication::exec();
    } // destroyed without a close
    auto form = shownForm();
    EXPECT_EQ(form->ZoomEd->value(), 70);
}

// A changed value is on the disk a moment later, while the window is still
// open: a crash or a kill from then on loses nothing, and the next start
// shows it.
struct KeptCase {
    const char* name;
    std::function<void(TestForm&)> change;
    std::function<bool(TestForm&)> shown; // at the next start
};

class KeptSettingTest : public SettingsTest, public ::testing::WithParamInterface<KeptCase> {};

TEST_P(KeptSettingTest, AChangedValueIsOnTheDiskWithoutAClose) {
    auto first = shownForm();
    GetParam().change(*first);
    QTest::qWait(gui::FormStorage::WriteDelayMs * 2 + 100);
    // The first window is neither closed nor destroyed: what a kill leaves.
    auto next = shownForm();
    EXPECT_TRUE(GetParam().shown(*next));
}

INSTANTIATE_TEST_SUITE_P(
    Kept, KeptSettingTest,
    ::testing::Values(
        KeptCase{"Zoom", [](TestForm& f) { f.ZoomEd->setValue(70); },
                 [](TestForm& f) { return f.ZoomEd->value() == 70; }},
        KeptCase{"StartCorner",
                 [](TestForm& f) {
                     f.LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1->trigger();
                 },
                 [](TestForm& f) {
                     return f.LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1->isChecked();
                 }},
        KeptCase{"JpegQuality", [](TestForm& f) { f.JPEGQualForm->QualEd->setValue(37); },
                 [](TestForm& f) { return f.JPEGQualForm->quality() == 37; }},
        KeptCase{"LanguageEnglish", [](TestForm& f) { f.English1->trigger(); },
                 [](TestForm& f) { return f.languagesetto == 1 && f.English1->isChecked(); }}),
    [](const ::testing::TestParamInfo<KeptCase>& c) { return c.param.name; });

TEST_F(SettingsTest, QuitAfterChoosingEnglishStartsEnglish) {
    {
        auto form = shownForm();
        form->English1->trigger();
        QTimer::singleShot(0, form.get(), [&] { form->Beenden1->trigger(); });
        QApplication::exec();
        EXPECT_TRUE(form->isVisible()); // quit ends the loop without closing
    }
    EXPECT_EQ(readOptions(), QByteArray("\1\0\0\0", 4));
    auto form = std::make_unique<TestForm>();
    EXPECT_EQ(form->languagesetto, 1);
}

TEST_F(SettingsTest, AWindowNeverShownStoresNothing) {
    {
        auto form = std::make_unique<TestForm>();
        form->ZoomEd->setValue(70);
    }
    EXPECT_FALSE(QFile::exists(configDir() + "/Velkor/app_gui_tests.ini"));
    auto form = shownForm();
    EXPECT_EQ(form->ZoomEd->value(), 40);
}

TEST_F(SettingsTest, StoredValuesOfAnotherVersionAreIgnored) {
    {
        auto form = shownForm();
        form->ZoomEd->setValue(70);
        form->close();
    }
    {
        const auto s = gui::openFormSettings();
        s->setValue("TMainForm/FormVersion", 3);
        s->setValue("TJPEGQualForm/QualEd_Value", "not a number");
    }
    auto form = shownForm();
    EXPECT_EQ(form->ZoomEd->value(), 40);
    EXPECT_EQ(form->JPEGQualForm->quality(), 90);
    EXPECT_FALSE(form->errors.isEmpty()); // the unreadable quality was reported
}

struct FilterCase {
    const char* pipes;
    const char* qt;
};

class FilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterTest, PipeFilterBecomesQtFilter) {
    EXPECT_EQ(gui::qtFilterFromPipes(GetParam().pipes), QString::fromUtf8(GetParam().qt));
}

INSTANTIATE_TEST_SUITE_P(Dialogs, FilterTest,
                         ::testing::Values(FilterCase{"Bilder|*.bmp;*.jpg|Alle Dateien|*.*",
                                                      "Bilder (*.bmp *.jpg);;Alle Dateien (*.*)"},
                                           FilterCase{"One|*.a", "One (*.a)"}, FilterCase{"", ""},
                                           FilterCase{"Dangling", ""}, FilterCase{"|*.x||", "*.x"},
                                           FilterCase{"A|;;*.a; ;|B|", "A (*.a)"},
                                           FilterCase{"DXF-Dateien (*.dxf)|*.dxf",
                                                      "DXF-Dateien (*.dxf)"},
                                           FilterCase{"Alt (*.a)|*.b", "Alt (*.a) (*.b)"}),
                         [](const ::testing::TestParamInfo<FilterCase>& i) {
                             return testsupport::identifier(i.param.pipes);
                         });

TEST(FilterTest, SaveFilterOffersEveryWritableFormat) {
    const QString f = gui::saveImageFilter();
    for (const char* ext : {"*.bmp", "*.dib", "*.rle", "*.gif", "*.iff", "*.jif", "*.jpg", "*.lbm",
                            "*.pcx", "*.tga", "*.tif", "*.jp2", "*.png", "*.webp"})
        EXPECT_TRUE(f.contains(QString::fromLatin1(ext))) << ext;
}

} // namespace
} // namespace guitest

namespace guitest {
namespace {

TEST_F(SettingsTest, AboutBoxShowsNameVersionAndYear) {
    auto form = shownForm();
    QString shown;
    QTimer::singleShot(0, form->AboutBox, [&] {
        shown = form->AboutBox->ProductName->text() + " " + form->AboutBox->Version->text() + " " +
                form->AboutBox->Copyright->text();
        form->AboutBox->OKButton->click();
    });
    form->ber1->trigger(); // modal until OK
    EXPECT_TRUE(shown.contains("Fassadenplan"));
    // The version --version prints, not a number of its own.
    EXPECT_TRUE(shown.contains(QStringLiteral(" Version %1 ").arg(app::ProgramVersion)));
    EXPECT_TRUE(shown.contains(QString::number(QDate::currentDate().year())));
}

} // namespace
} // namespace guitest
