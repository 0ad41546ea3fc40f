#include "RecordsetHelper.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "PlatformError.h"

namespace {

// Error outs of the component's own checks (SQLite's codes otherwise).
constexpr std::int32_t kNoConnection = SQLITE_MISUSE;
constexpr std::int32_t kNoMatch = SQLITE_NOTFOUND;
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

// Key values arrive as doubles; whole numbers are bound as integers so that
// the comparison with an INTEGER key column is exact and uses its index.
FieldValue KeyValue(const FieldValue& v) {
    if (const auto* d = std::get_if<double>(&v)) {
        if (std::isfinite(*d) && std::trunc(*d) == *d && std::fabs(*d) < 9.0e15) {
            return static_cast<std::int64_t>(*d);
        }
    }
    return v;
}

// A cached statement left unfinished would keep the database read-locked.
// Every parameter of the record set's statements is set before each run, so
// clearing them (a third of a seek's reset in a profile of the import) is
// left out.
class ResetOnExit {
  public:
    explicit ResetOnExit(Statement& st) : st_(st) {}
    ~ResetOnExit() { st_.rewind(); }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

  private:
    Statement& st_;
};

}  // namespace

RecordsetHelper::~RecordsetHelper() {
    sendPendingRowsQuietly();
}

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

namespace {

constexpr long long kSeeksBeforeTableRead = 64;
constexpr std::size_t kRowsPerUpdate = 64;

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

std::uint64_t KeyHash(const std::int64_t* keys, std::size_t count) {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (std::size_t k = 0; k < count; ++k) {
        h ^= static_cast<std::uint64_t>(keys[k]);
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 32;
    }
    return h;
}

}  // namespace

long RecordsetHelper::findServerRow(const std::int64_t* keys) const {
    const std::size_t width = keyColumns_.size();
    const std::vector<std::uint32_t>& slots = serverRows_->byKey;
    const std::size_t mask = slots.size() - 1;
    for (std::size_t at = KeyHash(keys, width) & mask;; at = (at + 1) & mask) {
        if (slots[at] == 0)
            return -1;
        const std::size_t number = slots[at] - 1;
        const std::int64_t* have = serverRows_->keys.data() + number * width;
        if (std::equal(keys, keys + width, have))
            return static_cast<long>(number);
    }
}

bool RecordsetHelper::readServerTable(long long serial) {
    auto rows = std::make_unique<ServerRows>();
    rows->result =
        std::make_unique<Statement>(db_->prepare("SELECT * FROM " + QuoteSqlName(table_)));
    Statement& st = *rows->result;
    if (static_cast<std::size_t>(st.columnCount()) != columns_.size())
        return false;  // the table changed: the seek itself says how
    // Only the keys are read now; a row's other values when it is sought.
    const std::size_t width = keyColumns_.size();
    std::vector<std::uint8_t> whole;  // per row: its key values are whole numbers
    FieldValue value;
    while (st.step()) {
        bool numbers = true;
        for (const int column : keyColumns_) {
            st.columnInto(column, value);
            const auto* i = std::get_if<std::int64_t>(&value);
            numbers = numbers && i != nullptr;
            rows->keys.push_back(i != nullptr ? *i : 0);
        }
        whole.push_back(numbers ? 1 : 0);
    }
    const std::size_t count = whole.size();
    if (count >= UINT32_MAX)
        return false;
    std::size_t size = 16;
    while (size < 2 * count)
        size *= 2;
    rows->byKey.assign(size, 0);
    rows->written.assign(count, false);
    rows->serial = serial;
    serverRows_ = std::move(rows);
    std::vector<std::uint32_t>& slots = serverRows_->byKey;
    for (std::size_t number = 0; number < count; ++number) {
        // A row whose key is no whole number cannot be sought; of equal
        // keys the first is found, as a seek on the server finds one.
        const std::int64_t* keys = serverRows_->keys.data() + number * width;
        if (!whole[number] || findServerRow(keys) >= 0)
            continue;
        std::size_t at = KeyHash(keys, width) & (size - 1);
        while (slots[at] != 0)
            at = (at + 1) & (size - 1);
        slots[at] = static_cast<std::uint32_t>(number + 1);
    }
    return true;
}

bool RecordsetHelper::seekFromServerRows(const std::vector<FieldValue>& keys, std::int32_t& err) {
    // The key's columns, found once per record set: this runs for every row.
    const std::vector<int>& keyColumns = serverKeyColumns();
    std::int64_t wanted[8];
    if (keyColumns.empty() || keys.size() != keyColumns.size() || keys.size() > std::size(wanted))
        return false;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const FieldValue key = KeyValue(keys[k]);
        const auto* i = std::get_if<std::int64_t>(&key);
        if (i == nullptr)
            return false;
        wanted[k] = *i;
    }
    const long long serial = db_->transactionSerial();
    if (serial != seekSerial_) {
        seekSerial_ = serial;
        seeksSinceRead_ = 0;
        serverRows_.reset();
    }
    if (!serverRows_ && ++seeksSinceRead_ <= kSeeksBeforeTableRead)
        return false;
    if (!serverRows_) {
        sendPendingRows();
        if (!readServerTable(serial))
            return false;
    }
    const long number = findServerRow(wanted);
    if (number < 0) {
        err = kNoMatch;
        return true;
    }
    // A row this record set wrote is asked for again: the server has it as written.
    if (serverRows_->written[static_cast<std::size_t>(number)])
        return false;
    Statement& result = *serverRows_->result;
    if (!result.moveToRow(number))
        return false;
    if (blocks_.empty())
        blocks_.emplace_back();
    std::vector<FieldValue>& row = blocks_.front();
    row.resize(columns_.size());
    for (std::size_t i = 0; i < row.size(); ++i)
        result.columnInto(static_cast<int>(i), row[i]);
    cachedRow_ = number;
    rowid_ = 0;
    rowCount_ = 1;
    current_ = 0;
    return true;
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
            if (room == 0) {
                room = blockCapacity(blocks_.size());
                blocks_.emplace_back().reserve(room * static_cast<std::size_t>(n));
            }
            --room;
            std::vector<FieldValue>& block = blocks_.back();
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
        if (blocks_.empty())
            blocks_.emplace_back();
        std::vector<FieldValue>& row = blocks_.front();
        row.resize(static_cast<std::size_t>(n - first));
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
