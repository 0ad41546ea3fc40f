#pragma once
// Reads an Office Open XML workbook (.xlsx, .xlsm) into a Workbook: sheet
// names in the workbook's order and every cell's value (numbers, shared and
// inline texts, booleans, errors, formulas as their calculated results), with
// the number format of each cell so that dates read as they do from an .xls.

#include <cstddef>
#include <memory>

#include "Workbook.h"
#include "ZipPackage.h"

namespace xls {

// True when the package holds a spreadsheet of this kind.
bool IsXlsxPackage(const zip::ZipPackage& package);
// Throws PlatformError: damaged or unreadable parts, a binary workbook.
// The shared strings and the sheets are cut at their items and rows into
// pieces of 512 KB, each parsed whole (XmlTree.h).
std::unique_ptr<Workbook> ReadXlsxPackage(const zip::ZipPackage& package);
// The same with pieces of about `pieceBytes`, or through libxml2's stream
// alone when 0. The workbook is the same; where a piece is one the tree
// parser refuses, the workbook is read again through the stream, which
// also gives the report of a fault. `inPieces` tells whether it was not.
std::unique_ptr<Workbook> ReadXlsxPackage(const zip::ZipPackage& package, std::size_t pieceBytes,
                                          bool* inPieces = nullptr);

}  // namespace xls
