// The fee workbook's whole trip: the export writes it from a sample
// database, a clerk types revised amounts and saves it, the import writes
// them back.

#include <gtest/gtest.h>

#include "DepartmentFilter.h"
#include "ExportFeeData.h"
#include "ImportTestSupport.h"
#include "SampleData.h"

using namespace importtest;

namespace {

double Number(const xls::CellValue& v) {
    const auto* d = std::get_if<double>(&v);
    return d ? *d : -1;
}

double AsDouble(const FieldValue& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    return -1;
}

}  // namespace

TEST(ExportImportRoundTrip, RevisedAmountsReachTheDatabase) {
    TempDir dir;
    const std::string dbPath = dir.file("septic.db");
    SampleOptions options;
    options.customers = 60;
    CreateSampleDatabase(dbPath, options);
    OpenedDatabase opened(dbPath);
    const std::string book = dir.file("fee.xls");

    RecordingJobView<ExportView> exportView;
    ExportRequest request;
    request.outputPath = book;
    request.contractFilter = TargetDepartmentFilter({1, 2, 3, 7, 11, 12});
    request.oneOffFilter = TargetDepartmentFilter({4, 5, 6});
    bool expansion = CheckExpansionTable(opened.mdb.gDatabase());
    ASSERT_TRUE(ExportFeeData(opened.mdb.gDbObject(), request, expansion, exportView));
    ASSERT_TRUE(std::filesystem::exists(book));

    // The clerk's edit: a new annual amount on the first contract line, an
    // April amount on the first billing line, letters on the second contract line.
    RecordingMessages editMessages;
    std::int64_t contractCode = 0, contractLine = 0, billingCode = 0, billingLine = 0;
    {
        pClExcel excel(editMessages);
        ASSERT_TRUE(excel.OpenBook(book));
        // Writes go to the active sheet, which the export left on its last one.
        ASSERT_TRUE(excel.ChangeSheets(pClExcel::SheetRef{std::int32_t{1}}));
        xls::Variant row;
        ASSERT_TRUE(excel.GetRangeValue(3, 1, 4, 19, row));
        const auto& contract = std::get<xls::Array2D>(row);
        contractCode = static_cast<std::int64_t>(Number(contract.at(1, 1)));
        contractLine = static_cast<std::int64_t>(Number(contract.at(1, 11)));
        excel.SetCellValue(3, 17, 98765.0);
        excel.SetCellValue(4, 18, std::string("abc"));
        ASSERT_TRUE(excel.ChangeSheets(pClExcel::SheetRef{std::int32_t{2}}));
        ASSERT_TRUE(excel.GetRangeValue(3, 1, 3, 37, row));
        const auto& billing = std::get<xls::Array2D>(row);
        billingCode = static_cast<std::int64_t>(Number(billing.at(1, 1)));
        billingLine = static_cast<std::int64_t>(Number(billing.at(1, 11)));
        excel.SetCellValue(3, 29, 4321.0);
        ASSERT_TRUE(excel.BookSave("", false));
    }
    ASSERT_GT(contractCode, 0);
    ASSERT_GT(billingCode, 0);
    const ContractRecord before = ReadContract(opened.db(), contractCode, contractLine);

    TestImportView importView;
    ImportJob job(opened.mdb, importView);
    job.RunImport(book);
    EXPECT_EQ(job.ImportOkCount(0), 1);
    EXPECT_EQ(job.ImportNgCount(0), 1);
    EXPECT_EQ(job.ImportOkCount(1), 1);
    EXPECT_EQ(job.ImportNgCount(1), 0);
    ASSERT_EQ(importView.errorLines.size(), 1u);
    EXPECT_NE(importView.errorLines[0].find("(R4     )"), std::string::npos);
    EXPECT_NE(importView.errorLines[0].find("作業回数が数値として認識できません"),
              std::string::npos);

    const ContractRecord after = ReadContract(opened.db(), contractCode, contractLine);
    EXPECT_EQ(AsDouble(after.annual), 98765);
    EXPECT_EQ(AsDouble(after.visits), AsDouble(before.visits));
    EXPECT_EQ(AsDouble(after.perVisit), AsDouble(before.perVisit));
    const auto [flag, amount] = ReadBillingMonth(opened.db(), billingCode, billingLine, 4);
    EXPECT_EQ(AsDouble(flag), 1);
    EXPECT_EQ(AsDouble(amount), 4321);
}
