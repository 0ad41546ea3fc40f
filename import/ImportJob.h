#pragma once
// The import driver: path check, confirmation, both sheets, summary and error list.

#include <cstdint>
#include <memory>
#include <string>

#include "JobView.h"
#include "gMjMDB.h"

class ImportView : public JobView {
  public:
    // setBusy(true) locks the window (disabled, bar hidden, FrameData1/2 disabled).
    virtual void setErrorListVisible(bool visible) = 0;  // FrameData3
    virtual void clearErrorList() = 0;                   // List1 (0)
    virtual void addErrorLine(const std::string& line) = 0;
};

class ImportState;

class ImportJob {
  public:
    ImportJob(gMjMDB& mdb, ImportView& view);
    ~ImportJob();
    ImportJob(const ImportJob&) = delete;
    ImportJob& operator=(const ImportJob&) = delete;

    // F4: steps 1 to 8 with the text of txtPath. Returns after the last message.
    void RunImport(const std::string& txtPath);
    // Window unload: Class_Terminate of the kept workbook object.
    void Release();

    // Counters and errors of the last run (tests).
    std::int32_t ImportOkCount(int sheetIndex0) const;
    std::int32_t ImportNgCount(int sheetIndex0) const;

  private:
    std::unique_ptr<ImportState> state_;
};
