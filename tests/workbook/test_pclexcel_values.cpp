// pClExcel: cell addressing, values in and out, the used area.

#include <gtest/gtest.h>

#include <cmath>

#include "EngineErrors.h"
#include "PlatformErrorAssert.h"
#include "RecordingMessages.h"
#include "pClExcel.h"
#include "test_writer_support.h"

namespace {

using Variant = xls::Variant;

class PClExcelValues : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(xl_.NewBook("S")); }

    const xls::Sheet& sheet() const { return xl_.book()->sheet(0); }

    RecordingMessages messages_;
    pClExcel xl_{messages_};
};

TEST(PClExcelAddressing, ColumnLettersRowTextAndCellAddresses) {
    RecordingMessages messages;
    pClExcel xl(messages);
    // Without a book every address is empty, even for valid numbers.
    EXPECT_EQ(xl.GetColPosStr(1), "");
    EXPECT_EQ(xl.GetRowPosStr(1), "");
    EXPECT_EQ(xl.GetCellPosStr(1, 1), "");
    ASSERT_TRUE(xl.NewBook("S"));

    const struct {
        std::int16_t col;
        const char* letters;
    } cols[] = {{1, "A"},    {2, "B"},  {26, "Z"}, {27, "AA"}, {52, "AZ"}, {53, "BA"},
                {256, "IV"}, {257, ""}, {0, ""},   {-1, ""},   {702, ""}};
    for (const auto& c : cols)
        EXPECT_EQ(xl.GetColPosStr(c.col), c.letters) << c.col;

    const struct {
        std::int32_t row;
        const char* text;
    } rows[] = {{1, "1"}, {65535, "65535"}, {65536, ""}, {0, ""}, {-1, ""}};
    for (const auto& r : rows)
        EXPECT_EQ(xl.GetRowPosStr(r.row), r.text) << r.row;

    EXPECT_EQ(xl.GetCellPosStr(1, 1), "A1");
    EXPECT_EQ(xl.GetCellPosStr(3, 2), "B3");
    EXPECT_EQ(xl.GetCellPosStr(65535, 256), "IV65535");
    EXPECT_EQ(xl.GetCellPosStr(65536, 1), "");
    EXPECT_EQ(xl.GetCellPosStr(1, 257), "");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PClExcelValues, OutOfRangePositionsWriteNothing) {
    const std::pair<std::int32_t, std::int16_t> bad[] = {{65536, 1}, {0, 1},   {-1, 1},
                                                         {1, 0},     {1, 257}, {1, -1}};
    for (const auto& [r, c] : bad) {
        EXPECT_FALSE(xl_.SetCellValue(r, c, 1.0)) << r << "," << c;
        EXPECT_EQ(xl_.GetCellValue(r, c), "");
        Variant v = std::string("untouched");
        EXPECT_FALSE(xl_.GetRangeValue(r, c, 1, 1, v));
        EXPECT_EQ(std::get<std::string>(v), "untouched");
    }
    EXPECT_EQ(sheet().rowCount(), 0);
    EXPECT_TRUE(xl_.SetCellValue(65535, 256, 1.0));
    EXPECT_EQ(xl_.GetCellValue(65535, 256), "1");
    EXPECT_TRUE(messages_.shown.empty());
}

TEST(PClExcelNoBook, ValueMethodsFailQuietly) {
    RecordingMessages messages;
    pClExcel xl(messages);
    Variant v;
    EXPECT_FALSE(xl.SetCellValue(1, 1, 1.0));
    EXPECT_FALSE(xl.SetRangeValue(1, 1, 2, 2, 1.0));
    EXPECT_FALSE(xl.SetCellFormula(1, 1, std::string("A1")));
    EXPECT_FALSE(xl.GetRangeValue(1, 1, 2, 2, v));
    EXPECT_EQ(xl.GetCellValue(1, 1), "");
    EXPECT_TRUE(messages.shown.empty());
    // These two do not test for a book: the failure is reported.
    std::string col = "A";
    EXPECT_EQ(xl.GetEndRow(col), 0);
    std::int32_t rows = -5;
    std::int16_t cols = -5;
    EXPECT_FALSE(xl.GetRowColCount(rows, cols));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text.find('('), std::string::npos) << messages.shown[0].text;
    EXPECT_EQ(messages.shown[1].text.substr(messages.shown[1].text.size() - 4), "(91)");
    EXPECT_EQ(messages.shown[1].title, "");
    EXPECT_EQ(messages.shown[1].icon, MsgIcon::None);
    EXPECT_EQ(messages.shown[1].buttons, MsgButtons::Ok);
}

