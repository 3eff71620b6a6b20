#pragma once
// Lenses from lensfun's database: the profile chosen from what a
// photograph's EXIF says about its camera and lens, or a third-order
// polynomial typed in for a lens the database lacks. Both give the geometry
// the run corrects with (rectify/Lens.h).

#include "rectify/Lens.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace rectify {

// What the EXIF of a photograph says about its camera and lens.
struct LensExif {
    std::string make;     // Exif.Image.Make
    std::string model;    // Exif.Image.Model
    std::string lens;     // Exif.Photo.LensModel, else the makers' lens tag as exiv2 decodes it
    double focalMm = 0.0; // Exif.Photo.FocalLength; 0 when unknown
};

// Reads the camera and lens entries of the image file held in `file` (any
// format exiv2 reads). Empty when the file carries no EXIF or exiv2 cannot
// read it; never throws.
std::optional<LensExif> ReadLensExif(std::span<const std::uint8_t> file);

// Why no lens was chosen, or that one was.
enum class LensLookup {
    Found,
    NoExif,     // no camera entries in the file
    NoCamera,   // the camera is not in the database
    NoLens,     // no lens of the database matches
    NoFocal,    // the focal length is missing or not a length
    NoProfile,  // the lens has no distortion profile
    NoDatabase, // lensfun's database could not be loaded
};

struct LensChoice {
    LensLookup lookup = LensLookup::NoExif;
    std::unique_ptr<LensGeometry> geometry; // set when Found
    std::string lensName;                   // the database's name of the lens
    double focalMm = 0.0;
};

// The lens of a photograph `width` x `height` pixels (upright, as any
// viewer shows it): camera by make and model, lens by the lens entry (or
// the camera's only lens for a compact), profile interpolated at the focal
// length. The database is loaded once, on the first call.
LensChoice FindLens(const LensExif& exif, int width, int height);

// lensfun's poly3 model with `k1` around the image centre, for a
// photograph `width` x `height` pixels; empty when k1 is not finite or not
// within [-1, 1], or a side is not positive.
std::unique_ptr<LensGeometry> MakePoly3Lens(double k1, int width, int height);

} // namespace rectify
