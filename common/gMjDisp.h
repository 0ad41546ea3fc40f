#pragma once
// Fixed-width text helpers of both windows (right-justified numbers,
// zero-filled codes, text fitted to a width counted in Shift_JIS bytes).
// All texts are UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

namespace gMjDisp {

std::string DecimalMask(std::int16_t decimals);
// Rounds halves away from zero; keeps the rightmost `width` characters.
std::string FormatNumberRight(double value, std::int16_t width, std::int16_t decimals,
                              bool thousands);
std::string ZeroFill(std::int32_t value, std::int16_t width);
std::string ZeroFillText(std::string_view text, std::int16_t width);
// Changes `text` (trimmed, `width` blanks appended) and returns it fitted.
std::string FitToByteWidth(std::string& text, std::int16_t width);

// Support shared by the tools.
std::string Trim(std::string_view text);                // half-width blanks at both ends
std::size_t ShiftJisByteLength(std::string_view text);  // full-width 2, half-width 1
std::string FullWidthDigits(long long number);          // 17 -> "１７"

}  // namespace gMjDisp

namespace pMjComon {
// Enter (13) becomes 0 so that it types no character and makes no beep.
void SuppressEnterKey(std::int16_t& keyAscii);
}  // namespace pMjComon
