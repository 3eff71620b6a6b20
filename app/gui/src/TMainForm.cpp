#include "gui/TMainForm.h"

#include "app/Fields.h"
#include "app/ProgramFolder.h"
#include "app/Translate.h"
#include "gui/FileDialog.h"
#include "gui/FileFilters.h"
#include "gui/MessageBoxes.h"
#include "gui/Options.h"
#include "gui/PaintBoxView.h"
#include "gui/ScrollBox.h"
#include "gui/TAboutBox.h"
#include "gui/TJPEGQualForm.h"
#include "gui/TMovePicsForm.h"
#include "gui/TTranslateForm.h"
#include "gui/TranslateApplication.h"
#include "i18n/Dictionary.h"
#include "i18n/Messages.h"
#include "pixkit/ImageFile.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace gui {

namespace {

QString& programFileOverride() {
    static QString file;
    return file;
}

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

QLabel* fieldLabel(const QString& text, const char* name, QWidget* parent) {
    return named(new QLabel(text, parent), name);
}

void nameAfter(QObject* object, const app::FieldLimits& f) {
    object->setObjectName(
        QString::fromLatin1(f.name.data(), static_cast<qsizetype>(f.name.size())));
}

QSpinBox* wholeField(const app::FieldLimits& f, QWidget* parent) {
    auto* e = new QSpinBox(parent);
    nameAfter(e, f);
    e->setRange(static_cast<int>(f.minimum), static_cast<int>(f.maximum));
    e->setValue(static_cast<int>(f.start));
    e->setSingleStep(static_cast<int>(f.step));
    e->setMaximumWidth(60);
    return e;
}

QDoubleSpinBox* fractionField(const app::FieldLimits& f, QWidget* parent) {
    auto* e = new QDoubleSpinBox(parent);
    nameAfter(e, f);
    e->setDecimals(f.decimals);
    e->setRange(f.minimum, f.maximum);
    e->setValue(f.start);
    e->setSingleStep(f.step);
    // The sizeHint of a 1e12 range is far too wide for the panel.
    e->setMinimumWidth(72);
    e->setMaximumWidth(80);
    return e;
}

} // namespace

TMainForm::TMainForm(QStringList params, QWidget* parent)
    : QMainWindow(parent), FormStorage1(this, QStringLiteral("TMainForm")),
      m_params(std::move(params)) {
    setObjectName(QStringLiteral("MainForm"));
    // The record container reports a failed allocation in a message box.
    installOutOfMemoryHandler();
    setWindowTitle(QStringLiteral("Velkor Fassadenplan 1.0"));

    buildControls();
    buildViews();
    buildMenus();

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
    // The layout pass after a resize or a splitter drag, once.
    Timer2 = named(new QTimer(this), "Timer2");
    Timer2->setInterval(100);
    Timer2->setSingleShot(true);

    // The file dialogs keep their filters here, where the window translation
    // finds them.
    OpenDialog1 = new FileDialog(QStringLiteral("OpenDialog1"), this);
    OpenDialog1->setFilter(QString::fromStdString(pixkit::GetDIBOpenFilter()));
    SaveDialog1 = new FileDialog(QStringLiteral("SaveDialog1"), this);
    SaveDialog1->setFilter(saveImagePipes());
    SaveDialog2 = new FileDialog(QStringLiteral("SaveDialog2"), this);
    SaveDialog2->setFilter(QStringLiteral("DXF-Dateien (*.dxf)|*.dxf"));

    FormStorage1.addProperty(ZoomEd, "value", QStringLiteral("Value"));
    FormStorage1.addProperty(LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1, "checked",
                             QStringLiteral("Checked"));
    FormStorage1.onError = [this](const QString& t) { reportError(t); };

    FormCreate();
    connectHandlers();

    // The other windows, in the order the program creates them.
    AboutBox = new TAboutBox(this);
    TranslateForm = new TTranslateForm(this);
    MovePicsForm = new TMovePicsForm(this);
    buildOverlayAndBrush();
    buildHistory();
    buildMeasureAndPrint();
    buildPolish();
    buildProjectCommands();
    JPEGQualForm = new TJPEGQualForm(this);
    JPEGQualForm->FormStorage1.onError = [this](const QString& t) { reportError(t); };

    // Client area of 754 x 563 below the menu bar, centred on the screen.
    resize(InitialClientWidth, InitialClientHeight + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - rect().center());
    }

    // The wheel scrolls source view 1 wherever the mouse is in the window.
    qApp->installEventFilter(this);
}

