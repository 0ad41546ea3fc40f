#include "CopyDatabase.h"

#include "PlatformError.h"
#include "Schema.h"
#include "Transaction.h"

namespace {

// The tables a CREATE script makes, in its order.
std::vector<std::string> CreatedTables(const std::string& script) {
    std::vector<std::string> names;
    const std::string create = "CREATE TABLE ";
    for (auto at = script.find(create); at != std::string::npos; at = script.find(create, at + 1)) {
        auto open = script.find('"', at);
        const auto close = open == std::string::npos ? open : script.find('"', open + 1);
        if (close == std::string::npos)
            break;
        names.push_back(script.substr(open + 1, close - open - 1));
    }
    return names;
}

}  // namespace

void CopyDatabase(const Database& from, Database& to) {
    const bool expansion = from.hasTable("浄化槽請求展開テーブル");
    std::string script = SchemaSql(expansion);
    // The journal goes along when the import has made it.
    bool journal = true;
    for (const std::string& table : CreatedTables(JournalSchemaSql()))
        journal = journal && from.hasTable(table);
    if (journal)
        script += "\n" + JournalSchemaSql();
    const std::vector<std::string> tables = CreatedTables(script);
    for (const std::string& table : tables) {
        if (to.hasTable(table))
            throw PlatformError(SQLITE_CANTOPEN, "コピー先に既にテーブルがあります: " + table);
        if (!from.hasTable(table))
            throw PlatformError(SQLITE_ERROR, "コピー元にテーブルがありません: " + table);
    }
    TransactionGuard transaction(to);
    transaction.BeginOrThrow();
    to.executeScript(script);
    for (const std::string& table : tables) {
        const std::vector<std::string> columns = to.columnNames(table);
        std::string select = "SELECT ";
        for (std::size_t i = 0; i < columns.size(); ++i)
            select += (i ? ", " : "") + QuoteSqlName(columns[i]);
        Statement rows = from.prepare(select + " FROM " + QuoteSqlName(table));
        to.copyRows(table, columns, rows);
        // A key that numbers new rows itself must go on after the copied ones.
        const std::vector<std::string> key = to.primaryKey(table);
        if (key.size() == 1) {
            to.execute("SELECT setval(pg_get_serial_sequence(?, ?), coalesce(max(" +
                           QuoteSqlName(key[0]) + "), 0) + 1, false) FROM " + QuoteSqlName(table) +
                           " WHERE pg_get_serial_sequence(?, ?) IS NOT NULL",
                       {QuoteSqlName(table), key[0], QuoteSqlName(table), key[0]});
        }
    }
    transaction.CommitOrThrow();
    // Without statistics of the new rows the server plans the export's joins
    // as if the tables were empty (nested loops: seconds instead of a blink).
    std::string analyze;
    for (const std::string& table : tables)
        analyze += "ANALYZE " + QuoteSqlName(table) + ";";
    to.executeScript(analyze);
}
