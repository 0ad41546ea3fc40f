#include "FieldValue.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "NumberText.h"

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

double FieldNumber(const FieldValue& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* s = std::get_if<std::string>(&v))
        return numbertext::LeadingNumber(*s);
    return 0.0;
}

bool SameFieldValue(const FieldValue& a, const FieldValue& b) {
    const auto* ai = std::get_if<std::int64_t>(&a);
    const auto* bi = std::get_if<std::int64_t>(&b);
    if (ai && bi)
        return *ai == *bi;
    const bool aNumber = ai || std::holds_alternative<double>(a);
    const bool bNumber = bi || std::holds_alternative<double>(b);
    if (aNumber && bNumber)
        return FieldNumber(a) == FieldNumber(b);
    return a == b;
}
