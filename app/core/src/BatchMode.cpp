#include "app/BatchMode.h"

#include "app/RectifiedOutput.h"
#include "foundation/Rounding.h"
#include "pixkit/ImageFile.h"
#include "pixkit/ImageFormats.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iostream>
#include <new>
#include <ostream>

namespace app {

namespace {

// The output types of the batch (from the format table), as the usage text
// and the messages list them: ".bmp .dib ... .jp2".
std::string batchTypeList() {
    std::string list;
    for (const std::string& ext : pixkit::batchOutputExtensions())
        list += (list.empty() ? "" : " ") + ext;
    return list;
}

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

constexpr int DefaultJpegQuality = 90;

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string asciiLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    });
    return s;
}

// What parameter n (1-based) stands for, for messages.
std::string parameterName(std::size_t n) {
    static const char* const names[] = {
        "photograph", "corner 0 x",  "corner 0 y",      "corner 1 x", "corner 1 y",
        "corner 2 x", "corner 2 y",  "corner 3 x",      "corner 3 y", "output file",
        "real width", "real height", "calculation area"};
    return "parameter " + std::to_string(n) + " (" + names[n - 1] + ")";
}

// The reason a run left no image, for the message.
std::string whyNoImage(rectify::RunEnd end, const BatchFields& fields) {
    switch (end) {
    case rectify::RunEnd::EmptyImage:
        return "the rectified image would have no pixel (the calculation area is too small)";
    case rectify::RunEnd::TooLarge:
        return "the rectified image would have " + std::to_string(fields.refusedWidth()) +
               " \u00d7 " + std::to_string(fields.refusedHeight()) +
               " pixels, more than the limit of 268 million";
    case rectify::RunEnd::CornersCoincide:
        return "two of the four corners are the same point";
    case rectify::RunEnd::NoTargetSize:
        return "the corners span no area (all on one pixel row or column)";
    case rectify::RunEnd::Fault:
        return "the corners and the real size give no valid pose or size "
               "(a real width or height of 0, or corners that no tilted rectangle fits)";
    case rectify::RunEnd::NoImage:
        return "not enough memory to create the rectified image (check the calculation area)";
    case rectify::RunEnd::Held:
    case rectify::RunEnd::NoCorners:
    case rectify::RunEnd::WidthPreset:
    case rectify::RunEnd::PoseOnly:
    case rectify::RunEnd::Done:
        break;
    }
    return "the run ended without an image";
}

int exitCode(BatchExit e) {
    return static_cast<int>(e);
}

std::string programNameOf(const std::string& programPath) {
    const QString name = QFileInfo(fromUtf8(programPath)).completeBaseName();
    return name.isEmpty() ? std::string("fassadenplan") : name.toStdString();
}

// The window's repaints and message boxes have no place in the batch; a
// failure is reported by the caller.
class BatchLineEvents : public lines::LineEvents {};

// The DXF export of rectified image 1 with the real width the run used.
int writeDrawing(BatchWorkspace& ws, int threshold, const std::string& photo,
                 const std::string& outputFile, std::ostream& out, std::ostream& err) {
    const int rectifiedW = pixkit::dibwidth(ws.di2);
    const int rectifiedH = pixkit::dibheight(ws.di2);
    BatchLineEvents events;
    if (ws.TraceDi2(threshold, events) != lines::ExportEnd::Traced) {
        err << "fassadenplan: not enough memory to trace the rectified image of '" << photo << "' ("
            << rectifiedW << " x " << rectifiedH << " pixels)\n";
        return exitCode(BatchExit::TraceFailed);
    }
    lines::DxfEnd written = lines::DxfEnd::WriteFailed;
    try {
        written = ws.SaveAsDXF(outputFile);
    } catch (const std::bad_alloc&) {
        err << "fassadenplan: cannot write '" << outputFile
            << "': not enough memory to make the drawing\n";
        return exitCode(BatchExit::WriteFailed);
    }
    if (written != lines::DxfEnd::Written) {
        err << "fassadenplan: cannot write '" << outputFile << "': "
            << (written == lines::DxfEnd::CannotCreate ? "no file can be created in its folder"
                                                       : "writing the drawing failed")
            << "\n";
        return exitCode(BatchExit::WriteFailed);
    }
    ws.terminateit = true;
    out << "DXF drawing written to " << outputFile << " (" << ws.lines.count()
        << " segments, threshold " << threshold << " %, traced at " << pixkit::dibwidth(ws.di2)
        << " x " << pixkit::dibheight(ws.di2) << " pixels)\n";
    return exitCode(BatchExit::Written);
}

} // namespace

