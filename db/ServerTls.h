#pragma once
// How a connection to a database server is protected when its name says
// nothing about it. libpq's own default ("prefer") falls back to plain text
// without a word and checks no certificate, so that anyone on the way could
// read the password and the customers' amounts or pose as the server.

#include <string>

// The sslmode to open the server name `conninfo` with: "verify-full" for a
// server reached over TCP (localhost too), empty for a Unix socket and for
// a name whose own text, service (pg_service.conf) or environment
// (PGSSLMODE) chooses one; libpq's choice stands then.
std::string DefaultSslMode(const std::string& conninfo);

// A hint in Japanese for a refused connection whose reason (`reason`, from
// libpq) is about TLS; empty for any other reason.
std::string TlsFailureHint(const std::string& reason, bool verifiedByDefault);
