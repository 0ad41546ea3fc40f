#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "GMojRege.h"
#include "PeakMemory.h"
#include "RegistryStore.h"
#include "common/RegistryTestSupport.h"

using namespace GMojRege;

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
constexpr const char* kKey = "Software\\Tavi\\Project\\Package\\Septictank1";

RegistryStore ParseText(std::string_view text) {
    return RegistryStore::Parse(Bytes(text));
}

std::vector<std::uint8_t> Utf16(std::u16string_view s) {
    std::vector<std::uint8_t> out;
    for (char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

// A store with one key holding the given value lines.
std::string StoreWithValues(std::string_view lines) {
    return std::string(kHeader) + "[HKEY_CURRENT_USER\\" + kKey + "]\r\n" + std::string(lines);
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (auto b : bytes) {
        if (!out.empty())
            out.push_back(' ');
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

}  // namespace

// ---- Parser ----------------------------------------------------------------

TEST(RegistryStoreParse, ValueLinesGiveTypesAndBytes) {
    struct Case {
        const char* line;
        const char* name;
        std::uint32_t type;
        const char* hex;
    };
    const Case cases[] = {
        {R"("A"="x")", "A", 1, "78 00 00 00"},
        {R"("Esc"="C:\\db\\\"q\"")", "Esc", 1,
         "43 00 3a 00 5c 00 64 00 62 00 5c 00 22 00 71 00 22 00 00 00"},
        {R"("Empty"="")", "Empty", 1, "00 00"},
        {R"("Jp"="山")", "Jp", 1, "71 5c 00 00"},
        {R"("D"=dword:0000000a)", "D", 4, "0a 00 00 00"},
        {R"("Dmax"=dword:FFFFFFFF)", "Dmax", 4, "ff ff ff ff"},
        {R"("Dshort"=dword:1)", "Dshort", 4, "01 00 00 00"},
        {R"("Bin"=hex:01,ab,FF)", "Bin", 3, "01 ab ff"},
        {R"("BinEmpty"=hex:)", "BinEmpty", 3, ""},
        {R"("Exp"=hex(2):41,00,00,00)", "Exp", 2, "41 00 00 00"},
        {R"("Q"=hex(b):01,00,00,00,00,00,00,00)", "Q", 11, "01 00 00 00 00 00 00 00"},
        {R"("Spaced" = "v" ; comment)", "Spaced", 1, "76 00 00 00"},
        {R"(@="default")", "", 1, "64 00 65 00 66 00 61 00 75 00 6c 00 74 00 00 00"},
        {R"("Quote\"Name\\"="v")", "Quote\"Name\\", 1, "76 00 00 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const RegistryStore store = ParseText(StoreWithValues(std::string(c.line) + "\r\n"));
        const RegistryKey* key = store.FindKey(std::string("HKEY_CURRENT_USER\\") + kKey);
        ASSERT_NE(key, nullptr);
        const RegistryValue* value = RegistryStore::FindValue(*key, c.name);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->type, c.type);
        EXPECT_EQ(Hex(value->data), c.hex);
    }
}

TEST(RegistryStoreParse, MalformedValueLinesAreSkipped) {
    const char* lines[] = {
        R"("A"=dword:xyz)",
        R"("A"=dword:123456789)",
        R"("A"="unterminated)",
        R"("A"=hex:1,zz)",
        R"("A"=hex:123)",
        R"("A"=hex(zz):01)",
        R"("A"=hex(1:01)",
        R"("A")",
        R"("A"=)",
        R"("A"=word:00000001)",
        R"("A="x")",
        R"("A"="x" trailing)",
        R"("A"=hex:01,,02)",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        const RegistryStore store = ParseText(StoreWithValues(std::string(line) + "\r\n"));
        const RegistryKey* key = store.FindKey(std::string("HKEY_CURRENT_USER\\") + kKey);
        ASSERT_NE(key, nullptr);
        EXPECT_TRUE(key->values.empty());
    }
}

