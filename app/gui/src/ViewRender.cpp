#include "gui/ViewRender.h"

#include "pixkit/Present.h"
#include "pixkit/QImageDevice.h"

#include <QMessageBox>

#include <string>

namespace gui {

namespace {

// The whole image, scaled into the whole buffer, through the same drawing
// routine every view uses.
void drawWholeImage(QImage& buffer, int w, int h, const pixkit::dib& image) {
    if (image.poi == nullptr || image.pmi == nullptr) {
        buffer.fill(Qt::black);
        return;
    }
    pixkit::QImageDevice device(buffer);
    device.setMessageSink([](const std::string& text) {
        QMessageBox::warning(nullptr, QString(), QString::fromStdString(text));
    });
    pixkit::DrawDibOnDevice(device, 0, 0, w, h, image, 0, 0, pixkit::dibwidth(image),
                            pixkit::dibheight(image), false, pixkit::SRCCOPY);
}

} // namespace

void renderImageToBuffer(QImage& buffer, int w, int h, const pixkit::dib& image) {
    if (w < 1 || h < 1) {
        buffer = QImage();
        return;
    }
    if (buffer.width() != w || buffer.height() != h || buffer.format() != QImage::Format_RGB32)
        buffer = QImage(w, h, QImage::Format_RGB32);
    if (buffer.isNull())
        return; // no memory for the buffer: the view stays as it was
    drawWholeImage(buffer, w, h, image);
}

} // namespace gui
