#include <algorithm>
#include <cmath>

#include "CellText.h"
#include "FormatCodes.h"
#include "pClExcel.h"
#include "pClExcelShared.h"

// Cell formats, merges, column widths, row heights and the sheet view.

using xls::CellFormat;
using xls::CellRange;
using xls::CellValue;
using xls::RangeKind;
using namespace pclexcel;

namespace {

// Column width in characters to the file's 1/256 character units, with the
// cell padding of the standard font (7-pixel digits, 5 pixels of padding).
std::uint16_t widthUnits(double chars) {
    if (!std::isfinite(chars) || chars < 0 || chars > 255) {
        throw refused("Range クラスの ColumnWidth プロパティを設定できません(" + numberText(chars) +
                      ")。");
    }
    if (chars == 0)
        return 0;
    const double units = std::trunc((chars * 7 + 5) / 7 * 256);
    return static_cast<std::uint16_t>(std::min(units, 65535.0));
}

std::uint16_t heightTwips(double points) {
    if (!std::isfinite(points) || points < 0 || points > 409) {
        throw refused("Range クラスの RowHeight プロパティを設定できません(" + numberText(points) +
                      ")。");
    }
    return static_cast<std::uint16_t>(std::lround(points * 20));
}

}  // namespace
std::optional<pClExcel::RangeChoice> pClExcel::ChooseRange(std::int32_t vYsPos, std::int16_t vXsPos,
                                                           std::int32_t vYePos, std::int16_t vXepos,
                                                           std::int16_t vRangeType) const {
    RangeChoice choice{RangeKind::Cells, {}};
    switch (vRangeType) {
        case 0:
            if (!CheckCellPos(vYsPos, vXsPos) || !CheckCellPos(vYePos, vXepos))
                return std::nullopt;
            choice.kind = RangeKind::Cells;
            choice.range = {std::min(vYsPos, vYePos) - 1, std::max(vYsPos, vYePos) - 1,
                            std::min<std::int32_t>(vXsPos, vXepos) - 1,
                            std::max<std::int32_t>(vXsPos, vXepos) - 1};
            break;
        case 1:
            if (!CheckCellPos(vYsPos, 1) || !CheckCellPos(vYePos, 1))
                return std::nullopt;
            choice.kind = RangeKind::Rows;
            choice.range = {std::min(vYsPos, vYePos) - 1, std::max(vYsPos, vYePos) - 1, 0,
                            xls::kMaxCols - 1};
            break;
        case 2:
            if (!CheckCellPos(1, vXsPos) || !CheckCellPos(1, vXepos))
                return std::nullopt;
            choice.kind = RangeKind::Columns;
            choice.range = {0, xls::kMaxRows - 1, std::min<std::int32_t>(vXsPos, vXepos) - 1,
                            std::max<std::int32_t>(vXsPos, vXepos) - 1};
            break;
        case 9:
            choice.kind = RangeKind::Sheet;
            choice.range = {0, xls::kMaxRows - 1, 0, xls::kMaxCols - 1};
            break;
        default:
            return std::nullopt;
    }
    return choice;
}

bool pClExcel::FormatRange(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                           std::int16_t vXepos, std::int16_t vRangeType,
                           const std::function<void(CellFormat&, unsigned)>& change) {
    if (!mBookOpen)
        return false;
    const auto choice = ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType);
    if (!choice)
        return false;
    CurrentSheet().changeFormatByEdge(choice->kind, choice->range, change);
    return true;
}

bool pClExcel::SetCellBackColor(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                                std::int16_t vXepos, std::int32_t vColorIndex,
                                std::int16_t vRangeType) {
    if (!mBookOpen || !ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType))
        return false;
    // "No colour" removes the fill; any other colour is a solid fill.
    const bool none = vColorIndex == xlNone || vColorIndex == 0;
    const std::uint16_t icv = none ? xls::kDefaultFg : fillColor(vColorIndex);
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [none, icv](CellFormat& f, unsigned) {
                           f.pattern = none ? 0 : 1;
                           f.patternColor = icv;
                           f.patternBgColor = xls::kDefaultBg;
                       });
}