TEST(RegistryStoreParse, HexListContinuesOverLines) {
    const RegistryStore store = ParseText(
        StoreWithValues("\"Long\"=hex(7):41,00,00,\\\r\n  00,42,00,\\\r\n  00,00,00,00\r\n"
                        "\"After\"=dword:00000002\r\n"));
    const RegistryKey* key = store.FindKey(std::string("HKEY_CURRENT_USER\\") + kKey);
    ASSERT_NE(key, nullptr);
    const RegistryValue* value = RegistryStore::FindValue(*key, "Long");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, 7u);
    EXPECT_EQ(Hex(value->data), "41 00 00 00 42 00 00 00 00 00");
    // The line after the continued list is still read as a value of its own.
    ASSERT_NE(RegistryStore::FindValue(*key, "After"), nullptr);
}

TEST(RegistryStoreParse, HeaderDecidesWhetherAnythingIsRead) {
    const std::string body = "[HKEY_CURRENT_USER\\Software]\r\n\"A\"=\"x\"\r\n";
    EXPECT_TRUE(ParseText(std::string(kHeader) + body).valid());
    EXPECT_TRUE(ParseText("REGEDIT4\n\n" + body).valid());
    EXPECT_TRUE(ParseText("\r\n  \r\nREGEDIT4\r\n" + body).valid());
    EXPECT_FALSE(ParseText(body).valid());
    EXPECT_FALSE(ParseText("Windows Registry Editor Version 4.00\r\n" + body).valid());
    EXPECT_FALSE(ParseText("").valid());
    EXPECT_EQ(ParseText(body).FindKey("HKEY_CURRENT_USER\\Software"), nullptr);
}

TEST(RegistryStoreParse, NamesCompareCaseInsensitively) {
    const RegistryStore store = ParseText(std::string(kHeader) +
                                          "[HKEY_CURRENT_USER\\Software\\Tavi]\r\n"
                                          "\"UserName\"=\"a\"\r\n"
                                          "[hkey_current_user\\SOFTWARE\\tavi\\Ｋｅｙ]\r\n"
                                          "\"USERNAME\"=\"b\"\r\n");
    const RegistryKey* tavi = store.FindKey("HKEY_CURRENT_USER\\software\\TAVI");
    ASSERT_NE(tavi, nullptr);
    EXPECT_EQ(tavi->name, "Tavi");
    ASSERT_NE(RegistryStore::FindValue(*tavi, "username"), nullptr);
    EXPECT_EQ(RegistryStore::SubKeyNames(*tavi), std::vector<std::string>{"Ｋｅｙ"});
    EXPECT_NE(store.FindKey("HKEY_CURRENT_USER\\Software\\Tavi\\ｋｅｙ"), nullptr);
    EXPECT_EQ(store.FindKey("HKEY_CURRENT_USER\\Software\\Tavi\\Key"), nullptr);
}

TEST(RegistryStoreParse, SubkeysEnumerateInWindowsOrder) {
    std::string text = kHeader;
    for (const char* name : {"b", "_x", "A", "c", "a1", "B"}) {
        text += std::string("[HKEY_CURRENT_USER\\P\\") + name + "]\r\n";
    }
    const RegistryStore store = ParseText(text);
    const RegistryKey* p = store.FindKey("HKEY_CURRENT_USER\\P");
    ASSERT_NE(p, nullptr);
    // Upper-case comparison puts "_" after the letters; "B" is the key "b" again.
    EXPECT_EQ(RegistryStore::SubKeyNames(*p),
              (std::vector<std::string>{"A", "a1", "b", "c", "_x"}));
}

TEST(RegistryStoreParse, SectionsImplyTheirParentsAndMerge) {
    const RegistryStore store = ParseText(std::string(kHeader) +
                                          "[HKEY_CURRENT_USER\\A\\B\\C]\r\n\"V\"=\"1\"\r\n"
                                          "[HKEY_CURRENT_USER\\A\\B\\C]\r\n\"W\"=\"2\"\r\n"
                                          "\"V\"=\"3\"\r\n\"W\"=-\r\n");
    const RegistryKey* a = store.FindKey("HKEY_CURRENT_USER\\A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(RegistryStore::SubKeyNames(*a), std::vector<std::string>{"B"});
    const RegistryKey* c = store.FindKey("HKEY_CURRENT_USER\\A\\B\\C");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->values.size(), 1u);  // W deleted again
    EXPECT_EQ(ValueText(*RegistryStore::FindValue(*c, "V")), "3");
}

