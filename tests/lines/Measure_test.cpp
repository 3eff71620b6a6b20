// Measuring at the real scale: figures between pixel centres, and their
// texts in German and English number formats.

#include "lines/Measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using lines::PixelPos;

struct Click {
    double x;
    double y;
};

struct MeasureCase {
    const char* name;
    std::vector<Click> clicks; // mouse positions in picture pixels
    bool closed;
    double pxPerCmX;
    double pxPerCmY;
    double lengthCm; // length, or perimeter of a polygon
    double areaCm2;
    const char* status; // the status bar's line in German numbers
};

// Clicks land anywhere inside a pixel; the figures depend only on the pixels.
// The picture is 2000 x 2000 pixels.
class Measuring : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(Measuring, FiguresBetweenPixelCentresAndTheirText) {
    const MeasureCase& c = GetParam();
    std::vector<PixelPos> points;
    for (const Click& k : c.clicks)
        points.push_back(lines::SnapToPixel(k.x, k.y, 2000, 2000));
    const auto m = lines::Measure(points, c.closed, {c.pxPerCmX, c.pxPerCmY});
    ASSERT_TRUE(m.has_value());
    EXPECT_NEAR(m->lengthCm, c.lengthCm, 1e-9 * c.lengthCm);
    EXPECT_NEAR(m->areaCm2, c.areaCm2, 1e-9 * c.areaCm2);
    EXPECT_EQ(lines::MeasureText(*m, {}, {}), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, Measuring,
    ::testing::Values(
        // 825 pixels at 2 px/cm; the clicks lie at opposite ends of their pixels.
        MeasureCase{
            "Distance", {{0.9, 0.1}, {825.05, 0.99}}, false, 2, 2, 412.5, 0, "Abstand 412,5 cm"},
        MeasureCase{
            "OnePixelIsNothing", {{7.1, 7.1}, {7.9, 7.9}}, false, 2, 2, 0, 0, "Abstand 0,0 cm"},
        // 3-4-5 with a different scale in x and y: 300 px / 3, 400 px / 4.
        MeasureCase{"ScalesPerAxis",
                    {{0, 0}, {300.5, 400.5}},
                    false,
                    3,
                    4,
                    std::sqrt(2e4),
                    0,
                    "Abstand 141,4 cm"},
        // Beyond the picture the clicks snap to its edge pixels 0 and 1999.
        MeasureCase{"ClampedToThePicture",
                    {{-50, 10}, {2500, 10}},
                    false,
                    1,
                    1,
                    1999,
                    0,
                    "Abstand 19,99 m"},
        MeasureCase{
            "Polyline", {{0, 0}, {600, 0}, {600, 800}}, false, 0.5, 0.5, 2800, 0, "Länge 28,00 m"},
        // 1300 x 720 pixels at 2 px/cm: 650 x 360 cm.
        MeasureCase{"Rectangle",
                    {{100, 100}, {1400, 100}, {1400, 820}, {100, 820}},
                    true,
                    2,
                    2,
                    2020,
                    234000,
                    "Fläche 23,40 m² (Umfang 20,20 m)"},
        // Clockwise or not, the area counts; small areas stay in cm².
        MeasureCase{"Triangle",
                    {{0, 0}, {0, 30}, {40, 0}},
                    true,
                    1,
                    1,
                    120,
                    600,
                    "Fläche 600,0 cm² (Umfang 120,0 cm)"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Measuring, NoFigureWithoutScaleOrPoints) {
    const std::vector<PixelPos> two{{0, 0}, {10, 0}};
    const std::vector<PixelPos> one{{0, 0}};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const lines::PictureScale s :
         {lines::PictureScale{0, 1}, {1, 0}, {-2, -2}, {nan, 1}, {1, inf}})
        EXPECT_FALSE(lines::Measure(two, false, s).has_value()) << s.pixelsPerCmX;
    EXPECT_FALSE(lines::DistanceCm({0, 0}, {1, 1}, {0, 0}).has_value());
    EXPECT_FALSE(lines::Measure(one, false, {1, 1}).has_value());
    EXPECT_FALSE(lines::Measure(two, true, {1, 1}).has_value());
    EXPECT_EQ(lines::SnapToPixel(nan, 1e300, 10, 20), (PixelPos{0, 19}));
}

struct FormatCase {
    double value;
    bool area;
    const char* german;
    const char* english;
};

class Formatting : public ::testing::TestWithParam<FormatCase> {};

// The unit is chosen after rounding; groups of three from 1000 on.
TEST_P(Formatting, UnitAfterRoundingAndGroups) {
    const FormatCase& c = GetParam();
    const lines::NumberStyle german;
    const lines::NumberStyle english{".", ","};
    auto text = [&](const lines::NumberStyle& s) {
        return c.area ? lines::FormatArea(c.value, s) : lines::FormatLength(c.value, s);
    };
    EXPECT_EQ(text(german), c.german);
    EXPECT_EQ(text(english), c.english);
}

INSTANTIATE_TEST_SUITE_P(Figures, Formatting,
                         ::testing::Values(FormatCase{412.5, false, "412,5 cm", "412.5 cm"},
                                           FormatCase{999.94, false, "999,9 cm", "999.9 cm"},
                                           FormatCase{999.96, false, "10,00 m", "10.00 m"},
                                           FormatCase{123456.0, false, "1.234,56 m", "1,234.56 m"},
                                           FormatCase{0.04, false, "0,0 cm", "0.0 cm"},
                                           FormatCase{9999.9, true, "9.999,9 cm²", "9,999.9 cm²"},
                                           FormatCase{9999.96, true, "1,00 m²", "1.00 m²"},
                                           FormatCase{1.5e10, true, "1.500.000,00 m²",
                                                      "1,500,000.00 m²"}),
                         [](const auto& p) { return "Case" + std::to_string(p.index); });

// What Ctrl+C copies: the line of the status bar and every side, translated.
TEST(Measuring, ClipboardListsTheSidesInTheCallersLanguage) {
    const std::vector<PixelPos> points{{0, 0}, {0, 30}, {40, 30}};
    const auto polyline = lines::Measure(points, false, {1, 1});
    const auto polygon = lines::Measure(points, true, {1, 1});
    ASSERT_TRUE(polyline && polygon);
    const lines::MeasureTexts english = lines::TranslatedMeasureTexts([](const std::string& de) {
        if (de == "Länge %1")
            return std::string("Length %1");
        if (de == "Fläche %1 (Umfang %2)")
            return std::string("Area %1 (perimeter %2)");
        return de == "Strecke %1: %2" ? std::string("Side %1: %2") : de;
    });
    const lines::NumberStyle style{".", ","};
    EXPECT_EQ(lines::MeasureClipboardText(*polyline, english, style),
              "Length 70.0 cm\nSide 1: 30.0 cm\nSide 2: 40.0 cm\n");
    EXPECT_EQ(lines::MeasureClipboardText(*polygon, english, style),
              "Area 600.0 cm² (perimeter 120.0 cm)\nSide 1: 30.0 cm\nSide 2: 40.0 cm\n"
              "Side 3: 50.0 cm\n");
    const auto distance = lines::Measure(std::vector<PixelPos>{{0, 0}, {3, 4}}, false, {1, 1});
    ASSERT_TRUE(distance);
    EXPECT_EQ(lines::MeasureClipboardText(*distance, {}, {}), "Abstand 5,0 cm\n");
}

} // namespace
