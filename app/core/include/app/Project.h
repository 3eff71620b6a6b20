#pragma once
// A project: the two photographs of a session with their corners and the
// values their rectified images were made with, and the shared settings of
// the window, kept in a `.fassadenplan` file (JSON text, see README "Project
// files"). The window saves and opens it; a manifest row may name one.
//
// Error policy: reading never throws and never changes anything; it returns
// the project or what is wrong with the file (damaged, foreign, newer,
// an absurd value). The writer writes only projects the reader accepts.

#include "app/LensSetting.h"
#include "rectify/Types.h"

#include <QJsonObject>

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace app {

// The format version this program writes; files of a newer one are refused.
inline constexpr int ProjectFormatVersion = 1;
// The value of the file's "format" key: a JSON file without it is no project.
inline constexpr std::string_view ProjectFormatName = "fassadenplan-project";
inline constexpr std::string_view ProjectExtension = ".fassadenplan";
// No project file is larger; a larger file is refused unread.
inline constexpr std::size_t MaxProjectBytes = std::size_t{4} << 20;
// Corners lie within this many pixels of the origin (a corner dragged beyond
// the picture stays far closer than that; 2^28).
inline constexpr int MaxCornerPixels = 1 << 28;

// The values that make a rectified image from a photograph and its corners.
struct ProjectFields {
    double realWidthCm = 1000.0;
    double realHeightCm = 1000.0;
    int targetPercent = 100;
    int areaPercent = 100;
    double angleXDeg = 0.0;
    double angleYDeg = 0.0;
    bool anglesTyped = false; // the angles were typed: the run used them instead of searching
    rectify::Interpolation sampling = rectify::Interpolation::Nearest;
    friend bool operator==(const ProjectFields&, const ProjectFields&) = default;
};

struct ProjectPhoto {
    // The photograph, an absolute path (UTF-8) in memory; in the file
    // relative to the project's folder when it lies below it.
    std::string path;
    int turns = 0; // quarter turns to the right after reading (0 ... 3)
    rectify::Corners corners{};
    bool cornersSet = false; // the quad is complete
    // What its rectified image was made with (or, before the first image,
    // the control panel's values when it was saved).
    ProjectFields fields;
    // Lens settings: "correction" holds the lens correction of the
    // photograph (as --lens takes it); other entries are kept as they were
    // read and written back unchanged. None: no correction.
    std::optional<QJsonObject> lens;
    friend bool operator==(const ProjectPhoto&, const ProjectPhoto&) = default;
};

struct Project {
    std::array<std::optional<ProjectPhoto>, 2> photos; // image 1, image 2
    ProjectFields panel;                               // the control panel as it stands
    bool hold = false;                                 // "Jetzt erstmal nicht gleich rechnen"
    int zoomPercent = 40;
    int blendPercent = 0;
    int overlayShiftX = 0; // image 2 against image 1 in the overlay, pixels
    int overlayShiftY = 0;
    double overlayZoomPercent = 100.0;
    int threshold = 50;     // of the DXF export, percent
    bool worldFile = false; // saving writes the world file too
    friend bool operator==(const Project&, const Project&) = default;
};

enum class ProjectError {
    None,
    Unreadable, // missing, no regular file, too large, no permission
    Damaged,    // no JSON text, or a part of it of the wrong kind
    Foreign,    // JSON, but no project of this program
    Newer,      // a format version this program does not know yet
    Absurd,     // a value no session can have (NaN, 1e300, a negative size ...)
};

struct ProjectRead {
    std::optional<Project> project;
    ProjectError error = ProjectError::None;
    // Unreadable: the reason (English); Newer: the version; Absurd and
    // Damaged: the value's place, e.g. "photos[0].corners[2].x".
    std::string detail;
};

// The project in `bytes`; relative photo paths are resolved against the
// folder of `projectFile`.
ProjectRead parseProject(std::string_view bytes, const std::string& projectFile);

// Reads and parses `projectFile` (a FIFO or device is refused at once).
ProjectRead readProjectFile(const std::string& projectFile);

// The place of the first value of `project` that the reader would refuse;
// empty when there is none.
std::optional<std::string> absurdValue(const Project& project);

// The JSON text of `project` for a file `projectFile` (photo paths below its
// folder written relative to it).
std::string projectBytes(const Project& project, const std::string& projectFile);

// Writes the project through a safe replacement. 0 or an error code of
// foundation/ReplaceFile.h; an absurd project is not written (EINVAL).
int writeProjectFile(const Project& project, const std::string& projectFile);

// True when `file` ends in ".fassadenplan" (letters in any case).
bool isProjectFile(const std::string& file);

// The path of a photograph as the file stores it: relative to the folder of
// `projectFile` when `photo` lies below that folder, else absolute.
std::string storedPhotoPath(const std::string& photo, const std::string& projectFile);
// And back: an absolute path.
std::string resolvedPhotoPath(const std::string& stored, const std::string& projectFile);

// The names of the interpolations in project files and manifests.
std::string_view interpolationName(rectify::Interpolation sampling);

// The lens correction of a photograph's lens settings: its "correction"
// ("off", "auto" or "poly3:K1"), off when it names none. Empty when the
// entry is no such text.
std::optional<LensSetting> projectLensSetting(const QJsonObject& lens);
// The lens settings `lens` with their correction set to `setting`: none
// stays none while the setting is off.
std::optional<QJsonObject> withLensSetting(std::optional<QJsonObject> lens,
                                           const LensSetting& setting);

} // namespace app
