// What the engine's writer writes, the reader reads back unchanged; and a
// stream too large for the compound file's header table (DIFAT) is read.

#include <gtest/gtest.h>

#include "XlsWriter.h"
#include "test_reader_support.h"

namespace xls {
namespace {

using namespace readertest;

TEST(ReaderRoundTrip, ValuesFormatsAndSheetSettingsSurviveWriteAndRead) {
    Workbook book;
    Sheet& a = book.addSheet("契約内訳情報");
    Sheet& b = book.addSheet("請求情報");
    a.setValue(0, 0, std::string("得意先コード"));
    a.setValue(2, 0, 100001.0);
    a.setValue(2, 3, -5296.47);
    a.setValue(2, 4, 0.015);
    a.setValue(2, 5, 536870912.0);
    a.setValue(2, 6, 1e-300);
    a.setValue(3, 1, true);
    a.setValue(3, 2, ErrorValue{0x07});
    a.setValue(4, 0, std::string(9000, 'x') + "末尾");  // beyond one SST record
    a.changeFormat(RangeKind::Cells, {0, 1, 0, 0}, [](CellFormat& f) {
        f.pattern = 1;
        f.patternColor = 22;
        f.hAlign = 2;
        f.vAlign = 1;
        f.left.style = f.right.style = f.top.style = f.bottom.style = 1;
        f.font.name = "ＭＳ　ゴシック";
        f.font.height = 200;
    });
    a.changeFormat(RangeKind::Cells, {2, 5, 16, 18}, [](CellFormat& f) {
        f.pattern = 1;
        f.patternColor = 13;
        f.numberFormat = "#,##0";
        f.locked = false;
    });
    a.merges.push_back({0, 1, 0, 0});
    a.merges.push_back({0, 0, 13, 15});
    a.column(2).width = 3000;
    a.rowInfo(3).height = 500;
    a.pageSetup.orientation = 2;
    a.pageSetup.headerCenter = "見出し";
    a.pageSetup.titleRows = std::make_pair(0, 1);
    b.pageSetup.titleRows = std::make_pair(0, 1);
    b.pageSetup.titleCols = std::make_pair(0, 2);
    a.view.zoom = 85;
    b.setValue(1, 36, std::string("12月"));
    b.setValue(2, 25, 3630.0);
    b.visible = true;
    book.activeSheet = 0;

    auto bytes = WriteXlsToMemory(book);
    auto back = ReadXlsFromMemory(bytes.data(), bytes.size());
    ASSERT_EQ(back->sheetCount(), 2u);
    const Sheet& ra = back->sheet(0);
    const Sheet& rb = back->sheet(1);
    EXPECT_EQ(ra.name(), "契約内訳情報");
    EXPECT_EQ(rb.name(), "請求情報");
    for (auto [r, c] : std::vector<std::pair<int, int>>{
             {0, 0}, {2, 0}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {3, 1}, {3, 2}, {4, 0}, {3, 3}}) {
        EXPECT_EQ(ra.value(r, c), a.value(r, c)) << r << "," << c;
    }
    EXPECT_EQ(rb.value(1, 36), CellValue(std::string("12月")));
    EXPECT_EQ(rb.value(2, 25), CellValue(3630.0));
    EXPECT_EQ(ra.lastCell(), a.lastCell());
    EXPECT_EQ(rb.lastCell(), b.lastCell());

    auto formatAt = [](const Sheet& s, int r, int c) -> const CellFormat& {
        return s.book().formats.get(s.formatIdAt(r, c));
    };
    for (auto [r, c] : std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 16}, {5, 18}}) {
        const CellFormat& want = formatAt(a, r, c);
        const CellFormat& got = formatAt(ra, r, c);
        EXPECT_EQ(got.pattern, want.pattern) << r << "," << c;
        EXPECT_EQ(got.patternColor, want.patternColor) << r << "," << c;
        EXPECT_EQ(got.numberFormat, want.numberFormat) << r << "," << c;
        EXPECT_EQ(got.locked, want.locked) << r << "," << c;
        EXPECT_EQ(got.hAlign, want.hAlign) << r << "," << c;
        EXPECT_EQ(got.left.style, want.left.style) << r << "," << c;
        EXPECT_EQ(got.font.name, want.font.name) << r << "," << c;
        EXPECT_EQ(got.font.height, want.font.height) << r << "," << c;
    }
    EXPECT_EQ(ra.merges, a.merges);
    EXPECT_EQ(ra.column(2).width, a.column(2).width);
    ASSERT_NE(ra.row(3), nullptr);
    EXPECT_EQ(ra.row(3)->height, std::optional<std::uint16_t>(500));
    EXPECT_EQ(ra.pageSetup.orientation, 2);
    EXPECT_EQ(ra.pageSetup.headerCenter, "見出し");
    EXPECT_EQ(ra.view.zoom, 85);
    EXPECT_EQ(ra.pageSetup.titleRows, a.pageSetup.titleRows);
    EXPECT_EQ(ra.pageSetup.titleCols, std::nullopt);
    EXPECT_EQ(rb.pageSetup.titleRows, b.pageSetup.titleRows);
    EXPECT_EQ(rb.pageSetup.titleCols, b.pageSetup.titleCols);
}

TEST(ReaderRoundTrip, StreamBeyondTheHeaderFatTableIsRead) {
    // 109 FAT sectors address about 6.8 MiB; this stream needs DIFAT sectors.
    Bytes cells;
    for (std::uint32_t i = 0; i < 420000; ++i) {
        Append(cells, NumberRec(static_cast<std::uint16_t>(i / 7),
                                static_cast<std::uint16_t>(i % 7), static_cast<double>(i) + 0.25));
    }
    Bytes stream = BuildStream(StandardFormats(), {{"大きい", cells}});
    ASSERT_GT(stream.size(), 7u << 20);
    auto book = ReadBytes(WrapCfb("Workbook", stream));
    const Sheet& s = book->sheet(0);
    EXPECT_EQ(s.value(0, 0), CellValue(0.25));
    EXPECT_EQ(s.value(59999, 6), CellValue(419999.25));
    EXPECT_EQ(s.lastCell(), std::make_optional(std::make_pair(59999, 6)));
}

}  // namespace
}  // namespace xls
