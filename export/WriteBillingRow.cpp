#include "WriteBillingRow.h"

#include <string>
#include <vector>

#include "FeeCellText.h"
#include "FeeWorkbookLayout.h"
#include "FindExpandedCustomer.h"
#include "SheetWriteCheck.h"

using namespace feebook;

namespace {

// Columns 1 to 13, in order; widths are the data model's limits.
constexpr RecordField kBillingFields[] = {
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
    {"部門コード", 3, 0},
    {"部門名称"},
};

// The aliases as the record set is asked for them, made once rather than
// for every field of every row.
const std::vector<std::string>& Aliases() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const RecordField& field : kBillingFields)
            out.emplace_back(field.alias);
        return out;
    }();
    return names;
}

// "請求金額_1" ... "請求金額_12"
const std::string& MonthAlias(int month) {
    static const std::string kAliases[12] = {
        "請求金額_1", "請求金額_2", "請求金額_3", "請求金額_4",  "請求金額_5",  "請求金額_6",
        "請求金額_7", "請求金額_8", "請求金額_9", "請求金額_10", "請求金額_11", "請求金額_12",
    };
    return kAliases[month - 1];
}

constexpr std::int16_t kAmountWidth = 12;

}  // namespace

void WriteBillingRow(pClExcel& excel, const RecordsetHelper& BillingRecordset, std::int32_t& row,
                     bool ExpansionMode) {
    if (row == 1)
        WriteBillingHeader(excel, row, ExpansionMode);
    auto put = [&](std::int16_t column, const std::string& text) {
        RequireWritten(excel.SetCellText(row, column, text), kBillingSheet, row, column);
    };
    auto putField = [&](std::int16_t column, const FieldValue& value, std::int16_t width,
                        std::int16_t decimals) {
        RequireWritten(SetFieldCell(excel, row, column, value, width, decimals), kBillingSheet, row,
                       column);
    };

    std::int16_t column = 0;
    const std::vector<std::string>& aliases = Aliases();
    for (std::size_t k = 0; k < aliases.size(); ++k) {
        const RecordField& field = kBillingFields[k];
        putField(NextColumn(column), BillingRecordset.FieldRef(aliases[k]), field.width,
                 field.decimals);
    }
    for (int month = 1; month <= 12; ++month) {
        putField(NextColumn(column), BillingRecordset.FieldRef(MonthAlias(month)), kAmountWidth, 0);
    }
    static const std::string kEmpty;
    for (int month = 1; month <= 12; ++month)
        put(NextColumn(column), kEmpty);

    static const std::string kExpandedCode = "展開得意先コード";
    static const std::string kCode = "得意先コード";
    if (ExpansionMode && IsExpandedCustomer(BillingRecordset.FieldRef(kExpandedCode),
                                            BillingRecordset.FieldRef(kCode))) {
        NextColumn(column);
        put(column, kExpansionNotice);
        RequireWritten(excel.SetCellFont(row, column, row, column, kSheetFont, kSheetFontSize,
                                         kExpansionColor, kRangeCells),
                       kBillingSheet, row, column);
    }
    ++row;
}
