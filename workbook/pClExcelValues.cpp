#include <algorithm>
#include <cmath>
#include <vector>

#include "CellText.h"
#include "NumberFormat.h"
#include "TextCodec.h"
#include "pClExcel.h"
#include "pClExcelShared.h"

// Addresses, and values in and out.

using xls::CellFormat;
using xls::CellRange;
using xls::CellValue;
using xls::RangeKind;
using namespace pclexcel;

namespace {

// A value of the interface as the cell stores it.
CellValue cellValueOf(const xls::Variant& v) {
    switch (v.index()) {
        case 1: {
            const double d = std::get<double>(v);
            if (!std::isfinite(d))
                throw refused("セルに設定できない数値です。");
            return d;
        }
        case 2: {
            const auto& text = std::get<std::string>(v);
            if (text.empty())
                return std::monostate{};
            double number;
            if (readsAsNumber(text, number))
                return number;
            if (text.size() > 32767 && textcodec::Utf16Length(text) > 32767) {
                throw PlatformError(xls::kErrLimit,
                                    "セルに入力できる文字数(32767 文字)を超えています。");
            }
            return text;
        }
        case 3:
            return std::get<bool>(v);
        case 4:
            return std::get<xls::ErrorValue>(v);
        case 5: {
            const auto& a = std::get<xls::Array2D>(v);
            if (a.rows < 1 || a.cols < 1 || a.data.empty())
                return std::monostate{};
            xls::Variant first;
            std::visit([&first](const auto& x) { first = x; }, a.at(1, 1));
            return cellValueOf(first);
        }
        default:
            return std::monostate{};
    }
}

xls::Variant variantOf(const CellValue& v) {
    xls::Variant out;
    std::visit([&out](const auto& x) { out = x; }, v);
    return out;
}

// What the number formats of a workbook show, classified once per format.
class FormatShows {
  public:
    explicit FormatShows(const xls::FormatTable& formats)
        : formats_(formats), shows_(formats.size(), kUnknown) {}

    // A number cell as a spreadsheet application hands it back: in a date or
    // time format it is a date, given as its date or time text.
    CellValue numberValue(const xls::Cell& cell) {
        const xls::NumberShows shows = showsOf(cell.format);
        if (shows == xls::NumberShows::Number)
            return cell.number;
        return xls::SerialText(cell.number, shows);
    }

    xls::NumberShows showsOf(std::uint32_t format) {
        if (format >= shows_.size())
            return xls::NumberShows::Number;
        std::uint8_t& known = shows_[format];
        if (known == kUnknown) {
            known = static_cast<std::uint8_t>(
                xls::ClassifyNumberFormat(formats_.get(format).numberFormat));
        }
        return static_cast<xls::NumberShows>(known);
    }

  private:
    static constexpr std::uint8_t kUnknown = 0xFF;

    const xls::FormatTable& formats_;
    std::vector<std::uint8_t> shows_;
};

// The value of one cell as the reads give it (dates as their text).
CellValue shownValue(const xls::Workbook& book, const xls::Sheet& sheet, std::int32_t row,
                     std::int32_t col) {
    const xls::Cell* cell = sheet.cell(row, col);
    if (cell != nullptr && cell->kind == xls::CellKind::Number)
        return FormatShows(book.formats).numberValue(*cell);
    return sheet.value(row, col);
}

}  // namespace
bool pClExcel::CheckCellPos(std::int32_t vYPos, std::int16_t vXPos) {
    return vXPos >= 1 && vXPos <= kMaxCol && vYPos >= 1 && vYPos <= kMaxRow;
}

std::string pClExcel::GetColPosStr(std::int16_t vXPos) const {
    if (!mBookOpen || !CheckCellPos(1, vXPos))
        return std::string();
    std::string text;
    std::int32_t n = vXPos;
    while (n != 0) {
        const std::int32_t m = n - 1;
        text.insert(text.begin(), static_cast<char>('A' + m % 26));
        n = m / 26;
    }
    return text;
}

