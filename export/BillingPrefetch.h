#pragma once
// The billing query read on a second connection while the contract sheet is
// written: on the two-core test machine reading it took about as long as
// filling that sheet, and the workstations have two cores. Anything that goes
// wrong here (the file cannot be opened a second time, the read fails) leaves
// the query to be read on the job's own connection at its usual place, so the
// clerk meets the same messages as without it.

#include <future>
#include <memory>
#include <string>

#include "Database.h"
#include "RecordsetHelper.h"

class BillingPrefetch {
  public:
    // Starts reading `sql` on a read-only connection to the file of `connection`.
    BillingPrefetch(const Database& connection, std::string sql);
    // Waits for the read to end.
    ~BillingPrefetch();
    BillingPrefetch(const BillingPrefetch&) = delete;
    BillingPrefetch& operator=(const BillingPrefetch&) = delete;

    // The record set of `sql`, positioned on its first row; null when it was
    // read for another text, failed, or was taken already. The prefetch must
    // outlive the record set, which reads through its connection.
    std::unique_ptr<RecordsetHelper> Take(const std::string& sql);

  private:
    std::string sql_;
    std::unique_ptr<Database> connection_;
    std::future<std::unique_ptr<RecordsetHelper>> read_;
};
