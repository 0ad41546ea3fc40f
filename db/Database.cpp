#include "Database.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "DatabaseName.h"
#include "PgDatabase.h"
#include "PlatformError.h"
#include "WriteCombiningVfs.h"

// Journal mode: the file keeps the mode it has, normally SQLite's rollback
// journal, and the connection uses synchronous=FULL. A committed transaction
// is then on disk before COMMIT returns, and a process killed in the middle
// of one leaves a hot journal that the next opener rolls back: a kill loses
// nothing that was committed and never leaves half a sheet written. WAL
// would give the same guarantee but would turn the file into a WAL database
// for every other program that opens it, and it does not work on network
// shares, where office databases often live.

namespace {

constexpr int kBusyTimeoutMs = 5000;

// The one writer at a time on a server, as BEGIN IMMEDIATE makes it on a
// file: a job reads a row, compares and writes it in one transaction, and
// two jobs interleaving that on the same rows would lose a write. The wait
// for the lock is bounded by the connection's lock_timeout.
constexpr const char* kServerWriterLock = "SELECT pg_advisory_xact_lock(7308338436452413440)";

// Throws when the file cannot be the septic-tank database: missing, a folder,
// a Jet/Access file or some other non-SQLite file. SQLite itself would only
// find out at the first query, with a message that names no file.
void CheckDatabaseFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        throw PlatformError(SQLITE_CANTOPEN, "データベースファイルが見つかりません: " + path);
    }
    if (S_ISDIR(st.st_mode)) {
        throw PlatformError(SQLITE_CANTOPEN, "データベースファイルではなくフォルダです: " + path);
    }
    // A pipe or a device would block the read below or never hold a database.
    if (!S_ISREG(st.st_mode)) {
        throw PlatformError(SQLITE_CANTOPEN, "データベースファイルではありません: " + path);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw PlatformError(SQLITE_CANTOPEN, "データベースファイルを読み込めません: " + path);
    }
    char header[32] = {};
    in.read(header, sizeof header);
    const std::streamsize got = in.gcount();
    if (got == 0)
        return;  // an empty file is an empty SQLite database
    if (got >= 19 && (std::memcmp(header + 4, "Standard Jet DB", 15) == 0 ||
                      std::memcmp(header + 4, "Standard ACE DB", 15) == 0)) {
        throw PlatformError(SQLITE_NOTADB,
                            "Access（Jet）形式のデータベースファイルは開けません。SQLite "
                            "形式に変換したファイルを指定してください: " +
                                path);
    }
    if (got < 16 || std::memcmp(header, "SQLite format 3", 16) != 0) {
        throw PlatformError(SQLITE_NOTADB, "SQLite のデータベースファイルではありません: " + path);
    }
}

}  // namespace

Database::Database(const std::string& path, bool readOnly)
    : path_(IsServerDatabaseName(path) ? TrimmedDatabaseName(path) : path) {
    if (IsServerDatabaseName(path)) {
        pg_ = std::make_shared<PgConnection>(path_, readOnly);
        return;
    }
    CheckDatabaseFile(path);
    const int flags =
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    // A reader writes nothing that a run of writes would help.
    const int rc =
        sqlite3_open_v2(path.c_str(), &db_, flags, readOnly ? nullptr : WriteCombiningVfs());
    if (rc != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw PlatformError(rc, "データベースを開けません: " + path + " (" + msg + ")");
    }
    try {
        check(sqlite3_busy_timeout(db_, kBusyTimeoutMs), "待ち時間の設定");
        // Explicit, whatever the library's default: COMMIT returns only once
        // the data is on disk.
        if (!readOnly)
            execute("PRAGMA synchronous = FULL");
        const int fflags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
        check(sqlite3_create_function_v2(db_, "jet_idiv", 2, fflags, nullptr, JetIdiv, nullptr,
                                         nullptr, nullptr),
              "関数 jet_idiv の登録");
        check(sqlite3_create_function_v2(db_, "jet_mod", 2, fflags, nullptr, JetMod, nullptr,
                                         nullptr, nullptr),
              "関数 jet_mod の登録");
        // Reading the catalogue makes SQLite read the header now, so that a
        // damaged or encrypted file fails here, naming the path.
        Statement probe = prepare("SELECT count(*) FROM sqlite_master");
        probe.step();
    } catch (const PlatformError& e) {
        cache_.clear();
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw PlatformError(e.number(),
                            "データベースを開けません: " + path + " (" + e.description() + ")");
    }
}

Database::~Database() {
    cache_.clear();  // statements first, so that the close is immediate
    // An open transaction is rolled back by the close.
    if (db_)
        sqlite3_close_v2(db_);
}

void Database::check(int rc, const std::string& context) const {
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
        return;
    std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    throw PlatformError(rc, context.empty() ? msg : context + ": " + msg);
}

