// Outline image and tracing, the per-pixel reference through getpixel and
// setpixel, and the entry points that pick the implementation.

#include "lines/Trace.h"

#include "FastTrace.h"
#include "pixkit/DepthTurn.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

namespace lines {

using pixkit::dib;

namespace {

bool holds24(const dib& d) {
    return d.poi != nullptr && d.pmi != nullptr && pixkit::dibbits(d) == 24;
}

std::uint8_t clampByte(int v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

int channel(pixkit::Colour c, int ch) {
    return static_cast<int>((c >> (8 * ch)) & 0xFFu);
}

// ---- reference -----------------------------------------------------------------------

void invertReference(const dib& image) {
    const int W = pixkit::dibwidth(image);
    const int H = pixkit::dibheight(image);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            pixkit::setpixel(image, x, y, pixkit::getpixel(image, x, y) ^ 0xFFFFFFu);
}

bool filterReference(const dib& image, const tfilter5& f) {
    const int W = pixkit::dibwidth(image);
    const int H = pixkit::dibheight(image);
    pixkit::DibHolder held;
    pixkit::newdib(held.get(), W + 4, H + 4, 24, nullptr, 0);
    if (held.empty())
        return false;
    const dib& work = held.get();
    for (int y = -2; y < H + 2; ++y)
        for (int x = -2; x < W + 2; ++x)
            pixkit::setpixel(
                work, x + 2, y + 2,
                pixkit::getpixel(image, std::clamp(x, 0, W - 1), std::clamp(y, 0, H - 1)));
    const int divisor = f.divisor == 0 ? 1 : f.divisor;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            pixkit::Colour result = 0;
            for (int ch = 0; ch < 3; ++ch) {
                int s = 0;
                for (int k = 0; k < 5; ++k)
                    for (int t = 0; t < 5; ++t)
                        s += f.coef[k][t] * channel(pixkit::getpixel(work, x + t, y + k), ch);
                result |= static_cast<pixkit::Colour>(clampByte(s / divisor + f.bias)) << (8 * ch);
            }
            pixkit::setpixel(image, x, y, result);
        }
    return true;
}

// The path points since the last vertex: room for 1000, grown by 1000 when
// the count reaches the room minus one.
class PointList {
public:
    PointList() : m_points(1000) {}
    void clear() { m_count = 0; }
    bool empty() const { return m_count == 0; }
    void append(tpixel p) {
        m_points[m_count++] = p;
        if (m_count >= m_points.size() - 1)
            m_points.resize(m_points.size() + 1000);
    }
    const tpixel* begin() const { return m_points.data(); }
    const tpixel* end() const { return m_points.data() + m_count; }

private:
    std::vector<tpixel> m_points;
    std::size_t m_count = 0;
};

constexpr tpixel Neighbours[8] = {{-1, 0},  {1, 0}, {0, -1}, {0, 1},
                                  {-1, -1}, {1, 1}, {1, -1}, {-1, 1}};

TraceEnd traceReference(const dib& outline, const SegmentSink& emit) {
    pixkit::DibHolder holder(DuplicateImage(outline));
    const dib& work = holder.get();
    if (work.poi == nullptr)
        return TraceEnd::OutOfMemory;
    const int W = pixkit::dibwidth(work);
    const int H = pixkit::dibheight(work);
    const double tol = TraceTolerance(W);
    PointList list;

    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (pixkit::getpixel(work, x, y) != 0)
                continue;
            bool newpoly = true;
            const tpixel S{x, y};
            tpixel A = S;
            tpixel C = S;
            list.clear();
            list.append(S);
            for (;;) {
                pixkit::setpixel(work, C.x, C.y, 0xFFFFFFu);
                bool found = false;
                tpixel N;
                for (const tpixel& d : Neighbours) {
                    N = tpixel{C.x + d.x, C.y + d.y};
                    if (N.x >= 0 && N.x <= W - 1 && N.y >= 1 && N.y <= H - 1 &&
                        pixkit::getpixel(work, N.x, N.y) == 0) {
                        found = true;
                        break;
                    }
                }
                if (!found)
                    break;
                list.append(N);
                bool deviates = false;
                for (const tpixel& Q : list)
                    if (std::fabs(PointLineDistance(A, N, Q)) >= tol) {
                        deviates = true;
                        break;
                    }
                if (deviates) {
                    if (!emit(tlineinf{A.x, A.y, C.x, C.y, newpoly}, true))
                        return TraceEnd::Stopped;
                    newpoly = false;
                    A = C;
                    list.clear();
                }
                C = N;
            }
            if (!list.empty() && (!emit(tlineinf{A.x, A.y, C.x, C.y, newpoly}, true) ||
                                  !emit(tlineinf{C.x, C.y, S.x, S.y, newpoly}, false)))
                return TraceEnd::Stopped;
        }
    return TraceEnd::Done;
}

} // namespace

