// Record layer of the .xls reader: RK decoding, strings across CONTINUE
// boundaries, SST layouts, format classification, header/footer sections.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "BiffReader.h"
#include "OleReader.h"
#include "test_reader_support.h"

namespace xls {
namespace {

using namespace readertest;

std::uint32_t RkOfInt(std::int32_t n) {
    return (static_cast<std::uint32_t>(n) << 2) | 2;
}
std::uint32_t RkOfDouble(double d, bool div100) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return static_cast<std::uint32_t>(bits >> 32) | (div100 ? 1u : 0u);
}

TEST(BiffRk, KnownVectors) {
    struct Case {
        std::uint32_t rk;
        double expected;
    } cases[] = {
        {RkOfInt(-1), -1.0},
        {RkOfInt(1), 1.0},
        {RkOfInt(-529647) | 1, -5296.47},
        {RkOfInt(-11678001), -11678001.0},
        {RkOfInt(-324484730) | 1, -3244847.30},  // an unsigned shift made this 7,492,570.94
        {RkOfInt(536870911), 536870911.0},
        {RkOfInt(-536870912), -536870912.0},
        {RkOfDouble(536870912.0, false), 536870912.0},  // 2^29 no longer fits the integer form
        {RkOfDouble(1.5, true), 0.015},                 // divided, not multiplied by 0.01
        {RkOfInt(15) | 1, 0.15},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(biff::DecodeRk(c.rk), c.expected) << std::hex << c.rk;
    }
}

TEST(BiffRk, ExactQuotientsForCents) {
    // Every cent amount in the integer-times-100 form comes back as the
    // nearest double of its decimal text.
    for (std::int32_t cents : {1, 5, 15, 99, 101, 529647, -529647, 12345678, -99999999}) {
        double expected = static_cast<double>(cents) / 100.0;
        EXPECT_EQ(biff::DecodeRk(RkOfInt(cents) | 1), expected) << cents;
    }
}

// A stream of one record with CONTINUE records cut at given places.
Bytes Continued(std::uint16_t id, const std::vector<Bytes>& parts) {
    Bytes out = Rec(id, parts[0]);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        Append(out, Rec(0x003C, parts[i]));
    }
    return out;
}

std::vector<std::string> SstOf(const Bytes& stream) {
    biff::RecordReader reader(stream.data(), stream.size());
    biff::Record rec;
    EXPECT_TRUE(reader.next(rec));
    return biff::ParseSst(rec);
}

Bytes SstHead(std::uint32_t count) {
    Bytes p;
    Put32(p, count);
    Put32(p, count);
    return p;
}

TEST(BiffSst, WidthSwitchesAtContinueBoundary) {
    // "ABCあい": 8-bit in the SST record, 16-bit after the boundary.
    Bytes first = SstHead(1);
    Put16(first, 5);
    first.push_back(0);
    first.insert(first.end(), {'A', 'B', 'C'});
    Bytes second = {0x01};
    Put16(second, 0x3042);
    Put16(second, 0x3044);
    EXPECT_EQ(SstOf(Continued(0x00FC, {first, second})), std::vector<std::string>({"ABCあい"}));

    // And the other way: 16-bit first, compressed continuation.
    Bytes a = SstHead(1);
    Put16(a, 3);
    a.push_back(1);
    Put16(a, 0x6D44);  // 浄
    Bytes b = {0x00, 'x', 'y'};
    EXPECT_EQ(SstOf(Continued(0x00FC, {a, b})), std::vector<std::string>({"浄xy"}));
}

TEST(BiffSst, BoundaryRightAfterHeaderHasOptionByte) {
    Bytes a = SstHead(2);
    Append(a, AsciiString("one"));
    Put16(a, 2);
    a.push_back(0);  // header of the second string ends the record
    Bytes b = {0x01};
    Put16(b, 0x5186);  // 円
    Put16(b, 0x0021);
    EXPECT_EQ(SstOf(Continued(0x00FC, {a, b})), std::vector<std::string>({"one", "円!"}));
}

