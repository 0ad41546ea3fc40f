#include "RowRules.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

#include "gMjDisp.h"

namespace rowrules {

namespace {

constexpr std::int16_t kContractColumns = 19;
constexpr std::int16_t kBillingColumns = 37;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Full-width digits, signs, point, comma and exponent letters as clerks type
// them with a Japanese input method, and the ideographic space, become their
// half-width forms; everything else is kept as it is.
std::string NarrowNumberText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        if (b0 == 0xEF && i + 2 < text.size()) {
            const auto b1 = static_cast<unsigned char>(text[i + 1]);
            const auto b2 = static_cast<unsigned char>(text[i + 2]);
            char narrow = 0;
            if (b1 == 0xBC && b2 >= 0x90 && b2 <= 0x99) {
                narrow = static_cast<char>('0' + (b2 - 0x90));  // ０..９
            } else if (b1 == 0xBC && b2 == 0x8B) {
                narrow = '+';  // ＋
            } else if (b1 == 0xBC && b2 == 0x8D) {
                narrow = '-';  // －
            } else if (b1 == 0xBC && b2 == 0x8E) {
                narrow = '.';  // ．
            } else if (b1 == 0xBC && b2 == 0x8C) {
                narrow = ',';  // ，
            } else if (b1 == 0xBC && b2 == 0xA5) {
                narrow = 'E';  // Ｅ
            } else if (b1 == 0xBD && b2 == 0x85) {
                narrow = 'e';  // ｅ
            }
            if (narrow != 0) {
                out.push_back(narrow);
                i += 3;
                continue;
            }
        } else if (b0 == 0xE2 && i + 2 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) == 0x88 &&
                   static_cast<unsigned char>(text[i + 2]) == 0x92) {
            out.push_back('-');  // − (minus sign)
            i += 3;
            continue;
        } else if (b0 == 0xE3 && i + 2 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   static_cast<unsigned char>(text[i + 2]) == 0x80) {
            out.push_back(' ');  // ideographic space
            i += 3;
            continue;
        }
        out.push_back(text[i]);
        ++i;
    }
    return out;
}

// Converts "[-]digits.digits[e[sign]digits]" built by the callers; a value
// beyond the range of a double gives infinity with the number's sign.
double ToDouble(bool negative, const std::string& intDigits, const std::string& fracDigits,
                const std::string& exponent) {
    std::string text = (intDigits.empty() ? std::string("0") : intDigits) + "." +
                       (fracDigits.empty() ? std::string("0") : fracDigits);
    if (!exponent.empty())
        text += "e" + exponent;
    double value = 0;
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        value = std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

// Reads an exponent "e[sign]digits" at s[i]; advances i only when complete.
bool ReadExponent(const std::string& s, std::size_t& i, std::string& exponent) {
    if (i >= s.size() || (s[i] != 'e' && s[i] != 'E'))
        return false;
    std::size_t j = i + 1;
    std::string digits;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
        if (s[j] == '-')
            digits.push_back('-');
        ++j;
    }
    const std::size_t firstDigit = j;
    while (j < s.size() && IsDigit(s[j]))
        digits.push_back(s[j++]);
    if (j == firstDigit)
        return false;
    exponent = digits;
    i = j;
    return true;
}

const Currency kAmountMax = Currency::FromWhole(999999999);

std::vector<EntryColumn> MakeContractEntries() {
    return {{17, "年間金額", kAmountMax},
            {18, "作業回数", Currency::FromWhole(999)},
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

std::optional<double> ParseNumber(std::string_view text) {
    const std::string narrow = NarrowNumberText(text);
    const std::size_t first = narrow.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::nullopt;
    const std::size_t last = narrow.find_last_not_of(' ');
    const std::string s = narrow.substr(first, last - first + 1);

    std::size_t i = 0;
    bool negative = false;
    if (s[i] == '+' || s[i] == '-')
        negative = s[i++] == '-';
    std::string intDigits;
    while (i < s.size()) {
        if (IsDigit(s[i])) {
            intDigits.push_back(s[i++]);
        } else if (s[i] == ',' && !intDigits.empty() && IsDigit(s[i - 1]) && i + 1 < s.size() &&
                   IsDigit(s[i + 1])) {
            ++i;  // a thousands separator between two digits
        } else {
            break;
        }
    }
    std::string fracDigits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i]))
            fracDigits.push_back(s[i++]);
    }
    if (intDigits.empty() && fracDigits.empty())
        return std::nullopt;
    std::string exponent;
    ReadExponent(s, i, exponent);
    if (i != s.size())
        return std::nullopt;
    return ToDouble(negative, intDigits, fracDigits, exponent);
}

double LeadingNumber(std::string_view text) {
    const std::string s = NarrowNumberText(text);
    std::size_t i = s.find_first_not_of(' ');
    if (i == std::string::npos)
        return 0;
    bool negative = false;
    if (s[i] == '+' || s[i] == '-')
        negative = s[i++] == '-';
    std::string intDigits;
    while (i < s.size() && IsDigit(s[i]))
        intDigits.push_back(s[i++]);
    std::string fracDigits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i]))
            fracDigits.push_back(s[i++]);
    }
    if (intDigits.empty() && fracDigits.empty())
        return 0;
    std::string exponent;
    ReadExponent(s, i, exponent);
    return ToDouble(negative, intDigits, fracDigits, exponent);
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

CellNumber ReadCellNumber(const xls::CellValue& cell) {
    CellNumber result;
    if (const auto* number = std::get_if<double>(&cell)) {
        result.blank = false;
        result.value = *number;
    } else if (const auto* text = std::get_if<std::string>(&cell)) {
        const std::string trimmed = gMjDisp::Trim(*text);
        if (!trimmed.empty()) {
            result.blank = false;
            const auto parsed = ParseNumber(trimmed);
            result.numeric = parsed.has_value();
            result.value = parsed.value_or(0);
        }
    } else if (!std::holds_alternative<std::monostate>(cell)) {
        // True/False and error values are entries, but not numbers.
        result.blank = false;
        result.numeric = false;
    }
    return result;
}

double KeyCellNumber(const xls::CellValue& cell) {
    if (const auto* number = std::get_if<double>(&cell))
        return *number;
    if (const auto* text = std::get_if<std::string>(&cell))
        return LeadingNumber(*text);
    return 0;
}

std::optional<std::int16_t> LineNumber(const xls::CellValue& cell) {
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
        if (!value || !IsInRange(*value, Currency{}, entry.maximum)) {
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
