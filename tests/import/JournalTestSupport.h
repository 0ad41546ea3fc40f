#pragma once
// Pieces of the journal and undo tests: an import run in this process and
// reads of the journal through a connection of their own.

#include <string>
#include <vector>

#include "Database.h"
#include "FaultTestSupport.h"
#include "ImportJob.h"
#include "gMjMDB.h"

namespace journaltest {

using namespace faulttest;

inline const char* const kContract = "浄化槽契約内訳マスタ";
inline const char* const kBilling = "浄化槽請求テーブル";

// F4 against `db`, opened read-write unless `readOnly`.
inline std::vector<std::string> Import(const std::string& db, const std::string& book,
                                       bool readOnly = false) {
    FaultImportView view;
    gMjMDB mdb(view.sink);
    if (mdb.OpenMdb(0, db, readOnly) != 0)
        return view.texts();
    ImportJob job(mdb, view);
    job.RunImport(book);
    job.Release();
    mdb.CloseDatabase();
    return view.texts();
}

struct StoredLine {
    std::int64_t entry = 0;
    std::string table;
    std::int64_t code = 0;
    std::int64_t id = 0;
    std::string field;
    FieldValue before;
    FieldValue after;
};

inline std::vector<StoredLine> JournalLines(const std::string& db, std::int64_t entry) {
    Database d(db, true);
    Statement st = d.prepare(
        "SELECT 取込番号, テーブル名, 得意先コード, ＩＤ, 項目名, 変更前, 変更後 "
        "FROM 浄化槽金額取込履歴明細 WHERE 取込番号 = ? ORDER BY 行番号");
    st.bind(1, entry);
    std::vector<StoredLine> lines;
    while (st.step()) {
        lines.push_back({std::get<std::int64_t>(st.column(0)), FieldText(st.column(1)),
                         std::get<std::int64_t>(st.column(2)), std::get<std::int64_t>(st.column(3)),
                         FieldText(st.column(4)), st.column(5), st.column(6)});
    }
    return lines;
}

// Both tables the import writes, row for row.
inline std::string Dump(const std::string& db) {
    return TableContent(db, kContract) + "--\n" + TableContent(db, kBilling);
}

}  // namespace journaltest
