#pragma once
// The tables of the septic-tank database that the tools read and write
// (db/schema.sql, compiled into the library).

#include <functional>
#include <string>

#include "Database.h"

// The CREATE TABLE statements; 浄化槽請求展開テーブル only when asked for.
std::string SchemaSql(bool withExpansionTable);

// The CREATE TABLE IF NOT EXISTS statements of the import's journal
// (浄化槽金額取込履歴 and 浄化槽金額取込履歴明細), never part of SchemaSql.
std::string JournalSchemaSql();

// Creates every table in one transaction (throws PlatformError, e.g. when a
// table already exists; nothing is created then).
void CreateSchema(Database& db, bool withExpansionTable);

// Creates a new database file holding the empty tables. Refuses an existing
// file (PlatformError) unless `overwrite`; the file appears complete or not
// at all.
void CreateEmptyDatabase(const std::string& path, bool withExpansionTable, bool overwrite = false);

// Builds a new database file: `fill` works on a fresh empty database beside
// `path`, which is moved into place only when `fill` has returned.
void BuildDatabaseFile(const std::string& path, bool overwrite,
                       const std::function<void(Database&)>& fill);
