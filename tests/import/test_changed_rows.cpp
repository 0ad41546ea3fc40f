// Two workstations on one database: rows whose amounts another workstation
// changed after the export are asked about once before anything is written,
// written, skipped or not imported at all as answered, and compared again
// inside the write, on a file (two connections) and on the server; imports
// and undos one after another on the same field.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "AmountConflict.h"
#include "CheckTestSupport.h"
#include "ImportJournal.h"
#include "Schema.h"
#include "ServerDatabase.h"
#include "UndoImport.h"
#include "gMjDisp.h"

using namespace checktest;

namespace {

const std::string kCrLf = "\r\n";
const std::string kStart = "浄化槽金額データの取込を開始してもよろしいですか ";
const std::string kCancelled =
    "浄化槽金額データの取込を中止しました" + kCrLf + "データベースには何も書き込まれていません";

// Boxes recorded and answered as queued; `onQuestion` runs when the
// question about changed rows is shown, before it is answered.
class QuestionMessages : public RecordingMessages {
  public:
    MsgAnswer show(const std::string& text, const std::string& title, MsgIcon icon,
                   MsgButtons buttons) override {
        if (buttons == MsgButtons::YesNoCancel && onQuestion)
            onQuestion();
        return RecordingMessages::show(text, title, icon, buttons);
    }
    std::function<void()> onQuestion;
};

// `onPhase` runs whenever a phase text is shown.
class QuestionView : public TestImportView {
  public:
    MessageSink& messages() override { return boxes; }
    void setPhase(const std::string& text) override {
        TestImportView::setPhase(text);
        if (onPhase)
            onPhase(text);
    }
    QuestionMessages boxes;
    std::function<void(const std::string&)> onPhase;
};

// Customer 12345: contract lines 1 to 4 and billing line 3 as exported (the
// workbook shows 12000/12/1000 and 1000 a month); line 4's annual amount
// is 12000.4, which the export shows as 12000.
void FillExported(Database& db) {
    AddCustomer(db, 12345);
    for (std::int64_t line = 1; line <= 3; ++line)
        AddContractLine(db, 12345, line, 10, 12000, 12, 1000);
    AddContractLine(db, 12345, 4, 10, 12000.4, 12, 1000);
    AddBillingLine(db, 12345, 3, 2, 1000);
}

// Every line gets a new annual amount (line 2 a new visit count instead);
// billing line 3 a new April.
std::vector<SheetSpec> RevisedWorkbook() {
    SheetSpec contract = ContractSheet();
    contract.rows = {ContractRow(12345.0, 1.0, 10.0, "清掃", 13200.0, {}, {}),
                     ContractRow(12345.0, 2.0, 10.0, "清掃", {}, 24.0, {}),
                     ContractRow(12345.0, 3.0, 10.0, "清掃", 13200.0, {}, {}),
                     ContractRow(12345.0, 4.0, 10.0, "清掃", 13200.0, {}, {})};
    SheetSpec billing = BillingSheet();
    billing.rows = {BillingRow(12345.0, 3.0, 2.0, "浄化槽清掃", {{4, 1100.0}})};
    return {contract, billing};
}

std::string Question(int rows) {
    return "出力後にマスタの金額が変更された行が " + std::to_string(rows) +
           " 件あります。変更された行も取り込みますか";
}

double Annual(Database& db, std::int64_t line) {
    return FieldNumber(ReadContract(db, 12345, line).annual);
}
double Visits(Database& db, std::int64_t line) {
    return FieldNumber(ReadContract(db, 12345, line).visits);
}
double April(Database& db) {
    return FieldNumber(ReadBillingMonth(db, 12345, 3, 4).second);
}

std::int64_t JournalEntries(Database& db) {
    if (!db.hasTable("浄化槽金額取込履歴"))
        return 0;
    Statement st = db.prepare("SELECT COUNT(*) FROM 浄化槽金額取込履歴");
    st.step();
    return st.columnInt(0);
}

// The database on a file or on the test server, the workbook, and the other
// workstation's own connection.
class Workstations : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (GetParam()) {
            SKIP_WITHOUT_SERVER();
            server_.emplace();
            name_ = server_->conninfo();
            Database db(name_, false);
            CreateSchema(db, false);
            FillExported(db);
        } else {
            name_ = dir_.file("septic.db");
            CreateEmptyDatabase(name_, false);
            Database db(name_, false);
            FillExported(db);
        }
        book_ = dir_.file("fee.xls");
        WriteWorkbook(book_, RevisedWorkbook());
        other_.emplace(name_, false);
    }

    // The other workstation stores a value and commits.
    void Change(const std::string& assignment, const char* table = "浄化槽契約内訳マスタ",
                std::int64_t line = 3) {
        other_->execute(std::string("UPDATE ") + table + " SET " + assignment +
                        " WHERE 得意先コード = 12345 AND ＩＤ = " + std::to_string(line));
    }

    struct Run {
        std::vector<std::string> texts;
        std::vector<MsgIcon> icons;
        std::vector<std::string> errorLines;
        std::array<std::int32_t, 2> ok{}, ng{};
    };
    Run Import(std::optional<MsgAnswer> answer, std::function<void()> onQuestion = {},
               std::function<void(const std::string&)> onPhase = {}) {
        OpenedDatabase opened(name_);
        QuestionView view;
        view.boxes.onQuestion = std::move(onQuestion);
        view.onPhase = std::move(onPhase);
        view.boxes.answerNext(MsgAnswer::Yes);
        if (answer)
            view.boxes.answerNext(*answer);
        ImportJob job(opened.mdb, view);
        job.RunImport(book_);
        Run run;
        run.texts = view.boxes.texts();
        for (const auto& shown : view.boxes.shown)
            run.icons.push_back(shown.icon);
        run.errorLines = view.errorLines;
        for (int sheet = 0; sheet < 2; ++sheet) {
            run.ok[static_cast<std::size_t>(sheet)] = job.ImportOkCount(sheet);
            run.ng[static_cast<std::size_t>(sheet)] = job.ImportNgCount(sheet);
        }
        return run;
    }
    Database& other() { return *other_; }

    TempDir dir_;
    std::optional<ServerDatabase> server_;
    std::string name_;
    std::string book_;
    std::optional<Database> other_;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(FileAndServer, Workstations, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Server" : "File"; });

TEST_P(Workstations, NothingChangedAsksNothing) {
    // Line 4's 12000.4 is what the workbook shows once rounded.
    const Run run = Import(std::nullopt);
    ASSERT_EQ(run.texts.size(), 2u);
    EXPECT_EQ(run.texts[0], kStart);
    EXPECT_EQ(run.texts[1].rfind("浄化槽金額データの取込が完了しました" + kCrLf + kCrLf, 0), 0u);
    EXPECT_EQ(run.ok, (std::array<std::int32_t, 2>{4, 1}));
    EXPECT_EQ(Annual(other(), 4), 13200);
    EXPECT_EQ(April(other()), 1100);
}

TEST_P(Workstations, ChangedRowsAskedOnceThenAsAnswered) {
    // Line 3's annual amount and the April bill changed after the export;
    // line 2's annual amount too, but line 2 writes only its visit count.
    Change("年間金額 = 12500");
    Change("年間金額 = 30000", "浄化槽契約内訳マスタ", 2);
    Change("請求金額４ = 1050", "浄化槽請求テーブル");
    const std::string keptLine3 = StaleLine("【契約内訳】(N5     )0000012345：");
    const std::string keptApril = StaleLine("【請求情報】(Q3     )0000012345：");
    struct Case {
        MsgAnswer answer;
        double line3, april;
        std::array<std::int32_t, 2> ok, ng;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {MsgAnswer::Yes, 13200, 1100, {4, 1}, {0, 0}, {}},
        {MsgAnswer::No, 12500, 1050, {3, 0}, {1, 1}, {keptLine3, keptApril}},
        {MsgAnswer::Cancel, 12500, 1050, {0, 0}, {0, 0}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        Change("年間金額 = 12500");
        Change("年間金額 = 12000", "浄化槽契約内訳マスタ", 1);
        Change("作業回数 = 12", "浄化槽契約内訳マスタ", 2);
        Change("年間金額 = 12000.4", "浄化槽契約内訳マスタ", 4);
        Change("請求金額４ = 1050", "浄化槽請求テーブル");
        const std::int64_t entries = JournalEntries(other());
        const Run run = Import(c.answer);
        ASSERT_GE(run.texts.size(), 3u);
        EXPECT_EQ(run.texts[1], Question(2));
        EXPECT_EQ(run.icons[1], MsgIcon::Question);
        EXPECT_EQ(Annual(other(), 3), c.line3);
        EXPECT_EQ(April(other()), c.april);
        EXPECT_EQ(Annual(other(), 2), 30000) << "never written";
        EXPECT_EQ(Visits(other(), 2), c.answer == MsgAnswer::Cancel ? 12 : 24);
        EXPECT_EQ(Annual(other(), 1), c.answer == MsgAnswer::Cancel ? 12000 : 13200);
        EXPECT_EQ(run.errorLines, c.listed);
        if (c.answer == MsgAnswer::Cancel) {
            EXPECT_EQ(run.texts, (std::vector<std::string>{kStart, Question(2), kCancelled}));
            EXPECT_EQ(run.icons[2], MsgIcon::Information);
            EXPECT_EQ(JournalEntries(other()), entries) << "no journal entry either";
            continue;
        }
        EXPECT_EQ(run.ok, c.ok);
        EXPECT_EQ(run.ng, c.ng);
    }
}

TEST_P(Workstations, RowChangedWhileAskedIsNeverOverwritten) {
    // Asked about line 3, the clerk says Yes; meanwhile the other workstation
    // changes line 3 once more and line 1 and the April bill for the first time.
    Change("年間金額 = 12500");
    const Run run = Import(MsgAnswer::Yes, [&] {
        Change("年間金額 = 12600");
        Change("[1回分の金額] = 1001", "浄化槽契約内訳マスタ", 1);  // not written: no conflict
        Change("年間金額 = 12100", "浄化槽契約内訳マスタ", 1);
        Change("請求金額４ = 1070", "浄化槽請求テーブル");
    });
    ASSERT_GE(run.texts.size(), 3u);
    EXPECT_EQ(run.texts[1], Question(1));
    EXPECT_EQ(Annual(other(), 3), 12600);
    EXPECT_EQ(Annual(other(), 1), 12100);
    EXPECT_EQ(April(other()), 1070);
    EXPECT_EQ(Annual(other(), 4), 13200);
    EXPECT_EQ(run.errorLines,
              (std::vector<std::string>{StaleLine("【契約内訳】(N3     )0000012345："),
                                        StaleLine("【契約内訳】(N5     )0000012345："),
                                        StaleLine("【請求情報】(Q3     )0000012345：")}));
    EXPECT_EQ(run.ok, (std::array<std::int32_t, 2>{2, 0}));
    EXPECT_EQ(run.ng, (std::array<std::int32_t, 2>{2, 1}));
    EXPECT_EQ(run.icons.back(), MsgIcon::Exclamation);
}

TEST_P(Workstations, RowChangedAfterItsSheetWasScannedIsNeverOverwritten) {
    // The contract sheet was found unchanged; while the billing sheet is
    // read, before anything is asked or written, line 3 changes.
    bool changed = false;
    const Run run = Import(std::nullopt, {}, [&](const std::string& phase) {
        if (!changed && phase.find("請求情報") != std::string::npos) {
            changed = true;
            Change("年間金額 = 12500");
        }
    });
    ASSERT_TRUE(changed);
    ASSERT_EQ(run.texts.size(), 2u) << "nothing asked";
    EXPECT_EQ(Annual(other(), 3), 12500);
    EXPECT_EQ(Annual(other(), 1), 13200);
    EXPECT_EQ(April(other()), 1100);
    EXPECT_EQ(run.errorLines,
              (std::vector<std::string>{StaleLine("【契約内訳】(N5     )0000012345：")}));
    EXPECT_EQ(run.ok, (std::array<std::int32_t, 2>{3, 1}));
    EXPECT_EQ(run.ng, (std::array<std::int32_t, 2>{1, 0}));
}

TEST_P(Workstations, ALineBeyondTheSheetsLineNumbersIsNoOtherLinesChange) {
    // Line 65,539 shares its low 16 bits with line 3, which the sheet names;
    // its own amounts say nothing about line 3.
    AddContractLine(other(), 12345, 65539, 10, 99999, 12, 1000);
    const Run run = Import(std::nullopt);
    ASSERT_EQ(run.texts.size(), 2u) << "nothing asked";
    EXPECT_EQ(Annual(other(), 3), 13200);
    EXPECT_EQ(Annual(other(), 65539), 99999);
    EXPECT_EQ(run.ok, (std::array<std::int32_t, 2>{4, 1}));
}

namespace {

// A stale row's list line: its sheet, the cell (column letter, row) and the customer.
std::string StaleAt(const char* sheet, char column, std::int32_t row) {
    std::string cell = column + std::to_string(row);
    cell.resize(7, ' ');
    return StaleLine(std::string(sheet) + "(" + cell + ")0000012345：");
}

}  // namespace

TEST_P(Workstations, EachWrittenFeeColumnIsComparedAndNoOther) {
    // Each field changed on a line of its own: a row that writes the field
    // is listed at its current amount, a row writing another field is not.
    Change("作業回数 = 6", "浄化槽契約内訳マスタ", 1);
    Change("[1回分の金額] = 900", "浄化槽契約内訳マスタ", 2);
    Change("年間金額 = 12500", "浄化槽契約内訳マスタ", 3);
    Change("[1回分の金額] = 900", "浄化槽契約内訳マスタ", 4);
    SheetSpec contract = ContractSheet();
    contract.rows = {ContractRow(12345.0, 1.0, 10.0, "清掃", {}, 24.0, {}),
                     ContractRow(12345.0, 2.0, 10.0, "清掃", {}, {}, 1100.0),
                     ContractRow(12345.0, 3.0, 10.0, "清掃", 13200.0, {}, {}),
                     ContractRow(12345.0, 4.0, 10.0, "清掃", 13200.0, 24.0, {})};
    SheetSpec billing = BillingSheet();
    std::vector<std::string> listed = {StaleAt("【契約内訳】", 'O', 3),
                                       StaleAt("【契約内訳】", 'P', 4),
                                       StaleAt("【契約内訳】", 'N', 5)};
    for (int month = 1; month <= 12; ++month) {
        const std::string column = "請求金額" + gMjDisp::FullWidthDigits(month);
        for (const std::int64_t line : {std::int64_t{9} + month, std::int64_t{29} + month}) {
            AddBillingLine(other(), 12345, line, 2, 1000);
            Change(column + " = 1050", "浄化槽請求テーブル", line);
        }
        billing.rows.push_back(
            BillingRow(12345.0, 9.0 + month, 2.0, "浄化槽清掃", {{month, 1100.0}}));
        billing.rows.push_back(
            BillingRow(12345.0, 29.0 + month, 2.0, "浄化槽清掃", {{month % 12 + 1, 1100.0}}));
        listed.push_back(StaleAt("【請求情報】", static_cast<char>('M' + month), 2 * month + 1));
    }
    WriteWorkbook(book_, {contract, billing});
    const Run run = Import(MsgAnswer::No);
    ASSERT_GE(run.texts.size(), 3u);
    EXPECT_EQ(run.texts[1], Question(15));
    EXPECT_EQ(run.errorLines, listed);
    EXPECT_EQ(run.ok, (std::array<std::int32_t, 2>{1, 12}));
    EXPECT_EQ(run.ng, (std::array<std::int32_t, 2>{3, 12}));
    EXPECT_EQ(Annual(other(), 4), 13200);
    EXPECT_EQ(Annual(other(), 3), 12500);
}

TEST_P(Workstations, RowsTheWriteRejectsAreNotAskedAbout) {
    // Every row's record changed after the export. The rows out of key
    // order, the sheet's first and last customers among them; rows whose
    // entry the rules reject or whose work code differs are not asked about.
    for (const std::int64_t customer : {100, 900000}) {
        AddCustomer(other(), customer);
        AddContractLine(other(), customer, 1, 10, 12000, 12, 1000);
        other().execute("UPDATE 浄化槽契約内訳マスタ SET 年間金額 = 12500 WHERE 得意先コード = " +
                        std::to_string(customer));
    }
    for (std::int64_t line = 1; line <= 4; ++line)
        Change("年間金額 = 12500", "浄化槽契約内訳マスタ", line);
    SheetSpec contract = ContractSheet();
    contract.rows = {ContractRow(900000.0, 1.0, 10.0, "清掃", 13200.0, {}, {}),
                     ContractRow(12345.0, 1.0, 10.0, "清掃", 1e12, {}, {}),
                     ContractRow({}, 2.0, 10.0, "清掃", {}, {}, {}),
                     ContractRow(12345.0, 3.0, 99.0, "清掃", 13200.0, {}, {}),
                     ContractRow(12345.0, 4.0, 10.0, "清掃", std::string("x"), {}, {}),
                     ContractRow(100.0, 1.0, 10.0, "清掃", 13200.0, {}, {})};
    WriteWorkbook(book_, {contract, BillingSheet()});
    const Run run = Import(MsgAnswer::Yes);
    ASSERT_GE(run.texts.size(), 3u);
    EXPECT_EQ(run.texts[1], Question(2));
    EXPECT_EQ(FieldNumber(ReadContract(other(), 100, 1).annual), 13200);
    EXPECT_EQ(FieldNumber(ReadContract(other(), 900000, 1).annual), 13200);
    EXPECT_EQ(run.ok, (std::array<std::int32_t, 2>{2, 0}));
    EXPECT_EQ(run.ng, (std::array<std::int32_t, 2>{3, 0}));
}

TEST_P(Workstations, TwoRowsOfOneRecordCompareTheSecondWithTheFirstsWrite) {
    // Line 1 twice: the second row shows the amount the first replaces, so
    // the record no longer holds what it shows.
    SheetSpec contract = ContractSheet();
    contract.rows = {ContractRow(12345.0, 1.0, 10.0, "清掃", 13200.0, {}, {}),
                     ContractRow(12345.0, 1.0, 10.0, "清掃", 14400.0, {}, {})};
    WriteWorkbook(book_, {contract, BillingSheet()});
    const Run run = Import(std::nullopt);
    EXPECT_EQ(Annual(other(), 1), 13200);
    EXPECT_EQ(run.errorLines,
              (std::vector<std::string>{StaleLine("【契約内訳】(N4     )0000012345：")}));
    EXPECT_EQ(run.ok, (std::array<std::int32_t, 2>{1, 0}));
    EXPECT_EQ(run.ng, (std::array<std::int32_t, 2>{1, 0}));
}

namespace {

// Customer 12345 with contract line 1 holding an annual amount of 100.
void OneLineDatabase(const std::string& path) {
    CreateEmptyDatabase(path, false);
    Database db(path, false);
    AddCustomer(db, 12345);
    AddContractLine(db, 12345, 1, 10, 100, 12, 1000);
}

// Contract line 1 of customer 12345 imported from a workbook that shows
// `shown` and enters `entered`; the journal entry's number.
std::int64_t ImportAnnual(const std::string& database, TempDir& dir, double shown, double entered) {
    SheetSpec contract = ContractSheet();
    contract.rows = {ContractRow(12345.0, 1.0, 10.0, "清掃", entered, {}, {})};
    contract.rows[0][13] = shown;
    const std::string book = dir.file("annual.xls");
    WriteWorkbook(book, {contract, BillingSheet()});
    OpenedDatabase opened(database);
    TestImportView view;
    ImportJob job(opened.mdb, view);
    job.RunImport(book);
    EXPECT_EQ(job.ImportOkCount(0), 1) << ::testing::PrintToString(view.texts());
    return ReadJournal(opened.db()).at(0).number;
}

}  // namespace

// Imports and undos one after another on one field, as two workstations
// might make them: an undo puts back only what no later import still holds.
TEST(InterleavedUndo, ALaterLiveImportKeepsItsValue) {
    struct Step {
        const char* what;  // "import shown entered", "set value", "undo n"
        double a, b;
        double annual;     // the field afterwards
        std::size_t kept;  // fields an undo kept
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"import 2 writes again what import 1 wrote",
         {{"import", 100, 200, 200, 0},
          {"set", 150, 0, 150, 0},
          {"import", 150, 200, 200, 0},
          {"undo", 1, 0, 200, 1},
          {"undo", 2, 0, 150, 0}}},
        {"the later import undone first",
         {{"import", 100, 200, 200, 0},
          {"import", 200, 300, 300, 0},
          {"undo", 2, 0, 200, 0},
          {"undo", 1, 0, 100, 0}}},
        {"the later import's undo first, then changed by hand",
         {{"import", 100, 200, 200, 0},
          {"set", 150, 0, 150, 0},
          {"import", 150, 200, 200, 0},
          {"undo", 2, 0, 150, 0},
          {"undo", 1, 0, 150, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string database = dir.file("septic.db");
        OneLineDatabase(database);
        std::vector<std::int64_t> imports;
        for (const Step& step : c.steps) {
            SCOPED_TRACE(std::string(step.what) + " " + std::to_string(step.a));
            std::size_t kept = 0;
            if (std::string(step.what) == "import") {
                imports.push_back(ImportAnnual(database, dir, step.a, step.b));
            } else {
                Database db(database, false);
                if (std::string(step.what) == "set") {
                    db.execute("UPDATE 浄化槽契約内訳マスタ SET 年間金額 = ? WHERE ＩＤ = 1",
                               {FieldValue{step.a}});
                } else {
                    const UndoResult undone =
                        UndoImport(db, imports.at(static_cast<std::size_t>(step.a) - 1));
                    ASSERT_TRUE(undone.done) << undone.message;
                    kept = undone.kept.size();
                    if (kept > 0) {
                        EXPECT_EQ(undone.kept[0].field, "年間金額");
                    }
                }
            }
            Database db(database, true);
            EXPECT_EQ(Annual(db, 1), step.annual);
            EXPECT_EQ(kept, step.kept);
        }
    }
}

// A journal line naming a field no import writes (edited, or from another
// program) is refused whole: the undo writes only the fee columns.
TEST(InterleavedUndo, OnlyTheFeeColumnsAreWritten) {
    TempDir dir;
    const std::string database = dir.file("septic.db");
    OneLineDatabase(database);
    const std::int64_t entry = ImportAnnual(database, dir, 100, 200);
    Database db(database, false);
    db.execute(
        "UPDATE 浄化槽金額取込履歴明細 SET 項目名 = '作業コード', 変更前 = '99', 変更後 = '10'");
    const UndoResult undone = UndoImport(db, entry);
    EXPECT_FALSE(undone.done);
    EXPECT_EQ(undone.message,
              "取込履歴に取込で書き込まない項目があるため元に戻せません\r\n"
              "浄化槽契約内訳マスタ：作業コード");
    EXPECT_EQ(FieldNumber(ReadContract(db, 12345, 1).workCode), 10);
    EXPECT_EQ(Annual(db, 1), 200);
}

// Each entry records the database it was made in: an entry of another
// database (a journal copied between databases) is refused, an entry made
// before entries recorded it is this database's.
TEST(InterleavedUndo, AnEntryOfAnotherDatabaseIsRefused) {
    TempDir dir;
    std::vector<std::string> databases;
    for (const char* name : {"a.db", "b.db"}) {
        databases.push_back(dir.file(name));
        OneLineDatabase(databases.back());
    }
    const std::int64_t entry = ImportAnnual(databases[0], dir, 100, 200);
    ImportAnnual(databases[1], dir, 100, 200);
    Database a(databases[0], false);
    Database b(databases[1], false);
    const std::string identityA = JournalDatabaseIdentity(a);
    EXPECT_EQ(identityA.size(), 32u);
    EXPECT_NE(JournalDatabaseIdentity(b), identityA);
    auto entryIdentity = [&](Database& db) {
        Statement st = db.prepare("SELECT データベース識別子 FROM 浄化槽金額取込履歴");
        st.step();
        return st.column(0);
    };
    EXPECT_EQ(entryIdentity(a), FieldValue{identityA});

    // b's entry as if copied from a.
    b.execute("UPDATE 浄化槽金額取込履歴 SET データベース識別子 = ?", {FieldValue{identityA}});
    UndoResult undone = UndoImport(b, entry);
    EXPECT_FALSE(undone.done);
    EXPECT_EQ(undone.message, "選択した取込は別のデータベースの履歴のため元に戻せません");
    EXPECT_EQ(Annual(b, 1), 200);

    // An entry that names no database.
    b.execute("UPDATE 浄化槽金額取込履歴 SET データベース識別子 = NULL");
    undone = UndoImport(b, entry);
    ASSERT_TRUE(undone.done) << undone.message;
    EXPECT_EQ(Annual(b, 1), 100);
    EXPECT_EQ(ReadJournal(b).at(0).undoes, entry);
}
