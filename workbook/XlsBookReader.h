#pragma once
// The reader of one BIFF8 workbook stream: the globals (fonts, formats, XFs,
// sheets, shared strings, print titles), then each worksheet's records.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "BiffReader.h"
#include "Workbook.h"

namespace xls::reading {

using namespace biff;

inline constexpr std::uint16_t kBiff8 = 0x0600;
inline constexpr std::uint16_t kBiff5 = 0x0500;
inline constexpr std::uint16_t kDtGlobals = 0x0005;
inline constexpr std::uint16_t kDtWorksheet = 0x0010;
inline constexpr std::uint32_t kNoFormat = 0xFFFFFFFFu;
// What the rows and cells of all sheets may take, by the stream's size: a
// cell takes 16 bytes here and at least 2 in the file (MULBLANK), but one
// short record can name row 65,535 or column 255 and so make a row's slots
// from column 0. Real workbooks stay well inside the fixed part alone.
inline constexpr std::size_t kCellBudgetFixed = std::size_t{32} << 20;
inline constexpr std::size_t kCellBudgetPerByte = 32;

// The BIFF8 content of one workbook stream, turned into a Workbook.
class BookReader {
  public:
    BookReader(const std::uint8_t* stream, std::size_t size, bool workbookStream)
        : stream_(stream), size_(size), workbookStream_(workbookStream) {}

    std::unique_ptr<Workbook> read();

  private:
    struct PrintTitles {
        std::size_t boundSheet = 0;
        std::optional<std::pair<std::int32_t, std::int32_t>> rows, cols;
    };

    struct PendingString {
        std::int32_t row = -1;
        std::int32_t col = 0;
        std::uint32_t format = 0;
    };

    const std::uint8_t* stream_;
    std::size_t size_;
    bool workbookStream_;
    std::unique_ptr<Workbook> book_;
    std::size_t globalsEnd_ = 0;

    bool date1904_ = false;
    std::size_t activeTab_ = 0;
    std::vector<Font> fonts_;
    std::unordered_map<std::uint16_t, std::string> numberFormats_;
    std::vector<RawXf> xfs_;
    std::vector<BoundSheet> boundSheets_;
    std::vector<std::uint32_t> sst_;  // SST index -> StringTable id
    std::vector<PrintTitles> printTitles_;

    std::vector<CellFormat> resolved_;
    std::vector<bool> isDate_;
    std::vector<std::uint32_t> formatIds_;
    // Per row of the sheet being read: columns its ROW record announces,
    // until the row's first cell arrives.
    std::vector<std::uint16_t> rowWidth_;
    // Bytes the rows and cells read so far take (see kCellBudgetFixed).
    std::size_t cellBytes_ = 0;

    void checkVersion(const Record& bof);
    void readGlobals();
    void dispatchGlobal(const Record& rec);
    // NAME: grbit, chKey, cch, cce, 0, itab, 4 x 0, name, rgce. Only the
    // built-in Print_Titles is used: one or two PtgArea3d (in a PtgMemFunc
    // with a PtgUnion), whole columns or whole rows of the sheet itab.
    void readPrintTitles(const Record& rec);
    // Font of an XF: FONT records are numbered 0-3, then 5 onwards (no 4).
    Font fontAt(std::uint16_t index) const;
    std::string numberFormatAt(std::uint16_t ifmt) const;
    // XFs are resolved once all of them are known. Cell XFs are taken as
    // stored: their "attribute used" flags are not reliable (xlwt clears the
    // number-format flag of cells that carry #,##0), and Excel, LibreOffice
    // and Gnumeric store every attribute in the cell XF itself.
    void resolveFormats();
    // Format id of an XF index, interned on first use so that only formats
    // that cells, rows or columns use enter the table.
    std::uint32_t formatOf(std::uint16_t xf);
    // Adds what a row grew by to cellBytes_; refuses the file past its budget.
    void charge(const Sheet& sheet, std::size_t rowBytesBefore, std::size_t cellsBefore,
                std::uint16_t row);
    void readSheets();
    [[noreturn]] void badCell(const Sheet& sheet, const Record& rec, const std::string& what);
    void put(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
             std::uint16_t xf, Cell& cell);
    void putNumber(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
                   std::uint16_t xf, double value);
    void putText(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
                 std::uint16_t xf, std::uint32_t textId);
    void putBlank(Sheet& sheet, const Record& rec, std::uint16_t row, std::uint16_t col,
                  std::uint16_t xf);
    // Reads one worksheet substream; returns the stream offset after its EOF.
    std::size_t readSheet(std::size_t at, Sheet& sheet);
    static void setMargin(double& target, double inches);
};

}  // namespace xls::reading
