// Field values turned into cell texts, the expansion match, and the refusal
// of writes beyond the sheet's last row.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iomanip>
#include <random>
#include <string>
#include <vector>

#include "ExportJob.h"
#include "ExportTestSupport.h"
#include "FeeCellText.h"
#include "FeeWorkbookLayout.h"
#include "FindExpandedCustomer.h"
#include "PlatformError.h"
#include "RecordingMessages.h"
#include "SheetWriteCheck.h"
#include "WriteContractRow.h"
#include "gMjDisp.h"
#include "pClExcel.h"

TEST(NumberCellText, KnownAnswers) {
    struct Case {
        FieldValue value;
        std::int16_t width, decimals;
        const char* expected;
    };
    const Case cases[] = {
        {std::int64_t{1001}, 10, 0, "1001"},
        {std::int64_t{0}, 8, 0, "0"},
        {5.5, 8, 3, "5.500"},
        {10.25, 8, 3, "10.250"},
        {2.0004, 8, 3, "2.000"},
        {std::int64_t{-1500}, 12, 0, "-1500"},
        {1234.5, 12, 0, "1235"},             // rounded half away from zero
        {std::int64_t{999}, 3, 0, "999"},    // exactly the width
        {std::int64_t{1234}, 3, 0, "1234"},  // wider: whole, not "234"
        {std::int64_t{12345678901}, 10, 0, "12345678901"},
        {123456.789, 8, 3, "123456.789"},
        {std::string("42"), 3, 0, "42"},  // a number stored as text
        {FieldValue{}, 10, 0, ""},        // Null: an empty cell
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NumberCellText(c.value, c.width, c.decimals), c.expected)
            << FieldText(c.value) << " width " << c.width << " decimals " << c.decimals;
    }
}

TEST(NumberCellText, AgreesWithFormatNumberRightWhereTheValueFits) {
    const double values[] = {0,     -0.0,   1,      -1,      7,      42,       999,
                             1000,  -1500,  65535,  120000,  1e11,   -9.5e10,  1234567890,
                             0.4,   0.5,    -0.5,   2.5,     1234.5, -1234.49, 5.5,
                             10.25, 2.0004, 0.0005, 123.4565};
    for (double v : values) {
        for (std::int16_t decimals : {0, 3}) {
            const std::string expected =
                gMjDisp::Trim(gMjDisp::FormatNumberRight(v, 16, decimals, false));
            EXPECT_EQ(NumberCellText(v, 16, decimals), expected) << v << " " << decimals;
            EXPECT_EQ(
                NumberCellText(std::int64_t(v), 16, 0),
                gMjDisp::Trim(gMjDisp::FormatNumberRight(double(std::int64_t(v)), 16, 0, false)))
                << v;
        }
    }
}

TEST(NumberCellText, DecimalsAgreeWithFormatNumberRightOnManyValues) {
    // Capacities and the like: values of a few decimal places, values just
    // off them, halves at the cut, negatives, large and tiny magnitudes.
    std::mt19937_64 random(20240301);
    std::uniform_int_distribution<long long> whole(-99999999999LL, 99999999999LL);
    std::uniform_int_distribution<int> places(0, 6);
    std::uniform_real_distribution<double> any(-1e6, 1e6);
    std::vector<double> values = {0.0005, -0.0005, 2.675,    1.0005, 0.1,   0.7,       99999999.999,
                                  -0.001, 1e-9,    123.4565, 5.5,    10.25, 1e11 + 0.5};
    for (int n = 0; n < 5000; ++n) {
        const double scale = std::pow(10.0, places(random));
        const double exact = static_cast<double>(whole(random)) / scale;
        values.push_back(exact);
        values.push_back(std::nextafter(exact, 1e300));
        values.push_back(any(random));
    }
    for (double v : values) {
        for (std::int16_t decimals : {1, 2, 3, 4, 6}) {
            ASSERT_EQ(NumberCellText(v, 8, decimals),
                      gMjDisp::Trim(gMjDisp::FormatNumberRight(v, 400, decimals, false)))
                << std::setprecision(17) << v << " decimals " << decimals;
        }
    }
}

