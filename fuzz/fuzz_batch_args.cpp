// Feeds arbitrary command lines (parameters separated by NUL bytes) to the
// batch mode, in the C and the German locale, and runs every job they give
// on a small photograph of our own. Properties:
// - parsing gives a job or says why not, with exit code 1 or 2 only, and the
//   same again; a job has its photograph and output where the parameters put
//   them, a threshold within 1 ... 99, an area within its field and a whole
//   real size; its numbers written out as plain parameters parse back to the
//   same job;
// - a run ends with one of the batch's exit codes and a message, leaves its
//   output file exactly when it succeeds (and nothing else behind when it
//   fails), makes no picture over 2^28 pixels, and the heap a written
//   picture took stays within twice the picture (plus a fixed allowance for
//   the photograph, the encoders and the tables); libFuzzer's -rss_limit_mb
//   and -malloc_limit_mb bound every run.
//
// Whole runs are for jobs whose picture stays small (corners within 4096
// pixels, a rectified picture of at most 2^20 pixels as the real size, or the
// width preset from the tilt, and the area make it): a picture near 2^28 pixels takes minutes under
// the sanitizers, which would leave no time for anything else. The batch's tests run such pictures.
//
// The run's files are its own: the photograph and the output's folder live
// in a fresh temporary folder; only the output's extension comes from the
// command line.

#include "app/BatchMode.h"
#include "app/CommandLine.h"
#include "app/Fields.h"
#include "rectify/Camera.h"
#include "rectify/Run.h"

#include <QLocale>

#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool sameJob(const app::ParsedJob& a, const app::ParsedJob& b) {
    if (a.job.has_value() != b.job.has_value())
        return false;
    if (!a.job)
        return a.failure.exit == b.failure.exit && a.failure.message == b.failure.message;
    const app::RectifyJob& x = *a.job;
    const app::RectifyJob& y = *b.job;
    return x.photo == y.photo && x.output == y.output && x.corners == y.corners &&
           x.realWidthCm == y.realWidthCm && x.realHeightCm == y.realHeightCm &&
           x.areaPercent == y.areaPercent && x.threshold == y.threshold &&
           x.sampling == y.sampling && x.worldFile == y.worldFile &&
           x.jpegQuality == y.jpegQuality && x.qualityGiven == y.qualityGiven &&
           x.pngLevel == y.pngLevel && x.minSizePx == y.minSizePx && x.threads == y.threads;
}

std::string whole(double v) {
    char text[400];
    std::snprintf(text, sizeof text, "%.0f", v);
    return text;
}

// The parse of `params`; aborts on a broken property.
app::ParsedJob checkParse(const std::vector<std::string>& params, const QLocale& locale) {
    app::ParsedJob parsed = app::parseBatchCommandLine(params, locale);
    if (!sameJob(parsed, app::parseBatchCommandLine(params, locale)))
        std::abort();
    if (!parsed.job) {
        if (parsed.failure.exit != app::BatchExit::Usage &&
            parsed.failure.exit != app::BatchExit::NotANumber)
            std::abort();
        if (parsed.failure.message.empty())
            std::abort();
        return parsed;
    }
    const app::CommandLine line = app::splitCommandLine(params);
    if (line.parameters.size() < app::BatchMinParams)
        std::abort();
    const app::RectifyJob& job = *parsed.job;
    if (job.photo != line.parameters[0] || job.output != line.parameters[9])
        std::abort();
    if (job.threshold < 1 || job.threshold > 99)
        std::abort();
    if (job.areaPercent < app::fields::Area.minimum || job.areaPercent > app::fields::Area.maximum)
        std::abort();
    if (job.realWidthCm.has_value() != job.realHeightCm.has_value())
        std::abort();
    if (job.realWidthCm && (*job.realWidthCm != std::nearbyint(*job.realWidthCm) ||
                            *job.realHeightCm != std::nearbyint(*job.realHeightCm)))
        std::abort();

    // The job's numbers as plain parameters, its options as the start.
    std::vector<std::string> plain{"--", job.photo};
    for (const rectify::TPoint& p : job.corners) {
        plain.push_back(std::to_string(p.x));
        plain.push_back(std::to_string(p.y));
    }
    plain.push_back(job.output);
    if (job.realWidthCm) {
        plain.push_back(whole(*job.realWidthCm));
        plain.push_back(whole(*job.realHeightCm));
        plain.push_back(std::to_string(job.areaPercent));
    }
    app::RectifyJob start = job;
    start.realWidthCm.reset();
    start.realHeightCm.reset();
    if (!sameJob(parsed, app::parseBatchCommandLine(plain, QLocale::c(), start)))
        std::abort();
    return parsed;
}

