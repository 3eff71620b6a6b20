// The batch over a manifest: the command line, the workers, the progress on
// the error stream, the resume check and the report.

#include "app/ManifestRun.h"

#include "app/BatchMode.h"
#include "app/CommandLine.h"
#include "app/UserStore.h"
#include "foundation/ReplaceFile.h"
#include "foundation/ThreadPool.h"

#include <QSettings>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <new>
#include <ostream>
#include <thread>

namespace app {

namespace {

// No manifest is larger (a million rows of long names).
constexpr std::size_t MaxManifestBytes = std::size_t{256} << 20;

using Clock = std::chrono::steady_clock;

std::string_view valueOf(std::string_view param, std::string_view name) {
    return param.substr(name.size());
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

std::optional<int> positive(std::string_view text) {
    int v = 0;
    const char* last = text.data() + text.size();
    const auto res = std::from_chars(text.data(), last, v);
    if (text.empty() || res.ec != std::errc() || res.ptr != last || v < 1)
        return std::nullopt;
    return v;
}

// The modification time of `path` (following links), or none.
std::optional<timespec> modified(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return st.st_mtim;
}

bool regularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool newer(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// The output is there and newer than everything it was made from.
bool upToDate(const RowJob& row, const timespec& manifestTime) {
    if (!regularFile(row.outputFile))
        return false;
    const std::optional<timespec> out = modified(row.outputFile);
    if (!out || !newer(*out, manifestTime))
        return false;
    for (const std::string* from : {&row.photoFile, &row.projectFile}) {
        if (from->empty())
            continue;
        const std::optional<timespec> t = modified(*from);
        if (!t || !newer(*out, *t))
            return false;
    }
    return true;
}

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

const char* statusName(RowStatus s) {
    switch (s) {
    case RowStatus::Written:
        return "written";
    case RowStatus::Skipped:
        return "skipped";
    case RowStatus::Failed:
        break;
    }
    return "failed";
}

// What the rows have done so far, told on the error stream.
class Progress {
public:
    Progress(std::ostream& err, bool terminal, std::size_t total)
        : m_err(err), m_terminal(terminal), m_total(total), m_start(Clock::now()) {
        if (m_terminal && m_total > 0)
            m_err << statusLine() << std::flush;
    }

    void rowDone(const RowReport& r) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_done;
        if (r.status == RowStatus::Failed)
            ++m_failed;
        else if (r.status == RowStatus::Skipped)
            ++m_skipped;
        else
            ++m_written;
        if (!m_terminal) {
            m_err << rowLine(r) << "\n" << std::flush;
            return;
        }
        // Failures stay on the screen above the updating line.
        if (r.status == RowStatus::Failed)
            m_err << "\r\033[K" << rowLine(r) << "\n";
        m_err << "\r\033[K" << statusLine() << std::flush;
    }

    void finish() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_terminal && m_total > 0)
            m_err << "\r\033[K";
        const double seconds = elapsed();
        m_err << "fassadenplan: " << m_total << (m_total == 1 ? " row" : " rows") << " in "
              << fixed(seconds, 1) << " s: " << m_written << " written, " << m_skipped
              << " skipped, " << m_failed << " failed";
        if (m_written + m_failed > 0 && seconds > 0.0)
            m_err << " (" << fixed(static_cast<double>(m_written + m_failed) / seconds, 2)
                  << " photos per second)";
        m_err << "\n" << std::flush;
    }

    std::size_t failed() const { return m_failed; }

private:
    double elapsed() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }

    std::string rowLine(const RowReport& r) const {
        std::string line = "fassadenplan: [" + std::to_string(m_done) + "/" +
                           std::to_string(m_total) + "] line " + std::to_string(r.line) + " ";
        switch (r.status) {
        case RowStatus::Written:
            return line + "written: " + r.outcome.message + ", " + fixed(r.milliseconds, 0) + " ms";
        case RowStatus::Skipped:
            return line + "skipped: " + r.output + " is newer than its photograph and the manifest";
        case RowStatus::Failed:
            break;
        }
        return line + "failed (exit " + std::to_string(r.exitCode) + "): " + r.outcome.message;
    }

