#pragma once
// Printing a rectified picture at a drawing scale 1:N into a PDF: one cm of
// the real facade becomes exactly 1/N cm on paper. A picture larger than the
// sheet is tiled over several pages that overlap by OverlapMm; laid over
// each other at their marks, the pages assemble to the true size.
//
// Every page carries, in a band below the picture: the scale ("M 1:50"), a
// scale bar of a round length with its ticks, the page number, the
// photograph's file name, the real size of the marked rectangle and the date.
// The captions are the caller's (PrintCaptions: German templates that the
// caller translates); nothing on the page is fixed text but the units.
//
// The page plan (PlanScalePrint) is plain arithmetic and needs no Qt
// objects: the export dialog shows it as its preview. The writer
// (WriteScalePdf) draws with Qt's QPdfWriter and needs a QGuiApplication for
// its fonts (the offscreen platform will do); no widgets.
//
// Error policy: every expected failure (no scale, a scale or margin out of
// range, too many pages, no memory, a file that cannot be written) comes
// back as a status; nothing is written then and an existing file stays as it
// was. Nothing throws.

#include "pixkit/dib.h"

#include <QDate>
#include <QLocale>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixkit {

enum class PaperSize { A4, A3, A2, A1, A0 };

struct Paper {
    PaperSize size = PaperSize::A4;
    bool landscape = false;
    friend bool operator==(const Paper&, const Paper&) = default;
};

struct SizeMm {
    double width = 0.0;
    double height = 0.0;
};

struct RectMm {
    double x = 0.0; // from the left edge
    double y = 0.0; // from the top edge
    double width = 0.0;
    double height = 0.0;
};

// The sheet in mm (ISO 216: A4 210 x 297); landscape swaps the sides.
SizeMm SheetSize(const Paper& paper);

// "A4", "a3", "A0,landscape" (the batch's --paper); empty when unknown.
std::optional<Paper> ParsePaper(std::string_view text);

// "A4" ... "A0", with ",landscape" for a landscape sheet.
std::string PaperName(const Paper& paper);

inline constexpr int MinScale = 1;
inline constexpr int MaxScale = 10000;
// The scales the dialog offers (the N of 1:N).
inline constexpr std::array<int, 8> ScalePresets{1, 10, 20, 25, 50, 100, 200, 500};
inline constexpr double DefaultMarginMm = 10.0;
inline constexpr double MaxMarginMm = 50.0;
// Height of the band below the picture with the scale bar and the captions.
inline constexpr double CaptionBandMm = 20.0;
// How far neighbouring pages of a tiled print show the same strip.
inline constexpr double OverlapMm = 10.0;
// More pages are refused (a 1:1 print of a facade on A4 would need
// thousands).
inline constexpr int MaxPages = 500;

// What the page plan needs of a print.
struct ScalePrintInput {
    int widthPx = 0;
    int heightPx = 0;
    double pixelsPerCmX = 0.0; // the picture's real scale
    double pixelsPerCmY = 0.0;
    int scale = 50; // N of 1:N
    Paper paper;
    double marginMm = DefaultMarginMm; // on every side of the sheet
};

enum class PrintStatus {
    Done,             // planned, or written
    NoImage,          // the picture has no pixels
    NoScale,          // the picture has no real scale (no real width)
    BadScale,         // N outside MinScale ... MaxScale
    BadMargin,        // margin negative, above MaxMarginMm, or no room left on the sheet
    TooManyPages,     // more than MaxPages
    NoGuiApplication, // WriteScalePdf without a QGuiApplication (fonts)
    OutOfMemory,      // the picture could not be prepared for the PDF
    CannotWrite,      // the file could not be created or written
};

// One page of the set: which part of the placed picture it shows, and where.
struct PrintTile {
    int column = 0; // from the left, 0-based
    int row = 0;    // from the top, 0-based
    RectMm part;    // in mm of paper from the placed picture's top-left corner
    RectMm onPage;  // where that part lies on the page, in mm from its top-left
};

