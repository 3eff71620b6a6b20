#pragma once
// The workspace: the two photographs with their rectified images, corners and
// corner input, the overlay composite, the run requests that wait for the
// next run, the traced lines and the program folder. It needs no window: the
// main window holds one, and the tests use it as it is.
//
// Error policy: opening a file that cannot be read leaves the workspace
// unchanged and returns false; runs end silently (rectify::RunEnd says where).
//
// Who owns the images: every image is a pixkit::Image, which owns its pixels
// and releases them when it is replaced or destroyed.
//   slot(n).source  the photograph (di, bi): replaced by TryToOpenFile and by turning it.
//   slot(n).result  its rectified image (di2, bi2): replaced by the runs of the
//                   slot (takeRun, after the run made the new one), by the DXF
//                   export's outline (TraceDi2, image 1), by turning it; the
//                   brush paints into it in place.
//   di3             the overlay composite: replaced or reused by the composition.
// Records read out of them (`get()`) are for reading and painting only.

#include "lines/Export.h"
#include "pixkit/dib.h"
#include "rectify/Run.h"

#include <array>
#include <optional>
#include <string>

namespace app {

// --- corner input of a source view ---------------------------------------
//
//   Empty --press--> Placing (corner 1 follows) --press--> 2 follows --press--> 3 follows
//     ^                                                                          |
//  (start)             Replacing <-- press away from the corners --+        press: quad
//                          |  (the old quad still counts for runs) |       complete, run
//                          +--------------- fourth press ---> Complete <--------+
//                                                              |   ^
//                                             press on a corner    release: the corner
//                                                              v   |  moves there, run
//                                                        Dragging (movepoint, pointnr)
//
// While placing, corner[following] follows the mouse; corners beyond it are stale.
enum class CornerMode {
    Empty,     // no quad yet
    Placing,   // the first quad is being placed
    Complete,  // a quad is set: the runs use it
    Replacing, // a new quad is being placed over a complete one, which the runs still use
};

inline constexpr int CornersInQuad = 4;
inline constexpr int LastCorner = 3;

// A corner is grabbed within this many image pixels in both directions.
inline constexpr int CornerGrabPixels = 5;

// Screen pixels beyond a corner's drawn box (3 pixels each way) that still
// grab it, at any zoom.
inline constexpr int CornerGrabScreenPixels = 3 + 4;

// The grab zone in image pixels at a view zoom of `zoomPercent`: the
// CornerGrabPixels, or more where they are fewer than CornerGrabScreenPixels
// on the screen.
int CornerGrabAt(int zoomPercent);

// True when the mouse at image position `p` lies within `grab` image pixels
// of the corner in both directions (bounds included).
bool CornerHit(const rectify::TPoint& corner, const rectify::TPoint& p,
               int grab = CornerGrabPixels);

// CornerHit, and for a corner outside a picture of width x height pixels
// also a hit on the picture's edge point nearest to it, so a corner dragged
// beyond the picture can be grabbed again at the view's edge.
bool CornerReached(const rectify::TPoint& corner, const rectify::TPoint& p, int width, int height,
                   int grab = CornerGrabPixels);

// The two menu options that act on a press.
struct CornerOptions {
    bool startBottomLeft = false; // image 1: the first press becomes corner 3
    bool presetSize = false;      // completing a quad presets width and height
};

// What a mouse event did to the corners.
enum class CornerEvent {
    None,          // nothing (a release while placing, a move over nothing)
    QuadStarted,   // the first corner of a new quad was pressed
    CornerPlaced,  // a further corner was pressed; the next one follows the mouse
    Followed,      // the corner being placed or dragged follows the mouse
    QuadCompleted, // the fourth corner was pressed: the quad is complete
    DragStarted,   // a corner was grabbed
    DragEnded,     // the grabbed corner was let go where the mouse is
    Hovered,       // the mouse moved over a complete quad (only the cursor changes)
};

// What the view does after a mouse event, in this order: start the slot's
// rectification, redraw the source view, set its cursor.
enum class CornerCursor { Keep, Cross, Hand };
struct CornerStep {
    CornerEvent event = CornerEvent::None;
    // The corner concerned: the one pressed last of a completed quad (after
    // the start-corner rotation), the grabbed or released one; -1 otherwise.
    int corner = -1;
    bool run = false;
    bool repaint = false;
    CornerCursor cursor = CornerCursor::Keep;
};

// One photograph with everything that belongs to it.
struct Slot {
    pixkit::Image source;       // the photograph (di / bi)
    pixkit::Image result;       // its rectified image (di2 / bi2)
    rectify::Corners corners{}; // points / doints
    CornerMode mode = CornerMode::Empty;
    int following = 0;    // while placing: the corner under the mouse, 1 ... 3
    std::string fileName; // filename1 / filename2: the file last opened
    // The scale `result` was made with (from its run); empty for an image no
    // run made (the blank start image).
    std::optional<rectify::RunScale> scale;

