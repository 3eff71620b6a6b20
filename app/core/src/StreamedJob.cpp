// The streamed batch job: a decoder thread fills the photograph from the
// top, a resampling thread (with the pool) makes bands of the result as far
// as the decoded rows reach, and the calling thread encodes the finished
// bands in order into the output's pending file.

#include "app/StreamedJob.h"

#include "lines/WorldFile.h"
#include "pixkit/RowFile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <limits>
#include <new>

namespace app {

namespace {

// Rows per band: a whole number of the encoder's 16-row blocks, enough rows
// for the pool's tasks, few enough that the bands in flight stay small.
constexpr int BandRows = 128;
// Bands in flight between the resampling and the encoder.
constexpr int Slots = 3;
// Bands beyond the one being resampled whose photograph rows may be decoded.
constexpr int DecodedAhead = 2;

// A band's progress, shared by the resampling thread and the encoder.
struct Bands {
    std::mutex mutex;
    std::condition_variable changed;
    int made = 0;      // bands finished by the resampling
    int encoded = 0;   // bands taken by the encoder
    bool stop = false; // a fault, or the encoder gave up
    bool fault = false;
};

} // namespace

bool streamsOutput(const RectifyJob& job) {
    return pixkit::WritesRows(job.output) && job.lens.mode == LensSetting::Mode::Off &&
           (job.sourceTurns % 4 + 4) % 4 == 0;
}

StreamedPhoto::~StreamedPhoto() {
    allow(std::numeric_limits<int>::max());
    if (m_decoder.joinable())
        m_decoder.join();
}

bool StreamedPhoto::start(const std::string& fileName) {
    if (!m_reader.open(fileName))
        return false;
    pixkit::dib d;
    pixkit::newdib(d, m_reader.width(), m_reader.height(), 24, nullptr, 0);
    if (d.poi == nullptr)
        return false;
    m_image.install(d);
    m_decoder = std::thread([this] {
        bool whole = false;
        try {
            whole = m_reader.decode(m_image.get(), [this](int rows) {
                std::unique_lock lock(m_mutex);
                m_rows = rows;
                m_more.notify_all();
                m_room.wait(lock, [&] { return m_rows < m_allowed; });
            });
        } catch (...) {
            whole = false;
        }
        const std::lock_guard lock(m_mutex);
        m_rows = m_reader.height();
        m_whole = whole;
        m_more.notify_all();
    });
    return true;
}

void StreamedPhoto::waitFor(int rows) {
    std::unique_lock lock(m_mutex);
    m_more.wait(lock, [&] { return m_rows >= std::min(rows, m_reader.height()); });
}

void StreamedPhoto::limit(int rows) {
    const std::lock_guard lock(m_mutex);
    m_allowed = rows;
    m_room.notify_all();
}

void StreamedPhoto::allow(int rows) {
    const std::lock_guard lock(m_mutex);
    m_allowed = std::max(m_allowed, rows);
    m_room.notify_all();
}

bool StreamedPhoto::finish() {
    allow(std::numeric_limits<int>::max());
    if (m_decoder.joinable())
        m_decoder.join();
    return m_whole;
}

void StreamedPhoto::release(int rows) {
    int upTo = 0;
    {
        const std::lock_guard lock(m_mutex);
        upTo = std::min(rows, m_rows);
        if (upTo <= m_released)
            return;
        m_released = upTo;
    }
    // Picture rows 0 ... upTo - 1 are the last stored rows: their whole pages.
    const pixkit::dib& d = m_image.get();
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto h = static_cast<std::uintptr_t>(pixkit::dibheight(d));
    const auto stride = static_cast<std::uintptr_t>(d.bytew);
    const auto base = reinterpret_cast<std::uintptr_t>(d.poi);
    const std::uintptr_t from =
        (base + (h - static_cast<std::uintptr_t>(upTo)) * stride + page - 1) / page * page;
    const std::uintptr_t to = (base + h * stride) / page * page;
    if (to > from)
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

rectify::RowsConsumer rowsConsumer(StreamedPhoto& photo, const RectifyJob& job,
                                   const double& realWidthCm, int areaPercent,
                                   StreamedOutput& out) {
    return [&photo, &job, &realWidthCm, areaPercent,
            &out](const rectify::RectifiedRows& rows) -> std::optional<rectify::ResampleEnd> {
        const int w = rows.width(), h = rows.height();
        pixkit::WriteOptions options;
        options.jpegQuality = job.jpegQuality;
        options.pngLevel = job.pngLevel;
        if (const auto perCm = lines::PixelsPerCm(realWidthCm, areaPercent, w))
            options.density = {*perCm, *perCm};
        out.file.emplace(job.output);
        std::unique_ptr<pixkit::RowFile> writer =
            pixkit::StartRowFile(job.output, w, h, options, *out.file);
        if (!writer) {
            // Beyond what the format holds, or no file to be had there: the
            // whole image says why.
            out.file.reset();
            photo.waitFor(pixkit::dibheight(photo.image()));
            return std::nullopt;
        }
        out.taken = true;
        out.width = w;
        out.height = h;
        const auto stride = static_cast<std::ptrdiff_t>(pixkit::rowBytes(w, 24));
        const int bands = (h + BandRows - 1) / BandRows;
        // The photograph's rows above the first that any later band reads
        // go back to the system once a band is made.
        std::vector<int> unread(static_cast<std::size_t>(bands) + 1,
                                pixkit::dibheight(photo.image()));
        for (int k = bands - 1; k >= 0; --k)
            unread[static_cast<std::size_t>(k)] =
                std::min(unread[static_cast<std::size_t>(k) + 1],
                         rows.firstSourceRow(k * BandRows, std::min(h, (k + 1) * BandRows)));
        // The photograph's rows the bands up to each one read: the decoder
        // goes no further than the next bands need, so the decoded rows that
        // wait for the resampling stay few.
        std::vector<int> needed(static_cast<std::size_t>(bands));
        for (int k = 0, most = 0; k < bands; ++k) {
            most =
                std::max(most, rows.sourceRowsFor(k * BandRows, std::min(h, (k + 1) * BandRows)));
            needed[static_cast<std::size_t>(k)] = most;
        }
        const auto neededAhead = [&](int k) {
            return needed[static_cast<std::size_t>(std::min(bands - 1, k + DecodedAhead))];
        };
        photo.limit(neededAhead(0));
        std::array<std::vector<std::uint8_t>, Slots> slots;
        for (auto& s : slots)
            s.resize(static_cast<std::size_t>(stride) * BandRows);
        Bands state;

        std::exception_ptr failure; // what ended the resampling, rethrown here
        auto resample = [&] {
            for (int k = 0; k < bands; ++k) {
                {
                    std::unique_lock lock(state.mutex);
                    state.changed.wait(lock,
                                       [&] { return state.stop || k - state.encoded < Slots; });
                    if (state.stop)
                        return;
                }
                const int begin = k * BandRows, end = std::min(h, begin + BandRows);
                photo.allow(neededAhead(k));
                photo.waitFor(rows.sourceRowsFor(begin, end));
                const bool made = rows.fill(
                    begin, end, slots[static_cast<std::size_t>(k % Slots)].data(), stride);
                if (made)
                    photo.release(unread[static_cast<std::size_t>(k) + 1]);
                const std::lock_guard lock(state.mutex);
                if (!made) {
                    state.fault = true;
                    state.stop = true;
                } else {
                    state.made = k + 1;
                }
                state.changed.notify_all();
                if (!made)
                    return;
            }
        };
        std::thread resampler([&] {
            try {
                resample();
            } catch (...) {
                const std::lock_guard lock(state.mutex);
                failure = std::current_exception();
                state.stop = true;
                state.changed.notify_all();
            }
        });
        // Before this function leaves, however it leaves, the resampler is
        // stopped and joined and the decoder may run to the end of the file.
        const auto finishThreads = [&] {
            {
                const std::lock_guard lock(state.mutex);
                state.stop = true;
                state.changed.notify_all();
            }
            resampler.join();
            photo.allow(std::numeric_limits<int>::max());
        };

        bool encoded = true;
        std::vector<std::uint8_t*> rowPointers(BandRows);
        try {
            for (int k = 0; k < bands; ++k) {
                {
                    std::unique_lock lock(state.mutex);
                    state.changed.wait(lock, [&] { return state.stop || state.made > k; });
                    if (state.made <= k)
                        break;
                }
                const int begin = k * BandRows, n = std::min(h, begin + BandRows) - begin;
                for (int r = 0; r < n; ++r)
                    rowPointers[static_cast<std::size_t>(r)] =
                        slots[static_cast<std::size_t>(k % Slots)].data() +
                        static_cast<std::ptrdiff_t>(r) * stride;
                encoded = encoded && writer->write(rowPointers.data(), n);
                const std::lock_guard lock(state.mutex);
                state.encoded = k + 1;
                if (!encoded)
                    state.stop = true;
                state.changed.notify_all();
                if (!encoded)
                    break;
            }
        } catch (...) {
            finishThreads();
            throw;
        }
        // The rest of the photograph is decoded: only the whole file is a
        // photograph.
        finishThreads();
        if (failure)
            std::rethrow_exception(failure);
        if (state.fault)
            return rectify::ResampleEnd::Fault;
        out.failed = !encoded || !writer->finish();
        return rectify::ResampleEnd::Done;
    };
}

} // namespace app
