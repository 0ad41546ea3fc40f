#include "BillingPrefetch.h"

#include <exception>
#include <utility>

BillingPrefetch::BillingPrefetch(const Database& connection, std::string sql)
    : sql_(std::move(sql)) {
    read_ = std::async(std::launch::async,
                       [this, path = connection.path()]() -> std::unique_ptr<RecordsetHelper> {
                           connection_ = std::make_unique<Database>(path, true);
                           auto records = std::make_unique<RecordsetHelper>();
                           std::int32_t err = 0;
                           records->Open(connection_.get(), sql_, 0, err);
                           if (err != 0)
                               return nullptr;
                           return records;
                       });
}

BillingPrefetch::~BillingPrefetch() {
    if (read_.valid())
        read_.wait();
}

std::unique_ptr<RecordsetHelper> BillingPrefetch::Take(const std::string& sql) {
    if (!read_.valid())
        return nullptr;
    try {
        std::unique_ptr<RecordsetHelper> records = read_.get();
        if (sql != sql_)
            return nullptr;
        return records;
    } catch (const std::exception&) {
        // Read again on the job's connection, which reports its own failure.
        return nullptr;
    }
}