    // The quad was completed (setted): the runs use the corners.
    bool setted() const { return mode == CornerMode::Complete || mode == CornerMode::Replacing; }
    // Corners are being placed (insetmode).
    bool insetmode() const { return mode == CornerMode::Placing || mode == CornerMode::Replacing; }
    // The last corner the quad is drawn to: the corner under the mouse while
    // placing, otherwise corner 3.
    int lastDrawn() const { return insetmode() ? following : LastCorner; }
};

// The control panel's values that a run reads.
struct FieldValues {
    bool hold = false; // NowDoNotRenderCheck
    double realWidthCm = 1000.0;
    double realHeightCm = 1000.0;
    int targetPercent = 100;
    int areaPercent = 100;
    double angleXDeg = 0.0;
    double angleYDeg = 0.0;
    rectify::Interpolation sampling = rectify::Interpolation::Nearest;
};

class Workspace {
public:
    // The window-independent steps of the main window's creation, in order:
    // program folder from `programPath`, the line list emptied, the five
    // blank 320 x 200 images (di, bi, di3, di2, bi2).
    void createWorkspace(const std::string& programPath);

    // Slot 1 (image 1) or 2 (image 2).
    Slot& slot(int n) { return photos[static_cast<std::size_t>(n - 1)]; }
    const Slot& slot(int n) const { return photos[static_cast<std::size_t>(n - 1)]; }

    // Opens a photograph as source image 1 / 2: read, promote to 24 bits,
    // install. False (and nothing changed) when the file cannot be read.
    bool TryToOpenFile(const std::string& fname) { return openPhotograph(1, fname); }
    bool TryToOpenFile2(const std::string& fname) { return openPhotograph(2, fname); }
    bool openPhotograph(int slot, const std::string& fname);

    // The run of slot `n` as the fields and the workspace ask for it.
    rectify::RunRequest runRequest(int n, const FieldValues& fields) const;
    // Takes the workspace's part of a run's result: the consumed requests
    // are cleared, a new image becomes the slot's result (the old one is
    // released now) with the scale it was made with.
    void takeRun(int n, rectify::RunResult& result);

    // Corner input of source view `n` at image position `p`; the view maps
    // its mouse position and acts on the returned step.
    CornerStep cornerDown(int n, rectify::TPoint p, const CornerOptions& options);
    CornerStep cornerMove(int n, rectify::TPoint p);
    CornerStep cornerUp(int n, rectify::TPoint p);
    // Installs a complete quad (as the fourth press does, in stored order):
    // placing ends, the quad counts as set, `breitetoset` when `presetWidth`.
    // The step asks for the run and the repaint.
    CornerStep completeQuad(int n, const rectify::Corners& corners, bool presetWidth);

    // Steps 1 to 6 of the DXF export on rectified image 1 at the threshold
    // `schwellePercent`: di2 becomes the outline image and `lines` receives
    // the segments. NoImage (nothing changed) when there is no rectified image.
    ::lines::ExportEnd TraceDi2(int schwellePercent, ::lines::LineEvents& events);

    // Writes `lines` as a DXF drawing to `fname`, scaled by `realWidthCm`,
    // `areaPercent` and the size of di2.
    ::lines::DxfEnd SaveAsDXF(const std::string& fname, double realWidthCm, int areaPercent,
                              int* errorCode = nullptr);

    std::array<Slot, 2> photos; // slot(1), slot(2)
    pixkit::Image di3;          // overlay composite

    // --- corner dragging (either source view) and the requests for the next run
    bool movepoint = false;   // a corner is being dragged
    int pointnr = 0;          // which
    bool breitetoset = false; // the next run presets the real width
    bool setwink = false;     // the next run uses the typed angles
    // A press this many image pixels near a corner grabs it (CornerGrabAt of the zoom).
    int grabPixels = CornerGrabPixels;

    // --- line drawings: the traced segments of rectified image 1 (cursor
    // alineinf) and the tables of the last black/white separation (col1, col2)
    ::lines::tlineinf* alineinf = nullptr;
    ::lines::LineList lines{&alineinf};
    ::lines::SeparationTables separation;

    std::string progpath; // the program's folder, ending with "/"
};

// Reads a photograph and brings it to 24 bits; empty when the file cannot be
// read or the image cannot be brought to 24 bits.
pixkit::Image openAs24(const std::string& fname);

} // namespace app
