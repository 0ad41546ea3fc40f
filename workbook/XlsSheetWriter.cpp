#include "TextCodec.h"
#include "XlsWriterParts.h"

// A worksheet substream: settings, page setup, protection, columns, rows
// with their cells, the window and the merged cells.

#include <algorithm>
#include <cmath>
#include <cstring>

namespace xls::writer {

using namespace biff;  // record ids

namespace {

// RK encoding of a number, when one exists.
// Exact: the reader's decoding gives back the same bits (-0 keeps its sign
// through the truncated-double form, not the integer one).
bool toRk(double x, std::uint32_t& rk) {
    if (x >= -536870912.0 && x <= 536870911.0 && x == std::floor(x) &&
        !(x == 0 && std::signbit(x))) {
        const auto n = static_cast<std::int32_t>(x);
        rk = (static_cast<std::uint32_t>(n) << 2) | 2;
        return true;
    }
    std::uint64_t bits;
    std::memcpy(&bits, &x, 8);
    if ((bits & 0x3FFFFFFFFULL) == 0) {
        rk = static_cast<std::uint32_t>(bits >> 32);
        return true;
    }
    const double hundred = x * 100.0;
    if (std::isfinite(hundred) && hundred >= -536870912.0 && hundred <= 536870911.0 &&
        hundred == std::floor(hundred)) {
        const auto n = static_cast<std::int32_t>(hundred);
        if (static_cast<double>(n) / 100.0 == x) {
            rk = (static_cast<std::uint32_t>(n) << 2) | 3;
            return true;
        }
    }
    return false;
}

// The RK form of the cell in slot `k` of a row, when it is a number RK holds.
bool rkAt(const RowInfo& ri, std::size_t k, std::uint32_t& rk) {
    return k < ri.cells.size() && ri.cells[k].format != kNoCell &&
           ri.cells[k].kind == CellKind::Number && toRk(ri.cells[k].number, rk);
}

void writeHeaderFooter(BiffBuffer& b, std::uint16_t id, const std::string& left,
                       const std::string& center, const std::string& right) {
    std::string text;
    if (!left.empty())
        text += "&L" + left;
    if (!center.empty())
        text += "&C" + center;
    if (!right.empty())
        text += "&R" + right;
    const std::u16string s = textcodec::Utf8ToUtf16(text);
    if (s.size() > 255) {
        throw limitError("ヘッダーまたはフッターの文字列が長すぎます(255 文字まで)。");
    }
    b.begin(id);
    if (!s.empty())
        b.xlString(s);
    b.end();
}

struct SheetWriter {
    BiffBuffer& b;
    const StyleTables& styles;

    void write(const Sheet& sheet, bool active) {
        writeHead(sheet);
        writeRows(sheet, 0, sheet.rowCount());
        writeTail(sheet, active);
    }

    // The records before the cells, BOF to DIMENSIONS.
    void writeHead(const Sheet& sheet) {
        writeBof(b, 0x0010);
        writeU16Record(b, kCalcMode, 1);
        writeU16Record(b, kCalcCount, 100);
        writeU16Record(b, kRefMode, 1);
        writeU16Record(b, kIteration, 0);
        writeDouble(b, kDelta, 0.001);
        writeU16Record(b, kSaveRecalc, 1);
        writeU16Record(b, kPrintHeaders, 0);
        writeU16Record(b, kPrintGridlines, 0);
        writeU16Record(b, kGridSet, 1);
        b.begin(kGuts);
        b.u32(0);
        b.u32(0);
        b.end();
        b.begin(kDefaultRowHeightRecord);
        b.u16(sheet.defaultRowHeight ? 1 : 0);
        b.u16(sheet.defaultRowHeight.value_or(kStandardRowTwips));
        b.end();
        writeU16Record(b, kWsBool, 0x04C1);
        writePageSetup(sheet.pageSetup);
        if (sheet.protectedSheet) {
            writeU16Record(b, kProtect, 1);
            writeU16Record(b, kScenProtect, 1);
            writeU16Record(b, kObjProtect, 1);
            if (sheet.passwordHash != 0)
                writeU16Record(b, kPassword, sheet.passwordHash);
        }
        writeU16Record(b, kDefColWidth, 8);
        writeColumns(sheet);
        writeDimensions(sheet);
    }

    // The records after the cells, WINDOW2 to EOF.
    void writeTail(const Sheet& sheet, bool active) {
        writeWindow(sheet, active);
        writeMerges(sheet);
        writeValidations(sheet);
        b.begin(kEof);
        b.end();
    }

