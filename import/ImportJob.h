#pragma once
// The import driver: path check, confirmation, both sheets, summary and error
// list; and the check-only run over the same paths.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "ImportView.h"
#include "gMjMDB.h"

class CheckFindings;
class ImportState;

class ImportJob {
  public:
    ImportJob(gMjMDB& mdb, ImportView& view);
    ~ImportJob();
    ImportJob(const ImportJob&) = delete;
    ImportJob& operator=(const ImportJob&) = delete;

    // F4 with the text of txtPath: checks the path, asks to go ahead, reads,
    // checks and writes back both sheets, then shows the summary and the
    // rejected rows. Returns after the last message.
    void RunImport(const std::string& txtPath);
    // F3: the same path check, then the import's reading, rules and look-ups
    // for both sheets inside one read transaction, writing nothing to the
    // database. Lists the rows F4 would reject, then the rows whose current
    // amounts changed after the export, and offers the marked copy.
    void RunCheck(const std::string& txtPath);
    // The window closes: the kept workbook object is released.
    void Release();

    // Counters and errors of the last run (tests).
    std::int32_t ImportOkCount(int sheetIndex0) const;
    std::int32_t ImportNgCount(int sheetIndex0) const;
    const CheckFindings& Findings() const;
    // Off only to measure what the journal costs (benchmarks).
    void SetJournalEnabled(bool enabled);
    // Off only to measure what the question about changed rows and their
    // compare in the write cost (benchmarks): no row is found changed.
    void SetChangedRowsCheckEnabled(bool enabled);

  private:
    void Run(const std::string& txtPath, bool checkOnly);
    // F4 after the window is locked: reads both sheets and finds their
    // changed rows, asks about them, then writes both sheets. False when the
    // run ended with a message of its own.
    bool ImportBothSheets();
    void ShowImportResult();
    void ShowCheckResult();

    std::unique_ptr<ImportState> state_;
};

// The summary of both sheets' counts (eight lines, CR LF, none after the last).
std::string ImportSummaryText(const std::array<std::int32_t, 2>& ok,
                              const std::array<std::int32_t, 2>& ng);
// The check's summary: the import's with 取込ＯＫ read as 取込可能, then the
// entries that would change a value and the rows whose current amounts
// changed after the export.
// The question about rows whose amounts changed in the database after the export.
std::string ChangedRowsQuestion(std::int32_t rows);
std::string CheckSummaryText(const std::array<std::int32_t, 2>& ok,
                             const std::array<std::int32_t, 2>& ng, std::int32_t changing,
                             std::int32_t stale);
