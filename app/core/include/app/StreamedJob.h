#pragma once
// A batch job from a JPEG photograph into a JPEG, PNG, BMP or TIFF file without
// the whole rectified image: the photograph is decoded on a thread of its
// own while the pose is searched, bands of the result are made as soon as
// the rows of the photograph they read are decoded, and the encoder takes
// the bands as they are finished, straight into the file's pending
// replacement. The file's bytes are those of the whole-image way.

#include "app/RectifyJob.h"
#include "foundation/ReplaceFile.h"
#include "pixkit/JpegRows.h"
#include "rectify/RectifiedRows.h"

#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace app {

// True when the job's output can be streamed: a file written row by row
// (pixkit/RowFile.h), no lens correction and no turn of the photograph.
bool streamsOutput(const RectifyJob& job);

// A JPEG photograph being decoded on a thread of its own.
class StreamedPhoto {
public:
    StreamedPhoto() = default;
    ~StreamedPhoto(); // waits for the decoder
    StreamedPhoto(const StreamedPhoto&) = delete;
    StreamedPhoto& operator=(const StreamedPhoto&) = delete;

    // Starts decoding `fileName` when it is a JPEG read row by row (see
    // pixkit::JpegRowReader); false otherwise, with nothing started.
    bool start(const std::string& fileName);
    // The photograph, its rows filled from the top as they are decoded.
    const pixkit::dib& image() const { return m_image.get(); }
    // Waits until the top `rows` rows are there (or the decoder stopped).
    void waitFor(int rows);
    // Lets the decoder go on to the top `rows` rows and no further, from
    // wherever it is: it waits there until allow() raises the limit.
    void limit(int rows);
    // Raises that limit to `rows` (never lowers it).
    void allow(int rows);
    // Lets the decoder go to the end and waits for it; true when the
    // photograph was whole.
    bool finish();
    // Gives the memory of the top `rows` rows back to the system, as far
    // as they are decoded: nothing reads them any more (they read as black
    // if something did).
    void release(int rows);

private:
    pixkit::JpegRowReader m_reader;
    pixkit::Image m_image;
    std::thread m_decoder;
    std::mutex m_mutex;
    std::condition_variable m_more;
    std::condition_variable m_room; // the limit was raised
    int m_rows = 0;
    int m_allowed = std::numeric_limits<int>::max();
    int m_released = 0;
    bool m_whole = false;
};

// The rows of a run encoded into the pending replacement of the job's
// output, with its quality or level, the real scale stamped as the
// whole-image writer does. Nothing is visible until the file is committed.
struct StreamedOutput {
    std::optional<fp::PendingFile> file;
    int width = 0, height = 0;
    bool taken = false;  // the rows came here; the run made no image
    bool failed = false; // taken, but the encoder or the file failed (file->error())
};
rectify::RowsConsumer rowsConsumer(StreamedPhoto& photo, const RectifyJob& job,
                                   const double& realWidthCm, int areaPercent, StreamedOutput& out);

} // namespace app
