#pragma once
// How a refusal of the database becomes a reason the user can read.

#include <cstdint>
#include <string>

// Why the database as a whole refused a write, for the failures the user can
// do something about (locked, read-only, disk full, ...); empty for anything else.
std::string DatabaseRefusal(std::int32_t rc);
