// The check-only run (F3): the rows F4 rejects, line for line, the stale
// amounts, one read transaction, and a database left byte for byte.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <utility>

#include "CheckRun.h"
#include "CheckTestSupport.h"

using namespace checktest;

namespace {

const std::string kCrLf = "\r\n";
const std::string kCheckQuestion = "浄化槽金額データの確認を開始してもよろしいですか ";
const std::vector<MsgAnswer> kNoCopy{MsgAnswer::Yes, MsgAnswer::Ok, MsgAnswer::No};

}  // namespace

TEST(CheckRun, RejectsWhatTheImportRejectsAndWritesNothing) {
    TempDir dir;
    const auto dbs = Databases(dir, 1, FillDatabase);
    const std::string book = dir.file("fee.xls");
    WriteWorkbook(book, MixedWorkbook());
    const std::string before = FileBytes(dbs[0]);

    Session check(dbs[0], kNoCopy);
    check.job.RunCheck(book);
    EXPECT_EQ(FileBytes(dbs[0]), before);
    Session import(dbs[1]);
    import.job.RunImport(book);

    // F4's lines in F4's order, then the stale row; the same counts.
    ASSERT_EQ(import.view.errorLines.size(), 6u);
    std::vector<std::string> expected = import.view.errorLines;
    expected.push_back(StaleLine("【契約内訳】(N4     )0000012345："));
    EXPECT_EQ(check.view.errorLines, expected);
    for (int sheet = 0; sheet < 2; ++sheet) {
        EXPECT_EQ(check.job.ImportOkCount(sheet), import.job.ImportOkCount(sheet));
        EXPECT_EQ(check.job.ImportNgCount(sheet), import.job.ImportNgCount(sheet));
    }
    // Row 3's annual and per-visit amounts, row 4's annual amount and April change.
    EXPECT_EQ(
        check.view.texts(),
        (std::vector<std::string>{
            kCheckQuestion,
            "浄化槽金額データの確認が完了しました" + kCrLf + "一覧の内容を確認してください" +
                kCrLf + kCrLf + "【 契約内訳情報 】" + kCrLf + "　取込可能：       2 件" + kCrLf +
                "　取込ＮＧ：       5 件" + kCrLf + kCrLf + kCrLf + "【 　請求情報 　】" + kCrLf +
                "　取込可能：       1 件" + kCrLf + "　取込ＮＧ：       1 件" + kCrLf + kCrLf +
                kCrLf + "　変更される金額：       4 件" + kCrLf +
                "　出力後にマスタが変更された行：       1 件",
            "確認結果を印を付けたExcelに保存しますか"}));
    EXPECT_EQ(check.view.recorded.shown[1].icon, MsgIcon::Exclamation);
    EXPECT_EQ(check.view.phases[1], "（契約内訳情報）Excelデータ確認中・・・");

    EXPECT_EQ(std::get<std::int64_t>(ReadContract(import.opened.db(), 12345, 1).annual), 13200);
    check.opened.mdb.CloseDatabase();
    EXPECT_EQ(FileBytes(dbs[0]), before);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"db0.db", "db1.db", "fee.xls"}));
}

TEST(CheckRun, StaleAmountsFoundAndOnlyThose) {
    TempDir dir;
    const auto dbs = Databases(dir, 0, [](Database& db) {
        FillDatabase(db);
        auto set = [&](const char* table, const std::string& assignment, int id) {
            db.execute(std::string("UPDATE ") + table + " SET " + assignment +
                       " WHERE ＩＤ = " + std::to_string(id));
        };
        set("浄化槽契約内訳マスタ", "年間金額 = 12000.4", 1);  // shown as 12000 once rounded
        AddContractLine(db, 12345, 3, 10, 0, 12, 1000);
        set("浄化槽契約内訳マスタ", "年間金額 = NULL", 3);   // an empty cell
        AddContractLine(db, 12345, 4, 10, 12000, 13, 1000);  // visits changed
        AddContractLine(db, 12345, 5, 30, 99, 12, 1000);     // rejected: not compared
        AddContractLine(db, 12345, 6, 10, 12000, 13, 1000);  // holds what is entered
        set("浄化槽請求テーブル", "請求金額７ = 1500", 3);
        AddBillingLine(db, 12345, 4, 2, 1000);
    });
    SheetSpec contract = ContractSheet();
    contract.rows = {ContractRow(12345.0, 1.0, 10.0, "清掃", 1.0, {}, {}),
                     ContractRow(12345.0, 2.0, 20.0, "点検", {}, 5.0, {}),
                     ContractRow(12345.0, 3.0, 10.0, "清掃", 1.0, {}, {}),
                     ContractRow(12345.0, 4.0, 10.0, "清掃", {}, 14.0, {}),
                     ContractRow(12345.0, 5.0, 10.0, "清掃", 1.0, {}, {}),
                     ContractRow(12345.0, 6.0, 10.0, "清掃", {}, 13.0, {})};
    contract.rows[2][13] = Cell{};
    SheetSpec billing = BillingSheet();
    billing.rows = {BillingRow(12345.0, 3.0, 2.0, "浄化槽清掃", {{7, 1600.0}}),
                    BillingRow(12345.0, 4.0, 2.0, "浄化槽清掃", {{7, 1600.0}})};
    WriteWorkbook(dir.file("fee.xls"), {contract, billing});

    Session check(dbs[0], kNoCopy);
    check.job.RunCheck(dir.file("fee.xls"));
    EXPECT_EQ(check.view.errorLines,
              (std::vector<std::string>{ListLine("【契約内訳】(A7     )0000012345：",
                                                 "5行目の作業[清掃]がマスタと異なっています", 41),
                                        // line 2 writes its visits only: 12 shown, 4 held
                                        StaleLine("【契約内訳】(O4     )0000012345："),
                                        StaleLine("【契約内訳】(O6     )0000012345："),
                                        StaleLine("【請求情報】(T3     )0000012345：")}));
    EXPECT_EQ(check.job.Findings().StaleCount(), 3);
    // Every entry but the rejected line 5's (line 3's Null is replaced by any number).
    EXPECT_EQ(check.job.Findings().ChangingAmounts(), 6);
}

