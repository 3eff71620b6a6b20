// A 24 MP photograph shown at 40 % zoom, the view's everyday repaint: our
// row scaler into a QImage back buffer, next to QPainter::drawImage of the
// same picture and the plain getpixel/setPixel definition.

#include "pixkit/Present.h"
#include "pixkit/QImageDevice.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include <cstdint>

using namespace pixkit;

namespace {

constexpr int PhotoWidth = 6000;
constexpr int PhotoHeight = 4000;
constexpr int ViewWidth = 2400; // 40 %
constexpr int ViewHeight = 1600;

// A photograph-sized picture with content that varies in every byte.
const dib& photograph() {
    static DibHolder holder = [] {
        dib d;
        newdib(d, PhotoWidth, PhotoHeight, 24, nullptr, 0);
        std::uint32_t state = 12345;
        for (int r = 0; r < PhotoHeight; ++r) {
            std::uint8_t* row = storedRow(d, r);
            for (int i = 0; i < 3 * PhotoWidth; ++i) {
                state = state * 1664525u + 1013904223u;
                row[i] = static_cast<std::uint8_t>(state >> 24);
            }
        }
        return DibHolder(d);
    }();
    return holder.get();
}

QImage photographAsQImage() {
    const dib& d = photograph();
    QImage image(PhotoWidth, PhotoHeight, QImage::Format_RGB32);
    for (int y = 0; y < PhotoHeight; ++y) {
        const std::uint8_t* src = pictureRow(d, y);
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < PhotoWidth; ++x)
            dst[x] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
    }
    return image;
}

void BM_DrawDibOnDevice(benchmark::State& state) {
    const dib& d = photograph();
    QImage view(ViewWidth, ViewHeight, QImage::Format_RGB32);
    QImageDevice device(view);
    for (auto _ : state) {
        DrawDibOnDevice(device, 0, 0, ViewWidth, ViewHeight, d, 0, 0, PhotoWidth, PhotoHeight,
                        false, SRCCOPY);
        benchmark::DoNotOptimize(view.constBits());
    }
}
BENCHMARK(BM_DrawDibOnDevice)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_QPainterDrawImage(benchmark::State& state) {
    const QImage source = photographAsQImage();
    QImage view(ViewWidth, ViewHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&view);
        painter.drawImage(QRect(0, 0, ViewWidth, ViewHeight), source);
        painter.end();
        benchmark::DoNotOptimize(view.constBits());
    }
}
BENCHMARK(BM_QPainterDrawImage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReferenceGetpixelSetPixel(benchmark::State& state) {
    const dib& d = photograph();
    QImage view(ViewWidth, ViewHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        drawDibRowsReference(view, 0, 0, ViewWidth, ViewHeight, d, 0, 0, PhotoWidth, PhotoHeight);
        benchmark::DoNotOptimize(view.constBits());
    }
}
BENCHMARK(BM_ReferenceGetpixelSetPixel)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
