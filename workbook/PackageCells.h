#pragma once
// What the .xlsx and .ods readers share: the cell values their XML spells as
// text (numbers, error names, dates and times), and the putting of cells into
// a sheet within the model's rows and columns.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Workbook.h"

namespace xls::package {

// A decimal number as XML writes it ("1234", "-0.5", "1.5E+3"); nullopt for
// anything else or a number no cell holds (infinite, NaN).
std::optional<double> ParseNumber(std::string_view text);

// The BIFF code of an error value by its name ("#DIV/0!" -> 0x07). Names the
// file format does not share with .xls (LibreOffice's "Err:502", "#N/A" kin)
// give #VALUE!.
std::uint8_t ErrorCode(std::string_view name);

// A date or date and time ("2024-04-01", "2024-04-01T12:30:00.5") as a serial
// number of the 1900 date system; nullopt when it is none.
std::optional<double> DateSerial(std::string_view iso);
// A duration ("PT12H30M00S", "P1DT2H") in days; nullopt when it is none.
std::optional<double> DurationDays(std::string_view iso);

// The refusal of a value beyond the model's last row (PlatformError).
[[noreturn]] void ThrowBeyondLastRow(const std::string& sheetName);

// Puts cells into a sheet. A value beyond the model's last row is refused
// (a fee workbook never has one, and dropping it would lose the clerk's
// entry without a word); cells beyond its last column are not read.
class CellSink {
  public:
    explicit CellSink(Sheet& sheet) : sheet_(sheet) {}
    // False when the column lies beyond the model (the cell is dropped).
    // A row's first cell sizes it as wide as the row before: growing each
    // row cell by cell leaves a trail of fresh memory the system must clear.
    bool put(std::int32_t row, std::int32_t col, const Cell& cell, std::size_t width = 0);
    // A row's cells at once, ordered by their columns, all within the model.
    void putRow(std::int32_t row, const std::pair<std::int32_t, Cell>* cells, std::size_t count);

  private:
    Sheet& sheet_;
    std::size_t lastWidth_ = 0;
};

// Format id of a number format code (the rest of the format default).
std::uint32_t NumberFormatId(Workbook& book, const std::string& code);

}  // namespace xls::package
