#pragma once
// One prepared statement of a Database: parameters, stepping through the
// rows and reading their values, the same on a file and on a server.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "FieldValue.h"

class Database;
class PgStatement;
class PlatformError;
// What a failure of a statement run later becomes.
using DeferredFailure = PlatformError (*)(const PlatformError&);

// Owner of one prepared statement.
class Statement {
  public:
    Statement(const Database& db, sqlite3_stmt* stmt);
    Statement(const Database& db, std::unique_ptr<PgStatement> pg);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int index1, const FieldValue& value);  // 1-based
    void bindInt(int index1, std::int64_t value);
    // The text is not copied: it must stay put until the statement is
    // stepped to its end or reset.
    void bindText(int index1, std::string_view text);
    bool step();  // true while a row is available
    // A server's result is whole once stepped into: makes its row `index0`
    // the current one; false past its end, and always on a file.
    bool moveToRow(long index0);
    // Runs a statement without result rows that must change exactly
    // `expectedChanges` rows. A file runs it at once; a server sends it
    // without waiting and reports a failure at its next statement or commit,
    // passed through `failure` when given (so that it says what failed).
    void runDeferred(long long expectedChanges, DeferredFailure failure = nullptr);
    void reset();
    // The same, keeping the parameters: for a statement whose every
    // parameter is set again before each run (no text bound without a copy
    // is left behind then).
    void rewind();
    int columnCount() const;
    std::string columnName(int index0) const;
    FieldValue column(int index0) const;
    // The same value stored into `out`, reusing the room of a text it holds.
    void columnInto(int index0, FieldValue& out) const;
    std::int64_t columnInt(int index0) const;             // Null reads 0
    void columnText(int index0, std::string& out) const;  // Null reads ""
    sqlite3_stmt* handle() const { return stmt_; }        // null on a server

  private:
    const Database* db_;
    sqlite3_stmt* stmt_;
    std::unique_ptr<PgStatement> pg_;
};
