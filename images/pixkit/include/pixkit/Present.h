#pragma once
// Presenting a raster image on a drawing device: the views draw their image,
// at the user's zoom, into their back buffer through DrawDibOnDevice.
//
// Error policy: drawing never fails loudly except for the three fixed English
// messages of the last fallback (shown through Device::messageBox). A record
// without pixels, non-positive sizes and rectangles wholly outside the image
// draw nothing. Every temporary made during a call is released on every path.

#include "pixkit/Device.h"
#include "pixkit/dib.h"

#include <cstdint>

namespace pixkit {

// The fixed texts of the last fallback; shown untranslated.
inline constexpr const char* MsgNoBitmap = "Could not create bitmap.";
inline constexpr const char* MsgNoSetDIBits = "The device does not support the Funtkion setdibits!";
inline constexpr const char* MsgNoStretchBlt =
    "The device does not support the function StretchBlt!";

// Draws the source rectangle of `image` scaled into the destination
// rectangle (xDest, yDest, destWidth x destHeight) of `device`.
// (xSrc, ySrc) is the source rectangle's lower-left corner, ySrc counted up
// from the bottom row; the rectangle is clipped to the image first. 24- and
// 8-bit images go through the row scalers on any device but a raster printer;
// `halftone` halftones 24-bit images for displays of 8 bits or fewer; the
// rest uses the device's stretched transfer with two fallbacks. rasterOp
// applies to the stretched transfers only; the row scalers always copy.
//
// Choices of ours: a source rectangle wholly outside the image (or any
// non-positive size) draws nothing; a halftone copy that cannot be made falls
// through to the other routes; a resampled copy that cannot be made counts as
// refused rows and goes on to the device bitmap. No palette is selected or
// realised: every image shows the colours of its own colour table.
void DrawDibOnDevice(Device& device, int xDest, int yDest, int destWidth, int destHeight,
                     const dib& image, int xSrc, int ySrc, int srcWidth, int srcHeight,
                     bool halftone, std::uint32_t rasterOp);

// Nearest-neighbour row scaler for 24-bit images: one SetDIBitsToDevice per
// destination row. topRow counts from the top picture row. Source rows
// outside the image draw black; destination columns whose source column lies
// outside the image keep the row buffer's earlier content.
void DrawDibRows24(Device& device, int xDest, int yDest, int destWidth, int destHeight,
                   const dib& image, int xSrc, int topRow, int srcWidth, int srcHeight);

// The same for 8-bit images; the row buffer carries the image's colour table.
void DrawDibRows8(Device& device, int xDest, int yDest, int destWidth, int destHeight,
                  const dib& image, int xSrc, int topRow, int srcWidth, int srcHeight);

// Bits per pixel of the display that `device` belongs to.
int ScreenBitsPerPixel(Device& device);

} // namespace pixkit