TEST(SetFieldCell, PutsTheCellThatTheFieldTextWouldGive) {
    // Each value through the text of its rules and SetCellValue (column 1)
    // and through SetFieldCell (column 2): the same cell, sign of zero included.
    struct Case {
        FieldValue value;
        std::int16_t width, decimals;
    };
    const Case cases[] = {
        {std::int64_t{1001}, 10, 0},
        {std::int64_t{0}, 8, 0},
        {-0.0, 8, 0},
        {std::int64_t{-1500}, 12, 0},
        {1234.5, 12, 0},  // rounded by the text: 1235
        {-0.4, 12, 0},    // "-0" or "0", a number either way
        {5.5, 8, 3},
        {2.0004, 8, 3},
        {std::int64_t{99999999999999}, 12, 0},   // 14 digits
        {std::int64_t{-99999999999999}, 12, 0},  // and a sign: still read exactly
        {std::int64_t{100000000000000}, 12, 0},  // 15 digits
        {std::int64_t{1234567890123456789}, 12, 0},
        {1e300, 12, 0},
        {std::string("42"), 3, 0},  // a number stored as text
        {std::string("7abc"), 3, 0},
        {FieldValue{}, 10, 0},
        {std::string("浄化槽　太郎"), 0, 0},  // text fields
        {std::string("0312345678"), 0, 0},    // a telephone number reads as a number
        {std::string(""), 0, 0},
        {std::int64_t{25}, 0, 0},  // a number in a text field
        {FieldValue{}, 0, 0},
    };
    RecordingMessages messages;
    pClExcel excel(messages);
    ASSERT_TRUE(excel.NewBook("S"));
    std::int32_t row = 1;
    for (const Case& c : cases) {
        const std::string text =
            c.width == 0 ? TextCellText(c.value) : NumberCellText(c.value, c.width, c.decimals);
        ASSERT_TRUE(excel.SetCellValue(row, 1, text));
        ASSERT_TRUE(SetFieldCell(excel, row, 2, c.value, c.width, c.decimals));
        const xls::Sheet& sheet = excel.book()->sheet(0);
        const xls::Cell* viaText = sheet.cell(row - 1, 0);
        const xls::Cell* direct = sheet.cell(row - 1, 1);
        ASSERT_EQ(viaText == nullptr, direct == nullptr) << text;
        if (viaText != nullptr) {
            EXPECT_EQ(viaText->kind, direct->kind) << text;
            EXPECT_EQ(viaText->format, direct->format) << text;
            if (viaText->kind == xls::CellKind::Number) {
                EXPECT_EQ(std::memcmp(&viaText->number, &direct->number, sizeof(double)), 0)
                    << text << " " << direct->number;
            }
            EXPECT_EQ(sheet.value(row - 1, 0), sheet.value(row - 1, 1)) << text;
        }
        ++row;
    }
}

TEST(TextCellText, NullIsEmptyAndTextIsUnchanged) {
    EXPECT_EQ(TextCellText(FieldValue{}), "");
    EXPECT_EQ(TextCellText(std::string(" 浄化槽　一号 ")), " 浄化槽　一号 ");
}

TEST(IsExpandedCustomer, MissingValuesNeverMatch) {
    EXPECT_TRUE(IsExpandedCustomer(std::int64_t{1002}, std::int64_t{1002}));
    EXPECT_TRUE(IsExpandedCustomer(std::string("1002"), 1002.0));
    EXPECT_FALSE(IsExpandedCustomer(std::int64_t{1003}, std::int64_t{1002}));
    // The customer code 0 must not match a customer absent from the table.
    EXPECT_FALSE(IsExpandedCustomer(FieldValue{}, std::int64_t{0}));
    EXPECT_FALSE(IsExpandedCustomer(std::string(""), std::int64_t{0}));
    EXPECT_FALSE(IsExpandedCustomer(std::int64_t{0}, FieldValue{}));
}

