// The project file: a JSON object read into a Project and written back.
// Every key but "format" and "version" may be missing (the start value
// stands in); a key of the wrong kind makes the file damaged, a value out of
// its field's limits absurd.

#include "app/Project.h"

#include "app/Fields.h"
#include "foundation/ReplaceFile.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>

#include <cerrno>
#include <cmath>
#include <limits>

namespace app {

namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

// Why a read stopped: the error and the place of the value.
struct Refusal {
    ProjectError error;
    std::string place;
};

// Reads the values of one JSON object, remembering the first refusal.
class Reader {
public:
    Reader(const QJsonObject& object, std::string place, std::optional<Refusal>& refusal)
        : m_object(object), m_place(std::move(place)), m_refusal(refusal) {}

    bool failed() const { return m_refusal.has_value(); }

    std::string at(const char* key) const {
        return m_place.empty() ? std::string(key) : m_place + "." + key;
    }

    void refuse(ProjectError e, std::string place) {
        if (!m_refusal)
            m_refusal = Refusal{e, std::move(place)};
    }

    // A finite number within [lo, hi]; whole when `whole`.
    void number(const char* key, double& out, double lo, double hi, bool whole = false) {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined())
            return;
        if (!v.isDouble()) {
            refuse(ProjectError::Damaged, at(key));
            return;
        }
        const double d = v.toDouble();
        if (!std::isfinite(d) || d < lo || d > hi || (whole && d != std::floor(d))) {
            refuse(ProjectError::Absurd, at(key));
            return;
        }
        out = d;
    }
    void whole(const char* key, int& out, double lo, double hi) {
        double d = out;
        number(key, d, lo, hi, true);
        out = static_cast<int>(d);
    }
    void field(const char* key, int& out, const FieldLimits& f) {
        whole(key, out, f.minimum, f.maximum);
    }
    void flag(const char* key, bool& out) {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined())
            return;
        if (!v.isBool())
            refuse(ProjectError::Damaged, at(key));
        else
            out = v.toBool();
    }
    // A nested object; an empty one when missing.
    QJsonObject object(const char* key) {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (!v.isUndefined() && !v.isObject())
            refuse(ProjectError::Damaged, at(key));
        return v.toObject();
    }

    const QJsonObject& json() const { return m_object; }

private:
    QJsonObject m_object;
    std::string m_place;
    std::optional<Refusal>& m_refusal;
};

std::optional<rectify::Interpolation> interpolationOf(const QString& name) {
    for (const auto s : {rectify::Interpolation::Nearest, rectify::Interpolation::Bilinear,
                         rectify::Interpolation::Bicubic})
        if (name == QLatin1String(interpolationName(s).data(),
                                  static_cast<qsizetype>(interpolationName(s).size())))
            return s;
    return std::nullopt;
}

// Sizes are positive: no rectangle has a side of 0 or less.
constexpr double SmallestSizeCm = std::numeric_limits<double>::denorm_min();

void readFields(Reader& r, ProjectFields& f) {
    // The values as the control panel's fields hold them (two decimals), so
    // a run of the window and of a manifest row see the same numbers.
    auto held = [&r](const char* key, double& v, const FieldLimits& field, bool size) {
        r.number(key, v, size ? SmallestSizeCm : field.minimum, field.maximum);
        v = heldValue(field, v);
        if (size && !(v > 0.0))
            r.refuse(ProjectError::Absurd, r.at(key));
    };
    held("realWidthCm", f.realWidthCm, fields::RealWidth, true);
    held("realHeightCm", f.realHeightCm, fields::RealHeight, true);
    r.field("targetPercent", f.targetPercent, fields::Target);
    r.field("areaPercent", f.areaPercent, fields::Area);
    held("angleXDeg", f.angleXDeg, fields::AngleX, false);
    held("angleYDeg", f.angleYDeg, fields::AngleY, false);
    r.flag("anglesTyped", f.anglesTyped);
    const QJsonValue s = r.json().value(QLatin1String("interpolation"));
    if (s.isUndefined())
        return;
    if (!s.isString()) {
        r.refuse(ProjectError::Damaged, r.at("interpolation"));
        return;
    }
    if (const auto sampling = interpolationOf(s.toString()))
        f.sampling = *sampling;
    else
        r.refuse(ProjectError::Absurd, r.at("interpolation"));
}

