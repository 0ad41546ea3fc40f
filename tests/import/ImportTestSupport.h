#pragma once
// Shared pieces of the import tests: a recording import window, temporary
// folders, a septic-tank database with a few rows, and fee workbooks written
// with our own engine or with xlwt as another application would save them.

#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "Database.h"
#include "FieldValue.h"
#include "ImportJob.h"
#include "RecordingJobView.h"
#include "RecordingMessages.h"
#include "Schema.h"
#include "TempFolder.h"
#include "gMjMDB.h"
#include "pClExcel.h"

namespace importtest {

using TestImportView = RecordingJobView<ImportView>;

using TempDir = TempFolder;

// ---- database ------------------------------------------------------------

inline std::string MakeDatabase(const TempDir& dir, const std::string& name = "septic.db") {
    const std::string path = dir.file(name);
    CreateEmptyDatabase(path, false);
    return path;
}

inline void AddCustomer(Database& db, std::int64_t code) {
    db.execute("INSERT INTO 浄化槽基本マスタ (得意先コード, 廃止区分) VALUES (?, 0)",
               {FieldValue{code}});
}

inline void AddContractLine(Database& db, std::int64_t code, std::int64_t id, std::int64_t workCode,
                            double annual, std::int64_t visits, double perVisit) {
    db.execute(
        "INSERT INTO 浄化槽契約内訳マスタ (得意先コード, ＩＤ, 作業コード, 年間金額, 作業回数, "
        "[1回分の金額]) VALUES (?, ?, ?, ?, ?, ?)",
        {FieldValue{code}, FieldValue{id}, FieldValue{workCode}, FieldValue{annual},
         FieldValue{visits}, FieldValue{perVisit}});
}

// Every month billed with `amount` (flag 1).
inline void AddBillingLine(Database& db, std::int64_t code, std::int64_t id,
                           std::int64_t department, double amount) {
    std::string columns = "得意先コード, ＩＤ, 部門コード";
    std::string marks = "?, ?, ?";
    std::vector<FieldValue> values{FieldValue{code}, FieldValue{id}, FieldValue{department}};
    static const char* const kMonths[] = {"１", "２", "３", "４",   "５",   "６",
                                          "７", "８", "９", "１０", "１１", "１２"};
    for (const char* m : kMonths) {
        columns += std::string(", 請求フラグ") + m + ", 請求金額" + m;
        marks += ", ?, ?";
        values.push_back(FieldValue{std::int64_t{1}});
        values.push_back(FieldValue{amount});
    }
    db.execute("INSERT INTO 浄化槽請求テーブル (" + columns + ") VALUES (" + marks + ")", values);
}

struct ContractRecord {
    FieldValue workCode, annual, visits, perVisit;
};
inline ContractRecord ReadContract(Database& db, std::int64_t code, std::int64_t id) {
    Statement st = db.prepare(
        "SELECT 作業コード, 年間金額, 作業回数, [1回分の金額] FROM 浄化槽契約内訳マスタ "
        "WHERE 得意先コード = ? AND ＩＤ = ?");
    st.bind(1, FieldValue{code});
    st.bind(2, FieldValue{id});
    if (!st.step())
        return {};
    return {st.column(0), st.column(1), st.column(2), st.column(3)};
}

// Flag and amount of one month (1..12).
inline std::pair<FieldValue, FieldValue> ReadBillingMonth(Database& db, std::int64_t code,
                                                          std::int64_t id, int month) {
    static const char* const kMonths[] = {"１", "２", "３", "４",   "５",   "６",
                                          "７", "８", "９", "１０", "１１", "１２"};
    const std::string m = kMonths[month - 1];
    Statement st = db.prepare("SELECT 請求フラグ" + m + ", 請求金額" + m +
                              " FROM 浄化槽請求テーブル WHERE 得意先コード = ? AND ＩＤ = ?");
    st.bind(1, FieldValue{code});
    st.bind(2, FieldValue{id});
    if (!st.step())
        return {};
    return {st.column(0), st.column(1)};
}

// A database opened through the program's own module, as the window does.
struct OpenedDatabase {
    explicit OpenedDatabase(const std::string& path) : mdb(messages) {
        if (mdb.OpenMdb(0, path, false) != 0)
            std::abort();
    }
    ~OpenedDatabase() { mdb.CloseDatabase(); }
    Database& db() { return *mdb.gDatabase(); }
    RecordingMessages messages;
    gMjMDB mdb;
};

// ---- workbooks -----------------------------------------------------------

// The header texts as the export writes them: (row 1, row 2) per column.
inline std::vector<std::pair<std::string, std::string>> ContractHeaders() {
    return {{"得意先コード", ""},
            {"設置場所名", ""},
            {"設置場所住所", ""},
            {"設置場所TEL", ""},
            {"人槽", ""},
            {"容量", ""},
            {"処理方式", ""},
            {"契約区分", ""},
            {"契約期間_開始", ""},
            {"契約期間_終了", ""},
            {"行番号", ""},
            {"作業コード", ""},
            {"作業名", ""},
            {"現在の金額", "年間金額"},
            {"", "作業回数"},
            {"", "１回金額"},
            {"改定後の金額(記載欄)", "年間金額"},
            {"", "作業回数"},
            {"", "１回金額"}};
}

inline std::vector<std::pair<std::string, std::string>> BillingHeaders(bool expansion = false) {
    auto headers = ContractHeaders();
    headers.resize(11);
    headers.push_back({"部門コード", ""});
    headers.push_back({"部門名", ""});
    for (const char* group : {"現在の金額", "改定後の金額(記載欄)"}) {
        for (int m = 1; m <= 12; ++m) {
            headers.push_back({m == 1 ? group : "", std::to_string(m) + "月"});
        }
    }
    if (expansion)
        headers.push_back({"部門展開", ""});
    return headers;
}

using Cell = xls::CellValue;  // empty, number, text, Boolean, error

struct SheetSpec {
    std::string name;
    std::vector<std::pair<std::string, std::string>> headers;
    // Data rows from row 3: (row, column) -> value; columns from 1.
    std::vector<std::vector<Cell>> rows;
    std::vector<std::tuple<std::int32_t, std::int16_t, Cell>> extraCells;
};

inline SheetSpec ContractSheet() {
    return {"契約内訳情報", ContractHeaders(), {}, {}};
}
inline SheetSpec BillingSheet() {
    return {"請求情報", BillingHeaders(), {}, {}};
}

// A contract row: code, line number, work code, work name, the three entries
// (empty cells stay blank).
inline std::vector<Cell> ContractRow(Cell code, Cell line, Cell workCode,
                                     const std::string& workName, Cell annual, Cell visits,
                                     Cell perVisit) {
    std::vector<Cell> row(19);
    row[0] = std::move(code);
    row[1] = std::string("設置場所");
    row[10] = std::move(line);
    row[11] = std::move(workCode);
    row[12] = workName;
    row[13] = 12000.0;
    row[14] = 12.0;
    row[15] = 1000.0;
    row[16] = std::move(annual);
    row[17] = std::move(visits);
    row[18] = std::move(perVisit);
    return row;
}

// A billing row: code, line number, department code and name, entries per
// month (index 0 = January; empty cells stay blank).
inline std::vector<Cell> BillingRow(Cell code, Cell line, Cell department, const std::string& name,
                                    const std::vector<std::pair<int, Cell>>& entries) {
    std::vector<Cell> row(37);
    row[0] = std::move(code);
    row[10] = std::move(line);
    row[11] = std::move(department);
    row[12] = name;
    for (int m = 1; m <= 12; ++m)
        row[static_cast<std::size_t>(12 + m)] = 1000.0;
    for (const auto& [month, value] : entries)
        row[static_cast<std::size_t>(24 + month)] = value;
    return row;
}

inline pClExcel::Variant ToVariant(const Cell& cell) {
    return std::visit([](const auto& v) -> pClExcel::Variant { return v; }, cell);
}

// Writes the sheets with our engine (SetCellValue, BookSave).
inline void WriteWorkbook(const std::string& path, const std::vector<SheetSpec>& sheets) {
    RecordingMessages messages;
    pClExcel excel(messages);
    bool first = true;
    for (const SheetSpec& sheet : sheets) {
        if (first) {
            if (!excel.NewBook(sheet.name))
                std::abort();
            first = false;
        } else {
            excel.NewSheets(sheet.name);
        }
        for (std::size_t c = 0; c < sheet.headers.size(); ++c) {
            const auto col = static_cast<std::int16_t>(c + 1);
            if (!sheet.headers[c].first.empty())
                excel.SetCellValue(1, col, sheet.headers[c].first);
            if (!sheet.headers[c].second.empty()) {
                excel.SetCellValue(2, col, sheet.headers[c].second);
            }
        }
        for (std::size_t r = 0; r < sheet.rows.size(); ++r) {
            for (std::size_t c = 0; c < sheet.rows[r].size(); ++c) {
                const Cell& cell = sheet.rows[r][c];
                if (std::holds_alternative<std::monostate>(cell))
                    continue;
                excel.SetCellValue(static_cast<std::int32_t>(r + 3),
                                   static_cast<std::int16_t>(c + 1), ToVariant(cell));
            }
        }
        for (const auto& [row, col, cell] : sheet.extraCells) {
            excel.SetCellValue(row, col, ToVariant(cell));
        }
    }
    if (!excel.BookSave(path, false))
        std::abort();
}

// Writes the sheets with xlwt, as a clerk's spreadsheet application saves
// them: text cells stay text (xlwt writes exactly the type it is given).
inline void WriteWorkbookWithXlwt(const std::string& path, const std::vector<SheetSpec>& sheets) {
    const std::string script = path + ".py";
    std::ofstream py(script);
    py << "# -*- coding: utf-8 -*-\nimport xlwt\nwb = xlwt.Workbook(encoding='utf-8')\n";
    auto quote = [](const std::string& s) {
        std::string out = "u'";
        for (unsigned char ch : s) {
            char buf[8];
            if (ch == '\\' || ch == '\'' || ch < 0x20) {
                std::snprintf(buf, sizeof buf, "\\x%02x", ch);
                out += buf;
            } else {
                out += static_cast<char>(ch);
            }
        }
        return out + "'";
    };
    auto literal = [&](const Cell& cell) -> std::string {
        if (const auto* d = std::get_if<double>(&cell)) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.17g", *d);
            return buf;
        }
        if (const auto* s = std::get_if<std::string>(&cell))
            return quote(*s);
        if (const auto* b = std::get_if<bool>(&cell))
            return *b ? "True" : "False";
        return "None";
    };
    int index = 0;
    for (const SheetSpec& sheet : sheets) {
        const std::string ws = "ws" + std::to_string(index++);
        py << ws << " = wb.add_sheet(" << quote(sheet.name) << ")\n";
        for (std::size_t c = 0; c < sheet.headers.size(); ++c) {
            if (!sheet.headers[c].first.empty()) {
                py << ws << ".write(0, " << c << ", " << quote(sheet.headers[c].first) << ")\n";
            }
            if (!sheet.headers[c].second.empty()) {
                py << ws << ".write(1, " << c << ", " << quote(sheet.headers[c].second) << ")\n";
            }
        }
        for (std::size_t r = 0; r < sheet.rows.size(); ++r) {
            for (std::size_t c = 0; c < sheet.rows[r].size(); ++c) {
                const Cell& cell = sheet.rows[r][c];
                if (std::holds_alternative<std::monostate>(cell))
                    continue;
                py << ws << ".write(" << r + 2 << ", " << c << ", " << literal(cell) << ")\n";
            }
        }
    }
    py << "wb.save(" << quote(path) << ")\n";
    py.close();
    const std::string command = "/usr/bin/python3 '" + script + "'";
    if (std::system(command.c_str()) != 0)
        std::abort();
    std::filesystem::remove(script);
}

}  // namespace importtest
