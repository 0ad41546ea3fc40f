#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TextCodec.h"
#include "common/RegistryTestSupport.h"

using namespace textcodec;

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (auto b : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

}  // namespace

TEST(TextConversion, RoundTripsAndSubstitutes) {
    EXPECT_EQ(Hex(Bytes(Utf8ToCp932("山ｱa"))), "8e 52 b1 61");
    EXPECT_EQ(Cp932ToUtf8("\x8E\x52\xB1\x61"), "山ｱa");
    EXPECT_EQ(Utf8ToCp932("é€😀x"),
              "??"
              "?x");
    EXPECT_EQ(Cp932ToUtf8("\x81"), "\xEF\xBF\xBD");
    const std::string mixed = "a山😀";
    EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(mixed)), mixed);
    EXPECT_EQ(Hex(Utf8ToUtf16Le("😀")), "3d d8 00 de");
    // A lone surrogate and an odd trailing byte.
    EXPECT_EQ(Utf16LeToUtf8(std::vector<std::uint8_t>{0x00, 0xD8, 0x41, 0x00, 0x42}),
              "\xEF\xBF\xBD"
              "A");
}