void BatchFields::setRealWidthCm(double v) {
    // The width field holds two decimals; the next run reads what it holds.
    const double held = std::nearbyint(v * 100.0) / 100.0;
    m_realWidthCm = std::isfinite(held) ? held : v;
}

void BatchFields::repaintResult(int slot) {
    if (slot == 1)
        ++m_repaints1;
    else
        ++m_repaints2;
}

void BatchFields::setAreaPercent(int v) {
    // The calculation-area field keeps its value within its limits.
    m_areaPercent = std::clamp(v, AreaPercentMin, AreaPercentMax);
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

std::optional<int> parseThreshold(const std::string& option) {
    static const std::string key = "--threshold=";
    if (option.rfind(key, 0) != 0)
        return std::nullopt;
    const char* first = option.data() + key.size();
    const char* last = option.data() + option.size();
    if (first == last || *first < '0' || *first > '9')
        return std::nullopt;
    int v = 0;
    const auto res = std::from_chars(first, last, v);
    if (res.ec != std::errc() || res.ptr != last || v < ThresholdMin || v > ThresholdMax)
        return std::nullopt;
    return v;
}

std::optional<rectify::Interpolation> parseInterpolation(const std::string& option) {
    static const std::string key = "--interpolation=";
    if (option.rfind(key, 0) != 0)
        return std::nullopt;
    const std::string value = option.substr(key.size());
    if (value == "nearest")
        return rectify::Interpolation::Nearest;
    if (value == "bilinear")
        return rectify::Interpolation::Bilinear;
    if (value == "bicubic")
        return rectify::Interpolation::Bicubic;
    return std::nullopt;
}

bool isDxfOutput(const std::string& outputFile) {
    return outputFile.size() >= 4 && asciiLower(outputFile.substr(outputFile.size() - 4)) == ".dxf";
}

bool isBatchOutputType(const std::string& outputFile) {
    const auto dot = outputFile.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    const std::string ext = asciiLower(outputFile.substr(dot));
    const std::vector<std::string> types = pixkit::batchOutputExtensions();
    return std::find(types.begin(), types.end(), ext) != types.end();
}

int storedJpegQuality(const std::string& programName) {
    // Read only: the batch never shows the dialog, so it never saves it.
    const QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Velkor"),
                          fromUtf8(programName));
    // Values stored under another store version are not the dialog's.
    const QVariant version = store.value(QStringLiteral("TJPEGQualForm/FormVersion"));
    if (version.isValid() && version.toString() != QStringLiteral("0"))
        return DefaultJpegQuality;
    bool ok = false;
    const int q =
        store.value(QStringLiteral("TJPEGQualForm/QualEd_Value"), DefaultJpegQuality).toInt(&ok);
    if (!ok)
        return DefaultJpegQuality;
    return std::clamp(q, 1, 100);
}

