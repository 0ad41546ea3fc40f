#include "SheetImage.h"

#include <cmath>
#include <cstdio>
#include <type_traits>

#include "gMjDisp.h"

namespace {

const xls::CellValue kEmptyCell{};

std::string NumberText(double v) {
    if (v == 0)
        return "0";
    char buf[64];
    if (std::nearbyint(v) == v && std::fabs(v) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", v);
        return buf;
    }
    // Fifteen significant digits, exponent form beyond them ("1E+15", "1.5E-07").
    std::snprintf(buf, sizeof buf, "%.15G", v);
    return buf;
}

std::string ErrorText(std::uint8_t code) {
    switch (code) {
        case 0x00:
            return "#NULL!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALUE!";
        case 0x17:
            return "#REF!";
        case 0x1D:
            return "#NAME?";
        case 0x24:
            return "#NUM!";
        default:
            return "#N/A";
    }
}

}  // namespace

void SheetImage::clear() {
    rows_ = 0;
    columns_ = 0;
    cells_.clear();
    cells_.shrink_to_fit();
    reads.clear();
}

void SheetImage::reserve(std::int32_t rows, std::int16_t columns) {
    if (rows > 0 && columns > 0) {
        cells_.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    }
}

void SheetImage::appendBlock(xls::Array2D& block) {
    if (rows_ == 0)
        columns_ = static_cast<std::int16_t>(block.cols);
    const std::int32_t cols = columns_;
    for (std::int32_t r = 1; r <= block.rows; ++r) {
        for (std::int32_t c = 1; c <= cols; ++c) {
            if (c <= block.cols) {
                cells_.push_back(std::move(block.at(r, c)));
            } else {
                cells_.emplace_back();
            }
        }
    }
    rows_ += block.rows;
}

void SheetImage::appendSingle(xls::CellValue value, std::int16_t columns) {
    if (rows_ == 0)
        columns_ = columns;
    cells_.push_back(std::move(value));
    for (std::int32_t c = 2; c <= columns_; ++c)
        cells_.emplace_back();
    ++rows_;
}

const xls::CellValue& SheetImage::at(std::int32_t row, std::int32_t column) const {
    if (row < 1 || row > rows_ || column < 1 || column > columns_)
        return kEmptyCell;
    return cells_[static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(columns_) +
                  static_cast<std::size_t>(column - 1)];
}

std::string CellText(const xls::CellValue& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return {};
            } else if constexpr (std::is_same_v<T, double>) {
                return NumberText(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return v;
            } else if constexpr (std::is_same_v<T, bool>) {
                return v ? "True" : "False";
            } else {
                return ErrorText(v.code);
            }
        },
        value);
}

std::string TrimmedCellText(const xls::CellValue& value) {
    if (const auto* text = std::get_if<std::string>(&value))
        return gMjDisp::Trim(*text);
    return CellText(value);
}

bool CellHasValue(const xls::CellValue& value) {
    if (std::holds_alternative<std::monostate>(value))
        return false;
    if (const auto* text = std::get_if<std::string>(&value)) {
        return text->find_first_not_of(' ') != std::string::npos;
    }
    return true;
}
