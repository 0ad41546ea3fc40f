#pragma once
// The import's journal in the database: one entry per import (when, who,
// which workbook, the counts of each sheet) and one line per record whose
// values the import changed, written inside each sheet's transaction so that
// the journal holds exactly what was stored.

#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FieldValue.h"

class Database;
class PlatformError;
class RecordsetHelper;
class Statement;

extern const char* const kJournalTable;      // 浄化槽金額取込履歴
extern const char* const kJournalLineTable;  // 浄化槽金額取込履歴明細
// The database's own identity, made with the journal; each entry records it.
extern const char* const kJournalDatabaseTable;   // 浄化槽金額取込履歴識別
extern const char* const kJournalDatabaseColumn;  // データベース識別子

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
// and checks that tables found hold every column the journal writes; gives
// the database its identity and a journal made before the column for it. Throws
// PlatformError with a message for the user.
void EnsureJournalTables(Database& db);
// The same check of tables that exist.
void CheckJournalTables(const Database& db);
// The identity EnsureJournalTables gave the database; empty before that.
std::string JournalDatabaseIdentity(const Database& db);

// Rethrows a failure of the journal as the message the user sees.
[[noreturn]] void ThrowJournalError(int number, const std::string& detail);
// The same message for a failure found later (a server's deferred write).
PlatformError JournalFailure(const PlatformError& error);

// Adds a new entry and returns its number.
std::int64_t AddJournalEntry(Database& db, const JournalIdentity& who, const std::string& file,
                             const std::string& sha256, std::int64_t undoes);
// Stores the counts of sheet 1 or 2 in an entry.
void SetJournalCounts(Database& db, std::int64_t entry, std::int16_t sheet, std::int32_t ok,
                      std::int32_t ng);

// A journal line is one changed record: its table and key, and its changed
// fields as three lists in the same order, the items separated by tabs: the
// names, the old values and the new values. A value is written as a text
// that reads back as exactly what was held:
//   NULL            Null
//   -12             a whole number: sign and digits only
//   1000.0, 0.1     a real: a whole one below 2^53 in size as its digits
//                   and ".0", any other as the shortest text that reads
//                   back bit for bit, ".0" added when that has no point,
//                   exponent or letter (-0.0, 1e+300, inf and nan so)
//   "a\tb"          a text between double quotes, with backslash, tab,
//                   line feed and carriage return written \\ \t \n \r
void AppendJournalValue(std::string& out, const FieldValue& value);
// The value of one item; false when `text` is no value's text.
bool ReadJournalValue(std::string_view text, FieldValue& out);
// The `count` items of a tab-separated list into `items`; false when the
// list has another number of items.
bool SplitJournalList(std::string_view list, std::size_t count,
                      std::vector<std::string_view>& items);

// One journal line: a changed record (its table and key) and the lists of
// its changed fields. `entry` and `number` are its place as stored (取込番号,
// 行番号): read back with the line; a line being written is numbered by the
// writer instead.
struct JournalRecordLine {
    std::int64_t entry = 0;
    std::int64_t number = 0;
    std::string table;
    std::int64_t code = 0;
    std::int64_t id = 0;
    std::int64_t fields = 0;
    std::string names;
    std::string before;
    std::string after;
    void AddField(std::string_view name, const FieldValue& was, const FieldValue& now);
};

// Appends the lines of one entry, many lines per statement: a statement per
// line would cost more than the import's own writes.
class JournalLineWriter {
  public:
    JournalLineWriter(Database& db, std::int64_t entry, std::int64_t firstLine);
    // The line of record `code`/`id` of `table`, without fields yet; valid
    // until the next Open or Flush.
    JournalRecordLine& Open(std::string_view table, std::int64_t code, std::int64_t id);
    // Keeps the opened line when it has a field; writes a batch when enough
    // are waiting (throws PlatformError).
    void Close();
    // Writes the lines still waiting: before the entry's counts and the commit.
    void Flush();
    std::int64_t NextLine() const { return next_; }

  private:
    void Write(Statement& insert, std::size_t count);

    Database& db_;
    std::int64_t entry_;
    std::int64_t next_;
    // The lines of a batch; their texts keep their room from batch to batch.
    std::vector<JournalRecordLine> pending_;
    std::size_t waiting_ = 0;
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
    // Off only to measure what the journal costs: the import then hashes
    // nothing and writes no entry and no line. Set before Start.
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
    bool hashPending_ = false;  // the entry's SHA256 is stored at the end of its sheet
    std::optional<JournalLineWriter> writer_;  // of the sheet under way
};