// Text that reads as a number is stored as the number.
TEST_F(PClExcelValues, TextThatReadsAsANumberBecomesTheNumber) {
    const struct {
        const char* text;
        bool number;
        double value;
    } cases[] = {
        {"123", true, 123},
        {"00123", true, 123},
        {"-5296.47", true, -5296.47},
        {"1,234,567", true, 1234567},
        {"-1,000.5", true, -1000.5},
        {" 42 ", true, 42},
        {"+7", true, 7},
        {"1e3", true, 1000},
        {"1.5E-2", true, 0.015},
        {"1.", true, 1},
        {".5", true, 0.5},
        {"-0", true, 0},
        {"12.000", true, 12},
        {"1,23", false, 0},
        {"12,3456", false, 0},
        {",123", false, 0},
        {"1,,234", false, 0},
        {".", false, 0},
        {"12a", false, 0},
        {"0x10", false, 0},
        {"１２３", false, 0},
        {"1e", false, 0},
        {"--1", false, 0},
        {"1 2", false, 0},
        {"1e999", false, 0},
        {"Infinity", false, 0},
        {"nan", false, 0},
        {"¥100", false, 0},
        {"100%", false, 0},
        {"2024/01/31", false, 0},
    };
    // Column 1 through the Variant, column 2 through SetCellText: the same cells.
    std::int32_t row = 1;
    for (const auto& c : cases) {
        ASSERT_TRUE(xl_.SetCellValue(row, 1, std::string(c.text)));
        ASSERT_TRUE(xl_.SetCellText(row, 2, c.text));
        for (std::int32_t col = 0; col < 2; ++col) {
            const xls::CellValue v = sheet().value(row - 1, col);
            if (c.number) {
                ASSERT_TRUE(std::holds_alternative<double>(v)) << c.text << " column " << col;
                EXPECT_EQ(std::get<double>(v), c.value) << c.text;
                if (c.value == 0) {
                    EXPECT_FALSE(std::signbit(std::get<double>(v))) << c.text;
                }
            } else {
                ASSERT_TRUE(std::holds_alternative<std::string>(v)) << c.text << " column " << col;
                EXPECT_EQ(std::get<std::string>(v), c.text);
            }
        }
        ++row;
    }
}

TEST_F(PClExcelValues, EmptyTextClearsTheValueAndKeepsTheFormat) {
    ASSERT_TRUE(xl_.SetCellValue(2, 2, 5.0));
    ASSERT_TRUE(xl_.SetCellBackColor(2, 2, 2, 2, 6));
    const std::uint32_t format = sheet().cell(1, 1)->format;
    ASSERT_TRUE(xl_.SetCellValue(2, 2, std::string("")));
    ASSERT_NE(sheet().cell(1, 1), nullptr);
    EXPECT_EQ(sheet().cell(1, 1)->kind, xls::CellKind::Blank);
    EXPECT_EQ(sheet().cell(1, 1)->format, format);
    EXPECT_EQ(xl_.GetCellValue(2, 2), "");
    // On a cell that never existed it creates nothing.
    ASSERT_TRUE(xl_.SetCellValue(9, 9, std::string("")));
    EXPECT_EQ(sheet().cell(8, 8), nullptr);

    // The same through SetCellText.
    ASSERT_TRUE(xl_.SetCellValue(2, 2, 5.0));
    ASSERT_TRUE(xl_.SetCellText(2, 2, ""));
    EXPECT_EQ(sheet().cell(1, 1)->kind, xls::CellKind::Blank);
    EXPECT_EQ(sheet().cell(1, 1)->format, format);
    ASSERT_TRUE(xl_.SetCellText(9, 9, ""));
    EXPECT_EQ(sheet().cell(8, 8), nullptr);
}

