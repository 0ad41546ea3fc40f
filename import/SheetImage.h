#pragma once
// The in-memory image of one sheet of the fee workbook: the cell values of
// rows 1..rows and columns 1..columns as the workbook engine returned them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Variant.h"

class SheetImage {
  public:
    using CellValue = xls::CellValue;

    std::int32_t rows() const { return rows_; }
    std::int16_t columns() const { return columns_; }
    bool empty() const { return rows_ == 0; }

    void clear();
    // Appends the rows of a block read from the sheet (indexed from (1, 1)).
    // The block is taken over as it is, so a sheet of 65,535 rows is never
    // held twice.
    void appendBlock(xls::Array2D&& block);
    // Appends one row (a block of one cell comes back as a single value).
    void appendSingle(xls::CellValue value, std::int16_t columns);

    // Cell (row, column), both from 1; anything outside the image is empty.
    const CellValue& at(std::int32_t row, std::int32_t column) const;

    // Ranges (first row, last row) of the reads that filled the image.
    std::vector<std::pair<std::int32_t, std::int32_t>> reads;

  private:
    std::int32_t rows_ = 0;
    std::int16_t columns_ = 0;
    std::vector<xls::Array2D> blocks_;
    std::vector<std::int32_t> firstRows_;  // sheet row of each block's row 1
};

// The text a cell shows to the row rules: empty for an empty cell, whole
// numbers without decimals, other numbers with up to 15 significant digits,
// True/False for Booleans and the error's name (#N/A ...) for errors.
std::string CellText(const xls::CellValue& value);
// CellText with the half-width blanks at both ends removed.
std::string TrimmedCellText(const xls::CellValue& value);
// True when the trimmed text of the cell is not empty (no text is built).
bool CellHasValue(const xls::CellValue& value);
