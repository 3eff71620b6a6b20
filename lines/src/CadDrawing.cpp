// The CAD drawing: an AutoCAD 2000 DXF with header, classes, tables, blocks,
// the entities (photo underlay, outlines) and the objects an AutoCAD 2000
// reader looks for (dictionaries, layouts, the image definition).

#include "lines/CadDrawing.h"

#include "foundation/ReplaceFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

namespace lines {

namespace {

// Handles of the fixed part of the drawing; entities count on from
// FirstEntity. AutoCAD readers want every object's handle unique and
// $HANDSEED above all of them.
enum Handle : unsigned {
    LayerTable = 0x1,
    LtypeTable = 0x2,
    AppidTable = 0x3,
    DimstyleTable = 0x4,
    StyleTable = 0x5,
    UcsTable = 0x6,
    ViewTable = 0x7,
    VportTable = 0x8,
    BlockRecordTable = 0x9,
    RootDict = 0xA,
    GroupDict = 0xB,
    LayoutDict = 0xC,
    ImageDict = 0xD,
    ImageVars = 0xE,
    ModelRecord = 0x10,
    ModelBlock = 0x11,
    ModelBlockEnd = 0x12,
    ModelLayout = 0x13,
    PaperRecord = 0x14,
    PaperBlock = 0x15,
    PaperBlockEnd = 0x16,
    PaperLayout = 0x17,
    ActiveVport = 0x18,
    LtByBlock = 0x19,
    LtByLayer = 0x1A,
    LtContinuous = 0x1B,
    Layer0 = 0x1C,
    LayerOutlines = 0x1D,
    LayerPhoto = 0x1E,
    StyleStandard = 0x1F,
    AppAcad = 0x20,
    DimStandard = 0x21,
    ImageDef = 0x22,
    ImageDefReactor = 0x23,
    Image = 0x24,
    FirstEntity = 0x30,
};

// Group code and value pairs, each on a line of its own, ended by CR LF.
class Pairs {
public:
    void text(int code, std::string_view value) {
        char buf[8];
        const int n = std::snprintf(buf, sizeof buf, "%3d", code);
        m_out.append(buf, static_cast<std::size_t>(n));
        m_out.append("\r\n");
        m_out.append(value);
        m_out.append("\r\n");
    }
    void number(int code, double value) { text(code, FormatDxfNumber(value)); }
    void integer(int code, long long value) { text(code, std::to_string(value)); }
    void handle(int code, unsigned h) {
        char buf[16];
        const int n = std::snprintf(buf, sizeof buf, "%X", h);
        text(code, std::string_view(buf, static_cast<std::size_t>(n)));
    }
    void point(int code, double x, double y) {
        number(code, x);
        number(code + 10, y);
    }
    void point3(int code, double x, double y, double z) {
        point(code, x, y);
        number(code + 20, z);
    }
    std::string take() { return std::move(m_out); }

private:
    std::string m_out;
};

// The Windows-1252 byte of a character beyond ASCII, 0 when it has none.
unsigned char windows1252(unsigned c) {
    if (c >= 0xA0 && c <= 0xFF)
        return static_cast<unsigned char>(c);
    struct Pair {
        unsigned short code;
        unsigned char byte;
    };
    static constexpr Pair Specials[] = {
        {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85},
        {0x2020, 0x86}, {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A},
        {0x2039, 0x8B}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92},
        {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97},
        {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C},
        {0x017E, 0x9E}, {0x0178, 0x9F}};
    for (const Pair& p : Specials)
        if (p.code == c)
            return p.byte;
    return 0;
}

// A string of an AutoCAD 2000 drawing, whose code page the header names
// (ANSI_1252): ASCII and the other Windows-1252 characters as their bytes,
// every other character (and every control character, which would break the
// line) as \U+XXXX, the form AutoCAD writes. Bytes that are no UTF-8 and
// characters beyond U+FFFF become U+FFFD.
std::string dxfString(std::string_view utf8) {
    std::string out;
    auto escape = [&](unsigned c) {
        char buf[16];
        const int n = std::snprintf(buf, sizeof buf, "\\U+%04X", c);
        out.append(buf, static_cast<std::size_t>(n));
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            if (b >= 0x20 && b < 0x7F)
                out.push_back(static_cast<char>(b));
            else
                escape(b);
            ++i;
            continue;
        }
        const std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
        unsigned c = len == 2 ? b & 0x1Fu : len == 3 ? b & 0x0Fu : b & 0x07u;
        bool ok = len != 0 && i + len <= utf8.size();
        for (std::size_t k = 1; ok && k < len; ++k) {
            const auto cont = static_cast<unsigned char>(utf8[i + k]);
            ok = (cont & 0xC0) == 0x80;
            c = (c << 6) | (cont & 0x3Fu);
        }
        const unsigned least = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
        if (!ok || c < least || c > 0xFFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            escape(0xFFFD);
            i += ok ? len : 1;
            continue;
        }
        if (const unsigned char byte = windows1252(c); byte != 0)
            out.push_back(static_cast<char>(byte));
        else
            escape(c);
        i += len;
    }
    return out;
}

