#include "FormulaTexts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "CellText.h"
#include "TextCodec.h"

namespace xls {

namespace {

constexpr std::uint8_t kErrDiv0 = 0x07;
constexpr std::uint8_t kErrValue = 0x0F;
constexpr std::uint8_t kErrNa = 0x2A;

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

const ErrorValue* ErrorOf(const CellValue& v) {
    return std::get_if<ErrorValue>(&v);
}

// A value as a number operand: blank is 0, TRUE 1, a text only when it reads
// as a number as a whole; otherwise #VALUE!.
CellValue AsNumber(const CellValue& v) {
    if (std::holds_alternative<std::monostate>(v))
        return 0.0;
    if (const auto* b = std::get_if<bool>(&v))
        return *b ? 1.0 : 0.0;
    if (const auto* s = std::get_if<std::string>(&v)) {
        double number = 0;
        if (pclexcel::readsAsNumber(*s, number))
            return number;
        return ErrorValue{kErrValue};
    }
    return v;
}

CellValue AsText(const CellValue& v) {
    if (std::holds_alternative<std::monostate>(v))
        return std::string();
    if (const auto* d = std::get_if<double>(&v))
        return pclexcel::numberText(*d);
    if (const auto* b = std::get_if<bool>(&v))
        return std::string(*b ? "TRUE" : "FALSE");
    return v;
}

std::string Folded(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return s;
}

// Spreadsheet order: numbers < texts < Booleans; a blank compares as the
// other side's empty value. Returns <0, 0 or >0.
int Compare(const CellValue& a, const CellValue& b) {
    const auto rank = [](const CellValue& v) {
        return std::holds_alternative<double>(v)        ? 0
               : std::holds_alternative<std::string>(v) ? 1
                                                        : 2;
    };
    const auto blankLike = [](const CellValue& other) -> CellValue {
        if (std::holds_alternative<std::string>(other))
            return std::string();
        if (std::holds_alternative<bool>(other))
            return false;
        return 0.0;
    };
    const CellValue x = std::holds_alternative<std::monostate>(a) ? blankLike(b) : a;
    const CellValue y = std::holds_alternative<std::monostate>(b) ? blankLike(x) : b;
    if (rank(x) != rank(y))
        return rank(x) < rank(y) ? -1 : 1;
    if (const auto* d = std::get_if<double>(&x)) {
        const double e = std::get<double>(y);
        return *d < e ? -1 : *d > e ? 1 : 0;
    }
    if (const auto* s = std::get_if<std::string>(&x))
        return Folded(*s).compare(Folded(std::get<std::string>(y)));
    return static_cast<int>(std::get<bool>(x)) - static_cast<int>(std::get<bool>(y));
}

double RoundTo(double value, double digits, int mode) {
    const double scale = std::pow(10.0, std::trunc(digits));
    const double scaled = value * scale;
    double r = 0;
    if (mode == 0) {
        r = std::round(scaled);
    } else if (mode < 0) {
        r = std::trunc(scaled);
    } else {
        r = scaled < 0 ? std::floor(scaled) : std::ceil(scaled);
    }
    return r / scale;
}

class Evaluator {
  public:
    Evaluator(const Sheet& sheet, const StringTable& strings, std::int32_t row, std::int32_t col,
              bool shared)
        : sheet_(sheet), strings_(strings), row_(row), col_(col), shared_(shared) {}

