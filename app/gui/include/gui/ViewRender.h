#pragma once
// Rendering a whole image into a view's back buffer at the view's size.

#include "pixkit/dib.h"

#include <QImage>

namespace gui {

// Gives `buffer` the size w x h where it differs and draws all of `image`
// into it, scaled nearest-neighbour. A record without pixels leaves the
// buffer black.
void renderImageToBuffer(QImage& buffer, int w, int h, const pixkit::dib& image);

} // namespace gui
