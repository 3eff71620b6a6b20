#pragma once
// Rendering an image into a view's back buffer at the view's size: all of
// the view, or only the part of it the user can see.

#include "pixkit/dib.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace gui {

// Gives `buffer` the size w x h where it differs and draws all of `image`
// into it, scaled nearest-neighbour. A record without pixels leaves the
// buffer black.
void renderImageToBuffer(QImage& buffer, int w, int h, const pixkit::dib& image);

// Views larger than this many pixels keep only their visible part (plus
// ViewMarginPixels on each side) in the back buffer; smaller views keep all
// of themselves, so scrolling them never draws.
inline constexpr qint64 WholeViewPixels = qint64{1} << 22;
inline constexpr int ViewMarginPixels = 128;

// The part of a view of `viewSize` its back buffer holds when `visible` is
// the part the user sees: the whole view up to `wholeLimit` pixels, else the
// visible part widened by the margin, within the view.
QRect bufferPart(QSize viewSize, const QRect& visible, qint64 wholeLimit = WholeViewPixels);

// Draws the view pixels `part` of a view that shows all of `image` scaled to
// `viewSize` into `buffer` (which gets part's size): buffer pixel (x, y) is
// what pixel part.topLeft() + (x, y) of renderImageToBuffer at `viewSize`
// shows. A record without pixels leaves the buffer black.
void renderViewPart(QImage& buffer, QSize viewSize, const QRect& part, const pixkit::dib& image);

// The image pixels the view pixels `part` show when all of an image of
// `imageSize` is scaled to `viewSize`; empty when any of them is empty.
QRect imagePartShown(QSize viewSize, const QRect& part, QSize imageSize);

// renderViewPart for an image of `imageSize` of which only `piece` is at
// hand: its pixel (0, 0) is image pixel `pieceOrigin`. The buffer shows what
// renderViewPart would show of the whole image; it stays black when `piece`
// is not 24 bits or lacks a pixel the part shows.
void renderViewPartOfPiece(QImage& buffer, QSize viewSize, const QRect& part, QSize imageSize,
                           const pixkit::dib& piece, QPoint pieceOrigin);

// The same, pixel by pixel through getpixel: the straightforward version the
// fast one is checked and measured against. 24-bit images.
void renderViewPartReference(QImage& buffer, QSize viewSize, const QRect& part,
                             const pixkit::dib& image);

// The red pen of the corner quad, two pixels wide, drawn the same way into
// a whole-view buffer and into a part of it: `origin` is the view pixel of
// the buffer's top-left pixel, `a` and `b` are view pixels. Each step along
// the line's longer axis sets the pixel on the line and the one before it
// across; the line starts one step early (a square end), so joined lines and
// boxes close. Pixels outside the buffer are skipped without walking to them.
void drawWideLine(QImage& buffer, QPoint origin, QPoint a, QPoint b, QRgb colour);

} // namespace gui
