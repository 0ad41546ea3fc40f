#include "DatabaseName.h"

#include <libpq-fe.h>

#include <memory>

namespace {

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= s.size())
            return false;
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool IsUri(const std::string& s) {
    return StartsWithNoCase(s, "postgresql://") || StartsWithNoCase(s, "postgres://");
}

// "keyword =" at the start, with a keyword libpq knows: a file path such as
// "/srv/a=b.db" or "data=1.db" (no such keyword) stays a path.
bool IsKeyValueText(const std::string& s) {
    std::size_t end = 0;
    while (end < s.size() && ((s[end] >= 'a' && s[end] <= 'z') || s[end] == '_'))
        ++end;
    if (end == 0)
        return false;
    std::size_t eq = end;
    while (eq < s.size() && (s[eq] == ' ' || s[eq] == '\t'))
        ++eq;
    if (eq >= s.size() || s[eq] != '=')
        return false;
    const std::string keyword = s.substr(0, end);
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(PQconndefaults(),
                                                                         &PQconninfoFree);
    for (const PQconninfoOption* o = options.get(); o && o->keyword; ++o) {
        if (keyword == o->keyword)
            return true;
    }
    return false;
}

}  // namespace

bool IsServerDatabaseName(const std::string& name) {
    const std::string s = Trimmed(name);
    return IsUri(s) || IsKeyValueText(s);
}

std::string DatabaseDisplayName(const std::string& name) {
    if (!IsServerDatabaseName(name))
        return name;
    const std::string s = Trimmed(name);
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> parsed(
        PQconninfoParse(s.c_str(), &error), &PQconninfoFree);
    PQfreemem(error);
    if (!parsed) {
        // Unreadable: show nothing of it that could be a password.
        return IsUri(s) ? s.substr(0, s.find("://") + 3) + "…" : "…";
    }
    std::string shown;
    for (const PQconninfoOption* o = parsed.get(); o->keyword; ++o) {
        if (!o->val || !*o->val || std::string(o->keyword) == "password")
            continue;
        if (!shown.empty())
            shown += ' ';
        shown += std::string(o->keyword) + "=" + o->val;
    }
    return shown;
}
