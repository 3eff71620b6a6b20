#pragma once
// The command-line batch mode: the parameters become a RectifyJob (see
// RectifyJob.h), which runJob carries out without any window.
//
// Error policy: every problem with the parameters, the photograph, the run or
// the output file ends the batch with a message on the error stream, a
// non-zero exit code and no output file. Nothing persistent is written apart
// from the output file: neither options.dat nor the per-user store.

#include "app/RectifyJob.h"

#include <QLocale>

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// Fewest parameters that make a batch run (photograph, 8 corner values, output).
inline constexpr std::size_t BatchMinParams = 10;

// True for a word that starts like an option ("--...").
bool isBatchOption(const std::string& param);

// The number of parameters that are not options (as splitCommandLine
// splits them: "--threshold 5" is one option, every word after "--" a
// parameter).
std::size_t countBatchParameters(const std::vector<std::string>& params);

// One option of the command line: "--name" for a switch, "--name=VALUE" for
// an option with a value. A new option is one new row of batchOptions().
struct BatchOption {
    std::string_view name;  // "--threshold"
    std::string_view value; // the value in the usage ("N"); empty for a switch
    std::string_view help;  // the usage's text, lines separated by '\n'
    // Takes the value (empty for a switch) into the job; the failure when it
    // is not acceptable.
    std::optional<JobOutcome> (*take)(std::string_view value, RectifyJob& job);
};
std::span<const BatchOption> batchOptions();

// The row of `param` ("--threshold=5" or "--world-file"), and in `value` what
// follows its "="; nullptr when it is no option of the table.
const BatchOption* findBatchOption(std::string_view param, std::string_view& value);

// A whole number within the limits of `field`, written as plain digits
// (no sign, no blanks); empty otherwise.
std::optional<int> parseWhole(std::string_view value, const FieldLimits& field);

// The value of "--threshold=N": a whole number from 1 to 99; empty otherwise.
std::optional<int> parseThreshold(std::string_view value);

// The value of "--interpolation=nearest|bilinear|bicubic"; empty otherwise.
std::optional<rectify::Interpolation> parseInterpolation(std::string_view value);

// A decimal number as the user types it: in `userLocale` first, then with
// the C locale's "." when the user's locale rejects it. Group separators are
// not accepted. Empty when it is no finite number.
std::optional<double> parseDecimal(const std::string& text, const QLocale& userLocale);

// parseDecimal rounded to an integer, halves to even (10.5 -> 10, 11.5 -> 12).
// Empty when it is no number or does not fit 32 bits.
std::optional<int> parseRounded(const std::string& text, const QLocale& userLocale);

// The job of the parameters after the program name; options ("--threshold=N",
// "--threshold N") may stand anywhere among them, parameters after the 13th
// are ignored. The options change `start`; without --quality its JPEG
// quality stays as given. Either the job or the failure: an unknown option
// is exit 1, a bad value of an option, a corner, the size or the area exit 2.
struct ParsedJob {
    std::optional<RectifyJob> job;
    JobOutcome failure; // when there is no job
};
ParsedJob parseBatchCommandLine(const std::vector<std::string>& params, const QLocale& userLocale,
                                RectifyJob start = {});

// Runs the batch on the parameters after the program name. `programPath` is
// the program file (the store of the JPEG quality is named after it).
// The result goes to `out`, problems to `err`. Returns a BatchExit as int.
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