std::string pClExcel::GetRowPosStr(std::int32_t vYPos) const {
    if (!mBookOpen || !CheckCellPos(vYPos, 1))
        return std::string();
    return std::to_string(vYPos);
}

std::string pClExcel::GetCellPosStr(std::int32_t vYPos, std::int16_t vXPos) const {
    if (!mBookOpen || !CheckCellPos(vYPos, vXPos))
        return std::string();
    return GetColPosStr(vXPos) + GetRowPosStr(vYPos);
}

std::string pClExcel::GetCellValue(std::int32_t vYPos, std::int16_t vXPos) {
    if (!mBookOpen || !CheckCellPos(vYPos, vXPos))
        return std::string();
    try {
        return textOf(shownValue(*mBook, CurrentSheet(), vYPos - 1, vXPos - 1));
    } catch (const PlatformError& e) {
        Report(e);
        return std::string();
    }
}

bool pClExcel::SetCellValue(std::int32_t vYPos, std::int16_t vXPos, const Variant& vValue) {
    if (!mBookOpen || !CheckCellPos(vYPos, vXPos))
        return false;
    xls::Sheet& sheet = ActiveSheet();
    if (const auto* text = std::get_if<std::string>(&vValue);
        text != nullptr && PutText(sheet, vYPos, vXPos, *text))
        return true;
    sheet.setValue(vYPos - 1, vXPos - 1, cellValueOf(vValue));
    return true;
}

bool pClExcel::SetCellText(std::int32_t vYPos, std::int16_t vXPos, const std::string& vText) {
    if (!mBookOpen || !CheckCellPos(vYPos, vXPos))
        return false;
    xls::Sheet& sheet = ActiveSheet();
    if (!PutText(sheet, vYPos, vXPos, vText))
        sheet.setValue(vYPos - 1, vXPos - 1, cellValueOf(vText));
    return true;
}

// Text is what the export writes, a million times: no copies on the way.
// False for the texts cellValueOf decides on (empty or very long).
bool pClExcel::PutText(xls::Sheet& sheet, std::int32_t vYPos, std::int16_t vXPos,
                       const std::string& text) {
    if (text.empty() || text.size() > 32767)
        return false;
    double number;
    if (readsAsNumber(text, number)) {
        sheet.setNumber(vYPos - 1, vXPos - 1, number);
    } else {
        sheet.setText(vYPos - 1, vXPos - 1, text);
    }
    return true;
}

// There is no formula engine: a formula is kept as its text, so the saved
// workbook shows the text the caller gave.
bool pClExcel::SetCellFormula(std::int32_t vYPos, std::int16_t vXPos, const Variant& vValue) {
    if (!mBookOpen || !CheckCellPos(vYPos, vXPos))
        return false;
    std::string text;
    if (const auto* s = std::get_if<std::string>(&vValue)) {
        text = *s;
    } else if (const auto* d = std::get_if<double>(&vValue)) {
        text = numberText(*d);
    } else if (const auto* b = std::get_if<bool>(&vValue)) {
        text = *b ? "True" : "False";
    }
    if (text.empty() || text.front() != '=')
        text = "=" + text;
    ActiveSheet().setValue(vYPos - 1, vXPos - 1, text);
    return true;
}

bool pClExcel::SetRangeFormula(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                               std::int16_t vXepos, const Variant& vValue) {
    if (!mBookOpen || !CheckCellPos(vYsPos, vXsPos) || !CheckCellPos(vYePos, vXepos))
        return false;
    xls::Sheet& sheet = ActiveSheet();
    CellValue value;
    if (const auto* s = std::get_if<std::string>(&vValue)) {
        value = s->empty() ? CellValue{} : CellValue{*s};
    } else {
        value = cellValueOf(vValue);
    }
    for (std::int32_t r = std::min(vYsPos, vYePos); r <= std::max(vYsPos, vYePos); ++r) {
        for (std::int32_t c = std::min(vXsPos, vXepos); c <= std::max(vXsPos, vXepos); ++c) {
            sheet.setValue(r - 1, c - 1, value);
        }
    }
    return true;
}

