#include "PackageCells.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "EngineErrors.h"
#include "PlatformError.h"

namespace xls::package {

std::optional<double> ParseNumber(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    // Whole numbers of up to 15 digits (amounts, codes, counts: most cells)
    // are exact as they are summed up here.
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    if (!digits.empty() && digits.size() <= 15 &&
        std::all_of(digits.begin(), digits.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
        std::int64_t whole = 0;
        for (const char ch : digits)
            whole = whole * 10 + (ch - '0');
        return negative ? -static_cast<double>(whole) : static_cast<double>(whole);
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::uint8_t ErrorCode(std::string_view name) {
    static const struct {
        std::string_view name;
        std::uint8_t code;
    } kErrors[] = {{"#NULL!", 0x00}, {"#DIV/0!", 0x07}, {"#VALUE!", 0x0F}, {"#REF!", 0x17},
                   {"#NAME?", 0x1D}, {"#NUM!", 0x24},   {"#N/A", 0x2A}};
    for (const auto& e : kErrors) {
        if (e.name == name)
            return e.code;
    }
    return 0x0F;
}

namespace {

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// Days from 1970-01-01 of a proleptic Gregorian date.
long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

std::optional<double> DateSerial(std::string_view iso) {
    int y = 0, m = 0, d = 0;
    if (!Digits(iso, 0, 4, y) || iso.size() < 10 || iso[4] != '-' || !Digits(iso, 5, 2, m) ||
        iso[7] != '-' || !Digits(iso, 8, 2, d) || m < 1 || m > 12 || d < 1 || d > 31)
        return std::nullopt;
    // Serial 1 is 1900-01-01 and the system counts a 1900-02-29, so from
    // March 1900 on a serial is the days since 1899-12-30.
    double serial = static_cast<double>(DaysFromCivil(y, m, d) - DaysFromCivil(1899, 12, 30));
    if (serial < 61)
        serial -= 1;
    if (serial < 0)
        serial = 0;
    if (iso.size() > 10) {
        int h = 0, mi = 0, s = 0;
        if ((iso[10] != 'T' && iso[10] != ' ') || !Digits(iso, 11, 2, h) || iso.size() < 16 ||
            iso[13] != ':' || !Digits(iso, 14, 2, mi))
            return std::nullopt;
        double seconds = 0;
        if (iso.size() > 16) {
            if (iso[16] != ':' || !Digits(iso, 17, 2, s))
                return std::nullopt;
            seconds = s;
            std::string_view fraction = iso.substr(19);
            while (!fraction.empty() && (fraction.back() == 'Z'))
                fraction.remove_suffix(1);
            if (!fraction.empty()) {
                const auto part = ParseNumber(std::string("0") + std::string(fraction));
                if (!part || fraction.front() != '.')
                    return std::nullopt;
                seconds += *part;
            }
        }
        serial += (h * 3600.0 + mi * 60.0 + seconds) / 86400.0;
    }
    return serial;
}

std::optional<double> DurationDays(std::string_view iso) {
    bool negative = false;
    if (!iso.empty() && iso.front() == '-') {
        negative = true;
        iso.remove_prefix(1);
    }
    if (iso.empty() || iso.front() != 'P')
        return std::nullopt;
    iso.remove_prefix(1);
    double seconds = 0;
    bool inTime = false;
    bool any = false;
    while (!iso.empty()) {
        if (iso.front() == 'T') {
            inTime = true;
            iso.remove_prefix(1);
            continue;
        }
        std::size_t n = 0;
        while (n < iso.size() && ((iso[n] >= '0' && iso[n] <= '9') || iso[n] == '.'))
            ++n;
        if (n == 0 || n == iso.size())
            return std::nullopt;
        const auto value = ParseNumber(iso.substr(0, n));
        if (!value)
            return std::nullopt;
        const char unit = iso[n];
        if (unit == 'D' && !inTime)
            seconds += *value * 86400.0;
        else if (unit == 'H' && inTime)
            seconds += *value * 3600.0;
        else if (unit == 'M' && inTime)
            seconds += *value * 60.0;
        else if (unit == 'S' && inTime)
            seconds += *value;
        else
            return std::nullopt;
        any = true;
        iso.remove_prefix(n + 1);
    }
    if (!any)
        return std::nullopt;
    return (negative ? -seconds : seconds) / 86400.0;
}

void ThrowBeyondLastRow(const std::string& sheetName) {
    throw PlatformError(kErrLimit, "シート「" + sheetName + "」の " + std::to_string(kMaxRows) +
                                       " 行目より後にデータがあるため読み込めません");
}

bool CellSink::put(std::int32_t row, std::int32_t col, const Cell& cell, std::size_t width) {
    if (col < 0 || col >= kMaxCols)
        return false;
    if (row < 0 || row >= kMaxRows)
        ThrowBeyondLastRow(sheet_.name());
    RowInfo& info = sheet_.rowInfo(row);
    if (info.cells.empty()) {
        const std::size_t want = std::max({width, lastWidth_, static_cast<std::size_t>(col) + 1});
        info.cells.reserve(std::min<std::size_t>(want, kMaxCols));
    }
    sheet_.putCell(row, col, cell);
    lastWidth_ = std::max<std::size_t>(info.cells.size(), width);
    return true;
}

void CellSink::putRow(std::int32_t row, const std::pair<std::int32_t, Cell>* cells,
                      std::size_t count) {
    if (count == 0)
        return;
    if (row < 0 || row >= kMaxRows)
        ThrowBeyondLastRow(sheet_.name());
    // The cells come left to right, within the model's columns.
    const auto width = static_cast<std::size_t>(cells[count - 1].first) + 1;
    RowInfo& info = sheet_.rowInfo(row);
    if (info.cells.empty())
        info.cells.reserve(std::max(width, lastWidth_));
    for (std::size_t i = 0; i < count; ++i)
        sheet_.putCell(row, cells[i].first, cells[i].second);
    lastWidth_ = std::max(info.cells.size(), width);
}

std::uint32_t NumberFormatId(Workbook& book, const std::string& code) {
    CellFormat format;
    format.numberFormat = code;
    return book.formats.intern(format);
}

}  // namespace xls::package
