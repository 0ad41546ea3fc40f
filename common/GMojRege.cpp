#include "GMojRege.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "RegistryStore.h"

namespace GMojRege {
namespace {

constexpr std::size_t kValueBufferBytes = 128;

// The file is read on every call, but parsed again only when its bytes
// changed: start-up reads three values of every installed database, and
// parsing the whole store for each read would grow with the square of their
// number.
std::shared_ptr<const RegistryStore> OpenStore(std::uint32_t root) {
    if (root != HKEY_CURRENT_USER)
        return nullptr;
    auto bytes = RegistryStore::ReadFile(RegistryStorePath());
    if (!bytes)
        return nullptr;

    static std::mutex mutex;
    static std::vector<std::uint8_t> cachedBytes;
    static std::shared_ptr<const RegistryStore> cachedStore;
    const std::lock_guard<std::mutex> guard(mutex);
    if (!cachedStore || cachedBytes != *bytes) {
        cachedStore = std::make_shared<const RegistryStore>(RegistryStore::Parse(*bytes));
        cachedBytes = std::move(*bytes);
    }
    if (!cachedStore->valid())
        return nullptr;
    return cachedStore;
}

std::string FullKeyPath(const std::string& keyPath) {
    std::string path = "HKEY_CURRENT_USER";
    if (!keyPath.empty()) {
        path.push_back('\\');
        path += keyPath;
    }
    return path;
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    std::string dir;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr) {
        dir = result->pw_dir;
    }
    return dir;
}

std::optional<RegistryValue> ReadValue(std::uint32_t root, const std::string& keyPath,
                                       const std::string& valueName) {
    const auto store = OpenStore(root);
    if (!store)
        return std::nullopt;
    const RegistryKey* key = store->FindKey(FullKeyPath(keyPath));
    if (key == nullptr)
        return std::nullopt;
    const RegistryValue* value = RegistryStore::FindValue(*key, valueName);
    if (value == nullptr)
        return std::nullopt;
    return *value;
}

// A read through the ANSI interface: the value's bytes in code page 932.
// A value too large for the buffer fails and leaves the buffer as it was;
// `size` then tells what would have been needed.
bool CopyAnsi(const RegistryValue& value, std::vector<std::uint8_t>& buffer, std::uint32_t& type,
              std::uint32_t& size) {
    const std::vector<std::uint8_t> bytes = AnsiBytes(value);
    type = value.type;
    size = static_cast<std::uint32_t>(bytes.size());
    if (bytes.size() > buffer.size())
        return false;
    if (!bytes.empty())
        std::memcpy(buffer.data(), bytes.data(), bytes.size());
    return true;
}

}  // namespace

std::string RegistryStorePath() {
    std::string config;
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        config = xdg;
    } else {
        config = HomeDirectory() + "/.config";
    }
    return config + "/Tavi/HKEY_CURRENT_USER.reg";
}

std::int32_t EnumRegistrySubKeys(std::uint32_t root, const std::string& keyPath,
                                 std::vector<std::string>& names) {
    const auto store = OpenStore(root);
    if (!store)
        return 0;
    const RegistryKey* key = store->FindKey(FullKeyPath(keyPath));
    if (key == nullptr || key->subkeys.empty())
        return 0;
    names = RegistryStore::SubKeyNames(*key);
    return static_cast<std::int32_t>(names.size());
}

bool QueryRegistryValue(std::uint32_t root, const std::string& keyPath,
                        const std::string& valueName, std::vector<std::uint8_t>& buffer,
                        std::uint32_t& type, std::uint32_t& size) {
    const auto value = ReadValue(root, keyPath, valueName);
    return value && CopyAnsi(*value, buffer, type, size);
}

std::int16_t GetRegistryString(std::uint32_t root, const std::string& keyPath,
                               const std::string& valueName, std::string& text) {
    const auto value = ReadValue(root, keyPath, valueName);
    std::vector<std::uint8_t> buffer(kValueBufferBytes, 0);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (!value || !CopyAnsi(*value, buffer, type, size))
        return -1;
    if (type == REG_SZ) {
        // The code-page bytes decide whether the text fits; the text itself
        // comes from the stored value so that a character CP932 lacks (say an
        // accented letter in a path) is not turned into "?".
        text = ValueText(*value);
        return 1;
    }
    if (type == REG_DWORD) {
        const std::uint32_t number = static_cast<std::uint32_t>(buffer[0]) |
                                     (static_cast<std::uint32_t>(buffer[1]) << 8) |
                                     (static_cast<std::uint32_t>(buffer[2]) << 16) |
                                     (static_cast<std::uint32_t>(buffer[3]) << 24);
        text = std::to_string(number);
        return 4;
    }
    return -2;
}

}  // namespace GMojRege
