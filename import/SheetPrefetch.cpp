#include "SheetPrefetch.h"

#include <algorithm>
#include <exception>

#include "pClExcel.h"

SheetPrefetch::SheetPrefetch(const pClExcel& book, std::int16_t index, std::int16_t columns,
                             std::int32_t chunkRows, std::int32_t firstRow)
    : columns_(columns) {
    read_ =
        std::async(std::launch::async, [&book, index, columns, chunkRows, firstRow]() -> Blocks {
            Blocks read;
            try {
                std::int32_t endRow = -1;
                if (columns < 2 || chunkRows < 1 || firstRow < 1 ||
                    !book.GetSheetLastRow(index, endRow) || endRow < firstRow)
                    return read;
                for (std::int32_t start = firstRow; start <= endRow; start += chunkRows) {
                    const std::int32_t end = std::min(start + (chunkRows - 1), endRow);
                    xls::CellBlock block;
                    if (!book.GetSheetRangeCells(index, start, 1, end, columns, block) ||
                        block.rows != end - start + 1 || block.cols != columns)
                        return {};
                    read.blocks.push_back(std::move(block));
                }
                read.endRow = endRow;
                read.complete = true;
            } catch (const std::exception&) {
                // Out of memory, most likely: the sheet is read again at its place.
                return {};
            }
            return read;
        });
}

SheetPrefetch::~SheetPrefetch() {
    if (read_.valid())
        read_.wait();
}

std::vector<xls::CellBlock> SheetPrefetch::Take(std::int32_t endRow, std::int16_t columns) {
    if (!read_.valid())
        return {};
    Blocks read = read_.get();
    if (!read.complete || read.endRow != endRow || columns != columns_)
        return {};
    return std::move(read.blocks);
}
