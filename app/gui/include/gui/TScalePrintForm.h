#pragma once
// The dialog of the PDF at a drawing scale: the scale 1:N (a preset or any N
// from 1 to 10000), the paper and its orientation, the margin, and a preview
// of the placed size and the pages it takes. It keeps its last values per
// user.

#include "gui/FormStorage.h"
#include "pixkit/ScalePrint.h"

#include <QDialog>
#include <QString>

#include <optional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace gui {

class TScalePrintForm : public QDialog {
    Q_OBJECT
public:
    explicit TScalePrintForm(QWidget* parent = nullptr);
    ~TScalePrintForm() override;

    // The picture to print: its size and its pixels per cm of the facade.
    void setPicture(int widthPx, int heightPx, double pixelsPerCm);

    // N of the scale box ("1:50", "50", "1 : 50"); empty when it is none
    // from 1 to 10000.
    std::optional<int> scale() const;
    pixkit::Paper paper() const;
    double marginMm() const;
    // The page plan of the current values (status BadScale without a scale).
    pixkit::PagePlan plan() const;

    // "1:50" -> 50; empty for anything but a whole N from 1 to 10000.
    static std::optional<int> parseScale(const QString& text);

    QLabel* Label1 = nullptr; // "Maßstab:"
    QComboBox* ScaleBox = nullptr;
    QLabel* Label2 = nullptr; // "Papier:"
    QComboBox* PaperBox = nullptr;
    QCheckBox* QuerformatCheck = nullptr;
    QLabel* Label3 = nullptr; // "Rand in mm:"
    QDoubleSpinBox* RandEd = nullptr;
    QLabel* PreviewLabel = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    FormStorage FormStorage1;

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;

private:
    void updatePreview();

    int m_widthPx = 0;
    int m_heightPx = 0;
    double m_pixelsPerCm = 0.0;
};

} // namespace gui
