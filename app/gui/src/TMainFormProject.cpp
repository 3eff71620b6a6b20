// Projects in the window: "Projekt speichern...", "Projekt öffnen...",
// "Zuletzt geöffnete Projekte", the photograph a project misses, the window
// title with the project's name and its unsaved changes, and the question
// before a session with unsaved changes is left.

#include "app/Translate.h"
#include "gui/FaultText.h"
#include "gui/FileDialog.h"
#include "gui/FormStorage.h"
#include "gui/MessageBoxes.h"
#include "gui/TMainForm.h"
#include "gui/TMovePicsForm.h"
#include "pixkit/DepthTurn.h"
#include "pixkit/ImageFile.h"

#include "foundation/ReplaceFile.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include <cerrno>

namespace gui {

namespace {

constexpr int MaxRecentProjects = 8;

QString withProjectExtension(QString file) {
    if (QFileInfo(file).suffix().isEmpty())
        file += QString::fromLatin1(app::ProjectExtension.data(),
                                    static_cast<qsizetype>(app::ProjectExtension.size()));
    return file;
}

const QString RecentGroup = QStringLiteral("RecentProjects");
const QString RecentKey = QStringLiteral("Files");
constexpr int BlankWidth = 320;
constexpr int BlankHeight = 200;

std::string bytesOf(const QString& file) {
    return QFile::encodeName(file).toStdString();
}

QString fileOf(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QString shown(const QString& file) {
    return QDir::toNativeSeparators(file);
}

QString absolute(const QString& file) {
    return QDir::cleanPath(QFileInfo(file).absoluteFilePath());
}

} // namespace

void TMainForm::buildProjectCommands() {
    auto named = [](QAction* a, const char* name) {
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    N11 = named(new QAction(QStringLiteral("-"), this), "N11");
    N11->setSeparator(true);
    Projektffnen1 = named(new QAction(QStringLiteral("Projekt öffnen..."), this), "Projektffnen1");
    ZuletztgeffneteProjekte1 = new QMenu(QStringLiteral("Zuletzt geöffnete Projekte"), this);
    ZuletztgeffneteProjekte1->setObjectName(QStringLiteral("ZuletztgeffneteProjekte1"));
    ZuletztgeffneteProjekte1->menuAction()->setObjectName(
        QStringLiteral("ZuletztgeffneteProjekte1"));
    Projektspeichern1 =
        named(new QAction(QStringLiteral("Projekt speichern..."), this), "Projektspeichern1");
    Projektspeichern1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    // Below the photographs, above the saving of the rectified images.
    for (QAction* a :
         {N11, Projektffnen1, ZuletztgeffneteProjekte1->menuAction(), Projektspeichern1})
        Datei1->insertAction(N7, a);
    connect(Projektffnen1, &QAction::triggered, this, [this] { Projektffnen1Click(); });
    connect(Projektspeichern1, &QAction::triggered, this, [this] { Projektspeichern1Click(); });
    // The items are made when the menu opens: file names are no texts to translate.
    connect(ZuletztgeffneteProjekte1, &QMenu::aboutToShow, this, [this] { fillRecentMenu(); });
    ZuletztgeffneteProjekte1->menuAction()->setEnabled(!recentProjects().isEmpty());

    ProjectDialog1 = new FileDialog(QStringLiteral("ProjectDialog1"), this);
    ProjectDialog1->setFilter(
        QStringLiteral("Fassadenplan-Projekte (*.fassadenplan)|*.fassadenplan"));

    MissingPhotoLabel = new QLabel(StatusBar1);
    MissingPhotoLabel->setObjectName(QStringLiteral("MissingPhotoLabel"));
    FotosuchenBtn = new QPushButton(QStringLiteral("Foto suchen..."), StatusBar1);
    FotosuchenBtn->setObjectName(QStringLiteral("FotosuchenBtn"));
    StatusBar1->addPermanentWidget(MissingPhotoLabel);
    StatusBar1->addPermanentWidget(FotosuchenBtn);
    MissingPhotoLabel->setVisible(false);
    FotosuchenBtn->setVisible(false);
    connect(FotosuchenBtn, &QPushButton::clicked, this, [this] { FotosuchenBtnClick(); });

    // Every change of what a project keeps shows in the title at once.
    const auto changed = [this] { updateProjectTitle(); };
    for (QDoubleSpinBox* e : {BreiteED, HoeheEd, RxSpinEdit1, RxSpinEdit2})
        connect(e, &QDoubleSpinBox::valueChanged, this, changed);
    for (QSpinBox* e : {zieledValue, RechenbereichEd, ZoomEd, BlendEd, Schwelled,
                        MovePicsForm->HorzEd, MovePicsForm->VertEd})
        connect(e, &QSpinBox::valueChanged, this, changed);
    connect(MovePicsForm->ZoomBlendEd, &QDoubleSpinBox::valueChanged, this, changed);
    connect(NowDoNotRenderCheck, &QCheckBox::toggled, this, changed);
    connect(Weltdateimitspeichern1, &QAction::toggled, this, changed);
    connect(InterpolationGroup, &QActionGroup::triggered, this, changed);
}

// ---------------------------------------------------------------- the model

app::Project TMainForm::currentProject() const {
    app::Project p;
    p.panel.realWidthCm = BreiteED->value();
    p.panel.realHeightCm = HoeheEd->value();
    p.panel.targetPercent = zieledValue->value();
    p.panel.areaPercent = RechenbereichEd->value();
    p.panel.angleXDeg = RxSpinEdit1->value();
    p.panel.angleYDeg = RxSpinEdit2->value();
    p.panel.anglesTyped = ws.setwink;
    p.panel.sampling = interpolation();
    p.hold = holdChecked();
    for (int n = 1; n <= 2; ++n) {
        const std::size_t i = static_cast<std::size_t>(n - 1);
        const app::Slot& s = ws.slot(n);
        const bool missing = !m_missingPhoto[i].empty();
        if (s.fileName.empty() && !missing)
            continue;
        app::ProjectPhoto photo;
        photo.path =
            missing ? m_missingPhoto[i] : absolute(fileOf(s.fileName)).toUtf8().toStdString();
        photo.turns = m_turns[i];
        // A quad being placed is not the session's yet: the one before it is.
        if (s.insetmode() && m_cornerBefore[i]) {
            photo.corners = m_cornerBefore[i]->corners;
            photo.cornersSet = m_cornerBefore[i]->setted;
        } else {
            photo.corners = s.corners;
            photo.cornersSet = s.setted();
        }
        photo.fields = m_madeWith[i].value_or(p.panel);
        photo.lens = app::withLensSetting(m_lens[i], lensSettingOf(n));
        p.photos[i] = std::move(photo);
    }
    p.zoomPercent = ZoomEd->value();
    p.blendPercent = BlendEd->value();
    p.overlayShiftX = MovePicsForm->HorzEd->value();
    p.overlayShiftY = MovePicsForm->VertEd->value();
    p.overlayZoomPercent = MovePicsForm->ZoomBlendEd->value();
    p.threshold = Schwelled->value();
    p.worldFile = Weltdateimitspeichern1->isChecked();
    return p;
}

bool TMainForm::projectModified() const {
    if (m_savedProject)
        return !(currentProject() == *m_savedProject);
    // Without a project, the work a user would miss is a quad.
    return ws.slot(1).setted() || ws.slot(2).setted();
}

void TMainForm::projectRunMade(int slot, const rectify::RunRequest& request,
                               const rectify::RunResult& result) {
    app::ProjectFields f;
    f.realWidthCm = request.realWidthCm;
    f.realHeightCm = request.realHeightCm;
    f.targetPercent = request.targetPercent;
    f.areaPercent = request.areaPercent;
    f.anglesTyped = request.fixedAngles;
    f.angleXDeg = result.pose ? result.pose->angleX : request.angleXDeg;
    f.angleYDeg = result.pose ? result.pose->angleY : request.angleYDeg;
    f.sampling = request.sampling;
    m_madeWith[slot - 1] = f;
}

void TMainForm::projectPhotoOpened(int slot) {
    const std::size_t i = static_cast<std::size_t>(slot - 1);
    m_turns[i] = 0;
    m_missingPhoto[i].clear();
    m_lens[i].reset();
    lensSourceChanged(slot);
    updateMissingPhotos();
    updateProjectTitle();
}

void TMainForm::projectSourceTurned(int slot, bool left) {
    lensSourceChanged(slot);
    int& turns = m_turns[slot - 1];
    turns = (turns + (left ? 3 : 1)) % 4;
}

// ---------------------------------------------------------------- title

void TMainForm::updateProjectTitle() {
    if (m_applyingProject || Projektspeichern1 == nullptr)
        return;
    const QString program = app::Translate(QStringLiteral("Velkor Fassadenplan 1.0"));
    QString name;
    if (!m_projectFile.isEmpty())
        name = QFileInfo(m_projectFile).fileName();
    else if (!ws.slot(1).fileName.empty())
        name = QFileInfo(fileOf(ws.slot(1).fileName)).fileName();
    else if (!ws.slot(2).fileName.empty())
        name = QFileInfo(fileOf(ws.slot(2).fileName)).fileName();
    const bool modified = projectModified();
    if (name.isEmpty() && !modified)
        setWindowTitle(program);
    else
        setWindowTitle(name + (modified ? QStringLiteral("*") : QString()) +
                       QStringLiteral(" \u2013 ") + program);
}

// ---------------------------------------------------------------- saving

QString TMainForm::placeShown(const std::string& place) const {
    // The field a value belongs to, as the control panel names it.
    const QString p = QString::fromStdString(place);
    const QString key = p.section(QLatin1Char('.'), -1);
    const std::pair<const char*, const QLabel*> labels[] = {
        {"realWidthCm", Label4}, {"realHeightCm", Label5}, {"targetPercent", Label6},
        {"areaPercent", Label7}, {"angleXDeg", Label2},    {"angleYDeg", Label3},
        {"zoomPercent", Label1}, {"threshold", Label8},    {"blendPercent", Label9}};
    for (const auto& [name, label] : labels)
        if (key == QLatin1String(name) && !p.startsWith(QLatin1String("view.overlay"))) {
            QString caption = label->text().trimmed();
            if (caption.endsWith(QLatin1Char(':')))
                caption.chop(1);
            return QStringLiteral("%1 (%2)").arg(caption, p);
        }
    return p;
}

bool TMainForm::saveProject(const QString& file) {
    const app::Project p = currentProject();
    if (const std::optional<std::string> bad = app::absurdValue(p)) {
        reportError(
            app::Translate(QStringLiteral("Das Projekt kann nicht gespeichert werden: der Wert %1 "
                                          "ist unmöglich."))
                .arg(placeShown(*bad)));
        return false;
    }
    const int e = app::writeProjectFile(p, bytesOf(file));
    if (e != 0) {
        reportError(
            app::Translate(QStringLiteral("Das Projekt konnte nicht gespeichert werden: %1"))
                .arg(shown(file)) +
            QLatin1Char('\n') + faultText(fp::fileFault(e)));
        return false;
    }
    m_projectFile = absolute(file);
    m_savedProject = p;
    addRecentProject(m_projectFile);
    updateProjectTitle();
    StatusBar1->showMessage(
        app::Translate(QStringLiteral("Projekt gespeichert: %1")).arg(shown(m_projectFile)));
    return true;
}

QString TMainForm::chooseProjectSaveFile() {
    ProjectDialog1->setFilter(app::Translate(ProjectDialog1->filter()));
    QString start = m_projectFile;
    if (start.isEmpty() && !ws.slot(1).fileName.empty()) {
        const QFileInfo photo(fileOf(ws.slot(1).fileName));
        start = photo.absoluteDir().filePath(
            photo.completeBaseName() +
            QString::fromLatin1(app::ProjectExtension.data(),
                                static_cast<qsizetype>(app::ProjectExtension.size())));
    }
    return ProjectDialog1->getSaveFileName(this, nullptr, start);
}

void TMainForm::Projektspeichern1Click() {
    const QString file = chooseProjectSaveFile();
    if (!file.isEmpty())
        saveProject(withProjectExtension(file));
}

bool TMainForm::confirmDiscard() {
    if (!projectModified())
        return true;
    QString name = m_projectFile.isEmpty() ? QString() : QFileInfo(m_projectFile).fileName();
    const QString text =
        name.isEmpty()
            ? app::Translate(QStringLiteral(
                  "Die Ecken und Eingaben sind in keinem Projekt gespeichert. Als Projekt "
                  "speichern?"))
            : app::Translate(QStringLiteral("Das Projekt %1 wurde geändert. Änderungen speichern?"))
                  .arg(name);
    QMessageBox box(QMessageBox::Question, defaultCaption(), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.button(QMessageBox::Save)->setText(app::Translate(QStringLiteral("Speichern")));
    box.button(QMessageBox::Discard)->setText(app::Translate(QStringLiteral("Verwerfen")));
    box.button(QMessageBox::Cancel)->setText(app::Translate(QStringLiteral("Abbrechen")));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (execMessageBox(box)) {
    case QMessageBox::Discard:
        return true;
    case QMessageBox::Save: {
        QString file = m_projectFile;
        if (file.isEmpty()) {
            file = chooseProjectSaveFile();
            if (file.isEmpty())
                return false;
            file = withProjectExtension(file);
        }
        return saveProject(file);
    }
    default:
        return false;
    }
}

// ---------------------------------------------------------------- opening

QString TMainForm::chooseProjectOpenFile() {
    ProjectDialog1->setFilter(app::Translate(ProjectDialog1->filter()));
    return ProjectDialog1->getOpenFileName(this);
}

QString TMainForm::chooseMissingPhoto(int, const QString&) {
    return chooseOpenFile();
}

void TMainForm::Projektffnen1Click() {
    if (!confirmDiscard())
        return;
    const QString file = chooseProjectOpenFile();
    if (!file.isEmpty())
        openProject(file);
}

bool TMainForm::openStartProject() {
    const QString name = !startFileBytes.empty() ? fileOf(startFileBytes)
                         : m_params.isEmpty()    ? QString()
                                                 : m_params.front();
    if (name.isEmpty() || !app::isProjectFile(name.toUtf8().toStdString()))
        return false;
    openProject(name);
    return true;
}

void TMainForm::rerunWithFields(int slot, const app::ProjectFields& f) {
    {
        const QSignalBlocker b1(BreiteED), b2(HoeheEd), b3(zieledValue), b4(RechenbereichEd),
            b5(RxSpinEdit1), b6(RxSpinEdit2), b7(NowDoNotRenderCheck);
        BreiteED->setValue(f.realWidthCm);
        HoeheEd->setValue(f.realHeightCm);
        zieledValue->setValue(f.targetPercent);
        RechenbereichEd->setValue(f.areaPercent);
        RxSpinEdit1->setValue(f.angleXDeg);
        RxSpinEdit2->setValue(f.angleYDeg);
        NowDoNotRenderCheck->setChecked(false);
        (f.sampling == rectify::Interpolation::Bilinear  ? Bilinear1
         : f.sampling == rectify::Interpolation::Bicubic ? Bikubisch1
                                                         : NchsterNachbar1)
            ->setChecked(true);
    }
    ws.setwink = f.anglesTyped;
    ws.breitetoset = false;
    render(slot);
}

bool TMainForm::openProject(const QString& file) {
    const app::ProjectRead read = app::readProjectFile(bytesOf(file));
    if (!read.project) {
        const QString f = shown(file);
        QString text;
        switch (read.error) {
        case app::ProjectError::Unreadable:
            text = app::Translate(QStringLiteral("Die Projektdatei %1 kann nicht gelesen werden."))
                       .arg(f) +
                   QLatin1Char('\n') + faultText(fp::fileFault(read.code));
            break;
        case app::ProjectError::Foreign:
            text =
                app::Translate(QStringLiteral("Die Datei %1 ist keine Fassadenplan-Projektdatei."))
                    .arg(f);
            break;
        case app::ProjectError::Newer:
            text = app::Translate(QStringLiteral("Die Projektdatei %1 stammt aus einer neueren "
                                                 "Version von Fassadenplan (Format %2) und kann "
                                                 "nicht geöffnet werden."))
                       .arg(f, QString::fromStdString(read.detail));
            break;
        case app::ProjectError::Absurd:
            text = app::Translate(QStringLiteral("Die Projektdatei %1 enthält einen unmöglichen "
                                                 "Wert und wird nicht geöffnet: %2"))
                       .arg(f, placeShown(read.detail));
            break;
        default:
            text =
                app::Translate(QStringLiteral("Die Projektdatei %1 ist beschädigt und wird nicht "
                                              "geöffnet."))
                    .arg(f);
            if (!read.detail.empty())
                text += QLatin1Char('\n') + QString::fromStdString(read.detail);
            break;
        }
        reportError(text);
        return false;
    }
    const app::Project& p = *read.project;

    // The photographs first: nothing of the session changes before they are read.
    pixkit::Image photos[2];
    for (std::size_t i = 0; i < 2; ++i) {
        if (!p.photos[i])
            continue;
        photos[i] = app::openAs24(bytesOf(QString::fromStdString(p.photos[i]->path)));
        for (int t = 0; t < p.photos[i]->turns && !photos[i].empty(); ++t)
            pixkit::TurnSourceImage(photos[i].get(), pixkit::TurnDirection::Right);
    }

    m_applyingProject = true;
    Timer1->stop();
    ws.setwink = false;
    ws.breitetoset = false;
    ws.movepoint = false;
    m_history = EditHistory();
    for (int n = 1; n <= 2; ++n) {
        const std::size_t i = static_cast<std::size_t>(n - 1);
        app::Slot& s = ws.slot(n);
        const std::optional<app::ProjectPhoto>& photo = p.photos[i];
        const bool found = photo && !photos[i].empty();
        s.source = found ? std::move(photos[i]) : pixkit::Image::blank(BlankWidth, BlankHeight);
        s.fileName = found ? bytesOf(QString::fromStdString(photo->path)) : std::string();
        s.corners = photo ? photo->corners : rectify::Corners{};
        s.mode = photo && photo->cornersSet ? app::CornerMode::Complete : app::CornerMode::Empty;
        s.following = 0;
        s.result = pixkit::Image::blank(BlankWidth, BlankHeight);
        s.scale.reset();
        m_blankResult[i] = s.result.pixels();
        m_hasResult[i] = false;
        m_mismatch[i] = false;
        m_cornerBefore[i].reset();
        m_lastCorner[i] = app::LastCorner;
        m_missingPhoto[i] = photo && !found ? photo->path : std::string();
        m_turns[i] = photo ? photo->turns : 0;
        m_lens[i] = photo ? photo->lens : std::nullopt;
        lensSourceChanged(n);
        m_madeWith[i] = photo ? std::optional<app::ProjectFields>(photo->fields) : std::nullopt;
    }
    {
        const QSignalBlocker b1(ZoomEd), b2(BlendEd), b3(Schwelled), b4(MovePicsForm->HorzEd),
            b5(MovePicsForm->VertEd), b6(MovePicsForm->ZoomBlendEd);
        ZoomEd->setValue(p.zoomPercent);
        BlendEd->setValue(p.blendPercent);
        Schwelled->setValue(p.threshold);
        MovePicsForm->HorzEd->setValue(p.overlayShiftX);
        MovePicsForm->VertEd->setValue(p.overlayShiftY);
        MovePicsForm->ZoomBlendEd->setValue(p.overlayZoomPercent);
        Weltdateimitspeichern1->setChecked(p.worldFile);
        applyProjectLens(p);
    }
    if (p.photos[1])
        showImage2Row();
    else
        Panel4->setVisible(false);

    // Both images anew with the values they were made with.
    for (int n = 1; n <= 2; ++n) {
        const std::size_t i = static_cast<std::size_t>(n - 1);
        if (p.photos[i] && m_missingPhoto[i].empty() && p.photos[i]->cornersSet)
            rerunWithFields(n, p.photos[i]->fields);
    }
    // Then the control panel as it was saved.
    {
        const QSignalBlocker b1(BreiteED), b2(HoeheEd), b3(zieledValue), b4(RechenbereichEd),
            b5(RxSpinEdit1), b6(RxSpinEdit2), b7(NowDoNotRenderCheck);
        BreiteED->setValue(p.panel.realWidthCm);
        HoeheEd->setValue(p.panel.realHeightCm);
        zieledValue->setValue(p.panel.targetPercent);
        RechenbereichEd->setValue(p.panel.areaPercent);
        RxSpinEdit1->setValue(p.panel.angleXDeg);
        RxSpinEdit2->setValue(p.panel.angleYDeg);
        NowDoNotRenderCheck->setChecked(p.hold);
        (p.panel.sampling == rectify::Interpolation::Bilinear  ? Bilinear1
         : p.panel.sampling == rectify::Interpolation::Bicubic ? Bikubisch1
                                                               : NchsterNachbar1)
            ->setChecked(true);
    }
    ws.setwink = p.panel.anglesTyped;
    Timer1->stop();
    // A picture made with other values than the panel now shows says so.
    for (int n = 1; n <= 2; ++n) {
        const std::size_t i = static_cast<std::size_t>(n - 1);
        if (!p.photos[i] || !hasRectified(n))
            continue;
        const app::ProjectFields& made = p.photos[i]->fields;
        m_mismatch[i] =
            made.realWidthCm != p.panel.realWidthCm || made.realHeightCm != p.panel.realHeightCm ||
            made.targetPercent != p.panel.targetPercent ||
            made.areaPercent != p.panel.areaPercent || made.sampling != p.panel.sampling;
    }
    MismatchLabel->setVisible(m_mismatch[0] || m_mismatch[1]);
    updateSaveCommands();
    updateUndoAction();
    PaintBox1Paint();
    PaintBox2Paint();
    PaintBox3Paint();
    PaintBox4Paint();

    m_projectFile = absolute(file);
    m_applyingProject = false;
    m_savedProject = currentProject();
    addRecentProject(m_projectFile);
    updateProjectTitle();
    updateMissingPhotos();
    if (!MissingPhotoLabel->isVisible())
        StatusBar1->showMessage(
            app::Translate(QStringLiteral("Projekt geöffnet: %1")).arg(shown(m_projectFile)));
    return true;
}

// ---------------------------------------------------------------- a missing photograph

void TMainForm::updateMissingPhotos() {
    if (MissingPhotoLabel == nullptr)
        return;
    QStringList parts;
    for (int n = 1; n <= 2; ++n)
        if (!m_missingPhoto[n - 1].empty())
            parts << app::Translate(QStringLiteral("Foto %1 fehlt: %2"))
                         .arg(n)
                         .arg(shown(QString::fromStdString(m_missingPhoto[n - 1])));
    MissingPhotoLabel->setText(parts.join(QStringLiteral("; ")));
    MissingPhotoLabel->setVisible(!parts.isEmpty());
    FotosuchenBtn->setVisible(!parts.isEmpty());
}

void TMainForm::FotosuchenBtnClick() {
    const int slot = !m_missingPhoto[0].empty() ? 1 : !m_missingPhoto[1].empty() ? 2 : 0;
    if (slot == 0)
        return;
    const std::size_t i = static_cast<std::size_t>(slot - 1);
    const QString file = chooseMissingPhoto(slot, QString::fromStdString(m_missingPhoto[i]));
    if (file.isEmpty())
        return;
    pixkit::Image photo = app::openAs24(bytesOf(file));
    if (photo.empty()) {
        StatusBar1->showMessage(app::MessageText(1) + shown(file));
        return;
    }
    for (int t = 0; t < m_turns[i]; ++t)
        pixkit::TurnSourceImage(photo.get(), pixkit::TurnDirection::Right);
    app::Slot& s = ws.slot(slot);
    s.source = std::move(photo);
    s.fileName = bytesOf(file);
    m_missingPhoto[i].clear();
    updateMissingPhotos();
    slot == 1 ? PaintBox1Paint() : PaintBox4Paint();
    if (s.setted()) {
        // The image as the project made it, then the panel back as it was.
        const app::Project before = currentProject();
        rerunWithFields(slot, m_madeWith[i].value_or(before.panel));
        const QSignalBlocker b1(BreiteED), b2(HoeheEd), b3(zieledValue), b4(RechenbereichEd),
            b5(RxSpinEdit1), b6(RxSpinEdit2), b7(NowDoNotRenderCheck);
        BreiteED->setValue(before.panel.realWidthCm);
        HoeheEd->setValue(before.panel.realHeightCm);
        zieledValue->setValue(before.panel.targetPercent);
        RechenbereichEd->setValue(before.panel.areaPercent);
        RxSpinEdit1->setValue(before.panel.angleXDeg);
        RxSpinEdit2->setValue(before.panel.angleYDeg);
        NowDoNotRenderCheck->setChecked(before.hold);
        ws.setwink = before.panel.anglesTyped;
    }
    updateProjectTitle();
}

// ---------------------------------------------------------------- recent projects

QStringList TMainForm::recentProjects() const {
    const auto s = openFormSettings();
    s->beginGroup(RecentGroup);
    QStringList files = s->value(RecentKey).toStringList();
    files.removeAll(QString());
    while (files.size() > MaxRecentProjects)
        files.removeLast();
    return files;
}

void TMainForm::addRecentProject(const QString& file) {
    QStringList files = recentProjects();
    files.removeAll(file);
    files.prepend(file);
    while (files.size() > MaxRecentProjects)
        files.removeLast();
    const auto s = openFormSettings();
    s->beginGroup(RecentGroup);
    s->setValue(RecentKey, files);
    s->endGroup();
    s->sync();
    ZuletztgeffneteProjekte1->menuAction()->setEnabled(true);
}

void TMainForm::fillRecentMenu() {
    ZuletztgeffneteProjekte1->clear();
    const QStringList files = recentProjects();
    for (qsizetype k = 0; k < files.size(); ++k) {
        const QString file = files[k];
        QAction* a = ZuletztgeffneteProjekte1->addAction(
            QStringLiteral("&%1 %2").arg(k + 1).arg(QFileInfo(file).fileName()));
        a->setObjectName(QStringLiteral("RecentProject%1").arg(k + 1));
        a->setToolTip(shown(file));
        a->setStatusTip(shown(file));
        connect(a, &QAction::triggered, this, [this, file] {
            if (confirmDiscard())
                openProject(file);
        });
    }
    ZuletztgeffneteProjekte1->menuAction()->setEnabled(!files.isEmpty());
}

} // namespace gui
