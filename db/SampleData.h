#pragma once
// Deterministic sample septic-tank database for the demo, the tests and the
// benchmarks. The same options always give the same content, on every
// machine and library (own random generator, no std distributions).
//
// What the data holds, per customer on average: about 2 contract lines
// (1 to 3) and 1.5 billing lines (1 or 2). Departments 1, 2, 3, 7, 11 and 12
// create billing data from contracts (請求データ作成区分 > 0), 4, 5 and 6 do
// not; 11 and 12 are the sibling departments named in コントロールマスタ
// (row コード 1, 西・和暦区分 1). About 45 % of the contracts have no end
// date; the others end in every month of 2019 to 2027. Some installations
// are abolished, some billing lines bill nothing, some customers lack a
// 浄化槽基本マスタ, 顧客マスタ or 契約請求マスタ row, and about 5 % are in
// 浄化槽請求展開テーブル.
//
// Export rows with every eligible department chosen (see CountExportRows):
// for the year-month 0 about 0.91 contract rows and 0.40 billing rows per
// customer; for 202403 about 0.95 and 0.42. For a sheet of an exact size
// (65,533 data rows fill a sheet) set exportRowsPerSheet instead of guessing
// the number of customers.

#include <cstdint>
#include <string>

#include "Database.h"

struct SampleOptions {
    int customers = 1000;
    std::uint32_t seed = 1;
    bool expansionTable = true;
    bool overwrite = false;  // replace an existing file
    // When above 0: customers are added until an export for the year-month 0
    // with every eligible department writes exactly this many rows on each
    // sheet (lines that would exceed it are left out); `customers` then only
    // decides where the ten-digit codes start.
    long exportRowsPerSheet = 0;
};

// Creates the database file at `path` (never half-written; refuses an
// existing file unless options.overwrite). Throws PlatformError.
void CreateSampleDatabase(const std::string& path, const SampleOptions& options);

// Fills an open database that already holds the empty tables.
void FillSampleData(Database& db, const SampleOptions& options);

struct ExportRowCounts {
    long contractRows = 0;  // rows of the sheet 契約内訳情報
    long billingRows = 0;   // rows of the sheet 請求情報
};

// The rows an export with every eligible department selected (sibling
// departments of コントロールマスタ left out) writes for the contract-end
// year-month `yearMonth` (yyyymm, 0 for none).
ExportRowCounts CountExportRows(Database& db, int yearMonth);
