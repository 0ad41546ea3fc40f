#include "OdsReader.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "BiffReaderErrors.h"
#include "OdsContentSplit.h"
#include "OdsMarkup.h"
#include "PackageCells.h"
#include "XmlPieces.h"
#include "XmlStream.h"
#include "XmlTree.h"

namespace xls {
namespace {

using xml::Attributes;

using ods::kOfficeNs;
using ods::kTableNs;
constexpr std::string_view kTextNs = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr std::string_view kCalcExtNs =
    "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0";
constexpr std::string_view kMimeType = "application/vnd.oasis.opendocument.spreadsheet";

// A repeat count, held to what the model could ever hold of it.
std::int64_t RepeatOf(std::string_view value) {
    std::int64_t n = 0;
    for (const char ch : value) {
        if (ch < '0' || ch > '9')
            return 1;
        n = std::min<std::int64_t>(n * 10 + (ch - '0'), std::int64_t{1} << 31);
    }
    return std::max<std::int64_t>(n, 1);
}

// The names the handler compares, as the parser's dictionary holds them: a
// comparison is one of addresses.
struct Names {
    explicit Names(const xml::Dictionary& d)
        : tableNs(d(kTableNs)),
          officeNs(d(kOfficeNs)),
          textNs(d(kTextNs)),
          calcExtNs(d(kCalcExtNs)),
          table(d("table")),
          tableRow(d("table-row")),
          tableCell(d("table-cell")),
          coveredCell(d("covered-table-cell")),
          shapes(d("shapes")),
          p(d("p")),
          h(d("h")),
          s(d("s")),
          tab(d("tab")),
          lineBreak(d("line-break")),
          name(d("name")),
          rowsRepeated(d("number-rows-repeated")),
          columnsRepeated(d("number-columns-repeated")),
          valueType(d("value-type")),
          value(d("value")),
          dateValue(d("date-value")),
          timeValue(d("time-value")),
          booleanValue(d("boolean-value")),
          stringValue(d("string-value")),
          formula(d("formula")),
          c(d("c")) {}
    std::string_view tableNs, officeNs, textNs, calcExtNs;
    std::string_view table, tableRow, tableCell, coveredCell, shapes;
    std::string_view p, h, s, tab, lineBreak;
    std::string_view name, rowsRepeated, columnsRepeated, valueType, value, dateValue, timeValue,
        booleanValue, stringValue, formula, c;
};

bool Is(std::string_view a, std::string_view b) {
    return a.data() == b.data();
}

class ContentHandler : public xml::Handler {
  public:
    explicit ContentHandler(Workbook& book) : book_(book) {}

    // Names of the tables begun.
    std::vector<std::string> tableNames;
    // Rows of the last table ended, empty runs counted.
    std::int64_t lastTableRows = 0;

    void prepare(const xml::Dictionary& dictionary) override { n_.emplace(dictionary); }

    void start(std::string_view name, std::string_view uri, const Attributes& a) override {
        if (skip_ > 0) {
            ++skip_;
            return;
        }
        if (inCell_) {
            startInCell(name, uri, a);
            return;
        }
        if (!Is(uri, n_->tableNs))
            return;
        if (Is(name, n_->tableCell) || Is(name, n_->coveredCell)) {
            if (sheet_ != nullptr)
                startCell(a);
        } else if (Is(name, n_->tableRow)) {
            if (sheet_ != nullptr)
                startRow(a);
        } else if (Is(name, n_->table)) {
            if (sheet_ == nullptr)
                startTable(a);
            else
                skip_ = 1;  // a table inside the table: not a cell of the sheet
        } else if (Is(name, n_->shapes) && sheet_ != nullptr) {
            skip_ = 1;
        }
    }

    void end(std::string_view name, std::string_view uri) override {
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (inCell_) {
            if (Is(uri, n_->tableNs) && (Is(name, n_->tableCell) || Is(name, n_->coveredCell)))
                finishCell();
            else if (Is(uri, n_->textNs) && (Is(name, n_->p) || Is(name, n_->h)))
                inParagraph_ = false;
            return;
        }
        if (!Is(uri, n_->tableNs) || sheet_ == nullptr)
            return;
        if (Is(name, n_->tableRow)) {
            finishRow();
        } else if (Is(name, n_->table)) {
            lastTableRows = row_;
            sheet_ = nullptr;
            sink_.reset();
        }
    }

