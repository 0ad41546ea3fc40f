// Expected contents of .xls files written by xlwt (or the export) and
// re-saved by LibreOffice Calc and Gnumeric (tests/fixtures/make/ has the
// scripts that made them).

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <tuple>

#include "BiffReader.h"
#include "BiffRecords.h"
#include "OleReader.h"
#include "test_reader_support.h"

namespace xls {
namespace {

using namespace readertest;

CellValue At(const Sheet& sheet, int row, int col) {
    return sheet.value(row, col);
}

const CellFormat& FormatAt(const Sheet& sheet, int row, int col) {
    const Cell* cell = sheet.cell(row, col);
    EXPECT_NE(cell, nullptr) << "no cell at " << row << "," << col;
    return sheet.book().formats.get(cell != nullptr ? cell->format : 0);
}

std::set<std::tuple<int, int, int, int>> MergesOf(const Sheet& sheet) {
    std::set<std::tuple<int, int, int, int>> out;
    for (const auto& m : sheet.merges) {
        out.insert({m.firstRow, m.lastRow, m.firstCol, m.lastCol});
    }
    return out;
}

const double kNumbers[] = {1,         -1,         100,         -5296.47, -11678001,      0.015,
                           536870912, -536870912, 1e-300,      3.5,      123456789012.0, 0.1,
                           1234.56,   65535,      -3244847.30, 536870911};

class NumbersFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(NumbersFixture, RkMulRkAndNumberValuesExact) {
    auto book = ReadFixture(GetParam());
    ASSERT_EQ(book->sheetCount(), 1u);
    const Sheet& sheet = book->sheet(0);
    EXPECT_EQ(sheet.name(), "数値");
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(At(sheet, 0, c), CellValue(kNumbers[c])) << "row 0 col " << c;
        EXPECT_EQ(At(sheet, 2 + c, 2), CellValue(kNumbers[c])) << "col 2 row " << 2 + c;
    }
    EXPECT_EQ(At(sheet, 20, 0), CellValue(1.0 / 3.0));
    EXPECT_EQ(At(sheet, 20, 1), CellValue(1e300));
    EXPECT_EQ(At(sheet, 20, 2), CellValue(true));
    EXPECT_EQ(At(sheet, 20, 3), CellValue(false));
    EXPECT_EQ(At(sheet, 1, 0), CellValue());
    auto last = sheet.lastCell();
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(*last, std::make_pair(20, 15));
}

INSTANTIATE_TEST_SUITE_P(Producers, NumbersFixture,
                         ::testing::Values("numbers_rk_mulrk.xls", "lo_numbers_rk_mulrk.xls",
                                           "gnumeric_numbers_rk_mulrk.xls"));

class SstFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(SstFixture, LongStringsSurviveContinueBoundaries) {
    auto book = ReadFixture(GetParam());
    const Sheet& sheet = book->sheet(0);
    EXPECT_EQ(sheet.name(), "長い文字列");
    std::string ascii;
    for (int i = 0; i < 10000; ++i) {
        ascii.push_back(static_cast<char>('A' + i % 26));
    }
    const std::string pattern = "浄化槽金額データ";  // 8 characters of 3 UTF-8 bytes
    std::string japanese;
    for (int i = 0; i < 6000; ++i) {
        japanese += pattern.substr(static_cast<std::size_t>(i % 8) * 3, 3);
    }
    EXPECT_EQ(At(sheet, 0, 0), CellValue(ascii));
    EXPECT_EQ(At(sheet, 1, 0), CellValue(japanese));
    for (int i = 2; i < 1202; ++i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, i % 2 ? "文字列%04d" : "text%04d", i);
        ASSERT_EQ(At(sheet, i, 0), CellValue(std::string(buf))) << "row " << i;
    }
    EXPECT_EQ(At(sheet, 1202, 0), CellValue(std::string("末尾")));
    EXPECT_EQ(sheet.lastCell(), std::make_optional(std::make_pair(1202, 0)));
}

INSTANTIATE_TEST_SUITE_P(Producers, SstFixture,
                         ::testing::Values("sst_continue_split.xls", "lo_sst_continue_split.xls"));

class StylesFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(StylesFixture, FillsFontsFormatsMergesAndStyledBlanks) {
    auto book = ReadFixture(GetParam());
    const Sheet& sheet = book->sheet(0);
    EXPECT_EQ(sheet.name(), "書式");
    EXPECT_EQ(MergesOf(sheet),
              (std::set<std::tuple<int, int, int, int>>{{0, 1, 0, 0}, {0, 0, 1, 3}, {5, 7, 2, 4}}));

    const CellFormat& header = FormatAt(sheet, 0, 0);
    EXPECT_EQ(header.pattern, 1);
    EXPECT_EQ(header.patternColor, 22);  // grey 25% = colour index 15 + 7
    EXPECT_EQ(header.hAlign, 2);
    EXPECT_EQ(header.vAlign, 1);
    EXPECT_EQ(header.left.style, 1);
    EXPECT_EQ(header.bottom.style, 1);

    const CellFormat& amount = FormatAt(sheet, 2, 1);
    EXPECT_EQ(At(sheet, 2, 1), CellValue(1234567.0));
    EXPECT_EQ(amount.numberFormat, "#,##0");
    EXPECT_EQ(amount.font.name, "ＭＳ　ゴシック");
    EXPECT_EQ(amount.font.height, 200);
    EXPECT_EQ(amount.pattern, 0);
    EXPECT_TRUE(amount.locked);

    for (int c = 4; c < 8; ++c) {  // styled empty entry cells
        EXPECT_EQ(At(sheet, 2, c), CellValue()) << c;
        const CellFormat& entry = FormatAt(sheet, 2, c);
        EXPECT_EQ(entry.pattern, 1);
        EXPECT_EQ(entry.patternColor, 13) << c;  // yellow = 6 + 7
        EXPECT_EQ(entry.numberFormat, "#,##0");
        EXPECT_FALSE(entry.locked);
    }
    EXPECT_EQ(FormatAt(sheet, 3, 0).patternColor, 10);  // red = 3 + 7
    EXPECT_EQ(FormatAt(sheet, 2, 8).font.color, 10);
    EXPECT_EQ(At(sheet, 2, 8),
              CellValue(std::string("浄化槽台帳入力より部門展開の金額調整を行ってください。")));
    EXPECT_EQ(FormatAt(sheet, 3, 1).numberFormat, "0.00%");
    EXPECT_EQ(At(sheet, 3, 2), CellValue(45000.0));
    const CellFormat& arial = FormatAt(sheet, 3, 3);
    EXPECT_EQ(arial.font.name, "Arial");
    EXPECT_TRUE(arial.font.bold);
    EXPECT_EQ(arial.font.height, 220);
}

INSTANTIATE_TEST_SUITE_P(Producers, StylesFixture,
                         ::testing::Values("styles_merges_blanks.xls",
                                           "lo_styles_merges_blanks.xls"));

class FeeFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(FeeFixture, TwoSheetsWithHeadersEntriesAndUsedRange) {
    auto book = ReadFixture(GetParam());
    ASSERT_EQ(book->sheetCount(), 2u);
    EXPECT_EQ(book->activeSheet, 0u);
    const Sheet& contract = book->sheet(0);
    const Sheet& billing = book->sheet(1);
    EXPECT_EQ(contract.name(), "契約内訳情報");
    EXPECT_EQ(billing.name(), "請求情報");
    EXPECT_EQ(book->findSheet("請求情報"), std::make_optional<std::size_t>(1));

    EXPECT_EQ(At(contract, 0, 0), CellValue(std::string("得意先コード")));
    EXPECT_EQ(At(contract, 0, 13), CellValue(std::string("現在の金額")));
    EXPECT_EQ(At(contract, 1, 15), CellValue(std::string("１回金額")));
    EXPECT_EQ(At(contract, 0, 16), CellValue(std::string("改定後の金額(記載欄)")));
    EXPECT_EQ(At(billing, 1, 25), CellValue(std::string("1月")));
    EXPECT_EQ(At(billing, 1, 36), CellValue(std::string("12月")));
    EXPECT_EQ(At(billing, 0, 12), CellValue(std::string("部門名")));

