#pragma once
// The bytes of an .ods's content.xml cut in two at the start tag of a table
// row, so that two parsers read a part each on the two cores:
// - the first part: the bytes before the cut, followed by the end tags of
//   the table, the spreadsheet, the body and the document;
// - the later part: the document's root start tag (with its namespace
//   declarations), the body and spreadsheet start tags and the start tag of
//   the table the cut lies in, followed by the bytes from the cut on.
// The cut is the first row start tag at or after a given byte, so both parts
// find the same one in the same bytes, each on its own inflated copy. Where
// the cut lies anywhere but between the rows of a table (a row group, a
// comment, a table inside a cell), the first part is not well-formed; where
// the later part took the wrong table, its counts differ from the first
// part's. Either way the caller reads the document again in one piece.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OdsMarkup.h"
#include "ZipPackage.h"

namespace xls::ods {

using Fill = zip::ZipPackage::Fill;

// Inflated bytes in large pieces; the bytes not yet handed on stay at the
// front, so that a tag cut by a piece's end is whole after the next one.
class Window {
  public:
    explicit Window(const Fill& fill, std::size_t piece = 256 * 1024)
        : fill_(fill), piece_(piece) {}
    const char* data() const { return bytes_.data() + begin_; }
    std::size_t size() const { return end_ - begin_; }
    // Offset in the member of data()[0].
    std::uint64_t offset() const { return offset_ + begin_; }
    bool ended() const { return ended_; }
    // One more piece after those at hand; false at the member's end.
    bool more();
    void drop(std::size_t n) { begin_ += n; }

  private:
    const Fill& fill_;
    std::size_t piece_;
    std::vector<char> bytes_;
    std::size_t begin_ = 0, end_ = 0;
    std::uint64_t offset_ = 0;  // of bytes_[0]
    bool ended_ = false;
};

// The root start tag, read into the window (nothing dropped); nullopt when
// there is none in the first megabytes or it does not bind both prefixes.
std::optional<ContentRoot> ReadRoot(Window& window);

// The first part, handed to the parser piece by piece.
class FirstPart {
  public:
    FirstPart(const Fill& fill, std::uint64_t cutFrom, std::size_t piece = 256 * 1024);
    // As many bytes as asked for, fewer only at the end.
    std::size_t fill(std::uint8_t* out, std::size_t size);
    // After the end: whether the document was cut (else it was handed on whole).
    bool cut() const { return cut_.has_value(); }

  private:
    void start();
    void scan();
    std::size_t some(std::uint8_t* out, std::size_t size);

    Window window_;
    std::uint64_t cutFrom_;
    bool started_ = false;
    std::string rowTag_;  // "<table:table-row"
    std::string closing_;
    std::uint64_t decided_;  // no cut starts before this offset
    std::optional<std::uint64_t> cut_;
    std::size_t closed_ = 0;  // bytes of closing_ handed on
};

// The later part: findCut reads up to the cut, then fill hands on the part.
class LaterPart {
  public:
    LaterPart(const Fill& fill, std::uint64_t cutFrom, std::size_t piece = 256 * 1024);
    // False when there is no cut (no later part to parse).
    bool findCut();
    // As many bytes as asked for, fewer only at the end.
    std::size_t fill(std::uint8_t* out, std::size_t size);
    // Table start tags before the cut, that of the cut's own table included.
    int tablesBefore() const { return tables_; }

  private:
    std::size_t some(std::uint8_t* out, std::size_t size);

    const Fill& inflate_;
    Window window_;
    std::uint64_t cutFrom_;
    int tables_ = 0;
    std::string opening_;
    std::size_t opened_ = 0;  // bytes of opening_ handed on
};

}  // namespace xls::ods
