#include "ReadSheet.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "FeeWorkbookTexts.h"
#include "ImportState.h"
#include "PlatformError.h"
#include "RowRules.h"
#include "gMjDisp.h"

namespace {

const char* const kCrLf = "\r\n";

// Row 1 and row 2 text of every column; a title over both rows leaves row 2
// uncompared, a group title stands over the first of its columns only.
SheetLayout MakeLayout(const feebook::SheetTexts& texts, const char* label) {
    SheetLayout layout;
    layout.name = texts.name;
    layout.label = label;
    layout.columns = texts.columns();
    for (const char* title : texts.titles)
        layout.headers.emplace_back(title, "");
    for (const char* amounts : feebook::kAmountGroups) {
        for (std::size_t n = 0; n < texts.subTitles.size(); ++n)
            layout.headers.emplace_back(n == 0 ? amounts : "", texts.subTitles[n]);
    }
    return layout;
}

void ShowRunTimeError(ImportState& state, std::int32_t number, const std::string& description) {
    state.view.messages().warn("(" + std::to_string(number) + ")" + description);
}

}  // namespace

const SheetLayout& ExpectedLayout(std::int16_t sheet) {
    static const SheetLayout contract = MakeLayout(feebook::kContractTexts, "【契約内訳情報】");
    static const SheetLayout billing = MakeLayout(feebook::kBillingTexts, "【 請求情報 】");
    return sheet == 1 ? contract : billing;
}

bool ImportFileExists(const std::string& trimmedPath) {
    if (trimmedPath.empty())
        return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(trimmedPath), ec);
}

std::string HeaderMismatchMessage(std::int16_t sheet, const std::string& expected, std::int32_t row,
                                  std::int32_t column) {
    return ExpectedLayout(sheet).label + "シートにヘッダー「" + expected + "」が見つかりません(" +
           gMjDisp::FullWidthDigits(row) + "行目, " + gMjDisp::FullWidthDigits(column) + "列目" +
           ")" + kCrLf + "指定されたシートは取り込むことができません" + kCrLf +
           "データ出力プログラムによって出力された規定のExcelを使用してください";
}

bool CheckSheetLayout(ImportState& state, std::int16_t sheet) {
    const SheetLayout& layout = ExpectedLayout(sheet);
    pClExcel& book = state.Book();
    book.ChangeSheets(pClExcel::SheetRef{static_cast<std::int32_t>(sheet)});
    if (book.GetSheetsName(sheet) != layout.name) {
        state.view.messages().warn(
            std::string("シート名が規定のExcelと異なります") + kCrLf +
            "データ出力プログラムによって出力された規定のExcelを使用してください");
        return false;
    }
    for (std::int16_t column = 1; column <= layout.columns; ++column) {
        const auto& [top, lower] = layout.headers[static_cast<std::size_t>(column - 1)];
        std::int32_t mismatchRow = 0;
        if (!gMjDisp::Trim(top).empty() && book.GetCellValue(1, column) != top) {
            mismatchRow = 1;
        } else if (!gMjDisp::Trim(lower).empty() && book.GetCellValue(2, column) != lower) {
            mismatchRow = 2;
        }
        if (mismatchRow != 0) {
            state.view.messages().warn(
                HeaderMismatchMessage(sheet, mismatchRow == 1 ? top : lower, mismatchRow, column));
            return false;
        }
    }
    std::int32_t lastRow = -1;
    std::int16_t lastColumn = 0;
    // A failed look-up has shown its report; SheetEndRow stays -1 and the
    // range read below fails with its own message.
    if (book.GetRowColCount(lastRow, lastColumn))
        state.SheetEndRow = lastRow;
    return true;
}

namespace {

bool ReadSheetBody(ImportState& state, std::int16_t sheet) {
    state.SheetColumnCount = rowrules::SheetColumns(sheet);
    if (sheet == 1) {
        state.view.setPhase("(契約内訳情報)Excelデータチェック中・・・");
        state.view.pumpEvents();
        if (!ImportFileExists(state.ImportPath)) {
            state.view.messages().warn("指定されたExcelファイルが見つかりません");
            return false;
        }
        // The workbook is read from the file at every run, so corrections
        // saved since the last run are seen. OpenBook has shown the engine's
        // report when the file cannot be read (not .xls, encrypted, damaged).
        if (!state.Book().OpenBook(state.ImportPath))
            return false;
    } else {
        state.view.setPhase("(請求情報)Excelデータチェック中・・・");
        state.view.pumpEvents();
    }

    if (!CheckSheetLayout(state, sheet))
        return false;

    pClExcel& book = state.Book();
    const std::int16_t columns = state.SheetColumnCount;
    // Blocks read elsewhere, from row `first`, into the image; false when
    // there were none (they are read here then).
    const auto appendRead = [&](std::vector<xls::CellBlock> blocks, std::int32_t first) {
        for (xls::CellBlock& block : blocks) {
            const std::int32_t rows = block.rows;
            state.SheetData.appendBlock(std::move(block));
            state.SheetData.reads.emplace_back(first, first + rows - 1);
            first += rows;
        }
        return !blocks.empty();
    };
    if (sheet == 2 && state.Prefetch) {
        std::vector<xls::CellBlock> blocks = state.Prefetch->Take(state.SheetEndRow, columns);
        state.Prefetch.reset();
        if (appendRead(std::move(blocks), 1))
            return true;
    }
    // A sheet read here: the blocks after the first on the second core
    // while this one reads the first (turning cells into values is mostly
    // the system handing over fresh memory, which both cores can do at once).
    std::optional<SheetPrefetch> rest;
    if (state.SheetEndRow > kReadChunkRows)
        rest.emplace(book, sheet, columns, kReadChunkRows, kReadChunkRows + 1);
    std::int32_t start = 1;
    for (;;) {
        if (start == kReadChunkRows + 1 && rest) {
            const bool taken = appendRead(rest->Take(state.SheetEndRow, columns), start);
            rest.reset();
            if (taken)
                break;
        }
        const std::int32_t end = std::min(start + (kReadChunkRows - 1), state.SheetEndRow);
        xls::CellBlock block;
        if (!book.GetRangeCells(start, 1, end, columns, block) || block.rows != end - start + 1 ||
            block.cols != columns) {
            state.SheetData.clear();
            state.view.messages().warn(std::string("Excelシートのデータ取得に失敗しました") +
                                       kCrLf + "行を減らしてから再度実行してください");
            return false;
        }
        state.SheetData.appendBlock(std::move(block));
        state.SheetData.reads.emplace_back(start, end);
        if (end >= state.SheetEndRow)
            break;
        start = end + 1;
    }
    if (sheet == 1) {
        state.Prefetch = std::make_unique<SheetPrefetch>(book, std::int16_t{2},
                                                         rowrules::SheetColumns(2), kReadChunkRows);
    }
    return true;
}

}  // namespace

bool ReadSheet(ImportState& state, std::int16_t sheet) {
    // A read-ahead ends before the book is opened again and after the sheet
    // it was for (SheetPrefetch.h).
    if (sheet == 1)
        state.Prefetch.reset();
    state.SheetData.clear();
    state.SheetEndRow = -1;
    bool result = false;
    try {
        result = ReadSheetBody(state, sheet);
    } catch (const PlatformError& e) {
        ShowRunTimeError(state, e.number(), e.description());
    } catch (const std::bad_alloc&) {
        ShowRunTimeError(state, 7, "メモリが不足しています");
    }
    if (sheet != 1)
        state.Prefetch.reset();
    if (!result)
        state.SheetData.clear();
    state.view.setPhase("");
    state.view.pumpEvents();
    return result;
}
