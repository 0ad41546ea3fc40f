#include "SheetWriteCheck.h"

#include "EngineErrors.h"
#include "PlatformError.h"

namespace {

// 65533 -> "65,533"
std::string Grouped(std::int32_t number) {
    std::string digits = std::to_string(number);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

}  // namespace

std::string RowLimitMessage(const std::string& sheetName) {
    return "「" + sheetName + "」シートに出力できる行数（" + Grouped(kMaxDataRows) +
           "行）を超えています";
}

void CheckRowLimit(std::int32_t records, const std::string& sheetName) {
    if (records > kMaxDataRows)
        throw PlatformError(xls::kErrLimit, RowLimitMessage(sheetName));
}

void RequireWritten(bool done, const std::string& sheetName, std::int32_t row,
                    std::int16_t column) {
    if (done)
        return;
    if (row > kLastSheetRow)
        throw PlatformError(xls::kErrLimit, RowLimitMessage(sheetName));
    throw PlatformError(xls::kErrLimit, "「" + sheetName + "」シートの" + std::to_string(row) +
                                            "行" + std::to_string(column) +
                                            "列に出力できませんでした");
}
