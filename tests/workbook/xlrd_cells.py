# Dumps the cell values python3-xlrd reads from .xls workbooks, as the
# canonical text the corpus test compares the engine's cells with:
#
#   book<TAB>file name
#   biff<TAB>version (80 = BIFF8)<TAB>datemode (1 = 1904 date system)
#   refused<TAB>encrypted | other<TAB>xlrd's reason      (instead of sheets)
#   sheet<TAB>name
#   row<TAB>col<TAB>kind<TAB>value                        (cells with a value)
#
# kind: n number (dates too; %.17g), t text (\\ \t \n \r escaped), b boolean
# (0/1), e error (BIFF code). Empty and blank cells are left out.
#
# usage: xlrd_cells.py FILE-OR-FOLDER... (a folder: its .xls files, by name)

import os
import sys

import xlrd


def escape(text):
    # Unpaired surrogates become U+FFFD, as the engine turns them.
    text = text.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace")
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
            .replace("\r", "\\r"))


def value_of(cell):
    if cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
        return "n", "%.17g" % cell.value
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return "t", escape(cell.value)
    if cell.ctype == xlrd.XL_CELL_BOOLEAN:
        return "b", "%d" % (1 if cell.value else 0)
    if cell.ctype == xlrd.XL_CELL_ERROR:
        return "e", "%d" % cell.value
    return None


def dump(path, out, devnull):
    out.append("book\t%s" % os.path.basename(path))
    try:
        book = xlrd.open_workbook(path, logfile=devnull, ragged_rows=True)
    except Exception as e:  # xlrd refuses the book: nothing to compare
        reason = " ".join(str(e).split())
        kind = "encrypted" if "encrypted" in reason.lower() else "other"
        out.append("refused\t%s\t%s: %s" % (kind, type(e).__name__, escape(reason)))
        return
    out.append("biff\t%d\t%d" % (book.biff_version, book.datemode))
    for sheet in book.sheets():
        out.append("sheet\t%s" % escape(sheet.name))
        for r in range(sheet.nrows):
            for c, cell in enumerate(sheet.row(r)):
                v = value_of(cell)
                if v is not None:
                    out.append("%d\t%d\t%s\t%s" % (r, c, v[0], v[1]))
    book.release_resources()


def main():
    out = []
    with open(os.devnull, "w") as devnull:
        for arg in sys.argv[1:]:
            if os.path.isdir(arg):
                paths = [os.path.join(arg, n) for n in sorted(os.listdir(arg))
                         if n.lower().endswith(".xls")]
            else:
                paths = [arg]
            for path in paths:
                dump(path, out, devnull)
    sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8"))


main()
