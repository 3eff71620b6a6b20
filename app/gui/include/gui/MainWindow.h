#pragma once
// The interactive start of the program.

namespace gui {

// Creates the application and the main window, opens the photograph named by
// the first parameter (if any) when the window is first shown, and runs the
// message loop. Returns the exit code.
int runMainWindow(int argc, char** argv);

} // namespace gui
