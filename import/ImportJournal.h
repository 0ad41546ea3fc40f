#pragma once
// The import's journal in the database: one entry per import (when, who,
// which workbook, the counts of each sheet) and one line per field whose
// value the import changed, written inside each sheet's transaction so that
// the journal holds exactly what was stored.

#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FieldValue.h"

class Database;
class RecordsetHelper;
class Statement;

extern const char* const kJournalTable;      // 浄化槽金額取込履歴
extern const char* const kJournalLineTable;  // 浄化槽金額取込履歴明細

// When and by whom: local time "yyyy/mm/dd hh:mm:ss", the login name of the
// user running the program and the workstation's host name.
struct JournalIdentity {
    std::string when;
    std::string user;
    std::string host;
};
JournalIdentity CurrentIdentity();

// SHA-256 of a file's bytes in lower-case hex; empty when it cannot be read.
std::string FileSha256(const std::string& path);

// Creates both journal tables when missing, inside the caller's transaction,
// and checks that tables found hold every column the journal writes. Throws
// PlatformError with a message for the user.
void EnsureJournalTables(Database& db);
// The same check of tables that exist.
void CheckJournalTables(const Database& db);

// Rethrows a failure of the journal as the message the user sees.
[[noreturn]] void ThrowJournalError(int number, const std::string& detail);

// Adds a new entry and returns its number.
std::int64_t AddJournalEntry(Database& db, const JournalIdentity& who, const std::string& file,
                             const std::string& sha256, std::int64_t undoes);
// Stores the counts of sheet 1 or 2 in an entry.
void SetJournalCounts(Database& db, std::int64_t entry, std::int16_t sheet, std::int32_t ok,
                      std::int32_t ng);

// Appends the lines of one entry, many lines per statement: an import
// journals a line for every changed field, and a statement per line would
// cost more than the import's own writes.
class JournalLineWriter {
  public:
    JournalLineWriter(Database& db, std::int64_t entry, std::int64_t firstLine);
    // Buffers the line; writes a batch when enough are waiting (throws
    // PlatformError).
    void Add(std::string_view table, std::int64_t code, std::int64_t id, std::string_view field,
             const FieldValue& before, const FieldValue& after);
    // Writes the lines still waiting: before the entry's counts and the commit.
    void Flush();
    std::int64_t NextLine() const { return next_; }

  private:
    struct Pending {
        int table;
        int field;
        std::int64_t code;
        std::int64_t id;
        FieldValue before;
        FieldValue after;
    };
    int Intern(std::string_view name);
    void Write(Statement& insert, std::size_t from, std::size_t count);

    Database& db_;
    std::int64_t entry_;
    std::int64_t next_;
    std::vector<std::string> names_;  // table and field names, each once
    std::vector<Pending> pending_;
};

// What an F4 import journals: the entry is made in sheet 1's transaction,
// each sheet's changed fields and counts in that sheet's.
class ImportJournal {
  public:
    // Before the first sheet: who, when, and the workbook's path and hash.
    void Start(const std::string& path);
    // First thing in a sheet's transaction (throws PlatformError).
    void BeginSheet(Database& db, std::int16_t sheet);
    // After a row was written: the fields `record`'s last Update changed.
    void Record(std::string_view table, std::int64_t code, std::int64_t id,
                const RecordsetHelper& record);
    // Last thing before the sheet's commit.
    void EndSheet(Database& db, std::int16_t sheet, std::int32_t ok, std::int32_t ng);
    // The entry of the import under way (0 before sheet 1 began).
    std::int64_t Entry() const { return entry_; }
    // Off only to measure what the journal costs: the import then writes
    // no entry and no line.
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Enabled() const { return enabled_; }

  private:
    std::string path_;
    // Hashed on a second thread while the contract sheet is read: reading the
    // whole workbook once more would otherwise add to every import.
    std::shared_future<std::string> sha256_;
    JournalIdentity who_;
    bool enabled_ = true;
    std::int64_t entry_ = 0;
    std::int64_t nextLine_ = 1;
    std::optional<JournalLineWriter> writer_;  // of the sheet under way
};
