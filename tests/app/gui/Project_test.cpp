// Projects in the window: a session saved through "Projekt speichern..." and
// opened in a fresh window (from the menu and from the command line) is the
// same session with the same pixels; a photograph that has moved is found
// again; a damaged, foreign, newer or absurd file leaves the session as it
// was; unsaved changes show in the title and are asked about on closing.

#include "GuiTestSupport.h"

#include "app/Project.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <sys/stat.h>

namespace guitest {
namespace {

// A window whose project dialogs the test answers.
class ProjectForm : public TestForm {
public:
    using TestForm::TestForm;
    QStringList projectOpenAnswers;
    QStringList projectSaveAnswers;
    QStringList photoAnswers;

protected:
    QString chooseProjectOpenFile() override { return next(projectOpenAnswers); }
    QString chooseProjectSaveFile() override { return next(projectSaveAnswers); }
    QString chooseMissingPhoto(int, const QString&) override { return next(photoAnswers); }

private:
    static QString next(QStringList& answers) {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

// The stored bytes of a rectified image.
std::string pixelsOf(const pixkit::Image& image) {
    if (image.empty())
        return {};
    return std::string(reinterpret_cast<const char*>(image.pixels()),
                       static_cast<std::size_t>(image.height()) *
                           static_cast<std::size_t>(image.get().bytew));
}

const rectify::Corners SudokuCorners = {{{72, 84}, {492, 69}, {520, 521}, {35, 517}}};

class ProjectTest : public GuiTest {
protected:
    std::unique_ptr<ProjectForm> window(QStringList params = {}) {
        auto form = std::make_unique<ProjectForm>(std::move(params));
        form->realRuns = true;
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QApplication::processEvents();
        return form;
    }

    // A session: the photograph, typed sizes, a finer interpolation, the
    // view's settings, then the four corners (which make the image).
    void makeSession(ProjectForm& form, const QString& photo) {
        form.openAnswers = {photo};
        form.Bildffnen1->trigger();
        form.BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
        form.BreiteED->setValue(812.5);
        form.HoeheEd->setValue(640.25);
        form.zieledValue->setValue(80);
        form.Bilinear1->trigger();
        form.ZoomEd->setValue(60);
        form.Schwelled->setValue(35);
        form.Weltdateimitspeichern1->setChecked(true);
        form.placeCorners(SudokuCorners);
        ASSERT_TRUE(form.hasRectified(1));
    }

    QString projectPath(const char* name = "survey.fassadenplan") const {
        return configDir() + "/" + name;
    }
};

TEST_F(ProjectTest, SavedSessionReopensInAFreshWindowWithTheSameStateAndPixels) {
    auto first = window();
    makeSession(*first, samplePath("sudoku.png"));
    EXPECT_TRUE(first->windowTitle().contains('*')) << first->windowTitle().toStdString();

    const QString file = projectPath();
    first->projectSaveAnswers = {configDir() + "/survey"}; // the extension is added
    first->Projektspeichern1->trigger();
    ASSERT_TRUE(QFile::exists(file)) << first->errors.join('\n').toStdString();
    EXPECT_FALSE(first->windowTitle().contains('*')) << first->windowTitle().toStdString();
    EXPECT_TRUE(first->windowTitle().startsWith("survey.fassadenplan"));
    const app::Project saved = first->currentProject();
    const std::string pixels = pixelsOf(first->ws.slot(1).result);
    ASSERT_FALSE(pixels.empty());
    first.reset();

    // From the menu, and named on the command line.
    for (const bool fromCommandLine : {false, true}) {
        SCOPED_TRACE(fromCommandLine ? "command line" : "menu");
        auto again = window(fromCommandLine ? QStringList{file} : QStringList{});
        if (!fromCommandLine) {
            again->projectOpenAnswers = {file};
            again->Projektffnen1->trigger();
        }
        EXPECT_TRUE(again->errors.isEmpty()) << again->errors.join('\n').toStdString();
        EXPECT_EQ(again->projectFile(), file);
        const app::Project reopened = again->currentProject();
        ASSERT_TRUE(reopened.photos[0]);
        EXPECT_EQ(reopened.photos[0]->corners, SudokuCorners);
        EXPECT_DOUBLE_EQ(again->BreiteED->value(), 812.5);
        EXPECT_EQ(again->ZoomEd->value(), 60);
        EXPECT_TRUE(again->Bilinear1->isChecked());
        EXPECT_TRUE(reopened == saved);
        EXPECT_EQ(pixelsOf(again->ws.slot(1).result), pixels);
        EXPECT_FALSE(again->projectModified());
        EXPECT_FALSE(again->windowTitle().contains('*')) << again->windowTitle().toStdString();
        EXPECT_EQ(again->recentProjects().value(0), file);
    }
}

TEST_F(ProjectTest, ClosingWithUnsavedChangesAsksAndCancelKeepsTheWindow) {
    auto form = window();
    makeSession(*form, samplePath("sudoku.png"));
    form->projectSaveAnswers = {projectPath()};
    form->Projektspeichern1->trigger();
    ASSERT_FALSE(form->projectModified());

    form->HoeheEd->setValue(700.0);
    EXPECT_TRUE(form->windowTitle().contains('*'));
    m_boxes.answers = {QMessageBox::Cancel};
    EXPECT_FALSE(form->close());
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text,
              "Das Projekt survey.fassadenplan wurde geändert. Änderungen speichern?");
    EXPECT_TRUE(form->isVisible());

    // "Speichern" writes the change and lets the window close.
    m_boxes.answers = {QMessageBox::Save};
    EXPECT_TRUE(form->close());
    const app::ProjectRead back = app::readProjectFile(projectPath().toStdString());
    ASSERT_TRUE(back.project);
    EXPECT_DOUBLE_EQ(back.project->panel.realHeightCm, 700.0);
}

TEST_F(ProjectTest, AMovedPhotographIsNamedAndFoundAgainWithNothingElseLost) {
    // The photograph below the project's folder: the file keeps it relative.
    ASSERT_TRUE(QDir(configDir()).mkpath("fotos"));
    const QString photo = configDir() + "/fotos/haus.png";
    ASSERT_TRUE(QFile::copy(samplePath("sudoku.png"), photo));
    auto first = window();
    makeSession(*first, photo);
    first->projectSaveAnswers = {projectPath()};
    first->Projektspeichern1->trigger();
    const std::string pixels = pixelsOf(first->ws.slot(1).result);
    const app::Project saved = first->currentProject();
    first.reset();
    const app::ProjectRead stored = app::readProjectFile(projectPath().toStdString());
    ASSERT_TRUE(stored.project);
    EXPECT_EQ(stored.project->photos[0]->path, photo.toStdString());

    const QString moved = configDir() + "/anderswo.png";
    ASSERT_TRUE(QFile::rename(photo, moved));
    auto form = window();
    form->projectOpenAnswers = {projectPath()};
    form->Projektffnen1->trigger();
    EXPECT_TRUE(form->errors.isEmpty()) << form->errors.join('\n').toStdString();
    ASSERT_TRUE(form->MissingPhotoLabel->isVisible());
    EXPECT_EQ(form->MissingPhotoLabel->text(), "Foto 1 fehlt: " + photo);
    ASSERT_TRUE(form->FotosuchenBtn->isVisible());
    // Corners and fields are kept while the photograph is missing.
    EXPECT_TRUE(form->currentProject() == saved);

    form->photoAnswers = {moved};
    QTest::mouseClick(form->FotosuchenBtn, Qt::LeftButton);
    EXPECT_FALSE(form->MissingPhotoLabel->isVisible());
    EXPECT_EQ(pixelsOf(form->ws.slot(1).result), pixels);
    const app::Project found = form->currentProject();
    ASSERT_TRUE(found.photos[0]);
    EXPECT_EQ(found.photos[0]->path, moved.toStdString());
    EXPECT_EQ(found.photos[0]->corners, SudokuCorners);
    EXPECT_TRUE(found.panel == saved.panel);
}

struct BadFile {
    const char* name;
    const char* bytes; // nullptr: a FIFO
    const char* message;
};

const BadFile BadFiles[] = {
    {"truncated", R"({"format": "fassadenplan-project", "version": 1, "photos": [{"image": 1,)",
     "ist beschädigt und wird nicht geöffnet."},
    {"foreign", R"({"type": "FeatureCollection", "features": []})",
     "ist keine Fassadenplan-Projektdatei."},
    {"newer", R"({"format": "fassadenplan-project", "version": 7})",
     "stammt aus einer neueren Version von Fassadenplan (Format 7)"},
    {"absurd", R"({"format": "fassadenplan-project", "version": 1,
        "photos": [{"image": 1, "path": "x.png", "fields": {"realWidthCm": 1e300}}]})",
     "enthält einen unmöglichen Wert und wird nicht geöffnet: Breite des gemessenen "
     "Rechtecks in cm (photos[0].fields.realWidthCm)"},
    {"binary", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR", "ist beschädigt und wird nicht geöffnet."},
    {"fifo", nullptr, "kann nicht gelesen werden."},
};

TEST_F(ProjectTest, AFileThatIsNoGoodProjectLeavesTheSessionAsItWas) {
    auto form = window();
    makeSession(*form, samplePath("sudoku.png"));
    const app::Project before = form->currentProject();
    const std::string pixels = pixelsOf(form->ws.slot(1).result);
    for (const BadFile& bad : BadFiles) {
        SCOPED_TRACE(bad.name);
        const QString file = configDir() + "/" + bad.name + ".fassadenplan";
        if (bad.bytes == nullptr) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bad.bytes, static_cast<qint64>(std::char_traits<char>::length(bad.bytes)) +
                                   (std::string_view(bad.name) == "binary" ? 8 : 0));
        }
        form->errors.clear();
        m_boxes.answers = {QMessageBox::Discard}; // the session was never saved
        form->projectOpenAnswers = {file};
        form->Projektffnen1->trigger();
        ASSERT_EQ(form->errors.size(), 1);
        EXPECT_TRUE(form->errors[0].contains(bad.message)) << form->errors[0].toStdString();
        EXPECT_TRUE(form->errors[0].contains(file)) << form->errors[0].toStdString();
        EXPECT_TRUE(form->currentProject() == before);
        EXPECT_EQ(pixelsOf(form->ws.slot(1).result), pixels);
        EXPECT_TRUE(form->projectFile().isEmpty());
    }
}

} // namespace
} // namespace guitest
