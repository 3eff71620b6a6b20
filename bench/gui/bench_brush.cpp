// A brush move on a 12 MP rectified image with the overlay on: the window's
// path (mouse-move handler -> stroke discs -> PaintBox2Paint -> overlay ->
// view) next to the same path composing the overlay pixel by pixel.

#include "BenchSupport.h"
#include "WindowBenchMain.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TMainForm.h"
#include "gui/TMovePicsForm.h"

#include "pixkit/Overlay.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

class BenchForm : public gui::TMainForm {
public:
    bool reference = false;

protected:
    void ComposeOverlay() override {
        if (!reference) {
            gui::TMainForm::ComposeOverlay();
            return;
        }
        pixkit::ComposeOverlayReference(ws.slot(1).result, ws.slot(2).result,
                                        {MovePicsForm->ZoomBlendEd->value(),
                                         MovePicsForm->HorzEd->value(),
                                         MovePicsForm->VertEd->value(), BlendEd->value()},
                                        ws.di3.get());
    }
};

// A 4000 x 3000 rectified facade of bricks, tinted per image.
pixkit::dib facade(int tint) {
    pixkit::dib d;
    pixkit::newdib(d, 4000, 3000, 24, nullptr, 0);
    if (d.poi == nullptr)
        std::abort();
    for (int y = 0; y < 3000; ++y) {
        std::uint8_t* row = pixkit::pictureRow(d, y);
        for (int x = 0; x < 4000; ++x) {
            const bool joint = (y % 40) < 4 || ((x + (y / 40) % 2 * 60) % 120) < 4;
            row[3 * x] = static_cast<std::uint8_t>(joint ? 200 : x / 16 + tint);
            row[3 * x + 1] = static_cast<std::uint8_t>(joint ? 200 : y / 12);
            row[3 * x + 2] = static_cast<std::uint8_t>(joint ? 200 : 150 - tint);
        }
    }
    return d;
}

std::unique_ptr<BenchForm> makeForm() {
    auto form = std::make_unique<BenchForm>();
    form->ws.slot(1).result = pixkit::Image(facade(0));
    form->ws.slot(2).result = pixkit::Image(facade(60));
    form->show();
    form->MovePicsForm->HorzEd->setValue(25);
    form->MovePicsForm->Timer1->stop();
    form->BlendEd->setValue(50); // overlay on: view 2 shows the composite
    QApplication::processEvents();
    return form;
}

// One move of 40 view pixels at the start zoom of 40 %: 100 image pixels, so
// 101 discs of radius 10, then view 2 recomposed and redrawn.
void brushMove(benchmark::State& state, bool reference) {
    auto form = makeForm();
    form->reference = reference;
    form->PaintBox2MouseDown(200, 300);
    bool right = true;
    for (auto _ : state) {
        form->PaintBox2MouseMove(right ? 240 : 200, 300);
        right = !right;
    }
    form->PaintBox2MouseUp(200, 300);
    if (form->ws.di3.width() != 4000)
        state.SkipWithError("no overlay");
    state.counters["imageMP"] = 12.0;
}

void BM_BrushMoveOverlayWindow(benchmark::State& state) {
    brushMove(state, false);
}
void BM_BrushMoveOverlayReference(benchmark::State& state) {
    brushMove(state, true);
}

} // namespace

FP_WALL_BENCH(BM_BrushMoveOverlayWindow)->MinTime(1.0);
FP_WALL_BENCH(BM_BrushMoveOverlayReference)->Iterations(3);

FP_WINDOW_BENCH_MAIN()
