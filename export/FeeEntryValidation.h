#pragma once
// The rules the entry cells "改定後の金額(記載欄)" carry in the saved workbook:
// a spreadsheet application refuses a value the import would reject, names
// the allowed range in a prompt on entering the cell, and stops the entry with
// the title "入力エラー". The import still applies its own rules, since pasted
// values pass the spreadsheet's check.

#include <cstdint>
#include <string>

#include "pClExcel.h"

namespace feebook {

inline constexpr const char* kEntryErrorTitle = "入力エラー";

// "年間金額には 0 から 999,999,999 までの数値を入力してください。" (whole = false)
// "作業回数には 0 から 999 までの整数を入力してください。" (whole = true)
std::string EntryRuleText(const std::string& item, std::int64_t maximum, bool whole);

}  // namespace feebook

// One rule per entry column range of the data rows 3..lastRow: 年間金額,
// 作業回数, １回金額 on "契約内訳情報", the twelve months on "請求情報".
// Refusals throw PlatformError (see SheetWriteCheck.h).
void SetContractEntryRules(pClExcel& excel, std::int32_t lastRow);
void SetBillingEntryRules(pClExcel& excel, std::int32_t lastRow);
