// Large workbooks are written in pieces on two threads and joined in order:
// the stream must be the one a single pass writes, and a failure the one
// that pass meets first. The shared strings the pieces refer to keep the
// numbers of their first use.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "EngineErrors.h"
#include "PlatformErrorAssert.h"
#include "XlsWriter.h"
#include "XlsWriterParts.h"
#include "test_writer_support.h"

namespace {

using namespace xls;

// The whole stream in one buffer, one part after the other.
std::vector<std::uint8_t> OnePass(const Workbook& book) {
    using namespace xls::writer;
    const StyleTables styles = buildStyles(book);
    BiffBuffer b;
    Globals globals{b, book, styles, book.activeSheet, {}};
    writeGlobals(globals);
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        b.patch32(globals.plyPos[i], static_cast<std::uint32_t>(b.size()));
        writeSheet(b, styles, book.sheet(i), i == book.activeSheet);
    }
    if (b.size() < 4096)
        b.zeros(4096 - b.size());
    return b.copy();
}

// Rows of numbers (RK runs, a number RK cannot hold), texts, blank cells
// with a format and gaps; every 7th row left out.
void Fill(Sheet& sheet, std::int32_t rows, std::int32_t cols, std::uint32_t blankFormat) {
    for (std::int32_t r = 0; r < rows; ++r) {
        if (r % 7 == 6)
            continue;
        for (std::int32_t c = 0; c < cols; ++c) {
            switch ((r + c) % 5) {
                case 0:
                    sheet.setNumber(r, c, r * 100.0 + c);
                    break;
                case 1:
                    sheet.setNumber(r, c, r + 0.123456789);
                    break;
                case 2:
                    sheet.setText(r, c, "顧客" + std::to_string(r % 900));
                    break;
                case 3:
                    sheet.setValue(r, c, std::monostate{});
                    break;
                default:
                    sheet.putCell(r, c, [blankFormat] {
                        Cell cell;
                        cell.format = blankFormat;
                        return cell;
                    }());
            }
        }
    }
}

DataValidation Rule(std::int32_t lastRow, std::string prompt) {
    DataValidation rule;
    rule.kind = ValidationKind::Decimal;
    rule.maximum = 999999999;
    rule.ranges.push_back({2, lastRow, 3, 4});
    rule.promptTitle = "金額";
    rule.prompt = std::move(prompt);
    rule.errorTitle = "入力エラー";
    rule.error = "0 から 999,999,999 までの数値を入力してください。";
    return rule;
}

TEST(WriterPieces, JoinToTheStreamOfASinglePass) {
    Workbook book;
    CellFormat yellow;
    yellow.pattern = 1;
    yellow.patternColor = 13;
    const std::uint32_t blank = book.formats.intern(yellow);

    // Runs that end on, just after and well past the piece boundaries.
    Sheet& first = book.addSheet("契約内訳情報");
    Fill(first, 4096, 19, blank);
    first.merges.push_back({0, 0, 16, 18});
    first.validations.push_back(Rule(4095, "改定後の金額"));
    first.pageSetup.footerCenter = "&P / &N";
    book.addSheet("空");
    Sheet& third = book.addSheet("請求情報");
    Fill(third, 6001, 37, blank);
    third.view.freeze = std::make_pair(2, 1);
    book.activeSheet = 2;

    const std::vector<std::uint8_t> stream = WriteBiff8Stream(book);
    EXPECT_EQ(stream, OnePass(book));
    // The second thread takes pieces in whatever order it gets to them.
    for (int run = 0; run < 3; ++run)
        EXPECT_EQ(WriteBiff8Stream(book), stream) << "run " << run;

    // A book too small for a second thread goes through the same pieces.
    Workbook small;
    Fill(small.addSheet("S"), 40, 4, small.formats.intern(yellow));
    small.addSheet("T");
    EXPECT_EQ(WriteBiff8Stream(small), OnePass(small));
}

