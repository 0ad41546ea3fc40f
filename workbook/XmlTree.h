#pragma once
// A whole XML document held in memory, parsed into a tree by pugixml and
// handed to a Handler as the events ParseFrom gives for it: a few times
// faster than libxml2's stream, for documents small enough to hold (the
// pieces an .ods's content is cut into). Names are those of the Dictionary
// the handler is prepared with, the parser's own name table, and compare by
// address as with ParseFrom.
//
// pugixml checks less than libxml2, so a document is read here only when it
// is plainly one libxml2 reads the same: UTF-8 of allowed characters only,
// a plain declaration, no document type, no processing instruction, no CDATA
// section, comments without "--", only the predefined entities and
// character references, tags that match, no attribute twice, prefixes that
// are declared (tests/fuzz/fuzz_xml_tree compares the two). For any other
// the parse answers false, and the caller reads the document with
// ParseFrom, which gives libxml2's reading or its report (what was handed
// on before is to be discarded).

#include <cstddef>
#include <memory>
#include <string>

#include "XmlPieces.h"
#include "XmlStream.h"

namespace xls::xml {

class TreeParser {
  public:
    TreeParser();
    ~TreeParser();
    TreeParser(const TreeParser&) = delete;
    TreeParser& operator=(const TreeParser&) = delete;

    // Parses `size` bytes at `bytes` (changed in place) through `handler`.
    // An exception of the handler is thrown on.
    bool parse(char* bytes, std::size_t size, Handler& handler);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Thrown by ParseMemberInPieces when the member cannot be cut or a piece is
// one the tree parser would read otherwise than libxml2: the caller reads
// the member again from its start with ParseMember (a handler may have had
// the events of the pieces before).
struct TreeRefused {};

// The member cut at the rows `markup` gives into pieces of about
// `pieceBytes` (XmlPieces.h), parsed one after the other through `handler`
// as one document (each piece begins with the root's and the rows'
// enclosing start tags again, and ends with their end tags); false when the
// package has no such member. Throws TreeRefused, and what ParseMember throws
// for a package that cannot be read; an exception of the handler is thrown
// on.
bool ParseMemberInPieces(const zip::ZipPackage& package, const std::string& member,
                         Handler& handler, std::size_t pieceBytes, const MarkupOf& markup);

// Whether `text` is UTF-8 of characters XML allows, with no reference but
// the predefined entities and references to allowed characters, and no
// "]]>" (which leaves out CDATA sections too).
bool PlainXmlText(const char* text, std::size_t size);

}  // namespace xls::xml
