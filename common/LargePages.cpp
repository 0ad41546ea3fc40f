#include "LargePages.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace {

constexpr const char* kRestarted = "VELKAN_LARGE_PAGES";
constexpr const char* kSetting = "glibc.malloc.hugetlb=1";

// "[madvise]": huge pages only for memory that asks for them, which is what
// the allocator's setting does. "[always]" needs nothing; "[never]" allows nothing.
bool HugePagesOnRequest() {
    std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string text;
    std::getline(mode, text);
    return text.find("[madvise]") != std::string::npos;
}

}  // namespace

std::string LargePageTunables(const std::string& current) {
    if (current.find("glibc.malloc.hugetlb=") != std::string::npos)
        return current;
    return current.empty() ? kSetting : current + ":" + kSetting;
}

void UseLargePages(char** argv) {
    if (std::getenv(kRestarted) != nullptr) {
        // Not handed down to whatever this program starts.
        unsetenv(kRestarted);
        return;
    }
    if (!HugePagesOnRequest())
        return;
    const char* old = std::getenv("GLIBC_TUNABLES");
    const std::string current = old != nullptr ? old : "";
    const std::string tunables = LargePageTunables(current);
    if (tunables == current)
        return;
    setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
    setenv(kRestarted, "1", 1);
    execv("/proc/self/exe", argv);
    // Still here: the program goes on as it was started.
    unsetenv(kRestarted);
    if (old != nullptr) {
        setenv("GLIBC_TUNABLES", current.c_str(), 1);
    } else {
        unsetenv("GLIBC_TUNABLES");
    }
}
