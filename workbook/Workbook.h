#pragma once
// In-memory workbook model: the file-level content of an .xls workbook
// (BIFF8 codes: palette indexes, line styles, alignment codes), written by
// XlsWriter and filled by XlsReader. Rows and columns are 0-based here;
// pClExcel converts from its 1-based interface.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Variant.h"

namespace xls {

// Far more sheets than any workbook the tools exchange, few enough that
// empty sheets cannot add up, whichever format a reader reads.
inline constexpr std::size_t kMaxSheets = 256;

inline constexpr std::int32_t kMaxRows = 65536;
inline constexpr std::int32_t kMaxCols = 256;
inline constexpr std::uint16_t kAutoColor = 0x7FFF;  // font colour "automatic"
inline constexpr std::uint16_t kDefaultFg = 64;      // system window text / pattern fg
inline constexpr std::uint16_t kDefaultBg = 65;      // system window background

struct Font {
    std::string name = "ＭＳ Ｐゴシック";
    std::uint16_t height = 220;        // twips (220 = 11 pt)
    std::uint16_t color = kAutoColor;  // icv
    bool bold = false;
    bool italic = false;
    std::uint8_t underline = 0;
    std::uint8_t family = 0;
    std::uint8_t charset = 128;  // Shift_JIS
    bool operator==(const Font&) const = default;
};

struct Border {
    std::uint8_t style =
        0;  // BIFF: 0 none, 1 thin, 2 medium, 3 dashed, 4 dotted, 5 thick, 6 double, 7 hair ...
    std::uint8_t color = 64;  // icv
    bool operator==(const Border&) const = default;
};

// One cell format (an XF). Equal formats share one id in the workbook's table.
struct CellFormat {
    Font font;
    std::string numberFormat = "General";
    std::uint8_t hAlign = 0;  // 0 general, 1 left, 2 centre, 3 right, 4 fill, 5 justify, 6 centre
                              // across, 7 distributed
    std::uint8_t vAlign = 2;  // 0 top, 1 centre, 2 bottom, 3 justify, 4 distributed
    bool wrap = false;
    std::uint8_t rotation = 0;
    std::uint8_t indent = 0;
    bool shrink = false;
    bool locked = true;
    bool hidden = false;
    Border left, right, top, bottom;
    std::uint8_t pattern = 0;                   // 0 none, 1 solid
    std::uint16_t patternColor = kDefaultFg;    // icv (the fill colour for solid)
    std::uint16_t patternBgColor = kDefaultBg;  // icv
    bool operator==(const CellFormat&) const = default;
};

struct CellFormatHash {
    std::size_t operator()(const CellFormat& f) const noexcept;
};

// Formats of a workbook, deduplicated; id 0 is the default cell format.
class FormatTable {
  public:
    FormatTable();
    std::uint32_t intern(const CellFormat& format);
    const CellFormat& get(std::uint32_t id) const { return formats_[id]; }
    std::size_t size() const { return formats_.size(); }

  private:
    std::vector<CellFormat> formats_;
    std::unordered_map<CellFormat, std::uint32_t, CellFormatHash> ids_;
};

// Shared strings of a workbook, found again through a flat open-addressing
// table (a few hundred thousand distinct texts per export).
class StringTable {
  public:
    std::uint32_t intern(const std::string& text);
    const std::string& get(std::uint32_t id) const { return strings_[id]; }
    std::size_t size() const { return strings_.size(); }

  private:
    void grow();

    std::deque<std::string> strings_;
    std::vector<std::uint64_t> slots_;  // upper half: hash bits; lower: id + 1; 0 = free
};

enum class CellKind : std::uint8_t { Blank, Number, Text, Boolean, Error };

// 16 bytes: a sheet of 65,536 x 38 cells stays well under 100 MB.
struct Cell {
    CellKind kind = CellKind::Blank;  // Blank = no value (it may still carry a format)
    std::uint8_t small = 0;           // Boolean value or error code
    std::uint32_t format = 0;
    union {
        double number;
        std::uint32_t text;  // StringTable id
    };
    Cell() : number(0) {}
};

// Format id of an absent slot in RowInfo::cells (rows are stored densely).
inline constexpr std::uint32_t kNoCell = 0xFFFFFFFF;

// Where a cell lies in the range a format change addresses.
enum EdgeBits : unsigned { kEdgeLeft = 1, kEdgeRight = 2, kEdgeTop = 4, kEdgeBottom = 8 };

struct CellRange {
    std::int32_t firstRow = 0, lastRow = 0;
    std::int32_t firstCol = 0, lastCol = 0;
    bool operator==(const CellRange&) const = default;
};

// What a range operation addresses (pClExcel's range types 0, 1, 2, 9).
enum class RangeKind { Cells, Rows, Columns, Sheet };

struct ColumnInfo {
    std::optional<std::uint16_t> width;  // 1/256 of a character
    bool hidden = false;
    std::optional<std::uint32_t> format;  // column default format
};

struct RowInfo {
    std::vector<Cell> cells;              // dense from column 0; format kNoCell = absent
    std::optional<std::uint16_t> height;  // twips
    std::optional<std::uint32_t> format;  // row default format
    bool hidden = false;
};

// The rows of a sheet in pages of kPageRows, a page allocated only where the
// sheet has a row: a file with one cell in its last row costs one page, not
// 65,536 rows. Rows below size() in a missing page read as an empty row.
class SheetRows {
  public:
    static constexpr std::int32_t kPageRows = 32;