bool pClExcel::SetCellLineStyle(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                                std::int16_t vXepos, std::int32_t vLeft, std::int32_t vTop,
                                std::int32_t vRight, std::int32_t vBottom, std::int32_t vVertical,
                                std::int32_t vHorizon, std::int16_t vRangeType,
                                std::int32_t vWeight) {
    if (!mBookOpen || !ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType))
        return false;
    for (std::int32_t style : {vLeft, vTop, vRight, vBottom, vVertical, vHorizon}) {
        if (style != 0 && !validLineStyle(style)) {
            throw refused("Border クラスの LineStyle プロパティを設定できません(" +
                          std::to_string(style) + ")。");
        }
    }
    if (vWeight != 0 && !validWeight(vWeight)) {
        throw refused("Border クラスの Weight プロパティを設定できません(" +
                      std::to_string(vWeight) + ")。");
    }
    // Inside lines follow the caller's corners, whatever the range type.
    const bool insideV = vXsPos != vXepos;
    const bool insideH = vYsPos != vYePos;
    auto side = [vWeight](xls::Border& b, std::int32_t style) {
        if (style != 0)
            setLine(b, style, vWeight);
    };
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType, [=](CellFormat& f, unsigned e) {
        if (e & xls::kEdgeLeft) {
            side(f.left, vLeft);
        } else if (insideV) {
            side(f.left, vVertical);
        }
        if (e & xls::kEdgeTop) {
            side(f.top, vTop);
        } else if (insideH) {
            side(f.top, vHorizon);
        }
        if (e & xls::kEdgeBottom) {
            side(f.bottom, vBottom);
        } else if (insideH) {
            side(f.bottom, vHorizon);
        }
        if (e & xls::kEdgeRight) {
            side(f.right, vRight);
        } else if (insideV) {
            side(f.right, vVertical);
        }
    });
}

bool pClExcel::SetCellFormat(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                             std::int16_t vXepos, const std::string& vFormatString,
                             std::int16_t vRangeType) {
    // "G/標準" is the local name of the general format.
    const std::string code =
        vFormatString.empty() || vFormatString == "G/標準" ? "General" : vFormatString;
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [&code](CellFormat& f, unsigned) { f.numberFormat = code; });
}

bool pClExcel::SetWordWrap(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                           std::int16_t vXepos, bool vWordWrap, std::int16_t vRangeType) {
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [vWordWrap](CellFormat& f, unsigned) { f.wrap = vWordWrap; });
}

bool pClExcel::SetCellFont(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                           std::int16_t vXepos, const std::string& vFontname,
                           std::int16_t vFontSize, std::int32_t vColorIndex,
                           std::int16_t vRangeType) {
    if (!mBookOpen || !ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType))
        return false;
    if (vFontSize > 409) {
        throw refused("Font クラスの Size プロパティを設定できません(" + std::to_string(vFontSize) +
                      ")。");
    }
    const std::uint16_t color = fontColor(vColorIndex);
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [&vFontname, vFontSize, color](CellFormat& f, unsigned) {
                           if (!vFontname.empty())
                               f.font.name = vFontname;
                           if (vFontSize > 0)
                               f.font.height = static_cast<std::uint16_t>(vFontSize * 20);
                           f.font.color = color;
                       });
}

bool pClExcel::SetCellBold(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                           std::int16_t vXepos, bool vBold, bool vItalic, std::int16_t vRangeType) {
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [vBold, vItalic](CellFormat& f, unsigned) {
                           f.font.italic = vItalic;
                           f.font.bold = vBold;
                       });
}

