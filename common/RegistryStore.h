#pragma once
// The per-user registry store: a regedit export text (header line
// "Windows Registry Editor Version 5.00" or "REGEDIT4"), read in UTF-8 (with
// or without BOM), UTF-16LE with BOM, or, for an old ANSI export, CP932.
//
// Values keep the bytes Windows would hold for them: string values ("text",
// hex(1), hex(2), hex(7)) as UTF-16LE, REG_DWORD as four bytes least
// significant first, everything else as written. Key and value names compare
// case-insensitively; subkeys enumerate in Windows order (by name, compared
// case-insensitively).
//
// The parser accepts any byte sequence: malformed lines are skipped, never
// trusted. Keys past the limits of Windows (255 characters a name, 512
// levels) or longer than 1,024 characters in all are skipped too.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace GMojRege {

struct RegistryValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

struct RegistryKey {
    std::string name;  // last path component as first written
    // Folded name -> name as written; the map order is the enumeration order.
    std::map<std::string, std::string> subkeys;
    // Folded value name ("" is the default value) -> value.
    std::map<std::string, RegistryValue> values;
};

class RegistryStore {
  public:
    // Parses an export text. An input without a valid header yields an
    // empty store (every key fails to open).
    static RegistryStore Parse(std::span<const std::uint8_t> bytes);
    // Reads and parses a file; nullopt when it is missing or unreadable.
    static std::optional<RegistryStore> Load(const std::string& path);
    // The bytes of a store file; nullopt when it is missing, unreadable, not
    // a regular file, or far larger than any store.
    static std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path);

    // Far more keys than the entries of a few programs; a store with more
    // is refused (valid() false, problem() says why).
    static constexpr std::size_t kMaxKeys = 10000;

    bool valid() const { return valid_; }
    // Why a store with a valid header was refused, in Japanese; empty when
    // it was not.
    const std::string& problem() const { return problem_; }
    // `path` is a full key path such as "HKEY_CURRENT_USER\Software\Tavi";
    // null when there is no such key.
    const RegistryKey* FindKey(std::string_view path) const;
    std::size_t keyCount() const { return keys_.size(); }
    // Subkey names of a key, in enumeration order.
    static std::vector<std::string> SubKeyNames(const RegistryKey& key);
    static const RegistryValue* FindValue(const RegistryKey& key, std::string_view valueName);

  private:
    // Null when the key would pass kMaxKeys.
    RegistryKey* createKey(const std::vector<std::string>& components);

    bool valid_ = false;
    std::string problem_;
    std::map<std::string, RegistryKey> keys_;  // folded full path -> key
};

// Upper-case folding used for key and value names (ASCII, Latin-1, Greek,
// Cyrillic and full-width Latin letters), on valid UTF-8.
std::string FoldName(std::string_view name);

// Whether the type holds UTF-16LE text (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ).
bool IsStringType(std::uint32_t type);
// The bytes an ANSI (code page 932) read of the value delivers: string types
// converted to CP932 with a terminating NUL (a character CP932 lacks becomes
// "?", as the ANSI interface does), other types unchanged.
std::vector<std::uint8_t> AnsiBytes(const RegistryValue& value);
// The text of a string value, cut at its first NUL, as UTF-8.
std::string ValueText(const RegistryValue& value);

}  // namespace GMojRege
