// The ".pdf" output of the batch: the scale and paper of the job, or the
// ones the picture fits, and the PDF written through pixkit's printer. The
// page speaks English, as the batch does; numbers and the date follow the
// user's locale, as the batch's decimal numbers do.

#include "app/PdfOutput.h"

#include "app/BatchMode.h"
#include "pixkit/ScalePrint.h"

#include <QDate>
#include <QLocale>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace app {

namespace {

JobOutcome failed(BatchExit exit, std::string message) {
    JobOutcome o;
    o.exit = exit;
    o.message = std::move(message);
    return o;
}

bool knowsPaper(const std::string& paper) {
    return pixkit::ParsePaper(paper).has_value();
}

std::string millimetres(double mm) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", mm);
    return text;
}

JobOutcome writePdf(const RectifyJob& job, const pixkit::dib& image, const rectify::RunScale& scale,
                    JobOutcome outcome) {
    if (!scale.pixelsPerCm)
        return failed(BatchExit::NoImage,
                      "cannot print '" + job.photo + "' at a scale: " +
                          pixkit::PrintStatusEnglish(pixkit::PrintStatus::NoScale));
    const double perCm = *scale.pixelsPerCm;
    pixkit::ScalePdfJob pdf;
    pdf.pixelsPerCmX = pdf.pixelsPerCmY = perCm;
    const std::optional<pixkit::DefaultPrint> fits =
        pixkit::ChooseDefaultPrint(outcome.width, outcome.height, perCm, perCm);
    if (!fits)
        return failed(BatchExit::NoImage,
                      "cannot print '" + job.photo + "' at a scale: " +
                          pixkit::PrintStatusEnglish(pixkit::PrintStatus::NoScale));
    pdf.scale = job.pdfScale.value_or(fits->scale);
    // A scale of the user's own goes on A4 unless a paper is named.
    pdf.paper = job.pdfScale ? pixkit::Paper{} : fits->paper;
    if (!job.pdfPaper.empty())
        pdf.paper = pixkit::ParsePaper(job.pdfPaper).value_or(pdf.paper);
    pdf.photoName = std::filesystem::path(job.photo).filename().string();
    pdf.rectangleWidthCm = scale.realWidthCm;
    pdf.rectangleHeightCm = scale.realHeightCm;
    pdf.date = QDate::currentDate();
    pdf.locale = QLocale::system();
    pdf.captions.scale = "Scale 1:%1";
    pdf.captions.page = "Page %1 of %2";
    pdf.captions.photo = "Photo: %1";
    pdf.captions.rectangle = "Measured rectangle: %1 \u00d7 %2 cm";
    pdf.captions.date = "Date: %1";

    const pixkit::PagePlan plan = pixkit::PlanScalePrint(
        {outcome.width, outcome.height, perCm, perCm, pdf.scale, pdf.paper, pdf.marginMm});
    const pixkit::PdfWrite written = pixkit::WriteScalePdf(job.output, image, pdf);
    switch (written.status) {
    case pixkit::PrintStatus::Done:
        break;
    case pixkit::PrintStatus::CannotWrite:
        return failed(BatchExit::WriteFailed,
                      "cannot write '" + job.output + "'" +
                          (written.errorCode > 0
                               ? std::string(": ") + std::strerror(written.errorCode)
                               : std::string()));
    case pixkit::PrintStatus::NoImage:
    case pixkit::PrintStatus::NoScale:
        return failed(BatchExit::NoImage, "cannot print '" + job.photo + "' at a scale: " +
                                              pixkit::PrintStatusEnglish(written.status));
    default:
        return failed(BatchExit::WriteFailed, "cannot write '" + job.output + "': " +
                                                  pixkit::PrintStatusEnglish(written.status));
    }
    outcome.message = "PDF at 1:" + std::to_string(pdf.scale) + " written to " + job.output + " (" +
                      pixkit::PaperName(pdf.paper) + ", " + std::to_string(written.pages) +
                      (written.pages == 1 ? " page" : " pages") + ", picture " +
                      millimetres(plan.placedWidthMm) + " x " + millimetres(plan.placedHeightMm) +
                      " mm)";
    return outcome;
}

} // namespace

const PdfOutput& scalePdfOutput() {
    static const PdfOutput output{&knowsPaper, &writePdf};
    return output;
}

bool batchPrintsPdf(const std::vector<std::string>& parameters) {
    return parameters.size() >= BatchMinParams && isPdfOutput(parameters[BatchMinParams - 1]);
}

} // namespace app
