// The command line of the batch mode: options from their table, parameters
// by position, the usage; the job itself is RectifyJob.cpp's.

#include "app/BatchMode.h"

#include "app/UserStore.h"
#include "foundation/Rounding.h"

#include <QCoreApplication>
#include <QSettings>
#include <QString>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iostream>
#include <new>
#include <ostream>

namespace app {

namespace {

// Breaks the words of `text` into lines of at most `firstWidth` characters
// (the first line) and `width` (the others), joined by `lineBreak`.
std::string wrapped(const std::string& text, std::size_t firstWidth, std::size_t width,
                    const std::string& lineBreak) {
    std::string result;
    std::size_t lineLength = 0;
    std::size_t limit = firstWidth;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        if (lineLength > 0 && lineLength + 1 + word.size() > limit) {
            result += lineBreak;
            lineLength = 0;
            limit = width;
        } else if (lineLength > 0) {
            result += ' ';
            ++lineLength;
        }
        result += word;
        lineLength += word.size();
        start = end + 1;
    }
    return result;
}

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// What parameter n (1-based) stands for, for messages.
std::string parameterName(std::size_t n) {
    static const char* const names[] = {
        "photograph", "corner 0 x",  "corner 0 y",      "corner 1 x", "corner 1 y",
        "corner 2 x", "corner 2 y",  "corner 3 x",      "corner 3 y", "output file",
        "real width", "real height", "calculation area"};
    return "parameter " + std::to_string(n) + " (" + names[n - 1] + ")";
}

JobOutcome failure(BatchExit exit, std::string message) {
    JobOutcome o;
    o.exit = exit;
    o.message = std::move(message);
    return o;
}

std::string quoted(std::string_view name, std::string_view value) {
    std::string text = "'";
    text.append(name).append("=").append(value).append("'");
    return text;
}

// The options, in the order of the usage.
constexpr std::array<BatchOption, 4> Options{{
    {"--threshold", "N",
     "black/white threshold of a .dxf drawing in percent\n"
     "(1 ... 99, default 50); options do not count as parameters",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         const auto t = parseThreshold(value);
         if (!t)
             return failure(BatchExit::NotANumber,
                            "the threshold must be a whole number from " +
                                std::to_string(static_cast<int>(fields::Threshold.minimum)) +
                                " to " +
                                std::to_string(static_cast<int>(fields::Threshold.maximum)) + ": " +
                                quoted("--threshold", value));
         job.threshold = *t;
         return std::nullopt;
     }},
    {"--interpolation", "nearest|bilinear|bicubic",
     "how the photograph is sampled: the nearest pixel (default),\n"
     "or blended from 2 x 2 or 4 x 4 pixels",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         const auto s = parseInterpolation(value);
         if (!s)
             return failure(BatchExit::Usage,
                            "the interpolation must be nearest, bilinear or bicubic: " +
                                quoted("--interpolation", value));
         job.sampling = *s;
         return std::nullopt;
     }},
    {"--lens", "off|auto|poly3:K1",
     "lens distortion correction: none (default), the profile of\n"
     "the lens database the photograph's EXIF names, or lensfun's\n"
     "poly3 model with k1 = K1 (-1 ... 1) around the image centre",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         bool badNumber = false;
         const auto lens = parseLensSetting(value, &badNumber);
         if (!lens)
             return failure(badNumber ? BatchExit::NotANumber : BatchExit::Usage,
                            (badNumber ? "poly3 needs a number from -1 to 1 for k1: "
                                       : "the lens must be off, auto or poly3:K1: ") +
                                quoted("--lens", value));
         job.lens = *lens;
         return std::nullopt;
     }},
    {"--world-file", "",
     "also write the image's world file (.jgw, .pgw, .tfw ...) in\n"
     "the units and origin of the DXF drawing",
     [](std::string_view, RectifyJob& job) -> std::optional<JobOutcome> {
         job.worldFile = true;
         return std::nullopt;
     }},
}};

// "  --name=VALUE    first line of the help" and the further lines below it.
std::string optionUsage(const BatchOption& o) {
    constexpr std::size_t Column = 18;
    std::string text = "  ";
    text.append(o.name);
    if (!o.value.empty())
        text.append("=").append(o.value);
    if (text.size() < Column)
        text.append(Column - text.size(), ' ');
    else
        text.append("\n").append(Column, ' ');
    for (char c : o.help) {
        if (c == '\n')
            text.append("\n").append(Column, ' ');
        else
            text.push_back(c);
    }
    text.push_back('\n');
    return text;
}

// "[--threshold=N] [--interpolation=...] [--world-file]"
std::string optionSynopsis() {
    std::string words;
    for (const BatchOption& o : Options) {
        words.append(words.empty() ? "[" : " [").append(o.name);
        if (!o.value.empty())
            words.append("=").append(o.value);
        words.push_back(']');
    }
    return words;
}

} // namespace

