#include "XlsReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "BiffReader.h"
#include "BiffReaderErrors.h"
#include "NumberFormat.h"
#include "OleReader.h"

namespace xls {
namespace {

using namespace biff;

constexpr std::uint16_t kBiff8 = 0x0600;
constexpr std::uint16_t kBiff5 = 0x0500;
constexpr std::uint16_t kDtGlobals = 0x0005;
constexpr std::uint16_t kDtWorksheet = 0x0010;
constexpr std::uint32_t kNoFormat = 0xFFFFFFFFu;

// The BIFF8 content of one workbook stream, turned into a Workbook.
class BookReader {
  public:
    BookReader(const std::uint8_t* stream, std::size_t size, bool workbookStream)
        : stream_(stream), size_(size), workbookStream_(workbookStream) {}

    std::unique_ptr<Workbook> read() {
        book_ = std::make_unique<Workbook>();
        readGlobals();
        resolveFormats();
        readSheets();
        return std::move(book_);
    }

  private:
    struct PrintTitles {
        std::size_t boundSheet = 0;
        std::optional<std::pair<std::int32_t, std::int32_t>> rows, cols;
    };

    struct PendingString {
        std::int32_t row = -1;
        std::int32_t col = 0;
        std::uint32_t format = 0;
    };

    void checkVersion(const Record& bof) {
        bof.need(4);
        std::uint16_t version = Le16(bof.data);
        if (version == kBiff5 || !workbookStream_) {
            if (version == kBiff8) {
                return;  // BIFF8 under the old stream name (some writers do this)
            }
            ThrowBiff5();
        }
        if (version >= 0x0200 && version <= 0x0400) {
            ThrowBiff2to4();
        }
    }

    void readGlobals() {
        RecordReader reader(stream_, size_);
        Record rec;
        if (!reader.next(rec)) {
            ThrowDamaged("ブックのデータが空です");
        }
        if (rec.id == 0x0009 || rec.id == 0x0209 || rec.id == 0x0409) {
            ThrowBiff2to4();
        }
        if (rec.id != kBof) {
            ThrowDamaged("ブックのデータが BOF レコードで始まっていません");
        }
        checkVersion(rec);
        if (Le16(rec.data + 2) != kDtGlobals) {
            ThrowDamaged("先頭の BOF レコードがブック全体を示していません");
        }
        int depth = 1;
        while (depth > 0) {
            if (!reader.next(rec)) {
                ThrowDamaged("ブック全体の情報の EOF レコードがありません");
            }
            switch (rec.id) {
                case kBof:  // a nested substream: skipped with its EOF
                    ++depth;
                    continue;
                case kEof:
                    --depth;
                    continue;
                default:
                    break;
            }
            if (depth > 1) {
                continue;
            }
            dispatchGlobal(rec);
        }
        globalsEnd_ = reader.position();
    }

    void dispatchGlobal(const Record& rec) {
        switch (rec.id) {
            case kFilePass:  // everything after it is encrypted
                ThrowEncrypted();
            case kDateMode:
                rec.need(2);
                date1904_ = Le16(rec.data) == 1;
                break;
            case kWindow1:
                rec.need(12);
                activeTab_ = Le16(rec.data + 10);
                break;
            case kProtect:
                rec.need(2);
                book_->protectedStructure = Le16(rec.data) != 0;
                break;
            case kWindowProtect:
                rec.need(2);
                book_->protectedWindows = Le16(rec.data) != 0;
                break;
            case kPassword:
                rec.need(2);
                book_->passwordHash = Le16(rec.data);
                break;
            case kFont:
                fonts_.push_back(ParseFont(rec));
                break;
            case kFormat: {
                rec.need(5);
                Cursor cursor(rec);
                std::uint16_t ifmt = cursor.u16();
                numberFormats_[ifmt] = cursor.unicodeString(false);
                break;
            }
            case kXf:
                xfs_.push_back(ParseXf(rec));
                break;
            case kBoundSheet:
                boundSheets_.push_back(ParseBoundSheet(rec));
                break;
            case kSst: {
                sst_.clear();
                // The smallest string takes 3 bytes: the stated count is
                // trusted only that far.
                sst_.reserve(
                    std::min<std::size_t>(rec.size >= 8 ? Le32(rec.data + 4) : 0, rec.size / 3));
                ForEachSstString(
                    rec, [&](const std::string& s) { sst_.push_back(book_->strings.intern(s)); });
                break;
            }
            case kName:
                readPrintTitles(rec);
                break;
            case kCodePage:  // BIFF8 strings are Unicode whatever it says
            default:
                break;
        }
    }