    void text(std::string_view chars) override {
        if (!inParagraph_)
            return;
        // Blanks in a paragraph collapse into one, and those at its start
        // count for nothing; text:s spells the others out.
        const auto blank = [](char ch) {
            return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
        };
        for (std::size_t i = 0; i < chars.size();) {
            std::size_t j = i;
            while (j < chars.size() && !blank(chars[j]))
                ++j;
            if (j > i) {
                text_.append(chars.data() + i, j - i);
                lastBlank_ = false;
            }
            if (j < chars.size()) {
                if (!lastBlank_)
                    text_.push_back(' ');
                lastBlank_ = true;
                while (j < chars.size() && blank(chars[j]))
                    ++j;
            }
            i = j;
        }
    }

  private:
    enum class Kind { None, Number, Text, Boolean, Error, Date, Time };

    void startTable(const Attributes& a) {
        std::string_view tableName;
        for (int i = 0; i < a.size(); ++i) {
            const xml::Attribute at = a[i];
            if (Is(at.name, n_->name) && Is(at.uri, n_->tableNs)) {
                tableName = at.value;
                break;
            }
        }
        if (tableNames.size() == kMaxSheets)
            biff::ThrowTooManySheets(kMaxSheets);
        tableNames.emplace_back(tableName);
        sheet_ = &book_.addSheet(std::string(tableName));
        sink_.emplace(*sheet_);
        row_ = 0;
    }

    void startRow(const Attributes& a) {
        rowRepeat_ = 1;
        for (int i = 0; i < a.size(); ++i) {
            const xml::Attribute at = a[i];
            if (Is(at.name, n_->rowsRepeated) && Is(at.uri, n_->tableNs)) {
                rowRepeat_ = RepeatOf(at.value);
                break;
            }
        }
        rowCells_.clear();
        col_ = 0;
    }

    // The cell's value as far as its attributes give it; the text of its
    // paragraphs is gathered only where the value is that text.
    void startCell(const Attributes& a) {
        inCell_ = true;
        colRepeat_ = 1;
        kind_ = Kind::None;
        formula_ = false;
        paragraphs_ = 0;
        text_.clear();
        hasStringValue_ = false;
        bool repeatSeen = false;
        std::string_view value;
        for (int i = 0; i < a.size(); ++i) {
            const xml::Attribute at = a[i];
            if (Is(at.uri, n_->officeNs)) {
                if (Is(at.name, n_->valueType)) {
                    if (kind_ != Kind::Error)
                        kind_ = KindOf(at.value);
                } else if (Is(at.name, n_->value) || Is(at.name, n_->dateValue) ||
                           Is(at.name, n_->timeValue) || Is(at.name, n_->booleanValue)) {
                    value = at.value;
                } else if (Is(at.name, n_->stringValue)) {
                    stringValue_.assign(at.value);
                    hasStringValue_ = true;
                }
            } else if (Is(at.uri, n_->tableNs)) {
                if (Is(at.name, n_->columnsRepeated)) {
                    if (!repeatSeen)
                        colRepeat_ = RepeatOf(at.value);
                    repeatSeen = true;
                } else if (Is(at.name, n_->formula)) {
                    formula_ = true;
                }
            } else if (Is(at.uri, n_->calcExtNs) && Is(at.name, n_->valueType) &&
                       at.value == "error") {
                kind_ = Kind::Error;
            }
        }
        cell_ = Cell();
        std::optional<double> number;
        switch (kind_) {
            case Kind::Number:
                number = package::ParseNumber(value);
                break;
            case Kind::Date:
                number = package::DateSerial(value);
                cell_.format = dateFormat(value.size() > 10);
                break;
            case Kind::Time:
                number = package::DurationDays(value);
                if (!timeFormat_)
                    timeFormat_ = package::NumberFormatId(book_, "hh:mm:ss");
                cell_.format = *timeFormat_;
                break;
            case Kind::Boolean:
                cell_.kind = CellKind::Boolean;
                cell_.small = value == "true" || value == "1" ? 1 : 0;
                break;
            default:
                break;
        }
        if (kind_ == Kind::Number || kind_ == Kind::Date || kind_ == Kind::Time) {
            if (!number)
                bad(value);
            cell_.kind = CellKind::Number;
            cell_.number = *number;
        }
        collect_ = kind_ == Kind::Error || kind_ == Kind::None ||
                   (kind_ == Kind::Text && !hasStringValue_);
    }