    void writePageSetup(const PageSetup& p) {
        writeHeaderFooter(b, kHeader, p.headerLeft, p.headerCenter, p.headerRight);
        writeHeaderFooter(b, kFooter, p.footerLeft, p.footerCenter, p.footerRight);
        writeU16Record(b, kHCenter, 0);
        writeU16Record(b, kVCenter, 0);
        writeDouble(b, kLeftMargin, p.leftMargin);
        writeDouble(b, kRightMargin, p.rightMargin);
        writeDouble(b, kTopMargin, p.topMargin);
        writeDouble(b, kBottomMargin, p.bottomMargin);
        b.begin(kSetup);
        b.u16(p.paperSize);
        b.u16(p.scale);
        b.u16(1);  // first page number
        b.u16(1);  // fit to width
        b.u16(1);  // fit to height
        b.u16(static_cast<std::uint16_t>(p.orientation == 2 ? 0x0000 : 0x0002));
        b.u16(600);
        b.u16(600);
        b.f64(p.headerMargin);
        b.f64(p.footerMargin);
        b.u16(1);  // copies
        b.end();
    }

    void writeColumns(const Sheet& sheet) {
        auto same = [](const ColumnInfo& a, const ColumnInfo& c) {
            return a.width == c.width && a.hidden == c.hidden && a.format == c.format;
        };
        std::int32_t c = 0;
        while (c < kMaxCols) {
            const ColumnInfo& ci = sheet.column(c);
            std::int32_t last = c;
            while (last + 1 < kMaxCols && same(ci, sheet.column(last + 1)))
                ++last;
            if (ci.width || ci.hidden || ci.format) {
                b.begin(kColInfo);
                b.u16(static_cast<std::uint16_t>(c));
                b.u16(static_cast<std::uint16_t>(last));
                b.u16(ci.width.value_or(kDefaultColWidth));
                b.u16(styles.xf(ci.format.value_or(0)));
                b.u16(static_cast<std::uint16_t>((ci.hidden ? 1 : 0) | (ci.width ? 2 : 0)));
                b.u16(0);
                b.end();
            }
            c = last + 1;
        }
    }

    static bool rowHasRecord(const RowInfo& ri) {
        return ri.height || ri.format || ri.hidden || !ri.cells.empty();
    }

    static std::pair<std::int32_t, std::int32_t> cellSpan(const RowInfo& ri) {
        std::int32_t first = -1;
        std::int32_t last = -1;
        for (std::size_t c = 0; c < ri.cells.size(); ++c) {
            if (ri.cells[c].format == kNoCell)
                continue;
            if (first < 0)
                first = static_cast<std::int32_t>(c);
            last = static_cast<std::int32_t>(c);
        }
        return {first, last};
    }

    void writeDimensions(const Sheet& sheet) {
        std::int32_t r0 = -1, r1 = -1, c0 = kMaxCols, c1 = -1;
        for (std::int32_t r = 0; r < sheet.rowCount(); ++r) {
            auto [first, last] = cellSpan(*sheet.row(r));
            if (first < 0)
                continue;
            if (r0 < 0)
                r0 = r;
            r1 = r;
            c0 = std::min(c0, first);
            c1 = std::max(c1, last);
        }
        b.begin(kDimensions);
        if (r0 < 0) {
            b.zeros(14);
        } else {
            b.u32(static_cast<std::uint32_t>(r0));
            b.u32(static_cast<std::uint32_t>(r1 + 1));
            b.u16(static_cast<std::uint16_t>(c0));
            b.u16(static_cast<std::uint16_t>(c1 + 1));
            b.u16(0);
        }
        b.end();
    }

    void writeRowRecord(const Sheet& sheet, std::int32_t r, const RowInfo& ri) {
        auto [first, last] = cellSpan(ri);
        b.begin(kRow);
        b.u16(static_cast<std::uint16_t>(r));
        b.u16(static_cast<std::uint16_t>(first < 0 ? 0 : first));
        b.u16(static_cast<std::uint16_t>(first < 0 ? 0 : last + 1));
        b.u16(ri.height.value_or(sheet.defaultRowHeight.value_or(kStandardRowTwips)));
        b.u16(0);
        b.u16(0);
        std::uint32_t flags = 0x0100;
        if (ri.hidden)
            flags |= 0x20;
        if (ri.height)
            flags |= 0x40;
        if (ri.format)
            flags |= 0x80 | static_cast<std::uint32_t>(styles.xf(*ri.format)) << 16;
        else
            flags |= static_cast<std::uint32_t>(kDefaultCellXf) << 16;
        b.u32(flags);
        b.end();
    }

