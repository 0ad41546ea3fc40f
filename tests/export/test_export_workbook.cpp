// The saved fee workbook, read back with the project's reader: sheets,
// header texts, merges, values, fills, borders, number formats, locking, fonts.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ExportTestSupport.h"

namespace {

using Texts = std::vector<std::string>;

constexpr std::uint16_t kGreyIcv = 22;    // colour index 15
constexpr std::uint16_t kYellowIcv = 13;  // colour index 6
constexpr std::uint16_t kRedIcv = 10;     // colour index 3

// Contract lines (customer/line): 1001/1 and 1001/2 (per job), 1002/3 (ended
// March 2023), 1003/5 (per job, no 顧客マスタ and no contract row),
// 12345678901/1234 (wider than the field widths). Billing: 1001/1,
// 1002/1 (customer in the expansion table), 12345678901/1234.
void FillExample(FeeDatabase& fee) {
    AddMasters(fee);
    fee.customer(1001, "山田浄化槽");
    fee.contract(1001, std::int64_t{20200101}, std::int64_t{0});
    fee.line(1001, 1, 10, std::int64_t{120000}, std::int64_t{12}, std::int64_t{10000});
    fee.line(1001, 2, 40, std::int64_t{5000}, std::int64_t{1}, std::int64_t{5000});
    fee.billing(1001, 1, 1, kMonthly);

    fee.customer(1002, "佐藤設備", 0, 10.25, std::int64_t{10});
    fee.contract(1002, std::int64_t{20190401}, std::int64_t{20230331});
    fee.line(1002, 3, 20, std::int64_t{1234567}, std::int64_t{2}, std::int64_t{617283});
    fee.billing(1002, 1, 2, {0, 0, 500, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    fee.expansion(1002, 1);
    fee.expansion(1002, 2);

    fee.customer(1003, "鈴木");
    fee.exec("DELETE FROM 浄化槽顧客マスタ WHERE 得意先コード = 1003");
    fee.line(1003, 5, 40);

    fee.customer(12345678901, "長い番号");
    fee.contract(12345678901, std::int64_t{20240101}, std::int64_t{0});
    fee.line(12345678901, 1234, 10);
    fee.billing(12345678901, 1234, 1, kMonthly);
}

class SavedWorkbook : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new ExportTempDir;
        auto fee = std::make_unique<FeeDatabase>(*dir_, true);
        FillExample(*fee);
        TestExportView view;
        bool expansionMode = CheckExpansionTable(fee->get());
        ASSERT_TRUE(expansionMode);
        ASSERT_TRUE(ExportFeeData(fee->get(), AllDepartments("  " + dir_->file("fee.xls") + " "),
                                  expansionMode, view));
        ASSERT_TRUE(view.recorded.shown.empty()) << view.recorded.shown.front().text;
        EXPECT_TRUE(expansionMode);
        book_ = xls::ReadXlsFile(dir_->file("fee.xls")).release();
    }
    static void TearDownTestSuite() {
        delete book_;
        delete dir_;
    }
    const xls::Sheet& contract() const { return book_->sheet(0); }
    const xls::Sheet& billing() const { return book_->sheet(1); }

    static ExportTempDir* dir_;
    static xls::Workbook* book_;
};

ExportTempDir* SavedWorkbook::dir_ = nullptr;
xls::Workbook* SavedWorkbook::book_ = nullptr;

Texts Months() {
    Texts out;
    for (int m = 1; m <= 12; ++m)
        out.push_back(std::to_string(m) + "月");
    return out;
}

}  // namespace

TEST_F(SavedWorkbook, HasTheTwoSheetsInOrder) {
    ASSERT_EQ(book_->sheetCount(), 2u);
    EXPECT_EQ(contract().name(), "契約内訳情報");
    EXPECT_EQ(billing().name(), "請求情報");
}

TEST_F(SavedWorkbook, ContractHeaderTextsAndMerges) {
    EXPECT_EQ(
        RowTexts(contract(), 1, 19),
        (Texts{"得意先コード", "設置場所名", "設置場所住所", "設置場所TEL", "人槽", "容量",
               "処理方式", "契約区分", "契約期間_開始", "契約期間_終了", "行番号", "作業コード",
               "作業名", "現在の金額", "", "", "改定後の金額(記載欄)", "", ""}));
    EXPECT_EQ(RowTexts(contract(), 2, 19),
              (Texts{"", "", "", "", "", "", "", "", "", "", "", "", "", "年間金額", "作業回数",
                     "１回金額", "年間金額", "作業回数", "１回金額"}));
    std::vector<xls::CellRange> expected;
    for (int c = 0; c < 13; ++c)
        expected.push_back({0, 1, c, c});
    expected.push_back({0, 0, 13, 15});
    expected.push_back({0, 0, 16, 18});
    EXPECT_EQ(contract().merges, expected);
}

