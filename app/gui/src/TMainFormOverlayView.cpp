// The overlay in view 2 when the view keeps only its visible part: a 24 MP
// canvas is blended only where the user looks, and again when the view
// scrolls or zooms past what was blended. What needs all of the composite
// (the magnifier of the measuring) composes it whole, once, when it asks.

#include "gui/PaintBoxView.h"
#include "gui/TMainForm.h"
#include "gui/ViewMapping.h"
#include "gui/ViewRender.h"

#include "pixkit/Overlay.h"

namespace gui {

bool TMainForm::paintOverlayPart(QSize canvas) {
    const QSize size = PaintBox2->size();
    const QRect part = bufferPart(size, PaintBox2->visibleRect(), m_wholeViewPixels);
    if (part == QRect(QPoint(0, 0), size) || canvas.isEmpty())
        return false;
    const QRect shown = imagePartShown(size, part, canvas);
    pixkit::ComposeOverlayPart(ws.slot(1).result, ws.slot(2).result, overlaySettings(),
                               {shown.x(), shown.y(), shown.width(), shown.height()},
                               m_overlayPiece.get());
    // Without a piece (no memory) the part stays black, as the whole view does.
    renderViewPartOfPiece(bit1, size, part, canvas, m_overlayPiece, shown.topLeft());
    PaintBox2->setBufferOrigin(part.topLeft());
    m_wholeOverlayStale = true;
    PaintBox2->update();
    return true;
}

void TMainForm::composeWholeOverlay() {
    if (!m_wholeOverlayStale)
        return;
    ComposeOverlay();
    m_wholeOverlayStale = false;
}

} // namespace gui
