// RecordsetHelper's key seeks on a server answered from the table read once
// (ServerRows.h).

#include <algorithm>
#include <iterator>

#include "RecordsetHelper.h"
#include "RecordsetParts.h"

namespace {

constexpr long long kSeeksBeforeTableRead = 64;

std::uint64_t KeyHash(const std::int64_t* keys, std::size_t count) {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (std::size_t k = 0; k < count; ++k) {
        h ^= static_cast<std::uint64_t>(keys[k]);
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 32;
    }
    return h;
}

}  // namespace

using recordset::KeyValue;
using recordset::kNoMatch;

long RecordsetHelper::findServerRow(const std::int64_t* keys) const {
    const std::size_t width = keyColumns_.size();
    const std::vector<std::uint32_t>& slots = serverRows_->byKey;
    const std::size_t mask = slots.size() - 1;
    for (std::size_t at = KeyHash(keys, width) & mask;; at = (at + 1) & mask) {
        if (slots[at] == 0)
            return -1;
        const std::size_t number = slots[at] - 1;
        const std::int64_t* have = serverRows_->keys.data() + number * width;
        if (std::equal(keys, keys + width, have))
            return static_cast<long>(number);
    }
}

bool RecordsetHelper::readServerTable(long long serial) {
    auto rows = std::make_unique<ServerRows>();
    rows->result =
        std::make_unique<Statement>(db_->prepare("SELECT * FROM " + QuoteSqlName(table_)));
    Statement& st = *rows->result;
    if (static_cast<std::size_t>(st.columnCount()) != columns_.size())
        return false;  // the table changed: the seek itself says how
    // Only the keys are read now; a row's other values when it is sought.
    const std::size_t width = keyColumns_.size();
    std::vector<std::uint8_t> whole;  // per row: its key values are whole numbers
    FieldValue value;
    while (st.step()) {
        bool numbers = true;
        for (const int column : keyColumns_) {
            st.columnInto(column, value);
            const auto* i = std::get_if<std::int64_t>(&value);
            numbers = numbers && i != nullptr;
            rows->keys.push_back(i != nullptr ? *i : 0);
        }
        whole.push_back(numbers ? 1 : 0);
    }
    const std::size_t count = whole.size();
    if (count >= UINT32_MAX)
        return false;
    std::size_t size = 16;
    while (size < 2 * count)
        size *= 2;
    rows->byKey.assign(size, 0);
    rows->written.assign(count, false);
    rows->serial = serial;
    serverRows_ = std::move(rows);
    std::vector<std::uint32_t>& slots = serverRows_->byKey;
    for (std::size_t number = 0; number < count; ++number) {
        // A row whose key is no whole number cannot be sought; of equal
        // keys the first is found, as a seek on the server finds one.
        const std::int64_t* keys = serverRows_->keys.data() + number * width;
        if (!whole[number] || findServerRow(keys) >= 0)
            continue;
        std::size_t at = KeyHash(keys, width) & (size - 1);
        while (slots[at] != 0)
            at = (at + 1) & (size - 1);
        slots[at] = static_cast<std::uint32_t>(number + 1);
    }
    return true;
}

bool RecordsetHelper::seekFromServerRows(const std::vector<FieldValue>& keys, std::int32_t& err) {
    // The key's columns, found once per record set: this runs for every row.
    const std::vector<int>& keyColumns = serverKeyColumns();
    std::int64_t wanted[8];
    if (keyColumns.empty() || keys.size() != keyColumns.size() || keys.size() > std::size(wanted))
        return false;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const FieldValue key = KeyValue(keys[k]);
        const auto* i = std::get_if<std::int64_t>(&key);
        if (i == nullptr)
            return false;
        wanted[k] = *i;
    }
    const long long serial = db_->transactionSerial();
    if (serial != seekSerial_) {
        seekSerial_ = serial;
        seeksSinceRead_ = 0;
        serverRows_.reset();
    }
    if (!serverRows_ && ++seeksSinceRead_ <= kSeeksBeforeTableRead)
        return false;
    if (!serverRows_) {
        sendPendingRows();
        if (!readServerTable(serial))
            return false;
    }
    const long number = findServerRow(wanted);
    if (number < 0) {
        err = kNoMatch;
        return true;
    }
    // A row this record set wrote is asked for again: the server has it as written.
    if (serverRows_->written[static_cast<std::size_t>(number)])
        return false;
    Statement& result = *serverRows_->result;
    if (!result.moveToRow(number))
        return false;
    std::vector<FieldValue>& row = blocks_.onlyRow(columns_.size());
    for (std::size_t i = 0; i < row.size(); ++i)
        result.columnInto(static_cast<int>(i), row[i]);
    cachedRow_ = number;
    rowid_ = 0;
    rowCount_ = 1;
    current_ = 0;
    return true;
}
