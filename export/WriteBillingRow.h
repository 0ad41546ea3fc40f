#pragma once
// One row of the sheet "請求情報".

#include <cstdint>

#include "RecordsetHelper.h"
#include "pClExcel.h"

// Writes the current record of `BillingRecordset` into row `row` of the
// current sheet and adds 1 to `row`; with `row` 1 it first writes the header.
// In ExpansionMode a row of an expanded customer gets the red notice in
// column 38. Refused writes throw PlatformError naming the sheet.
void WriteBillingRow(pClExcel& excel, const RecordsetHelper& BillingRecordset, std::int32_t& row,
                     bool ExpansionMode);
