// The DXF writer: header, closed polylines, trailer; written through
// fp::replaceFile.

#include "lines/Dxf.h"

#include "foundation/ReplaceFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <system_error>

namespace lines {

namespace {

constexpr std::array<std::string_view, DxfHeaderLines> Header = {
    " 0",  "SECTION",    "  2", "TABLES", " 0", "TABLE",
    " 2",  "LTYPE",      "70",  "1",      "0",  "LTYPE",
    "2",   "AUSGEZOGEN", "70",  "0",      "3",  "Ausgezogenen Linie",
    "72",  "65",         "73",  "0",      "40", "0.0",
    "0",   "ENDTAB",     " 0",  "TABLE",  " 2", "LAYER",
    "70",  "1",          "0",   "LAYER",  "2",  DxfLayerName,
    "70",  "0",          "62",  "7",      "6",  "AUSGEZOGEN",
    " 0",  "ENDTAB",     " 0",  "ENDSEC", " 0", "SECTION",
    "  2", "ENTITIES"};

constexpr std::array<std::string_view, 4> Trailer = {"  0", "ENDSEC", "  0", "EOF"};

constexpr std::string_view Eol = "\r\n";

} // namespace

std::string DXFNumber(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == ',')
            c = '.';
    return out;
}

std::string FormatDxfNumber(double value) {
    if (value == 0.0)
        return "0"; // also for -0
    char buf[64];
    // to_chars ignores the locale; the general format switches to the
    // exponent below 1E-4 and from 1E15 on, like the program always did.
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    if (res.ec != std::errc())
        return "0";
    // "1.5e-05" -> "1.5E-5", "1e+15" -> "1E15": the exponent without "+"
    // and without leading zeros. Rewritten in place in the buffer.
    char* const end = res.ptr;
    char* e = std::find(buf, end, 'e');
    char* out = end;
    if (e != end) {
        *e = 'E';
        char* p = e + 1;
        out = p;
        if (p != end && (*p == '+' || *p == '-')) {
            if (*p == '-')
                *out++ = '-';
            ++p;
        }
        while (p + 1 < end && *p == '0')
            ++p;
        while (p != end)
            *out++ = *p++;
    } else {
        for (char* p = buf; p != end; ++p)
            if (*p >= 'a' && *p <= 'z') // inf, nan
                *p = static_cast<char>(*p - 'a' + 'A');
    }
    const std::string text(buf, out);
    return DXFNumber(text);
}

DxfScale ComputeDxfScale(double realWidthCm, double areaPercent, int width, DrawingUnit unit) {
    DxfScale sc;
    const double m = DrawingUnitCm(unit, realWidthCm);
    sc.m = m;
    const double k = static_cast<double>(width) / areaPercent * 100.0;
    sc.s = (realWidthCm / m) / k;
    return sc;
}

DxfText::DxfText(double realWidthCm, double areaPercent, int width, int height, DrawingUnit unit)
    : m_scale(ComputeDxfScale(realWidthCm, areaPercent, width, unit)), m_height(height) {
    for (std::string_view h : Header)
        line(h);
}

void DxfText::line(std::string_view text) {
    m_text.append(text);
    m_text.append(Eol);
}

void DxfText::vertex(std::int32_t x, std::int32_t y) {
    line("0");
    line("VERTEX");
    line("8");
    line(DxfLayerName);
    line("10");
    line(FormatDxfNumber(static_cast<double>(x) * m_scale.s));
    line("20");
    line(FormatDxfNumber(static_cast<double>(m_height - y) * m_scale.s));
}

void DxfText::add(const tlineinf& r) {
    if (r.newpoly && m_open) {
        line("0");
        line("SEQEND");
        m_open = false;
    }
    if (!m_open) {
        for (std::string_view t : std::initializer_list<std::string_view>{
                 "0", "POLYLINE", "8", DxfLayerName, "66", "1", "70", "1"})
            line(t);
        m_open = true;
    }
    if (r.newpoly)
        vertex(r.x1, r.y1);
    vertex(r.x2, r.y2);
}

std::string DxfText::finish() {
    if (m_open) {
        line("0");
        line("SEQEND");
        m_open = false;
    }
    for (std::string_view t : Trailer)
        line(t);
    return std::move(m_text);
}

std::string DxfDrawing(std::span<const tlineinf> records, double realWidthCm, double areaPercent,
                       int width, int height) {
    DxfText text(realWidthCm, areaPercent, width, height);
    for (const tlineinf& r : records)
        text.add(r);
    return text.finish();
}

SpeckSize TracedSpeckSize(const DrawingRequest& request) {
    SpeckSize size;
    size.minSizePx = request.minSizePx;
    if (request.pictureWidth > 0 && request.tracedWidth > 0)
        size.scaleX = static_cast<double>(request.tracedWidth) / request.pictureWidth;
    if (request.pictureHeight > 0 && request.tracedHeight > 0)
        size.scaleY = static_cast<double>(request.tracedHeight) / request.pictureHeight;
    return size;
}

std::string DxfDrawing(const DrawingRequest& request) {
    DxfText text(request.realWidthCm, request.areaPercent, request.tracedWidth,
                 request.tracedHeight, request.unit);
    if (request.minSizePx <= 0) {
        for (const tlineinf& r : request.records)
            text.add(r);
    } else {
        for (const tlineinf& r : LeaveOutSpecks(request.records, TracedSpeckSize(request)))
            text.add(r);
    }
    return text.finish();
}

DxfEnd DxfEndOf(int e) {
    if (e == 0)
        return DxfEnd::Written;
    // No temporary file could be made: the folder is missing or closed to us.
    const bool cannotCreate = e == ENOENT || e == ENOTDIR || e == EACCES || e == EROFS;
    return cannotCreate ? DxfEnd::CannotCreate : DxfEnd::WriteFailed;
}

DxfEnd WriteFileReplacing(const std::string& fname, std::string_view content, int* errorCode) {
    const int e = fp::replaceFile(fname, content);
    if (errorCode != nullptr)
        *errorCode = e;
    return DxfEndOf(e);
}

} // namespace lines
