// The two extraction queries: their exact text (golden files with CR LF
// line breaks, under golden/), and what they select when run through the Jet
// translation on SQLite.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "BillingQuery.h"
#include "ContractBreakdownQuery.h"
#include "ExportTestSupport.h"
#include "GoldenText.h"
#include "RecordsetHelper.h"

TEST(ContractBreakdownQuery, TextAsTheGoldenFile) {
    EXPECT_TRUE(golden::MatchesFile(
        ContractBreakdownQuery(3, 202403,
                               " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 3) ",
                               "AND (部門マスタ.部門コード = 99999)"),
        "contract_breakdown_query.sql"));
}

TEST(BillingQuery, TextInExpansionModeAsTheGoldenFile) {
    EXPECT_TRUE(golden::MatchesFile(
        BillingQuery(3, 202403, " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 3) ",
                     true),
        "billing_query_expansion.sql"));
}

TEST(BillingQuery, WithoutExpansionModeHasNoExpansionJoin) {
    const std::string with = BillingQuery(3, 202403, "AND (部門マスタ.部門コード = 99999)", true);
    const std::string without =
        BillingQuery(3, 202403, "AND (部門マスタ.部門コード = 99999)", false);
    EXPECT_NE(with.find("\r\n          ((((((浄化槽請求テーブル\r\n"), std::string::npos);
    EXPECT_NE(without.find("\r\n          (((((浄化槽請求テーブル\r\n"), std::string::npos);
    EXPECT_EQ(without.find("展開"), std::string::npos);
    // The last join closes no parenthesis without the expansion join behind it.
    EXPECT_NE(without.find("処理方式マスタ.処理方式コード\r\n WHERE"), std::string::npos);
    EXPECT_NE(with.find("処理方式マスタ.処理方式コード)\r\n          LEFT JOIN (SELECT"),
              std::string::npos);
}

namespace {

using Key = std::pair<std::int64_t, std::int64_t>;  // 得意先コード, 行番号

std::vector<Key> Keys(Database& db, const std::string& sql) {
    RecordsetHelper records;
    std::int32_t err = 0;
    records.Open(&db, sql, 0, err);
    EXPECT_EQ(err, 0) << sql;
    std::vector<Key> keys;
    records.Move(0, "", "MOVEFIRST", {}, err);
    while (!records.BOF() && !records.IsEOF()) {
        keys.emplace_back(static_cast<std::int64_t>(FieldNumber(records.Field("得意先コード"))),
                          static_cast<std::int64_t>(FieldNumber(records.Field("行番号"))));
        records.Move(0, "", "MOVENEXT", {}, err);
    }
    return keys;
}

const std::string kDept1And2 = " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 2) ";
const std::string kDept4 = " AND (部門マスタ.部門コード = 4) ";
const std::string kNone = "AND (部門マスタ.部門コード = 99999)";

// Customers 101..106 each with one contract line of department 1 (work 10),
// line number = customer - 100, and one billing record; the contracts end:
// 101 never, 102 March 2023, 103 March 2024, 104 April 2024, 105 March 2025,
// 106 February 2024. Customer 107 has no 契約請求マスタ row.
class PeriodCases : public ::testing::Test {
  protected:
    void SetUp() override {
        AddMasters(fee);
        const std::pair<int, std::int64_t> ends[] = {{101, 0},        {102, 20230331},
                                                     {103, 20240315}, {104, 20240415},
                                                     {105, 20250310}, {106, 20240229}};
        for (const auto& [code, end] : ends) {
            fee.customer(code, "顧客" + std::to_string(code));
            fee.contract(code, std::int64_t{20200101}, end);
            fee.line(code, code - 100, 10);
            fee.billing(code, code - 100, 1, kMonthly);
        }
        fee.customer(107, "顧客107");
        fee.line(107, 7, 10);
        fee.line(107, 8, 40);
        fee.billing(107, 7, 1, kMonthly);
    }
    ExportTempDir dir;
    FeeDatabase fee{dir, true};
};

}  // namespace

TEST_F(PeriodCases, ContractLinesOfBillingDepartmentsFollowTheContractPeriod) {
    EXPECT_EQ(Keys(fee.db(), ContractBreakdownQuery(3, 202403, kDept1And2, kNone)),
              (std::vector<Key>{{101, 1}, {102, 2}, {103, 3}}));
    // An empty year-month keeps only the contracts without an end date.
    EXPECT_EQ(Keys(fee.db(), ContractBreakdownQuery(0, 0, kDept1And2, kNone)),
              (std::vector<Key>{{101, 1}}));
    // February 2024 and earlier Februaries.
    EXPECT_EQ(Keys(fee.db(), ContractBreakdownQuery(2, 202402, kDept1And2, kNone)),
              (std::vector<Key>{{101, 1}, {106, 6}}));
}

