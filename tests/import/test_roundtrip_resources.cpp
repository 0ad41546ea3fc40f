// Twenty exports and imports in one process, as a clerk working through a
// day without closing the windows: no file descriptor, database connection,
// statement or workbook engine is left behind, and memory stays flat.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>

#include "FaultTestSupport.h"
#include "ImportJob.h"
#include "gMjMDB.h"

using namespace faulttest;

namespace {

long OpenDescriptors() {
    long n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// Resident memory in KiB.
long ResidentKiB() {
    long size = 0;
    long resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

struct Usage {
    long descriptors;
    long residentKiB;
    sqlite3_int64 sqliteBytes;
};

Usage Now() {
    sqlite3_int64 current = 0;
    sqlite3_int64 high = 0;
    sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &current, &high, 0);
    return {OpenDescriptors(), ResidentKiB(), current};
}

}  // namespace

TEST(RoundTripResources, TwentyExportsAndImportsLeaveNothingBehind) {
    Folder folder;
    const std::string db = folder.file("septic.db");
    SampleOptions options;
    options.customers = 400;
    CreateSampleDatabase(db, options);

    // The windows' lifetimes: one connection module each, the import's
    // workbook object kept between runs.
    FaultExportView exportView;
    gMjMDB exportDb(exportView.recorded);
    FaultImportView importView;
    gMjMDB importDb(importView.recorded);
    ImportJob job(importDb, importView);

    long rowsImported = 0;
    int roundsStored = 0;
    const auto round = [&](int n) {
        // Choosing the database again reopens it without closing first.
        ASSERT_EQ(exportDb.OpenMdb(0, db, false), 0);
        ASSERT_EQ(importDb.OpenMdb(0, db, false), 0);
        const std::string book = folder.file("fee" + std::to_string(n) + ".xls");
        bool expansion = CheckExpansionTable(exportDb.gDatabase());
        ASSERT_TRUE(
            ExportFeeData(exportDb.gDbObject(), SampleRequest(book), expansion, exportView));
        const std::vector<Change> changes = FillEntries(book);
        ASSERT_FALSE(changes.empty());
        importView.recorded.clear();
        job.RunImport(book);
        ASSERT_EQ(importView.texts().size(), 2u);
        ASSERT_EQ(importView.texts()[1].rfind("浄化槽金額データの取込が完了しました", 0), 0u);
        rowsImported += job.ImportOkCount(0) + job.ImportOkCount(1);
        if (CountStored(db, changes) == static_cast<long>(changes.size()))
            ++roundsStored;
        std::filesystem::remove(book);
    };

    // Two rounds first: caches, the engine's tables and the allocator settle.
    round(0);
    round(1);
    const Usage before = Now();
    for (int n = 2; n < 20; ++n) {
        round(n);
        if (HasFatalFailure())
            return;
    }
    const Usage after = Now();
    EXPECT_EQ(roundsStored, 20);
    EXPECT_GT(rowsImported, 20 * 300);

    EXPECT_EQ(after.descriptors, before.descriptors);
    // SQLite's own heap: prepared statements and connections left open
    // would grow it round after round.
    EXPECT_LT(after.sqliteBytes, before.sqliteBytes + 256 * 1024)
        << before.sqliteBytes << " -> " << after.sqliteBytes;
    // Generous: eighteen rounds of a few hundred rows each would leak far
    // more than this if any sheet image or workbook stayed behind. Under
    // AddressSanitizer freed memory sits in its quarantine and the resident
    // size says nothing; LeakSanitizer checks that build instead.
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(after.residentKiB, before.residentKiB + 16 * 1024)
        << before.residentKiB << " KiB -> " << after.residentKiB << " KiB";
#endif
    std::printf("[ usage   ] fds %ld -> %ld, rss %ld -> %ld KiB, sqlite heap %lld -> %lld\n",
                before.descriptors, after.descriptors, before.residentKiB, after.residentKiB,
                static_cast<long long>(before.sqliteBytes),
                static_cast<long long>(after.sqliteBytes));

    job.Release();
    exportDb.CloseDatabase();
    importDb.CloseDatabase();
    // Closing both connections gives their descriptors back.
    EXPECT_EQ(Now().descriptors, before.descriptors - 2);
}