struct Box {
    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    double maxY = -std::numeric_limits<double>::infinity();
    void add(double x, double y) {
        minX = std::min(minX, x);
        minY = std::min(minY, y);
        maxX = std::max(maxX, x);
        maxY = std::max(maxY, y);
    }
    bool empty() const { return !(minX <= maxX); }
};

void symbolTable(Pairs& p, std::string_view name, unsigned h, int entries) {
    p.text(0, "TABLE");
    p.text(2, name);
    p.handle(5, h);
    p.handle(330, 0);
    p.text(100, "AcDbSymbolTable");
    p.integer(70, entries);
}

void tableRecord(Pairs& p, std::string_view type, unsigned h, unsigned table,
                 std::string_view subclass, std::string_view name) {
    p.text(0, type);
    p.handle(5, h);
    p.handle(330, table);
    p.text(100, "AcDbSymbolTableRecord");
    p.text(100, subclass);
    p.text(2, name);
    p.integer(70, 0);
}

void header(Pairs& p, const CadUnit& unit, const Box& ext, unsigned handseed) {
    p.text(0, "SECTION");
    p.text(2, "HEADER");
    p.text(9, "$ACADVER");
    p.text(1, "AC1015");
    p.text(9, "$DWGCODEPAGE");
    p.text(3, "ANSI_1252");
    p.text(9, "$INSBASE");
    p.point3(10, 0, 0, 0);
    p.text(9, "$EXTMIN");
    p.point3(10, ext.minX, ext.minY, 0);
    p.text(9, "$EXTMAX");
    p.point3(10, ext.maxX, ext.maxY, 0);
    p.text(9, "$LIMMIN");
    p.point(10, ext.minX, ext.minY);
    p.text(9, "$LIMMAX");
    p.point(10, ext.maxX, ext.maxY);
    p.text(9, "$LUNITS");
    p.integer(70, 2); // decimal
    p.text(9, "$INSUNITS");
    p.integer(70, unit.insunits);
    p.text(9, "$MEASUREMENT");
    p.integer(70, 1); // metric
    p.text(9, "$HANDSEED");
    p.handle(5, handseed);
    p.text(0, "ENDSEC");
}

void classes(Pairs& p) {
    struct Class {
        const char* dxfName;
        const char* cppName;
        int flags;
        int isEntity;
    };
    static constexpr Class Raster[] = {{"IMAGE", "AcDbRasterImage", 127, 1},
                                       {"IMAGEDEF", "AcDbRasterImageDef", 0, 0},
                                       {"IMAGEDEF_REACTOR", "AcDbRasterImageDefReactor", 1, 0},
                                       {"RASTERVARIABLES", "AcDbRasterVariables", 0, 0}};
    p.text(0, "SECTION");
    p.text(2, "CLASSES");
    for (const Class& c : Raster) {
        p.text(0, "CLASS");
        p.text(1, c.dxfName);
        p.text(2, c.cppName);
        p.text(3, "ISM");
        p.integer(90, c.flags);
        p.integer(280, 0);
        p.integer(281, c.isEntity);
    }
    p.text(0, "ENDSEC");
}

