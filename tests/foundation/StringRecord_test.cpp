#include "foundation/StringRecord.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

using foundation::IoError;
using foundation::ReadStringRecord;
using foundation::RecordReader;
using foundation::WriteStringRecord;

namespace {

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b)
        s.push_back(static_cast<char>(v));
    return s;
}

// A stream that can only be read forward, like a pipe: it cannot tell how
// many bytes are left.
class ForwardOnlyBuf : public std::streambuf {
public:
    explicit ForwardOnlyBuf(std::string data) : m_data(std::move(data)) {
        setg(m_data.data(), m_data.data(), m_data.data() + m_data.size());
    }

private:
    std::string m_data;
};

TEST(StringRecordTest, AbcIsCountThenLittleEndianUnits) {
    std::ostringstream out;
    WriteStringRecord(out, u"abc");
    EXPECT_EQ(out.str(), bytes({0x03, 0, 0, 0, 0x61, 0, 0x62, 0, 0x63, 0}));
}

TEST(StringRecordTest, EmptyTextIsFourZeroBytesAndReadsBackConsumingFour) {
    std::ostringstream out;
    WriteStringRecord(out, u"");
    WriteStringRecord(out, u"x");
    EXPECT_EQ(out.str().substr(0, 4), bytes({0, 0, 0, 0}));

    std::istringstream in(out.str());
    EXPECT_EQ(ReadStringRecord(in), u"");
    EXPECT_EQ(in.tellg(), 4);
    EXPECT_EQ(ReadStringRecord(in), u"x");
}

TEST(StringRecordTest, RoundTripThroughBothReaders) {
    const std::vector<std::u16string> texts = {
        u"Bild öffnen...",
        u"",
        u"\u00DC\u00FC\u00DF",
        u"\U0001F600 surrogates",
        std::u16string(5000, u'\u0141'), // long enough to be measured first
        u"  blanks  \r\n"};
    std::ostringstream out;
    for (const auto& t : texts)
        WriteStringRecord(out, t);

    std::istringstream a(out.str());
    for (const auto& t : texts)
        EXPECT_EQ(ReadStringRecord(a), t);

    std::istringstream b(out.str());
    RecordReader r(b);
    ASSERT_TRUE(r.knowsRemaining());
    for (const auto& t : texts)
        EXPECT_EQ(ReadStringRecord(r), t);
    EXPECT_EQ(r.remaining(), 0u);

    const std::string all = out.str();
    RecordReader rm(all.data(), all.size());
    for (const auto& t : texts)
        EXPECT_EQ(ReadStringRecord(rm), t);
    EXPECT_EQ(rm.remaining(), 0u);

    ForwardOnlyBuf buf(out.str());
    std::istream c(&buf);
    RecordReader rc(c);
    EXPECT_FALSE(rc.knowsRemaining());
    for (const auto& t : texts)
        EXPECT_EQ(ReadStringRecord(rc), t);
}

TEST(StringRecordTest, SkipConsumesExactlyOneRecord) {
    std::ostringstream out;
    WriteStringRecord(out, u"discarded column");
    WriteStringRecord(out, u"kept");
    for (bool seekable : {true, false}) {
        ForwardOnlyBuf buf(out.str());
        std::istringstream s(out.str());
        std::istream fwd(&buf);
        std::istream& in = seekable ? static_cast<std::istream&>(s) : fwd;
        RecordReader r(in);
        foundation::SkipStringRecord(r);
        EXPECT_EQ(ReadStringRecord(r), u"kept") << seekable;
    }
}

struct Hostile {
    const char* name;
    std::string data;
};

class HostileRecordTest : public ::testing::TestWithParam<Hostile> {};

// Every reader refuses the record with IoError; none allocates what the
// length field asks for (the sanitizer run would notice).
TEST_P(HostileRecordTest, RefusedAsIoError) {
    const std::string& d = GetParam().data;
    {
        std::istringstream in(d);
        EXPECT_THROW(ReadStringRecord(in), IoError);
    }
    {
        std::istringstream in(d);
        RecordReader r(in);
        EXPECT_THROW(ReadStringRecord(r), IoError);
    }
    {
        RecordReader r(d.data(), d.size());
        EXPECT_THROW(ReadStringRecord(r), IoError);
    }
    {
        ForwardOnlyBuf buf(d);
        std::istream in(&buf);
        EXPECT_THROW(ReadStringRecord(in), IoError);
    }
    {
        ForwardOnlyBuf buf(d);
        std::istream in(&buf);
        RecordReader r(in);
        EXPECT_THROW(ReadStringRecord(r), IoError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Records, HostileRecordTest,
    ::testing::Values(Hostile{"Empty", ""}, Hostile{"CutLength", bytes({3, 0})},
                      Hostile{"MinusOne", bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x61, 0})},
                      Hostile{"MostNegative", bytes({0, 0, 0, 0x80})},
                      Hostile{"Huge", bytes({0xFF, 0xFF, 0xFF, 0x7F, 0x61, 0})},
                      Hostile{"OneUnitShort", bytes({3, 0, 0, 0, 0x61, 0, 0x62, 0})},
                      Hostile{"HalfAUnit", bytes({1, 0, 0, 0, 0x61})},
                      Hostile{"LongButCut", bytes({0x00, 0x20, 0, 0, 0x61, 0})}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(StringRecordTest, SkipRefusesNegativeAndOverlongRecords) {
    for (const std::string& d : {bytes({0xFE, 0xFF, 0xFF, 0xFF}), bytes({5, 0, 0, 0, 1, 0})}) {
        std::istringstream in(d);
        RecordReader r(in);
        EXPECT_THROW(foundation::SkipStringRecord(r), IoError);
        RecordReader m(d.data(), d.size());
        EXPECT_THROW(foundation::SkipStringRecord(m), IoError);
    }
}

TEST(StringRecordTest, FailedWriteThrows) {
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_THROW(WriteStringRecord(out, u"Datei"), IoError);
    EXPECT_THROW(foundation::WriteInt32(out, 20), IoError);
}

} // namespace
