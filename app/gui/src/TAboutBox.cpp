#include "gui/TAboutBox.h"

#include "app/Version.h"

#include <QDate>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace gui {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Info"));
    setModal(true);

    ProductName = new QLabel(QStringLiteral("Fassadenplan"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    ProductName->setFont(big);
    // The number --version prints, from the one place that holds it.
    Version =
        new QLabel(QStringLiteral("Version %1").arg(QLatin1String(app::ProgramVersion)), this);
    Version->setObjectName(QStringLiteral("Version"));
    Copyright =
        new QLabel(QStringLiteral("\u00A9 %1 Velkor").arg(QDate::currentDate().year()), this);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    WebBtn = new QPushButton(QString::fromLatin1(MakerUrl), this);
    WebBtn->setObjectName(QStringLiteral("WebBtn"));
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);

    connect(WebBtn, &QPushButton::clicked, this, [this] { openMakerPage(); });
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* lay = new QVBoxLayout(this);
    for (QWidget* w : {static_cast<QWidget*>(ProductName), static_cast<QWidget*>(Version),
                       static_cast<QWidget*>(Copyright)})
        lay->addWidget(w, 0, Qt::AlignHCenter);
    lay->addWidget(WebBtn);
    lay->addWidget(OKButton, 0, Qt::AlignHCenter);
    lay->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutBox::openMakerPage() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(MakerUrl)));
}

} // namespace gui