    // NAME: grbit, chKey, cch, cce, 0, itab, 4 x 0, name, rgce. Only the
    // built-in Print_Titles is used: one or two PtgArea3d (in a PtgMemFunc
    // with a PtgUnion), whole columns or whole rows of the sheet itab.
    void readPrintTitles(const Record& rec) {
        if (rec.size < 15 || (Le16(rec.data) & 0x0020) == 0) {
            return;
        }
        const std::uint8_t* p = rec.data;
        std::uint32_t cch = p[3];
        std::uint32_t cce = Le16(p + 4);
        std::uint16_t itab = Le16(p + 8);
        std::uint32_t nameBytes = cch * ((p[14] & 0x01) != 0 ? 2u : 1u);
        if (cch != 1 || itab == 0 || rec.size < 15 + nameBytes + cce || p[15] != 0x07) {
            return;
        }
        PrintTitles titles;
        titles.boundSheet = static_cast<std::size_t>(itab) - 1;
        const std::uint8_t* f = p + 15 + nameBytes;
        std::uint32_t i = 0;
        while (i < cce) {
            std::uint8_t ptg = f[i];
            if (ptg == 0x29 || ptg == 0x49 || ptg == 0x69) {  // PtgMemFunc: cce, then its ptgs
                i += 3;
            } else if (ptg == 0x10) {  // PtgUnion
                i += 1;
            } else if ((ptg == 0x3B || ptg == 0x5B || ptg == 0x7B) && cce - i >= 11) {
                std::int32_t r0 = Le16(f + i + 3), r1 = Le16(f + i + 5);
                std::int32_t c0 = Le16(f + i + 7) & 0x3FFF, c1 = Le16(f + i + 9) & 0x3FFF;
                if (r0 <= r1 && c0 <= c1 && c1 < kMaxCols) {
                    if (c0 == 0 && c1 == kMaxCols - 1) {
                        titles.rows = std::make_pair(r0, r1);
                    } else if (r0 == 0 && r1 == kMaxRows - 1) {
                        titles.cols = std::make_pair(c0, c1);
                    }
                }
                i += 11;
            } else {
                break;  // anything else is no print-title range
            }
        }
        if (titles.rows || titles.cols) {
            printTitles_.push_back(titles);
        }
    }

    // Font of an XF: FONT records are numbered 0-3, then 5 onwards (no 4).
    Font fontAt(std::uint16_t index) const {
        std::size_t k = index < 4 ? index : static_cast<std::size_t>(index) - 1;
        if (index == 4 || k >= fonts_.size()) {
            return fonts_.empty() ? Font{} : fonts_[0];
        }
        return fonts_[k];
    }

    std::string numberFormatAt(std::uint16_t ifmt) const {
        auto it = numberFormats_.find(ifmt);
        if (it != numberFormats_.end()) {
            return it->second;
        }
        return BuiltinNumberFormat(ifmt).value_or("General");
    }

    // XFs are resolved once all of them are known. Cell XFs are taken as
    // stored: their "attribute used" flags are not reliable (xlwt clears the
    // number-format flag of cells that carry #,##0), and Excel, LibreOffice
    // and Gnumeric store every attribute in the cell XF itself.
    void resolveFormats() {
        resolved_.resize(xfs_.size());
        isDate_.assign(xfs_.size(), false);
        for (std::size_t i = 0; i < xfs_.size(); ++i) {
            CellFormat f = xfs_[i].format;
            f.font = fontAt(xfs_[i].font);
            f.numberFormat = numberFormatAt(xfs_[i].ifmt);
            isDate_[i] = IsDateFormat(f.numberFormat);
            resolved_[i] = std::move(f);
        }
        formatIds_.assign(xfs_.size(), kNoFormat);
    }