TEST_F(SavedWorkbook, BillingHeaderTextsAndMergesInExpansionMode) {
    Texts row1{"得意先コード", "設置場所名", "設置場所住所", "設置場所TEL",   "人槽",
               "容量",         "処理方式",   "契約区分",     "契約期間_開始", "契約期間_終了",
               "行番号",       "部門コード", "部門名",       "現在の金額"};
    row1.resize(25);
    row1.push_back("改定後の金額(記載欄)");
    row1.resize(37);
    row1.push_back("部門展開");
    EXPECT_EQ(RowTexts(billing(), 1, 38), row1);
    Texts row2(13);
    for (const auto& m : Months())
        row2.push_back(m);
    for (const auto& m : Months())
        row2.push_back(m);
    row2.push_back("");
    EXPECT_EQ(RowTexts(billing(), 2, 38), row2);
    std::vector<xls::CellRange> expected;
    for (int c = 0; c < 13; ++c)
        expected.push_back({0, 1, c, c});
    expected.push_back({0, 0, 13, 24});
    expected.push_back({0, 0, 25, 36});
    expected.push_back({0, 1, 37, 37});
    EXPECT_EQ(billing().merges, expected);
}

TEST_F(SavedWorkbook, ContractRowsInCustomerAndLineOrderWithWholeNumbers) {
    EXPECT_EQ(LastUsedRow(contract()), 7);
    EXPECT_EQ(RowTexts(contract(), 3, 19),
              (Texts{"1001", "山田浄化槽", "山田浄化槽の住所", "0120-000-000", "5", "5.5",
                     "合併処理", "年間契約", "20200101", "0", "1", "10", "清掃作業", "120000", "12",
                     "10000", "", "", ""}));
    EXPECT_EQ(RowTexts(contract(), 4, 13)[10], "2");
    EXPECT_EQ(RowTexts(contract(), 5, 16),
              (Texts{"1002", "佐藤設備", "佐藤設備の住所", "0120-000-000", "10", "10.25",
                     "合併処理", "年間契約", "20190401", "20230331", "3", "20", "点検作業",
                     "1234567", "2", "617283"}));
    // Nulls of the missing 顧客マスタ and contract rows are empty cells.
    EXPECT_EQ(RowTexts(contract(), 6, 19),
              (Texts{"1003", "", "", "", "5", "5.5", "合併処理", "", "", "", "5", "40", "汲み取り",
                     "12000", "4", "3000", "", "", ""}));
    // Wider than the field: written whole, never cut to its rightmost digits.
    EXPECT_EQ(CellText(contract(), 7, 1), "12345678901");
    EXPECT_EQ(CellText(contract(), 7, 11), "1234");
    // Numeric columns hold numbers.
    EXPECT_TRUE(std::holds_alternative<double>(contract().value(2, 0)));
    EXPECT_TRUE(std::holds_alternative<double>(contract().value(2, 5)));
    EXPECT_TRUE(std::holds_alternative<std::string>(contract().value(2, 1)));
}

TEST_F(SavedWorkbook, BillingRowsWithMonthsAndTheExpansionNotice) {
    EXPECT_EQ(LastUsedRow(billing()), 5);
    Texts first{"1001", "山田浄化槽", "山田浄化槽の住所", "0120-000-000", "5",
                "5.5",  "合併処理",   "年間契約",         "20200101",     "0",
                "1",    "1",          "浄化槽清掃"};
    for (int m = 1; m <= 11; ++m)
        first.push_back("1000");
    first.push_back("2000");
    first.resize(38);
    EXPECT_EQ(RowTexts(billing(), 3, 38), first);
    const Texts second = RowTexts(billing(), 4, 38);
    EXPECT_EQ(second[0], "1002");
    EXPECT_EQ(second[12], "保守点検");
    EXPECT_EQ(second[15], "500");
    EXPECT_EQ(second[37], "浄化槽台帳入力より部門展開の金額調整を行ってください。");
    EXPECT_EQ(CellText(billing(), 5, 1), "12345678901");
    EXPECT_EQ(CellText(billing(), 5, 11), "1234");
    EXPECT_EQ(CellText(billing(), 5, 38), "");
}

