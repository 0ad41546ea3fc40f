// Row rules: the numeric test, ranges on currency values, which rows count,
// and the first failing rule of a row with its message and cell.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Currency.h"
#include "ImportErrors.h"
#include "RowRules.h"
#include "SheetImage.h"

using namespace rowrules;
using xls::CellValue;

namespace {

// A sheet image of one data row (row 3) with the given cells (column from 1).
SheetImage RowImage(std::int16_t columns, const std::vector<std::pair<int, CellValue>>& cells) {
    xls::Array2D block;
    block.rows = 3;
    block.cols = columns;
    block.data.resize(static_cast<std::size_t>(3 * columns));
    for (const auto& [column, value] : cells)
        block.at(3, column) = value;
    SheetImage image;
    image.appendBlock(std::move(block));
    return image;
}

struct NumberCase {
    const char* text;
    bool numeric;
    double value;
};

}  // namespace

TEST(ParseNumber, KnownAnswers) {
    const NumberCase cases[] = {
        {"0", true, 0},
        {"1500", true, 1500},
        {"1,500", true, 1500},
        {"1,234,567", true, 1234567},
        {"12345.5", true, 12345.5},
        {"-1", true, -1},
        {"+7", true, 7},
        {".5", true, 0.5},
        {"5.", true, 5},
        {"1e3", true, 1000},
        {"1.5E-2", true, 0.015},
        {" 42 ", true, 42},
        {"１２３", true, 123},                // full-width digits
        {"－１，５００．５", true, -1500.5},  // full-width sign, comma, point
        {"\u2212"
         "8",
         true, -8},  // minus sign
        {"\u3000"
         "９\u3000",
         true, 9},  // ideographic spaces around
        {"abc", false, 0},
        {"12a", false, 0},
        {"1,,500", false, 0},
        {",500", false, 0},
        {"500,", false, 0},
        {"1.2.3", false, 0},
        {"1e", false, 0},
        {"-", false, 0},
        {".", false, 0},
        {"", false, 0},
        {"1 500", false, 0},
        {"¥100", false, 0},
        {"True", false, 0},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseNumber(c.text);
        EXPECT_EQ(parsed.has_value(), c.numeric) << c.text;
        if (parsed && c.numeric) {
            EXPECT_DOUBLE_EQ(*parsed, c.value) << c.text;
        }
    }
}

TEST(ParseNumber, OverflowIsANumberTooLargeForEveryRange) {
    const auto parsed = ParseNumber("1e400");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(std::isinf(*parsed));
    EXPECT_FALSE(ToCurrency(*parsed).has_value());
}

TEST(Currency, RoundsToFourDecimalsAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(ToCurrency(1.5)->scaled, 15000);
    EXPECT_EQ(ToCurrency(0.00005)->scaled, 0);  // half to even
    EXPECT_EQ(ToCurrency(-2.25)->scaled, -22500);
    EXPECT_EQ(ToCurrency(9999999999.0)->scaled, 99999999990000);
    EXPECT_TRUE(ToCurrency(922337203685477.0).has_value());
    EXPECT_FALSE(ToCurrency(1e15).has_value());
    EXPECT_FALSE(ToCurrency(std::numeric_limits<double>::quiet_NaN()).has_value());
    EXPECT_FALSE(ToCurrency(-std::numeric_limits<double>::infinity()).has_value());
}

TEST(ValueTests, EnteredNumericAndRange) {
    EXPECT_FALSE(IsEntered("   "));
    EXPECT_TRUE(IsEntered(" x "));
    EXPECT_TRUE(IsNumericOrBlank(""));
    EXPECT_TRUE(IsNumericOrBlank("  "));
    EXPECT_TRUE(IsNumericOrBlank(" 1,500 "));
    EXPECT_FALSE(IsNumericOrBlank("abc"));
    const Currency max = Currency::FromWhole(999);
    EXPECT_TRUE(IsInRange(Currency::FromWhole(999), Currency{}, max));
    EXPECT_TRUE(IsInRange(Currency{}, Currency{}, max));
    EXPECT_FALSE(IsInRange(Currency::FromWhole(1000), Currency{}, max));
    EXPECT_FALSE(IsInRange(Currency{-1}, Currency{}, max));
    EXPECT_TRUE(IsInRange(Currency{9990001}, Currency{}, Currency{9990001}));
}

