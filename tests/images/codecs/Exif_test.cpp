// A photograph taken with the camera on its side arrives upright, as every
// photo viewer shows it, whatever EXIF orientation its JPEG carries.

#include "CodecTestSupport.h"

#include "pixkit/ImageFile.h"

#include <turbojpeg.h>

using namespace codectest;

namespace {

const Colour Red = pixkit::rgb(255, 0, 0), Green = pixkit::rgb(0, 255, 0),
             Blue = pixkit::rgb(0, 0, 255), White = pixkit::rgb(255, 255, 255);

// Upright the picture is 32 x 16:   red   | green
//                                  ------+------
//                                   blue  | white
// Each case gives the quadrants of the picture as the camera stored it.
struct Stored {
    int orientation;
    Colour topLeft, topRight, bottomLeft, bottomRight;
};

void PrintTo(const Stored& v, std::ostream* os) {
    *os << v.orientation;
}

const Stored Cases[] = {
    {1, Red, Green, Blue, White}, {2, Green, Red, White, Blue}, {3, White, Blue, Green, Red},
    {4, Blue, White, Red, Green}, {5, Red, Blue, Green, White}, {6, Green, White, Red, Blue},
    {7, White, Green, Blue, Red}, {8, Blue, Red, White, Green},
};

// APP1 segment with an EXIF block whose IFD0 holds only the orientation.
std::vector<std::uint8_t> exifSegment(int orientation, bool bigEndian) {
    auto u16 = [bigEndian](unsigned v) {
        return bigEndian ? std::vector<std::uint8_t>{std::uint8_t(v >> 8), std::uint8_t(v)}
                         : std::vector<std::uint8_t>{std::uint8_t(v), std::uint8_t(v >> 8)};
    };
    std::vector<std::uint8_t> tiff = bigEndian
                                         ? std::vector<std::uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8}
                                         : std::vector<std::uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0};
    auto add = [&tiff](const std::vector<std::uint8_t>& b) {
        tiff.insert(tiff.end(), b.begin(), b.end());
    };
    add(u16(1));      // one entry
    add(u16(0x0112)); // orientation
    add(u16(3));      // SHORT
    add(bigEndian ? std::vector<std::uint8_t>{0, 0, 0, 1} : std::vector<std::uint8_t>{1, 0, 0, 0});
    add(u16(static_cast<unsigned>(orientation)));
    add({0, 0, 0, 0, 0, 0}); // value padding, no next IFD
    std::vector<std::uint8_t> seg = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    seg.insert(seg.end(), tiff.begin(), tiff.end());
    const std::size_t len = seg.size() - 2;
    seg[2] = static_cast<std::uint8_t>(len >> 8);
    seg[3] = static_cast<std::uint8_t>(len);
    return seg;
}

std::vector<std::uint8_t> storedJpeg(const Stored& s) {
    const bool turned = s.orientation >= 5;
    const int w = turned ? 16 : 32, h = turned ? 32 : 16;
    std::vector<unsigned char> rgb(static_cast<std::size_t>(w * h * 3));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Colour c = y < h / 2 ? (x < w / 2 ? s.topLeft : s.topRight)
                                       : (x < w / 2 ? s.bottomLeft : s.bottomRight);
            unsigned char* p = &rgb[static_cast<std::size_t>((y * w + x) * 3)];
            p[0] = pixkit::redOf(c);
            p[1] = pixkit::greenOf(c);
            p[2] = pixkit::blueOf(c);
        }
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), w, 0, h, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0);
    std::vector<std::uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    const std::vector<std::uint8_t> app1 = exifSegment(s.orientation, s.orientation % 2 == 0);
    out.insert(out.begin() + 2, app1.begin(), app1.end());
    return out;
}

class ExifOrientation : public ::testing::TestWithParam<Stored> {};

TEST_P(ExifOrientation, PictureArrivesUpright) {
    const std::vector<std::uint8_t> jpeg = storedJpeg(GetParam());
    pixkit::dib d;
    ASSERT_TRUE(pixkit::decodeImageBytes(jpeg, d));
    const DibHolder upright(d);
    ASSERT_EQ(pixkit::dibwidth(d), 32);
    ASSERT_EQ(pixkit::dibheight(d), 16);
    const struct {
        int x, y;
        Colour expected;
    } probes[] = {{4, 3, Red},     {27, 3, Green}, {4, 12, Blue},
                  {27, 12, White}, {0, 0, Red},    {31, 15, White}};
    for (const auto& p : probes) {
        const Colour c = pixkit::getpixel(d, p.x, p.y);
        for (int s = 0; s < 24; s += 8)
            EXPECT_NEAR(static_cast<int>((c >> s) & 0xFF),
                        static_cast<int>((p.expected >> s) & 0xFF), 40)
                << "at " << p.x << "," << p.y;
    }
}

INSTANTIATE_TEST_SUITE_P(AllEight, ExifOrientation, ::testing::ValuesIn(Cases), [](const auto& p) {
    return "Orientation" + std::to_string(p.param.orientation);
});

} // namespace
