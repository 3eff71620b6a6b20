#include "gui/TJPEGQualForm.h"

#include "app/Fields.h"
#include "app/Translate.h"
#include "app/UserStore.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QSignalBlocker>
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
    QualEd->setRange(static_cast<int>(app::fields::JpegQuality.minimum),
                     static_cast<int>(app::fields::JpegQuality.maximum));
    QualEd->setValue(static_cast<int>(app::fields::JpegQuality.start));
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    // The quality is written when it changes, with the dialog's placement.
    connect(QualEd, &QSpinBox::valueChanged, this, [this] { FormStorage1.changed(); });
    FormStorage1.onSave = [this](app::UserStore& store) {
        app::writeJpegQuality(store, quality());
    };

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(Label1);
    lay->addWidget(QualEd);
    lay->addWidget(BitBtn1, 0, Qt::AlignHCenter);
    lay->setSizeConstraint(QLayout::SetFixedSize);
}

TJPEGQualForm::~TJPEGQualForm() {
    if (FormStorage1.pending())
        save();
}

void TJPEGQualForm::restore() {
    FormStorage1.restore();
    bool unreadable = false;
    if (const std::optional<int> stored =
            app::storedJpegQuality(*openFormSettings(), &unreadable)) {
        const QSignalBlocker quiet(QualEd); // the stored value is no change
        QualEd->setValue(*stored);
    }
    if (unreadable && FormStorage1.onError)
        FormStorage1.onError(
            app::Translate(QStringLiteral("%1: Der gespeicherte Wert %2 ist nicht lesbar."))
                .arg(QStringLiteral("TJPEGQualForm"), QStringLiteral("QualEd_Value")));
}

void TJPEGQualForm::save() {
    FormStorage1.save(); // with the quality (onSave)
}

int TJPEGQualForm::quality() const {
    return QualEd->value();
}

void TJPEGQualForm::restoreStored() {
    restore();
}

void TJPEGQualForm::showEvent(QShowEvent* e) {
    if (!e->spontaneous())
        restore();
    QDialog::showEvent(e);
}

void TJPEGQualForm::done(int r) {
    save();
    QDialog::done(r);
}

} // namespace gui
