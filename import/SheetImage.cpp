#include "SheetImage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gMjDisp.h"

namespace {

const xls::CellView kEmptyCell{};

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

void SheetImage::appendBlock(xls::CellBlock&& block) {
    if (rows_ == 0)
        columns_ = static_cast<std::int16_t>(block.cols);
    if (block.rows <= 0)
        return;
    firstRows_.push_back(rows_ + 1);
    rows_ += block.rows;
    blocks_.push_back(std::move(block));
}

void SheetImage::appendBlock(const xls::Array2D& values) {
    appendBlock(xls::CellBlockOf(values));
}

const xls::CellView& SheetImage::at(std::int32_t row, std::int32_t column) const {
    if (row < 1 || row > rows_ || column < 1 || column > columns_)
        return kEmptyCell;
    std::size_t index = blocks_.size() - 1;
    while (firstRows_[index] > row)
        --index;  // a few blocks at most
    const xls::CellBlock& block = blocks_[index];
    if (column > block.cols)
        return kEmptyCell;
    return block.at(row - firstRows_[index] + 1, column);
}

SheetImage::RowCells SheetImage::row(std::int32_t row) const {
    if (row < 1 || row > rows_)
        return {nullptr, 0};
    std::size_t index = blocks_.size() - 1;
    while (firstRows_[index] > row)
        --index;
    const xls::CellBlock& block = blocks_[index];
    const std::int32_t count = std::min<std::int32_t>(columns_, block.cols);
    if (count < 1)
        return {nullptr, 0};
    return {&block.at(row - firstRows_[index] + 1, 1), count};
}

const xls::CellView& SheetImage::EmptyCell() {
    return kEmptyCell;
}

std::string CellText(const xls::CellView& cell) {
    switch (cell.kind()) {
        case xls::CellView::Kind::Number:
            return NumberText(cell.number());
        case xls::CellView::Kind::Text:
            return cell.text();
        case xls::CellView::Kind::Boolean:
            return cell.boolean() ? "True" : "False";
        case xls::CellView::Kind::Error:
            return ErrorText(cell.errorCode());
        case xls::CellView::Kind::Empty:
            break;
    }
    return {};
}

std::string TrimmedCellText(const xls::CellView& cell) {
    if (cell.kind() == xls::CellView::Kind::Text)
        return gMjDisp::Trim(cell.text());
    return CellText(cell);
}

bool CellHasValue(const xls::CellView& cell) {
    if (cell.empty())
        return false;
    if (cell.kind() == xls::CellView::Kind::Text)
        return cell.text().find_first_not_of(' ') != std::string::npos;
    return true;
}