TEST(CheckRun, HoldsOneReadTransactionOverBothSheets) {
    TempDir dir;
    const auto dbs = Databases(dir, 0, FillDatabase);
    WriteWorkbook(dir.file("fee.xls"), MixedWorkbook());
    // Another program storing a billing amount while the check reads the
    // first sheet must wait, so the check sees one state of the database.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dbs[0].c_str(), &other), SQLITE_OK);
    int commitDuringCheck = -1;
    struct WritingView : TestImportView {
        std::function<void()> onPump;
        void pumpEvents() override {
            TestImportView::pumpEvents();
            if (onPump && phase == "（契約内訳情報）Excelデータ確認中・・・")
                std::exchange(onPump, nullptr)();
        }
    } view;
    view.onPump = [&] {
        sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE 浄化槽請求テーブル SET 請求金額７ = 1500",
                     nullptr, nullptr, nullptr);
        commitDuringCheck = sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    };
    for (MsgAnswer answer : kNoCopy)
        view.recorded.answerNext(answer);
    OpenedDatabase opened(dbs[0]);
    ImportJob job(opened.mdb, view);
    job.RunCheck(dir.file("fee.xls"));
    EXPECT_EQ(commitDuringCheck, SQLITE_BUSY);
    EXPECT_EQ(job.Findings().StaleCount(), 1) << "billing seen as it was";
    // Afterwards nothing of the check holds the database.
    EXPECT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE; COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
}

TEST(CheckRun, BadInputGetsTheImportsMessagesAndNothingIsWritten) {
    TempDir dir;
    const auto dbs = Databases(dir, 1, FillDatabase);
    const std::string before = FileBytes(dbs[0]);
    std::ofstream(dir.file("damaged.xls")) << "not a workbook at all";
    SheetSpec foreign = ContractSheet();
    foreign.name = "Sheet1";
    WriteWorkbook(dir.file("foreign.xls"), {foreign, BillingSheet()});
    SheetSpec header = BillingSheet();
    header.headers[13].first = "今の金額";
    WriteWorkbook(dir.file("header.xls"), {ContractSheet(), header});
    const std::vector<std::string> names = dir.names();

    for (const std::string name : {"", "missing.xls", "damaged.xls", "foreign.xls", "header.xls"}) {
        const std::string path = name.empty() ? "" : dir.file(name);
        Session check(dbs[0]);
        check.job.RunCheck(path);
        Session import(dbs[1]);
        import.job.RunImport(path);
        // F4's boxes, with 確認 for 取込 in the question and the failure.
        std::vector<std::string> expected = import.view.texts();
        for (std::string& text : expected) {
            for (const char* verb : {"取込を開始", "取込に失敗"}) {
                if (const auto at = text.find(verb); at != std::string::npos)
                    text.replace(at, std::string("取込").size(), "確認");
            }
        }
        EXPECT_EQ(check.view.texts(), expected) << name;
        EXPECT_FALSE(check.view.errorListVisible);
    }
    EXPECT_EQ(FileBytes(dbs[0]), before);
    EXPECT_EQ(dir.names(), names) << "no marked copy, no journal";

    Session no(dbs[0], {MsgAnswer::No});
    WriteWorkbook(dir.file("fee.xls"), MixedWorkbook());
    no.job.RunCheck(dir.file("fee.xls"));
    EXPECT_EQ(no.view.texts(), std::vector<std::string>{kCheckQuestion});
    EXPECT_TRUE(no.view.busyChanges.empty());
}
