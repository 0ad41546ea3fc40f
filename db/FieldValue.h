#pragma once
// A value read from or written to a database column: Null, whole number,
// floating-point number or text (UTF-8).

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <variant>

#include "PlatformError.h"

struct FieldNull {
    bool operator==(const FieldNull&) const = default;
};

using FieldValue = std::variant<FieldNull, std::int64_t, double, std::string>;

inline bool IsNull(const FieldValue& v) {
    return std::holds_alternative<FieldNull>(v);
}

// The text a value shows as: Null gives the empty text, whole numbers plain
// decimal digits, other numbers the shortest decimal text that reads back the same.
std::string FieldText(const FieldValue& v);

// Numeric value: numbers as they are, text by its leading decimal number
// (sign, digits, one point, exponent; "abc" gives 0), Null gives 0.
double FieldNumber(const FieldValue& v);

// `number` cut to a whole number toward zero (as a cast cuts it) when that
// fits T; nothing for NaN, the infinities and numbers beyond T's range, which
// a cast would turn into undefined behaviour.
template <class T>
std::optional<T> WholeNumberIn(double number) {
    static_assert(std::numeric_limits<T>::is_signed && std::numeric_limits<T>::is_integer);
    const double limit = std::ldexp(1.0, std::numeric_limits<T>::digits);  // exact: 2^digits
    const double whole = std::trunc(number);
    if (!(whole >= -limit && whole < limit))
        return std::nullopt;
    return static_cast<T>(whole);
}

// A database value as a whole number of type T (cut toward zero). A value
// that is no number T can hold, which only a damaged or foreign database
// holds, is an error naming `what`: never a number made up.
template <class T>
T FieldWhole(const FieldValue& v, const std::string& what) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        if (*i >= std::numeric_limits<T>::min() && *i <= std::numeric_limits<T>::max())
            return static_cast<T>(*i);
    } else if (const auto n = WholeNumberIn<T>(FieldNumber(v))) {
        return *n;
    }
    throw PlatformError(SQLITE_RANGE, "数値が範囲外です（" + what + "）: " + FieldText(v));
}

// Whether two values are the same value: numbers by value whatever their
// type (a NUMERIC column reads 1000.0 back as 1000), texts byte for byte,
// Null only equal to Null.
bool SameFieldValue(const FieldValue& a, const FieldValue& b);
