// pClExcel: formatting of cell ranges, colours, borders, alignment, merges, columns,
// rows, the sheet window, print setup and protection.

#include <gtest/gtest.h>

#include "EngineErrors.h"
#include "PlatformErrorAssert.h"
#include "RecordingMessages.h"
#include "pClExcel.h"

namespace {

class PClExcelFormat : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(xl_.NewBook("S")); }

    const xls::Sheet& sheet() const { return xl_.book()->sheet(xl_.book()->activeSheet); }
    // The format a 1-based position shows.
    const xls::CellFormat& at(std::int32_t row, std::int32_t col) const {
        return xl_.book()->formats.get(sheet().formatIdAt(row - 1, col - 1));
    }
    std::string sides(std::int32_t row, std::int32_t col) const {
        const auto& f = at(row, col);
        return std::to_string(f.left.style) + std::to_string(f.top.style) +
               std::to_string(f.right.style) + std::to_string(f.bottom.style);
    }

    RecordingMessages messages_;
    pClExcel xl_{messages_};
};

// ColorIndex n of the standard palette is palette entry n + 7 in the file:
// grey 15 -> 22, yellow 6 -> 13, red 3 -> 10.
TEST_F(PClExcelFormat, ColourIndexesMapToPaletteEntries) {
    const struct {
        std::int32_t colorIndex;
        std::uint8_t pattern;
        std::uint16_t icv;
    } fills[] = {{15, 1, 22}, {6, 1, 13},     {3, 1, 10},     {1, 1, 8},
                 {56, 1, 63}, {-4105, 1, 64}, {-4142, 0, 64}, {0, 0, 64}};
    std::int32_t row = 1;
    for (const auto& f : fills) {
        ASSERT_TRUE(xl_.SetCellBackColor(row, 1, row, 1, f.colorIndex));
        EXPECT_EQ(at(row, 1).pattern, f.pattern) << f.colorIndex;
        EXPECT_EQ(at(row, 1).patternColor, f.icv) << f.colorIndex;
        ++row;
    }
    const struct {
        std::int32_t colorIndex;
        std::uint16_t icv;
    } fonts[] = {{3, 10}, {15, 22}, {-4105, 0x7FFF}, {-4142, 0x7FFF}};
    for (const auto& f : fonts) {
        ASSERT_TRUE(xl_.SetCellFont(row, 1, row, 1, "", 0, f.colorIndex));
        EXPECT_EQ(at(row, 1).font.color, f.icv) << f.colorIndex;
        ++row;
    }
    // Outside the palette: the engine refuses and changes nothing.
    const std::size_t formats = xl_.book()->formats.size();
    EXPECT_PLATFORM_ERROR(xl_.SetCellBackColor(1, 1, 1, 1, 57), xls::kErrGeneral);
    EXPECT_PLATFORM_ERROR(xl_.SetCellFont(1, 1, 1, 1, "", 0, 99), xls::kErrGeneral);
    EXPECT_EQ(xl_.book()->formats.size(), formats);
    EXPECT_EQ(at(1, 1).patternColor, 22);
}