    void writeCells(std::int32_t r, const RowInfo& ri) {
        const auto rw = static_cast<std::uint16_t>(r);
        const std::size_t n = ri.cells.size();
        std::size_t c = 0;
        while (c < n) {
            const Cell& cell = ri.cells[c];
            if (cell.format == kNoCell) {
                ++c;
                continue;
            }
            const std::uint16_t xf = styles.xf(cell.format);
            switch (cell.kind) {
                case CellKind::Blank: {
                    std::size_t end = c + 1;
                    while (end < n && ri.cells[end].format != kNoCell &&
                           ri.cells[end].kind == CellKind::Blank) {
                        ++end;
                    }
                    if (end - c == 1) {
                        b.begin(kBlank);
                        b.u16(rw);
                        b.u16(static_cast<std::uint16_t>(c));
                        b.u16(xf);
                        b.end();
                    } else {
                        b.begin(kMulBlank);
                        b.u16(rw);
                        b.u16(static_cast<std::uint16_t>(c));
                        for (std::size_t k = c; k < end; ++k)
                            b.u16(styles.xf(ri.cells[k].format));
                        b.u16(static_cast<std::uint16_t>(end - 1));
                        b.end();
                    }
                    c = end;
                    continue;
                }
                case CellKind::Number: {
                    std::uint32_t rk;
                    if (!toRk(cell.number, rk)) {
                        b.begin(kNumber);
                        b.u16(rw);
                        b.u16(static_cast<std::uint16_t>(c));
                        b.u16(xf);
                        b.f64(cell.number);
                        b.end();
                        break;
                    }
                    std::uint32_t nextRk;
                    if (!rkAt(ri, c + 1, nextRk)) {
                        b.begin(kRk);
                        b.u16(rw);
                        b.u16(static_cast<std::uint16_t>(c));
                        b.u16(xf);
                        b.u32(rk);
                        b.end();
                        break;
                    }
                    // Neighbours that are RK numbers too share one MULRK.
                    b.begin(kMulRk);
                    b.u16(rw);
                    b.u16(static_cast<std::uint16_t>(c));
                    b.u16(xf);
                    b.u32(rk);
                    std::size_t k = c + 1;
                    do {
                        b.u16(styles.xf(ri.cells[k].format));
                        b.u32(nextRk);
                        ++k;
                    } while (rkAt(ri, k, nextRk));
                    b.u16(static_cast<std::uint16_t>(k - 1));
                    b.end();
                    c = k;
                    continue;
                }
                case CellKind::Text:
                    b.begin(kLabelSst);
                    b.u16(rw);
                    b.u16(static_cast<std::uint16_t>(c));
                    b.u16(xf);
                    b.u32(cell.text);
                    b.end();
                    break;
                case CellKind::Boolean:
                case CellKind::Error:
                    b.begin(kBoolErr);
                    b.u16(rw);
                    b.u16(static_cast<std::uint16_t>(c));
                    b.u16(xf);
                    b.u8(cell.small);
                    b.u8(cell.kind == CellKind::Error ? 1 : 0);
                    b.end();
                    break;
            }
            ++c;
        }
    }

    // Blocks of 32 rows from `first`: the ROW records, then their cells.
    void writeRows(const Sheet& sheet, std::int32_t first, std::int32_t end) {
        const std::int32_t rows = std::min(end, sheet.rowCount());
        for (std::int32_t start = first; start < rows; start += kRowBlock) {
            const std::int32_t blockEnd = std::min(rows, start + kRowBlock);
            for (std::int32_t r = start; r < blockEnd; ++r) {
                const RowInfo& ri = *sheet.row(r);
                if (rowHasRecord(ri))
                    writeRowRecord(sheet, r, ri);
            }
            for (std::int32_t r = start; r < blockEnd; ++r)
                writeCells(r, *sheet.row(r));
        }
    }

    void writeWindow(const Sheet& sheet, bool active) {
        const auto& freeze = sheet.view.freeze;
        const bool frozen = freeze && (freeze->first > 0 || freeze->second > 0);
        std::uint16_t grbit = 0x00B6;
        if (active)
            grbit |= 0x0600;
        if (frozen)
            grbit |= 0x0108;
        b.begin(kWindow2);
        b.u16(grbit);
        b.u16(0);
        b.u16(0);
        b.u32(0x40);
        b.u16(0);
        b.u16(sheet.view.zoom == 100 ? 0 : sheet.view.zoom);
        b.u32(0);
        b.end();
        if (sheet.view.zoom != 100) {
            b.begin(kScl);
            b.u16(sheet.view.zoom);
            b.u16(100);
            b.end();
        }
        std::uint8_t pane = 3;
        if (frozen) {
            const auto rows = static_cast<std::uint16_t>(freeze->first);
            const auto cols = static_cast<std::uint16_t>(freeze->second);
            pane = rows > 0 && cols > 0 ? 0 : (rows > 0 ? 2 : 1);
            b.begin(kPane);
            b.u16(cols);
            b.u16(rows);
            b.u16(rows);
            b.u16(cols);
            b.u8(pane);
            b.u8(0);
            b.end();
        }
        b.begin(kSelection);
        b.u8(pane);
        b.u16(0);
        b.u16(0);
        b.u16(0);
        b.u16(1);
        b.u16(0);
        b.u16(0);
        b.u8(0);
        b.u8(0);
        b.end();
    }

