#include "pClExcel.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "EngineErrors.h"
#include "NumberFormat.h"
#include "XlsReader.h"
#include "XlsWriter.h"

using xls::CellFormat;
using xls::CellRange;
using xls::CellValue;
using xls::RangeKind;

namespace {

constexpr std::int32_t kMaxRow = 65535;  // rows the class addresses
constexpr std::int32_t kMaxCol = 256;
constexpr std::int32_t kRowsCount = 65536;  // rows of a sheet

// Spreadsheet constants.
constexpr std::int32_t xlAutomatic = -4105;
constexpr std::int32_t xlNone = -4142;

PlatformError refused(const std::string& what) {
    return PlatformError(xls::kErrGeneral, what);
}

// ---------------------------------------------------------------------------
// Codes of the interface mapped to the file's codes.

// ColorIndex n of the standard palette is palette entry (icv) n + 7.
std::uint16_t fillColor(std::int32_t colorIndex) {
    if (colorIndex >= 1 && colorIndex <= 56)
        return static_cast<std::uint16_t>(colorIndex + 7);
    if (colorIndex == xlAutomatic)
        return xls::kDefaultFg;
    throw refused("Interior クラスの ColorIndex プロパティを設定できません(色番号 " +
                  std::to_string(colorIndex) + ")。");
}

std::uint16_t fontColor(std::int32_t colorIndex) {
    if (colorIndex >= 1 && colorIndex <= 56)
        return static_cast<std::uint16_t>(colorIndex + 7);
    if (colorIndex == xlAutomatic || colorIndex == xlNone || colorIndex == 0)
        return xls::kAutoColor;
    throw refused("Font クラスの ColorIndex プロパティを設定できません(色番号 " +
                  std::to_string(colorIndex) + ")。");
}

// Line styles and weights of the interface against the file's border styles.
constexpr std::int32_t xlContinuous = 1, xlDash = -4115, xlDot = -4118, xlDouble = -4119,
                       xlDashDot = 4, xlDashDotDot = 5, xlSlantDashDot = 13;
constexpr std::int32_t xlHairline = 1, xlThin = 2, xlMedium = -4138, xlThick = 4;

bool validLineStyle(std::int32_t s) {
    return s == xlContinuous || s == xlDash || s == xlDot || s == xlDouble || s == xlDashDot ||
           s == xlDashDotDot || s == xlSlantDashDot || s == xlNone;
}
bool validWeight(std::int32_t w) {
    return w == xlHairline || w == xlThin || w == xlMedium || w == xlThick;
}

struct Line {
    std::int32_t style;
    std::int32_t weight;
};

Line lineOf(std::uint8_t biff) {
    switch (biff) {
        case 1:
            return {xlContinuous, xlThin};
        case 2:
            return {xlContinuous, xlMedium};
        case 3:
            return {xlDash, xlThin};
        case 4:
            return {xlDot, xlThin};
        case 5:
            return {xlContinuous, xlThick};
        case 6:
            return {xlDouble, xlThick};
        case 7:
            return {xlContinuous, xlHairline};
        case 8:
            return {xlDash, xlMedium};
        case 9:
            return {xlDashDot, xlThin};
        case 10:
            return {xlDashDot, xlMedium};
        case 11:
            return {xlDashDotDot, xlThin};
        case 12:
            return {xlDashDotDot, xlMedium};
        case 13:
            return {xlSlantDashDot, xlMedium};
        default:
            return {xlNone, xlThin};
    }
}

std::uint8_t biffOf(Line line) {
    const bool heavy = line.weight == xlMedium || line.weight == xlThick;
    switch (line.style) {
        case xlContinuous:
            if (line.weight == xlHairline)
                return 7;
            if (line.weight == xlMedium)
                return 2;
            if (line.weight == xlThick)
                return 5;
            return 1;
        case xlDash:
            return heavy ? 8 : 3;
        case xlDot:
            return 4;
        case xlDouble:
            return 6;
        case xlDashDot:
            return heavy ? 10 : 9;
        case xlDashDotDot:
            return heavy ? 12 : 11;
        case xlSlantDashDot:
            return 13;
        default:
            return 0;
    }
}

// LineStyle := style, then Weight := weight when not 0. A new style keeps
// the border's weight; a weight on a border without line draws a
// continuous one, as the spreadsheet does.
void setLine(xls::Border& border, std::int32_t style, std::int32_t weight) {
    Line line = lineOf(border.style);
    line.style = style;
    border.style = biffOf(line);
    if (weight != 0) {
        line = lineOf(border.style);
        if (line.style == xlNone)
            line.style = xlContinuous;
        line.weight = weight;
        border.style = biffOf(line);
    }
}

std::uint8_t hAlignOf(std::int32_t code) {
    switch (code) {
        case 1:
            return 0;  // general
        case -4131:
            return 1;  // left
        case -4108:
            return 2;  // centre
        case -4152:
            return 3;  // right
        case 5:
            return 4;  // fill
        case -4130:
            return 5;  // justify
        case 7:
            return 6;  // centre across selection
        case -4117:
            return 7;  // distributed
        default:
            throw refused("Range クラスの HorizontalAlignment プロパティを設定できません(" +
                          std::to_string(code) + ")。");
    }
}

std::uint8_t vAlignOf(std::int32_t code) {
    switch (code) {
        case -4160:
            return 0;  // top
        case -4108:
            return 1;  // centre
        case -4107:
            return 2;  // bottom
        case -4130:
            return 3;  // justify
        case -4117:
            return 4;  // distributed
        default:
            throw refused("Range クラスの VerticalAlignment プロパティを設定できません(" +
                          std::to_string(code) + ")。");
    }
}

// ---------------------------------------------------------------------------
// Values

// Text that reads as a number: blanks around, an optional sign, digits
// (thousands separators in groups of three allowed), an optional decimal
// point with digits, an optional exponent.
bool readsAsNumber(const std::string& text, double& out) {
    std::size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    if (b == e)
        return false;
    // Plain digits (codes, amounts, dates): exact without a parse.
    if (e - b <= 15) {
        std::size_t i = b;
        const bool negative = text[i] == '-';
        if (negative || text[i] == '+')
            ++i;
        if (i < e) {
            std::int64_t v = 0;
            std::size_t k = i;
            while (k < e && text[k] >= '0' && text[k] <= '9')
                v = v * 10 + (text[k++] - '0');
            if (k == e) {
                out = v == 0 ? 0.0 : static_cast<double>(negative ? -v : v);
                return true;
            }
        }
    }
    char buf[400];
    std::size_t n = 0;
    std::size_t i = b;
    if (text[i] == '+' || text[i] == '-') {
        if (text[i] == '-')
            buf[n++] = '-';
        ++i;
    }
    std::size_t intDigits = 0;
    std::size_t group = 0;
    bool grouped = false;
    while (i < e && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == ',')) {
        if (text[i] == ',') {
            if (intDigits == 0 || (grouped && group != 3) || (!grouped && group > 3))
                return false;
            grouped = true;
            group = 0;
        } else {
            if (n >= sizeof buf - 40)
                return false;
            buf[n++] = text[i];
            ++intDigits;
            ++group;
        }
        ++i;
    }
    if (grouped && group != 3)
        return false;
    std::size_t fracDigits = 0;
    if (i < e && text[i] == '.') {
        buf[n++] = '.';
        ++i;
        while (i < e && std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (n >= sizeof buf - 20)
                return false;
            buf[n++] = text[i++];
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0)
        return false;
    if (i < e && (text[i] == 'e' || text[i] == 'E')) {
        buf[n++] = 'e';
        ++i;
        if (i < e && (text[i] == '+' || text[i] == '-'))
            buf[n++] = text[i++];
        std::size_t expDigits = 0;
        while (i < e && std::isdigit(static_cast<unsigned char>(text[i])) && n < sizeof buf - 1) {
            buf[n++] = text[i++];
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != e)
        return false;
    double value = 0;
    const auto [end, ec] = std::from_chars(buf, buf + n, value);
    if (ec != std::errc() || end != buf + n || !std::isfinite(value))
        return false;
    out = value == 0 ? 0.0 : value;  // no negative zero
    return true;
}

std::size_t utf16Length(const std::string& s) {
    std::size_t units = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80)
            ++units;
        if (c >= 0xF0)
            ++units;  // a surrogate pair
    }
    return units;
}

