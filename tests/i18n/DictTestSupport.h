#pragma once
// Dictionary files built in code, a private folder per test, and a reader of
// translate.dat independent of the dictionary's own.

#include "i18n/Dictionary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace dicttest {

using Row = std::vector<std::u16string>;

inline void putI32(std::string& out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

inline void putText(std::string& out, const std::u16string& t) {
    putI32(out, static_cast<std::int32_t>(t.size()));
    for (char16_t c : t) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
}

// A translate.dat with column count c and the given rows; rows shorter than
// c are filled with empty cells.
inline std::string dictBytes(std::int32_t c, const std::vector<Row>& rows, std::int32_t n = -1) {
    std::string out;
    putI32(out, c);
    putI32(out, n >= 0 ? n : static_cast<std::int32_t>(rows.size()));
    for (const Row& r : rows)
        for (std::int32_t i = 0; i < c; ++i)
            putText(out, static_cast<std::size_t>(i) < r.size() ? r[static_cast<std::size_t>(i)]
                                                                : std::u16string());
    return out;
}

struct ParsedDict {
    std::int32_t c = 0;
    std::int32_t n = 0;
    std::vector<Row> rows;
};

inline std::int32_t getI32(const std::string& d, std::size_t& at) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= std::uint32_t{static_cast<unsigned char>(d.at(at++))} << (8 * i);
    return static_cast<std::int32_t>(u);
}

// Parses a well-formed file strictly (throws std::out_of_range when short)
// and checks that nothing follows the last row.
inline ParsedDict parseDict(const std::string& d) {
    ParsedDict p;
    std::size_t at = 0;
    p.c = getI32(d, at);
    p.n = getI32(d, at);
    for (std::int32_t r = 0; r < p.n; ++r) {
        Row row;
        for (std::int32_t i = 0; i < p.c; ++i) {
            const std::int32_t len = getI32(d, at);
            std::u16string t;
            for (std::int32_t k = 0; k < len; ++k) {
                const auto lo = static_cast<unsigned char>(d.at(at++));
                const auto hi = static_cast<unsigned char>(d.at(at++));
                t.push_back(static_cast<char16_t>(lo | (hi << 8)));
            }
            row.push_back(t);
        }
        p.rows.push_back(row);
    }
    EXPECT_EQ(at, d.size()) << "bytes after the last row";
    return p;
}

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream all;
    all << f.rdbuf();
    return all.str();
}

inline void writeFile(const std::filesystem::path& p, const std::string& data) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// A fresh program folder per test; the dictionary is reset before and after.
class DictFolder : public ::testing::Test {
protected:
    void SetUp() override {
        i18n::ResetDictionary();
        std::string tmpl = (std::filesystem::temp_directory_path() / "fp-dict-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        progpath = dir.string() + "/";
    }
    void TearDown() override {
        i18n::ResetDictionary();
        std::error_code ec;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir, ec);
    }

    std::filesystem::path file() const { return dir / "translate.dat"; }
    void load(int* lang) { i18n::LoadDictionary(progpath, lang); }
    void loadWith(std::int32_t c, const std::vector<Row>& rows, int* lang) {
        writeFile(file(), dictBytes(c, rows));
        load(lang);
    }
    ParsedDict saved() const { return parseDict(readFile(file())); }

    std::filesystem::path dir;
    std::string progpath;
    int language = 1;
};

} // namespace dicttest
