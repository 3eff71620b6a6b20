// A lens of the database, end to end: a grid on a tilted facade photographed
// through the Canon EF 24-105mm f/4L IS USM at 24 mm on a Canon EOS 5D Mark II
// (the photograph made by bending a pinhole picture through lensfun's reverse
// modifier, the camera's EXIF written with exiv2), rectified with the lens
// looked up from that EXIF, against the pinhole picture rectified without a lens.

#include "TestSupport.h"

#include "app/RectifyJob.h"
#include "pixkit/ImageFile.h"
#include "rectify/LensProfile.h"

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>
#include <lensfun.h>

#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <optional>

namespace {

constexpr int PhotoW = 1500, PhotoH = 1000; // 3:2 as the camera's sensor
constexpr double FacadeW = 300.0, FacadeH = 200.0, GridCm = 25.0, LineCm = 0.8;
constexpr float FocalMm = 24.0f;

// The facade square (s, t in 0 ... 1, t downwards) to the pinhole picture.
struct Homography {
    std::array<double, 9> m{}; // rows of the 3 x 3 matrix
    static Homography toQuad(const std::array<std::array<double, 2>, 4>& q) {
        const double x0 = q[0][0], y0 = q[0][1], x1 = q[1][0], y1 = q[1][1], x2 = q[2][0],
                     y2 = q[2][1], x3 = q[3][0], y3 = q[3][1];
        const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
        const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
        const double den = dx1 * dy2 - dx2 * dy1;
        const double g = (sx * dy2 - dx2 * sy) / den, h = (dx1 * sy - sx * dy1) / den;
        return {{x1 - x0 + g * x1, x3 - x0 + h * x3, x0, y1 - y0 + g * y1, y3 - y0 + h * y3, y0, g,
                 h, 1.0}};
    }
    Homography inverse() const {
        const auto& a = m;
        std::array<double, 9> r{
            a[4] * a[8] - a[5] * a[7], a[2] * a[7] - a[1] * a[8], a[1] * a[5] - a[2] * a[4],
            a[5] * a[6] - a[3] * a[8], a[0] * a[8] - a[2] * a[6], a[2] * a[3] - a[0] * a[5],
            a[3] * a[7] - a[4] * a[6], a[1] * a[6] - a[0] * a[7], a[0] * a[4] - a[1] * a[3]};
        return {r};
    }
    std::optional<std::array<double, 2>> apply(double x, double y) const {
        const double w = m[6] * x + m[7] * y + m[8];
        if (!(std::abs(w) > 1e-12))
            return std::nullopt;
        return std::array<double, 2>{(m[0] * x + m[1] * y + m[2]) / w,
                                     (m[3] * x + m[4] * y + m[5]) / w};
    }
};

// The grid's brightness at a point of the facade in cm: soft lines every
// GridCm on a grey wall, smooth enough that any interpolation renders it.
double gridAt(double u, double v) {
    auto line = [](double c) {
        const double d = c - GridCm * std::round(c / GridCm);
        return std::exp(-(d / LineCm) * (d / LineCm));
    };
    return 50.0 + 170.0 * std::max(line(u), line(v));
}

// The pinhole picture's brightness at picture position (x, y).
double pinholeAt(const Homography& toFacade, double x, double y) {
    const auto st = toFacade.apply(x, y);
    return st ? gridAt((*st)[0] * FacadeW, (*st)[1] * FacadeH) : 0.0;
}

// A grey picture made of `value(x, y)` for each pixel, written to `file`.
template <class F> void writeGrey(const std::string& file, F value) {
    pixkit::Image picture = pixkit::Image::blank(PhotoW, PhotoH);
    for (int y = 0; y < PhotoH; ++y)
        for (int x = 0; x < PhotoW; ++x) {
            const auto g =
                static_cast<std::uint8_t>(std::clamp(std::lround(value(x, y)), 0L, 255L));
            pixkit::setpixel(picture.get(), x, y, pixkit::rgb(g, g, g));
        }
    ASSERT_TRUE(pixkit::WriteDib(picture.get(), file).ok) << file;
}

// lensfun's modifier of the lens for the photograph: forward (pinhole
// position to the bent photograph) or reverse.
struct Lens {
    lfDatabase db;
    const lfCamera* camera = nullptr;
    const lfLens* lens = nullptr;
    std::optional<lfModifier> forward, reverse;
    bool load() {
        if (db.Load() != LF_NO_ERROR)
            return false;
        const lfCamera** cams = db.FindCamerasExt("Canon", "Canon EOS 5D Mark II");
        if (cams == nullptr)
            return false;
        camera = cams[0];
        lf_free(cams);
        const lfLens** lenses = db.FindLenses(camera, nullptr, "Canon EF 24-105mm f/4L IS USM");
        if (lenses == nullptr)
            return false;
        lens = lenses[0];
        lf_free(lenses);
        forward.emplace(lens, camera->CropFactor, PhotoW, PhotoH);
        reverse.emplace(lens, camera->CropFactor, PhotoW, PhotoH);
        const int want = LF_MODIFY_DISTORTION;
        return (forward->Initialize(lens, LF_PF_F32, FocalMm, 8.0f, 1000.0f, 1.0f, LF_RECTILINEAR,
                                    want, false) &
                want) != 0 &&
               (reverse->Initialize(lens, LF_PF_F32, FocalMm, 8.0f, 1000.0f, 1.0f, LF_RECTILINEAR,
                                    want, true) &
                want) != 0;
    }
    static std::array<double, 2> at(const lfModifier& m, double x, double y) {
        float out[2] = {0.0f, 0.0f};
        m.ApplyGeometryDistortion(static_cast<float>(x), static_cast<float>(y), 1, 1, out);
        return {static_cast<double>(out[0]), static_cast<double>(out[1])};
    }
};

void writeCameraExif(const std::string& file) {
    auto image = Exiv2::ImageFactory::open(file);
    image->readMetadata();
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Canon";
    exif["Exif.Image.Model"] = "Canon EOS 5D Mark II";
    exif["Exif.Photo.LensModel"] = "EF24-105mm f/4L IS USM";
    exif["Exif.Photo.FocalLength"] = Exiv2::Rational(24, 1);
    image->setExifData(exif);
    image->writeMetadata();
}

testsupport::Picture rectified(const std::string& photo, const rectify::Corners& corners,
                               const std::string& lens, const std::string& output,
                               std::string* note = nullptr) {
    app::RectifyJob job;
    job.photo = photo;
    job.corners = corners;
    job.output = output;
    job.realWidthCm = FacadeW;
    job.realHeightCm = FacadeH;
    job.sampling = rectify::Interpolation::Bilinear;
    job.lens = *app::parseLensSetting(lens);
    const app::JobOutcome out = app::runJob(job);
    EXPECT_TRUE(out.ok()) << out.message;
    if (note != nullptr)
        *note = out.lensNote;
    pixkit::dib d;
    pixkit::OpenDib(d, output);
    pixkit::Image owned(d);
    return owned.empty() ? testsupport::Picture{} : testsupport::toPicture(owned.get());
}

double grey(const testsupport::Picture& p, int x, int y) {
    return static_cast<double>(pixkit::greenOf(p.at(x, y)));
}

// How far the grid's vertical lines in `p` (a rectified facade) stray from
// straight lines: per line the brightness-weighted column of each row
// between the horizontal lines, a straight line fitted through them, the
// largest distance of a row from it. The worst line's figure, in pixels.
double worstBow(const testsupport::Picture& p) {
    const double perCmX = p.width / FacadeW, perCmY = p.height / FacadeH;
    const int half = static_cast<int>(std::ceil(3.0 * LineCm * perCmX));
    double worst = 0.0;
    for (int k = 1; k < static_cast<int>(FacadeW / GridCm); ++k) {
        const double expected = k * GridCm * perCmX;
        std::vector<std::array<double, 2>> points; // (row, column)
        for (int y = 0; y < p.height; ++y) {
            const double v = y / perCmY;
            const double off = std::abs(v - GridCm * std::round(v / GridCm));
            if (off < 4.0 * LineCm || v < GridCm / 2 || v > FacadeH - GridCm / 2)
                continue; // a crossing, or the picture's edge
            double sum = 0.0, weighted = 0.0;
            const int centre = static_cast<int>(std::lround(expected));
            for (int x = centre - half; x <= centre + half; ++x) {
                const double w = std::max(grey(p, x, y) - 50.0, 0.0);
                sum += w;
                weighted += w * x;
            }
            if (sum > 0.0)
                points.push_back({static_cast<double>(y), weighted / sum});
        }
        EXPECT_GT(points.size(), static_cast<std::size_t>(p.height / 2));
        double sy = 0, sx = 0, syy = 0, syx = 0;
        for (const auto& [y, x] : points) {
            sy += y;
            sx += x;
            syy += y * y;
            syx += y * x;
        }
        const double n = static_cast<double>(points.size());
        const double b = (n * syx - sy * sx) / (n * syy - sy * sy), a = (sx - b * sy) / n;
        for (const auto& [y, x] : points)
            worst = std::max(worst, std::abs(x - (a + b * y)));
    }
    return worst;
}

TEST(LensAccuracy, ADatabaseLensFromTheExifStraightensTheGridAsThePinholePictureShowsIt) {
    Lens lens;
    ASSERT_TRUE(lens.load()) << "lensfun's database lacks the camera or the lens";
    QTemporaryDir dir;
    const std::string pinhole = dir.filePath("pinhole.png").toStdString();
    const std::string bent = dir.filePath("bent.png").toStdString();

    // The facade's corners: in the bent photograph whole pixels near where
    // the lens draws the wanted ones, chosen so that the pinhole picture has
    // them at whole pixels too (within 0.05 px), as the reference run needs.
    const std::array<std::array<double, 2>, 4> wanted{
        {{210.0, 130.0}, {1310.0, 215.0}, {1260.0, 880.0}, {250.0, 820.0}}};
    rectify::Corners inBent{}, inPinhole{};
    std::array<std::array<double, 2>, 4> quad{};
    for (std::size_t k = 0; k < 4; ++k) {
        const auto near = Lens::at(*lens.forward, wanted[k][0], wanted[k][1]);
        double best = 1.0;
        for (int dy = -25; dy <= 25; ++dy)
            for (int dx = -25; dx <= 25; ++dx) {
                const int x = static_cast<int>(std::lround(near[0])) + dx;
                const int y = static_cast<int>(std::lround(near[1])) + dy;
                const auto u = Lens::at(*lens.reverse, x, y);
                const double miss =
                    std::max(std::abs(u[0] - std::round(u[0])), std::abs(u[1] - std::round(u[1])));
                if (miss < best) {
                    best = miss;
                    inBent[k] = {x, y};
                    inPinhole[k] = {static_cast<std::int32_t>(std::lround(u[0])),
                                    static_cast<std::int32_t>(std::lround(u[1]))};
                    quad[k] = u;
                }
            }
        ASSERT_LT(best, 0.05) << "corner " << k;
    }
    const Homography toFacade = Homography::toQuad(quad).inverse();
    writeGrey(pinhole, [&](int x, int y) { return pinholeAt(toFacade, x, y); });
    writeGrey(bent, [&](int x, int y) {
        const auto u = Lens::at(*lens.reverse, x, y);
        return pinholeAt(toFacade, u[0], u[1]);
    });
    writeCameraExif(bent);

    const testsupport::Picture reference =
        rectified(pinhole, inPinhole, "off", dir.filePath("reference.bmp").toStdString());
    std::string note;
    const testsupport::Picture corrected =
        rectified(bent, inBent, "auto", dir.filePath("corrected.bmp").toStdString(), &note);
    const testsupport::Picture uncorrected =
        rectified(bent, inBent, "off", dir.filePath("uncorrected.bmp").toStdString());
    EXPECT_EQ(note, "lens: Canon EF 24-105mm f/4L IS USM at 24 mm");
    ASSERT_GT(reference.width, 500);
    ASSERT_EQ(corrected.width, reference.width);
    ASSERT_EQ(corrected.height, reference.height);

    double squares = 0.0;
    for (int y = 0; y < reference.height; ++y)
        for (int x = 0; x < reference.width; ++x) {
            const double d = grey(corrected, x, y) - grey(reference, x, y);
            squares += d * d;
        }
    const double mse = squares / (static_cast<double>(reference.width) * reference.height);
    const double psnr = 10.0 * std::log10(255.0 * 255.0 / std::max(mse, 1e-12));
    const double bowCorrected = worstBow(corrected), bowUncorrected = worstBow(uncorrected),
                 bowReference = worstBow(reference);
    std::cout << "PSNR against the pinhole picture: " << psnr
              << " dB; worst bow of a grid line: corrected " << bowCorrected << " px, uncorrected "
              << bowUncorrected << " px, pinhole " << bowReference << " px\n";
    EXPECT_GE(psnr, 30.0);
    EXPECT_LE(bowCorrected, 0.5);
    EXPECT_GT(bowUncorrected, 1.0); // without the lens the lines visibly bow
}

// Photographs whose EXIF lies (cut off, counts of billions, directories that
// point at themselves, a focal length of 24/0): the picture still opens, no
// lens is applied, and the batch says why.
struct HostileExif {
    const char* file;
    std::optional<rectify::LensLookup> lookup; // when one reason is sure
};

class LensHostileExif : public ::testing::TestWithParam<HostileExif> {};

TEST_P(LensHostileExif, OpensWithoutALensAndSaysWhy) {
    const std::string file = std::string(FP_CODEC_REGRESSIONS) + "/" + GetParam().file;
    pixkit::dib d;
    pixkit::OpenDib(d, file);
    const pixkit::Image photo(d);
    ASSERT_FALSE(photo.empty());
    EXPECT_EQ(photo.width() * photo.height(), 24 * 16);
    const app::LensSetting automatic{app::LensSetting::Mode::Auto, 0.0};
    const app::LensApplied lens =
        app::applyLensSetting(automatic, file, photo.width(), photo.height());
    EXPECT_EQ(lens.geometry, nullptr);
    if (GetParam().lookup) {
        EXPECT_EQ(lens.lookup, *GetParam().lookup);
    }
    EXPECT_TRUE(app::lensNote(automatic, lens).starts_with("no lens correction: "))
        << app::lensNote(automatic, lens);
}

INSTANTIATE_TEST_SUITE_P(Files, LensHostileExif,
                         ::testing::Values(HostileExif{"exif-truncated.jpg", std::nullopt},
                                           HostileExif{"exif-huge-counts.jpg", std::nullopt},
                                           HostileExif{"exif-loop.jpg", std::nullopt},
                                           HostileExif{"exif-focal-zero.jpg",
                                                       rectify::LensLookup::NoFocal}),
                         [](const auto& c) {
                             std::string name = c.param.file;
                             name = name.substr(5, name.size() - 9); // "exif-" ... ".jpg"
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace

// Cameras that leave the standard lens tag empty name the lens in their
// maker's own tags (Canon's lens type number), which exiv2 decodes: a number
// it knows finds the lens, one it does not know finds none rather than a
// guess.
struct MakersLensTag {
    const char* name;
    std::uint16_t canonLensType;
    rectify::LensLookup lookup;
    const char* lensName;
};

class LensFromMakersTag : public ::testing::TestWithParam<MakersLensTag> {};

TEST_P(LensFromMakersTag, NamesTheLensWhenTheStandardTagIsEmpty) {
    const MakersLensTag& c = GetParam();
    QTemporaryDir dir;
    const std::string file = dir.filePath("maker.jpg").toStdString();
    writeGrey(file, [](int x, int y) { return (x / 8 + y / 8) % 2 * 255; });
    auto image = Exiv2::ImageFactory::open(file);
    image->readMetadata();
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Canon";
    exif["Exif.Image.Model"] = "Canon EOS 5D Mark II";
    exif["Exif.Photo.FocalLength"] = Exiv2::Rational(24, 1);
    exif["Exif.CanonCs.LensType"] = c.canonLensType;
    image->setExifData(exif);
    image->writeMetadata();

    const app::LensSetting automatic{app::LensSetting::Mode::Auto, 0.0};
    const app::LensApplied lens = app::applyLensSetting(automatic, file, PhotoW, PhotoH);
    EXPECT_EQ(lens.lookup, c.lookup) << app::lensNote(automatic, lens);
    EXPECT_EQ(lens.geometry != nullptr, c.lookup == rectify::LensLookup::Found);
    EXPECT_EQ(lens.lensName, c.lensName);
}

INSTANTIATE_TEST_SUITE_P(
    Canon, LensFromMakersTag,
    ::testing::Values(MakersLensTag{"KnownType", 237, rectify::LensLookup::Found,
                                    "Canon EF 24-105mm f/4L IS USM"},
                      MakersLensTag{"UnknownType", 65000, rectify::LensLookup::NoLens, ""}),
    [](const auto& p) { return std::string(p.param.name); });
