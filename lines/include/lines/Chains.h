#pragma once
// The traced segments joined into the outlines they came from. A trace walks
// an outline and ends with a closing segment back to where it started; that
// segment is a real edge only when the walk ended next to its start. An
// outline that runs into the picture's border ends far from its start, and
// closing it would draw a chord across the shape.
//
// Error policy: pure functions on the segment list; nothing fails but memory
// (std::bad_alloc goes to the caller).

#include "lines/Trace.h"

#include <cstddef>
#include <span>
#include <vector>

namespace lines {

// One outline: `count` points from `first` on in Chains::points.
struct ChainSpan {
    std::size_t first = 0;
    std::size_t count = 0;
    bool closed = false; // the last point joins the first
};

struct Chains {
    std::vector<tpixel> points; // every chain's points, chain after chain
    std::vector<ChainSpan> chains;
};

// Joins the records into the outlines they were traced as: a record with
// newpoly begins one (the very first record always does), except a walk's
// closing segment, which carries newpoly too when the walk cut no segment
// before it. The points are the first record's start (when it has newpoly)
// and every record's end, with repeated points dropped. An outline whose
// last segment returns to its start is closed when the point before lies
// within one pixel (in both directions) of the start, and is open without
// that segment otherwise; one that ends elsewhere is closed when its end
// lies within one pixel of its start. Two points make an open line.
Chains JoinChains(std::span<const tlineinf> records);

// The size below which an outline is a speck: `minSizePx` pixels of the
// rectified image, which the traced image enlarges `scaleX` times across and
// `scaleY` times down.
struct SpeckSize {
    int minSizePx = 0; // 0: nothing is left out
    double scaleX = 1.0;
    double scaleY = 1.0;
};

// True when the points' bounding box, counted in whole traced pixels
// (max - min + 1), is smaller than the speck size both across and down.
bool IsSpeck(std::span<const tpixel> points, const SpeckSize& size);

// The records without the outlines (grouped as in JoinChains) whose points,
// closing point included, form a speck. Order and fields of the kept records
// are unchanged; a kept outline always begins with its newpoly record.
std::vector<tlineinf> LeaveOutSpecks(std::span<const tlineinf> records, const SpeckSize& size);

} // namespace lines
