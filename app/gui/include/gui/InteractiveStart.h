#pragma once
// The interactive start of the program.

#include <functional>

class QIcon;

namespace gui {

// Delivers one event through `deliver` and returns its result. An exception
// that escapes the command behind it (memory that could not be had, a
// failure nobody caught) ends no longer the program: the user is told in an
// error box that the command was not done, and false is returned.
bool deliverGuarded(const std::function<bool()>& deliver);

// The program's icon in the sizes of the icon theme (16 ... 256 pixels).
QIcon applicationIcon();

// What the application gets before its first window: its name, the desktop
// entry it belongs to (fassadenplan.desktop) and the window icon that the
// main window and every dialog show.
void prepareApplication();

// Creates the application and the main window, opens the photograph named by
// the first parameter (if any) when the window is first shown, and runs the
// message loop. Returns the exit code.
//
// Demonstration aid: "--demo-corners X0,Y0,X1,Y1,X2,Y2,X3,Y3" (anywhere
// after the photograph) sets the four corners of image 1 once the window is
// shown, as four clicks at those image positions would.
int runMainWindow(int argc, char** argv);

// The lines that --help shows for the interactive start.
const char* interactiveUsage();

} // namespace gui