    std::uint32_t dateFormat(bool withTime) {
        std::optional<std::uint32_t>& id = withTime ? dateTimeFormat_ : dateFormat_;
        if (!id)
            id = package::NumberFormatId(book_, withTime ? "yyyy/mm/dd hh:mm:ss" : "yyyy/mm/dd");
        return *id;
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
        if (!Is(uri, n_->textNs)) {
            // A comment on the cell, a shape anchored to it, a table inside
            // it: their paragraphs are not the cell's value.
            skip_ = 1;
            return;
        }
        if (!collect_)
            return;
        if (Is(name, n_->p) || Is(name, n_->h)) {
            if (paragraphs_++ > 0)
                text_.push_back('\n');
            inParagraph_ = true;
            lastBlank_ = true;
        } else if (!inParagraph_) {
            return;
        } else if (Is(name, n_->s)) {
            std::int64_t count = 1;
            for (int i = 0; i < a.size(); ++i) {
                const xml::Attribute at = a[i];
                if (Is(at.name, n_->c) && Is(at.uri, n_->textNs)) {
                    count = std::clamp<std::int64_t>(
                        static_cast<std::int64_t>(package::ParseNumber(at.value).value_or(1)), 1,
                        32767);
                    break;
                }
            }
            text_.append(static_cast<std::size_t>(count), ' ');
            lastBlank_ = false;
        } else if (Is(name, n_->tab)) {
            text_.push_back('\t');
            lastBlank_ = false;
        } else if (Is(name, n_->lineBreak)) {
            text_.push_back('\n');
            lastBlank_ = false;
        }
    }

    [[noreturn]] void bad(std::string_view value) const {
        biff::ThrowDamaged("シート「" + sheet_->name() + "」のセル（" + std::to_string(row_ + 1) +
                           " 行 " + std::to_string(col_ + 1) + " 列）の値「" + std::string(value) +
                           "」が読めません");
    }

    void finishCell() {
        inCell_ = false;
        inParagraph_ = false;
        switch (kind_) {
            case Kind::Error:
                cell_.kind = CellKind::Error;
                cell_.small = package::ErrorCode(text_);
                break;
            case Kind::Text:
                cell_.kind = CellKind::Text;
                cell_.text = book_.strings.intern(hasStringValue_ ? stringValue_ : text_);
                break;
            case Kind::None:
                // A formula that shows nothing; a cell with text but no type
                // (written by hand) shows its text.
                if (!formula_ && paragraphs_ == 0)
                    break;
                cell_.kind = CellKind::Text;
                cell_.text = book_.strings.intern(text_);
                break;
            default:
                break;
        }
        if (cell_.kind != CellKind::Blank) {
            const std::int64_t last = std::min<std::int64_t>(col_ + colRepeat_, kMaxCols);
            for (std::int64_t c = col_; c < last; ++c)
                rowCells_.emplace_back(static_cast<std::int32_t>(c), cell_);
        }
        col_ = std::min<std::int64_t>(col_ + colRepeat_, std::int64_t{1} << 31);
    }

    void finishRow() {
        if (!rowCells_.empty()) {
            // A repeated row of values ends at the model's last row: the
            // sink refuses the first row beyond it.
            const std::int64_t last = std::min<std::int64_t>(row_ + rowRepeat_, kMaxRows + 1);
            for (std::int64_t r = row_; r < last; ++r)
                sink_->putRow(static_cast<std::int32_t>(r), rowCells_.data(), rowCells_.size());
        }
        row_ = std::min<std::int64_t>(row_ + rowRepeat_, std::int64_t{1} << 31);
    }

    Workbook& book_;
    std::optional<Names> n_;
    Sheet* sheet_ = nullptr;
    std::optional<package::CellSink> sink_;
    int skip_ = 0;
    std::optional<std::uint32_t> dateFormat_, dateTimeFormat_, timeFormat_;

    std::int64_t row_ = 0;
    std::int64_t rowRepeat_ = 1;
    std::vector<std::pair<std::int32_t, Cell>> rowCells_;

