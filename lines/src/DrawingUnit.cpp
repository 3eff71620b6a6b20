#include "lines/DrawingUnit.h"

#include <array>
#include <cmath>
#include <limits>

namespace lines {

namespace {

struct UnitName {
    DrawingUnit unit;
    std::string_view name;
};
constexpr std::array<UnitName, 4> UnitNames = {{{DrawingUnit::Auto, "auto"},
                                                {DrawingUnit::Mm, "mm"},
                                                {DrawingUnit::Cm, "cm"},
                                                {DrawingUnit::M, "m"}}};

// The metric units of the DXF unit codes, by their power of ten in cm.
struct CodedUnit {
    int powerOfTen;
    int insunits;
    std::string_view name;
};
constexpr std::array<CodedUnit, 8> CodedUnits = {{{-1, 4, "mm"},
                                                  {0, 5, "cm"},
                                                  {1, 14, "dm"},
                                                  {2, 6, "m"},
                                                  {3, 15, "dam"},
                                                  {4, 16, "hm"},
                                                  {5, 7, "km"},
                                                  {11, 17, "Gm"}}};

} // namespace

std::optional<DrawingUnit> ParseDrawingUnit(std::string_view name) {
    for (const UnitName& u : UnitNames)
        if (u.name == name)
            return u.unit;
    return std::nullopt;
}

std::string_view DrawingUnitName(DrawingUnit unit) {
    for (const UnitName& u : UnitNames)
        if (u.unit == unit)
            return u.name;
    return "auto";
}

double DrawingUnitCm(DrawingUnit unit, double realWidthCm) {
    switch (unit) {
    case DrawingUnit::Mm:
        return 0.1;
    case DrawingUnit::Cm:
        return 1.0;
    case DrawingUnit::M:
        return 100.0;
    case DrawingUnit::Auto:
        break;
    }
    double t = realWidthCm;
    double m = 1.0;
    while (t > 100.0) {
        t = t / 10.0;
        m = m * 10.0;
    }
    return m;
}

std::optional<DxfFormat> ParseDxfFormat(std::string_view name) {
    if (name == "plain")
        return DxfFormat::Plain;
    if (name == "cad")
        return DxfFormat::Cad;
    return std::nullopt;
}

std::string_view DxfFormatName(DxfFormat format) {
    return format == DxfFormat::Cad ? "cad" : "plain";
}

CadUnit NearestCadUnit(double unitCm) {
    const double power =
        unitCm > 0.0 && std::isfinite(unitCm) ? std::log10(unitCm) : 0.0; // not a unit: cm
    const CodedUnit* best = &CodedUnits[0];
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const CodedUnit& c : CodedUnits) {
        // Strictly nearer only: a tie keeps the smaller unit found first.
        const double d = std::fabs(power - c.powerOfTen);
        if (d < bestDistance - 1e-9) {
            best = &c;
            bestDistance = d;
        }
    }
    return {std::pow(10.0, best->powerOfTen), best->insunits, best->name};
}

} // namespace lines
