// The saved fee workbook checked by an independent reader (xlrd), formatting
// and the entry rules' records included. Skipped, visibly, where /usr/bin/python3 or xlrd is
// missing.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "ExportTestSupport.h"

namespace {

const char* const kCheckScript = R"PY(
import sys
import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
failures = []

def check(ok, what):
    if not ok:
        failures.append(what)

def xf(sheet, r, c):
    return book.xf_list[sheet.cell_xf_index(r, c)]

def fill(sheet, r, c):
    x = xf(sheet, r, c)
    return x.background.pattern_colour_index if x.background.fill_pattern == 1 else None

def number_format(sheet, r, c):
    return book.format_map[xf(sheet, r, c).format_key].format_str

def framed(sheet, r, c):
    b = xf(sheet, r, c).border
    return (b.left_line_style, b.top_line_style, b.right_line_style, b.bottom_line_style) == (1, 1, 1, 1)

check(book.sheet_names() == ["契約内訳情報", "請求情報"], "sheet names %r" % book.sheet_names())
contract = book.sheet_by_index(0)
billing = book.sheet_by_index(1)

common = ["得意先コード", "設置場所名", "設置場所住所", "設置場所TEL", "人槽", "容量", "処理方式",
          "契約区分", "契約期間_開始", "契約期間_終了", "行番号"]
row1 = common + ["作業コード", "作業名", "現在の金額", "", "", "改定後の金額(記載欄)", "", ""]
row2 = [""] * 13 + ["年間金額", "作業回数", "１回金額"] * 2
check(contract.row_values(0) == row1, "contract row 1 %r" % contract.row_values(0))
check(contract.row_values(1) == row2, "contract row 2 %r" % contract.row_values(1))
months = ["%d月" % m for m in range(1, 13)]
brow1 = common + ["部門コード", "部門名", "現在の金額"] + [""] * 11 + ["改定後の金額(記載欄)"] + [""] * 11 + ["部門展開"]
brow2 = [""] * 13 + months + months + [""]
check(billing.row_values(0) == brow1, "billing row 1 %r" % billing.row_values(0))
check(billing.row_values(1) == brow2, "billing row 2 %r" % billing.row_values(1))

merges = sorted([(0, 2, c, c + 1) for c in range(13)] + [(0, 1, 13, 16), (0, 1, 16, 19)])
check(sorted(contract.merged_cells) == merges, "contract merges %r" % contract.merged_cells)
bmerges = sorted([(0, 2, c, c + 1) for c in range(13)] + [(0, 2, 37, 38), (0, 1, 13, 25), (0, 1, 25, 37)])
check(sorted(billing.merged_cells) == bmerges, "billing merges %r" % billing.merged_cells)

# Header fills, alignment and borders.
for sheet, cells in ((contract, [(0, 0), (0, 12), (0, 13), (0, 15), (1, 13), (1, 18)]),
                     (billing, [(0, 0), (0, 13), (0, 25), (1, 13), (1, 36)])):
    for r, c in cells:
        check(fill(sheet, r, c) == 22, "%s header fill %d,%d: %r" % (sheet.name, r, c, fill(sheet, r, c)))
        check(xf(sheet, r, c).alignment.hor_align == 2, "%s header centred %d,%d" % (sheet.name, r, c))
        check(xf(sheet, r, c).alignment.vert_align == 1, "%s header middle %d,%d" % (sheet.name, r, c))
        check(framed(sheet, r, c), "%s header borders %d,%d" % (sheet.name, r, c))
check(fill(billing, 0, 37) == 10, "部門展開 fill %r" % fill(billing, 0, 37))

# Data area.
check(contract.nrows == 4, "contract rows %d" % contract.nrows)
check(billing.nrows == 4, "billing rows %d" % billing.nrows)
for r in range(2, contract.nrows):
    for c in range(19):
        entry = c >= 16
        check(fill(contract, r, c) == (13 if entry else None), "contract fill %d,%d" % (r, c))
        check(xf(contract, r, c).protection.cell_locked == (0 if entry else 1), "contract lock %d,%d" % (r, c))
        check(framed(contract, r, c), "contract borders %d,%d" % (r, c))
        amount = c in (13, 15, 16, 18)
        check(number_format(contract, r, c) == ("#,##0" if amount else "General"),
              "contract format %d,%d: %r" % (r, c, number_format(contract, r, c)))
for r in range(2, billing.nrows):
    for c in range(38):
        check(fill(billing, r, c) == (13 if 25 <= c <= 36 else None), "billing fill %d,%d" % (r, c))
        check(xf(billing, r, c).protection.cell_locked == (0 if c >= 25 else 1), "billing lock %d,%d" % (r, c))
        check(framed(billing, r, c), "billing borders %d,%d" % (r, c))
        amount = 13 <= c <= 36
        check(number_format(billing, r, c) == ("#,##0" if amount else "General"),
              "billing format %d,%d: %r" % (r, c, number_format(billing, r, c)))

# Values: numbers where the columns are numeric, in customer then line order.
check([contract.cell_value(r, 0) for r in range(2, 4)] == [7.0, 8.0], "contract order")
check([contract.cell_value(r, 10) for r in range(2, 4)] == [1.0, 2.0], "contract lines")
check(contract.cell_type(2, 5) == xlrd.XL_CELL_NUMBER and contract.cell_value(2, 5) == 5.5, "容量")
check(contract.cell_value(2, 13) == 12000.0 and contract.cell(2, 16).ctype == xlrd.XL_CELL_BLANK, "amounts")
check(billing.cell_value(3, 24) == 2000.0, "December")
notice = "浄化槽台帳入力より部門展開の金額調整を行ってください。"
check(billing.cell_value(2, 37) == "" and billing.cell_value(3, 37) == notice, "notice column")

# Fonts: the sheet font everywhere, red for the notice.
for sheet in (contract, billing):
    for r, c in ((0, 0), (1, 13), (2, 0), (2, 17)):
        font = book.font_list[xf(sheet, r, c).font_index]
        check(font.name == "ＭＳ　ゴシック" and font.height == 200,
              "%s font %d,%d: %r %d" % (sheet.name, r, c, font.name, font.height))
    # Cells never written take the column's format.
    column = sheet.colinfo_map.get(60)
    font = book.font_list[book.xf_list[column.xf_index].font_index] if column else None
    check(font is not None and font.name == "ＭＳ　ゴシック" and font.height == 200,
          "%s column 61 font %r" % (sheet.name, font and font.name))
red = book.font_list[xf(billing, 3, 37).font_index]
check(red.name == "ＭＳ　ゴシック" and red.colour_index == 10, "notice font %r %d" % (red.name, red.colour_index))

# Entry rules: the raw DV records of each sheet (xlrd keeps none of them).
import struct
from xlrd.compdoc import CompDoc
stream = CompDoc(open(sys.argv[1], "rb").read(), logfile=open("/dev/null", "w")).get_named_stream("Workbook")

def text(data, at):
    n, wide = struct.unpack_from("<HB", data, at)
    raw = data[at + 3:at + 3 + n * (2 if wide else 1)]
    return raw.decode("utf-16-le" if wide else "latin-1"), at + 3 + len(raw)

def operand(data, at):
    size = struct.unpack_from("<H", data, at)[0]
    tokens = data[at + 4:at + 4 + size]
    value = struct.unpack_from("<H", tokens, 1)[0] if tokens[0] == 0x1E else struct.unpack_from("<d", tokens, 1)[0]
    return value, at + 4 + size

rules, dvals, sheet, pos = {}, {}, -1, 0
while pos + 4 <= len(stream):
    rid, size = struct.unpack_from("<HH", stream, pos)
    data = stream[pos + 4:pos + 4 + size]
    if rid == 0x0809:
        sheet += 1
    elif rid == 0x01B2:
        dvals[sheet] = struct.unpack_from("<I", data, 14)[0]
    elif rid == 0x01BE:
        flags = struct.unpack_from("<I", data, 0)[0]
        at = 4
        texts = []
        for _ in range(4):
            t, at = text(data, at)
            texts.append(t)
        low, at = operand(data, at)
        high, at = operand(data, at)
        count = struct.unpack_from("<H", data, at)[0]
        ranges = [struct.unpack_from("<4H", data, at + 2 + 8 * k) for k in range(count)]
        rules.setdefault(sheet, []).append((flags, texts, low, high, ranges))
    pos += 4 + size

def rule_text(item, high, whole):
    return "%sには 0 から %s までの%sを入力してください。" % (item, "{:,}".format(int(high)), "整数" if whole else "数値")

expected = {
    1: [(2, "年間金額", 999999999, (2, 3, 16, 16)), (1, "作業回数", 999, (2, 3, 17, 17)),
        (2, "１回金額", 999999999, (2, 3, 18, 18))],
    2: [(2, "請求金額", 999999999, (2, 3, 25, 36))],
}
check(dvals == {1: 3, 2: 1}, "DVAL counts %r" % dvals)
for s, wanted in expected.items():
    got = rules.get(s, [])
    check(len(got) == len(wanted), "sheet %d: %d rules" % (s, len(got)))
    for (flags, texts, low, high, ranges), (kind, item, top, cells) in zip(got, wanted):
        # Type, error style stop, blanks allowed, prompt and error shown, between.
        check(flags == (kind | 0x100 | 0x40000 | 0x80000), "%s flags %x" % (item, flags))
        message = rule_text(item, top, kind == 1)
        check(texts == [item, "入力エラー", message, message], "%s texts %r" % (item, texts))
        check((low, high) == (0, top), "%s limits %r" % (item, (low, high)))
        check(ranges == [cells], "%s cells %r" % (item, ranges))

for f in failures:
    print(f)
sys.exit(1 if failures else 0)
)PY";

