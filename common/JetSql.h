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

// The SQL functions jet_idiv and jet_mod (two arguments each): Null in gives
// Null out; a zero divisor, an operand that is no number or does not fit in
// 64 bits, and an overflowing quotient are SQL errors.
void JetIdiv(sqlite3_context* ctx, int argc, sqlite3_value** argv);
void JetMod(sqlite3_context* ctx, int argc, sqlite3_value** argv);