TEST_F(PClExcelValues, GetCellValueGivesTheTextOfEachValue) {
    const struct {
        Variant in;
        const char* out;
    } cases[] = {
        {123.0, "123"},
        {-5296.47, "-5296.47"},
        {2.5, "2.5"},
        {0.1 + 0.2, "0.3"},
        {1.0 / 3.0, "0.333333333333333"},
        {123456789012.0, "123456789012"},
        {999999999999999.0, "999999999999999"},
        {1e15, "1E+15"},
        {0.0001, "0.0001"},
        {0.000001, "1E-06"},
        {-0.0, "0"},
        {true, "True"},
        {false, "False"},
        {std::string("ＭＳ　ゴシック"), "ＭＳ　ゴシック"},
        {std::monostate{}, ""},
    };
    std::int32_t row = 1;
    for (const auto& c : cases) {
        ASSERT_TRUE(xl_.SetCellValue(row, 1, c.in));
        EXPECT_EQ(xl_.GetCellValue(row, 1), c.out) << row;
        ++row;
    }
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PClExcelValues, AnErrorValueIsReportedAndReadsAsEmpty) {
    ASSERT_TRUE(xl_.SetCellValue(1, 1, xls::ErrorValue{0x07}));
    EXPECT_EQ(xl_.GetCellValue(1, 1), "");
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].title, "");
    EXPECT_EQ(messages_.shown[0].icon, MsgIcon::None);
    EXPECT_NE(messages_.shown[0].text.find("(13)"), std::string::npos);
}

TEST_F(PClExcelValues, GetRangeValueShapes) {
    for (std::int32_t r = 1; r <= 3; ++r) {
        for (std::int16_t c = 1; c <= 2; ++c) {
            ASSERT_TRUE(xl_.SetCellValue(r, c, static_cast<double>(r * 10 + c)));
        }
    }
    ASSERT_TRUE(xl_.SetCellValue(2, 2, std::string("text")));
    Variant v;
    ASSERT_TRUE(xl_.GetRangeValue(1, 1, 3, 2, v));
    ASSERT_TRUE(std::holds_alternative<xls::Array2D>(v));
    const auto& a = std::get<xls::Array2D>(v);
    EXPECT_EQ(a.rows, 3);
    EXPECT_EQ(a.cols, 2);
    EXPECT_EQ(std::get<double>(a.at(1, 1)), 11.0);
    EXPECT_EQ(std::get<double>(a.at(3, 1)), 31.0);
    EXPECT_EQ(std::get<std::string>(a.at(2, 2)), "text");

    // Corners given the other way round mean the same block.
    Variant back;
    ASSERT_TRUE(xl_.GetRangeValue(3, 2, 1, 1, back));
    EXPECT_EQ(std::get<xls::Array2D>(back).data, a.data);

    // A block beyond the written cells holds empties.
    Variant wide;
    ASSERT_TRUE(xl_.GetRangeValue(2, 1, 5, 4, wide));
    const auto& w = std::get<xls::Array2D>(wide);
    EXPECT_EQ(w.rows, 4);
    EXPECT_EQ(w.cols, 4);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(w.at(4, 4)));
    EXPECT_EQ(std::get<double>(w.at(1, 1)), 21.0);

    // One cell gives the value itself.
    Variant one;
    ASSERT_TRUE(xl_.GetRangeValue(3, 1, 3, 1, one));
    EXPECT_EQ(std::get<double>(one), 31.0);
    Variant empty = 1.0;
    ASSERT_TRUE(xl_.GetRangeValue(9, 9, 9, 9, empty));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(empty));
}

TEST_F(PClExcelValues, SetRangeValueFillsABlock) {
    ASSERT_TRUE(xl_.SetRangeValue(1, 1, 2, 3, std::string("1,000")));
    EXPECT_EQ(xl_.GetCellValue(2, 3), "1000");
    xls::Array2D a;
    a.rows = 1;
    a.cols = 2;
    a.data = {std::string("x"), 2.0};
    ASSERT_TRUE(xl_.SetRangeValue(4, 1, 5, 3, a));
    EXPECT_EQ(xl_.GetCellValue(4, 1), "x");
    EXPECT_EQ(xl_.GetCellValue(4, 2), "2");
    // Cells the array does not reach get #N/A, as the spreadsheet does.
    EXPECT_EQ(sheet().value(3, 2), xls::CellValue(xls::ErrorValue{0x2A}));
    EXPECT_EQ(sheet().value(4, 0), xls::CellValue(xls::ErrorValue{0x2A}));
    EXPECT_FALSE(xl_.SetRangeValue(1, 1, 65536, 1, 1.0));
}

