// Small comforts of the window: "Ganzes Bild" zooms the photographs to fit
// their views, a swatch in the status bar shows the brush's colour and
// radius, and the menus answer Alt+letter and F10.

#include "app/Translate.h"
#include "gui/Mnemonics.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TMainForm.h"
#include "gui/ViewMapping.h"

#include <QAction>
#include <QEvent>
#include <QHelpEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolTip>

#include <algorithm>

namespace gui {

namespace {

// The brush swatch; its tip is translated when it shows, so it follows the
// language without a text of its own for the window translation.
class BrushSwatch : public QLabel {
public:
    using QLabel::QLabel;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ToolTip) {
            const auto* help = static_cast<QHelpEvent*>(e);
            QToolTip::showText(help->globalPos(),
                               app::Translate(QStringLiteral("Pinsel: Farbe und Radius in Pixeln")),
                               this);
            return true;
        }
        return QLabel::event(e);
    }
};

// The largest zoom within [lowest, highest] at which `w` x `h` image pixels
// fit into `room` view pixels; `lowest` when none does.
int fittingZoom(int w, int h, QSize room, int lowest, int highest) {
    int z = highest;
    if (w > 0)
        z = static_cast<int>(std::min<long long>(z, 100LL * std::max(room.width(), 0) / w + 1));
    if (h > 0)
        z = static_cast<int>(std::min<long long>(z, 100LL * std::max(room.height(), 0) / h + 1));
    while (z > lowest && (imageToView(w, z) > room.width() || imageToView(h, z) > room.height()))
        --z;
    return std::max(z, lowest);
}

} // namespace

void TMainForm::buildFrictions() {
    GanzesBild1 = new QAction(QStringLiteral("Ganzes Bild"), this);
    GanzesBild1->setObjectName(QStringLiteral("GanzesBild1"));
    GanzesBild1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    Bearbeiten1->addAction(GanzesBild1);
    connect(GanzesBild1, &QAction::triggered, this, [this] { GanzesBild1Click(); });

    BrushSwatchLabel = new BrushSwatch(StatusBar1);
    BrushSwatchLabel->setObjectName(QStringLiteral("BrushSwatchLabel"));
    StatusBar1->addPermanentWidget(BrushSwatchLabel);
    updateBrushSwatch();

    new MenuMnemonics(this, menuBar());
}

void TMainForm::GanzesBild1Click() {
    // Every photograph shown in its view, the larger one filling it.
    int z = ZoomEd->maximum();
    bool any = false;
    for (int slot : {1, 2}) {
        if (slot == 2 && !Panel4->isVisible())
            continue;
        const pixkit::Image& photo = ws.slot(slot).source;
        if (photo.empty())
            continue;
        const ScrollBox* box = slot == 1 ? ScrollBox1 : ScrollBox4;
        z = std::min(z, fittingZoom(photo.width(), photo.height(), box->maximumViewportSize(),
                                    ZoomEd->minimum(), ZoomEd->maximum()));
        any = true;
    }
    if (any)
        ZoomEd->setValue(z);
}

void TMainForm::updateBrushSwatch() {
    if (BrushSwatchLabel == nullptr)
        return;
    // A square of the colour, framed black and white, and the radius.
    const QString radius = QString::number(pinsel);
    const QFontMetrics fm(BrushSwatchLabel->font());
    const int side = std::max(fm.height(), 12);
    const int textWidth = fm.horizontalAdvance(radius);
    QPixmap pm(side + 4 + textWidth, side);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.fillRect(QRect(0, 0, side, side), Qt::black);
        p.fillRect(QRect(1, 1, side - 2, side - 2), Qt::white);
        p.fillRect(
            QRect(2, 2, side - 4, side - 4),
            QColor(pixkit::redOf(paintcol), pixkit::greenOf(paintcol), pixkit::blueOf(paintcol)));
        p.setPen(BrushSwatchLabel->palette().color(QPalette::WindowText));
        p.setFont(BrushSwatchLabel->font());
        p.drawText(QRect(side + 4, 0, textWidth, side), Qt::AlignVCenter | Qt::AlignLeft, radius);
    }
    BrushSwatchLabel->setPixmap(pm);
}

} // namespace gui
