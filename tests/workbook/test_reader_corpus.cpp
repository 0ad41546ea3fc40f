// The public workbooks beside the repository (../shared/xls-corpus: files
// written by Excel for Windows and Mac, OpenOffice/LibreOffice and others),
// read by the engine and by python3-xlrd (xlrd_cells.py): every book xlrd
// reads has the same sheets and the same cells with the same values here;
// encrypted and pre-97 books are refused saying why.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "BiffReader.h"
#include "NumberFormat.h"
#include "test_reader_support.h"
#include "test_writer_support.h"

namespace xls {
namespace {

// One cell in the dump's form: kind n/t/b/e and the value as text.
struct DumpCell {
    std::int32_t row = 0, col = 0;
    char kind = 'n';
    std::string value;
};

struct DumpSheet {
    std::string name;
    std::vector<DumpCell> cells;
};

// One book as xlrd_cells.py writes it.
struct DumpBook {
    std::string refused;  // "encrypted", "other" or empty
    std::string reason;
    int biff = 0;
    bool date1904 = false;
    std::vector<DumpSheet> sheets;
};

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1) {
        parts.push_back(line.substr(from, tab - from));
    }
    parts.push_back(line.substr(from));
    return parts;
}

std::map<std::string, DumpBook> ParseDump(const std::string& text) {
    std::map<std::string, DumpBook> books;
    DumpBook* book = nullptr;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> f = SplitTabs(line);
        if (f[0] == "book" && f.size() == 2) {
            book = &books[f[1]];
        } else if (book == nullptr) {
            ADD_FAILURE() << "xlrd_cells.py: " << line;
            break;
        } else if (f[0] == "refused" && f.size() == 3) {
            book->refused = f[1];
            book->reason = f[2];
        } else if (f[0] == "biff" && f.size() == 3) {
            book->biff = std::atoi(f[1].c_str());
            book->date1904 = f[2] == "1";
        } else if (f[0] == "sheet" && f.size() == 2) {
            book->sheets.push_back(DumpSheet{f[1], {}});
        } else if (f.size() == 4 && !book->sheets.empty() && f[2].size() == 1) {
            book->sheets.back().cells.push_back(
                DumpCell{std::atoi(f[0].c_str()), std::atoi(f[1].c_str()), f[2][0], f[3]});
        } else {
            ADD_FAILURE() << "xlrd_cells.py: " << line;
        }
    }
    return books;
}

// Text as xlrd_cells.py writes it: one line, the backslash escaping.
std::string Escape(const std::string& text) {
    static const std::map<char, std::string> kEscapes = {
        {'\\', "\\\\"}, {'\t', "\\t"}, {'\n', "\\n"}, {'\r', "\\r"}};
    std::string out;
    for (char ch : text) {
        const auto it = kEscapes.find(ch);
        out += it != kEscapes.end() ? it->second : std::string(1, ch);
    }
    return out;
}

std::string Number(double d) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

// The engine's cells in the dump's form. A 1904 book's date cells are held
// in the 1900 system; xlrd gives them as stored, so the shift is added to
// xlrd's number rather than taken from the engine's.
std::vector<DumpCell> EngineCells(const Sheet& sheet) {
    std::vector<DumpCell> cells;
    for (std::int32_t r = 0; r < sheet.rowCount(); ++r) {
        const RowInfo* row = sheet.row(r);
        if (row == nullptr) {
            continue;
        }
        for (std::size_t c = 0; c < row->cells.size(); ++c) {
            const Cell& cell = row->cells[c];
            if (cell.format == kNoCell || cell.kind == CellKind::Blank) {
                continue;
            }
            DumpCell out{r, static_cast<std::int32_t>(c), 'n', {}};
            switch (cell.kind) {
                case CellKind::Number:
                    out.value = Number(cell.number);
                    break;
                case CellKind::Text:
                    out.kind = 't';
                    out.value = Escape(sheet.book().strings.get(cell.text));
                    break;
                case CellKind::Boolean:
                    out.kind = 'b';
                    out.value = std::to_string(cell.small);
                    break;
                default:
                    out.kind = 'e';
                    out.value = std::to_string(cell.small);
            }
            cells.push_back(out);
        }
    }
    return cells;
}

bool SameCell(const DumpCell& xlrd, const DumpCell& ours, const Sheet& sheet, bool date1904) {
    if (xlrd.row != ours.row || xlrd.col != ours.col || xlrd.kind != ours.kind) {
        return false;
    }
    if (xlrd.kind == 'n' && date1904) {
        const std::string& code =
            sheet.book().formats.get(sheet.cell(ours.row, ours.col)->format).numberFormat;
        if (biff::IsDateFormat(code)) {
            return Number(std::strtod(xlrd.value.c_str(), nullptr) + k1904Shift) == ours.value;
        }
    }
    return xlrd.value == ours.value;
}

std::string Show(const DumpCell* cell) {
    if (cell == nullptr) {
        return "(none)";
    }
    return "(" + std::to_string(cell->row) + "," + std::to_string(cell->col) + ") " + cell->kind +
           " " + cell->value;
}

