#pragma once
// Reads an .xls (BIFF8) workbook into a Workbook. Files it cannot read
// (encrypted, BIFF5 and older, .xlsx or anything else renamed, truncated or
// damaged) throw PlatformError with a Japanese description; never a crash.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "Workbook.h"

namespace xls {

std::unique_ptr<Workbook> ReadXlsFile(const std::string& path);
std::unique_ptr<Workbook> ReadXlsFromMemory(const std::uint8_t* data, std::size_t size);

}  // namespace xls
