#pragma once
// The export job: contract-breakdown and billing amounts into a new fee workbook.

#include <cstdint>
#include <string>

#include "Database.h"
#include "JobView.h"

// What the job reads from the export window.
struct ExportRequest {
    std::int32_t ContractEndYearMonth = 0;  // TaviDate1(0), yyyymm, 0 when empty
    std::string outputPath;                 // TaviText1(0), as typed (the job trims it)
    std::string contractFilter;             // TargetDepartmentFilter over SelectList(1, 1)
    std::string oneOffFilter;               // TargetDepartmentFilter over SelectList(2, 1)
};

class ExportView : public JobView {
  public:
    // The job moves the input focus to TaviDate1(1) when it starts.
    virtual void focusAtJobStart() = 0;
};

// Whether the database has the table 浄化槽請求展開テーブル (exact name).
bool CheckExpansionTable(const Database* gDatabase);

// Runs the whole job; true when the workbook was saved or there was nothing
// to export. `ExpansionMode` is set by the pre-check and may be cleared here.
bool ExportFeeData(Database* gDbObject, const ExportRequest& request, bool& ExpansionMode,
                   ExportView& view);
