#pragma once
// The spreadsheet wrapper: one object owns one workbook engine ("the
// application"), at most one current workbook and one current sheet.
// Rows are 32-bit and columns 16-bit, both from 1; rows 1..65535, columns 1..256.
//
// Each member follows one of three error conventions:
//  report  - a PlatformError shows description + "(" + number + ")" (OK, no icon,
//            no title of its own) and the method returns its failure value;
//  silent  - errors are swallowed, failure value, no message;
//  pass on - the PlatformError propagates to the caller.
//
// Which members the two tools call; every other member keeps the wrapper
// complete (sheet management, formulas, zoom and panes, print settings,
// protection, visibility, column and row sizes, ...) and is called only by
// the tests and benchmarks:
//  export  NewBook, NewSheets, BookSave, SetCellValue, SetCellText,
//          SetCellBackColor, SetCellLineStyle, SetCellFont, SetCellFormat,
//          SetCellMerge, SetCellLocked, SetCellValidation
//  import  OpenBook, ChangeSheets, GetSheetsName, GetCellValue, GetRowColCount,
//          GetRangeCells, GetSheetRangeCells and GetSheetLastRow (the
//          read-ahead), GetCellPosStr (the error list); the marked copy also
//          BookSave, SetCellValue, SetRangeValue, SetCellBackColor,
//          SetCellLineStyle, SetCellMerge, SetColWidth

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "CellView.h"
#include "MessageSink.h"
#include "PlatformError.h"
#include "Variant.h"
#include "Workbook.h"

class pClExcel {
  public:
    using Variant = xls::Variant;
    using SheetRef = std::variant<std::string, std::int32_t>;  // name or 1-based index

    explicit pClExcel(MessageSink& messages);  // Class_Initialize
    ~pClExcel();                               // Class_Terminate
    pClExcel(const pClExcel&) = delete;
    pClExcel& operator=(const pClExcel&) = delete;

    void Class_Initialize();
    void Class_Terminate();
    std::int16_t SheetCount() const;  // pass on
    bool OpenBook(const std::string& vBookName);
    bool NewBook(const std::string& vSheetsName);
    bool NewSheets(const std::string& vName);  // pass on
    bool SheetsVisible(const std::string& vName, bool vMode);
    bool DeleteSheets(const std::string& vName, bool vMsgMode = false);
    bool ChangeSheets(const SheetRef& vName);
    bool ChangeSheetName(const std::string& vName, const std::string& vNewname);
    bool InsertSheet(const std::string& vName, const std::string& vNewname, std::int16_t vPos);
    std::string GetCellValue(std::int32_t vYPos, std::int16_t vXPos);
    bool ExcelVisible(bool vVisible);
    bool ExcelWindowState(std::int16_t vState);
    bool BookSave(const std::string& vSaveFile, bool OverwriteFlg = false);
    std::string GetSheetsName(std::int16_t vSheetNum);
    std::string GetCellPosStr(std::int32_t vYPos, std::int16_t vXPos) const;
    std::string GetColPosStr(std::int16_t vXPos) const;
    std::string GetRowPosStr(std::int32_t vYPos) const;
    bool SetSheetZoom(const Variant& vZoom);
    bool SetSheetFreezePanes(std::int32_t vYPos, std::int16_t vXPos, bool vFreezePanes = true);
    bool SetCellBackColor(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                          std::int16_t vXepos, std::int32_t vColorIndex,
                          std::int16_t vRangeType = 0);
    bool SetCellLineStyle(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                          std::int16_t vXepos, std::int32_t vLeft, std::int32_t vTop,
                          std::int32_t vRight, std::int32_t vBottom, std::int32_t vVertical,
                          std::int32_t vHorizon, std::int16_t vRangeType = 0,
                          std::int32_t vWeight = 0);
    bool SetCellFormat(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                       std::int16_t vXepos, const std::string& vFormatString,
                       std::int16_t vRangeType = 0);
    bool SetWordWrap(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                     std::int16_t vXepos, bool vWordWrap, std::int16_t vRangeType = 0);
    bool SetCellFont(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                     std::int16_t vXepos, const std::string& vFontname, std::int16_t vFontSize,
                     std::int32_t vColorIndex = -4105, std::int16_t vRangeType = 0);
    bool SetCellBold(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                     std::int16_t vXepos, bool vBold, bool vItalic, std::int16_t vRangeType = 0);
    bool SetCellAlignment(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                          std::int16_t vXepos, std::int32_t vHAlign, std::int32_t vVAlign,
                          std::int16_t vRangeType = 0);
    bool SetCellMerge(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                      std::int16_t vXepos, std::int32_t vHAlign, std::int32_t vVAlign,
                      std::int16_t vRangeType = 0);
    bool SetRangeFormula(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                         std::int16_t vXepos, const Variant& vValue);
    bool SetColWidth(std::int16_t vXsPos, std::int16_t vXepos, double vWidth,
                     bool vAutoMode = false);
    bool SetColHidden(std::int16_t vXsPos, std::int16_t vXepos, bool vHidden);
    bool SetRowHeight(std::int32_t vYsPos, std::int32_t vYePos, double vHeight);
    bool SetCellValue(std::int32_t vYPos, std::int16_t vXPos, const Variant& vValue);
    // SetCellValue with a text, without building a Variant: the export hands
    // over a million texts.
    bool SetCellText(std::int32_t vYPos, std::int16_t vXPos, const std::string& vText);
    bool SetCellFormula(std::int32_t vYPos, std::int16_t vXPos, const Variant& vValue);
    bool SetRangeValue(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                       std::int16_t vXepos, const Variant& vValue);
    bool GetRangeValue(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                       std::int16_t vXepos, Variant& vValue);
    std::int32_t CopySheets(const std::string& vBookName, const std::string& vSheetName,
                            std::int16_t vCopyPos);
    std::int32_t GetEndRow(std::string& vPos);
    bool SetPrintPaperSize(std::int16_t vPaperSize);
    bool SetPrintOrientation(std::int16_t vOrientation);
    bool SetPrintLeftMarjin(double vOrijin);
    bool SetPrintTopMarjin(double vOrijin);
    bool SetPrintBottomMarjin(double vOrijin);
    bool SetPrintRightMarjin(double vOrijin);
    bool SetPrintHeaderMarjin(double vOrijin);
    bool SetPrintFooterMarjin(double vOrijin);
    bool SetPrintZoom(std::int16_t vZoom);
    bool SetPrintHeaderLeft(const std::string& vValue);
    bool SetPrintHeaderCenter(const std::string& vValue);
    bool SetPrintHeaderRight(const std::string& vValue);
    bool SetPrintFooterLeft(const std::string& vValue);
    bool SetPrintFooterCenter(const std::string& vValue);
    bool SetPrintFooterRight(const std::string& vValue);
    bool SetPrintPrintTitleRow(const std::string& vValue);
    bool SetPrintPrintTitleCol(const std::string& vValue);
    bool SetSheetProtect(const std::string& vName, bool vProtect,
                         const std::string& vPassWord = "");
    bool SetBookProtect(bool vProtect, const std::string& vPassWord = "");
    bool SetCellLocked(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                       std::int16_t vXepos, bool vLocked, std::int16_t vRangeType = 0);
    bool GetRowColCount(std::int32_t& vRow, std::int16_t& vCol);
    // GetRangeValue always as a block, its texts pointing into the book: the
    // block is valid while this book stays open (texts set meanwhile leave
    // it as it was read). A sheet's worth of cells costs no copy of a text.
    bool GetRangeCells(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                       std::int16_t vXepos, xls::CellBlock& vCells);
    // GetRangeCells and the row of GetRowColCount for the sheet at vIndex
    // (from 1), without choosing it: they only read the book, so another
    // thread may call them while nothing changes the book (the import's
    // SheetPrefetch.h says who may do what meanwhile). False (silent)
    // without a book or such a sheet.
    bool GetSheetRangeCells(std::int16_t vIndex, std::int32_t vYsPos, std::int16_t vXsPos,
                            std::int32_t vYePos, std::int16_t vXepos, xls::CellBlock& vCells) const;
    bool GetSheetLastRow(std::int16_t vIndex, std::int32_t& vRow) const;
    // What the cells of a range accept when typed into: vType 1 a whole number,
    // 2 a decimal number, from vMinimum to vMaximum (both included; blank
    // stays allowed). The prompt shows on entering a cell, the error text
    // stops any other entry. A range overlapping an earlier rule's is refused.
    // report
    bool SetCellValidation(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                           std::int16_t vXepos, std::int16_t vType, double vMinimum,
                           double vMaximum, const std::string& vInputTitle,
                           const std::string& vInputMessage, const std::string& vErrorTitle,
                           const std::string& vErrorMessage);