// The heap the run takes beyond what was there before it, at its peak.
std::atomic<bool> tracking{false};
std::atomic<std::size_t> peakBytes{0};

void onMalloc(const volatile void*, std::size_t) {
    if (!tracking.load(std::memory_order_relaxed))
        return;
    const std::size_t now = __sanitizer_get_current_allocated_bytes();
    std::size_t seen = peakBytes.load(std::memory_order_relaxed);
    while (now > seen && !peakBytes.compare_exchange_weak(seen, now))
        ;
}

void onFree(const volatile void*) {}

struct Scratch {
    fs::path photo;
    fs::path outputs;
};

// A 48 x 36 24-bit BMP with a pattern, written once.
const Scratch& scratch() {
    static const Scratch s = [] {
        char pattern[] = "/tmp/fuzz_batch_args.XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr)
            std::abort();
        Scratch dirs{fs::path(made) / "photo.bmp", fs::path(made) / "out"};
        static const fs::path root = made;
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(root, ec);
        });
        fs::create_directory(dirs.outputs);
        const int w = 48, h = 36, row = w * 3;
        std::string bmp(54 + row * h, '\0');
        auto put = [&bmp](std::size_t at, std::uint32_t v, std::size_t bytes) {
            for (std::size_t k = 0; k < bytes; ++k)
                bmp[at + k] = static_cast<char>((v >> (8 * k)) & 0xff);
        };
        bmp[0] = 'B';
        bmp[1] = 'M';
        put(2, static_cast<std::uint32_t>(bmp.size()), 4);
        put(10, 54, 4);
        put(14, 40, 4);
        put(18, w, 4);
        put(22, h, 4);
        put(26, 1, 2);
        put(28, 24, 2);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t at = 54 + static_cast<std::size_t>(y * row + x * 3);
                const bool joint = x % 8 == 0 || y % 6 == 0;
                bmp[at] = static_cast<char>(joint ? 200 : 40 + x);
                bmp[at + 1] = static_cast<char>(joint ? 200 : 60 + y);
                bmp[at + 2] = static_cast<char>(joint ? 200 : 90);
            }
        std::ofstream(dirs.photo, std::ios::binary) << bmp;
        if (__sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) == 0)
            std::abort();
        return dirs;
    }();
    return s;
}

// The output's extension, when it is a plain one ("out.png" -> ".png").
std::string extensionOf(const std::string& output) {
    const std::size_t dot = output.rfind('.');
    if (dot == std::string::npos || output.size() - dot > 6)
        return ".none";
    const std::string ext = output.substr(dot);
    if (ext.find('/') != std::string::npos || ext.find('\\') != std::string::npos)
        return ".none";
    return ext;
}

