// Quarter turns of a 24 MP photograph (row path against the pixel-by-pixel
// reference) and the throughput of getpixel/setpixel over such an image.
#include "pixkit/DepthTurn.h"

#include <benchmark/benchmark.h>

#include <cstddef>

using namespace pixkit;

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;

dib photograph(int bits) {
    dib d;
    newdib(d, Width, Height, bits, nullptr, bits == 8 ? 256 : 0);
    if (d.poi == nullptr)
        return d;
    const std::size_t n = static_cast<std::size_t>(d.bytew) * Height;
    for (std::size_t i = 0; i < n; ++i)
        d.poi[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    return d;
}

template <void (*Turn)(dib&, TurnDirection)> void BM_Turn(benchmark::State& state) {
    DibHolder h(photograph(static_cast<int>(state.range(0))));
    if (h.empty()) {
        state.SkipWithError("no memory for the photograph");
        return;
    }
    for (auto _ : state) {
        Turn(h.get(), TurnDirection::Left);
        benchmark::DoNotOptimize(h.get().poi);
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{Width} * Height);
}

// What every turn pays before moving a pixel: a new image whose pages the
// system hands out on first touch.
void BM_NewImage(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    for (auto _ : state) {
        dib d;
        newdib(d, Height, Width, bits, nullptr, 0);
        if (d.poi == nullptr) {
            state.SkipWithError("no memory for the photograph");
            return;
        }
        const std::size_t n = static_cast<std::size_t>(d.bytew) * Width;
        for (std::size_t i = 0; i < n; i += 4096)
            d.poi[i] = 1;
        benchmark::DoNotOptimize(d.poi);
        releasedib(d);
    }
}

void BM_GetPixel(benchmark::State& state) {
    DibHolder h(photograph(static_cast<int>(state.range(0))));
    const dib& d = h.get();
    for (auto _ : state) {
        Colour sum = 0;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                sum += getpixel(d, x, y);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{Width} * Height);
}

void BM_SetPixel(benchmark::State& state) {
    DibHolder h(photograph(static_cast<int>(state.range(0))));
    const dib& d = h.get();
    for (auto _ : state) {
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                setpixel(d, x, y, static_cast<Colour>(x + y));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t{Width} * Height);
}

} // namespace

BENCHMARK(BM_Turn<TurnSourceImage>)
    ->Name("TurnLeft24MP/rows")
    ->Arg(24)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Turn<TurnSourceImageReference>)
    ->Name("TurnLeft24MP/reference")
    ->Arg(24)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewImage)->Name("NewImage24MP")->Arg(24)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetPixel)->Name("GetPixel24MP")->Arg(24)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetPixel)->Name("SetPixel24MP")->Arg(24)->Arg(8)->Unit(benchmark::kMillisecond);