bool pClExcel::SetCellAlignment(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                                std::int16_t vXepos, std::int32_t vHAlign, std::int32_t vVAlign,
                                std::int16_t vRangeType) {
    if (!mBookOpen || !ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType))
        return false;
    // A code of 0 leaves that alignment as it is.
    const bool setH = vHAlign != 0;
    const bool setV = vVAlign != 0;
    const std::uint8_t h = setH ? hAlignOf(vHAlign) : 0;
    const std::uint8_t v = setV ? vAlignOf(vVAlign) : 0;
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [setH, setV, h, v](CellFormat& f, unsigned) {
                           if (setH)
                               f.hAlign = h;
                           if (setV)
                               f.vAlign = v;
                           f.wrap = false;
                           f.rotation = 0;
                           f.indent = 0;
                           f.shrink = false;
                       });
}

bool pClExcel::SetCellMerge(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                            std::int16_t vXepos, std::int32_t vHAlign, std::int32_t vVAlign,
                            std::int16_t vRangeType) {
    if (!mBookOpen)
        return false;
    const auto choice = ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType);
    if (!choice)
        return false;
    const std::uint8_t h = hAlignOf(vHAlign);
    const std::uint8_t v = vAlignOf(vVAlign);
    xls::Sheet& sheet = CurrentSheet();
    sheet.changeFormatByEdge(choice->kind, choice->range, [h, v](CellFormat& f, unsigned) {
        f.hAlign = h;
        f.vAlign = v;
        f.wrap = false;
        f.rotation = 0;
        f.indent = 0;
        f.shrink = false;
    });
    const CellRange& rg = choice->range;
    auto overlaps = [&rg](const CellRange& m) {
        return m.firstRow <= rg.lastRow && rg.firstRow <= m.lastRow && m.firstCol <= rg.lastCol &&
               rg.firstCol <= m.lastCol;
    };
    std::erase_if(sheet.merges, overlaps);
    if (rg.firstRow == rg.lastRow && rg.firstCol == rg.lastCol)
        return true;
    // The merged cell keeps the top-left value only.
    const std::int32_t lastRow = std::min(rg.lastRow, sheet.rowCount() - 1);
    for (std::int32_t r = rg.firstRow; r <= lastRow; ++r) {
        for (std::int32_t c = rg.firstCol; c <= rg.lastCol; ++c) {
            if ((r != rg.firstRow || c != rg.firstCol) && sheet.cell(r, c) != nullptr) {
                sheet.setValue(r, c, std::monostate{});
            }
        }
    }
    sheet.merges.push_back(rg);
    return true;
}
// Columns and rows address the application's active sheet.
bool pClExcel::SetColWidth(std::int16_t vXsPos, std::int16_t vXepos, double vWidth,
                           bool vAutoMode) {
    if (!mBookOpen)
        return false;
    std::int32_t c0 = 1, c1 = kMaxCol;
    if (vXsPos >= 0) {
        if (!CheckCellPos(1, vXsPos) || !CheckCellPos(1, vXepos))
            return false;
        c0 = std::min(vXsPos, vXepos);
        c1 = std::max(vXsPos, vXepos);
    }
    xls::Sheet& sheet = ActiveSheet();
    if (!vAutoMode) {
        const std::uint16_t units = widthUnits(vWidth);
        for (std::int32_t c = c0; c <= c1; ++c)
            sheet.column(c - 1).width = units;
        return true;
    }
    // Fit each column to its widest displayed value; empty columns go back
    // to the standard width.
    std::vector<std::size_t> widest(static_cast<std::size_t>(kMaxCol), 0);
    for (std::int32_t r = 0; r < sheet.rowCount(); ++r) {
        const xls::RowInfo* ri = sheet.row(r);
        const auto end = std::min<std::int32_t>(c1, static_cast<std::int32_t>(ri->cells.size()));
        for (std::int32_t c = c0; c <= end; ++c) {
            const CellValue v = sheet.value(r, c - 1);
            if (std::holds_alternative<std::monostate>(v))
                continue;
            std::string text;
            if (std::holds_alternative<xls::ErrorValue>(v)) {
                text = "#VALUE!";
            } else {
                text = textOf(v);
            }
            const std::size_t w = displayWidth(text);
            auto& slot = widest[static_cast<std::size_t>(c - 1)];
            slot = std::max(slot, w);
        }
    }
    for (std::int32_t c = c0; c <= c1; ++c) {
        const std::size_t w = widest[static_cast<std::size_t>(c - 1)];
        if (w == 0) {
            sheet.column(c - 1).width.reset();
        } else {
            sheet.column(c - 1).width =
                widthUnits(std::min<double>(static_cast<double>(w) + 0.5, 255));
        }
    }
    return true;
}

