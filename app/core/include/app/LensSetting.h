#pragma once
// The lens correction of a photograph as the user sets it (off, the profile
// its EXIF names, or a typed poly3 k1), and the geometry it gives for one
// photograph.

#include "rectify/LensProfile.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace app {

struct LensSetting {
    enum class Mode { Off, Auto, Poly3 };
    Mode mode = Mode::Off;
    double k1 = 0.0; // with Poly3
    friend bool operator==(const LensSetting&, const LensSetting&) = default;
};

// "off", "auto" or "poly3:K1" (K1 a decimal number with '.', -1 ... 1).
// Empty for anything else; `badNumber` tells a poly3 with a bad K1 apart.
std::optional<LensSetting> parseLensSetting(std::string_view text, bool* badNumber = nullptr);
// The same words back: "off", "auto", "poly3:-0.02".
std::string lensSettingText(const LensSetting& setting);

// The lens a setting gives for a photograph `width` x `height` pixels
// (upright, as viewers show it) read from `photoPath`; no geometry when
// the setting is off or nothing was found.
struct LensApplied {
    std::unique_ptr<rectify::LensGeometry> geometry;
    rectify::LensLookup lookup = rectify::LensLookup::NoExif;
    std::string lensName; // the database's name; "poly3" for a typed one
    double focalMm = 0.0;
};
LensApplied applyLensSetting(const LensSetting& setting, const std::string& photoPath, int width,
                             int height);

// What the batch says about it on standard error, in English: "lens: NAME
// at 24 mm", or why none was applied. Empty when the setting is off.
std::string lensNote(const LensSetting& setting, const LensApplied& applied);

} // namespace app
