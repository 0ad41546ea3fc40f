// BIFF8 workbook stream and its OLE2 container.
//
// The globals are written first with placeholders for the sheets' stream
// offsets (BOUNDSHEET8 lbPlyPos), the sheets after them, then the offsets are
// patched. Formats are written only when a cell, row or column uses them.

#include "XlsWriter.h"

#include <fcntl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "BiffRecords.h"
#include "BiffWriter.h"
#include "EngineErrors.h"
#include "PlatformError.h"

namespace xls {

namespace biff {

std::u16string Utf16(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            out.push_back(static_cast<char16_t>(b0));
            ++i;
            continue;
        }
        std::uint32_t cp = 0;
        std::size_t len = 0;
        if ((b0 & 0xE0) == 0xC0) {
            cp = b0 & 0x1F;
            len = 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            cp = b0 & 0x0F;
            len = 3;
        } else if ((b0 & 0xF8) == 0xF0) {
            cp = b0 & 0x07;
            len = 4;
        }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) {
                ok = false;
            } else {
                cp = (cp << 6) | (b & 0x3F);
            }
        }
        if (ok &&
            ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) ||
             (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))) {
            ok = false;
        }
        if (!ok) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

}  // namespace biff

namespace {

using namespace biff;  // record ids
using biff::BiffBuffer;
using biff::kMaxRecordData;

constexpr std::size_t kStyleXfCount = 15;
constexpr std::size_t kDefaultCellXf = 15;
constexpr std::size_t kMaxXfCount = 4000;
constexpr std::size_t kMaxFontCount = 510;
constexpr std::uint16_t kDefaultColWidth = 2340;  // 1/256 char: 8.43 characters
constexpr std::uint16_t kStandardRowTwips = 270;  // twips: 13.5 pt
constexpr std::size_t kMaxMergesPerRecord = 1026;

struct BuiltinFormat {
    const char* code;
    std::uint16_t ifmt;
};
constexpr BuiltinFormat kBuiltinFormats[] = {
    {"General", 0}, {"0", 1},      {"0.00", 2},      {"#,##0", 3}, {"#,##0.00", 4},
    {"0%", 9},      {"0.00%", 10}, {"0.00E+00", 11}, {"@", 49},
};

PlatformError limitError(const std::string& what) {
    return PlatformError(kErrLimit, what);
}

// The file-level tables: which XF each format id became, the fonts and the
// number formats those XFs need.
struct StyleTables {
    std::vector<std::uint16_t> xfOfFormat;  // by format id; 0 = unused
    std::vector<std::uint32_t> xfFormats;   // format id of XF 16, 17, ...
    std::vector<Font> fonts;                // FONT records after the four defaults
    std::vector<std::uint16_t> fontOfXf;    // by xfFormats index
    std::vector<std::uint16_t> ifmtOfXf;
    std::vector<std::pair<std::uint16_t, std::string>> customFormats;
    std::uint32_t labelCount = 0;  // LABELSST records the sheets will hold

