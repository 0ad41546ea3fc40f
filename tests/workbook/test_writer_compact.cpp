// Compact cell records (MULRK, MULBLANK) and entry rules (DVAL, DV) of the
// written sheets: their bytes, the values the engine's reader and xlrd get
// back, and the settings pClExcel refuses.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "RecordingMessages.h"
#include "XlsReader.h"
#include "XlsWriter.h"
#include "pClExcel.h"
#include "test_writer_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rec {
    std::uint16_t id;
    Bytes data;
};

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// The records of the last substream (the only sheet in these tests).
std::vector<Rec> SheetRecords(const Bytes& s) {
    std::vector<Rec> out;
    std::size_t at = 0;
    while (at + 4 <= s.size()) {
        const std::uint16_t id = U16(&s[at]);
        const std::uint16_t len = U16(&s[at + 2]);
        if (id == 0 && len == 0)
            break;
        if (id == 0x0809)
            out.clear();
        out.push_back({id, Bytes(&s[at + 4], &s[at + 4] + len)});
        at += 4 + len;
    }
    return out;
}

std::vector<Rec> OfId(const std::vector<Rec>& recs, std::uint16_t id) {
    std::vector<Rec> out;
    for (const Rec& r : recs) {
        if (r.id == id)
            out.push_back(r);
    }
    return out;
}

std::uint64_t Bits(double x) {
    return std::bit_cast<std::uint64_t>(x);
}

// One row holding, from column 0: three RK integers, a text, one RK, a
// number RK cannot hold, two hundredths, two blanks with a format, -0.
xls::Workbook& MixedRow(xls::Workbook& book) {
    xls::Sheet& sheet = book.addSheet("S");
    sheet.setValue(0, 0, 1.0);
    sheet.setValue(0, 1, -536870912.0);
    sheet.setValue(0, 2, 536870911.0);
    sheet.setValue(0, 3, std::string("x"));
    sheet.setValue(0, 4, 7.0);
    sheet.setValue(0, 5, 3.14159);
    sheet.setValue(0, 6, 0.15);
    sheet.setValue(0, 7, -5296.47);
    sheet.changeFormat(xls::RangeKind::Cells, {0, 0, 8, 9}, [](xls::CellFormat& f) {
        f.pattern = 1;
        f.patternColor = 13;
    });
    sheet.setValue(0, 10, -0.0);
    return book;
}

TEST(CompactCells, RunsOfRkNumbersAndBlanksShareOneRecord) {
    xls::Workbook book;
    const auto recs = SheetRecords(xls::WriteBiff8Stream(MixedRow(book)));

    const auto mulrk = OfId(recs, 0x00BD);
    ASSERT_EQ(mulrk.size(), 2u);
    // rw, colFirst, n x (ixfe, RK), colLast.
    EXPECT_EQ(mulrk[0].data.size(), 6u + 3 * 6);
    EXPECT_EQ(U16(&mulrk[0].data[2]), 0);
    EXPECT_EQ(U16(&mulrk[0].data[mulrk[0].data.size() - 2]), 2);
    EXPECT_EQ(mulrk[1].data.size(), 6u + 2 * 6);
    EXPECT_EQ(U16(&mulrk[1].data[2]), 6);
    EXPECT_EQ(U16(&mulrk[1].data[mulrk[1].data.size() - 2]), 7);

    // Alone between other kinds: RK for 7 and -0, NUMBER for 3.14159.
    const auto rk = OfId(recs, 0x027E);
    ASSERT_EQ(rk.size(), 2u);
    EXPECT_EQ(U16(&rk[0].data[2]), 4);
    EXPECT_EQ(U16(&rk[1].data[2]), 10);
    const auto number = OfId(recs, 0x0203);
    ASSERT_EQ(number.size(), 1u);
    EXPECT_EQ(U16(&number[0].data[2]), 5);

    const auto mulblank = OfId(recs, 0x00BE);
    ASSERT_EQ(mulblank.size(), 1u);
    EXPECT_EQ(U16(&mulblank[0].data[2]), 8);
    EXPECT_EQ(U16(&mulblank[0].data[mulblank[0].data.size() - 2]), 9);
    EXPECT_TRUE(OfId(recs, 0x0201).empty());
}

