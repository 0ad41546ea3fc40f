#pragma once
// Reads an OpenDocument spreadsheet (.ods) into a Workbook: sheet names in
// order and every cell's value (numbers, texts, booleans, errors, formulas as
// their calculated results), dates and times as serial numbers in a date
// format, as an .xls gives them. Repeated rows and columns are expanded only
// where they hold values and only within the model's rows and columns.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "Workbook.h"
#include "ZipPackage.h"

namespace xls {

bool IsOdsPackage(const zip::ZipPackage& package);
// Throws PlatformError: damaged or unreadable content, an encrypted document.
// content.xml is cut into pieces parsed on every core (ReadOdsInChunks).
std::unique_ptr<Workbook> ReadOdsPackage(const zip::ZipPackage& package);
// The same, content.xml cut at table rows into pieces of about `chunkBytes`
// (OdsContentChunks.h), each parsed whole on whichever core is free. The
// workbook is the same; where the pieces do not read or fit together, the
// document is read as ReadOdsPackage(package, cutFrom) reads it, cut near
// its middle, which also gives the report of a fault. `inChunks` tells
// whether the pieces were joined.
std::unique_ptr<Workbook> ReadOdsInChunks(const zip::ZipPackage& package, std::size_t chunkBytes,
                                          bool* inChunks = nullptr);
// The same, cut in two at the first table row at or after byte `cutFrom` of
// content.xml (OdsContentSplit.h), the later part read on a second core;
// nullopt reads it in one piece. The workbook is the same;
// `twoParts` tells whether the parts were joined (or the document read
// again in one piece).
std::unique_ptr<Workbook> ReadOdsPackage(const zip::ZipPackage& package,
                                         std::optional<std::uint64_t> cutFrom,
                                         bool* twoParts = nullptr);

}  // namespace xls
