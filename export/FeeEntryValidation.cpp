#include "FeeEntryValidation.h"

#include <iterator>

#include "FeeAmountLimits.h"
#include "FeeWorkbookLayout.h"
#include "SheetWriteCheck.h"

namespace feebook {

namespace {

constexpr std::int16_t kWholeNumber = 1;  // validation types of pClExcel
constexpr std::int16_t kDecimal = 2;

// Digits in groups of three: 999,999,999.
std::string Grouped(std::int64_t value) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0 && digits[i - 1] != '-')
            out += ',';
        out += digits[i];
    }
    return out;
}

void SetRule(pClExcel& excel, const char* sheetName, std::int32_t lastRow, std::int16_t first,
             std::int16_t last, const std::string& item, std::int64_t maximum, bool whole) {
    const std::string text = EntryRuleText(item, maximum, whole);
    RequireWritten(excel.SetCellValidation(
                       kFirstDataRow, first, lastRow, last, whole ? kWholeNumber : kDecimal,
                       static_cast<double>(feelimits::kEntryMinimum), static_cast<double>(maximum),
                       item, text, kEntryErrorTitle, text),
                   sheetName, lastRow, last);
}

}  // namespace

std::string EntryRuleText(const std::string& item, std::int64_t maximum, bool whole) {
    return item + "には " + Grouped(feelimits::kEntryMinimum) + " から " + Grouped(maximum) +
           " までの" + (whole ? "整数" : "数値") + "を入力してください。";
}

}  // namespace feebook

using namespace feebook;

void SetContractEntryRules(pClExcel& excel, std::int32_t lastRow) {
    struct Rule {
        std::int64_t maximum;
        bool whole;
    };
    // Under the sub-titles 年間金額, 作業回数, １回金額.
    constexpr Rule kRules[] = {{feelimits::kAmountMaximum, false},
                               {feelimits::kVisitCountMaximum, true},
                               {feelimits::kAmountMaximum, false}};
    static_assert(std::size(kRules) == std::size(kContractSubTitles));
    for (std::int16_t k = 0; k < kContractTexts.groupWidth(); ++k) {
        const auto column = static_cast<std::int16_t>(kContractEntryFirst + k);
        SetRule(excel, kContractSheet, lastRow, column, column, kContractSubTitles[k],
                kRules[k].maximum, kRules[k].whole);
    }
}

void SetBillingEntryRules(pClExcel& excel, std::int32_t lastRow) {
    SetRule(excel, kBillingSheet, lastRow, kBillingEntryFirst, kBillingColumns, "請求金額",
            feelimits::kAmountMaximum, false);
}