TEST(CompactCells, NumbersReadBackBitForBit) {
    const double numbers[] = {0.0,
                              -0.0,
                              1.0,
                              -1.0,
                              -536870912.0,
                              536870911.0,
                              536870912.0,
                              0.015,
                              -5296.47,
                              1e-300,
                              123456789012.0,
                              999999999.0,
                              std::numeric_limits<double>::denorm_min(),
                              3.14159};
    xls::Workbook book;
    xls::Sheet& sheet = book.addSheet("S");
    const int n = static_cast<int>(std::size(numbers));
    // Across a row (runs) and down a column (single records).
    for (int i = 0; i < n; ++i) {
        sheet.setValue(0, i, numbers[i]);
        sheet.setValue(i + 1, 0, numbers[i]);
    }
    const auto bytes = xls::WriteXlsToMemory(book);
    const auto back = xls::ReadXlsFromMemory(bytes.data(), bytes.size());
    const xls::Sheet& read = back->sheet(0);
    for (int i = 0; i < n; ++i) {
        const xls::CellValue across = read.value(0, i);
        ASSERT_TRUE(std::holds_alternative<double>(across)) << i;
        EXPECT_EQ(Bits(std::get<double>(across)), Bits(numbers[i])) << numbers[i];
        const xls::CellValue down = read.value(i + 1, 0);
        ASSERT_TRUE(std::holds_alternative<double>(down)) << i;
        EXPECT_EQ(Bits(std::get<double>(down)), Bits(numbers[i])) << numbers[i];
    }
}

TEST(CompactCells, XlrdReadsTheRunsBitForBit) {
    if (!wbtest::pythonHas("xlrd"))
        GTEST_SKIP() << "python3-xlrd is not installed (apt-get install python3-xlrd)";
    wbtest::TempDir dir;
    xls::Workbook book;
    MixedRow(book);
    const std::string path = dir.file("runs.xls");
    xls::WriteXlsFile(book, path);
    const char* script = R"PY(
import sys, xlrd
sh = xlrd.open_workbook(sys.argv[1], formatting_info=True).sheet_by_index(0)
for c in range(sh.ncols):
    cell = sh.cell(0, c)
    v = cell.value.hex() if cell.ctype == xlrd.XL_CELL_NUMBER else repr(cell.value)
    print("%d\t%d %s" % (c, cell.ctype, v))
)PY";
    const auto d = wbtest::keyValues(wbtest::runPython(script, "'" + path + "'", dir));
    const std::map<std::string, std::string> expected = {{"0", "2 0x1.0000000000000p+0"},
                                                         {"1", "2 -0x1.0000000000000p+29"},
                                                         {"2", "2 0x1.fffffff000000p+28"},
                                                         {"3", "1 'x'"},
                                                         {"4", "2 0x1.c000000000000p+2"},
                                                         {"5", "2 0x1.921f9f01b866ep+1"},
                                                         {"6", "2 0x1.3333333333333p-3"},
                                                         {"7", "2 -0x1.4b07851eb851fp+12"},
                                                         {"8", "6 ''"},
                                                         {"9", "6 ''"},
                                                         {"10", "2 -0x0.0p+0"}};
    EXPECT_EQ(d, expected);
}

xls::DataValidation Rule(xls::ValidationKind kind, double min, double max) {
    xls::DataValidation v;
    v.kind = kind;
    v.minimum = min;
    v.maximum = max;
    v.ranges = {{2, 4, 1, 1}};
    v.promptTitle = "T";
    v.prompt = "P";
    v.errorTitle = "E";
    v.error = "e";
    return v;
}

TEST(EntryRules, DvalAndDvRecordsKnownBytes) {
    xls::Workbook book;
    xls::Sheet& sheet = book.addSheet("S");
    sheet.setValue(2, 1, 1.0);
    sheet.validations.push_back(Rule(xls::ValidationKind::WholeNumber, 0, 999));
    xls::DataValidation decimal = Rule(xls::ValidationKind::Decimal, 0, 999999999);
    decimal.ranges = {{2, 4, 16, 16}, {2, 4, 18, 18}};
    decimal.promptTitle.clear();
    decimal.prompt.clear();
    decimal.errorTitle = "入力";
    sheet.validations.push_back(decimal);
    const auto recs = SheetRecords(xls::WriteBiff8Stream(book));

    // DVAL and the DVs come after the merged cells, just before EOF.
    ASSERT_GE(recs.size(), 4u);
    EXPECT_EQ(recs[recs.size() - 4].id, 0x01B2);
    EXPECT_EQ(recs[recs.size() - 3].id, 0x01BE);
    EXPECT_EQ(recs[recs.size() - 2].id, 0x01BE);
    EXPECT_EQ(recs.back().id, 0x000A);
    const Bytes dval = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0};
    EXPECT_EQ(recs[recs.size() - 4].data, dval);

    // Whole number, stop, blanks allowed, prompt and error shown, between.
    const Bytes whole = {0x01, 0x01, 0x0C, 0x00,                    // flags
                         1,    0,    0,    'T',                     // prompt title
                         1,    0,    0,    'E',                     // error title
                         1,    0,    0,    'P',                     // prompt
                         1,    0,    0,    'e',                     // error
                         3,    0,    0,    0,    0x1E, 0,    0,     // ptgInt 0
                         3,    0,    0,    0,    0x1E, 0xE7, 0x03,  // ptgInt 999
                         1,    0,    2,    0,    4,    0,    1,    0, 1, 0};
    EXPECT_EQ(recs[recs.size() - 3].data, whole);

    Bytes dec = {0x02, 0x01, 0x08, 0x00,                    // no prompt: only the error is shown
                 1,    0,    0,    0,                       // empty prompt title: one NUL
                 2,    0,    1,    0x65, 0x51, 0x9B, 0x52,  // 入力 in UTF-16
                 1,    0,    0,    0,    1,    0,    0,    'e', 3, 0,
                 0,    0,    0x1E, 0,    0,    9,    0,    0,   0, 0x1F};
    const double max = 999999999;
    const auto* maxBytes = reinterpret_cast<const std::uint8_t*>(&max);
    dec.insert(dec.end(), maxBytes, maxBytes + 8);
    for (std::uint16_t v : {2, 2, 4, 16, 16, 2, 4, 18, 18}) {
        dec.push_back(static_cast<std::uint8_t>(v));
        dec.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    EXPECT_EQ(recs[recs.size() - 2].data, dec);
}

