// Every text the windows show is the shipped dictionary's text in the chosen
// language: in German a German key, in English its English value. A literal
// that skips Translate shows German in the English window; one missing from
// the shipped dictionary is no key in the German one; a library's English
// reason is no German key. Texts with arguments match their entry with any
// argument in place of %1 ... %9, or any name after an entry's closing colon.

#include "GuiTestSupport.h"

#include "app/RectifiedOutput.h"
#include "gui/FaultText.h"
#include "gui/TTranslateForm.h"
#include "gui/TranslateApplication.h"
#include "pixkit/ImageFile.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QStatusBar>
#include <QTableWidget>

#include <algorithm>
#include <cerrno>

namespace guitest {
namespace {

// The texts of one dictionary column as the windows may show them.
class ShownTexts {
public:
    ShownTexts(const DictFile& dict, int column) {
        static const QRegularExpression argument(QStringLiteral("\\\\%[1-9]"));
        for (const QStringList& row : dict.cells) {
            const QString value = stripped(row[column].isEmpty() ? row[0] : row[column]);
            m_exact.insert(value);
            if (!value.contains(QRegularExpression(QStringLiteral("%[1-9]"))) &&
                !value.endsWith(QLatin1Char(':')))
                continue;
            QString pattern = QRegularExpression::escape(value);
            pattern.replace(argument, QStringLiteral("(.+)"));
            if (value.endsWith(QLatin1Char(':')))
                pattern += QStringLiteral("(.*)");
            m_templates << QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$'));
        }
    }

    // True when every line of `text` is a text of the column (or has no letters).
    bool known(const QString& text) const {
        for (const QString& raw : text.split(QLatin1Char('\n'))) {
            const QString line = stripped(raw);
            // The maker's and the program's names are no words of a language.
            QString words = line;
            words.remove(QStringLiteral("Velkor")).remove(QStringLiteral("Fassadenplan"));
            if (!words.contains(QRegularExpression(QStringLiteral("[A-Za-zÄÖÜäöüß]"))) ||
                m_exact.contains(line))
                continue;
            if (std::none_of(
                    m_templates.cbegin(), m_templates.cend(),
                    [&line](const QRegularExpression& r) { return r.match(line).hasMatch(); }))
                return false;
        }
        return true;
    }

private:
    // Without the mnemonic marks and the outer blanks.
    static QString stripped(QString t) {
        t.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
        t.remove(QLatin1Char('&'));
        t.replace(QStringLiteral("\x01"), QStringLiteral("&"));
        return t.trimmed();
    }

