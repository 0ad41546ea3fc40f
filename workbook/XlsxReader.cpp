#include "XlsxReader.h"

#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "BiffReader.h"
#include "BiffReaderErrors.h"
#include "NumberFormat.h"
#include "PackageCells.h"
#include "XmlStream.h"
#include "XmlTree.h"

namespace xls {
namespace {

using xml::Attributes;

const std::string_view kOfficeDocument = "/officeDocument";

// A relationship's target as a member path: absolute ("/xl/x.xml") or
// relative to the folder of the part that names it.
std::string MemberOf(const std::string& folder, std::string_view target) {
    if (!target.empty() && target.front() == '/')
        return std::string(target.substr(1));
    std::string path = folder;
    while (target.substr(0, 3) == "../") {
        target.remove_prefix(3);
        if (!path.empty())
            path.pop_back();
        const std::size_t slash = path.rfind('/');
        path.erase(slash == std::string::npos ? 0 : slash + 1);
    }
    return path + std::string(target);
}

std::string FolderOf(const std::string& member) {
    const std::size_t slash = member.rfind('/');
    return slash == std::string::npos ? std::string() : member.substr(0, slash + 1);
}

std::string RelsOf(const std::string& member) {
    return FolderOf(member) + "_rels/" + member.substr(FolderOf(member).size()) + ".rels";
}

struct Relationship {
    std::string type;
    std::string target;
};

// Relationships of a part by id.
class RelsHandler : public xml::Handler {
  public:
    std::unordered_map<std::string, Relationship> byId;
    void start(std::string_view name, std::string_view, const Attributes& a) override {
        if (name != "Relationship")
            return;
        std::string_view id, type, target, mode;
        a.find("Id", id);
        a.find("Type", type);
        a.find("Target", target);
        if (a.find("TargetMode", mode) && mode == "External")
            return;
        byId[std::string(id)] = {std::string(type), std::string(target)};
    }
    void end(std::string_view, std::string_view) override {}
};

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The workbook part named by the package's relationships, else the usual one.
std::string WorkbookMember(const zip::ZipPackage& package) {
    RelsHandler rels;
    if (xml::ParseMember(package, "_rels/.rels", rels)) {
        for (const auto& [id, r] : rels.byId) {
            if (EndsWith(r.type, kOfficeDocument))
                return MemberOf("", r.target);
        }
    }
    return "xl/workbook.xml";
}

struct SheetEntry {
    std::string name;
    std::string relId;
};

class WorkbookHandler : public xml::Handler {
  public:
    std::vector<SheetEntry> sheets;
    bool date1904 = false;
    std::size_t activeTab = 0;
    void start(std::string_view name, std::string_view, const Attributes& a) override {
        std::string_view value;
        if (name == "sheet") {
            if (sheets.size() == kMaxSheets)
                biff::ThrowTooManySheets(kMaxSheets);
            SheetEntry entry;
            if (a.find("name", value))
                entry.name = value;
            for (int i = 0; i < a.size(); ++i) {
                // r:id, in the relationships namespace of either dialect.
                if (a[i].name == "id" && !a[i].uri.empty())
                    entry.relId = a[i].value;
            }
            sheets.push_back(std::move(entry));
        } else if (name == "workbookPr") {
            date1904 = a.find("date1904", value) && (value == "1" || value == "true");
        } else if (name == "workbookView" && a.find("activeTab", value)) {
            activeTab = static_cast<std::size_t>(package::ParseNumber(value).value_or(0));
        }
    }
    void end(std::string_view, std::string_view) override {}
};

// Texts of <t> elements, leaving out phonetic runs (<rPh>).
class TextCollector {
  public:
    void start(std::string_view name) {
        if (name == "rPh")
            ++phonetic_;
        else if (name == "t" && phonetic_ == 0)
            inText_ = true;
    }
    void end(std::string_view name) {
        if (name == "rPh")
            --phonetic_;
        else if (name == "t")
            inText_ = false;
    }
    void text(std::string_view chars) {
        if (inText_)
            text_.append(chars);
    }
    std::string take() {
        std::string out = std::move(text_);
        text_.clear();
        return out;
    }