// Differences between xlrd's sheet and the engine's, at most `limit` lines.
std::vector<std::string> CompareSheet(const DumpSheet& xlrd, const Sheet& sheet, bool date1904,
                                      std::map<char, std::size_t>& compared,
                                      std::size_t limit = 5) {
    std::vector<std::string> diffs;
    const std::vector<DumpCell> ours = EngineCells(sheet);
    std::size_t i = 0, j = 0;
    auto before = [](const DumpCell& a, const DumpCell& b) {
        return a.row != b.row ? a.row < b.row : a.col < b.col;
    };
    while ((i < xlrd.cells.size() || j < ours.size()) && diffs.size() < limit) {
        const DumpCell* x = i < xlrd.cells.size() ? &xlrd.cells[i] : nullptr;
        const DumpCell* o = j < ours.size() ? &ours[j] : nullptr;
        if (x != nullptr && (o == nullptr || before(*x, *o))) {
            diffs.push_back("xlrd " + Show(x) + ", engine (none)");
            ++i;
        } else if (o != nullptr && (x == nullptr || before(*o, *x))) {
            diffs.push_back("xlrd (none), engine " + Show(o));
            ++j;
        } else {
            if (!SameCell(*x, *o, sheet, date1904)) {
                diffs.push_back("xlrd " + Show(x) + ", engine " + Show(o));
            }
            ++compared[x->kind];
            ++i;
            ++j;
        }
    }
    return diffs;
}

// Beside the repository, as the build machines hold it; VELKAN_XLS_CORPUS
// names another place (a worktree one level deeper).
std::filesystem::path CorpusDir() {
    if (const char* dir = std::getenv("VELKAN_XLS_CORPUS"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    return std::filesystem::path(VELKAN_SOURCE_DIR).parent_path() / "shared" / "xls-corpus";
}

class XlsCorpus : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(CorpusDir())) {
            GTEST_SKIP() << "skipped: no corpus at " << CorpusDir().string();
        }
        if (!wbtest::pythonHas("xlrd")) {
            GTEST_SKIP() << "skipped: python3-xlrd is not installed (apt-get install "
                            "python3-xlrd)";
        }
    }
    wbtest::TempDir dir_;
};

TEST_F(XlsCorpus, EveryBookXlrdReadsHasTheSameCellsAndValues) {
    const std::vector<std::uint8_t> bytes =
        wbtest::readBytes(std::string(VELKAN_SOURCE_DIR) + "/tests/workbook/xlrd_cells.py");
    const std::string script(bytes.begin(), bytes.end());
    const std::string dump = wbtest::runPython(script, "'" + CorpusDir().string() + "'", dir_);
    ASSERT_EQ(dump.rfind("ERROR", 0), std::string::npos) << dump.substr(0, 2000);
    const std::map<std::string, DumpBook> books = ParseDump(dump);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusDir())) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        files += ext == ".xls" ? 1 : 0;
    }
    ASSERT_FALSE(books.empty());
    EXPECT_EQ(books.size(), files) << "books xlrd_cells.py dumped";

    std::size_t compared = 0, agreeing = 0, sheets = 0;
    std::map<char, std::size_t> cells;
    std::size_t encrypted = 0, older = 0, xlrdRefuses = 0;
    for (const auto& [name, expected] : books) {
        SCOPED_TRACE(name);
        const std::string path = (CorpusDir() / name).string();
        if (expected.refused == "encrypted") {
            // An encrypted book of Excel 5.0/95 may be refused for either reason.
            try {
                ReadXlsFile(path);
                ADD_FAILURE() << "an encrypted book was read";
            } catch (const PlatformError& e) {
                EXPECT_TRUE(e.number() == kErrEncrypted || e.number() == kErrOldFormat)
                    << e.description();
                EXPECT_TRUE(e.description().starts_with("パスワードで保護されたブック") ||
                            e.description().starts_with("Excel 97 より前の形式"))
                    << e.description();
            }
            ++encrypted;
            continue;
        }
        if (!expected.refused.empty()) {
            // Nothing to compare with; the book still must not bring the reader down.
            try {
                ReadXlsFile(path);
            } catch (const PlatformError&) {
            }
            ++xlrdRefuses;
            continue;
        }
        if (expected.biff < 80) {
            const std::string text = ExpectPlatformError([&] { ReadXlsFile(path); }, kErrOldFormat);
            EXPECT_TRUE(text.starts_with("Excel 97 より前の形式")) << text;
            ++older;
            continue;
        }
        ++compared;
        std::unique_ptr<Workbook> book;
        try {
            book = ReadXlsFile(path);
        } catch (const PlatformError& e) {
            ADD_FAILURE() << "refused (" << e.number() << "): " << e.description();
            continue;
        }
        std::vector<std::string> diffs;
        if (book->sheetCount() != expected.sheets.size()) {
            diffs.push_back("xlrd " + std::to_string(expected.sheets.size()) + " sheets, engine " +
                            std::to_string(book->sheetCount()));
        }
        for (std::size_t s = 0; s < expected.sheets.size() && s < book->sheetCount(); ++s) {
            const Sheet& sheet = book->sheet(s);
            if (Escape(sheet.name()) != expected.sheets[s].name) {
                diffs.push_back("sheet " + std::to_string(s) + ": xlrd \"" +
                                expected.sheets[s].name + "\", engine \"" + sheet.name() + "\"");
            }
            for (const std::string& d :
                 CompareSheet(expected.sheets[s], sheet, expected.date1904, cells)) {
                diffs.push_back("sheet \"" + sheet.name() + "\" " + d);
            }
            ++sheets;
        }
        if (diffs.empty()) {
            ++agreeing;
        }
        for (const std::string& d : diffs) {
            ADD_FAILURE() << d;
        }
    }
    std::cout << "[ corpus   ] " << compared << " BIFF8 books compared (" << sheets << " sheets; "
              << cells['n'] << " numbers, " << cells['t'] << " texts, " << cells['b']
              << " booleans, " << cells['e'] << " errors), " << agreeing << " agreeing; " << older
              << " older than Excel 97 and " << encrypted << " encrypted books refused; "
              << xlrdRefuses << " other books xlrd itself refuses\n";
    EXPECT_EQ(agreeing, compared);
}

}  // namespace
}  // namespace xls