TMainForm::~TMainForm() {
    qApp->removeEventFilter(this);
    // The fields' undo filter calls into this window: it must not outlive it
    // while the fields are destroyed.
    delete findChild<QObject*>(QStringLiteral("fieldUndoFilter"), Qt::FindDirectChildrenOnly);
    FormStorage1.saveIfPending();
    // The dictionary reads `language` of this window; it ends with it.
    i18n::ResetDictionary();
}

void TMainForm::setProgramFile(const QString& file) {
    programFileOverride() = file;
}

void TMainForm::buildControls() {
    auto* central = named(new QWidget(this), "CentralWidget");
    setCentralWidget(central);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Button bar.
    Panel2 = named(new QFrame(central), "Panel2");
    Panel2->setFixedHeight(41);
    auto* bar = new QHBoxLayout(Panel2);
    bar->setContentsMargins(4, 4, 4, 4);
    OpenBtn = named(new QPushButton(QStringLiteral("Öffnen Bild 1..."), Panel2), "OpenBtn");
    BitBtnXP1 = named(new QPushButton(QStringLiteral("Öffnen Bild 2..."), Panel2), "BitBtnXP1");
    SaveAsBtn = named(new QPushButton(QStringLiteral("Speichern unter..."), Panel2), "SaveAsBtn");
    BitBtnXP2 = named(new QPushButton(QStringLiteral("Speichern Bild 2..."), Panel2), "BitBtnXP2");
    EndeBtn = named(new QPushButton(QStringLiteral("Beenden"), Panel2), "EndeBtn");
    for (QPushButton* b : {OpenBtn, BitBtnXP1, SaveAsBtn, BitBtnXP2, EndeBtn})
        bar->addWidget(b);
    bar->addStretch(1);
    outer->addWidget(Panel2);

    // Control panel, then the rows of views below a splitter.
    Splitter2 = named(new QSplitter(Qt::Vertical, central), "Splitter2");
    Splitter2->setChildrenCollapsible(false);
    Splitter2->setHandleWidth(3);
    outer->addWidget(Splitter2, 1);

    Panel1 = named(new QFrame(Splitter2), "Panel1");
    // The panel may be squeezed: the views, not the fields, set the window's
    // smallest size.
    Panel1->setMinimumSize(1, 20);
    auto* grid = new QGridLayout(Panel1);
    grid->setContentsMargins(4, 3, 4, 3);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(2);

    Label1 = fieldLabel(QStringLiteral("Zoom in %:"), "Label1", Panel1);
    ZoomEd = wholeField(app::fields::Zoom, Panel1);
    Label2 = fieldLabel(QStringLiteral("X-Rotation in°:"), "Label2", Panel1);
    RxSpinEdit1 = fractionField(app::fields::AngleX, Panel1);
    Label3 = fieldLabel(QStringLiteral("Y-Rotation in°:"), "Label3", Panel1);
    RxSpinEdit2 = fractionField(app::fields::AngleY, Panel1);
    Label4 = fieldLabel(QStringLiteral("Breite des gemessenen Rechtecks in cm:"), "Label4", Panel1);
    BreiteED = fractionField(app::fields::RealWidth, Panel1);
    Label5 = fieldLabel(QStringLiteral("Höhe des gemessenen Rechtecks in cm:"), "Label5", Panel1);
    HoeheEd = fractionField(app::fields::RealHeight, Panel1);
    Label6 = fieldLabel(QStringLiteral("Größe/Auflösung Zielbild in %:"), "Label6", Panel1);
    zieledValue = wholeField(app::fields::Target, Panel1);
    Label7 = fieldLabel(QStringLiteral("Rechenbereich größer/kleiner:"), "Label7", Panel1);
    RechenbereichEd = wholeField(app::fields::Area, Panel1);
    Label8 = fieldLabel(QStringLiteral("Schwellwert S/W Trennung DXF:"), "Label8", Panel1);
    Schwelled = wholeField(app::fields::Threshold, Panel1);
    Label11 = fieldLabel(QStringLiteral("Mindestgröße DXF:"), "Label11", Panel1);
    MindestgroesseEd = wholeField(app::fields::MinSize, Panel1);
    Label9 = fieldLabel(QStringLiteral("Bild 1/2 überblenden/vergleichen:"), "Label9", Panel1);
    BlendEd = wholeField(app::fields::Blend, Panel1);
    Label10 = fieldLabel(QStringLiteral("Gemessenes Rechteck einzeichnen:"), "Label10", Panel1);
    QPalette red = Label10->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    Label10->setPalette(red);
    NowDoNotRenderCheck =
        named(new QCheckBox(QStringLiteral("Jetzt erstmal nicht gleich rechnen"), Panel1),
              "NowDoNotRenderCheck");

    // Three columns of label/field pairs, the long captions on the left.
    grid->addWidget(Label10, 0, 0, 1, 2);
    grid->addWidget(Label4, 1, 0);
    grid->addWidget(BreiteED, 1, 1);
    grid->addWidget(Label5, 2, 0);
    grid->addWidget(HoeheEd, 2, 1);
    grid->addWidget(Label9, 3, 0);
    grid->addWidget(BlendEd, 3, 1);
    grid->addWidget(Label2, 0, 2);
    grid->addWidget(RxSpinEdit1, 0, 3);
    grid->addWidget(Label3, 1, 2);
    grid->addWidget(RxSpinEdit2, 1, 3);
    grid->addWidget(Label1, 2, 2);
    grid->addWidget(ZoomEd, 2, 3);
    grid->addWidget(NowDoNotRenderCheck, 3, 2, 1, 4);
    grid->addWidget(Label6, 0, 4);
    grid->addWidget(zieledValue, 0, 5);
    grid->addWidget(Label7, 1, 4);
    grid->addWidget(RechenbereichEd, 1, 5);
    grid->addWidget(Label8, 2, 4);
    grid->addWidget(Schwelled, 2, 5);
    grid->addWidget(Label11, 4, 4);
    grid->addWidget(MindestgroesseEd, 4, 5);
    grid->setColumnStretch(6, 1);

    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    setStatusBar(StatusBar1);
    MismatchLabel = fieldLabel(QStringLiteral("Bild entspricht nicht den Eingaben"),
                               "MismatchLabel", StatusBar1);
    StatusBar1->addPermanentWidget(MismatchLabel);
    MismatchLabel->setVisible(false);
}

