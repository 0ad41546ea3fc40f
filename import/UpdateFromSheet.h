#pragma once
// Write-back of one sheet: the accepted rows' revised amounts go into
// 浄化槽契約内訳マスタ (sheet 1) or 浄化槽請求テーブル (sheet 2), all in one
// transaction that is committed after the last row or rolled back on any
// failure.

#include <cstdint>
#include <string>

class ImportState;

// Row rules, key look-ups and writes for sheet 1 or 2 over state.SheetData.
// True when every row was processed and the transaction committed.
bool UpdateFromSheet(ImportState& state, std::int16_t sheet);

// The warning shown when 浄化槽請求テーブル cannot be opened.
extern const char* const kBillingTableOpenMessage;