TEST(BiffSst, StringStartingAtBoundaryHasNoOptionByte) {
    Bytes a = SstHead(2);
    Append(a, AsciiString("first"));
    Bytes b = AsciiString("second");
    EXPECT_EQ(SstOf(Continued(0x00FC, {a, b})), std::vector<std::string>({"first", "second"}));
}

TEST(BiffSst, RunsAndPhoneticDataCrossBoundariesWithoutOptionByte) {
    // String 1: rich (2 runs) and phonetic (ExtRst of 10 bytes); runs and the
    // ExtRst straddle the CONTINUE boundaries. String 2 follows.
    Bytes a = SstHead(2);
    Put16(a, 2);
    a.push_back(0x0D);  // 16-bit, runs, ExtRst
    Put16(a, 2);        // cRun
    Put32(a, 10);       // cbExtRst
    Put16(a, 0x5C71);   // 山
    Put16(a, 0x7530);   // 田
    Put32(a, 0x00010000);
    Put16(a, 0x0002);  // half of the second run
    Bytes b;
    Put16(b, 0x0005);  // its second half: no option byte here
    b.insert(b.end(), {1, 2, 3, 4, 5, 6});
    Bytes c = {7, 8, 9, 10};
    Append(c, AsciiString("next"));
    EXPECT_EQ(SstOf(Continued(0x00FC, {a, b, c})), std::vector<std::string>({"山田", "next"}));
}

TEST(BiffSst, SurrogatePairSplitAcrossBoundary) {
    Bytes a = SstHead(1);
    Put16(a, 2);
    a.push_back(1);
    Put16(a, 0xD842);
    Bytes b = {0x01};
    Put16(b, 0xDFB7);  // U+20BB7
    EXPECT_EQ(SstOf(Continued(0x00FC, {a, b})), std::vector<std::string>({"\xF0\xA0\xAE\xB7"}));
}

TEST(BiffSst, StatedCountLargerThanContentIsNotTrusted) {
    Bytes a;
    Put32(a, 0xFFFFFFFF);
    Put32(a, 0xFFFFFFFF);
    Append(a, AsciiString("only"));
    EXPECT_EQ(SstOf(Rec(0x00FC, a)), std::vector<std::string>({"only"}));
}

TEST(BiffSst, TruncatedStringIsDamage) {
    Bytes a = SstHead(1);
    Put16(a, 10);
    a.push_back(0);
    a.insert(a.end(), {'a', 'b'});
    ExpectPlatformError([&] { SstOf(Rec(0x00FC, a)); }, kErrDamaged);
    // Huge cbExtRst past the end.
    Bytes b = SstHead(1);
    Put16(b, 1);
    b.push_back(0x04);
    Put32(b, 0x7FFFFFFF);
    b.push_back('z');
    ExpectPlatformError([&] { SstOf(Rec(0x00FC, b)); }, kErrDamaged);
}

TEST(BiffRecords, LengthPastEndOfStreamIsDamage) {
    Bytes s = Rec(0x0203, Bytes(14, 0));
    s.resize(s.size() - 1);
    biff::RecordReader reader(s.data(), s.size());
    biff::Record rec;
    ExpectPlatformError([&] { reader.next(rec); }, kErrDamaged);
}

