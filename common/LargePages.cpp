#include "LargePages.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#define VELKAN_HAVE_VALGRIND_H 1
#endif

namespace {

// Set for the new start only: the user's GLIBC_TUNABLES as it was ("=" and
// the value), or "-" when it was not set, to be put back at once.
constexpr const char* kRestarted = "VELKAN_LARGE_PAGES_RESTARTED";
constexpr const char* kOptOut = "VELKAN_LARGE_PAGES";
constexpr const char* kSetting = "glibc.malloc.hugetlb=1";

// "[madvise]": huge pages only for memory that asks for them, which is what
// the allocator's setting does. "[always]" needs nothing; "[never]" allows nothing.
bool HugePagesOnRequest() {
    std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string text;
    std::getline(mode, text);
    return text.find("[madvise]") != std::string::npos;
}

// Under valgrind /proc/self/exe is valgrind's own tool, and the new start
// would leave the program behind.
bool UnderValgrind() {
#ifdef VELKAN_HAVE_VALGRIND_H
    if (RUNNING_ON_VALGRIND)
        return true;
#endif
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "vgpreload") != nullptr;
}

void SetTunables(const char* value) {
    if (value != nullptr)
        setenv("GLIBC_TUNABLES", value, 1);
    else
        unsetenv("GLIBC_TUNABLES");
}

}  // namespace

std::string LargePageTunables(const std::string& current) {
    if (current.find("glibc.malloc.hugetlb=") != std::string::npos)
        return current;
    return current.empty() ? kSetting : current + ":" + kSetting;
}

bool LargePagesWanted() {
    const char* choice = std::getenv(kOptOut);
    if (choice != nullptr && std::strcmp(choice, "0") == 0)
        return false;
    return !UnderValgrind() && HugePagesOnRequest();
}

void UseLargePages(char** argv) {
    if (const char* restarted = std::getenv(kRestarted)) {
        // The allocator has read the setting; whatever this program starts
        // gets the environment the user gave it.
        SetTunables(restarted[0] == '=' ? restarted + 1 : nullptr);
        unsetenv(kRestarted);
        return;
    }
    if (!LargePagesWanted())
        return;
    const char* old = std::getenv("GLIBC_TUNABLES");
    const std::string current = old != nullptr ? old : "";
    const std::string tunables = LargePageTunables(current);
    if (tunables == current)
        return;
    const std::string saved = old != nullptr ? "=" + current : "-";
    setenv(kRestarted, saved.c_str(), 1);
    setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
    execv("/proc/self/exe", argv);
    // Still here: the program goes on as it was started.
    unsetenv(kRestarted);
    SetTunables(old != nullptr ? current.c_str() : nullptr);
}
