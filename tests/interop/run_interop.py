"""Round trips of the fee workbook through real spreadsheet applications.

1. A sample database is exported to a workbook (interop_driver export).
2. LibreOffice Calc opens it and saves it unchanged as .xls, .xlsx and .ods:
   importing each finds nothing to import and changes nothing.
3. LibreOffice Calc opens it, revised amounts are entered into yellow cells
   the way a clerk enters them (typed numbers, "1,500" stored as text,
   full-width "２０００", letters, a negative amount, a decimal, 4/1 which
   Calc turns into a date), formulas are filled down month columns
   (ROUNDDOWN, ROUND, an IF that shows nothing where the month was not
   billed), one formula gives a text and one an error, and it is saved as
   .xls ("MS Excel 97"), .xlsx and .ods. Each import must change exactly the
   expected database columns (the formulas' values as Calc calculated them,
   which python3-xlrd reads back) and list exactly the expected rejected
   rows. LibreOffice reads the entry rules of the export and of its re-save
   (converted to .fods: conditions, messages and the cells they cover).
   Gnumeric (ssconvert) saves the untouched export and, calculating the
   formulas itself, the edited workbook in the same three formats, with the
   same outcomes. A format the import does not read yet prints
   "skipped: format not yet read" instead of its checks.
5. LibreOffice prints the export to PDF; the first page of each sheet is
   rendered to PNG for a look at the layout.

Run by scripts/test-interop with /usr/bin/python3 (python3-uno, python3-xlrd).
Exits non-zero on the first failed check.
"""

import argparse
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

import xlrd

import lo_session

CONTRACT = "契約内訳情報"
BILLING = "請求情報"
TITLE_CONFIRM = "浄化槽金額データの取込を開始してもよろしいですか "
NO_DATA = "指定されたExcelには取込対象となるデータがありません"
NOT_FOUND = "指定されたExcelファイルが見つかりません"
# The formats a clerk may save in; the import reads .xls, the others once it
# accepts them (until then each of their checks prints a "skipped" line).
FORMATS = ("xls", "xlsx", "ods")
GNUMERIC = {"xls": "Gnumeric_Excel:excel_biff8", "xlsx": "Gnumeric_Excel:xlsx2", "ods": "Gnumeric_OpenCalc:odf"}
FULLWIDTH = str.maketrans("0123456789", "０１２３４５６７８９")

failures = []


