#pragma once
// The structure check of the fee workbook and the reading of one sheet into
// the sheet image: the sheet at the expected position must carry the expected
// name and both header rows the expected texts, column by column.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class ImportState;

inline constexpr std::int32_t kReadChunkRows = 30000;

struct SheetLayout {
    std::string name;   // 契約内訳情報 / 請求情報
    std::string label;  // in the header message: 【契約内訳情報】 / 【 請求情報 】
    std::int16_t columns = 0;
    // Expected texts of rows 1 and 2 per column (index 0 = column 1); an
    // empty text is not compared.
    std::vector<std::pair<std::string, std::string>> headers;
};
const SheetLayout& ExpectedLayout(std::int16_t sheet);

// The trimmed path names an existing regular file.
bool ImportFileExists(const std::string& trimmedPath);

// Message of a header that is not where it belongs (three lines, CR LF).
std::string HeaderMismatchMessage(std::int16_t sheet, const std::string& expected, std::int32_t row,
                                  std::int32_t column);

// Sheet 1 opens the workbook (state.ImportPath) in the kept workbook object;
// sheet 2 uses the workbook opened for sheet 1. True when the sheet passed
// the check and SheetData holds rows 1..SheetEndRow.
bool ReadSheet(ImportState& state, std::int16_t sheet);
// Name and header check of the sheet; sets SheetEndRow on success.
bool CheckSheetLayout(ImportState& state, std::int16_t sheet);