void tables(Pairs& p, const Box& ext) {
    p.text(0, "SECTION");
    p.text(2, "TABLES");

    // The view a CAD program opens with: the whole drawing.
    symbolTable(p, "VPORT", VportTable, 1);
    tableRecord(p, "VPORT", ActiveVport, VportTable, "AcDbViewportTableRecord", "*Active");
    p.point(10, 0, 0);
    p.point(11, 1, 1);
    p.point(12, (ext.minX + ext.maxX) / 2, (ext.minY + ext.maxY) / 2);
    p.point(13, 0, 0);
    p.point(14, 1, 1);
    p.point(15, 1, 1);
    p.point3(16, 0, 0, 1);
    p.point3(17, 0, 0, 0);
    const double viewHeight = std::max(ext.maxY - ext.minY, (ext.maxX - ext.minX) / 1.5) * 1.05;
    p.number(40, viewHeight > 0.0 ? viewHeight : 1.0); // an empty drawing: any view
    p.number(41, 1.5);
    p.number(42, 50);
    p.number(43, 0);
    p.number(44, 0);
    p.number(50, 0);
    p.number(51, 0);
    p.integer(71, 0);
    p.integer(72, 1000);
    p.integer(73, 1);
    p.integer(74, 3);
    p.integer(75, 0);
    p.integer(76, 0);
    p.integer(77, 0);
    p.integer(78, 0);
    p.text(0, "ENDTAB");

    symbolTable(p, "LTYPE", LtypeTable, 3);
    for (const auto& [h, name] : {std::pair<unsigned, std::string_view>{LtByBlock, "ByBlock"},
                                  {LtByLayer, "ByLayer"},
                                  {LtContinuous, "Continuous"}}) {
        tableRecord(p, "LTYPE", h, LtypeTable, "AcDbLinetypeTableRecord", name);
        p.text(3, name == "Continuous" ? "Solid line" : "");
        p.integer(72, 65);
        p.integer(73, 0);
        p.number(40, 0);
    }
    p.text(0, "ENDTAB");

    // Layer 0 must exist; the outlines in red over the photograph.
    symbolTable(p, "LAYER", LayerTable, 3);
    for (const auto& [h, name, colour] :
         {std::tuple<unsigned, std::string_view, int>{Layer0, "0", 7},
          {LayerOutlines, CadOutlineLayer, 1},
          {LayerPhoto, CadPhotoLayer, 7}}) {
        tableRecord(p, "LAYER", h, LayerTable, "AcDbLayerTableRecord", name);
        p.integer(62, colour);
        p.text(6, "Continuous");
        p.integer(370, -3);
    }
    p.text(0, "ENDTAB");

    symbolTable(p, "STYLE", StyleTable, 1);
    tableRecord(p, "STYLE", StyleStandard, StyleTable, "AcDbTextStyleTableRecord", "Standard");
    p.number(40, 0);
    p.number(41, 1);
    p.number(50, 0);
    p.integer(71, 0);
    p.number(42, 2.5);
    p.text(3, "txt");
    p.text(4, "");
    p.text(0, "ENDTAB");

    symbolTable(p, "VIEW", ViewTable, 0);
    p.text(0, "ENDTAB");
    symbolTable(p, "UCS", UcsTable, 0);
    p.text(0, "ENDTAB");

    symbolTable(p, "APPID", AppidTable, 1);
    tableRecord(p, "APPID", AppAcad, AppidTable, "AcDbRegAppTableRecord", "ACAD");
    p.text(0, "ENDTAB");

    symbolTable(p, "DIMSTYLE", DimstyleTable, 1);
    p.text(100, "AcDbDimStyleTable");
    // A dimension style record carries its handle in group 105.
    p.text(0, "DIMSTYLE");
    p.handle(105, DimStandard);
    p.handle(330, DimstyleTable);
    p.text(100, "AcDbSymbolTableRecord");
    p.text(100, "AcDbDimStyleTableRecord");
    p.text(2, "Standard");
    p.integer(70, 0);
    p.text(0, "ENDTAB");

    symbolTable(p, "BLOCK_RECORD", BlockRecordTable, 2);
    for (const auto& [h, name, layout] : {std::tuple<unsigned, std::string_view, unsigned>{
                                              ModelRecord, "*Model_Space", ModelLayout},
                                          {PaperRecord, "*Paper_Space", PaperLayout}}) {
        p.text(0, "BLOCK_RECORD");
        p.handle(5, h);
        p.handle(330, BlockRecordTable);
        p.text(100, "AcDbSymbolTableRecord");
        p.text(100, "AcDbBlockTableRecord");
        p.text(2, name);
        p.handle(340, layout);
    }
    p.text(0, "ENDTAB");
    p.text(0, "ENDSEC");
}