void TMainForm::buildViews() {
    auto* rows = named(new QWidget(Splitter2), "Rows");
    auto* rowsLay = new QVBoxLayout(rows);
    rowsLay->setContentsMargins(0, 0, 0, 0);
    rowsLay->setSpacing(0);

    auto makeRow = [&](const char* panelName, const char* splitterName, QSplitter*& splitter) {
        auto* panel = named(new QWidget(rows), panelName);
        auto* lay = new QHBoxLayout(panel);
        lay->setContentsMargins(0, 0, 0, 0);
        splitter = named(new QSplitter(Qt::Horizontal, panel), splitterName);
        splitter->setHandleWidth(3);
        splitter->setChildrenCollapsible(false);
        lay->addWidget(splitter);
        return panel;
    };
    auto makeView = [&](QSplitter* splitter, const char* boxName, const char* viewName,
                        const QImage* buffer, ScrollBox*& box, PaintBoxView*& view) {
        box = named(new ScrollBox(splitter), boxName);
        box->setMinimumSize(1, 1);
        view = named(new PaintBoxView(buffer), viewName);
        box->setWidget(view);
        splitter->addWidget(box);
    };

    Panel3 = makeRow("Panel3", "Splitter1", Splitter1);
    makeView(Splitter1, "ScrollBox1", "PaintBox1", &bit0, ScrollBox1, PaintBox1);
    makeView(Splitter1, "ScrollBox2", "PaintBox2", &bit1, ScrollBox2, PaintBox2);
    Panel4 = makeRow("Panel4", "Splitter3", Splitter3);
    makeView(Splitter3, "ScrollBox4", "PaintBox4", &dit0, ScrollBox4, PaintBox4);
    makeView(Splitter3, "ScrollBox3", "PaintBox3", &dit1, ScrollBox3, PaintBox3);
    Splitter1->setSizes({377, 377});
    Splitter3->setSizes({377, 377});

    PaintBox1->setCursor(Qt::CrossCursor);
    PaintBox4->setCursor(Qt::CrossCursor);

    rowsLay->addWidget(Panel3, 1);
    rowsLay->addWidget(Panel4);
    Panel4->setFixedHeight(204);
    Panel4->setVisible(false);

    Splitter2->addWidget(Panel1);
    Splitter2->addWidget(rows);
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({97, 400});
}

