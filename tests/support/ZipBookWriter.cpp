#include "ZipBookWriter.h"

#include <gsf/gsf-outfile-zip.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <unordered_map>

namespace zipbook {
namespace {

template <typename T>
struct Unref {
    void operator()(T* object) const { g_object_unref(object); }
};

const char* const kErrorNames[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                   "#NAME?", "#NUM!",   "#N/A"};
const std::uint8_t kErrorCodes[] = {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};

std::string ErrorName(std::uint8_t code) {
    for (std::size_t i = 0; i < sizeof kErrorCodes; ++i) {
        if (kErrorCodes[i] == code)
            return kErrorNames[i];
    }
    return "#VALUE!";
}

std::string NumberText(double number) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", number);
    return text;
}

// As the spreadsheet application writes a value: the fewest digits that read back the same.
std::string ShortestNumberText(double number) {
    char text[40];
    const auto end = std::to_chars(text, text + sizeof text, number).ptr;
    return std::string(text, end);
}

bool SameValue(const xls::Cell& a, const xls::Cell& b) {
    if (a.kind != b.kind || a.format != b.format || a.small != b.small)
        return false;
    switch (a.kind) {
        case xls::CellKind::Number:
            return a.number == b.number;
        case xls::CellKind::Text:
            return a.text == b.text;
        case xls::CellKind::Boolean:
            return true;
        default:
            return false;
    }
}

// The namespaces the spreadsheet application declares on the root, in its
// order: the parser looks a prefix up from the last declared one on.
const char* const kApplicationRoot =
    "<office:document-content "
    "xmlns:presentation=\"urn:oasis:names:tc:opendocument:xmlns:presentation:1.0\" "
    "xmlns:css3t=\"http://www.w3.org/TR/css3-text/\" "
    "xmlns:grddl=\"http://www.w3.org/2003/g/data-view#\" "
    "xmlns:xhtml=\"http://www.w3.org/1999/xhtml\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xforms=\"http://www.w3.org/2002/xforms\" "
    "xmlns:dom=\"http://www.w3.org/2001/xml-events\" "
    "xmlns:script=\"urn:oasis:names:tc:opendocument:xmlns:script:1.0\" "
    "xmlns:form=\"urn:oasis:names:tc:opendocument:xmlns:form:1.0\" "
    "xmlns:math=\"http://www.w3.org/1998/Math/MathML\" "
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:ooo=\"http://openoffice.org/2004/office\" "
    "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
    "xmlns:ooow=\"http://openoffice.org/2004/writer\" "
    "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
    "xmlns:drawooo=\"http://openoffice.org/2010/draw\" "
    "xmlns:oooc=\"http://openoffice.org/2004/calc\" "
    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" "
    "xmlns:tableooo=\"http://openoffice.org/2009/table\" "
    "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
    "xmlns:dr3d=\"urn:oasis:names:tc:opendocument:xmlns:dr3d:1.0\" "
    "xmlns:rpt=\"http://openoffice.org/2005/report\" "
    "xmlns:formx=\"urn:openoffice:names:experimental:ooxml-odf-interop:xmlns:form:1.0\" "
    "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
    "xmlns:chart=\"urn:oasis:names:tc:opendocument:xmlns:chart:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\" "
    "xmlns:loext=\"urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0\" "
    "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" "
    "xmlns:field=\"urn:openoffice:names:experimental:ooo-ms-interop:xmlns:field:1.0\" "
    "office:version=\"1.3\">";

std::string ColumnName(std::int32_t col) {
    std::string name;
    for (std::int32_t n = col + 1; n > 0; n = (n - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    return name;
}

}  // namespace

std::string XmlEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

void WriteZip(const std::string& path, const Members& members) {
    gsf_init();
    GError* error = nullptr;
    std::unique_ptr<GsfOutput, Unref<GsfOutput>> file(gsf_output_stdio_new(path.c_str(), &error));
    if (!file) {
        if (error != nullptr)
            g_error_free(error);
        throw std::runtime_error("cannot create " + path);
    }
    std::unique_ptr<GsfOutfile, Unref<GsfOutfile>> zip(gsf_outfile_zip_new(file.get(), &error));
    if (!zip)
        throw std::runtime_error("cannot start a zip in " + path);
    for (const auto& [name, content] : members) {
        // Folders are children of their own in libgsf's zip writer.
        GsfOutfile* parent = zip.get();
        std::vector<std::unique_ptr<GsfOutput, Unref<GsfOutput>>> folders;
        std::size_t start = 0;
        for (std::size_t slash; (slash = name.find('/', start)) != std::string::npos;
             start = slash + 1) {
            GsfOutput* folder =
                gsf_outfile_new_child(parent, name.substr(start, slash - start).c_str(), TRUE);
            folders.emplace_back(folder);
            parent = GSF_OUTFILE(folder);
        }
        const std::string leaf = name.substr(start);
        GsfOutput* member = leaf == "mimetype" ? gsf_outfile_new_child_full(
                                                     parent, leaf.c_str(), FALSE,
                                                     "compression-level", GSF_ZIP_STORED, nullptr)
                                               : gsf_outfile_new_child(parent, leaf.c_str(), FALSE);
        gsf_output_write(member, content.size(), reinterpret_cast<const guint8*>(content.data()));
        gsf_output_close(member);
        g_object_unref(member);
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            gsf_output_close(it->get());
    }
    gsf_output_close(GSF_OUTPUT(zip.get()));
    gsf_output_close(file.get());
}

Members XlsxMembers(const std::vector<std::pair<std::string, std::string>>& sheets,
                    const std::string& sharedStrings, const std::string& styles) {
    const std::string ns =
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    std::string types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/xl/workbook.xml\" "
        "ContentType=\"application/"
        "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
        "</Types>";
    std::string workbook =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook " + ns + "><sheets>";
    std::string rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    Members members;
    // Relationship ids in another order than the sheets: the order is the workbook's.
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const std::string id = "rId" + std::to_string(sheets.size() - i + 10);
        workbook += "<sheet name=\"" + XmlEscaped(sheets[i].first) + "\" sheetId=\"" +
                    std::to_string(i + 1) + "\" r:id=\"" + id + "\"/>";
        rels += "<Relationship Id=\"" + id + "\" Type=\"" + rel +
                "worksheet\" Target=\"worksheets/sheet" + std::to_string(i + 1) + ".xml\"/>";
        members.emplace_back("xl/worksheets/sheet" + std::to_string(i + 1) + ".xml",
                             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet " + ns + ">" +
                                 sheets[i].second + "</worksheet>");
    }
    workbook += "</sheets></workbook>";
    if (!sharedStrings.empty()) {
        rels += "<Relationship Id=\"rId1\" Type=\"" + rel +
                "sharedStrings\" Target=\"sharedStrings.xml\"/>";
        members.emplace_back("xl/sharedStrings.xml",
                             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst " + ns + ">" +
                                 sharedStrings + "</sst>");
    }
    if (!styles.empty()) {
        rels += "<Relationship Id=\"rId2\" Type=\"" + rel + "styles\" Target=\"/xl/styles.xml\"/>";
        members.emplace_back("xl/styles.xml",
                             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><styleSheet " + ns + ">" +
                                 styles + "</styleSheet>");
    }
    rels += "</Relationships>";
    Members all = {{"[Content_Types].xml", types},
                   {"_rels/.rels",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"rId1\" Type=\"" +
                        rel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
                   {"xl/workbook.xml", workbook},
                   {"xl/_rels/workbook.xml.rels", rels}};
    all.insert(all.end(), members.begin(), members.end());
    return all;
}

Members OdsMembers(const std::string& tables) {
    return {
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
        {"META-INF/manifest.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
         "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
         "manifest:version=\"1.2\"><manifest:file-entry manifest:full-path=\"/\" "
         "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>"
         "<manifest:file-entry manifest:full-path=\"content.xml\" "
         "manifest:media-type=\"text/xml\"/>"
         "</manifest:manifest>"},
        {"content.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
         "<office:document-content "
         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
         "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
         "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
         "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
         "xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\" "
         "office:version=\"1.2\"><office:body><office:spreadsheet>" +
             tables + "</office:spreadsheet></office:body></office:document-content>"}};
}

void WriteXlsxBook(const std::string& path, const xls::Workbook& book) {
    std::unordered_map<std::uint32_t, std::size_t> shared;  // StringTable id -> index
    std::string sst;
    std::vector<std::pair<std::string, std::string>> sheets;
    for (std::size_t s = 0; s < book.sheetCount(); ++s) {
        const xls::Sheet& sheet = book.sheet(s);
        std::string xml = "<sheetData>";
        for (std::int32_t r = 0; r < sheet.rowCount(); ++r) {
            const xls::RowInfo* row = sheet.row(r);
            if (row == nullptr || row->cells.empty())
                continue;
            std::string cells;
            for (std::size_t c = 0; c < row->cells.size(); ++c) {
                const xls::Cell& cell = row->cells[c];
                if (cell.format == xls::kNoCell || cell.kind == xls::CellKind::Blank)
                    continue;
                const std::string ref =
                    ColumnName(static_cast<std::int32_t>(c)) + std::to_string(r + 1);
                switch (cell.kind) {
                    case xls::CellKind::Number:
                        cells += "<c r=\"" + ref + "\"><v>" + NumberText(cell.number) + "</v></c>";
                        break;
                    case xls::CellKind::Text: {
                        auto [it, added] = shared.emplace(cell.text, shared.size());
                        if (added)
                            sst += "<si><t xml:space=\"preserve\">" +
                                   XmlEscaped(book.strings.get(cell.text)) + "</t></si>";
                        cells += "<c r=\"" + ref + "\" t=\"s\"><v>" + std::to_string(it->second) +
                                 "</v></c>";
                        break;
                    }
                    case xls::CellKind::Boolean:
                        cells += "<c r=\"" + ref + "\" t=\"b\"><v>" +
                                 (cell.small != 0 ? "1" : "0") + "</v></c>";
                        break;
                    case xls::CellKind::Error:
                        cells +=
                            "<c r=\"" + ref + "\" t=\"e\"><v>" + ErrorName(cell.small) + "</v></c>";
                        break;
                    default:
                        break;
                }
            }
            if (!cells.empty())
                xml += "<row r=\"" + std::to_string(r + 1) + "\">" + cells + "</row>";
        }
        xml += "</sheetData>";
        sheets.emplace_back(sheet.name(), std::move(xml));
    }
    WriteZip(path, XlsxMembers(sheets, sst.empty() ? std::string("<si><t/></si>") : sst));
}

void WriteOdsBook(const std::string& path, const xls::Workbook& book) {
    std::string tables;
    for (std::size_t s = 0; s < book.sheetCount(); ++s) {
        const xls::Sheet& sheet = book.sheet(s);
        tables += "<table:table table:name=\"" + XmlEscaped(sheet.name()) +
                  "\" table:style-name=\"ta1\"><table:table-column table:style-name=\"co1\" "
                  "table:number-columns-repeated=\"1024\" "
                  "table:default-cell-style-name=\"Default\"/>";
        std::int32_t emptyRows = 0;
        const auto flushEmptyRows = [&] {
            if (emptyRows > 0)
                tables +=
                    "<table:table-row table:style-name=\"ro1\" table:number-rows-repeated=\"" +
                    std::to_string(emptyRows) +
                    "\"><table:table-cell "
                    "table:number-columns-repeated=\"1024\"/></table:table-row>";
            emptyRows = 0;
        };
        for (std::int32_t r = 0; r < sheet.rowCount(); ++r) {
            const xls::RowInfo* row = sheet.row(r);
            std::string cells;
            std::int32_t gap = 0;
            const std::size_t width = row != nullptr ? row->cells.size() : 0;
            for (std::size_t c = 0; c < width;) {
                const xls::Cell& cell = row->cells[c];
                if (cell.format == xls::kNoCell || cell.kind == xls::CellKind::Blank) {
                    ++gap;
                    ++c;
                    continue;
                }
                if (gap > 0)
                    cells += gap == 1 ? std::string("<table:table-cell/>")
                                      : "<table:table-cell table:number-columns-repeated=\"" +
                                            std::to_string(gap) + "\"/>";
                gap = 0;
                // Equal neighbours are one element, repeated, as the application writes them.
                std::size_t same = 1;
                while (c + same < width && SameValue(row->cells[c + same], cell))
                    ++same;
                c += same;
                // The cell's style by the format it has, as the application names them.
                const std::string style =
                    (same > 1 ? "table:number-columns-repeated=\"" + std::to_string(same) + "\" "
                              : std::string()) +
                    "table:style-name=\"ce" + std::to_string(cell.format) + "\" ";
                switch (cell.kind) {
                    case xls::CellKind::Number: {
                        const std::string n = ShortestNumberText(cell.number);
                        cells += "<table:table-cell " + style +
                                 "office:value-type=\"float\" office:value=\"" + n +
                                 "\" calcext:value-type=\"float\"><text:p>" + n +
                                 "</text:p></table:table-cell>";
                        break;
                    }
                    case xls::CellKind::Text:
                        cells += "<table:table-cell " + style +
                                 "office:value-type=\"string\" "
                                 "calcext:value-type=\"string\"><text:p>" +
                                 XmlEscaped(book.strings.get(cell.text)) +
                                 "</text:p></table:table-cell>";
                        break;
                    case xls::CellKind::Boolean:
                        cells += "<table:table-cell " + style +
                                 "office:value-type=\"boolean\" "
                                 "office:boolean-value=\"" +
                                 (cell.small != 0 ? "true" : "false") + "\"><text:p>" +
                                 (cell.small != 0 ? "TRUE" : "FALSE") +
                                 "</text:p></table:table-cell>";
                        break;
                    case xls::CellKind::Error:
                        cells += "<table:table-cell " + style +
                                 "table:formula=\"of:=1/0\" "
                                 "office:value-type=\"float\" "
                                 "office:value=\"0\" calcext:value-type=\"error\"><text:p>" +
                                 ErrorName(cell.small) + "</text:p></table:table-cell>";
                        break;
                    default:
                        break;
                }
            }
            if (cells.empty()) {
                ++emptyRows;
                continue;
            }
            flushEmptyRows();
            tables += "<table:table-row table:style-name=\"ro1\">" + cells +
                      "<table:table-cell table:number-columns-repeated=\"" +
                      std::to_string(1024 - 256) + "\"/></table:table-row>";
        }
        // The empty rows LibreOffice writes down to the sheet's last row.
        emptyRows += 1048576 - sheet.rowCount();
        flushEmptyRows();
        tables += "</table:table>";
    }
    Members members = OdsMembers(tables);
    std::string& content = members.back().second;
    const std::size_t root = content.find("<office:document-content");
    content.replace(root, content.find('>', root) + 1 - root, kApplicationRoot);
    WriteZip(path, members);
}

}  // namespace zipbook
