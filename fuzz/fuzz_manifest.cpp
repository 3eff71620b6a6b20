// Feeds arbitrary bytes to the manifest's readers. Properties, beyond
// surviving:
// - CSV: a refusal names a line of the text; records start on rising lines;
//   the records written again as CSV parse back to the same cells;
// - manifest: rows are numbered 1, 2, ... in the order of their lines; a
//   refusal names a line;
// - every row becomes a job or a failure with an exit code and a reason; a
//   job's files are the row's cells below the manifest's folder, and the
//   command line's options reach it.

#include "app/Manifest.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

int linesOf(std::string_view text) {
    int lines = 1;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++lines;
    return lines;
}

void checkCsv(std::string_view text) {
    const app::CsvParse csv = app::parseCsv(text);
    const int lines = linesOf(text);
    if (!csv.ok) {
        if (csv.errorLine < 1 || csv.errorLine > lines || csv.error.empty() || !csv.records.empty())
            std::abort();
        return;
    }
    std::string written;
    int previous = 0;
    for (const app::CsvRecord& r : csv.records) {
        if (r.line <= previous || r.line > lines || r.cells.empty())
            std::abort();
        previous = r.line;
        written += app::csvRecord(r.cells);
    }
    const app::CsvParse again = app::parseCsv(written);
    if (!again.ok || again.records.size() != csv.records.size())
        std::abort();
    for (std::size_t k = 0; k < csv.records.size(); ++k)
        if (again.records[k].cells != csv.records[k].cells)
            std::abort();
}

void checkManifest(std::string_view text) {
    const app::ManifestParse m = app::parseManifest(text);
    if (!m.ok) {
        if (m.errorLine < 1 || m.error.empty() || !m.rows.empty())
            std::abort();
        return;
    }
    const std::string folder = "/nonexistent-fassadenplan-fuzz/survey/";
    int previousLine = 0;
    for (std::size_t k = 0; k < m.rows.size(); ++k) {
        const app::ManifestRow& row = m.rows[k];
        if (row.number != static_cast<int>(k) + 1 || row.line <= previousLine)
            std::abort();
        previousLine = row.line;
        const app::RowJob job = app::jobOfRow(row, folder, {"--world-file"});
        if (!job.job) {
            if (job.failure.ok() || job.failure.message.empty())
                std::abort();
            continue;
        }
        const std::string& photo = row.cell(app::ManifestColumn::Photo);
        if (!job.projectFile.empty())
            continue; // its photograph is the project's
        const std::string& output = row.cell(app::ManifestColumn::Output);
        if (job.job->photo != (photo.front() == '/' ? photo : folder + photo) ||
            job.job->output != (output.front() == '/' ? output : folder + output) ||
            !job.job->worldFile)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkCsv(text);
    checkManifest(text);
    return 0;
}