void blocks(Pairs& p) {
    p.text(0, "SECTION");
    p.text(2, "BLOCKS");
    for (const auto& [record, begin, end, name] :
         {std::tuple<unsigned, unsigned, unsigned, std::string_view>{ModelRecord, ModelBlock,
                                                                     ModelBlockEnd, "*Model_Space"},
          {PaperRecord, PaperBlock, PaperBlockEnd, "*Paper_Space"}}) {
        p.text(0, "BLOCK");
        p.handle(5, begin);
        p.handle(330, record);
        p.text(100, "AcDbEntity");
        p.text(8, "0");
        p.text(100, "AcDbBlockBegin");
        p.text(2, name);
        p.integer(70, 0);
        p.point3(10, 0, 0, 0);
        p.text(3, name);
        p.text(1, "");
        p.text(0, "ENDBLK");
        p.handle(5, end);
        p.handle(330, record);
        p.text(100, "AcDbEntity");
        p.text(8, "0");
        p.text(100, "AcDbBlockEnd");
    }
    p.text(0, "ENDSEC");
}

void image(Pairs& p, int width, int height, double pixel) {
    p.text(0, "IMAGE");
    p.handle(5, Image);
    p.handle(330, ModelRecord);
    p.text(100, "AcDbEntity");
    p.text(8, CadPhotoLayer);
    p.text(100, "AcDbRasterImage");
    p.integer(90, 0);
    p.point3(10, 0, 0, 0);     // lower left corner of the picture
    p.point3(11, pixel, 0, 0); // one pixel across
    p.point3(12, 0, pixel, 0); // one pixel up
    p.point(13, width, height);
    p.handle(340, ImageDef);
    p.integer(70, 3); // shown, also when turned
    p.integer(280, 0);
    p.integer(281, 50);
    p.integer(282, 50);
    p.integer(283, 0);
    p.handle(360, ImageDefReactor);
    p.integer(71, 1); // rectangular clip along the picture's edge
    p.integer(91, 2);
    p.point(14, -0.5, -0.5);
    p.point(14, width - 0.5, height - 0.5);
}

void layout(Pairs& p, unsigned h, unsigned record, std::string_view name, int tab, bool model) {
    p.text(0, "LAYOUT");
    p.handle(5, h);
    p.handle(330, LayoutDict);
    p.text(100, "AcDbPlotSettings");
    p.text(1, "");
    p.text(2, "none_device");
    p.text(4, "ISO_A3_(420.00_x_297.00_MM)");
    p.text(6, "");
    for (int code : {40, 41, 42, 43})
        p.number(code, 7.5);
    p.number(44, 420);
    p.number(45, 297);
    for (int code : {46, 47, 48, 49, 140, 141})
        p.number(code, 0);
    p.number(142, 1);
    p.number(143, 1);
    p.integer(70, model ? 1024 : 0);
    p.integer(72, 1); // millimetres on paper
    p.integer(73, 1);
    p.integer(74, 5);
    p.text(7, "");
    p.integer(75, 16);
    p.integer(76, 0);
    p.integer(77, 2);
    p.integer(78, 300);
    p.number(147, 1);
    p.number(148, 0);
    p.number(149, 0);
    p.text(100, "AcDbLayout");
    p.text(1, name);
    p.integer(70, 1);
    p.integer(71, tab);
    p.point(10, 0, 0);
    p.point(11, 420, 297);
    p.point3(12, 0, 0, 0);
    p.point3(14, 1e20, 1e20, 1e20);
    p.point3(15, -1e20, -1e20, -1e20);
    p.number(146, 0);
    p.point3(13, 0, 0, 0);
    p.point3(16, 1, 0, 0);
    p.point3(17, 0, 1, 0);
    p.integer(76, 0);
    p.handle(330, record);
}