TEST(RegistryStoreParse, InvalidSectionsDropTheirValues) {
    const std::string name255(255, 'k');
    const std::string name256(256, 'k');
    const RegistryStore store =
        ParseText(std::string(kHeader) +
                  "[HKEY_CURRENT_USER\\A]\r\n\"V\"=\"a\"\r\n"
                  "[HKEY_CURRENT_USER\\\\B]\r\n\"V\"=\"b\"\r\n"
                  "[HKEY_CURRENT_USER\\C\r\n\"V\"=\"c\"\r\n"
                  "[-HKEY_CURRENT_USER\\A]\r\n\"V\"=\"d\"\r\n"
                  "[HKEY_CURRENT_USER\\" +
                  name255 + "]\r\n" + "[HKEY_CURRENT_USER\\" + name256 + "]\r\n");
    const RegistryKey* a = store.FindKey("HKEY_CURRENT_USER\\A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(ValueText(*RegistryStore::FindValue(*a, "V")), "a");
    EXPECT_EQ(store.FindKey("HKEY_CURRENT_USER\\B"), nullptr);
    EXPECT_EQ(store.FindKey("HKEY_CURRENT_USER\\C"), nullptr);
    EXPECT_NE(store.FindKey("HKEY_CURRENT_USER\\" + name255), nullptr);
    EXPECT_EQ(store.FindKey("HKEY_CURRENT_USER\\" + name256), nullptr);

    // A whole path of 1,024 characters is kept, one more is skipped.
    std::string path = "HKEY_CURRENT_USER";
    while (path.size() < 1024)
        path += "\\" + std::string(std::min<std::size_t>(200, 1023 - path.size()), 'k');
    ASSERT_EQ(path.size(), 1024u);
    const RegistryStore longPaths =
        ParseText(std::string(kHeader) + "[" + path + "]\r\n[" + path + "y]\r\n");
    EXPECT_TRUE(longPaths.valid());
    EXPECT_NE(longPaths.FindKey(path), nullptr);
    EXPECT_EQ(longPaths.FindKey(path + "y"), nullptr);
}

TEST(RegistryStoreParse, DeepPathsStayWithinMemoryAndKeyLimits) {
    // Every key of a path is kept under its full path: lines of 500 levels
    // made the parse of a 1 MB store take hundreds of megabytes before the
    // keys were limited.
    std::string text = kHeader;
    std::string deep;
    for (int level = 0; level < 500; ++level)
        deep += "\\k";
    for (int line = 0; text.size() < 1024 * 1024; ++line)
        text += "[HKEY_CURRENT_USER\\" + std::to_string(line) + deep + "]\r\n";
    const long peak = peakmemory::PeakKiB([&] { ParseText(text); });
    const RegistryStore store = ParseText(text);
    EXPECT_FALSE(store.valid());
    EXPECT_EQ(store.keyCount(), 0u);
    EXPECT_NE(store.problem().find("キーが多すぎる"), std::string::npos) << store.problem();
    EXPECT_NE(store.problem().find("10000"), std::string::npos) << store.problem();
    const long bound = 64 * 1024 + 50 * static_cast<long>(text.size()) / 1024;
    std::printf("[ memory  ] store of %zu bytes, 500 levels a line: peak %ld KiB (bound %ld KiB)\n",
                text.size(), peak, bound);
#ifndef __SANITIZE_ADDRESS__
    if (peak >= 0) {
        EXPECT_LT(peak, bound);
    }
#endif

    // Up to the limit the keys are all read.
    std::string many = kHeader;
    for (std::size_t k = 0; k + 1 < RegistryStore::kMaxKeys; ++k)
        many += "[HKEY_CURRENT_USER\\" + std::to_string(k) + "]\r\n";
    const RegistryStore full = ParseText(many);
    EXPECT_TRUE(full.valid());
    EXPECT_EQ(full.keyCount(), RegistryStore::kMaxKeys);
    EXPECT_TRUE(full.problem().empty());
    EXPECT_FALSE(ParseText(many + "[HKEY_CURRENT_USER\\one more]\r\n").valid());
}

TEST(RegistryStoreParse, ReadsEveryFileEncoding) {
    const std::u16string utf16 =
        u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_CURRENT_USER\\Software\\Tavi]\r\n\"UserName\"=\"山田　浄化槽\"\r\n";
    const std::string utf8 =
        std::string(kHeader) +
        "[HKEY_CURRENT_USER\\Software\\Tavi]\r\n\"UserName\"=\"山田　浄化槽\"\r\n";
    // The same text as an ANSI export of a Japanese system (CP932, no BOM).
    const std::string ansi =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tavi]\r\n"
        "\"UserName\"=\"\x8E\x52\x93\x63\x81\x40\x8F\xF2\x89\xBB\x91\x85\"\r\n";
    const std::vector<std::vector<std::uint8_t>> files = {
        Utf16(utf16), Bytes("\xEF\xBB\xBF" + utf8), Bytes(utf8), Bytes(ansi)};
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        const RegistryStore store = RegistryStore::Parse(files[i]);
        const RegistryKey* key = store.FindKey("HKEY_CURRENT_USER\\Software\\Tavi");
        ASSERT_NE(key, nullptr);
        const RegistryValue* value = RegistryStore::FindValue(*key, "UserName");
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(ValueText(*value), "山田　浄化槽");
    }
}

