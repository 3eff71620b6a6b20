// The manifest's CSV, its columns and the job of a row.

#include "app/Manifest.h"

#include "app/BatchMode.h"
#include "app/Project.h"
#include "foundation/Rounding.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <utility>

namespace app {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

JobOutcome failure(BatchExit exit, std::string message) {
    JobOutcome o;
    o.exit = exit;
    o.message = std::move(message);
    return o;
}

constexpr std::array<std::string_view, ManifestColumns> ColumnNames = {
    "photo",     "x0",  "y0",     "x1",    "y1",     "x2",   "y2",
    "x3",        "y3",  "output", "width", "height", "area", "interpolation",
    "threshold", "lens"};

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A path of the manifest: absolute as it is, relative below its folder.
// The bytes of the cell reach the file system unchanged.
std::string resolved(const std::string& path, const std::string& folder) {
    if (path.empty() || path.front() == '/' || folder.empty())
        return path;
    return folder.back() == '/' ? folder + path : folder + "/" + path;
}

// Applies the command line's options to `job`; the first refusal.
std::optional<JobOutcome> applyOptions(const std::vector<std::string>& options, RectifyJob& job) {
    for (const std::string& o : options) {
        std::string_view value;
        const BatchOption* option = findBatchOption(o, value);
        if (option == nullptr)
            return failure(BatchExit::Usage, "unknown option '" + o + "'");
        if (std::optional<JobOutcome> refused = option->take(value, job))
            return refused;
    }
    return std::nullopt;
}

// A row's own cell for an option of the table ("--threshold" and a cell "35").
std::optional<JobOutcome> applyCellOption(std::string_view name, const std::string& cell,
                                          RectifyJob& job) {
    if (cell.empty())
        return std::nullopt;
    std::string_view value;
    const std::string param = std::string(name) + "=" + cell;
    const BatchOption* option = findBatchOption(param, value);
    if (option == nullptr)
        return failure(BatchExit::Usage, "no option " + std::string(name));
    return option->take(value, job);
}

} // namespace

// ------------------------------------------------------------------ CSV

CsvParse parseCsv(std::string_view text, std::size_t maxRecords) {
    CsvParse out;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    int line = 1;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto fail = [&out](int at, std::string what) {
        out.ok = false;
        out.errorLine = at;
        out.error = std::move(what);
        out.records.clear();
        return out;
    };
    // One line break at i (CRLF, LF or CR): its length, 0 if none.
    auto lineBreak = [&](std::size_t at) -> std::size_t {
        if (at >= n)
            return 0;
        if (text[at] == '\r')
            return at + 1 < n && text[at + 1] == '\n' ? 2 : 1;
        return text[at] == '\n' ? 1 : 0;
    };
    while (i < n) {
        CsvRecord record;
        record.line = line;
        for (;;) { // one cell per pass
            std::size_t j = i;
            while (j < n && isBlank(text[j]))
                ++j;
            std::string cell;
            if (j < n && text[j] == '"') {
                const int quoteLine = line;
                std::size_t k = j + 1;
                for (;;) {
                    if (k >= n)
                        return fail(quoteLine, "a quoted cell is not closed");
                    const char c = text[k];
                    if (c == '"') {
                        if (k + 1 < n && text[k + 1] == '"') {
                            cell.push_back('"');
                            k += 2;
                            continue;
                        }
                        ++k;
                        break;
                    }
                    if (c == '\0')
                        return fail(line, "a NUL byte");
                    if (const std::size_t br = lineBreak(k)) {
                        cell.append(text.substr(k, br));
                        k += br;
                        ++line;
                        continue;
                    }
                    cell.push_back(c);
                    ++k;
                }
                while (k < n && isBlank(text[k]))
                    ++k;
                if (k < n && text[k] != ',' && lineBreak(k) == 0)
                    return fail(line, "text after the closing quote of a cell");
                i = k;
            } else {
                std::size_t k = j;
                while (k < n && text[k] != ',' && lineBreak(k) == 0) {
                    if (text[k] == '"')
                        return fail(line, "a quote inside an unquoted cell (quote the whole cell "
                                          "and double the quote)");
                    if (text[k] == '\0')
                        return fail(line, "a NUL byte");
                    ++k;
                }
                cell = trimmed(text.substr(j, k - j));
                i = k;
            }
            record.cells.push_back(std::move(cell));
            if (i < n && text[i] == ',') {
                ++i;
                continue;
            }
            i += lineBreak(i);
            ++line;
            break;
        }
        const bool blank = record.cells.size() == 1 && record.cells.front().empty();
        if (blank)
            continue;
        if (out.records.size() >= maxRecords) {
            out.tooManyRecords = true;
            return fail(record.line, "more than " + std::to_string(maxRecords) + " records");
        }
        out.records.push_back(std::move(record));
    }
    return out;
}

