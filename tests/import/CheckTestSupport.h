#pragma once
// Shared pieces of the check-run tests: identical databases, a workbook with
// rows of every outcome, a run of the driver, and files' bytes.

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "ImportTestSupport.h"

namespace checktest {

using namespace importtest;

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Customer 12345: contract lines 1 (12000/12/1000) and 2 (24000/4/6000),
// billing line 3 (1000 every month).
inline void FillDatabase(Database& db) {
    AddCustomer(db, 12345);
    AddContractLine(db, 12345, 1, 10, 12000, 12, 1000);
    AddContractLine(db, 12345, 2, 20, 24000, 4, 6000);
    AddBillingLine(db, 12345, 3, 2, 1000);
}

// db0.db filled by `fill`, and db1.db .. db<copies>.db identical to it.
inline std::vector<std::string> Databases(const TempDir& dir, int copies,
                                          const std::function<void(Database&)>& fill) {
    std::vector<std::string> paths{dir.file("db0.db")};
    CreateEmptyDatabase(paths[0], false);
    {
        Database db(paths[0], false);
        fill(db);
    }
    for (int n = 1; n <= copies; ++n) {
        paths.push_back(dir.file("db" + std::to_string(n) + ".db"));
        std::filesystem::copy_file(paths[0], paths.back());
    }
    return paths;
}

// Contract: row 3 accepted (two entries change a value), row 4 accepted but
// stale (the sheet shows 12000/12/1000 for line 2, which holds 24000/4/6000), rows 5 to 9 rejected
// (code, entry, customer, line, work code), row 10 passed over. Billing:
// row 3 accepted (April changes), row 4 rejected (department).
inline std::vector<SheetSpec> MixedWorkbook() {
    SheetSpec contract = ContractSheet();
    contract.rows = {ContractRow(12345.0, 1.0, 10.0, "清掃", 13200.0, {}, 1100.0),
                     ContractRow(12345.0, 2.0, 20.0, "点検", 25000.0, {}, {}),
                     ContractRow(std::string("abc"), 1.0, 10.0, "清掃", 1.0, {}, {}),
                     ContractRow(12345.0, 1.0, 10.0, "清掃", {}, std::string("x"), {}),
                     ContractRow(99999.0, 1.0, 10.0, "清掃", 1.0, {}, {}),
                     ContractRow(12345.0, 9.0, 10.0, "清掃", 1.0, {}, {}),
                     ContractRow(12345.0, 1.0, 11.0, "清掃", 1.0, {}, {}),
                     ContractRow(12345.0, 1.0, 10.0, "清掃", {}, {}, {})};
    SheetSpec billing = BillingSheet();
    billing.rows = {BillingRow(12345.0, 3.0, 2.0, "浄化槽清掃", {{4, 1100.0}}),
                    BillingRow(12345.0, 3.0, 5.0, "浄化槽清掃", {{1, 1.0}})};
    return {contract, billing};
}

// A list line: blanks after the message up to 76 display columns.
inline std::string ListLine(const std::string& head, const std::string& message,
                            std::size_t messageWidth) {
    return head + message + std::string(76 - messageWidth, ' ');
}
inline std::string StaleLine(const std::string& head) {
    return ListLine(head, "出力後にマスタの金額が変更されています", 38);
}

// One run of the driver on a database; `answers` go to the first boxes.
struct Session {
    Session(const std::string& database, std::vector<MsgAnswer> answers = {})
        : opened(database), job(opened.mdb, view) {
        for (MsgAnswer answer : answers)
            view.recorded.answerNext(answer);
    }
    OpenedDatabase opened;
    TestImportView view;
    ImportJob job;
};

}  // namespace checktest
