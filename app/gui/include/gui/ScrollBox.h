#pragma once

#include <QScrollArea>

namespace gui {

// The scroll box around a view. It leaves the wheel to the window, which
// scrolls the source view of image 1 wherever the mouse is.
class ScrollBox : public QScrollArea {
    Q_OBJECT
public:
    explicit ScrollBox(QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* e) override;
    // Both tell a view that keeps only its visible part what now shows.
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void tellView();
};

} // namespace gui
