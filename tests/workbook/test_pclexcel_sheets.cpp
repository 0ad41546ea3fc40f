// pClExcel: the engine's life, books, sheets and saving.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "EngineErrors.h"
#include "PlatformErrorAssert.h"
#include "RecordingMessages.h"
#include "pClExcel.h"
#include "test_writer_support.h"

namespace {

using SheetRef = pClExcel::SheetRef;

std::string sheetNames(const pClExcel& xl) {
    std::string out;
    for (std::size_t i = 0; i < xl.book()->sheetCount(); ++i) {
        if (i > 0)
            out += ",";
        out += xl.book()->sheet(i).name();
    }
    return out;
}

// The report convention's box: description, then the number in parentheses.
void expectReport(const RecordingMessages::Shown& shown, std::int32_t number) {
    const std::string tail = "(" + std::to_string(number) + ")";
    ASSERT_GE(shown.text.size(), tail.size()) << shown.text;
    EXPECT_EQ(shown.text.substr(shown.text.size() - tail.size()), tail) << shown.text;
    EXPECT_GT(shown.text.size(), tail.size());
    EXPECT_EQ(shown.title, "");
    EXPECT_EQ(shown.icon, MsgIcon::None);
    EXPECT_EQ(shown.buttons, MsgButtons::Ok);
}

class PClExcelSheets : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(xl_.NewBook("契約内訳情報")); }

    RecordingMessages messages_;
    pClExcel xl_{messages_};
};

