#pragma once
// On a server, updates of the same columns are sent many rows to one
// statement: a statement per row costs the server more than the write.
// Rows wait here until the batch is full, the columns change, the same
// row comes again, a seek must ask the server, or the record set goes.

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "FieldValue.h"

struct PendingRows {
    std::vector<int> columns;
    std::vector<FieldValue> values;  // per row: the written values, then its key
    std::unordered_set<std::string> keys;
    std::size_t rows = 0;
};
