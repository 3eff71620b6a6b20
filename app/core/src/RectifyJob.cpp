// One rectification of a photograph into a file: open, run (twice when the
// width is preset from the tilt), write the image or trace and write the
// drawing.

#include "app/RectifyJob.h"

#include "app/DrawingOutput.h"
#include "app/OutputGuard.h"
#include "app/RectifiedOutput.h"
#include "app/StreamedJob.h"
#include "app/Workspace.h"
#include "foundation/ReplaceFile.h"
#include "pixkit/DepthTurn.h"
#include "pixkit/ImageFile.h"
#include "pixkit/ImageFormats.h"

#include <algorithm>
#include <new>

namespace app {

namespace {

std::string asciiLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    });
    return s;
}

JobOutcome failed(BatchExit exit, std::string message) {
    JobOutcome o;
    o.exit = exit;
    o.message = std::move(message);
    return o;
}

// The reason a run left no image, for the message.
std::string whyNoImage(const rectify::RunResult& r) {
    switch (r.end) {
    case rectify::RunEnd::EmptyImage:
        return "the rectified image would have no pixel (the calculation area is too small)";
    case rectify::RunEnd::TooLarge:
        return "the rectified image would have " + std::to_string(r.refusedWidth) + " \u00d7 " +
               std::to_string(r.refusedHeight) + " pixels, more than the limit of 268 million";
    case rectify::RunEnd::CornersCoincide:
        return "two of the four corners are the same point";
    case rectify::RunEnd::CornersNoQuad:
        return "the corners form no quadrilateral (three on one line, or two sides cross)";
    case rectify::RunEnd::NoTargetSize:
        return "the corners span no area (all on one pixel row or column)";
    case rectify::RunEnd::Fault:
        return "the corners and the real size give no valid pose or size "
               "(a real width or height of 0, or corners that no tilted rectangle fits)";
    case rectify::RunEnd::NoImage:
        return "not enough memory to create the rectified image (check the calculation area)";
    case rectify::RunEnd::Held:
    case rectify::RunEnd::NoCorners:
    case rectify::RunEnd::WidthPreset:
    case rectify::RunEnd::PoseOnly:
    case rectify::RunEnd::Done:
        break;
    }
    return "the run ended without an image";
}

// The line drawing of the rectified image, scaled with the real width and
// the calculation area it was made with.
JobOutcome writeDrawing(const RectifyJob& job, pixkit::Image& image, const rectify::RunScale& scale,
                        JobOutcome outcome) {
    Workspace traced; // the line list and the separation tables of this job alone
    traced.slot(1).result = std::move(image);
    const DrawingChoice choice{job.dxfFormat, job.unit, job.minSizePx};
    // The CAD drawing's underlay: the rectified picture before tracing turns it into outlines.
    pixkit::Image picture;
    if (choice.cad()) {
        picture.install(lines::DuplicateImage(traced.slot(1).result.get()));
        if (picture.empty())
            return failed(BatchExit::TraceFailed,
                          "not enough memory to keep the rectified image of '" + job.photo +
                              "' as the drawing's photograph");
    }
    lines::LineEvents quiet;
    if (traced.TraceDi2(job.threshold, quiet) != lines::ExportEnd::Traced)
        return failed(BatchExit::TraceFailed,
                      "not enough memory to trace the rectified image of '" + job.photo + "' (" +
                          std::to_string(outcome.width) + " x " + std::to_string(outcome.height) +
                          " pixels)");
    DrawingWrite written;
    try {
        written = WriteTracedDrawing(job.output, traced, picture.empty() ? nullptr : &picture.get(),
                                     scale, choice, job.photo, job.pngLevel);
    } catch (const std::bad_alloc&) {
        return failed(BatchExit::WriteFailed,
                      "cannot write '" + job.output + "': not enough memory to make the drawing");
    }
    if (!written.ok())
        return failed(BatchExit::WriteFailed,
                      "cannot write '" + job.output + "': " + written.error);
    const pixkit::Image& drawn = traced.slot(1).result;
    outcome.width = drawn.width();
    outcome.height = drawn.height();
    outcome.segments = traced.lines.count();
    outcome.underlay = written.underlay;
    outcome.message =
        "DXF drawing written to " + job.output + " (" + std::to_string(outcome.segments) +
        " segments, threshold " + std::to_string(job.threshold) + " %, traced at " +
        std::to_string(outcome.width) + " x " + std::to_string(outcome.height) + " pixels" +
        (written.underlay.empty() ? std::string() : ", photograph " + written.underlay) + ")";
    return outcome;
}

