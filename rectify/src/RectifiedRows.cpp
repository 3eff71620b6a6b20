// The rectified image band by band: the fast loops on a stretch of rows, or
// the step-by-step loop where they do not apply, and the reach of a band
// into the photograph.

#include "rectify/RectifiedRows.h"

#include "rectify/Interpolate.h"
#include "rectify/Search.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace rectify {

RectifiedRows::RectifiedRows(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                             const tedges& edges, std::int64_t W, std::int64_t H, int width,
                             int height, Interpolation sampling, Engine engine)
    : m_source(source), m_camera(camera), m_pose(pose), m_edges(edges), m_W(W), m_H(H),
      m_width(width), m_height(height), m_sampling(sampling),
      m_smooth(sampling != Interpolation::Nearest && pixkit::dibbits(source) == 24),
      m_fast(engine == Engine::Fast &&
             (m_smooth ? detail::resampleSmoothFits(source) : detail::resampleFastFits(source))) {}

// The lowest and highest source row the views of the band's corners lie on,
// when the pose keeps the band's view within them.
std::optional<std::pair<double, double>> RectifiedRows::viewRows(int begin, int end) const {
    // The plane point moves linearly over the band, so its depth keeps one
    // sign when it has it at the four corners; the view of the band is then
    // the convex quad of the corners' views, and its extreme points are
    // among theirs.
    const std::int64_t offX = (m_width - m_W) / 2, offY = (m_height - m_H) / 2;
    double top = 0.0, bottom = 0.0;
    int sign = 0;
    for (const int y : {begin, end - 1})
        for (const int x : {0, m_width - 1}) {
            const auto p = PlanePoint(m_pose, m_edges, x - offX, y - offY, m_W, m_H);
            if (!p || !(std::fabs(p->z) > 0.0))
                return std::nullopt;
            const int s = p->z > 0.0 ? 1 : -1;
            if (sign != 0 && s != sign)
                return std::nullopt;
            const auto at = ProjectToSource(m_camera, *p);
            if (!at || !std::isfinite(at->sy))
                return std::nullopt;
            top = sign == 0 ? at->sy : std::min(top, at->sy);
            bottom = sign == 0 ? at->sy : std::max(bottom, at->sy);
            sign = s;
        }
    return std::pair{top, bottom};
}

// The pixel a position rounds to, the rows beside it that blending reads
// (one above, two below for bicubic), and one more for the estimate's
// rounding.
constexpr double Reach = 4.0;

int RectifiedRows::sourceRowsFor(int begin, int end) const {
    const int all = m_source.pmi != nullptr ? pixkit::dibheight(m_source) : 0;
    if (begin >= end)
        return 0;
    const auto rows = viewRows(begin, end);
    if (!rows || !(rows->second + Reach < static_cast<double>(all)))
        return all;
    return std::max(0, static_cast<int>(std::floor(rows->second + Reach)));
}

int RectifiedRows::firstSourceRow(int begin, int end) const {
    const int all = m_source.pmi != nullptr ? pixkit::dibheight(m_source) : 0;
    if (begin >= end)
        return all;
    const auto rows = viewRows(begin, end);
    if (!rows || !(rows->first - Reach > 0.0))
        return 0;
    return std::min(all, static_cast<int>(std::floor(rows->first - Reach)));
}

bool RectifiedRows::fill(int begin, int end, std::uint8_t* first, std::ptrdiff_t stride) const {
    if (begin >= end)
        return true;
    if (m_fast) {
        const detail::OutputRows rows{
            m_width, m_height, begin, end, first, stride, static_cast<std::int32_t>(stride)};
        const std::int64_t fault =
            m_smooth ? detail::resampleSmoothRows(m_source, m_camera, m_pose, m_edges, m_W, m_H,
                                                  rows, m_sampling)
                     : detail::resampleRows(m_source, m_camera, m_pose, m_edges, m_W, m_H, rows);
        return fault < 0;
    }
    const std::int64_t offX = (m_width - m_W) / 2, offY = (m_height - m_H) / 2;
    for (int y = begin; y < end; ++y) {
        std::uint8_t* row = first + static_cast<std::ptrdiff_t>(y - begin) * stride;
        for (int x = 0; x < m_width; ++x) {
            const auto p = PlanePoint(m_pose, m_edges, x - offX, y - offY, m_W, m_H);
            if (!p)
                return false;
            const auto pos = ProjectToSource(m_camera, *p);
            if (!pos)
                return false;
            const auto rx = SourcePixel(pos->sx);
            const auto ry = SourcePixel(pos->sy);
            if (!rx || !ry)
                return false;
            const pixkit::Colour c = m_smooth ? SampleAt(m_source, SubPixelPosition(pos->sx),
                                                         SubPixelPosition(pos->sy), m_sampling)
                                              : pixkit::getpixel(m_source, *rx, *ry);
            row[3 * x] = pixkit::blueOf(c);
            row[3 * x + 1] = pixkit::greenOf(c);
            row[3 * x + 2] = pixkit::redOf(c);
        }
        const std::size_t used = 3 * static_cast<std::size_t>(m_width);
        std::memset(row + used, 0, static_cast<std::size_t>(stride) - used);
    }
    return true;
}

std::optional<ResampleEnd> ResampleRectifiedRows(const pixkit::dib& source, const tcamera& camera,
                                                 const tpose& pose, std::int64_t W, std::int64_t H,
                                                 int areaPercent, Interpolation sampling,
                                                 Engine engine, const RowsConsumer& consumer,
                                                 int* width) {
    const auto scaled = ScaledResultSize(W, H, areaPercent);
    if (!scaled)
        return ResampleEnd::Fault;
    const std::int64_t w1 = scaled->width, h1 = scaled->height;
    if (w1 <= 0 || h1 <= 0)
        return ResampleEnd::Empty;
    if (w1 > MaxRectifiedPixels / h1)
        return ResampleEnd::TooLarge;
    const auto edges = PoseEdges(pose);
    if (!edges)
        return ResampleEnd::Fault;
    const RectifiedRows rows(source, camera, pose, *edges, W, H, static_cast<int>(w1),
                             static_cast<int>(h1), sampling, engine);
    if (width != nullptr)
        *width = rows.width();
    return consumer(rows);
}

} // namespace rectify