TEST_F(PClExcelValues, FormulaTextGetsItsPrefixOnce) {
    ASSERT_TRUE(xl_.SetCellFormula(1, 1, std::string("A1+1")));
    ASSERT_TRUE(xl_.SetCellFormula(2, 1, std::string("=A1+1")));
    ASSERT_TRUE(xl_.SetCellFormula(3, 1, std::string("")));
    EXPECT_EQ(xl_.GetCellValue(1, 1), "=A1+1");
    EXPECT_EQ(xl_.GetCellValue(2, 1), "=A1+1");
    EXPECT_EQ(xl_.GetCellValue(3, 1), "=");
    ASSERT_TRUE(xl_.SetRangeFormula(4, 1, 4, 2, std::string("SUM(A1)")));
    EXPECT_EQ(xl_.GetCellValue(4, 2), "SUM(A1)");
    EXPECT_FALSE(xl_.SetCellFormula(0, 1, std::string("A1")));
}

TEST_F(PClExcelValues, GetEndRowFindsTheLastValueOfAColumn) {
    for (std::int32_t r = 1; r <= 10; ++r)
        ASSERT_TRUE(xl_.SetCellValue(r, 1, 1.0));
    ASSERT_TRUE(xl_.SetCellValue(20, 1, std::string("x")));
    // Formatting alone does not count.
    ASSERT_TRUE(xl_.SetCellBackColor(30, 1, 40, 1, 6));
    std::string a = "A";
    std::string lower = "a";
    std::string b = "B";
    EXPECT_EQ(xl_.GetEndRow(a), 20);
    EXPECT_EQ(xl_.GetEndRow(lower), 20);
    EXPECT_EQ(xl_.GetEndRow(b), 1);
    EXPECT_TRUE(messages_.shown.empty());
    std::string bad = "A1";
    EXPECT_EQ(xl_.GetEndRow(bad), 0);
    std::string beyond = "IW";
    EXPECT_EQ(xl_.GetEndRow(beyond), 0);
    ASSERT_EQ(messages_.shown.size(), 2u);
    // The description alone, no number.
    EXPECT_EQ(messages_.shown[0].text.find("(1004)"), std::string::npos);
}

TEST_F(PClExcelValues, GetRowColCountIsTheLastCellOfTheUsedArea) {
    std::int32_t rows = 0;
    std::int16_t cols = 0;
    ASSERT_TRUE(xl_.GetRowColCount(rows, cols));
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(cols, 1);
    ASSERT_TRUE(xl_.SetCellValue(50, 2, 1.0));
    ASSERT_TRUE(xl_.SetCellValue(3, 4, 1.0));
    ASSERT_TRUE(xl_.GetRowColCount(rows, cols));
    EXPECT_EQ(rows, 50);
    EXPECT_EQ(cols, 4);
    // A formatted cell counts; a whole-column format does not.
    ASSERT_TRUE(xl_.SetCellBackColor(60, 1, 60, 1, 6));
    ASSERT_TRUE(xl_.SetCellFormat(0, 9, 0, 9, "#,##0", 2));
    ASSERT_TRUE(xl_.GetRowColCount(rows, cols));
    EXPECT_EQ(rows, 60);
    EXPECT_EQ(cols, 4);
}

TEST_F(PClExcelValues, OverlongTextIsRefused) {
    const std::string text(32768, 'a');
    EXPECT_PLATFORM_ERROR(xl_.SetCellValue(1, 1, text), xls::kErrLimit);
    EXPECT_PLATFORM_ERROR(xl_.SetCellText(1, 2, text), xls::kErrLimit);
    EXPECT_EQ(sheet().cell(0, 1), nullptr);
    EXPECT_TRUE(xl_.SetCellValue(1, 1, std::string(32767, 'a')));
    EXPECT_TRUE(xl_.SetCellText(1, 2, std::string(32767, 'a')));
    EXPECT_EQ(sheet().value(0, 1), sheet().value(0, 0));
    // Out of the sheet and without a book, refused quietly like SetCellValue.
    EXPECT_FALSE(xl_.SetCellText(0, 1, "x"));
    EXPECT_FALSE(xl_.SetCellText(1, 257, "x"));
}