struct CommandRun {
    int status = -1;
    std::string output;
};

CommandRun RunCommand(const std::string& command) {
    CommandRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

TEST(ExportXlrd, IndependentReaderSeesTheLayout) {
    if (!std::filesystem::exists("/usr/bin/python3") ||
        RunCommand("/usr/bin/python3 -c 'import xlrd'").status != 0) {
        GTEST_SKIP() << "/usr/bin/python3 with xlrd is not installed (python3-xlrd)";
    }
    ExportTempDir dir;
    FeeDatabase fee(dir, true);
    AddMasters(fee);
    for (int code : {8, 7}) {
        fee.customer(code, "顧客" + std::to_string(code));
        fee.contract(code, std::int64_t{20200101}, std::int64_t{0});
        fee.line(code, code - 6, 10);
        fee.billing(code, 1, 1, kMonthly);
    }
    fee.expansion(8, 1);
    TestExportView view;
    bool expansionMode = true;
    ASSERT_TRUE(ExportFeeData(fee.get(), AllDepartments(dir.file("fee.xls")), expansionMode, view));
    WriteFile(dir.file("check.py"), kCheckScript);
    const CommandRun run =
        RunCommand("/usr/bin/python3 " + dir.file("check.py") + " " + dir.file("fee.xls"));
    EXPECT_EQ(run.status, 0) << run.output;
}
