// Scrolling a 6000 x 4000 photograph at zoom 1000 (a 60000 x 40000 view)
// through the real window: a wheel step (20 view pixels) and a jump by a
// whole viewport, each followed by the repaint of the view. The reference
// draws the same visible part pixel by pixel; drawing the whole zoomed view
// the straightforward way would need a 9.6 GB buffer and is not run.

#include "WindowBenchMain.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TMainForm.h"
#include "gui/ViewRender.h"

#include <QApplication>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int PhotoWidth = 6000;
constexpr int PhotoHeight = 4000;

std::unique_ptr<gui::TMainForm> makeForm() {
    auto form = std::make_unique<gui::TMainForm>();
    pixkit::dib d;
    pixkit::newdib(d, PhotoWidth, PhotoHeight, 24, nullptr, 0);
    if (d.poi == nullptr)
        std::abort();
    for (int y = 0; y < PhotoHeight; ++y) {
        std::uint8_t* row = pixkit::pictureRow(d, y);
        for (int x = 0; x < PhotoWidth; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x);
            row[3 * x + 1] = static_cast<std::uint8_t>(y);
            row[3 * x + 2] = static_cast<std::uint8_t>(x ^ y);
        }
    }
    form->ws.slot(1).source = pixkit::Image(d);
    form->ws.completeQuad(1,
                          {rectify::TPoint{500, 400}, rectify::TPoint{5500, 600},
                           rectify::TPoint{5300, 3700}, rectify::TPoint{700, 3500}},
                          false);
    form->show();
    QApplication::processEvents();
    form->ZoomEd->setValue(1000);
    QApplication::processEvents();
    return form;
}

// Scrolls source view 1 by `step` pixels in both directions per iteration
// (back to the start at the end of the range) and repaints it at once.
void scroll(benchmark::State& state, int step) {
    auto form = makeForm();
    QScrollBar* h = form->ScrollBox1->horizontalScrollBar();
    QScrollBar* v = form->ScrollBox1->verticalScrollBar();
    h->setValue(h->maximum() / 2);
    v->setValue(v->maximum() / 2);
    QApplication::processEvents();
    for (auto _ : state) {
        if (h->value() + step > h->maximum())
            h->setValue(0);
        if (v->value() + step > v->maximum())
            v->setValue(0);
        h->setValue(h->value() + step);
        v->setValue(v->value() + step);
        form->PaintBox1->repaint();
    }
    if (form->PaintBox1->size() != QSize(60000, 40000))
        state.SkipWithError("the view does not have its zoomed size");
    state.counters["bufferMP"] =
        form->bit0.width() * static_cast<double>(form->bit0.height()) / 1e6;
}

void BM_ScrollWheelStepWindow(benchmark::State& state) {
    scroll(state, 20);
}
void BM_ScrollViewportJumpWindow(benchmark::State& state) {
    scroll(state, 600);
}

// The same visible part as a viewport jump draws, pixel by pixel.
void BM_ScrollViewportJumpReference(benchmark::State& state) {
    auto form = makeForm();
    const QSize view(60000, 40000);
    const QRect seen = form->PaintBox1->visibleRect();
    QRect part = gui::bufferPart(view, seen.translated(30000, 20000));
    QImage buffer;
    for (auto _ : state) {
        part.translate(600, 600);
        if (part.right() >= view.width() || part.bottom() >= view.height())
            part.moveTo(0, 0);
        gui::renderViewPartReference(buffer, view, part, form->ws.slot(1).source);
        benchmark::DoNotOptimize(buffer.constBits());
    }
    state.counters["bufferMP"] = buffer.width() * static_cast<double>(buffer.height()) / 1e6;
}

BENCHMARK(BM_ScrollWheelStepWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollViewportJumpWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollViewportJumpReference)->Unit(benchmark::kMillisecond);

} // namespace

FP_WINDOW_BENCH_MAIN()
