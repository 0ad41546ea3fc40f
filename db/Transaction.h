#pragma once
// A transaction held for a scope: it is rolled back when the scope is left by
// any path (early return, exception) unless it was committed, so that no path
// leaves half of a batch of writes stored or the transaction open.

#include <cstdint>

class Database;

class TransactionGuard {
  public:
    explicit TransactionGuard(Database& db) : db_(&db) {}
    // The connection `db` points to (the one the program holds now); when it
    // is null, Begin fails with SQLITE_MISUSE.
    explicit TransactionGuard(Database* db) : db_(db) {}
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard&) = delete;
    TransactionGuard& operator=(const TransactionGuard&) = delete;

    // For callers that test numbers: 0 or the error number.
    std::int32_t Begin();
    std::int32_t Commit();  // a failed commit is rolled back
    // For callers that report by exception: throw PlatformError.
    void BeginOrThrow();
    void CommitOrThrow();  // a failed commit is rolled back

    // Rolls back an active transaction; never fails visibly.
    void Rollback();
    bool active() const { return active_; }

  private:
    Database* db_;
    bool active_ = false;
};