    std::uint16_t xf(std::uint32_t formatId) const { return xfOfFormat[formatId]; }
};

void markFormat(const Workbook& book, StyleTables& t, std::uint32_t id) {
    if (t.xfOfFormat[id] != 0)
        return;
    if (id == 0) {
        t.xfOfFormat[id] = kDefaultCellXf;
        return;
    }
    const std::size_t xfIndex = kStyleXfCount + 1 + t.xfFormats.size();
    if (xfIndex >= kMaxXfCount) {
        throw limitError("セルの書式の種類が多すぎるため保存できません(上限 " +
                         std::to_string(kMaxXfCount - kStyleXfCount - 1) + " 種類)。");
    }
    (void)book;
    t.xfOfFormat[id] = static_cast<std::uint16_t>(xfIndex);
    t.xfFormats.push_back(id);
}

StyleTables buildStyles(const Workbook& book) {
    StyleTables t;
    t.xfOfFormat.assign(book.formats.size(), 0);
    markFormat(book, t, 0);
    for (std::size_t s = 0; s < book.sheetCount(); ++s) {
        const Sheet& sheet = book.sheet(s);
        for (std::int32_t c = 0; c < kMaxCols; ++c) {
            if (sheet.column(c).format)
                markFormat(book, t, *sheet.column(c).format);
        }
        for (std::int32_t r = 0; r < sheet.rowCount(); ++r) {
            const RowInfo* ri = sheet.row(r);
            if (ri->format)
                markFormat(book, t, *ri->format);
            std::uint32_t last = kNoCell;
            for (const Cell& cell : ri->cells) {
                if (cell.kind == CellKind::Text && cell.format != kNoCell)
                    ++t.labelCount;
                if (cell.format == kNoCell || cell.format == last)
                    continue;
                last = cell.format;
                markFormat(book, t, cell.format);
            }
        }
    }

    const Font defaultFont;
    std::unordered_map<std::string, std::uint16_t> customIds;
    auto fontIndex = [&](const Font& f) -> std::uint16_t {
        if (f == defaultFont)
            return 0;
        for (std::size_t i = 0; i < t.fonts.size(); ++i) {
            if (t.fonts[i] == f)
                return static_cast<std::uint16_t>(i + 5);  // index 4 is skipped
        }
        if (t.fonts.size() + 4 >= kMaxFontCount) {
            throw limitError("フォントの種類が多すぎるため保存できません。");
        }
        t.fonts.push_back(f);
        return static_cast<std::uint16_t>(t.fonts.size() + 4);
    };
    auto ifmtOf = [&](const std::string& code) -> std::uint16_t {
        for (const auto& b : kBuiltinFormats) {
            if (code == b.code)
                return b.ifmt;
        }
        auto it = customIds.find(code);
        if (it != customIds.end())
            return it->second;
        const auto ifmt = static_cast<std::uint16_t>(164 + t.customFormats.size());
        if (t.customFormats.size() >= 200) {
            throw limitError("表示形式の種類が多すぎるため保存できません。");
        }
        customIds.emplace(code, ifmt);
        t.customFormats.emplace_back(ifmt, code);
        return ifmt;
    };
    // The default cell XF (15) uses the default format's font and number format.
    ifmtOf(book.formats.get(0).numberFormat);
    for (std::uint32_t id : t.xfFormats) {
        const CellFormat& f = book.formats.get(id);
        t.fontOfXf.push_back(fontIndex(f.font));
        t.ifmtOfXf.push_back(ifmtOf(f.numberFormat));
    }
    return t;
}

void writeBof(BiffBuffer& b, std::uint16_t dt) {
    b.begin(kBof);
    b.u16(0x0600);
    b.u16(dt);
    b.u16(0x0DBB);  // build
    b.u16(0x07CC);  // year
    b.u32(0x000100C1);
    b.u32(0x00000006);
    b.end();
}

void writeU16Record(BiffBuffer& b, std::uint16_t id, std::uint16_t v) {
    b.begin(id);
    b.u16(v);
    b.end();
}

void writeFont(BiffBuffer& b, const Font& f) {
    b.begin(kFont);
    b.u16(f.height);
    // Bit 0 is not defined for BIFF8, but readers (xlrd) take it for bold.
    b.u16(static_cast<std::uint16_t>((f.italic ? 0x0002 : 0) | (f.bold ? 0x0001 : 0)));
    b.u16(f.color);
    b.u16(static_cast<std::uint16_t>(f.bold ? 700 : 400));
    b.u16(0);  // escapement
    b.u8(f.underline);
    b.u8(f.family);
    b.u8(f.charset);
    b.u8(0);
    b.shortString(biff::Utf16(f.name));
    b.end();
}

std::uint32_t borderColor(const Border& border) {
    return border.style != 0 ? border.color & 0x7F : 0;
}

void writeXf(BiffBuffer& b, const CellFormat& f, std::uint16_t font, std::uint16_t ifmt) {
    b.begin(kXf);
    b.u16(font);
    b.u16(ifmt);
    b.u16(static_cast<std::uint16_t>((f.locked ? 1 : 0) | (f.hidden ? 2 : 0)));  // parent XF 0
    b.u8(static_cast<std::uint8_t>((f.hAlign & 7) | (f.wrap ? 8 : 0) | ((f.vAlign & 7) << 4)));
    b.u8(f.rotation);
    b.u8(static_cast<std::uint8_t>((f.indent & 15) | (f.shrink ? 16 : 0)));
    b.u8(0xFC);
    b.u32(static_cast<std::uint32_t>(f.left.style & 15) | (f.right.style & 15u) << 4 |
          (f.top.style & 15u) << 8 | (f.bottom.style & 15u) << 12 | borderColor(f.left) << 16 |
          borderColor(f.right) << 23);
    b.u32(borderColor(f.top) | borderColor(f.bottom) << 7 |
          static_cast<std::uint32_t>(f.pattern & 63) << 26);
    b.u16(static_cast<std::uint16_t>((f.patternColor & 0x7F) | (f.patternBgColor & 0x7F) << 7));
    b.end();
}

void writeStyleXfs(BiffBuffer& b) {
    // The fifteen style XFs Excel writes: Normal, then the "not used" ones.
    static const std::uint16_t fonts[kStyleXfCount] = {0, 1, 1, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < kStyleXfCount; ++i) {
        b.begin(kXf);
        b.u16(fonts[i]);
        b.u16(0);
        b.u16(0xFFF5);  // locked, style XF, no parent
        b.u8(0x20);     // bottom aligned
        b.u8(0);
        b.u8(0);
        b.u8(i == 0 ? 0x00 : 0xF4);
        b.u32(0);
        b.u32(0);
        b.u16(0x20C0);
        b.end();
    }
}

// Shared strings with CONTINUE records; a string's header stays with its
// first character and continued character data starts with a flag byte.
void writeSst(BiffBuffer& b, const StringTable& strings, std::uint32_t total) {
    const std::size_t count = strings.size();
    const std::size_t bucketSize = std::max<std::size_t>(8, (count + 127) / 128);
    std::vector<std::pair<std::uint32_t, std::uint16_t>> buckets;

    b.begin(kSst);
    std::size_t recordStart = b.size() - 4;
    b.u32(total);
    b.u32(static_cast<std::uint32_t>(count));
    auto newContinue = [&] {
        b.end();
        b.begin(kContinue);
        recordStart = b.size() - 4;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::u16string s = biff::Utf16(strings.get(static_cast<std::uint32_t>(i)));
        const bool wide = BiffBuffer::isWide(s);
        const std::size_t unit = wide ? 2 : 1;
        const std::size_t head = 3 + (s.empty() ? 0 : unit);
        if (kMaxRecordData - b.recordLength() < head)
            newContinue();
        if (i % bucketSize == 0) {
            buckets.emplace_back(static_cast<std::uint32_t>(b.size()),
                                 static_cast<std::uint16_t>(b.size() - recordStart));
        }
        b.u16(static_cast<std::uint16_t>(s.size()));
        b.u8(wide ? 1 : 0);
        std::size_t done = 0;
        while (done < s.size()) {
            std::size_t room = (kMaxRecordData - b.recordLength()) / unit;
            if (room == 0) {
                newContinue();
                b.u8(wide ? 1 : 0);
                room = (kMaxRecordData - 1) / unit;
            }
            std::size_t n = std::min(room, s.size() - done);
            // Never part a surrogate pair.
            if (wide && done + n < s.size() && n > 1 && s[done + n - 1] >= 0xD800 &&
                s[done + n - 1] <= 0xDBFF) {
                --n;
            }
            b.charsOnly(s, done, n, wide);
            done += n;
        }
    }
    b.end();

    b.begin(kExtSst);
    b.u16(static_cast<std::uint16_t>(bucketSize));
    for (const auto& [ib, cb] : buckets) {
        b.u32(ib);
        b.u16(cb);
        b.u16(0);
    }
    b.end();
}

// RK encoding of a number, when one exists.
bool toRk(double x, std::uint32_t& rk) {
    if (std::isfinite(x) && x >= -536870912.0 && x <= 536870911.0 && x == std::floor(x)) {
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

void writeHeaderFooter(BiffBuffer& b, std::uint16_t id, const std::string& left,
                       const std::string& center, const std::string& right) {
    std::string text;
    if (!left.empty())
        text += "&L" + left;
    if (!center.empty())
        text += "&C" + center;
    if (!right.empty())
        text += "&R" + right;
    const std::u16string s = biff::Utf16(text);
    if (s.size() > 255) {
        throw limitError("ヘッダーまたはフッターの文字列が長すぎます(255 文字まで)。");
    }
    b.begin(id);
    if (!s.empty())
        b.xlString(s);
    b.end();
}

void writeDouble(BiffBuffer& b, std::uint16_t id, double v) {
    b.begin(id);
    b.f64(v);
    b.end();
}

struct SheetWriter {
    BiffBuffer& b;
    const StyleTables& styles;

    void write(const Sheet& sheet, bool active) {
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
        writeRows(sheet);
        writeWindow(sheet, active);
        writeMerges(sheet);
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
                    if (toRk(cell.number, rk)) {
                        b.begin(kRk);
                        b.u16(rw);
                        b.u16(static_cast<std::uint16_t>(c));
                        b.u16(xf);
                        b.u32(rk);
                    } else {
                        b.begin(kNumber);
                        b.u16(rw);
                        b.u16(static_cast<std::uint16_t>(c));
                        b.u16(xf);
                        b.f64(cell.number);
                    }
                    b.end();
                    break;
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

    void writeRows(const Sheet& sheet) {
        // Blocks of 32 rows: the ROW records, then their cells.
        const std::int32_t rows = sheet.rowCount();
        for (std::int32_t start = 0; start < rows; start += 32) {
            const std::int32_t end = std::min(rows, start + 32);
            for (std::int32_t r = start; r < end; ++r) {
                const RowInfo& ri = *sheet.row(r);
                if (rowHasRecord(ri))
                    writeRowRecord(sheet, r, ri);
            }
            for (std::int32_t r = start; r < end; ++r)
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
};

// Print titles: a built-in name Print_Titles (0x07) per sheet that has them,
// referring to the sheet through EXTERNSHEET.
void writePrintTitles(BiffBuffer& b, const Workbook& book) {
    std::vector<std::size_t> sheets;
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        const PageSetup& p = book.sheet(i).pageSetup;
        if (p.titleRows || p.titleCols)
            sheets.push_back(i);
    }
    if (sheets.empty())
        return;
    b.begin(kSupBook);
    b.u16(static_cast<std::uint16_t>(book.sheetCount()));
    b.u16(0x0401);
    b.end();
    b.begin(kExternSheet);
    b.u16(static_cast<std::uint16_t>(sheets.size()));
    for (std::size_t i : sheets) {
        b.u16(0);
        b.u16(static_cast<std::uint16_t>(i));
        b.u16(static_cast<std::uint16_t>(i));
    }
    b.end();
    for (std::size_t k = 0; k < sheets.size(); ++k) {
        const PageSetup& p = book.sheet(sheets[k]).pageSetup;
        BiffBuffer f(64);
        auto area = [&](std::int32_t r0, std::int32_t r1, std::int32_t c0, std::int32_t c1) {
            f.u8(0x3B);  // PtgArea3d
            f.u16(static_cast<std::uint16_t>(k));
            f.u16(static_cast<std::uint16_t>(r0));
            f.u16(static_cast<std::uint16_t>(r1));
            f.u16(static_cast<std::uint16_t>(c0));
            f.u16(static_cast<std::uint16_t>(c1));
        };
        const bool both = p.titleRows && p.titleCols;
        if (both) {
            f.u8(0x29);  // PtgMemFunc
            f.u16(23);   // two areas and a union
        }
        if (p.titleCols)
            area(0, kMaxRows - 1, p.titleCols->first, p.titleCols->second);
        if (p.titleRows)
            area(p.titleRows->first, p.titleRows->second, 0, kMaxCols - 1);
        if (both)
            f.u8(0x10);  // PtgUnion
        const auto formula = f.copy();
        b.begin(kName);
        b.u16(0x0020);  // built-in
        b.u8(0);
        b.u8(1);  // name length
        b.u16(static_cast<std::uint16_t>(formula.size()));
        b.u16(0);
        b.u16(static_cast<std::uint16_t>(sheets[k] + 1));
        b.u8(0);
        b.u8(0);
        b.u8(0);
        b.u8(0);
        b.u8(0);     // name flags: compressed
        b.u8(0x07);  // Print_Titles
        b.bytes(formula.data(), formula.size());
        b.end();
    }
}

std::size_t estimateSize(const Workbook& book) {
    std::size_t cells = 0;
    for (std::size_t s = 0; s < book.sheetCount(); ++s) {
        const Sheet& sheet = book.sheet(s);
        for (std::int32_t r = 0; r < sheet.rowCount(); ++r)
            cells += sheet.row(r)->cells.size();
    }
    return 16384 + cells * 15 + book.strings.size() * 24;
}

}  // namespace

namespace {

BiffBuffer writeStream(const Workbook& book) {
    if (book.sheetCount() == 0) {
        throw PlatformError(kErrGeneral, "シートが 1 枚もないブックは保存できません。");
    }
    const StyleTables styles = buildStyles(book);
    BiffBuffer b(estimateSize(book));

    std::size_t active = std::min(book.activeSheet, book.sheetCount() - 1);
    if (!book.sheet(active).visible) {
        for (std::size_t i = 0; i < book.sheetCount(); ++i) {
            if (book.sheet(i).visible) {
                active = i;
                break;
            }
        }
    }

    // Globals.
    writeBof(b, 0x0005);
    writeU16Record(b, kInterfaceHdr, 1200);
    writeU16Record(b, kMms, 0);
    b.begin(kInterfaceEnd);
    b.end();
    writeU16Record(b, kCodePage, 1200);
    writeU16Record(b, kDsf, 0);
    b.begin(kTabId);
    for (std::size_t i = 0; i < book.sheetCount(); ++i)
        b.u16(static_cast<std::uint16_t>(i + 1));
    b.end();
    writeU16Record(b, kWindowProtect, book.protectedWindows ? 1 : 0);
    writeU16Record(b, kProtect, book.protectedStructure ? 1 : 0);
    writeU16Record(b, kPassword, book.passwordHash);
    writeU16Record(b, kBackup, 0);
    writeU16Record(b, kHideObj, 0);
    b.begin(kWindow1);
    b.u16(0x0168);
    b.u16(0x001E);
    b.u16(0x3A5C);
    b.u16(0x2328);
    b.u16(0x0038);
    b.u16(static_cast<std::uint16_t>(active));
    b.u16(0);
    b.u16(1);
    b.u16(0x0258);
    b.end();
    writeU16Record(b, kDateMode, 0);
    writeU16Record(b, kPrecision, 1);
    writeU16Record(b, kBookBool, 0);
    const Font defaultFont = book.formats.get(0).font;
    for (int i = 0; i < 4; ++i)
        writeFont(b, defaultFont);
    for (const Font& f : styles.fonts)
        writeFont(b, f);
    for (const auto& [ifmt, code] : styles.customFormats) {
        b.begin(kFormat);
        b.u16(ifmt);
        b.xlString(biff::Utf16(code));
        b.end();
    }
    writeStyleXfs(b);
    {
        std::uint16_t defaultIfmt = 0;
        for (const auto& bf : kBuiltinFormats) {
            if (book.formats.get(0).numberFormat == bf.code)
                defaultIfmt = bf.ifmt;
        }
        for (const auto& [ifmt, code] : styles.customFormats) {
            if (book.formats.get(0).numberFormat == code)
                defaultIfmt = ifmt;
        }
        writeXf(b, book.formats.get(0), 0, defaultIfmt);
    }
    for (std::size_t i = 0; i < styles.xfFormats.size(); ++i) {
        writeXf(b, book.formats.get(styles.xfFormats[i]), styles.fontOfXf[i], styles.ifmtOfXf[i]);
    }
    b.begin(kStyle);
    b.u16(0x8000);
    b.u8(0);
    b.u8(0xFF);
    b.end();
    std::vector<std::size_t> plyPos;
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        const Sheet& sheet = book.sheet(i);
        b.begin(kBoundSheet);
        plyPos.push_back(b.size());
        b.u32(0);
        b.u8(sheet.visible ? 0 : 1);
        b.u8(0);
        b.shortString(biff::Utf16(sheet.name()));
        b.end();
    }
    b.begin(kCountry);
    b.u16(81);
    b.u16(81);
    b.end();
    writePrintTitles(b, book);

    writeSst(b, book.strings, styles.labelCount);
    b.begin(kEof);
    b.end();

    SheetWriter writer{b, styles};
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        b.patch32(plyPos[i], static_cast<std::uint32_t>(b.size()));
        writer.write(book.sheet(i), i == active);
    }
    // Keep the stream out of the container's mini stream.
    if (b.size() < 4096)
        b.zeros(4096 - b.size());
    return b;
}

}  // namespace

std::vector<std::uint8_t> WriteBiff8Stream(const Workbook& book) {
    return writeStream(book).copy();
}

namespace {

struct GObjectUnref {
    void operator()(void* p) const {
        if (p != nullptr)
            g_object_unref(p);
    }
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* e) const {
        if (e != nullptr)
            g_error_free(e);
    }
};

void initGsf() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

// Writes the stream into an OLE2 container on `sink`; false when a write failed.
bool writeContainer(GsfOutput* sink, const BiffBuffer& stream) {
    GPtr<GsfOutfile> ole(gsf_outfile_msole_new(sink));
    if (!ole)
        return false;
    GPtr<GsfOutput> child(gsf_outfile_new_child(ole.get(), "Workbook", FALSE));
    if (!child)
        return false;
    bool ok = true;
    constexpr std::size_t kChunk = 1 << 20;
    for (std::size_t at = 0; ok && at < stream.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, stream.size() - at);
        ok = gsf_output_write(child.get(), n, stream.data() + at) != FALSE;
    }
    ok = gsf_output_close(child.get()) != FALSE && ok;
    ok = gsf_output_close(GSF_OUTPUT(ole.get())) != FALSE && ok;
    return ok;
}

}  // namespace