QJsonObject fieldsJson(const ProjectFields& f) {
    QJsonObject o;
    o.insert(QStringLiteral("realWidthCm"), f.realWidthCm);
    o.insert(QStringLiteral("realHeightCm"), f.realHeightCm);
    o.insert(QStringLiteral("targetPercent"), f.targetPercent);
    o.insert(QStringLiteral("areaPercent"), f.areaPercent);
    o.insert(QStringLiteral("angleXDeg"), f.angleXDeg);
    o.insert(QStringLiteral("angleYDeg"), f.angleYDeg);
    o.insert(QStringLiteral("anglesTyped"), f.anglesTyped);
    const std::string_view s = interpolationName(f.sampling);
    o.insert(QStringLiteral("interpolation"),
             QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())));
    return o;
}

void readPhoto(const QJsonValue& value, const std::string& place, const std::string& projectFile,
               Project& project, std::optional<Refusal>& refusal) {
    if (!value.isObject()) {
        refusal = Refusal{ProjectError::Damaged, place};
        return;
    }
    Reader r(value.toObject(), place, refusal);
    int image = 0;
    if (!r.json().contains(QLatin1String("image")))
        r.refuse(ProjectError::Damaged, r.at("image"));
    r.whole("image", image, 1, 2);
    if (r.failed())
        return;
    std::optional<ProjectPhoto>& slot = project.photos[static_cast<std::size_t>(image - 1)];
    if (slot) {
        r.refuse(ProjectError::Absurd, r.at("image"));
        return;
    }
    ProjectPhoto photo;
    const QJsonValue path = r.json().value(QLatin1String("path"));
    if (!path.isString() || path.toString().isEmpty()) {
        r.refuse(path.isString() ? ProjectError::Absurd : ProjectError::Damaged, r.at("path"));
        return;
    }
    if (path.toString().contains(QChar(0))) {
        r.refuse(ProjectError::Absurd, r.at("path"));
        return;
    }
    photo.path = resolvedPhotoPath(utf8(path.toString()), projectFile);
    r.whole("turns", photo.turns, 0, 3);
    r.flag("cornersSet", photo.cornersSet);
    const QJsonValue corners = r.json().value(QLatin1String("corners"));
    if (!corners.isUndefined()) {
        const QJsonArray a = corners.toArray();
        if (!corners.isArray() || a.size() != 4) {
            r.refuse(ProjectError::Damaged, r.at("corners"));
            return;
        }
        for (qsizetype k = 0; k < 4; ++k) {
            const std::string cornerPlace = r.at("corners") + "[" + std::to_string(k) + "]";
            const QJsonArray xy = a[k].toArray();
            if (!a[k].isArray() || xy.size() != 2) {
                r.refuse(ProjectError::Damaged, cornerPlace);
                return;
            }
            rectify::TPoint& c = photo.corners[static_cast<std::size_t>(k)];
            for (qsizetype i = 0; i < 2; ++i) {
                const double d = xy[i].toDouble(std::numeric_limits<double>::quiet_NaN());
                const std::string at = cornerPlace + (i == 0 ? ".x" : ".y");
                if (!xy[i].isDouble()) {
                    r.refuse(ProjectError::Damaged, at);
                    return;
                }
                if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > MaxCornerPixels) {
                    r.refuse(ProjectError::Absurd, at);
                    return;
                }
                (i == 0 ? c.x : c.y) = static_cast<std::int32_t>(d);
            }
        }
    }
    Reader fields(r.object("fields"), r.at("fields"), refusal);
    readFields(fields, photo.fields);
    const QJsonValue lens = r.json().value(QLatin1String("lens"));
    if (!lens.isUndefined()) {
        if (!lens.isObject() || !projectLensSetting(lens.toObject()))
            r.refuse(ProjectError::Damaged, r.at("lens"));
        else
            photo.lens = lens.toObject();
    }
    if (!r.failed())
        slot = std::move(photo);
}

} // namespace

std::optional<LensSetting> projectLensSetting(const QJsonObject& lens) {
    const QJsonValue correction = lens.value(QLatin1String("correction"));
    if (correction.isUndefined())
        return LensSetting{};
    if (!correction.isString())
        return std::nullopt;
    return parseLensSetting(utf8(correction.toString()));
}

