// RecordsetHelper's updates on a server, sent many rows to one statement
// (PendingRows.h).

#include "RecordsetHelper.h"
#include "RecordsetParts.h"

using recordset::kRowsPerUpdate;
using recordset::ResetOnExit;

void RecordsetHelper::sendPendingRowsQuietly() noexcept {
    // A batch the server then refuses fails the transaction's next
    // statement or its commit; only a failure to send is lost here, and a
    // connection that cannot send fails the commit too.
    try {
        sendPendingRows();
    } catch (...) {
        pendingRows_ = PendingRows{};
    }
}

void RecordsetHelper::sendPendingRows() {
    if (pendingRows_.rows == 0)
        return;
    PendingRows rows = std::move(pendingRows_);
    pendingRows_ = PendingRows{};
    const std::size_t width = rows.columns.size() + serverKeyColumns().size();
    if (rows.rows < kRowsPerUpdate) {
        // A short batch: the rows one by one, each statement prepared once.
        Statement& st = updateStatement(rows.columns);
        for (std::size_t r = 0; r < rows.rows; ++r) {
            const ResetOnExit done(st);
            for (std::size_t i = 0; i < width; ++i)
                st.bind(static_cast<int>(i + 1), rows.values[r * width + i]);
            st.runDeferred(1);
        }
        return;
    }
    std::unique_ptr<Statement>& batch = batchUpdates_[rows.columns];
    if (!batch) {
        // The values arrive as text: each is read as its column's type.
        const std::vector<std::string> types = db_->columnTypes(table_);
        const std::vector<int>& keys = serverKeyColumns();
        std::vector<int> all = rows.columns;
        all.insert(all.end(), keys.begin(), keys.end());
        std::string row = "(";
        for (std::size_t i = 0; i < all.size(); ++i)
            row += (i ? ", CAST(? AS " : "CAST(? AS ") +
                   types.at(static_cast<std::size_t>(all[i])) + ")";
        row += ")";
        std::string sql = "UPDATE " + QuoteSqlName(table_) + " SET ";
        for (std::size_t i = 0; i < rows.columns.size(); ++i) {
            sql += (i ? ", " : "") +
                   QuoteSqlName(columns_[static_cast<std::size_t>(rows.columns[i])]) + " = v.c" +
                   std::to_string(i);
        }
        sql += " FROM (VALUES ";
        for (std::size_t r = 0; r < kRowsPerUpdate; ++r)
            sql += (r ? ", " : "") + row;
        sql += ") AS v(";
        for (std::size_t i = 0; i < all.size(); ++i) {
            sql += (i ? ", " : "") + std::string(i < rows.columns.size() ? "c" : "k") +
                   std::to_string(i < rows.columns.size() ? i : i - rows.columns.size());
        }
        sql += ") WHERE ";
        for (std::size_t k = 0; k < keys.size(); ++k) {
            sql += (k ? " AND " : "") + QuoteSqlName(table_) + "." +
                   QuoteSqlName(columns_[static_cast<std::size_t>(keys[k])]) + " = v.k" +
                   std::to_string(k);
        }
        batch = std::make_unique<Statement>(db_->prepare(sql));
    }
    Statement& st = *batch;
    const ResetOnExit done(st);
    for (std::size_t i = 0; i < rows.values.size(); ++i)
        st.bind(static_cast<int>(i + 1), rows.values[i]);
    st.runDeferred(static_cast<long long>(rows.rows));
}
