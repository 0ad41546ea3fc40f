#include "CellText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "pClExcelShared.h"

namespace pclexcel {
bool readsAsNumber(const std::string& text, double& out) {
    std::size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    if (b == e)
        return false;
    // Plain digits (codes, amounts, dates): exact without a parse.
    if (e - b <= 15) {
        std::size_t i = b;
        const bool negative = text[i] == '-';
        if (negative || text[i] == '+')
            ++i;
        if (i < e) {
            std::int64_t v = 0;
            std::size_t k = i;
            while (k < e && text[k] >= '0' && text[k] <= '9')
                v = v * 10 + (text[k++] - '0');
            if (k == e) {
                out = v == 0 ? 0.0 : static_cast<double>(negative ? -v : v);
                return true;
            }
        }
    }
    char buf[400];
    std::size_t n = 0;
    std::size_t i = b;
    if (text[i] == '+' || text[i] == '-') {
        if (text[i] == '-')
            buf[n++] = '-';
        ++i;
    }
    std::size_t intDigits = 0;
    std::size_t group = 0;
    bool grouped = false;
    while (i < e && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == ',')) {
        if (text[i] == ',') {
            if (intDigits == 0 || (grouped && group != 3) || (!grouped && group > 3))
                return false;
            grouped = true;
            group = 0;
        } else {
            if (n >= sizeof buf - 40)
                return false;
            buf[n++] = text[i];
            ++intDigits;
            ++group;
        }
        ++i;
    }
    if (grouped && group != 3)
        return false;
    std::size_t fracDigits = 0;
    if (i < e && text[i] == '.') {
        buf[n++] = '.';
        ++i;
        while (i < e && std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (n >= sizeof buf - 20)
                return false;
            buf[n++] = text[i++];
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0)
        return false;
    if (i < e && (text[i] == 'e' || text[i] == 'E')) {
        buf[n++] = 'e';
        ++i;
        if (i < e && (text[i] == '+' || text[i] == '-'))
            buf[n++] = text[i++];
        std::size_t expDigits = 0;
        while (i < e && std::isdigit(static_cast<unsigned char>(text[i])) && n < sizeof buf - 1) {
            buf[n++] = text[i++];
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != e)
        return false;
    double value = 0;
    const auto [end, ec] = std::from_chars(buf, buf + n, value);
    if (ec != std::errc() || end != buf + n || !std::isfinite(value))
        return false;
    out = value == 0 ? 0.0 : value;  // no negative zero
    return true;
}

std::string numberText(double x) {
    if (x == 0)
        return "0";
    // No cell holds these; a message that quotes one shows what a cell would.
    if (!std::isfinite(x))
        return "#NUM!";
    const double ax = std::fabs(x);
    char buf[64];
    if (ax >= 1e15 || ax < 1e-5) {
        std::snprintf(buf, sizeof buf, "%.14E", x);
        std::string s = buf;
        const auto ePos = s.find('E');
        std::string mant = s.substr(0, ePos);
        std::string exp = s.substr(ePos);
        if (mant.find('.') != std::string::npos) {
            while (!mant.empty() && mant.back() == '0')
                mant.pop_back();
            if (!mant.empty() && mant.back() == '.')
                mant.pop_back();
        }
        return mant + exp;
    }
    if (x == std::floor(x)) {
        std::snprintf(buf, sizeof buf, "%.0f", x);
        return buf;
    }
    const int magnitude = static_cast<int>(std::floor(std::log10(ax))) + 1;
    const int decimals = std::clamp(15 - magnitude, 0, 20);
    std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    if (s == "-0")
        s = "0";
    return s;
}

std::string textOf(const xls::CellValue& v) {
    switch (v.index()) {
        case 1:
            return numberText(std::get<double>(v));
        case 2:
            return std::get<std::string>(v);
        case 3:
            return std::get<bool>(v) ? "True" : "False";
        case 4:
            throw PlatformError(13, "型が一致しません(セルにエラー値があります)。");
        default:
            return std::string();
    }
}

std::int32_t columnOfLetters(const std::string& letters) {
    if (letters.empty() || letters.size() > 3)
        return 0;
    std::int32_t col = 0;
    for (char ch : letters) {
        char c = ch;
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        if (c < 'A' || c > 'Z')
            return 0;
        col = col * 26 + (c - 'A' + 1);
    }
    return col <= kMaxCol ? col : 0;
}

std::size_t displayWidth(const std::string& s) {
    std::size_t w = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        // Half-width katakana (U+FF61..FF9F, EF BD A1..EF BE 9F) take one cell.
        const bool halfKana = len == 3 && c == 0xEF && i + 2 < s.size() &&
                              ((static_cast<unsigned char>(s[i + 1]) == 0xBD &&
                                static_cast<unsigned char>(s[i + 2]) >= 0xA1) ||
                               static_cast<unsigned char>(s[i + 1]) == 0xBE);
        w += (len == 1 || halfKana) ? 1 : 2;
        i += len;
    }
    return w;
}

}  // namespace pclexcel
