#pragma once
// The formatting codes of the pClExcel interface (palette colour indexes,
// line styles and weights, alignment constants) mapped to the codes the file
// stores. An unknown code throws the PlatformError the spreadsheet raises.

#include <cstdint>

#include "Workbook.h"

namespace pclexcel {

// ColorIndex of an interior (1..56 or automatic) to the palette entry.
std::uint16_t fillColor(std::int32_t colorIndex);
// ColorIndex of a font (1..56, automatic, none or 0) to the palette entry.
std::uint16_t fontColor(std::int32_t colorIndex);

bool validLineStyle(std::int32_t style);
bool validWeight(std::int32_t weight);
// LineStyle := style, then Weight := weight when not 0.
void setLine(xls::Border& border, std::int32_t style, std::int32_t weight);

std::uint8_t hAlignOf(std::int32_t code);
std::uint8_t vAlignOf(std::int32_t code);

}  // namespace pclexcel
