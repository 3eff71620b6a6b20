#pragma once
// The information window: program name, version, the current year and a
// button that opens the maker's web page.

#include <QDialog>

class QLabel;
class QPushButton;

namespace gui {

// The maker's web page.
inline constexpr const char* MakerUrl = "https://www.velkor.de";

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QPushButton* WebBtn = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    // Opens the maker's page in the browser; a test replaces it.
    virtual void openMakerPage();
};

} // namespace gui
