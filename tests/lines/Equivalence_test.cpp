// The fast path against the per-pixel reference over the whole line
// extraction: the same prepared image, the same tables and black/white
// image, the same outline image and the same segments, record by record.

#include "LineImages.h"
#include "lines/Separation.h"
#include "lines/Trace.h"
#include "pixkit/ImageFile.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace lines {
namespace {

struct Stages {
    pixkit::DibHolder prepared;
    pixkit::DibHolder separated;
    SeparationTables tables;
    pixkit::DibHolder outline;
    std::vector<tlineinf> segments;
    std::vector<bool> drawn;
};

Stages extract(const pixkit::dib& source, int schwelle, Engine engine) {
    Stages s;
    s.prepared.install(DuplicateImage(source));
    PrepareForTracing(s.prepared.get(), engine);
    pixkit::dib bw;
    EXPECT_EQ(ToBlackWhite(s.prepared.get(), schwelle, bw, s.tables, engine), SeparationEnd::Done);
    s.separated.install(bw);
    s.outline.install(DuplicateImage(bw));
    EXPECT_EQ(MakeOutlineImage(s.outline.get(), engine), OutlineEnd::Done);
    EXPECT_EQ(TraceSegments(
                  s.outline.get(),
                  [&](const tlineinf& seg, bool drawn) {
                      s.segments.push_back(seg);
                      s.drawn.push_back(drawn);
                      return true;
                  },
                  engine),
              TraceEnd::Done);
    return s;
}

std::string firstDifference(const std::vector<tlineinf>& a, const std::vector<tlineinf>& b) {
    std::ostringstream os;
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (!(a[i] == b[i])) {
            os << "record " << i << ": (" << a[i].x1 << "," << a[i].y1 << ")->(" << a[i].x2 << ","
               << a[i].y2 << ") vs (" << b[i].x1 << "," << b[i].y1 << ")->(" << b[i].x2 << ","
               << b[i].y2 << ")";
            return os.str();
        }
    os << "counts " << a.size() << " vs " << b.size();
    return os.str();
}

// Returns the number of segments found.
std::size_t expectSame(const pixkit::dib& source, int schwelle) {
    const Stages fast = extract(source, schwelle, Engine::Fast);
    const Stages ref = extract(source, schwelle, Engine::Reference);
    EXPECT_TRUE(test::samePixels(fast.prepared.get(), ref.prepared.get())) << "prepared image";
    EXPECT_EQ(fast.tables.col1, ref.tables.col1);
    EXPECT_EQ(fast.tables.T, ref.tables.T);
    EXPECT_TRUE(test::samePixels(fast.separated.get(), ref.separated.get())) << "black/white";
    EXPECT_TRUE(test::samePixels(fast.outline.get(), ref.outline.get())) << "outline image";
    EXPECT_TRUE(fast.segments == ref.segments) << firstDifference(fast.segments, ref.segments);
    EXPECT_EQ(fast.drawn, ref.drawn);
    return ref.segments.size();
}

struct SyntheticCase {
    test::Drawing kind;
    int W, H;
    std::uint32_t seed;
    int schwelle;
};

std::string kindName(test::Drawing k) {
    switch (k) {
    case test::Drawing::Strokes:
        return "Strokes";
    case test::Drawing::Blobs:
        return "Blobs";
    case test::Drawing::Glyphs:
        return "Glyphs";
    case test::Drawing::Noise:
        return "Noise";
    case test::Drawing::Photo:
        break;
    }
    return "Plain";
}

class Synthetic : public ::testing::TestWithParam<SyntheticCase> {};

TEST_P(Synthetic, FastEqualsReference) {
    const SyntheticCase& c = GetParam();
    const pixkit::DibHolder src = test::drawing(c.kind, c.W, c.H, c.seed);
    expectSame(src.get(), c.schwelle);
}

std::vector<SyntheticCase> syntheticCases() {
    std::vector<SyntheticCase> cases;
    const std::pair<int, int> sizes[] = {{1, 1},  {2, 3},   {21, 1},   {63, 5},
                                         {64, 9}, {65, 40}, {130, 77}, {301, 199}};
    std::uint32_t seed = 1;
    for (test::Drawing kind : {test::Drawing::Strokes, test::Drawing::Blobs, test::Drawing::Glyphs,
                               test::Drawing::Noise, test::Drawing::Photo})
        for (const auto& [W, H] : sizes) {
            cases.push_back({kind, W, H, seed, 50});
            cases.push_back({kind, W, H, seed + 100, 1 + static_cast<int>(seed * 37 % 99)});
            ++seed;
        }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Drawings, Synthetic, ::testing::ValuesIn(syntheticCases()),
                         [](const auto& p) {
                             const SyntheticCase& c = p.param;
                             return kindName(c.kind) + std::to_string(c.W) + "x" +
                                    std::to_string(c.H) + "S" + std::to_string(c.schwelle) + "n" +
                                    std::to_string(p.index);
                         });

// Outline images with long straight runs and large traced areas, where the
// deviation test works on long point lists.
TEST(Equivalence, LargeShapesAndLongEdges) {
    pixkit::DibHolder h = test::blank(700, 500);
    test::fillRect(h.get(), 0, 0, 699, 30, 0);     // touching three borders
    test::fillRect(h.get(), 50, 100, 650, 420, 0); // large block
    test::fillRect(h.get(), 200, 200, 500, 300, 0xFFFFFF);
    test::line(h.get(), 0, 499, 699, 350, 3, 0); // long slanted stroke
    test::line(h.get(), 10, 60, 690, 61, 1, 0);  // nearly horizontal
    EXPECT_GT(expectSame(h.get(), 50), 100u);
}

// Too wide to enlarge: the blocky in-place variant, traced at its own size.
TEST(Equivalence, BlockyCase3001Wide) {
    const pixkit::DibHolder src = test::drawing(test::Drawing::Glyphs, 3001, 40, 77);
    EXPECT_GT(expectSame(src.get(), 50), 100u);
}

// Traced directly at widths whose tolerance is a whole number (1001: tol 1,
// 3001: tol 3), where many points lie exactly at the tolerance from an
// axis-parallel chord and the fast test must fall back to the division.
TEST(Equivalence, TraceAtWholeNumberTolerance) {
    for (int W : {1001, 3001}) {
        SCOPED_TRACE(W);
        pixkit::DibHolder h = test::blank(W, 60);
        std::mt19937 rng(static_cast<unsigned>(W));
        for (int i = 0; i < 40; ++i) {
            const int x = static_cast<int>(rng() % static_cast<unsigned>(W - 40));
            const int y = static_cast<int>(rng() % 50);
            test::fillRect(h.get(), x, y, x + static_cast<int>(rng() % 40),
                           y + static_cast<int>(rng() % 6), 0);
            test::line(h.get(), x, y, x + 37, y + 3 + static_cast<int>(rng() % 5), 1, 0);
        }
        ASSERT_EQ(MakeOutlineImage(h.get()), OutlineEnd::Done);
        std::vector<tlineinf> fast, ref;
        auto into = [](std::vector<tlineinf>& v) {
            return [&v](const tlineinf& s, bool) {
                v.push_back(s);
                return true;
            };
        };
        ASSERT_EQ(TraceSegments(h.get(), into(fast), Engine::Fast), TraceEnd::Done);
        ASSERT_EQ(TraceSegments(h.get(), into(ref), Engine::Reference), TraceEnd::Done);
        EXPECT_GT(ref.size(), 100u);
        EXPECT_TRUE(fast == ref) << firstDifference(fast, ref);
    }
}

TEST(Equivalence, SamplePhotograph) {
    for (const char* name : {"sudoku.png", "left12.jpg"}) {
        SCOPED_TRACE(name);
        pixkit::dib photo;
        pixkit::OpenDib(photo, std::string(FP_TEST_DATA_DIR) + "/" + name);
        pixkit::DibHolder holder(photo);
        ASSERT_NE(photo.poi, nullptr) << "sample photograph missing";
        EXPECT_GT(expectSame(photo, 50), 1000u);
    }
}

} // namespace
} // namespace lines
