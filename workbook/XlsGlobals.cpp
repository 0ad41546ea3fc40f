#include "TextCodec.h"
#include "XlsWriterParts.h"

// The workbook globals: one writer per record or group of records, called in
// the order the file holds them.

namespace xls::writer {
namespace {

using namespace biff;  // record ids

void writeBookBof(Globals& g) {
    writeBof(g.b, 0x0005);
}

void writeInterface(Globals& g) {
    writeU16Record(g.b, kInterfaceHdr, 1200);
    writeU16Record(g.b, kMms, 0);
    g.b.begin(kInterfaceEnd);
    g.b.end();
}

void writeCodePageAndDsf(Globals& g) {
    writeU16Record(g.b, kCodePage, 1200);
    writeU16Record(g.b, kDsf, 0);
}

void writeTabIds(Globals& g) {
    g.b.begin(kTabId);
    for (std::size_t i = 0; i < g.book.sheetCount(); ++i)
        g.b.u16(static_cast<std::uint16_t>(i + 1));
    g.b.end();
}

void writeProtection(Globals& g) {
    writeU16Record(g.b, kWindowProtect, g.book.protectedWindows ? 1 : 0);
    writeU16Record(g.b, kProtect, g.book.protectedStructure ? 1 : 0);
    writeU16Record(g.b, kPassword, g.book.passwordHash);
}

void writeBackupAndHideObj(Globals& g) {
    writeU16Record(g.b, kBackup, 0);
    writeU16Record(g.b, kHideObj, 0);
}

void writeWindow1(Globals& g) {
    BiffBuffer& b = g.b;
    b.begin(kWindow1);
    b.u16(0x0168);
    b.u16(0x001E);
    b.u16(0x3A5C);
    b.u16(0x2328);
    b.u16(0x0038);
    b.u16(static_cast<std::uint16_t>(g.active));
    b.u16(0);
    b.u16(1);
    b.u16(0x0258);
    b.end();
}

// Serial numbers are written in the 1900 date system.
void writeDateModeAndPrecision(Globals& g) {
    writeU16Record(g.b, kDateMode, 0);
    writeU16Record(g.b, kPrecision, 1);
    writeU16Record(g.b, kBookBool, 0);
}

void writeFonts(Globals& g) {
    const Font defaultFont = g.book.formats.get(0).font;
    for (int i = 0; i < 4; ++i)
        writeFont(g.b, defaultFont);
    for (const Font& f : g.styles.fonts)
        writeFont(g.b, f);
}

void writeNumberFormats(Globals& g) {
    for (const auto& [ifmt, code] : g.styles.customFormats) {
        g.b.begin(kFormat);
        g.b.u16(ifmt);
        g.b.xlString(textcodec::Utf8ToUtf16(code));
        g.b.end();
    }
}

void writeXfs(Globals& g) {
    writeStyleXfs(g.b);
    writeXf(g.b, g.book.formats.get(0), 0, defaultFormatIfmt(g.book, g.styles));
    for (std::size_t i = 0; i < g.styles.xfFormats.size(); ++i) {
        writeXf(g.b, g.book.formats.get(g.styles.xfFormats[i]), g.styles.fontOfXf[i],
                g.styles.ifmtOfXf[i]);
    }
}

void writeNormalStyle(Globals& g) {
    BiffBuffer& b = g.b;
    b.begin(kStyle);
    b.u16(0x8000);
    b.u8(0);
    b.u8(0xFF);
    b.end();
}

// BOUNDSHEET8 records with placeholders for the sheets' stream offsets.
void writeBoundSheets(Globals& g) {
    BiffBuffer& b = g.b;
    for (std::size_t i = 0; i < g.book.sheetCount(); ++i) {
        const Sheet& sheet = g.book.sheet(i);
        b.begin(kBoundSheet);
        g.plyPos.push_back(b.size());
        b.u32(0);
        b.u8(sheet.visible ? 0 : 1);
        b.u8(0);
        b.shortString(textcodec::Utf8ToUtf16(sheet.name()));
        b.end();
    }
}

void writeCountry(Globals& g) {
    g.b.begin(kCountry);
    g.b.u16(81);
    g.b.u16(81);
    g.b.end();
}

// Print titles: a built-in name Print_Titles (0x07) per sheet that has them,
// referring to the sheet through EXTERNSHEET.
void writePrintTitles(Globals& g) {
    BiffBuffer& b = g.b;
    const Workbook& book = g.book;
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

void writeSharedStrings(Globals& g) {
    writeSst(g.b, g.book.strings, g.styles.labelCount);
}

void writeBookEof(Globals& g) {
    g.b.begin(kEof);
    g.b.end();
}

using RecordWriter = void (*)(Globals&);

constexpr RecordWriter kGlobalRecords[] = {
    writeBookBof,
    writeInterface,
    writeCodePageAndDsf,
    writeTabIds,
    writeProtection,
    writeBackupAndHideObj,
    writeWindow1,
    writeDateModeAndPrecision,
    writeFonts,
    writeNumberFormats,
    writeXfs,
    writeNormalStyle,
    writeBoundSheets,
    writeCountry,
    writePrintTitles,
    writeSharedStrings,
    writeBookEof,
};

}  // namespace

void writeGlobals(Globals& g) {
    for (RecordWriter write : kGlobalRecords)
        write(g);
}

}  // namespace xls::writer
