// The .xlsx and .ods readers: every kind of cell value each format stores,
// as the model holds it and as pClExcel hands it back (dates as their text,
// as from an .xls), the placing of cells (gaps, cells without references,
// repeated runs), sheet order, and files that are no readable workbook.

#include <gtest/gtest.h>

#include <fstream>

#include "BookFileReader.h"
#include "EngineErrors.h"
#include "PlatformError.h"
#include "RecordingMessages.h"
#include "TempFolder.h"
#include "ZipBookWriter.h"
#include "pClExcel.h"

namespace {

using xls::CellValue;
using xls::ErrorValue;
using zipbook::Members;

struct Expected {
    const char* cell;  // A1 style
    CellValue value;
    const char* shown;  // pClExcel::GetCellValue ("" for none expected)
};

void Locate(const char* ref, std::int32_t& row, std::int16_t& col) {
    col = 0;
    const char* p = ref;
    for (; *p >= 'A' && *p <= 'Z'; ++p)
        col = static_cast<std::int16_t>(col * 26 + (*p - 'A' + 1));
    row = std::atoi(p);
}

// Every expected cell of sheet 1, through the model and through pClExcel.
void ExpectCells(const std::string& path, const std::vector<Expected>& table) {
    const xls::BookFile file = xls::ReadBookFile(path);
    RecordingMessages messages;
    pClExcel xl(messages);
    ASSERT_TRUE(xl.OpenBook(path));
    for (const Expected& e : table) {
        std::int32_t row = 0;
        std::int16_t col = 0;
        Locate(e.cell, row, col);
        EXPECT_EQ(file.book->sheet(0).value(row - 1, col - 1), e.value) << e.cell;
        if (!std::holds_alternative<ErrorValue>(e.value)) {
            EXPECT_EQ(xl.GetCellValue(row, col), e.shown) << e.cell;
        }
    }
    EXPECT_TRUE(messages.shown.empty());
}

std::int32_t ErrorNumberOf(const std::string& path) {
    try {
        xls::ReadBookFile(path);
    } catch (const PlatformError& e) {
        EXPECT_FALSE(e.description().empty());
        return ErrorNumber(e);
    }
    return 0;
}

const char* const kStyles =
    "<numFmts count=\"1\"><numFmt numFmtId=\"176\" formatCode=\"#,##0&quot;円&quot;\"/></numFmts>"
    "<cellXfs count=\"4\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\" applyNumberFormat=\"1\"/>"
    "<xf numFmtId=\"176\"/><xf numFmtId=\"21\"/></cellXfs>";

TEST(XlsxReader, EveryKindOfCell) {
    TempFolder dir;
    const std::string shared =
        "<si><t>得意先コード</t></si>"
        "<si><r><rPr><b/></rPr><t>改定後</t></r><r><t xml:space=\"preserve\">の金額 </t></r>"
        "<rPh sb=\"0\" eb=\"3\"><t>カイテイゴ</t></rPh></si>"
        "<si><t/></si>";
    const std::string sheet =
        "<sheetData><row r=\"1\">"
        "<c r=\"A1\"><v>13200</v></c>"
        "<c r=\"B1\" t=\"n\"><v>-0.5</v></c>"
        "<c r=\"C1\" t=\"s\"><v>0</v></c>"
        "<c r=\"D1\" t=\"s\"><v>1</v></c>"
        "<c r=\"E1\" t=\"inlineStr\"><is><r><t>イン</t></r><r><t>ライン</t></r></is></c>"
        "<c r=\"F1\" t=\"str\"><f>A1&amp;\"円\"</f><v>13200円</v></c>"
        "<c r=\"G1\" t=\"str\"><f>IF(A1=0,1,\"\")</f><v></v></c>"
        "<c r=\"H1\" t=\"b\"><v>1</v></c>"
        "<c r=\"I1\" t=\"b\"><f>A1=0</f><v>0</v></c>"
        "<c r=\"J1\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>"
        "<c r=\"K1\" t=\"e\"><v>#N/A</v></c>"
        "<c r=\"L1\"><f>A1*1.1</f><v>14520.000000000002</v></c>"
        "<c r=\"M1\" s=\"1\"><v>45383</v></c>"
        "<c r=\"N1\" t=\"d\"><v>2024-04-01T00:00:00</v></c>"
        "<c r=\"O1\"><f>A1</f></c>"
        "<c r=\"P1\" s=\"2\"/>"
        "<c r=\"Q1\" s=\"2\"><v>1100</v></c>"
        "<c r=\"R1\" s=\"3\"><v>0.5208333333333334</v></c>"
        "<c r=\"S1\" t=\"s\"><v>2</v></c>"
        "<c r=\"T1\" t=\"e\"><v>#GETTING_DATA</v></c>"
        "</row>"
        // Rows and cells without references follow the one before them.
        "<row><c><v>1</v></c><c t=\"s\"><v>0</v></c></row>"
        "<row r=\"5\"><c r=\"C5\"><v>3</v></c><c><v>4</v></c><c r=\"IV5\"><v>5</v></c>"
        "<c r=\"IW5\"><v>6</v></c></row>"
        "</sheetData>";
    const std::string path = dir.file("kinds.xlsx");
    zipbook::WriteZip(path, zipbook::XlsxMembers({{"契約内訳情報", sheet}}, shared, kStyles));
    ExpectCells(path, {
                          {"A1", 13200.0, "13200"},
                          {"B1", -0.5, "-0.5"},
                          {"C1", std::string("得意先コード"), "得意先コード"},
                          {"D1", std::string("改定後の金額 "), "改定後の金額 "},
                          {"E1", std::string("インライン"), "インライン"},
                          {"F1", std::string("13200円"), "13200円"},
                          {"G1", std::string(), ""},
                          {"H1", true, "True"},
                          {"I1", false, "False"},
                          {"J1", ErrorValue{0x07}, ""},
                          {"K1", ErrorValue{0x2A}, ""},
                          {"L1", 14520.000000000002, "14520"},
                          {"M1", 45383.0, "2024/04/01"},
                          {"N1", 45383.0, "2024/04/01"},
                          {"O1", std::string(), ""},
                          {"P1", std::monostate{}, ""},
                          {"Q1", 1100.0, "1100"},
                          {"R1", 0.5208333333333334, "12:30:00"},
                          {"S1", std::string(), ""},
                          {"T1", ErrorValue{0x0F}, ""},
                          {"A2", 1.0, "1"},
                          {"B2", std::string("得意先コード"), "得意先コード"},
                          {"C5", 3.0, "3"},
                          {"D5", 4.0, "4"},
                          {"IV5", 5.0, "5"},
                      });
    // Beyond the model's last column: not read.
    const xls::BookFile file = xls::ReadBookFile(path);
    EXPECT_EQ(file.format, xls::BookFormat::Xlsx);
    EXPECT_EQ(file.book->sheet(0).lastCell(), (std::pair<std::int32_t, std::int32_t>{4, 255}));
}

TEST(XlsxReader, SheetsInTheWorkbooksOrderAndDates1904) {
    TempFolder dir;
    const std::string path = dir.file("order.xlsx");
    Members members = zipbook::XlsxMembers(
        {{"契約内訳情報",
          "<sheetData><row r=\"1\"><c r=\"A1\" s=\"1\"><v>0</v></c></row></sheetData>"},
         {"請求情報", "<sheetData/>"},
         {"Sheet3", "<sheetData><row r=\"2\"><c r=\"B2\"><v>7</v></c></row></sheetData>"}},
        {}, kStyles);
    for (auto& [name, content] : members) {
        if (name == "xl/workbook.xml")
            content.replace(content.find("<sheets>"), 0, "<workbookPr date1904=\"1\"/>");
    }
    zipbook::WriteZip(path, members);
    const xls::BookFile file = xls::ReadBookFile(path);
    ASSERT_EQ(file.book->sheetCount(), 3u);
    EXPECT_EQ(file.book->sheet(0).name(), "契約内訳情報");
    EXPECT_EQ(file.book->sheet(1).name(), "請求情報");
    EXPECT_EQ(file.book->sheet(2).name(), "Sheet3");
    EXPECT_EQ(file.book->sheet(2).value(1, 1), CellValue(7.0));
    RecordingMessages messages;
    pClExcel xl(messages);
    ASSERT_TRUE(xl.OpenBook(path));
    EXPECT_EQ(xl.GetCellValue(1, 1), "1904/01/01");
}

std::string OdsTable(const std::string& name, const std::string& rows) {
    return "<table:table table:name=\"" + name + "\"><table:table-column/>" + rows +
           "</table:table>";
}

TEST(OdsReader, EveryKindOfCell) {
    TempFolder dir;
    const std::string rows =
        "<table:table-row>"
        "<table:table-cell office:value-type=\"float\" "
        "office:value=\"13200\"><text:p>13,200</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"percentage\" "
        "office:value=\"0.1\"><text:p>10%</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"currency\" office:currency=\"JPY\" "
        "office:value=\"1100\"><text:p>￥1,100</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"string\"><text:p>改定後の<text:span "
        "text:style-name=\"T1\">金額</text:span>(記載欄)</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"string\"><text:p><text:s/>A<text:s text:c=\"2\"/>B  "
        "C<text:tab/>D</text:p></table:table-cell>"
        "<table:table-cell "
        "office:value-type=\"string\"><text:p>一行目</text:p><text:p>二行目</text:p></"
        "table:table-cell>"
        "<table:table-cell table:formula=\"of:=IF([.A1]=0;1;&quot;&quot;)\" "
        "office:value-type=\"string\" office:string-value=\"\"><text:p/></table:table-cell>"
        "<table:table-cell table:formula=\"of:=[.A1]&amp;&quot;円&quot;\" "
        "office:value-type=\"string\" "
        "office:string-value=\"13200円\"><text:p>13200円</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"boolean\" "
        "office:boolean-value=\"true\"><text:p>TRUE</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"date\" "
        "office:date-value=\"2024-04-01\"><text:p>2024/4/1</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"date\" "
        "office:date-value=\"1900-01-01T06:00:00\"><text:p>x</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"time\" "
        "office:time-value=\"PT12H30M00S\"><text:p>12:30</text:p></table:table-cell>"
        "<table:table-cell table:formula=\"of:=1/0\" office:value-type=\"float\" "
        "office:value=\"0\" "
        "calcext:value-type=\"error\"><text:p>#DIV/0!</text:p></table:table-cell>"
        "<table:table-cell table:formula=\"of:=X()\" office:value-type=\"float\" "
        "office:value=\"0\" "
        "calcext:value-type=\"error\"><text:p>Err:502</text:p></table:table-cell>"
        "<table:table-cell table:formula=\"of:=[.Z1]\"/>"
        "<table:table-cell table:number-columns-spanned=\"2\" office:value-type=\"float\" "
        "office:value=\"5\"><text:p>5</text:p></table:table-cell>"
        "<table:covered-table-cell office:value-type=\"float\" "
        "office:value=\"6\"><text:p>6</text:p></table:covered-table-cell>"
        "<table:table-cell office:value-type=\"float\" "
        "office:value=\"8\"><office:annotation><text:p>メモ</text:p></office:annotation><text:p>8</"
        "text:p></table:table-cell>"
        "<table:table-cell "
        "office:value-type=\"string\"><office:annotation><text:p>メモ</text:p></"
        "office:annotation><text:p>本文</text:p></table:table-cell>"
        "<table:table-cell "
        "office:value-type=\"string\"><draw:frame><draw:text-box><text:p>図</text:p></"
        "draw:text-box></draw:frame><text:p>本文2</text:p></table:table-cell>"
        "<table:table-cell table:number-columns-repeated=\"16364\"/>"
        "</table:table-row>"
        // Repeated runs: values expanded, empty runs only counted.
        "<table:table-row table:number-rows-repeated=\"2\">"
        "<table:table-cell table:number-columns-repeated=\"3\" office:value-type=\"float\" "
        "office:value=\"7\"><text:p>7</text:p></table:table-cell>"
        "<table:table-cell table:number-columns-repeated=\"300\" "
        "office:value-type=\"string\"><text:p>右</text:p></table:table-cell>"
        "</table:table-row>"
        "<table:table-row table:number-rows-repeated=\"1048000\"><table:table-cell "
        "table:number-columns-repeated=\"16384\"/></table:table-row>"
        "<table:table-row><table:table-cell/></table:table-row>";
    const std::string path = dir.file("kinds.ods");
    zipbook::WriteZip(
        path, zipbook::OdsMembers(OdsTable("契約内訳情報", rows) + OdsTable("請求情報", "")));
    ExpectCells(path, {
                          {"A1", 13200.0, "13200"},
                          {"B1", 0.1, "0.1"},
                          {"C1", 1100.0, "1100"},
                          {"D1", std::string("改定後の金額(記載欄)"), "改定後の金額(記載欄)"},
                          {"E1", std::string(" A  B C\tD"), " A  B C\tD"},
                          {"F1", std::string("一行目\n二行目"), "一行目\n二行目"},
                          {"G1", std::string(), ""},
                          {"H1", std::string("13200円"), "13200円"},
                          {"I1", true, "True"},
                          {"J1", 45383.0, "2024/04/01"},
                          {"K1", 1.25, "1900/01/01 06:00:00"},
                          {"L1", 0.5208333333333334, "12:30:00"},
                          {"M1", ErrorValue{0x07}, ""},
                          {"N1", ErrorValue{0x0F}, ""},
                          {"O1", std::string(), ""},
                          {"P1", 5.0, "5"},
                          {"Q1", 6.0, "6"},
                          {"R1", 8.0, "8"},
                          {"S1", std::string("本文"), "本文"},
                          {"T1", std::string("本文2"), "本文2"},
                          {"U1", std::monostate{}, ""},
                          {"A2", 7.0, "7"},
                          {"C3", 7.0, "7"},
                          {"D3", std::string("右"), "右"},
                          {"IV3", std::string("右"), "右"},
                          {"A4", std::monostate{}, ""},
                      });
    const xls::BookFile file = xls::ReadBookFile(path);
    EXPECT_EQ(file.format, xls::BookFormat::Ods);
    ASSERT_EQ(file.book->sheetCount(), 2u);
    EXPECT_EQ(file.book->sheet(1).name(), "請求情報");
    // The empty runs to the sheet's last row and column allocate nothing.
    EXPECT_EQ(file.book->sheet(0).rowCount(), 3);
    EXPECT_EQ(file.book->sheet(0).lastCell(), (std::pair<std::int32_t, std::int32_t>{2, 255}));
}

TEST(PackageReaders, ValuesBeyondTheLastRowAreRefusedNotDropped) {
    TempFolder dir;
    const std::string ods = dir.file("rows.ods");
    zipbook::WriteZip(
        ods, zipbook::OdsMembers(OdsTable(
                 "S",
                 "<table:table-row table:number-rows-repeated=\"1048576\"><table:table-cell "
                 "office:value-type=\"float\" office:value=\"1\"/></table:table-row>")));
    EXPECT_EQ(ErrorNumberOf(ods), xls::kErrLimit);
    const std::string xlsx = dir.file("rows.xlsx");
    zipbook::WriteZip(
        xlsx, zipbook::XlsxMembers({{"S",
                                     "<sheetData><row r=\"70000\"><c r=\"A70000\"><v>1</v></c>"
                                     "</row></sheetData>"}}));
    EXPECT_EQ(ErrorNumberOf(xlsx), xls::kErrLimit);
}

// A few bytes a sheet must not add up to hundreds of sheets' rows: the .xls
// reader's limit holds for the packages too, one sheet more refused.
TEST(PackageReaders, SheetsBeyondTheLimitAreRefused) {
    TempFolder dir;
    for (const std::size_t count : {xls::kMaxSheets, xls::kMaxSheets + 1}) {
        std::vector<std::pair<std::string, std::string>> sheets;
        std::string tables;
        for (std::size_t i = 0; i < count; ++i) {
            sheets.emplace_back("S" + std::to_string(i), "<sheetData/>");
            tables += OdsTable("S" + std::to_string(i), "");
        }
        const std::string xlsx = dir.file("many" + std::to_string(count) + ".xlsx");
        zipbook::WriteZip(xlsx, zipbook::XlsxMembers(sheets));
        const std::string ods = dir.file("many" + std::to_string(count) + ".ods");
        zipbook::WriteZip(ods, zipbook::OdsMembers(tables));
        const std::int32_t expected = count > xls::kMaxSheets ? xls::kErrLimit : 0;
        EXPECT_EQ(ErrorNumberOf(xlsx), expected) << count;
        EXPECT_EQ(ErrorNumberOf(ods), expected) << count;
    }
}

TEST(PackageReaders, FilesThatAreNoReadableWorkbook) {
    TempFolder dir;
    const auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(dir.file(name), std::ios::binary) << bytes;
        return dir.file(name);
    };
    const std::string good = dir.file("good.xlsx");
    zipbook::WriteZip(good, zipbook::XlsxMembers({{"S", "<sheetData/>"}}));
    std::string goodBytes;
    {
        std::ifstream in(good, std::ios::binary);
        goodBytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string otherZip = dir.file("other.xlsx");
    zipbook::WriteZip(otherZip, {{"readme.txt", "hello"}});
    const std::string badXml = dir.file("badxml.xlsx");
    zipbook::WriteZip(badXml, zipbook::XlsxMembers({{"S", "<sheetData><row>"}}));
    // Sheets are read two at a time: a damaged later sheet fails the book too.
    const std::string badSecond = dir.file("badsecond.xlsx");
    zipbook::WriteZip(badSecond, zipbook::XlsxMembers({{"A", "<sheetData/>"},
                                                       {"B", "<sheetData><row><c><v>1</v></c>"},
                                                       {"C", "<sheetData/>"}}));
    const std::string noSheet = dir.file("nosheet.xlsx");
    Members members = zipbook::XlsxMembers({{"S", "<sheetData/>"}});
    members.pop_back();
    zipbook::WriteZip(noSheet, members);
    const std::string badNumber = dir.file("badnumber.xlsx");
    zipbook::WriteZip(
        badNumber,
        zipbook::XlsxMembers({{"S", "<sheetData><row><c><v>12x</v></c></row></sheetData>"}}));
    const std::string badShared = dir.file("badshared.xlsx");
    zipbook::WriteZip(
        badShared,
        zipbook::XlsxMembers({{"S", "<sheetData><row><c t=\"s\"><v>9</v></c></row></sheetData>"}}));
    // An entity of the document's own is not expanded (nor fetched).
    const std::string entity = dir.file("entity.xlsx");
    Members withEntity = zipbook::XlsxMembers(
        {{"S", "<sheetData><row><c t=\"str\"><v>&big;</v></c></row></sheetData>"}});
    withEntity.back().second.replace(
        withEntity.back().second.find("?>") + 2, 0,
        "<!DOCTYPE worksheet [<!ENTITY big SYSTEM \"file:///etc/passwd\">]>");
    zipbook::WriteZip(entity, withEntity);
    const std::string encrypted = dir.file("secret.ods");
    Members ods = zipbook::OdsMembers(OdsTable("S", ""));
    ods[1].second.replace(
        ods[1].second.find("</manifest:manifest>"), 0,
        "<manifest:file-entry "
        "manifest:full-path=\"content.xml\"><manifest:encryption-data/></manifest:file-entry>");
    zipbook::WriteZip(encrypted, ods);
    const std::string badOds = dir.file("bad.ods");
    Members brokenOds = zipbook::OdsMembers("<table:table table:name=\"S\"><table:table-row>");
    zipbook::WriteZip(badOds, brokenOds);
    const std::string badValue = dir.file("badvalue.ods");
    zipbook::WriteZip(badValue, zipbook::OdsMembers(OdsTable(
                                    "S",
                                    "<table:table-row><table:table-cell office:value-type=\"date\" "
                                    "office:date-value=\"someday\"/></table:table-row>")));

    const struct {
        std::string path;
        std::int32_t error;
    } cases[] = {
        {write("page.xlsx", "<html><body>not a book</body></html>"), xls::kErrNotXls},
        {write("list.ods", "得意先コード,金額\r\n12345,13200\r\n"), xls::kErrNotXls},
        {write("empty.xlsx", ""), xls::kErrNotXls},
        {write("cut.xlsx", goodBytes.substr(0, goodBytes.size() / 2)), xls::kErrDamaged},
        {write("header.ods", goodBytes.substr(0, 30)), xls::kErrDamaged},
        {otherZip, xls::kErrNotXls},
        {badXml, xls::kErrDamaged},
        {badSecond, xls::kErrDamaged},
        {noSheet, xls::kErrDamaged},
        {badNumber, xls::kErrDamaged},
        {badShared, xls::kErrDamaged},
        {entity, xls::kErrDamaged},
        {encrypted, xls::kErrEncrypted},
        {badOds, xls::kErrDamaged},
        {badValue, xls::kErrDamaged},
        {dir.file("missing.xlsx"), xls::kErrFileNotFound},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorNumberOf(c.path), c.error) << c.path;
    // OpenBook reports the reason and keeps nothing open.
    RecordingMessages messages;
    pClExcel xl(messages);
    EXPECT_FALSE(xl.OpenBook(badXml));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find("sheet1.xml"), std::string::npos)
        << messages.shown[0].text;
}

