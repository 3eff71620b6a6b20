#pragma once
// The translation of every window of the application into the current
// language, once per run at the first showing of the main window.
//
// The walk is breadth first over ownership: first the windows, in the
// reverse order of their creation, then the components of each window, every
// owner's components from the last created to the first, level by level.
// With an empty dictionary the texts are therefore appended to translate.dat
// in exactly this visiting order.

#include <QList>

#include <functional>

class QObject;
class QString;
class QWidget;

namespace gui {

// The application's windows in the order they were created: every parentless
// window (the main window), each followed by the windows created with it as
// parent (dialogs, tool windows), depth first. Popups (menus), tool tips and
// other transient windows are no windows in this sense.
QList<QWidget*> applicationWindows();

// True for the windows applicationWindows lists (main windows, dialogs, tool
// windows), false for menus, tool tips and every embedded widget.
bool isApplicationWindow(const QObject* object);

// Calls `visit` for every window and every component reachable from them, in
// the walk's order (see above). Objects that Qt makes for its own widgets
// (the line edit inside a spin box, scroll bars, viewports) are visited but
// have no texts.
void walkApplication(const std::function<void(QObject*)>& visit);

// Passes each text of `object` that the window translation covers through
// `tr`, in order, and stores the result: labels and windows their caption;
// check boxes the tool tip, then the caption; push buttons and group boxes the
// caption, then the tool tip; menu items (QAction) the text, then an explicit
// tool tip; spin boxes the tool tip; a QTableWidget its header row; file
// dialogs their filter; line edits their text. Empty texts are never passed.
void translateTexts(QObject* object, const std::function<QString(const QString&)>& tr);

// Every window into the current language: walkApplication with translateTexts
// through the dictionary's Translate.
void TranslateApplication();

} // namespace gui
