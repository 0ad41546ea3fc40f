#pragma once
// The values an entry cell of the fee workbook may hold: the import rejects
// anything outside these limits, and the exported workbook's entry cells
// refuse it when typed. Both take them from here so the two cannot differ.

#include <cstdint>

namespace feelimits {

inline constexpr std::int64_t kEntryMinimum = 0;
// 年間金額, １回金額 and the twelve 請求金額(n月): any number in the range.
inline constexpr std::int64_t kAmountMaximum = 999999999;
// 作業回数: a whole number in the range.
inline constexpr std::int64_t kVisitCountMaximum = 999;

}  // namespace feelimits