TEST(BiffRecords, FoldsContinueAndKeepsBreaks) {
    Bytes s = Continued(0x00FC, {Bytes{1, 2, 3}, Bytes{4}, Bytes{5, 6}});
    Append(s, Rec(0x000A, {}));
    biff::RecordReader reader(s.data(), s.size());
    biff::Record rec;
    ASSERT_TRUE(reader.next(rec));
    EXPECT_EQ(rec.id, 0x00FC);
    ASSERT_EQ(rec.size, 6u);
    EXPECT_EQ(Bytes(rec.data, rec.data + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(rec.breakCount, 2u);
    EXPECT_EQ(rec.breaks[0], 3u);
    EXPECT_EQ(rec.breaks[1], 4u);
    ASSERT_TRUE(reader.next(rec));
    EXPECT_EQ(rec.id, 0x000A);
    EXPECT_EQ(rec.breakCount, 0u);
    EXPECT_FALSE(reader.next(rec));
}

TEST(BiffRecords, DumpNamesRecords) {
    Bytes s = Bof(0x0005);
    Append(s, SstRecord({"a"}));
    Append(s, Eof());
    std::string dump = biff::DumpRecords(s.data(), s.size());
    EXPECT_NE(dump.find("BOF"), std::string::npos) << dump;
    EXPECT_NE(dump.find("SST"), std::string::npos) << dump;
    EXPECT_NE(dump.find("EOF"), std::string::npos) << dump;
}

TEST(BiffFormats, BuiltinsAndDateDetection) {
    EXPECT_EQ(biff::BuiltinNumberFormat(0), "General");
    EXPECT_EQ(biff::BuiltinNumberFormat(3), "#,##0");
    EXPECT_EQ(biff::BuiltinNumberFormat(4), "#,##0.00");
    EXPECT_EQ(biff::BuiltinNumberFormat(9), "0%");
    EXPECT_EQ(biff::BuiltinNumberFormat(49), "@");
    EXPECT_EQ(biff::BuiltinNumberFormat(30), "m/d/yy");
    EXPECT_EQ(biff::BuiltinNumberFormat(31), "yyyy\"年\"m\"月\"d\"日\"");
    EXPECT_FALSE(biff::BuiltinNumberFormat(59).has_value());
    EXPECT_FALSE(biff::BuiltinNumberFormat(200).has_value());

    struct Case {
        const char* format;
        bool date;
    } cases[] = {
        {"General", false},
        {"#,##0", false},
        {"0.00E+00", false},
        {"#,##0_);[Red](#,##0)", false},
        {"\"yen\"#,##0", false},
        {"[Magenta]0", false},
        {"0\\m", false},
        {"m/d/yy", true},
        {"yyyy\"年\"m\"月\"d\"日\"", true},
        {"[$-411]ggge\"年\"m\"月\"d\"日\"", true},
        {"[h]:mm:ss", true},
        {"h:mm AM/PM", true},
        {"G/標準", false},
        {"[DBNum1]General", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(biff::IsDateFormat(c.format), c.date) << c.format;
    }
}

TEST(BiffHeaderFooter, SectionsSplit) {
    std::string l, c, r;
    biff::SplitHeaderFooter("&L左&C&P / &N&R&&右", l, c, r);
    EXPECT_EQ(l, "左");
    EXPECT_EQ(c, "&P / &N");
    EXPECT_EQ(r, "&&右");
    biff::SplitHeaderFooter("中央だけ", l, c, r);
    EXPECT_EQ(l, "");
    EXPECT_EQ(c, "中央だけ");
    EXPECT_EQ(r, "");
}

TEST(OleSniff, RecognisesFileKinds) {
    using ole::FileKind;
    struct Case {
        Bytes head;
        FileKind kind;
    } cases[] = {
        {{}, FileKind::Empty},
        {{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0}, FileKind::Cfb},
        {{'P', 'K', 3, 4}, FileKind::Zip},
        {{0x09, 0x00, 0x04, 0x00, 2, 0, 0x10, 0}, FileKind::OldBiff},
        {{0x09, 0x04, 0x06, 0x00, 0, 0, 0x10, 0, 0, 0}, FileKind::OldBiff},
        {{0x09, 0x08, 0x10, 0x00, 0, 6, 5, 0}, FileKind::RawBiff},
        {{'<', 'H', 'T', 'M', 'L', '>'}, FileKind::Markup},
        {{0xEF, 0xBB, 0xBF, '\n', '<', '?', 'x', 'm', 'l'}, FileKind::Markup},
        {{'a', ',', 'b', '\n'}, FileKind::Unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ole::Sniff(c.head.data(), c.head.size()), c.kind);
    }
}

TEST(OleStreamName, ComparedWithoutCase) {
    EXPECT_TRUE(ole::SameStreamName("BOOK", "Book"));
    EXPECT_TRUE(ole::SameStreamName("workbook", "Workbook"));
    EXPECT_FALSE(ole::SameStreamName("Workbook2", "Workbook"));
    EXPECT_FALSE(ole::SameStreamName(nullptr, "Book"));
}

}  // namespace
}  // namespace xls
