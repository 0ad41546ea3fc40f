// The export job as the window sees it: result, messages, progress, phases,
// busy state and clean-up, saving and its failures, ExpansionMode.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "ExportTestSupport.h"
#include "PlatformError.h"

namespace {

namespace fs = std::filesystem;

// One contract line and one billing record for each of customers 1..n.
void FillCustomers(FeeDatabase& fee, int customers) {
    AddMasters(fee);
    for (int code = 1; code <= customers; ++code) {
        fee.customer(code, "顧客" + std::to_string(code));
        fee.contract(code, std::int64_t{20200101}, std::int64_t{0});
        fee.line(code, 1, 10);
        fee.billing(code, 1, 1, kMonthly);
    }
}

class ExportJob : public ::testing::Test {
  protected:
    std::unique_ptr<xls::Workbook> run(bool& expansionMode, bool expectSaved = true) {
        result = ExportFeeData(fee.get(), request, expansionMode, view);
        if (!expectSaved)
            return nullptr;
        return xls::ReadXlsFile(output);
    }
    // The window is idle again, whatever happened.
    void expectCleanedUp() {
        EXPECT_FALSE(view.busy);
        ASSERT_FALSE(view.busyChanges.empty());
        EXPECT_TRUE(view.busyChanges.front());
        EXPECT_FALSE(view.busyChanges.back());
        EXPECT_EQ(view.progress, 0);
        EXPECT_FALSE(view.progressVisible);
        EXPECT_EQ(view.phase, "");
        EXPECT_FALSE(view.phaseVisible);
        EXPECT_FALSE(view.progressOutOfRange);
        EXPECT_EQ(view.focusCalls, 1);
    }

    ExportTempDir dir;
    FeeDatabase fee{dir, true};
    std::string output = dir.file("out.xls");
    ExportRequest request = AllDepartments(output);
    TestExportView view;
    bool result = false;
};

}  // namespace

TEST_F(ExportJob, ReportsPhasesProgressAndPumpsAndReturnsToIdle) {
    FillCustomers(fee, 3);
    fee.billing(1, 2, 2, kMonthly);
    bool expansionMode = false;
    const auto book = run(expansionMode);
    EXPECT_TRUE(result);
    EXPECT_TRUE(view.recorded.shown.empty());
    EXPECT_EQ(view.phases, (std::vector<std::string>{"Excelデータ抽出中・・・",
                                                     "（契約内訳情報）Excelデータ出力中・・・",
                                                     "（請求情報）Excelデータ出力中・・・"}));
    // Once before each sheet and once after each of 3 + 4 records.
    EXPECT_EQ(view.pumps, 2 + 3 + 4);
    expectCleanedUp();
    EXPECT_EQ(LastUsedRow(book->sheet(0)), 5);
    EXPECT_EQ(LastUsedRow(book->sheet(1)), 6);
}