std::optional<QJsonObject> withLensSetting(std::optional<QJsonObject> lens,
                                           const LensSetting& setting) {
    if (!lens && setting.mode == LensSetting::Mode::Off)
        return lens;
    QJsonObject o = lens.value_or(QJsonObject());
    o.insert(QStringLiteral("correction"), QString::fromStdString(lensSettingText(setting)));
    return o;
}

std::string_view interpolationName(rectify::Interpolation sampling) {
    switch (sampling) {
    case rectify::Interpolation::Bilinear:
        return "bilinear";
    case rectify::Interpolation::Bicubic:
        return "bicubic";
    case rectify::Interpolation::Nearest:
        break;
    }
    return "nearest";
}

bool isProjectFile(const std::string& file) {
    return QString::fromUtf8(file.data(), static_cast<qsizetype>(file.size()))
        .endsWith(
            QLatin1String(ProjectExtension.data(), static_cast<qsizetype>(ProjectExtension.size())),
            Qt::CaseInsensitive);
}

namespace {

// A path on the disk made absolute and clean. Qt's own path helpers take a
// leading ':' for one of its built-in resources; a photograph called
// ":north.jpg" beside the project is a file like any other.
QString absoluteOnDisk(const QString& path, const QString& base) {
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    return QDir::cleanPath(base + QLatin1Char('/') + path);
}

} // namespace

std::string storedPhotoPath(const std::string& photo, const std::string& projectFile) {
    const QString cwd = QDir::currentPath();
    const QString project = absoluteOnDisk(qs(projectFile), cwd);
    const QString folder = project.left(project.lastIndexOf(QLatin1Char('/')));
    const QString file = absoluteOnDisk(qs(photo), cwd);
    const QString below = folder + QLatin1Char('/');
    if (file.startsWith(below) && file.size() > below.size())
        return utf8(file.mid(below.size()));
    return utf8(file);
}

std::string resolvedPhotoPath(const std::string& stored, const std::string& projectFile) {
    const QString project = absoluteOnDisk(qs(projectFile), QDir::currentPath());
    return utf8(absoluteOnDisk(qs(stored), project.left(project.lastIndexOf(QLatin1Char('/')))));
}

ProjectRead parseProject(std::string_view bytes, const std::string& projectFile) {
    ProjectRead out;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        out.error = ProjectError::Damaged;
        if (parseError.error != QJsonParseError::NoError)
            out.detail =
                "byte " + std::to_string(parseError.offset) + ": " + utf8(parseError.errorString());
        return out;
    }
    const QJsonObject root = doc.object();
    if (root.value(QLatin1String("format")).toString() !=
        QLatin1String(ProjectFormatName.data(), static_cast<qsizetype>(ProjectFormatName.size()))) {
        out.error = ProjectError::Foreign;
        return out;
    }
    const QJsonValue version = root.value(QLatin1String("version"));
    const double v = version.toDouble(-1.0);
    if (!version.isDouble() || !std::isfinite(v) || v < 1 || v != std::floor(v)) {
        out.error = ProjectError::Damaged;
        out.detail = "version";
        return out;
    }
    if (v > ProjectFormatVersion) {
        out.error = ProjectError::Newer;
        out.detail = v < 1e9 ? std::to_string(static_cast<long long>(v)) : "?";
        return out;
    }

    Project p;
    std::optional<Refusal> refusal;
    const QJsonValue photos = root.value(QLatin1String("photos"));
    if (!photos.isUndefined()) {
        if (!photos.isArray()) {
            refusal = Refusal{ProjectError::Damaged, "photos"};
        } else if (photos.toArray().size() > 2) {
            refusal = Refusal{ProjectError::Absurd, "photos"};
        } else {
            const QJsonArray a = photos.toArray();
            for (qsizetype k = 0; k < a.size() && !refusal; ++k)
                readPhoto(a[k], "photos[" + std::to_string(k) + "]", projectFile, p, refusal);
        }
    }
    Reader r(root, "", refusal);
    Reader panel(r.object("panel"), "panel", refusal);
    readFields(panel, p.panel);
    panel.flag("hold", p.hold);
    Reader view(r.object("view"), "view", refusal);
    view.field("zoomPercent", p.zoomPercent, fields::Zoom);
    view.field("blendPercent", p.blendPercent, fields::Blend);
    Reader overlay(view.object("overlay"), "view.overlay", refusal);
    overlay.whole("shiftX", p.overlayShiftX, std::numeric_limits<int>::min(),
                  std::numeric_limits<int>::max());
    overlay.whole("shiftY", p.overlayShiftY, std::numeric_limits<int>::min(),
                  std::numeric_limits<int>::max());
    overlay.number("zoomPercent", p.overlayZoomPercent, 0.001, 100000.0);
    Reader dxf(r.object("dxf"), "dxf", refusal);
    dxf.field("threshold", p.threshold, fields::Threshold);
    r.flag("worldFile", p.worldFile);
    if (refusal) {
        out.error = refusal->error;
        out.detail = refusal->place;
        return out;
    }
    out.project = std::move(p);
    return out;
}

