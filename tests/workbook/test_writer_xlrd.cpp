// Workbooks written by the engine, read by an independent reader
// (python3-xlrd with formatting_info) to prove values and formats survive.

#include <gtest/gtest.h>

#include "RecordingMessages.h"
#include "XlsWriter.h"
#include "pClExcel.h"
#include "test_writer_support.h"

namespace {

const char* const kDumpScript = R"PY(
import sys, xlrd
b = xlrd.open_workbook(sys.argv[1], formatting_info=True)
def p(k, v): print("%s\t%s" % (k, v))
p("nsheets", b.nsheets)
p("codepage", b.codepage)
p("datemode", b.datemode)
for n in b.name_obj_list:
    p("definedname:%s:%d" % (n.name, n.scope), n.builtin)
for si, sh in enumerate(b.sheets()):
    p("name:%d" % si, sh.name)
    p("dims:%d" % si, "%dx%d" % (sh.nrows, sh.ncols))
    p("merged:%d" % si, sorted(sh.merged_cells))
    p("visibility:%d" % si, sh.visibility)
    p("selected:%d" % si, sh.sheet_selected)
    p("active:%d" % si, sh.sheet_visible)
    p("frozen:%d" % si, "%d %d %d" % (sh.panes_are_frozen, sh.horz_split_pos, sh.vert_split_pos))
    p("zoom:%d" % si, sh.scl_mag_factor)
    for c, ci in sorted(sh.colinfo_map.items()):
        p("col:%d:%d" % (si, c), "%d %d" % (ci.width, ci.hidden))
    for r, ri in sorted(sh.rowinfo_map.items()):
        p("row:%d:%d" % (si, r), "%d %d" % (ri.height, ri.hidden))
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            p("v:%d:%d:%d" % (si, r, c), "%d|%r" % (cell.ctype, cell.value))
            xf = b.xf_list[cell.xf_index]
            f = b.font_list[xf.font_index]
            bd = xf.border
            p("x:%d:%d:%d" % (si, r, c),
              "fill=%d/%d border=%d,%d,%d,%d locked=%d align=%d,%d wrap=%d fmt=%s font=%s/%d/%d/%d/%d"
              % (xf.background.fill_pattern, xf.background.pattern_colour_index,
                 bd.left_line_style, bd.top_line_style, bd.right_line_style, bd.bottom_line_style,
                 xf.protection.cell_locked, xf.alignment.hor_align, xf.alignment.vert_align,
                 xf.alignment.text_wrapped, b.format_map[xf.format_key].format_str,
                 f.name, f.height, f.colour_index, f.bold, f.italic))
)PY";

class XlrdReads : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!wbtest::pythonHas("xlrd")) {
            GTEST_SKIP() << "python3-xlrd is not installed: the independent-reader checks did "
                            "not run (apt-get install python3-xlrd)";
        }
    }

    std::map<std::string, std::string> dump(const std::string& path) {
        const std::string out = wbtest::runPython(kDumpScript, "'" + path + "'", dir_);
        EXPECT_EQ(out.rfind("ERROR", 0), std::string::npos) << out;
        return wbtest::keyValues(out);
    }

    wbtest::TempDir dir_;
    RecordingMessages messages_;
};

