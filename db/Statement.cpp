#include "Statement.h"

#include "Database.h"
#include "PgDatabase.h"
#include "PlatformError.h"

Statement::Statement(const Database& db, sqlite3_stmt* stmt) : db_(&db), stmt_(stmt) {}

Statement::Statement(const Database& db, std::unique_ptr<PgStatement> pg)
    : db_(&db), stmt_(nullptr), pg_(std::move(pg)) {}

Statement::~Statement() {
    if (stmt_)
        sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(other.stmt_), pg_(std::move(other.pg_)) {
    other.stmt_ = nullptr;
}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        if (stmt_)
            sqlite3_finalize(stmt_);
        db_ = other.db_;
        stmt_ = other.stmt_;
        pg_ = std::move(other.pg_);
        other.stmt_ = nullptr;
    }
    return *this;
}

void Statement::bind(int index1, const FieldValue& value) {
    if (pg_)
        return pg_->bind(index1, value);
    int rc = SQLITE_OK;
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        rc = sqlite3_bind_int64(stmt_, index1, *i);
    } else if (const auto* d = std::get_if<double>(&value)) {
        rc = sqlite3_bind_double(stmt_, index1, *d);
    } else if (const auto* s = std::get_if<std::string>(&value)) {
        rc =
            sqlite3_bind_text64(stmt_, index1, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    } else {
        rc = sqlite3_bind_null(stmt_, index1);
    }
    if (rc != SQLITE_OK)
        db_->check(rc, "パラメーターの設定");
}

void Statement::bindInt(int index1, std::int64_t value) {
    if (pg_)
        return pg_->bind(index1, FieldValue{value});
    const int rc = sqlite3_bind_int64(stmt_, index1, value);
    if (rc != SQLITE_OK)
        db_->check(rc, "パラメーターの設定");
}

void Statement::bindText(int index1, std::string_view text) {
    if (pg_)
        return pg_->bindText(index1, text);
    const int rc =
        sqlite3_bind_text64(stmt_, index1, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    if (rc != SQLITE_OK)
        db_->check(rc, "パラメーターの設定");
}

bool Statement::step() {
    if (pg_)
        return pg_->step();
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    // The statement must be reset before the connection reports anything else.
    const std::string msg = sqlite3_errmsg(db_->handle());
    sqlite3_reset(stmt_);
    throw PlatformError(rc, msg);
}

void Statement::runDeferred(long long expectedChanges, DeferredFailure failure) {
    if (pg_)
        return pg_->runDeferred(expectedChanges, failure);
    while (step()) {
    }
    if (db_->changes() != expectedChanges)
        throw PlatformError(SQLITE_NOTFOUND, "更新する行が見つかりません");
}

bool Statement::moveToRow(long index0) {
    return pg_ && pg_->moveToRow(index0);
}

void Statement::reset() {
    if (pg_)
        return pg_->reset();
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

void Statement::rewind() {
    if (pg_)
        return pg_->reset();
    sqlite3_reset(stmt_);
}

int Statement::columnCount() const {
    if (pg_)
        return pg_->columnCount();
    return sqlite3_column_count(stmt_);
}

std::string Statement::columnName(int index0) const {
    if (pg_)
        return pg_->columnName(index0);
    const char* name = sqlite3_column_name(stmt_, index0);
    return name ? name : std::string();
}

void Statement::columnInto(int index0, FieldValue& out) const {
    if (pg_)
        return pg_->columnInto(index0, out);
    // One look-up of the column instead of one per call: a record's every
    // column is read this way for every row sought. The value is used here
    // only, on the connection's own thread, before the statement moves on.
    sqlite3_value* const value = sqlite3_column_value(stmt_, index0);
    switch (sqlite3_value_type(value)) {
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const auto* p = static_cast<const char*>(sqlite3_value_blob(value));
            const auto n = p ? static_cast<std::size_t>(sqlite3_value_bytes(value)) : 0;
            if (auto* text = std::get_if<std::string>(&out)) {
                text->assign(p ? p : "", n);
            } else {
                out.emplace<std::string>(p ? p : "", n);
            }
            return;
        }
        case SQLITE_INTEGER:
            out.emplace<std::int64_t>(sqlite3_value_int64(value));
            return;
        case SQLITE_FLOAT:
            out.emplace<double>(sqlite3_value_double(value));
            return;
        default:
            out.emplace<FieldNull>();
    }
}

std::int64_t Statement::columnInt(int index0) const {
    if (pg_)
        return pg_->columnInt(index0);
    return sqlite3_column_int64(stmt_, index0);
}

void Statement::columnText(int index0, std::string& out) const {
    if (pg_)
        return pg_->columnText(index0, out);
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index0));
    out.assign(p ? p : "", p ? static_cast<std::size_t>(sqlite3_column_bytes(stmt_, index0)) : 0);
}

FieldValue Statement::column(int index0) const {
    if (pg_)
        return pg_->column(index0);
    switch (sqlite3_column_type(stmt_, index0)) {
        case SQLITE_INTEGER:
            return static_cast<std::int64_t>(sqlite3_column_int64(stmt_, index0));
        case SQLITE_FLOAT:
            return sqlite3_column_double(stmt_, index0);
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, index0));
            const int n = sqlite3_column_bytes(stmt_, index0);
            return std::string(p ? p : "", p ? static_cast<std::size_t>(n) : 0);
        }
        default:
            return FieldNull{};
    }
}
