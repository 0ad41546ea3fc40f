// Dates typed into amount cells: a spreadsheet application turns 4/1 typed
// into an entry cell into a date (a serial number in a date format). Such a
// cell is no amount: its row is rejected as not numeric and nothing of it is
// written, whichever application saved the workbook. Amounts in number
// formats ("#,##0") beside them still import.

#include <gtest/gtest.h>

#include "ImportJob.h"
#include "ImportTestSupport.h"

using namespace importtest;

namespace {

// One entry typed into a cell: value and the number format it shows in.
struct Entry {
    const char* sheet;
    std::int32_t row;
    std::int16_t column;
    double value;
    const char* format;
    const char* pythonValue;  // the value as xlwt is given it
};

// The same cells as tests/fixtures/xls/lo_date_entries.xls (customer 12345):
// 契約内訳情報 row 3 (line 1) a date in 年間金額, row 4 (line 2) 13200 in
// 年間金額, row 5 (line 1) a date in １回金額; 請求情報 row 3 (line 3) a time in
// 2月, row 4 (line 4) 1000 in 1月.
const Entry kEntries[] = {
    {"契約内訳情報", 3, 17, 45383, "yyyy/mm/dd", "datetime.date(2024, 4, 1)"},
    {"契約内訳情報", 4, 17, 13200, "#,##0", "13200"},
    {"契約内訳情報", 5, 19, 45383, "[$-411]ggge\"年\"m\"月\"d\"日\"",
     "datetime.datetime(2024, 4, 1)"},
    {"請求情報", 3, 27, 0.5208333333333334, "h:mm", "datetime.time(12, 30)"},
    {"請求情報", 4, 26, 1000, "#,##0", "1000"},
};

SheetSpec Contract() {
    SheetSpec s = ContractSheet();
    s.rows.push_back(ContractRow(12345.0, 1.0, 10.0, "清掃", {}, {}, {}));
    s.rows.push_back(ContractRow(12345.0, 2.0, 20.0, "点検", {}, {}, {}));
    s.rows.push_back(ContractRow(12345.0, 1.0, 10.0, "清掃", {}, {}, {}));
    return s;
}

SheetSpec Billing() {
    SheetSpec s = BillingSheet();
    s.rows.push_back(BillingRow(12345.0, 3.0, 2.0, "浄化槽清掃", {}));
    s.rows.push_back(BillingRow(12345.0, 4.0, 2.0, "浄化槽清掃", {}));
    return s;
}

// The workbook written by our own engine: a number with a date format.
void WriteWithOurEngine(const std::string& path) {
    WriteWorkbook(path, {Contract(), Billing()});
    RecordingMessages messages;
    pClExcel excel(messages);
    ASSERT_TRUE(excel.OpenBook(path));
    for (const Entry& e : kEntries) {
        ASSERT_TRUE(excel.ChangeSheets(std::string(e.sheet)));
        ASSERT_TRUE(excel.SetCellFormat(e.row, e.column, e.row, e.column, e.format));
        ASSERT_TRUE(excel.SetCellValue(e.row, e.column, e.value));
    }
    ASSERT_TRUE(excel.BookSave(path, false));
}

// The workbook written by xlwt: Python dates and times in date and time styles.
void WriteWithXlwt(const std::string& path) {
    WriteWorkbookWithXlwt(path, {Contract(), Billing()});
    // xlwt cannot edit a file: the book is written again with the entries.
    const std::string script = path + ".edit.py";
    std::ofstream py(script);
    py << "# -*- coding: utf-8 -*-\nimport datetime, sys, xlrd, xlwt\n"
       << "src = xlrd.open_workbook(sys.argv[1])\n"
       << "wb = xlwt.Workbook(encoding='utf-8')\n"
       << "entries = {\n";
    for (const Entry& e : kEntries) {
        std::string format;
        for (char c : std::string(e.format)) {
            if (c == '"' || c == '\\')
                format += '\\';
            format += c;
        }
        py << "    (u'" << e.sheet << "', " << e.row - 1 << ", " << e.column - 1 << "): ("
           << e.pythonValue << ", u\"" << format << "\"),\n";
    }
    py << "}\n"
       << "for s in src.sheets():\n"
       << "    ws = wb.add_sheet(s.name)\n"
       << "    for r in range(s.nrows):\n"
       << "        for c in range(s.ncols):\n"
       << "            v = s.cell_value(r, c)\n"
       << "            if v != '':\n"
       << "                ws.write(r, c, v)\n"
       << "    for (name, r, c), (v, f) in entries.items():\n"
       << "        if name == s.name:\n"
       << "            ws.write(r, c, v, xlwt.easyxf(num_format_str=f))\n"
       << "wb.save(sys.argv[1])\n";
    py.close();
    const std::string command = "/usr/bin/python3 '" + script + "' '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::filesystem::remove(script);
}

struct Fixture {
    Fixture() : opened(MakeDatabase(dir)), job(opened.mdb, view) {
        Database& db = opened.db();
        AddCustomer(db, 12345);
        AddContractLine(db, 12345, 1, 10, 12000, 12, 1000);
        AddContractLine(db, 12345, 2, 20, 24000, 4, 6000);
        AddBillingLine(db, 12345, 3, 2, 700);
        AddBillingLine(db, 12345, 4, 2, 700);
        path = dir.file("fee.xls");
    }

