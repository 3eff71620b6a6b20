// The command line of the batch mode: options from their table, parameters
// by position, the usage; the job itself is RectifyJob.cpp's.

#include "app/BatchMode.h"

#include "app/CommandLine.h"
#include "app/UserStore.h"
#include "foundation/Rounding.h"
#include "foundation/ThreadPool.h"

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

JobOutcome badValue(std::string_view name, std::string_view value, const std::string& what) {
    return failure(BatchExit::NotANumber, what + ": " + quoted(name, value));
}

// "... must be a whole number from 1 to 99"
std::string wholeRange(const char* what, const FieldLimits& field) {
    return std::string(what) + " must be a whole number from " +
           std::to_string(static_cast<int>(field.minimum)) + " to " +
           std::to_string(static_cast<int>(field.maximum));
}

constexpr FieldLimits PngLevel{"--png-level", 0, 9, pixkit::DefaultPngLevel, 1, 0};
constexpr FieldLimits Threads{"--threads", 1, fp::MaxThreads, 0, 1, 0};

// The options, in the order of the usage. A bad value ends the batch with
// exit 2 and a message naming the option.
constexpr std::array<BatchOption, 9> Options{{
    {"--threshold", "N",
     "black/white threshold of a .dxf drawing in percent\n"
     "(1 ... 99, default 50); options do not count as parameters",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         const auto t = parseThreshold(value);
         if (!t)
             return badValue("--threshold", value, wholeRange("the threshold", fields::Threshold));
         job.threshold = *t;
         return std::nullopt;
     }},
    {"--interpolation", "nearest|bilinear|bicubic",
     "how the photograph is sampled: the nearest pixel (default),\n"
     "or blended from 2 x 2 or 4 x 4 pixels",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         const auto s = parseInterpolation(value);
         if (!s)
             return badValue("--interpolation", value,
                             "the interpolation must be nearest, bilinear or bicubic");
         job.sampling = *s;
         return std::nullopt;
     }},
    {"--world-file", "",
     "also write the image's world file (.jgw, .pgw, .tfw ...) in\n"
     "the units and origin of the DXF drawing",
     [](std::string_view, RectifyJob& job) -> std::optional<JobOutcome> {
         job.worldFile = true;
         return std::nullopt;
     }},
    {"--dxf-format", "plain|cad",
     "a .dxf drawing as plain closed polylines (default), or as the\n"
     "CAD drawing with its unit, layers and the photograph beside it",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         const auto f = lines::ParseDxfFormat(value);
         if (!f)
             return badValue("--dxf-format", value, "the DXF format must be plain or cad");
         job.dxfFormat = *f;
         return std::nullopt;
     }},
    {"--units", "auto|mm|cm|m",
     "unit of the .dxf drawing and the world file; auto (default):\n"
     "1, 10, 100 ... cm, so the real width is at most 100 units",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         const auto u = lines::ParseDrawingUnit(value);
         if (!u)
             return badValue("--units", value, "the units must be auto, mm, cm or m");
         job.unit = *u;
         return std::nullopt;
     }},
    {"--min-size", "N",
     "leave outlines smaller than N pixels across and down out of\n"
     "a .dxf drawing (0 ... 100000, default 0: none left out)",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         const auto n = parseWhole(value, fields::MinSize);
         if (!n)
             return badValue("--min-size", value, wholeRange("the minimum size", fields::MinSize));
         job.minSizePx = *n;
         return std::nullopt;
     }},
    {"--quality", "N",
     "quality of JPEG and WebP output (1 ... 100); default: JPEG the\n"
     "stored setting, WebP lossless (as with 100)",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         const auto q = parseWhole(value, fields::JpegQuality);
         if (!q)
             return badValue("--quality", value, wholeRange("the quality", fields::JpegQuality));
         job.jpegQuality = *q;
         job.webpQuality = *q;
         job.qualityGiven = true;
         return std::nullopt;
     }},
    {"--png-level", "N",
     "compression of PNG output, 0 (fastest) ... 9 (smallest),\n"
     "default 1",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         const auto n = parseWhole(value, PngLevel);
         if (!n)
             return badValue("--png-level", value, wholeRange("the PNG level", PngLevel));
         job.pngLevel = *n;
         return std::nullopt;
     }},
    {"--threads", "N",
     "threads of the computation, 1 ... 256 (default: the machine's\n"
     "cores, or FASSADENPLAN_THREADS)",
     [](std::string_view value, RectifyJob& job) -> std::optional<JobOutcome> {
         const auto n = parseWhole(value, Threads);
         if (!n)
             return badValue("--threads", value, wholeRange("the number of threads", Threads));
         job.threads = *n;
         return std::nullopt;
     }},
}};

