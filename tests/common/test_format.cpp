#include <gtest/gtest.h>

#include <string>

#include "gMjDisp.h"

using namespace gMjDisp;

TEST(DecimalMask, PointAndZeros) {
    EXPECT_EQ(DecimalMask(0), "");
    EXPECT_EQ(DecimalMask(1), ".0");
    EXPECT_EQ(DecimalMask(3), ".000");
    EXPECT_EQ(DecimalMask(-2), "");
}

TEST(FormatNumberRight, KnownAnswers) {
    struct Case {
        double value;
        std::int16_t width;
        std::int16_t decimals;
        bool thousands;
        const char* expected;
    };
    const Case cases[] = {
        {1234567, 10, 0, true, " 1,234,567"},
        {1234567, 5, 0, true, "4,567"},  // leading characters lost
        {1234.5, 8, 2, false, " 1234.50"},
        {0, 3, 0, false, "  0"},
        {0, 6, 2, true, "  0.00"},
        {0.5, 4, 0, true, "   1"},
        {1.5, 4, 0, true, "   2"},
        {2.5, 4, 0, true, "   3"},  // halves away from zero, not to even
        {-2.5, 4, 0, true, "  -3"},
        {2.675, 6, 2, false, "  2.68"},  // the double lies just below 2.675
        {1.005, 6, 2, false, "  1.01"},
        {0.125, 6, 2, false, "  0.13"},
        {-0.125, 6, 2, false, " -0.13"},
        {999.995, 9, 2, true, " 1,000.00"},
        {999999.5, 10, 0, true, " 1,000,000"},
        {-1234.5, 10, 2, true, " -1,234.50"},
        {-0.004, 6, 2, false, "  0.00"},  // rounds to zero: no sign
        {0.004, 5, 2, true, " 0.00"},
        {123, 5, 0, true, "  123"},
        {1000, 5, 0, true, "1,000"},
        {100, 5, 0, true, "  100"},
        {-100000, 8, 0, true, "-100,000"},
        {-100000, 7, 0, true, "100,000"},  // the sign is the first to go
        {1234567, 5, 0, false, "34567"},
        {1e15, 22, 0, true, " 1,000,000,000,000,000"},
        {12345678901.0, 14, 0, false, "   12345678901"},
        {0.1 + 0.2, 5, 1, false, "  0.3"},
        {7, 4, 3, false, ".000"},
        {1e-20, 5, 2, false, " 0.00"},
        {5, 0, 0, false, ""},
        {5, -3, 0, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " w" << c.width << " d" << c.decimals
                                        << (c.thousands ? " #,##0" : " ###0"));
        EXPECT_EQ(FormatNumberRight(c.value, c.width, c.decimals, c.thousands), c.expected);
    }
}

TEST(FormatNumberRight, AlwaysExactlyWidthCharacters) {
    for (double v : {0.0, -1.0, 3.14159, -98765.4321, 1e300, -1e-300, 123456789.0}) {
        for (std::int16_t w : {1, 3, 8, 25}) {
            for (std::int16_t d : {0, 2, 4}) {
                EXPECT_EQ(FormatNumberRight(v, w, d, true).size(), static_cast<std::size_t>(w));
                EXPECT_EQ(FormatNumberRight(v, w, d, false).size(), static_cast<std::size_t>(w));
            }
        }
    }
}

TEST(ZeroFill, KnownAnswers) {
    EXPECT_EQ(ZeroFill(7, 2), "07");
    EXPECT_EQ(ZeroFill(123, 2), "23");
    EXPECT_EQ(ZeroFill(-5, 4), "00-5");
    EXPECT_EQ(ZeroFill(0, 3), "000");
    EXPECT_EQ(ZeroFill(2147483647, 12), "002147483647");
    EXPECT_EQ(ZeroFill(-2147483647 - 1, 5), "83648");
    EXPECT_EQ(ZeroFill(5, 0), "");
}

