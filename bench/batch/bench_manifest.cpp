// Many photographs in one run: a manifest of 16 rows of 12 MP JPEG
// photographs (four corners, a real size, a JPEG output at quality 90),
// timed as whole processes from start to exit.
//
// BM_ManifestRun runs, in every iteration and in this order:
//   - `fassadenplan --batch MANIFEST.csv --jobs=N --force` (its time is the
//     benchmark's time; N the machine's cores),
//   - the same command without --force with every output present (resumed),
//   - the 16 rows as 16 single batch processes one after another,
//   - rectify_manifest.py: the 16 rows on a Python multiprocessing.Pool(N)
//     with OpenCV (imread, getPerspectiveTransform, warpPerspective nearest,
//     imwrite at quality 90).
// Counters: `vs_single` our time / the single processes' time, `vs_python`
// our time / the script's time, `resumed` the resumed run's time / ours, and
// the three others' milliseconds per iteration.

#include "BenchSupport.h"
#include "RunProgram.h"
#include "pixkit/ImageFile.h"
#include "pixkit/dib.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int Width = 4000, Height = 3000; // 12 MP
constexpr int Rows = 16;
// A facade seen from below and from the left, 18 m x 12 m.
const std::vector<std::string> Corners = {"770",  "550",  "3150", "830",
                                          "3040", "2120", "690",  "2370"};
const std::vector<std::string> RealSize = {"1800", "1200"};

int workers() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// The photographs, their manifest and an output folder in a folder of their
// own, which also serves as the children's settings folder (quality 90).
struct Setup {
    std::string dir;
    std::string manifest;
    Setup() {
        char name[] = "/tmp/bench_manifest_XXXXXX";
        if (mkdtemp(name) == nullptr)
            std::abort();
        dir = name;
        std::filesystem::create_directory(dir + "/out");
        pixkit::dib d;
        pixkit::newdib(d, Width, Height, 24, nullptr, 0);
        pixkit::DibHolder holder(d);
        if (d.poi == nullptr)
            std::abort();
        unsigned seed = 12345;
        for (int y = 0; y < Height; ++y) {
            std::uint8_t* row = pixkit::pictureRow(d, y);
            for (int x = 0; x < Width; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int grain = static_cast<int>((seed >> 16) & 15) - 8;
                const bool window = (x % 300) > 190 && (y % 400) > 240;
                const int base = window ? 60 : 150 + (x + y) / 80;
                std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
                p[0] = static_cast<std::uint8_t>(std::clamp(base + grain - 30, 0, 255));
                p[1] = static_cast<std::uint8_t>(std::clamp(base + grain, 0, 255));
                p[2] = static_cast<std::uint8_t>(std::clamp(base + grain + 30, 0, 255));
            }
        }
        if (!pixkit::WriteDib(d, dir + "/facade00.jpg", 90).ok)
            std::abort();
        manifest = dir + "/survey.csv";
        std::ofstream m(manifest);
        m << "photo,x0,y0,x1,y1,x2,y2,x3,y3,output,width,height\n";
        for (int k = 0; k < Rows; ++k) {
            char photo[32], out[32];
            std::snprintf(photo, sizeof photo, "facade%02d.jpg", k);
            std::snprintf(out, sizeof out, "out/facade%02d.jpg", k);
            if (k > 0)
                std::filesystem::copy_file(dir + "/facade00.jpg", dir + "/" + photo);
            m << photo;
            for (const std::string& c : Corners)
                m << "," << c;
            m << "," << out << "," << RealSize[0] << "," << RealSize[1] << "\n";
        }
    }
    ~Setup() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string photo(int k) const {
        char name[32];
        std::snprintf(name, sizeof name, "/facade%02d.jpg", k);
        return dir + name;
    }
};

const Setup& setup() {
    static const Setup s;
    return s;
}

// Runs the program with its arguments and waits; true on exit code 0.
bool runProcess(const std::vector<std::string>& argv) {
    return fpbench::runProgram(argv, setup().dir, fpbench::ErrorOutput::Hidden);
}

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

bool manifestRun(bool force) {
    std::vector<std::string> args = {FP_BATCH_PROGRAM, "--batch", setup().manifest,
                                     "--jobs=" + std::to_string(workers())};
    if (force)
        args.push_back("--force");
    return runProcess(args);
}

bool singleRuns() {
    for (int k = 0; k < Rows; ++k) {
        std::vector<std::string> args = {FP_BATCH_PROGRAM, setup().photo(k)};
        args.insert(args.end(), Corners.begin(), Corners.end());
        args.push_back(setup().dir + "/single.jpg");
        args.insert(args.end(), RealSize.begin(), RealSize.end());
        if (!runProcess(args))
            return false;
    }
    return true;
}

bool pythonPool() {
    return runProcess(
        {FP_BATCH_PYTHON, FP_MANIFEST_SCRIPT, setup().manifest, std::to_string(workers())});
}

void BM_ManifestRun(benchmark::State& state) {
    setup();
    double ours = 0.0, resumed = 0.0, single = 0.0, python = 0.0;
    for (auto _ : state) {
        auto t = Clock::now();
        if (!manifestRun(true)) {
            state.SkipWithError("the manifest run failed");
            break;
        }
        const double o = seconds(t);
        ours += o;
        state.SetIterationTime(o);
        t = Clock::now();
        if (!manifestRun(false)) {
            state.SkipWithError("the resumed manifest run failed");
            break;
        }
        resumed += seconds(t);
        t = Clock::now();
        if (!singleRuns()) {
            state.SkipWithError("a single batch run failed");
            break;
        }
        single += seconds(t);
        t = Clock::now();
        if (!pythonPool()) {
            state.SkipWithError("the Python pool failed (python3-opencv installed?)");
            break;
        }
        python += seconds(t);
    }
    const double n = static_cast<double>(state.iterations());
    if (ours > 0.0 && single > 0.0 && python > 0.0) {
        state.counters["vs_single"] = ours / single;
        state.counters["vs_python"] = ours / python;
        state.counters["resumed"] = resumed / ours;
        state.counters["single_ms"] = 1000.0 * single / n;
        state.counters["python_ms"] = 1000.0 * python / n;
        state.counters["resumed_ms"] = 1000.0 * resumed / n;
        state.counters["workers"] = workers();
    }
}

} // namespace

FP_MANUAL_BENCH(BM_ManifestRun)->Iterations(2);
