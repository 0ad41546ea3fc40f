#include "DatabaseSecrets.h"

#include <libpq-fe.h>

#include <algorithm>
#include <memory>

#include "DatabaseName.h"
#include "NumberText.h"

namespace {

using ConninfoOptions = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;

const std::vector<std::string>& SecretKeywords() {
    static const std::vector<std::string> keywords = [] {
        std::vector<std::string> out;
        ConninfoOptions options(PQconndefaults(), &PQconninfoFree);
        for (const PQconninfoOption* o = options.get(); o && o->keyword; ++o) {
            if (o->dispchar && std::string(o->dispchar).find('*') != std::string::npos)
                out.emplace_back(o->keyword);
        }
        // Should the library ever answer nothing, its one documented secret.
        if (out.empty())
            out.emplace_back("password");
        return out;
    }();
    return keywords;
}

// As libpq decodes a URI's parts; a broken escape stays as written.
std::string PercentDecoded(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && numbertext::HexDigit(s[i + 1]) >= 0 &&
            numbertext::HexDigit(s[i + 2]) >= 0) {
            out.push_back(static_cast<char>(numbertext::HexDigit(s[i + 1]) * 16 +
                                            numbertext::HexDigit(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::size_t SchemeEnd(const std::string& s) {
    const std::size_t colon = s.find("://");
    return colon == std::string::npos ? 0 : colon + 3;
}

// One "key=value" of a URI's query or of libpq's key=value text: where it
// is in the name, and its value as written and as read.
struct Option {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string keyword;
    std::string written;
    std::string value;
};

// The URI's parts, split as libpq splits them: the user part ends at the
// first "/" (libpq stops at the first "@"; the last one also covers a
// password with an unencoded "@" in it). Split once more with the user part
// ending at "?" too, a query's unencoded "@" is no password's end.
struct UriParts {
    std::size_t passwordBegin = std::string::npos;
    std::size_t passwordEnd = std::string::npos;
    std::size_t queryBegin = std::string::npos;  // just past "?"
    std::vector<Option> query;
};

UriParts SplitUri(const std::string& s, bool userEndsAtQuestion) {
    UriParts parts;
    const std::size_t start = SchemeEnd(s);
    const std::size_t slash = s.find_first_of(userEndsAtQuestion ? "/?" : "/", start);
    const std::size_t at = s.rfind('@', slash == std::string::npos ? std::string::npos : slash);
    std::size_t after = start;
    if (at != std::string::npos && at >= start) {
        const std::size_t colon = s.find(':', start);
        if (colon < at) {
            parts.passwordBegin = colon + 1;
            parts.passwordEnd = at;
        }
        after = at + 1;
    }
    const std::size_t question = s.find('?', after);
    if (question == std::string::npos)
        return parts;
    parts.queryBegin = question + 1;
    std::size_t begin = parts.queryBegin;
    while (begin <= s.size()) {
        std::size_t end = s.find('&', begin);
        if (end == std::string::npos)
            end = s.size();
        const std::string item = s.substr(begin, end - begin);
        const std::size_t eq = item.find('=');
        Option o;
        o.begin = begin;
        o.end = end;
        o.keyword = PercentDecoded(item.substr(0, eq));
        if (eq != std::string::npos) {
            o.written = item.substr(eq + 1);
            o.value = PercentDecoded(o.written);
        }
        parts.query.push_back(std::move(o));
        begin = end + 1;
    }
    return parts;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// libpq's key=value text: keyword, "=", a value bare or in single quotes,
// backslash escaping the next character in either.
std::vector<Option> SplitKeyValues(const std::string& s) {
    std::vector<Option> options;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        if (i >= s.size())
            break;
        Option o;
        o.begin = i;
        while (i < s.size() && s[i] != '=' && !IsBlank(s[i]))
            ++i;
        o.keyword = s.substr(o.begin, i - o.begin);
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        if (i < s.size() && s[i] == '=')
            ++i;
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        const std::size_t valueBegin = i;
        const bool quoted = i < s.size() && s[i] == '\'';
        if (quoted)
            ++i;
        while (i < s.size()) {
            if (s[i] == '\\' && i + 1 < s.size()) {
                o.value.push_back(s[i + 1]);
                i += 2;
                continue;
            }
            if (quoted ? s[i] == '\'' : IsBlank(s[i]))
                break;
            o.value.push_back(s[i++]);
        }
        if (quoted && i < s.size())
            ++i;
        o.written = s.substr(valueBegin, i - valueBegin);
        o.end = i;
        options.push_back(std::move(o));
    }
    return options;
}

void AddSecret(std::vector<std::string>& secrets, const std::string& value) {
    if (value.empty())
        return;
    for (const std::string& s : secrets) {
        if (s == value)
            return;
    }
    secrets.push_back(value);
}

}  // namespace

bool IsSecretKeyword(const std::string& keyword) {
    for (const std::string& k : SecretKeywords()) {
        if (k == keyword)
            return true;
    }
    return false;
}

std::vector<std::string> SecretValues(const std::string& name) {
    std::vector<std::string> secrets;
    if (!IsServerDatabaseName(name))
        return secrets;
    const std::string s = TrimmedDatabaseName(name);
    const auto addOption = [&](const Option& o) {
        if (IsSecretKeyword(o.keyword)) {
            AddSecret(secrets, o.written);
            AddSecret(secrets, o.value);
        }
    };
    if (IsServerUri(s)) {
        for (const bool userEndsAtQuestion : {false, true}) {
            const UriParts parts = SplitUri(s, userEndsAtQuestion);
            if (parts.passwordBegin != std::string::npos) {
                const std::string written =
                    s.substr(parts.passwordBegin, parts.passwordEnd - parts.passwordBegin);
                AddSecret(secrets, written);
                AddSecret(secrets, PercentDecoded(written));
            }
            for (const Option& o : parts.query)
                addOption(o);
        }
    } else {
        for (const Option& o : SplitKeyValues(s))
            addOption(o);
    }
    // And as libpq reads them, should it split the text otherwise.
    char* error = nullptr;
    ConninfoOptions parsed(PQconninfoParse(s.c_str(), &error), &PQconninfoFree);
    PQfreemem(error);
    for (const PQconninfoOption* o = parsed.get(); o && o->keyword; ++o) {
        if (o->val && IsSecretKeyword(o->keyword))
            AddSecret(secrets, o->val);
    }
    return secrets;
}

std::string NameWithoutSecrets(const std::string& name) {
    if (!IsServerDatabaseName(name))
        return name;
    const std::string s = TrimmedDatabaseName(name);
    std::string out;
    if (IsServerUri(s)) {
        const UriParts parts = SplitUri(s, false);
        const std::size_t hostEnd =
            parts.queryBegin == std::string::npos ? s.size() : parts.queryBegin - 1;
        if (parts.passwordBegin != std::string::npos) {
            out = s.substr(0, parts.passwordBegin - 1) +
                  s.substr(parts.passwordEnd, hostEnd - parts.passwordEnd);
        } else {
            out = s.substr(0, hostEnd);
        }
        std::string query;
        for (const Option& o : parts.query) {
            if (IsSecretKeyword(o.keyword) || o.begin == o.end)
                continue;
            query += (query.empty() ? "?" : "&") + s.substr(o.begin, o.end - o.begin);
        }
        // Whatever the other reading of the URI takes for a secret.
        return WithoutSecrets(out + query, SecretValues(s));
    }
    for (const Option& o : SplitKeyValues(s)) {
        if (IsSecretKeyword(o.keyword))
            continue;
        if (!out.empty())
            out += ' ';
        out += s.substr(o.begin, o.end - o.begin);
    }
    return out;
}

std::string WithoutSecrets(std::string text, const std::vector<std::string>& secrets) {
    // The longest first: a value read from its written form is often a part of it.
    std::vector<std::string> sorted = secrets;
    std::sort(sorted.begin(), sorted.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& secret : sorted) {
        if (secret.empty())
            continue;
        for (std::size_t at = text.find(secret); at != std::string::npos;
             at = text.find(secret, at + 4))
            text.replace(at, secret.size(), "****");
    }
    return text;
}
