#pragma once
// Which rows of a sheet count and the checks every counted row passes before
// the database is looked at: the customer code (entered, a number within
// 0..9999999999) and the entry cells (blank or numbers within their limits).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Currency.h"
#include "ImportErrors.h"
#include "NumberText.h"
#include "SheetImage.h"

namespace rowrules {

inline constexpr std::int32_t kFirstDataRow = 3;
inline constexpr std::int16_t kCustomerCodeColumn = 1;
inline constexpr std::int16_t kLineNumberColumn = 11;
inline constexpr std::int16_t kCodeColumn = 12;  // 作業コード / 部門コード
inline constexpr std::int16_t kNameColumn = 13;  // 作業名 / 部門名

// Columns of the sheet: 19 for 契約内訳情報, 37 for 請求情報.
std::int16_t SheetColumns(std::int16_t sheet);

struct EntryColumn {
    std::int16_t column;
    std::string item;  // name in messages: 年間金額, 請求金額(5月) ...
    Currency maximum;
};
// The entry cells "改定後の金額(記載欄)" of a sheet, in column order.
const std::vector<EntryColumn>& EntryColumns(std::int16_t sheet);

// The text's number when the whole text reads as one (full-width forms too).
using numbertext::ParseNumber;

bool IsEntered(std::string_view text);
bool IsNumericOrBlank(std::string_view text);
bool IsInRange(Currency value, Currency min, Currency max);

// A cell as the rules see it.
struct CellNumber {
    bool blank = true;    // trimmed text empty
    bool numeric = true;  // blank, a number, or text that reads as one
    double value = 0;     // the number (0 when blank); infinite when it overflowed
};
CellNumber ReadCellNumber(const xls::CellView& cell);

// Leading number of a key cell (行番号, 作業コード/部門コード).
double KeyCellNumber(const xls::CellView& cell);
// 行番号 as a 16-bit integer (halves to even); nullopt outside -32768..32767.
std::optional<std::int16_t> LineNumber(const xls::CellView& cell);

// Any of columns 1..columnCount holds a non-blank value.
bool RowHasData(const SheetImage& data, std::int32_t row, std::int16_t columnCount);
// Any entry cell of the row holds a non-blank value.
bool RowHasRevision(const SheetImage& data, std::int16_t sheet, std::int32_t row);

// The customer code of the row as the error records carry it: its numeric
// value, 0 when blank, not numeric or too large.
Currency RecordedCustomerCode(const SheetImage& data, std::int32_t row);

// The customer code in column 1 must be entered, read as a number and lie
// within 0..9999999999; the first rule it breaks adds one record to `errors`.
// On success `code` is the customer code.
bool CheckCustomerCode(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                       ImportErrorList& errors, Currency& code);
// Every entry cell, in column order, must be blank or read as a number within
// 0..its maximum; the first cell that is not adds one record to `errors`.
bool CheckRevisedAmounts(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                         Currency code, ImportErrorList& errors);

// "2行目の作業[清掃]" / "3行目の部門[浄化槽清掃]": the item of the key rules.
std::string LineItem(const SheetImage& data, std::int16_t sheet, std::int32_t row);

}  // namespace rowrules
