#pragma once
// Cell values as a bulk read hands them over: 16 bytes a cell, a text being
// a pointer to the workbook's own copy. A sheet of 65,535 rows read this way
// copies no text and costs less than half the memory of its values, which
// the system would otherwise have to hand over and clear page by page.

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "Variant.h"

namespace xls {

class CellView {
  public:
    enum class Kind : std::uint8_t { Empty, Number, Text, Boolean, Error };

    CellView() : number_(0) {}
    // The view of a value, its text pointing into `value`: valid as long as
    // `value` is, which suits arguments and comparisons.
    CellView(const CellValue& value);  // NOLINT(google-explicit-constructor)

    static CellView OfNumber(double number);
    // `text` must outlive the view.
    static CellView OfText(const std::string& text);
    static CellView OfBoolean(bool value);
    static CellView OfError(std::uint8_t code);

    Kind kind() const { return kind_; }
    bool empty() const { return kind_ == Kind::Empty; }
    // Each only for its kind.
    double number() const { return number_; }
    const std::string& text() const { return *text_; }
    bool boolean() const { return small_ != 0; }
    std::uint8_t errorCode() const { return small_; }

    // The value itself, its text copied.
    CellValue value() const;
    // The same value (texts compared by content).
    bool operator==(const CellView& other) const;

  private:
    Kind kind_ = Kind::Empty;
    std::uint8_t small_ = 0;  // Boolean value or error code
    union {
        double number_;
        const std::string* text_;
    };
};

// A block of cells, indexed from (1, 1). Its texts point into the workbook
// they were read from, which must stay open and keep its strings while the
// block is used, or into the block's own texts (values the workbook does not
// store as text, such as a date shown as its text).
struct CellBlock {
    CellBlock() = default;
    CellBlock(CellBlock&&) noexcept = default;
    CellBlock& operator=(CellBlock&&) noexcept = default;
    CellBlock(const CellBlock&) = delete;
    CellBlock& operator=(const CellBlock&) = delete;

    std::int32_t rows = 0;
    std::int32_t cols = 0;
    std::vector<CellView> data;  // row-major
    // Each in a place of its own, which moving the block keeps (a block is
    // moved, never copied: a copy's views would point into the original).
    std::vector<std::unique_ptr<const std::string>> owned;

    const CellView& at(std::int32_t row1, std::int32_t col1) const {
        return data[static_cast<std::size_t>(row1 - 1) * static_cast<std::size_t>(cols) +
                    static_cast<std::size_t>(col1 - 1)];
    }
    // A text of the block's own, viewed.
    CellView ownText(std::string text);
};

static_assert(std::is_nothrow_move_constructible_v<CellBlock> &&
              !std::is_copy_constructible_v<CellBlock>);

// A block that holds every text itself (the values of an Array2D).
CellBlock CellBlockOf(const Array2D& values);
// The values of a block, texts copied.
Array2D ValuesOf(const CellBlock& block);

}  // namespace xls
