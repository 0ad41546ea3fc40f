#include "OdsReader.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "BiffReaderErrors.h"
#include "PackageCells.h"
#include "XmlStream.h"

namespace xls {
namespace {

using xml::Attributes;

constexpr std::string_view kTableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kOfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr std::string_view kTextNs = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr std::string_view kCalcExtNs =
    "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0";
constexpr std::string_view kMimeType = "application/vnd.oasis.opendocument.spreadsheet";

// A repeat count, held to what the model could ever hold of it.
std::int64_t RepeatOf(const Attributes& a, std::string_view name) {
    std::string_view value;
    if (!a.find(name, value, kTableNs))
        return 1;
    std::int64_t n = 0;
    for (const char ch : value) {
        if (ch < '0' || ch > '9')
            return 1;
        n = std::min<std::int64_t>(n * 10 + (ch - '0'), std::int64_t{1} << 31);
    }
    return std::max<std::int64_t>(n, 1);
}

class ContentHandler : public xml::Handler {
  public:
    // Thrown at the start of the table a parse stops before.
    struct Stopped {};

    explicit ContentHandler(Workbook& book, int stopBeforeTable = 0)
        : book_(book), stopBeforeTable_(stopBeforeTable) {}

    // Names of the tables seen, the one stopped before included.
    std::vector<std::string> tableNames;

    void start(std::string_view name, std::string_view uri, const Attributes& a) override {
        if (skip_ > 0) {
            ++skip_;
            return;
        }
        if (inCell_) {
            startInCell(name, uri, a);
            return;
        }
        if (uri != kTableNs)
            return;
        if (name == "table" && sheet_ == nullptr) {
            std::string_view tableName;
            a.find("name", tableName, kTableNs);
            if (tableNames.size() == kMaxSheets)
                biff::ThrowTooManySheets(kMaxSheets);
            tableNames.emplace_back(tableName);
            if (static_cast<int>(tableNames.size()) == stopBeforeTable_)
                throw Stopped{};
            sheet_ = &book_.addSheet(std::string(tableName));
            sink_.emplace(*sheet_);
            row_ = 0;
        } else if (sheet_ == nullptr) {
            return;
        } else if (name == "table-row") {
            rowRepeat_ = RepeatOf(a, "number-rows-repeated");
            rowCells_.clear();
            col_ = 0;
        } else if (name == "table-cell" || name == "covered-table-cell") {
            startCell(a);
        } else if (name == "table" || name == "shapes") {
            skip_ = 1;  // a table inside the table: not a cell of the sheet
        }
    }

    void end(std::string_view name, std::string_view uri) override {
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (inCell_) {
            if (uri == kTableNs && (name == "table-cell" || name == "covered-table-cell"))
                finishCell();
            else if (uri == kTextNs && name == "p")
                inParagraph_ = false;
            return;
        }
        if (uri != kTableNs || sheet_ == nullptr)
            return;
        if (name == "table-row") {
            finishRow();
        } else if (name == "table") {
            sheet_ = nullptr;
            sink_.reset();
        }
    }

    void text(std::string_view chars) override {
        if (!inParagraph_)
            return;
        // Blanks in a paragraph collapse into one, and those at its start
        // count for nothing; text:s spells the others out.
        for (const char ch : chars) {
            const bool blank = ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
            if (blank) {
                if (!lastBlank_)
                    text_.push_back(' ');
                lastBlank_ = true;
            } else {
                text_.push_back(ch);
                lastBlank_ = false;
            }
        }
    }

  private:
    enum class Kind { None, Number, Text, Boolean, Error, Date, Time };

    void startCell(const Attributes& a) {
        inCell_ = true;
        colRepeat_ = RepeatOf(a, "number-columns-repeated");
        kind_ = Kind::None;
        formula_ = false;
        paragraphs_ = 0;
        text_.clear();
        stringValue_.reset();
        value_.clear();
        for (int i = 0; i < a.size(); ++i) {
            const xml::Attribute at = a[i];
            if (at.uri == kOfficeNs) {
                if (at.name == "value-type") {
                    if (kind_ != Kind::Error)
                        kind_ = KindOf(at.value);
                } else if (at.name == "value" || at.name == "date-value" ||
                           at.name == "time-value" || at.name == "boolean-value") {
                    value_ = at.value;
                } else if (at.name == "string-value") {
                    stringValue_ = std::string(at.value);
                }
            } else if (at.uri == kCalcExtNs && at.name == "value-type" && at.value == "error") {
                kind_ = Kind::Error;
            } else if (at.uri == kTableNs && at.name == "formula") {
                formula_ = true;
            }
        }
    }

