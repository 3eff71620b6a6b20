#pragma once
// The overlay tool window "Übergeblendete Bilder verschieben": the shift of
// image 2 and the zoom of image 1 in the overlay of the rectified view 2.
// One instance lives for the whole run; the main window reads its fields
// directly. Changes recompose the overlay once, 500 ms after the last one.

#include <QDialog>

#include <functional>

class QDoubleSpinBox;
class QLabel;
class QSpinBox;
class QTimer;

namespace gui {

class TMovePicsForm : public QDialog {
    Q_OBJECT
public:
    explicit TMovePicsForm(QWidget* parent = nullptr);

    // Client area of the tool window.
    static constexpr int ClientWidth = 179;
    static constexpr int ClientHeight = 150;
    // Delay between the last change of a field and the recomposition.
    static constexpr int RepaintDelayMs = 500;

    void HorzEdChange(); // HorzEd changed
    void VertEdChange(); // VertEd or ZoomBlendEd changed
    void Timer1Timer();

    // Repaints view 2 of the main window (set by the main window).
    std::function<void()> repaintOverlay;

    QLabel* Label1 = nullptr; // "Horizontale Verschiebung:"
    QSpinBox* HorzEd = nullptr;
    QLabel* Label2 = nullptr; // "Vertikale Verschiebung:"
    QSpinBox* VertEd = nullptr;
    QLabel* Label3 = nullptr; // "Zoom:"
    QDoubleSpinBox* ZoomBlendEd = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void restartTimer1();
    bool m_placed = false;
};

} // namespace gui
