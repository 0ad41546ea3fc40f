// The BIFF8 stream's structure and the file-level save: temporary file,
// rename, and the failures a save can meet.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "EngineErrors.h"
#include "PlatformError.h"
#include "PlatformErrorAssert.h"
#include "XlsWriter.h"
#include "test_writer_support.h"

namespace {

struct Record {
    std::size_t offset;
    std::uint16_t id;
    std::vector<std::uint8_t> data;
};

std::uint16_t u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
           static_cast<std::uint32_t>(p[3]) << 24;
}

// Every record up to the last EOF; the rest must be zero padding.
std::vector<Record> records(const std::vector<std::uint8_t>& s, std::size_t* end = nullptr) {
    std::vector<Record> out;
    std::size_t at = 0;
    int depth = 0;
    while (at + 4 <= s.size()) {
        const std::uint16_t id = u16(&s[at]);
        const std::uint16_t len = u16(&s[at + 2]);
        if (id == 0 && len == 0 && depth == 0)
            break;
        EXPECT_LE(len, 8224u) << "record " << std::hex << id;
        if (at + 4 + len > s.size()) {
            ADD_FAILURE() << "record past the end at " << at;
            break;
        }
        out.push_back({at, id, std::vector<std::uint8_t>(&s[at + 4], &s[at + 4] + len)});
        if (id == 0x0809)
            ++depth;
        if (id == 0x000A)
            --depth;
        at += 4 + len;
    }
    if (end != nullptr)
        *end = at;
    return out;
}

double rkValue(std::uint32_t rk) {
    double v;
    if (rk & 2) {
        v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 1) ? v / 100 : v;
}

xls::Workbook& sampleBook(xls::Workbook& book) {
    xls::Sheet& a = book.addSheet("A");
    xls::Sheet& b = book.addSheet("漢字");
    a.setValue(0, 0, std::string("x"));
    b.setValue(2, 3, 1.0);
    book.activeSheet = 1;
    return book;
}

TEST(BiffStream, GlobalsSheetsAndOffsets) {
    xls::Workbook book;
    sampleBook(book);
    const auto s = xls::WriteBiff8Stream(book);
    std::size_t end = 0;
    const auto recs = records(s, &end);
    ASSERT_GE(s.size(), 4096u);  // kept out of the mini stream
    for (std::size_t i = end; i < s.size(); ++i)
        ASSERT_EQ(s[i], 0) << i;

    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].id, 0x0809);
    EXPECT_EQ(u16(&recs[0].data[0]), 0x0600);
    EXPECT_EQ(u16(&recs[0].data[2]), 0x0005);

    std::vector<std::uint32_t> plyPos;
    int xfs = 0, fonts = 0, selected = 0, codepage = 0;
    std::vector<std::uint32_t> selectedAt;
    for (const auto& r : recs) {
        switch (r.id) {
            case 0x0042:
                codepage = u16(r.data.data());
                break;
            case 0x0085:
                plyPos.push_back(u32(r.data.data()));
                break;
            case 0x00E0:
                ++xfs;
                EXPECT_NE(u16(r.data.data()), 4) << "font index 4 does not exist";
                break;
            case 0x0031:
                ++fonts;
                break;
            case 0x023E:
                if (u16(r.data.data()) & 0x0200) {
                    ++selected;
                    selectedAt.push_back(static_cast<std::uint32_t>(r.offset));
                }
                break;
        }
    }
    EXPECT_EQ(codepage, 1200);
    EXPECT_EQ(xfs, 16);  // fifteen style XFs and the default cell XF: nothing else is used
    EXPECT_GE(fonts, 4);
    ASSERT_EQ(plyPos.size(), 2u);
    for (std::uint32_t pos : plyPos) {
        ASSERT_LT(pos + 8u, s.size());
        EXPECT_EQ(u16(&s[pos]), 0x0809);
        EXPECT_EQ(u16(&s[pos + 6]), 0x0010);
    }
    // Exactly one selected sheet, the active one (the second).
    ASSERT_EQ(selected, 1);
    EXPECT_GT(selectedAt[0], plyPos[1]);
}

TEST(BiffStream, NumbersTakeTheirShortestExactForm) {
    const double numbers[] = {-1,  -5296.47,       -11678001, 0.015,   536870912.0, 1e-300, 1.5,
                              0.1, 123456789012.0, -0.5,      3.14159, 536870911.0, 1e300};
    xls::Workbook book;
    xls::Sheet& sheet = book.addSheet("N");
    for (std::size_t i = 0; i < std::size(numbers); ++i) {
        sheet.setValue(static_cast<std::int32_t>(i), 0, numbers[i]);
    }
    const auto s = xls::WriteBiff8Stream(book);
    std::vector<double> back(std::size(numbers), 0);
    int rks = 0;
    for (const auto& r : records(s)) {
        if (r.id == 0x027E) {
            back[u16(r.data.data())] = rkValue(u32(&r.data[6]));
            ++rks;
        } else if (r.id == 0x0203) {
            std::memcpy(&back[u16(r.data.data())], &r.data[6], 8);
        }
    }
    for (std::size_t i = 0; i < std::size(numbers); ++i)
        EXPECT_EQ(back[i], numbers[i]) << i;
    EXPECT_GE(rks, 6);  // the integers and the hundredths at least
}