void InvertImage(dib& image, Engine engine) {
    if (image.poi == nullptr || image.pmi == nullptr)
        return;
    const int bits = pixkit::dibbits(image);
    if (bits == 24) {
        if (engine == Engine::Reference)
            invertReference(image);
        else
            detail::invertFast(image);
    } else if (bits == 1) {
        const auto bytes = static_cast<std::size_t>(image.bytew) *
                           static_cast<std::size_t>(pixkit::dibheight(image));
        for (std::size_t i = 0; i < bytes; ++i)
            image.poi[i] = static_cast<std::uint8_t>(~image.poi[i]);
    } else if (bits == 4 || bits == 8) {
        const int n = bits == 4 ? 16 : 256;
        for (int i = 0; i < n; ++i) {
            pixkit::RgbQuad& q = image.pmi->bmiColors[i];
            q.rgbRed = static_cast<std::uint8_t>(255 - q.rgbRed);
            q.rgbGreen = static_cast<std::uint8_t>(255 - q.rgbGreen);
            q.rgbBlue = static_cast<std::uint8_t>(255 - q.rgbBlue);
            pixkit::PaletteEntry& e = image.pal.palPalEntry[i];
            e.peRed = static_cast<std::uint8_t>(255 - e.peRed);
            e.peGreen = static_cast<std::uint8_t>(255 - e.peGreen);
            e.peBlue = static_cast<std::uint8_t>(255 - e.peBlue);
        }
    }
}

bool ApplyFilter5x5(dib& image, const tfilter5& filter, Engine engine) {
    if (!holds24(image))
        return false;
    return engine == Engine::Reference ? filterReference(image, filter)
                                       : detail::filterFast(image, filter);
}

dib DuplicateImage(const dib& image) {
    if (image.poi == nullptr || image.pmi == nullptr)
        return dib{};
    const int bits = pixkit::dibbits(image);
    const int colours = bits <= 8 ? 1 << bits : 0;
    dib copy;
    pixkit::newdib(copy, pixkit::dibwidth(image), pixkit::dibheight(image), bits, image.pmi,
                   colours);
    if (copy.poi == nullptr)
        return dib{};
    std::memcpy(copy.poi, image.poi,
                static_cast<std::size_t>(image.bytew) *
                    static_cast<std::size_t>(pixkit::dibheight(image)));
    copy.pal = image.pal;
    return copy;
}

double PointLineDistance(tpixel A, tpixel N, tpixel Q) {
    // Integer coordinates: every product and sum below is exact in double,
    // so the fast trace can compute the same value in another order.
    const double dy = static_cast<double>(A.y) - static_cast<double>(N.y);
    const double dx = static_cast<double>(N.x) - static_cast<double>(A.x);
    const double g = std::sqrt(dy * dy + dx * dx);
    if (g == 0.0 || !std::isfinite(g))
        return 1000.0;
    return ((static_cast<double>(Q.x) - static_cast<double>(A.x)) * dy +
            (static_cast<double>(Q.y) - static_cast<double>(A.y)) * dx) /
           g;
}

double TraceTolerance(int width) {
    return std::fabs(static_cast<double>(width - 1) / 1000.0);
}

OutlineEnd MakeOutlineImage(dib& image, Engine engine) {
    if (image.poi == nullptr || image.pmi == nullptr)
        return OutlineEnd::NoImage;
    if (pixkit::dibbits(image) != 24)
        pixkit::DepthUpTo(24, image);
    if (!holds24(image))
        return OutlineEnd::NoImage;
    if (engine == Engine::Fast)
        return detail::outlineFast(image) ? OutlineEnd::Done : OutlineEnd::FilterNoMemory;
    InvertImage(image, engine);
    bool filtered = true;
    if (pixkit::dibcolors(image) > 256)
        filtered = ApplyFilter5x5(image, OutlineFilter, engine);
    InvertImage(image, engine);
    return filtered ? OutlineEnd::Done : OutlineEnd::FilterNoMemory;
}

TraceEnd TraceSegments(const dib& outline, const SegmentSink& emit, Engine engine) {
    if (!holds24(outline))
        return TraceEnd::NoImage;
    try {
        return engine == Engine::Reference ? traceReference(outline, emit)
                                           : detail::traceFast(outline, emit);
    } catch (const std::bad_alloc&) {
        return TraceEnd::OutOfMemory;
    }
}

} // namespace lines
