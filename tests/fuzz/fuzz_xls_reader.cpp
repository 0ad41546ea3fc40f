// FUZZ-SOURCES: workbook/*.cpp common/text/TextCodec.cpp
// FUZZ-PKGS: libgsf-1 pugixml
// FUZZ-OPTIONS: -rss_limit_mb=768 -malloc_limit_mb=128
//
// The .xls reader over arbitrary bytes: compound files (libgsf) and bare BIFF8
// streams, which the reader also accepts, so that mutations reach the record
// parser directly. Every sheet of a book that reads is then read back over its
// used range, cell by cell where cells exist, and each number is shown the way
// its format code says (date, time or number).

#include <cstddef>
#include <cstdint>
#include <string>

#include "NumberFormat.h"
#include "PlatformError.h"
#include "XlsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        auto book = xls::ReadXlsFromMemory(data, size);
        std::size_t seen = 0;
        for (std::size_t i = 0; i < book->sheetCount(); ++i) {
            const xls::Sheet& sheet = book->sheet(i);
            auto last = sheet.lastCell();
            if (!last) {
                continue;
            }
            for (std::int32_t r = 0; r <= last->first; ++r) {
                const xls::RowInfo* row = sheet.row(r);
                if (row == nullptr) {
                    continue;
                }
                for (std::size_t c = 0; c < row->cells.size(); ++c) {
                    xls::CellValue v = sheet.value(r, static_cast<std::int32_t>(c));
                    if (const auto* text = std::get_if<std::string>(&v)) {
                        seen += text->size();
                    }
                    const xls::Cell* cell = sheet.cell(r, static_cast<std::int32_t>(c));
                    if (cell != nullptr && cell->format != xls::kNoCell) {
                        const std::string& code = book->formats.get(cell->format).numberFormat;
                        seen += code.size();
                        if (cell->kind == xls::CellKind::Number) {
                            seen += xls::SerialText(cell->number, xls::ClassifyNumberFormat(code))
                                        .size();
                        }
                    }
                }
            }
        }
        (void)seen;
    } catch (const PlatformError&) {
        // Expected for damaged input.
    }
    return 0;
}
