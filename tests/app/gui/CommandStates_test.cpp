// The commands that need an image are enabled only while it is there: the
// DXF export with rectified image 1, the overlay and image 2's commands with
// image 2's photograph, "Bild 2 wieder ausblenden" while its row is shown.
// Each state is reached the way a user reaches it: opening, hiding, a
// project with or without image 2, one whose photograph 2 has gone.

#include "GuiTestSupport.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPushButton>

#include <functional>
#include <vector>

namespace guitest {
namespace {

class CommandStatesTest : public GuiTest {};

TEST_F(CommandStatesTest, CommandsFollowTheImagesTheyNeed) {
    auto form = shownForm();
    form->realRuns = true;
    form->BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(false);
    const QString photo2 = configDir() + "/zwei.png";
    ASSERT_TRUE(QFile::copy(samplePath("sudoku.png"), photo2));
    const QString onlyImage1 = configDir() + "/eins.fassadenplan";
    const QString both = configDir() + "/beide.fassadenplan";

    struct Step {
        const char* what;
        std::function<void()> act;
        // "Bild 2 wieder ausblenden", "Übergeblendete Bilder verschieben...",
        // "Rotieren Bild 2", "Export als DXF Datei..."
        std::vector<bool> enabled;
    };
    const std::vector<Step> steps = {
        {"start", [] {}, {false, false, false, false}},
        {"photograph 1 opened",
         [&] {
             form->openAnswers = {samplePath("sudoku.png")};
             form->Bildffnen1->trigger();
         },
         {false, false, false, false}},
        {"image 1 rectified",
         [&] {
             form->placeCorners({{{72, 84}, {492, 69}, {520, 521}, {35, 517}}});
             ASSERT_TRUE(form->saveProject(onlyImage1));
         },
         {false, false, false, true}},
        {"image 2 opened",
         [&] {
             form->openAnswers = {photo2};
             form->Bild2ffnen1->trigger();
         },
         {true, true, true, true}},
        {"row of image 2 hidden",
         [&] { form->Bild2wiederausblenden1->trigger(); },
         {false, true, true, true}},
        {"image 2 opened by its button",
         [&] {
             form->openAnswers = {photo2};
             form->BitBtnXP1->click();
             ASSERT_TRUE(form->saveProject(both));
         },
         {true, true, true, true}},
        {"project without image 2",
         [&] { ASSERT_TRUE(form->openProject(onlyImage1)); },
         {false, false, false, true}},
        {"project whose photograph 2 has gone",
         [&] {
             ASSERT_TRUE(QFile::remove(photo2));
             ASSERT_TRUE(form->openProject(both));
         },
         {true, false, false, true}},
        {"its row hidden",
         [&] { form->Bild2wiederausblenden1->trigger(); },
         {false, false, false, true}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        const std::vector<bool> enabled = {form->Bild2wiederausblenden1->isEnabled(),
                                           form->bergeblendeteBilderverschieben1->isEnabled(),
                                           form->RotierenBild21->menuAction()->isEnabled(),
                                           form->ExportalsDXFDatei1->isEnabled()};
        EXPECT_EQ(enabled, step.enabled);
    }
}

} // namespace
} // namespace guitest
