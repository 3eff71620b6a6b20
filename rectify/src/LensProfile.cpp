// Lens profiles through lensfun, the camera and lens entries through exiv2.

#include "rectify/LensProfile.h"

#include <lensfun.h>

// exiv2 0.27 still names std::auto_ptr in its headers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/easyaccess.hpp>
#include <exiv2/error.hpp>
#include <exiv2/exif.hpp>
#include <exiv2/image.hpp>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <string_view>

namespace rectify {

namespace {

constexpr double NotANumber = std::numeric_limits<double>::quiet_NaN();

// lensfun's lists are freed with lf_free.
template <typename T> struct LfList {
    const T** items = nullptr;
    explicit LfList(const T** list) : items(list) {}
    ~LfList() { lf_free(items); }
    LfList(const LfList&) = delete;
    LfList& operator=(const LfList&) = delete;
    const T* first() const { return items != nullptr ? items[0] : nullptr; }
    int count() const {
        int n = 0;
        while (items != nullptr && items[n] != nullptr)
            ++n;
        return n;
    }
};

// The geometry of one lens at one focal length for one photograph size:
// lensfun's modifier for the correction (corrected to original) and its
// reverse (original to corrected). Both are safe to call from several
// threads at once.
class LensfunGeometry final : public LensGeometry {
public:
    LensfunGeometry(std::unique_ptr<lfLens> owned, const lfLens* lens, float crop, float focal,
                    int width, int height)
        : m_owned(std::move(owned)), m_width(width), m_height(height),
          m_correct(lens, crop, width, height), m_distort(lens, crop, width, height) {
        const int wanted = LF_MODIFY_DISTORTION;
        m_ok = (m_correct.Initialize(lens, LF_PF_F32, focal, 8.0f, 1000.0f, 1.0f, LF_RECTILINEAR,
                                     wanted, false) &
                wanted) != 0 &&
               (m_distort.Initialize(lens, LF_PF_F32, focal, 8.0f, 1000.0f, 1.0f, LF_RECTILINEAR,
                                     wanted, true) &
                wanted) != 0;
    }
    bool ok() const { return m_ok; }

    int width() const override { return m_width; }
    int height() const override { return m_height; }
    SourcePos toOriginal(double x, double y) const override { return apply(m_correct, x, y); }
    SourcePos toCorrected(double x, double y) const override { return apply(m_distort, x, y); }

private:
    static SourcePos apply(const lfModifier& modifier, double x, double y) {
        if (!std::isfinite(x) || !std::isfinite(y))
            return {NotANumber, NotANumber};
        float out[2] = {0.0f, 0.0f};
        if (!modifier.ApplyGeometryDistortion(static_cast<float>(x), static_cast<float>(y), 1, 1,
                                              out))
            return {x, y};
        return {static_cast<double>(out[0]), static_cast<double>(out[1])};
    }