    void writeMerges(const Sheet& sheet) {
        for (std::size_t i = 0; i < sheet.merges.size(); i += kMaxMergesPerRecord) {
            const std::size_t n = std::min(kMaxMergesPerRecord, sheet.merges.size() - i);
            b.begin(kMergedCells);
            b.u16(static_cast<std::uint16_t>(n));
            for (std::size_t k = i; k < i + n; ++k) {
                const CellRange& m = sheet.merges[k];
                b.u16(static_cast<std::uint16_t>(m.firstRow));
                b.u16(static_cast<std::uint16_t>(m.lastRow));
                b.u16(static_cast<std::uint16_t>(m.firstCol));
                b.u16(static_cast<std::uint16_t>(m.lastCol));
            }
            b.end();
        }
    }

    // A constant operand of a validation formula: a 16-bit integer token
    // where the limit is one, else a number token.
    void validationLimit(double limit) {
        const bool small = limit >= 0 && limit <= 65535 && limit == std::floor(limit);
        b.u16(small ? 3 : 9);  // formula length
        b.u16(0);
        if (small) {
            b.u8(0x1E);  // ptgInt
            b.u16(static_cast<std::uint16_t>(limit));
        } else {
            b.u8(0x1F);  // ptgNum
            b.f64(limit);
        }
    }

    // A DV text: an empty one is stored as a single NUL character.
    void validationText(const std::string& text, std::size_t limit, const char* what) {
        std::u16string s = textcodec::Utf8ToUtf16(text);
        if (s.size() > limit) {
            throw limitError(std::string("入力規則の") + what + "が長すぎます(" +
                             std::to_string(limit) + " 文字まで)。");
        }
        if (s.empty())
            s.push_back(u'\0');
        b.xlString(s);
    }

    void writeValidations(const Sheet& sheet) {
        if (sheet.validations.empty())
            return;
        b.begin(kDval);
        b.u16(0);  // prompt windows not closed
        b.u32(0);  // prompt window position
        b.u32(0);
        b.u32(0xFFFFFFFF);  // no drop-down object
        b.u32(static_cast<std::uint32_t>(sheet.validations.size()));
        b.end();
        for (const DataValidation& v : sheet.validations) {
            // Type, error style stop (0), blanks allowed, prompt and error
            // message shown, operator "between" (0).
            const std::uint32_t flags = static_cast<std::uint32_t>(v.kind) | 0x100 |
                                        (v.promptTitle.empty() && v.prompt.empty() ? 0 : 0x40000) |
                                        0x80000;
            b.begin(kDv);
            b.u32(flags);
            validationText(v.promptTitle, kMaxValidationTitle, "入力時メッセージのタイトル");
            validationText(v.errorTitle, kMaxValidationTitle, "エラーメッセージのタイトル");
            validationText(v.prompt, kMaxValidationPrompt, "入力時メッセージ");
            validationText(v.error, kMaxValidationError, "エラーメッセージ");
            validationLimit(v.minimum);
            validationLimit(v.maximum);
            if (v.ranges.empty() || v.ranges.size() > kMaxValidationRanges)
                throw limitError("入力規則の範囲の数が正しくありません。");
            b.u16(static_cast<std::uint16_t>(v.ranges.size()));
            for (const CellRange& r : v.ranges) {
                b.u16(static_cast<std::uint16_t>(r.firstRow));
                b.u16(static_cast<std::uint16_t>(r.lastRow));
                b.u16(static_cast<std::uint16_t>(r.firstCol));
                b.u16(static_cast<std::uint16_t>(r.lastCol));
            }
            b.end();
        }
    }
};

}  // namespace

void writeSheet(BiffBuffer& b, const StyleTables& styles, const Sheet& sheet, bool active) {
    SheetWriter{b, styles}.write(sheet, active);
}

void writeSheetHead(BiffBuffer& b, const StyleTables& styles, const Sheet& sheet) {
    SheetWriter{b, styles}.writeHead(sheet);
}

void writeSheetRows(BiffBuffer& b, const StyleTables& styles, const Sheet& sheet,
                    std::int32_t firstRow, std::int32_t endRow) {
    SheetWriter{b, styles}.writeRows(sheet, firstRow, endRow);
}

void writeSheetTail(BiffBuffer& b, const StyleTables& styles, const Sheet& sheet, bool active) {
    SheetWriter{b, styles}.writeTail(sheet, active);
}

}  // namespace xls::writer
