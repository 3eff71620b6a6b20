#include "TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

void put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

std::string slurp(const std::string& path) {
    std::string s;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return s;
    char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

} // namespace

std::vector<std::uint8_t> bmpBytes(int width, int height, int bits,
                                   const std::vector<std::uint32_t>& indices,
                                   const std::vector<pixkit::Colour>& palette) {
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    const std::uint32_t stride = ((w * static_cast<std::uint32_t>(bits) + 31) / 32) * 4;
    const std::uint32_t colours = bits == 24 ? 0 : (1u << bits);
    const std::uint32_t offset = 14 + 40 + 4 * colours;
    std::vector<std::uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    put32(b, offset + stride * h);
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, w);
    put32(b, h); // bottom row first
    put16(b, 1);
    put16(b, static_cast<std::uint32_t>(bits));
    put32(b, 0);
    put32(b, stride * h);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, colours);
    put32(b, 0);
    for (std::uint32_t i = 0; i < colours; ++i) {
        const pixkit::Colour c = i < palette.size() ? palette[i] : 0;
        b.push_back(pixkit::blueOf(c));
        b.push_back(pixkit::greenOf(c));
        b.push_back(pixkit::redOf(c));
        b.push_back(0);
    }
    for (std::uint32_t row = h; row-- > 0;) {
        std::vector<std::uint8_t> line(stride, 0);
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint32_t v = indices[row * w + x];
            if (bits == 24) {
                line[3 * x] = pixkit::blueOf(v);
                line[3 * x + 1] = pixkit::greenOf(v);
                line[3 * x + 2] = pixkit::redOf(v);
            } else {
                const auto ub = static_cast<std::uint32_t>(bits);
                const std::uint32_t bitPos = x * ub;
                const std::uint32_t shift = 8 - ub - (bitPos % 8);
                line[bitPos / 8] = static_cast<std::uint8_t>(line[bitPos / 8] | (v << shift));
            }
        }
        b.insert(b.end(), line.begin(), line.end());
    }
    return b;
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    const std::string s = slurp(path);
    return {s.begin(), s.end()};
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> listTree(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr)
        return names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        names.push_back(name);
        for (const std::string& sub : listTree(dir + "/" + name))
            names.push_back(name + "/" + sub);
    }
    ::closedir(d);
    return names;
}

bool onWallDrawing(int x, int y) {
    const bool frame =
        x >= 120 && x <= 280 && y >= 120 && y <= 180 && (x < 124 || x > 276 || y < 124 || y > 176);
    const bool cross = (x >= 198 && x <= 201 && y >= 130 && y <= 170) ||
                       (y >= 148 && y <= 151 && x >= 150 && x <= 250);
    return frame || cross;
}

Picture toPicture(const pixkit::dib& d) {
    Picture p;
    p.width = pixkit::dibwidth(d);
    p.height = pixkit::dibheight(d);
    p.pixels.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            p.set(x, y, pixkit::getpixel(d, x, y));
    return p;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& setEnv,
                     const std::string& scratchDir, int timeoutSeconds) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM" ||
            setEnv.count(name) != 0)
            continue;
        env.push_back(entry);
    }
    for (const auto& [name, value] : setEnv)
        env.push_back(name + "=" + value);

    std::vector<char*> envp;
    for (std::string& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argStore)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const std::string outPath = scratchDir + "/child.out";
    const std::string errPath = scratchDir + "/child.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int rc =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    RunResult result;
    if (rc != 0) {
        result.err = std::string("spawn failed: ") + std::strerror(rc);
        return result;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    ::unlink(outPath.c_str());
    ::unlink(errPath.c_str());
    return result;
}

} // namespace testsupport
