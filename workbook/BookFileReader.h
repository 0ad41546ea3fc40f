#pragma once
// Reads a workbook file of any format the tools accept, chosen by the file's
// content and not by its name: an .xls (OLE2 compound file), an Office Open
// XML workbook (.xlsx) or an OpenDocument spreadsheet (.ods). Anything else
// throws the PlatformError of the .xls reader, which says what the file is.

#include <memory>
#include <string>

#include "Workbook.h"

namespace xls {

enum class BookFormat { Xls, Xlsx, Ods };

struct BookFile {
    std::unique_ptr<Workbook> book;
    BookFormat format = BookFormat::Xls;
};

BookFile ReadBookFile(const std::string& path);

}  // namespace xls
