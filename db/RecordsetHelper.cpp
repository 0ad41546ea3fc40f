#include "RecordsetHelper.h"

#include <algorithm>
#include <iterator>

#include "PlatformError.h"
#include "RecordsetParts.h"

namespace {

// Error outs of the component's own checks (SQLite's codes otherwise).
constexpr std::int32_t kNoConnection = SQLITE_MISUSE;
constexpr std::int32_t kBadCommand = SQLITE_MISUSE;
constexpr std::int32_t kNoCurrentRow = SQLITE_NOTFOUND;

bool SameNameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// The key values as one string: whole numbers only (the keys are codes).
bool KeyText(const std::vector<FieldValue>& keys, std::string& out) {
    out.clear();
    for (const FieldValue& key : keys) {
        const auto* i = std::get_if<std::int64_t>(&key);
        if (i == nullptr)
            return false;
        out.append(reinterpret_cast<const char*>(i), sizeof *i);
    }
    return true;
}

}  // namespace

using recordset::KeyValue;
using recordset::kNoMatch;
using recordset::kRowsPerUpdate;
using recordset::ResetOnExit;

RecordsetHelper::~RecordsetHelper() {
    sendPendingRowsQuietly();
}

void RecordsetHelper::reset(Database* connection) {
    sendPendingRowsQuietly();
    batchUpdates_.clear();
    db_ = connection;
    isTable_ = false;
    table_.clear();
    columns_.clear();
    byName_.clear();
    blocks_.clear();
    rowCount_ = 0;
    current_ = -1;
    rowid_.reset();
    clearStaged();
    seeks_.clear();
    updates_.clear();
    keyColumns_.clear();
    serverRows_.reset();
    seeksSinceRead_ = 0;
    seekSerial_ = -1;
    cachedRow_ = -1;
}

void RecordsetHelper::Open(Database* connection, const std::string& source, int /*option*/,
                           std::int32_t& err) {
    reset(connection);
    err = 0;
    if (!db_) {
        err = kNoConnection;
        return;
    }
    try {
        if (db_->hasTable(source)) {
            // Table mode reads nothing until a key seek.
            isTable_ = true;
            table_ = source;
            columns_ = db_->columnNames(source);
            return;
        }
        Statement st = db_->prepare(source);
        const int n = st.columnCount();
        for (int i = 0; i < n; ++i)
            columns_.push_back(st.columnName(i));
        std::size_t room = 0;  // rows the last block has room for
        while (st.step()) {
            std::vector<FieldValue>& block =
                blocks_.blockForNextRow(room, static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i)
                block.push_back(st.column(i));
            ++rowCount_;
        }
        current_ = rowCount_ == 0 ? -1 : 0;
    } catch (const PlatformError& e) {
        reset(db_);
        err = ErrorNumber(e);
    }
}

Statement* RecordsetHelper::seekStatement(std::size_t keyCount) {
    if (seeks_.size() <= keyCount)
        seeks_.resize(keyCount + 1);
    std::unique_ptr<Statement>& seek = seeks_[keyCount];
    if (!seek) {
        const std::vector<std::string> pk = db_->primaryKey(table_);
        if (keyCount == 0 || keyCount > pk.size())
            return nullptr;
        // A server's rows have no rowid: an update finds its row by the key.
        std::string sql =
            std::string(db_->hasRowid() ? "SELECT rowid, * FROM " : "SELECT * FROM ") +
            QuoteSqlName(table_) + " WHERE ";
        for (std::size_t i = 0; i < keyCount; ++i) {
            if (i > 0)
                sql += " AND ";
            sql += QuoteSqlName(pk[i]) + " = ?";
        }
        sql += " LIMIT 1";
        seek = std::make_unique<Statement>(db_->prepare(sql));
    }
    return seek.get();
}

