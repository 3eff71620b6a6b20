// The line extraction, fast path next to the per-pixel reference, on the
// sample newspaper photograph rectified to 2000 x 1333 (traced at 6000 x
// 3999): the whole export (also of a busier brick facade, argument 1), each
// stage alone, and the trace next to potrace
// (`potrace -b dxf`, Debian package potrace) on the same black/white bitmap
// when it is installed; and the drawing's text of the brick facade's trace,
// the CAD drawing next to the plain one, with the underlay it writes.

#include "BenchSupport.h"
#include "lines/CadDrawing.h"
#include "lines/Export.h"
#include "pixkit/ImageFile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef FP_BENCH_DATA_DIR
#define FP_BENCH_DATA_DIR "samples"
#endif

namespace {

using namespace lines;

constexpr int RectifiedW = 2000;
constexpr int RectifiedH = 1333;
// The newspaper's greys have one broad peak: a threshold that separates print.
constexpr int Threshold = 20;

// The puzzle of the sample photograph, resampled bilinearly onto the
// rectified size: print, paper grain and the photograph's own blur.
pixkit::dib rectifiedPhoto() {
    pixkit::dib photo;
    pixkit::OpenDib(photo, std::string(FP_BENCH_DATA_DIR) + "/sudoku.png");
    if (photo.poi == nullptr)
        std::abort();
    pixkit::DibHolder src(photo);
    const double x0 = 50, y0 = 75, x1 = 510, y1 = 525; // around the puzzle's border
    pixkit::dib out;
    pixkit::newdib(out, RectifiedW, RectifiedH, 24, nullptr, 0);
    if (out.poi == nullptr)
        std::abort();
    for (int y = 0; y < RectifiedH; ++y)
        for (int x = 0; x < RectifiedW; ++x) {
            const double sx = x0 + (x1 - x0) * x / RectifiedW;
            const double sy = y0 + (y1 - y0) * y / RectifiedH;
            const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
            const double fx = sx - ix, fy = sy - iy;
            pixkit::Colour c = 0;
            for (int ch = 0; ch < 3; ++ch) {
                auto v = [&](int xx, int yy) {
                    return static_cast<double>((pixkit::getpixel(photo, xx, yy) >> (8 * ch)) &
                                               0xFF);
                };
                const double val = (1 - fy) * ((1 - fx) * v(ix, iy) + fx * v(ix + 1, iy)) +
                                   fy * ((1 - fx) * v(ix, iy + 1) + fx * v(ix + 1, iy + 1));
                c |= static_cast<pixkit::Colour>(std::clamp(val, 0.0, 255.0)) << (8 * ch);
            }
            pixkit::setpixel(out, x, y, c);
        }
    return out;
}

// A busier facade of the same size: brick courses, mortar, windows and
// specks of dirt on a wall with some grain.
pixkit::dib brickFacade() {
    pixkit::dib out;
    pixkit::newdib(out, RectifiedW, RectifiedH, 24, nullptr, 0);
    if (out.poi == nullptr)
        std::abort();
    std::uint32_t seed = 12345;
    auto rnd = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int y = 0; y < RectifiedH; ++y)
        for (int x = 0; x < RectifiedW; ++x) {
            const int course = y / 22;
            const int xs = x + (course % 2) * 31;
            const bool mortar = y % 22 < 3 || xs % 62 < 3;
            const bool window = (x % 400 > 120 && x % 400 < 280 && y % 440 > 100 && y % 440 < 330);
            const bool frame = window && (x % 400 < 128 || x % 400 > 272 || y % 440 < 108 ||
                                          y % 440 > 322 || x % 400 / 2 == 100);
            int v = mortar ? 70 : 200;
            if (window)
                v = frame ? 40 : 150;
            if (rnd() % 700 == 0)
                v = 30; // dirt
            v += static_cast<int>(rnd() % 13) - 6;
            const auto c = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
            pixkit::setpixel(out, x, y, pixkit::rgb(c, c, static_cast<std::uint8_t>(c * 9 / 10)));
        }
    return out;
}

// Scene 0: the newspaper photograph; scene 1: the brick facade.
const pixkit::dib& scene(int which = 0) {
    static const pixkit::DibHolder newspaper(rectifiedPhoto());
    static const pixkit::DibHolder bricks(brickFacade());
    return which == 0 ? newspaper.get() : bricks.get();
}

int thresholdOf(int which) {
    return which == 0 ? Threshold : 50;
}

struct Quiet : LineEvents {};