TEST_F(SavedWorkbook, HeaderCellsAreGreyCentredAndFramed) {
    for (const xls::Sheet* sheet : {&contract(), &billing()}) {
        // Two-row titles are filled on their first (visible) cell only.
        for (auto [r, c] : {std::pair{1, 1}, {1, 13}, {1, 14}, {2, 14}, {2, 16}}) {
            const auto& f = FormatAt(*sheet, r, c);
            EXPECT_EQ(f.pattern, 1) << sheet->name() << " " << r << "," << c;
            EXPECT_EQ(f.patternColor, kGreyIcv) << sheet->name() << " " << r << "," << c;
            EXPECT_EQ(f.hAlign, 2);
            EXPECT_EQ(f.vAlign, 1);
            EXPECT_EQ(f.left.style, 1);
            EXPECT_EQ(f.top.style, 1);
        }
    }
    // The group fill covers the whole range on the contract sheet.
    EXPECT_EQ(FormatAt(contract(), 1, 15).patternColor, kGreyIcv);
    EXPECT_EQ(FormatAt(contract(), 1, 19).patternColor, kGreyIcv);
    const auto& expansion = FormatAt(billing(), 1, 38);
    EXPECT_EQ(expansion.pattern, 1);
    EXPECT_EQ(expansion.patternColor, kRedIcv);
    EXPECT_EQ(FormatAt(billing(), 2, 38).right.style, 1);
}

TEST_F(SavedWorkbook, EntryCellsAreYellowAndUnlockedAndDataIsFramed) {
    for (int r = 3; r <= 7; ++r) {
        for (int c = 1; c <= 19; ++c) {
            const auto& f = FormatAt(contract(), r, c);
            const bool entry = c >= 17;
            EXPECT_EQ(f.pattern, entry ? 1 : 0) << r << "," << c;
            if (entry) {
                EXPECT_EQ(f.patternColor, kYellowIcv);
            }
            EXPECT_EQ(f.locked, !entry) << r << "," << c;
            EXPECT_EQ(f.left.style, 1);
            EXPECT_EQ(f.right.style, 1);
            EXPECT_EQ(f.top.style, 1);
            EXPECT_EQ(f.bottom.style, 1);
        }
    }
    for (int r = 3; r <= 5; ++r) {
        for (int c = 1; c <= 38; ++c) {
            const auto& f = FormatAt(billing(), r, c);
            const bool yellow = c >= 26 && c <= 37;  // not the expansion column
            EXPECT_EQ(f.pattern, yellow ? 1 : 0) << r << "," << c;
            if (yellow) {
                EXPECT_EQ(f.patternColor, kYellowIcv);
            }
            EXPECT_EQ(f.locked, c < 26) << r << "," << c;
            EXPECT_EQ(f.bottom.style, 1) << r << "," << c;
            EXPECT_EQ(f.right.style, 1) << r << "," << c;
        }
    }
    // Nothing below the last data row.
    EXPECT_EQ(FormatAt(contract(), 8, 17).pattern, 0);
    EXPECT_EQ(FormatAt(contract(), 8, 1).left.style, 0);
}

TEST_F(SavedWorkbook, AmountFormatsOnTheAmountColumnsOnly) {
    for (int c = 1; c <= 19; ++c) {
        const bool amount = c == 14 || c == 16 || c == 17 || c == 19;
        EXPECT_EQ(FormatAt(contract(), 3, c).numberFormat, amount ? "#,##0" : "General") << c;
        EXPECT_EQ(FormatAt(contract(), 100, c).numberFormat, amount ? "#,##0" : "General") << c;
    }
    for (int c = 1; c <= 38; ++c) {
        const bool amount = c >= 14 && c <= 37;
        EXPECT_EQ(FormatAt(billing(), 4, c).numberFormat, amount ? "#,##0" : "General") << c;
    }
}

TEST_F(SavedWorkbook, EveryCellUsesTheSheetFont) {
    for (const xls::Sheet* sheet : {&contract(), &billing()}) {
        for (auto [r, c] : {std::pair{1, 1}, {2, 14}, {3, 1}, {3, 17}, {4, 16}, {200, 60}}) {
            const auto& font = FormatAt(*sheet, r, c).font;
            EXPECT_EQ(font.name, "ＭＳ　ゴシック") << sheet->name() << " " << r << "," << c;
            EXPECT_EQ(font.height, 200) << sheet->name() << " " << r << "," << c;
            EXPECT_EQ(font.color, xls::kAutoColor) << sheet->name() << " " << r << "," << c;
        }
    }
    const auto& notice = FormatAt(billing(), 4, 38).font;
    EXPECT_EQ(notice.name, "ＭＳ　ゴシック");
    EXPECT_EQ(notice.height, 200);
    EXPECT_EQ(notice.color, kRedIcv);
}
