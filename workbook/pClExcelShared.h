#pragma once
// What the files of pClExcel share: the limits of the class, the spreadsheet
// constants they use and the error of a refused setting.

#include <cstdint>
#include <string>

#include "EngineErrors.h"
#include "PlatformError.h"

namespace pclexcel {

inline constexpr std::int32_t kMaxRow = 65535;  // rows the class addresses
inline constexpr std::int32_t kMaxCol = 256;
inline constexpr std::int32_t kRowsCount = 65536;  // rows of a sheet

// Spreadsheet constants.
inline constexpr std::int32_t xlAutomatic = -4105;
inline constexpr std::int32_t xlNone = -4142;

// A setting the spreadsheet refuses (an invalid code, size or range).
inline PlatformError refused(const std::string& what) {
    return PlatformError(xls::kErrGeneral, what);
}

}  // namespace pclexcel
