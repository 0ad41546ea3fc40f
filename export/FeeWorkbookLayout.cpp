#include "FeeWorkbookLayout.h"

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

    // A title over `width` columns with one sub-title under each of them.
    template <typename SubTitle>
    void group(const std::string& title, std::int16_t width, GroupFill fillRange,
               SubTitle subTitle) {
        NextColumn(column);
        const std::int16_t last = static_cast<std::int16_t>(column + width - 1);
        put(row, column, title);
        frame(row, column, row, last);
        fill(row, column, row, fillRange == GroupFill::WholeRange ? last : column, kHeaderColor);
        for (std::int16_t n = 1; n <= width; ++n) {
            if (n > 1)
                NextColumn(column);
            put(row + 1, column, subTitle(n));
            frame(row + 1, column, row + 1, column);
            fill(row + 1, column, row + 1, column, kHeaderColor);
        }
    }
};

// Columns 1 to 10, the same on both sheets.
constexpr const char* kCommonTitles[] = {
    "得意先コード", "設置場所名", "設置場所住所", "設置場所TEL",   "人槽",
    "容量",         "処理方式",   "契約区分",     "契約期間_開始", "契約期間_終了",
};

std::string ContractSubTitle(std::int16_t n) {
    static constexpr const char* kTitles[] = {"年間金額", "作業回数", "１回金額"};
    return kTitles[n - 1];
}

std::string MonthSubTitle(std::int16_t n) {
    return std::to_string(n) + "月";
}

}  // namespace

std::int16_t NextColumn(std::int16_t& column) {
    column = static_cast<std::int16_t>(column + 1);
    return column;
}

void WriteContractHeader(pClExcel& excel, std::int32_t& row) {
    HeaderWriter header{excel, kContractSheet, row};
    header.sheetFont();
    for (const char* title : kCommonTitles)
        header.single(title);
    header.single("行番号");
    header.single("作業コード");
    header.single("作業名");
    header.group(kCurrentAmounts, 3, GroupFill::WholeRange, ContractSubTitle);
    header.group(kRevisedAmounts, 3, GroupFill::WholeRange, ContractSubTitle);
    row += 2;
}

void WriteBillingHeader(pClExcel& excel, std::int32_t& row, bool ExpansionMode) {
    HeaderWriter header{excel, kBillingSheet, row};
    header.sheetFont();
    for (const char* title : kCommonTitles)
        header.single(title);
    header.single("行番号");
    header.single("部門コード");
    header.single("部門名");
    header.group(kCurrentAmounts, 12, GroupFill::FirstCell, MonthSubTitle);
    header.group(kRevisedAmounts, 12, GroupFill::FirstCell, MonthSubTitle);
    if (ExpansionMode)
        header.single(kExpansionTitle, kExpansionColor);
    row += 2;
}