TEST_F(PClExcelFormat, RangeTypesChooseCellsRowsColumnsOrTheSheet) {
    // Type 0: the block between the corners (Q3:S10).
    ASSERT_TRUE(xl_.SetCellBackColor(3, 17, 10, 19, 6));
    EXPECT_EQ(at(3, 17).patternColor, 13);
    EXPECT_EQ(at(10, 19).patternColor, 13);
    EXPECT_EQ(at(2, 17).pattern, 0);
    EXPECT_EQ(at(11, 19).pattern, 0);
    EXPECT_EQ(at(3, 20).pattern, 0);

    // Type 2 with row 0: whole column N, also for cells written later.
    ASSERT_TRUE(xl_.SetCellValue(5, 14, 1.0));
    ASSERT_TRUE(xl_.SetCellFormat(0, 14, 0, 14, "#,##0", 2));
    ASSERT_TRUE(xl_.SetCellValue(60000, 14, 2.0));
    EXPECT_EQ(at(5, 14).numberFormat, "#,##0");
    EXPECT_EQ(at(60000, 14).numberFormat, "#,##0");
    EXPECT_EQ(at(1, 14).numberFormat, "#,##0");
    EXPECT_EQ(at(5, 15).numberFormat, "General");
    // The same call as a cell range fails on row 0.
    EXPECT_FALSE(xl_.SetCellFormat(0, 14, 0, 14, "#,##0", 0));

    // Type 1: whole rows; columns ignored (0 is fine).
    ASSERT_TRUE(xl_.SetWordWrap(20, 0, 21, 0, true, 1));
    EXPECT_TRUE(at(20, 200).wrap);
    EXPECT_TRUE(at(21, 1).wrap);
    EXPECT_FALSE(at(22, 1).wrap);

    // Type 9: every cell; corners ignored.
    ASSERT_TRUE(xl_.SetCellFont(0, 0, 0, 0, "ＭＳ　ゴシック", 10, -4105, 9));
    EXPECT_EQ(at(65536, 256).font.name, "ＭＳ　ゴシック");
    EXPECT_EQ(at(3, 17).font.height, 200);
    EXPECT_EQ(at(3, 17).patternColor, 13);  // earlier formats kept

    // Any other type: False and nothing changes.
    const std::size_t formats = xl_.book()->formats.size();
    for (std::int16_t type : {5, 3, -1, 10}) {
        EXPECT_FALSE(xl_.SetCellBackColor(1, 1, 2, 2, 3, type)) << type;
        EXPECT_FALSE(xl_.SetCellLineStyle(1, 1, 2, 2, 1, 1, 1, 1, 1, 1, type)) << type;
        EXPECT_FALSE(xl_.SetCellFormat(1, 1, 2, 2, "0", type)) << type;
        EXPECT_FALSE(xl_.SetWordWrap(1, 1, 2, 2, true, type)) << type;
        EXPECT_FALSE(xl_.SetCellFont(1, 1, 2, 2, "x", 9, 3, type)) << type;
        EXPECT_FALSE(xl_.SetCellBold(1, 1, 2, 2, true, true, type)) << type;
        EXPECT_FALSE(xl_.SetCellAlignment(1, 1, 2, 2, -4108, -4108, type)) << type;
        EXPECT_FALSE(xl_.SetCellMerge(1, 1, 2, 2, -4108, -4108, type)) << type;
        EXPECT_FALSE(xl_.SetCellLocked(1, 1, 2, 2, false, type)) << type;
    }
    EXPECT_EQ(xl_.book()->formats.size(), formats);
    EXPECT_TRUE(sheet().merges.empty());

    // Out-of-range corners for the tested positions.
    EXPECT_FALSE(xl_.SetCellBackColor(1, 1, 65536, 1, 3));
    EXPECT_FALSE(xl_.SetCellBackColor(1, 1, 1, 257, 3, 2));
    EXPECT_FALSE(xl_.SetCellBackColor(0, 1, 1, 1, 3, 1));
    EXPECT_TRUE(xl_.SetCellBackColor(0, 0, 65536, 999, 3, 9));
    EXPECT_TRUE(messages_.shown.empty());
}

