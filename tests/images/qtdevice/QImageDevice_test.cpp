// The QImage back buffer as a drawing device.

#include "TestImages.h"
#include "testsupport/CaseNames.h"

#include "pixkit/Present.h"
#include "pixkit/QImageDevice.h"

#include <gtest/gtest.h>

#include <QImage>

#include <climits>
#include <random>
#include <set>
#include <vector>

using namespace pixkit;
using namespace presenttest;

namespace {

QRgb shown(Colour c) {
    return qRgb(redOf(c), greenOf(c), blueOf(c));
}

QImage canvas(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(qRgb(1, 2, 3));
    return image;
}

// A 3 x 2 picture drawn at several zooms; the expected source column and row
// of every destination pixel are spelled out.
struct ZoomCase {
    const char* name;
    int destWidth, destHeight;
    std::vector<int> columns, rows;
};

class ZoomTest : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(ZoomTest, BackBufferShowsTheNearestPixels) {
    const ZoomCase& c = GetParam();
    DibHolder image = coordinatePicture(3, 2, 99);
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
        QImage target = canvas(10, 6, format);
        QImageDevice device(target);
        DrawDibOnDevice(device, 1, 1, c.destWidth, c.destHeight, image.get(), 0, 0, 3, 2, false,
                        SRCCOPY);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 10; ++x) {
                const int i = x - 1, r = y - 1;
                const QRgb expected = (i >= 0 && i < c.destWidth && r >= 0 && r < c.destHeight)
                                          ? qRgb(c.columns[static_cast<std::size_t>(i)],
                                                 c.rows[static_cast<std::size_t>(r)], 99)
                                          : qRgb(1, 2, 3);
                EXPECT_EQ(target.pixel(x, y), expected) << x << "," << y << " " << format;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Zooms, ZoomTest,
    ::testing::Values(ZoomCase{"Full", 3, 2, {0, 1, 2}, {0, 1}},
                      ZoomCase{"Double", 6, 4, {0, 0, 1, 1, 2, 2}, {0, 0, 1, 1}},
                      ZoomCase{"OneAndHalf", 4, 3, {0, 0, 1, 2}, {0, 0, 1}},
                      ZoomCase{"Reduced", 2, 1, {0, 1}, {0}},
                      // Runs over the right and bottom edges of the buffer.
                      ZoomCase{"Clipped", 12, 8, {0, 0, 0, 0, 1, 1, 1, 1, 2}, {0, 0, 0, 0, 1}}),
    [](const auto& p) { return std::string(p.param.name); });

// The fast row path gives exactly the pixels of the plain getpixel/setPixel
// definition, wherever the rectangles lie. Width 36 has no row padding, so a
// word-sized read past the last pixel would leave the image (ASan sees it).
class FastPathTest : public ::testing::TestWithParam<int> {};

TEST_P(FastPathTest, EqualsReference) {
    const int w = GetParam(), h = 23;
    std::mt19937 random(1234);
    dib d;
    newdib(d, w, h, 24, nullptr, 0);
    DibHolder image(d);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            setpixel(d, x, y, random() & 0xFFFFFFu);
    const auto check = [&](int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                           int srcWidth, int srcHeight) {
        QImage fast = canvas(64, 48);
        QImageDevice device(fast);
        DrawDibOnDevice(device, xDest, yDest, destWidth, destHeight, d, xSrc, ySrc, srcWidth,
                        srcHeight, false, SRCCOPY);
        QImage reference = canvas(64, 48);
        drawDibRowsReference(reference, xDest, yDest, destWidth, destHeight, d, xSrc,
                             h - ySrc - srcHeight, srcWidth, srcHeight);
        return fast == reference;
    };
    // Unscaled (one copy per row), reduced, enlarged, and the top-right corner.
    EXPECT_TRUE(check(0, 0, w, h, 0, 0, w, h));
    EXPECT_TRUE(check(-3, 5, w - 4, h - 2, 4, 2, w - 4, h - 2));
    EXPECT_TRUE(check(2, 1, w / 3, h / 3, 0, 0, w, h));
    EXPECT_TRUE(check(2, 1, 3 * w, 2 * h, 0, 0, w, h));
    EXPECT_TRUE(check(0, 0, 7, 5, w - 3, h - 2, 3, 2));
    std::uniform_int_distribution<int> pos(-20, 60), size(1, 90);
    for (int round = 0; round < 300; ++round) {
        const int xDest = pos(random), yDest = pos(random);
        const int destWidth = size(random), destHeight = size(random);
        const int xSrc = std::uniform_int_distribution<int>(0, w - 1)(random);
        const int ySrc = std::uniform_int_distribution<int>(0, h - 1)(random);
        const int srcWidth = std::uniform_int_distribution<int>(1, w - xSrc)(random);
        const int srcHeight = std::uniform_int_distribution<int>(1, h - ySrc)(random);
        ASSERT_TRUE(check(xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight))
            << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, FastPathTest, ::testing::Values(36, 37),
                         testsupport::numbered<int>("Width"));

TEST(QImageDeviceTest, PaletteImagesShowTheirTableColours) {
    for (const int bits : {8, 4, 1}) {
        DibHolder image = palettePicture(5, 4, bits);
        QImage target = canvas(10, 8);
        QImageDevice device(target);
        // 8 bits take the row scaler, 4 and 1 bit the stretched transfer.
        DrawDibOnDevice(device, 0, 0, 10, 8, image.get(), 0, 0, 5, 4, false, SRCCOPY);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x) {
                const auto index = static_cast<int>(getpixel(image.get(), x / 2, y / 2));
                EXPECT_EQ(target.pixel(x, y), shown(tableColour(image.get(), index)))
                    << bits << " bits at " << x << "," << y;
            }
    }
}

// A device that refuses stretched DIB transfers, to reach the fallbacks.
class RefusingDevice : public QImageDevice {
public:
    RefusingDevice(QImage& target, bool rows) : QImageDevice(target), m_rows(rows) {}
    int deviceCaps(int index) override {
        const int caps = QImageDevice::deviceCaps(index);
        return index == RASTERCAPS && !m_rows ? caps & ~RC_DIBTODEV : caps;
    }
    int stretchDIBits(int, int, int, int, int, int, int, int, const void*, const BitmapInfo*,
                      unsigned, std::uint32_t) override {
        return GDI_ERROR;
    }

private:
    bool m_rows;
};

TEST(QImageDeviceTest, FallbacksShowTheSameRectangle) {
    DibHolder image = palettePicture(9, 7, 4);
    // Source rectangle (2, 1) 5 x 4, counted from the bottom: picture rows 2..5.
    QImage direct = canvas(20, 16);
    QImageDevice device(direct);
    DrawDibOnDevice(device, 1, 2, 5, 4, image.get(), 2, 1, 5, 4, false, SRCCOPY);

    for (const bool rows : {true, false}) {
        QImage target = canvas(20, 16);
        RefusingDevice refusing(target, rows);
        std::vector<std::string> messages;
        refusing.setMessageSink([&](const std::string& text) { messages.push_back(text); });
        DrawDibOnDevice(refusing, 1, 2, 5, 4, image.get(), 2, 1, 5, 4, false, SRCCOPY);
        EXPECT_EQ(target, direct) << (rows ? "rows" : "bitmap");
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(refusing.liveObjects(), 0);
    }
    EXPECT_EQ(direct.pixel(1, 2), shown(tableColour(image.get(), (2 + 3 * 2) % 16)));
}

TEST(QImageDeviceTest, RefusesBrokenTransfers) {
    QImage target = canvas(4, 4);
    const QImage before = target;
    QImageDevice device(target);
    DibHolder image = coordinatePicture(3, 3);
    const dib& d = image.get();
    BitmapInfo odd = *d.pmi;
    odd.bmiHeader.biBitCount = 16;
    BitmapInfo topDown = *d.pmi;
    topDown.bmiHeader.biHeight = -3;

    EXPECT_EQ(device.setDIBitsToDevice(0, 0, 3, 3, 0, 0, 0, 3, nullptr, d.pmi, DIB_RGB_COLORS), 0);
    EXPECT_EQ(device.setDIBitsToDevice(0, 0, 3, 3, 0, 0, 0, 3, d.poi, nullptr, DIB_RGB_COLORS), 0);
    EXPECT_EQ(device.setDIBitsToDevice(0, 0, 3, 3, 0, 0, 0, 3, d.poi, &odd, DIB_RGB_COLORS), 0);
    EXPECT_EQ(device.setDIBitsToDevice(0, 0, 3, 3, 0, 0, 0, 3, d.poi, &topDown, DIB_RGB_COLORS), 0);
    EXPECT_EQ(device.setDIBitsToDevice(0, 0, 3, 3, 0, 0, 0, 3, d.poi, d.pmi, 1), 0);
    EXPECT_EQ(device.stretchDIBits(0, 0, 3, 3, 0, 0, 3, 3, d.poi, &odd, DIB_RGB_COLORS, SRCCOPY),
              GDI_ERROR);
    EXPECT_EQ(device.stretchDIBits(0, 0, 3, 3, 0, 0, 3, 3, d.poi, d.pmi, DIB_RGB_COLORS, 0x1234),
              GDI_ERROR);
    EXPECT_EQ(target, before);

    // Far-off and oversized rectangles are clipped, not followed.
    const int far[] = {INT_MIN, -5, 2, INT_MAX};
    for (const int a : far)
        for (const int b : far) {
            device.setDIBitsToDevice(a, b, INT_MAX, 3, b, a, 0, 3, d.poi, d.pmi, DIB_RGB_COLORS);
            device.stretchDIBits(a, b, INT_MAX, INT_MAX, a, b, INT_MAX, 2, d.poi, d.pmi,
                                 DIB_RGB_COLORS, SRCCOPY);
        }
    std::set<QRgb> allowed{qRgb(1, 2, 3)};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            allowed.insert(shown(getpixel(d, x, y)));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(allowed.count(target.pixel(x, y)), 1u) << x << "," << y;

    // A selected bitmap cannot be deleted; creation refuses silly sizes.
    const DeviceObject bitmap = device.createCompatibleBitmap(3, 3);
    const DeviceObject dc = device.createCompatibleDC();
    const DeviceObject stock = device.selectObject(dc, bitmap);
    ASSERT_NE(stock, 0u);
    EXPECT_EQ(device.deleteObject(bitmap), 0);
    EXPECT_EQ(device.selectObject(dc, stock), bitmap);
    EXPECT_EQ(device.deleteObject(bitmap), 1);
    EXPECT_EQ(device.deleteDC(dc), 1);
    EXPECT_EQ(device.createCompatibleBitmap(0, 5), 0u);
    EXPECT_EQ(device.createCompatibleBitmap(INT_MAX, INT_MAX), 0u);
    EXPECT_EQ(device.liveObjects(), 0);
}

} // namespace
