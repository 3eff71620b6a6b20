#include "pixkit/ScalePrint.h"

#include "foundation/ReplaceFile.h"

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

namespace pixkit {

SizeMm SheetSize(const Paper& paper) {
    // ISO 216, portrait.
    static constexpr SizeMm Sizes[] = {{210, 297}, {297, 420}, {420, 594}, {594, 841}, {841, 1189}};
    const SizeMm s = Sizes[static_cast<int>(paper.size)];
    return paper.landscape ? SizeMm{s.height, s.width} : s;
}

std::optional<Paper> ParsePaper(std::string_view text) {
    Paper paper;
    const auto comma = text.find(',');
    if (comma != std::string_view::npos) {
        const std::string_view orientation = text.substr(comma + 1);
        if (orientation == "landscape")
            paper.landscape = true;
        else if (orientation != "portrait")
            return std::nullopt;
        text = text.substr(0, comma);
    }
    if (text.size() != 2 || (text[0] != 'A' && text[0] != 'a') || text[1] < '0' || text[1] > '4')
        return std::nullopt;
    paper.size = static_cast<PaperSize>(4 - (text[1] - '0'));
    return paper;
}

std::string PaperName(const Paper& paper) {
    std::string name = "A";
    name += static_cast<char>('4' - static_cast<int>(paper.size));
    return paper.landscape ? name + ",landscape" : name;
}

ScaleBar ChooseScaleBar(int scale) {
    scale = std::clamp(scale, MinScale, MaxScale);
    ScaleBar bar;
    for (double decade = 1.0;; decade *= 10.0) {
        for (const int base : {1, 2, 5}) {
            const double cm = base * decade;
            if (cm * 10.0 / scale < 20.0)
                continue;
            bar.lengthCm = cm;
            bar.lengthMm = cm * 10.0 / scale;
            bar.divisions = base == 1 ? 10 : (base == 2 ? 4 : 5);
            bar.label = cm < 100.0 ? std::to_string(static_cast<long long>(cm)) + " cm"
                                   : std::to_string(static_cast<long long>(cm / 100.0)) + " m";
            return bar;
        }
    }
}

namespace {

bool validScale(double ppx, double ppy) {
    return ppx > 0.0 && std::isfinite(ppx) && ppy > 0.0 && std::isfinite(ppy);
}

// Pages needed along one side: the first shows `room`, every further one
// room - OverlapMm more. A hair of slack keeps an exact fit on one page.
int pagesAlong(double placed, double room) {
    constexpr double Slack = 1e-6;
    if (placed <= room + Slack)
        return 1;
    const double more = std::ceil((placed - room) / (room - OverlapMm) - Slack);
    return more >= MaxPages ? MaxPages + 1 : 1 + static_cast<int>(more);
}

} // namespace

PagePlan PlanScalePrint(const ScalePrintInput& in) {
    PagePlan plan;
    if (in.widthPx <= 0 || in.heightPx <= 0) {
        plan.status = PrintStatus::NoImage;
        return plan;
    }
    if (!validScale(in.pixelsPerCmX, in.pixelsPerCmY)) {
        plan.status = PrintStatus::NoScale;
        return plan;
    }
    if (in.scale < MinScale || in.scale > MaxScale) {
        plan.status = PrintStatus::BadScale;
        return plan;
    }
    plan.realWidthCm = in.widthPx / in.pixelsPerCmX;
    plan.realHeightCm = in.heightPx / in.pixelsPerCmY;
    plan.placedWidthMm = plan.realWidthCm * 10.0 / in.scale;
    plan.placedHeightMm = plan.realHeightCm * 10.0 / in.scale;
    plan.sheet = SheetSize(in.paper);
    const double m = in.marginMm;
    plan.pictureArea = {m, m, plan.sheet.width - 2 * m, plan.sheet.height - 2 * m - CaptionBandMm};
    if (!(m >= 0.0 && m <= MaxMarginMm) || plan.pictureArea.width < 3 * OverlapMm ||
        plan.pictureArea.height < 3 * OverlapMm) {
        plan.status = PrintStatus::BadMargin;
        return plan;
    }
    const RectMm& area = plan.pictureArea;
    plan.bar = ChooseScaleBar(in.scale);
    plan.bar.rect = {m, area.y + area.height + 10.0, plan.bar.lengthMm, 2.0};
    plan.columns = pagesAlong(plan.placedWidthMm, area.width);
    plan.rows = pagesAlong(plan.placedHeightMm, area.height);
    if (plan.columns > MaxPages || plan.rows > MaxPages || plan.pages() > MaxPages) {
        plan.status = PrintStatus::TooManyPages;
        return plan;
    }
    // One page: centred; a tiled side starts at the area's edge.
    const double x0 = plan.columns == 1 ? area.x + (area.width - plan.placedWidthMm) / 2 : area.x;
    const double y0 = plan.rows == 1 ? area.y + (area.height - plan.placedHeightMm) / 2 : area.y;
    const double stepX = area.width - OverlapMm;
    const double stepY = area.height - OverlapMm;
    plan.tiles.reserve(static_cast<std::size_t>(plan.pages()));
    for (int r = 0; r < plan.rows; ++r) {
        for (int c = 0; c < plan.columns; ++c) {
            PrintTile t;
            t.column = c;
            t.row = r;
            t.part.x = c * stepX;
            t.part.y = r * stepY;
            t.part.width = std::min(area.width, plan.placedWidthMm - t.part.x);
            t.part.height = std::min(area.height, plan.placedHeightMm - t.part.y);
            t.onPage = {x0, y0, t.part.width, t.part.height};
            plan.tiles.push_back(t);
        }
    }
    return plan;
}

std::optional<DefaultPrint> ChooseDefaultPrint(int widthPx, int heightPx, double pixelsPerCmX,
                                               double pixelsPerCmY, double marginMm) {
    if (widthPx <= 0 || heightPx <= 0 || !validScale(pixelsPerCmX, pixelsPerCmY))
        return std::nullopt;
    auto onOneSheet = [&](int scale, PaperSize size) -> std::optional<Paper> {
        for (const bool landscape : {false, true}) {
            const Paper paper{size, landscape};
            const PagePlan plan = PlanScalePrint(
                {widthPx, heightPx, pixelsPerCmX, pixelsPerCmY, scale, paper, marginMm});
            if (plan.status == PrintStatus::Done && plan.pages() == 1)
                return paper;
        }
        return std::nullopt;
    };
    if (const auto a4 = onOneSheet(50, PaperSize::A4))
        return DefaultPrint{50, *a4};
    for (const int scale : ScalePresets) {
        if (const auto a0 = onOneSheet(scale, PaperSize::A0))
            return DefaultPrint{scale, *a0};
    }
    return DefaultPrint{ScalePresets.back(), Paper{PaperSize::A0, false}};
}

PrintCaptions
TranslatedPrintCaptions(const std::function<std::string(const std::string&)>& translate) {
    PrintCaptions c;
    for (std::string* s : {&c.scale, &c.page, &c.photo, &c.rectangle, &c.date})
        *s = translate(*s);
    return c;
}

const char* PrintStatusGerman(PrintStatus status) {
    switch (status) {
    case PrintStatus::Done:
        return "";
    case PrintStatus::NoImage:
        return "Es gibt noch kein entzerrtes Bild. Bitte zuerst ein Bild öffnen und die vier "
               "Ecken setzen.";
    case PrintStatus::NoScale:
        return "Das Bild hat keinen Maßstab: bitte die Breite des gemessenen Rechtecks in cm "
               "eingeben.";
    case PrintStatus::BadScale:
        return "Der Maßstab muss zwischen 1:1 und 1:10000 liegen.";
    case PrintStatus::BadMargin:
        return "Der Rand lässt auf diesem Papier keinen Platz für das Bild (Rand 0 bis 50 mm).";
    case PrintStatus::TooManyPages:
        return "Der Druck bräuchte mehr als 500 Seiten: bitte einen kleineren Maßstab oder "
               "größeres Papier wählen.";
    case PrintStatus::NoGuiApplication:
        return "Interner Fehler: das PDF braucht eine Qt-Anwendung für seine Schriften.";
    case PrintStatus::OutOfMemory:
        return "Nicht genug Speicher: der Befehl wurde nicht ausgeführt.";
    case PrintStatus::CannotWrite:
        return "Konnte folgende Datei nicht erstellen:";
    }
    return "";
}

const char* PrintStatusEnglish(PrintStatus status) {
    switch (status) {
    case PrintStatus::Done:
        return "";
    case PrintStatus::NoImage:
        return "There is no rectified image yet. Please open an image first and set the four "
               "corners.";
    case PrintStatus::NoScale:
        return "The picture has no scale: please enter the width of the measured rectangle in "
               "cm.";
    case PrintStatus::BadScale:
        return "The scale must lie between 1:1 and 1:10000.";
    case PrintStatus::BadMargin:
        return "The margin leaves no room for the picture on this paper (margin 0 to 50 mm).";
    case PrintStatus::TooManyPages:
        return "The print would need more than 500 pages: please choose a smaller scale or "
               "larger paper.";
    case PrintStatus::NoGuiApplication:
        return "Internal error: the PDF needs a Qt application for its fonts.";
    case PrintStatus::OutOfMemory:
        return "Not enough memory: the command was not carried out.";
    case PrintStatus::CannotWrite:
        return "Could not create the following file:";
    }
    return "";
}

namespace {

// The picture as a QImage. A 24-bit picture is not copied: the image reads
// the stored rows in place, bottom row first (BGR bytes, rows padded to 4
// bytes, as QImage's Format_BGR888 has them), so it is upside down and
// `flipped` is set. Palette pictures become 8-bit indices with their colours.
// Null when memory runs out.
QImage toQImage(const dib& d, bool& flipped) {
    const int w = dibwidth(d);
    const int h = dibheight(d);
    const int bits = dibbits(d);
    flipped = bits == 24;
    if (bits == 24)
        return QImage(d.poi, w, h, d.bytew, QImage::Format_BGR888);
    QImage img(w, h, QImage::Format_Indexed8);
    if (img.isNull())
        return img;
    QList<QRgb> table;
    for (int i = 0; i < (1 << bits); ++i) {
        const Colour c = tableColour(d, i);
        table.push_back(qRgb(redOf(c), greenOf(c), blueOf(c)));
    }
    img.setColorTable(table);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* out = img.scanLine(y);
        if (bits == 8) {
            std::memcpy(out, pictureRow(d, y), static_cast<std::size_t>(w));
            continue;
        }
        for (int x = 0; x < w; ++x)
            out[x] = static_cast<std::uint8_t>(getpixel(d, x, y));
    }
    return img;
}

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The template with %1 (and %2) filled in one pass, so that a file name
// holding "%2" stays as it is.
QString fill(const std::string& text, const QString& first) {
    return fromUtf8(text).arg(first);
}

QString fill(const std::string& text, const QString& first, const QString& second) {
    return fromUtf8(text).arg(first, second);
}

// A measure in cm as the locale writes it, to 0.01 and without trailing zeros.
QString centimetres(const QLocale& locale, double cm) {
    return locale.toString(std::round(cm * 100.0) / 100.0, 'f', QLocale::FloatingPointShortest);
}

// The locale's short date, with the year in four digits.
QString dateText(const QLocale& locale, const QDate& date) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return locale.toString(date, format);
}

