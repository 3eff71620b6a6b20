#pragma once
// The DXF export of rectified image 1 as the window and the batch mode run
// it: preparation, separation, LinienErkenne (the outline tracing) into the
// line list, and SaveAsDXF from the line list.
//
// Whoever watches an export (the window, which shows each stage and draws
// the segments as they are found) learns of its progress through
// LineEvents; failures come back as the result.

#include "foundation/DynaArray.h"
#include "lines/Dxf.h"
#include "lines/Separation.h"
#include "lines/Trace.h"
#include "pixkit/dib.h"

#include <string>

namespace lines {

// The workspace's line list; its cursor is the owner's `alineinf`.
using LineList = foundation::TDynaArray<tlineinf>;

// The progress of an export, in the order it happens.
enum class ExportStage {
    Separated,  // the black/white image is made and the old lines are gone
    BlackWhite, // the rectified image is now the black/white image
    Unfiltered, // the outline filter had no memory: the trace goes on unfiltered
    Outlined,   // the traced image is now its outline image
    Traced,     // the trace is over (also when it stopped early)
};

class LineEvents {
public:
    virtual ~LineEvents() = default;
    // A stage is reached.
    virtual void stageReached(ExportStage stage) { (void)stage; }
    // A segment was appended to the list (`drawn`: false for the closing one).
    virtual void segmentFound(const tlineinf& segment, bool drawn) {
        (void)segment;
        (void)drawn;
    }
};

// The separation step of the export (ToBlackWhite into `out`), then the line
// list cleared, since its lines belong to the image being replaced; reports
// Separated. With no memory for the new image nothing else changes.
SeparationEnd SeparateForTracing(const pixkit::dib& dicol, int schwellePercent, pixkit::dib& out,
                                 SeparationTables& tables, LineList& lines, LineEvents& events,
                                 Engine engine = DefaultEngine);

// LinienErkenne: clears `lines`, turns `di` into its outline image (reports
// Outlined; Unfiltered first when the filter had no memory, and the image
// stays unfiltered), then traces a working copy and appends every segment to
// `lines` (through the list's cursor), telling `events` of each. Without
// memory for the working copy: OutOfMemory and no segments.
TraceEnd LinienErkenne(pixkit::dib& di, LineList& lines, LineEvents& events,
                       Engine engine = DefaultEngine);

enum class ExportEnd {
    Traced,      // di2 holds the outline image, `lines` the segments
    NoImage,     // no rectified image: nothing changed
    OutOfMemory, // no memory for an image (message 8); the workspace stays consistent
    ListFull,    // the line list refused a segment and reported that itself
};

// Steps 1 to 6 of the export command on rectified image 1 `di2`: prepare,
// separate (di2 becomes the black/white image, the old pixels released),
// trace; every stage is reported.
ExportEnd TraceRectified(pixkit::dib& di2, int schwellePercent, SeparationTables& tables,
                         LineList& lines, LineEvents& events, Engine engine = DefaultEngine);

// SaveAsDXF: the drawing of `lines` (walked with First and WhileNext) for a
// traced image of width x height pixels, written to `fname`.
// `errorCode`, when given, receives the reason of a failure (an errno or an
// fp code; 0 when written).
DxfEnd SaveAsDXF(const std::string& fname, LineList& lines, int width, int height,
                 double realWidthCm, double areaPercent, int* errorCode = nullptr);

} // namespace lines
