#pragma once
// Write-back of one sheet: the accepted rows' revised amounts go into
// 浄化槽契約内訳マスタ (sheet 1) or 浄化槽請求テーブル (sheet 2), all in one
// transaction that is committed after the last row or rolled back on any
// failure.

#include <cstdint>
#include <string>

class ImportState;
class gMjMDB;

// Holds a workspace transaction: rolls it back when it goes out of scope
// unless Commit succeeded, so no path (early return, exception) leaves a
// sheet half written or the transaction open.
class TransactionGuard {
  public:
    explicit TransactionGuard(gMjMDB& mdb) : mdb_(mdb) {}
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard&) = delete;
    TransactionGuard& operator=(const TransactionGuard&) = delete;

    std::int32_t Begin();   // 0 or the platform error number
    std::int32_t Commit();  // 0 or the number; a failed commit is rolled back
    void Rollback();
    bool active() const { return active_; }

  private:
    gMjMDB& mdb_;
    bool active_ = false;
};

// Row rules, key look-ups and writes for sheet 1 or 2 over state.SheetData.
// True when every row was processed and the transaction committed.
bool UpdateFromSheet(ImportState& state, std::int16_t sheet);

// The warning shown when 浄化槽請求テーブル cannot be opened.
extern const char* const kBillingTableOpenMessage;
