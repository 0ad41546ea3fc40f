#pragma once
// Pieces of the fault tests: a sample database exported into a fee workbook
// whose entry cells are then filled as a clerk would, child processes that
// hold locks, lose privileges or die, and checks of the database file made
// through a connection of their own.

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "ExportFeeData.h"
#include "ImportJob.h"
#include "RecordingJobView.h"
#include "RecordingMessages.h"
#include "SampleData.h"
#include "common/FaultProcess.h"
#include "pClExcel.h"

namespace faulttest {

// ---- views ------------------------------------------------------------------

// Message sink that lets a test act at the moment a box appears (a file
// replaced while the confirmation is on screen, say).
class HookedMessages : public RecordingMessages {
  public:
    MsgAnswer show(const std::string& text, const std::string& title, MsgIcon icon,
                   MsgButtons buttons) override {
        if (onShow)
            onShow(text);
        return RecordingMessages::show(text, title, icon, buttons);
    }
    std::function<void(const std::string&)> onShow;
};

// Import window double with hooks on progress and event pumping.
class FaultImportView : public RecordingJobView<ImportView, HookedMessages> {
  public:
    void setProgress(int value) override {
        RecordingJobView::setProgress(value);
        if (onProgress)
            onProgress(value);
    }
    void pumpEvents() override {
        RecordingJobView::pumpEvents();
        if (onPump)
            onPump(phase);
    }

    std::function<void(int)> onProgress;
    std::function<void(const std::string&)> onPump;
};

using FaultExportView = RecordingJobView<ExportView, HookedMessages>;

inline const std::string kContractPhase = "（契約内訳情報）Excelデータ取込中・・・";
inline const std::string kBillingPhase = "（請求情報）Excelデータ取込中・・・";

// ---- database checks through a connection of their own ------------------------

// Every row of a table, in rowid order, as one text (the content's fingerprint).
inline std::string TableContent(const std::string& dbPath, const std::string& table) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return "<cannot open>";
    }
    sqlite3_busy_timeout(db, 10000);
    sqlite3_stmt* st = nullptr;
    const std::string sql = "SELECT * FROM \"" + table + "\" ORDER BY rowid";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                out += t ? reinterpret_cast<const char*>(t) : "<null>";
                out += '|';
            }
            out += '\n';
        }
        if (rc != SQLITE_DONE)
            out += "<error " + std::to_string(rc) + ">";
    } else {
        out = "<cannot prepare>";
    }
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
    return out;
}

inline std::string Pragma(const std::string& dbPath, const std::string& name) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        const std::string sql = "PRAGMA " + name;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW) {
            out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close_v2(db);
    return out;
}

// Opening read-write makes SQLite roll back a hot journal left by a process
// that died in a transaction, as the next program to open the file would.
inline std::string IntegrityCheck(const std::string& dbPath) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW)
                out += reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close_v2(db);
    return out;
}

// ---- the fee workbook -------------------------------------------------------

// The departments a clerk moves to the exported side in the sample database:
// every department that bills from contracts except the two sibling
// departments of コントロールマスタ, and every one-off department.
inline ExportRequest SampleRequest(const std::string& output) {
    ExportRequest request;
    request.ContractEndYearMonth = 0;
    request.outputPath = output;
    request.contractFilter =
        " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 2 Or 部門マスタ.部門コード = 3 "
        "Or 部門マスタ.部門コード = 7) ";
    request.oneOffFilter =
        " AND (部門マスタ.部門コード = 4 Or 部門マスタ.部門コード = 5 Or 部門マスタ.部門コード = "
        "6) ";
    return request;
}

// One revised amount the import is to store.
struct Change {
    std::string table;  // 浄化槽契約内訳マスタ or 浄化槽請求テーブル
    std::int64_t code = 0;
    std::int64_t line = 0;
    std::string column;
    double value = 0;
};

inline double CellNumber(const xls::CellValue& v) {
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* s = std::get_if<std::string>(&v))
        return std::atof(s->c_str());
    return 0;
}

