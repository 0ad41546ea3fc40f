// The export job as a whole: window state, the two sheets, saving, messages
// and the clean-up that runs whatever happened.

#include "ExportFeeData.h"

#include <cmath>
#include <exception>

#include "BillingQuery.h"
#include "ExportJob.h"
#include "PlatformError.h"
#include "gMjDisp.h"

namespace {

// Returns the window to idle and releases the record sets and the workbook
// engine (an unsaved workbook is discarded), also when the job fails.
class JobCleanup {
  public:
    explicit JobCleanup(ExportJob& job) : job_(job) {}
    ~JobCleanup() {
        ExportView& view = job_.view;
        view.setProgress(0);
        view.setProgressVisible(false);
        view.setPhase("");
        view.setPhaseVisible(false);
        view.setBusy(false);
        job_.ContractRecordset.reset();
        job_.BillingRecordset.reset();
        job_.excel.reset();
    }
    JobCleanup(const JobCleanup&) = delete;
    JobCleanup& operator=(const JobCleanup&) = delete;

  private:
    ExportJob& job_;
};

bool RunExport(ExportJob& job) {
    ExportView& view = job.view;
    view.focusAtJobStart();
    view.setBusy(true);
    view.setProgress(0);
    view.setProgressVisible(true);
    view.setPhase(kPhaseExtracting);
    view.setPhaseVisible(true);
    job.ContractEndMonth = static_cast<std::int16_t>(
        static_cast<std::int32_t>(std::lround(job.request.ContractEndYearMonth)) % 100);
    if (job.gDbObject != nullptr) {
        job.billingPrefetch = std::make_unique<BillingPrefetch>(
            *job.gDbObject, BillingQuery(job.ContractEndMonth, job.request.ContractEndYearMonth,
                                         job.request.contractFilter, job.ExpansionMode));
    }

    if (!ExportContractSheet(job))
        return false;
    if (!ExportBillingSheet(job))
        return false;

    if (job.contractCount != 0 || job.billingCount != 0) {
        // The wrapper reports a failed save (and a declined overwrite) itself.
        if (!job.excel->BookSave(gMjDisp::Trim(job.request.outputPath), true))
            return false;
    } else {
        view.messages().inform("該当するデータが存在しません");
    }
    view.setProgress(10000);
    return true;
}

}  // namespace

bool CheckExpansionTable(const Database* gDatabase) {
    return gDatabase != nullptr && gDatabase->hasTable("浄化槽請求展開テーブル");
}

bool ExportFeeData(Database* gDbObject, const ExportRequest& request, bool& ExpansionMode,
                   ExportView& view) {
    ExportJob job{gDbObject, request, ExpansionMode, view};
    JobCleanup cleanup(job);
    try {
        return RunExport(job);
    } catch (const PlatformError& error) {
        view.messages().warn(error.description());
    } catch (const std::exception& error) {
        view.messages().warn(error.what());
    }
    return false;
}
