#include "ImportJournal.h"

#include <openssl/evp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>

#include "Database.h"
#include "DatabaseRefusal.h"
#include "PlatformError.h"
#include "RecordsetHelper.h"
#include "Schema.h"

const char* const kJournalTable = "浄化槽金額取込履歴";
const char* const kJournalLineTable = "浄化槽金額取込履歴明細";
const char* const kJournalDatabaseTable = "浄化槽金額取込履歴識別";
const char* const kJournalDatabaseColumn = "データベース識別子";

namespace {

const char* const kEntryColumns[] = {"取込番号",         "取込日時",         "ユーザー名",
                                     "コンピューター名", "ファイル名",       "SHA256",
                                     "契約内訳取込ＯＫ", "契約内訳取込ＮＧ", "請求情報取込ＯＫ",
                                     "請求情報取込ＮＧ", "取消対象番号",     "取消番号"};
// 項目数 is what a line table of one line per field lacks: such a table is
// refused rather than read as lists of one field.
const char* const kLineColumns[] = {"取込番号", "行番号", "テーブル名", "得意先コード", "ＩＤ",
                                    "項目数",   "項目名", "変更前",     "変更後"};

template <std::size_t N>
void CheckShape(const Database& db, const char* table, const char* const (&columns)[N]) {
    const std::vector<std::string> have = db.columnNames(table);
    for (const char* column : columns) {
        if (std::find(have.begin(), have.end(), column) == have.end()) {
            throw PlatformError(SQLITE_SCHEMA, std::string("取込履歴テーブル（") + table +
                                                   "）の形式が正しくありません\r\n項目「" + column +
                                                   "」がありません");
        }
    }
}

}  // namespace

PlatformError JournalFailure(const PlatformError& error) {
    const std::string reason = DatabaseRefusal(error.number());
    return PlatformError(error.number(), "取込履歴を書き込めません\r\n" +
                                             (reason.empty() ? error.description() : reason) + "(" +
                                             std::to_string(error.number()) + ")");
}

void ThrowJournalError(int number, const std::string& detail) {
    throw JournalFailure(PlatformError(number, detail));
}

JournalIdentity CurrentIdentity() {
    JournalIdentity who;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char when[32];
    std::strftime(when, sizeof when, "%Y/%m/%d %H:%M:%S", &local);
    who.when = when;
    // The account's name, not $USER, which anyone can set.
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        who.user = found->pw_name;
    else
        who.user = std::to_string(::getuid());
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) == 0)
        who.host = host;
    return who;
}

std::string FileSha256(const std::string& path) {
    // OpenSSL's hash uses the processor's SHA instructions where it
    // has them: on the two-core test machine ten times the speed of a
    // portable one, which took as long as a sheet's journal lines on a full
    // workbook.
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    struct ContextFree {
        void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    };
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    const std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return {};
    std::vector<unsigned char> buffer(1 << 20);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (got > 0 && EVP_DigestUpdate(context.get(), buffer.data(), got) != 1)
            return {};
        if (got < buffer.size())
            break;
    }
    if (std::ferror(file.get()))
        return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