  private:
    int phonetic_ = 0;
    bool inText_ = false;
    std::string text_;
};

class SharedStringsHandler : public xml::Handler {
  public:
    explicit SharedStringsHandler(Workbook& book) : book_(book) {}
    std::vector<std::uint32_t> ids;
    void start(std::string_view name, std::string_view, const Attributes& a) override {
        std::string_view count;
        if (name == "sst" && a.find("uniqueCount", count)) {
            // Only a hint: a damaged count costs no more than the texts.
            const double n = package::ParseNumber(count).value_or(0);
            if (n > 0 && n < 4e6)
                ids.reserve(static_cast<std::size_t>(n));
        }
        if (name == "si")
            inItem_ = true;
        else if (inItem_)
            collector_.start(name);
    }
    void end(std::string_view name, std::string_view) override {
        if (name == "si") {
            ids.push_back(book_.strings.intern(collector_.take()));
            inItem_ = false;
        } else if (inItem_) {
            collector_.end(name);
        }
    }
    void text(std::string_view chars) override { collector_.text(chars); }

  private:
    Workbook& book_;
    bool inItem_ = false;
    TextCollector collector_;
};

// Number formats of the cell styles (cellXfs), as format ids of the model.
class StylesHandler : public xml::Handler {
  public:
    explicit StylesHandler(Workbook& book) : book_(book) {}
    std::vector<std::uint32_t> formatOfStyle;
    std::vector<bool> dateStyle;
    void start(std::string_view name, std::string_view, const Attributes& a) override {
        std::string_view value;
        if (name == "numFmt" && a.find("numFmtId", value)) {
            std::string_view code;
            a.find("formatCode", code);
            custom_[static_cast<int>(package::ParseNumber(value).value_or(-1))] = std::string(code);
        } else if (name == "cellXfs") {
            inCellXfs_ = true;
        } else if (name == "xf" && inCellXfs_) {
            int id = 0;
            if (a.find("numFmtId", value))
                id = static_cast<int>(package::ParseNumber(value).value_or(0));
            std::string code = "General";
            if (const auto found = custom_.find(id); found != custom_.end())
                code = found->second;
            else if (id >= 0 && id < 0x10000)
                code =
                    biff::BuiltinNumberFormat(static_cast<std::uint16_t>(id)).value_or("General");
            formatOfStyle.push_back(code == "General" ? 0 : package::NumberFormatId(book_, code));
            dateStyle.push_back(ClassifyNumberFormat(code) != NumberShows::Number);
        }
    }
    void end(std::string_view name, std::string_view) override {
        if (name == "cellXfs")
            inCellXfs_ = false;
    }

  private:
    Workbook& book_;
    bool inCellXfs_ = false;
    std::unordered_map<int, std::string> custom_;
};

// "AB12" -> column 27, row 11 (0-based); false when it is no cell reference.
bool ParseCellRef(std::string_view ref, std::int32_t& row, std::int32_t& col) {
    std::size_t i = 0;
    std::int64_t c = 0;
    while (i < ref.size() &&
           ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        const char up = static_cast<char>(ref[i] >= 'a' ? ref[i] - 'a' + 'A' : ref[i]);
        c = c * 26 + (up - 'A' + 1);
        if (c > (1 << 20))
            return false;
        ++i;
    }
    std::int64_t r = 0;
    const std::size_t digits = i;
    while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9') {
        r = r * 10 + (ref[i] - '0');
        if (r > (1 << 24))
            return false;
        ++i;
    }
    if (c == 0 || i == digits || i != ref.size() || r == 0)
        return false;
    row = static_cast<std::int32_t>(r - 1);
    col = static_cast<std::int32_t>(c - 1);
    return true;
}

std::int32_t ParseIndex(std::string_view text) {
    std::int64_t n = 0;
    if (text.empty())
        return -1;
    for (const char ch : text) {
        if (ch < '0' || ch > '9')
            return -1;
        n = n * 10 + (ch - '0');
        if (n > (1 << 30))
            return -1;
    }
    return static_cast<std::int32_t>(n);
}

class SheetHandler : public xml::Handler {
  public:
    // `shared` guards the book's string and format tables, which sheets read
    // at the same time add to.
    SheetHandler(Workbook& book, Sheet& sheet, const std::vector<std::uint32_t>& strings,
                 const StylesHandler& styles, bool date1904, std::mutex& shared)
        : book_(book),
          sheet_(sheet),
          sink_(sheet),
          strings_(strings),
          styles_(styles),
          date1904_(date1904),
          shared_(shared) {}

