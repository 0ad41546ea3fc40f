// Write-back of both sheets: key rules against the database, what is written
// for which cell, and the one transaction per sheet.

#include <gtest/gtest.h>

#include "ImportState.h"
#include "ImportTestSupport.h"
#include "UpdateFromSheet.h"

using namespace importtest;

namespace {

// A database with customers 12345 (lines 1 and 2, 作業コード 10 and 20) and
// 42 (billing line 3, 部門コード 2); customer 777 has lines but no 基本マスタ row.
struct Updater {
    Updater() : opened(MakeDatabase(dir)), state(opened.mdb, view) {
        Database& db = opened.db();
        AddCustomer(db, 12345);
        AddContractLine(db, 12345, 1, 10, 12000, 12, 1000);
        AddContractLine(db, 12345, 2, 20, 24000, 4, 6000);
        AddContractLine(db, 777, 1, 10, 100, 1, 100);
        AddCustomer(db, 42);
        AddBillingLine(db, 42, 3, 2, 1000);
    }

    // Rows 1 and 2 stand for the header; data from row 3.
    void Load(std::int16_t sheet, const std::vector<std::vector<Cell>>& rows) {
        const std::int16_t columns = sheet == 1 ? 19 : 37;
        xls::Array2D block;
        block.rows = static_cast<std::int32_t>(rows.size()) + 2;
        block.cols = columns;
        block.data.resize(static_cast<std::size_t>(block.rows) * static_cast<std::size_t>(columns));
        block.at(1, 1) = std::string("得意先コード");
        for (std::size_t r = 0; r < rows.size(); ++r) {
            for (std::size_t c = 0; c < rows[r].size() && c < static_cast<std::size_t>(columns);
                 ++c) {
                block.at(static_cast<std::int32_t>(r + 3), static_cast<std::int32_t>(c + 1)) =
                    rows[r][c];
            }
        }
        state.SheetData.clear();
        state.SheetData.appendBlock(std::move(block));
        state.SheetEndRow = block.rows;
        state.SheetColumnCount = columns;
    }

    std::vector<std::string> errorMessages() const {
        std::vector<std::string> out;
        for (const auto& e : state.Errors.ImportErrors())
            out.push_back(e.message);
        return out;
    }

    TempDir dir;
    OpenedDatabase opened;
    TestImportView view;
    ImportState state;
};

// A row of line 2 showing the amounts it held when exported (24000/4/6000).
std::vector<Cell> Exported(std::vector<Cell> row) {
    row[13] = 24000.0;
    row[14] = 4.0;
    row[15] = 6000.0;
    return row;
}

std::int64_t AsInt(const FieldValue& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return *i;
    if (const auto* d = std::get_if<double>(&v))
        return static_cast<std::int64_t>(*d);
    return -999;
}

}  // namespace

TEST(UpdateContract, KeyRulesWithTheirMessages) {
    Updater u;
    u.Load(1, {
                  ContractRow(777.0, 1.0, 10.0, "清掃", 1.0, {}, {}),    // no 基本マスタ row
                  ContractRow(12345.0, 9.0, 10.0, "清掃", 1.0, {}, {}),  // no line 9
                  ContractRow(12345.0, 2.0, 10.0, "清掃", 1.0, {}, {}),  // 作業コード changed
                  ContractRow(12345.0, std::string("abc"), 10.0, "清掃", 1.0, {}, {}),
                  ContractRow(12345.0, 40000.0, 10.0, "保守", 1.0, {}, {}),  // beyond 16 bits
              });
    ASSERT_TRUE(UpdateFromSheet(u.state, 1));
    EXPECT_EQ(u.errorMessages(), (std::vector<std::string>{
                                     "浄化槽がマスタに存在しません",
                                     "9行目の作業[清掃]がマスタに存在しません",
                                     "2行目の作業[清掃]がマスタと異なっています",
                                     "abc行目の作業[清掃]がマスタに存在しません",
                                     "40000行目の作業[保守]がマスタに存在しません",
                                 }));
    for (const auto& e : u.state.Errors.ImportErrors())
        EXPECT_EQ(e.column, 1);
    EXPECT_EQ(u.state.Errors.ImportErrors()[1].customerCode, Currency::FromWhole(12345));
    EXPECT_EQ(u.state.ImportOkCount[0], 0);
    EXPECT_EQ(u.state.ImportNgCount[0], 5);
    EXPECT_EQ(AsInt(ReadContract(u.opened.db(), 12345, 2).annual), 24000);
    EXPECT_EQ(AsInt(ReadContract(u.opened.db(), 777, 1).annual), 100);
    EXPECT_TRUE(u.view.texts().empty());
}

