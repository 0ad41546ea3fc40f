#include "gMjDisp.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "TextCodec.h"

namespace gMjDisp {
namespace {

// Byte offsets where the UTF-8 characters of `s` start, plus s.size() at the
// end. A malformed byte counts as one character of its own.
std::vector<std::size_t> CharBoundaries(std::string_view s) {
    std::vector<std::size_t> starts;
    starts.reserve(s.size() + 1);
    std::size_t i = 0;
    while (i < s.size()) {
        starts.push_back(i);
        textcodec::NextCodePoint(s, i);
    }
    starts.push_back(s.size());
    return starts;
}

// Code page 932 bytes of the character at the start of `s`: ASCII and
// half-width katakana take one byte, everything else two (a character the
// code page lacks is counted as a two-byte one).
std::size_t CharByteWidth(std::string_view s) {
    std::size_t i = 0;
    const char32_t cp = textcodec::NextCodePoint(s, i);
    return cp < 0x80 || (cp >= 0xFF61 && cp <= 0xFF9F) ? 1 : 2;
}

std::string KeepRight(const std::string& s, std::int16_t width) {
    if (width <= 0)
        return {};
    const std::vector<std::size_t> starts = CharBoundaries(s);
    const std::size_t chars = starts.size() - 1;
    const auto keep = static_cast<std::size_t>(width);
    if (chars <= keep)
        return s;
    return s.substr(starts[chars - keep]);
}

std::string Blanks(std::int16_t width) {
    return std::string(width > 0 ? static_cast<std::size_t>(width) : 0, ' ');
}

// |value| * 10^decimals rounded half away from zero, as decimal digits.
// The value is taken at 15 significant digits first, the precision a
// double holds for certain, so that 2.675 rounds to 2.68 although the binary
// double lies just below it.
std::string ScaledDigits(double magnitude, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", magnitude);
    std::string mantissa;
    const char* p = buffer;
    for (; *p != '\0' && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9')
            mantissa.push_back(*p);
    }
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    const long kept = static_cast<long>(exponent) + 1 + decimals;  // digits left of the cut
    const long available = static_cast<long>(mantissa.size());
    if (kept < 0)
        return "0";
    std::string digits;
    if (kept >= available) {
        digits = mantissa + std::string(static_cast<std::size_t>(kept - available), '0');
    } else {
        digits = mantissa.substr(0, static_cast<std::size_t>(kept));
        if (mantissa[static_cast<std::size_t>(kept)] >= '5') {
            long i = static_cast<long>(digits.size()) - 1;
            while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9') {
                digits[static_cast<std::size_t>(i)] = '0';
                --i;
            }
            if (i < 0) {
                digits.insert(digits.begin(), '1');
            } else {
                ++digits[static_cast<std::size_t>(i)];
            }
        }
    }
    if (digits.empty())
        digits = "0";
    return digits;
}

}  // namespace

std::string DecimalMask(std::int16_t decimals) {
    if (decimals <= 0)
        return {};
    return "." + std::string(static_cast<std::size_t>(decimals), '0');
}

std::string FormatNumberRight(double value, std::int16_t width, std::int16_t decimals,
                              bool thousands) {
    if (!std::isfinite(value))
        return Blanks(width);
    const int places = decimals > 0 ? decimals : 0;
    std::string digits = ScaledDigits(std::fabs(value), places);
    if (digits.size() < static_cast<std::size_t>(places) + 1) {
        digits.insert(0, static_cast<std::size_t>(places) + 1 - digits.size(), '0');
    }
    std::string whole = digits.substr(0, digits.size() - static_cast<std::size_t>(places));
    const std::string fraction = digits.substr(whole.size());
    const std::size_t firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? "0" : whole.substr(firstNonZero);

    std::string text;
    // A value that rounds to zero is shown without a sign.
    if (value < 0 && digits.find_first_not_of('0') != std::string::npos)
        text = "-";
    if (thousands) {
        for (std::size_t i = 0; i < whole.size(); ++i) {
            if (i > 0 && (whole.size() - i) % 3 == 0)
                text.push_back(',');
            text.push_back(whole[i]);
        }
    } else {
        text += whole;
    }
    if (places > 0)
        text += "." + fraction;
    return KeepRight(Blanks(width) + text, width);
}

std::string ZeroFill(std::int32_t value, std::int16_t width) {
    return ZeroFillText(std::to_string(value), width);
}

std::string ZeroFillText(std::string_view text, std::int16_t width) {
    const std::string zeros(width > 0 ? static_cast<std::size_t>(width) : 0, '0');
    return KeepRight(zeros + Trim(text), width);
}

std::string FitToByteWidth(std::string& text, std::int16_t width) {
    text = Trim(text) + Blanks(width);
    if (width < 0)
        return {};
    const std::size_t target = static_cast<std::size_t>(width);
    const std::vector<std::size_t> starts = CharBoundaries(text);
    const std::size_t chars = starts.size() - 1;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i <= chars; ++i) {
        if (i > 0) {
            bytes += CharByteWidth(std::string_view(text).substr(starts[i - 1]));
        }
        if (i < target / 2 || bytes < target)
            continue;
        if (bytes == target)
            return text.substr(0, starts[i]);
        // A two-byte character straddles the limit: a blank takes its place.
        return text.substr(0, starts[i - 1]) + " ";
    }
    return Blanks(width);
}

std::string Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::size_t ShiftJisByteLength(std::string_view text) {
    const std::vector<std::size_t> starts = CharBoundaries(text);
    std::size_t bytes = 0;
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
        bytes += CharByteWidth(text.substr(starts[i]));
    }
    return bytes;
}

std::string FullWidthDigits(long long number) {
    std::string out;
    for (char c : std::to_string(number)) {
        if (c == '-') {
            out += "－";
        } else {
            // U+FF10 + digit, in UTF-8: EF BC 90..99.
            out += "\xEF\xBC";
            out.push_back(static_cast<char>(0x90 + (c - '0')));
        }
    }
    return out;
}

}  // namespace gMjDisp

namespace pMjComon {

void SuppressEnterKey(std::int16_t& keyAscii) {
    if (keyAscii == 13)
        keyAscii = 0;
}

}  // namespace pMjComon