    void start(std::string_view name, std::string_view, const Attributes& a) override {
        if (name == "c" && inData_) {
            startCell(a);
        } else if (inCell_) {
            if (name == "v") {
                inValue_ = true;
                value_.clear();
            } else if (name == "f") {
                formula_ = true;
            } else if (name == "is") {
                inline_ = true;
            } else if (inline_) {
                collector_.start(name);
            }
        } else if (name == "row" && inData_) {
            std::string_view r;
            row_ = a.find("r", r) ? ParseIndex(r) - 1 : row_ + 1;
            if (row_ < 0)
                bad("行番号「" + std::string(r) + "」");
            col_ = -1;
        } else if (name == "sheetData") {
            inData_ = true;
        }
    }

    void end(std::string_view name, std::string_view) override {
        if (!inCell_) {
            if (name == "sheetData")
                inData_ = false;
            return;
        }
        if (name == "c") {
            finishCell();
        } else if (name == "v") {
            inValue_ = false;
            hasValue_ = true;
        } else if (name == "is") {
            inline_ = false;
        } else if (inline_) {
            collector_.end(name);
        }
    }

    void text(std::string_view chars) override {
        if (inValue_)
            value_.append(chars);
        else if (inline_)
            collector_.text(chars);
    }

  private:
    enum class Type { Number, Shared, Text, Inline, Boolean, Error, Date };

    [[noreturn]] void bad(const std::string& what) const {
        biff::ThrowDamaged("シート「" + sheet_.name() + "」の" + what + "が読めません");
    }

    void startCell(const Attributes& a) {
        inCell_ = true;
        formula_ = false;
        hasValue_ = false;
        inline_ = false;
        type_ = Type::Number;
        style_ = 0;
        std::string_view value;
        if (a.find("r", value)) {
            std::int32_t row = 0;
            if (!ParseCellRef(value, row, col_))
                bad("セル番地「" + std::string(value) + "」");
            row_ = row;
        } else {
            ++col_;
        }
        if (row_ < 0)
            row_ = 0;
        if (a.find("s", value)) {
            style_ = ParseIndex(value);
            if (style_ < 0)
                style_ = 0;
        }
        if (a.find("t", value)) {
            if (value == "s")
                type_ = Type::Shared;
            else if (value == "str")
                type_ = Type::Text;
            else if (value == "inlineStr")
                type_ = Type::Inline;
            else if (value == "b")
                type_ = Type::Boolean;
            else if (value == "e")
                type_ = Type::Error;
            else if (value == "d")
                type_ = Type::Date;
        }
    }

    std::uint32_t formatOf(bool& isDate) const {
        const auto s = static_cast<std::size_t>(style_);
        if (s < styles_.formatOfStyle.size()) {
            isDate = styles_.dateStyle[s];
            return styles_.formatOfStyle[s];
        }
        isDate = false;
        return 0;
    }

    std::uint32_t intern(const std::string& text) {
        const std::lock_guard<std::mutex> lock(shared_);
        return book_.strings.intern(text);
    }

