#include "CheckRun.h"

#include "Database.h"
#include "PlatformError.h"
#include "RecordsetHelper.h"
#include "RowRules.h"

std::int32_t ReadTransaction::Begin() {
    if (db_ == nullptr)
        return SQLITE_MISUSE;
    try {
        db_->beginRead();
    } catch (const PlatformError& e) {
        return ErrorNumber(e);
    }
    active_ = true;
    return 0;
}

void ReadTransaction::End() {
    if (!active_)
        return;
    active_ = false;
    if (!db_->inTransaction())
        return;
    try {
        db_->rollback();
    } catch (const PlatformError&) {
        // Closing the connection ends it.
    }
}

void CheckFindings::Accepted(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                             const RecordsetHelper& record) {
    const std::int16_t firstStale = ChangedAmountColumn(data, sheet, row, record);
    for (const AmountColumns& amount : ComparedAmounts(sheet)) {
        const FieldValue& field = record.FieldRef(amount.field);
        // The import writes an entry's number as it is; Null is replaced by any number.
        const rowrules::CellNumber entry = rowrules::ReadCellNumber(data.at(row, amount.entry));
        if (!entry.blank && (IsNull(field) || entry.value != FieldNumber(field)))
            ++changing_;
    }
    if (firstStale != 0) {
        ImportError stale;
        stale.column = firstStale;
        stale.row = row;
        stale.sheet = sheet;
        stale.customerCode = rowrules::RecordedCustomerCode(data, row);
        stale.message = kStaleAmountMessage;
        stale_.push_back(std::move(stale));
    }
}

void CheckFindings::Reset() {
    stale_.clear();
    changing_ = 0;
}