    // Format id of an XF index, interned on first use so that only formats
    // that cells, rows or columns use enter the table.
    std::uint32_t formatOf(std::uint16_t xf) {
        if (xf >= formatIds_.size()) {
            return 0;
        }
        std::uint32_t& id = formatIds_[xf];
        if (id == kNoFormat) {
            id = book_->formats.intern(resolved_[xf]);
        }
        return id;
    }

    void readSheets() {
        std::size_t bookIndex = 0;
        std::optional<std::size_t> active;
        // Byte ranges already read (start -> end): sheets must not share or
        // overlap records, else a few bytes could be made to fill many sheets.
        std::map<std::size_t, std::size_t> taken;
        taken[0] = globalsEnd_;
        for (std::size_t i = 0; i < boundSheets_.size(); ++i) {
            const BoundSheet& bs = boundSheets_[i];
            if (bs.type != 0) {
                continue;  // chart, macro or VB module sheet
            }
            std::size_t at = bs.offset;
            if (at > size_ || size_ - at < 8 || Le16(stream_ + at) != kBof) {
                ThrowDamaged("シート「" + bs.name + "」の位置が不正です");
            }
            auto next = taken.upper_bound(at);
            if (next != taken.begin() && std::prev(next)->second > at) {
                ThrowDamaged("シート「" + bs.name + "」の位置が他のシートと重なっています");
            }
            std::uint16_t len = Le16(stream_ + at + 2);
            if (len < 4 || size_ - at - 4 < len) {
                ThrowDamaged("シート「" + bs.name + "」の BOF レコードが不正です");
            }
            std::uint16_t dt = Le16(stream_ + at + 6);
            if (dt != kDtWorksheet) {
                continue;  // chart or macro sheet behind a worksheet entry
            }
            Sheet& sheet = book_->addSheet(bs.name);
            sheet.visible = bs.state == 0;
            std::size_t end = readSheet(at, sheet);
            if (next != taken.end() && next->first < end) {
                ThrowDamaged("シート「" + bs.name + "」の位置が他のシートと重なっています");
            }
            taken[at] = end;
            if (i == activeTab_) {
                active = bookIndex;
            }
            for (const PrintTitles& titles : printTitles_) {
                if (titles.boundSheet == i) {
                    sheet.pageSetup.titleRows = titles.rows;
                    sheet.pageSetup.titleCols = titles.cols;
                }
            }
            ++bookIndex;
        }
        if (book_->sheetCount() == 0) {
            ThrowDamaged("ワークシートがありません");
        }
        book_->activeSheet = active.value_or(0);
    }

    [[noreturn]] void badCell(const Sheet& sheet, const Record& rec, const std::string& what) {
        ThrowDamaged("シート「" + sheet.name() + "」の " + RecordName(rec.id) + " レコード（位置 " +
                     std::to_string(rec.offset) + "）: " + what);
    }

    void put(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
             std::uint16_t xf, Cell& cell) {
        if (col >= kMaxCols) {
            badCell(sheet, rec, "列番号 " + std::to_string(col) + " は範囲外です");
        }
        cell.format = formatOf(xf);
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
    }

    void putNumber(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
                   std::uint16_t xf, double value) {
        Cell cell;
        cell.kind = CellKind::Number;
        cell.number = value;
        put(sheet, rec, row, col, xf, cell);
    }

    void putText(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
                 std::uint16_t xf, std::uint32_t textId) {
        Cell cell;
        cell.kind = CellKind::Text;
        cell.text = textId;
        put(sheet, rec, row, col, xf, cell);
    }

    void putBlank(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
                  std::uint16_t xf) {
        Cell cell;
        put(sheet, rec, row, col, xf, cell);
    }

