#pragma once
// BIFF8 record layer of the .xls reader: a record iterator that folds
// CONTINUE records into the record they continue, a cursor that reads
// strings across those boundaries, and the small decoders of single records.
// Everything checks lengths before reading and throws PlatformError
// (kErrDamaged) with what it expected and what it found.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BiffRecords.h"
#include "Workbook.h"

namespace xls::biff {

inline std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline double LeDouble(const std::uint8_t* p) {
    std::uint64_t bits =
        static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// One record with its CONTINUE records folded in. `data` points into the
// stream when nothing was folded and into the reader's reused buffer
// otherwise; it stays valid until the next call of next().
struct Record {
    std::uint16_t id = 0;
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    std::size_t offset = 0;  // stream offset of the record header
    // Offsets within `data` at which each folded CONTINUE began.
    const std::uint32_t* breaks = nullptr;
    std::size_t breakCount = 0;

    // Throws unless the payload holds at least n bytes.
    void need(std::uint32_t n) const;
};

class RecordReader {
  public:
    RecordReader(const std::uint8_t* stream, std::size_t size, std::size_t start = 0)
        : stream_(stream), size_(size), pos_(start) {}

    // Next record; false when fewer than 4 bytes remain. A length that runs
    // past the end of the stream throws.
    bool next(Record& record);
    std::size_t position() const { return pos_; }

  private:
    const std::uint8_t* stream_;
    std::size_t size_;
    std::size_t pos_;
    std::vector<std::uint8_t> fold_;
    std::vector<std::uint32_t> breaks_;
};

// Reads a payload front to back. Character data that crosses a CONTINUE
// boundary resumes with a fresh option byte (the width may switch); any other
// field simply continues.
class Cursor {
  public:
    explicit Cursor(const Record& record, std::uint32_t start = 0)
        : record_(&record), pos_(start) {}

    std::uint32_t position() const { return pos_; }
    std::uint32_t remaining() const { return record_->size - pos_; }
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    void skip(std::uint32_t n);
    // Appends cch characters, 8-bit (Latin-1) or 16-bit as `wide` says at first.
    void chars(std::uint32_t cch, bool wide, std::u16string& out);
    // XLUnicodeString (cch 16-bit) or ShortXLUnicodeString (cch 8-bit).
    std::string unicodeString(bool shortLength);
    // One XLUnicodeRichExtendedString of the SST (runs and phonetic data
    // skipped), into `out` (replaced).
    void richExtendedString(std::string& out);

  private:
    void need(std::uint32_t n) const;
    const Record* record_;
    std::uint32_t pos_;
    std::size_t breakIndex_ = 0;
    std::u16string scratch_;
};

// RK number: 30-bit signed integer or upper bits of a double, optionally / 100.
double DecodeRk(std::uint32_t rk);

// Built-in number formats 0-58: the locale-neutral forms, and for 27-36 and
// 50-58 the Japanese date and time forms; nullopt for ids without a fixed text.
std::optional<std::string> BuiltinNumberFormat(std::uint16_t ifmt);
// True for formats that show a date or time (so 1904-based serials need shifting).
bool IsDateFormat(const std::string& format);

Font ParseFont(const Record& record);

// An XF as stored, before parent style XFs are applied.
struct RawXf {
    std::uint16_t font = 0;
    std::uint16_t ifmt = 0;
    bool isStyle = false;
    std::uint16_t parent = 0xFFF;
    std::uint8_t usedFlags = 0;  // fAtrNum..fAtrProt in bits 0-5
    CellFormat format;           // every field except font and numberFormat
};
RawXf ParseXf(const Record& record);

struct BoundSheet {
    std::uint32_t offset = 0;
    std::uint8_t state = 0;  // 0 visible, 1 hidden, 2 very hidden
    std::uint8_t type = 0;   // 0 worksheet or dialog, 2 chart, 6 VB module
    std::string name;
};
BoundSheet ParseBoundSheet(const Record& record);

// The strings of an SST record (with its CONTINUE records folded in).
// Reservations are capped by the bytes present, not by the stated count.
std::vector<std::string> ParseSst(const Record& record);
// The same, handing each string to `take` as it is decoded (no list kept).
void ForEachSstString(const Record& record, const std::function<void(const std::string&)>& take);

// Splits a header/footer text into its &L, &C and &R sections (text before
// any section code belongs to the centre).
void SplitHeaderFooter(const std::string& text, std::string& left, std::string& center,
                       std::string& right);

// Human-readable listing of the records of a BIFF stream, for debugging.
std::string DumpRecords(const std::uint8_t* stream, std::size_t size,
                        std::size_t maxRecords = 100000, std::size_t maxBytesShown = 32);

}  // namespace xls::biff