class SetCellValidation : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(xl_.NewBook("S")); }
    const xls::Sheet& sheet() const { return xl_.book()->sheet(0); }
    bool set(std::int32_t r1, std::int16_t c1, std::int32_t r2, std::int16_t c2, std::int16_t type,
             double min, double max, const std::string& title = "t",
             const std::string& error = "e") {
        return xl_.SetCellValidation(r1, c1, r2, c2, type, min, max, title, "p", "E", error);
    }

    RecordingMessages messages_;
    pClExcel xl_{messages_};
};

TEST_F(SetCellValidation, StoresTheRuleOnTheCurrentSheet) {
    ASSERT_TRUE(set(5, 19, 3, 17, 1, 0, 999));
    ASSERT_EQ(sheet().validations.size(), 1u);
    const xls::DataValidation& v = sheet().validations[0];
    EXPECT_EQ(v.kind, xls::ValidationKind::WholeNumber);
    EXPECT_EQ(v.minimum, 0);
    EXPECT_EQ(v.maximum, 999);
    EXPECT_EQ(v.ranges, (std::vector<xls::CellRange>{{2, 4, 16, 18}}));
    EXPECT_EQ(v.promptTitle, "t");
    EXPECT_EQ(v.prompt, "p");
    EXPECT_EQ(v.errorTitle, "E");
    EXPECT_EQ(v.error, "e");
    ASSERT_TRUE(set(3, 20, 5, 20, 2, 0, 0.5));
    EXPECT_EQ(sheet().validations[1].kind, xls::ValidationKind::Decimal);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(SetCellValidation, RefusesWhatTheFileCannotHoldWithAMessage) {
    const std::string title33(33, 'a');
    const std::string error226(226, 'a');
    const std::string kanji32 = [] {
        std::string s;
        for (int i = 0; i < 32; ++i)
            s += "漢";
        return s;
    }();
    EXPECT_FALSE(set(0, 1, 1, 1, 1, 0, 9));    // row 0
    EXPECT_FALSE(set(1, 1, 1, 257, 1, 0, 9));  // column 257
    EXPECT_FALSE(set(1, 1, 1, 1, 3, 0, 9));    // a list rule is not offered
    EXPECT_FALSE(set(1, 1, 1, 1, 2, 9, 0));    // minimum above maximum
    EXPECT_FALSE(set(1, 1, 1, 1, 1, 0, 9.5));  // whole numbers between fractions
    EXPECT_FALSE(set(1, 1, 1, 1, 2, 0, std::numeric_limits<double>::quiet_NaN()));  // not a number
    EXPECT_FALSE(set(1, 1, 1, 1, 2, 0, std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(set(1, 1, 1, 1, 2, 0, 9, title33));
    EXPECT_FALSE(set(1, 1, 1, 1, 2, 0, 9, "t", error226));
    EXPECT_EQ(messages_.shown.size(), 9u);
    EXPECT_NE(messages_.shown[6].text.find("#NUM!"), std::string::npos);
    EXPECT_TRUE(sheet().validations.empty());
    EXPECT_TRUE(set(1, 1, 1, 1, 2, 0, 9, kanji32, std::string(225, 'a')));  // the limits
}

TEST_F(SetCellValidation, OverlappingRangesAreRefused) {
    ASSERT_TRUE(set(3, 17, 10, 17, 2, 0, 9));
    EXPECT_FALSE(set(10, 16, 12, 18, 1, 0, 9));
    EXPECT_TRUE(set(11, 16, 12, 18, 1, 0, 9));
    EXPECT_TRUE(set(3, 18, 10, 18, 1, 0, 9));
    EXPECT_EQ(sheet().validations.size(), 3u);
    EXPECT_EQ(messages_.shown.size(), 1u);
}

TEST_F(SetCellValidation, ACopiedSheetKeepsItsRules) {
    ASSERT_TRUE(set(3, 17, 10, 17, 2, 0, 9));
    xls::Workbook other;
    xls::Sheet& copy = other.addSheet("C");
    copy.assignFrom(sheet());
    EXPECT_EQ(copy.validations, sheet().validations);
}

}  // namespace