    // Imports the workbook and checks the outcome every source must give.
    void ImportAndCheck() {
        job.RunImport(path);
        EXPECT_EQ(job.ImportOkCount(0), 1);
        EXPECT_EQ(job.ImportNgCount(0), 2);
        EXPECT_EQ(job.ImportOkCount(1), 1);
        EXPECT_EQ(job.ImportNgCount(1), 1);
        const std::vector<std::string> expected = {
            "【契約内訳】(Q3     )0000012345：年間金額が数値として認識できません",
            "【契約内訳】(S5     )0000012345：１回金額が数値として認識できません",
            "【請求情報】(AA3    )0000012345：請求金額(2月)が数値として認識できません",
        };
        ASSERT_EQ(view.errorLines.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(view.errorLines[i].rfind(expected[i], 0), 0u) << view.errorLines[i];

        // The rejected rows left their records as they were ...
        Database& db = opened.db();
        const ContractRecord line1 = ReadContract(db, 12345, 1);
        EXPECT_EQ(line1.annual, FieldValue{std::int64_t{12000}});
        EXPECT_EQ(line1.visits, FieldValue{std::int64_t{12}});
        EXPECT_EQ(line1.perVisit, FieldValue{std::int64_t{1000}});
        for (int month = 1; month <= 12; ++month) {
            EXPECT_EQ(ReadBillingMonth(db, 12345, 3, month).second, FieldValue{std::int64_t{700}})
                << month;
        }
        // ... and the amounts in number formats were written.
        EXPECT_EQ(ReadContract(db, 12345, 2).annual, FieldValue{std::int64_t{13200}});
        EXPECT_EQ(ReadBillingMonth(db, 12345, 4, 1).second, FieldValue{std::int64_t{1000}});
        EXPECT_EQ(ReadBillingMonth(db, 12345, 4, 2).second, FieldValue{std::int64_t{700}});
    }

    TempDir dir;
    OpenedDatabase opened;
    TestImportView view;
    ImportJob job;
    std::string path;
};

}  // namespace

TEST(DateCells, WrittenByOurEngineAreRejected) {
    Fixture f;
    WriteWithOurEngine(f.path);
    f.ImportAndCheck();
}

TEST(DateCells, WrittenByXlwtAreRejected) {
    Fixture f;
    WriteWithXlwt(f.path);
    f.ImportAndCheck();
}

TEST(DateCells, TypedIntoLibreOfficeAreRejected) {
    Fixture f;
    std::filesystem::copy_file(std::string(VELKAN_FIXTURES_DIR) + "/xls/lo_date_entries.xls",
                               f.path);
    f.ImportAndCheck();
}

TEST(DateCells, ACustomerCodeInADateFormatIsNoNumber) {
    Fixture f;
    WriteWorkbook(f.path, {Contract(), Billing()});
    {
        RecordingMessages messages;
        pClExcel excel(messages);
        ASSERT_TRUE(excel.OpenBook(f.path));
        ASSERT_TRUE(excel.ChangeSheets(std::string("契約内訳情報")));
        ASSERT_TRUE(excel.SetCellFormat(4, 1, 4, 1, "m/d/yy"));
        EXPECT_EQ(excel.GetCellValue(4, 1), "1933/10/18");  // 12345 as a date
        ASSERT_TRUE(excel.SetCellValue(4, 17, 13200.0));
        ASSERT_TRUE(excel.BookSave(f.path, false));
    }
    f.job.RunImport(f.path);
    EXPECT_EQ(f.job.ImportNgCount(0), 1);
    ASSERT_EQ(f.view.errorLines.size(), 1u);
    EXPECT_EQ(f.view.errorLines[0].rfind(
                  "【契約内訳】(A4     )0000000000：得意先コードが数値として認識できません", 0),
              0u)
        << f.view.errorLines[0];
    EXPECT_EQ(ReadContract(f.opened.db(), 12345, 2).annual, FieldValue{std::int64_t{24000}});
}
