#pragma once
// What a check-only run adds to the import's own rules and look-ups: one read
// transaction over both sheets, and the comparison of every row that would be
// written with the database as it is now (the entries that would change a
// value; the current amounts that changed after the workbook was exported).

#include <cstdint>
#include <string>
#include <vector>

#include "AmountConflict.h"
#include "ImportErrors.h"
#include "UpdateFromSheet.h"

class Database;

// A read transaction: every look-up of both sheets sees one state of the
// database, and a writer elsewhere waits for it instead of changing the rows
// between the two sheets. It takes no write lock and ends by a rollback.
class ReadTransaction {
  public:
    explicit ReadTransaction(Database* db) : db_(db) {}
    ~ReadTransaction() { End(); }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

    // 0 or the error number (no database open, or it refused).
    std::int32_t Begin();
    // Ends it; never fails visibly.
    void End();
    bool active() const { return active_; }

  private:
    Database* db_;
    bool active_ = false;
};

// What the check found in the rows that would be written.
class CheckFindings : public AcceptedRowCheck {
  public:
    void Accepted(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                  const RecordsetHelper& record) override;
    void Reset();

    // One record per stale row (ChangedAmountColumn), in row order, pointing
    // at the column that function names; the message is kStaleAmountMessage.
    const std::vector<ImportError>& StaleRows() const { return stale_; }
    std::int32_t StaleCount() const { return static_cast<std::int32_t>(stale_.size()); }
    // Entries whose value differs from the field they would be written to.
    std::int32_t ChangingAmounts() const { return changing_; }

  private:
    std::vector<ImportError> stale_;
    std::int32_t changing_ = 0;
};
