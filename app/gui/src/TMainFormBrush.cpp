// The rectified views' overlay and freehand brush: the blend field, the
// overlay tool window, the brush commands, painting with the mouse, the undo
// of strokes and the brush cursor.

#include "app/Translate.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TMainForm.h"
#include "gui/TMovePicsForm.h"
#include "gui/ViewMapping.h"

#include "pixkit/Overlay.h"

#include <QAction>
#include <QColorDialog>
#include <QCursor>
#include <QDoubleSpinBox>
#include <QKeySequence>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

namespace gui {

namespace {

// Largest brush cursor; bigger discs (a wide brush at a high zoom) show this size.
constexpr int MaxCursorSize = 512;

QColor toQColor(pixkit::Colour c) {
    return QColor(pixkit::redOf(c), pixkit::greenOf(c), pixkit::blueOf(c));
}

pixkit::Colour fromQColor(const QColor& c) {
    return pixkit::rgb(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                       static_cast<std::uint8_t>(c.blue()));
}

} // namespace

// Wires the overlay field, the tool window, the brush menu, the undo item
// and the mouse of the rectified views; called once the controls exist.
void TMainForm::buildOverlayAndBrush() {
    MovePicsForm->repaintOverlay = [this] { PaintBox2Paint(); };

    Rckgngig1 = new QAction(QStringLiteral("Rückgängig"), this);
    Rckgngig1->setObjectName(QStringLiteral("Rckgngig1"));
    Rckgngig1->setShortcut(QKeySequence::Undo);
    N9 = new QAction(this);
    N9->setSeparator(true);
    N9->setObjectName(QStringLiteral("N9"));
    N9->setText(QStringLiteral("-"));
    Bearbeiten1->insertAction(Bildneuberechnen1, Rckgngig1);
    Bearbeiten1->insertAction(Bildneuberechnen1, N9);

    connect(BlendEd, &QSpinBox::valueChanged, this, [this] { BlendEdChange(); });
    connect(bergeblendeteBilderverschieben1, &QAction::triggered, this,
            [this] { bergeblendeteBilderverschieben1Click(); });
    connect(Farbewhlen1, &QAction::triggered, this, [this] { Farbewhlen1Click(); });
    connect(GrererPinsel1, &QAction::triggered, this, [this] { GrererPinsel1Click(); });
    connect(KleinererPinsel1, &QAction::triggered, this, [this] { KleinererPinsel1Click(); });
    connect(ZoomEd, &QSpinBox::valueChanged, this, [this] { updateBrushCursor(); });

    // A click into a rectified view takes the keyboard focus from the fields,
    // so Ctrl+Z right after a stroke undoes the stroke, not a field's typing.
    PaintBox2->setFocusPolicy(Qt::ClickFocus);
    PaintBox3->setFocusPolicy(Qt::ClickFocus);
    PaintBox2->onMouseDown = [this](int x, int y) { PaintBox2MouseDown(x, y); };
    PaintBox2->onMouseMove = [this](int x, int y) { PaintBox2MouseMove(x, y); };
    PaintBox2->onMouseUp = [this](int x, int y) { PaintBox2MouseUp(x, y); };
    PaintBox3->onMouseDown = [this](int x, int y) { PaintBox3MouseDown(x, y); };
    PaintBox3->onMouseMove = [this](int x, int y) { PaintBox3MouseMove(x, y); };
    PaintBox3->onMouseUp = [this](int x, int y) { PaintBox3MouseUp(x, y); };

    updateUndoAction();
    updateBrushCursor();
}

// ---------------------------------------------------------------- overlay

pixkit::OverlaySettings TMainForm::overlaySettings() const {
    pixkit::OverlaySettings s;
    s.blendPercent = BlendEd->value();
    if (MovePicsForm != nullptr) {
        s.zoomPercent = MovePicsForm->ZoomBlendEd->value();
        s.shiftX = MovePicsForm->HorzEd->value();
        s.shiftY = MovePicsForm->VertEd->value();
    }
    return s;
}

void TMainForm::ComposeOverlay() {
    pixkit::ComposeOverlay(ws.slot(1).result, ws.slot(2).result, overlaySettings(), ws.di3.get());
}

void TMainForm::BlendEdChange() {
    PaintBox2Paint();
}

void TMainForm::bergeblendeteBilderverschieben1Click() {
    MovePicsForm->show();
    MovePicsForm->raise();
    MovePicsForm->activateWindow();
}

// ---------------------------------------------------------------- brush commands

std::optional<QColor> TMainForm::chooseColour(const QColor& current) {
    const QColor c =
        QColorDialog::getColor(current, this, app::Translate(QStringLiteral("Farbe wählen")));
    if (!c.isValid())
        return std::nullopt;
    return c;
}

void TMainForm::Farbewhlen1Click() {
    if (const std::optional<QColor> c = chooseColour(toQColor(paintcol)))
        paintcol = fromQColor(*c);
    updateBrushSwatch();
}

void TMainForm::GrererPinsel1Click() {
    pinsel = pixkit::LargerBrush(pinsel);
    updateBrushCursor();
}

void TMainForm::KleinererPinsel1Click() {
    pinsel = pixkit::SmallerBrush(pinsel);
    updateBrushCursor();
}

// ---------------------------------------------------------------- painting

void TMainForm::repaintRectified(int slot) {
    slot == 1 ? PaintBox2Paint() : PaintBox3Paint();
}

void TMainForm::stampAt(int slot, int cx, int cy, double fx, double fy) {
    const pixkit::dib& image = ws.slot(slot).result;
    if (m_strokeSlot == slot)
        m_stroke.saveDisc(image, cx + fx, cy + fy, pinsel);
    pixkit::StampBrush(image, cx, cy, fx, fy, pinsel, paintcol);
}

std::optional<rectify::TPoint> TMainForm::brushPos(int slot, int x, int y) const {
    if (slot == 2 || BlendEd->value() == 0)
        return imagePos(x, y);
    // View 1 shows the composite: the canvas pixel under the cursor, then the
    // pixel of image 1 the composite took there (image 1 is stretched to the
    // canvas and magnified by the tool window's zoom).
    const MeasureTarget t = measureTarget(1, x, y);
    if (!t.valid || !t.overlay)
        return std::nullopt;
    const std::optional<pixkit::OverlayPixel> p = pixkit::OverlayImage1Pixel(
        ws.slot(1).result, ws.slot(2).result, overlaySettings(), t.at.x, t.at.y);
    if (!p)
        return std::nullopt;
    return rectify::TPoint{p->x, p->y};
}

void TMainForm::brushDown(int slot, int x, int y) {
    if (measureDown(slot, x, y))
        return;
    // A press while another stroke is open (a second button) ends that one.
    if (m_strokeSlot != 0)
        brushUp();
    m_stroke = pixkit::StrokeRecord(ws.slot(slot).result);
    m_strokeSlot = slot;
    m_strokeHasOld = false;
    if (const std::optional<rectify::TPoint> p = brushPos(slot, x, y)) {
        stampAt(slot, p->x, p->y, 0.0, 0.0);
        oldx = p->x;
        oldy = p->y;
        m_strokeHasOld = true;
        repaintRectified(slot);
    }
    inpaint = true;
}

void TMainForm::brushMove(int slot, int x, int y) {
    if (measureMove(slot, x, y))
        return;
    if (!inpaint)
        return;
    const std::optional<rectify::TPoint> at = brushPos(slot, x, y);
    if (!at) {
        // Off image 1 on the overlay: the stroke resumes where the cursor
        // comes back, without a line across the part it left.
        m_strokeHasOld = false;
        return;
    }
    const rectify::TPoint a = *at;
    if (!m_strokeHasOld) {
        stampAt(slot, a.x, a.y, 0.0, 0.0);
    } else {
        const pixkit::StrokeSteps steps = pixkit::StrokeBetween(oldx, oldy, a.x, a.y);
        for (std::int64_t f = 0; f <= steps.n; ++f) {
            const auto ff = static_cast<double>(f);
            stampAt(slot, a.x, a.y, ff * steps.ux, ff * steps.uy);
        }
    }
    repaintRectified(slot);
    oldx = a.x;
    oldy = a.y;
    m_strokeHasOld = true;
}

void TMainForm::brushUp() {
    inpaint = false;
    if (m_strokeSlot != 0)
        m_history.pushStroke(m_strokeSlot, std::move(m_stroke));
    m_stroke = pixkit::StrokeRecord();
    m_strokeSlot = 0;
    updateUndoAction();
}

void TMainForm::PaintBox2MouseDown(int x, int y) {
    brushDown(1, x, y);
}
void TMainForm::PaintBox2MouseMove(int x, int y) {
    brushMove(1, x, y);
}
void TMainForm::PaintBox2MouseUp(int, int) {
    brushUp();
}
void TMainForm::PaintBox3MouseDown(int x, int y) {
    brushDown(2, x, y);
}
void TMainForm::PaintBox3MouseMove(int x, int y) {
    brushMove(2, x, y);
}
void TMainForm::PaintBox3MouseUp(int, int) {
    brushUp();
}

// ---------------------------------------------------------------- undo

void TMainForm::rectifiedImageRemade(int slot) {
    // The strokes of the replaced image went to the history with it
    // (keepPaintedPicture) or were dropped with it.
    measureImageRemade(slot);
    // A stroke in progress goes on in the new image.
    if (m_strokeSlot == slot)
        m_stroke = pixkit::StrokeRecord(ws.slot(slot).result);
    updateUndoAction();
}

void TMainForm::updateUndoAction() {
    if (Rckgngig1 != nullptr)
        Rckgngig1->setEnabled(m_history.canUndo());
    if (Wiederholen1 != nullptr)
        Wiederholen1->setEnabled(m_history.canRedo());
}

// ---------------------------------------------------------------- cursor

// A circle as large as the disc the brush paints at the current zoom, drawn
// black and white so it shows on any picture; the hot spot is its centre.
void TMainForm::updateBrushCursor() {
    updateBrushSwatch();
    if (PaintBox2 == nullptr || PaintBox3 == nullptr)
        return;
    const int z = ZoomEd->value();
    // The disc spans 2 * pinsel - 1 image pixels.
    const double across = (2.0 * pinsel - 1.0) * z / 100.0;
    const int diameter = std::clamp(static_cast<int>(std::lround(across)), 3, MaxCursorSize);
    const int size = diameter + 4;
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setBrush(Qt::NoBrush);
        const QRectF circle(2.0, 2.0, diameter - 1.0, diameter - 1.0);
        p.setPen(QPen(Qt::black, 1.0));
        p.drawEllipse(circle.adjusted(-1.0, -1.0, 1.0, 1.0));
        p.setPen(QPen(Qt::white, 1.0));
        p.drawEllipse(circle);
        p.setPen(QPen(Qt::black, 1.0));
        p.drawPoint(size / 2, size / 2);
    }
    const QCursor cursor(pm, size / 2, size / 2);
    PaintBox2->setCursor(cursor);
    PaintBox3->setCursor(cursor);
}

} // namespace gui
