// The streamed batch reads JPEG photographs row by row; the window and the
// other formats read them whole. Both must agree on every file: the row
// reader either leaves a file to the whole-image reader (open fails) or
// decodes it exactly when that reader does, into the same pixels.

#include "CodecTestSupport.h"

#include "pixkit/ImageFile.h"
#include "pixkit/JpegRows.h"

#include <cstring>

using namespace codectest;

namespace {

struct RowsCase {
    const char* file; // in the seed corpus of the row reader's fuzz target, or a regression
    bool streams;     // the row reader takes it
    bool decodes;     // ... and the whole-image reader reads it
};

void PrintTo(const RowsCase& c, std::ostream* os) {
    *os << c.file;
}

class JpegRows : public testing::TestWithParam<RowsCase> {};

TEST_P(JpegRows, DecodeWhatTheWholeImageReaderDecodes) {
    const std::string file = std::string(GetParam().file).find('/') == std::string::npos
                                 ? std::string(FP_JPEG_ROWS_CORPUS) + "/" + GetParam().file
                                 : std::string(FP_REGRESSION_DIR) + GetParam().file;
    const std::vector<std::uint8_t> bytes = readBytes(file);
    ASSERT_FALSE(bytes.empty()) << file;
    pixkit::Image whole;
    const bool wholeReads = pixkit::decodeImageBytes(bytes, whole.get());
    EXPECT_EQ(wholeReads, GetParam().decodes);

    pixkit::JpegRowReader reader;
    ASSERT_EQ(reader.open(file), GetParam().streams);
    if (!GetParam().streams)
        return;
    pixkit::Image rows = pixkit::Image::blank(reader.width(), reader.height());
    int last = 0;
    const bool streamed = reader.decode(rows.get(), [&](int n) {
        EXPECT_GE(n, last);
        last = n;
    });
    EXPECT_EQ(last, reader.height());
    ASSERT_EQ(streamed, wholeReads);
    if (!streamed)
        return;
    ASSERT_EQ(pixkit::dibwidth(whole.get()), reader.width());
    ASSERT_EQ(pixkit::dibheight(whole.get()), reader.height());
    ASSERT_EQ(pixkit::dibbits(whole.get()), 24);
    for (int y = 0; y < reader.height(); ++y)
        ASSERT_EQ(std::memcmp(pixkit::pictureRow(rows.get(), y), pixkit::pictureRow(whole.get(), y),
                              static_cast<std::size_t>(reader.width()) * 3),
                  0)
            << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpegRows,
    testing::Values(
        RowsCase{"baseline-420.jpg", true, true}, RowsCase{"progressive.jpg", true, true},
        RowsCase{"restart-markers.jpg", true, true}, RowsCase{"arithmetic.jpg", true, true},
        RowsCase{"odd-size-422.jpg", true, true}, RowsCase{"truncated-baseline.jpg", true, false},
        RowsCase{"truncated-progressive.jpg", true, false}, RowsCase{"grey.jpg", false, true},
        RowsCase{"cmyk.jpg", false, true}, RowsCase{"exif-turned.jpg", false, true},
        // A warning while reading the header: the whole-image reader refuses.
        RowsCase{"/jpeg-warning-in-header.jpg", false, false},
        // Stray bytes between two scans, then a broken table: no whole picture.
        RowsCase{"/jpeg-error-after-warning.jpg", true, false}));

} // namespace
