#include "pixkit/Brush.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pixkit {

int LargerBrush(int radius) {
    return radius + BrushRadiusStep > MaxBrushRadius ? MaxBrushRadius : radius + BrushRadiusStep;
}

int SmallerBrush(int radius) {
    return radius - BrushRadiusStep < MinBrushRadius ? MinBrushRadius : radius - BrushRadiusStep;
}

namespace {

bool hasPixels(const dib& d) {
    return d.poi != nullptr && d.pmi != nullptr;
}

// True when [lo, hi] (image pixels, before rounding) can meet [0, size).
bool meets(double lo, double hi, int size) {
    return hi >= -1.0 && lo <= static_cast<double>(size);
}

} // namespace

void StampBrush(const dib& image, int cx, int cy, double fx, double fy, int radius, Colour colour) {
    if (!hasPixels(image) || radius < 1)
        return;
    radius = std::min(radius, MaxBrushRadius);
    const int w = dibwidth(image);
    const int h = dibheight(image);
    const double r = radius;
    const double x = static_cast<double>(cx) + fx;
    const double y = static_cast<double>(cy) + fy;
    // A disc far off the picture (a drag beyond the view) paints nothing:
    // skip it before its positions could leave the range of int.
    if (!meets(x - r, x + r, w) || !meets(y - r, y + r, h))
        return;
    for (int i = 0; i <= 2 * radius; ++i) {
        for (int j = 0; j <= 2 * radius; ++j) {
            const int di = i - radius;
            const int dj = j - radius;
            if (!(std::sqrt(static_cast<double>(di * di + dj * dj)) < r))
                continue;
            const double px = std::nearbyint(x + static_cast<double>(i) - r);
            const double py = std::nearbyint(y + static_cast<double>(j) - r);
            if (px < 0.0 || py < 0.0 || px >= w || py >= h)
                continue;
            setpixel(image, static_cast<int>(px), static_cast<int>(py), colour);
        }
    }
}

StrokeSteps StrokeBetween(int oldx, int oldy, int ax, int ay) {
    // Differences in double: positions far outside the view must not overflow.
    const double dx = static_cast<double>(oldx) - static_cast<double>(ax);
    const double dy = static_cast<double>(oldy) - static_cast<double>(ay);
    double d = std::sqrt(dx * dx + dy * dy);
    if (d < 1.0)
        d = 1.0;
    return {dx / d, dy / d, static_cast<std::int64_t>(std::nearbyint(d))};
}

// ---------------------------------------------------------------- undo

StrokeRecord::StrokeRecord(const dib& image) {
    if (!hasPixels(image) || dibbits(image) != 24)
        return;
    m_poi = image.poi;
    m_width = dibwidth(image);
    m_height = dibheight(image);
}

bool StrokeRecord::paintedOn(const dib& image) const {
    return m_poi != nullptr && hasPixels(image) && image.poi == m_poi &&
           dibwidth(image) == m_width && dibheight(image) == m_height && dibbits(image) == 24;
}

void StrokeRecord::saveDisc(const dib& image, double x, double y, int radius) {
    if (!paintedOn(image) || radius < 1)
        return;
    // One pixel of margin on every side covers the rounding of the disc's
    // positions; saving a pixel the disc leaves alone is harmless.
    const double r = radius;
    const double left = std::max(std::floor(x - r) - 1.0, 0.0);
    const double right = std::min(std::ceil(x + r) + 1.0, static_cast<double>(m_width - 1));
    const double top = std::max(std::floor(y - r) - 1.0, 0.0);
    const double bottom = std::min(std::ceil(y + r) + 1.0, static_cast<double>(m_height - 1));
    if (!(left <= right) || !(top <= bottom))
        return;
    const int x0 = static_cast<int>(left);
    const int x1 = static_cast<int>(right) + 1;
    for (int row = static_cast<int>(top); row <= static_cast<int>(bottom); ++row) {
        const std::uint8_t* pixels = pictureRow(image, row);
        auto [it, fresh] = m_rows.try_emplace(row);
        RowSpan& span = it->second;
        if (fresh) {
            span.x0 = x0;
            span.bytes.assign(pixels + 3 * x0, pixels + 3 * x1);
            m_bytes += span.bytes.size();
            continue;
        }
        // Pixels outside the saved span are still untouched by this stroke,
        // so widening the span takes their current bytes.
        const int newX0 = std::min(span.x0, x0);
        const int newX1 = std::max(span.x1(), x1);
        if (newX0 == span.x0 && newX1 == span.x1())
            continue;
        std::vector<std::uint8_t> wider(pixels + 3 * newX0, pixels + 3 * newX1);
        std::memcpy(wider.data() + 3 * (span.x0 - newX0), span.bytes.data(), span.bytes.size());
        m_bytes += wider.size() - span.bytes.size();
        span.bytes = std::move(wider);
        span.x0 = newX0;
    }
}

StrokeRecord StrokeRecord::current(const dib& image) const {
    if (!paintedOn(image))
        return {};
    StrokeRecord now = *this;
    for (auto& [row, span] : now.m_rows) {
        const std::uint8_t* pixels = pictureRow(image, row) + 3 * span.x0;
        std::memcpy(span.bytes.data(), pixels, span.bytes.size());
    }
    return now;
}

bool StrokeRecord::restore(const dib& image) const {
    if (!paintedOn(image))
        return false;
    for (const auto& [row, span] : m_rows)
        std::memcpy(pictureRow(image, row) + 3 * span.x0, span.bytes.data(), span.bytes.size());
    return true;
}

void BrushHistory::push(int slot, StrokeRecord stroke) {
    if (stroke.empty())
        return;
    m_bytes += stroke.bytes();
    m_strokes.push_back(Entry{slot, std::move(stroke)});
    while (m_strokes.size() > MaxStrokes || (m_strokes.size() > 1 && m_bytes > MaxBytes)) {
        m_bytes -= m_strokes.front().stroke.bytes();
        m_strokes.pop_front();
    }
}

std::optional<int> BrushHistory::undo(const dib& image1, const dib& image2) {
    while (!m_strokes.empty()) {
        Entry e = std::move(m_strokes.back());
        m_strokes.pop_back();
        m_bytes -= e.stroke.bytes();
        if (e.stroke.restore(e.slot == 1 ? image1 : image2))
            return e.slot;
        // The image was made anew since: this and the image's older strokes
        // cannot come back.
        clearSlot(e.slot);
    }
    return std::nullopt;
}

void BrushHistory::clearSlot(int slot) {
    for (auto it = m_strokes.begin(); it != m_strokes.end();) {
        if (it->slot == slot) {
            m_bytes -= it->stroke.bytes();
            it = m_strokes.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace pixkit