// The bulk read gives, cell for cell, what reading each cell alone gives, on
// every workbook the reader tests keep (written by xlwt, LibreOffice and
// Gnumeric: numbers, dates, Booleans, errors, formatted blanks, shared
// strings split over records), whether the sheet is chosen or not.
TEST(PClExcelBulkCells, GiveWhatEachCellReadGivesOnEveryFixture) {
    const char* const fixtures[] = {
        "fee_entry_rules.xls",           "fee_workbook_shape.xls",
        "gnumeric_fee_entry_rules.xls",  "gnumeric_fee_workbook_shape.xls",
        "gnumeric_numbers_rk_mulrk.xls", "lo_date_entries.xls",
        "lo_fee_entry_rules.xls",        "lo_fee_workbook_shape.xls",
        "lo_numbers_rk_mulrk.xls",       "lo_sst_continue_split.xls",
        "lo_styles_merges_blanks.xls",   "numbers_rk_mulrk.xls",
        "sst_continue_split.xls",        "styles_merges_blanks.xls",
    };
    for (const char* name : fixtures) {
        SCOPED_TRACE(name);
        RecordingMessages messages;
        pClExcel xl(messages);
        ASSERT_TRUE(xl.OpenBook(std::string(VELKAN_FIXTURES_DIR) + "/xls/" + name));
        const auto sheets = static_cast<std::int16_t>(xl.book()->sheetCount());
        for (std::int16_t index = 1; index <= sheets; ++index) {
            std::int32_t last = 0;
            ASSERT_TRUE(xl.GetSheetLastRow(index, last));
            xls::CellBlock apart, chosen;
            ASSERT_TRUE(xl.GetSheetRangeCells(index, 1, 1, last + 1, 40, apart));
            ASSERT_TRUE(xl.ChangeSheets(std::int32_t{index}));
            ASSERT_TRUE(xl.GetRangeCells(1, 1, last + 1, 40, chosen));
            ASSERT_EQ(apart.data.size(), static_cast<std::size_t>(last + 1) * 40);
            // Each cell read on its own takes the single-cell path.
            for (std::int32_t row = 1; row <= last + 1; ++row) {
                for (std::int16_t col = 1; col <= 40; ++col) {
                    Variant one;
                    ASSERT_TRUE(xl.GetRangeValue(row, col, row, col, one));
                    const xls::CellValue expected = wbtest::CellOf(one);
                    ASSERT_EQ(apart.at(row, col).value(), expected)
                        << index << ":" << row << "," << col;
                    ASSERT_EQ(chosen.at(row, col), apart.at(row, col));
                }
            }
        }
        xls::CellBlock none;
        EXPECT_FALSE(
            xl.GetSheetRangeCells(static_cast<std::int16_t>(sheets + 1), 1, 1, 2, 2, none));
        EXPECT_FALSE(xl.GetSheetRangeCells(1, 0, 1, 2, 2, none));
        EXPECT_TRUE(messages.shown.empty());
    }
}

// Equal views are equal values: texts by their content, each kind apart.
TEST(PClExcelBulkCells, ViewsCompareAsTheirValues) {
    const std::string a = "1", b = "1", other = "2";
    using xls::CellView;
    EXPECT_EQ(CellView::OfText(a), CellView::OfText(b));
    EXPECT_NE(CellView::OfText(a), CellView::OfText(other));
    EXPECT_NE(CellView::OfText(a), CellView::OfNumber(1));
    EXPECT_NE(CellView::OfBoolean(true), CellView::OfError(1));
    EXPECT_NE(CellView::OfBoolean(false), CellView());
    EXPECT_EQ(CellView::OfNumber(0.0), CellView::OfNumber(-0.0));
    const xls::CellValue values[] = {std::monostate{}, 2.5, std::string("清掃"), true,
                                     xls::ErrorValue{0x07}};
    for (const xls::CellValue& value : values)
        EXPECT_EQ(CellView(value).value(), value);
}

}  // namespace