    SheetRows() = default;
    SheetRows(const SheetRows& other) { *this = other; }
    SheetRows& operator=(const SheetRows& other);
    SheetRows(SheetRows&&) noexcept = default;
    SheetRows& operator=(SheetRows&&) noexcept = default;

    std::int32_t size() const { return size_; }
    // Null outside 0..size()-1.
    const RowInfo* find(std::int32_t r) const;
    // The row as stored, null when its page was never needed.
    RowInfo* stored(std::int32_t r);
    // The row, its page allocated when missing; size() grows to r + 1.
    RowInfo& at(std::int32_t r);
    // Bytes held by the pages and their index (the cells not counted).
    std::size_t bytes() const;
    // Calls f(row, RowInfo&) for every row of an allocated page, in order.
    template <class F>
    void forEachStored(F&& f) {
        for (std::size_t p = 0; p < pages_.size(); ++p) {
            if (!pages_[p])
                continue;
            for (std::int32_t i = 0; i < kPageRows; ++i) {
                const auto r = static_cast<std::int32_t>(p) * kPageRows + i;
                if (r >= size_)
                    return;
                f(r, (*pages_[p])[static_cast<std::size_t>(i)]);
            }
        }
    }

  private:
    using Page = std::array<RowInfo, kPageRows>;
    std::vector<std::unique_ptr<Page>> pages_;
    std::size_t pageCount_ = 0;
    std::int32_t size_ = 0;
};

struct PageSetup {
    std::uint16_t paperSize = 9;    // A4
    std::uint16_t orientation = 1;  // 1 portrait, 2 landscape (spreadsheet codes)
    double leftMargin = 0.7, rightMargin = 0.7, topMargin = 0.75, bottomMargin = 0.75;  // inches
    double headerMargin = 0.3, footerMargin = 0.3;                                      // inches
    std::uint16_t scale = 100;
    std::string headerLeft, headerCenter, headerRight;
    std::string footerLeft, footerCenter, footerRight;
    std::optional<std::pair<std::int32_t, std::int32_t>> titleRows;  // 0-based first, last
    std::optional<std::pair<std::int32_t, std::int32_t>> titleCols;
    bool operator==(const PageSetup&) const = default;
};

struct SheetView {
    std::uint16_t zoom = 100;
    std::optional<std::pair<std::int32_t, std::int32_t>>
        freeze;  // top-left unfrozen cell (row, col)
};

// What a range of cells accepts when a value is typed into it: a number
// between two limits (both included), with a prompt shown on entering the
// cell and a stop message for anything else. Empty cells stay allowed.
enum class ValidationKind : std::uint8_t { WholeNumber = 1, Decimal = 2 };

struct DataValidation {
    ValidationKind kind = ValidationKind::Decimal;
    double minimum = 0;
    double maximum = 0;
    std::vector<CellRange> ranges;  // 0-based, corners ordered
    std::string promptTitle, prompt;
    std::string errorTitle, error;
    bool operator==(const DataValidation&) const = default;
};
// Longest texts (UTF-16 units) and most ranges of one rule the file holds.
inline constexpr std::size_t kMaxValidationTitle = 32;
inline constexpr std::size_t kMaxValidationPrompt = 255;
inline constexpr std::size_t kMaxValidationError = 225;
inline constexpr std::size_t kMaxValidationRanges = 512;

class Workbook;

class Sheet {
  public:
    Sheet(Workbook& book, std::string name);

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    bool visible = true;

