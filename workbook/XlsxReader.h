#pragma once
// Reads an Office Open XML workbook (.xlsx, .xlsm) into a Workbook: sheet
// names in the workbook's order and every cell's value (numbers, shared and
// inline texts, booleans, errors, formulas as their calculated results), with
// the number format of each cell so that dates read as they do from an .xls.

#include <memory>

#include "Workbook.h"
#include "ZipPackage.h"

namespace xls {

// True when the package holds a spreadsheet of this kind.
bool IsXlsxPackage(const zip::ZipPackage& package);
// Throws PlatformError: damaged or unreadable parts, a binary workbook.
std::unique_ptr<Workbook> ReadXlsxPackage(const zip::ZipPackage& package);

}  // namespace xls