// Fills the entry cells of every data row of an exported workbook and saves
// it: a new 年間金額 on sheet 1, April and December on sheet 2 (December 0,
// which also clears its billing flag). Returns the changes the import must
// store.
inline std::vector<Change> FillEntries(const std::string& xlsPath) {
    RecordingMessages quiet;
    pClExcel excel(quiet);
    std::vector<Change> changes;
    if (!excel.OpenBook(xlsPath))
        return changes;
    for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
        excel.ChangeSheets(pClExcel::SheetRef{static_cast<std::int32_t>(sheet)});
        std::int32_t last = 0;
        std::int16_t lastColumn = 0;
        excel.GetRowColCount(last, lastColumn);
        if (last < 3)
            continue;
        pClExcel::Variant block;
        excel.GetRangeValue(3, 1, last, 13, block);
        const auto& rows = std::get<xls::Array2D>(block);
        for (std::int32_t r = 1; r <= rows.rows; ++r) {
            const std::int32_t row = r + 2;
            const auto code = static_cast<std::int64_t>(CellNumber(rows.at(r, 1)));
            const auto line = static_cast<std::int64_t>(CellNumber(rows.at(r, 11)));
            if (code == 0)
                continue;
            if (sheet == 1) {
                const double annual = 700000 + row;
                excel.SetCellValue(row, 17, annual);
                changes.push_back({"浄化槽契約内訳マスタ", code, line, "年間金額", annual});
            } else {
                const double april = 500000 + row;
                excel.SetCellValue(row, 29, april);
                excel.SetCellValue(row, 37, 0.0);
                changes.push_back({"浄化槽請求テーブル", code, line, "請求金額４", april});
                changes.push_back({"浄化槽請求テーブル", code, line, "請求フラグ４", 1});
                changes.push_back({"浄化槽請求テーブル", code, line, "請求金額１２", 0});
                changes.push_back({"浄化槽請求テーブル", code, line, "請求フラグ１２", 0});
            }
        }
    }
    if (!excel.BookSave(xlsPath, false))
        changes.clear();
    return changes;
}

// How many of `changes` of `table` (all tables when empty) the database holds.
inline long CountStored(const std::string& dbPath, const std::vector<Change>& changes,
                        const std::string& table = "") {
    sqlite3* db = nullptr;
    long stored = 0;
    if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        for (const Change& c : changes) {
            if (!table.empty() && c.table != table)
                continue;
            const std::string sql = "SELECT \"" + c.column + "\" FROM \"" + c.table +
                                    "\" WHERE 得意先コード = ? AND ＩＤ = ?";
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
                sqlite3_bind_int64(st, 1, c.code);
                sqlite3_bind_int64(st, 2, c.line);
                if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL &&
                    sqlite3_column_double(st, 0) == c.value) {
                    ++stored;
                }
            }
            sqlite3_finalize(st);
        }
    }
    sqlite3_close_v2(db);
    return stored;
}

inline long CountOf(const std::vector<Change>& changes, const std::string& table) {
    return static_cast<long>(std::count_if(changes.begin(), changes.end(),
                                           [&](const Change& c) { return c.table == table; }));
}

// A sample database and the fee workbook exported from it with every entry
// filled. `base` is never imported into: each case copies it.
struct SampleBook {
    explicit SampleBook(int customers = 120) {
        base = folder.file("base.db");
        book = folder.file("fee.xls");
        SampleOptions options;
        options.customers = customers;
        CreateSampleDatabase(base, options);
        {
            Database db(base, false);
            FaultExportView view;
            bool expansion = CheckExpansionTable(&db);
            exported = ExportFeeData(&db, SampleRequest(book), expansion, view);
        }
        changes = FillEntries(book);
        contractRows = CountOf(changes, "浄化槽契約内訳マスタ");
        billingRows = CountOf(changes, "浄化槽請求テーブル") / 4;
        originalContract = TableContent(base, "浄化槽契約内訳マスタ");
        originalBilling = TableContent(base, "浄化槽請求テーブル");
    }
    // A fresh copy of the base database.
    std::string copy(const std::string& name) const {
        const std::string path = folder.file(name);
        std::filesystem::copy_file(base, path, std::filesystem::copy_options::overwrite_existing);
        return path;
    }

    Folder folder;
    std::string base;
    std::string book;
    bool exported = false;
    std::vector<Change> changes;
    long contractRows = 0;
    long billingRows = 0;
    std::string originalContract;
    std::string originalBilling;
};

}  // namespace faulttest
