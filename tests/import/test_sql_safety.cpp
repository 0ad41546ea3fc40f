// Text from the database and from the workbook never becomes SQL: names with
// quotes, semicolons, brackets, backslashes and SQL keywords go through the
// export into the workbook unchanged, come back through the import as cell
// texts and error lines, and leave every table and row of the database as it
// was. Even the files are named with such text.

#include <gtest/gtest.h>

#include "Database.h"
#include "FaultTestSupport.h"
#include "ImportJob.h"
#include "XlsReader.h"

using namespace faulttest;

namespace {

const std::string kQuotes = "O'Brien\"; DROP TABLE 浄化槽契約内訳マスタ; --";
const std::string kDelete = "'); DELETE FROM 浄化槽請求テーブル WHERE '1'='1'; --";
const std::string kJet = "[部門マスタ] \\ 0 MOD 0); UPDATE 部門マスタ SET 部門名称 = NULL; /*";

// Every table with its row count, the database's shape for comparisons.
std::string Shape(const std::string& path) {
    Database db(path, true);
    std::string out;
    for (const std::string& table : db.tableNames()) {
        // The import adds its journal; every other table must stay as it was.
        if (table.rfind("浄化槽金額取込履歴", 0) == 0)
            continue;
        Statement st = db.prepare("SELECT count(*) FROM " + QuoteSqlName(table));
        st.step();
        out += table + "=" + FieldText(st.column(0)) + "\n";
    }
    return out;
}

std::string CellText(const xls::Sheet& sheet, int row1, int col1) {
    const xls::CellValue v = sheet.value(row1 - 1, col1 - 1);
    const auto* text = std::get_if<std::string>(&v);
    return text ? *text : std::string("<not text>");
}

}  // namespace

