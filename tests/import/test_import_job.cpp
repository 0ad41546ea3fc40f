// The import on F4, end to end: path check, confirmation, both sheets,
// summary, error list and the failure messages.

#include <gtest/gtest.h>

#include "ImportJob.h"
#include "ImportTestSupport.h"

using namespace importtest;

namespace {

const std::string kCrLf = "\r\n";
const std::string kConfirm = "浄化槽金額データの取込を開始してもよろしいですか ";
const std::string kFailed = "浄化槽金額データの取込に失敗しました";
const std::string kNoData = "指定されたExcelには取込対象となるデータがありません";
const std::string kNotFound = "指定されたExcelファイルが見つかりません";
const std::string kOtherFormat =
    "指定されたファイルの形式は取り込めません（Excel形式（.xls/.xlsx）またはODF形式（.ods）の"
    "ファイルを指定してください）";

std::string Summary(const std::string& ok1, const std::string& ng1, const std::string& ok2,
                    const std::string& ng2) {
    return "【 契約内訳情報 】" + kCrLf + "　取込ＯＫ：" + ok1 + " 件" + kCrLf + "　取込ＮＧ：" +
           ng1 + " 件" + kCrLf + kCrLf + kCrLf + "【 　請求情報 　】" + kCrLf + "　取込ＯＫ：" +
           ok2 + " 件" + kCrLf + "　取込ＮＧ：" + ng2 + " 件";
}

// Customer 12345 with contract lines 1 and 2 and billing line 3.
struct Fixture {
    Fixture() : opened(MakeDatabase(dir)), job(opened.mdb, view) {
        Database& db = opened.db();
        AddCustomer(db, 12345);
        AddContractLine(db, 12345, 1, 10, 12000, 12, 1000);
        AddContractLine(db, 12345, 2, 20, 24000, 4, 6000);
        AddBillingLine(db, 12345, 3, 2, 1000);
        path = dir.file("fee.xls");
    }
    std::vector<std::string> texts() const { return view.texts(); }

    TempDir dir;
    OpenedDatabase opened;
    TestImportView view;
    ImportJob job;
    std::string path;
};

SheetSpec GoodContract() {
    SheetSpec s = ContractSheet();
    s.rows.push_back(ContractRow(12345.0, 1.0, 10.0, "清掃", 13200.0, {}, 1100.0));
    s.rows.push_back(ContractRow(12345.0, 2.0, 20.0, "点検", {}, {}, {}));
    return s;
}

SheetSpec GoodBilling() {
    SheetSpec s = BillingSheet();
    s.rows.push_back(BillingRow(12345.0, 3.0, 2.0, "浄化槽清掃", {{4, 1100.0}}));
    return s;
}

}  // namespace

TEST(ImportSummary, CountsRightAlignedInEightColumns) {
    EXPECT_EQ(ImportSummaryText({1234, 0}, {0, 0}),
              Summary("   1,234", "       0", "       0", "       0"));
    EXPECT_EQ(ImportSummaryText({65533, 7}, {12, 99999}),
              Summary("  65,533", "      12", "       7", "  99,999"));
}

