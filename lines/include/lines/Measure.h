#pragma once
// Measuring in a rectified image at the real scale of the facade: distances,
// polyline lengths, polygon areas and perimeters, and their texts in the
// user's number format for the status bar and the clipboard.
//
// The pixel rule. Positions in the picture are in pixels, x to the right,
// y downwards, (0, 0) the top-left corner of the top-left pixel. A position
// snaps to the pixel that contains it, (floor x, floor y), kept inside the
// picture; a snapped pixel stands for its centre (i + 0.5, j + 0.5). Every
// figure is measured between pixel centres: two clicks in one pixel measure 0,
// the pixels (0, 0) and (100, 0) lie 100 pixels apart, and a polygon through
// the pixels (0, 0), (10, 0), (10, 10), (0, 10) encloses 10 x 10 pixels.
//
// The scale is the picture's own, in pixels per centimetre of the real
// facade, one for x and one for y (a rectified picture has the same in both).
//
// Error policy: a scale that is no positive finite number, or too few
// points, gives no measurement (an empty optional). Nothing throws.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lines {

struct PixelPos {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPos&, const PixelPos&) = default;
};

struct PictureScale {
    double pixelsPerCmX = 0.0;
    double pixelsPerCmY = 0.0;
    // Both scales positive and finite.
    bool valid() const;
};

// The pixel of a width x height picture under the position (x, y): the pixel
// that contains it; a position beyond the picture snaps to the nearest pixel
// on its edge. The picture must have at least one pixel.
PixelPos SnapToPixel(double x, double y, int width, int height);

// Distance in cm between the centres of two pixels. Empty without a scale.
std::optional<double> DistanceCm(PixelPos a, PixelPos b, const PictureScale& scale);

enum class MeasureShape {
    Distance, // two points
    Polyline, // three or more points, open
    Polygon,  // three or more points, closed
};

struct Measurement {
    MeasureShape shape = MeasureShape::Distance;
    // Distance or polyline: its length; polygon: its perimeter (the closing
    // side included). In cm.
    double lengthCm = 0.0;
    // Polygon only: the enclosed area in cm² (shoelace formula over the pixel
    // centres; a polygon whose sides cross gives the difference of its loops).
    double areaCm2 = 0.0;
    // Length of every side in cm, in click order; a polygon's last side is the
    // closing one.
    std::vector<double> sidesCm;
};

// Measures the points in click order. Two points give a distance, more give a
// polyline, or a polygon when `closed` (three points at least). Empty without
// a scale, with fewer than two points, or closed with fewer than three.
std::optional<Measurement> Measure(std::span<const PixelPos> points, bool closed,
                                   const PictureScale& scale);

// The number format of the user's locale (QLocale::decimalPoint() and
// groupSeparator() in the window). Groups of three digits from 1000 on.
struct NumberStyle {
    std::string decimalPoint = ",";
    std::string groupSeparator = ".";
};

// `value` with `decimals` decimals, correctly rounded from its binary value
// (412.45 is 412.4499... and gives "412,4"); "-" when not finite.
std::string FormatNumber(double value, int decimals, const NumberStyle& style);

// A length in cm: below 10 m in cm with one decimal ("412,5 cm"), from 10 m
// on in m with two ("19,62 m"); the unit is chosen after rounding.
std::string FormatLength(double cm, const NumberStyle& style);

// An area in cm²: below 1 m² in cm² with one decimal ("850,5 cm²"), from
// 1 m² on in m² with two ("23,41 m²").
std::string FormatArea(double cm2, const NumberStyle& style);

// The German templates of the results; %1 and %2 are filled with the
// formatted figures. The window passes each through Translate.
struct MeasureTexts {
    std::string distance = "Abstand %1";
    std::string polyline = "Länge %1";
    std::string polygon = "Fläche %1 (Umfang %2)";
    std::string side = "Strecke %1: %2"; // number of the side, its length
};

// The templates passed through `translate` (German in, shown text out).
MeasureTexts
TranslatedMeasureTexts(const std::function<std::string(const std::string&)>& translate);

// The status bar's line: "Abstand 412,5 cm", "Länge 8,3 m",
// "Fläche 23,41 m² (Umfang 19,62 m)".
std::string MeasureText(const Measurement& m, const MeasureTexts& texts, const NumberStyle& style);

// What Ctrl+C copies: the status bar's line, then for a polyline or polygon
// one line per side ("Strecke 1: 412,5 cm"); every line ends with a line feed.
std::string MeasureClipboardText(const Measurement& m, const MeasureTexts& texts,
                                 const NumberStyle& style);

// `text` with every %1 ... %9 replaced by args[0] ... args[8]; a marker
// without an argument stays as it is.
std::string FillTemplate(std::string_view text, std::span<const std::string> args);

} // namespace lines
