#pragma once
// A row whose amounts changed in the database after the workbook was
// exported: one of the fields the row would write no longer holds the
// current amount the workbook shows beside its entry. The check (F3), its
// marked copy and the import (F4) all ask this one question; the import asks
// it twice, before it writes anything and again for each row it writes.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
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
// The positions in `record` of ComparedAmounts(sheet)' fields (a row after
// row compare finds their names once), and the comparison by them.
std::vector<int> ComparedFieldPositions(std::int16_t sheet, const RecordsetHelper& record);
std::int16_t ChangedAmountColumn(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                                 const RecordsetHelper& record, const std::vector<int>& fields);

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
    // Off only for measurements: Scan finds nothing and every row may be written.
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    // Inside the sheet's write transaction, before it writes anything: whether
    // the table may have changed since the sheet was scanned. On a file, when
    // no other connection has committed since, every row holds what the scan
    // read, and the scan's answer stands for it; on a server each row is
    // compared again. Throws PlatformError.
    void BeginWrite(Database& db, std::int16_t sheet);
    std::int32_t Count() const { return static_cast<std::int32_t>(seen_.size()); }

    ChangedRowsAnswer answer = ChangedRowsAnswer::NoneFound;

    // Inside the write transaction, `record` holding the row as it is now:
    // 0 when the row may be written, else the column to list it at. A changed
    // row is written only after はい, and only when the database still holds
    // what it held when the question was asked.
    // `fields` as ComparedFieldPositions gives them.
    std::int16_t RefusedColumn(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                               const RecordsetHelper& record, const std::vector<int>& fields) const;

  private:
    void ScanTable(Database& db, const SheetImage& data, std::int16_t sheet,
                   const std::vector<std::pair<std::int64_t, std::int32_t>>& rows);

    struct Seen {
        std::vector<FieldValue> values;  // the compared fields' values when found
        std::int16_t column = 0;         // the column the row was found changed at
    };
    // Per changed row (sheet, row).
    std::map<std::pair<std::int16_t, std::int32_t>, Seen> seen_;
    // Per sheet, on a file: the count of other connections' commits read
    // before the scan, when the scan completed.
    std::array<std::optional<long long>, 2> scannedVersion_;
    // Per sheet: rows naming a record another row names too; the first one
    // written changes what the other is compared with.
    std::array<std::set<std::int32_t>, 2> sharedRecord_;
    // Per sheet: the scan's answer holds for the rows of the write under way.
    std::array<bool, 2> unchangedSinceScan_{};
    bool enabled_ = true;
};
