// Opening a 24 MP photograph: OpenDib (file read, content sniffing, TurboJPEG
// straight into the image's bottom-up rows) against a bare TurboJPEG decode
// of the same bytes into a plain buffer that is allocated once.
//
// Writing it as PNG: WriteDib at the default level against OpenCV's imwrite
// at its default PNG settings (Sub filter, zlib level 1, run-length
// strategy), both writing a file into the same folder, alternately in every
// iteration. The time is ours; `ratio` is our time / OpenCV's, `size_ratio`
// our file size / OpenCV's.

#include "pixkit/ImageFile.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <turbojpeg.h>
#include <unistd.h>

#if defined(FP_BENCH_WITH_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Width = 6000, Height = 4000;

// A facade-like synthetic photograph: smooth light, a window grid and some
// grain, so the entropy-coded data has a realistic size.
struct Photo {
    std::vector<unsigned char> jpeg;
    std::string path;

    Photo() {
        std::vector<unsigned char> rgb(static_cast<std::size_t>(Width) * Height * 3);
        unsigned seed = 12345;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int grain = static_cast<int>((seed >> 16) & 15) - 8;
                const bool window = (x % 400) > 250 && (y % 500) > 300;
                const int base = window ? 60 : 150 + (x + y) / 100;
                unsigned char* p =
                    &rgb[(static_cast<std::size_t>(y) * Width + static_cast<std::size_t>(x)) * 3];
                p[0] = static_cast<unsigned char>(std::clamp(base + grain + 30, 0, 255));
                p[1] = static_cast<unsigned char>(std::clamp(base + grain, 0, 255));
                p[2] = static_cast<unsigned char>(std::clamp(base + grain - 30, 0, 255));
            }
        tjhandle h = tjInitCompress();
        unsigned char* buf = nullptr;
        unsigned long size = 0;
        if (tjCompress2(h, rgb.data(), Width, 0, Height, TJPF_RGB, &buf, &size, TJSAMP_420, 90,
                        0) != 0)
            std::abort();
        jpeg.assign(buf, buf + size);
        tjFree(buf);
        tjDestroy(h);

        char name[] = "/tmp/bench_codecs_XXXXXX.jpg";
        const int fd = mkstemps(name, 4);
        if (fd < 0)
            std::abort();
        path = name;
        FILE* f = fdopen(fd, "wb");
        if (f == nullptr || std::fwrite(jpeg.data(), 1, jpeg.size(), f) != jpeg.size())
            std::abort();
        std::fclose(f);
    }
    ~Photo() { std::remove(path.c_str()); }
};

const Photo& photo() {
    static const Photo p;
    return p;
}

double minimum(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

void BM_BareTurboJpegDecode24MP(benchmark::State& state) {
    const Photo& p = photo();
    std::vector<unsigned char> out(static_cast<std::size_t>(Width) * Height * 3);
    tjhandle h = tjInitDecompress();
    for (auto _ : state) {
        if (tjDecompress2(h, p.jpeg.data(), static_cast<unsigned long>(p.jpeg.size()), out.data(),
                          Width, 0, Height, TJPF_BGR, 0) != 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    tjDestroy(h);
}

// The same decode into fresh memory each time, as an image needs it: shows
// what first-touch page faults cost on this machine without huge pages.
void BM_BareTurboJpegDecodeFreshBuffer24MP(benchmark::State& state) {
    const Photo& p = photo();
    tjhandle h = tjInitDecompress();
    for (auto _ : state) {
        std::unique_ptr<unsigned char[]> out(
            new unsigned char[static_cast<std::size_t>(Width) * Height * 3]);
        if (tjDecompress2(h, p.jpeg.data(), static_cast<unsigned long>(p.jpeg.size()), out.get(),
                          Width, 0, Height, TJPF_BGR, 0) != 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.get());
    }
    tjDestroy(h);
}

void BM_OpenDibJpeg24MP(benchmark::State& state) {
    const Photo& p = photo();
    for (auto _ : state) {
        pixkit::dib d;
        pixkit::OpenDib(d, p.path);
        if (d.poi == nullptr)
            state.SkipWithError("OpenDib failed");
        benchmark::DoNotOptimize(d.poi);
        pixkit::releasedib(d);
    }
}

BENCHMARK(BM_BareTurboJpegDecode24MP)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum);
BENCHMARK(BM_BareTurboJpegDecodeFreshBuffer24MP)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum);
BENCHMARK(BM_OpenDibJpeg24MP)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum);