    bool inCell_ = false;
    std::int64_t col_ = 0;
    std::int64_t colRepeat_ = 1;
    Kind kind_ = Kind::None;
    Cell cell_;
    bool formula_ = false;
    bool collect_ = false;
    bool hasStringValue_ = false;
    std::string stringValue_;
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

// Thrown in the later part's thread when the first part failed.
struct Cancelled {};

// Where the cut is looked for: a little past the middle, as the later part's
// thread first inflates and scans the bytes before it.
constexpr double kCutAt = 0.515;

std::unique_ptr<Workbook> ReadSerially(const zip::ZipPackage& package) {
    auto book = std::make_unique<Workbook>();
    ContentHandler content(*book);
    if (!xml::ParseMember(package, "content.xml", content))
        biff::ThrowDamaged("content.xml がありません");
    return book;
}

// The later part of content.xml, read into a workbook of its own.
struct LaterRead {
    std::unique_ptr<Workbook> book = std::make_unique<Workbook>();
    int tablesBefore = 0;
    std::vector<std::string> tableNames;
    bool done = false;  // cut and parsed to its end
};

void ReadLaterPart(const std::string& path, std::uint64_t cutFrom, const std::atomic<bool>& cancel,
                   LaterRead& later) {
    const zip::ZipPackage package(path);
    package.pull(
        "content.xml",
        [&](const zip::ZipPackage::Fill& inflate) {
            const zip::ZipPackage::Fill checked = [&](std::uint8_t* out, std::size_t size) {
                if (cancel)
                    throw Cancelled{};
                return inflate(out, size);
            };
            ods::LaterPart part(checked, cutFrom);
            if (!part.findCut())
                return;
            ContentHandler content(*later.book);
            xml::ParseFrom(
                [&](std::uint8_t* out, std::size_t size) { return part.fill(out, size); },
                "content.xml", content);
            later.tablesBefore = part.tablesBefore();
            later.tableNames = std::move(content.tableNames);
            later.done = true;
        },
        false);
}

void CheckContent(const zip::ZipPackage& package) {
    // An encrypted document's parts are ciphertext; say so rather than
    // "damaged".
    if (package.readText("META-INF/manifest.xml", 4u << 20).find("encryption-data") !=
        std::string::npos)
        biff::ThrowEncrypted();
    if (!package.has("content.xml"))
        biff::ThrowDamaged("content.xml がありません");
}

// Pieces of content.xml of this size keep a core's tree in its caches.
constexpr std::size_t kChunkBytes = 1u << 20;

// What one piece of content.xml gave: a workbook of its own.
struct PieceRead {
    std::unique_ptr<Workbook> book;
    std::vector<std::string> tableNames;
    std::int64_t lastTableRows = 0;
    int tablesBegun = 0;  // as the cut counted them
};

// The pieces as the cut hands them over, to the parsing threads.
class PieceQueue {
  public:
    explicit PieceQueue(std::size_t room) : room_(room) {}
    // False when the reading stopped (no room will come).
    bool put(xml::Piece chunk) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return chunks_.size() < room_ || stopped_; });
        if (stopped_)
            return false;
        chunks_.push_back(std::move(chunk));
        changed_.notify_all();
        return true;
    }
    bool take(xml::Piece& chunk) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !chunks_.empty() || closed_ || stopped_; });
        if (stopped_ || chunks_.empty())
            return false;
        chunk = std::move(chunks_.front());
        chunks_.pop_front();
        changed_.notify_all();
        return true;
    }
    // No more pieces: the threads end when they have parsed those at hand.
    void close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    // A piece failed: everything stops.
    void stop() {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }
    bool stopped() {
        const std::lock_guard lock(mutex_);
        return stopped_;
    }
    void keep(std::size_t index, PieceRead piece) {
        const std::lock_guard lock(mutex_);
        if (read_.size() <= index)
            read_.resize(index + 1);
        read_[index] = std::move(piece);
    }
    // The piece `index` once parsed, and only once.
    std::optional<PieceRead> take(std::size_t index) {
        const std::lock_guard lock(mutex_);
        if (index >= read_.size() || !read_[index])
            return std::nullopt;
        std::optional<PieceRead> piece = std::move(read_[index]);
        read_[index].reset();
        return piece;
    }
    // Strings of pieces parsed, for the next pieces (a few at most).
    void recycle(std::string bytes) {
        const std::lock_guard lock(mutex_);
        if (spare_.size() < room_)
            spare_.push_back(std::move(bytes));
    }
    std::string spare() {
        const std::lock_guard lock(mutex_);
        if (spare_.empty())
            return {};
        std::string bytes = std::move(spare_.back());
        spare_.pop_back();
        return bytes;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<xml::Piece> chunks_;
    std::size_t room_;
    bool closed_ = false, stopped_ = false;
    std::vector<std::optional<PieceRead>> read_;
    std::vector<std::string> spare_;
};

