#pragma once
// JPEG row by row, for a job that decodes, rectifies and encodes at once:
// the photograph's rows arrive from the top while the decoder goes on, and
// the rectified image is encoded band by band without ever being held whole.
//
// Both give the bytes of the whole-image codecs (OpenDib, WriteDib for a
// JPEG file): the reader takes only what those decode the same way (colour
// photographs without an EXIF turn), and the writer uses the same encoder
// settings and stamps the same resolution fields.

#include "pixkit/ImageFile.h"
#include "pixkit/PixelDensity.h"
#include "pixkit/dib.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fp {
class PendingFile;
}

namespace pixkit {

class JpegRowReader {
public:
    JpegRowReader();
    ~JpegRowReader();
    JpegRowReader(const JpegRowReader&) = delete;
    JpegRowReader& operator=(const JpegRowReader&) = delete;

    // Reads `fileName` and its JPEG header. True when the file is a colour
    // JPEG that stands upright (no EXIF turn) within the pixel limit, which
    // OpenDib would decode into exactly the rows decode() gives; false for
    // anything else (the caller opens the file the whole way then).
    bool open(const std::string& fileName);
    int width() const;
    int height() const;

    // Decodes every row into `image` (width() x height(), 24 bits) from the
    // top, calling `rowsDone(n)` whenever the top n picture rows are there.
    // False when the file is not whole or breaks (OpenDib would refuse it);
    // every row has been reported done then too, so nobody waits for rows.
    // Once only.
    bool decode(dib& image, const std::function<void(int)>& rowsDone);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

class JpegRowWriter {
public:
    JpegRowWriter();
    ~JpegRowWriter();
    JpegRowWriter(const JpegRowWriter&) = delete;
    JpegRowWriter& operator=(const JpegRowWriter&) = delete;

    // Starts a width x height picture at `quality` (1 ... 100, clamped)
    // in `file`, the pending replacement of the JPEG file; the bytes go
    // there as the encoder makes them, with `density` stamped as WriteDib
    // does. False when the size is beyond the format or the encoder fails.
    bool start(int width, int height, int quality, const PixelDensity& density,
               fp::PendingFile& file);
    // The next `count` rows, top first, each `width` pixels of 3 bytes in
    // the order blue, green, red. False when the encoder or the file failed.
    bool write(std::uint8_t* const* rows, int count);
    // Ends the picture. False when the encoder or the file failed or rows
    // are missing; the caller commits or discards the file.
    bool finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace pixkit
