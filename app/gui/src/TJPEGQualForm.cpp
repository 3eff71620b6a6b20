#include "gui/TJPEGQualForm.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

namespace gui {

TJPEGQualForm::TJPEGQualForm(QWidget* parent)
    : QDialog(parent), FormStorage1(this, QStringLiteral("TJPEGQualForm")) {
    setObjectName(QStringLiteral("JPEGQualForm"));
    setWindowTitle(QStringLiteral("JPEG Qualität einstellen..."));
    setModal(true);

    Label1 = new QLabel(QStringLiteral("JPEG Qualität (100=beste Qualität):"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QualEd = new QSpinBox(this);
    QualEd->setObjectName(QStringLiteral("QualEd"));
    QualEd->setRange(1, 100);
    QualEd->setValue(90);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(Label1);
    lay->addWidget(QualEd);
    lay->addWidget(BitBtn1, 0, Qt::AlignHCenter);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    FormStorage1.addProperty(QualEd, "value", QStringLiteral("Value"));
}

TJPEGQualForm::~TJPEGQualForm() {
    FormStorage1.saveIfPending();
}

int TJPEGQualForm::quality() const {
    return QualEd->value();
}

void TJPEGQualForm::restoreStored() {
    FormStorage1.restore();
}

void TJPEGQualForm::showEvent(QShowEvent* e) {
    if (!e->spontaneous())
        FormStorage1.restore();
    QDialog::showEvent(e);
}

void TJPEGQualForm::done(int r) {
    FormStorage1.save();
    QDialog::done(r);
}

} // namespace gui