TEST(ZeroFillText, TrimsAndKeepsRightmostCharacters) {
    EXPECT_EQ(ZeroFillText("  12 ", 4), "0012");
    EXPECT_EQ(ZeroFillText("12345", 3), "345");
    EXPECT_EQ(ZeroFillText("", 2), "00");
    EXPECT_EQ(ZeroFillText("   ", 2), "00");
    EXPECT_EQ(ZeroFillText("山田", 3), "0山田");  // counted in characters, not bytes
    EXPECT_EQ(ZeroFillText("山田太郎", 2), "太郎");
    EXPECT_EQ(ZeroFillText("\t1", 3), "0\t1");  // only blanks are trimmed
}

TEST(FitToByteWidth, KnownAnswers) {
    struct Case {
        const char* input;
        std::int16_t width;
        const char* result;
    };
    const Case cases[] =
        {
            {"山田", 6, "山田  "},
            {"山田太郎", 5, "山田 "},  // the third character would need bytes 5 and 6
            {"山田太郎", 4, "山田"},
            {"山田太郎", 8, "山田太郎"},
            {"", 4, "    "},
            {"abc", 2, "ab"},
            {"ab山", 3, "ab "},
            {"ab山", 4, "ab山"},
            {"ｱｲｳｴ", 3, "ｱｲｳ"},  // half-width katakana take one byte
            {"ｱ山", 2, "ｱ "},
            {"  山 ", 3, "山 "},
            {"山", 1, " "},
            {"abc", 0, ""},
            {"€x", 3, "€x"},  // a character CP932 lacks counts two bytes
        };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        std::string text = c.input;
        EXPECT_EQ(FitToByteWidth(text, c.width), c.result);
        EXPECT_EQ(ShiftJisByteLength(FitToByteWidth(text, c.width)),
                  static_cast<std::size_t>(c.width));
    }
}

TEST(FitToByteWidth, ChangesTheCallersText) {
    std::string text = "  山田 ";
    FitToByteWidth(text, 3);
    EXPECT_EQ(text, "山田   ");
}

TEST(ShiftJisByteLength, KnownAnswers) {
    EXPECT_EQ(ShiftJisByteLength(""), 0u);
    EXPECT_EQ(ShiftJisByteLength("abc"), 3u);
    EXPECT_EQ(ShiftJisByteLength("山田"), 4u);
    EXPECT_EQ(ShiftJisByteLength("ｱｲ"), 2u);
    EXPECT_EQ(ShiftJisByteLength("ﾟ"), 1u);  // U+FF9F, last half-width katakana
    EXPECT_EQ(ShiftJisByteLength("ｰ｡"), 2u);
    EXPECT_EQ(ShiftJisByteLength("　"), 2u);  // ideographic space
    EXPECT_EQ(ShiftJisByteLength("€"), 2u);
    EXPECT_EQ(ShiftJisByteLength("😀"), 2u);
    EXPECT_EQ(ShiftJisByteLength("\xFF"), 2u);  // a malformed byte
}

TEST(Trim, OnlyHalfWidthBlanks) {
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("　山　"), "　山　");
    EXPECT_EQ(Trim("\ta\n"), "\ta\n");
}

TEST(FullWidthDigits, KnownAnswers) {
    EXPECT_EQ(FullWidthDigits(0), "０");
    EXPECT_EQ(FullWidthDigits(1), "１");
    EXPECT_EQ(FullWidthDigits(10), "１０");
    EXPECT_EQ(FullWidthDigits(12), "１２");
    EXPECT_EQ(FullWidthDigits(9876543210LL), "９８７６５４３２１０");
    EXPECT_EQ(FullWidthDigits(-5), "－５");
}

TEST(SuppressEnterKey, OnlyEnterBecomesZero) {
    std::int16_t key = 13;
    pMjComon::SuppressEnterKey(key);
    EXPECT_EQ(key, 0);
    for (std::int16_t other : {9, 10, 27, 0, 32, 65}) {
        key = other;
        pMjComon::SuppressEnterKey(key);
        EXPECT_EQ(key, other);
    }
}