    static Kind KindOf(std::string_view type) {
        if (type == "float" || type == "percentage" || type == "currency")
            return Kind::Number;
        if (type == "string")
            return Kind::Text;
        if (type == "boolean")
            return Kind::Boolean;
        if (type == "date")
            return Kind::Date;
        if (type == "time")
            return Kind::Time;
        return Kind::None;
    }

    void startInCell(std::string_view name, std::string_view uri, const Attributes& a) {
        if (uri != kTextNs) {
            // A comment on the cell, a shape anchored to it, a table inside
            // it: their paragraphs are not the cell's value.
            skip_ = 1;
        } else {
            if (name == "p" || name == "h") {
                if (paragraphs_++ > 0)
                    text_.push_back('\n');
                inParagraph_ = true;
                lastBlank_ = true;
            } else if (name == "s" && inParagraph_) {
                std::string_view count;
                std::int64_t n = 1;
                if (a.find("c", count, kTextNs))
                    n = std::clamp<std::int64_t>(
                        static_cast<std::int64_t>(package::ParseNumber(count).value_or(1)), 1,
                        32767);
                text_.append(static_cast<std::size_t>(n), ' ');
                lastBlank_ = false;
            } else if (name == "tab" && inParagraph_) {
                text_.push_back('\t');
                lastBlank_ = false;
            } else if (name == "line-break" && inParagraph_) {
                text_.push_back('\n');
                lastBlank_ = false;
            }
        }
    }

    [[noreturn]] void bad() const {
        biff::ThrowDamaged("シート「" + sheet_->name() + "」のセル（" + std::to_string(row_ + 1) +
                           " 行 " + std::to_string(col_ + 1) + " 列）の値「" + value_ +
                           "」が読めません");
    }

    void finishCell() {
        inCell_ = false;
        inParagraph_ = false;
        Cell cell;
        switch (kind_) {
            case Kind::Number: {
                const auto number = package::ParseNumber(value_);
                if (!number)
                    bad();
                cell.kind = CellKind::Number;
                cell.number = *number;
                break;
            }
            case Kind::Date: {
                const auto serial = package::DateSerial(value_);
                if (!serial)
                    bad();
                cell.kind = CellKind::Number;
                cell.number = *serial;
                cell.format = package::NumberFormatId(
                    book_, value_.size() > 10 ? "yyyy/mm/dd hh:mm:ss" : "yyyy/mm/dd");
                break;
            }
            case Kind::Time: {
                const auto days = package::DurationDays(value_);
                if (!days)
                    bad();
                cell.kind = CellKind::Number;
                cell.number = *days;
                cell.format = package::NumberFormatId(book_, "hh:mm:ss");
                break;
            }
            case Kind::Boolean:
                cell.kind = CellKind::Boolean;
                cell.small = value_ == "true" || value_ == "1" ? 1 : 0;
                break;
            case Kind::Error:
                cell.kind = CellKind::Error;
                cell.small = package::ErrorCode(text_);
                break;
            case Kind::Text:
                cell.kind = CellKind::Text;
                cell.text = book_.strings.intern(stringValue_ ? *stringValue_ : text_);
                break;
            case Kind::None:
                // A formula that shows nothing; a cell with text but no type
                // (written by hand) shows its text.
                if (!formula_ && paragraphs_ == 0)
                    break;
                cell.kind = CellKind::Text;
                cell.text = book_.strings.intern(text_);
                break;
        }
        if (cell.kind != CellKind::Blank) {
            const std::int64_t last = std::min<std::int64_t>(col_ + colRepeat_, kMaxCols);
            for (std::int64_t c = col_; c < last; ++c)
                rowCells_.emplace_back(static_cast<std::int32_t>(c), cell);
        }
        col_ = std::min<std::int64_t>(col_ + colRepeat_, std::int64_t{1} << 31);
    }

