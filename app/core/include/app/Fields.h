#pragma once
// The numeric fields of the program: limits, start values, steps and
// decimals, written once. The window builds its controls from this table,
// the batch mode takes its defaults and limits from it, and the tests compare
// the window's controls against it.

#include <array>
#include <string_view>

namespace app {

struct FieldLimits {
    std::string_view name; // the control
    double minimum = 0.0;
    double maximum = 0.0;
    double start = 0.0;
    double step = 1.0;
    int decimals = 0; // 0: whole numbers
};

// A field "without limits" still needs a range in Qt.
inline constexpr double Unbounded = 1e12;

namespace fields {
inline constexpr FieldLimits Zoom{"ZoomEd", 1, 1000, 40, 10, 0};
inline constexpr FieldLimits AngleX{"RxSpinEdit1", -Unbounded, Unbounded, 0, 1, 2};
inline constexpr FieldLimits AngleY{"RxSpinEdit2", -Unbounded, Unbounded, 0, 1, 2};
inline constexpr FieldLimits RealWidth{"BreiteED", -Unbounded, Unbounded, 1000, 1, 2};
inline constexpr FieldLimits RealHeight{"HoeheEd", -Unbounded, Unbounded, 1000, 1, 2};
inline constexpr FieldLimits Target{"zieledValue", 1, 1000, 100, 10, 0};
inline constexpr FieldLimits Area{"RechenbereichEd", 1, 10000, 100, 10, 0};
inline constexpr FieldLimits Threshold{"Schwelled", 1, 99, 50, 1, 0};
inline constexpr FieldLimits Blend{"BlendEd", 0, 100, 0, 10, 0};
inline constexpr FieldLimits JpegQuality{"QualEd", 1, 100, 90, 1, 0};
// Outlines smaller than this many pixels of the rectified image both across
// and down are left out of a DXF drawing; 0 keeps every one.
inline constexpr FieldLimits MinSize{"MindestgroesseEd", 0, 100000, 0, 1, 0};

inline constexpr std::array All{Zoom, AngleX,    AngleY, RealWidth,   RealHeight, Target,
                                Area, Threshold, Blend,  JpegQuality, MinSize};
} // namespace fields

// The value `field` holds after `v` is put into it: rounded to its decimals
// (halves to even) and kept within its limits.
double heldValue(const FieldLimits& field, double v);

// The whole-number value `field` holds after `v` is put into it.
int heldWhole(const FieldLimits& field, int v);

} // namespace app
