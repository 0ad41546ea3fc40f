// Files the reader cannot read: each gives a PlatformError of its kind with
// a Japanese description, none crashes (truncations, flipped bytes, renamed
// files, encryption, older BIFF versions, damaged sheet offsets).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <set>

#include "BiffReader.h"
#include "OleReader.h"
#include "XlsReader.h"
#include "test_reader_support.h"

namespace xls {
namespace {

using namespace readertest;

const std::set<std::int32_t> kReaderErrors = {kErrNotXls, kErrEncrypted, kErrOldFormat,
                                              kErrDamaged};

Bytes WorkbookStreamOf(const std::string& fixture) {
    Bytes file = LoadFile(FixturePath(fixture));
    ole::BiffStream stream = ole::ExtractBiffStream(file.data(), file.size());
    return Bytes(stream.bytes.data(), stream.bytes.data() + stream.bytes.size());
}

// Offset just past the EOF of the last substream (xlwt pads after it).
std::size_t EndOfRecords(const Bytes& stream) {
    std::size_t pos = 0, end = 0;
    while (stream.size() - pos >= 4) {
        std::uint16_t id = biff::Le16(&stream[pos]);
        std::uint16_t len = biff::Le16(&stream[pos + 2]);
        if (id == 0 && len == 0) {
            break;
        }
        pos += 4 + len;
        if (id == 0x000A) {
            end = pos;
        }
    }
    return end;
}

// Every sheet's name and values, as text, to compare two reads.
std::string Fingerprint(const Workbook& book) {
    std::string out;
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        const Sheet& sheet = book.sheet(i);
        out += "[" + sheet.name() + "]";
        auto last = sheet.lastCell();
        if (!last) {
            continue;
        }
        for (int r = 0; r <= last->first; ++r) {
            for (int c = 0; c <= last->second; ++c) {
                CellValue v = sheet.value(r, c);
                out += std::to_string(v.index()) + ":";
                if (auto* d = std::get_if<double>(&v)) {
                    out += std::to_string(*d);
                } else if (auto* s = std::get_if<std::string>(&v)) {
                    out += *s;
                }
                out += ";";
            }
        }
    }
    return out;
}

// Returns the error number, or 0 when the bytes were read.
std::int32_t TryRead(const Bytes& bytes) {
    try {
        auto book = ReadBytes(bytes);
        for (std::size_t i = 0; i < book->sheetCount(); ++i) {
            book->sheet(i).lastCell();
        }
        return 0;
    } catch (const PlatformError& e) {
        EXPECT_FALSE(e.description().empty());
        return e.number();
    }
}

TEST(ReaderBadInput, TruncatedWorkbookStreamIsDamaged) {
    for (const char* fixture :
         {"fee_workbook_shape.xls", "lo_numbers_rk_mulrk.xls", "sst_continue_split.xls"}) {
        Bytes stream = WorkbookStreamOf(fixture);
        std::size_t end = EndOfRecords(stream);
        ASSERT_GT(end, 100u);
        std::set<std::size_t> cuts = {0, 1, 3, 4, 5, 19, 20, 21, end - 4, end - 3, end - 1};
        for (std::size_t k = 1; k < 97; ++k) {
            cuts.insert(end * k / 97);
        }
        for (std::size_t cut : cuts) {
            Bytes shortened(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
            std::int32_t number = TryRead(WrapCfb("Workbook", shortened));
            EXPECT_EQ(number, kErrDamaged) << fixture << " cut at " << cut;
        }
    }
}

// What reading gives, as text: the content, or the error's number.
std::string Outcome(const std::function<std::unique_ptr<Workbook>()>& read) {
    try {
        return Fingerprint(*read());
    } catch (const PlatformError& e) {
        return "error " + std::to_string(e.number());
    }
}

TEST(ReaderBadInput, TruncatedFileIsRefusedOrReadWhole) {
    // A cut that leaves the workbook stream whole (LibreOffice stores it in the
    // mini stream, other streams lie behind it) may be read; then the content
    // must be exactly that of the whole file. A file on disk is read through
    // another path than bytes in memory: both must come to the same end.
    const std::string onDisk = ::testing::TempDir() + "velkan-truncated.xls";
    for (const char* fixture : {"fee_workbook_shape.xls", "numbers_rk_mulrk.xls",
                                "lo_styles_merges_blanks.xls", "gnumeric_numbers_rk_mulrk.xls"}) {
        Bytes file = LoadFile(FixturePath(fixture));
        const std::string whole = Fingerprint(*ReadBytes(file));
        std::set<std::size_t> cuts = {1, 7, 8, 100, 511, 512, 513, 1024, file.size() - 1};
        for (std::size_t k = 1; k < 61; ++k) {
            cuts.insert(file.size() * k / 61);
        }
        int refused = 0;
        for (std::size_t cut : cuts) {
            Bytes shortened(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
            {
                std::ofstream out(onDisk, std::ios::binary | std::ios::trunc);
                out.write(reinterpret_cast<const char*>(shortened.data()),
                          static_cast<std::streamsize>(shortened.size()));
            }
            EXPECT_EQ(Outcome([&] { return ReadXlsFile(onDisk); }),
                      Outcome([&] { return ReadBytes(shortened); }))
                << fixture << " cut at " << cut;
            try {
                auto book = ReadBytes(shortened);
                EXPECT_EQ(Fingerprint(*book), whole) << fixture << " cut at " << cut;
            } catch (const PlatformError& e) {
                EXPECT_TRUE(kReaderErrors.count(e.number())) << fixture << " cut at " << cut;
                ++refused;
            }
        }
        EXPECT_GT(refused, static_cast<int>(cuts.size()) / 2) << fixture;
    }
    std::remove(onDisk.c_str());
}

TEST(ReaderBadInput, FlippedBytesNeverCrash) {
    // A flipped byte may only change a value, so reading may succeed; what
    // must not happen is a crash or an error of another kind.
    std::mt19937 random(20261207);
    for (const char* fixture : {"styles_merges_blanks.xls", "lo_fee_workbook_shape.xls"}) {
        Bytes stream = WorkbookStreamOf(fixture);
        std::size_t end = EndOfRecords(stream);
        int failures = 0;
        for (int round = 0; round < 400; ++round) {
            Bytes changed = stream;
            std::size_t at = random() % end;
            changed[at] ^= static_cast<std::uint8_t>(1 + random() % 255);
            std::int32_t number = TryRead(WrapCfb("Workbook", changed));
            EXPECT_TRUE(number == 0 || kReaderErrors.count(number)) << at << ": " << number;
            failures += number != 0;
        }
        EXPECT_GT(failures, 0) << fixture;
        // Whole-file flips hit the container too.
        Bytes file = LoadFile(FixturePath(fixture));
        for (int round = 0; round < 200; ++round) {
            Bytes changed = file;
            for (int k = 0; k < 4; ++k) {
                changed[random() % changed.size()] ^= static_cast<std::uint8_t>(random());
            }
            std::int32_t number = TryRead(changed);
            EXPECT_TRUE(number == 0 || kReaderErrors.count(number)) << number;
        }
    }
}

TEST(ReaderBadInput, RenamedAndForeignFilesAreNotXls) {
    const Bytes zip = {'P', 'K', 3,   4,   20,  0,   0,   0,   8,   0,   0,   0,   0,   0,
                       0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   19,  0,
                       0,   0,   '[', 'C', 'o', 'n', 't', 'e', 'n', 't', '_', 'T', 'y', 'p',
                       'e', 's', ']', '.', 'x', 'm', 'l', 'P', 'K', 5,   6};
    std::string html = "<html><body><table><tr><td>1</td></tr></table></body></html>";
    std::string xml =
        "<?xml version=\"1.0\"?><Workbook xmlns=\"urn:schemas-microsoft-com:"
        "office:spreadsheet\"></Workbook>";
    std::string csv = "得意先コード,行番号\n1,2\n";
    std::mt19937 random(7);
    Bytes noise(5000);
    for (auto& b : noise) {
        b = static_cast<std::uint8_t>(random());
    }

    struct Case {
        const char* what;
        Bytes bytes;
        const char* mentions;
    } cases[] = {
        {"xlsx renamed", zip, ".xlsx"},
        {"html renamed", Bytes(html.begin(), html.end()), "HTML"},
        {"spreadsheetml renamed", Bytes(xml.begin(), xml.end()), "XML"},
        {"csv renamed", Bytes(csv.begin(), csv.end()), ""},
        {"random bytes", noise, ""},
        {"empty file", Bytes(), "空"},
        {"compound file without workbook", WrapCfb("WordDocument", Bytes(5000, 0x11)), "Workbook"},
    };
    for (const auto& c : cases) {
        std::string text = ExpectPlatformError([&] { ReadBytes(c.bytes); }, kErrNotXls);
        EXPECT_NE(text.find("Excel 97-2003 形式（.xls）のブックではありません"), std::string::npos)
            << c.what << ": " << text;
        EXPECT_NE(text.find(c.mentions), std::string::npos) << c.what << ": " << text;
    }
    // Noise behind the compound-file signature is a damaged container.
    Bytes fakeCfb = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    fakeCfb.insert(fakeCfb.end(), noise.begin(), noise.end());
    ExpectPlatformError([&] { ReadBytes(fakeCfb); }, kErrDamaged);
}

TEST(ReaderBadInput, EncryptedWorkbooksAreRefusedWithAdvice) {
    const std::string advice =
        "パスワードで保護されたブックは読み込めません（ブックが暗号化されています）。"
        "表計算ソフトでブックの保護またはパスワードを解除して保存し直してください。";
    // FILEPASS (RC4 CryptoAPI header) right after the globals BOF of a real stream.
    Bytes stream = WorkbookStreamOf("fee_workbook_shape.xls");
    std::size_t afterBof = 4 + biff::Le16(&stream[2]);
    Bytes filepass = Rec(0x002F, Bytes{1, 0, 2, 0, 2, 0});
    stream.insert(stream.begin() + static_cast<std::ptrdiff_t>(afterBof), filepass.begin(),
                  filepass.end());
    EXPECT_EQ(ExpectPlatformError([&] { ReadBytes(WrapCfb("Workbook", stream)); }, kErrEncrypted),
              advice);
    // A password-protected .xlsx: a compound file of EncryptionInfo/EncryptedPackage.
    Bytes xlsx = WrapCfb({{"EncryptionInfo", Bytes(200, 4)}, {"EncryptedPackage", Bytes(5000, 9)}});
    EXPECT_EQ(ExpectPlatformError([&] { ReadBytes(xlsx); }, kErrEncrypted), advice);
}

TEST(ReaderBadInput, OlderBiffVersionsAreRefused) {
    const std::string biff5 =
        "Excel 97 より前の形式（Excel 5.0/95）で保存されたブックは読み込めません。Excel 97-2003 "
        "形式で保存し直してください。";
    Bytes book5 = Bof(0x0005, 0x0500);
    Append(book5, Eof());
    EXPECT_EQ(ExpectPlatformError([&] { ReadBytes(WrapCfb("Book", book5)); }, kErrOldFormat),
              biff5);
    EXPECT_EQ(ExpectPlatformError([&] { ReadBytes(WrapCfb("Workbook", book5)); }, kErrOldFormat),
              biff5);
    // A bare BIFF4 worksheet (BOF 0x0409 at byte 0).
    Bytes biff4 = Rec(0x0409, Bytes{0, 0, 0x10, 0, 0, 0});
    Append(biff4, Eof());
    std::string text = ExpectPlatformError([&] { ReadBytes(biff4); }, kErrOldFormat);
    EXPECT_NE(text.find("Excel 97 より前の形式（Excel 2.1/3.0/4.0）で保存されたブックは"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("保存し直してください"), std::string::npos);
}

TEST(ReaderBadInput, DamagedStructureNamesTheProblem) {
    Bytes formats = StandardFormats();
    auto damaged = [&](const Bytes& stream, const char* mentions) {
        std::string text =
            ExpectPlatformError([&] { ReadBytes(WrapCfb("Workbook", stream)); }, kErrDamaged);
        EXPECT_NE(text.find("ファイルが壊れているため読み込めません（"), std::string::npos) << text;
        EXPECT_NE(text.find(mentions), std::string::npos) << text;
    };
    damaged(BuildStream(formats, {{"S", LabelSstRec(0, 0, 5)}}, {"a", "b"}), "LABELSST");

    Bytes mulrk;
    Put16(mulrk, 0);
    Put16(mulrk, 0);
    Put16(mulrk, 15);
    Put32(mulrk, 6);
    Put16(mulrk, 3);  // says columns 0-3, holds one value
    damaged(BuildStream(formats, {{"S", Rec(0x00BD, mulrk)}}), "MULRK");
    damaged(BuildStream(formats, {{"S", NumberRec(0, 256, 1)}}), "256");
    damaged(BuildStream(formats, {{"S", Rec(0x0203, Bytes(6, 0))}}), "NUMBER");

    // Sheet offset beyond the stream, and one that hits no BOF.
    Bytes stream = BuildStream(formats, {{"S", NumberRec(0, 0, 1)}});
    std::size_t bound = Bof(5).size() + formats.size() + 4;
    Bytes far = stream;
    far[bound + 3] = 0x7F;
    damaged(far, "「S」");
    Bytes off = stream;
    off[bound] = static_cast<std::uint8_t>(off[bound] + 4);
    damaged(off, "「S」");

    // Two sheets at the same offset, and a sheet inside the globals.
    Bytes twice = BuildStream(formats, {{"A", NumberRec(0, 0, 1)}, {"B", {}}});
    std::size_t second = bound + 9 + 4;  // after the 9 bytes of "A" and the next header
    for (int k = 0; k < 4; ++k) {
        twice[second + k] = twice[bound + k];
    }
    damaged(twice, "重なって");
    Bytes inside = stream;
    for (int k = 0; k < 4; ++k) {
        inside[bound + k] = 0;
    }
    damaged(inside, "「S」");

    // The last sheet ends without EOF; the globals have no EOF at all.
    Bytes noEof = stream;
    noEof.resize(noEof.size() - 4);
    damaged(noEof, "EOF");
    Bytes globalsOnly = Bof(5);
    Append(globalsOnly, formats);
    damaged(globalsOnly, "EOF");
    // A stream that does not start with a BOF, and a book without worksheets.
    damaged(Rec(0x0203, Bytes(14, 0)), "BOF");
    damaged(BuildStream(formats, {{"chart", {}, 2, 0x0020}}), "ワークシート");
}

TEST(ReaderBadInput, HugeStatedCountsAllocateNothing) {
    // SST and MERGEDCELLS counts far beyond the content are checked, not trusted.
    Bytes sst;
    Put32(sst, 0x7FFFFFFF);
    Put32(sst, 0x7FFFFFFF);
    Append(sst, AsciiString("x"));
    Bytes globals = StandardFormats();
    Bytes merged;
    Put16(merged, 0xFFFF);
    Bytes s = BuildStream(globals, {{"S", Rec(0x00E5, merged)}});
    std::string text = ExpectPlatformError([&] { ReadBytes(WrapCfb("Workbook", s)); }, kErrDamaged);
    EXPECT_NE(text.find("MERGEDCELLS"), std::string::npos) << text;
    Bytes withSst = Bof(5);
    Append(withSst, globals);
    Append(withSst, Rec(0x00FC, sst));
    Append(withSst, Eof());
    ExpectPlatformError([&] { ReadBytes(WrapCfb("Workbook", withSst)); }, kErrDamaged);
}

}  // namespace
}  // namespace xls
