#pragma once
// The PostgreSQL side of Database and Statement (libpq). Statements are
// prepared on the server; parameters and results travel as text. Every
// failure throws PlatformError with the SQLite result code that means the
// same to the callers (busy, read-only, no permission, …), so that the jobs
// report a server exactly as they report a file.

#include <libpq-fe.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Database.h"
#include "DatabaseSecrets.h"
#include "FieldValue.h"
#include "PlatformError.h"

class PgConnection {
  public:
    // Connects to the server a DataBaseName names (blanks around it are
    // dropped); a refused connection throws PlatformError naming the server
    // with libpq's reason, neither with any secret of the name.
    PgConnection(const std::string& name, bool readOnly);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    PGconn* handle() const { return conn_; }
    // Runs text of one or more statements (no parameters, no result rows
    // kept); returns the command tag of the last one ("COMMIT", "ROLLBACK", …).
    std::string exec(const std::string& sql);
    // Prepares `sql` (PostgreSQL dialect) under a new name and returns it.
    std::string prepare(const std::string& sql);
    // A statement's name whose statement is gone: freed on the server at the
    // next chance (a failed transaction refuses even that).
    void release(std::string name) { released_.push_back(std::move(name)); }
    bool inTransaction() const;
    // COPY … FROM STDIN: `next` fills one line of COPY's text format (with
    // its newline) and returns false after the last.
    void copyIn(const std::string& copySql, const std::function<bool(std::string&)>& next);
    long long changes() const { return changes_; }
    void setChanges(long long n) { changes_ = n; }
    // Throws the PlatformError for a failed result (or a lost connection).
    [[noreturn]] void fail(const PGresult* result, const std::string& context) const;
    PlatformError errorOf(const PGresult* result, const std::string& context) const;

    // Sends a prepared statement without waiting for its result: row
    // updates go one after another without a round trip each. The results
    // are read, and checked to have changed `expected` rows, before anything
    // else is sent (and every few hundred statements); the first failure is
    // thrown then.
    void sendDeferred(const std::string& name, int count, const char* const* values,
                      long long expected, DeferredFailure failure);
    // Reads the results of the deferred statements; throws the first failure
    // unless told not to (a rollback follows).
    void drain(bool throwing = true);

  private:
    void freeReleased();
    // A message of libpq or of the server without any secret of the name.
    std::string message(const std::string& text) const { return WithoutSecrets(text, secrets_); }
    std::vector<std::string> secrets_;
    bool inPipeline_ = false;
    struct Deferred {
        long long expected;  // rows the statement must change
        DeferredFailure failure;
    };
    std::vector<Deferred> pending_;

    PGconn* conn_ = nullptr;
    long long next_ = 0;
    long long changes_ = 0;
    std::vector<std::string> released_;
};

struct PgResultFree {
    void operator()(PGresult* r) const { PQclear(r); }
};
using PgResult = std::unique_ptr<PGresult, PgResultFree>;

class PgStatement {
  public:
    PgStatement(std::shared_ptr<PgConnection> connection, const std::string& sql);
    ~PgStatement();
    PgStatement(const PgStatement&) = delete;
    PgStatement& operator=(const PgStatement&) = delete;

    void bind(int index1, const FieldValue& value);
    void bindText(int index1, std::string_view text);
    bool step();
    bool moveToRow(long index0);
    // Runs a statement without result rows later (see PgConnection::sendDeferred).
    void runDeferred(long long expectedChanges, DeferredFailure failure);
    void reset();
    int columnCount() const;
    std::string columnName(int index0) const;
    FieldValue column(int index0) const;
    void columnInto(int index0, FieldValue& out) const;
    std::int64_t columnInt(int index0) const;
    void columnText(int index0, std::string& out) const;

  private:
    const PGresult* shape() const;  // the executed result, or the statement's description
    std::string& slot(int index1);

    std::shared_ptr<PgConnection> connection_;
    std::string name_;
    int parameters_ = 0;
    std::vector<std::string> values_;
    std::vector<char> isNull_;
    PgResult result_;
    mutable PgResult description_;
    bool executed_ = false;
    int row_ = -1;
};

// A number as PostgreSQL reads it back exactly: whole numbers without a
// decimal point (so that they fit an integer column), others in the
// shortest text that reads back to the same double.
std::string PgNumberText(double value);

// A value as a field of COPY's text format: \N for Null, and backslash,
// tab, newline and carriage return escaped.
void AppendCopyField(std::string& line, const FieldValue& value);
