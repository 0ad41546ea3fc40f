#pragma once
// The import driver: path check, confirmation, both sheets, summary and error list.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "ImportView.h"
#include "gMjMDB.h"

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
    // The window closes: the kept workbook object is released.
    void Release();

    // Counters and errors of the last run (tests).
    std::int32_t ImportOkCount(int sheetIndex0) const;
    std::int32_t ImportNgCount(int sheetIndex0) const;

  private:
    std::unique_ptr<ImportState> state_;
};

// The summary of both sheets' counts (eight lines, CR LF, none after the last).
std::string ImportSummaryText(const std::array<std::int32_t, 2>& ok,
                              const std::array<std::int32_t, 2>& ng);