// Two sheets of 5,000 rows; the first with an overlong footer (written with
// its first piece), the second with an overlong prompt (with its last).
std::unique_ptr<Workbook> FailingBook(bool badFooter, bool badRule) {
    auto out = std::make_unique<Workbook>();
    Sheet& first = out->addSheet("A");
    Fill(first, 5000, 10, 0);
    if (badFooter)
        first.pageSetup.footerLeft = std::string(300, 'f');
    Sheet& second = out->addSheet("B");
    Fill(second, 5000, 10, 0);
    second.validations.push_back(Rule(4999, badRule ? std::string(300, 'p') : "p"));
    return out;
}

TEST(WriterPieces, TheFirstFailureInStreamOrderIsReported) {
    const auto book = FailingBook;
    // The footer is written in the first piece of sheet A, the rule in the
    // last piece of sheet B.
    const std::string both =
        ExpectPlatformError([&] { WriteBiff8Stream(*book(true, true)); }, kErrLimit);
    EXPECT_NE(both.find("ヘッダーまたはフッター"), std::string::npos) << both;
    const std::string rule =
        ExpectPlatformError([&] { WriteBiff8Stream(*book(false, true)); }, kErrLimit);
    EXPECT_NE(rule.find("入力時メッセージ"), std::string::npos) << rule;
    EXPECT_NO_THROW(WriteBiff8Stream(*book(false, false)));
}

TEST(WriterPieces, ARefusedPieceStopsTheStream) {
    const auto book = FailingBook(false, false);
    std::size_t handed = 0;
    std::size_t bytes = 0;
    EXPECT_FALSE(writer::writeStream(*book, [&](const biff::BiffBuffer& piece) {
        bytes += piece.size();
        return ++handed < 3;
    }));
    EXPECT_EQ(handed, 3u);
    // The pieces came in stream order: the globals, then sheet A's first rows.
    const std::vector<std::uint8_t> whole = WriteBiff8Stream(*book);
    EXPECT_LT(bytes, whole.size());
}

TEST(WriterPieces, ABookFailingHalfWayLeavesNoFileAndTheOldOneAlone) {
    wbtest::TempDir dir;
    const std::string path = dir.file("book.xls");
    wbtest::writeText(path, "previous contents");
    EXPECT_PLATFORM_ERROR(WriteXlsFile(*FailingBook(false, true), path), kErrLimit);
    const std::vector<std::uint8_t> kept = wbtest::readBytes(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous contents");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"book.xls"});
    WriteXlsFile(*FailingBook(false, false), path);
    EXPECT_EQ(wbtest::readBytes(path), WriteXlsToMemory(*FailingBook(false, false)));
}

TEST(SharedStrings, RepeatedTextsKeepTheirFirstNumber) {
    // A text equal to the one above takes that cell's string; either way the
    // numbers follow first use, which is the order the file lists them in.
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    const char* rows[][2] = {{"x", "y"}, {"x", "z"}, {"y", "z"}, {"x", "x"}, {"ｘ", "x"}};
    for (std::int32_t r = 0; r < 5; ++r) {
        for (std::int32_t c = 0; c < 2; ++c)
            sheet.setText(r, c, rows[r][c]);
    }
    const std::uint32_t expected[][2] = {{0, 1}, {0, 2}, {1, 2}, {0, 0}, {3, 0}};
    for (std::int32_t r = 0; r < 5; ++r) {
        for (std::int32_t c = 0; c < 2; ++c) {
            ASSERT_NE(sheet.cell(r, c), nullptr);
            EXPECT_EQ(sheet.cell(r, c)->text, expected[r][c]) << r << "," << c;
            EXPECT_EQ(book.strings.get(sheet.cell(r, c)->text), rows[r][c]);
        }
    }
    EXPECT_EQ(book.strings.size(), 4u);
    // Above a number, or above nothing, the table is asked.
    sheet.setNumber(5, 0, 1);
    sheet.setText(6, 0, "y");
    sheet.setText(6, 3, "w");
    EXPECT_EQ(sheet.cell(6, 0)->text, 1u);
    EXPECT_EQ(sheet.cell(6, 3)->text, 4u);
}

}  // namespace
