#pragma once
// A view of the main window: a plain widget that shows its owner's back
// buffer and hands the mouse to its owner's handlers. All drawing happens in
// the owner's paint handler (into the buffer); the widget's paintEvent only
// copies the buffer, and a resize of the widget calls the paint handler
// again, so a zoom change first sizes the view and then draws it.

#include <QWidget>

#include <functional>

namespace gui {

class PaintBoxView : public QWidget {
    Q_OBJECT
public:
    explicit PaintBoxView(const QImage* buffer, QWidget* parent = nullptr);

    // Handlers of the owner; positions are view pixels.
    std::function<void(int x, int y)> onMouseDown;
    std::function<void(int x, int y)> onMouseMove;
    std::function<void(int x, int y)> onMouseUp;
    std::function<void()> onPaint; // the owner's paint handler

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    const QImage* m_buffer;
};

} // namespace gui