TEST_F(PeriodCases, PerJobLinesIgnoreThePeriodAndNeedNoContractRow) {
    fee.line(104, 9, 40);  // contract ended in April 2024: not a reason to drop it
    EXPECT_EQ(Keys(fee.db(), ContractBreakdownQuery(3, 202403, kNone, kDept4)),
              (std::vector<Key>{{104, 9}, {107, 8}}));
}

TEST_F(PeriodCases, BillingRecordsFollowTheContractPeriod) {
    EXPECT_EQ(Keys(fee.db(), BillingQuery(3, 202403, kDept1And2, true)),
              (std::vector<Key>{{101, 1}, {102, 2}, {103, 3}}));
    EXPECT_EQ(Keys(fee.db(), BillingQuery(0, 0, kDept1And2, false)), (std::vector<Key>{{101, 1}}));
}

TEST_F(PeriodCases, RowsComeInCustomerThenLineOrderAcrossBothBranches) {
    fee.line(103, 1, 40);   // per-job line before the contract line 3 of customer 103
    fee.line(101, 12, 40);  // after line 1 of 101
    fee.line(102, 2 + 100, 20);
    EXPECT_EQ(Keys(fee.db(), ContractBreakdownQuery(3, 202403, kDept1And2, kDept4)),
              (std::vector<Key>{
                  {101, 1}, {101, 12}, {102, 2}, {102, 102}, {103, 1}, {103, 3}, {107, 8}}));
}

TEST_F(PeriodCases, AbolishedInstallationsAreNeverExported) {
    fee.exec("UPDATE 浄化槽基本マスタ SET 廃止区分 = 1 WHERE 得意先コード IN (101, 107)");
    EXPECT_EQ(Keys(fee.db(), ContractBreakdownQuery(3, 202403, kDept1And2, kDept4)),
              (std::vector<Key>{{102, 2}, {103, 3}}));
    EXPECT_EQ(Keys(fee.db(), BillingQuery(3, 202403, kDept1And2, true)),
              (std::vector<Key>{{102, 2}, {103, 3}}));
}

TEST_F(PeriodCases, DepartmentFiltersChooseTheLines) {
    fee.line(101, 20, 20);  // department 2
    const std::string dept2 = " AND (部門マスタ.部門コード = 2) ";
    EXPECT_EQ(Keys(fee.db(), ContractBreakdownQuery(3, 202403, dept2, kNone)),
              (std::vector<Key>{{101, 20}}));
    // The 99999 fragment of an empty list selects nothing of its branch.
    EXPECT_TRUE(Keys(fee.db(), ContractBreakdownQuery(3, 202403, kNone, kNone)).empty());
    EXPECT_TRUE(Keys(fee.db(), BillingQuery(3, 202403, kNone, true)).empty());
    EXPECT_EQ(Keys(fee.db(), BillingQuery(3, 202403, dept2, false)), (std::vector<Key>{}));
    fee.billing(101, 30, 2, kMonthly);
    EXPECT_EQ(Keys(fee.db(), BillingQuery(3, 202403, dept2, false)), (std::vector<Key>{{101, 30}}));
}

TEST_F(PeriodCases, BillingRecordsWithoutAPositiveMonthAreLeftOut) {
    fee.billing(101, 40, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    fee.billing(101, 41, 1, {-5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1});
    fee.billing(101, 42, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});  // December only
    fee.billing(101, 43, 1, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0});  // October only
    EXPECT_EQ(Keys(fee.db(), BillingQuery(0, 0, kDept1And2, false)),
              (std::vector<Key>{{101, 1}, {101, 42}, {101, 43}}));
}

TEST_F(PeriodCases, ExpansionJoinNeverRepeatsABillingRecord) {
    fee.expansion(102, 1);
    fee.expansion(102, 2);
    fee.expansion(102, 4);
    RecordsetHelper records;
    std::int32_t err = 0;
    records.Open(fee.get(), BillingQuery(3, 202403, kDept1And2, true), 0, err);
    ASSERT_EQ(err, 0);
    std::vector<std::string> expanded;
    records.Move(0, "", "MOVEFIRST", {}, err);
    while (!records.IsEOF()) {
        expanded.push_back(FieldText(records.Field("展開得意先コード")));
        records.Move(0, "", "MOVENEXT", {}, err);
    }
    EXPECT_EQ(expanded, (std::vector<std::string>{"", "102", ""}));
}
