#pragma once
// The billing sheet's values read on a second thread while the contract sheet
// is checked and written: the book is held in memory and not changed during a
// run, the two sheets are read independently, and the workstations have two
// cores. The billing sheet's own read still runs its structure check first and
// takes the values from here only when they cover exactly the rows and columns
// it would read itself; anything else is read at the usual place, with the
// usual messages.

#include <cstdint>
#include <future>
#include <vector>

#include "Variant.h"

class pClExcel;

class SheetPrefetch {
  public:
    // Starts reading columns 1..columns of the sheet at `index` (from 1), from
    // row 1 to its last used row, in blocks of `chunkRows` rows.
    SheetPrefetch(const pClExcel& book, std::int16_t index, std::int16_t columns,
                  std::int32_t chunkRows);
    // Waits for the read to end: the book must outlive it.
    ~SheetPrefetch();
    SheetPrefetch(const SheetPrefetch&) = delete;
    SheetPrefetch& operator=(const SheetPrefetch&) = delete;

    // The blocks of rows 1..endRow, columns 1..columns, when that is what was
    // read; empty otherwise, or when taken already.
    std::vector<xls::Array2D> Take(std::int32_t endRow, std::int16_t columns);

  private:
    struct Blocks {
        bool complete = false;
        std::int32_t endRow = -1;
        std::vector<xls::Array2D> blocks;
    };
    std::int16_t columns_;
    std::future<Blocks> read_;
};
