#pragma once
// Rejected rows of an import: one record per row, listed after both sheets
// in fixed-width lines (sheet, cell, customer code, reason).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Currency.h"

class pClExcel;
class ImportView;

enum class ImportErrorKind : std::int16_t {
    NotEntered = 1,         // が未入力です
    NotNumeric = 2,         // が数値として認識できません
    OutOfRange = 3,         // の値の桁数が正しくありません
    NotInMaster = 4,        // がマスタに存在しません
    DiffersFromMaster = 10  // がマスタと異なっています
};

// The ending that follows the item name in a record's message.
std::string_view ImportErrorEnding(ImportErrorKind kind);

struct ImportError {
    std::int32_t column = 0;  // sheet column the record points to (1 = 得意先コード)
    std::int32_t row = 0;     // sheet row
    std::int16_t sheet = 0;   // 1 = 契約内訳情報, 2 = 請求情報
    Currency customerCode;    // numeric value of the row's code, 0 when empty
    std::string message;
};

class ImportErrorList {
  public:
    // Before each run: no records.
    void Reset();
    void AddImportError(std::int16_t sheet, std::int32_t column, std::int32_t row,
                        Currency customerCode, std::string_view itemName, ImportErrorKind kind);
    // A record whose message is not an item and a kind's ending.
    void Add(ImportError record);

    bool HasImportErrors() const { return hasImportErrors_; }
    const std::vector<ImportError>& ImportErrors() const { return errors_; }

  private:
    std::vector<ImportError> errors_;
    bool hasImportErrors_ = false;
};

// The code as the list shows it before zero filling: 12345, 123.5, -5.
std::string CurrencyText(Currency value);
// One line of the error list, e.g.
// 【契約内訳】(Q5     )0000012345：年間金額が数値として認識できません + blanks to 76 columns.
std::string ImportErrorLine(const pClExcel& book, const ImportError& error);
// Adds one line per record, in record order, to the window's list.
void ShowImportErrors(const pClExcel& book, const ImportErrorList& errors, ImportView& view);
