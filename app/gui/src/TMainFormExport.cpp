// The DXF export of the main window: rectified image 1 becomes a line
// drawing, traced while the user watches the segments appear on its view.

#include "app/Translate.h"
#include "gui/FileDialog.h"
#include "gui/FileFilters.h"
#include "gui/PaintBoxView.h"
#include "gui/PhotographGuard.h"
#include "gui/ScrollBox.h"
#include "gui/TMainForm.h"

#include "lines/Export.h"
#include "lines/Trace.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPainter>
#include <QSpinBox>
#include <QStatusBar>

#include <cstdint>
#include <optional>

namespace gui {

namespace {

// The busy cursor for as long as the work runs, also when it ends early.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The window's part in the export: each stage shown, and the live drawing
// of each segment onto the view of image 1 at the current zoom.
class WindowLineEvents : public lines::LineEvents {
public:
    // The view is shown again at least this often while the trace runs.
    static constexpr qint64 RepaintIntervalMs = 200;

    WindowLineEvents(TMainForm& form, QImage& buffer, PaintBoxView* view, int zoomPercent,
                     std::function<void()> showOutOfMemory)
        : m_form(form), m_buffer(buffer), m_view(view), m_zoom(zoomPercent),
          m_showOutOfMemory(std::move(showOutOfMemory)) {
        m_sinceRepaint.start();
    }
    ~WindowLineEvents() override { m_painter.reset(); }

    void segmentFound(const lines::tlineinf& s, bool drawn) override {
        if (!drawn)
            return;
        if (!m_painter) {
            if (m_buffer.isNull())
                return;
            m_painter.emplace(&m_buffer); // the canvas's pen: black, one pixel
            // A large view's buffer holds only the part around what is visible.
            m_painter->translate(-m_view->bufferOrigin());
        }
        m_painter->drawLine(viewPos(s.x1), viewPos(s.y1), viewPos(s.x2), viewPos(s.y2));
        if (m_sinceRepaint.elapsed() >= RepaintIntervalMs) {
            // The buffer is shown as it is; the painter is reopened after.
            m_painter.reset();
            m_view->repaint();
            m_sinceRepaint.restart();
        }
    }
    void stageReached(lines::ExportStage stage) override {
        switch (stage) {
        case lines::ExportStage::Separated:
            // The lines of the old image are gone from both views.
            m_form.PaintBox1Paint();
            repaintResult();
            break;
        case lines::ExportStage::Unfiltered:
            m_showOutOfMemory(); // message 8; the trace goes on unfiltered
            break;
        case lines::ExportStage::Outlined:
            m_form.PaintBox1Paint();
            break;
        case lines::ExportStage::BlackWhite:
        case lines::ExportStage::Traced:
            repaintResult();
            break;
        }
    }

private:
    void repaintResult() {
        // The paint handler may give the buffer a new size.
        m_painter.reset();
        m_form.PaintBox2Paint();
        m_view->repaint();
        m_sinceRepaint.restart();
    }
    // Trunc(Z * v / 100); coordinates are never negative.
    int viewPos(std::int32_t v) const {
        return static_cast<int>(static_cast<std::int64_t>(m_zoom) * v / 100);
    }

    TMainForm& m_form;
    QImage& m_buffer;
    PaintBoxView* m_view;
    int m_zoom;
    std::function<void()> m_showOutOfMemory;
    std::optional<QPainter> m_painter;
    QElapsedTimer m_sinceRepaint;
};

} // namespace

QString TMainForm::chooseDxfFile() {
    // The filter was translated with the window's other texts at the start.
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("dxf"));
    dialog.setNameFilter(qtFilterFromPipes(SaveDialog2->filter()));
    const QString folder = SaveDialog2->startFolder();
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    SaveDialog2->rememberFolder(dialog.selectedFiles().constFirst());
    return dialog.selectedFiles().constFirst();
}

void TMainForm::ExportalsDXFDatei1Click() {
    // The blank start image is no rectified photograph.
    if (!hasRectified(1)) {
        reportError(
            app::Translate(QStringLiteral("Es gibt noch kein entzerrtes Bild. Bitte zuerst ein "
                                          "Bild öffnen und die vier Ecken setzen.")));
        return;
    }
    // A painted picture goes to the history; the trace works on a copy.
    keepPaintedPicture(1, true);
    showReplacedNotice();
    // The CAD drawing's photograph: image 1 before tracing turns it into outlines.
    pixkit::Image picture;
    if (drawingChoice().cad()) {
        picture.install(lines::DuplicateImage(ws.slot(1).result.get()));
        if (picture.empty()) {
            reportError(app::MessageText(8));
            return;
        }
    }
    lines::ExportEnd traced;
    {
        const BusyCursor busy;
        WindowLineEvents events(*this, bit1, PaintBox2, ZoomEd->value(),
                                [this] { reportError(app::MessageText(8)); });
        traced = ws.TraceDi2(Schwelled->value(), events);
    }
    if (traced == lines::ExportEnd::OutOfMemory)
        reportError(app::MessageText(8));
    if (traced != lines::ExportEnd::Traced)
        return; // the outline and lines found so far stay
    if (ws.lines.count() == 0) {
        // An empty drawing helps no one: the threshold left nothing to trace.
        reportError(app::Translate(
            QStringLiteral("Beim Nachzeichnen wurde keine Linie gefunden. Bitte einen anderen "
                           "Schwellwert S/W Trennung DXF versuchen.")));
        return;
    }
    const QString f = chooseDxfFile();
    if (f.isEmpty())
        return; // the outline image and the lines stay until the next run
    if (const QString refused = photographReplacedText(ws, f, false); !refused.isEmpty()) {
        reportError(refused);
        return;
    }
    writeDrawingFile(f, picture.empty() ? nullptr : &picture.get());
}

} // namespace gui