// A value of the interface as the cell stores it.
CellValue cellValueOf(const xls::Variant& v) {
    switch (v.index()) {
        case 1: {
            const double d = std::get<double>(v);
            if (!std::isfinite(d))
                throw refused("セルに設定できない数値です。");
            return d;
        }
        case 2: {
            const auto& text = std::get<std::string>(v);
            if (text.empty())
                return std::monostate{};
            double number;
            if (readsAsNumber(text, number))
                return number;
            if (text.size() > 32767 && utf16Length(text) > 32767) {
                throw PlatformError(xls::kErrLimit,
                                    "セルに入力できる文字数(32767 文字)を超えています。");
            }
            return text;
        }
        case 3:
            return std::get<bool>(v);
        case 4:
            return std::get<xls::ErrorValue>(v);
        case 5: {
            const auto& a = std::get<xls::Array2D>(v);
            if (a.rows < 1 || a.cols < 1 || a.data.empty())
                return std::monostate{};
            xls::Variant first;
            std::visit([&first](const auto& x) { first = x; }, a.at(1, 1));
            return cellValueOf(first);
        }
        default:
            return std::monostate{};
    }
}

xls::Variant variantOf(const CellValue& v) {
    xls::Variant out;
    std::visit([&out](const auto& x) { out = x; }, v);
    return out;
}

// Numbers as text the way the platform's conversion gave them: whole
// numbers without decimals, others plainly with up to 15 significant digits,
// an exponent only for very large or very small magnitudes.
std::string numberText(double x) {
    if (x == 0)
        return "0";
    const double ax = std::fabs(x);
    char buf[64];
    if (ax >= 1e15 || ax < 1e-5) {
        std::snprintf(buf, sizeof buf, "%.14E", x);
        std::string s = buf;
        const auto ePos = s.find('E');
        std::string mant = s.substr(0, ePos);
        std::string exp = s.substr(ePos);
        if (mant.find('.') != std::string::npos) {
            while (!mant.empty() && mant.back() == '0')
                mant.pop_back();
            if (!mant.empty() && mant.back() == '.')
                mant.pop_back();
        }
        return mant + exp;
    }
    if (x == std::floor(x)) {
        std::snprintf(buf, sizeof buf, "%.0f", x);
        return buf;
    }
    const int magnitude = static_cast<int>(std::floor(std::log10(ax))) + 1;
    const int decimals = std::clamp(15 - magnitude, 0, 20);
    std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    if (s == "-0")
        s = "0";
    return s;
}

std::string textOf(const CellValue& v) {
    switch (v.index()) {
        case 1:
            return numberText(std::get<double>(v));
        case 2:
            return std::get<std::string>(v);
        case 3:
            return std::get<bool>(v) ? "True" : "False";
        case 4:
            throw PlatformError(13, "型が一致しません(セルにエラー値があります)。");
        default:
            return std::string();
    }
}

// What the number formats of a workbook show, classified once per format.
class FormatShows {
  public:
    explicit FormatShows(const xls::FormatTable& formats)
        : formats_(formats), shows_(formats.size(), kUnknown) {}

    // A number cell as a spreadsheet application hands it back: in a date or
    // time format it is a date, given as its date or time text.
    CellValue numberValue(const xls::Cell& cell) {
        const xls::NumberShows shows = showsOf(cell.format);
        if (shows == xls::NumberShows::Number)
            return cell.number;
        return xls::SerialText(cell.number, shows);
    }

  private:
    static constexpr std::uint8_t kUnknown = 0xFF;

    xls::NumberShows showsOf(std::uint32_t format) {
        if (format >= shows_.size())
            return xls::NumberShows::Number;
        std::uint8_t& known = shows_[format];
        if (known == kUnknown) {
            known = static_cast<std::uint8_t>(
                xls::ClassifyNumberFormat(formats_.get(format).numberFormat));
        }
        return static_cast<xls::NumberShows>(known);
    }

    const xls::FormatTable& formats_;
    std::vector<std::uint8_t> shows_;
};

// The value of one cell as the reads give it (dates as their text).
CellValue shownValue(const xls::Workbook& book, const xls::Sheet& sheet, std::int32_t row,
                     std::int32_t col) {
    const xls::Cell* cell = sheet.cell(row, col);
    if (cell != nullptr && cell->kind == xls::CellKind::Number)
        return FormatShows(book.formats).numberValue(*cell);
    return sheet.value(row, col);
}

// Column letters A..IV to a 1-based column; 0 when not a column.
std::int32_t columnOfLetters(const std::string& letters) {
    if (letters.empty() || letters.size() > 3)
        return 0;
    std::int32_t col = 0;
    for (char ch : letters) {
        char c = ch;
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        if (c < 'A' || c > 'Z')
            return 0;
        col = col * 26 + (c - 'A' + 1);
    }
    return col <= kMaxCol ? col : 0;
}

