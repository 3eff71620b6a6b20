// The export command's engine steps and the line list.

#include "lines/Export.h"

namespace lines {

using pixkit::dib;

SeparationEnd ToBlackWhiteBtnClick(const dib& dicol, int schwellePercent, dib& out,
                                   SeparationTables& tables, LineList& lines, LineEvents& events,
                                   Engine engine) {
    const SeparationEnd end = ToBlackWhite(dicol, schwellePercent, out, tables, engine);
    if (end == SeparationEnd::OutOfMemory)
        events.outOfMemory();
    if (end != SeparationEnd::Done)
        return end;
    // The traced lines belong to the image that is being replaced.
    lines.Clear();
    events.repaintSource();
    events.repaintResult();
    return end;
}

TraceEnd LinienErkenne(dib& di, LineList& lines, LineEvents& events, Engine engine) {
    lines.Clear();
    const OutlineEnd outline = MakeOutlineImage(di, engine);
    if (outline == OutlineEnd::NoImage)
        return TraceEnd::NoImage;
    if (outline == OutlineEnd::FilterNoMemory)
        events.outOfMemory();
    events.repaintSource();

    const TraceEnd end = TraceSegments(
        di,
        [&](const tlineinf& segment, bool drawn) {
            // The list reports its own failure (its out-of-memory text).
            tlineinf* record = lines.Add();
            if (record == nullptr)
                return false;
            *record = segment;
            events.segmentFound(segment, drawn);
            return true;
        },
        engine);
    if (end == TraceEnd::OutOfMemory)
        events.outOfMemory();
    return end;
}

ExportEnd TraceRectified(dib& di2, int schwellePercent, SeparationTables& tables, LineList& lines,
                         LineEvents& events, Engine engine) {
    if (di2.poi == nullptr || di2.pmi == nullptr)
        return ExportEnd::NoImage;
    PrepareForTracing(di2, engine);
    dib tmp;
    const SeparationEnd sep =
        ToBlackWhiteBtnClick(di2, schwellePercent, tmp, tables, lines, events, engine);
    if (sep == SeparationEnd::NoImage)
        return ExportEnd::NoImage;
    if (sep == SeparationEnd::OutOfMemory)
        return ExportEnd::OutOfMemory;
    pixkit::releasedib(di2);
    di2 = tmp;
    events.repaintResult();
    const TraceEnd traced = LinienErkenne(di2, lines, events, engine);
    events.repaintResult();
    if (traced == TraceEnd::OutOfMemory || traced == TraceEnd::Stopped)
        return ExportEnd::OutOfMemory;
    return traced == TraceEnd::NoImage ? ExportEnd::NoImage : ExportEnd::Traced;
}

DxfEnd SaveAsDXF(const std::string& fname, LineList& lines, int width, int height,
                 double realWidthCm, double areaPercent) {
    DxfText text(realWidthCm, areaPercent, width, height);
    lines.First();
    while (lines.WhileNext())
        text.add(*lines.aobj());
    return WriteFileReplacing(fname, text.finish());
}

} // namespace lines
