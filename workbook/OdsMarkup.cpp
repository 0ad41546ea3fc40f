#include "OdsMarkup.h"

namespace xls::ods {

std::optional<ContentRoot> RootAt(std::string_view text, std::size_t end) {
    ContentRoot root;
    const std::size_t start = text.rfind('<', end);
    root.startTag = std::string(text.substr(start, end + 1 - start));
    std::size_t nameEnd = 1;
    while (nameEnd < root.startTag.size() && !xml::NameEnds(root.startTag[nameEnd]))
        ++nameEnd;
    root.name = root.startTag.substr(1, nameEnd - 1);
    const auto table = xml::PrefixOf(root.startTag, kTableNs);
    const auto office = xml::PrefixOf(root.startTag, kOfficeNs);
    if (!table || !office || root.name.empty())
        return std::nullopt;
    root.table = *table;
    root.office = *office;
    return root;
}

std::optional<xml::PieceMarkup> ContentMarkup(std::string_view startTag, std::string_view name) {
    const auto table = xml::PrefixOf(startTag, kTableNs);
    const auto office = xml::PrefixOf(startTag, kOfficeNs);
    if (!table || !office || name.empty())
        return std::nullopt;
    xml::PieceMarkup markup;
    markup.opening = "<" + *office + ":body><" + *office + ":spreadsheet>";
    markup.closing = "</" + *table + ":table></" + *office + ":spreadsheet></" + *office +
                     ":body></" + std::string(name) + ">";
    markup.rowTag = "<" + *table + ":table-row";
    // Table start tags as applications write them, a blank after the name:
    // "<table:table" alone would stop at every cell.
    markup.tableTag = "<" + *table + ":table ";
    return markup;
}

}  // namespace xls::ods
