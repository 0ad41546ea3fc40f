// The leading-number readers side by side: one row a text, one column a reader.

#include <gtest/gtest.h>

#include <cmath>

#include "NumberText.h"

using namespace numbertext;

namespace {

constexpr double kInf = HUGE_VAL;

struct LeadingCase {
    const char* text;
    double plain;  // LeadingNumber
    double wide;   // LeadingNumberWide
    bool zero;     // LeadingNumberIsZero
};

}  // namespace

TEST(LeadingNumberReaders, KnownAnswers) {
    const LeadingCase cases[] = {
        {"", 0, 0, true},
        {"abc", 0, 0, true},
        {"3", 3, 3, false},
        {"12a", 12, 12, false},
        {" 12abc", 12, 12, false},
        {"\t12", 12, 0, false},  // tabs are blanks to the plain and zero readers only
        {"-4.5x", -4.5, -4.5, false},
        {"+7", 7, 7, false},
        {".5", 0.5, 0.5, false},
        {"5.", 5, 5, false},
        {"-", 0, 0, true},
        {".", 0, 0, true},
        {"1.2.3", 1.2, 1.2, false},
        {"2e2", 200, 200, false},
        {"2.5e-1x", 0.25, 0.25, false},
        {"7e", 7, 7, false},
        {"7e+", 7, 7, false},
        {"1,500", 1, 1, false},
        {"1 500", 1, 1, false},  // the zero reader skips the blank: 1500
        {"0", 0, 0, true},
        {"00", 0, 0, true},
        {"-0", 0, 0, true},
        {"0abc", 0, 0, true},
        {" 0 ", 0, 0, true},
        {"0 1", 0, 0, false},  // blanks inside do not stop the zero reader
        {"0\n", 0, 0, true},   // nor do line feeds
        {"0.0001", 0.0001, 0.0001, false},
        {"&H0", 0, 0, true},  // hexadecimal and octal only for the zero reader
        {"&H10", 0, 0, false},
        {"&h00g1", 0, 0, true},  // reading stops at g
        {"&O0", 0, 0, true},
        {"&O7", 0, 0, false},
        {"１２３", 0, 123, true},         // full-width forms: a number to the wide reader only
        {"－１．５ｅ２", 0, -150, true},  // full-width sign, point and exponent
        {"\u2212"
         "8",
         0, -8, true},  // the minus sign
        {"\u3000"
         "９",
         0, 9, true},  // an ideographic space before it
        {"1e999", kInf, kInf, false},
        {"-1e999", -kInf, -kInf, false},
        {"1e-999", 0, 0, false},
        {"0.000001e-400", 0, 0, false},
    };
    for (const LeadingCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(LeadingNumber(c.text), c.plain);
        EXPECT_EQ(LeadingNumberWide(c.text), c.wide);
        EXPECT_EQ(LeadingNumberIsZero(c.text), c.zero);
    }
}