    std::optional<CellValue> run(const std::uint8_t* p, std::size_t size) {
        std::size_t i = 0;
        while (i < size) {
            const std::uint8_t id = p[i++];
            const std::size_t left = size - i;
            if (id >= 0x03 && id <= 0x0E) {
                if (!binary(id))
                    return std::nullopt;
                continue;
            }
            switch (id) {
                case 0x12:  // unary plus
                case 0x15:  // parentheses
                    if (stack_.empty())
                        return std::nullopt;
                    break;
                case 0x13:  // unary minus
                case 0x14:  // percent
                    if (stack_.empty())
                        return std::nullopt;
                    stack_.back() = Arithmetic(id, stack_.back());
                    break;
                case 0x16:  // missing argument
                    stack_.emplace_back(std::monostate{});
                    break;
                case 0x17: {  // text: cch, flags, characters
                    if (left < 2)
                        return std::nullopt;
                    const std::size_t cch = p[i];
                    const bool wide = (p[i + 1] & 0x01) != 0;
                    const std::size_t bytes = cch * (wide ? 2 : 1);
                    if (left < 2 + bytes)
                        return std::nullopt;
                    std::u16string units;
                    for (std::size_t k = 0; k < cch; ++k) {
                        units.push_back(wide ? U16(p + i + 2 + 2 * k)
                                             : static_cast<char16_t>(p[i + 2 + k]));
                    }
                    stack_.emplace_back(textcodec::Utf16ToUtf8(units));
                    i += 2 + bytes;
                    break;
                }
                case 0x19: {  // attribute: jumps and spaces; every argument is worked out
                    if (left < 3 || (p[i] & ~0x4F) != 0)
                        return std::nullopt;  // SUM and the like
                    std::size_t length = 3;
                    if ((p[i] & 0x04) != 0)
                        length += 2 * (static_cast<std::size_t>(U16(p + i + 1)) + 1);
                    if (left < length)
                        return std::nullopt;
                    i += length;
                    break;
                }
                case 0x1C:  // error
                case 0x1D:  // Boolean
                    if (left < 1)
                        return std::nullopt;
                    if (id == 0x1C) {
                        stack_.emplace_back(ErrorValue{p[i]});
                    } else {
                        stack_.emplace_back(p[i] != 0);
                    }
                    i += 1;
                    break;
                case 0x1E:  // integer
                    if (left < 2)
                        return std::nullopt;
                    stack_.emplace_back(static_cast<double>(U16(p + i)));
                    i += 2;
                    break;
                case 0x1F: {  // number
                    if (left < 8)
                        return std::nullopt;
                    double d = 0;
                    std::memcpy(&d, p + i, 8);  // little-endian, as the hosts built for
                    stack_.emplace_back(d);
                    i += 8;
                    break;
                }
                default: {
                    if (id < 0x20 || id > 0x7F)
                        return std::nullopt;
                    const std::uint8_t base = static_cast<std::uint8_t>((id & 0x1F) | 0x20);
                    if (base == 0x24 || base == 0x2C) {  // reference, relative reference
                        if (left < 4)
                            return std::nullopt;
                        stack_.push_back(reference(U16(p + i), U16(p + i + 2), base == 0x2C));
                        i += 4;
                    } else if (base == 0x21) {  // function, fixed arguments
                        if (left < 2 || !function(U16(p + i), -1))
                            return std::nullopt;
                        i += 2;
                    } else if (base == 0x22) {  // function, variable arguments
                        if (left < 3 || !function(U16(p + i + 1), p[i] & 0x7F))
                            return std::nullopt;
                        i += 3;
                    } else {
                        return std::nullopt;
                    }
                    break;
                }
            }
        }
        if (stack_.size() != 1)
            return std::nullopt;
        if (std::holds_alternative<std::monostate>(stack_.back()))
            return CellValue{0.0};  // a blank shown by reference shows 0
        return stack_.back();
    }

  private:
    CellValue reference(std::uint16_t rw, std::uint16_t colField, bool relative) const {
        std::int32_t row = rw;
        std::int32_t col = colField & 0x3FFF;
        if (relative && shared_) {
            if ((colField & 0x8000) != 0)
                row = (row_ + static_cast<std::int16_t>(rw)) & 0xFFFF;
            if ((colField & 0x4000) != 0)
                col = (col_ + static_cast<std::int8_t>(colField & 0xFF)) & 0xFF;
        }
        const Cell* cell = sheet_.cell(row, col);
        if (cell == nullptr)
            return std::monostate{};
        switch (cell->kind) {
            case CellKind::Number:
                return cell->number;
            case CellKind::Text:
                return strings_.get(cell->text);
            case CellKind::Boolean:
                return cell->small != 0;
            case CellKind::Error:
                return ErrorValue{cell->small};
            case CellKind::Blank:
                break;
        }
        return std::monostate{};
    }

