#pragma once
// A sheet's values read on a second thread (the workstations have two
// cores): the billing sheet's while the contract sheet is checked and
// written, and the later blocks of a sheet while its first is read. A
// sheet's own read still runs its structure check first and takes the values
// from here only when they cover exactly the rows and columns it would read
// itself; anything else is read at the usual place, with the usual messages.
//
// Life rules, the one place they are written down (ImportState, ReadSheet,
// ImportJob and pClExcel's GetSheetRangeCells refer here):
// - The read runs from the constructor until Take or the destructor, both of
//   which wait for it. It only reads the book (GetSheetLastRow,
//   GetSheetRangeCells: const, by sheet index, never the current sheet).
// - Meanwhile the job's thread may read the book and choose its current
//   sheet (ChangeSheets, GetCellValue, GetRangeCells, GetRowColCount), but
//   nothing may change it: no OpenBook, no cell, format or sheet set, no
//   save of a marked copy, no release or destruction of the book.
// - So a read-ahead is ended (Take or reset) before the book is opened again
//   (sheet 1's read), once the sheet it was for has been read, used or not,
//   and however a run ends, before the window is usable again (the window
//   may release the book between runs). Its owner declares it after the book
//   so that it also goes first.
// - The blocks it hands over point into the book's texts: valid while the
//   book stays open, like those of GetRangeCells.

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
    // Waits for the read to end.
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
