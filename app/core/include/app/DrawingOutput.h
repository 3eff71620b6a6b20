#pragma once
// Writing the traced lines of rectified image 1 as a DXF drawing, as the
// window's export and the batch mode both do: the plain drawing or the CAD
// drawing with its unit, the outlines above the minimum size and the
// rectified photograph beside it as the underlay.
//
// Error policy: the result says which file failed and why; nothing of a
// failed drawing replaces an old file (see lines::WriteDrawing). The
// photograph beside a CAD drawing never replaces the photograph that was
// rectified (a drawing "wall.dxf" of "wall.png"): that is refused.

#include "app/Workspace.h"
#include "foundation/Fault.h"
#include "lines/CadDrawing.h"
#include "lines/DrawingUnit.h"
#include "pixkit/ImageFile.h"
#include "pixkit/dib.h"
#include "rectify/Run.h"

#include <string>

namespace app {

// The choices a drawing is written with (the window's "DXF-Format",
// "Einheiten" and "Mindestgröße DXF:", the batch's --dxf-format, --units and
// --min-size).
struct DrawingChoice {
    lines::DxfFormat format = lines::DxfFormat::Plain;
    lines::DrawingUnit unit = lines::DrawingUnit::Auto;
    int minSizePx = 0;
    bool cad() const { return format == lines::DxfFormat::Cad; }
};

struct DrawingWrite {
    lines::DxfEnd end = lines::DxfEnd::WriteFailed;
    std::string error;    // why, when not written (English)
    fp::Fault fault;      // the same reason as data
    std::string underlay; // the photograph written beside a CAD drawing; empty without one
    bool wouldReplacePhotograph = false; // refused: its underlay is the rectified photograph
    bool ok() const { return end == lines::DxfEnd::Written; }
};

// Writes the lines `ws` traced from rectified image 1 (di2, now the traced
// image) to `fname` at `scale`, the real width and area rectified image 1
// was made with. `picture` is rectified image 1 as it was before tracing:
// the CAD drawing's underlay, written as a PNG with the exact scale beside
// the drawing; null: a CAD drawing without one. `photograph` is the file
// the picture was rectified from, which the underlay must not replace.
DrawingWrite WriteTracedDrawing(const std::string& fname, const Workspace& ws,
                                const pixkit::dib* picture, const rectify::RunScale& scale,
                                const DrawingChoice& choice, const std::string& photograph,
                                int pngLevel = pixkit::DefaultPngLevel);

} // namespace app
