// What BookSave writes, OpenBook reads back: values, sheets, formats, merges.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "RecordingMessages.h"
#include "XlsReader.h"
#include "XlsWriter.h"
#include "pClExcel.h"
#include "test_writer_support.h"

namespace {

class RoundTrip : public ::testing::Test {
  protected:
    // A fee-like book: header, a "#,##0" column, yellow unlocked entries.
    void writeBook(const std::string& path) {
        pClExcel xl(messages_);
        ASSERT_TRUE(xl.NewBook("契約内訳情報"));
        ASSERT_TRUE(xl.SetCellFont(0, 0, 0, 0, "ＭＳ　ゴシック", 10, -4105, 9));
        ASSERT_TRUE(xl.SetCellValue(1, 1, std::string("得意先コード")));
        ASSERT_TRUE(xl.SetCellMerge(1, 1, 2, 1, -4108, -4108));
        ASSERT_TRUE(xl.SetCellLineStyle(1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 0, 2));
        ASSERT_TRUE(xl.SetCellBackColor(1, 1, 1, 1, 15));
        ASSERT_TRUE(xl.SetCellValue(1, 2, std::string("現在の金額")));
        ASSERT_TRUE(xl.SetCellMerge(1, 2, 1, 4, -4108, -4108));
        ASSERT_TRUE(xl.SetCellFormat(0, 2, 0, 2, "#,##0", 2));
        ASSERT_TRUE(xl.SetCellFormat(0, 3, 0, 3, "0.000", 2));
        for (std::int32_t r = 3; r <= 40; ++r) {
            ASSERT_TRUE(xl.SetCellValue(r, 1, std::to_string(1000 + r)));
            ASSERT_TRUE(xl.SetCellValue(r, 2, std::to_string(r * 1000)));
            ASSERT_TRUE(xl.SetCellValue(r, 3, std::to_string(r) + ".500"));
            ASSERT_TRUE(xl.SetCellValue(r, 4, std::string("")));
        }
        ASSERT_TRUE(xl.SetCellValue(
            41, 1, std::string("浄化槽台帳入力より部門展開の金額調整を行ってください。")));
        ASSERT_TRUE(xl.SetCellValue(41, 2, -5296.47));
        ASSERT_TRUE(xl.SetCellValue(41, 3, true));
        ASSERT_TRUE(xl.SetCellValue(41, 4, xls::ErrorValue{0x2A}));
        ASSERT_TRUE(xl.SetCellLineStyle(3, 1, 41, 4, 1, 1, 1, 1, 1, 1, 0, 2));
        ASSERT_TRUE(xl.SetCellBackColor(3, 4, 41, 4, 6));
        ASSERT_TRUE(xl.SetCellLocked(3, 4, 41, 4, false));
        ASSERT_TRUE(xl.NewSheets("請求情報"));
        ASSERT_TRUE(xl.SetCellValue(1, 1, std::string("second")));
        ASSERT_TRUE(xl.BookSave(path, true));
    }

    wbtest::TempDir dir_;
    RecordingMessages messages_;
};

TEST_F(RoundTrip, ValuesSheetsAndMergesComeBack) {
    const std::string path = dir_.file("fee.xls");
    writeBook(path);
    pClExcel xl(messages_);
    ASSERT_TRUE(xl.OpenBook(path)) << (messages_.shown.empty() ? "" : messages_.shown[0].text);
    EXPECT_EQ(xl.SheetCount(), 2);
    EXPECT_EQ(xl.GetSheetsName(1), "契約内訳情報");
    EXPECT_EQ(xl.GetSheetsName(2), "請求情報");

    // OpenBook takes sheet 1 whatever sheet was active when saved.
    EXPECT_EQ(xl.GetCellValue(1, 1), "得意先コード");
    EXPECT_EQ(xl.GetCellValue(3, 1), "1003");
    EXPECT_EQ(xl.GetCellValue(40, 2), "40000");
    EXPECT_EQ(xl.GetCellValue(40, 3), "40.5");
    EXPECT_EQ(xl.GetCellValue(41, 1), "浄化槽台帳入力より部門展開の金額調整を行ってください。");
    EXPECT_EQ(xl.GetCellValue(41, 2), "-5296.47");
    EXPECT_EQ(xl.GetCellValue(41, 3), "True");
    EXPECT_TRUE(messages_.shown.empty());

    xls::Variant block;
    ASSERT_TRUE(xl.GetRangeValue(3, 1, 41, 4, block));
    const auto& a = std::get<xls::Array2D>(block);
    ASSERT_EQ(a.rows, 39);
    ASSERT_EQ(a.cols, 4);
    EXPECT_EQ(std::get<double>(a.at(1, 1)), 1003.0);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(a.at(1, 4)));  // empty entry cell
    EXPECT_EQ(std::get<xls::ErrorValue>(a.at(39, 4)).code, 0x2A);