JobOutcome runJobUnguarded(const RectifyJob& job, const PdfOutput* pdf) {
    if (std::optional<JobOutcome> problem = checkJob(job, pdf))
        return *problem;
    const std::string replaced =
        replacedPhotograph(job.output, job.worldFile && !isDxfOutput(job.output), {job.photo});
    if (!replaced.empty())
        return failed(BatchExit::WriteFailed,
                      "cannot write '" + replaced + "': the output would replace the photograph");

    // A JPEG into a JPEG, PNG, BMP or TIFF (and its world file) is decoded,
    // rectified and encoded at once; the rest opens the photograph whole
    // first.
    StreamedPhoto streamed;
    const bool streaming = job.stream && streamsOutput(job) && !isDxfOutput(job.output) &&
                           !isPdfOutput(job.output) && streamed.start(job.photo);
    pixkit::Image photo;
    if (!streaming) {
        photo = openAs24(job.photo);
        if (photo.empty())
            return failed(BatchExit::PhotoUnreadable,
                          "cannot open the photograph '" + job.photo + "'");
        for (int t = 0; t < (job.sourceTurns % 4 + 4) % 4; ++t)
            pixkit::TurnSourceImage(photo.get(), pixkit::TurnDirection::Right);
    }
    const pixkit::dib& source = streaming ? streamed.image() : photo.get();

    // Without a profile the job goes on uncorrected; the note says so.
    const LensApplied lens =
        applyLensSetting(job.lens, job.photo, pixkit::dibwidth(source), pixkit::dibheight(source));
    const std::string note = lensNote(job.lens, lens);

    rectify::RunRequest request;
    request.source = &source;
    request.lens = lens.geometry.get();
    request.corners = job.corners;
    request.cornersComplete = true;
    request.realWidthCm = job.realWidthCm.value_or(fields::RealWidth.start);
    request.realHeightCm = job.realHeightCm.value_or(fields::RealHeight.start);
    request.areaPercent = heldWhole(fields::Area, job.areaPercent);
    request.sampling = job.sampling;
    request.targetPercent = heldWhole(fields::Target, job.targetPercent);
    if (job.typedAnglesDeg) {
        request.fixedAngles = true;
        request.angleXDeg = (*job.typedAnglesDeg)[0];
        request.angleYDeg = (*job.typedAnglesDeg)[1];
    }
    // Without a real size the first run presets the width from the tilt, as
    // the window does after the fourth corner, and the second makes the image.
    request.presetWidth = !job.realWidthCm.has_value();
    StreamedOutput encoded;
    const rectify::RowsConsumer consumer =
        rowsConsumer(streamed, job, request.realWidthCm, request.areaPercent, encoded);
    if (streaming)
        request.rows = &consumer;
    rectify::RunResult result = rectify::run(request);
    if (request.presetWidth) {
        if (result.presetWidthCm)
            request.realWidthCm = heldValue(fields::RealWidth, *result.presetWidthCm);
        request.presetWidth = !result.presetConsumed;
        request.fixedAngles = request.fixedAngles && !result.fixedAnglesConsumed;
        result = rectify::run(request);
    }
    if (streaming && !streamed.finish())
        return failed(BatchExit::PhotoUnreadable, "cannot open the photograph '" + job.photo + "'");

    JobOutcome outcome;
    outcome.lensNote = note;
    if (result.pose) {
        outcome.angleXDeg = result.pose->angleX;
        outcome.angleYDeg = result.pose->angleY;
    }
    const bool taken = encoded.taken && result.end == rectify::RunEnd::Done;
    if (result.end != rectify::RunEnd::Done || (result.image.empty() && !taken) || !result.scale) {
        JobOutcome none = failed(BatchExit::NoImage, "no rectified image for '" + job.photo +
                                                         "': " + whyNoImage(result));
        none.lensNote = note;
        return none;
    }
    outcome.width = taken ? encoded.width : result.image.width();
    outcome.height = taken ? encoded.height : result.image.height();
    outcome.pixelsPerCm = result.scale->pixelsPerCm;
    if (taken) {
        const std::string size =
            std::to_string(outcome.width) + " x " + std::to_string(outcome.height) + " pixels";
        if (encoded.failed) {
            if (const int e = encoded.file->error(); e != 0)
                return failed(BatchExit::WriteFailed,
                              "cannot write '" + job.output + "': " + fp::fileErrorText(e));
            const std::string type =
                asciiLower(job.output.substr(job.output.find_last_of('.') + 1));
            return failed(BatchExit::WriteFailed, "cannot write '" + job.output + "': the " + type +
                                                      " encoder failed for this image (" + size +
                                                      ")");
        }
        RectifiedOptions options;
        options.worldFile = job.worldFile;
        options.unit = job.unit;
        const RectifiedWrite written =
            CommitRectified(*encoded.file, job.output, encoded.width, encoded.height,
                            result.scale->realWidthCm, result.scale->areaPercent, options);
        if (!written.ok)
            return failed(BatchExit::WriteFailed,
                          "cannot write '" + written.file + "': " + written.error);
        outcome.message = "Rectified image written to " + job.output + " (" + size + ")";
        outcome.streamed = true;
        return outcome;
    }

    if (isDxfOutput(job.output))
        return writeDrawing(job, result.image, *result.scale, std::move(outcome));
    if (isPdfOutput(job.output) && pdf != nullptr)
        return pdf->write(job, result.image.get(), *result.scale, std::move(outcome));

    RectifiedOptions options;
    options.write.jpegQuality = job.jpegQuality;
    options.write.webpQuality = job.webpQuality;
    options.write.pngLevel = job.pngLevel;
    options.worldFile = job.worldFile;
    options.unit = job.unit;
    const RectifiedWrite written =
        WriteRectified(result.image.get(), job.output, result.scale->realWidthCm,
                       result.scale->areaPercent, options);
    if (!written.ok)
        return failed(BatchExit::WriteFailed,
                      "cannot write '" + written.file + "': " + written.error);
    outcome.message = "Rectified image written to " + job.output + " (" +
                      std::to_string(outcome.width) + " x " + std::to_string(outcome.height) +
                      " pixels)";
    return outcome;
}

} // namespace