// A print-title text ("$1:$2", "1:2", "$A:$B", "$A$1:$C$3") to a 0-based
// row or column span.
std::optional<std::pair<std::int32_t, std::int32_t>> titleSpan(const std::string& text, bool rows) {
    std::string s;
    for (char c : text) {
        if (c != '$' && c != ' ')
            s += c;
    }
    if (s.empty())
        return std::nullopt;
    const auto colon = s.find(':');
    const std::string a = s.substr(0, colon);
    const std::string b = colon == std::string::npos ? a : s.substr(colon + 1);
    auto part = [&](const std::string& ref) -> std::int32_t {
        std::size_t k = 0;
        while (k < ref.size() && std::isalpha(static_cast<unsigned char>(ref[k])))
            ++k;
        const std::string letters = ref.substr(0, k);
        const std::string digits = ref.substr(k);
        if (!std::all_of(digits.begin(), digits.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
            return 0;
        }
        if (rows) {
            if (digits.empty() || digits.size() > 5)
                return 0;
            const int r = std::stoi(digits);
            return r >= 1 && r <= kRowsCount ? r : 0;
        }
        if (!digits.empty() && (digits.size() > 5 || std::stoi(digits) < 1))
            return 0;
        return columnOfLetters(letters);
    };
    const std::int32_t first = part(a);
    const std::int32_t last = part(b);
    if (first == 0 || last == 0) {
        throw refused("PageSetup クラスの " +
                      std::string(rows ? "PrintTitleRows" : "PrintTitleColumns") +
                      " プロパティを設定できません('" + text + "')。");
    }
    return std::make_pair(std::min(first, last) - 1, std::max(first, last) - 1);
}

double marginInches(double inches) {
    if (!std::isfinite(inches) || inches < 0 || inches > 49) {
        throw refused("PageSetup クラスの余白を設定できません(" + numberText(inches) + ")。");
    }
    return inches;
}

// Column width in characters to the file's 1/256 character units, with the
// cell padding of the standard font (7-pixel digits, 5 pixels of padding).
std::uint16_t widthUnits(double chars) {
    if (!std::isfinite(chars) || chars < 0 || chars > 255) {
        throw refused("Range クラスの ColumnWidth プロパティを設定できません(" + numberText(chars) +
                      ")。");
    }
    if (chars == 0)
        return 0;
    const double units = std::trunc((chars * 7 + 5) / 7 * 256);
    return static_cast<std::uint16_t>(std::min(units, 65535.0));
}

std::uint16_t heightTwips(double points) {
    if (!std::isfinite(points) || points < 0 || points > 409) {
        throw refused("Range クラスの RowHeight プロパティを設定できません(" + numberText(points) +
                      ")。");
    }
    return static_cast<std::uint16_t>(std::lround(points * 20));
}

// Display width of a text in half-width character cells.
std::size_t displayWidth(const std::string& s) {
    std::size_t w = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        // Half-width katakana (U+FF61..FF9F, EF BD A1..EF BE 9F) take one cell.
        const bool halfKana = len == 3 && c == 0xEF && i + 2 < s.size() &&
                              ((static_cast<unsigned char>(s[i + 1]) == 0xBD &&
                                static_cast<unsigned char>(s[i + 2]) >= 0xA1) ||
                               static_cast<unsigned char>(s[i + 1]) == 0xBE);
        w += (len == 1 || halfKana) ? 1 : 2;
        i += len;
    }
    return w;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

// ---------------------------------------------------------------------------
// Object and engine

pClExcel::pClExcel(MessageSink& messages) : messages_(messages) {
    Class_Initialize();
}

pClExcel::~pClExcel() {
    Class_Terminate();
}

// Starting the engine cannot fail, so the retry prompt of an application
// that does not start never appears.
void pClExcel::Class_Initialize() {
    mBookOpen = false;
    mBook.reset();
    mSheet = nullptr;
    mApp = true;
}

// Closes the book without saving and stops the engine; quiet when repeated.
void pClExcel::Class_Terminate() {
    if (mBookOpen)
        displayAlerts_ = false;
    mSheet = nullptr;
    mBook.reset();
    mApp = false;
}

void pClExcel::Report(const PlatformError& error) const {
    messages_.show(error.description() + "(" + std::to_string(error.number()) + ")", "",
                   MsgIcon::None, MsgButtons::Ok);
}

void pClExcel::RequireApp() const {
    if (!mApp)
        throw PlatformError(xls::kErrNoBook, "表計算エンジンが起動していません。");
}

xls::Workbook& pClExcel::RequireBook() const {
    RequireApp();
    if (!mBook)
        throw PlatformError(xls::kErrNoBook, "ブックが開かれていません。");
    return *mBook;
}

xls::Sheet& pClExcel::CurrentSheet() const {
    RequireBook();
    if (mSheet == nullptr)
        throw PlatformError(xls::kErrNoBook, "対象のシートが選ばれていません。");
    return *mSheet;
}

xls::Sheet& pClExcel::ActiveSheet() const {
    xls::Workbook& book = RequireBook();
    if (book.sheetCount() == 0)
        throw PlatformError(xls::kErrNoBook, "シートがありません。");
    return book.sheet(std::min(book.activeSheet, book.sheetCount() - 1));
}

std::size_t pClExcel::IndexOf(const xls::Sheet& sheet) const {
    for (std::size_t i = 0; i < mBook->sheetCount(); ++i) {
        if (&mBook->sheet(i) == &sheet)
            return i;
    }
    return 0;
}

void pClExcel::Activate(xls::Sheet& sheet) {
    if (!sheet.visible) {
        throw refused("Worksheet クラスの Activate メソッドが失敗しました(シート '" + sheet.name() +
                      "' は表示されていません)。");
    }
    mBook->activeSheet = IndexOf(sheet);
}

void pClExcel::CheckSheetName(const std::string& name, const xls::Sheet* renamed) const {
    const std::size_t len = utf16Length(name);
    const bool badChar = name.find_first_of(":\\/?*[]") != std::string::npos;
    if (len == 0 || len > 31 || badChar || name.front() == '\'' || name.back() == '\'') {
        throw refused("シート名 '" + name +
                      "' は使用できません。シート名は 31 文字以内で、: \\ / ? * [ ] "
                      "を含めることはできません。");
    }
    const auto found = mBook->findSheet(name);
    if (found && &mBook->sheet(*found) != renamed) {
        throw refused("シート名 '" + name + "' は既に使われています。");
    }
}

std::string pClExcel::UnusedSheetName(const std::string& base) const {
    for (int n = 2;; ++n) {
        std::string suffix = " (" + std::to_string(n) + ")";
        std::string stem = base;
        while (utf16Length(stem) + suffix.size() > 31 && !stem.empty()) {
            do {
                stem.pop_back();
            } while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80);
            if (!stem.empty() && static_cast<unsigned char>(stem.back()) >= 0xC0)
                stem.pop_back();
        }
        const std::string name = stem + suffix;
        if (!mBook->findSheet(name))
            return name;
    }
}

std::int16_t pClExcel::SheetCount() const {
    return static_cast<std::int16_t>(RequireBook().sheetCount());
}