std::string batchUsage() {
    return "Usage:\n"
           "  fassadenplan [photograph]\n"
           "      start the window, optionally with a photograph as image 1\n"
           "  fassadenplan photograph x0 y0 x1 y1 x2 y2 x3 y3 output [width height [area]]\n"
           "               [--threshold=N] [--interpolation=nearest|bilinear|bicubic]\n"
           "               [--world-file]\n"
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
           wrapped(batchTypeList(), 16, 48, "\n                  ") +
           " (JPEG quality\n"
           "                  from the quality dialog's stored setting, default 90), or\n"
           "                  .dxf for the line drawing of the rectified image\n"
           "  width height    real size of the rectangle in cm, rounded to whole cm; without\n"
           "                  them the width is found from the tilt, the height is 1000\n"
           "  area            calculation area in percent (1 ... 10000, default 100)\n"
           "  --threshold=N   black/white threshold of a .dxf drawing in percent\n"
           "                  (1 ... 99, default 50); options do not count as parameters\n"
           "  --interpolation=nearest|bilinear|bicubic\n"
           "                  how the photograph is sampled: the nearest pixel (default),\n"
           "                  or blended from 2 x 2 or 4 x 4 pixels\n"
           "  --world-file    also write the image's world file (.jgw, .pgw, .tfw ...) in\n"
           "                  the units and origin of the DXF drawing\n"
           "  Decimal numbers use the user's locale; a '.' is accepted as well.\n"
           "\n"
           "Exit codes:\n"
           "  0  the rectified image (or the DXF drawing) was written\n"
           "  1  fewer than 10 parameters (and no display for the window), or an\n"
           "     unknown option\n"
           "  2  a corner, size, area or threshold value is not a valid number\n"
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

int runBatch(const std::vector<std::string>& allParams, const std::string& programPath,
             std::ostream& out, std::ostream& err) {
    std::vector<std::string> params;
    int threshold = DefaultThreshold;
    rectify::Interpolation sampling = rectify::Interpolation::Nearest;
    bool worldFile = false;
    for (const std::string& p : allParams) {
        if (!isBatchOption(p)) {
            params.push_back(p);
            continue;
        }
        if (p.rfind("--interpolation=", 0) == 0) {
            const auto s = parseInterpolation(p);
            if (!s) {
                err << "fassadenplan: the interpolation must be nearest, bilinear or bicubic: '"
                    << p << "'\n";
                return exitCode(BatchExit::Usage);
            }
            sampling = *s;
            continue;
        }
        if (p == "--world-file") {
            worldFile = true;
            continue;
        }
        if (p.rfind("--threshold=", 0) == 0) {
            const auto t = parseThreshold(p);
            if (!t) {
                err << "fassadenplan: the threshold must be a whole number from " << ThresholdMin
                    << " to " << ThresholdMax << ": '" << p << "'\n";
                return exitCode(BatchExit::NotANumber);
            }
            threshold = *t;
            continue;
        }
        err << "fassadenplan: unknown option '" << p << "'\n";
        return exitCode(BatchExit::Usage);
    }
    if (params.size() < BatchMinParams) {
        err << "fassadenplan: the batch mode needs at least " << BatchMinParams
            << " parameters, got " << params.size() << "\n";
        return exitCode(BatchExit::Usage);
    }

    // Every parameter is checked before the photograph is read, so a typing
    // error costs no run and never leaves a half-done result behind.
    const QLocale userLocale = QLocale::system();
    rectify::Corners corners{};
    for (std::size_t k = 0; k < 8; ++k) {
        const std::size_t n = k + 2;
        const auto v = parseRounded(params[n - 1], userLocale);
        if (!v) {
            err << "fassadenplan: " << parameterName(n) << " is not a number: '" << params[n - 1]
                << "'\n";
            return exitCode(BatchExit::NotANumber);
        }
        auto& corner = corners[k / 2];
        (k % 2 == 0 ? corner.x : corner.y) = *v;
    }
    std::optional<double> realWidthCm;
    std::optional<double> realHeightCm;
    std::optional<int> areaPercent;
    if (params.size() >= 12) {
        // Whole centimetres, though the fields would take fractions.
        for (std::size_t n : {std::size_t{11}, std::size_t{12}}) {
            const auto v = parseDecimal(params[n - 1], userLocale);
            const auto r = v ? fp::roundHalfEven(*v) : std::nullopt;
            if (!r) {
                err << "fassadenplan: " << parameterName(n) << " is not a number: '"
                    << params[n - 1] << "'\n";
                return exitCode(BatchExit::NotANumber);
            }
            (n == 11 ? realWidthCm : realHeightCm) = static_cast<double>(*r);
        }
    }
    if (params.size() >= 13) {
        areaPercent = parseRounded(params[12], userLocale);
        if (!areaPercent) {
            err << "fassadenplan: " << parameterName(13) << " is not a number: '" << params[12]
                << "'\n";
            return exitCode(BatchExit::NotANumber);
        }
    }
    // No rectangle has a side of 0 or less: such a size ends like a run
    // that makes no image, before the photograph is read.
    if (realWidthCm && (*realWidthCm <= 0.0 || *realHeightCm <= 0.0)) {
        err << "fassadenplan: no rectified image for '" << params[0]
            << "': real width and height must be positive\n";
        return exitCode(BatchExit::NoImage);
    }
    const std::string& outputFile = params[9];
    const bool dxf = isDxfOutput(outputFile);
    if (!dxf && (!isBatchOutputType(outputFile) || !pixkit::CanWriteExtension(outputFile))) {
        err << "fassadenplan: " << parameterName(10) << " '" << outputFile
            << "' has no known image extension (" << batchTypeList()
            << ") and is no DXF drawing (.dxf)\n";
        return exitCode(BatchExit::BadOutputType);
    }

    BatchWorkspace ws;
    ws.createWorkspace(programPath);

    if (!ws.TryToOpenFile(params[0])) {
        err << "fassadenplan: cannot open the photograph '" << params[0] << "'\n";
        return exitCode(BatchExit::PhotoUnreadable);
    }
    ws.PaintBox1Paint();

    // Without a real size the first run presets the width.
    ws.completeQuad(1, corners, !realWidthCm);
    if (realWidthCm) {
        ws.fields().setRealWidthCm(*realWidthCm);
        ws.fields().setRealHeightCm(*realHeightCm);
    }
    if (areaPercent)
        ws.fields().setAreaPercent(*areaPercent);
    ws.fields().setInterpolation(sampling);

    // Twice each, as the window would: with a width to preset, the first run
    // only presets it and the second makes the image. Without a preset or
    // typed angles pending, the second run of image 1 reads the same corners,
    // photograph, fields and flags as the first (the first writes only the
    // angles, which a search does not read) and makes the same image, which
    // replaces the first one unseen: the first run then stops before its
    // resampling.
    const bool sameInputsTwice = !ws.breitetoset && !ws.setwink;
    ws.RenderDi2(sameInputsTwice ? rectify::RunScope::PoseOnly : rectify::RunScope::Full);
    // The batch has no use for a first result: released before the second
    // run makes its image, so two large images are never held at once.
    pixkit::releasedib(ws.di2);
    const rectify::RunEnd last = ws.RenderDi2();
    ws.renderdi4();
    ws.renderdi4();
    if (last != rectify::RunEnd::Done || ws.di2.poi == nullptr) {
        err << "fassadenplan: no rectified image for '" << params[0]
            << "': " << whyNoImage(last, ws.fields()) << "\n";
        return exitCode(BatchExit::NoImage);
    }

    if (dxf)
        return writeDrawing(ws, threshold, params[0], outputFile, out, err);

    const int quality = storedJpegQuality(programNameOf(programPath));
    const RectifiedWrite written =
        WriteRectified(ws.di2, outputFile, quality, ws.fields().realWidthCm(),
                       ws.fields().areaPercent(), worldFile);
    if (!written.ok) {
        err << "fassadenplan: cannot write '" << written.file << "': " << written.error << "\n";
        return exitCode(BatchExit::WriteFailed);
    }
    ws.terminateit = true;
    out << "Rectified image written to " << outputFile << " (" << pixkit::dibwidth(ws.di2) << " x "
        << pixkit::dibheight(ws.di2) << " pixels)\n";
    return exitCode(BatchExit::Written);
}

int runBatch(const std::vector<std::string>& params, std::ostream& err) {
    std::string programPath;
    if (QCoreApplication::instance() != nullptr)
        programPath = QCoreApplication::applicationFilePath().toStdString();
    // Memory that could not be had anywhere else (reading, rectifying) ends
    // the batch with a message, never with an abort.
    try {
        return runBatch(params, programPath, std::cout, err);
    } catch (const std::bad_alloc&) {
        err << "fassadenplan: not enough memory for this photograph and calculation area\n";
        return exitCode(BatchExit::NoImage);
    }
}

} // namespace app
