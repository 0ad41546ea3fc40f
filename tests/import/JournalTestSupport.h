#pragma once
// Pieces of the journal and undo tests: an import run in this process and
// reads of the journal through a connection of their own.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Database.h"
#include "FaultTestSupport.h"
#include "ImportJob.h"
#include "ImportJournal.h"
#include "gMjMDB.h"

namespace journaltest {

using namespace faulttest;

inline const char* const kContract = "浄化槽契約内訳マスタ";
inline const char* const kBilling = "浄化槽請求テーブル";

// F4 against `db`, opened read-write unless `readOnly`.
inline std::vector<std::string> Import(const std::string& db, const std::string& book,
                                       bool readOnly = false, bool journal = true) {
    FaultImportView view;
    gMjMDB mdb(view.recorded);
    if (mdb.OpenMdb(0, db, readOnly) != 0)
        return view.texts();
    ImportJob job(mdb, view);
    job.SetJournalEnabled(journal);
    job.RunImport(book);
    job.Release();
    mdb.CloseDatabase();
    return view.texts();
}

// One journal line as stored: a changed record and the lists of its fields.
using StoredLine = JournalRecordLine;

inline std::vector<StoredLine> JournalLines(const std::string& db, std::int64_t entry) {
    Database d(db, true);
    Statement st = d.prepare(
        "SELECT 取込番号, 行番号, テーブル名, 得意先コード, ＩＤ, 項目数, 項目名, 変更前, 変更後 "
        "FROM 浄化槽金額取込履歴明細 WHERE 取込番号 = ? ORDER BY 行番号");
    st.bind(1, entry);
    std::vector<StoredLine> lines;
    while (st.step()) {
        lines.push_back({st.columnInt(0), st.columnInt(1), FieldText(st.column(2)), st.columnInt(3),
                         st.columnInt(4), st.columnInt(5), FieldText(st.column(6)),
                         FieldText(st.column(7)), FieldText(st.column(8))});
    }
    return lines;
}

// One field of a journal line, its values read back.
struct StoredField {
    std::int64_t entry = 0;
    std::string table;
    std::int64_t code = 0;
    std::int64_t id = 0;
    std::string field;
    FieldValue before;
    FieldValue after;
};

// The fields of `lines` in line order; throws when a list does not read.
inline std::vector<StoredField> LineFields(const std::vector<StoredLine>& lines) {
    std::vector<StoredField> fields;
    std::vector<std::string_view> names, before, after;
    for (const StoredLine& l : lines) {
        const auto n = static_cast<std::size_t>(l.fields);
        if (!SplitJournalList(l.names, n, names) || !SplitJournalList(l.before, n, before) ||
            !SplitJournalList(l.after, n, after))
            throw std::runtime_error("line " + std::to_string(l.number) + ": lists do not fit");
        for (std::size_t i = 0; i < n; ++i) {
            StoredField& f = fields.emplace_back();
            f = {l.entry, l.table, l.code, l.id, std::string(names[i]), {}, {}};
            if (!ReadJournalValue(before[i], f.before) || !ReadJournalValue(after[i], f.after))
                throw std::runtime_error("line " + std::to_string(l.number) + ": value unread");
        }
    }
    return fields;
}

inline std::vector<StoredField> JournalFields(const std::string& db, std::int64_t entry) {
    return LineFields(JournalLines(db, entry));
}

// Both tables the import writes, row for row.
inline std::string Dump(const std::string& db) {
    return TableContent(db, kContract) + "--\n" + TableContent(db, kBilling);
}

}  // namespace journaltest
