// FUZZ-SOURCES: common/RegistryStore.cpp common/text/TextCodec.cpp common/text/NumberText.cpp
// FUZZ-PKGS:
// FUZZ-OPTIONS: -rss_limit_mb=512 -malloc_limit_mb=64
//
// The registry store parser over arbitrary bytes, followed by every read the
// programs make of a parsed store.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "RegistryStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace GMojRege;
    const RegistryStore store = RegistryStore::Parse(std::span<const std::uint8_t>(data, size));
    for (const char* path : {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER\\Software",
                             "HKEY_CURRENT_USER\\Software\\Tavi\\Project\\Package"}) {
        const RegistryKey* key = store.FindKey(path);
        if (key == nullptr)
            continue;
        for (const std::string& name : RegistryStore::SubKeyNames(*key)) {
            const RegistryKey* sub = store.FindKey(std::string(path) + "\\" + name);
            if (sub == nullptr)
                __builtin_trap();  // every listed subkey must open
            for (const auto& [valueName, value] : sub->values) {
                (void)AnsiBytes(value);
                (void)ValueText(value);
                (void)valueName;
            }
        }
        for (const char* valueName : {"DataBaseName", "DataBaseMode", "UserName", ""}) {
            if (const RegistryValue* value = RegistryStore::FindValue(*key, valueName)) {
                (void)AnsiBytes(*value);
                (void)ValueText(*value);
            }
        }
    }
    return 0;
}
