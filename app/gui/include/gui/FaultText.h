#pragma once
// A failed write's reason in the window's language: worded from the kind of
// fault and its figures through Translate, never from the library's English.

#include "foundation/Fault.h"

#include <QString>

namespace gui {

// The reason, translated; empty for no fault (or a file fault without a code).
QString faultText(const fp::Fault& fault);

} // namespace gui
