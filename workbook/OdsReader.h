#pragma once
// Reads an OpenDocument spreadsheet (.ods) into a Workbook: sheet names in
// order and every cell's value (numbers, texts, booleans, errors, formulas as
// their calculated results), dates and times as serial numbers in a date
// format, as an .xls gives them. Repeated rows and columns are expanded only
// where they hold values and only within the model's rows and columns.

#include <memory>

#include "Workbook.h"
#include "ZipPackage.h"

namespace xls {

bool IsOdsPackage(const zip::ZipPackage& package);
// Throws PlatformError: damaged or unreadable content, an encrypted document.
std::unique_ptr<Workbook> ReadOdsPackage(const zip::ZipPackage& package);

}  // namespace xls
