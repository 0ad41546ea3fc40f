#pragma once
// Numbers read from text. The readers of a leading number read as far as the
// text looks like a decimal number (sign, digits, one point, exponent) and
// stop at the first character that does not fit: "12a" gives 12, and a text
// without a number gives 0. They differ in what they skip and accept:
//
//   LeadingNumber        database text: blanks and tabs before the number
//   LeadingNumberWide    cells typed by a clerk: full-width forms count as
//                        their half-width ones (see NarrowNumberText), and
//                        blanks and ideographic spaces before it are skipped
//   LeadingNumberIsZero  registry flags: blanks, tabs and line feeds are
//                        skipped wherever they stand, and &H / &O introduce
//                        hexadecimal / octal digits
//
// A number beyond the range of a double gives infinity with its sign; one too
// small for it gives 0. std::from_chars does the conversion, because strtod
// follows the process locale, which Qt sets from the environment.

#include <optional>
#include <string>
#include <string_view>

namespace numbertext {

double LeadingNumber(std::string_view text);
double LeadingNumberWide(std::string_view text);
bool LeadingNumberIsZero(std::string_view text);

// The text's number when the whole text reads as one: optional sign, digits
// with thousands separators between them, one decimal point, optional
// exponent; full-width forms count as their half-width ones, and surrounding
// blanks (half-width and ideographic) are ignored. nullopt for anything else.
std::optional<double> ParseNumber(std::string_view text);

// Full-width digits, signs, point, comma and exponent letters as clerks type
// them with a Japanese input method, the minus sign U+2212 and the
// ideographic space become their half-width forms; everything else is kept.
std::string NarrowNumberText(std::string_view text);

// The value of one hexadecimal digit (either case); -1 for any other character.
int HexDigit(char c);

}  // namespace numbertext
