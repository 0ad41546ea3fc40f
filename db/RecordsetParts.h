#pragma once
// What the files of RecordsetHelper share: its error outs, the key values
// as they are bound, the size of a server's batched update, and the reset of
// a statement it keeps.

#include <sqlite3.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <variant>

#include "FieldValue.h"
#include "Statement.h"

namespace recordset {

constexpr std::int32_t kNoMatch = SQLITE_NOTFOUND;
constexpr std::size_t kRowsPerUpdate = 64;

// Key values arrive as doubles; whole numbers are bound as integers so that
// the comparison with an INTEGER key column is exact and uses its index.
inline FieldValue KeyValue(const FieldValue& v) {
    if (const auto* d = std::get_if<double>(&v)) {
        if (std::isfinite(*d) && std::trunc(*d) == *d && std::fabs(*d) < 9.0e15) {
            return static_cast<std::int64_t>(*d);
        }
    }
    return v;
}

// A cached statement left unfinished would keep the database read-locked.
// Every parameter of the record set's statements is set before each run, so
// clearing them (a third of a seek's reset in a profile of the import) is
// left out.
class ResetOnExit {
  public:
    explicit ResetOnExit(Statement& st) : st_(st) {}
    ~ResetOnExit() { st_.rewind(); }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

  private:
    Statement& st_;
};

}  // namespace recordset
