#pragma once
// A manifest: many photographs to rectify, one CSV row each (RFC 4180:
// a header row naming the columns, quoted cells with commas, quotes and line
// breaks, CRLF or LF, UTF-8), and what turns a row into a RectifyJob.
//
// Error policy: a manifest that cannot be parsed is refused as a whole with
// the line of the fault; a row whose values are wrong becomes a failure of
// that row alone, with the exit code a single batch run would give.

#include "app/RectifyJob.h"

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// --- CSV ---------------------------------------------------------------

struct CsvRecord {
    int line = 0; // the line the record starts on, from 1
    std::vector<std::string> cells;
};

struct CsvParse {
    std::vector<CsvRecord> records; // blank lines give no record
    bool ok = true;
    int errorLine = 0; // where the fault is
    std::string error; // what it is (English)
    bool tooManyRecords = false;
};

// Parses CSV text: cells separated by ",", records by CRLF, LF or CR; a cell
// that starts with '"' is quoted ("" stands for one quote, and commas and
// line breaks are part of it); blanks around an unquoted cell are dropped.
// A UTF-8 byte order mark at the start is skipped. More than `maxRecords`
// records refuse the text at the line of the first one too many.
CsvParse parseCsv(std::string_view text,
                  std::size_t maxRecords = std::numeric_limits<std::size_t>::max());

// One cell as CSV writes it: quoted when it holds a comma, a quote, a line
// break or blanks at either end, or starts with a UTF-8 byte order mark.
std::string csvCell(std::string_view cell);
// A record: the cells joined by "," and ended by CRLF.
std::string csvRecord(const std::vector<std::string>& cells);

// --- the manifest ---------------------------------------------------------

// The columns, in the order the usage names them.
enum class ManifestColumn {
    Photo,
    X0,
    Y0,
    X1,
    Y1,
    X2,
    Y2,
    X3,
    Y3,
    Output,
    Width,
    Height,
    Area,
    Interpolation,
    Threshold,
    Lens // "off", "auto" or "poly3:K1", as --lens
};
inline constexpr std::size_t ManifestColumns = 16;
// "photo", "x0", ... "threshold", "lens".
std::string_view manifestColumnName(ManifestColumn c);

struct ManifestRow {
    int line = 0;                                   // of the manifest file
    int number = 0;                                 // among the rows, from 1 (what --rows counts)
    std::array<std::string, ManifestColumns> cells; // missing cells empty
    const std::string& cell(ManifestColumn c) const { return cells[static_cast<std::size_t>(c)]; }
};

struct ManifestParse {
    std::vector<ManifestRow> rows;
    bool ok = true;
    int errorLine = 0;
    std::string error;
};

// No manifest has more rows (a hostile file of short lines would otherwise
// ask for gigabytes); larger surveys are split into several manifests.
inline constexpr std::size_t MaxManifestRows = 1'000'000;

// The rows of a manifest's text: the header names the columns in any order
// (letters in any case); "photo" and "output" are needed, an unknown or
// repeated name, a row with more cells than the header or a CSV fault
// refuses the manifest, as do more than MaxManifestRows rows.
ManifestParse parseManifest(std::string_view text);

// What a row asks for.
struct RowJob {
    std::optional<RectifyJob> job;
    JobOutcome failure;      // when there is no job
    std::string photoFile;   // the photograph, resolved (for the report and the resume)
    std::string outputFile;  // the output, resolved
    std::string projectFile; // the project the row names, or empty
};

// The job of `row`: paths relative to `manifestFolder`, numbers with "."
// (rounded as the batch's parameters are), empty cells the batch's defaults.
// `options` are the command line's options for every row ("--world-file",
// "--threshold=40" ...); a row's own interpolation and threshold win.
// A row naming a project (`.fassadenplan`) in "photo" leaves the corners
// and values empty and gets its image 1 with what the project holds.
RowJob jobOfRow(const ManifestRow& row, const std::string& manifestFolder,
                const std::vector<std::string>& options);

// The job of image 1 of a project file, written to `output`; a failure when
// the project cannot be read or has no complete quad for image 1.
RowJob jobOfProject(const std::string& projectFile, const std::string& output,
                    const std::vector<std::string>& options);

} // namespace app