bool pClExcel::SetRangeValue(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                             std::int16_t vXepos, const Variant& vValue) {
    if (!mBookOpen || !CheckCellPos(vYsPos, vXsPos) || !CheckCellPos(vYePos, vXepos))
        return false;
    xls::Sheet& sheet = ActiveSheet();
    const std::int32_t r0 = std::min(vYsPos, vYePos), r1 = std::max(vYsPos, vYePos);
    const std::int32_t c0 = std::min<std::int32_t>(vXsPos, vXepos);
    const std::int32_t c1 = std::max<std::int32_t>(vXsPos, vXepos);
    if (const auto* a = std::get_if<xls::Array2D>(&vValue)) {
        // An array smaller than the block leaves #N/A in the cells it misses.
        for (std::int32_t r = r0; r <= r1; ++r) {
            for (std::int32_t c = c0; c <= c1; ++c) {
                const std::int32_t i = r - r0 + 1, j = c - c0 + 1;
                CellValue v = xls::ErrorValue{0x2A};
                if (i <= a->rows && j <= a->cols)
                    v = cellValueOf(variantOf(a->at(i, j)));
                sheet.setValue(r - 1, c - 1, v);
            }
        }
        return true;
    }
    const CellValue v = cellValueOf(vValue);
    for (std::int32_t r = r0; r <= r1; ++r) {
        for (std::int32_t c = c0; c <= c1; ++c)
            sheet.setValue(r - 1, c - 1, v);
    }
    return true;
}

bool pClExcel::GetRangeValue(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                             std::int16_t vXepos, Variant& vValue) {
    if (!mBookOpen || !CheckCellPos(vYsPos, vXsPos) || !CheckCellPos(vYePos, vXepos))
        return false;
    return RangeValue(CurrentSheet(), vYsPos, vXsPos, vYePos, vXepos, vValue);
}

const xls::Sheet* pClExcel::SheetAt(std::int16_t vIndex) const {
    if (!mApp || !mBook || !mBookOpen || vIndex < 1 ||
        static_cast<std::size_t>(vIndex) > mBook->sheetCount())
        return nullptr;
    return &mBook->sheet(static_cast<std::size_t>(vIndex - 1));
}

bool pClExcel::GetRangeCells(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                             std::int16_t vXepos, xls::CellBlock& vCells) {
    if (!mBookOpen || !CheckCellPos(vYsPos, vXsPos) || !CheckCellPos(vYePos, vXepos))
        return false;
    vCells = RangeCells(CurrentSheet(), vYsPos, vXsPos, vYePos, vXepos);
    return true;
}

bool pClExcel::GetSheetRangeCells(std::int16_t vIndex, std::int32_t vYsPos, std::int16_t vXsPos,
                                  std::int32_t vYePos, std::int16_t vXepos,
                                  xls::CellBlock& vCells) const {
    const xls::Sheet* sheet = SheetAt(vIndex);
    if (sheet == nullptr || !CheckCellPos(vYsPos, vXsPos) || !CheckCellPos(vYePos, vXepos))
        return false;
    vCells = RangeCells(*sheet, vYsPos, vXsPos, vYePos, vXepos);
    return true;
}

bool pClExcel::GetSheetLastRow(std::int16_t vIndex, std::int32_t& vRow) const {
    const xls::Sheet* sheet = SheetAt(vIndex);
    if (sheet == nullptr)
        return false;
    const auto last = sheet->lastCell();
    vRow = last ? last->first + 1 : 1;
    return true;
}

bool pClExcel::RangeValue(const xls::Sheet& sheet, std::int32_t vYsPos, std::int16_t vXsPos,
                          std::int32_t vYePos, std::int16_t vXepos, Variant& vValue) const {
    if (vYsPos == vYePos && vXsPos == vXepos) {
        vValue = variantOf(shownValue(*mBook, sheet, vYsPos - 1, vXsPos - 1));
        return true;
    }
    vValue = xls::ValuesOf(RangeCells(sheet, vYsPos, vXsPos, vYePos, vXepos));
    return true;
}