namespace {

// 32 hexadecimal digits from the system's random source.
std::string RandomIdentity() {
    std::random_device random;
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (int i = 0; i < 4; ++i) {
        const unsigned int word = random();
        for (int shift = 28; shift >= 0; shift -= 4)
            hex += kHex[(word >> shift) & 15];
    }
    return hex;
}

bool HasIdentityColumn(const Database& db) {
    const std::vector<std::string> columns = db.columnNames(kJournalTable);
    return std::find(columns.begin(), columns.end(), kJournalDatabaseColumn) != columns.end();
}

// On a server only the tables' owner may add a column and only a role with
// CREATE on the schema may make a table: a journal set up beforehand by
// another role goes on with entries that name no database.
bool MayExtendJournal(const Database& db) {
    if (db.dialect() != SqlDialect::PostgreSQL)
        return true;
    Statement st = db.prepare(
        "SELECT CAST(has_schema_privilege(current_schema(), 'CREATE') AND "
        "pg_has_role((SELECT tableowner FROM pg_tables WHERE schemaname = current_schema() "
        "AND tablename = ?), 'MEMBER') AS INTEGER)");
    st.bind(1, FieldValue{std::string(kJournalTable)});
    return st.step() && st.columnInt(0) == 1;
}

// Made with the journal, the first time an import or an undo writes one: a
// copy of the whole database keeps it, a journal copied into another
// database finds that database's own.
void EnsureDatabaseIdentity(Database& db) {
    const bool table = db.hasTable(kJournalDatabaseTable);
    const bool column = HasIdentityColumn(db);
    if ((table && column) || !MayExtendJournal(db))
        return;
    if (!table) {
        db.executeScript(std::string("CREATE TABLE ") + QuoteSqlName(kJournalDatabaseTable) + " (" +
                         QuoteSqlName(kJournalDatabaseColumn) + " TEXT NOT NULL)");
        db.execute("INSERT INTO " + QuoteSqlName(kJournalDatabaseTable) + " VALUES (?)",
                   {FieldValue{RandomIdentity()}});
    }
    // A journal made before entries recorded their database.
    if (!column) {
        db.executeScript(std::string("ALTER TABLE ") + QuoteSqlName(kJournalTable) +
                         " ADD COLUMN " + QuoteSqlName(kJournalDatabaseColumn) + " TEXT");
    }
}

}  // namespace

void EnsureJournalTables(Database& db) {
    try {
        if (!db.hasTable(kJournalTable) || !db.hasTable(kJournalLineTable))
            db.executeScript(JournalSchemaSql());
        CheckJournalTables(db);
        EnsureDatabaseIdentity(db);
    } catch (const PlatformError& e) {
        if (e.number() == SQLITE_SCHEMA)
            throw;  // a table of the wrong shape, said so already
        ThrowJournalError(e.number(), e.description());
    }
}

std::string JournalDatabaseIdentity(const Database& db) {
    if (!db.hasTable(kJournalDatabaseTable))
        return {};
    Statement st = db.prepare("SELECT " + QuoteSqlName(kJournalDatabaseColumn) + " FROM " +
                              QuoteSqlName(kJournalDatabaseTable));
    std::string identity;
    if (st.step())
        st.columnText(0, identity);
    return identity;
}

void CheckJournalTables(const Database& db) {
    CheckShape(db, kJournalTable, kEntryColumns);
    CheckShape(db, kJournalLineTable, kLineColumns);
}

std::int64_t AddJournalEntry(Database& db, const JournalIdentity& who, const std::string& file,
                             const std::string& sha256, std::int64_t undoes) {
    try {
        const bool identity = db.hasTable(kJournalDatabaseTable) && HasIdentityColumn(db);
        Statement& insert = db.cached(
            std::string("INSERT INTO \"浄化槽金額取込履歴\" (\"取込日時\", \"ユーザー名\", "
                        "\"コンピューター名\", \"ファイル名\", \"SHA256\", \"契約内訳取込ＯＫ\", "
                        "\"契約内訳取込ＮＧ\", \"請求情報取込ＯＫ\", \"請求情報取込ＮＧ\", "
                        "\"取消対象番号\", ") +
            (identity ? "\"データベース識別子\", " : "") +
            "\"取込番号\") "
            // The next number is taken inside the writer's transaction, the
            // same way on every database engine.
            "VALUES (?, ?, ?, ?, ?, 0, 0, 0, 0, ?, " +
            (identity ? "(SELECT MIN(\"データベース識別子\") FROM \"浄化槽金額取込履歴識別\"), "
                      : "") +
            "(SELECT COALESCE(MAX(\"取込番号\"), 0) + 1 FROM \"浄化槽金額取込履歴\")) "
            "RETURNING \"取込番号\"");
        insert.bind(1, who.when);
        insert.bind(2, who.user);
        insert.bind(3, who.host);
        insert.bind(4, file);
        insert.bind(5, sha256);
        insert.bind(6, undoes > 0 ? FieldValue{undoes} : FieldValue{FieldNull{}});
        insert.step();
        const std::int64_t number = insert.columnInt(0);
        while (insert.step()) {
        }
        insert.reset();
        return number;
    } catch (const PlatformError& e) {
        ThrowJournalError(e.number(), e.description());
    }
}

