// FUZZ-SOURCES: workbook/*.cpp common/text/TextCodec.cpp
// FUZZ-PKGS: libgsf-1 pugixml
// FUZZ-OPTIONS: -rss_limit_mb=768 -malloc_limit_mb=128
// FUZZ-SEEDS-FROM: fuzz_xls_reader
//
// The .xls file the way the import reads it: written to a file, opened by
// pClExcel::OpenBook (the engine's file reader: libgsf's file input, the
// stream search, the record reader, every sheet), then the used range of
// sheets 1 and 2 read as the import reads them: a block of rows 1..last over
// the columns the import uses. A file the engine refuses must be reported in exactly one box.
//
// Seeds: the reader fuzzer's, and books built here with the engine's writer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "FuzzSeeds.h"
#include "RecordingMessages.h"
#include "Workbook.h"
#include "XlsWriter.h"
#include "pClExcel.h"

namespace {

constexpr std::int16_t kImportColumns = 37;     // the wider of the two fee sheets
constexpr std::int32_t kAddressedRows = 65535;  // pClExcel addresses no row beyond

void WriteSeeds() {
    xls::Workbook book;
    xls::Sheet& values = book.addSheet("値");
    values.setText(0, 0, "得意先コード");
    values.setNumber(1, 0, 1234567);
    values.setNumber(1, 1, -5296.47);
    values.setText(1, 2, "ＭＳ　ゴシック");
    values.setValue(2, 3, true);
    values.merges.push_back({3, 4, 0, 2});
    xls::Sheet& far = book.addSheet("far");
    far.setNumber(65535, 36, 1);
    far.rowInfo(40000).height = 600;
    book.addSheet("empty");
    fuzzseeds::WriteSeed("engine_three_sheets.xls", xls::WriteXlsToMemory(book));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeeds();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzseeds::InputFile file(".xls");
    const std::string& path = file.Hold(data, size);
    RecordingMessages messages;
    pClExcel excel(messages);
    if (!excel.OpenBook(path)) {
        if (messages.shown.size() != 1)
            std::abort();  // a refusal is reported once, never silent
        return 0;
    }
    // The import reads its two sheets; the others were read by OpenBook.
    for (std::int32_t index = 1; index <= 2; ++index) {
        if (!excel.ChangeSheets(pClExcel::SheetRef{index}))
            break;
        std::int32_t lastRow = 0;
        std::int16_t lastColumn = 0;
        if (!excel.GetRowColCount(lastRow, lastColumn) || lastRow < 1)
            continue;
        xls::CellBlock block;
        if (!excel.GetRangeCells(1, 1, lastRow, kImportColumns, block)) {
            if (lastRow <= kAddressedRows)
                std::abort();
            continue;  // the import says to remove rows then
        }
        if (block.rows != lastRow || block.cols != kImportColumns)
            std::abort();
        std::size_t seen = 0;
        for (std::int32_t r = 1; r <= block.rows; r += 97)
            seen += static_cast<std::size_t>(block.at(r, 1).kind());
        (void)seen;
    }
    return 0;
}
