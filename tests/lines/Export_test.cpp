// The export steps over the workspace's line list: LinienErkenne appends
// through the list's cursor, the export replaces the rectified image, and
// SaveAsDXF walks the list.

#include "LineImages.h"
#include "foundation/OutOfMemory.h"
#include "lines/Export.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace lines {
namespace {

struct CountingEvents : LineEvents {
    std::vector<tlineinf> segments;
    int drawn = 0;
    std::vector<ExportStage> stages;
    void segmentFound(const tlineinf& s, bool isDrawn) override {
        segments.push_back(s);
        drawn += isDrawn ? 1 : 0;
    }
    void stageReached(ExportStage stage) override { stages.push_back(stage); }
};

class Workspace : public ::testing::Test {
protected:
    tlineinf* alineinf = nullptr;
    LineList lines{&alineinf};
    CountingEvents events;
};

TEST_F(Workspace, LinienErkenneReplacesTheListAndReportsEverySegment) {
    ASSERT_NE(lines.Add(), nullptr); // an old trace
    pixkit::DibHolder di = test::fromAscii({
        "..........",
        "..####....",
        "..####....",
        "..........",
    });
    ASSERT_EQ(LinienErkenne(di.get(), lines, events), TraceEnd::Done);
    ASSERT_EQ(lines.count(), events.segments.size());
    ASSERT_GT(lines.count(), 1u);
    for (std::uint32_t i = 0; i < lines.count(); ++i)
        EXPECT_EQ(lines[i], events.segments[i]) << i;
    EXPECT_TRUE(lines[0].newpoly);
    EXPECT_EQ(alineinf, &lines[lines.count() - 1]) << "the cursor stays on the last record";
    EXPECT_EQ(events.drawn, static_cast<int>(lines.count()) - 1); // one closing segment
    EXPECT_EQ(events.stages, std::vector<ExportStage>{ExportStage::Outlined});
    // di is now the outline image: a 2-pixel-high block is all outline.
    EXPECT_EQ(test::toAscii(di.get())[1], "..####....");
}

TEST_F(Workspace, FullListEndsTheTraceWithTheListsOwnMessage) {
    for (Engine engine : {Engine::Reference, Engine::Fast}) {
        SCOPED_TRACE(engine == Engine::Fast ? "fast" : "reference");
        tlineinf* cursor = nullptr;
        LineList list(&cursor);
        CountingEvents seen;
        std::vector<std::string> texts;
        foundation::setOutOfMemoryHandler([&](const std::string& t) { texts.push_back(t); });
        // Room for the first 100 records only.
        foundation::setBlockLimitForTesting(100 * sizeof(tlineinf));
        pixkit::DibHolder di = test::blank(3000, 20);
        for (int x = 0; x < 3000; x += 2)
            pixkit::setpixel(di.get(), x, 10, 0); // 1500 isolated pixels, 3000 segments
        const TraceEnd end = LinienErkenne(di.get(), list, seen, engine);
        foundation::setBlockLimitForTesting(std::numeric_limits<std::size_t>::max());
        foundation::setOutOfMemoryHandler({});
        EXPECT_EQ(end, TraceEnd::Stopped);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].rfind("Error ", 0), 0u);
        EXPECT_LE(list.count(), 100u);
        EXPECT_LT(seen.segments.size(), 3000u);
        // The list said so itself; the trace reports no lack of memory of its own.
        EXPECT_EQ(seen.stages, std::vector<ExportStage>{ExportStage::Outlined});
        if (engine == Engine::Reference) {
            EXPECT_EQ(list.count(), 100u); // one Add per segment: the 101st fails
            EXPECT_EQ(seen.segments.size(), 100u);
        }
    }
}

TEST_F(Workspace, FastListEqualsReferenceListAcrossBatches) {
    // Enough segments for several hand-overs to the list.
    pixkit::DibHolder a = test::blank(2000, 40);
    for (int y = 2; y < 40; y += 4)
        for (int x = (y / 4) % 2; x < 2000; x += 3)
            pixkit::setpixel(a.get(), x, y, 0);
    pixkit::DibHolder b(DuplicateImage(a.get()));
    tlineinf* cursorRef = nullptr;
    LineList ref(&cursorRef);
    CountingEvents refEvents;
    ASSERT_EQ(LinienErkenne(a.get(), lines, events, Engine::Fast), TraceEnd::Done);
    ASSERT_EQ(LinienErkenne(b.get(), ref, refEvents, Engine::Reference), TraceEnd::Done);
    ASSERT_GT(ref.count(), 5000u);
    ASSERT_EQ(lines.count(), ref.count());
    for (std::uint32_t i = 0; i < ref.count(); ++i)
        ASSERT_EQ(lines[i], ref[i]) << i;
    EXPECT_EQ(events.segments, refEvents.segments);
    EXPECT_EQ(alineinf, &lines[lines.count() - 1]);
    EXPECT_EQ(cursorRef, &ref[ref.count() - 1]);
}

TEST_F(Workspace, ExportStepsReplaceTheRectifiedImage) {
    pixkit::DibHolder di2 = test::drawing(test::Drawing::Glyphs, 40, 30, 4);
    SeparationTables tables;
    ASSERT_EQ(TraceRectified(di2.get(), 50, tables, lines, events), ExportEnd::Traced);
    EXPECT_EQ(pixkit::dibwidth(di2.get()), 120);
    EXPECT_EQ(pixkit::dibheight(di2.get()), 90);
    EXPECT_GT(lines.count(), 0u);
    // Separation, the black/white image installed, the outline, the trace.
    EXPECT_EQ(events.stages,
              (std::vector<ExportStage>{ExportStage::Separated, ExportStage::BlackWhite,
                                        ExportStage::Outlined, ExportStage::Traced}));
    // Only black and white remain.
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x) {
            const auto c = pixkit::getpixel(di2.get(), x, y);
            ASSERT_TRUE(c == 0 || c == 0xFFFFFFu);
        }
}

TEST_F(Workspace, ExportWithoutImageChangesNothing) {
    lines.Add();
    pixkit::dib none;
    SeparationTables tables;
    EXPECT_EQ(TraceRectified(none, 50, tables, lines, events), ExportEnd::NoImage);
    EXPECT_EQ(lines.count(), 1u);
    EXPECT_TRUE(events.stages.empty());
}

TEST_F(Workspace, SaveAsDXFWalksTheList) {
    const std::vector<tlineinf> recs = {
        {0, 0, 4, 0, true}, {4, 0, 4, 4, false}, {7, 7, 7, 7, true}};
    for (const tlineinf& r : recs) {
        tlineinf* rec = lines.Add();
        ASSERT_NE(rec, nullptr);
        *rec = r;
    }
    const auto file = std::filesystem::temp_directory_path() / "lines_export_test.dxf";
    ASSERT_EQ(SaveAsDXF(file.string(), lines, 80, 60, 250.0, 100.0), DxfEnd::Written);
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), DxfDrawing(recs, 250.0, 100.0, 80, 60));
    std::filesystem::remove(file);
}

} // namespace
} // namespace lines