    EXPECT_EQ(At(contract, 2, 0), CellValue(100000.0));
    EXPECT_EQ(At(contract, 3, 3), CellValue(std::string("0123-45-0001")));
    EXPECT_EQ(At(contract, 2, 5), CellValue(1.5));
    EXPECT_EQ(At(contract, 41, 13), CellValue(120390.0));
    EXPECT_EQ(At(contract, 2, 16), CellValue(132000.0));
    EXPECT_EQ(At(contract, 3, 16), CellValue());
    EXPECT_EQ(At(billing, 3, 26), CellValue(3630.0));
    EXPECT_EQ(At(billing, 3, 27), CellValue());
    EXPECT_EQ(At(billing, 41, 24), CellValue(3300.0 + 11 + 39));

    EXPECT_EQ(contract.lastCell(), std::make_optional(std::make_pair(41, 18)));
    EXPECT_EQ(billing.lastCell(), std::make_optional(std::make_pair(41, 36)));

    auto merges = MergesOf(contract);
    EXPECT_TRUE(merges.count({0, 1, 0, 0}));
    EXPECT_TRUE(merges.count({0, 0, 13, 15}));
    EXPECT_TRUE(merges.count({0, 0, 16, 18}));
    EXPECT_TRUE(MergesOf(billing).count({0, 0, 25, 36}));

    EXPECT_EQ(FormatAt(contract, 0, 0).patternColor, 22);
    const CellFormat& entry = FormatAt(contract, 5, 18);
    EXPECT_EQ(entry.patternColor, 13);
    EXPECT_EQ(entry.numberFormat, "#,##0");
    EXPECT_FALSE(entry.locked);
    EXPECT_EQ(FormatAt(contract, 5, 17).numberFormat, "General");
    EXPECT_EQ(FormatAt(billing, 10, 20).numberFormat, "#,##0");
    EXPECT_EQ(FormatAt(billing, 10, 20).font.name, "ＭＳ　ゴシック");
}

INSTANTIATE_TEST_SUITE_P(Producers, FeeFixture,
                         ::testing::Values("fee_workbook_shape.xls", "lo_fee_workbook_shape.xls",
                                           "gnumeric_fee_workbook_shape.xls"));

// The export's workbook with entry rules (DVAL/DV) and LibreOffice's and
// Gnumeric's re-saves of it: each still carries the rules, and every cell
// reads as in the export's own file.
class EntryRuleFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(EntryRuleFixture, ReadsAsTheExportsOwnFile) {
    const Bytes file = LoadFile(FixturePath(GetParam()));
    const ole::BiffStream stream = ole::ExtractBiffStream(file.data(), file.size());
    const std::uint8_t* bytes = stream.bytes.data();
    int rules = 0;
    for (std::size_t at = 0; at + 4 <= stream.bytes.size();) {
        rules += biff::Le16(bytes + at) == biff::kDv ? 1 : 0;
        at += 4 + biff::Le16(bytes + at + 2);
    }
    EXPECT_EQ(rules, 4);

    const auto own = ReadFixture("fee_entry_rules.xls");
    const auto book = ReadBytes(file);
    ASSERT_EQ(book->sheetCount(), 2u);
    for (std::size_t s = 0; s < 2; ++s) {
        const Sheet& expected = own->sheet(s);
        const Sheet& sheet = book->sheet(s);
        EXPECT_EQ(sheet.name(), expected.name());
        const auto last = expected.lastCell();
        ASSERT_TRUE(last.has_value());
        EXPECT_GT(last->first, 2);
        for (int r = 0; r <= last->first; ++r) {
            for (int c = 0; c <= last->second; ++c)
                EXPECT_EQ(At(sheet, r, c), At(expected, r, c)) << s << ":" << r << "," << c;
        }
        EXPECT_EQ(sheet.lastValueRow(0), expected.lastValueRow(0));
    }
}

INSTANTIATE_TEST_SUITE_P(Producers, EntryRuleFixture,
                         ::testing::Values("fee_entry_rules.xls", "lo_fee_entry_rules.xls",
                                           "gnumeric_fee_entry_rules.xls"));

TEST(ReaderFixtures, MissingFileAndDirectoryGiveFileErrors) {
    ExpectPlatformError([] { ReadXlsFile(FixturePath("no_such_file.xls")); }, kErrFileNotFound);
    ExpectPlatformError([] { ReadXlsFile(FixturePath("")); }, kErrFileAccess);
}

}  // namespace
}  // namespace xls