void objects(Pairs& p, std::string_view underlayName, int width, int height, double pixel) {
    const bool photo = !underlayName.empty();
    p.text(0, "SECTION");
    p.text(2, "OBJECTS");

    p.text(0, "DICTIONARY");
    p.handle(5, RootDict);
    p.handle(330, 0);
    p.text(100, "AcDbDictionary");
    p.integer(281, 1);
    p.text(3, "ACAD_GROUP");
    p.handle(350, GroupDict);
    if (photo) {
        p.text(3, "ACAD_IMAGE_DICT");
        p.handle(350, ImageDict);
        p.text(3, "ACAD_IMAGE_VARS");
        p.handle(350, ImageVars);
    }
    p.text(3, "ACAD_LAYOUT");
    p.handle(350, LayoutDict);

    p.text(0, "DICTIONARY");
    p.handle(5, GroupDict);
    p.handle(330, RootDict);
    p.text(100, "AcDbDictionary");
    p.integer(281, 1);

    p.text(0, "DICTIONARY");
    p.handle(5, LayoutDict);
    p.handle(330, RootDict);
    p.text(100, "AcDbDictionary");
    p.integer(281, 1);
    p.text(3, "Layout1");
    p.handle(350, PaperLayout);
    p.text(3, "Model");
    p.handle(350, ModelLayout);

    layout(p, ModelLayout, ModelRecord, "Model", 0, true);
    layout(p, PaperLayout, PaperRecord, "Layout1", 1, false);
    if (!photo) {
        p.text(0, "ENDSEC");
        return;
    }

    p.text(0, "DICTIONARY");
    p.handle(5, ImageDict);
    p.handle(330, RootDict);
    p.text(100, "AcDbDictionary");
    p.integer(281, 1);
    p.text(3, "Foto");
    p.handle(350, ImageDef);

    p.text(0, "RASTERVARIABLES");
    p.handle(5, ImageVars);
    p.handle(330, RootDict);
    p.text(100, "AcDbRasterVariables");
    p.integer(90, 0);
    p.integer(70, 0); // no frame around the picture
    p.integer(71, 1); // high quality
    p.integer(72, 0); // no unit of its own

    p.text(0, "IMAGEDEF");
    p.handle(5, ImageDef);
    p.text(102, "{ACAD_REACTORS");
    p.handle(330, ImageDict);
    p.handle(330, ImageDefReactor);
    p.text(102, "}");
    p.handle(330, ImageDict);
    p.text(100, "AcDbRasterImageDef");
    p.integer(90, 0);
    p.text(1, dxfString(underlayName));
    p.point(10, width, height);
    p.point(11, pixel, pixel);
    p.integer(280, 1);
    p.integer(281, 0);

    p.text(0, "IMAGEDEF_REACTOR");
    p.handle(5, ImageDefReactor);
    p.handle(330, Image);
    p.text(100, "AcDbRasterImageDefReactor");
    p.integer(90, 2);
    p.handle(330, Image);

    p.text(0, "ENDSEC");
}

} // namespace

CadScale ComputeCadScale(const DrawingRequest& request) {
    const double unitCm = DrawingUnitCm(request.unit, request.realWidthCm);
    CadScale sc;
    sc.unit = NearestCadUnit(unitCm);
    // Coordinates in the unit the header records (the same unit for every
    // drawing a person would make; another only for widths beyond 100 km).
    const double toCad = unitCm == sc.unit.cm ? 1.0 : unitCm / sc.unit.cm;
    const int pictureWidth = request.pictureWidth > 0 ? request.pictureWidth : request.tracedWidth;
    sc.tracedPixel =
        ComputeDxfScale(request.realWidthCm, request.areaPercent, request.tracedWidth, request.unit)
            .s *
        toCad;
    sc.picturePixel =
        ComputeDxfScale(request.realWidthCm, request.areaPercent, pictureWidth, request.unit).s *
        toCad;
    return sc;
}

