// The batch mode end to end: a 24 MP JPEG photograph, four corners and a real
// size (12 parameters), rectified into a JPEG at quality 90, timed as a whole
// process from start to exit. The peer is the same job as a Python script
// with OpenCV (rectify_batch.py: imread, getPerspectiveTransform,
// warpPerspective with nearest neighbour, imwrite at quality 90).
//
// BM_BatchVsPythonOpenCV runs both alternately in every iteration; its time
// is ours, the counter `ratio` our time / the script's and `peer_ms` the
// script's time per iteration. BM_PythonOpenCVStartOnly shows how much of the
// script's time is Python starting and importing cv2 and numpy.
//
// BM_BatchVsDecodeEncode (and BM_FullFrameVsDecodeEncode, corners near the
// photograph's edges) pairs the job with its floor, fp_jpeg_peer:
// TurboJPEG decoding the same photograph and encoding it again, one thread,
// a process of its own. BM_Batch96VsBatch48 runs the job on a 96 MP and a
// 48 MP photograph (the same facade, corners scaled), `ratio` 96 / 48.

#include "BenchSupport.h"
#include "RunProgram.h"
#include "pixkit/ImageFile.h"
#include "pixkit/dib.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int Width = 6000, Height = 4000;
// A facade seen from below and from the left, 18 m x 12 m.
const std::vector<std::string> CornersAndSize = {"1150", "820",  "4720", "1240",
                                                 "4560", "3180", "1030", "3560"};
const std::vector<std::string> RealSize = {"1800", "1200"};

// The photograph in a folder of its own, which also serves as the children's
// settings folder (no stored JPEG quality: 90).
void writePhoto(const std::string& photo, int width, int height);

struct Setup {
    std::string dir;
    std::string photo;
    Setup() {
        char name[] = "/tmp/bench_batch_XXXXXX";
        if (mkdtemp(name) == nullptr)
            std::abort();
        dir = name;
        photo = dir + "/facade.jpg";
        writePhoto(photo, Width, Height);
    }
    ~Setup() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

void writePhoto(const std::string& photo, int width, int height) {
    {
        // Smooth light, a window grid and some grain, so the JPEG has a
        // realistic size.
        pixkit::dib d;
        pixkit::newdib(d, width, height, 24, nullptr, 0);
        pixkit::DibHolder holder(d);
        if (d.poi == nullptr)
            std::abort();
        unsigned seed = 12345;
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = pixkit::pictureRow(d, y);
            for (int x = 0; x < width; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int grain = static_cast<int>((seed >> 16) & 15) - 8;
                const bool window = (x % 400) > 250 && (y % 500) > 300;
                const int base = window ? 60 : 150 + (x + y) / 100;
                std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
                p[0] = static_cast<std::uint8_t>(std::clamp(base + grain - 30, 0, 255)); // blue
                p[1] = static_cast<std::uint8_t>(std::clamp(base + grain, 0, 255));
                p[2] = static_cast<std::uint8_t>(std::clamp(base + grain + 30, 0, 255));
            }
        }
        if (!pixkit::WriteDib(d, photo, 90).ok)
            std::abort();
    }
}

const Setup& setup() {
    static const Setup s;
    return s;
}

// Runs the program with its arguments and waits; true on exit code 0.
bool runProcess(const std::vector<std::string>& argv) {
    return fpbench::runProgram(argv, setup().dir, fpbench::ErrorOutput::Shown);
}

// Corners near the photograph's edges: a result as large as the photograph.
const std::vector<std::string> FullFrame = {"100",  "100",  "5900", "100",
                                            "5900", "3900", "100",  "3900"};

std::vector<std::string> jobArgs(std::vector<std::string> head, const std::string& output,
                                 const std::vector<std::string>& corners = CornersAndSize) {
    head.push_back(setup().photo);
    head.insert(head.end(), corners.begin(), corners.end());
    head.push_back(setup().dir + output);
    head.insert(head.end(), RealSize.begin(), RealSize.end());
    return head;
}

// The program measured: this build's, or another build's named by
// FP_BENCH_BATCH_PROGRAM (an earlier version, for a figure before a change).
std::string program() {
    const char* other = std::getenv("FP_BENCH_BATCH_PROGRAM");
    return other != nullptr && *other != '\0' ? other : FP_BATCH_PROGRAM;
}

bool ours() {
    return runProcess(jobArgs({program()}, "/ours.jpg"));
}
bool oursFullFrame() {
    return runProcess(jobArgs({program()}, "/full.jpg", FullFrame));
}
bool theirs() {
    return runProcess(jobArgs({FP_BATCH_PYTHON, FP_BATCH_SCRIPT}, "/theirs.jpg"));
}
// What of the script's time is Python starting and loading OpenCV.
bool theirStart() {
    return runProcess({FP_BATCH_PYTHON, "-c", "import cv2, numpy"});
}

