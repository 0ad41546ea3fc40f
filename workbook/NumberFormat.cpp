#include "NumberFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace xls {
namespace {

// A date or time token of a format code: the letter (lower case; 'p' for
// AM/PM and A/P) and how often it repeats; elapsed is true for [h], [mm], [ss].
struct Token {
    char letter;
    std::size_t run;
    bool elapsed;
};

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
    if (text.size() - at < word.size())
        return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (Lower(text[at + k]) != Lower(word[k]))
            return false;
    }
    return true;
}

std::vector<Token> Tokens(std::string_view code) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < code.size()) {
        const char c = code[i];
        if (c == '"') {
            const std::size_t close = code.find('"', i + 1);
            i = close == std::string_view::npos ? code.size() : close + 1;
            continue;
        }
        if (c == '\\' || c == '_' || c == '*') {
            i += 2;  // the character after it is shown as it is
            continue;
        }
        if (c == '[') {
            const std::size_t close = code.find(']', i + 1);
            if (close == std::string_view::npos)
                break;
            const std::string_view inside = code.substr(i + 1, close - i - 1);
            if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos) {
                tokens.push_back({Lower(inside[0]), inside.size(), true});
            }
            i = close + 1;
            continue;
        }
        if (StartsWithNoCase(code, i, "General")) {
            i += 7;
            continue;
        }
        if (StartsWithNoCase(code, i, "G/標準")) {
            i += std::string_view("G/標準").size();
            continue;
        }
        if (StartsWithNoCase(code, i, "AM/PM")) {
            tokens.push_back({'p', 1, false});
            i += 5;
            continue;
        }
        if (StartsWithNoCase(code, i, "A/P")) {
            tokens.push_back({'p', 1, false});
            i += 3;
            continue;
        }
        const char l = Lower(c);
        std::size_t run = 1;
        while (i + run < code.size() && Lower(code[i + run]) == l)
            ++run;
        switch (l) {
            case 'e':
                if (i + run < code.size() && (code[i + run] == '+' || code[i + run] == '-')) {
                    break;  // exponent of a scientific format
                }
                tokens.push_back({l, run, false});
                break;
            case 'a':
                if (run >= 3)
                    tokens.push_back({l, run, false});  // day name (aaa, aaaa)
                break;
            case 'y':
            case 'm':
            case 'd':
            case 'h':
            case 's':
            case 'g':
                tokens.push_back({l, run, false});
                break;
            default:
                break;
        }
        i += run;
    }
    return tokens;
}

void PutCivil(long long epochDays, char* out, std::size_t size) {
    // Days since 1970-01-01 to a Gregorian date (Hinnant's civil_from_days).
    const long long z = epochDays + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    const long long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    std::snprintf(out, size, "%04lld/%02lld/%02lld", y, m, d);
}

constexpr long long kLastSerialDay = 2958465;  // 9999/12/31
constexpr long long kSecondsPerDay = 86400;

}  // namespace

NumberShows ClassifyNumberFormat(std::string_view code) {
    const std::vector<Token> tokens = Tokens(code);
    bool date = false;
    bool time = false;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const Token& t = tokens[k];
        if (t.elapsed || t.letter == 'h' || t.letter == 's' || t.letter == 'p') {
            time = true;
        } else if (t.letter == 'm') {
            const bool afterHour = k > 0 && tokens[k - 1].letter == 'h';
            const bool beforeSecond = k + 1 < tokens.size() && tokens[k + 1].letter == 's';
            if (t.run <= 2 && (afterHour || beforeSecond)) {
                time = true;
            } else {
                date = true;
            }
        } else {
            date = true;
        }
    }
    if (date && time)
        return NumberShows::DateTime;
    if (date)
        return NumberShows::Date;
    return time ? NumberShows::Time : NumberShows::Number;
}

std::string SerialText(double serial, NumberShows shows) {
    if (shows == NumberShows::Number)
        return std::string();
    if (!std::isfinite(serial) || serial < 0 || serial >= kLastSerialDay + 1)
        return "#####";
    const long long seconds = std::llround(serial * static_cast<double>(kSecondsPerDay));
    const long long days = seconds / kSecondsPerDay;
    const long long secondOfDay = seconds % kSecondsPerDay;
    if (days > kLastSerialDay)
        return "#####";
    char dateText[80];
    if (days == 0) {
        std::snprintf(dateText, sizeof dateText, "1900/01/00");
    } else if (days == 60) {
        std::snprintf(dateText, sizeof dateText, "1900/02/29");
    } else {
        // 1900/01/01 is day -25567 of 1970; from day 61 on the counted
        // 1900/02/29 puts every serial one day ahead.
        PutCivil(days - (days < 60 ? 25568 : 25569), dateText, sizeof dateText);
    }
    char timeText[80];
    std::snprintf(timeText, sizeof timeText, "%02lld:%02lld:%02lld", secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60);
    switch (shows) {
        case NumberShows::Date:
            return dateText;
        case NumberShows::Time:
            return timeText;
        default:
            return std::string(dateText) + " " + timeText;
    }
}

}  // namespace xls