    void finishRow() {
        if (!rowCells_.empty()) {
            // A repeated row of values ends at the model's last row: the
            // sink refuses the first row beyond it.
            const std::int64_t last = std::min<std::int64_t>(row_ + rowRepeat_, kMaxRows + 1);
            for (std::int64_t r = row_; r < last; ++r) {
                const auto width = static_cast<std::size_t>(rowCells_.back().first) + 1;
                for (const auto& [c, cell] : rowCells_)
                    sink_->put(static_cast<std::int32_t>(r), c, cell, width);
            }
        }
        row_ = std::min<std::int64_t>(row_ + rowRepeat_, std::int64_t{1} << 31);
    }

    Workbook& book_;
    int stopBeforeTable_;
    Sheet* sheet_ = nullptr;
    std::optional<package::CellSink> sink_;
    int skip_ = 0;

    std::int64_t row_ = 0;
    std::int64_t rowRepeat_ = 1;
    std::vector<std::pair<std::int32_t, Cell>> rowCells_;

    bool inCell_ = false;
    std::int64_t col_ = 0;
    std::int64_t colRepeat_ = 1;
    Kind kind_ = Kind::None;
    bool formula_ = false;
    std::string value_;
    std::optional<std::string> stringValue_;
    std::string text_;
    int paragraphs_ = 0;
    bool inParagraph_ = false;
    bool lastBlank_ = true;
};

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace

bool IsOdsPackage(const zip::ZipPackage& package) {
    const std::string mime = Trimmed(package.readText("mimetype", 256));
    return mime == kMimeType || mime == std::string(kMimeType) + "-template";
}

namespace {

// The prefix a start tag binds to `uri` ("table" for the table namespace).
std::optional<std::string> PrefixOf(std::string_view startTag, std::string_view uri) {
    for (std::size_t at = 0; (at = startTag.find("xmlns:", at)) != std::string_view::npos;) {
        at += 6;
        const std::size_t equals = startTag.find('=', at);
        if (equals == std::string_view::npos || equals + 2 > startTag.size())
            return std::nullopt;
        const char quote = startTag[equals + 1];
        const std::size_t end = startTag.find(quote, equals + 2);
        if (end == std::string_view::npos)
            return std::nullopt;
        if (startTag.substr(equals + 2, end - equals - 2) == uri)
            return std::string(startTag.substr(at, equals - at));
        at = end + 1;  // namespace names themselves hold "xmlns:"
    }
    return std::nullopt;
}

// Tables 2 onwards of content.xml, parsed on a second core while the first
// table is parsed on the first. The second table's start tag is found in the
// bytes themselves; what follows is parsed as a document of its own, under
// the document's root element (with its namespace declarations) and the body
// and spreadsheet elements that enclose every table.
class LaterTables {
  public:
    std::unique_ptr<Workbook> book = std::make_unique<Workbook>();
    std::vector<std::string> tableNames;
    bool done = false;  // parsed to its end

    void read(const zip::ZipPackage& package, const std::atomic<bool>& cancel) {
        package.pull("content.xml", [&](const zip::ZipPackage::Fill& fill) {
            std::string head;
            std::size_t rootEnd = std::string::npos;
            std::string pattern, opening;
            std::size_t found = std::string::npos;
            std::uint8_t piece[1 << 16];
            while (found == std::string::npos) {
                if (cancel)
                    return;
                const std::size_t n = fill(piece, sizeof piece);
                if (n == 0)
                    return;  // no second table
                head.append(reinterpret_cast<const char*>(piece), n);
                if (rootEnd == std::string::npos) {
                    rootEnd = RootEnd(head);
                    if (rootEnd == std::string::npos)
                        continue;
                    const std::string_view root(head.data(), rootEnd + 1);
                    const auto table = PrefixOf(root, kTableNs);
                    const auto office = PrefixOf(root, kOfficeNs);
                    if (!table || !office)
                        return;
                    pattern = "<" + *table + ":table";
                    opening =
                        std::string(root) + "<" + *office + ":body><" + *office + ":spreadsheet>";
                }
                found = SecondTable(head, pattern);
                if (found == std::string::npos && head.size() > (1u << 20)) {
                    // Keep the root and the tail a tag may straddle.
                    const std::size_t erased = head.size() - rootEnd - 1 - 64;
                    head.erase(rootEnd + 1, erased);
                    scanFrom_ = scanFrom_ > rootEnd + erased ? scanFrom_ - erased : rootEnd + 1;
                }
            }
            std::string start = opening + head.substr(found);
            std::size_t given = 0;
            const zip::ZipPackage::Fill rest = [&](std::uint8_t* out, std::size_t size) {
                if (cancel)
                    throw ContentHandler::Stopped{};
                if (given < start.size()) {
                    const std::size_t n = std::min(size, start.size() - given);
                    std::memcpy(out, start.data() + given, n);
                    given += n;
                    return n;
                }
                return fill(out, size);
            };
            ContentHandler content(*book);
            xml::ParseFrom(rest, "content.xml", content);
            tableNames = std::move(content.tableNames);
            done = true;
        });
    }