TEST(CellText, NumbersAsThePlatformShowedThem) {
    EXPECT_EQ(CellText(CellValue{}), "");
    EXPECT_EQ(CellText(CellValue{12345.0}), "12345");
    EXPECT_EQ(CellText(CellValue{-3.0}), "-3");
    EXPECT_EQ(CellText(CellValue{12345.5}), "12345.5");
    EXPECT_EQ(CellText(CellValue{0.1}), "0.1");
    EXPECT_EQ(CellText(CellValue{1e15}), "1E+15");
    EXPECT_EQ(CellText(CellValue{true}), "True");
    EXPECT_EQ(CellText(CellValue{xls::ErrorValue{0x07}}), "#DIV/0!");
    EXPECT_EQ(TrimmedCellText(CellValue{std::string("  清掃 ")}), "清掃");
}

TEST(CellNumber, VariantsAsTheRulesSeeThem) {
    EXPECT_TRUE(ReadCellNumber(CellValue{}).blank);
    EXPECT_TRUE(ReadCellNumber(CellValue{std::string("   ")}).blank);
    const CellNumber number = ReadCellNumber(CellValue{2500.0});
    EXPECT_FALSE(number.blank);
    EXPECT_TRUE(number.numeric);
    EXPECT_EQ(number.value, 2500);
    EXPECT_EQ(ReadCellNumber(CellValue{std::string(" 1,500 ")}).value, 1500);
    // An error value and a Boolean are entries that are not numbers.
    EXPECT_FALSE(ReadCellNumber(CellValue{xls::ErrorValue{0x2A}}).numeric);
    EXPECT_FALSE(ReadCellNumber(CellValue{xls::ErrorValue{0x2A}}).blank);
    EXPECT_FALSE(ReadCellNumber(CellValue{false}).numeric);
}

TEST(LineNumber, SixteenBitRange) {
    EXPECT_EQ(LineNumber(CellValue{2.0}), 2);
    EXPECT_EQ(LineNumber(CellValue{std::string("abc")}), 0);
    EXPECT_EQ(LineNumber(CellValue{2.5}), 2);  // halves to even
    EXPECT_EQ(LineNumber(CellValue{3.5}), 4);
    EXPECT_EQ(LineNumber(CellValue{32767.0}), 32767);
    EXPECT_FALSE(LineNumber(CellValue{32768.0}).has_value());
    EXPECT_FALSE(LineNumber(CellValue{std::string("99999")}).has_value());
    EXPECT_FALSE(LineNumber(CellValue{std::string("1e400")}).has_value());
}

TEST(RowSelection, RowsWithoutEntriesArePassedOver) {
    // Customer code but no entry: has data, no revision.
    SheetImage codeOnly = RowImage(19, {{1, 12345.0}, {13, std::string("清掃")}});
    EXPECT_TRUE(RowHasData(codeOnly, 3, 19));
    EXPECT_FALSE(RowHasRevision(codeOnly, 1, 3));
    // Blanks only count as nothing.
    SheetImage blanks = RowImage(19, {{17, std::string("  ")}, {5, std::string(" ")}});
    EXPECT_FALSE(RowHasData(blanks, 3, 19));
    EXPECT_FALSE(RowHasRevision(blanks, 1, 3));
    // Only 作業回数 filled.
    SheetImage visits = RowImage(19, {{18, 4.0}});
    EXPECT_TRUE(RowHasRevision(visits, 1, 3));
    // Billing: month 12 is column 37, column 38 is never read.
    SheetImage december = RowImage(37, {{37, 10.0}});
    EXPECT_TRUE(RowHasRevision(december, 2, 3));
    EXPECT_FALSE(RowHasRevision(RowImage(37, {{25, 10.0}}), 2, 3));  // current amount only
}

namespace {

struct RuleCase {
    const char* name;
    std::int16_t sheet;
    std::vector<std::pair<int, CellValue>> cells;
    bool passes;
    std::int32_t column;  // of the record
    const char* message;  // of the record
    std::int64_t code;    // of the record, whole units
};

void CheckRules(const RuleCase& c) {
    const std::int16_t columns = SheetColumns(c.sheet);
    SheetImage image = RowImage(columns, c.cells);
    ImportErrorList errors;
    Currency code;
    const bool ok = CheckCustomerCode(image, c.sheet, 3, errors, code) &&
                    CheckRevisedAmounts(image, c.sheet, 3, code, errors);
    EXPECT_EQ(ok, c.passes) << c.name;
    if (c.passes) {
        EXPECT_FALSE(errors.HasImportErrors()) << c.name;
        return;
    }
    ASSERT_EQ(errors.ImportErrors().size(), 1u) << c.name;
    const ImportError& e = errors.ImportErrors()[0];
    EXPECT_EQ(e.message, c.message) << c.name;
    EXPECT_EQ(e.column, c.column) << c.name;
    EXPECT_EQ(e.row, 3) << c.name;
    EXPECT_EQ(e.sheet, c.sheet) << c.name;
    EXPECT_EQ(e.customerCode, Currency::FromWhole(c.code)) << c.name;
}

}  // namespace

TEST(RowRules, CustomerCodeAndEntryBoundaries) {
    const std::string s1500 = "1,500";
    const RuleCase cases[] = {
        {"visits 999 passes", 1, {{1, 12345.0}, {18, 999.0}}, true, 0, "", 0},
        {"visits 1000",
         1,
         {{1, 12345.0}, {18, 1000.0}},
         false,
         18,
         "作業回数の値の桁数が正しくありません",
         12345},
        {"negative annual",
         1,
         {{1, 12345.0}, {17, -1.0}},
         false,
         17,
         "年間金額の値の桁数が正しくありません",
         12345},
        {"annual with decimals passes", 1, {{1, 12345.0}, {17, 12345.5}}, true, 0, "", 0},
        {"annual 999999999 passes", 1, {{1, 1.0}, {17, 999999999.0}}, true, 0, "", 0},
        {"per visit 1000000000",
         1,
         {{1, 1.0}, {19, 1000000000.0}},
         false,
         19,
         "１回金額の値の桁数が正しくありません",
         1},
        {"annual letters",
         1,
         {{1, 12345.0}, {17, std::string("abc")}},
         false,
         17,
         "年間金額が数値として認識できません",
         12345},
        {"first failing entry only",
         1,
         {{1, 5.0}, {17, std::string("x")}, {18, 5000.0}},
         false,
         17,
         "年間金額が数値として認識できません",
         5},
        {"text 1,500 passes", 1, {{1, 12345.0}, {17, s1500}}, true, 0, "", 0},
        {"blank code",
         1,
         {{1, std::string("  ")}, {17, 1.0}},
         false,
         1,
         "得意先コードが未入力です",
         0},
        {"code letters",
         1,
         {{1, std::string("A123")}, {17, 1.0}},
         false,
         1,
         "得意先コードが数値として認識できません",
         0},
        {"10-digit code passes", 1, {{1, 9999999999.0}, {17, 1.0}}, true, 0, "", 0},
        {"11-digit code",
         1,
         {{1, 12345678901.0}, {17, 1.0}},
         false,
         1,
         "得意先コードの値の桁数が正しくありません",
         12345678901},
        {"negative code",
         1,
         {{1, -5.0}, {17, 1.0}},
         false,
         1,
         "得意先コードの値の桁数が正しくありません",
         -5},
        {"code beyond the currency type",
         1,
         {{1, std::string("99999999999999999999")}, {17, 1.0}},
         false,
         1,
         "得意先コードの値の桁数が正しくありません",
         0},
        {"amount overflowing a double",
         1,
         {{1, 7.0}, {17, std::string("1e999")}},
         false,
         17,
         "年間金額の値の桁数が正しくありません",
         7},
        {"error value in an entry",
         1,
         {{1, 7.0}, {19, xls::ErrorValue{0x07}}},
         false,
         19,
         "１回金額が数値として認識できません",
         7},
        {"full-width entry passes",
         1,
         {{1, std::string("１２３")}, {17, std::string("５，０００")}},
         true,
         0,
         "",
         0},
        {"billing month 5 letters",
         2,
         {{1, 42.0}, {28, 3000.0}, {30, std::string("abc")}},
         false,
         30,
         "請求金額(5月)が数値として認識できません",
         42},
        {"billing month 12 too large",
         2,
         {{1, 42.0}, {37, 1e9}},
         false,
         37,
         "請求金額(12月)の値の桁数が正しくありません",
         42},
        {"billing zero passes", 2, {{1, 42.0}, {29, 0.0}}, true, 0, "", 0},
    };
    for (const auto& c : cases)
        CheckRules(c);
}

TEST(RowRules, LineItemNamesTheLine) {
    SheetImage contract = RowImage(19, {{11, 2.0}, {13, std::string(" 清掃 ")}});
    EXPECT_EQ(LineItem(contract, 1, 3), "2行目の作業[清掃]");
    SheetImage billing = RowImage(37, {{11, std::string("3")}, {13, std::string("浄化槽清掃")}});
    EXPECT_EQ(LineItem(billing, 2, 3), "3行目の部門[浄化槽清掃]");
}

