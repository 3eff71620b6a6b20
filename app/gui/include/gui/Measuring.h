#pragma once
// A measurement in a rectified view: the clicked pixels of the picture the
// view shows and of the image they are measured in, and the figures.

#include "lines/Measure.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <optional>
#include <vector>

namespace gui {

struct MeasureSession {
    // The rectified view: 1 PaintBox2 (image 1, or the overlay), 2 PaintBox3
    // (image 2); 0 while there is no measurement.
    int view = 0;
    // What the view showed when the points were taken; the points belong to
    // that picture only.
    bool overlay = false;
    QSize shown;
    double overlayZoomPercent = 100.0;
    // The clicked pixels of the shown picture (drawn over the view) and of
    // the measured image (the overlay shows image 1 stretched and zoomed).
    std::vector<lines::PixelPos> shownPixels;
    std::vector<lines::PixelPos> imagePixels;
    bool closed = false;   // a double click made it a polygon
    bool finished = false; // the next click starts a new measurement
    std::optional<lines::Measurement> result;
    // The magnifier: over which view (0: hidden), the shown pixel under the
    // mouse there, its picture and its place in view pixels.
    int loupeView = 0;
    std::optional<lines::PixelPos> hover;
    QImage loupe;
    QRect loupeAt;

    // Drops the points and the figures; the magnifier stays.
    void clearPoints() {
        view = 0;
        overlay = false;
        shown = QSize();
        overlayZoomPercent = 100.0;
        shownPixels.clear();
        imagePixels.clear();
        closed = false;
        finished = false;
        result.reset();
    }
};

} // namespace gui
