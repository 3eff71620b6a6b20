#pragma once
// The workspace of the main window: the five images, the corners of both
// photographs, the corner-input state, the run flags, the pose matrices, the
// brush, the language fields and the program folder. It needs no window: the
// batch mode and the tests use it as it is; TMainForm derives from it and
// supplies the fields and the repaints.
//
// Error policy: opening a file that cannot be read leaves the workspace
// unchanged and returns false; runs end silently (rectify::RunEnd says where).
//
// Who owns the images: each of the five fields owns its image, and the
// workspace's destructor releases all five. Whoever puts a new image into a
// field replaces it with pixkit::replaceDib (the old one is released then);
// a function that holds an image for a while keeps it in a pixkit::DibHolder.
//   di   source image 1: replaced by TryToOpenFile and by turning it.
//   bi   source image 2: replaced by TryToOpenFile2 and by turning it.
//   di2  rectified image 1: replaced by the run of image 1 (the new image is
//        made before the old one is released), by the DXF export's outline
//        (TraceDi2), by turning it; the brush paints into it in place.
//   bi2  rectified image 2: replaced by the run of image 2 and by turning it.
//   di3  overlay composite: replaced or reused by the overlay composition.
// Records copied out of a field are for reading only; they never release.

#include "lines/Export.h"
#include "pixkit/dib.h"
#include "rectify/Run.h"

#include <string>
#include <vector>

namespace app {

// --- corner input of a source view ---------------------------------------
//
//   Empty --press--> Placing (mode 1) --press--> mode 2 --press--> mode 3
//     ^                 ^                                            |
//     |                 | press away from the corners             press: quad
//  (start)              |                                      complete, run
//                    Complete (mode 3, setted) <---------------------+
//                     |   ^
//      press on a corner   release: the corner moves there, run
//                     v   |
//                    Dragging (movepoint, pointnr)
//
// While placing, corner[mode] follows the mouse; corners beyond it are stale.

// Values of `mode` / `mode2`.
inline constexpr int ModeNoQuad = 0;       // no quad placed yet
inline constexpr int ModeFirstFollows = 1; // placing: corner 1 follows the mouse
inline constexpr int ModeComplete = 3;     // the last corner index: placing it, or quad complete
inline constexpr int CornersInQuad = 4;

// A corner is grabbed within this many image pixels in both directions.
inline constexpr int CornerGrabPixels = 5;

// True when the mouse at image position `p` lies within CornerGrabPixels of
// the corner in both directions (bounds included), whatever the zoom.
bool CornerHit(const rectify::TPoint& corner, const rectify::TPoint& p);

// CornerHit, and for a corner outside a picture of width x height pixels
// also a hit on the picture's edge point nearest to it, so a corner dragged
// beyond the picture can be grabbed again at the view's edge.
bool CornerReached(const rectify::TPoint& corner, const rectify::TPoint& p, int width, int height);

// The two menu options that act on a press.
struct CornerOptions {
    bool startBottomLeft = false; // image 1: the first press becomes corner 3
    bool presetSize = false;      // completing a quad presets width and height
};

// What the view does after a mouse event, in this order: start the slot's
// rectification, redraw the source view, set its cursor.
enum class CornerCursor { Keep, Cross, Hand };
struct CornerStep {
    bool run = false;
    bool repaint = false;
    CornerCursor cursor = CornerCursor::Keep;
};

// The corner-input fields of one source view (slot 1: points, insetmode,
// setted, mode; slot 2: doints, insetmode2, setted2, mode2).
struct CornerSlot {
    rectify::Corners& corners;
    bool& insetmode;
    bool& setted;
    int& mode;
};

class Workspace {
public:
    Workspace();
    virtual ~Workspace(); // releases the five images
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // The window-independent steps of the main window's creation, in order:
    // program folder from `programPath`, defaults, the five blank 320 x 200
    // images (di, bi, di3, di2, bi2), the identity matrix, terminateit false.
    void createWorkspace(const std::string& programPath);

    // Opens a photograph as source image 1 / 2: read, promote to 24 bits,
    // install, repaint the source view (image 2 also shows the lower row).
    // False (and nothing changed) when the file cannot be read.
    bool TryToOpenFile(const std::string& fname);
    bool TryToOpenFile2(const std::string& fname);

    // The rectification runs of image 1 and image 2. RunScope::PoseOnly only
    // where the next run of image 1 provably makes the same image.
    rectify::RunEnd RenderDi2(rectify::RunScope scope = rectify::RunScope::Full);
    rectify::RunEnd renderdi4();

    // Steps 1 to 6 of the DXF export on rectified image 1 at the threshold
    // `schwellePercent`: di2 becomes the outline image and `lines` receives
    // the segments. NoImage (nothing changed) when there is no rectified image.
    ::lines::ExportEnd TraceDi2(int schwellePercent, ::lines::LineEvents& events);

    // Writes `lines` as a DXF drawing to `fname`, scaled by the real width
    // and the calculation area of runFields() and the size of di2.
    ::lines::DxfEnd SaveAsDXF(const std::string& fname);

    // Corner input of source view `slot` (1 or 2) at image position `p`; the
    // view maps its mouse position and acts on the returned step.
    CornerSlot cornerSlot(int slot);
    CornerStep cornerDown(int slot, rectify::TPoint p, const CornerOptions& options);
    CornerStep cornerMove(int slot, rectify::TPoint p);
    CornerStep cornerUp(int slot, rectify::TPoint p);
    // Installs a complete quad (as the fourth press does, in stored order):
    // placing ends, the quad counts as set, `breitetoset` when `presetWidth`.
    // The step asks for the run and the repaint.
    CornerStep completeQuad(int slot, const rectify::Corners& corners, bool presetWidth);

    // --- supplied by the owner (window, batch mode, tests) ---
    virtual rectify::RunFields& runFields() = 0;
    virtual void PaintBox1Paint() {}
    virtual void PaintBox4Paint() {}
    virtual void PaintBox2Paint() {}
    virtual void PaintBox3Paint() {}
    virtual void showImage2Row() {} // Panel4 visible

    // --- images (each field owns its image; replace via pixkit::replaceDib) ---
    pixkit::dib di;  // source image 1
    pixkit::dib di2; // rectified image 1
    pixkit::dib bi;  // source image 2
    pixkit::dib bi2; // rectified image 2
    pixkit::dib di3; // overlay composite

    // --- corner input and runs ---
    rectify::Corners points{};
    rectify::Corners doints{};
    bool setted = false;
    bool setted2 = false;
    bool insetmode = false;
    bool insetmode2 = false;
    int mode = ModeNoQuad;
    int mode2 = ModeNoQuad;
    bool movepoint = false;
    int pointnr = 0;
    bool breitetoset = false;
    bool setwink = false;
    bool donotreender = false;
    rectify::tmat44 id{};
    rectify::tmat44 mat{};

    // --- brush and layout ---
    bool inpaint = false;
    int oldx = 0;
    int oldy = 0;
    int pinsel = 10;
    pixkit::Colour paintcol = 0xFFFFFF;
    int percent = 50;

    // --- line drawings: the traced segments of rectified image 1 (cursor
    // alineinf) and the tables of the last black/white separation (col1, col2)
    ::lines::tlineinf* alineinf = nullptr;
    ::lines::LineList lines{&alineinf};
    ::lines::SeparationTables separation;

    // --- language, files, other state ---
    int language = 0;
    int languagesetto = 0;
    bool dontchlang = false;
    bool isfirst = false;
    bool terminateit = false;
    std::string filename1;
    std::string filename2;
    std::string progpath; // the program's folder, ending with "/"
};

} // namespace app
