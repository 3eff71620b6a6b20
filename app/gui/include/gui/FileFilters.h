#pragma once
// File-dialog filters. The image library describes its formats as
// "Description|*.a;*.b|Description|*.c"; Qt's dialogs want
// "Description (*.a *.b);;Description (*.c)".

#include <QString>

namespace gui {

// Converts a "|"-separated filter into a Qt filter. Empty parts are skipped;
// a trailing description without patterns is dropped; a description that
// already ends with its patterns in brackets is taken as it is.
QString qtFilterFromPipes(const QString& pipes);

// The filter of the save dialogs in the "|"-separated form.
QString saveImagePipes();

// The filter of the save dialogs: every format the image writer knows,
// the JPEG first.
QString saveImageFilter();

} // namespace gui
