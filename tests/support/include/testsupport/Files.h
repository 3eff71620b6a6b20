#pragma once
// Files, pixels and outside tools shared by the image tests.

#include "pixkit/dib.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Colour shown at (x, y), whatever the depth: the table entry for palette images.
inline pixkit::Colour shown(const pixkit::dib& d, int x, int y) {
    const pixkit::Colour v = pixkit::getpixel(d, x, y);
    return pixkit::dibbits(d) == 24 ? v : pixkit::tableColour(d, static_cast<int>(v));
}

inline bool haveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command line quietly; true when it succeeded.
inline bool run(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

// What a shell command line prints on its standard output (empty when it
// cannot be started).
inline std::string output(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    std::array<char, 4096> buf{};
    std::string out;
    while (fgets(buf.data(), static_cast<int>(buf.size()), pipe) != nullptr)
        out += buf.data();
    pclose(pipe);
    return out;
}

} // namespace testsupport
