#include "gui/TScalePrintForm.h"

#include "app/Translate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace gui {

namespace {

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

} // namespace

TScalePrintForm::TScalePrintForm(QWidget* parent)
    : QDialog(parent), FormStorage1(this, QStringLiteral("TScalePrintForm")) {
    setObjectName(QStringLiteral("ScalePrintForm"));
    setWindowTitle(QStringLiteral("Als PDF im Maßstab exportieren"));
    setModal(true);

    Label1 = named(new QLabel(QStringLiteral("Maßstab:"), this), "Label1");
    ScaleBox = named(new QComboBox(this), "ScaleBox");
    ScaleBox->setEditable(true);
    ScaleBox->setInsertPolicy(QComboBox::NoInsert);
    for (const int n : pixkit::ScalePresets)
        ScaleBox->addItem(QStringLiteral("1:%1").arg(n));
    ScaleBox->setCurrentText(QStringLiteral("1:50"));
    Label2 = named(new QLabel(QStringLiteral("Papier:"), this), "Label2");
    PaperBox = named(new QComboBox(this), "PaperBox");
    for (const char* name : {"A4", "A3", "A2", "A1", "A0"})
        PaperBox->addItem(QString::fromLatin1(name));
    QuerformatCheck = named(new QCheckBox(QStringLiteral("Querformat"), this), "QuerformatCheck");
    Label3 = named(new QLabel(QStringLiteral("Rand in mm:"), this), "Label3");
    RandEd = named(new QDoubleSpinBox(this), "RandEd");
    RandEd->setDecimals(1);
    RandEd->setRange(0.0, pixkit::MaxMarginMm);
    RandEd->setSingleStep(1.0);
    RandEd->setValue(pixkit::DefaultMarginMm);
    PreviewLabel = named(new QLabel(this), "PreviewLabel");
    PreviewLabel->setWordWrap(true);
    PreviewLabel->setMinimumWidth(280);
    OKBtn = named(new QPushButton(QStringLiteral("OK"), this), "OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = named(new QPushButton(QStringLiteral("Abbrechen"), this), "CancelBtn");
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(ScaleBox, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(PaperBox, 1, 1);
    grid->addWidget(QuerformatCheck, 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(RandEd, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(grid);
    lay->addWidget(PreviewLabel);
    lay->addLayout(buttons);
    lay->setSizeConstraint(QLayout::SetFixedSize);

    connect(ScaleBox, &QComboBox::currentTextChanged, this, [this] { updatePreview(); });
    connect(PaperBox, &QComboBox::currentIndexChanged, this, [this] { updatePreview(); });
    connect(QuerformatCheck, &QCheckBox::toggled, this, [this] { updatePreview(); });
    connect(RandEd, &QDoubleSpinBox::valueChanged, this, [this] { updatePreview(); });

    FormStorage1.addProperty(ScaleBox, "currentText", QStringLiteral("Text"));
    FormStorage1.addProperty(PaperBox, "currentIndex", QStringLiteral("ItemIndex"));
    FormStorage1.addProperty(QuerformatCheck, "checked", QStringLiteral("Checked"));
    FormStorage1.addProperty(RandEd, "value", QStringLiteral("Value"));
    updatePreview();
}

TScalePrintForm::~TScalePrintForm() {
    FormStorage1.saveIfPending();
}

std::optional<int> TScalePrintForm::parseScale(const QString& text) {
    QString t = text;
    t.remove(QLatin1Char(' '));
    if (t.startsWith(QStringLiteral("1:")))
        t = t.mid(2);
    if (t.isEmpty() || t.size() > 5)
        return std::nullopt;
    for (const QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const int n = t.toInt();
    if (n < pixkit::MinScale || n > pixkit::MaxScale)
        return std::nullopt;
    return n;
}

std::optional<int> TScalePrintForm::scale() const {
    return parseScale(ScaleBox->currentText());
}

pixkit::Paper TScalePrintForm::paper() const {
    const int i = std::clamp(PaperBox->currentIndex(), 0, 4);
    return {static_cast<pixkit::PaperSize>(i), QuerformatCheck->isChecked()};
}

double TScalePrintForm::marginMm() const {
    return RandEd->value();
}

void TScalePrintForm::setPicture(int widthPx, int heightPx, double pixelsPerCm) {
    m_widthPx = widthPx;
    m_heightPx = heightPx;
    m_pixelsPerCm = pixelsPerCm;
    updatePreview();
}

pixkit::PagePlan TScalePrintForm::plan() const {
    const std::optional<int> n = scale();
    if (!n) {
        pixkit::PagePlan refused;
        refused.status = pixkit::PrintStatus::BadScale;
        return refused;
    }
    return pixkit::PlanScalePrint(
        {m_widthPx, m_heightPx, m_pixelsPerCm, m_pixelsPerCm, *n, paper(), marginMm()});
}

void TScalePrintForm::updatePreview() {
    const pixkit::PagePlan p = plan();
    OKBtn->setEnabled(p.status == pixkit::PrintStatus::Done);
    if (p.status != pixkit::PrintStatus::Done) {
        PreviewLabel->setText(
            app::Translate(QString::fromUtf8(pixkit::PrintStatusGerman(p.status))));
        return;
    }
    const QLocale locale;
    const QString w = locale.toString(p.placedWidthMm / 10.0, 'f', 1);
    const QString h = locale.toString(p.placedHeightMm / 10.0, 'f', 1);
    if (p.pages() == 1)
        PreviewLabel->setText(
            app::Translate(QStringLiteral("Das Bild wird %1 × %2 cm groß: 1 Seite.")).arg(w, h));
    else
        PreviewLabel->setText(
            app::Translate(QStringLiteral("Das Bild wird %1 × %2 cm groß: %3 Seiten (%4 × %5)."))
                .arg(w, h)
                .arg(p.pages())
                .arg(p.columns)
                .arg(p.rows));
}

void TScalePrintForm::showEvent(QShowEvent* e) {
    if (!e->spontaneous())
        FormStorage1.restore();
    QDialog::showEvent(e);
    updatePreview();
}

void TScalePrintForm::done(int r) {
    FormStorage1.save();
    QDialog::done(r);
}

} // namespace gui
