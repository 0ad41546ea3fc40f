#pragma once
// The few facts of an .ods's content.xml that are found in its bytes before
// any parser sees them: the root start tag with its namespace prefixes, and
// where table and row start tags lie. Used to cut the document at a table
// row; a cut these get wrong is caught by the parse of the parts.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace xls::ods {

inline constexpr std::string_view kTableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
inline constexpr std::string_view kOfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";

// A root or table start tag longer than this is not looked for further.
inline constexpr std::size_t kLongestTag = 4u << 20;

// The byte after a name in a tag.
bool NameEnds(char ch);

// Where `what` (two bytes or more) first lies in `text` from `from` on.
std::size_t Find(std::string_view text, std::string_view what, std::size_t from);

// The '>' that ends the tag starting at `from` ('>' may stand in a quoted
// attribute value); npos when the text ends first.
std::size_t TagEnd(std::string_view text, std::size_t from);

// The end of the root start tag: the first tag that is no declaration,
// processing instruction or comment; npos when the text ends first.
std::size_t RootEnd(std::string_view text);

// The first row start tag in `text` from `from` on: npos when there is none,
// or when the last one found lacks the byte after its name (`undecided`,
// unless the text is the member's end).
std::size_t RowStart(std::string_view text, std::size_t from, std::string_view rowTag, bool ended,
                     bool& undecided);

// The root element of content.xml as its start tag declares it.
struct ContentRoot {
    std::string startTag;  // "<office:document-content xmlns:...>"
    std::string name;      // "office:document-content"
    std::string table;     // prefix of the table namespace
    std::string office;    // prefix of the office namespace
};

// The root whose start tag ends at `end` (RootEnd); nullopt when it does not
// bind both prefixes.
std::optional<ContentRoot> RootAt(std::string_view text, std::size_t end);

}  // namespace xls::ods
