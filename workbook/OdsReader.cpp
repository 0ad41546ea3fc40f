#include "OdsReader.h"

#include <algorithm>
#include <string>
#include <string_view>
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
    explicit ContentHandler(Workbook& book) : book_(book) {}

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
        if (uri == kOfficeNs && name == "annotation") {
            skip_ = 1;  // a comment on the cell, not its value
        } else if (uri == kTextNs) {
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
                for (const auto& [c, cell] : rowCells_)
                    sink_->put(static_cast<std::int32_t>(r), c, cell);
            }
        }
        row_ = std::min<std::int64_t>(row_ + rowRepeat_, std::int64_t{1} << 31);
    }

    Workbook& book_;
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

std::unique_ptr<Workbook> ReadOdsPackage(const zip::ZipPackage& package) {
    // An encrypted document's parts are ciphertext; say so rather than
    // "damaged".
    if (package.readText("META-INF/manifest.xml", 4u << 20).find("encryption-data") !=
        std::string::npos)
        biff::ThrowEncrypted();
    auto book = std::make_unique<Workbook>();
    ContentHandler content(*book);
    if (!xml::ParseMember(package, "content.xml", content))
        biff::ThrowDamaged("content.xml がありません");
    return book;
}

}  // namespace xls
