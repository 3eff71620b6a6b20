// The four views of the main window: drawing the source images with the
// corner quad, the rectified images, and the corner input with the mouse.

#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TMainForm.h"
#include "gui/ViewMapping.h"
#include "gui/ViewRender.h"

#include "pixkit/Overlay.h"

#include <QAction>
#include <QSpinBox>

namespace gui {

namespace {

// The size of a whole image in a view at the zoom; 0 x 0 without an image.
QSize viewSize(const pixkit::dib& image, int zoom) {
    if (image.poi == nullptr || image.pmi == nullptr)
        return {0, 0};
    return {imageToView(pixkit::dibwidth(image), zoom),
            imageToView(pixkit::dibheight(image), zoom)};
}

// Gives the view the size of its picture. True when the size changed: the
// view then calls its paint handler again from its resize, which draws.
bool sizeView(PaintBoxView* view, QSize size) {
    if (view->size() == size)
        return false;
    view->resize(size);
    return true;
}

} // namespace

void TMainForm::setWholeViewPixels(qint64 limit) {
    m_wholeViewPixels = limit;
}

QRect TMainForm::renderView(PaintBoxView* view, QImage& buffer, QSize size,
                            const pixkit::dib& image) {
    const QRect part = bufferPart(size, view->visibleRect(), m_wholeViewPixels);
    if (part == QRect(QPoint(0, 0), size))
        renderImageToBuffer(buffer, size.width(), size.height(), image);
    else
        renderViewPart(buffer, size, part, image);
    view->setBufferOrigin(part.topLeft());
    return part;
}

rectify::TPoint TMainForm::imagePos(int x, int y) const {
    const int z = ZoomEd->value();
    return {viewToImage(x, z), viewToImage(y, z)};
}

PaintBoxView* TMainForm::sourceView(int slot) const {
    return slot == 1 ? PaintBox1 : PaintBox4;
}

// ---------------------------------------------------------------- drawing

void TMainForm::MarkCorner(QImage& buffer, QPoint origin, int vx, int vy) {
    // The hollow box from (vx - 3, vy - 3) to (vx + 3, vy + 3).
    const QRgb red = qRgb(255, 0, 0);
    const QPoint tl(vx - 3, vy - 3), tr(vx + 3, vy - 3), br(vx + 3, vy + 3), bl(vx - 3, vy + 3);
    drawWideLine(buffer, origin, tl, tr, red);
    drawWideLine(buffer, origin, tr, br, red);
    drawWideLine(buffer, origin, br, bl, red);
    drawWideLine(buffer, origin, bl, tl, red);
}

void TMainForm::paintSource(int slot, PaintBoxView* view, QImage& buffer) {
    const app::Slot& s = ws.slot(slot);
    const pixkit::dib& image = shownSource(slot);
    const int z = ZoomEd->value();
    const QSize size = viewSize(image, z);
    if (sizeView(view, size))
        return;
    const QRect part = renderView(view, buffer, size, image);
    if ((s.insetmode() || s.setted()) && !buffer.isNull()) {
        // The quad in view pixels; the buffer holds `part` of the view.
        const QPoint origin = part.topLeft();
        const QRgb red = qRgb(255, 0, 0);
        auto at = [&](int i) {
            const rectify::TPoint c = shownPoint(slot, s.corners[static_cast<std::size_t>(i)]);
            return QPoint(imageToView(c.x, z), imageToView(c.y, z));
        };
        QPoint pen = at(0);
        MarkCorner(buffer, origin, pen.x(), pen.y());
        for (int i = 1; i <= s.lastDrawn(); ++i) {
            const QPoint next = at(i);
            drawWideLine(buffer, origin, pen, next, red);
            MarkCorner(buffer, origin, next.x(), next.y());
            pen = next;
        }
        drawWideLine(buffer, origin, pen, at(0), red);
    }
    view->update();
}

void TMainForm::paintResult(const pixkit::dib& image, PaintBoxView* view, QImage& buffer) {
    const QSize size = viewSize(image, ZoomEd->value());
    if (sizeView(view, size))
        return;
    renderView(view, buffer, size, image);
    view->update();
}

void TMainForm::PaintBox1Paint() {
    paintSource(1, PaintBox1, bit0);
}

void TMainForm::PaintBox4Paint() {
    paintSource(2, PaintBox4, dit0);
}

void TMainForm::PaintBox2Paint() {
    updateSaveCommands();
    if (BlendEd->value() == 0) {
        paintResult(ws.slot(1).result, PaintBox2, bit1);
        return;
    }
    // The view first takes the size of the canvas; that resize repaints, so
    // the overlay is composed once per repaint.
    const pixkit::OverlaySize canvas =
        pixkit::OverlayCanvasSize(ws.slot(1).result, ws.slot(2).result);
    const int z = ZoomEd->value();
    if (static_cast<std::int64_t>(canvas.width) * canvas.height <= pixkit::MaxOverlayPixels &&
        sizeView(PaintBox2, {imageToView(canvas.width, z), imageToView(canvas.height, z)}))
        return;
    if (paintOverlayPart(QSize(canvas.width, canvas.height)))
        return;
    ComposeOverlay();
    m_wholeOverlayStale = false;
    if (ws.di3.empty()) {
        // No canvas (no memory, or more than 2^28 pixels): the view stays at
        // its size and shows black, instead of shrinking and repainting again.
        renderView(PaintBox2, bit1, PaintBox2->size(), ws.di3);
        PaintBox2->update();
        return;
    }
    paintResult(ws.di3, PaintBox2, bit1);
}

void TMainForm::PaintBox3Paint() {
    updateSaveCommands();
    paintResult(ws.slot(2).result, PaintBox3, dit1);
}

// ---------------------------------------------------------------- corner input

app::CornerOptions TMainForm::cornerOptions() const {
    return {LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1->isChecked(),
            BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->isChecked()};
}

void TMainForm::applyCornerStep(int slot, const app::CornerStep& step) {
    if (step.run)
        render(slot);
    if (step.repaint)
        slot == 1 ? PaintBox1Paint() : PaintBox4Paint();
    if (step.cursor != app::CornerCursor::Keep)
        sourceView(slot)->setCursor(step.cursor == app::CornerCursor::Hand ? Qt::PointingHandCursor
                                                                           : Qt::CrossCursor);
}

void TMainForm::placeCorners(const rectify::Corners& corners) {
    applyCornerStep(
        1, ws.completeQuad(1, corners,
                           BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->isChecked()));
}

void TMainForm::PaintBox1MouseDown(int x, int y) {
    sourceDown(1, x, y);
}
void TMainForm::PaintBox1MouseMove(int x, int y) {
    sourceMove(1, x, y);
}
void TMainForm::PaintBox1MouseUp(int x, int y) {
    sourceUp(1, x, y);
}
void TMainForm::PaintBox4MouseDown(int x, int y) {
    sourceDown(2, x, y);
}
void TMainForm::PaintBox4MouseMove(int x, int y) {
    sourceMove(2, x, y);
}
void TMainForm::PaintBox4MouseUp(int x, int y) {
    sourceUp(2, x, y);
}

} // namespace gui
