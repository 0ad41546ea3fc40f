// The structure check and the chunked read of both sheets.

#include <gtest/gtest.h>

#include "ImportState.h"
#include "ImportTestSupport.h"
#include "ReadSheet.h"

using namespace importtest;

namespace {

const std::string kCrLf = "\r\n";
const std::string kUseExportedBook =
    "データ出力プログラムによって出力された規定のExcelを使用してください";

struct Reader {
    Reader() : mdb(dbMessages), state(mdb, view) {}
    bool Read(const std::string& path, std::int16_t sheet) {
        state.ImportPath = path;
        return ReadSheet(state, sheet);
    }
    RecordingMessages dbMessages;
    gMjMDB mdb;
    TestImportView view;
    ImportState state;
};

std::string HeaderMessage(const std::string& firstLine) {
    return firstLine + kCrLf + "指定されたシートは取り込むことができません" + kCrLf +
           kUseExportedBook;
}

}  // namespace

TEST(ReadSheet, ReadsBothSheetsOfAnExportedBook) {
    TempDir dir;
    const std::string path = dir.file("fee.xls");
    SheetSpec contract = ContractSheet();
    contract.rows.push_back(ContractRow(12345.0, 1.0, 10.0, "清掃", 1.0, {}, {}));
    contract.rows.push_back(ContractRow(12346.0, 2.0, 10.0, "清掃", {}, {}, {}));
    SheetSpec billing = BillingSheet();
    billing.rows.push_back(BillingRow(12345.0, 1.0, 2.0, "浄化槽清掃", {{4, 5000.0}}));
    WriteWorkbook(path, {contract, billing});

    Reader r;
    ASSERT_TRUE(r.Read(path, 1));
    EXPECT_TRUE(r.view.texts().empty());
    EXPECT_EQ(r.state.SheetEndRow, 4);
    EXPECT_EQ(r.state.SheetColumnCount, 19);
    EXPECT_EQ(r.state.SheetData.rows(), 4);
    EXPECT_EQ(r.state.SheetData.at(3, 1), Cell{12345.0});
    EXPECT_EQ(r.state.SheetData.at(4, 13), Cell{std::string("清掃")});
    EXPECT_EQ(r.view.phases, std::vector<std::string>{"(契約内訳情報)Excelデータチェック中・・・"});
    EXPECT_EQ(r.view.phase, "");

    ASSERT_TRUE(r.Read(path, 2));
    EXPECT_EQ(r.state.SheetEndRow, 3);
    EXPECT_EQ(r.state.SheetColumnCount, 37);
    EXPECT_EQ(r.state.SheetData.at(3, 29), Cell{5000.0});
    EXPECT_EQ(r.view.phases.back(), "(請求情報)Excelデータチェック中・・・");
}

TEST(ReadSheet, SheetsInTheOtherOrderFailAtTheNameCheck) {
    TempDir dir;
    const std::string path = dir.file("swapped.xls");
    WriteWorkbook(path, {BillingSheet(), ContractSheet()});
    Reader r;
    EXPECT_FALSE(r.Read(path, 1));
    EXPECT_EQ(r.view.texts(), std::vector<std::string>{"シート名が規定のExcelと異なります" + kCrLf +
                                                       kUseExportedBook});
    EXPECT_EQ(r.state.SheetEndRow, -1);
    EXPECT_TRUE(r.state.SheetData.empty());
}

