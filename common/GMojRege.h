#pragma once
// Read access to the per-user registry, met by the store file
// $XDG_CONFIG_HOME/Tavi/HKEY_CURRENT_USER.reg (regedit export format).
// The windows never write it; velkan-register-database is what adds entries.

#include <cstdint>
#include <string>
#include <vector>

namespace GMojRege {

inline constexpr std::uint32_t HKEY_CURRENT_USER = 0x80000001u;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_DWORD = 4;

// Number of subkeys (in Windows order); `names` untouched when the key cannot be opened.
std::int32_t EnumRegistrySubKeys(std::uint32_t root, const std::string& keyPath,
                                 std::vector<std::string>& names);
// 1 REG_SZ read, 4 REG_DWORD read, -1 cannot open or read (128-byte limit), -2 other type.
// `text` is written only for 1 and 4.
std::int16_t GetRegistryString(std::uint32_t root, const std::string& keyPath,
                               const std::string& valueName, std::string& text);
// Raw read into a buffer of buffer.size() bytes; `size` is the value's byte count.
bool QueryRegistryValue(std::uint32_t root, const std::string& keyPath,
                        const std::string& valueName, std::vector<std::uint8_t>& buffer,
                        std::uint32_t& type, std::uint32_t& size);

// Path of the store file for this user.
std::string RegistryStorePath();

}  // namespace GMojRege
