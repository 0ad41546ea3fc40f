#include "FeeWorkbookLayout.h"

#include <span>
#include <string>

#include "SheetWriteCheck.h"

using namespace feebook;

namespace {

// How far the grey of a group title reaches: the whole merged range on
// "契約内訳情報", only its first cell on "請求情報" (the merged cell shows
// grey either way, and the import compares texts only).
enum class GroupFill { WholeRange, FirstCell };

struct HeaderWriter {
    pClExcel& excel;
    const char* sheet;
    std::int32_t row;
    std::int16_t column = 0;

    void put(std::int32_t r, std::int16_t c, const std::string& text) {
        RequireWritten(excel.SetCellValue(r, c, text), sheet, r, c);
    }

    // Merged (with centred text) and framed on all edges and inside lines.
    void frame(std::int32_t r1, std::int16_t c1, std::int32_t r2, std::int16_t c2) {
        RequireWritten(excel.SetCellMerge(r1, c1, r2, c2, kCentre, kCentre, kRangeCells), sheet, r1,
                       c1);
        RequireWritten(
            excel.SetCellLineStyle(r1, c1, r2, c2, kThinLine, kThinLine, kThinLine, kThinLine,
                                   kThinLine, kThinLine, kRangeCells, kThinWeight),
            sheet, r1, c1);
    }

    void fill(std::int32_t r1, std::int16_t c1, std::int32_t r2, std::int16_t c2,
              std::int32_t color) {
        RequireWritten(excel.SetCellBackColor(r1, c1, r2, c2, color, kRangeCells), sheet, r1, c1);
    }

    void sheetFont() {
        RequireWritten(
            excel.SetCellFont(0, 0, 0, 0, kSheetFont, kSheetFontSize, kAutomaticColor, kRangeSheet),
            sheet, 0, 0);
    }

    // A title over both header rows.
    void single(const std::string& title, std::int32_t color = kHeaderColor) {
        NextColumn(column);
        put(row, column, title);
        frame(row, column, row + 1, column);
        fill(row, column, row, column, color);
    }

    // A title over one column per sub-title, each sub-title in the row below.
    void group(const std::string& title, std::span<const char* const> subTitles,
               GroupFill fillRange) {
        NextColumn(column);
        const std::int16_t last = static_cast<std::int16_t>(column + subTitles.size() - 1);
        put(row, column, title);
        frame(row, column, row, last);
        fill(row, column, row, fillRange == GroupFill::WholeRange ? last : column, kHeaderColor);
        for (std::size_t n = 0; n < subTitles.size(); ++n) {
            if (n > 0)
                NextColumn(column);
            put(row + 1, column, subTitles[n]);
            frame(row + 1, column, row + 1, column);
            fill(row + 1, column, row + 1, column, kHeaderColor);
        }
    }

    void titles(const SheetTexts& texts, GroupFill fillRange) {
        sheetFont();
        for (const char* title : texts.titles)
            single(title);
        for (const char* amounts : kAmountGroups)
            group(amounts, texts.subTitles, fillRange);
    }
};

}  // namespace

std::int16_t NextColumn(std::int16_t& column) {
    column = static_cast<std::int16_t>(column + 1);
    return column;
}

void WriteContractHeader(pClExcel& excel, std::int32_t& row) {
    HeaderWriter header{excel, kContractSheet, row};
    header.titles(kContractTexts, GroupFill::WholeRange);
    row += 2;
}

void WriteBillingHeader(pClExcel& excel, std::int32_t& row, bool ExpansionMode) {
    HeaderWriter header{excel, kBillingSheet, row};
    header.titles(kBillingTexts, GroupFill::FirstCell);
    if (ExpansionMode)
        header.single(kExpansionTitle, kExpansionColor);
    row += 2;
}
