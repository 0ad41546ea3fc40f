#pragma once
// Numbers of the workbook engine's errors (thrown as PlatformError with a
// Japanese description): the run-time error numbers callers and messages
// show, 1004 for a refused operation, 9 for a missing sheet and so on.

#include <cstdint>

namespace xls {

inline constexpr std::int32_t kErrGeneral = 1004;        // operation refused
inline constexpr std::int32_t kErrNoBook = 91;           // no workbook open
inline constexpr std::int32_t kErrNoSuchSheet = 9;       // index or name out of range
inline constexpr std::int32_t kErrFileNotFound = 53;     // file not found
inline constexpr std::int32_t kErrFileAccess = 75;       // path/file access error
inline constexpr std::int32_t kErrDiskFull = 61;         // disk full / write failed
inline constexpr std::int32_t kErrSaveCancelled = 1004;  // overwrite declined
inline constexpr std::int32_t kErrNotXls = 32800;        // not an .xls (BIFF8) workbook
inline constexpr std::int32_t kErrEncrypted = 32801;     // encrypted (FILEPASS)
inline constexpr std::int32_t kErrOldFormat = 32802;     // BIFF5 or older
inline constexpr std::int32_t kErrDamaged = 32803;       // truncated or damaged
inline constexpr std::int32_t kErrLimit = 32804;         // a format limit exceeded (XFs, rows)

}  // namespace xls