Statement Database::prepare(const std::string& jetSql) const {
    if (pg_) {
        return Statement(*this, std::make_unique<PgStatement>(
                                    pg_, TranslateJetSql(jetSql, SqlDialect::PostgreSQL)));
    }
    const std::string sql = TranslateJetSql(jetSql);
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        check(rc, "SQL 文の準備");
    }
    Statement owned(*this, stmt);
    if (!stmt)
        throw PlatformError(SQLITE_MISUSE, "SQL 文が空です");
    // Text after the first statement would be silently ignored by SQLite.
    for (const char* p = tail; p && *p; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') {
            throw PlatformError(SQLITE_MISUSE, "SQL 文が複数あります");
        }
    }
    return owned;
}

void Database::execute(const std::string& jetSql, const std::vector<FieldValue>& params) const {
    Statement st = prepare(jetSql);
    for (std::size_t i = 0; i < params.size(); ++i)
        st.bind(static_cast<int>(i + 1), params[i]);
    while (st.step()) {
    }
}

void Database::executeScript(const std::string& sql) const {
    if (pg_) {
        pg_->exec(TranslateSchemaSql(sql, SqlDialect::PostgreSQL));
        tables_.clear();
        return;
    }
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const std::string msg = error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        throw PlatformError(rc, msg);
    }
}

void Database::copyRows(const std::string& table, const std::vector<std::string>& columns,
                        Statement& source) {
    if (!pg_)
        throw PlatformError(SQLITE_MISUSE, "COPY はデータベースサーバーにだけ使えます");
    std::string sql = "COPY " + QuoteSqlName(table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i)
        sql += (i ? ", " : "") + QuoteSqlName(columns[i]);
    sql += ") FROM STDIN";
    FieldValue value;
    pg_->copyIn(sql, [&](std::string& line) {
        if (!source.step())
            return false;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i > 0)
                line += '\t';
            source.columnInto(static_cast<int>(i), value);
            AppendCopyField(line, value);
        }
        line += '\n';
        return true;
    });
}

long long Database::changes() const {
    if (pg_)
        return pg_->changes();
    return sqlite3_changes64(db_);
}

bool Database::inTransaction() const {
    if (pg_)
        return pg_->inTransaction();
    return sqlite3_get_autocommit(db_) == 0;
}

std::vector<std::string> Database::tableNames() const {
    std::vector<std::string> names;
    if (pg_) {
        Statement st = prepare(
            "SELECT c.relname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = "
            "c.relnamespace WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p') "
            "ORDER BY c.oid");
        while (st.step())
            names.push_back(FieldText(st.column(0)));
        return names;
    }
    Statement st = prepare(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
        "ESCAPE '\\'");
    while (st.step())
        names.push_back(FieldText(st.column(0)));
    return names;
}

Statement& Database::cached(const std::string& jetSql) const {
    auto it = cache_.find(jetSql);
    if (it == cache_.end()) {
        it = cache_.emplace(jetSql, std::make_unique<Statement>(prepare(jetSql))).first;
    } else {
        it->second->reset();
    }
    return *it->second;
}

// The server's catalogue is asked again in every transaction: another
// workstation may create a table at any moment, but within one the answer
// holds, and a job asks for the same table row after row.
const Database::TableInfo& Database::serverTableInfo(const std::string& table) const {
    if (tablesSerial_ != transactionSerial_) {
        tables_.clear();
        tablesSerial_ = transactionSerial_;
    }
    if (const auto it = tables_.find(table); it != tables_.end())
        return it->second;
    TableInfo info;
    // Catalogue SQL of the server's own dialect, not translated.
    Statement st(
        *this,
        std::make_unique<PgStatement>(
            pg_,
            "SELECT a.attname, "
            "coalesce(array_position(i.indkey::int2[], a.attnum) - "
            "array_lower(i.indkey::int2[], 1) + 1, 0), format_type(a.atttypid, a.atttypmod) "
            "FROM pg_catalog.pg_class c "
            "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
            "JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 "
            "AND NOT a.attisdropped "
            "LEFT JOIN pg_catalog.pg_index i ON i.indrelid = c.oid AND i.indisprimary "
            "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p') AND c.relname = $1 "
            "ORDER BY a.attnum"));
    st.bind(1, table);
    std::vector<std::pair<std::int64_t, std::string>> keys;
    while (st.step()) {
        info.exists = true;
        info.columns.push_back(FieldText(st.column(0)));
        const std::int64_t pk = st.columnInt(1);
        if (pk > 0)
            keys.emplace_back(pk, info.columns.back());
        info.types.push_back(FieldText(st.column(2)));
    }
    std::sort(keys.begin(), keys.end());
    for (auto& k : keys)
        info.primaryKey.push_back(std::move(k.second));
    tables_[table] = std::move(info);
    return tables_[table];
}

