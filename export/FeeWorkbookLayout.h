#pragma once
// The fee workbook as the export writes it: font, colours, geometry, and the
// two header writers. Sheet names and header texts are in FeeWorkbookTexts.h,
// shared with the import's check.

#include <cstdint>

#include "FeeWorkbookTexts.h"
#include "pClExcel.h"

namespace feebook {

// Font of every cell of both sheets (ideographic space between the words).
inline constexpr const char* kSheetFont = "ＭＳ　ゴシック";
inline constexpr std::int16_t kSheetFontSize = 10;

// Colour indexes of the spreadsheet's standard palette.
inline constexpr std::int32_t kAutomaticColor = -4105;
inline constexpr std::int32_t kHeaderColor = 15;    // light grey
inline constexpr std::int32_t kEntryColor = 6;      // yellow
inline constexpr std::int32_t kExpansionColor = 3;  // red
inline constexpr std::int32_t kCentre = -4108;      // horizontal and vertical alignment
inline constexpr std::int32_t kThinLine = 1;        // continuous line
inline constexpr std::int32_t kThinWeight = 2;      // thin
inline constexpr std::int16_t kRangeCells = 0;      // range types of pClExcel
inline constexpr std::int16_t kRangeColumns = 2;
inline constexpr std::int16_t kRangeSheet = 9;

inline constexpr const char* kAmountFormat = "#,##0";
inline constexpr const char* kExpansionTitle = "部門展開";
inline constexpr const char* kExpansionNotice =
    "浄化槽台帳入力より部門展開の金額調整を行ってください。";

// Sheet geometry.
inline constexpr std::int32_t kFirstDataRow = 3;
inline constexpr std::int16_t kContractColumns = 19;
inline constexpr std::int16_t kContractEntryFirst = 17;
inline constexpr std::int16_t kBillingColumns = 37;  // 38 with the expansion column
inline constexpr std::int16_t kBillingAmountFirst = 14;
inline constexpr std::int16_t kBillingEntryFirst = 26;
inline constexpr std::int16_t kExpansionColumn = 38;

static_assert(kContractColumns == kContractTexts.columns());
static_assert(kContractEntryFirst == kContractColumns - kContractTexts.groupWidth() + 1);
static_assert(kBillingColumns == kBillingTexts.columns());
static_assert(kBillingAmountFirst == static_cast<int>(kBillingTexts.titles.size()) + 1);
static_assert(kBillingEntryFirst == kBillingAmountFirst + kBillingTexts.groupWidth());
static_assert(kExpansionColumn == kBillingColumns + 1);

}  // namespace feebook

// Adds 1 to the column counter and returns the new column.
std::int16_t NextColumn(std::int16_t& column);

// Write the two header rows of "契約内訳情報" / "請求情報" into rows `row` and
// `row` + 1 of the current sheet and leave `row` two further on. Refused
// writes throw PlatformError (see SheetWriteCheck.h); wrapper errors pass on.
void WriteContractHeader(pClExcel& excel, std::int32_t& row);
void WriteBillingHeader(pClExcel& excel, std::int32_t& row, bool ExpansionMode);