    void finishCell() {
        inCell_ = false;
        Cell cell;
        bool isDate = false;
        cell.format = formatOf(isDate);
        const auto where = [this] {
            return "セル（" + std::to_string(row_ + 1) + " 行 " + std::to_string(col_ + 1) +
                   " 列）の値";
        };
        if (type_ == Type::Inline) {
            cell.kind = CellKind::Text;
            cell.text = intern(collector_.take());
        } else if (!hasValue_ || (value_.empty() && type_ != Type::Text)) {
            // A formula with no result stored shows nothing; a cell with
            // neither is a format alone, which the reads do not need.
            if (!formula_)
                return;
            cell.kind = CellKind::Text;
            cell.text = intern(std::string());
        } else {
            switch (type_) {
                case Type::Shared: {
                    const std::int32_t index = ParseIndex(value_);
                    if (index < 0 || static_cast<std::size_t>(index) >= strings_.size())
                        bad(where());
                    cell.kind = CellKind::Text;
                    cell.text = strings_[static_cast<std::size_t>(index)];
                    break;
                }
                case Type::Text:
                    cell.kind = CellKind::Text;
                    cell.text = intern(value_);
                    break;
                case Type::Boolean:
                    cell.kind = CellKind::Boolean;
                    cell.small = value_ == "1" || value_ == "true" ? 1 : 0;
                    break;
                case Type::Error:
                    cell.kind = CellKind::Error;
                    cell.small = package::ErrorCode(value_);
                    break;
                case Type::Date: {
                    const auto serial = package::DateSerial(value_);
                    if (!serial)
                        bad(where());
                    cell.kind = CellKind::Number;
                    cell.number = *serial;
                    if (!isDate) {
                        const std::lock_guard<std::mutex> lock(shared_);
                        cell.format = package::NumberFormatId(book_, "yyyy/mm/dd");
                    }
                    break;
                }
                default: {
                    const auto number = package::ParseNumber(value_);
                    if (!number)
                        bad(where());
                    cell.kind = CellKind::Number;
                    cell.number = *number;
                    if (date1904_ && isDate)
                        cell.number += k1904Shift;
                }
            }
        }
        sink_.put(row_, col_, cell);
    }

    Workbook& book_;
    Sheet& sheet_;
    package::CellSink sink_;
    const std::vector<std::uint32_t>& strings_;
    const StylesHandler& styles_;
    bool date1904_;
    std::mutex& shared_;

    bool inData_ = false;
    bool inCell_ = false;
    bool inValue_ = false;
    bool inline_ = false;
    bool formula_ = false;
    bool hasValue_ = false;
    Type type_ = Type::Number;
    std::int32_t style_ = 0;
    std::int32_t row_ = -1;
    std::int32_t col_ = -1;
    std::string value_;
    TextCollector collector_;
};

}  // namespace

bool IsXlsxPackage(const zip::ZipPackage& package) {
    return package.has("[Content_Types].xml") &&
           (package.has(WorkbookMember(package)) || package.has("xl/workbook.bin"));
}

namespace {

// A member's rows in pieces of this size, each parsed whole (XmlTree.h).
constexpr std::size_t kPieceBytes = 512u << 10;

// The prefix of a qualified name, with its colon ("x:"), or "".
std::string_view PrefixPart(std::string_view name) {
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon + 1);
}

// A worksheet's rows lie in its sheetData.
std::optional<xml::PieceMarkup> WorksheetMarkup(std::string_view, std::string_view name) {
    const std::string p(PrefixPart(name));
    if (name.substr(p.size()) != "worksheet")
        return std::nullopt;
    return xml::PieceMarkup{"<" + p + "sheetData>",
                            "</" + p + "sheetData></" + std::string(name) + ">", "<" + p + "row",
                            ""};
}

// The shared strings' items are the root's children.
std::optional<xml::PieceMarkup> SharedStringsMarkup(std::string_view, std::string_view name) {
    const std::string p(PrefixPart(name));
    if (name.substr(p.size()) != "sst")
        return std::nullopt;
    return xml::PieceMarkup{"", "</" + std::string(name) + ">", "<" + p + "si", ""};
}

