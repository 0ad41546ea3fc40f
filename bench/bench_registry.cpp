// Figures for the registry store: parse speed of a large export and the time
// of the start-up search over many installed databases (the store is read
// afresh on every registry call).

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "GMojRege.h"
#include "RegistryStore.h"
#include "Startup.h"

namespace {

std::string MakeStore(int subkeys) {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int i = 0; i < subkeys; ++i) {
        text += "[HKEY_CURRENT_USER\\Software\\Tavi\\Project\\Package\\Septictank" +
                std::to_string(i) + "]\r\n";
        text += "\"DataBaseName\"=\"/srv/tavi/浄化槽" + std::to_string(i) + ".sqlite\"\r\n";
        text += "\"DataBaseMode\"=\"0\"\r\n\"UserName\"=\"営業所" + std::to_string(i) + "\"\r\n";
        text += "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,\\\r\n  10,11\r\n";
    }
    return text;
}

template <typename F>
double Seconds(F f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    char pattern[] = "/tmp/velkan-bench-reg-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    const std::filesystem::path dir = pattern;
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    std::filesystem::create_directories(dir / "Tavi");

    std::printf("%10s %12s %14s %16s\n", "subkeys", "bytes", "parse ms", "start-up ms");
    for (int subkeys : {1, 10, 100, 1000}) {
        const std::string text = MakeStore(subkeys);
        std::ofstream(dir / "Tavi" / "HKEY_CURRENT_USER.reg", std::ios::binary) << text;
        const std::span<const std::uint8_t> bytes(
            reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        const int rounds = subkeys >= 1000 ? 5 : 50;
        std::size_t keys = 0;
        const double parse = Seconds([&] {
            for (int r = 0; r < rounds; ++r)
                keys += GMojRege::RegistryStore::Parse(bytes).keyCount();
        });
        std::size_t found = 0;
        const double startup = Seconds([&] { found = FindDatabaseEntries().size(); });
        std::printf("%10d %12zu %14.3f %16.1f   (%zu keys, %zu entries)\n", subkeys, text.size(),
                    parse * 1000 / rounds, startup * 1000, keys / rounds, found);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
