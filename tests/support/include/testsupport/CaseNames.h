#pragma once
// Readable names of parameterised cases: GoogleTest would number them.

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// "<prefix><value>"; a negative value reads "<prefix>Minus<digits>".
inline std::string numberedName(const std::string& prefix, long long value) {
    return value < 0 ? prefix + "Minus" + std::to_string(-value) : prefix + std::to_string(value);
}

// Name generator for integer cases: numbered<int>("Bits") names 24 "Bits24".
template <class T> auto numbered(std::string prefix) {
    return [prefix](const testing::TestParamInfo<T>& p) {
        return numberedName(prefix, static_cast<long long>(p.param));
    };
}

} // namespace testsupport
