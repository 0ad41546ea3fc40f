#include "DatabaseName.h"

#include <libpq-fe.h>

#include <memory>

#include "DatabaseSecrets.h"

namespace {

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

std::string TrimmedDatabaseName(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool IsServerUri(const std::string& name) {
    return IsUri(TrimmedDatabaseName(name));
}

bool IsServerDatabaseName(const std::string& name) {
    const std::string s = TrimmedDatabaseName(name);
    return IsUri(s) || IsKeyValueText(s);
}

std::string DatabaseDisplayName(const std::string& name) {
    if (!IsServerDatabaseName(name))
        return name;
    const std::string s = TrimmedDatabaseName(name);
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> parsed(
        PQconninfoParse(s.c_str(), &error), &PQconninfoFree);
    PQfreemem(error);
    if (!parsed)
        return NameWithoutSecrets(s);  // as written, for the user to find the slip
    std::string shown;
    for (const PQconninfoOption* o = parsed.get(); o->keyword; ++o) {
        if (!o->val || !*o->val || IsSecretKeyword(o->keyword))
            continue;
        if (!shown.empty())
            shown += ' ';
        shown += std::string(o->keyword) + "=" + o->val;
    }
    return shown;
}
