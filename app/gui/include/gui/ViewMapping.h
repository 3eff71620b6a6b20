#pragma once
// Mapping between view pixels and image pixels at the zoom of the views.
// All four views share it: a view position (X, Y) is the image position
// (Round(X * 100 / Z), Round(Y * 100 / Z)), an image of W x H pixels is shown
// at (Round(W * Z / 100), Round(H * Z / 100)). Round is half to even.

#include "rectify/Run.h"

namespace gui {

// View pixel -> image pixel at zoom `zoomPercent` (1 ... 1000).
int viewToImage(int v, int zoomPercent);
// Image pixel -> view pixel; also the view size of an image dimension.
int imageToView(int p, int zoomPercent);

} // namespace gui
