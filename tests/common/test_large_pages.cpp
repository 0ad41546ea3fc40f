// The allocator setting a program adds when it starts itself with large pages.
#include <gtest/gtest.h>

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