void exportBench(benchmark::State& state, Engine engine) {
    const int which = static_cast<int>(state.range(0));
    scene(which);
    std::size_t segments = 0;
    for (auto _ : state) {
        state.PauseTiming();
        pixkit::DibHolder di2(DuplicateImage(scene(which)));
        state.ResumeTiming();
        tlineinf* alineinf = nullptr;
        LineList lines(&alineinf);
        SeparationTables tables;
        Quiet events;
        if (TraceRectified(di2.get(), thresholdOf(which), tables, lines, events, engine) !=
            ExportEnd::Traced)
            state.SkipWithError("trace failed");
        DxfText text(1000.0, 100.0, pixkit::dibwidth(di2.get()), pixkit::dibheight(di2.get()));
        lines.First();
        while (lines.WhileNext())
            text.add(*alineinf);
        benchmark::DoNotOptimize(text.finish());
        segments = lines.count();
    }
    state.counters["segments"] = static_cast<double>(segments);
}

void BM_ExportFast(benchmark::State& state) {
    exportBench(state, Engine::Fast);
}
void BM_ExportReference(benchmark::State& state) {
    exportBench(state, Engine::Reference);
}

// ---- stages on the traced size -------------------------------------------------------

// The prepared (6000 x 3999) image of the newspaper, its black/white image
// and outline image.
struct Stages {
    pixkit::DibHolder prepared, bw, outline;
    Stages() {
        prepared.install(DuplicateImage(scene()));
        PrepareForTracing(prepared.get());
        SeparationTables t;
        pixkit::dib d;
        if (ToBlackWhite(prepared.get(), Threshold, d, t) != SeparationEnd::Done)
            std::abort();
        bw.install(d);
        outline.install(DuplicateImage(d));
        MakeOutlineImage(outline.get());
    }
};
const Stages& stages() {
    static const Stages s;
    return s;
}

void prepareBench(benchmark::State& state, Engine engine) {
    scene();
    for (auto _ : state) {
        state.PauseTiming();
        pixkit::DibHolder d(DuplicateImage(scene()));
        state.ResumeTiming();
        PrepareForTracing(d.get(), engine);
        benchmark::DoNotOptimize(d.get().poi);
    }
}
void BM_PrepareFast(benchmark::State& s) {
    prepareBench(s, Engine::Fast);
}
void BM_PrepareReference(benchmark::State& s) {
    prepareBench(s, Engine::Reference);
}

void separateBench(benchmark::State& state, Engine engine) {
    stages(); // made once, outside the measurement
    for (auto _ : state) {
        SeparationTables t;
        pixkit::DibHolder out;
        ToBlackWhite(stages().prepared.get(), Threshold, out.get(), t, engine);
        benchmark::DoNotOptimize(out.get().poi);
    }
}
void BM_SeparateFast(benchmark::State& s) {
    separateBench(s, Engine::Fast);
}
void BM_SeparateReference(benchmark::State& s) {
    separateBench(s, Engine::Reference);
}

void outlineBench(benchmark::State& state, Engine engine) {
    stages();
    for (auto _ : state) {
        state.PauseTiming();
        pixkit::DibHolder d(DuplicateImage(stages().bw.get()));
        state.ResumeTiming();
        MakeOutlineImage(d.get(), engine);
        benchmark::DoNotOptimize(d.get().poi);
    }
}
void BM_OutlineFast(benchmark::State& s) {
    outlineBench(s, Engine::Fast);
}
void BM_OutlineReference(benchmark::State& s) {
    outlineBench(s, Engine::Reference);
}

// From the outline image to the line list and the DXF text.
void traceBench(benchmark::State& state, Engine engine) {
    stages();
    std::size_t segments = 0;
    for (auto _ : state) {
        tlineinf* alineinf = nullptr;
        LineList lines(&alineinf);
        TraceSegments(
            stages().outline.get(),
            [&](const tlineinf& s, bool) {
                tlineinf* r = lines.Add();
                if (r != nullptr)
                    *r = s;
                return r != nullptr;
            },
            engine);
        DxfText text(1000.0, 100.0, pixkit::dibwidth(stages().outline.get()),
                     pixkit::dibheight(stages().outline.get()));
        lines.First();
        while (lines.WhileNext())
            text.add(*alineinf);
        benchmark::DoNotOptimize(text.finish());
        segments = lines.count();
    }
    state.counters["segments"] = static_cast<double>(segments);
}
void BM_TraceFast(benchmark::State& s) {
    traceBench(s, Engine::Fast);
}
void BM_TraceReference(benchmark::State& s) {
    traceBench(s, Engine::Reference);
}