    // Reads one worksheet substream; returns the stream offset after its EOF.
    std::size_t readSheet(std::size_t at, Sheet& sheet) {
        RecordReader reader(stream_, size_, at);
        Record rec;
        reader.next(rec);  // the BOF, checked by the caller
        rowWidth_.assign(kMaxRows, 0);
        int depth = 1;
        bool frozen = false;
        PendingString pending;
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
                        putNumber(sheet, rec, Le16(p), static_cast<std::uint16_t>(first + k),
                                  Le16(q), DecodeRk(Le32(q + 2)));
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
                case kFormula: {  // FORMULA: rw, col, ixfe, cached value, flags, chn, rgce
                    rec.need(20);
                    std::uint16_t row = Le16(p), col = Le16(p + 2), xf = Le16(p + 4);
                    pending = PendingString{};
                    if (Le16(p + 12) != 0xFFFF) {
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
                        RowInfo& info = sheet.rowInfo(Le16(p));
                        info.hidden = hidden;
                        if (customHeight) {
                            info.height = static_cast<std::uint16_t>(Le16(p + 6) & 0x7FFF);
                        }
                        if (formatted) {
                            info.format =
                                formatOf(static_cast<std::uint16_t>((flags >> 16) & 0x0FFF));
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
        return reader.position();
    }

    static void setMargin(double& target, double inches) {
        if (std::isfinite(inches) && inches >= 0 && inches < 50) {
            target = inches;
        }
    }

    const std::uint8_t* stream_;
    std::size_t size_;
    bool workbookStream_;
    std::unique_ptr<Workbook> book_;
    std::size_t globalsEnd_ = 0;

    bool date1904_ = false;
    std::size_t activeTab_ = 0;
    std::vector<Font> fonts_;
    std::unordered_map<std::uint16_t, std::string> numberFormats_;
    std::vector<RawXf> xfs_;
    std::vector<BoundSheet> boundSheets_;
    std::vector<std::uint32_t> sst_;  // SST index -> StringTable id
    std::vector<PrintTitles> printTitles_;

    std::vector<CellFormat> resolved_;
    std::vector<bool> isDate_;
    std::vector<std::uint32_t> formatIds_;
    // Per row of the sheet being read: columns its ROW record announces,
    // until the row's first cell arrives.
    std::vector<std::uint16_t> rowWidth_;
};

std::unique_ptr<Workbook> ReadStream(const std::uint8_t* stream, std::size_t size,
                                     bool workbookStream) {
    try {
        return BookReader(stream, size, workbookStream).read();
    } catch (const PlatformError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw PlatformError(kErrLimit, "メモリが不足しているためブックを読み込めません");
    } catch (const std::exception& e) {
        ThrowDamaged(e.what());
    }
}

}  // namespace

std::unique_ptr<Workbook> ReadXlsFromMemory(const std::uint8_t* data, std::size_t size) {
    switch (ole::Sniff(data, size)) {
        case ole::FileKind::Empty:
            ThrowNotXls("ファイルが空です。");
        case ole::FileKind::Zip:
            ThrowNotXls(
                "Excel 2007 以降の形式（.xlsx）のファイルです。表計算ソフトで Excel 97-2003 "
                "形式で保存し直してください。");
        case ole::FileKind::Markup:
            ThrowNotXls(
                "HTML または XML 形式のファイルです。表計算ソフトで Excel 97-2003 "
                "形式で保存し直してください。");
        case ole::FileKind::OldBiff:
            ThrowBiff2to4();
        case ole::FileKind::RawBiff:
            return ReadStream(data, size, true);
        case ole::FileKind::Cfb: {
            ole::BiffStream stream = ole::ExtractBiffStream(data, size);
            return ReadStream(stream.bytes.data(), stream.bytes.size(), stream.isWorkbook);
        }
        case ole::FileKind::Unknown:
        default:
            ThrowNotXls();
    }
}

std::unique_ptr<Workbook> ReadXlsFile(const std::string& path) {
    ole::ByteBuffer file = ole::ReadWholeFile(path);
    if (ole::Sniff(file.data(), file.size()) == ole::FileKind::Cfb) {
        // Let the file's buffer go before the cells are built.
        ole::BiffStream stream = ole::ExtractBiffStream(file.data(), file.size());
        file = ole::ByteBuffer();
        return ReadStream(stream.bytes.data(), stream.bytes.size(), stream.isWorkbook);
    }
    return ReadXlsFromMemory(file.data(), file.size());
}

}  // namespace xls
