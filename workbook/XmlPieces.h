#pragma once
// A zip member's XML inflated once and cut at row start tags into pieces of
// about a given size, each a whole document of its own, so that a piece can
// be parsed whole (XmlTree.h) while the next is inflated:
// - the first piece: the document's bytes up to the first cut, followed by
//   the end tags that close what a row lies in (PieceMarkup::closing);
// - every later piece: the root start tag (with its namespace declarations),
//   the start tags a row lies in (PieceMarkup::opening), and where tables
//   are counted the start tag of the table the piece's first row belongs
//   to, then the bytes up to the next cut and the same end tags (the last
//   piece ends with the document's own).
// A cut is the first row start tag at or after the wanted size. Where it
// lies anywhere but between two rows (a row group, a comment, a table
// inside a cell) a piece is not well-formed or its tables differ in count
// from those counted here, which the reader checks; it then reads the
// document another way.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ZipPackage.h"

namespace xls::xml {

// What a document's rows lie in, as its root start tag declares it.
struct PieceMarkup {
    std::string opening;   // after the root start tag: "<office:body><office:spreadsheet>"
    std::string closing;   // "</table:table>...</office:document-content>"
    std::string rowTag;    // "<table:table-row"
    std::string tableTag;  // "<table:table " where rows lie in tables, else empty
};

// The markup of the document whose root start tag (name and all) is given;
// nullopt when it is not cut.
using MarkupOf =
    std::function<std::optional<PieceMarkup>(std::string_view startTag, std::string_view name)>;

struct Piece {
    std::string bytes;     // a whole document in the first `size` bytes
    std::size_t size = 0;  // (the string may be longer: room for its next use)
    std::size_t index = 0;
    int tablesBegun = 0;  // table start tags among the document's own bytes
};

class XmlPieces {
  public:
    // A string a piece was handed over in, to be filled again (or an empty
    // one): pages already touched cost nothing to write.
    using Spare = std::function<std::string()>;
    // Pieces of about `size` bytes; none held longer than `longest` (a
    // document without rows that far is not cut).
    XmlPieces(const zip::ZipPackage::Fill& fill, std::size_t size, MarkupOf markup,
              std::size_t longest = 64u << 20, Spare spare = {});
    // The next piece; false after the last one, or when the document
    // cannot be cut (failed(); nothing was handed on when it failed at the
    // first piece).
    bool next(Piece& piece);
    bool failed() const { return failed_; }

  private:
    bool start();
    bool more();
    bool fail();
    std::string_view text() const { return {buffer_.data(), used_}; }

    const zip::ZipPackage::Fill& fill_;
    std::size_t size_, longest_;
    MarkupOf markupOf_;
    Spare spare_;
    std::string buffer_;       // the piece being gathered: its opening, then the bytes
    std::size_t used_ = 0;     // of buffer_, the rest being room
    std::size_t opened_ = 0;   // bytes of buffer_ that are the opening
    std::size_t rootEnd_ = 0;  // past the root start tag, in the first piece
    bool started_ = false, ended_ = false, failed_ = false, done_ = false;
    PieceMarkup markup_;
    std::string rootOpening_, lastTable_;
    std::size_t index_ = 0;
};

}  // namespace xls::xml
