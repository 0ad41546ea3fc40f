// Second half of the export job: the sheet "請求情報".

#include <string>

#include "BillingQuery.h"
#include "ExportJob.h"
#include "FeeEntryValidation.h"
#include "FeeWorkbookLayout.h"
#include "FindExpandedCustomer.h"
#include "RecordsetMove.h"
#include "SheetWriteCheck.h"
#include "WriteBillingRow.h"

using namespace feebook;

namespace {

// "#,##0" on the twelve current and the twelve revised months, whole columns.
void SetBillingNumberFormats(pClExcel& excel) {
    RequireWritten(excel.SetCellFormat(0, kBillingAmountFirst, 0, kBillingColumns, kAmountFormat,
                                       kRangeColumns),
                   kBillingSheet, 0, kBillingAmountFirst);
}

// Borders over the data and unlocked entry cells, both reaching the expansion
// column; the yellow and the entry rules stay on the twelve revised months.
void FormatBillingDataArea(pClExcel& excel, std::int32_t lastRow, bool ExpansionMode) {
    const std::int16_t lastColumn = ExpansionMode ? kExpansionColumn : kBillingColumns;
    RequireWritten(excel.SetCellBackColor(kFirstDataRow, kBillingEntryFirst, lastRow,
                                          kBillingColumns, kEntryColor, kRangeCells),
                   kBillingSheet, lastRow, kBillingColumns);
    RequireWritten(excel.SetCellLineStyle(kFirstDataRow, 1, lastRow, lastColumn, kThinLine,
                                          kThinLine, kThinLine, kThinLine, kThinLine, kThinLine,
                                          kRangeCells, kThinWeight),
                   kBillingSheet, lastRow, lastColumn);
    RequireWritten(excel.SetCellLocked(kFirstDataRow, kBillingEntryFirst, lastRow, lastColumn,
                                       false, kRangeCells),
                   kBillingSheet, lastRow, lastColumn);
    SetBillingEntryRules(excel, lastRow);
}

}  // namespace

bool ExportBillingSheet(ExportJob& job) {
    ExportView& view = job.view;
    const std::string sql = BillingQuery(job.ContractEndMonth, job.request.ContractEndYearMonth,
                                         job.request.contractFilter, job.ExpansionMode);

    std::int32_t err = 0;
    if (job.billingPrefetch)
        job.BillingRecordset = job.billingPrefetch->Take(sql);
    if (!job.BillingRecordset) {
        job.BillingRecordset = std::make_unique<RecordsetHelper>();
        job.BillingRecordset->Open(job.gDbObject, sql, 0, err);
    }
    RecordsetHelper& records = *job.BillingRecordset;
    if (err != 0) {
        view.messages().warn("ファイルがオープンできません(請求情報)");
        return false;
    }
    MoveRecord(records, "MOVELAST");
    records.Count(job.billingCount);
    MoveRecord(records, "MOVEFIRST");
    CheckRowLimit(job.billingCount, kBillingSheet);
    // The expansion column appears only when an exported customer needs it.
    job.ExpansionMode = job.ExpansionMode && job.billingCount >= 1 && FindExpandedCustomer(records);

    view.setProgress(0);
    view.setPhase(kPhaseBilling);
    view.pumpEvents();
    pClExcel& excel = *job.excel;
    if (!excel.NewSheets(kBillingSheet))
        return false;
    std::int32_t row = 1;

    if (job.billingCount < 1) {
        WriteBillingHeader(excel, row, job.ExpansionMode);
    } else {
        SetBillingNumberFormats(excel);
        std::int32_t written = 0;
        while (!records.BOF() && !records.IsEOF()) {
            WriteBillingRow(excel, records, row, job.ExpansionMode);
            ++written;
            view.setProgress(ProgressValue(written, job.billingCount));
            MoveRecord(records, "MOVENEXT");
            view.pumpEvents();
        }
        FormatBillingDataArea(excel, row - 1, job.ExpansionMode);
    }
    // Every record is in the sheet. Freeing the rows and closing the second
    // connection took tens of milliseconds on the two-core test machine: they
    // overlap the save.
    ReleaseLater(job, [records = std::move(job.BillingRecordset),
                       prefetch = std::move(job.billingPrefetch)]() mutable {
        records.reset();  // before the connection it reads through
        prefetch.reset();
    });
    return true;
}
