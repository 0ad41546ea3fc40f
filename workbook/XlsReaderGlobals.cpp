#include <algorithm>
#include <map>

#include "BiffReaderErrors.h"
#include "NumberFormat.h"
#include "XlsBookReader.h"

// The globals of a workbook stream, the XFs resolved to cell formats, and the
// walk over the worksheets.

namespace xls::reading {

namespace {

// FORMAT: ifmt, then the code as an XLUnicodeString. Some writers state more
// characters than they store; the code is clipped to what the record holds,
// as other readers do, rather than the whole book refused for a format.
std::string FormatCode(const Record& rec) {
    const std::uint32_t cch = Le16(rec.data + 2);
    const std::uint32_t held = (rec.size - 5) / ((rec.data[4] & 0x01) != 0 ? 2u : 1u);
    if (cch <= held || rec.breakCount != 0) {
        Cursor cursor(rec, 2);
        return cursor.unicodeString(false);
    }
    std::vector<std::uint8_t> clipped(rec.data, rec.data + rec.size);
    clipped[2] = static_cast<std::uint8_t>(held);
    clipped[3] = static_cast<std::uint8_t>(held >> 8);
    Record copy = rec;
    copy.data = clipped.data();
    Cursor cursor(copy, 2);
    return cursor.unicodeString(false);
}

}  // namespace

void BookReader::checkVersion(const Record& bof) {
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

void BookReader::readGlobals() {
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

void BookReader::dispatchGlobal(const Record& rec) {
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
        case kFormat:
            rec.need(5);
            numberFormats_[Le16(rec.data)] = FormatCode(rec);
            break;
        case kXf:
            xfs_.push_back(ParseXf(rec));
            break;
        case kBoundSheet:
            if (boundSheets_.size() == kMaxSheets) {
                ThrowTooManySheets(kMaxSheets);
            }
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
void BookReader::readPrintTitles(const Record& rec) {
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
Font BookReader::fontAt(std::uint16_t index) const {
    std::size_t k = index < 4 ? index : static_cast<std::size_t>(index) - 1;
    if (index == 4 || k >= fonts_.size()) {
        return fonts_.empty() ? Font{} : fonts_[0];
    }
    return fonts_[k];
}

std::string BookReader::numberFormatAt(std::uint16_t ifmt) const {
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
void BookReader::resolveFormats() {
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
std::uint32_t BookReader::formatOf(std::uint16_t xf) {
    if (xf >= formatIds_.size()) {
        return 0;
    }
    std::uint32_t& id = formatIds_[xf];
    if (id == kNoFormat) {
        id = book_->formats.intern(resolved_[xf]);
    }
    return id;
}

void BookReader::readSheets() {
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
}  // namespace xls::reading
