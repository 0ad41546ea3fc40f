// FUZZ-SOURCES: tools/RegisterDatabase.cpp common/!(Startup).cpp db/*.cpp common/text/*.cpp
// FUZZ-PKGS: sqlite3 libpq libcrypto
// FUZZ-OPTIONS: -rss_limit_mb=512 -malloc_limit_mb=64
// FUZZ-SEEDS-FROM: fuzz_registry_store
//
// velkan-register-database's edit of the store text over arbitrary current
// stores: it either refuses with a RegisterError or gives a store the
// windows read the entry back from (it checks that itself) in which every
// other key under HKEY_CURRENT_USER holds the values it held before (those
// whose reading cannot depend on the file's encoding).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSeeds.h"
#include "RegisterDatabase.h"
#include "RegistryStore.h"

namespace {

using GMojRege::RegistryKey;
using GMojRege::RegistryStore;

// Every key under `path` but `skip`, with its values, in a fixed order.
void Collect(const RegistryStore& store, const std::string& path, const std::string& skip,
             std::vector<std::pair<std::string, const RegistryKey*>>& out) {
    const RegistryKey* key = store.FindKey(path);
    if (key == nullptr)
        return;
    if (GMojRege::FoldName(path) != GMojRege::FoldName(skip))
        out.emplace_back(GMojRege::FoldName(path), key);
    for (const std::string& name : RegistryStore::SubKeyNames(*key))
        Collect(store, path + "\\" + name, skip, out);
}

bool Ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// A text value of ASCII characters only, or one of another type.
bool ReadsTheSameInAnyEncoding(const GMojRege::RegistryValue& value) {
    if (!GMojRege::IsStringType(value.type))
        return true;
    for (std::size_t i = 1; i < value.data.size(); i += 2) {
        if (value.data[i] != 0 || (value.data[i - 1] & 0x80) != 0)
            return false;
    }
    return true;
}

// Every value of `a` that reads the same whatever the file's encoding is
// found in `b` as it was. A file that is not valid UTF-8 is read as CP932:
// when the bytes that made it so were in the replaced sections, the rest
// reads as UTF-8 afterwards, so other texts may rightly read otherwise.
bool ValuesKept(const RegistryKey& a, const RegistryKey& b) {
    for (const auto& [name, value] : a.values) {
        if (!Ascii(name) || !ReadsTheSameInAnyEncoding(value))
            continue;
        const auto found = b.values.find(name);
        if (found == b.values.end() || found->second.type != value.type ||
            found->second.data != value.data)
            return false;
    }
    return true;
}

regdb::Registration EntryFor(std::uint8_t choice) {
    regdb::Registration entry;
    entry.databasePath = choice & 1 ? "/srv/septictank/honsha.db" : "/home/事務/浄化槽.db";
    entry.userName = choice & 2 ? "本社" : "Branch \"2\"";
    entry.subKey = choice & 4 ? "Septictank" : "Septictank_Branch";
    return entry;
}

void WriteSeeds() {
    bool replaced = false;
    const auto fresh = regdb::StoreWithEntry({}, EntryFor(7), replaced);
    fuzzseeds::WriteSeed("new_store.reg", fresh);
    fuzzseeds::WriteSeed("two_entries.reg", regdb::StoreWithEntry(fresh, EntryFor(0), replaced));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeeds();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> store(data, size);
    const regdb::Registration entry = EntryFor(size > 0 ? data[size - 1] : 0);
    std::vector<std::uint8_t> edited;
    bool replaced = false;
    try {
        edited = regdb::StoreWithEntry(store, entry, replaced);
    } catch (const regdb::RegisterError&) {
        return 0;
    }
    const std::string target = std::string(regdb::kPackageKey) + "\\" + entry.subKey;
    const RegistryStore before = RegistryStore::Parse(store);
    const RegistryStore after = RegistryStore::Parse(edited);
    if (!after.valid() || after.FindKey(target) == nullptr)
        std::abort();
    std::vector<std::pair<std::string, const RegistryKey*>> was;
    Collect(before, "HKEY_CURRENT_USER", target, was);
    for (const auto& [path, key] : was) {
        if (!Ascii(path))
            continue;  // its name may read otherwise (see ValuesKept)
        const RegistryKey* kept = after.FindKey(path);
        if (kept == nullptr || !ValuesKept(*key, *kept))
            std::abort();  // another key lost or changed a value
    }
    return 0;
}