TEST(ImportPath, ChecksBeforeAnythingElse) {
    Fixture f;
    std::ofstream(f.dir.file("upper.XLS")) << "x";
    std::ofstream(f.dir.file("new.csv")) << "x";
    std::filesystem::create_directory(f.dir.file("folder.xls"));

    f.job.RunImport("");
    f.job.RunImport("   ");
    f.job.RunImport(f.dir.file("missing.xls"));
    f.job.RunImport(f.dir.file("new.csv"));
    f.job.RunImport(f.dir.file("folder.xls"));
    f.job.RunImport(f.dir.file("*.xls"));
    EXPECT_EQ(f.texts(), (std::vector<std::string>{"Excel取込先を指定してください",
                                                   "Excel取込先を指定してください", kNotFound,
                                                   kOtherFormat, kNotFound, kNotFound}));
    EXPECT_TRUE(f.view.busyChanges.empty());

    // An upper-case extension passes and the confirmation follows.
    f.view.recorded.clear();
    f.view.recorded.answerNext(MsgAnswer::No);
    f.job.RunImport("  " + f.dir.file("upper.XLS") + "  ");
    ASSERT_EQ(f.view.recorded.shown.size(), 1u);
    EXPECT_EQ(f.view.recorded.shown[0].text, kConfirm);
    EXPECT_EQ(f.view.recorded.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(f.view.recorded.shown[0].icon, MsgIcon::Question);
    EXPECT_TRUE(f.view.busyChanges.empty());  // No: nothing happens
}

TEST(ImportJob, ImportsBothSheets) {
    Fixture f;
    WriteWorkbook(f.path, {GoodContract(), GoodBilling()});
    f.job.RunImport(f.path);
    EXPECT_EQ(f.texts(),
              (std::vector<std::string>{
                  kConfirm, "浄化槽金額データの取込が完了しました" + kCrLf + kCrLf +
                                Summary("       1", "       0", "       1", "       0")}));
    EXPECT_EQ(f.view.recorded.shown[1].icon, MsgIcon::Information);
    EXPECT_EQ(f.job.ImportOkCount(0), 1);
    EXPECT_EQ(f.job.ImportOkCount(1), 1);
    const ContractRecord line1 = ReadContract(f.opened.db(), 12345, 1);
    EXPECT_EQ(std::get<std::int64_t>(line1.annual), 13200);
    EXPECT_EQ(std::get<std::int64_t>(line1.perVisit), 1100);
    EXPECT_EQ(std::get<std::int64_t>(ReadBillingMonth(f.opened.db(), 12345, 3, 4).second), 1100);
    EXPECT_EQ(f.view.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_FALSE(f.view.progressVisible);
    EXPECT_FALSE(f.view.errorListVisible);
    EXPECT_TRUE(f.view.errorLines.empty());
}

TEST(ImportJob, HeaderOnlyBookHasNoData) {
    Fixture f;
    SheetSpec contract = ContractSheet();
    contract.rows.push_back(ContractRow(12345.0, 1.0, 10.0, "清掃", {}, {}, {}));
    WriteWorkbook(f.path, {contract, BillingSheet()});
    f.job.RunImport(f.path);
    EXPECT_EQ(f.texts(), (std::vector<std::string>{kConfirm, kNoData}));
    EXPECT_EQ(f.view.recorded.shown[1].icon, MsgIcon::Information);
    EXPECT_EQ(f.view.busyChanges, (std::vector<bool>{true, false}));
}

TEST(ImportJob, RejectedRowsAreListed) {
    Fixture f;
    SheetSpec contract = GoodContract();
    contract.rows.push_back(ContractRow(12345.0, 2.0, 20.0, "点検", {}, 1000.0, {}));
    SheetSpec billing = GoodBilling();
    billing.rows.push_back(
        BillingRow(12345.0, 3.0, 2.0, "浄化槽清掃", {{3, 10.0}, {5, std::string("abc")}}));
    WriteWorkbook(f.path, {contract, billing});
    f.job.RunImport(f.path);
    ASSERT_EQ(f.texts().size(), 2u);
    EXPECT_EQ(f.texts()[1], "浄化槽金額データの取込が完了しました" + kCrLf +
                                "取込できなかったデータを確認してください" + kCrLf + kCrLf +
                                Summary("       1", "       1", "       1", "       1"));
    EXPECT_EQ(f.view.recorded.shown[1].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(f.view.errorListVisible);
    ASSERT_EQ(f.view.errorLines.size(), 2u);
    EXPECT_EQ(f.view.errorLines[0].rfind(
                  "【契約内訳】(R5     )0000012345：作業回数の値の桁数が正しくありません", 0),
              0u);
    EXPECT_EQ(f.view.errorLines[1].rfind(
                  "【請求情報】(AD4    )0000012345：請求金額(5月)が数値として認識できません", 0),
              0u);
}

TEST(ImportJob, BillingHeaderFailureKeepsTheContractChanges) {
    Fixture f;
    SheetSpec billing = GoodBilling();
    billing.headers[25].first = "改定後の金額";
    WriteWorkbook(f.path, {GoodContract(), billing});
    f.job.RunImport(f.path);
    ASSERT_EQ(f.texts().size(), 3u);
    EXPECT_EQ(f.texts()[1].rfind(
                  "【 請求情報 】シートにヘッダー「改定後の金額(記載欄)」が見つかりません(１行目, "
                  "２６列目)",
                  0),
              0u);
    EXPECT_EQ(f.texts()[2], kFailed);
    EXPECT_EQ(std::get<std::int64_t>(ReadContract(f.opened.db(), 12345, 1).annual), 13200);
    EXPECT_EQ(f.view.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_FALSE(f.view.errorListVisible);
}

TEST(ImportJob, BillingWriteFailureAfterTheContractSheetWasCommitted) {
    Fixture f;
    f.opened.db().execute(
        "CREATE TRIGGER refuse BEFORE UPDATE ON 浄化槽請求テーブル "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    SheetSpec contract = GoodContract();
    contract.rows.push_back(ContractRow({}, 2.0, 20.0, "点検", 5.0, {}, {}));  // rejected
    WriteWorkbook(f.path, {contract, GoodBilling()});
    f.job.RunImport(f.path);
    EXPECT_EQ(f.texts(), (std::vector<std::string>{kConfirm, kFailed + "(請求情報)"}));
    EXPECT_FALSE(f.view.errorListVisible);
    EXPECT_TRUE(f.view.errorLines.empty());
    EXPECT_EQ(std::get<std::int64_t>(ReadContract(f.opened.db(), 12345, 1).annual), 13200);
    EXPECT_EQ(std::get<std::int64_t>(ReadBillingMonth(f.opened.db(), 12345, 3, 4).second), 1000);

    // Once the database accepts the write again, the same import goes through,
    // writing sheet 1's rows a second time with the same values.
    f.opened.db().execute("DROP TRIGGER refuse");
    f.view.recorded.clear();
    f.job.RunImport(f.path);
    ASSERT_EQ(f.texts().size(), 2u);
    EXPECT_NE(f.texts()[1].find("取込できなかったデータを確認してください"), std::string::npos);
    EXPECT_EQ(std::get<std::int64_t>(ReadContract(f.opened.db(), 12345, 1).annual), 13200);
    EXPECT_EQ(std::get<std::int64_t>(ReadBillingMonth(f.opened.db(), 12345, 3, 4).second), 1100);
    EXPECT_EQ(f.view.errorLines.size(), 1u);
}

TEST(ImportJob, ContractWriteFailureStopsBeforeTheBillingSheet) {
    Fixture f;
    f.opened.db().execute(
        "CREATE TRIGGER refuse BEFORE UPDATE ON 浄化槽契約内訳マスタ "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    WriteWorkbook(f.path, {GoodContract(), GoodBilling()});
    f.job.RunImport(f.path);
    EXPECT_EQ(f.texts(), (std::vector<std::string>{kConfirm, kFailed + "(契約内訳情報)"}));
    EXPECT_EQ(std::get<std::int64_t>(ReadBillingMonth(f.opened.db(), 12345, 3, 4).second), 1000);
}

TEST(ImportJob, RunningAgainGivesTheSameResultAndSeesSavedCorrections) {
    Fixture f;
    SheetSpec contract = GoodContract();
    contract.rows.push_back(ContractRow(12345.0, 2.0, 20.0, "点検", std::string("x"), {}, {}));
    WriteWorkbook(f.path, {contract, GoodBilling()});
    f.job.RunImport(f.path);
    const auto firstTexts = f.texts();
    const auto firstLines = f.view.errorLines;
    f.view.recorded.clear();
    f.job.RunImport(f.path);
    EXPECT_EQ(f.texts(), firstTexts);
    EXPECT_EQ(f.view.errorLines, firstLines);
    EXPECT_EQ(f.job.ImportNgCount(0), 1);

    // The clerk corrects the cell and saves the book; the next run reads the file again.
    contract.rows.back() = ContractRow(12345.0, 2.0, 20.0, "点検", 30000.0, {}, {});
    WriteWorkbook(f.path, {contract, GoodBilling()});
    f.view.recorded.clear();
    f.job.RunImport(f.path);
    EXPECT_EQ(f.job.ImportNgCount(0), 0);
    EXPECT_EQ(f.job.ImportOkCount(0), 2);
    EXPECT_TRUE(f.view.errorLines.empty());
    EXPECT_EQ(std::get<std::int64_t>(ReadContract(f.opened.db(), 12345, 2).annual), 30000);
}

TEST(ImportJob, UnreadableWorkbookWritesNothing) {
    Fixture f;
    std::ofstream(f.path) << "PK not an xls at all";
    f.job.RunImport(f.path);
    ASSERT_EQ(f.texts().size(), 3u);
    EXPECT_EQ(f.view.recorded.shown[1].title, "");  // the engine's report
    EXPECT_EQ(f.texts()[2], kFailed);
    EXPECT_EQ(f.view.busyChanges, (std::vector<bool>{true, false}));
}

TEST(ImportJob, WorkbookSavedByAnotherApplication) {
    Fixture f;
    SheetSpec contract = ContractSheet();
    contract.rows.push_back(ContractRow(std::string("12345"), std::string("1"), std::string("10"),
                                        "清掃", std::string("1,500"), {}, {}));
    SheetSpec billing = BillingSheet();
    billing.rows.push_back(
        BillingRow(12345.0, 3.0, 2.0, "浄化槽清掃", {{3, 10.0}, {5, std::string("abc")}}));
    WriteWorkbookWithXlwt(f.path, {contract, billing});
    f.job.RunImport(f.path);
    EXPECT_EQ(f.job.ImportOkCount(0), 1);
    EXPECT_EQ(f.job.ImportNgCount(1), 1);
    EXPECT_EQ(std::get<std::int64_t>(ReadContract(f.opened.db(), 12345, 1).annual), 1500);
    ASSERT_EQ(f.view.errorLines.size(), 1u);
    EXPECT_NE(f.view.errorLines[0].find("請求金額(5月)が数値として認識できません"),
              std::string::npos);
    EXPECT_EQ(std::get<std::int64_t>(ReadBillingMonth(f.opened.db(), 12345, 3, 3).second), 1000);
}

namespace {

// A window whose event pump delivers a second F4 while the import runs.
class ImpatientView : public TestImportView {
  public:
    void pumpEvents() override {
        TestImportView::pumpEvents();
        if (job && !pressed && phase.find("取込中") != std::string::npos) {
            pressed = true;
            job->RunImport(path);
        }
    }
    ImportJob* job = nullptr;
    std::string path;
    bool pressed = false;
};

}  // namespace

TEST(ImportJob, SecondF4DuringTheRunIsIgnored) {
    TempDir dir;
    OpenedDatabase opened(MakeDatabase(dir));
    AddCustomer(opened.db(), 12345);
    AddContractLine(opened.db(), 12345, 1, 10, 12000, 12, 1000);
    AddContractLine(opened.db(), 12345, 2, 20, 24000, 4, 6000);
    AddBillingLine(opened.db(), 12345, 3, 2, 1000);
    ImpatientView view;
    ImportJob job(opened.mdb, view);
    view.job = &job;
    view.path = dir.file("fee.xls");
    SheetSpec contract = GoodContract();
    contract.rows.push_back(ContractRow(12345.0, 2.0, 20.0, "点検", 25000.0, {}, {}));
    contract.rows.back()[13] = 24000.0;  // what line 2 held when it was exported
    WriteWorkbook(view.path, {contract, GoodBilling()});
    job.RunImport(view.path);
    EXPECT_TRUE(view.pressed);
    EXPECT_EQ(view.texts().size(), 2u);  // one confirmation, one completion
    EXPECT_EQ(job.ImportOkCount(0), 2);
    EXPECT_EQ(std::get<std::int64_t>(ReadContract(opened.db(), 12345, 2).annual), 25000);
}
