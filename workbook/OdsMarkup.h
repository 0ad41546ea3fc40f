#pragma once
// The facts of an .ods's content.xml found in its bytes: the root start tag
// with its namespace prefixes, and what its rows lie in, for cutting it.

#include <optional>
#include <string>
#include <string_view>

#include "XmlMarkup.h"
#include "XmlPieces.h"

namespace xls::ods {

inline constexpr std::string_view kTableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
inline constexpr std::string_view kOfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";

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

// content.xml's rows lie in tables in the spreadsheet in the body; nullopt
// when the root does not bind the table and office prefixes.
std::optional<xml::PieceMarkup> ContentMarkup(std::string_view startTag, std::string_view name);

}  // namespace xls::ods
