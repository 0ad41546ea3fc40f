#pragma once
// Moving a site's data from its SQLite file to a PostgreSQL server.

#include "Database.h"

// Creates the septic-tank tables on `to` (the expansion table and the
// import's journal when `from` has them) and copies every row of them, in
// one transaction: the server gets all of it or nothing. Refuses a server
// that already holds one of the tables. Throws PlatformError.
void CopyDatabase(const Database& from, Database& to);
