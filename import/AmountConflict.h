#pragma once
// A row whose amounts changed in the database after the workbook was
// exported: one of the fields the row would write no longer holds the
// current amount the workbook shows beside its entry. The check (F3), its
// marked copy and the import (F4) all ask this one question; the import asks
// it twice, before it writes anything and again for each row it writes.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "FieldValue.h"
#include "SheetImage.h"
class Database;
class RecordsetHelper;

// The list text of such a row.
inline constexpr const char* kStaleAmountMessage = "出力後にマスタの金額が変更されています";

// The columns compared for one sheet: the current amount the export wrote,
// the entry beside it, and the database field both stand for.
struct AmountColumns {
    std::int16_t current;
    std::int16_t entry;
    std::string field;
};
const std::vector<AmountColumns>& ComparedAmounts(std::int16_t sheet);

// The current-amount column of the first field the row would write (its
// entry is not blank) whose database value, as the export writes it (Null
// as an empty cell, a number rounded to a whole one), is not what the
// workbook shows, nor already the entry's value; 0 when there is none. `field(i)` is the database
// value of ComparedAmounts(sheet)[i].
std::int16_t ChangedAmountColumn(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                                 const std::function<const FieldValue&(std::size_t)>& field);
// The same with `record` standing on the row's record.
std::int16_t ChangedAmountColumn(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                                 const RecordsetHelper& record);

// What the clerk answered about the changed rows found before the import.
enum class ChangedRowsAnswer {
    NoneFound,  // no question was asked
    Overwrite,  // はい: write them too
    Skip,       // いいえ: leave them
};

// The changed rows an import found before writing, with the values the
// database held then, and the rule each row's write follows.
class ChangedRows {
  public:
    // Finds the changed rows among those of `data` (rows 3..endRow) that the
    // import would write: the row rules, then the sheet's table read once
    // (a key seek per row would cost the import a good part of its time);
    // a row found changed is also sought in 浄化槽基本マスタ. Throws
    // PlatformError.
    void Scan(Database& db, const SheetImage& data, std::int32_t endRow, std::int16_t sheet);
    void Reset();
    std::int32_t Count() const { return static_cast<std::int32_t>(seen_.size()); }

    ChangedRowsAnswer answer = ChangedRowsAnswer::NoneFound;

    // Inside the write transaction, `record` holding the row as it is now:
    // 0 when the row may be written, else the column to list it at. A changed
    // row is written only after はい, and only when the database still holds
    // what it held when the question was asked.
    std::int16_t RefusedColumn(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                               const RecordsetHelper& record) const;

  private:
    // Per changed row (sheet, row): the compared fields' values when found.
    std::map<std::pair<std::int16_t, std::int32_t>, std::vector<FieldValue>> seen_;
};
