// FUZZ-SOURCES: import/!(main).cpp common/!(Startup).cpp db/*.cpp common/text/*.cpp workbook/*.cpp
// FUZZ-PKGS: libgsf-1 pugixml sqlite3 libpq libcrypto
// FUZZ-OPTIONS: -rss_limit_mb=1024 -malloc_limit_mb=128
// FUZZ-SEEDS-FROM: fuzz_xls_reader
//
// The import's checks on the workbook it reads, without a database: the
// input is written to a file and read by ReadSheet for sheets 1 and 2 as
// the import does (the file, the structure check of names and headers, the
// sheet image of rows 1..last with sheet 2 read ahead), then every row runs
// the rules the import applies before it looks anything up: which rows
// count, the customer code, the entry cells, the line number and key cells,
// and the lines of the error list.
//
// Seeds: fee workbooks built here from the import's own expected layout,
// with good and bad rows, so that mutations start past the header check.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSeeds.h"
#include "ImportErrors.h"
#include "ImportState.h"
#include "ReadSheet.h"
#include "RowRules.h"
#include "Workbook.h"
#include "XlsWriter.h"
#include "gMjMDB.h"
#include "import/ImportTestSupport.h"

namespace {

enum class Rows { Good, Bad, Far };

// A fee workbook as the export lays it out: both sheets, both header rows,
// then data rows from row 3.
std::vector<std::uint8_t> FeeBook(Rows rows, bool swapNames) {
    xls::Workbook book;
    for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
        const SheetLayout& layout = ExpectedLayout(sheet);
        xls::Sheet& s = book.addSheet(ExpectedLayout(swapNames ? 3 - sheet : sheet).name);
        for (std::size_t c = 0; c < layout.headers.size(); ++c) {
            const auto col = static_cast<std::int32_t>(c);
            s.setText(0, col, layout.headers[c].first);
            s.setText(1, col, layout.headers[c].second);
        }
        const auto& entries = rowrules::EntryColumns(sheet);
        for (std::int32_t n = 0; n < 6; ++n) {
            const std::int32_t r = rows == Rows::Far && n == 5 ? 65535 : 2 + n;
            s.setNumber(r, 0, 1000 + n);
            s.setNumber(r, rowrules::kLineNumberColumn - 1, n + 1);
            s.setNumber(r, rowrules::kCodeColumn - 1, 10 + n);
            s.setText(r, rowrules::kNameColumn - 1, "浄化槽清掃");
            for (std::size_t e = 0; e < entries.size(); ++e) {
                const std::int32_t col = entries[e].column - 1;
                s.setNumber(r, col - 1, 5000);
                if (rows == Rows::Bad) {
                    static const char* const bad[] = {"abc",  "-1",    "１２３４",
                                                      "1e20", "  7  ", "#N/A"};
                    s.setText(r, col, bad[(static_cast<std::size_t>(n) + e) % 6]);
                } else if ((static_cast<std::size_t>(n) + e) % 3 != 0) {
                    s.setNumber(r, col, 5500 + n);
                }
            }
        }
        if (rows == Rows::Bad) {
            s.setText(3, 0, "A12");
            s.setNumber(4, 0, 99999999999.0);
            s.setText(5, rowrules::kLineNumberColumn - 1, "40000");
        }
    }
    return xls::WriteXlsToMemory(book);
}

void WriteSeeds() {
    fuzzseeds::WriteSeed("fee_good.xls", FeeBook(Rows::Good, false));
    fuzzseeds::WriteSeed("fee_bad_rows.xls", FeeBook(Rows::Bad, false));
    fuzzseeds::WriteSeed("fee_far_row.xls", FeeBook(Rows::Far, false));
    fuzzseeds::WriteSeed("fee_sheets_swapped.xls", FeeBook(Rows::Good, true));
}

// The rules of every row of the sheet image, as the import runs them.
void CheckRows(ImportState& state, std::int16_t sheet) {
    const SheetImage& data = state.SheetData;
    for (std::int32_t row = rowrules::kFirstDataRow; row <= state.SheetEndRow; ++row) {
        if (!rowrules::RowHasData(data, row, rowrules::SheetColumns(sheet)) ||
            !rowrules::RowHasRevision(data, sheet, row))
            continue;
        (void)rowrules::RecordedCustomerCode(data, row);
        Currency code;
        if (!rowrules::CheckCustomerCode(data, sheet, row, state.Errors, code))
            continue;
        if (!rowrules::CheckRevisedAmounts(data, sheet, row, code, state.Errors))
            continue;
        (void)rowrules::LineNumber(data.at(row, rowrules::kLineNumberColumn));
        (void)rowrules::KeyCellNumber(data.at(row, rowrules::kCodeColumn));
        (void)rowrules::LineItem(data, sheet, row);
        for (const rowrules::EntryColumn& entry : rowrules::EntryColumns(sheet)) {
            (void)rowrules::ReadCellNumber(data.at(row, entry.column - 1));
            (void)rowrules::ReadCellNumber(data.at(row, entry.column));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeeds();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzseeds::InputFile file(".xls");
    importtest::TestImportView view;
    RecordingMessages& messages = view.recorded;
    gMjMDB mdb(messages);
    ImportState state(mdb, view);
    state.ImportPath = file.Hold(data, size);
    state.Errors.Reset();
    for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
        const std::size_t shown = messages.shown.size();
        if (!ReadSheet(state, sheet)) {
            if (messages.shown.size() == shown)
                std::abort();  // a sheet that cannot be read says why
            break;
        }
        if (state.SheetData.rows() != state.SheetEndRow)
            std::abort();  // the image holds rows 1..last, no more, no less
        CheckRows(state, sheet);
    }
    if (state.HasBook())
        ShowImportErrors(state.Book(), state.Errors, view);
    return 0;
}