void RecordsetHelper::Move(std::int16_t /*mode*/, const std::string& indexName,
                           const std::string& command, const std::vector<FieldValue>& keys,
                           std::int32_t& err) {
    err = 0;
    clearStaged();
    if (SameNameNoCase(command, "MOVEFIRST")) {
        if (rowCount_ > 0)
            current_ = 0;
        return;
    }
    if (SameNameNoCase(command, "MOVELAST")) {
        if (rowCount_ > 0)
            current_ = rowCount_ - 1;
        return;
    }
    if (SameNameNoCase(command, "MOVENEXT")) {
        if (rowCount_ > 0 && current_ < rowCount_)
            ++current_;
        return;
    }
    if (SameNameNoCase(command, "MOVEPREVIOUS")) {
        if (rowCount_ > 0 && current_ >= 0)
            --current_;
        return;
    }
    if (command != "=" || !SameNameNoCase(indexName, "PrimaryKey") || !isTable_ || !db_) {
        err = kBadCommand;
        return;
    }

    rowCount_ = 0;
    current_ = -1;
    rowid_.reset();
    cachedRow_ = -1;
    try {
        if (!db_->hasRowid() && !columns_.empty() && seekFromServerRows(keys, err))
            return;
        sendPendingRows();  // the server must see them before it is asked
        Statement* seek = seekStatement(keys.size());
        if (seek == nullptr) {
            err = kBadCommand;
            return;
        }
        Statement& st = *seek;
        const ResetOnExit done(st);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            st.bind(static_cast<int>(i + 1), KeyValue(keys[i]));
        }
        if (!st.step()) {
            err = kNoMatch;
            return;
        }
        const int n = st.columnCount();
        const int first = db_->hasRowid() ? 1 : 0;
        rowid_ = first == 1 ? std::get<std::int64_t>(st.column(0)) : 0;
        // The names only change when the table does (a column added since).
        if (columns_.size() != static_cast<std::size_t>(n - first)) {
            columns_.clear();
            for (int i = first; i < n; ++i)
                columns_.push_back(st.columnName(i));
            byName_.clear();
            updates_.clear();
            batchUpdates_.clear();
            keyColumns_.clear();
        }
        std::vector<FieldValue>& row = blocks_.onlyRow(static_cast<std::size_t>(n - first));
        for (int i = first; i < n; ++i)
            st.columnInto(i, row[static_cast<std::size_t>(i - first)]);
        rowCount_ = 1;
        current_ = 0;
    } catch (const PlatformError& e) {
        rowCount_ = 0;
        current_ = -1;
        rowid_.reset();
        err = ErrorNumber(e);
    }
}

void RecordsetHelper::SetField(const std::string& column, const FieldValue& value) {
    SetField(columnIndex(column), value);
}

void RecordsetHelper::SetField(int index, const FieldValue& value) {
    if (index < 0 || static_cast<std::size_t>(index) >= columns_.size())
        throw PlatformError(SQLITE_RANGE,
                            "項目の位置 " + std::to_string(index) + " がありません。");
    // An import stages twenty fields of every row: found by position, not
    // by a search through those staged before.
    if (stagedAt_.size() < columns_.size())
        stagedAt_.resize(columns_.size());
    std::size_t& at = stagedAt_[static_cast<std::size_t>(index)];
    if (at != 0) {
        staged_[at - 1].second = value;
        return;
    }
    staged_.emplace_back(index, value);
    at = staged_.size();
}

void RecordsetHelper::clearStaged() {
    for (const auto& staged : staged_)
        stagedAt_[static_cast<std::size_t>(staged.first)] = 0;
    staged_.clear();
}

void RecordsetHelper::Update(std::int32_t& err) {
    err = 0;
    if (keepChanges_)
        changes_.clear();
    if (!db_ || !isTable_ || !rowid_ || !hasCurrentRow()) {
        err = kNoCurrentRow;
        return;
    }
    if (staged_.empty())
        return;
    try {
        std::vector<int>& written = written_;
        written.clear();
        for (const auto& staged : staged_)
            written.push_back(staged.first);
        if (db_->hasRowid()) {
            Statement& st = updateStatement(written);
            const ResetOnExit done(st);
            int index = 1;
            for (const auto& staged : staged_)
                st.bind(index++, staged.second);
            st.bind(index, *rowid_);
            while (st.step()) {
            }
            if (db_->changes() != 1) {
                err = kNoMatch;  // the row went away under us
                return;
            }
        } else {
            // A server is not waited for row by row; a row gone away or a
            // refused write fails the transaction's next statement or commit.
            std::vector<FieldValue> key;
            for (const int column : serverKeyColumns())
                key.push_back(cell(current_, column));
            std::string keyText;
            if (key.empty() || !KeyText(key, keyText)) {
                err = kBadCommand;
                return;
            }
            if (pendingRows_.rows > 0 &&
                (pendingRows_.columns != written || pendingRows_.keys.count(keyText) != 0)) {
                sendPendingRows();
            }
            if (pendingRows_.rows == 0)
                pendingRows_.columns = written;
            for (const auto& staged : staged_)
                pendingRows_.values.push_back(staged.second);
            for (FieldValue& k : key)
                pendingRows_.values.push_back(std::move(k));
            pendingRows_.keys.insert(keyText);
            if (++pendingRows_.rows == kRowsPerUpdate)
                sendPendingRows();
        }
    } catch (const PlatformError& e) {
        err = ErrorNumber(e);
        return;
    }
    // Reading the row back would cost a query; what was written is known.
    if (serverRows_ && cachedRow_ >= 0)
        serverRows_->written[static_cast<std::size_t>(cachedRow_)] = true;
    for (auto& staged : staged_) {
        FieldValue& held = cell(current_, staged.first);
        if (keepChanges_ && !SameFieldValue(held, staged.second))
            changes_.push_back({staged.first, std::move(held), staged.second});
        held = std::move(staged.second);
    }
    clearStaged();
    // A row whose key changed is no longer where the read table files it.
    if (serverRows_ && std::any_of(written_.begin(), written_.end(), [&](int column) {
            return std::find(keyColumns_.begin(), keyColumns_.end(), column) != keyColumns_.end();
        })) {
        serverRows_.reset();
        seeksSinceRead_ = 0;
        cachedRow_ = -1;
    }
}

