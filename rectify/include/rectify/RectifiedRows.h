#pragma once
// The rows of a rectified image, made band by band for a caller that passes
// them on (an encoder) without ever holding the whole image, possibly while
// the photograph is still being decoded from the top: each band says how
// many of the photograph's rows it reads.

#include "pixkit/dib.h"
#include "rectify/Camera.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

namespace rectify {

class RectifiedRows {
public:
    RectifiedRows(const pixkit::dib& source, const tcamera& camera, const tpose& pose,
                  const tedges& edges, std::int64_t W, std::int64_t H, int width, int height,
                  Interpolation sampling, Engine engine);

    int width() const { return m_width; }
    int height() const { return m_height; }
    // How many rows of the photograph, from its top, rows begin ... end - 1
    // of the result read: the result's pixels there come out the same
    // whatever the photograph holds below them. All its rows when the pose
    // does not keep the band's view within a stretch of the photograph.
    int sourceRowsFor(int begin, int end) const;
    // The first row of the photograph those rows read: the ones above it
    // may hold anything. 0 when the pose does not keep the band's view
    // within a stretch of the photograph.
    int firstSourceRow(int begin, int end) const;
    // Makes rows begin ... end - 1 exactly as the whole image's run makes
    // them: row y at first + (y - begin) * stride (stride at least
    // 3 * width, padding behind the pixels cleared). False when a pixel
    // faults (the run ends with a fault then).
    bool fill(int begin, int end, std::uint8_t* first, std::ptrdiff_t stride) const;

private:
    std::optional<std::pair<double, double>> viewRows(int begin, int end) const;

    const pixkit::dib& m_source;
    tcamera m_camera;
    tpose m_pose;
    tedges m_edges;
    std::int64_t m_W, m_H;
    int m_width, m_height;
    Interpolation m_sampling;
    bool m_smooth, m_fast;
};

// What a run does with the rows instead of making the image: how it ended
// (Done, or Fault when a band faulted), or nothing to leave the image to the
// run after all (it is then made whole, as without a consumer).
using RowsConsumer = std::function<std::optional<ResampleEnd>(const RectifiedRows&)>;

// ResampleRectified (no lens) with the rows handed to `consumer`: the same
// checks of the size first (Fault, Empty, TooLarge without calling it).
// Nothing when the consumer left the image to the caller.
std::optional<ResampleEnd> ResampleRectifiedRows(const pixkit::dib& source, const tcamera& camera,
                                                 const tpose& pose, std::int64_t W, std::int64_t H,
                                                 int areaPercent, Interpolation sampling,
                                                 Engine engine, const RowsConsumer& consumer,
                                                 int* width = nullptr);

} // namespace rectify