    std::unique_ptr<lfLens> m_owned; // the typed-in lens; database lenses live in the database
    int m_width, m_height;
    lfModifier m_correct, m_distort;
    bool m_ok = false;
};

// lensfun's database, loaded once; null when it cannot be loaded.
const lfDatabase* database() {
    static const lfDatabase* const db = [] {
        auto* d = new lfDatabase();
        if (d->Load() != LF_NO_ERROR) {
            delete d;
            return static_cast<lfDatabase*>(nullptr);
        }
        return d;
    }();
    return db;
}

std::string entry(const Exiv2::ExifData& exif, const char* key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end())
        return {};
    std::string s = it->toString();
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

// True when the lens tag matches two different lenses equally well (a
// bare "E" matches every E-mount prime alike): the photograph does not say
// which of them took it. The same lens listed twice is no doubt.
bool ambiguous(const LfList<lfLens>& lenses) {
    if (lenses.count() < 2)
        return false;
    const lfLens* best = lenses.items[0];
    for (int i = 1; lenses.items[i] != nullptr && lenses.items[i]->Score == best->Score; ++i) {
        const char* a = best->Model != nullptr ? best->Model : "";
        const char* b = lenses.items[i]->Model != nullptr ? lenses.items[i]->Model : "";
        if (std::string_view(a) != b)
            return true;
    }
    return false;
}

// True when the lens reaches the focal length the photograph was taken at
// (5 % either way for the rounding of the tag); a lens of unknown range
// reaches any. A 20 mm prime's profile says nothing about 35 mm.
bool covers(const lfLens& lens, double focalMm) {
    if (!(lens.MinFocal > 0.0f) || !(lens.MaxFocal >= lens.MinFocal))
        return true;
    return focalMm >= 0.95 * static_cast<double>(lens.MinFocal) &&
           focalMm <= 1.05 * static_cast<double>(lens.MaxFocal);
}

} // namespace

std::optional<LensExif> ReadLensExif(std::span<const std::uint8_t> file) {
    if (file.empty())
        return std::nullopt;
    try {
        auto image = Exiv2::ImageFactory::open(file.data(), static_cast<long>(file.size()));
        if (image.get() == nullptr)
            return std::nullopt;
        image->readMetadata();
        const Exiv2::ExifData& exif = image->exifData();
        if (exif.empty())
            return std::nullopt;
        LensExif out;
        out.make = entry(exif, "Exif.Image.Make");
        out.model = entry(exif, "Exif.Image.Model");
        out.lens = entry(exif, "Exif.Photo.LensModel");
        if (out.lens.empty()) {
            const auto it = Exiv2::lensName(exif);
            if (it != exif.end())
                out.lens = it->print(&exif);
        }
        const auto focal = exif.findKey(Exiv2::ExifKey("Exif.Photo.FocalLength"));
        if (focal != exif.end() && focal->count() > 0) {
            const Exiv2::Rational r = focal->toRational(0);
            if (r.second > 0 && r.first > 0)
                out.focalMm = static_cast<double>(r.first) / r.second;
        }
        if (out.make.empty() && out.model.empty())
            return std::nullopt;
        return out;
    } catch (const std::exception&) {
        // exiv2's errors, and the allocation failures hostile sizes cause.
        return std::nullopt;
    }
}

LensChoice FindLens(const LensExif& exif, int width, int height) {
    LensChoice choice;
    if (width <= 0 || height <= 0 || (exif.make.empty() && exif.model.empty())) {
        choice.lookup = LensLookup::NoExif;
        return choice;
    }
    const lfDatabase* db = database();
    if (db == nullptr) {
        choice.lookup = LensLookup::NoDatabase;
        return choice;
    }
    const LfList<lfCamera> cameras(db->FindCamerasExt(exif.make.c_str(), exif.model.c_str()));
    const lfCamera* camera = cameras.first();
    if (camera == nullptr) {
        choice.lookup = LensLookup::NoCamera;
        return choice;
    }
    // A compact's lens has no entry of its own: the camera's only lens.
    const LfList<lfLens> lenses(
        db->FindLenses(camera, nullptr, exif.lens.empty() ? nullptr : exif.lens.c_str()));
    const lfLens* lens = lenses.first();
    if (lens == nullptr || (exif.lens.empty() && lenses.count() != 1) || ambiguous(lenses)) {
        choice.lookup = LensLookup::NoLens;
        return choice;
    }
    if (!(exif.focalMm > 0.0) || !std::isfinite(exif.focalMm) || exif.focalMm > 10000.0) {
        choice.lookup = LensLookup::NoFocal;
        return choice;
    }
    if (!covers(*lens, exif.focalMm)) {
        choice.lookup = LensLookup::NoLens;
        return choice;
    }
    lfLensCalibDistortion profile{};
    if (!lens->InterpolateDistortion(static_cast<float>(exif.focalMm), profile) ||
        profile.Model == LF_DIST_MODEL_NONE) {
        choice.lookup = LensLookup::NoProfile;
        return choice;
    }
    auto geometry = std::make_unique<LensfunGeometry>(
        nullptr, lens, camera->CropFactor, static_cast<float>(exif.focalMm), width, height);
    if (!geometry->ok()) {
        choice.lookup = LensLookup::NoProfile;
        return choice;
    }
    choice.lookup = LensLookup::Found;
    choice.geometry = std::move(geometry);
    choice.lensName = lens->Model != nullptr ? lens->Model : "";
    if (lens->Maker != nullptr && choice.lensName.rfind(lens->Maker, 0) != 0)
        choice.lensName = std::string(lens->Maker) + " " + choice.lensName;
    choice.focalMm = exif.focalMm;
    return choice;
}

std::unique_ptr<LensGeometry> MakePoly3Lens(double k1, int width, int height) {
    if (!std::isfinite(k1) || k1 < -1.0 || k1 > 1.0 || width <= 0 || height <= 0)
        return nullptr;
    // A lens of its own at a nominal focal length; the crop factor and the
    // aspect are the photograph's, so the model is taken as it is.
    constexpr float Focal = 50.0f;
    auto lens = std::make_unique<lfLens>();
    lens->SetMaker("poly3");
    lens->SetModel("poly3");
    lens->MinFocal = lens->MaxFocal = Focal;
    lens->CropFactor = 1.0f;
    lens->AspectRatio =
        static_cast<float>(std::max(width, height)) / static_cast<float>(std::min(width, height));
    lens->Type = LF_RECTILINEAR;
    const lfLensCalibDistortion calib{
        LF_DIST_MODEL_POLY3, Focal, {static_cast<float>(k1), 0.0f, 0.0f}};
    lens->AddCalibDistortion(&calib);
    const lfLens* raw = lens.get();
    auto geometry =
        std::make_unique<LensfunGeometry>(std::move(lens), raw, 1.0f, Focal, width, height);
    if (!geometry->ok())
        return nullptr;
    return geometry;
}

} // namespace rectify