TEST(PackageReaders, AWorkbookReadFromAPackageIsNeverSavedOverIt) {
    TempFolder dir;
    const std::string path = dir.file("book.xlsx");
    zipbook::WriteZip(path, zipbook::XlsxMembers({{"S", "<sheetData/>"}}));
    RecordingMessages messages;
    pClExcel xl(messages);
    ASSERT_TRUE(xl.OpenBook(path));
    EXPECT_FALSE(xl.BookSave(""));
    EXPECT_EQ(xls::ReadBookFile(path).format, xls::BookFormat::Xlsx);
    // Saved under a name of its own it is an .xls.
    EXPECT_TRUE(xl.BookSave(dir.file("copy.xls")));
    EXPECT_EQ(xls::ReadBookFile(dir.file("copy.xls")).format, xls::BookFormat::Xls);
}

// The writers of the benchmark and the import tests against the readers: a
// workbook written as .xlsx and .ods reads back with the same values.
TEST(PackageReaders, WrittenBooksReadBackTheSame) {
    TempFolder dir;
    xls::Workbook book;
    xls::Sheet& s = book.addSheet("契約内訳情報");
    s.setText(0, 0, "得意先コード");
    s.setNumber(2, 0, 12345);
    s.setText(2, 1, "A & <B>");
    s.setValue(2, 3, true);
    s.setValue(2, 4, ErrorValue{0x1D});
    s.setNumber(4, 36, 1100.5);
    book.addSheet("請求情報").setText(1, 1, "1月");
    for (const bool ods : {false, true}) {
        const std::string path = dir.file(ods ? "w.ods" : "w.xlsx");
        ods ? zipbook::WriteOdsBook(path, book) : zipbook::WriteXlsxBook(path, book);
        const xls::BookFile file = xls::ReadBookFile(path);
        ASSERT_EQ(file.book->sheetCount(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            const xls::Sheet& a = book.sheet(i);
            const xls::Sheet& b = file.book->sheet(i);
            EXPECT_EQ(a.name(), b.name());
            EXPECT_EQ(a.lastCell(), b.lastCell()) << path;
            for (std::int32_t r = 0; r < 6; ++r) {
                for (std::int32_t c = 0; c < 40; ++c)
                    EXPECT_EQ(a.value(r, c), b.value(r, c)) << path << " " << r << "," << c;
            }
        }
    }
}

}  // namespace

