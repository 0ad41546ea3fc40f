"""A headless LibreOffice driven through UNO, as a clerk would use Calc.

The office runs with a profile of its own in a scratch folder, so nothing of
the user's LibreOffice settings is read or changed, and listens on a named
pipe; the session ends it on close.
"""

import os
import shutil
import subprocess
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException
from com.sun.star.sheet.FillDirection import TO_BOTTOM


DATE_OR_TIME = 2 | 4  # com.sun.star.util.NumberFormat DATE and TIME
FORMULA_VALUE, FORMULA_STRING = 1, 2  # com.sun.star.sheet.FormulaResult
# Calc's filter of each saved format.
FILTERS = {"xls": "MS Excel 97", "xlsx": "Calc MS Excel 2007 XML", "ods": "calc8"}


def _props(**kwargs):
    out = []
    for name, value in kwargs.items():
        p = PropertyValue()
        p.Name = name
        p.Value = value
        out.append(p)
    return tuple(out)


def _url(path):
    return uno.systemPathToFileUrl(os.path.abspath(path))


class LibreOffice:
    def __init__(self, workdir):
        self.profile = os.path.join(workdir, "lo-profile")
        self.pipe = "velkan_interop_%d" % os.getpid()
        self.process = subprocess.Popen(
            [
                "soffice",
                "--headless",
                "--invisible",
                "--norestore",
                "--nologo",
                "--nodefault",
                "-env:UserInstallation=" + _url(self.profile),
                "--accept=pipe,name=%s;urp;" % self.pipe,
            ],
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local
        )
        deadline = time.time() + 90
        while True:
            try:
                ctx = resolver.resolve(
                    "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe
                )
                break
            except NoConnectException:
                if self.process.poll() is not None or time.time() > deadline:
                    raise RuntimeError("LibreOffice did not start")
                time.sleep(0.5)
        self.context = ctx
        self.desktop = ctx.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", ctx
        )

    def close(self):
        try:
            self.desktop.terminate()
        except Exception:
            pass
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def open(self, path):
        return self.desktop.loadComponentFromURL(
            _url(path), "_blank", 0, _props(Hidden=True, ReadOnly=False)
        )

    def edit(self, source, targets, edits):
        """Opens `source`, types each edit into its cell and saves the workbook
        under each target path with its filter (FILTERS: .xls as "MS Excel
        97", .xlsx, .ods). Returns what Calc shows in each formula cell:
        {(sheet name, row, column): ("number", value) | ("text", text) |
        ("error", text)}.

        An edit is (sheet name, row, column, kind, value) with 1-based row and
        column; kind "typed" enters the text as if typed on the keyboard
        (Calc's own input recognition, so "=..." is a formula), kind "text"
        stores it as a text cell, kind "keyboard" also applies a date or time
        format that Calc's input recognition finds in the text, as an entry
        typed into the cell does (4/1 typed into a "#,##0" cell becomes a date
        in a date format), kind "fill" takes (formula, last row): the formula
        typed into the cell and filled down to the last row, as the fill
        handle does.
        """
        doc = self.open(source)
        shown = {}
        try:
            sheets = doc.getSheets()
            formatter = self.context.ServiceManager.createInstanceWithContext(
                "com.sun.star.util.NumberFormatter", self.context
            )
            formatter.attachNumberFormatsSupplier(doc)
            for sheet, row, column, kind, value in edits:
                cell = sheets.getByName(sheet).getCellByPosition(column - 1, row - 1)
                if kind == "typed":
                    cell.setFormula(value)
                elif kind == "text":
                    cell.setString(value)
                elif kind == "keyboard":
                    cell.setFormula(value)
                    try:
                        key = formatter.detectNumberFormat(0, value)
                    except Exception:  # not a number: a text cell
                        continue
                    if doc.getNumberFormats().getByKey(key).Type & DATE_OR_TIME:
                        cell.NumberFormat = key
                elif kind == "fill":
                    formula, last = value
                    cell.setFormula(formula)
                    block = sheets.getByName(sheet).getCellRangeByPosition(
                        column - 1, row - 1, column - 1, last - 1
                    )
                    block.fillAuto(TO_BOTTOM, 1)
                else:
                    raise ValueError(kind)
            doc.calculateAll()
            for sheet, row, column, kind, value in edits:
                last = value[1] if kind == "fill" else row
                for r in range(row, last + 1):
                    cell = sheets.getByName(sheet).getCellByPosition(column - 1, r - 1)
                    if not cell.getFormula().startswith("="):
                        continue
                    result = cell.FormulaResultType2
                    if result == FORMULA_VALUE:
                        shown[(sheet, r, column)] = ("number", cell.getValue())
                    elif result == FORMULA_STRING:
                        shown[(sheet, r, column)] = ("text", cell.getString())
                    else:
                        shown[(sheet, r, column)] = ("error", cell.getString())
            if isinstance(targets, str):
                targets = [targets]
            for target in targets:
                kind = os.path.splitext(target)[1][1:]
                doc.storeToURL(_url(target), _props(FilterName=FILTERS[kind], Overwrite=True))
        finally:
            doc.close(True)
        return shown

    def render_sheets(self, source, outdir):
        """Writes one PDF per sheet (landscape, the whole width on one page)
        so that every column of the layout can be looked at together. The
        workbook file itself is not changed. Returns the PDF paths by sheet
        name, in sheet order."""
        names = []
        doc = self.open(source)
        try:
            names = list(doc.getSheets().getElementNames())
        finally:
            doc.close(True)
        out = []
        for keep in names:
            doc = self.open(source)
            try:
                sheets = doc.getSheets()
                for name in names:
                    if name != keep:
                        sheets.removeByName(name)
                sheet = sheets.getByName(keep)
                style = doc.getStyleFamilies().getByName("PageStyles").getByName(
                    sheet.PageStyle
                )
                width, height = style.Width, style.Height
                style.IsLandscape = True
                style.Width, style.Height = max(width, height), min(width, height)
                style.ScaleToPagesX = 1
                style.ScaleToPagesY = 0
                pdf = os.path.join(outdir, "sheet%d.pdf" % (len(out) + 1))
                doc.storeToURL(_url(pdf), _props(FilterName="calc_pdf_Export"))
                out.append((keep, pdf))
            finally:
                doc.close(True)
        return out
