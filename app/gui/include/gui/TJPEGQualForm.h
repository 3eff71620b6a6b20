#pragma once
// The JPEG quality dialog: one stored number, read by the save commands and
// (through app::readJpegQuality, the same store) by the batch mode.

#include "gui/FormStorage.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QSpinBox;

namespace gui {

class TJPEGQualForm : public QDialog {
    Q_OBJECT
public:
    explicit TJPEGQualForm(QWidget* parent = nullptr);
    ~TJPEGQualForm() override;

    // The JPEG quality, 1 ... 100 (100 = best).
    int quality() const;

    // Restores the stored quality and placement (also done on every show).
    void restoreStored();

    QLabel* Label1 = nullptr;
    QSpinBox* QualEd = nullptr;
    QPushButton* BitBtn1 = nullptr;
    FormStorage FormStorage1;

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;

private:
    void restore();
    void save();
};

} // namespace gui
