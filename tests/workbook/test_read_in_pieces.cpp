// The .ods and .xlsx reads in pieces: an .ods's content.xml cut at a table
// row into a first and a later part, or at many rows into pieces parsed on
// every core, an .xlsx's shared strings and sheets cut at their items and
// rows; whatever the pieces inflating hands over, the same workbook (or the
// same refusal) wherever the cuts fall as from one piece.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "EngineErrors.h"
#include "OdsContentSplit.h"
#include "OdsMarkup.h"
#include "OdsReader.h"
#include "PlatformError.h"
#include "TempFolder.h"
#include "XlsxReader.h"
#include "XmlPieces.h"
#include "XmlStream.h"
#include "ZipBookWriter.h"
#include "ZipPackage.h"

namespace {

using xls::CellValue;

// Under the thread checker, which makes every read tens of times slower,
// the cuts step over bytes.
#if defined(__SANITIZE_THREAD__)
constexpr std::size_t kStep = 11;
#else
constexpr std::size_t kStep = 1;
#endif

const std::string kRoot =
    "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\">";

// Hands `text` over at most `piece` bytes at a time.
xls::ods::Fill Pieces(const std::string& text, std::size_t piece, std::size_t& at) {
    return [&text, piece, &at](std::uint8_t* out, std::size_t size) {
        const std::size_t n = std::min({size, piece, text.size() - at});
        std::memcpy(out, text.data() + at, n);
        at += n;
        return n;
    };
}

template <typename Part>
std::string Drain(Part& part, std::size_t ask) {
    std::string out;
    std::uint8_t buffer[64];
    for (std::size_t n; (n = part.fill(buffer, std::min(ask, sizeof buffer))) > 0;)
        out.append(reinterpret_cast<const char*>(buffer), n);
    return out;
}

// Each part against the cut a plain search finds, for every byte the cut
// is looked for from and pieces of every small size: tags that a piece's
// end cuts, rows of a row group and a '>' inside a quoted table name.
TEST(OdsContentSplit, PartsForEveryCutAndPiece) {
    const std::string content =
        "<?xml version=\"1.0\"?>\n" + kRoot +
        "<office:body><office:spreadsheet>"
        "<table:table table:name=\"A>B\"><table:table-column/>"
        "<table:table-row><table:table-cell/></table:table-row>"
        "<table:table-row-group><table:table-row table:style-name=\"ro1\"/></table:table-row-group>"
        "<table:table-row\n><table:table-cell/></table:table-row>"
        "</table:table><table:table table:name=\"C\">"
        "<table:table-row/></table:table>"
        "</office:spreadsheet></office:body></office:document-content>";
    const std::string closing =
        "</table:table></office:spreadsheet></office:body></office:document-content>";
    for (std::size_t from = 0; from <= content.size() + 1; ++from) {
        // The reference: the first row start tag at or after `from`.
        std::size_t cut = std::string::npos;
        for (std::size_t at = from;
             (at = content.find("<table:table-row", at)) != std::string::npos; ++at) {
            const char next = content[at + 16];
            if (next == '>' || next == '/' || next == ' ' || next == '\n') {
                cut = at;
                break;
            }
        }
        std::string table;
        int tables = 0;
        for (std::size_t at = 0; (at = content.find("<table:table ", at)) < cut; ++at) {
            ++tables;
            table = content.substr(at, content.find("\">", at) + 2 - at);
        }
        for (const std::size_t piece : {1, 2, 3, 5, 16, 17, 4096}) {
            std::size_t read = 0;
            const auto fill = Pieces(content, piece, read);
            xls::ods::FirstPart first(fill, from, 16);
            const std::string firstPart = Drain(first, piece % 7 + 1);
            EXPECT_EQ(first.cut(), cut != std::string::npos) << from << " " << piece;
            EXPECT_EQ(firstPart, first.cut() ? content.substr(0, cut) + closing : content)
                << from << " " << piece;

            std::size_t readLater = 0;
            const auto fillLater = Pieces(content, piece, readLater);
            xls::ods::LaterPart later(fillLater, from, 16);
            ASSERT_EQ(later.findCut(), cut != std::string::npos) << from << " " << piece;
            if (cut == std::string::npos)
                continue;
            EXPECT_EQ(later.tablesBefore(), tables) << from;
            EXPECT_EQ(Drain(later, piece % 5 + 1),
                      kRoot + "<office:body><office:spreadsheet>" + table + content.substr(cut))
                << from << " " << piece;
        }
    }
}

// The pieces against the cuts a plain search finds, for every piece size
// and inflated pieces of small sizes: each cut the first row start tag at
// or after the wanted size, each later piece opened with the table its
// first row belongs to, and the table start tags counted in each.
TEST(XmlPieces, ContentPiecesForEverySizeAndFill) {
    const std::string content = "<?xml version=\"1.0\"?>\n" + kRoot +
                                "<office:body><office:spreadsheet>"
                                "<table:table table:name=\"A>B\"><table:table-column/>"
                                "<table:table-row><table:table-cell/></table:table-row>"
                                "<table:table-row table:style-name=\"ro1\"/>"
                                "<table:table-row\n><table:table-cell/></table:table-row>"
                                "</table:table><table:table table:name=\"C\">"
                                "<table:table-row/><table:table-rows/></table:table>"
                                "</office:spreadsheet></office:body></office:document-content>";
    const std::string opening = kRoot + "<office:body><office:spreadsheet>";
    const std::string closing =
        "</table:table></office:spreadsheet></office:body></office:document-content>";
    const std::size_t rootEnd = content.find(kRoot) + kRoot.size();
    const auto rowAt = [&](std::size_t from) {
        for (std::size_t at = from;
             (at = content.find("<table:table-row", at)) != std::string::npos; ++at) {
            const char next = content[at + 16];
            if (next == '>' || next == '/' || next == ' ' || next == '\n')
                return at;
        }
        return std::string::npos;
    };
    for (std::size_t size = 1; size <= content.size() + 1; size += kStep) {
        // The reference pieces.
        std::vector<std::string> expected;
        std::vector<int> tables;
        std::string table;
        for (std::size_t begin = 0, k = 0; begin != std::string::npos; ++k) {
            const std::size_t from = k == 0 ? std::max(size, rootEnd) : begin + size;
            const std::size_t cut = rowAt(from);
            int count = 0;
            const std::string before = table;
            for (std::size_t at = begin; (at = content.find("<table:table ", at)) < cut; ++at) {
                ++count;
                table = content.substr(at, content.find('>', content.find('"', at + 25)) + 1 - at);
            }
            const std::string own = content.substr(begin, cut - begin);
            expected.push_back((k == 0 ? "" : opening + before) + own +
                               (cut == std::string::npos ? "" : closing));
            tables.push_back(count);
            begin = cut;
        }
        for (const std::size_t piece : {1, 2, 3, 5, 16, 4096}) {
            std::size_t read = 0;
            const auto fill = Pieces(content, piece, read);
            xls::xml::XmlPieces chunks(fill, size, xls::ods::ContentMarkup);
            xls::xml::Piece chunk;
            std::size_t k = 0;
            for (; chunks.next(chunk); ++k) {
                ASSERT_LT(k, expected.size()) << size << " " << piece;
                EXPECT_EQ(chunk.index, k);
                EXPECT_EQ(std::string(chunk.bytes.data(), chunk.size), expected[k])
                    << size << " " << piece << " " << k;
                EXPECT_EQ(chunk.tablesBegun, tables[k]) << size << " " << piece << " " << k;
            }
            EXPECT_FALSE(chunks.failed()) << size << " " << piece;
            EXPECT_EQ(k, expected.size()) << size << " " << piece;
        }
    }
    // No row start within the longest a piece may grow: not cut.
    std::size_t read = 0;
    const auto fill = Pieces(content, 4096, read);
    xls::xml::XmlPieces chunks(fill, content.size() - 10, xls::ods::ContentMarkup, 20);
    xls::xml::Piece chunk;
    EXPECT_FALSE(chunks.next(chunk));
    EXPECT_TRUE(chunks.failed());
}

// Names the parser hands over are those its dictionary gives, however the
// inflated pieces cut the document: a handler compares them by address.
TEST(OdsContentSplit, NamesAreTheDictionarysWhateverThePieces) {
    class Names : public xls::xml::Handler {
      public:
        void prepare(const xls::xml::Dictionary& d) override {
            cell = d("table-cell");
            uri = d("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
            repeated = d("number-columns-repeated");
        }
        void start(std::string_view name, std::string_view u,
                   const xls::xml::Attributes& a) override {
            if (name == "table-cell") {
                EXPECT_EQ(name.data(), cell.data());
                EXPECT_EQ(u.data(), uri.data());
                ++cells;
            }
            for (int i = 0; i < a.size(); ++i) {
                if (a[i].name == "number-columns-repeated") {
                    EXPECT_EQ(a[i].name.data(), repeated.data());
                }
            }
        }
        void end(std::string_view, std::string_view) override {}
        std::string_view cell, uri, repeated;
        int cells = 0;
    };
    const std::string content =
        kRoot + "<table:table-cell table:number-columns-repeated=\"2\"/><table:table-cell/>" +
        "</office:document-content>";
    for (const std::size_t piece : {1, 7, 4096}) {
        std::size_t at = 0;
        const auto fill = Pieces(content, piece, at);
        xls::ods::FirstPart whole(fill, content.size(), piece);
        Names names;
        xls::xml::ParseFrom(
            [&](std::uint8_t* out, std::size_t size) { return whole.fill(out, size); },
            "content.xml", names);
        EXPECT_EQ(names.cells, 2) << piece;
    }
}

std::string Table(const std::string& name, const std::string& rows) {
    return "<table:table table:name=\"" + name + "\" table:style-name=\"ta1\">" +
           "<table:table-column table:number-columns-repeated=\"3\"/>" + rows + "</table:table>";
}

std::string Float(double v, const std::string& extra = "") {
    const std::string n = std::to_string(v);
    return "<table:table-cell " + extra + "office:value-type=\"float\" office:value=\"" + n +
           "\" calcext:value-type=\"float\"><text:p>" + n + "</text:p></table:table-cell>";
}

std::string Text(const std::string& inner) {
    return "<table:table-cell table:style-name=\"ce1\" office:value-type=\"string\" "
           "calcext:value-type=\"string\">" +
           inner + "</table:table-cell>";
}

// Every cell of every sheet, with its format's number format.
void ExpectSameBooks(const xls::Workbook& a, const xls::Workbook& b, const std::string& where) {
    ASSERT_EQ(a.sheetCount(), b.sheetCount()) << where;
    for (std::size_t s = 0; s < a.sheetCount(); ++s) {
        const xls::Sheet& x = a.sheet(s);
        const xls::Sheet& y = b.sheet(s);
        EXPECT_EQ(x.name(), y.name()) << where;
        ASSERT_EQ(x.rowCount(), y.rowCount()) << where << " " << x.name();
        for (std::int32_t r = 0; r < x.rowCount(); ++r) {
            for (std::int32_t c = 0; c < xls::kMaxCols; ++c) {
                ASSERT_EQ(x.value(r, c), y.value(r, c))
                    << where << " " << s << ":" << r << "," << c;
                if (x.cell(r, c) != nullptr) {
                    ASSERT_EQ(a.formats.get(x.cell(r, c)->format).numberFormat,
                              b.formats.get(y.cell(r, c)->format).numberFormat)
                        << where;
                }
            }
        }
    }
}

std::int32_t ErrorNumberOf(const xls::zip::ZipPackage& package,
                           std::optional<std::uint64_t> cutFrom) {
    try {
        xls::ReadOdsPackage(package, cutFrom);
    } catch (const PlatformError& e) {
        return ErrorNumber(e);
    }
    return 0;
}

// Three tables: repeats, covered cells, text:s, several paragraphs, dates,
// times, booleans, errors, a row group, a comment holding a row tag, a table
// inside a cell.
zipbook::Members AwkwardBook() {
    const std::string rows1 =
        "<table:table-row table:style-name=\"ro1\">" + Float(1) + Text("<text:p>一</text:p>") +
        Float(3, "table:number-columns-repeated=\"2\" ") + "</table:table-row>" +
        "<table:table-row table:number-rows-repeated=\"3\">" + Float(4) +
        "<table:covered-table-cell/>" +
        Text("<text:p> a<text:s text:c=\"2\"/>b</text:p><text:p>c</text:p>") +
        "</table:table-row>"
        "<table:table-row table:number-rows-repeated=\"5\"><table:table-cell "
        "table:number-columns-repeated=\"1024\"/></table:table-row>"
        "<table:table-row-group><table:table-row>" +
        Float(6) + "</table:table-row></table:table-row-group>" +
        "<!-- <table:table-row> --><table:table-row><table:table-cell "
        "office:value-type=\"date\" office:date-value=\"2024-04-01T12:00:00\"><text:p>x</text:p>"
        "</table:table-cell><table:table-cell office:value-type=\"boolean\" "
        "office:boolean-value=\"true\"/><table:table-cell office:value-type=\"time\" "
        "office:time-value=\"PT1H\"/></table:table-row>";
    const std::string rows2 = "<table:table-row>" +
                              Text("<table:table table:name=\"内\"><table:table-row>" + Float(9) +
                                   "</table:table-row></table:table><text:p>外</text:p>") +
                              Float(8) + "</table:table-row><table:table-row>" + Float(7) +
                              "</table:table-row>";
    const std::string rows3 = "<table:table-row>" + Text("<text:p>三</text:p>") +
                              "<table:table-cell table:formula=\"of:=1/0\" "
                              "office:value-type=\"float\" office:value=\"0\" "
                              "calcext:value-type=\"error\"><text:p>#DIV/0!</text:p>"
                              "</table:table-cell></table:table-row>";
    return zipbook::OdsMembers(Table("契約内訳情報", rows1) + Table("請求情報", rows2) +
                               Table("三", rows3));
}

std::int32_t ChunkErrorNumberOf(const xls::zip::ZipPackage& package, std::size_t piece) {
    try {
        xls::ReadOdsInChunks(package, piece);
    } catch (const PlatformError& e) {
        return ErrorNumber(e);
    }
    return 0;
}

// Wherever the cut falls (in the first table or the last, on its first row
// or after its last, before a repeated row or after one, in a row group or
// a comment, before a table inside a cell), the book is the one read in
// one piece.
TEST(OdsReader, ACutAtEveryByteReadsTheSameBook) {
    TempFolder dir;
    const std::string path = dir.file("cut.ods");
    const zipbook::Members members = AwkwardBook();
    zipbook::WriteZip(path, members);
    const std::size_t size = members.back().second.size();
    const xls::zip::ZipPackage package(path);
    const auto whole = xls::ReadOdsPackage(package, std::nullopt);
    ASSERT_EQ(whole->sheetCount(), 3u);
    EXPECT_EQ(whole->sheet(0).value(1, 2), CellValue(std::string("a  b\nc")));
    EXPECT_EQ(whole->sheet(0).value(9, 0), CellValue(6.0));
    EXPECT_EQ(whole->sheet(1).value(0, 0), CellValue(std::string("外")));
    EXPECT_EQ(whole->sheet(1).value(1, 0), CellValue(7.0));
    int joined = 0;
    for (std::size_t from = 0; from <= size; from += kStep) {
        bool twoParts = false;
        ExpectSameBooks(*whole, *xls::ReadOdsPackage(package, from, &twoParts),
                        std::to_string(from));
        joined += twoParts ? 1 : 0;
    }
    // Most cuts fall between two rows of a table and are joined, not read again.
    EXPECT_GT(joined, static_cast<int>(size / kStep) / 2);
}

// Pieces of every size read the same book as one piece: joined where every
// cut falls between two rows of a table, read the other way where one falls
// in a row group, a comment or a table inside a cell.
TEST(OdsReader, PiecesOfEverySizeReadTheSameBook) {
    TempFolder dir;
    const std::string plain =
        Table("A&amp;B",
              "<table:table-row>" + Float(1) + Text("<text:p>x &amp; y</text:p>") +
                  "</table:table-row><table:table-row table:number-rows-repeated=\"2\">" +
                  Float(2) + "</table:table-row>") +
        Table("請求情報",
              "<table:table-row><table:table-cell office:value-type=\"string\" "
              "office:string-value=\"&gt;1&amp;\"/></table:table-row><table:table-row>" +
                  Float(3, "table:number-columns-repeated=\"3\" ") + "</table:table-row>");
    for (const bool awkward : {false, true}) {
        const std::string path = dir.file(awkward ? "awkward.ods" : "plain.ods");
        const zipbook::Members members = awkward ? AwkwardBook() : zipbook::OdsMembers(plain);
        zipbook::WriteZip(path, members);
        const std::size_t size = members.back().second.size();
        const xls::zip::ZipPackage package(path);
        const auto whole = xls::ReadOdsPackage(package, std::nullopt);
        if (!awkward) {
            EXPECT_EQ(whole->sheet(0).name(), "A&B");
            EXPECT_EQ(whole->sheet(0).value(0, 1), CellValue(std::string("x & y")));
            EXPECT_EQ(whole->sheet(1).value(0, 0), CellValue(std::string(">1&")));
        }
        int joined = 0, sizes = 0;
        for (std::size_t piece = 1; piece <= size + 1; piece += kStep + piece / 64, ++sizes) {
            bool inChunks = false;
            ExpectSameBooks(*whole, *xls::ReadOdsInChunks(package, piece, &inChunks),
                            (awkward ? "awkward " : "plain ") + std::to_string(piece));
            joined += inChunks ? 1 : 0;
        }
        if (awkward)
            EXPECT_GT(joined, 0);
        else
            EXPECT_EQ(joined, sizes);
    }
}

// The rows after the cut count on from those before it: a value beyond the
// model's last row is refused and one on it is kept, wherever the cut; the
// sheets of both parts count together.
TEST(OdsReader, LimitsHoldAcrossTheCut) {
    TempFolder dir;
    const std::string value = Float(1);
    const std::string fill =
        "<table:table-row table:number-rows-repeated=\"65534\">" + value + "</table:table-row>";
    for (const int extra : {2, 3}) {
        std::string rows = fill;
        for (int i = 0; i < extra; ++i)
            rows += "<table:table-row>" + value + "</table:table-row>";
        const std::string path = dir.file("rows" + std::to_string(extra) + ".ods");
        const zipbook::Members members = zipbook::OdsMembers(Table("S", rows) + Table("T", ""));
        zipbook::WriteZip(path, members);
        const xls::zip::ZipPackage package(path);
        const std::int32_t expected = extra == 3 ? xls::kErrLimit : 0;
        for (std::size_t from = 0; from <= members.back().second.size(); from += 31 * kStep)
            EXPECT_EQ(ErrorNumberOf(package, from), expected) << extra << " " << from;
        for (const std::size_t piece : {1, 40, 200, 1 << 20})
            EXPECT_EQ(ChunkErrorNumberOf(package, piece), expected) << extra << " " << piece;
    }
    for (const std::size_t count : {xls::kMaxSheets, xls::kMaxSheets + 1}) {
        std::string tables;
        for (std::size_t i = 0; i < count; ++i)
            tables +=
                Table("S" + std::to_string(i), "<table:table-row>" + value + "</table:table-row>");
        const std::string path = dir.file("sheets" + std::to_string(count) + ".ods");
        zipbook::WriteZip(path, zipbook::OdsMembers(tables));
        const xls::zip::ZipPackage package(path);
        const std::int32_t expected = count > xls::kMaxSheets ? xls::kErrLimit : 0;
        for (const std::size_t from :
             {std::size_t{0}, tables.size() / 3, tables.size() / 2, tables.size() - 200})
            EXPECT_EQ(ErrorNumberOf(package, from), expected) << count << " " << from;
        for (const std::size_t piece : {1, 300, 1 << 20})
            EXPECT_EQ(ChunkErrorNumberOf(package, piece), expected) << count << " " << piece;
    }
}

// An .xlsx read in pieces of every size is the book its stream reads:
// shared strings with runs and phonetics, rows and cells without
// references (which count on from those before, across the cuts), inline
// texts, formulas and their results. A piece the tree parser refuses has the
// book read through the stream.
TEST(XlsxReader, PiecesOfEverySizeReadTheSameBook) {
    TempFolder dir;
    const std::string shared =
        "<si><t>得意先コード</t></si>"
        "<si><r><rPr><b/></rPr><t>改定後</t></r><r><t xml:space=\"preserve\">の金額 </t></r>"
        "<rPh sb=\"0\" eb=\"3\"><t>カイテイゴ</t></rPh></si><si><t>A &amp; B</t></si>";
    std::string rows;
    for (int r = 1; r <= 6; ++r) {
        const std::string n = std::to_string(r);
        rows += (r % 3 == 0 ? "<row>" : "<row r=\"" + n + "\">") + "<c r=\"A" + n + "\"><v>" + n +
                "</v></c><c t=\"s\"><v>" + std::to_string(r % 3) +
                "</v></c><c t=\"inlineStr\"><is><t>行" + n +
                "</t></is></c><c t=\"str\"><f>A1&amp;\"円\"</f><v>" + n +
                "円</v></c><c t=\"b\"><v>1</v></c></row>";
    }
    for (const bool refused : {false, true}) {
        const std::string sheet =
            "<sheetData>" + rows +
            (refused ? "<row r=\"9\"><c t=\"str\"><v><![CDATA[x&y]]></v></c></row>" : "") +
            "</sheetData>";
        const std::string path = dir.file(refused ? "refused.xlsx" : "pieces.xlsx");
        const zipbook::Members members = zipbook::XlsxMembers(
            {{"契約内訳情報", sheet}, {"請求情報", "<sheetData>" + rows + "</sheetData>"}}, shared);
        zipbook::WriteZip(path, members);
        const xls::zip::ZipPackage package(path);
        const auto stream = xls::ReadXlsxPackage(package, 0);
        ASSERT_EQ(stream->sheetCount(), 2u);
        EXPECT_EQ(stream->sheet(0).value(2, 0), CellValue(3.0));
        EXPECT_EQ(stream->sheet(0).value(0, 1), CellValue(std::string("改定後の金額 ")));
        EXPECT_EQ(stream->sheet(0).value(1, 1), CellValue(std::string("A & B")));
        std::size_t longest = 0;
        for (const auto& member : members)
            longest = std::max(longest, member.second.size());
        for (std::size_t piece = 1; piece <= longest + 1; piece += kStep + piece / 64) {
            bool inPieces = false;
            ExpectSameBooks(*stream, *xls::ReadXlsxPackage(package, piece, &inPieces),
                            (refused ? "refused " : "") + std::to_string(piece));
            EXPECT_EQ(inPieces, !refused) << piece;
        }
    }
}

}  // namespace