    static CellValue Arithmetic(std::uint8_t op, const CellValue& v) {
        const CellValue n = AsNumber(v);
        if (ErrorOf(n) != nullptr)
            return n;
        const double d = std::get<double>(n);
        return op == 0x13 ? -d : d / 100;
    }

    bool binary(std::uint8_t op) {
        if (stack_.size() < 2)
            return false;
        const CellValue b = std::move(stack_.back());
        stack_.pop_back();
        const CellValue a = std::move(stack_.back());
        CellValue& out = stack_.back();
        if (op == 0x08) {  // &
            const CellValue x = AsText(a), y = AsText(b);
            if (ErrorOf(x) != nullptr || ErrorOf(y) != nullptr) {
                out = ErrorOf(x) != nullptr ? x : y;
            } else {
                out = std::get<std::string>(x) + std::get<std::string>(y);
            }
            return true;
        }
        if (ErrorOf(a) != nullptr || ErrorOf(b) != nullptr) {
            out = ErrorOf(a) != nullptr ? a : b;
            return true;
        }
        if (op >= 0x09) {  // < <= = >= > <>
            const int c = Compare(a, b);
            const bool results[] = {c<0, c <= 0, c == 0, c >= 0, c> 0, c != 0};
            out = results[op - 0x09];
            return true;
        }
        const CellValue x = AsNumber(a), y = AsNumber(b);
        if (ErrorOf(x) != nullptr || ErrorOf(y) != nullptr) {
            out = ErrorOf(x) != nullptr ? x : y;
            return true;
        }
        const double l = std::get<double>(x), r = std::get<double>(y);
        double v = 0;
        switch (op) {
            case 0x03:
                v = l + r;
                break;
            case 0x04:
                v = l - r;
                break;
            case 0x05:
                v = l * r;
                break;
            case 0x06:
                if (r == 0) {
                    out = ErrorValue{kErrDiv0};
                    return true;
                }
                v = l / r;
                break;
            default:
                v = std::pow(l, r);
                break;
        }
        out = v;
        return true;
    }

    // Pops `argc` arguments (a fixed function's own count when -1) and
    // pushes the result; false for a function not worked out here.
    bool function(std::uint16_t index, int argc) {
        struct Known {
            std::uint16_t index;
            int minArgs, maxArgs;
        };
        static const Known known[] = {{1, 2, 3},   {10, 0, 0}, {24, 1, 1}, {25, 1, 1},
                                      {27, 2, 2},  {34, 0, 0}, {35, 0, 0}, {197, 1, 2},
                                      {212, 2, 2}, {213, 2, 2}};
        const Known* f = std::find_if(std::begin(known), std::end(known),
                                      [index](const Known& k) { return k.index == index; });
        if (f == std::end(known))
            return false;
        if (argc < 0)
            argc = f->maxArgs;
        if (argc < f->minArgs || argc > f->maxArgs ||
            stack_.size() < static_cast<std::size_t>(argc))
            return false;
        std::vector<CellValue> args(stack_.end() - argc, stack_.end());
        stack_.resize(stack_.size() - static_cast<std::size_t>(argc));
        stack_.push_back(call(index, args));
        return true;
    }

