#pragma once
// What is found in a document's bytes before any parser sees them: where
// its root start tag ends, where row and table start tags lie. Used to cut
// a document at a row; a cut these get wrong is caught by the parse of the
// pieces.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace xls::xml {

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

// The prefix a start tag binds to `uri` ("table" for the table namespace).
std::optional<std::string> PrefixOf(std::string_view startTag, std::string_view uri);

}  // namespace xls::xml
