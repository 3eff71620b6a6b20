#include "gui/TMovePicsForm.h"

#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

namespace gui {

TMovePicsForm::TMovePicsForm(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setObjectName(QStringLiteral("MovePicsForm"));
    setWindowTitle(QStringLiteral("Übergeblendete Bilder verschieben"));
    setModal(false);

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(8, 6, 8, 6);
    lay->setSpacing(1);

    Label1 = new QLabel(QStringLiteral("Horizontale Verschiebung:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    HorzEd = new QSpinBox(this);
    HorzEd->setObjectName(QStringLiteral("HorzEd"));
    // Shifts have no limits of their own: the overlay takes any whole number.
    HorzEd->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    HorzEd->setValue(0);

    Label2 = new QLabel(QStringLiteral("Vertikale Verschiebung:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    VertEd = new QSpinBox(this);
    VertEd->setObjectName(QStringLiteral("VertEd"));
    VertEd->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    VertEd->setValue(0);

    Label3 = new QLabel(QStringLiteral("Zoom:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    ZoomBlendEd = new QDoubleSpinBox(this);
    ZoomBlendEd->setObjectName(QStringLiteral("ZoomBlendEd"));
    ZoomBlendEd->setDecimals(3);
    ZoomBlendEd->setRange(0.001, 100000.0);
    ZoomBlendEd->setSingleStep(1.0);
    ZoomBlendEd->setValue(100.0);

    for (QWidget* w : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(HorzEd),
                       static_cast<QWidget*>(Label2), static_cast<QWidget*>(VertEd),
                       static_cast<QWidget*>(Label3), static_cast<QWidget*>(ZoomBlendEd)})
        lay->addWidget(w);
    lay->addStretch(1);
    setFixedSize(ClientWidth, ClientHeight);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(RepaintDelayMs);

    connect(HorzEd, &QSpinBox::valueChanged, this, [this] { HorzEdChange(); });
    connect(VertEd, &QSpinBox::valueChanged, this, [this] { VertEdChange(); });
    connect(ZoomBlendEd, &QDoubleSpinBox::valueChanged, this, [this] { VertEdChange(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TMovePicsForm::restartTimer1() {
    Timer1->stop();
    Timer1->start();
}

void TMovePicsForm::HorzEdChange() {
    restartTimer1();
}

void TMovePicsForm::VertEdChange() {
    restartTimer1();
}

void TMovePicsForm::Timer1Timer() {
    Timer1->stop();
    if (repaintOverlay)
        repaintOverlay();
}

void TMovePicsForm::showEvent(QShowEvent* e) {
    // Centred on the screen the first time; afterwards where the user left it.
    if (!m_placed && !e->spontaneous()) {
        m_placed = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(e);
}

} // namespace gui