std::string csvCell(std::string_view cell) {
    // A byte order mark at the start of a file would be taken for the file's.
    const bool quote = cell.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!cell.empty() && (isBlank(cell.front()) || isBlank(cell.back()))) ||
                       cell.substr(0, 3) == "\xEF\xBB\xBF";
    if (!quote)
        return std::string(cell);
    std::string q = "\"";
    for (char c : cell) {
        if (c == '"')
            q.push_back('"');
        q.push_back(c);
    }
    q.push_back('"');
    return q;
}

std::string csvRecord(const std::vector<std::string>& cells) {
    std::string r;
    for (std::size_t k = 0; k < cells.size(); ++k) {
        if (k > 0)
            r.push_back(',');
        r += csvCell(cells[k]);
    }
    // A record of one empty cell would read back as a blank line.
    if (cells.size() == 1 && cells.front().empty())
        r = "\"\"";
    r += "\r\n";
    return r;
}

// ------------------------------------------------------------------ manifest

std::string_view manifestColumnName(ManifestColumn c) {
    return ColumnNames[static_cast<std::size_t>(c)];
}

ManifestParse parseManifest(std::string_view text) {
    ManifestParse out;
    auto fail = [&out](int line, std::string what) {
        out.ok = false;
        out.errorLine = line;
        out.error = std::move(what);
        out.rows.clear();
        return out;
    };
    // The header and the rows.
    CsvParse csv = parseCsv(text, MaxManifestRows + 1);
    if (!csv.ok)
        return fail(csv.errorLine, csv.tooManyRecords
                                       ? "more than " + std::to_string(MaxManifestRows) +
                                             " rows: split the manifest"
                                       : csv.error);
    if (csv.records.empty())
        return fail(1, "no header row (photo,x0,y0,...,output,...)");
    const CsvRecord& header = csv.records.front();
    std::vector<int> columnOf; // manifest column of each header cell
    std::array<bool, ManifestColumns> seen{};
    for (const std::string& name : header.cells) {
        const std::string key = lowerAscii(name);
        const auto it = std::find(ColumnNames.begin(), ColumnNames.end(), key);
        if (it == ColumnNames.end())
            return fail(header.line, "unknown column '" + name +
                                         "' in the header (photo, x0, y0, x1, y1, x2, y2, x3, "
                                         "y3, output, width, height, area, interpolation, "
                                         "threshold, lens)");
        const auto c = static_cast<std::size_t>(it - ColumnNames.begin());
        if (seen[c])
            return fail(header.line, "the column '" + key + "' is named twice in the header");
        seen[c] = true;
        columnOf.push_back(static_cast<int>(c));
    }
    for (ManifestColumn need : {ManifestColumn::Photo, ManifestColumn::Output})
        if (!seen[static_cast<std::size_t>(need)])
            return fail(header.line, "the header names no column '" +
                                         std::string(manifestColumnName(need)) + "'");
    int number = 0;
    for (std::size_t r = 1; r < csv.records.size(); ++r) {
        const CsvRecord& rec = csv.records[r];
        if (rec.cells.size() > columnOf.size())
            return fail(rec.line, "the row has " + std::to_string(rec.cells.size()) +
                                      " cells, the header names " +
                                      std::to_string(columnOf.size()) + " columns");
        ManifestRow row;
        row.line = rec.line;
        row.number = ++number;
        for (std::size_t k = 0; k < rec.cells.size(); ++k)
            row.cells[static_cast<std::size_t>(columnOf[k])] = rec.cells[k];
        out.rows.push_back(std::move(row));
    }
    return out;
}

RowJob jobOfProject(const std::string& projectFile, const std::string& output,
                    const std::vector<std::string>& options) {
    RowJob r;
    r.projectFile = projectFile;
    r.outputFile = output;
    const ProjectRead read = readProjectFile(projectFile);
    if (!read.project) {
        std::string why;
        switch (read.error) {
        case ProjectError::Unreadable:
            why = read.detail;
            break;
        case ProjectError::Newer:
            why = "it is of a newer format version (" + read.detail + ")";
            break;
        case ProjectError::Absurd:
            why = "it holds an impossible value at " + read.detail;
            break;
        case ProjectError::Foreign:
            why = "it is no Fassadenplan project";
            break;
        default:
            why = "it is damaged" + (read.detail.empty() ? "" : " (" + read.detail + ")");
            break;
        }
        r.failure = failure(BatchExit::PhotoUnreadable,
                            "cannot open the project '" + projectFile + "': " + why);
        return r;
    }
    const Project& p = *read.project;
    if (!p.photos[0]) {
        r.failure =
            failure(BatchExit::PhotoUnreadable, "the project '" + projectFile + "' has no image 1");
        return r;
    }
    const ProjectPhoto& photo = *p.photos[0];
    r.photoFile = photo.path;
    if (!photo.cornersSet) {
        r.failure =
            failure(BatchExit::NoImage, "no rectified image for image 1 of '" + projectFile +
                                            "': its four corners are not set");
        return r;
    }
    RectifyJob job;
    job.photo = photo.path;
    job.output = output;
    job.corners = photo.corners;
    job.realWidthCm = photo.fields.realWidthCm;
    job.realHeightCm = photo.fields.realHeightCm;
    job.areaPercent = photo.fields.areaPercent;
    job.targetPercent = photo.fields.targetPercent;
    job.sampling = photo.fields.sampling;
    if (photo.fields.anglesTyped)
        job.typedAnglesDeg = std::array<double, 2>{photo.fields.angleXDeg, photo.fields.angleYDeg};
    job.sourceTurns = photo.turns;
    // The command line's options first; what the project holds wins.
    if (std::optional<JobOutcome> refused = applyOptions(options, job)) {
        r.failure = *refused;
        return r;
    }
    job.threshold = p.threshold;
    job.worldFile = job.worldFile || p.worldFile;
    // The lens correction the window used for the photograph (the reader
    // refuses a project whose correction is no such text).
    if (photo.lens)
        job.lens = projectLensSetting(*photo.lens).value_or(LensSetting{});
    r.job = std::move(job);
    return r;
}

