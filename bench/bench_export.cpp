// The export job on a sheet-filling database: exactly 65,533 contract lines
// and 65,533 billing records (the most a sheet holds). Prints the time of the
// queries, of filling each sheet and of the save, and the peak memory.
//
// Usage: bench_export [customers [database [workbook]]]
//   customers: default 160000 (the sample generator needs about 155,000
//              customers for 65,533 rows on each sheet);
//   database:  a file to reuse (built there and kept when it does not exist),
//              so that a profiler sees the export alone;
//   workbook:  where the exported workbook is kept (by default it is
//              written to a temporary folder and removed).

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "BillingQuery.h"
#include "ContractBreakdownQuery.h"
#include "Database.h"
#include "ExportFeeData.h"
#include "ExportedRows.h"
#include "LargePages.h"
#include "RecordingJobView.h"
#include "RecordsetHelper.h"
#include "SampleData.h"
#include "SheetWriteCheck.h"

namespace {

using Clock = std::chrono::steady_clock;

// Wall time and the process's CPU time: on a shared machine the second is
// the steadier figure.
struct Stamp {
    Clock::time_point wall;
    double cpu;
    static Stamp now() {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return {Clock::now(),
                static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9};
    }
};

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

void PrintSpan(const char* what, const Stamp& from, const Stamp& to) {
    std::printf("%-32s %7.3f s wall %7.3f s CPU\n", what, Seconds(from.wall, to.wall),
                to.cpu - from.cpu);
}

constexpr std::int32_t kYearMonth = 202403;
const std::string kContractFilter =
    " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 2 Or 部門マスタ.部門コード = 3 Or "
    "部門マスタ.部門コード = 7) ";
const std::string kOneOffFilter =
    " AND (部門マスタ.部門コード = 4 Or 部門マスタ.部門コード = 5 Or 部門マスタ.部門コード = 6) ";

void BuildDatabase(const std::string& path, int customers) {
    SampleOptions options;
    options.customers = customers;
    options.expansionTable = true;
    CreateSampleDatabase(path, options);
    Database db(path, false);
    const auto keep = static_cast<std::size_t>(kMaxDataRows);
    const std::size_t contract = TrimTo(
        db, "浄化槽契約内訳マスタ",
        ContractBreakdownQuery(kYearMonth % 100, kYearMonth, kContractFilter, kOneOffFilter), keep);
    const std::size_t billing =
        TrimTo(db, "浄化槽請求テーブル",
               BillingQuery(kYearMonth % 100, kYearMonth, kContractFilter, true), keep);
    if (contract != keep || billing != keep) {
        std::fprintf(stderr, "only %zu contract and %zu billing rows: give more customers\n",
                     contract, billing);
        std::exit(2);
    }
}

// Notes when each phase begins and when the last record of a sheet was written.
class TimingView : public QuietJobView<ExportView> {
  public:
    void setBusy(bool busy) override {
        QuietJobView::setBusy(busy);
        if (!busy)
            idle = Stamp::now();
    }
    // The last record of a sheet brings the bar to 10000.
    void setProgress(int value) override {
        QuietJobView::setProgress(value);
        if (value == 10000 && !phaseStarts.empty() && lastRecord.size() < phaseStarts.size()) {
            lastRecord.push_back(Stamp::now());
        }
    }
    void setPhase(const std::string& text) override {
        QuietJobView::setPhase(text);
        if (text.empty())
            return;
        phaseStarts.push_back(Stamp::now());
        if (lastRecord.size() + 1 < phaseStarts.size())
            lastRecord.push_back(phaseStarts.back());
    }

    std::vector<Stamp> phaseStarts, lastRecord;
    Stamp idle;
};

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    // The allocator set up as the programs start, so profiles match them.
    UseLargePages(argv);
    const int customers = argc > 1 ? std::atoi(argv[1]) : 160000;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("velkan-bench-export-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const bool reuse = argc > 2;
    const std::string dbPath = reuse ? std::string(argv[2]) : (dir / "bench.db").string();
    const std::string xlsPath = argc > 3 ? std::string(argv[3]) : (dir / "bench.xls").string();

    // Built in a child so that the generator's memory stays out of the peak.
    if (!reuse || !std::filesystem::exists(dbPath)) {
        const auto g0 = Clock::now();
        const pid_t child = fork();
        if (child == 0) {
            BuildDatabase(dbPath, customers);
            std::_Exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return 1;
        std::printf("database (%d customers, trimmed to %d + %d rows): %.2f s\n", customers,
                    kMaxDataRows, kMaxDataRows, Seconds(g0, Clock::now()));
    }

    Database db(dbPath, false);
    ExportRequest request;
    request.ContractEndYearMonth = kYearMonth;
    request.outputPath = xlsPath;
    request.contractFilter = kContractFilter;
    request.oneOffFilter = kOneOffFilter;
    bool expansionMode = CheckExpansionTable(&db);
    TimingView view;

    const long rssBefore = PeakKilobytes();
    const Stamp t0 = Stamp::now();
    const bool ok = ExportFeeData(&db, request, expansionMode, view);
    const Stamp t1 = Stamp::now();
    if (!ok || view.phaseStarts.size() != 3) {
        std::fprintf(stderr, "export failed:");
        for (const auto& s : view.recorded.shown)
            std::fprintf(stderr, " %s", s.text.c_str());
        std::fprintf(stderr, "\n");
        return 1;
    }
    // phases: [0] extraction, [1] contract sheet, [2] billing sheet.
    std::printf("rows: contract %d, billing %d, ExpansionMode %s, pumps %ld\n", kMaxDataRows,
                kMaxDataRows, expansionMode ? "on" : "off", view.pumps);
    PrintSpan("contract query + count", view.phaseStarts[0], view.phaseStarts[1]);
    PrintSpan("contract sheet fill", view.phaseStarts[1], view.lastRecord[1]);
    PrintSpan("billing query + expansion scan", view.lastRecord[1], view.phaseStarts[2]);
    PrintSpan("billing sheet fill", view.phaseStarts[2], view.lastRecord[2]);
    PrintSpan("data-area format + save", view.lastRecord[2], view.idle);
    PrintSpan("release", view.idle, t1);
    PrintSpan("whole export", t0, t1);
    std::printf("file size: %.1f MB\n",
                static_cast<double>(std::filesystem::file_size(xlsPath)) / 1e6);
    std::printf("peak memory: %.1f MB (before the job %.1f MB)\n",
                static_cast<double>(PeakKilobytes()) / 1024.0,
                static_cast<double>(rssBefore) / 1024.0);

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
