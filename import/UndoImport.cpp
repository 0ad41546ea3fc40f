#include "UndoImport.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Database.h"
#include "ImportJournal.h"
#include "ImportView.h"
#include "PlatformError.h"
#include "Transaction.h"
#include "gMjDisp.h"
#include "gMjMDB.h"

const char* const kKeptReason = "取込後に変更されているため元に戻せません";

namespace {

const char* const kContractTable = "浄化槽契約内訳マスタ";
const char* const kBillingTable = "浄化槽請求テーブル";
// Lines are read in slices: the journal table is written while the undo
// walks it, which a statement still stepping over it must not see.
constexpr std::int64_t kSliceLines = 8192;

std::int32_t Count(const FieldValue& v) {
    return FieldWhole<std::int32_t>(v, kJournalTable);
}

std::int64_t Number(const FieldValue& v) {
    return FieldWhole<std::int64_t>(v, kJournalTable);
}

// One journal line as stored: a record and the lists of its changed fields.
using Line = JournalRecordLine;

[[noreturn]] void ThrowUnreadableLine(const Line& line) {
    throw PlatformError(SQLITE_SCHEMA, std::string("取込履歴テーブル（") + kJournalLineTable +
                                           "）の形式が正しくありません\r\n行番号 " +
                                           std::to_string(line.number) + " を読み取れません");
}

// The fee columns an import writes: the only ones an undo writes.
bool ImportWrites(const std::string& table, const std::string& field) {
    static const std::vector<std::string> contract = {"年間金額", "作業回数", "1回分の金額"};
    static const std::vector<std::string> billing = [] {
        std::vector<std::string> fields;
        for (int month = 1; month <= 12; ++month) {
            fields.push_back("請求フラグ" + gMjDisp::FullWidthDigits(month));
            fields.push_back("請求金額" + gMjDisp::FullWidthDigits(month));
        }
        return fields;
    }();
    const std::vector<std::string>* fields = table == kContractTable  ? &contract
                                             : table == kBillingTable ? &billing
                                                                      : nullptr;
    return fields != nullptr && std::find(fields->begin(), fields->end(), field) != fields->end();
}

std::string KeyCondition() {
    return " WHERE \"得意先コード\" = ? AND \"ＩＤ\" = ?";
}

// The fields one set of lines names in one table, each set read with one
// prepared statement and restored with one per set of fields restored.
struct FieldSet {
    std::string table;
    std::size_t sheet = 0;
    std::vector<std::string> names;
    std::optional<Statement> read;
    // By the fields restored, '1' for each one ("11…1" when all are).
    std::map<std::string, Statement> writes;
};

class Undo {
  public:
    Undo(Database& db, std::int64_t number, const std::function<void(std::int64_t)>& afterLine)
        : db_(db), number_(number), afterLine_(afterLine) {}

    UndoResult Run() {
        UndoResult result;
        if (!db_.hasTable(kJournalTable)) {
            result.message = "取込履歴がありません";
            return result;
        }
        // The undo is journaled too: with the database's identity.
        EnsureJournalTables(db_);
        std::string file;
        {
            const std::vector<std::string> columns = db_.columnNames(kJournalTable);
            const bool identified =
                std::find(columns.begin(), columns.end(), kJournalDatabaseColumn) != columns.end();
            Statement entry =
                db_.prepare(std::string("SELECT \"取消対象番号\", \"取消番号\", \"ファイル名\", ") +
                            (identified ? "\"データベース識別子\"" : "NULL") +
                            " FROM \"浄化槽金額取込履歴\" WHERE \"取込番号\" = ?");
            entry.bind(1, number_);
            if (!entry.step()) {
                result.message = "選択した取込の履歴が見つかりません";
                return result;
            }
            if (!IsNull(entry.column(1))) {
                result.message = "選択した取込はすでに元に戻されています";
                return result;
            }
            if (!IsNull(entry.column(0))) {
                result.message = "取消の記録は元に戻せません";
                return result;
            }
            // An entry from before entries recorded their database is this one's.
            const FieldValue identity = entry.column(3);
            if (!IsNull(identity) && FieldText(identity) != JournalDatabaseIdentity(db_)) {
                result.message = "選択した取込は別のデータベースの履歴のため元に戻せません";
                return result;
            }
            file = FieldText(entry.column(2));
        }

        LoadLaterWrites();
        result.undoEntry = AddJournalEntry(db_, CurrentIdentity(), file, "", number_);
        JournalLineWriter journal(db_, result.undoEntry, 1);
        std::vector<Line> slice;
        std::int64_t below = INT64_MAX;
        std::int64_t handled = 0;
        // Last written first: a record the workbook revised twice goes back
        // through the value between.
        while (ReadSlice(below, slice)) {
            for (const Line& line : slice) {
                RestoreRecord(line, journal, result);
                if (afterLine_)
                    afterLine_(++handled);
            }
            below = slice.back().number;
        }
        journal.Flush();
        for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
            const auto i = static_cast<std::size_t>(sheet - 1);
            SetJournalCounts(db_, result.undoEntry, sheet, restored_[i], kept_[i]);
        }
        db_.execute("UPDATE \"浄化槽金額取込履歴\" SET \"取消番号\" = ? WHERE \"取込番号\" = ?",
                    {FieldValue{result.undoEntry}, FieldValue{number_}});
        result.done = true;
        return result;
    }