RowJob jobOfRow(const ManifestRow& row, const std::string& manifestFolder,
                const std::vector<std::string>& options) {
    using C = ManifestColumn;
    RowJob r;
    const std::string& photoCell = row.cell(C::Photo);
    const std::string& outputCell = row.cell(C::Output);
    r.photoFile = resolved(photoCell, manifestFolder);
    r.outputFile = resolved(outputCell, manifestFolder);
    if (photoCell.empty()) {
        r.failure = failure(BatchExit::Usage, "the row names no photograph");
        return r;
    }
    if (outputCell.empty()) {
        r.failure = failure(BatchExit::Usage, "the row names no output file");
        return r;
    }
    if (isProjectFile(photoCell)) {
        for (std::size_t c = 1; c < ManifestColumns; ++c)
            if (c != static_cast<std::size_t>(C::Output) && !row.cells[c].empty()) {
                r.failure =
                    failure(BatchExit::Usage,
                            "a row naming a project takes its corners and values from the project; "
                            "leave the column '" +
                                std::string(ColumnNames[c]) + "' empty");
                return r;
            }
        return jobOfProject(r.photoFile, r.outputFile, options);
    }

    RectifyJob job;
    job.photo = r.photoFile;
    job.output = r.outputFile;
    auto notANumber = [&](C c) {
        r.failure =
            failure(BatchExit::NotANumber, "the " + std::string(manifestColumnName(c)) +
                                               " cell is not a number: '" + row.cell(c) + "'");
        return r;
    };
    const QLocale c = QLocale::c();
    for (std::size_t k = 0; k < 8; ++k) {
        const auto col = static_cast<C>(k + 1);
        if (row.cell(col).empty()) {
            r.failure = failure(BatchExit::Usage, "the " + std::string(manifestColumnName(col)) +
                                                      " cell is empty: a row needs its four "
                                                      "corners");
            return r;
        }
        const auto v = parseRounded(row.cell(col), c);
        if (!v)
            return notANumber(col);
        auto& corner = job.corners[k / 2];
        (k % 2 == 0 ? corner.x : corner.y) = *v;
    }
    const bool hasWidth = !row.cell(C::Width).empty();
    const bool hasHeight = !row.cell(C::Height).empty();
    if (hasWidth != hasHeight) {
        r.failure =
            failure(BatchExit::NotANumber, "width and height go together: give both or neither");
        return r;
    }
    if (hasWidth) {
        // Whole centimetres, as the batch's parameters.
        for (C col : {C::Width, C::Height}) {
            const auto v = parseDecimal(row.cell(col), c);
            const auto rounded = v ? fp::roundHalfEven(*v) : std::nullopt;
            if (!rounded)
                return notANumber(col);
            (col == C::Width ? job.realWidthCm : job.realHeightCm) = static_cast<double>(*rounded);
        }
    }
    if (!row.cell(C::Area).empty()) {
        const auto area = parseRounded(row.cell(C::Area), c);
        if (!area)
            return notANumber(C::Area);
        job.areaPercent = *area;
    }
    if (std::optional<JobOutcome> refused = applyOptions(options, job)) {
        r.failure = *refused;
        return r;
    }
    for (const auto& [name, col] :
         {std::pair{std::string_view("--interpolation"), C::Interpolation},
          std::pair{std::string_view("--threshold"), C::Threshold},
          std::pair{std::string_view("--lens"), C::Lens}})
        if (std::optional<JobOutcome> refused = applyCellOption(name, row.cell(col), job)) {
            r.failure = *refused;
            return r;
        }
    r.job = std::move(job);
    return r;
}

} // namespace app