// Device units of the PDF writer: a fine grid, and every coordinate is
// passed on as a floating-point number anyway.
constexpr int Resolution = 1200;

double px(double mm) {
    return mm * Resolution / 25.4;
}

QRectF pxRect(const RectMm& r) {
    return {px(r.x), px(r.y), px(r.width), px(r.height)};
}

QFont captionFont(double points, bool bold = false) {
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setFamily(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QPen thinPen(double widthMm, Qt::PenStyle style = Qt::SolidLine) {
    QPen pen(Qt::black);
    pen.setWidthF(px(widthMm));
    pen.setStyle(style);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

// Text with its top-left at (xMm, yMm), cut to `widthMm` with an ellipsis.
void caption(QPainter& p, double xMm, double yMm, double widthMm, const QString& text) {
    const QFontMetricsF fm(p.font(), p.device());
    const QString shown = fm.elidedText(text, Qt::ElideMiddle, px(widthMm));
    p.drawText(QPointF(px(xMm), px(yMm) + fm.ascent()), shown);
}

void centredCaption(QPainter& p, double xMm, double yMm, const QString& text) {
    const QFontMetricsF fm(p.font(), p.device());
    p.drawText(QPointF(px(xMm) - fm.horizontalAdvance(text) / 2, px(yMm) + fm.ascent()), text);
}

void drawScaleBar(QPainter& p, const ScaleBar& bar) {
    const RectMm& r = bar.rect;
    const double part = r.width / bar.divisions;
    for (int i = 0; i < bar.divisions; i += 2)
        p.fillRect(pxRect({r.x + i * part, r.y, part, r.height}), Qt::black);
    p.setPen(thinPen(0.15));
    p.setBrush(Qt::NoBrush);
    p.drawRect(pxRect(r));
    for (int i = 0; i <= bar.divisions; ++i) {
        const double x = px(r.x + i * part);
        p.drawLine(QPointF(x, px(r.y + r.height)), QPointF(x, px(r.y + r.height + 1.0)));
    }
    p.setFont(captionFont(7));
    centredCaption(p, r.x, r.y + r.height + 1.3, QStringLiteral("0"));
    centredCaption(p, r.x + r.width, r.y + r.height + 1.3, fromUtf8(bar.label));
}

// The marks of a tiled page: corner marks outside the picture where the
// page is cut, a dashed line where the next page to the right or below
// starts, and the numbers of the neighbouring pages beside the edges.
void drawOverlapMarks(QPainter& p, const PagePlan& plan, const PrintTile& t, double marginMm) {
    const RectMm& o = t.onPage;
    const double tick = std::min(5.0, marginMm - 1.0);
    p.setPen(thinPen(0.1));
    if (tick > 0.5) {
        for (const double x : {o.x, o.x + o.width}) {
            p.drawLine(QPointF(px(x), px(o.y - 1.0 - tick)), QPointF(px(x), px(o.y - 1.0)));
            p.drawLine(QPointF(px(x), px(o.y + o.height + 1.0)),
                       QPointF(px(x), px(o.y + o.height + 1.0 + std::min(tick, 2.0))));
        }
        for (const double y : {o.y, o.y + o.height}) {
            p.drawLine(QPointF(px(o.x - 1.0 - tick), px(y)), QPointF(px(o.x - 1.0), px(y)));
            p.drawLine(QPointF(px(o.x + o.width + 1.0), px(y)),
                       QPointF(px(o.x + o.width + 1.0 + tick), px(y)));
        }
    }
    const double stepX = plan.pictureArea.width - OverlapMm;
    const double stepY = plan.pictureArea.height - OverlapMm;
    p.setPen(thinPen(0.2, Qt::DashLine));
    if (t.column + 1 < plan.columns)
        p.drawLine(QPointF(px(o.x + stepX), px(o.y)), QPointF(px(o.x + stepX), px(o.y + o.height)));
    if (t.row + 1 < plan.rows)
        p.drawLine(QPointF(px(o.x), px(o.y + stepY)), QPointF(px(o.x + o.width), px(o.y + stepY)));
    p.setFont(captionFont(6));
    const QFontMetricsF fm(p.font(), p.device());
    const double textMm = fm.height() * 25.4 / Resolution;
    auto number = [&](int column, int row) {
        return QString::number(row * plan.columns + column + 1);
    };
    const double midX = o.x + o.width / 2;
    const double midY = o.y + o.height / 2 - textMm / 2;
    if (marginMm >= 4.0) {
        if (t.column > 0)
            centredCaption(p, o.x - marginMm / 2, midY, number(t.column - 1, t.row));
        if (t.column + 1 < plan.columns)
            centredCaption(p, o.x + o.width + marginMm / 2, midY, number(t.column + 1, t.row));
        if (t.row > 0)
            centredCaption(p, midX, o.y - marginMm / 2 - textMm / 2, number(t.column, t.row - 1));
    }
    if (t.row + 1 < plan.rows)
        centredCaption(p, midX, o.y + o.height + 0.3, number(t.column, t.row + 1));
}

void drawCaptions(QPainter& p, const PagePlan& plan, const ScalePdfJob& job, int page) {
    const PrintCaptions& c = job.captions;
    const QLocale& locale = job.locale;
    const double top = plan.pictureArea.y + plan.pictureArea.height + 4.0;
    const double left = plan.pictureArea.x;
    p.setPen(Qt::black);
    p.setFont(captionFont(9, true));
    caption(p, left, top, 60.0, fill(c.scale, QString::number(job.scale)));
    drawScaleBar(p, plan.bar);

    QStringList lines;
    lines << fill(c.page, QString::number(page), QString::number(plan.pages()));
    if (!job.photoName.empty())
        lines << fill(c.photo, fromUtf8(job.photoName));
    if (job.rectangleWidthCm > 0.0 && job.rectangleHeightCm > 0.0)
        lines << fill(c.rectangle, centimetres(locale, job.rectangleWidthCm),
                      centimetres(locale, job.rectangleHeightCm));
    if (job.date.isValid())
        lines << fill(c.date, dateText(locale, job.date));
    p.setFont(captionFont(7.5));
    const QFontMetricsF fm(p.font(), p.device());
    const double lineMm = fm.lineSpacing() * 25.4 / Resolution;
    const double textLeft = left + 65.0;
    const double width = plan.pictureArea.x + plan.pictureArea.width - textLeft;
    for (qsizetype i = 0; i < lines.size(); ++i)
        caption(p, textLeft, top + static_cast<double>(i) * lineMm, width, lines[i]);
}

PdfWrite failed(PrintStatus status, int errorCode = 0) {
    PdfWrite w;
    w.status = status;
    w.errorCode = errorCode;
    return w;
}

QPageSize::PageSizeId pageId(PaperSize size) {
    switch (size) {
    case PaperSize::A4:
        return QPageSize::A4;
    case PaperSize::A3:
        return QPageSize::A3;
    case PaperSize::A2:
        return QPageSize::A2;
    case PaperSize::A1:
        return QPageSize::A1;
    case PaperSize::A0:
        return QPageSize::A0;
    }
    return QPageSize::A4;
}

} // namespace

PdfWrite WriteScalePdf(const std::string& path, const dib& picture, const ScalePdfJob& job) {
    if (picture.poi == nullptr || picture.pmi == nullptr)
        return failed(PrintStatus::NoImage);
    const PagePlan plan = PlanScalePrint({dibwidth(picture), dibheight(picture), job.pixelsPerCmX,
                                          job.pixelsPerCmY, job.scale, job.paper, job.marginMm});
    if (plan.status != PrintStatus::Done)
        return failed(plan.status);
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return failed(PrintStatus::NoGuiApplication);
    try {
        bool flipped = false;
        const QImage image = toQImage(picture, flipped);
        if (image.isNull())
            return failed(PrintStatus::OutOfMemory);
        fp::PendingFile pending(path);
        if (pending.error() != 0)
            return failed(PrintStatus::CannotWrite, pending.error());
        // QPdfWriter streams the pages straight into the temporary file, so
        // the document is never held in memory as a whole.
        QFile file;
        if (!file.open(pending.fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            return failed(PrintStatus::CannotWrite, EIO);
        {
            QPdfWriter writer(&file);
            writer.setCreator(QStringLiteral("Fassadenplan"));
            writer.setTitle(fromUtf8(job.photoName));
            writer.setResolution(Resolution);
            writer.setPageLayout(
                QPageLayout(QPageSize(pageId(job.paper.size)),
                            job.paper.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                            QMarginsF(), QPageLayout::Millimeter));
            QPainter painter;
            if (!painter.begin(&writer))
                return failed(PrintStatus::CannotWrite, EIO);
            painter.setRenderHint(QPainter::LosslessImageRendering, job.lossless);
            const QRectF placed(0, 0, px(plan.placedWidthMm), px(plan.placedHeightMm));
            for (std::size_t i = 0; i < plan.tiles.size(); ++i) {
                const PrintTile& t = plan.tiles[i];
                if (i > 0 && !writer.newPage())
                    return failed(PrintStatus::CannotWrite, EIO);
                // The whole picture, moved so that this page's part lies on
                // the tile and clipped to it: one image object for all pages.
                painter.save();
                painter.setClipRect(pxRect(t.onPage));
                painter.translate(px(t.onPage.x - t.part.x), px(t.onPage.y - t.part.y));
                if (flipped) {
                    painter.translate(0, placed.height());
                    painter.scale(1, -1);
                }
                painter.drawImage(placed, image);
                painter.restore();
                if (plan.pages() > 1)
                    drawOverlapMarks(painter, plan, t, job.marginMm);
                drawCaptions(painter, plan, job, static_cast<int>(i) + 1);
            }
            if (!painter.end())
                return failed(PrintStatus::CannotWrite, EIO);
        }
        errno = 0;
        if (!file.flush() || file.error() != QFileDevice::NoError)
            return failed(PrintStatus::CannotWrite, errno != 0 ? errno : EIO);
        file.close();
        if (const int e = pending.commit(); e != 0)
            return failed(PrintStatus::CannotWrite, e);
    } catch (const std::bad_alloc&) {
        return failed(PrintStatus::OutOfMemory);
    }
    PdfWrite done;
    done.pages = plan.pages();
    return done;
}

} // namespace pixkit