    std::string statusLine() const {
        std::string s = std::to_string(m_done) + "/" + std::to_string(m_total) + " rows, " +
                        std::to_string(m_failed) + " failed";
        const std::size_t worked = m_written + m_failed;
        const double seconds = elapsed();
        if (worked > 0 && seconds > 0.0) {
            const double rate = static_cast<double>(worked) / seconds;
            s += ", " + fixed(rate, 2) + " photos/s, " +
                 duration(static_cast<double>(m_total - m_done) / rate) + " left";
        }
        return s;
    }

    std::mutex m_mutex;
    std::ostream& m_err;
    bool m_terminal;
    std::size_t m_total;
    Clock::time_point m_start;
    std::size_t m_done = 0, m_failed = 0, m_skipped = 0, m_written = 0;
};

// Calls row(k) for every k in [0, count) on `jobs` workers, taking the rows in
// order. With as many workers as the pool has threads (or more) the rows are
// the pool's tasks and every loop inside a row runs on its worker alone, so
// the cores are never shared; with fewer, the rows run on threads of their
// own and a row's loops use the pool whenever no other row holds it.
template <class Row> void forEachRow(std::size_t count, int jobs, Row&& row) {
    if (count == 0)
        return;
    if (jobs >= fp::defaultThreadCount() && jobs > 1) {
        const fp::ThreadCountScope scope(jobs);
        fp::parallelFor(static_cast<int>(count), [&](int k) { row(static_cast<std::size_t>(k)); });
        return;
    }
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t k = next.fetch_add(1); k < count; k = next.fetch_add(1))
            row(k);
    };
    std::vector<std::thread> helpers;
    for (int w = 1; w < jobs && static_cast<std::size_t>(w) < count; ++w) {
        try {
            helpers.emplace_back(work);
        } catch (const std::exception&) {
            break; // the rows run on the workers there are
        }
    }
    work();
    for (std::thread& t : helpers)
        t.join();
}

} // namespace

bool isManifestCommand(const std::vector<std::string>& params) {
    return std::any_of(params.begin(), params.end(), [](const std::string& p) {
        return p == "--batch" || startsWith(p, "--batch=");
    });
}

bool parseRowRange(std::string_view text, int& fromRow, int& toRow) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string_view from = text.substr(0, colon), to = text.substr(colon + 1);
    if (from.empty() && to.empty())
        return false;
    const std::optional<int> f = from.empty() ? std::optional<int>(1) : positive(from);
    const std::optional<int> t =
        to.empty() ? std::optional<int>(std::numeric_limits<int>::max()) : positive(to);
    if (!f || !t || *f > *t)
        return false;
    fromRow = *f;
    toRow = *t;
    return true;
}

ParsedManifestCommand parseManifestCommand(const std::vector<std::string>& params) {
    ManifestCommand c;
    bool haveManifest = false;
    for (std::size_t k = 0; k < params.size(); ++k) {
        const std::string& p = params[k];
        auto refuse = [](std::string why) {
            return ParsedManifestCommand{std::nullopt, std::move(why)};
        };
        if (p == "--batch" || startsWith(p, "--batch=")) {
            if (haveManifest)
                return refuse("--batch names one manifest");
            if (p == "--batch") {
                if (k + 1 >= params.size())
                    return refuse("--batch needs a manifest file (CSV)");
                c.manifest = params[++k];
            } else {
                c.manifest = p.substr(8);
            }
            if (c.manifest.empty())
                return refuse("--batch needs a manifest file (CSV)");
            haveManifest = true;
        } else if (startsWith(p, "--jobs=")) {
            const std::optional<int> j = positive(valueOf(p, "--jobs="));
            if (!j || *j > fp::MaxThreads)
                return refuse("--jobs must be a whole number from 1 to " +
                              std::to_string(fp::MaxThreads) + ": '" + p + "'");
            c.jobs = *j;
        } else if (startsWith(p, "--report=")) {
            c.report = p.substr(9);
            if (c.report.empty())
                return refuse("--report needs a file name");
        } else if (p == "--force") {
            c.force = true;
        } else if (startsWith(p, "--rows=")) {
            if (!parseRowRange(valueOf(p, "--rows="), c.fromRow, c.toRow))
                return refuse("--rows must be FROM:TO, FROM: or :TO with rows counted from 1 "
                              "(FROM not after TO): '" +
                              p + "'");
        } else if (isBatchOption(p)) {
            // "--threshold 40" is "--threshold=40", as in the single run.
            std::string given = p;
            if (given.find('=') == std::string::npos && optionTakesValue(given) &&
                k + 1 < params.size())
                given += "=" + params[++k];
            std::string_view value;
            const BatchOption* option = findBatchOption(given, value);
            if (option == nullptr)
                return refuse("unknown option '" + given + "'");
            RectifyJob probe;
            if (std::optional<JobOutcome> refused = option->take(value, probe))
                return refuse(refused->message);
            c.rowOptions.push_back(given);
        } else {
            return refuse("a manifest run takes no parameter besides the manifest: '" + p + "'");
        }
    }
    if (!haveManifest)
        return ParsedManifestCommand{std::nullopt, "--batch needs a manifest file (CSV)"};
    return ParsedManifestCommand{std::move(c), {}};
}