bool pClExcel::SetColHidden(std::int16_t vXsPos, std::int16_t vXepos, bool vHidden) {
    if (!mBookOpen)
        return false;
    std::int32_t c0 = 1, c1 = kMaxCol;
    if (vXsPos >= 0) {
        if (!CheckCellPos(1, vXsPos) || !CheckCellPos(1, vXepos))
            return false;
        c0 = std::min(vXsPos, vXepos);
        c1 = std::max(vXsPos, vXepos);
    }
    xls::Sheet& sheet = ActiveSheet();
    for (std::int32_t c = c0; c <= c1; ++c)
        sheet.column(c - 1).hidden = vHidden;
    return true;
}

bool pClExcel::SetRowHeight(std::int32_t vYsPos, std::int32_t vYePos, double vHeight) {
    if (vYsPos < 0) {
        // Every row: this case reaches the active sheet before any check of the
        // book, so without a book the error goes to the caller.
        xls::Sheet& sheet = ActiveSheet();
        const std::uint16_t twips = heightTwips(vHeight);
        sheet.defaultRowHeight = twips;
        for (std::int32_t r = 0; r < sheet.rowCount(); ++r)
            sheet.rowInfo(r).height = twips;
        return true;
    }
    if (!mBookOpen)
        return false;
    if (!CheckCellPos(vYsPos, 1) || !CheckCellPos(vYePos, 1))
        return false;
    xls::Sheet& sheet = ActiveSheet();
    const std::uint16_t twips = heightTwips(vHeight);
    for (std::int32_t r = std::min(vYsPos, vYePos); r <= std::max(vYsPos, vYePos); ++r) {
        sheet.rowInfo(r - 1).height = twips;
    }
    return true;
}

bool pClExcel::SetSheetZoom(const Variant& vZoom) {
    try {
        xls::Sheet& sheet = ActiveSheet();
        double zoom = 0;
        if (const auto* d = std::get_if<double>(&vZoom)) {
            zoom = *d;
        } else if (const auto* s = std::get_if<std::string>(&vZoom)) {
            if (!readsAsNumber(*s, zoom))
                return false;
        } else {
            return false;
        }
        zoom = std::round(zoom);
        if (zoom < 10 || zoom > 400)
            return false;
        sheet.view.zoom = static_cast<std::uint16_t>(zoom);
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

bool pClExcel::SetSheetFreezePanes(std::int32_t vYPos, std::int16_t vXPos, bool vFreezePanes) {
    if (!CheckCellPos(vYPos, vXPos))
        return false;
    // Selecting the cell: only on the active sheet, and only with a book.
    if (!mBookOpen) {
        throw refused("Range メソッドが失敗しました(ブックが開かれていません)。");
    }
    xls::Sheet& sheet = CurrentSheet();
    if (&sheet != &ActiveSheet()) {
        throw refused(
            "Range クラスの Select メソッドが失敗しました(シートがアクティブではありません)。");
    }
    if (vFreezePanes && (vYPos > 1 || vXPos > 1)) {
        sheet.view.freeze = std::make_pair(vYPos - 1, static_cast<std::int32_t>(vXPos - 1));
    } else {
        sheet.view.freeze.reset();
    }
    return true;
}
