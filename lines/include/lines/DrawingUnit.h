#pragma once
// The unit of every file that carries real coordinates: both DXF flavours
// and the world file. `Auto` is the drawing's own rule (1, 10, 100 ... cm,
// so that the marked rectangle is at most 100 units wide); a fixed unit makes
// all of these files use it, so they keep lying on top of each other.
//
// Error policy: names that are no unit come back empty; nothing throws.

#include <optional>
#include <string_view>

namespace lines {

enum class DrawingUnit { Auto, Mm, Cm, M };

// "auto", "mm", "cm", "m" (the names the command line takes); empty for any
// other text.
std::optional<DrawingUnit> ParseDrawingUnit(std::string_view name);
std::string_view DrawingUnitName(DrawingUnit unit);

// The drawing unit in centimetres for a marked rectangle realWidthCm wide:
// 0.1, 1 or 100 for the fixed units; for Auto 1, 10, 100 ... until the width
// is at most 100 units.
double DrawingUnitCm(DrawingUnit unit, double realWidthCm);

// The two DXF flavours: the plain drawing of closed polylines (the default)
// and the CAD drawing with units, layers and the photograph as underlay.
enum class DxfFormat { Plain, Cad };

// "plain", "cad"; empty for any other text.
std::optional<DxfFormat> ParseDxfFormat(std::string_view name);
std::string_view DxfFormatName(DxfFormat format);

// A length unit a CAD program knows by its DXF code ($INSUNITS).
struct CadUnit {
    double cm = 1.0;       // the unit in centimetres
    int insunits = 5;      // its $INSUNITS code
    std::string_view name; // "cm", "dm", "m" ...
};

// The metric unit with a DXF code nearest to `unitCm` (in powers of ten;
// between two equally near, the smaller): mm, cm, dm, m, dam, hm and km have
// codes, so a power of ten from 0.1 to 100 000 cm is its own unit; 10^6 to
// 10^8 cm become km, 10^9 cm and above gigametres. A drawing that records
// such a unit writes its coordinates in it.
CadUnit NearestCadUnit(double unitCm);

} // namespace lines
