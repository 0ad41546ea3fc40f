#pragma once
// What a DataBaseName names: an SQLite file path, or a PostgreSQL database
// given as a connection URI (postgresql://…, postgres://…) or as libpq's
// "key=value key=value" text.

#include <string>

bool IsServerDatabaseName(const std::string& name);

// The name as it may be shown: a server name without its password (a path
// is shown as it is).
std::string DatabaseDisplayName(const std::string& name);
