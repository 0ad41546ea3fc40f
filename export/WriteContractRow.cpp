#include "WriteContractRow.h"

#include <string>

#include "FeeCellText.h"
#include "FeeWorkbookLayout.h"
#include "SheetWriteCheck.h"

namespace {

// Columns 1 to 16, in order; widths are the data model's limits.
constexpr RecordField kContractFields[] = {
    {"得意先コード", 10, 0},
    {"設置場所名称"},
    {"設置場所住所"},
    {"設置場所TEL"},
    {"人槽", 5, 0},
    {"容量", 8, 3},
    {"処理方式名称"},
    {"契約区分名称"},
    {"契約期間_開始", 8, 0},
    {"契約期間_終了", 8, 0},
    {"行番号", 3, 0},
    {"作業コード", 3, 0},
    {"作業名称"},
    {"年間金額", 12, 0},
    {"作業回数", 4, 0},
    {"単価金額", 12, 0},
};

constexpr int kEntryCells = 3;  // columns 17 to 19

}  // namespace

void WriteContractRow(pClExcel& excel, const RecordsetHelper& ContractRecordset,
                      std::int32_t& row) {
    if (row == 1)
        WriteContractHeader(excel, row);
    std::int16_t column = 0;
    for (const RecordField& field : kContractFields) {
        NextColumn(column);
        RequireWritten(excel.SetCellValue(row, column, FieldCellText(ContractRecordset, field)),
                       feebook::kContractSheet, row, column);
    }
    for (int n = 0; n < kEntryCells; ++n) {
        NextColumn(column);
        RequireWritten(excel.SetCellValue(row, column, std::string()), feebook::kContractSheet, row,
                       column);
    }
    ++row;
}