std::span<const BatchOption> batchOptions() {
    return Options;
}

const BatchOption* findBatchOption(std::string_view param, std::string_view& value) {
    for (const BatchOption& o : Options) {
        if (param.substr(0, o.name.size()) != o.name)
            continue;
        const std::string_view rest = param.substr(o.name.size());
        if (o.value.empty() && rest.empty()) {
            value = {};
            return &o;
        }
        if (!o.value.empty() && !rest.empty() && rest.front() == '=') {
            value = rest.substr(1);
            return &o;
        }
    }
    return nullptr;
}

std::optional<int> parseThreshold(std::string_view value) {
    if (value.empty() || value.front() < '0' || value.front() > '9')
        return std::nullopt;
    int v = 0;
    const char* last = value.data() + value.size();
    const auto res = std::from_chars(value.data(), last, v);
    if (res.ec != std::errc() || res.ptr != last ||
        v < static_cast<int>(fields::Threshold.minimum) ||
        v > static_cast<int>(fields::Threshold.maximum))
        return std::nullopt;
    return v;
}

std::optional<rectify::Interpolation> parseInterpolation(std::string_view value) {
    if (value == "nearest")
        return rectify::Interpolation::Nearest;
    if (value == "bilinear")
        return rectify::Interpolation::Bilinear;
    if (value == "bicubic")
        return rectify::Interpolation::Bicubic;
    return std::nullopt;
}