void ParsePieces(PieceQueue& queue) {
    // Nothing may leave the thread: whatever fails stops the reading, and
    // the document is read the usual way, which gives the report.
    try {
        xml::TreeParser parser;
        xml::Piece chunk;
        while (queue.take(chunk)) {
            PieceRead piece;
            piece.book = std::make_unique<Workbook>();
            piece.tablesBegun = chunk.tablesBegun;
            ContentHandler content(*piece.book);
            if (!parser.parse(chunk.bytes.data(), chunk.size, content)) {
                queue.stop();
                return;
            }
            piece.tableNames = std::move(content.tableNames);
            piece.lastTableRows = content.lastTableRows;
            queue.keep(chunk.index, std::move(piece));
            queue.recycle(std::move(chunk.bytes));
            chunk.bytes = std::string();
        }
    } catch (...) {
        queue.stop();
    }
}

// The pieces joined in order into the first one's workbook as they come,
// each piece's own workbook freed as soon as it is joined.
class PieceJoin {
  public:
    // False when the piece does not fit on those before it or a limit is
    // passed (the usual read gives the report then).
    bool add(PieceRead& piece) {
        if (!book_) {
            book_ = std::move(piece.book);
            rowsBefore_ = piece.lastTableRows;
            // The count of its tables matters only to the tables the next
            // piece opens with: one piece is the document itself.
            firstCounted_ = static_cast<int>(piece.tableNames.size()) == piece.tablesBegun;
            ++pieces_;
            return true;
        }
        Workbook& later = *piece.book;
        if (!firstCounted_ || book_->sheetCount() == 0 || later.sheetCount() == 0 ||
            static_cast<int>(piece.tableNames.size()) != piece.tablesBegun + 1 ||
            piece.tableNames.front() != book_->sheet(book_->sheetCount() - 1).name())
            return false;
        Sheet& table = book_->sheet(book_->sheetCount() - 1);
        Sheet& rest = later.sheet(0);
        if ((rest.rowCount() > 0 && rowsBefore_ + rest.rowCount() > kMaxRows) ||
            book_->sheetCount() + later.sheetCount() - 1 > kMaxSheets)
            return false;
        table.takeRowsFrom(rest, static_cast<std::int32_t>(rowsBefore_));
        for (std::size_t s = 1; s < later.sheetCount(); ++s) {
            Sheet& sheet = later.sheet(s);
            book_->addSheet(sheet.name()).takeFrom(sheet);
        }
        rowsBefore_ =
            later.sheetCount() == 1 ? rowsBefore_ + piece.lastTableRows : piece.lastTableRows;
        piece.book.reset();
        ++pieces_;
        return true;
    }
    std::size_t pieces() const { return pieces_; }
    std::unique_ptr<Workbook> take() { return std::move(book_); }

  private:
    std::unique_ptr<Workbook> book_;
    std::int64_t rowsBefore_ = 0;  // of the book's last table
    bool firstCounted_ = false;
    std::size_t pieces_ = 0;
};

