#pragma once
// On a server a round trip per key seek would cost more than the job's
// own work: after a number of seeks in one transaction the whole table
// is read once and the seeks are answered from it (rows this record set
// updates are updated in it too). A new transaction reads it again.

#include <cstdint>
#include <memory>
#include <vector>

#include "Statement.h"

struct ServerRows {
    long long serial = -1;
    // The table as the server sent it; a row's values are read from it
    // when the row is sought, so that the table is never held twice.
    std::unique_ptr<Statement> result;
    std::vector<std::int64_t> keys;  // each row's key values, one after another
    // The rows by key, open addressing on the key's whole numbers: each
    // slot a row's number + 1 (0 free), at least twice as many slots as
    // rows. A node per row cost more than reading the row.
    std::vector<std::uint32_t> byKey;
    // Rows this record set updated: sought again, they are asked of the server.
    std::vector<bool> written;
};