TEST(SqlSafety, HostileTextPassesThroughExportAndImportUnchangedAndHarmless) {
    Folder folder;
    const std::string db = folder.file(kQuotes.substr(0, 20) + ".db");
    const std::string book = folder.file("'; DROP TABLE x; --.xls");
    SampleOptions options;
    options.customers = 40;
    CreateSampleDatabase(db, options);
    {
        Database d(db, false);
        d.execute("UPDATE 浄化槽顧客マスタ SET [名称（漢字）] = ?, [住所（漢字）] = ?",
                  {FieldValue{kQuotes}, FieldValue{kDelete}});
        d.execute("UPDATE 作業マスタ SET 作業名称 = ?", {FieldValue{kQuotes}});
        d.execute("UPDATE 部門マスタ SET 部門名称 = ?", {FieldValue{kJet}});
        d.execute("UPDATE 処理方式マスタ SET [処理方式名（正式）] = ?", {FieldValue{kDelete}});
    }
    const std::string shape = Shape(db);

    // Export: the texts arrive in their cells exactly.
    {
        Database d(db, false);
        FaultExportView view;
        bool expansion = CheckExpansionTable(&d);
        ASSERT_TRUE(ExportFeeData(&d, SampleRequest(book), expansion, view))
            << ::testing::PrintToString(view.recorded.texts());
    }
    EXPECT_EQ(Shape(db), shape);
    {
        const auto wb = xls::ReadXlsFile(book);
        const xls::Sheet& contract = wb->sheet(0);
        const xls::Sheet& billing = wb->sheet(1);
        const int contractLast = contract.lastCell()->first + 1;
        const int billingLast = billing.lastCell()->first + 1;
        ASSERT_GE(contractLast, 10);
        ASSERT_GE(billingLast, 5);
        // Customers without a 顧客マスタ row have empty name cells.
        long seen = 0;
        const auto expect = [&](const xls::Sheet& sheet, int row, int col,
                                const std::string& text) {
            const std::string cell = CellText(sheet, row, col);
            if (cell == text)
                ++seen;
            else
                EXPECT_EQ(cell, "<not text>") << "row " << row << " column " << col;
        };
        for (int row = 3; row <= contractLast; ++row) {
            expect(contract, row, 2, kQuotes);
            expect(contract, row, 3, kDelete);
            expect(contract, row, 7, kDelete);
            EXPECT_EQ(CellText(contract, row, 13), kQuotes) << row;
        }
        for (int row = 3; row <= billingLast; ++row) {
            expect(billing, row, 2, kQuotes);
            EXPECT_EQ(CellText(billing, row, 13), kJet) << row;
        }
        EXPECT_GT(seen, 3 * (contractLast - 2) / 2);
    }

    // The clerk fills the entries, and hostile text into some cells: an entry
    // cell, a customer code, and a changed work code beside the hostile work
    // name (whose rejection quotes the name).
    std::vector<Change> changes = FillEntries(book);
    const long contractRows = CountOf(changes, "浄化槽契約内訳マスタ");
    ASSERT_GE(contractRows, 10);
    {
        RecordingMessages quiet;
        pClExcel excel(quiet);
        ASSERT_TRUE(excel.OpenBook(book));
        excel.ChangeSheets(pClExcel::SheetRef{1});
        excel.SetCellValue(3, 17, kQuotes);
        excel.SetCellValue(4, 12, std::string("999"));
        excel.SetCellValue(5, 1, kDelete);
        excel.ChangeSheets(pClExcel::SheetRef{2});
        excel.SetCellValue(3, 26, kJet);
        ASSERT_TRUE(excel.BookSave(book, false));
    }
    // The amounts of the rejected rows (a December of 0 may be there already).
    std::vector<Change> rejected(changes.begin(), changes.begin() + 3);
    rejected.push_back(changes[static_cast<std::size_t>(contractRows)]);
    std::vector<Change> kept(changes.begin() + 3, changes.begin() + contractRows);
    kept.insert(kept.end(), changes.begin() + contractRows + 4, changes.end());

    FaultImportView view;
    {
        gMjMDB mdb(view.recorded);
        ASSERT_EQ(mdb.OpenMdb(0, db, false), 0);
        ImportJob job(mdb, view);
        job.RunImport(book);
        EXPECT_EQ(job.ImportNgCount(0), 3);
        EXPECT_EQ(job.ImportNgCount(1), 1);
        EXPECT_EQ(job.ImportOkCount(0), contractRows - 3);
        mdb.CloseDatabase();
    }
    ASSERT_EQ(view.texts().size(), 2u) << ::testing::PrintToString(view.texts());
    EXPECT_NE(view.texts()[1].find("取込できなかったデータを確認してください"), std::string::npos);

    // Every table and row is still there, the names are as they were, the
    // accepted rows are stored and the rejected ones untouched.
    EXPECT_EQ(Shape(db), shape);
    EXPECT_EQ(CountStored(db, kept), static_cast<long>(kept.size()));
    EXPECT_EQ(CountStored(db, rejected), 0);
    {
        Database d(db, true);
        Statement names = d.prepare(
            "SELECT count(*) FROM 浄化槽顧客マスタ WHERE [名称（漢字）] = ? AND [住所（漢字）] = "
            "?");
        names.bind(1, kQuotes);
        names.bind(2, kDelete);
        names.step();
        Statement all = d.prepare("SELECT count(*) FROM 浄化槽顧客マスタ");
        all.step();
        EXPECT_EQ(FieldText(names.column(0)), FieldText(all.column(0)));
    }
    ASSERT_EQ(view.errorLines.size(), 4u);
    EXPECT_NE(view.errorLines[0].find("年間金額が数値として認識できません"), std::string::npos);
    // The rejected line quotes the hostile name, cut to the list's width.
    EXPECT_NE(view.errorLines[1].find("行目の作業[O'Brien\"; DROP TABLE 浄化槽"), std::string::npos)
        << view.errorLines[1];
    EXPECT_NE(view.errorLines[3].find("請求金額(1月)が数値として認識できません"), std::string::npos)
        << view.errorLines[3];
}

// The sample generator's row count splices the sibling departments of
// コントロールマスタ into its statement: text in those columns is read as its
// number, never as SQL.
TEST(SqlSafety, ControlMasterTextIsNeverSpliced) {
    Folder folder;
    const std::string path = folder.file("sample.db");
    SampleOptions options;
    options.customers = 60;
    CreateSampleDatabase(path, options);
    Database db(path, false);
    const ExportRowCounts plain = CountExportRows(db, 202403);
    db.execute("UPDATE コントロールマスタ SET ぱるも清掃部門コード = ? WHERE コード = 1",
               {FieldValue{std::string("11) OR (1 = 1")}});
    const ExportRowCounts hostile = CountExportRows(db, 202403);
    EXPECT_EQ(hostile.contractRows, plain.contractRows);
    EXPECT_EQ(hostile.billingRows, plain.billingRows);
}
