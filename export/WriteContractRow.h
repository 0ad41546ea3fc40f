#pragma once
// One row of the sheet "契約内訳情報".

#include <cstdint>

#include "RecordsetHelper.h"
#include "pClExcel.h"

// Writes the current record of `ContractRecordset` into row `row` of the
// current sheet and adds 1 to `row`; with `row` 1 it first writes the header
// (rows 1 and 2). Refused writes throw PlatformError naming the sheet.
void WriteContractRow(pClExcel& excel, const RecordsetHelper& ContractRecordset, std::int32_t& row);