const std::vector<int>& RecordsetHelper::serverKeyColumns() {
    if (keyColumns_.empty()) {
        for (const std::string& name : db_->primaryKey(table_))
            keyColumns_.push_back(columnIndex(name));
    }
    return keyColumns_;
}

// One row's update: by rowid on a file, by the key on a server.
Statement& RecordsetHelper::updateStatement(const std::vector<int>& columns) {
    std::unique_ptr<Statement>& update = updates_[columns];
    if (!update) {
        std::string sql = "UPDATE " + QuoteSqlName(table_) + " SET ";
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i > 0)
                sql += ", ";
            sql += QuoteSqlName(columns_[static_cast<std::size_t>(columns[i])]) + " = ?";
        }
        if (db_->hasRowid()) {
            sql += " WHERE rowid = ?";
        } else {
            const std::vector<int>& keys = serverKeyColumns();
            for (std::size_t i = 0; i < keys.size(); ++i) {
                sql += (i == 0 ? " WHERE " : " AND ") +
                       QuoteSqlName(columns_[static_cast<std::size_t>(keys[i])]) + " = ?";
            }
        }
        update = std::make_unique<Statement>(db_->prepare(sql));
    }
    return *update;
}

FieldValue RecordsetHelper::Field(const std::string& column) const {
    return FieldRef(column);
}

const FieldValue& RecordsetHelper::FieldRef(const std::string& column) const {
    return FieldRef(columnIndex(column));
}

const FieldValue& RecordsetHelper::FieldRef(int column) const {
    if (column < 0 || static_cast<std::size_t>(column) >= columns_.size())
        throw PlatformError(SQLITE_RANGE,
                            "項目の位置 " + std::to_string(column) + " がありません。");
    if (!hasCurrentRow()) {
        throw PlatformError(kNoCurrentRow, "カレント レコードがありません。");
    }
    return cell(current_, column);
}

void RecordsetHelper::Count(std::int32_t& count) const {
    count = static_cast<std::int32_t>(rowCount_);
}

bool RecordsetHelper::BOF() const {
    return rowCount_ == 0 || current_ < 0;
}

bool RecordsetHelper::IsEOF() const {
    return rowCount_ == 0 || current_ >= rowCount_;
}

int RecordsetHelper::columnIndex(const std::string& column) const {
    // Callers nearly always spell the name as the table does, field after
    // field of row after row: those names are found by hash.
    if (byName_.empty() && !columns_.empty()) {
        for (std::size_t i = columns_.size(); i-- > 0;)
            byName_[columns_[i]] = static_cast<int>(i);
    }
    if (const auto it = byName_.find(column); it != byName_.end())
        return it->second;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (SameNameNoCase(columns_[i], column))
            return static_cast<int>(i);
    }
    // "table.column" names the same field as "column".
    const auto dot = column.rfind('.');
    if (dot != std::string::npos) {
        std::string bare = column.substr(dot + 1);
        if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') {
            bare = bare.substr(1, bare.size() - 2);
        }
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (SameNameNoCase(columns_[i], bare))
                return static_cast<int>(i);
        }
    }
    throw PlatformError(SQLITE_ERROR, "項目 " + column + " がありません。");
}
