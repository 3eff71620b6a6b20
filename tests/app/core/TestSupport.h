#pragma once
// Helpers of the workspace and batch tests: hand-made BMP files, pictures
// as plain pixel arrays, and running the real program as a child process.

#include "pixkit/dib.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A picture as colour values (red in the low byte), row-major, y from the top.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<pixkit::Colour> pixels;
    pixkit::Colour at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    void set(int x, int y, pixkit::Colour c) {
        pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
               static_cast<std::size_t>(x)] = c;
    }
};

// The bytes of a BMP file with `bits` per pixel (1, 4, 8 or 24). For palette
// depths `indices` holds one palette index per pixel (row-major, top row
// first) and `palette` the colours; for 24 bits `indices` holds colours.
std::vector<std::uint8_t> bmpBytes(int width, int height, int bits,
                                   const std::vector<std::uint32_t>& indices,
                                   const std::vector<pixkit::Colour>& palette);

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFile(const std::string& path);
bool fileExists(const std::string& path);

// Every file and folder below `dir`, recursively (relative names).
std::vector<std::string> listTree(const std::string& dir);

// The drawing on the walls of the batch tests (a 400 x 300 photograph): a
// dark frame and a cross inside the upright rectangle (100, 100) ... (300, 200).
bool onWallDrawing(int x, int y);

// Copies a 24-bit image into a Picture.
Picture toPicture(const pixkit::dib& d);

// Result of a child process.
struct RunResult {
    int exitCode = -1;     // -1: did not exit normally
    bool timedOut = false; // killed after the time allowed
    std::string out;
    std::string err;
};

// Runs `program` with `args`. The environment is the test's own without
// DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM, with `setEnv` applied on top.
// A child still running after `timeoutSeconds` is killed (timedOut).
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& setEnv,
                     const std::string& scratchDir, int timeoutSeconds = 300);

} // namespace testsupport
