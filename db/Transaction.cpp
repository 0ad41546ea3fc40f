#include "Transaction.h"

#include <sqlite3.h>

#include "Database.h"
#include "PlatformError.h"

TransactionGuard::~TransactionGuard() {
    Rollback();
}

void TransactionGuard::BeginOrThrow() {
    if (!db_)
        throw PlatformError(SQLITE_MISUSE, "データベースが開かれていません");
    db_->begin();
    active_ = true;
}

void TransactionGuard::CommitOrThrow() {
    if (!db_)
        throw PlatformError(SQLITE_MISUSE, "データベースが開かれていません");
    try {
        db_->commit();
        active_ = false;
    } catch (const PlatformError&) {
        Rollback();
        throw;
    }
}

std::int32_t TransactionGuard::Begin() {
    try {
        BeginOrThrow();
    } catch (const PlatformError& e) {
        return ErrorNumber(e);
    }
    return 0;
}

std::int32_t TransactionGuard::Commit() {
    try {
        CommitOrThrow();
    } catch (const PlatformError& e) {
        return ErrorNumber(e);
    }
    return 0;
}

void TransactionGuard::Rollback() {
    if (!active_)
        return;
    active_ = false;
    if (!db_->inTransaction())
        return;  // a failed commit has already rolled it back
    try {
        db_->rollback();
    } catch (const PlatformError&) {
        // Closing the connection rolls back what is still open.
    }
}
