#include "ImportErrors.h"

#include "ImportView.h"
#include "gMjDisp.h"
#include "pClExcel.h"

std::string_view ImportErrorEnding(ImportErrorKind kind) {
    switch (kind) {
        case ImportErrorKind::NotEntered:
            return "が未入力です";
        case ImportErrorKind::NotNumeric:
            return "が数値として認識できません";
        case ImportErrorKind::OutOfRange:
            return "の値の桁数が正しくありません";
        case ImportErrorKind::NotInMaster:
            return "がマスタに存在しません";
        case ImportErrorKind::DiffersFromMaster:
            return "がマスタと異なっています";
    }
    return {};
}

void ImportErrorList::Reset() {
    errors_.clear();
    hasImportErrors_ = false;
}

void ImportErrorList::AddImportError(std::int16_t sheet, std::int32_t column, std::int32_t row,
                                     Currency customerCode, std::string_view itemName,
                                     ImportErrorKind kind) {
    ImportError record;
    record.column = column;
    record.row = row;
    record.sheet = sheet;
    record.customerCode = customerCode;
    record.message = gMjDisp::Trim(gMjDisp::Trim(itemName) + std::string(ImportErrorEnding(kind)));
    Add(std::move(record));
}

void ImportErrorList::Add(ImportError record) {
    errors_.push_back(std::move(record));
    hasImportErrors_ = true;
}

std::string CurrencyText(Currency value) {
    const bool negative = value.scaled < 0;
    // The magnitude of the most negative value still fits an unsigned 64-bit number.
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.scaled)
                                             : static_cast<std::uint64_t>(value.scaled);
    const std::uint64_t scale = static_cast<std::uint64_t>(Currency::kScale);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / scale);
    std::uint64_t fraction = magnitude % scale;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction + scale).substr(1);  // four digits
        while (digits.back() == '0')
            digits.pop_back();
        text += "." + digits;
    }
    return text;
}

std::string ImportErrorLine(const pClExcel& book, const ImportError& error) {
    const std::string label = error.sheet == 1 ? "【契約内訳】" : "【請求情報】";
    std::string cell = book.GetCellPosStr(error.row, static_cast<std::int16_t>(error.column));
    cell = gMjDisp::FitToByteWidth(cell, 7);
    const std::string code = gMjDisp::ZeroFillText(CurrencyText(error.customerCode), 10);
    std::string message = error.message;
    message = gMjDisp::FitToByteWidth(message, 76);
    return label + "(" + cell + ")" + code + "：" + message;
}

void ShowImportErrors(const pClExcel& book, const ImportErrorList& errors, ImportView& view) {
    for (const ImportError& error : errors.ImportErrors()) {
        view.addErrorLine(ImportErrorLine(book, error));
    }
}
