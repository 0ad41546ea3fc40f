#include "Workbook.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace xls {

static_assert(sizeof(Cell) == 16, "a sheet of 65,536 x 38 cells must stay small");

namespace {

inline void mix(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

std::size_t borderBits(const Border& b) {
    return static_cast<std::size_t>(b.style << 8 | b.color);
}

Cell absentCell() {
    Cell c;
    c.format = kNoCell;
    return c;
}

bool asciiEqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

std::size_t CellFormatHash::operator()(const CellFormat& f) const noexcept {
    std::size_t h = std::hash<std::string>{}(f.font.name);
    mix(h, std::hash<std::string>{}(f.numberFormat));
    mix(h, static_cast<std::size_t>(f.font.height) | static_cast<std::size_t>(f.font.color) << 16 |
               static_cast<std::size_t>(f.font.bold) << 32 |
               static_cast<std::size_t>(f.font.italic) << 33 |
               static_cast<std::size_t>(f.font.underline) << 34 |
               static_cast<std::size_t>(f.font.family) << 42 |
               static_cast<std::size_t>(f.font.charset) << 50);
    mix(h, static_cast<std::size_t>(f.hAlign) | static_cast<std::size_t>(f.vAlign) << 8 |
               static_cast<std::size_t>(f.wrap) << 16 | static_cast<std::size_t>(f.rotation) << 17 |
               static_cast<std::size_t>(f.indent) << 25 | static_cast<std::size_t>(f.shrink) << 33 |
               static_cast<std::size_t>(f.locked) << 34 | static_cast<std::size_t>(f.hidden) << 35 |
               static_cast<std::size_t>(f.pattern) << 36);
    mix(h, borderBits(f.left) | borderBits(f.right) << 16 | borderBits(f.top) << 32 |
               borderBits(f.bottom) << 48);
    mix(h, static_cast<std::size_t>(f.patternColor) | static_cast<std::size_t>(f.patternBgColor)
                                                          << 16);
    return h;
}

FormatTable::FormatTable() {
    formats_.emplace_back();
    ids_.emplace(formats_.front(), 0);
}

std::uint32_t FormatTable::intern(const CellFormat& format) {
    auto it = ids_.find(format);
    if (it != ids_.end())
        return it->second;
    const auto id = static_cast<std::uint32_t>(formats_.size());
    formats_.push_back(format);
    ids_.emplace(format, id);
    return id;
}

std::uint32_t StringTable::intern(const std::string& text) {
    if (slots_.size() < 2 * (strings_.size() + 1))
        grow();
    const std::uint64_t h = std::hash<std::string_view>{}(text);
    const std::uint64_t tag = h & 0xFFFFFFFF00000000ULL;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = slots_[i];
        if (slot == 0) {
            const auto id = static_cast<std::uint32_t>(strings_.size());
            strings_.push_back(text);
            slots_[i] = tag | (static_cast<std::uint64_t>(id) + 1);
            return id;
        }
        if ((slot & 0xFFFFFFFF00000000ULL) == tag) {
            const auto id = static_cast<std::uint32_t>((slot & 0xFFFFFFFFULL) - 1);
            if (strings_[id] == text)
                return id;
        }
    }
}

void StringTable::grow() {
    std::vector<std::uint64_t> slots(std::max<std::size_t>(64, slots_.size() * 2), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t id = 0; id < strings_.size(); ++id) {
        const std::uint64_t h = std::hash<std::string_view>{}(strings_[id]);
        std::size_t i = static_cast<std::size_t>(h) & mask;
        while (slots[i] != 0)
            i = (i + 1) & mask;
        slots[i] = (h & 0xFFFFFFFF00000000ULL) | (static_cast<std::uint64_t>(id) + 1);
    }
    slots_ = std::move(slots);
}

// ---------------------------------------------------------------------------
// Sheet

Sheet::Sheet(Workbook& book, std::string name)
    : book_(&book), name_(std::move(name)), columns_(static_cast<std::size_t>(kMaxCols)) {}

const RowInfo* Sheet::row(std::int32_t r) const {
    return rows_.find(r);
}

RowInfo& Sheet::rowInfo(std::int32_t r) {
    return rows_.at(r);
}

const Cell* Sheet::cell(std::int32_t r, std::int32_t c) const {
    const RowInfo* ri = row(r);
    if (ri == nullptr || c < 0 || static_cast<std::size_t>(c) >= ri->cells.size())
        return nullptr;
    const Cell& cell = ri->cells[static_cast<std::size_t>(c)];
    return cell.format == kNoCell ? nullptr : &cell;
}

std::uint32_t Sheet::formatIdAt(std::int32_t r, std::int32_t c) const {
    if (const Cell* found = cell(r, c))
        return found->format;
    if (const RowInfo* ri = row(r); ri != nullptr && ri->format)
        return *ri->format;
    if (c >= 0 && c < kMaxCols && columns_[static_cast<std::size_t>(c)].format) {
        return *columns_[static_cast<std::size_t>(c)].format;
    }
    return 0;
}

// The slots of a row up to column c. A new row gets the room of the row
// above, or of the widest row so far when that is at most twice as much:
// data rows are filled with their values first and the formatting adds the
// entry cells up to the header's width afterwards, which would otherwise move
// every row of the sheet a second time.
void Sheet::growRow(RowInfo& ri, std::int32_t r, std::int32_t c) {
    const auto need = static_cast<std::size_t>(c) + 1;
    if (ri.cells.size() >= need)
        return;
    if (ri.cells.capacity() < need) {
        std::size_t want = std::max(need, ri.cells.capacity() * 2);
        if (const RowInfo* above = row(r - 1)) {
            const std::size_t width = above->cells.size();
            want = std::max({want, width, std::min(rowRoom_, 2 * width)});
        }
        ri.cells.reserve(std::min<std::size_t>(want, kMaxCols));
    }
    ri.cells.resize(need, absentCell());
    rowRoom_ = std::max(rowRoom_, need);
}

// The slot of (r, c), created with the format the position shows.
Cell& Sheet::ensureCell(std::int32_t r, std::int32_t c) {
    RowInfo& ri = rowInfo(r);
    growRow(ri, r, c);
    Cell& cell = ri.cells[static_cast<std::size_t>(c)];
    if (cell.format == kNoCell) {
        std::uint32_t inherited = 0;
        if (ri.format) {
            inherited = *ri.format;
        } else if (const auto& cf = column(c).format) {
            inherited = *cf;
        }
        cell = Cell();
        cell.format = inherited;
    }
    return cell;
}

void Sheet::setValue(std::int32_t r, std::int32_t c, const CellValue& value) {
    if (std::holds_alternative<std::monostate>(value)) {
        if (cell(r, c) == nullptr)
            return;
    }
    Cell& cell = ensureCell(r, c);
    switch (value.index()) {
        case 0:
            cell.kind = CellKind::Blank;
            cell.small = 0;
            cell.number = 0;
            break;
        case 1:
            cell.kind = CellKind::Number;
            cell.number = std::get<double>(value);
            break;
        case 2:
            cell.kind = CellKind::Text;
            cell.text = book_->strings.intern(std::get<std::string>(value));
            break;
        case 3:
            cell.kind = CellKind::Boolean;
            cell.small = std::get<bool>(value) ? 1 : 0;
            break;
        case 4:
            cell.kind = CellKind::Error;
            cell.small = std::get<ErrorValue>(value).code;
            break;
        default:
            break;
    }
}

void Sheet::setNumber(std::int32_t r, std::int32_t c, double number) {
    Cell& cell = ensureCell(r, c);
    cell.kind = CellKind::Number;
    cell.number = number;
}

void Sheet::setText(std::int32_t r, std::int32_t c, const std::string& text) {
    // A column's text often repeats the one above (the customer of several
    // lines), whose string is still at hand: no look-up in the whole table.
    const Cell* above = cell(r - 1, c);
    const std::uint32_t id =
        above != nullptr && above->kind == CellKind::Text && book_->strings.get(above->text) == text
            ? above->text
            : book_->strings.intern(text);
    Cell& cell = ensureCell(r, c);
    cell.kind = CellKind::Text;
    cell.text = id;
}

CellValue Sheet::value(std::int32_t r, std::int32_t c) const {
    const Cell* found = cell(r, c);
    if (found == nullptr)
        return std::monostate{};
    switch (found->kind) {
        case CellKind::Blank:
            return std::monostate{};
        case CellKind::Number:
            return found->number;
        case CellKind::Text:
            return book_->strings.get(found->text);
        case CellKind::Boolean:
            return found->small != 0;
        case CellKind::Error:
            return ErrorValue{found->small};
    }
    return std::monostate{};
}

void Sheet::putCell(std::int32_t r, std::int32_t c, const Cell& value) {
    RowInfo& ri = rowInfo(r);
    const auto column = static_cast<std::size_t>(c);
    if (ri.cells.size() == column) {
        ri.cells.push_back(value);  // cells are mostly read and written left to right
        return;
    }
    if (ri.cells.size() < column) {
        ri.cells.resize(column + 1, absentCell());
    }
    ri.cells[column] = value;
}

namespace {

// Maps old format ids to changed ones, once per (edge class, old id), so a
// range of a million cells interns only a handful of formats.
class FormatMapper {
  public:
    FormatMapper(FormatTable& table, const std::function<void(CellFormat&, unsigned)>& change)
        : table_(table), change_(change) {}

