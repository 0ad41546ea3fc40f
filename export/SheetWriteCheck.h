#pragma once
// The workbook class answers False, and writes nothing, for a cell outside its
// sheet (rows 1 to 65535). A workbook saved after such an answer would lack
// rows without anyone noticing, so the export turns every refusal into an
// error that ends the job with a message naming the sheet.

#include <cstdint>
#include <string>

// Data rows 3 to 65535: the most one sheet of the fee workbook can hold.
inline constexpr std::int32_t kLastSheetRow = 65535;
inline constexpr std::int32_t kMaxDataRows = kLastSheetRow - 2;

// "「<sheet>」シートに出力できる行数（65,533行）を超えています"
std::string RowLimitMessage(const std::string& sheetName);

// Throws PlatformError with RowLimitMessage when `records` rows do not fit.
void CheckRowLimit(std::int32_t records, const std::string& sheetName);

// Throws PlatformError naming the sheet and the cell when `done` is false.
void RequireWritten(bool done, const std::string& sheetName, std::int32_t row, std::int16_t column);