const BatchOption* optionNamed(std::string_view name) {
    for (const BatchOption& o : Options)
        if (o.name == name)
            return &o;
    return nullptr;
}

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

std::optional<int> parseWhole(std::string_view value, const FieldLimits& field) {
    if (value.empty() || value.front() < '0' || value.front() > '9')
        return std::nullopt;
    int v = 0;
    const char* last = value.data() + value.size();
    const auto res = std::from_chars(value.data(), last, v);
    if (res.ec != std::errc() || res.ptr != last || v < static_cast<int>(field.minimum) ||
        v > static_cast<int>(field.maximum))
        return std::nullopt;
    return v;
}

std::optional<int> parseThreshold(std::string_view value) {
    return parseWhole(value, fields::Threshold);
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
    return splitCommandLine(params).parameters.size();
}

ParsedJob parseBatchCommandLine(const std::vector<std::string>& allParams,
                                const QLocale& userLocale, RectifyJob job) {
    const CommandLine line = splitCommandLine(allParams);
    for (const CommandOption& o : line.options) {
        const BatchOption* option = optionNamed(o.name);
        if (option == nullptr)
            return {std::nullopt, failure(BatchExit::Usage, "unknown option '" + o.given + "'")};
        if (option->value.empty() && o.value)
            return {std::nullopt,
                    failure(BatchExit::NotANumber,
                            "the option " + o.name + " takes no value: '" + o.given + "'")};
        if (!option->value.empty() && !o.value)
            return {std::nullopt, failure(BatchExit::NotANumber,
                                          "the option " + o.name + " needs a value: " + o.name +
                                              "=" + std::string(option->value))};
        if (std::optional<JobOutcome> refused = option->take(o.value.value_or(""), job))
            return {std::nullopt, *refused};
    }
    const std::vector<std::string>& params = line.parameters;
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
        if (*area < static_cast<int>(fields::Area.minimum) ||
            *area > static_cast<int>(fields::Area.maximum))
            return {std::nullopt,
                    failure(BatchExit::NotANumber,
                            parameterName(13) + " must be from " +
                                std::to_string(static_cast<int>(fields::Area.minimum)) + " to " +
                                std::to_string(static_cast<int>(fields::Area.maximum)) + ": '" +
                                params[12] + "'")};
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
           "  fassadenplan -h|--help | -V|--version\n"
           "\n"
           "Batch mode:\n"
           "  photograph      image file to rectify\n"
           "  x0 y0 ... x3 y3 the four corners of the rectangle in image pixels, y from the\n"
           "                  top row: top left, top right, bottom right, bottom left; decimal\n"
           "                  numbers, rounded to whole pixels (halves to even)\n"
           "  output          result file; its extension picks the format: " +
           wrapped(batchOutputTypeList(), 16, 48, "\n                  ") +
           " (JPEG quality\n"
           "                  from the quality dialog's stored setting, default 90, or\n"
           "                  --quality), or .dxf for the line drawing of the rectified\n"
           "                  image\n"
           "  width height    real size of the rectangle in cm, rounded to whole cm; without\n"
           "                  them the width is found from the tilt, the height is 1000\n"
           "  area            calculation area in percent (1 ... 10000, default 100)\n" +
           options +
           "  Decimal numbers use the user's locale; a '.' is accepted as well. An option\n"
           "  with a value may also be given as two words (--threshold 40); '--' ends the\n"
           "  options, every word after it is a parameter.\n"
           "\n"
           "Exit codes:\n"
           "  0  the rectified image (or the DXF drawing) was written\n"
           "  1  fewer than 10 parameters (and no display for the window), or an\n"
           "     unknown option\n"
           "  2  a corner, size or area is not a valid number (the area 1 ... 10000),\n"
           "     or an option's value is not valid\n"
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
    if (!parsed.job->qualityGiven)
        parsed.job->jpegQuality =
            readJpegQuality(*openUserStore(storeNameOf(fromUtf8(programPath))));
    if (parsed.job->threads > 0)
        fp::setThreadCount(parsed.job->threads);
    const JobOutcome outcome = runJob(*parsed.job);
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
