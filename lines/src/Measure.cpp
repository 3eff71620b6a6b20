#include "lines/Measure.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace lines {

bool PictureScale::valid() const {
    return pixelsPerCmX > 0.0 && std::isfinite(pixelsPerCmX) && pixelsPerCmY > 0.0 &&
           std::isfinite(pixelsPerCmY);
}

PixelPos SnapToPixel(double x, double y, int width, int height) {
    auto snap = [](double v, int size) {
        // NaN and positions far beyond the picture land on an edge pixel.
        if (!(v >= 0.0))
            return 0;
        if (v >= static_cast<double>(size))
            return size - 1;
        return std::min(static_cast<int>(std::floor(v)), size - 1);
    };
    return {snap(x, width), snap(y, height)};
}

namespace {

// Side length in cm between two pixel centres (the half pixels cancel).
double sideCm(PixelPos a, PixelPos b, const PictureScale& scale) {
    const double dx = (static_cast<double>(b.x) - a.x) / scale.pixelsPerCmX;
    const double dy = (static_cast<double>(b.y) - a.y) / scale.pixelsPerCmY;
    return std::hypot(dx, dy);
}

} // namespace

std::optional<double> DistanceCm(PixelPos a, PixelPos b, const PictureScale& scale) {
    if (!scale.valid())
        return std::nullopt;
    return sideCm(a, b, scale);
}

std::optional<Measurement> Measure(std::span<const PixelPos> points, bool closed,
                                   const PictureScale& scale) {
    const std::size_t n = points.size();
    if (!scale.valid() || n < 2 || (closed && n < 3))
        return std::nullopt;
    Measurement m;
    m.shape =
        closed ? MeasureShape::Polygon : (n == 2 ? MeasureShape::Distance : MeasureShape::Polyline);
    const std::size_t sides = closed ? n : n - 1;
    m.sidesCm.reserve(sides);
    for (std::size_t i = 0; i < sides; ++i) {
        m.sidesCm.push_back(sideCm(points[i], points[(i + 1) % n], scale));
        m.lengthCm += m.sidesCm.back();
    }
    if (closed) {
        // Twice the area in square pixels, exact in 64-bit integers.
        std::int64_t twice = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const PixelPos p = points[i];
            const PixelPos q = points[(i + 1) % n];
            twice += static_cast<std::int64_t>(p.x) * q.y - static_cast<std::int64_t>(q.x) * p.y;
        }
        m.areaCm2 = static_cast<double>(twice < 0 ? -twice : twice) / 2.0 /
                    (scale.pixelsPerCmX * scale.pixelsPerCmY);
    }
    return m;
}

namespace {

// |value| with `decimals` decimals and a full stop, correctly rounded.
// to_chars and from_chars ignore the process locale (the window sets one).
std::string fixedDigits(double value, int decimals) {
    std::array<char, 400> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                                 std::chars_format::fixed, std::max(decimals, 0));
    if (r.ec != std::errc())
        return {};
    return {buf.data(), r.ptr};
}

// |value| as it reads after rounding to `decimals` decimals.
double roundedMagnitude(double value, int decimals) {
    const std::string digits = fixedDigits(value, decimals);
    double back = std::numeric_limits<double>::infinity();
    std::from_chars(digits.data(), digits.data() + digits.size(), back);
    return back;
}

} // namespace

std::string FormatNumber(double value, int decimals, const NumberStyle& style) {
    const std::string digits = std::isfinite(value) ? fixedDigits(value, decimals) : "";
    if (digits.empty())
        return "-";
    const std::size_t point = std::min(digits.find('.'), digits.size());
    const std::string whole = digits.substr(0, point);
    std::string out;
    if (value < 0.0 && digits.find_first_not_of("0.") != std::string::npos)
        out += '-';
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && whole.size() >= 4 && (whole.size() - i) % 3 == 0)
            out += style.groupSeparator;
        out += whole[i];
    }
    if (point < digits.size())
        out += style.decimalPoint + digits.substr(point + 1);
    return out;
}

std::string FormatLength(double cm, const NumberStyle& style) {
    if (roundedMagnitude(cm, 1) < 1000.0)
        return FormatNumber(cm, 1, style) + " cm";
    return FormatNumber(cm / 100.0, 2, style) + " m";
}

std::string FormatArea(double cm2, const NumberStyle& style) {
    if (roundedMagnitude(cm2, 1) < 10000.0)
        return FormatNumber(cm2, 1, style) + " cm²";
    return FormatNumber(cm2 / 10000.0, 2, style) + " m²";
}

MeasureTexts
TranslatedMeasureTexts(const std::function<std::string(const std::string&)>& translate) {
    MeasureTexts t;
    for (std::string* s : {&t.distance, &t.polyline, &t.polygon, &t.side})
        *s = translate(*s);
    return t;
}

std::string FillTemplate(std::string_view text, std::span<const std::string> args) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto k = static_cast<std::size_t>(text[i + 1] - '1');
            if (k < args.size()) {
                out += args[k];
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string MeasureText(const Measurement& m, const MeasureTexts& texts, const NumberStyle& style) {
    switch (m.shape) {
    case MeasureShape::Distance: {
        const std::string args[] = {FormatLength(m.lengthCm, style)};
        return FillTemplate(texts.distance, args);
    }
    case MeasureShape::Polyline: {
        const std::string args[] = {FormatLength(m.lengthCm, style)};
        return FillTemplate(texts.polyline, args);
    }
    case MeasureShape::Polygon: {
        const std::string args[] = {FormatArea(m.areaCm2, style), FormatLength(m.lengthCm, style)};
        return FillTemplate(texts.polygon, args);
    }
    }
    return {};
}

std::string MeasureClipboardText(const Measurement& m, const MeasureTexts& texts,
                                 const NumberStyle& style) {
    std::string out = MeasureText(m, texts, style) + "\n";
    if (m.shape == MeasureShape::Distance)
        return out;
    for (std::size_t i = 0; i < m.sidesCm.size(); ++i) {
        const std::string args[] = {std::to_string(i + 1), FormatLength(m.sidesCm[i], style)};
        out += FillTemplate(texts.side, args) + "\n";
    }
    return out;
}

} // namespace lines