std::string CadDrawing(const DrawingRequest& request, std::string_view underlayName) {
    const CadScale sc = ComputeCadScale(request);
    const int pictureWidth = request.pictureWidth > 0 ? request.pictureWidth : request.tracedWidth;
    const int pictureHeight =
        request.pictureHeight > 0 ? request.pictureHeight : request.tracedHeight;
    const bool photo = !underlayName.empty() && pictureWidth > 0 && pictureHeight > 0;

    const Chains joined = JoinChains(request.records);
    const SpeckSize speck = TracedSpeckSize(request);
    const double s = sc.tracedPixel;
    const double h = request.tracedHeight;
    std::vector<bool> kept(joined.chains.size(), true);
    Box ext;
    if (photo) {
        ext.add(0, 0);
        ext.add(pictureWidth * sc.picturePixel, pictureHeight * sc.picturePixel);
    }
    for (std::size_t i = 0; i < joined.chains.size(); ++i) {
        const ChainSpan& c = joined.chains[i];
        const std::span<const tpixel> pts(joined.points.data() + c.first, c.count);
        kept[i] = !IsSpeck(pts, speck);
        if (kept[i])
            for (const tpixel& q : pts)
                ext.add(q.x * s, (h - q.y) * s);
    }
    if (ext.empty())
        ext.add(0, 0);

    // Handles: the fixed part, then one per outline.
    std::size_t keptCount = 0;
    for (bool k : kept)
        keptCount += k ? 1 : 0;
    const unsigned handseed = FirstEntity + static_cast<unsigned>(keptCount);

    Pairs p;
    header(p, sc.unit, ext, handseed);
    classes(p);
    tables(p, ext);
    blocks(p);

    p.text(0, "SECTION");
    p.text(2, "ENTITIES");
    if (photo)
        image(p, pictureWidth, pictureHeight, sc.picturePixel);
    unsigned next = FirstEntity;
    for (std::size_t i = 0; i < joined.chains.size(); ++i) {
        if (!kept[i])
            continue;
        const ChainSpan& c = joined.chains[i];
        p.text(0, "LWPOLYLINE");
        p.handle(5, next++);
        p.handle(330, ModelRecord);
        p.text(100, "AcDbEntity");
        p.text(8, CadOutlineLayer);
        p.text(100, "AcDbPolyline");
        // A single point (an isolated pixel) is a line of no length.
        const std::size_t count = std::max<std::size_t>(c.count, 2);
        p.integer(90, static_cast<long long>(count));
        p.integer(70, c.closed ? 1 : 0);
        for (std::size_t k = 0; k < count; ++k) {
            const tpixel& q = joined.points[c.first + std::min(k, c.count - 1)];
            p.point(10, q.x * s, (h - q.y) * s);
        }
    }
    p.text(0, "ENDSEC");

    objects(p, photo ? underlayName : std::string_view(), pictureWidth, pictureHeight,
            sc.picturePixel);
    p.text(0, "EOF");
    return p.take();
}

std::string UnderlayPath(const std::string& dxfPath) {
    const auto slash = dxfPath.find_last_of('/');
    const auto dot = dxfPath.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
                        dot != (slash == std::string::npos ? 0 : slash + 1);
    std::string base = hasExt ? dxfPath.substr(0, dot) : dxfPath;
    std::string ext = hasExt ? dxfPath.substr(dot) : std::string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".png")
        return dxfPath + ".png";
    return base + ".png";
}

DxfEnd WriteDrawing(const std::string& dxfPath, DxfFormat format, const DrawingRequest& request,
                    std::span<const std::uint8_t> underlayPng, int* errorCode) {
    auto done = [&](int e) {
        if (errorCode != nullptr)
            *errorCode = e;
        return DxfEndOf(e);
    };
    if (format == DxfFormat::Plain)
        return done(fp::replaceFile(dxfPath, DxfDrawing(request)));

    const bool photo = !underlayPng.empty();
    const std::string pngPath = UnderlayPath(dxfPath);
    const auto slash = pngPath.find_last_of('/');
    const std::string pngName = slash == std::string::npos ? pngPath : pngPath.substr(slash + 1);
    const std::string text = CadDrawing(request, photo ? std::string_view(pngName) : "");

    // Both files complete on the disk before either takes its place.
    fp::PendingFile drawing(dxfPath);
    if (drawing.write(text) != 0)
        return done(drawing.error());
    if (!photo)
        return done(drawing.commit());
    fp::PendingFile png(pngPath);
    if (png.write(underlayPng.data(), underlayPng.size()) != 0)
        return done(png.error());
    if (png.commit() != 0)
        return done(png.error());
    return done(drawing.commit());
}

} // namespace lines
