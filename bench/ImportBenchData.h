#pragma once
// The data of the import benchmarks: a generated database and a fee
// workbook whose 65,533 contract lines and 65,533 billing lines all carry
// revised amounts for keys the database holds.

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Database.h"
#include "ReadSheet.h"
#include "RecordingMessages.h"
#include "SampleData.h"
#include "gMjDisp.h"
#include "pClExcel.h"

namespace {

constexpr int kLines = 65533;

struct Line {
    std::int64_t code, id, sub;       // sub: 作業コード or 部門コード
    std::vector<FieldValue> amounts;  // the current amounts the export shows
};

std::vector<Line> Lines(Database& db, const std::string& table, const std::string& subColumn,
                        const std::vector<std::string>& amountColumns) {
    std::string columns;
    for (const std::string& column : amountColumns)
        columns += ", t." + column;
    Statement st =
        db.prepare("SELECT t.得意先コード, t.ＩＤ, t." + subColumn + columns + " FROM " + table +
                   " AS t INNER JOIN 浄化槽基本マスタ AS b ON b.得意先コード = "
                   "t.得意先コード WHERE t.ＩＤ <= 32767 ORDER BY t.得意先コード, t.ＩＤ");
    std::vector<Line> lines;
    while (st.step() && static_cast<int>(lines.size()) < kLines) {
        Line line{std::get<std::int64_t>(st.column(0)),
                  std::get<std::int64_t>(st.column(1)),
                  IsNull(st.column(2)) ? 0 : std::get<std::int64_t>(st.column(2)),
                  {}};
        for (std::size_t i = 0; i < amountColumns.size(); ++i)
            line.amounts.push_back(st.column(static_cast<int>(3 + i)));
        lines.push_back(std::move(line));
    }
    return lines;
}

// The current amounts beside the entries, as the export writes them (so
// that the import finds no row changed since).
void WriteCurrentAmounts(pClExcel& excel, std::int32_t row, const Line& line) {
    for (std::size_t i = 0; i < line.amounts.size(); ++i) {
        if (!IsNull(line.amounts[i]))
            excel.SetCellValue(row, static_cast<std::int16_t>(14 + i),
                               std::round(FieldNumber(line.amounts[i])));
    }
}

void WriteHeaders(pClExcel& excel, std::int16_t sheet) {
    const SheetLayout& layout = ExpectedLayout(sheet);
    for (std::int16_t c = 1; c <= layout.columns; ++c) {
        const auto& [top, lower] = layout.headers[static_cast<std::size_t>(c - 1)];
        if (!top.empty())
            excel.SetCellValue(1, c, top);
        if (!lower.empty())
            excel.SetCellValue(2, c, lower);
    }
}

// The database and the edited workbook, made in a child process so that
// their memory does not count for the import.
void Prepare(const std::string& dbPath, const std::string& bookPath) {
    const auto started = std::chrono::steady_clock::now();
    SampleOptions options;
    options.customers = 60000;
    options.overwrite = true;
    CreateSampleDatabase(dbPath, options);
    Database db(dbPath, true);
    const std::vector<Line> contract =
        Lines(db, "浄化槽契約内訳マスタ", "作業コード", {"年間金額", "作業回数", "[1回分の金額]"});
    std::vector<std::string> months;
    for (int m = 1; m <= 12; ++m)
        months.push_back("請求金額" + gMjDisp::FullWidthDigits(m));
    const std::vector<Line> billing = Lines(db, "浄化槽請求テーブル", "部門コード", months);
    if (static_cast<int>(contract.size()) < kLines || static_cast<int>(billing.size()) < kLines) {
        std::fprintf(stderr, "too few lines in the sample database (%zu, %zu)\n", contract.size(),
                     billing.size());
        std::exit(1);
    }
    RecordingMessages messages;
    pClExcel excel(messages);
    excel.NewBook("契約内訳情報");
    WriteHeaders(excel, 1);
    std::int32_t row = 3;
    for (const Line& line : contract) {
        excel.SetCellValue(row, 1, static_cast<double>(line.code));
        excel.SetCellValue(row, 2, std::string("設置場所"));
        excel.SetCellValue(row, 11, static_cast<double>(line.id));
        excel.SetCellValue(row, 12, static_cast<double>(line.sub));
        excel.SetCellValue(row, 13, std::string("清掃"));
        WriteCurrentAmounts(excel, row, line);
        excel.SetCellValue(row, 17, 13200.0 + row % 100);
        excel.SetCellValue(row, 18, 12.0);
        excel.SetCellValue(row, 19, 1100.0);
        ++row;
    }
    excel.NewSheets("請求情報");
    WriteHeaders(excel, 2);
    row = 3;
    for (const Line& line : billing) {
        excel.SetCellValue(row, 1, static_cast<double>(line.code));
        excel.SetCellValue(row, 11, static_cast<double>(line.id));
        excel.SetCellValue(row, 12, static_cast<double>(line.sub));
        excel.SetCellValue(row, 13, std::string("浄化槽清掃"));
        WriteCurrentAmounts(excel, row, line);
        for (std::int16_t m = 1; m <= 12; ++m) {
            excel.SetCellValue(row, static_cast<std::int16_t>(25 + m), m == 8 ? 0.0 : 5500.0);
        }
        ++row;
    }
    if (!excel.BookSave(bookPath, false))
        std::exit(1);
    std::printf("prepared database and workbook in %.2f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

// The work folder of a benchmark run: the one given, or a fresh temporary one
// that goes at the end, with the database and the revised workbook prepared
// in a child process the first time (so the run's peak memory is its own).
struct BenchFolder {
    std::string path;
    bool temporary = false;
    std::string database() const { return path + "/septic.db"; }
    std::string book() const { return path + "/fee.xls"; }
    ~BenchFolder() {
        if (temporary)
            std::filesystem::remove_all(path);
    }
};

// False when the folder or its data could not be made.
bool OpenBenchFolder(int argc, char** argv, const char* name, BenchFolder& folder) {
    if (argc > 1) {
        folder.path = argv[1];
        std::filesystem::create_directories(folder.path);
    } else {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            return false;
        folder.path = pattern;
        folder.temporary = true;
    }
    if (std::filesystem::exists(folder.database()) && std::filesystem::exists(folder.book()))
        return true;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        Prepare(folder.database(), folder.book());
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace
