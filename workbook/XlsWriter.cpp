// BIFF8 workbook stream and its OLE2 container.
//
// The globals are written first with placeholders for the sheets' stream
// offsets (BOUNDSHEET8 lbPlyPos), the sheets after them, then the offsets are
// patched. Formats are written only when a cell, row or column uses them.

#include "XlsWriter.h"

#include <gsf/gsf-output-memory.h>

#include <algorithm>

#include "OleWriter.h"
#include "XlsWriterParts.h"

namespace xls {
namespace writer {
namespace {

std::size_t estimateSize(const Workbook& book) {
    std::size_t cells = 0;
    for (std::size_t s = 0; s < book.sheetCount(); ++s) {
        const Sheet& sheet = book.sheet(s);
        for (std::int32_t r = 0; r < sheet.rowCount(); ++r)
            cells += sheet.row(r)->cells.size();
    }
    return 16384 + cells * 15 + book.strings.size() * 24;
}

}  // namespace

BiffBuffer writeStream(const Workbook& book) {
    if (book.sheetCount() == 0) {
        throw PlatformError(kErrGeneral, "シートが 1 枚もないブックは保存できません。");
    }
    const StyleTables styles = buildStyles(book);
    BiffBuffer b(estimateSize(book));

    std::size_t active = std::min(book.activeSheet, book.sheetCount() - 1);
    if (!book.sheet(active).visible) {
        for (std::size_t i = 0; i < book.sheetCount(); ++i) {
            if (book.sheet(i).visible) {
                active = i;
                break;
            }
        }
    }

    Globals globals{b, book, styles, active, {}};
    writeGlobals(globals);
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        b.patch32(globals.plyPos[i], static_cast<std::uint32_t>(b.size()));
        writeSheet(b, styles, book.sheet(i), i == active);
    }
    // Keep the stream out of the container's mini stream.
    if (b.size() < 4096)
        b.zeros(4096 - b.size());
    return b;
}

}  // namespace writer

std::vector<std::uint8_t> WriteBiff8Stream(const Workbook& book) {
    return writer::writeStream(book).copy();
}

std::vector<std::uint8_t> WriteXlsToMemory(const Workbook& book) {
    const biff::BiffBuffer stream = writer::writeStream(book);
    initGsf();
    GPtr<GsfOutput> mem(gsf_output_memory_new());
    if (!writeContainer(mem.get(), stream)) {
        throw PlatformError(kErrGeneral, "ブックのデータを作成できませんでした。");
    }
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(mem.get()));
    const auto size = static_cast<std::size_t>(gsf_output_size(mem.get()));
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

}  // namespace xls
