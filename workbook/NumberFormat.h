#pragma once
// Number format codes: what a code shows a number as, and the date or time
// text of a serial number. A spreadsheet application hands a number in a date
// or time format back as a date, so a clerk who types 4/1 into an amount cell
// gives a date, never the amount 45383.

#include <string>
#include <string_view>

namespace xls {

// What a number format shows a cell's number as.
enum class NumberShows { Number, Date, Time, DateTime };

// Reads the date and time tokens of a format code (y m d h s, the era tokens
// e and g, aaa day names, AM/PM and A/P), case-insensitive, outside quoted
// text, backslash-escaped characters, the characters after _ and *, and
// [..] sections (colours, conditions, locales); [h], [mm], [ss] count as
// time. An m or mm right after an hour or right before a second is minutes,
// else the month. "General", "G/標準" and exponents (E+, E-) are not tokens.
NumberShows ClassifyNumberFormat(std::string_view code);

// The text of a serial number in the 1900 date system (1 = 1900/01/01, 60 =
// the 1900/02/29 that system counts, 0 = 1900/01/00): "yyyy/mm/dd" for a date,
// "hh:mm:ss" for a time of day, both joined by a blank for a date and time.
// Seconds are rounded. A serial before 0 or after 9999/12/31 has no date and
// shows as "#####"; Number gives the empty text.
std::string SerialText(double serial, NumberShows shows);

// Days between the 1900 and the 1904 date systems (1904/01/01 is 1462 in the
// 1900 system and 0 in the 1904 one).
inline constexpr double k1904Shift = 1462.0;

}  // namespace xls
