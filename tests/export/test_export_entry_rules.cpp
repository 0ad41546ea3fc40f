// The rules on the entry cells of the fee workbook: which cells, which
// limits (the import's), and the texts a clerk sees.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FeeEntryValidation.h"
#include "RecordingMessages.h"
#include "pClExcel.h"

namespace {

class EntryRules : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(excel_.NewBook("S")); }
    const std::vector<xls::DataValidation>& rules() const {
        return excel_.book()->sheet(0).validations;
    }

    RecordingMessages messages_;
    pClExcel excel_{messages_};
};

TEST_F(EntryRules, ContractSheetOneRulePerEntryColumn) {
    SetContractEntryRules(excel_, 41);
    ASSERT_EQ(rules().size(), 3u);
    const struct {
        std::int32_t column;  // 0-based
        xls::ValidationKind kind;
        double maximum;
        const char* item;
        const char* text;
    } expected[] = {
        {16, xls::ValidationKind::Decimal, 999999999, "年間金額",
         "年間金額には 0 から 999,999,999 までの数値を入力してください。"},
        {17, xls::ValidationKind::WholeNumber, 999, "作業回数",
         "作業回数には 0 から 999 までの整数を入力してください。"},
        {18, xls::ValidationKind::Decimal, 999999999, "１回金額",
         "１回金額には 0 から 999,999,999 までの数値を入力してください。"},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        const xls::DataValidation& rule = rules()[i];
        const auto& e = expected[i];
        SCOPED_TRACE(e.item);
        EXPECT_EQ(rule.ranges, (std::vector<xls::CellRange>{{2, 40, e.column, e.column}}));
        EXPECT_EQ(rule.kind, e.kind);
        EXPECT_EQ(rule.minimum, 0);
        EXPECT_EQ(rule.maximum, e.maximum);
        EXPECT_EQ(rule.promptTitle, e.item);
        EXPECT_EQ(rule.prompt, e.text);
        EXPECT_EQ(rule.errorTitle, "入力エラー");
        EXPECT_EQ(rule.error, e.text);
    }
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(EntryRules, BillingSheetOneRuleOverTheTwelveMonths) {
    SetBillingEntryRules(excel_, 3);
    ASSERT_EQ(rules().size(), 1u);
    const xls::DataValidation& rule = rules()[0];
    EXPECT_EQ(rule.ranges, (std::vector<xls::CellRange>{{2, 2, 25, 36}}));
    EXPECT_EQ(rule.kind, xls::ValidationKind::Decimal);
    EXPECT_EQ(rule.minimum, 0);
    EXPECT_EQ(rule.maximum, 999999999);
    EXPECT_EQ(rule.promptTitle, "請求金額");
    EXPECT_EQ(rule.errorTitle, "入力エラー");
    EXPECT_EQ(rule.error, "請求金額には 0 から 999,999,999 までの数値を入力してください。");
}

TEST_F(EntryRules, ARefusedRuleEndsTheJobNamingTheSheet) {
    SetBillingEntryRules(excel_, 3);
    try {
        SetBillingEntryRules(excel_, 3);  // the same cells twice
        FAIL() << "no error";
    } catch (const PlatformError& error) {
        EXPECT_NE(error.description().find("請求情報"), std::string::npos) << error.description();
    }
}

}  // namespace
