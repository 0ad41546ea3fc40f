#pragma once
// State of one run of ExportFeeData, shared by its two halves (the sheets
// "契約内訳情報" and "請求情報"). Everything it owns is released with it.

#include <cstdint>
#include <memory>
#include <system_error>
#include <thread>

#include "BillingPrefetch.h"
#include "ExportFeeData.h"
#include "RecordsetHelper.h"
#include "pClExcel.h"

struct ExportJob {
    ExportJob(Database* db, const ExportRequest& req, bool& mode, ExportView& v)
        : gDbObject(db), request(req), ExpansionMode(mode), view(v) {}

    Database* gDbObject;
    const ExportRequest& request;
    bool& ExpansionMode;
    ExportView& view;

    // Frees what the job no longer needs while it goes on; joined when the
    // job ends, whatever the way out (declared first, so destroyed last).
    std::jthread disposal;
    std::int16_t ContractEndMonth = 0;
    // Declared before the record sets: the billing record set may read through its connection.
    std::unique_ptr<BillingPrefetch> billingPrefetch;
    std::unique_ptr<RecordsetHelper> ContractRecordset;
    std::unique_ptr<RecordsetHelper> BillingRecordset;
    std::unique_ptr<pClExcel> excel;
    std::int32_t contractCount = 0;
    std::int32_t billingCount = 0;
};

// Runs `release` (a callable owning what the job no longer needs) on the
// job's second thread, after what that thread was doing; here when no thread
// can be had (the failed thread's copy has then freed it already).
template <typename Release>
void ReleaseLater(ExportJob& job, Release release) {
    try {
        job.disposal = std::jthread(std::move(release));
    } catch (const std::system_error&) {
        release();
    }
}

// The phase texts of the progress label.
inline constexpr const char* kPhaseExtracting = "Excelデータ抽出中・・・";
inline constexpr const char* kPhaseContract = "（契約内訳情報）Excelデータ出力中・・・";
inline constexpr const char* kPhaseBilling = "（請求情報）Excelデータ出力中・・・";

// Progress of `written` records of `count`, on the bar's scale 0..10000.
int ProgressValue(std::int32_t written, std::int32_t count);

// The two halves. Each returns false after an open failure (its message
// shown); runtime errors throw.
bool ExportContractSheet(ExportJob& job);
bool ExportBillingSheet(ExportJob& job);
