// Figures of the database layer on a sample database sized like the largest
// fee workbook (65,533 rows on each sheet by default):
//   bench_database [rows-per-sheet]
// generation, the two export queries read through RecordsetHelper, and the
// import's pattern of two key seeks and one update per row in one transaction
// (rolled back, so the file can be reused).

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
#include "RecordsetHelper.h"
#include "SampleData.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// Rows of the query and the characters of their customer codes (every row
// is visited the way the export visits it).
std::pair<long, long> ReadAll(Database& db, const std::string& sql) {
    RecordsetHelper rs;
    std::int32_t err = 0;
    rs.Open(&db, sql, 0, err);
    if (err != 0) {
        std::fprintf(stderr, "query failed: %d\n", err);
        std::exit(1);
    }
    std::int32_t count = 0;
    rs.Move(0, "", "MOVELAST", {}, err);
    rs.Count(count);
    rs.Move(0, "", "MOVEFIRST", {}, err);
    long chars = 0;
    while (!rs.BOF() && !rs.IsEOF()) {
        chars += static_cast<long>(FieldText(rs.Field("得意先コード")).size());
        rs.Move(0, "", "MOVENEXT", {}, err);
    }
    return {count, chars};
}

}  // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 65533;
    const auto dir = std::filesystem::temp_directory_path() / "velkan-bench-database";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "sample.db").string();

    auto t = Clock::now();
    SampleOptions options;
    options.seed = 1;
    options.exportRowsPerSheet = rows;
    CreateSampleDatabase(path, options);
    std::printf("generate %ld rows per sheet: %.0f ms, %.1f MB\n", rows, Ms(t),
                static_cast<double>(std::filesystem::file_size(path)) / 1e6);

    Database db(path, false);
    const std::string contractList =
        " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 2 Or 部門マスタ.部門コード = 3 "
        "Or 部門マスタ.部門コード = 7) ";
    const std::string oneOffList =
        " AND (部門マスタ.部門コード = 4 Or 部門マスタ.部門コード = 5 Or 部門マスタ.部門コード = "
        "6) ";

    t = Clock::now();
    const auto contract = ReadAll(db, ContractBreakdownQuery(0, 0, contractList, oneOffList));
    std::printf("contract query: %ld rows (%ld code characters) in %.0f ms\n", contract.first,
                contract.second, Ms(t));
    t = Clock::now();
    const auto billing = ReadAll(db, BillingQuery(0, 0, contractList, true));
    std::printf("billing query: %ld rows (%ld code characters) in %.0f ms\n", billing.first,
                billing.second, Ms(t));

    std::vector<std::pair<double, double>> keys;
    {
        Statement st = db.prepare("SELECT 得意先コード, ＩＤ FROM 浄化槽契約内訳マスタ LIMIT ?");
        st.bind(1, std::int64_t{rows});
        while (st.step())
            keys.emplace_back(FieldNumber(st.column(0)), FieldNumber(st.column(1)));
    }
    t = Clock::now();
    db.begin();
    RecordsetHelper basic;
    RecordsetHelper lines;
    std::int32_t err = 0;
    basic.Open(&db, "浄化槽基本マスタ", 0, err);
    lines.Open(&db, "浄化槽契約内訳マスタ", 0, err);
    long updated = 0;
    for (const auto& [code, id] : keys) {
        basic.Move(0, "PrimaryKey", "=", {code}, err);
        lines.Move(1, "PrimaryKey", "=", {code, id}, err);
        if (err != 0)
            continue;
        lines.SetField("年間金額", 12345.0);
        lines.SetField("作業回数", 3.0);
        lines.Update(err);
        if (err == 0)
            ++updated;
    }
    const double updateMs = Ms(t);
    db.rollback();
    std::printf("import pattern: %ld rows (2 seeks + 1 update each) in %.0f ms\n", updated,
                updateMs);

    std::filesystem::remove_all(dir);
    return 0;
}