TEST(SheetImage, OutsideTheImageIsEmptyAndBlocksAppend) {
    xls::Array2D first;
    first.rows = 2;
    first.cols = 2;
    first.data = {1.0, 2.0, 3.0, 4.0};
    xls::Array2D second;
    second.rows = 1;
    second.cols = 2;
    second.data = {std::string("a"), CellValue{}};
    SheetImage image;
    image.appendBlock(std::move(first));
    image.appendBlock(std::move(second));
    EXPECT_EQ(image.rows(), 3);
    EXPECT_EQ(image.at(2, 1), CellValue{3.0});
    EXPECT_EQ(image.at(3, 1), CellValue{std::string("a")});
    EXPECT_EQ(image.at(0, 1), CellValue{});
    EXPECT_EQ(image.at(4, 1), CellValue{});
    EXPECT_EQ(image.at(1, 3), CellValue{});
    // A row's cells found once read as the image's.
    for (std::int32_t row = 0; row <= 4; ++row) {
        const SheetImage::RowCells cells = image.row(row);
        for (std::int32_t column = 0; column <= 3; ++column)
            EXPECT_EQ(cells.at(column), image.at(row, column)) << row << "," << column;
    }
}

namespace {

// What a row with one cell of a kind makes of it: passed over, accepted
// (with the entry's value, or the field left as it is) or rejected.
std::string RowOutcome(const SheetImage& image) {
    if (!RowHasData(image, 3, 37) || !RowHasRevision(image, 2, 3))
        return "passed over";
    ImportErrorList errors;
    Currency code;
    if (!CheckCustomerCode(image, 2, 3, errors, code) ||
        !CheckRevisedAmounts(image, 2, 3, code, errors)) {
        const ImportError& e = errors.ImportErrors().at(0);
        return "col " + std::to_string(e.column) + ": " + e.message;
    }
    const CellNumber month1 = ReadCellNumber(image.at(3, 26));
    return month1.blank ? "unchanged" : "writes " + CellText(CellValue{month1.value});
}

}  // namespace

// Every kind of value a cell can show (a formula's result is one of them),
// in an entry cell and in the customer code cell.
TEST(RowRules, EachCellKindAsTheCellShowsIt) {
    using xls::ErrorValue;
    const std::string notNumeric = "col 26: 請求金額(1月)が数値として認識できません";
    const std::pair<CellValue, std::string> entries[] = {
        {CellValue{}, "passed over"},
        {CellValue{std::string()}, "passed over"},  // a formula showing nothing
        {CellValue{std::string("  ")}, "passed over"},
        {CellValue{1500.0}, "writes 1500"},
        {CellValue{0.0}, "writes 0"},
        {CellValue{std::string("1,500")}, "writes 1500"},
        {CellValue{std::string("２０００")}, "writes 2000"},
        {CellValue{std::string("abc")}, notNumeric},
        {CellValue{std::string("True")}, notNumeric},
        {CellValue{std::string("#N/A")}, notNumeric},
        {CellValue{-1.0}, "col 26: 請求金額(1月)の値の桁数が正しくありません"},
        {CellValue{true}, notNumeric},
        {CellValue{false}, notNumeric},
        {CellValue{ErrorValue{0x00}}, notNumeric},  // #NULL!
        {CellValue{ErrorValue{0x07}}, notNumeric},  // #DIV/0!
        {CellValue{ErrorValue{0x0F}}, notNumeric},  // #VALUE!
        {CellValue{ErrorValue{0x17}}, notNumeric},  // #REF!
        {CellValue{ErrorValue{0x1D}}, notNumeric},  // #NAME?
        {CellValue{ErrorValue{0x24}}, notNumeric},  // #NUM!
        {CellValue{ErrorValue{0x2A}}, notNumeric},  // #N/A
    };
    for (const auto& [value, outcome] : entries) {
        EXPECT_EQ(RowOutcome(RowImage(37, {{1, 12345.0}, {26, value}})), outcome)
            << "entry " << CellText(value);
    }
    // A blank entry beside a filled one leaves its own field unchanged.
    EXPECT_EQ(RowOutcome(RowImage(37, {{1, 12345.0}, {26, std::string()}, {27, 5.0}})),
              "unchanged");

    const std::string codeNotNumeric = "col 1: 得意先コードが数値として認識できません";
    const std::pair<CellValue, std::string> codes[] = {
        {CellValue{}, "col 1: 得意先コードが未入力です"},
        {CellValue{std::string()}, "col 1: 得意先コードが未入力です"},
        {CellValue{12345.0}, "writes 100"},
        {CellValue{std::string("12345")}, "writes 100"},
        {CellValue{std::string("abc")}, codeNotNumeric},
        {CellValue{true}, codeNotNumeric},
        {CellValue{ErrorValue{0x2A}}, codeNotNumeric},
        {CellValue{ErrorValue{0x07}}, codeNotNumeric},
    };
    for (const auto& [value, outcome] : codes) {
        EXPECT_EQ(RowOutcome(RowImage(37, {{1, value}, {26, 100.0}})), outcome)
            << "code " << CellText(value);
    }
}
