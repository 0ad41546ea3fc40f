#pragma once
// The pieces of the .xls writer and what they share: the style tables built
// from a workbook's formats, the writers of the records every part uses, the
// workbook globals, the shared strings and the sheets.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "BiffRecords.h"
#include "BiffWriter.h"
#include "EngineErrors.h"
#include "PlatformError.h"
#include "Workbook.h"

namespace xls::writer {

using biff::BiffBuffer;
using biff::kMaxRecordData;

inline constexpr std::size_t kStyleXfCount = 15;
inline constexpr std::size_t kDefaultCellXf = 15;
inline constexpr std::size_t kMaxXfCount = 4000;
inline constexpr std::size_t kMaxFontCount = 510;
inline constexpr std::uint16_t kDefaultColWidth = 2340;  // 1/256 char: 8.43 characters
inline constexpr std::uint16_t kStandardRowTwips = 270;  // twips: 13.5 pt
inline constexpr std::size_t kMaxMergesPerRecord = 1026;

inline PlatformError limitError(const std::string& what) {
    return PlatformError(kErrLimit, what);
}

// The file-level tables: which XF each format id became, the fonts and the
// number formats those XFs need.
struct StyleTables {
    std::vector<std::uint16_t> xfOfFormat;  // by format id; 0 = unused
    std::vector<std::uint32_t> xfFormats;   // format id of XF 16, 17, ...
    std::vector<Font> fonts;                // FONT records after the four defaults
    std::vector<std::uint16_t> fontOfXf;    // by xfFormats index
    std::vector<std::uint16_t> ifmtOfXf;
    std::vector<std::pair<std::uint16_t, std::string>> customFormats;
    std::uint32_t labelCount = 0;  // LABELSST records the sheets will hold

    std::uint16_t xf(std::uint32_t formatId) const { return xfOfFormat[formatId]; }
};

// The tables of a workbook; throws when it has more formats or fonts than
// the file can hold.
StyleTables buildStyles(const Workbook& book);
// Number format id of the default cell format.
std::uint16_t defaultFormatIfmt(const Workbook& book, const StyleTables& styles);
void writeFont(BiffBuffer& b, const Font& f);
void writeXf(BiffBuffer& b, const CellFormat& f, std::uint16_t font, std::uint16_t ifmt);
void writeStyleXfs(BiffBuffer& b);

// BOF of the globals (0x0005) or of a worksheet (0x0010).
void writeBof(BiffBuffer& b, std::uint16_t dt);
void writeU16Record(BiffBuffer& b, std::uint16_t id, std::uint16_t v);
void writeDouble(BiffBuffer& b, std::uint16_t id, double v);

// SST and EXTSST: `total` is the number of LABELSST records of the sheets.
void writeSst(BiffBuffer& b, const StringTable& strings, std::uint32_t total);

// What the globals' record writers share; plyPos collects where each
// sheet's stream offset is to be patched in.
struct Globals {
    BiffBuffer& b;
    const Workbook& book;
    const StyleTables& styles;
    std::size_t active;
    std::vector<std::size_t> plyPos;
};
void writeGlobals(Globals& globals);

// One worksheet substream, BOF to EOF.
void writeSheet(BiffBuffer& b, const StyleTables& styles, const Sheet& sheet, bool active);
// The same in pieces that may be written apart and joined in order: the
// records before the cells; the rows from firstRow (a multiple of kRowBlock)
// up to endRow; the records after the cells.
inline constexpr std::int32_t kRowBlock = 32;  // rows whose ROW records go first
void writeSheetHead(BiffBuffer& b, const StyleTables& styles, const Sheet& sheet);
void writeSheetRows(BiffBuffer& b, const StyleTables& styles, const Sheet& sheet,
                    std::int32_t firstRow, std::int32_t endRow);
void writeSheetTail(BiffBuffer& b, const StyleTables& styles, const Sheet& sheet, bool active);

// The whole BIFF8 stream of a workbook, handed to `sink` piece after piece
// in stream order on the calling thread while later pieces may still be
// written on a second one. A sink returning false stops the stream, and
// writeStream returns false. Throws PlatformError when the book cannot be
// written (after the pieces before the failure were handed over).
using PieceSink = std::function<bool(const BiffBuffer&)>;
bool writeStream(const Workbook& book, const PieceSink& sink);

}  // namespace xls::writer