TEST(PClExcelFormatNoBook, RangeFormattingWithoutABookFailsQuietly) {
    RecordingMessages messages;
    pClExcel xl(messages);
    EXPECT_FALSE(xl.SetCellBackColor(1, 1, 1, 1, 3));
    EXPECT_FALSE(xl.SetCellLineStyle(1, 1, 1, 1, 1, 1, 1, 1, 1, 1));
    EXPECT_FALSE(xl.SetCellLocked(1, 1, 1, 1, false));
    EXPECT_FALSE(xl.SetColWidth(1, 1, 10));
    EXPECT_FALSE(xl.SetRowHeight(1, 1, 10));
    // All rows: no book test first, so the engine's error reaches the caller.
    EXPECT_PLATFORM_ERROR(xl.SetRowHeight(-1, 0, 10), xls::kErrNoBook);
    EXPECT_PLATFORM_ERROR(xl.SetSheetFreezePanes(2, 2), xls::kErrGeneral);
    EXPECT_FALSE(xl.SetSheetFreezePanes(0, 2));
    EXPECT_FALSE(xl.SetSheetZoom(80.0));
    EXPECT_FALSE(xl.SetPrintPaperSize(9));
    EXPECT_PLATFORM_ERROR(xl.SetPrintLeftMarjin(1), xls::kErrNoBook);
    EXPECT_FALSE(xl.SetSheetProtect("S", true));
    EXPECT_FALSE(xl.SetBookProtect(true));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PClExcelFormat, BordersOnEdgesAndInsideLines) {
    // One cell, all six styles: the four edges only.
    ASSERT_TRUE(xl_.SetCellLineStyle(2, 2, 2, 2, 1, 1, 1, 1, 1, 1));
    EXPECT_EQ(sides(2, 2), "1111");

    // A 3 x 3 block: inside lines too, drawn on both neighbours.
    ASSERT_TRUE(xl_.SetCellLineStyle(5, 5, 7, 7, 0, 0, 0, 0, 1, 1, 0, -4138));
    EXPECT_EQ(sides(6, 6), "2222");  // middle cell: inside lines on all sides
    EXPECT_EQ(sides(5, 5), "0022");  // corner: no edges asked for
    EXPECT_EQ(sides(7, 7), "2200");

    // Style 0 leaves a border alone; weight 0 keeps the border's weight.
    ASSERT_TRUE(xl_.SetCellLineStyle(6, 6, 6, 6, 0, -4115, 0, 0, 0, 0));
    EXPECT_EQ(sides(6, 6), "2822");  // medium + dash = medium dashed
    ASSERT_TRUE(xl_.SetCellLineStyle(6, 6, 6, 6, 1, 0, 0, 0, 0, 0, 0, 1));
    EXPECT_EQ(sides(6, 6), "7822");  // continuous hairline
    ASSERT_TRUE(xl_.SetCellLineStyle(6, 6, 6, 6, -4142, 0, 0, 0, 0, 0));
    EXPECT_EQ(sides(6, 6), "0822");

    // Inside lines follow the caller's corners, not the range type: whole
    // rows 10-12 with equal columns get no inside verticals.
    ASSERT_TRUE(xl_.SetCellLineStyle(10, 3, 12, 3, 1, 1, 1, 1, 1, 1, 1, 2));
    EXPECT_EQ(sides(11, 100), "0101");
    EXPECT_EQ(sides(10, 100), "0101");

    // Line styles and weights outside the accepted codes are refused before
    // anything changes.
    const std::size_t formats = xl_.book()->formats.size();
    EXPECT_PLATFORM_ERROR(xl_.SetCellLineStyle(20, 1, 20, 1, 99, 0, 0, 0, 0, 0), xls::kErrGeneral);
    EXPECT_PLATFORM_ERROR(xl_.SetCellLineStyle(20, 1, 20, 1, 1, 0, 0, 0, 0, 0, 0, 3),
                          xls::kErrGeneral);
    EXPECT_EQ(xl_.book()->formats.size(), formats);
    EXPECT_EQ(sheet().cell(19, 0), nullptr);
}

TEST_F(PClExcelFormat, LineStylesAndWeightsToFileStyles) {
    const struct {
        std::int32_t style, weight;
        std::uint8_t biff;
    } cases[] = {
        {1, 2, 1},         {1, -4138, 2},  {1, 4, 5},       {1, 1, 7},     {-4115, 2, 3},
        {-4115, -4138, 8}, {-4118, 2, 4},  {-4119, 4, 6},   {4, 2, 9},     {4, -4138, 10},
        {5, 2, 11},        {5, -4138, 12}, {13, -4138, 13}, {-4142, 0, 0}, {1, 0, 1},
    };
    std::int32_t row = 1;
    for (const auto& c : cases) {
        ASSERT_TRUE(xl_.SetCellLineStyle(row, 1, row, 1, c.style, 0, 0, 0, 0, 0, 0, c.weight));
        EXPECT_EQ(at(row, 1).left.style, c.biff) << c.style << "/" << c.weight;
        ++row;
    }
}

