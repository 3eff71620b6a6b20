// How the main window writes its drawings: "Optionen" -> "DXF-Format" (the
// plain drawing or the CAD drawing with its unit and photograph),
// "Optionen" -> "Einheiten" (the unit of the drawing and the world file) and
// the field "Mindestgröße DXF:" beside the threshold.

#include "app/Translate.h"
#include "gui/FaultText.h"
#include "gui/TMainForm.h"

#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QMenu>
#include <QSpinBox>

namespace gui {

void TMainForm::buildDrawingOptions(
    const std::function<QMenu*(QMenu*, const char*, const QString&)>& menu,
    const std::function<QAction*(QMenu*, const char*, const QString&)>& item) {
    // Radio items whose mark the user store keeps; the first is the default.
    auto radioItems = [this](QActionGroup*& group, const char* groupName,
                             std::initializer_list<QAction*> items) {
        group = new QActionGroup(this);
        group->setObjectName(QString::fromLatin1(groupName));
        group->setExclusive(true);
        for (QAction* a : items) {
            a->setCheckable(true);
            group->addAction(a);
            FormStorage1.addProperty(a, "checked", QStringLiteral("Checked"));
        }
        (*items.begin())->setChecked(true);
    };
    DXFFormat1 = menu(Optionen1, "DXFFormat1", QStringLiteral("DXF-Format"));
    Einfach1 = item(DXFFormat1, "Einfach1", QStringLiteral("Einfach"));
    CADmitEinheitenundFoto1 =
        item(DXFFormat1, "CADmitEinheitenundFoto1", QStringLiteral("CAD (mit Einheiten und Foto)"));
    radioItems(DxfFormatGroup, "DxfFormatGroup", {Einfach1, CADmitEinheitenundFoto1});

    Einheiten1 = menu(Optionen1, "Einheiten1", QStringLiteral("Einheiten"));
    EinheitAutomatisch1 =
        item(Einheiten1, "EinheitAutomatisch1", QStringLiteral("Automatisch (1, 10, 100 ... cm)"));
    Millimeter1 = item(Einheiten1, "Millimeter1", QStringLiteral("Millimeter"));
    Zentimeter1 = item(Einheiten1, "Zentimeter1", QStringLiteral("Zentimeter"));
    Meter1 = item(Einheiten1, "Meter1", QStringLiteral("Meter"));
    radioItems(UnitGroup, "UnitGroup", {EinheitAutomatisch1, Millimeter1, Zentimeter1, Meter1});

    FormStorage1.addProperty(MindestgroesseEd, "value", QStringLiteral("Value"));
}

app::DrawingChoice TMainForm::drawingChoice() const {
    app::DrawingChoice choice;
    if (CADmitEinheitenundFoto1 != nullptr && CADmitEinheitenundFoto1->isChecked())
        choice.format = lines::DxfFormat::Cad;
    if (Millimeter1 != nullptr && Millimeter1->isChecked())
        choice.unit = lines::DrawingUnit::Mm;
    else if (Zentimeter1 != nullptr && Zentimeter1->isChecked())
        choice.unit = lines::DrawingUnit::Cm;
    else if (Meter1 != nullptr && Meter1->isChecked())
        choice.unit = lines::DrawingUnit::M;
    if (MindestgroesseEd != nullptr)
        choice.minSizePx = MindestgroesseEd->value();
    return choice;
}

bool TMainForm::writeDrawingFile(const QString& file, const pixkit::dib* picture) {
    // The drawing's scale is the one rectified image 1 was made with.
    const rectify::RunScale scale = savedScale(1);
    const app::DrawingWrite written =
        app::WriteTracedDrawing(QFile::encodeName(file).toStdString(), ws, picture, scale,
                                drawingChoice(), ws.slot(1).fileName);
    if (written.wouldReplacePhotograph)
        reportError(app::Translate(QStringLiteral("Das Foto zur CAD-Zeichnung würde das "
                                                  "entzerrte Foto ersetzen. Bitte der Zeichnung "
                                                  "einen anderen Namen geben:")) +
                    QLatin1Char(' ') + file);
    else if (const QString why = faultText(written.fault); !written.ok())
        reportError(app::MessageText(9) + file + (why.isEmpty() ? QString() : '\n' + why));
    return written.ok();
}

} // namespace gui
