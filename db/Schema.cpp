#include "Schema.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include "PlatformError.h"

extern const char* const kVelkanSchemaSql;

namespace {

constexpr const char* kOptionalMarker = "-- OPTIONAL:";
constexpr const char* kJournalMarker = "-- JOURNAL:";

}  // namespace

std::string SchemaSql(bool withExpansionTable) {
    std::string sql = kVelkanSchemaSql;
    // The journal is created by the import when it first needs it.
    if (const auto journal = sql.find(kJournalMarker); journal != std::string::npos)
        sql.erase(journal);
    if (!withExpansionTable) {
        const auto cut = sql.find(kOptionalMarker);
        if (cut != std::string::npos)
            sql.erase(cut);
    }
    return sql;
}

std::string JournalSchemaSql() {
    const std::string all = kVelkanSchemaSql;
    const auto start = all.find(kJournalMarker);
    std::string sql = start == std::string::npos ? std::string() : all.substr(start);
    const std::string create = "CREATE TABLE ";
    for (auto at = sql.find(create); at != std::string::npos; at = sql.find(create, at + 1))
        sql.insert(at + create.size(), "IF NOT EXISTS ");
    return sql;
}

void CreateSchema(Database& db, bool withExpansionTable) {
    if (db.dialect() == SqlDialect::PostgreSQL) {
        // The server runs a script sent at once as one transaction (or as
        // part of the caller's): all tables or none, no savepoint needed.
        try {
            db.executeScript(SchemaSql(withExpansionTable));
        } catch (const PlatformError& e) {
            throw PlatformError(e.number(), "テーブルを作成できません: " + e.description());
        }
        return;
    }
    try {
        db.executeScript("SAVEPOINT velkan_schema;\n" + SchemaSql(withExpansionTable) +
                         "\nRELEASE velkan_schema;");
    } catch (const PlatformError& e) {
        try {
            db.executeScript("ROLLBACK TO velkan_schema; RELEASE velkan_schema;");
        } catch (const PlatformError&) {
        }
        throw PlatformError(e.number(), "テーブルを作成できません: " + e.description());
    }
}

void CreateEmptyDatabase(const std::string& path, bool withExpansionTable, bool overwrite) {
    BuildDatabaseFile(path, overwrite, [&](Database& db) { CreateSchema(db, withExpansionTable); });
}

void BuildDatabaseFile(const std::string& path, bool overwrite,
                       const std::function<void(Database&)>& fill) {
    if (!overwrite && ::access(path.c_str(), F_OK) == 0) {
        throw PlatformError(SQLITE_CANTOPEN, "ファイルが既に存在します: " + path);
    }
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        throw PlatformError(SQLITE_CANTOPEN, "ファイルを作成できません: " + path + " (" +
                                                 std::strerror(errno) + ")");
    }
    // mkstemp makes the file private; a database gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    try {
        {
            Database db(temp, false);
            fill(db);
        }
        // link() refuses an existing target, so a file that appeared in the
        // meantime is not replaced either.
        const int rc = overwrite ? std::rename(temp.c_str(), path.c_str())
                                 : ::link(temp.c_str(), path.c_str());
        if (rc != 0) {
            throw PlatformError(SQLITE_CANTOPEN, "ファイルを作成できません: " + path + " (" +
                                                     std::strerror(errno) + ")");
        }
        if (!overwrite)
            ::unlink(temp.c_str());
    } catch (...) {
        ::unlink(temp.c_str());
        ::unlink((temp + "-journal").c_str());
        throw;
    }
}