std::optional<double> parseDecimal(const std::string& text, const QLocale& userLocale) {
    const QString s = fromUtf8(text).trimmed();
    QLocale user = userLocale;
    user.setNumberOptions(user.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    double v = user.toDouble(s, &ok);
    if (!ok) {
        QLocale c = QLocale::c();
        c.setNumberOptions(c.numberOptions() | QLocale::RejectGroupSeparator);
        v = c.toDouble(s, &ok);
    }
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> parseRounded(const std::string& text, const QLocale& userLocale) {
    const auto v = parseDecimal(text, userLocale);
    if (!v)
        return std::nullopt;
    const auto r = fp::roundHalfEven32(*v);
    if (!r)
        return std::nullopt;
    return static_cast<int>(*r);
}

bool isBatchOption(const std::string& param) {
    return param.size() >= 2 && param[0] == '-' && param[1] == '-';
}

std::size_t countBatchParameters(const std::vector<std::string>& params) {
    return static_cast<std::size_t>(std::count_if(
        params.begin(), params.end(), [](const std::string& p) { return !isBatchOption(p); }));
}

ParsedJob parseBatchCommandLine(const std::vector<std::string>& allParams,
                                const QLocale& userLocale) {
    RectifyJob job;
    std::vector<std::string> params;
    for (const std::string& p : allParams) {
        if (!isBatchOption(p)) {
            params.push_back(p);
            continue;
        }
        std::string_view value;
        const BatchOption* option = findBatchOption(p, value);
        if (option == nullptr)
            return {std::nullopt, failure(BatchExit::Usage, "unknown option '" + p + "'")};
        if (std::optional<JobOutcome> refused = option->take(value, job))
            return {std::nullopt, *refused};
    }
    if (params.size() < BatchMinParams)
        return {std::nullopt,
                failure(BatchExit::Usage, "the batch mode needs at least " +
                                              std::to_string(BatchMinParams) + " parameters, got " +
                                              std::to_string(params.size()))};

    // Every parameter is checked before the photograph is read, so a typing
    // error costs no run and never leaves a half-done result behind.
    auto notANumber = [&params](std::size_t n) {
        return ParsedJob{std::nullopt,
                         failure(BatchExit::NotANumber,
                                 parameterName(n) + " is not a number: '" + params[n - 1] + "'")};
    };
    job.photo = params[0];
    for (std::size_t k = 0; k < 8; ++k) {
        const std::size_t n = k + 2;
        const auto v = parseRounded(params[n - 1], userLocale);
        if (!v)
            return notANumber(n);
        auto& corner = job.corners[k / 2];
        (k % 2 == 0 ? corner.x : corner.y) = *v;
    }
    job.output = params[9];
    if (params.size() >= 12) {
        // Whole centimetres, though the fields would take fractions.
        for (std::size_t n : {std::size_t{11}, std::size_t{12}}) {
            const auto v = parseDecimal(params[n - 1], userLocale);
            const auto r = v ? fp::roundHalfEven(*v) : std::nullopt;
            if (!r)
                return notANumber(n);
            (n == 11 ? job.realWidthCm : job.realHeightCm) = static_cast<double>(*r);
        }
    }
    if (params.size() >= 13) {
        const auto area = parseRounded(params[12], userLocale);
        if (!area)
            return notANumber(13);
        job.areaPercent = *area;
    }
    return {job, {}};
}

std::string batchUsage() {
    std::string options;
    for (const BatchOption& o : Options)
        options += optionUsage(o);
    return "Usage:\n"
           "  fassadenplan [photograph]\n"
           "      start the window, optionally with a photograph as image 1\n"
           "  fassadenplan photograph x0 y0 x1 y1 x2 y2 x3 y3 output [width height [area]]\n"
           "               " +
           wrapped(optionSynopsis(), 65, 65, "\n               ") +
           "\n"
           "      rectify without a window (batch mode)\n"
           "  fassadenplan --export-po=LANG|--import-po=LANG FILE.po [--language-code=XX]\n"
           "      a dictionary column (de en fr nl ... or 0 ... 19) to or from a PO file\n"
           "  fassadenplan --help | --version\n"
           "\n"
           "Batch mode:\n"
           "  photograph      image file to rectify\n"
           "  x0 y0 ... x3 y3 the four corners of the rectangle in image pixels, y from the\n"
           "                  top row: top left, top right, bottom right, bottom left; decimal\n"
           "                  numbers, rounded to whole pixels (halves to even)\n"
           "  output          result file; its extension picks the format: " +
           wrapped(batchOutputTypeList(), 16, 48, "\n                  ") +
           " (JPEG quality\n"
           "                  from the quality dialog's stored setting, default 90), or\n"
           "                  .dxf for the line drawing of the rectified image\n"
           "  width height    real size of the rectangle in cm, rounded to whole cm; without\n"
           "                  them the width is found from the tilt, the height is 1000\n"
           "  area            calculation area in percent (1 ... 10000, default 100)\n" +
           options +
           "  Decimal numbers use the user's locale; a '.' is accepted as well.\n"
           "\n"
           "Exit codes:\n"
           "  0  the rectified image (or the DXF drawing) was written\n"
           "  1  fewer than 10 parameters (and no display for the window), or an\n"
           "     unknown option\n"
           "  2  a corner, size, area, threshold or lens k1 value is not a valid number\n"
           "  3  the photograph cannot be opened (also a folder, device or FIFO, or a\n"
           "     picture over 2^28 pixels)\n"
           "  4  the output extension is not one of the formats above\n"
           "  5  the rectification produced no image (e.g. coinciding corners, a real\n"
           "     size of 0 or less, a rectified image over 2^28 pixels)\n"
           "  6  the output file could not be written (also: not enough memory to\n"
           "     encode it)\n"
           "  7  not enough memory to trace the rectified image for a .dxf drawing\n"
           "No output file is written unless the exit code is 0.\n";
}

bool windowCanShow(const std::string& platform, const std::string& display,
                   const std::string& wayland) {
    if (platform.empty())
        return !display.empty() || !wayland.empty();
    std::size_t start = 0;
    while (start <= platform.size()) {
        auto end = platform.find(';', start);
        if (end == std::string::npos)
            end = platform.size();
        // "xcb:option=value": the name ends at the first colon.
        std::string name = platform.substr(start, end - start);
        name = name.substr(0, name.find(':'));
        const bool shows = name.rfind("xcb", 0) == 0 ? !display.empty()
                           : name.rfind("wayland", 0) == 0
                               ? !wayland.empty()
                               : name != "offscreen" && name != "minimal" && !name.empty();
        if (shows)
            return true;
        start = end + 1;
    }
    return false;
}

std::string noDisplayMessage(std::size_t count) {
    return "fassadenplan: there is no display for the window, and the batch mode needs at least " +
           std::to_string(BatchMinParams) + " parameters, got " + std::to_string(count) + "\n";
}

int runBatch(const std::vector<std::string>& params, const std::string& programPath,
             std::ostream& out, std::ostream& err) {
    ParsedJob parsed = parseBatchCommandLine(params, QLocale::system());
    if (!parsed.job) {
        err << "fassadenplan: " << parsed.failure.message << "\n";
        return static_cast<int>(parsed.failure.exit);
    }
    // Read only: the batch never shows the quality dialog, so it never saves it.
    parsed.job->jpegQuality = readJpegQuality(*openUserStore(storeNameOf(fromUtf8(programPath))));
    const JobOutcome outcome = runJob(*parsed.job);
    if (!outcome.lensNote.empty())
        err << "fassadenplan: " << outcome.lensNote << "\n";
    if (outcome.ok())
        out << outcome.message << "\n";
    else
        err << "fassadenplan: " << outcome.message << "\n";
    return static_cast<int>(outcome.exit);
}

int runBatch(const std::vector<std::string>& params, std::ostream& err) {
    std::string programPath;
    if (QCoreApplication::instance() != nullptr)
        programPath = QCoreApplication::applicationFilePath().toStdString();
    try {
        return runBatch(params, programPath, std::cout, err);
    } catch (const std::bad_alloc&) {
        err << "fassadenplan: not enough memory for this photograph and calculation area\n";
        return static_cast<int>(BatchExit::NoImage);
    }
}

} // namespace app