    std::uint32_t operator()(std::uint32_t old, unsigned edges) {
        auto& cache = cache_[edges & 15u];
        if (old < cache.size() && cache[old] != kNoCell)
            return cache[old];
        CellFormat f = table_.get(old);
        change_(f, edges);
        const std::uint32_t id = table_.intern(f);
        if (old >= cache.size())
            cache.resize(std::max<std::size_t>(old + 1, table_.size()), kNoCell);
        cache[old] = id;
        return id;
    }

  private:
    FormatTable& table_;
    const std::function<void(CellFormat&, unsigned)>& change_;
    std::array<std::vector<std::uint32_t>, 16> cache_;
};

unsigned edgesOf(std::int32_t r, std::int32_t c, const CellRange& rg) {
    unsigned e = 0;
    if (c == rg.firstCol)
        e |= kEdgeLeft;
    if (c == rg.lastCol)
        e |= kEdgeRight;
    if (r == rg.firstRow)
        e |= kEdgeTop;
    if (r == rg.lastRow)
        e |= kEdgeBottom;
    return e;
}

}  // namespace

void Sheet::changeFormat(RangeKind kind, const CellRange& range,
                         const std::function<void(CellFormat&)>& change) {
    changeFormatByEdge(kind, range, [&change](CellFormat& f, unsigned) { change(f); });
}

void Sheet::changeFormatByEdge(RangeKind kind, const CellRange& range,
                               const std::function<void(CellFormat&, unsigned)>& change) {
    FormatMapper map(book_->formats, change);
    CellRange rg = range;
    if (kind == RangeKind::Rows || kind == RangeKind::Sheet) {
        rg.firstCol = 0;
        rg.lastCol = kMaxCols - 1;
    }
    if (kind == RangeKind::Columns || kind == RangeKind::Sheet) {
        rg.firstRow = 0;
        rg.lastRow = kMaxRows - 1;
    }

    if (kind == RangeKind::Cells) {
        for (std::int32_t r = rg.firstRow; r <= rg.lastRow; ++r) {
            RowInfo& ri = rowInfo(r);
            growRow(ri, r, rg.lastCol);
            const unsigned rowEdges =
                (r == rg.firstRow ? kEdgeTop : 0u) | (r == rg.lastRow ? kEdgeBottom : 0u);
            for (std::int32_t c = rg.firstCol; c <= rg.lastCol; ++c) {
                Cell& cell = ri.cells[static_cast<std::size_t>(c)];
                if (cell.format == kNoCell)
                    ensureCell(r, c);
                const unsigned edges = rowEdges | (c == rg.firstCol ? kEdgeLeft : 0u) |
                                       (c == rg.lastCol ? kEdgeRight : 0u);
                cell.format = map(cell.format, edges);
            }
        }
        return;
    }

    // Cells where a formatted row meets a formatted column get a cell of
    // their own first, as the spreadsheet does, so neither format is lost.
    const std::int32_t lastRow = std::min(rg.lastRow, rowCount() - 1);
    for (std::int32_t r = rg.firstRow; r <= lastRow; ++r) {
        if (const RowInfo* ri = rows_.stored(r);
            kind == RangeKind::Columns && ri != nullptr && ri->format) {
            for (std::int32_t c = rg.firstCol; c <= rg.lastCol; ++c)
                ensureCell(r, c);
        }
        if (kind == RangeKind::Rows) {
            for (std::int32_t c = 0; c < kMaxCols; ++c) {
                if (columns_[static_cast<std::size_t>(c)].format)
                    ensureCell(r, c);
            }
        }
        RowInfo* stored = rows_.stored(r);
        if (stored == nullptr)
            continue;
        RowInfo& row = *stored;
        const std::int32_t end =
            std::min<std::int32_t>(rg.lastCol, static_cast<std::int32_t>(row.cells.size()) - 1);
        for (std::int32_t c = rg.firstCol; c <= end; ++c) {
            Cell& cell = row.cells[static_cast<std::size_t>(c)];
            if (cell.format != kNoCell)
                cell.format = map(cell.format, edgesOf(r, c, rg));
        }
    }
    if (kind == RangeKind::Rows) {
        for (std::int32_t r = rg.firstRow; r <= rg.lastRow; ++r) {
            RowInfo& ri = rowInfo(r);
            const unsigned e = edgesOf(r, -1, rg);
            ri.format = map(ri.format.value_or(0), e);
        }
    }
    if (kind == RangeKind::Sheet) {
        rows_.forEachStored([&](std::int32_t r, RowInfo& ri) {
            if (ri.format)
                ri.format = map(*ri.format, edgesOf(r, -1, rg));
        });
    }
    if (kind == RangeKind::Columns || kind == RangeKind::Sheet) {
        for (std::int32_t c = rg.firstCol; c <= rg.lastCol; ++c) {
            ColumnInfo& ci = columns_[static_cast<std::size_t>(c)];
            ci.format = map(ci.format.value_or(0), edgesOf(-1, c, rg));
        }
    }
}

std::optional<std::pair<std::int32_t, std::int32_t>> Sheet::lastCell() const {
    std::int32_t lastRow = -1;
    std::int32_t lastCol = -1;
    for (std::int32_t r = 0; r < rowCount(); ++r) {
        const auto& cells = rows_.find(r)->cells;
        for (std::size_t c = cells.size(); c-- > 0;) {
            if (cells[c].format != kNoCell) {
                lastRow = r;
                lastCol = std::max(lastCol, static_cast<std::int32_t>(c));
                break;
            }
        }
    }
    if (lastRow < 0)
        return std::nullopt;
    return std::make_pair(lastRow, lastCol);
}

std::optional<std::int32_t> Sheet::lastValueRow(std::int32_t col) const {
    for (std::int32_t r = rowCount() - 1; r >= 0; --r) {
        const Cell* found = cell(r, col);
        if (found != nullptr && found->kind != CellKind::Blank)
            return r;
    }
    return std::nullopt;
}

void Sheet::assignFrom(const Sheet& source) {
    if (&source == this)
        return;
    visible = source.visible;
    merges = source.merges;
    validations = source.validations;
    pageSetup = source.pageSetup;
    view = source.view;
    protectedSheet = source.protectedSheet;
    passwordHash = source.passwordHash;
    defaultRowHeight = source.defaultRowHeight;
    rows_ = source.rows_;
    columns_ = source.columns_;
    if (&source.book() != book_)
        adoptIds(source.book());
}

void Sheet::takeFrom(Sheet& source) {
    if (&source == this)
        return;
    // Everything but the rows as a copy, the rows taken.
    SheetRows rows = std::move(source.rows_);
    source.rows_ = SheetRows{};
    assignFrom(source);
    rows_ = std::move(rows);
    columns_ = source.columns_;  // ids as the source has them, mapped once below
    rowRoom_ = source.rowRoom_;
    if (&source.book() != book_)
        adoptIds(source.book());
}

namespace {

// Format and string ids of another workbook made this one's, each distinct
// id looked up once however many cells share it.
class ForeignIds {
  public:
    ForeignIds(Workbook& into, const Workbook& from)
        : into_(into),
          from_(from),
          formats_(from.formats.size(), kNoCell),
          texts_(from.strings.size(), kNoCell) {}

