#pragma once
// A value read from or written to a database column: Null, whole number,
// floating-point number or text (UTF-8).

#include <cstdint>
#include <string>
#include <variant>

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

// Whether two values are the same value: numbers by value whatever their
// type (a NUMERIC column reads 1000.0 back as 1000), texts byte for byte,
// Null only equal to Null.
bool SameFieldValue(const FieldValue& a, const FieldValue& b);
