#include "FeeCellText.h"

#include <charconv>
#include <cmath>

#include "gMjDisp.h"

namespace {

// Wide enough for any double written without exponent, sign and decimals included.
constexpr std::int16_t kWholeNumberWidth = 400;

// Below 2^53 every whole double is exact, so its digits are those of the integer.
constexpr double kExactWholeLimit = 9007199254740992.0;

// Below 10^14 the digits of a whole number, sign included, are at most 15
// characters, which the engine reads back without rounding.
constexpr double kDigitsReadExactly = 1e14;

// A number with decimals (a capacity in cubic metres) whose scaled value is
// a whole number k of at most 12 digits: the text is k with the point set
// in. The number lies within a rounding error of k's value, far less than
// half of the last place, so FormatNumberRight's rounding also gives k's
// digits; no formatting through a 15-digit text. False for anything else.
bool ScaledWholeText(double number, std::int16_t decimals, std::string& text) {
    constexpr double kScales[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    if (decimals < 1 || decimals > 6)
        return false;
    const double scaled = number * kScales[decimals];
    if (!(std::fabs(scaled) < 1e12) || scaled != std::trunc(scaled) || scaled == 0)
        return false;
    const auto k = static_cast<long long>(std::fabs(scaled));
    const auto scale = static_cast<long long>(kScales[decimals]);
    char buffer[32];
    char* end = buffer;
    if (scaled < 0)
        *end++ = '-';
    end = std::to_chars(end, buffer + sizeof buffer, k / scale).ptr;
    *end++ = '.';
    const long long fraction = k % scale;
    char digits[8];
    const char* digitsEnd = std::to_chars(digits, digits + sizeof digits, fraction).ptr;
    const auto length = static_cast<std::int16_t>(digitsEnd - digits);
    for (std::int16_t pad = length; pad < decimals; ++pad)
        *end++ = '0';
    for (const char* d = digits; d != digitsEnd; ++d)
        *end++ = *d;
    text.assign(buffer, end);
    return true;
}

}  // namespace

std::string NumberCellText(const FieldValue& value, std::int16_t width, std::int16_t decimals) {
    if (IsNull(value))
        return {};
    const double number = FieldNumber(value);
    // Codes, counts and amounts are whole numbers: for them "###0" gives the
    // plain digits, and a sheet of 65,533 rows makes millions of these calls.
    if (decimals == 0 && std::fabs(number) < kExactWholeLimit && number == std::trunc(number)) {
        char digits[24];
        const auto end =
            std::to_chars(digits, digits + sizeof digits, static_cast<long long>(number)).ptr;
        return std::string(digits, end);
    }
    if (std::string text; ScaledWholeText(number, decimals, text))
        return text;
    std::string text = gMjDisp::Trim(gMjDisp::FormatNumberRight(number, width, decimals, false));
    // Text filling the whole width may have lost leading characters.
    if (text.size() >= static_cast<std::size_t>(width)) {
        text =
            gMjDisp::Trim(gMjDisp::FormatNumberRight(number, kWholeNumberWidth, decimals, false));
    }
    return text;
}

std::string TextCellText(const FieldValue& value) {
    return FieldText(value);
}

std::string FieldCellText(const RecordsetHelper& recordset, const RecordField& field) {
    const FieldValue& value = recordset.FieldRef(field.alias);
    return field.width == 0 ? TextCellText(value)
                            : NumberCellText(value, field.width, field.decimals);
}

bool SetFieldCell(pClExcel& excel, std::int32_t row, std::int16_t column, const FieldValue& value,
                  std::int16_t width, std::int16_t decimals) {
    if (width == 0) {
        if (const auto* text = std::get_if<std::string>(&value))
            return excel.SetCellText(row, column, *text);
        return excel.SetCellText(row, column, TextCellText(value));
    }
    if (decimals == 0 && !IsNull(value)) {
        const double number = FieldNumber(value);
        if (std::fabs(number) < kDigitsReadExactly && number == std::trunc(number)) {
            // Through the integer: -0 has the digits "0", which read back as +0.
            return excel.SetCellValue(row, column,
                                      static_cast<double>(static_cast<long long>(number)));
        }
    }
    return excel.SetCellText(row, column, NumberCellText(value, width, decimals));
}
