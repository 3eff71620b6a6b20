// The export command's engine steps and the line list.

#include "lines/Export.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace lines {

using pixkit::dib;

SeparationEnd SeparateForTracing(const dib& dicol, int schwellePercent, dib& out,
                                 SeparationTables& tables, LineList& lines, LineEvents& events,
                                 Engine engine) {
    const SeparationEnd end = ToBlackWhite(dicol, schwellePercent, out, tables, engine);
    if (end != SeparationEnd::Done)
        return end;
    // The traced lines belong to the image that is being replaced.
    lines.Clear();
    events.stageReached(ExportStage::Separated);
    return end;
}

TraceEnd LinienErkenne(dib& di, LineList& lines, LineEvents& events, Engine engine) {
    lines.Clear();
    const OutlineEnd outline = MakeOutlineImage(di, engine);
    if (outline == OutlineEnd::NoImage)
        return TraceEnd::NoImage;
    if (outline == OutlineEnd::FilterNoMemory)
        events.stageReached(ExportStage::Unfiltered);
    events.stageReached(ExportStage::Outlined);

    TraceEnd end;
    if (engine == Engine::Reference) {
        // One Add per segment, written through the list's cursor.
        end = TraceSegments(
            di,
            [&](const tlineinf& segment, bool drawn) {
                if (lines.Add() == nullptr)
                    return false; // the list reported its own failure
                *lines.aobj() = segment;
                events.segmentFound(segment, drawn);
                return true;
            },
            engine);
    } else {
        // The list grows in steps of 100 records and copies itself each time;
        // segments are handed over in batches that grow with the list, so a
        // trace of a million segments copies the list a few dozen times, not
        // ten thousand. The records, their order and the cursor are the same.
        std::vector<tlineinf> pending;
        auto flush = [&] {
            if (pending.empty())
                return true;
            tlineinf* first = lines.Append(static_cast<std::uint32_t>(pending.size()));
            if (first == nullptr)
                return false;
            std::copy(pending.begin(), pending.end(), first);
            pending.clear();
            return true;
        };
        end = TraceSegments(
            di,
            [&](const tlineinf& segment, bool drawn) {
                pending.push_back(segment);
                events.segmentFound(segment, drawn);
                const std::size_t batch = std::max<std::size_t>(1024, lines.count() / 2);
                return pending.size() < batch || flush();
            },
            engine);
        if (end == TraceEnd::Done && !flush())
            end = TraceEnd::Stopped;
    }
    return end;
}

ExportEnd TraceRectified(dib& di2, int schwellePercent, SeparationTables& tables, LineList& lines,
                         LineEvents& events, Engine engine) {
    if (di2.poi == nullptr || di2.pmi == nullptr)
        return ExportEnd::NoImage;
    PrepareForTracing(di2, engine);
    dib tmp;
    const SeparationEnd sep =
        SeparateForTracing(di2, schwellePercent, tmp, tables, lines, events, engine);
    if (sep == SeparationEnd::NoImage)
        return ExportEnd::NoImage;
    if (sep == SeparationEnd::OutOfMemory)
        return ExportEnd::OutOfMemory;
    pixkit::replaceDib(di2, tmp);
    events.stageReached(ExportStage::BlackWhite);
    const TraceEnd traced = LinienErkenne(di2, lines, events, engine);
    events.stageReached(ExportStage::Traced);
    if (traced == TraceEnd::OutOfMemory)
        return ExportEnd::OutOfMemory;
    if (traced == TraceEnd::Stopped)
        return ExportEnd::ListFull;
    return traced == TraceEnd::NoImage ? ExportEnd::NoImage : ExportEnd::Traced;
}

DxfEnd SaveAsDXF(const std::string& fname, LineList& lines, int width, int height,
                 double realWidthCm, double areaPercent, int* errorCode) {
    DxfText text(realWidthCm, areaPercent, width, height);
    lines.First();
    while (lines.WhileNext())
        text.add(*lines.aobj());
    return WriteFileReplacing(fname, text.finish(), errorCode);
}

} // namespace lines
