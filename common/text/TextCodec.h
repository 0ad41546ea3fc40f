#pragma once
// Text encodings in one place: UTF-8 (the program's own), UTF-16 (the .xls
// files and the registry's string values) and code page 932 (old ANSI
// registry exports and values read through the ANSI interface).
//
// Every function accepts any input: malformed UTF-8 and lone surrogates
// become U+FFFD, one byte of malformed UTF-8 at a time, so that decoding
// always makes progress.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace textcodec {

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes the code point of UTF-8 starting at s[i] and advances `i` past it.
// Overlong forms, surrogates, values beyond U+10FFFF and cut sequences give
// U+FFFD and advance by one byte. Requires i < s.size().
char32_t NextCodePoint(std::string_view s, std::size_t& i);
// Appends the UTF-8 form of `cp`.
void AppendUtf8(std::string& out, char32_t cp);

bool IsValidUtf8(std::string_view s);
// `s` with every malformed byte replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view s);
// Characters of UTF-8 text (a malformed byte counts as one).
std::size_t CodePointCount(std::string_view s);
// UTF-16 code units the text takes: two for a character beyond U+FFFF.
std::size_t Utf16Length(std::string_view utf8);

std::u16string Utf8ToUtf16(std::string_view utf8);
// Appends UTF-16 text as UTF-8; a surrogate without its partner becomes U+FFFD.
void AppendUtf16AsUtf8(std::u16string_view units, std::string& out);
std::string Utf16ToUtf8(std::u16string_view units);

// The same conversions on UTF-16LE bytes; an odd trailing byte is dropped.
std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> Utf8ToUtf16Le(std::string_view text);

// Converts UTF-8 to CP932; characters that CP932 lacks become "?".
std::string Utf8ToCp932(std::string_view text);
// Converts CP932 bytes to UTF-8; undecodable bytes become U+FFFD.
std::string Cp932ToUtf8(std::string_view bytes);

// The text of a file of unknown encoding, as UTF-8: a byte order mark says
// UTF-8, UTF-16LE or UTF-16BE; without one, valid UTF-8 is taken as it is
// and anything else is read as CP932 (an ANSI file of a Japanese system).
std::string DecodeText(std::span<const std::uint8_t> bytes);

}  // namespace textcodec
