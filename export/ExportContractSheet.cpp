// First half of the export job: the sheet "契約内訳情報".

#include <string>

#include "ContractBreakdownQuery.h"
#include "ExportJob.h"
#include "FeeEntryValidation.h"
#include "FeeWorkbookLayout.h"
#include "RecordsetMove.h"
#include "SheetWriteCheck.h"
#include "WriteContractRow.h"

using namespace feebook;

int ProgressValue(std::int32_t written, std::int32_t count) {
    if (count <= 0)
        return 0;
    return static_cast<int>(static_cast<std::int64_t>(written) * 10000 / count);
}

namespace {

// Number formats on whole columns, before the first data row (header rows included).
void SetContractNumberFormats(pClExcel& excel) {
    for (std::int16_t column : {14, 16, 17, 19}) {
        RequireWritten(excel.SetCellFormat(0, column, 0, column, kAmountFormat, kRangeColumns),
                       kContractSheet, 0, column);
    }
}

// Borders over the data, yellow unlocked entry cells that refuse what the
// import would reject.
void FormatContractDataArea(pClExcel& excel, std::int32_t lastRow) {
    RequireWritten(excel.SetCellBackColor(kFirstDataRow, kContractEntryFirst, lastRow,
                                          kContractColumns, kEntryColor, kRangeCells),
                   kContractSheet, lastRow, kContractColumns);
    RequireWritten(excel.SetCellLineStyle(kFirstDataRow, 1, lastRow, kContractColumns, kThinLine,
                                          kThinLine, kThinLine, kThinLine, kThinLine, kThinLine,
                                          kRangeCells, kThinWeight),
                   kContractSheet, lastRow, kContractColumns);
    RequireWritten(excel.SetCellLocked(kFirstDataRow, kContractEntryFirst, lastRow,
                                       kContractColumns, false, kRangeCells),
                   kContractSheet, lastRow, kContractColumns);
    SetContractEntryRules(excel, lastRow);
}

}  // namespace

bool ExportContractSheet(ExportJob& job) {
    ExportView& view = job.view;
    const std::string sql =
        ContractBreakdownQuery(job.ContractEndMonth, job.request.ContractEndYearMonth,
                               job.request.contractFilter, job.request.oneOffFilter);

    job.ContractRecordset = std::make_unique<RecordsetHelper>();
    RecordsetHelper& records = *job.ContractRecordset;
    std::int32_t err = 0;
    records.Open(job.gDbObject, sql, 0, err);
    if (err != 0) {
        view.messages().warn("ファイルがオープンできません(契約内訳情報)");
        return false;
    }
    MoveRecord(records, "MOVELAST");
    records.Count(job.contractCount);
    MoveRecord(records, "MOVEFIRST");
    // Refuse before anything is written rather than part-way through.
    CheckRowLimit(job.contractCount, kContractSheet);

    view.setProgress(0);
    view.setPhase(kPhaseContract);
    view.pumpEvents();

    job.excel = std::make_unique<pClExcel>(view.messages());
    pClExcel& excel = *job.excel;
    if (!excel.NewBook(kContractSheet))
        return false;  // the wrapper has reported why
    std::int32_t row = 1;

    if (job.contractCount > 0) {
        SetContractNumberFormats(excel);
        std::int32_t written = 0;
        while (!records.BOF() && !records.IsEOF()) {
            WriteContractRow(excel, records, row);
            ++written;
            view.setProgress(ProgressValue(written, job.contractCount));
            MoveRecord(records, "MOVENEXT");
            view.pumpEvents();
        }
        FormatContractDataArea(excel, row - 1);
    } else {
        WriteContractHeader(excel, row);
    }
    view.setProgress(10000);
    // Every record is in the sheet: the memory goes to the billing sheet
    // instead. Freed here, not on another thread: the second core may still be
    // reading the billing query.
    job.ContractRecordset.reset();
    return true;
}