// The basic master is sought once per run of a customer's lines: a customer
// that came before, went and comes back is sought again.
TEST(UpdateContract, EachRowOfACustomerGetsTheMastersAnswer) {
    Updater u;
    u.Load(1, {
                  ContractRow(777.0, 1.0, 10.0, "清掃", 1.0, {}, {}),
                  ContractRow(777.0, 1.0, 10.0, "清掃", 2.0, {}, {}),
                  ContractRow(12345.0, 1.0, 10.0, "清掃", 3.0, {}, {}),
                  ContractRow(777.0, 1.0, 10.0, "清掃", 4.0, {}, {}),
                  Exported(ContractRow(12345.0, 2.0, 20.0, "点検", 5.0, {}, {})),
              });
    ASSERT_TRUE(UpdateFromSheet(u.state, 1));
    std::vector<std::int32_t> rows;
    for (const auto& e : u.state.Errors.ImportErrors())
        rows.push_back(e.row);
    EXPECT_EQ(rows, (std::vector<std::int32_t>{3, 4, 6}));
    EXPECT_EQ(u.errorMessages(), std::vector<std::string>(3, "浄化槽がマスタに存在しません"));
    EXPECT_EQ(u.state.ImportOkCount[0], 2);
    EXPECT_EQ(AsInt(ReadContract(u.opened.db(), 12345, 1).annual), 3);
    EXPECT_EQ(AsInt(ReadContract(u.opened.db(), 12345, 2).annual), 5);
    EXPECT_EQ(AsInt(ReadContract(u.opened.db(), 777, 1).annual), 100);
}

TEST(UpdateContract, OnlyNonBlankEntriesAreWritten) {
    Updater u;
    u.Load(1, {
                  ContractRow(12345.0, 1.0, 10.0, "清掃", 15000.0, {}, std::string("  ")),
                  Exported(ContractRow(12345.0, 2.0, 20.0, "点検", {}, 6.0, std::string("1,500"))),
                  ContractRow(12345.0, 3.0, 20.0, "点検", {}, {}, {}),  // passed over
              });
    ASSERT_TRUE(UpdateFromSheet(u.state, 1));
    EXPECT_EQ(u.state.ImportOkCount[0], 2);
    EXPECT_EQ(u.state.ImportNgCount[0], 0);
    const ContractRecord first = ReadContract(u.opened.db(), 12345, 1);
    EXPECT_EQ(AsInt(first.annual), 15000);
    EXPECT_EQ(AsInt(first.visits), 12);
    EXPECT_EQ(AsInt(first.perVisit), 1000);  // nothing is recomputed
    const ContractRecord second = ReadContract(u.opened.db(), 12345, 2);
    EXPECT_EQ(AsInt(second.annual), 24000);
    EXPECT_EQ(AsInt(second.visits), 6);
    EXPECT_EQ(AsInt(second.perVisit), 1500);
    EXPECT_EQ(u.view.phases, std::vector<std::string>{"（契約内訳情報）Excelデータ取込中・・・"});
    EXPECT_FALSE(u.view.progressVisible);
    EXPECT_FALSE(u.view.phaseVisible);
    EXPECT_EQ(u.view.progress, 10000);
    EXPECT_GE(u.view.pumps, 3);
}

TEST(UpdateContract, DecimalsAreWrittenAsTyped) {
    Updater u;
    u.Load(1, {ContractRow(12345.0, 1.0, 10.0, "清掃", std::string("12345.5"), {}, {})});
    ASSERT_TRUE(UpdateFromSheet(u.state, 1));
    const FieldValue annual = ReadContract(u.opened.db(), 12345, 1).annual;
    ASSERT_TRUE(std::holds_alternative<double>(annual));
    EXPECT_EQ(std::get<double>(annual), 12345.5);
}

