#include "TextCodec.h"
#include "XlsWriterParts.h"

// Cell formats as the file holds them: each format a cell, row or column
// uses becomes an XF with its FONT and FORMAT records.

#include <unordered_map>

namespace xls::writer {

using namespace biff;  // record ids

namespace {

struct BuiltinFormat {
    const char* code;
    std::uint16_t ifmt;
};
constexpr BuiltinFormat kBuiltinFormats[] = {
    {"General", 0}, {"0", 1},      {"0.00", 2},      {"#,##0", 3}, {"#,##0.00", 4},
    {"0%", 9},      {"0.00%", 10}, {"0.00E+00", 11}, {"@", 49},
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

}  // namespace

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

std::uint16_t defaultFormatIfmt(const Workbook& book, const StyleTables& styles) {
    std::uint16_t ifmt = 0;
    for (const auto& bf : kBuiltinFormats) {
        if (book.formats.get(0).numberFormat == bf.code)
            ifmt = bf.ifmt;
    }
    for (const auto& [id, code] : styles.customFormats) {
        if (book.formats.get(0).numberFormat == code)
            ifmt = id;
    }
    return ifmt;
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
    b.shortString(textcodec::Utf8ToUtf16(f.name));
    b.end();
}

namespace {

std::uint32_t borderColor(const Border& border) {
    return border.style != 0 ? border.color & 0x7F : 0;
}

}  // namespace

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

}  // namespace xls::writer
