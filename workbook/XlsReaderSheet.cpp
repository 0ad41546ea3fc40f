#include <algorithm>
#include <cmath>

#include "BiffReaderErrors.h"
#include "FormulaTexts.h"
#include "NumberFormat.h"
#include "XlsBookReader.h"

// One worksheet substream: cells, rows, columns, merges, the window and the
// page setup.

namespace xls::reading {

void BookReader::badCell(const Sheet& sheet, const Record& rec, const std::string& what) {
    ThrowDamaged("シート「" + sheet.name() + "」の " + RecordName(rec.id) + " レコード（位置 " +
                 std::to_string(rec.offset) + "）: " + what);
}

void BookReader::put(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
                     std::uint16_t xf, Cell& cell) {
    if (col >= kMaxCols) {
        badCell(sheet, rec, "列番号 " + std::to_string(col) + " は範囲外です");
    }
    cell.format = formatOf(xf);
    const std::size_t rowBytes = sheet.rowBytes();
    const std::size_t cells = sheet.row(row) ? sheet.row(row)->cells.capacity() : 0;
    if (rowWidth_[row] != 0) {
        // First cell of a row its ROW record sized: one allocation for
        // the row instead of one per doubling.
        if (col < rowWidth_[row]) {
            sheet.rowInfo(row).cells.reserve(rowWidth_[row]);
        }
        rowWidth_[row] = 0;
    }
    if (cell.kind == CellKind::Number) {
        if (!std::isfinite(cell.number)) {
            // No spreadsheet stores these; show them as #NUM!.
            cell.kind = CellKind::Error;
            cell.small = 0x24;
            cell.number = 0;
        } else if (date1904_ && xf < isDate_.size() && isDate_[xf]) {
            cell.number += k1904Shift;
        }
    }
    sheet.putCell(row, col, cell);
    charge(sheet, rowBytes, cells, row);
}

void BookReader::charge(const Sheet& sheet, std::size_t rowBytesBefore, std::size_t cellsBefore,
                        std::uint16_t row) {
    cellBytes_ += sheet.rowBytes() - rowBytesBefore;
    cellBytes_ += (sheet.row(row)->cells.capacity() - cellsBefore) * sizeof(Cell);
    if (cellBytes_ > kCellBudgetFixed + kCellBudgetPerByte * size_)
        ThrowCellsBeyondFile();
}

void BookReader::putNumber(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
                           std::uint16_t xf, double value) {
    Cell cell;
    cell.kind = CellKind::Number;
    cell.number = value;
    put(sheet, rec, row, col, xf, cell);
}

void BookReader::putText(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
                         std::uint16_t xf, std::uint32_t textId) {
    Cell cell;
    cell.kind = CellKind::Text;
    cell.text = textId;
    put(sheet, rec, row, col, xf, cell);
}

void BookReader::putBlank(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
                          std::uint16_t xf) {
    Cell cell;
    put(sheet, rec, row, col, xf, cell);
}

// Reads one worksheet substream; returns the stream offset after its EOF.
std::size_t BookReader::readSheet(std::size_t at, Sheet& sheet) {
    RecordReader reader(stream_, size_, at);
    Record rec;
    reader.next(rec);  // the BOF, checked by the caller
    rowWidth_.assign(kMaxRows, 0);
    int depth = 1;
    bool frozen = false;
    PendingString pending;
    ZeroResultFormulas zeroResults;
    while (depth > 0) {
        if (!reader.next(rec)) {
            ThrowDamaged("シート「" + sheet.name() + "」の EOF レコードがありません");
        }
        if (rec.id == kBof) {
            ++depth;  // embedded chart: skipped to its EOF
            continue;
        }
        if (rec.id == kEof) {
            --depth;
            continue;
        }
        if (depth > 1) {
            continue;
        }
        const std::uint8_t* p = rec.data;
        switch (rec.id) {
            case kNumber:  // NUMBER: rw, col, ixfe, IEEE double
                rec.need(14);
                putNumber(sheet, rec, Le16(p), Le16(p + 2), Le16(p + 4), LeDouble(p + 6));
                break;
            case kRk:  // RK: rw, col, ixfe, RK value
                rec.need(10);
                putNumber(sheet, rec, Le16(p), Le16(p + 2), Le16(p + 4), DecodeRk(Le32(p + 6)));
                break;
            case kMulRk: {  // MULRK: rw, colFirst, n x (ixfe, RK), colLast
                rec.need(6);
                std::uint32_t n = (rec.size - 6) / 6;
                std::uint16_t first = Le16(p + 2);
                std::uint16_t last = Le16(p + rec.size - 2);
                if (n == 0 || (rec.size - 6) % 6 != 0 || last < first ||
                    static_cast<std::uint32_t>(last - first) + 1 != n) {
                    badCell(sheet, rec, "列の範囲と値の数が一致しません");
                }
                for (std::uint32_t k = 0; k < n; ++k) {
                    const std::uint8_t* q = p + 4 + 6 * k;
                    putNumber(sheet, rec, Le16(p), static_cast<std::uint16_t>(first + k), Le16(q),
                              DecodeRk(Le32(q + 2)));
                }
                break;
            }
            case kBlank:  // BLANK: rw, col, ixfe
                rec.need(6);
                putBlank(sheet, rec, Le16(p), Le16(p + 2), Le16(p + 4));
                break;
            case kMulBlank: {  // MULBLANK: rw, colFirst, n x ixfe, colLast
                rec.need(6);
                std::uint32_t n = (rec.size - 6) / 2;
                std::uint16_t first = Le16(p + 2);
                std::uint16_t last = Le16(p + rec.size - 2);
                if (n == 0 || (rec.size - 6) % 2 != 0 || last < first ||
                    static_cast<std::uint32_t>(last - first) + 1 != n) {
                    badCell(sheet, rec, "列の範囲と書式の数が一致しません");
                }
                for (std::uint32_t k = 0; k < n; ++k) {
                    putBlank(sheet, rec, Le16(p), static_cast<std::uint16_t>(first + k),
                             Le16(p + 4 + 2 * k));
                }
                break;
            }
            case kLabelSst: {  // LABELSST: rw, col, ixfe, index into the SST
                rec.need(10);
                std::uint32_t index = Le32(p + 6);
                if (index >= sst_.size()) {
                    badCell(sheet, rec,
                            "文字列番号 " + std::to_string(index) + " が共有文字列表（" +
                                std::to_string(sst_.size()) + " 件）にありません");
                }
                putText(sheet, rec, Le16(p), Le16(p + 2), Le16(p + 4), sst_[index]);
                break;
            }
            case kLabel:      // LABEL: rw, col, ixfe, XLUnicodeString
            case kRString: {  // RSTRING: the same, then formatting runs
                rec.need(9);
                Cursor cursor(rec, 6);
                std::uint32_t id = book_->strings.intern(cursor.unicodeString(false));
                putText(sheet, rec, Le16(p), Le16(p + 2), Le16(p + 4), id);
                break;
            }
            case kBoolErr: {  // BOOLERR: rw, col, ixfe, value, fError
                rec.need(8);
                Cell cell;
                cell.kind = p[7] != 0 ? CellKind::Error : CellKind::Boolean;
                cell.small = cell.kind == CellKind::Boolean ? (p[6] != 0 ? 1 : 0) : p[6];
                put(sheet, rec, Le16(p), Le16(p + 2), Le16(p + 4), cell);
                break;
            }
            case kFormula:     // FORMULA: rw, col, ixfe, cached value, flags, chn, rgce
            case kFormula4: {  // the same layout under the older id
                rec.need(20);
                std::uint16_t row = Le16(p), col = Le16(p + 2), xf = Le16(p + 4);
                pending = PendingString{};
                if (Le16(p + 12) != 0xFFFF) {
                    if (LeDouble(p + 6) == 0) {
                        zeroResults.noteFormula(p, rec.size);
                    }
                    putNumber(sheet, rec, row, col, xf, LeDouble(p + 6));
                    break;
                }
                Cell cell;
                switch (p[6]) {
                    case 0:  // text: in the STRING record that follows
                    case 3:  // empty text
                        cell.kind = CellKind::Text;
                        cell.text = book_->strings.intern(std::string());
                        if (p[6] == 0) {
                            pending = PendingString{row, col, xf};
                        }
                        break;
                    case 1:
                        cell.kind = CellKind::Boolean;
                        cell.small = p[8] != 0 ? 1 : 0;
                        break;
                    case 2:
                        cell.kind = CellKind::Error;
                        cell.small = p[8];
                        break;
                    default:
                        break;  // unknown result type: keep the cell, without value
                }
                put(sheet, rec, row, col, xf, cell);
                break;
            }
            case kShrFmla:  // may stand between FORMULA and its STRING
                zeroResults.noteShared(p, rec.size);
                break;
            case kArray:
            case kTable:
                break;
            case kString: {  // STRING: the text result of the FORMULA before it
                if (pending.row < 0) {
                    break;
                }
                rec.need(3);
                Cursor cursor(rec);
                std::uint32_t id = book_->strings.intern(cursor.unicodeString(false));
                putText(sheet, rec, static_cast<std::uint16_t>(pending.row),
                        static_cast<std::uint16_t>(pending.col),
                        static_cast<std::uint16_t>(pending.format), id);
                pending = PendingString{};
                break;
            }
            case kRow: {  // ROW: rw, colMic, colMac, miyRw, 0, 0, flags
                rec.need(16);
                if (sheet.row(Le16(p)) == nullptr) {
                    rowWidth_[Le16(p)] = std::min<std::uint16_t>(Le16(p + 4), kMaxCols);
                }
                std::uint32_t flags = Le32(p + 12);
                bool hidden = (flags & 0x20) != 0;
                bool customHeight = (flags & 0x40) != 0;
                bool formatted = (flags & 0x80) != 0;
                if (hidden || customHeight || formatted) {
                    const std::size_t rowBytes = sheet.rowBytes();
                    RowInfo& info = sheet.rowInfo(Le16(p));
                    charge(sheet, rowBytes, info.cells.capacity(), Le16(p));
                    info.hidden = hidden;
                    if (customHeight) {
                        info.height = static_cast<std::uint16_t>(Le16(p + 6) & 0x7FFF);
                    }
                    if (formatted) {
                        info.format = formatOf(static_cast<std::uint16_t>((flags >> 16) & 0x0FFF));
                    }
                }
                break;
            }
            case kColInfo: {  // COLINFO: colFirst, colLast, coldx, ixfe, flags
                rec.need(10);
                std::uint16_t first = Le16(p);
                std::uint16_t last = Le16(p + 2);
                std::uint16_t xf = Le16(p + 6);
                bool hidden = (Le16(p + 8) & 0x0001) != 0;
                for (std::uint32_t c = first; c <= last && c < kMaxCols; ++c) {
                    ColumnInfo& info = sheet.column(static_cast<std::int32_t>(c));
                    info.width = Le16(p + 4);
                    info.hidden = hidden;
                    if (xf != 15) {
                        info.format = formatOf(xf);
                    }
                }
                break;
            }
            case kMergedCells: {  // MERGEDCELLS: count, count x (rwFirst, rwLast, colFirst,
                                  // colLast)
                rec.need(2);
                std::uint32_t n = Le16(p);
                rec.need(2 + 8 * n);
                for (std::uint32_t k = 0; k < n; ++k) {
                    const std::uint8_t* q = p + 2 + 8 * k;
                    CellRange range{Le16(q), Le16(q + 2), Le16(q + 4), Le16(q + 6)};
                    if (range.firstRow > range.lastRow || range.firstCol > range.lastCol ||
                        range.lastCol >= kMaxCols ||
                        (range.firstRow == range.lastRow && range.firstCol == range.lastCol)) {
                        continue;  // nothing to merge
                    }
                    sheet.merges.push_back(range);
                }
                break;
            }
            case kWindow2: {  // WINDOW2: grbit, rwTop, colLeft, icvHdr, 0, zooms
                rec.need(10);
                std::uint16_t grbit = Le16(p);
                frozen = (grbit & 0x0008) != 0;
                if (rec.size >= 14) {
                    std::uint16_t zoom = Le16(p + 12);
                    if (zoom >= 10 && zoom <= 400) {
                        sheet.view.zoom = zoom;
                    }
                }
                break;
            }
            case kScl: {  // SCL: zoom as a fraction
                rec.need(4);
                std::uint16_t num = Le16(p), den = Le16(p + 2);
                if (den != 0) {
                    std::uint32_t zoom = static_cast<std::uint32_t>(num) * 100 / den;
                    if (zoom >= 10 && zoom <= 400) {
                        sheet.view.zoom = static_cast<std::uint16_t>(zoom);
                    }
                }
                break;
            }
            case kPane: {  // PANE: x (columns), y (rows), rwTop, colLeft, pane
                rec.need(8);
                std::uint16_t x = Le16(p), y = Le16(p + 2);
                if (frozen && (x > 0 || y > 0) && x < kMaxCols) {
                    sheet.view.freeze = std::make_pair<std::int32_t, std::int32_t>(y, x);
                }
                break;
            }
            case kSetup: {  // SETUP: paper, scale, ..., grbit, ..., header/footer margins
                rec.need(34);
                std::uint16_t grbit = Le16(p + 10);
                PageSetup& ps = sheet.pageSetup;
                if ((grbit & 0x0004) == 0) {  // fNoPls: printer fields unset
                    if (Le16(p) != 0) {
                        ps.paperSize = Le16(p);
                    }
                    std::uint16_t scale = Le16(p + 2);
                    if (scale >= 10 && scale <= 400) {
                        ps.scale = scale;
                    }
                    if ((grbit & 0x0040) == 0) {
                        ps.orientation = (grbit & 0x0002) != 0 ? 1 : 2;
                    }
                }
                setMargin(ps.headerMargin, LeDouble(p + 16));
                setMargin(ps.footerMargin, LeDouble(p + 24));
                break;
            }
            case kLeftMargin:
                rec.need(8);
                setMargin(sheet.pageSetup.leftMargin, LeDouble(p));
                break;
            case kRightMargin:
                rec.need(8);
                setMargin(sheet.pageSetup.rightMargin, LeDouble(p));
                break;
            case kTopMargin:
                rec.need(8);
                setMargin(sheet.pageSetup.topMargin, LeDouble(p));
                break;
            case kBottomMargin:
                rec.need(8);
                setMargin(sheet.pageSetup.bottomMargin, LeDouble(p));
                break;
            case kHeader:
            case kFooter: {  // HEADER/FOOTER: empty, or an XLUnicodeString
                if (rec.size < 3) {
                    break;
                }
                Cursor cursor(rec);
                std::string text = cursor.unicodeString(false);
                PageSetup& ps = sheet.pageSetup;
                if (rec.id == kHeader) {
                    SplitHeaderFooter(text, ps.headerLeft, ps.headerCenter, ps.headerRight);
                } else {
                    SplitHeaderFooter(text, ps.footerLeft, ps.footerCenter, ps.footerRight);
                }
                break;
            }
            case kProtect:
                rec.need(2);
                sheet.protectedSheet = Le16(p) != 0;
                break;
            case kPassword:
                rec.need(2);
                sheet.passwordHash = Le16(p);
                break;
            case kDimensions:  // advisory only: the used range comes from the cells
            default:
                break;
        }
    }
    zeroResults.apply(sheet, book_->strings);
    return reader.position();
}

void BookReader::setMargin(double& target, double inches) {
    if (std::isfinite(inches) && inches >= 0 && inches < 50) {
        target = inches;
    }
}
}  // namespace xls::reading
