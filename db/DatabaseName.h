#pragma once
// What a DataBaseName names: an SQLite file path, or a PostgreSQL database
// given as a connection URI (postgresql://…, postgres://…) or as libpq's
// "key=value key=value" text.

#include <string>

bool IsServerDatabaseName(const std::string& name);
// A server name given as a postgresql:// or postgres:// URI.
bool IsServerUri(const std::string& name);

// The name without blanks at either end, as a server name is classified,
// opened and shown: libpq would take a URI after a blank for the name of a
// database on its default server, password and all.
std::string TrimmedDatabaseName(const std::string& name);

// The name as it may be shown: a server name without any secret option
// (password, sslpassword, …; a path is shown as it is).
std::string DatabaseDisplayName(const std::string& name);
