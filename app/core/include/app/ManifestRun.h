#pragma once
// The batch over a manifest: `fassadenplan --batch MANIFEST.csv [--jobs=N]
// [--report=FILE.csv] [--force] [--rows=FROM:TO] [options for every row]`.
// Rows run on several workers at once, each holding one photograph at a
// time; a failing row is reported and the others go on; a row whose output
// is newer than its photograph and the manifest is skipped (resumable).
//
// Error policy: the manifest run prints progress and failures on the error
// stream and returns an exit code: 0 every row succeeded (or was skipped), 8
// at least one failed, 2 the manifest cannot be read or parsed, 1 usage.

#include "app/Manifest.h"

#include <iosfwd>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace app {

// Exit codes of a manifest run besides 0, 1 and 2 of the single run.
inline constexpr int ManifestRowsFailed = 8;
inline constexpr int ManifestUnreadable = 2;

// True when the command line holds "--batch" (a manifest run).
bool isManifestCommand(const std::vector<std::string>& params);

struct ManifestCommand {
    std::string manifest;
    int jobs = 0; // 0: the machine's cores
    std::string report;
    bool force = false;
    int fromRow = 1; // rows counted from 1 below the header, both ends included
    int toRow = std::numeric_limits<int>::max();
    std::vector<std::string> rowOptions; // options of the single run, for every row
};

struct ParsedManifestCommand {
    std::optional<ManifestCommand> command;
    std::string error; // when there is none
};
ParsedManifestCommand parseManifestCommand(const std::vector<std::string>& params);

// "FROM:TO", "FROM:" or ":TO" (rows from 1); false when it is none.
bool parseRowRange(std::string_view text, int& fromRow, int& toRow);

enum class RowStatus { Written, Failed, Skipped };

struct RowReport {
    int line = 0;
    std::string photo; // the cells as the manifest has them
    std::string output;
    RowStatus status = RowStatus::Failed;
    int exitCode = 0;
    JobOutcome outcome;
    double milliseconds = 0.0;
};

// The report file's text: a header and one record per row.
std::string reportCsv(const std::vector<RowReport>& rows);

// Runs the manifest command. `terminal`: the error stream is a terminal
// (one updating progress line instead of one line per row). `jpegQuality`
// is the stored quality of JPEG output.
int runManifest(const ManifestCommand& command, int jpegQuality, std::ostream& err, bool terminal);

// The whole program's side: parses the parameters, reads the stored JPEG
// quality of `programPath`'s store and runs; problems go to `err`.
int runManifestProgram(const std::vector<std::string>& params, const std::string& programPath,
                       std::ostream& err);

// The usage of the manifest run, for --help.
std::string manifestUsage();

} // namespace app