// `pieceBytes`: the shared strings and the sheets cut into pieces of about
// that size, each parsed whole, a few times faster than libxml2's stream (0:
// the stream alone); a piece the tree parser refuses throws TreeRefused.
std::unique_ptr<Workbook> ReadXlsx(const zip::ZipPackage& package, std::size_t pieceBytes) {
    const auto parse = [pieceBytes](const zip::ZipPackage& from, const std::string& member,
                                    xml::Handler& handler, const xml::MarkupOf& markup) {
        return pieceBytes > 0 ? xml::ParseMemberInPieces(from, member, handler, pieceBytes, markup)
                              : xml::ParseMember(from, member, handler);
    };
    const std::string workbookPart = WorkbookMember(package);
    if (!package.has(workbookPart)) {
        if (package.has("xl/workbook.bin")) {
            biff::ThrowNotXls(
                "Excel バイナリ ブック（.xlsb）は読み込めません。Excel ブック（.xlsx）"
                "または Excel 97-2003 形式で保存し直してください。");
        }
        biff::ThrowDamaged(workbookPart + " がありません");
    }
    auto book = std::make_unique<Workbook>();
    WorkbookHandler workbook;
    xml::ParseMember(package, workbookPart, workbook);
    const std::string folder = FolderOf(workbookPart);
    RelsHandler rels;
    xml::ParseMember(package, RelsOf(workbookPart), rels);

    std::vector<std::uint32_t> strings;
    StylesHandler styles(*book);
    for (const auto& [id, r] : rels.byId) {
        if (EndsWith(r.type, "/sharedStrings")) {
            SharedStringsHandler handler(*book);
            parse(package, MemberOf(folder, r.target), handler, SharedStringsMarkup);
            strings = std::move(handler.ids);
        } else if (EndsWith(r.type, "/styles")) {
            xml::ParseMember(package, MemberOf(folder, r.target), styles);
        }
    }
    // Chart sheets and dialog sheets hold no cells: they stay in the order
    // as empty sheets, so sheet numbers count as in the application.
    std::vector<std::pair<Sheet*, std::string>> parts;
    for (const SheetEntry& entry : workbook.sheets) {
        Sheet& sheet = book->addSheet(entry.name);
        const auto rel = rels.byId.find(entry.relId);
        if (rel != rels.byId.end() && EndsWith(rel->second.type, "/worksheet"))
            parts.emplace_back(&sheet, MemberOf(folder, rel->second.target));
    }
    // The sheets are read two at a time, each from a zip reader of its own:
    // inflating and parsing is nearly all of the time, and the workstations
    // have two cores.
    std::mutex shared;
    std::atomic<std::size_t> next{0};
    std::vector<std::exception_ptr> failures(parts.size());
    const auto work = [&](const zip::ZipPackage& own) {
        for (std::size_t i; (i = next.fetch_add(1)) < parts.size();) {
            try {
                SheetHandler handler(*book, *parts[i].first, strings, styles, workbook.date1904,
                                     shared);
                if (!parse(own, parts[i].second, handler, WorksheetMarkup))
                    biff::ThrowDamaged("シート「" + parts[i].first->name() + "」の " +
                                       parts[i].second + " がありません");
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    std::thread helper;
    if (parts.size() > 1) {
        helper = std::thread([&] {
            try {
                const zip::ZipPackage own(package.path());
                work(own);
            } catch (...) {
                // Its sheets are read below.
            }
        });
    }
    work(package);
    if (helper.joinable())
        helper.join();
    for (const std::exception_ptr& failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
    if (workbook.activeTab < book->sheetCount())
        book->activeSheet = workbook.activeTab;
    return book;
}

}  // namespace

std::unique_ptr<Workbook> ReadXlsxPackage(const zip::ZipPackage& package) {
    return ReadXlsxPackage(package, kPieceBytes);
}

std::unique_ptr<Workbook> ReadXlsxPackage(const zip::ZipPackage& package, std::size_t pieceBytes,
                                          bool* inPieces) {
    if (inPieces != nullptr)
        *inPieces = pieceBytes > 0;
    try {
        return ReadXlsx(package, pieceBytes);
    } catch (const xml::TreeRefused&) {
        // Read again the usual way, which also gives the report of a fault.
        if (inPieces != nullptr)
            *inPieces = false;
        return ReadXlsx(package, 0);
    }
}

}  // namespace xls