bool pClExcel::OpenBook(const std::string& vBookName) {
    try {
        RequireApp();
        std::unique_ptr<xls::Workbook> book = xls::ReadXlsFile(vBookName);
        if (!book || book->sheetCount() == 0) {
            throw PlatformError(xls::kErrDamaged, "'" + vBookName + "' にはシートがありません。");
        }
        mBook = std::move(book);
        mSheet = &mBook->sheet(0);
        bookPath_ = vBookName;
        mBookOpen = true;
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::NewBook(const std::string& vSheetsName) {
    try {
        RequireApp();
        mBook = std::make_unique<xls::Workbook>();
        mBook->addSheet("Sheet1");
        mBook->activeSheet = 0;
        bookPath_.clear();
        mSheet = &mBook->sheet(0);
        CheckSheetName(vSheetsName, mSheet);
        mSheet->setName(vSheetsName);
        mBookOpen = true;
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::NewSheets(const std::string& vName) {
    mSheet = nullptr;
    xls::Workbook& book = RequireBook();
    const std::size_t after = std::min(book.activeSheet, book.sheetCount() - 1);
    std::string name;
    for (std::size_t n = book.sheetCount() + 1;; ++n) {
        name = "Sheet" + std::to_string(n);
        if (!book.findSheet(name))
            break;
    }
    xls::Sheet& sheet = book.insertSheet(after + 1, name);
    book.activeSheet = after + 1;
    CheckSheetName(vName, &sheet);
    sheet.setName(vName);
    mSheet = &sheet;
    return true;
}

bool pClExcel::SheetsVisible(const std::string& vName, bool vMode) {
    try {
        xls::Workbook& book = RequireBook();
        const auto index = book.findSheet(vName);
        if (!index)
            throw PlatformError(xls::kErrNoSuchSheet, "シート '" + vName + "' がありません。");
        xls::Sheet& sheet = book.sheet(*index);
        if (!vMode && sheet.visible) {
            std::size_t shown = 0;
            for (std::size_t i = 0; i < book.sheetCount(); ++i)
                shown += book.sheet(i).visible;
            if (shown <= 1) {
                throw refused("ブックには表示されたシートが少なくとも 1 つ必要です。");
            }
        }
        sheet.visible = vMode;
        if (!vMode && book.activeSheet == *index) {
            for (std::size_t k = 1; k < book.sheetCount(); ++k) {
                const std::size_t i = (*index + k) % book.sheetCount();
                if (book.sheet(i).visible) {
                    book.activeSheet = i;
                    break;
                }
            }
        }
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::DeleteSheets(const std::string& vName, bool vMsgMode) {
    try {
        displayAlerts_ = vMsgMode;
        xls::Workbook& book = RequireBook();
        const auto index = book.findSheet(vName);
        if (!index)
            throw PlatformError(xls::kErrNoSuchSheet, "シート '" + vName + "' がありません。");
        xls::Sheet& sheet = book.sheet(*index);
        std::size_t shown = 0;
        for (std::size_t i = 0; i < book.sheetCount(); ++i)
            shown += book.sheet(i).visible;
        if (sheet.visible && shown <= 1) {
            throw refused("ブックには表示されたシートが少なくとも 1 つ必要です。");
        }
        bool remove = true;
        if (displayAlerts_) {
            remove = messages_.show("シート '" + vName + "' を削除します。よろしいですか?", "",
                                    MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes;
        }
        if (remove) {
            if (mSheet == &sheet)
                mSheet = nullptr;
            const bool wasActive = book.activeSheet == *index;
            book.removeSheet(*index);
            if (wasActive && !book.sheet(book.activeSheet).visible) {
                for (std::size_t i = 0; i < book.sheetCount(); ++i) {
                    if (book.sheet(i).visible) {
                        book.activeSheet = i;
                        break;
                    }
                }
            }
        }
        displayAlerts_ = true;
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::ChangeSheets(const SheetRef& vName) {
    try {
        mSheet = nullptr;
        xls::Workbook& book = RequireBook();
        std::optional<std::size_t> index;
        if (const auto* name = std::get_if<std::string>(&vName)) {
            index = book.findSheet(*name);
        } else {
            const std::int32_t n = std::get<std::int32_t>(vName);
            if (n >= 1 && static_cast<std::size_t>(n) <= book.sheetCount()) {
                index = static_cast<std::size_t>(n - 1);
            }
        }
        if (!index) {
            throw PlatformError(xls::kErrNoSuchSheet,
                                "インデックスが有効範囲にありません(指定したシートがありません)。");
        }
        mSheet = &book.sheet(*index);
        Activate(*mSheet);
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::ChangeSheetName(const std::string& vName, const std::string& vNewname) {
    try {
        xls::Workbook& book = RequireBook();
        const auto index = book.findSheet(vName);
        if (!index)
            throw PlatformError(xls::kErrNoSuchSheet, "シート '" + vName + "' がありません。");
        xls::Sheet& sheet = book.sheet(*index);
        CheckSheetName(vNewname, &sheet);
        sheet.setName(vNewname);
        mSheet = &sheet;
        Activate(sheet);
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::InsertSheet(const std::string& vName, const std::string& vNewname,
                           std::int16_t vPos) {
    try {
        xls::Workbook& book = RequireBook();
        const auto index = book.findSheet(vName);
        if (!index)
            throw PlatformError(xls::kErrNoSuchSheet, "シート '" + vName + "' がありません。");
        const xls::Sheet& source = book.sheet(*index);
        book.copySheet(source, *index + 1, UnusedSheetName(source.name()));
        if (vPos < 1 || static_cast<std::size_t>(vPos) > book.sheetCount()) {
            throw PlatformError(
                xls::kErrNoSuchSheet,
                "インデックスが有効範囲にありません(シート番号 " + std::to_string(vPos) + ")。");
        }
        xls::Sheet& target = book.sheet(static_cast<std::size_t>(vPos - 1));
        CheckSheetName(vNewname, &target);
        target.setName(vNewname);
        mSheet = &target;
        Activate(target);
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::ExcelVisible(bool) {
    RequireApp();
    return true;
}

bool pClExcel::ExcelWindowState(std::int16_t) {
    RequireApp();
    return true;
}

bool pClExcel::BookSave(const std::string& vSaveFile, bool OverwriteFlg) {
    if (!mBookOpen)
        return false;
    try {
        xls::Workbook& book = RequireBook();
        displayAlerts_ = OverwriteFlg;
        const std::string target = vSaveFile.empty() ? bookPath_ : vSaveFile;
        if (target.empty()) {
            throw PlatformError(xls::kErrFileAccess,
                                "ブックはまだ保存されていないため、保存先のファイル名が必要です。");
        }
        if (!vSaveFile.empty() && displayAlerts_ && fileExists(target)) {
            const MsgAnswer answer =
                messages_.show("'" + target + "' は既に存在します。置き換えますか?", "",
                               MsgIcon::Question, MsgButtons::YesNo);
            if (answer != MsgAnswer::Yes) {
                throw PlatformError(xls::kErrSaveCancelled,
                                    "'" + target + "' への保存は取り消されました。");
            }
        }
        xls::WriteXlsFile(book, target);
        bookPath_ = target;
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

std::string pClExcel::GetSheetsName(std::int16_t vSheetNum) {
    if (!mApp || !mBook || vSheetNum < 1 ||
        static_cast<std::size_t>(vSheetNum) > mBook->sheetCount()) {
        return std::string();
    }
    return mBook->sheet(static_cast<std::size_t>(vSheetNum - 1)).name();
}

std::int32_t pClExcel::CopySheets(const std::string& vBookName, const std::string& vSheetName,
                                  std::int16_t vCopyPos) {
    try {
        RequireApp();
        std::unique_ptr<xls::Workbook> other = xls::ReadXlsFile(vBookName);
        const auto index = other->findSheet(vSheetName);
        if (!index) {
            throw PlatformError(xls::kErrNoSuchSheet, "シート '" + vSheetName + "' がありません。");
        }
        xls::Workbook& book = RequireBook();
        std::size_t position = 0;
        if (vCopyPos != 0) {
            if (vCopyPos < 1 || static_cast<std::size_t>(vCopyPos) > book.sheetCount()) {
                throw PlatformError(xls::kErrNoSuchSheet, "インデックスが有効範囲にありません。");
            }
            position = static_cast<std::size_t>(vCopyPos);
        }
        const xls::Sheet& source = other->sheet(*index);
        const std::string name =
            book.findSheet(source.name()) ? UnusedSheetName(source.name()) : source.name();
        xls::Sheet& copy = book.copySheet(source, position, name);
        copy.visible = true;
        book.activeSheet = IndexOf(copy);
        return 0;
    } catch (const PlatformError& e) {
        return e.number();
    }
}

// ---------------------------------------------------------------------------
// Addressing and values

bool pClExcel::CheckCellPos(std::int32_t vYPos, std::int16_t vXPos) {
    return vXPos >= 1 && vXPos <= kMaxCol && vYPos >= 1 && vYPos <= kMaxRow;
}

std::string pClExcel::GetColPosStr(std::int16_t vXPos) const {
    if (!mBookOpen || !CheckCellPos(1, vXPos))
        return std::string();
    std::string text;
    std::int32_t n = vXPos;
    while (n != 0) {
        const std::int32_t m = n - 1;
        text.insert(text.begin(), static_cast<char>('A' + m % 26));
        n = m / 26;
    }
    return text;
}

std::string pClExcel::GetRowPosStr(std::int32_t vYPos) const {
    if (!mBookOpen || !CheckCellPos(vYPos, 1))
        return std::string();
    return std::to_string(vYPos);
}

std::string pClExcel::GetCellPosStr(std::int32_t vYPos, std::int16_t vXPos) const {
    if (!mBookOpen || !CheckCellPos(vYPos, vXPos))
        return std::string();
    return GetColPosStr(vXPos) + GetRowPosStr(vYPos);
}

std::string pClExcel::GetCellValue(std::int32_t vYPos, std::int16_t vXPos) {
    if (!mBookOpen || !CheckCellPos(vYPos, vXPos))
        return std::string();
    try {
        return textOf(shownValue(*mBook, CurrentSheet(), vYPos - 1, vXPos - 1));
    } catch (const PlatformError& e) {
        Report(e);
        return std::string();
    }
}

bool pClExcel::SetCellValue(std::int32_t vYPos, std::int16_t vXPos, const Variant& vValue) {
    if (!mBookOpen || !CheckCellPos(vYPos, vXPos))
        return false;
    xls::Sheet& sheet = ActiveSheet();
    // Text is what the export writes, a million times: no copies on the way.
    if (const auto* text = std::get_if<std::string>(&vValue); text != nullptr && !text->empty()) {
        double number;
        if (readsAsNumber(*text, number)) {
            sheet.setNumber(vYPos - 1, vXPos - 1, number);
            return true;
        }
        if (text->size() <= 32767) {
            sheet.setText(vYPos - 1, vXPos - 1, *text);
            return true;
        }
    }
    sheet.setValue(vYPos - 1, vXPos - 1, cellValueOf(vValue));
    return true;
}

// There is no formula engine: a formula is kept as its text, so the saved
// workbook shows the text the caller gave.
bool pClExcel::SetCellFormula(std::int32_t vYPos, std::int16_t vXPos, const Variant& vValue) {
    if (!mBookOpen || !CheckCellPos(vYPos, vXPos))
        return false;
    std::string text;
    if (const auto* s = std::get_if<std::string>(&vValue)) {
        text = *s;
    } else if (const auto* d = std::get_if<double>(&vValue)) {
        text = numberText(*d);
    } else if (const auto* b = std::get_if<bool>(&vValue)) {
        text = *b ? "True" : "False";
    }
    if (text.empty() || text.front() != '=')
        text = "=" + text;
    ActiveSheet().setValue(vYPos - 1, vXPos - 1, text);
    return true;
}

bool pClExcel::SetRangeFormula(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                               std::int16_t vXepos, const Variant& vValue) {
    if (!mBookOpen || !CheckCellPos(vYsPos, vXsPos) || !CheckCellPos(vYePos, vXepos))
        return false;
    xls::Sheet& sheet = ActiveSheet();
    CellValue value;
    if (const auto* s = std::get_if<std::string>(&vValue)) {
        value = s->empty() ? CellValue{} : CellValue{*s};
    } else {
        value = cellValueOf(vValue);
    }
    for (std::int32_t r = std::min(vYsPos, vYePos); r <= std::max(vYsPos, vYePos); ++r) {
        for (std::int32_t c = std::min(vXsPos, vXepos); c <= std::max(vXsPos, vXepos); ++c) {
            sheet.setValue(r - 1, c - 1, value);
        }
    }
    return true;
}

bool pClExcel::SetRangeValue(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                             std::int16_t vXepos, const Variant& vValue) {
    if (!mBookOpen || !CheckCellPos(vYsPos, vXsPos) || !CheckCellPos(vYePos, vXepos))
        return false;
    xls::Sheet& sheet = ActiveSheet();
    const std::int32_t r0 = std::min(vYsPos, vYePos), r1 = std::max(vYsPos, vYePos);
    const std::int32_t c0 = std::min<std::int32_t>(vXsPos, vXepos);
    const std::int32_t c1 = std::max<std::int32_t>(vXsPos, vXepos);
    if (const auto* a = std::get_if<xls::Array2D>(&vValue)) {
        // An array smaller than the block leaves #N/A in the cells it misses.
        for (std::int32_t r = r0; r <= r1; ++r) {
            for (std::int32_t c = c0; c <= c1; ++c) {
                const std::int32_t i = r - r0 + 1, j = c - c0 + 1;
                CellValue v = xls::ErrorValue{0x2A};
                if (i <= a->rows && j <= a->cols)
                    v = cellValueOf(variantOf(a->at(i, j)));
                sheet.setValue(r - 1, c - 1, v);
            }
        }
        return true;
    }
    const CellValue v = cellValueOf(vValue);
    for (std::int32_t r = r0; r <= r1; ++r) {
        for (std::int32_t c = c0; c <= c1; ++c)
            sheet.setValue(r - 1, c - 1, v);
    }
    return true;
}

bool pClExcel::GetRangeValue(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                             std::int16_t vXepos, Variant& vValue) {
    if (!mBookOpen || !CheckCellPos(vYsPos, vXsPos) || !CheckCellPos(vYePos, vXepos))
        return false;
    const xls::Sheet& sheet = CurrentSheet();
    const std::int32_t r0 = std::min(vYsPos, vYePos), r1 = std::max(vYsPos, vYePos);
    const std::int32_t c0 = std::min<std::int32_t>(vXsPos, vXepos);
    const std::int32_t c1 = std::max<std::int32_t>(vXsPos, vXepos);
    if (r0 == r1 && c0 == c1) {
        vValue = variantOf(shownValue(*mBook, sheet, r0 - 1, c0 - 1));
        return true;
    }
    const xls::StringTable& strings = mBook->strings;
    FormatShows shows(mBook->formats);
    xls::Array2D block;
    block.rows = r1 - r0 + 1;
    block.cols = c1 - c0 + 1;
    block.data.resize(static_cast<std::size_t>(block.rows) * static_cast<std::size_t>(block.cols));
    for (std::int32_t r = r0; r <= r1; ++r) {
        const xls::RowInfo* ri = sheet.row(r - 1);
        if (ri == nullptr)
            break;
        for (std::int32_t c = c0; c <= c1; ++c) {
            if (static_cast<std::size_t>(c - 1) >= ri->cells.size())
                break;
            const xls::Cell& cell = ri->cells[static_cast<std::size_t>(c - 1)];
            if (cell.format == xls::kNoCell)
                continue;
            xls::CellValue& slot = block.at(r - r0 + 1, c - c0 + 1);
            switch (cell.kind) {
                case xls::CellKind::Blank:
                    break;
                case xls::CellKind::Number:
                    slot = shows.numberValue(cell);
                    break;
                case xls::CellKind::Text:
                    slot = strings.get(cell.text);
                    break;
                case xls::CellKind::Boolean:
                    slot = cell.small != 0;
                    break;
                case xls::CellKind::Error:
                    slot = xls::ErrorValue{cell.small};
                    break;
            }
        }
    }
    vValue = std::move(block);
    return true;
}

std::int32_t pClExcel::GetEndRow(std::string& vPos) {
    try {
        const xls::Sheet& sheet = CurrentSheet();
        const std::int32_t col = columnOfLetters(vPos);
        if (col == 0) {
            throw refused("Worksheet クラスの Range メソッドが失敗しました('" + vPos +
                          std::to_string(kRowsCount) + "')。");
        }
        auto has = [&](std::int32_t r) {
            const xls::Cell* cell = sheet.cell(r, col - 1);
            return cell != nullptr && cell->kind != xls::CellKind::Blank;
        };
        std::int32_t r = kRowsCount - 1;
        if (has(r) && r > 0 && has(r - 1)) {
            while (r > 0 && has(r - 1))
                --r;
            return r + 1;
        }
        const auto last = sheet.lastValueRow(col - 1);
        if (has(kRowsCount - 1)) {
            // From an occupied last cell with an empty one above: the next one up.
            for (std::int32_t k = kRowsCount - 2; k >= 0; --k) {
                if (has(k))
                    return k + 1;
            }
            return 1;
        }
        return last ? *last + 1 : 1;
    } catch (const PlatformError& e) {
        messages_.show(e.description(), "", MsgIcon::None, MsgButtons::Ok);
        return 0;
    }
}

bool pClExcel::GetRowColCount(std::int32_t& vRow, std::int16_t& vCol) {
    try {
        const xls::Sheet& sheet = CurrentSheet();
        const auto last = sheet.lastCell();
        vRow = last ? last->first + 1 : 1;
        vCol = static_cast<std::int16_t>(last ? last->second + 1 : 1);
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

// ---------------------------------------------------------------------------
// Formatting

std::optional<pClExcel::RangeChoice> pClExcel::ChooseRange(std::int32_t vYsPos, std::int16_t vXsPos,
                                                           std::int32_t vYePos, std::int16_t vXepos,
                                                           std::int16_t vRangeType) const {
    RangeChoice choice{RangeKind::Cells, {}};
    switch (vRangeType) {
        case 0:
            if (!CheckCellPos(vYsPos, vXsPos) || !CheckCellPos(vYePos, vXepos))
                return std::nullopt;
            choice.kind = RangeKind::Cells;
            choice.range = {std::min(vYsPos, vYePos) - 1, std::max(vYsPos, vYePos) - 1,
                            std::min<std::int32_t>(vXsPos, vXepos) - 1,
                            std::max<std::int32_t>(vXsPos, vXepos) - 1};
            break;
        case 1:
            if (!CheckCellPos(vYsPos, 1) || !CheckCellPos(vYePos, 1))
                return std::nullopt;
            choice.kind = RangeKind::Rows;
            choice.range = {std::min(vYsPos, vYePos) - 1, std::max(vYsPos, vYePos) - 1, 0,
                            xls::kMaxCols - 1};
            break;
        case 2:
            if (!CheckCellPos(1, vXsPos) || !CheckCellPos(1, vXepos))
                return std::nullopt;
            choice.kind = RangeKind::Columns;
            choice.range = {0, xls::kMaxRows - 1, std::min<std::int32_t>(vXsPos, vXepos) - 1,
                            std::max<std::int32_t>(vXsPos, vXepos) - 1};
            break;
        case 9:
            choice.kind = RangeKind::Sheet;
            choice.range = {0, xls::kMaxRows - 1, 0, xls::kMaxCols - 1};
            break;
        default:
            return std::nullopt;
    }
    return choice;
}

bool pClExcel::FormatRange(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                           std::int16_t vXepos, std::int16_t vRangeType,
                           const std::function<void(CellFormat&, unsigned)>& change) {
    if (!mBookOpen)
        return false;
    const auto choice = ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType);
    if (!choice)
        return false;
    CurrentSheet().changeFormatByEdge(choice->kind, choice->range, change);
    return true;
}

bool pClExcel::SetCellBackColor(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                                std::int16_t vXepos, std::int32_t vColorIndex,
                                std::int16_t vRangeType) {
    if (!mBookOpen || !ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType))
        return false;
    // "No colour" removes the fill; any other colour is a solid fill.
    const bool none = vColorIndex == xlNone || vColorIndex == 0;
    const std::uint16_t icv = none ? xls::kDefaultFg : fillColor(vColorIndex);
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [none, icv](CellFormat& f, unsigned) {
                           f.pattern = none ? 0 : 1;
                           f.patternColor = icv;
                           f.patternBgColor = xls::kDefaultBg;
                       });
}

bool pClExcel::SetCellLineStyle(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                                std::int16_t vXepos, std::int32_t vLeft, std::int32_t vTop,
                                std::int32_t vRight, std::int32_t vBottom, std::int32_t vVertical,
                                std::int32_t vHorizon, std::int16_t vRangeType,
                                std::int32_t vWeight) {
    if (!mBookOpen || !ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType))
        return false;
    for (std::int32_t style : {vLeft, vTop, vRight, vBottom, vVertical, vHorizon}) {
        if (style != 0 && !validLineStyle(style)) {
            throw refused("Border クラスの LineStyle プロパティを設定できません(" +
                          std::to_string(style) + ")。");
        }
    }
    if (vWeight != 0 && !validWeight(vWeight)) {
        throw refused("Border クラスの Weight プロパティを設定できません(" +
                      std::to_string(vWeight) + ")。");
    }
    // Inside lines follow the caller's corners, whatever the range type.
    const bool insideV = vXsPos != vXepos;
    const bool insideH = vYsPos != vYePos;
    auto side = [vWeight](xls::Border& b, std::int32_t style) {
        if (style != 0)
            setLine(b, style, vWeight);
    };
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType, [=](CellFormat& f, unsigned e) {
        if (e & xls::kEdgeLeft) {
            side(f.left, vLeft);
        } else if (insideV) {
            side(f.left, vVertical);
        }
        if (e & xls::kEdgeTop) {
            side(f.top, vTop);
        } else if (insideH) {
            side(f.top, vHorizon);
        }
        if (e & xls::kEdgeBottom) {
            side(f.bottom, vBottom);
        } else if (insideH) {
            side(f.bottom, vHorizon);
        }
        if (e & xls::kEdgeRight) {
            side(f.right, vRight);
        } else if (insideV) {
            side(f.right, vVertical);
        }
    });
}

bool pClExcel::SetCellFormat(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                             std::int16_t vXepos, const std::string& vFormatString,
                             std::int16_t vRangeType) {
    // "G/標準" is the local name of the general format.
    const std::string code =
        vFormatString.empty() || vFormatString == "G/標準" ? "General" : vFormatString;
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [&code](CellFormat& f, unsigned) { f.numberFormat = code; });
}

bool pClExcel::SetWordWrap(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                           std::int16_t vXepos, bool vWordWrap, std::int16_t vRangeType) {
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [vWordWrap](CellFormat& f, unsigned) { f.wrap = vWordWrap; });
}

bool pClExcel::SetCellFont(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                           std::int16_t vXepos, const std::string& vFontname,
                           std::int16_t vFontSize, std::int32_t vColorIndex,
                           std::int16_t vRangeType) {
    if (!mBookOpen || !ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType))
        return false;
    if (vFontSize > 409) {
        throw refused("Font クラスの Size プロパティを設定できません(" + std::to_string(vFontSize) +
                      ")。");
    }
    const std::uint16_t color = fontColor(vColorIndex);
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [&vFontname, vFontSize, color](CellFormat& f, unsigned) {
                           if (!vFontname.empty())
                               f.font.name = vFontname;
                           if (vFontSize > 0)
                               f.font.height = static_cast<std::uint16_t>(vFontSize * 20);
                           f.font.color = color;
                       });
}

bool pClExcel::SetCellBold(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                           std::int16_t vXepos, bool vBold, bool vItalic, std::int16_t vRangeType) {
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [vBold, vItalic](CellFormat& f, unsigned) {
                           f.font.italic = vItalic;
                           f.font.bold = vBold;
                       });
}

bool pClExcel::SetCellAlignment(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                                std::int16_t vXepos, std::int32_t vHAlign, std::int32_t vVAlign,
                                std::int16_t vRangeType) {
    if (!mBookOpen || !ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType))
        return false;
    // A code of 0 leaves that alignment as it is.
    const bool setH = vHAlign != 0;
    const bool setV = vVAlign != 0;
    const std::uint8_t h = setH ? hAlignOf(vHAlign) : 0;
    const std::uint8_t v = setV ? vAlignOf(vVAlign) : 0;
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [setH, setV, h, v](CellFormat& f, unsigned) {
                           if (setH)
                               f.hAlign = h;
                           if (setV)
                               f.vAlign = v;
                           f.wrap = false;
                           f.rotation = 0;
                           f.indent = 0;
                           f.shrink = false;
                       });
}

bool pClExcel::SetCellMerge(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                            std::int16_t vXepos, std::int32_t vHAlign, std::int32_t vVAlign,
                            std::int16_t vRangeType) {
    if (!mBookOpen)
        return false;
    const auto choice = ChooseRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType);
    if (!choice)
        return false;
    const std::uint8_t h = hAlignOf(vHAlign);
    const std::uint8_t v = vAlignOf(vVAlign);
    xls::Sheet& sheet = CurrentSheet();
    sheet.changeFormatByEdge(choice->kind, choice->range, [h, v](CellFormat& f, unsigned) {
        f.hAlign = h;
        f.vAlign = v;
        f.wrap = false;
        f.rotation = 0;
        f.indent = 0;
        f.shrink = false;
    });
    const CellRange& rg = choice->range;
    auto overlaps = [&rg](const CellRange& m) {
        return m.firstRow <= rg.lastRow && rg.firstRow <= m.lastRow && m.firstCol <= rg.lastCol &&
               rg.firstCol <= m.lastCol;
    };
    std::erase_if(sheet.merges, overlaps);
    if (rg.firstRow == rg.lastRow && rg.firstCol == rg.lastCol)
        return true;
    // The merged cell keeps the top-left value only.
    const std::int32_t lastRow = std::min(rg.lastRow, sheet.rowCount() - 1);
    for (std::int32_t r = rg.firstRow; r <= lastRow; ++r) {
        for (std::int32_t c = rg.firstCol; c <= rg.lastCol; ++c) {
            if ((r != rg.firstRow || c != rg.firstCol) && sheet.cell(r, c) != nullptr) {
                sheet.setValue(r, c, std::monostate{});
            }
        }
    }
    sheet.merges.push_back(rg);
    return true;
}

bool pClExcel::SetCellLocked(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                             std::int16_t vXepos, bool vLocked, std::int16_t vRangeType) {
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [vLocked](CellFormat& f, unsigned) { f.locked = vLocked; });
}

// Columns and rows address the application's active sheet.
bool pClExcel::SetColWidth(std::int16_t vXsPos, std::int16_t vXepos, double vWidth,
                           bool vAutoMode) {
    if (!mBookOpen)
        return false;
    std::int32_t c0 = 1, c1 = kMaxCol;
    if (vXsPos >= 0) {
        if (!CheckCellPos(1, vXsPos) || !CheckCellPos(1, vXepos))
            return false;
        c0 = std::min(vXsPos, vXepos);
        c1 = std::max(vXsPos, vXepos);
    }
    xls::Sheet& sheet = ActiveSheet();
    if (!vAutoMode) {
        const std::uint16_t units = widthUnits(vWidth);
        for (std::int32_t c = c0; c <= c1; ++c)
            sheet.column(c - 1).width = units;
        return true;
    }
    // Fit each column to its widest displayed value; empty columns go back
    // to the standard width.
    std::vector<std::size_t> widest(static_cast<std::size_t>(kMaxCol), 0);
    for (std::int32_t r = 0; r < sheet.rowCount(); ++r) {
        const xls::RowInfo* ri = sheet.row(r);
        const auto end = std::min<std::int32_t>(c1, static_cast<std::int32_t>(ri->cells.size()));
        for (std::int32_t c = c0; c <= end; ++c) {
            const CellValue v = sheet.value(r, c - 1);
            if (std::holds_alternative<std::monostate>(v))
                continue;
            std::string text;
            if (std::holds_alternative<xls::ErrorValue>(v)) {
                text = "#VALUE!";
            } else {
                text = textOf(v);
            }
            const std::size_t w = displayWidth(text);
            auto& slot = widest[static_cast<std::size_t>(c - 1)];
            slot = std::max(slot, w);
        }
    }
    for (std::int32_t c = c0; c <= c1; ++c) {
        const std::size_t w = widest[static_cast<std::size_t>(c - 1)];
        if (w == 0) {
            sheet.column(c - 1).width.reset();
        } else {
            sheet.column(c - 1).width =
                widthUnits(std::min<double>(static_cast<double>(w) + 0.5, 255));
        }
    }
    return true;
}

bool pClExcel::SetColHidden(std::int16_t vXsPos, std::int16_t vXepos, bool vHidden) {
    if (!mBookOpen)
        return false;
    std::int32_t c0 = 1, c1 = kMaxCol;
    if (vXsPos >= 0) {
        if (!CheckCellPos(1, vXsPos) || !CheckCellPos(1, vXepos))
            return false;
        c0 = std::min(vXsPos, vXepos);
        c1 = std::max(vXsPos, vXepos);
    }
    xls::Sheet& sheet = ActiveSheet();
    for (std::int32_t c = c0; c <= c1; ++c)
        sheet.column(c - 1).hidden = vHidden;
    return true;
}

bool pClExcel::SetRowHeight(std::int32_t vYsPos, std::int32_t vYePos, double vHeight) {
    if (vYsPos < 0) {
        // Every row, before the book test as it always was: without a book
        // the engine has no sheet and the error goes to the caller.
        xls::Sheet& sheet = ActiveSheet();
        const std::uint16_t twips = heightTwips(vHeight);
        sheet.defaultRowHeight = twips;
        for (std::int32_t r = 0; r < sheet.rowCount(); ++r)
            sheet.rowInfo(r).height = twips;
        return true;
    }
    if (!mBookOpen)
        return false;
    if (!CheckCellPos(vYsPos, 1) || !CheckCellPos(vYePos, 1))
        return false;
    xls::Sheet& sheet = ActiveSheet();
    const std::uint16_t twips = heightTwips(vHeight);
    for (std::int32_t r = std::min(vYsPos, vYePos); r <= std::max(vYsPos, vYePos); ++r) {
        sheet.rowInfo(r - 1).height = twips;
    }
    return true;
}

bool pClExcel::SetSheetZoom(const Variant& vZoom) {
    try {
        xls::Sheet& sheet = ActiveSheet();
        double zoom = 0;
        if (const auto* d = std::get_if<double>(&vZoom)) {
            zoom = *d;
        } else if (const auto* s = std::get_if<std::string>(&vZoom)) {
            if (!readsAsNumber(*s, zoom))
                return false;
        } else {
            return false;
        }
        zoom = std::round(zoom);
        if (zoom < 10 || zoom > 400)
            return false;
        sheet.view.zoom = static_cast<std::uint16_t>(zoom);
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

bool pClExcel::SetSheetFreezePanes(std::int32_t vYPos, std::int16_t vXPos, bool vFreezePanes) {
    if (!CheckCellPos(vYPos, vXPos))
        return false;
    // Selecting the cell: only on the active sheet, and only with a book.
    if (!mBookOpen) {
        throw refused("Range メソッドが失敗しました(ブックが開かれていません)。");
    }
    xls::Sheet& sheet = CurrentSheet();
    if (&sheet != &ActiveSheet()) {
        throw refused(
            "Range クラスの Select メソッドが失敗しました(シートがアクティブではありません)。");
    }
    if (vFreezePanes && (vYPos > 1 || vXPos > 1)) {
        sheet.view.freeze = std::make_pair(vYPos - 1, static_cast<std::int32_t>(vXPos - 1));
    } else {
        sheet.view.freeze.reset();
    }
    return true;
}

// ---------------------------------------------------------------------------
// Print setup and protection (the active sheet's page setup)

bool pClExcel::SetPrintPaperSize(std::int16_t vPaperSize) {
    try {
        xls::Sheet& sheet = ActiveSheet();
        if (vPaperSize < 1 || vPaperSize > 255)
            return false;
        sheet.pageSetup.paperSize = static_cast<std::uint16_t>(vPaperSize);
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

bool pClExcel::SetPrintOrientation(std::int16_t vOrientation) {
    xls::Sheet& sheet = ActiveSheet();
    if (vOrientation != 1 && vOrientation != 2) {
        throw refused("PageSetup クラスの Orientation プロパティを設定できません(" +
                      std::to_string(vOrientation) + ")。");
    }
    sheet.pageSetup.orientation = static_cast<std::uint16_t>(vOrientation);
    return true;
}

bool pClExcel::SetPrintLeftMarjin(double vOrijin) {
    ActiveSheet().pageSetup.leftMargin = marginInches(vOrijin);
    return true;
}
bool pClExcel::SetPrintTopMarjin(double vOrijin) {
    ActiveSheet().pageSetup.topMargin = marginInches(vOrijin);
    return true;
}
bool pClExcel::SetPrintBottomMarjin(double vOrijin) {
    ActiveSheet().pageSetup.bottomMargin = marginInches(vOrijin);
    return true;
}
bool pClExcel::SetPrintRightMarjin(double vOrijin) {
    ActiveSheet().pageSetup.rightMargin = marginInches(vOrijin);
    return true;
}
bool pClExcel::SetPrintHeaderMarjin(double vOrijin) {
    ActiveSheet().pageSetup.headerMargin = marginInches(vOrijin);
    return true;
}
bool pClExcel::SetPrintFooterMarjin(double vOrijin) {
    ActiveSheet().pageSetup.footerMargin = marginInches(vOrijin);
    return true;
}

bool pClExcel::SetPrintZoom(std::int16_t vZoom) {
    xls::Sheet& sheet = ActiveSheet();
    if (vZoom < 10 || vZoom > 400) {
        throw refused("PageSetup クラスの Zoom プロパティを設定できません(" +
                      std::to_string(vZoom) + ")。");
    }
    sheet.pageSetup.scale = static_cast<std::uint16_t>(vZoom);
    return true;
}

bool pClExcel::SetPrintHeaderLeft(const std::string& vValue) {
    ActiveSheet().pageSetup.headerLeft = vValue;
    return true;
}
bool pClExcel::SetPrintHeaderCenter(const std::string& vValue) {
    ActiveSheet().pageSetup.headerCenter = vValue;
    return true;
}
bool pClExcel::SetPrintHeaderRight(const std::string& vValue) {
    ActiveSheet().pageSetup.headerRight = vValue;
    return true;
}
bool pClExcel::SetPrintFooterLeft(const std::string& vValue) {
    ActiveSheet().pageSetup.footerLeft = vValue;
    return true;
}
bool pClExcel::SetPrintFooterCenter(const std::string& vValue) {
    ActiveSheet().pageSetup.footerCenter = vValue;
    return true;
}
bool pClExcel::SetPrintFooterRight(const std::string& vValue) {
    ActiveSheet().pageSetup.footerRight = vValue;
    return true;
}

bool pClExcel::SetPrintPrintTitleRow(const std::string& vValue) {
    xls::Sheet& sheet = ActiveSheet();
    sheet.pageSetup.titleRows = titleSpan(vValue, true);
    return true;
}

bool pClExcel::SetPrintPrintTitleCol(const std::string& vValue) {
    xls::Sheet& sheet = ActiveSheet();
    sheet.pageSetup.titleCols = titleSpan(vValue, false);
    return true;
}

bool pClExcel::SetSheetProtect(const std::string& vName, bool vProtect,
                               const std::string& vPassWord) {
    try {
        xls::Workbook& book = RequireBook();
        const auto index = book.findSheet(vName);
        if (!index)
            return false;
        xls::Sheet& sheet = book.sheet(*index);
        if (vProtect) {
            sheet.protectedSheet = true;
            sheet.passwordHash = xls::PasswordHash(vPassWord);
            return true;
        }
        if (sheet.protectedSheet && sheet.passwordHash != xls::PasswordHash(vPassWord))
            return false;
        sheet.protectedSheet = false;
        sheet.passwordHash = 0;
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

bool pClExcel::SetBookProtect(bool vProtect, const std::string& vPassWord) {
    try {
        xls::Workbook& book = RequireBook();
        if (vProtect) {
            book.protectedStructure = true;
            book.protectedWindows = false;
            book.passwordHash = xls::PasswordHash(vPassWord);
            return true;
        }
        if (book.protectedStructure && book.passwordHash != xls::PasswordHash(vPassWord)) {
            return false;
        }
        book.protectedStructure = false;
        book.protectedWindows = false;
        book.passwordHash = 0;
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}