  private:
    static std::string RecordKey(std::string_view table, std::int64_t code, std::int64_t id) {
        std::string key(table);
        key += '\n';
        key += std::to_string(code);
        key += '\n';
        key += std::to_string(id);
        return key;
    }

    // The fields that imports after this one wrote and that are not undone:
    // such a field holds the later import's value even when it equals what
    // this one wrote, and going back would lose that import.
    void LoadLaterWrites() {
        Statement st = db_.prepare(
            "SELECT l.\"テーブル名\", l.\"得意先コード\", l.\"ＩＤ\", l.\"項目名\" "
            "FROM \"浄化槽金額取込履歴明細\" AS l INNER JOIN \"浄化槽金額取込履歴\" AS e "
            "ON e.\"取込番号\" = l.\"取込番号\" WHERE l.\"取込番号\" > ? "
            "AND e.\"取消対象番号\" IS NULL AND e.\"取消番号\" IS NULL");
        st.bindInt(1, number_);
        std::string table;
        std::string names;
        while (st.step()) {
            st.columnText(0, table);
            st.columnText(3, names);
            std::string& written = laterWrites_[RecordKey(table, st.columnInt(1), st.columnInt(2))];
            written += '\t';
            written += names;
            written += '\t';
        }
    }

    bool WrittenLater(const Line& line, const std::string& field) const {
        if (laterWrites_.empty())
            return false;
        const auto found = laterWrites_.find(RecordKey(line.table, line.code, line.id));
        return found != laterWrites_.end() &&
               found->second.find('\t' + field + '\t') != std::string::npos;
    }

    // The next lines of the entry below line `below`, last written first.
    bool ReadSlice(std::int64_t below, std::vector<Line>& slice) {
        Statement& st = db_.cached(
            "SELECT \"行番号\", \"テーブル名\", \"得意先コード\", \"ＩＤ\", \"項目数\", "
            "\"項目名\", \"変更前\", \"変更後\" FROM \"浄化槽金額取込履歴明細\" "
            "WHERE \"取込番号\" = ? AND \"行番号\" < ? ORDER BY \"行番号\" DESC LIMIT ?");
        st.bindInt(1, number_);
        st.bindInt(2, below);
        st.bindInt(3, kSliceLines);
        // The lines of the slice before are reused: their texts keep their room.
        std::size_t n = 0;
        try {
            while (st.step()) {
                if (n == slice.size())
                    slice.emplace_back();
                Line& line = slice[n++];
                line.number = st.columnInt(0);
                st.columnText(1, line.table);
                line.code = st.columnInt(2);
                line.id = st.columnInt(3);
                line.fields = st.columnInt(4);
                st.columnText(5, line.names);
                st.columnText(6, line.before);
                st.columnText(7, line.after);
            }
        } catch (...) {
            st.reset();
            throw;
        }
        st.reset();
        slice.resize(n);
        return n > 0;
    }