void SetJournalCounts(Database& db, std::int64_t entry, std::int16_t sheet, std::int32_t ok,
                      std::int32_t ng) {
    try {
        Statement& update =
            db.cached(sheet == 1 ? "UPDATE \"浄化槽金額取込履歴\" SET \"契約内訳取込ＯＫ\" = ?, "
                                   "\"契約内訳取込ＮＧ\" = ? WHERE \"取込番号\" = ?"
                                 : "UPDATE \"浄化槽金額取込履歴\" SET \"請求情報取込ＯＫ\" = ?, "
                                   "\"請求情報取込ＮＧ\" = ? WHERE \"取込番号\" = ?");
        update.bind(1, std::int64_t{ok});
        update.bind(2, std::int64_t{ng});
        update.bind(3, entry);
        while (update.step()) {
        }
        update.reset();
    } catch (const PlatformError& e) {
        ThrowJournalError(e.number(), e.description());
    }
}

namespace {

// Room for the longest number text and a tab before it: "-9223372036854775808",
// or the shortest text of a real (at most 24 characters) and ".0".
constexpr std::size_t kNumberRoom = 32;

// A number's text ends at the end of a buffer on the stack and goes into
// the list in one append, tab and ".0" included. The standard conversion
// costs about 1 % of an import more than a hand-written digit table on the
// two-core test machine (bench_number_text), too little to keep one.
char* WholeText(char* end, std::int64_t whole) {
    char text[20];
    const auto done = std::to_chars(text, text + sizeof text, whole);
    const auto size = static_cast<std::size_t>(done.ptr - text);
    end -= size;
    std::memcpy(end, text, size);
    return end;
}

char* RealText(char* end, double real) {
    // A whole amount, the usual real, as its digits: readable, and cheaper
    // than the shortest form (which writes 1e+06 for a million).
    constexpr double kExact = 9007199254740992.0;  // 2^53
    const bool negativeZero = real == 0 && std::signbit(real);
    if (real > -kExact && real < kExact && std::trunc(real) == real && !negativeZero) {
        *--end = '0';
        *--end = '.';
        return WholeText(end, static_cast<std::int64_t>(real));
    }
    char text[kNumberRoom];
    const auto done = std::to_chars(text, text + sizeof text, real);
    const std::string_view shortest(text, static_cast<std::size_t>(done.ptr - text));
    // A real never reads back as a whole number.
    if (shortest.find_first_of(".en") == std::string_view::npos) {
        *--end = '0';
        *--end = '.';
    }
    end -= shortest.size();
    std::memcpy(end, shortest.data(), shortest.size());
    return end;
}

// The text of a whole number or a real ending at `end`; null for a text or Null.
char* NumberText(char* end, const FieldValue& value) {
    if (const auto* i = std::get_if<std::int64_t>(&value))
        return WholeText(end, *i);
    if (const auto* d = std::get_if<double>(&value))
        return RealText(end, *d);
    return nullptr;
}

void AppendTextOrNull(std::string& out, const FieldValue& value) {
    const auto* s = std::get_if<std::string>(&value);
    if (!s) {
        out += "NULL";
        return;
    }
    out += '"';
    for (const char c : *s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    out += '"';
}

// One more item of a tab-separated list.
void AppendJournalItem(std::string& list, const FieldValue& value, bool first) {
    char buffer[kNumberRoom];
    char* const end = buffer + sizeof buffer;
    if (char* start = NumberText(end, value)) {
        if (!first)
            *--start = '\t';
        list.append(start, static_cast<std::size_t>(end - start));
        return;
    }
    if (!first)
        list += '\t';
    AppendTextOrNull(list, value);
}

}  // namespace

void AppendJournalValue(std::string& out, const FieldValue& value) {
    AppendJournalItem(out, value, true);
}

bool ReadJournalValue(std::string_view text, FieldValue& out) {
    if (text == "NULL") {
        out = FieldNull{};
        return true;
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        std::string value;
        value.reserve(text.size() - 2);
        for (std::size_t i = 1; i + 1 < text.size(); ++i) {
            char c = text[i];
            if (c == '\t' || c == '\n' || c == '\r')
                return false;
            if (c == '\\') {
                if (i + 2 >= text.size())
                    return false;
                switch (text[++i]) {
                    case '\\':
                        c = '\\';
                        break;
                    case 't':
                        c = '\t';
                        break;
                    case 'n':
                        c = '\n';
                        break;
                    case 'r':
                        c = '\r';
                        break;
                    default:
                        return false;
                }
            }
            value += c;
        }
        out = std::move(value);
        return true;
    }
    const char* const first = text.data();
    const char* const last = first + text.size();
    if (text.empty() || text.front() == '+')
        return false;
    // Sign and digits only: a whole number (one beyond 64 bits is no value).
    if (std::all_of(first + (text.front() == '-' ? 1 : 0), last,
                    [](char c) { return c >= '0' && c <= '9'; })) {
        std::int64_t whole = 0;
        const auto done = std::from_chars(first, last, whole);
        if (done.ec != std::errc() || done.ptr != last)
            return false;
        out = whole;
        return true;
    }
    double real = 0;
    const auto done = std::from_chars(first, last, real);
    if (done.ec != std::errc() || done.ptr != last)
        return false;
    out = real;
    return true;
}

bool SplitJournalList(std::string_view list, std::size_t count,
                      std::vector<std::string_view>& items) {
    items.clear();
    for (std::size_t from = 0;;) {
        const std::size_t tab = list.find('\t', from);
        items.push_back(list.substr(from, tab == std::string_view::npos ? tab : tab - from));
        if (tab == std::string_view::npos)
            break;
        from = tab + 1;
    }
    return items.size() == count;
}

void JournalRecordLine::AddField(std::string_view name, const FieldValue& was,
                                 const FieldValue& now) {
    const bool first = fields++ == 0;
    if (!first)
        names += '\t';
    names += name;
    AppendJournalItem(before, was, first);
    AppendJournalItem(after, now, first);
}

namespace {

constexpr std::size_t kBatchLines = 64;
constexpr int kLineValues = 9;

std::string InsertLinesSql(std::size_t lines) {
    std::string sql =
        "INSERT INTO \"浄化槽金額取込履歴明細\" (\"取込番号\", \"行番号\", \"テーブル名\", "
        "\"得意先コード\", \"ＩＤ\", \"項目数\", \"項目名\", \"変更前\", \"変更後\") VALUES ";
    for (std::size_t i = 0; i < lines; ++i)
        sql += i == 0 ? "(?, ?, ?, ?, ?, ?, ?, ?, ?)" : ", (?, ?, ?, ?, ?, ?, ?, ?, ?)";
    return sql;
}

}  // namespace

JournalLineWriter::JournalLineWriter(Database& db, std::int64_t entry, std::int64_t firstLine)
    : db_(db), entry_(entry), next_(firstLine), pending_(kBatchLines) {}

JournalRecordLine& JournalLineWriter::Open(std::string_view table, std::int64_t code,
                                           std::int64_t id) {
    JournalRecordLine& line = pending_[waiting_];
    line.table.assign(table);
    line.code = code;
    line.id = id;
    line.fields = 0;
    line.names.clear();
    line.before.clear();
    line.after.clear();
    return line;
}

void JournalLineWriter::Close() {
    if (pending_[waiting_].fields == 0)
        return;
    if (++waiting_ == kBatchLines) {
        static const std::string batch = InsertLinesSql(kBatchLines);
        Write(db_.cached(batch), kBatchLines);
    }
}

void JournalLineWriter::Flush() {
    if (waiting_ == 0)
        return;
    // Prepared once per sheet: a cached statement per possible rest would
    // stay with the connection.
    Statement rest = db_.prepare(InsertLinesSql(waiting_));
    Write(rest, waiting_);
}

void JournalLineWriter::Write(Statement& insert, std::size_t count) {
    try {
        for (std::size_t k = 0; k < count; ++k) {
            const JournalRecordLine& line = pending_[k];
            const int at = static_cast<int>(k) * kLineValues;
            // The texts stay put until the step: bound without a copy.
            insert.bindInt(at + 1, entry_);
            insert.bindInt(at + 2, next_++);
            insert.bindText(at + 3, line.table);
            insert.bindInt(at + 4, line.code);
            insert.bindInt(at + 5, line.id);
            insert.bindInt(at + 6, line.fields);
            insert.bindText(at + 7, line.names);
            insert.bindText(at + 8, line.before);
            insert.bindText(at + 9, line.after);
        }
        // On a server the lines go without waiting, as the rows' updates
        // do; waiting here would stop both sides every batch.
        insert.runDeferred(static_cast<long long>(count), JournalFailure);
    } catch (const PlatformError& e) {
        insert.reset();
        ThrowJournalError(e.number(), e.description());
    }
    insert.reset();
    waiting_ = 0;
}

namespace {

void StoreJournalHash(Database& db, std::int64_t entry, const std::string& sha256) {
    try {
        Statement& update =
            db.cached("UPDATE \"浄化槽金額取込履歴\" SET \"SHA256\" = ? WHERE \"取込番号\" = ?");
        update.bind(1, sha256);
        update.bindInt(2, entry);
        while (update.step()) {
        }
        update.reset();
    } catch (const PlatformError& e) {
        ThrowJournalError(e.number(), e.description());
    }
}

}  // namespace

void ImportJournal::Start(const std::string& path) {
    path_ = path;
    // Off, the import reads the workbook no more than it would without a journal.
    sha256_ = enabled_ ? std::async(std::launch::async, [path] { return FileSha256(path); }).share()
                       : std::shared_future<std::string>();
    who_ = CurrentIdentity();
    entry_ = 0;
    nextLine_ = 1;
    hashPending_ = false;
    writer_.reset();
}

void ImportJournal::BeginSheet(Database& db, std::int16_t sheet) {
    if (!enabled_)
        return;
    EnsureJournalTables(db);
    if (sheet == 1 || entry_ == 0) {
        entry_ = AddJournalEntry(db, who_, path_, "", 0);
        nextLine_ = 1;
        hashPending_ = true;
    }
    writer_.emplace(db, entry_, nextLine_);
}

void ImportJournal::Record(std::string_view table, std::int64_t code, std::int64_t id,
                           const RecordsetHelper& record) {
    if (!enabled_)
        return;
    const std::vector<RecordsetHelper::FieldChange>& changes = record.LastChanges();
    if (changes.empty())
        return;
    JournalRecordLine& line = writer_->Open(table, code, id);
    for (const RecordsetHelper::FieldChange& change : changes)
        line.AddField(record.ColumnName(change.column), change.before, change.after);
    writer_->Close();
}

void ImportJournal::EndSheet(Database& db, std::int16_t sheet, std::int32_t ok, std::int32_t ng) {
    if (!enabled_)
        return;
    writer_->Flush();
    SetJournalCounts(db, entry_, sheet, ok, ng);
    if (hashPending_) {
        // Stored last, in the same transaction as the entry: waited for at
        // the start of the sheet, the hash would hold up every row.
        StoreJournalHash(db, entry_, sha256_.valid() ? sha256_.get() : std::string());
        hashPending_ = false;
    }
    nextLine_ = writer_->NextLine();
    writer_.reset();
}
