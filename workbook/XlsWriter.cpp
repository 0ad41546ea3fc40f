// BIFF8 workbook stream and its OLE2 container.
//
// The globals are written first with placeholders for the sheets' stream
// offsets (BOUNDSHEET8 lbPlyPos), the sheets after them, then the offsets are
// patched. Formats are written only when a cell, row or column uses them.

#include "XlsWriter.h"

#include <gsf/gsf-output-memory.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>

#include "OleWriter.h"
#include "XlsWriterParts.h"

namespace xls {
namespace writer {
namespace {

// Rows of one piece of a sheet's cells: large workbooks are written in
// pieces on two threads, small ones in one go.
constexpr std::int32_t kRowsPerPiece = 64 * kRowBlock;
static_assert(kRowsPerPiece % kRowBlock == 0);
constexpr std::size_t kCellsForSecondThread = 20000;

// Room for the records of a run of rows: a cell takes 6 to 14 bytes, a row
// record 20, so the buffer seldom has to grow.
std::size_t rowsEstimate(const Sheet& sheet, std::int32_t first, std::int32_t end,
                         std::size_t& cells) {
    std::size_t n = 0;
    for (std::int32_t r = first; r < end; ++r)
        n += sheet.row(r)->cells.size();
    cells += n;
    return 4096 + n * 15 + static_cast<std::size_t>(end - first) * 20;
}

// Room for the globals: the records of the styles and the sheets, and the
// shared strings (at most two bytes a character, three for each string's header).
std::size_t globalsEstimate(const Workbook& book) {
    std::size_t bytes = 16384;
    for (std::uint32_t i = 0; i < book.strings.size(); ++i)
        bytes += 3 + 2 * book.strings.get(i).size();
    return bytes;
}

// Runs every task once, on this thread and, when asked, on a second one. The
// first failure in task order is thrown once both threads are done, which is
// the failure that writing the pieces one after another would have met:
// tasks are taken in order, so every task before a failed one has run.
void runTasks(const std::vector<std::function<void()>>& tasks, bool secondThread) {
    std::vector<std::exception_ptr> failures(tasks.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        while (!failed.load(std::memory_order_relaxed)) {
            const std::size_t i = next.fetch_add(1);
            if (i >= tasks.size())
                break;
            try {
                tasks[i]();
            } catch (...) {
                failures[i] = std::current_exception();
                failed = true;
            }
        }
    };
    {
        std::optional<std::jthread> helper;  // joined when the block ends
        if (secondThread) {
            try {
                helper.emplace(work);
            } catch (const std::system_error&) {
                // No thread to be had: this one does it all.
            }
        }
        work();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
}

}  // namespace

std::vector<BiffBuffer> writeStream(const Workbook& book) {
    if (book.sheetCount() == 0) {
        throw PlatformError(kErrGeneral, "シートが 1 枚もないブックは保存できません。");
    }
    const StyleTables styles = buildStyles(book);

    std::size_t active = std::min(book.activeSheet, book.sheetCount() - 1);
    if (!book.sheet(active).visible) {
        for (std::size_t i = 0; i < book.sheetCount(); ++i) {
            if (book.sheet(i).visible) {
                active = i;
                break;
            }
        }
    }

    // The pieces in stream order: the globals, then per sheet its head, its
    // rows in runs of kRowsPerPiece, its tail (the head and tail go with the
    // first and last run).
    std::vector<std::size_t> reserve{globalsEstimate(book)};
    std::vector<std::function<void(BiffBuffer&)>> writers;
    std::vector<std::size_t> sheetStart;  // index of each sheet's first piece
    std::size_t cells = 0;
    std::optional<Globals> globals;
    writers.emplace_back([&](BiffBuffer& b) {
        globals.emplace(Globals{b, book, styles, active, {}});
        writeGlobals(*globals);
    });
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        const Sheet& sheet = book.sheet(i);
        const bool isActive = i == active;
        sheetStart.push_back(writers.size());
        const std::int32_t rows = sheet.rowCount();
        std::int32_t first = 0;
        do {
            const std::int32_t end = std::min(rows, first + kRowsPerPiece);
            const bool head = first == 0;
            const bool tail = end == rows;
            reserve.push_back(rowsEstimate(sheet, first, end, cells));
            const Sheet* of = &sheet;
            writers.emplace_back([&styles, of, first, end, head, tail, isActive](BiffBuffer& b) {
                if (head)
                    writeSheetHead(b, styles, *of);
                writeSheetRows(b, styles, *of, first, end);
                if (tail)
                    writeSheetTail(b, styles, *of, isActive);
            });
            first = end;
        } while (first < rows);
    }

    // Each piece's memory is taken by the thread that fills it: fresh pages
    // are cleared when first touched, and that is a good part of the work.
    std::vector<std::optional<BiffBuffer>> built(writers.size());
    std::vector<std::function<void()>> tasks;
    tasks.reserve(writers.size());
    for (std::size_t k = 0; k < writers.size(); ++k) {
        tasks.emplace_back(
            [&writers, &built, &reserve, k] { writers[k](built[k].emplace(reserve[k])); });
    }
    runTasks(tasks, cells >= kCellsForSecondThread);
    std::vector<BiffBuffer> parts;
    parts.reserve(built.size());
    for (std::optional<BiffBuffer>& piece : built)
        parts.push_back(std::move(*piece));

    // Each sheet's stream offset goes into its BOUNDSHEET record.
    std::size_t offset = 0;
    std::size_t piece = 0;
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        for (; piece < sheetStart[i]; ++piece)
            offset += parts[piece].size();
        parts.front().patch32(globals->plyPos[i], static_cast<std::uint32_t>(offset));
    }
    // Keep the stream out of the container's mini stream.
    std::size_t total = 0;
    for (const BiffBuffer& part : parts)
        total += part.size();
    if (total < 4096)
        parts.back().zeros(4096 - total);
    return parts;
}

}  // namespace writer

std::vector<std::uint8_t> WriteBiff8Stream(const Workbook& book) {
    const std::vector<biff::BiffBuffer> parts = writer::writeStream(book);
    std::vector<std::uint8_t> stream;
    for (const biff::BiffBuffer& part : parts)
        stream.insert(stream.end(), part.data(), part.data() + part.size());
    return stream;
}

std::vector<std::uint8_t> WriteXlsToMemory(const Workbook& book) {
    const std::vector<biff::BiffBuffer> stream = writer::writeStream(book);
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