std::vector<std::uint8_t> WriteXlsToMemory(const Workbook& book) {
    const BiffBuffer stream = writeStream(book);
    initGsf();
    GPtr<GsfOutput> mem(gsf_output_memory_new());
    if (!writeContainer(mem.get(), stream)) {
        throw PlatformError(kErrGeneral, "ブックのデータを作成できませんでした。");
    }
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(mem.get()));
    const auto size = static_cast<std::size_t>(gsf_output_size(mem.get()));
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

namespace {

// A FILE over a descriptor that remembers the first failing errno, so a
// full disk is told apart from other failures.
struct FdCookie {
    int fd = -1;
    int error = 0;
};

ssize_t cookieWrite(void* c, const char* buf, size_t size) {
    auto* cookie = static_cast<FdCookie*>(c);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(cookie->fd, buf + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (cookie->error == 0)
                cookie->error = errno;
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

int cookieSeek(void* c, off64_t* offset, int whence) {
    auto* cookie = static_cast<FdCookie*>(c);
    const off64_t at = ::lseek64(cookie->fd, *offset, whence);
    if (at < 0) {
        if (cookie->error == 0)
            cookie->error = errno;
        return -1;
    }
    *offset = at;
    return 0;
}

int cookieClose(void*) {
    return 0;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

PlatformError saveError(int err, const std::string& path) {
    const std::string head = "'" + path + "' に保存できません。";
    switch (err) {
        case ENOSPC:
        case EFBIG:
        case EDQUOT:
            return PlatformError(kErrDiskFull, head + "ディスクの空き領域が不足しています。");
        case ENOENT:
        case ENOTDIR:
            return PlatformError(kErrFileAccess, head + "保存先のフォルダー '" + folderOf(path) +
                                                     "' が見つかりません。");
        case EACCES:
        case EPERM:
            return PlatformError(kErrFileAccess, head + "書き込みが許可されていません。");
        case EROFS:
            return PlatformError(kErrFileAccess, head + "読み取り専用の場所です。");
        case EISDIR:
            return PlatformError(kErrFileAccess, head + "同じ名前のフォルダーがあります。");
        case ENAMETOOLONG:
            return PlatformError(kErrFileAccess, head + "パスが長すぎます。");
        default:
            return PlatformError(kErrFileAccess,
                                 head + "(システムエラー " + std::to_string(err) + ")");
    }
}

// Removes the temporary file unless the save went through.
struct TempFile {
    std::string path;
    int fd = -1;
    bool keep = false;
    ~TempFile() {
        if (fd >= 0)
            ::close(fd);
        if (!keep && !path.empty())
            ::unlink(path.c_str());
    }
};

}  // namespace

void WriteXlsFile(const Workbook& book, const std::string& path) {
    if (path.empty())
        throw PlatformError(kErrFileAccess, "保存先のファイル名がありません。");
    // Build everything first: a workbook that cannot be written leaves no file.
    const BiffBuffer stream = writeStream(book);
    initGsf();

    struct stat target {};
    const bool exists = ::stat(path.c_str(), &target) == 0;
    if (exists && S_ISDIR(target.st_mode))
        throw saveError(EISDIR, path);

    const std::string folder = folderOf(path);
    const std::string base =
        path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    TempFile temp;
    std::string pattern = folder + "/." + base + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    temp.fd = ::mkstemp(name.data());
    if (temp.fd < 0)
        throw saveError(errno, path);
    temp.path = name.data();

    mode_t mode;
    if (exists) {
        mode = target.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(temp.fd, mode);

    FdCookie cookie{temp.fd, 0};
    cookie_io_functions_t io{nullptr, cookieWrite, cookieSeek, cookieClose};
    FILE* file = ::fopencookie(&cookie, "w+", io);
    if (file == nullptr)
        throw saveError(errno, path);
    bool ok;
    {
        GError* raw = nullptr;
        GPtr<GsfOutput> sink(gsf_output_stdio_new_FILE(temp.path.c_str(), file, TRUE));
        std::unique_ptr<GError, GErrorFree> error(raw);
        ok = sink && writeContainer(sink.get(), stream);
    }
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok || cookie.error != 0)
        throw saveError(cookie.error != 0 ? cookie.error : EIO, path);
    if (::fsync(temp.fd) != 0)
        throw saveError(errno, path);
    if (::close(temp.fd) != 0) {
        temp.fd = -1;
        throw saveError(errno, path);
    }
    temp.fd = -1;
    if (::rename(temp.path.c_str(), path.c_str()) != 0)
        throw saveError(errno, path);
    temp.keep = true;
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace xls