TEST_F(PClExcelFormat, FontBoldAlignmentAndLock) {
    ASSERT_TRUE(xl_.SetCellFont(1, 1, 1, 1, "ＭＳ　ゴシック", 10, 3));
    // Empty name and size 0: only the colour, here back to automatic.
    ASSERT_TRUE(xl_.SetCellFont(1, 1, 1, 1, "", 0));
    EXPECT_EQ(at(1, 1).font.name, "ＭＳ　ゴシック");
    EXPECT_EQ(at(1, 1).font.height, 200);
    EXPECT_EQ(at(1, 1).font.color, xls::kAutoColor);

    ASSERT_TRUE(xl_.SetCellBold(1, 1, 1, 1, false, true));
    EXPECT_TRUE(at(1, 1).font.italic);
    EXPECT_FALSE(at(1, 1).font.bold);

    ASSERT_TRUE(xl_.SetWordWrap(2, 1, 2, 1, true));
    ASSERT_TRUE(xl_.SetCellAlignment(2, 1, 2, 1, -4152, -4160));
    EXPECT_EQ(at(2, 1).hAlign, 3);
    EXPECT_EQ(at(2, 1).vAlign, 0);
    ASSERT_TRUE(xl_.SetWordWrap(2, 1, 2, 1, true));
    // 0, 0 keeps both alignments but still clears wrapping.
    ASSERT_TRUE(xl_.SetCellAlignment(2, 1, 2, 1, 0, 0));
    EXPECT_EQ(at(2, 1).hAlign, 3);
    EXPECT_EQ(at(2, 1).vAlign, 0);
    EXPECT_FALSE(at(2, 1).wrap);

    const struct {
        std::int32_t h;
        std::uint8_t biff;
    } hs[] = {{1, 0}, {-4131, 1}, {-4108, 2}, {-4152, 3}, {5, 4}, {-4130, 5}, {7, 6}, {-4117, 7}};
    for (const auto& h : hs) {
        ASSERT_TRUE(xl_.SetCellAlignment(3, 1, 3, 1, h.h, 0));
        EXPECT_EQ(at(3, 1).hAlign, h.biff) << h.h;
    }
    const struct {
        std::int32_t v;
        std::uint8_t biff;
    } vs[] = {{-4160, 0}, {-4108, 1}, {-4107, 2}, {-4130, 3}, {-4117, 4}};
    for (const auto& v : vs) {
        ASSERT_TRUE(xl_.SetCellAlignment(3, 1, 3, 1, 0, v.v));
        EXPECT_EQ(at(3, 1).vAlign, v.biff) << v.v;
    }
    EXPECT_PLATFORM_ERROR(xl_.SetCellAlignment(3, 1, 3, 1, 2, 0), xls::kErrGeneral);

    ASSERT_TRUE(xl_.SetCellLocked(3, 17, 10, 19, false));
    EXPECT_FALSE(at(3, 17).locked);
    EXPECT_TRUE(at(3, 16).locked);
    ASSERT_TRUE(xl_.SetCellFormat(4, 1, 4, 1, "G/標準"));
    EXPECT_EQ(at(4, 1).numberFormat, "General");
}

