#pragma once
// Large pages for the memory allocator's heap.
//
// A full export or import touches a few hundred megabytes once, page by page,
// and on virtual machines every first touch of a 4 KiB page is costly: it was
// a third of the export's processor time. With transparent huge pages the
// same memory arrives in 2 MiB steps. The C library's allocator takes that
// setting from GLIBC_TUNABLES when a program starts and never later, so a
// program that wants it starts itself once more with the setting added.

#include <string>

// Call first thing in main(). Returns at once when the program does not need
// the setting (the system gives huge pages to every program, or to none),
// when the user opts out (VELKAN_LARGE_PAGES=0) and under valgrind; returns
// after a failed new start, and the program goes on with small pages. In the
// new start it puts GLIBC_TUNABLES back as the user had it (or unsets it), so
// that the programs this one starts get the user's environment.
void UseLargePages(char** argv);

// Whether this start would start itself once more: not opted out, not under
// valgrind, huge pages given on request.
bool LargePagesWanted();

// GLIBC_TUNABLES with the allocator's huge-page setting added to `current`
// (the value in force, or empty); `current` itself when it already has a
// huge-page setting, which is the user's to choose.
std::string LargePageTunables(const std::string& current);
