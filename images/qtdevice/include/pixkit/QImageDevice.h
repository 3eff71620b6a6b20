#pragma once
// The real drawing device of the views: a QImage back buffer. Needs QtGui
// only, no display, so the views' drawing also runs in the batch mode, tests
// and benchmarks.
//
// Transfers are nearest-neighbour (the COLORONCOLOR stretch mode), clipped to
// the back buffer; pixels outside it are dropped. Compatible bitmaps and
// memory devices are small in-memory objects owned by the device until they
// are deleted (anything left over is freed with the device).

#include "pixkit/Device.h"
#include "pixkit/dib.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace pixkit {

class QImageDevice : public Device {
public:
    using MessageSink = std::function<void(const std::string&)>;

    // Draws into `target`, which must outlive the device. Format_RGB32,
    // Format_ARGB32(_Premultiplied) and Format_RGB888 are drawn into as they
    // are; a target of any other format is converted to Format_RGB32 first.
    explicit QImageDevice(QImage& target, int screenBits = 32);
    ~QImageDevice() override;
    QImageDevice(const QImageDevice&) = delete;
    QImageDevice& operator=(const QImageDevice&) = delete;

    // Where messageBox texts go; the default prints them to stderr.
    void setMessageSink(MessageSink sink);

    // Number of live compatible bitmaps and memory devices (leak checks).
    int liveObjects() const { return static_cast<int>(m_objects.size()); }

    int deviceCaps(int index) override;
    int setStretchBltMode(int mode) override;
    int stretchDIBits(int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                      int srcWidth, int srcHeight, const void* bits, const BitmapInfo* info,
                      unsigned usage, std::uint32_t rasterOp) override;
    int setDIBitsToDevice(int xDest, int yDest, int width, int height, int xSrc, int ySrc,
                          unsigned startScan, unsigned scanLines, const void* bits,
                          const BitmapInfo* info, unsigned usage) override;
    DeviceObject createCompatibleBitmap(int width, int height) override;
    DeviceObject createCompatibleDC() override;
    int setDIBits(DeviceObject bitmap, unsigned startScan, unsigned scanLines, const void* bits,
                  const BitmapInfo* info, unsigned usage) override;
    DeviceObject selectObject(DeviceObject memoryDc, DeviceObject object) override;
    int stretchBlt(int xDest, int yDest, int destWidth, int destHeight, DeviceObject sourceDc,
                   int xSrc, int ySrc, int srcWidth, int srcHeight,
                   std::uint32_t rasterOp) override;
    int deleteDC(DeviceObject memoryDc) override;
    int deleteObject(DeviceObject object) override;
    int screenBitsPerPixel() override;
    void messageBox(const std::string& text) override;

private:
    struct Object;
    Object* find(DeviceObject handle, bool wantDc);

    QImage& m_target;
    int m_screenBits;
    int m_stretchMode = BLACKONWHITE;
    MessageSink m_sink;
    std::map<DeviceObject, std::unique_ptr<Object>> m_objects;
    DeviceObject m_nextHandle = 0x100;
};

// The straightforward definition of a row-scaled view, pixel by pixel with
// getpixel and QImage::setPixel: destination pixel (xDest + i, yDest + r)
// shows picture pixel (xSrc + srcWidth * i / destWidth,
// topRow + srcHeight * r / destHeight), black where that lies outside the
// image. 24-bit images only. Kept as the
// reference the fast path is checked and measured against.
void drawDibRowsReference(QImage& target, int xDest, int yDest, int destWidth, int destHeight,
                          const dib& image, int xSrc, int topRow, int srcWidth, int srcHeight);

} // namespace pixkit
