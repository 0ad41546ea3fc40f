#pragma once
// Sizing a sample database for the export benchmarks: the keys of the rows an
// export query returns, and trimming a table to the first rows of them.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Database.h"
#include "FieldValue.h"
#include "RecordsetHelper.h"

// (得意先コード, 行番号) of every row of an export query, in its order.
inline std::vector<std::pair<std::int64_t, std::int64_t>> ExportedKeys(Database& db,
                                                                       const std::string& sql) {
    RecordsetHelper records;
    std::int32_t err = 0;
    records.Open(&db, sql, 0, err);
    if (err != 0)
        throw std::runtime_error("query failed");
    std::vector<std::pair<std::int64_t, std::int64_t>> keys;
    records.Move(0, "", "MOVEFIRST", {}, err);
    while (!records.IsEOF()) {
        keys.emplace_back(static_cast<std::int64_t>(FieldNumber(records.Field("得意先コード"))),
                          static_cast<std::int64_t>(FieldNumber(records.Field("行番号"))));
        records.Move(0, "", "MOVENEXT", {}, err);
    }
    return keys;
}

// Deletes the rows of `table` that `sql` exports beyond its first `keep`;
// returns how many it then exports.
inline std::size_t TrimTo(Database& db, const std::string& table, const std::string& sql,
                          std::size_t keep) {
    const auto keys = ExportedKeys(db, sql);
    if (keys.size() <= keep)
        return keys.size();
    db.begin();
    for (std::size_t i = keep; i < keys.size(); ++i) {
        db.execute("DELETE FROM " + table + " WHERE 得意先コード = ? AND ＩＤ = ?",
                   {keys[i].first, keys[i].second});
    }
    db.commit();
    return keep;
}
