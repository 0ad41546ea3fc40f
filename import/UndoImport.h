#pragma once
// The past imports kept in the journal, and the undo of one of them: every
// field the import changed gets its old value back in one transaction,
// unless it was changed again since; the undo is itself journaled.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class Database;

struct JournalEntry {
    std::int64_t number = 0;
    std::string when;
    std::string user;
    std::string host;
    std::string file;
    std::array<std::int32_t, 2> ok{};
    std::array<std::int32_t, 2> ng{};
    std::int64_t undoes = 0;    // an undo: the entry it reverted
    std::int64_t undoneBy = 0;  // an import undone: the undo's entry
};

// Every entry, newest first; none when the database has no journal yet.
// Throws PlatformError (a journal table of the wrong shape, say).
std::vector<JournalEntry> ReadJournal(Database& db);

// The line of the history view: date and time, user, file name, the counts
// of both sheets, 取消済み when undone (取消 on an undo's own entry).
std::string JournalEntryLine(const JournalEntry& entry);

// A field the undo left as it is.
struct KeptField {
    std::string table;
    std::int64_t code = 0;
    std::int64_t id = 0;
    std::string field;
};

struct UndoResult {
    bool done = false;
    std::string message;  // why nothing was done
    std::int64_t undoEntry = 0;
    std::int64_t restored = 0;
    std::vector<KeptField> kept;
};

extern const char* const kKeptReason;  // 取込後に変更されているため元に戻せません

// Reverts entry `number` in one transaction. `afterLine` (tests) runs after
// each journal line was handled.
UndoResult UndoImport(Database& db, std::int64_t number,
                      const std::function<void(std::int64_t)>& afterLine = {});

// The error-list line of a kept field, in the columns of the import's list:
// 【契約内訳】(ID     )0000012345：年間金額は取込後に… + blanks to 76 columns.
std::string KeptFieldLine(const KeptField& kept);

class gMjMDB;
class ImportView;

// The undo as the window runs it: asks "選択した取込を元に戻してもよろしいですか",
// reverts entry `number` of the open database, says how it went and lists
// the kept fields in the error list (shown). True when the entry was undone.
bool RunUndoImport(gMjMDB& mdb, std::int64_t number, ImportView& view);
