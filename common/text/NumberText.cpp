#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>

namespace numbertext {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number as read from text, before conversion.
struct DecimalParts {
    bool negative = false;
    std::string intDigits;
    std::string fracDigits;
    std::string exponent;  // digits with an optional leading '-'; empty when none
};

// Reads an exponent "e[sign]digits" at s[i]; advances i only when complete.
void ReadExponent(std::string_view s, std::size_t& i, std::string& exponent) {
    if (i >= s.size() || (s[i] != 'e' && s[i] != 'E'))
        return;
    std::size_t j = i + 1;
    std::string digits;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
        if (s[j] == '-')
            digits.push_back('-');
        ++j;
    }
    const std::size_t firstDigit = j;
    while (j < s.size() && IsDigit(s[j]))
        digits.push_back(s[j++]);
    if (j == firstDigit)
        return;
    exponent = digits;
    i = j;
}

// Reads sign, digits, one point with digits, and a complete exponent at s[i],
// leaving `i` after them. With `thousands`, a comma between two digits of the
// whole part is a separator. False when no digit was read.
bool ReadDecimal(std::string_view s, std::size_t& i, DecimalParts& parts, bool thousands) {
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        parts.negative = s[i++] == '-';
    while (i < s.size()) {
        if (IsDigit(s[i])) {
            parts.intDigits.push_back(s[i++]);
        } else if (thousands && s[i] == ',' && !parts.intDigits.empty() && IsDigit(s[i - 1]) &&
                   i + 1 < s.size() && IsDigit(s[i + 1])) {
            ++i;
        } else {
            break;
        }
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i]))
            parts.fracDigits.push_back(s[i++]);
    }
    if (parts.intDigits.empty() && parts.fracDigits.empty())
        return false;
    ReadExponent(s, i, parts.exponent);
    return true;
}

// Power of ten just above the number's magnitude; decides whether a number
// out of the range of a double is too large or too small.
long DecimalMagnitude(const DecimalParts& parts) {
    constexpr long kCap = 1000000;
    long exponent = 0;
    for (char c : parts.exponent) {
        if (IsDigit(c) && exponent < kCap)
            exponent = exponent * 10 + (c - '0');
    }
    if (!parts.exponent.empty() && parts.exponent[0] == '-')
        exponent = -exponent;
    const std::size_t lead = parts.intDigits.find_first_not_of('0');
    if (lead != std::string::npos)
        return static_cast<long>(parts.intDigits.size() - lead) + exponent;
    const std::size_t zeros = parts.fracDigits.find_first_not_of('0');
    return -static_cast<long>(zeros == std::string::npos ? 0 : zeros) + exponent;
}

double ToDouble(const DecimalParts& parts) {
    std::string text = (parts.intDigits.empty() ? std::string("0") : parts.intDigits) + "." +
                       (parts.fracDigits.empty() ? std::string("0") : parts.fracDigits);
    if (!parts.exponent.empty())
        text += "e" + parts.exponent;
    double value = 0;
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = DecimalMagnitude(parts) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return parts.negative ? -value : value;
}

}  // namespace

double LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    DecimalParts parts;
    return ReadDecimal(text, i, parts, false) ? ToDouble(parts) : 0.0;
}

double LeadingNumberWide(std::string_view text) {
    const std::string s = NarrowNumberText(text);
    std::size_t i = s.find_first_not_of(' ');
    if (i == std::string::npos)
        return 0;
    DecimalParts parts;
    return ReadDecimal(s, i, parts, false) ? ToDouble(parts) : 0.0;
}

std::optional<double> ParseNumber(std::string_view text) {
    const std::string narrow = NarrowNumberText(text);
    const std::size_t first = narrow.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::nullopt;
    const std::size_t last = narrow.find_last_not_of(' ');
    const std::string_view s = std::string_view(narrow).substr(first, last - first + 1);
    std::size_t i = 0;
    DecimalParts parts;
    if (!ReadDecimal(s, i, parts, true) || i != s.size())
        return std::nullopt;
    return ToDouble(parts);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool LeadingNumberIsZero(std::string_view text) {
    std::string compact;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n')
            compact.push_back(c);
    }
    std::size_t i = 0;
    if (compact.size() >= 2 && compact[0] == '&' && (compact[1] == 'H' || compact[1] == 'h')) {
        for (i = 2; i < compact.size(); ++i) {
            const char c = compact[i];
            if (HexDigit(c) < 0)
                break;
            if (c != '0')
                return false;
        }
        return true;
    }
    if (compact.size() >= 2 && compact[0] == '&' && (compact[1] == 'O' || compact[1] == 'o')) {
        for (i = 2; i < compact.size() && compact[i] >= '0' && compact[i] <= '7'; ++i) {
            if (compact[i] != '0')
                return false;
        }
        return true;
    }
    if (i < compact.size() && (compact[i] == '+' || compact[i] == '-'))
        ++i;
    bool point = false;
    for (; i < compact.size(); ++i) {
        const char c = compact[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9')
            break;
        if (c != '0')
            return false;
    }
    return true;
}

std::string NarrowNumberText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        if (b0 == 0xEF && i + 2 < text.size()) {
            const auto b1 = static_cast<unsigned char>(text[i + 1]);
            const auto b2 = static_cast<unsigned char>(text[i + 2]);
            char narrow = 0;
            if (b1 == 0xBC && b2 >= 0x90 && b2 <= 0x99) {
                narrow = static_cast<char>('0' + (b2 - 0x90));  // ０..９
            } else if (b1 == 0xBC && b2 == 0x8B) {
                narrow = '+';  // ＋
            } else if (b1 == 0xBC && b2 == 0x8D) {
                narrow = '-';  // －
            } else if (b1 == 0xBC && b2 == 0x8E) {
                narrow = '.';  // ．
            } else if (b1 == 0xBC && b2 == 0x8C) {
                narrow = ',';  // ，
            } else if (b1 == 0xBC && b2 == 0xA5) {
                narrow = 'E';  // Ｅ
            } else if (b1 == 0xBD && b2 == 0x85) {
                narrow = 'e';  // ｅ
            }
            if (narrow != 0) {
                out.push_back(narrow);
                i += 3;
                continue;
            }
        } else if (b0 == 0xE2 && i + 2 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) == 0x88 &&
                   static_cast<unsigned char>(text[i + 2]) == 0x92) {
            out.push_back('-');  // − (minus sign)
            i += 3;
            continue;
        } else if (b0 == 0xE3 && i + 2 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   static_cast<unsigned char>(text[i + 2]) == 0x80) {
            out.push_back(' ');  // ideographic space
            i += 3;
            continue;
        }
        out.push_back(text[i]);
        ++i;
    }
    return out;
}

}  // namespace numbertext
