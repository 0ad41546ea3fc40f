#include "MarkedCopy.h"

#include <filesystem>
#include <system_error>

#include "CheckRun.h"
#include "MessageSink.h"
#include "RowRules.h"
#include "pClExcel.h"

namespace {

const char* const kCrLf = "\r\n";
constexpr std::int32_t kNoFill = -4142;
constexpr std::int32_t kEntryFill = 6;  // yellow
constexpr std::int32_t kHeaderFill = 15;
constexpr std::int32_t kCentre = -4108;

// Where the sheet's first and last entry columns lie.
std::pair<std::int16_t, std::int16_t> EntrySpan(std::int16_t sheet) {
    const auto& entries = rowrules::EntryColumns(sheet);
    return {entries.front().column, entries.back().column};
}

std::pair<std::int16_t, std::int16_t> CurrentSpan(std::int16_t sheet) {
    const auto& amounts = ComparedAmounts(sheet);
    return {amounts.front().current, amounts.back().current};
}

// The message column of the current sheet: the one titled kMessageColumnTitle
// when the workbook is itself a marked copy (its old marks are then taken
// off), else the first column after the used area, given its header.
std::int16_t PrepareMessageColumn(pClExcel& book, std::int16_t sheet) {
    std::int32_t lastRow = 1;
    std::int16_t lastColumn = 1;
    book.GetRowColCount(lastRow, lastColumn);
    for (std::int16_t column = rowrules::SheetColumns(sheet) + 1; column <= lastColumn; ++column) {
        if (book.GetCellValue(1, column) != kMessageColumnTitle)
            continue;
        if (lastRow >= rowrules::kFirstDataRow) {
            const auto [firstEntry, lastEntry] = EntrySpan(sheet);
            book.SetRangeValue(rowrules::kFirstDataRow, column, lastRow, column, std::string());
            book.SetCellBackColor(rowrules::kFirstDataRow, 1, lastRow,
                                  static_cast<std::int16_t>(firstEntry - 1), kNoFill);
            book.SetCellBackColor(rowrules::kFirstDataRow, firstEntry, lastRow, lastEntry,
                                  kEntryFill);
        }
        return column;
    }
    const std::int16_t column = static_cast<std::int16_t>(lastColumn + 1);
    book.SetCellValue(1, column, std::string(kMessageColumnTitle));
    book.SetCellMerge(1, column, 2, column, kCentre, kCentre);
    book.SetCellLineStyle(1, column, 2, column, 1, 1, 1, 1, 1, 1, 0, 2);
    book.SetCellBackColor(1, column, 1, column, kHeaderFill);
    book.SetColWidth(column, column, kMessageColumnWidth);
    return column;
}

// Calls `mark(first, lastRow)` for each run of records of `sheet` on
// consecutive rows with the same column and message, so that a run is marked
// by one range call (a sheet of 65,533 stale rows by one).
template <typename Mark>
void ForEachRun(const std::vector<ImportError>& records, std::int16_t sheet, Mark mark) {
    for (std::size_t i = 0; i < records.size();) {
        if (records[i].sheet != sheet) {
            ++i;
            continue;
        }
        std::size_t last = i;
        while (last + 1 < records.size()) {
            const ImportError& next = records[last + 1];
            if (next.sheet != sheet || next.row != records[last].row + 1 ||
                next.column != records[i].column || next.message != records[i].message) {
                break;
            }
            ++last;
        }
        mark(records[i], records[last].row);
        i = last + 1;
    }
}

void MarkSheet(pClExcel& book, std::int16_t sheet, const ImportErrorList& errors,
               const std::vector<ImportError>& staleRows) {
    book.ChangeSheets(pClExcel::SheetRef{static_cast<std::int32_t>(sheet)});
    const std::int16_t messageColumn = PrepareMessageColumn(book, sheet);
    ForEachRun(errors.ImportErrors(), sheet, [&](const ImportError& first, std::int32_t lastRow) {
        const auto column = static_cast<std::int16_t>(first.column);
        book.SetCellBackColor(first.row, column, lastRow, column, kRejectedCellColor);
        book.SetRangeValue(first.row, messageColumn, lastRow, messageColumn, first.message);
    });
    // A pair, not a structured binding: clang before 16 (the fuzzers'
    // compiler) cannot capture those.
    const std::pair<std::int16_t, std::int16_t> current = CurrentSpan(sheet);
    ForEachRun(staleRows, sheet, [&](const ImportError& first, std::int32_t lastRow) {
        book.SetCellBackColor(first.row, current.first, lastRow, current.second, kStaleCellColor);
        book.SetRangeValue(first.row, messageColumn, lastRow, messageColumn, first.message);
    });
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::string MarkedCopyPath(const std::string& workbookPath) {
    const std::filesystem::path path(workbookPath);
    std::filesystem::path copy = path;
    copy.replace_filename(path.stem().string() + "_確認結果.xls");
    return copy.string();
}

bool SaveMarkedCopy(pClExcel& book, const std::string& workbookPath, const ImportErrorList& errors,
                    const std::vector<ImportError>& staleRows, MessageSink& messages) {
    const std::string target = MarkedCopyPath(workbookPath);
    const std::string failed =
        std::string("確認結果のExcelを保存できませんでした") + kCrLf + target;
    // A copy name that leads to the clerk's workbook (a link) would replace it.
    if (SameFile(target, workbookPath)) {
        messages.warn(failed + kCrLf + "取込先Excelと同じファイルです");
        return false;
    }
    try {
        MarkSheet(book, 1, errors, staleRows);
        MarkSheet(book, 2, errors, staleRows);
        book.ChangeSheets(pClExcel::SheetRef{std::int32_t{1}});
    } catch (const PlatformError& e) {
        messages.warn(failed + kCrLf + e.description());
        return false;
    }
    // The engine asks before it replaces an existing copy and reports why a
    // save failed; its save leaves either the whole file or none.
    if (!book.BookSave(target, true)) {
        messages.warn(failed);
        return false;
    }
    messages.inform(std::string("確認結果を保存しました") + kCrLf + target);
    return true;
}