def check(condition, what, detail=""):
    if condition:
        print("ok   " + what)
    else:
        print("FAIL " + what + ("\n" + detail if detail else ""))
        failures.append(what)
    return condition


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"\\": "\\", "r": "\r", "n": "\n", "t": "\t"}[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def run_driver(driver, *args):
    proc = subprocess.run(
        [driver, *args], capture_output=True, text=True, encoding="utf-8", timeout=300
    )
    if proc.returncode != 0:
        raise SystemExit("interop_driver %s failed (%d): %s" % (args[0], proc.returncode, proc.stderr))
    out = {"box": [], "error": [], "result": None, "count": {}}
    for line in proc.stdout.splitlines():
        kind, _, rest = line.partition("\t")
        if kind == "box":
            icon, _, text = rest.partition("\t")
            out["box"].append((icon, unescape(text)))
        elif kind == "error":
            out["error"].append(unescape(rest))
        elif kind == "result":
            out["result"] = rest == "1"
        elif kind == "count":
            sheet, ok, ng = (int(x) for x in rest.split("\t"))
            out["count"][sheet] = (ok, ng)
    return out


# --- expected texts -------------------------------------------------------


def column_letters(column):
    letters = ""
    while column:
        column, rest = divmod(column - 1, 26)
        letters = chr(ord("A") + rest) + letters
    return letters


def fit_to_byte_width(text, width):
    """Cut or pad with blanks to `width` Shift_JIS bytes; a double-byte
    character that would straddle the limit becomes one blank."""
    out, used = "", 0
    for ch in text:
        w = len(ch.encode("cp932"))
        if used + w > width:
            break
        out += ch
        used += w
    return out + " " * (width - used)


def error_line(sheet, row, column, code, message):
    label = "【契約内訳】" if sheet == 1 else "【請求情報】"
    cell = fit_to_byte_width(column_letters(column) + str(row), 7)
    return "%s(%s)%s：%s" % (label, cell, str(code).rjust(10, "0")[-10:], fit_to_byte_width(message, 76))


def summary(ok1, ng1, ok2, ng2):
    def n(v):
        return "{:>8,}".format(v)

    return "\r\n".join(
        [
            "【 契約内訳情報 】",
            "　取込ＯＫ：" + n(ok1) + " 件",
            "　取込ＮＧ：" + n(ng1) + " 件",
            "",
            "",
            "【 　請求情報 　】",
            "　取込ＯＫ：" + n(ok2) + " 件",
            "　取込ＮＧ：" + n(ng2) + " 件",
        ]
    )


# --- database -------------------------------------------------------------

TABLES = {1: "浄化槽契約内訳マスタ", 2: "浄化槽請求テーブル"}


def snapshot(path):
    con = sqlite3.connect(path)
    try:
        data = {}
        for table in TABLES.values():
            cur = con.execute('SELECT * FROM "%s"' % table)
            names = [d[0] for d in cur.description]
            for row in cur:
                rec = dict(zip(names, row))
                data[(table, rec["得意先コード"], rec["ＩＤ"])] = rec
        return data
    finally:
        con.close()


def customers_with_master(path):
    con = sqlite3.connect(path)
    try:
        return {r[0] for r in con.execute('SELECT "得意先コード" FROM "浄化槽基本マスタ"')}
    finally:
        con.close()


def check_database(before, after, expected, what):
    """`expected` maps (table, code, id, column) to the value the import must
    leave there; every other value of both tables must be unchanged."""
    problems = []
    if set(before) != set(after):
        problems.append("records were added or removed")
    for key, rec in after.items():
        old = before.get(key, {})
        for column, value in rec.items():
            want = expected.get(key + (column,), old.get(column))
            # Amounts such as 5500*1.1 are stored to four decimals.
            numbers = all(isinstance(v, (int, float)) for v in (value, want))
            if (abs(value - want) > 1e-4) if numbers else (value != want):
                problems.append("%s %s/%s %s: %r (was %r, expected %r)" % (key[0], key[1], key[2], column, value, old.get(column), want))
    check(not problems, what, "\n".join("     " + p for p in problems[:20]))


# --- the scenario ---------------------------------------------------------


def pick_rows(book, base_customers):
    """Data rows (1-based sheet row, values) of each sheet whose key is
    unique on the sheet and whose customer has a 浄化槽基本マスタ record."""
    rows = {}
    for n, name in ((1, CONTRACT), (2, BILLING)):
        sheet = book.sheet_by_name(name)
        keys = {}
        for r in range(2, sheet.nrows):
            values = sheet.row_values(r)
            keys.setdefault((int(values[0]), int(values[10])), []).append((r + 1, values))
        rows[n] = [v[0] for k, v in keys.items() if len(v) == 1 and k[0] in base_customers]
        rows[n].sort()
    return rows


def scenario(book, base_customers):
    """The edits, the database values they must produce and the error lines
    and counters they must give."""
    rows = pick_rows(book, base_customers)
    contract, billing = rows[1], rows[2]
    if len(contract) < 6 or len(billing) < 4:
        raise SystemExit("the sample export has too few rows for the scenario")
    edits, expected, errors = [], {}, []
    t1, t2 = TABLES[1], TABLES[2]

    def key(n, values):
        return (TABLES[n], int(values[0]), int(values[10]))

    def code(values):
        return int(values[0])

    # Contract lines: first different from any value the sample holds.
    c = [r for r in contract if r[1][13] not in (120000, 1500, 5000) and r[1][15] != 2000][:7]
    if len(c) < 7:
        raise SystemExit("the sample export has too few rows for the scenario")
    (r1, v1), (r2, v2), (r3, v3), (r4, v4), (r5, v5), (r6, v6), (r7, v7) = c
    edits += [
        (CONTRACT, r1, 17, "typed", "120000"),
        (CONTRACT, r1, 18, "typed", "4"),
        (CONTRACT, r1, 19, "typed", "30000"),
    ]
    expected[key(1, v1) + ("年間金額",)] = 120000
    expected[key(1, v1) + ("作業回数",)] = 4
    expected[key(1, v1) + ("1回分の金額",)] = 30000
    edits.append((CONTRACT, r2, 17, "text", "1,500"))
    expected[key(1, v2) + ("年間金額",)] = 1500
    edits.append((CONTRACT, r3, 19, "text", "２０００"))
    expected[key(1, v3) + ("1回分の金額",)] = 2000
    edits += [(CONTRACT, r4, 17, "typed", "5000"), (CONTRACT, r4, 18, "text", "abc")]
    errors.append((1, r4, error_line(1, r4, 18, code(v4), "作業回数が数値として認識できません")))
    edits.append((CONTRACT, r5, 17, "typed", "-1"))
    errors.append((1, r5, error_line(1, r5, 17, code(v5), "年間金額の値の桁数が正しくありません")))
    edits.append((CONTRACT, r6, 17, "typed", "12345.5"))
    expected[key(1, v6) + ("年間金額",)] = 12345.5
    # Calc turns 4/1 typed into an amount cell into a date: no amount.
    edits.append((CONTRACT, r7, 17, "keyboard", "4/1"))
    errors.append((1, r7, error_line(1, r7, 17, code(v7), "年間金額が数値として認識できません")))

    # Billing lines. b3 needs a billed month 2 so that 0 visibly clears it.
    b1, b2 = billing[0], billing[1]
    b3 = next(r for r in billing[2:] if r[1][14] > 0)
    b4 = next(r for r in billing[2:] if r is not b3)
    (s1, w1), (s2, w2), (s3, w3), (s4, w4) = b1, b2, b3, b4

    def month(m):
        return 25 + m

    def full(m):
        return str(m).translate(FULLWIDTH)

    edits.append((BILLING, s1, month(4), "typed", "5000"))
    expected[key(2, w1) + ("請求金額" + full(4),)] = 5000
    expected[key(2, w1) + ("請求フラグ" + full(4),)] = 1
    edits += [(BILLING, s2, month(3), "typed", "1000"), (BILLING, s2, month(5), "text", "abc")]
    errors.append((2, s2, error_line(2, s2, month(5), code(w2), "請求金額(5月)が数値として認識できません")))
    edits += [(BILLING, s3, month(1), "text", "1,500"), (BILLING, s3, month(2), "typed", "0")]
    expected[key(2, w3) + ("請求金額" + full(1),)] = 1500
    expected[key(2, w3) + ("請求フラグ" + full(1),)] = 1
    expected[key(2, w3) + ("請求金額" + full(2),)] = 0
    expected[key(2, w3) + ("請求フラグ" + full(2),)] = 0
    edits.append((BILLING, s4, month(12), "typed", "-1"))
    errors.append((2, s4, error_line(2, s4, month(12), code(w4), "請求金額(12月)の値の桁数が正しくありません")))

    # Formulas as a clerk fills them down a month column, over a run of
    # consecutive rows; one giving a text and one giving an error elsewhere.
    used = {s1, s2, s3, s4}
    free = [r for r in billing if r[0] not in used]
    runs = []
    for r in free:
        if runs and r[0] == runs[-1][-1][0] + 1:
            runs[-1].append(r)
        else:
            runs.append([r])
    run = max(runs, key=len)[:5]
    rest = [r for r in free if r not in run]
    if len(run) < 3 or len(rest) < 2:
        raise SystemExit("the sample export has too few rows for the formulas")
    first, last = run[0][0], run[-1][0]

    def current(m, row):
        return "%s%d" % (column_letters(13 + m), row)

    # The month whose IF shows nothing on some rows (current amount 0).
    empty_month = next(
        (m for m in (9, 10, 11, 12, 2, 3) if any(v[12 + m] == 0 for _, v in run) and any(v[12 + m] for _, v in run)), 9
    )
    edits += [
        (BILLING, first, month(7), "fill", ("=ROUNDDOWN(%s*1.1;0)" % current(7, first), last)),
        (BILLING, first, month(8), "fill", ("=ROUND(%s*1.08;0)" % current(8, first), last)),
        (BILLING, first, month(empty_month), "fill", ('=IF(%s=0;"";%s*1.1)' % (current(empty_month, first), current(empty_month, first)), last)),
    ]
    (t, wt), (e, we) = rest[0], rest[1]
    edits.append((BILLING, t, month(10), "typed", '=%s&"円"' % current(10, t)))
    errors.append((2, t, error_line(2, t, month(10), code(wt), "請求金額(10月)が数値として認識できません")))
    edits.append((BILLING, e, month(11), "typed", "=%s/0" % current(11, e)))
    errors.append((2, e, error_line(2, e, month(11), code(we), "請求金額(11月)が数値として認識できません")))
    filled = {row: key(2, values) for row, values in run}

    # Error records come sheet by sheet, top to bottom.
    errors = [line for _, _, line in sorted(errors)]
    counts = {1: (4, 3), 2: (2 + len(run), 4)}
    return edits, expected, errors, counts, filled


def formula_expectations(data, shown):
    """The scenario with the database values of the filled-down rows as
    Calc calculated them: a number is written (its month flagged when above
    0), a formula showing nothing leaves its month unchanged."""
    edits, expected, errors, counts, filled = data
    expected = dict(expected)
    for (sheet, row, column), (kind, value) in shown.items():
        if sheet != BILLING or row not in filled:
            continue
        m = str(column - 25).translate(FULLWIDTH)
        if kind == "number":
            expected[filled[row] + ("請求金額" + m,)] = value
            expected[filled[row] + ("請求フラグ" + m,)] = 1 if value > 0 else 0
        elif not (kind == "text" and value == ""):
            raise SystemExit("a filled-down formula shows %r" % (value,))
    check(
        any(v == ("text", "") for (s, r, c), v in shown.items() if r in filled)
        and any(v[0] == "number" for (s, r, c), v in shown.items() if r in filled),
        "the filled-down formulas show numbers and nothing",
        repr(shown),
    )
    return edits, expected, errors, counts, filled


def check_read_back(path, shown, what, text_results=True):
    """python3-xlrd reads each formula cell of the saved .xls as Calc showed
    it (LibreOffice's own .xls stores a text result in a number-formatted
    cell as 0: `text_results` False skips those)."""
    book = xlrd.open_workbook(path)
    problems = []
    for (sheet, row, column), (kind, value) in sorted(shown.items()):
        cell = book.sheet_by_name(sheet).cell(row - 1, column - 1)
        if kind == "number":
            ok = cell.ctype == xlrd.XL_CELL_NUMBER and abs(cell.value - value) < 1e-9
        elif kind == "text":
            ok = not text_results or (cell.ctype in (xlrd.XL_CELL_TEXT, xlrd.XL_CELL_EMPTY) and cell.value == value)
        else:
            ok = cell.ctype == xlrd.XL_CELL_ERROR and xlrd.error_text_from_code[cell.value] == value
        if not ok:
            problems.append("%s %s%d: %r, shown %r" % (sheet, column_letters(column), row, cell, value))
    check(not problems, what, "\n".join("     " + p for p in problems))


def import_or_skip(driver, db, workbook, what):
    """The import's outcome, or None (with a printed line) for a format the
    import does not read yet: it then says the file is not found."""
    out = run_driver(driver, "import", db, workbook)
    if out["box"] == [("exclamation", NOT_FOUND)] and os.path.exists(workbook) and not workbook.endswith(".xls"):
        print("skipped: format not yet read (%s)" % what)
        return None
    return out


def check_edited_import(driver, base_db, workbook, work, scenario_data, what):
    edits, expected, errors, counts = scenario_data[:4]
    db = os.path.join(work, "db-edited.sqlite")
    shutil.copyfile(base_db, db)
    before = snapshot(db)
    out = import_or_skip(driver, db, workbook, what)
    if out is None:
        return
    after = snapshot(db)
    (ok1, ng1), (ok2, ng2) = counts[1], counts[2]
    boxes = [
        ("question", TITLE_CONFIRM),
        (
            "exclamation",
            "浄化槽金額データの取込が完了しました\r\n取込できなかったデータを確認してください\r\n\r\n"
            + summary(ok1, ng1, ok2, ng2),
        ),
    ]
    check(out["box"] == boxes, what + ": messages", "     got %r\n     expected %r" % (out["box"], boxes))
    check(out["count"] == counts, what + ": counters", "     got %r" % out["count"])
    check(
        out["error"] == errors,
        what + ": error list",
        "     got:\n" + "\n".join("       |%s|" % e for e in out["error"]) + "\n     expected:\n" + "\n".join("       |%s|" % e for e in errors),
    )
    check_database(before, after, expected, what + ": database changes")


def check_no_data_import(driver, base_db, workbook, work, what):
    db = os.path.join(work, "db-nodata.sqlite")
    shutil.copyfile(base_db, db)
    before = snapshot(db)
    out = import_or_skip(driver, db, workbook, what)
    if out is None:
        return
    after = snapshot(db)
    boxes = [("question", TITLE_CONFIRM), ("information", NO_DATA)]
    check(out["box"] == boxes, what + ": nothing to import", "     got %r" % out["box"])
    check(out["error"] == [], what + ": no error lines", "     got %r" % out["error"])
    check(before == after, what + ": database unchanged")


ODF = {
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
}


def odf(name):
    prefix, _, local = name.partition(":")
    return "{%s}%s" % (ODF[prefix], local)


def convert(workbook, work, kind):
    """`soffice --convert-to kind` of the workbook into work/kind; the process
    and the path the converted file has when it succeeded."""
    outdir = os.path.join(work, kind)
    os.makedirs(outdir, exist_ok=True)
    profile = lo_session._url(os.path.join(work, "lo-convert-profile"))
    proc = subprocess.run(
        ["soffice", "--headless", "-env:UserInstallation=" + profile, "--convert-to", kind, "--outdir", outdir, workbook],
        capture_output=True,
        text=True,
        timeout=180,
    )
    return proc, os.path.join(outdir, os.path.splitext(os.path.basename(workbook))[0] + "." + kind)


def to_fods(workbook, work):
    """The workbook as LibreOffice reads it, written as flat ODF XML."""
    proc, path = convert(workbook, work, "fods")
    if proc.returncode != 0 or not os.path.exists(path):
        raise SystemExit("soffice --convert-to fods failed: " + proc.stderr)
    return ET.parse(path).getroot()


def validated_cells(root):
    """{validation name: {(sheet, 1-based row, 1-based column)}} over every
    table, repeated rows and columns expanded."""
    cells = {}
    for table in root.iter(odf("table:table")):
        name = table.get(odf("table:name"))
        row = 0
        for tr in table.iter(odf("table:table-row")):
            rows = int(tr.get(odf("table:number-rows-repeated"), "1"))
            column = 0
            for tc in tr:
                if tc.tag not in (odf("table:table-cell"), odf("table:covered-table-cell")):
                    continue
                columns = int(tc.get(odf("table:number-columns-repeated"), "1"))
                rule = tc.get(odf("table:content-validation-name"))
                if rule:
                    for r in range(row, row + rows):
                        for c in range(column, column + columns):
                            cells.setdefault(rule, set()).add((name, r + 1, c + 1))
                column += columns
            row += rows
    return cells


def check_entry_rules(workbook, work, data_rows, what):
    """LibreOffice reads one rule per entry column range: condition, stop
    message, prompt, and exactly the entry cells of the data rows."""
    root = to_fods(workbook, work)
    rules = {}
    for v in root.iter(odf("table:content-validation")):
        help_ = v.find(odf("table:help-message"))
        error = v.find(odf("table:error-message"))
        rules[v.get(odf("table:name"))] = {
            "condition": v.get(odf("table:condition")),
            "empty": v.get(odf("table:allow-empty-cell")),
            "help": (help_.get(odf("table:title")), help_.get(odf("table:display")), "".join(help_.itertext()).strip()),
            "error": (
                error.get(odf("table:title")),
                error.get(odf("table:message-type")),
                error.get(odf("table:display")),
                "".join(error.itertext()).strip(),
            ),
        }
    cells = validated_cells(root)

    def text(item, top, whole):
        return "%sには 0 から %s までの%sを入力してください。" % (item, "{:,}".format(top), "整数" if whole else "数値")

    amounts = "of:cell-content-is-decimal-number() and cell-content-is-between(0,999999999)"
    visits = "of:cell-content-is-whole-number() and cell-content-is-between(0,999)"
    wanted = [
        (CONTRACT, [17], "年間金額", amounts, 999999999, False),
        (CONTRACT, [18], "作業回数", visits, 999, True),
        (CONTRACT, [19], "１回金額", amounts, 999999999, False),
        (BILLING, list(range(26, 38)), "請求金額", amounts, 999999999, False),
    ]
    found = {}
    for name, rule in rules.items():
        found[(rule["help"][0], frozenset(cells.get(name, ())))] = rule
    check(len(rules) == len(wanted), what + ": %d entry rules" % len(rules), repr(rules))
    for sheet, columns, item, condition, top, whole in wanted:
        last = data_rows[sheet] + 2
        expected_cells = frozenset((sheet, r, c) for r in range(3, last + 1) for c in columns)
        rule = found.get((item, expected_cells))
        message = text(item, top, whole)
        check(
            rule is not None
            and rule["condition"] == condition
            and rule["empty"] == "true"
            and rule["help"] == (item, "true", message)
            and rule["error"] == ("入力エラー", "stop", "true", message),
            "%s: %s on %s rows 3-%d, columns %s" % (what, item, sheet, last, columns),
            "     rules %r\n     cells %r" % (rules, {k: sorted(v)[:3] for k, v in cells.items()}),
        )


def ssconvert(source, target, recalc=False):
    """Gnumeric's save of `source` in the format of the target's ending;
    with `recalc` Gnumeric works every formula out itself first."""
    kind = os.path.splitext(target)[1][1:]
    proc = subprocess.run(
        ["ssconvert", "--export-type=" + GNUMERIC[kind]] + (["--recalc"] if recalc else []) + [source, target],
        capture_output=True,
        text=True,
        timeout=120,
    )
    if proc.returncode != 0 or not os.path.exists(target):
        raise SystemExit("ssconvert failed: " + proc.stderr)


def machine_fonts(work):
    """A copy of the system's fontconfig setup with the package's alias of
    the Windows Gothic names added, as on a machine where the tools are
    installed; the office processes started afterwards use it."""
    root = os.path.join(work, "fonts")
    shutil.copytree("/etc/fonts", root, symlinks=True)
    alias = os.path.join(os.path.dirname(__file__), "..", "..", "packaging", "fontconfig", "65-velkan-ms-gothic.conf")
    shutil.copy(alias, os.path.join(root, "conf.d"))
    os.environ["FONTCONFIG_PATH"] = root


def render(office, workbook, work, images):
    """PDF of the whole workbook as `soffice --convert-to` makes it, and one
    page per sheet, width fitted, as PNG."""
    proc, pdf = convert(workbook, work, "pdf")
    pages = 0
    if proc.returncode == 0 and os.path.exists(pdf):
        info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True).stdout
        pages = int(next((l.split()[1] for l in info.splitlines() if l.startswith("Pages:")), "0"))
    check(pages > 0, "soffice --convert-to pdf prints the workbook (%d pages)" % pages, proc.stderr)
    text = subprocess.run(["pdftotext", "-enc", "UTF-8", pdf, "-"], capture_output=True, text=True).stdout
    check("得意先コード" in text and "現在の金額" in text, "the PDF holds the Japanese header texts")

    os.makedirs(images, exist_ok=True)
    for (name, sheet_pdf), image in zip(
        office.render_sheets(workbook, os.path.dirname(pdf)), ("workbook-contract", "workbook-billing")
    ):
        base = os.path.join(images, image)
        subprocess.run(
            ["pdftoppm", "-f", "1", "-l", "1", "-r", "200", "-png", "-singlefile", sheet_pdf, base],
            check=True,
        )
        # The page is mostly margin: keep the printed area and a white rim.
        subprocess.run(
            ["/usr/bin/convert", base + ".png", "-trim", "+repage", "-bordercolor", "white", "-border", "16", base + ".png"],
            check=True,
        )
        check(os.path.getsize(base + ".png") > 0, "first page of %s rendered to %s.png" % (name, base))
        fonts = subprocess.run(["pdffonts", sheet_pdf], capture_output=True, text=True).stdout
        names = sorted({l.split()[0].split("+")[-1] for l in fonts.splitlines()[2:]})
        check(names == ["IPAGothic"], "%s is printed in IPAGothic alone (fonts: %s)" % (name, ", ".join(names)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", required=True)
    parser.add_argument("--sample-db", required=True)
    parser.add_argument("--images", required=True, help="folder for the PNG pages")
    parser.add_argument("--customers", type=int, default=40)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="velkan-interop-")
    office = None
    try:
        base_db = os.path.join(work, "base.sqlite")
        subprocess.run(
            [args.sample_db, base_db, "--customers", str(args.customers), "--seed", str(args.seed)],
            check=True,
            stdout=subprocess.DEVNULL,
        )
        exported = os.path.join(work, "fee.xls")
        before = snapshot(base_db)
        out = run_driver(args.driver, "export", base_db, exported, "0")
        check(out["result"] is True and out["box"] == [], "export writes the workbook without a message", repr(out))
        check(snapshot(base_db) == before, "export leaves the database unchanged")
        book = xlrd.open_workbook(exported)
        data = scenario(book, customers_with_master(base_db))

        print("== LibreOffice Calc: the export saved again with no entry, in each format")
        machine_fonts(work)
        data_rows = {CONTRACT: book.sheet_by_name(CONTRACT).nrows - 2, BILLING: book.sheet_by_name(BILLING).nrows - 2}
        check_entry_rules(exported, work, data_rows, "LibreOffice reads the export's entry rules")
        office = lo_session.LibreOffice(work)
        plain_lo = {kind: os.path.join(work, "plain-lo." + kind) for kind in FORMATS}
        office.edit(exported, list(plain_lo.values()), [])
        for kind in FORMATS:
            check_no_data_import(args.driver, base_db, plain_lo[kind], work, "LibreOffice .%s save of the export" % kind)

        print("== LibreOffice Calc: entries and formulas typed, saved in each format")
        # Values set through the API pass by the rules as pasted ones do: the
        # import's own checks still reject the bad ones.
        edited = {kind: os.path.join(work, "edited-lo." + kind) for kind in FORMATS}
        shown = office.edit(exported, list(edited.values()), data[0])
        data = formula_expectations(data, shown)
        check_read_back(edited["xls"], shown, "python3-xlrd reads the numbers Calc calculated from its .xls", False)
        check_entry_rules(edited["xls"], work, data_rows, "LibreOffice's re-save keeps the entry rules")
        for kind in FORMATS:
            check_edited_import(args.driver, base_db, edited[kind], work, data, "LibreOffice .%s round trip" % kind)

        print("== Gnumeric: the export and the edited workbook saved by ssconvert in each format")
        for kind in FORMATS:
            plain = os.path.join(work, "plain-gnumeric." + kind)
            ssconvert(exported, plain)
            check_no_data_import(args.driver, base_db, plain, work, "Gnumeric .%s save of the export" % kind)
            edited_gnm = os.path.join(work, "edited-gnumeric." + kind)
            ssconvert(edited["xls"], edited_gnm, recalc=True)
            if kind == "xls":
                check_read_back(edited_gnm, shown, "python3-xlrd reads every formula cell of Gnumeric's .xls as Calc showed it")
            check_edited_import(args.driver, base_db, edited_gnm, work, data, "Gnumeric .%s save of the edited workbook" % kind)

        print("== LibreOffice: printing the export")
        render(office, exported, work, args.images)
    finally:
        if office is not None:
            office.close()
        shutil.rmtree(work, ignore_errors=True)

    if failures:
        print("%d interoperability check(s) failed" % len(failures))
        return 1
    print("Interoperability checks passed.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