std::string reportCsv(const std::vector<RowReport>& rows) {
    std::string out =
        csvRecord({"line", "photo", "output", "status", "exit_code", "angle_x_deg", "angle_y_deg",
                   "width_px", "height_px", "pixels_per_cm", "milliseconds", "message"});
    for (const RowReport& r : rows) {
        const JobOutcome& o = r.outcome;
        const bool made = r.status == RowStatus::Written;
        out +=
            csvRecord({std::to_string(r.line), r.photo, r.output, statusName(r.status),
                       std::to_string(r.exitCode), o.angleXDeg ? fixed(*o.angleXDeg, 2) : "",
                       o.angleYDeg ? fixed(*o.angleYDeg, 2) : "",
                       made ? std::to_string(o.width) : "", made ? std::to_string(o.height) : "",
                       made && o.pixelsPerCm ? fixed(*o.pixelsPerCm, 6) : "",
                       fixed(r.milliseconds, 0), r.status == RowStatus::Failed ? o.message : ""});
    }
    return out;
}

int runManifest(const ManifestCommand& command, int jpegQuality, std::ostream& err, bool terminal) {
    std::string text;
    if (const int e = fp::readRegularFile(command.manifest, text, MaxManifestBytes)) {
        err << "fassadenplan: cannot read the manifest '" << command.manifest
            << "': " << fp::fileErrorText(e) << "\n";
        return ManifestUnreadable;
    }
    const std::optional<timespec> manifestTime = modified(command.manifest);
    if (!manifestTime) {
        err << "fassadenplan: cannot read the manifest '" << command.manifest
            << "': it went away while it was read\n";
        return ManifestUnreadable;
    }
    ManifestParse parsed = parseManifest(text);
    if (!parsed.ok) {
        err << "fassadenplan: " << command.manifest << ", line " << parsed.errorLine << ": "
            << parsed.error << "\n";
        return ManifestUnreadable;
    }
    const auto slash = command.manifest.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : command.manifest.substr(0, slash + 1);

    std::vector<const ManifestRow*> rows;
    for (const ManifestRow& r : parsed.rows)
        if (r.number >= command.fromRow && r.number <= command.toRow)
            rows.push_back(&r);
    std::vector<RowReport> reports(rows.size());
    const int jobs = std::max(1, command.jobs > 0 ? command.jobs : fp::defaultThreadCount());

    Progress progress(err, terminal, rows.size());
    forEachRow(rows.size(), jobs, [&](std::size_t k) {
        const ManifestRow& row = *rows[k];
        RowReport& rep = reports[k];
        rep.line = row.line;
        rep.photo = row.cell(ManifestColumn::Photo);
        rep.output = row.cell(ManifestColumn::Output);
        const auto t0 = Clock::now();
        try {
            RowJob job = jobOfRow(row, folder, command.rowOptions);
            if (!job.job) {
                rep.outcome = std::move(job.failure);
            } else if (!command.force && upToDate(job, *manifestTime)) {
                rep.status = RowStatus::Skipped;
            } else {
                if (!job.job->qualityGiven)
                    job.job->jpegQuality = jpegQuality;
                // Leftovers of a run killed while it wrote this output.
                fp::removeStaleTemporaries(job.outputFile);
                rep.outcome = runJob(*job.job);
                rep.status = rep.outcome.ok() ? RowStatus::Written : RowStatus::Failed;
            }
        } catch (const std::exception&) {
            rep.outcome.exit = BatchExit::NoImage;
            rep.outcome.message = "not enough memory for this row";
            rep.status = RowStatus::Failed;
        }
        if (rep.status == RowStatus::Failed && rep.outcome.ok()) {
            rep.outcome.exit = BatchExit::Usage; // a failure always has its code
        }
        rep.exitCode = rep.status == RowStatus::Failed ? static_cast<int>(rep.outcome.exit) : 0;
        rep.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        progress.rowDone(rep);
    });
    progress.finish();

    int exit = progress.failed() > 0 ? ManifestRowsFailed : 0;
    if (!command.report.empty()) {
        if (const int e = fp::replaceFile(command.report, reportCsv(reports))) {
            err << "fassadenplan: cannot write the report '" << command.report
                << "': " << fp::fileErrorText(e) << "\n";
            exit = ManifestRowsFailed;
        }
    }
    return exit;
}