xls::CellBlock pClExcel::RangeCells(const xls::Sheet& sheet, std::int32_t vYsPos,
                                    std::int16_t vXsPos, std::int32_t vYePos,
                                    std::int16_t vXepos) const {
    const std::int32_t r0 = std::min(vYsPos, vYePos), r1 = std::max(vYsPos, vYePos);
    const std::int32_t c0 = std::min<std::int32_t>(vXsPos, vXepos);
    const std::int32_t c1 = std::max<std::int32_t>(vXsPos, vXepos);
    const xls::StringTable& strings = mBook->strings;
    FormatShows shows(mBook->formats);
    xls::CellBlock block;
    block.rows = r1 - r0 + 1;
    block.cols = c1 - c0 + 1;
    // Filled in order, each cell written once: the system hands the memory
    // of a block of 30,000 rows over page by page.
    const std::size_t total =
        static_cast<std::size_t>(block.rows) * static_cast<std::size_t>(block.cols);
    block.data.reserve(total);
    for (std::int32_t r = r0; r <= r1; ++r) {
        const xls::RowInfo* ri = sheet.row(r - 1);
        if (ri == nullptr)
            break;
        for (std::int32_t c = c0; c <= c1; ++c) {
            const auto index = static_cast<std::size_t>(c - 1);
            if (index >= ri->cells.size() || ri->cells[index].format == xls::kNoCell) {
                block.data.emplace_back();
                continue;
            }
            const xls::Cell& cell = ri->cells[index];
            switch (cell.kind) {
                case xls::CellKind::Number: {
                    const xls::NumberShows shown = shows.showsOf(cell.format);
                    block.data.push_back(shown == xls::NumberShows::Number
                                             ? xls::CellView::OfNumber(cell.number)
                                             : block.ownText(xls::SerialText(cell.number, shown)));
                    break;
                }
                case xls::CellKind::Text:
                    block.data.push_back(xls::CellView::OfText(strings.get(cell.text)));
                    break;
                case xls::CellKind::Boolean:
                    block.data.push_back(xls::CellView::OfBoolean(cell.small != 0));
                    break;
                case xls::CellKind::Error:
                    block.data.push_back(xls::CellView::OfError(cell.small));
                    break;
                default:
                    block.data.emplace_back();
                    break;
            }
        }
    }
    block.data.resize(total);  // rows past the last stored one are empty
    return block;
}

std::int32_t pClExcel::GetEndRow(std::string& vPos) {
    try {
        const xls::Sheet& sheet = CurrentSheet();
        const std::int32_t col = columnOfLetters(vPos);
        if (col == 0) {
            throw refused("Worksheet クラスの Range メソッドが失敗しました('" + vPos +
                          std::to_string(kRowsCount) + "')。");
        }
        auto has = [&](std::int32_t r) {
            const xls::Cell* cell = sheet.cell(r, col - 1);
            return cell != nullptr && cell->kind != xls::CellKind::Blank;
        };
        std::int32_t r = kRowsCount - 1;
        if (has(r) && r > 0 && has(r - 1)) {
            while (r > 0 && has(r - 1))
                --r;
            return r + 1;
        }
        const auto last = sheet.lastValueRow(col - 1);
        if (has(kRowsCount - 1)) {
            // From an occupied last cell with an empty one above: the next one up.
            for (std::int32_t k = kRowsCount - 2; k >= 0; --k) {
                if (has(k))
                    return k + 1;
            }
            return 1;
        }
        return last ? *last + 1 : 1;
    } catch (const PlatformError& e) {
        messages_.show(e.description(), "", MsgIcon::None, MsgButtons::Ok);
        return 0;
    }
}

bool pClExcel::GetRowColCount(std::int32_t& vRow, std::int16_t& vCol) {
    try {
        const xls::Sheet& sheet = CurrentSheet();
        const auto last = sheet.lastCell();
        vRow = last ? last->first + 1 : 1;
        vCol = static_cast<std::int16_t>(last ? last->second + 1 : 1);
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}
