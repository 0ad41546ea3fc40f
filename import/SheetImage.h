#pragma once
// The in-memory image of one sheet of the fee workbook: the cell values of
// rows 1..rows and columns 1..columns as the workbook engine returned them.
// Its texts are the workbook's own: the book it was read from stays open
// while the image is used.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "CellView.h"
#include "Variant.h"

class SheetImage {
  public:
    using Cell = xls::CellView;

    std::int32_t rows() const { return rows_; }
    std::int16_t columns() const { return columns_; }
    bool empty() const { return rows_ == 0; }

    void clear();
    // Appends the rows of a block read from the sheet (indexed from (1, 1)).
    // The block is taken over as it is, so a sheet of 65,535 rows is never
    // held twice.
    void appendBlock(xls::CellBlock&& block);
    // The same for values the image is to hold itself, texts included.
    void appendBlock(const xls::Array2D& values);

    // Cell (row, column), both from 1; anything outside the image is empty.
    const Cell& at(std::int32_t row, std::int32_t column) const;

    // The cells of one row, found once for the many of its cells a
    // comparison reads; valid while the image is not changed.
    class RowCells {
      public:
        RowCells(const Cell* cells, std::int32_t count) : cells_(cells), count_(count) {}
        // Column from 1; anything outside the image is empty, as at() says.
        const Cell& at(std::int32_t column) const {
            return column >= 1 && column <= count_ ? cells_[column - 1] : EmptyCell();
        }

      private:
        const Cell* cells_;
        std::int32_t count_;
    };
    RowCells row(std::int32_t row) const;

    // Ranges (first row, last row) of the reads that filled the image.
    std::vector<std::pair<std::int32_t, std::int32_t>> reads;

  private:
    static const Cell& EmptyCell();

    std::int32_t rows_ = 0;
    std::int16_t columns_ = 0;
    std::vector<xls::CellBlock> blocks_;
    std::vector<std::int32_t> firstRows_;  // sheet row of each block's row 1
};

// The text a cell shows to the row rules: empty for an empty cell, whole
// numbers without decimals, other numbers with up to 15 significant digits,
// True/False for Booleans and the error's name (#N/A ...) for errors.
std::string CellText(const xls::CellView& cell);
// CellText with the half-width blanks at both ends removed.
std::string TrimmedCellText(const xls::CellView& cell);
// True when the trimmed text of the cell is not empty (no text is built).
bool CellHasValue(const xls::CellView& cell);