const Database::TableInfo& Database::tableInfo(const std::string& table) const {
    if (pg_)
        return serverTableInfo(table);
    Statement& version = cached("PRAGMA schema_version");
    version.step();
    const long long current = FieldWhole<long long>(version.column(0), "schema_version");
    version.reset();
    if (current != schemaVersion_) {
        tables_.clear();
        schemaVersion_ = current;
    }
    auto it = tables_.find(table);
    if (it != tables_.end())
        return it->second;

    TableInfo info;
    {
        // "=" on text is binary in SQLite: exact and case-sensitive.
        Statement st = prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
        st.bind(1, table);
        info.exists = st.step();
    }
    if (info.exists) {
        Statement st = prepare("SELECT name, pk FROM pragma_table_info(?) ORDER BY cid");
        st.bind(1, table);
        std::vector<std::pair<std::int64_t, std::string>> keys;
        while (st.step()) {
            info.columns.push_back(FieldText(st.column(0)));
            const auto pk = FieldWhole<std::int64_t>(st.column(1), "pk");
            if (pk > 0)
                keys.emplace_back(pk, info.columns.back());
        }
        std::sort(keys.begin(), keys.end());
        for (auto& k : keys)
            info.primaryKey.push_back(std::move(k.second));
    }
    return tables_.emplace(table, std::move(info)).first->second;
}

bool Database::hasTable(const std::string& name) const {
    return tableInfo(name).exists;
}

std::vector<std::string> Database::primaryKey(const std::string& table) const {
    return tableInfo(table).primaryKey;
}

std::vector<std::string> Database::columnTypes(const std::string& table) const {
    return tableInfo(table).types;
}

std::vector<std::string> Database::columnNames(const std::string& table) const {
    return tableInfo(table).columns;
}

// A write transaction that changes more pages than the cache holds has
// SQLite sync the rollback journal and write pages out before the commit,
// again each time the cache fills: a full workbook's import synced the disk
// 26 times instead of 8, and on the two-core test machine a sync took 8 ms
// when its disk was busy.
// The changed pages are held until the commit instead, up to this size;
// after it the connection has its own cache again, so that reading every
// row afterwards does not keep the memory.
constexpr long long kWriteCacheKiB = 65536;

void Database::enlargeCacheForWrite() {
    if (pg_ || ownCacheSize_)
        return;
    Statement& current = cached("PRAGMA cache_size");
    current.reset();
    if (!current.step())
        return;
    const long long own = current.columnInt(0);
    current.reset();
    execute("PRAGMA cache_size = " + std::to_string(-kWriteCacheKiB));
    ownCacheSize_ = own;
}

void Database::restoreCache() {
    if (!ownCacheSize_)
        return;
    const long long own = *ownCacheSize_;
    ownCacheSize_.reset();
    try {
        execute("PRAGMA cache_size = " + std::to_string(own));
    } catch (const PlatformError&) {
        // Only memory is at stake: the pages go with the connection.
    }
}

void Database::begin() {
    ++transactionSerial_;
    if (!pg_) {
        execute("BEGIN IMMEDIATE");
        try {
            enlargeCacheForWrite();
        } catch (const PlatformError&) {
            // The transaction goes on with the cache it has.
        }
        return;
    }
    pg_->exec("BEGIN");
    try {
        pg_->exec(kServerWriterLock);
    } catch (const PlatformError&) {
        try {
            pg_->exec("ROLLBACK");
        } catch (const PlatformError&) {
        }
        throw;
    }
}
void Database::beginRead() {
    ++transactionSerial_;
    if (pg_) {
        // One snapshot for every statement until the end.
        pg_->exec("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY");
        return;
    }
    // Deferred: the shared lock comes with the first read and stays until
    // the end, and no write lock is ever asked for.
    execute("BEGIN DEFERRED");
}
void Database::commit() {
    ++transactionSerial_;
    if (pg_) {
        // A transaction in which a statement failed ends in a ROLLBACK
        // reported as success: that must not read as stored.
        if (pg_->exec("COMMIT") != "COMMIT") {
            throw PlatformError(SQLITE_ABORT,
                                "トランザクションは途中でエラーになったため取り消されました");
        }
        return;
    }
    try {
        execute("COMMIT");
        restoreCache();
    } catch (const PlatformError&) {
        // SQLite keeps the transaction open after a failed COMMIT (another
        // program still reading after the busy wait). Left open, it would be
        // committed together with the next one or lost at close while the
        // caller moves on; rolled back, the error means exactly "nothing of
        // it was stored".
        if (inTransaction()) {
            try {
                rollback();
            } catch (const PlatformError&) {
            }
        }
        if (!inTransaction())
            restoreCache();
        throw;
    }
}
void Database::rollback() {
    ++transactionSerial_;
    if (pg_) {
        pg_->exec("ROLLBACK");
        return;
    }
    execute("ROLLBACK");
    restoreCache();
}

std::string QuoteSqlName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}
