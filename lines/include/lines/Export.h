#pragma once
// The DXF export of rectified image 1 as the window and the batch mode run
// it: preparation, separation, LinienErkenne into the line list, and
// SaveAsDXF from the line list.
//
// The surroundings (window, batch, tests) take part through LineEvents:
// repaints, the live segments and the out-of-memory message (8).

#include "foundation/DynaArray.h"
#include "lines/Dxf.h"
#include "lines/Separation.h"
#include "lines/Trace.h"
#include "pixkit/dib.h"

#include <string>

namespace lines {

// The workspace's line list; its cursor is the owner's `alineinf`.
using LineList = foundation::TDynaArray<tlineinf>;

class LineEvents {
public:
    virtual ~LineEvents() = default;
    // A segment was appended to the list (`drawn`: false for the closing one).
    virtual void segmentFound(const tlineinf& segment, bool drawn) {
        (void)segment;
        (void)drawn;
    }
    virtual void repaintSource() {} // PaintBox1Paint
    virtual void repaintResult() {} // PaintBox2Paint
    // An image or work memory could not be had: message 8.
    virtual void outOfMemory() {}
};

// The separation command ToBlackWhiteBtnClick on `dicol` into `out` (see
// ToBlackWhite), then the line list cleared and both views repainted. With no
// memory for the new image: message 8, nothing else changes.
SeparationEnd ToBlackWhiteBtnClick(const pixkit::dib& dicol, int schwellePercent, pixkit::dib& out,
                                   SeparationTables& tables, LineList& lines, LineEvents& events,
                                   Engine engine = Engine::Fast);

// LinienErkenne: clears `lines`, turns `di` into its outline image, repaints
// the source view, then traces a working copy and appends every segment to
// `lines` (through the list's cursor), telling `events` of each. Without
// memory for the filter the image stays unfiltered (message 8) and the trace
// goes on; without memory for the working copy, message 8 and no segments.
TraceEnd LinienErkenne(pixkit::dib& di, LineList& lines, LineEvents& events,
                       Engine engine = Engine::Fast);

enum class ExportEnd {
    Traced,      // di2 holds the outline image, `lines` the segments
    NoImage,     // no rectified image: nothing changed
    OutOfMemory, // message 8 was shown; the workspace stays consistent
};

// Steps 1 to 6 of the export command on rectified image 1 `di2`: prepare,
// separate (di2 becomes the black/white image, the old pixels released),
// repaint, trace, repaint.
ExportEnd TraceRectified(pixkit::dib& di2, int schwellePercent, SeparationTables& tables,
                         LineList& lines, LineEvents& events, Engine engine = Engine::Fast);

// SaveAsDXF: the drawing of `lines` (walked with First and WhileNext) for a
// traced image of width x height pixels, written to `fname`.
DxfEnd SaveAsDXF(const std::string& fname, LineList& lines, int width, int height,
                 double realWidthCm, double areaPercent);

} // namespace lines