TEST(SheetWriteCheck, MessagesNameTheSheetAndTheLimit) {
    EXPECT_EQ(kMaxDataRows, 65533);
    EXPECT_EQ(RowLimitMessage("契約内訳情報"),
              "「契約内訳情報」シートに出力できる行数（65,533行）を超えています");
    EXPECT_NO_THROW(CheckRowLimit(65533, "請求情報"));
    try {
        CheckRowLimit(65534, "請求情報");
        ADD_FAILURE() << "no error for 65,534 rows";
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.description(), "「請求情報」シートに出力できる行数（65,533行）を超えています");
    }
    try {
        RequireWritten(false, "請求情報", 7, 38);
        ADD_FAILURE() << "no error for a refused write";
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.description(), "「請求情報」シートの7行38列に出力できませんでした");
    }
}

TEST(WriteContractRow, RowBeyondTheSheetIsAnErrorNotASilentGap) {
    RecordingMessages messages;
    pClExcel excel(messages);
    ASSERT_TRUE(excel.NewBook("契約内訳情報"));
    ExportTempDir dir;
    FeeDatabase fee(dir, false);
    RecordsetHelper record;
    std::int32_t err = 0;
    record.Open(fee.get(),
                "SELECT 1 AS 得意先コード, 'a' AS 設置場所名称, 'b' AS 設置場所住所, "
                "'c' AS 設置場所TEL, 5 AS 人槽, 1.5 AS 容量, 'd' AS 処理方式名称, "
                "'e' AS 契約区分名称, 0 AS 契約期間_開始, 0 AS 契約期間_終了, 1 AS 行番号, "
                "10 AS 作業コード, 'f' AS 作業名称, 100 AS 年間金額, 1 AS 作業回数, "
                "100 AS 単価金額",
                0, err);
    ASSERT_EQ(err, 0);
    record.Move(0, "", "MOVEFIRST", {}, err);

    std::int32_t row = kLastSheetRow;
    WriteContractRow(excel, record, row);  // the last row a sheet can hold
    EXPECT_EQ(excel.GetCellValue(kLastSheetRow, 1), "1");
    EXPECT_EQ(row, kLastSheetRow + 1);
    try {
        WriteContractRow(excel, record, row);
        ADD_FAILURE() << "row 65536 was accepted";
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.description(), RowLimitMessage("契約内訳情報"));
    }
    EXPECT_EQ(row, kLastSheetRow + 1);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(NextColumn, AdvancesAndReturnsTheNewColumn) {
    std::int16_t column = 0;
    EXPECT_EQ(NextColumn(column), 1);
    EXPECT_EQ(NextColumn(column), 2);
    EXPECT_EQ(column, 2);
}

TEST(ProgressValue, ScaleOfTheProgressBar) {
    EXPECT_EQ(ProgressValue(0, 10), 0);
    EXPECT_EQ(ProgressValue(1, 3), 3333);
    EXPECT_EQ(ProgressValue(3, 3), 10000);
    EXPECT_EQ(ProgressValue(65533, 65533), 10000);  // no overflow on large sheets
    EXPECT_EQ(ProgressValue(5, 0), 0);
}

TEST(WriteHeaders, LeaveTheRowCounterTwoFurtherOn) {
    RecordingMessages messages;
    pClExcel excel(messages);
    ASSERT_TRUE(excel.NewBook("契約内訳情報"));
    std::int32_t row = 1;
    WriteContractHeader(excel, row);
    EXPECT_EQ(row, 3);
    ASSERT_TRUE(excel.NewSheets("請求情報"));
    row = 1;
    WriteBillingHeader(excel, row, false);
    EXPECT_EQ(row, 3);
    EXPECT_EQ(excel.GetCellValue(1, 37), "");
    EXPECT_EQ(excel.GetCellValue(2, 37), "12月");
    EXPECT_EQ(excel.GetCellValue(1, 38), "");
}