bool decodeEncodeAlone() {
    return runProcess({FP_JPEG_PEER, setup().photo, setup().dir + "/peer.jpg"});
}

// The job on a photograph of `megapixels` (3:2), the corners scaled with it.
bool oursAt(int megapixels) {
    const Setup& s = setup();
    const double k = std::sqrt(megapixels / 24.0);
    const std::string photo = s.dir + "/facade" + std::to_string(megapixels) + ".jpg";
    if (!std::filesystem::exists(photo))
        writePhoto(photo, static_cast<int>(std::lround(Width * k)),
                   static_cast<int>(std::lround(Height * k)));
    std::vector<std::string> args{program(), photo};
    for (const std::string& v : CornersAndSize)
        args.push_back(std::to_string(std::lround(std::stod(v) * k)));
    args.push_back(s.dir + "/ours" + std::to_string(megapixels) + ".jpg");
    args.insert(args.end(), RealSize.begin(), RealSize.end());
    return runProcess(args);
}

using Clock = std::chrono::steady_clock;

void processBench(benchmark::State& state, bool (*job)(), const char* what) {
    setup();
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const bool ok = job();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        if (!ok) {
            state.SkipWithError(what);
            break;
        }
    }
}

void BM_BatchFassadenplan(benchmark::State& state) {
    processBench(state, ours, "the batch mode failed");
}
void BM_BatchPythonOpenCV(benchmark::State& state) {
    processBench(state, theirs, "the Python script failed (python3-opencv installed?)");
}

void BM_PythonOpenCVStartOnly(benchmark::State& state) {
    processBench(state, theirStart, "Python cannot load OpenCV (python3-opencv installed?)");
}

void BM_BatchVsPythonOpenCV(benchmark::State& state) {
    setup();
    double oursSeconds = 0.0, theirSeconds = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const bool a = ours();
        const auto t1 = Clock::now();
        const bool b = theirs();
        const auto t2 = Clock::now();
        if (!a || !b) {
            state.SkipWithError(!a ? "the batch mode failed" : "the Python script failed");
            break;
        }
        const double o = std::chrono::duration<double>(t1 - t0).count();
        oursSeconds += o;
        theirSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(o);
    }
    if (theirSeconds > 0.0) {
        state.counters["ratio"] = oursSeconds / theirSeconds;
        state.counters["peer_ms"] = 1000.0 * theirSeconds / static_cast<double>(state.iterations());
    }
}

// Two jobs alternately: the time is the first's, `ratio` first / second.
void pairBench(benchmark::State& state, const std::function<bool()>& first,
               const std::function<bool()>& second, const char* what) {
    setup();
    double a = 0.0, b = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const bool okA = first();
        const auto t1 = Clock::now();
        const bool okB = second();
        const auto t2 = Clock::now();
        if (!okA || !okB) {
            state.SkipWithError(what);
            break;
        }
        const double o = std::chrono::duration<double>(t1 - t0).count();
        a += o;
        b += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(o);
    }
    if (b > 0.0) {
        state.counters["ratio"] = a / b;
        state.counters["peer_ms"] = 1000.0 * b / static_cast<double>(state.iterations());
    }
}

void BM_BatchVsDecodeEncode(benchmark::State& state) {
    pairBench(state, ours, decodeEncodeAlone, "the batch mode or the TurboJPEG peer failed");
}

void BM_FullFrameVsDecodeEncode(benchmark::State& state) {
    pairBench(state, oursFullFrame, decodeEncodeAlone,
              "the batch mode or the TurboJPEG peer failed");
}

void BM_Batch96VsBatch48(benchmark::State& state) {
    pairBench(
        state, [] { return oursAt(96); }, [] { return oursAt(48); }, "the batch mode failed");
}

} // namespace

FP_MANUAL_BENCH(BM_BatchVsDecodeEncode)->Iterations(7);
FP_MANUAL_BENCH(BM_FullFrameVsDecodeEncode)->Iterations(7);
FP_MANUAL_BENCH(BM_Batch96VsBatch48)->Iterations(5);
FP_MANUAL_BENCH(BM_BatchFassadenplan)->Iterations(3);
FP_MANUAL_BENCH(BM_BatchPythonOpenCV)->Iterations(3);
FP_MANUAL_BENCH(BM_PythonOpenCVStartOnly)->Iterations(3);
FP_MANUAL_BENCH(BM_BatchVsPythonOpenCV)->Iterations(3);
