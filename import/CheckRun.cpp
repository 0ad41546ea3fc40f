#include "CheckRun.h"

#include <cmath>
#include <optional>

#include "Database.h"
#include "PlatformError.h"
#include "RecordsetHelper.h"
#include "RowRules.h"
#include "gMjDisp.h"

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

namespace {

std::vector<AmountColumns> MakeContractAmounts() {
    return {{14, 17, "年間金額"}, {15, 18, "作業回数"}, {16, 19, "1回分の金額"}};
}

std::vector<AmountColumns> MakeBillingAmounts() {
    std::vector<AmountColumns> amounts;
    for (int month = 1; month <= 12; ++month) {
        amounts.push_back({static_cast<std::int16_t>(13 + month),
                           static_cast<std::int16_t>(25 + month),
                           "請求金額" + gMjDisp::FullWidthDigits(month)});
    }
    return amounts;
}

// The number the export put into the current-amount cell for a field:
// nothing for Null (an empty cell), otherwise the value rounded to a whole
// number as "###0" rounds it (halves away from zero).
std::optional<double> ExportedNumber(const FieldValue& value) {
    if (IsNull(value))
        return std::nullopt;
    return std::round(FieldNumber(value));
}

bool SameAsExported(const xls::CellView& cell, const FieldValue& field) {
    const rowrules::CellNumber shown = rowrules::ReadCellNumber(cell);
    const std::optional<double> exported = ExportedNumber(field);
    if (!exported)
        return shown.blank;
    return !shown.blank && shown.numeric && shown.value == *exported;
}

}  // namespace

const std::vector<AmountColumns>& ComparedAmounts(std::int16_t sheet) {
    static const std::vector<AmountColumns> contract = MakeContractAmounts();
    static const std::vector<AmountColumns> billing = MakeBillingAmounts();
    return sheet == 1 ? contract : billing;
}

void CheckFindings::Accepted(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                             const RecordsetHelper& record) {
    std::int16_t firstStale = 0;
    for (const AmountColumns& amount : ComparedAmounts(sheet)) {
        const FieldValue& field = record.FieldRef(amount.field);
        if (firstStale == 0 && !SameAsExported(data.at(row, amount.current), field))
            firstStale = amount.current;
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
