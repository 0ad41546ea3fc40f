#include "UndoImport.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "Database.h"
#include "ImportJournal.h"
#include "ImportView.h"
#include "PlatformError.h"
#include "RecordsetHelper.h"
#include "Transaction.h"
#include "gMjDisp.h"
#include "gMjMDB.h"

const char* const kKeptReason = "取込後に変更されているため元に戻せません";

namespace {

const char* const kContractTable = "浄化槽契約内訳マスタ";
const char* const kBillingTable = "浄化槽請求テーブル";
// Lines are read in slices: the journal table is written while the undo
// walks it, which a statement still stepping over it must not see.
constexpr std::int64_t kSliceLines = 4096;

std::int32_t Count(const FieldValue& v) {
    return static_cast<std::int32_t>(FieldNumber(v));
}

std::int64_t Number(const FieldValue& v) {
    return static_cast<std::int64_t>(FieldNumber(v));
}

struct Line {
    std::int64_t number = 0;
    std::string table;
    std::int64_t code = 0;
    std::int64_t id = 0;
    std::string field;
    FieldValue before;
    FieldValue after;
};

// Every table and field the entry's lines name must still be there, or the
// undo would stop half way.
void CheckLineFields(Database& db, std::int64_t number) {
    Statement names = db.prepare(
        "SELECT DISTINCT \"テーブル名\", \"項目名\" FROM \"浄化槽金額取込履歴明細\" "
        "WHERE \"取込番号\" = ?");
    names.bind(1, number);
    while (names.step()) {
        const std::string table = FieldText(names.column(0));
        const std::string field = FieldText(names.column(1));
        bool known = table == kContractTable || table == kBillingTable;
        if (known) {
            const std::vector<std::string> columns = db.columnNames(table);
            known = std::find(columns.begin(), columns.end(), field) != columns.end() &&
                    field != "得意先コード" && field != "ＩＤ";
        }
        if (!known) {
            throw PlatformError(SQLITE_SCHEMA, "取込履歴の項目がデータベースにありません\r\n" +
                                                   table + "：" + field);
        }
    }
}

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
        CheckJournalTables(db_);
        std::string file;
        {
            Statement entry = db_.prepare(
                "SELECT \"取消対象番号\", \"取消番号\", \"ファイル名\" FROM \"浄化槽金額取込履歴\" "
                "WHERE \"取込番号\" = ?");
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
            file = FieldText(entry.column(2));
        }
        CheckLineFields(db_, number_);

        result.undoEntry = AddJournalEntry(db_, CurrentIdentity(), file, "", number_);
        JournalLineWriter journal(db_, result.undoEntry, 1);
        std::array<std::int32_t, 2> restored{};
        std::array<std::int32_t, 2> kept{};
        std::vector<Line> slice;
        std::int64_t below = INT64_MAX;
        std::int64_t handled = 0;
        while (ReadSlice(below, slice)) {
            // The lines of one record follow each other: one seek and one
            // update per record.
            for (std::size_t first = 0; first < slice.size();) {
                std::size_t last = first + 1;
                while (last < slice.size() && slice[last].code == slice[first].code &&
                       slice[last].id == slice[first].id &&
                       slice[last].table == slice[first].table) {
                    ++last;
                }
                RestoreRecord(slice, first, last, journal, result, restored, kept);
                if (afterLine_) {
                    for (std::size_t i = first; i < last; ++i)
                        afterLine_(++handled);
                }
                first = last;
            }
            below = slice.back().number;
        }
        journal.Flush();
        for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
            const auto i = static_cast<std::size_t>(sheet - 1);
            SetJournalCounts(db_, result.undoEntry, sheet, restored[i], kept[i]);
        }
        db_.execute("UPDATE \"浄化槽金額取込履歴\" SET \"取消番号\" = ? WHERE \"取込番号\" = ?",
                    {FieldValue{result.undoEntry}, FieldValue{number_}});
        result.done = true;
        return result;
    }

  private:
    // The next lines of the entry below line `below`, last written first.
    bool ReadSlice(std::int64_t below, std::vector<Line>& slice) {
        Statement& st = db_.cached(
            "SELECT \"行番号\", \"テーブル名\", \"得意先コード\", \"ＩＤ\", \"項目名\", "
            "\"変更前\", "
            "\"変更後\" FROM \"浄化槽金額取込履歴明細\" WHERE \"取込番号\" = ? AND \"行番号\" < ? "
            "ORDER BY \"行番号\" DESC LIMIT ?");
        st.bind(1, number_);
        st.bind(2, below);
        st.bind(3, kSliceLines);
        // The lines of the slice before are reused: their texts keep their room.
        std::size_t n = 0;
        while (st.step()) {
            if (n == slice.size())
                slice.emplace_back();
            Line& line = slice[n++];
            line.number = st.columnInt(0);
            st.columnText(1, line.table);
            line.code = st.columnInt(2);
            line.id = st.columnInt(3);
            st.columnText(4, line.field);
            st.columnInto(5, line.before);
            st.columnInto(6, line.after);
        }
        st.reset();
        slice.resize(n);
        return n > 0;
    }

    // Lines [first, last) of one record, last written first. A field gets
    // its old value back only while it still holds what the import wrote.
    void RestoreRecord(const std::vector<Line>& lines, std::size_t first, std::size_t last,
                       JournalLineWriter& journal, UndoResult& result,
                       std::array<std::int32_t, 2>& restored, std::array<std::int32_t, 2>& kept) {
        const Line& head = lines[first];
        const std::size_t sheet = head.table == kContractTable ? 0 : 1;
        RecordsetHelper& record = Record(head.table);
        std::int32_t err = 0;
        record.Move(1, "PrimaryKey", "=", {FieldValue{head.code}, FieldValue{head.id}}, err);
        if (err != 0 && err != SQLITE_NOTFOUND)
            throw PlatformError(err, "取込を元に戻せません");
        // What each field holds once the lines before have been undone (a
        // workbook may revise one record twice).
        std::vector<std::pair<const std::string*, const FieldValue*>> now;
        auto current = [&](const std::string& field) -> const FieldValue& {
            for (auto it = now.rbegin(); it != now.rend(); ++it) {
                if (*it->first == field)
                    return *it->second;
            }
            return record.FieldRef(field);
        };
        bool staged = false;
        for (std::size_t i = first; i < last; ++i) {
            const Line& line = lines[i];
            if (err == 0 && SameFieldValue(current(line.field), line.after)) {
                record.SetField(line.field, line.before);
                now.emplace_back(&line.field, &line.before);
                staged = true;
                journal.Add(line.table, line.code, line.id, line.field, line.after, line.before);
                ++restored[sheet];
                ++result.restored;
            } else {
                result.kept.push_back({line.table, line.code, line.id, line.field});
                ++kept[sheet];
            }
        }
        if (staged) {
            record.Update(err);
            if (err != 0)
                throw PlatformError(err, "取込を元に戻せません");
        }
    }

    RecordsetHelper& Record(const std::string& table) {
        auto it = records_.find(table);
        if (it == records_.end()) {
            it = records_.try_emplace(table).first;
            std::int32_t err = 0;
            it->second.Open(&db_, table, 0, err);
            if (err != 0)
                throw PlatformError(err, "ファイルがオープンできません（" + table + "）");
        }
        return it->second;
    }

    Database& db_;
    std::int64_t number_;
    const std::function<void(std::int64_t)>& afterLine_;
    std::map<std::string, RecordsetHelper> records_;
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
