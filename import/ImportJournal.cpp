#include "ImportJournal.h"

#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <algorithm>
#include <climits>
#include <ctime>

#include "Database.h"
#include "PlatformError.h"
#include "RecordsetHelper.h"
#include "Schema.h"

const char* const kJournalTable = "浄化槽金額取込履歴";
const char* const kJournalLineTable = "浄化槽金額取込履歴明細";

namespace {

const char* const kEntryColumns[] = {"取込番号",         "取込日時",         "ユーザー名",
                                     "コンピューター名", "ファイル名",       "SHA256",
                                     "契約内訳取込ＯＫ", "契約内訳取込ＮＧ", "請求情報取込ＯＫ",
                                     "請求情報取込ＮＧ", "取消対象番号",     "取消番号"};
const char* const kLineColumns[] = {"取込番号", "行番号", "テーブル名", "得意先コード",
                                    "ＩＤ",     "項目名", "変更前",     "変更後"};

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

std::string Reason(int number) {
    switch (number & 0xff) {
        case SQLITE_READONLY:
            return "データベースファイルは読み取り専用です";
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "データベースは他のプログラムが使用中です";
        case SQLITE_FULL:
            return "ディスクの空き容量が不足しています";
        case SQLITE_IOERR:
            return "ディスクへの読み書きに失敗しました";
        case SQLITE_CANTOPEN:
            return "データベースの作業ファイルを作成できません";
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return "データベースへのアクセスが拒否されました";
        default:
            return "";
    }
}

}  // namespace

void ThrowJournalError(int number, const std::string& detail) {
    const std::string reason = Reason(number);
    throw PlatformError(number, "取込履歴を書き込めません\r\n" +
                                    (reason.empty() ? detail : reason) + "(" +
                                    std::to_string(number) + ")");
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
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return hash.result().toHex().toStdString();
}

void EnsureJournalTables(Database& db) {
    if (!db.hasTable(kJournalTable) || !db.hasTable(kJournalLineTable)) {
        const std::string sql = JournalSchemaSql();
        char* error = nullptr;
        const int rc = sqlite3_exec(db.handle(), sql.c_str(), nullptr, nullptr, &error);
        const std::string detail = error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        if (rc != SQLITE_OK)
            ThrowJournalError(rc, detail);
    }
    CheckJournalTables(db);
}

void CheckJournalTables(const Database& db) {
    CheckShape(db, kJournalTable, kEntryColumns);
    CheckShape(db, kJournalLineTable, kLineColumns);
}

std::int64_t AddJournalEntry(Database& db, const JournalIdentity& who, const std::string& file,
                             const std::string& sha256, std::int64_t undoes) {
    try {
        Statement& insert = db.cached(
            "INSERT INTO \"浄化槽金額取込履歴\" (\"取込日時\", \"ユーザー名\", "
            "\"コンピューター名\", \"ファイル名\", \"SHA256\", \"契約内訳取込ＯＫ\", "
            "\"契約内訳取込ＮＧ\", \"請求情報取込ＯＫ\", \"請求情報取込ＮＧ\", \"取消対象番号\") "
            "VALUES (?, ?, ?, ?, ?, 0, 0, 0, 0, ?)");
        insert.bind(1, who.when);
        insert.bind(2, who.user);
        insert.bind(3, who.host);
        insert.bind(4, file);
        insert.bind(5, sha256);
        insert.bind(6, undoes > 0 ? FieldValue{undoes} : FieldValue{FieldNull{}});
        while (insert.step()) {
        }
        insert.reset();
        return sqlite3_last_insert_rowid(db.handle());
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

JournalLineWriter::JournalLineWriter(Database& db, std::int64_t entry, std::int64_t firstLine)
    : insert_(db.cached("INSERT INTO \"浄化槽金額取込履歴明細\" VALUES (?, ?, ?, ?, ?, ?, ?, ?)")),
      entry_(entry),
      next_(firstLine) {}

void JournalLineWriter::Add(std::string_view table, std::int64_t code, std::int64_t id,
                            std::string_view field, const FieldValue& before,
                            const FieldValue& after) {
    sqlite3_stmt* st = insert_.handle();
    // The names outlive the step: bound without a copy, unlike Statement::bind.
    sqlite3_bind_int64(st, 1, entry_);
    sqlite3_bind_int64(st, 2, next_);
    sqlite3_bind_text64(st, 3, table.data(), table.size(), SQLITE_STATIC, SQLITE_UTF8);
    sqlite3_bind_int64(st, 4, code);
    sqlite3_bind_int64(st, 5, id);
    sqlite3_bind_text64(st, 6, field.data(), field.size(), SQLITE_STATIC, SQLITE_UTF8);
    try {
        insert_.bind(7, before);
        insert_.bind(8, after);
        while (insert_.step()) {
        }
    } catch (const PlatformError& e) {
        ThrowJournalError(e.number(), e.description());
    }
    sqlite3_reset(st);
    ++next_;
}

void ImportJournal::Start(const std::string& path) {
    path_ = path;
    sha256_ = FileSha256(path);
    who_ = CurrentIdentity();
    entry_ = 0;
    nextLine_ = 1;
    writer_.reset();
}

void ImportJournal::BeginSheet(Database& db, std::int16_t sheet) {
    if (!enabled_)
        return;
    EnsureJournalTables(db);
    if (sheet == 1 || entry_ == 0) {
        entry_ = AddJournalEntry(db, who_, path_, sha256_, 0);
        nextLine_ = 1;
    }
    writer_.emplace(db, entry_, nextLine_);
}

void ImportJournal::Record(std::string_view table, std::int64_t code, std::int64_t id,
                           const RecordsetHelper& record) {
    if (!enabled_)
        return;
    for (const RecordsetHelper::FieldChange& change : record.LastChanges())
        writer_->Add(table, code, id, record.ColumnName(change.column), change.before,
                     change.after);
}

void ImportJournal::EndSheet(Database& db, std::int16_t sheet, std::int32_t ok, std::int32_t ng) {
    if (!enabled_)
        return;
    SetJournalCounts(db, entry_, sheet, ok, ng);
    nextLine_ = writer_->NextLine();
    writer_.reset();
}
