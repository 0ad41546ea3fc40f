#pragma once
// What the import window keeps between and during imports: the workbook
// object (kept for the window's life), the sheet image, the counters and the
// rejected rows. The procedures of the import work on one instance.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "CheckRun.h"
#include "ImportErrors.h"
#include "ImportJournal.h"
#include "ImportView.h"
#include "SheetImage.h"
#include "SheetPrefetch.h"
#include "gMjMDB.h"
#include "pClExcel.h"

class ImportState {
  public:
    ImportState(gMjMDB& mdb, ImportView& view) : mdb(mdb), view(view) {}

    // ExcelBook, created on first use.
    pClExcel& Book();
    bool HasBook() const { return ExcelBook != nullptr; }

    gMjMDB& mdb;
    ImportView& view;
    std::unique_ptr<pClExcel> ExcelBook;

    std::string ImportPath;  // txtPath, trimmed

    SheetImage SheetData;
    std::int32_t SheetEndRow = -1;
    std::int16_t SheetColumnCount = 0;

    // An import is under way (events are let through between rows).
    bool Running = false;

    std::array<std::int32_t, 2> ImportOkCount{};
    std::array<std::int32_t, 2> ImportNgCount{};
    ImportErrorList Errors;
    // What the last check-only run found besides the rejected rows.
    CheckFindings Findings;
    // The changed rows the F4 import under way found before writing, and
    // what the clerk said about them.
    ChangedRows Changed;
    // The journal entry of the F4 import under way.
    ImportJournal Journal;

    // The billing sheet read ahead during a run. Declared after the book it
    // reads, so that it is waited for before the book goes.
    std::unique_ptr<SheetPrefetch> Prefetch;
};