int runManifestProgram(const std::vector<std::string>& params, const std::string& programPath,
                       std::ostream& err) {
    const ParsedManifestCommand parsed = parseManifestCommand(params);
    if (!parsed.command) {
        err << "fassadenplan: " << parsed.error << "\n";
        return static_cast<int>(BatchExit::Usage);
    }
    // Read only, as the single run does.
    const int quality = readJpegQuality(*openUserStore(storeNameOf(
        QString::fromUtf8(programPath.data(), static_cast<qsizetype>(programPath.size())))));
    try {
        return runManifest(*parsed.command, quality, err, ::isatty(2) != 0);
    } catch (const std::bad_alloc&) {
        // The manifest's own rows did not fit (each row's failure is its own).
        err << "fassadenplan: not enough memory to read the manifest '" << parsed.command->manifest
            << "'\n";
        return ManifestUnreadable;
    }
}

std::string manifestUsage() {
    return "Many photographs (manifest):\n"
           "  fassadenplan --batch MANIFEST.csv [--jobs=N] [--report=FILE.csv] [--force]\n"
           "               [--rows=FROM:TO] [options of the batch mode for every row]\n"
           "      rectify every row of a CSV manifest without a window. The header row\n"
           "      names the columns: photo,x0,y0,x1,y1,x2,y2,x3,y3,output,width,height,\n"
           "      area,interpolation,threshold (photo, the corners and output needed;\n"
           "      empty cells take the defaults above). Paths are relative to the\n"
           "      manifest's folder. A row may name a project (.fassadenplan) as photo\n"
           "      and leave the corners empty: its image 1 is written to output.\n"
           "  --jobs=N        rows at once (default: the machine's cores); each worker\n"
           "                  holds one photograph at a time, about 6 bytes per photo\n"
           "                  pixel (a 24 MP photograph: about 150 MB)\n"
           "  --report=FILE   a CSV line per row: photo, output, status (written, failed,\n"
           "                  skipped), exit code, angles, size, pixels per cm, ms\n"
           "  --force         also rows whose output is newer than their photograph and\n"
           "                  the manifest (those are skipped otherwise)\n"
           "  --rows=FROM:TO  only the rows FROM to TO (counted from 1 below the header;\n"
           "                  FROM: or :TO leave one end open), for slices on many machines\n"
           "  A failing row is reported with the exit code a single run would give\n"
           "  (1 ... 7), and the other rows go on. Exit codes of a manifest run:\n"
           "  0 every row written or skipped, 8 at least one row failed, 2 the manifest\n"
           "  cannot be read or parsed (with the line), 1 usage.\n";
}

} // namespace app
