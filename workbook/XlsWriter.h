#pragma once
// Writes a Workbook as an Excel 97-2003 (.xls, BIFF8) file in an OLE2
// compound file (libgsf, 512-byte sectors). Throws PlatformError.

#include <cstdint>
#include <string>
#include <vector>

#include "Workbook.h"

namespace xls {

// The BIFF8 "Workbook" stream.
std::vector<std::uint8_t> WriteBiff8Stream(const Workbook& book);
// The whole .xls file in memory.
std::vector<std::uint8_t> WriteXlsToMemory(const Workbook& book);
// Writes a temporary file in the target's folder and renames it over the
// target, so a failed save leaves no file behind and an existing target untouched.
void WriteXlsFile(const Workbook& book, const std::string& path);

}  // namespace xls