    std::uint32_t format(std::uint32_t id) {
        if (formats_[id] == kNoCell)
            formats_[id] = into_.formats.intern(from_.formats.get(id));
        return formats_[id];
    }
    void adopt(RowInfo& ri) {
        if (ri.format)
            ri.format = format(*ri.format);
        for (auto& cell : ri.cells) {
            if (cell.format == kNoCell)
                continue;
            cell.format = format(cell.format);
            if (cell.kind == CellKind::Text) {
                if (texts_[cell.text] == kNoCell)
                    texts_[cell.text] = into_.strings.intern(from_.strings.get(cell.text));
                cell.text = texts_[cell.text];
            }
        }
    }

  private:
    Workbook& into_;
    const Workbook& from_;
    std::vector<std::uint32_t> formats_;
    std::vector<std::uint32_t> texts_;
};

}  // namespace

void Sheet::takeRowsFrom(Sheet& source, std::int32_t offset) {
    if (&source == this)
        return;
    std::optional<ForeignIds> ids;
    if (&source.book() != book_)
        ids.emplace(*book_, source.book());
    source.rows_.forEachStored([&](std::int32_t r, RowInfo& ri) {
        if (ri.cells.empty() && !ri.format && !ri.height && !ri.hidden)
            return;
        if (ids)
            ids->adopt(ri);
        RowInfo& to = rows_.at(r + offset);
        to = std::move(ri);
        rowRoom_ = std::max(rowRoom_, to.cells.size());
    });
    source.rows_ = SheetRows{};
}

void Sheet::adoptIds(const Workbook& other) {
    // Another workbook: its format and string ids mean nothing here.
    ForeignIds ids(*book_, other);
    rows_.forEachStored([&](std::int32_t, RowInfo& ri) { ids.adopt(ri); });
    for (auto& ci : columns_) {
        if (ci.format)
            ci.format = ids.format(*ci.format);
    }
}

// ---------------------------------------------------------------------------
// Workbook

Sheet& Workbook::addSheet(const std::string& name) {
    return insertSheet(sheets_.size(), name);
}

Sheet& Workbook::insertSheet(std::size_t position, const std::string& name) {
    position = std::min(position, sheets_.size());
    auto it = sheets_.insert(sheets_.begin() + static_cast<std::ptrdiff_t>(position),
                             std::make_unique<Sheet>(*this, name));
    if (sheets_.size() > 1 && activeSheet >= position)
        ++activeSheet;
    return **it;
}

void Workbook::removeSheet(std::size_t index) {
    if (index >= sheets_.size())
        return;
    sheets_.erase(sheets_.begin() + static_cast<std::ptrdiff_t>(index));
    if (activeSheet > index || activeSheet >= sheets_.size()) {
        activeSheet = activeSheet > 0 ? activeSheet - 1 : 0;
    }
}

Sheet& Workbook::copySheet(const Sheet& source, std::size_t position, const std::string& name) {
    Sheet& copy = insertSheet(position, name);
    copy.assignFrom(source);
    return copy;
}

std::optional<std::size_t> Workbook::findSheet(const std::string& name) const {
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        if (asciiEqualNoCase(sheets_[i]->name(), name))
            return i;
    }
    return std::nullopt;
}

std::uint16_t PasswordHash(const std::string& password) {
    if (password.empty())
        return 0;
    std::uint32_t hash = 0;
    for (std::size_t i = 0; i < password.size(); ++i) {
        // The character rotated left by its position within 15 bits.
        std::uint32_t c = static_cast<unsigned char>(password[i]);
        for (std::size_t k = 0; k <= i % 15; ++k)
            c = ((c << 1) & 0x7FFF) | (c >> 14);
        hash ^= c;
    }
    hash ^= static_cast<std::uint32_t>(password.size());
    hash ^= 0xCE4B;
    return static_cast<std::uint16_t>(hash);
}

}  // namespace xls