TEST_F(ExportJob, NothingToExportSavesNothingAndReportsSuccess) {
    AddMasters(fee);
    fee.customer(1, "廃止済み", 1);
    fee.contract(1, std::int64_t{20200101}, std::int64_t{0});
    fee.line(1, 1, 10);
    fee.billing(1, 1, 1, kMonthly);
    bool expansionMode = true;
    run(expansionMode, false);
    EXPECT_TRUE(result);
    ASSERT_EQ(view.recorded.shown.size(), 1u);
    EXPECT_EQ(view.recorded.shown[0].text, "該当するデータが存在しません");
    EXPECT_EQ(view.recorded.shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(view.recorded.shown[0].title, kMessageTitle);
    EXPECT_FALSE(fs::exists(output));
    // An empty billing result clears the mode.
    EXPECT_FALSE(expansionMode);
    expectCleanedUp();
}

TEST_F(ExportJob, SheetWithoutRecordsHasTheHeaderOnly) {
    FillCustomers(fee, 2);
    fee.exec("DELETE FROM 浄化槽契約内訳マスタ");
    bool expansionMode = false;
    const auto book = run(expansionMode);
    ASSERT_TRUE(result);
    const xls::Sheet& contract = book->sheet(0);
    EXPECT_EQ(LastUsedRow(contract), 2);
    EXPECT_EQ(LastUsedColumn(contract), 19);
    EXPECT_EQ(CellText(contract, 1, 17), "改定後の金額(記載欄)");
    // No number formats, yellow, borders or unlocking without data.
    EXPECT_EQ(FormatAt(contract, 1, 14).numberFormat, "General");
    EXPECT_EQ(FormatAt(contract, 3, 14).numberFormat, "General");
    EXPECT_EQ(FormatAt(contract, 3, 17).pattern, 0);
    EXPECT_TRUE(FormatAt(contract, 3, 17).locked);
    EXPECT_EQ(LastUsedRow(book->sheet(1)), 4);
}

TEST_F(ExportJob, BillingSheetWithoutRecordsHasTheHeaderOnlyAndNoExpansionColumn) {
    FillCustomers(fee, 2);
    fee.expansion(1, 1);
    fee.exec("DELETE FROM 浄化槽請求テーブル");
    bool expansionMode = true;
    const auto book = run(expansionMode);
    ASSERT_TRUE(result);
    EXPECT_FALSE(expansionMode);
    const xls::Sheet& billing = book->sheet(1);
    EXPECT_EQ(LastUsedRow(billing), 2);
    EXPECT_EQ(LastUsedColumn(billing), 37);
    EXPECT_EQ(FormatAt(billing, 3, 14).numberFormat, "General");
}

TEST_F(ExportJob, ExpansionModeIsClearedWhenNoExportedCustomerIsExpanded) {
    FillCustomers(fee, 2);
    fee.customer(50, "対象外");  // in the table, but has no billing record
    fee.expansion(50, 1);
    bool expansionMode = CheckExpansionTable(fee.get());
    ASSERT_TRUE(expansionMode);
    const auto book = run(expansionMode);
    ASSERT_TRUE(result);
    EXPECT_FALSE(expansionMode);
    EXPECT_EQ(LastUsedColumn(book->sheet(1)), 37);
    EXPECT_EQ(CellText(book->sheet(1), 1, 38), "");
}

TEST_F(ExportJob, ExpansionColumnWhenAnExportedCustomerIsExpanded) {
    FillCustomers(fee, 3);
    fee.billing(2, 2, 1, kMonthly);
    fee.expansion(2, 1);
    fee.expansion(2, 4);
    bool expansionMode = true;
    const auto book = run(expansionMode);
    ASSERT_TRUE(result);
    EXPECT_TRUE(expansionMode);
    const xls::Sheet& billing = book->sheet(1);
    EXPECT_EQ(LastUsedRow(billing), 6);
    EXPECT_EQ(CellText(billing, 1, 38), "部門展開");
    const std::string notice = "浄化槽台帳入力より部門展開の金額調整を行ってください。";
    EXPECT_EQ(CellText(billing, 3, 38), "");
    EXPECT_EQ(CellText(billing, 4, 38), notice);  // customer 2, both records
    EXPECT_EQ(CellText(billing, 5, 38), notice);
    EXPECT_EQ(CellText(billing, 6, 38), "");
    EXPECT_FALSE(FormatAt(billing, 6, 38).locked);
}

TEST_F(ExportJob, WithoutTheExpansionTableThereIsNoExpansionColumn) {
    ExportTempDir otherDir;
    FeeDatabase plain(otherDir, false);
    FillCustomers(plain, 2);
    bool expansionMode = CheckExpansionTable(plain.get());
    EXPECT_FALSE(expansionMode);
    result = ExportFeeData(plain.get(), request, expansionMode, view);
    ASSERT_TRUE(result);
    const auto book = xls::ReadXlsFile(output);
    EXPECT_EQ(LastUsedColumn(book->sheet(1)), 37);
}

TEST_F(ExportJob, CheckExpansionTableComparesTheExactName) {
    EXPECT_TRUE(CheckExpansionTable(fee.get()));
    EXPECT_FALSE(CheckExpansionTable(nullptr));
    ExportTempDir otherDir;
    FeeDatabase plain(otherDir, false);
    plain.exec("CREATE TABLE \"浄化槽請求展開テーブル2\" (得意先コード INTEGER)");
    plain.exec("CREATE TABLE \"浄化槽請求展開\" (得意先コード INTEGER)");
    EXPECT_FALSE(CheckExpansionTable(plain.get()));
}

TEST_F(ExportJob, ContractQueryThatCannotBeOpened) {
    FillCustomers(fee, 1);
    fee.exec("DROP TABLE 浄化槽契約内訳マスタ");
    bool expansionMode = false;
    run(expansionMode, false);
    EXPECT_FALSE(result);
    ASSERT_EQ(view.recorded.shown.size(), 1u);
    EXPECT_EQ(view.recorded.shown[0].text, "ファイルがオープンできません(契約内訳情報)");
    EXPECT_EQ(view.recorded.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(view.recorded.shown[0].title, kMessageTitle);
    EXPECT_FALSE(fs::exists(output));
    expectCleanedUp();
}

TEST_F(ExportJob, BillingQueryThatCannotBeOpenedDiscardsTheContractSheet) {
    FillCustomers(fee, 1);
    fee.exec("DROP TABLE 浄化槽請求展開テーブル");
    bool expansionMode = true;  // the pre-check saw the table; it is gone now
    run(expansionMode, false);
    EXPECT_FALSE(result);
    ASSERT_EQ(view.recorded.shown.size(), 1u);
    EXPECT_EQ(view.recorded.shown[0].text, "ファイルがオープンできません(請求情報)");
    EXPECT_EQ(view.recorded.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_FALSE(fs::exists(output));
    expectCleanedUp();
}

namespace {

// A window whose event pump fails once the job has written some rows.
class FailingView : public TestExportView {
  public:
    void pumpEvents() override {
        TestExportView::pumpEvents();
        if (pumps == 3)
            throw PlatformError(1004, "アプリケーションが応答しません。");
    }
};

}  // namespace

TEST_F(ExportJob, RuntimeErrorShowsItsDescriptionAndSavesNothing) {
    FillCustomers(fee, 4);
    FailingView failing;
    bool expansionMode = false;
    EXPECT_FALSE(ExportFeeData(fee.get(), request, expansionMode, failing));
    ASSERT_EQ(failing.recorded.shown.size(), 1u);
    EXPECT_EQ(failing.recorded.shown[0].text, "アプリケーションが応答しません。");
    EXPECT_EQ(failing.recorded.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(failing.recorded.shown[0].title, kMessageTitle);
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(failing.busy);
    EXPECT_FALSE(failing.progressVisible);
    EXPECT_FALSE(failing.phaseVisible);
}

TEST_F(ExportJob, SaveIntoAMissingFolderFailsAndLeavesNoFile) {
    FillCustomers(fee, 2);
    request.outputPath = dir.file("missing/out.xls");
    bool expansionMode = false;
    run(expansionMode, false);
    EXPECT_FALSE(result);
    // The wrapper's own report, nothing from the job.
    ASSERT_EQ(view.recorded.shown.size(), 1u);
    EXPECT_EQ(view.recorded.shown[0].icon, MsgIcon::None);
    EXPECT_FALSE(fs::exists(dir.file("missing")));
    expectCleanedUp();
}

TEST_F(ExportJob, DecliningToReplaceAnExistingFileLeavesItUntouched) {
    FillCustomers(fee, 2);
    WriteFile(output, "an older workbook");
    view.recorded.answerNext(MsgAnswer::No);
    bool expansionMode = false;
    run(expansionMode, false);
    EXPECT_FALSE(result);
    ASSERT_FALSE(view.recorded.shown.empty());
    EXPECT_EQ(view.recorded.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(FileBytes(output), "an older workbook");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(output).parent_path()),
                            fs::directory_iterator{}),
              2);  // the database and the old file
    expectCleanedUp();
}

TEST_F(ExportJob, AcceptingToReplaceAnExistingFileWritesTheWorkbook) {
    FillCustomers(fee, 2);
    WriteFile(output, "an older workbook");
    bool expansionMode = false;
    const auto book = run(expansionMode);
    EXPECT_TRUE(result);
    ASSERT_EQ(view.recorded.shown.size(), 1u);  // the replace question, answered Yes
    EXPECT_EQ(view.recorded.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(LastUsedRow(book->sheet(0)), 4);
}

TEST_F(ExportJob, TooManyContractLinesEndTheJobWithoutSaving) {
    AddMasters(fee);
    fee.customer(1, "大口顧客");
    fee.contract(1, std::int64_t{20200101}, std::int64_t{0});
    fee.exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 65534) "
        "INSERT INTO 浄化槽契約内訳マスタ SELECT 1, i, 10, 12000, 4, 3000 FROM n");
    bool expansionMode = false;
    run(expansionMode, false);
    EXPECT_FALSE(result);
    ASSERT_EQ(view.recorded.shown.size(), 1u);
    EXPECT_EQ(view.recorded.shown[0].text,
              "「契約内訳情報」シートに出力できる行数（65,533行）を超えています");
    EXPECT_EQ(view.recorded.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_FALSE(fs::exists(output));
    expectCleanedUp();
}

TEST_F(ExportJob, TooManyBillingRecordsEndTheJobWithoutSaving) {
    AddMasters(fee);
    fee.customer(1, "大口顧客");
    fee.contract(1, std::int64_t{20200101}, std::int64_t{0});
    fee.line(1, 1, 10);
    fee.exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 65534) "
        "INSERT INTO 浄化槽請求テーブル SELECT 1, i, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, "
        "100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100 FROM n");
    bool expansionMode = false;
    run(expansionMode, false);
    EXPECT_FALSE(result);
    ASSERT_EQ(view.recorded.shown.size(), 1u);
    EXPECT_EQ(view.recorded.shown[0].text,
              "「請求情報」シートに出力できる行数（65,533行）を超えています");
    EXPECT_FALSE(fs::exists(output));
    expectCleanedUp();
}
