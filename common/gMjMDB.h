#pragma once
// The program's one database connection: open, close, transactions.
// Results are 0 or the error number, so that callers branch on a number and
// show it in messages; nothing here throws.

#include <cstdint>
#include <memory>
#include <string>

#include "Database.h"
#include "MessageSink.h"

class gMjMDB {
  public:
    explicit gMjMDB(MessageSink& messages) : messages_(messages) {}

    // Opens the database file; on failure shows "(" number "):" description with
    // OK only, no icon and the program's default title, and returns the number.
    // A successful open replaces the previous connection.
    std::int32_t OpenMdb(std::int16_t slot, const std::string& path, bool readOnly);
    // Closes everything; never fails visibly.
    bool CloseDatabase();

    std::int32_t BeginTransaction();
    std::int32_t CommitTransaction();
    std::int32_t RollbackTransaction();

    // The connection handed to every record-set open; null when closed.
    Database* gDbObject() const { return gDatabase_.get(); }
    Database* gDatabase() const { return gDatabase_.get(); }
    std::int16_t gWorkspaceNo() const { return gWorkspaceNo_; }

  private:
    MessageSink& messages_;
    std::unique_ptr<Database> gDatabase_;
    std::int16_t gWorkspaceNo_ = 0;
};
