#pragma once
// The magnifier of the views: a square of TMainForm::LoupeSize screen pixels
// that shows a picture around one of its pixels, sharp at any zoom.

#include "pixkit/dib.h"
#include "rectify/Run.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>

namespace gui {

// `image` around its pixel `at` at four times the view zoom (at least
// 100 %), with a red cross-hair that frames that pixel; `outside` where the
// picture ends. Null without memory.
QImage loupePicture(const pixkit::dib& image, rectify::TPoint at, int viewZoom, QRgb outside);

// Screen pixels around the mouse the magnifier keeps clear of: the cursor's
// glyph and the box of the corner under it.
inline constexpr int LoupeKeepOut = 32;

// Where the magnifier goes: in the corner of the visible part `seen` of a
// view farthest from the mouse at `mouse` (view pixels), never within
// LoupeKeepOut of it; in a view too small for that, beside the mouse where
// most of it is in sight; null when no place shows any of it.
QRect loupePlace(const QRect& seen, QPoint mouse);

} // namespace gui