bool smallPicture(const app::RectifyJob& job) {
    constexpr std::int64_t MaxPixels = std::int64_t{1} << 20;
    for (const rectify::TPoint& p : job.corners)
        if (std::abs(std::int64_t{p.x}) > 4096 || std::abs(std::int64_t{p.y}) > 4096)
            return false;
    if (job.realWidthCm && (*job.realWidthCm <= 0 || *job.realHeightCm <= 0))
        return true; // refused before the photograph is read
    double realWidth = job.realWidthCm.value_or(0.0);
    double realHeight = job.realHeightCm.value_or(app::fields::RealHeight.start);
    if (!job.realWidthCm) {
        // Without a real size the run first presets the width from the tilt
        // it finds, which can make a long thin picture of a small quad; ask
        // for that preset the same way (it needs the photograph's size only).
        pixkit::Image photo;
        const bool across = ((job.sourceTurns % 4 + 4) % 4) % 2 == 1;
        pixkit::newdib(photo.get(), across ? 36 : 48, across ? 48 : 36, 24, nullptr, 0);
        rectify::RunRequest preset;
        preset.source = &photo.get();
        preset.corners = job.corners;
        preset.cornersComplete = true;
        preset.realWidthCm = app::fields::RealWidth.start;
        preset.realHeightCm = realHeight;
        preset.areaPercent = app::heldWhole(app::fields::Area, job.areaPercent);
        preset.targetPercent = app::heldWhole(app::fields::Target, job.targetPercent);
        preset.presetWidth = true;
        if (job.typedAnglesDeg) {
            preset.fixedAngles = true;
            preset.angleXDeg = (*job.typedAnglesDeg)[0];
            preset.angleYDeg = (*job.typedAnglesDeg)[1];
        }
        const rectify::RunResult found = rectify::run(preset);
        if (!found.presetWidthCm)
            return true; // the run ends before it makes a picture
        realWidth = app::heldValue(app::fields::RealWidth, *found.presetWidthCm);
    }
    const rectify::TargetSizeResult size =
        rectify::TargetSize(job.corners, realWidth, realHeight, job.targetPercent);
    if (size.status != rectify::TargetSizeResult::Status::Ok)
        return true;
    const auto scaled = rectify::ScaledResultSize(size.W, size.H, job.areaPercent);
    return !scaled || (scaled->width <= MaxPixels && scaled->height <= MaxPixels &&
                       scaled->width * scaled->height <= MaxPixels);
}

void checkRun(app::RectifyJob job) {
    const Scratch& s = scratch();
    job.photo = s.photo.string();
    job.output = (s.outputs / ("result" + extensionOf(job.output))).string();
    job.threads = 0;
    job.lens = {}; // the lens database is a reader of its own

    tracking = false;
    peakBytes = 0;
    const std::size_t before = __sanitizer_get_current_allocated_bytes();
    tracking = true;
    const app::JobOutcome outcome = app::runJob(job);
    tracking = false;
    const std::size_t peak = std::max(peakBytes.load(), before) - before;

    const int exit = static_cast<int>(outcome.exit);
    if (exit < 0 || exit > static_cast<int>(app::BatchExit::TraceFailed) || exit == 1)
        std::abort();
    if (outcome.message.empty())
        std::abort();
    const std::int64_t pixels = std::int64_t{outcome.width} * outcome.height;
    if (outcome.width < 0 || outcome.height < 0 || pixels > (std::int64_t{1} << 28))
        std::abort();
    std::error_code ec;
    const bool written = fs::is_regular_file(job.output, ec) && fs::file_size(job.output, ec) > 0;
    if (written != outcome.ok())
        std::abort();
    if (!outcome.ok() && !fs::is_empty(s.outputs, ec))
        std::abort(); // a failed run left a file behind
    // Two pictures of 4 bytes a pixel (the rectified one and a converted
    // copy for the encoder), and 64 MB for everything that does not grow
    // with the picture.
    const std::size_t allowance = std::size_t{64} << 20;
    if (outcome.ok() && peak > 2 * 4 * static_cast<std::size_t>(pixels) + allowance) {
        std::fprintf(stderr, "heap peak %zu bytes for a %d x %d picture\n", peak, outcome.width,
                     outcome.height);
        std::abort();
    }
    for (const fs::directory_entry& e : fs::directory_iterator(s.outputs))
        fs::remove(e.path(), ec);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> params(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            params.emplace_back();
        else
            params.back().push_back(static_cast<char>(data[i]));
    }
    if (params.size() > 40)
        return 0; // the parser looks at the first 13 parameters and the options
    static const QLocale german(QLocale::German, QLocale::Germany);
    const app::ParsedJob parsed = checkParse(params, QLocale::c());
    checkParse(params, german);
    if (parsed.job && smallPicture(*parsed.job))
        checkRun(*parsed.job);
    return 0;
}