// The fee workbook's kind of content: grey merged headers, a sheet-wide
// font, "#,##0" columns, yellow unlocked entry cells, values of every kind.
TEST_F(XlrdReads, ValuesFormatsAndSheetsOfAFeeLikeWorkbook) {
    const std::string path = dir_.file("fee.xls");
    {
        pClExcel xl(messages_);
        ASSERT_TRUE(xl.NewBook("契約内訳情報"));
        ASSERT_TRUE(xl.SetCellFont(0, 0, 0, 0, "ＭＳ　ゴシック", 10, -4105, 9));
        ASSERT_TRUE(xl.SetCellValue(1, 1, std::string("得意先コード")));
        ASSERT_TRUE(xl.SetCellMerge(1, 1, 2, 1, -4108, -4108));
        ASSERT_TRUE(xl.SetCellLineStyle(1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 0, 2));
        ASSERT_TRUE(xl.SetCellBackColor(1, 1, 1, 1, 15));
        ASSERT_TRUE(xl.SetCellValue(1, 2, std::string("現在の金額")));
        ASSERT_TRUE(xl.SetCellMerge(1, 2, 1, 4, -4108, -4108));
        ASSERT_TRUE(xl.SetCellLineStyle(1, 2, 1, 4, 1, 1, 1, 1, 1, 1, 0, 2));
        ASSERT_TRUE(xl.SetCellBackColor(1, 2, 1, 4, 15));
        ASSERT_TRUE(xl.SetCellFormat(0, 2, 0, 2, "#,##0", 2));

        ASSERT_TRUE(xl.SetCellValue(3, 1, std::string("00123")));
        ASSERT_TRUE(xl.SetCellValue(3, 2, std::string("1234567")));
        ASSERT_TRUE(xl.SetCellValue(3, 3, std::string("-5,296.47")));
        ASSERT_TRUE(xl.SetCellValue(3, 4, std::string("")));
        ASSERT_TRUE(xl.SetCellValue(4, 1, 2.5));
        ASSERT_TRUE(xl.SetCellValue(4, 2, true));
        ASSERT_TRUE(xl.SetCellValue(4, 3, xls::ErrorValue{0x07}));
        ASSERT_TRUE(xl.SetCellValue(4, 4, std::string("ＡＢＣ漢字")));
        ASSERT_TRUE(xl.SetCellBackColor(3, 3, 4, 4, 6));
        ASSERT_TRUE(xl.SetCellLocked(3, 3, 4, 4, false));

        ASSERT_TRUE(xl.SetCellValue(
            5, 1, std::string("浄化槽台帳入力より部門展開の金額調整を行ってください。")));
        ASSERT_TRUE(xl.SetCellBackColor(5, 1, 5, 1, 3));
        ASSERT_TRUE(xl.SetCellFont(5, 1, 5, 1, "", 0, 3));
        ASSERT_TRUE(xl.SetCellBold(5, 2, 5, 2, true, true));
        ASSERT_TRUE(xl.SetCellValue(5, 3, 1.5));
        ASSERT_TRUE(xl.SetCellFormat(5, 3, 5, 3, "0.000"));

        ASSERT_TRUE(xl.SetCellLineStyle(6, 1, 6, 1, -4115, -4115, -4115, -4115, 0, 0, 0, -4138));
        ASSERT_TRUE(xl.SetCellLineStyle(6, 2, 6, 2, -4119, -4119, -4119, -4119, 0, 0, 0, 0));
        ASSERT_TRUE(xl.SetCellLineStyle(6, 3, 6, 3, 1, 1, 1, 1, 0, 0, 0, 1));
        ASSERT_TRUE(xl.SetCellLineStyle(6, 4, 6, 4, 1, 1, 1, 1, 0, 0, 0, 4));

        ASSERT_TRUE(xl.NewSheets("請求情報"));
        ASSERT_TRUE(xl.SetCellValue(1, 1, std::string("x")));
        ASSERT_TRUE(xl.SetSheetZoom(85.0));
        ASSERT_TRUE(xl.SetSheetFreezePanes(3, 2));
        ASSERT_TRUE(xl.SetColWidth(2, 3, 20));
        ASSERT_TRUE(xl.SetColHidden(4, 4, true));
        ASSERT_TRUE(xl.SetRowHeight(2, 2, 30));
        ASSERT_TRUE(xl.ChangeSheets(pClExcel::SheetRef{std::int32_t{1}}));
        ASSERT_TRUE(xl.BookSave(path, true));
    }
    ASSERT_TRUE(messages_.shown.empty());
    auto d = dump(path);

    EXPECT_EQ(d["nsheets"], "2");
    EXPECT_EQ(d["codepage"], "1200");
    EXPECT_EQ(d["datemode"], "0");
    EXPECT_EQ(d["name:0"], "契約内訳情報");
    EXPECT_EQ(d["name:1"], "請求情報");
    EXPECT_EQ(d["selected:0"], "1");
    EXPECT_EQ(d["active:0"], "1");
    EXPECT_EQ(d["selected:1"], "0");
    EXPECT_EQ(d["merged:0"], "[(0, 1, 1, 4), (0, 2, 0, 1)]");

    EXPECT_EQ(d["v:0:0:0"], "1|'得意先コード'");
    EXPECT_EQ(d["v:0:2:0"], "2|123.0");
    EXPECT_EQ(d["v:0:2:1"], "2|1234567.0");
    EXPECT_EQ(d["v:0:2:2"], "2|-5296.47");
    EXPECT_EQ(d["v:0:2:3"], "6|''");
    EXPECT_EQ(d["v:0:3:0"], "2|2.5");
    EXPECT_EQ(d["v:0:3:1"], "4|1");
    EXPECT_EQ(d["v:0:3:2"], "5|7");
    EXPECT_EQ(d["v:0:3:3"], "1|'ＡＢＣ漢字'");
    EXPECT_EQ(d["v:0:4:2"], "2|1.5");

    // Header: grey (ColorIndex 15 = icv 22), centred, thin borders, the
    // sheet-wide font byte for byte (ideographic space inside).
    EXPECT_EQ(d["x:0:0:0"],
              "fill=1/22 border=1,1,1,1 locked=1 align=2,1 wrap=0 fmt=General "
              "font=ＭＳ　ゴシック/200/32767/0/0");
    // The lower half of the merged title: borders all round, no fill of its own.
    EXPECT_EQ(d["x:0:1:0"],
              "fill=0/64 border=1,1,1,1 locked=1 align=2,1 wrap=0 fmt=General "
              "font=ＭＳ　ゴシック/200/32767/0/0");
    // A group title over three columns: edges only on the outside.
    EXPECT_EQ(d["x:0:0:1"].substr(0, 27), "fill=1/22 border=1,1,1,1 lo");
    // The column format reaches cells written after it.
    EXPECT_NE(d["x:0:2:1"].find("fmt=#,##0 "), std::string::npos) << d["x:0:2:1"];
    EXPECT_NE(d["x:0:2:0"].find("fmt=General "), std::string::npos) << d["x:0:2:0"];
    // Yellow (6 = icv 13), unlocked.
    EXPECT_EQ(d["x:0:2:2"].substr(0, 43), "fill=1/13 border=0,0,0,0 locked=0 align=0,2");
    EXPECT_EQ(d["x:0:3:3"].substr(0, 43), "fill=1/13 border=0,0,0,0 locked=0 align=0,2");
    // Red (3 = icv 10) fill and font.
    EXPECT_EQ(d["x:0:4:0"],
              "fill=1/10 border=0,0,0,0 locked=1 align=0,2 wrap=0 fmt=General "
              "font=ＭＳ　ゴシック/200/10/0/0");
    EXPECT_NE(d["x:0:4:1"].find("/32767/1/1"), std::string::npos) << d["x:0:4:1"];
    EXPECT_NE(d["x:0:4:2"].find("fmt=0.000 "), std::string::npos) << d["x:0:4:2"];
    // Dashed medium, double, hair, thick.
    EXPECT_NE(d["x:0:5:0"].find("border=8,8,8,8 "), std::string::npos) << d["x:0:5:0"];
    EXPECT_NE(d["x:0:5:1"].find("border=6,6,6,6 "), std::string::npos) << d["x:0:5:1"];
    EXPECT_NE(d["x:0:5:2"].find("border=7,7,7,7 "), std::string::npos) << d["x:0:5:2"];
    EXPECT_NE(d["x:0:5:3"].find("border=5,5,5,5 "), std::string::npos) << d["x:0:5:3"];

    // Second sheet: view and column/row settings.
    EXPECT_EQ(d["frozen:1"], "1 2 1");
    EXPECT_EQ(d["zoom:1"], "85");
    EXPECT_EQ(d["col:1:1"], "5302 0");
    EXPECT_EQ(d["col:1:2"], "5302 0");
    EXPECT_EQ(d["col:1:3"].substr(d["col:1:3"].size() - 1), "1");
    EXPECT_EQ(d["row:1:1"], "600 0");
}

