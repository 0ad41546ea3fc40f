#pragma once
// The record-set component: one instance per query or table. Error outs are
// 0 on success, non-zero on failure, as every caller tests them.
//
// Open with an SQL statement reads the whole result (callers read MOVELAST
// and Count first). Open with a table name reads nothing until a key seek,
// which fetches only the matching row.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Database.h"
#include "FieldValue.h"
#include "PendingRows.h"
#include "RowBlocks.h"
#include "ServerRows.h"

class RecordsetHelper {
  public:
    RecordsetHelper() = default;
    // Sends the rows still waiting to be written to a server (see Update).
    ~RecordsetHelper();
    RecordsetHelper(const RecordsetHelper&) = delete;
    RecordsetHelper& operator=(const RecordsetHelper&) = delete;

    void Open(Database* connection, const std::string& source, int option, std::int32_t& err);
    // command: "MOVEFIRST", "MOVELAST", "MOVENEXT" (do nothing on an empty result),
    // or "=" with index "PrimaryKey" and the key values (err non-zero when no row matches).
    void Move(std::int16_t mode, const std::string& indexName, const std::string& command,
              const std::vector<FieldValue>& keys, std::int32_t& err);
    void SetField(const std::string& column, const FieldValue& value);
    // A column's position after a key seek found a row, for SetField by
    // position: a job writing the same fields row after row finds their
    // names once. Throws PlatformError for an unknown name. The positions
    // hold as long as the table's columns do, which a transaction ensures.
    int FieldIndex(const std::string& column) const { return columnIndex(column); }
    void SetField(int column, const FieldValue& value);
    void Update(std::int32_t& err);
    // One field the last Update really changed: its column, the value it
    // held and the value written.
    struct FieldChange {
        int column;
        FieldValue before;
        FieldValue after;
    };
    // Table mode: with `keep`, each Update lists the fields whose value it
    // changed (numbers compared by value, 1000 and 1000.0 being the same).
    void KeepChanges(bool keep) { keepChanges_ = keep; }
    const std::vector<FieldChange>& LastChanges() const { return changes_; }
    const std::string& ColumnName(int column) const {
        return columns_[static_cast<std::size_t>(column)];
    }
    // Value of a column of the current row; throws PlatformError for an unknown
    // column or when there is no current row.
    FieldValue Field(const std::string& column) const;
    // The same value without a copy; valid until the next move or open.
    const FieldValue& FieldRef(const std::string& column) const;
    // By position (FieldIndex); throws PlatformError as SetField(int, …) does.
    const FieldValue& FieldRef(int column) const;
    void Count(std::int32_t& count) const;
    bool BOF() const;
    bool IsEOF() const;  // EOF is a C macro

  private:
    Database* db_ = nullptr;
    bool isTable_ = false;
    std::string table_;
    std::vector<std::string> columns_;
    RowBlocks blocks_;  // the rows read, columns_.size() values each
    long rowCount_ = 0;
    long current_ = -1;                  // -1 before the first row; rowCount_ after the last
    std::optional<std::int64_t> rowid_;  // table mode: rowid of the sought row
    std::vector<std::pair<int, FieldValue>> staged_;  // column index, value
    std::vector<std::size_t> stagedAt_;  // per column: its place in staged_ plus one, or 0
    // Table mode: a job seeks and updates the same table row after row, so
    // each key seek (by number of key values) and each update (by the set of
    // columns it writes) is prepared once for the life of the record set.
    std::vector<std::unique_ptr<Statement>> seeks_;
    std::map<std::vector<int>, std::unique_ptr<Statement>> updates_;
    std::vector<int> written_;     // the columns of the update being made
    std::vector<int> keyColumns_;  // on a server: the key columns an update finds its row by
    // The table read once for a server's seeks (ServerRows.h).
    std::unique_ptr<ServerRows> serverRows_;
    long long seeksSinceRead_ = 0;
    long long seekSerial_ = -1;
    long cachedRow_ = -1;  // the current row's number in serverRows_, or -1
    bool seekFromServerRows(const std::vector<FieldValue>& keys, std::int32_t& err);
    bool readServerTable(long long serial);              // false: the table changed
    long findServerRow(const std::int64_t* keys) const;  // the row's number, or -1
    // A server's updates waiting to be sent many rows to one statement
    // (PendingRows.h).
    PendingRows pendingRows_;
    std::map<std::vector<int>, std::unique_ptr<Statement>> batchUpdates_;
    void sendPendingRows();
    void sendPendingRowsQuietly() noexcept;
    void clearStaged();
    const std::vector<int>& serverKeyColumns();
    Statement& updateStatement(const std::vector<int>& columns);
    bool keepChanges_ = false;
    std::vector<FieldChange> changes_;
    // Exact names of columns_ (the first of equal names); filled at the first look-up.
    mutable std::unordered_map<std::string, int> byName_;

    void reset(Database* connection);
    Statement* seekStatement(std::size_t keyCount);  // null: more keys than the table has
    int columnIndex(const std::string& column) const;
    bool hasCurrentRow() const { return current_ >= 0 && current_ < rowCount_; }
    const FieldValue& cell(long row, int column) const {
        return blocks_.cell(row, column, columns_.size());
    }
    FieldValue& cell(long row, int column) { return blocks_.cell(row, column, columns_.size()); }
};
