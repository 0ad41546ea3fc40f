#pragma once
// Cell values and texts of the pClExcel interface: which texts read as
// numbers, how numbers and values read as text, column letters, and the
// width a text takes on the screen. No state, no workbook.

#include <cstddef>
#include <cstdint>
#include <string>

#include "Variant.h"

namespace pclexcel {

// Text that reads as a number: blanks around, an optional sign, digits
// (thousands separators in groups of three allowed), an optional decimal
// point with digits, an optional exponent. `out` is the number.
bool readsAsNumber(const std::string& text, double& out);
// A number as text: whole numbers without decimals, others with up to 15
// significant digits, an exponent only for magnitudes of 1E+15 and above or
// below 1E-05.
std::string numberText(double x);
// A cell value as text; an error value throws the type mismatch error (13).
std::string textOf(const xls::CellValue& v);
// Column letters A..IV to a 1-based column; 0 when not a column.
std::int32_t columnOfLetters(const std::string& letters);
// Display width of a text in half-width character cells.
std::size_t displayWidth(const std::string& s);

}  // namespace pclexcel
