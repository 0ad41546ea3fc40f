#pragma once
// One connection to the septic-tank database: an SQLite file, or a
// PostgreSQL server when the name is a connection URI or libpq's key=value
// text (DatabaseName.h). Statements are written in Jet SQL and translated
// for the engine (see JetSql.h) before they are prepared. Every failure
// throws PlatformError with SQLite's result code as the number (a server's
// errors are given the code of the same meaning).

#include <sqlite3.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FieldValue.h"
#include "JetSql.h"
#include "Statement.h"

// A code of our own beside SQLite's: the connection to the server was lost
// (an extended code of SQLITE_IOERR, so that it still reads as an I/O failure).
constexpr int kServerConnectionLost = SQLITE_IOERR | (200 << 8);

class PgConnection;
class PgStatement;

class Database {
  public:
    // Opens an existing SQLite file read-write (or read-only); never creates one.
    // A Jet/Access file, a missing file or a file that is not SQLite throws
    // PlatformError with a description naming the path. A server name
    // connects to the server instead (read-only: every transaction read-only).
    Database(const std::string& path, bool readOnly);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& path() const { return path_; }
    // The SQLite connection; null on a PostgreSQL server.
    sqlite3* handle() const { return db_; }
    SqlDialect dialect() const { return pg_ ? SqlDialect::PostgreSQL : SqlDialect::SQLite; }
    // Whether rows have a rowid to find them again by (SQLite) or only their key.
    bool hasRowid() const { return !pg_; }

    // Prepare Jet SQL (translated) with optional bound parameters.
    Statement prepare(const std::string& jetSql) const;
    // A prepared statement kept for the connection's life, reset and with its
    // parameters cleared, for statements run again and again (key seeks,
    // row updates). Step it to the end or reset it before the next use.
    Statement& cached(const std::string& jetSql) const;
    // Run a statement without result rows.
    void execute(const std::string& jetSql, const std::vector<FieldValue>& params = {}) const;
    // Run several statements separated by ";" (schema scripts), untranslated.
    void executeScript(const std::string& sql) const;
    // Rows written by the last INSERT, UPDATE or DELETE.
    long long changes() const;

    // Server only: appends every row `source` steps through to `table`, in
    // one COPY (the values in `columns`' order).
    void copyRows(const std::string& table, const std::vector<std::string>& columns,
                  Statement& source);

    // Catalogue: names of the tables, in catalogue order.
    std::vector<std::string> tableNames() const;
    bool hasTable(const std::string& name) const;  // exact, case-sensitive
    // Columns of the declared PRIMARY KEY, in declaration order (empty if none).
    std::vector<std::string> primaryKey(const std::string& table) const;
    std::vector<std::string> columnNames(const std::string& table) const;
    // Server only: each column's type as the server spells it ("numeric",
    // "bigint", …), in the order of columnNames; empty on a file.
    std::vector<std::string> columnTypes(const std::string& table) const;

    void begin();      // BEGIN IMMEDIATE: the one writer until commit or rollback
    void beginRead();  // BEGIN DEFERRED: one consistent view, no write lock asked for
    void commit();     // COMMIT; when it fails, the transaction is rolled back
    void rollback();   // ROLLBACK
    bool inTransaction() const;
    // Changes whenever a transaction begins or ends: what was read under one
    // number is the data as it stood since.
    long long transactionSerial() const { return transactionSerial_; }

    // Throws PlatformError(rc, context + SQLite's message) when rc is an error.
    void check(int rc, const std::string& context) const;

  private:
    struct TableInfo {
        bool exists = false;
        std::vector<std::string> columns;
        std::vector<std::string> primaryKey;
        std::vector<std::string> types;  // server only: each column's type
    };
    // Catalogue facts per table, dropped whenever the schema changes.
    const TableInfo& tableInfo(const std::string& table) const;

    const TableInfo& serverTableInfo(const std::string& table) const;
    // A write transaction's page cache, and the connection's own between them.
    void enlargeCacheForWrite();
    void restoreCache();

    std::string path_;
    sqlite3* db_ = nullptr;
    // A server connection instead of db_; shared with its statements, which
    // may outlive this object (as SQLite's do).
    std::shared_ptr<PgConnection> pg_;
    mutable std::map<std::string, std::unique_ptr<Statement>> cache_;
    mutable std::map<std::string, TableInfo> tables_;
    mutable long long schemaVersion_ = -1;
    long long transactionSerial_ = 0;
    std::optional<long long> ownCacheSize_;  // set while a write transaction has the large cache
    mutable long long tablesSerial_ = -1;    // the serial tables_ was filled under (server)
};

// A table or column name quoted for SQLite ("a""b" for a"b).
std::string QuoteSqlName(const std::string& name);
