#include "RegistryStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "NumberText.h"
#include "TextCodec.h"

namespace GMojRege {
namespace {

using textcodec::AppendUtf8;
using textcodec::CodePointCount;
using textcodec::Cp932ToUtf8;
using textcodec::DecodeText;
using textcodec::NextCodePoint;
using textcodec::Utf16LeToUtf8;
using textcodec::Utf8ToCp932;
using textcodec::Utf8ToUtf16Le;

// Limits Windows itself puts on keys; they also bound the work a hostile
// file can cause.
constexpr std::size_t kMaxKeyNameChars = 255;
constexpr std::size_t kMaxKeyDepth = 512;
// Every key of a path is kept under its full path, so a long path costs the
// square of its length: the whole path is held to far more than any real
// entry needs, and the keys to far more than a store holds, which keeps a
// store of a few megabytes within some tens of megabytes.
constexpr std::size_t kMaxKeyPathChars = 1024;
// A store is a handful of keys; anything far larger is not one.
constexpr off_t kMaxStoreBytes = 16 * 1024 * 1024;

std::vector<std::string> SplitPath(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t pos = path.find('\\', start);
        if (pos == std::string_view::npos) {
            parts.emplace_back(path.substr(start));
            break;
        }
        parts.emplace_back(path.substr(start, pos - start));
        start = pos + 1;
    }
    return parts;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Parses 1 to 8 hex digits making up the whole of `s`.
std::optional<std::uint32_t> ParseHex32(std::string_view s) {
    if (s.empty() || s.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : s) {
        const int d = numbertext::HexDigit(c);
        if (d < 0)
            return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return value;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = s[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (a != prefix[i])
            return false;
    }
    return true;
}

// Reads a quoted text starting after its opening quote; `\\` and `\"` are
// escapes, any other backslash stands for itself. Returns the position after
// the closing quote, or npos when the text is not closed.
std::size_t ParseQuoted(std::string_view s, std::size_t pos, std::string& out) {
    while (pos < s.size()) {
        const char c = s[pos];
        if (c == '"')
            return pos + 1;
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            out.push_back(s[pos + 1]);
            pos += 2;
            continue;
        }
        out.push_back(c);
        ++pos;
    }
    return std::string_view::npos;
}

// What remains after a value's data may only be blanks or a comment.
bool OnlyTrailer(std::string_view rest) {
    rest = TrimBlanks(rest);
    return rest.empty() || rest.front() == ';';
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view s) {
    std::vector<std::uint8_t> bytes;
    s = TrimBlanks(s);
    if (!s.empty() && s.front() != ';') {
        std::size_t start = 0;
        while (true) {
            const std::size_t comma = s.find(',', start);
            std::string_view token = TrimBlanks(s.substr(
                start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
            if (comma == std::string_view::npos) {
                // The last byte may carry a comment after it.
                const std::size_t semi = token.find(';');
                if (semi != std::string_view::npos)
                    token = TrimBlanks(token.substr(0, semi));
                if (token.empty() && !bytes.empty())
                    break;  // trailing comma
            }
            if (token.empty() || token.size() > 2)
                return std::nullopt;
            const auto value = ParseHex32(token);
            if (!value)
                return std::nullopt;
            bytes.push_back(static_cast<std::uint8_t>(*value));
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
    }
    return bytes;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            if (start < text.size())
                lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

char32_t UpperCase(char32_t cp) {
    if (cp >= 'a' && cp <= 'z')
        return cp - 0x20;
    if (cp < 0x80)
        return cp;
    if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7)
        return cp - 0x20;
    if (cp == 0xFF)
        return 0x178;
    if (cp >= 0x3B1 && cp <= 0x3C9)
        return cp == 0x3C2 ? 0x3A3 : cp - 0x20;
    if (cp >= 0x430 && cp <= 0x44F)
        return cp - 0x20;
    if (cp >= 0x450 && cp <= 0x45F)
        return cp - 0x50;
    if (cp >= 0xFF41 && cp <= 0xFF5A)
        return cp - 0x20;
    return cp;
}

}  // namespace

std::string FoldName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    std::size_t i = 0;
    while (i < name.size())
        AppendUtf8(out, UpperCase(NextCodePoint(name, i)));
    return out;
}

bool IsStringType(std::uint32_t type) {
    return type == 1 || type == 2 || type == 7;
}

std::vector<std::uint8_t> AnsiBytes(const RegistryValue& value) {
    if (!IsStringType(value.type))
        return value.data;
    const std::string ansi = Utf8ToCp932(Utf16LeToUtf8(value.data));
    std::vector<std::uint8_t> out(ansi.begin(), ansi.end());
    if (out.empty() || out.back() != 0)
        out.push_back(0);
    return out;
}

std::string ValueText(const RegistryValue& value) {
    std::string text = Utf16LeToUtf8(value.data);
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    return text;
}

RegistryKey* RegistryStore::createKey(const std::vector<std::string>& components) {
    std::string folded;
    RegistryKey* parent = nullptr;
    for (const std::string& component : components) {
        const std::string foldedName = FoldName(component);
        if (!folded.empty())
            folded.push_back('\\');
        folded += foldedName;
        auto it = keys_.find(folded);
        if (it == keys_.end()) {
            if (keys_.size() == kMaxKeys)
                return nullptr;
            it = keys_.try_emplace(folded).first;
            it->second.name = component;
        }
        if (parent != nullptr)
            parent->subkeys.try_emplace(foldedName, component);
        parent = &it->second;
    }
    return parent;
}

const RegistryKey* RegistryStore::FindKey(std::string_view path) const {
    const auto it = keys_.find(FoldName(path));
    return it == keys_.end() ? nullptr : &it->second;
}

std::vector<std::string> RegistryStore::SubKeyNames(const RegistryKey& key) {
    std::vector<std::string> names;
    names.reserve(key.subkeys.size());
    for (const auto& [folded, name] : key.subkeys)
        names.push_back(name);
    return names;
}

const RegistryValue* RegistryStore::FindValue(const RegistryKey& key, std::string_view valueName) {
    const auto it = key.values.find(FoldName(valueName));
    return it == key.values.end() ? nullptr : &it->second;
}

RegistryStore RegistryStore::Parse(std::span<const std::uint8_t> bytes) {
    RegistryStore store;
    const std::string text = DecodeText(bytes);
    const std::vector<std::string_view> lines = SplitLines(text);

    std::size_t n = 0;
    while (n < lines.size() && TrimBlanks(lines[n]).empty())
        ++n;
    if (n == lines.size())
        return store;
    const std::string_view header = TrimBlanks(lines[n]);
    const bool ansiExport = header == "REGEDIT4";
    if (!ansiExport && header != "Windows Registry Editor Version 5.00")
        return store;
    store.valid_ = true;
    ++n;

    RegistryKey* current = nullptr;
    for (; n < lines.size(); ++n) {
        const std::string_view line = TrimBlanks(lines[n]);
        if (line.empty() || line.front() == ';')
            continue;

        if (line.front() == '[') {
            current = nullptr;
            const std::size_t close = line.rfind(']');
            if (close == std::string_view::npos || close < 1)
                continue;
            const std::string_view path = line.substr(1, close - 1);
            // A deletion entry ("[-...]") is skipped: reading the store never changes it.
            if (path.empty() || path.front() == '-')
                continue;
            if (CodePointCount(path) > kMaxKeyPathChars)
                continue;
            const std::vector<std::string> components = SplitPath(path);
            if (components.size() > kMaxKeyDepth)
                continue;
            bool ok = true;
            for (const std::string& c : components) {
                if (c.empty() || CodePointCount(c) > kMaxKeyNameChars)
                    ok = false;
            }
            if (!ok)
                continue;
            current = store.createKey(components);
            if (current == nullptr) {
                // Not a store of a few entries: refused whole rather than
                // read in part.
                store.valid_ = false;
                store.keys_.clear();
                store.problem_ = "レジストリの保存ファイルのキーが多すぎるため読み込めません（" +
                                 std::to_string(kMaxKeys) + " 個まで）。";
                return store;
            }
            continue;
        }

        if (current == nullptr || (line.front() != '"' && line.front() != '@'))
            continue;

        std::string name;
        std::size_t pos = 1;
        if (line.front() == '"') {
            pos = ParseQuoted(line, 1, name);
            if (pos == std::string_view::npos)
                continue;
        }
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            continue;
        ++pos;
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        std::string_view data = line.substr(pos);
        const std::string key = FoldName(name);

        if (!data.empty() && data.front() == '"') {
            std::string value;
            const std::size_t end = ParseQuoted(data, 1, value);
            if (end == std::string_view::npos || !OnlyTrailer(data.substr(end)))
                continue;
            RegistryValue v{1, Utf8ToUtf16Le(value)};
            v.data.push_back(0);
            v.data.push_back(0);
            current->values[key] = std::move(v);
        } else if (data == "-") {
            current->values.erase(key);
        } else if (StartsWithNoCase(data, "dword:")) {
            std::string_view digits = data.substr(6);
            const std::size_t semi = digits.find(';');
            if (semi != std::string_view::npos)
                digits = digits.substr(0, semi);
            const auto number = ParseHex32(TrimBlanks(digits));
            if (!number)
                continue;
            RegistryValue v{4, {}};
            for (int b = 0; b < 4; ++b) {
                v.data.push_back(static_cast<std::uint8_t>((*number >> (8 * b)) & 0xFF));
            }
            current->values[key] = std::move(v);
        } else if (StartsWithNoCase(data, "hex")) {
            std::uint32_t type = 3;
            std::size_t at = 3;
            if (at < data.size() && data[at] == '(') {
                const std::size_t close = data.find(')', at);
                if (close == std::string_view::npos)
                    continue;
                const auto number = ParseHex32(data.substr(at + 1, close - at - 1));
                if (!number)
                    continue;
                type = *number;
                at = close + 1;
            }
            if (at >= data.size() || data[at] != ':')
                continue;
            // The byte list may go on over following lines, each ending in "\".
            std::string list(data.substr(at + 1));
            while (!list.empty() && list.back() == '\\' && n + 1 < lines.size()) {
                list.pop_back();
                ++n;
                list += TrimBlanks(lines[n]);
            }
            if (!list.empty() && list.back() == '\\')
                list.pop_back();
            auto bytesOfValue = ParseHexBytes(list);
            if (!bytesOfValue)
                continue;
            RegistryValue v{type, std::move(*bytesOfValue)};
            if (ansiExport && IsStringType(type)) {
                // Old exports hold string data in the ANSI code page.
                const std::string ansi(v.data.begin(), v.data.end());
                v.data = Utf8ToUtf16Le(Cp932ToUtf8(ansi));
            }
            current->values[key] = std::move(v);
        }
    }
    return store;
}

std::optional<RegistryStore> RegistryStore::Load(const std::string& path) {
    const auto bytes = ReadFile(path);
    if (!bytes)
        return std::nullopt;
    return Parse(*bytes);
}

std::optional<std::vector<std::uint8_t>> RegistryStore::ReadFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxStoreBytes) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    while (true) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > static_cast<std::size_t>(kMaxStoreBytes))
            return std::nullopt;
    }
    return bytes;
}

}  // namespace GMojRege
