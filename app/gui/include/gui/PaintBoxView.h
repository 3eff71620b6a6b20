#pragma once
// A view of the main window: a plain widget that shows its owner's back
// buffer and hands the mouse to its owner's handlers. All drawing happens in
// the owner's paint handler (into the buffer); the widget's paintEvent only
// copies the buffer, and a resize of the widget calls the paint handler
// again, so a zoom change first sizes the view and then draws it.
//
// A large view keeps only the part the user can see in its buffer: the
// buffer then starts at bufferOrigin() of the view, and when scrolling or a
// larger viewport uncovers view pixels the buffer lacks, the view calls the
// paint handler again.

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>

class QPainter;

namespace gui {

class PaintBoxView : public QWidget {
    Q_OBJECT
public:
    explicit PaintBoxView(const QImage* buffer, QWidget* parent = nullptr);

    // Handlers of the owner; positions are view pixels.
    std::function<void(int x, int y)> onMouseDown;
    std::function<void(int x, int y)> onMouseMove;
    std::function<void(int x, int y)> onMouseUp;
    // A double click; without one it counts as a press, as Qt has it.
    std::function<void(int x, int y)> onDoubleClick;
    // The mouse left the view.
    std::function<void()> onLeave;
    std::function<void()> onPaint; // the owner's paint handler
    // Drawn over the buffer, in view pixels (the magnifier); may be empty.
    std::function<void(QPainter&)> onOverlay;
    // A key pressed while the view has the focus; true when handled.
    std::function<bool(int key, Qt::KeyboardModifiers modifiers)> onKey;

    // The view pixel where the buffer's top-left pixel belongs.
    QPoint bufferOrigin() const { return m_origin; }
    void setBufferOrigin(QPoint origin) { m_origin = origin; }
    // The part of the view inside its scroll box's viewport (all of it
    // without one).
    QRect visibleRect() const;
    // Called by the scroll box after it scrolled or resized: redraws when
    // the buffer does not hold all that is now visible.
    void visibleAreaChanged();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    const QImage* m_buffer;
    QPoint m_origin;
};

} // namespace gui