    QSet<QString> m_exact;
    QList<QRegularExpression> m_templates;
};

// Every text the windows show: titles, captions, menu texts, tool and status
// tips, header cells, the status bars' messages. The values in editors and
// spin boxes are the user's data, not texts.
QStringList windowTexts() {
    QStringList out;
    auto add = [&out](const QString& t) {
        if (!t.isEmpty())
            out << t;
    };
    for (QWidget* w : gui::applicationWindows()) {
        // A title may begin with the name of the file shown: "wand.png* – ".
        add(w->windowTitle().section(QStringLiteral(" – "), -1));
        for (QObject* o : w->findChildren<QObject*>()) {
            if (o->objectName().startsWith(QLatin1String("qt_")))
                continue;
            if (auto* x = qobject_cast<QWidget*>(o)) {
                add(x->toolTip());
                add(x->statusTip());
            }
            if (auto* x = qobject_cast<QAbstractButton*>(o))
                add(x->text());
            if (auto* x = qobject_cast<QLabel*>(o))
                add(x->text());
            if (auto* x = qobject_cast<QGroupBox*>(o))
                add(x->title());
            if (auto* x = qobject_cast<QMenu*>(o))
                add(x->title());
            if (auto* x = qobject_cast<QStatusBar*>(o))
                add(x->currentMessage());
            if (auto* x = qobject_cast<QAction*>(o)) {
                add(x->text());
                add(x->statusTip());
                QAction plain; // Qt derives a tool tip from the text when none was set
                plain.setText(x->text());
                if (x->toolTip() != plain.toolTip())
                    add(x->toolTip());
            }
            if (auto* x = qobject_cast<QTableWidget*>(o))
                for (int c = 0; c < x->columnCount(); ++c)
                    if (x->horizontalHeaderItem(c) != nullptr)
                        add(x->horizontalHeaderItem(c)->text());
        }
    }
    return out;
}

class VisibleTextsTest : public GuiTest, public ::testing::WithParamInterface<int> {};

TEST_P(VisibleTextsTest, EveryShownTextIsTheShippedDictionarysTextInTheLanguage) {
    const int language = GetParam();
    installShippedDictionary();
    const DictFile shipped = readDictFile(dictionaryFile());
    ASSERT_TRUE(shipped.ok);
    const ShownTexts allowed(shipped, language);
    writeLanguage(language);
    auto form = shownForm();
    ASSERT_EQ(form->language, language);

    // A rectified image, so that the status bar speaks and the saves can fail.
    form->realRuns = true;
    form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
    form->openAnswers = {samplePath("sudoku.png")};
    form->Bildffnen1->trigger();
    form->placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
    QStringList texts = windowTexts();
    form->TranslateForm->FillStringGrid();
    texts << windowTexts();
    ASSERT_GT(texts.size(), 100);

    // Failures of the engine as the window words them: no folder, an unknown
    // format, a drawing that cannot be created, the file system's errors, a
    // format's size limit, a world file without a scale.
    const QString missing = configDir() + "/kein Ordner/";
    form->saveAnswers = {missing + "bild.png", configDir() + "/bild.xyz"};
    form->EntzerrtesBildspeichern1->trigger();
    form->EntzerrtesBildspeichern1->trigger();
    form->dxfAnswers = {missing + "plan.dxf"};
    form->ExportalsDXFDatei1->trigger();
    EXPECT_EQ(form->errors.size(), 3) << form->errors.join('\n').toStdString();
    texts << form->errors << windowTexts();
    for (const int e : {ENOSPC, EPERM, EACCES, EROFS, ENOENT, EXDEV})
        texts << gui::faultText(fp::fileFault(e));
    pixkit::Image wide = pixkit::Image::blank(65501, 2);
    const pixkit::WriteResult jpeg =
        pixkit::WriteDib(wide.get(), configDir().toStdString() + "/breit.jpg", 90);
    ASSERT_EQ(jpeg.fault.kind, fp::FaultKind::TooLarge) << jpeg.error;
    const app::RectifiedWrite noScale = app::WriteRectified(
        wide.get(), configDir().toStdString() + "/ohne.png", 90, 0.0, 100, true);
    ASSERT_EQ(noScale.fault.kind, fp::FaultKind::NoScale) << noScale.error;
    for (const fp::Fault& f : {jpeg.fault, noScale.fault}) {
        const QString why = gui::faultText(f);
        EXPECT_EQ(why.contains(QStringLiteral("JPEG")), f.kind == fp::FaultKind::TooLarge)
            << why.toStdString();
        texts << why;
    }
    for (const ShownBox& box : m_boxes.boxes)
        texts << box.caption << box.text << box.informativeText;

    for (const QString& text : texts)
        EXPECT_TRUE(allowed.known(text)) << "not the dictionary's text: " << text.toStdString();
}

// The editor's column names follow a language chosen after the start,
// there and back.
TEST_F(VisibleTextsTest, EditorColumnsFollowTheChosenLanguage) {
    installShippedDictionary();
    auto form = shownForm();
    for (const auto& [item, french] :
         {std::pair{form->English1, "French"}, std::pair{form->Deutsch1, "Français"}}) {
        item->trigger();
        form->TranslateForm->FillStringGrid();
        EXPECT_EQ(form->TranslateForm->StringGrid1->horizontalHeaderItem(2)->text(), french);
    }
}

INSTANTIATE_TEST_SUITE_P(GermanAndEnglish, VisibleTextsTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return i.param == 0 ? "German" : "English";
                         });

} // namespace
} // namespace guitest
