// Feeds arbitrary bytes to the decoder behind OpenDib. Every input must end
// in either a sound image or an empty record, without a sanitizer report.

#include "LibraryCodecs.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // 4 MP is plenty to reach every code path and keeps each run fast.
    constexpr std::uint64_t MaxFuzzPixels = std::uint64_t{1} << 22;
    pixkit::dib d;
    const bool ok = pixkit::codec::decodeBytes({data, size}, d, MaxFuzzPixels);
    if (ok != (d.poi != nullptr))
        std::abort();
    if (ok) {
        const int w = pixkit::dibwidth(d), h = pixkit::dibheight(d);
        if (w <= 0 || h <= 0)
            std::abort();
        // Reads the corners, so a wrong stride or size shows up under ASan.
        (void)pixkit::getpixel(d, 0, 0);
        (void)pixkit::getpixel(d, w - 1, h - 1);
        const volatile std::uint8_t last = pixkit::storedRow(d, h - 1)[d.bytew - 1];
        (void)last;
        pixkit::releasedib(d);
    }
    return 0;
}
