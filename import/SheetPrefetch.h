#pragma once
// A sheet's values read on a second thread: the billing sheet's while the
// contract sheet is checked and written, and the later blocks of a sheet
// while its first is read. The book is held in memory and not changed during
// a run, and the workstations have two cores. A sheet's own read still runs
// its structure check first and takes the values from here only when they
// cover exactly the rows and columns it would read itself; anything else is
// read at the usual place, with the usual messages.

#include <cstdint>
#include <future>
#include <vector>

#include "CellView.h"

class pClExcel;

class SheetPrefetch {
  public:
    // Starts reading columns 1..columns of the sheet at `index` (from 1), from
    // row `firstRow` to its last used row, in blocks of `chunkRows` rows.
    SheetPrefetch(const pClExcel& book, std::int16_t index, std::int16_t columns,
                  std::int32_t chunkRows, std::int32_t firstRow = 1);
    // Waits for the read to end: the book must outlive it.
    ~SheetPrefetch();
    SheetPrefetch(const SheetPrefetch&) = delete;
    SheetPrefetch& operator=(const SheetPrefetch&) = delete;

    // The blocks of rows firstRow..endRow, columns 1..columns, when that is
    // what was read; empty otherwise, or when taken already.
    std::vector<xls::CellBlock> Take(std::int32_t endRow, std::int16_t columns);

  private:
    struct Blocks {
        bool complete = false;
        std::int32_t endRow = -1;
        std::vector<xls::CellBlock> blocks;
    };
    std::int16_t columns_;
    std::future<Blocks> read_;
};
