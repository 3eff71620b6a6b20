// Drawing images on a device, checked through a device that records every call.

#include "RecordingDevice.h"
#include "TestImages.h"
#include "testsupport/CaseNames.h"

#include "pixkit/Present.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

using namespace pixkit;
using namespace presenttest;

namespace {

// Picture coordinates (red = x, green = y) of pixel j of a recorded 24-bit row.
std::pair<int, int> sourceOf(const Call& c, int j) {
    const auto k = static_cast<std::size_t>(3 * j);
    return {c.bytes[k + 2], c.bytes[k + 1]};
}

bool isBlack(const Call& c, int j) {
    const auto k = static_cast<std::size_t>(3 * j);
    return c.bytes[k] == 0 && c.bytes[k + 1] == 0 && c.bytes[k + 2] == 0;
}

// ---- clipping of the source rectangle (seen in the printer's stretched transfer)

struct Rect8 {
    int xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight;
};
struct ClipCase {
    const char* name;
    Rect8 in;
    Rect8 out;
};

class ClipTest : public ::testing::TestWithParam<ClipCase> {};

TEST_P(ClipTest, SourceRectangleIsCutToTheImage) {
    const ClipCase& c = GetParam();
    DibHolder image = coordinatePicture(100, 50);
    RecordingDevice device;
    device.technology = DT_RASPRINTER;
    const Rect8& r = c.in;
    DrawDibOnDevice(device, r.xDest, r.yDest, r.destWidth, r.destHeight, image.get(), r.xSrc,
                    r.ySrc, r.srcWidth, r.srcHeight, false, SRCCOPY);
    const auto stretches = device.named("stretchDIBits");
    ASSERT_EQ(stretches.size(), 1u);
    const Rect8& e = c.out;
    const std::vector<long long> expected{e.xDest,        e.yDest, e.destWidth, e.destHeight,
                                          e.xSrc,         e.ySrc,  e.srcWidth,  e.srcHeight,
                                          DIB_RGB_COLORS, SRCCOPY};
    EXPECT_EQ(stretches[0]->args, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ClipTest,
    ::testing::Values(
        ClipCase{"Right", {10, 5, 210, 50, 0, 0, 105, 50}, {10, 5, 200, 50, 0, 0, 100, 50}},
        ClipCase{"Left", {10, 5, 100, 50, -10, 0, 50, 50}, {30, 5, 80, 50, 0, 0, 40, 50}},
        ClipCase{"Bottom", {10, 5, 100, 50, 0, -5, 100, 25}, {10, 5, 100, 40, 0, 0, 100, 20}},
        ClipCase{"Top", {10, 5, 100, 40, 0, 40, 100, 20}, {10, 25, 100, 20, 0, 40, 100, 10}},
        // 5 x 5 / 10 = 2.5 and 7 x 5 / 10 = 3.5: halves go to the even neighbour.
        ClipCase{"HalfDown", {0, 0, 5, 50, 95, 0, 10, 50}, {0, 0, 2, 50, 95, 0, 5, 50}},
        ClipCase{"HalfUp", {0, 0, 7, 50, 95, 0, 10, 50}, {0, 0, 4, 50, 95, 0, 5, 50}},
        ClipCase{"AllFour", {0, 0, 300, 300, -10, -10, 120, 70}, {25, 43, 250, 214, 0, 0, 100, 50}},
        // 50000 x 100000 does not fit 32 bits; the result must still be exact.
        ClipCase{"LargeProducts",
                 {0, 0, 100, 100000, 0, -50000, 100, 100000},
                 {0, 49950, 100, 50, 0, 0, 100, 50}},
        ClipCase{"Inside", {1, 2, 30, 40, 5, 6, 7, 8}, {1, 2, 30, 40, 5, 6, 7, 8}}),
    [](const auto& p) { return std::string(p.param.name); });

class NothingToDrawTest : public ::testing::TestWithParam<Rect8> {};

TEST_P(NothingToDrawTest, OnlyTheStartReachesTheDevice) {
    const Rect8& r = GetParam();
    DibHolder image = coordinatePicture(100, 50);
    for (const int technology : {DT_RASDISPLAY, DT_RASPRINTER}) {
        RecordingDevice device;
        device.technology = technology;
        DrawDibOnDevice(device, r.xDest, r.yDest, r.destWidth, r.destHeight, image.get(), r.xSrc,
                        r.ySrc, r.srcWidth, r.srcHeight, false, SRCCOPY);
        EXPECT_EQ(device.names(), (std::vector<std::string>{"deviceCaps", "setStretchBltMode"}));
    }
}

// Names of the NothingToDrawTest cases, in their order.
std::string outsideCaseName(const ::testing::TestParamInfo<Rect8>& info) {
    static const char* const names[] = {"SourceRightOfImage",
                                        "SourceLeftOfImage",
                                        "SourceBelowImage",
                                        "SourceAboveImage",
                                        "ZeroSourceWidth",
                                        "ZeroDestinationWidth",
                                        "NegativeDestinationWidth",
                                        "NegativeSourceHeight",
                                        "RoundsToZeroWideDestination",
                                        "CutMovesDestinationBeyond32Bits",
                                        "WholeIntegerRange"};
    return info.index < std::size(names) ? std::string(names[info.index])
                                         : "Case" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(
    Outside, NothingToDrawTest,
    ::testing::Values(Rect8{0, 0, 10, 10, 100, 0, 10, 10}, Rect8{0, 0, 10, 10, -10, 0, 10, 10},
                      Rect8{0, 0, 10, 10, 0, 50, 10, 10}, Rect8{0, 0, 10, 10, 0, -10, 10, 10},
                      Rect8{0, 0, 10, 10, 0, 0, 0, 10}, Rect8{0, 0, 0, 10, 0, 0, 10, 10},
                      Rect8{0, 0, -10, 10, 0, 0, 10, 10}, Rect8{0, 0, 10, 10, 0, 0, 10, -3},
                      // Rounds to a zero-wide destination.
                      Rect8{0, 0, 1, 10, 99, 0, 10, 10},
                      // The cut moves the destination beyond the 32-bit range.
                      Rect8{INT_MAX - 5, 0, INT_MAX, 10, -INT_MAX, 0, INT_MAX, 10},
                      Rect8{INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MAX,
                            INT_MAX}),
    outsideCaseName);

// ---- choice of the route

enum class Route { Rows, Halftone, Direct };

struct RouteCase {
    int bits;
    int technology;
    int screenBits;
    bool halftone;
    Route route;
};

class RouteTest : public ::testing::TestWithParam<RouteCase> {};

TEST_P(RouteTest, DepthAndDeviceChooseTheRoute) {
    const RouteCase& c = GetParam();
    DibHolder image = c.bits == 24 ? coordinatePicture(20, 10) : palettePicture(20, 10, c.bits);
    RecordingDevice device;
    device.technology = c.technology;
    device.screenBits = c.screenBits;
    DrawDibOnDevice(device, 3, 4, 40, 20, image.get(), 0, 0, 20, 10, c.halftone, SRCCOPY);

    // Printer check and stretch mode come first, before any transfer.
    ASSERT_GE(device.calls.size(), 3u);
    EXPECT_EQ(device.calls[0].name, "deviceCaps");
    EXPECT_EQ(device.calls[0].args, std::vector<long long>{TECHNOLOGY});
    EXPECT_EQ(device.calls[1].name, "setStretchBltMode");
    EXPECT_EQ(device.calls[1].args, std::vector<long long>{COLORONCOLOR});

    const auto stretches = device.named("stretchDIBits");
    const auto rows = device.named("setDIBitsToDevice");
    switch (c.route) {
    case Route::Rows:
        EXPECT_TRUE(stretches.empty());
        ASSERT_EQ(rows.size(), 20u);
        for (const Call* row : rows) {
            EXPECT_EQ(row->args[3], 1); // one row per transfer
            EXPECT_EQ(row->bitCount, c.bits);
        }
        break;
    case Route::Halftone:
        ASSERT_EQ(stretches.size(), 1u);
        EXPECT_EQ(stretches[0]->bitCount, 8);
        EXPECT_NE(stretches[0]->bits, image.get().poi);
        EXPECT_TRUE(rows.empty());
        break;
    case Route::Direct:
        ASSERT_EQ(stretches.size(), 1u);
        EXPECT_EQ(stretches[0]->bits, image.get().poi);
        EXPECT_TRUE(rows.empty());
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, RouteTest,
                         ::testing::Values(RouteCase{24, DT_RASDISPLAY, 32, false, Route::Rows},
                                           RouteCase{24, DT_RASDISPLAY, 32, true, Route::Rows},
                                           RouteCase{24, DT_RASDISPLAY, 8, false, Route::Rows},
                                           RouteCase{24, DT_RASDISPLAY, 8, true, Route::Halftone},
                                           RouteCase{24, DT_RASDISPLAY, 4, true, Route::Halftone},
                                           RouteCase{24, DT_RASPRINTER, 8, true, Route::Halftone},
                                           RouteCase{24, DT_RASPRINTER, 32, true, Route::Direct},
                                           RouteCase{8, DT_RASDISPLAY, 8, true, Route::Rows},
                                           RouteCase{8, DT_RASPRINTER, 32, false, Route::Direct},
                                           RouteCase{4, DT_RASDISPLAY, 32, false, Route::Direct},
                                           RouteCase{1, DT_RASDISPLAY, 32, false, Route::Direct}),
                         [](const testing::TestParamInfo<RouteCase>& p) {
                             return testsupport::numberedName("Bits", p.param.bits) +
                                    testsupport::numberedName("Technology", p.param.technology) +
                                    testsupport::numberedName("Screen", p.param.screenBits) +
                                    (p.param.halftone ? "Halftone" : "");
                         });

TEST(RasterOpTest, AppliesToStretchedTransfersOnly) {
    DibHolder image = coordinatePicture(6, 4);
    const auto draw = [&](int technology, std::uint32_t rop) {
        RecordingDevice device;
        device.technology = technology;
        DrawDibOnDevice(device, 0, 0, 9, 5, image.get(), 0, 0, 6, 4, false, rop);
        return device;
    };
    const RecordingDevice copy = draw(DT_RASDISPLAY, SRCCOPY);
    const RecordingDevice inverted = draw(DT_RASDISPLAY, SRCINVERT);
    ASSERT_EQ(copy.calls.size(), inverted.calls.size());
    for (std::size_t i = 0; i < copy.calls.size(); ++i) {
        EXPECT_EQ(copy.calls[i].args, inverted.calls[i].args);
        EXPECT_EQ(copy.calls[i].bytes, inverted.calls[i].bytes);
    }
    const RecordingDevice printer = draw(DT_RASPRINTER, SRCINVERT);
    const auto printed = printer.named("stretchDIBits");
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0]->args.back(), SRCINVERT);
}

// ---- the row scalers

TEST(RowScalerTest, EnlargingShowsBlocks) {
    DibHolder image = coordinatePicture(4, 2);
    RecordingDevice device;
    DrawDibOnDevice(device, 10, 20, 8, 4, image.get(), 0, 0, 4, 2, false, SRCCOPY);
    const auto rows = device.named("setDIBitsToDevice");
    ASSERT_EQ(rows.size(), 4u);
    for (int r = 0; r < 4; ++r) {
        const Call& c = *rows[static_cast<std::size_t>(r)];
        EXPECT_EQ(c.args, (std::vector<long long>{10, 20 + r, 8, 1, 0, 0, 0, 1, DIB_RGB_COLORS}));
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(sourceOf(c, i), std::make_pair(i / 2, r / 2)) << r << "," << i;
    }
}

TEST(RowScalerTest, ReducingTakesEveryThirdColumn) {
    DibHolder image = coordinatePicture(10, 1);
    RecordingDevice device;
    DrawDibOnDevice(device, 0, 0, 3, 1, image.get(), 0, 0, 10, 1, false, SRCCOPY);
    const auto rows = device.named("setDIBitsToDevice");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(sourceOf(*rows[0], 0).first, 0);
    EXPECT_EQ(sourceOf(*rows[0], 1).first, 3);
    EXPECT_EQ(sourceOf(*rows[0], 2).first, 6);
}

TEST(RowScalerTest, SourceOutsideTheImageShowsBlack) {
    DibHolder image = coordinatePicture(3, 3, 200);
    RecordingDevice device;
    // Rows -2, -1 above, 3 below the picture; column -1 left of it.
    DrawDibRows24(device, 0, 0, 4, 6, image.get(), -1, -2, 4, 6);
    const auto rows = device.named("setDIBitsToDevice");
    ASSERT_EQ(rows.size(), 6u);
    for (int r = 0; r < 6; ++r) {
        const Call& c = *rows[static_cast<std::size_t>(r)];
        const int s = r - 2;
        EXPECT_TRUE(isBlack(c, 0)) << r;
        for (int i = 1; i < 4; ++i) {
            if (s < 0 || s > 2)
                EXPECT_TRUE(isBlack(c, i)) << r << "," << i;
            else
                EXPECT_EQ(sourceOf(c, i), std::make_pair(i - 1, s)) << r << "," << i;
        }
    }
}

TEST(RowScalerTest, HostileArgumentsStayInsideTheImage) {
    DibHolder image = coordinatePicture(5, 4);
    const int values[] = {INT_MIN, -100000, -3, 0, 2, 7, 100000, INT_MAX};
    for (const int a : values)
        for (const int b : values) {
            RecordingDevice device;
            DrawDibRows24(device, a, b, 5, 3, image.get(), a, b, b, a);
            DrawDibRows24(device, 0, 0, 3, 2, image.get(), b, a, a, b);
            for (const Call& c : device.calls)
                for (int i = 0; i < static_cast<int>(c.args[2]); ++i)
                    EXPECT_TRUE(isBlack(c, i) || c.bytes[3 * static_cast<std::size_t>(i)] == 7);
        }
}

TEST(RowScalerTest, EightBitImageKeepsItsColourTable) {
    DibHolder image = palettePicture(5, 3, 8);
    RecordingDevice device;
    DrawDibOnDevice(device, 0, 0, 5, 3, image.get(), 0, 0, 5, 3, false, SRCCOPY);
    const auto rows = device.named("setDIBitsToDevice");
    ASSERT_EQ(rows.size(), 3u);
    for (int r = 0; r < 3; ++r) {
        const Call& c = *rows[static_cast<std::size_t>(r)];
        EXPECT_EQ(c.bitCount, 8);
        EXPECT_EQ(0,
                  std::memcmp(c.table.data(), image.get().pmi->bmiColors, 256 * sizeof(RgbQuad)));
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(c.bytes[static_cast<std::size_t>(i)], getpixel(image.get(), i, r));
    }
}

// ---- the halftone route

TEST(HalftoneRouteTest, ReducedPictureIsCopiedOneToOne) {
    DibHolder image = coordinatePicture(100, 50);
    RecordingDevice device;
    device.screenBits = 8;
    DrawDibOnDevice(device, 1, 2, 20, 10, image.get(), 20, 10, 40, 20, true, SRCAND);
    auto stretches = device.named("stretchDIBits");
    ASSERT_EQ(stretches.size(), 1u);
    // Halftoned at 50 x 25; the rectangle scales along: (10, 5), 20 x 10.
    EXPECT_EQ(stretches[0]->args,
              (std::vector<long long>{1, 2, 20, 10, 10, 5, 20, 10, DIB_RGB_COLORS, SRCAND}));
    EXPECT_EQ(stretches[0]->bitCount, 8);

    RecordingDevice enlarging;
    enlarging.screenBits = 8;
    DrawDibOnDevice(enlarging, 0, 0, 200, 100, image.get(), 30, 20, 50, 30, true, SRCCOPY);
    stretches = enlarging.named("stretchDIBits");
    ASSERT_EQ(stretches.size(), 1u);
    EXPECT_EQ(stretches[0]->args,
              (std::vector<long long>{0, 0, 200, 100, 30, 20, 50, 30, DIB_RGB_COLORS, SRCCOPY}));
}

// ---- the direct route and its fallbacks

struct FallbackCase {
    const char* name;
    bool noRowsCap, refuseStretchDIBits, refuseRows, refuseBitmap, refuseSetDIBits,
        refuseStretchBlt;
    std::vector<std::string> after; // calls after the stretched transfer
    const char* message;
};

class FallbackTest : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(FallbackTest, EveryTemporaryIsReleased) {
    const FallbackCase& c = GetParam();
    DibHolder image = palettePicture(9, 7, 4);
    RecordingDevice device;
    if (c.noRowsCap)
        device.rasterCaps &= ~RC_DIBTODEV;
    device.refuseStretchDIBits = c.refuseStretchDIBits;
    device.refuseSetDIBitsToDevice = c.refuseRows;
    device.refuseCreateBitmap = c.refuseBitmap;
    device.refuseSetDIBits = c.refuseSetDIBits;
    device.refuseStretchBlt = c.refuseStretchBlt;
    DrawDibOnDevice(device, 0, 0, 18, 14, image.get(), 0, 0, 9, 7, false, SRCPAINT);

    const std::vector<std::string> names = device.names();
    std::size_t first = 0;
    while (first < names.size() && names[first] != "stretchDIBits")
        ++first;
    ASSERT_LT(first, names.size());
    EXPECT_EQ(std::vector<std::string>(names.begin() + static_cast<std::ptrdiff_t>(first) + 1,
                                       names.end()),
              c.after);
    EXPECT_EQ(device.created, device.deleted);
    EXPECT_TRUE(device.live.empty());
    if (c.message != nullptr)
        EXPECT_EQ(device.messages, std::vector<std::string>{c.message});
    else
        EXPECT_TRUE(device.messages.empty());
    for (const Call* blt : device.named("stretchBlt"))
        EXPECT_EQ(blt->args.back(), SRCPAINT);
}

const std::vector<std::string> ThroughBitmap{
    "createCompatibleBitmap", "createCompatibleDC", "setDIBits",   "selectObject", "stretchBlt",
    "selectObject",           "deleteDC",           "deleteObject"};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Devices, FallbackTest,
    ::testing::Values(
        //           name        noCaps stretch rows   bitmap setbits blt
        FallbackCase{"Stretched", false, false, false, false, false, false, {}, nullptr},
        FallbackCase{"Rows",      false, true,  false, false, false, false,
                     {"setDIBitsToDevice"}, nullptr},
        FallbackCase{"NoRowsCap", true,  true,  false, false, false, false, ThroughBitmap, nullptr},
        FallbackCase{"RowsRefused", false, true, true, false, false, false,
                     concat({"setDIBitsToDevice"}, ThroughBitmap), nullptr},
        FallbackCase{"NoBitmap",  true,  true,  false, true,  false, false,
                     {"createCompatibleBitmap", "messageBox"},
                     "Could not create bitmap."},
        FallbackCase{"NoSetDIBits", true, true, false, false, true,  false,
                     {"createCompatibleBitmap", "createCompatibleDC", "setDIBits", "messageBox",
                      "deleteDC", "deleteObject"},
                     "The device does not support the Funtkion setdibits!"},
        FallbackCase{"NoStretchBlt", true, true, false, false, false, true,
                     {"createCompatibleBitmap", "createCompatibleDC", "setDIBits", "selectObject",
                      "stretchBlt", "messageBox", "selectObject", "deleteDC", "deleteObject"},
                     "The device does not support the function StretchBlt!"}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

// The first fallback resamples here: endpoints onto endpoints, at every depth.
class ResampleTest : public ::testing::TestWithParam<int> {};

TEST_P(ResampleTest, RowsSentAreTheResampledRectangle) {
    const int bits = GetParam();
    DibHolder image = bits == 24 ? coordinatePicture(7, 6) : palettePicture(7, 6, bits);
    struct Size {
        int w, h;
    };
    for (const Size dest : {Size{5, 3}, Size{9, 7}, Size{1, 1}, Size{1, 4}}) {
        RecordingDevice device;
        device.technology = DT_RASPRINTER;
        device.refuseStretchDIBits = true;
        // Source rectangle: columns 1..5, stored rows 2..4 (picture rows 1..3).
        DrawDibOnDevice(device, 2, 3, dest.w, dest.h, image.get(), 1, 2, 5, 3, false, SRCCOPY);
        const auto sent = device.named("setDIBitsToDevice");
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0]->args,
                  (std::vector<long long>{2, 3, dest.w, dest.h, 0, 0, 0, dest.h, DIB_RGB_COLORS}));
        dib copy;
        newdib(copy, dest.w, dest.h, bits, nullptr, 0);
        DibHolder holder(copy);
        ASSERT_EQ(sent[0]->bytes.size(), static_cast<std::size_t>(copy.bytew * dest.h));
        std::memcpy(copy.poi, sent[0]->bytes.data(), sent[0]->bytes.size());
        for (int y = 0; y < dest.h; ++y)
            for (int x = 0; x < dest.w; ++x) {
                const int sx = 1 + (dest.w > 1 ? 4 * x / (dest.w - 1) : 0);
                const int storedY = 2 + (dest.h > 1 ? 2 * y / (dest.h - 1) : 0);
                EXPECT_EQ(getpixel(copy, x, dest.h - 1 - y), getpixel(image.get(), sx, 5 - storedY))
                    << bits << " bits, " << dest.w << "x" << dest.h << " at " << x << "," << y;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, ResampleTest, ::testing::Values(1, 4, 8, 24),
                         testsupport::numbered<int>("Bits"));

TEST(ThroughBitmapTest, DeviceBitmapIsAddressedFromTheTop) {
    DibHolder image = palettePicture(9, 7, 4);
    RecordingDevice device;
    device.rasterCaps &= ~RC_DIBTODEV;
    device.refuseStretchDIBits = true;
    DrawDibOnDevice(device, 4, 5, 6, 4, image.get(), 2, 1, 3, 2, false, SRCCOPY);
    const auto blt = device.named("stretchBlt");
    ASSERT_EQ(blt.size(), 1u);
    // Stored rows 1..2 from the bottom are picture rows 4..5 from the top.
    EXPECT_EQ(blt[0]->args[6], 4);
    EXPECT_EQ(device.named("createCompatibleBitmap")[0]->args, (std::vector<long long>{9, 7}));
    EXPECT_EQ(device.named("setDIBits")[0]->args[2], 7);
}

} // namespace
