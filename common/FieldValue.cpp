#include "FieldValue.h"

#include <charconv>
#include <cmath>
#include <string_view>

std::string FieldText(const FieldValue& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
        if (std::isnan(*d))
            return "NaN";
        if (std::isinf(*d))
            return *d < 0 ? "-Infinity" : "Infinity";
        char buf[64];
        auto res = std::to_chars(buf, buf + sizeof buf, *d);
        return std::string(buf, res.ptr);
    }
    if (const auto* s = std::get_if<std::string>(&v))
        return *s;
    return {};
}

namespace {

// Leading decimal number of a text, the way Val reads it: blanks before the
// number are skipped, reading stops at the first character that does not fit.
// std::from_chars is used because strtod follows the process locale, which
// Qt sets from the environment.
double LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    std::size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            while (j < text.size() && text[j] >= '0' && text[j] <= '9')
                ++j;
            end = j;
        }
    }
    std::string number(text.substr(start, end - start));
    // from_chars accepts no leading '+'.
    if (!number.empty() && number[0] == '+')
        number.erase(0, 1);
    double value = 0.0;
    auto res = std::from_chars(number.data(), number.data() + number.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        const auto e = number.find_first_of("eE");
        const bool tiny = e != std::string::npos && e + 1 < number.size() && number[e + 1] == '-';
        if (tiny)
            return 0.0;
        return number[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return value;
}

}  // namespace

double FieldNumber(const FieldValue& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* s = std::get_if<std::string>(&v))
        return LeadingNumber(*s);
    return 0.0;
}
