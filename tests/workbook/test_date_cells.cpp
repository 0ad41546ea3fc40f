// Numbers in date and time formats: which format codes show a date or time,
// the text of a serial number, and the reads of pClExcel that hand such a
// cell back as its date text (also for 1904-based workbooks).

#include <gtest/gtest.h>

#include <fstream>

#include "BiffReader.h"
#include "NumberFormat.h"
#include "RecordingMessages.h"
#include "pClExcel.h"
#include "test_reader_support.h"
#include "test_writer_support.h"

namespace {

using xls::NumberShows;
using Variant = xls::Variant;

using wbtest::CellOf;

TEST(NumberFormatCodes, WhatEachCodeShows) {
    const struct {
        const char* code;
        NumberShows shows;
    } cases[] = {
        // Numbers, currencies, percentages, text.
        {"General", NumberShows::Number},
        {"G/標準", NumberShows::Number},
        {"", NumberShows::Number},
        {"0", NumberShows::Number},
        {"0.00", NumberShows::Number},
        {"#,##0", NumberShows::Number},
        {"#,##0.00", NumberShows::Number},
        {"#,##0;[Red]-#,##0", NumberShows::Number},
        {"#,##0_);[Red](#,##0)", NumberShows::Number},
        {"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)", NumberShows::Number},
        {"\"$\"#,##0_);(\"$\"#,##0)", NumberShows::Number},
        {"[$¥-411]#,##0", NumberShows::Number},
        {"[$-411]#,##0", NumberShows::Number},
        {"\\\\#,##0", NumberShows::Number},    // yen sign as an escaped backslash
        {"\"\\\"#,##0", NumberShows::Number},  // ... or as quoted text
        {"#,##0\"円\"", NumberShows::Number},
        {"\"days\" 0", NumberShows::Number},
        {"0\\m", NumberShows::Number},
        {"0%", NumberShows::Number},
        {"0.00%", NumberShows::Number},
        {"0.00E+00", NumberShows::Number},
        {"##0.0e-0", NumberShows::Number},
        {"# ?/?", NumberShows::Number},
        {"[Magenta]0", NumberShows::Number},
        {"[>=100]0;0.0", NumberShows::Number},
        {"[DBNum1]General", NumberShows::Number},
        {"0;-0;General", NumberShows::Number},
        {"@", NumberShows::Number},
        {"_-* #,##0_-;-* #,##0_-;_-* \"-\"_-;_-@_-", NumberShows::Number},
        // Dates.
        {"m/d/yy", NumberShows::Date},
        {"d-mmm-yy", NumberShows::Date},
        {"mmm-yy", NumberShows::Date},
        {"YYYY/MM/DD", NumberShows::Date},
        {"yyyy/mm/dd;@", NumberShows::Date},
        {"yyyy\"年\"m\"月\"d\"日\"", NumberShows::Date},
        {"[$-411]ggge\"年\"m\"月\"d\"日\"", NumberShows::Date},
        {"[$-411]ge.m.d", NumberShows::Date},
        {"m\"月\"d\"日\"", NumberShows::Date},
        {"m\"月\"d\"日\"(aaa)", NumberShows::Date},
        {"mmmm", NumberShows::Date},
        {"mm", NumberShows::Date},
        {"[Red]m/d", NumberShows::Date},
        // Times: m beside h or s is minutes.
        {"h:mm", NumberShows::Time},
        {"h:mm:ss", NumberShows::Time},
        {"h:mm AM/PM", NumberShows::Time},
        {"h:mm:ss AM/PM", NumberShows::Time},
        {"hh:mm a/p", NumberShows::Time},
        {"mm:ss", NumberShows::Time},
        {"mm:ss.0", NumberShows::Time},
        {"[h]:mm:ss", NumberShows::Time},
        {"[mm]:ss", NumberShows::Time},
        {"[ss]", NumberShows::Time},
        {"h\"時\"mm\"分\"", NumberShows::Time},
        {"h\"時\"mm\"分\"ss\"秒\"", NumberShows::Time},
        // Both.
        {"m/d/yy h:mm", NumberShows::DateTime},
        {"yyyy/mm/dd hh:mm:ss", NumberShows::DateTime},
        {"yyyy-mm-dd\"T\"hh:mm", NumberShows::DateTime},
        {"mmm d, h AM/PM", NumberShows::DateTime},
    };
    for (const auto& c : cases)
        EXPECT_EQ(xls::ClassifyNumberFormat(c.code), c.shows) << c.code;
}

TEST(NumberFormatCodes, BuiltInDateAndTimeFormats) {
    const int dates[] = {14, 15, 16, 17, 27, 28, 29, 30, 31, 34, 35,
                         36, 50, 51, 52, 53, 54, 55, 56, 57, 58};
    for (int ifmt : dates) {
        const auto code = xls::biff::BuiltinNumberFormat(static_cast<std::uint16_t>(ifmt));
        ASSERT_TRUE(code.has_value()) << ifmt;
        EXPECT_EQ(xls::ClassifyNumberFormat(*code), NumberShows::Date) << ifmt << " " << *code;
    }
    for (int ifmt : {18, 19, 20, 21, 32, 33, 45, 46, 47}) {
        const auto code = xls::biff::BuiltinNumberFormat(static_cast<std::uint16_t>(ifmt));
        ASSERT_TRUE(code.has_value()) << ifmt;
        EXPECT_EQ(xls::ClassifyNumberFormat(*code), NumberShows::Time) << ifmt << " " << *code;
    }
    EXPECT_EQ(xls::ClassifyNumberFormat(*xls::biff::BuiltinNumberFormat(22)),
              NumberShows::DateTime);
    for (int ifmt = 0; ifmt <= 13; ++ifmt) {
        const auto code = xls::biff::BuiltinNumberFormat(static_cast<std::uint16_t>(ifmt));
        ASSERT_TRUE(code.has_value()) << ifmt;
        EXPECT_EQ(xls::ClassifyNumberFormat(*code), NumberShows::Number) << ifmt;
    }
    for (int ifmt = 37; ifmt <= 44; ++ifmt) {
        const auto code = xls::biff::BuiltinNumberFormat(static_cast<std::uint16_t>(ifmt));
        EXPECT_EQ(xls::ClassifyNumberFormat(*code), NumberShows::Number) << ifmt;
    }
}

TEST(SerialText, DatesOfThe1900System) {
    const struct {
        double serial;
        const char* date;
    } cases[] = {
        {0, "1900/01/00"},     {1, "1900/01/01"},       {31, "1900/01/31"},
        {59, "1900/02/28"},    {60, "1900/02/29"},  // the day that system counts
        {61, "1900/03/01"},    {366, "1900/12/31"},     {367, "1901/01/01"},
        {1462, "1904/01/01"},  {36526, "2000/01/01"},   {36585, "2000/02/29"},
        {45292, "2024/01/01"}, {45383, "2024/04/01"},   {45383.99, "2024/04/01"},
        {45657, "2024/12/31"}, {2958465, "9999/12/31"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(xls::SerialText(c.serial, NumberShows::Date), c.date) << c.serial;
}

TEST(SerialText, TimesDateTimesAndSerialsWithoutADate) {
    const struct {
        double serial;
        NumberShows shows;
        const char* text;
    } cases[] = {
        {0, NumberShows::Time, "00:00:00"},
        {0.5, NumberShows::Time, "12:00:00"},
        {0.75, NumberShows::Time, "18:00:00"},
        {45383.5, NumberShows::Time, "12:00:00"},  // a time format shows the time of day
        {1.0 / 86400, NumberShows::Time, "00:00:01"},
        {0.4 / 86400, NumberShows::Time, "00:00:00"},                     // seconds are rounded
        {86399.6 / 86400, NumberShows::DateTime, "1900/01/01 00:00:00"},  // ... into the next day
        {45383.0 + (9 * 3600 + 5 * 60 + 7) / 86400.0, NumberShows::DateTime, "2024/04/01 09:05:07"},
        {45383, NumberShows::DateTime, "2024/04/01 00:00:00"},
        {-1, NumberShows::Date, "#####"},
        {-0.5, NumberShows::Time, "#####"},
        {2958466, NumberShows::Date, "#####"},
        {1e300, NumberShows::DateTime, "#####"},
        {12, NumberShows::Number, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(xls::SerialText(c.serial, c.shows), c.text) << c.serial;
}

// A sheet with the same numbers in several formats, read back through the
// class's reads: dates come back as their text, amounts as numbers.
TEST(PClExcelDates, ReadsGiveDateCellsAsTheirText) {
    RecordingMessages messages;
    pClExcel xl(messages);
    ASSERT_TRUE(xl.NewBook("S"));
    const struct {
        const char* format;
        xls::CellValue expected;
    } columns[] = {
        {"General", 45383.0},
        {"#,##0", 45383.0},
        {"#,##0;[Red]-#,##0", 45383.0},
        {"yyyy/mm/dd", std::string("2024/04/01")},
        {"m/d/yy h:mm", std::string("2024/04/01 00:00:00")},
        {"h:mm", std::string("00:00:00")},
        {"[$-411]ggge\"年\"m\"月\"d\"日\"", std::string("2024/04/01")},
    };
    std::int16_t col = 1;
    for (const auto& c : columns) {
        ASSERT_TRUE(xl.SetCellFormat(1, col, 2, col, c.format)) << c.format;
        ASSERT_TRUE(xl.SetCellValue(1, col, 45383.0));
        ASSERT_TRUE(xl.SetCellValue(2, col, std::string("4/1")));  // text stays text
        ++col;
    }
    Variant block;
    ASSERT_TRUE(xl.GetRangeValue(1, 1, 2, col - 1, block));
    const auto& cells = std::get<xls::Array2D>(block);
    col = 1;
    for (const auto& c : columns) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(cells.at(1, col), c.expected);
        EXPECT_EQ(cells.at(2, col), xls::CellValue(std::string("4/1")));
        Variant single;
        ASSERT_TRUE(xl.GetRangeValue(1, col, 1, col, single));
        EXPECT_EQ(CellOf(single), c.expected);
        const std::string text = xl.GetCellValue(1, col);
        if (const auto* s = std::get_if<std::string>(&c.expected))
            EXPECT_EQ(text, *s);
        else
            EXPECT_EQ(text, "45383");
        ++col;
    }
    // The stored value is the number: only the reads show it as a date.
    EXPECT_EQ(xl.book()->sheet(0).value(0, 3), xls::CellValue(45383.0));

    // The bulk read gives the same values; its date texts are its own and its
    // other texts the book's, so both stay put when the block is moved and
    // the book takes more texts (the sanitizer run sees any that moved).
    xls::CellBlock read;
    ASSERT_TRUE(xl.GetRangeCells(2, col - 1, 1, 1, read));
    xls::CellBlock moved = std::move(read);
    for (std::int32_t r = 3; r <= 2000; ++r)
        ASSERT_TRUE(xl.SetCellValue(r, 1, "text " + std::to_string(r)));
    ASSERT_TRUE(xl.SetCellValue(2, 1, std::string("changed")));
    EXPECT_EQ(xls::ValuesOf(moved).data, cells.data);
    EXPECT_EQ(moved.at(2, 1), xls::CellView(xls::CellValue(std::string("4/1"))));
}

TEST(PClExcelDates, DateCellsOfA1904WorkbookAndBuiltInFormats) {
    using namespace xls::readertest;
    Bytes g = Rec(0x0022, Bytes{1, 0});  // DATEMODE: 1904 system
    for (int i = 0; i < 4; ++i)
        Append(g, FontRec(u"Arial"));
    Bytes custom;
    Put16(custom, 164);
    Append(custom, AsciiString("yyyy/mm/dd hh:mm"));
    Append(g, Rec(0x041E, custom));
    for (int i = 0; i < 15; ++i)
        Append(g, XfRec({.style = true}));
    Append(g, XfRec({}));             // 15 General
    Append(g, XfRec({.ifmt = 14}));   // 16 built-in date
    Append(g, XfRec({.ifmt = 31}));   // 17 Japanese built-in date
    Append(g, XfRec({.ifmt = 164}));  // 18 custom date and time
    Append(g, XfRec({.ifmt = 3}));    // 19 #,##0
    Append(g, XfRec({.ifmt = 21}));   // 20 built-in time
    Bytes cells;
    Append(cells, NumberRec(0, 0, 0, 16));
    Append(cells, NumberRec(0, 1, 43921, 17));  // 2024/04/01 counted from 1904
    Append(cells, NumberRec(0, 2, 43921.75, 18));
    Append(cells, NumberRec(0, 3, 43921, 19));
    Append(cells, NumberRec(0, 4, 0.5, 20));
    Append(cells, NumberRec(0, 5, 43921, 15));
    wbtest::TempDir dir;
    const std::string path = dir.file("1904.xls");
    {
        const Bytes file = WrapCfb("Workbook", BuildStream(g, {{"S", cells}}));
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
    }
    RecordingMessages messages;
    pClExcel xl(messages);
    ASSERT_TRUE(xl.OpenBook(path));
    ASSERT_TRUE(xl.ChangeSheets(std::int32_t{1}));
    EXPECT_EQ(xl.GetCellValue(1, 1), "1904/01/01");
    EXPECT_EQ(xl.GetCellValue(1, 2), "2024/04/01");
    EXPECT_EQ(xl.GetCellValue(1, 3), "2024/04/01 18:00:00");
    EXPECT_EQ(xl.GetCellValue(1, 4), "43921");
    EXPECT_EQ(xl.GetCellValue(1, 5), "12:00:00");
    EXPECT_EQ(xl.GetCellValue(1, 6), "43921");
    Variant block;
    ASSERT_TRUE(xl.GetRangeValue(1, 1, 1, 6, block));
    const auto& row = std::get<xls::Array2D>(block);
    EXPECT_EQ(row.at(1, 2), xls::CellValue(std::string("2024/04/01")));
    EXPECT_EQ(row.at(1, 4), xls::CellValue(43921.0));
    EXPECT_EQ(row.at(1, 6), xls::CellValue(43921.0));
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