// Strings long and many enough to cross several CONTINUE records, wide and
// compressed, so a split falls inside character data of both widths.
TEST_F(XlrdReads, SharedStringsAcrossContinueRecords) {
    const std::string path = dir_.file("sst.xls");
    std::vector<std::string> texts;
    xls::Workbook book;
    xls::Sheet& sheet = book.addSheet("S");
    for (int i = 0; i < 3000; ++i) {
        std::string t = (i % 2 == 0)
                            ? "ascii-" + std::to_string(i) + std::string(i % 37, 'x')
                            : "漢字" + std::to_string(i) + std::string(i % 11 * 3, ' ') + "ア";
        texts.push_back(t);
        sheet.setValue(i, 0, t);
    }
    std::string huge;
    for (int i = 0; i < 9000; ++i)
        huge += (i % 3 == 0) ? "あ" : "b";
    sheet.setValue(3000, 0, huge);
    std::string longAscii(20000, 'q');
    sheet.setValue(3001, 0, longAscii);
    xls::WriteXlsFile(book, path);

    const char* script = R"PY(
import sys, xlrd, hashlib
b = xlrd.open_workbook(sys.argv[1])
sh = b.sheet_by_index(0)
for r in range(sh.nrows):
    print("%d\t%s" % (r, hashlib.md5(sh.cell_value(r, 0).encode('utf-8')).hexdigest()))
)PY";
    const std::string out = wbtest::runPython(script, "'" + path + "'", dir_);
    ASSERT_EQ(out.rfind("ERROR", 0), std::string::npos) << out.substr(0, 2000);
    auto d = wbtest::keyValues(out);
    texts.push_back(huge);
    texts.push_back(longAscii);
    ASSERT_EQ(d.size(), texts.size());
    // Compare by length and md5 computed by Python on our side too.
    std::string expect;
    for (std::size_t i = 0; i < texts.size(); ++i)
        expect += texts[i] + "\n";
    wbtest::writeText(dir_.file("expect.txt"), expect);
    const char* hashes = R"PY(
