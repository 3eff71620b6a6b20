#include "lines/Chains.h"

#include <algorithm>
#include <cstdlib>

namespace lines {

namespace {

bool samePoint(tpixel a, tpixel b) {
    return a.x == b.x && a.y == b.y;
}

// Within one pixel across and down (the eight neighbours and the pixel).
bool nextTo(tpixel a, tpixel b) {
    return std::abs(static_cast<long long>(a.x) - b.x) <= 1 &&
           std::abs(static_cast<long long>(a.y) - b.y) <= 1;
}

// The outlines the records came from: [begin, end) indices. A record with
// newpoly begins one, except the closing segment of a walk that cut no
// segment before (it carries newpoly as well): it starts where the record
// before ended and ends where that outline began. A new walk never starts
// where the last one ended, as that pixel is visited.
template <typename Visit> void forEachRecordChain(std::span<const tlineinf> records, Visit visit) {
    std::size_t begin = 0;
    for (std::size_t i = 1; i <= records.size(); ++i) {
        if (i < records.size()) {
            const tlineinf& r = records[i];
            const tlineinf& before = records[i - 1];
            const tlineinf& first = records[begin];
            const bool closing = r.x1 == before.x2 && r.y1 == before.y2 &&
                                 r.x2 == (first.newpoly ? first.x1 : first.x2) &&
                                 r.y2 == (first.newpoly ? first.y1 : first.y2);
            if (!r.newpoly || closing)
                continue;
        }
        visit(begin, i);
        begin = i;
    }
}

// Appends the points of records [begin, end) to `points`, repeats dropped.
void appendPoints(std::span<const tlineinf> records, std::size_t begin, std::size_t end,
                  std::vector<tpixel>& points, std::size_t first) {
    auto push = [&](tpixel p) {
        if (points.size() == first || !samePoint(points.back(), p))
            points.push_back(p);
    };
    if (records[begin].newpoly)
        push({records[begin].x1, records[begin].y1});
    for (std::size_t i = begin; i < end; ++i)
        push({records[i].x2, records[i].y2});
}

} // namespace

Chains JoinChains(std::span<const tlineinf> records) {
    Chains out;
    out.points.reserve(records.size() + records.size() / 8);
    forEachRecordChain(records, [&](std::size_t begin, std::size_t end) {
        const std::size_t first = out.points.size();
        appendPoints(records, begin, end, out.points, first);
        ChainSpan chain{first, out.points.size() - first, false};
        const tpixel start = out.points[first];
        if (chain.count >= 3 && samePoint(out.points.back(), start)) {
            // The trace's closing segment: a real edge only from next door.
            out.points.pop_back();
            --chain.count;
        }
        // Two points make a line, not an outline to close.
        chain.closed = chain.count >= 3 && nextTo(out.points.back(), start);
        out.chains.push_back(chain);
    });
    return out;
}

bool IsSpeck(std::span<const tpixel> points, const SpeckSize& size) {
    if (size.minSizePx <= 0 || points.empty())
        return false;
    const auto [minX, maxX] = std::minmax_element(points.begin(), points.end(),
                                                  [](tpixel a, tpixel b) { return a.x < b.x; });
    const auto [minY, maxY] = std::minmax_element(points.begin(), points.end(),
                                                  [](tpixel a, tpixel b) { return a.y < b.y; });
    const double across = static_cast<double>(maxX->x) - minX->x + 1.0;
    const double down = static_cast<double>(maxY->y) - minY->y + 1.0;
    return across < size.minSizePx * size.scaleX && down < size.minSizePx * size.scaleY;
}

std::vector<tlineinf> LeaveOutSpecks(std::span<const tlineinf> records, const SpeckSize& size) {
    if (size.minSizePx <= 0)
        return {records.begin(), records.end()};
    std::vector<tlineinf> kept;
    std::vector<tpixel> points;
    forEachRecordChain(records, [&](std::size_t begin, std::size_t end) {
        points.clear();
        appendPoints(records, begin, end, points, 0);
        if (!IsSpeck(points, size))
            kept.insert(kept.end(), records.begin() + static_cast<std::ptrdiff_t>(begin),
                        records.begin() + static_cast<std::ptrdiff_t>(end));
    });
    return kept;
}

} // namespace lines
