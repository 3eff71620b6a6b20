#pragma once
// One rectification of a photograph into a file, as the batch mode runs it:
// the job (what to do, plain values) and runJob (doing it).
//
// runJob touches no global state and prints nothing: everything it has to say
// comes back in the outcome. Jobs may run on several threads at once.

#include "app/Fields.h"
#include "app/LensSetting.h"
#include "lines/DrawingUnit.h"
#include "pixkit/ImageFile.h"
#include "rectify/Run.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace app {

// Exit codes of the batch mode.
enum class BatchExit : int {
    Written = 0,         // the rectified image was written
    Usage = 1,           // fewer than 10 parameters, or an unknown option
    NotANumber = 2,      // a corner, size or area parameter or an option's value is not valid
    PhotoUnreadable = 3, // the photograph cannot be opened
    BadOutputType = 4,   // the output extension names no format the batch writes
    NoImage = 5,         // the rectification produced no image
    WriteFailed = 6,     // the output file could not be written
    TraceFailed = 7,     // no memory to trace the rectified image for a DXF drawing
};

struct RectifyJob {
    std::string photo;          // the photograph (the file system's bytes)
    rectify::Corners corners{}; // in photograph pixels, stored order
    std::string output;         // the result file; its extension picks the format, .dxf a drawing
    // The real size of the marked rectangle in cm, both or none; without it
    // the width is preset from the tilt and the height is the field's start.
    std::optional<double> realWidthCm;
    std::optional<double> realHeightCm;
    int areaPercent = static_cast<int>(fields::Area.start);
    rectify::Interpolation sampling = rectify::Interpolation::Nearest;
    int threshold = static_cast<int>(fields::Threshold.start); // of a DXF drawing, percent
    bool worldFile = false;                                    // also write the world file
    int jpegQuality = static_cast<int>(fields::JpegQuality.start);
    LensSetting lens;          // the lens correction, off by default
    int webpQuality = 100;     // lossless unless the run names a quality
    bool qualityGiven = false; // --quality: the stored JPEG quality does not apply
    int pngLevel = pixkit::DefaultPngLevel;
    lines::DxfFormat dxfFormat = lines::DxfFormat::Plain;
    lines::DrawingUnit unit = lines::DrawingUnit::Auto;      // of the drawing and the world file
    int minSizePx = static_cast<int>(fields::MinSize.start); // outlines left out of a drawing
    // The threads of the parallel loops for this process; 0: the default.
    // runJob leaves the pool alone: the batch program sets it.
    int threads = 0;
    // An output ending in ".pdf" prints the image at 1:pdfScale on pdfPaper
    // ("A3", "A1,landscape"); either empty: the one the picture fits.
    std::optional<int> pdfScale;
    std::string pdfPaper;
    // Image 1 of a project: its target size, the angles it was made with when
    // they were typed (no search then), and the quarter turns to the right
    // the photograph had in the window.
    int targetPercent = static_cast<int>(fields::Target.start);
    std::optional<std::array<double, 2>> typedAnglesDeg;
    int sourceTurns = 0;
    // A JPEG into a JPEG is decoded, rectified and encoded at once where it
    // can be (app/StreamedJob.h); false: always the whole-image way, which
    // writes the same bytes.
    bool stream = true;
};

struct JobOutcome {
    BatchExit exit = BatchExit::Written;
    // What to tell the user: where the result is, or what failed (one line,
    // without the program's name and the line end).
    std::string message;
    // The rectified image (for a drawing: the traced image), 0 x 0 without one.
    int width = 0;
    int height = 0;
    // The found tilt, when the search completed.
    std::optional<double> angleXDeg;
    std::optional<double> angleYDeg;
    // Pixels per cm of the real facade in the rectified image.
    std::optional<double> pixelsPerCm;
    std::size_t segments = 0; // of a drawing
    // What became of the lens correction (lensNote), for standard error;
    // empty when it is off.
    std::string lensNote;
    std::string underlay;  // the photograph beside a CAD drawing; empty without one
    bool streamed = false; // decoded, rectified and encoded at once (app/StreamedJob.h)
    bool ok() const { return exit == BatchExit::Written; }
};

// True when `outputFile` ends in ".dxf" (letters in any case): the job then
// writes the line drawing of the rectified image instead of the image.
bool isDxfOutput(const std::string& outputFile);

// True when `outputFile` ends in ".pdf" (letters in any case): the job prints
// the rectified image at a drawing scale.
bool isPdfOutput(const std::string& outputFile);

// The PDF is drawn with QtGui, which app/core does without: the program hands
// its writer to runJob (app/print/PdfOutput.h). Without one a ".pdf" output
// is refused as an unknown type.
struct PdfOutput {
    // True when `paper` names a sheet ("A4" ... "A0", ",landscape").
    bool (*knowsPaper)(const std::string& paper);
    // Prints `image`, made at `scale`, to job.output; `outcome` holds what
    // the run found.
    JobOutcome (*write)(const RectifyJob& job, const pixkit::dib& image,
                        const rectify::RunScale& scale, JobOutcome outcome);
};

// True when the extension of `outputFile` (from its last "." on, letters
// compared without case) is one of the formats the batch writes.
bool isBatchOutputType(const std::string& outputFile);

// Those extensions as the usage and the messages list them: ".bmp .dib ...".
std::string batchOutputTypeList();

// A job's own mistakes that need no file: a real size of 0 or less, an
// output type the batch does not write. Empty when there are none.
std::optional<JobOutcome> checkJob(const RectifyJob& job, const PdfOutput* pdf = nullptr);

// Opens the photograph, rectifies it as the window would (with the width
// preset from the tilt when the job has no real size) and writes the image
// or the drawing. Nothing is written unless the outcome is ok.
JobOutcome runJob(const RectifyJob& job, const PdfOutput* pdf = nullptr);

} // namespace app