TEST(RegistryStoreParse, AnsiExportHexStringsAreCodePageBytes) {
    // REGEDIT4 writes string data given in hex in the ANSI code page.
    const RegistryStore store = ParseText(
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n\"S\"=hex(1):8e,52,93,63,00\r\n\"B\"=hex:8e,52\r\n");
    const RegistryKey* key = store.FindKey("HKEY_CURRENT_USER\\K");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(ValueText(*RegistryStore::FindValue(*key, "S")), "山田");
    EXPECT_EQ(Hex(RegistryStore::FindValue(*key, "B")->data), "8e 52");
}

TEST(RegistryStoreParse, ArbitraryBytesNeverBreakTheParser) {
    // A small deterministic stand-in for the fuzzer, so that every test run
    // covers the parser with hostile input.
    std::mt19937 random(12345);
    const std::string alphabet = "[]\\\"=@:,;-hexdwordHKEY_CURRENT_USER()0aF\r\n \xff\xfe\x81\xe3";
    for (int round = 0; round < 2000; ++round) {
        std::string text = round % 2 ? kHeader : "REGEDIT4\n";
        if (round % 7 == 0)
            text.clear();
        const int length = static_cast<int>(random() % 300);
        for (int i = 0; i < length; ++i) {
            text.push_back(round % 3 ? alphabet[random() % alphabet.size()]
                                     : static_cast<char>(random() & 0xFF));
        }
        const RegistryStore store = ParseText(text);
        if (const RegistryKey* key = store.FindKey("HKEY_CURRENT_USER")) {
            for (const auto& [name, value] : key->values) {
                AnsiBytes(value);
                ValueText(value);
            }
        }
    }
}

// ---- Registry reads through the store file ---------------------------------

TEST(RegistryStorePath, FollowsXdgConfigHome) {
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/tmp/velkan-config");
        EXPECT_EQ(RegistryStorePath(), "/tmp/velkan-config/Tavi/HKEY_CURRENT_USER.reg");
    }
    ScopedEnv home("HOME", "/home/tester");
    {
        ScopedEnv config("XDG_CONFIG_HOME", "");
        EXPECT_EQ(RegistryStorePath(), "/home/tester/.config/Tavi/HKEY_CURRENT_USER.reg");
    }
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(RegistryStorePath(), "/home/tester/.config/Tavi/HKEY_CURRENT_USER.reg");
}

