// The lens correction of the main window: "Optionen" -> "Objektivkorrektur".
// While it is checked, a source view shows its photograph as the lens
// database corrects it (straight edges straight), a click or drag in it
// lands on the original pixel the lens draws there, the red quad is drawn
// where the corners lie in the corrected photograph, and the runs correct
// through the lens. The corners themselves always stay in original pixels,
// so switching the correction on and off never moves them.

#include "gui/TMainForm.h"

#include "app/Translate.h"
#include "gui/ViewMapping.h"

#include <QAction>
#include <QFile>
#include <QJsonObject>
#include <QLocale>
#include <QSpinBox>
#include <QStatusBar>

#include <cmath>
#include <limits>

namespace gui {

// The lens of one photograph and the photograph as it corrects it (blended
// from the lens's knots as a run blends them).
struct TMainForm::LensView {
    app::LensApplied applied;
    pixkit::Image corrected; // empty without a lens
    // The photograph it was made for.
    const std::uint8_t* pixels = nullptr;
    int width = 0, height = 0;
};

namespace {

// An original position as a pixel; nothing where the lens gives no finite one
// or it lies beyond any pixel count.
std::optional<rectify::TPoint> pixelAt(rectify::SourcePos p) {
    constexpr double Far = 1e9;
    if (!std::isfinite(p.sx) || !std::isfinite(p.sy) || std::abs(p.sx) > Far ||
        std::abs(p.sy) > Far)
        return std::nullopt;
    return rectify::TPoint{static_cast<std::int32_t>(std::lround(p.sx)),
                           static_cast<std::int32_t>(std::lround(p.sy))};
}

} // namespace

void TMainForm::buildLensOption(
    const std::function<QAction*(QMenu*, const char*, const QString&)>& item) {
    Objektivkorrektur1 = item(Optionen1, "Objektivkorrektur1", QStringLiteral("Objektivkorrektur"));
    Objektivkorrektur1->setCheckable(true);
    // Restoring the stored mark runs nothing; the views look the lens up
    // when they next draw.
    connect(Objektivkorrektur1, &QAction::triggered, this, [this] { Objektivkorrektur1Click(); });
    FormStorage1.addProperty(Objektivkorrektur1, "checked", QStringLiteral("Checked"));
}

void TMainForm::Objektivkorrektur1Click() {
    PaintBox1Paint();
    if (Panel4 != nullptr && Panel4->isVisible())
        PaintBox4Paint();
    Bildneuberechnen1Click();
    // The lens of the photograph the user works on, after the run's own text.
    for (int slot : {1, 2}) {
        if (ws.slot(slot).source.empty())
            continue;
        const QString status = lensStatus(slot);
        StatusBar1->showMessage(
            status.isEmpty() ? app::Translate(QStringLiteral("Objektivkorrektur aus")) : status);
        break;
    }
}

app::LensSetting TMainForm::lensSettingOf(int slot) const {
    if (Objektivkorrektur1 == nullptr || !Objektivkorrektur1->isChecked())
        return {};
    if (const std::optional<QJsonObject>& kept = m_lens[static_cast<std::size_t>(slot - 1)]) {
        const std::optional<app::LensSetting> own = app::projectLensSetting(*kept);
        if (own && own->mode == app::LensSetting::Mode::Poly3)
            return *own;
    }
    return {app::LensSetting::Mode::Auto, 0.0};
}

void TMainForm::applyProjectLens(const app::Project& project) {
    bool on = false;
    for (const std::optional<app::ProjectPhoto>& photo : project.photos)
        if (photo && photo->lens)
            on = on || app::projectLensSetting(*photo->lens).value_or(app::LensSetting{}).mode !=
                           app::LensSetting::Mode::Off;
    Objektivkorrektur1->setChecked(on);
}

app::LensApplied TMainForm::findLens(int slot) const {
    const app::Slot& s = ws.slot(slot);
    return app::applyLensSetting(lensSettingOf(slot), s.fileName, s.source.width(),
                                 s.source.height());
}

void TMainForm::lensSourceChanged(int slot) {
    m_lensView[static_cast<std::size_t>(slot - 1)].reset();
}

const TMainForm::LensView* TMainForm::lensView(int slot) const {
    if (Objektivkorrektur1 == nullptr || !Objektivkorrektur1->isChecked())
        return nullptr;
    const app::Slot& s = ws.slot(slot);
    if (s.source.empty())
        return nullptr;
    std::shared_ptr<LensView>& view = m_lensView[static_cast<std::size_t>(slot - 1)];
    if (view && view->pixels == s.source.pixels() && view->width == s.source.width() &&
        view->height == s.source.height())
        return view.get();
    auto made = std::make_shared<LensView>();
    made->pixels = s.source.pixels();
    made->width = s.source.width();
    made->height = s.source.height();
    made->applied = findLens(slot);
    const rectify::LensGeometry* lens = made->applied.geometry.get();
    if (lens != nullptr && (lens->width() != made->width || lens->height() != made->height))
        made->applied.geometry.reset(); // set up for another photograph
    else if (lens != nullptr)
        made->corrected = rectify::CorrectedPhotograph(s.source.get(), *lens);
    if (made->applied.geometry && made->corrected.empty())
        made->applied.geometry.reset(); // no memory for the corrected view: none
    view = std::move(made);
    return view.get();
}

const rectify::LensGeometry* TMainForm::sourceLens(int slot) const {
    const LensView* view = lensView(slot);
    return view != nullptr ? view->applied.geometry.get() : nullptr;
}

const pixkit::dib& TMainForm::shownSource(int slot) const {
    const LensView* view = lensView(slot);
    if (view != nullptr && view->applied.geometry)
        return view->corrected.get();
    return ws.slot(slot).source.get();
}

rectify::TPoint TMainForm::shownPoint(int slot, rectify::TPoint original) const {
    const rectify::LensGeometry* lens = sourceLens(slot);
    if (lens == nullptr)
        return original;
    return pixelAt(lens->toCorrected(original.x, original.y)).value_or(original);
}

rectify::TPoint TMainForm::sourcePos(int slot, int x, int y) const {
    const rectify::TPoint shown = imagePos(x, y);
    const rectify::LensGeometry* lens = sourceLens(slot);
    if (lens == nullptr)
        return shown;
    return pixelAt(lens->toOriginal(shown.x, shown.y)).value_or(shown);
}

QString TMainForm::lensStatus(int slot) const {
    const LensView* view = lensView(slot);
    if (view == nullptr)
        return {};
    const app::LensApplied& a = view->applied;
    if (a.geometry && !(a.focalMm > 0.0)) // a typed poly3
        return app::Translate(QStringLiteral("Objektiv: %1"))
            .arg(QString::fromStdString(a.lensName));
    if (a.geometry)
        return app::Translate(QStringLiteral("Objektiv: %1 bei %2 mm"))
            .arg(QString::fromStdString(a.lensName), QLocale().toString(a.focalMm, 'g', 4));
    QString why;
    switch (a.lookup) {
    case rectify::LensLookup::NoExif:
        why = app::Translate(QStringLiteral("das Foto nennt keine Kamera"));
        break;
    case rectify::LensLookup::NoCamera:
        why = app::Translate(QStringLiteral("die Kamera fehlt in der Objektivdatenbank"));
        break;
    case rectify::LensLookup::NoLens:
        why = app::Translate(QStringLiteral("das Objektiv fehlt in der Objektivdatenbank"));
        break;
    case rectify::LensLookup::NoFocal:
        why = app::Translate(QStringLiteral("das Foto nennt keine Brennweite"));
        break;
    case rectify::LensLookup::NoProfile:
        why = app::Translate(QStringLiteral("das Objektiv hat kein Verzeichnungsprofil"));
        break;
    case rectify::LensLookup::NoDatabase:
        why = app::Translate(QStringLiteral("die Objektivdatenbank ist nicht lesbar"));
        break;
    case rectify::LensLookup::Found:
        why = app::Translate(QStringLiteral("das Profil passt nicht zum Foto"));
        break;
    }
    return app::Translate(QStringLiteral("Kein Objektiv gefunden: %1")).arg(why);
}

QString TMainForm::withLensStatus(int slot, const QString& text) const {
    const QString lens = lensStatus(slot);
    return lens.isEmpty() ? text : text + QStringLiteral(" · ") + lens;
}

} // namespace gui
