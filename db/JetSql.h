#pragma once
// The SQL dialect the tools write (Jet SQL) on SQLite: SQLite reads all of it
// except the integer division "\" and MOD, which are rewritten into calls of
// two functions registered on every connection.

#include <sqlite3.h>

#include <string>

// Rewrites "a \ b" and "a MOD b" into jet_idiv(a, b) and jet_mod(a, b)
// outside string literals and bracketed names; any other text passes
// unchanged. Operands are rounded to whole numbers (halves to even), the
// quotient is truncated and the remainder takes the dividend's sign.
std::string TranslateJetSql(const std::string& jetSql);

// The same statement for another engine. PostgreSQL: "\" and MOD become the
// same arithmetic inline, names in Japanese and bracketed names become
// quoted identifiers spelt exactly as written, and each "?" a numbered
// parameter ($1, $2, …).
enum class SqlDialect { SQLite, PostgreSQL };
std::string TranslateJetSql(const std::string& jetSql, SqlDialect dialect);

// The tables' CREATE statements (SQLite's types) for another engine.
// PostgreSQL: INTEGER is BIGINT (a single-column INTEGER PRIMARY KEY an
// identity column), REAL is DOUBLE PRECISION, WITHOUT ROWID goes, comments go.
std::string TranslateSchemaSql(const std::string& ddl, SqlDialect dialect);

// The SQL functions jet_idiv and jet_mod (two arguments each): Null in gives
// Null out; a zero divisor, an operand that is no number or does not fit in
// 64 bits, and an overflowing quotient are SQL errors.
void JetIdiv(sqlite3_context* ctx, int argc, sqlite3_value** argv);
void JetMod(sqlite3_context* ctx, int argc, sqlite3_value** argv);
