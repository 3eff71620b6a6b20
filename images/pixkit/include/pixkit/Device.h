#pragma once
// The drawing device that images are presented on: the few device operations
// the presentation routine needs (stretched and unscaled transfers, memory
// devices, device capabilities), named after the bitmap transfers they
// perform. A window's back buffer, a printer or a recording test device
// implement it; nothing in pixkit depends on a window system.
//
// Error policy: every operation reports failure through its result (0, a
// null handle or GDI_ERROR) exactly as listed per function; none throws.

#include "pixkit/dib.h"

#include <cstdint>
#include <string>

namespace pixkit {

// deviceCaps indices and results.
inline constexpr int TECHNOLOGY = 2;
inline constexpr int RASTERCAPS = 38;
inline constexpr int DT_RASDISPLAY = 1;
inline constexpr int DT_RASPRINTER = 2;
inline constexpr int RC_BITBLT = 0x1;
inline constexpr int RC_DI_BITMAP = 0x80;
inline constexpr int RC_DIBTODEV = 0x200;
inline constexpr int RC_STRETCHBLT = 0x800;
inline constexpr int RC_STRETCHDIB = 0x2000;

// Stretch modes: COLORONCOLOR drops surplus rows and columns instead of
// blending them.
inline constexpr int BLACKONWHITE = 1;
inline constexpr int WHITEONBLACK = 2;
inline constexpr int COLORONCOLOR = 3;
inline constexpr int HALFTONE = 4;

// Colour usage of DIB transfers: the colour table holds RGB values.
inline constexpr unsigned DIB_RGB_COLORS = 0;

// Raster operations.
inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;
inline constexpr std::uint32_t SRCPAINT = 0x00EE0086;
inline constexpr std::uint32_t SRCAND = 0x008800C6;
inline constexpr std::uint32_t SRCINVERT = 0x00660046;
inline constexpr std::uint32_t NOTSRCCOPY = 0x00330008;
inline constexpr std::uint32_t DSTINVERT = 0x00550009;
inline constexpr std::uint32_t BLACKNESS = 0x00000042;
inline constexpr std::uint32_t WHITENESS = 0x00FF0062;

// Failure value of stretchDIBits.
inline constexpr int GDI_ERROR = -1;

// Handle of a device object (compatible bitmap or memory device); 0 is null.
using DeviceObject = std::uintptr_t;

class Device {
public:
    virtual ~Device() = default;

    // TECHNOLOGY: DT_RASDISPLAY, DT_RASPRINTER, ...; RASTERCAPS: RC_* bits.
    virtual int deviceCaps(int index) = 0;

    // Sets the stretch mode (COLORONCOLOR, ...); returns the previous mode,
    // 0 on failure.
    virtual int setStretchBltMode(int mode) = 0;

    // Stretches the source rectangle of a bottom-up DIB onto the destination
    // rectangle with rasterOp. (xSrc, ySrc) is the rectangle's lower-left
    // corner, ySrc counted up from the bottom row. Returns the number of scan
    // lines copied, GDI_ERROR on failure.
    virtual int stretchDIBits(int xDest, int yDest, int destWidth, int destHeight, int xSrc,
                              int ySrc, int srcWidth, int srcHeight, const void* bits,
                              const BitmapInfo* info, unsigned usage, std::uint32_t rasterOp) = 0;

    // Copies DIB pixels unscaled to (xDest, yDest), width x height. `bits`
    // holds `scanLines` stored rows beginning with stored row `startScan`;
    // (xSrc, ySrc) is the lower-left corner of the source rectangle, ySrc
    // counted up from the bottom row. Returns the scan lines set, 0 on failure.
    virtual int setDIBitsToDevice(int xDest, int yDest, int width, int height, int xSrc, int ySrc,
                                  unsigned startScan, unsigned scanLines, const void* bits,
                                  const BitmapInfo* info, unsigned usage) = 0;

    // A bitmap of the device's own format, width x height; 0 on failure.
    virtual DeviceObject createCompatibleBitmap(int width, int height) = 0;

    // A memory device compatible with this one; 0 on failure. It starts with
    // a stock 1 x 1 bitmap selected.
    virtual DeviceObject createCompatibleDC() = 0;

    // Copies `scanLines` stored DIB rows, beginning with stored row
    // `startScan`, into a compatible bitmap. Returns the lines copied, 0 on
    // failure.
    virtual int setDIBits(DeviceObject bitmap, unsigned startScan, unsigned scanLines,
                          const void* bits, const BitmapInfo* info, unsigned usage) = 0;

    // Selects a bitmap into a memory device; returns the bitmap selected
    // before, 0 on failure.
    virtual DeviceObject selectObject(DeviceObject memoryDc, DeviceObject object) = 0;

    // Stretches a rectangle of the bitmap selected into `sourceDc` onto this
    // device. Source coordinates are top-down, as in any device. Returns 0 on
    // failure.
    virtual int stretchBlt(int xDest, int yDest, int destWidth, int destHeight,
                           DeviceObject sourceDc, int xSrc, int ySrc, int srcWidth, int srcHeight,
                           std::uint32_t rasterOp) = 0;

    // Release a memory device / a bitmap; 0 on failure (a bitmap that is still
    // selected into a memory device cannot be deleted).
    virtual int deleteDC(DeviceObject memoryDc) = 0;
    virtual int deleteObject(DeviceObject object) = 0;

    // Bits per pixel of the display this device belongs to.
    virtual int screenBitsPerPixel() = 0;

    // Shows a modal message box with an OK button, no caption of our own.
    virtual void messageBox(const std::string& text) = 0;
};

} // namespace pixkit