TEST_F(PClExcelSheets, NewBookHasOneNamedSheetAndNewSheetsFollowTheActiveOne) {
    EXPECT_EQ(xl_.SheetCount(), 1);
    EXPECT_EQ(sheetNames(xl_), "契約内訳情報");
    ASSERT_TRUE(xl_.NewSheets("請求情報"));
    ASSERT_TRUE(xl_.NewSheets("C"));
    EXPECT_EQ(sheetNames(xl_), "契約内訳情報,請求情報,C");
    ASSERT_TRUE(xl_.ChangeSheets(SheetRef{std::string("契約内訳情報")}));
    ASSERT_TRUE(xl_.NewSheets("B"));
    EXPECT_EQ(sheetNames(xl_), "契約内訳情報,B,請求情報,C");
    EXPECT_EQ(xl_.book()->activeSheet, 1u);
    // The new sheet is the current one: values go there.
    ASSERT_TRUE(xl_.SetCellValue(1, 1, 7.0));
    EXPECT_EQ(xl_.GetCellValue(1, 1), "7");
    EXPECT_TRUE(xl_.book()->sheet(0).cell(0, 0) == nullptr);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(PClExcelSheets, SheetNamesAreCheckedLikeTheSpreadsheetDoes) {
    // Pass on: a bad name raises in the caller.
    EXPECT_PLATFORM_ERROR(xl_.NewSheets("a/b"), xls::kErrGeneral);
    EXPECT_PLATFORM_ERROR(xl_.NewSheets("契約内訳情報"), xls::kErrGeneral);
    EXPECT_PLATFORM_ERROR(xl_.NewSheets(std::string(32, 'x')), xls::kErrGeneral);
    EXPECT_TRUE(xl_.NewSheets(std::string(31, 'x')));
    EXPECT_TRUE(xl_.NewSheets("１２３４５６７８９０１２３４５６７８９０１２３４５６７８９０１"));
    // Report: a duplicate, compared without case.
    ASSERT_TRUE(xl_.NewSheets("Data"));
    EXPECT_TRUE(xl_.ChangeSheetName("Data", "DATA"));  // its own name in other letters
    EXPECT_FALSE(xl_.ChangeSheetName("DATA", "契約内訳情報"));
    EXPECT_FALSE(xl_.ChangeSheetName("data", std::string(31, 'X')));
    ASSERT_EQ(messages_.shown.size(), 2u);
    expectReport(messages_.shown[0], xls::kErrGeneral);
    EXPECT_FALSE(xl_.NewBook("bad:name"));
    EXPECT_FALSE(xl_.NewBook("'quoted'"));
    EXPECT_EQ(messages_.shown.size(), 4u);
}

TEST_F(PClExcelSheets, ChangeSheetsTakesANameOrANumber) {
    ASSERT_TRUE(xl_.NewSheets("請求情報"));
    ASSERT_TRUE(xl_.ChangeSheets(SheetRef{std::int32_t{1}}));
    ASSERT_TRUE(xl_.SetCellValue(1, 1, std::string("one")));
    ASSERT_TRUE(xl_.ChangeSheets(SheetRef{std::string("請求情報")}));
    EXPECT_EQ(xl_.GetCellValue(1, 1), "");
    ASSERT_TRUE(xl_.ChangeSheets(SheetRef{std::string("契約内訳情報")}));
    EXPECT_EQ(xl_.GetCellValue(1, 1), "one");

    EXPECT_FALSE(xl_.ChangeSheets(SheetRef{std::string("ない")}));
    EXPECT_FALSE(xl_.ChangeSheets(SheetRef{std::int32_t{3}}));
    EXPECT_FALSE(xl_.ChangeSheets(SheetRef{std::int32_t{0}}));
    ASSERT_EQ(messages_.shown.size(), 3u);
    expectReport(messages_.shown[0], xls::kErrNoSuchSheet);
    // The failed change released the current sheet: reading it now fails.
    xls::Variant v;
    EXPECT_PLATFORM_ERROR(xl_.GetRangeValue(1, 1, 2, 2, v), xls::kErrNoBook);
}

TEST_F(PClExcelSheets, GetSheetsNameNeverReports) {
    ASSERT_TRUE(xl_.NewSheets("請求情報"));
    EXPECT_EQ(xl_.GetSheetsName(1), "契約内訳情報");
    EXPECT_EQ(xl_.GetSheetsName(2), "請求情報");
    EXPECT_EQ(xl_.GetSheetsName(99), "");
    EXPECT_EQ(xl_.GetSheetsName(0), "");
    EXPECT_EQ(xl_.GetSheetsName(-1), "");
    RecordingMessages other;
    pClExcel empty(other);
    EXPECT_EQ(empty.GetSheetsName(1), "");
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_TRUE(other.shown.empty());
}

TEST_F(PClExcelSheets, DeleteHideInsertAndCopy) {
    ASSERT_TRUE(xl_.NewSheets("B"));
    ASSERT_TRUE(xl_.NewSheets("C"));
    ASSERT_TRUE(xl_.SetCellValue(2, 2, std::string("from C")));
    // Default: no question, and the sheet goes.
    ASSERT_TRUE(xl_.DeleteSheets("B"));
    EXPECT_EQ(sheetNames(xl_), "契約内訳情報,C");
    EXPECT_TRUE(messages_.shown.empty());
    // With the message mode the engine asks; No keeps the sheet.
    messages_.answerNext(MsgAnswer::No);
    ASSERT_TRUE(xl_.DeleteSheets("C", true));
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(sheetNames(xl_), "契約内訳情報,C");
    messages_.clear();

    // A copy lands behind its source; the sheet at vPos gets the new name.
    ASSERT_TRUE(xl_.InsertSheet("C", "D", 3));
    EXPECT_EQ(sheetNames(xl_), "契約内訳情報,C,D");
    EXPECT_EQ(xl_.GetCellValue(2, 2), "from C");
    ASSERT_TRUE(xl_.InsertSheet("契約内訳情報", "E", 1));
    EXPECT_EQ(sheetNames(xl_), "E,契約内訳情報 (2),C,D");

    // Hiding: never the last visible sheet.
    ASSERT_TRUE(xl_.SheetsVisible("C", false));
    ASSERT_TRUE(xl_.SheetsVisible("D", false));
    ASSERT_TRUE(xl_.SheetsVisible("E", false));
    EXPECT_FALSE(xl_.SheetsVisible("契約内訳情報 (2)", false));
    EXPECT_FALSE(xl_.ChangeSheets(SheetRef{std::string("C")}));  // hidden: cannot activate
    EXPECT_FALSE(xl_.DeleteSheets("契約内訳情報 (2)"));
    EXPECT_FALSE(xl_.DeleteSheets("nothing"));
    EXPECT_EQ(messages_.shown.size(), 4u);
    ASSERT_TRUE(xl_.SheetsVisible("C", true));
    ASSERT_TRUE(xl_.DeleteSheets("契約内訳情報 (2)"));
    EXPECT_TRUE(xl_.book()->sheet(xl_.book()->activeSheet).visible);
}

TEST(PClExcelLife, TerminateTwiceAndStartAgain) {
    RecordingMessages messages;
    pClExcel xl(messages);
    ASSERT_TRUE(xl.NewBook("S"));
    ASSERT_TRUE(xl.SetCellValue(1, 1, 1.0));
    xl.Class_Terminate();
    xl.Class_Terminate();
    EXPECT_EQ(xl.book(), nullptr);
    EXPECT_TRUE(messages.shown.empty());
    // The engine is gone: report and pass-on methods fail their own way.
    EXPECT_FALSE(xl.NewBook("T"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_PLATFORM_ERROR(xl.SetCellValue(1, 1, 1.0), xls::kErrNoBook);
    EXPECT_PLATFORM_ERROR(xl.SheetCount(), xls::kErrNoBook);
    EXPECT_EQ(xl.GetSheetsName(1), "");
    xl.Class_Initialize();
    EXPECT_TRUE(xl.NewBook("T"));
}

TEST(PClExcelLife, SheetCountWithoutABookRaises) {
    RecordingMessages messages;
    pClExcel xl(messages);
    EXPECT_PLATFORM_ERROR(xl.SheetCount(), xls::kErrNoBook);
    EXPECT_PLATFORM_ERROR(xl.NewSheets("x"), xls::kErrNoBook);
    EXPECT_TRUE(messages.shown.empty());
}

class PClExcelSave : public PClExcelSheets {
  protected:
    wbtest::TempDir dir_;
};

TEST_F(PClExcelSave, WithoutABookNothingHappens) {
    RecordingMessages messages;
    pClExcel xl(messages);
    EXPECT_FALSE(xl.BookSave(dir_.file("x.xls"), true));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(dir_.entries().empty());
}

TEST_F(PClExcelSave, OverwriteAskedOnlyWithAlertsOn) {
    const std::string path = dir_.file("out.xls");
    ASSERT_TRUE(xl_.BookSave(path, true));  // new file: nothing to ask
    EXPECT_TRUE(messages_.shown.empty());
    const auto first = wbtest::readBytes(path);
    ASSERT_GT(first.size(), 4096u);

    // Yes replaces.
    ASSERT_TRUE(xl_.SetCellValue(1, 1, std::string("second")));
    ASSERT_TRUE(xl_.BookSave(path, true));
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, "'" + path + "' は既に存在します。置き換えますか?");
    EXPECT_EQ(messages_.shown[0].title, "");
    EXPECT_EQ(messages_.shown[0].icon, MsgIcon::Question);
    EXPECT_EQ(messages_.shown[0].buttons, MsgButtons::YesNo);
    const auto second = wbtest::readBytes(path);
    EXPECT_NE(first, second);

    // No: the save fails with the report box, the file stays byte for byte.
    messages_.clear();
    messages_.answerNext(MsgAnswer::No);
    ASSERT_TRUE(xl_.SetCellValue(1, 1, std::string("third")));
    EXPECT_FALSE(xl_.BookSave(path, true));
    ASSERT_EQ(messages_.shown.size(), 2u);
    expectReport(messages_.shown[1], xls::kErrSaveCancelled);
    EXPECT_EQ(wbtest::readBytes(path), second);
    EXPECT_EQ(dir_.entries(), std::vector<std::string>{"out.xls"});

    // Alerts off: replaced without a question.
    messages_.clear();
    ASSERT_TRUE(xl_.BookSave(path));
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_NE(wbtest::readBytes(path), second);
    EXPECT_EQ(dir_.entries(), std::vector<std::string>{"out.xls"});
}

TEST_F(PClExcelSave, EmptyNameSavesUnderTheCurrentName) {
    // A new book has no name yet.
    EXPECT_FALSE(xl_.BookSave(""));
    ASSERT_EQ(messages_.shown.size(), 1u);
    expectReport(messages_.shown[0], xls::kErrFileAccess);
    EXPECT_TRUE(dir_.entries().empty());
    const std::string path = dir_.file("named.xls");
    ASSERT_TRUE(xl_.BookSave(path));
    const auto before = wbtest::readBytes(path);
    ASSERT_TRUE(xl_.SetCellValue(5, 5, 5.0));
    messages_.clear();
    ASSERT_TRUE(xl_.BookSave("", true));  // Save never asks
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_NE(wbtest::readBytes(path), before);
}

TEST_F(PClExcelSave, AMissingFolderIsReportedWithThePath) {
    const std::string path = dir_.file("no/such/folder/out.xls");
    EXPECT_FALSE(xl_.BookSave(path, true));
    ASSERT_EQ(messages_.shown.size(), 1u);
    expectReport(messages_.shown[0], xls::kErrFileAccess);
    EXPECT_NE(messages_.shown[0].text.find(path), std::string::npos);
    EXPECT_TRUE(dir_.entries().empty());
}

TEST_F(PClExcelSave, OpenBookOfAMissingFileReports) {
    EXPECT_FALSE(xl_.OpenBook(dir_.file("missing.xls")));
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].title, "");
    // The book open before stays current.
    EXPECT_EQ(xl_.GetSheetsName(1), "契約内訳情報");
}

TEST_F(PClExcelSave, CopySheetsReturnsAnErrorNumberAndNoMessage) {
    EXPECT_NE(xl_.CopySheets(dir_.file("missing.xls"), "A", 0), 0);
    EXPECT_TRUE(messages_.shown.empty());
}

}  // namespace
