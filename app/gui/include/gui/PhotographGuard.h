#pragma once
// The window's save commands refuse a file that is one of its open
// photographs: saving would replace the picture the corners were set on.

#include "app/Workspace.h"

#include <QString>

namespace gui {

// The message (translated) refusing to save `file` (and its world file when
// `worldFile`) over a photograph open in `ws`; empty when the save may go on.
QString photographReplacedText(const app::Workspace& ws, const QString& file, bool worldFile);

} // namespace gui