void TMainForm::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto menu = [&](QMenu* parentMenu, const char* name, const QString& caption) {
        QMenu* m = named(new QMenu(caption, this), name);
        if (parentMenu != nullptr)
            parentMenu->addMenu(m);
        else
            bar->addMenu(m);
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    auto item = [&](QMenu* m, const char* name, const QString& caption) {
        QAction* a = named(new QAction(caption, this), name);
        m->addAction(a);
        return a;
    };
    auto separator = [&](QMenu* m, const char* name) {
        QAction* a = m->addSeparator();
        a->setObjectName(QString::fromLatin1(name));
        a->setText(QStringLiteral("-"));
        return a;
    };

    Datei1 = menu(nullptr, "Datei1", QStringLiteral("Datei"));
    Bildffnen1 = item(Datei1, "Bildffnen1", QStringLiteral("Bild öffnen..."));
    Bild2ffnen1 = item(Datei1, "Bild2ffnen1", QStringLiteral("Bild 2 öffnen..."));
    Bild2wiederausblenden1 =
        item(Datei1, "Bild2wiederausblenden1", QStringLiteral("Bild 2 wieder ausblenden"));
    N7 = separator(Datei1, "N7");
    EntzerrtesBildspeichern1 =
        item(Datei1, "EntzerrtesBildspeichern1", QStringLiteral("Entzerrtes Bild speichern..."));
    EntzerrtesBild2speichern1 =
        item(Datei1, "EntzerrtesBild2speichern1", QStringLiteral("Entzerrtes Bild 2 speichern..."));
    N2 = separator(Datei1, "N2");
    ExportalsDXFDatei1 =
        item(Datei1, "ExportalsDXFDatei1", QStringLiteral("Export als DXF Datei..."));
    N3 = separator(Datei1, "N3");
    Beenden1 = item(Datei1, "Beenden1", QStringLiteral("Beenden"));

    Bearbeiten1 = menu(nullptr, "Bearbeiten1", QStringLiteral("Bearbeiten"));
    Bildneuberechnen1 =
        item(Bearbeiten1, "Bildneuberechnen1", QStringLiteral("Bild neu berechnen"));
    N8 = separator(Bearbeiten1, "N8");
    bergeblendeteBilderverschieben1 = item(Bearbeiten1, "bergeblendeteBilderverschieben1",
                                           QStringLiteral("Übergeblendete Bilder verschieben..."));

    Rotieren1 = menu(nullptr, "Rotieren1", QStringLiteral("Rotieren"));
    Ausgangsbildnachlinksrotieren1 = item(Rotieren1, "Ausgangsbildnachlinksrotieren1",
                                          QStringLiteral("Ausgangsbild nach links rotieren"));
    Ausgangsbildnachrechtsrotieren1 = item(Rotieren1, "Ausgangsbildnachrechtsrotieren1",
                                           QStringLiteral("Ausgangsbild nach rechts rotieren"));
    N1 = separator(Rotieren1, "N1");
    EntzerrtesBildnachlinksrotieren1 = item(Rotieren1, "EntzerrtesBildnachlinksrotieren1",
                                            QStringLiteral("Entzerrtes Bild nach links rotieren"));
    EntzerrtesBildnachrechtsrotieren1 =
        item(Rotieren1, "EntzerrtesBildnachrechtsrotieren1",
             QStringLiteral("Entzerrtes Bild nach rechts rotieren"));
    N6 = separator(Rotieren1, "N6");
    RotierenBild21 = menu(Rotieren1, "RotierenBild21", QStringLiteral("Rotieren Bild 2"));
    Ausgangsbildnachlinksrotieren2 = item(RotierenBild21, "Ausgangsbildnachlinksrotieren2",
                                          QStringLiteral("Ausgangsbild nach links rotieren"));
    Ausgangsbildnachrechtsrotieren2 = item(RotierenBild21, "Ausgangsbildnachrechtsrotieren2",
                                           QStringLiteral("Ausgangsbild nach rechts rotieren"));
    N5 = separator(RotierenBild21, "N5");
    EntzerrtesBildnachlinksrotieren2 = item(RotierenBild21, "EntzerrtesBildnachlinksrotieren2",
                                            QStringLiteral("Entzerrtes Bild nach links rotieren"));
    EntzerrtesBildnachrechtsrotieren2 =
        item(RotierenBild21, "EntzerrtesBildnachrechtsrotieren2",
             QStringLiteral("Entzerrtes Bild nach rechts rotieren"));

    ZeichnenimentzerrtenBild1 =
        menu(nullptr, "ZeichnenimentzerrtenBild1", QStringLiteral("Zeichnen im entzerrten Bild"));
    Farbewhlen1 = item(ZeichnenimentzerrtenBild1, "Farbewhlen1", QStringLiteral("Farbe wählen"));
    GrererPinsel1 =
        item(ZeichnenimentzerrtenBild1, "GrererPinsel1", QStringLiteral("Größerer Pinsel"));
    KleinererPinsel1 =
        item(ZeichnenimentzerrtenBild1, "KleinererPinsel1", QStringLiteral("Kleinerer Pinsel"));

    Optionen1 = menu(nullptr, "Optionen1", QStringLiteral("Optionen"));
    BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1 =
        item(Optionen1, "BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1",
             QStringLiteral("Breite und Höhe nach dem Setzen von 4 Punkten voreinstellen"));
    BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setCheckable(true);
    BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1->setChecked(true);
    LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1 =
        item(Optionen1, "LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1",
             QStringLiteral("Links unten statt links oben mit dem Setzen der 4 Punkte beginnen"));
    // A click inverts the mark (Qt does that for checkable actions).
    LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1->setCheckable(true);
    JPEGQualitteinstellen1 =
        item(Optionen1, "JPEGQualitteinstellen1", QStringLiteral("JPEG Qualität einstellen..."));
    buildOutputOptions(menu, item);
    buildDrawingOptions(menu, item);
    buildLensOption(item);

    Spracge1 = menu(nullptr, "Spracge1", QStringLiteral("Sprache"));
    LanguageGroup = named(new QActionGroup(this), "LanguageGroup");
    LanguageGroup->setExclusive(true);
    Deutsch1 = item(Spracge1, "Deutsch1", QStringLiteral("Deutsch"));
    English1 = item(Spracge1, "English1", QStringLiteral("English"));
    for (QAction* a : {Deutsch1, English1}) {
        a->setCheckable(true);
        LanguageGroup->addAction(a);
    }
    Deutsch1->setChecked(true);
    N4 = separator(Spracge1, "N4");
    bersetzen1 = item(Spracge1, "bersetzen1", QStringLiteral("Übersetzen..."));

    Hilfe1 = menu(nullptr, "Hilfe1", QStringLiteral("Hilfe"));
    ber1 = item(Hilfe1, "ber1", QStringLiteral("Über..."));
}

