#pragma once
// Write-back of one sheet: the accepted rows' revised amounts go into
// 浄化槽契約内訳マスタ (sheet 1) or 浄化槽請求テーブル (sheet 2), all in one
// transaction that is committed after the last row or rolled back on any
// failure.

#include <cstdint>
#include <string>

#include "SheetImage.h"

class ImportState;
class RecordsetHelper;

// What a check-only run does with a row that passed every rule and look-up
// and would be written.
class AcceptedRowCheck {
  public:
    virtual ~AcceptedRowCheck() = default;
    // `record` stands on the row's record of 浄化槽契約内訳マスタ (sheet 1) or
    // 浄化槽請求テーブル (sheet 2).
    virtual void Accepted(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                          const RecordsetHelper& record) = 0;
};

// Row rules, key look-ups and writes for sheet 1 or 2 over state.SheetData.
// True when every row was processed and the transaction committed.
bool UpdateFromSheet(ImportState& state, std::int16_t sheet);
// The same rules, look-ups, counters, error records and progress, writing
// nothing: each row that would be written goes to `check`. The caller holds
// the read transaction. False when the sheet could not be checked.
bool CheckSheet(ImportState& state, std::int16_t sheet, AcceptedRowCheck& check);

// The warning shown when 浄化槽請求テーブル cannot be opened.
extern const char* const kBillingTableOpenMessage;