ProjectRead readProjectFile(const std::string& projectFile) {
    std::string bytes;
    if (const int e = fp::readRegularFile(projectFile, bytes, MaxProjectBytes)) {
        ProjectRead out;
        out.error = ProjectError::Unreadable;
        out.detail = fp::fileErrorText(e);
        out.code = e;
        return out;
    }
    return parseProject(bytes, projectFile);
}

std::string projectBytes(const Project& project, const std::string& projectFile) {
    QJsonObject root;
    root.insert(QStringLiteral("format"),
                QString::fromLatin1(ProjectFormatName.data(),
                                    static_cast<qsizetype>(ProjectFormatName.size())));
    root.insert(QStringLiteral("version"), ProjectFormatVersion);
    QJsonArray photos;
    for (std::size_t k = 0; k < project.photos.size(); ++k) {
        const std::optional<ProjectPhoto>& photo = project.photos[k];
        if (!photo)
            continue;
        QJsonObject o;
        o.insert(QStringLiteral("image"), static_cast<int>(k + 1));
        o.insert(QStringLiteral("path"), qs(storedPhotoPath(photo->path, projectFile)));
        o.insert(QStringLiteral("turns"), photo->turns);
        QJsonArray corners;
        for (const rectify::TPoint& c : photo->corners)
            corners.append(QJsonArray{c.x, c.y});
        o.insert(QStringLiteral("corners"), corners);
        o.insert(QStringLiteral("cornersSet"), photo->cornersSet);
        o.insert(QStringLiteral("fields"), fieldsJson(photo->fields));
        if (photo->lens)
            o.insert(QStringLiteral("lens"), *photo->lens);
        photos.append(o);
    }
    root.insert(QStringLiteral("photos"), photos);
    QJsonObject panel = fieldsJson(project.panel);
    panel.insert(QStringLiteral("hold"), project.hold);
    root.insert(QStringLiteral("panel"), panel);
    QJsonObject overlay;
    overlay.insert(QStringLiteral("shiftX"), project.overlayShiftX);
    overlay.insert(QStringLiteral("shiftY"), project.overlayShiftY);
    overlay.insert(QStringLiteral("zoomPercent"), project.overlayZoomPercent);
    QJsonObject view;
    view.insert(QStringLiteral("zoomPercent"), project.zoomPercent);
    view.insert(QStringLiteral("blendPercent"), project.blendPercent);
    view.insert(QStringLiteral("overlay"), overlay);
    root.insert(QStringLiteral("view"), view);
    root.insert(QStringLiteral("dxf"),
                QJsonObject{{QStringLiteral("threshold"), project.threshold}});
    root.insert(QStringLiteral("worldFile"), project.worldFile);
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

std::optional<std::string> absurdValue(const Project& project) {
    // The reader is the judge: what it refuses in the written text is absurd.
    const std::string file = "/project" + std::string(ProjectExtension);
    const ProjectRead back = parseProject(projectBytes(project, file), file);
    if (back.error == ProjectError::None)
        return std::nullopt;
    return back.detail.empty() ? std::string("?") : back.detail;
}

int writeProjectFile(const Project& project, const std::string& projectFile) {
    if (absurdValue(project))
        return EINVAL;
    return fp::replaceFile(projectFile, projectBytes(project, projectFile));
}

} // namespace app