void TMainForm::connectHandlers() {
    connect(OpenBtn, &QPushButton::clicked, this, [this] { Bildffnen1Click(); });
    connect(BitBtnXP1, &QPushButton::clicked, this, [this] { BitBtnXP1Click(); });
    connect(SaveAsBtn, &QPushButton::clicked, this, [this] { EntzerrtesBildspeichern1Click(); });
    connect(BitBtnXP2, &QPushButton::clicked, this, [this] { EntzerrtesBild2speichern1Click(); });
    connect(EndeBtn, &QPushButton::clicked, this, [this] { Beenden1Click(); });

    auto onTrigger = [this](QAction* a, void (TMainForm::*handler)()) {
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    onTrigger(Bildffnen1, &TMainForm::Bildffnen1Click);
    onTrigger(Bild2ffnen1, &TMainForm::Bild2ffnen1Click);
    onTrigger(Bild2wiederausblenden1, &TMainForm::Bild2wiederausblenden1Click);
    onTrigger(EntzerrtesBildspeichern1, &TMainForm::EntzerrtesBildspeichern1Click);
    onTrigger(EntzerrtesBild2speichern1, &TMainForm::EntzerrtesBild2speichern1Click);
    onTrigger(Beenden1, &TMainForm::Beenden1Click);
    onTrigger(Bildneuberechnen1, &TMainForm::Bildneuberechnen1Click);
    onTrigger(Ausgangsbildnachlinksrotieren1, &TMainForm::Ausgangsbildnachlinksrotieren1Click);
    onTrigger(Ausgangsbildnachrechtsrotieren1, &TMainForm::Ausgangsbildnachrechtsrotieren1Click);
    onTrigger(Ausgangsbildnachlinksrotieren2, &TMainForm::Ausgangsbildnachlinksrotieren2Click);
    onTrigger(Ausgangsbildnachrechtsrotieren2, &TMainForm::Ausgangsbildnachrechtsrotieren2Click);
    onTrigger(EntzerrtesBildnachlinksrotieren1, &TMainForm::EntzerrtesBildnachlinksrotieren1Click);
    onTrigger(EntzerrtesBildnachrechtsrotieren1,
              &TMainForm::EntzerrtesBildnachrechtsrotieren1Click);
    onTrigger(EntzerrtesBildnachlinksrotieren2, &TMainForm::EntzerrtesBildnachlinksrotieren2Click);
    onTrigger(EntzerrtesBildnachrechtsrotieren2,
              &TMainForm::EntzerrtesBildnachrechtsrotieren2Click);
    onTrigger(JPEGQualitteinstellen1, &TMainForm::JPEGQualitteinstellen1Click);
    onTrigger(ber1, &TMainForm::ber1Click);
    onTrigger(Deutsch1, &TMainForm::Deutsch1Click);
    onTrigger(English1, &TMainForm::English1Click);
    onTrigger(bersetzen1, &TMainForm::bersetzen1Click);
    onTrigger(ExportalsDXFDatei1, &TMainForm::ExportalsDXFDatei1Click);

    connect(BreiteED, &QDoubleSpinBox::valueChanged, this, [this] { BreiteEDChange(); });
    connect(HoeheEd, &QDoubleSpinBox::valueChanged, this, [this] { HoeheEdChange(); });
    connect(zieledValue, &QSpinBox::valueChanged, this, [this] { zieledValueChange(); });
    connect(RechenbereichEd, &QSpinBox::valueChanged, this, [this] { RechenbereichEdChange(); });
    connect(RxSpinEdit1, &QDoubleSpinBox::valueChanged, this, [this] { RxSpinEdit1Change(); });
    connect(RxSpinEdit2, &QDoubleSpinBox::valueChanged, this, [this] { RxSpinEdit1Change(); });
    connect(NowDoNotRenderCheck, &QCheckBox::toggled, this, [this] { NowDoNotRenderCheckClick(); });
    connect(ZoomEd, &QSpinBox::valueChanged, this, [this] { ZoomEdChange(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    connect(Splitter1, &QSplitter::splitterMoved, this,
            [this](int pos, int) { Splitter1CanResize(pos); });
    connect(Splitter3, &QSplitter::splitterMoved, this,
            [this](int pos, int) { Splitter1CanResize(pos); });
    // The control panel's height changes the rows' heights: lay them out anew.
    connect(Splitter2, &QSplitter::splitterMoved, this, [this] { Timer2->start(); });

    PaintBox1->onMouseDown = [this](int x, int y) { PaintBox1MouseDown(x, y); };
    PaintBox1->onMouseMove = [this](int x, int y) { PaintBox1MouseMove(x, y); };
    PaintBox1->onMouseUp = [this](int x, int y) { PaintBox1MouseUp(x, y); };
    PaintBox1->onPaint = [this] { PaintBox1Paint(); };
    PaintBox4->onMouseDown = [this](int x, int y) { PaintBox4MouseDown(x, y); };
    PaintBox4->onMouseMove = [this](int x, int y) { PaintBox4MouseMove(x, y); };
    PaintBox4->onMouseUp = [this](int x, int y) { PaintBox4MouseUp(x, y); };
    PaintBox4->onPaint = [this] { PaintBox4Paint(); };
    PaintBox2->onPaint = [this] { PaintBox2Paint(); };
    PaintBox3->onPaint = [this] { PaintBox3Paint(); };
}

// ---------------------------------------------------------------- start and end

void TMainForm::FormCreate() {
    const QString programFile = programFileOverride().isEmpty()
                                    ? QCoreApplication::applicationFilePath()
                                    : programFileOverride();
    ws.createWorkspace(programFile.toStdString());
    percent = 50;
    pinsel = 10;
    paintcol = 0xFFFFFF;
    m_blankResult[0] = ws.slot(1).result.pixels();
    m_blankResult[1] = ws.slot(2).result.pixels();
    m_hasResult[0] = m_hasResult[1] = false;
    updateSaveCommands();
    // The back buffers start empty; the first paint gives them their size.
    bit0 = QImage();
    dit0 = QImage();
    bit1 = QImage();
    dit1 = QImage();
    i18n::LoadDictionary(ws.progpath, &language);
    buildLanguageItems();
    LoadOptions();
    // Qt's own dialogs and buttons in the language the windows get.
    installQtTranslations(languagesetto);
}

void TMainForm::FormShow() {
    if (isfirst)
        return;
    isfirst = true;
    // The quality must be known before its dialog is ever shown.
    JPEGQualForm->restoreStored();
    i18n::RegisterMessages();
    language = languagesetto;
    if (languagesetto != 0)
        TranslateApplication();
    QGuiApplication::setApplicationDisplayName(
        app::Translate(QGuiApplication::applicationDisplayName()));
    // A project file names its photographs itself.
    if (!openStartProject()) {
        if (!startFileBytes.empty())
            openImageBytes(1, startFileBytes);
        else if (!m_params.isEmpty())
            openImage(1, m_params.front());
    }
    // Draw all four views at the (restored) zoom.
    PaintBox1Paint();
    PaintBox2Paint();
    PaintBox3Paint();
    PaintBox4Paint();
}

void TMainForm::FormClose() {
    SaveOptions();
}

void TMainForm::showEvent(QShowEvent* e) {
    if (!e->spontaneous() && !FormStorage1.restored())
        FormStorage1.restore(); // stored values first, so FormShow sees the stored zoom
    QMainWindow::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TMainForm::closeEvent(QCloseEvent* e) {
    if (!confirmDiscard()) {
        e->ignore();
        return;
    }
    FormClose();
    FormStorage1.save();
    e->accept();
}

// ---------------------------------------------------------------- settings

QString TMainForm::GetProgramDir(bool create) const {
    return gui::GetProgramDir(create, QString::fromStdString(ws.progpath));
}

void TMainForm::LoadOptions() {
    languagesetto = 0;
    language = 0;
    dontchlang = true;
    Deutsch1->setChecked(true);
    dontchlang = false;
    const std::optional<int> stored = readLanguageFile(GetProgramDir(false) + "options.dat");
    if (!stored)
        return;
    languagesetto = *stored;
    dontchlang = true;
    if (languagesetto == 1)
        English1->setChecked(true);
    else if (QAction* further = languageItem(languagesetto))
        further->setChecked(true);
    else
        Deutsch1->setChecked(true);
    dontchlang = false;
}

void TMainForm::Deutsch1Click() {
    if (dontchlang)
        return;
    Deutsch1->setChecked(true);
    language = 0;
    SaveOptions(); // kept at once, whichever way the program ends
    RestartNotice(this);
}

void TMainForm::English1Click() {
    if (dontchlang)
        return;
    English1->setChecked(true);
    language = 1;
    SaveOptions(); // kept at once, whichever way the program ends
    RestartNotice(this);
}

void TMainForm::bersetzen1Click() {
    TranslateForm->FillStringGrid();
    // Edits are saved at once; where the program's folder takes no file the
    // translator learns it here instead of losing the work at the end.
    if (app::dictionarySavable(ws.progpath))
        TranslateForm->StatusBar1->clearMessage();
    else
        TranslateForm->StatusBar1->showMessage(
            app::Translate(QString::fromUtf8(app::ProgramFolderReadOnlyNotice)));
    TranslateForm->exec();
    buildLanguageItems(); // a language imported into the dictionary
    RestartNotice(this);
}

void TMainForm::SaveOptions() {
    writeLanguageFile(GetProgramDir(true) + "options.dat", language);
}

void TMainForm::reportError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, defaultCaption(), text, QMessageBox::Ok, this);
    execMessageBox(box);
}

// ---------------------------------------------------------------- wheel

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Wheel && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        const auto* we = static_cast<const QWheelEvent*>(e);
        // A wheel turn from the system reaches the widget under the mouse
        // as a spontaneous event and then each parent that ignores it as a
        // plain copy with the same time stamp, position and delta; the window
        // scrolls once per turn.
        const bool sameTurn = m_haveLastWheel && we->timestamp() == m_lastWheelTime &&
                              we->globalPosition() == m_lastWheelPos &&
                              we->angleDelta() == m_lastWheelDelta;
        const bool repeat = !e->spontaneous() && sameTurn;
        if (e->spontaneous()) {
            m_haveLastWheel = true;
            m_lastWheelTime = we->timestamp();
            m_lastWheelPos = we->globalPosition();
            m_lastWheelDelta = we->angleDelta();
        }
        const int delta = we->angleDelta().y();
        if (we->modifiers() & Qt::ControlModifier) {
            // Ctrl + wheel zooms instead; no field or view sees the turn.
            if (!repeat && delta != 0)
                zoomAtMouse(watched, we->globalPosition(), delta);
            return true;
        }
        if (!repeat && delta != 0) {
            QScrollBar* sb = ScrollBox1->verticalScrollBar();
            // A turn towards the user (negative delta) scrolls down.
            sb->setValue(sb->value() + (delta < 0 ? 20 : -20));
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

} // namespace gui
