#include "WriteContractRow.h"

#include <string>
#include <vector>

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

// The aliases as the record set is asked for them, made once rather than
// for every field of every row.
const std::vector<std::string>& Aliases() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const RecordField& field : kContractFields)
            out.emplace_back(field.alias);
        return out;
    }();
    return names;
}

constexpr int kEntryCells = 3;  // columns 17 to 19

}  // namespace

void WriteContractRow(pClExcel& excel, const RecordsetHelper& ContractRecordset,
                      std::int32_t& row) {
    if (row == 1)
        WriteContractHeader(excel, row);
    std::int16_t column = 0;
    const std::vector<std::string>& aliases = Aliases();
    for (std::size_t k = 0; k < aliases.size(); ++k) {
        const RecordField& field = kContractFields[k];
        NextColumn(column);
        RequireWritten(SetFieldCell(excel, row, column, ContractRecordset.FieldRef(aliases[k]),
                                    field.width, field.decimals),
                       feebook::kContractSheet, row, column);
    }
    static const std::string kEmpty;
    for (int n = 0; n < kEntryCells; ++n) {
        NextColumn(column);
        RequireWritten(excel.SetCellText(row, column, kEmpty), feebook::kContractSheet, row,
                       column);
    }
    ++row;
}
