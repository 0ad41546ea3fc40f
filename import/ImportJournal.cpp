#include "ImportJournal.h"

#include <pwd.h>
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
#include "UpdateFromSheet.h"

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

}  // namespace

void ThrowJournalError(int number, const std::string& detail) {
    const std::string reason = DatabaseRefusal(number);
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
        try {
            db.executeScript(JournalSchemaSql());
        } catch (const PlatformError& e) {
            ThrowJournalError(e.number(), e.description());
        }
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
            "VALUES (?, ?, ?, ?, ?, 0, 0, 0, 0, ?) RETURNING \"取込番号\"");
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

constexpr std::size_t kBatchLines = 64;
constexpr int kLineValues = 8;

std::string InsertLinesSql(std::size_t lines) {
    std::string sql = "INSERT INTO \"浄化槽金額取込履歴明細\" VALUES ";
    for (std::size_t i = 0; i < lines; ++i)
        sql += i == 0 ? "(?, ?, ?, ?, ?, ?, ?, ?)" : ", (?, ?, ?, ?, ?, ?, ?, ?)";
    return sql;
}

}  // namespace

JournalLineWriter::JournalLineWriter(Database& db, std::int64_t entry, std::int64_t firstLine)
    : db_(db), entry_(entry), next_(firstLine) {
    pending_.reserve(kBatchLines);
}

int JournalLineWriter::Intern(std::string_view name) {
    for (std::size_t i = names_.size(); i-- > 0;) {
        if (names_[i] == name)
            return static_cast<int>(i);
    }
    names_.emplace_back(name);
    return static_cast<int>(names_.size() - 1);
}

void JournalLineWriter::Add(std::string_view table, std::int64_t code, std::int64_t id,
                            std::string_view field, const FieldValue& before,
                            const FieldValue& after) {
    pending_.push_back({Intern(table), Intern(field), code, id, before, after});
    if (pending_.size() == kBatchLines) {
        static const std::string batch = InsertLinesSql(kBatchLines);
        Write(db_.cached(batch), 0, kBatchLines);
        pending_.clear();
    }
}

void JournalLineWriter::Flush() {
    if (pending_.empty())
        return;
    static const std::string one = InsertLinesSql(1);
    Statement& insert = db_.cached(one);
    for (std::size_t i = 0; i < pending_.size(); ++i)
        Write(insert, i, 1);
    pending_.clear();
}

void JournalLineWriter::Write(Statement& insert, std::size_t from, std::size_t count) {
    try {
        for (std::size_t k = 0; k < count; ++k) {
            const Pending& line = pending_[from + k];
            const int at = static_cast<int>(k) * kLineValues;
            const std::string& table = names_[static_cast<std::size_t>(line.table)];
            const std::string& field = names_[static_cast<std::size_t>(line.field)];
            // The names stay put until the step: bound without a copy.
            insert.bindInt(at + 1, entry_);
            insert.bindInt(at + 2, next_++);
            insert.bindText(at + 3, table);
            insert.bindInt(at + 4, line.code);
            insert.bindInt(at + 5, line.id);
            insert.bindText(at + 6, field);
            insert.bind(at + 7, line.before);
            insert.bind(at + 8, line.after);
        }
        while (insert.step()) {
        }
    } catch (const PlatformError& e) {
        ThrowJournalError(e.number(), e.description());
    }
    insert.reset();
}

void ImportJournal::Start(const std::string& path) {
    path_ = path;
    sha256_ = std::async(std::launch::async, [path] { return FileSha256(path); }).share();
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
        const std::string sha256 = sha256_.valid() ? sha256_.get() : std::string();
        entry_ = AddJournalEntry(db, who_, path_, sha256, 0);
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
    writer_->Flush();
    SetJournalCounts(db, entry_, sheet, ok, ng);
    nextLine_ = writer_->NextLine();
    writer_.reset();
}