namespace {

// A sheet of `rows` rows of numbers and texts: several megabytes of XML, so
// that its member is inflated ahead of the parser.
std::string LargeSheet(int rows) {
    std::string xml = "<sheetData>";
    for (int r = 1; r <= rows; ++r) {
        xml += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
               std::to_string(r * 7) + "</v></c><c r=\"B" + std::to_string(r) +
               "\" t=\"inlineStr\"><is><t>行" + std::to_string(r) + "</t></is></c><c r=\"C" +
               std::to_string(r) + "\" t=\"inlineStr\"><is><t>設置場所住所の長い文字列" +
               std::to_string(r % 977) + "</t></is></c></row>";
    }
    return xml + "</sheetData>";
}

}  // namespace

TEST(PackageReaders, LargeMembersReadAheadAndTheirDamage) {
    TempFolder dir;
    const std::string path = dir.file("large.xlsx");
    zipbook::WriteZip(path, zipbook::XlsxMembers({{"契約内訳情報", LargeSheet(xls::kMaxRows)}}));
    {
        const xls::BookFile file = xls::ReadBookFile(path);
        const xls::Sheet& sheet = file.book->sheet(0);
        EXPECT_EQ(sheet.lastCell(), (std::pair<std::int32_t, std::int32_t>{xls::kMaxRows - 1, 2}));
        EXPECT_EQ(sheet.value(65535, 0), CellValue(65536.0 * 7));
        EXPECT_EQ(sheet.value(999, 1), CellValue(std::string("行1000")));
    }
    // Bytes of the compressed sheet overwritten: inflating fails or the XML
    // breaks, and either is a damaged file, never a crash or a hang.
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    for (const double where : {0.3, 0.6}) {
        std::string damaged = bytes;
        const auto at = static_cast<std::size_t>(static_cast<double>(damaged.size()) * where);
        for (std::size_t i = at; i < at + 64; ++i)
            damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
        const std::string broken = dir.file("broken.xlsx");
        std::ofstream(broken, std::ios::binary | std::ios::trunc) << damaged;
        EXPECT_EQ(ErrorNumberOf(broken), xls::kErrDamaged) << where;
    }
}