    // Values. Setting a value on a new cell gives it the row's, else the
    // column's, else the default format.
    void setValue(std::int32_t row, std::int32_t col, const CellValue& value);
    // The same for the two common kinds, without building a CellValue.
    void setNumber(std::int32_t row, std::int32_t col, double number);
    void setText(std::int32_t row, std::int32_t col, const std::string& text);
    CellValue value(std::int32_t row, std::int32_t col) const;
    const Cell* cell(std::int32_t row, std::int32_t col) const;  // null when absent
    // Set a raw cell (reader): value and format id.
    void putCell(std::int32_t row, std::int32_t col, const Cell& cell);

    // Format of a cell as it shows (cell, else row, else column, else default).
    std::uint32_t formatIdAt(std::int32_t row, std::int32_t col) const;
    // Apply a change to every format in the range. Cells: every cell of the
    // block is created if absent. Rows/Columns/Sheet: row/column defaults and
    // the existing cells they cover.
    void changeFormat(RangeKind kind, const CellRange& range,
                      const std::function<void(CellFormat&)>& change);
    // The same, where the change depends on the cell's place in the range
    // (EdgeBits: borders differ on the edges and inside).
    void changeFormatByEdge(RangeKind kind, const CellRange& range,
                            const std::function<void(CellFormat&, unsigned edges)>& change);
    // Copy cells, rows, columns, merges, page setup, view and protection of
    // another sheet (of this or another workbook) into this one.
    void assignFrom(const Sheet& source);
    // The same, taking the cells of `source` (of another workbook), which is
    // left without them: a large sheet read beside the book joins it without
    // a copy.
    void takeFrom(Sheet& source);
    // The rows of `source` that hold anything, taken (as takeFrom does) into
    // the rows `offset` further down here, which are empty: the rest of a
    // sheet read beside its beginning.
    void takeRowsFrom(Sheet& source, std::int32_t offset);

    // Used range: last row and column (0-based) of cells with a value or a
    // format; nullopt for an empty sheet.
    std::optional<std::pair<std::int32_t, std::int32_t>> lastCell() const;
    // Last row (0-based) of a column holding a value; nullopt when none.
    std::optional<std::int32_t> lastValueRow(std::int32_t col) const;

    std::int32_t rowCount() const { return rows_.size(); }
    // Bytes the rows take beside their cells (see SheetRows).
    std::size_t rowBytes() const { return rows_.bytes(); }
    const RowInfo* row(std::int32_t r) const;
    RowInfo& rowInfo(std::int32_t r);
    ColumnInfo& column(std::int32_t c) { return columns_[static_cast<std::size_t>(c)]; }
    const ColumnInfo& column(std::int32_t c) const { return columns_[static_cast<std::size_t>(c)]; }

    std::vector<CellRange> merges;
    std::vector<DataValidation> validations;
    PageSetup pageSetup;
    SheetView view;
    bool protectedSheet = false;
    std::uint16_t passwordHash = 0;
    std::optional<std::uint16_t> defaultRowHeight;  // twips, when set for all rows

    Workbook& book() { return *book_; }
    const Workbook& book() const { return *book_; }

  private:
    void growRow(RowInfo& ri, std::int32_t r, std::int32_t c);
    // Format and string ids of cells taken from another workbook, made this one's.
    void adoptIds(const Workbook& other);
    Cell& ensureCell(std::int32_t r, std::int32_t c);

    Workbook* book_;
    std::string name_;
    std::size_t rowRoom_ = 0;  // cells of the widest row so far
    SheetRows rows_;
    std::vector<ColumnInfo> columns_;
};

class Workbook {
  public:
    Workbook() = default;
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    Sheet& addSheet(const std::string& name);  // at the end
    Sheet& insertSheet(std::size_t position, const std::string& name);
    void removeSheet(std::size_t index);  // keeps activeSheet on a sheet
    // A copy of `source` (of this or another workbook) at `position`.
    Sheet& copySheet(const Sheet& source, std::size_t position, const std::string& name);
    std::size_t sheetCount() const { return sheets_.size(); }
    Sheet& sheet(std::size_t index) { return *sheets_[index]; }
    const Sheet& sheet(std::size_t index) const { return *sheets_[index]; }
    // Index of a sheet by name, case-insensitive for ASCII letters as the
    // spreadsheet compares them; nullopt when absent.
    std::optional<std::size_t> findSheet(const std::string& name) const;

    std::size_t activeSheet = 0;
    bool protectedStructure = false;
    bool protectedWindows = false;
    std::uint16_t passwordHash = 0;

    FormatTable formats;
    StringTable strings;

  private:
    std::vector<std::unique_ptr<Sheet>> sheets_;
};

// The spreadsheet's standard password hash (the hash of "password" is 0x83AF).
std::uint16_t PasswordHash(const std::string& password);

}  // namespace xls
