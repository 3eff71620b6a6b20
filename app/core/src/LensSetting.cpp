// The lens setting: its words, and the lens it gives for a photograph.

#include "app/LensSetting.h"

#include "foundation/ReplaceFile.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <sstream>

namespace app {

namespace {

// The EXIF of a photograph is read from at most this many of its bytes;
// larger files are taken as carrying none.
constexpr std::size_t ExifReadLimit = std::size_t{256} << 20;

std::string focalText(double mm) {
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << mm;
    return s.str();
}

} // namespace

std::optional<LensSetting> parseLensSetting(std::string_view text, bool* badNumber) {
    if (badNumber != nullptr)
        *badNumber = false;
    if (text == "off")
        return LensSetting{};
    if (text == "auto")
        return LensSetting{LensSetting::Mode::Auto, 0.0};
    constexpr std::string_view Poly3 = "poly3:";
    if (text.substr(0, Poly3.size()) != Poly3)
        return std::nullopt;
    const std::string_view number = text.substr(Poly3.size());
    double k1 = 0.0;
    const char* last = number.data() + number.size();
    const auto res = std::from_chars(number.data(), last, k1);
    if (number.empty() || res.ec != std::errc() || res.ptr != last || !std::isfinite(k1) ||
        k1 < -1.0 || k1 > 1.0) {
        if (badNumber != nullptr)
            *badNumber = true;
        return std::nullopt;
    }
    return LensSetting{LensSetting::Mode::Poly3, k1};
}

std::string lensSettingText(const LensSetting& setting) {
    switch (setting.mode) {
    case LensSetting::Mode::Off:
        break;
    case LensSetting::Mode::Auto:
        return "auto";
    case LensSetting::Mode::Poly3:
        return "poly3:" + focalText(setting.k1);
    }
    return "off";
}

LensApplied applyLensSetting(const LensSetting& setting, const std::string& photoPath, int width,
                             int height) {
    LensApplied applied;
    if (setting.mode == LensSetting::Mode::Poly3) {
        applied.geometry = rectify::MakePoly3Lens(setting.k1, width, height);
        // k1 = 0 bends nothing: lensfun has no correction to set up.
        applied.lookup =
            applied.geometry ? rectify::LensLookup::Found : rectify::LensLookup::NoProfile;
        applied.lensName = "poly3";
        return applied;
    }
    if (setting.mode != LensSetting::Mode::Auto)
        return applied;
    std::string bytes;
    if (fp::readRegularFile(photoPath, bytes, ExifReadLimit) != 0)
        return applied; // NoExif
    const auto exif =
        rectify::ReadLensExif({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    if (!exif)
        return applied;
    rectify::LensChoice choice = rectify::FindLens(*exif, width, height);
    applied.geometry = std::move(choice.geometry);
    applied.lookup = choice.lookup;
    applied.lensName = choice.lensName;
    applied.focalMm = choice.focalMm;
    return applied;
}

std::string lensNote(const LensSetting& setting, const LensApplied& applied) {
    if (setting.mode == LensSetting::Mode::Off)
        return {};
    if (applied.geometry) {
        if (setting.mode == LensSetting::Mode::Poly3)
            return "lens: poly3 with k1 = " + focalText(setting.k1);
        return "lens: " + applied.lensName + " at " + focalText(applied.focalMm) + " mm";
    }
    std::string why;
    switch (applied.lookup) {
    case rectify::LensLookup::NoExif:
        why = "the photograph names no camera";
        break;
    case rectify::LensLookup::NoCamera:
        why = "the camera is not in the lens database";
        break;
    case rectify::LensLookup::NoLens:
        why = "the lens is not in the lens database";
        break;
    case rectify::LensLookup::NoFocal:
        why = "the photograph gives no focal length";
        break;
    case rectify::LensLookup::NoProfile:
        why = "the lens has no distortion profile";
        break;
    case rectify::LensLookup::NoDatabase:
        why = "the lens database cannot be read";
        break;
    case rectify::LensLookup::Found:
        why = "the profile cannot be set up";
        break;
    }
    return "no lens correction: " + why;
}

} // namespace app