    std::int32_t rows = 0;
    std::int16_t cols = 0;
    ASSERT_TRUE(xl.GetRowColCount(rows, cols));
    EXPECT_EQ(rows, 41);
    EXPECT_EQ(cols, 4);

    const xls::Sheet& s = xl.book()->sheet(0);
    std::vector<xls::CellRange> merges = s.merges;
    std::sort(merges.begin(), merges.end(), [](const auto& x, const auto& y) {
        return std::tie(x.firstRow, x.firstCol) < std::tie(y.firstRow, y.firstCol);
    });
    ASSERT_EQ(merges.size(), 2u);
    EXPECT_EQ(merges[0], (xls::CellRange{0, 1, 0, 0}));
    EXPECT_EQ(merges[1], (xls::CellRange{0, 0, 1, 3}));
}

TEST_F(RoundTrip, FormatsComeBack) {
    const std::string path = dir_.file("fee.xls");
    writeBook(path);
    const auto book = xls::ReadXlsFile(path);
    const xls::Sheet& s = book->sheet(0);
    auto at = [&](std::int32_t r, std::int32_t c) -> const xls::CellFormat& {
        return book->formats.get(s.formatIdAt(r, c));
    };
    EXPECT_EQ(at(0, 0).pattern, 1);
    EXPECT_EQ(at(0, 0).patternColor, 22);
    EXPECT_EQ(at(0, 0).hAlign, 2);
    EXPECT_EQ(at(0, 0).vAlign, 1);
    EXPECT_EQ(at(0, 0).left.style, 1);
    EXPECT_EQ(at(1, 0).bottom.style, 1);
    EXPECT_EQ(at(0, 0).font.name, "ＭＳ　ゴシック");
    EXPECT_EQ(at(0, 0).font.height, 200);
    EXPECT_EQ(at(5, 1).numberFormat, "#,##0");
    EXPECT_EQ(at(5, 2).numberFormat, "0.000");
    EXPECT_EQ(at(5, 0).numberFormat, "General");
    EXPECT_EQ(at(5, 3).patternColor, 13);
    EXPECT_FALSE(at(5, 3).locked);
    EXPECT_TRUE(at(5, 2).locked);
    EXPECT_EQ(at(5, 1).top.style, 1);

    // Written again, the book gives the same stream.
    EXPECT_GT(xls::WriteBiff8Stream(*book).size(), 4096u);
    const auto again = dir_.file("again.xls");
    xls::WriteXlsFile(*book, again);
    const auto twice = xls::ReadXlsFile(again);
    ASSERT_EQ(twice->sheetCount(), 2u);
    for (std::int32_t r = 0; r < 41; ++r) {
        for (std::int32_t c = 0; c < 4; ++c) {
            EXPECT_EQ(twice->sheet(0).value(r, c), s.value(r, c)) << r << "," << c;
            EXPECT_EQ(twice->formats.get(twice->sheet(0).formatIdAt(r, c)),
                      book->formats.get(s.formatIdAt(r, c)))
                << r << "," << c;
        }
    }
}

TEST_F(RoundTrip, WritesGoToTheActiveSheetReadsToTheCurrentOne) {
    const std::string path = dir_.file("fee.xls");
    writeBook(path);  // saved with "請求情報" active
    pClExcel xl(messages_);
    ASSERT_TRUE(xl.OpenBook(path));
    ASSERT_TRUE(xl.SetCellValue(5, 5, std::string("written")));
    EXPECT_EQ(xl.GetCellValue(5, 5), "");  // sheet 1 is read
    EXPECT_EQ(xl.book()->sheet(1).value(4, 4), xls::CellValue(std::string("written")));
    ASSERT_TRUE(xl.ChangeSheets(pClExcel::SheetRef{std::int32_t{2}}));
    EXPECT_EQ(xl.GetCellValue(5, 5), "written");
}

TEST_F(RoundTrip, CopySheetsFromASavedBook) {
    const std::string path = dir_.file("fee.xls");
    writeBook(path);
    pClExcel xl(messages_);
    ASSERT_TRUE(xl.NewBook("請求情報"));
    EXPECT_EQ(xl.CopySheets(path, "請求情報", 0), 0);
    EXPECT_EQ(xl.CopySheets(path, "契約内訳情報", 2), 0);
    EXPECT_EQ(xl.GetSheetsName(1), "請求情報 (2)");
    EXPECT_EQ(xl.GetSheetsName(2), "請求情報");
    EXPECT_EQ(xl.GetSheetsName(3), "契約内訳情報");
    EXPECT_EQ(xl.book()->sheet(2).value(2, 0), xls::CellValue(1003.0));
    EXPECT_EQ(xl.book()->formats.get(xl.book()->sheet(2).formatIdAt(5, 1)).numberFormat, "#,##0");
    EXPECT_NE(xl.CopySheets(path, "ない", 0), 0);
    EXPECT_TRUE(messages_.shown.empty());
}

}  // namespace