  private:
    // The end ('>') of the root element's start tag.
    static std::size_t RootEnd(const std::string& head) {
        for (std::size_t at = head.find('<'); at != std::string::npos;
             at = head.find('<', at + 1)) {
            if (at + 1 < head.size() && (head[at + 1] == '?' || head[at + 1] == '!'))
                continue;
            return head.find('>', at);
        }
        return std::string::npos;
    }

    // Offset of the second table's start tag; each start tag counted once
    // however the pieces cut the bytes.
    std::size_t SecondTable(const std::string& head, const std::string& pattern) {
        for (std::size_t at = head.find(pattern, scanFrom_); at != std::string::npos;
             at = head.find(pattern, at + 1)) {
            if (at + pattern.size() >= head.size()) {
                scanFrom_ = at;  // undecided until more arrives
                return std::string::npos;
            }
            scanFrom_ = at + 1;
            const char next = head[at + pattern.size()];
            if (next == ' ' || next == '>' || next == '/' || next == '\t' || next == '\n' ||
                next == '\r') {
                if (++tableStarts_ == 2)
                    return at;
            }
        }
        if (head.size() >= pattern.size())
            scanFrom_ = std::max(scanFrom_, head.size() - pattern.size());
        return std::string::npos;
    }

    std::size_t scanFrom_ = 0;
    int tableStarts_ = 0;
};

std::unique_ptr<Workbook> ReadSerially(const zip::ZipPackage& package) {
    auto book = std::make_unique<Workbook>();
    ContentHandler content(*book);
    if (!xml::ParseMember(package, "content.xml", content))
        biff::ThrowDamaged("content.xml がありません");
    return book;
}

}  // namespace

std::unique_ptr<Workbook> ReadOdsPackage(const zip::ZipPackage& package) {
    // An encrypted document's parts are ciphertext; say so rather than
    // "damaged".
    if (package.readText("META-INF/manifest.xml", 4u << 20).find("encryption-data") !=
        std::string::npos)
        biff::ThrowEncrypted();
    if (!package.has("content.xml"))
        biff::ThrowDamaged("content.xml がありません");
    // The first table here, the others on a second core. Whatever does not
    // fit together (a second table the bytes showed but the parser did not,
    // a failure of either half) is read again in one piece, which also
    // gives the message of a damaged document.
    LaterTables later;
    std::atomic<bool> cancel{false};
    std::thread helper([&] {
        try {
            const zip::ZipPackage own(package.path());
            later.read(own, cancel);
        } catch (...) {
            later.done = false;
        }
    });
    auto book = std::make_unique<Workbook>();
    ContentHandler first(*book, 2);
    bool stopped = false;
    try {
        xml::ParseMember(package, "content.xml", first);
    } catch (const ContentHandler::Stopped&) {
        stopped = true;
    } catch (...) {
        cancel = true;
        helper.join();
        return ReadSerially(package);
    }
    if (!stopped)
        cancel = true;
    helper.join();
    if (!stopped)
        return book;  // one table: all of it read here
    if (!later.done || later.tableNames.empty() ||
        later.tableNames.front() != first.tableNames.back())
        return ReadSerially(package);
    // Each half counted its own tables only.
    if (book->sheetCount() + later.book->sheetCount() > kMaxSheets)
        biff::ThrowTooManySheets(kMaxSheets);
    for (std::size_t i = 0; i < later.book->sheetCount(); ++i) {
        Sheet& sheet = later.book->sheet(i);
        book->addSheet(sheet.name()).takeFrom(sheet);
    }
    return book;
}

}  // namespace xls