// content.xml is read on two cores, cut at a row near its middle: a first
// table of megabytes, three tables, and a comment that shows a table's start
// tag where there is none.
TEST(OdsReader, LaterTablesReadBesideTheFirst) {
    TempFolder dir;
    std::string big;
    for (int r = 1; r <= 20000; ++r) {
        big += "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"" +
               std::to_string(r) + "\"><text:p>" + std::to_string(r) +
               "</text:p></table:table-cell><table:table-cell office:value-type=\"string\">"
               "<text:p>設置場所の名前</text:p></table:table-cell></table:table-row>";
    }
    const std::string second =
        "<table:table-row><table:table-cell office:value-type=\"float\" "
        "office:value=\"2\"/></table:table-row>";
    const std::string third =
        "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>三</text:p>"
        "</table:table-cell></table:table-row>";
    for (const bool comment : {false, true}) {
        const std::string path = dir.file(comment ? "comment.ods" : "tables.ods");
        std::string first = big;
        if (comment)
            first.insert(first.find("<table:table-row>", first.size() / 2),
                         "<!-- <table:table table:name=\"偽\"> -->");
        zipbook::WriteZip(
            path, zipbook::OdsMembers(OdsTable("契約内訳情報", first) +
                                      OdsTable("請求情報", second) + OdsTable("三枚目", third)));
        const xls::BookFile file = xls::ReadBookFile(path);
        ASSERT_EQ(file.book->sheetCount(), 3u) << path;
        EXPECT_EQ(file.book->sheet(0).name(), "契約内訳情報");
        EXPECT_EQ(file.book->sheet(1).name(), "請求情報");
        EXPECT_EQ(file.book->sheet(2).name(), "三枚目");
        EXPECT_EQ(file.book->sheet(0).value(19999, 0), CellValue(20000.0));
        EXPECT_EQ(file.book->sheet(0).value(19999, 1), CellValue(std::string("設置場所の名前")));
        EXPECT_EQ(file.book->sheet(1).value(0, 0), CellValue(2.0));
        EXPECT_EQ(file.book->sheet(2).value(0, 0), CellValue(std::string("三")));
    }
}
