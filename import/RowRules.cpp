#include "RowRules.h"

#include <cmath>
#include <limits>
#include <type_traits>

#include "FeeAmountLimits.h"
#include "gMjDisp.h"

namespace rowrules {

namespace {

constexpr std::int16_t kContractColumns = 19;
constexpr std::int16_t kBillingColumns = 37;

const Currency kAmountMax = Currency::FromWhole(feelimits::kAmountMaximum);

std::vector<EntryColumn> MakeContractEntries() {
    return {{17, "年間金額", kAmountMax},
            {18, "作業回数", Currency::FromWhole(feelimits::kVisitCountMaximum)},
            {19, "１回金額", kAmountMax}};
}

std::vector<EntryColumn> MakeBillingEntries() {
    std::vector<EntryColumn> entries;
    for (int month = 1; month <= 12; ++month) {
        entries.push_back({static_cast<std::int16_t>(25 + month),
                           "請求金額(" + std::to_string(month) + "月)", kAmountMax});
    }
    return entries;
}

}  // namespace

std::int16_t SheetColumns(std::int16_t sheet) {
    return sheet == 1 ? kContractColumns : kBillingColumns;
}

const std::vector<EntryColumn>& EntryColumns(std::int16_t sheet) {
    static const std::vector<EntryColumn> contract = MakeContractEntries();
    static const std::vector<EntryColumn> billing = MakeBillingEntries();
    return sheet == 1 ? contract : billing;
}

bool IsEntered(std::string_view text) {
    return !gMjDisp::Trim(text).empty();
}

bool IsNumericOrBlank(std::string_view text) {
    const std::string trimmed = gMjDisp::Trim(text);
    return trimmed.empty() || ParseNumber(trimmed).has_value();
}

bool IsInRange(Currency value, Currency min, Currency max) {
    return min <= value && value <= max;
}

CellNumber ReadCellNumber(const xls::CellView& cell) {
    CellNumber result;
    switch (cell.kind()) {
        case xls::CellView::Kind::Empty:
            break;
        case xls::CellView::Kind::Number:
            result.blank = false;
            result.value = cell.number();
            break;
        case xls::CellView::Kind::Text: {
            const std::string trimmed = gMjDisp::Trim(cell.text());
            if (!trimmed.empty()) {
                result.blank = false;
                const auto parsed = ParseNumber(trimmed);
                result.numeric = parsed.has_value();
                result.value = parsed.value_or(0);
            }
            break;
        }
        default:
            // True/False and error values are entries, but not numbers.
            result.blank = false;
            result.numeric = false;
            break;
    }
    return result;
}

double KeyCellNumber(const xls::CellView& cell) {
    if (cell.kind() == xls::CellView::Kind::Number)
        return cell.number();
    if (cell.kind() == xls::CellView::Kind::Text)
        return numbertext::LeadingNumberWide(cell.text());
    return 0;
}

std::optional<std::int16_t> LineNumber(const xls::CellView& cell) {
    const double value = std::nearbyint(KeyCellNumber(cell));
    if (!(value >= -32768.0 && value <= 32767.0))
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

bool RowHasData(const SheetImage& data, std::int32_t row, std::int16_t columnCount) {
    for (std::int32_t column = 1; column <= columnCount; ++column) {
        if (CellHasValue(data.at(row, column)))
            return true;
    }
    return false;
}

bool RowHasRevision(const SheetImage& data, std::int16_t sheet, std::int32_t row) {
    for (const EntryColumn& entry : EntryColumns(sheet)) {
        if (CellHasValue(data.at(row, entry.column)))
            return true;
    }
    return false;
}

Currency RecordedCustomerCode(const SheetImage& data, std::int32_t row) {
    const CellNumber code = ReadCellNumber(data.at(row, kCustomerCodeColumn));
    if (code.blank || !code.numeric)
        return Currency{};
    return ToCurrency(code.value).value_or(Currency{});
}

bool CheckCustomerCode(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                       ImportErrorList& errors, Currency& code) {
    static const std::string kItem = "得意先コード";
    static const Currency kMax = Currency::FromWhole(9999999999LL);
    const CellNumber cell = ReadCellNumber(data.at(row, kCustomerCodeColumn));
    if (cell.blank) {
        errors.AddImportError(sheet, kCustomerCodeColumn, row, Currency{}, kItem,
                              ImportErrorKind::NotEntered);
        return false;
    }
    if (!cell.numeric) {
        errors.AddImportError(sheet, kCustomerCodeColumn, row, Currency{}, kItem,
                              ImportErrorKind::NotNumeric);
        return false;
    }
    const std::optional<Currency> value = ToCurrency(cell.value);
    if (!value || !IsInRange(*value, Currency{}, kMax)) {
        errors.AddImportError(sheet, kCustomerCodeColumn, row, value.value_or(Currency{}), kItem,
                              ImportErrorKind::OutOfRange);
        return false;
    }
    code = *value;
    return true;
}

bool CheckRevisedAmounts(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                         Currency code, ImportErrorList& errors) {
    for (const EntryColumn& entry : EntryColumns(sheet)) {
        const CellNumber cell = ReadCellNumber(data.at(row, entry.column));
        if (!cell.numeric) {
            errors.AddImportError(sheet, entry.column, row, code, entry.item,
                                  ImportErrorKind::NotNumeric);
            return false;
        }
        const std::optional<Currency> value = ToCurrency(cell.value);
        if (!value ||
            !IsInRange(*value, Currency::FromWhole(feelimits::kEntryMinimum), entry.maximum)) {
            errors.AddImportError(sheet, entry.column, row, code, entry.item,
                                  ImportErrorKind::OutOfRange);
            return false;
        }
    }
    return true;
}

std::string LineItem(const SheetImage& data, std::int16_t sheet, std::int32_t row) {
    return TrimmedCellText(data.at(row, kLineNumberColumn)) +
           (sheet == 1 ? "行目の作業[" : "行目の部門[") +
           TrimmedCellText(data.at(row, kNameColumn)) + "]";
}

}  // namespace rowrules
