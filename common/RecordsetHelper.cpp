#include "RecordsetHelper.h"

#include <cmath>

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
class ResetOnExit {
  public:
    explicit ResetOnExit(Statement& st) : st_(st) {}
    ~ResetOnExit() { st_.reset(); }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

  private:
    Statement& st_;
};

}  // namespace

void RecordsetHelper::Open(Database* connection, const std::string& source, int /*option*/,
                           std::int32_t& err) {
    db_ = connection;
    isTable_ = false;
    table_.clear();
    columns_.clear();
    rows_.clear();
    current_ = -1;
    rowid_.reset();
    staged_.clear();
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
        while (st.step()) {
            std::vector<FieldValue> row;
            row.reserve(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i)
                row.push_back(st.column(i));
            rows_.push_back(std::move(row));
        }
        current_ = rows_.empty() ? -1 : 0;
    } catch (const PlatformError& e) {
        columns_.clear();
        rows_.clear();
        isTable_ = false;
        current_ = -1;
        err = ErrorNumber(e);
    }
}

void RecordsetHelper::Move(std::int16_t /*mode*/, const std::string& indexName,
                           const std::string& command, const std::vector<FieldValue>& keys,
                           std::int32_t& err) {
    err = 0;
    staged_.clear();
    const long size = static_cast<long>(rows_.size());
    if (SameNameNoCase(command, "MOVEFIRST")) {
        if (size > 0)
            current_ = 0;
        return;
    }
    if (SameNameNoCase(command, "MOVELAST")) {
        if (size > 0)
            current_ = size - 1;
        return;
    }
    if (SameNameNoCase(command, "MOVENEXT")) {
        if (size > 0 && current_ < size)
            ++current_;
        return;
    }
    if (SameNameNoCase(command, "MOVEPREVIOUS")) {
        if (size > 0 && current_ >= 0)
            --current_;
        return;
    }
    if (command != "=" || !SameNameNoCase(indexName, "PrimaryKey") || !isTable_ || !db_) {
        err = kBadCommand;
        return;
    }

    rows_.clear();
    current_ = -1;
    rowid_.reset();
    try {
        const std::vector<std::string> pk = db_->primaryKey(table_);
        if (keys.empty() || keys.size() > pk.size()) {
            err = kBadCommand;
            return;
        }
        std::string sql = "SELECT rowid, * FROM " + QuoteSqlName(table_) + " WHERE ";
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (i > 0)
                sql += " AND ";
            sql += QuoteSqlName(pk[i]) + " = ?";
        }
        sql += " LIMIT 1";
        Statement& st = db_->cached(sql);
        const ResetOnExit done(st);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            st.bind(static_cast<int>(i + 1), KeyValue(keys[i]));
        }
        if (!st.step()) {
            err = kNoMatch;
            return;
        }
        const int n = st.columnCount();
        rowid_ = std::get<std::int64_t>(st.column(0));
        columns_.clear();
        std::vector<FieldValue> row;
        for (int i = 1; i < n; ++i) {
            columns_.push_back(st.columnName(i));
            row.push_back(st.column(i));
        }
        rows_.push_back(std::move(row));
        current_ = 0;
    } catch (const PlatformError& e) {
        rows_.clear();
        current_ = -1;
        rowid_.reset();
        err = ErrorNumber(e);
    }
}

void RecordsetHelper::SetField(const std::string& column, const FieldValue& value) {
    const int index = columnIndex(column);
    for (auto& staged : staged_) {
        if (staged.first == columns_[static_cast<std::size_t>(index)]) {
            staged.second = value;
            return;
        }
    }
    staged_.emplace_back(columns_[static_cast<std::size_t>(index)], value);
}

void RecordsetHelper::Update(std::int32_t& err) {
    err = 0;
    if (!db_ || !isTable_ || !rowid_ || current_ < 0 ||
        current_ >= static_cast<long>(rows_.size())) {
        err = kNoCurrentRow;
        return;
    }
    if (staged_.empty())
        return;
    try {
        std::string sql = "UPDATE " + QuoteSqlName(table_) + " SET ";
        for (std::size_t i = 0; i < staged_.size(); ++i) {
            if (i > 0)
                sql += ", ";
            sql += QuoteSqlName(staged_[i].first) + " = ?";
        }
        sql += " WHERE rowid = ?";
        Statement& st = db_->cached(sql);
        const ResetOnExit done(st);
        int index = 1;
        for (const auto& staged : staged_)
            st.bind(index++, staged.second);
        st.bind(index, *rowid_);
        while (st.step()) {
        }
        if (sqlite3_changes(db_->handle()) != 1) {
            err = kNoMatch;  // the row went away under us
            return;
        }
    } catch (const PlatformError& e) {
        err = ErrorNumber(e);
        return;
    }
    // Reading the row back would cost a query; what was written is known.
    auto& row = rows_[static_cast<std::size_t>(current_)];
    for (const auto& staged : staged_) {
        row[static_cast<std::size_t>(columnIndex(staged.first))] = staged.second;
    }
    staged_.clear();
}

FieldValue RecordsetHelper::Field(const std::string& column) const {
    const int index = columnIndex(column);
    if (current_ < 0 || current_ >= static_cast<long>(rows_.size())) {
        throw PlatformError(kNoCurrentRow, "カレント レコードがありません。");
    }
    return rows_[static_cast<std::size_t>(current_)][static_cast<std::size_t>(index)];
}

void RecordsetHelper::Count(std::int32_t& count) const {
    count = static_cast<std::int32_t>(rows_.size());
}

bool RecordsetHelper::BOF() const {
    return rows_.empty() || current_ < 0;
}

bool RecordsetHelper::IsEOF() const {
    return rows_.empty() || current_ >= static_cast<long>(rows_.size());
}

int RecordsetHelper::columnIndex(const std::string& column) const {
    // Callers nearly always spell the name as the table does; the exact
    // compare spares the case-folding one on every field of every row.
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i] == column)
            return static_cast<int>(i);
    }
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
