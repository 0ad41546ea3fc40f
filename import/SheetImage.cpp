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
    blocks_.clear();
    blocks_.shrink_to_fit();
    firstRows_.clear();
    reads.clear();
}

void SheetImage::appendBlock(xls::Array2D&& block) {
    if (rows_ == 0)
        columns_ = static_cast<std::int16_t>(block.cols);
    if (block.rows <= 0)
        return;
    firstRows_.push_back(rows_ + 1);
    rows_ += block.rows;
    blocks_.push_back(std::move(block));
}

void SheetImage::appendSingle(xls::CellValue value, std::int16_t columns) {
    xls::Array2D block;
    block.rows = 1;
    block.cols = rows_ == 0 ? columns : columns_;
    block.data.resize(static_cast<std::size_t>(block.cols));
    block.data[0] = std::move(value);
    appendBlock(std::move(block));
}

const xls::CellValue& SheetImage::at(std::int32_t row, std::int32_t column) const {
    if (row < 1 || row > rows_ || column < 1 || column > columns_)
        return kEmptyCell;
    std::size_t index = blocks_.size() - 1;
    while (firstRows_[index] > row)
        --index;  // a few blocks at most
    const xls::Array2D& block = blocks_[index];
    if (column > block.cols)
        return kEmptyCell;
    return block.at(row - firstRows_[index] + 1, column);
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
