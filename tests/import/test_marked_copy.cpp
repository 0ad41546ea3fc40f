// The marked copy of a checked workbook: what it holds (read back by our
// reader and by xlrd), that it imports as the original does, and that it
// never costs the clerk a file.

#include <gtest/gtest.h>

#include <cstdlib>

#include "CheckTestSupport.h"
#include "MarkedCopy.h"
#include "SheetImage.h"

using namespace checktest;

namespace {

const std::string kCrLf = "\r\n";
constexpr std::uint16_t kRed = 3 + 7;  // palette index n is colour code n + 7 in the file
constexpr std::uint16_t kOrange = 45 + 7;
constexpr std::uint16_t kYellow = 6 + 7;

// Fill colour code and text of a cell (1-based) of sheet `s` of a workbook file.
struct Opened {
    explicit Opened(const std::string& path) : excel(messages) { ok = excel.OpenBook(path); }
    std::uint16_t fill(std::size_t s, std::int32_t row, std::int32_t col) const {
        const xls::Workbook& book = *excel.book();
        const xls::CellFormat& f = book.formats.get(book.sheet(s).formatIdAt(row - 1, col - 1));
        return f.pattern == 1 ? f.patternColor : 0;
    }
    std::string text(std::size_t s, std::int32_t row, std::int32_t col) const {
        return CellText(excel.book()->sheet(s).value(row - 1, col - 1));
    }
    RecordingMessages messages;
    pClExcel excel;
    bool ok = false;
};

// The import of the copy gives what the import of the original gives.
void ExpectSameImport(const std::string& dbA, const std::string& original, const std::string& dbB,
                      const std::string& copy) {
    Session a(dbA), b(dbB);
    a.job.RunImport(original);
    b.job.RunImport(copy);
    EXPECT_EQ(b.view.errorLines, a.view.errorLines);
    EXPECT_EQ(b.view.texts(), a.view.texts());
    EXPECT_EQ(b.job.ImportOkCount(0) + b.job.ImportOkCount(1),
              a.job.ImportOkCount(0) + a.job.ImportOkCount(1));
}

const char* const kXlrdScript = R"PY(
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
c, b = book.sheet_by_index(0), book.sheet_by_index(1)
def fill(s, r, col):
    x = book.xf_list[s.cell_xf_index(r, col)]
    return x.background.pattern_colour_index if x.background.fill_pattern == 1 else None
red = {(4, 0), (5, 17), (6, 0), (7, 0), (8, 0)}
got = [book.sheet_names(), c.cell_value(0, 19), b.cell_value(0, 37), fill(c, 0, 19),
       [c.cell_value(r, 19) for r in range(2, 10)], b.cell_value(3, 37),
       [[fill(c, r, col) for col in range(19)] for r in range(2, 10)], fill(b, 3, 0),
       [c.cell_value(2, 16), c.cell_value(2, 18), c.cell_value(4, 0), c.cell_value(5, 17),
        c.cell_value(3, 13), b.cell_value(2, 28)]]
want = [["契約内訳情報", "請求情報"], "取込エラー内容", "取込エラー内容", 22,
        ["", "出力後にマスタの金額が変更されています", "得意先コードが数値として認識できません",
         "作業回数が数値として認識できません", "浄化槽がマスタに存在しません",
         "9行目の作業[清掃]がマスタに存在しません", "1行目の作業[清掃]がマスタと異なっています", ""],
        "3行目の部門[浄化槽清掃]がマスタと異なっています",
        [[10 if (r, col) in red else 52 if r == 3 and 13 <= col <= 15 else None
          for col in range(19)] for r in range(2, 10)], 10,
        [13200, 1100, "abc", "x", 12000, 1100]]
for g, w in zip(got, want):
    if g != w:
        print("got %r\nwant %r" % (g, w))
sys.exit(0 if got == want else 1)
)PY";

}  // namespace

TEST(MarkedCopy, MarksTheFindingsAndImportsAsTheOriginal) {
    EXPECT_EQ(MarkedCopyPath("/a.b/FEE.XLS"), "/a.b/FEE_確認結果.xls");
    EXPECT_EQ(MarkedCopyPath("/x/fee_確認結果.xls"), "/x/fee_確認結果_確認結果.xls");
    TempDir dir;
    const auto dbs = Databases(dir, 2, FillDatabase);
    const std::string book = dir.file("fee.xls"), copy = dir.file("fee_確認結果.xls");
    WriteWorkbook(book, MixedWorkbook());
    const std::string original = FileBytes(book);
    {
        Session check(dbs[0]);  // Yes to everything
        check.job.RunCheck(book);
        EXPECT_EQ(check.view.texts().back(), "確認結果を保存しました" + kCrLf + copy);
    }
    EXPECT_EQ(FileBytes(book), original) << "the clerk's workbook is never written";

    const Opened marked(copy);
    ASSERT_TRUE(marked.ok);
    EXPECT_EQ(marked.text(0, 4, 20), "出力後にマスタの金額が変更されています");
    EXPECT_EQ(marked.fill(0, 4, 14), kOrange);
    EXPECT_EQ(marked.fill(0, 6, 18), kRed);
    EXPECT_EQ(marked.fill(0, 3, 17), 0);
    EXPECT_EQ(marked.excel.book()->activeSheet, 0u);
    if (std::system("/usr/bin/python3 -c 'import xlrd' 2>/dev/null") == 0) {
        std::ofstream(dir.file("check.py")) << kXlrdScript;
        EXPECT_EQ(
            std::system(("/usr/bin/python3 '" + dir.file("check.py") + "' '" + copy + "'").c_str()),
            0);
    } else {
        ADD_FAILURE() << "/usr/bin/python3 with xlrd is needed (python3-xlrd)";
    }
    ExpectSameImport(dbs[1], book, dbs[2], copy);
}

