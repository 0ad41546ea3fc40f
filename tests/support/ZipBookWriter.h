#pragma once
// Small writers of the zip packages the import reads, for tests and
// benchmarks: any members as given, or a whole Workbook as a plain .xlsx
// (shared strings) or .ods (one element per cell, runs of empty cells
// repeated), values only; the .ods with the namespaces, the style names on
// rows and cells, the shortest numbers and the repeated equal neighbours a
// spreadsheet application writes, as heavy to read as its file.

#include <string>
#include <utility>
#include <vector>

#include "Workbook.h"

namespace zipbook {

using Members = std::vector<std::pair<std::string, std::string>>;

// Members in order; "mimetype" is stored uncompressed, as ODF asks.
void WriteZip(const std::string& path, const Members& members);

// Parts of an .xlsx around the given sheets (sheet name, worksheet XML),
// with the shared strings and styles given (empty: none).
Members XlsxMembers(const std::vector<std::pair<std::string, std::string>>& sheets,
                    const std::string& sharedStrings = {}, const std::string& styles = {});
// Parts of an .ods around the given tables (the table:table elements).
Members OdsMembers(const std::string& tables);

std::string XmlEscaped(const std::string& text);

void WriteXlsxBook(const std::string& path, const xls::Workbook& book);
void WriteOdsBook(const std::string& path, const xls::Workbook& book);

}  // namespace zipbook
