// Measuring in the rectified views at the real scale of the facade: while
// "Messen" is checked, clicks place points on the image pixels under the
// mouse; two give a distance, more a polyline, a double click closes a
// polygon. The figures use the scale the shown image's run recorded, appear
// in the status bar in the user's number format and are drawn over the view,
// never into the picture.

#include "app/Translate.h"
#include "gui/Loupe.h"
#include "gui/PaintBoxView.h"
#include "gui/TMainForm.h"
#include "gui/TMovePicsForm.h"

#include "pixkit/Overlay.h"
#include "pixkit/ScalePrint.h"

#include <QAction>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>

#include <algorithm>
#include <cstdint>

namespace gui {

namespace {

std::string translated(const std::string& german) {
    return app::Translate(QString::fromStdString(german)).toStdString();
}

QString translated(const char* german) {
    return app::Translate(QString::fromUtf8(german));
}

lines::NumberStyle userNumbers() {
    const QLocale locale;
    return {locale.decimalPoint().toStdString(), locale.groupSeparator().toStdString()};
}

// The pixel of a picture of `shown` pixels that view pixel (x, y) of a view
// of `viewSize` shows: the one the view's drawing picks there (length x v
// div view length), kept inside the picture.
lines::PixelPos shownPixel(int x, int y, QSize viewSize, QSize shown) {
    const auto pick = [](std::int64_t v, std::int64_t length, std::int64_t viewLength) {
        return static_cast<double>(length * std::max<std::int64_t>(v, 0) /
                                   std::max<std::int64_t>(viewLength, 1));
    };
    return lines::SnapToPixel(pick(x, shown.width(), viewSize.width()),
                              pick(y, shown.height(), viewSize.height()), shown.width(),
                              shown.height());
}

// The centre of a shown pixel in view pixels.
QPointF viewCentre(lines::PixelPos p, QSize viewSize, QSize shown) {
    return {(p.x + 0.5) * viewSize.width() / std::max(shown.width(), 1),
            (p.y + 0.5) * viewSize.height() / std::max(shown.height(), 1)};
}

QSize sizeOf(const pixkit::dib& d) {
    if (d.poi == nullptr || d.pmi == nullptr)
        return {0, 0};
    return {pixkit::dibwidth(d), pixkit::dibheight(d)};
}

} // namespace

void TMainForm::buildMeasureAndPrint() {
    N10 = ZeichnenimentzerrtenBild1->addSeparator();
    N10->setObjectName(QStringLiteral("N10"));
    N10->setText(QStringLiteral("-"));
    Messen1 = new QAction(QStringLiteral("Messen"), this);
    Messen1->setObjectName(QStringLiteral("Messen1"));
    Messen1->setCheckable(true);
    Messen1->setShortcut(QKeySequence(Qt::Key_M));
    ZeichnenimentzerrtenBild1->addAction(Messen1);
    Messungkopieren1 = new QAction(QStringLiteral("Messung kopieren"), this);
    Messungkopieren1->setObjectName(QStringLiteral("Messungkopieren1"));
    // Only while a measurement is shown, so Ctrl+C in a field still copies its text.
    Messungkopieren1->setShortcut(QKeySequence::Copy);
    Messungkopieren1->setEnabled(false);
    ZeichnenimentzerrtenBild1->addAction(Messungkopieren1);
    connect(Messen1, &QAction::toggled, this, [this] { Messen1Click(); });
    connect(Messungkopieren1, &QAction::triggered, this, [this] { Messungkopieren1Click(); });

    // Escape ends measuring as it ends the corner input.
    if (auto* escape = findChild<QShortcut*>(QStringLiteral("EscapeShortcut")))
        connect(escape, &QShortcut::activated, this, [this] {
            if (Messen1->isChecked())
                Messen1->setChecked(false);
        });

    for (int view : {1, 2}) {
        PaintBoxView* box = view == 1 ? PaintBox2 : PaintBox3;
        box->onOverlay = [this, view](QPainter& p) { drawMeasurement(view, p); };
        box->onDoubleClick = [this, view](int x, int y) {
            if (Messen1->isChecked())
                measureDoubleClick(view, x, y);
            else
                view == 1 ? PaintBox2MouseDown(x, y) : PaintBox3MouseDown(x, y);
        };
        box->onLeave = [this, view] {
            MeasureSession& m = m_measure;
            if (m.loupeView != view)
                return;
            const QRect was = m.loupeAt;
            m.loupeView = 0;
            m.loupeAt = QRect();
            m.loupe = QImage();
            m.hover.reset();
            (view == 1 ? PaintBox2 : PaintBox3)->update(was);
        };
    }
    // The brush cursor is set anew on these; measuring keeps its cross.
    const auto keepCross = [this] {
        if (Messen1->isChecked()) {
            PaintBox2->setCursor(Qt::CrossCursor);
            PaintBox3->setCursor(Qt::CrossCursor);
        }
    };
    connect(ZoomEd, &QSpinBox::valueChanged, this, keepCross);
    connect(GrererPinsel1, &QAction::triggered, this, keepCross);
    connect(KleinererPinsel1, &QAction::triggered, this, keepCross);
    // Measuring and the overlay: a measurement belongs to the picture shown.
    connect(BlendEd, &QSpinBox::valueChanged, this, [this] {
        if (m_measure.view == 1 && !measureMatchesView())
            clearMeasurement();
    });

    AlsPDFimMastabexportieren1 =
        new QAction(QStringLiteral("Als PDF im Maßstab exportieren..."), this);
    AlsPDFimMastabexportieren1->setObjectName(QStringLiteral("AlsPDFimMastabexportieren1"));
    Datei1->insertAction(N3, AlsPDFimMastabexportieren1);
    connect(AlsPDFimMastabexportieren1, &QAction::triggered, this,
            [this] { AlsPDFimMastabexportieren1Click(); });
    buildScalePrint();
}

void TMainForm::Messen1Click() {
    if (Messen1->isChecked()) {
        if (inpaint)
            brushUp(); // a stroke under the mouse ends here
        PaintBox2->setCursor(Qt::CrossCursor);
        PaintBox3->setCursor(Qt::CrossCursor);
        StatusBar1->showMessage(
            translated("Messen: zwei Punkte für einen Abstand, weitere für eine Linie, ein "
                       "Doppelklick schließt die Fläche; Esc beendet."));
        return;
    }
    endMeasuring();
    updateBrushCursor();
    StatusBar1->clearMessage();
}

void TMainForm::clearMeasurement() {
    const int view = m_measure.view;
    m_measure.clearPoints();
    Messungkopieren1->setEnabled(false);
    if (view != 0)
        (view == 1 ? PaintBox2 : PaintBox3)->update();
}

void TMainForm::endMeasuring() {
    const int loupeView = m_measure.loupeView;
    clearMeasurement();
    m_measure = MeasureSession();
    if (loupeView != 0)
        (loupeView == 1 ? PaintBox2 : PaintBox3)->update();
}

void TMainForm::measureImageRemade(int slot) {
    // The points belong to the image that was there; view 1 also shows
    // image 2 while the overlay is on.
    if (m_measure.view == slot || (m_measure.view == 1 && m_measure.overlay))
        clearMeasurement();
}

bool TMainForm::measureMatchesView() const {
    const MeasureSession& m = m_measure;
    if (m.view == 0)
        return false;
    if (m.view == 2)
        return m.shown == sizeOf(ws.slot(2).result);
    const bool overlay = BlendEd->value() != 0;
    if (overlay != m.overlay)
        return false;
    if (!overlay)
        return m.shown == sizeOf(ws.slot(1).result);
    const pixkit::OverlaySize canvas =
        pixkit::OverlayCanvasSize(ws.slot(1).result, ws.slot(2).result);
    return m.shown == QSize(canvas.width, canvas.height) &&
           MovePicsForm->ZoomBlendEd->value() == m.overlayZoomPercent;
}

TMainForm::MeasureTarget TMainForm::measureTarget(int view, int x, int y) const {
    MeasureTarget t;
    t.box = view == 1 ? PaintBox2 : PaintBox3;
    t.overlay = view == 1 && BlendEd->value() != 0;
    t.image = &(view == 2 ? ws.slot(2).result : (t.overlay ? ws.di3 : ws.slot(1).result)).get();
    t.shown = sizeOf(*t.image);
    if (t.overlay) { // the composite may hold only the part the view shows
        const pixkit::OverlaySize canvas =
            pixkit::OverlayCanvasSize(ws.slot(1).result, ws.slot(2).result);
        t.shown = QSize(canvas.width, canvas.height);
    }
    t.valid = !t.shown.isEmpty() && !t.box->size().isEmpty();
    if (t.valid)
        t.at = shownPixel(x, y, t.box->size(), t.shown);
    return t;
}

bool TMainForm::measureDown(int view, int x, int y) {
    if (Messen1 == nullptr || !Messen1->isChecked())
        return false;
    const MeasureTarget t = measureTarget(view, x, y);
    if (!t.valid)
        return true;
    PaintBoxView* box = t.box;
    const bool overlay = t.overlay;
    const QSize shown = t.shown;
    const lines::PixelPos at = t.at;
    // The pixel of the measured image: the overlay shows image 1 stretched
    // to the canvas and zoomed.
    lines::PixelPos inImage = at;
    if (overlay) {
        const std::optional<pixkit::OverlayPixel> p = pixkit::OverlayImage1Pixel(
            ws.slot(1).result, ws.slot(2).result, overlaySettings(), at.x, at.y);
        if (!p) {
            StatusBar1->showMessage(translated("Hier zeigt die Überblendung kein Bild 1."));
            return true;
        }
        inImage = {p->x, p->y};
    }
    MeasureSession& m = m_measure;
    if (m.view != view || m.finished || !measureMatchesView()) {
        clearMeasurement();
        m.view = view;
        m.overlay = overlay;
        m.shown = shown;
        m.overlayZoomPercent = MovePicsForm->ZoomBlendEd->value();
    }
    // A second press on the same pixel (the first half of a double click)
    // adds no side of length 0.
    if (m.shownPixels.empty() || m.shownPixels.back() != at || m.imagePixels.back() != inImage) {
        m.shownPixels.push_back(at);
        m.imagePixels.push_back(inImage);
    }
    showMeasurement();
    measureMove(view, x, y);
    box->update();
    return true;
}

void TMainForm::measureDoubleClick(int view, int x, int y) {
    MeasureSession& m = m_measure;
    // The press before the double click placed its point already.
    if (m.view != view || m.finished) {
        measureDown(view, x, y);
        return;
    }
    // A polygon closed on its first point does not repeat it.
    if (m.shownPixels.size() >= 4 && m.shownPixels.back() == m.shownPixels.front() &&
        m.imagePixels.back() == m.imagePixels.front()) {
        m.shownPixels.pop_back();
        m.imagePixels.pop_back();
    }
    if (m.imagePixels.size() < 2)
        return; // one point: nothing to end yet
    m.closed = m.imagePixels.size() >= 3;
    m.finished = true;
    showMeasurement();
    (view == 1 ? PaintBox2 : PaintBox3)->update();
}

bool TMainForm::measureMove(int view, int x, int y) {
    if (Messen1 == nullptr || !Messen1->isChecked())
        return false;
    if (view == 1 && BlendEd->value() != 0)
        composeWholeOverlay(); // the magnifier reads the composite's pixels
    const MeasureTarget t = measureTarget(view, x, y);
    if (!t.valid)
        return true;
    PaintBoxView* box = t.box;
    const pixkit::dib& shownImage = *t.image;
    const QSize shown = t.shown;
    const lines::PixelPos at = t.at;
    MeasureSession& m = m_measure;
    // The magnifier follows the mouse from view to view.
    if (m.loupeView != 0 && m.loupeView != view) {
        const QRect was = m.loupeAt;
        (m.loupeView == 1 ? PaintBox2 : PaintBox3)->update(was);
    }
    m.loupeView = view;
    m.hover = at;
    m.loupe = loupePicture(shownImage, {at.x, at.y}, ZoomEd->value(),
                           palette().color(QPalette::Dark).rgb());
    m.loupeAt = m.loupe.isNull()
                    ? QRect()
                    : loupePlace(box->visibleRect(), viewCentre(at, box->size(), shown).toPoint());
    box->update();
    return true;
}

void TMainForm::showMeasurement() {
    MeasureSession& m = m_measure;
    m.result.reset();
    Messungkopieren1->setEnabled(false);
    const int slot = m.view;
    const std::optional<rectify::RunScale>& scale = ws.slot(slot).scale;
    if (!hasRectified(slot)) {
        StatusBar1->showMessage(
            translated(pixkit::PrintStatusGerman(pixkit::PrintStatus::NoImage)));
        return;
    }
    if (!scale || !scale->pixelsPerCm) {
        StatusBar1->showMessage(
            translated(pixkit::PrintStatusGerman(pixkit::PrintStatus::NoScale)));
        return;
    }
    if (m.imagePixels.size() < 2) {
        StatusBar1->clearMessage();
        return;
    }
    m.result = lines::Measure(m.imagePixels, m.closed, {*scale->pixelsPerCm, *scale->pixelsPerCm});
    if (!m.result)
        return;
    const lines::MeasureTexts texts =
        lines::TranslatedMeasureTexts([](const std::string& german) { return translated(german); });
    StatusBar1->showMessage(
        QString::fromStdString(lines::MeasureText(*m.result, texts, userNumbers())));
    Messungkopieren1->setEnabled(true);
}

void TMainForm::Messungkopieren1Click() {
    if (!m_measure.result)
        return;
    const lines::MeasureTexts texts =
        lines::TranslatedMeasureTexts([](const std::string& german) { return translated(german); });
    QGuiApplication::clipboard()->setText(QString::fromStdString(
        lines::MeasureClipboardText(*m_measure.result, texts, userNumbers())));
}

void TMainForm::drawMeasurement(int view, QPainter& p) {
    const MeasureSession& m = m_measure;
    PaintBoxView* box = view == 1 ? PaintBox2 : PaintBox3;
    if (m.view == view && !m.shownPixels.empty() && measureMatchesView()) {
        QPainterPath path;
        path.moveTo(viewCentre(m.shownPixels.front(), box->size(), m.shown));
        for (std::size_t i = 1; i < m.shownPixels.size(); ++i)
            path.lineTo(viewCentre(m.shownPixels[i], box->size(), m.shown));
        if (m.closed)
            path.closeSubpath();
        p.save();
        p.setRenderHint(QPainter::Antialiasing, true);
        // Yellow on a dark rim shows on any facade.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0, 0, 0), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
        p.setPen(QPen(QColor(255, 220, 0), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
        if (!m.finished && m.hover && m.loupeView == view) {
            p.setPen(QPen(QColor(255, 220, 0), 1.0, Qt::DashLine));
            p.drawLine(viewCentre(m.shownPixels.back(), box->size(), m.shown),
                       viewCentre(*m.hover, box->size(), m.shown));
        }
        p.setPen(QPen(QColor(0, 0, 0), 1.0));
        p.setBrush(QColor(255, 220, 0));
        for (const lines::PixelPos& pt : m.shownPixels)
            p.drawRect(
                QRectF(viewCentre(pt, box->size(), m.shown) - QPointF(2.5, 2.5), QSizeF(5.0, 5.0)));
        p.restore();
    }
    if (m.loupeView == view && !m.loupeAt.isEmpty() && !m.loupe.isNull())
        p.drawImage(m.loupeAt.topLeft(), m.loupe);
}

} // namespace gui