TEST(ReadSheet, HeaderWithATrailingSpace) {
    TempDir dir;
    const std::string path = dir.file("space.xls");
    SheetSpec contract = ContractSheet();
    contract.headers[0].first = "得意先コード ";
    WriteWorkbook(path, {contract, BillingSheet()});
    Reader r;
    EXPECT_FALSE(r.Read(path, 1));
    ASSERT_EQ(r.view.texts().size(), 1u);
    EXPECT_EQ(
        r.view.texts()[0],
        HeaderMessage(
            "【契約内訳情報】シートにヘッダー「得意先コード」が見つかりません(１行目, １列目)"));
    EXPECT_EQ(r.view.recorded.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(r.view.recorded.shown[0].title, kMessageTitle);
}

TEST(ReadSheet, GroupTitleCutShortInColumn17) {
    TempDir dir;
    const std::string path = dir.file("q1.xls");
    SheetSpec contract = ContractSheet();
    contract.headers[16].first = "改定後の金額";
    WriteWorkbook(path, {contract, BillingSheet()});
    Reader r;
    EXPECT_FALSE(r.Read(path, 1));
    ASSERT_EQ(r.view.texts().size(), 1u);
    EXPECT_EQ(r.view.texts()[0], HeaderMessage("【契約内訳情報】シートにヘッダー「改定後の金額("
                                               "記載欄)」が見つかりません(１行目, １７列目)"));
}

TEST(ReadSheet, SubTitleOfTheBillingSheet) {
    TempDir dir;
    const std::string path = dir.file("month.xls");
    SheetSpec billing = BillingSheet();
    billing.headers[30].second = "６月";  // column 31, written full-width
    WriteWorkbook(path, {ContractSheet(), billing});
    Reader r;
    ASSERT_TRUE(r.Read(path, 1));
    EXPECT_FALSE(r.Read(path, 2));
    ASSERT_EQ(r.view.texts().size(), 1u);
    EXPECT_EQ(
        r.view.texts()[0],
        HeaderMessage("【 請求情報 】シートにヘッダー「6月」が見つかりません(２行目, ３１列目)"));
}

TEST(ReadSheet, ThirtyEighthColumnIsNeitherCheckedNorRead) {
    TempDir dir;
    const std::string path = dir.file("expansion.xls");
    SheetSpec billing = BillingSheet();
    billing.headers = BillingHeaders(true);
    auto row = BillingRow(7.0, 1.0, 2.0, "部門", {{1, 100.0}});
    row.push_back(std::string("浄化槽台帳入力より部門展開の金額調整を行ってください。"));
    billing.rows.push_back(row);
    WriteWorkbook(path, {ContractSheet(), billing});
    Reader r;
    ASSERT_TRUE(r.Read(path, 1));
    ASSERT_TRUE(r.Read(path, 2));
    EXPECT_EQ(r.state.SheetData.columns(), 37);
    EXPECT_EQ(r.state.SheetData.at(3, 38), Cell{});
    EXPECT_EQ(r.state.SheetData.at(3, 26), Cell{100.0});
}

TEST(ReadSheet, LargeSheetIsReadInChunksOfThirtyThousandRows) {
    TempDir dir;
    const std::string path = dir.file("large.xls");
    SheetSpec contract = ContractSheet();
    const std::int32_t lastRow = 60005;
    for (std::int32_t row : {3, 30000, 30001, 60000, 60001}) {
        contract.extraCells.emplace_back(row, std::int16_t{1}, Cell{static_cast<double>(row)});
    }
    contract.extraCells.emplace_back(lastRow, std::int16_t{19}, Cell{std::string("last")});
    WriteWorkbook(path, {contract, BillingSheet()});
    {
        // Dates in the first and last blocks: shown as text, which the image
        // holds itself while its blocks move about.
        RecordingMessages messages;
        pClExcel excel(messages);
        ASSERT_TRUE(excel.OpenBook(path));
        ASSERT_TRUE(excel.ChangeSheets(std::string("契約内訳情報")));
        for (std::int32_t row : {3, 60001}) {
            ASSERT_TRUE(excel.SetCellFormat(row, 17, row, 17, "yyyy/mm/dd"));
            ASSERT_TRUE(excel.SetCellValue(row, 17, 45383.0 + row));
        }
        ASSERT_TRUE(excel.BookSave(path, false));
    }
    Reader r;
    ASSERT_TRUE(r.Read(path, 1));
    EXPECT_EQ(r.state.SheetData.at(3, 17), Cell{std::string("2024/04/04")});
    EXPECT_EQ(r.state.SheetData.at(60001, 17), Cell{std::string("2188/07/11")});
    EXPECT_EQ(r.state.SheetEndRow, lastRow);
    EXPECT_EQ(r.state.SheetData.rows(), lastRow);
    using Range = std::pair<std::int32_t, std::int32_t>;
    EXPECT_EQ(r.state.SheetData.reads,
              (std::vector<Range>{{1, 30000}, {30001, 60000}, {60001, lastRow}}));
    for (std::int32_t row : {3, 30000, 30001, 60000, 60001}) {
        EXPECT_EQ(r.state.SheetData.at(row, 1), Cell{static_cast<double>(row)}) << row;
    }
    EXPECT_EQ(r.state.SheetData.at(lastRow, 19), Cell{std::string("last")});
    EXPECT_EQ(r.state.SheetData.at(1, 1), Cell{std::string("得意先コード")});
}

TEST(ReadSheet, HeaderOnlySheetHasNoDataRows) {
    TempDir dir;
    const std::string path = dir.file("empty.xls");
    WriteWorkbook(path, {ContractSheet(), BillingSheet()});
    Reader r;
    ASSERT_TRUE(r.Read(path, 1));
    EXPECT_EQ(r.state.SheetEndRow, 2);
    EXPECT_EQ(r.state.SheetData.rows(), 2);
}

TEST(ReadSheet, FileGoneSinceThePathCheck) {
    TempDir dir;
    Reader r;
    EXPECT_FALSE(r.Read(dir.file("gone.xls"), 1));
    EXPECT_EQ(r.view.texts(), std::vector<std::string>{"指定されたExcelファイルが見つかりません"});
}

TEST(ReadSheet, UnreadableFileStopsAfterTheEnginesReport) {
    TempDir dir;
    const std::string path = dir.file("text.xls");
    std::ofstream(path) << "this is not a workbook\n";
    Reader r;
    EXPECT_FALSE(r.Read(path, 1));
    // Only the engine's own report (no title, no icon); no sheet check follows.
    ASSERT_EQ(r.view.recorded.shown.size(), 1u);
    EXPECT_EQ(r.view.recorded.shown[0].title, "");
    EXPECT_EQ(r.view.recorded.shown[0].icon, MsgIcon::None);
    EXPECT_EQ(r.view.phase, "");
}

TEST(ReadSheet, WorkbookSavedByAnotherApplication) {
    TempDir dir;
    const std::string path = dir.file("clerk.xls");
    SheetSpec contract = ContractSheet();
    contract.rows.push_back(
        ContractRow(std::string("12345"), 1.0, 10.0, "清掃", std::string("1,500"), {}, {}));
    SheetSpec billing = BillingSheet();
    billing.rows.push_back(BillingRow(42.0, 3.0, 2.0, "浄化槽清掃", {{5, std::string("abc")}}));
    WriteWorkbookWithXlwt(path, {contract, billing});
    Reader r;
    ASSERT_TRUE(r.Read(path, 1));
    EXPECT_EQ(r.state.SheetData.at(3, 17), Cell{std::string("1,500")});
    EXPECT_EQ(r.state.SheetData.at(3, 1), Cell{std::string("12345")});
    ASSERT_TRUE(r.Read(path, 2));
    EXPECT_EQ(r.state.SheetData.at(3, 30), Cell{std::string("abc")});
}

TEST(ReadSheet, BookWithoutTheBillingSheet) {
    TempDir dir;
    const std::string path = dir.file("one.xls");
    WriteWorkbook(path, {ContractSheet()});
    Reader r;
    ASSERT_TRUE(r.Read(path, 1));
    EXPECT_FALSE(r.Read(path, 2));
    ASSERT_FALSE(r.view.texts().empty());
    EXPECT_EQ(r.view.texts().back(),
              "シート名が規定のExcelと異なります" + kCrLf + kUseExportedBook);
    EXPECT_TRUE(r.state.SheetData.empty());
}

// The billing sheet is read ahead on another thread while the contract sheet
// is written; what the import then walks must be the sheet's own read, block
// for block, and the structure check must still come first.
TEST(ReadSheet, BillingSheetReadAheadGivesItsOwnReadAndKeepsTheCheck) {
    TempDir dir;
    const std::string path = dir.file("ahead.xls");
    SheetSpec billing = BillingSheet();
    const std::int32_t lastRow = 60003;
    for (std::int32_t row : {3, 30000, 30001, 60000, 60001})
        billing.extraCells.emplace_back(row, std::int16_t{1}, Cell{static_cast<double>(row)});
    billing.extraCells.emplace_back(lastRow, std::int16_t{37}, Cell{std::string("last")});
    billing.extraCells.emplace_back(40000, std::int16_t{38}, Cell{std::string("not read")});
    WriteWorkbook(path, {ContractSheet(), billing});

    Reader ahead;
    ASSERT_TRUE(ahead.Read(path, 1));
    ASSERT_NE(ahead.state.Prefetch, nullptr);
    // Reading ahead leaves the sheet the workbook object has chosen alone.
    EXPECT_EQ(ahead.state.Book().GetCellValue(1, 1), "得意先コード");
    ASSERT_TRUE(ahead.Read(path, 2));
    EXPECT_EQ(ahead.state.Prefetch, nullptr);

    Reader own;
    ASSERT_TRUE(own.Read(path, 1));
    own.state.Prefetch.reset();
    ASSERT_TRUE(own.Read(path, 2));

    using Range = std::pair<std::int32_t, std::int32_t>;
    EXPECT_EQ(ahead.state.SheetData.reads,
              (std::vector<Range>{{1, 30000}, {30001, 60000}, {60001, lastRow}}));
    EXPECT_EQ(ahead.state.SheetData.reads, own.state.SheetData.reads);
    ASSERT_EQ(ahead.state.SheetData.rows(), own.state.SheetData.rows());
    ASSERT_EQ(ahead.state.SheetData.columns(), 37);
    for (std::int32_t row = 1; row <= lastRow; ++row) {
        for (std::int32_t column = 1; column <= 38; ++column) {
            ASSERT_EQ(ahead.state.SheetData.at(row, column), own.state.SheetData.at(row, column))
                << row << "," << column;
        }
    }
    EXPECT_EQ(ahead.state.SheetData.at(lastRow, 37), Cell{std::string("last")});
    EXPECT_EQ(ahead.view.texts(), own.view.texts());

    // A billing sheet that fails its header check fails it, read ahead or not.
    SheetSpec wrong = BillingSheet();
    wrong.headers[3].first = "部門";
    const std::string wrongPath = dir.file("wrong.xls");
    WriteWorkbook(wrongPath, {ContractSheet(), wrong});
    Reader checked;
    ASSERT_TRUE(checked.Read(wrongPath, 1));
    EXPECT_FALSE(checked.Read(wrongPath, 2));
    ASSERT_FALSE(checked.view.texts().empty());
    EXPECT_NE(checked.view.texts().back().find("シートにヘッダー"), std::string::npos);
    EXPECT_TRUE(checked.state.SheetData.empty());
    EXPECT_EQ(checked.state.Prefetch, nullptr);
}

// The read ahead from a given row: its blocks start there and are handed
// over only for exactly the rows and columns asked for, and only once.
TEST(ReadSheet, ReadAheadFromARowGivesThatRowOnwardOnce) {
    RecordingMessages messages;
    pClExcel book(messages);
    ASSERT_TRUE(book.NewBook("S"));
    for (std::int32_t row = 1; row <= 25; ++row)
        ASSERT_TRUE(book.SetCellValue(row, 1, static_cast<double>(row)));
    ASSERT_TRUE(book.SetCellValue(25, 2, std::string("last")));

    SheetPrefetch ahead(book, 1, 2, 10, 11);
    const std::vector<xls::CellBlock> blocks = ahead.Take(25, 2);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].rows, 10);
    EXPECT_EQ(blocks[1].rows, 5);
    EXPECT_EQ(blocks[0].at(1, 1), xls::CellView::OfNumber(11));
    EXPECT_EQ(blocks[1].at(5, 1), xls::CellView::OfNumber(25));
    EXPECT_EQ(blocks[1].at(5, 2), xls::CellView(xls::CellValue(std::string("last"))));
    EXPECT_TRUE(ahead.Take(25, 2).empty());  // taken already

    EXPECT_TRUE(SheetPrefetch(book, 1, 2, 10, 11).Take(24, 2).empty());  // other rows
    EXPECT_TRUE(SheetPrefetch(book, 1, 2, 10, 11).Take(25, 3).empty());  // other columns
    EXPECT_TRUE(SheetPrefetch(book, 1, 2, 10, 26).Take(25, 2).empty());  // nothing left
    EXPECT_TRUE(SheetPrefetch(book, 2, 2, 10, 1).Take(25, 2).empty());   // no such sheet
    EXPECT_TRUE(messages.shown.empty());
}