TEST(EnumRegistrySubKeys, ListsSubkeysInOrderAndReplacesTheArray) {
    TempRegistry registry;
    registry.write(std::string(kHeader) +
                   "[HKEY_CURRENT_USER\\Software\\Tavi\\Project\\Package\\Septictank_b]\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Tavi\\Project\\Package\\Septictank_A]\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Tavi\\Project\\Package\\Other]\r\n");
    std::vector<std::string> names{"old1", "old2", "old3", "old4"};
    EXPECT_EQ(EnumRegistrySubKeys(HKEY_CURRENT_USER, "Software\\Tavi\\Project\\Package", names), 3);
    EXPECT_EQ(names, (std::vector<std::string>{"Other", "Septictank_A", "Septictank_b"}));
}

TEST(EnumRegistrySubKeys, FailuresReturnZeroAndLeaveTheArray) {
    TempRegistry registry;
    const std::vector<std::string> before{"kept"};
    std::vector<std::string> names = before;
    // No store file at all.
    EXPECT_EQ(EnumRegistrySubKeys(HKEY_CURRENT_USER, "Software", names), 0);
    EXPECT_EQ(names, before);

    registry.write(std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\Leaf]\r\n\"V\"=\"x\"\r\n");
    EXPECT_EQ(EnumRegistrySubKeys(HKEY_CURRENT_USER, "Software\\Leaf", names), 0);  // no subkeys
    EXPECT_EQ(EnumRegistrySubKeys(HKEY_CURRENT_USER, "Software\\Absent", names), 0);
    EXPECT_EQ(EnumRegistrySubKeys(0x80000002u, "Software", names), 0);  // other root
    EXPECT_EQ(names, before);
    EXPECT_EQ(EnumRegistrySubKeys(HKEY_CURRENT_USER, "software", names), 1);

    // A store without its header line, and a folder where the file should be.
    registry.write("[HKEY_CURRENT_USER\\Software\\Leaf]\r\n");
    names = before;
    EXPECT_EQ(EnumRegistrySubKeys(HKEY_CURRENT_USER, "Software", names), 0);
    std::filesystem::remove(registry.storePath());
    std::filesystem::create_directory(registry.storePath());
    EXPECT_EQ(EnumRegistrySubKeys(HKEY_CURRENT_USER, "Software", names), 0);
    EXPECT_EQ(names, before);
}

