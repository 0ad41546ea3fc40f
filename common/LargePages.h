#pragma once
// Large pages for the memory allocator's heap.
//
// A full export or import touches a few hundred megabytes once, page by page,
// and on virtual machines every first touch of a 4 KiB page is costly: on the
// two-core test machine it was a third of the export's processor time. With
// transparent huge pages the same memory arrives in 2 MiB steps. The C
// library's allocator takes that setting from GLIBC_TUNABLES when a program
// starts and never later, so a program that wants it starts itself once more
// with the setting added.

#include <string>

// Call first thing in main(). Returns at once when the program already runs
// with the setting or does not need it (the system gives huge pages to every
// program, or to none); returns after a failed new start, and the program
// goes on with small pages.
void UseLargePages(char** argv);

// GLIBC_TUNABLES with the allocator's huge-page setting added to `current`
// (the value in force, or empty); `current` itself when it already has a
// huge-page setting, which is the user's to choose.
std::string LargePageTunables(const std::string& current);