    // The statements of the fields `line` names; the first line naming them
    // checks that the table still has every one, or the undo would stop half
    // way (it is rolled back whole then).
    FieldSet& Fields(const Line& line) {
        key_.assign(line.table);
        key_ += '\n';
        key_ += line.names;
        auto found = sets_.find(key_);
        if (found != sets_.end())
            return found->second;
        if (!SplitJournalList(line.names, static_cast<std::size_t>(line.fields), items_) ||
            line.fields < 1)
            ThrowUnreadableLine(line);
        FieldSet set;
        set.table = line.table;
        set.sheet = line.table == kContractTable ? 0 : 1;
        const bool knownTable = line.table == kContractTable || line.table == kBillingTable;
        const std::vector<std::string> columns =
            knownTable ? db_.columnNames(line.table) : std::vector<std::string>();
        for (const std::string_view item : items_) {
            const std::string name(item);
            if (std::find(columns.begin(), columns.end(), name) == columns.end()) {
                throw PlatformError(SQLITE_SCHEMA, "取込履歴の項目がデータベースにありません\r\n" +
                                                       line.table + "：" + name);
            }
            // Only what an import writes is put back, whatever a line names.
            if (!ImportWrites(line.table, name)) {
                throw PlatformError(SQLITE_SCHEMA,
                                    "取込履歴に取込で書き込まない項目があるため元に戻せません\r\n" +
                                        line.table + "：" + name);
            }
            if (std::find(set.names.begin(), set.names.end(), name) != set.names.end())
                ThrowUnreadableLine(line);
            set.names.push_back(name);
        }
        std::string sql = "SELECT ";
        for (std::size_t i = 0; i < set.names.size(); ++i)
            sql += (i == 0 ? "" : ", ") + QuoteSqlName(set.names[i]);
        sql += " FROM " + QuoteSqlName(set.table) + KeyCondition();
        set.read.emplace(db_.prepare(sql));
        return sets_.emplace(key_, std::move(set)).first->second;
    }

    Statement& Write(FieldSet& set, const std::string& restoring) {
        auto found = set.writes.find(restoring);
        if (found != set.writes.end())
            return found->second;
        std::string sql = "UPDATE " + QuoteSqlName(set.table) + " SET ";
        bool first = true;
        for (std::size_t i = 0; i < set.names.size(); ++i) {
            if (restoring[i] == '1') {
                sql += (first ? "" : ", ") + QuoteSqlName(set.names[i]) + " = ?";
                first = false;
            }
        }
        sql += KeyCondition();
        return set.writes.emplace(restoring, db_.prepare(sql)).first->second;
    }

    // One line: a field gets its old value back only while it still holds
    // what the import wrote.
    void RestoreRecord(const Line& line, JournalLineWriter& journal, UndoResult& result) {
        FieldSet& set = Fields(line);
        const std::size_t n = set.names.size();
        if (line.fields != static_cast<std::int64_t>(n))
            ThrowUnreadableLine(line);
        before_.resize(n);
        after_.resize(n);
        now_.resize(n);
        if (!SplitJournalList(line.before, n, items_))
            ThrowUnreadableLine(line);
        for (std::size_t i = 0; i < n; ++i) {
            if (!ReadJournalValue(items_[i], before_[i]))
                ThrowUnreadableLine(line);
        }
        if (!SplitJournalList(line.after, n, items_))
            ThrowUnreadableLine(line);
        for (std::size_t i = 0; i < n; ++i) {
            if (!ReadJournalValue(items_[i], after_[i]))
                ThrowUnreadableLine(line);
        }

        Statement& read = *set.read;
        read.bindInt(1, line.code);
        read.bindInt(2, line.id);
        bool found = false;
        try {
            found = read.step();
            if (found) {
                for (std::size_t i = 0; i < n; ++i)
                    read.columnInto(static_cast<int>(i), now_[i]);
            }
        } catch (...) {
            read.reset();
            throw;
        }
        read.reset();

        restoring_.assign(n, '0');
        bool any = false;
        for (std::size_t i = 0; i < n; ++i) {
            if (found && SameFieldValue(now_[i], after_[i]) && !WrittenLater(line, set.names[i])) {
                restoring_[i] = '1';
                any = true;
                ++restored_[set.sheet];
                ++result.restored;
            } else {
                result.kept.push_back({line.table, line.code, line.id, set.names[i]});
                ++kept_[set.sheet];
            }
        }
        if (!any)
            return;
        Statement& write = Write(set, restoring_);
        JournalRecordLine& undone = journal.Open(line.table, line.code, line.id);
        int at = 1;
        for (std::size_t i = 0; i < n; ++i) {
            if (restoring_[i] == '1') {
                write.bind(at++, before_[i]);
                undone.AddField(set.names[i], now_[i], before_[i]);
            }
        }
        write.bindInt(at++, line.code);
        write.bindInt(at, line.id);
        try {
            while (write.step()) {
            }
        } catch (...) {
            write.reset();
            throw;
        }
        write.reset();
        journal.Close();
    }

    Database& db_;
    std::int64_t number_;
    const std::function<void(std::int64_t)>& afterLine_;
    std::unordered_map<std::string, FieldSet> sets_;
    // Per record (table, code, ID): the field names later live imports
    // wrote, each between tabs.
    std::unordered_map<std::string, std::string> laterWrites_;
    std::array<std::int32_t, 2> restored_{};
    std::array<std::int32_t, 2> kept_{};
    // Room reused from line to line.
    std::string key_;
    std::string restoring_;
    std::vector<std::string_view> items_;
    std::vector<FieldValue> before_;
    std::vector<FieldValue> after_;
    std::vector<FieldValue> now_;
};

}  // namespace