TEST(GetRegistryString, ResultCodesAndTexts) {
    TempRegistry registry;
    registry.write(
        StoreWithValues("\"Sz\"=\"C:\\\\浄化槽\\\\db.mdb\"\r\n"
                        "\"One\"=dword:00000001\r\n"
                        "\"Zero\"=dword:00000000\r\n"
                        "\"Big\"=dword:ffffffff\r\n"
                        "\"Short\"=hex(4):05\r\n"
                        "\"Bin\"=hex:01,02\r\n"
                        "\"Expand\"=hex(2):41,00,00,00\r\n"
                        "\"SzHex\"=hex(1):41,00,42,00,00,00,43,00,00,00\r\n"
                        "\"Accent\"=\"/home/josé/db.sqlite\"\r\n"
                        "@=\"default\"\r\n"));
    struct Case {
        const char* value;
        std::int16_t result;
        const char* text;  // expected text; "unchanged" when the read fails
    };
    const Case cases[] = {
        {"Sz", 1, "C:\\浄化槽\\db.mdb"},
        {"sz", 1, "C:\\浄化槽\\db.mdb"},
        {"One", 4, "1"},
        {"Zero", 4, "0"},
        {"Big", 4, "4294967295"},
        {"Short", 4, "5"},
        {"SzHex", 1, "AB"},  // cut at the first NUL
        {"Accent", 1, "/home/josé/db.sqlite"},
        {"", 1, "default"},
        {"Bin", -2, "unchanged"},
        {"Expand", -2, "unchanged"},
        {"Missing", -1, "unchanged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        std::string text = "unchanged";
        EXPECT_EQ(GetRegistryString(HKEY_CURRENT_USER, kKey, c.value, text), c.result);
        EXPECT_EQ(text, c.text);
    }
    std::string text = "unchanged";
    EXPECT_EQ(GetRegistryString(HKEY_CURRENT_USER, "Software\\Absent", "Sz", text), -1);
    EXPECT_EQ(GetRegistryString(0x80000002u, kKey, "Sz", text), -1);
    EXPECT_EQ(text, "unchanged");
}

TEST(GetRegistryString, LimitIs127CodePageBytesPlusNul) {
    TempRegistry registry;
    const std::string ascii127(127, 'a');
    const std::string ascii128(128, 'a');
    std::string kanji63;
    for (int i = 0; i < 63; ++i)
        kanji63 += "山";
    const std::string kanji63plus1 = kanji63 + "a";
    const std::string kanji64 = kanji63 + "田";
    std::string kana127;  // 127 code-page bytes although 381 bytes of UTF-8
    for (int i = 0; i < 127; ++i)
        kana127 += "ｱ";
    registry.write(StoreWithValues("\"A127\"=\"" + ascii127 + "\"\r\n\"A128\"=\"" + ascii128 +
                                   "\"\r\n\"K63\"=\"" + kanji63 + "\"\r\n\"K63a\"=\"" +
                                   kanji63plus1 + "\"\r\n\"K64\"=\"" + kanji64 +
                                   "\"\r\n\"Kana\"=\"" + kana127 + "\"\r\n"));
    struct Case {
        const char* value;
        std::int16_t result;
        std::string text;
    };
    const Case cases[] = {
        {"A127", 1, ascii127},     {"A128", -1, "unchanged"}, {"K63", 1, kanji63},
        {"K63a", 1, kanji63plus1}, {"K64", -1, "unchanged"},  {"Kana", 1, kana127},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        std::string text = "unchanged";
        EXPECT_EQ(GetRegistryString(HKEY_CURRENT_USER, kKey, c.value, text), c.result);
        EXPECT_EQ(text, c.text);
    }
}

TEST(QueryRegistryValue, DeliversCodePageBytesAndNeededSize) {
    TempRegistry registry;
    registry.write(StoreWithValues("\"Name\"=\"山田ｱ\"\r\n\"D\"=dword:0000000a\r\n"));
    std::vector<std::uint8_t> buffer(16, 0xEE);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_TRUE(QueryRegistryValue(HKEY_CURRENT_USER, kKey, "Name", buffer, type, size));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(Hex(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 7)),
              "8e 52 93 63 b1 00 ee");

    ASSERT_TRUE(QueryRegistryValue(HKEY_CURRENT_USER, kKey, "D", buffer, type, size));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);

    std::vector<std::uint8_t> small(5, 0xEE);
    EXPECT_FALSE(QueryRegistryValue(HKEY_CURRENT_USER, kKey, "Name", small, type, size));
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(Hex(small), "ee ee ee ee ee");
}

TEST(GetRegistryString, SeesTheStoreAsItIsNow) {
    // Rewritten between reads with the same length (and perhaps within the
    // same timestamp tick): the second read must see the new text.
    TempRegistry registry;
    std::string text;
    registry.write(StoreWithValues("\"V\"=\"before\"\r\n"));
    ASSERT_EQ(GetRegistryString(HKEY_CURRENT_USER, kKey, "V", text), 1);
    EXPECT_EQ(text, "before");
    registry.write(StoreWithValues("\"V\"=\"after!\"\r\n"));
    ASSERT_EQ(GetRegistryString(HKEY_CURRENT_USER, kKey, "V", text), 1);
    EXPECT_EQ(text, "after!");
    std::filesystem::remove(registry.storePath());
    text = "kept";
    EXPECT_EQ(GetRegistryString(HKEY_CURRENT_USER, kKey, "V", text), -1);
    EXPECT_EQ(text, "kept");
}
