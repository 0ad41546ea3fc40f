#pragma once
// The record-set component: one instance per query or table. Error outs are
// 0 on success, non-zero on failure, as every caller tests them.
//
// Open with an SQL statement reads the whole result (callers read MOVELAST
// and Count first). Open with a table name reads nothing until a key seek,
// which fetches only the matching row.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Database.h"
#include "FieldValue.h"

class RecordsetHelper {
  public:
    void Open(Database* connection, const std::string& source, int option, std::int32_t& err);
    // command: "MOVEFIRST", "MOVELAST", "MOVENEXT" (do nothing on an empty result),
    // or "=" with index "PrimaryKey" and the key values (err non-zero when no row matches).
    void Move(std::int16_t mode, const std::string& indexName, const std::string& command,
              const std::vector<FieldValue>& keys, std::int32_t& err);
    void SetField(const std::string& column, const FieldValue& value);
    void Update(std::int32_t& err);
    // Value of a column of the current row; throws PlatformError for an unknown
    // column or when there is no current row.
    FieldValue Field(const std::string& column) const;
    void Count(std::int32_t& count) const;
    bool BOF() const;
    bool IsEOF() const;  // EOF is a C macro

  private:
    Database* db_ = nullptr;
    bool isTable_ = false;
    std::string table_;
    std::vector<std::string> columns_;
    std::vector<std::vector<FieldValue>> rows_;
    long current_ = -1;                  // -1 before the first row; rows_.size() after the last
    std::optional<std::int64_t> rowid_;  // table mode: rowid of the sought row
    std::vector<std::pair<std::string, FieldValue>> staged_;
    int columnIndex(const std::string& column) const;
};
