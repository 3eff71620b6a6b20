#pragma once
// Helpers of the codec tests: test pictures, colour comparison, temporary
// files and the independent command-line tools (netpbm, ImageMagick).

#include "OwnCodecs.h"
#include "testsupport/Files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace codectest {

using namespace pixkit;
using Buffer = std::vector<std::uint8_t>;
using testsupport::haveTool;
using testsupport::readBytes;
using testsupport::run;
using testsupport::writeBytes;
// Colour shown at (x, y): the table entry for palette images.
constexpr auto shownColour = testsupport::shown;

// Test picture: horizontal runs of one value broken by noise, so the
// run-length paths see long runs, short runs and literals. Palette images get
// a table of distinct colours.
inline dib makePicture(int w, int h, int bits, unsigned seed) {
    BitmapInfo info{};
    for (int i = 0; i < 256; ++i) {
        info.bmiColors[i].rgbRed = static_cast<std::uint8_t>(i * 7 + 3);
        info.bmiColors[i].rgbGreen = static_cast<std::uint8_t>(255 - i);
        info.bmiColors[i].rgbBlue = static_cast<std::uint8_t>(i * 13 + 1);
    }
    dib d;
    newdib(d, w, h, bits, &info, bits <= 8 ? (1 << bits) : 0);
    std::mt19937 rng(seed);
    const Colour mask = bits == 24 ? 0xFFFFFFu : (1u << bits) - 1;
    for (int y = 0; y < h; ++y) {
        Colour v = static_cast<Colour>(rng()) & mask;
        for (int x = 0; x < w; ++x) {
            if (rng() % 5 == 0)
                v = static_cast<Colour>(rng()) & mask;
            setpixel(d, x, y, v);
        }
    }
    return d;
}

// Colours of every pixel, row by row from the top.
inline std::vector<Colour> shownColours(const dib& d) {
    std::vector<Colour> v;
    for (int y = 0; y < dibheight(d); ++y)
        for (int x = 0; x < dibwidth(d); ++x)
            v.push_back(shownColour(d, x, y));
    return v;
}

struct Rgb {
    int width = 0;
    int height = 0;
    std::vector<Colour> pixels;
};

// Reads a binary PPM (maxval 255), as the tools write it.
inline std::optional<Rgb> parsePpm(const Buffer& b) {
    std::size_t p = 0;
    auto token = [&]() -> std::string {
        while (p < b.size() && (std::isspace(b[p]) || b[p] == '#')) {
            if (b[p] == '#')
                while (p < b.size() && b[p] != '\n')
                    ++p;
            else
                ++p;
        }
        std::string t;
        while (p < b.size() && !std::isspace(b[p]))
            t.push_back(static_cast<char>(b[p++]));
        return t;
    };
    if (token() != "P6")
        return std::nullopt;
    Rgb r;
    r.width = std::stoi(token());
    r.height = std::stoi(token());
    if (token() != "255")
        return std::nullopt;
    ++p;
    const std::size_t n = static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height);
    if (b.size() - p < 3 * n)
        return std::nullopt;
    for (std::size_t i = 0; i < n; ++i, p += 3)
        r.pixels.push_back(rgb(b[p], b[p + 1], b[p + 2]));
    return r;
}

inline Buffer ppmOf(int w, int h, const std::vector<Colour>& px) {
    const std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    Buffer b(head.begin(), head.end());
    for (Colour c : px) {
        b.push_back(redOf(c));
        b.push_back(greenOf(c));
        b.push_back(blueOf(c));
    }
    return b;
}

// A fresh temporary folder per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("owncodecs_") + info->test_suite_name() + "_" + info->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        m_path = std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path operator/(const std::string& f) const { return m_path / f; }
    // Quoted for the shell. Built by appending: GCC 12 at -O3 misreads
    // "'" + std::string as an overlapping copy (-Wrestrict).
    std::string q(const std::string& f) const {
        std::string s = "'";
        s += (m_path / f).string();
        s += '\'';
        return s;
    }

private:
    std::filesystem::path m_path;
};

} // namespace codectest
