// The release of a dragged corner on a 12 MP photograph: the window's path
// (mouse-up handler -> RenderDi2 -> PaintBox2Paint through the drawing
// routine) next to the same steps done the straightforward way (reference
// engine, pixel-by-pixel view).

#include "WindowBenchMain.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TMainForm.h"
#include "gui/ViewMapping.h"

#include "pixkit/QImageDevice.h"

#include <QApplication>
#include <QSpinBox>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

// A facade seen from below and from the left on a 4000 x 3000 photograph.
constexpr rectify::Corners FacadeCorners{{{760, 540}, {3150, 820}, {3040, 2120}, {690, 2370}}};

class BenchForm : public gui::TMainForm {
public:
    bool reference = false;

    rectify::RunEnd lastEnd = rectify::RunEnd::Held;

    void PaintBox2Paint() override {
        if (!reference) {
            gui::TMainForm::PaintBox2Paint();
            return;
        }
        // The view drawn pixel by pixel at the view's size.
        const pixkit::dib& di2 = ws.slot(1).result;
        const int z = ZoomEd->value();
        const int W = pixkit::dibwidth(di2);
        const int H = pixkit::dibheight(di2);
        const int w = gui::imageToView(W, z);
        const int h = gui::imageToView(H, z);
        if (bit1.size() != QSize(w, h))
            bit1 = QImage(w, h, QImage::Format_RGB32);
        pixkit::drawDibRowsReference(bit1, 0, 0, w, h, di2, 0, 0, W, H);
        PaintBox2->update();
    }

protected:
    rectify::RunEnd render(int slot) override {
        if (!reference)
            return lastEnd = gui::TMainForm::render(slot);
        rectify::RunRequest request = ws.runRequest(slot, fieldValues());
        request.engine = rectify::Engine::Reference;
        rectify::RunResult result = rectify::run(request);
        if (result.pose)
            showAngles(result.pose->angleX, result.pose->angleY);
        ws.takeRun(slot, result);
        if (result.end == rectify::RunEnd::Done)
            PaintBox2Paint();
        return lastEnd = result.end;
    }
};

std::unique_ptr<BenchForm> makeForm() {
    auto form = std::make_unique<BenchForm>();
    pixkit::dib d;
    pixkit::newdib(d, 4000, 3000, 24, nullptr, 0);
    if (d.poi == nullptr)
        std::abort();
    for (int y = 0; y < 3000; ++y) {
        std::uint8_t* row = pixkit::pictureRow(d, y);
        for (int x = 0; x < 4000; ++x) {
            // Bricks: the resampled picture is not one colour.
            const bool joint = (y % 40) < 4 || ((x + (y / 40) % 2 * 60) % 120) < 4;
            row[3 * x] = static_cast<std::uint8_t>(joint ? 200 : x / 16);
            row[3 * x + 1] = static_cast<std::uint8_t>(joint ? 200 : y / 12);
            row[3 * x + 2] = static_cast<std::uint8_t>(joint ? 200 : 150);
        }
    }
    form->ws.slot(1).source = pixkit::Image(d);
    form->ws.completeQuad(1, FacadeCorners, false);
    form->BreiteED->setValue(1200.0);
    form->HoeheEd->setValue(800.0);
    form->Timer1->stop();
    form->show();
    QApplication::processEvents();
    return form;
}

void dragRelease(benchmark::State& state, bool reference) {
    auto form = makeForm();
    form->reference = reference;
    const int z = form->ZoomEd->value();
    const rectify::TPoint c = FacadeCorners[2];
    const int vx = gui::imageToView(c.x, z);
    const int vy = gui::imageToView(c.y, z);
    for (auto _ : state) {
        form->PaintBox1MouseDown(vx, vy);
        form->PaintBox1MouseUp(vx, vy);
    }
    if (form->lastEnd != rectify::RunEnd::Done)
        state.SkipWithError("the run made no image");
    const pixkit::Image& di2 = form->ws.slot(1).result;
    state.counters["rectifiedMP"] = di2.width() * static_cast<double>(di2.height()) / 1e6;
}

void BM_DragReleaseWindow(benchmark::State& state) {
    dragRelease(state, false);
}
void BM_DragReleaseReference(benchmark::State& state) {
    dragRelease(state, true);
}

// Wall time: the engine searches on several threads.
BENCHMARK(BM_DragReleaseWindow)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_DragReleaseReference)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

} // namespace

FP_WINDOW_BENCH_MAIN()