import sys, hashlib
for i, line in enumerate(open(sys.argv[1], encoding='utf-8').read().split('\n')[:-1]):
    print("%d\t%s" % (i, hashlib.md5(line.encode('utf-8')).hexdigest()))
)PY";
    auto e =
        wbtest::keyValues(wbtest::runPython(hashes, "'" + dir_.file("expect.txt") + "'", dir_));
    EXPECT_EQ(d, e);
}

TEST_F(XlrdReads, ManyMergesSpreadOverSeveralRecords) {
    const std::string path = dir_.file("merges.xls");
    xls::Workbook book;
    xls::Sheet& sheet = book.addSheet("M");
    for (int i = 0; i < 2100; ++i) {
        sheet.setValue(i, 0, static_cast<double>(i));
        sheet.merges.push_back({i, i, 0, 1});
    }
    xls::WriteXlsFile(book, path);
    const char* script = R"PY(
import sys, xlrd
sh = xlrd.open_workbook(sys.argv[1], formatting_info=True).sheet_by_index(0)
print("count\t%d" % len(sh.merged_cells))
print("last\t%r" % (sorted(sh.merged_cells)[-1],))
)PY";
    auto d = wbtest::keyValues(wbtest::runPython(script, "'" + path + "'", dir_));
    EXPECT_EQ(d["count"], "2100");
    EXPECT_EQ(d["last"], "(2099, 2100, 0, 2)");
}

TEST_F(XlrdReads, HiddenSheetProtectionAndPrintTitles) {
    const std::string path = dir_.file("prot.xls");
    {
        pClExcel xl(messages_);
        ASSERT_TRUE(xl.NewBook("A"));
        ASSERT_TRUE(xl.NewSheets("B"));
        ASSERT_TRUE(xl.NewSheets("C"));
        ASSERT_TRUE(xl.SetCellValue(1, 1, 1.0));
        ASSERT_TRUE(xl.SetPrintPrintTitleRow("$1:$2"));
        ASSERT_TRUE(xl.SetPrintOrientation(2));
        ASSERT_TRUE(xl.SetPrintHeaderCenter("見出し"));
        ASSERT_TRUE(xl.SheetsVisible("B", false));
        ASSERT_TRUE(xl.SetSheetProtect("C", true, "password"));
        ASSERT_TRUE(xl.SetBookProtect(true));
        ASSERT_TRUE(xl.BookSave(path));
    }
    const char* script = R"PY(
import sys, xlrd
b = xlrd.open_workbook(sys.argv[1], formatting_info=True)
for i, sh in enumerate(b.sheets()):
    print("vis:%d\t%d" % (i, sh.visibility))
for n in b.name_obj_list:
    print("name\t%s %d" % (n.name, n.scope))
)PY";
    auto d = wbtest::keyValues(wbtest::runPython(script, "'" + path + "'", dir_));
    EXPECT_EQ(d["vis:0"], "0");
    EXPECT_EQ(d["vis:1"], "1");
    EXPECT_EQ(d["vis:2"], "0");
    EXPECT_EQ(d["name"], "Print_Titles 2");
}

TEST_F(XlrdReads, LibreOfficeOrGnumericConvertsTheWorkbook) {
    // A second application's reader, when one is installed.
    const bool ssconvert = std::system("command -v ssconvert >/dev/null 2>&1") == 0;
    if (!ssconvert)
        GTEST_SKIP() << "ssconvert (gnumeric) is not installed";
    const std::string path = dir_.file("g.xls");
    xls::Workbook book;
    xls::Sheet& sheet = book.addSheet("請求情報");
    sheet.setValue(0, 0, std::string("名前"));
    sheet.setValue(0, 1, 12345.0);
    xls::WriteXlsFile(book, path);
    const std::string cmd = "ssconvert '" + path + "' '" + dir_.file("g.csv") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const auto bytes = wbtest::readBytes(dir_.file("g.csv"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "名前,12345\n");
}

}  // namespace
