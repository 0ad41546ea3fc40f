// Formulas in the entry cells as LibreOffice Calc saves them (a text or
// nothing shown by a formula in a "#,##0" cell is stored as the number 0):
// the check, its marked copy, the import and its journal all take each cell
// as the value it shows. The workbook is tests/fixtures/xls/
// lo_formula_entries.xls (its maker lists the formulas).

#include <gtest/gtest.h>

#include "CheckTestSupport.h"
#include "JournalTestSupport.h"
#include "SheetImage.h"

using namespace checktest;

namespace {

// Customer 12345 with the current amounts the workbook shows (1000 each).
void FillShownAmounts(Database& db) {
    AddCustomer(db, 12345);
    AddContractLine(db, 12345, 1, 10, 1000, 1000, 1000);
    AddContractLine(db, 12345, 2, 20, 1000, 1000, 1000);
    AddBillingLine(db, 12345, 3, 2, 1000);
    AddBillingLine(db, 12345, 4, 2, 1000);
}

void ExpectRejectedRows(const std::vector<std::string>& lines) {
    const std::vector<std::string> rejected = {
        "【契約内訳】(Q4     )0000012345：年間金額が数値として認識できません",
        "【請求情報】(AA4    )0000012345：請求金額(2月)が数値として認識できません",
    };
    ASSERT_EQ(lines.size(), rejected.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind(rejected[i], 0), 0u) << lines[i];
}

// F4 with its journal; the database must hold the formulas' numbers.
void ImportAndCheck(const std::string& db, const std::string& book) {
    {
        Session run(db);
        run.job.SetJournalEnabled(true);
        run.job.RunImport(book);
        EXPECT_EQ(run.job.ImportOkCount(0), 1);
        EXPECT_EQ(run.job.ImportNgCount(0), 1);
        EXPECT_EQ(run.job.ImportOkCount(1), 1);
        EXPECT_EQ(run.job.ImportNgCount(1), 1);
        ExpectRejectedRows(run.view.errorLines);
        Database& d = run.opened.db();
        const ContractRecord line1 = ReadContract(d, 12345, 1);
        EXPECT_EQ(line1.annual, FieldValue{std::int64_t{1100}});
        EXPECT_EQ(line1.visits, FieldValue{std::int64_t{1000}}) << "a formula showing nothing";
        EXPECT_EQ(line1.perVisit, FieldValue{std::int64_t{1080}});
        EXPECT_EQ(ReadContract(d, 12345, 2).annual, FieldValue{std::int64_t{1000}});
        EXPECT_EQ(ReadBillingMonth(d, 12345, 3, 1).second, FieldValue{std::int64_t{2000}});
        EXPECT_EQ(ReadBillingMonth(d, 12345, 3, 2).second, FieldValue{std::int64_t{1100}});
        EXPECT_EQ(ReadBillingMonth(d, 12345, 4, 1).second, FieldValue{std::int64_t{1000}});
        run.job.Release();
    }
    std::vector<std::pair<std::string, FieldValue>> changed;
    for (const auto& f : journaltest::JournalFields(db, 1))
        changed.emplace_back(f.field, f.after);
    EXPECT_EQ(changed, (std::vector<std::pair<std::string, FieldValue>>{
                           {"年間金額", FieldValue{1100.0}},
                           {"1回分の金額", FieldValue{1080.0}},
                           {"請求金額１", FieldValue{2000.0}},
                           {"請求金額２", FieldValue{1100.0}}}));
}

}  // namespace

TEST(FormulaCells, CheckMarkedCopyImportAndJournalSeeWhatTheCellsShow) {
    TempDir dir;
    const auto dbs = Databases(dir, 2, FillShownAmounts);
    const std::string book = dir.file("fee.xls"), copy = dir.file("fee_確認結果.xls");
    std::filesystem::copy_file(VELKAN_FIXTURES_DIR "/xls/lo_formula_entries.xls", book);
    {
        Session check(dbs[0]);  // Yes to everything
        check.job.RunCheck(book);
        ExpectRejectedRows(check.view.errorLines);
    }
    {
        // The copy cannot keep the formulas: it keeps what they showed.
        RecordingMessages messages;
        pClExcel marked(messages);
        ASSERT_TRUE(marked.OpenBook(copy));
        const auto shown = [&](std::size_t sheet, std::int32_t row, std::int32_t column) {
            return CellText(marked.book()->sheet(sheet).value(row - 1, column - 1));
        };
        EXPECT_EQ(shown(0, 3, 17), "1100");
        EXPECT_EQ(shown(0, 3, 18), "");
        EXPECT_EQ(shown(0, 3, 19), "1080");
        EXPECT_EQ(shown(0, 4, 17), "未定");
        EXPECT_EQ(shown(0, 5, 17), "");
        EXPECT_EQ(shown(1, 3, 27), "1100");
        EXPECT_EQ(shown(1, 4, 26), "");
        EXPECT_EQ(shown(1, 4, 27), "#DIV/0!");
    }
    ImportAndCheck(dbs[1], book);
    ImportAndCheck(dbs[2], copy);
}
