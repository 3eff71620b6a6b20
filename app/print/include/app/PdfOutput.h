#pragma once
// The batch's ".pdf" output: the rectified image printed at a drawing scale
// 1:N (pixkit/ScalePrint.h), handed to runJob by the program.
//
// The writer needs a QGuiApplication for the fonts of the page; the batch
// creates one on the offscreen platform, so no display is needed.

#include "app/RectifyJob.h"

#include <string>
#include <vector>

namespace app {

// The writer and the paper check of the ".pdf" output.
const PdfOutput& scalePdfOutput();

// True when the batch's parameters (the words that are no options,
// CommandLine::parameters) name a ".pdf" output: the program then starts a
// QGuiApplication instead of a QCoreApplication.
bool batchPrintsPdf(const std::vector<std::string>& parameters);

} // namespace app