bool isDxfOutput(const std::string& outputFile) {
    return outputFile.size() >= 4 && asciiLower(outputFile.substr(outputFile.size() - 4)) == ".dxf";
}

bool isPdfOutput(const std::string& outputFile) {
    return outputFile.size() >= 4 && asciiLower(outputFile.substr(outputFile.size() - 4)) == ".pdf";
}

bool isBatchOutputType(const std::string& outputFile) {
    const auto dot = outputFile.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    const std::string ext = asciiLower(outputFile.substr(dot));
    const std::vector<std::string> types = pixkit::batchOutputExtensions();
    return std::find(types.begin(), types.end(), ext) != types.end();
}

std::string batchOutputTypeList() {
    std::string list;
    for (const std::string& ext : pixkit::batchOutputExtensions())
        list += (list.empty() ? "" : " ") + ext;
    return list;
}

std::optional<JobOutcome> checkJob(const RectifyJob& job, const PdfOutput* pdf) {
    // No rectangle has a side of 0 or less: such a size ends like a run
    // that makes no image, before the photograph is read.
    if (job.realWidthCm && (*job.realWidthCm <= 0.0 || job.realHeightCm.value_or(0.0) <= 0.0))
        return failed(BatchExit::NoImage, "no rectified image for '" + job.photo +
                                              "': real width and height must be positive");
    const bool printed = pdf != nullptr && isPdfOutput(job.output);
    if ((job.pdfScale || !job.pdfPaper.empty()) && !printed)
        return failed(BatchExit::Usage,
                      "--scale and --paper apply to a .pdf output only, not to '" + job.output +
                          "'");
    if (printed && !job.pdfPaper.empty() && !pdf->knowsPaper(job.pdfPaper))
        return failed(BatchExit::NotANumber, "the paper must be A4, A3, A2, A1 or A0, optionally "
                                             "followed by ',landscape': '--paper=" +
                                                 job.pdfPaper + "'");
    if (!isDxfOutput(job.output) && !printed &&
        (!isBatchOutputType(job.output) || !pixkit::CanWriteExtension(job.output)))
        return failed(BatchExit::BadOutputType,
                      "parameter 10 (output file) '" + job.output +
                          "' has no known image extension (" + batchOutputTypeList() +
                          (pdf != nullptr ? ") and is no DXF drawing (.dxf) or PDF "
                                            "(.pdf)"
                                          : ") and is no DXF drawing (.dxf)"));
    return std::nullopt;
}

JobOutcome runJob(const RectifyJob& job, const PdfOutput* pdf) {
    // Memory that could not be had anywhere else (reading, rectifying) ends
    // the job with a message, never with an abort.
    try {
        return runJobUnguarded(job, pdf);
    } catch (const std::bad_alloc&) {
        return failed(BatchExit::NoImage,
                      "not enough memory for this photograph and calculation area");
    }
}

} // namespace app