// content.xml inflated once here and cut into pieces that every core
// parses as they come; nullptr when the pieces cannot be read or joined.
std::unique_ptr<Workbook> ReadPieces(const zip::ZipPackage& package, std::size_t chunkBytes) {
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    PieceQueue queue(cores);
    std::vector<std::thread> threads;
    // The threads end before the queue they read goes, however this ends.
    struct Joined {
        PieceQueue& queue;
        std::vector<std::thread>& threads;
        void now() {
            queue.close();
            for (std::thread& t : threads)
                t.join();
            threads.clear();
        }
        ~Joined() { now(); }
    } joined{queue, threads};
    try {
        for (unsigned i = 0; i < cores; ++i)
            threads.emplace_back([&queue] { ParsePieces(queue); });
    } catch (const std::system_error&) {
        if (threads.empty())
            return nullptr;  // no thread to be had: read the usual way
    }
    PieceJoin join;
    // The pieces parsed so far, in order, joined here between two cuts.
    const auto joinParsed = [&] {
        while (std::optional<PieceRead> piece = queue.take(join.pieces())) {
            if (!join.add(*piece))
                return false;
        }
        return true;
    };
    std::size_t cuts = 0;
    bool cut = true;
    try {
        package.pull(
            "content.xml",
            [&](const zip::ZipPackage::Fill& inflate) {
                xml::XmlPieces chunks(inflate, chunkBytes, ods::ContentMarkup, 64u << 20,
                                      [&queue] { return queue.spare(); });
                xml::Piece chunk;
                while (chunks.next(chunk)) {
                    ++cuts;
                    if (!queue.put(std::move(chunk)) || !joinParsed()) {
                        cut = false;
                        return;
                    }
                    chunk = xml::Piece();
                }
                cut = !chunks.failed();
            },
            false);
    } catch (...) {
        cut = false;
    }
    if (!cut)
        queue.stop();
    joined.now();
    if (queue.stopped() || !joinParsed() || join.pieces() != cuts)
        return nullptr;
    return join.take();
}

}  // namespace

std::unique_ptr<Workbook> ReadOdsPackage(const zip::ZipPackage& package,
                                         std::optional<std::uint64_t> cutFrom, bool* twoParts) {
    if (twoParts != nullptr)
        *twoParts = false;
    CheckContent(package);
    if (!cutFrom)
        return ReadSerially(package);
    // The first part here, the later part on the second core, each
    // inflating its own copy (neither waits for a third thread). Whatever
    // does not fit together (a cut between anything but two rows of a table,
    // a failure of either part) is read again in one piece, which also gives
    // the message of a damaged document.
    LaterRead later;
    std::atomic<bool> cancel{false};
    std::thread helper([&] {
        try {
            ReadLaterPart(package.path(), *cutFrom, cancel, later);
        } catch (...) {
            later.done = false;
        }
    });
    auto book = std::make_unique<Workbook>();
    ContentHandler first(*book);
    bool cut = false;
    try {
        package.pull(
            "content.xml",
            [&](const zip::ZipPackage::Fill& inflate) {
                ods::FirstPart part(inflate, *cutFrom);
                xml::ParseFrom(
                    [&](std::uint8_t* out, std::size_t size) { return part.fill(out, size); },
                    "content.xml", first);
                cut = part.cut();
            },
            false);
    } catch (...) {
        cancel = true;
        helper.join();
        return ReadSerially(package);
    }
    if (!cut)
        cancel = true;
    helper.join();
    if (!cut)
        return book;  // no row after the cut's byte: all of it read here
    if (!later.done || later.tableNames.empty())
        return ReadSerially(package);
    // The table the cut lies in goes on with the later part's first, whose
    // rows were counted from the cut. Parts that do not fit together, or a
    // limit passed across the cut, have the document read in one piece,
    // which gives the report.
    const int laterTables = static_cast<int>(later.tableNames.size()) - 1;
    PieceRead firstPart{std::move(book), std::move(first.tableNames), first.lastTableRows,
                        later.tablesBefore};
    PieceRead laterPart{std::move(later.book), std::move(later.tableNames), 0, laterTables};
    PieceJoin join;
    if (!join.add(firstPart) || !join.add(laterPart))
        return ReadSerially(package);
    book = join.take();
    if (twoParts != nullptr)
        *twoParts = true;
    return book;
}

std::unique_ptr<Workbook> ReadOdsPackage(const zip::ZipPackage& package) {
    return ReadOdsInChunks(package, kChunkBytes);
}

std::unique_ptr<Workbook> ReadOdsInChunks(const zip::ZipPackage& package, std::size_t chunkBytes,
                                          bool* inChunks) {
    if (inChunks != nullptr)
        *inChunks = false;
    CheckContent(package);
    if (auto book = ReadPieces(package, chunkBytes)) {
        if (inChunks != nullptr)
            *inChunks = true;
        return book;
    }
    // Pieces that would not read or join: the document read in two parts,
    // or whole, as before, with the usual report of a fault.
    const auto size = package.size("content.xml");
    return ReadOdsPackage(
        package, static_cast<std::uint64_t>(static_cast<double>(size.value_or(0)) * kCutAt));
}

}  // namespace xls
