#pragma once
// Text results that a writer stored as the number 0. LibreOffice saves the
// result of a formula in a cell with a number format by that format's type:
// ="abc" or =IF(N3="";"";N3*1.1) over a blank N3 in a "#,##0" cell is saved
// as 0, although every application shows (and recalculates to) the text or
// nothing. Such formulas are worked out again from their tokens once the
// sheet is read; a formula with anything beyond plain arithmetic, text,
// comparisons, references within the sheet and a few functions (IF, ROUND,
// ROUNDUP, ROUNDDOWN, INT, ABS, TRUNC, TRUE, FALSE, NA) keeps its stored
// result. Only a text result replaces a stored 0: the numbers the writer
// stored are its own calculation and stay as they are.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "Variant.h"
#include "Workbook.h"

namespace xls {

// The value of a BIFF8 formula (its rgce tokens) in cell (row, col) of
// `sheet`, 0-based; `shared` reads relative references (PtgRefN) from the
// cell. nullopt when the formula uses what is not worked out here.
std::optional<CellValue> EvaluateFormula(const std::uint8_t* tokens, std::size_t size,
                                         const Sheet& sheet, const StringTable& strings,
                                         std::int32_t row, std::int32_t col, bool shared);

// The formulas of one sheet whose stored result was 0, collected while the
// sheet is read and worked out at its end.
class ZeroResultFormulas {
  public:
    // FORMULA record data (rw, col, ixfe, result, flags, chn, cce, rgce).
    void noteFormula(const std::uint8_t* data, std::size_t size);
    // SHRFMLA record data (RefU, reserved, cUse, cce, rgce).
    void noteShared(const std::uint8_t* data, std::size_t size);
    // Replaces each noted result that works out as a text by that text.
    void apply(Sheet& sheet, StringTable& strings) const;

  private:
    struct Noted {
        std::int32_t row, col;
        std::vector<std::uint8_t> tokens;
    };
    std::vector<Noted> formulas_;
    std::map<std::pair<std::int32_t, std::int32_t>, std::vector<std::uint8_t>> shared_;
};

}  // namespace xls