std::vector<JournalEntry> ReadJournal(Database& db) {
    std::vector<JournalEntry> entries;
    if (!db.hasTable(kJournalTable))
        return entries;
    CheckJournalTables(db);
    Statement st = db.prepare(
        "SELECT \"取込番号\", \"取込日時\", \"ユーザー名\", \"コンピューター名\", \"ファイル名\", "
        "\"契約内訳取込ＯＫ\", \"契約内訳取込ＮＧ\", \"請求情報取込ＯＫ\", \"請求情報取込ＮＧ\", "
        "\"取消対象番号\", \"取消番号\" FROM \"浄化槽金額取込履歴\" ORDER BY \"取込番号\" DESC");
    while (st.step()) {
        JournalEntry& e = entries.emplace_back();
        e.number = Number(st.column(0));
        e.when = FieldText(st.column(1));
        e.user = FieldText(st.column(2));
        e.host = FieldText(st.column(3));
        e.file = FieldText(st.column(4));
        e.ok = {Count(st.column(5)), Count(st.column(7))};
        e.ng = {Count(st.column(6)), Count(st.column(8))};
        e.undoes = Number(st.column(9));
        e.undoneBy = Number(st.column(10));
    }
    return entries;
}

std::string JournalEntryLine(const JournalEntry& entry) {
    std::string user = entry.user;
    const auto slash = entry.file.find_last_of('/');
    std::string file = slash == std::string::npos ? entry.file : entry.file.substr(slash + 1);
    std::string state = entry.undoneBy != 0 ? "取消済み" : entry.undoes != 0 ? "取消" : "";
    auto count = [](std::int32_t n) { return gMjDisp::FormatNumberRight(n, 7, 0, true); };
    return entry.when + " " + gMjDisp::FitToByteWidth(user, 12) + " " +
           gMjDisp::FitToByteWidth(file, 32) + " 契約" + count(entry.ok[0]) + "/" +
           count(entry.ng[0]) + " 請求" + count(entry.ok[1]) + "/" + count(entry.ng[1]) + " " +
           gMjDisp::FitToByteWidth(state, 8);
}

UndoResult UndoImport(Database& db, std::int64_t number,
                      const std::function<void(std::int64_t)>& afterLine) {
    UndoResult result;
    TransactionGuard transaction(db);
    try {
        transaction.BeginOrThrow();
        result = Undo(db, number, afterLine).Run();
        if (result.done) {
            transaction.CommitOrThrow();
        } else {
            transaction.Rollback();
        }
    } catch (const PlatformError& e) {
        transaction.Rollback();
        result = UndoResult{};
        result.message = e.description();
    }
    return result;
}

std::string KeptFieldLine(const KeptField& kept) {
    const std::string label = kept.table == kContractTable ? "【契約内訳】" : "【請求情報】";
    std::string id = "ID" + std::to_string(kept.id);
    const std::string code = gMjDisp::ZeroFillText(std::to_string(kept.code), 10);
    std::string message = kept.field + "は" + kKeptReason;
    return label + "(" + gMjDisp::FitToByteWidth(id, 7) + ")" + code + "：" +
           gMjDisp::FitToByteWidth(message, 76);
}

bool RunUndoImport(gMjMDB& mdb, std::int64_t number, ImportView& view) {
    MessageSink& messages = view.messages();
    Database* db = mdb.gDatabase();
    if (db == nullptr)
        return false;
    if (!messages.confirm("選択した取込を元に戻してもよろしいですか"))
        return false;
    view.setBusy(true);
    view.clearErrorList();
    view.setErrorListVisible(false);
    const UndoResult result = UndoImport(*db, number);
    view.setBusy(false);
    if (!result.done) {
        messages.warn(result.message);
        return false;
    }
    const std::string counts =
        "\r\n\r\n　元に戻した項目：" +
        gMjDisp::FormatNumberRight(static_cast<double>(result.restored), 8, 0, true) + " 件";
    if (result.kept.empty()) {
        messages.inform("取込を元に戻しました" + counts);
        return true;
    }
    for (const KeptField& kept : result.kept)
        view.addErrorLine(KeptFieldLine(kept));
    view.setErrorListVisible(true);
    messages.warn("取込を元に戻しました\r\n元に戻せなかった項目を確認してください" + counts +
                  "\r\n　元に戻せなかった項目：" +
                  gMjDisp::FormatNumberRight(static_cast<double>(result.kept.size()), 8, 0, true) +
                  " 件");
    return true;
}
