// Record-level cases built byte by byte: what real files rarely show but the
// reader must get right (formula results, 1904 dates, sheet offsets, nested
// substreams, sheet settings).

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>

#include "OleReader.h"
#include "test_reader_support.h"

namespace xls {
namespace {

using namespace readertest;

std::unique_ptr<Workbook> ReadStream(const Bytes& stream, const std::string& name = "Workbook") {
    return ReadBytes(WrapCfb(name, stream));
}

Bytes FormulaRec(std::uint16_t row, std::uint16_t col, const Bytes& value8,
                 std::uint16_t id = 0x0006) {
    Bytes p = CellHeader(row, col);
    Append(p, value8);
    Put16(p, 0);                            // flags
    Put32(p, 0);                            // chn
    Put16(p, 3);                            // cce
    p.insert(p.end(), {0x1E, 0x01, 0x00});  // PtgInt 1
    return Rec(id, p);
}

Bytes SpecialResult(std::uint8_t type, std::uint8_t value = 0) {
    return Bytes{type, 0, value, 0, 0, 0, 0xFF, 0xFF};
}

Bytes DoubleBytes(double d) {
    Bytes b;
    PutDouble(b, d);
    return b;
}

TEST(ReaderCells, FormulaCachedResults) {
    Bytes cells;
    Append(cells, FormulaRec(0, 0, DoubleBytes(42.5)));
    // Text result: SHRFMLA stands between the FORMULA and its STRING.
    Append(cells, FormulaRec(1, 0, SpecialResult(0)));
    Append(cells, Rec(0x04BC, Bytes(10, 0)));
    Append(cells, Rec(0x0207, AsciiString("結果")));  // a UTF-8 literal: compressed it is not
    Append(cells, FormulaRec(2, 0, SpecialResult(1, 1)));
    Append(cells, FormulaRec(3, 0, SpecialResult(2, 0x07)));
    Append(cells, FormulaRec(4, 0, SpecialResult(3)));
    // A STRING continued with a width switch.
    Append(cells, FormulaRec(5, 0, SpecialResult(0)));
    Bytes part1;
    Put16(part1, 4);
    part1.push_back(0);
    part1.insert(part1.end(), {'a', 'b'});
    Bytes part2 = {0x01};
    Put16(part2, 0x5186);
    Put16(part2, 0x5186);
    Append(cells, Rec(0x0207, part1));
    Append(cells, Rec(0x003C, part2));
    // A stray STRING with no formula before it changes nothing.
    Append(cells, Rec(0x0207, AsciiString("stray")));

    auto book = ReadStream(BuildStream(StandardFormats(), {{"S", cells}}));
    const Sheet& s = book->sheet(0);
    EXPECT_EQ(s.value(0, 0), CellValue(42.5));
    EXPECT_EQ(s.value(2, 0), CellValue(true));
    EXPECT_EQ(s.value(3, 0), CellValue(ErrorValue{0x07}));
    EXPECT_EQ(s.value(4, 0), CellValue(std::string()));
    EXPECT_EQ(s.value(5, 0), CellValue(std::string("ab円円")));
    EXPECT_EQ(s.lastCell(), std::make_optional(std::make_pair(5, 0)));
    // The 8-bit bytes of "結果" are Latin-1 characters, six of them.
    auto text = std::get<std::string>(s.value(1, 0));
    EXPECT_EQ(text.size(), 12u);
}

// Some writers keep the BIFF4 id 0x0406 for FORMULA in a BIFF8 stream; the
// layout is BIFF8's, and so are the results.
TEST(ReaderCells, FormulaUnderItsOlderIdHasItsCachedResults) {
    Bytes cells;
    Append(cells, FormulaRec(0, 0, DoubleBytes(3), 0x0406));
    Append(cells, FormulaRec(1, 0, SpecialResult(0), 0x0406));
    Append(cells, Rec(0x0207, AsciiString("text")));
    Append(cells, FormulaRec(2, 0, SpecialResult(1, 0), 0x0406));
    Append(cells, FormulaRec(3, 0, SpecialResult(2, 0x2A), 0x0406));
    auto book = ReadStream(BuildStream(StandardFormats(), {{"S", cells}}));
    const Sheet& s = book->sheet(0);
    EXPECT_EQ(s.value(0, 0), CellValue(3.0));
    EXPECT_EQ(s.value(1, 0), CellValue(std::string("text")));
    EXPECT_EQ(s.value(2, 0), CellValue(false));
    EXPECT_EQ(s.value(3, 0), CellValue(ErrorValue{0x2A}));
}

TEST(ReaderCells, LabelRStringBoolErrBlankAndNonFiniteNumbers) {
    Bytes cells;
    Bytes label = CellHeader(0, 0);
    Append(label, WideString(u"設置場所"));
    Append(cells, Rec(0x0204, label));
    Bytes rstring = CellHeader(0, 1);
    Append(rstring, AsciiString("rich"));
    Put16(rstring, 1);
    Put32(rstring, 0);
    Append(cells, Rec(0x00D6, rstring));
    Bytes boolerr = CellHeader(1, 0);
    boolerr.insert(boolerr.end(), {1, 0});
    Append(cells, Rec(0x0205, boolerr));
    Bytes error = CellHeader(1, 1);
    error.insert(error.end(), {0x2A, 1});
    Append(cells, Rec(0x0205, error));
    Append(cells, Rec(0x0201, CellHeader(2, 5)));
    Append(cells, NumberRec(3, 0, std::numeric_limits<double>::quiet_NaN()));
    Append(cells, NumberRec(3, 1, -std::numeric_limits<double>::infinity()));
    Append(cells, RkRec(3, 2, (static_cast<std::uint32_t>(-529647) << 2) | 3));

    auto book = ReadStream(BuildStream(StandardFormats(), {{"S", cells}}));
    const Sheet& s = book->sheet(0);
    EXPECT_EQ(s.value(0, 0), CellValue(std::string("設置場所")));
    EXPECT_EQ(s.value(0, 1), CellValue(std::string("rich")));
    EXPECT_EQ(s.value(1, 0), CellValue(true));
    EXPECT_EQ(s.value(1, 1), CellValue(ErrorValue{0x2A}));
    EXPECT_EQ(s.value(2, 5), CellValue());
    EXPECT_NE(s.cell(2, 5), nullptr);  // the styled blank is kept
    EXPECT_EQ(s.value(3, 0), CellValue(ErrorValue{0x24}));
    EXPECT_EQ(s.value(3, 1), CellValue(ErrorValue{0x24}));
    EXPECT_EQ(s.value(3, 2), CellValue(-5296.47));
}

TEST(ReaderCells, MulRkAndMulBlankSpreadOverColumns) {
    Bytes mulrk;
    Put16(mulrk, 7);
    Put16(mulrk, 2);
    for (std::int32_t v : {10, -20, 30}) {
        Put16(mulrk, 15);
        Put32(mulrk, (static_cast<std::uint32_t>(v) << 2) | 2);
    }
    Put16(mulrk, 4);
    Bytes mulblank;
    Put16(mulblank, 8);
    Put16(mulblank, 250);
    for (int i = 0; i < 6; ++i) {
        Put16(mulblank, 15);
    }
    Put16(mulblank, 255);
    Bytes cells = Rec(0x00BD, mulrk);
    Append(cells, Rec(0x00BE, mulblank));
    auto book = ReadStream(BuildStream(StandardFormats(), {{"S", cells}}));
    const Sheet& s = book->sheet(0);
    EXPECT_EQ(s.value(7, 2), CellValue(10.0));
    EXPECT_EQ(s.value(7, 3), CellValue(-20.0));
    EXPECT_EQ(s.value(7, 4), CellValue(30.0));
    EXPECT_NE(s.cell(8, 255), nullptr);
    EXPECT_EQ(s.lastCell(), std::make_optional(std::make_pair(8, 255)));
}

TEST(ReaderCells, DimensionsIsIgnored) {
    Bytes dims;
    Put32(dims, 0);
    Put32(dims, 60000);
    Put16(dims, 0);
    Put16(dims, 200);
    Put16(dims, 0);
    Bytes cells = Rec(0x0200, dims);
    Append(cells, NumberRec(4, 3, 1));
    auto book = ReadStream(BuildStream(StandardFormats(), {{"S", cells}}));
    EXPECT_EQ(book->sheet(0).lastCell(), std::make_optional(std::make_pair(4, 3)));
}

// A FORMULA whose stored result is the number `cached`, with its tokens.
Bytes FormulaWithTokens(std::uint16_t row, std::uint16_t col, double cached, const Bytes& rgce) {
    Bytes p = CellHeader(row, col);
    PutDouble(p, cached);
    Put16(p, 0);
    Put32(p, 0);
    Put16(p, static_cast<std::uint32_t>(rgce.size()));
    Append(p, rgce);
    return Rec(0x0006, p);
}

Bytes PtgStr(const std::string& ascii) {
    Bytes b{0x17};
    Append(b, AsciiString(ascii, true));
    return b;
}

// PtgRefV of (row, col), 0-based; `relative` sets both relative flags, which
// a shared formula's PtgRefN reads as offsets.
Bytes PtgRef(std::uint16_t row, std::uint16_t col, std::uint8_t id = 0x44) {
    Bytes b{id};
    Put16(b, row);
    Put16(b, col | 0xC000u);
    return b;
}

Bytes Tokens(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& part : parts)
        Append(b, part);
    return b;
}

// LibreOffice stores a formula's result by the cell's number format: a text
// or empty text result in a "#,##0" cell is stored as 0. Such results are
// worked out again; numbers, Booleans and errors stay as stored.
TEST(ReaderCells, TextResultsStoredAsZeroAreWorkedOutAgain) {
    const Bytes ifBlank = Tokens({PtgRef(0, 13), PtgStr(""), Bytes{0x0B},     // N1=""
                                  Bytes{0x19, 0x02, 0x07, 0x00}, PtgStr(""),  // tAttrIf
                                  Bytes{0x19, 0x08, 0x10, 0x00}, PtgRef(0, 13), Bytes{0x1F},
                                  DoubleBytes(1.1), Bytes{0x05},  // N1*1.1
                                  Bytes{0x19, 0x08, 0x03, 0x00}, Bytes{0x42, 0x03, 0x01, 0x00}});
    struct Case {
        const char* what;
        Bytes rgce;
        double cached;
        CellValue shows;
    };
    const Case cases[] = {
        {"=\"abc\"", PtgStr("abc"), 0, std::string("abc")},
        {"=\"\"", PtgStr(""), 0, std::string()},
        {"=IF(N1=\"\";\"\";N1*1.1), N1 blank", ifBlank, 0, std::string()},
        {"=\"a\"&N2 (N2 is 5)", Tokens({PtgStr("a"), PtgRef(1, 13), Bytes{0x08}}), 0,
         std::string("a5")},
        {"=IF(N2>9;\"big\";0)",
         Tokens({PtgRef(1, 13), Bytes{0x1E, 9, 0, 0x0D}, PtgStr("big"),
                 Bytes{0x1E, 0, 0, 0x42, 0x03, 0x01, 0x00}}),
         0, 0.0},
        {"=ROUNDDOWN(N2*0;0)",
         Tokens({PtgRef(1, 13), Bytes{0x1E, 0, 0, 0x05, 0x1E, 0, 0}, Bytes{0x41, 0xD5, 0x00}}), 0,
         0.0},
        {"=\"x\" stored as 7 (not 0): kept", PtgStr("x"), 7, 7.0},
        {"=SUM(N1:N2)&\"\": not worked out, kept",
         Tokens({Bytes{0x25, 0, 0, 1, 0, 13, 0xC0, 13, 0xC0}, Bytes{0x19, 0x10, 0, 0}, PtgStr(""),
                 Bytes{0x08}}),
         0, 0.0},
        {"=1/0&\"\": an error stays the stored 0",
         Tokens({Bytes{0x1E, 1, 0, 0x1E, 0, 0, 0x06}, PtgStr(""), Bytes{0x08}}), 0, 0.0},
    };
    for (const Case& c : cases) {
        Bytes cells = NumberRec(1, 13, 5);
        Append(cells, FormulaWithTokens(0, 25, c.cached, c.rgce));
        auto book = ReadStream(BuildStream(StandardFormats(), {{"S", cells}}));
        EXPECT_EQ(book->sheet(0).value(0, 25), c.shows) << c.what;
    }

    // Filled down: each FORMULA points at the SHRFMLA, whose PtgRefN are
    // offsets from the cell (column N of the same row).
    Bytes cells;
    const Bytes exp{0x01, 0x02, 0x00, 0x19, 0x00};  // PtgExp (2, 25)
    const Bytes shared = Tokens({PtgRef(0, 0xF4, 0x4C), PtgStr(""), Bytes{0x0B}, PtgStr("-"),
                                 PtgRef(0, 0xF4, 0x4C), Bytes{0x42, 0x03, 0x01, 0x00}});
    for (std::uint16_t row = 0; row < 3; ++row) {
        Bytes p = CellHeader(static_cast<std::uint16_t>(row + 2), 25);
        PutDouble(p, row == 1 ? 300 : 0);  // =IF(N="";"-";N): 300 on the row with a value
        Put16(p, 0x0008);                  // fShrFmla
        Put32(p, 0);
        Put16(p, static_cast<std::uint32_t>(exp.size()));
        Append(p, exp);
        Append(cells, Rec(0x0006, p));
        if (row == 0) {
            Bytes s{2, 0, 4, 0, 25, 25, 0, 3};
            Put16(s, static_cast<std::uint32_t>(shared.size()));
            Append(s, shared);
            Append(cells, Rec(0x04BC, s));
        }
    }
    Append(cells, NumberRec(3, 13, 300));
    auto book = ReadStream(BuildStream(StandardFormats(), {{"S", cells}}));
    const Sheet& s = book->sheet(0);
    EXPECT_EQ(s.value(2, 25), CellValue(std::string("-")));
    EXPECT_EQ(s.value(3, 25), CellValue(300.0));
    EXPECT_EQ(s.value(4, 25), CellValue(std::string("-")));
}

TEST(ReaderFormats, FontGapCustomFormatsAnd1904Dates) {
    Bytes g = Rec(0x0022, Bytes{1, 0});  // DATEMODE 1904
    for (int i = 0; i < 4; ++i) {
        Append(g, FontRec(u"Arial"));
    }
    Append(g, FontRec(u"ＭＳ　ゴシック", 200, 700));  // the fifth FONT is font 5
    Bytes fmt;
    Put16(fmt, 164);
    Append(fmt, WideString(u"#,##0\"円\""));
    Append(g, Rec(0x041E, fmt));
    Bytes dfmt;
    Put16(dfmt, 165);
    Append(dfmt, AsciiString("yyyy/m/d"));
    Append(g, Rec(0x041E, dfmt));
    for (int i = 0; i < 15; ++i) {
        Append(g, XfRec({.style = true}));
    }
    Append(g, XfRec({}));                                     // 15
    Append(g, XfRec({.font = 5, .ifmt = 164}));               // 16
    Append(g, XfRec({.font = 4, .ifmt = 165}));               // 17: font 4 does not exist
    Append(g, XfRec({.ifmt = 14, .fill = 13, .hAlign = 3}));  // 18: built-in date
    Append(g, XfRec({.font = 99, .ifmt = 3}));                // 19: font out of range

    Bytes cells;
    Append(cells, NumberRec(0, 0, 1234, 16));
    Append(cells, NumberRec(0, 1, 100, 17));
    Append(cells, NumberRec(0, 2, 100, 18));
    Append(cells, NumberRec(0, 3, 100, 19));
    Append(cells, NumberRec(0, 4, 100, 999));  // no such XF: default format
    auto book = ReadStream(BuildStream(g, {{"S", cells}}));
    const Sheet& s = book->sheet(0);
    const FormatTable& formats = book->formats;
    const CellFormat& yen = formats.get(s.cell(0, 0)->format);
    EXPECT_EQ(yen.numberFormat, "#,##0\"円\"");
    EXPECT_EQ(yen.font.name, "ＭＳ　ゴシック");
    EXPECT_TRUE(yen.font.bold);
    EXPECT_EQ(s.value(0, 0), CellValue(1234.0));  // not a date: unchanged
    EXPECT_EQ(formats.get(s.cell(0, 1)->format).font.name, "Arial");
    EXPECT_EQ(s.value(0, 1), CellValue(100.0 + 1462));
    EXPECT_EQ(s.value(0, 2), CellValue(100.0 + 1462));
    const CellFormat& date = formats.get(s.cell(0, 2)->format);
    EXPECT_EQ(date.patternColor, 13);
    EXPECT_EQ(date.hAlign, 3);
    EXPECT_EQ(date.numberFormat, "m/d/yy");
    EXPECT_EQ(formats.get(s.cell(0, 3)->format).numberFormat, "#,##0");
    EXPECT_EQ(s.value(0, 3), CellValue(100.0));
    EXPECT_EQ(s.cell(0, 4)->format, 0u);
}

// A FORMAT code holding fewer characters than it states (a writer's slip
// seen in real files) is clipped to what it holds; the book is read.
TEST(ReaderFormats, FormatCodeShorterThanStatedIsClipped) {
    Bytes g = StandardFormats();
    auto format = [&](std::uint16_t ifmt, Bytes code, std::uint16_t statedCch) {
        code[0] = static_cast<std::uint8_t>(statedCch);
        code[1] = static_cast<std::uint8_t>(statedCch >> 8);
        Bytes p;
        Put16(p, ifmt);
        Append(p, code);
        Append(g, Rec(0x041E, p));
    };
    format(164, AsciiString("#,##0"), 6);
    Bytes wide = WideString(u"0.0円");
    wide.push_back('x');  // half a character
    format(165, wide, 9);
    format(166, AsciiString("yyyy/m/d"), 8);
    format(167, AsciiString(""), 300);
    for (std::uint16_t ifmt = 164; ifmt <= 167; ++ifmt) {
        Append(g, XfRec({.ifmt = ifmt}));  // XF 16 onwards
    }
    Bytes cells;
    for (std::uint16_t k = 0; k < 4; ++k) {
        Append(cells, NumberRec(0, k, 1, static_cast<std::uint16_t>(16 + k)));
    }
    auto book = ReadStream(BuildStream(g, {{"S", cells}}));
    const Sheet& s = book->sheet(0);
    const std::vector<std::string> expected = {"#,##0", "0.0円", "yyyy/m/d", ""};
    for (std::int32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(book->formats.get(s.cell(0, k)->format).numberFormat, expected[k]) << k;
        EXPECT_EQ(s.value(0, k), CellValue(1.0)) << k;
    }
}

TEST(ReaderSheets, SettingsViewPageSetupProtection) {
    Bytes r;
    Bytes colinfo;
    Put16(colinfo, 1);
    Put16(colinfo, 3);
    Put16(colinfo, 4000);
    Put16(colinfo, 15);
    Put16(colinfo, 1);  // hidden
    Put16(colinfo, 0);
    Append(r, Rec(0x007D, colinfo));
    Bytes row;
    Put16(row, 5);
    Put16(row, 0);
    Put16(row, 1);
    Put16(row, 600);
    Put16(row, 0);
    Put16(row, 0);
    Put32(row, 0x000F0140);  // custom height
    Append(r, Rec(0x0208, row));
    Append(r, NumberRec(5, 0, 1));
    Bytes setup;
    Put16(setup, 9);
    Put16(setup, 85);
    Put16(setup, 1);
    Put16(setup, 1);
    Put16(setup, 1);
    Put16(setup, 0x0000);  // landscape, printer fields valid
    Put16(setup, 600);
    Put16(setup, 600);
    PutDouble(setup, 0.25);
    PutDouble(setup, 0.35);
    Put16(setup, 1);
    Append(r, Rec(0x00A1, setup));
    Append(r, Rec(0x0026, DoubleBytes(0.5)));
    Append(r, Rec(0x0029, DoubleBytes(std::numeric_limits<double>::quiet_NaN())));
    Append(r, Rec(0x0014, WideString(u"&L左&C中&R右")));
    Append(r, Rec(0x0015, {}));
    Append(r, Rec(0x0012, Bytes{1, 0}));
    Append(r, Rec(0x0013, Bytes{0xAF, 0x83}));
    Bytes window2;
    Put16(window2, 0x06BE);  // frozen, selected
    Put16(window2, 0);
    Put16(window2, 0);
    Put32(window2, 0x40);
    Put16(window2, 0);
    Put16(window2, 0);
    Put32(window2, 0);
    Append(r, Rec(0x023E, window2));
    Append(r, Rec(0x00A0, Bytes{3, 0, 4, 0}));  // 75 %
    Bytes pane;
    Put16(pane, 2);
    Put16(pane, 3);
    Put16(pane, 3);
    Put16(pane, 2);
    pane.insert(pane.end(), {0, 0});
    Append(r, Rec(0x0041, pane));
    // MERGEDCELLS twice, with ranges that merge nothing or are inverted.
    Bytes m1;
    Put16(m1, 2);
    for (std::uint16_t v : {0, 1, 0, 0, 4, 4, 4, 4}) {
        Put16(m1, v);
    }
    Append(r, Rec(0x00E5, m1));
    Bytes m2;
    Put16(m2, 2);
    for (std::uint16_t v : {2, 2, 0, 5, 9, 8, 0, 0}) {
        Put16(m2, v);
    }
    Append(r, Rec(0x00E5, m2));

    Bytes globals = StandardFormats();
    Append(globals, Rec(0x0012, Bytes{1, 0}));
    Append(globals, Rec(0x0019, Bytes{1, 0}));
    Bytes window1(18, 0);
    window1[10] = 1;  // the second sheet is active
    Append(globals, Rec(0x003D, window1));

    auto book = ReadStream(BuildStream(globals, {{"A", r}, {"B", {}}}));
    EXPECT_TRUE(book->protectedStructure);
    EXPECT_TRUE(book->protectedWindows);
    EXPECT_EQ(book->activeSheet, 1u);
    const Sheet& s = book->sheet(0);
    EXPECT_EQ(s.column(2).width, std::optional<std::uint16_t>(4000));
    EXPECT_TRUE(s.column(3).hidden);
    EXPECT_FALSE(s.column(4).hidden);
    ASSERT_NE(s.row(5), nullptr);
    EXPECT_EQ(s.row(5)->height, std::optional<std::uint16_t>(600));
    EXPECT_EQ(s.pageSetup.paperSize, 9);
    EXPECT_EQ(s.pageSetup.scale, 85);
    EXPECT_EQ(s.pageSetup.orientation, 2);
    EXPECT_EQ(s.pageSetup.headerMargin, 0.25);
    EXPECT_EQ(s.pageSetup.footerMargin, 0.35);
    EXPECT_EQ(s.pageSetup.leftMargin, 0.5);
    EXPECT_EQ(s.pageSetup.bottomMargin, PageSetup{}.bottomMargin);  // NaN ignored
    EXPECT_EQ(s.pageSetup.headerLeft, "左");
    EXPECT_EQ(s.pageSetup.headerCenter, "中");
    EXPECT_EQ(s.pageSetup.headerRight, "右");
    EXPECT_EQ(s.pageSetup.footerCenter, "");
    EXPECT_TRUE(s.protectedSheet);
    EXPECT_EQ(s.passwordHash, 0x83AF);
    EXPECT_EQ(s.view.zoom, 75);
    EXPECT_EQ(s.view.freeze, std::make_optional(std::make_pair(3, 2)));
    EXPECT_EQ(s.merges, (std::vector<CellRange>{{0, 1, 0, 0}, {2, 2, 0, 5}}));
}

TEST(ReaderSheets, ChartsMacrosHiddenSheetsAndNestedSubstreams) {
    Bytes withChart = NumberRec(0, 0, 1);
    Append(withChart, Bof(0x0020));  // embedded chart: its records are not cells
    Append(withChart, NumberRec(9, 9, 99));
    Append(withChart, Eof());
    Append(withChart, NumberRec(1, 0, 2));
    std::vector<SheetSpec> sheets = {
        {"chart", {}, 2, 0x0020},
        {"data", withChart},
        {"macro", {}, 0, 0x0040},
        {"hidden", NumberRec(0, 0, 3)},
    };
    Bytes stream = BuildStream(StandardFormats(), sheets);
    // Mark "hidden" as hidden: its BOUNDSHEET8 is the fourth.
    std::size_t pos = Bof(5).size() + StandardFormats().size();
    for (int i = 0; i < 3; ++i) {
        pos += 4 + (stream[pos + 2] | (stream[pos + 3] << 8));
    }
    stream[pos + 8] = 1;
    auto book = ReadStream(stream);
    ASSERT_EQ(book->sheetCount(), 2u);
    EXPECT_EQ(book->sheet(0).name(), "data");
    EXPECT_EQ(book->sheet(0).value(1, 0), CellValue(2.0));
    EXPECT_EQ(book->sheet(0).lastCell(), std::make_optional(std::make_pair(1, 0)));
    EXPECT_EQ(book->sheet(1).name(), "hidden");
    EXPECT_TRUE(book->sheet(0).visible);
    EXPECT_FALSE(book->sheet(1).visible);
}

TEST(ReaderContainer, StreamNameCaseBookAliasAndNoContainer) {
    Bytes stream = BuildStream(StandardFormats(), {{"S", NumberRec(0, 0, 7)}});
    for (const char* name : {"WORKBOOK", "workbook", "BOOK"}) {
        auto book = ReadStream(stream, name);
        EXPECT_EQ(book->sheet(0).value(0, 0), CellValue(7.0)) << name;
    }
    // Both streams (a dual-format file): Workbook wins.
    Bytes biff5 = Bof(0x0005, 0x0500);
    Append(biff5, Eof());
    auto dual = ReadBytes(WrapCfb({{"Book", biff5}, {"Workbook", stream}}));
    EXPECT_EQ(dual->sheet(0).value(0, 0), CellValue(7.0));
    // A bare BIFF8 stream without a compound file around it.
    auto bare = ReadBytes(stream);
    EXPECT_EQ(bare->sheet(0).value(0, 0), CellValue(7.0));
    // Zero padding after the last EOF (xlwt pads to 4,096 bytes).
    Bytes padded = stream;
    padded.resize(8192, 0);
    EXPECT_EQ(ReadStream(padded)->sheet(0).value(0, 0), CellValue(7.0));
}

}  // namespace
}  // namespace xls
