// What a file may make the reader allocate: memory follows what the file
// holds, not the rows, columns and sheets its few records name. Peaks are
// measured in a child process; the bound is generous (64 MB plus 50 times
// the file) and still far below what the crafted files cost when every row
// up to the last was kept.

#include <gtest/gtest.h>

#include <cstdio>

#include "PeakMemory.h"
#include "XlsWriter.h"
#include "test_reader_support.h"

namespace xls {
namespace {

using namespace readertest;

Bytes NumberRecord(std::uint16_t row, std::uint16_t col, double value) {
    Bytes p;
    Put16(p, row);
    Put16(p, col);
    Put16(p, 15);
    PutDouble(p, value);
    return Rec(0x0203, p);
}

Bytes BlankRecord(std::uint16_t row, std::uint16_t col) {
    Bytes p;
    Put16(p, row);
    Put16(p, col);
    Put16(p, 15);
    return Rec(0x0201, p);
}

// Sheets named S1, S2 ... each holding the given records.
Bytes BookOfSheets(std::size_t count, const Bytes& records) {
    std::vector<SheetSpec> sheets;
    for (std::size_t i = 0; i < count; ++i)
        sheets.push_back({"S" + std::to_string(i + 1), records});
    return WrapCfb("Workbook", BuildStream(StandardFormats(), sheets));
}

// Reads the file in a child and checks the peak against its size.
void ExpectPeakWithinBound(const char* what, const Bytes& file) {
    const long peak = peakmemory::PeakKiB([&] { (void)ReadBytes(file); });
    const long bound = 64 * 1024 + 50 * static_cast<long>(file.size()) / 1024;
    std::printf("[ memory  ] %s: file %zu bytes, peak %ld KiB (bound %ld KiB)\n", what, file.size(),
                peak, bound);
    if (peak < 0)
        GTEST_SKIP() << "the resident size's high-water mark cannot be reset here";
#ifndef __SANITIZE_ADDRESS__
    // Under AddressSanitizer redzones and the quarantine make the resident
    // size say nothing about the reader.
    EXPECT_LT(peak, bound) << what;
#endif
}

TEST(ReaderMemory, OneFarCellPerSheetCostsLittle) {
    // 200 sheets of one cell in row 65,536: every sheet is read, each
    // keeps one page of rows.
    const Bytes file = BookOfSheets(200, NumberRecord(65535, 0, 1));
    auto book = ReadBytes(file);
    ASSERT_EQ(book->sheetCount(), 200u);
    for (std::size_t i = 0; i < book->sheetCount(); ++i) {
        const Sheet& sheet = book->sheet(i);
        EXPECT_EQ(sheet.rowCount(), 65536);
        EXPECT_LT(sheet.rowBytes(), 32u * 1024);
        EXPECT_EQ(std::get<double>(sheet.value(65535, 0)), 1.0);
        ASSERT_NE(sheet.row(1000), nullptr);  // rows in between read as empty
        EXPECT_TRUE(sheet.row(1000)->cells.empty());
        EXPECT_EQ(sheet.cell(1000, 0), nullptr);
    }
    ExpectPeakWithinBound("200 sheets, one cell in row 65,536 each", file);
}

TEST(ReaderMemory, SheetsPastTheLimitAreRefusedWithTheCount) {
    EXPECT_NO_THROW(ReadBytes(BookOfSheets(256, NumberRecord(0, 0, 1))));
    const Bytes file = BookOfSheets(257, NumberRecord(65535, 0, 1));
    const std::string text = ExpectPlatformError([&] { ReadBytes(file); }, kErrLimit);
    EXPECT_NE(text.find("シートが多すぎる"), std::string::npos) << text;
    EXPECT_NE(text.find("256"), std::string::npos) << text;
    ExpectPeakWithinBound("257 sheets", file);
}

TEST(ReaderMemory, CellsFarRightInEveryRowAreRefusedPastTheBudget) {
    // One BLANK in column 256 of every row: 14 bytes of file per row make a
    // row of 256 slots (4 KB) each.
    Bytes records;
    for (std::uint32_t r = 0; r < 65536; ++r)
        Append(records, BlankRecord(static_cast<std::uint16_t>(r), 255));
    const Bytes file = BookOfSheets(1, records);
    const std::string text = ExpectPlatformError([&] { ReadBytes(file); }, kErrLimit);
    EXPECT_NE(text.find("セルの範囲が広すぎる"), std::string::npos) << text;
    ExpectPeakWithinBound("BLANK in column 256 of 65,536 rows", file);

    // The same cells in the first column read, rows of one slot each.
    Bytes narrow;
    for (std::uint32_t r = 0; r < 65536; ++r)
        Append(narrow, NumberRecord(static_cast<std::uint16_t>(r), 0, r));
    auto book = ReadBytes(BookOfSheets(1, narrow));
    EXPECT_EQ(std::get<double>(book->sheet(0).value(65535, 0)), 65535.0);
}

TEST(SheetRows, SparseRowsCopyFormatAndWriteLikeDenseOnes) {
    Workbook book;
    Sheet& sheet = book.addSheet("S");
    sheet.setNumber(2, 1, 5);
    sheet.setNumber(40000, 3, 7);
    sheet.rowInfo(50000).height = 600;
    EXPECT_EQ(sheet.rowCount(), 50001);
    EXPECT_LT(sheet.rowBytes(), 32u * 1024);  // three pages and their index
    EXPECT_EQ(sheet.lastCell(), std::make_pair(40000, 3));
    EXPECT_EQ(sheet.lastValueRow(3), 40000);

    // A copy owns its rows: changing it leaves the source as it was.
    Sheet& copy = book.copySheet(sheet, 1, "T");
    copy.setNumber(40000, 3, 8);
    copy.setNumber(1000, 0, 9);
    EXPECT_EQ(std::get<double>(sheet.value(40000, 3)), 7.0);
    EXPECT_EQ(sheet.cell(1000, 0), nullptr);

    // Whole rows formatted across missing pages: every row of the range
    // gets the format, cells where a formatted column crosses them too.
    copy.changeFormat(RangeKind::Columns, {0, 0, 5, 5}, [](CellFormat& f) { f.font.bold = true; });
    copy.changeFormat(RangeKind::Rows, {20000, 20001, 0, 0}, [](CellFormat& f) { f.wrap = true; });
    EXPECT_TRUE(book.formats.get(copy.formatIdAt(20001, 2)).wrap);
    ASSERT_NE(copy.cell(20000, 5), nullptr);
    EXPECT_TRUE(book.formats.get(copy.cell(20000, 5)->format).font.bold);
    EXPECT_FALSE(book.formats.get(copy.formatIdAt(19999, 2)).wrap);

    // Written and read back, the rows between stay empty and the far ones come back.
    auto back = ReadBytes(Bytes(WriteXlsToMemory(book)));
    const Sheet& read = back->sheet(0);
    EXPECT_EQ(std::get<double>(read.value(40000, 3)), 7.0);
    EXPECT_EQ(read.row(50000)->height, std::optional<std::uint16_t>(600));
    EXPECT_EQ(read.cell(30000, 0), nullptr);
    EXPECT_EQ(std::get<double>(back->sheet(1).value(1000, 0)), 9.0);
}

}  // namespace
}  // namespace xls