// ---- PNG output ------------------------------------------------------------------------

#if defined(FP_BENCH_WITH_OPENCV)

// The decoded photograph, as our image and as OpenCV's (top row first, BGR).
struct Decoded {
    pixkit::DibHolder image;
    cv::Mat mat;
    Decoded() {
        pixkit::dib d;
        pixkit::OpenDib(d, photo().path);
        if (d.poi == nullptr)
            std::abort();
        image.install(d);
        mat.create(Height, Width, CV_8UC3);
        for (int y = 0; y < Height; ++y)
            std::memcpy(mat.ptr(y), pixkit::pictureRow(d, y), 3 * static_cast<std::size_t>(Width));
    }
};

const Decoded& decoded() {
    static const Decoded d;
    return d;
}

// Our writer flushes the file to the disk before it replaces the target
// (a failed write never destroys a good file); imwrite does not. `ratio` is
// our time / imwrite's, `ratio_durable` our time / (imwrite's + an fsync of
// its file). In a tmpfs folder (/dev/shm) the flush costs nothing and the
// times are the encoders'.
void pngWriteBench(benchmark::State& state, const std::string& folder) {
    const Decoded& d = decoded();
    const std::string ours = folder + "/bench_codecs_ours.png";
    const std::string theirs = folder + "/bench_codecs_opencv.png";
    using Clock = std::chrono::steady_clock;
    double oursSeconds = 0.0, peerSeconds = 0.0, syncSeconds = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (!pixkit::WriteDib(d.image.get(), ours).ok)
            state.SkipWithError("WriteDib failed");
        const auto t1 = Clock::now();
        if (!cv::imwrite(theirs, d.mat))
            state.SkipWithError("imwrite failed");
        const auto t2 = Clock::now();
        const int fd = ::open(theirs.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
        const auto t3 = Clock::now();
        const double o = std::chrono::duration<double>(t1 - t0).count();
        oursSeconds += o;
        peerSeconds += std::chrono::duration<double>(t2 - t1).count();
        syncSeconds += std::chrono::duration<double>(t3 - t2).count();
        state.SetIterationTime(o);
    }
    state.counters["ratio"] = oursSeconds / peerSeconds;
    state.counters["ratio_durable"] = oursSeconds / (peerSeconds + syncSeconds);
    state.counters["peer_ms"] = 1000.0 * peerSeconds / static_cast<double>(state.iterations());
    const auto oursBytes = std::filesystem::file_size(ours);
    const auto theirBytes = std::filesystem::file_size(theirs);
    state.counters["size_ratio"] = static_cast<double>(oursBytes) / static_cast<double>(theirBytes);
    state.counters["ours_MB"] = static_cast<double>(oursBytes) / 1e6;
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
}

void BM_PngWrite24MPVsOpenCVImwrite(benchmark::State& state) {
    const std::string& path = photo().path;
    pngWriteBench(state, path.substr(0, path.find_last_of('/')));
}

void BM_PngWrite24MPVsOpenCVImwriteInTmpfs(benchmark::State& state) {
    if (!std::filesystem::is_directory("/dev/shm")) {
        state.SkipWithError("no /dev/shm");
        for (auto _ : state) {
        }
        return;
    }
    pngWriteBench(state, "/dev/shm");
}

BENCHMARK(BM_PngWrite24MPVsOpenCVImwrite)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum);
BENCHMARK(BM_PngWrite24MPVsOpenCVImwriteInTmpfs)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum);

#endif

} // namespace