    static CellValue call(std::uint16_t index, const std::vector<CellValue>& args) {
        switch (index) {
            case 1: {  // IF
                CellValue test = args[0];
                if (const auto* s = std::get_if<std::string>(&test))
                    test = Folded(*s) == "true"    ? CellValue{true}
                           : Folded(*s) == "false" ? CellValue{false}
                                                   : CellValue{ErrorValue{kErrValue}};
                test = AsNumber(test);
                if (ErrorOf(test) != nullptr)
                    return test;
                if (std::get<double>(test) != 0)
                    return std::holds_alternative<std::monostate>(args[1]) ? CellValue{0.0}
                                                                           : args[1];
                if (args.size() < 3)
                    return false;
                return std::holds_alternative<std::monostate>(args[2]) ? CellValue{0.0} : args[2];
            }
            case 10:
                return ErrorValue{kErrNa};
            case 34:
            case 35:
                return index == 34;
            default:
                break;
        }
        std::vector<double> numbers;
        for (const CellValue& arg : args) {
            const CellValue n = AsNumber(arg);
            if (ErrorOf(n) != nullptr)
                return n;
            numbers.push_back(std::get<double>(n));
        }
        switch (index) {
            case 24:
                return std::fabs(numbers[0]);
            case 25:
                return std::floor(numbers[0]);
            case 27:
                return RoundTo(numbers[0], numbers[1], 0);
            case 197:
                return RoundTo(numbers[0], numbers.size() > 1 ? numbers[1] : 0, -1);
            case 212:
                return RoundTo(numbers[0], numbers[1], 1);
            default:  // 213
                return RoundTo(numbers[0], numbers[1], -1);
        }
    }

    const Sheet& sheet_;
    const StringTable& strings_;
    std::int32_t row_, col_;
    bool shared_;
    std::vector<CellValue> stack_;
};

// The rgce of a record whose cce stands at `at`, clipped to the record.
std::vector<std::uint8_t> TokensAt(const std::uint8_t* data, std::size_t size, std::size_t at) {
    if (size < at + 2)
        return {};
    const std::size_t cce = std::min<std::size_t>(U16(data + at), size - at - 2);
    return std::vector<std::uint8_t>(data + at + 2, data + at + 2 + cce);
}

}  // namespace

std::optional<CellValue> EvaluateFormula(const std::uint8_t* tokens, std::size_t size,
                                         const Sheet& sheet, const StringTable& strings,
                                         std::int32_t row, std::int32_t col, bool shared) {
    return Evaluator(sheet, strings, row, col, shared).run(tokens, size);
}

void ZeroResultFormulas::noteFormula(const std::uint8_t* data, std::size_t size) {
    if (size < 22)
        return;
    formulas_.push_back({U16(data), U16(data + 2), TokensAt(data, size, 20)});
}

void ZeroResultFormulas::noteShared(const std::uint8_t* data, std::size_t size) {
    if (size < 10)
        return;
    shared_[{U16(data), data[4]}] = TokensAt(data, size, 8);
}

void ZeroResultFormulas::apply(Sheet& sheet, StringTable& strings) const {
    for (const Noted& noted : formulas_) {
        const std::vector<std::uint8_t>* tokens = &noted.tokens;
        bool shared = false;
        if (tokens->size() == 5 && (*tokens)[0] == 0x01) {  // PtgExp: a shared formula
            const auto found = shared_.find({U16(tokens->data() + 1), U16(tokens->data() + 3)});
            if (found == shared_.end())
                continue;
            tokens = &found->second;
            shared = true;
        }
        const std::optional<CellValue> value = EvaluateFormula(
            tokens->data(), tokens->size(), sheet, strings, noted.row, noted.col, shared);
        const auto* text = value ? std::get_if<std::string>(&*value) : nullptr;
        const Cell* stored = sheet.cell(noted.row, noted.col);
        if (text == nullptr || stored == nullptr || stored->kind != CellKind::Number)
            continue;
        Cell cell = *stored;
        cell.kind = CellKind::Text;
        cell.text = strings.intern(*text);
        sheet.putCell(noted.row, noted.col, cell);
    }
}

}  // namespace xls
