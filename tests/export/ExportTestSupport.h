#pragma once
// Small septic-tank databases built row by row, the export run headless, and
// the saved workbook read back with the project's reader.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Database.h"
#include "ExportFeeData.h"
#include "RecordingJobView.h"
#include "RecordingMessages.h"
#include "Schema.h"
#include "TempFolder.h"
#include "Workbook.h"
#include "XlsReader.h"

using ExportTempDir = TempFolder;

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A database with the empty tables, filled through the helpers below.
class FeeDatabase {
  public:
    FeeDatabase(const ExportTempDir& dir, bool expansionTable, const std::string& name = "fee.db")
        : path_(dir.file(name)) {
        CreateEmptyDatabase(path_, expansionTable);
        db_ = std::make_unique<Database>(path_, false);
        // Test files need no durability; a sync per insert costs seconds.
        db_->execute("PRAGMA synchronous = OFF");
        db_->execute("PRAGMA journal_mode = MEMORY");
    }
    Database& db() { return *db_; }
    Database* get() { return db_.get(); }

    void department(int code, const std::string& name, int billingKind) {
        exec("INSERT INTO 部門マスタ VALUES (?, ?, ?)",
             {std::int64_t{code}, name, std::int64_t{billingKind}});
    }
    void work(int code, const std::string& name, int department) {
        exec("INSERT INTO 作業マスタ VALUES (?, ?, ?)",
             {std::int64_t{code}, name, std::int64_t{department}});
    }
    void method(int code, const std::string& name) {
        exec("INSERT INTO 処理方式マスタ VALUES (?, ?)", {std::int64_t{code}, name});
    }
    void contractKind(int code, const std::string& name) {
        exec("INSERT INTO 固定契約区分 VALUES (?, ?)", {std::int64_t{code}, name});
    }
    // 浄化槽基本マスタ with its 顧客マスタ row (設置場所ＩＤ 1).
    void customer(std::int64_t code, const std::string& name, int abolished = 0,
                  FieldValue volume = 5.5, FieldValue people = std::int64_t{5}) {
        exec("INSERT INTO 浄化槽基本マスタ VALUES (?, 1, ?, ?, 1, ?)",
             {code, people, volume, std::int64_t{abolished}});
        exec("INSERT INTO 浄化槽顧客マスタ VALUES (?, 1, ?, ?, ?)",
             {code, name, name + "の住所", std::string("0120-000-000")});
    }
    void contract(std::int64_t code, FieldValue start, FieldValue end, int kind = 1) {
        exec("INSERT INTO 浄化槽契約請求マスタ VALUES (?, ?, ?, ?)",
             {code, std::int64_t{kind}, start, end});
    }
    void line(std::int64_t code, std::int64_t id, int work, FieldValue annual = std::int64_t{12000},
              FieldValue visits = std::int64_t{4}, FieldValue perVisit = std::int64_t{3000}) {
        exec("INSERT INTO 浄化槽契約内訳マスタ VALUES (?, ?, ?, ?, ?, ?)",
             {code, id, std::int64_t{work}, annual, visits, perVisit});
    }
    void billing(std::int64_t code, std::int64_t id, int department,
                 const std::array<std::int64_t, 12>& amounts) {
        std::vector<FieldValue> values{code, id, std::int64_t{department}};
        for (int i = 0; i < 12; ++i)
            values.push_back(std::int64_t{1});
        for (auto amount : amounts)
            values.push_back(amount);
        std::string sql = "INSERT INTO 浄化槽請求テーブル VALUES (?";
        for (std::size_t i = 1; i < values.size(); ++i)
            sql += ", ?";
        exec(sql + ")", values);
    }
    void expansion(std::int64_t code, int department) {
        exec("INSERT INTO 浄化槽請求展開テーブル VALUES (?, ?, 100)",
             {code, std::int64_t{department}});
    }
    void exec(const std::string& sql, const std::vector<FieldValue>& params = {}) {
        db_->execute(sql, params);
    }

  private:
    std::string path_;
    std::unique_ptr<Database> db_;
};

// Departments 1 (contracts, billing kind 1), 2 (contracts, kind 2) and 4
// (per job, kind 0); works 10 (dept 1), 20 (dept 2), 40 (dept 4); one
// treatment method and one contract kind.
inline void AddMasters(FeeDatabase& fee) {
    fee.department(1, "浄化槽清掃", 1);
    fee.department(2, "保守点検", 2);
    fee.department(4, "し尿汲み取り", 0);
    fee.work(10, "清掃作業", 1);
    fee.work(20, "点検作業", 2);
    fee.work(40, "汲み取り", 4);
    fee.method(1, "合併処理");
    fee.contractKind(1, "年間契約");
}

inline const std::array<std::int64_t, 12> kMonthly{1000, 1000, 1000, 1000, 1000, 1000,
                                                   1000, 1000, 1000, 1000, 1000, 2000};

// Filters for every department of the masters above.
inline ExportRequest AllDepartments(const std::string& output, std::int32_t yearMonth = 202403) {
    ExportRequest request;
    request.ContractEndYearMonth = yearMonth;
    request.outputPath = output;
    request.contractFilter = " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 2) ";
    request.oneOffFilter = " AND (部門マスタ.部門コード = 4) ";
    return request;
}

using TestExportView = RecordingJobView<ExportView>;

// Cell text as the import reads it: numbers in plain digits, empty for blank.
inline std::string CellText(const xls::Sheet& sheet, int row1, int col1) {
    const xls::CellValue value = sheet.value(row1 - 1, col1 - 1);
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    if (const auto* number = std::get_if<double>(&value)) {
        std::string out = std::to_string(*number);
        out.erase(out.find_last_not_of('0') + 1);
        if (!out.empty() && out.back() == '.')
            out.pop_back();
        return out;
    }
    return "";
}

inline std::vector<std::string> RowTexts(const xls::Sheet& sheet, int row1, int columns) {
    std::vector<std::string> out;
    for (int c = 1; c <= columns; ++c)
        out.push_back(CellText(sheet, row1, c));
    return out;
}

inline int LastUsedRow(const xls::Sheet& sheet) {
    const auto last = sheet.lastCell();
    return last ? last->first + 1 : 0;
}

inline int LastUsedColumn(const xls::Sheet& sheet) {
    const auto last = sheet.lastCell();
    return last ? last->second + 1 : 0;
}

inline const xls::CellFormat& FormatAt(const xls::Sheet& sheet, int row1, int col1) {
    return sheet.book().formats.get(sheet.formatIdAt(row1 - 1, col1 - 1));
}
