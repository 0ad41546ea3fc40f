#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "CellText.h"
#include "TextCodec.h"
#include "pClExcel.h"
#include "pClExcelShared.h"

// Page setup and protection of the active sheet and the book.

using xls::CellFormat;
using xls::CellRange;
using xls::CellValue;
using xls::RangeKind;
using namespace pclexcel;

namespace {

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

}  // namespace

bool pClExcel::SetCellLocked(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                             std::int16_t vXepos, bool vLocked, std::int16_t vRangeType) {
    return FormatRange(vYsPos, vXsPos, vYePos, vXepos, vRangeType,
                       [vLocked](CellFormat& f, unsigned) { f.locked = vLocked; });
}
bool pClExcel::SetCellValidation(std::int32_t vYsPos, std::int16_t vXsPos, std::int32_t vYePos,
                                 std::int16_t vXepos, std::int16_t vType, double vMinimum,
                                 double vMaximum, const std::string& vInputTitle,
                                 const std::string& vInputMessage, const std::string& vErrorTitle,
                                 const std::string& vErrorMessage) {
    try {
        xls::Sheet& sheet = CurrentSheet();
        const auto choice = ChooseRange(vYsPos, vXsPos, vYePos, vXepos, 0);
        if (!choice)
            throw refused("入力規則の範囲が正しくありません。");
        if (vType != 1 && vType != 2)
            throw refused("入力規則の種類が正しくありません(" + std::to_string(vType) + ")。");
        const bool whole = vType == 1;
        if (!std::isfinite(vMinimum) || !std::isfinite(vMaximum) || vMinimum > vMaximum ||
            (whole && (vMinimum != std::floor(vMinimum) || vMaximum != std::floor(vMaximum)))) {
            throw refused("入力規則の値の範囲が正しくありません(" + numberText(vMinimum) + "～" +
                          numberText(vMaximum) + ")。");
        }
        auto checkLength = [](const std::string& text, std::size_t limit, const char* what) {
            if (textcodec::Utf16Length(text) > limit) {
                throw refused(std::string("入力規則の") + what + "が長すぎます(" +
                              std::to_string(limit) + " 文字まで)。");
            }
        };
        checkLength(vInputTitle, xls::kMaxValidationTitle, "入力時メッセージのタイトル");
        checkLength(vErrorTitle, xls::kMaxValidationTitle, "エラーメッセージのタイトル");
        checkLength(vInputMessage, xls::kMaxValidationPrompt, "入力時メッセージ");
        checkLength(vErrorMessage, xls::kMaxValidationError, "エラーメッセージ");
        const CellRange& r = choice->range;
        for (const xls::DataValidation& rule : sheet.validations) {
            for (const CellRange& other : rule.ranges) {
                if (r.firstRow <= other.lastRow && other.firstRow <= r.lastRow &&
                    r.firstCol <= other.lastCol && other.firstCol <= r.lastCol) {
                    throw refused("範囲にはすでに入力規則が設定されています。");
                }
            }
        }
        xls::DataValidation rule;
        rule.kind = whole ? xls::ValidationKind::WholeNumber : xls::ValidationKind::Decimal;
        rule.minimum = vMinimum;
        rule.maximum = vMaximum;
        rule.ranges.push_back(r);
        rule.promptTitle = vInputTitle;
        rule.prompt = vInputMessage;
        rule.errorTitle = vErrorTitle;
        rule.error = vErrorMessage;
        sheet.validations.push_back(std::move(rule));
        return true;
    } catch (const PlatformError& error) {
        Report(error);
        return false;
    }
}

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
