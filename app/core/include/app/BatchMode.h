#pragma once
// The command-line batch mode: open a photograph, take its four corners, the
// real size and the calculation area from the parameters, rectify without any
// window and write the result to a file.
//
// Error policy: every problem with the parameters, the photograph, the run or
// the output file ends the batch with a message on the error stream, a
// non-zero exit code and no output file. Nothing persistent is written apart
// from the output file: neither options.dat nor the per-user store.

#include "app/Workspace.h"

#include <QLocale>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace app {

// Fewest parameters that make a batch run (photograph, 8 corner values, output).
inline constexpr std::size_t BatchMinParams = 10;

// Exit codes of the batch mode.
enum class BatchExit : int {
    Written = 0,         // the rectified image was written
    Usage = 1,           // fewer than 10 parameters
    NotANumber = 2,      // a corner, size or area parameter is not a number
    PhotoUnreadable = 3, // the photograph cannot be opened
    BadOutputType = 4,   // the output extension names no format the batch writes
    NoImage = 5,         // the rectification produced no image
    WriteFailed = 6,     // the output file could not be written
    TraceFailed = 7,     // no memory to trace the rectified image for a DXF drawing
};

// Threshold of the black/white separation of a DXF export (Schwelled's start
// value) and its limits, in percent.
inline constexpr int DefaultThreshold = 50;
inline constexpr int ThresholdMin = 1;
inline constexpr int ThresholdMax = 99;

// True for an option ("--..."): options do not count as parameters.
bool isBatchOption(const std::string& param);

// The number of parameters that are not options.
std::size_t countBatchParameters(const std::vector<std::string>& params);

// The value of "--threshold=N": a whole number from 1 to 99; empty otherwise.
std::optional<int> parseThreshold(const std::string& option);

// The value of "--interpolation=nearest|bilinear|bicubic"; empty otherwise.
std::optional<rectify::Interpolation> parseInterpolation(const std::string& option);

// True when `outputFile` ends in ".dxf" (letters in any case): the batch then
// writes the line drawing of the rectified image instead of the image.
bool isDxfOutput(const std::string& outputFile);

// The numeric fields of the window as plain values, for a run without one.
// A write stores the value; in the window it would also restart the
// recomputation timer, which never fires in the batch.
class BatchFields : public rectify::RunFields {
public:
    bool holdChecked() override { return m_hold; }
    double realWidthCm() override { return m_realWidthCm; }
    double realHeightCm() override { return m_realHeightCm; }
    int targetPercent() override { return m_targetPercent; }
    int areaPercent() override { return m_areaPercent; }
    double angleXDeg() override { return m_angleXDeg; }
    double angleYDeg() override { return m_angleYDeg; }
    void setAngleXDeg(double v) override { m_angleXDeg = v; }
    void setAngleYDeg(double v) override { m_angleYDeg = v; }
    void setRealWidthCm(double v) override;
    void repaintResult(int slot) override;
    void resultRefused(std::int64_t width, std::int64_t height) override {
        m_refusedWidth = width;
        m_refusedHeight = height;
    }

    // Size of the last result image refused as too large (0 x 0: none).
    std::int64_t refusedWidth() const { return m_refusedWidth; }
    std::int64_t refusedHeight() const { return m_refusedHeight; }
    rectify::Interpolation interpolation() override { return m_interpolation; }
    void setInterpolation(rectify::Interpolation v) { m_interpolation = v; }

    void setRealHeightCm(double v) { m_realHeightCm = v; }
    void setAreaPercent(int v);

    int repaints(int slot) const { return slot == 1 ? m_repaints1 : m_repaints2; }

private:
    bool m_hold = false;            // NowDoNotRenderCheck
    double m_realWidthCm = 1000.0;  // BreiteED
    double m_realHeightCm = 1000.0; // HoeheEd
    int m_targetPercent = 100;      // zieledValue
    int m_areaPercent = 100;        // RechenbereichEd
    double m_angleXDeg = 0.0;       // RxSpinEdit1
    double m_angleYDeg = 0.0;       // RxSpinEdit2
    rectify::Interpolation m_interpolation = rectify::Interpolation::Nearest;
    int m_repaints1 = 0;
    int m_repaints2 = 0;
    std::int64_t m_refusedWidth = 0;
    std::int64_t m_refusedHeight = 0;
};

// The workspace of a batch run: no window, the fields are plain values.
class BatchWorkspace : public Workspace {
public:
    rectify::RunFields& runFields() override { return m_fields; }
    BatchFields& fields() { return m_fields; }

private:
    BatchFields m_fields;
};

// Smallest and largest calculation area the field accepts, in percent.
inline constexpr int AreaPercentMin = 1;
inline constexpr int AreaPercentMax = 10000;

// A decimal number as the user types it: in `userLocale` first, then with
// the C locale's "." when the user's locale rejects it. Group separators are
// not accepted. Empty when it is no finite number.
std::optional<double> parseDecimal(const std::string& text, const QLocale& userLocale);

// parseDecimal rounded to an integer, halves to even (10.5 -> 10, 11.5 -> 12).
// Empty when it is no number or does not fit 32 bits.
std::optional<int> parseRounded(const std::string& text, const QLocale& userLocale);

// True when the extension of `outputFile` (from its last "." on, letters
// compared without case) is one of the formats the batch writes.
bool isBatchOutputType(const std::string& outputFile);

// JPEG quality of the JPEG quality dialog, read (never written) from the
// per-user store of the program named `programName` (the program file name
// without extension). 90 when none is stored, clamped to 1 ... 100.
int storedJpegQuality(const std::string& programName);

// Runs the batch on the parameters after the program name (ParamStr(1) ...);
// options ("--threshold=N") may stand anywhere among them.
// `programPath` is the program file (folder and store name come from it).
// Progress goes to `out`, problems to `err`. Returns a BatchExit as int.
int runBatch(const std::vector<std::string>& params, const std::string& programPath,
             std::ostream& out, std::ostream& err);

// Same, for the running program: its file path, standard output.
int runBatch(const std::vector<std::string>& params, std::ostream& err);

// Usage text of the command line, exit codes included.
std::string batchUsage();

// True when a window can be shown: `platform` is QT_QPA_PLATFORM (a list
// separated by ";", empty when not set), `display` and `wayland` are DISPLAY
// and WAYLAND_DISPLAY. The X11 and Wayland platforms need their display;
// "offscreen" and "minimal" show nothing a user could work with.
bool windowCanShow(const std::string& platform, const std::string& display,
                   const std::string& wayland);

// What the program says, before the usage, when it has neither a display for
// the window nor the parameters of the batch (`count` parameters given).
std::string noDisplayMessage(std::size_t count);

} // namespace app
