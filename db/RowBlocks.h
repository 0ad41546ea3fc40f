#pragma once
// The rows of a record set one after another, the same number of values
// each: the first kFirstBlockRows in a block of their own, the rest in
// blocks of kBlockRows. No allocation per row, no copy of what was read when
// a large result grows, and a few look-up rows cost no large block. The
// large blocks are megabytes, which the system hands over in large pages: in
// blocks of a thousand rows it was a page fault per 4 KB, a sixth of the
// export's time on the two-core test machine.

#include <cstddef>
#include <utility>
#include <vector>

#include "FieldValue.h"

class RowBlocks {
  public:
    void clear() { blocks_.clear(); }

    // The one row of a key seek, at the start of the first block, `width`
    // values long.
    std::vector<FieldValue>& onlyRow(std::size_t width) {
        if (blocks_.empty())
            blocks_.emplace_back();
        std::vector<FieldValue>& row = blocks_.front();
        row.resize(width);
        return row;
    }

    // The block the next row of `width` values is appended to; `room` counts
    // the rows the last block still has room for (0 before the first row).
    std::vector<FieldValue>& blockForNextRow(std::size_t& room, std::size_t width) {
        if (room == 0) {
            room = blockCapacity(blocks_.size());
            blocks_.emplace_back().reserve(room * width);
        }
        --room;
        return blocks_.back();
    }

    const FieldValue& cell(long row, int column, std::size_t width) const {
        auto r = static_cast<std::size_t>(row);
        std::size_t block = 0;
        if (r >= kFirstBlockRows) {
            r -= kFirstBlockRows;
            block = 1 + r / kBlockRows;
            r %= kBlockRows;
        }
        return blocks_[block][r * width + static_cast<std::size_t>(column)];
    }
    FieldValue& cell(long row, int column, std::size_t width) {
        return const_cast<FieldValue&>(std::as_const(*this).cell(row, column, width));
    }

  private:
    static constexpr std::size_t kFirstBlockRows = 256;
    static constexpr std::size_t kBlockRows = 16384;
    static std::size_t blockCapacity(std::size_t block) {
        return block == 0 ? kFirstBlockRows : kBlockRows;
    }

    std::vector<std::vector<FieldValue>> blocks_;
};