// potrace on the same black/white bitmap, as a PBM file, writing DXF.
void BM_TracePotrace(benchmark::State& state) {
    if (std::system("command -v potrace > /dev/null 2>&1") != 0) {
        state.SkipWithError("potrace is not installed (Debian package potrace)");
        return;
    }
    const pixkit::dib& bw = stages().bw.get();
    const int W = pixkit::dibwidth(bw), H = pixkit::dibheight(bw);
    const auto dir = std::filesystem::temp_directory_path();
    const std::string pbm = (dir / "bench_lines_potrace.pbm").string();
    const std::string dxf = (dir / "bench_lines_potrace.dxf").string();
    {
        std::ofstream f(pbm, std::ios::binary);
        f << "P4\n" << W << " " << H << "\n";
        std::vector<unsigned char> row(static_cast<std::size_t>((W + 7) / 8));
        for (int y = 0; y < H; ++y) {
            std::fill(row.begin(), row.end(), 0);
            for (int x = 0; x < W; ++x)
                if (pixkit::getpixel(bw, x, y) == 0)
                    row[static_cast<std::size_t>(x / 8)] |=
                        static_cast<unsigned char>(0x80u >> (x % 8));
            f.write(reinterpret_cast<const char*>(row.data()), static_cast<long>(row.size()));
        }
    }
    const std::string cmd = "potrace -b dxf -o '" + dxf + "' '" + pbm + "'";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("potrace failed");
    std::filesystem::remove(pbm);
    std::filesystem::remove(dxf);
}

// ---- the drawing's text ---------------------------------------------------------------

// The brick facade traced once: its segments and sizes.
struct Traced {
    std::vector<tlineinf> records;
    int width = 0, height = 0;
    Traced() {
        pixkit::DibHolder di2(DuplicateImage(scene(1)));
        tlineinf* alineinf = nullptr;
        LineList lines(&alineinf);
        SeparationTables tables;
        Quiet events;
        if (TraceRectified(di2.get(), thresholdOf(1), tables, lines, events) != ExportEnd::Traced)
            std::abort();
        records.assign(lines.begin(), lines.begin() + lines.count());
        width = pixkit::dibwidth(di2.get());
        height = pixkit::dibheight(di2.get());
    }
    DrawingRequest request(int minSizePx) const {
        DrawingRequest r;
        r.records = records;
        r.tracedWidth = width;
        r.tracedHeight = height;
        r.pictureWidth = RectifiedW;
        r.pictureHeight = RectifiedH;
        r.realWidthCm = 1000.0;
        r.minSizePx = minSizePx;
        return r;
    }
};
const Traced& traced() {
    static const Traced t;
    return t;
}

void BM_DrawingPlain(benchmark::State& state) {
    const DrawingRequest r = traced().request(0);
    for (auto _ : state)
        benchmark::DoNotOptimize(DxfDrawing(r));
    state.counters["segments"] = static_cast<double>(r.records.size());
}

// Argument: the minimum outline size in pixels of the rectified image.
void BM_DrawingCad(benchmark::State& state) {
    const DrawingRequest r = traced().request(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CadDrawing(r, "facade.png"));
    state.counters["segments"] = static_cast<double>(r.records.size());
}

// The photograph under the CAD drawing: the rectified image as PNG bytes.
void BM_UnderlayPng(benchmark::State& state) {
    const pixkit::dib& photo = scene(1);
    pixkit::WriteOptions options;
    options.density = {2.0, 2.0};
    std::vector<std::uint8_t> bytes;
    for (auto _ : state)
        if (!pixkit::EncodeDib(photo, ".png", options, bytes).ok)
            state.SkipWithError("PNG encoder failed");
    state.counters["bytes"] = static_cast<double>(bytes.size());
}

} // namespace

FP_WALL_BENCH(BM_ExportFast)->Arg(0)->Arg(1);
FP_WALL_BENCH(BM_ExportReference)->Arg(0)->Arg(1)->Iterations(1);
FP_WALL_BENCH(BM_PrepareFast);
FP_WALL_BENCH(BM_PrepareReference)->Iterations(1);
FP_WALL_BENCH(BM_SeparateFast);
FP_WALL_BENCH(BM_SeparateReference)->Iterations(1);
FP_WALL_BENCH(BM_OutlineFast);
FP_WALL_BENCH(BM_OutlineReference)->Iterations(1);
FP_WALL_BENCH(BM_TraceFast);
FP_WALL_BENCH(BM_TraceReference)->Iterations(1);
FP_WALL_BENCH(BM_TracePotrace);
FP_WALL_BENCH(BM_DrawingPlain);
FP_WALL_BENCH(BM_DrawingCad)->Arg(0)->Arg(3);
FP_WALL_BENCH(BM_UnderlayPng);
