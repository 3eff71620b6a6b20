// The output options of the main window: how the rectified images sample the
// photograph ("Interpolation") and whether saving also writes a world file.

#include "gui/TMainForm.h"

#include "gui/TJPEGQualForm.h"

#include <QAction>
#include <QActionGroup>
#include <QDoubleSpinBox>
#include <QFile>
#include <QMenu>
#include <QSpinBox>

namespace gui {

void TMainForm::buildOutputOptions(
    const std::function<QMenu*(QMenu*, const char*, const QString&)>& menu,
    const std::function<QAction*(QMenu*, const char*, const QString&)>& item) {
    Interpolation1 = menu(Optionen1, "Interpolation1", QStringLiteral("Interpolation"));
    InterpolationGroup = new QActionGroup(this);
    InterpolationGroup->setObjectName(QStringLiteral("InterpolationGroup"));
    InterpolationGroup->setExclusive(true);
    NchsterNachbar1 = item(Interpolation1, "NchsterNachbar1", QStringLiteral("Nächster Nachbar"));
    Bilinear1 = item(Interpolation1, "Bilinear1", QStringLiteral("Bilinear"));
    Bikubisch1 = item(Interpolation1, "Bikubisch1", QStringLiteral("Bikubisch"));
    for (QAction* a : {NchsterNachbar1, Bilinear1, Bikubisch1}) {
        a->setCheckable(true);
        InterpolationGroup->addAction(a);
        // Only the user's choice reruns; restoring the stored choice does not.
        connect(a, &QAction::triggered, this, [this] { Interpolation1Click(); });
        FormStorage1.addProperty(a, "checked", QStringLiteral("Checked"));
    }
    NchsterNachbar1->setChecked(true);
    Weltdateimitspeichern1 =
        item(Optionen1, "Weltdateimitspeichern1", QStringLiteral("Weltdatei mitspeichern"));
    Weltdateimitspeichern1->setCheckable(true);
    FormStorage1.addProperty(Weltdateimitspeichern1, "checked", QStringLiteral("Checked"));
}

rectify::Interpolation TMainForm::interpolation() const {
    if (Bilinear1 != nullptr && Bilinear1->isChecked())
        return rectify::Interpolation::Bilinear;
    if (Bikubisch1 != nullptr && Bikubisch1->isChecked())
        return rectify::Interpolation::Bicubic;
    return rectify::Interpolation::Nearest;
}

void TMainForm::Interpolation1Click() {
    Bildneuberechnen1Click();
}

rectify::RunScale TMainForm::savedScale(int slot) const {
    if (const std::optional<rectify::RunScale>& made = ws.slot(slot).scale)
        return *made;
    // An image no run made (a test's, or one drawn by hand): the fields' scale.
    rectify::RunScale fields;
    fields.realWidthCm = BreiteED->value();
    fields.realHeightCm = HoeheEd->value();
    fields.areaPercent = RechenbereichEd->value();
    return fields;
}

app::RectifiedWrite TMainForm::writeRectifiedFile(int slot, const QString& file) {
    // The scale the picture was made with, not what the fields hold now: the
    // hold box or a refused value may have left them ahead of the picture.
    const rectify::RunScale scale = savedScale(slot);
    app::RectifiedOptions options;
    options.write.jpegQuality = JPEGQualForm->quality();
    options.worldFile = Weltdateimitspeichern1->isChecked();
    options.unit = drawingChoice().unit; // the world file overlays the drawing
    return app::WriteRectified(ws.slot(slot).result.get(), QFile::encodeName(file).toStdString(),
                               scale.realWidthCm, scale.areaPercent, options);
}

} // namespace gui