TEST(MarkedCopy, NeverCostsTheClerkAFile) {
    TempDir dir;
    const auto dbs = Databases(dir, 0, FillDatabase);
    const std::string book = dir.file("fee.xls"), copy = dir.file("fee_確認結果.xls");
    WriteWorkbook(book, MixedWorkbook());
    const std::string failed = "確認結果のExcelを保存できませんでした" + kCrLf + copy;

    // An existing copy: replaced only after the engine's question.
    std::ofstream(copy) << "notes";
    Session declined(dbs[0], {MsgAnswer::Yes, MsgAnswer::Ok, MsgAnswer::Yes, MsgAnswer::No});
    declined.job.RunCheck(book);
    EXPECT_EQ(declined.view.texts()[3], "'" + copy + "' は既に存在します。置き換えますか?");
    EXPECT_EQ(declined.view.texts().back(), failed);
    EXPECT_EQ(FileBytes(copy), "notes");

    // A folder in the copy's place: the save fails, says why, leaves nothing.
    std::filesystem::remove(copy);
    std::filesystem::create_directory(copy);
    const std::vector<std::string> names = dir.names();
    Session blocked(dbs[0]);
    blocked.job.RunCheck(book);
    const std::vector<std::string> texts = blocked.view.texts();
    EXPECT_NE(texts[texts.size() - 2].find("同じ名前のフォルダーがあります"), std::string::npos);
    EXPECT_EQ(texts.back(), failed);
    EXPECT_EQ(dir.names(), names) << "no partial or temporary file";

    // A workbook opened through a link whose copy name leads back to it.
    std::filesystem::remove(copy);
    std::filesystem::rename(book, copy);
    std::filesystem::create_symlink(copy, book);
    const std::string original = FileBytes(copy);
    Session linked(dbs[0]);
    linked.job.RunCheck(book);
    EXPECT_EQ(linked.view.texts().back(), failed + kCrLf + "取込先Excelと同じファイルです");
    EXPECT_EQ(FileBytes(copy), original);
}

// A workbook that LibreOffice Calc saved (40 rows a sheet, an entry on
// contract row 3 and on billing row 4), marked, then checked again as a
// corrected copy would be.
TEST(MarkedCopy, LibreOfficeSavedWorkbook) {
    TempDir dir;
    const auto dbs = Databases(dir, 2, [](Database& db) {
        for (int r = 0; r < 40; ++r) {
            AddCustomer(db, 100000 + r);
            AddContractLine(db, 100000 + r, 1 + r % 3, 10 + r % 5,
                            r == 0 ? 130000 : 120000 + 10 * r, 12, 10000 + r);  // row 3 stale
            AddBillingLine(db, 100000 + r, 1 + r, r == 1 ? 4 : 3, 3300 + r);    // row 4 rejected
        }
    });
    const std::string book = dir.file("lo.xls"), copy = dir.file("lo_確認結果.xls");
    std::filesystem::copy_file(VELKAN_FIXTURES_DIR "/xls/lo_fee_workbook_shape.xls", book);
    {
        Session check(dbs[0]);
        check.job.RunCheck(book);
        EXPECT_EQ(
            check.view.errorLines,
            (std::vector<std::string>{ListLine("【請求情報】(A4     )0000100001：",
                                               "2行目の部門[部門1]がマスタと異なっています", 42),
                                      StaleLine("【契約内訳】(N3     )0000100000：")}));
    }
    const Opened marked(copy);
    ASSERT_TRUE(marked.ok);
    EXPECT_EQ(marked.fill(0, 3, 14), kOrange);
    EXPECT_EQ(marked.fill(0, 3, 17), kYellow) << "the entry cells keep their yellow";
    EXPECT_EQ(marked.fill(0, 1, 1), 22) << "and the headers their grey";
    EXPECT_EQ(marked.fill(1, 4, 1), kRed);
    EXPECT_EQ(marked.text(1, 4, 38), "2行目の部門[部門1]がマスタと異なっています");
    EXPECT_EQ(marked.text(1, 4, 27), "3630") << "the clerk's entry";
    ExpectSameImport(dbs[1], book, dbs[2], copy);

    // Checked again, the copy keeps one message column and loses the old marks.
    Session again(dbs[0]);
    again.job.RunCheck(copy);
    const Opened twice(dir.file("lo_確認結果_確認結果.xls"));
    ASSERT_TRUE(twice.ok);
    EXPECT_EQ(twice.text(0, 1, 20), kMessageColumnTitle);
    EXPECT_EQ(twice.text(0, 1, 21), "");
    EXPECT_EQ(twice.text(0, 3, 20), "出力後にマスタの金額が変更されています");
    EXPECT_EQ(twice.fill(0, 3, 14), kOrange);
    EXPECT_EQ(twice.fill(0, 5, 14), 0);
}