TEST(UpdateContract, RuleFailuresAreCountedAndNothingIsWritten) {
    Updater u;
    u.Load(1, {
                  ContractRow({}, 1.0, 10.0, "清掃", 1.0, {}, {}),
                  ContractRow(12345.0, 1.0, 10.0, "清掃", 1.0, 1000.0, {}),
                  ContractRow(12345.0, 1.0, 10.0, "清掃", 2.0, 999.0, {}),
              });
    ASSERT_TRUE(UpdateFromSheet(u.state, 1));
    EXPECT_EQ(u.errorMessages(),
              (std::vector<std::string>{"得意先コードが未入力です",
                                        "作業回数の値の桁数が正しくありません"}));
    EXPECT_EQ(u.state.ImportOkCount[0], 1);
    EXPECT_EQ(u.state.ImportNgCount[0], 2);
    EXPECT_EQ(AsInt(ReadContract(u.opened.db(), 12345, 1).visits), 999);
}

TEST(UpdateContract, RefusedUpdateOfTheFiftiethRowRollsBackTheFortyNineBefore) {
    Updater u;
    Database& db = u.opened.db();
    std::vector<std::vector<Cell>> rows;
    for (int code = 1001; code <= 1060; ++code) {
        AddCustomer(db, code);
        AddContractLine(db, code, 1, 10, 12000, 12, 1000);  // as the sheet shows it
        rows.push_back(ContractRow(static_cast<double>(code), 1.0, 10.0, "清掃", 555.0, {}, {}));
    }
    db.execute(
        "CREATE TRIGGER refuse BEFORE UPDATE ON 浄化槽契約内訳マスタ WHEN OLD.得意先コード = 1050 "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    u.Load(1, rows);
    EXPECT_FALSE(UpdateFromSheet(u.state, 1));
    EXPECT_TRUE(u.view.texts().empty());  // the driver shows the failure
    EXPECT_EQ(u.state.ImportOkCount[0], 49);
    Statement st = db.prepare("SELECT COUNT(*) FROM 浄化槽契約内訳マスタ WHERE 年間金額 = 555");
    ASSERT_TRUE(st.step());
    EXPECT_EQ(AsInt(st.column(0)), 0);
    EXPECT_FALSE(u.view.progressVisible);
    // The transaction is over: a new one can begin.
    EXPECT_EQ(u.opened.mdb.BeginTransaction(), 0);
    EXPECT_EQ(u.opened.mdb.RollbackTransaction(), 0);
}

TEST(UpdateContract, OnlyIgnoredRowsCommitAnEmptyTransaction) {
    Updater u;
    u.Load(1, {ContractRow(12345.0, 1.0, 10.0, "清掃", {}, {}, {}), {}, {}});
    ASSERT_TRUE(UpdateFromSheet(u.state, 1));
    EXPECT_EQ(u.state.ImportOkCount[0], 0);
    EXPECT_EQ(u.state.ImportNgCount[0], 0);
    EXPECT_FALSE(u.state.Errors.HasImportErrors());
    EXPECT_EQ(u.opened.mdb.BeginTransaction(), 0);
    EXPECT_EQ(u.opened.mdb.RollbackTransaction(), 0);
}

TEST(UpdateContract, MissingTablesEndTheSheet) {
    {
        Updater u;
        u.opened.db().execute("DROP TABLE 浄化槽基本マスタ");
        u.Load(1, {ContractRow(12345.0, 1.0, 10.0, "清掃", 1.0, {}, {})});
        EXPECT_FALSE(UpdateFromSheet(u.state, 1));
        EXPECT_EQ(u.view.texts(),
                  std::vector<std::string>{"ファイルがオープンできません（浄化槽基本マスタ）"});
    }
    {
        Updater u;
        u.opened.db().execute("DROP TABLE 浄化槽契約内訳マスタ");
        u.Load(1, {ContractRow(12345.0, 1.0, 10.0, "清掃", 1.0, {}, {})});
        EXPECT_FALSE(UpdateFromSheet(u.state, 1));
        EXPECT_EQ(u.view.texts(),
                  std::vector<std::string>{"ファイルがオープンできません（浄化槽契約内訳マスタ）"});
    }
    {
        Updater u;
        u.opened.db().execute("DROP TABLE 浄化槽請求テーブル");
        u.Load(2, {BillingRow(42.0, 3.0, 2.0, "浄化槽清掃", {{1, 1.0}})});
        EXPECT_FALSE(UpdateFromSheet(u.state, 2));
        EXPECT_EQ(u.view.texts(), std::vector<std::string>{kBillingTableOpenMessage});
        EXPECT_EQ(u.view.recorded.shown[0].icon, MsgIcon::Exclamation);
    }
}

TEST(UpdateContract, RunTimeErrorShowsItsDescriptionAndRollsBack) {
    Updater u;
    u.opened.db().execute("ALTER TABLE 浄化槽契約内訳マスタ DROP COLUMN 作業回数");
    u.Load(1, {ContractRow(12345.0, 1.0, 10.0, "清掃", 7777.0, 3.0, {})});
    EXPECT_FALSE(UpdateFromSheet(u.state, 1));
    ASSERT_EQ(u.view.texts().size(), 1u);
    EXPECT_NE(u.view.texts()[0].find("作業回数"), std::string::npos);
    Statement st = u.opened.db().prepare(
        "SELECT 年間金額 FROM 浄化槽契約内訳マスタ WHERE 得意先コード = 12345 AND ＩＤ = 1");
    ASSERT_TRUE(st.step());
    EXPECT_EQ(AsInt(st.column(0)), 12000);
}

TEST(UpdateContract, NoTransactionNoWrites) {
    TempDir dir;
    RecordingMessages messages;
    gMjMDB closed(messages);  // nothing open: the transaction cannot begin
    TestImportView view;
    ImportState state(closed, view);
    EXPECT_FALSE(UpdateFromSheet(state, 1));
    ASSERT_EQ(view.texts().size(), 1u);
    EXPECT_EQ(view.texts()[0].rfind("データベースの更新を開始できません", 0), 0u);
}

TEST(UpdateBilling, MonthsFlagsAndDepartment) {
    Updater u;
    Database& db = u.opened.db();
    AddBillingLine(db, 42, 4, 2, 1000);
    AddBillingLine(db, 42, 5, 2, 1000);
    u.Load(2,
           {
               BillingRow(42.0, 3.0, 2.0, "浄化槽清掃", {{4, 5000.0}}),
               BillingRow(42.0, 4.0, 2.0, "浄化槽清掃", {{1, 0.0}, {12, std::string("２５００")}}),
               BillingRow(42.0, 5.0, 9.0, "浄化槽清掃", {{2, 1.0}}),  // 部門コード changed
               BillingRow(42.0, 6.0, 2.0, "保守", {{2, 1.0}}),        // no line 6
           });
    ASSERT_TRUE(UpdateFromSheet(u.state, 2));
    EXPECT_EQ(u.state.ImportOkCount[1], 2);
    EXPECT_EQ(u.state.ImportNgCount[1], 2);
    EXPECT_EQ(u.errorMessages(),
              (std::vector<std::string>{"5行目の部門[浄化槽清掃]がマスタと異なっています",
                                        "6行目の部門[保守]がマスタに存在しません"}));
    for (int m = 1; m <= 12; ++m) {
        const auto [flag, amount] = ReadBillingMonth(db, 42, 3, m);
        EXPECT_EQ(AsInt(flag), 1) << m;
        EXPECT_EQ(AsInt(amount), m == 4 ? 5000 : 1000) << m;
    }
    EXPECT_EQ(AsInt(ReadBillingMonth(db, 42, 4, 1).first), 0);
    EXPECT_EQ(AsInt(ReadBillingMonth(db, 42, 4, 1).second), 0);
    EXPECT_EQ(AsInt(ReadBillingMonth(db, 42, 4, 12).first), 1);
    EXPECT_EQ(AsInt(ReadBillingMonth(db, 42, 4, 12).second), 2500);
    EXPECT_EQ(AsInt(ReadBillingMonth(db, 42, 4, 6).second), 1000);
    EXPECT_EQ(AsInt(ReadBillingMonth(db, 42, 5, 2).second), 1000);
    EXPECT_EQ(u.view.phases, std::vector<std::string>{"（請求情報）Excelデータ取込中・・・"});
}
