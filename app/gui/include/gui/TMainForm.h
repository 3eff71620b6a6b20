#pragma once
// The main window: the controls around the workspace, the two source views
// with the corner input, the two rectified views, the menus, the timers and
// the layout of the views. The window holds the workspace (`ws`); a run reads
// the fields into a request and the window applies its result.

#include "app/DrawingOutput.h"
#include "app/LensSetting.h"
#include "app/Project.h"
#include "app/RectifiedOutput.h"
#include "app/Workspace.h"
#include "gui/EditHistory.h"
#include "gui/FormStorage.h"
#include "gui/Measuring.h"
#include "gui/ViewRender.h"
#include "pixkit/Brush.h"
#include "pixkit/Overlay.h"
#include "rectify/Run.h"

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QActionGroup;
class QCheckBox;
class QColor;
class QDoubleSpinBox;
class QLabel;
class QMenu;
class QPainter;
class QPushButton;
class QSpinBox;
class QSplitter;
class QStatusBar;
class QTimer;

namespace gui {

class FileDialog;
class PaintBoxView;
class ScrollBox;
class TAboutBox;
class TJPEGQualForm;
class TTranslateForm;
class TMovePicsForm;
class TScalePrintForm;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // `params` are the command-line parameters after the program name; the
    // first one, when given, is opened as image 1 at the first showing.
    explicit TMainForm(QStringList params = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The program file whose folder becomes `progpath` (translate.dat lives
    // there) for windows created from now on; empty: the running executable.
    // Tests point it into a temporary folder.
    static void setProgramFile(const QString& file);

    // The workspace: both photographs, their rectified images and corners.
    app::Workspace ws;

    // --- the control panel as a run reads it
    app::FieldValues fieldValues() const;
    bool holdChecked() const; // NowDoNotRenderCheck
    // The checked item of "Optionen" -> "Interpolation".
    rectify::Interpolation interpolation() const;
    // Shows the angles a run found. No change handler fires: these are no
    // typed angles.
    void showAngles(double angleXDeg, double angleYDeg);
    // Writes the width a run preset into BreiteED like a user's edit: its
    // change handler restarts Timer1 when the shown text changes.
    void showPresetWidth(double widthCm);

    // The photograph of the command line as the file system's bytes, opened
    // on the first showing instead of the first parameter's text: a name
    // that is no UTF-8 keeps its bytes. Empty: the first parameter.
    std::string startFileBytes;

    // --- views (the benchmarks draw the reference way instead)
    virtual void PaintBox1Paint();
    virtual void PaintBox2Paint();
    virtual void PaintBox3Paint();
    virtual void PaintBox4Paint();
    void showImage2Row(); // Panel4 visible

    // --- view mouse handlers; positions in view pixels
    void PaintBox1MouseDown(int x, int y);
    void PaintBox1MouseMove(int x, int y);
    void PaintBox1MouseUp(int x, int y);
    void PaintBox4MouseDown(int x, int y);
    void PaintBox4MouseMove(int x, int y);
    void PaintBox4MouseUp(int x, int y);
    // Completes the quad of image 1 with `corners` (stored order) as the
    // fourth press would: preset option, run, repaint.
    void placeCorners(const rectify::Corners& corners);

    // --- settings
    void LoadOptions();
    void SaveOptions();
    QString GetProgramDir(bool create) const;

    // --- start and end
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormResize();

    // --- commands
    void Bildffnen1Click();
    void BitBtnXP1Click();
    void Bild2ffnen1Click();
    void Bild2wiederausblenden1Click();
    void EntzerrtesBildspeichern1Click();
    void EntzerrtesBild2speichern1Click();
    void Beenden1Click();
    void Bildneuberechnen1Click();
    // An item of "Optionen" -> "Interpolation" was chosen: both images anew.
    void Interpolation1Click();
    void Ausgangsbildnachlinksrotieren1Click();
    void Ausgangsbildnachrechtsrotieren1Click();
    void Ausgangsbildnachlinksrotieren2Click();
    void Ausgangsbildnachrechtsrotieren2Click();
    void EntzerrtesBildnachlinksrotieren1Click();
    void EntzerrtesBildnachrechtsrotieren1Click();
    void EntzerrtesBildnachlinksrotieren2Click();
    void EntzerrtesBildnachrechtsrotieren2Click();
    void JPEGQualitteinstellen1Click();
    void ber1Click();

    // --- menu "Sprache"
    void Deutsch1Click();
    void English1Click();
    void bersetzen1Click();
    // The further languages of the dictionary (TMainFormLanguages.cpp):
    // after "Deutsch" and "English" one radio item for every column 2 ... 19
    // that has a translation, named as the editor's header row names it;
    // rebuilt from the dictionary on every call, the item of `language`
    // checked.
    void buildLanguageItems();
    // The item of column c, or null.
    QAction* languageItem(int column) const;
    // Chooses column c as English1Click chooses 1.
    void LanguageItemClick(int column);

    // --- field changes and timers
    void BreiteEDChange();
    void HoeheEdChange();
    void zieledValueChange();
    void RechenbereichEdChange();
    void RxSpinEdit1Change();
    void NowDoNotRenderCheckClick();
    void ZoomEdChange();
    void Timer1Timer();
    void Timer2Timer();
    void Splitter1CanResize(int newLeftWidth);

    // --- controls (names as the translation walk and the tests know them)
    QWidget* Panel2 = nullptr;
    QPushButton* OpenBtn = nullptr;
    QPushButton* BitBtnXP1 = nullptr;
    QPushButton* SaveAsBtn = nullptr;
    QPushButton* BitBtnXP2 = nullptr;
    QPushButton* EndeBtn = nullptr;

    QWidget* Panel1 = nullptr;
    QLabel* Label1 = nullptr; // "Zoom in %:"
    QSpinBox* ZoomEd = nullptr;
    QLabel* Label2 = nullptr;
    QDoubleSpinBox* RxSpinEdit1 = nullptr;
    QLabel* Label3 = nullptr;
    QDoubleSpinBox* RxSpinEdit2 = nullptr;
    QLabel* Label4 = nullptr;
    QDoubleSpinBox* BreiteED = nullptr;
    QLabel* Label5 = nullptr;
    QDoubleSpinBox* HoeheEd = nullptr;
    QLabel* Label6 = nullptr;
    QSpinBox* zieledValue = nullptr;
    QLabel* Label7 = nullptr;
    QSpinBox* RechenbereichEd = nullptr;
    QLabel* Label8 = nullptr;
    QSpinBox* Schwelled = nullptr;
    QLabel* Label9 = nullptr;
    QSpinBox* BlendEd = nullptr;
    QLabel* Label10 = nullptr;            // the red "Gemessenes Rechteck einzeichnen:"
    QLabel* Label11 = nullptr;            // "Mindestgröße DXF:"
    QSpinBox* MindestgroesseEd = nullptr; // outlines below it stay out of a drawing
    QCheckBox* NowDoNotRenderCheck = nullptr;

    QSplitter* Splitter2 = nullptr;
    QWidget* Panel3 = nullptr;
    QSplitter* Splitter1 = nullptr;
    ScrollBox* ScrollBox1 = nullptr;
    PaintBoxView* PaintBox1 = nullptr;
    ScrollBox* ScrollBox2 = nullptr;
    PaintBoxView* PaintBox2 = nullptr;
    QWidget* Panel4 = nullptr;
    QSplitter* Splitter3 = nullptr;
    ScrollBox* ScrollBox4 = nullptr;
    PaintBoxView* PaintBox4 = nullptr;
    ScrollBox* ScrollBox3 = nullptr;
    PaintBoxView* PaintBox3 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    // --- menus
    QMenu* Datei1 = nullptr;
    QAction* Bildffnen1 = nullptr;
    QAction* Bild2ffnen1 = nullptr;
    QAction* Bild2wiederausblenden1 = nullptr;
    QAction* N7 = nullptr;
    QAction* EntzerrtesBildspeichern1 = nullptr;
    QAction* EntzerrtesBild2speichern1 = nullptr;
    QAction* N2 = nullptr;
    QAction* ExportalsDXFDatei1 = nullptr;
    QAction* N3 = nullptr;
    QAction* Beenden1 = nullptr;
    QMenu* Bearbeiten1 = nullptr;
    QAction* Bildneuberechnen1 = nullptr;
    QAction* N8 = nullptr;
    QAction* bergeblendeteBilderverschieben1 = nullptr;
    QMenu* Rotieren1 = nullptr;
    QAction* Ausgangsbildnachlinksrotieren1 = nullptr;
    QAction* Ausgangsbildnachrechtsrotieren1 = nullptr;
    QAction* N1 = nullptr;
    QAction* EntzerrtesBildnachlinksrotieren1 = nullptr;
    QAction* EntzerrtesBildnachrechtsrotieren1 = nullptr;
    QAction* N6 = nullptr;
    QMenu* RotierenBild21 = nullptr;
    QAction* Ausgangsbildnachlinksrotieren2 = nullptr;
    QAction* Ausgangsbildnachrechtsrotieren2 = nullptr;
    QAction* N5 = nullptr;
    QAction* EntzerrtesBildnachlinksrotieren2 = nullptr;
    QAction* EntzerrtesBildnachrechtsrotieren2 = nullptr;
    QMenu* ZeichnenimentzerrtenBild1 = nullptr;
    QAction* Farbewhlen1 = nullptr;
    QAction* GrererPinsel1 = nullptr;
    QAction* KleinererPinsel1 = nullptr;
    QMenu* Optionen1 = nullptr;
    QAction* BreiteundHhenachdemsetzenvon4Punktenvoreinstellen1 = nullptr;
    QAction* LinksuntenstattlinksobenmitdemSetzender4Punktebeginnen1 = nullptr;
    QAction* JPEGQualitteinstellen1 = nullptr;
    // "Interpolation" submenu: radio items, the nearest pixel by default;
    // a change reruns both images.
    QMenu* Interpolation1 = nullptr;
    QActionGroup* InterpolationGroup = nullptr;
    QAction* NchsterNachbar1 = nullptr;
    QAction* Bilinear1 = nullptr;
    QAction* Bikubisch1 = nullptr;
    // Saving the rectified image also writes its world file.
    QAction* Weltdateimitspeichern1 = nullptr;
    // "DXF-Format" and "Einheiten" submenus: radio items, stored per user
    // (TMainFormDrawing.cpp).
    QMenu* DXFFormat1 = nullptr;
    QActionGroup* DxfFormatGroup = nullptr;
    QAction* Einfach1 = nullptr;
    QAction* CADmitEinheitenundFoto1 = nullptr;
    QMenu* Einheiten1 = nullptr;
    QActionGroup* UnitGroup = nullptr;
    QAction* EinheitAutomatisch1 = nullptr;
    QAction* Millimeter1 = nullptr;
    QAction* Zentimeter1 = nullptr;
    QAction* Meter1 = nullptr;
    // How a DXF export and a world file are written, from the menus and the
    // "Mindestgröße DXF:" field.
    app::DrawingChoice drawingChoice() const;
    QMenu* Spracge1 = nullptr;
    QActionGroup* LanguageGroup = nullptr;
    QAction* Deutsch1 = nullptr;
    QAction* English1 = nullptr;
    QList<QAction*> LanguageItems; // "Language2" ... "Language19"
    QAction* N4 = nullptr;
    QAction* bersetzen1 = nullptr;
    QMenu* Hilfe1 = nullptr;
    QAction* ber1 = nullptr;

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

    FileDialog* OpenDialog1 = nullptr;
    FileDialog* SaveDialog1 = nullptr;
    FileDialog* SaveDialog2 = nullptr; // the DXF export's file

    TAboutBox* AboutBox = nullptr;
    TTranslateForm* TranslateForm = nullptr;
    TJPEGQualForm* JPEGQualForm = nullptr;
    FormStorage FormStorage1;

    // Back buffers of the views 1 (PaintBox1), 4 (PaintBox4), 2 and 3.
    QImage bit0;
    QImage dit0;
    QImage bit1;
    QImage dit1;

    // --- rectified views: overlay and brush
    void BlendEdChange();
    void bergeblendeteBilderverschieben1Click();
    void Farbewhlen1Click();
    void GrererPinsel1Click();
    void KleinererPinsel1Click();
    // Takes back the newest step of the one history: a brush stroke in
    // either rectified image or a corner change of either source view
    // (which reruns that image).
    void Rckgngig1Click();
    // Brings back the step taken back last.
    void Wiederholen1Click();
    // Escape: a quad being placed or a corner being dragged goes back to the
    // corners before it, without a run.
    void cancelCornerInput();
    // Moves the corner last placed or dragged in source view `slot` by
    // (dx, dy) image pixels: repaint now, run after the recomputation delay.
    void nudgeCorner(int slot, int dx, int dy);
    // True once rectified image `slot` is a result (not the blank start
    // image); its save commands are enabled from then on.
    bool hasRectified(int slot) const;
    // The magnifier over a source view, in view pixels; empty while hidden.
    QRect loupeRect(int slot) const;
    // Side of the square magnifier in screen pixels.
    static constexpr int LoupeSize = 160;
    // Brush handlers of the rectified views; positions in view pixels.
    void PaintBox2MouseDown(int x, int y);
    void PaintBox2MouseMove(int x, int y);
    void PaintBox2MouseUp(int x, int y);
    void PaintBox3MouseDown(int x, int y);
    void PaintBox3MouseMove(int x, int y);
    void PaintBox3MouseUp(int x, int y);

    TMovePicsForm* MovePicsForm = nullptr;
    QAction* Rckgngig1 = nullptr;    // "Rückgängig", first item of "Bearbeiten"
    QAction* Wiederholen1 = nullptr; // "Wiederholen", below it
    QAction* N9 = nullptr;           // separator below them
    // The strokes and corner changes that can be undone.
    const EditHistory& brushHistory() const { return m_history; }
    // --- line drawings
    // "Export als DXF Datei...": prepare, separate and trace rectified image
    // 1 (segments drawn live on its view), then ask for the file and write it.
    void ExportalsDXFDatei1Click();

    // --- measuring and printing at scale (TMainFormMeasure.cpp, TMainFormPrint.cpp)
    // "Messen" (M): while checked, clicks in a rectified view measure instead
    // of painting; Escape or unchecking ends it. Two clicks give a distance,
    // more a polyline, a double click closes a polygon.
    QAction* Messen1 = nullptr;
    QAction* N10 = nullptr;
    // "Messung kopieren" (Ctrl+C): the figures as text; enabled while a
    // measurement with figures is shown.
    QAction* Messungkopieren1 = nullptr;
    void Messen1Click();
    void Messungkopieren1Click();
    // The measurement shown (its figures), empty without one.
    const MeasureSession& measureSession() const { return m_measure; }
    // "Als PDF im Maßstab exportieren...": rectified image 1 at 1:N.
    QAction* AlsPDFimMastabexportieren1 = nullptr;
    void AlsPDFimMastabexportieren1Click();
    TScalePrintForm* ScalePrintForm = nullptr;
    FileDialog* SaveDialog3 = nullptr; // the PDF export's file

    // Views of more pixels than `limit` keep only their visible part in
    // their back buffer (default gui::WholeViewPixels); 0: every view does.
    void setWholeViewPixels(qint64 limit);

    // Window size of the first showing: the client area is 754 x 563.
    static constexpr int InitialClientWidth = 754;
    static constexpr int InitialClientHeight = 563;

    // The runs of image 1 and image 2.
    rectify::RunEnd RenderDi2() { return render(1); }
    rectify::RunEnd renderdi4() { return render(2); }

    // --- state of the window
    int language = 0;        // the dictionary column the windows show (0 German)
    int languagesetto = 0;   // the language of options.dat, applied at the first showing
    bool dontchlang = false; // the language items are being checked by the program
    bool isfirst = false;    // FormShow has done its work
    bool inpaint = false;    // a brush stroke is in progress
    int oldx = 0;            // its last position in image pixels
    int oldy = 0;
    int pinsel = 10;                    // brush radius in pixels
    pixkit::Colour paintcol = 0xFFFFFF; // brush colour
    int percent = 50; // width of the source views in percent of the window's width

    // The status bar's notice that a rectified image no longer matches the
    // fields it was made with (a held or refused run); hidden otherwise.
    QLabel* MismatchLabel = nullptr;

    // --- small comforts (TMainFormFrictions.cpp)
    QAction* GanzesBild1 = nullptr;     // "Ganzes Bild" (Ctrl+0), last item of "Bearbeiten"
    QLabel* BrushSwatchLabel = nullptr; // the brush's colour and radius in the status bar
    void GanzesBild1Click();
    void buildFrictions();
    void updateBrushSwatch();

    // --- projects (TMainFormProject.cpp): "Datei" -> "Projekt öffnen...",
    // "Zuletzt geöffnete Projekte", "Projekt speichern..."
    void Projektffnen1Click();
    void Projektspeichern1Click();
    // Opens project `file`: both photographs with their corners and fields,
    // the shared settings, then both images anew. False, with a message and
    // the session as it was, when the file cannot be read or holds nonsense.
    bool openProject(const QString& file);
    // Saves the session as project `file`; false with a message when not.
    bool saveProject(const QString& file);
    // The session as a project (photo paths absolute).
    app::Project currentProject() const;
    // The project file of the session; empty before one was saved or opened.
    QString projectFile() const { return m_projectFile; }
    // The session differs from its project file; without one: a quad was set.
    bool projectModified() const;
    // Before the session is left: asks to save unsaved changes ("Speichern",
    // "Verwerfen", "Abbrechen"). True when the caller may go on.
    bool confirmDiscard();
    // The last opened or saved projects, newest first (at most 8, per user).
    QStringList recentProjects() const;
    // Offers the file dialog for the photograph a project named but that was
    // not found, and takes the file chosen.
    void FotosuchenBtnClick();
    // --- lens correction (TMainFormLens.cpp)
    // "Optionen" -> "Objektivkorrektur": the source views show the photographs
    // as the lens database corrects them, clicks land on the original pixels
    // and the runs correct through the lens. Corners stay in original pixels.
    QAction* Objektivkorrektur1 = nullptr;
    void Objektivkorrektur1Click();
    // The lens of photograph `slot` while the correction is on; null when it
    // is off or no lens was found for the photograph.
    const rectify::LensGeometry* sourceLens(int slot) const;
    // What the status bar says about the lens of `slot`; empty when off.
    QString lensStatus(int slot) const;
    QAction* N11 = nullptr;
    QAction* Projektffnen1 = nullptr;
    QMenu* ZuletztgeffneteProjekte1 = nullptr;
    QAction* Projektspeichern1 = nullptr;
    FileDialog* ProjectDialog1 = nullptr;
    QLabel* MissingPhotoLabel = nullptr;  // "Foto 1 fehlt: ..."
    QPushButton* FotosuchenBtn = nullptr; // "Foto suchen..."

protected:
    // The project files of the open and save commands, and the photograph a
    // project misses; a test answers them. Empty: cancelled.
    virtual QString chooseProjectOpenFile();
    virtual QString chooseProjectSaveFile();
    virtual QString chooseMissingPhoto(int slot, const QString& missing);
    // Every run the window starts passes through here (1: image 1, 2: image 2):
    // the run of the fields' request, then its result applied.
    virtual rectify::RunEnd render(int slot);
    // File choices; a test answers them without dialogs. Empty: cancelled.
    virtual QString chooseOpenFile();
    virtual QString chooseSaveFile();
    // Shows a failure to the user.
    virtual void reportError(const QString& text);
    // Builds di3 from di2 and bi2 with the overlay fields.
    virtual void ComposeOverlay();
    // The colour dialog, preselected on `current`; empty: cancelled.
    virtual std::optional<QColor> chooseColour(const QColor& current);
    // SaveDialog2, the file of the DXF export. Empty: cancelled.
    virtual QString chooseDxfFile();
    // The file of the PDF export. Empty: cancelled.
    virtual QString choosePdfFile();
    // The scale print dialog; false when cancelled.
    virtual bool runScalePrintDialog();
    // The lens the EXIF of photograph `slot` names; no geometry when none was found.
    virtual app::LensApplied findLens(int slot) const;

    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Shows a run's result: angles, then the preset width or the new image.
    void applyRun(int slot, rectify::RunResult& result);
    // The scale to save rectified image `slot` with: the one it was made
    // with, or the fields' for an image no run made.
    rectify::RunScale savedScale(int slot) const;
    void updateMismatch(int slot, rectify::RunEnd end);
    bool m_mismatch[2] = {false, false};

    void buildControls();
    void buildMenus();
    // The output options of "Optionen" (TMainFormOutput.cpp), built with the
    // menu and item makers of buildMenus.
    void
    buildOutputOptions(const std::function<QMenu*(QMenu*, const char*, const QString&)>& menu,
                       const std::function<QAction*(QMenu*, const char*, const QString&)>& item);
    // "DXF-Format" and "Einheiten" (TMainFormDrawing.cpp).
    void
    buildDrawingOptions(const std::function<QMenu*(QMenu*, const char*, const QString&)>& menu,
                        const std::function<QAction*(QMenu*, const char*, const QString&)>& item);
    // Writes the traced lines of image 1 to `file` as the menus choose;
    // `picture` is image 1 as it was before tracing (a CAD drawing's photograph).
    // False after telling the user why it failed.
    bool writeDrawingFile(const QString& file, const pixkit::dib* picture);
    void buildViews();
    void connectHandlers();
    void restartTimer1();
    void saveRectified(int slot);
    // Writes rectified image `slot` with the scale it was made with and, when
    // "Weltdatei mitspeichern" is checked, its world file (TMainFormOutput.cpp).
    app::RectifiedWrite writeRectifiedFile(int slot, const QString& file);
    void turnSource(int slot, bool left);
    void turnRectified(int slot, bool left);

    // The source view of slot 1 (PaintBox1) or 2 (PaintBox4).
    PaintBoxView* sourceView(int slot) const;
    rectify::TPoint imagePos(int x, int y) const;
    app::CornerOptions cornerOptions() const;
    void applyCornerStep(int slot, const app::CornerStep& step);
    void paintSource(int slot, PaintBoxView* view, QImage& buffer);
    void paintResult(const pixkit::dib& image, PaintBoxView* view, QImage& buffer);
    // The hollow red box around view pixel (vx, vy); the buffer starts at `origin`.
    void MarkCorner(QImage& buffer, QPoint origin, int vx, int vy);
    // Draws `image` at view size `size` into the part of the view its buffer
    // holds (all of a small view, the visible part of a large one); that part.
    QRect renderView(PaintBoxView* view, QImage& buffer, QSize size, const pixkit::dib& image);

    void buildOverlayAndBrush();
    void brushDown(int slot, int x, int y);
    void brushMove(int slot, int x, int y);
    void brushUp();
    void stampAt(int slot, int cx, int cy, double fx, double fy);
    // The pixel of rectified image `slot` the brush paints for view position
    // (x, y): under the cursor on the shown overlay too; empty where the
    // overlay shows no pixel of image 1.
    std::optional<rectify::TPoint> brushPos(int slot, int x, int y) const;
    void repaintRectified(int slot);
    // The image of `slot` was made anew: its strokes cannot be undone.
    void rectifiedImageRemade(int slot);
    void updateUndoAction();
    void updateBrushCursor();

    // --- measuring (TMainFormMeasure.cpp)
    void buildMeasureAndPrint();
    void buildScalePrint();  // TMainFormPrint.cpp
    void clearMeasurement(); // the points and figures; the magnifier stays
    // The view a measuring click lands in, the image it shows and the pixel
    // under the mouse; not valid while the view or its image is empty.
    struct MeasureTarget {
        bool valid = false;
        PaintBoxView* box = nullptr;
        bool overlay = false;
        const pixkit::dib* image = nullptr;
        QSize shown;
        lines::PixelPos at;
    };
    MeasureTarget measureTarget(int view, int x, int y) const;
    // The blend, zoom and shift the overlay is composed with; the brush and
    // measuring map the mouse through the same.
    pixkit::OverlaySettings overlaySettings() const;
    bool measureDown(int view, int x, int y); // true: the click measured
    bool measureMove(int view, int x, int y);
    void measureDoubleClick(int view, int x, int y);
    void measureImageRemade(int slot);
    void endMeasuring();
    void showMeasurement();
    void drawMeasurement(int view, QPainter& p);
    bool measureMatchesView() const;
    MeasureSession m_measure;
    qint64 m_wholeViewPixels = WholeViewPixels;
    // The overlay in a view that keeps only its visible part: only that part
    // of the canvas is composed, into m_overlayPiece. True when it painted;
    // false when the view keeps all of itself (the whole composite is due).
    bool paintOverlayPart(QSize canvas);
    // Composes ws.di3 when a painted part left it behind the view.
    void composeWholeOverlay();
    pixkit::Image m_overlayPiece;
    bool m_wholeOverlayStale = false;
    // --- history, keyboard and magnifier of the corner input
    void buildHistory();
    CornerState cornerState(int slot);
    void sourceDown(int slot, int x, int y);
    void sourceMove(int slot, int x, int y);
    void sourceUp(int slot, int x, int y);
    void applyHistoryStep(const EditHistory::Step& step);
    // Puts the corners of `state` back into source view `slot`; no corner is being placed.
    void restoreCorners(int slot, const CornerState& state);
    bool sourceKey(int slot, int key, Qt::KeyboardModifiers modifiers);
    void updateLoupe(int slot, rectify::TPoint at);
    void hideLoupe(int slot);
    void drawLoupe(int slot, QPainter& p);

    // --- feedback: status bar and the save commands
    // Opens `file` as image `slot` and says in the status bar what happened.
    bool openImage(int slot, const QString& file);
    // The same for a name as the file system's bytes (a name that is no UTF-8).
    bool openImageBytes(int slot, const std::string& fileBytes);
    void showSaved(const QString& file);
    void showRunResult(int slot);
    static QString saveFailedText(const QString& file, const QString& reason);
    void updateSaveCommands();
    const std::uint8_t* m_blankResult[2] = {nullptr, nullptr};
    bool m_hasResult[2] = {false, false};

    // --- keyboard and layout polish
    void buildPolish();
    void applyMinimumSize();
    // Ctrl + wheel: zoom one step about the mouse; true (the turn is used).
    bool zoomAtMouse(QObject* watched, QPointF globalPos, int delta);

    EditHistory m_history;
    // Per source view: the corners before the quad being placed or the
    // corner being dragged, and the corner last placed or dragged.
    std::optional<CornerState> m_cornerBefore[2];
    int m_lastCorner[2] = {app::LastCorner, app::LastCorner};
    // Per source view: the magnifier's picture and place (view pixels).
    QImage m_loupe[2];
    QRect m_loupeAt[2];
    pixkit::StrokeRecord m_stroke; // the stroke in progress
    int m_strokeSlot = 0;          // its image (1, 2), 0 between strokes
    bool m_strokeHasOld = false;   // oldx, oldy hold its last painted position

    // --- projects
    void buildProjectCommands();
    // A run made a new image of `slot`: what it was made with.
    void projectRunMade(int slot, const rectify::RunRequest& request,
                        const rectify::RunResult& result);
    void projectPhotoOpened(int slot);
    void projectSourceTurned(int slot, bool left);
    // A .fassadenplan named on the command line; false for anything else.
    bool openStartProject();
    void rerunWithFields(int slot, const app::ProjectFields& fields);
    void updateProjectTitle();
    void updateMissingPhotos();
    void addRecentProject(const QString& file);
    void fillRecentMenu();
    QString placeShown(const std::string& place) const;
    QString m_projectFile;
    std::optional<app::Project> m_savedProject; // as last saved or opened
    std::optional<app::ProjectFields> m_madeWith[2];
    int m_turns[2] = {0, 0};
    std::string m_missingPhoto[2]; // a project's photograph that was not found
    std::optional<QJsonObject> m_lens[2];
    // --- lens correction (TMainFormLens.cpp)
    void buildLensOption(const std::function<QAction*(QMenu*, const char*, const QString&)>& item);
    // The photograph of `slot` was opened anew or turned: its lens is looked up again.
    void lensSourceChanged(int slot);
    // The photograph view `slot` shows, and where an original pixel lies in it.
    const pixkit::dib& shownSource(int slot) const;
    rectify::TPoint shownPoint(int slot, rectify::TPoint original) const;
    // The original pixel under view pixel (x, y) of source view `slot`.
    rectify::TPoint sourcePos(int slot, int x, int y) const;
    QString withLensStatus(int slot, const QString& text) const;
    // The correction photograph `slot` gets: off while the menu item is
    // unchecked, else its project's poly3 or the lens database's profile.
    app::LensSetting lensSettingOf(int slot) const;
    // The menu item as the opened project's photographs have it.
    void applyProjectLens(const app::Project& project);
    struct LensView;
    const LensView* lensView(int slot) const;
    mutable std::shared_ptr<LensView> m_lensView[2];
    bool m_applyingProject = false;
    // --- painted work kept over reruns (TMainFormUnsaved.cpp)
    // Rectified image `slot` is about to be replaced: a painted one goes to
    // the history first. `copyBack`: the slot keeps a copy to work on (the
    // DXF export traces it in place).
    void keepPaintedPicture(int slot, bool copyBack);
    // The history's swap of a kept picture with the shown one.
    EditHistory::PictureSwap pictureSwap();
    // Ctrl+Z / Ctrl+Y in a number field with nothing of its own to undo
    // leave the field and reach the history.
    void buildFieldUndo();
    bool fieldUndoFilter(QObject* watched, QEvent* e);
    // Says once per session that a painted picture was replaced and how it comes back.
    void showReplacedNotice();
    // True, with the reason in the status bar and the picture marked as not
    // matching, when the fields hold values no picture can be made with.
    bool refuseRun(int slot);
    // Enables the DXF export only with a rectified image 1, the commands of
    // image 2 only with its photograph.
    void updateCommandStates();
    bool m_runsInPair = false;        // both runs of one command: the notice after both
    bool m_historyRerun = false;      // a rerun of an undo or redo of corners
    bool m_replacedNoticeDue = false; // the status bar is yet to say it once
    bool m_replacedNoticeShown = false;

    QStringList m_params;
    bool m_closing = false;
    // The system's wheel turn last handled (see eventFilter).
    bool m_haveLastWheel = false;
    std::uint64_t m_lastWheelTime = 0;
    QPointF m_lastWheelPos;
    QPoint m_lastWheelDelta;
};

} // namespace gui