TEST(BiffStream, LongStringsContinueWithAFlagByte) {
    xls::Workbook book;
    xls::Sheet& sheet = book.addSheet("S");
    std::string wide;
    for (int i = 0; i < 6000; ++i)
        wide += "漢";
    sheet.setValue(0, 0, wide);
    sheet.setValue(1, 0, std::string(9000, 'a'));
    const auto recs = records(xls::WriteBiff8Stream(book));
    std::vector<const Record*> sst;
    for (std::size_t i = 0; i < recs.size(); ++i) {
        if (recs[i].id == 0x00FC) {
            sst.push_back(&recs[i]);
            for (std::size_t k = i + 1; k < recs.size() && recs[k].id == 0x003C; ++k) {
                sst.push_back(&recs[k]);
            }
        }
    }
    ASSERT_GE(sst.size(), 3u);
    EXPECT_EQ(u32(sst[0]->data.data()), 2u);  // LABELSST count
    EXPECT_EQ(u32(&sst[0]->data[4]), 2u);     // unique strings
    EXPECT_EQ(u16(&sst[0]->data[8]), 6000u);  // the wide string's length
    EXPECT_EQ(sst[0]->data[10], 1);           // 16-bit characters
    // 8,213 bytes of room for characters: 4,106 whole ones, one byte unused
    // rather than a character split in two.
    EXPECT_EQ(sst[0]->data.size(), 8223u);
    EXPECT_EQ(sst[1]->data[0], 1);  // continued characters: flag byte first
    std::size_t total = 8212;
    std::size_t k = 1;
    while (total < 12000) {
        ASSERT_LT(k, sst.size());
        EXPECT_EQ(sst[k]->data[0], 1);
        total += std::min<std::size_t>(sst[k]->data.size() - 1, 12000 - total);
        ++k;
    }
}

TEST(BiffStream, TooManyFormatsFailClearly) {
    xls::Workbook book;
    xls::Sheet& sheet = book.addSheet("F");
    for (int i = 0; i < 4000; ++i) {
        xls::CellFormat f;
        f.numberFormat = "0" + std::string(static_cast<std::size_t>(i % 50), '0');
        f.font.height = static_cast<std::uint16_t>(160 + i / 50);
        sheet.putCell(i, 0, [&] {
            xls::Cell c;
            c.format = book.formats.intern(f);
            return c;
        }());
    }
    wbtest::TempDir dir;
    try {
        xls::WriteXlsFile(book, dir.file("many.xls"));
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.number(), xls::kErrLimit);
        EXPECT_FALSE(e.description().empty());
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST(BiffStream, ContainerIsAnOle2File) {
    xls::Workbook book;
    sampleBook(book);
    const auto bytes = xls::WriteXlsToMemory(book);
    ASSERT_GE(bytes.size(), 512u + 4096u);
    const std::uint8_t magic[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    EXPECT_EQ(std::memcmp(bytes.data(), magic, 8), 0);
    EXPECT_EQ(u16(&bytes[0x1A]), 3);  // version 3
    EXPECT_EQ(u16(&bytes[0x1E]), 9);  // 512-byte sectors
}

class SaveFile : public ::testing::Test {
  protected:
    static xls::Workbook& bigBook(xls::Workbook& book) {
        xls::Sheet& sheet = book.addSheet("Big");
        for (int r = 0; r < 3000; ++r) {
            for (int c = 0; c < 10; ++c)
                sheet.setValue(r, c, r * 10.0 + c + 0.25);
        }
        return book;
    }

    void expectFails(const xls::Workbook& book, const std::string& path, std::int32_t number) {
        try {
            xls::WriteXlsFile(book, path);
            ADD_FAILURE() << "saved " << path;
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.number(), number) << e.description();
            EXPECT_NE(e.description().find(path), std::string::npos) << e.description();
        }
    }

    wbtest::TempDir dir_;
};

TEST_F(SaveFile, ReplacesTheTargetAndKeepsItsMode) {
    const std::string path = dir_.file("book.xls");
    wbtest::writeText(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    xls::Workbook book;
    sampleBook(book);
    xls::WriteXlsFile(book, path);
    EXPECT_EQ(wbtest::readBytes(path), xls::WriteXlsToMemory(book));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(dir_.entries(), std::vector<std::string>{"book.xls"});
}

TEST_F(SaveFile, MissingFolderAndAFolderInTheWay) {
    xls::Workbook book;
    sampleBook(book);
    expectFails(book, dir_.file("missing/book.xls"), xls::kErrFileAccess);
    ASSERT_EQ(::mkdir(dir_.file("taken.xls").c_str(), 0755), 0);
    expectFails(book, dir_.file("taken.xls"), xls::kErrFileAccess);
    EXPECT_EQ(dir_.entries(), std::vector<std::string>{"taken.xls"});
}

TEST_F(SaveFile, ReadOnlyFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: folder permissions do not apply";
    xls::Workbook book;
    sampleBook(book);
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
    expectFails(book, dir_.file("book.xls"), xls::kErrFileAccess);
    ::chmod(dir_.path().c_str(), 0755);
    EXPECT_TRUE(dir_.entries().empty());
}

// A file-size limit makes writes fail with EFBIG, as a full disk fails them
// with ENOSPC: the save reports "disk full", the old file stays, no
// temporary file is left.
TEST_F(SaveFile, AFailingWriteLeavesTheOldFileAlone) {
    const std::string path = dir_.file("book.xls");
    wbtest::writeText(path, "previous contents");
    xls::Workbook book;
    bigBook(book);

    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    expectFails(book, path, xls::kErrDiskFull);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    const auto kept = wbtest::readBytes(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous contents");
    EXPECT_EQ(dir_.entries(), std::vector<std::string>{"book.xls"});
}

TEST_F(SaveFile, AWorkbookWithoutSheetsIsRefusedBeforeAnyFile) {
    xls::Workbook book;
    EXPECT_PLATFORM_ERROR(xls::WriteXlsFile(book, dir_.file("none.xls")), xls::kErrGeneral);
    EXPECT_TRUE(dir_.entries().empty());
}

}  // namespace