// The scale bar: 0 ... lengthCm of the facade, lengthMm on paper, split into
// `divisions` parts, drawn at `rect` on every page.
struct ScaleBar {
    double lengthCm = 0.0;
    double lengthMm = 0.0;
    int divisions = 0;
    std::string label; // its length: "1 m", "50 cm"
    RectMm rect;
};

struct PagePlan {
    PrintStatus status = PrintStatus::Done;
    double realWidthCm = 0.0; // the whole picture on the facade
    double realHeightCm = 0.0;
    double placedWidthMm = 0.0; // the whole picture on paper: real size / N
    double placedHeightMm = 0.0;
    SizeMm sheet;
    RectMm pictureArea; // the room for the picture on each page
    int columns = 0;    // also set for TooManyPages, so the dialog can say how many
    int rows = 0;
    std::vector<PrintTile> tiles; // page order: rows top to bottom, each left to right
    ScaleBar bar;
    int pages() const { return columns * rows; }
};

// The page plan of a print; status Done, or why it cannot be printed. A
// picture that fits one page is centred in the picture area; a tiled set
// starts at the area's top-left corner and each further page repeats the
// last OverlapMm of its neighbour.
PagePlan PlanScalePrint(const ScalePrintInput& input);

// The scale bar at 1:N: the shortest length of 1, 2 or 5 x 10^k cm that is
// at least 20 mm on paper (0 - 1 m at 1:50, 0 - 2 m at 1:100), in 10, 4 or 5
// divisions. Its rect is left empty.
ScaleBar ChooseScaleBar(int scale);

struct DefaultPrint {
    int scale = 50;
    Paper paper;
};

// The batch's choice when no scale is given: 1:50 when the picture fits one
// A4 at it (portrait, else landscape), otherwise the smallest N of
// ScalePresets at which it fits one A0 (portrait, else landscape), on that
// A0; a picture too large for A0 even at 1:500 gets 1:500 on A0, tiled.
// Empty without a real scale or an image.
std::optional<DefaultPrint> ChooseDefaultPrint(int widthPx, int heightPx, double pixelsPerCmX,
                                               double pixelsPerCmY,
                                               double marginMm = DefaultMarginMm);

// The German templates of the page; the caller passes them through its
// translation (or sets its own). %1, %2 are filled as noted.
struct PrintCaptions {
    std::string scale = "M 1:%1";                              // N
    std::string page = "Seite %1 von %2";                      // page, pages
    std::string photo = "Foto: %1";                            // file name
    std::string rectangle = "Gemessenes Rechteck: %1 × %2 cm"; // real width, height
    std::string date = "Datum: %1";                            // the date
};

PrintCaptions
TranslatedPrintCaptions(const std::function<std::string(const std::string&)>& translate);

struct ScalePdfJob {
    double pixelsPerCmX = 0.0;
    double pixelsPerCmY = 0.0;
    int scale = 50;
    Paper paper;
    double marginMm = DefaultMarginMm;
    std::string photoName;         // shown as given (pass the file name without its folder)
    double rectangleWidthCm = 0.0; // the marked rectangle; no line when not above 0
    double rectangleHeightCm = 0.0;
    QDate date;     // none when invalid
    QLocale locale; // numbers and the date
    PrintCaptions captions;
    bool lossless = false; // picture as Flate (lossless) instead of JPEG
};

struct PdfWrite {
    PrintStatus status = PrintStatus::Done;
    int pages = 0;
    int errorCode = 0; // CannotWrite: the errno (or fp code) of the failure
};

// Writes the picture at the job's scale to `path` through a temporary file
// and a rename. The picture is embedded once; every page of a tiled set shows
// its part of that one image.
PdfWrite WriteScalePdf(const std::string& path, const dib& picture, const ScalePdfJob& job);

// The German message for a status other than Done (for Translate), and its
// English (the batch's).
const char* PrintStatusGerman(PrintStatus status);
const char* PrintStatusEnglish(PrintStatus status);

} // namespace pixkit
