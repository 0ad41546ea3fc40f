// The error list: message of each kind and the fixed-width line of a record.

#include <gtest/gtest.h>

#include "ImportErrors.h"
#include "ImportTestSupport.h"
#include "gMjDisp.h"

using importtest::TestImportView;

namespace {

// GetCellPosStr answers only while a book is open, as it does after an import.
struct OpenBook {
    OpenBook() : excel(messages) { excel.NewBook("契約内訳情報"); }
    RecordingMessages messages;
    pClExcel excel;
};

std::string Spaces(std::size_t n) {
    return std::string(n, ' ');
}

}  // namespace

TEST(ImportErrorList, MessagesByKind) {
    ImportErrorList errors;
    EXPECT_FALSE(errors.HasImportErrors());
    const Currency code = Currency::FromWhole(12345);
    errors.AddImportError(1, 1, 3, {}, "得意先コード", ImportErrorKind::NotEntered);
    errors.AddImportError(1, 17, 4, code, " 年間金額 ", ImportErrorKind::NotNumeric);
    errors.AddImportError(1, 18, 5, code, "作業回数", ImportErrorKind::OutOfRange);
    errors.AddImportError(2, 1, 6, code, "浄化槽", ImportErrorKind::NotInMaster);
    errors.AddImportError(2, 1, 7, code, "3行目の部門[浄化槽清掃]",
                          ImportErrorKind::DiffersFromMaster);
    ASSERT_TRUE(errors.HasImportErrors());
    const auto& list = errors.ImportErrors();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0].message, "得意先コードが未入力です");
    EXPECT_EQ(list[1].message, "年間金額が数値として認識できません");
    EXPECT_EQ(list[2].message, "作業回数の値の桁数が正しくありません");
    EXPECT_EQ(list[3].message, "浄化槽がマスタに存在しません");
    EXPECT_EQ(list[4].message, "3行目の部門[浄化槽清掃]がマスタと異なっています");
    EXPECT_EQ(list[4].sheet, 2);
    EXPECT_EQ(list[4].row, 7);
    errors.Reset();
    EXPECT_FALSE(errors.HasImportErrors());
    EXPECT_TRUE(errors.ImportErrors().empty());
}

TEST(ImportErrorLine, FixedWidthFields) {
    OpenBook book;
    ImportError q5{17, 5, 1, Currency::FromWhole(12345), "年間金額が数値として認識できません"};
    EXPECT_EQ(ImportErrorLine(book.excel, q5),
              "【契約内訳】(Q5     )0000012345：年間金額が数値として認識できません" + Spaces(42));

    ImportError z12{26, 12, 2, Currency::FromWhole(42), "請求金額(1月)が数値として認識できません"};
    const std::string line = ImportErrorLine(book.excel, z12);
    EXPECT_EQ(line.substr(0, std::string("【請求情報】(Z12    )0000000042：").size()),
              "【請求情報】(Z12    )0000000042：");

    ImportError empty{1, 3, 1, Currency{}, "得意先コードが未入力です"};
    EXPECT_EQ(ImportErrorLine(book.excel, empty),
              "【契約内訳】(A3     )0000000000：得意先コードが未入力です" + Spaces(76 - 24));

    // A code longer than ten characters keeps its rightmost ten.
    ImportError longCode{1, 65535, 2, Currency::FromWhole(12345678901), "x"};
    EXPECT_EQ(ImportErrorLine(book.excel, longCode),
              "【請求情報】(A65535 )2345678901：x" + Spaces(75));
}

TEST(ImportErrorLine, LongMessageIsCutAtSeventySixColumns) {
    OpenBook book;
    std::string item = "x";
    for (int i = 0; i < 30; ++i)
        item += "あ";
    ImportErrorList errors;
    errors.AddImportError(1, 1, 9, Currency::FromWhole(1), item, ImportErrorKind::NotInMaster);
    const std::string line = ImportErrorLine(book.excel, errors.ImportErrors()[0]);
    const std::string head = "【契約内訳】(A9     )0000000001：";
    ASSERT_EQ(line.substr(0, head.size()), head);
    const std::string message = line.substr(head.size());
    // 1 + 37 full-width characters make 75 columns; the next one would
    // straddle column 76 and becomes one blank.
    EXPECT_EQ(message, item + "がマスタに存在" + " ");
    EXPECT_EQ(gMjDisp::ShiftJisByteLength(message), 76u);
}

TEST(ImportErrorLine, CodeText) {
    EXPECT_EQ(CurrencyText(Currency::FromWhole(12345)), "12345");
    EXPECT_EQ(CurrencyText(Currency{1235000}), "123.5");
    EXPECT_EQ(CurrencyText(Currency{1}), "0.0001");
    EXPECT_EQ(CurrencyText(Currency::FromWhole(-5)), "-5");
    EXPECT_EQ(CurrencyText(Currency{}), "0");
    EXPECT_EQ(CurrencyText(Currency{INT64_MIN}), "-922337203685477.5808");
}

TEST(ShowImportErrors, OneLinePerRecordInOrder) {
    OpenBook book;
    ImportErrorList errors;
    errors.AddImportError(1, 1, 3, {}, "得意先コード", ImportErrorKind::NotEntered);
    errors.AddImportError(2, 30, 4, Currency::FromWhole(8), "請求金額(5月)",
                          ImportErrorKind::NotNumeric);
    TestImportView view;
    ShowImportErrors(book.excel, errors, view);
    ASSERT_EQ(view.errorLines.size(), 2u);
    EXPECT_EQ(
        view.errorLines[0].rfind("【契約内訳】(A3     )0000000000：得意先コードが未入力です", 0),
        0u);
    EXPECT_NE(
        view.errorLines[1].find("(AD4    )0000000008：請求金額(5月)が数値として認識できません"),
        std::string::npos);
}