TEST_F(PClExcelFormat, MergeKeepsTheTopLeftValue) {
    ASSERT_TRUE(xl_.SetCellValue(1, 1, std::string("title")));
    ASSERT_TRUE(xl_.SetCellValue(1, 3, std::string("lost")));
    ASSERT_TRUE(xl_.SetCellMerge(1, 1, 1, 3, -4108, -4108));
    ASSERT_EQ(sheet().merges.size(), 1u);
    EXPECT_EQ(sheet().merges[0], (xls::CellRange{0, 0, 0, 2}));
    EXPECT_EQ(xl_.GetCellValue(1, 1), "title");
    EXPECT_EQ(xl_.GetCellValue(1, 3), "");
    EXPECT_EQ(at(1, 3).hAlign, 2);
    EXPECT_EQ(at(1, 3).vAlign, 1);
    // A single cell is aligned but not merged.
    ASSERT_TRUE(xl_.SetCellMerge(2, 1, 2, 1, -4108, -4108));
    EXPECT_EQ(sheet().merges.size(), 1u);
    // An overlapping merge replaces the old one.
    ASSERT_TRUE(xl_.SetCellMerge(1, 2, 2, 4, -4131, -4160));
    ASSERT_EQ(sheet().merges.size(), 1u);
    EXPECT_EQ(sheet().merges[0], (xls::CellRange{0, 1, 1, 3}));
    // Alignment 0 is not an alignment: refused.
    EXPECT_PLATFORM_ERROR(xl_.SetCellMerge(5, 1, 5, 2, 0, 0), xls::kErrGeneral);
}

TEST_F(PClExcelFormat, ColumnsRowsAndTheSheetWindow) {
    ASSERT_TRUE(xl_.SetColWidth(2, 3, 20));
    EXPECT_EQ(sheet().column(1).width, 5302);
    ASSERT_TRUE(xl_.SetColWidth(-1, 0, 8.43));
    EXPECT_EQ(sheet().column(255).width, 2340);
    EXPECT_FALSE(xl_.SetColWidth(0, 3, 10));
    EXPECT_PLATFORM_ERROR(xl_.SetColWidth(1, 1, 256), xls::kErrGeneral);
    ASSERT_TRUE(xl_.SetCellValue(1, 1, std::string("ソルベナ　浄化槽システム")));
    ASSERT_TRUE(xl_.SetColWidth(-1, 0, 0, true));
    EXPECT_EQ(sheet().column(0).width, 6454);  // 24 half-width cells, half a cell spare
    EXPECT_FALSE(sheet().column(1).width.has_value());
    ASSERT_TRUE(xl_.SetColHidden(4, 5, true));
    EXPECT_TRUE(sheet().column(4).hidden);
    EXPECT_FALSE(sheet().column(5).hidden);

    ASSERT_TRUE(xl_.SetRowHeight(3, 4, 30));
    EXPECT_EQ(sheet().row(3)->height, 600);
    ASSERT_TRUE(xl_.SetRowHeight(-1, 0, 15));
    EXPECT_EQ(sheet().defaultRowHeight, 300);
    EXPECT_EQ(sheet().row(3)->height, 300);
    EXPECT_FALSE(xl_.SetRowHeight(65536, 65536, 15));

    EXPECT_TRUE(xl_.SetSheetZoom(85.0));
    EXPECT_EQ(sheet().view.zoom, 85);
    EXPECT_TRUE(xl_.SetSheetZoom(std::string("120")));
    EXPECT_EQ(sheet().view.zoom, 120);
    EXPECT_FALSE(xl_.SetSheetZoom(5.0));
    EXPECT_EQ(sheet().view.zoom, 120);

    ASSERT_TRUE(xl_.SetSheetFreezePanes(3, 2));
    EXPECT_EQ(sheet().view.freeze, std::make_pair(2, 1));
    ASSERT_TRUE(xl_.SetSheetFreezePanes(3, 2, false));
    EXPECT_FALSE(sheet().view.freeze.has_value());
    EXPECT_FALSE(xl_.SetSheetFreezePanes(65536, 1));
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PClExcelFormat, PrintSetupOfTheActiveSheet) {
    ASSERT_TRUE(xl_.SetPrintLeftMarjin(0.5));
    ASSERT_TRUE(xl_.SetPrintTopMarjin(1));
    EXPECT_DOUBLE_EQ(sheet().pageSetup.leftMargin * 72, 36);
    EXPECT_DOUBLE_EQ(sheet().pageSetup.topMargin * 72, 72);
    EXPECT_PLATFORM_ERROR(xl_.SetPrintRightMarjin(-1), xls::kErrGeneral);
    ASSERT_TRUE(xl_.SetPrintHeaderLeft("L"));
    ASSERT_TRUE(xl_.SetPrintHeaderRight("R"));
    ASSERT_TRUE(xl_.SetPrintHeaderCenter("中央"));
    EXPECT_EQ(sheet().pageSetup.headerLeft, "L");
    EXPECT_EQ(sheet().pageSetup.headerCenter, "中央");
    EXPECT_EQ(sheet().pageSetup.headerRight, "R");
    EXPECT_TRUE(xl_.SetPrintPaperSize(8));
    EXPECT_EQ(sheet().pageSetup.paperSize, 8);
    EXPECT_FALSE(xl_.SetPrintPaperSize(0));  // refused quietly
    EXPECT_EQ(sheet().pageSetup.paperSize, 8);
    EXPECT_PLATFORM_ERROR(xl_.SetPrintOrientation(3), xls::kErrGeneral);
    EXPECT_PLATFORM_ERROR(xl_.SetPrintZoom(401), xls::kErrGeneral);
    ASSERT_TRUE(xl_.SetPrintPrintTitleRow("$1:$2"));
    EXPECT_EQ(sheet().pageSetup.titleRows, std::make_pair(0, 1));
    ASSERT_TRUE(xl_.SetPrintPrintTitleCol("$B:$A"));
    EXPECT_EQ(sheet().pageSetup.titleCols, std::make_pair(0, 1));
    ASSERT_TRUE(xl_.SetPrintPrintTitleRow(""));
    EXPECT_FALSE(sheet().pageSetup.titleRows.has_value());
    EXPECT_PLATFORM_ERROR(xl_.SetPrintPrintTitleRow("abc"), xls::kErrGeneral);
    // The page setup follows the active sheet.
    ASSERT_TRUE(xl_.NewSheets("T"));
    ASSERT_TRUE(xl_.SetPrintLeftMarjin(2));
    EXPECT_DOUBLE_EQ(xl_.book()->sheet(0).pageSetup.leftMargin, 0.5);
    EXPECT_DOUBLE_EQ(xl_.book()->sheet(1).pageSetup.leftMargin, 2);
}

