#pragma once
// A drawing device for tests: logs every call with its arguments, keeps a
// copy of the pixel bytes handed to unscaled transfers, and can pose as a
// raster printer, as a display of few colours, as a device without unscaled
// DIB transfers, or refuse any of the transfers.

#include "pixkit/Device.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace presenttest {

using namespace pixkit;

struct Call {
    std::string name;
    std::vector<long long> args;     // the integer arguments, in order
    int bitCount = 0;                // of the DIB handed over, if any
    const void* bits = nullptr;      // the DIB's pixel pointer, if any
    std::vector<std::uint8_t> bytes; // unscaled transfers: the rows sent
    std::vector<RgbQuad> table;      // unscaled transfers: the colour table
};

class RecordingDevice : public Device {
public:
    int technology = DT_RASDISPLAY;
    int rasterCaps = RC_BITBLT | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    int screenBits = 32;
    bool refuseStretchDIBits = false;
    bool refuseSetDIBitsToDevice = false;
    bool refuseCreateBitmap = false;
    bool refuseSetDIBits = false;
    bool refuseStretchBlt = false;

    std::vector<Call> calls;
    std::vector<std::string> messages;
    std::set<DeviceObject> live; // bitmaps and memory devices not yet deleted
    int created = 0;
    int deleted = 0;

    std::vector<const Call*> named(const std::string& name) const {
        std::vector<const Call*> out;
        for (const Call& c : calls)
            if (c.name == name)
                out.push_back(&c);
        return out;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const Call& c : calls)
            out.push_back(c.name);
        return out;
    }

    int deviceCaps(int index) override {
        log("deviceCaps", {index});
        return index == TECHNOLOGY ? technology : index == RASTERCAPS ? rasterCaps : 0;
    }
    int setStretchBltMode(int mode) override {
        log("setStretchBltMode", {mode});
        return BLACKONWHITE;
    }
    int stretchDIBits(int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                      int srcWidth, int srcHeight, const void* bits, const BitmapInfo* info,
                      unsigned usage, std::uint32_t rasterOp) override {
        Call& c = log("stretchDIBits", {xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth,
                                        srcHeight, usage, rasterOp});
        c.bitCount = info->bmiHeader.biBitCount;
        c.bits = bits;
        return refuseStretchDIBits ? GDI_ERROR : srcHeight;
    }
    int setDIBitsToDevice(int xDest, int yDest, int width, int height, int xSrc, int ySrc,
                          unsigned startScan, unsigned scanLines, const void* bits,
                          const BitmapInfo* info, unsigned usage) override {
        Call& c = log("setDIBitsToDevice",
                      {xDest, yDest, width, height, xSrc, ySrc, startScan, scanLines, usage});
        const BitmapInfoHeader& h = info->bmiHeader;
        c.bitCount = h.biBitCount;
        c.bits = bits;
        const auto size = static_cast<std::size_t>(rowBytes(h.biWidth, h.biBitCount)) * scanLines;
        const auto* p = static_cast<const std::uint8_t*>(bits);
        c.bytes.assign(p, p + size);
        c.table.assign(info->bmiColors, info->bmiColors + 256);
        return refuseSetDIBitsToDevice ? 0 : static_cast<int>(scanLines);
    }
    DeviceObject createCompatibleBitmap(int width, int height) override {
        log("createCompatibleBitmap", {width, height});
        return refuseCreateBitmap ? 0 : make();
    }
    DeviceObject createCompatibleDC() override {
        log("createCompatibleDC", {});
        return make();
    }
    int setDIBits(DeviceObject bitmap, unsigned startScan, unsigned scanLines, const void* bits,
                  const BitmapInfo* info, unsigned usage) override {
        Call& c = log("setDIBits", {static_cast<long long>(bitmap), startScan, scanLines, usage});
        c.bitCount = info->bmiHeader.biBitCount;
        c.bits = bits;
        return refuseSetDIBits ? 0 : static_cast<int>(scanLines);
    }
    DeviceObject selectObject(DeviceObject memoryDc, DeviceObject object) override {
        log("selectObject", {static_cast<long long>(memoryDc), static_cast<long long>(object)});
        return live.count(memoryDc) != 0 ? StockObject : 0;
    }
    int stretchBlt(int xDest, int yDest, int destWidth, int destHeight, DeviceObject sourceDc,
                   int xSrc, int ySrc, int srcWidth, int srcHeight,
                   std::uint32_t rasterOp) override {
        log("stretchBlt", {xDest, yDest, destWidth, destHeight, static_cast<long long>(sourceDc),
                           xSrc, ySrc, srcWidth, srcHeight, rasterOp});
        return refuseStretchBlt ? 0 : 1;
    }
    int deleteDC(DeviceObject memoryDc) override {
        log("deleteDC", {static_cast<long long>(memoryDc)});
        return drop(memoryDc);
    }
    int deleteObject(DeviceObject object) override {
        log("deleteObject", {static_cast<long long>(object)});
        return drop(object);
    }
    int screenBitsPerPixel() override {
        log("screenBitsPerPixel", {});
        return screenBits;
    }
    void messageBox(const std::string& text) override {
        log("messageBox", {});
        messages.push_back(text);
    }

    static constexpr DeviceObject StockObject = 7;

private:
    Call& log(const std::string& name, std::vector<long long> args) {
        calls.push_back(Call{name, std::move(args), 0, nullptr, {}, {}});
        return calls.back();
    }
    DeviceObject make() {
        const DeviceObject h = m_next++;
        live.insert(h);
        ++created;
        return h;
    }
    int drop(DeviceObject h) {
        if (live.erase(h) == 0)
            return 0;
        ++deleted;
        return 1;
    }
    DeviceObject m_next = 100;
};

} // namespace presenttest
