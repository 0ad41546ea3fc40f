#pragma once
// Cell values of the workbook engine and the Variant of the pClExcel interface.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace xls {

// BIFF error codes: 0x00 #NULL!, 0x07 #DIV/0!, 0x0F #VALUE!, 0x17 #REF!,
// 0x1D #NAME?, 0x24 #NUM!, 0x2A #N/A.
struct ErrorValue {
    std::uint8_t code = 0x2A;
    bool operator==(const ErrorValue&) const = default;
};

// Empty, number, text (UTF-8), Boolean or error.
using CellValue = std::variant<std::monostate, double, std::string, bool, ErrorValue>;

// A block of values, indexed from (1, 1): row and column within the block.
struct Array2D {
    std::int32_t rows = 0;
    std::int32_t cols = 0;
    std::vector<CellValue> data;  // row-major
    const CellValue& at(std::int32_t row1, std::int32_t col1) const {
        return data[static_cast<std::size_t>(row1 - 1) * static_cast<std::size_t>(cols) +
                    static_cast<std::size_t>(col1 - 1)];
    }
    CellValue& at(std::int32_t row1, std::int32_t col1) {
        return data[static_cast<std::size_t>(row1 - 1) * static_cast<std::size_t>(cols) +
                    static_cast<std::size_t>(col1 - 1)];
    }
};

// Variant of the interface: a single value or a block.
using Variant = std::variant<std::monostate, double, std::string, bool, ErrorValue, Array2D>;

}  // namespace xls
