// Import of a full fee workbook: 65,533 contract lines and 65,533 billing
// lines, every one with revised amounts, into a generated database whose
// keys match. Prints the time to read, check and write each sheet, the whole
// run through the driver, and the peak memory of the import.
//
// Usage: bench_import [work folder [rounds [on|off]]]   (default: a fresh
// temporary folder, 3 rounds of the whole import, each on a fresh copy of the
// database). With on or off, the whole import alone, with or without the
// check of rows changed after the export: for a profiler such as callgrind,
// or runs of both alternated.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Database.h"
#include "ImportBenchData.h"
#include "ImportJob.h"
#include "ImportState.h"
#include "ProcessTime.h"
#include "ReadSheet.h"
#include "RecordingJobView.h"
#include "RecordingMessages.h"
#include "RowRules.h"
#include "SampleData.h"
#include "UpdateFromSheet.h"
#include "gMjMDB.h"
#include "pClExcel.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    }
    return -1;
}

// Lets the peak resident size start again from the current size.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace

int main(int argc, char** argv) {
    BenchFolder work;
    if (!OpenBenchFolder(argc, argv, "velkan-bench-import", work))
        return 1;
    const std::string dbPath = work.database();
    const std::string bookPath = work.book();
    std::printf("workbook %.1f MB, database %.1f MB\n",
                static_cast<double>(std::filesystem::file_size(bookPath)) / 1e6,
                static_cast<double>(std::filesystem::file_size(dbPath)) / 1e6);

    // The whole import runs on copies of the database as prepared, so that
    // it finds the amounts the workbook shows (the phases below change them),
    // kept beside it from the first run in the folder on.
    const std::string pristine = work.path + "/pristine.db";
    const std::string copy = work.path + "/copy.db";
    if (!std::filesystem::exists(pristine))
        std::filesystem::copy_file(dbPath, pristine);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::string changedRowsCheck = argc > 3 ? argv[3] : "";
    if (!changedRowsCheck.empty() && changedRowsCheck != "on" && changedRowsCheck != "off") {
        std::fprintf(stderr, "the check of changed rows is on or off\n");
        return 2;
    }

    RecordingMessages dbMessages;
    gMjMDB mdb(dbMessages);
    if (mdb.OpenMdb(0, dbPath, false) != 0)
        return 1;
    ResetPeak();
    const long baseKb = StatusKb("VmRSS");

    // Phase by phase through the real procedures.
    if (changedRowsCheck.empty()) {
        QuietJobView<ImportView> view;
        ImportState state(mdb, view);
        state.ImportPath = bookPath;
        for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
            auto t = std::chrono::steady_clock::now();
            double c = ProcessCpuSeconds();
            if (!ReadSheet(state, sheet))
                return 1;
            const double read = Seconds(t);
            const double readCpu = ProcessCpuSeconds() - c;

            // The row rules alone, over the same image.
            t = std::chrono::steady_clock::now();
            c = ProcessCpuSeconds();
            ImportErrorList scratch;
            long counted = 0;
            for (std::int32_t row = rowrules::kFirstDataRow; row <= state.SheetEndRow; ++row) {
                if (!rowrules::RowHasData(state.SheetData, row, rowrules::SheetColumns(sheet)) ||
                    !rowrules::RowHasRevision(state.SheetData, sheet, row)) {
                    continue;
                }
                Currency code;
                if (rowrules::CheckCustomerCode(state.SheetData, sheet, row, scratch, code) &&
                    rowrules::CheckRevisedAmounts(state.SheetData, sheet, row, code, scratch)) {
                    ++counted;
                }
            }
            const double check = Seconds(t);
            const double checkCpu = ProcessCpuSeconds() - c;

            t = std::chrono::steady_clock::now();
            c = ProcessCpuSeconds();
            if (!UpdateFromSheet(state, sheet))
                return 1;
            const double update = Seconds(t);
            const double updateCpu = ProcessCpuSeconds() - c;
            std::printf(
                "sheet %d: %d rows; read %.3f s (cpu %.3f), check %.3f s (cpu %.3f; %ld pass), "
                "check+write %.3f s (cpu %.3f); OK %d, NG %d\n",
                sheet, state.SheetEndRow - 2, read, readCpu, check, checkCpu, counted, update,
                updateCpu, state.ImportOkCount[static_cast<std::size_t>(sheet - 1)],
                state.ImportNgCount[static_cast<std::size_t>(sheet - 1)]);
            state.SheetData.clear();
        }
    }
    std::printf("peak memory of the phases: %.1f MB (resident before: %.1f MB)\n",
                static_cast<double>(StatusKb("VmHWM")) / 1024.0,
                static_cast<double>(baseKb) / 1024.0);

    mdb.CloseDatabase();

    // The whole run through the driver, as F4 does it, on a fresh copy each round.
    ResetPeak();
    std::vector<double> totals;
    for (int round = 0; round < rounds; ++round) {
        std::filesystem::copy_file(pristine, copy,
                                   std::filesystem::copy_options::overwrite_existing);
        if (mdb.OpenMdb(0, copy, false) != 0)
            return 1;
        QuietJobView<ImportView> view;
        ImportJob job(mdb, view);
        job.SetChangedRowsCheckEnabled(changedRowsCheck != "off");
        const auto t = std::chrono::steady_clock::now();
        const double c = ProcessCpuSeconds();
        job.RunImport(bookPath);
        const double total = Seconds(t);
        const double totalCpu = ProcessCpuSeconds() - c;
        totals.push_back(total);
        std::printf("whole import: %.3f s (cpu %.3f); OK %d + %d, NG %d + %d, %ld error lines\n",
                    total, totalCpu, job.ImportOkCount(0), job.ImportOkCount(1),
                    job.ImportNgCount(0), job.ImportNgCount(1), view.errorLinesAdded);
        if (round == 0) {
            for (const std::string& text : view.texts())
                std::printf("  message: %s\n", text.substr(0, text.find('\r')).c_str());
        }
        job.Release();
        mdb.CloseDatabase();
    }
    std::sort(totals.begin(), totals.end());
    std::printf("whole import, median of %d: %.3f s (%.3f .. %.3f)\n", rounds,
                totals[totals.size() / 2], totals.front(), totals.back());
    std::printf("peak memory of the whole import: %.1f MB\n",
                static_cast<double>(StatusKb("VmHWM")) / 1024.0);
    std::filesystem::remove(copy);
    return 0;
}
