// The allocator setting a program adds when it starts itself with large pages,
// and the environment its new start leaves to the programs it starts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "FaultProcess.h"
#include "LargePages.h"

TEST(LargePages, TunablesKeepTheUsersSettings) {
    const struct {
        const char* current;
        const char* expected;
    } cases[] = {
        {"", "glibc.malloc.hugetlb=1"},
        {"glibc.malloc.arena_max=2", "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1"},
        // The user's own choice stands, also "off".
        {"glibc.malloc.hugetlb=0", "glibc.malloc.hugetlb=0"},
        {"glibc.malloc.hugetlb=2:glibc.malloc.arena_max=2",
         "glibc.malloc.hugetlb=2:glibc.malloc.arena_max=2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LargePageTunables(c.current), c.expected) << c.current;
}

// ---- The new start and its environment --------------------------------------

namespace {

constexpr const char* kReportFd = "VELKAN_TEST_REPORT_FD";

// GLIBC_TUNABLES and the restart marker as a program sees them.
std::string EnvironmentSeen() {
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    const char* marker = std::getenv("VELKAN_LARGE_PAGES_RESTARTED");
    return std::string("GLIBC_TUNABLES=") + (tunables ? tunables : "(unset)") +
           " marker=" + (marker ? marker : "(unset)");
}

void Report(int fd, const std::string& text) {
    [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
}

// Runs UseLargePages in a child with `env` set (a null value unsets) and
// returns what the child saw after it returned: "returned …", or what the
// new start of this test program reported when it started itself again.
std::string UseLargePagesInChild(const std::vector<std::pair<const char*, const char*>>& env) {
    faulttest::Pipe pipe;
    const pid_t pid = faulttest::StartChild([&] {
        ::close(pipe.fd[0]);
        for (const auto& [name, value] : env) {
            if (value != nullptr)
                setenv(name, value, 1);
            else
                unsetenv(name);
        }
        setenv(kReportFd, std::to_string(pipe.fd[1]).c_str(), 1);
        std::string self = "/proc/self/exe";
        std::string filter = "--gtest_filter=LargePagesNewStart.ReportsItsEnvironment";
        char* argv[] = {self.data(), filter.data(), nullptr};
        UseLargePages(argv);
        Report(pipe.fd[1], "returned " + EnvironmentSeen());
        return 0;
    });
    ::close(pipe.fd[1]);
    pipe.fd[1] = -1;
    std::string seen;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipe.fd[0], buffer, sizeof buffer)) > 0;)
        seen.append(buffer, static_cast<std::size_t>(n));
    faulttest::WaitChild(pid);
    return seen;
}

}  // namespace

// Runs only as the new start of UseLargePagesInChild.
TEST(LargePagesNewStart, ReportsItsEnvironment) {
    const char* fd = std::getenv(kReportFd);
    if (fd == nullptr)
        GTEST_SKIP() << "only as a program's new start";
    char self[] = "test";
    char* argv[] = {self, nullptr};
    UseLargePages(argv);
    Report(std::atoi(fd), "restarted " + EnvironmentSeen());
}

TEST(LargePages, TheNewStartGivesItsChildrenTheUsersEnvironment) {
    if (!LargePagesWanted())
        GTEST_SKIP() << "this system gives huge pages to all programs or to none";
    // The user's own tunables come back, and an unset one stays unset.
    EXPECT_EQ(UseLargePagesInChild({{"GLIBC_TUNABLES", "glibc.malloc.arena_max=2"}}),
              "restarted GLIBC_TUNABLES=glibc.malloc.arena_max=2 marker=(unset)");
    EXPECT_EQ(UseLargePagesInChild({{"GLIBC_TUNABLES", nullptr}}),
              "restarted GLIBC_TUNABLES=(unset) marker=(unset)");
    EXPECT_EQ(UseLargePagesInChild({{"GLIBC_TUNABLES", ""}}),
              "restarted GLIBC_TUNABLES= marker=(unset)");
}

TEST(LargePages, NoNewStartWhenTheUserOptsOutOrUnderValgrind) {
    if (!LargePagesWanted())
        GTEST_SKIP() << "this system gives huge pages to all programs or to none";
    EXPECT_EQ(UseLargePagesInChild({{"GLIBC_TUNABLES", nullptr}, {"VELKAN_LARGE_PAGES", "0"}}),
              "returned GLIBC_TUNABLES=(unset) marker=(unset)");
    // valgrind's preloaded library, named as valgrind names it (never loaded:
    // no new start).
    EXPECT_EQ(UseLargePagesInChild(
                  {{"GLIBC_TUNABLES", nullptr},
                   {"LD_PRELOAD", "/usr/libexec/valgrind/vgpreload_memcheck-amd64-linux.so"}}),
              "returned GLIBC_TUNABLES=(unset) marker=(unset)");
    // Any other value is no opt-out.
    EXPECT_EQ(UseLargePagesInChild({{"GLIBC_TUNABLES", nullptr}, {"VELKAN_LARGE_PAGES", "1"}}),
              "restarted GLIBC_TUNABLES=(unset) marker=(unset)");
}
