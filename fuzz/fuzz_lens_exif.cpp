// Feeds arbitrary bytes, as the file of a photograph, to the lens lookup:
// exiv2 reads its camera and lens entries, lensfun's database is asked for
// them, and a lens it finds is set up for a photograph and asked for a few
// positions. Properties, beyond surviving: a lens found has a name and a
// focal length, and maps the photograph's centre to a finite position.

#include "rectify/LensProfile.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>

// lensfun's database is loaded once, before the first input: its loading
// keeps a few bytes of its own for good (a path string inside lensfun), which
// would otherwise count against the first input that names a camera.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)rectify::FindLens(rectify::LensExif{"Canon", "Canon EOS 5D Mark II", "", 24.0}, 64, 48);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto exif = rectify::ReadLensExif(std::span<const std::uint8_t>(data, size));
    if (!exif)
        return 0;
    if (exif->make.empty() && exif->model.empty())
        std::abort(); // an answer names a camera
    if (!(exif->focalMm >= 0.0) || !std::isfinite(exif->focalMm))
        std::abort();
    const rectify::LensChoice choice = rectify::FindLens(*exif, 640, 480);
    if (choice.lookup != rectify::LensLookup::Found) {
        if (choice.geometry)
            std::abort();
        return 0;
    }
    if (!choice.geometry || choice.lensName.empty() || !(choice.focalMm > 0.0))
        std::abort();
    const rectify::SourcePos centre = choice.geometry->toOriginal(320.0, 240.0);
    if (!std::isfinite(centre.sx) || !std::isfinite(centre.sy))
        std::abort();
    for (const double x : {-320.0, 0.0, 639.0, 960.0})
        for (const double y : {-240.0, 0.0, 479.0, 720.0}) {
            (void)choice.geometry->toOriginal(x, y);
            (void)choice.geometry->toCorrected(x, y);
        }
    return 0;
}