TEST_F(PClExcelFormat, ProtectionWithAndWithoutPassword) {
    ASSERT_TRUE(xl_.SetSheetProtect("S", true));
    EXPECT_TRUE(sheet().protectedSheet);
    EXPECT_EQ(sheet().passwordHash, 0);
    ASSERT_TRUE(xl_.SetSheetProtect("S", false));
    EXPECT_FALSE(sheet().protectedSheet);

    ASSERT_TRUE(xl_.SetSheetProtect("S", true, "password"));
    EXPECT_EQ(sheet().passwordHash, 0x83AF);
    EXPECT_FALSE(xl_.SetSheetProtect("S", false, "wrong"));
    EXPECT_TRUE(sheet().protectedSheet);
    EXPECT_TRUE(xl_.SetSheetProtect("S", false, "password"));
    EXPECT_FALSE(sheet().protectedSheet);
    EXPECT_FALSE(xl_.SetSheetProtect("nothing", true));

    ASSERT_TRUE(xl_.SetBookProtect(true, "abc"));
    EXPECT_TRUE(xl_.book()->protectedStructure);
    EXPECT_FALSE(xl_.book()->protectedWindows);
    EXPECT_FALSE(xl_.SetBookProtect(false));
    EXPECT_TRUE(xl_.SetBookProtect(false, "abc"));
    EXPECT_FALSE(xl_.book()->protectedStructure);
    EXPECT_TRUE(messages_.shown.empty());
}

// Known answers of the spreadsheet's password hash (the empty password has none).
TEST(PasswordHash, KnownAnswers) {
    const struct {
        const char* password;
        std::uint16_t hash;
    } cases[] = {{"password", 0x83AF},       {"abc", 0xCC1A}, {"Excel", 0xC7EC},
                 {"test", 0xCBEB},           {"a", 0xCE88},   {"", 0x0000},
                 {"VelvetSweatshop", 0x9A0A}};
    for (const auto& c : cases)
        EXPECT_EQ(xls::PasswordHash(c.password), c.hash) << c.password;
}

}  // namespace
