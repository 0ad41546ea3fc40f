// BIFF8 workbook stream and its OLE2 container.
//
// The globals are written first with placeholders for the sheets' stream
// offsets (BOUNDSHEET8 lbPlyPos), the sheets after them, and the offsets are
// patched before the globals are handed on. Formats are written only when a
// cell, row or column uses them.

#include "XlsWriter.h"

#include <gsf/gsf-output-memory.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
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

// Runs the pieces' writers, on this thread and, when asked, on a second
// one, and hands the pieces over in stream order on this thread as soon as
// they and everything before them are written: the file is written while
// the rest of the stream is still being made. The first piece goes last of
// the leading ones, once the sheets' offsets it holds are known.
class PieceRun {
  public:
    PieceRun(std::vector<std::function<void()>> tasks, std::size_t firstHandOver)
        : tasks_(std::move(tasks)),
          done_(tasks_.size(), false),
          failures_(tasks_.size()),
          firstHandOver_(firstHandOver) {}

    // `handOver(k)` gets piece k once, in order; false stops the run. The
    // first failure in piece order is thrown once both threads are done:
    // pieces are taken in order, so every piece before a failed one has been
    // written, as a single pass would have met them.
    template <typename HandOver>
    void run(bool secondThread, HandOver&& handOver) {
        {
            std::optional<std::jthread> helper;  // joined when the block ends
            if (secondThread) {
                try {
                    helper.emplace([this] {
                        while (takeOne()) {
                        }
                    });
                } catch (const std::system_error&) {
                    // No thread to be had: this one does it all.
                }
            }
            std::size_t handed = 0;
            while (handed < tasks_.size()) {
                const std::size_t ready = readyCount();
                if (handed < ready) {
                    if (!handOver(handed)) {
                        stop_ = true;
                        break;
                    }
                    ++handed;
                } else if (!takeOne()) {
                    std::unique_lock lock(mutex_);
                    changed_.wait(lock, [&] { return stop_ || readyLocked() > handed; });
                    if (stop_)
                        break;
                }
            }
        }
        for (const std::exception_ptr& failure : failures_) {
            if (failure)
                std::rethrow_exception(failure);
        }
    }

  private:
    // Writes the next piece not taken yet; false when none is left (or the run stopped).
    bool takeOne() {
        if (stop_)
            return false;
        const std::size_t i = next_.fetch_add(1);
        if (i >= tasks_.size())
            return false;
        std::exception_ptr failure;
        try {
            tasks_[i]();
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            done_[i] = true;
            if (failure) {
                failures_[i] = failure;
                stop_ = true;
            }
        }
        changed_.notify_all();
        return true;
    }

    std::size_t readyCount() {
        std::lock_guard lock(mutex_);
        return readyLocked();
    }
    // Pieces that may be handed over: the leading written ones, none before
    // the first firstHandOver_ are written.
    std::size_t readyLocked() {
        while (prefix_ < done_.size() && done_[prefix_])
            ++prefix_;
        return prefix_ >= firstHandOver_ ? prefix_ : 0;
    }

    std::vector<std::function<void()>> tasks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> done_;  // under mutex_
    std::vector<std::exception_ptr> failures_;
    std::size_t prefix_ = 0;  // under mutex_
    const std::size_t firstHandOver_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stop_{false};
};

}  // namespace

bool writeStream(const Workbook& book, const PieceSink& sink) {
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

    // Each sheet's stream offset goes into its BOUNDSHEET record, in the first
    // piece; the pieces up to the last sheet's first one give them all.
    auto patchOffsets = [&] {
        std::size_t offset = 0;
        std::size_t piece = 0;
        for (std::size_t i = 0; i < book.sheetCount(); ++i) {
            for (; piece < sheetStart[i]; ++piece)
                offset += built[piece]->size();
            built.front()->patch32(globals->plyPos[i], static_cast<std::uint32_t>(offset));
        }
    };
    bool accepted = true;
    auto handOver = [&](std::size_t k) {
        if (k == 0)
            patchOffsets();
        accepted = sink(*built[k]);
        built[k].reset();  // its memory is not needed any more
        return accepted;
    };
    PieceRun run(std::move(tasks), sheetStart.back());
    if (cells < kCellsForSecondThread) {
        // Everything first: a short stream is padded at its end.
        run.run(false, [](std::size_t) { return true; });
        std::size_t total = 0;
        for (const std::optional<BiffBuffer>& piece : built)
            total += piece->size();
        // Keep the stream out of the container's mini stream.
        if (total < 4096)
            built.back()->zeros(4096 - total);
        for (std::size_t k = 0; k < built.size() && accepted; ++k)
            handOver(k);
        return accepted;
    }
    // So many cells take far more than the 4096 bytes of the padding.
    run.run(true, handOver);
    return accepted;
}

}  // namespace writer

std::vector<std::uint8_t> WriteBiff8Stream(const Workbook& book) {
    std::vector<std::uint8_t> stream;
    writer::writeStream(book, [&stream](const biff::BiffBuffer& piece) {
        stream.insert(stream.end(), piece.data(), piece.data() + piece.size());
        return true;
    });
    return stream;
}

std::vector<std::uint8_t> WriteXlsToMemory(const Workbook& book) {
    initGsf();
    GPtr<GsfOutput> mem(gsf_output_memory_new());
    if (!writeContainer(mem.get(), book)) {
        throw PlatformError(kErrGeneral, "ブックのデータを作成できませんでした。");
    }
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(mem.get()));
    const auto size = static_cast<std::size_t>(gsf_output_size(mem.get()));
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

}  // namespace xls
