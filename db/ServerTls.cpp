#include "ServerTls.h"

#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>

namespace {

using Settings = std::map<std::string, std::string>;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string HomeFolder() {
    if (std::string home = Env("HOME"); !home.empty())
        return home;
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

// The settings of one service in one service file; false when the file
// does not name the service.
bool ReadService(const std::string& file, const std::string& service, Settings& out) {
    std::ifstream in(file);
    std::string line;
    bool inService = false;
    bool found = false;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inService =
                line.size() > 2 && line.back() == ']' && line.substr(1, line.size() - 2) == service;
            found = found || inService;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (inService && eq != std::string::npos)
            out.emplace(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
    return found;
}

// As libpq looks a service up: the user's file, and only when that does not
// name it the system's.
Settings ServiceSettings(const std::string& service) {
    Settings settings;
    if (service.empty())
        return settings;
    std::string userFile = Env("PGSERVICEFILE");
    if (userFile.empty() && !HomeFolder().empty())
        userFile = HomeFolder() + "/.pg_service.conf";
    if (!userFile.empty() && ReadService(userFile, service, settings))
        return settings;
    std::string systemFolder = Env("PGSYSCONFDIR");
    if (systemFolder.empty())
        systemFolder = "/etc/postgresql-common";  // Debian's libpq
    ReadService(systemFolder + "/pg_service.conf", service, settings);
    return settings;
}

// A host list names a TCP host unless every entry is a socket folder (an
// absolute path, or "@" for Linux's abstract namespace) or empty (the
// default socket).
bool NamesTcpHost(const std::string& hosts) {
    std::size_t begin = 0;
    while (begin <= hosts.size()) {
        std::size_t end = hosts.find(',', begin);
        if (end == std::string::npos)
            end = hosts.size();
        const std::string host = Trim(hosts.substr(begin, end - begin));
        if (!host.empty() && host[0] != '/' && host[0] != '@')
            return true;
        begin = end + 1;
    }
    return false;
}

}  // namespace

std::string DefaultSslMode(const std::string& conninfo) {
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> parsed(
        PQconninfoParse(conninfo.c_str(), &error), &PQconninfoFree);
    PQfreemem(error);
    Settings entry;
    for (const PQconninfoOption* o = parsed.get(); o && o->keyword; ++o) {
        if (o->val && *o->val)
            entry.emplace(o->keyword, o->val);
    }
    // libpq's order: the name, then its service, then the environment.
    const auto service = entry.count("service") ? entry["service"] : Env("PGSERVICE");
    const Settings fromService = ServiceSettings(service);
    const auto chosen = [&](const char* keyword, const char* variable) {
        if (auto it = entry.find(keyword); it != entry.end())
            return it->second;
        if (auto it = fromService.find(keyword); it != fromService.end())
            return it->second;
        return Env(variable);
    };
    if (!chosen("sslmode", "PGSSLMODE").empty() || !chosen("requiressl", "PGREQUIRESSL").empty())
        return {};
    if (!chosen("hostaddr", "PGHOSTADDR").empty() || NamesTcpHost(chosen("host", "PGHOST")))
        return "verify-full";
    return {};
}

std::string TlsFailureHint(const std::string& reason, bool verifiedByDefault) {
    if (reason.find("no encryption") != std::string::npos) {
        return "このサーバーは暗号化（TLS）のない接続を受け付けません。接続文字列から "
               "sslmode=disable を外してください。";
    }
    if (verifiedByDefault &&
        (reason.find("certificate") != std::string::npos ||
         reason.find("SSL") != std::string::npos || reason.find("証明書") != std::string::npos)) {
        return "サーバーとは暗号化（TLS）して接続し、サーバーの証明書を確かめます。サーバーの証明書"
               "を発行した認証局（CA）の証明書を ~/.postgresql/root.crt に置くか、接続文字列の "
               "sslrootcert に指定してください。";
    }
    return {};
}