    // The engine's current workbook (tests and benchmarks look inside).
    const xls::Workbook* book() const { return mBook.get(); }

  private:
    static bool CheckCellPos(std::int32_t vYPos, std::int16_t vXPos);
    const xls::Sheet* SheetAt(std::int16_t vIndex) const;  // null without a book or such a sheet
    bool RangeValue(const xls::Sheet& sheet, std::int32_t vYsPos, std::int16_t vXsPos,
                    std::int32_t vYePos, std::int16_t vXepos, Variant& vValue) const;
    xls::CellBlock RangeCells(const xls::Sheet& sheet, std::int32_t vYsPos, std::int16_t vXsPos,
                              std::int32_t vYePos, std::int16_t vXepos) const;

    struct RangeChoice {
        xls::RangeKind kind;
        xls::CellRange range;  // 0-based, corners ordered
    };
    std::optional<RangeChoice> ChooseRange(std::int32_t vYsPos, std::int16_t vXsPos,
                                           std::int32_t vYePos, std::int16_t vXepos,
                                           std::int16_t vRangeType) const;
    // What every range formatting method does around its change: check the
    // corners, choose the cells, rows, columns or sheet, apply the change to
    // each format there (with the cell's edges in the range), report errors.
    bool FormatRange(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                     std::int16_t vXepos, std::int16_t vRangeType,
                     const std::function<void(xls::CellFormat&, unsigned)>& change);
    static bool PutText(xls::Sheet& sheet, std::int32_t vYPos, std::int16_t vXPos,
                        const std::string& text);
    void Report(const PlatformError& error) const;
    void RequireApp() const;
    xls::Workbook& RequireBook() const;
    xls::Sheet& CurrentSheet() const;  // mSheet, for the methods that read it
    xls::Sheet& ActiveSheet() const;   // the application's active sheet
    void Activate(xls::Sheet& sheet);
    std::size_t IndexOf(const xls::Sheet& sheet) const;
    void CheckSheetName(const std::string& name, const xls::Sheet* renamed) const;
    std::string UnusedSheetName(const std::string& base) const;

    MessageSink& messages_;
    bool mApp = false;  // the engine is "running"
    std::unique_ptr<xls::Workbook> mBook;
    xls::Sheet* mSheet = nullptr;  // current sheet of mBook, null when released
    bool mBookOpen = false;
    bool displayAlerts_ = true;
    std::string bookPath_;  // where OpenBook read it / BookSave wrote it
};
